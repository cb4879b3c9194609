#pragma once
// The rules of the live controller list of the device selection: which
// status reports make a row, when a row is rewritten or dropped, the silence
// timer, the texts of the four columns and the sort order. Qt-free; the
// dialog shows a DeviceList through a model that listens to it.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "discovery/device_record.h"
#include "discovery/device_texts.h"

namespace discovery {

// The data of one list row: the controller's last status, and whether a
// status for it arrived since the last timer tick. Owned by its row and
// deleted with it, whatever removes the row.
struct DeviceRow {
    DeviceStatus status;
    uint32_t seen = 0;
};

// The list's columns, in display order.
enum DeviceListColumn : int {
    kColumnStatus = 0,
    kColumnName = 1,
    kColumnFirmware = 2,
    kColumnDeviceIP = 3,
    kDeviceListColumns = 4,
};

// Row images: a controller on line, and one waiting for an IP address.
inline constexpr int kImageOnline = 0;
inline constexpr int kImageWaitIP = 1;
// Header marks: the sort column ascending, and descending.
inline constexpr int kMarkAscending = 0;
inline constexpr int kMarkDescending = 1;

// The text of one column of a row.
std::string DeviceColumnText(const DeviceStatus& status, int column);

// A status worth a row: the controller reports itself ready (words 0, 2
// and 3 all 1) and has an ID.
bool PassesListingTest(const DeviceStatus& status);
// Listed and with an address: the row shows the on-line image.
bool IsOnline(const DeviceStatus& status);
inline int RowImage(const DeviceStatus& status) {
    return IsOnline(status) ? kImageOnline : kImageWaitIP;
}

// Locale-aware, case-insensitive text order (<0, 0, >0).
int CompareText(const std::string& a, const std::string& b);
// The signed comparison of two rows by a column. Firmware and address are
// wrapping 32-bit differences; the address is read as the little-endian
// integer it is stored as, so this is not dotted-decimal order.
int CompareDevices(const DeviceStatus& a, const DeviceStatus& b, int column);
// Whether a row with comparison d against another goes before it.
inline bool GoesBefore(int d, bool ascending) {
    return ascending ? d < 0 : d > 0;
}

// What the list's views are told, so that they can follow its rows. Every
// Begin has its End; a view that cannot take a new row says so in
// BeginInsertRow, and the row is then not added.
class DeviceListObserver {
public:
    virtual ~DeviceListObserver() = default;
    virtual bool BeginInsertRow(int row) = 0;
    virtual void EndInsertRow() = 0;
    virtual void BeginRemoveRow(int row) = 0;
    virtual void EndRemoveRow() = 0;
    virtual void RowChanged(int row) = 0;
    virtual void BeginReorder() = 0;
    // newIndex[i] is where the row that was at i now is.
    virtual void EndReorder(const std::vector<int>& newIndex) = 0;
    // The header marks: `previous` loses its mark (-1: none had one),
    // `column` shows kMarkAscending or kMarkDescending.
    virtual void SortMarkChanged(int previous, int column, int mark) = 0;
};

class DeviceList {
public:
    // What one status did to the list.
    enum class Outcome {
        Ignored,    // no row and not worth one
        Seen,       // equal to its row: only marked as seen
        Added,      // a new row
        Rewritten,  // its row took the new values
        Removed,    // its row was deleted: the status fails the listing test
        NoMemory,   // the row's data could not be made
        NoRow,      // the view could not take the row
    };
    struct UpdateResult {
        Outcome outcome = Outcome::Ignored;
        int row = -1;  // the row's index after the update, -1 when it has none
    };

    explicit DeviceList(DeviceListObserver* observer = nullptr);
    ~DeviceList();
    DeviceList(const DeviceList&) = delete;
    DeviceList& operator=(const DeviceList&) = delete;

    void SetObserver(DeviceListObserver* observer) { observer_ = observer; }

    // One status report.
    UpdateResult Update(const DeviceStatus& status);
    // The list timer: rows seen since the last tick are kept (and their mark
    // cleared), the others are deleted. Returns how many were deleted.
    int TimerTick();
    // A click on a column header: on the sort column it turns the order
    // round, another column becomes the sort column with the order kept.
    void HeaderClicked(int column);
    // Tells the observer the current header mark.
    void ShowSortMark();
    // Sorts every row by the sort column and order.
    void Sort();
    // Deletes every row (and its data).
    void Clear();

    int Count() const { return static_cast<int>(rows_.size()); }
    const DeviceRow& Row(int row) const { return *rows_[static_cast<size_t>(row)]; }
    // The first row, in display order, of a controller; -1 when it has none.
    int Find(uint32_t deviceId) const;
    int SortColumn() const { return sortColumn_; }
    bool Ascending() const { return ascending_; }
    int SortMark() const { return ascending_ ? kMarkAscending : kMarkDescending; }

private:
    void RemoveRow(int row);

    DeviceListObserver* observer_;
    std::vector<std::unique_ptr<DeviceRow>> rows_;  // display order
    bool ascending_ = false;
    int sortColumn_ = kColumnStatus;
    int markedColumn_ = -1;
};

}  // namespace discovery
