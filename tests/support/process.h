#pragma once
// Child processes for the tests that run the simulator, calveroctl or the
// program: start an executable with its stdout and stderr captured in files
// (a child never blocks on output nobody reads), read its output with time
// limits, stop it.

#include <signal.h>
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace test_support {

class Process {
public:
    Process() = default;
    // Starts `argv[0]` with the given arguments; check Started().
    explicit Process(const std::vector<std::string>& argv) { Start(argv); }
    // The same for a default-constructed process; false when it cannot start.
    bool Start(const std::vector<std::string>& argv);
    ~Process();  // kills a process that is still running (SIGKILL), reaps it, removes its files
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    bool Started() const { return pid_ > 0; }

    // The next whole stdout line (without '\n'), or false after timeoutMs.
    bool ReadLine(std::string& line, int timeoutMs);
    // Sends a signal to this process.
    void Signal(int sig);
    // Waits for the exit. Returns the exit code, 128 + signal for a killed
    // process, or -1 after timeoutMs.
    int Wait(int timeoutMs);

    std::string Out() const;  // all of stdout so far
    std::string Err() const;  // all of stderr so far

private:
    pid_t pid_ = -1;
    std::string outPath_, errPath_;
    size_t lineStart_ = 0;
    int exitCode_ = -1;
};

// Runs to completion: exit code, stdout and stderr.
struct RunResult {
    int code = -1;
    std::string out;
    std::string err;
};
RunResult Run(const std::vector<std::string>& argv, int timeoutMs = 20000);

// A TCP port on 127.0.0.1 where nothing listens (bound once, then released).
uint16_t UnusedPort();

}  // namespace test_support
