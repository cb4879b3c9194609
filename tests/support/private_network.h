#pragma once
// Tests that open sockets run each test process in a network namespace of its
// own (inside scripts/isolated): loopback up, the limited broadcast address
// routed through it. ctest runs tests side by side, and every discovery test
// wants the same fixed ports; a namespace per process keeps them apart and
// keeps every broadcast on this machine.

#include <string>

namespace testnet {

// Enters the private network. Must run before the process starts threads.
// False (with *why) outside scripts/isolated or without the privilege.
bool EnterPrivateNetwork(std::string* why);

// True once EnterPrivateNetwork succeeded; network tests skip otherwise, so
// that nothing is ever broadcast onto a real network.
bool InPrivateNetwork();
const std::string& WhyNoPrivateNetwork();

// Adds or removes the route of 255.255.255.255 through loopback.
bool SetBroadcastRoute(bool present);

}  // namespace testnet

// In a test body: skip unless the process has its private network.
#define REQUIRE_PRIVATE_NETWORK()                                                            \
    do {                                                                                     \
        if (!::testnet::InPrivateNetwork())                                                  \
            GTEST_SKIP() << "needs its own network namespace (run under scripts/isolated): " \
                         << ::testnet::WhyNoPrivateNetwork();                                \
    } while (0)
