#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <string>
#include <thread>

#include "shell/output_pane.h"
#include "tests/support/ui_test_support.h"

using namespace shell;

TEST(OutputLine, FormatCarriesKindTimeAndText) {
    struct Case {
        OutputLineKind kind;
        int h, m, s, ms;
        const char* text;
        const char* line;
    };
    const Case cases[] = {
        {OutputLineKind::Error, 9, 5, 3, 7, "Device Connected!",
         "ERR [09:05:03.007] : Device Connected!"},
        {OutputLineKind::Message, 23, 59, 59, 999, "x", "MSG [23:59:59.999] : x"},
        {OutputLineKind::Warning, 0, 0, 0, 0, "", "WAR [00:00:00.000] : "},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatOutputLine(c.kind, c.h, c.m, c.s, c.ms, QString::fromLatin1(c.text))
                      .toStdString(),
                  c.line);
    }
}

class OutputWndTest : public ::testing::Test {
protected:
    bool WaitLines(int n) {
        return uitest::PumpUntil([&] { return pane.LineCount() >= n; });
    }
    OutputPane pane;
};

TEST_F(OutputWndTest, EachInterfaceWritesItsKindOfLineWithoutTheSource) {
    platform::TraceLog* trace = &pane;
    devlink::LinkLog* link = &pane;
    trace->TraceError(L"USB", L"Device Connected!");
    trace->TraceMessage(L"SendTestCommand", L"%ls %d %s", L"wide", 42, "narrow");
    trace->TraceWarning(L"ServiceMgr", L"careful");
    link->LogMessage("IIOCP_ClientConnection - conn thread - Received INIT ok!");
    link->LogError("code %u : %s", 89u, "refused");
    EXPECT_EQ(pane.LineCount(), 0) << "lines travel as posted events";
    ASSERT_TRUE(WaitLines(5));

    const QRegularExpression stamp(
        QStringLiteral(R"(^(MSG|ERR|WAR) \[\d\d:\d\d:\d\d\.\d\d\d\] : (.*)$)"));
    const char* expected[][2] = {
        {"ERR", "Device Connected!"},
        {"MSG", "wide 42 narrow"},
        {"WAR", "careful"},
        {"MSG", "IIOCP_ClientConnection - conn thread - Received INIT ok!"},
        {"ERR", "code 89 : refused"}};
    for (int i = 0; i < 5; ++i) {
        const auto m = stamp.match(pane.Line(i));
        ASSERT_TRUE(m.hasMatch()) << pane.Line(i).toStdString();
        EXPECT_EQ(m.captured(1).toStdString(), expected[i][0]);
        EXPECT_EQ(m.captured(2).toStdString(), expected[i][1]);
        EXPECT_FALSE(pane.Line(i).contains(QStringLiteral("USB")));
    }
}

TEST_F(OutputWndTest, LinesFromOtherThreadsArriveInTheirOrder) {
    constexpr int kPerThread = 200;
    auto writer = [&](int id) {
        for (int i = 0; i < kPerThread; ++i) {
            if (id == 0) {
                pane.LogMessage("t%d %d", id, i);
            } else {
                pane.TraceMessage(L"worker", L"t%d %d", id, i);
            }
        }
    };
    std::thread a(writer, 0), b(writer, 1);
    a.join();
    b.join();
    ASSERT_TRUE(WaitLines(2 * kPerThread));
    int next[2] = {0, 0};
    for (int i = 0; i < pane.LineCount(); ++i) {
        const QString text = pane.Line(i).section(QStringLiteral(" : "), 1);
        const int id = text.mid(1, 1).toInt();
        EXPECT_EQ(text, QStringLiteral("t%1 %2").arg(id).arg(next[id]));
        ++next[id];
    }
    EXPECT_EQ(next[0], kPerThread);
    EXPECT_EQ(next[1], kPerThread);
}

TEST_F(OutputWndTest, OverlongFormatIsDroppedAndOverlongTextIsCut) {
    const std::wstring wide4096(4096, L'w'), wide4095(4095, L'w');
    const std::string narrow4096(4096, 'n'), narrow4095(4095, 'n');
    pane.TraceError(L"t", wide4096.c_str());
    pane.LogError("%s", narrow4096.c_str());  // a short format: the text is cut instead
    pane.LogMessage(narrow4096.c_str());
    pane.TraceMessage(L"t", wide4095.c_str());
    pane.LogMessage(narrow4095.c_str());
    pane.TraceWarning(L"t", L"%ls%ls", wide4095.c_str(), L"tail");
    ASSERT_TRUE(WaitLines(4));
    uitest::Pump();
    ASSERT_EQ(pane.LineCount(), 4);
    auto text = [&](int i) { return pane.Line(i).section(QStringLiteral("] : "), 1); };
    EXPECT_EQ(text(0), QString(4095, QLatin1Char('n')));
    EXPECT_TRUE(pane.Line(0).startsWith(QStringLiteral("ERR")));
    EXPECT_EQ(text(1), QString(4095, QLatin1Char('w')));
    EXPECT_EQ(text(2), QString(4095, QLatin1Char('n')));
    EXPECT_EQ(text(3), QString(4095, QLatin1Char('w')));
}

TEST_F(OutputWndTest, CopyTakesTheSelectionOrEverythingAndClearEmpties) {
    pane.LogMessage("one");
    pane.LogMessage("two");
    pane.LogMessage("three");
    ASSERT_TRUE(WaitLines(3));
    OutputList* list = pane.List();
    list->CopyToClipboard();
    QString all = QApplication::clipboard()->text();
    EXPECT_EQ(all.count(QLatin1Char('\n')), 3);
    EXPECT_TRUE(all.contains(QStringLiteral("] : one\n")));
    EXPECT_TRUE(all.endsWith(QStringLiteral("] : three\n")));

    list->item(0)->setSelected(true);
    list->item(2)->setSelected(true);
    EXPECT_EQ(list->CopyText(),
              pane.Line(0) + QLatin1Char('\n') + pane.Line(2) + QLatin1Char('\n'));

    list->clear();
    EXPECT_EQ(pane.LineCount(), 0);
    EXPECT_EQ(list->CopyText(), QString());
}

TEST_F(OutputWndTest, LogFileReceivesEveryLineAppended) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.log"));
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("earlier\n");
    }
    QString error;
    ASSERT_TRUE(pane.SetLogFile(path, &error));
    pane.TraceError(L"USB", L"Device Connected!");
    pane.LogMessage("second");
    ASSERT_TRUE(WaitLines(2));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 4);  // three lines and the empty rest after the last '\n'
    EXPECT_EQ(lines[0], QStringLiteral("earlier"));
    EXPECT_EQ(lines[1], pane.Line(0));
    EXPECT_EQ(lines[2], pane.Line(1));

    EXPECT_FALSE(pane.SetLogFile(dir.filePath(QStringLiteral("no/such/dir/x.log")), &error));
    EXPECT_FALSE(error.isEmpty());
}
