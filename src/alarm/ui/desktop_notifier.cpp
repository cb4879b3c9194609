#include "alarm/ui/desktop_notifier.h"

#include <QApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

namespace alarms::ui {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");

// The freedesktop urgency levels, a byte on the bus.
constexpr uchar kUrgencyNormal = 1;
constexpr uchar kUrgencyCritical = 2;

}  // namespace

DesktopNotifier::DesktopNotifier(QObject* parent)
    : DesktopNotifier(QDBusConnection::sessionBus(), parent) {}

DesktopNotifier::DesktopNotifier(const QDBusConnection& bus, QObject* parent)
    : QObject(parent), bus_(bus), play_([] { QApplication::beep(); }) {}

void DesktopNotifier::Notify(const QString& tag, const QString& summary, const QString& body,
                             bool urgent) {
    if (sound_ && play_)
        play_();
    if (!bus_.isConnected()) {
        // Queued like a reply, so that callers see one order whatever the bus.
        QMetaObject::invokeMethod(
            this, [this, tag] { emit notShown(tag, QStringLiteral("no session bus")); },
            Qt::QueuedConnection);
        return;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"),
                 QVariant::fromValue(urgent ? kUrgencyCritical : kUrgencyNormal));
    if (urgent)
        hints.insert(QStringLiteral("category"), QStringLiteral("device.error"));
    call << QStringLiteral("Calvero") << ids_.value(tag, 0u) << QStringLiteral("calvero") << summary
         << body << QStringList() << hints << int(-1);
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, tag](QDBusPendingCallWatcher* w) {
                w->deleteLater();
                QDBusPendingReply<quint32> reply = *w;
                if (reply.isError()) {
                    emit notShown(tag, reply.error().message());
                    return;
                }
                ids_.insert(tag, reply.value());
                emit shown(tag, reply.value());
            });
}

void DesktopNotifier::Close(const QString& tag) {
    const auto it = ids_.find(tag);
    if (it == ids_.end())
        return;
    const quint32 id = it.value();
    ids_.erase(it);
    if (!bus_.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface,
                                                       QStringLiteral("CloseNotification"));
    call << id;
    bus_.asyncCall(call);  // gone already or not: nothing to do either way
}

}  // namespace alarms::ui
