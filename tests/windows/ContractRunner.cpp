// The contract of the FTP client services under Wine, on the client that
// FTP_TEST_CLIENT names. The own client may not depart from it; Wine's WinInet
// departs where listed, and a departure that no longer shows fails the run,
// so that the list stays true.
#include "ftp/services/wininet/WinInetApi.h"  // before the services: it drops the A/W macros

#include <cstdio>
#include <cstring>

#include "ContractCases.h"
#include "TestEnvironment.h"
#include "WindowsWorld.h"
#include "ftp/services/sockets/SocketFtpClientServices.h"
#include "ftp/services/wininet/WinInetFtpClientServices.h"

using sapi::contract::Departure;

namespace {

// Wine's WinInet, as measured under Wine 8.
const std::vector<Departure> wineWinInetDepartures = {
    {"NullAndClosedHandlesAreRefused",
     "FtpSetCurrentDirectoryW and FtpFindFirstFileW fail a null or closed handle with 12018, not 6"},
    {"AnEmptyListingFailsTheFirstFind", "FtpFindFirstFileW fails an empty listing with last error 0, not 18"},
    {"Utf8NamesRoundTrip", "names go to the server in the ANSI code page, not as UTF-8"},
    {"SizesOver4GiBComeOutWhole",
     "FtpGetFileSize is a stub that answers 0, and listed sizes stop at 2^31-1"},
};

sapi::FtpClientServices &ServicesUnderTest() {
    static sapi::ftpclient::SocketFtpClientServices own;
    static sapi::WinInetFtpClientServices wininet;
    if (wintest::TestingWinInet()) return wininet;
    return own;
}

}  // namespace

int main(int argc, char **argv) {
    const char *filter = argc > 1 ? argv[1] : nullptr;
    const std::vector<Departure> none;
    const std::vector<Departure> &departures = wintest::WineWinInet() ? wineWinInetDepartures : none;
    wintest::WindowsWorld world(ServicesUnderTest());
    int run = 0;
    int failed = 0;
    for (const sapi::contract::ContractCase &contractCase : sapi::contract::ContractCases()) {
        if (filter != nullptr && std::strstr(contractCase.name, filter) == nullptr) continue;
        std::printf("[ RUN  ] %s\n", contractCase.name);
        std::fflush(stdout);
        const sapi::contract::Verdict verdict = sapi::contract::Judge(contractCase, world, departures);
        std::printf("%s[ %s ] %s\n", verdict.report.c_str(), verdict.passed ? " OK " : "FAIL",
                    contractCase.name);
        ++run;
        failed += verdict.passed ? 0 : 1;
    }
    std::printf("%d cases, %d failed\n", run, failed);
    return failed == 0 ? 0 : 1;
}
