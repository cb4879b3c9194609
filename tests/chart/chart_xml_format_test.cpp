#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "chart/chart_set.h"
#include "tests/support/temp_dir.h"
#include "xml/xml_node.h"

using chart::ChartPoint;
using chart::ChartSeries;
using chart::ChartSet;

namespace {

std::string Utf16(const std::wstring& s) {
    std::string out = "\xFF\xFE";
    for (wchar_t c : s) out += {static_cast<char>(c & 0xFF), static_cast<char>((c >> 8) & 0xFF)};
    return out;
}

class ChartFile : public testing::Test {
protected:
    std::wstring Path(const char* name) const { return dir_.WPath(name); }
    std::wstring WriteFile(const char* name, const std::string& bytes) const {
        dir_.Write(name, bytes);
        return Path(name);
    }
    std::string Read(const char* name) const { return dir_.Read(name); }
    // Loads `text` (written as UTF-16 with the mark) into a new model.
    bool Load(const std::wstring& text, ChartSet& m, std::wstring& error) {
        std::set<int> ids;
        return m.LoadChartsXml(WriteFile("in.xml", Utf16(text)), ids, error);
    }

    test_support::TempDir dir_;
};

const wchar_t kDecl[] = L"<?xml version=\"1.0\" encoding=\"utf-16\"?>\n";

}  // namespace

TEST_F(ChartFile, SaveWritesTheFormat) {
    ChartSet m;
    const int a = m.AddChart(std::vector<ChartPoint>{{12.4, 25.5}, {1.5, 20}}, L"Temp Main",
                             L"Temperature", 0, 1.0f, 0.0f, 0xFFFF0000);
    const int empty = m.AddChart({}, L"Nothing", L"", 0, 2.0f, 0.0f, 0xFF000000);
    const int b =
        m.AddChart(std::vector<ChartPoint>{{-0.25, 1e-7}}, L"B<&>", L"", 5, 2.0f, 0.5f, 0xFF000000);
    std::wstring error;
    ASSERT_TRUE(m.SaveChartsXml(Path("out.xml"), {b, empty, a, 42}, error));
    EXPECT_EQ(Read("out.xml"),
              Utf16(std::wstring(kDecl) +
                    L"<Charts>\n"
                    L"\t<Chart Name=\"Temp Main\" DashStyle=\"0\" Color=\"-65536\" "
                    L"PenWidth=\"1.000000\" Tension=\"0.000000\" Y_Label=\"Temperature\">\n"
                    L"\t\t<Data X=\"1.500000\" Y=\"20.000000\"/>\n"
                    L"\t\t<Data X=\"12.400000\" Y=\"25.500000\"/>\n"
                    L"\t</Chart>\n"
                    L"\t<Chart Name=\"B&lt;&amp;&gt;\" DashStyle=\"5\" Color=\"-16777216\" "
                    L"PenWidth=\"2.000000\" Tension=\"0.500000\" Y_Label=\"Y\">\n"
                    L"\t\t<Data X=\"-0.250000\" Y=\"0.000000\"/>\n"
                    L"\t</Chart>\n"
                    L"</Charts>\n"));
}

// Numbers are written as printf's "%f" writes them in the C locale.
TEST_F(ChartFile, SavedNumbersAreFixedSixDecimals) {
    std::vector<double> values = {
        0.0, -0.0, 0.0078125,      0.0234375, -0.0078125, 1e-7,   -1e-7, 0.5e-6, 999999999.9999995,
        1e9, -1e9, 123456789012.5, 1e300,     2.5e-6,     3.5e-6, 0.1,   0.7,    25.5};
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> wide(-2e9, 2e9), narrow(-1000, 1000);
    for (int i = 0; i < 3000; ++i) values.push_back(i % 2 ? wide(random) : narrow(random));
    std::vector<ChartPoint> points;
    for (size_t i = 0; i < values.size(); ++i)
        points.push_back({static_cast<double>(i), values[i]});
    ChartSet m;
    const int id = m.AddChart(points, L"N", L"", 0, 2.0f, 0.0f, 0xFF000000);
    std::wstring error;
    ASSERT_TRUE(m.SaveChartsXml(Path("n.xml"), {id}, error));

    xml::XmlResult r;
    const xml::XmlNode doc = xml::XmlNode::ParseFile(Path("n.xml"), &r);
    ASSERT_EQ(r.error, xml::XmlError::kNone);
    const xml::XmlNode c = doc.GetChild(L"Charts").GetChild(L"Chart");
    ASSERT_EQ(c.ChildCount(), static_cast<int>(values.size()));
    for (size_t i = 0; i < values.size(); ++i) {
        char expected[400];
        std::snprintf(expected, sizeof expected, "%f", values[i]);
        const std::wstring written = c.ChildAt(static_cast<int>(i)).GetAttribute(L"Y");
        ASSERT_EQ(std::string(written.begin(), written.end()), expected) << values[i];
    }
}

TEST_F(ChartFile, LoadReadsTheFormat) {
    ChartSet m;
    m.AddChart(std::vector<ChartPoint>{{0, 0}}, L"Plate", L"", 0, 2.0f, 0.0f, 0xFF000000);
    std::wstring error;
    std::set<int> ids;
    const std::wstring text =
        std::wstring(kDecl) +
        L"<charts>\n"
        L"<CHART name=\"Plate\" COLOR=\"0\" dashstyle=\" -3x\" PenWidth=\"1e1\" "
        L"tension=\"junk\" y_label=\"deg\">\n"
        L"  <data x=\"123456.789000\" y=\"2\"/><Data X=\"-1\"/>"
        L"  <other X=\"5\"/><Data y=\"+7.5\" x=\"  4\"/>\n"
        L"</CHART>\n"
        L"<Chart/><Ignored/>\n"
        L"</charts>\n";
    ASSERT_TRUE(m.LoadChartsXml(WriteFile("in.xml", Utf16(text)), ids, error));
    EXPECT_EQ(ids, (std::set<int>{1, 2}));

    const ChartSeries& s = *m.FindChart(1);
    EXPECT_EQ(s.name, L"Plate");  // a duplicate name is kept as it is
    EXPECT_EQ(s.color, 0xFF000000u);
    EXPECT_EQ(s.dashStyle, -3);
    EXPECT_EQ(s.penWidth, 10.0f);
    EXPECT_EQ(s.tension, 0.0f);
    EXPECT_EQ(s.yLabel, L"deg");
    EXPECT_TRUE(s.visible);
    EXPECT_FALSE(s.selected);
    ASSERT_EQ(s.Points().size(), 3u);  // sorted by x
    EXPECT_EQ(s.Points()[0].x, -1);
    EXPECT_EQ(s.Points()[0].y, 0);
    EXPECT_EQ(s.Points()[1].x, 4);
    EXPECT_EQ(s.Points()[1].y, 7.5);
    EXPECT_EQ(s.Points()[2].x, 123456.7890625);  // rounded to single precision
    EXPECT_EQ(s.MinX(), -1);
    EXPECT_EQ(s.MaxY(), 7.5);

    const ChartSeries& bare = *m.FindChart(2);
    EXPECT_EQ(bare.name, L"");  // no "Chart_" default when loading
    EXPECT_EQ(bare.yLabel, L"");
    EXPECT_EQ(bare.color, 0xFF000000u);
    EXPECT_FALSE(bare.HasPoints());
    EXPECT_EQ(bare.MaxX(), ChartSeries::kNoMax);
}

// Integers as strtol reads them (then their low 32 bits), other numbers as
// strtod does, in the C locale.
TEST_F(ChartFile, NumbersReadLikeTheCLibrary) {
    struct Case {
        const wchar_t* color;
        const wchar_t* penWidth;
        uint32_t expectedColor;
        float expectedPen;
    } cases[] = {
        {L"-65536", L"1", 0xFFFF0000u, 1.0f},
        {L"4294901760", L".5", 0xFFFF0000u, 0.5f},
        {L" +255junk", L"  2.5xyz", 255u, 2.5f},
        {L"99999999999999999999999", L"1e999", 0xFFFFFFFFu, HUGE_VALF},
        {L"-99999999999999999999", L"-1e999", 0xFF000000u, -HUGE_VALF},  // low bits 0: black
        {L"", L"1e-999", 0xFF000000u, 0.0f},
        {L"x12", L"+-1", 0xFF000000u, 0.0f},
    };
    std::wstring text = std::wstring(kDecl) + L"<Charts>";
    for (const Case& c : cases) {
        text +=
            L"<Chart Color=\"" + std::wstring(c.color) + L"\" PenWidth=\"" + c.penWidth + L"\"/>";
    }
    text += L"</Charts>";
    ChartSet m;
    std::wstring error;
    ASSERT_TRUE(Load(text, m, error));
    ASSERT_EQ(m.Charts().size(), std::size(cases));
    int id = 0;
    for (const Case& c : cases) {
        const ChartSeries& s = *m.FindChart(id++);
        EXPECT_EQ(s.color, c.expectedColor) << testing::PrintToString(std::wstring(c.color));
        EXPECT_EQ(s.penWidth, c.expectedPen) << testing::PrintToString(std::wstring(c.penWidth));
    }
}

// Readings that are no numbers, or beyond single precision, load as they are
// and save again as they were loaded, but take no part in the extents.
TEST_F(ChartFile, NonFiniteValuesLoadAndSaveAsTheyAreOutsideTheExtents) {
    const std::wstring text = std::wstring(kDecl) +
                              L"<Charts><Chart Name=\"T\">"
                              L"<Data X=\"0\" Y=\"10\"/><Data X=\"1\" Y=\"1e39\"/>"
                              L"<Data X=\"2\" Y=\"nan\"/><Data X=\"3\" Y=\"-inf\"/>"
                              L"<Data X=\"4\" Y=\"40\"/><Data X=\"nan\" Y=\"999\"/>"
                              L"</Chart></Charts>";
    ChartSet m;
    std::wstring error;
    ASSERT_TRUE(Load(text, m, error)) << testing::PrintToString(error);
    const ChartSeries& s = *m.FindChart(0);
    ASSERT_EQ(s.Points().size(), 6u);
    EXPECT_TRUE(std::isinf(s.Points()[1].y) && s.Points()[1].y > 0);
    EXPECT_TRUE(std::isnan(s.Points()[2].y));
    EXPECT_TRUE(std::isinf(s.Points()[3].y) && s.Points()[3].y < 0);
    EXPECT_TRUE(std::isnan(s.Points()[5].x));
    EXPECT_EQ(s.MinX(), 0);
    EXPECT_EQ(s.MaxX(), 4);
    EXPECT_EQ(s.MinY(), 10);
    EXPECT_EQ(s.MaxY(), 40);

    ASSERT_TRUE(m.SaveChartsXml(Path("out.xml"), {0}, error));
    ChartSet again;
    std::set<int> ids;
    ASSERT_TRUE(again.LoadChartsXml(Path("out.xml"), ids, error));
    const auto& back = again.FindChart(0)->Points();
    ASSERT_EQ(back.size(), 6u);
    for (size_t i = 0; i < back.size(); ++i) {
        const ChartPoint& a = s.Points()[i];
        const ChartPoint& b = back[i];
        EXPECT_TRUE((a.x == b.x || (std::isnan(a.x) && std::isnan(b.x))) &&
                    (a.y == b.y || (std::isnan(a.y) && std::isnan(b.y))))
            << "point " << i;
    }
    EXPECT_EQ(again.FindChart(0)->MaxX(), 4);
}

TEST_F(ChartFile, LoadRefusals) {
    struct Case {
        const char* what;
        std::string bytes;
        const wchar_t* error;
    } cases[] = {
        {"root of another name", Utf16(std::wstring(kDecl) + L"<Curves><Chart/></Curves>"),
         L"Invalid XML!"},
        {"no declaration line", Utf16(L"<Charts><Chart Name=\"x\"/></Charts>"), L"Invalid XML!"},
        {"unmatched end tag", Utf16(std::wstring(kDecl) + L"<Charts><Chart></Charts>"),
         L"Warning: Unmatched end tag"},
        {"no tag at all", Utf16(L"charts"), L"Warning: No XML tag found"},
        {"broken markup", Utf16(std::wstring(kDecl) + L"<Charts><Chart Name=\"a\" </Charts>"),
         L"Error: Unexpected token found"},
        {"empty file", "", L"Error: No XML data"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ChartSet m;
        std::set<int> ids{99};
        std::wstring error;
        EXPECT_FALSE(m.LoadChartsXml(WriteFile("bad.xml", c.bytes), ids, error));
        EXPECT_EQ(error, c.error);
        EXPECT_TRUE(ids.empty());
        EXPECT_TRUE(m.Charts().empty());
    }
}

// A file that cannot be read is named, with the system's reason or what is
// wrong with its bytes, after the reader's own text.
TEST_F(ChartFile, LoadFailuresNameTheFileAndWhy) {
    const std::string whole = Utf16(std::wstring(kDecl) + L"<Charts><Chart Name=\"a\"/></Charts>");
    struct Case {
        const char* what;
        std::wstring path;
        std::wstring error;
    } cases[] = {
        {"missing file", Path("missing.xml"),
         L"Error: File not found \"" + Path("missing.xml") + L"\": No such file or directory"},
        // An endless device is refused instead of read until memory runs out.
        {"device", L"/dev/zero", L"Error: Not a regular file \"/dev/zero\""},
        {"UTF-16 cut short", WriteFile("cut.xml", whole.substr(0, whole.size() - 1)),
         L"Error: unable to convert between WideChar and MultiByte chars \"" + Path("cut.xml") +
             L"\": the file ends in the middle of a UTF-16 character (is it cut short?)"},
        {"broken UTF-8", WriteFile("u8.xml", "\xEF\xBB\xBF<Charts v='\xC3'/>"),
         L"Error: unable to convert between WideChar and MultiByte chars \"" + Path("u8.xml") +
             L"\": the text is not valid UTF-8"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ChartSet m;
        std::set<int> ids;
        std::wstring error;
        EXPECT_FALSE(m.LoadChartsXml(c.path, ids, error));
        EXPECT_EQ(error, c.error);
        EXPECT_TRUE(m.Charts().empty());
    }
}

TEST_F(ChartFile, SaveRefusals) {
    ChartSet m;
    const int id =
        m.AddChart(std::vector<ChartPoint>{{0, 0}}, L"A", L"", 0, 2.0f, 0.0f, 0xFF000000);
    std::wstring error;
    EXPECT_FALSE(m.SaveChartsXml(Path("x.xml"), {}, error));
    EXPECT_EQ(error, L"No charts to save!");
    // The writer's text, then the file and the system's reason.
    EXPECT_FALSE(m.SaveChartsXml(Path("no/such/dir/x.xml"), {id}, error));
    EXPECT_EQ(error, L"Error: unable to open file for writing \"" + Path("no/such/dir/x.xml") +
                         L"\": No such file or directory");
    if (std::filesystem::exists("/dev/full")) {
        EXPECT_FALSE(m.SaveChartsXml(L"/dev/full", {id}, error));
        EXPECT_EQ(error, L"Error: cannot write into file \"/dev/full\": No space left on device");
    }
}

TEST_F(ChartFile, ChartsWithoutPointsSaveAsAnEmptyFile) {
    ChartSet m;
    const int id = m.AddChart({}, L"A", L"", 0, 2.0f, 0.0f, 0xFF000000);
    std::wstring error;
    ASSERT_TRUE(m.SaveChartsXml(Path("e.xml"), {id}, error));
    EXPECT_EQ(Read("e.xml"), Utf16(std::wstring(kDecl) + L"<Charts/>\n"));
    ChartSet other;
    std::set<int> ids{5};
    EXPECT_TRUE(other.LoadChartsXml(Path("e.xml"), ids, error));
    EXPECT_TRUE(ids.empty());
    EXPECT_TRUE(other.Charts().empty());
}

TEST_F(ChartFile, RoundTripAddsUnderNewIds) {
    ChartSet m;
    const int a = m.AddChart(std::vector<ChartPoint>{{0.5, 20.25}, {1.5, -3.125}}, L"A", L"deg", 2,
                             1.5f, 0.3f, 0x8000FF00);
    m.FindChart(a)->showPoints = true;
    m.SetChartSelected(a, true);
    std::wstring error;
    ASSERT_TRUE(m.SaveChartsXml(Path("r.xml"), {a}, error));

    std::set<int> ids;
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(m.LoadChartsXml(Path("r.xml"), ids, error));
        ASSERT_EQ(ids.size(), 1u);
        const ChartSeries& s = *m.FindChart(*ids.begin());
        EXPECT_EQ(s.id, a + 1 + round);
        EXPECT_EQ(s.name, L"A");
        EXPECT_EQ(s.yLabel, L"deg");
        EXPECT_EQ(s.dashStyle, 2);
        EXPECT_EQ(s.color, 0x8000FF00u);
        EXPECT_EQ(s.penWidth, 1.5f);
        EXPECT_NEAR(s.tension, 0.3f, 1e-6);
        EXPECT_FALSE(s.selected);
        EXPECT_FALSE(s.showPoints);
        ASSERT_EQ(s.Points().size(), 2u);
        EXPECT_EQ(s.Points()[1].y, -3.125);
    }
    EXPECT_EQ(m.SelectedIds(), (std::set<int>{a}));  // loading leaves the selection alone
}

namespace {

// The loader as a plain walk over the parsed tree, the way the file format
// is defined: the loader reads the file through an element sink instead, and
// must find the same charts.
std::vector<std::pair<std::wstring, size_t>> ChartsByTreeWalk(const std::wstring& path, bool& ok) {
    std::vector<std::pair<std::wstring, size_t>> out;
    xml::XmlResult r;
    const xml::XmlNode doc = xml::XmlNode::ParseFile(path, &r);
    int cursor = 0;
    const xml::XmlNode charts = doc.GetChildFrom(L"Charts", &cursor);
    ok = r.error == xml::XmlError::kNone && !charts.IsEmpty();
    if (!ok)
        return out;
    int chartCursor = 0;
    for (xml::XmlNode c; !(c = charts.GetChildFrom(L"Chart", &chartCursor)).IsEmpty();) {
        size_t points = 0;
        int dataCursor = 0;
        while (!c.GetChildFrom(L"Data", &dataCursor).IsEmpty()) ++points;
        out.emplace_back(c.GetAttribute(L"Name") ? c.GetAttribute(L"Name") : L"", points);
    }
    return out;
}

}  // namespace

TEST_F(ChartFile, LoaderFindsWhatATreeWalkFinds) {
    const wchar_t* documents[] = {
        // The declaration holds the document.
        L"<?xml version=\"1.0\"?><Charts><Chart Name=\"a\"><Data/><Data/></Chart></Charts>",
        // Charts nested in Charts: the returned node is the outer one.
        // NOLINTNEXTLINE(bugprone-suspicious-missing-comma): one document, split to fit
        L"<?xml?><Charts><Charts><Chart Name=\"inner\"><Data/></Chart></Charts>"
        L"<Chart Name=\"outer\"/></Charts>",
        L"<Charts><Charts><Chart Name=\"inner\"/></Charts><Chart Name=\"outer\"/></Charts>",
        // A second top-level element: the root is returned, its first Charts is read.
        L"<Charts><Chart Name=\"first\"/></Charts><Charts><Chart Name=\"second\"/></Charts>",
        L"<x/><Charts><Chart Name=\"after x\"><Data/></Chart></Charts>",
        // A text or comment beside the only element keeps the root.
        L"<Charts><Chart Name=\"t\"/></Charts>tail",
        L"<!-- c --><Charts><Chart Name=\"c\"/></Charts>",
        L"<?xml?><Charts><Chart Name=\"a\"><Data/><Chart Name=\"deep\"/></Chart>"
        L"<Charts><Chart Name=\"not read\"/></Charts><!-- x --><Chart Name=\"b\"/></Charts>",
        L"<?xml?><Other><Charts><Chart/></Charts></Other>",
        // Two declarations: the first holds the second.
        L"<?xml?><?xml?><Charts><Chart Name=\"two decls\"/></Charts>",
    };
    for (const wchar_t* text : documents) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(text)));
        const std::wstring path = WriteFile("d.xml", Utf16(text));
        bool treeOk = false;
        const auto expected = ChartsByTreeWalk(path, treeOk);
        ChartSet m;
        std::set<int> ids;
        std::wstring error;
        ASSERT_EQ(m.LoadChartsXml(path, ids, error), treeOk) << testing::PrintToString(error);
        std::vector<std::pair<std::wstring, size_t>> loaded;
        for (const auto& [id, s] : m.Charts()) loaded.emplace_back(s->name, s->Points().size());
        EXPECT_EQ(loaded, expected);
    }
}
