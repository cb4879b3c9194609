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

CPSMD_DevStatus Listed(uint32_t deviceId, const char* ip = "192.168.1.10",
                       uint32_t firmware = 1000000) {
    CPSMD_DevStatus s;
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
class Recorder : public IDeviceListObserver {
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

std::vector<uint32_t> Ids(const CDeviceList& list) {
    std::vector<uint32_t> ids;
    for (int i = 0; i < list.Count(); ++i) ids.push_back(list.Row(i).deviceId);
    return ids;
}

using Outcome = CDeviceList::Outcome;

TEST(DeviceListTexts, ColumnTextsAndImages) {
    const CPSMD_DevStatus online = Listed(4294967294u, "192.168.1.10", 1002003);
    EXPECT_EQ(DeviceColumnText(online, kColumnStatus), "Online");
    EXPECT_EQ(DeviceColumnText(online, kColumnName), "4294967294");
    EXPECT_EQ(DeviceColumnText(online, kColumnFirmware), "1.002.003");
    EXPECT_EQ(DeviceColumnText(online, kColumnDeviceIP), "192.168.1.10");
    EXPECT_EQ(RowImage(online), kImageOnline);

    const CPSMD_DevStatus waiting = Listed(7, "0.0.0.0", 0xFFFFFFFF);
    EXPECT_EQ(DeviceColumnText(waiting, kColumnStatus), "Wait IP");
    EXPECT_EQ(DeviceColumnText(waiting, kColumnFirmware), "Invalid flash");
    EXPECT_EQ(DeviceColumnText(waiting, kColumnDeviceIP), "Unknown");
    EXPECT_EQ(RowImage(waiting), kImageWaitIP);

    EXPECT_EQ(DeviceNameText(0xFFFFFFFF), "<unknown>");
    EXPECT_EQ(DeviceNameText(0), "0");
    EXPECT_EQ(DeviceIPText(Ip("255.255.255.255")), "255.255.255.255");
    EXPECT_EQ(DeviceIPText(Ip("1.2.3.4")), "1.2.3.4");
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
        CPSMD_DevStatus s = Listed(c.id);
        s.statusWord0 = c.w0;
        s.statusWord2 = c.w2;
        s.statusWord3 = c.w3;
        CDeviceList list;
        const auto r = list.Update(s);
        EXPECT_EQ(r.outcome, c.listed ? Outcome::Added : Outcome::Ignored);
        EXPECT_EQ(list.Count(), c.listed ? 1 : 0);
        EXPECT_EQ(IsOnline(s), c.listed);
        if (c.listed) {
            EXPECT_EQ(list.Row(0).seen, 1u);
            EXPECT_TRUE(list.Row(0) == s);
            EXPECT_EQ(list.Row(0).deviceId, c.id);
        }
    }
}

TEST(DeviceListRules, EqualStatusOnlyMarksTheRowSeen) {
    Recorder view;
    CDeviceList list(&view);
    list.Update(Listed(1, "10.0.0.1"));
    list.Update(Listed(2, "10.0.0.2"));
    list.TimerTick();  // clears both marks
    ASSERT_EQ(list.Row(0).seen, 0u);
    view.log.clear();

    CPSMD_DevStatus again = Listed(2, "10.0.0.2");
    again.requestId = 99;  // the base fields take no part in equality
    const auto r = list.Update(again);
    EXPECT_EQ(r.outcome, Outcome::Seen);
    EXPECT_TRUE(view.log.empty()) << view.log.front();  // nothing redrawn, nothing sorted
    const int row = list.Find(2);
    EXPECT_EQ(r.row, row);
    EXPECT_EQ(list.Row(row).seen, 1u);
    EXPECT_EQ(list.Row(row).requestId, 0u);  // not copied either
    EXPECT_EQ(list.Row(list.Find(1)).seen, 0u);
}

TEST(DeviceListRules, ChangedStatusRewritesAndResortsTheRow) {
    Recorder view;
    CDeviceList list(&view);
    list.Update(Listed(1, "10.0.0.1"));
    list.Update(Listed(2, "10.0.0.2"));
    list.Update(Listed(3, "10.0.0.3"));
    list.TimerTick();
    view.log.clear();

    // Only statusWord4 differs: the row takes every field and is redrawn.
    CPSMD_DevStatus s = Listed(2, "10.0.0.2");
    s.statusWord4 = 0x55;
    s.requestId = 7;
    auto r = list.Update(s);
    EXPECT_EQ(r.outcome, Outcome::Rewritten);
    ASSERT_EQ(view.log.size(), 1u);
    EXPECT_EQ(view.log[0], "changed " + std::to_string(r.row));
    EXPECT_EQ(list.Row(r.row).statusWord4, 0x55u);
    EXPECT_EQ(list.Row(r.row).requestId, 7u);
    EXPECT_EQ(list.Row(r.row).seen, 1u);

    // Losing its address moves it before the "Online" rows (default order:
    // "Status" descending), and the list says where it went.
    const int before = list.Find(3);
    view.log.clear();
    r = list.Update(Listed(3, "0.0.0.0"));
    EXPECT_EQ(r.outcome, Outcome::Rewritten);
    EXPECT_EQ(r.row, 0);
    EXPECT_EQ(list.Row(0).deviceId, 3u);
    EXPECT_EQ(DeviceStatusText(list.Row(0)), "Wait IP");
    ASSERT_EQ(view.log.size(), 2u);
    EXPECT_EQ(view.log[0], "changed " + std::to_string(before));
    EXPECT_EQ(view.log[1].rfind("reorder", 0), 0u);
}

TEST(DeviceListRules, EqualityComparesTheReportedFieldsOneByOne) {
    struct Case {
        const char* field;
        void (*change)(CPSMD_DevStatus&);
        bool compared;
        Outcome outcome;  // of the changed report against a row of the unchanged one
    };
    const Case cases[] = {
        {"firmwareVersion", [](CPSMD_DevStatus& s) { s.firmwareVersion += 1; }, true,
         Outcome::Rewritten},
        {"macAddress", [](CPSMD_DevStatus& s) { s.macAddress ^= 1ull << 40; }, true,
         Outcome::Rewritten},
        {"ipAddress", [](CPSMD_DevStatus& s) { s.ipAddress = Ip("10.0.0.99"); }, true,
         Outcome::Rewritten},
        {"statusWord4", [](CPSMD_DevStatus& s) { s.statusWord4 = 0x55; }, true, Outcome::Rewritten},
        // Words 0, 2 and 3 decide the listing, so a change of one removes the row.
        {"statusWord0", [](CPSMD_DevStatus& s) { s.statusWord0 = 2; }, true, Outcome::Removed},
        {"statusWord2", [](CPSMD_DevStatus& s) { s.statusWord2 = 2; }, true, Outcome::Removed},
        {"statusWord3", [](CPSMD_DevStatus& s) { s.statusWord3 = 2; }, true, Outcome::Removed},
        {"requestId", [](CPSMD_DevStatus& s) { s.requestId = 99; }, false, Outcome::Seen},
        {"action", [](CPSMD_DevStatus& s) { s.action = PSM_ACTION_WRITE; }, false, Outcome::Seen},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.field);
        const CPSMD_DevStatus base = Listed(7, "10.0.0.7");
        CPSMD_DevStatus changed = base;
        c.change(changed);
        EXPECT_EQ(changed == base, !c.compared);
        EXPECT_EQ(base == changed, !c.compared);

        Recorder view;
        CDeviceList list(&view);
        list.Update(base);
        view.log.clear();
        EXPECT_EQ(list.Update(changed).outcome, c.outcome);
        EXPECT_EQ(view.log.empty(), c.outcome == Outcome::Seen);
    }
}

TEST(DeviceListRules, FailingStatusDeletesItsRowAtOnce) {
    Recorder view;
    CDeviceList list(&view);
    list.Update(Listed(1, "10.0.0.1"));
    list.Update(Listed(2, "10.0.0.2"));
    list.Update(Listed(3, "10.0.0.3"));
    const int row = list.Find(2);
    view.log.clear();

    CPSMD_DevStatus failing = Listed(2, "10.0.0.2");
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
    CDeviceList list;
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
    CDeviceList list(&view);
    const auto r = list.Update(Listed(1));
    EXPECT_EQ(r.outcome, Outcome::NoRow);
    EXPECT_EQ(list.Count(), 0);
    view.acceptRows = true;
    EXPECT_EQ(list.Update(Listed(1)).outcome, Outcome::Added);
}

TEST(DeviceListSort, Comparisons) {
    struct Case {
        const char* what;
        CPSMD_DevStatus a, b;
        int column;
        int sign;  // of CompareDevices(a, b)
    } cases[] = {
        {"status: Online before Wait IP as text", Listed(1, "1.1.1.1"), Listed(2, "0.0.0.0"),
         kColumnStatus, -1},
        {"status: equal texts", Listed(1, "1.1.1.1"), Listed(2, "2.2.2.2"), kColumnStatus, 0},
        {"name as text: 10 before 9", Listed(10), Listed(9), kColumnName, -1},
        {"name as text: 123 after 1200", Listed(123), Listed(1200), kColumnName, 1},
        {"firmware: plain difference", Listed(1, "1.1.1.1", 2000000), Listed(2, "1.1.1.1", 1000000),
         kColumnFirmware, 1},
        {"firmware: wrapping difference", Listed(1, "1.1.1.1", 0x90000000), Listed(2, "1.1.1.1", 1),
         kColumnFirmware, -1},
        {"IP: little-endian, 192.168.1.2 before 10.0.0.9", Listed(1, "192.168.1.2"),
         Listed(2, "10.0.0.9"), kColumnDeviceIP, -1},
        {"IP: last octet weighs most", Listed(1, "9.0.0.1"), Listed(2, "1.0.0.2"), kColumnDeviceIP,
         -1},
        {"IP: wrapping difference", Listed(1, "0.0.0.200"), Listed(2, "0.0.0.1"), kColumnDeviceIP,
         -1},
        {"IP: equal", Listed(1, "10.0.0.9"), Listed(2, "10.0.0.9"), kColumnDeviceIP, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int d = CompareDevices(c.a, c.b, c.column);
        EXPECT_EQ((d > 0) - (d < 0), c.sign);
        const int back = CompareDevices(c.b, c.a, c.column);
        EXPECT_EQ((back > 0) - (back < 0), -c.sign);
    }
    EXPECT_EQ(CompareText("online", "ONLINE"), 0);  // case does not count
    EXPECT_TRUE(GoesBefore(-1, true));
    EXPECT_FALSE(GoesBefore(-1, false));
    EXPECT_TRUE(GoesBefore(1, false));
    EXPECT_FALSE(GoesBefore(0, false));
    EXPECT_FALSE(GoesBefore(0, true));
}

TEST(DeviceListSort, HeaderClicksAndMarks) {
    Recorder view;
    CDeviceList list(&view);
    list.Update(Listed(9, "10.0.0.9", 3000000));
    list.Update(Listed(10, "192.168.1.2", 1000000));
    list.Update(Listed(11, "0.0.0.0", 2000000));

    // Fresh list: "Status" descending, the up-pointing mark on column 0.
    EXPECT_EQ(list.SortColumn(), kColumnStatus);
    EXPECT_FALSE(list.Ascending());
    EXPECT_EQ(list.Row(0).deviceId, 11u);  // "Wait IP" first
    view.log.clear();
    list.ShowSortMark();
    EXPECT_EQ(view.log, std::vector<std::string>{"mark -1 0 1"});

    // "Firmware" once: that column, order unchanged (descending).
    view.log.clear();
    list.HeaderClicked(kColumnFirmware);
    EXPECT_EQ(list.SortColumn(), kColumnFirmware);
    EXPECT_FALSE(list.Ascending());
    EXPECT_EQ(view.log.front(), "mark 0 2 1");
    EXPECT_EQ(Ids(list), (std::vector<uint32_t>{9, 11, 10}));
    // Again: ascending, the down-pointing mark, no other column to clear.
    view.log.clear();
    list.HeaderClicked(kColumnFirmware);
    EXPECT_TRUE(list.Ascending());
    EXPECT_EQ(view.log.front(), "mark -1 2 0");
    EXPECT_EQ(Ids(list), (std::vector<uint32_t>{10, 11, 9}));

    // "Device IP" ascending: in stored-integer order, not dotted order.
    list.HeaderClicked(kColumnDeviceIP);
    EXPECT_TRUE(list.Ascending());
    EXPECT_EQ(Ids(list), (std::vector<uint32_t>{11, 10, 9}));
    // "Name" descending as text: "9" > "11" > "10".
    list.HeaderClicked(kColumnName);
    list.HeaderClicked(kColumnName);
    EXPECT_FALSE(list.Ascending());
    EXPECT_EQ(Ids(list), (std::vector<uint32_t>{9, 11, 10}));

    // New rows land in order.
    list.Update(Listed(100, "10.0.0.100"));
    EXPECT_EQ(Ids(list), (std::vector<uint32_t>{9, 11, 100, 10}));
}

TEST(DeviceListSort, ReorderTellsWhereEveryRowWent) {
    Recorder view;
    CDeviceList list(&view);
    list.HeaderClicked(kColumnName);  // Name, descending
    list.Update(Listed(1));
    list.Update(Listed(2));
    list.Update(Listed(3));
    ASSERT_EQ(Ids(list), (std::vector<uint32_t>{3, 2, 1}));
    view.log.clear();
    list.HeaderClicked(kColumnName);  // ascending: reversed
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
    CDeviceList list;
    list.HeaderClicked(kColumnFirmware);
    const uint32_t versions[] = {0, 0x40000000, 0x80000000, 0xC0000000, 0x7FFFFFFF, 0x80000001,
                                 1, 0xFFFFFFFE, 0x3FFFFFFF, 0xBFFFFFFF, 5,          0x60000000};
    uint32_t id = 1;
    for (uint32_t v : versions) list.Update(Listed(id++, "1.1.1.1", v));
    list.HeaderClicked(kColumnFirmware);
    ASSERT_EQ(list.Count(), 12);
    std::vector<uint32_t> ids = Ids(list);
    std::sort(ids.begin(), ids.end());
    for (uint32_t i = 0; i < 12; ++i) EXPECT_EQ(ids[i], i + 1);
}

TEST(DeviceListRules, ClearDeletesEveryRow) {
    Recorder view;
    CDeviceList list(&view);
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
        {MakeFields(192, 168, 5, 20), "192.168.5.20"},
        {MakeFields(255, 255, 255, 0), "255.255.255.0"},
        {0, "0.0.0.0"},
        {MakeFields(10, 0, 0, 1), "10.0.0.1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dotted);
        EXPECT_EQ(FieldsToNetworkOrder(c.fields), Ip(c.dotted));
        EXPECT_EQ(NetworkOrderToFields(Ip(c.dotted)), c.fields);
        EXPECT_EQ(DeviceIPText(FieldsToNetworkOrder(c.fields)),
                  c.fields ? std::string(c.dotted) : std::string("Unknown"));
    }
    EXPECT_EQ(FieldOf(MakeFields(1, 2, 3, 4), 0), 1u);
    EXPECT_EQ(FieldOf(MakeFields(1, 2, 3, 4), 3), 4u);
}

}  // namespace
