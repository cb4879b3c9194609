#include "discovery/device_list.h"

#include <cstdio>
#include <cwchar>
#include <cwctype>
#include <new>

#include "discovery/discovery_result.h"
#include "platform/text_conversion.h"

namespace discovery {

std::string DeviceColumnText(const DeviceStatus& status, int column) {
    switch (column) {
        case kColumnStatus:
            return DeviceStatusText(status);
        case kColumnName:
            return DeviceNameText(status.deviceId);
        case kColumnFirmware:
            return FirmwareVersionText(status.firmwareVersion);
        case kColumnDeviceIP:
            return DeviceIPText(status.ipAddress);
        default:
            return std::string();
    }
}

bool PassesListingTest(const DeviceStatus& status) {
    return status.statusWord0 == 1 && status.statusWord2 == 1 && status.statusWord3 == 1 &&
           status.deviceId != 0xFFFFFFFF;
}

bool IsOnline(const DeviceStatus& status) {
    return PassesListingTest(status) && status.ipAddress != 0;
}

int CompareText(const std::string& a, const std::string& b) {
    std::wstring wa, wb;
    platform::CodePageToWide(a, wa);
    platform::CodePageToWide(b, wb);
    for (wchar_t& c : wa) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    for (wchar_t& c : wb) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    const int d = std::wcscoll(wa.c_str(), wb.c_str());
    return d < 0 ? -1 : (d > 0 ? 1 : 0);
}

int CompareDevices(const DeviceStatus& a, const DeviceStatus& b, int column) {
    switch (column) {
        case kColumnStatus:
            return CompareText(DeviceStatusText(a), DeviceStatusText(b));
        case kColumnName:
            return CompareText(DeviceNameText(a.deviceId), DeviceNameText(b.deviceId));
        case kColumnFirmware:
            return static_cast<int32_t>(a.firmwareVersion - b.firmwareVersion);
        case kColumnDeviceIP:
            // The stored bytes read as a little-endian integer (the first
            // octet least significant), which is how this machine holds them.
            return static_cast<int32_t>(a.ipAddress - b.ipAddress);
        default:
            return 0;
    }
}

DeviceList::DeviceList(DeviceListObserver* observer) : observer_(observer) {}

DeviceList::~DeviceList() {
    // The rows go with the list; no view is told any more.
    observer_ = nullptr;
}

int DeviceList::Find(uint32_t deviceId) const {
    for (size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i]->status.deviceId == deviceId)
            return static_cast<int>(i);
    return -1;
}

DeviceList::UpdateResult DeviceList::Update(const DeviceStatus& status) {
    int row = Find(status.deviceId);
    Outcome outcome = Outcome::Rewritten;
    if (row < 0) {
        if (!PassesListingTest(status))
            return {Outcome::Ignored, -1};
        std::unique_ptr<DeviceRow> data(new (std::nothrow) DeviceRow);
        if (!data)
            return {Outcome::NoMemory, -1};
        data->status = status;
        row = Count();
        if (observer_ && !observer_->BeginInsertRow(row))
            return {Outcome::NoRow, -1};
        data->seen = 1;
        rows_.push_back(std::move(data));
        if (observer_)
            observer_->EndInsertRow();
        outcome = Outcome::Added;
    } else {
        if (!PassesListingTest(status)) {
            RemoveRow(row);
            return {Outcome::Removed, -1};
        }
        DeviceRow& data = *rows_[static_cast<size_t>(row)];
        data.seen = 1;
        if (data.status == status)
            return {Outcome::Seen, row};
        data.status = status;  // every field, seen kept
    }
    const DeviceRow* changed = rows_[static_cast<size_t>(row)].get();
    if (observer_)
        observer_->RowChanged(row);
    Sort();
    for (int i = 0; i < Count(); ++i)
        if (rows_[static_cast<size_t>(i)].get() == changed)
            row = i;
    return {outcome, row};
}

void DeviceList::RemoveRow(int row) {
    if (observer_)
        observer_->BeginRemoveRow(row);
    rows_.erase(rows_.begin() + row);
    if (observer_)
        observer_->EndRemoveRow();
}

int DeviceList::TimerTick() {
    int removed = 0;
    for (int i = Count() - 1; i >= 0; --i) {
        DeviceRow& data = *rows_[static_cast<size_t>(i)];
        if (data.seen) {
            data.seen = 0;
        } else {
            RemoveRow(i);
            ++removed;
        }
    }
    return removed;
}

void DeviceList::HeaderClicked(int column) {
    if (column < 0 || column >= kDeviceListColumns)
        return;
    if (column == sortColumn_) {
        ascending_ = !ascending_;
    } else {
        sortColumn_ = column;
    }
    ShowSortMark();
    Sort();
}

void DeviceList::ShowSortMark() {
    const int previous = markedColumn_ == sortColumn_ ? -1 : markedColumn_;
    markedColumn_ = sortColumn_;
    if (observer_)
        observer_->SortMarkChanged(previous, sortColumn_, SortMark());
}

void DeviceList::Sort() {
    const size_t n = rows_.size();
    if (n < 2)
        return;
    // A stable insertion sort: the list is short, and the wrapping
    // differences need not be transitive, which an introsort may not be
    // given safely.
    std::vector<size_t> order(n);
    for (size_t i = 0; i < n; ++i) order[i] = i;
    for (size_t i = 1; i < n; ++i) {
        const size_t moving = order[i];
        size_t j = i;
        while (j > 0 && GoesBefore(CompareDevices(rows_[moving]->status,
                                                  rows_[order[j - 1]]->status, sortColumn_),
                                   ascending_)) {
            order[j] = order[j - 1];
            --j;
        }
        order[j] = moving;
    }
    bool moved = false;
    for (size_t i = 0; i < n; ++i) moved |= order[i] != i;
    if (!moved)
        return;

    if (observer_)
        observer_->BeginReorder();
    std::vector<std::unique_ptr<DeviceRow>> sorted(n);
    std::vector<int> newIndex(n);
    for (size_t i = 0; i < n; ++i) {
        sorted[i] = std::move(rows_[order[i]]);
        newIndex[order[i]] = static_cast<int>(i);
    }
    rows_ = std::move(sorted);
    if (observer_)
        observer_->EndReorder(newIndex);
}

void DeviceList::Clear() {
    for (int i = Count() - 1; i >= 0; --i) RemoveRow(i);
}

}  // namespace discovery
