#include "alarm/ui/alarm_preferences.h"

#include <QSettings>
#include <QString>

#include <cmath>

#include "widgets/settings.h"

namespace alarms::ui {

namespace {

constexpr char kGroup[] = "Alarms";

bool ReadBool(const QSettings& s, const char* key, bool fallback) {
    const QVariant v = s.value(QString::fromLatin1(key));
    if (!v.isValid())
        return fallback;
    const QString t = v.toString().trimmed().toLower();
    if (t == QLatin1String("true") || t == QLatin1String("1"))
        return true;
    if (t == QLatin1String("false") || t == QLatin1String("0"))
        return false;
    return fallback;
}

double ReadNumber(const QSettings& s, const char* key, Range range, double fallback) {
    const QVariant v = s.value(QString::fromLatin1(key));
    if (!v.isValid())
        return fallback;
    bool ok = false;
    const double d = v.toString().trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(d) || d < range.min || d > range.max)
        return fallback;
    return d;
}

}  // namespace

AlarmPreferences LoadAlarmSettings() {
    QSettings s = widgets::OpenSettings();
    s.beginGroup(QString::fromLatin1(kGroup));
    const AlarmPreferences d;
    AlarmPreferences p;
    auto& r = p.rules;
    r.overTemperature = ReadBool(s, "OverTemperature", d.rules.overTemperature);
    r.overTemperatureMargin =
        ReadNumber(s, "OverTemperatureMargin", kMarginRange, d.rules.overTemperatureMargin);
    r.profileDeviation = ReadBool(s, "ProfileDeviation", d.rules.profileDeviation);
    r.deviationBand = ReadNumber(s, "DeviationBand", kBandRange, d.rules.deviationBand);
    r.deviationSeconds =
        ReadNumber(s, "DeviationSeconds", kDeviationSecondsRange, d.rules.deviationSeconds);
    r.linkLost = ReadBool(s, "LinkLost", d.rules.linkLost);
    r.bakeError = ReadBool(s, "BakeError", d.rules.bakeError);
    r.bakeFinished = ReadBool(s, "BakeFinished", d.rules.bakeFinished);
    r.repeatSeconds = ReadNumber(s, "RepeatSeconds", kRepeatSecondsRange, d.rules.repeatSeconds);
    p.sound = ReadBool(s, "Sound", d.sound);
    return p;
}

void SaveAlarmSettings(const AlarmPreferences& p) {
    QSettings s = widgets::OpenSettings();
    s.beginGroup(QString::fromLatin1(kGroup));
    const auto& r = p.rules;
    s.setValue(QStringLiteral("OverTemperature"), r.overTemperature);
    s.setValue(QStringLiteral("OverTemperatureMargin"), r.overTemperatureMargin);
    s.setValue(QStringLiteral("ProfileDeviation"), r.profileDeviation);
    s.setValue(QStringLiteral("DeviationBand"), r.deviationBand);
    s.setValue(QStringLiteral("DeviationSeconds"), r.deviationSeconds);
    s.setValue(QStringLiteral("LinkLost"), r.linkLost);
    s.setValue(QStringLiteral("BakeError"), r.bakeError);
    s.setValue(QStringLiteral("BakeFinished"), r.bakeFinished);
    s.setValue(QStringLiteral("RepeatSeconds"), r.repeatSeconds);
    s.setValue(QStringLiteral("Sound"), p.sound);
}

}  // namespace alarms::ui
