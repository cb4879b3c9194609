// The rules of the live controller list, driven by scripted status records.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "discovery/device_list.h"
#include "discovery/ip_fields.h"

namespace {

uint32_t Ip(const char* dotted) {
    in_addr a{};
    inet_pton(AF_INET, dotted, &a);
    return a.s_addr;  // network order, as the records hold it
}

discovery::DeviceStatus Listed(uint32_t deviceId, const char* ip = "192.168.1.10",
                               uint32_t firmware = 1000000) {
    discovery::DeviceStatus s;
    s.deviceId = deviceId;
    s.statusWord0 = 1;
    s.statusWord2 = 1;
    s.statusWord3 = 1;
    s.firmwareVersion = firmware;
    s.ipAddress = Ip(ip);
    s.macAddress = 0x020000000000ull | deviceId;
    return s;
}

// Writes down what the list tells its view.
class Recorder : public discovery::DeviceListObserver {
public:
    bool BeginInsertRow(int row) override {
        log.push_back("insert " + std::to_string(row));
        return acceptRows;
    }
    void EndInsertRow() override {}
    void BeginRemoveRow(int row) override { log.push_back("remove " + std::to_string(row)); }
    void EndRemoveRow() override {}
    void RowChanged(int row) override { log.push_back("changed " + std::to_string(row)); }
    void BeginReorder() override {}
    void EndReorder(const std::vector<int>& newIndex) override {
        std::string s = "reorder";
        for (int i : newIndex) s += " " + std::to_string(i);
        log.push_back(s);
    }
    void SortMarkChanged(int previous, int column, int mark) override {
        log.push_back("mark " + std::to_string(previous) + " " + std::to_string(column) + " " +
                      std::to_string(mark));
    }
    std::vector<std::string> log;
    bool acceptRows = true;
};

std::vector<uint32_t> Ids(const discovery::DeviceList& list) {
    std::vector<uint32_t> ids;
    ids.reserve(static_cast<size_t>(list.Count()));
    for (int i = 0; i < list.Count(); ++i) ids.push_back(list.Row(i).status.deviceId);
    return ids;
}

using Outcome = discovery::DeviceList::Outcome;

TEST(DeviceListTexts, ColumnTextsAndImages) {
    const discovery::DeviceStatus online = Listed(4294967294u, "192.168.1.10", 1002003);
    EXPECT_EQ(discovery::DeviceColumnText(online, discovery::kColumnStatus), "Online");
    EXPECT_EQ(discovery::DeviceColumnText(online, discovery::kColumnName), "4294967294");
    EXPECT_EQ(discovery::DeviceColumnText(online, discovery::kColumnFirmware), "1.002.003");
    EXPECT_EQ(discovery::DeviceColumnText(online, discovery::kColumnDeviceIP), "192.168.1.10");
    EXPECT_EQ(discovery::RowImage(online), discovery::kImageOnline);

    const discovery::DeviceStatus waiting = Listed(7, "0.0.0.0", 0xFFFFFFFF);
    EXPECT_EQ(discovery::DeviceColumnText(waiting, discovery::kColumnStatus), "Wait IP");
    EXPECT_EQ(discovery::DeviceColumnText(waiting, discovery::kColumnFirmware), "Invalid flash");
    EXPECT_EQ(discovery::DeviceColumnText(waiting, discovery::kColumnDeviceIP), "Unknown");
    EXPECT_EQ(discovery::RowImage(waiting), discovery::kImageWaitIP);

    EXPECT_EQ(discovery::DeviceNameText(0xFFFFFFFF), "<unknown>");
    EXPECT_EQ(discovery::DeviceNameText(0), "0");
    EXPECT_EQ(discovery::DeviceIPText(Ip("255.255.255.255")), "255.255.255.255");
    EXPECT_EQ(discovery::DeviceIPText(Ip("1.2.3.4")), "1.2.3.4");
}

TEST(DeviceListRules, ListingTestDecidesWhetherAControllerGetsARow) {
    struct Case {
        const char* what;
        uint32_t w0, w2, w3, id;
        bool listed;
    } cases[] = {
        {"ready controller", 1, 1, 1, 5, true},     {"ID 0 is still an ID", 1, 1, 1, 0, true},
        {"ID not set", 1, 1, 1, 0xFFFFFFFF, false}, {"word 0 not 1", 0, 1, 1, 5, false},
        {"word 0 is 2", 2, 1, 1, 5, false},         {"word 2 not 1", 1, 0, 1, 5, false},
        {"word 3 not 1", 1, 1, 3, 5, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        discovery::DeviceStatus s = Listed(c.id);
        s.statusWord0 = c.w0;
        s.statusWord2 = c.w2;
        s.statusWord3 = c.w3;
        discovery::DeviceList list;
        const auto r = list.Update(s);
        EXPECT_EQ(r.outcome, c.listed ? Outcome::Added : Outcome::Ignored);
        EXPECT_EQ(list.Count(), c.listed ? 1 : 0);
        EXPECT_EQ(discovery::IsOnline(s), c.listed);
        if (c.listed) {
            EXPECT_EQ(list.Row(0).seen, 1u);
            EXPECT_TRUE(list.Row(0).status == s);
            EXPECT_EQ(list.Row(0).status.deviceId, c.id);
        }
    }
}

TEST(DeviceListRules, EqualStatusOnlyMarksTheRowSeen) {
    Recorder view;
    discovery::DeviceList list(&view);
    list.Update(Listed(1, "10.0.0.1"));
    list.Update(Listed(2, "10.0.0.2"));
    list.TimerTick();  // clears both marks
    ASSERT_EQ(list.Row(0).seen, 0u);
    view.log.clear();

    discovery::DeviceStatus again = Listed(2, "10.0.0.2");
    again.requestId = 99;  // the base fields take no part in equality
    const auto r = list.Update(again);
    EXPECT_EQ(r.outcome, Outcome::Seen);
    EXPECT_TRUE(view.log.empty()) << view.log.front();  // nothing redrawn, nothing sorted
    const int row = list.Find(2);
    EXPECT_EQ(r.row, row);
    EXPECT_EQ(list.Row(row).seen, 1u);
    EXPECT_EQ(list.Row(row).status.requestId, 0u);  // not copied either
    EXPECT_EQ(list.Row(list.Find(1)).seen, 0u);
}

TEST(DeviceListRules, ChangedStatusRewritesAndResortsTheRow) {
    Recorder view;
    discovery::DeviceList list(&view);
    list.Update(Listed(1, "10.0.0.1"));
    list.Update(Listed(2, "10.0.0.2"));
    list.Update(Listed(3, "10.0.0.3"));
    list.TimerTick();
    view.log.clear();

    // Only statusWord4 differs: the row takes every field and is redrawn.
    discovery::DeviceStatus s = Listed(2, "10.0.0.2");
    s.statusWord4 = 0x55;
    s.requestId = 7;
    auto r = list.Update(s);
    EXPECT_EQ(r.outcome, Outcome::Rewritten);
    ASSERT_EQ(view.log.size(), 1u);
    EXPECT_EQ(view.log[0], "changed " + std::to_string(r.row));
    EXPECT_EQ(list.Row(r.row).status.statusWord4, 0x55u);
    EXPECT_EQ(list.Row(r.row).status.requestId, 7u);
    EXPECT_EQ(list.Row(r.row).seen, 1u);

    // Losing its address moves it before the "Online" rows (default order:
    // "Status" descending), and the list says where it went.
    const int before = list.Find(3);
    view.log.clear();
    r = list.Update(Listed(3, "0.0.0.0"));
    EXPECT_EQ(r.outcome, Outcome::Rewritten);
    EXPECT_EQ(r.row, 0);
    EXPECT_EQ(list.Row(0).status.deviceId, 3u);
    EXPECT_EQ(discovery::DeviceStatusText(list.Row(0).status), "Wait IP");
    ASSERT_EQ(view.log.size(), 2u);
    EXPECT_EQ(view.log[0], "changed " + std::to_string(before));
    EXPECT_EQ(view.log[1].rfind("reorder", 0), 0u);
}

TEST(DeviceListRules, EqualityComparesTheReportedFieldsOneByOne) {
    struct Case {
        const char* field;
        void (*change)(discovery::DeviceStatus&);
        bool compared;
        Outcome outcome;  // of the changed report against a row of the unchanged one
    };
    const Case cases[] = {
        {"firmwareVersion", [](discovery::DeviceStatus& s) { s.firmwareVersion += 1; }, true,
         Outcome::Rewritten},
        {"macAddress", [](discovery::DeviceStatus& s) { s.macAddress ^= 1ull << 40; }, true,
         Outcome::Rewritten},
        {"ipAddress", [](discovery::DeviceStatus& s) { s.ipAddress = Ip("10.0.0.99"); }, true,
         Outcome::Rewritten},
        {"statusWord4", [](discovery::DeviceStatus& s) { s.statusWord4 = 0x55; }, true,
         Outcome::Rewritten},
        // Words 0, 2 and 3 decide the listing, so a change of one removes the row.
        {"statusWord0", [](discovery::DeviceStatus& s) { s.statusWord0 = 2; }, true,
         Outcome::Removed},
        {"statusWord2", [](discovery::DeviceStatus& s) { s.statusWord2 = 2; }, true,
         Outcome::Removed},
        {"statusWord3", [](discovery::DeviceStatus& s) { s.statusWord3 = 2; }, true,
         Outcome::Removed},
        {"requestId", [](discovery::DeviceStatus& s) { s.requestId = 99; }, false, Outcome::Seen},
        {"action", [](discovery::DeviceStatus& s) { s.action = discovery::PSM_ACTION_WRITE; },
         false, Outcome::Seen},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.field);
        const discovery::DeviceStatus base = Listed(7, "10.0.0.7");
        discovery::DeviceStatus changed = base;
        c.change(changed);
        EXPECT_EQ(changed == base, !c.compared);
        EXPECT_EQ(base == changed, !c.compared);

        Recorder view;
        discovery::DeviceList list(&view);
        list.Update(base);
        view.log.clear();
        EXPECT_EQ(list.Update(changed).outcome, c.outcome);
        EXPECT_EQ(view.log.empty(), c.outcome == Outcome::Seen);
    }
}

TEST(DeviceListRules, FailingStatusDeletesItsRowAtOnce) {
    Recorder view;
    discovery::DeviceList list(&view);
    list.Update(Listed(1, "10.0.0.1"));
    list.Update(Listed(2, "10.0.0.2"));
    list.Update(Listed(3, "10.0.0.3"));
    const int row = list.Find(2);
    view.log.clear();

    discovery::DeviceStatus failing = Listed(2, "10.0.0.2");
    failing.statusWord3 = 0;
    const auto r = list.Update(failing);
    EXPECT_EQ(r.outcome, Outcome::Removed);
    EXPECT_EQ(view.log, std::vector<std::string>{"remove " + std::to_string(row)});
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Find(2), -1);
    EXPECT_NE(list.Find(1), -1);
    EXPECT_NE(list.Find(3), -1);

    // A failing status of an unlisted controller changes nothing.
    EXPECT_EQ(list.Update(failing).outcome, Outcome::Ignored);
    EXPECT_EQ(list.Count(), 2);
}

TEST(DeviceListRules, TimerRemovesControllersThatFellSilent) {
    discovery::DeviceList list;
    list.Update(Listed(1, "10.0.0.1"));
    list.Update(Listed(2, "10.0.0.2"));
    list.Update(Listed(3, "10.0.0.3"));

    // First tick: every row was seen since the list began; marks cleared.
    EXPECT_EQ(list.TimerTick(), 0);
    EXPECT_EQ(list.Count(), 3);
    // Controllers 1 and 3 keep reporting; 2 falls silent.
    list.Update(Listed(1, "10.0.0.1"));
    list.Update(Listed(3, "10.0.0.3"));
    EXPECT_EQ(list.TimerTick(), 1);
    EXPECT_EQ(list.Find(2), -1);
    EXPECT_EQ(list.Count(), 2);
    // Both silent now: both go at the next tick.
    EXPECT_EQ(list.TimerTick(), 2);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.TimerTick(), 0);
}

TEST(DeviceListRules, RowTheViewCannotTakeIsNotAdded) {
    Recorder view;
    view.acceptRows = false;
    discovery::DeviceList list(&view);
    const auto r = list.Update(Listed(1));
    EXPECT_EQ(r.outcome, Outcome::NoRow);
    EXPECT_EQ(list.Count(), 0);
    view.acceptRows = true;
    EXPECT_EQ(list.Update(Listed(1)).outcome, Outcome::Added);
}

TEST(DeviceListSort, Comparisons) {
    struct Case {
        const char* what;
        discovery::DeviceStatus a, b;
        int column;
        int sign;  // of discovery::CompareDevices(a, b)
    } cases[] = {
        {"status: Online before Wait IP as text", Listed(1, "1.1.1.1"), Listed(2, "0.0.0.0"),
         discovery::kColumnStatus, -1},
        {"status: equal texts", Listed(1, "1.1.1.1"), Listed(2, "2.2.2.2"),
         discovery::kColumnStatus, 0},
        {"name as text: 10 before 9", Listed(10), Listed(9), discovery::kColumnName, -1},
        {"name as text: 123 after 1200", Listed(123), Listed(1200), discovery::kColumnName, 1},
        {"firmware: plain difference", Listed(1, "1.1.1.1", 2000000), Listed(2, "1.1.1.1", 1000000),
         discovery::kColumnFirmware, 1},
        {"firmware: wrapping difference", Listed(1, "1.1.1.1", 0x90000000), Listed(2, "1.1.1.1", 1),
         discovery::kColumnFirmware, -1},
        {"IP: little-endian, 192.168.1.2 before 10.0.0.9", Listed(1, "192.168.1.2"),
         Listed(2, "10.0.0.9"), discovery::kColumnDeviceIP, -1},
        {"IP: last octet weighs most", Listed(1, "9.0.0.1"), Listed(2, "1.0.0.2"),
         discovery::kColumnDeviceIP, -1},
        {"IP: wrapping difference", Listed(1, "0.0.0.200"), Listed(2, "0.0.0.1"),
         discovery::kColumnDeviceIP, -1},
        {"IP: equal", Listed(1, "10.0.0.9"), Listed(2, "10.0.0.9"), discovery::kColumnDeviceIP, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int d = discovery::CompareDevices(c.a, c.b, c.column);
        EXPECT_EQ((d > 0) - (d < 0), c.sign);
        const int back = discovery::CompareDevices(c.b, c.a, c.column);
        EXPECT_EQ((back > 0) - (back < 0), -c.sign);
    }
    EXPECT_EQ(discovery::CompareText("online", "ONLINE"), 0);  // case does not count
    EXPECT_TRUE(discovery::GoesBefore(-1, true));
    EXPECT_FALSE(discovery::GoesBefore(-1, false));
    EXPECT_TRUE(discovery::GoesBefore(1, false));
    EXPECT_FALSE(discovery::GoesBefore(0, false));
    EXPECT_FALSE(discovery::GoesBefore(0, true));
}

TEST(DeviceListSort, HeaderClicksAndMarks) {
    Recorder view;
    discovery::DeviceList list(&view);
    list.Update(Listed(9, "10.0.0.9", 3000000));
    list.Update(Listed(10, "192.168.1.2", 1000000));
    list.Update(Listed(11, "0.0.0.0", 2000000));

    // Fresh list: "Status" descending, the up-pointing mark on column 0.
    EXPECT_EQ(list.SortColumn(), discovery::kColumnStatus);
    EXPECT_FALSE(list.Ascending());
    EXPECT_EQ(list.Row(0).status.deviceId, 11u);  // "Wait IP" first
    view.log.clear();
    list.ShowSortMark();
    EXPECT_EQ(view.log, std::vector<std::string>{"mark -1 0 1"});

    // "Firmware" once: that column, order unchanged (descending).
    view.log.clear();
    list.HeaderClicked(discovery::kColumnFirmware);
    EXPECT_EQ(list.SortColumn(), discovery::kColumnFirmware);
    EXPECT_FALSE(list.Ascending());
    EXPECT_EQ(view.log.front(), "mark 0 2 1");
    EXPECT_EQ(Ids(list), (std::vector<uint32_t>{9, 11, 10}));
    // Again: ascending, the down-pointing mark, no other column to clear.
    view.log.clear();
    list.HeaderClicked(discovery::kColumnFirmware);
    EXPECT_TRUE(list.Ascending());
    EXPECT_EQ(view.log.front(), "mark -1 2 0");
    EXPECT_EQ(Ids(list), (std::vector<uint32_t>{10, 11, 9}));

    // "Device IP" ascending: in stored-integer order, not dotted order.
    list.HeaderClicked(discovery::kColumnDeviceIP);
    EXPECT_TRUE(list.Ascending());
    EXPECT_EQ(Ids(list), (std::vector<uint32_t>{11, 10, 9}));
    // "Name" descending as text: "9" > "11" > "10".
    list.HeaderClicked(discovery::kColumnName);
    list.HeaderClicked(discovery::kColumnName);
    EXPECT_FALSE(list.Ascending());
    EXPECT_EQ(Ids(list), (std::vector<uint32_t>{9, 11, 10}));

    // New rows land in order.
    list.Update(Listed(100, "10.0.0.100"));
    EXPECT_EQ(Ids(list), (std::vector<uint32_t>{9, 11, 100, 10}));
}

TEST(DeviceListSort, ReorderTellsWhereEveryRowWent) {
    Recorder view;
    discovery::DeviceList list(&view);
    list.HeaderClicked(discovery::kColumnName);  // Name, descending
    list.Update(Listed(1));
    list.Update(Listed(2));
    list.Update(Listed(3));
    ASSERT_EQ(Ids(list), (std::vector<uint32_t>{3, 2, 1}));
    view.log.clear();
    list.HeaderClicked(discovery::kColumnName);  // ascending: reversed
    ASSERT_EQ(view.log.size(), 2u);
    EXPECT_EQ(view.log[1], "reorder 2 1 0");
    // Sorting a sorted list moves nothing and says nothing.
    view.log.clear();
    list.Sort();
    EXPECT_TRUE(view.log.empty());
}

TEST(DeviceListSort, InconsistentOrderStaysInBounds) {
    // Wrapping differences are not transitive; sorting must still finish
    // with every row present exactly once.
    discovery::DeviceList list;
    list.HeaderClicked(discovery::kColumnFirmware);
    const uint32_t versions[] = {0, 0x40000000, 0x80000000, 0xC0000000, 0x7FFFFFFF, 0x80000001,
                                 1, 0xFFFFFFFE, 0x3FFFFFFF, 0xBFFFFFFF, 5,          0x60000000};
    uint32_t id = 1;
    for (uint32_t v : versions) list.Update(Listed(id++, "1.1.1.1", v));
    list.HeaderClicked(discovery::kColumnFirmware);
    ASSERT_EQ(list.Count(), 12);
    std::vector<uint32_t> ids = Ids(list);
    std::sort(ids.begin(), ids.end());
    for (uint32_t i = 0; i < 12; ++i) EXPECT_EQ(ids[i], i + 1);
}

TEST(DeviceListRules, ClearDeletesEveryRow) {
    Recorder view;
    discovery::DeviceList list(&view);
    list.Update(Listed(1));
    list.Update(Listed(2));
    view.log.clear();
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(view.log, (std::vector<std::string>{"remove 1", "remove 0"}));
}

TEST(IPFields, NetworkOrderPutsTheFirstFieldFirst) {
    struct Case {
        uint32_t fields;
        const char* dotted;
    } cases[] = {
        {discovery::MakeFields(192, 168, 5, 20), "192.168.5.20"},
        {discovery::MakeFields(255, 255, 255, 0), "255.255.255.0"},
        {0, "0.0.0.0"},
        {discovery::MakeFields(10, 0, 0, 1), "10.0.0.1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dotted);
        EXPECT_EQ(discovery::FieldsToNetworkOrder(c.fields), Ip(c.dotted));
        EXPECT_EQ(discovery::NetworkOrderToFields(Ip(c.dotted)), c.fields);
        EXPECT_EQ(discovery::DeviceIPText(discovery::FieldsToNetworkOrder(c.fields)),
                  c.fields ? std::string(c.dotted) : std::string("Unknown"));
    }
    EXPECT_EQ(discovery::FieldOf(discovery::MakeFields(1, 2, 3, 4), 0), 1u);
    EXPECT_EQ(discovery::FieldOf(discovery::MakeFields(1, 2, 3, 4), 3), 4u);
}

}  // namespace
