#include "link/link_errors.h"

#include <cstdio>

#include "platform/socket_errors.h"

namespace devlink {

namespace {

// Indexed by code; the double spaces and tabs are part of the texts.
constexpr const char* kTexts[kLinkErrorCount] = {
    "[EIOCPE_SUCCESS]",                                                             // 0
    "[EIOCPE_FAIL] Unknown internal error!",                                        // 1
    "[EIOCPE_NO_RESOURCESS] Insufficient resources!",                               // 2
    "[EIOCPE_INVALID_VAL] Invalid function value!",                                 // 3
    "[EIOCPE_INVALID_FILE] Invalid file descriptor!",                               // 4
    "[EIOCPE_EINTR] A signal occurred before any requested event; see signal(7)!",  // 5
    "[EIOCPE_EAI_ADDRFAMILY] The specified network host does not have any  network  addresses in "
    "the requested address family!",  // 6
    "[EIOCPE_EAI_AGAIN] The  name  server  returned a temporary failure indication.  Try again "
    "later!",                                                                      // 7
    "[EIOCPE_EAI_BADFLAGS]\tai_flags contains invalid flags!",                     // 8
    "[EIOCPE_EAI_FAIL] The name server returned a permanent failure indication!",  // 9
    "[EIOCPE_EAI_FAMILY] The requested address family is not supported!",          // 10
    "[EIOCPE_EAI_MEMORY] Out of memory!",                                          // 11
    "[EIOCPE_EAI_NODATA] The specified network host exists, but does not have any network "
    "addresses defined!",                                     // 12
    "[EIOCPE_EAI_NONAME] The node or service is not known!",  // 13
    "[EIOCPE_EAI_SERVICE] The requested service is not available for the requested socket type.  "
    "It may be available through another socket type!",                   // 14
    "[EIOCPE_EAI_SOCKTYPE] The requested socket type is not supported!",  // 15
    "[EIOCPE_EACCES] Search permission is denied for a component of the path prefix of the "
    "pathname in name!",                                                                     // 16
    "[EIOCPE_EADDRINUSE] The address is already in use!",                                    // 17
    "[EIOCPE_EADDRNOTAVAIL] The specified address is not available on the remote machine!",  // 18
    "[EIOCPE_EAFNOSUPPORT] Addresses  in  the  specified  address family cannot be used with this "
    "socket!",  // 19
    "[EIOCPE_EALREADY] The socket is non-blocking and a previous connection attempt  has not yet "
    "been completed!",                                     // 20
    "[EIOCPE_EBADF] Bad buffer!",                          // 21
    "[EIOCPE_ECONNREFUSED]\tServer rejected connection!",  // 22
    "[EIOCPE_EINPROGRESS] The socket is non-blocking and the connection cannot be completed "
    "immediately!",                                                                            // 23
    "[EIOCPE_EIO] An I/O error occurred while reading from or writing to  the  file system!",  // 24
    "[EIOCPE_EISCONN] The socket is already connected!",                                       // 25
    "[EIOCPE_ELOOP] Too many symbolic links were encountered in translating the path-name in name!",  // 26
    "[EIOCPE_ENETUNREACH] The network is not reachable from this host!",  // 27
    "[EIOCPE_ENOENT] A component of the path prefix of the pathname in name does  not exist!",  // 28
    "[EIOCPE_ENOSR] There  were  insufficient STREAMS resources available to complete the "
    "operation!",                                                            // 29
    "[EIOCPE_ENXIO] The server exited before the connection was complete!",  // 30
    "[EIOCPE_ETIMEDOUT] Connection establishment timed out without establishing a connection!",  // 31
    "[EIOCPE_EWOULDBLOCK] The handle is marked as non-blocking, and the requested operation would "
    "block!",  // 32
    "[EIOCPE_ENOTDIR] A component of the path prefix of the pathname in name is not a directory!",  // 33
    "[EIOCPE_ENOTSOCK]\tsocket is not a socket!",  // 34
    "[EIOCPE_EPROTOTYPE] The  file  referred  to  by name is a socket of a type other than\ttype "
    "s!",                                                                                   // 35
    "[EIOCPE_UNABLE_TO_CONNECT] Unable to connect, unknown error!",                         // 36
    "[EIOCPE_NO_MEM] No memory!",                                                           // 37
    "[EIOCPE_UNKNOWN_TCP_CMD] Unknown cmd received",                                        // 38
    "[EIOCPE_UNKNOWN_CONTROL_CMD] Invalid control code!",                                   // 39
    "[EIOCPE_FCNTL_FAILED] fcntl() call failed!",                                           // 40
    "[EIOCPE_EEXIST] Pathname already exists!",                                             // 41
    "[EIOCPE_ENAMETOOLONG] Pathname or filename too long!",                                 // 42
    "[EIOCPE_ENOSPC] The directory or file system has no room for the new file!",           // 43
    "[EIOCPE_EROFS] pathname refers to a read-only file system!",                           // 44
    "[EIOCPE_ECONNRESET] Connection reset by peer!",                                        // 45
    "[EIOCPE_NOT_CONNECTED] Client not connected!",                                         // 46
    "[EIOCPE_BAD_PARAMS] Bad params to function!",                                          // 47
    "[EIOCPE_ALREADY_CONNECTED] Already connected!",                                        // 48
    "[EIOCPE_CONNECT_IN_PROGRESS] Connection in progress!",                                 // 49
    "[EIOCPE_PROTO_VERSION_ERR] Client and server have different protocol versions!",       // 50
    "[EIOCPE_UNK_CLIENT_TYPE] Client type not supported by server!",                        // 51
    "[EIOCPE_NO_MEM_ON_SRV] Server has no available memory for operation!",                 // 52
    "[EIOCPE_SIGNATURE_DIFF] Client and server are incompatible!",                          // 53
    "[EIOCPE_UNKNOWN_ERROR] Unknown error!",                                                // 54
    "[EIOCPE_CONN_CLOSED_BY_SERVER] Connection closed by server!",                          // 55
    "[EIOCPE_PROTO_ERROR] Protocol error!",                                                 // 56
    "[EIOCPE_UNABLE_TO_CREATE_EVENT] Unable to create events!",                             // 57
    "[EIOCPE_UNABLE_RUN_THREAD] Unable to run thread!",                                     // 58
    "[EIOCPE_SOCKINITFAIL] Unable to initialize socket library!",                           // 59
    "[EIOCPE_WSAVERNOTSUPPORTED] The Windows Sockets version requested is not supported!",  // 60
    "[EIOCPE_WSANOTINITIALISED]\tInternal error! Network subsystem not initialized!",       // 61
    "[EIOCPE_WSASYSNOTREADY] WSAStartup cannot function at this time because the underlying system "
    "it uses to provide network services is currently unavailable!",  // 62
    "[EIOCPE_WSAEWOULDBLOCK] A non-blocking socket operation could not be completed immediately!",  // 63
    "[EIOCPE_WSAEINPROGRESS] A blocking Windows Sockets 1.1 call is in progress, or the service "
    "provider is still processing a callback function!",  // 64
    "[EIOCPE_WSAEALREADY] An operation was attempted on a non-blocking socket that already had an "
    "operation in progress!",                                                                  // 65
    "[EIOCPE_WSAENOTSOCK] The descriptor is not a socket!",                                    // 66
    "[EIOCPE_WSAEDESTADDRREQ] A required address was omitted from an operation on a socket!",  // 67
    "[EIOCPE_WSAEMSGSIZE] A message sent on a datagram socket was larger than the internal message "
    "buffer or some other network limit, or the buffer used to receive a datagram into was smaller "
    "than the datagram itself!",  // 68
    "[EIOCPE_WSAEPROTOTYPE] A protocol was specified in the socket function call that does not "
    "support the semantics of the socket type requested!",  // 69
    "[EIOCPE_WSAENOPROTOOPT] The option is unknown or unsupported for the specified provider or "
    "socket!",                                            // 70
    "[EIOCPE_WSAEPROTONOSUPPORT] TCP/IP not installed!",  // 71
    "[EIOCPE_WSAESOCKTNOSUPPORT] The support for the specified socket type does not exist in this "
    "address family!",  // 72
    "[EIOCPE_WSAEOPNOTSUPP] The attempted operation is not supported for the type of object "
    "referenced!",  // 73
    "[EIOCPE_WSAEPFNOSUPPORT] The protocol family has not been configured into the system or no "
    "implementation for it exists!",                   // 74
    "[EIOCPE_WSAEAFNOSUPPORT] TCP/IP not installed!",  // 75
    "[EIOCPE_WSAEADDRINUSE] Only one usage of each socket address (protocol/network address/port) "
    "is normally permitted!",                                                              // 76
    "[EIOCPE_WSAEADDRNOTAVAIL] The server address is not a valid address!",                // 77
    "[EIOCPE_WSAENETDOWN] The network subsystem has failed!",                              // 78
    "[EIOCPE_WSAENETUNREACH] The network cannot be reached from this host at this time!",  // 79
    "[EIOCPE_WSAENETRESET] The connection has timed out when SO_KEEPALIVE is set!",        // 80
    "[EIOCPE_WSAECONNABORTED] An established connection was aborted by the software in your host "
    "machine!",                                                                               // 81
    "[EIOCPE_WSAECONNRESET] An existing connection was forcibly closed by the remote host!",  // 82
    "[EIOCPE_WSAENOBUFS] An operation on a socket could not be performed because the system lacked "
    "sufficient buffer space or because a queue was full!",                            // 83
    "[EIOCPE_WSAEISCONN] A connect request was made on an already connected socket!",  // 84
    "[EIOCPE_WSAENOTCONN] The connection has been reset when SO_KEEPALIVE is set!",    // 85
    "[EIOCPE_WSAESHUTDOWN] A request to send or receive data was disallowed because the socket had "
    "already been shut down!",                                                                 // 86
    "[EIOCPE_WSAETOOMANYREFS] Too many references to some kernel object!",                     // 87
    "[EIOCPE_WSAETIMEDOUT] Attempt to connect timed out without establishing a connection!",   // 88
    "[EIOCPE_WSAECONNREFUSED] There is no running server on selected host!",                   // 89
    "[EIOCPE_WSAELOOP] Cannot translate name!",                                                // 90
    "[EIOCPE_WSAENAMETOOLONG] Name component or name was too long!",                           // 91
    "[EIOCPE_WSAEHOSTDOWN] A socket operation failed because the destination host was down!",  // 92
    "[EIOCPE_WSAEHOSTUNREACH] A socket operation was attempted to an unreachable host!",       // 93
    "[EIOCPE_WSAENOTEMPTY] Cannot remove a directory that is not empty!",                      // 94
    "[EIOCPE_WSAEPROCLIM] A Windows Sockets implementation may have a limit on the number of "
    "applications that may use it simultaneously!",                      // 95
    "[EIOCPE_WSAEUSERS] Ran out of quota!",                              // 96
    "[EIOCPE_WSAEDQUOT] Ran out of disk quota!",                         // 97
    "[EIOCPE_WSAESTALE] File handle reference is no longer available!",  // 98
    "[EIOCPE_WSAEREMOTE] Item is not available locally!",                // 99
    "[EIOCPE_WSAEDISCON] Returned by WSARecv or WSARecvFrom to indicate the remote party has "
    "initiated a graceful shutdown sequence!",  // 100
    "[EIOCPE_WSAEINTR] A blocking operation was interrupted by a call to WSACancelBlockingCall!",  // 101
    "[EIOCPE_WSAEBADF] The file handle supplied is not valid!",  // 102
    "[EIOCPE_WSAEACCES] An attempt was made to access a socket in a way forbidden by its access "
    "permissions!",  // 103
    "[EIOCPE_WSAEFAULT] The optval parameter is not in a valid part of the process address space "
    "or the optlen parameter is too small!",  // 104
    "[EIOCPE_WSAEINVAL] The level parameter is not valid, or the information in optval parameter "
    "is not valid!",                                                                   // 105
    "[EIOCPE_WSAEMFILE] No more socket descriptors are available!",                    // 106
    "[EIOCPE_WSA_INVALID_HANDLE] Specified event object handle is invalid!",           // 107
    "[EIOCPE_WSA_INVALID_PARAMETER] One or more parameters are invalid!",              // 108
    "[EIOCPE_WSA_IO_INCOMPLETE] Overlapped I/O event object not in signaled state!",   // 109
    "[EIOCPE_WSA_IO_PENDING] Overlapped operations will complete later!",              // 110
    "[EIOCPE_WSA_NOT_ENOUGH_MEMORY] Insufficient memory available!",                   // 111
    "[EIOCPE_WSA_OPERATION_ABORTED] Overlapped operation aborted!",                    // 112
    "[EIOCPE_WSAHOST_NOT_FOUND] Host not found!",                                      // 113
    "[EIOCPE_WSANO_DATA] Valid name, no data record of requested type!",               // 114
    "[EIOCPE_WSANO_RECOVERY] This is a nonrecoverable error!",                         // 115
    "[EIOCPE_WSATRY_AGAIN] Nonauthoritative host not found!",                          // 116
    "[EIOCPE_WSATYPE_NOT_FOUND] Class type not found!",                                // 117
    "[EIOCPE_WSASYSCALLFAILURE] System call failure!",                                 // 118
    "[EIOCPE_ALREADY_STARTED] Already started!",                                       // 119
    "[EIOCPE_ENCRYPTION_INIT_ERROR] Encryption init error!",                           // 120
    "[EIOCPE_ENCRYPTION_NEGOTIATE_ERROR] Encryption negotiate error!",                 // 121
    "[EIOCPE_DECRYPTION_ERROR] Error in decryption!",                                  // 122
    "[EIOCPE_ENCRYPTION_ERROR] Encryption error!",                                     // 123
    "[EIOCPE_ENCRYPTION_DIFFERENT] Either client or server is not using encryption!",  // 124
    "[EIOCPE_TOO_MANY_CLIENTS_ERR] Server can't handle more clients!",                 // 125
    "[EIOCPE_FORBIDDEN_CLIENT] Server denied connection of this client!",              // 126
};

}  // namespace

const char* LinkErrorText(uint32_t code) {
    if (code < kLinkErrorCount)
        return kTexts[code];
    std::printf("err = %u of %u\r\n", code, kLinkErrorCount + 1);
    std::fflush(stdout);
    return kTexts[EIOCPE_UNKNOWN_ERROR];
}

uint32_t MapSocketError(uint32_t error) {
    namespace wsa = platform::wsa;
    // WSAEWOULDBLOCK .. WSAEREMOTE are contiguous on both sides.
    if (error >= wsa::kEWOULDBLOCK && error <= wsa::kEREMOTE)
        return EIOCPE_WSAEWOULDBLOCK + (error - wsa::kEWOULDBLOCK);
    switch (error) {
        case wsa::kInvalidHandle:
            return EIOCPE_WSA_INVALID_HANDLE;
        case wsa::kNotEnoughMemory:
            return EIOCPE_WSA_NOT_ENOUGH_MEMORY;
        case wsa::kInvalidParameter:
            return EIOCPE_WSA_INVALID_PARAMETER;
        case wsa::kOperationAborted:
            return EIOCPE_WSA_OPERATION_ABORTED;
        case wsa::kIoIncomplete:
            return EIOCPE_WSA_IO_INCOMPLETE;
        case wsa::kIoPending:
            return EIOCPE_WSA_IO_PENDING;
        case wsa::kEINTR:
            return EIOCPE_WSAEINTR;
        case wsa::kEBADF:
            return EIOCPE_WSAEBADF;
        case wsa::kEACCES:
            return EIOCPE_WSAEACCES;
        case wsa::kEFAULT:
            return EIOCPE_WSAEFAULT;
        case wsa::kEINVAL:
            return EIOCPE_WSAEINVAL;
        case wsa::kEMFILE:
            return EIOCPE_WSAEMFILE;
        case wsa::kSysNotReady:
            return EIOCPE_WSASYSNOTREADY;
        case wsa::kVerNotSupported:
            return EIOCPE_WSAVERNOTSUPPORTED;
        case wsa::kNotInitialised:
            return EIOCPE_WSANOTINITIALISED;
        case wsa::kEDISCON:
            return EIOCPE_WSAEDISCON;
        case wsa::kSysCallFailure:
            return EIOCPE_WSASYSCALLFAILURE;
        case wsa::kTypeNotFound:
            return EIOCPE_WSATYPE_NOT_FOUND;
        case wsa::kHostNotFound:
            return EIOCPE_WSAHOST_NOT_FOUND;
        case wsa::kTryAgain:
            return EIOCPE_WSATRY_AGAIN;
        case wsa::kNoRecovery:
            return EIOCPE_WSANO_RECOVERY;
        case wsa::kNoData:
            return EIOCPE_WSANO_DATA;
        default:
            return EIOCPE_FAIL;
    }
}

uint32_t MapInitResult(uint32_t result) {
    switch (result) {
        case 0:
            return EIOCPE_SUCCESS;
        case 1:
        case 2:
            return EIOCPE_PROTO_VERSION_ERR;
        case 3:
            return EIOCPE_SIGNATURE_DIFF;
        case 4:
            return EIOCPE_ENCRYPTION_DIFFERENT;
        case 5:
            return EIOCPE_UNK_CLIENT_TYPE;
        case 6:
            return EIOCPE_TOO_MANY_CLIENTS_ERR;
        case 7:
            return EIOCPE_NO_MEM_ON_SRV;
        case 8:
            return EIOCPE_ECONNREFUSED;
        case 9:
            return EIOCPE_FORBIDDEN_CLIENT;
        default:
            return EIOCPE_FAIL;
    }
}

bool IsFinalInitRefusal(uint32_t result) {
    return (result >= 1 && result <= 5) || result == 9;
}

}  // namespace devlink
