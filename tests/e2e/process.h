#pragma once
// Child processes for the end-to-end tests: start an executable with its
// stdout and stderr on pipes, read its output with time limits, stop it.

#include <signal.h>
#include <sys/types.h>

#include <string>
#include <vector>

namespace e2e {

class Process {
public:
    // Starts `argv[0]` with the given arguments; check Started().
    explicit Process(const std::vector<std::string>& argv);
    ~Process();  // kills a process that is still running (SIGKILL) and reaps it
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    bool Started() const { return pid_ > 0; }

    // The next whole stdout line (without '\n'), or false after timeoutMs or at EOF.
    bool ReadLine(std::string& line, int timeoutMs);
    // Sends a signal to this process.
    void Signal(int sig);
    // Waits for the exit, collecting the rest of stdout and stderr. Returns the
    // exit code, 128 + signal for a killed process, or -1 after timeoutMs.
    int Wait(int timeoutMs);

    const std::string& Out() const { return out_; }  // all of stdout read so far
    const std::string& Err() const { return err_; }

private:
    // Reads what is available on both pipes, waiting up to timeoutMs for some.
    void Pump(int timeoutMs);

    pid_t pid_ = -1;
    int outFd_ = -1;
    int errFd_ = -1;
    std::string out_, err_;
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

}  // namespace e2e
