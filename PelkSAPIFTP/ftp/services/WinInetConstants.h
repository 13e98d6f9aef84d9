// The numbers of WinInet's flags and error codes that the plug-in uses, so
// that code above the client services reads the same on every platform.
#pragma once

#include <cstdint>

namespace sapi::wininet {

// InternetOpenW
constexpr uint32_t INTERNET_OPEN_TYPE_DIRECT = 1;
// InternetConnectW
constexpr uint32_t INTERNET_SERVICE_FTP = 1;
constexpr uint32_t INTERNET_FLAG_PASSIVE = 0x08000000;
constexpr uint16_t INTERNET_DEFAULT_FTP_PORT = 21;
// Open and find flags
constexpr uint32_t INTERNET_FLAG_RELOAD = 0x80000000;
constexpr uint32_t INTERNET_FLAG_NO_CACHE_WRITE = 0x04000000;
constexpr uint32_t FTP_TRANSFER_TYPE_ASCII = 1;
constexpr uint32_t FTP_TRANSFER_TYPE_BINARY = 2;
// Access
constexpr uint32_t GENERIC_READ = 0x80000000;
constexpr uint32_t GENERIC_WRITE = 0x40000000;
// Find records
constexpr uint32_t FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr uint32_t FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr uint32_t MAX_PATH = 260;
constexpr uint32_t INVALID_FILE_SIZE = 0xFFFFFFFF;

// Errors (GetLastError)
constexpr uint32_t ERROR_SUCCESS = 0;
constexpr uint32_t ERROR_INVALID_HANDLE = 6;
constexpr uint32_t ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr uint32_t ERROR_NO_MORE_FILES = 18;
constexpr uint32_t ERROR_INVALID_PARAMETER = 87;
constexpr uint32_t ERROR_INSUFFICIENT_BUFFER = 122;
constexpr uint32_t ERROR_INTERNET_TIMEOUT = 12002;
constexpr uint32_t ERROR_INTERNET_EXTENDED_ERROR = 12003;
constexpr uint32_t ERROR_INTERNET_INTERNAL_ERROR = 12004;
constexpr uint32_t ERROR_INTERNET_NAME_NOT_RESOLVED = 12007;
constexpr uint32_t ERROR_INTERNET_INVALID_OPTION = 12009;
constexpr uint32_t ERROR_INTERNET_BAD_OPTION_LENGTH = 12010;
constexpr uint32_t ERROR_INTERNET_INCORRECT_USER_NAME = 12013;
constexpr uint32_t ERROR_INTERNET_INCORRECT_PASSWORD = 12014;
constexpr uint32_t ERROR_INTERNET_LOGIN_FAILURE = 12015;
constexpr uint32_t ERROR_INTERNET_INVALID_OPERATION = 12016;
constexpr uint32_t ERROR_INTERNET_OPERATION_CANCELLED = 12017;
constexpr uint32_t ERROR_INTERNET_INCORRECT_HANDLE_TYPE = 12018;
constexpr uint32_t ERROR_INTERNET_CANNOT_CONNECT = 12029;
constexpr uint32_t ERROR_INTERNET_CONNECTION_ABORTED = 12030;
constexpr uint32_t ERROR_INTERNET_CONNECTION_RESET = 12031;
constexpr uint32_t ERROR_INTERNET_SEC_CERT_DATE_INVALID = 12037;
constexpr uint32_t ERROR_INTERNET_SEC_CERT_CN_INVALID = 12038;
constexpr uint32_t ERROR_INTERNET_INVALID_CA = 12045;
constexpr uint32_t ERROR_INTERNET_SEC_CERT_ERRORS = 12055;
constexpr uint32_t ERROR_FTP_TRANSFER_IN_PROGRESS = 12110;
constexpr uint32_t ERROR_FTP_DROPPED = 12111;
constexpr uint32_t ERROR_INTERNET_SECURITY_CHANNEL_ERROR = 12157;

}  // namespace sapi::wininet
