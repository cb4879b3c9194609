#include "shell/app_look.h"

#include <QApplication>
#include <QStyle>
#include <QStyleFactory>

#include <array>

#include "widgets/settings.h"

namespace shell {

namespace {

constexpr std::array<LookInfo, 9> kLooks = {{
    {kLookWindows2000, "Windows &2000", false},
    {kLookOfficeXP, "Office &XP", false},
    {kLookWindowsXP, "&Windows XP", false},
    {kLookOffice2003, "Office 200&3", false},
    {kLookVS2005, "Visual Studio.NET 200&5", false},
    {kLookBlue, "&Blue Style", true},
    {kLookBlack, "B&lack Style", true},
    {kLookSilver, "&Silver Style", true},
    {kLookAqua, "&Aqua Style", true},
}};

struct Colors {
    QColor window, windowText, base, alternateBase, text, button, buttonText, highlight,
        highlightedText, mid, dark, light, link, disabledText, toolTipBase, toolTipText;
};

QPalette MakePalette(const Colors& c) {
    QPalette p;
    p.setColor(QPalette::Window, c.window);
    p.setColor(QPalette::WindowText, c.windowText);
    p.setColor(QPalette::Base, c.base);
    p.setColor(QPalette::AlternateBase, c.alternateBase);
    p.setColor(QPalette::Text, c.text);
    p.setColor(QPalette::Button, c.button);
    p.setColor(QPalette::ButtonText, c.buttonText);
    p.setColor(QPalette::BrightText, Qt::red);
    p.setColor(QPalette::Highlight, c.highlight);
    p.setColor(QPalette::HighlightedText, c.highlightedText);
    p.setColor(QPalette::Light, c.light);
    p.setColor(QPalette::Midlight, c.light);
    p.setColor(QPalette::Mid, c.mid);
    p.setColor(QPalette::Dark, c.dark);
    p.setColor(QPalette::Shadow, c.dark.darker(150));
    p.setColor(QPalette::Link, c.link);
    p.setColor(QPalette::ToolTipBase, c.toolTipBase);
    p.setColor(QPalette::ToolTipText, c.toolTipText);
    p.setColor(QPalette::PlaceholderText, c.disabledText);
    for (QPalette::ColorRole r : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, r, c.disabledText);
    p.setColor(QPalette::Disabled, QPalette::Highlight, c.mid);
    return p;
}

Colors LightColors(QColor window, QColor button, QColor highlight, QColor highlightedText,
                   QColor windowText = QColor(0, 0, 0)) {
    return Colors{window,
                  windowText,
                  QColor(255, 255, 255),
                  window.lighter(106),
                  QColor(0, 0, 0),
                  button,
                  windowText,
                  highlight,
                  highlightedText,
                  window.darker(135),
                  window.darker(190),
                  QColor(255, 255, 255),
                  QColor(0, 60, 180),
                  QColor(128, 128, 128),
                  QColor(255, 255, 225),
                  QColor(0, 0, 0)};
}

}  // namespace

std::span<const LookInfo> ApplicationLooks() {
    return kLooks;
}

bool IsApplicationLook(int id) {
    return id >= kLookWindows2000 && id <= kLookAqua;
}

QString LookStyleKey(int id) {
    // The oldest look keeps the classic bevelled widgets; the others share
    // the flat style and differ in colour.
    return id == kLookWindows2000 ? QStringLiteral("Windows") : QStringLiteral("Fusion");
}

QPalette LookPalette(int id) {
    switch (id) {
        case kLookWindows2000:
            return MakePalette(
                LightColors({212, 208, 200}, {212, 208, 200}, {10, 36, 106}, {255, 255, 255}));
        case kLookOfficeXP:
            return MakePalette(
                LightColors({239, 237, 232}, {246, 245, 242}, {182, 189, 210}, {0, 0, 0}));
        case kLookWindowsXP:
            return MakePalette(
                LightColors({236, 233, 216}, {244, 242, 232}, {49, 106, 197}, {255, 255, 255}));
        case kLookOffice2003:
            return MakePalette(LightColors({214, 230, 251}, {227, 239, 255}, {255, 210, 140},
                                           {0, 0, 0}, {0, 21, 110}));
        case kLookBlue:
            return MakePalette(LightColors({213, 228, 242}, {223, 235, 247}, {255, 216, 107},
                                           {0, 0, 0}, {21, 66, 139}));
        case kLookBlack: {
            Colors c{QColor(45, 45, 48),    QColor(230, 230, 230), QColor(30, 30, 30),
                     QColor(38, 38, 40),    QColor(230, 230, 230), QColor(60, 60, 64),
                     QColor(230, 230, 230), QColor(232, 160, 60),  QColor(0, 0, 0),
                     QColor(80, 80, 84),    QColor(20, 20, 22),    QColor(90, 90, 96),
                     QColor(110, 170, 255), QColor(130, 130, 130), QColor(60, 60, 64),
                     QColor(230, 230, 230)};
            return MakePalette(c);
        }
        case kLookSilver:
            return MakePalette(LightColors({226, 229, 234}, {237, 239, 242}, {255, 216, 107},
                                           {0, 0, 0}, {40, 40, 50}));
        case kLookAqua:
            return MakePalette(LightColors({214, 233, 234}, {226, 241, 242}, {80, 160, 175},
                                           {255, 255, 255}, {20, 60, 70}));
        case kLookVS2005:
        default:
            return MakePalette(
                LightColors({240, 239, 232}, {247, 246, 241}, {49, 106, 197}, {255, 255, 255}));
    }
}

QColor LookWorkspaceColor(int id) {
    switch (id) {
        case kLookWindows2000:
            return QColor(128, 128, 128);
        case kLookBlack:
            return QColor(28, 28, 30);
        default:
            return LookPalette(id).color(QPalette::Window).darker(125);
    }
}

void ApplyApplicationLook(int id) {
    if (!IsApplicationLook(id))
        id = kDefaultLook;
    const QString key = LookStyleKey(id);
    if (!qApp->style() || qApp->style()->name().compare(key, Qt::CaseInsensitive) != 0) {
        if (QStyle* style = QStyleFactory::create(key))
            QApplication::setStyle(style);
    }
    QApplication::setPalette(LookPalette(id));
}

int LoadApplicationLook() {
    const QSettings settings = widgets::OpenSettings();
    bool ok = false;
    const int id = settings.value(QLatin1String(kSettingsLookKey), kDefaultLook).toInt(&ok);
    return ok && IsApplicationLook(id) ? id : kDefaultLook;
}

void StoreApplicationLook(int id) {
    QSettings settings = widgets::OpenSettings();
    settings.setValue(QLatin1String(kSettingsLookKey), id);
}

}  // namespace shell
