#include "child_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>

extern char** environ;

namespace discotest {

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& args) {
    char outTemplate[] = "/tmp/discovery-test-out-XXXXXX";
    char errTemplate[] = "/tmp/discovery-test-err-XXXXXX";
    const int outFd = ::mkstemp(outTemplate);
    const int errFd = ::mkstemp(errTemplate);
    if (outFd < 0 || errFd < 0)
        return false;
    outPath_ = outTemplate;
    errPath_ = errTemplate;

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outFd, 1);
    posix_spawn_file_actions_adddup2(&actions, errFd, 2);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const int rc = ::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(outFd);
    ::close(errFd);
    if (rc != 0)
        pid_ = -1;
    return rc == 0;
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        Wait();
    }
    if (!outPath_.empty())
        ::unlink(outPath_.c_str());
    if (!errPath_.empty())
        ::unlink(errPath_.c_str());
}

int ChildProcess::Wait() {
    if (pid_ <= 0)
        return -1;
    int status = 0;
    pid_t r;
    do {
        r = ::waitpid(pid_, &status, 0);
    } while (r < 0 && errno == EINTR);
    pid_ = -1;
    if (r < 0 || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

std::string ChildProcess::Slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

RunResult RunToEnd(const std::string& program, const std::vector<std::string>& args) {
    ChildProcess child;
    RunResult result;
    if (!child.Start(program, args))
        return result;
    result.exitCode = child.Wait();
    result.out = child.Stdout();
    result.err = child.Stderr();
    return result;
}

}  // namespace discotest
