#pragma once
// Shared pieces of the widget tests: a QApplication for the whole run with
// its settings in a temporary folder, and recorders standing in for the
// message boxes, the log and the link (the first two Qt-free in recorders.h).

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QString>

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "link/connection.h"
#include "platform/message_box.h"
#include "platform/trace_log.h"
#include "tests/support/event_loop.h"
#include "tests/support/recorders.h"

namespace uitest {

using test_support::Pump;
using test_support::PumpUntil;

// Whether some 2 x 2 block of device pixels, on even coordinates, holds
// pixels that differ. A picture drawn at ratio 1 and blown up to ratio 2 has
// none: every one of its pixels became such a block.
bool HasDetailFinerThanTwoPixels(const QImage& image);

// Removes every stored setting of the program (the store is a temporary one).
void ClearSettings();

using test_support::RecordedMessage;
using test_support::RecordedTrace;
using test_support::RecordingMessageBox;
using test_support::RecordingTraceLog;

// A link that records what it is asked to do and answers with set codes.
class FakeLink : public devlink::Connection {
public:
    uint32_t Connect(const char* host, uint16_t port, uint32_t retryInterval) override;
    uint32_t Disconnect(uint32_t notify, uint32_t immediate) override;
    uint32_t Send(const void* data, uint32_t length) override;

    struct ConnectCall {
        std::string host;
        uint16_t port;
        uint32_t retry;
    };
    std::vector<ConnectCall> connects;
    std::vector<std::pair<uint32_t, uint32_t>> disconnects;  // (notify, immediate)
    std::vector<std::vector<uint8_t>> sent;
    uint32_t connectResult = 0;
    uint32_t sendResult = 0;
    bool released = false;
    std::function<void()> onDisconnect;
};

// Little-endian helpers for building and checking packets.
void PutU32(std::vector<uint8_t>& b, size_t offset, uint32_t v);
uint32_t GetU32(const std::vector<uint8_t>& b, size_t offset);
std::vector<uint8_t> Header(uint32_t type, uint32_t result, uint32_t seq, size_t size = 12);

}  // namespace uitest
