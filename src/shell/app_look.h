#pragma once
// The application looks of the View menu: each a Qt style with a palette of
// its own. The chosen look is stored in the settings as "ApplicationLook".

#include <QColor>
#include <QPalette>
#include <QString>

#include <span>

namespace shell {

inline constexpr int kLookWindows2000 = 210;
inline constexpr int kLookOfficeXP = 211;
inline constexpr int kLookWindowsXP = 212;
inline constexpr int kLookOffice2003 = 213;
inline constexpr int kLookVS2005 = 214;
inline constexpr int kLookBlue = 215;
inline constexpr int kLookBlack = 216;
inline constexpr int kLookSilver = 217;
inline constexpr int kLookAqua = 218;
inline constexpr int kDefaultLook = kLookVS2005;

struct LookInfo {
    int id;
    const char* menuText;
    bool office2007;  // listed in the "Office 2007" sub-menu
};

std::span<const LookInfo> ApplicationLooks();
bool IsApplicationLook(int id);

// The style key (QStyleFactory) and palette of a look; an unknown id gives
// those of the default look.
QString LookStyleKey(int id);
QPalette LookPalette(int id);

// The background behind the chart document windows.
QColor LookWorkspaceColor(int id);

// Switches the whole application to the look.
void ApplyApplicationLook(int id);

// The key of the look in the program's settings store.
inline constexpr char kSettingsLookKey[] = "ApplicationLook";

// The stored look, or the default when none (or a bad one) is stored.
int LoadApplicationLook();
void StoreApplicationLook(int id);

}  // namespace shell
