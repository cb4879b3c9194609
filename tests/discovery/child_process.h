#pragma once
// Runs the simulator and calveroctl as child processes of the test, their
// output captured in files.

#include <sys/types.h>

#include <string>
#include <vector>

namespace discotest {

class ChildProcess {
public:
    // Starts program with args; false when it cannot be started.
    bool Start(const std::string& program, const std::vector<std::string>& args);
    // Ends a still-running child with SIGTERM and collects it.
    ~ChildProcess();
    // Waits for the child to end; its exit code, or -1.
    int Wait();
    std::string Stdout() const { return Slurp(outPath_); }
    std::string Stderr() const { return Slurp(errPath_); }

private:
    static std::string Slurp(const std::string& path);
    pid_t pid_ = -1;
    std::string outPath_, errPath_;
};

struct RunResult {
    int exitCode = -1;
    std::string out, err;
};

// Runs a program to its end.
RunResult RunToEnd(const std::string& program, const std::vector<std::string>& args);

}  // namespace discotest
