#include "report/process_window.h"

#include "report/report_format.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <set>
#include <sstream>

namespace report {

namespace {

std::string Trim(const std::string& s) {
    const size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos)
        return {};
    const size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

std::optional<double> Number(const std::string& text) {
    std::string_view t = text;
    if (!t.empty() && t.front() == '+')
        t.remove_prefix(1);
    double v = 0;
    const auto r = std::from_chars(t.data(), t.data() + t.size(), v);
    if (t.empty() || r.ec != std::errc() || r.ptr != t.data() + t.size() || !std::isfinite(v))
        return std::nullopt;
    return v;
}

std::string Num(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

ProcessWindow Window(const char* name, double tsMin, double tsMax, double tL, double peakMin,
                     double peakMax, double within5Max, double toPeakMax) {
    ProcessWindow w;
    w.name = name;
    w.temperatures = {tsMin, tsMax, tL};
    w[Metric::kPreheatS] = {60, 120};
    w[Metric::kTimeAboveLiquidusS] = {60, 150};
    w[Metric::kPeakC] = {peakMin, peakMax};
    w[Metric::kTimeWithin5OfPeakS] = {std::nullopt, within5Max};
    w[Metric::kRampUpCPerS] = {std::nullopt, 3};
    w[Metric::kRampDownCPerS] = {std::nullopt, 6};
    w[Metric::kTime25ToPeakS] = {std::nullopt, toPeakMax};
    return w;
}

}  // namespace

ProcessWindow LeadFreeWindow() {
    return Window("pbfree", 150, 200, 217, 235, 260, 30, 480);
}

ProcessWindow TinLeadWindow() {
    return Window("snpb", 100, 150, 183, 205, 235, 20, 360);
}

std::optional<ProcessWindow> BuiltInWindow(const std::string& name) {
    if (name == "pbfree")
        return LeadFreeWindow();
    if (name == "snpb")
        return TinLeadWindow();
    return std::nullopt;
}

std::optional<ProcessWindow> ParseWindow(const std::string& text, const std::string& source,
                                         std::string& error) {
    ProcessWindow w;
    w.name = source;
    std::optional<double> tsMin, tsMax, tL;
    std::set<std::string> seen;
    std::istringstream in(text);
    std::string line;
    size_t number = 0;
    auto fail = [&](const std::string& what) {
        error = source + ":" + std::to_string(number) + ": " + what;
        return std::nullopt;
    };
    while (std::getline(in, line)) {
        ++number;
        if (number == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0)
            line.erase(0, 3);
        line = Trim(line);
        if (line.empty() || line[0] == '#')
            continue;
        const size_t eq = line.find('=');
        if (eq == std::string::npos)
            return fail("expected key = value, got '" + line + "'");
        const std::string key = Trim(line.substr(0, eq));
        const std::string value = Trim(line.substr(eq + 1));
        if (key.empty())
            return fail("missing key before '='");
        if (!seen.insert(key).second)
            return fail("key '" + key + "' given twice");
        if (key == "name") {
            if (value.empty())
                return fail("key 'name' needs a value");
            w.name = value;
            continue;
        }
        const std::optional<double> v = Number(value);
        std::optional<double>* target = nullptr;
        if (key == "ts_min") {
            target = &tsMin;
        } else if (key == "ts_max") {
            target = &tsMax;
        } else if (key == "t_l") {
            target = &tL;
        } else {
            const bool isMin = key.size() > 4 && key.compare(key.size() - 4, 4, "_min") == 0;
            const bool isMax = key.size() > 4 && key.compare(key.size() - 4, 4, "_max") == 0;
            const std::optional<Metric> m =
                (isMin || isMax) ? MetricFromName(key.substr(0, key.size() - 4)) : std::nullopt;
            if (!m)
                return fail("unknown key '" + key + "'");
            target = isMin ? &w[*m].min : &w[*m].max;
        }
        if (!v)
            return fail("key '" + key + "' needs a number, got '" + value + "'");
        *target = v;
    }
    number = 0;  // what follows is about the whole file
    auto missing = [&](const char* key) {
        error = source + ": missing key '" + key + "'";
        return std::nullopt;
    };
    if (!tsMin)
        return missing("ts_min");
    if (!tsMax)
        return missing("ts_max");
    if (!tL)
        return missing("t_l");
    if (*tsMin > *tsMax) {
        error = source + ": ts_min " + Num(*tsMin) + " is above ts_max " + Num(*tsMax);
        return std::nullopt;
    }
    w.temperatures = {*tsMin, *tsMax, *tL};
    for (const Metric m : AllMetrics()) {
        const Limit& l = w[m];
        if (l.min && l.max && *l.min > *l.max) {
            error = source + ": " + std::string(MetricName(m)) + "_min " + Num(*l.min) +
                    " is above " + std::string(MetricName(m)) + "_max " + Num(*l.max);
            return std::nullopt;
        }
    }
    return w;
}

std::string WindowText(const ProcessWindow& w) {
    std::string out = "name = " + w.name + "\n";
    out += "ts_min = " + Num(w.temperatures.tsMin) + "\n";
    out += "ts_max = " + Num(w.temperatures.tsMax) + "\n";
    out += "t_l = " + Num(w.temperatures.tL) + "\n";
    for (const Metric m : AllMetrics()) {
        if (w[m].min)
            out += std::string(MetricName(m)) + "_min = " + Num(*w[m].min) + "\n";
        if (w[m].max)
            out += std::string(MetricName(m)) + "_max = " + Num(*w[m].max) + "\n";
    }
    return out;
}

bool Holds(const std::optional<double>& value, const Limit& limit) {
    if (!limit.IsSet())
        return true;
    if (!value)
        return false;
    return (!limit.min || *value >= *limit.min) && (!limit.max || *value <= *limit.max);
}

Verdict Judge(const BakeMetrics& metrics, const ProcessWindow& window) {
    Verdict v;
    for (const Metric m : AllMetrics()) {
        const Limit& l = window[m];
        const std::optional<double>& value = metrics[m];
        if (Holds(value, l))
            continue;
        Failure f{m, value};
        // Below the minimum, and the case of only a minimum with no value, end
        // alike; the maximum's test sits between them.
        // NOLINTNEXTLINE(bugprone-branch-clone)
        if (value && l.min && *value < *l.min) {
            f.belowMin = true;
            f.limit = *l.min;
        } else if (l.max && (!value || *value > *l.max)) {
            f.limit = *l.max;
        } else {
            f.belowMin = true;  // only a minimum, and no value
            f.limit = *l.min;
        }
        v.failures.push_back(f);
    }
    v.pass = v.failures.empty();
    return v;
}

std::string FailureText(const Failure& f, const ProcessWindow& window) {
    const std::string name(MetricName(f.metric));
    if (!f.value) {
        const Limit& l = window[f.metric];
        std::string range = l.min && l.max ? Num(*l.min) + " .. " + Num(*l.max)
                            : l.min        ? ">= " + Num(*l.min)
                                           : "<= " + Num(*l.max);
        return name + " has no value (limit " + range + ")";
    }
    return name + " " + FormatValue(*f.value) +
           (f.belowMin ? " is below its minimum " : " is above its maximum ") + Num(f.limit);
}

}  // namespace report
