#include "platform/socket_errors.h"

#include <netdb.h>

#include <cerrno>

namespace platform {

uint32_t WsaFromErrno(int err) {
    switch (err) {
        case 0:
            return 0;
        case EBADF:
            return wsa::kEBADF;
        case ENOMEM:
            return wsa::kNotEnoughMemory;
        case ECANCELED:
            return wsa::kOperationAborted;
        case EINTR:
            return wsa::kEINTR;
        case EACCES:
        case EPERM:
            return wsa::kEACCES;
        case EFAULT:
            return wsa::kEFAULT;
        case EINVAL:
            return wsa::kEINVAL;
        case EMFILE:
        case ENFILE:
            return wsa::kEMFILE;
        case EAGAIN:
            return wsa::kEWOULDBLOCK;  // EWOULDBLOCK is the same value
        case EINPROGRESS:
            return wsa::kEINPROGRESS;
        case EALREADY:
            return 10037;
        case ENOTSOCK:
            return 10038;
        case EDESTADDRREQ:
            return 10039;
        case EMSGSIZE:
            return wsa::kEMSGSIZE;
        case EPROTOTYPE:
            return 10041;
        case ENOPROTOOPT:
            return 10042;
        case EPROTONOSUPPORT:
            return 10043;
        case ESOCKTNOSUPPORT:
            return 10044;
        case EOPNOTSUPP:
            return 10045;
        case EPFNOSUPPORT:
            return 10046;
        case EAFNOSUPPORT:
            return 10047;
        case EADDRINUSE:
            return wsa::kEADDRINUSE;
        case EADDRNOTAVAIL:
            return 10049;
        case ENETDOWN:
            return 10050;
        case ENETUNREACH:
            return wsa::kENETUNREACH;
        case ENETRESET:
            return 10052;
        case ECONNABORTED:
            return wsa::kECONNABORTED;
        case ECONNRESET:
        case EPIPE:
            return wsa::kECONNRESET;  // writing to a socket the peer reset
        case ENOBUFS:
            return 10055;
        case EISCONN:
            return 10056;
        case ENOTCONN:
            return wsa::kENOTCONN;
        case ESHUTDOWN:
            return 10058;
        case ETOOMANYREFS:
            return 10059;
        case ETIMEDOUT:
            return wsa::kETIMEDOUT;
        case ECONNREFUSED:
            return wsa::kECONNREFUSED;
        case ELOOP:
            return 10062;
        case ENAMETOOLONG:
            return 10063;
        case EHOSTDOWN:
            return 10064;
        case EHOSTUNREACH:
            return wsa::kEHOSTUNREACH;
        case ENOTEMPTY:
            return 10066;
        case EUSERS:
            return 10068;
        case EDQUOT:
            return 10069;
        case ESTALE:
            return 10070;
        case EREMOTE:
            return 10071;
        default:
            return 100000u + static_cast<uint32_t>(err);
    }
}

uint32_t WsaFromGai(int gaiError, int errnoValue) {
    switch (gaiError) {
        case 0:
            return 0;
        case EAI_NONAME:
            return wsa::kHostNotFound;
            // The name exists, but not with an IPv4 address.
#ifdef EAI_NODATA
        case EAI_NODATA:
#endif
#ifdef EAI_ADDRFAMILY
        case EAI_ADDRFAMILY:
#endif
#if defined(EAI_NODATA) || defined(EAI_ADDRFAMILY)
            return wsa::kNoData;
#endif
        case EAI_AGAIN:
            return wsa::kTryAgain;
        case EAI_FAIL:
            return wsa::kNoRecovery;
        case EAI_MEMORY:
            return wsa::kNotEnoughMemory;
        case EAI_SYSTEM:
            return WsaFromErrno(errnoValue);
        default:
            return wsa::kNoRecovery;
    }
}

}  // namespace platform
