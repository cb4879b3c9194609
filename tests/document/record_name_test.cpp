// Bake record names: the bake's local start from the controller's clock, the
// name and its time, and a finished record that never replaces a file.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <string>
#include <vector>

#include "document/record_name.h"
#include "document/recovery_file.h"
#include "tests/support/temp_dir.h"

using namespace document;

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

QDateTime Local(const char* text) {
    return QDateTime::fromString(QLatin1String(text), QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
}

}  // namespace

TEST(RecordName, TheBakeStartsWhenTheControllerSays) {
    struct Case {
        const char* what;
        const char* opened;  // local time the record opened
        uint64_t openedAtMs, reportedStartMs;
        const char* expectedStart;
        const char* expectedName;
    };
    const char* ten = "2026-12-10 10:00:00.100";
    const Case cases[] = {
        {"the packet that showed the bake, 250 ms after its start", ten, 905250, 905000,
         "2026-12-10 09:59:59.850", "bake-20261210-095959.tvr"},
        {"reconnected 15 minutes into the bake", ten, 905000, 5000, "2026-12-10 09:45:00.100",
         "bake-20261210-094500.tvr"},
        {"a bake that began before midnight", "2026-12-10 00:00:00.000", 86400000, 86399700,
         "2026-12-09 23:59:59.700", "bake-20261209-235959.tvr"},
        {"same time", ten, 905000, 905000, ten, "bake-20261210-100000.tvr"},
        {"no report yet", ten, 905000, 0, ten, "bake-20261210-100000.tvr"},
        {"no gauge packet before the record", ten, 0, 5000, ten, "bake-20261210-100000.tvr"},
        {"a start after the opening", ten, 905000, 905001, ten, "bake-20261210-100000.tvr"},
    };
    for (const Case& c : cases) {
        const QDateTime start =
            BakeStartLocalTime(Local(c.opened), c.openedAtMs, c.reportedStartMs);
        EXPECT_EQ(Local(c.expectedStart), start) << c.what;
        EXPECT_EQ(QLatin1String(c.expectedName), RecordFileName(start)) << c.what;
    }
}

TEST(RecordName, ANamedControllerFollowsTheTime) {
    const struct {
        const char* device;
        const char* expected;
    } cases[] = {
        {"", "bake-20261210-094500.tvr"},
        {"1001", "bake-20261210-094500-1001.tvr"},
        {"127.0.0.10", "bake-20261210-094500-127.0.0.10.tvr"},
        // Nothing of a typed host name may leave the folder or split the name.
        {"../plate 2", "bake-20261210-094500-.._plate_2.tvr"},
        {"a-b", "bake-20261210-094500-a_b.tvr"},
    };
    for (const auto& c : cases) {
        const QString name =
            RecordFileName(Local("2026-12-10 09:45:00.000"), QString::fromUtf8(c.device));
        EXPECT_EQ(QLatin1String(c.expected), name) << c.device;
        EXPECT_EQ(Local("2026-12-10 09:45:00.000"), RecordFileTime(name)) << c.device;
    }
}

TEST(RecordName, TheTimeComesBackFromTheNameOnlyForRecordNames) {
    struct Case {
        const char* name;
        const char* time;  // null: not a record name
    };
    const Case cases[] = {
        {"bake-20261210-094500.tvr", "2026-12-10 09:45:00.000"},
        {"bake-20261210-094500-2.tvr", "2026-12-10 09:45:00.000"},
        {"bake-20261210-094500-17.tvr", "2026-12-10 09:45:00.000"},
        {"bake-20261310-094500.tvr", nullptr},  // month 13
        {"bake-20261210-0945.tvr", nullptr},
        {"bake-20261210-094500.xml", nullptr},
        {"Chart1.tvr", nullptr},
        {"bake-20261210-094500-.tvr", nullptr},
        // Named after their controller, with and without a clash.
        {"bake-20261210-094500-1001.tvr", "2026-12-10 09:45:00.000"},
        {"bake-20261210-094500-1001-2.tvr", "2026-12-10 09:45:00.000"},
        {"bake-20261210-094500-127.0.0.10.tvr", "2026-12-10 09:45:00.000"},
        {"bake-20261210-094500-1001-.tvr", nullptr},
        {"bake-20261210-094500-10 01.tvr", nullptr},
    };
    for (const Case& c : cases) {
        const QDateTime t = RecordFileTime(QLatin1String(c.name));
        if (!c.time) {
            EXPECT_FALSE(t.isValid()) << c.name;
            continue;
        }
        EXPECT_EQ(Local(c.time), t) << c.name;
    }
}

TEST(RecordName, AFinishedRecordNeverReplacesAFile) {
    struct Case {
        std::vector<std::string> existing;
        std::string expected;
    };
    const Case cases[] = {
        {{}, "bake-20261210-094500.tvr"},
        {{"bake-20261210-094500.tvr"}, "bake-20261210-094500-2.tvr"},
        {{"bake-20261210-094500.tvr", "bake-20261210-094500-2.tvr"}, "bake-20261210-094500-3.tvr"},
        // A gap is filled: the plain name is free again.
        {{"bake-20261210-094500-2.tvr"}, "bake-20261210-094500.tvr"},
        // Another bake's records do not count.
        {{"bake-20261210-094501.tvr"}, "bake-20261210-094500.tvr"},
    };
    for (const Case& c : cases) {
        test_support::TempDir dir;
        for (const std::string& name : c.existing) dir.Write(name, "kept " + name);
        const QString source = Q(dir.Write(".record.part", "the new record"));
        std::wstring error;
        const QString path = PublishRecordFile(source, Q(dir.Dir()),
                                               QStringLiteral("bake-20261210-094500.tvr"), error);
        EXPECT_EQ(Q(dir.Path(c.expected)), path) << c.expected;
        EXPECT_TRUE(error.empty());
        EXPECT_EQ("the new record", dir.Read(c.expected));
        EXPECT_FALSE(QFile::exists(source));
        for (const std::string& name : c.existing)
            EXPECT_EQ("kept " + name, dir.Read(name)) << name;
        // The recovery file's name is chosen the same way.
        const document::RecoveryFile reserved = document::RecoveryFile::Reserve(
            std::wstring(dir.Dir().begin(), dir.Dir().end()), L"bake-20261210-094500.tvr", error);
        EXPECT_TRUE(QFileInfo(QString::fromStdWString(reserved.Path()))
                        .fileName()
                        .startsWith(QStringLiteral("bake-20261210-094500-")));
    }
}

TEST(RecordName, AFailedMoveLeavesTheRecordWhereItWas) {
    test_support::TempDir dir;
    const QString source = Q(dir.Write(".record.part", "the new record"));
    std::wstring error;
    EXPECT_TRUE(PublishRecordFile(source, Q(dir.Path("missing")),
                                  QStringLiteral("bake-20261210-094500.tvr"), error)
                    .isEmpty());
    EXPECT_NE(std::wstring::npos, error.find(L"bake-20261210-094500.tvr")) << error.size();
    EXPECT_EQ("the new record", dir.Read(".record.part"));
}
