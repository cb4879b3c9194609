#pragma once
// Link error codes: every failure of the device link and every refusal of the
// controller's handshake is one of these numbers. Each code indexes a fixed
// message text that begins with the code's name in brackets.

#include <cstdint>

namespace devlink {

inline constexpr uint32_t EIOCPE_SUCCESS = 0;
inline constexpr uint32_t EIOCPE_FAIL = 1;
inline constexpr uint32_t EIOCPE_NO_RESOURCESS = 2;
inline constexpr uint32_t EIOCPE_INVALID_VAL = 3;
inline constexpr uint32_t EIOCPE_INVALID_FILE = 4;
inline constexpr uint32_t EIOCPE_EINTR = 5;
inline constexpr uint32_t EIOCPE_EAI_ADDRFAMILY = 6;
inline constexpr uint32_t EIOCPE_EAI_AGAIN = 7;
inline constexpr uint32_t EIOCPE_EAI_BADFLAGS = 8;
inline constexpr uint32_t EIOCPE_EAI_FAIL = 9;
inline constexpr uint32_t EIOCPE_EAI_FAMILY = 10;
inline constexpr uint32_t EIOCPE_EAI_MEMORY = 11;
inline constexpr uint32_t EIOCPE_EAI_NODATA = 12;
inline constexpr uint32_t EIOCPE_EAI_NONAME = 13;
inline constexpr uint32_t EIOCPE_EAI_SERVICE = 14;
inline constexpr uint32_t EIOCPE_EAI_SOCKTYPE = 15;
inline constexpr uint32_t EIOCPE_EACCES = 16;
inline constexpr uint32_t EIOCPE_EADDRINUSE = 17;
inline constexpr uint32_t EIOCPE_EADDRNOTAVAIL = 18;
inline constexpr uint32_t EIOCPE_EAFNOSUPPORT = 19;
inline constexpr uint32_t EIOCPE_EALREADY = 20;
inline constexpr uint32_t EIOCPE_EBADF = 21;
inline constexpr uint32_t EIOCPE_ECONNREFUSED = 22;
inline constexpr uint32_t EIOCPE_EINPROGRESS = 23;
inline constexpr uint32_t EIOCPE_EIO = 24;
inline constexpr uint32_t EIOCPE_EISCONN = 25;
inline constexpr uint32_t EIOCPE_ELOOP = 26;
inline constexpr uint32_t EIOCPE_ENETUNREACH = 27;
inline constexpr uint32_t EIOCPE_ENOENT = 28;
inline constexpr uint32_t EIOCPE_ENOSR = 29;
inline constexpr uint32_t EIOCPE_ENXIO = 30;
inline constexpr uint32_t EIOCPE_ETIMEDOUT = 31;
inline constexpr uint32_t EIOCPE_EWOULDBLOCK = 32;
inline constexpr uint32_t EIOCPE_ENOTDIR = 33;
inline constexpr uint32_t EIOCPE_ENOTSOCK = 34;
inline constexpr uint32_t EIOCPE_EPROTOTYPE = 35;
inline constexpr uint32_t EIOCPE_UNABLE_TO_CONNECT = 36;
inline constexpr uint32_t EIOCPE_NO_MEM = 37;
inline constexpr uint32_t EIOCPE_UNKNOWN_TCP_CMD = 38;
inline constexpr uint32_t EIOCPE_UNKNOWN_CONTROL_CMD = 39;
inline constexpr uint32_t EIOCPE_FCNTL_FAILED = 40;
inline constexpr uint32_t EIOCPE_EEXIST = 41;
inline constexpr uint32_t EIOCPE_ENAMETOOLONG = 42;
inline constexpr uint32_t EIOCPE_ENOSPC = 43;
inline constexpr uint32_t EIOCPE_EROFS = 44;
inline constexpr uint32_t EIOCPE_ECONNRESET = 45;
inline constexpr uint32_t EIOCPE_NOT_CONNECTED = 46;
inline constexpr uint32_t EIOCPE_BAD_PARAMS = 47;
inline constexpr uint32_t EIOCPE_ALREADY_CONNECTED = 48;
inline constexpr uint32_t EIOCPE_CONNECT_IN_PROGRESS = 49;
inline constexpr uint32_t EIOCPE_PROTO_VERSION_ERR = 50;
inline constexpr uint32_t EIOCPE_UNK_CLIENT_TYPE = 51;
inline constexpr uint32_t EIOCPE_NO_MEM_ON_SRV = 52;
inline constexpr uint32_t EIOCPE_SIGNATURE_DIFF = 53;
inline constexpr uint32_t EIOCPE_UNKNOWN_ERROR = 54;
inline constexpr uint32_t EIOCPE_CONN_CLOSED_BY_SERVER = 55;
inline constexpr uint32_t EIOCPE_PROTO_ERROR = 56;
inline constexpr uint32_t EIOCPE_UNABLE_TO_CREATE_EVENT = 57;
inline constexpr uint32_t EIOCPE_UNABLE_RUN_THREAD = 58;
inline constexpr uint32_t EIOCPE_SOCKINITFAIL = 59;
inline constexpr uint32_t EIOCPE_WSAVERNOTSUPPORTED = 60;
inline constexpr uint32_t EIOCPE_WSANOTINITIALISED = 61;
inline constexpr uint32_t EIOCPE_WSASYSNOTREADY = 62;
inline constexpr uint32_t EIOCPE_WSAEWOULDBLOCK = 63;
inline constexpr uint32_t EIOCPE_WSAEINPROGRESS = 64;
inline constexpr uint32_t EIOCPE_WSAEALREADY = 65;
inline constexpr uint32_t EIOCPE_WSAENOTSOCK = 66;
inline constexpr uint32_t EIOCPE_WSAEDESTADDRREQ = 67;
inline constexpr uint32_t EIOCPE_WSAEMSGSIZE = 68;
inline constexpr uint32_t EIOCPE_WSAEPROTOTYPE = 69;
inline constexpr uint32_t EIOCPE_WSAENOPROTOOPT = 70;
inline constexpr uint32_t EIOCPE_WSAEPROTONOSUPPORT = 71;
inline constexpr uint32_t EIOCPE_WSAESOCKTNOSUPPORT = 72;
inline constexpr uint32_t EIOCPE_WSAEOPNOTSUPP = 73;
inline constexpr uint32_t EIOCPE_WSAEPFNOSUPPORT = 74;
inline constexpr uint32_t EIOCPE_WSAEAFNOSUPPORT = 75;
inline constexpr uint32_t EIOCPE_WSAEADDRINUSE = 76;
inline constexpr uint32_t EIOCPE_WSAEADDRNOTAVAIL = 77;
inline constexpr uint32_t EIOCPE_WSAENETDOWN = 78;
inline constexpr uint32_t EIOCPE_WSAENETUNREACH = 79;
inline constexpr uint32_t EIOCPE_WSAENETRESET = 80;
inline constexpr uint32_t EIOCPE_WSAECONNABORTED = 81;
inline constexpr uint32_t EIOCPE_WSAECONNRESET = 82;
inline constexpr uint32_t EIOCPE_WSAENOBUFS = 83;
inline constexpr uint32_t EIOCPE_WSAEISCONN = 84;
inline constexpr uint32_t EIOCPE_WSAENOTCONN = 85;
inline constexpr uint32_t EIOCPE_WSAESHUTDOWN = 86;
inline constexpr uint32_t EIOCPE_WSAETOOMANYREFS = 87;
inline constexpr uint32_t EIOCPE_WSAETIMEDOUT = 88;
inline constexpr uint32_t EIOCPE_WSAECONNREFUSED = 89;
inline constexpr uint32_t EIOCPE_WSAELOOP = 90;
inline constexpr uint32_t EIOCPE_WSAENAMETOOLONG = 91;
inline constexpr uint32_t EIOCPE_WSAEHOSTDOWN = 92;
inline constexpr uint32_t EIOCPE_WSAEHOSTUNREACH = 93;
inline constexpr uint32_t EIOCPE_WSAENOTEMPTY = 94;
inline constexpr uint32_t EIOCPE_WSAEPROCLIM = 95;
inline constexpr uint32_t EIOCPE_WSAEUSERS = 96;
inline constexpr uint32_t EIOCPE_WSAEDQUOT = 97;
inline constexpr uint32_t EIOCPE_WSAESTALE = 98;
inline constexpr uint32_t EIOCPE_WSAEREMOTE = 99;
inline constexpr uint32_t EIOCPE_WSAEDISCON = 100;
inline constexpr uint32_t EIOCPE_WSAEINTR = 101;
inline constexpr uint32_t EIOCPE_WSAEBADF = 102;
inline constexpr uint32_t EIOCPE_WSAEACCES = 103;
inline constexpr uint32_t EIOCPE_WSAEFAULT = 104;
inline constexpr uint32_t EIOCPE_WSAEINVAL = 105;
inline constexpr uint32_t EIOCPE_WSAEMFILE = 106;
inline constexpr uint32_t EIOCPE_WSA_INVALID_HANDLE = 107;
inline constexpr uint32_t EIOCPE_WSA_INVALID_PARAMETER = 108;
inline constexpr uint32_t EIOCPE_WSA_IO_INCOMPLETE = 109;
inline constexpr uint32_t EIOCPE_WSA_IO_PENDING = 110;
inline constexpr uint32_t EIOCPE_WSA_NOT_ENOUGH_MEMORY = 111;
inline constexpr uint32_t EIOCPE_WSA_OPERATION_ABORTED = 112;
inline constexpr uint32_t EIOCPE_WSAHOST_NOT_FOUND = 113;
inline constexpr uint32_t EIOCPE_WSANO_DATA = 114;
inline constexpr uint32_t EIOCPE_WSANO_RECOVERY = 115;
inline constexpr uint32_t EIOCPE_WSATRY_AGAIN = 116;
inline constexpr uint32_t EIOCPE_WSATYPE_NOT_FOUND = 117;
inline constexpr uint32_t EIOCPE_WSASYSCALLFAILURE = 118;
inline constexpr uint32_t EIOCPE_ALREADY_STARTED = 119;
inline constexpr uint32_t EIOCPE_ENCRYPTION_INIT_ERROR = 120;
inline constexpr uint32_t EIOCPE_ENCRYPTION_NEGOTIATE_ERROR = 121;
inline constexpr uint32_t EIOCPE_DECRYPTION_ERROR = 122;
inline constexpr uint32_t EIOCPE_ENCRYPTION_ERROR = 123;
inline constexpr uint32_t EIOCPE_ENCRYPTION_DIFFERENT = 124;
inline constexpr uint32_t EIOCPE_TOO_MANY_CLIENTS_ERR = 125;
inline constexpr uint32_t EIOCPE_FORBIDDEN_CLIENT = 126;

// One past the last code that has a text of its own.
inline constexpr uint32_t kLinkErrorCount = 127;

// The whole text of a code, name in brackets included. A code without a
// text prints "err = <code> of 128" on standard output and yields the text
// of EIOCPE_UNKNOWN_ERROR.
const char* LinkErrorText(uint32_t code);

// A Windows Sockets error number (see platform::WsaFromErrno/WsaFromGai for
// the Linux numbers) -> link code; numbers without an entry give EIOCPE_FAIL.
uint32_t MapSocketError(uint32_t error);

// The controller's INIT result -> link code (0 accepted, otherwise the
// reason of the refusal; unknown results give EIOCPE_FAIL).
uint32_t MapInitResult(uint32_t result);

// True for the INIT refusals that retrying cannot cure (version, signature,
// encryption, client type, client denied).
bool IsFinalInitRefusal(uint32_t result);

}  // namespace devlink
