#include "bake/controller_protocol.h"

#include <string>

#include "platform/byte_order.h"

namespace bake {

namespace {

constexpr wchar_t kSourceReceived[] = L"OnBoardPktReceived";
constexpr wchar_t kSourceGauge[] = L"OnBoardGDataReceived";

// The texts of this family are ASCII; a byte-wise widening is exact for them.
std::wstring Widen(const std::string& s) {
    return std::wstring(s.begin(), s.end());
}
std::wstring Widen(const char* s) {
    return Widen(std::string(s));
}

std::wstring TooShortText(uint32_t type, size_t length) {
    return L"Packet too short for type " + std::to_wstring(type) + L" : " +
           std::to_wstring(length) + L" bytes";
}

}  // namespace

void Notice::Apply(platform::TraceLog* log, platform::MessageBox* box) const {
    if (log) {
        for (const auto& line : errors)
            log->TraceError(line.source.c_str(), L"%ls", line.text.c_str());
        for (const auto& line : notes)
            log->TraceMessage(line.source.c_str(), L"%ls", line.text.c_str());
    }
    if (box && message)
        box->ShowMessage(message->text, message->icon);
}

ReceiveOutcome ControllerProtocol::Receive(const uint8_t* bytes, size_t length) {
    ReceiveOutcome out;
    if (!bytes || length < 4) {
        out.errors.push_back(
            {kSourceReceived, L"Packet too short : " + std::to_wstring(length) + L" bytes"});
        return out;
    }

    // Gauge data stays outside the sequence rule.
    if (platform::ReadLe32(bytes) == CONCC_PKT_GAUGE_DATA) {
        if (DecodeGaugeData(bytes, length, out.gauge)) {
            out.action = ReceiveAction::GaugeData;
        } else if (!gaugeSizeReported_) {
            gaugeSizeReported_ = true;
            out.errors.push_back({kSourceGauge, L"CONCC_GaugeData pkt size different!"});
        }
        return out;
    }

    CONCC_Header h;
    if (!DecodeHeader(bytes, length, h)) {
        out.errors.push_back({kSourceReceived, TooShortText(platform::ReadLe32(bytes), length)});
        return out;
    }
    if (h.seqId != 0 && h.seqId != seq_)
        out.errors.push_back({kSourceReceived, L"Invalid pkt sequence ID"});
    if (h.result != 0)
        out.errors.push_back({kSourceReceived, Widen(ResultCodeText(h.result))});
    seq_ = NextSequenceId(seq_);

    const auto errorBox = [&](std::wstring text) {
        out.message = Message{std::move(text), platform::MessageIcon::Error};
    };

    switch (h.type) {
        case CONCC_PKT_START_STOP:
            if (h.result != 0)
                errorBox(Widen(ResultCodeText(h.result)));
            break;
        case CONCC_PKT_BAKE_RESULT: {
            CONCC_BakeResult r;
            if (!DecodeBakeResult(bytes, length, r)) {
                out.errors.push_back({kSourceReceived, TooShortText(h.type, length)});
                break;
            }
            out.bakeResult = r;
            if (r.bakeError == 0) {
                out.message =
                    Message{L"Successfully baked! Bake time : " + std::to_wstring(r.bakeTime),
                            platform::MessageIcon::None};
            } else {
                errorBox(L"Error : " + Widen(ResultCodeText(r.bakeError)) + L"! Bake time : " +
                         std::to_wstring(r.bakeTime));
            }
            break;
        }
        case CONCC_PKT_SET_PROFILE:
            if (h.result == 0) {
                out.message = Message{L"Temperature profile set, you can bake now!",
                                      platform::MessageIcon::None};
                out.notes.push_back({kSourceReceived, out.message->text});
            } else {
                errorBox(Widen(ResultCodeText(h.result)));
            }
            break;
        case CONCC_PKT_GET_PROFILE:
            // A refusal is a bare header whose result was logged above; there is no profile in it.
            if (h.result != 0 && length < kProfileHeadSize)
                break;
            if (DecodeTempProfile(bytes, length, out.profile)) {
                out.action = ReceiveAction::ProfileReport;
            } else if (length < kProfileHeadSize) {
                out.errors.push_back({kSourceReceived, TooShortText(h.type, length)});
            } else {
                const uint32_t count = platform::ReadLe32(bytes + kProfileCountOffset);
                out.errors.push_back({kSourceReceived, L"Profile pkt promises " +
                                                           std::to_wstring(count) + L" points in " +
                                                           std::to_wstring(length) + L" bytes"});
            }
            break;
        case CONCC_PKT_SET_BAKE_OPTIONS:
            if (h.result == 0) {
                out.message =
                    Message{L"Bake options set successfully!", platform::MessageIcon::Information};
            } else {
                errorBox(L"Error while set bake options : " + Widen(ResultCodeText(h.result)));
            }
            break;
        case CONCC_PKT_GET_BAKE_OPTIONS:
            if (h.result != 0) {
                errorBox(Widen(ResultCodeText(h.result)));
            } else if (length != kBakeOptionsSize) {
                errorBox(L"Invalid packet received from device for bake options!");
            } else {
                DecodeBakeOptions(bytes, length, out.options);
                out.action = ReceiveAction::EditBakeOptions;
            }
            break;
        default:
            break;
    }
    return out;
}

Notice SendFailure(const wchar_t* source, const std::string& linkErrorText) {
    Notice n;
    n.errors.push_back({source, Widen(linkErrorText)});
    n.message = Message{Widen(linkErrorText), platform::MessageIcon::Error};
    return n;
}

}  // namespace bake
