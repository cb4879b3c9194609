#include "tests/support/process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>

extern char** environ;

namespace test_support {

namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A fresh capture file; its descriptor, or -1.
int CaptureFile(std::string& path) {
    char name[] = "/tmp/calvero-test-output.XXXXXX";
    const int fd = ::mkostemp(name, O_CLOEXEC);
    if (fd >= 0)
        path = name;
    return fd;
}

}  // namespace

bool Process::Start(const std::vector<std::string>& argv) {
    if (pid_ > 0)
        return false;
    const int out = CaptureFile(outPath_);
    const int err = CaptureFile(errPath_);
    if (out >= 0 && err >= 0 && !argv.empty()) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, err, STDERR_FILENO);
        std::vector<char*> args;
        args.reserve(argv.size() + 1);
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        if (posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    if (out >= 0)
        ::close(out);
    if (err >= 0)
        ::close(err);
    return Started();
}

Process::~Process() {
    if (pid_ > 0 && exitCode_ < 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    if (!outPath_.empty())
        ::unlink(outPath_.c_str());
    if (!errPath_.empty())
        ::unlink(errPath_.c_str());
}

std::string Process::Out() const {
    return Slurp(outPath_);
}
std::string Process::Err() const {
    return Slurp(errPath_);
}

bool Process::ReadLine(std::string& line, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const std::string out = Out();
        const auto nl = out.find('\n', lineStart_);
        if (nl != std::string::npos) {
            line = out.substr(lineStart_, nl - lineStart_);
            lineStart_ = nl + 1;
            return true;
        }
        if (MsLeft(deadline) == 0)
            return false;
        ::usleep(5000);
    }
}

void Process::Signal(int sig) {
    if (pid_ > 0 && exitCode_ < 0)
        ::kill(pid_, sig);
}

int Process::Wait(int timeoutMs) {
    if (exitCode_ >= 0 || pid_ <= 0)
        return exitCode_;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int status = 0;
        pid_t r = ::waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return exitCode_;
        }
        if (MsLeft(deadline) == 0)
            return -1;
        ::usleep(2000);
    }
}

RunResult Run(const std::vector<std::string>& argv, int timeoutMs) {
    Process p(argv);
    RunResult r;
    if (!p.Started())
        return r;
    r.code = p.Wait(timeoutMs);
    r.out = p.Out();
    r.err = p.Err();
    return r;
}

uint16_t UnusedPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return 0;
    }
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

}  // namespace test_support
