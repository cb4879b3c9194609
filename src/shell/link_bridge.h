#pragma once
// The device link's road to the window thread. The bridge owns the link and
// is its receiver; each callback of the link thread becomes a call queued to
// the bridge, which lives on the window thread and there emits the matching
// signal. Listeners connect to the signals and hear the events in the order
// the link reported them.
//
// Threads: the link thread only runs the four devlink::Receiver callbacks;
// they copy what they were given into the queued call and return. Everything
// else, every member and every signal, belongs to the window thread, so no
// lock guards anything here: Qt's event queue hands each call over.

#include <QByteArray>
#include <QObject>

#include <cstdint>
#include <functional>

#include "bake/packet_listener.h"
#include "link/connection.h"

namespace shell {

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
    // Window thread. Closes the link without notification and releases it;
    // from here on no signal is emitted, whatever was still queued. Safe to
    // call twice.
    void Shutdown();

    // Window thread. Null before Open and after Shutdown.
    devlink::Connection* Link() const { return link_; }
    // Window thread. True between the connected and the disconnected event.
    bool Connected() const { return connected_; }

    // devlink::Receiver (link thread): queue and return.
    void OnPacket(const uint8_t* data, uint32_t length, uint32_t context) override;
    void OnConnectFailed(uint32_t code, uint32_t context) override;
    void OnDisconnected(uint32_t code, uint32_t context) override;
    void OnConnected(uint32_t context) override;

signals:
    // All on the window thread, in the link's order.
    // The link has completed its handshake.
    void deviceConnected();
    // The link is closed.
    void deviceDisconnected();
    // One controller packet's body.
    void packetReceived(const QByteArray& packet);
    // A connection attempt failed with the link error code.
    void connectFailed(uint32_t code);
    // A link event has been handed out completely.
    void eventHandled();

private:
    // Link thread: `deliver` runs on the window thread unless the bridge
    // has been shut down or destroyed by then.
    template <typename F>
    void Queue(F&& deliver);

    CreateLink create_;
    ReleaseLink release_;
    devlink::Connection* link_ = nullptr;
    bool connected_ = false;
    bool shutDown_ = false;
};

// Window thread. Connects `listener` to the bridge's device signals for as
// long as `context` lives; `listener` must outlive `context` or be
// disconnected with it.
void ConnectListener(LinkBridge* bridge, QObject* context, bake::PacketListener* listener);

}  // namespace shell
