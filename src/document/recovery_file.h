#pragma once
// One recovery file and the claim of the process that owns it. A recovery
// file belongs to whoever holds the lock on it: the program that records
// the bake from the moment the name is reserved, a later program once it
// has taken over a file whose writer is gone. The lock is an flock on a
// descriptor kept open for the claim's whole life, so the kernel drops it
// the moment the owner ends, however it ends; no process number is ever
// compared. Every file that carries a recovery name was locked before it
// got that name, so a file that can be locked has no writer.
//
// The file is replaced whole on every write (a finished file renamed onto
// the name); the lock moves with it: the new file is locked before the
// rename, the old descriptor closed after it.
//
// Not thread-safe: one thread at a time uses a claim.

#include <cstdint>
#include <string>

namespace document {

class RecoveryFile {
public:
    RecoveryFile() = default;
    RecoveryFile(RecoveryFile&& other) noexcept;
    RecoveryFile& operator=(RecoveryFile&& other) noexcept;
    RecoveryFile(const RecoveryFile&) = delete;
    RecoveryFile& operator=(const RecoveryFile&) = delete;
    ~RecoveryFile();  // gives the claim up; the file stays

    // A new, empty file named `fileName` in `folder` (made if missing), or
    // name-2.ext, name-3.ext, ... when the name is taken, even by a file
    // that appears at the same moment. Invalid with `error` set on failure.
    static RecoveryFile Reserve(const std::wstring& folder, const std::wstring& fileName,
                                std::wstring& error);

    enum class TakeResult {
        Taken,   // the writer is gone; the file is ours now
        Busy,    // a live process holds it
        Gone,    // no such file (any more)
        Failed,  // cannot be opened or locked; `error` says why
    };
    // Claims an existing file whose owner is gone.
    static RecoveryFile Take(const std::wstring& path, TakeResult* result, std::wstring* error);

    bool Valid() const { return fd_ >= 0; }
    const std::wstring& Path() const { return path_; }
    // Where the next whole file is written before it takes the name: hidden,
    // in the same folder, and as much the holder's as the name is, so a
    // claim taken over from a writer that was killed mid-write removes what
    // that write left.
    std::wstring TempPath() const;
    // Size in bytes of the file held, 0 when none.
    uint64_t Size() const;

    // Renames the finished file `source` (in the same folder) onto this
    // file's name, keeping the claim. On failure the old file and the claim
    // stay and `source` is left for the caller.
    bool ReplaceWith(const std::wstring& source, std::wstring& error);
    // Deletes the file and gives the claim up.
    bool Remove(std::wstring* error = nullptr);
    // Gives the claim up and keeps the file.
    void Release();

private:
    int fd_ = -1;
    std::wstring path_;
};

}  // namespace document
