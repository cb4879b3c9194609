#pragma once
// One calveroctl conversation with a controller over the device link: the
// link's callbacks (on its own thread) become events that the command waits
// for on the main thread, with a deadline.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "bake/controller_protocol.h"
#include "link/connection.h"

namespace cli {

// calveroctl's exit codes for the controller commands.
inline constexpr int kExitOk = 0;
inline constexpr int kExitRefused = 1;       // the controller answered with a non-zero result
inline constexpr int kExitNoConnection = 2;  // connecting failed (also: bad usage)
inline constexpr int kExitDisconnected = 3;  // the link dropped
inline constexpr int kExitTimeout = 4;       // no answer in time

// How long a command waits for its reply (and monitor for each packet).
inline constexpr std::chrono::seconds kReplyTimeout{5};

class ControllerSession : public devlink::Receiver, public devlink::LinkLog {
public:
    ControllerSession() = default;
    // Ends the session with a graceful disconnect (at most about 5 s).
    ~ControllerSession() override;

    // Creates the link and connects; on failure prints "Unable to connect : "
    // and the link error text on stderr and returns kExitNoConnection.
    int Connect(const std::string& host, uint16_t port);

    // Sends one controller packet. Returns kExitOk, or the exit code after
    // printing why it could not be sent.
    int Send(const void* data, uint32_t length);

    // Waits for the next non-gauge packet whose type is `type` and returns it
    // (packets of other types are passed to the protocol and dropped). On a
    // drop or time-out, prints the reason and sets `exitCode`.
    std::optional<std::vector<uint8_t>> WaitForReply(uint32_t type, int& exitCode);
    // Sends a request and waits for its reply of `replyType`; a refusal by
    // the controller prints its result text and ends with kExitRefused.
    // Only an accepted reply is returned.
    std::optional<std::vector<uint8_t>> Request(const void* data, uint32_t length,
                                                uint32_t replyType, int& exitCode);
    // Waits for the next gauge packet, decoded. Same failure handling.
    std::optional<bake::CONCC_GaugeData> WaitForGauge(int& exitCode);

    bake::ControllerProtocol& Protocol() { return protocol_; }
    // Starts every line this session prints on stderr, e.g. "HOST: " where
    // one command talks to several controllers.
    void SetMessagePrefix(std::string prefix) { prefix_ = std::move(prefix); }

    // devlink::Receiver, called on the link thread.
    void OnPacket(const uint8_t* data, uint32_t length, uint32_t context) override;
    void OnConnectFailed(uint32_t code, uint32_t context) override;
    void OnDisconnected(uint32_t code, uint32_t context) override;
    void OnConnected(uint32_t context) override;

    // devlink::LinkLog: the link's diagnostics go to stderr only with CALVEROCTL_VERBOSE set.
    void LogMessage(const char* format, ...) override __attribute__((format(printf, 2, 3)));
    void LogError(const char* format, ...) override __attribute__((format(printf, 2, 3)));

private:
    struct Event {
        enum class Kind { Connected, ConnectFailed, Disconnected, Packet } kind;
        uint32_t code = 0;
        std::vector<uint8_t> data;
    };

    void Push(Event e);
    std::optional<Event> Next(std::chrono::steady_clock::time_point deadline);
    // Waits for a packet that `accept` takes; prints and sets exitCode otherwise.
    template <typename Accept>
    bool WaitForPacket(Accept accept, const char* waitingFor, int& exitCode);

    devlink::Connection* link_ = nullptr;
    bake::ControllerProtocol protocol_;  // main thread only
    bool verbose_ = false;
    std::string prefix_;

    std::mutex lock_;
    std::condition_variable ready_;
    std::deque<Event> events_;  // guarded by lock_
};

// Parses "--port P" style values; false on anything but a whole number in range.
bool ParseUnsigned(const std::string& text, uint64_t max, uint64_t& out);

// HOST and "--name VALUE" options, --port already checked.
struct CommandLine {
    std::string host;                // the first
    std::vector<std::string> hosts;  // all, in the order given
    uint16_t port = 5565;
    std::map<std::string, std::string> values;  // other options by name, with their dashes
};

// Parses the arguments of one command: exactly one HOST (at least one with
// `severalHosts`), --port and the named options in `allowed` (each taking a
// value). Prints what is wrong and
// the usage line on stderr and returns false on a mistake.
bool ParseCommandLine(const std::vector<std::string>& args,
                      std::initializer_list<const char*> allowed, const char* usage,
                      CommandLine& out, bool severalHosts = false);

}  // namespace cli
