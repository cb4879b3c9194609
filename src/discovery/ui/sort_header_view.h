#pragma once
// A list header that shows the sort mark as an image right of the column's
// text: a down-pointing triangle for ascending order, an up-pointing one for
// descending.

#include <QHeaderView>
#include <QIcon>
#include <QVector>

namespace discovery::ui {

class SortHeaderView : public QHeaderView {
    Q_OBJECT
public:
    explicit SortHeaderView(QWidget* parent = nullptr);

    // image: 0 ascending (down triangle), 1 descending (up triangle), -1 none.
    void SetMark(int column, int image);
    int Mark(int column) const;
    // The column showing a mark, or -1.
    int MarkedColumn() const;

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
    QSize sectionSizeFromContents(int logicalIndex) const override;

private:
    QIcon images_[2];
    QVector<int> marks_;
};

}  // namespace discovery::ui
