#pragma once
// Linux error numbers carried over to the Windows Sockets numbering that the
// link and discovery error tables are keyed by. Errors are mapped by name
// (ECONNREFUSED -> WSAECONNREFUSED), not by value.

#include <cstdint>

namespace platform {

namespace wsa {
inline constexpr uint32_t kInvalidHandle = 6;
inline constexpr uint32_t kNotEnoughMemory = 8;
inline constexpr uint32_t kInvalidParameter = 87;
inline constexpr uint32_t kOperationAborted = 995;
inline constexpr uint32_t kIoIncomplete = 996;
inline constexpr uint32_t kIoPending = 997;
inline constexpr uint32_t kEINTR = 10004;
inline constexpr uint32_t kEBADF = 10009;
inline constexpr uint32_t kEACCES = 10013;
inline constexpr uint32_t kEFAULT = 10014;
inline constexpr uint32_t kEINVAL = 10022;
inline constexpr uint32_t kEMFILE = 10024;
inline constexpr uint32_t kEWOULDBLOCK = 10035;
inline constexpr uint32_t kEINPROGRESS = 10036;
inline constexpr uint32_t kEMSGSIZE = 10040;
inline constexpr uint32_t kEADDRINUSE = 10048;
inline constexpr uint32_t kENETUNREACH = 10051;
inline constexpr uint32_t kECONNABORTED = 10053;
inline constexpr uint32_t kECONNRESET = 10054;
inline constexpr uint32_t kENOTCONN = 10057;
inline constexpr uint32_t kETIMEDOUT = 10060;
inline constexpr uint32_t kECONNREFUSED = 10061;
inline constexpr uint32_t kEHOSTUNREACH = 10065;
inline constexpr uint32_t kEREMOTE = 10071;
inline constexpr uint32_t kSysNotReady = 10091;
inline constexpr uint32_t kVerNotSupported = 10092;
inline constexpr uint32_t kNotInitialised = 10093;
inline constexpr uint32_t kEDISCON = 10101;
inline constexpr uint32_t kSysCallFailure = 10107;
inline constexpr uint32_t kTypeNotFound = 10109;
inline constexpr uint32_t kHostNotFound = 11001;
inline constexpr uint32_t kTryAgain = 11002;
inline constexpr uint32_t kNoRecovery = 11003;
inline constexpr uint32_t kNoData = 11004;
}  // namespace wsa

// errno -> Windows Sockets error number; 0 stays 0, an unknown errno becomes
// errno + 100000 so that it maps to no table entry (and thus "unknown").
uint32_t WsaFromErrno(int err);

// getaddrinfo() result -> Windows Sockets error number (EAI_SYSTEM uses errnoValue).
uint32_t WsaFromGai(int gaiError, int errnoValue);

}  // namespace platform
