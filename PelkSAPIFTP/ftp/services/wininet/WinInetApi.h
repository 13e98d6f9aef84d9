// <windows.h> and <wininet.h> for this folder. Their A/W macros (FtpCommand
// -> FtpCommandA, ...) would rename FtpClientServices' members of the same
// names, so they go: this code calls the W functions by their full names.
#pragma once

#include <windows.h>
#include <wininet.h>

#undef InternetOpen
#undef InternetConnect
#undef InternetSetStatusCallback
#undef InternetSetOption
#undef FtpFindFirstFile
#undef InternetFindNextFile
#undef FtpSetCurrentDirectory
#undef FtpCreateDirectory
#undef FtpGetCurrentDirectory
#undef FtpCommand
#undef InternetGetLastResponseInfo
#undef FtpOpenFile
#undef FtpDeleteFile
#undef InternetQueryOption
// FtpClientServices.h names its own constant of this value.
#undef INTERNET_INVALID_STATUS_CALLBACK
