// A bake of hours, fed as fast as the program takes it: a control panel
// and its live chart document, shown offscreen at 1600 x 900, receive the
// gauge packets of the bake (by default one hour at 100 a second of
// controller time) through the panel's packet entry, exactly as the link
// bridge hands them over while baking, so that the newest point stays in
// sight as in a live bake. Every ten seconds of controller time the record's
// recovery file is started as its timer would, within the packet's time.
//
// The window thread's time per packet, recovery ticks included, is what an
// operator feels as a stall: its longest and its 99th percentile are printed
// as "stall_max_ms:" and "stall_p99_ms:", the resident bytes per stored
// point as "bytes_per_point:".
//
// Prints the heap and resident memory per stored point, the points stored
// per channel, the paint time of the live view over the hour, the packets
// absorbed per second, and what writing the whole record costs: the
// recovery file's tick on the window thread, its write on its own thread,
// and the save when the bake ends. Exits 1 when a goal is missed: a packet
// lost on any gauge channel, a message or logged error during the bake, or
// a paint at the end slower than the paint-limit times the one at the start.
//
// Usage: record_soak [--hours H | --minutes M] [--rate R] [--paints N]
//                    [--paint-limit R] [--png FILE]
//        (run under QT_QPA_PLATFORM=offscreen; the defaults are one hour,
//        100 packets a second, 9 paints per sample and a limit of 2)

#include <QApplication>
#include <QFileInfo>
#include <QImage>
#include <QMdiArea>
#include <QTemporaryDir>

#include <malloc.h>
#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bake/controller_packets.h"
#include "bake/ui/control_panel.h"
#include "chart/ui/chart_widget.h"
#include "document/chart_document.h"
#include "document/chart_document_window.h"
#include "document/document_manager.h"
#include "document/live_recorder.h"
#include "document/recovery_writer.h"

namespace {

constexpr int kWidth = 1600;
constexpr int kHeight = 900;
// Milliseconds of controller time between packets, set from --rate.
uint64_t gPacketMs = 10;
constexpr uint64_t kRecoveryTickMs = 10'000;
constexpr uint64_t kClockAtStart = 7'200'000;  // the controller has been up for two hours
constexpr size_t kStartPackets = 1'000;

struct Options {
    double minutes = 60.0;
    double rate = 100.0;  // packets a second
    int paints = 9;
    double paintLimit = 2.0;
    std::string png;
};

bool ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        const char* value = argv[i + 1];
        if (key == "--minutes") {
            o.minutes = std::atof(value);
        } else if (key == "--hours") {
            o.minutes = std::atof(value) * 60.0;
        } else if (key == "--rate") {
            o.rate = std::atof(value);
        } else if (key == "--paints") {
            o.paints = std::atoi(value);
        } else if (key == "--paint-limit") {
            o.paintLimit = std::atof(value);
        } else if (key == "--png") {
            o.png = value;
        } else {
            return false;
        }
    }
    return argc % 2 == 1 && o.minutes > 0 && o.paints > 0 && o.paintLimit > 0 && o.rate >= 1 &&
           o.rate <= 1000 && std::fmod(1000.0, o.rate) == 0;
}

// ---- the bake -----------------------------------------------------------

// The profile the controller bakes, seconds and degrees: up to a soak, a
// short peak, and down again, one hour in all.
const std::array<std::pair<double, double>, 6> kProfile = {
    {{0, 25}, {900, 180}, {2700, 180}, {3000, 220}, {3300, 220}, {3600, 50}}};

double SetPoint(double t) {
    for (size_t i = 1; i < kProfile.size(); ++i) {
        const auto [t0, y0] = kProfile[i - 1];
        const auto [t1, y1] = kProfile[i];
        if (t <= t1)
            return y0 + (y1 - y0) * (t - t0) / (t1 - t0);
    }
    return kProfile.back().second;
}

// The plate follows its set point with a lag; the sensors read it with
// offsets and noise of a few hundredths to tenths of a degree, the board
// warms slowly, heater and fan drive follow the error.
class BakeSignal {
public:
    bake::CONCC_GaugeData Next() {
        const double t = double(index_) * double(gPacketMs) / 1000.0;
        const double set = SetPoint(t);
        plate_ += (set - plate_) * (double(gPacketMs) / 1000.0) / 40.0;
        const double heater = std::clamp(25.0 + 12.0 * (set - plate_) + 0.1 * set, 0.0, 100.0);
        const double fan = plate_ > set + 3.0 ? 100.0 : 20.0;

        bake::CONCC_GaugeData g;
        g.header.type = bake::CONCC_PKT_GAUGE_DATA;
        g.timestamp = kClockAtStart + index_ * gPacketMs;
        g.devState = bake::CONCC_DEV_BAKING;
        g.setupTemp = Centi(set);
        g.tempMain = Centi(plate_ + Noise(0.15));
        g.temp1 = Centi(plate_ - 1.5 + Noise(0.2));
        g.temp2 = Centi(plate_ + 0.8 + Noise(0.2));
        g.temp3 = Centi(plate_ + 2.2 + Noise(0.2));
        g.boardTemp = Centi(30.0 + 0.07 * (plate_ - 25.0) + Noise(0.05));
        g.heaterPercent = uint8_t(std::lround(heater));
        g.fanPercent = uint8_t(fan);
        g.fanRpm = uint32_t(std::max(0.0, fan * 28.0 + Noise(15.0)));
        ++index_;
        return g;
    }
    size_t Index() const { return index_; }

private:
    static int32_t Centi(double degrees) { return int32_t(std::lround(degrees * 100.0)); }
    double Noise(double sigma) { return sigma * normal_(rng_); }

    size_t index_ = 0;
    double plate_ = 25.0;
    std::mt19937 rng_{20261210};
    std::normal_distribution<double> normal_{0.0, 1.0};
};

std::vector<uint8_t> ProfileReport() {
    bake::CONCC_TempProfile p;
    p.header = {bake::CONCC_PKT_GET_PROFILE, 0, 1};
    p.startTime = kClockAtStart;
    for (const auto& [t, y] : kProfile)
        p.points.push_back({uint32_t(t * 1000.0), uint32_t(y * 100.0)});
    return bake::EncodeTempProfile(p);
}

// ---- what the program says ----------------------------------------------

// Every box and every error or warning counts against the run; all are printed.
class Complaints : public platform::MessageBox, public platform::TraceLog {
public:
    void ShowMessage(const std::wstring& text, platform::MessageIcon) override {
        std::printf("message box: %ls\n", text.c_str());
        ++count;
    }
    void TraceMessage(const wchar_t*, const wchar_t* format, ...) override {
        va_list args;
        va_start(args, format);
        lastMessage = Format(format, args);
        va_end(args);
    }
    void TraceError(const wchar_t*, const wchar_t* format, ...) override {
        va_list args;
        va_start(args, format);
        Complain("error", format, args);
        va_end(args);
    }
    void TraceWarning(const wchar_t*, const wchar_t* format, ...) override {
        va_list args;
        va_start(args, format);
        Complain("warning", format, args);
        va_end(args);
    }

    int count = 0;
    bool connecting = false;  // the panel logs its connection as an error line
    std::wstring lastMessage;

private:
    static std::wstring Format(const wchar_t* format, va_list args) {
        wchar_t text[1024];
        std::vswprintf(text, std::size(text), format, args);
        return text;
    }
    void Complain(const char* kind, const wchar_t* format, va_list args) {
        if (connecting)
            return;
        std::printf("log %s: %ls\n", kind, Format(format, args).c_str());
        ++count;
    }
};

// ---- measuring ----------------------------------------------------------

double ThreadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

long PreemptionsNow() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_nivcsw;
}

double WallMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct Memory {
    double heap = 0;  // bytes the allocator has handed out, mapped blocks included
    double rss = 0;   // resident bytes of the process
};

Memory MemoryNow() {
    Memory m;
    const struct mallinfo2 info = mallinfo2();
    m.heap = double(info.uordblks) + double(info.hblkhd);
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0)
            m.rss = std::atof(line.c_str() + 6) * 1024.0;
    }
    return m;
}

// Window-thread times per packet in steps of 10 us up to 1 s, the rest in
// the last bin: a bake of a day has too many packets to keep every time.
class StallHistogram {
public:
    void Add(double ms) {
        const size_t bin = std::min(size_t(ms * 100.0), bins_.size() - 1);
        ++bins_[bin];
        ++count_;
        max_ = std::max(max_, ms);
    }
    double Max() const { return max_; }
    // Upper edge of the bin that holds the given share of the packets.
    double Percentile(double share) const {
        const double want = share * double(count_);
        double seen = 0;
        for (size_t i = 0; i < bins_.size(); ++i) {
            seen += double(bins_[i]);
            if (seen >= want)
                return std::min(double(i + 1) / 100.0, max_);
        }
        return max_;
    }

private:
    std::vector<uint32_t> bins_ = std::vector<uint32_t>(100'000);
    size_t count_ = 0;
    double max_ = 0;
};

struct PaintFigure {
    size_t packets = 0;  // fed when the sample was taken
    double cpuMs = 0;    // median thread CPU time of a paint
    double wallMs = 0;   // median wall time of a paint
};

// ---- the soak -----------------------------------------------------------

class Soak {
public:
    explicit Soak(const Options& options) : options_(options) {
        area_.resize(kWidth, kHeight);
        panel_.SetTraceLog(&complaints_);
        panel_.SetMessageBox(&complaints_);
        auto context = std::make_shared<document::DocumentContext>();
        context->messages = &complaints_;
        context->log = &complaints_;
        context->recordsFolder = dir_.filePath(QStringLiteral("records"));
        context->recoveryFolder = dir_.filePath(QStringLiteral("recovery"));
        // Written on demand below, where it is timed; not by the wall clock.
        context->recoveryIntervalMs = 24 * 3600 * 1000;
        docs_ = std::make_unique<document::DocumentManager>(&area_, context);
        recorder_ = std::make_unique<document::LiveRecorder>(docs_.get());
        recorder_->Listen(&panel_);
        area_.show();
        complaints_.connecting = true;
        panel_.OnDeviceConnected();
        complaints_.connecting = false;
    }

    int Run();

private:
    void FeedOne() {
        const auto bytes = bake::EncodeGaugeData(signal_.Next());
        panel_.OnPacket(bytes.data(), uint32_t(bytes.size()));
    }
    // Also notes the slowest packets: the next one is due 10 ms later.
    void Feed(size_t untilPacket, double& feedMs) {
        const size_t tickEvery = std::max<size_t>(1, kRecoveryTickMs / gPacketMs);
        while (signal_.Index() < untilPacket) {
            const long switchesBefore = PreemptionsNow();
            const double start = WallMs();
            FeedOne();
            // The recovery timer fires between packets; its time is the
            // window thread's all the same.
            if (signal_.Index() % tickEvery == 0)
                ticks_ += doc_->StartRecoveryWrite();
            const double ms = WallMs() - start;
            stalls_.Add(ms);
            if (PreemptionsNow() == switchesBefore)
                unpreempted_.Add(ms);
            feedMs += ms;
            if (ms > slowestMs_) {
                slowestMs_ = ms;
                slowestPacket_ = signal_.Index();
            }
            overPeriod_ += ms > double(gPacketMs);
        }
    }
    bool OpenRecord();
    // A live frame: one more packet arrives, then the control repaints.
    PaintFigure SamplePaints();
    // The same frames once the operator has moved the view (by a pixel here):
    // new points land in a view that no longer scrolls.
    PaintFigure HeldViewPaints();
    size_t PointsStored(document::Channel c) const;
    size_t AllPoints() const;
    bool CheckNoDrop(size_t packets) const;
    void PrintMemory(const Memory& before, const Memory& after, size_t pointsBefore) const;
    bool MeasureRecordWrites();
    bool EndBake();
    void WritePng() const;

    Options options_;
    QTemporaryDir dir_;
    QMdiArea area_;
    bake::ui::ControlPanel panel_;
    Complaints complaints_;
    std::unique_ptr<document::DocumentManager> docs_;
    std::unique_ptr<document::LiveRecorder> recorder_;
    BakeSignal signal_;
    document::ChartDocument* doc_ = nullptr;
    document::ChartDocumentWindow* window_ = nullptr;
    chart::ui::ChartWidget* chart_ = nullptr;
    double slowestMs_ = 0;
    size_t slowestPacket_ = 0;
    size_t overPeriod_ = 0;       // packets that took longer than the packet period
    size_t ticks_ = 0;            // recovery writes started while feeding
    StallHistogram stalls_;       // wall time: what the operator waits
    StallHistogram unpreempted_;  // the packets no other thread took the core from
};

bool Soak::OpenRecord() {
    // The first Baking packet opens the record; the profile report follows.
    FeedOne();
    const auto report = ProfileReport();
    panel_.OnPacket(report.data(), uint32_t(report.size()));
    doc_ = docs_->ActiveDocument();
    if (!doc_ || !doc_->IsLiveBake()) {
        std::printf("FAIL: the first Baking packet opened no live record\n");
        return false;
    }
    window_ = docs_->WindowOf(doc_);
    window_->showMaximized();
    QCoreApplication::processEvents();
    chart_ = window_->Container();
    std::printf("record %s, chart control %dx%d\n", qPrintable(doc_->Title()), chart_->width(),
                chart_->height());
    return true;
}

PaintFigure Soak::SamplePaints() {
    std::vector<double> cpu, wall;
    for (int i = 0; i < options_.paints; ++i) {
        FeedOne();
        const double c0 = ThreadCpuMs(), w0 = WallMs();
        chart_->repaint();
        cpu.push_back(ThreadCpuMs() - c0);
        wall.push_back(WallMs() - w0);
    }
    return {signal_.Index(), Median(cpu), Median(wall)};
}

size_t Soak::PointsStored(document::Channel c) const {
    const chart::ChartSeries* s = chart_->Set().FindChart(doc_->Channels().Id(c));
    return s ? s->Points().size() : 0;
}

PaintFigure Soak::HeldViewPaints() {
    chart::ui::ViewMapping m = chart_->Mapping();
    m.originX -= 1.0;
    chart_->SetMapping(m);
    FeedOne();  // the view notices the operator's move
    if (window_->FollowsNewestPoint())
        std::printf("(the view still follows the newest point)\n");
    return SamplePaints();
}

size_t Soak::AllPoints() const {
    size_t points = 0;
    for (const auto& [id, s] : chart_->Set().Charts()) points += s->Points().size();
    return points;
}

bool Soak::CheckNoDrop(size_t packets) const {
    bool ok = true;
    std::printf("points stored per channel (packets fed while baking: %zu):\n", packets);
    for (int c = 0; c < document::kChannelCount; ++c) {
        const size_t stored = PointsStored(document::Channel(c));
        const bool gauge = c != document::kProfile;
        std::printf("  %-12ls %9zu%s\n", document::kChannelCharts[c].name, stored,
                    gauge ? "" : "  (from the profile report)");
        if (gauge && stored != packets) {
            std::printf("FAIL: %ls stored %zu points of %zu packets\n",
                        document::kChannelCharts[c].name, stored, packets);
            ok = false;
        }
    }
    return ok;
}

void Soak::PrintMemory(const Memory& before, const Memory& after, size_t pointsBefore) const {
    const size_t points = AllPoints();
    size_t capacity = 0;
    for (const auto& [id, s] : chart_->Set().Charts()) capacity += s->Points().capacity();
    const double added = double(points - pointsBefore);
    const double pointBytes = sizeof(chart::ChartPoint);
    std::printf("memory, over the %.0f points added after the start sample:\n", added);
    std::printf("  heap (allocator, in use + mapped): %7.2f bytes/point (%.1f MB)\n",
                (after.heap - before.heap) / added, (after.heap - before.heap) / 1e6);
    std::printf("  resident set (VmRSS):              %7.2f bytes/point (%.1f MB)\n",
                (after.rss - before.rss) / added, (after.rss - before.rss) / 1e6);
    std::printf("bytes_per_point: %.2f\n", (after.rss - before.rss) / added);
    std::printf("  of which point storage: %.0f bytes/point stored, %.2f reserved (%.1f MB)\n",
                pointBytes, pointBytes * double(capacity) / double(points),
                pointBytes * double(capacity) / 1e6);
    std::printf("  the rest of the heap (summaries, caches): %.2f bytes/point\n",
                (after.heap - before.heap - pointBytes * double(capacity)) / added);
}

bool Soak::MeasureRecordWrites() {
    // The recovery file as the timer writes it every ten seconds of a bake:
    // the window thread copies the points, a thread of its own writes them.
    // Beside it, the same file written on the window thread alone.
    const double syncStart = WallMs();
    if (!doc_->WriteRecoveryFile())
        return false;
    const double syncMs = WallMs() - syncStart;
    const double size = double(QFileInfo(doc_->RecoveryPath()).size());
    std::vector<double> tick;
    for (int i = 0; i < 3; ++i) {
        const double start = ThreadCpuMs();
        if (!doc_->StartRecoveryWrite())
            return false;
        tick.push_back(ThreadCpuMs() - start);
        doc_->WriteRecoveryFile();  // waits for the write in flight first
    }
    document::RecoveryWriter writer;
    double writtenMs = -1;
    const double start = WallMs();
    bool ok = false;
    writer.Start(chart_->Set(), dir_.filePath(QStringLiteral("timed.tvr")).toStdWString(),
                 [&](bool written, const std::wstring&) {
                     ok = written;
                     writtenMs = WallMs() - start;
                 });
    writer.Wait();
    std::printf("recovery file of the whole record, %.1f MB:\n", size / 1e6);
    std::printf("  window thread per tick (points copied): %7.1f ms CPU (median of 3)\n",
                Median(tick));
    std::printf("  written on its own thread:              %7.1f ms wall\n", writtenMs);
    std::printf("  written on the window thread instead:   %7.1f ms wall\n", syncMs);
    return ok;
}

bool Soak::EndBake() {
    // The controller goes Idle: the record is saved into the records folder.
    bake::CONCC_GaugeData idle = signal_.Next();
    idle.devState = bake::CONCC_DEV_IDLE;
    const auto bytes = bake::EncodeGaugeData(idle);
    const double start = WallMs();
    panel_.OnPacket(bytes.data(), uint32_t(bytes.size()));
    const double ms = WallMs() - start;
    std::printf("bake end, record saved: %.0f ms (%s)\n", ms,
                qPrintable(QFileInfo(doc_->FilePath()).fileName()));
    return !doc_->IsModified() && !doc_->FilePath().isEmpty() &&
           !QFileInfo::exists(doc_->RecoveryPath());
}

void Soak::WritePng() const {
    if (!options_.png.empty() && !chart_->grab().save(QString::fromStdString(options_.png)))
        std::printf("could not write %s\n", options_.png.c_str());
}

int Soak::Run() {
    const size_t total = size_t(std::llround(options_.minutes * 60.0 * 1000.0 / gPacketMs));
    const size_t samples = 10;  // paint samples spread over the run
    if (total < kStartPackets + samples * size_t(options_.paints) + 1)
        return std::printf("FAIL: too short a run\n"), 1;
    if (!OpenRecord())
        return 1;

    double feedMs = 0;
    Feed(kStartPackets, feedMs);
    std::vector<PaintFigure> paints{SamplePaints()};
    const size_t pointsBefore = AllPoints();
    const Memory before = MemoryNow();
    for (size_t s = 1; s <= samples; ++s) {
        Feed(total * s / samples - size_t(options_.paints), feedMs);
        paints.push_back(SamplePaints());
    }
    const Memory after = MemoryNow();
    const size_t fed = signal_.Index();

    std::printf("paint of the live view, %d paints per sample, one packet before each:\n",
                options_.paints);
    for (const PaintFigure& p : paints)
        std::printf("  after %7zu packets (%6.1f s): %6.2f ms CPU, %6.2f ms wall\n", p.packets,
                    double(p.packets * gPacketMs) / 1000.0, p.cpuMs, p.wallMs);
    const double ratio = paints.back().cpuMs / paints.front().cpuMs;
    std::printf("ratio: paint at the end / at the start = %.2f (goal <= %.2f)\n", ratio,
                options_.paintLimit);
    std::printf("feed: %zu packets in %.2f s (paints excluded): %.0f packets/s, %.2f us each\n",
                fed, feedMs / 1000.0, double(fed) / (feedMs / 1000.0),
                feedMs * 1000.0 / double(fed));
    std::printf("slowest packet: %.1f ms (packet %zu); %zu packets took longer than %d ms\n",
                slowestMs_, slowestPacket_, overPeriod_, int(gPacketMs));
    std::printf("recovery writes started while feeding: %zu\n", ticks_);
    // On a busy machine the slowest packets are those whose core another
    // process took; the thread's CPU clock is too coarse to tell, its count
    // of involuntary switches is not.
    std::printf("packets the window thread kept its core for: longest %.2f ms, p99 %.2f ms\n",
                unpreempted_.Max(), unpreempted_.Percentile(0.99));
    std::printf("stall_max_ms: %.2f\n", stalls_.Max());
    std::printf("stall_p99_ms: %.2f\n", stalls_.Percentile(0.99));
    std::printf("paint_start_ms: %.2f\n", paints.front().cpuMs);
    std::printf("paint_end_ms: %.2f\n", paints.back().cpuMs);

    bool ok = CheckNoDrop(fed);
    PrintMemory(before, after, pointsBefore);
    WritePng();
    const PaintFigure held = HeldViewPaints();
    std::printf("paint at the end with the view held: %.2f ms CPU, %.2f ms wall\n", held.cpuMs,
                held.wallMs);
    const bool written = MeasureRecordWrites() && EndBake();

    if (ratio > options_.paintLimit) {
        std::printf("FAIL: the paint at the end is %.2f times the one at the start\n", ratio);
        ok = false;
    }
    if (!written || complaints_.count > 0) {
        std::printf("FAIL: the record was not written, or the program complained\n");
        ok = false;
    }
    std::printf("%s\n", ok ? "soak passed" : "soak FAILED");
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: record_soak [--hours H | --minutes M] [--rate R] [--paints N] "
                     "[--paint-limit R] [--png FILE]\n");
        return 2;
    }
    gPacketMs = uint64_t(std::llround(1000.0 / options.rate));
    std::printf("soak: %.1f minutes of gauge packets at %d per second, %dx%d\n", options.minutes,
                int(1000 / gPacketMs), kWidth, kHeight);
    std::fflush(stdout);
    Soak soak(options);
    return soak.Run();
}
