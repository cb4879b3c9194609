// A save replaces the old file whole or not at all: whatever fails or kills
// it, the old document stays as it was and nothing else is left beside it.
// The filesystems that fail (read-only, out of space, out of file entries)
// are made in a private mount namespace, so they fail for root too.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <thread>

#include "platform/replacing_file.h"
#include "tests/support/private_mount.h"
#include "tests/support/temp_dir.h"
#include "xml/xml_file_writer.h"
#include "xml/xml_node.h"

using test_support::InPrivateTmpfs;
using test_support::TempDir;
using xml::XmlError;
using xml::XmlNode;

namespace {

std::wstring Wide(const std::string& s) {
    return std::wstring(s.begin(), s.end());
}

std::string Read(const std::string& path) {
    return TempDir::ReadFile(path);
}

void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::set<std::string> Entries(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        names.insert(e.path().filename().string());
    return names;
}

// About 180 KB on disk.
XmlNode BigDocument() {
    XmlNode root = XmlNode::CreateRoot();
    XmlNode list = root.AddChild(L"list");
    for (int i = 0; i < 2000; ++i) list.AddChild(L"item").AddAttribute(L"v", L"some value");
    return root;
}

// The same streamed, as chart files are written.
XmlError StreamBigDocument(const std::string& path, std::wstring& reason) {
    xml::XmlFileWriter writer;
    XmlError e = writer.Open(Wide(path));
    if (e == XmlError::kNone) {
        writer.StartElement(L"list");
        for (int i = 0; i < 2000; ++i) {
            writer.StartElement(L"item", {{L"v", L"some value"}});
            writer.EndElement();
        }
        e = writer.Close();
    }
    reason = writer.Reason();
    return e;
}

const std::string kOld = "old document, not to be touched";

// Both writers' saves onto `target` fail with `code` and `reason`, and
// leave the folder exactly as it was: the body's report, empty when so.
std::string SavesFailAndLeaveAll(const std::string& dir, const std::string& target, XmlError code,
                                 const std::wstring& reason) {
    std::string faults;
    const std::set<std::string> before = Entries(dir);
    const std::string old = Read(target);
    std::wstring why;
    const XmlError tree = BigDocument().WriteFile(Wide(target), &why);
    if (tree != code || why != reason) {
        faults += "tree save gave " + std::to_string(static_cast<int>(tree)) + " \"" +
                  std::string(why.begin(), why.end()) + "\"\n";
    }
    const XmlError streamed = StreamBigDocument(target, why);
    if (streamed != code || why != reason) {
        faults += "streamed save gave " + std::to_string(static_cast<int>(streamed)) + " \"" +
                  std::string(why.begin(), why.end()) + "\"\n";
    }
    if (Read(target) != old)
        faults += "the old file changed\n";
    if (Entries(dir) != before)
        faults += "the folder's entries changed\n";
    return faults;
}

}  // namespace

// The file is the user's to write but its folder is not (here: a read-only
// folder with the file mounted writable on it): no new file can be made
// beside the target, and the save fails instead of writing into the old file.
TEST(XmlSave, AFolderThatCannotBeWrittenKeepsTheOldFile) {
    const auto outcome = InPrivateTmpfs("size=4m", [](const std::string& base) -> std::string {
        const std::string store = base + "/store", folder = base + "/folder";
        ::mkdir(store.c_str(), 0755);
        ::mkdir(folder.c_str(), 0755);
        Write(store + "/doc.xml", kOld);
        Write(folder + "/doc.xml", "");
        if (::mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
            ::mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) !=
                0 ||
            ::mount((store + "/doc.xml").c_str(), (folder + "/doc.xml").c_str(), nullptr, MS_BIND,
                    nullptr) != 0) {
            return std::string("set-up mounts: ") + std::strerror(errno);
        }
        const int probe = ::open((folder + "/doc.xml").c_str(), O_WRONLY);
        if (probe < 0)
            return "set-up: the file is not writable";
        ::close(probe);
        std::string faults = SavesFailAndLeaveAll(
            folder, folder + "/doc.xml", XmlError::kCannotOpenForWriting, L"Read-only file system");
        // A new file there fails alike and names why.
        std::wstring why;
        if (BigDocument().WriteFile(Wide(folder + "/new.xml"), &why) !=
                XmlError::kCannotOpenForWriting ||
            why != L"Read-only file system") {
            faults += "a new file did not fail as it should\n";
        }
        return faults;
    });
    if (!outcome.ran)
        GTEST_SKIP() << "no private mount namespace: " << outcome.skipReason;
    EXPECT_EQ(outcome.faults, "");
}

// A disk with no free file entries: no new file can be made at all.
TEST(XmlSave, NoFreeFileEntriesKeepsTheOldFile) {
    const auto outcome = InPrivateTmpfs("size=4m,nr_inodes=16", [](const std::string& dir) {
        Write(dir + "/doc.xml", kOld);
        for (int i = 0; i < 100; ++i) {
            const int fd = ::open((dir + "/fill" + std::to_string(i)).c_str(),
                                  O_WRONLY | O_CREAT | O_EXCL, 0644);
            if (fd < 0)
                break;
            ::close(fd);
        }
        return SavesFailAndLeaveAll(dir, dir + "/doc.xml", XmlError::kCannotOpenForWriting,
                                    L"No space left on device");
    });
    if (!outcome.ran)
        GTEST_SKIP() << "no private mount namespace: " << outcome.skipReason;
    EXPECT_EQ(outcome.faults, "");
}

// A disk that fills up while the new file is written.
TEST(XmlSave, AFullDiskKeepsTheOldFile) {
    const auto outcome = InPrivateTmpfs("size=64k", [](const std::string& dir) {
        Write(dir + "/doc.xml", kOld);
        std::string faults = SavesFailAndLeaveAll(dir, dir + "/doc.xml", XmlError::kCannotWrite,
                                                  L"No space left on device");
        // A new document that does not fit is not left half made.
        std::wstring why;
        if (BigDocument().WriteFile(Wide(dir + "/new.xml"), &why) != XmlError::kCannotWrite)
            faults += "a new file did not fail\n";
        // The named temporary file of filesystems without unnamed ones goes
        // too.
        platform::ReplacingFile named(platform::ReplacingFile::Temp::kNamed);
        if (!named.Open(dir + "/doc.xml"))
            return faults + "named: cannot open\n";
        const std::string big(256 * 1024, 'x');
        if (named.Write(big.data(), big.size()) || named.Commit() || named.Error() != ENOSPC)
            faults += "named: the write did not fail with ENOSPC\n";
        if (Entries(dir) != std::set<std::string>{"doc.xml"})
            faults += "entries left: " + std::to_string(Entries(dir).size()) + "\n";
        if (Read(dir + "/doc.xml") != kOld)
            faults += "the old file changed\n";
        return faults;
    });
    if (!outcome.ran)
        GTEST_SKIP() << "no private mount namespace: " << outcome.skipReason;
    EXPECT_EQ(outcome.faults, "");
}

namespace {

// A chart-sized document, streamed: several megabytes.
void SaveLargeDocument(const std::string& path, int points) {
    xml::XmlFileWriter writer;
    if (writer.Open(Wide(path)) != XmlError::kNone)
        return;
    writer.StartElement(L"Charts");
    writer.StartElement(L"Chart", {{L"Name", L"Temp Main"}, {L"Y_Label", L"Temperature"}});
    wchar_t x[32];
    for (int i = 0; i < points; ++i) {
        std::swprintf(x, 32, L"%d.500000", i);
        writer.StartElement(L"Data", {{L"X", x}, {L"Y", L"25.500000"}});
        writer.EndElement();
    }
    writer.Close();
}

}  // namespace

// Saves killed at random moments, from before the first byte to after the
// rename: every time the file is the old document or the new one, whole, and
// no temporary file stays behind.
TEST(XmlSave, KilledSavesLeaveTheOldOrTheNewFileWholeAndNothingElse) {
    TempDir dir, reference;
    const std::string target = dir.Path("doc.tvr");
    constexpr int kPoints = 100000;
    SaveLargeDocument(target, 10);
    const std::string oldBytes = Read(target);
    const auto start = std::chrono::steady_clock::now();
    SaveLargeDocument(reference.Path("new.tvr"), kPoints);
    const auto saveTime = std::chrono::steady_clock::now() - start;
    const std::string newBytes = Read(reference.Path("new.tvr"));
    ASSERT_GT(newBytes.size(), 4'000'000u);

    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    const auto span = std::chrono::duration_cast<std::chrono::microseconds>(saveTime).count();
    std::uniform_int_distribution<long> delay(0, span + span / 4);
    int keptOld = 0, gotNew = 0;
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        int go[2];
        ASSERT_EQ(::pipe2(go, O_CLOEXEC), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(go[0]);
            const char ready = 'r';
            (void)!::write(go[1], &ready, 1);
            SaveLargeDocument(target, kPoints);
            ::_exit(0);
        }
        ::close(go[1]);
        char ready;
        ASSERT_EQ(::read(go[0], &ready, 1), 1);
        ::close(go[0]);
        std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        // A kill while the new file takes its name lets the last step run to
        // its end on its own, within moments.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (Entries(dir.Dir()).size() > 1 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));

        const std::string now = Read(target);
        ASSERT_TRUE(now == oldBytes || now == newBytes) << "a torn file of " << now.size();
        ASSERT_EQ(Entries(dir.Dir()), std::set<std::string>{"doc.tvr"})
            << "a temporary file stayed behind";
        if (now == oldBytes) {
            ++keptOld;
        } else {
            ++gotNew;
            SaveLargeDocument(target, 10);  // the old document again for the next round
            ASSERT_EQ(Read(target), oldBytes);
        }
    }
    // The kills landed both inside and after saves.
    EXPECT_GT(keptOld, 0);
    RecordProperty("kept_old", keptOld);
    RecordProperty("got_new", gotNew);
    RecordProperty("save_us", static_cast<int>(span));
}

// A file that belongs to a running writer carries its lock from the moment
// it appears at its name: the lock is taken on the new file before the save
// puts it in place, and held until the writer lets the kept descriptor go.
TEST(XmlFileWriter, ALockTakenBeforeCloseHoldsOnTheSavedFile) {
    TempDir dir;
    const std::string path = dir.Path("record.tvr");
    Write(path, kOld);
    xml::XmlFileWriter writer;
    ASSERT_EQ(writer.Open(Wide(path)), XmlError::kNone);
    ASSERT_EQ(::flock(writer.Fd(), LOCK_EX | LOCK_NB), 0);
    writer.StartElement(L"Charts");
    platform::UniqueFd kept;
    ASSERT_EQ(writer.Close(&kept), XmlError::kNone);
    ASSERT_TRUE(kept.IsValid());
    EXPECT_EQ(writer.Fd(), -1);

    const platform::UniqueFd other(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    ASSERT_TRUE(other.IsValid());
    EXPECT_NE(Read(path), kOld);
    EXPECT_EQ(::flock(other.Get(), LOCK_EX | LOCK_NB), -1);
    EXPECT_EQ(errno, EWOULDBLOCK);
    kept.Reset();
    EXPECT_EQ(::flock(other.Get(), LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(dir.Entries(), 1u);
}

// Both kinds of new file (unnamed where the filesystem has them, named where
// not) replace the target alike, and an abandoned one leaves nothing.
TEST(ReplacingFile, ReplacesWholeKeepsTheModeAndAbandonsCleanly) {
    using platform::ReplacingFile;
    for (const ReplacingFile::Temp temp :
         {ReplacingFile::Temp::kUnnamedWherePossible, ReplacingFile::Temp::kNamed}) {
        SCOPED_TRACE(temp == ReplacingFile::Temp::kNamed ? "named" : "unnamed");
        TempDir dir;
        const std::string path = dir.Path("f");
        auto save = [&](const std::string& bytes, bool commit) {
            ReplacingFile file(temp);
            EXPECT_TRUE(file.Open(path));
            EXPECT_TRUE(file.Write(bytes.data(), bytes.size()));
            if (commit) {
                EXPECT_TRUE(file.Commit());
            }  // else dropped with the object
        };
        const mode_t saved = ::umask(022);
        save("first", true);
        ::umask(saved);
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0644u);

        ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
        save("second", true);
        EXPECT_EQ(Read(path), "second");
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0640u);

        save("dropped", false);
        EXPECT_EQ(Read(path), "second");
        EXPECT_EQ(dir.Entries(), 1u);
    }
}

// A file in no folder (a file in memory reached through /proc/self/fd) has
// nowhere for a replacement to be made: it is written as it stands, whole,
// without the tail of what it held.
TEST(ReplacingFile, AFileInNoFolderIsRewrittenWhole) {
    const int fd = ::memfd_create("replacing", 0);
    ASSERT_GE(fd, 0);
    const std::string old = "a longer old content";
    ASSERT_EQ(::pwrite(fd, old.data(), old.size(), 0), static_cast<ssize_t>(old.size()));
    platform::ReplacingFile file;
    ASSERT_TRUE(file.Open("/proc/self/fd/" + std::to_string(fd))) << file.Error();
    ASSERT_TRUE(file.Write("new", 3));
    ASSERT_TRUE(file.Commit());
    char buf[64] = {};
    EXPECT_EQ(::pread(fd, buf, sizeof buf, 0), 3);
    EXPECT_EQ(std::string(buf), "new");
    ::close(fd);
}
