#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QSettings>
#include <QThread>
#include <QToolBar>

#include <atomic>
#include <memory>
#include <thread>

#include "bake/controller_packets.h"
#include "bake/ui/control_panel.h"
#include "link/link_errors.h"
#include "shell/app_look.h"
#include "shell/command_tool_bar.h"
#include "shell/main_window.h"
#include "shell/output_pane.h"
#include "shell/recent_file_list.h"
#include "shell/toolbar_customize_dialog.h"
#include "shell/windows_dialog.h"
#include "tests/support/gauge_packet.h"
#include "tests/support/ui_test_support.h"
#include "widgets/settings.h"

using namespace shell;

using uitest::FakeLink;
using uitest::RecordingMessageBox;

namespace {

// Records every listener call with the thread it ran on.
struct RecordingListener : bake::PacketListener {
    RecordingListener(std::vector<std::string>* lines, std::string who)
        : journal(lines), name(std::move(who)) {}
    void OnDeviceConnected() override { Note("connected"); }
    void OnDeviceDisconnected() override { Note("disconnected"); }
    void OnPacket(const uint8_t* bytes, uint32_t length) override {
        Note("packet " + std::string(reinterpret_cast<const char*>(bytes), length));
    }
    void Note(const std::string& what) {
        journal->push_back(name + " " + what);
        if (QThread::currentThread() != qApp->thread())
            offThread = true;
    }
    std::vector<std::string>* journal;
    std::string name;
    bool offThread = false;
};

class MainFrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        uitest::ClearSettings();
        MainFrameServices services;
        services.messageBox = &box;
        services.createLink = [this](devlink::Receiver* receiver, devlink::LinkLog* log,
                                     uint32_t* error) {
            linkReceiver = receiver;
            linkLog = log;
            if (createError) {
                *error = createError;
                return static_cast<devlink::Connection*>(nullptr);
            }
            return static_cast<devlink::Connection*>(link.get());
        };
        services.releaseLink = [this](devlink::Connection* l) {
            EXPECT_EQ(l, link.get());
            link->released = true;
            return 0u;
        };
        frame = std::make_unique<MainWindow>(services);
    }

    void Feed(const std::vector<uint8_t>& packet) {
        frame->Bridge()->OnPacket(packet.data(), static_cast<uint32_t>(packet.size()), 0);
    }

    std::vector<uint8_t> Gauge(uint32_t devState) {
        return test_support::GaugePacket({.devState = devState});
    }

    bool Enabled(QAction* Actions::*command) { return (frame->Commands().*command)->isEnabled(); }

    RecordingMessageBox box;
    std::unique_ptr<FakeLink> link = std::make_unique<FakeLink>();
    uint32_t createError = 0;
    devlink::Receiver* linkReceiver = nullptr;
    devlink::LinkLog* linkLog = nullptr;
    std::unique_ptr<MainWindow> frame;
};

}  // namespace

TEST_F(MainFrameTest, StartUpWiresTheLinkPanesAndPanel) {
    ASSERT_TRUE(frame->Create());
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("Calvero"));
    EXPECT_EQ(linkReceiver, frame->Bridge());
    EXPECT_EQ(linkLog, static_cast<devlink::LinkLog*>(frame->Output()));
    EXPECT_EQ(frame->dockWidgetArea(frame->Output()), Qt::BottomDockWidgetArea);
    EXPECT_EQ(frame->dockWidgetArea(frame->ControlPane()), Qt::RightDockWidgetArea);
    EXPECT_EQ(frame->Output()->windowTitle(), QStringLiteral("Output"));
    EXPECT_EQ(frame->ControlPane()->windowTitle(), QStringLiteral("Control"));
    EXPECT_EQ(frame->ControlFrame()->State(), bake::ui::ControlState::CF_DISCONNECTED);
    EXPECT_TRUE(box.messages.empty());
}

TEST_F(MainFrameTest, LinkCreationFailureFailsTheFrameWithItsText) {
    createError = devlink::EIOCPE_UNKNOWN_ERROR;
    EXPECT_FALSE(frame->Create());
    const std::string text = devlink::LinkErrorText(devlink::EIOCPE_UNKNOWN_ERROR);
    ASSERT_EQ(box.messages.size(), 1u);
    EXPECT_EQ(box.messages[0].text, L"Error creating TCP connection : " +
                                        std::wstring(text.begin(), text.end()) + L"\r\n");
    EXPECT_EQ(box.messages[0].icon, platform::MessageIcon::Error);
}

TEST_F(MainFrameTest, LinkThreadEventsReachEveryListenerOnTheWindowThreadInOrder) {
    ASSERT_TRUE(frame->Create());
    QObject::disconnect(frame->Bridge(), nullptr, frame->ControlFrame(), nullptr);
    std::vector<std::string> journal;
    RecordingListener a(&journal, "A"), b(&journal, "B");
    QObject aContext, bContext;
    ConnectListener(frame->Bridge(), &aContext, &a);
    ConnectListener(frame->Bridge(), &bContext, &b);

    std::thread linkThread([&] {
        frame->Bridge()->OnConnected(0);
        // Two packets in one burst, from a buffer the link reuses at once.
        char buffer[8] = "first";
        frame->Bridge()->OnPacket(reinterpret_cast<const uint8_t*>(buffer), 5, 0);
        std::strcpy(buffer, "second");
        frame->Bridge()->OnPacket(reinterpret_cast<const uint8_t*>(buffer), 6, 0);
        frame->Bridge()->OnPacket(nullptr, 0, 0);
        frame->Bridge()->OnDisconnected(devlink::EIOCPE_CONN_CLOSED_BY_SERVER, 0);
    });
    linkThread.join();
    EXPECT_TRUE(journal.empty()) << "nothing runs on the link thread";
    ASSERT_TRUE(uitest::PumpUntil([&] { return journal.size() >= 10; }));
    const std::vector<std::string> expected = {
        "A connected",     "B connected", "A packet first", "B packet first", "A packet second",
        "B packet second", "A packet ",   "B packet ",      "A disconnected", "B disconnected"};
    EXPECT_EQ(journal, expected);
    EXPECT_FALSE(a.offThread);
    EXPECT_FALSE(b.offThread);
    EXPECT_FALSE(frame->Connected());
}

TEST_F(MainFrameTest, ConnectedFlagDrivesConnectAndDisconnect) {
    ASSERT_TRUE(frame->Create());
    EXPECT_TRUE(Enabled(&Actions::connectDevice));
    EXPECT_FALSE(Enabled(&Actions::disconnectDevice));

    frame->Bridge()->OnConnected(0);
    uitest::Pump();
    EXPECT_TRUE(frame->Connected());
    EXPECT_FALSE(Enabled(&Actions::connectDevice));
    EXPECT_TRUE(Enabled(&Actions::disconnectDevice));
    EXPECT_EQ(frame->ControlFrame()->State(), bake::ui::ControlState::CF_WAIT_FOR_DATA);

    // Disconnect is graceful with notification; the listeners learn of it
    // from the link's event, not from the command.
    frame->Commands().disconnectDevice->trigger();
    ASSERT_EQ(link->disconnects.size(), 1u);
    EXPECT_EQ(link->disconnects[0], (std::pair<uint32_t, uint32_t>{1, 0}));
    EXPECT_EQ(frame->ControlFrame()->State(), bake::ui::ControlState::CF_WAIT_FOR_DATA);
    frame->Bridge()->OnDisconnected(devlink::EIOCPE_CONN_CLOSED_BY_SERVER, 0);
    uitest::Pump();
    EXPECT_FALSE(frame->Connected());
    EXPECT_EQ(frame->ControlFrame()->State(), bake::ui::ControlState::CF_DISCONNECTED);
    EXPECT_TRUE(Enabled(&Actions::connectDevice));
    EXPECT_TRUE(box.messages.empty()) << "a disconnection is not announced by the frame";
}

TEST_F(MainFrameTest, BakeOptionsOnlyWhileThePanelIsIdle) {
    ASSERT_TRUE(frame->Create());
    QAction* options = frame->Commands().bakeOptions;
    EXPECT_FALSE(options->isEnabled());
    frame->Bridge()->OnConnected(0);
    uitest::Pump();
    EXPECT_FALSE(options->isEnabled());  // waiting for data
    Feed(Gauge(1));
    uitest::Pump();
    ASSERT_TRUE(options->isEnabled());

    options->trigger();
    ASSERT_EQ(link->sent.size(), 1u);
    EXPECT_EQ(link->sent[0], uitest::Header(49, 0, 1));

    Feed(Gauge(2));
    uitest::Pump();
    EXPECT_FALSE(options->isEnabled());
    frame->Bridge()->OnDisconnected(0, 0);
    uitest::Pump();
    EXPECT_FALSE(options->isEnabled());
}

TEST_F(MainFrameTest, FailedConnectIsLoggedAndShown) {
    ASSERT_TRUE(frame->Create());
    frame->ConnectTo(QStringLiteral("127.0.0.1"));
    ASSERT_EQ(link->connects.size(), 1u);
    EXPECT_EQ(link->connects[0].host, "127.0.0.1");
    EXPECT_EQ(link->connects[0].port, 5565);
    EXPECT_EQ(link->connects[0].retry, 0u);

    frame->Bridge()->OnConnectFailed(devlink::EIOCPE_WSAECONNREFUSED, 0);
    ASSERT_TRUE(uitest::PumpUntil([&] { return !box.messages.empty(); }));
    const std::string t = devlink::LinkErrorText(devlink::EIOCPE_WSAECONNREFUSED);
    const std::wstring text = L"Unable to connect : " + std::wstring(t.begin(), t.end());
    EXPECT_EQ(box.messages[0], (uitest::RecordedMessage{text, platform::MessageIcon::Error}));
    ASSERT_TRUE(uitest::PumpUntil([&] { return frame->Output()->LineCount() > 0; }));
    const QString line = frame->Output()->Line(frame->Output()->LineCount() - 1);
    EXPECT_TRUE(line.startsWith(QStringLiteral("ERR [")));
    EXPECT_TRUE(line.endsWith(QStringLiteral("] : ") + QString::fromStdWString(text)));
    EXPECT_FALSE(frame->Connected());
    EXPECT_TRUE(Enabled(&Actions::connectDevice));
}

TEST_F(MainFrameTest, ShutdownSilencesTheLinkAndClosesItSilently) {
    ASSERT_TRUE(frame->Create());
    std::vector<std::string> journal;
    RecordingListener a(&journal, "A");
    QObject context;
    ConnectListener(frame->Bridge(), &context, &a);
    frame->Bridge()->OnConnected(0);
    uitest::Pump();
    journal.clear();

    // A link event still queued when the window closes reaches nobody.
    frame->Bridge()->OnDisconnected(devlink::EIOCPE_CONN_CLOSED_BY_SERVER, 0);
    frame->Shutdown();
    EXPECT_EQ(link->disconnects, (std::vector<std::pair<uint32_t, uint32_t>>{{0, 1}}));
    EXPECT_TRUE(link->released);
    EXPECT_EQ(frame->Link(), nullptr);
    uitest::Pump();
    EXPECT_TRUE(journal.empty());
    frame->Shutdown();  // twice is harmless
    EXPECT_EQ(link->disconnects.size(), 1u);
    frame.reset();
}

TEST_F(MainFrameTest, LookIsStoredAndRestored) {
    ASSERT_TRUE(frame->Create());
    EXPECT_EQ(frame->ApplicationLook(), kDefaultLook);
    EXPECT_TRUE(frame->Commands().looks[kLookVS2005]->isChecked());

    frame->Commands().looks[kLookBlack]->trigger();
    EXPECT_EQ(frame->ApplicationLook(), kLookBlack);
    EXPECT_TRUE(frame->Commands().looks[kLookBlack]->isChecked());
    EXPECT_FALSE(frame->Commands().looks[kLookVS2005]->isChecked());
    QSettings settings = widgets::OpenSettings();
    EXPECT_EQ(settings.value(QStringLiteral("ApplicationLook")).toInt(), kLookBlack);
    // A real dark theme: light text on a dark window.
    EXPECT_LT(QApplication::palette().color(QPalette::Window).lightness(), 80);
    EXPECT_GT(QApplication::palette().color(QPalette::WindowText).lightness(), 180);

    frame.reset();
    MainWindow second(MainFrameServices{&box,
                                        [](devlink::Receiver*, devlink::LinkLog*, uint32_t*) {
                                            static FakeLink l;
                                            return static_cast<devlink::Connection*>(&l);
                                        },
                                        [](devlink::Connection*) { return 0u; }});
    ASSERT_TRUE(second.Create());
    EXPECT_EQ(second.ApplicationLook(), kLookBlack);
    EXPECT_TRUE(second.Commands().looks[kLookBlack]->isChecked());

    settings.setValue(QStringLiteral("ApplicationLook"), 999);
    EXPECT_EQ(LoadApplicationLook(), kDefaultLook);
    second.SetApplicationLook(kDefaultLook);
}

TEST(AppLook, EveryLookHasItsStyleAndAReadablePalette) {
    ASSERT_EQ(ApplicationLooks().size(), 9u);
    int id = 210;
    for (const LookInfo& look : ApplicationLooks()) {
        EXPECT_EQ(look.id, id++);
        const QPalette p = LookPalette(look.id);
        // Text stands out from its background in every look.
        const int window = p.color(QPalette::Window).lightness();
        const int text = p.color(QPalette::WindowText).lightness();
        EXPECT_GT(std::abs(window - text), 120) << look.menuText;
        const int base = p.color(QPalette::Base).lightness();
        EXPECT_GT(std::abs(base - p.color(QPalette::Text).lightness()), 120) << look.menuText;
    }
    EXPECT_EQ(LookStyleKey(kLookWindows2000), QStringLiteral("Windows"));
    EXPECT_EQ(LookStyleKey(kLookBlack), QStringLiteral("Fusion"));
}

TEST_F(MainFrameTest, CustomizeShowsAndHidesToolbarCommands) {
    ASSERT_TRUE(frame->Create());
    CommandToolBar* bar = frame->StandardToolBar();
    const Actions& commands = frame->Commands();
    EXPECT_EQ(bar->Commands(), (QList<QAction*>{commands.newDocument, commands.open, commands.save,
                                                commands.copy, commands.print, commands.about}));
    QAction* copy = commands.copy;
    ASSERT_TRUE(bar->actions().contains(copy));
    ToolbarCustomizeDialog dlg(bar);
    QListWidget* list = dlg.CommandList();
    ASSERT_EQ(list->count(), bar->Commands().size());
    QListWidgetItem* copyItem = nullptr;
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->text() == QStringLiteral("Copy"))
            copyItem = list->item(i);
    ASSERT_NE(copyItem, nullptr);
    copyItem->setCheckState(Qt::Unchecked);
    EXPECT_FALSE(bar->actions().contains(copy));
    EXPECT_TRUE(bar->actions().contains(commands.print));
    copyItem->setCheckState(Qt::Checked);
    ASSERT_TRUE(bar->actions().contains(copy));
    // Back in its place, before Print.
    EXPECT_LT(bar->actions().indexOf(copy), bar->actions().indexOf(commands.print));
}

TEST_F(MainFrameTest, WindowsDialogActivatesAndClosesChildWindows) {
    ASSERT_TRUE(frame->Create());
    QMdiArea* area = frame->MdiArea();
    frame->show();
    QMdiSubWindow* first = area->addSubWindow(new QWidget);
    first->setWindowTitle(QStringLiteral("Chart1"));
    first->show();
    QMdiSubWindow* second = area->addSubWindow(new QWidget);
    second->setWindowTitle(QStringLiteral("Chart2"));
    second->show();
    area->setActiveSubWindow(second);

    WindowsDialog dlg(area);
    QListWidget* list = dlg.WindowList();
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(0)->text(), QStringLiteral("Chart1"));
    list->clearSelection();
    list->item(0)->setSelected(true);
    dlg.ActivateSelected();
    EXPECT_EQ(area->activeSubWindow(), first);
    dlg.CloseSelected();
    uitest::Pump();
    EXPECT_EQ(list->count(), 1);
    EXPECT_EQ(list->item(0)->text(), QStringLiteral("Chart2"));
}

TEST(RecentFileList, KeepsFourNewestWithoutRepeats) {
    uitest::ClearSettings();
    RecentFileList list;
    for (const char* f :
         {"/tmp/a.tvr", "/tmp/b.tvr", "/tmp/c.tvr", "/tmp/d.tvr", "/tmp/e.tvr", "/tmp/c.tvr"})
        list.Add(QString::fromLatin1(f));
    EXPECT_EQ(list.Files(), (QStringList{"/tmp/c.tvr", "/tmp/e.tvr", "/tmp/d.tvr", "/tmp/b.tvr"}));
    list.Save();
    RecentFileList loaded;
    loaded.Load();
    EXPECT_EQ(loaded.Files(), list.Files());
    loaded.Remove(QStringLiteral("/tmp/e.tvr"));
    loaded.Save();
    RecentFileList again;
    again.Load();
    EXPECT_EQ(again.Files(), (QStringList{"/tmp/c.tvr", "/tmp/d.tvr", "/tmp/b.tvr"}));
}

TEST_F(MainFrameTest, DocumentCommandsWaitForChartDocuments) {
    ASSERT_TRUE(frame->Create());
    EXPECT_FALSE(Enabled(&Actions::newDocument));
    EXPECT_FALSE(Enabled(&Actions::open));
    EXPECT_FALSE(Enabled(&Actions::print));
    EXPECT_FALSE(Enabled(&Actions::copy));
    EXPECT_FALSE(frame->Commands().saveAs->isVisible());
    frame->OpenDocumentFile(QStringLiteral("/tmp/x.tvr"));
    ASSERT_TRUE(uitest::PumpUntil([&] { return frame->Output()->LineCount() > 0; }));
    EXPECT_TRUE(frame->Output()->Line(0).startsWith(QStringLiteral("WAR [")));

    QStringList opened;
    frame->SetDocumentHandlers([] {}, [&](const QString& p) { return opened << p, true; });
    EXPECT_TRUE(Enabled(&Actions::newDocument));
    frame->OpenDocumentFile(QStringLiteral("/tmp/x.tvr"));
    EXPECT_EQ(opened, QStringList{QStringLiteral("/tmp/x.tvr")});
    EXPECT_EQ(frame->RecentFiles().Files(), QStringList{QStringLiteral("/tmp/x.tvr")});
}
