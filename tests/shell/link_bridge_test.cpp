// The link bridge: link-thread callbacks become window-thread signals, in order.
#include <gtest/gtest.h>

#include <QMetaObject>
#include <QThread>

#include <memory>

#include <string>
#include <thread>
#include <vector>

#include "link/link_errors.h"
#include "shell/link_bridge.h"
#include "tests/support/ui_test_support.h"

using shell::LinkBridge;

namespace {

struct Listener : bake::PacketListener {
    Listener(std::vector<std::string>* lines, std::string who)
        : journal(lines), name(std::move(who)) {}
    void OnDeviceConnected() override {
        Note("connected");
        if (onConnected)
            onConnected();
    }
    void OnDeviceDisconnected() override { Note("disconnected"); }
    void OnPacket(const uint8_t* data, uint32_t length) override {
        Note("packet " + std::string(reinterpret_cast<const char*>(data), length));
    }
    void Note(const std::string& what) { journal->push_back(name + " " + what); }
    std::vector<std::string>* journal;
    std::string name;
    std::function<void()> onConnected;
};

class LinkBridgeTest : public ::testing::Test {
protected:
    LinkBridge::CreateLink Create() {
        return [this](devlink::Receiver* r, devlink::LinkLog*, uint32_t* error) {
            receiver = r;
            *error = createError;
            return createError ? nullptr : static_cast<devlink::Connection*>(&link);
        };
    }
    LinkBridge::ReleaseLink Release() {
        return [this](devlink::Connection*) {
            ++releases;
            return 0u;
        };
    }

    uitest::FakeLink link;
    devlink::Receiver* receiver = nullptr;
    uint32_t createError = 0;
    int releases = 0;
    std::vector<std::string> journal;
};

}  // namespace

TEST_F(LinkBridgeTest, OpenFailureGivesTheCodeAndLeavesNothingToRelease) {
    createError = devlink::EIOCPE_UNKNOWN_ERROR;
    LinkBridge bridge(Create(), Release());
    EXPECT_EQ(bridge.Open(nullptr), devlink::EIOCPE_UNKNOWN_ERROR);
    EXPECT_EQ(receiver, &bridge);
    EXPECT_EQ(bridge.Link(), nullptr);
    bridge.Shutdown();
    EXPECT_EQ(releases, 0);
    EXPECT_TRUE(link.disconnects.empty());
}

TEST_F(LinkBridgeTest, ConnectFailureIsSignalledAndNoListenerHearsOfIt) {
    LinkBridge bridge(Create(), Release());
    ASSERT_EQ(bridge.Open(nullptr), 0u);
    Listener a(&journal, "A");
    QObject context;
    shell::ConnectListener(&bridge, &context, &a);
    std::vector<uint32_t> failures;
    int handled = 0;
    bool offThread = false;
    QObject::connect(&bridge, &LinkBridge::connectFailed, [&](uint32_t code) {
        failures.push_back(code);
        offThread |= QThread::currentThread() != bridge.thread();
    });
    QObject::connect(&bridge, &LinkBridge::eventHandled, [&] { ++handled; });

    std::thread([&] { receiver->OnConnectFailed(devlink::EIOCPE_WSAECONNREFUSED, 0); }).join();
    EXPECT_TRUE(failures.empty()) << "nothing runs on the link thread";
    ASSERT_TRUE(uitest::PumpUntil([&] { return handled == 1; }));
    EXPECT_EQ(failures, std::vector<uint32_t>{devlink::EIOCPE_WSAECONNREFUSED});
    EXPECT_FALSE(offThread);
    EXPECT_TRUE(journal.empty());
    EXPECT_FALSE(bridge.Connected());
}

TEST_F(LinkBridgeTest, AListenerGoneDuringAnEventIsNotCalledAfterwards) {
    LinkBridge bridge(Create(), Release());
    ASSERT_EQ(bridge.Open(nullptr), 0u);
    Listener a(&journal, "A"), b(&journal, "B");
    QObject aContext;
    auto bContext = std::make_unique<QObject>();
    a.onConnected = [&] { bContext.reset(); };
    shell::ConnectListener(&bridge, &aContext, &a);
    shell::ConnectListener(&bridge, bContext.get(), &b);

    receiver->OnConnected(0);
    receiver->OnPacket(reinterpret_cast<const uint8_t*>("xyz"), 3, 0);
    int handled = 0;
    QObject::connect(&bridge, &LinkBridge::eventHandled, [&] { ++handled; });
    ASSERT_TRUE(uitest::PumpUntil([&] { return handled == 2; }));
    EXPECT_EQ(journal, (std::vector<std::string>{"A connected", "A packet xyz"}));
    EXPECT_TRUE(bridge.Connected());
}

TEST_F(LinkBridgeTest, ShutdownClosesTheLinkSilentlyOnceAndSilencesWhatWasQueued) {
    bool queuedCallRan = false;
    {
        LinkBridge bridge(Create(), Release());
        ASSERT_EQ(bridge.Open(nullptr), 0u);
        Listener a(&journal, "A");
        QObject context;
        shell::ConnectListener(&bridge, &context, &a);
        int handled = 0;
        QObject::connect(&bridge, &LinkBridge::eventHandled, [&] { ++handled; });
        // Queued before the shutdown, run after it.
        receiver->OnConnected(0);
        receiver->OnPacket(reinterpret_cast<const uint8_t*>("late"), 4, 0);
        bridge.Shutdown();
        EXPECT_EQ(bridge.Link(), nullptr);
        // The bridge's queue is ordered: once this ran, so did the link's calls.
        QMetaObject::invokeMethod(
            &bridge, [&] { queuedCallRan = true; }, Qt::QueuedConnection);
        ASSERT_TRUE(uitest::PumpUntil([&] { return queuedCallRan; }));
        EXPECT_TRUE(journal.empty());
        EXPECT_EQ(handled, 0);
        EXPECT_FALSE(bridge.Connected());
        bridge.Shutdown();
    }
    EXPECT_EQ(link.disconnects, (std::vector<std::pair<uint32_t, uint32_t>>{{0, 1}}));
    EXPECT_EQ(releases, 1);
}

TEST_F(LinkBridgeTest, EventsPostedWhileTheWindowThreadRunsArriveWholeAndInOrder) {
    LinkBridge bridge(Create(), Release());
    ASSERT_EQ(bridge.Open(nullptr), 0u);
    Listener a(&journal, "A");
    QObject context;
    shell::ConnectListener(&bridge, &context, &a);
    constexpr int kPackets = 2000;
    std::vector<std::string> bodies;
    bodies.reserve(kPackets);
    for (int i = 0; i < kPackets; ++i) bodies.push_back(std::to_string(i * 7919));
    std::vector<std::string> expected{"A connected"};
    for (const std::string& body : bodies) expected.push_back("A packet " + body);
    expected.push_back("A disconnected");

    // The link thread posts while the window thread is busy handing events
    // out: the copy of each body must be complete before it is delivered.
    std::thread linkThread([&] {
        receiver->OnConnected(0);
        std::string buffer;
        for (const std::string& body : bodies) {
            buffer = body;  // the link reuses its buffer at once
            receiver->OnPacket(reinterpret_cast<const uint8_t*>(buffer.data()),
                               static_cast<uint32_t>(buffer.size()), 0);
        }
        receiver->OnDisconnected(devlink::EIOCPE_CONN_CLOSED_BY_SERVER, 0);
    });
    const bool all = uitest::PumpUntil([&] { return journal.size() >= expected.size(); }, 30000);
    linkThread.join();
    ASSERT_TRUE(all) << journal.size();
    EXPECT_EQ(journal, expected);
    EXPECT_FALSE(bridge.Connected());
}
