// Two controllers baking at once in one program: two calvero-sim on their own
// loopback addresses, both chosen in one device selection, each bake's record
// in the records folder named after its controller.
#include <gtest/gtest.h>

#include <QDir>

#include <string>

#include "bake/ui/control_panel.h"
#include "document/chart_document.h"
#include "document/live_recorder.h"
#include "document/record_name.h"
#include "shell/application.h"
#include "shell/controller_session.h"
#include "shell/main_window.h"
#include "tests/support/private_network.h"
#include "tests/support/sim_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/ui_test_support.h"

namespace {

using namespace shell;
using bake::ui::ControlState;

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

// Both listed controllers selected and confirmed at once.
class BothSelector : public DeviceSelector {
public:
    bool SelectDevices(const DeviceSelectionContext&, QList<DeviceChoice>* choices) override {
        if (calls++ > 0)
            return false;
        *choices = {{QStringLiteral("127.0.0.10"), QStringLiteral("1001")},
                    {QStringLiteral("127.0.0.11"), QStringLiteral("1002")}};
        return true;
    }
    int calls = 0;
};

}  // namespace

TEST(SeveralControllersEndToEnd, TwoSimulatorsBakeAtOnceIntoTwoNamedRecords) {
    REQUIRE_PRIVATE_NETWORK();
    uitest::ClearSettings();
    test_support::TempDir dir;
    // The default 360 s profile at speed 60: six seconds of baking each,
    // starting a second after the program connected.
    const std::vector<std::string> common = {"--port",  "5565", "--rate",      "10",
                                             "--speed", "60",   "--autostart", "1"};
    auto args = [&](const char* address, const char* id) {
        std::vector<std::string> a = {"--bind", address, "--device-id", id};
        a.insert(a.end(), common.begin(), common.end());
        return a;
    };
    test_support::SimProcess first(args("127.0.0.10", "1001"));
    ASSERT_TRUE(first.Listening()) << first.Err();
    test_support::SimProcess second(args("127.0.0.11", "1002"));
    ASSERT_TRUE(second.Listening()) << second.Err();

    uitest::RecordingMessageBox box;
    BothSelector selector;
    MainFrameServices services;
    services.messageBox = &box;
    services.deviceSelector = &selector;
    DocumentServices docServices;
    docServices.recoveryFolder = Q(dir.Path("recovery"));
    docServices.askSaveChanges = [](QWidget*, const QString&) {
        return document::SaveChoice::Discard;
    };
    docServices.askRestoreRecovered = [](QWidget*, const QString&,
                                         const QList<document::RecoveryEntry>&,
                                         const std::function<void(document::RecoveryAnswer)>&) {};
    CommandLineOptions options;
    options.recordsFolder = Q(dir.Path("records"));
    Application app;
    ASSERT_TRUE(app.InitInstance(options, services, docServices));
    MainWindow* frame = app.MainFrame();
    ASSERT_TRUE(uitest::PumpUntil([&] { return frame->Sessions()->ConnectedCount() == 2; }, 10000))
        << first.Err() << second.Err();
    ASSERT_EQ(2, frame->Sessions()->Count());
    ControllerSession* a = frame->Sessions()->All()[0];
    ControllerSession* b = frame->Sessions()->All()[1];
    EXPECT_EQ(QStringLiteral("1001"), a->Dock()->windowTitle());
    EXPECT_EQ(QStringLiteral("1002"), b->Dock()->windowTitle());

    // At once: each bakes while the other does.
    ASSERT_TRUE(uitest::PumpUntil(
        [&] {
            return a->Panel()->State() == ControlState::CF_BAKING &&
                   b->Panel()->State() == ControlState::CF_BAKING;
        },
        10000));
    document::ChartDocument* ra = a->Recorder()->LiveRecord();
    document::ChartDocument* rb = b->Recorder()->LiveRecord();
    ASSERT_TRUE(ra && rb);
    EXPECT_NE(ra, rb);

    const QDir records(Q(dir.Path("records")));
    ASSERT_TRUE(uitest::PumpUntil(
        [&] { return records.entryList({QStringLiteral("bake-*.tvr")}, QDir::Files).size() == 2; },
        30000))
        << records.entryList().join(QLatin1Char(' ')).toStdString();
    const QStringList names = records.entryList({QStringLiteral("bake-*.tvr")}, QDir::Files);
    EXPECT_EQ(1, names.filter(QStringLiteral("-1001.tvr")).size()) << names.join(' ').toStdString();
    EXPECT_EQ(1, names.filter(QStringLiteral("-1002.tvr")).size()) << names.join(' ').toStdString();
    for (const QString& n : names)
        EXPECT_TRUE(document::RecordFileTime(n).isValid()) << n.toStdString();
    EXPECT_EQ(records.filePath(document::RecordFileName(ra->BakeStart(), QStringLiteral("1001"))),
              ra->FilePath());
    EXPECT_EQ(records.filePath(document::RecordFileName(rb->BakeStart(), QStringLiteral("1002"))),
              rb->FilePath());
    // Each holds its own bake: a full set of points from its controller.
    for (document::ChartDocument* r : {ra, rb}) {
        const chart::ChartSeries* main = r->Set().FindChartByName(L"Temp Main");
        ASSERT_NE(nullptr, main);
        EXPECT_GE(main->Points().size(), 30u) << r->FilePath().toStdString();
    }
    frame->close();
    app.ExitInstance(0);
}
