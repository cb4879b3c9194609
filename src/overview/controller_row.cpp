#include "overview/controller_row.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

namespace overview {

namespace {

constexpr char kNone[] = "\u2014";

std::string Degrees(double value) {
    if (std::isnan(value))
        return kNone;
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.1f \u00b0C", value);
    return buf;
}

std::string Duration(double seconds) {
    if (std::isnan(seconds) || seconds < 0)
        return kNone;
    const auto whole = static_cast<long long>(std::floor(seconds));
    const long long h = whole / 3600, m = whole / 60 % 60, s = whole % 60;
    char buf[48];
    if (h > 0)
        std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", h, m, s);
    else
        std::snprintf(buf, sizeof buf, "%lld:%02lld", m, s);
    return buf;
}

std::string TextOrNone(const std::string& text) {
    return text.empty() ? kNone : text;
}

// <0, 0, >0 like strcmp; digit runs compare by value, letters without case.
int CompareNatural(const std::string& a, const std::string& b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[j]);
        if (std::isdigit(ca) && std::isdigit(cb)) {
            size_t ei = i, ej = j;
            while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei]))) ++ei;
            while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej]))) ++ej;
            size_t si = i, sj = j;
            while (si + 1 < ei && a[si] == '0') ++si;  // leading zeros say nothing
            while (sj + 1 < ej && b[sj] == '0') ++sj;
            if (ei - si != ej - sj)
                return ei - si < ej - sj ? -1 : 1;
            if (int c = a.compare(si, ei - si, b, sj, ej - sj))
                return c;
            i = ei;
            j = ej;
            continue;
        }
        const int la = std::tolower(ca), lb = std::tolower(cb);
        if (la != lb)
            return la < lb ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size())
        return 1;
    if (j < b.size())
        return -1;
    return a.compare(b);  // only case or leading zeros differ: still a fixed order
}

// A column's value in one of two kinds; `known` false sorts last.
struct SortKey {
    bool known = false;
    bool isText = false;
    double number = 0;
    const std::string* text = nullptr;
};

SortKey KeyOf(const ControllerRow& r, Column column) {
    auto text = [](const std::string& t) { return SortKey{!t.empty(), true, 0, &t}; };
    auto number = [](double v) { return SortKey{!std::isnan(v), false, v, nullptr}; };
    switch (column) {
        case Column::Device:
            return text(r.device);
        case Column::Address:
            return text(r.address);
        case Column::State:
            return text(r.state);
        case Column::Temperature:
            return number(r.tempMain);
        case Column::Setpoint:
            return number(r.setpoint);
        case Column::Elapsed:
            return number(r.elapsedSeconds);
        case Column::Remaining:
            return number(r.remainingSeconds);
        case Column::Verdict:
            // A failed bake goes first: it is what the operator looks for.
            return SortKey{r.verdict != Verdict::Unknown, false,
                           r.verdict == Verdict::Fail ? 0.0 : 1.0, nullptr};
        case Column::Alarm:
            return text(r.alarm);
    }
    return {};
}

}  // namespace

const char* ColumnTitle(Column column) {
    switch (column) {
        case Column::Device:
            return "Device";
        case Column::Address:
            return "Address";
        case Column::State:
            return "State";
        case Column::Temperature:
            return "Temperature";
        case Column::Setpoint:
            return "Setpoint";
        case Column::Elapsed:
            return "Elapsed";
        case Column::Remaining:
            return "Remaining";
        case Column::Verdict:
            return "Verdict";
        case Column::Alarm:
            return "Alarm";
    }
    return "";
}

std::string CellText(const ControllerRow& row, Column column) {
    switch (column) {
        case Column::Device:
            return TextOrNone(row.device);
        case Column::Address:
            return TextOrNone(row.address);
        case Column::State:
            return TextOrNone(row.state);
        case Column::Temperature:
            return Degrees(row.tempMain);
        case Column::Setpoint:
            return Degrees(row.setpoint);
        case Column::Elapsed:
            return Duration(row.elapsedSeconds);
        case Column::Remaining:
            return Duration(row.remainingSeconds);
        case Column::Verdict:
            switch (row.verdict) {
                case Verdict::Pass:
                    return "PASS";
                case Verdict::Fail:
                    return "FAIL";
                case Verdict::Unknown:
                    return kNone;
            }
            return kNone;
        case Column::Alarm:
            return row.alarm;  // no alarm is not an unknown: the cell stays empty
    }
    return kNone;
}

RunningProfile FromReport(const bake::CONCC_TempProfile& report) {
    return RunningProfile{report.startTime, report.points};
}

double SetpointAt(const RunningProfile& profile, uint64_t controllerMs) {
    const auto& p = profile.points;
    if (p.empty() || controllerMs < profile.startMs)
        return kUnknown;
    const uint64_t t = controllerMs - profile.startMs;
    if (t < p.front().timeMs || t > p.back().timeMs)
        return kUnknown;
    // The last point at or before t: at a step (two points at one time) the
    // later value holds from the step on.
    size_t i = p.size() - 1;
    while (i > 0 && p[i].timeMs > t) --i;
    if (i + 1 == p.size())
        return p.back().tempCenti / 100.0;
    const auto& a = p[i];
    const auto& b = p[i + 1];  // later than t, so later than a
    const double f = static_cast<double>(t - a.timeMs) / (b.timeMs - a.timeMs);
    return (a.tempCenti + f * (static_cast<double>(b.tempCenti) - a.tempCenti)) / 100.0;
}

BakeTimes BakeTimesAt(const RunningProfile& profile, uint64_t controllerMs) {
    if (profile.points.empty())
        return {};
    const uint64_t elapsed = controllerMs > profile.startMs ? controllerMs - profile.startMs : 0;
    const uint64_t end = profile.points.back().timeMs;
    const uint64_t remaining = end > elapsed ? end - elapsed : 0;
    return BakeTimes{elapsed / 1000.0, remaining / 1000.0};
}

Verdict VerdictOf(const std::optional<report::Verdict>& verdict) {
    if (!verdict)
        return Verdict::Unknown;
    return verdict->pass ? Verdict::Pass : Verdict::Fail;
}

bool SortsBefore(const ControllerRow& a, const ControllerRow& b, Column column, bool ascending) {
    const SortKey ka = KeyOf(a, column), kb = KeyOf(b, column);
    if (ka.known != kb.known)
        return ka.known;
    if (ka.known) {
        int c = 0;
        if (ka.isText)
            c = CompareNatural(*ka.text, *kb.text);
        else if (ka.number != kb.number)
            c = ka.number < kb.number ? -1 : 1;
        if (c != 0)
            return ascending ? c < 0 : c > 0;
    }
    return a.key < b.key;
}

void SortRows(std::vector<ControllerRow>& rows, Column column, bool ascending) {
    std::stable_sort(rows.begin(), rows.end(), [&](const ControllerRow& a, const ControllerRow& b) {
        return SortsBefore(a, b, column, ascending);
    });
}

RowTracker::RowTracker(int key, std::string address) {
    row_.key = key;
    row_.address = std::move(address);
}

void RowTracker::SetAlarm(std::string text, bool needsOperator) {
    row_.alarm = std::move(text);
    row_.needsOperator = needsOperator;
}

void RowTracker::OnBakeStarted() {
    ClearBake();
    baking_ = true;
}

void RowTracker::OnProfile(const bake::CONCC_TempProfile& report) {
    // A report between bakes describes no running profile.
    if (baking_)
        profile_ = FromReport(report);
}

void RowTracker::OnGauge(const bake::CONCC_GaugeData& gauge) {
    row_.tempMain = bake::TempHasValue(gauge.tempMain) ? gauge.tempMain / 100.0 : kUnknown;
    if (!baking_ || profile_.points.empty())
        return;
    row_.setpoint = SetpointAt(profile_, gauge.timestamp);
    const BakeTimes t = BakeTimesAt(profile_, gauge.timestamp);
    row_.elapsedSeconds = t.elapsedSeconds;
    row_.remainingSeconds = t.remainingSeconds;
}

void RowTracker::OnBakeEnded() {
    ClearBake();
    baking_ = false;
}

void RowTracker::OnLinkLost() {
    row_.tempMain = kUnknown;
    OnBakeEnded();
}

void RowTracker::ClearBake() {
    profile_ = {};
    row_.setpoint = kUnknown;
    row_.elapsedSeconds = kUnknown;
    row_.remainingSeconds = kUnknown;
}

}  // namespace overview
