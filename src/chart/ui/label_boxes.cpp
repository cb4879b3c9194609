#include "chart/ui/label_boxes.h"

#include <QPaintDevice>
#include <QPainter>

#include <algorithm>
#include <optional>

#include "chart/chart_statistics.h"
#include "chart/ui/chart_font.h"

namespace chart::ui {

namespace {

constexpr uint32_t kCellText = 0xA0000000;
constexpr int kEdgeGap = 15;  // from the right edge
constexpr int kBoxGap = 25;   // above, between and below the boxes

TUPLE_LABEL ValueCell(std::wstring text) {
    TUPLE_LABEL cell;
    cell.color = kCellText;
    cell.text = std::move(text);
    return cell;
}

TUPLE_LABEL HeaderCell(std::wstring text) {
    TUPLE_LABEL cell = ValueCell(std::move(text));
    cell.align = kAlignCenter;
    return cell;
}

// The chart's name in its colour, never fainter than half opaque.
TUPLE_LABEL ChartLabelCell(const chart::CChartSeries& s) {
    TUPLE_LABEL cell;
    cell.text = s.name;
    cell.color = std::max(s.color & 0xFF000000u, 0x80000000u) | (s.color & 0x00FFFFFFu);
    cell.penWidth = s.penWidth;
    cell.dashStyle = s.dashStyle;
    return cell;
}

void FillValue(CLegendWnd& box, int row, int column, const chart::ValueFormatter& format,
               const std::optional<double>& value) {
    box.At(row, column) = ValueCell(value ? format(*value) : L"-");
}

void AllSeparators(CLegendWnd& box) {
    box.headerLine = box.firstColumnLine = box.columnLines = box.rowLines = true;
}

std::vector<const chart::CChartSeries*> VisibleWithPoints(const chart::CChartContainerModel& m) {
    std::vector<const chart::CChartSeries*> rows;
    for (const auto& [id, s] : m.Charts()) {
        if (s->visible && s->HasPoints())
            rows.push_back(s.get());
    }
    return rows;
}

}  // namespace

std::vector<const chart::CChartSeries*> LabelRowCharts(const chart::CChartContainerModel& model) {
    if (model.SelectedIds().empty())
        return VisibleWithPoints(model);
    std::vector<const chart::CChartSeries*> rows;
    for (int id : model.SelectedIds()) {
        if (const chart::CChartSeries* s = model.FindChart(id))
            rows.push_back(s);
    }
    return rows;
}

void FillSelectionBox(CLegendWnd& box, const chart::ValueFormatter& x, double start, double end) {
    box.Resize(3, 2);
    box.At(0, 0) = HeaderCell(L"Start");
    box.At(0, 1) = HeaderCell(L"End");
    box.At(0, 2) = HeaderCell(L"Delta");
    box.At(1, 0) = ValueCell(x(start));
    box.At(1, 1) = ValueCell(x(end));
    box.At(1, 2) = ValueCell(x(end - start));
    AllSeparators(box);
}

void FillStatisticsBox(CLegendWnd& box, const chart::CChartContainerModel& model, double start,
                       double end) {
    static const wchar_t* const kHeaders[] = {L"Chart", L"Start", L"End", L"Delta",  L"dv/dt",
                                              L"Min",   L"Max",   L"Avg", L"Surface"};
    box.Resize(9, static_cast<int>(model.Charts().size()) + 1);
    for (int c = 0; c < 9; ++c) box.At(0, c) = HeaderCell(kHeaders[c]);
    const chart::ValueFormatter& y = model.YValueFormatter();
    int row = 1;
    for (const chart::CChartSeries* s : LabelRowCharts(model)) {
        const chart::ChartStatistics st = chart::ComputeChartStatistics(*s, start, end);
        box.At(row, 0) = ChartLabelCell(*s);
        int c = 1;
        for (const auto* v :
             {&st.start, &st.end, &st.delta, &st.dvdt, &st.min, &st.max, &st.avg, &st.surface}) {
            FillValue(box, row, c++, y, *v);
        }
        ++row;
    }
    box.SetRowCount(row);
    AllSeparators(box);
}

void FillTrackingBox(CLegendWnd& box, const chart::CChartContainerModel& model, double x,
                     double y) {
    box.Resize(2, static_cast<int>(model.Charts().size()));
    box.title =
        L"Mouse at [" + model.XValueFormatter()(x) + L", " + model.YValueFormatter()(y) + L"]";
    int row = 0;
    for (const chart::CChartSeries* s : LabelRowCharts(model)) {
        box.At(row, 0) = ChartLabelCell(*s);
        FillValue(box, row, 1, model.YValueFormatter(), chart::ChartValueAt(*s, x));
        ++row;
    }
    box.SetRowCount(row);
    AllSeparators(box);
}

void FillLegend(CLegendWnd& box, const chart::CChartContainerModel& model, int hoveredChart) {
    box.Resize(4, static_cast<int>(model.Charts().size()));
    int row = 0;
    for (const chart::CChartSeries* s : VisibleWithPoints(model)) {
        const TUPLE_LABEL label = ChartLabelCell(*s);
        TUPLE_LABEL cells[4];
        cells[0].kind = kLabelCheckBox;
        cells[1] = label;
        cells[1].kind = kLabelLineSample;
        cells[2] = label;
        cells[3] = label;
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

CLabelBoxes::CLabelBoxes()
    : tracking_(L"<Unknown>"),
      selection_(L"Selection (X)"),
      statistics_(L"Selection Statistics (Y)"),
      legend_(L"Legend") {}

void CLabelBoxes::MarkDirty(unsigned redrawFlags) {
    if (redrawFlags & chart::kRedrawSelectionBox)
        selection_.dirty = true;
    if (redrawFlags & chart::kRedrawStatisticsBox)
        statistics_.dirty = true;
    if (redrawFlags & chart::kRedrawTrackingBox)
        tracking_.dirty = true;
    if (redrawFlags & chart::kRedrawLegend)
        legend_.dirty = true;
}

void CLabelBoxes::SetFont(const QFont& font) {
    for (CLegendWnd* box : {&tracking_, &selection_, &statistics_, &legend_}) {
        box->font = font;
        box->dirty = true;
    }
}

void CLabelBoxes::RenderIfDirty(QPainter& frame, CLegendWnd& box) {
    const QPaintDevice* device = frame.device();
    const qreal dpr = device ? device->devicePixelRatioF() : 1.0;
    // An image made at another ratio would be blurred or too big.
    if (!box.dirty && box.Image().devicePixelRatio() == dpr)
        return;
    const chart::CChartContainerModel& model = *last_.model;
    if (&box == &tracking_)
        FillTrackingBox(box, model, last_.trackX, last_.trackY);
    if (&box == &selection_) {
        FillSelectionBox(box, model.XValueFormatter(), last_.selectionStart, last_.selectionEnd);
    }
    if (&box == &statistics_) {
        FillStatisticsBox(box, model, last_.selectionStart, last_.selectionEnd);
    }
    if (&box == &legend_)
        FillLegend(box, model, hoveredChart_);
    box.Render(dpr, device ? device->logicalDpiY() : 0);
}

void CLabelBoxes::Place(QPainter& frame, CLegendWnd& box, QPoint position) {
    box.DrawAt(frame, position);
}

void CLabelBoxes::Hide() {
    for (CLegendWnd* box : {&tracking_, &selection_, &statistics_, &legend_}) box->shown = false;
}

void CLabelBoxes::Paint(QPainter& frame, const LabelBoxContext& context) {
    Hide();
    if (!context.model)
        return;
    last_ = context;
    const chart::CChartContainerModel& model = *context.model;
    const int right = context.client.width() - kEdgeGap;
    int y = kBoxGap;
    auto stack = [&](CLegendWnd& box) {
        RenderIfDirty(frame, box);
        Place(frame, box, QPoint(right - box.ImageSize().width(), y));
        y += box.ImageSize().height() + kBoxGap;
    };
    if (context.tracking)
        stack(tracking_);
    if (context.selectionExists) {
        stack(selection_);
        if (!model.Charts().empty())
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

LabelBoxHit CLabelBoxes::HitTest(QPoint client) const {
    const std::pair<const CLegendWnd*, LabelBox> boxes[] = {
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

LabelPress CLabelBoxes::OnLeftPress(QPoint client, const chart::CChartContainerModel& model) const {
    const LabelBoxHit hit = HitTest(client);
    switch (hit.box) {
        case LabelBox::kNone:
            return {};
        case LabelBox::kLegend: {
            // Outside its cells the legend lets the press through to the chart beneath.
            if (hit.chartId < 0)
                return {};
            const chart::CChartSeries* s = model.FindChart(hit.chartId);
            return {true, hit.chartId, s ? !s->selected : false};
        }
        default:
            return {true, -1, false};
    }
}

bool CLabelBoxes::BlocksDoubleClick(QPoint client) const {
    return HitTest(client).box != LabelBox::kNone;
}

LabelHover CLabelBoxes::OnHover(QPoint client, const chart::CChartContainerModel& model) {
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
