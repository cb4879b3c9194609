#include "discovery/socket_error_text.h"

#include <cstdio>

namespace discovery {

namespace {

struct Entry {
    uint32_t code;
    const char* text;
};

constexpr Entry kTexts[] = {
    {6, "WSA_INVALID_HANDLE - Specified event object handle is invalid!"},
    {8, "WSA_NOT_ENOUGH_MEMORY - Insufficient memory available!"},
    {87, "WSA_INVALID_PARAMETER - One or more parameters are invalid!"},
    {995, "WSA_OPERATION_ABORTED - Overlapped operation aborted!"},
    {996, "WSA_IO_INCOMPLETE - Overlapped I/O event object not in signaled state!"},
    {997, "WSA_IO_PENDING - Overlapped operations will complete later!"},
    {10004, "WSAEINTR - Interrupted function call!"},
    {10013, "WSAEACCES - Permission denied!"},
    {10014, "WSAEFAULT - Bad address!"},
    {10022, "WSAEINVAL - Invalid argument!"},
    {10024, "WSAEMFILE - Too many open files!"},
    {10035, "WSAEWOULDBLOCK - Resource temporarily unavailable!"},
    {10036, "WSAEINPROGRESS - Operation now in progress!"},
    {10037, "WSAEALREADY - Operation already in progress!"},
    {10038, "WSAENOTSOCK - Socket operation on nonsocket!"},
    {10039, "WSAEDESTADDRREQ - Destination address required!"},
    {10040, "WSAEMSGSIZE - Message too long!"},
    {10041, "WSAEPROTOTYPE - Protocol wrong type for socket!"},
    {10042, "WSAENOPROTOOPT - Bad protocol option!"},
    {10043, "WSAEPROTONOSUPPORT - Protocol not supported!"},
    {10044, "WSAESOCKTNOSUPPORT - Socket type not supported!"},
    {10045, "WSAEOPNOTSUPP - Operation not supported!"},
    {10046, "WSAEPFNOSUPPORT - Protocol family not supported!"},
    {10047, "WSAEAFNOSUPPORT - Address family not supported by protocol family!"},
    {10048, "WSAEADDRINUSE - Address already in use!"},
    {10049, "WSAEADDRNOTAVAIL - Cannot assign requested address!"},
    {10050, "WSAENETDOWN - Network is down!"},
    {10051, "WSAENETUNREACH - Network is unreachable!"},
    {10052, "WSAENETRESET - Network dropped connection on reset!"},
    {10053, "WSAECONNABORTED - Software caused connection abort!"},
    {10054, "WSAECONNRESET - Connection reset by peer!"},
    {10055, "WSAENOBUFS - No buffer space available!"},
    {10056, "WSAEISCONN - Socket is already connected!"},
    {10057, "WSAENOTCONN - Socket is not connected!"},
    {10058, "WSAESHUTDOWN - Cannot send after socket shutdown!"},
    {10060, "WSAETIMEDOUT - Connection timed out!"},
    {10061, "WSAECONNREFUSED - Connection refused!"},
    {10064, "WSAEHOSTDOWN - Host is down!"},
    {10065, "WSAEHOSTUNREACH - No route to host!"},
    {10067, "WSAEPROCLIM - Too many processes!"},
    {10091, "WSASYSNOTREADY - Network subsystem is unavailable!"},
    {10092, "WSAVERNOTSUPPORTED - Winsock.dll version out of range!"},
    {10093, "WSANOTINITIALISED - Successful WSAStartup not yet performed!"},
    {10101, "WSAEDISCON - Graceful shutdown in progress!"},
    {10107, "WSASYSCALLFAILURE - System call failure!"},
    {10109, "WSATYPE_NOT_FOUND - Class type not found!"},
    {11001, "WSAHOST_NOT_FOUND - Host not found!"},
    {11002, "WSATRY_AGAIN - Nonauthoritative host not found!"},
    {11003, "WSANO_RECOVERY - This is a nonrecoverable error!"},
    {11004, "WSANO_DATA - Valid name, no data record of requested type!"},
};

}  // namespace

std::string SocketErrorText(uint32_t code) {
    for (const Entry& e : kTexts) {
        if (e.code == code)
            return e.text;
    }
    char text[48];
    std::snprintf(text, sizeof text, "Unknown WSA error : %u!", code);
    return text;
}

}  // namespace discovery
