// The WinInet backend of the FTP client services, driven directly against a
// real server, where it goes beyond the contract suite (tests/contract): the
// verdict the end of a retrieval carries, the SIZE reply and the file size,
// the current folder, status calls. Plus the Windows local files.
#include "ftp/services/wininet/WinInetApi.h"  // before the services: it drops the A/W macros

#include <cstdio>
#include <string>
#include <vector>

#include "Check.h"
#include "TestEnvironment.h"
#include "ftp/services/wininet/WinInetFtpClientServices.h"
#include "platform/LocalFile.h"

using sapi::FtpFindData;
using sapi::InternetHandle;
using wintest::Expected;

namespace {

sapi::FtpClientServices &Services() {
    static sapi::WinInetFtpClientServices services;
    return services;
}

// One logged-in connection, passive, closed child before parent.
class Session {
public:
    Session() {
        root_ = Services().InternetOpen(L"UserAgent", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr,
                                        INTERNET_FLAG_NO_CACHE_WRITE);
        connect_ = Services().InternetConnect(root_, L"127.0.0.1", wintest::ServerPort(), L"user",
                                              L"pass", INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 1);
    }
    ~Session() {
        if (connect_ != nullptr) Services().InternetCloseHandle(connect_);
        if (root_ != nullptr) Services().InternetCloseHandle(root_);
    }
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;
    InternetHandle connect() const { return connect_; }

private:
    InternetHandle root_ = nullptr;
    InternetHandle connect_ = nullptr;
};

InternetHandle OpenRead(const Session &s, const wchar_t *name) {
    return Services().FtpOpenFile(s.connect(), name, GENERIC_READ, 0x84000002, 1);
}

std::wstring LastReply() {
    wchar_t reply[261] = {};
    uint32_t error = 0;
    uint32_t length = 261;
    Services().InternetGetLastResponseInfo(&error, reply, &length);
    return reply;
}

// TransferConfirmedOption of a retrieval's handle; 99 when the query fails.
uint32_t Confirmed(InternetHandle file) {
    uint32_t confirmed = 0;
    uint32_t length = sizeof confirmed;
    return Services().InternetQueryOption(file, sapi::TransferConfirmedOption, &confirmed, &length) ? confirmed : 99;
}

bool Noop(const Session &s) {
    return Services().FtpCommand(s.connect(), false, FTP_TRANSFER_TYPE_BINARY, L"NOOP", 0, nullptr);
}

}  // namespace

// The read that meets the end of a retrieval carries the server's verdict on
// it: the whole file ends in an empty successful read ("226"), a file the
// server cut short ("426" after 100,000 bytes) in a failed one, and every read
// after that says the same until the handle closes.
TEST_CASE(RetrievalEndIsJudgedByTheReply) {
    struct Case {
        const wchar_t *name;
        std::size_t expectedBytes;
        bool whole;
        const wchar_t *reply;
    };
    const Case cases[] = {
        {L"whole.bin", 600000, true, L"226"},
        {L"cut-short.bin", 100000, false, L"426"},  // the server stops after 100,000 bytes
    };
    for (const Case &c : cases) {
        wintest::WriteWholeFile(wintest::UnderRoot(c.name), wintest::PatternBytes(600000));
        Session s;
        InternetHandle file = OpenRead(s, c.name);
        CHECK(file != nullptr);
        CHECK_EQ(Confirmed(file), 0u);
        std::vector<char> block(65536);
        std::size_t total = 0;
        uint32_t count = 0;
        bool read = true;
        while ((read = Services().InternetReadFile(file, block.data(), 65536, &count)) && count > 0)
            total += count;
        CHECK_EQ(total, c.expectedBytes);
        CHECK_EQ(count, 0u);
        CHECK(read == c.whole);
        CHECK_EQ(Services().GetLastError(), c.whole ? ERROR_SUCCESS : ERROR_INTERNET_EXTENDED_ERROR);
        CHECK_EQ(LastReply().substr(0, 3), std::wstring(c.reply));
        CHECK_EQ(Confirmed(file), c.whole ? 1u : 0u);  // what lets the module end without waiting
        CHECK(Services().InternetReadFile(file, block.data(), 65536, &count) == c.whole);
        CHECK_EQ(count, 0u);
        CHECK(Services().InternetCloseHandle(file));
        CHECK(Noop(s));  // in step for the next command
    }
}

// WinInet gives a closed handle's value to the next handle it opens. A caller
// still holding the old one (a retrieval whose end was read, a file whose
// connection another thread closed) must reach nothing through it: not the
// new file, and its close must not end the new file.
TEST_CASE(AHandleNeverNamesTheNextOneWinInetOpens) {
    wintest::WriteWholeFile(wintest::UnderRoot(L"reused.bin"), wintest::PatternBytes(200000));
    std::vector<char> block(65536);
    uint32_t count = 0;
    const auto readAll = [&](InternetHandle file) {
        std::size_t total = 0;
        while (Services().InternetReadFile(file, block.data(), 65536, &count) && count > 0) total += count;
        return total;
    };
    Session ended;
    const InternetHandle endedFile = OpenRead(ended, L"reused.bin");
    CHECK_EQ(readAll(endedFile), 200000u);  // WinInet's handle closed at the end
    Session stopped;
    const InternetHandle stoppedFile = OpenRead(stopped, L"reused.bin");
    CHECK(Services().InternetCloseHandle(stopped.connect()));  // as a stop from another thread does
    Session fresh;
    const InternetHandle freshFile = OpenRead(fresh, L"reused.bin");
    CHECK(freshFile != nullptr && freshFile != endedFile && freshFile != stoppedFile);

    CHECK(!Services().InternetReadFile(stoppedFile, block.data(), 65536, &count));
    CHECK_EQ(Services().GetLastError(), static_cast<uint32_t>(ERROR_INVALID_HANDLE));
    CHECK(!Noop(stopped));
    CHECK(!Services().InternetCloseHandle(stoppedFile));
    CHECK(Services().InternetCloseHandle(endedFile));
    CHECK_EQ(readAll(freshFile), 200000u);
    CHECK_EQ(Confirmed(freshFile), 1u);
    CHECK(Services().InternetCloseHandle(freshFile));
    CHECK(!Services().InternetCloseHandle(freshFile));  // once only
}

TEST_CASE(SizeReplyAndFileSize) {
    wintest::WriteWholeFile(wintest::UnderRoot(L"sized.bin"), wintest::PatternBytes(300000));
    Session s;
    CHECK(Services().FtpCommand(s.connect(), false, FTP_TRANSFER_TYPE_BINARY, L"SIZE sized.bin", 0,
                                nullptr));
    wchar_t reply[261] = {};
    uint32_t error = 0;
    uint32_t length = 261;
    CHECK(Services().InternetGetLastResponseInfo(&error, reply, &length));
    CHECK_EQ(std::wstring(reply), std::wstring(L"213 300000"));
    CHECK_EQ(length, Expected<uint32_t>(10, 11, "the reply length counts the terminator"));

    InternetHandle file = OpenRead(s, L"sized.bin");
    CHECK(file != nullptr);
    uint32_t high = 7;
    // An error left over from an earlier call (a retried open's 12110) must not
    // survive a size that was read: a low word of 0xFFFFFFFF is told from a
    // failure by the last error alone.
    ::SetLastError(ERROR_FTP_TRANSFER_IN_PROGRESS);
    CHECK_EQ(Services().FtpGetFileSize(file, &high),
             Expected<uint32_t>(300000, 0, "FtpGetFileSize is a stub that answers 0"));
    CHECK_EQ(Services().GetLastError(), static_cast<uint32_t>(ERROR_SUCCESS));
    CHECK_EQ(high, 0u);
    Services().InternetCloseHandle(file);
}

TEST_CASE(CurrentDirectory) {
    wintest::MakeFolder(wintest::UnderRoot(L"cwd"));
    Session s;
    CHECK(Services().FtpSetCurrentDirectory(s.connect(), L"cwd"));
    wchar_t folder[1025] = {};
    uint32_t length = 1025;
    CHECK(Services().FtpGetCurrentDirectory(s.connect(), folder, &length));
    CHECK_EQ(std::wstring(folder), std::wstring(L"/cwd"));
    CHECK_EQ(length, Expected<uint32_t>(4, 5, "FtpGetCurrentDirectory's length counts the terminator"));
    length = 2;  // too small: fails, buffer untouched
    wchar_t small[2] = {L'x', L'y'};
    CHECK(!Services().FtpGetCurrentDirectory(s.connect(), small, &length));
    CHECK_EQ(Services().GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    CHECK(small[0] == L'x');
}

namespace {

struct StatusSeen {
    int calls = 0;
    uintptr_t lastContext = 0;
} statusSeen;

void SAPI_WINAPI CountStatus(InternetHandle, uintptr_t context, uint32_t, void *, uint32_t) {
    ++statusSeen.calls;
    statusSeen.lastContext = context;
}

void SAPI_WINAPI OtherStatus(InternetHandle, uintptr_t, uint32_t, void *, uint32_t) {}

}  // namespace

TEST_CASE(StatusCallbackRoundTrip) {
    wintest::MakeFolder(wintest::UnderRoot(L"status"));
    Session s;
    CHECK(Services().InternetSetStatusCallback(s.connect(), &CountStatus) == nullptr);
    statusSeen = {};
    CHECK(Services().FtpSetCurrentDirectory(s.connect(), L"status"));
    CHECK(statusSeen.calls > 0);  // __stdcall both ways, or this run would have crashed
    CHECK_EQ(statusSeen.lastContext, 1u);  // the connect handle's context
    // What comes back is what went in, usable as the same function.
    CHECK(Services().InternetSetStatusCallback(s.connect(), &OtherStatus) == &CountStatus);
    CHECK(Services().InternetSetStatusCallback(s.connect(), nullptr) == &OtherStatus);
}

TEST_CASE(LocalFileForDownloadReplacesAndLetsOthersRead) {
    const std::wstring path = wintest::InWork(L"download.bin");
    wintest::WriteWholeFile(path, "old content that is longer");
    sapi::LocalFile file = sapi::LocalFile::CreateForWriting(path);
    CHECK(file.IsOpen());
    CHECK_EQ(wintest::ReadWholeFile(path), std::string());  // replaced by an empty file
    HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    CHECK(writer == INVALID_HANDLE_VALUE);  // only readers may share it
    if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
    CHECK(file.Write("abc", 3));
    CHECK(file.Write("", 0));
    CHECK_EQ(file.Size(), 3u);
    CHECK_EQ(wintest::ReadWholeFile(path), std::string("abc"));  // a reader meanwhile
    CHECK(file.Close());
    CHECK(!file.IsOpen());
    CHECK(!file.Write("d", 1));
    CHECK(sapi::DeleteLocalFile(path));
    CHECK(!sapi::DeleteLocalFile(path));
    CHECK(!sapi::LocalFile::CreateForWriting(wintest::InWork(L"no-such-folder\\x.bin")).IsOpen());
}

TEST_CASE(LocalFileForUploadLetsOthersWriteAndDelete) {
    const std::wstring path = wintest::InWork(L"upload.bin");
    const std::string data = wintest::PatternBytes(70000);
    wintest::WriteWholeFile(path, data);
    sapi::LocalFile file = sapi::LocalFile::OpenForReading(path);
    CHECK(file.IsOpen());
    CHECK_EQ(file.Size(), 70000u);
    HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    CHECK(writer != INVALID_HANDLE_VALUE);
    if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
    std::string read;
    std::vector<char> block(65536);
    uint32_t count = 0;
    while (file.Read(block.data(), 65536, &count) && count > 0) read.append(block.data(), count);
    CHECK_EQ(count, 0u);
    CHECK(read == data);
    CHECK(sapi::DeleteLocalFile(path));  // allowed while open
    sapi::LocalFile moved = std::move(file);
    CHECK(!file.IsOpen());
    CHECK(moved.Close());
    CHECK(!sapi::LocalFile::OpenForReading(path).IsOpen());
}

int main(int argc, char **argv) { return wintest::RunCases(argc > 1 ? argv[1] : nullptr) == 0 ? 0 : 1; }
