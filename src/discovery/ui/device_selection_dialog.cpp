#include "discovery/ui/device_selection_dialog.h"

#include <algorithm>

#include <QCoreApplication>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPushButton>
#include <QResizeEvent>
#include <QStyle>
#include <QTimer>
#include <QTreeView>

#include <new>

#include "discovery/discovery_result.h"
#include "discovery/ip_fields.h"
#include "discovery/ui/address_dialog.h"
#include "discovery/ui/device_list_model.h"
#include "discovery/ui/set_ip_dialog.h"
#include "discovery/ui/sort_header_view.h"
#include "platform/text_conversion.h"
#include "platform/thread_handover.h"
#include "widgets/dialog_units.h"
#include "widgets/thread_post.h"

namespace discovery::ui {

namespace {

bool RunIPAddrDlg(QWidget* parent, uint32_t* address, uint32_t* mask) {
    SetIpDialog dlg(parent);
    dlg.address = *address;
    dlg.mask = *mask;
    if (dlg.exec() != QDialog::Accepted)
        return false;
    *address = dlg.address;
    *mask = dlg.mask;
    return true;
}

bool RunAddressDlg(QWidget* parent, QString* address) {
    AddressDialog dlg(parent);
    dlg.SetAddress(AddressDialog::LastAddress());
    if (dlg.exec() != QDialog::Accepted)
        return false;
    *address = dlg.Address();
    return true;
}

}  // namespace

DeviceSelectionDialog::DeviceSelectionDialog(Services services, QWidget* parent)
    : widgets::StatusBarDialog(IDD, parent),
      services_(std::move(services)),
      discovery_(services_.discovery ? services_.discovery : &service_) {
    if (!services_.runIPDialog)
        services_.runIPDialog = RunIPAddrDlg;
    if (!services_.runAddressDialog)
        services_.runAddressDialog = RunAddressDlg;

    setWindowTitle(QStringLiteral("Select device to connect to"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setSizeGripEnabled(false);
    const widgets::DialogUnits du = widgets::DialogUnits::ForFont(font());

    view_ = new QTreeView(this);
    view_->setObjectName(QString::number(IDC_DEVICE_LIST));
    view_->setRootIsDecorated(false);
    view_->setItemsExpandable(false);
    view_->setUniformRowHeights(true);
    view_->setAllColumnsShowFocus(true);
    view_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setIconSize(QSize(16, 16));
    view_->setFrameShape(QFrame::StyledPanel);
    header_ = new SortHeaderView(view_);
    view_->setHeader(header_);
    header_->setStretchLastSection(false);
    model_ = std::make_unique<DeviceListModel>(list_);
    view_->setModel(model_.get());
    // The tree view resets this when it takes the header.
    header_->setSectionsClickable(true);
    for (int c = 0; c < kDeviceListColumns; ++c)
        header_->resizeSection(c, DeviceListModel::kColumnWidths[c]);
    view_->setGeometry(du.Rect(7, 7, 303, 150));
    view_->viewport()->installEventFilter(this);

    connect(header_, &QHeaderView::sectionClicked, this,
            [this](int column) { list_.HeaderClicked(column); });
    connect(header_, &QHeaderView::sectionDoubleClicked, this, [this](int) { Confirm(); });
    connect(model_.get(), &DeviceListModel::sortMarkChanged, this,
            [this](int previous, int column, int mark) {
                if (previous >= 0)
                    header_->SetMark(previous, -1);
                header_->SetMark(column, mark);
            });

    auto button = [&](int id, const QString& text, int x) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QString::number(id));
        b->setGeometry(du.Rect(x, 162, 50, 14));
        return b;
    };
    QPushButton* ok = button(1, QStringLiteral("OK"), 205);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &DeviceSelectionDialog::accept);
    QPushButton* cancel = button(2, QStringLiteral("Cancel"), 260);
    connect(cancel, &QPushButton::clicked, this, &DeviceSelectionDialog::reject);
    QPushButton* setIP = button(IDC_SET_IP, QStringLiteral("Set IP"), 7);
    connect(setIP, &QPushButton::clicked, this, &DeviceSelectionDialog::SetIP);
    // Not on the live list's road: a controller beyond a router or VPN.
    QPushButton* address = button(IDC_ADDRESS, QStringLiteral("Address..."), 62);
    address->setToolTip(QStringLiteral("Connect to a controller by its address or host name"));
    connect(address, &QPushButton::clicked, this, &DeviceSelectionDialog::EnterAddress);
    setTabOrder(view_, ok);
    setTabOrder(ok, cancel);
    setTabOrder(cancel, setIP);
    setTabOrder(setIP, address);

    timer_ = new QTimer(this);
    timer_->setObjectName(QString::number(DEVICE_LIST_TIMER));
    timer_->setInterval(kDeviceListPeriodMs);
    connect(timer_, &QTimer::timeout, this, &DeviceSelectionDialog::OnListTimer);

    resize(du.Size(317, 193));
    lastClient_ = QRect(QPoint(), size());
    setMinimumSize(kMinWidth, kMinHeight);
    // The four columns are wider than the template's list: open wide enough
    // that "Device IP" shows without scrolling. The first resize event lays
    // the controls out for the wider size.
    int columns = 0;
    for (int c = 0; c < kDeviceListColumns; ++c) columns += DeviceListModel::kColumnWidths[c];
    const int missing = columns + 2 * view_->frameWidth() +
                        view_->style()->pixelMetric(QStyle::PM_ScrollBarExtent) - view_->width();
    if (missing > 0)
        resize(width() + missing, height());
}

DeviceSelectionDialog::~DeviceSelectionDialog() {
    // The service must not post to a dialog that is going away.
    Close();
    view_->setModel(nullptr);
    model_.reset();
}

QPushButton* DeviceSelectionDialog::Button(int id) const {
    return findChild<QPushButton*>(QString::number(id), Qt::FindDirectChildrenOnly);
}

void DeviceSelectionDialog::showEvent(QShowEvent* e) {
    widgets::StatusBarDialog::showEvent(e);
    if (!open_)
        Open();
}

void DeviceSelectionDialog::Open() {
    open_ = true;
    selectedIP_.clear();
    selectedName_.clear();
    selected_.clear();
    CreateStatusBar();
    SetStatusText(QString());
    list_.ShowSortMark();
    lastClient_ = rect();
    const uint32_t rc = discovery_->StartOperations(this);
    if (rc != 0) {
        // The dialog stays usable with an empty list (an address can still be typed).
        ShowError(DiscoveryResultText(rc));
        return;
    }
    discovery_->RefreshDevices();
    timer_->start();
}

void DeviceSelectionDialog::Close() {
    if (!open_)
        return;
    open_ = false;
    timer_->stop();
    discovery_->StopOperations();
    if (discovery_->IsRunning())
        discovery_->Stop(nullptr, DiscoveryService::kInfinite);
    // The service is quiet now. Its last log lines still go to the log; the
    // reports nobody will see any more are dropped.
    QCoreApplication::sendPostedEvents(this, ServiceLogEvent::kType);
    QCoreApplication::removePostedEvents(this, DeviceStatusEvent::kType);
    QCoreApplication::removePostedEvents(this, SetIPResultEvent::kType);
    list_.Clear();
}

void DeviceSelectionDialog::done(int result) {
    Close();
    widgets::StatusBarDialog::done(result);
}

void DeviceSelectionDialog::accept() {
    Confirm();
}

// ---- notifications (service thread) ------------------------------------------

void DeviceSelectionDialog::OnDeviceStatus(const DeviceStatus* status) {
    std::unique_ptr<DeviceStatus> copy;
    if (status)
        copy.reset(new (std::nothrow) DeviceStatus(*status));
    widgets::PostFromWorkerThread(this, new DeviceStatusEvent(std::move(copy)));
}

void DeviceSelectionDialog::OnSetIPResult(uint32_t requestId, uint32_t result) {
    if (result == 0)
        return;
    widgets::PostFromWorkerThread(this, new SetIPResultEvent(requestId, result));
}

void DeviceSelectionDialog::OnServiceLog(std::string text) {
    widgets::PostFromWorkerThread(this, new ServiceLogEvent(std::move(text)));
}

// ---- window thread ------------------------------------------------------------

bool DeviceSelectionDialog::event(QEvent* e) {
    platform::AcquireFromOtherThread(e);
    switch (static_cast<int>(e->type())) {
        case static_cast<int>(ServiceLogEvent::kType): {
            if (services_.traceLog) {
                std::wstring wide;
                platform::CodePageToWide(static_cast<ServiceLogEvent*>(e)->Text(), wide);
                services_.traceLog->TraceError(L"ServiceMgr", L"%ls", wide.c_str());
            }
            return true;
        }
        case static_cast<int>(DeviceStatusEvent::kType): {
            if (!open_)
                return true;
            const DeviceStatus* status = static_cast<DeviceStatusEvent*>(e)->Status();
            if (!status) {
                ShowError("Unable to create object - no memory!");
            } else {
                UpdateList(*status);
            }
            return true;
        }
        case static_cast<int>(SetIPResultEvent::kType):
            ShowError(DiscoveryResultText(static_cast<SetIPResultEvent*>(e)->Result()));
            return true;
        default:
            return widgets::StatusBarDialog::event(e);
    }
}

void DeviceSelectionDialog::UpdateList(const DeviceStatus& status) {
    const DeviceList::UpdateResult r = list_.Update(status);
    switch (r.outcome) {
        case DeviceList::Outcome::NoMemory:
            ShowError("Unable to create object no memory!");
            return;
        case DeviceList::Outcome::NoRow:
            ShowError("Unable to create device view item !");
            return;
        case DeviceList::Outcome::Added:
        case DeviceList::Outcome::Rewritten:
            // A single controller is chosen at once, so OK connects to it.
            if (list_.Count() == 1) {
                view_->selectionModel()->setCurrentIndex(
                    model_->index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
            }
            view_->viewport()->update();
            return;
        default:
            return;
    }
}

void DeviceSelectionDialog::OnListTimer() {
    list_.TimerTick();
}

int DeviceSelectionDialog::SingleSelectedRow() const {
    const QModelIndexList rows = view_->selectionModel()->selectedRows();
    if (rows.size() != 1)
        return -1;
    const int row = rows.first().row();
    return row >= 0 && row < list_.Count() ? row : -1;
}

bool DeviceSelectionDialog::Confirm() {
    std::vector<int> rows;
    for (const QModelIndex& index : view_->selectionModel()->selectedRows()) {
        if (index.row() >= 0 && index.row() < list_.Count())
            rows.push_back(index.row());
    }
    if (rows.empty()) {
        ShowError("Select device to connect to!");
        return false;
    }
    std::sort(rows.begin(), rows.end());
    selected_.clear();
    for (const int row : rows) {
        const DeviceStatus& device = list_.Row(row).status;
        selected_.append({QString::fromStdString(DeviceIPText(device.ipAddress)),
                          QString::fromStdString(DeviceNameText(device.deviceId))});
    }
    selectedIP_ = selected_.first().address;
    selectedName_ = selected_.first().name;
    widgets::StatusBarDialog::accept();
    return true;
}

void DeviceSelectionDialog::SetIP() {
    const int row = SingleSelectedRow();
    if (row < 0) {
        ShowError("Select device to set its IP!");
        return;
    }
    // Taken now: the row may be gone when the address dialog closes.
    const uint32_t deviceId = list_.Row(row).status.deviceId;
    uint32_t address = 0;
    uint32_t mask = 0;
    if (!services_.runIPDialog(this, &address, &mask))
        return;
    uint32_t requestId = 0;
    const uint32_t rc = discovery_->SetDeviceIP(deviceId, FieldsToNetworkOrder(address),
                                                FieldsToNetworkOrder(mask), &requestId);
    if (rc != 0)
        ShowError(DiscoveryResultText(rc));
}

void DeviceSelectionDialog::EnterAddress() {
    QString address;
    if (!services_.runAddressDialog(this, &address))
        return;
    address = address.trimmed();
    if (address.isEmpty())
        return;
    AddressDialog::StoreLastAddress(address);
    selectedIP_ = address;
    selectedName_ = address;
    selected_ = {{address, address}};
    widgets::StatusBarDialog::accept();
}

void DeviceSelectionDialog::ShowError(const std::string& text) {
    std::wstring wide;
    platform::CodePageToWide(text, wide);
    if (services_.messageBox)
        services_.messageBox->ShowMessage(wide, platform::MessageIcon::Error);
}

// ---- layout ----------------------------------------------------------------------

bool DeviceSelectionDialog::eventFilter(QObject* watched, QEvent* e) {
    // A double-click anywhere in the list confirms, as OK does.
    if (watched == view_->viewport() && e->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton) {
        Confirm();
        return true;
    }
    return widgets::StatusBarDialog::eventFilter(watched, e);
}

void DeviceSelectionDialog::resizeEvent(QResizeEvent* e) {
    widgets::StatusBarDialog::resizeEvent(e);
    const QSize now = e->size();
    const int dx = now.width() - lastClient_.width();
    const int dy = now.height() - lastClient_.height();
    if (dx != 0 || dy != 0) {
        // The list follows the bottom-right corner; the buttons keep their
        // distance to it.
        view_->resize(view_->width() + dx, view_->height() + dy);
        for (int id : {1, 2, IDC_SET_IP, IDC_ADDRESS})
            if (QPushButton* b = Button(id))
                b->move(b->x() + dx, b->y() + dy);
    }
    RepositionBars();
    update();
    lastClient_ = QRect(QPoint(), now);
}

}  // namespace discovery::ui
