// The desktop notifier against a session bus of the test's own: a
// dbus-daemon started here, with a stand-in for the desktop's notification
// service registered on it. No real desktop is ever reached.
#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <mutex>
#include <vector>

#include "alarm/ui/desktop_notifier.h"
#include "tests/support/process.h"
#include "tests/support/ui_test_support.h"

using alarms::ui::DesktopNotifier;

namespace {

// A bus daemon that activates nothing: no service file of this machine's
// desktop may start while a test asks for a service that is not there.
class PrivateBus {
public:
    PrivateBus() {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty() || !dir_.isValid())
            return;
        const QString config = dir_.filePath(QStringLiteral("bus.conf"));
        QFile f(config);
        if (!f.open(QIODevice::WriteOnly))
            return;
        f.write(QStringLiteral("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus "
                               "Configuration 1.0//EN\" "
                               "\"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">"
                               "<busconfig><type>session</type><listen>unix:dir=%1</listen>"
                               "<auth>EXTERNAL</auth><policy context=\"default\">"
                               "<allow send_destination=\"*\"/><allow receive_sender=\"*\"/>"
                               "<allow own=\"*\"/></policy>"
                               "</busconfig>")
                    .arg(dir_.path())
                    .toUtf8());
        f.close();
        process_.Start({daemon.toStdString(), "--config-file=" + config.toStdString(), "--nofork",
                        "--print-address=1"});
        std::string line;
        if (process_.Started() && process_.ReadLine(line, 5000))
            address_ = QString::fromStdString(line);
    }
    ~PrivateBus() {
        for (const QString& name : names_) QDBusConnection::disconnectFromBus(name);
        if (process_.Started()) {
            process_.Signal(SIGTERM);
            process_.Wait(5000);
        }
    }
    bool Running() const { return !address_.isEmpty(); }
    QDBusConnection Connect(const QString& name) {
        names_.push_back(name);
        return QDBusConnection::connectToBus(address_, name);
    }

private:
    QTemporaryDir dir_;
    test_support::Process process_;
    QString address_;
    std::vector<QString> names_;
};

// The desktop's notification service as far as the notifier uses it.
class FakeNotifications : public QDBusVirtualObject {
public:
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        std::lock_guard<std::mutex> g(lock_);
        calls_.push_back(message);
        if (message.member() == QLatin1String("Notify")) {
            const uint replaces = message.arguments().value(1).toUInt();
            connection.send(
                message.createReply(QVariant::fromValue(replaces ? replaces : ++lastId_)));
        }
        return true;
    }
    std::vector<QDBusMessage> Calls() {
        std::lock_guard<std::mutex> g(lock_);
        return calls_;
    }

private:
    std::mutex lock_;
    std::vector<QDBusMessage> calls_;
    uint lastId_ = 6;
};

struct Outcome {
    std::vector<std::pair<QString, quint32>> shown;
    std::vector<QString> notShown;
};

void Record(DesktopNotifier& n, Outcome& out) {
    QObject::connect(&n, &DesktopNotifier::shown,
                     [&out](const QString& tag, quint32 id) { out.shown.emplace_back(tag, id); });
    QObject::connect(&n, &DesktopNotifier::notShown,
                     [&out](const QString& tag, const QString&) { out.notShown.push_back(tag); });
}

}  // namespace

TEST(DesktopNotifier, ShowsReplacesAndClosesThroughTheNotificationService) {
    PrivateBus bus;
    if (!bus.Running())
        GTEST_SKIP() << "no dbus-daemon on this machine";
    QDBusConnection service = bus.Connect(QStringLiteral("service"));
    ASSERT_TRUE(service.isConnected());
    FakeNotifications fake;
    ASSERT_TRUE(
        service.registerVirtualObject(QStringLiteral("/org/freedesktop/Notifications"), &fake));
    ASSERT_TRUE(service.registerService(QStringLiteral("org.freedesktop.Notifications")));

    DesktopNotifier notifier(bus.Connect(QStringLiteral("client")));
    Outcome out;
    Record(notifier, out);
    const struct {
        const char* tag;
        bool urgent;
        quint32 replaces;  // what the notifier asks the service to replace
        quint32 id;
    } steps[] = {
        {"1001/over", true, 0, 7},
        {"1001/over", true, 7, 7},  // the same alarm again: the same bubble
        {"1002/done", false, 0, 8},
    };
    for (const auto& s : steps) {
        const size_t before = out.shown.size();
        notifier.Notify(QString::fromLatin1(s.tag), QStringLiteral("Calvero alarm"),
                        QStringLiteral("%1: main temperature too high").arg(s.tag), s.urgent);
        ASSERT_TRUE(uitest::PumpUntil([&] { return out.shown.size() > before; })) << s.tag;
        EXPECT_EQ(std::make_pair(QString::fromLatin1(s.tag), s.id), out.shown.back());
        const QDBusMessage call = fake.Calls().back();
        EXPECT_EQ(QStringLiteral("org.freedesktop.Notifications"), call.interface());
        const QList<QVariant> a = call.arguments();
        ASSERT_EQ(8, a.size());
        EXPECT_EQ(QStringLiteral("Calvero"), a[0].toString());
        EXPECT_EQ(s.replaces, a[1].toUInt()) << s.tag;
        EXPECT_EQ(QStringLiteral("Calvero alarm"), a[3].toString());
        EXPECT_EQ(QStringLiteral("%1: main temperature too high").arg(s.tag), a[4].toString());
        const QVariantMap hints = qdbus_cast<QVariantMap>(a[6]);
        EXPECT_EQ(s.urgent ? 2 : 1, hints.value(QStringLiteral("urgency")).toInt()) << s.tag;
    }
    EXPECT_TRUE(out.notShown.empty());

    notifier.Close(QStringLiteral("1001/over"));
    ASSERT_TRUE(uitest::PumpUntil([&] { return fake.Calls().size() == 4; }));
    EXPECT_EQ(QStringLiteral("CloseNotification"), fake.Calls().back().member());
    EXPECT_EQ(7u, fake.Calls().back().arguments().value(0).toUInt());
    // Closed is closed: the next alarm of that tag is a new bubble.
    notifier.Notify(QStringLiteral("1001/over"), QStringLiteral("Calvero alarm"),
                    QStringLiteral("again"), true);
    ASSERT_TRUE(uitest::PumpUntil([&] { return fake.Calls().size() == 5; }));
    EXPECT_EQ(0u, fake.Calls().back().arguments().value(1).toUInt());
}

TEST(DesktopNotifier, WithoutServiceOrBusNothingShowsAndTheSoundStillPlays) {
    PrivateBus bus;
    const bool haveBus = bus.Running();
    const struct {
        const char* what;
        bool useBus;  // the private bus, without a notification service; else no bus at all
        bool sound;
    } cases[] = {
        {"bus without service, sound", true, true},
        {"bus without service, silent", true, false},
        {"no bus, sound", false, true},
        {"no bus, silent", false, false},
    };
    for (const auto& c : cases) {
        if (c.useBus && !haveBus)
            continue;  // reported by the skip below
        // A connection by a name never opened is one that is not connected,
        // as the session bus is where none runs.
        QDBusConnection connection = c.useBus ? bus.Connect(QString::fromLatin1(c.what))
                                              : QDBusConnection(QString::fromLatin1(c.what));
        DesktopNotifier notifier(connection);
        int beeps = 0;
        notifier.SetSoundPlayer([&beeps] { ++beeps; });
        notifier.SetSound(c.sound);
        Outcome out;
        Record(notifier, out);
        notifier.Notify(QStringLiteral("1001/lost"), QStringLiteral("Calvero alarm"),
                        QStringLiteral("1001: link lost during a bake"), true);
        notifier.Close(QStringLiteral("1001/lost"));  // nothing to close: no harm
        EXPECT_TRUE(uitest::PumpUntil([&] { return !out.notShown.empty(); })) << c.what;
        EXPECT_TRUE(out.shown.empty()) << c.what;
        EXPECT_EQ(c.sound ? 1 : 0, beeps) << c.what;
    }
    if (!haveBus)
        GTEST_SKIP() << "no dbus-daemon on this machine: only the cases without a bus ran";
}
