#include "bake/controller_protocol.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdarg>
#include <cwchar>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/gauge_packet.h"

using namespace bake;

namespace {

std::vector<uint8_t> Header(uint32_t type, uint32_t result, uint32_t seqId,
                            size_t length = kHeaderSize) {
    std::vector<uint8_t> v(std::max(length, kHeaderSize), 0);
    EncodeHeader(v.data(), {type, result, seqId});
    v.resize(length);  // shorter than a header: cut after encoding
    return v;
}

std::vector<uint8_t> Gauge(size_t length) {
    std::vector<uint8_t> v = test_support::GaugePacket({.seqId = 777,  // never checked
                                                        .devState = CONCC_DEV_IDLE,
                                                        .tempMain = 2512});
    v.resize(length, 0);
    return v;
}

ReceiveOutcome Feed(ControllerProtocol& p, const std::vector<uint8_t>& v) {
    return p.Receive(v.data(), v.size());
}

const TraceLine kBadSequence{L"OnBoardPktReceived", L"Invalid pkt sequence ID"};

}  // namespace

TEST(ControllerProtocol, GaugeDataIsHandedOverWithoutTouchingTheSequence) {
    ControllerProtocol p;
    auto out = Feed(p, Gauge(66));
    EXPECT_EQ(ReceiveAction::GaugeData, out.action);
    EXPECT_EQ(2512, out.gauge.tempMain);
    EXPECT_TRUE(out.errors.empty());
    EXPECT_FALSE(out.message);
    EXPECT_EQ(1u, p.SequenceId());
}

TEST(ControllerProtocol, WrongSizedGaugeDataIsDroppedAndLoggedOncePerRun) {
    ControllerProtocol p;
    auto first = Feed(p, Gauge(65));
    EXPECT_EQ(ReceiveAction::None, first.action);
    ASSERT_EQ(1u, first.errors.size());
    EXPECT_EQ((TraceLine{L"OnBoardGDataReceived", L"CONCC_GaugeData pkt size different!"}),
              first.errors[0]);
    EXPECT_TRUE(p.GaugeSizeErrorReported());

    for (size_t length : {67u, 4u, 200u}) {
        auto later = Feed(p, Gauge(length));
        EXPECT_EQ(ReceiveAction::None, later.action) << length;
        EXPECT_TRUE(later.errors.empty()) << length;
    }
    // A good packet afterwards still goes through; the flag stays set.
    EXPECT_EQ(ReceiveAction::GaugeData, Feed(p, Gauge(66)).action);
    EXPECT_TRUE(p.GaugeSizeErrorReported());
    EXPECT_EQ(1u, p.SequenceId());
}

TEST(ControllerProtocol, SequenceRule) {
    ControllerProtocol p;
    EXPECT_EQ(1u, p.SequenceId());

    // Matching: no complaint, counter advances.
    EXPECT_TRUE(Feed(p, Header(CONCC_PKT_START_STOP, 0, 1)).errors.empty());
    EXPECT_EQ(2u, p.SequenceId());

    // Unnumbered: never out of sequence, yet it advances the counter.
    EXPECT_TRUE(Feed(p, Header(CONCC_PKT_BAKE_RESULT, 0, 0, 20)).errors.empty());
    EXPECT_EQ(3u, p.SequenceId());

    // Mismatch: logged, still processed, still advances.
    auto out = Feed(p, Header(CONCC_PKT_SET_PROFILE, 0, 2));
    ASSERT_EQ(1u, out.errors.size());
    EXPECT_EQ(kBadSequence, out.errors[0]);
    ASSERT_TRUE(out.message);
    EXPECT_EQ(L"Temperature profile set, you can bake now!", out.message->text);
    EXPECT_EQ(4u, p.SequenceId());

    // Unknown types take part too.
    Feed(p, Header(99, 0, 0));
    EXPECT_EQ(5u, p.SequenceId());
}

TEST(ControllerProtocol, CounterWrapsToOneAndCommandsCarryIt) {
    ControllerProtocol p;
    p.SetSequenceId(0xFFFFFFFF);
    auto before = p.StartStop(CONCC_ACT_START);
    CONCC_StartStop s;
    ASSERT_TRUE(DecodeStartStop(before.data(), before.size(), s));
    EXPECT_EQ(0xFFFFFFFFu, s.header.seqId);
    EXPECT_EQ(0xFFFFFFFFu, p.SequenceId());  // sending does not advance it

    EXPECT_TRUE(Feed(p, Header(CONCC_PKT_START_STOP, 0, 0xFFFFFFFF)).errors.empty());
    EXPECT_EQ(1u, p.SequenceId());
    auto request = p.Request(CONCC_PKT_GET_PROFILE);
    CONCC_Header h;
    ASSERT_TRUE(DecodeHeader(request.data(), request.size(), h));
    EXPECT_EQ(1u, h.seqId);
    EXPECT_EQ(CONCC_PKT_GET_PROFILE, h.type);
}

TEST(ControllerProtocol, NotificationBetweenCommandAndReplyPutsTheReplyOutOfSequence) {
    ControllerProtocol p;
    auto cmd = p.StartStop(CONCC_ACT_ABORT);  // carries 1
    CONCC_Header sent;
    DecodeHeader(cmd.data(), cmd.size(), sent);

    auto note = EncodeBakeResult({{CONCC_PKT_BAKE_RESULT, 0, 0}, 120, 0});
    Feed(p, std::vector<uint8_t>(note.begin(), note.end()));
    auto reply = Feed(p, Header(CONCC_PKT_START_STOP, kResultNotBaking, sent.seqId));
    ASSERT_EQ(2u, reply.errors.size());
    EXPECT_EQ(kBadSequence, reply.errors[0]);
    EXPECT_EQ((TraceLine{L"OnBoardPktReceived", L"Not in baking process!"}), reply.errors[1]);
    ASSERT_TRUE(reply.message);  // still handled
    EXPECT_EQ(L"Not in baking process!", reply.message->text);
}

TEST(ControllerProtocol, ReplyOutcomes) {
    struct Case {
        const char* name;
        std::vector<uint8_t> packet;
        std::optional<Message> message;
        ReceiveAction action;
        bool resultLogged;
    };
    auto bakeResult = [](uint32_t time, uint32_t error, uint32_t headerResult = 0) {
        auto a = EncodeBakeResult({{CONCC_PKT_BAKE_RESULT, headerResult, 0}, time, error});
        return std::vector<uint8_t>(a.begin(), a.end());
    };
    auto options = [](uint32_t result, size_t length) {
        auto a = EncodeBakeOptions({{CONCC_PKT_GET_BAKE_OPTIONS, result, 0}, 3, 98304, 1, 2});
        std::vector<uint8_t> v(a.begin(), a.end());
        v.resize(length, 0);
        return v;
    };
    const Message invalidOptions{L"Invalid packet received from device for bake options!",
                                 platform::MessageIcon::Error};
    const Case cases[] = {
        {"start ok", Header(16, 0, 0), std::nullopt, ReceiveAction::None, false},
        {"start refused", Header(16, 12, 0),
         Message{L"No temperature profile loaded!", platform::MessageIcon::Error},
         ReceiveAction::None, true},
        {"start unknown code", Header(16, 14, 0),
         Message{L"Unknown error", platform::MessageIcon::Error}, ReceiveAction::None, true},
        {"baked", bakeResult(4294967295u, 0),
         Message{L"Successfully baked! Bake time : 4294967295", platform::MessageIcon::None},
         ReceiveAction::None, false},
        {"bake failed", bakeResult(37, 10),
         Message{L"Error : Overheat!! Bake time : 37", platform::MessageIcon::Error},
         ReceiveAction::None, false},
        // The header's result is only logged; the outcome comes from bakeError.
        {"bake result header error", bakeResult(5, 0, 1),
         Message{L"Successfully baked! Bake time : 5", platform::MessageIcon::None},
         ReceiveAction::None, true},
        {"profile set", Header(32, 0, 0),
         Message{L"Temperature profile set, you can bake now!", platform::MessageIcon::None},
         ReceiveAction::None, false},
        {"profile refused", Header(32, 13, 0),
         Message{L"Invalid temperature profile packet!", platform::MessageIcon::Error},
         ReceiveAction::None, true},
        {"options set", Header(48, 0, 0),
         Message{L"Bake options set successfully!", platform::MessageIcon::Information},
         ReceiveAction::None, false},
        {"options refused", Header(48, 5, 0),
         Message{L"Error while set bake options : Bussy!", platform::MessageIcon::Error},
         ReceiveAction::None, true},
        {"options reply", options(0, 28), std::nullopt, ReceiveAction::EditBakeOptions, false},
        {"options reply bad params", options(3, 28),
         Message{L"Bad params!", platform::MessageIcon::Error}, ReceiveAction::None, true},
        {"options reply 27 bytes", options(0, 27), invalidOptions, ReceiveAction::None, false},
        {"options reply 29 bytes", options(0, 29), invalidOptions, ReceiveAction::None, false},
        {"options reply bare header", Header(49, 0, 0), invalidOptions, ReceiveAction::None, false},
        {"profile report refused", Header(34, 12, 0), std::nullopt, ReceiveAction::None, true},
        {"type 0", Header(0, 0, 0), std::nullopt, ReceiveAction::None, false},
        {"type 33 with error", Header(33, 7, 0), std::nullopt, ReceiveAction::None, true},
        {"type 50", Header(50, 0, 0), std::nullopt, ReceiveAction::None, false},
    };
    for (const auto& c : cases) {
        ControllerProtocol p;
        auto out = Feed(p, c.packet);
        EXPECT_EQ(c.message, out.message) << c.name;
        EXPECT_EQ(c.action, out.action) << c.name;
        EXPECT_EQ(c.resultLogged ? 1u : 0u, out.errors.size()) << c.name;
        if (c.resultLogged && !out.errors.empty()) {
            EXPECT_EQ(L"OnBoardPktReceived", out.errors[0].source) << c.name;
        }
        EXPECT_EQ(2u, p.SequenceId()) << c.name;
    }
}

TEST(ControllerProtocol, BakeOptionsReplyCarriesItsValues) {
    ControllerProtocol p;
    auto raw =
        EncodeBakeOptions({{CONCC_PKT_GET_BAKE_OPTIONS, 0, 1}, 0xFFFFFFFF, 98304, 6553, 65536});
    auto out = p.Receive(raw.data(), raw.size());
    ASSERT_EQ(ReceiveAction::EditBakeOptions, out.action);
    EXPECT_EQ(0xFFFFFFFFu, out.options.options);
    EXPECT_EQ(98304u, out.options.kp);
    EXPECT_EQ(6553u, out.options.ki);
    EXPECT_EQ(65536u, out.options.kd);

    // Sending it back: type 48 with the counter that the reply advanced.
    p.PrepareSetBakeOptions(raw.data());
    CONCC_BakeOptions back;
    ASSERT_TRUE(DecodeBakeOptions(raw.data(), raw.size(), back));
    EXPECT_EQ(2u, back.header.seqId);
    EXPECT_EQ(CONCC_PKT_SET_BAKE_OPTIONS, back.header.type);
    EXPECT_EQ(98304u, back.kp);
}

TEST(ControllerProtocol, ProfileReportIsHandedOver) {
    ControllerProtocol p;
    CONCC_TempProfile report;
    report.header = {CONCC_PKT_GET_PROFILE, 0, 1};
    report.startTime = 5000;
    report.points = {{0, 2500}, {2000, 15000}};
    auto raw = EncodeTempProfile(report);
    auto out = Feed(p, raw);
    ASSERT_EQ(ReceiveAction::ProfileReport, out.action);
    EXPECT_TRUE(out.errors.empty());
    EXPECT_EQ(5000u, out.profile.startTime);
    ASSERT_EQ(2u, out.profile.points.size());
    EXPECT_EQ(2000u, out.profile.points[1].timeMs);
}

TEST(ControllerProtocol, ShortPacketsAreLoggedAndDropped) {
    CONCC_TempProfile report;
    report.header = {CONCC_PKT_GET_PROFILE, 0, 1};
    report.startTime = 5000;
    report.points = {{0, 2500}, {2000, 15000}};
    auto profile = EncodeTempProfile(report);
    auto overpromising = profile;
    overpromising[20] = 3;  // count 3 in a 40-byte packet
    auto truncatedHead = profile;
    truncatedHead.resize(20);

    struct Case {
        const char* name;
        std::vector<uint8_t> packet;
        uint32_t seqAfter;  // only a readable header takes part in the sequence rule
    };
    const Case cases[] = {
        {"3 bytes", {16, 0, 0}, 1},
        {"11 bytes", Header(16, 0, 0, 11), 1},
        {"bake result 16 bytes", Header(17, 0, 0, 16), 2},
        {"profile head cut", truncatedHead, 2},
        {"profile count beyond length", overpromising, 2},
    };
    for (const auto& c : cases) {
        ControllerProtocol p;
        auto out = Feed(p, c.packet);
        EXPECT_EQ(ReceiveAction::None, out.action) << c.name;
        EXPECT_FALSE(out.message) << c.name;
        ASSERT_EQ(1u, out.errors.size()) << c.name;
        EXPECT_EQ(L"OnBoardPktReceived", out.errors[0].source) << c.name;
        EXPECT_EQ(c.seqAfter, p.SequenceId()) << c.name;
    }
    ControllerProtocol p;
    EXPECT_EQ(1u, p.Receive(nullptr, 0).errors.size());
}

namespace {

struct RecordingLog : platform::TraceLog {
    std::vector<std::wstring> lines;
    void Record(const wchar_t* kind, const wchar_t* source, const wchar_t* format, va_list ap) {
        wchar_t buf[512];
        std::vswprintf(buf, 512, format, ap);
        lines.push_back(std::wstring(kind) + L"|" + source + L"|" + buf);
    }
    void TraceMessage(const wchar_t* s, const wchar_t* f, ...) override {
        va_list ap;
        va_start(ap, f);
        Record(L"MSG", s, f, ap);
        va_end(ap);
    }
    void TraceError(const wchar_t* s, const wchar_t* f, ...) override {
        va_list ap;
        va_start(ap, f);
        Record(L"ERR", s, f, ap);
        va_end(ap);
    }
    void TraceWarning(const wchar_t* s, const wchar_t* f, ...) override {
        va_list ap;
        va_start(ap, f);
        Record(L"WAR", s, f, ap);
        va_end(ap);
    }
};

struct RecordingBox : platform::MessageBox {
    std::vector<Message> shown;
    void ShowMessage(const std::wstring& text, platform::MessageIcon icon) override {
        shown.push_back({text, icon});
    }
};

}  // namespace

TEST(ControllerProtocolNotice, AppliesLogLinesVerbatimThenTheMessage) {
    ControllerProtocol p;
    p.SetSequenceId(5);
    auto out = Feed(p, Header(CONCC_PKT_SET_BAKE_OPTIONS, 9, 4));
    RecordingLog log;
    RecordingBox box;
    out.Apply(&log, &box);
    EXPECT_EQ((std::vector<std::wstring>{
                  L"ERR|OnBoardPktReceived|Invalid pkt sequence ID",
                  L"ERR|OnBoardPktReceived|Temperature sensors difference failure!"}),
              log.lines);
    ASSERT_EQ(1u, box.shown.size());
    EXPECT_EQ((Message{L"Error while set bake options : Temperature sensors difference failure!",
                       platform::MessageIcon::Error}),
              box.shown[0]);
    out.Apply(nullptr, nullptr);  // either side may be absent

    // A text with a percent sign goes through unformatted.
    RecordingLog log2;
    SendFailure(L"SendProfile", "100% [x] %s").Apply(&log2, &box);
    EXPECT_EQ(std::vector<std::wstring>{L"ERR|SendProfile|100% [x] %s"}, log2.lines);
    EXPECT_EQ((Message{L"100% [x] %s", platform::MessageIcon::Error}), box.shown.back());
}
