#include "sim/discovery_responder.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "discovery/device_record.h"
#include "discovery/discovery_datagram.h"
#include "discovery/discovery_result.h"
#include "platform/system_error_text.h"

namespace sim {
namespace {

std::string AddressText(uint32_t networkOrder) {
    in_addr a{};
    a.s_addr = networkOrder;
    char text[INET_ADDRSTRLEN] = "?";
    ::inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

}  // namespace

bool ParseMacAddress(const char* text, uint64_t* mac) {
    unsigned octets[6];
    char tail;
    if (std::sscanf(text, "%2x:%2x:%2x:%2x:%2x:%2x%c", &octets[0], &octets[1], &octets[2],
                    &octets[3], &octets[4], &octets[5], &tail) != 6)
        return false;
    uint64_t value = 0;
    for (unsigned octet : octets) value = (value << 8) | octet;
    *mac = value;
    return true;
}

bool ParseFirmwareVersion(const char* text, uint32_t* version) {
    unsigned major, minor, build;
    char tail;
    if (std::sscanf(text, "%u.%u.%u%c", &major, &minor, &build, &tail) == 3) {
        if (major > 999 || minor > 999 || build > 999)
            return false;
        *version = major * 1000000u + minor * 1000u + build;
        return true;
    }
    char* end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(text, &end, 10);
    if (end == text || *end != '\0' || errno != 0 || *text == '-' || v > 0xFFFFFFFFull)
        return false;
    *version = static_cast<uint32_t>(v);
    return true;
}

bool ParseIPv4Address(const char* text, uint32_t* networkOrder) {
    in_addr a{};
    if (::inet_pton(AF_INET, text, &a) != 1)
        return false;
    *networkOrder = a.s_addr;
    return true;
}

DiscoveryResponder::DiscoveryResponder(const DiscoveryIdentity& identity, BakingFn isBaking,
                                       LogFn log)
    : identity_(identity),
      isBaking_(std::move(isBaking)),
      log_(std::move(log)),
      ipAddress_(identity.ipAddress),
      netMask_(identity.netMask) {}

DiscoveryResponder::~DiscoveryResponder() {
    Stop();
}

bool DiscoveryResponder::Start(std::string* error) {
    auto fail = [&](const std::string& what) {
        const int err = errno;
        if (error)
            *error = what + ": " + platform::SystemErrorText(err);
        if (socket_ >= 0)
            ::close(socket_);
        socket_ = -1;
        return false;
    };
    if (thread_.joinable()) {
        if (error)
            *error = "discovery responder already running";
        return false;
    }
    socket_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (socket_ < 0)
        return fail("discovery socket");
    const int on = 1;
    // Other simulators on this host share the device port; broadcasts reach
    // every one of them.
    if (::setsockopt(socket_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::setsockopt(socket_, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on) != 0 ||
        ::setsockopt(socket_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0)
        return fail("discovery socket options");
    // Broadcasts leave through loopback only, whatever the routing table says.
    const char lo[] = "lo";
    if (::setsockopt(socket_, SOL_SOCKET, SO_BINDTODEVICE, lo, sizeof lo) != 0)
        return fail("tie discovery socket to loopback");
    // The wildcard address: a socket bound to one unicast address would not
    // see the host's broadcasts.
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(discovery::PLIXOR_DEVICE_PORT);
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(socket_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0)
        return fail("bind discovery port " + std::to_string(discovery::PLIXOR_DEVICE_PORT));
    stop_ = std::make_unique<platform::Event>(platform::Event::Kind::ManualReset);
    if (!stop_->IsValid())
        return fail("discovery stop event");
    thread_ = std::thread(&DiscoveryResponder::Loop, this);
    return true;
}

void DiscoveryResponder::Stop() {
    if (!thread_.joinable())
        return;
    stop_->Set();
    thread_.join();
    ::close(socket_);
    socket_ = -1;
    stop_.reset();
}

void DiscoveryResponder::Loop() {
    using Clock = std::chrono::steady_clock;
    // Reported once at once, so that a listening host sees the controller
    // without asking.
    auto nextReport = Clock::now();
    for (;;) {
        const auto now = Clock::now();
        if (now >= nextReport) {
            SendStatus(0);
            nextReport = now + std::chrono::milliseconds(reportIntervalMs_);
        }
        const auto wait =
            std::chrono::duration_cast<std::chrono::milliseconds>(nextReport - now).count();
        pollfd fds[2] = {{stop_->Handle().fd, POLLIN, 0}, {socket_, POLLIN, 0}};
        const int n = ::poll(fds, 2, static_cast<int>(wait) + 1);
        if (n < 0 && errno != EINTR) {
            Say("discovery: poll failed: " + platform::SystemErrorText(errno));
            return;
        }
        if (fds[0].revents)
            return;
        if (fds[1].revents & (POLLIN | POLLERR)) {
            uint8_t buffer[discovery::PLIXOR_MAX_DATAGRAM];
            const ssize_t got = ::recv(socket_, buffer, sizeof buffer, MSG_DONTWAIT | MSG_TRUNC);
            if (got >= 0 && static_cast<size_t>(got) <= sizeof buffer)
                Handle(buffer, static_cast<size_t>(got));
        }
    }
}

void DiscoveryResponder::Handle(const uint8_t* data, size_t size) {
    discovery::PLIXOR_Header header;
    if (!discovery::DecodeHeader(data, size, &header) || header.length != size ||
        header.startFlag != discovery::PLIXOR_START_FLAG)
        return;  // not a discovery datagram: a controller keeps quiet
    const bool forMe = header.deviceId == identity_.deviceId;
    if (!forMe && header.deviceId != 0)
        return;
    if (header.version != discovery::PLIXOR_VERSION) {
        if (forMe)
            SendReply(header.type, header.requestId, discovery::PLIXOR_ERR_PROTO_VER);
        return;
    }
    switch (header.type) {
        case discovery::PLIXOR_PKT_DEV_STATUS_REQ:
            SendStatus(header.requestId);
            return;
        case discovery::PLIXOR_PKT_SET_IP: {
            if (!forMe)
                return;  // an address is never given to every controller
            if (size != discovery::PLIXOR_HEADER_SIZE + discovery::PLIXOR_SET_IP_PAYLOAD_SIZE) {
                SendReply(header.type, header.requestId, discovery::PLIXOR_ERR_PROTO);
                return;
            }
            if (isBaking_ && isBaking_()) {
                Say("discovery: set-IP request " + std::to_string(header.requestId) +
                    " refused while baking");
                SendReply(header.type, header.requestId, discovery::PLIXOR_ERR_BUSY);
                return;
            }
            uint32_t address, mask;
            std::memcpy(&address, data + discovery::PLIXOR_HEADER_SIZE, 4);
            std::memcpy(&mask, data + discovery::PLIXOR_HEADER_SIZE + 4, 4);
            ipAddress_.store(address);
            netMask_.store(mask);
            Say("discovery: address set to " + AddressText(address) + " mask " + AddressText(mask));
            SendReply(header.type, header.requestId, discovery::PLIXOR_ERR_OK);
            SendStatus(0);  // the host's list shows the new address at once
            return;
        }
        default:
            if (forMe)
                SendReply(header.type, header.requestId, discovery::PLIXOR_ERR_UNKNOWN_CMD);
            return;
    }
}

void DiscoveryResponder::SendStatus(uint32_t requestId) {
    discovery::DeviceStatus status;
    status.deviceId = identity_.deviceId;
    // Words 0, 2 and 3 at 1 mean "in service": hosts list only such controllers.
    status.statusWord0 = 1;
    status.firmwareVersion = identity_.firmwareVersion;
    status.statusWord2 = 1;
    status.statusWord3 = 1;
    status.statusWord4 = 0;
    status.macAddress = identity_.macAddress != 0 ? identity_.macAddress
                                                  : (uint64_t{0x02} << 40) | identity_.deviceId;
    status.ipAddress = ipAddress_.load();
    Broadcast(discovery::EncodeDevStatus(status, requestId));
}

void DiscoveryResponder::SendReply(uint32_t type, uint32_t requestId, uint32_t result) {
    discovery::PLIXOR_Header header;
    header.type = type;
    header.deviceId = identity_.deviceId;
    header.requestId = requestId;
    header.result = result;
    Broadcast(discovery::EncodeDatagram(header, nullptr, 0));
}

void DiscoveryResponder::Broadcast(const std::vector<uint8_t>& bytes) {
    // Broadcast, not to the sender: the sender's address is not dependable
    // (a controller without an address can only broadcast anyway).
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(discovery::PLIXOR_HOST_PORT);
    to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
    if (::sendto(socket_, bytes.data(), bytes.size(), MSG_NOSIGNAL,
                 reinterpret_cast<const sockaddr*>(&to), sizeof to) < 0) {
        // Said once per run of failures, not once a second.
        if (!sendFailing_)
            Say("discovery: send failed: " + platform::SystemErrorText(errno));
        sendFailing_ = true;
    } else {
        sendFailing_ = false;
    }
}

void DiscoveryResponder::Say(const std::string& line) {
    if (log_)
        log_(line);
}

}  // namespace sim
