#pragma once
// A file that replaces its target only once it is whole. Until Commit the
// target stays exactly as it was, whatever happens to this process or the
// disk: the new content goes to a file of its own beside the target, is
// flushed to the disk and then renamed over it in one step. Where the
// filesystem can make a file without a name (O_TMPFILE), the new file has
// none until Commit, so a process killed mid-save leaves nothing behind.
//
// A target that is a device or a pipe (/dev/stdout, a named pipe), or a file
// in no folder (a file in memory, seen through /proc/self/fd), is written as
// it stands: there is nothing to replace it with. A symbolic link is followed, so
// the link stays and its destination is replaced. A replaced file keeps its
// permission bits; a new file gets 0666 less the process's file mask.
//
// Every failure is an operating-system error number, kept for the message.

#include <cstddef>
#include <string>

#include "platform/unique_fd.h"

namespace platform {

class ReplacingFile {
public:
    // kNamed skips the unnamed file and takes the named one at once, as on a
    // filesystem without O_TMPFILE.
    enum class Temp { kUnnamedWherePossible, kNamed };

    explicit ReplacingFile(Temp temp = Temp::kUnnamedWherePossible) : temp_(temp) {}
    ~ReplacingFile();  // an uncommitted file is dropped; the target stays
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Makes the new file for `path` (UTF-8). False, with Error() set, when it
    // cannot be made beside the target; nothing has changed then.
    bool Open(const std::string& path);

    // The descriptor to write to; -1 when not open.
    int Fd() const { return fd_; }

    // Writes all of `data`; false with Error() set on the first failure.
    bool Write(const void* data, size_t size);

    // Flushes the new file to the disk and puts it in place of the target.
    // False with Error() set when any step fails; the target then stays as
    // it was and no new file is left.
    bool Commit();
    // The same, but on success the new file's descriptor stays open in
    // *keep instead of being closed: a lock the caller took on Fd() before
    // Commit is then held on the file now at the target, from the moment it
    // appears there (a rename gives the target a new file, and a lock on the
    // old one does not carry over).
    bool Commit(UniqueFd* keep);

    // Drops the new file; the target stays as it was.
    void Abandon();

    // The error number of the last failure (0: none). A caller that writes
    // through Fd() itself hands its write's error to Fail.
    int Error() const { return error_; }
    void Fail(int error) {
        if (error_ == 0)
            error_ = error;
    }

private:
    bool OpenTemp();
    bool LinkUnnamed();

    Temp temp_;
    std::string target_;  // where the file goes, symbolic links resolved
    std::string dir_;     // the target's folder
    std::string named_;   // a named temporary file of ours, while it exists
    int fd_ = -1;
    bool unnamed_ = false;   // fd_ is an O_TMPFILE file
    bool inPlace_ = false;   // the target is a device or pipe, written directly
    bool existed_ = false;   // the target was there when opened
    unsigned keepMode_ = 0;  // the replaced file's permission bits
    int error_ = 0;
};

}  // namespace platform
