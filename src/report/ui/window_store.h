#pragma once
// The operator's own process windows, kept in the settings store as the
// text of a window file ("Report/Windows/<name>"), and the window chosen last
// ("Report/Window": pbfree, snpb, a user window's name, or empty for none).

#include <QString>
#include <QStringList>

#include <optional>

#include "report/process_window.h"

namespace report::ui {

// The built-in names first, then the user's, sorted.
QStringList WindowNames();
// A built-in or stored window; empty for an unknown name or a stored text
// that no longer reads (it is not offered then).
std::optional<report::ProcessWindow> WindowByName(const QString& name);
// Stores (or replaces) a user window under its name; false for a built-in name.
bool StoreWindow(const report::ProcessWindow& window);
void RemoveWindow(const QString& name);

QString ChosenWindowName();  // "pbfree" until the operator chose
void SetChosenWindowName(const QString& name);

}  // namespace report::ui
