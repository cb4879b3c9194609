#pragma once
// The "Overview" pane: one row per connected controller in a table sorted by
// the column whose header was clicked last. A row is red while its alarm
// waits for the operator; a double-click asks for the controller's panel.

#include <QWidget>

#include <map>
#include <vector>

#include "overview/controller_row.h"

class QTableWidget;

namespace overview::ui {

// The title of the pane and of the dock the shell puts it in.
inline constexpr char kOverviewTitle[] = "Overview";

class OverviewPane : public QWidget {
    Q_OBJECT
public:
    explicit OverviewPane(QWidget* parent = nullptr);

    // Adds the controller's row, or replaces it when its key is known.
    void SetRow(const overview::ControllerRow& row);
    // False when no row has the key.
    bool RemoveRow(int key);
    void Clear();

    // Sorts as a click on the column's header would (a second click turns
    // the direction); new and changed rows keep to the order.
    void SortBy(overview::Column column, bool ascending);
    overview::Column SortColumn() const { return sortColumn_; }
    bool SortAscending() const { return ascending_; }

    int RowCount() const { return static_cast<int>(rows_.size()); }
    // The keys top to bottom, as shown.
    std::vector<int> KeysInOrder() const { return order_; }
    QTableWidget* Table() const { return table_; }

signals:
    void controllerActivated(int key);

private:
    void OnHeaderClicked(int section);
    // Puts the rows in order; refills only the rows whose key moved.
    void Refresh(int changedKey);
    void FillRow(int tableRow, const overview::ControllerRow& row);

    QTableWidget* table_ = nullptr;
    std::map<int, overview::ControllerRow> rows_;
    std::vector<int> order_;  // keys as shown
    overview::Column sortColumn_ = overview::Column::Device;
    bool ascending_ = true;
};

}  // namespace overview::ui
