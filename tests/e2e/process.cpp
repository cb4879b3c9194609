#include "tests/e2e/process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

extern char** environ;

namespace e2e {

namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

}  // namespace

Process::Process(const std::vector<std::string>& argv) {
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return;
    if (::pipe2(err, O_CLOEXEC) != 0) {
        ::close(out[0]);
        ::close(out[1]);
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    if (posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    outFd_ = out[0];
    errFd_ = err[0];
}

Process::~Process() {
    if (pid_ > 0 && exitCode_ < 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    if (outFd_ >= 0) ::close(outFd_);
    if (errFd_ >= 0) ::close(errFd_);
}

void Process::Pump(int timeoutMs) {
    pollfd fds[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
    if (::poll(fds, 2, timeoutMs) <= 0) return;
    std::string* sinks[2] = {&out_, &err_};
    int* fdsOwned[2] = {&outFd_, &errFd_};
    for (int i = 0; i < 2; ++i) {
        if (!fds[i].revents || *fdsOwned[i] < 0) continue;
        char buf[4096];
        ssize_t n = ::read(*fdsOwned[i], buf, sizeof buf);
        if (n > 0) {
            sinks[i]->append(buf, static_cast<size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            ::close(*fdsOwned[i]);
            *fdsOwned[i] = -1;  // poll ignores negative descriptors
        }
    }
}

bool Process::ReadLine(std::string& line, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        auto nl = out_.find('\n', lineStart_);
        if (nl != std::string::npos) {
            line = out_.substr(lineStart_, nl - lineStart_);
            lineStart_ = nl + 1;
            return true;
        }
        if (outFd_ < 0 || MsLeft(deadline) == 0) return false;
        Pump(MsLeft(deadline));
    }
}

void Process::Signal(int sig) {
    if (pid_ > 0 && exitCode_ < 0) ::kill(pid_, sig);
}

int Process::Wait(int timeoutMs) {
    if (exitCode_ >= 0 || pid_ <= 0) return exitCode_;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    // Output first: a child blocked on a full pipe would never exit.
    while ((outFd_ >= 0 || errFd_ >= 0) && MsLeft(deadline) > 0) Pump(MsLeft(deadline));
    for (;;) {
        int status = 0;
        pid_t r = ::waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return exitCode_;
        }
        if (MsLeft(deadline) == 0) return -1;
        ::usleep(5000);
    }
}

RunResult Run(const std::vector<std::string>& argv, int timeoutMs) {
    Process p(argv);
    RunResult r;
    if (!p.Started()) return r;
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
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

}  // namespace e2e
