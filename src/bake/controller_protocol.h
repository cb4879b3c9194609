#pragma once
// What the program does with each controller packet it receives, and the
// sequence counter its commands carry, without any widget: Receive() turns
// one delivered payload into an outcome (log lines, at most one message box,
// and a hand-over for the caller), which the control panel or calveroctl then
// carries out. Keeping the rules here lets them be tested without a window.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "bake/controller_packets.h"
#include "platform/message_box.h"
#include "platform/trace_log.h"

namespace bake {

// One TraceError line: the source tag and the whole text.
struct TraceLine {
    std::wstring source;
    std::wstring text;
    bool operator==(const TraceLine&) const = default;
};

struct Message {
    std::wstring text;
    platform::MessageIcon icon = platform::MessageIcon::None;
    bool operator==(const Message&) const = default;
};

// Log lines to write and at most one modal message to show, in that order.
struct Notice {
    std::vector<TraceLine> errors;
    std::optional<Message> message;
    // Outcomes worth a MSG line of their own (a profile the controller took).
    std::vector<TraceLine> notes;

    // Writes every error line with TraceError(source, L"%ls", text) and every
    // note with TraceMessage, then shows the message. Either interface may
    // be null.
    void Apply(platform::TraceLog* log, platform::MessageBox* box) const;
};

enum class ReceiveAction {
    None,             // nothing beyond the notice
    GaugeData,        // `gauge`: a 66-byte gauge packet, drives the panel and the live record
    ProfileReport,    // `profile`: a type-34 report; it belongs to the live record while
                      // the panel is Baking, otherwise ignore it
    EditBakeOptions,  // `options`: a 28-byte type-49 reply with result 0; run the bake
                      // options dialog on the payload and, on OK, send it back as type 48
};

struct ReceiveOutcome : Notice {
    ReceiveAction action = ReceiveAction::None;
    CONCC_GaugeData gauge;
    CONCC_TempProfile profile;
    CONCC_BakeOptions options;
    // A bake result packet (type 31): how the controller says the bake ended.
    std::optional<CONCC_BakeResult> bakeResult;
};

// The protocol state of one control panel: the sequence counter (created as
// 1, never reset on reconnect) and the once-per-run flag of the gauge size
// error. Used on one thread only.
class ControllerProtocol {
public:
    uint32_t SequenceId() const { return seq_; }
    // For resuming a counter (and for tests of the wrap); 0 becomes 1.
    void SetSequenceId(uint32_t seq) { seq_ = seq ? seq : 1; }
    bool GaugeSizeErrorReported() const { return gaugeSizeReported_; }

    // One payload as the link delivered it; nothing past `length` is read.
    // Every non-gauge packet with a readable header advances the counter.
    ReceiveOutcome Receive(const uint8_t* bytes, size_t length);

    // The commands, stamped with the current sequence ID (which sending
    // leaves unchanged: only replies advance it).
    std::array<uint8_t, kStartStopSize> StartStop(uint32_t action) const {
        return EncodeStartStop(action, seq_);
    }
    std::array<uint8_t, kHeaderSize> Request(uint32_t type) const {
        return EncodeRequest(type, seq_);
    }
    void PrepareSetBakeOptions(uint8_t* packet28) const {
        bake::PrepareSetBakeOptions(packet28, seq_);
    }

private:
    uint32_t seq_ = 1;
    bool gaugeSizeReported_ = false;
};

// A send that the link refused: TraceError with the operation's name as the
// source ("SendStartStopCommand", "SendTestCommand", "SendProfile",
// "SendSetBakeOptionsCommand") and the link error text, shown with the error icon.
Notice SendFailure(const wchar_t* source, const std::string& linkErrorText);

}  // namespace bake
