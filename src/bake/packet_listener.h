#pragma once
// A device listener: told on the window thread, in the order the link
// reported them, about the device link's events. Qt-free, so that whoever
// carries the events and whoever listens need not know each other.

#include <cstdint>

namespace bake {

class PacketListener {
public:
    virtual ~PacketListener() = default;
    // The link has completed its handshake.
    virtual void OnDeviceConnected() = 0;
    // The link is closed.
    virtual void OnDeviceDisconnected() = 0;
    // One controller packet; the bytes live only during the call.
    virtual void OnPacket(const uint8_t* bytes, uint32_t length) = 0;
};

}  // namespace bake
