#pragma once
// Alarms on the operator's desktop: a notification through the freedesktop
// notification service on the session bus, and a sound when the operator
// chose one. Where no session bus or no such service runs, the alarm still
// goes to the log and the Overview; here it simply shows nowhere. Calls never
// wait for the bus: the window thread must not stall on a busy desktop.

#include <QDBusConnection>
#include <QHash>
#include <QObject>
#include <QString>

#include <functional>

namespace alarms::ui {

class DesktopNotifier : public QObject {
    Q_OBJECT
public:
    // On the user's session bus.
    explicit DesktopNotifier(QObject* parent = nullptr);
    // On a given bus (tests run their own).
    explicit DesktopNotifier(const QDBusConnection& bus, QObject* parent = nullptr);

    void SetSound(bool on) { sound_ = on; }
    bool Sound() const { return sound_; }
    // What plays the sound; QApplication::beep unless set.
    void SetSoundPlayer(std::function<void()> play) { play_ = std::move(play); }

    // Shows an alarm. A later one with the same tag (a controller's rule)
    // takes the place of the earlier bubble instead of piling up; `urgent`
    // asks the desktop to keep it until the operator saw it.
    void Notify(const QString& tag, const QString& summary, const QString& body, bool urgent);
    // Takes the tag's bubble away (the alarm was acknowledged or cleared).
    void Close(const QString& tag);

signals:
    // The service took the notification and gave it this id.
    void shown(const QString& tag, quint32 id);
    // Nothing shows: no bus, no service, or it refused; `reason` for the log.
    void notShown(const QString& tag, const QString& reason);

private:
    QDBusConnection bus_;
    QHash<QString, quint32> ids_;  // the bubble on the desktop of each tag
    bool sound_ = false;
    std::function<void()> play_;
};

}  // namespace alarms::ui
