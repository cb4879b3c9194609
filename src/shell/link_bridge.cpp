#include "shell/link_bridge.h"

#include <QMetaObject>

#include <cstdlib>
#include <new>
#include <utility>

#include "platform/debug_output.h"
#include "platform/thread_handover.h"

namespace shell {

LinkBridge::LinkBridge(CreateLink create, ReleaseLink release, QObject* parent)
    : QObject(parent), create_(std::move(create)), release_(std::move(release)) {
    if (!create_)
        create_ = devlink::CreateClientConnection;
    if (!release_)
        release_ = devlink::ReleaseClientConnection;
}

LinkBridge::~LinkBridge() {
    Shutdown();
}

uint32_t LinkBridge::Open(devlink::LinkLog* log) {
    if (link_ || shutDown_)
        return 0;
    uint32_t error = 0;
    link_ = create_(this, log, &error);
    return link_ ? 0 : error;
}

void LinkBridge::Shutdown() {
    if (shutDown_)
        return;
    // First, so that the silent disconnect, and whatever the link queued
    // before it, reaches nobody.
    shutDown_ = true;
    if (link_) {
        link_->Disconnect(0, 1);
        release_(link_);
        link_ = nullptr;
    }
}

// ---- link thread ----------------------------------------------------------------

namespace {

// Where the thread sanitizer learns of the hand-over: any address will do.
char handover;

// A call carried from the link thread to the window thread by Qt's event
// queue, whose ordering the thread sanitizer cannot see (it lives in an
// uninstrumented library). Qt builds its holder of the call inside
// QMetaObject::invokeMethod, moving the call into place last, and runs it
// from inside its library: so the hand-over is marked once the last move is
// done and taken up before the call reads anything of its own. Qt's holder
// is freed by whichever thread lets go of it last, which may be the link
// thread again: the call hands itself back once it has run.
template <typename F>
class HandedOver {
public:
    explicit HandedOver(F call) : call_(std::move(call)) {}
    HandedOver(HandedOver&& other) noexcept : call_(std::move(other.call_)) {
        platform::ReleaseToOtherThread(&handover);
    }
    HandedOver(const HandedOver&) = delete;
    HandedOver& operator=(const HandedOver&) = delete;
    HandedOver& operator=(HandedOver&&) = delete;
    ~HandedOver() { platform::AcquireFromOtherThread(&handover); }

    void operator()() {
        platform::AcquireFromOtherThread(&handover);
        call_();
        platform::ReleaseToOtherThread(&handover);
    }

private:
    F call_;
};

}  // namespace

template <typename F>
void LinkBridge::Queue(F&& deliver) {
    auto call = [this, deliver = std::forward<F>(deliver)]() mutable {
        if (shutDown_)
            return;
        deliver();
        emit eventHandled();
    };
    QMetaObject::invokeMethod(this, HandedOver<decltype(call)>(std::move(call)),
                              Qt::QueuedConnection);
}

void LinkBridge::OnPacket(const uint8_t* data, uint32_t length, uint32_t) {
    QByteArray copy;
    try {
        copy = QByteArray(reinterpret_cast<const char*>(data), qsizetype(length));
    } catch (const std::bad_alloc&) {
        // No window may be touched from the link thread: say it on the
        // debug channel and end the process.
        platform::DebugOutput("No mem to transfer pkt !!!");
        std::_Exit(1);
    }
    Queue([this, copy = std::move(copy)] { emit packetReceived(copy); });
}

void LinkBridge::OnConnectFailed(uint32_t code, uint32_t) {
    Queue([this, code] { emit connectFailed(code); });
}

void LinkBridge::OnDisconnected(uint32_t, uint32_t) {
    Queue([this] {
        connected_ = false;
        emit deviceDisconnected();
    });
}

void LinkBridge::OnConnected(uint32_t) {
    Queue([this] {
        connected_ = true;
        emit deviceConnected();
    });
}

// ---- window thread ----------------------------------------------------------------

void ConnectListener(LinkBridge* bridge, QObject* context, bake::PacketListener* listener) {
    QObject::connect(bridge, &LinkBridge::deviceConnected, context,
                     [listener] { listener->OnDeviceConnected(); });
    QObject::connect(bridge, &LinkBridge::deviceDisconnected, context,
                     [listener] { listener->OnDeviceDisconnected(); });
    QObject::connect(bridge, &LinkBridge::packetReceived, context,
                     [listener](const QByteArray& packet) {
                         listener->OnPacket(reinterpret_cast<const uint8_t*>(packet.constData()),
                                            static_cast<uint32_t>(packet.size()));
                     });
}

}  // namespace shell
