#include <gtest/gtest.h>

#include <QApplication>
#include <QMdiArea>
#include <QPointer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <functional>

#include "bake/controller_packets.h"
#include "bake/ui/control_panel.h"
#include "document/chart_document_window.h"

#include "shell/application.h"
#include "shell/output_pane.h"
#include "tests/support/document_window.h"
#include "tests/support/gauge_packet.h"
#include "tests/support/ui_test_support.h"

using test_support::WindowOf;
using namespace shell;

TEST(CommandLine, OptionsAndTheirErrors) {
    struct Case {
        QStringList args;
        CommandLineAction action;
        int exitCode;
        QString file, host, log;
        const char* errorPart;
    };
    const Case cases[] = {
        {{}, CommandLineAction::Run, 0, {}, {}, {}, nullptr},
        {{"chart.tvr"}, CommandLineAction::Run, 0, "chart.tvr", {}, {}, nullptr},
        {{"--connect", "10.0.0.7", "--log", "/tmp/o.log", "a.tvr"},
         CommandLineAction::Run,
         0,
         "a.tvr",
         "10.0.0.7",
         "/tmp/o.log",
         nullptr},
        {{"--connect=plate-3", "--log=x.log"},
         CommandLineAction::Run,
         0,
         {},
         "plate-3",
         "x.log",
         nullptr},
        {{"--", "--odd-name.tvr"}, CommandLineAction::Run, 0, "--odd-name.tvr", {}, {}, nullptr},
        {{"--connect"}, CommandLineAction::Exit, 2, {}, {}, {}, "--connect needs a HOST"},
        {{"--log="}, CommandLineAction::Exit, 2, {}, {}, {}, "--log needs a FILE"},
        {{"a.tvr", "b.tvr"}, CommandLineAction::Exit, 2, {}, {}, {}, "more than one FILE"},
        {{"--frobnicate"}, CommandLineAction::Exit, 2, {}, {}, {}, "unknown option '--frobnicate'"},
    };
    for (const Case& c : cases) {
        CommandLineOptions o;
        int code = -1;
        QString out, err;
        const CommandLineAction action = ParseCommandLine(
            QStringList{QStringLiteral("calvero")} + c.args, &o, &code, &out, &err);
        const std::string what = c.args.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(action, c.action) << what;
        if (action == CommandLineAction::Exit) {
            EXPECT_EQ(code, c.exitCode) << what;
            EXPECT_TRUE(err.contains(QLatin1String(c.errorPart)))
                << what << ": " << err.toStdString();
            continue;
        }
        EXPECT_EQ(o.file, c.file) << what;
        EXPECT_EQ(o.connectHost, c.host) << what;
        EXPECT_EQ(o.logFile, c.log) << what;
    }
}

TEST(CommandLine, HelpAndVersionExitCleanly) {
    for (const char* flag : {"--help", "-h", "--version"}) {
        CommandLineOptions o;
        int code = -1;
        QString out, err;
        EXPECT_EQ(ParseCommandLine({QStringLiteral("calvero"), QString::fromLatin1(flag),
                                    QStringLiteral("--bogus")},
                                   &o, &code, &out, &err),
                  CommandLineAction::Exit);
        EXPECT_EQ(code, 0);
        EXPECT_TRUE(err.isEmpty());
        EXPECT_TRUE(flag[2] == 'v' ? out == QStringLiteral("calvero 0.1.0\n")
                                   : out.startsWith(QStringLiteral("Usage: calvero")))
            << out.toStdString();
    }
}

TEST(CalveroProgram, AnswersHelpVersionAndMissingDisplayWithoutAWindow) {
    auto run = [](const QStringList& args, bool withDisplay) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!withDisplay) {
            for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
                env.remove(QLatin1String(v));
        }
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(CALVERO_PATH), args);
        EXPECT_TRUE(p.waitForFinished(10000));
        return std::tuple{p.exitCode(), QString::fromLocal8Bit(p.readAllStandardOutput()),
                          QString::fromLocal8Bit(p.readAllStandardError())};
    };
    auto [code, out, err] = run({QStringLiteral("--version")}, false);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(out, QStringLiteral("calvero 0.1.0\n"));
    std::tie(code, out, err) = run({QStringLiteral("--help")}, false);
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(out.contains(QStringLiteral("--connect HOST")));
    std::tie(code, out, err) = run({QStringLiteral("--nope")}, true);
    EXPECT_EQ(code, 2);
    EXPECT_TRUE(err.contains(QStringLiteral("unknown option")));
    std::tie(code, out, err) = run({}, false);
    EXPECT_EQ(code, 2);
    EXPECT_TRUE(err.contains(QStringLiteral("no display"))) << err.toStdString();
}

TEST(TVR_App, StartsWithTheCommandLineAndRefusesAnUnwritableLog) {
    uitest::ClearSettings();
    uitest::RecordingMessageBox box;
    uitest::FakeLink link;
    auto services = [&] {
        MainFrameServices s;
        s.messageBox = &box;
        s.createLink = [&](devlink::Receiver*, devlink::LinkLog*, uint32_t*) {
            return static_cast<devlink::Connection*>(&link);
        };
        s.releaseLink = [](devlink::Connection*) { return 0u; };
        return s;
    };
    QTemporaryDir dir;
    {
        Application app;
        CommandLineOptions o;
        o.connectHost = QStringLiteral("192.0.2.9");
        o.logFile = dir.filePath(QStringLiteral("calvero.log"));
        ASSERT_TRUE(app.InitInstance(o, services()));
        EXPECT_TRUE(app.MainFrame()->isVisible());
        ASSERT_EQ(link.connects.size(), 1u);
        EXPECT_EQ(link.connects[0].host, "192.0.2.9");
        EXPECT_EQ(link.connects[0].port, 5565);
        app.MainFrame()->Output()->LogMessage("to the file");
        uitest::Pump();
        EXPECT_EQ(app.ExitInstance(0), 0);
        EXPECT_EQ(app.MainFrame(), nullptr);
    }
    QFile log(dir.filePath(QStringLiteral("calvero.log")));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_TRUE(log.readAll().contains("] : to the file\n"));

    Application app;
    CommandLineOptions o;
    o.logFile = dir.filePath(QStringLiteral("missing/dir/calvero.log"));
    EXPECT_FALSE(app.InitInstance(o, services()));
    ASSERT_EQ(box.messages.size(), 1u);
    EXPECT_EQ(box.messages[0].icon, platform::MessageIcon::Error);
    EXPECT_EQ(app.MainFrame(), nullptr);
}

namespace {

class CancelSelector : public DeviceSelector {
public:
    bool SelectDevice(const DeviceSelectionContext&, DeviceChoice*) override { return false; }
};

std::vector<uint8_t> Gauge(uint32_t devState, uint64_t timestamp) {
    return test_support::GaugePacket(
        {.timestamp = timestamp, .devState = devState, .tempMain = 2500});
}

}  // namespace

// The live record comes up in front, active and wholly inside the document
// area, whatever the start-up document did.
TEST(TVR_App, ABakeBringsItsRecordToTheFrontInsideTheArea) {
    struct Case {
        const char* what;
        std::function<void(document::ChartDocument* startup)> prepare;
        bool startupKept;
    };
    auto use = [](document::ChartDocument* d) {
        bake::CONCC_GaugeData g;
        g.timestamp = 1;
        d->AppendGauge(g);
    };
    const Case cases[] = {
        {"the start-up document as it came", [](document::ChartDocument*) {}, false},
        {"the start-up document restored by the operator",
         [](document::ChartDocument* d) { WindowOf(d)->showNormal(); }, false},
        {"the start-up document in use", use, true},
        {"the start-up document in use and restored",
         [use](document::ChartDocument* d) {
             use(d);
             WindowOf(d)->showNormal();
         },
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        uitest::ClearSettings();
        uitest::RecordingMessageBox box;
        uitest::FakeLink link;
        CancelSelector selector;
        QTemporaryDir dir;
        MainFrameServices s;
        s.messageBox = &box;
        s.deviceSelector = &selector;
        s.createLink = [&](devlink::Receiver*, devlink::LinkLog*, uint32_t*) {
            return static_cast<devlink::Connection*>(&link);
        };
        s.releaseLink = [](devlink::Connection*) { return 0u; };
        DocumentServices d;
        d.recoveryFolder = dir.filePath(QStringLiteral("recovery"));
        d.askSaveChanges = [](QWidget*, const QString&) { return document::SaveChoice::Discard; };
        CommandLineOptions o;
        o.recordsFolder = dir.filePath(QStringLiteral("records"));
        Application app;
        ASSERT_TRUE(app.InitInstance(o, s, d));
        MainWindow* frame = app.MainFrame();
        frame->activateWindow();
        uitest::Pump();
        QMdiArea* area = frame->MdiArea();
        ASSERT_EQ(1, app.Documents()->Documents().size());
        QPointer<document::ChartDocument> startup = app.Documents()->Documents()[0];
        c.prepare(startup);
        uitest::Pump();

        frame->Bridge()->OnConnected(0);
        for (const auto& p :
             {Gauge(bake::CONCC_DEV_IDLE, 1000), Gauge(bake::CONCC_DEV_BAKING, 2000)})
            frame->Bridge()->OnPacket(p.data(), uint32_t(p.size()), 0);
        ASSERT_TRUE(uitest::PumpUntil(
            [&] { return frame->ControlFrame()->State() == bake::ui::ControlState::CF_BAKING; }));
        uitest::Pump();

        auto* window = qobject_cast<document::ChartDocumentWindow*>(area->activeSubWindow());
        ASSERT_NE(nullptr, window);
        document::ChartDocument* record = window->Document();
        EXPECT_NE(startup.data(), record);
        EXPECT_EQ(QStringLiteral("Chart2"), record->Title());
        EXPECT_TRUE(record->IsLiveBake());
        EXPECT_EQ(window, area->subWindowList(QMdiArea::StackingOrder).last());
        EXPECT_TRUE(window->isVisible());
        // Every document opens maximized in the area.
        EXPECT_TRUE(window->isMaximized());
        const QRect viewport(QPoint(0, 0), area->viewport()->size());
        EXPECT_TRUE(viewport.contains(window->geometry()))
            << "record at " << window->x() << "," << window->y() << " size " << window->width()
            << "x" << window->height() << " in " << viewport.width() << "x" << viewport.height();
        EXPECT_GT(window->height(), viewport.height() / 2);
        EXPECT_EQ(QPoint(0, 0), window->pos());
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(nullptr, focus);
        EXPECT_TRUE(window->isAncestorOf(focus)) << focus->metaObject()->className();
        EXPECT_EQ(c.startupKept, bool(startup));
        EXPECT_EQ(c.startupKept ? 2 : 1, area->subWindowList().size());
        frame->close();
        app.ExitInstance(0);
    }
}
