#include "document/recovery_file.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>
#include <utility>

#include "platform/system_error_text.h"
#include "platform/text_conversion.h"

namespace document {

namespace {

constexpr int kMaxClashes = 10000;

std::wstring Reason(int errnum) {
    std::wstring text;
    if (!platform::CodePageToWide(platform::SystemErrorText(errnum), text) || text.empty())
        text = L"error " + std::to_wstring(errnum);
    return text;
}

std::string Narrow(const std::wstring& path) {
    return platform::WideToCodePage(path);
}

// name.ext for n = 1, else name-n.ext.
std::wstring Candidate(const std::wstring& folder, const std::wstring& fileName, int n) {
    std::wstring name = fileName;
    if (n > 1) {
        const size_t dot = fileName.rfind(L'.');
        const std::wstring suffix = L"-" + std::to_wstring(n);
        if (dot == std::wstring::npos || dot == 0)
            name += suffix;
        else
            name.insert(dot, suffix);
    }
    return folder + L"/" + name;
}

bool LockNow(int fd) {
    return ::flock(fd, LOCK_EX | LOCK_NB) == 0;
}

// A failure of link() that says the file system has no hard links.
bool NoLinks(int errnum) {
    return errnum == EPERM || errnum == ENOTSUP || errnum == EOPNOTSUPP || errnum == ENOSYS ||
           errnum == EMLINK;
}

}  // namespace

RecoveryFile::RecoveryFile(RecoveryFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}

RecoveryFile& RecoveryFile::operator=(RecoveryFile&& other) noexcept {
    if (this != &other) {
        Release();
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
    }
    return *this;
}

RecoveryFile::~RecoveryFile() {
    Release();
}

RecoveryFile RecoveryFile::Reserve(const std::wstring& folder, const std::wstring& fileName,
                                   std::wstring& error) {
    RecoveryFile out;
    std::error_code ec;
    std::filesystem::create_directories(Narrow(folder), ec);
    auto fail = [&](const std::wstring& path, int errnum) {
        error = L"Unable to create the recovery file " + path + L": " + Reason(errnum);
        return RecoveryFile();
    };

    // The file is made and locked under a private name first and then linked
    // to the recovery name: it is never to be seen there unlocked, and the
    // link refuses a name that is taken.
    std::string temp = Narrow(folder) + "/.recovery-XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return fail(folder + L"/" + fileName, errno);
    if (!LockNow(fd)) {
        const int e = errno;
        ::close(fd);
        ::unlink(temp.c_str());
        return fail(folder + L"/" + fileName, e);
    }
    int n = 1;
    for (; n <= kMaxClashes; ++n) {
        const std::wstring path = Candidate(folder, fileName, n);
        if (::link(temp.c_str(), Narrow(path).c_str()) == 0) {
            ::unlink(temp.c_str());
            out.fd_ = fd;
            out.path_ = path;
            return out;
        }
        if (errno == EEXIST)
            continue;
        const int e = errno;
        if (NoLinks(e))
            break;
        ::close(fd);
        ::unlink(temp.c_str());
        return fail(path, e);
    }
    ::close(fd);
    ::unlink(temp.c_str());
    // A file system without hard links (a memory stick's FAT): the name is
    // created exclusively and locked right after, which leaves a moment in
    // which another program could see it unlocked and empty.
    for (; n <= kMaxClashes; ++n) {
        const std::wstring path = Candidate(folder, fileName, n);
        const int f =
            ::open(Narrow(path).c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0600);
        if (f < 0) {
            if (errno == EEXIST)
                continue;
            return fail(path, errno);
        }
        if (!LockNow(f)) {
            const int e = errno;
            ::close(f);
            ::unlink(Narrow(path).c_str());
            return fail(path, e);
        }
        out.fd_ = f;
        out.path_ = path;
        return out;
    }
    error = L"No free name for the recovery file " + fileName + L" in " + folder;
    return out;
}

RecoveryFile RecoveryFile::Take(const std::wstring& path, TakeResult* result, std::wstring* error) {
    RecoveryFile out;
    const std::string p = Narrow(path);
    auto failed = [&](int errnum) {
        *result = TakeResult::Failed;
        if (error)
            *error = Reason(errnum);
        return RecoveryFile();
    };
    // The owner may replace the file between our open and our lock; a lock
    // on a file no longer at the path says nothing, so look again.
    for (int attempt = 0; attempt < 16; ++attempt) {
        // Non-blocking: a pipe under the name must not hang the start.
        const int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        if (fd < 0) {
            if (errno == ENOENT) {
                *result = TakeResult::Gone;
                return out;
            }
            return failed(errno);
        }
        struct stat held {};
        if (::fstat(fd, &held) != 0) {
            const int e = errno;
            ::close(fd);
            return failed(e);
        }
        if (!S_ISREG(held.st_mode)) {
            ::close(fd);
            *result = TakeResult::Failed;
            if (error)
                *error = L"not a regular file";
            return out;
        }
        if (!LockNow(fd)) {
            const int e = errno;
            ::close(fd);
            if (e == EWOULDBLOCK) {
                *result = TakeResult::Busy;
                return out;
            }
            return failed(e);
        }
        struct stat named {};
        if (::stat(p.c_str(), &named) == 0 && named.st_dev == held.st_dev &&
            named.st_ino == held.st_ino) {
            out.fd_ = fd;
            out.path_ = path;
            *result = TakeResult::Taken;
            ::unlink(Narrow(out.TempPath()).c_str());  // a killed write's remains
            return out;
        }
        const int e = errno;
        ::close(fd);
        if (e == ENOENT) {
            *result = TakeResult::Gone;
            return out;
        }
    }
    // Replaced again and again: someone is writing it.
    *result = TakeResult::Busy;
    return out;
}

std::wstring RecoveryFile::TempPath() const {
    const size_t slash = path_.rfind(L'/');
    if (slash == std::wstring::npos)
        return L"." + path_ + L".part";
    return path_.substr(0, slash + 1) + L"." + path_.substr(slash + 1) + L".part";
}

uint64_t RecoveryFile::Size() const {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0)
        return 0;
    return static_cast<uint64_t>(st.st_size);
}

bool RecoveryFile::ReplaceWith(const std::wstring& source, std::wstring& error) {
    auto fail = [&](int errnum) {
        error = L"Unable to write the recovery file " + path_ + L": " + Reason(errnum);
        return false;
    };
    if (fd_ < 0)
        return fail(EBADF);
    const std::string s = Narrow(source);
    const int fd = ::open(s.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return fail(errno);
    if (!LockNow(fd) || ::rename(s.c_str(), Narrow(path_).c_str()) != 0) {
        const int e = errno;
        ::close(fd);
        return fail(e);
    }
    ::close(std::exchange(fd_, fd));
    return true;
}

bool RecoveryFile::Remove(std::wstring* error) {
    if (fd_ < 0)
        return true;
    // Unlinked while still locked: a program that opened it a moment ago
    // finds, once it has the lock, that the name is gone.
    const bool ok = ::unlink(Narrow(path_).c_str()) == 0 || errno == ENOENT;
    if (!ok && error)
        *error = L"Unable to remove the recovery file " + path_ + L": " + Reason(errno);
    ::unlink(Narrow(TempPath()).c_str());
    Release();
    return ok;
}

void RecoveryFile::Release() {
    if (fd_ >= 0)
        ::close(std::exchange(fd_, -1));
}

}  // namespace document
