#include <gtest/gtest.h>
#include <netdb.h>

#include <cerrno>

#include "platform/socket_errors.h"
#include "platform/system_error_text.h"

TEST(SocketErrors, ErrnoMapsByNameOntoWindowsSocketsNumbers) {
    struct Case {
        int err;
        uint32_t wsa;
    } cases[] = {
        {0, 0},
        {ECONNREFUSED, 10061},
        {ETIMEDOUT, 10060},
        {ECONNRESET, 10054},
        {ENETUNREACH, 10051},
        {EHOSTUNREACH, 10065},
        {EAGAIN, 10035},
        {EADDRINUSE, 10048},
        {EMSGSIZE, 10040},
        {ECONNABORTED, 10053},
        {EREMOTE, 10071},
    };
    for (const auto& c : cases) EXPECT_EQ(platform::WsaFromErrno(c.err), c.wsa) << c.err;
}

TEST(SocketErrors, UnknownErrnoLandsOutsideEveryTable) {
    EXPECT_GE(platform::WsaFromErrno(ENOEXEC), 100000u);
}

TEST(SocketErrors, NameLookupFailures) {
    EXPECT_EQ(platform::WsaFromGai(EAI_NONAME, 0), 11001u);
    EXPECT_EQ(platform::WsaFromGai(EAI_AGAIN, 0), 11002u);
    EXPECT_EQ(platform::WsaFromGai(EAI_FAIL, 0), 11003u);
    EXPECT_EQ(platform::WsaFromGai(EAI_NODATA, 0), 11004u);
    EXPECT_EQ(platform::WsaFromGai(EAI_SYSTEM, ECONNREFUSED), 10061u);
}

TEST(SystemErrorText, KnownAndUnknownNumbers) {
    EXPECT_EQ(platform::SystemErrorText(ECONNREFUSED), "Connection refused");
    EXPECT_EQ(platform::SystemErrorText(987654), "");
}
