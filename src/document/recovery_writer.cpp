#include "document/recovery_writer.h"

#include <set>
#include <system_error>
#include <utility>

namespace document {

std::vector<ChartSnapshot> TakeSnapshot(const chart::CChartContainerModel& model) {
    std::vector<ChartSnapshot> charts;
    // Empty charts too: the writer leaves them out, as it does for the model.
    for (const auto& [id, s] : model.Charts()) {
        charts.push_back(
            {s->name, s->yLabel, s->dashStyle, s->penWidth, s->tension, s->color, s->Points()});
    }
    return charts;
}

bool WriteSnapshot(std::vector<ChartSnapshot> charts, const std::wstring& path,
                   std::wstring& error) {
    chart::CChartContainerModel model;
    std::set<int> ids;
    for (ChartSnapshot& c : charts) {
        const int id =
            model.AddChart({}, c.name, c.yLabel, c.dashStyle, c.penWidth, c.tension, c.color);
        if (id < 0)
            break;
        chart::CChartSeries* s = model.FindChart(id);
        s->name = std::move(c.name);  // as it was, even where AddChart would rename it
        s->SetPoints(std::move(c.points));
        ids.insert(id);
    }
    return model.SaveChartsXml(path, ids, error);
}

CRecoveryWriter::~CRecoveryWriter() {
    Wait();
}

bool CRecoveryWriter::Start(const chart::CChartContainerModel& model, const std::wstring& path,
                            Done done) {
    if (Busy())
        return false;
    Wait();  // the last thread has finished; collect it
    running_->store(true);
    try {
        thread_ = std::thread([this, charts = TakeSnapshot(model), path, done = std::move(done),
                               running = running_]() mutable {
            std::wstring error;
            const bool ok = WriteSnapshot(std::move(charts), path, error);
            if (!ok)
                failure_ = error;
            if (done)
                done(ok, error);
            running->store(false);
        });
    } catch (const std::system_error&) {
        // No thread to be had: the next tick tries again.
        running_->store(false);
        return false;
    }
    return true;
}

void CRecoveryWriter::Wait() {
    if (thread_.joinable())
        thread_.join();
}

std::optional<std::wstring> CRecoveryWriter::TakeFailure() {
    if (Busy())
        return std::nullopt;
    Wait();
    return std::exchange(failure_, std::nullopt);
}

}  // namespace document
