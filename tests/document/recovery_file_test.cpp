// Recovery files belong to the process that holds their lock: a claim made
// when the name is reserved, kept across every rewrite, and free the moment
// its owner ends, however it ends.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "document/recovery_file.h"
#include "tests/support/temp_dir.h"

using document::RecoveryFile;
using Take = RecoveryFile::TakeResult;
using test_support::TempDir;

namespace {

std::wstring W(const std::string& s) {
    return std::wstring(s.begin(), s.end());
}

Take TryTake(const std::wstring& path, RecoveryFile* out = nullptr) {
    Take result = Take::Failed;
    std::wstring error;
    RecoveryFile f = RecoveryFile::Take(path, &result, &error);
    EXPECT_EQ(result == Take::Taken, f.Valid());
    if (out)
        *out = std::move(f);
    return result;
}

}  // namespace

TEST(RecoveryFile, AClaimExcludesEveryOtherUntilItIsGivenUp) {
    TempDir dir;
    std::wstring error;
    RecoveryFile writer = RecoveryFile::Reserve(W(dir.Path("rec")), L"bake-1.tvr", error);
    ASSERT_TRUE(writer.Valid()) << std::string(error.begin(), error.end());
    EXPECT_EQ(W(dir.Path("rec/bake-1.tvr")), writer.Path());
    EXPECT_TRUE(std::filesystem::exists(dir.Path("rec/bake-1.tvr")));
    // No trace of the reservation's private name.
    EXPECT_EQ(1, std::distance(std::filesystem::directory_iterator(dir.Path("rec")), {}));

    // A second claimant (a second program) finds it busy, however often.
    EXPECT_EQ(Take::Busy, TryTake(writer.Path()));
    EXPECT_EQ(Take::Busy, TryTake(writer.Path()));

    // Rewritten whole: the claim moves to the new file with the name.
    const std::string next = dir.Write("rec/.next", "whole record");
    ASSERT_TRUE(writer.ReplaceWith(W(next), error));
    EXPECT_EQ("whole record", dir.Read("rec/bake-1.tvr"));
    EXPECT_FALSE(std::filesystem::exists(next));
    EXPECT_EQ(Take::Busy, TryTake(writer.Path()));

    // What a write in progress has made is the holder's alone...
    const std::string part = dir.Write("rec/.bake-1.tvr.part", "half a record");
    EXPECT_EQ(W(part), writer.TempPath());
    EXPECT_EQ(Take::Busy, TryTake(writer.Path()));
    EXPECT_TRUE(std::filesystem::exists(part));
    // ...until it is gone (the file kept): the next one takes it over,
    // removes the remains of a write it was killed in, and holds it in turn.
    writer.Release();
    RecoveryFile heir;
    EXPECT_EQ(Take::Taken, TryTake(W(dir.Path("rec/bake-1.tvr")), &heir));
    EXPECT_FALSE(std::filesystem::exists(part));
    EXPECT_EQ(Take::Busy, TryTake(heir.Path()));
    EXPECT_EQ(12u, heir.Size());
    // Removed by its holder: nothing left to take.
    EXPECT_TRUE(heir.Remove());
    EXPECT_EQ(Take::Gone, TryTake(W(dir.Path("rec/bake-1.tvr"))));
}

TEST(RecoveryFile, AKilledWritersFileIsFreeAtOnce) {
    TempDir dir;
    int pipeFds[2];
    ASSERT_EQ(0, ::pipe(pipeFds));
    const pid_t child = ::fork();
    ASSERT_NE(-1, child);
    if (child == 0) {
        ::close(pipeFds[0]);
        std::wstring error;
        RecoveryFile mine = RecoveryFile::Reserve(W(dir.Dir()), L"bake-2.tvr", error);
        const char ok = mine.Valid() ? '1' : '0';
        (void)!::write(pipeFds[1], &ok, 1);
        for (;;) ::pause();  // holds the claim until it is killed
    }
    ::close(pipeFds[1]);
    char ok = 0;
    ASSERT_EQ(1, ::read(pipeFds[0], &ok, 1));
    ::close(pipeFds[0]);
    const std::wstring path = W(dir.Path("bake-2.tvr"));
    const Take whileAlive = TryTake(path);
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(child, ::waitpid(child, &status, 0));
    ASSERT_EQ('1', ok);
    EXPECT_EQ(Take::Busy, whileAlive);
    EXPECT_EQ(Take::Taken, TryTake(path));
}

TEST(RecoveryFile, BakesReservingOneNameAtOnceGetFilesOfTheirOwn) {
    TempDir dir;
    // A file that is there already, claimed by nobody, is never reused.
    dir.Write("bake-20260101-120000.tvr", "left by an earlier run");
    constexpr int kBakes = 8;
    std::vector<RecoveryFile> files(kBakes);
    std::vector<std::wstring> errors(kBakes);
    std::vector<std::thread> threads;
    threads.reserve(kBakes);
    for (int i = 0; i < kBakes; ++i) {
        threads.emplace_back([&, i] {
            files[i] = RecoveryFile::Reserve(W(dir.Dir()), L"bake-20260101-120000.tvr", errors[i]);
        });
    }
    for (std::thread& t : threads) t.join();
    std::set<std::wstring> paths;
    for (int i = 0; i < kBakes; ++i) {
        ASSERT_TRUE(files[i].Valid()) << i;
        paths.insert(files[i].Path());
    }
    EXPECT_EQ(size_t(kBakes), paths.size());
    EXPECT_EQ(0u, paths.count(W(dir.Path("bake-20260101-120000.tvr"))));
    EXPECT_EQ(1u, paths.count(W(dir.Path("bake-20260101-120000-2.tvr"))));
    EXPECT_EQ(1u, paths.count(W(dir.Path("bake-20260101-120000-9.tvr"))));
    EXPECT_EQ("left by an earlier run", dir.Read("bake-20260101-120000.tvr"));

    // One bake's end removes its own file, never another's.
    const std::wstring gone = files[3].Path();
    EXPECT_TRUE(files[3].Remove());
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(gone)));
    EXPECT_EQ(size_t(kBakes),  // with the earlier run's file, less the one removed
              size_t(std::distance(std::filesystem::directory_iterator(dir.Dir()), {})));
}

TEST(RecoveryFile, WhatCannotBeClaimed) {
    TempDir dir;
    std::wstring error;
    EXPECT_EQ(Take::Gone, TryTake(W(dir.Path("none.tvr"))));
    // A pipe under a record's name neither hangs the start nor is taken.
    ASSERT_EQ(0, ::mkfifo(dir.Path("pipe.tvr").c_str(), 0600));
    EXPECT_EQ(Take::Failed, TryTake(W(dir.Path("pipe.tvr"))));
    // A folder that cannot be made: the reason, no claim.
    dir.Write("file", "x");
    RecoveryFile f = RecoveryFile::Reserve(W(dir.Path("file/sub")), L"bake.tvr", error);
    EXPECT_FALSE(f.Valid());
    EXPECT_NE(std::wstring::npos, error.find(L"Not a directory"))
        << std::string(error.begin(), error.end());
}
