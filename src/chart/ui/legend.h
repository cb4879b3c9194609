#pragma once
// One translucent label box of the chart control: a table of cells with a
// title, laid out and drawn into an image of its own that is rebuilt only
// when the box is dirty, then copied onto each frame; and the hit test that
// finds the cell under a point. LabelBoxes fills and places the four boxes.
//
// Window thread only.

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPoint>
#include <QRect>

#include <cstdint>
#include <string>
#include <vector>

class QPainter;

namespace chart::ui {

// A matrix of cells stored row by row: cell (row, column) at row * columns + column.
template <class T>
class Matrix2D {
public:
    virtual ~Matrix2D() = default;

    // Discards every cell and makes columns x rows cells in their initial state.
    void Resize(int columns, int rows) {
        columns_ = columns < 0 ? 0 : columns;
        rows_ = rows < 0 ? 0 : rows;
        cells_.assign(static_cast<size_t>(columns_) * static_cast<size_t>(rows_), T{});
    }
    // Lowers the row count to the rows actually filled (never raises it).
    void SetRowCount(int rows) {
        if (rows >= 0 && rows < rows_) {
            rows_ = rows;
            cells_.resize(static_cast<size_t>(columns_) * static_cast<size_t>(rows_));
        }
    }
    int Columns() const { return columns_; }
    int Rows() const { return rows_; }
    T& At(int row, int column) { return cells_[Index(row, column)]; }
    const T& At(int row, int column) const { return cells_[Index(row, column)]; }

private:
    size_t Index(int row, int column) const {
        return static_cast<size_t>(row) * static_cast<size_t>(columns_) +
               static_cast<size_t>(column);
    }

    int columns_ = 0;
    int rows_ = 0;
    std::vector<T> cells_;
};

enum LabelKind : int { kLabelText = 0, kLabelLineSample = 1, kLabelCheckBox = 2 };
enum LabelAlign : int { kAlignLeft = 0, kAlignCenter = 1, kAlignRight = 2 };

struct LegendLabel {
    int kind = kLabelText;
    uint32_t color = 0xFF000000;  // text colour, or line colour of a sample
    float penWidth = 1.0f;
    bool underline = false;  // in the box's highlight colour
    int dashStyle = 0;
    std::wstring text = L"-";
    int align = kAlignLeft;
    int textWidth = 0;  // measured by the layout
    bool checked = false;
    int column = 0;       // caller data: the legend's column index
    int chartId = 0;      // caller data: the legend row's chart
    uint32_t swatch = 0;  // a text cell's colour square before the text (0: none)
};

// Where a point falls on a box.
struct BoxHit {
    bool onBox = false;  // inside the box at all
    int row = -1;        // both >= 0 when on a cell
    int column = -1;
    bool OnCell() const { return row >= 0 && column >= 0; }
};

class Legend : public Matrix2D<LegendLabel> {
public:
    static constexpr uint32_t kBackground = 0xD0FFFFE0;
    static constexpr uint32_t kFrame = 0xA0000000;
    static constexpr uint32_t kHighlight = 0xFF0000FF;

    explicit Legend(std::wstring titleText = L"<Unknown>");

    bool dirty = true;     // content and image are rebuilt before the next drawing
    bool shown = false;    // drawn in the last paint; only shown boxes are hit
    bool visible = false;  // the user's switch (legend only)
    std::wstring title;
    // Separators, 1 pixel in the frame colour.
    bool headerLine = false;
    bool firstColumnLine = false;
    bool columnLines = false;
    bool rowLines = false;
    QFont font;

    // Lays the cells out and draws the box into its image at `devicePixelRatio`,
    // measuring text as on a device of `logicalDpi`. Clears the dirty flag.
    void Render(qreal devicePixelRatio, int logicalDpi);
    // Copies the image with its top-left at `position` (client pixels); the box
    // is then shown there.
    void DrawAt(QPainter& painter, QPoint position);

    BoxHit HitTest(QPoint client) const;

    // Image height of this box with `rows` rows, text measured as on a
    // device of `logicalDpi`.
    int ImageHeightFor(int rows, int logicalDpi) const;

    // Logical size of the image: (W + 1) x (H + 1).
    QSize ImageSize() const;
    const QImage& Image() const { return image_; }
    QPoint Position() const { return position_; }
    const std::vector<int>& ColumnWidths() const { return columnWidths_; }
    int RowHeight() const { return rowHeight_; }
    QRect BoxRect() const { return boxRect_; }
    QRect CellRect() const { return cellRect_; }

private:
    void Layout(int logicalDpi);
    void Paint(QPainter& painter) const;
    void PaintCell(QPainter& painter, const LegendLabel& cell, int x, int y, int width) const;
    void PaintSeparators(QPainter& painter) const;

    QImage image_;
    std::vector<int> columnWidths_;
    int rowHeight_ = 0;
    int titleHeight_ = 0;
    QPoint position_;
    QRect boxRect_;
    QRect cellRect_;
};

}  // namespace chart::ui
