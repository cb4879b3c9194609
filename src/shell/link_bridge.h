#pragma once
// The device link's road to the window thread. The bridge owns the link and
// is its receiver: each callback of the link thread becomes an event posted
// to the bridge, and on the window thread the bridge hands the events out,
// in the order the link reported them, to the registered device listeners.

#include <QEvent>
#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "bake/packet_listener.h"
#include "link/connection.h"

namespace shell {

// A link event carried from the link thread to the window thread. A packet
// event owns the copy of the packet body.
class LinkEvent : public QEvent {
public:
    static constexpr QEvent::Type kConnected = static_cast<QEvent::Type>(1124);
    static constexpr QEvent::Type kDisconnected = static_cast<QEvent::Type>(1125);
    static constexpr QEvent::Type kConnectFailed = static_cast<QEvent::Type>(1126);
    static constexpr QEvent::Type kPacket = static_cast<QEvent::Type>(1127);

    LinkEvent(QEvent::Type type, uint32_t code) : QEvent(type), code_(code) {}
    LinkEvent(std::unique_ptr<uint8_t[]> data, uint32_t length)
        : QEvent(kPacket), length_(length), data_(std::move(data)) {}

    uint32_t Code() const { return code_; }
    const uint8_t* Data() const { return data_.get(); }
    uint32_t Length() const { return length_; }

private:
    uint32_t code_ = 0;
    uint32_t length_ = 0;
    std::unique_ptr<uint8_t[]> data_;
};

class LinkBridge : public QObject, public devlink::Receiver {
    Q_OBJECT
public:
    using CreateLink =
        std::function<devlink::Connection*(devlink::Receiver*, devlink::LinkLog*, uint32_t*)>;
    using ReleaseLink = std::function<uint32_t(devlink::Connection*)>;

    // Window thread. Null functions stand for devlink::CreateClientConnection and
    // devlink::ReleaseClientConnection.
    explicit LinkBridge(CreateLink create = {}, ReleaseLink release = {},
                        QObject* parent = nullptr);
    // Window thread; shuts down first.
    ~LinkBridge() override;

    // Window thread. Creates the link with this bridge as its receiver and
    // `log` as its log; 0, or the link error code when it could not. Once
    // open, or after Shutdown, it does nothing.
    uint32_t Open(devlink::LinkLog* log);
    // Window thread. Empties the listeners, closes the link without
    // notification and releases it; events still queued reach nobody.
    // Safe to call twice.
    void Shutdown();

    // Window thread. Null before Open and after Shutdown.
    devlink::Connection* Link() const { return link_; }
    // Window thread. True between the connected and the disconnected event.
    bool Connected() const { return connected_; }

    // Window thread. Listeners are called in the order they were added; a
    // listener added twice is called once. Not owned.
    void AddListener(bake::PacketListener* listener);
    void RemoveListener(bake::PacketListener* listener);
    size_t ListenerCount() const { return listeners_.size(); }

    // devlink::Receiver (link thread): post and return.
    void OnPacket(const uint8_t* data, uint32_t length, uint32_t context) override;
    void OnConnectFailed(uint32_t code, uint32_t context) override;
    void OnDisconnected(uint32_t code, uint32_t context) override;
    void OnConnected(uint32_t context) override;

signals:
    // Window thread: a connection attempt failed with the link error code.
    // The listeners are not told.
    void connectFailed(uint32_t code);
    // Window thread: a link event has been handed out completely.
    void eventHandled();

protected:
    bool event(QEvent* e) override;

private:
    void Deliver(const LinkEvent& e);
    template <typename F>
    void ForEachListener(F&& call);

    CreateLink create_;                             // window thread
    ReleaseLink release_;                           // window thread
    devlink::Connection* link_ = nullptr;           // window thread
    bool connected_ = false;                        // window thread
    std::vector<bake::PacketListener*> listeners_;  // window thread
    bool shutDown_ = false;                         // window thread
};

}  // namespace shell
