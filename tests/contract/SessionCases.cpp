// The contract on handles, texts, folders and listings.
#include <functional>
#include <set>

#include "ContractSession.h"
#include "ftp/services/WinInetConstants.h"

namespace sapi::contract {

using namespace sapi::wininet;

namespace {

// One request on a connect handle, true when it went through.
using ConnectCall = std::function<bool(FtpClientServices &, InternetHandle)>;
struct NamedCall {
    const char *name;
    ConnectCall call;
};

// Every request the plug-in makes on a connect handle, each with a harmless
// text unless `text` is given.
std::vector<NamedCall> ConnectCalls(const WideString &text = Wide("probe")) {
    return {
        {"FtpSetCurrentDirectory", [text](FtpClientServices &s, InternetHandle c) {
             return s.FtpSetCurrentDirectory(c, text.c_str()); }},
        {"FtpCreateDirectory", [text](FtpClientServices &s, InternetHandle c) {
             return s.FtpCreateDirectory(c, text.c_str()); }},
        {"FtpDeleteFile", [text](FtpClientServices &s, InternetHandle c) {
             return s.FtpDeleteFile(c, text.c_str()); }},
        {"FtpCommand", [text](FtpClientServices &s, InternetHandle c) {
             const WideString command = Wide("SIZE ") + text;
             return s.FtpCommand(c, false, FTP_TRANSFER_TYPE_BINARY, command.c_str(), 0, nullptr); }},
        {"FtpOpenFile (read)", [text](FtpClientServices &s, InternetHandle c) {
             return s.FtpOpenFile(c, text.c_str(), GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 1) != nullptr; }},
        {"FtpOpenFile (write)", [text](FtpClientServices &s, InternetHandle c) {
             return s.FtpOpenFile(c, text.c_str(), GENERIC_WRITE, FTP_TRANSFER_TYPE_BINARY, 1) != nullptr; }},
        {"FtpFindFirstFile", [text](FtpClientServices &s, InternetHandle c) {
             FtpFindData record;
             return s.FtpFindFirstFile(c, text.c_str(), &record, INTERNET_FLAG_RELOAD, 1) != nullptr; }},
    };
}

// Each call fails, and with `error`.
void AllRefused(Checks &checks, FtpClientServices &services, InternetHandle connect,
                const std::vector<NamedCall> &calls, uint32_t error) {
    for (const NamedCall &each : calls) {
        const bool went = each.call(services, connect);
        const uint32_t got = services.GetLastError();
        checks.That(!went, (std::string(each.name) + " went through").c_str(), __FILE__, __LINE__);
        checks.Equal(got, error, each.name, __FILE__, __LINE__);
    }
}

void NullAndClosedHandlesAreRefused(ContractWorld &world, Checks &checks) {
    FtpClientServices &services = world.Services();
    AllRefused(checks, services, nullptr, ConnectCalls(), ERROR_INVALID_HANDLE);
    char byte = 0;
    uint32_t count = 0;
    FtpFindData record;
    CONTRACT_CHECK(!services.InternetReadFile(nullptr, &byte, 1, &count));
    CONTRACT_EQ(services.GetLastError(), ERROR_INVALID_HANDLE);
    CONTRACT_CHECK(!services.InternetWriteFile(nullptr, &byte, 1, &count));
    CONTRACT_EQ(services.GetLastError(), ERROR_INVALID_HANDLE);
    CONTRACT_CHECK(!services.InternetFindNextFile(nullptr, &record));
    CONTRACT_EQ(services.GetLastError(), ERROR_INVALID_HANDLE);

    Session session(world);
    CONTRACT_CHECK(session.connect() != nullptr);
    const InternetHandle closed = session.connect();
    CONTRACT_CHECK(session.CloseConnect());
    AllRefused(checks, services, closed, ConnectCalls(), ERROR_INVALID_HANDLE);
}

// AbortServer closes the connect handle under a listing or a transfer: what
// was open on it ends there, and a retrieval cut off so never reads as whole.
void ClosingAParentEndsItsChildren(ContractWorld &world, Checks &checks) {
    world.PutFile("parent/a.txt", "a");
    world.PutFile("parent/long.bin", PatternBytes(1 << 20));
    struct Child {
        const char *kind;
        std::function<InternetHandle(const Session &)> open;
        std::function<bool(FtpClientServices &, InternetHandle)> use;
    };
    const Child children[] = {
        {"find",
         [](const Session &s) {
             FtpFindData record;
             return s.FindFirst(record);
         },
         [](FtpClientServices &s, InternetHandle h) {
             FtpFindData record;
             return s.InternetFindNextFile(h, &record);
         }},
        {"retrieval", [](const Session &s) { return s.OpenRead("long.bin"); },
         [](FtpClientServices &s, InternetHandle h) {
             char buffer[64];
             uint32_t count = 0;
             return s.InternetReadFile(h, buffer, sizeof buffer, &count);
         }},
        {"store", [](const Session &s) { return s.OpenWrite("new.bin"); },
         [](FtpClientServices &s, InternetHandle h) {
             uint32_t count = 0;
             return s.InternetWriteFile(h, "x", 1, &count);
         }},
    };
    for (const Child &child : children) {
        Session session(world);
        CONTRACT_CHECK(session.Enter("parent"));
        const InternetHandle handle = child.open(session);
        checks.That(handle != nullptr, child.kind, __FILE__, __LINE__);
        CONTRACT_CHECK(session.CloseConnect());
        checks.That(!child.use(session.services(), handle), child.kind, __FILE__, __LINE__);
        checks.Equal(session.services().GetLastError(), ERROR_INVALID_HANDLE, child.kind, __FILE__,
                     __LINE__);
    }
}

void OneTransferAtATimePerConnection(ContractWorld &world, Checks &checks) {
    world.PutFile("busy/long.bin", PatternBytes(1 << 20));
    world.PutFile("busy/other.txt", "other");
    Session session(world);
    CONTRACT_CHECK(session.Enter("busy"));
    const InternetHandle file = session.OpenRead("long.bin");
    CONTRACT_CHECK(file != nullptr);
    AllRefused(checks, session.services(), session.connect(), ConnectCalls(Wide("other.txt")),
               ERROR_FTP_TRANSFER_IN_PROGRESS);
    WideChar folder[64] = {};
    uint32_t length = 64;
    CONTRACT_CHECK(!session.services().FtpGetCurrentDirectory(session.connect(), folder, &length));
    CONTRACT_EQ(session.services().GetLastError(), ERROR_FTP_TRANSFER_IN_PROGRESS);
    CONTRACT_CHECK(session.services().InternetCloseHandle(file));
    CONTRACT_CHECK(session.AnswersSize("other.txt", 5));
    CONTRACT_CHECK(world.FileOnServer("busy/other.txt") == std::optional<std::string>("other"));
}

void LineBreaksAreRefusedBeforeAnythingIsSent(ContractWorld &world, Checks &checks) {
    world.PutFile("breaks/victim.txt", "still here");
    Session session(world);
    CONTRACT_CHECK(session.Enter("breaks"));
    for (const char *text : {"x\r\nDELE victim.txt", "x\nDELE victim.txt", "x\rDELE victim.txt"}) {
        AllRefused(checks, session.services(), session.connect(), ConnectCalls(Wide(text)),
                   ERROR_INVALID_PARAMETER);
    }
    const ServerLogin login = world.Login();
    const WideString badUser = login.user + Wide("\r\nDELE breaks/victim.txt");
    const WideString badPassword = login.password + Wide("\nDELE breaks/victim.txt");
    CONTRACT_CHECK(session.services().InternetConnect(session.root(), login.host.c_str(), login.port,
                                                      badUser.c_str(), login.password.c_str(),
                                                      INTERNET_SERVICE_FTP, 0, 1) == nullptr);
    CONTRACT_EQ(session.services().GetLastError(), ERROR_INVALID_PARAMETER);
    CONTRACT_CHECK(session.services().InternetConnect(session.root(), login.host.c_str(), login.port,
                                                      login.user.c_str(), badPassword.c_str(),
                                                      INTERNET_SERVICE_FTP, 0, 1) == nullptr);
    CONTRACT_EQ(session.services().GetLastError(), ERROR_INVALID_PARAMETER);
    CONTRACT_CHECK(world.FileOnServer("breaks/victim.txt") == std::optional<std::string>("still here"));
    CONTRACT_CHECK(session.AnswersSize("victim.txt", 10));  // still in step
    for (const FtpFindData &record : ListCurrentFolder(session).records) {  // nothing made or stored
        const std::string name = NameOf(record);
        checks.That(name == "victim.txt" || name == "." || name == "..", name.c_str(), __FILE__, __LINE__);
    }
}

// A refusal by the server fails the call with 12003 and leaves the server's
// own reply to read: "550" is how the plug-in tells "not there" from "try again".
void RefusalsCarryTheServersReply(ContractWorld &world, Checks &checks) {
    Session session(world);
    const std::vector<NamedCall> all = ConnectCalls(Wide("no-such-name"));
    for (const NamedCall &each : {all[0], all[2], all[4]}) {  // CWD, DELE, RETR
        CONTRACT_CHECK(!each.call(session.services(), session.connect()));
        checks.Equal(session.services().GetLastError(), ERROR_INTERNET_EXTENDED_ERROR, each.name, __FILE__,
                     __LINE__);
        checks.Equal(session.LastReply().substr(0, 4), std::string("550 "), each.name, __FILE__, __LINE__);
    }
}

void CurrentFolderNeedsRoomForTheTerminator(ContractWorld &world, Checks &checks) {
    world.MakeFolder("cwd");
    Session session(world);
    CONTRACT_CHECK(session.Enter("cwd"));
    WideChar folder[8] = {'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x'};
    uint32_t length = 4;  // "/cwd" and no room for the terminator
    CONTRACT_CHECK(!session.services().FtpGetCurrentDirectory(session.connect(), folder, &length));
    CONTRACT_EQ(session.services().GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    CONTRACT_CHECK(folder[0] == 'x' && folder[4] == 'x');
    length = 5;
    CONTRACT_CHECK(session.services().FtpGetCurrentDirectory(session.connect(), folder, &length));
    CONTRACT_CHECK(WideString(folder) == Wide("/cwd"));
}

void ListingsEndWithNoMoreFiles(ContractWorld &world, Checks &checks) {
    world.PutFile("list/hello.txt", "Hello, world\n");
    world.PutFile("list/big.bin", PatternBytes(300000));
    world.MakeFolder("list/sub");
    Session session(world);
    CONTRACT_CHECK(session.Enter("list"));
    const Listing listing = ListCurrentFolder(session);
    CONTRACT_CHECK(listing.opened);
    std::set<std::string> seen;
    for (const FtpFindData &record : listing.records) {
        const std::string name = NameOf(record);
        const bool folder = (record.fileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (name == "hello.txt" && !folder && SizeOf(record) == 13) seen.insert(name);
        if (name == "big.bin" && !folder && SizeOf(record) == 300000) seen.insert(name);
        if (name == "sub" && folder) seen.insert(name);
    }
    CONTRACT_EQ(listing.endError, ERROR_NO_MORE_FILES);
    CONTRACT_EQ(seen.size(), 3u);
    CONTRACT_CHECK(listing.closed);
    CONTRACT_CHECK(session.AnswersSize("hello.txt", 13));
}

void AnEmptyListingFailsTheFirstFind(ContractWorld &world, Checks &checks) {
    world.MakeFolder("empty");
    Session session(world);
    CONTRACT_CHECK(session.Enter("empty"));
    FtpFindData record;
    CONTRACT_CHECK(session.FindFirst(record) == nullptr);
    CONTRACT_EQ(session.services().GetLastError(), ERROR_NO_MORE_FILES);
}

void SAPI_WINAPI FirstCallback(InternetHandle, uintptr_t, uint32_t, void *, uint32_t) {}
void SAPI_WINAPI SecondCallback(InternetHandle, uintptr_t, uint32_t, void *, uint32_t) {}

// The plug-in puts its callback in and the previous one back when it closes.
void StatusCallbackHandsBackThePreviousOne(ContractWorld &world, Checks &checks) {
    Session session(world);
    FtpClientServices &services = session.services();
    CONTRACT_CHECK(services.InternetSetStatusCallback(session.connect(), &FirstCallback) == nullptr);
    CONTRACT_CHECK(services.InternetSetStatusCallback(session.connect(), &SecondCallback) == &FirstCallback);
    CONTRACT_CHECK(services.InternetSetStatusCallback(session.connect(), nullptr) == &SecondCallback);
}

}  // namespace

std::vector<ContractCase> SessionCases() {
    return {
        {"NullAndClosedHandlesAreRefused", &NullAndClosedHandlesAreRefused},
        {"ClosingAParentEndsItsChildren", &ClosingAParentEndsItsChildren},
        {"OneTransferAtATimePerConnection", &OneTransferAtATimePerConnection},
        {"LineBreaksAreRefusedBeforeAnythingIsSent", &LineBreaksAreRefusedBeforeAnythingIsSent},
        {"RefusalsCarryTheServersReply", &RefusalsCarryTheServersReply},
        {"CurrentFolderNeedsRoomForTheTerminator", &CurrentFolderNeedsRoomForTheTerminator},
        {"ListingsEndWithNoMoreFiles", &ListingsEndWithNoMoreFiles},
        {"AnEmptyListingFailsTheFirstFind", &AnEmptyListingFailsTheFirstFind},
        {"StatusCallbackHandsBackThePreviousOne", &StatusCallbackHandsBackThePreviousOne},
    };
}

}  // namespace sapi::contract
