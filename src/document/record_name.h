#pragma once
// The names of bake records in the records folder. A record is named after
// the local time its bake began, bake-YYYYMMDD-HHMMSS.tvr, so that the two
// records of one bake (before and after a dropped link) carry the same time
// and sort next to each other. The controller's clock is not a wall clock:
// the bake's local start is worked out from the moment the record opened and
// how long before that, in controller milliseconds, the controller says the
// bake began. A finished record never replaces a file that is already there.
//
// Any thread; the functions touch nothing but their arguments and, for
// PublishRecordFile, the file system.

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <string>

namespace document {

// The local time the bake began. `opened` is the local time the record
// opened, `openedAtMs` the controller time at that moment (the record's
// x = 0) and `reportedStartMs` the controller's own start of the running
// bake (its profile report). Unknown (0) or later than the opening: `opened`.
QDateTime BakeStartLocalTime(const QDateTime& opened, uint64_t openedAtMs,
                             uint64_t reportedStartMs);

// bake-YYYYMMDD-HHMMSS.tvr of a local time; with a controller named,
// bake-YYYYMMDD-HHMMSS-DEVICE.tvr (the device made safe by RecordDeviceTag),
// so that the records of several controllers that began in the same second
// say whose they are.
QString RecordFileName(const QDateTime& bakeStart, const QString& device = {});

// A controller's device ID or address as it may stand in a file name:
// letters, digits, '.' and '_' kept, anything else '_'.
QString RecordDeviceTag(const QString& device);

// The time in a record file name made by RecordFileName, also with a device
// and with the "-2", "-3", ... of a clash; invalid for any other name.
QDateTime RecordFileTime(const QString& fileName);

// Moves the finished file `source` into `folder` under `fileName`, or under
// the next free name of a clash, without ever replacing a file that is
// there, even one that appears meanwhile. The path taken, or empty with
// `error` set (the source is then left where it was).
QString PublishRecordFile(const QString& source, const QString& folder, const QString& fileName,
                          std::wstring& error);

}  // namespace document
