#include "chart/ui/label_boxes.h"

#include <QPaintDevice>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <optional>
#include <span>

#include "chart/chart_statistics.h"
#include "chart/ui/chart_font.h"

namespace chart::ui {

namespace {

constexpr uint32_t kCellText = 0xA0000000;
constexpr int kEdgeGap = 15;  // from the right edge
constexpr int kBoxGap = 25;   // above, between and below the boxes

LegendLabel ValueCell(std::wstring text) {
    LegendLabel cell;
    cell.color = kCellText;
    cell.text = std::move(text);
    return cell;
}

LegendLabel HeaderCell(std::wstring text) {
    LegendLabel cell = ValueCell(std::move(text));
    cell.align = kAlignCenter;
    return cell;
}

// The chart's colour, never fainter than half opaque.
uint32_t LabelColor(uint32_t argb) {
    return std::max(argb & 0xFF000000u, 0x80000000u) | (argb & 0x00FFFFFFu);
}

// The chart's name readable on the box, after a square of its colour.
LegendLabel ChartLabelCell(const chart::ChartSeries& s) {
    LegendLabel cell;
    cell.text = s.name;
    cell.color = ReadableTextColor(LabelColor(s.color));
    cell.swatch = LabelColor(s.color);
    cell.penWidth = s.penWidth;
    cell.dashStyle = s.dashStyle;
    return cell;
}

double Luminance(double r, double g, double b) {
    auto lin = [](double c) {
        c /= 255.0;
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * lin(r) + 0.7152 * lin(g) + 0.0722 * lin(b);
}

// The rows of charts past `maxRows` (counting `used` rows already taken):
// the charts that get a row, and how many are left out.
std::pair<size_t, size_t> RowsShown(size_t charts, int maxRows, int used) {
    const long long room = std::max(0LL, static_cast<long long>(maxRows) - used);
    if (static_cast<long long>(charts) <= room)
        return {charts, 0};
    const size_t shown = room > 0 ? static_cast<size_t>(room - 1) : 0;
    return {shown, charts - shown};
}

void MoreRow(Legend& box, int row, size_t more) {
    for (int c = 1; c < box.Columns(); ++c) box.At(row, c) = ValueCell(L"");
    box.At(row, 0) = ValueCell(L"+" + std::to_wstring(more) + L" more");
}

void FillValue(Legend& box, int row, int column, const chart::ValueFormatter& format,
               const std::optional<double>& value) {
    box.At(row, column) = ValueCell(value ? format(*value) : L"-");
}

void AllSeparators(Legend& box) {
    box.headerLine = box.firstColumnLine = box.columnLines = box.rowLines = true;
}

std::vector<const chart::ChartSeries*> VisibleWithPoints(const chart::ChartSet& m) {
    std::vector<const chart::ChartSeries*> rows;
    for (const auto& [id, s] : m.Charts()) {
        if (s->visible && s->HasPoints())
            rows.push_back(s.get());
    }
    return rows;
}

}  // namespace

uint32_t ReadableTextColor(uint32_t argb) {
    // The box's fill, 0xD0FFFFE0, over white.
    const double background = Luminance(255, 255, 0xE0 * 0xD0 / 255.0 + 255 * (1 - 0xD0 / 255.0));
    double r = (argb >> 16) & 0xFF, g = (argb >> 8) & 0xFF, b = argb & 0xFF;
    auto contrast = [&] { return (background + 0.05) / (Luminance(r, g, b) + 0.05); };
    if (contrast() >= 4.5)
        return argb;
    while (contrast() < 4.5) {
        r *= 0.9;
        g *= 0.9;
        b *= 0.9;
    }
    return 0xFF000000u | (static_cast<uint32_t>(r) << 16) | (static_cast<uint32_t>(g) << 8) |
           static_cast<uint32_t>(b);
}

std::vector<const chart::ChartSeries*> LabelRowCharts(const chart::ChartSet& model) {
    if (model.SelectedIds().empty())
        return VisibleWithPoints(model);
    std::vector<const chart::ChartSeries*> rows;
    for (int id : model.SelectedIds()) {
        if (const chart::ChartSeries* s = model.FindChart(id))
            rows.push_back(s);
    }
    return rows;
}

void FillSelectionBox(Legend& box, const chart::ValueFormatter& x, double start, double end) {
    box.Resize(3, 2);
    box.At(0, 0) = HeaderCell(L"Start");
    box.At(0, 1) = HeaderCell(L"End");
    box.At(0, 2) = HeaderCell(L"Delta");
    box.At(1, 0) = ValueCell(x(start));
    box.At(1, 1) = ValueCell(x(end));
    box.At(1, 2) = ValueCell(x(end - start));
    AllSeparators(box);
}

void FillStatisticsBox(Legend& box, const chart::ChartSet& model, double start, double end,
                       int maxRows) {
    static const wchar_t* const kHeaders[] = {L"Chart", L"Start", L"End", L"Delta",  L"dv/dt",
                                              L"Min",   L"Max",   L"Avg", L"Surface"};
    const std::vector<const chart::ChartSeries*> charts = LabelRowCharts(model);
    const auto [shown, more] = RowsShown(charts.size(), maxRows, 1);
    box.Resize(9, static_cast<int>(shown + (more ? 1 : 0)) + 1);
    for (int c = 0; c < 9; ++c) box.At(0, c) = HeaderCell(kHeaders[c]);
    const chart::ValueFormatter& y = model.YValueFormatter();
    int row = 1;
    for (const chart::ChartSeries* s : std::span(charts).first(shown)) {
        const chart::ChartStatistics st = chart::ComputeChartStatistics(*s, start, end);
        box.At(row, 0) = ChartLabelCell(*s);
        int c = 1;
        for (const auto* v :
             {&st.start, &st.end, &st.delta, &st.dvdt, &st.min, &st.max, &st.avg, &st.surface}) {
            FillValue(box, row, c++, y, *v);
        }
        ++row;
    }
    if (more)
        MoreRow(box, row++, more);
    box.SetRowCount(row);
    AllSeparators(box);
}

void FillTrackingBox(Legend& box, const chart::ChartSet& model, double x, double y, int maxRows) {
    const std::vector<const chart::ChartSeries*> charts = LabelRowCharts(model);
    const auto [shown, more] = RowsShown(charts.size(), maxRows, 0);
    box.Resize(2, static_cast<int>(shown + (more ? 1 : 0)));
    box.title =
        L"Mouse at [" + model.XValueFormatter()(x) + L", " + model.YValueFormatter()(y) + L"]";
    int row = 0;
    for (const chart::ChartSeries* s : std::span(charts).first(shown)) {
        box.At(row, 0) = ChartLabelCell(*s);
        FillValue(box, row, 1, model.YValueFormatter(), chart::ChartValueAt(*s, x));
        ++row;
    }
    if (more)
        MoreRow(box, row++, more);
    box.SetRowCount(row);
    AllSeparators(box);
}

void FillLegend(Legend& box, const chart::ChartSet& model, int hoveredChart) {
    // Rows for the charts it shows only: a file may hold many empty charts.
    const std::vector<const chart::ChartSeries*> shown = VisibleWithPoints(model);
    box.Resize(4, static_cast<int>(shown.size()));
    int row = 0;
    for (const chart::ChartSeries* s : shown) {
        const LegendLabel label = ChartLabelCell(*s);
        LegendLabel cells[4];
        cells[0].kind = kLabelCheckBox;
        cells[1] = label;
        cells[1].kind = kLabelLineSample;
        cells[1].color = label.swatch;  // the sample shows the chart's own colour
        cells[1].swatch = 0;
        cells[2] = cells[3] = label;
        cells[2].swatch = cells[3].swatch = 0;
        cells[3].text = s->yLabel;
        for (int c = 0; c < 4; ++c) {
            cells[c].chartId = s->id;
            cells[c].column = c;
            cells[c].checked = s->selected;
            cells[c].underline = c > 0 && s->id == hoveredChart;
            box.At(row, c) = cells[c];
        }
        ++row;
    }
    box.SetRowCount(row);
    box.headerLine = box.columnLines = box.rowLines = false;
    box.firstColumnLine = true;
}

LabelBoxes::LabelBoxes()
    : tracking_(L"<Unknown>"),
      selection_(L"Selection (X)"),
      statistics_(L"Selection Statistics (Y)"),
      legend_(L"Legend") {}

void LabelBoxes::MarkDirty(unsigned redrawFlags) {
    if (redrawFlags & chart::kRedrawSelectionBox)
        selection_.dirty = true;
    if (redrawFlags & chart::kRedrawStatisticsBox)
        statistics_.dirty = true;
    if (redrawFlags & chart::kRedrawTrackingBox)
        tracking_.dirty = true;
    if (redrawFlags & chart::kRedrawLegend)
        legend_.dirty = true;
}

void LabelBoxes::SetFont(const QFont& font) {
    for (Legend* box : {&tracking_, &selection_, &statistics_, &legend_}) {
        box->font = font;
        box->dirty = true;
    }
}

void LabelBoxes::RenderIfDirty(QPainter& frame, Legend& box) {
    const QPaintDevice* device = frame.device();
    const qreal dpr = device ? device->devicePixelRatioF() : 1.0;
    // An image made at another ratio would be blurred or too big.
    if (!box.dirty && box.Image().devicePixelRatio() == dpr)
        return;
    const chart::ChartSet& model = *last_.model;
    if (&box == &tracking_)
        FillTrackingBox(box, model, last_.trackX, last_.trackY, trackingRows_);
    if (&box == &selection_) {
        FillSelectionBox(box, model.XValueFormatter(), last_.selectionStart, last_.selectionEnd);
    }
    if (&box == &statistics_) {
        FillStatisticsBox(box, model, last_.selectionStart, last_.selectionEnd, statisticsRows_);
    }
    if (&box == &legend_)
        FillLegend(box, model, hoveredChart_);
    box.Render(dpr, device ? device->logicalDpiY() : 0);
}

void LabelBoxes::Place(QPainter& frame, Legend& box, QPoint position) {
    box.DrawAt(frame, position);
}

void LabelBoxes::Hide() {
    for (Legend* box : {&tracking_, &selection_, &statistics_, &legend_}) box->shown = false;
}

void LabelBoxes::Paint(QPainter& frame, const LabelBoxContext& context) {
    Hide();
    if (!context.model)
        return;
    last_ = context;
    const chart::ChartSet& model = *context.model;
    const int right = context.client.width() - kEdgeGap;
    FitRows(frame, context);
    int y = kBoxGap;
    auto stack = [&](Legend& box) {
        RenderIfDirty(frame, box);
        Place(frame, box, QPoint(right - box.ImageSize().width(), y));
        y += box.ImageSize().height() + kBoxGap;
    };
    if (context.tracking && trackingRows_ > 0)
        stack(tracking_);
    if (context.selectionExists && selectionFits_) {
        stack(selection_);
        if (!model.Charts().empty() && statisticsRows_ > 1)
            stack(statistics_);
    }
    if (!model.IsLegendVisible() || model.Charts().empty())
        return;
    RenderIfDirty(frame, legend_);
    const int top = context.client.height() - static_cast<int>(context.xLabelRowHeight) -
                    legend_.ImageSize().height() - kBoxGap;
    // Rather no legend than one over the boxes above it.
    if (top >= y)
        Place(frame, legend_, QPoint(right - legend_.ImageSize().width(), top));
}

// The boxes stay inside the plot: the selection box whole, the rows of the
// tracking and statistics boxes shared out between them (each gets half
// of what is short, as far as the other needs less); a box without room
// for its smallest form is left out.
void LabelBoxes::FitRows(QPainter& frame, const LabelBoxContext& context) {
    const QPaintDevice* device = frame.device();
    const int dpi = device ? device->logicalDpiY() : 0;
    const chart::ChartSet& model = *context.model;
    const bool tracking = context.tracking;
    const bool stats = context.selectionExists && !model.Charts().empty();
    const int bottom = context.client.height() - static_cast<int>(context.xLabelRowHeight);
    // Room below the first gap for boxes and the gaps between them.
    int room = bottom - kBoxGap;
    selectionFits_ = false;
    if (context.selectionExists) {
        const int h = selection_.ImageHeightFor(2, dpi);
        selectionFits_ = h <= room;
        if (selectionFits_)
            room -= h + kBoxGap;
    }
    const int empty = tracking_.ImageHeightFor(0, dpi);
    const int rowHeight = tracking_.ImageHeightFor(1, dpi) - empty;
    int boxes = (tracking ? 1 : 0) + (stats && selectionFits_ ? 1 : 0);
    const int rows = rowHeight > 0
                         ? std::max(0, (room - boxes * (empty + kBoxGap) + kBoxGap) / rowHeight)
                         : kAllRows;
    const int wantTracking = tracking ? static_cast<int>(LabelRowCharts(model).size()) : 0;
    const int wantStats =
        stats && selectionFits_ ? static_cast<int>(LabelRowCharts(model).size()) + 1 : 0;
    // First the smallest form of each, the statistics box before the
    // tracking box; then the rest shared out.
    int left = rows;
    const int minStats = std::min(wantStats, 2);
    int forStats = wantStats > 0 && left >= minStats ? minStats : 0;
    left -= forStats;
    int forTracking = wantTracking > 0 && left >= 1 ? 1 : 0;
    left -= forTracking;
    const int moreTracking = forTracking > 0 ? wantTracking - forTracking : 0;
    const int moreStats = forStats > 0 ? wantStats - forStats : 0;
    const int give = std::min(moreTracking, std::max(left / 2, left - moreStats));
    forTracking += give;
    forStats += std::min(moreStats, left - give);
    if (forTracking != trackingRows_)
        tracking_.dirty = true;
    if (forStats != statisticsRows_)
        statistics_.dirty = true;
    trackingRows_ = forTracking;
    statisticsRows_ = forStats;
}

LabelBoxHit LabelBoxes::HitTest(QPoint client) const {
    const std::pair<const Legend*, LabelBox> boxes[] = {
        {&tracking_, LabelBox::kTracking},
        {&selection_, LabelBox::kSelection},
        {&statistics_, LabelBox::kStatistics},
        {&legend_, LabelBox::kLegend},
    };
    for (const auto& [box, kind] : boxes) {
        const BoxHit hit = box->HitTest(client);
        if (!hit.onBox)
            continue;
        LabelBoxHit result{kind, hit.row, hit.column, -1};
        if (kind == LabelBox::kLegend && hit.OnCell()) {
            result.chartId = box->At(hit.row, hit.column).chartId;
        }
        return result;
    }
    return {};
}

LabelPress LabelBoxes::OnLeftPress(QPoint client, const chart::ChartSet& model) const {
    const LabelBoxHit hit = HitTest(client);
    switch (hit.box) {
        case LabelBox::kNone:
            return {};
        case LabelBox::kLegend: {
            // Outside its cells the legend lets the press through to the chart beneath.
            if (hit.chartId < 0)
                return {};
            const chart::ChartSeries* s = model.FindChart(hit.chartId);
            return {true, hit.chartId, s ? !s->selected : false};
        }
        default:
            return {true, -1, false};
    }
}

bool LabelBoxes::BlocksDoubleClick(QPoint client) const {
    return HitTest(client).box != LabelBox::kNone;
}

LabelHover LabelBoxes::OnHover(QPoint client, const chart::ChartSet& model) {
    if (!model.IsLegendVisible()) {
        // The legend switch marks it dirty when it comes back.
        hoveredChart_ = -1;
        return {};
    }
    const LabelBoxHit hit = HitTest(client);
    const int hovered = hit.box == LabelBox::kLegend ? hit.chartId : -1;
    LabelHover result{hovered != hoveredChart_, hovered >= 0};
    if (result.repaint) {
        hoveredChart_ = hovered;
        legend_.dirty = true;
    }
    return result;
}

}  // namespace chart::ui
