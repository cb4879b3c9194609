#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "link/link_errors.h"
#include "platform/socket_errors.h"

TEST(LinkErrorText, ExactTextsIncludingTabsAndDoubleSpaces) {
    const struct {
        uint32_t code;
        const char* text;
    } cases[] = {
        {0, "[EIOCPE_SUCCESS]"},
        {1, "[EIOCPE_FAIL] Unknown internal error!"},
        {2, "[EIOCPE_NO_RESOURCESS] Insufficient resources!"},
        {6,
         "[EIOCPE_EAI_ADDRFAMILY] The specified network host does not have any  network  addresses "
         "in the "
         "requested address family!"},
        {8, "[EIOCPE_EAI_BADFLAGS]\tai_flags contains invalid flags!"},
        {22, "[EIOCPE_ECONNREFUSED]\tServer rejected connection!"},
        {35,
         "[EIOCPE_EPROTOTYPE] The  file  referred  to  by name is a socket of a type other "
         "than\ttype s!"},
        {37, "[EIOCPE_NO_MEM] No memory!"},
        {48, "[EIOCPE_ALREADY_CONNECTED] Already connected!"},
        {54, "[EIOCPE_UNKNOWN_ERROR] Unknown error!"},
        {55, "[EIOCPE_CONN_CLOSED_BY_SERVER] Connection closed by server!"},
        {56, "[EIOCPE_PROTO_ERROR] Protocol error!"},
        {61, "[EIOCPE_WSANOTINITIALISED]\tInternal error! Network subsystem not initialized!"},
        {82,
         "[EIOCPE_WSAECONNRESET] An existing connection was forcibly closed by the remote host!"},
        {89, "[EIOCPE_WSAECONNREFUSED] There is no running server on selected host!"},
        {114, "[EIOCPE_WSANO_DATA] Valid name, no data record of requested type!"},
        {126, "[EIOCPE_FORBIDDEN_CLIENT] Server denied connection of this client!"},
    };
    for (const auto& c : cases)
        EXPECT_STREQ(devlink::LinkErrorText(c.code), c.text) << "code " << c.code;
}

// The names in the texts are the names of the constants: a constant with a
// shifted number would show another code's text.
TEST(LinkErrorText, EveryTextStartsWithTheNameOfItsConstant) {
#define NAMED(c) \
    { devlink::c, "[" #c "]" }
    const struct {
        uint32_t code;
        const char* prefix;
    } cases[] = {
        NAMED(EIOCPE_SUCCESS),
        NAMED(EIOCPE_FAIL),
        NAMED(EIOCPE_NO_RESOURCESS),
        NAMED(EIOCPE_EINTR),
        NAMED(EIOCPE_ECONNREFUSED),
        NAMED(EIOCPE_EPROTOTYPE),
        NAMED(EIOCPE_UNABLE_TO_CONNECT),
        NAMED(EIOCPE_NO_MEM),
        NAMED(EIOCPE_ECONNRESET),
        NAMED(EIOCPE_NOT_CONNECTED),
        NAMED(EIOCPE_BAD_PARAMS),
        NAMED(EIOCPE_ALREADY_CONNECTED),
        NAMED(EIOCPE_CONNECT_IN_PROGRESS),
        NAMED(EIOCPE_PROTO_VERSION_ERR),
        NAMED(EIOCPE_UNK_CLIENT_TYPE),
        NAMED(EIOCPE_NO_MEM_ON_SRV),
        NAMED(EIOCPE_SIGNATURE_DIFF),
        NAMED(EIOCPE_UNKNOWN_ERROR),
        NAMED(EIOCPE_CONN_CLOSED_BY_SERVER),
        NAMED(EIOCPE_PROTO_ERROR),
        NAMED(EIOCPE_UNABLE_TO_CREATE_EVENT),
        NAMED(EIOCPE_UNABLE_RUN_THREAD),
        NAMED(EIOCPE_WSAEWOULDBLOCK),
        NAMED(EIOCPE_WSAECONNRESET),
        NAMED(EIOCPE_WSAETIMEDOUT),
        NAMED(EIOCPE_WSAECONNREFUSED),
        NAMED(EIOCPE_WSAEREMOTE),
        NAMED(EIOCPE_WSAEDISCON),
        NAMED(EIOCPE_WSAHOST_NOT_FOUND),
        NAMED(EIOCPE_WSANO_DATA),
        NAMED(EIOCPE_WSASYSCALLFAILURE),
        NAMED(EIOCPE_ALREADY_STARTED),
        NAMED(EIOCPE_ENCRYPTION_DIFFERENT),
        NAMED(EIOCPE_TOO_MANY_CLIENTS_ERR),
        NAMED(EIOCPE_FORBIDDEN_CLIENT),
    };
#undef NAMED
    for (const auto& c : cases) {
        const std::string text = devlink::LinkErrorText(c.code);
        EXPECT_EQ(text.rfind(c.prefix, 0), 0u) << text;
    }
    // Every text: a bracketed name, then nothing (code 0) or a separator.
    for (uint32_t code = 0; code < devlink::kLinkErrorCount; ++code) {
        const std::string text = devlink::LinkErrorText(code);
        ASSERT_EQ(text.rfind("[EIOCPE_", 0), 0u) << code;
        const size_t close = text.find(']');
        ASSERT_NE(close, std::string::npos) << code;
        if (code == 0) {
            EXPECT_EQ(close + 1, text.size());
        } else {
            ASSERT_LT(close + 1, text.size()) << code;
            EXPECT_TRUE(text[close + 1] == ' ' || text[close + 1] == '\t') << code;
        }
    }
}

TEST(LinkErrorText, CodesBeyondTheTablePrintALineAndGiveUnknownError) {
    for (uint32_t code : {127u, 200u, 0xFFFFFFFFu}) {
        testing::internal::CaptureStdout();
        const char* text = devlink::LinkErrorText(code);
        const std::string printed = testing::internal::GetCapturedStdout();
        EXPECT_STREQ(text, "[EIOCPE_UNKNOWN_ERROR] Unknown error!");
        EXPECT_EQ(printed, "err = " + std::to_string(code) + " of 128\r\n");
    }
    testing::internal::CaptureStdout();
    devlink::LinkErrorText(126);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(MapSocketError, WindowsSocketsNumbersToLinkCodes) {
    const struct {
        uint32_t error;
        uint32_t code;
    } cases[] = {
        {6, 107},
        {8, 111},
        {87, 108},
        {995, 112},
        {996, 109},
        {997, 110},
        {10004, 101},
        {10009, 102},
        {10013, 103},
        {10014, 104},
        {10022, 105},
        {10024, 106},
        {10035, 63},
        {10036, 64},
        {10053, 81},
        {10054, 82},
        {10060, 88},
        {10061, 89},
        {10065, 93},
        {10071, 99},
        {10091, 62},
        {10092, 60},
        {10093, 61},
        {10101, 100},
        {10107, 118},
        {10109, 117},
        {11001, 113},
        {11002, 116},
        {11003, 115},
        {11004, 114},
        // Not in the table.
        {0, 1},
        {10034, 1},
        {10072, 1},
        {10090, 1},
        {11005, 1},
        {100000 + ENOENT, 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(devlink::MapSocketError(c.error), c.code) << "error " << c.error;
}

// On Linux an errno first becomes a Windows Sockets number by name.
TEST(MapSocketError, LinuxErrnoPath) {
    const struct {
        int err;
        uint32_t code;
    } cases[] = {
        {ECONNREFUSED, devlink::EIOCPE_WSAECONNREFUSED},
        {ECONNRESET, devlink::EIOCPE_WSAECONNRESET},
        {EPIPE, devlink::EIOCPE_WSAECONNRESET},
        {ETIMEDOUT, devlink::EIOCPE_WSAETIMEDOUT},
        {ENETUNREACH, devlink::EIOCPE_WSAENETUNREACH},
        {EHOSTUNREACH, devlink::EIOCPE_WSAEHOSTUNREACH},
        {EAGAIN, devlink::EIOCPE_WSAEWOULDBLOCK},
        {EMFILE, devlink::EIOCPE_WSAEMFILE},
        {ENOENT, devlink::EIOCPE_FAIL},
    };
    for (const auto& c : cases)
        EXPECT_EQ(devlink::MapSocketError(platform::WsaFromErrno(c.err)), c.code)
            << std::strerror(c.err);
}

TEST(MapInitResult, ControllerResultsToLinkCodes) {
    const struct {
        uint32_t result;
        uint32_t code;
        bool final;
    } cases[] = {
        {0, 0, false},  {1, 50, true},  {2, 50, true},   {3, 53, true},
        {4, 124, true}, {5, 51, true},  {6, 125, false}, {7, 52, false},
        {8, 22, false}, {9, 126, true}, {10, 1, false},  {0xFFFFFFFF, 1, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(devlink::MapInitResult(c.result), c.code) << "result " << c.result;
        EXPECT_EQ(devlink::IsFinalInitRefusal(c.result), c.final) << "result " << c.result;
    }
}
