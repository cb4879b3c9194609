#include "shell/link_bridge.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdlib>
#include <new>

#include "platform/debug_output.h"
#include "platform/thread_handover.h"
#include "widgets/thread_post.h"

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
    shutDown_ = true;
    // First the listeners, so that the silent disconnect, and whatever the
    // link posted before it, reaches nobody.
    listeners_.clear();
    if (link_) {
        link_->Disconnect(0, 1);
        release_(link_);
        link_ = nullptr;
    }
}

void LinkBridge::AddListener(bake::PacketListener* listener) {
    if (listener && std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end())
        listeners_.push_back(listener);
}

void LinkBridge::RemoveListener(bake::PacketListener* listener) {
    listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

// ---- link thread ----------------------------------------------------------------

void LinkBridge::OnPacket(const uint8_t* data, uint32_t length, uint32_t) {
    std::unique_ptr<uint8_t[]> copy(new (std::nothrow) uint8_t[length ? length : 1]);
    if (!copy) {
        // No window may be touched from the link thread: say it on the
        // debug channel and end the process.
        platform::DebugOutput("No mem to transfer pkt !!!");
        std::_Exit(1);
    }
    if (length)
        std::copy(data, data + length, copy.get());
    widgets::PostFromWorkerThread(this, new LinkEvent(std::move(copy), length));
}

void LinkBridge::OnConnectFailed(uint32_t code, uint32_t) {
    widgets::PostFromWorkerThread(this, new LinkEvent(LinkEvent::kConnectFailed, code));
}

void LinkBridge::OnDisconnected(uint32_t code, uint32_t) {
    widgets::PostFromWorkerThread(this, new LinkEvent(LinkEvent::kDisconnected, code));
}

void LinkBridge::OnConnected(uint32_t) {
    widgets::PostFromWorkerThread(this, new LinkEvent(LinkEvent::kConnected, 0));
}

// ---- window thread ----------------------------------------------------------------

bool LinkBridge::event(QEvent* e) {
    platform::AcquireFromOtherThread(e);
    switch (static_cast<int>(e->type())) {
        case static_cast<int>(LinkEvent::kConnected):
        case static_cast<int>(LinkEvent::kDisconnected):
        case static_cast<int>(LinkEvent::kConnectFailed):
        case static_cast<int>(LinkEvent::kPacket):
            Deliver(*static_cast<LinkEvent*>(e));
            return true;
        default:
            return QObject::event(e);
    }
}

template <typename F>
void LinkBridge::ForEachListener(F&& call) {
    // A listener may run a modal loop in which others are added or removed;
    // walk a snapshot and skip whoever left meanwhile.
    const std::vector<bake::PacketListener*> snapshot = listeners_;
    for (bake::PacketListener* l : snapshot) {
        if (std::find(listeners_.begin(), listeners_.end(), l) != listeners_.end())
            call(l);
    }
}

void LinkBridge::Deliver(const LinkEvent& e) {
    switch (static_cast<int>(e.type())) {
        case static_cast<int>(LinkEvent::kConnected):
            connected_ = true;
            ForEachListener([](bake::PacketListener* l) { l->OnDeviceConnected(); });
            break;
        case static_cast<int>(LinkEvent::kDisconnected):
            connected_ = false;
            ForEachListener([](bake::PacketListener* l) { l->OnDeviceDisconnected(); });
            break;
        case static_cast<int>(LinkEvent::kPacket):
            ForEachListener([&e](bake::PacketListener* l) { l->OnPacket(e.Data(), e.Length()); });
            break;
        case static_cast<int>(LinkEvent::kConnectFailed):
            emit connectFailed(e.Code());
            break;
        default:
            break;
    }
    emit eventHandled();
}

}  // namespace shell
