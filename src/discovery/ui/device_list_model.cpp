#include "discovery/ui/device_list_model.h"

#include "discovery/ui/device_icons.h"

namespace discovery::ui {

namespace {

const char* const kColumnTitles[kDeviceListColumns] = {"Status", "Name", "Firmware", "Device IP"};

}  // namespace

DeviceListModel::DeviceListModel(DeviceList& list, QObject* parent)
    : QAbstractTableModel(parent), list_(list) {
    images_[0] = DeviceIcon(IDI_DEVICE_ONLINE);
    images_[1] = DeviceIcon(IDI_DEVICE_WAIT_IP);
    list_.SetObserver(this);
}

DeviceListModel::~DeviceListModel() {
    list_.SetObserver(nullptr);
}

int DeviceListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : list_.Count();
}

int DeviceListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kDeviceListColumns;
}

QVariant DeviceListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= list_.Count())
        return QVariant();
    const DeviceStatus& row = list_.Row(index.row()).status;
    switch (role) {
        case Qt::DisplayRole:
            return QString::fromStdString(DeviceColumnText(row, index.column()));
        case Qt::DecorationRole:
            if (index.column() == kColumnStatus)
                return images_[RowImage(row)];
            return QVariant();
        case Qt::TextAlignmentRole:
            return QVariant(Qt::AlignLeft | Qt::AlignVCenter);
        case kDeviceIdRole:
            return QVariant::fromValue(row.deviceId);
        case kImageRole:
            if (index.column() == kColumnStatus)
                return RowImage(row);
            return QVariant();
        default:
            return QVariant();
    }
}

QVariant DeviceListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kDeviceListColumns)
        return QVariant();
    if (role == Qt::DisplayRole)
        return QString::fromLatin1(kColumnTitles[section]);
    if (role == Qt::TextAlignmentRole)
        return QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    return QVariant();
}

bool DeviceListModel::BeginInsertRow(int row) {
    beginInsertRows(QModelIndex(), row, row);
    return true;
}

void DeviceListModel::EndInsertRow() {
    endInsertRows();
}

void DeviceListModel::BeginRemoveRow(int row) {
    beginRemoveRows(QModelIndex(), row, row);
}

void DeviceListModel::EndRemoveRow() {
    endRemoveRows();
}

void DeviceListModel::RowChanged(int row) {
    emit dataChanged(index(row, 0), index(row, kDeviceListColumns - 1));
}

void DeviceListModel::BeginReorder() {
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    persistent_ = persistentIndexList();
}

void DeviceListModel::EndReorder(const std::vector<int>& newIndex) {
    // Selection and focus stay with their rows.
    QModelIndexList moved;
    moved.reserve(persistent_.size());
    for (const QModelIndex& old : persistent_) {
        const int from = old.row();
        const int to = from >= 0 && from < static_cast<int>(newIndex.size())
                           ? newIndex[static_cast<size_t>(from)]
                           : from;
        moved << index(to, old.column());
    }
    changePersistentIndexList(persistent_, moved);
    persistent_.clear();
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void DeviceListModel::SortMarkChanged(int previous, int column, int mark) {
    emit sortMarkChanged(previous, column, mark);
}

}  // namespace discovery::ui
