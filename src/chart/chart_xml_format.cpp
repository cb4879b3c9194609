// Numbers are written and read in the C locale's forms whatever locale the
// program runs in.
#include "chart/chart_xml_format.h"

#include <locale.h>

#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "chart/chart_set.h"
#include "xml/xml_element_sink.h"
#include "xml/xml_file_writer.h"
#include "xml/xml_node.h"

namespace chart {

namespace {

// Text of a number, NUL-terminated, in a buffer the caller owns.
struct NumberText {
    wchar_t text[400];  // "%f" of the largest double has 309 digits before the point
};

void Widen(const char* b, const char* e, NumberText& out) {
    wchar_t* w = out.text;
    while (b < e) *w++ = static_cast<wchar_t>(*b++);
    *w = 0;
}

// "%f" / "%lf": fixed notation with six decimals, rounded to nearest with
// ties to even on the exact binary value, as printf does.
void FormatFixed(double value, NumberText& out) {
    // Saving a long bake formats millions of numbers: values of ordinary size
    // take an exact integer path. Below 1e9 the scaled value stays under 2^53.
    if (std::fabs(value) < 1e9) {
        const double p = value * 1e6;
        // Round to the nearest integer, ties to even: adding and taking away
        // 2^52 leaves no fraction bits (|p| < 2^50 here).
        double r = p >= 0 ? (p + 0x1p52) - 0x1p52 : (p - 0x1p52) + 0x1p52;
        const double f = p - r;  // exact
        if (f == 0.5 || f == -0.5) {
            // p lies halfway: the exact product decides, which p rounded.
            const double residue = std::fma(value, 1e6, -p);  // p + residue is exact
            if (f == 0.5 && residue > 0)
                r += 1;
            if (f == -0.5 && residue < 0)
                r -= 1;
        }
        const auto scaled = static_cast<uint64_t>(std::fabs(r));
        wchar_t* w = out.text;
        if (std::signbit(value))
            *w++ = L'-';
        char digits[24];
        const char* end = std::to_chars(digits, digits + sizeof digits, scaled / 1000000).ptr;
        for (const char* d = digits; d < end; ++d) *w++ = static_cast<wchar_t>(*d);
        *w++ = L'.';
        uint64_t fraction = scaled % 1000000;
        for (int i = 5; i >= 0; --i) {
            w[i] = static_cast<wchar_t>(L'0' + fraction % 10);
            fraction /= 10;
        }
        w[6] = 0;
        return;
    }
    char buf[sizeof out.text / sizeof out.text[0]];
    const auto r = std::to_chars(buf, buf + sizeof buf - 1, value, std::chars_format::fixed, 6);
    Widen(buf, r.ptr, out);
}

// "%ld" of a signed 32-bit value.
void FormatInteger(int32_t value, NumberText& out) {
    char buf[16];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    Widen(buf, r.ptr, out);
}

bool IsCSpace(wchar_t c) {
    return c == L' ' || (c >= L'\t' && c <= L'\r');
}

// As strtol: leading white space, a sign, digits up to the first other
// character; no digits gives 0, values beyond the range of long saturate.
long ReadInteger(const wchar_t* s) {
    if (!s)
        return 0;
    while (IsCSpace(*s)) ++s;
    bool negative = false;
    if (*s == L'+' || *s == L'-')
        negative = *s++ == L'-';
    unsigned long long magnitude = 0;
    const unsigned long long limit = negative ? static_cast<unsigned long long>(LONG_MAX) + 1
                                              : static_cast<unsigned long long>(LONG_MAX);
    for (; *s >= L'0' && *s <= L'9'; ++s) {
        const auto digit = static_cast<unsigned>(*s - L'0');
        // Saturate, and keep reading digits.
        magnitude = magnitude > (limit - digit) / 10 ? limit : magnitude * 10 + digit;
    }
    if (negative)
        return magnitude == limit ? LONG_MIN : -static_cast<long>(magnitude);
    return static_cast<long>(magnitude);
}

locale_t CLocale() {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return c;
}

// As strtod in the C locale: leading white space, then the longest number;
// nothing readable gives 0.
double ReadDouble(const wchar_t* s) {
    if (!s)
        return 0.0;
    while (IsCSpace(*s)) ++s;
    if (*s == L'+') {
        ++s;
        if (*s == L'-' || *s == L'+')
            return 0.0;
    }
    // The number's characters are ASCII; the first other character ends it.
    std::string longText;
    char small[128];
    char* buf = small;
    size_t n = 0;
    while (s[n] > 0 && s[n] < 0x80) ++n;
    if (n >= sizeof small) {
        longText.resize(n + 1);
        buf = longText.data();
    }
    for (size_t i = 0; i < n; ++i) buf[i] = static_cast<char>(s[i]);
    buf[n] = 0;
    double value = 0.0;
    const auto r = std::from_chars(buf, buf + n, value, std::chars_format::general);
    if (r.ec == std::errc::invalid_argument)
        return 0.0;
    // Overflow and underflow: the C library's answers (infinity, zero).
    if (r.ec == std::errc::result_out_of_range)
        return strtod_l(buf, nullptr, CLocale());
    return value;
}

// Rounds to single precision; magnitudes beyond float's range become infinite.
double ToSingle(double v) {
    if (std::fabs(v) > FLT_MAX)
        return v > 0 ? HUGE_VAL : -HUGE_VAL;
    return static_cast<double>(static_cast<float>(v));
}

float ToFloat(double v) {
    if (std::fabs(v) > FLT_MAX)
        return v > 0 ? HUGE_VALF : -HUGE_VALF;
    return static_cast<float>(v);  // NaN stays NaN
}

const wchar_t* Text(const wchar_t* s) {
    return s ? s : L"";
}

}  // namespace

bool SaveChartsXml(const ChartSet& model, const std::wstring& path, const std::set<int>& ids,
                   std::wstring& error) {
    std::vector<SavedChart> charts;
    for (int id : ids) {
        const ChartSeries* series = model.FindChart(id);
        if (!series)
            continue;
        charts.push_back({series->name, series->yLabel, series->dashStyle, series->penWidth,
                          series->tension, series->color, series->Points().View()});
    }
    if (ids.empty()) {
        error = L"No charts to save!";
        return false;
    }
    return SaveChartsXml(charts, path, error);
}

bool SaveChartsXml(const std::vector<SavedChart>& charts, const std::wstring& path,
                   std::wstring& error) {
    if (charts.empty()) {
        error = L"No charts to save!";
        return false;
    }
    // The document is streamed element by element: a bake of hours would
    // otherwise be held a second time, as a tree, just to be written.
    xml::XmlFileWriter writer;
    xml::XmlError result = writer.Open(path);
    if (result == xml::XmlError::kNone) {
        writer.StartElement(L"Charts");
        NumberText dash, color, pen, tension, x, y;
        for (const SavedChart& c : charts) {
            const SavedChart* series = &c;
            if (series->points.empty())
                continue;
            FormatInteger(series->dashStyle, dash);
            FormatInteger(static_cast<int32_t>(series->color), color);
            FormatFixed(series->penWidth, pen);
            FormatFixed(series->tension, tension);
            writer.StartElement(L"Chart", {{L"Name", series->name.c_str()},
                                           {L"DashStyle", dash.text},
                                           {L"Color", color.text},
                                           {L"PenWidth", pen.text},
                                           {L"Tension", tension.text},
                                           {L"Y_Label", series->yLabel.c_str()}});
            for (const ChartPoint& p : series->points) {
                FormatFixed(p.x, x);
                FormatFixed(p.y, y);
                writer.StartElement(L"Data", {{L"X", x.text}, {L"Y", y.text}});
                writer.EndElement();
            }
            writer.EndElement();
        }
        writer.EndElement();
        result = writer.Close();
    }
    if (result != xml::XmlError::kNone) {
        error = xml::XmlFileErrorText(result, path, writer.Reason());
        return false;
    }
    return true;
}

namespace {

// Collects the charts of a chart file while it is parsed, without a tree:
// a file of a long bake holds millions of elements of which only the
// numbers are wanted. It keeps exactly what a walk over the parsed tree
// would read: the first Charts element of the node the reader returns (the
// root, or its only child element when the root has nothing else), its Chart
// children and their Data children. Both possible returned nodes are
// followed until the end of the parse shows which one it is.
class ChartFileReader : public xml::XmlElementSink {
public:
    // The chart is made as its element is read, so that a file of many
    // charts holds each one's fields once; its points wait here until the
    // chart is complete and are then sorted in one go.
    struct ChartRecord {
        std::unique_ptr<ChartSeries> series;
        std::vector<ChartPoint> points;
    };

    uintptr_t OnElement(uintptr_t parent, const wchar_t* name, bool,
                        std::span<const xml::XmlAttribute> attributes) override {
        if (parent == kDocument) {
            ++rootChildren_;
            uintptr_t flags = rootChildren_ == 1 ? kFirstChild : 0;
            if (!chartsOfRoot_.seen && xml::XmlNameEquals(name, L"charts")) {
                chartsOfRoot_.seen = true;
                flags |= kChartsOfRoot;
            }
            return flags ? flags : kIgnored;
        }
        if (parent & kChartBit) {
            if (xml::XmlNameEquals(name, L"data")) {
                Candidate& c = (parent & kChartListBit) ? chartsOfFirst_ : chartsOfRoot_;
                c.charts[parent >> kChartIndexShift].points.push_back(
                    {ToSingle(ReadDouble(Find(attributes, L"x"))),
                     ToSingle(ReadDouble(Find(attributes, L"y")))});
            }
            return kIgnored;
        }
        if (parent == kIgnored)
            return kIgnored;
        if ((parent & kFirstChild) && !chartsOfFirst_.seen && xml::XmlNameEquals(name, L"charts")) {
            chartsOfFirst_.seen = true;
            return kChartsOfFirst;
        }
        if ((parent & (kChartsOfRoot | kChartsOfFirst)) && xml::XmlNameEquals(name, L"chart")) {
            const bool ofFirst = (parent & kChartsOfFirst) != 0;
            Candidate& c = ofFirst ? chartsOfFirst_ : chartsOfRoot_;
            ChartRecord& r = c.charts.emplace_back();
            r.series = std::make_unique<ChartSeries>();
            ChartSeries& s = *r.series;
            s.name = Text(Find(attributes, L"name"));
            const auto color = static_cast<uint32_t>(ReadInteger(Find(attributes, L"color")));
            s.color = color == 0 ? 0xFF000000 : color;
            s.dashStyle = static_cast<int32_t>(
                static_cast<uint32_t>(ReadInteger(Find(attributes, L"dashstyle"))));
            s.penWidth = ToFloat(ReadDouble(Find(attributes, L"penwidth")));
            s.tension = ToFloat(ReadDouble(Find(attributes, L"tension")));
            s.yLabel = Text(Find(attributes, L"y_label"));
            return kChartBit | (ofFirst ? kChartListBit : 0) |
                   ((c.charts.size() - 1) << kChartIndexShift);
        }
        return kIgnored;
    }

    void OnText(uintptr_t parent, const wchar_t*) override {
        if (parent == kDocument)
            rootHasMore_ = true;
    }
    void OnClear(uintptr_t parent, const xml::XmlClearSection&) override {
        if (parent == kDocument)
            rootHasMore_ = true;
    }

    // The charts of the Charts element found, or null when there is none.
    std::vector<ChartRecord>* Result() {
        // The reader returns the root's only child element when the root
        // holds nothing else; otherwise the root itself.
        Candidate& c = rootChildren_ == 1 && !rootHasMore_ ? chartsOfFirst_ : chartsOfRoot_;
        return c.seen ? &c.charts : nullptr;
    }

private:
    struct Candidate {
        bool seen = false;
        std::vector<ChartRecord> charts;
    };

    // Element handles: flags, or a chart's list and index.
    static constexpr uintptr_t kIgnored = 1;
    static constexpr uintptr_t kFirstChild = 2;     // the root's first child element
    static constexpr uintptr_t kChartsOfRoot = 4;   // first Charts element under the root
    static constexpr uintptr_t kChartsOfFirst = 8;  // first Charts element under the first child
    static constexpr uintptr_t kChartBit = 16;
    static constexpr uintptr_t kChartListBit = 32;  // set: the chart belongs to kChartsOfFirst
    static constexpr int kChartIndexShift = 6;

    // The first attribute of that name, ignoring case; null when none or no value.
    static const wchar_t* Find(std::span<const xml::XmlAttribute> attributes, const wchar_t* name) {
        for (const xml::XmlAttribute& a : attributes) {
            if (xml::XmlNameEquals(a.name, name))
                return a.value;
        }
        return nullptr;
    }

    size_t rootChildren_ = 0;
    bool rootHasMore_ = false;
    Candidate chartsOfRoot_;
    Candidate chartsOfFirst_;
};

}  // namespace

bool LoadChartsXml(ChartSet& model, const std::wstring& path, std::set<int>& ids,
                   std::wstring& error) {
    ids.clear();
    // A file near the reader's size limit can still exhaust memory while its
    // charts are built; that is a failed load, not the end of the program.
    try {
        ChartFileReader reader;
        xml::XmlResult parsed;
        xml::ParseFileToSink(path, reader, &parsed);
        // Warnings too: a file that is not quite well formed is not taken.
        if (parsed.error != xml::XmlError::kNone) {
            // A file that cannot be read is named, with why; faults of the
            // markup keep the reader's own text.
            error = xml::IsXmlFileFailure(parsed.error)
                        ? xml::XmlFileErrorText(parsed.error, path, parsed.reason)
                        : std::wstring(xml::XmlErrorText(parsed.error));
            return false;
        }
        std::vector<ChartFileReader::ChartRecord>* charts = reader.Result();
        if (charts == nullptr) {
            error = L"Invalid XML!";
            return false;
        }
        for (ChartFileReader::ChartRecord& r : *charts) {
            const int id = model.NextId();
            if (id < 0) {
                error = L"WTF!";
                return false;
            }
            std::unique_ptr<ChartSeries> series = std::move(r.series);
            series->id = id;
            if (!r.points.empty())
                series->SetPoints(std::move(r.points));
            model.charts_.emplace_hint(model.charts_.end(), id, std::move(series));
            ids.insert(ids.end(), id);
        }
    } catch (const std::bad_alloc&) {
        error = xml::XmlFileErrorText(xml::XmlError::kOutOfMemory, path);
        return false;
    }
    model.RedrawAll();
    return true;
}

}  // namespace chart
