#pragma once
// The program's settings store. Every setting the program keeps is read and
// written through a store opened here, so that they all land in one place
// (and tests can move that place by moving the user's settings folder).

#include <QSettings>

namespace widgets {

inline constexpr char kSettingsOrganization[] = "Local AppWizard-Generated Applications";
inline constexpr char kSettingsApplication[] = "Calvero";

// A fresh handle on the store; changes are written when it goes away.
QSettings OpenSettings();

}  // namespace widgets
