// The program's chart documents as the main frame carries them: start-up,
// the command line's FILE, the document menu and its enabling, quitting.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QMdiArea>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QPrinter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "bake/controller_packets.h"
#include "bake/ui/control_panel.h"
#include "chart/ui/chart_widget.h"
#include "document/chart_document_window.h"
#include "shell/application.h"
#include "shell/chart_output.h"
#include "shell/document_commands.h"
#include "shell/windows_dialog.h"
#include "tests/support/document_window.h"
#include "tests/support/gauge_packet.h"
#include "tests/support/ui_test_support.h"

using test_support::WindowOf;
namespace {

using namespace shell;

// A menu's shown entries: their texts, "-" for a separator the menu shows.
QStringList ShownTexts(QMenu* menu) {
    QStringList texts;
    for (QAction* a : menu->actions()) {
        if (!a->isVisible())
            continue;
        if (!a->isSeparator())
            texts << a->text();
        else if (!texts.isEmpty() && texts.last() != QLatin1String("-"))
            texts << QStringLiteral("-");
    }
    if (!texts.isEmpty() && texts.last() == QLatin1String("-"))
        texts.removeLast();
    return texts;
}

class ProgramDocuments : public ::testing::Test {
protected:
    void SetUp() override {
        uitest::ClearSettings();
        services_.messageBox = &box_;
        services_.createLink = [this](devlink::Receiver*, devlink::LinkLog*, uint32_t*) {
            return static_cast<devlink::Connection*>(&link_);
        };
        services_.releaseLink = [](devlink::Connection*) { return 0u; };
        docs_.recoveryFolder = dir_.filePath(QStringLiteral("recovery"));
        docs_.askSaveChanges = [this](QWidget*, const QString&) {
            ++questions_;
            return answer_;
        };
        docs_.askRestoreRecovered = [this](QWidget*, const QString& text,
                                           const QList<document::RecoveryEntry>& files,
                                           std::function<void(document::RecoveryAnswer)> answer) {
            offerText_ = text;
            for (const document::RecoveryEntry& e : files) offered_ << e.path;
            if (answerNow_)
                answer(document::RecoveryAnswer::Open);
            else
                pendingAnswer_ = std::move(answer);
        };
        options_.recordsFolder = dir_.filePath(QStringLiteral("records"));
        options_.connectHost = QStringLiteral("192.0.2.9");  // no device selection
    }
    QStringList Titles() const {
        QStringList t;
        for (document::ChartDocument* d : app_.Documents()->Documents()) t << d->Title();
        return t;
    }
    void Gauge(uint32_t devState, uint64_t t) {
        const auto bytes = test_support::GaugePacket({.timestamp = t, .devState = devState});
        app_.MainFrame()->ControlFrame()->OnPacket(bytes.data(), uint32_t(bytes.size()));
    }

    QTemporaryDir dir_;
    uitest::RecordingMessageBox box_;
    uitest::FakeLink link_;
    MainFrameServices services_;
    DocumentServices docs_;
    CommandLineOptions options_;
    Application app_;
    document::SaveChoice answer_ = document::SaveChoice::Cancel;
    int questions_ = 0;
    QStringList offered_;
    QString offerText_;
    bool answerNow_ = true;
    std::function<void(document::RecoveryAnswer)> pendingAnswer_;
};

}  // namespace

TEST_F(ProgramDocuments, StartsWithAnEmptyDocumentAndShowsTheDocumentMenu) {
    ASSERT_TRUE(app_.InitInstance(options_, services_, docs_));
    EXPECT_EQ(QStringList{QStringLiteral("Chart1")}, Titles());
    MainWindow* frame = app_.MainFrame();
    const Actions& commands = frame->Commands();
    for (QAction* a : {commands.saveAs, commands.importChart, commands.exportCsv,
                       commands.exportImage, commands.print, commands.copy})
        EXPECT_TRUE(a->isVisible() && a->isEnabled()) << a->text().toStdString();
    EXPECT_TRUE(commands.save->isEnabled());
    EXPECT_EQ(QKeySequence(QKeySequence::Save), commands.save->shortcut());
    EXPECT_EQ(QKeySequence(QKeySequence::ZoomIn), commands.zoomIn->shortcut());
    EXPECT_EQ(QKeySequence(QKeySequence::FullScreen), commands.fullScreen->shortcut());
    EXPECT_EQ(QKeySequence(QKeySequence::Copy), commands.copy->shortcut());
    EXPECT_EQ(QKeySequence(QKeySequence::Print), commands.print->shortcut());

    // The menus as the operator sees them, every group's commands in place.
    EXPECT_EQ(ShownTexts(frame->MenuBarMenus().file),
              (QStringList{"&New\tCtrl+N", "&Open...\tCtrl+O", "New Profile...", "Open Profile...",
                           "&Close", "&Save\tCtrl+S", "Save &As...", "-", "Import chart...",
                           "Export CSV...", "Export Image...", "Export Report...",
                           "Compare with record...", "-", "Recent File", "-", "E&xit"}));
    EXPECT_EQ(ShownTexts(frame->MenuBarMenus().devices),
              (QStringList{"Connect...", "Disconnect", "-", "Bake options...",
                           "Upload Bake Profile", "-", "Acknowledge Alarms", "Alarms..."}));
    EXPECT_EQ(ShownTexts(frame->MenuBarMenus().view),
              (QStringList{"&Toolbars and Docking Windows", "&Status Bar", "&Application Look", "-",
                           "&Windows...", "-", "Zoom &In", "Zoom &Out", "&Full Screen",
                           "Bake report", "Overview", "Profiles"}));
    QAction* upload = commands.uploadProfile;

    // "Upload Bake Profile" only while Idle.
    EXPECT_FALSE(upload->isEnabled());
    frame->ControlFrame()->OnDeviceConnected();
    EXPECT_FALSE(upload->isEnabled());
    Gauge(bake::CONCC_DEV_IDLE, 1);
    EXPECT_TRUE(upload->isEnabled());
    Gauge(bake::CONCC_DEV_BAKING, 2);
    EXPECT_FALSE(upload->isEnabled());
    EXPECT_EQ(QStringLiteral("Chart2"), app_.Documents()->ActiveDocument()->Title());

    // Zoom in on the active chart.
    chart::ui::ChartWidget* c = app_.Documents()->ActiveWindow()->Container();
    const double before = c->Mapping().scaleX;
    commands.zoomIn->trigger();
    EXPECT_GT(c->Mapping().scaleX, before);

    // Without documents the document menu goes away.
    answer_ = document::SaveChoice::Discard;
    frame->MdiArea()->closeAllSubWindows();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(commands.importChart->isVisible());
    EXPECT_FALSE(upload->isVisible());
    EXPECT_FALSE(commands.save->isEnabled());
    EXPECT_FALSE(commands.print->isEnabled());
    EXPECT_FALSE(commands.copy->isEnabled());
    EXPECT_TRUE(commands.print->isVisible()) << "the toolbar keeps its button";
    app_.ExitInstance(0);
}

TEST_F(ProgramDocuments, CopyPutsTheActiveChartOnTheClipboardAsImageAndCsv) {
    ASSERT_TRUE(app_.InitInstance(options_, services_, docs_));
    chart::ui::ChartWidget* c = app_.Documents()->ActiveWindow()->Container();
    const std::vector<chart::ChartPoint> points{{0, 20}, {1.5, 21.25}, {3, -4}};
    ASSERT_GE(c->Set().AddChart(points, L"Temp", L"Temperature", 0, 1.0f, 0.0f, 0xFF0000FF), 0);
    QApplication::clipboard()->clear();

    app_.MainFrame()->Commands().copy->trigger();
    const QMimeData* data = QApplication::clipboard()->mimeData();
    ASSERT_NE(nullptr, data);
    ASSERT_TRUE(data->hasImage());
    const QImage image = qvariant_cast<QImage>(data->imageData());
    EXPECT_EQ(c->size(), image.size());
    EXPECT_EQ(data->text().toUtf8(), data->data(QStringLiteral("text/csv")));
    QStringList lines = data->text().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1 + int(points.size())) << data->text().toStdString();
    EXPECT_EQ(QStringLiteral("Temp x,Temp Temperature"), lines.takeFirst());
    for (size_t i = 0; i < points.size(); ++i) {
        const QStringList cells = lines[int(i)].split(QLatin1Char(','));
        ASSERT_EQ(2, cells.size()) << i;
        bool xOk = false, yOk = false;
        EXPECT_DOUBLE_EQ(points[i].x, cells[0].toDouble(&xOk)) << i;
        EXPECT_DOUBLE_EQ(points[i].y, cells[1].toDouble(&yOk)) << i;
        EXPECT_TRUE(xOk && yOk) << i;
    }
    app_.ExitInstance(0);
}

TEST_F(ProgramDocuments, PrintIsForAnActiveChartWhichItDrawsOnAPage) {
    ASSERT_TRUE(app_.InitInstance(options_, services_, docs_));
    MainWindow* frame = app_.MainFrame();
    ASSERT_TRUE(frame->Commands().print->isEnabled());
    chart::ui::ChartWidget* c = app_.Documents()->ActiveWindow()->Container();
    ASSERT_GE(c->Set().AddChart(std::vector<chart::ChartPoint>{{0, 20}, {60, 180}}, L"Temp",
                                L"Temperature", 0, 1.0f, 0.0f, 0xFF0000FF),
              0);

    QPrinter printer;
    printer.setOutputFormat(QPrinter::PdfFormat);
    const QString pdf = dir_.filePath(QStringLiteral("chart.pdf"));
    printer.setOutputFileName(pdf);
    ASSERT_TRUE(PrintChart(*c, printer));
    QFile file(pdf);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_TRUE(bytes.startsWith("%PDF-"));
    EXPECT_TRUE(bytes.contains("/Subtype /Image")) << "the chart is drawn as an image";

    answer_ = document::SaveChoice::Discard;
    frame->MdiArea()->closeAllSubWindows();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(frame->Commands().print->isEnabled());
    app_.ExitInstance(0);
}

TEST_F(ProgramDocuments, QuittingAsksForAModifiedRecordAndCanBeCancelled) {
    ASSERT_TRUE(app_.InitInstance(options_, services_, docs_));
    MainWindow* frame = app_.MainFrame();
    frame->ControlFrame()->OnDeviceConnected();
    Gauge(bake::CONCC_DEV_BAKING, 5);
    answer_ = document::SaveChoice::Cancel;
    EXPECT_FALSE(frame->close());
    EXPECT_EQ(1, questions_);
    EXPECT_TRUE(frame->isVisible());
    answer_ = document::SaveChoice::Discard;
    EXPECT_TRUE(frame->close());
    EXPECT_EQ(2, questions_);
    app_.ExitInstance(0);
}

TEST_F(ProgramDocuments, CommandLineFileAndRecoveredRecords) {
    // A file that is not a chart file: the reader's text, no window, and no
    // empty document in its place.
    QFile bad(dir_.filePath(QStringLiteral("bad.tvr")));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("not xml");
    bad.close();
    options_.file = bad.fileName();
    // A recovery file left by an earlier run is offered and opened, modified.
    QDir().mkpath(docs_.recoveryFolder);
    chart::ChartSet m;
    const chart::ChartPoint pts[] = {{0, 1}, {1, 2}};
    const int id = m.AddChart(pts, L"Temp Main", L"Temperature", 0, 1.0f, 0.0f, 0xFFFF0000u);
    std::wstring error;
    const QString left =
        QDir(docs_.recoveryFolder).filePath(QStringLiteral("bake-20260102-030405.tvr"));
    ASSERT_TRUE(m.SaveChartsXml(left.toStdWString(), {id}, error));

    ASSERT_TRUE(app_.InitInstance(options_, services_, docs_));
    ASSERT_EQ(1u, box_.messages.size());
    EXPECT_EQ(platform::MessageIcon::Error, box_.messages[0].icon);
    ASSERT_TRUE(uitest::PumpUntil([&] { return !offered_.isEmpty(); }));
    EXPECT_EQ(QStringList{left}, offered_);
    EXPECT_EQ(QStringList{QStringLiteral("bake-20260102-030405")}, Titles());
    EXPECT_TRUE(app_.Documents()->ActiveDocument()->IsModified());
    answer_ = document::SaveChoice::Discard;
    app_.MainFrame()->close();
    EXPECT_FALSE(QFile::exists(left));  // discarded by the operator
    app_.ExitInstance(0);
}

TEST_F(ProgramDocuments, TheRecoveryQuestionHoldsNothingUpAndIsLogged) {
    QDir().mkpath(docs_.recoveryFolder);
    chart::ChartSet m;
    const chart::ChartPoint pts[] = {{0, 1}, {1, 2}};
    const int id = m.AddChart(pts, L"Temp Main", L"Temperature", 0, 1.0f, 0.0f, 0xFFFF0000u);
    std::wstring error;
    const QString left =
        QDir(docs_.recoveryFolder).filePath(QStringLiteral("bake-20260102-030405.tvr"));
    ASSERT_TRUE(m.SaveChartsXml(left.toStdWString(), {id}, error));
    options_.logFile = dir_.filePath(QStringLiteral("calvero.log"));
    answerNow_ = false;  // the operator lets the question wait

    ASSERT_TRUE(app_.InitInstance(options_, services_, docs_));
    // The window is up and the connection begun before anything is asked.
    EXPECT_TRUE(offered_.isEmpty());
    EXPECT_TRUE(app_.MainFrame()->isVisible());
    EXPECT_EQ(1u, link_.connects.size());
    ASSERT_TRUE(uitest::PumpUntil([&] { return !offered_.isEmpty(); }));
    EXPECT_EQ(QStringList{left}, offered_);
    const QString text =
        QStringLiteral("1 bake record(s) were not saved when the program last ended.");
    EXPECT_EQ(text, offerText_);
    EXPECT_EQ(QStringList{QStringLiteral("Chart1")}, Titles());

    pendingAnswer_(document::RecoveryAnswer::Open);
    EXPECT_EQ((QStringList{QStringLiteral("Chart1"), QStringLiteral("bake-20260102-030405")}),
              Titles());
    auto logged = [&](const QByteArray& what) {
        QFile log(options_.logFile);
        return log.open(QIODevice::ReadOnly) && log.readAll().contains(what);
    };
    EXPECT_TRUE(uitest::PumpUntil([&] { return logged(text.toUtf8()); }));
    EXPECT_TRUE(uitest::PumpUntil([&] { return logged("Open: 1 of 1 bake record(s) opened"); }));
    answer_ = document::SaveChoice::Discard;
    app_.MainFrame()->close();
    EXPECT_FALSE(QFile::exists(left));
    app_.ExitInstance(0);
}

TEST(RecoveryQuestion, ListsEveryFileInOneScrollingWindowThatDoesNotBlock) {
    QList<document::RecoveryEntry> files;
    for (int i = 0; i < 1000; ++i)
        files.append({QStringLiteral("/r/bake-%1.tvr").arg(i),
                      i % 2 ? QStringLiteral("not well-formed") : QString()});
    struct Case {
        const char* button;  // null: closed without an answer
        document::RecoveryAnswer expected;
    } cases[] = {{"Open", document::RecoveryAnswer::Open},
                 {"Discard", document::RecoveryAnswer::Discard},
                 {nullptr, document::RecoveryAnswer::Later}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button ? c.button : "closed");
        QWidget parent;
        parent.resize(800, 600);
        parent.show();
        std::vector<document::RecoveryAnswer> answers;
        QPointer<QDialog> dialog = CreateRecoveryQuestion(
            &parent,
            QStringLiteral("1000 bake record(s) were not saved when the program last ended."),
            files, [&](document::RecoveryAnswer a) { answers.push_back(a); });
        dialog->show();
        EXPECT_FALSE(dialog->isModal());
        EXPECT_EQ(nullptr, QApplication::activeModalWidget());
        auto* list = dialog->findChild<QListWidget*>(QStringLiteral("recoveryFiles"));
        ASSERT_NE(nullptr, list);
        ASSERT_EQ(1000, list->count());
        EXPECT_EQ(QStringLiteral("/r/bake-0.tvr"), list->item(0)->text());
        EXPECT_TRUE(list->item(1)->text().contains(QStringLiteral("not well-formed")));
        // Its buttons are in reach on any screen.
        EXPECT_LT(dialog->sizeHint().height(), 600);
        EXPECT_LT(dialog->height(), 600);
        if (c.button) {
            QPushButton* button = nullptr;
            for (QPushButton* b : dialog->findChildren<QPushButton*>())
                if (b->text() == QLatin1String(c.button))
                    button = b;
            ASSERT_NE(nullptr, button);
            button->click();
        } else {
            dialog->reject();
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_FALSE(dialog);
        EXPECT_EQ(std::vector<document::RecoveryAnswer>{c.expected}, answers);
    }
}

namespace {

// Collects the warnings Qt writes while it is installed.
class QtWarnings {
public:
    QtWarnings() {
        seen().clear();
        previous_ = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext&, const QString& text) { seen() << text; });
    }
    ~QtWarnings() { qInstallMessageHandler(previous_); }
    static QStringList& seen() {
        static QStringList lines;
        return lines;
    }

private:
    QtMessageHandler previous_;
};

}  // namespace

// Every key of the README's table, pressed on the focused chart of an open
// document, does its command (and none is ambiguous with a window's own).
TEST_F(ProgramDocuments, EveryKeyOfTheReadmeWorksOnAFocusedChart) {
    QStringList openFolders;
    int saveQuestions = 0;
    services_.askOpenPath = [&](QWidget*, const QString& folder) {
        openFolders << folder;
        return QString();
    };
    docs_.askSavePath = [&](QWidget*, const QString&) {
        ++saveQuestions;
        return QString();
    };
    ASSERT_TRUE(app_.InitInstance(options_, services_, docs_));
    MainWindow* frame = app_.MainFrame();
    frame->activateWindow();
    ASSERT_TRUE(uitest::PumpUntil([&] { return QApplication::activeWindow() == frame; }));
    document::DocumentManager* docs = app_.Documents();
    auto chart = [&]() -> QWidget* {
        document::ChartDocument* doc = docs->ActiveDocument();
        if (!doc)
            return nullptr;
        QWidget* c = WindowOf(doc)->Container();
        c->setFocus(Qt::OtherFocusReason);
        uitest::Pump();
        return QApplication::focusWidget() == c ? c : nullptr;
    };
    auto press = [&](int key, Qt::KeyboardModifiers mods) {
        QWidget* c = chart();
        if (!c)
            return ::testing::AssertionFailure() << "no focused chart";
        QTest::keyClick(c, Qt::Key(key), mods);
        uitest::Pump();
        return ::testing::AssertionSuccess();
    };
    QtWarnings warnings;

    ASSERT_TRUE(press(Qt::Key_N, Qt::ControlModifier));  // Ctrl+N
    EXPECT_EQ(2, docs->Documents().size());
    ASSERT_TRUE(press(Qt::Key_O, Qt::ControlModifier));  // Ctrl+O, in the records folder
    EXPECT_EQ(QStringList{options_.recordsFolder}, openFolders);
    ASSERT_TRUE(press(Qt::Key_S, Qt::ControlModifier));  // Ctrl+S: an untitled one asks
    EXPECT_EQ(1, saveQuestions);
    ASSERT_TRUE(press(Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier));
    EXPECT_EQ(2, saveQuestions);
    chart::ui::ChartWidget* c = docs->ActiveWindow()->Container();
    const double scale = c->Mapping().scaleX;
    ASSERT_TRUE(press(Qt::Key_Plus, Qt::ControlModifier));
    EXPECT_GT(c->Mapping().scaleX, scale);
    ASSERT_TRUE(press(Qt::Key_Minus, Qt::ControlModifier));
    EXPECT_DOUBLE_EQ(scale, c->Mapping().scaleX);
    ASSERT_TRUE(press(Qt::Key_F11, Qt::NoModifier));
    EXPECT_TRUE(frame->windowState() & Qt::WindowFullScreen);
    ASSERT_TRUE(press(Qt::Key_F11, Qt::NoModifier));
    EXPECT_FALSE(frame->windowState() & Qt::WindowFullScreen);
    ASSERT_TRUE(press(Qt::Key_W, Qt::ControlModifier));  // Ctrl+W
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(1, docs->Documents().size());
    ASSERT_TRUE(press(Qt::Key_F4, Qt::ControlModifier));  // Ctrl+F4
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(0, docs->Documents().size());
    ASSERT_NE(nullptr, app_.Recorder()->NewDocument());
    ASSERT_TRUE(press(Qt::Key_Q, Qt::ControlModifier));  // Ctrl+Q
    EXPECT_FALSE(frame->isVisible());
    EXPECT_TRUE(warnings.seen().filter(QStringLiteral("Ambiguous")).isEmpty())
        << warnings.seen().join(QLatin1Char('\n')).toStdString();
    app_.ExitInstance(0);
}

TEST(WindowsDialog, TitlesShowTheModifiedMarkAsTheTitleBarDoes) {
    struct Case {
        const char* title;
        bool modified;
        const char* shown;
    };
    const Case cases[] = {
        {"Chart1[*]", false, "Chart1"},
        {"Chart1[*]", true, "Chart1*"},
        {"run.tvr", true, "run.tvr"},
        {"a[*][*]b[*]", true, "a[*]b*"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(QString::fromLatin1(c.shown),
                  ShownWindowTitle(QString::fromLatin1(c.title), c.modified))
            << c.title << " " << c.modified;
}

TEST_F(ProgramDocuments, TheWindowsDialogListsCleanTitles) {
    ASSERT_TRUE(app_.InitInstance(options_, services_, docs_));
    document::ChartDocument* doc = app_.Documents()->ActiveDocument();
    ASSERT_NE(nullptr, doc);
    bake::CONCC_GaugeData g;
    g.timestamp = 1;
    doc->AppendGauge(g);
    app_.Recorder()->NewDocument();
    WindowsDialog dlg(app_.MainFrame()->MdiArea());
    QStringList shown;
    for (int i = 0; i < dlg.WindowList()->count(); ++i) shown << dlg.WindowList()->item(i)->text();
    EXPECT_EQ((QStringList{QStringLiteral("Chart1*"), QStringLiteral("Chart2")}), shown);
    answer_ = document::SaveChoice::Discard;
    app_.ExitInstance(0);
}
