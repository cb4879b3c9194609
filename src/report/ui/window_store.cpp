#include "report/ui/window_store.h"

#include <QSettings>

#include "widgets/settings.h"

namespace report::ui {

namespace {

const QString kGroup = QStringLiteral("Report/Windows");
const QString kChosen = QStringLiteral("Report/Window");

bool IsBuiltIn(const QString& name) {
    return name == QLatin1String("pbfree") || name == QLatin1String("snpb");
}

}  // namespace

QStringList WindowNames() {
    QSettings s = widgets::OpenSettings();
    s.beginGroup(kGroup);
    QStringList user = s.childKeys();
    s.endGroup();
    user.sort();
    QStringList names = {QStringLiteral("pbfree"), QStringLiteral("snpb")};
    for (const QString& n : user) {
        if (!IsBuiltIn(n) && WindowByName(n))
            names << n;
    }
    return names;
}

std::optional<report::ProcessWindow> WindowByName(const QString& name) {
    if (auto w = report::BuiltInWindow(name.toStdString()))
        return w;
    if (name.isEmpty() || name.contains(QLatin1Char('/')))
        return std::nullopt;
    QSettings s = widgets::OpenSettings();
    const QString text = s.value(kGroup + QLatin1Char('/') + name).toString();
    if (text.isEmpty())
        return std::nullopt;
    std::string error;
    auto w = report::ParseWindow(text.toStdString(), name.toStdString(), error);
    if (w)
        w->name = name.toStdString();
    return w;
}

bool StoreWindow(const report::ProcessWindow& window) {
    const QString name = QString::fromStdString(window.name);
    if (IsBuiltIn(name) || name.isEmpty() || name.contains(QLatin1Char('/')))
        return false;
    QSettings s = widgets::OpenSettings();
    s.setValue(kGroup + QLatin1Char('/') + name,
               QString::fromStdString(report::WindowText(window)));
    return true;
}

void RemoveWindow(const QString& name) {
    QSettings s = widgets::OpenSettings();
    s.remove(kGroup + QLatin1Char('/') + name);
}

QString ChosenWindowName() {
    QSettings s = widgets::OpenSettings();
    return s.value(kChosen, QStringLiteral("pbfree")).toString();
}

void SetChosenWindowName(const QString& name) {
    QSettings s = widgets::OpenSettings();
    s.setValue(kChosen, name);
}

}  // namespace report::ui
