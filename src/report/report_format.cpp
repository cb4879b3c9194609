#include "report/report_format.h"

#include <cmath>
#include <cstdio>

namespace report {

namespace {

std::string JsonString(const std::string& s) {
    std::string out = "\"";
    for (const char c : s) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", u);
            out += buf;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string JsonNumber(const std::optional<double>& v) {
    if (!v || !std::isfinite(*v))
        return "null";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.10g", *v);
    return buf;
}

}  // namespace

Report MakeReport(std::string chart, std::span<const chart::ChartPoint> curve,
                  std::optional<ProcessWindow> window, std::span<const chart::ChartPoint> profile,
                  std::span<const chart::ChartPoint> reference) {
    Report r;
    r.chart = std::move(chart);
    const Temperatures t = window ? window->temperatures : LeadFreeWindow().temperatures;
    r.metrics = ComputeBakeMetrics(curve, t, profile, reference);
    if (window)
        r.verdict = Judge(r.metrics, *window);
    r.window = std::move(window);
    return r;
}

std::string FormatValue(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.3f", v);
    std::string s = buf;
    if (s.find('.') != std::string::npos) {
        while (s.back() == '0') s.pop_back();
        if (s.back() == '.')
            s.pop_back();
    }
    if (s == "-0")
        s = "0";
    return s;
}

std::string LimitText(const Limit& l) {
    if (l.min && l.max)
        return FormatValue(*l.min) + " .. " + FormatValue(*l.max);
    if (l.min)
        return ">= " + FormatValue(*l.min);
    if (l.max)
        return "<= " + FormatValue(*l.max);
    return {};
}

std::string ReportText(const Report& r) {
    std::string out = "chart: " + r.chart + "\n";
    const Temperatures t = r.window ? r.window->temperatures : LeadFreeWindow().temperatures;
    char buf[256];
    std::snprintf(buf, sizeof buf, "window: %s (Ts %s-%s C, T_L %s C)\n",
                  r.window ? r.window->name.c_str() : "none, pbfree temperatures",
                  FormatValue(t.tsMin).c_str(), FormatValue(t.tsMax).c_str(),
                  FormatValue(t.tL).c_str());
    out += buf;
    for (const Metric m : AllMetrics()) {
        const std::optional<double>& v = r.metrics[m];
        const Limit limit = r.window ? (*r.window)[m] : Limit{};
        std::string mark;
        if (limit.IsSet())
            mark = Holds(v, limit) ? "ok" : "FAIL";
        std::snprintf(buf, sizeof buf, "%-24s %10s  %-12s %s", std::string(MetricName(m)).c_str(),
                      v ? FormatValue(*v).c_str() : "-", LimitText(limit).c_str(), mark.c_str());
        std::string line = buf;
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out += line + "\n";
    }
    if (!r.verdict) {
        out += "verdict: none (no window)\n";
        return out;
    }
    out += r.verdict->pass ? "verdict: pass\n" : "verdict: fail\n";
    for (const Failure& f : r.verdict->failures) out += "  " + FailureText(f, *r.window) + "\n";
    return out;
}

std::string ReportJson(const Report& r) {
    std::string out = "{\"chart\": " + JsonString(r.chart);
    out += ", \"window\": " + (r.window ? JsonString(r.window->name) : std::string("null"));
    for (const Metric m : AllMetrics())
        out += ", \"" + std::string(MetricName(m)) + "\": " + JsonNumber(r.metrics[m]);
    if (!r.verdict) {
        out += ", \"verdict\": null, \"failures\": []}";
        return out + "\n";
    }
    out += std::string(", \"verdict\": ") + (r.verdict->pass ? "\"pass\"" : "\"fail\"");
    out += ", \"failures\": [";
    for (size_t i = 0; i < r.verdict->failures.size(); ++i) {
        if (i)
            out += ", ";
        out += JsonString(std::string(MetricName(r.verdict->failures[i].metric)));
    }
    return out + "]}\n";
}

}  // namespace report
