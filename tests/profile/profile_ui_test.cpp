// The profile editor: its undo stack on the model without widgets, the drag
// arithmetic, the editor's table, chart, rules and upload, and the editor in
// the program (menus, upload through the panel, read from the controller).
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDockWidget>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QUndoStack>
#include <algorithm>
#include <cmath>

#include "bake/controller_packets.h"
#include "bake/ui/control_panel.h"
#include "chart/ui/chart_widget.h"
#include "profile/profile_templates.h"
#include "profile/ui/profile_drag.h"
#include "profile/ui/profile_edit_model.h"
#include "profile/ui/profile_editor.h"
#include "profile/ui/profile_library.h"
#include "shell/application.h"
#include "shell/main_window.h"
#include "shell/profile_commands.h"
#include "tests/support/gauge_packet.h"
#include "tests/support/program_test.h"
#include "tests/support/ui_test_support.h"

namespace {

using profile::ChartPoint;
using Pairs = std::vector<std::pair<double, double>>;

Pairs P(const profile::Profile& p) {
    Pairs out;
    for (const auto& pt : p.Points()) out.push_back({pt.x, pt.y});
    return out;
}

TEST(ProfileUndo, EveryEditUndoesAndRedoesInOrder) {
    profile::ui::ProfileEditModel m;
    int changes = 0;
    QObject::connect(&m, &profile::ui::ProfileEditModel::changed, [&] { ++changes; });
    m.Reset(profile::Profile({{0, 25}, {60, 150}}));
    EXPECT_FALSE(m.UndoStack()->canUndo()) << "a loaded profile is where undo stops";

    ASSERT_TRUE(m.InsertPoint(2, {120, 200}));
    ASSERT_TRUE(m.MovePoint(1, {50, 140}));
    ASSERT_TRUE(m.RemovePoint(0));
    EXPECT_FALSE(m.RemovePoint(5)) << "nothing to record";
    EXPECT_FALSE(m.MovePoint(9, {0, 0}));
    EXPECT_EQ(3, m.UndoStack()->count());
    EXPECT_EQ((Pairs{{50, 140}, {120, 200}}), P(m.Profile()));

    const Pairs states[] = {
        {{0, 25}, {50, 140}, {120, 200}}, {{0, 25}, {60, 150}, {120, 200}}, {{0, 25}, {60, 150}}};
    for (const Pairs& s : states) {
        m.UndoStack()->undo();
        EXPECT_EQ(s, P(m.Profile()));
    }
    EXPECT_FALSE(m.UndoStack()->canUndo());
    m.UndoStack()->redo();
    m.UndoStack()->redo();
    EXPECT_EQ(states[0], P(m.Profile()));
    // A new edit after an undo drops what could have been redone.
    m.UndoStack()->undo();
    ASSERT_TRUE(m.MovePoint(0, {0, 30}));
    EXPECT_FALSE(m.UndoStack()->canRedo());
    EXPECT_GT(changes, 8);
}

TEST(ProfileUndo, OneDragIsOneStepAndTwoDragsAreTwo) {
    profile::ui::ProfileEditModel m;
    m.Reset(profile::Profile({{0, 25}, {60, 150}, {120, 200}}));
    const int first = m.BeginDrag();
    for (double y = 151; y <= 160; ++y) m.MovePoint(1, {60, y}, first);
    const int second = m.BeginDrag();
    m.MovePoint(2, {130, 210}, second);
    m.MovePoint(2, {140, 220}, second);
    EXPECT_EQ(2, m.UndoStack()->count());
    m.UndoStack()->undo();
    EXPECT_EQ((Pairs{{0, 25}, {60, 160}, {120, 200}}), P(m.Profile()));
    m.UndoStack()->undo();
    EXPECT_EQ((Pairs{{0, 25}, {60, 150}, {120, 200}}), P(m.Profile()));
    // A typed change never merges into a drag before it.
    m.UndoStack()->redo();
    m.MovePoint(1, {60, 155});
    EXPECT_EQ(2, m.UndoStack()->index());
}

TEST(ProfileDrag, HoldsTheNearestPointAndSnapsWhereItGoes) {
    // 1 px per second, 2 px per degree, origin at (10, 500).
    const chart::ui::ViewMapping map{10, 500, 1, 2};
    const std::vector<ChartPoint> pts = {{0, 25}, {60, 150}, {66, 150}};
    EXPECT_EQ(0u, profile::ui::PointAt(pts, map, 12, 450));
    EXPECT_EQ(1u, profile::ui::PointAt(pts, map, 72, 200)) << "nearer to 60 than to 66";
    EXPECT_EQ(2u, profile::ui::PointAt(pts, map, 74, 200));
    EXPECT_FALSE(profile::ui::PointAt(pts, map, 200, 200));

    const ChartPoint origin{60, 150};
    const struct {
        double px, py;
        bool shift;
        ChartPoint expected;
    } cases[] = {
        {80.4, 180.0, false, {70, 160.0}},
        {80.6, 180.07, false, {71, 160.0}},
        {80.6, 180.4, false, {71, 159.8}},
        {80.6, 180.4, true, {60, 159.8}},
    };
    for (const auto& c : cases) {
        const ChartPoint p = profile::ui::DragTarget(map, c.px, c.py, origin, c.shift);
        EXPECT_DOUBLE_EQ(c.expected.x, p.x) << c.px;
        EXPECT_NEAR(c.expected.y, p.y, 1e-9) << c.py;
    }
}

// Stands in for the panel's SendProfile.
struct FakePanel {
    void SendProfile(std::optional<std::span<const bake::ProfileSample>> points) {
        sent.emplace_back();
        for (const auto& s : points.value()) sent.back().push_back({s.seconds, s.degrees});
    }
    std::vector<Pairs> sent;
};

void Mouse(QWidget* w, QEvent::Type type, QPointF at, Qt::MouseButton button,
           Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QMouseEvent e(type, at, w->mapToGlobal(at), button,
                  type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, mods);
    QApplication::sendEvent(w, &e);
}

class Editor : public ::testing::Test {
protected:
    void SetUp() override {
        editor_.resize(900, 600);
        editor_.SetProfileSender([this](auto points) { panel_.SendProfile(points); });
        editor_.SetControllerIdle(true);
        editor_.SetProfile(*profile::TemplateProfile("pbfree"));
        editor_.show();
        uitest::Pump();
    }
    QPointF PixelOf(size_t i) {
        const auto& map = editor_.Chart()->Mapping();
        const ChartPoint p = editor_.Profile().Points()[i];
        return {map.PixelX(p.x), map.PixelY(p.y)};
    }
    FakePanel panel_;
    profile::ui::ProfileEditor editor_;
};

TEST_F(Editor, ABrokenRuleIsShownAndStopsTheUpload) {
    EXPECT_TRUE(editor_.UploadButton()->isEnabled());
    EXPECT_EQ(QStringLiteral("The controller takes this profile."), editor_.RulesLabel()->text());
    EXPECT_TRUE(editor_.MetricsLabel()->text().contains(QStringLiteral("above liquidus 90 s")))
        << editor_.MetricsLabel()->text().toStdString();
    EXPECT_TRUE(editor_.MetricsLabel()->text().endsWith(QStringLiteral("inside pbfree")));

    // Typed in the table: point 3's time before point 2's.
    editor_.Table()->item(2, 0)->setText(QStringLiteral("80"));
    EXPECT_EQ(80, editor_.Profile().Points()[2].x);
    EXPECT_EQ(QStringLiteral("Point 3: Times have to increase from point to point!"),
              editor_.RulesLabel()->text());
    EXPECT_FALSE(editor_.UploadButton()->isEnabled());
    EXPECT_FALSE(editor_.Upload());
    EXPECT_TRUE(panel_.sent.empty());

    // Not a number: the cell shows the point again, nothing recorded.
    const int steps = editor_.Model()->UndoStack()->count();
    editor_.Table()->item(2, 1)->setText(QStringLiteral("hot"));
    EXPECT_EQ(QStringLiteral("200.0"), editor_.Table()->item(2, 1)->text());
    EXPECT_EQ(steps, editor_.Model()->UndoStack()->count());

    editor_.UndoAction()->trigger();
    EXPECT_TRUE(editor_.UploadButton()->isEnabled());
    EXPECT_TRUE(editor_.Upload());
    ASSERT_EQ(1u, panel_.sent.size());
    EXPECT_EQ(P(*profile::TemplateProfile("pbfree")), panel_.sent[0]);

    editor_.SetControllerIdle(false);
    EXPECT_FALSE(editor_.UploadButton()->isEnabled()) << "enabled only while the panel is Idle";
}

TEST_F(Editor, AddAndDeleteFollowTheCurrentRow) {
    editor_.Table()->setCurrentCell(0, 0);
    editor_.AddPoint();
    EXPECT_EQ(9u, editor_.Profile().Size());
    EXPECT_EQ(45, editor_.Profile().Points()[1].x) << "halfway to the next point";
    EXPECT_EQ(1, editor_.Table()->currentRow());
    EXPECT_EQ(9, editor_.Table()->rowCount());
    editor_.DeletePoint();
    EXPECT_TRUE(editor_.Profile() == *profile::TemplateProfile("pbfree"));
    for (int i = 0; i < 24; ++i) editor_.AddPoint();
    EXPECT_TRUE(
        editor_.RulesLabel()->text().startsWith(QString::fromWCharArray(bake::kTooManyPointsText)))
        << editor_.RulesLabel()->text().toStdString();
    EXPECT_FALSE(editor_.UploadButton()->isEnabled());
}

TEST_F(Editor, ADragMovesThePointSnappedAndShiftKeepsItsTime) {
    QWidget* chart = editor_.Chart();
    // The chart, once sized, shows every point of the profile.
    auto allShown = [&] {
        for (size_t i = 0; i < editor_.Profile().Size(); ++i) {
            if (!chart->rect().contains(PixelOf(i).toPoint()))
                return false;
        }
        return true;
    };
    ASSERT_TRUE(uitest::PumpUntil(allShown));
    const QPointF start = PixelOf(3);  // (225, 245)
    Mouse(chart, QEvent::MouseButtonPress, start, Qt::LeftButton);
    EXPECT_EQ(3, editor_.DraggedPoint());
    Mouse(chart, QEvent::MouseMove, start + QPointF(13.3, 17.7), Qt::NoButton);
    Mouse(chart, QEvent::MouseMove, start + QPointF(20.3, 25.7), Qt::NoButton);
    const ChartPoint moved = editor_.Profile().Points()[3];
    EXPECT_EQ(std::round(moved.x), moved.x);
    EXPECT_NEAR(std::round(moved.y * 10) / 10, moved.y, 1e-9);
    EXPECT_GT(moved.x, 225);
    EXPECT_LT(moved.y, 245);
    Mouse(chart, QEvent::MouseButtonRelease, start + QPointF(20.3, 25.7), Qt::LeftButton);
    EXPECT_EQ(-1, editor_.DraggedPoint());
    EXPECT_EQ(QString::number(moved.x, 'f', 0), editor_.Table()->item(3, 0)->text());
    const auto* series = editor_.Chart()->Set().FindChartByName(L"Profile");
    ASSERT_NE(nullptr, series);
    EXPECT_TRUE(std::any_of(series->Points().begin(), series->Points().end(),
                            [&](const ChartPoint& p) { return p.x == moved.x && p.y == moved.y; }))
        << "the chart shows the moved point";

    const QPointF again = PixelOf(3);
    Mouse(chart, QEvent::MouseButtonPress, again, Qt::LeftButton);
    Mouse(chart, QEvent::MouseMove, again + QPointF(30, -20), Qt::NoButton, Qt::ShiftModifier);
    Mouse(chart, QEvent::MouseButtonRelease, again + QPointF(30, -20), Qt::LeftButton);
    EXPECT_EQ(moved.x, editor_.Profile().Points()[3].x);
    EXPECT_GT(editor_.Profile().Points()[3].y, moved.y);

    EXPECT_EQ(2, editor_.Model()->UndoStack()->count()) << "one step per drag";
    editor_.UndoAction()->trigger();
    editor_.UndoAction()->trigger();
    EXPECT_TRUE(editor_.Profile() == *profile::TemplateProfile("pbfree"));

    // A press away from every point is the chart's own (pan, selection).
    Mouse(chart, QEvent::MouseButtonPress, QPointF(5, 5), Qt::LeftButton);
    EXPECT_EQ(-1, editor_.DraggedPoint());
    Mouse(chart, QEvent::MouseButtonRelease, QPointF(5, 5), Qt::LeftButton);
}

class ProgramProfiles : public uitest::ProgramTest {
protected:
    void Receive(const std::vector<uint8_t>& bytes) {
        app_.MainFrame()->ControlFrame()->OnPacket(bytes.data(), uint32_t(bytes.size()));
    }
    void Idle() {
        app_.MainFrame()->ControlFrame()->OnDeviceConnected();
        Receive(test_support::GaugePacket(
            {.timestamp = 1000, .devState = bake::CONCC_DEV_IDLE, .tempMain = 2500}));
    }
};

TEST_F(ProgramProfiles, TheFileMenuOpensEditorsThatUploadAndReadThroughThePanel) {
    ASSERT_TRUE(app_.InitInstance(options_, services_, docs_));
    shell::MainWindow* frame = app_.MainFrame();
    auto* commands = frame->findChild<shell::ProfileCommands*>();
    ASSERT_NE(nullptr, commands);
    QStringList texts;
    for (QAction* a : frame->MenuBarMenus().file->actions()) texts << a->text();
    const qsizetype open = texts.indexOf(QStringLiteral("&Open...\tCtrl+O"));
    ASSERT_GE(open, 0) << texts.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(QStringLiteral("New Profile..."), texts.value(open + 1));
    EXPECT_EQ(QStringLiteral("Open Profile..."), texts.value(open + 2));

    // A saved template opens from its file.
    const QString file = dir_.filePath(QStringLiteral("snpb.xml"));
    std::wstring error;
    ASSERT_TRUE(
        profile::SaveProfile(*profile::TemplateProfile("snpb"), file.toStdWString(), error));
    profile::ui::ProfileEditor* editor = commands->OpenFile(file);
    ASSERT_NE(nullptr, editor);
    EXPECT_TRUE(editor->Profile() == *profile::TemplateProfile("snpb"));
    EXPECT_FALSE(editor->UploadButton()->isEnabled()) << "not connected";
    EXPECT_FALSE(commands->OpenFile(dir_.filePath(QStringLiteral("missing.xml"))));
    ASSERT_EQ(1u, box_.messages.size());
    EXPECT_EQ(platform::MessageIcon::Error, box_.messages[0].icon);

    Idle();
    EXPECT_TRUE(editor->UploadButton()->isEnabled());
    link_.sent.clear();
    editor->UploadButton()->click();
    ASSERT_EQ(1u, link_.sent.size());
    bake::CONCC_TempProfile sent;
    ASSERT_TRUE(bake::DecodeTempProfile(link_.sent[0].data(), link_.sent[0].size(), sent));
    EXPECT_EQ(bake::CONCC_PKT_SET_PROFILE, sent.header.type);
    ASSERT_EQ(8u, sent.points.size());
    EXPECT_EQ(200000u, sent.points[3].timeMs);
    EXPECT_EQ(22000u, sent.points[3].tempCenti);

    // Read from controller: the request goes out, the report opens a new editor.
    link_.sent.clear();
    editor->ReadButton()->click();
    ASSERT_EQ(1u, link_.sent.size());
    bake::CONCC_Header h;
    ASSERT_TRUE(bake::DecodeHeader(link_.sent[0].data(), link_.sent[0].size(), h));
    EXPECT_EQ(bake::CONCC_PKT_GET_PROFILE, h.type);
    bake::CONCC_TempProfile report;
    report.header = {bake::CONCC_PKT_GET_PROFILE, 0, h.seqId};
    report.points = {{0, 2500}, {90500, 15025}, {200000, 21750}};
    Receive(bake::EncodeTempProfile(report));
    ASSERT_EQ(2, commands->Editors().size());
    profile::ui::ProfileEditor* read = commands->Editors().back();
    EXPECT_NE(editor, read);
    EXPECT_EQ((Pairs{{0, 25}, {90.5, 150.25}, {200, 217.5}}), P(read->Profile()));
    EXPECT_EQ(editor->Title(), QStringLiteral("snpb.xml"));

    // A controller without a profile refuses; the next report is the next
    // bake's and goes to its record, not into an editor.
    link_.sent.clear();
    editor->ReadButton()->click();
    ASSERT_EQ(1u, link_.sent.size());
    ASSERT_TRUE(bake::DecodeHeader(link_.sent[0].data(), link_.sent[0].size(), h));
    std::vector<uint8_t> refusal(bake::kHeaderSize);
    bake::EncodeHeader(refusal.data(),
                       {bake::CONCC_PKT_GET_PROFILE, bake::kResultNoProfile, h.seqId});
    box_.messages.clear();
    Receive(refusal);
    ASSERT_EQ(1u, box_.messages.size()) << "the refusal is shown";
    EXPECT_EQ(platform::MessageIcon::Error, box_.messages[0].icon);
    EXPECT_EQ(std::string(bake::ResultCodeText(bake::kResultNoProfile)),
              std::string(box_.messages[0].text.begin(), box_.messages[0].text.end()));
    Receive(bake::EncodeTempProfile(report));
    EXPECT_EQ(2, commands->Editors().size());
}

bool SaveTemplate(const std::string& key, const QString& path) {
    std::wstring error;
    return profile::SaveProfile(*profile::TemplateProfile(key), path.toStdWString(), error);
}

TEST(ProfileLibrary, AFileCopiedInAppearsAndOneRemovedGoes) {
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("Profiles"));
    profile::ui::ProfileLibrary library;
    library.SetFolder(folder);  // made when missing
    ASSERT_TRUE(QFileInfo(folder).isDir());
    ASSERT_TRUE(SaveTemplate("pbfree", folder + QStringLiteral("/Lead-free line 2.xml")));
    ASSERT_TRUE(QFile::copy(folder + QStringLiteral("/Lead-free line 2.xml"),
                            dir.filePath(QStringLiteral("elsewhere.xml"))));
    EXPECT_TRUE(uitest::PumpUntil([&] { return library.ListedPaths().size() == 1; }));

    // Copied in from elsewhere, the way an operator brings one.
    ASSERT_TRUE(SaveTemplate("bakeout", dir.filePath(QStringLiteral("bake out.xml"))));
    ASSERT_TRUE(QFile::copy(dir.filePath(QStringLiteral("bake out.xml")),
                            folder + QStringLiteral("/Bake out 125.xml")));
    ASSERT_TRUE(uitest::PumpUntil([&] { return library.ListedPaths().size() == 2; }));
    EXPECT_EQ((QStringList{folder + "/Bake out 125.xml", folder + "/Lead-free line 2.xml"}),
              library.ListedPaths());
    EXPECT_EQ(QStringLiteral("Bake out 125\n125.0 \u00b0C, 4:16:40"),
              library.List()->item(0)->text());
    EXPECT_EQ(QStringLiteral("Lead-free line 2\n245.0 \u00b0C, 6:20"),
              library.List()->item(1)->text());
    EXPECT_FALSE(library.List()->item(0)->icon().isNull()) << "a preview";

    // A file that is no profile is not listed.
    QFile junk(folder + QStringLiteral("/notes.xml"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("not xml");
    junk.close();
    ASSERT_TRUE(QFile::remove(folder + QStringLiteral("/Bake out 125.xml")));
    ASSERT_TRUE(uitest::PumpUntil([&] { return library.ListedPaths().size() == 1; }));
    EXPECT_EQ(QStringList{folder + "/Lead-free line 2.xml"}, library.ListedPaths());
}

TEST(ProfileLibrary, TheFilterFindsByNameAndTheListOpensAndUploads) {
    QTemporaryDir dir;
    ASSERT_TRUE(SaveTemplate("pbfree", dir.filePath(QStringLiteral("Lead-free.xml"))));
    ASSERT_TRUE(SaveTemplate("snpb", dir.filePath(QStringLiteral("Tin-lead.xml"))));
    profile::ui::ProfileLibrary library;
    library.SetFolder(dir.path());
    ASSERT_EQ(2, library.ListedPaths().size());
    library.Filter()->setText(QStringLiteral("LEAD"));
    EXPECT_EQ(2, library.ListedPaths().size()) << "case does not matter";
    library.Filter()->setText(QStringLiteral("tin"));
    EXPECT_EQ(QStringList{dir.filePath(QStringLiteral("Tin-lead.xml"))}, library.ListedPaths());
    library.Filter()->clear();

    QSignalSpy opened(&library, &profile::ui::ProfileLibrary::openRequested);
    QSignalSpy uploaded(&library, &profile::ui::ProfileLibrary::uploadRequested);
    emit library.List()->itemDoubleClicked(library.List()->item(1));
    ASSERT_EQ(1, opened.size());
    EXPECT_EQ(dir.filePath(QStringLiteral("Tin-lead.xml")), opened[0][0].toString());

    library.SetUploadEnabled(true);
    EXPECT_FALSE(library.UploadButton()->isEnabled()) << "nothing selected";
    library.List()->setCurrentRow(0);
    EXPECT_TRUE(library.UploadButton()->isEnabled());
    library.UploadButton()->click();
    ASSERT_EQ(1, uploaded.size());
    EXPECT_EQ(dir.filePath(QStringLiteral("Lead-free.xml")), uploaded[0][0].toString());
    library.SetUploadEnabled(false);
    EXPECT_FALSE(library.UploadButton()->isEnabled());
}

TEST(ProfileLibrary, TheFolderComesFromTheCommandLineTheSettingOrTheDocuments) {
    uitest::ClearSettings();
    EXPECT_TRUE(profile::ui::ResolveProfilesFolder(QString()).endsWith("/Calvero/Profiles"));
    QSettings().setValue(QStringLiteral("Profiles/Folder"), QStringLiteral("/srv/profiles"));
    EXPECT_EQ(QStringLiteral("/srv/profiles"), profile::ui::ResolveProfilesFolder(QString()));
    EXPECT_EQ(QStringLiteral("/tmp/p"),
              profile::ui::ResolveProfilesFolder(QStringLiteral("/tmp/p")));
    uitest::ClearSettings();
}

TEST_F(ProgramProfiles, TheProfilesPaneListsTheFolderAndUploadsWhileIdle) {
    const QString folder = dir_.filePath(QStringLiteral("profiles"));
    options_.profilesFolder = folder;
    ASSERT_TRUE(app_.InitInstance(options_, services_, docs_));
    auto* commands = app_.MainFrame()->findChild<shell::ProfileCommands*>();
    ASSERT_NE(nullptr, commands);
    EXPECT_EQ(QStringLiteral("Profiles"), commands->LibraryDock()->windowTitle());
    EXPECT_EQ(folder, commands->Folder());
    ASSERT_TRUE(SaveTemplate("pbfree", folder + QStringLiteral("/reflow.xml")));
    ASSERT_TRUE(uitest::PumpUntil([&] { return commands->Library()->ListedPaths().size() == 1; }));
    commands->Library()->List()->setCurrentRow(0);
    EXPECT_FALSE(commands->Library()->UploadButton()->isEnabled()) << "not connected";

    Idle();
    ASSERT_TRUE(commands->Library()->UploadButton()->isEnabled());
    link_.sent.clear();
    commands->Library()->UploadButton()->click();
    ASSERT_EQ(1u, link_.sent.size());
    bake::CONCC_TempProfile sent;
    ASSERT_TRUE(bake::DecodeTempProfile(link_.sent[0].data(), link_.sent[0].size(), sent));
    EXPECT_EQ(8u, sent.points.size());

    // A file that breaks a rule is refused with the editor's sentence.
    std::wstring error;
    ASSERT_TRUE(profile::SaveProfile(profile::Profile({{5, 25}, {60, 100}}),
                                     (folder + QStringLiteral("/late.xml")).toStdWString(), error));
    link_.sent.clear();
    EXPECT_FALSE(commands->UploadFile(folder + QStringLiteral("/late.xml")));
    EXPECT_TRUE(link_.sent.empty());
    ASSERT_FALSE(box_.messages.empty());
    EXPECT_EQ(profile::kFirstTimeNotZeroText, box_.messages.back().text);

    emit commands->Library()->List()->itemDoubleClicked(commands->Library()->List()->item(0));
    ASSERT_EQ(1, commands->Editors().size());
}

TEST_F(ProgramProfiles, NewProfileStartsFromTheChosenTemplateWithItsWindow) {
    options_.profilesFolder = dir_.filePath(QStringLiteral("profiles"));
    ASSERT_TRUE(app_.InitInstance(options_, services_, docs_));
    QStringList offered;
    int choice = -1;
    shell::ProfileCommands::Dialogs dialogs;
    dialogs.chooseStart = [&](QWidget*, const QStringList& choices) {
        offered = choices;
        return choice;
    };
    dialogs.askSavePath = [&](QWidget*, const QString& suggested) {
        EXPECT_EQ(QStringLiteral("Profile.xml"), suggested);
        return dir_.filePath(QStringLiteral("profiles/mine.xml"));
    };
    // The frame has one "New Profile..." command: this group takes it over
    // from the program's, whose dialog would wait for the operator.
    auto* programs = app_.MainFrame()->findChild<shell::ProfileCommands*>();
    ASSERT_NE(nullptr, programs);
    QObject::disconnect(app_.MainFrame()->Commands().newProfile, nullptr, programs, nullptr);
    shell::ProfileCommands commands(app_.MainFrame(), options_.profilesFolder, dialogs);

    commands.NewAction()->trigger();  // cancelled
    EXPECT_EQ((QStringList{"Empty profile", "Lead-free reflow", "Tin-lead reflow", "Bake out"}),
              offered);
    EXPECT_TRUE(commands.Editors().isEmpty());

    choice = 2;
    commands.NewAction()->trigger();
    ASSERT_EQ(1, commands.Editors().size());
    profile::ui::ProfileEditor* editor = commands.Editors().front();
    EXPECT_TRUE(editor->Profile() == *profile::TemplateProfile("snpb"));
    EXPECT_EQ(QStringLiteral("snpb"), editor->WindowName());
    EXPECT_TRUE(editor->MetricsLabel()->text().endsWith(QStringLiteral("inside snpb")))
        << editor->MetricsLabel()->text().toStdString();
    EXPECT_FALSE(editor->Model()->UndoStack()->canUndo());

    // Saved into the profiles folder, it joins the Profiles pane.
    editor->Model()->MovePoint(3, {200, 221});
    EXPECT_EQ(QStringLiteral("Profile*"), editor->Title());
    for (QPushButton* b : editor->findChildren<QPushButton*>()) {
        if (b->text() == QStringLiteral("Save As..."))
            b->click();
    }
    EXPECT_EQ(QStringLiteral("mine.xml"), editor->Title());
    ASSERT_TRUE(uitest::PumpUntil([&] { return commands.Library()->ListedPaths().size() == 1; }));
    std::wstring error;
    const auto saved = profile::LoadProfile(
        dir_.filePath(QStringLiteral("profiles/mine.xml")).toStdWString(), error);
    ASSERT_TRUE(saved);
    EXPECT_EQ(221, saved->Points()[3].y);
}

TEST_F(ProgramProfiles, UnsavedEditsAreAskedAboutBeforeTheProgramCloses) {
    document::SaveChoice answer = document::SaveChoice::Cancel;
    QStringList asked;
    docs_.askSaveChanges = [&](QWidget*, const QString& title) {
        asked << title;
        return answer;
    };
    ASSERT_TRUE(app_.InitInstance(options_, services_, docs_));
    auto* commands = app_.MainFrame()->findChild<shell::ProfileCommands*>();
    profile::ui::ProfileEditor* clean = commands->NewEditor(*profile::TemplateProfile("snpb"));
    profile::ui::ProfileEditor* edited = commands->NewEditor(*profile::TemplateProfile("pbfree"));
    edited->Model()->MovePoint(1, {90, 151});

    EXPECT_FALSE(app_.MainFrame()->close());
    EXPECT_EQ(QStringList{"Profile*"}, asked) << "only the edited one is asked about";
    EXPECT_EQ(1, commands->Editors().size()) << "the clean one closed, the edited one stayed";
    EXPECT_EQ(edited, commands->Editors().front());
    (void)clean;

    answer =
        document::SaveChoice::Save;  // with no path given: the save is cancelled, so is the close
    edited->SetSavePathAsker([](QWidget*, const QString&) { return QString(); });
    EXPECT_FALSE(edited->parentWidget()->close());
    QString path = dir_.filePath(QStringLiteral("kept.xml"));
    edited->SetSavePathAsker([&](QWidget*, const QString&) { return path; });
    EXPECT_TRUE(edited->parentWidget()->close());
    std::wstring error;
    const auto kept = profile::LoadProfile(path.toStdWString(), error);
    ASSERT_TRUE(kept);
    EXPECT_EQ(151, kept->Points()[1].y);
}

TEST(ProgramCommandLine, ProfilesNamesTheFolderAndNeedsOne) {
    shell::CommandLineOptions options;
    int code = 0;
    QString out, err;
    EXPECT_EQ(
        shell::CommandLineAction::Run,
        shell::ParseCommandLine({"calvero", "--profiles", "/srv/p"}, &options, &code, &out, &err));
    EXPECT_EQ(QStringLiteral("/srv/p"), options.profilesFolder);
    EXPECT_EQ(shell::CommandLineAction::Exit,
              shell::ParseCommandLine({"calvero", "--profiles"}, &options, &code, &out, &err));
    EXPECT_TRUE(err.contains(QStringLiteral("--profiles needs a DIR"))) << err.toStdString();
    EXPECT_NE(0, code);
}

}  // namespace
