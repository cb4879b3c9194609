#pragma once
// The device link's interfaces: the connection itself, the receiver of its
// events, and the 8-bit log it writes to. All codes are link error codes.

#include <cstdint>

namespace devlink {

// The link's diagnostics. Called on the link thread.
class LinkLog {
public:
    virtual void LogMessage(const char* format, ...) __attribute__((format(printf, 2, 3))) = 0;
    virtual void LogError(const char* format, ...) __attribute__((format(printf, 2, 3))) = 0;

protected:
    ~LinkLog() = default;
};

// The link's events, called on the link thread. Implementations copy what
// they need and return promptly; they must not call Disconnect.
class Receiver {
public:
    virtual ~Receiver() = default;
    // data/length: the body of one user packet, valid only during the call.
    virtual void OnPacket(const uint8_t* data, uint32_t length, uint32_t context) = 0;
    virtual void OnConnectFailed(uint32_t code, uint32_t context) = 0;
    virtual void OnDisconnected(uint32_t code, uint32_t context) = 0;
    virtual void OnConnected(uint32_t context) = 0;
};

class Connection {
public:
    virtual ~Connection() = default;
    // Queues a connection attempt; the outcome arrives as OnConnected or
    // OnConnectFailed. retryInterval: seconds, 0 = never reconnect by itself.
    virtual uint32_t Connect(const char* host, uint16_t port, uint32_t retryInterval) = 0;
    // Blocks until the link thread has carried it out. Never call it on the link thread.
    virtual uint32_t Disconnect(uint32_t notify, uint32_t immediate) = 0;
    // Copies the bytes; they leave as one user packet if the link is connected.
    virtual uint32_t Send(const void* data, uint32_t length) = 0;
};

// Creates and starts a link; null with *error set on failure. Both functions
// are defined with the link itself, in client_link.cpp.
Connection* CreateClientConnection(Receiver* receiver, LinkLog* log, uint32_t* error);
// Shuts the link down (immediate disconnect, thread stopped, queue drained)
// and destroys it. Returns 0.
uint32_t ReleaseClientConnection(Connection* link);

}  // namespace devlink
