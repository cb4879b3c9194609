#pragma once
// A calvero-sim child process for the tests, stopped with SIGTERM when the
// test is done. The one way the tests start the simulator: it returns once
// the simulator listens (or has failed to), so nothing need retry or sleep.

#include <csignal>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/process.h"

namespace test_support {

class SimProcess {
public:
    // Listens on 127.0.0.1, on a free port, printing nothing but errors
    // unless quiet is false; `extra` follows, and where it repeats an
    // option (--bind, --port) it wins. Waits up to 5 s for the listening line.
    explicit SimProcess(std::vector<std::string> extra = {}, bool quiet = true) {
        std::vector<std::string> argv = {CALVERO_SIM_PATH, "--bind", "127.0.0.1", "--port", "0"};
        if (quiet)
            argv.push_back("--quiet");
        argv.insert(argv.end(), extra.begin(), extra.end());
        process_ = std::make_unique<Process>(argv);
        static const std::string kListening = "calvero-sim listening on ";
        std::string line;
        if (process_->ReadLine(line, 5000) && line.rfind(kListening, 0) == 0) {
            const size_t colon = line.rfind(':');
            if (colon != std::string::npos && colon >= kListening.size())
                port_ = line.substr(colon + 1);
        }
    }
    ~SimProcess() {
        process_->Signal(SIGTERM);
        process_->Wait(5000);
    }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // Whether it listens; the port it listens on (empty when it does not).
    bool Listening() const { return !port_.empty(); }
    const std::string& Port() const { return port_; }
    Process& Proc() { return *process_; }
    std::string Err() const { return process_->Err(); }
    // Waits for a stdout line that starts with `prefix` (needs quiet false).
    bool WaitForLine(const std::string& prefix, int timeoutMs) {
        std::string line;
        while (process_->ReadLine(line, timeoutMs)) {
            if (line.rfind(prefix, 0) == 0)
                return true;
        }
        return false;
    }

private:
    std::unique_ptr<Process> process_;
    std::string port_;
};

}  // namespace test_support
