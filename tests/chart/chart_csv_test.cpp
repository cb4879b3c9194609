// Charts as CSV: the column pairs, ragged ends and the file write.
#include "chart/chart_csv.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/support/private_mount.h"
#include "tests/support/temp_dir.h"

using chart::ChartPoint;
using chart::ChartSet;

TEST(ChartsCsv, ColumnPairsInIdOrderWithRaggedEnds) {
    ChartSet m;
    const int a = m.AddChart(std::vector<ChartPoint>{{0, 1}, {1, 2}, {2, 3}}, L"Temp Main",
                             L"Temperature", 0, 1.0f, 0.0f, 0xFF000000);
    const int empty = m.AddChart({}, L"Profile", L"Temperature", 0, 1.0f, 0.0f, 0xFF000000);
    const int b =
        m.AddChart(std::vector<ChartPoint>{{-3, 25.5}}, L"Heater", L"%", 0, 1.0f, 0.0f, 0xFF000000);
    EXPECT_EQ(
        "Temp Main x,Temp Main Temperature,Heater x,Heater %\n"
        "0.000000,1.000000,-3.000000,25.500000\n"
        "1.000000,2.000000,,\n"
        "2.000000,3.000000,,\n",
        chart::ChartsCsv(m, {a, empty, b}));
    // Only the charts asked for; none gives a bare header line.
    EXPECT_EQ("Heater x,Heater %\n-3.000000,25.500000\n", chart::ChartsCsv(m, {b, 99}));
    EXPECT_EQ("\n", chart::ChartsCsv(m, {empty}));
}

TEST(ChartsCsv, SavedFileAndUnwritablePath) {
    test_support::TempDir dir;
    ChartSet m;
    const int a = m.AddChart(std::vector<ChartPoint>{{0, 1}}, L"A", L"", 0, 1.0f, 0.0f, 0xFF000000);
    std::wstring error;
    ASSERT_TRUE(chart::SaveChartsCsv(m, {a}, dir.WPath("a.csv"), error)) << error.size();
    EXPECT_EQ("A x,A Y\n0.000000,1.000000\n", dir.Read("a.csv"));
    EXPECT_EQ(1u, dir.Entries());  // no temporary file left behind

    EXPECT_FALSE(chart::SaveChartsCsv(m, {a}, dir.WPath("no/such/dir/a.csv"), error));
    EXPECT_EQ(error, L"Unable to write " + dir.WPath("no/such/dir/a.csv") +
                         L": No such file or directory");
}

// A spreadsheet file is made like any other: a new one gets 0666 less the
// file mask, a replaced one keeps its mode.
TEST(ChartsCsv, NewFilesTakeTheMaskAndReplacedFilesKeepTheirMode) {
    test_support::TempDir dir;
    ChartSet m;
    const int a = m.AddChart(std::vector<ChartPoint>{{0, 1}}, L"A", L"", 0, 1.0f, 0.0f, 0xFF000000);
    auto mode = [&](const char* name) {
        struct stat st {};
        ::stat(dir.Path(name).c_str(), &st);
        return st.st_mode & 07777;
    };
    std::wstring error;
    const mode_t saved = ::umask(022);
    const bool made = chart::SaveChartsCsv(m, {a}, dir.WPath("new.csv"), error);
    ::umask(saved);
    ASSERT_TRUE(made);
    EXPECT_EQ(mode("new.csv"), 0644u);

    dir.Write("shared.csv", "old");
    ASSERT_EQ(::chmod(dir.Path("shared.csv").c_str(), 0664), 0);
    ASSERT_TRUE(chart::SaveChartsCsv(m, {a}, dir.WPath("shared.csv"), error));
    EXPECT_EQ(mode("shared.csv"), 0664u);
    EXPECT_EQ("A x,A Y\n0.000000,1.000000\n", dir.Read("shared.csv"));
    EXPECT_EQ(2u, dir.Entries());
}

// A disk that fills up keeps the old export whole and says why.
TEST(ChartsCsv, AFullDiskKeepsTheOldFile) {
    const auto outcome = test_support::InPrivateTmpfs("size=64k", [](const std::string& dir) {
        std::ofstream(dir + "/a.csv") << "old";
        ChartSet m;
        std::vector<ChartPoint> points(20000, ChartPoint{1, 2});
        const int a = m.AddChart(points, L"A", L"", 0, 1.0f, 0.0f, 0xFF000000);
        const std::wstring path(dir.begin(), dir.end());
        std::wstring error;
        std::string faults;
        if (chart::SaveChartsCsv(m, {a}, path + L"/a.csv", error))
            faults += "the save succeeded\n";
        if (error != L"Unable to write " + path + L"/a.csv: No space left on device")
            faults += "message: " + std::string(error.begin(), error.end()) + "\n";
        if (test_support::TempDir::ReadFile(dir + "/a.csv") != "old")
            faults += "the old file changed\n";
        size_t entries = 0;
        for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir)) ++entries;
        if (entries != 1)
            faults += "entries: " + std::to_string(entries) + "\n";
        return faults;
    });
    if (!outcome.ran)
        GTEST_SKIP() << "no private mount namespace: " << outcome.skipReason;
    EXPECT_EQ(outcome.faults, "");
}
