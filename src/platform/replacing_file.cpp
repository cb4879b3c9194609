#include "platform/replacing_file.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>

namespace platform {

namespace {

// A name beside `target` that nothing has yet: target.XXXXXX.
std::string CandidateName(const std::string& target) {
    static std::atomic<uint64_t> counter{0};
    static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    uint64_t n =
        (static_cast<uint64_t>(::getpid()) << 32) ^
        static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
        (counter.fetch_add(1) * 0x9E3779B97F4A7C15ull);
    std::string name = target + '.';
    for (int i = 0; i < 6; ++i, n /= 36) name += kDigits[n % 36];
    return name;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Gives an unnamed file the name `name`; the error number, or 0.
int LinkByDescriptor(int fd, const std::string& name) {
    // The plain form needs a privilege most users lack; the /proc form
    // reaches the same file without it.
    if (::linkat(fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0)
        return 0;
    if (errno == EEXIST)
        return EEXIST;
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0)
        return 0;
    return errno;
}

// Gives the unnamed file `fd` the name `temp` and renames that over
// `target`. Between the two calls the file has a name of its own beside the
// target; a kill of this process there would leave it behind. So both run in
// a child that shares this process's memory while this thread waits for it
// (as posix_spawn does): a kill of this process no longer separates them.
// The child only makes system calls on what the parent prepared.
struct PublishJob {
    int fd;
    const char* self;  // /proc/self/fd/N, for users without the privilege
    const char* temp;
    const char* target;
    volatile int error;  // EEXIST: `temp` was taken; nothing was done
};

__attribute__((no_sanitize("address", "thread", "undefined"))) int Publish(void* arg) {
    auto* job = static_cast<PublishJob*>(arg);
    if (::linkat(job->fd, "", AT_FDCWD, job->temp, AT_EMPTY_PATH) != 0 &&
        (errno == EEXIST ||
         ::linkat(AT_FDCWD, job->self, AT_FDCWD, job->temp, AT_SYMLINK_FOLLOW) != 0)) {
        job->error = errno;
        return 0;
    }
    if (::rename(job->temp, job->target) != 0) {
        const int e = errno;
        ::unlink(job->temp);
        job->error = e == EEXIST ? EIO : e;  // not to be taken for a taken name
        return 0;
    }
    job->error = 0;
    return 0;
}

int LinkOver(int fd, const std::string& target) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    constexpr size_t kStack = 64 * 1024;
    const std::unique_ptr<char[]> stack(new (std::nothrow) char[kStack]);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string temp = CandidateName(target);
        PublishJob job{fd, self.c_str(), temp.c_str(), target.c_str(), -1};
        pid_t child = -1;
        if (stack) {
            // The child takes no signal handler of this process's threads.
            sigset_t all, old;
            sigfillset(&all);
            pthread_sigmask(SIG_SETMASK, &all, &old);
            child = ::clone(Publish, stack.get() + kStack, CLONE_VM | CLONE_VFORK | SIGCHLD, &job);
            pthread_sigmask(SIG_SETMASK, &old, nullptr);
        }
        if (child > 0) {
            // Only to collect it: the answer is in the job already.
            while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
            }
        } else {
            Publish(&job);  // no child to be had: the short gap stays
        }
        if (job.error != EEXIST)
            return job.error;
    }
    return EEXIST;
}

}  // namespace

ReplacingFile::~ReplacingFile() {
    Abandon();
}

bool ReplacingFile::Open(const std::string& path) {
    Abandon();
    error_ = 0;
    target_ = path;
    existed_ = false;
    inPlace_ = false;
    struct stat st;
    if (::stat(target_.c_str(), &st) == 0) {
        bool named = true;
        if (S_ISREG(st.st_mode)) {
            if (char* real = ::realpath(target_.c_str(), nullptr)) {
                target_ = real;
                std::free(real);
            } else if (errno == ENOENT) {
                // Reached, yet in no folder: a file in memory or one deleted
                // but still open, seen through /proc/self/fd. There is no
                // folder to make its replacement in.
                named = false;
            }
        }
        // Opening the target keeps the old answers to "may this be written
        // at all?": a read-only file is refused, not replaced behind its back.
        const int probe = ::open(target_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
        if (probe < 0) {
            error_ = errno;
            return false;
        }
        if (!S_ISREG(st.st_mode) || !named) {
            // A device, a pipe, a nameless file: nothing to replace. The
            // nameless file is emptied first, or its old tail would stay.
            if (!named && ::ftruncate(probe, 0) != 0) {
                error_ = errno;
                ::close(probe);
                return false;
            }
            fd_ = probe;
            inPlace_ = true;
            return true;
        }
        ::close(probe);
        existed_ = true;
        keepMode_ = st.st_mode & 07777;
    }
    dir_ = FolderOf(target_);
    return OpenTemp();
}

bool ReplacingFile::OpenTemp() {
    // The mode is what any new file gets; the kernel applies the file mask,
    // which then needs neither reading nor setting (files are also written on
    // threads of their own).
    if (temp_ == Temp::kUnnamedWherePossible) {
        fd_ = ::open(dir_.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (fd_ >= 0) {
            unnamed_ = true;
        } else if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            // EISDIR: a kernel without O_TMPFILE; the others: a filesystem
            // without it. Anything else is why no file can be made here.
            error_ = errno;
            return false;
        }
    }
    for (int attempt = 0; fd_ < 0 && attempt < 100; ++attempt) {
        std::string name = CandidateName(target_);
        fd_ = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ >= 0) {
            named_ = std::move(name);
        } else if (errno != EEXIST) {
            error_ = errno;
            return false;
        }
    }
    if (fd_ < 0) {
        error_ = EEXIST;
        return false;
    }
    if (existed_)
        ::fchmod(fd_, keepMode_);
    return true;
}

bool ReplacingFile::Write(const void* data, size_t size) {
    const auto* p = static_cast<const unsigned char*>(data);
    while (size > 0 && error_ == 0) {
        const ssize_t n = ::write(fd_, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            Fail(n < 0 ? errno : EIO);
            break;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return error_ == 0;
}

bool ReplacingFile::Commit() {
    return Commit(nullptr);
}

bool ReplacingFile::Commit(UniqueFd* keep) {
    if (fd_ < 0) {
        Fail(EBADF);
        return false;
    }
    if (error_ != 0) {
        Abandon();
        return false;
    }
    if (inPlace_) {
        const int fd = fd_;
        fd_ = -1;
        if (keep) {
            keep->Reset(fd);
            return true;
        }
        if (::close(fd) != 0) {
            Fail(errno);
            return false;
        }
        return true;
    }
    // On the disk before it has a name: a crash after the rename must not
    // find the name pointing at a file whose blocks never arrived.
    if (::fsync(fd_) != 0) {
        Fail(errno);
        Abandon();
        return false;
    }
    if (unnamed_) {
        // A target that did not exist gets the name at once; an existing one
        // can only be replaced by a rename.
        int linked = existed_ ? EEXIST : LinkByDescriptor(fd_, target_);
        if (linked == EEXIST)
            linked = LinkOver(fd_, target_);
        if (linked != 0) {
            Fail(linked);
            Abandon();
            return false;
        }
    } else if (::rename(named_.c_str(), target_.c_str()) != 0) {
        Fail(errno);
        Abandon();
        return false;
    }
    named_.clear();
    unnamed_ = false;
    // The file is on the disk already (fsync above): closing it cannot lose
    // what was written.
    const int fd = std::exchange(fd_, -1);
    if (keep)
        keep->Reset(fd);
    else
        ::close(fd);
    // The new name on the disk too; a folder that cannot be synced (some
    // filesystems refuse) still holds the file.
    const int dir = ::open(dir_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

void ReplacingFile::Abandon() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    if (!named_.empty())
        ::unlink(named_.c_str());
    named_.clear();
    unnamed_ = false;
    inPlace_ = false;
}

}  // namespace platform
