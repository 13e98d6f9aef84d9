// The contract on retrievals and stores: what a read, a write and a close
// say about the data, and that the connection stays in step after each.
#include "ContractSession.h"
#include "ftp/services/WinInetConstants.h"

namespace sapi::contract {

using namespace sapi::wininet;

namespace {

// An empty file too: its first read is the end, and the plug-in, which gives
// empty reads more chances, must be able to tell that end from a slow start.
void ReadsAreCutToTheBufferAndEndInAnEmptyRead(ContractWorld &world, Checks &checks) {
    struct File {
        const char *name;
        std::string data;
    };
    const File files[] = {{"data.bin", PatternBytes(300000)}, {"empty.bin", ""}};
    for (const File &each : files) world.PutFile(std::string("reads/") + each.name, each.data);
    Session session(world);
    FtpClientServices &services = session.services();
    CONTRACT_CHECK(session.Enter("reads"));
    for (const File &each : files) {
        const InternetHandle file = session.OpenRead(each.name);
        checks.That(file != nullptr, each.name, __FILE__, __LINE__);
        if (!each.data.empty()) CONTRACT_CHECK(Confirmed(services, file) != 1);  // not before the end
        const Drained drained = Drain(services, file, 65536);
        CONTRACT_CHECK(!drained.overfilled);
        checks.That(drained.cleanEnd && drained.bytes == each.data, each.name, __FILE__, __LINE__);
        CONTRACT_EQ(session.LastReply().substr(0, 4), std::string("226 "));
        // 1 once the server confirmed the file, or "cannot tell"; never 0 now.
        const bool confirmed = Confirmed(services, file) == 1;
        checks.That(confirmed || services.GetLastError() == ERROR_INTERNET_INVALID_OPTION, each.name,
                    __FILE__, __LINE__);
        char more[16];
        uint32_t count = 99;
        CONTRACT_CHECK(services.InternetReadFile(file, more, sizeof more, &count));  // the end stays
        CONTRACT_EQ(count, 0u);
        CONTRACT_CHECK(services.InternetCloseHandle(file));
        CONTRACT_CHECK(session.AnswersSize(each.name, each.data.size()));
    }
}

// A retrieval the server cut short (data connection closed, "426") must not
// end like a whole file: the read that meets the end fails.
void ARetrievalCutShortFails(ContractWorld &world, Checks &checks) {
    world.PutFile(std::string("shortened/") + cutShortPrefix + "long.bin", PatternBytes(600000));
    Session session(world);
    FtpClientServices &services = session.services();
    CONTRACT_CHECK(session.Enter("shortened"));
    const InternetHandle file = session.OpenRead(std::string(cutShortPrefix) + "long.bin");
    CONTRACT_CHECK(file != nullptr);
    const Drained drained = Drain(services, file, 65536);
    CONTRACT_CHECK(!drained.cleanEnd);
    CONTRACT_CHECK(drained.bytes == PatternBytes(cutShortBytes));
    CONTRACT_EQ(drained.error, ERROR_INTERNET_EXTENDED_ERROR);
    CONTRACT_EQ(session.LastReply().substr(0, 4), std::string("426 "));
    CONTRACT_CHECK(Confirmed(services, file) != 1);
    CONTRACT_CHECK(services.InternetCloseHandle(file));
    CONTRACT_CHECK(session.AnswersSize(std::string(cutShortPrefix) + "long.bin", 600000));
}

// The plug-in reads 32 bytes to see whether a file gives data, then closes:
// that close succeeds, and the next command gets its own reply. A store
// closed before must not lend the retrieval its verdict (a client may hand
// out the same handle value again).
void AnEarlyClosedRetrievalLeavesTheConnectionInStep(ContractWorld &world, Checks &checks) {
    world.PutFile("early/long.bin", PatternBytes(4 << 20));
    Session session(world);
    FtpClientServices &services = session.services();
    CONTRACT_CHECK(session.Enter("early"));
    const InternetHandle store = session.OpenWrite("first.bin");
    CONTRACT_CHECK(store != nullptr && services.InternetCloseHandle(store));
    for (int round = 0; round < 2; ++round) {
        const InternetHandle file = session.OpenRead("long.bin");
        CONTRACT_CHECK(file != nullptr);
        char head[32];
        uint32_t count = 0;
        CONTRACT_CHECK(services.InternetReadFile(file, head, sizeof head, &count));
        CONTRACT_CHECK(count > 0 && count <= sizeof head);
        CONTRACT_CHECK(std::string(head, count) == PatternBytes(count));
        CONTRACT_CHECK(services.InternetCloseHandle(file));
        CONTRACT_CHECK(session.AnswersSize("long.bin", 4 << 20));
    }
}

void AStoreArrivesByteForByte(ContractWorld &world, Checks &checks) {
    world.MakeFolder("stores");
    Session session(world);
    FtpClientServices &services = session.services();
    CONTRACT_CHECK(session.Enter("stores"));
    struct Store {
        const char *name;
        std::string data;
    };
    const Store stores[] = {{"whole.bin", PatternBytes(300000)}, {"empty.bin", ""}};
    for (const Store &store : stores) {
        const InternetHandle file = session.OpenWrite(store.name);
        CONTRACT_CHECK(file != nullptr);
        CONTRACT_CHECK(WriteAll(services, file, store.data));
        CONTRACT_CHECK(services.InternetCloseHandle(file));
        CONTRACT_EQ(session.LastReply().substr(0, 3), std::string("226"));
        checks.That(world.FileOnServer(std::string("stores/") + store.name) == store.data, store.name,
                    __FILE__, __LINE__);
    }
    CONTRACT_CHECK(session.AnswersSize("whole.bin", 300000));
}

// A store the server did not confirm fails its close: the only place where
// the plug-in learns that an upload was lost.
void AnUnconfirmedStoreFailsItsClose(ContractWorld &world, Checks &checks) {
    world.MakeFolder("refused");
    Session session(world);
    FtpClientServices &services = session.services();
    CONTRACT_CHECK(session.Enter("refused"));
    const InternetHandle file = session.OpenWrite(std::string(diskFullPrefix) + "a.bin");
    CONTRACT_CHECK(file != nullptr);
    uint32_t written = 0;
    const std::string data = PatternBytes(1000);
    services.InternetWriteFile(file, data.data(), 1000, &written);
    CONTRACT_CHECK(!services.InternetCloseHandle(file));
    CONTRACT_EQ(services.GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
    CONTRACT_EQ(session.LastReply().substr(0, 4), std::string("426 "));
    // The verdict belongs to that one handle: the next store is judged afresh.
    const InternetHandle next = session.OpenWrite("after.bin");
    CONTRACT_CHECK(next != nullptr);
    CONTRACT_CHECK(WriteAll(services, next, "fine"));
    CONTRACT_CHECK(services.InternetCloseHandle(next));
    CONTRACT_CHECK(world.FileOnServer("refused/after.bin") == std::optional<std::string>("fine"));
}

// Names go to the server as UTF-8 and come back the same: stored, listed,
// entered, retrieved.
void Utf8NamesRoundTrip(ContractWorld &world, Checks &checks) {
    world.MakeFolder("utf8");
    Session session(world);
    FtpClientServices &services = session.services();
    CONTRACT_CHECK(session.Enter("utf8"));
    const std::string folder = "dossier \xC3\xA9t\xC3\xA9";                  // "dossier été"
    const std::string names[] = {"caf\xC3\xA9 cr\xC3\xA8me.txt",              // "café crème.txt"
                                 "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.txt"}; // "日本語.txt"
    CONTRACT_CHECK(services.FtpCreateDirectory(session.connect(), Wide(folder).c_str()));
    CONTRACT_CHECK(session.Enter(folder));
    WideChar current[64] = {};
    uint32_t length = 64;
    CONTRACT_CHECK(services.FtpGetCurrentDirectory(session.connect(), current, &length));
    CONTRACT_CHECK(Utf8FromWide(WideView(current)) == "/utf8/" + folder);
    for (const std::string &name : names) {
        const InternetHandle store = session.OpenWrite(name);
        CONTRACT_CHECK(store != nullptr && WriteAll(services, store, name));
        if (store != nullptr) CONTRACT_CHECK(services.InternetCloseHandle(store));
        checks.That(world.FileOnServer("utf8/" + folder + "/" + name) == name, name.c_str(), __FILE__,
                    __LINE__);
        const InternetHandle read = session.OpenRead(name);
        CONTRACT_CHECK(read != nullptr && Drain(services, read, 4096).bytes == name);
        if (read != nullptr) services.InternetCloseHandle(read);
    }
    int listed = 0;
    for (const FtpFindData &record : ListCurrentFolder(session).records) {
        listed += NameOf(record) == names[0] || NameOf(record) == names[1] ? 1 : 0;
    }
    CONTRACT_EQ(listed, 2);
}

// Both halves of the size matter, and a low half of 0xFFFFFFFF is told from
// INVALID_FILE_SIZE by the last error alone.
void SizesOver4GiBComeOutWhole(ContractWorld &world, Checks &checks) {
    constexpr uint64_t size = (uint64_t{2} << 32) - 1;
    if (!world.PutHugeFile("huge/huge.bin", size)) return;
    Session session(world);
    FtpClientServices &services = session.services();
    CONTRACT_CHECK(session.Enter("huge"));
    CONTRACT_CHECK(session.AnswersSize("huge.bin", size));
    uint64_t listed = 0;
    for (const FtpFindData &record : ListCurrentFolder(session).records) {
        if (NameOf(record) == "huge.bin") listed = SizeOf(record);
    }
    CONTRACT_EQ(listed, size);
    const InternetHandle file = session.OpenRead("huge.bin");
    CONTRACT_CHECK(file != nullptr);
    uint32_t high = 0;
    const uint32_t low = services.FtpGetFileSize(file, &high);
    CONTRACT_EQ((uint64_t{high} << 32) | low, size);
    CONTRACT_EQ(services.GetLastError(), ERROR_SUCCESS);
    if (file != nullptr) CONTRACT_CHECK(services.InternetCloseHandle(file));
    CONTRACT_CHECK(session.AnswersSize("huge.bin", size));
}

}  // namespace

std::vector<ContractCase> TransferCases() {
    return {
        {"ReadsAreCutToTheBufferAndEndInAnEmptyRead", &ReadsAreCutToTheBufferAndEndInAnEmptyRead},
        {"ARetrievalCutShortFails", &ARetrievalCutShortFails},
        {"AnEarlyClosedRetrievalLeavesTheConnectionInStep", &AnEarlyClosedRetrievalLeavesTheConnectionInStep},
        {"AStoreArrivesByteForByte", &AStoreArrivesByteForByte},
        {"AnUnconfirmedStoreFailsItsClose", &AnUnconfirmedStoreFailsItsClose},
        {"Utf8NamesRoundTrip", &Utf8NamesRoundTrip},
        {"SizesOver4GiBComeOutWhole", &SizesOver4GiBComeOutWhole},
    };
}

}  // namespace sapi::contract
