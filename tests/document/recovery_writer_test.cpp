// The recovery writer: the file it writes on its own thread is the one the
// model itself would have saved, from the points of the moment it started.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <future>
#include <span>
#include <string>
#include <vector>

#include "document/recovery_writer.h"
#include "tests/support/temp_dir.h"

using document::RecoveryWriter;
using test_support::TempDir;

namespace {

std::vector<chart::ChartPoint> Ramp(size_t n, double slope) {
    std::vector<chart::ChartPoint> p(n);
    for (size_t i = 0; i < n; ++i) p[i] = {double(i) * 0.01, 20.0 + slope * double(i)};
    return p;
}

// Charts of several styles: an empty one (the file leaves it out), a long
// one, a name at the length limit and a spline.
void Fill(chart::ChartSet& model) {
    model.AddChart(Ramp(5000, 0.01), L"Temp Main", L"Temperature", 0, 1.0f, 0.0f, 0xFFFF0000u);
    model.AddChart({}, L"Profile", L"Temperature", 0, 2.0f, 0.0f, 0xFFFFA500u);
    model.AddChart(Ramp(3, -1.5), L"EighteenCharacters", L"%", 3, 1.5f, 0.5f, 0x80112233u);
}

std::string SavedByModel(const chart::ChartSet& model, const TempDir& dir) {
    std::set<int> ids;
    model.GetChartIds(ids);
    std::wstring error;
    EXPECT_TRUE(model.SaveChartsXml(dir.WPath("model.tvr"), ids, error));
    return dir.Read("model.tvr");
}

TEST(RecoveryWriter, WritesWhatTheModelWouldSaveFromThePointsAtTheStart) {
    TempDir dir;
    chart::ChartSet model;
    Fill(model);
    const std::string expected = SavedByModel(model, dir);

    RecoveryWriter writer;
    std::promise<std::pair<bool, std::wstring>> result;
    ASSERT_TRUE(writer.Start(model, dir.WPath("recovery.tvr"), [&](bool ok, const std::wstring& e) {
        result.set_value({ok, e});
    }));
    // The record goes on while the file is written; the file does not see it.
    const auto more = Ramp(20000, 0.02);
    model.AppendChartPoints(0, more);
    model.ClearChartPoints(2);
    model.AddChart(Ramp(10, 1.0), L"Imported", L"Y", 0, 1.0f, 0.0f, 0xFF000000u);
    writer.Wait();

    const auto [ok, error] = result.get_future().get();
    EXPECT_TRUE(ok) << std::string(error.begin(), error.end());
    EXPECT_FALSE(writer.Busy());
    EXPECT_EQ(expected, dir.Read("recovery.tvr"));
}

// The writing thread reads the chart's chunks while the window thread goes
// on appending to them (past a chunk's end too), clears and refills another
// chart: the file holds the points of the moment the write started, and
// under ThreadSanitizer no access of the one races with the other.
TEST(RecoveryWriter, ReadsThePointsWhilePointsAreAppended) {
    TempDir dir;
    chart::ChartSet model;
    // A few points short of a chunk's end, so that the appends start a chunk.
    const size_t start = chart::point_chunks::kGrowingPoints - 40;
    const int live = model.AddChart(Ramp(start, 0.001), L"Temp Main", L"Temperature", 0, 1.0f, 0.0f,
                                    0xFFFF0000u);
    const int profile =
        model.AddChart(Ramp(300, 0.5), L"Profile", L"Temperature", 0, 2.0f, 0.0f, 0xFFFFA500u);
    const std::string expected = SavedByModel(model, dir);

    RecoveryWriter writer;
    std::atomic<bool> written{false};
    ASSERT_TRUE(writer.Start(model, dir.WPath("recovery.tvr"),
                             [&](bool ok, const std::wstring&) { written = ok; }));
    // Appends go on at least past the chunk's end and for as long as the
    // write runs.
    size_t appended = 0;
    while (appended < 2000 || writer.Busy()) {
        const chart::ChartPoint p{double(start + appended) * 0.01, double(appended % 97)};
        ASSERT_TRUE(model.AppendChartPoints(live, std::span(&p, 1)));
        ++appended;
        if (appended == 100) {
            model.ClearChartPoints(profile);
            model.AppendChartPoints(profile, Ramp(50, -1.0));
        }
    }
    writer.Wait();
    EXPECT_TRUE(written.load());
    EXPECT_EQ(expected, dir.Read("recovery.tvr"));
    EXPECT_EQ(start + appended, model.FindChart(live)->Points().size());
}

TEST(RecoveryWriter, OneWriteAtATime) {
    TempDir dir;
    chart::ChartSet model;
    Fill(model);
    RecoveryWriter writer;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    ASSERT_TRUE(writer.Start(model, dir.WPath("a.tvr"),
                             [released](bool, const std::wstring&) { released.wait(); }));
    EXPECT_TRUE(writer.Busy());
    EXPECT_FALSE(writer.Start(model, dir.WPath("b.tvr"), nullptr));
    release.set_value();
    writer.Wait();
    EXPECT_FALSE(writer.Busy());
    EXPECT_TRUE(writer.Start(model, dir.WPath("b.tvr"), nullptr));
    writer.Wait();
    EXPECT_EQ(dir.Read("a.tvr"), dir.Read("b.tvr"));
}

TEST(RecoveryWriter, AFailedWriteReportsTheWritersText) {
    TempDir dir;
    chart::ChartSet model;
    Fill(model);
    RecoveryWriter writer;
    bool ok = true;
    std::wstring error;
    ASSERT_TRUE(writer.Start(model, dir.WPath("no-such-folder/recovery.tvr"),
                             [&](bool o, const std::wstring& e) {
                                 ok = o;
                                 error = e;
                             }));
    writer.Wait();
    EXPECT_FALSE(ok);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(0u, dir.Entries());
    // Its owner hears of it once, on its own thread.
    EXPECT_EQ(std::optional<std::wstring>(error), writer.TakeFailure());
    EXPECT_EQ(std::nullopt, writer.TakeFailure());
    ASSERT_TRUE(writer.Start(model, dir.WPath("recovery.tvr")));
    EXPECT_EQ(std::nullopt, writer.TakeFailure());
}

TEST(RecoveryWriter, TheRecoveryFileKeepsTheChartNamesAPlainSaveKeeps) {
    TempDir dir;
    chart::ChartSet model;
    Fill(model);
    // Names the model would never give a new chart: two alike, one long.
    const int twin =
        model.AddChart(Ramp(4, 0.5), L"Twin", L"Temperature", 0, 1.0f, 0.0f, 0xFF00FF00u);
    const int other =
        model.AddChart(Ramp(4, 1.0), L"Other", L"Temperature", 0, 1.0f, 0.0f, 0xFF0000FFu);
    const int longer =
        model.AddChart(Ramp(4, 2.0), L"L", L"Temperature", 0, 1.0f, 0.0f, 0xFF000000u);
    model.FindChart(twin)->name = L"Temp Main";
    model.FindChart(other)->name = L"Temp Main";
    model.FindChart(longer)->name = L"A name of twenty-nine letters";
    const std::string expected = SavedByModel(model, dir);

    std::wstring error;
    document::RecoveryFile file =
        document::RecoveryFile::Reserve(dir.WPath("rec"), L"r.tvr", error);
    ASSERT_TRUE(file.Valid());
    RecoveryWriter writer;
    ASSERT_TRUE(writer.Start(model, file));
    writer.Wait();
    EXPECT_EQ(std::nullopt, writer.TakeFailure());
    EXPECT_EQ(expected, dir.Read("rec/r.tvr"));
    // Written whole on the spot too (after a failed save), the same.
    ASSERT_TRUE(document::WriteRecoverySnapshot(document::TakeSnapshot(model), file, error));
    EXPECT_EQ(expected, dir.Read("rec/r.tvr"));
    EXPECT_EQ(1u, std::distance(std::filesystem::directory_iterator(dir.Path("rec")), {}));

    // Read back, the names are the plain save's, read back.
    auto names = [](const std::wstring& path) {
        chart::ChartSet m;
        std::set<int> ids;
        std::wstring e;
        EXPECT_TRUE(m.LoadChartsXml(path, ids, e));
        std::vector<std::wstring> out;
        out.reserve(ids.size());
        for (int id : ids) out.push_back(m.FindChart(id)->name);
        return out;
    };
    const std::vector<std::wstring> plain = names(dir.WPath("model.tvr"));
    EXPECT_EQ(plain, names(dir.WPath("rec/r.tvr")));
    EXPECT_EQ(3, std::count_if(plain.begin(), plain.end(),
                               [](const std::wstring& n) { return n.starts_with(L"Temp Main"); }));
}

}  // namespace
