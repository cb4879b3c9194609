#pragma once
// The device selection: a live list of the controllers that answer on the
// local network, from which the operator confirms one to connect to, gives
// one a new address, or types an address by hand.
//
// The embedded discovery service runs while the dialog is open. Its
// notifications arrive on the service's thread and are posted to the window
// thread as events that own their copies; the service is stopped before the
// rows are deleted, and whatever it posted and the dialog has not handled
// yet is dropped with the dialog's closing. Every member belongs to the
// window thread; the notification operations touch none of them.

#include <QEvent>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "discovery/device_discovery.h"
#include "discovery/device_list.h"
#include "discovery/discovery_listener.h"
#include "discovery/discovery_service.h"
#include "platform/message_box.h"
#include "platform/trace_log.h"
#include "widgets/status_bar_dialog.h"

class QPushButton;
class QTimer;
class QTreeView;

namespace discovery::ui {

class DeviceListModel;
class SortHeaderView;

// A status report carried to the window thread; null when no copy could be made.
class DeviceStatusEvent : public QEvent {
public:
    static constexpr QEvent::Type kType = static_cast<QEvent::Type>(0x418);  // WM_DEVICE_STATUS
    explicit DeviceStatusEvent(std::unique_ptr<DeviceStatus> status)
        : QEvent(kType), status_(std::move(status)) {}
    const DeviceStatus* Status() const { return status_.get(); }

private:
    std::unique_ptr<DeviceStatus> status_;
};

// A log line of the service.
class ServiceLogEvent : public QEvent {
public:
    static constexpr QEvent::Type kType = static_cast<QEvent::Type>(0x417);  // WM_SERVICE_LOG
    explicit ServiceLogEvent(std::string text) : QEvent(kType), text_(std::move(text)) {}
    const std::string& Text() const { return text_; }

private:
    std::string text_;
};

// A failed or refused set-IP request, shown from the window thread.
class SetIPResultEvent : public QEvent {
public:
    static constexpr QEvent::Type kType = static_cast<QEvent::Type>(0x419);
    SetIPResultEvent(uint32_t requestId, uint32_t result)
        : QEvent(kType), requestId_(requestId), result_(result) {}
    uint32_t RequestId() const { return requestId_; }
    uint32_t Result() const { return result_; }

private:
    uint32_t requestId_;
    uint32_t result_;
};

class DeviceSelectionDialog : public widgets::StatusBarDialog, public DiscoveryListener {
    Q_OBJECT
public:
    static constexpr int IDD = 312;
    static constexpr int IDC_DEVICE_LIST = 1033;
    static constexpr int IDC_SET_IP = 1004;
    static constexpr int IDC_ADDRESS = 1005;
    static constexpr int DEVICE_LIST_TIMER = 3453;
    static constexpr int kDeviceListPeriodMs = 2000;
    static constexpr int kMinWidth = 300;
    static constexpr int kMinHeight = 190;

    struct Services {
        platform::MessageBox* messageBox = nullptr;  // required
        platform::TraceLog* traceLog = nullptr;      // the service's log lines; none: dropped
        // In place of the embedded discovery service (tests).
        DeviceDiscovery* discovery = nullptr;
        // Runs the address and mask dialog; false when cancelled. Default: SetIpDialog.
        std::function<bool(QWidget* parent, uint32_t* address, uint32_t* mask)> runIPDialog;
        // Asks for an address by hand; false when cancelled. Default: AddressDialog.
        std::function<bool(QWidget* parent, QString* address)> runAddressDialog;
    };

    explicit DeviceSelectionDialog(Services services, QWidget* parent = nullptr);
    ~DeviceSelectionDialog() override;

    // One chosen controller: its address text ("Unknown" for one without an
    // address) and its name text.
    struct Choice {
        QString address;
        QString name;
    };
    // After OK: the first chosen controller's address text and name text.
    // Empty otherwise.
    const QString& SelectedIP() const { return selectedIP_; }
    const QString& SelectedName() const { return selectedName_; }
    // After OK: every chosen controller, in the list's order. Empty otherwise.
    const QList<Choice>& Selected() const { return selected_; }

    // DiscoveryListener (service thread): copies posted to the window thread.
    void OnDeviceStatus(const DeviceStatus* status) override;
    void OnSetIPResult(uint32_t requestId, uint32_t result) override;
    void OnServiceLog(std::string text) override;

    // Confirms the selected rows (one or several) and closes with OK;
    // without a selection says so and stays open. Returns whether it closed.
    bool Confirm();
    // Set IP for the one selected row.
    void SetIP();
    // Connect to a typed address.
    void EnterAddress();
    // The list timer's tick.
    void OnListTimer();
    // The window thread's handling of a status report.
    void UpdateList(const DeviceStatus& status);

    const DeviceList& List() const { return list_; }
    QTreeView* ListView() const { return view_; }
    SortHeaderView* Header() const { return header_; }
    QTimer* ListTimer() const { return timer_; }
    QPushButton* Button(int id) const;
    bool IsOpen() const { return open_; }

    void accept() override;
    void done(int result) override;

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void Open();
    void Close();
    // The one selected row, or -1 when none or several are selected.
    int SingleSelectedRow() const;
    void ShowError(const std::string& text);

    Services services_;
    DiscoveryService service_;
    DeviceDiscovery* discovery_;

    DeviceList list_;
    std::unique_ptr<DeviceListModel> model_;
    QTreeView* view_ = nullptr;
    SortHeaderView* header_ = nullptr;
    QTimer* timer_ = nullptr;
    QRect lastClient_;  // the client rectangle at the last layout
    QString selectedIP_;
    QString selectedName_;
    QList<Choice> selected_;
    bool open_ = false;
};

}  // namespace discovery::ui
