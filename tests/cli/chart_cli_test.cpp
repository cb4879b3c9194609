#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "chart/chart_container_model.h"
#include "tests/support/temp_dir.h"

namespace {

struct Outcome {
    int code = -1;
    std::string out, err;
};

class ChartCli : public testing::Test {
protected:
    std::string Path(const std::string& name) const { return dir_.Path(name); }
    std::string Write(const std::string& name, const std::string& text) const {
        return dir_.Write(name, text);
    }
    std::string Read(const std::string& path) const {
        return test_support::TempDir::ReadFile(path);
    }
    Outcome Run(const std::vector<std::string>& args) const {
        std::string command = "'" CALVEROCTL "'";
        for (const std::string& a : args) command += " '" + a + "'";
        command += " >'" + Path("stdout") + "' 2>'" + Path("stderr") + "'";
        Outcome o;
        const int status = std::system(command.c_str());
        o.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        o.out = Read(Path("stdout"));
        o.err = Read(Path("stderr"));
        return o;
    }

    test_support::TempDir dir_;
};

}  // namespace

TEST_F(ChartCli, FromCsvThenInfoCsvAndStats) {
    const std::string csv = Write(
        "p.csv", "\xEF\xBB\xBFtime,temp\r\n40,30\r\n0,20\r\n\r\n10, 50\r\n20,80\r\n30,\"80\"\r\n");
    const std::string xml = Path("p.xml");
    Outcome o = Run({"chart", "from-csv", csv, xml, "--name", "Profile A", "--ylabel", "deg C"});
    ASSERT_EQ(o.code, 0) << o.err;

    o = Run({"chart", "info", xml});
    EXPECT_EQ(o.code, 0);
    EXPECT_EQ(o.out, "0\tProfile A\tdeg C\t5\t0\t40.000\t20.000\t80.000\n");

    o = Run({"chart", "csv", xml});
    EXPECT_EQ(o.out,
              "Profile A x,Profile A deg C\n0.000000,20.000000\n10.000000,50.000000\n"
              "20.000000,80.000000\n30.000000,80.000000\n40.000000,30.000000\n");

    o = Run({"chart", "stats", xml, "5", "35"});
    EXPECT_EQ(o.code, 0);
    EXPECT_EQ(o.out,
              "Profile A\t35.000\t55.000\t20.000\t0.667\t35.000\t80.000\t60.000\t2000.000\n");
    o = Run({"chart", "stats", xml, "100", "200"});
    EXPECT_EQ(o.out, "Profile A\t-\t-\t-\t-\t-\t-\t-\t-\n");
    o = Run({"chart", "stats", xml, "40", "50"});  // one point: no slope
    EXPECT_EQ(o.out, "Profile A\t30.000\t30.000\t0\t-\t30.000\t30.000\t30.000\t0\n");
}

TEST_F(ChartCli, StatsShowEveryChartWithPointsInIdOrder) {
    chart::CChartContainerModel m;
    const int a = m.AddChart(std::vector<chart::ChartPoint>{{0, 0.0004}, {1, -0.0004}},
                             L"tiny\tname", L"", 0, 2.0f, 0.0f, 0xFF000000);
    const int b = m.AddChart(std::vector<chart::ChartPoint>{{0, 1}, {2, 3}}, L"Two, \"quoted\"",
                             L"", 0, 2.0f, 0.0f, 0xFF000000);
    const std::string file = Path("two.xml");
    std::wstring error;
    ASSERT_TRUE(m.SaveChartsXml(std::wstring(file.begin(), file.end()), {a, b}, error));

    Outcome o = Run({"chart", "stats", file, "0", "1"});
    EXPECT_EQ(o.out,
              "tiny name\t0\t0\t0\t0\t0\t0\t0\t0\n"
              "Two, \"quoted\"\t1.000\t2.000\t1.000\t1.000\t1.000\t2.000\t1.500\t1.500\n");
    o = Run({"chart", "csv", file});
    // Names are quoted where they must be; the shorter column ends early.
    EXPECT_EQ(o.out,
              "tiny\tname x,tiny\tname Y,\"Two, \"\"quoted\"\" x\",\"Two, \"\"quoted\"\" Y\"\n"
              "0.000000,0.000400,0.000000,1.000000\n1.000000,-0.000400,2.000000,3.000000\n");
}

TEST_F(ChartCli, Failures) {
    struct Case {
        const char* what;
        std::vector<std::string> args;
        int code;
        std::string err;  // expected within standard error
    } cases[] = {
        {"missing file",
         {"chart", "info", Path("none.xml")},
         1,
         "Error: File not found \"" + Path("none.xml") + "\": No such file or directory\n"},
        {"not a chart file",
         {"chart", "csv", Write("x.xml", "<?xml?><Other/>")},
         1,
         "Invalid XML!\n"},
        {"malformed file",
         {"chart", "info", Write("m.xml", "<?xml?><Charts><Chart></Charts>")},
         1,
         "Warning: Unmatched end tag\n"},
        {"malformed line",
         {"chart", "from-csv", Write("bad.csv", "x,y\n1,2\n\n3;4\n"), Path("o.xml")},
         1,
         "bad.csv:4: malformed line"},
        {"header only on the first line",
         {"chart", "from-csv", Write("h.csv", "1,2\nx,y\n"), Path("o.xml")},
         1,
         "h.csv:2: malformed line"},
        {"no points",
         {"chart", "from-csv", Write("e.csv", "x,y\n"), Path("o.xml")},
         1,
         "no points"},
        {"not a finite number",
         {"chart", "from-csv", Write("n.csv", "x,y\n1,nan\n"), Path("o.xml")},
         1,
         "n.csv:2: malformed line"},
        {"missing CSV",
         {"chart", "from-csv", Path("none.csv"), Path("o.xml")},
         1,
         "Error: File not found\n"},
        {"unwritable output",
         {"chart", "from-csv", Write("ok.csv", "1,2\n"), Path("no/dir/o.xml")},
         1,
         "Error: unable to open file for writing \"" + Path("no/dir/o.xml") +
             "\": No such file or directory\n"},
        {"endless device",
         {"chart", "info", "/dev/zero"},
         1,
         "Error: Not a regular file \"/dev/zero\"\n"},
        {"directory",
         {"chart", "csv", dir_.Dir()},
         1,
         "Error: Not a regular file \"" + dir_.Dir() + "\"\n"},
        {"endless device as CSV",
         {"chart", "from-csv", "/dev/zero", Path("o.xml")},
         1,
         "Error: Not a regular file\n"},
        {"bad range",
         {"chart", "stats", Path("none.xml"), "a", "1"},
         2,
         "FROM and TO must be numbers"},
        {"unknown subcommand", {"chart", "draw"}, 2, "usage:"},
        {"option without value", {"chart", "from-csv", "a", "b", "--name"}, 2, "usage:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Outcome o = Run(c.args);
        EXPECT_EQ(o.code, c.code);
        EXPECT_NE(o.err.find(c.err), std::string::npos) << o.err;
        EXPECT_EQ(o.out, "");
    }
}
