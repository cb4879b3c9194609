#include "tests/support/private_network.h"

#include <gtest/gtest.h>
#include <net/if.h>
#include <net/route.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace testnet {
namespace {

bool g_private = false;
std::string g_why = "not entered";

std::string ErrnoText(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

bool RouteIoctl(unsigned long request) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    rtentry route{};
    auto* dst = reinterpret_cast<sockaddr_in*>(&route.rt_dst);
    dst->sin_family = AF_INET;
    dst->sin_addr.s_addr = htonl(INADDR_BROADCAST);
    auto* mask = reinterpret_cast<sockaddr_in*>(&route.rt_genmask);
    mask->sin_family = AF_INET;
    mask->sin_addr.s_addr = htonl(INADDR_BROADCAST);
    route.rt_flags = RTF_UP | RTF_HOST;
    char dev[] = "lo";
    route.rt_dev = dev;
    const bool ok = ::ioctl(fd, request, &route) == 0;
    ::close(fd);
    return ok;
}

// Enters the namespace before any test runs (gtest is single-threaded then).
class PrivateNetworkEnvironment : public ::testing::Environment {
public:
    void SetUp() override { EnterPrivateNetwork(&g_why); }
};

const auto* const g_environment =
    ::testing::AddGlobalTestEnvironment(new PrivateNetworkEnvironment);

}  // namespace

bool EnterPrivateNetwork(std::string* why) {
    if (g_private)
        return true;
    // Only inside scripts/isolated: there the process is root of a user
    // namespace and may make network namespaces.
    const char* isolated = std::getenv("CALVERO_ISOLATED");
    if (isolated == nullptr || std::strcmp(isolated, "1") != 0) {
        *why = "CALVERO_ISOLATED is not set";
        return false;
    }
    if (::unshare(CLONE_NEWNET) != 0) {
        *why = ErrnoText("unshare(CLONE_NEWNET)");
        return false;
    }
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq lo{};
    std::strncpy(lo.ifr_name, "lo", IFNAMSIZ - 1);
    const bool up = fd >= 0 && ::ioctl(fd, SIOCGIFFLAGS, &lo) == 0 &&
                    (lo.ifr_flags |= IFF_UP, ::ioctl(fd, SIOCSIFFLAGS, &lo) == 0);
    if (fd >= 0)
        ::close(fd);
    if (!up) {
        *why = ErrnoText("bring lo up");
        return false;
    }
    if (!SetBroadcastRoute(true)) {
        *why = ErrnoText("route 255.255.255.255 via lo");
        return false;
    }
    g_private = true;
    why->clear();
    return true;
}

bool InPrivateNetwork() {
    return g_private;
}
const std::string& WhyNoPrivateNetwork() {
    return g_why;
}

bool SetBroadcastRoute(bool present) {
    return RouteIoctl(present ? SIOCADDRT : SIOCDELRT);
}

}  // namespace testnet
