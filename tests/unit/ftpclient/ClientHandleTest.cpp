#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "ClientTestSupport.h"
#include "ftp/services/sockets/LastError.h"

using namespace ftpclienttest;
using namespace sapi::wininet;

namespace {

void ServeListing(ScriptPeer &peer, const std::string &command, const std::string &listing) {
    peer.AnswerPassive();
    peer.Expect(command);
    peer.Reply("150 Opening ASCII mode data connection");
    peer.AcceptData();
    peer.SendData(listing);
    peer.CloseData();
    peer.Reply("226 Transfer complete");
}

TEST(ClientHandles, DeadAndForeignHandlesAreRefused) {
    Client client;
    int foreign = 0;
    sapi::FtpFindData data;
    EXPECT_FALSE(client.services.InternetCloseHandle(nullptr));
    EXPECT_EQ(client.services.GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(client.services.FtpSetCurrentDirectory(&foreign, Wide("x").c_str()));
    EXPECT_EQ(client.services.GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(client.services.FtpFindFirstFile(client.root, nullptr, &data, 0, 0), nullptr);  // wrong kind
    EXPECT_EQ(client.services.GetLastError(), ERROR_INVALID_HANDLE);
    uint32_t got = 0;
    EXPECT_FALSE(client.services.InternetReadFile(client.root, &foreign, 1, &got));
    EXPECT_EQ(client.services.GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(client.services.InternetSetStatusCallback(&foreign, nullptr), sapi::INTERNET_INVALID_STATUS_CALLBACK);
}

TEST(ClientHandles, ClosingTheConnectionClosesItsFileAndFindHandles) {
    ScriptedFtpServer server([](ScriptPeer &peer) {
        peer.LogIn();
        ServeListing(peer, "MLSD", "type=file;size=1; a\r\ntype=file;size=1; b\r\n");
        peer.Expect("SIZE");
        peer.Reply("213 1");
        peer.AnswerPassive();
        peer.Expect("RETR a");
        peer.Reply("150 Opening");
        peer.AcceptData();
        peer.Receive();
    });
    Client client;
    ASSERT_TRUE(client.Connect(server.Port()));
    sapi::FtpFindData data;
    const InternetHandle find = client.services.FtpFindFirstFile(client.connect, nullptr, &data, 0, 0);
    ASSERT_NE(find, nullptr);
    // A find that is still open blocks a new transfer, as in WinInet.
    EXPECT_EQ(client.Open("a", true), nullptr);
    EXPECT_EQ(client.services.GetLastError(), ERROR_FTP_TRANSFER_IN_PROGRESS);
    EXPECT_TRUE(client.services.InternetCloseHandle(find));
    const InternetHandle file = client.Open("a", true);
    ASSERT_NE(file, nullptr);
    const InternetHandle secondFind = client.services.FtpFindFirstFile(client.connect, nullptr, &data, 0, 0);
    EXPECT_EQ(secondFind, nullptr);
    EXPECT_EQ(client.services.GetLastError(), ERROR_FTP_TRANSFER_IN_PROGRESS);

    EXPECT_TRUE(client.services.InternetCloseHandle(client.connect));
    uint32_t got = 0;
    char byte;
    EXPECT_FALSE(client.services.InternetReadFile(file, &byte, 1, &got));
    EXPECT_EQ(client.services.GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(client.services.InternetCloseHandle(file));
    EXPECT_FALSE(client.services.InternetCloseHandle(client.connect));
    client.connect = nullptr;
    EXPECT_EQ(server.Finish(), "");
}

// A host closes a file handle from another thread while a read on it waits
// for a server that sends nothing: the session is stopped and the close
// returns at once, not when the read's wait (60 s here; the script's 5 s)
// runs out.
TEST(ClientHandles, AFileClosedFromAnotherThreadStopsTheReadOnIt) {
    ScriptedFtpServer server([](ScriptPeer &peer) {
        peer.LogIn();
        peer.Expect("SIZE");
        peer.Reply("213 1");
        peer.AnswerPassive();
        peer.Expect("RETR a");
        peer.Reply("150 Opening");
        peer.AcceptData();
        peer.Receive();
    });
    Client client;
    ASSERT_TRUE(client.Connect(server.Port()));
    const InternetHandle file = client.Open("a", true);
    ASSERT_NE(file, nullptr);
    bool read = true;
    std::thread reader([&] {
        char byte;
        uint32_t got = 0;
        read = client.services.InternetReadFile(file, &byte, 1, &got);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const auto closing = std::chrono::steady_clock::now();
    client.services.InternetCloseHandle(file);
    reader.join();
    EXPECT_LT(std::chrono::steady_clock::now() - closing, std::chrono::seconds(3));
    EXPECT_FALSE(read);
    EXPECT_TRUE(client.services.InternetCloseHandle(client.connect));
    client.connect = nullptr;
    EXPECT_EQ(server.Finish(), "");
}

TEST(ClientHandles, NothingIsSentWhileATransferIsOpenOrWithALineBreak) {
    ScriptedFtpServer server([](ScriptPeer &peer) {
        peer.LogIn();
        peer.Expect("SIZE");
        peer.Reply("213 1");
        peer.AnswerPassive();
        peer.Expect("RETR a");
        peer.Reply("150 Opening");
        peer.AcceptData();
        peer.SendData("x");
        peer.CloseData();
        peer.Reply("226 Transfer complete");
        peer.Expect("NOOP");  // the first command that reaches the server
        peer.Reply("200 NOOP ok.");
    });
    Client client;
    ASSERT_TRUE(client.Connect(server.Port()));
    const InternetHandle file = client.Open("a", true);
    ASSERT_NE(file, nullptr);
    EXPECT_FALSE(client.Command("NOOP"));
    EXPECT_EQ(client.services.GetLastError(), ERROR_FTP_TRANSFER_IN_PROGRESS);
    EXPECT_FALSE(client.services.FtpSetCurrentDirectory(client.connect, Wide("sub").c_str()));
    EXPECT_EQ(client.services.GetLastError(), ERROR_FTP_TRANSFER_IN_PROGRESS);
    EXPECT_EQ(client.Open("b", true), nullptr);
    EXPECT_EQ(client.services.GetLastError(), ERROR_FTP_TRANSFER_IN_PROGRESS);
    std::string data;
    EXPECT_TRUE(client.ReadAll(file, data));
    EXPECT_TRUE(client.services.InternetCloseHandle(file));

    EXPECT_FALSE(client.Command("NOOP\r\nDELE precious"));
    EXPECT_EQ(client.services.GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(client.services.FtpDeleteFile(client.connect, Wide("a\nDELE b").c_str()));
    EXPECT_EQ(client.services.GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(client.Open("a\rb", true), nullptr);
    EXPECT_EQ(client.services.GetLastError(), ERROR_INVALID_PARAMETER);
    sapi::FtpFindData find;
    EXPECT_EQ(client.services.FtpFindFirstFile(client.connect, Wide("x\n").c_str(), &find, 0, 0), nullptr);
    EXPECT_EQ(client.services.GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_TRUE(client.Command("NOOP"));
    EXPECT_EQ(server.Finish(), "");
}

TEST(ClientFind, ListingsEmptyFoldersFallbackAndLongNames) {
    const std::string name259(259, 'n');
    const std::string name260(260, 'm');
    ScriptedFtpServer server([&](ScriptPeer &peer) {
        peer.LogIn();
        ServeListing(peer, "MLSD", "type=cdir; .\r\ntype=pdir; ..\r\n");
        peer.AnswerPassive();
        peer.Expect("MLSD /sub");
        peer.Reply("500 Unknown command.");
        peer.AnswerMarker();  // a "500" to a line with an argument may have a twin
        ServeListing(peer, "LIST /sub",
                     "drwxr-xr-x   2 u g 4096 Dec 07 07:25 folder\r\n"
                     "-rw-r--r--   1 u g 5000000000 Dec 07 07:25  blank first\r\n"
                     "-rw-r--r--   1 u g 1 Dec 07 07:25 " + name259 + "\r\n"
                     "-rw-r--r--   1 u g 1 Dec 07 07:25 " + name260 + "\r\n"
                     "-rw-r--r--   1 u g 1 Dec 07 07:25 \xe6\x97\xa5\xe6\x9c\xac.txt\r\n");
        ServeListing(peer, "LIST", "-rw-r--r--   1 u g 1 Dec 07 07:25 a.txt\r\n"
                                   "-rw-r--r--   1 u g 1 Dec 07 07:25 b.bin\r\n");
    });
    Client client;
    ASSERT_TRUE(client.Connect(server.Port()));
    sapi::FtpFindData data;
    EXPECT_EQ(client.services.FtpFindFirstFile(client.connect, nullptr, &data, 0, 0), nullptr);
    EXPECT_EQ(client.services.GetLastError(), ERROR_NO_MORE_FILES);

    const InternetHandle find = client.services.FtpFindFirstFile(client.connect, Wide("/sub").c_str(), &data, 0, 0);
    ASSERT_NE(find, nullptr);
    std::vector<std::string> names{Narrow(data.fileName)};
    EXPECT_EQ(data.fileAttributes & FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_DIRECTORY);
    ASSERT_TRUE(client.services.InternetFindNextFile(find, &data));
    EXPECT_EQ(data.fileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_EQ((uint64_t{data.fileSizeHigh} << 32) | data.fileSizeLow, 5000000000u);
    names.push_back(Narrow(data.fileName));
    while (client.services.InternetFindNextFile(find, &data)) names.push_back(Narrow(data.fileName));
    EXPECT_EQ(client.services.GetLastError(), ERROR_NO_MORE_FILES);
    // 259 UTF-16 units fit a cFileName; 260 do not, and that entry is left out.
    EXPECT_EQ(names, (std::vector<std::string>{"folder", " blank first", name259, "\xe6\x97\xa5\xe6\x9c\xac.txt"}));
    client.services.InternetCloseHandle(find);

    // MLSD was given up for this session; a wildcard keeps the matching names.
    const InternetHandle filtered = client.services.FtpFindFirstFile(client.connect, Wide("*.txt").c_str(), &data, 0, 0);
    ASSERT_NE(filtered, nullptr);
    EXPECT_EQ(Narrow(data.fileName), "a.txt");
    EXPECT_FALSE(client.services.InternetFindNextFile(filtered, &data));
    client.services.InternetCloseHandle(filtered);
    EXPECT_EQ(server.Finish(), "");
}

// Lines no parser reads among ordinary ones do not hide their entries: the
// names NLST gives that no line became are added (the folder's part cut off),
// a folder by the mode of its unread line, or else a file by the size SIZE
// gives, a folder by the CWD that enters it, and the
// session is back where it was. Where NLST is refused too, the listing stays
// as it was and the session goes on.
TEST(ClientFind, UnreadLinesAreCompletedByName) {
    ScriptedFtpServer server([](ScriptPeer &peer) {
        peer.LogIn(" SIZE\r\n EPSV\r\n UTF8\r\n");  // no MLST
        ServeListing(peer, "LIST pub",
                     "total 3\r\n"
                     "-rw-r--r--   1 u g 5 Dec 07 07:25 a.txt\r\n"
                     "%% b.bin 7 an odd line\r\n"
                     "%% sub an odd folder\r\n"
                     "drwxr-xr-x   2 u g 4096 Dez 32 10:00 odd date\r\n");
        ServeListing(peer, "NLST pub", "pub/a.txt\r\npub/b.bin\r\nsub\r\n/elsewhere/c.txt\r\nodd date\r\n");
        peer.Expect("SIZE pub/b.bin");
        peer.Expect("SIZE pub/sub");
        peer.Send("213 7\r\n550 sub: not a regular file\r\n");
        // The session knows where it is from the login's PWD.
        peer.Expect("CWD /pub/sub");
        peer.Expect("CWD /");
        peer.Send("250 OK\r\n250 OK\r\n");
        ServeListing(peer, "LIST", "%% nothing this client reads\r\n");
        peer.AnswerPassive();
        peer.Expect("NLST");
        peer.Reply("550 No files found");
        peer.Expect("NOOP");
        peer.Reply("200 NOOP ok.");
    });
    Client client;
    ASSERT_TRUE(client.Connect(server.Port()));
    sapi::FtpFindData data;
    const InternetHandle find = client.services.FtpFindFirstFile(client.connect, Wide("pub").c_str(), &data, 0, 0);
    ASSERT_NE(find, nullptr);
    std::vector<std::string> entries;
    do {
        const bool folder = (data.fileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        std::string entry = Narrow(data.fileName);
        entry.append(folder ? "/" : " ").append(folder ? "" : std::to_string(data.fileSizeLow));
        entries.push_back(entry);
    } while (client.services.InternetFindNextFile(find, &data));
    EXPECT_EQ(entries, (std::vector<std::string>{"a.txt 5", "odd date/", "b.bin 7", "sub/"}));
    client.services.InternetCloseHandle(find);

    EXPECT_EQ(client.services.FtpFindFirstFile(client.connect, nullptr, &data, 0, 0), nullptr);
    EXPECT_EQ(client.services.GetLastError(), ERROR_NO_MORE_FILES);
    EXPECT_TRUE(client.Command("NOOP"));
    EXPECT_EQ(server.Finish(), "");
}

TEST(ClientCurrentDirectory, QuotedPathAndTooSmallBuffers) {
    ScriptedFtpServer server([](ScriptPeer &peer) {
        // The first answer is the one to the PWD asked after the login.
        peer.LogIn(" SIZE\r\n", "/a \"\"b\"\"");
        peer.Expect("PWD");
        peer.Reply("257 \"/a \"\"b\"\"\" is the current directory");
    });
    Client client;
    ASSERT_TRUE(client.Connect(server.Port()));
    sapi::WideChar buffer[16] = {u'?', 0};
    uint32_t length = 6;  // "/a "b"" is 6 characters: no room for the terminator
    EXPECT_FALSE(client.services.FtpGetCurrentDirectory(client.connect, buffer, &length));
    EXPECT_EQ(client.services.GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(length, 7u);
    EXPECT_EQ(Narrow(buffer), "?");
    length = 7;
    EXPECT_TRUE(client.services.FtpGetCurrentDirectory(client.connect, buffer, &length));
    EXPECT_EQ(Narrow(buffer), "/a \"b\"");
    EXPECT_EQ(length, 6u);

    uint32_t error = 0;
    length = 4;  // the reply is longer
    EXPECT_FALSE(client.services.InternetGetLastResponseInfo(&error, buffer, &length));
    EXPECT_EQ(client.services.GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(length, std::string("257 \"/a \"\"b\"\"\" is the current directory").size() + 1);
    EXPECT_EQ(server.Finish(), "");
}

// The terminator needs room too: a reply of exactly the buffer's capacity, or
// one more, must not be written into it (nor past it).
TEST(ClientLastReply, OnlyATextShorterThanTheCapacityIsCopied) {
    constexpr uint32_t capacity = 16;
    const std::vector<std::string> replies = {"213 " + std::string(capacity - 5, '7'),
                                              "213 " + std::string(capacity - 4, '8'),
                                              "213 " + std::string(capacity - 3, '9')};
    ScriptedFtpServer server([&replies](ScriptPeer &peer) {
        peer.LogIn();
        for (const std::string &reply : replies) {
            peer.AnswerSize("SIZE f", reply);
        }
    });
    Client client;
    ASSERT_TRUE(client.Connect(server.Port()));
    for (const std::string &reply : replies) {
        ASSERT_TRUE(client.Command("SIZE f"));
        // Four guard characters past the capacity, then a terminator of our own.
        std::vector<sapi::WideChar> buffer(capacity + 5, u'?');
        buffer.back() = 0;
        uint32_t error = 0;
        uint32_t length = capacity;
        const bool fits = reply.size() < capacity;
        EXPECT_EQ(client.services.InternetGetLastResponseInfo(&error, buffer.data(), &length), fits) << reply;
        EXPECT_EQ(length, fits ? reply.size() : reply.size() + 1) << reply;
        EXPECT_EQ(Narrow(buffer.data()), fits ? reply : std::string(capacity + 4, '?')) << reply;
        EXPECT_EQ(std::count(buffer.begin() + capacity, buffer.end() - 1, u'?'), 4) << reply;
    }
    EXPECT_EQ(server.Finish(), "");
}

// The last reply is kept in a fixed per-thread buffer (no thread_local with a
// destructor may hold the DLL): a longer one is cut, never inside a UTF-8 character.
TEST(ClientLastReply, ALongReplyIsCutBetweenCharacters) {
    using sapi::ftpclient::SetThreadResponse;
    using sapi::ftpclient::ThreadResponse;
    const std::string accent = "\xc3\xa9";
    const struct {
        std::string text;
        std::string kept;
    } cases[] = {
        {"226 done", "226 done"},
        {std::string(8192, 'a'), std::string(8192, 'a')},
        {std::string(8200, 'b'), std::string(8192, 'b')},
        {std::string(8191, 'c') + accent, std::string(8191, 'c')},
        {std::string(8190, 'd') + accent + "e", std::string(8190, 'd') + accent},
    };
    for (const auto &c : cases) {
        SetThreadResponse(c.text);
        EXPECT_EQ(std::string(ThreadResponse()), c.kept) << c.text.size();
    }
}

TEST(ClientLastError, EachThreadHasItsOwn) {
    Client client;
    EXPECT_FALSE(client.services.InternetCloseHandle(nullptr));
    uint32_t otherThread = 1;
    std::thread([&] { otherThread = client.services.GetLastError(); }).join();
    EXPECT_EQ(otherThread, 0u);
    EXPECT_EQ(client.services.GetLastError(), ERROR_INVALID_HANDLE);
}

}  // namespace
