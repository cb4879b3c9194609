#include "discovery/ui/sort_header_view.h"

#include <QPainter>
#include <QStyle>

#include "discovery/ui/device_icons.h"

namespace discovery::ui {

SortHeaderView::SortHeaderView(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
    images_[0] = DeviceIcon(IDI_SORT_DOWN);
    images_[1] = DeviceIcon(IDI_SORT_UP);
    setSectionsClickable(true);
    setSortIndicatorShown(false);
    setHighlightSections(false);
    setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

void SortHeaderView::SetMark(int column, int image) {
    if (column < 0)
        return;
    if (marks_.size() <= column)
        marks_.resize(column + 1, -1);
    marks_[column] = image == 0 || image == 1 ? image : -1;
    viewport()->update();
}

int SortHeaderView::Mark(int column) const {
    return column >= 0 && column < marks_.size() ? marks_[column] : -1;
}

int SortHeaderView::MarkedColumn() const {
    for (int i = 0; i < marks_.size(); ++i)
        if (marks_[i] >= 0)
            return i;
    return -1;
}

void SortHeaderView::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
    painter->save();
    QHeaderView::paintSection(painter, rect, logicalIndex);
    painter->restore();
    const int image = Mark(logicalIndex);
    if (image < 0)
        return;
    const QString text =
        model() ? model()->headerData(logicalIndex, orientation()).toString() : QString();
    const int margin = style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, this);
    const int x = rect.left() + margin + fontMetrics().horizontalAdvance(text) + margin;
    const int y = rect.top() + (rect.height() - kDeviceIconSize) / 2;
    painter->save();
    painter->setClipRect(rect.adjusted(0, 0, -1, 0));
    images_[image].paint(painter, QRect(x, y, kDeviceIconSize, kDeviceIconSize));
    painter->restore();
}

QSize SortHeaderView::sectionSizeFromContents(int logicalIndex) const {
    QSize size = QHeaderView::sectionSizeFromContents(logicalIndex);
    size.setHeight(std::max(size.height(), kDeviceIconSize + 4));
    return size;
}

}  // namespace discovery::ui
