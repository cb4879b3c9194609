// calveroctl chart report as an operator runs it: text, JSON, PDF, exit codes.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "chart/chart_set.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

using test_support::RunResult;

class ChartReportCli : public ::testing::Test {
protected:
    void SetUp() override {
        // Up at 2 C/s to 225, 50 s flat, down at 4 C/s; a profile 5 degrees above it.
        const chart::ChartPoint curve[] = {{0, 25}, {100, 225}, {150, 225}, {200, 25}};
        const chart::ChartPoint profile[] = {{0, 30}, {100, 230}, {150, 230}, {200, 30}};
        const chart::ChartPoint reference[] = {{0, 25}, {100, 228}, {150, 228}, {200, 25}};
        ASSERT_TRUE(Save("rec.tvr", {{L"Profile", profile}, {L"Temp Main", curve}}));
        ASSERT_TRUE(Save("ref.tvr", {{L"Temp Main", reference}}));
        dir.Write("lenient.txt",
                  "name = lenient\nts_min = 150\nts_max = 200\nt_l = 217\n"
                  "peak_c_min = 220\n");
        dir.Write("bad.txt", "ts_min = 150\npeak = 250\n");
    }

    struct Chart {
        const wchar_t* name;
        std::span<const chart::ChartPoint> points;
    };
    bool Save(const std::string& name, const std::vector<Chart>& charts) {
        chart::ChartSet model;
        std::set<int> ids;
        for (const Chart& c : charts)
            ids.insert(
                model.AddChart(c.points, c.name, L"Temperature", 0, 1.0f, 0.0f, 0xFFFF0000u));
        std::wstring error;
        return model.SaveChartsXml(dir.WPath(name), ids, error);
    }

    RunResult Report(std::vector<std::string> args) {
        std::vector<std::string> argv = {CALVEROCTL, "chart", "report"};
        for (std::string& a : args) {
            if (a.find('.') != std::string::npos && a[0] != '/')
                a = dir.Path(a);  // a file of this test
            argv.push_back(a);
        }
        return test_support::Run(argv);
    }

    test_support::TempDir dir;
};

TEST_F(ChartReportCli, ExitCodesAndWhatIsPrinted) {
    const struct {
        std::vector<std::string> args;
        int code;
        std::string out;  // found in stdout
        std::string err;  // found in stderr
    } cases[] = {
        {{"rec.tvr"}, 0, "verdict: none (no window)\n", ""},
        {{"rec.tvr", "--window", "pbfree"},
         3,
         "verdict: fail\n  peak_c 225 is below its minimum 235\n",
         ""},
        {{"rec.tvr", "--window", "lenient.txt"},
         0,
         "window: lenient (Ts 150-200 C, T_L 217 C)",
         ""},
        {{"rec.tvr", "--window", "lenient.txt"}, 0, "verdict: pass\n", ""},
        {{"rec.tvr", "--chart", "Profile", "--window", "snpb"}, 3, "chart: Profile\n", ""},
        {{"rec.tvr", "--chart", "Nope"}, 1, "", "no chart named \"Nope\""},
        {{"missing.tvr"}, 1, "", ""},
        {{"rec.tvr", "--window", "bad.txt"}, 1, "", "bad.txt:2: unknown key 'peak'"},
        {{"rec.tvr", "--window", "SnPb"}, 1, "", "SnPb: no such window file (nor pbfree or snpb)"},
        {{}, 2, "", "needs FILE"},
        {{"rec.tvr", "--bogus"}, 2, "", "unknown option --bogus"},
        {{"rec.tvr", "--chart"}, 2, "", "--chart needs a chart name"},
        {{"rec.tvr", "ref.tvr"}, 2, "", "takes one FILE"},
    };
    for (const auto& c : cases) {
        std::string line;
        for (const auto& a : c.args) line += a + " ";
        SCOPED_TRACE(line);
        const RunResult r = Report(c.args);
        EXPECT_EQ(c.code, r.code) << r.out << r.err;
        EXPECT_NE(std::string::npos, r.out.find(c.out)) << r.out;
        EXPECT_NE(std::string::npos, r.err.find(c.err)) << r.err;
        if (c.code == 1 || c.code == 2) {
            EXPECT_EQ("", r.out);
        }
    }
}

TEST_F(ChartReportCli, JsonIsOneObjectWithProfileAndReferenceDeviations) {
    const RunResult r =
        Report({"rec.tvr", "--json", "--window", "pbfree", "--reference", "ref.tvr"});
    EXPECT_EQ(3, r.code) << r.err;
    EXPECT_EQ(1, std::count(r.out.begin(), r.out.end(), '\n')) << r.out;
    for (const char* part : {
             "{\"chart\": \"Temp Main\", \"window\": \"pbfree\", \"peak_c\": 225, ",
             "\"profile_max_dev_c\": 5, \"profile_rms_dev_c\": 5, ",
             "\"reference_max_dev_c\": 3, ",
             "\"verdict\": \"fail\", \"failures\": [\"peak_c\", \"preheat_s\", "
             "\"time_above_liquidus_s\", \"time_within_5_of_peak_s\"]}\n",
         })
        EXPECT_NE(std::string::npos, r.out.find(part)) << part << "\n" << r.out;

    const RunResult none = Report({"rec.tvr", "--json"});
    EXPECT_EQ(0, none.code);
    EXPECT_NE(std::string::npos, none.out.find("\"window\": null")) << none.out;
    EXPECT_NE(std::string::npos, none.out.find("\"reference_max_dev_c\": null")) << none.out;
    EXPECT_NE(std::string::npos, none.out.find("\"verdict\": null, \"failures\": []}")) << none.out;
}

TEST_F(ChartReportCli, PdfHoldsTheRecordTheMetricsAndTheVerdict) {
    ASSERT_TRUE(std::filesystem::exists("/usr/bin/pdftotext"))
        << "poppler-utils is missing; scripts/setup.sh installs it";
    const RunResult r = Report({"rec.tvr", "--window", "pbfree", "--pdf", "out.pdf"});
    ASSERT_EQ(3, r.code) << r.err;
    const RunResult info = test_support::Run({"/usr/bin/pdfinfo", dir.Path("out.pdf")});
    ASSERT_EQ(0, info.code) << info.err;
    EXPECT_NE(std::string::npos, info.out.find("Pages:           1\n")) << info.out;
    EXPECT_NE(std::string::npos, info.out.find("Title:           Bake report: rec.tvr\n"));
    const RunResult text =
        test_support::Run({"/usr/bin/pdftotext", "-layout", dir.Path("out.pdf"), "-"});
    ASSERT_EQ(0, text.code) << text.err;
    for (const char* part :
         {"Bake report", "Record: rec.tvr", "Controller:", "Date:", "Rate of rise over 10 s",
          "time_above_liquidus_s", "profile_max_dev_c", "235 .. 260", "FAIL", "Verdict: FAIL",
          "peak_c 225 is below its minimum 235"})
        EXPECT_NE(std::string::npos, text.out.find(part)) << part << "\n" << text.out;

    const RunResult pass = Report({"rec.tvr", "--window", "lenient.txt", "--pdf", "pass.pdf"});
    ASSERT_EQ(0, pass.code) << pass.err;
    const RunResult passText = test_support::Run({"/usr/bin/pdftotext", dir.Path("pass.pdf"), "-"});
    EXPECT_NE(std::string::npos, passText.out.find("Verdict: PASS")) << passText.out;

    const RunResult unwritable =
        Report({"rec.tvr", "--pdf", dir.Path("no/such/folder") + "/x.pdf"});
    EXPECT_EQ(1, unwritable.code);
    EXPECT_NE(std::string::npos, unwritable.err.find("cannot write")) << unwritable.err;
}

}  // namespace
