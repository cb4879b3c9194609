#pragma once
// A device listener: told by the main frame, on the window thread and in the
// order the link reported them, about the link's events.

#include <cstdint>

class IDevListener {
public:
    virtual ~IDevListener() = default;
    // The link has completed its handshake.
    virtual void OnDeviceConnected() = 0;
    // The link is closed.
    virtual void OnDeviceDisconnected() = 0;
    // One controller packet; the bytes live only during the call.
    virtual void OnBoardPktReceived(const uint8_t* bytes, uint32_t length) = 0;
};
