#include "discovery_test_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

#include "discovery/discovery_datagram.h"

namespace discotest {

void RecordingSink::Add(Event e) {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back(std::move(e));
    changed_.notify_all();
}

void RecordingSink::OnDeviceStatus(const discovery::DeviceStatus* status) {
    Event e(Event::Status);
    e.status = *status;
    Add(std::move(e));
}

void RecordingSink::OnDeviceConfig(const discovery::DeviceConfig* config, uint32_t result) {
    Event e(Event::Config);
    e.config = *config;
    e.result = result;
    Add(std::move(e));
}

void RecordingSink::OnSetDeviceIdResult(uint32_t requestId, uint32_t result) {
    Event e(Event::SetId);
    e.requestId = requestId;
    e.result = result;
    Add(std::move(e));
}

void RecordingSink::OnSetIPResult(uint32_t requestId, uint32_t result) {
    Event e(Event::SetIp);
    e.requestId = requestId;
    e.result = result;
    Add(std::move(e));
}

void RecordingSink::OnServiceLog(std::string text) {
    Event e(Event::Log);
    e.text = std::move(text);
    Add(std::move(e));
}

bool RecordingSink::WaitFor(const std::function<bool(const std::vector<Event>&)>& pred,
                            std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return pred(events_); });
}

std::optional<Event> RecordingSink::WaitForKind(Event::Kind kind, size_t n,
                                                std::chrono::milliseconds timeout) {
    std::optional<Event> found;
    WaitFor(
        [&](const std::vector<Event>& events) {
            size_t seen = 0;
            for (const Event& e : events) {
                if (e.kind == kind && ++seen == n) {
                    found = e;
                    return true;
                }
            }
            return false;
        },
        timeout);
    return found;
}

std::optional<Event> RecordingSink::WaitForLog(const std::string& text,
                                               std::chrono::milliseconds timeout) {
    std::optional<Event> found;
    WaitFor(
        [&](const std::vector<Event>& events) {
            for (const Event& e : events) {
                if (e.kind == Event::Log && e.text == text) {
                    found = e;
                    return true;
                }
            }
            return false;
        },
        timeout);
    return found;
}

std::vector<Event> RecordingSink::Events() {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
}

std::vector<std::string> RecordingSink::Logs() {
    std::vector<std::string> logs;
    for (const Event& e : Events())
        if (e.kind == Event::Log)
            logs.push_back(e.text);
    return logs;
}

void RecordingSink::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.clear();
}

UdpPeer::UdpPeer(uint16_t port, bool share) {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0)
        return;
    const int on = 1;
    if (share) {
        ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        ::setsockopt(fd_, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on);
    }
    ::setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

UdpPeer::~UdpPeer() {
    if (fd_ >= 0)
        ::close(fd_);
}

std::optional<std::vector<uint8_t>> UdpPeer::Receive(std::chrono::milliseconds timeout) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(timeout.count())) != 1)
        return std::nullopt;
    std::vector<uint8_t> bytes(65536);
    const ssize_t n = ::recv(fd_, bytes.data(), bytes.size(), 0);
    if (n < 0)
        return std::nullopt;
    bytes.resize(static_cast<size_t>(n));
    return bytes;
}

bool UdpPeer::SendToHost(const std::vector<uint8_t>& bytes) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(discovery::PLIXOR_HOST_PORT);
    to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
    return ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                    sizeof to) == static_cast<ssize_t>(bytes.size());
}

std::vector<uint8_t> Header(uint16_t flag, uint16_t version, uint32_t deviceId, uint32_t length,
                            uint32_t type, uint32_t requestId, uint32_t result) {
    std::vector<uint8_t> bytes(discovery::PLIXOR_HEADER_SIZE);
    platform::WriteLe16(&bytes[0], flag);
    platform::WriteLe16(&bytes[2], version);
    platform::WriteLe32(&bytes[4], deviceId);
    platform::WriteLe32(&bytes[8], length);
    platform::WriteLe32(&bytes[12], type);
    platform::WriteLe32(&bytes[16], requestId);
    platform::WriteLe32(&bytes[20], result);
    return bytes;
}

std::string AddressText(uint32_t networkOrder) {
    in_addr a{};
    a.s_addr = networkOrder;
    char text[INET_ADDRSTRLEN];
    return ::inet_ntop(AF_INET, &a, text, sizeof text) ? text : "?";
}

uint32_t Address(const char* dotted) {
    in_addr a{};
    ::inet_pton(AF_INET, dotted, &a);
    return a.s_addr;
}

}  // namespace discotest
