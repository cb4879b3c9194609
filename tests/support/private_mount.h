#pragma once
// Runs part of a test in a child process that has a mount namespace of its
// own (and a user namespace when not run as root), with a fresh tmpfs
// mounted on a folder: a small or full filesystem, or read-only mounts, that
// fail for root as they do for a user, and vanish with the child.
//
// The body runs in the child, so it must not use gtest assertions: it
// returns what went wrong, one line per fault, or nothing when all held.

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>

#include "tests/support/temp_dir.h"

namespace test_support {

struct PrivateMountOutcome {
    bool ran = false;        // false: the system offers no namespace (see skipReason)
    std::string skipReason;  // why it could not run
    std::string faults;      // what the body found wrong; empty when all held
};

namespace detail {

inline bool WriteProcFile(const char* path, const std::string& text) {
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    return ok;
}

// In the child: a mount namespace and the tmpfs. Empty, or why not.
inline std::string EnterPrivateTmpfs(const std::string& dir, const std::string& options) {
    const uid_t uid = ::geteuid();
    const gid_t gid = ::getegid();
    if (uid != 0) {
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
            return std::string("unshare: ") + std::strerror(errno);
        WriteProcFile("/proc/self/setgroups", "deny");
        if (!WriteProcFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
            !WriteProcFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1")) {
            return "cannot map the user into its namespace";
        }
    } else if (::unshare(CLONE_NEWNS) != 0) {
        return std::string("unshare: ") + std::strerror(errno);
    }
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return std::string("private mounts: ") + std::strerror(errno);
    if (::mount("tmpfs", dir.c_str(), "tmpfs", 0, options.c_str()) != 0)
        return std::string("mount tmpfs: ") + std::strerror(errno);
    return {};
}

}  // namespace detail

// Mounts a tmpfs with `options` (e.g. "size=64k") on a fresh folder in the
// child's own namespace and runs body(folder) there.
inline PrivateMountOutcome InPrivateTmpfs(
    const std::string& options, const std::function<std::string(const std::string&)>& body) {
    PrivateMountOutcome outcome;
    TempDir mountPoint;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        outcome.skipReason = "no pipe";
        return outcome;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        const std::string refused = detail::EnterPrivateTmpfs(mountPoint.Dir(), options);
        // The first byte tells the parent whether the body ran.
        const std::string report = refused.empty() ? "R" + body(mountPoint.Dir()) : "S" + refused;
        size_t done = 0;
        while (done < report.size()) {
            const ssize_t n = ::write(fds[1], report.data() + done, report.size() - done);
            if (n <= 0)
                break;
            done += static_cast<size_t>(n);
        }
        ::_exit(0);
    }
    ::close(fds[1]);
    if (child < 0) {
        ::close(fds[0]);
        outcome.skipReason = "no child process";
        return outcome;
    }
    std::string report;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        report.append(buf, static_cast<size_t>(n));
    }
    ::close(fds[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        outcome.ran = true;
        outcome.faults = "the child process died (status " + std::to_string(status) + ")";
        return outcome;
    }
    if (report.empty() || report[0] != 'R') {
        outcome.skipReason = report.empty() ? "no report" : report.substr(1);
        return outcome;
    }
    outcome.ran = true;
    outcome.faults = report.substr(1);
    return outcome;
}

}  // namespace test_support
