#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include "shell/output_wnd.h"
#include "shell/tvr_app.h"
#include "tests/support/ui_test_support.h"

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
        {{"--connect", "10.0.0.7", "--log", "/tmp/o.log", "a.tvr"}, CommandLineAction::Run, 0, "a.tvr",
         "10.0.0.7", "/tmp/o.log", nullptr},
        {{"--connect=plate-3", "--log=x.log"}, CommandLineAction::Run, 0, {}, "plate-3", "x.log", nullptr},
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
        const CommandLineAction action =
            ParseCommandLine(QStringList{QStringLiteral("calvero")} + c.args, &o, &code, &out, &err);
        const std::string what = c.args.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(action, c.action) << what;
        if (action == CommandLineAction::Exit) {
            EXPECT_EQ(code, c.exitCode) << what;
            EXPECT_TRUE(err.contains(QLatin1String(c.errorPart))) << what << ": " << err.toStdString();
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
        EXPECT_EQ(ParseCommandLine({QStringLiteral("calvero"), QString::fromLatin1(flag), QStringLiteral("--bogus")},
                                   &o, &code, &out, &err),
                  CommandLineAction::Exit);
        EXPECT_EQ(code, 0);
        EXPECT_TRUE(err.isEmpty());
        EXPECT_TRUE(flag[2] == 'v' ? out == QStringLiteral("calvero 0.1.0\n") : out.startsWith(QStringLiteral("usage: calvero")))
            << out.toStdString();
    }
}

TEST(CalveroProgram, AnswersHelpVersionAndMissingDisplayWithoutAWindow) {
    auto run = [](const QStringList& args, bool withDisplay) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!withDisplay) {
            for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(QLatin1String(v));
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
        s.createLink = [&](IIOCP_ClientReceiver*, IIOCP_Log*, uint32_t*) {
            return static_cast<IIOCP_ClientConnection*>(&link);
        };
        s.releaseLink = [](IIOCP_ClientConnection*) { return 0u; };
        return s;
    };
    QTemporaryDir dir;
    {
        CTVR_App app;
        CommandLineOptions o;
        o.connectHost = QStringLiteral("192.0.2.9");
        o.logFile = dir.filePath(QStringLiteral("calvero.log"));
        ASSERT_TRUE(app.InitInstance(o, services()));
        EXPECT_TRUE(app.MainFrame()->isVisible());
        ASSERT_EQ(link.connects.size(), 1u);
        EXPECT_EQ(link.connects[0].host, "192.0.2.9");
        EXPECT_EQ(link.connects[0].port, 5565);
        app.MainFrame()->OutputPane()->LogMessage("to the file");
        uitest::Pump();
        EXPECT_EQ(app.ExitInstance(0), 0);
        EXPECT_EQ(app.MainFrame(), nullptr);
    }
    QFile log(dir.filePath(QStringLiteral("calvero.log")));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_TRUE(log.readAll().contains("] : to the file\n"));

    CTVR_App app;
    CommandLineOptions o;
    o.logFile = dir.filePath(QStringLiteral("missing/dir/calvero.log"));
    EXPECT_FALSE(app.InitInstance(o, services()));
    ASSERT_EQ(box.messages.size(), 1u);
    EXPECT_EQ(box.messages[0].icon, MessageIcon::Error);
    EXPECT_EQ(app.MainFrame(), nullptr);
}
