// How a calveroctl command leaves the controller: with an orderly close, and
// within about 5 s whatever the controller keeps sending.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "bake/controller_packets.h"
#include "tests/link/link_test_support.h"
#include "tests/support/process.h"

namespace {

using link_test::Bytes;
using link_test::Clock;
using std::chrono::milliseconds;

Bytes UserPacket(uint32_t type, uint32_t result, uint32_t seqId, size_t size) {
    Bytes body(size);
    platform::WriteLe32(body.data(), type);
    platform::WriteLe32(body.data() + 4, result);
    platform::WriteLe32(body.data() + 8, seqId);
    return link_test::Frame(devlink::kTypeUserPacket, body);
}

Bytes Gauge() {
    return UserPacket(bake::CONCC_PKT_GAUGE_DATA, 0, 0, bake::kGaugeDataSize);
}

// The controller's side up to the reply of `calveroctl start`.
::testing::AssertionResult AnswerStart(link_test::ScriptedPeer& peer) {
    if (!peer.AcceptAndAnswerInit(0, 5000))
        return ::testing::AssertionFailure() << "no handshake";
    const Bytes command = peer.ReadFrame();
    if (command.size() != devlink::kHeaderSize + 16 ||
        platform::ReadLe32(command.data() + devlink::kHeaderSize) != bake::CONCC_PKT_START_STOP)
        return ::testing::AssertionFailure() << "no start command (" << command.size() << " bytes)";
    if (!peer.Write(UserPacket(bake::CONCC_PKT_START_STOP, 0, 1, 12)))
        return ::testing::AssertionFailure() << "cannot reply";
    return ::testing::AssertionSuccess();
}

class CalveroctlLeaving : public ::testing::Test {
protected:
    void StartCommand() {
        ctl_.Start({CALVEROCTL_PATH, "start", "127.0.0.1", "--port", std::to_string(peer_.Port())});
        ASSERT_TRUE(ctl_.Started());
    }

    link_test::ScriptedPeer peer_;
    test_support::Process ctl_;
};

}  // namespace

// The command half-closes and goes on reading: what the controller still
// sends is taken, not answered with a reset, and the command ends once the
// controller has closed its side too.
TEST_F(CalveroctlLeaving, ClosesInOrder) {
    ASSERT_NO_FATAL_FAILURE(StartCommand());
    ASSERT_TRUE(AnswerStart(peer_));
    ASSERT_TRUE(peer_.SeesClose(5000)) << "no end of stream from calveroctl";
    // A closed socket would answer the first packet with a reset instead of
    // taking it, which makes the second one fail.
    ASSERT_TRUE(peer_.Write(Gauge()));
    EXPECT_TRUE(peer_.SeesAcknowledged()) << "a reset instead of an orderly close";
    EXPECT_TRUE(peer_.Write(Gauge())) << "a reset instead of an orderly close";
    EXPECT_EQ(ctl_.Wait(100), -1) << "calveroctl left before the controller closed";

    peer_.Close();
    const auto closed = Clock::now();
    EXPECT_EQ(ctl_.Wait(3000), 0) << ctl_.Err();
    EXPECT_LT(Clock::now() - closed, milliseconds(2000));
    EXPECT_EQ(ctl_.Out(), "Success!\n");
}

// A controller that streams gauge packets and never closes: the command still
// ends about 5 s after its half-close, with its own result.
TEST_F(CalveroctlLeaving, EndsWithinItsDeadlineWhileTheControllerStreams) {
    ASSERT_NO_FATAL_FAILURE(StartCommand());
    ASSERT_TRUE(AnswerStart(peer_));
    const auto replied = Clock::now();
    int code = -1;
    while (code < 0 && Clock::now() - replied < milliseconds(12000)) {
        peer_.Write(Gauge());
        code = ctl_.Wait(20);
    }
    const auto took = std::chrono::duration_cast<milliseconds>(Clock::now() - replied);
    EXPECT_EQ(code, 0) << ctl_.Err();
    EXPECT_LT(took.count(), 7000) << "calveroctl kept waiting while the controller streamed";
    EXPECT_GE(took.count(), 4000) << "calveroctl did not wait for the controller's close";
    EXPECT_EQ(ctl_.Out(), "Success!\n");
}
