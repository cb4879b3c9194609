// Charts as CSV: the column pairs, ragged ends and the file write.
#include "chart/chart_csv.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/temp_dir.h"

using chart::CChartContainerModel;
using chart::ChartPoint;

TEST(ChartsCsv, ColumnPairsInIdOrderWithRaggedEnds) {
    CChartContainerModel m;
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
    CChartContainerModel m;
    const int a = m.AddChart(std::vector<ChartPoint>{{0, 1}}, L"A", L"", 0, 1.0f, 0.0f, 0xFF000000);
    std::wstring error;
    ASSERT_TRUE(chart::SaveChartsCsv(m, {a}, dir.WPath("a.csv"), error)) << error.size();
    EXPECT_EQ("A x,A Y\n0.000000,1.000000\n", dir.Read("a.csv"));
    EXPECT_EQ(1u, dir.Entries());  // no temporary file left behind

    EXPECT_FALSE(chart::SaveChartsCsv(m, {a}, dir.WPath("no/such/dir/a.csv"), error));
    EXPECT_EQ(0u, error.find(L"Unable to write "));
}
