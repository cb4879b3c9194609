// The device selection dialog against a scripted discovery service: the live
// list, confirming, Set IP, a typed address, the messages and the closing.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <QHeaderView>
#include <QIcon>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QTreeView>

#include <functional>
#include <memory>
#include <optional>
#include <thread>

#include "discovery/ip_fields.h"
#include "discovery/ui/address_dialog.h"
#include "discovery/ui/device_list_model.h"
#include "discovery/ui/device_selection_dialog.h"
#include "discovery/ui/sort_header_view.h"
#include "tests/support/ui_test_support.h"

using namespace discovery::ui;

namespace {

using uitest::RecordedMessage;

uint32_t Ip(const char* dotted) {
    in_addr a{};
    inet_pton(AF_INET, dotted, &a);
    return a.s_addr;
}

discovery::DeviceStatus Listed(uint32_t deviceId, const char* ip, uint32_t firmware = 1000000) {
    discovery::DeviceStatus s;
    s.deviceId = deviceId;
    s.statusWord0 = s.statusWord2 = s.statusWord3 = 1;
    s.firmwareVersion = firmware;
    s.ipAddress = Ip(ip);
    return s;
}

class FakeDiscovery : public discovery::DeviceDiscovery {
public:
    uint32_t StartOperations(discovery::DiscoveryListener* s) override {
        ++starts;
        sink = s;
        running = startResult == 0;
        return startResult;
    }
    uint32_t StopOperations() override {
        ++stops;
        if (onStop)
            onStop();
        if (!running)
            return 1;
        running = false;
        return 0;
    }
    bool IsRunning() const override { return running; }
    bool Stop(uint32_t*, uint32_t) override {
        running = false;
        return true;
    }
    uint32_t RefreshDevices() override {
        ++refreshes;
        return 0;
    }
    uint32_t SetDeviceIP(uint32_t deviceId, uint32_t ip, uint32_t mask,
                         uint32_t* requestId) override {
        setIPs.push_back({deviceId, ip, mask});
        *requestId = 2;
        return setIPResult;
    }

    struct SetIPCall {
        uint32_t deviceId, ip, mask;
    };
    uint32_t startResult = 0;
    uint32_t setIPResult = 0;
    discovery::DiscoveryListener* sink = nullptr;
    bool running = false;
    int starts = 0, stops = 0, refreshes = 0;
    std::vector<SetIPCall> setIPs;
    std::function<void()> onStop;
};

class ConnectDlgTest : public ::testing::Test {
protected:
    void SetUp() override { uitest::ClearSettings(); }
    void TearDown() override { uitest::ClearSettings(); }

    void Make() {
        DeviceSelectionDialog::Services s;
        s.messageBox = &boxes;
        s.traceLog = &trace;
        s.discovery = &fake;
        s.runIPDialog = [this](QWidget*, uint32_t* address, uint32_t* mask) {
            ++ipDialogs;
            ipDialogIn = {*address, *mask};
            if (duringIPDialog)
                duringIPDialog();
            if (!ipAnswer)
                return false;
            *address = ipAnswer->first;
            *mask = ipAnswer->second;
            return true;
        };
        s.runAddressDialog = [this](QWidget*, QString* address) {
            ++addressDialogs;
            if (!typedAddress)
                return false;
            *address = *typedAddress;
            return true;
        };
        dlg = std::make_unique<DeviceSelectionDialog>(s);
    }
    void Open() {
        Make();
        dlg->show();
        uitest::Pump();
    }
    // As the service does: from its own thread.
    void Report(const discovery::DeviceStatus& s) {
        std::thread t([this, s] { dlg->OnDeviceStatus(&s); });
        t.join();
        uitest::Pump();
    }
    void Select(std::initializer_list<int> rows) {
        QItemSelectionModel* sel = dlg->ListView()->selectionModel();
        sel->clearSelection();
        for (int r : rows)
            sel->select(dlg->ListView()->model()->index(r, 0),
                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    QString Cell(int row, int column, int role = Qt::DisplayRole) const {
        return dlg->ListView()->model()->index(row, column).data(role).toString();
    }
    std::vector<int> SelectedRows() const {
        std::vector<int> rows;
        for (const QModelIndex& i : dlg->ListView()->selectionModel()->selectedRows())
            rows.push_back(i.row());
        std::sort(rows.begin(), rows.end());
        return rows;
    }
    bool ClosedWithOK() const { return !dlg->isVisible() && dlg->result() == QDialog::Accepted; }

    uitest::RecordingMessageBox boxes;
    uitest::RecordingTraceLog trace;
    FakeDiscovery fake;
    std::unique_ptr<DeviceSelectionDialog> dlg;
    int ipDialogs = 0, addressDialogs = 0;
    std::pair<uint32_t, uint32_t> ipDialogIn{0xFFFFFFFF, 0xFFFFFFFF};
    std::optional<std::pair<uint32_t, uint32_t>> ipAnswer;
    std::optional<QString> typedAddress;
    std::function<void()> duringIPDialog;
};

TEST_F(ConnectDlgTest, OpeningStartsDiscoveryAndSetsUpTheDialog) {
    Open();
    EXPECT_EQ(dlg->windowTitle(), QStringLiteral("Select device to connect to"));
    EXPECT_EQ(dlg->TemplateId(), 312);
    // The service runs with the dialog as its sink, asked once for every status.
    EXPECT_EQ(fake.starts, 1);
    EXPECT_EQ(fake.sink, static_cast<discovery::DiscoveryListener*>(dlg.get()));
    EXPECT_EQ(fake.refreshes, 1);
    EXPECT_TRUE(dlg->ListTimer()->isActive());
    EXPECT_EQ(dlg->ListTimer()->interval(), 2000);
    // The status line exists and was cleared.
    EXPECT_TRUE(dlg->HasStatusBar());
    EXPECT_EQ(dlg->StatusBar()->PaneText(0), QString());

    const struct {
        int id;
        const char* text;
    } buttons[] = {{1, "OK"}, {2, "Cancel"}, {1004, "Set IP"}, {1005, "Address..."}};
    for (const auto& b : buttons) {
        QPushButton* button = dlg->Button(b.id);
        ASSERT_NE(button, nullptr) << b.id;
        EXPECT_EQ(button->text(), QString::fromLatin1(b.text));
    }
    EXPECT_TRUE(dlg->Button(1)->isDefault());

    QTreeView* view = dlg->ListView();
    EXPECT_EQ(view->objectName(), QStringLiteral("1033"));
    EXPECT_EQ(view->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(view->selectionBehavior(), QAbstractItemView::SelectRows);
    const char* titles[] = {"Status", "Name", "Firmware", "Device IP"};
    const int widths[] = {150, 250, 100, 100};
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(view->model()->headerData(c, Qt::Horizontal).toString(),
                  QString::fromLatin1(titles[c]));
        EXPECT_EQ(view->header()->sectionSize(c), widths[c]);
    }
    // "Status" descending: its header shows the up-pointing triangle.
    EXPECT_EQ(dlg->Header()->MarkedColumn(), 0);
    EXPECT_EQ(dlg->Header()->Mark(0), discovery::kMarkDescending);
    EXPECT_TRUE(boxes.messages.empty());
}

TEST_F(ConnectDlgTest, FailedStartIsShownAndTheDialogStaysWithoutTimer) {
    fake.startResult = 10;
    Open();
    EXPECT_EQ(boxes.messages,
              (std::vector<RecordedMessage>{
                  {L"Unable to allocate system resourcess!", platform::MessageIcon::Error}}));
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(fake.refreshes, 0);
    EXPECT_FALSE(dlg->ListTimer()->isActive());
    EXPECT_EQ(dlg->List().Count(), 0);
    dlg->reject();
    EXPECT_FALSE(dlg->isVisible());
}

TEST_F(ConnectDlgTest, ReportsBecomeRowsWithTextsAndImages) {
    Open();
    Report(Listed(101, "192.168.1.10", 1002003));
    // A single controller is focused and selected at once.
    ASSERT_EQ(dlg->List().Count(), 1);
    EXPECT_EQ(SelectedRows(), std::vector<int>{0});
    EXPECT_EQ(dlg->ListView()->currentIndex().row(), 0);

    Report(Listed(102, "0.0.0.0"));
    discovery::DeviceStatus unnamed = Listed(0xFFFFFFFF, "10.0.0.1");
    Report(unnamed);
    discovery::DeviceStatus notReady = Listed(103, "10.0.0.3");
    notReady.statusWord2 = 0;
    Report(notReady);
    ASSERT_EQ(dlg->List().Count(), 2);

    // "Wait IP" rows before "Online" rows; the selection stayed with 101.
    EXPECT_EQ(Cell(0, 0), QStringLiteral("Wait IP"));
    EXPECT_EQ(Cell(0, 1), QStringLiteral("102"));
    EXPECT_EQ(Cell(0, 2), QStringLiteral("1.000.000"));
    EXPECT_EQ(Cell(0, 3), QStringLiteral("Unknown"));
    EXPECT_EQ(Cell(0, 0, DeviceListModel::kImageRole).toInt(), discovery::kImageWaitIP);
    EXPECT_EQ(Cell(1, 0), QStringLiteral("Online"));
    EXPECT_EQ(Cell(1, 1), QStringLiteral("101"));
    EXPECT_EQ(Cell(1, 2), QStringLiteral("1.002.003"));
    EXPECT_EQ(Cell(1, 3), QStringLiteral("192.168.1.10"));
    EXPECT_EQ(Cell(1, 0, DeviceListModel::kImageRole).toInt(), discovery::kImageOnline);
    EXPECT_FALSE(
        dlg->ListView()->model()->index(1, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
    EXPECT_EQ(SelectedRows(), std::vector<int>{1});
    EXPECT_TRUE(boxes.messages.empty());

    // A failing status of a listed controller deletes its row at once.
    discovery::DeviceStatus gone = Listed(101, "192.168.1.10");
    gone.statusWord0 = 0;
    Report(gone);
    ASSERT_EQ(dlg->List().Count(), 1);
    EXPECT_EQ(Cell(0, 1), QStringLiteral("102"));
}

TEST_F(ConnectDlgTest, MessagesFromTheServiceThread) {
    Open();
    std::vector<bool> onWindowThread;
    boxes.onShow = [&] { onWindowThread.push_back(QThread::currentThread() == qApp->thread()); };
    std::thread service([this] {
        dlg->OnServiceLog("Can't bind socket : Address already in use");
        dlg->OnSetIPResult(2, 0);   // success: nothing to say
        dlg->OnSetIPResult(3, 16);  // refused while baking
    });
    service.join();
    // A report whose copy could not be made.
    QCoreApplication::postEvent(dlg.get(), new DeviceStatusEvent(nullptr));
    uitest::Pump();

    EXPECT_EQ(trace.lines,
              (std::vector<uitest::RecordedTrace>{
                  {'E', L"ServiceMgr", L"Can't bind socket : Address already in use"}}));
    EXPECT_EQ(boxes.messages,
              (std::vector<RecordedMessage>{
                  {L"Invalid device state to set IP address!", platform::MessageIcon::Error},
                  {L"Unable to create object - no memory!", platform::MessageIcon::Error}}));
    EXPECT_EQ(onWindowThread, (std::vector<bool>{true, true}));
    EXPECT_TRUE(dlg->isVisible());
}

TEST_F(ConnectDlgTest, ConfirmingTakesEverySelectedRowAndNeedsOne) {
    // Rows: 0 is 102 without an address, 1 is 101 at 192.168.1.10.
    const struct {
        std::initializer_list<int> selected;
        QStringList addresses;  // empty: the dialog stays open
        QStringList names;
    } cases[] = {
        {{}, {}, {}},
        {{0}, {"Unknown"}, {"102"}},
        {{1}, {"192.168.1.10"}, {"101"}},
        {{0, 1}, {"Unknown", "192.168.1.10"}, {"102", "101"}},
        {{1, 0}, {"Unknown", "192.168.1.10"}, {"102", "101"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.selected.size());
        boxes.messages.clear();
        Open();
        Report(Listed(101, "192.168.1.10"));
        Report(Listed(102, "0.0.0.0"));
        Select(c.selected);
        dlg->Button(1)->click();
        if (!c.addresses.isEmpty()) {
            EXPECT_TRUE(ClosedWithOK());
            EXPECT_TRUE(boxes.messages.empty());
            QStringList addresses, names;
            for (const DeviceSelectionDialog::Choice& choice : dlg->Selected()) {
                addresses << choice.address;
                names << choice.name;
            }
            EXPECT_EQ(addresses, c.addresses);
            EXPECT_EQ(names, c.names);
            // The first of them, for whoever asks for one.
            EXPECT_EQ(dlg->SelectedIP(), c.addresses.first());
            EXPECT_EQ(dlg->SelectedName(), c.names.first());
        } else {
            EXPECT_TRUE(dlg->isVisible());
            EXPECT_EQ(boxes.messages,
                      (std::vector<RecordedMessage>{
                          {L"Select device to connect to!", platform::MessageIcon::Error}}));
            EXPECT_EQ(dlg->SelectedIP(), QString());
            EXPECT_TRUE(dlg->Selected().isEmpty());
            EXPECT_EQ(dlg->List().Count(), 2);
        }
    }
}

TEST_F(ConnectDlgTest, EveryConfirmingGesture) {
    const struct {
        const char* what;
        std::function<void(DeviceSelectionDialog&)> gesture;
    } cases[] = {
        {"Enter in the list",
         [](DeviceSelectionDialog& d) { QTest::keyClick(d.ListView(), Qt::Key_Return); }},
        {"double-click on the row",
         [](DeviceSelectionDialog& d) {
             QTreeView* v = d.ListView();
             const QPoint at = v->visualRect(v->model()->index(1, 1)).center();
             QTest::mouseClick(v->viewport(), Qt::LeftButton, {}, at);
             QTest::mouseDClick(v->viewport(), Qt::LeftButton, {}, at);
         }},
        {"double-click on a column header",
         [](DeviceSelectionDialog& d) {
             QHeaderView* h = d.ListView()->header();
             const QPoint at(h->sectionViewportPosition(1) + 20, h->height() / 2);
             QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, at);
             QTest::mouseDClick(h->viewport(), Qt::LeftButton, {}, at);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        boxes.messages.clear();
        Open();
        Report(Listed(101, "192.168.1.10"));
        Report(Listed(102, "0.0.0.0"));
        Select({1});
        dlg->ListView()->setCurrentIndex(dlg->ListView()->model()->index(1, 0));
        Select({1});
        c.gesture(*dlg);
        uitest::Pump();
        EXPECT_TRUE(ClosedWithOK());
        EXPECT_EQ(dlg->SelectedName(), QStringLiteral("101"));
        EXPECT_EQ(dlg->SelectedIP(), QStringLiteral("192.168.1.10"));
        EXPECT_TRUE(boxes.messages.empty());
    }
}

TEST_F(ConnectDlgTest, DoubleClickPicksTheRowUnderThePointer) {
    Open();
    Report(Listed(101, "192.168.1.10"));
    Report(Listed(102, "10.0.0.2"));
    Select({});
    QTreeView* v = dlg->ListView();
    const int row = dlg->List().Find(102);
    const QPoint at = v->visualRect(v->model()->index(row, 2)).center();
    QTest::mouseClick(v->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(v->viewport(), Qt::LeftButton, {}, at);
    uitest::Pump();
    EXPECT_TRUE(ClosedWithOK());
    EXPECT_EQ(dlg->SelectedName(), QStringLiteral("102"));
    EXPECT_EQ(dlg->SelectedIP(), QStringLiteral("10.0.0.2"));
}

TEST_F(ConnectDlgTest, SetIPSendsTheTypedAddressInNetworkOrder) {
    Open();
    Report(Listed(101, "192.168.1.10"));
    Report(Listed(102, "0.0.0.0"));

    // Nothing selected: the message, no address dialog.
    Select({});
    dlg->Button(1004)->click();
    EXPECT_EQ(boxes.messages, (std::vector<RecordedMessage>{{L"Select device to set its IP!",
                                                             platform::MessageIcon::Error}}));
    EXPECT_EQ(ipDialogs, 0);
    // Two selected: the same.
    Select({0, 1});
    dlg->Button(1004)->click();
    EXPECT_EQ(boxes.messages.size(), 2u);
    EXPECT_EQ(ipDialogs, 0);

    // One: the dialog opens at 0.0.0.0; cancelled, nothing is sent.
    boxes.messages.clear();
    Select({0});
    dlg->Button(1004)->click();
    EXPECT_EQ(ipDialogs, 1);
    EXPECT_EQ(ipDialogIn, (std::pair<uint32_t, uint32_t>{0, 0}));
    EXPECT_TRUE(fake.setIPs.empty());

    // Confirmed: the first field becomes the first octet.
    ipAnswer = {discovery::MakeFields(192, 168, 5, 20), discovery::MakeFields(255, 255, 255, 0)};
    dlg->Button(1004)->click();
    ASSERT_EQ(fake.setIPs.size(), 1u);
    EXPECT_EQ(fake.setIPs[0].deviceId, 102u);
    EXPECT_EQ(fake.setIPs[0].ip, Ip("192.168.5.20"));
    EXPECT_EQ(fake.setIPs[0].mask, Ip("255.255.255.0"));
    EXPECT_TRUE(boxes.messages.empty());
    EXPECT_TRUE(dlg->isVisible());

    // A request that cannot be queued is shown with its text.
    fake.setIPResult = 7;
    dlg->Button(1004)->click();
    EXPECT_EQ(
        boxes.messages,
        (std::vector<RecordedMessage>{{L"There is no memory on the server to complete operation!",
                                       platform::MessageIcon::Error}}));
}

TEST_F(ConnectDlgTest, SetIPKeepsItsControllerWhenTheRowGoesMeanwhile) {
    Open();
    Report(Listed(101, "192.168.1.10"));
    Select({0});
    ipAnswer = {discovery::MakeFields(10, 0, 0, 5), discovery::MakeFields(255, 0, 0, 0)};
    // The controller falls silent while the operator types.
    duringIPDialog = [this] {
        dlg->OnListTimer();
        dlg->OnListTimer();
        ASSERT_EQ(dlg->List().Count(), 0);
    };
    dlg->Button(1004)->click();
    ASSERT_EQ(fake.setIPs.size(), 1u);
    EXPECT_EQ(fake.setIPs[0].deviceId, 101u);
    EXPECT_EQ(fake.setIPs[0].ip, Ip("10.0.0.5"));
}

TEST_F(ConnectDlgTest, TypedAddressConfirmsAndIsRemembered) {
    Open();
    // Cancelled: nothing changes.
    dlg->Button(1005)->click();
    EXPECT_EQ(addressDialogs, 1);
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(AddressDialog::LastAddress(), QString());

    typedAddress = QStringLiteral("  10.9.8.7 ");
    dlg->Button(1005)->click();
    EXPECT_TRUE(ClosedWithOK());
    EXPECT_EQ(dlg->SelectedIP(), QStringLiteral("10.9.8.7"));
    EXPECT_EQ(dlg->SelectedName(), QStringLiteral("10.9.8.7"));
    EXPECT_EQ(AddressDialog::LastAddress(), QStringLiteral("10.9.8.7"));
    EXPECT_TRUE(boxes.messages.empty());
}

TEST_F(ConnectDlgTest, HeaderClicksSortAndMoveTheMark) {
    Open();
    Report(Listed(1, "10.0.0.9", 3000000));
    Report(Listed(2, "192.168.1.2", 1000000));
    Report(Listed(3, "0.0.0.0", 2000000));
    QHeaderView* h = dlg->ListView()->header();
    auto click = [&](int column) {
        QTest::mouseClick(h->viewport(), Qt::LeftButton, {},
                          QPoint(h->sectionViewportPosition(column) + 20, h->height() / 2));
        uitest::Pump();
    };
    auto names = [&] {
        QStringList n;
        for (int r = 0; r < dlg->List().Count(); ++r) n << Cell(r, 1);
        return n.join(QLatin1Char(' '));
    };
    click(2);  // Firmware, still descending
    EXPECT_EQ(names(), QStringLiteral("1 3 2"));
    EXPECT_EQ(dlg->Header()->Mark(0), -1);
    EXPECT_EQ(dlg->Header()->Mark(2), discovery::kMarkDescending);
    click(2);  // ascending
    EXPECT_EQ(names(), QStringLiteral("2 3 1"));
    EXPECT_EQ(dlg->Header()->Mark(2), discovery::kMarkAscending);
    click(3);  // Device IP ascending: stored little-endian order
    EXPECT_EQ(names(), QStringLiteral("3 2 1"));
    EXPECT_EQ(dlg->Header()->MarkedColumn(), 3);
}

TEST_F(ConnectDlgTest, TimerDropsControllersThatFellSilent) {
    Open();
    Report(Listed(101, "192.168.1.10"));
    Report(Listed(102, "10.0.0.2"));
    dlg->OnListTimer();
    EXPECT_EQ(dlg->List().Count(), 2);
    Report(Listed(101, "192.168.1.10"));  // equal: only seen
    dlg->OnListTimer();
    ASSERT_EQ(dlg->List().Count(), 1);
    EXPECT_EQ(Cell(0, 1), QStringLiteral("101"));
    dlg->OnListTimer();
    EXPECT_EQ(dlg->List().Count(), 0);
}

TEST_F(ConnectDlgTest, ClosingStopsTheServiceBeforeTheRowsGo) {
    Open();
    Report(Listed(101, "192.168.1.10"));
    Report(Listed(102, "10.0.0.2"));
    int rowsWhenStopped = -1;
    fake.onStop = [&] { rowsWhenStopped = dlg->List().Count(); };
    // One more report is under way as the operator closes the dialog.
    const discovery::DeviceStatus late = Listed(103, "10.0.0.3");
    dlg->OnDeviceStatus(&late);
    dlg->reject();
    EXPECT_EQ(fake.stops, 1);
    EXPECT_EQ(rowsWhenStopped, 2);
    EXPECT_EQ(dlg->List().Count(), 0);
    EXPECT_FALSE(dlg->ListTimer()->isActive());
    uitest::Pump();
    EXPECT_EQ(dlg->List().Count(), 0);  // the late report was dropped
    EXPECT_EQ(dlg->SelectedIP(), QString());
    EXPECT_TRUE(boxes.messages.empty());

    // Reports pending when the dialog is destroyed die with it.
    fake.onStop = nullptr;
    Open();
    dlg->OnDeviceStatus(&late);
    dlg->OnServiceLog("last words");
    dlg.reset();
    uitest::Pump();
    EXPECT_EQ(trace.lines.size(), 1u);  // the log line still reached the log
}

TEST_F(ConnectDlgTest, ResizingMovesButtonsAndGrowsTheList) {
    Open();
    const QSize list = dlg->ListView()->size();
    std::map<int, QPoint> at;
    for (int id : {1, 2, 1004, 1005}) at[id] = dlg->Button(id)->pos();
    dlg->resize(dlg->width() + 120, dlg->height() + 80);
    uitest::Pump();
    EXPECT_EQ(dlg->ListView()->size(), list + QSize(120, 80));
    for (int id : {1, 2, 1004, 1005})
        EXPECT_EQ(dlg->Button(id)->pos(), at[id] + QPoint(120, 80)) << id;
    EXPECT_EQ(dlg->StatusBar()->geometry().bottom(), dlg->height() - 1);
    EXPECT_EQ(dlg->StatusBar()->width(), dlg->width());
    EXPECT_EQ(dlg->minimumSize(), QSize(300, 190));
    // The buttons stay above the status line.
    EXPECT_LT(dlg->Button(1)->geometry().bottom(), dlg->StatusBar()->geometry().top());
}

}  // namespace
