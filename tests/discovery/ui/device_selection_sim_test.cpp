// The device selection with its real discovery service, against simulated
// controllers in the test's own network namespace.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QTimer>
#include <QTreeView>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "discovery/ip_fields.h"
#include "discovery/ui/device_selection_dialog.h"
#include "tests/support/private_network.h"
#include "tests/support/process.h"
#include "tests/support/sim_process.h"
#include "tests/support/ui_test_support.h"

using namespace discovery::ui;

namespace {

using test_support::Process;
using uitest::PumpUntil;
using uitest::RecordedMessage;

const std::string kCtl = CALVEROCTL_PATH;

class ConnectDlgSim : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_PRIVATE_NETWORK();
        online_.emplace(std::vector<std::string>{"--bind", "127.0.0.2", "--port", "5565",
                                                 "--device-id", "101", "--firmware", "1.2.3"});
        ASSERT_TRUE(online_->Listening()) << online_->Err();
        waiting_.emplace(std::vector<std::string>{"--bind", "127.0.0.3", "--port", "5565",
                                                  "--device-id", "102", "--ip", "0.0.0.0"});
        ASSERT_TRUE(waiting_->Listening()) << waiting_->Err();
        DeviceSelectionDialog::Services s;
        s.messageBox = &boxes_;
        s.traceLog = &trace_;
        s.runIPDialog = [this](QWidget*, uint32_t* address, uint32_t* mask) {
            *address = answer_.first;
            *mask = answer_.second;
            return true;
        };
        dlg_ = std::make_unique<DeviceSelectionDialog>(s);
        dlg_->show();
        ASSERT_TRUE(PumpUntil([this] { return dlg_->List().Count() == 2; }, 6000))
            << online_->Err() << waiting_->Err();
    }

    int RowOf(uint32_t deviceId) const { return dlg_->List().Find(deviceId); }
    QString Cell(uint32_t deviceId, int column) const {
        const int row = RowOf(deviceId);
        return row < 0 ? QString()
                       : dlg_->ListView()->model()->index(row, column).data().toString();
    }
    void SelectOnly(uint32_t deviceId) {
        dlg_->ListView()->selectionModel()->select(
            dlg_->ListView()->model()->index(RowOf(deviceId), 0),
            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }

    // Started in SetUp, once the private network is known to be there.
    std::optional<test_support::SimProcess> online_, waiting_;
    uitest::RecordingMessageBox boxes_;
    uitest::RecordingTraceLog trace_;
    std::unique_ptr<DeviceSelectionDialog> dlg_;
    std::pair<uint32_t, uint32_t> answer_;
};

TEST_F(ConnectDlgSim, ListsBothControllersAndSetsAnAddress) {
    // Waiting for an address first ("Status" descending).
    EXPECT_EQ(RowOf(102), 0);
    EXPECT_EQ(Cell(102, 0), QStringLiteral("Wait IP"));
    EXPECT_EQ(Cell(102, 3), QStringLiteral("Unknown"));
    EXPECT_EQ(Cell(101, 0), QStringLiteral("Online"));
    EXPECT_EQ(Cell(101, 1), QStringLiteral("101"));
    EXPECT_EQ(Cell(101, 2), QStringLiteral("1.002.003"));
    EXPECT_EQ(Cell(101, 3), QStringLiteral("127.0.0.2"));

    // Give the waiting one an address: its reply is a success (no message)
    // and its next status shows the address.
    answer_ = {discovery::MakeFields(10, 0, 0, 42), discovery::MakeFields(255, 255, 255, 0)};
    SelectOnly(102);
    dlg_->Button(DeviceSelectionDialog::IDC_SET_IP)->click();
    ASSERT_TRUE(PumpUntil([this] { return Cell(102, 3) == QStringLiteral("10.0.0.42"); }, 5000))
        << waiting_->Err();
    EXPECT_EQ(Cell(102, 0), QStringLiteral("Online"));
    // Both are "Online" now: the list stays stable while they report. The
    // second tick of the list timer drops a row with no report since the first.
    std::vector<int> rowsAfterTick;
    const QMetaObject::Connection ticks =
        QObject::connect(dlg_->ListTimer(), &QTimer::timeout, dlg_.get(),
                         [&] { rowsAfterTick.push_back(dlg_->List().Count()); });
    const bool ticked = PumpUntil([&] { return rowsAfterTick.size() >= 2; },
                                  4 * DeviceSelectionDialog::kDeviceListPeriodMs);
    QObject::disconnect(ticks);
    ASSERT_TRUE(ticked);
    rowsAfterTick.resize(2);
    EXPECT_EQ(rowsAfterTick, (std::vector<int>{2, 2}));
    EXPECT_EQ(dlg_->List().Count(), 2);
    EXPECT_TRUE(boxes_.messages.empty());

    // Confirming it hands its new address over.
    SelectOnly(102);
    dlg_->Button(1)->click();
    EXPECT_EQ(dlg_->result(), QDialog::Accepted);
    EXPECT_EQ(dlg_->SelectedIP(), QStringLiteral("10.0.0.42"));
    EXPECT_EQ(dlg_->SelectedName(), QStringLiteral("102"));
}

TEST_F(ConnectDlgSim, BakingControllerRefusesANewAddress) {
    const auto start = test_support::Run({kCtl, "start", "127.0.0.2"});
    ASSERT_EQ(start.code, 0) << start.out << start.err;
    answer_ = {discovery::MakeFields(10, 1, 1, 1), discovery::MakeFields(255, 0, 0, 0)};
    SelectOnly(101);
    dlg_->Button(DeviceSelectionDialog::IDC_SET_IP)->click();
    ASSERT_TRUE(PumpUntil([this] { return !boxes_.messages.empty(); }, 5000));
    EXPECT_EQ(boxes_.messages,
              (std::vector<RecordedMessage>{
                  {L"Invalid device state to set IP address!", platform::MessageIcon::Error}}));
    // The device error is in the log, written by the service.
    ASSERT_TRUE(PumpUntil([this] { return !trace_.lines.empty(); }, 2000));
    EXPECT_EQ(
        trace_.lines[0],
        (uitest::RecordedTrace{'E', L"ServiceMgr", L"101 Received device error : <Unknown : 6>"}));
    EXPECT_EQ(Cell(101, 3), QStringLiteral("127.0.0.2"));
    EXPECT_TRUE(dlg_->isVisible());
}

TEST_F(ConnectDlgSim, ClosingWhileReportsArriveLeavesNothingBehind) {
    dlg_->reject();
    EXPECT_FALSE(dlg_->IsOpen());
    EXPECT_EQ(dlg_->List().Count(), 0);
    // The controllers keep reporting; nothing reaches the closed dialog.
    EXPECT_FALSE(PumpUntil([this] { return dlg_->List().Count() != 0; }, 2500));
    EXPECT_TRUE(boxes_.messages.empty());
    EXPECT_EQ(dlg_->SelectedIP(), QString());

    // The port is free again: a new dialog lists the controllers.
    DeviceSelectionDialog::Services s;
    s.messageBox = &boxes_;
    DeviceSelectionDialog again(s);
    again.show();
    EXPECT_TRUE(PumpUntil([&] { return again.List().Count() == 2; }, 6000));
    EXPECT_TRUE(boxes_.messages.empty());
}

}  // namespace
