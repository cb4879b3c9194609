#pragma once
// Writes a live record's recovery file without holding up the window thread.
// An hour of a bake is a chart file of a few hundred megabytes whose writing
// takes the better part of a second; done every few seconds on the window
// thread it would freeze the program more and more as the bake goes on. The
// window thread only notes how many points each chart holds and takes a
// hold on the chunks they lie in (a few pointers per chart, however long the
// bake), and a thread of the writer's own turns those points into the file.
//
// Points once stored never move or change, and the window thread appends
// only past the counts the snapshot took, so the writing thread reads them
// while the bake goes on; the chunks stay alive while the snapshot holds
// them, even if the chart is cleared or closed meanwhile. Names and styles
// are copied. One write at a time per writer, so that an older snapshot
// never replaces a newer file.
//
// Every member: the owner's thread (the window thread). `done` runs on the
// writing thread.

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "chart/chart_set.h"
#include "chart/chart_xml_format.h"
#include "document/recovery_file.h"

namespace document {

// What the chart file keeps of one chart: its style and its points.
using ChartSnapshot = chart::SavedChart;

// Every chart, in id order (the order the file keeps them in).
std::vector<ChartSnapshot> TakeSnapshot(const chart::ChartSet& model);
// Writes the charts as a chart file, as the model's SaveChartsXml would have.
bool WriteSnapshot(const std::vector<ChartSnapshot>& charts, const std::wstring& path,
                   std::wstring& error);
// Writes the charts whole beside the recovery file and puts them in its
// place, keeping the claim: a kill at any moment leaves the last whole file.
bool WriteRecoverySnapshot(const std::vector<ChartSnapshot>& charts, RecoveryFile& file,
                           std::wstring& error);

class RecoveryWriter {
public:
    using Done = std::function<void(bool ok, const std::wstring& error)>;

    RecoveryWriter() = default;
    RecoveryWriter(const RecoveryWriter&) = delete;
    RecoveryWriter& operator=(const RecoveryWriter&) = delete;
    ~RecoveryWriter();  // waits for a write in flight

    // Takes a snapshot of the model's charts and writes them to `path` on the writer's
    // thread. False, and nothing started, while the last write still runs
    // (or when no thread can be started).
    bool Start(const chart::ChartSet& model, const std::wstring& path, Done done = nullptr);
    // The same into a claimed recovery file, which the writing thread uses
    // until the write has finished: the caller touches it only after Wait().
    bool Start(const chart::ChartSet& model, RecoveryFile& file, Done done = nullptr);
    bool Busy() const { return running_->load(); }
    // Returns once no write is in flight (at once when none is).
    void Wait();
    // The writer's text of the last finished write that failed, once; none
    // while a write is in flight.
    std::optional<std::wstring> TakeFailure();

private:
    bool Run(std::function<bool(std::wstring& error)> write, Done done);

    std::thread thread_;
    // Written by the thread, read only after it was joined.
    std::optional<std::wstring> failure_;
    // Shared with the thread: it clears the flag as its very last step.
    std::shared_ptr<std::atomic<bool>> running_ = std::make_shared<std::atomic<bool>>(false);
};

}  // namespace document
