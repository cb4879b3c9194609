#include "document/recovery_writer.h"

#include <cstdio>
#include <set>
#include <system_error>
#include <utility>

#include "platform/text_conversion.h"

namespace document {

std::vector<ChartSnapshot> TakeSnapshot(const chart::ChartSet& model) {
    std::vector<ChartSnapshot> charts;
    // Empty charts too: the writer leaves them out, as it does for the model.
    for (const auto& [id, s] : model.Charts()) {
        charts.push_back({s->name, s->yLabel.empty() ? L"Y" : s->yLabel, s->dashStyle, s->penWidth,
                          s->tension, s->color, s->Points().View()});
    }
    return charts;
}

bool WriteSnapshot(const std::vector<ChartSnapshot>& charts, const std::wstring& path,
                   std::wstring& error) {
    return chart::SaveChartsXml(charts, path, error);
}

bool WriteRecoverySnapshot(const std::vector<ChartSnapshot>& charts, RecoveryFile& file,
                           std::wstring& error) {
    if (!file.Valid()) {
        error = L"No recovery file";
        return false;
    }
    // Hidden, so that no scan of the folder takes it for a record, and in
    // the same folder, so that the rename is one step.
    const std::wstring temp = file.TempPath();
    if (WriteSnapshot(charts, temp, error) && file.ReplaceWith(temp, error))
        return true;
    std::remove(platform::WideToCodePage(temp).c_str());
    return false;
}

RecoveryWriter::~RecoveryWriter() {
    Wait();
}

bool RecoveryWriter::Start(const chart::ChartSet& model, const std::wstring& path, Done done) {
    if (Busy())
        return false;
    return Run([charts = TakeSnapshot(model),
                path](std::wstring& error) mutable { return WriteSnapshot(charts, path, error); },
               std::move(done));
}

bool RecoveryWriter::Start(const chart::ChartSet& model, RecoveryFile& file, Done done) {
    if (Busy())
        return false;
    return Run(
        [charts = TakeSnapshot(model), file = &file](std::wstring& error) mutable {
            return WriteRecoverySnapshot(charts, *file, error);
        },
        std::move(done));
}

bool RecoveryWriter::Run(std::function<bool(std::wstring& error)> write, Done done) {
    Wait();  // the last thread has finished; collect it
    running_->store(true);
    try {
        thread_ = std::thread(
            [this, write = std::move(write), done = std::move(done), running = running_]() mutable {
                std::wstring error;
                const bool ok = write(error);
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

void RecoveryWriter::Wait() {
    if (thread_.joinable())
        thread_.join();
}

std::optional<std::wstring> RecoveryWriter::TakeFailure() {
    if (Busy())
        return std::nullopt;
    Wait();
    return std::exchange(failure_, std::nullopt);
}

}  // namespace document
