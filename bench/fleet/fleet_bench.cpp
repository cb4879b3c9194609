// Many controllers baking at once in one program: calvero-sim children on
// their own loopback addresses (127.0.0.10 and up, device IDs 1001 and up,
// 10 gauge packets a second, each bake started by the simulator itself), the
// real operator program built in this process (offscreen, 1600 x 1000 unless
// QT_QPA_PLATFORM says otherwise) with every controller connected through
// the real links, and every live record drawn: once all of them bake, their
// windows are tiled so that each chart is in sight and repaints.
//
// The same windows of wall-clock time are measured twice, each in a child
// process of its own: with one controller and with all of them. A run has
// two windows of equal length, first the one for the processor time, then
// the one for stalls:
//   - packets: gauge packets the control panels received in both windows;
//   - lost_packets: packets the simulators sent that never arrived, from the
//     gaps in each controller's gauge timestamps (its simulated clock moves
//     one packet period per packet, so a gap of k periods is k - 1 lost);
//   - cpu_per_packet_us: the process's processor time (user + system) in the
//     first window over the packets received in it;
//   - stall_max_ms: the longest gap between the ticks of a 5 ms timer on the
//     window thread in the second window (the timer period included): the
//     longest the thread did not get back to its event loop. The timer's own
//     wake-ups would weigh far more beside one controller's 10 packets a
//     second than beside sixteen's, so it is kept out of the first window.
// Prints, as "name: value" lines, controllers, packets, lost_packets,
// stall_max_ms and stall_p99_ms (all of the many-controller run), the same
// with "_1" for the single one, cpu_per_packet_us_1 and cpu_per_packet_us_N,
// ratio (N over 1) and load_average. Exits 1 when a goal is missed (a packet
// lost, a link dropped or a bake not running through the windows, a stall
// over the stall limit, a ratio over the ratio limit, a message shown), 77
// outside a private network namespace.
//
// Usage: fleet_bench [--controllers N] [--seconds S] [--warmup S]
//                    [--speed F] [--stall-limit MS] [--ratio-limit R]
//        (run under scripts/isolated; defaults 16 controllers, two 30 s
//        windows after 5 s of warm-up, speed 1, limits 50 ms and 1.5)

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTemporaryDir>
#include <QTimer>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bake/controller_packets.h"
#include "bake/ui/control_panel.h"
#include "document/chart_document.h"
#include "document/live_recorder.h"
#include "platform/message_box.h"
#include "shell/application.h"
#include "shell/controller_session.h"
#include "shell/main_window.h"
#include "tests/support/process.h"
#include "tests/support/sim_process.h"

extern char** environ;

namespace {

constexpr int kWidth = 1600;
constexpr int kHeight = 1000;
constexpr double kRate = 10.0;  // gauge packets a second per controller
constexpr int kMaxControllers = 16;

struct Options {
    int controllers = kMaxControllers;
    double seconds = 30.0;
    double warmup = 5.0;
    double speed = 1.0;
    double stallLimitMs = 50.0;
    double ratioLimit = 1.5;
    int phase = 0;  // a measuring child: its number of controllers
};

bool ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        const char* value = argv[i + 1];
        if (key == "--controllers")
            o.controllers = std::atoi(value);
        else if (key == "--seconds")
            o.seconds = std::atof(value);
        else if (key == "--warmup")
            o.warmup = std::atof(value);
        else if (key == "--speed")
            o.speed = std::atof(value);
        else if (key == "--stall-limit")
            o.stallLimitMs = std::atof(value);
        else if (key == "--ratio-limit")
            o.ratioLimit = std::atof(value);
        else if (key == "--phase")
            o.phase = std::atoi(value);
        else
            return false;
    }
    return argc % 2 == 1 && o.controllers >= 1 && o.controllers <= kMaxControllers &&
           o.seconds > 0 && o.warmup >= 0 && o.speed > 0 && o.speed <= 1000 && o.stallLimitMs > 0 &&
           o.ratioLimit > 0 && o.phase >= 0 && o.phase <= kMaxControllers;
}

double WallMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

double ProcessCpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto ms = [](const timeval& t) { return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

double ThreadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

std::string Address(int index) {
    return "127.0.0." + std::to_string(10 + index);
}

// ---- one measured run ---------------------------------------------------

// Every box the program would show is printed and counted instead.
class Messages : public platform::MessageBox {
public:
    void ShowMessage(const std::wstring& text, platform::MessageIcon) override {
        std::fprintf(stderr, "message box: %ls\n", text.c_str());
        ++count;
    }
    int count = 0;
};

// A controller's gauge packets as its panel received them.
struct Stream {
    size_t packets = 0;
    size_t lost = 0;
    uint64_t last = 0;
    bool any = false;
    bool measuring = false;
};

// A timer of a few milliseconds on the window thread: the longest gap
// between its ticks is the longest the thread did not get back to its event
// loop. Its own wake-ups cost processor time, so it runs in a window of its
// own, after the one in which the processor time is measured.
class Heartbeat : public QObject {
public:
    static constexpr int kIntervalMs = 5;

    Heartbeat() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(kIntervalMs);
        connect(&timer_, &QTimer::timeout, this, [this] {
            const double now = WallMs();
            gaps_.push_back(now - last_);
            last_ = now;
        });
    }
    void Start() {
        last_ = WallMs();
        timer_.start();
    }
    void Stop() { timer_.stop(); }
    double Max() const { return gaps_.empty() ? 0 : *std::max_element(gaps_.begin(), gaps_.end()); }
    double Percentile(double share) const {
        if (gaps_.empty())
            return 0;
        std::vector<double> v = gaps_;
        const size_t k = std::min(v.size() - 1, size_t(share * double(v.size())));
        std::nth_element(v.begin(), v.begin() + std::ptrdiff_t(k), v.end());
        return v[k];
    }

private:
    QTimer timer_;
    double last_ = 0;
    std::vector<double> gaps_;
};

// The program's own event loop runs meanwhile: a loop that spun on
// processEvents() would be measured instead of the program.
void PumpFor(double ms) {
    QEventLoop loop;
    QTimer::singleShot(int(ms), Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

bool PumpUntil(const std::function<bool()>& done, double timeoutMs) {
    const double deadline = WallMs() + timeoutMs;
    while (!done()) {
        if (WallMs() > deadline)
            return false;
        PumpFor(50);
    }
    return true;
}

int RunPhase(const Options& o, int argc, char** argv) {
    const int n = o.phase;
    QTemporaryDir dir;
    // A fresh operator: no settings, records and recovery files of its own.
    const QByteArray home = dir.path().toLocal8Bit();
    setenv("HOME", home.constData(), 1);
    setenv("XDG_CONFIG_HOME", (home + "/config").constData(), 1);
    setenv("XDG_DATA_HOME", (home + "/data").constData(), 1);
    setenv("XDG_RUNTIME_DIR", home.constData(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);

    std::vector<std::unique_ptr<test_support::SimProcess>> sims;
    const std::string speed = std::to_string(o.speed);
    for (int i = 0; i < n; ++i) {
        sims.push_back(std::make_unique<test_support::SimProcess>(std::vector<std::string>{
            "--bind", Address(i), "--port", "5565", "--device-id", std::to_string(1001 + i),
            "--rate", "10", "--speed", speed, "--autostart", "1"}));
        if (!sims.back()->Listening()) {
            std::printf("FAIL: calvero-sim on %s does not listen: %s\n", Address(i).c_str(),
                        sims.back()->Err().c_str());
            return 1;
        }
    }

    QApplication qapp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Calvero"));
    Messages messages;
    shell::MainFrameServices services;
    services.messageBox = &messages;
    shell::DocumentServices docServices;
    docServices.recoveryFolder = dir.filePath(QStringLiteral("recovery"));
    docServices.askSaveChanges = [](QWidget*, const QString&) {
        return document::SaveChoice::Discard;
    };
    docServices.askRestoreRecovered = [](QWidget*, const QString&,
                                         const QList<document::RecoveryEntry>&,
                                         const std::function<void(document::RecoveryAnswer)>&) {};
    shell::CommandLineOptions options;
    options.recordsFolder = dir.filePath(QStringLiteral("records"));
    for (int i = 0; i < n; ++i) options.connectHosts << QString::fromStdString(Address(i));
    options.connectHost = options.connectHosts.first();

    shell::Application app;
    if (!app.InitInstance(options, services, docServices)) {
        std::printf("FAIL: the program did not start\n");
        return 1;
    }
    shell::MainWindow* frame = app.MainFrame();
    frame->showNormal();
    frame->setGeometry(0, 0, kWidth, kHeight);

    shell::Controllers* sessions = frame->Sessions();
    auto allBaking = [&] {
        if (sessions->Count() != n)
            return false;
        for (shell::ControllerSession* s : sessions->All()) {
            if (!s->Panel() || s->Panel()->State() != bake::ui::ControlState::CF_BAKING ||
                !s->Recorder() || !s->Recorder()->LiveRecord())
                return false;
        }
        return true;
    };
    if (!PumpUntil(allBaking, 30'000)) {
        std::printf("FAIL: %d of %d controllers connected, not all baking within 30 s\n",
                    sessions->ConnectedCount(), n);
        return 1;
    }
    // Every record in sight, as Window > Tile would place them.
    frame->MdiArea()->tileSubWindows();

    const double periodMs = 1000.0 / kRate * o.speed;  // simulated time per packet
    std::vector<Stream> streams(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        Stream* s = &streams[size_t(i)];
        QObject::connect(sessions->All()[i]->Panel(), &bake::ui::ControlPanel::gaugeReceived, &qapp,
                         [s, periodMs](const bake::CONCC_GaugeData& g) {
                             if (!s->measuring)
                                 return;
                             if (s->any) {
                                 const double gap = double(g.timestamp) - double(s->last);
                                 const long periods = std::lround(gap / periodMs);
                                 if (periods > 1)
                                     s->lost += size_t(periods - 1);
                             }
                             s->any = true;
                             s->last = g.timestamp;
                             ++s->packets;
                         });
    }
    Heartbeat heartbeat;

    PumpFor(o.warmup * 1000.0);
    for (Stream& s : streams) s.measuring = true;
    const double cpuStart = ProcessCpuMs();
    const double windowCpuStart = ThreadCpuMs();
    const double wallStart = WallMs();
    size_t packetsBefore = 0;
    PumpFor(o.seconds * 1000.0);
    const double cpuMs = ProcessCpuMs() - cpuStart;
    const double windowCpuMs = ThreadCpuMs() - windowCpuStart;
    for (const Stream& s : streams) packetsBefore += s.packets;
    // The same length again, the heartbeat running.
    heartbeat.Start();
    PumpFor(o.seconds * 1000.0);
    heartbeat.Stop();
    const double wallMs = WallMs() - wallStart;
    for (Stream& s : streams) s.measuring = false;

    size_t packets = 0, lost = 0;
    bool ok = true;
    for (int i = 0; i < n; ++i) {
        const Stream& s = streams[size_t(i)];
        packets += s.packets;
        lost += s.lost;
        shell::ControllerSession* session = sessions->All()[i];
        if (!session->Connected() ||
            session->Panel()->State() != bake::ui::ControlState::CF_BAKING) {
            std::printf(
                "FAIL: controller %d stopped baking or was disconnected within the window "
                "(lower --speed or --seconds)\n",
                1001 + i);
            ok = false;
        }
        // A stream that stalls shows as too few packets for the window.
        const double expected = wallMs / 1000.0 * kRate;
        if (double(s.packets) < expected * 0.9) {
            std::printf("FAIL: controller %d delivered %zu packets, %.0f expected\n", 1001 + i,
                        s.packets, expected);
            ok = false;
        }
    }
    for (int i = 0; i < n; ++i) {
        if (sims[size_t(i)]->Proc().Wait(0) >= 0) {
            std::printf("FAIL: calvero-sim %d ended early\n", 1001 + i);
            ok = false;
        }
    }
    std::printf("controllers: %d\n", n);
    std::printf("packets: %zu\n", packets);
    std::printf("lost_packets: %zu\n", lost);
    std::printf("stall_max_ms: %.1f\n", heartbeat.Max());
    std::printf("stall_p99_ms: %.2f\n", heartbeat.Percentile(0.99));
    std::printf("cpu_ms: %.0f\n", cpuMs);
    std::printf("wall_ms: %.0f\n", wallMs);
    std::printf("cpu_packets: %zu\n", packetsBefore);
    std::printf("cpu_per_packet_us: %.1f\n",
                packetsBefore ? cpuMs * 1000.0 / double(packetsBefore) : 0.0);
    // What the window thread took of it; the rest is the links' threads,
    // the record writers and the rest of the process.
    std::printf("window_cpu_per_packet_us: %.1f\n",
                packetsBefore ? windowCpuMs * 1000.0 / double(packetsBefore) : 0.0);
    std::printf("messages: %d\n", messages.count);
    std::printf("phase_ok: %d\n", ok ? 1 : 0);
    std::fflush(stdout);

    frame->close();
    app.ExitInstance(0);
    sims.clear();  // each stopped with SIGTERM
    return ok ? 0 : 1;
}

// ---- the two runs -------------------------------------------------------

using Figures = std::map<std::string, double>;

bool Measure(const std::string& self, const Options& o, int controllers, Figures& out) {
    std::vector<std::string> argv = {self,
                                     "--phase",
                                     std::to_string(controllers),
                                     "--seconds",
                                     std::to_string(o.seconds),
                                     "--warmup",
                                     std::to_string(o.warmup),
                                     "--speed",
                                     std::to_string(o.speed)};
    test_support::Process child(argv);
    if (!child.Started()) {
        std::printf("FAIL: cannot start %s\n", self.c_str());
        return false;
    }
    const int timeoutMs = int((2 * o.seconds + o.warmup + 120.0) * 1000.0);
    const int code = child.Wait(timeoutMs);
    std::istringstream lines(child.Out());
    std::string line;
    while (std::getline(lines, line)) {
        const size_t colon = line.find(": ");
        if (line.rfind("FAIL", 0) != 0 && colon != std::string::npos && line.find(' ') == colon + 1)
            out[line.substr(0, colon)] = std::atof(line.c_str() + colon + 2);
        else
            std::printf("%s\n", line.c_str());
    }
    if (code != 0)
        std::printf("FAIL: the run with %d controllers ended with %d\n", controllers, code);
    return code == 0 && out.count("packets") && out["phase_ok"] == 1.0;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!ParseOptions(argc, argv, o)) {
        std::fprintf(stderr,
                     "usage: fleet_bench [--controllers N] [--seconds S] [--warmup S] [--speed F]\n"
                     "                   [--stall-limit MS] [--ratio-limit R]\n");
        return 2;
    }
    const char* isolated = std::getenv("CALVERO_ISOLATED");
    if (!isolated || std::strcmp(isolated, "1") != 0) {
        std::fprintf(stderr,
                     "fleet_bench: run it under scripts/isolated (it binds 127.0.0.10 "
                     "and up and lets the simulators announce themselves)\n");
        return 77;
    }
    // The bake of the simulator's profile lasts six simulated minutes from a
    // second after connecting; the window must end well inside it.
    const double bakeSimSeconds = 360.0;
    if ((o.warmup + 2 * o.seconds + 15.0) * o.speed > bakeSimSeconds) {
        std::fprintf(stderr, "fleet_bench: the bakes would end within the window: lower --speed\n");
        return 2;
    }
    if (o.phase > 0)
        return RunPhase(o, argc, argv);

    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const std::string self = "/proc/self/exe";
    char path[4096];
    const ssize_t len = ::readlink(self.c_str(), path, sizeof path - 1);
    if (len <= 0)
        return 1;
    path[len] = 0;

    Figures one, many;
    bool ok = Measure(path, o, 1, one);
    ok = Measure(path, o, o.controllers, many) && ok;
    double load[1] = {0};
    getloadavg(load, 1);

    const double perPacket1 = one["cpu_per_packet_us"];
    const double perPacketN = many["cpu_per_packet_us"];
    const double ratio = perPacket1 > 0 ? perPacketN / perPacket1 : 0;
    std::printf("controllers: %d\n", o.controllers);
    std::printf("packets: %.0f\n", many["packets"]);
    std::printf("lost_packets: %.0f\n", many["lost_packets"]);
    std::printf("stall_max_ms: %.1f\n", many["stall_max_ms"]);
    std::printf("stall_p99_ms: %.2f\n", many["stall_p99_ms"]);
    std::printf("packets_1: %.0f\n", one["packets"]);
    std::printf("lost_packets_1: %.0f\n", one["lost_packets"]);
    std::printf("stall_max_ms_1: %.1f\n", one["stall_max_ms"]);
    std::printf("cpu_per_packet_us_1: %.1f\n", perPacket1);
    std::printf("cpu_per_packet_us_%d: %.1f\n", o.controllers, perPacketN);
    std::printf("window_cpu_per_packet_us_1: %.1f\n", one["window_cpu_per_packet_us"]);
    std::printf("window_cpu_per_packet_us_%d: %.1f\n", o.controllers,
                many["window_cpu_per_packet_us"]);
    std::printf("ratio: %.2f\n", ratio);
    std::printf("load_average: %.2f\n", load[0]);

    auto miss = [&ok](const char* what) {
        std::printf("goal missed: %s\n", what);
        ok = false;
    };
    if (many["lost_packets"] + one["lost_packets"] > 0)
        miss("packets lost");
    if (std::max(many["stall_max_ms"], one["stall_max_ms"]) > o.stallLimitMs)
        miss("window thread stalled over the limit");
    if (ratio > o.ratioLimit)
        miss("processor time per packet grows with the controllers");
    if (many["messages"] + one["messages"] > 0)
        miss("the program showed messages");
    return ok ? 0 : 1;
}
