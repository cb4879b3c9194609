#include "overview/ui/overview_pane.h"

#include <QHeaderView>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace overview::ui {

namespace {

// A row that needs the operator stands out even in a long table: red with
// white text, as its panel's tab.
const QColor kAlarmBackground(200, 30, 30);
const QColor kAlarmText(Qt::white);

}  // namespace

OverviewPane::OverviewPane(QWidget* parent) : QWidget(parent) {
    setWindowTitle(QString::fromLatin1(kOverviewTitle));
    setObjectName(QStringLiteral("overviewPane"));
    table_ = new QTableWidget(0, overview::kColumnCount, this);
    table_->setObjectName(QStringLiteral("overviewTable"));
    QStringList titles;
    for (int c = 0; c < overview::kColumnCount; ++c)
        titles << tr(overview::ColumnTitle(static_cast<overview::Column>(c)));
    table_->setHorizontalHeaderLabels(titles);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->verticalHeader()->setVisible(false);
    table_->setAlternatingRowColors(true);
    // Qt's own sorting would compare the texts; the order is ours.
    table_->setSortingEnabled(false);
    auto* header = table_->horizontalHeader();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    header->setSortIndicator(static_cast<int>(sortColumn_), Qt::AscendingOrder);
    header->setStretchLastSection(true);
    header->setSectionResizeMode(QHeaderView::Interactive);
    connect(header, &QHeaderView::sectionClicked, this, &OverviewPane::OnHeaderClicked);
    connect(table_, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
        if (row >= 0 && row < static_cast<int>(order_.size()))
            emit controllerActivated(order_[static_cast<size_t>(row)]);
    });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(table_);
}

void OverviewPane::SetRow(const overview::ControllerRow& row) {
    rows_[row.key] = row;
    Refresh(row.key);
}

bool OverviewPane::RemoveRow(int key) {
    if (rows_.erase(key) == 0)
        return false;
    Refresh(key);
    return true;
}

void OverviewPane::Clear() {
    rows_.clear();
    order_.clear();
    table_->setRowCount(0);
}

void OverviewPane::SortBy(overview::Column column, bool ascending) {
    sortColumn_ = column;
    ascending_ = ascending;
    table_->horizontalHeader()->setSortIndicator(
        static_cast<int>(column), ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    Refresh(-1);
}

void OverviewPane::OnHeaderClicked(int section) {
    const auto column = static_cast<overview::Column>(section);
    SortBy(column, column == sortColumn_ ? !ascending_ : true);
}

void OverviewPane::Refresh(int changedKey) {
    std::vector<overview::ControllerRow> sorted;
    sorted.reserve(rows_.size());
    for (const auto& [key, row] : rows_) sorted.push_back(row);
    overview::SortRows(sorted, sortColumn_, ascending_);

    // Keep the selected controller selected whatever moved.
    int selectedKey = -1;
    const int current = table_->currentRow();
    if (current >= 0 && current < static_cast<int>(order_.size()))
        selectedKey = order_[static_cast<size_t>(current)];

    std::vector<int> order;
    order.reserve(sorted.size());
    for (const auto& r : sorted) order.push_back(r.key);
    const bool moved = order != order_;
    table_->setRowCount(static_cast<int>(order.size()));
    for (size_t i = 0; i < sorted.size(); ++i) {
        // Sixteen controllers at ten packets a second: refill only what changed.
        const bool placeChanged = i >= order_.size() || order_[i] != order[i];
        if (placeChanged || sorted[i].key == changedKey)
            FillRow(static_cast<int>(i), sorted[i]);
    }
    order_ = std::move(order);
    if (moved && selectedKey >= 0) {
        auto it = std::find(order_.begin(), order_.end(), selectedKey);
        if (it != order_.end())
            table_->setCurrentCell(static_cast<int>(it - order_.begin()),
                                   std::max(0, table_->currentColumn()));
        else
            table_->clearSelection();
    }
}

void OverviewPane::FillRow(int tableRow, const overview::ControllerRow& row) {
    for (int c = 0; c < overview::kColumnCount; ++c) {
        const auto column = static_cast<overview::Column>(c);
        auto* item = table_->item(tableRow, c);
        if (!item) {
            item = new QTableWidgetItem;
            table_->setItem(tableRow, c, item);
        }
        item->setText(QString::fromStdString(overview::CellText(row, column)));
        const bool number =
            column == overview::Column::Temperature || column == overview::Column::Setpoint ||
            column == overview::Column::Elapsed || column == overview::Column::Remaining;
        item->setTextAlignment(number ? (Qt::AlignRight | Qt::AlignVCenter)
                                      : (Qt::AlignLeft | Qt::AlignVCenter));
        if (row.needsOperator) {
            item->setBackground(kAlarmBackground);
            item->setForeground(kAlarmText);
        } else {
            item->setData(Qt::BackgroundRole, QVariant());
            item->setData(Qt::ForegroundRole, QVariant());
        }
    }
}

}  // namespace overview::ui
