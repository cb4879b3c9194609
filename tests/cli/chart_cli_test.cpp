#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "chart/chart_set.h"
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
    // Standard output goes to `out` (a file of the test's folder by default);
    // `wrap` is a shell command line around calveroctl's ("%s").
    Outcome Run(const std::vector<std::string>& args, std::string out = {},
                const std::string& wrap = "%s") const {
        if (out.empty())
            out = Path("stdout");
        std::string command = "'" CALVEROCTL "'";
        for (const std::string& a : args) command += " '" + a + "'";
        command += " >'" + out + "' 2>'" + Path("stderr") + "'";
        const size_t at = wrap.find("%s");
        command = wrap.substr(0, at) + command + wrap.substr(at + 2);
        Outcome o;
        const int status = std::system(command.c_str());
        o.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        o.out = out == Path("stdout") ? Read(out) : "";
        o.err = Read(Path("stderr"));
        return o;
    }
    // A chart file of `points` points.
    std::string ChartFile(const std::string& name, int points) const {
        chart::ChartSet m;
        std::vector<chart::ChartPoint> pts;
        pts.reserve(points);
        for (int i = 0; i < points; ++i) pts.push_back({i * 1.0, i * 0.5});
        const int id = m.AddChart(pts, L"A", L"Y", 0, 2.0f, 0.0f, 0xFF000000);
        std::wstring error;
        EXPECT_TRUE(m.SaveChartsXml(dir_.WPath(name), {id}, error));
        return Path(name);
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
    chart::ChartSet m;
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
         ("calveroctl: " + Path("none.xml") + ": No such file or directory\n")},
        {"missing folder",
         {"chart", "stats", Path("no/dir/f.xml"), "0", "1"},
         1,
         ("calveroctl: " + Path("no/dir/f.xml") + ": No such file or directory\n")},
        {"a file as folder",
         {"chart", "csv", Write("plain", "x") + "/f.xml"},
         1,
         ("calveroctl: " + Path("plain") + "/f.xml: Not a directory\n")},
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
         ("calveroctl: " + Path("none.csv") + ": No such file or directory\n")},
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

// A full standard output is a failure with its reason, whatever the command
// writes and however much.
TEST_F(ChartCli, OutputOntoAFullDeviceFails) {
    const std::string small = ChartFile("small.xml", 3), big = ChartFile("big.xml", 20000);
    const std::vector<std::vector<std::string>> cases = {
        {"chart", "info", small},
        {"chart", "csv", small},
        {"chart", "stats", small, "0", "2"},
        {"chart", "csv", big},
        {"chart", "--help"},
        {"--help"},
        {"--version"},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(testing::PrintToString(args));
        const Outcome o = Run(args, "/dev/full");
        EXPECT_EQ(o.code, 1);
        EXPECT_EQ(o.err, "calveroctl: cannot write to standard output: No space left on device\n");
    }
}

// A disk that fills up while the CSV goes out: a small tmpfs of the test's
// own mount namespace.
TEST_F(ChartCli, OutputOntoAFullDiskFails) {
    if (std::system("unshare -rm true >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "no mount namespace here";
    const std::string big = ChartFile("big.xml", 20000);
    const std::string mount = Path("mnt");
    std::filesystem::create_directory(mount);
    const std::string wrap =
        "unshare -rm sh -c \"mount -t tmpfs -o size=64k tmpfs '" + mount + "' && %s\"";
    const Outcome o = Run({"chart", "csv", big}, mount + "/out.csv", wrap);
    EXPECT_EQ(o.code, 1);
    EXPECT_EQ(o.err, "calveroctl: cannot write to standard output: No space left on device\n");

    // A picture that does not fit is failed and removed, not left half
    // written (the listing of the full disk is taken inside the namespace).
    if (Run({"--help"}).out.find("not in this build") == std::string::npos) {
        const std::string listing = Path("listing");
        const std::string picture = "unshare -rm sh -c \"mount -t tmpfs -o size=16k tmpfs '" +
                                    mount + "' && { %s; rc=\\$?; ls -A '" + mount + "' >'" +
                                    listing + "'; exit \\$rc; }\"";
        const std::string png = mount + "/out.png";
        const Outcome r = Run({"chart", "render", big, png, "--size", "2000x2000", "--points"},
                              Path("stdout"), picture);
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.err, "calveroctl: " + png + ": No space left on device\n");
        EXPECT_EQ(Read(listing), "");
    }

    // The same with room to spare succeeds (the tmpfs is not the fault).
    const std::string roomy =
        "unshare -rm sh -c \"mount -t tmpfs -o size=4m tmpfs '" + mount + "' && %s\"";
    EXPECT_EQ(Run({"chart", "csv", big}, mount + "/out.csv", roomy).code, 0);
}

TEST_F(ChartCli, HelpListsEverySubcommandAndTheExitCodes) {
    Outcome o = Run({"chart", "--help"});
    EXPECT_EQ(o.code, 0) << o.err;
    for (const char* sub : {"info", "csv", "stats", "from-csv", "render"})
        EXPECT_NE(o.out.find(std::string("calveroctl chart ") + sub + " "), std::string::npos)
            << sub << "\n"
            << o.out;
    o = Run({"--help"});
    EXPECT_EQ(o.code, 0) << o.err;
    const size_t table = o.out.find("\nexit codes:\n");
    ASSERT_NE(table, std::string::npos) << o.out;
    for (const char* row : {"\n  0  ", "\n  1  ", "\n  2  ", "\n  3  ", "\n  4  "})
        EXPECT_NE(o.out.find(row, table), std::string::npos) << row;
}
