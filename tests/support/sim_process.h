#pragma once
// A calvero-sim child process on a free port of 127.0.0.1 for the end-to-end
// tests, stopped with SIGTERM when the test is done.

#include <csignal>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/process.h"

namespace test_support {

class SimProcess {
public:
    explicit SimProcess(std::vector<std::string> extra = {}, bool quiet = true) {
        std::vector<std::string> argv = {CALVERO_SIM_PATH, "--bind", "127.0.0.1", "--port", "0"};
        if (quiet)
            argv.push_back("--quiet");
        argv.insert(argv.end(), extra.begin(), extra.end());
        process_ = std::make_unique<Process>(argv);
        static const std::string kListening = "calvero-sim listening on 127.0.0.1:";
        std::string line;
        if (process_->ReadLine(line, 5000) && line.rfind(kListening, 0) == 0)
            port_ = line.substr(kListening.size());
    }
    ~SimProcess() {
        process_->Signal(SIGTERM);
        process_->Wait(5000);
    }
    const std::string& Port() const { return port_; }
    Process& Proc() { return *process_; }
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
