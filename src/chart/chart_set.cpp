#include "chart/chart_set.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <optional>
#include <string>
#include <utility>

namespace chart {

std::wstring DefaultValueFormatter(double value) {
    char buf[64];
    // to_chars formats as printf does in the C locale, whatever locale the
    // program runs in.
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 3);
    return std::wstring(buf, r.ptr);
}

namespace {

std::wstring Widen(const char* from, const char* to) {
    return std::wstring(from, to);
}

// Decimals that show every multiple of `step` exactly (0.25 -> 2, 50 -> 0),
// at most kMaxDecimals.
constexpr int kMaxDecimals = 15;

int DecimalsOf(double step) {
    double scaled = step;
    for (int d = 0; d < kMaxDecimals; ++d, scaled *= 10) {
        if (std::abs(scaled - std::round(scaled)) <= 1e-9 * scaled)
            return d;
    }
    return kMaxDecimals;
}

// None, or the default formatter handed back in.
bool IsDefault(const ValueFormatter& formatter) {
    using Plain = std::wstring (*)(double);
    const Plain* target = formatter ? formatter.target<Plain>() : nullptr;
    return !formatter || (target && *target == &DefaultValueFormatter);
}

// The first number in a formatter's text: where it lies, its decimals, and
// whether it has an exponent.
struct NumberInText {
    size_t begin = 0;
    size_t end = 0;
    int decimals = 0;
    bool scientific = false;
    double value = 0;
};

bool IsDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

std::optional<NumberInText> FindNumber(const std::wstring& text) {
    size_t i = 0;
    while (i < text.size() && !IsDigit(text[i])) ++i;
    if (i == text.size())
        return std::nullopt;
    NumberInText n;
    n.begin = i > 0 && (text[i - 1] == L'-' || text[i - 1] == L'+') ? i - 1 : i;
    while (i < text.size() && IsDigit(text[i])) ++i;
    if (i < text.size() && text[i] == L'.') {
        ++i;
        while (i < text.size() && IsDigit(text[i])) {
            ++i;
            ++n.decimals;
        }
    }
    if (i < text.size() && (text[i] == L'e' || text[i] == L'E')) {
        size_t j = i + 1;
        if (j < text.size() && (text[j] == L'-' || text[j] == L'+'))
            ++j;
        if (j < text.size() && IsDigit(text[j])) {
            n.scientific = true;
            while (j < text.size() && IsDigit(text[j])) ++j;
            i = j;
        }
    }
    n.end = i;
    std::string narrow(text.begin() + static_cast<std::ptrdiff_t>(n.begin),
                       text.begin() + static_cast<std::ptrdiff_t>(n.end));
    if (!narrow.empty() && narrow[0] == '+')
        narrow.erase(0, 1);
    std::from_chars(narrow.data(), narrow.data() + narrow.size(), n.value);
    return n;
}

// Fixed notation stays readable below ten million, down to millionths and up
// to ten digits.
constexpr double kFixedLimit = 1e7;
constexpr int kMaxFixedDecimals = 6;
constexpr int kMaxFixedDigits = 10;

// A grid label at `value` for grid lines `step` apart, with at least
// `minDecimals` decimals where fixed notation is used.
std::wstring FormatTick(double value, double step, int minDecimals) {
    if (!(step > 0) || !std::isfinite(step) || !std::isfinite(value))
        return DefaultValueFormatter(value);
    // Grid values are multiples of the step; what is left over is rounding.
    if (std::abs(value) < step * 1e-9)
        value = 0;
    char buf[64];
    const int decimals = std::max(DecimalsOf(step), minDecimals);
    const double magnitude = std::abs(value);
    const int intDigits =
        magnitude < 1 ? 1 : static_cast<int>(std::floor(std::log10(magnitude))) + 1;
    if (magnitude < kFixedLimit && decimals <= kMaxFixedDecimals &&
        intDigits + decimals <= kMaxFixedDigits) {
        const auto r =
            std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
        return Widen(buf, r.ptr);
    }
    // Significant digits from the value's leading digit down to the step's
    // last one.
    const int stepExponent = static_cast<int>(std::floor(std::log10(step)));
    const int stepDigits = DecimalsOf(step / std::pow(10.0, stepExponent)) + 1;
    const int valueExponent =
        magnitude > 0 ? static_cast<int>(std::floor(std::log10(magnitude))) : stepExponent;
    const int digits = std::clamp(valueExponent - stepExponent + stepDigits, 1, 17);
    const auto r =
        std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, digits - 1);
    return Widen(buf, r.ptr);
}

// The formatter's text, with its number given the decimals the step needs
// where it has fewer: a view's formatter may show three decimals, or round
// small values to "0", and neighbouring grid lines must not read alike.
std::wstring TickLabel(const ValueFormatter& formatter, double value, double step) {
    if (IsDefault(formatter))
        return FormatTickValue(value, step);
    std::wstring text = formatter(value);
    if (!(step > 0) || !std::isfinite(step) || !std::isfinite(value))
        return text;
    const std::optional<NumberInText> number = FindNumber(text);
    if (!number)
        return text;  // no number to mend
    std::wstring digits;
    if (number->scientific) {
        // Its own digits are enough when they show the value to well within
        // a step.
        if (std::abs(number->value - value) <= step * 1e-6)
            return text;
        digits = FormatTickValue(value, step);
    } else {
        if (number->decimals >= DecimalsOf(step))
            return text;
        // As many decimals as the formatter gives near this value: the text
        // of zero ("0") says less than that of its neighbours ("0.500").
        int minDecimals = number->decimals;
        if (const auto near = FindNumber(formatter(std::abs(value) < step ? step : value));
            near && !near->scientific) {
            minDecimals = std::max(minDecimals, near->decimals);
        }
        digits = FormatTick(value, step, minDecimals);
    }
    return text.substr(0, number->begin) + digits + text.substr(number->end);
}

}  // namespace

std::wstring FormatTickValue(double value, double step) {
    return FormatTick(value, step, 0);
}

ChartSet::ChartSet() : xFormatter_(DefaultValueFormatter), yFormatter_(DefaultValueFormatter) {}

int ChartSet::NextId() const {
    if (charts_.empty())
        return 0;
    const int last = charts_.rbegin()->first;
    return last == INT_MAX ? -1 : last + 1;
}

void ChartSet::Redraw(unsigned flags) {
    for (const auto& [id, listener] : listeners_) listener(flags);
}

RedrawListenerId ChartSet::AddRedrawListener(RedrawListener listener) {
    const RedrawListenerId id = ++lastListenerId_;
    if (listener)
        listeners_.emplace(id, std::move(listener));
    return id;
}

void ChartSet::RemoveRedrawListener(RedrawListenerId id) {
    listeners_.erase(id);
}

void ChartSet::RedrawAll() {
    Redraw(kRedrawBackground | kRedrawSelectionBox | kRedrawStatisticsBox | kRedrawTrackingBox |
           LegendIfShown());
}

int ChartSet::AddChart(std::span<const ChartPoint> points, const std::wstring& name,
                       const std::wstring& yLabel, int dashStyle, float penWidth, float tension,
                       uint32_t color) {
    const int id = NextId();
    if (id < 0)
        return -1;
    auto series = std::make_unique<ChartSeries>();
    series->id = id;
    if (name.empty()) {
        series->name = L"Chart_" + std::to_wstring(id);
    } else {
        series->name = name.size() > kMaxNameLength ? name.substr(0, 15) + L"..." : name;
        if (FindChartByName(series->name))
            series->name += L"_" + std::to_wstring(id);
    }
    series->yLabel = yLabel.empty() ? L"Y" : yLabel;
    series->dashStyle = dashStyle;
    series->penWidth = penWidth;
    series->tension = tension;
    series->color = color;
    series->SetPoints(points);
    charts_.emplace(id, std::move(series));
    Redraw(kRedrawBackground | LegendIfShown());
    return id;
}

bool ChartSet::AppendChartPoints(int id, std::span<const ChartPoint> points) {
    ChartSeries* series = FindChart(id);
    if (!series || !series->AppendPoints(points))
        return false;
    Redraw(kRedrawSelectionBox | kRedrawStatisticsBox | kRedrawBackground | kRedrawPointsAppended);
    return true;
}

void ChartSet::ClearChartPoints(int id) {
    ChartSeries* series = FindChart(id);
    if (!series)
        return;
    series->ClearPoints();
    RedrawAll();
}

ChartSeries* ChartSet::FindChart(int id) {
    const auto it = charts_.find(id);
    return it == charts_.end() ? nullptr : it->second.get();
}

const ChartSeries* ChartSet::FindChart(int id) const {
    const auto it = charts_.find(id);
    return it == charts_.end() ? nullptr : it->second.get();
}

ChartSeries* ChartSet::FindChartByName(const std::wstring& name) {
    for (auto& [id, series] : charts_) {
        if (series->name == name)
            return series.get();
    }
    return nullptr;
}

const ChartSeries* ChartSet::GetVisibleChart(int id) const {
    auto usable = [](const ChartSeries& s) { return s.visible && s.HasPoints(); };
    if (id == -1) {
        for (const auto& [key, series] : charts_) {
            if (usable(*series))
                return series.get();
        }
        return nullptr;
    }
    const ChartSeries* series = FindChart(id);
    return series && usable(*series) ? series : nullptr;
}

ChartSeries* ChartSet::GetVisibleChart(int id) {
    return const_cast<ChartSeries*>(std::as_const(*this).GetVisibleChart(id));
}

void ChartSet::GetChartIds(std::set<int>& ids) const {
    ids.clear();
    for (const auto& [id, series] : charts_) ids.insert(id);
}

void ChartSet::GetSelectedChartIds(std::set<int>& ids) const {
    ids.clear();
    for (const auto& [id, series] : charts_) {
        if (series->selected)
            ids.insert(id);
    }
}

void ChartSet::SetChartSelected(int id, bool selected) {
    if (ChartSeries* series = GetVisibleChart(id)) {
        series->selected = selected;
        if (selected) {
            selectedIds_.insert(series->id);
        } else {
            selectedIds_.erase(series->id);
        }
    }
    RedrawAll();
}

int ChartSet::ToggleChartVisibility(int id) {
    ChartSeries* series = FindChart(id);
    if (!series)
        return -1;
    series->visible = !series->visible;
    if (!series->visible && series->selected) {
        series->selected = false;
        selectedIds_.erase(id);
    }
    Redraw(LegendIfShown() | kRedrawSelectionBox | kRedrawStatisticsBox);
    return series->visible ? 1 : 0;
}

bool ChartSet::HasChartData() const {
    for (const auto& [id, series] : charts_) {
        if (series->HasPoints())
            return true;
    }
    return false;
}

void ChartSet::SetXValueFormatter(ValueFormatter formatter) {
    // An empty function would fail at the first value shown.
    xFormatter_ = formatter ? std::move(formatter) : DefaultValueFormatter;
    Redraw(kRedrawBackground | LegendIfShown());
}

void ChartSet::SetYValueFormatter(ValueFormatter formatter) {
    yFormatter_ = formatter ? std::move(formatter) : DefaultValueFormatter;
    Redraw(kRedrawBackground | LegendIfShown());
}

std::wstring ChartSet::XTickLabel(double value, double step) const {
    return TickLabel(xFormatter_, value, step);
}

std::wstring ChartSet::YTickLabel(double value, double step) const {
    return TickLabel(yFormatter_, value, step);
}

void ChartSet::SetLegendVisible(bool visible) {
    legendVisible_ = visible;
    Redraw(kRedrawLegend);
}

}  // namespace chart
