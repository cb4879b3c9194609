#pragma once
// Shows a DeviceList in a view: four columns of texts, the row image in the
// first column, and the rows' selection kept across sorting.

#include <QAbstractTableModel>
#include <QIcon>

#include "discovery/device_list.h"

namespace discovery::ui {

class DeviceListModel : public QAbstractTableModel, public DeviceListObserver {
    Q_OBJECT
public:
    // Column widths in pixels.
    static constexpr int kColumnWidths[kDeviceListColumns] = {150, 250, 100, 100};

    explicit DeviceListModel(DeviceList& list, QObject* parent = nullptr);
    ~DeviceListModel() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // DeviceListObserver
    bool BeginInsertRow(int row) override;
    void EndInsertRow() override;
    void BeginRemoveRow(int row) override;
    void EndRemoveRow() override;
    void RowChanged(int row) override;
    void BeginReorder() override;
    void EndReorder(const std::vector<int>& newIndex) override;
    void SortMarkChanged(int previous, int column, int mark) override;

    // Qt::UserRole of a row: the controller's device ID.
    static constexpr int kDeviceIdRole = Qt::UserRole;
    // Qt::UserRole + 1 of column 0: the row image's index.
    static constexpr int kImageRole = Qt::UserRole + 1;

signals:
    void sortMarkChanged(int previous, int column, int mark);

private:
    DeviceList& list_;
    QIcon images_[2];             // the same picture when selected: state colours stay true
    QModelIndexList persistent_;  // during a reorder
};

}  // namespace discovery::ui
