// sapihost against a real FTP server (pyftpdlib on loopback), run as a person
// runs it: what it prints, what lands on disk and on the server, how it exits.
// The module is the build whose waits are a hundredth of the real ones.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "RunHost.h"
#include "TestFiles.h"
#include "TestFtpServer.h"

namespace sapihost::test {
namespace {

namespace fs = std::filesystem;
using sapi::test::ReadWholeFile;
using sapi::test::TempDir;
using sapi::test::TestFtpServer;
using sapi::test::WriteWholeFile;

bool Has(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

class HostEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        WriteWholeFile(Root() / "a.txt", "line1\nline2\n");
        WriteWholeFile(Root() / "with space.txt", "space\n");
        WriteWholeFile(Root() / "sub" / "inner.txt", "inner\n");
        WriteWholeFile(Root() / "big.bin", sapi::test::PseudoRandomBytes(300000, 7));
        server_ = std::make_unique<TestFtpServer>("pyftpdlib", Root());
    }

    fs::path Root() const { return temp_ / "root"; }
    fs::path Local(const std::string &name) const { return temp_ / name; }
    std::string Url(const std::string &folder = "") const {
        return "ftp://" + std::string(TestFtpServer::DefaultUser) + "@127.0.0.1:" + std::to_string(server_->port()) +
               "/" + folder;
    }
    HostRunOptions WithPassword(std::string input = {}) const {
        HostRunOptions options;
        options.env["SAPIHOST_PASSWORD"] = TestFtpServer::DefaultPassword;
        options.input = std::move(input);
        return options;
    }
    HostRun Host(std::vector<std::string> commands, std::string input = {}) const {
        commands.insert(commands.begin(), Url());
        return RunSapihost(commands, WithPassword(std::move(input)));
    }

    TempDir temp_{"sapihost-e2e"};
    std::unique_ptr<TestFtpServer> server_;
};

TEST_F(HostEndToEnd, ListEnterAndShowTheFolderOnOneConnection) {
    const HostRun run = RunSapihost({"--trace", Url(), "ls", "cd", "sub", "pwd", "ls"}, WithPassword());
    ASSERT_EQ(run.status, 0) << run.All();
    EXPECT_EQ(run.out, "sub/\na.txt\nbig.bin\nwith space.txt\n/sub\ninner.txt\n");
    // One connection for every command, closed at the end; the password masked.
    size_t opens = 0;
    for (size_t at = run.err.find("OpenServer("); at != std::string::npos; at = run.err.find("OpenServer(", at + 1)) {
        ++opens;
    }
    EXPECT_EQ(opens, 1u);
    EXPECT_TRUE(Has(run.err, "CloseServer(connection=1)"));
    EXPECT_TRUE(Has(run.err, "\"ServerPrimaryLoginPassword\", value=\"********\""));
    EXPECT_FALSE(Has(run.All(), TestFtpServer::DefaultPassword));
}

TEST_F(HostEndToEnd, FolderInTheUrlAndListingAnotherFolder) {
    HostRun run = RunSapihost({Url("sub"), "pwd"}, WithPassword());
    ASSERT_EQ(run.status, 0) << run.All();
    EXPECT_EQ(run.out, "/sub\n");
    run = Host({"ls", "sub", "pwd"});
    ASSERT_EQ(run.status, 0) << run.All();
    EXPECT_EQ(run.out, "inner.txt\n/\n");  // ls FOLDER comes back to where it was
    // ...unless nothing follows: one folder change, no walk back.
    run = Host({"--trace", "ls", "sub"});
    ASSERT_EQ(run.status, 0) << run.All();
    EXPECT_EQ(run.out, "inner.txt\n");
    EXPECT_TRUE(Has(run.err, "ChangeFolder(")) << run.err;
    EXPECT_EQ(run.err.find("ChangeFolder("), run.err.rfind("ChangeFolder(")) << run.err;
}

TEST_F(HostEndToEnd, CdRefusesAMissingFolderInsteadOfCreatingIt) {
    HostRun run = Host({"cd", "nosuch"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(Has(run.err, "no such folder: 'nosuch'")) << run.err;
    EXPECT_FALSE(fs::exists(Root() / "nosuch"));
    run = Host({"cd", "a.txt"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(Has(run.err, "is a file")) << run.err;
    // A failed step of a path leaves the session where it was.
    run = Host({"cd", "sub/nosuch", ";", "pwd"});
    EXPECT_EQ(run.status, 1);
    run = RunSapihost({Url(), "shell"}, WithPassword("cd sub/nosuch\npwd\n"));
    EXPECT_EQ(run.out, "/\n");
}

TEST_F(HostEndToEnd, MkdirCreatesEveryMissingFolderAndStaysPut) {
    HostRun run = Host({"mkdir", "x/y", "pwd"});
    ASSERT_EQ(run.status, 0) << run.All();
    EXPECT_EQ(run.out, "created x/y\n/\n");
    EXPECT_TRUE(fs::is_directory(Root() / "x" / "y"));
    run = Host({"mkdir", "sub"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(Has(run.err, "already exists"));
}

TEST_F(HostEndToEnd, InfoReportsTheSizeOrThatTheFileCannotBeOpened) {
    HostRun run = Host({"info", "a.txt"});
    ASSERT_EQ(run.status, 0) << run.All();
    EXPECT_TRUE(Has(run.out, "AssetName            a.txt\n"));
    EXPECT_TRUE(Has(run.out, "AssetSize            12\n"));
    EXPECT_FALSE(Has(run.out, "Under Construction"));
    run = RunSapihost({"--verify-by-read", Url(), "info", "a.txt"}, WithPassword());
    EXPECT_EQ(run.status, 0) << run.All();
    EXPECT_FALSE(Has(run.out, "Under Construction"));
    WriteWholeFile(Root() / "growing.log", "");
    server_->GiveToServer(Root() / "growing.log");
    run = RunSapihost({"--verify-by-read", Url(), "info", "growing.log"}, WithPassword());
    EXPECT_EQ(run.status, 0) << run.All();
    EXPECT_TRUE(Has(run.out, "AssetSize            0\n"));
    EXPECT_TRUE(Has(run.out, "Under Construction   1\n")) << run.out;
    run = Host({"info", "sub"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(Has(run.err, "'sub' is a folder")) << run.err;
    run = Host({"info", "missing.txt"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(Has(run.err, "not in this folder's listing")) << run.err;
    EXPECT_TRUE(Has(run.err, "could not open 'missing.txt'")) << run.err;
}

TEST_F(HostEndToEnd, GetDownloadsExactBytesIntoAFileOrFolder) {
    HostRun run = Host({"get", "big.bin", Local("copy.bin").string()});
    ASSERT_EQ(run.status, 0) << run.All();
    EXPECT_TRUE(sapi::test::SameFileContents(Root() / "big.bin", Local("copy.bin")));
    EXPECT_TRUE(Has(run.out, "downloaded big.bin to "));
    EXPECT_FALSE(fs::exists(Local("copy.bin.part")));
    // The trace shows the module's calls back into the host, block by block.
    run = RunSapihost({"--trace", Url(), "get", "a.txt", Local("a.txt").string()}, WithPassword());
    ASSERT_EQ(run.status, 0) << run.All();
    EXPECT_TRUE(Has(run.err, "DownloadAsset(connection=1, remoteName=\"a.txt\", localPath=\"" + Local("a.txt").string() +
                                 ".part\", progress, context) ...\n"
                                 "trace:   callback TransferProgressCallback(count=12, totalSize=12) -> true\n"
                                 "trace: DownloadAsset(...) -> 0 ApiOk\n"))
        << run.err;
    fs::create_directory(Local("into"));
    run = Host({"get", "sub/inner.txt", Local("into").string()});
    ASSERT_EQ(run.status, 0) << run.All();
    EXPECT_EQ(ReadWholeFile(Local("into") / "inner.txt"), "inner\n");
}

// A file still being written: get --follow fetches each round as it grows and
// says so with -v; info --follow sees it grow.
TEST_F(HostEndToEnd, FollowFetchesAFileStillBeingWritten) {
    std::thread writer([&] {
        for (uint32_t burst = 0; burst < 4; ++burst) {
            std::this_thread::sleep_for(std::chrono::milliseconds(400));
            std::ofstream(Root() / "big.bin", std::ios::binary | std::ios::app) << sapi::test::PseudoRandomBytes(100000, burst);
        }
    });
    HostRun run = Host({"-v", "get", "--follow=2", "big.bin", Local("copy.bin").string()});
    writer.join();
    ASSERT_EQ(run.status, 0) << run.All();
    EXPECT_TRUE(sapi::test::SameFileContents(Root() / "big.bin", Local("copy.bin")));
    EXPECT_TRUE(Has(run.err, "* grown to ")) << run.err;
    EXPECT_TRUE(Has(run.err, ", fetching from ")) << run.err;

    std::atomic<bool> writing{true};
    std::thread again([&] {
        for (uint32_t seed = 0; writing; ++seed) {
            std::ofstream(Root() / "big.bin", std::ios::binary | std::ios::app) << sapi::test::PseudoRandomBytes(4096, seed);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    run = Host({"info", "--follow", "big.bin"});
    writing = false;
    again.join();
    ASSERT_EQ(run.status, 0) << run.All();
    EXPECT_TRUE(Has(run.out, "Under Construction   1")) << run.out;
    EXPECT_NE(Host({"get", "--follow=0", "big.bin"}).status, 0);
}

TEST_F(HostEndToEnd, FailedGetNamesTheCodeAndKeepsTheOldLocalCopy) {
    WriteWholeFile(Local("keep.txt"), "precious");
    HostRun run = Host({"get", "missing.txt", Local("keep.txt").string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(Has(run.err, "-17 ApiRemoteOpenFailed: the remote file could not be opened")) << run.err;
    EXPECT_EQ(ReadWholeFile(Local("keep.txt")), "precious");
    EXPECT_FALSE(fs::exists(Local("keep.txt.part")));
    run = Host({"get", "sub"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(Has(run.err, "'sub' is a folder")) << run.err;
}

// pyftpdlib hashes nothing: --verify lets the file through and says it is not
// verified; --verify=require fails the download, keeping no file and the old
// copy, and refuses the upload before the server's file is touched.
TEST_F(HostEndToEnd, VerifyOnAServerWithoutDigestsPassesOrFailsAsAsked) {
    HostRun run = RunSapihost({"--verify", Url(), "get", "a.txt", Local("a.txt").string()}, WithPassword());
    ASSERT_EQ(run.status, 0) << run.All();
    EXPECT_TRUE(Has(run.out, ", not verified: the server offers no digest")) << run.out;
    WriteWholeFile(Local("keep.txt"), "precious");
    run = RunSapihost({"--verify=require", Url(), "get", "a.txt", Local("keep.txt").string()}, WithPassword());
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(Has(run.err, "get a.txt " + Local("keep.txt").string() + ": not verified: the server offers no digest"))
        << run.err;
    EXPECT_TRUE(Has(run.err, "-18 ApiTransferFailed")) << run.err;
    run = RunSapihost({"--verify=require", Url(), "put", Local("a.txt").string(), "with space.txt"}, WithPassword());
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(Has(run.err, "put " + Local("a.txt").string() + " with space.txt: not verified")) << run.err;
    EXPECT_EQ(ReadWholeFile(Local("keep.txt")), "precious");
    EXPECT_FALSE(fs::exists(Local("keep.txt.part")));
    EXPECT_EQ(ReadWholeFile(Root() / "with space.txt"), "space\n");
}

// proftpd with mod_digest, through the loaded module: both directions checked
// against its SHA-256, and the result lines say so.
TEST_F(HostEndToEnd, VerifyAgainstTheServersOwnDigests) {
    sapi::test::TestFtpServerOptions options;
    options.digests = true;
    TestFtpServer proftpd("proftpd", temp_ / "digests", TestFtpServer::DefaultUser, TestFtpServer::DefaultPassword,
                          options);
    WriteWholeFile(temp_ / "digests" / "big.bin", sapi::test::PseudoRandomBytes(300000, 8));
    proftpd.GiveToServer(temp_ / "digests" / "big.bin");
    const std::string url = "ftp://" + std::string(TestFtpServer::DefaultUser) + "@127.0.0.1:" +
                            std::to_string(proftpd.port()) + "/";
    const HostRun run = RunSapihost({"--verify=require", url, "get", "big.bin", Local("big.bin").string(), "put",
                                     Local("big.bin").string(), "copy.bin"},
                                    WithPassword());
    ASSERT_EQ(run.status, 0) << run.All();
    EXPECT_TRUE(Has(run.out, " s, verified (SHA-256))\nuploaded ")) << run.out;
    EXPECT_TRUE(Has(run.out, "as copy.bin (293.0 KiB, verified (SHA-256))\n")) << run.out;
}

TEST_F(HostEndToEnd, CatWritesTheFileToStandardOutput) {
    HostRun run = Host({"cat", "with space.txt"});
    ASSERT_EQ(run.status, 0) << run.All();
    EXPECT_EQ(run.out, "space\n");
    run = Host({"cat", "big.bin"});
    ASSERT_EQ(run.status, 0);
    EXPECT_EQ(run.out, ReadWholeFile(Root() / "big.bin"));
    run = Host({"cat", "nothing.here"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(Has(run.err, "ApiRemoteOpenFailed"));
}

TEST_F(HostEndToEnd, PutStoresFilesAndStandardInput) {
    WriteWholeFile(Local("report"), sapi::test::PseudoRandomBytes(1500000, 3));
    HostRun run = Host({"put", Local("report").string(), "--", "put", Local("report").string(), "sub/copy"});
    ASSERT_EQ(run.status, 0) << run.All();
    EXPECT_TRUE(sapi::test::SameFileContents(Local("report"), Root() / "report"));
    // A name with a folder but no extension is stored in that folder, as given.
    EXPECT_TRUE(sapi::test::SameFileContents(Local("report"), Root() / "sub" / "copy"));
    run = Host({"put", "-", "piped.txt"}, "from stdin\n");
    ASSERT_EQ(run.status, 0) << run.All();
    EXPECT_EQ(ReadWholeFile(Root() / "piped.txt"), "from stdin\n");
}

std::string Numbered(int i) { return std::string("f").append(std::to_string(i)).append(".csv"); }

TEST_F(HostEndToEnd, MgetAndMputMoveManyFilesOnOneConnection) {
    for (int i = 0; i < 5; ++i) WriteWholeFile(Root() / "batch" / Numbered(i), "row " + std::to_string(i));
    WriteWholeFile(Root() / "batch" / "skip.txt", "not matched");
    fs::create_directories(Local("down"));
    HostRunOptions options = WithPassword();
    options.workingDirectory = Local("down").string();
    HostRun run = RunSapihost({"--trace", Url("batch"), "get", "*.csv", "--", "mget", "skip.txt"}, options);
    ASSERT_EQ(run.status, 0) << run.All();
    for (int i = 0; i < 5; ++i) EXPECT_EQ(ReadWholeFile(Local("down") / Numbered(i)), "row " + std::to_string(i));
    EXPECT_EQ(ReadWholeFile(Local("down") / "skip.txt"), "not matched");
    EXPECT_TRUE(Has(run.out, "downloaded 5 files (")) << run.out;
    EXPECT_EQ(run.err.find("OpenServer(", run.err.find("OpenServer(") + 1), std::string::npos) << "one connection";

    fs::remove(Local("down") / "skip.txt");
    run = Host({"cd", "sub", "mput", Local("down").string() + "/f?.csv"});
    ASSERT_EQ(run.status, 0) << run.All();
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(sapi::test::SameFileContents(Root() / "batch" / Numbered(i), Root() / "sub" / Numbered(i)));
    }
    EXPECT_TRUE(Has(run.out, "uploaded 5 files (")) << run.out;

    run = Host({"cd", "batch", "get", "*.none"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(Has(run.err, "no file matches '*.none'")) << run.err;

    // -P 3: three connections of their own, besides the one that listed.
    fs::create_directories(Local("parallel"));
    options.workingDirectory = Local("parallel").string();
    run = RunSapihost({"--trace", Url("batch"), "mget", "-P", "3", "*.csv", "missing.csv"}, options);
    EXPECT_EQ(run.status, 1) << run.All();
    for (int i = 0; i < 5; ++i) EXPECT_EQ(ReadWholeFile(Local("parallel") / Numbered(i)), "row " + std::to_string(i));
    EXPECT_TRUE(Has(run.out, "downloaded 5 files (")) << run.out;
    EXPECT_TRUE(Has(run.out, ", 1 failed")) << run.out;
    size_t opens = 0;
    for (size_t at = run.err.find("OpenServer("); at != std::string::npos; at = run.err.find("OpenServer(", at + 1)) ++opens;
    EXPECT_EQ(opens, 4u);
    run = Host({"cd", "sub", "mput", "-P", "9", Local("parallel").string() + "/f?.csv"});
    EXPECT_EQ(run.status, 0) << run.All();
    EXPECT_TRUE(Has(run.out, "uploaded 5 files (")) << run.out;
    run = Host({"mget", "-P", "17", "a.txt"});
    EXPECT_TRUE(Has(run.err, "-P takes 1 to 16 connections")) << run.err;
}

// Waits for `condition` for up to 30 s; the server writes what it receives at
// its own pace.
bool Eventually(const std::function<bool()> &condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

uintmax_t SizeOrZero(const fs::path &path) {
    std::error_code error;
    const uintmax_t size = fs::file_size(path, error);
    return error ? 0 : size;
}

TEST_F(HostEndToEnd, CtrlCStopsAnUploadAndSaysWhatTheServerKept) {
    // One full block of the module's upload buffer goes out, then standard
    // input stays open and silent until Ctrl-C.
    HostRunOptions options = WithPassword(std::string(262144 + 1000, 'z'));
    options.keepInputOpen = true;
    const fs::path stored = Root() / "partial.bin";
    options.interruptWhen = [&] { return SizeOrZero(stored) >= 200000; };
    const HostRun run = RunSapihost({Url(), "put", "-", "partial.bin"}, options);
    EXPECT_EQ(run.status, 1) << run.All();
    EXPECT_TRUE(Has(run.err, "cancelled; the server keeps the part already sent")) << run.err;
    EXPECT_TRUE(Eventually([&] { return SizeOrZero(stored) == 262144; })) << SizeOrZero(stored);
}

TEST_F(HostEndToEnd, PutOfAMissingLocalFileLeavesTheServerAlone) {
    const HostRun run = Host({"put", Local("absent").string(), "a.txt"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(Has(run.err, "not a file")) << run.err;
    EXPECT_EQ(ReadWholeFile(Root() / "a.txt"), "line1\nline2\n");  // not emptied
}

TEST_F(HostEndToEnd, RmDeletesAndChecksTheServerDid) {
    HostRun run = Host({"rm", "a.txt", "ls"});
    ASSERT_EQ(run.status, 0) << run.All();
    EXPECT_EQ(run.out, "deleted a.txt\nsub/\nbig.bin\nwith space.txt\n");
    EXPECT_FALSE(fs::exists(Root() / "a.txt"));
    run = Host({"rm", "a.txt"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(Has(run.err, "no such file: 'a.txt'"));
    run = Host({"rm", "sub"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(fs::exists(Root() / "sub"));
}

TEST_F(HostEndToEnd, AFailedCommandStopsTheRest) {
    const HostRun run = Host({"cd", "nosuch", "mkdir", "after"});
    EXPECT_EQ(run.status, 1);
    EXPECT_FALSE(fs::exists(Root() / "after"));
}

TEST_F(HostEndToEnd, ShellRunsLinesKeepsHistoryAndReportsFailure) {
    HostRun run = RunSapihost({Url(), "shell"}, WithPassword("cd sub; pwd\n\nls\nhistory\nquit\npwd\n"));
    ASSERT_EQ(run.status, 0) << run.All();
    EXPECT_EQ(run.out, "/sub\ninner.txt\n    1  cd sub; pwd\n    2  ls\n    3  history\n");
    run = RunSapihost({Url()}, WithPassword("get nosuch.txt\npwd\n"));  // no command: the shell
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "/\n");  // goes on after a failure
    run = RunSapihost({"shell"}, WithPassword("ls\nopen " + Url("sub") + "\npwd\nclose\npwd\n"));
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(Has(run.err, "no server")) << run.err;
    EXPECT_TRUE(Has(run.out, "/sub\n"));
}

// The shell on a terminal, with keys typed at its prompt: every case leaves with 0.
TEST_F(HostEndToEnd, ShellOnATerminalTakesCtrlCCtrlDAndLinesTypedAhead) {
    struct Case {
        const char *what;
        std::vector<std::string> keys;
        std::string shown;
    };
    const Case cases[] = {
        {"Ctrl-C drops the line, the shell goes on", {"ls\x03", "pwd\r", "quit\r"}, "^C\r\n"},
        {"...and a command after it runs", {"ls\x03", "pwd\r", "quit\r"}, "\r\n/\r\n"},
        {"a second Ctrl-C in a row leaves", {"\x03", "\x03"}, "^C\r\n"},
        {"Ctrl-D at an empty prompt leaves", {"\x04"}, "> "},
        {"lines typed during a download are kept",
         {"get big.bin " + Local("ahead.bin").string() + "\rcd sub\rpwd\rquit\r"}, "/sub\r\n"},
    };
    for (const Case &c : cases) {
        HostRunOptions options = WithPassword();
        options.keysAtPrompt = c.keys;
        options.deadline = std::chrono::seconds(30);
        const HostRun run = RunSapihost({Url()}, options);
        EXPECT_EQ(run.status, 0) << c.what << "\n" << run.All();
        EXPECT_TRUE(Has(run.out, c.shown)) << c.what << "\n" << run.out;
    }
}

TEST_F(HostEndToEnd, ActiveModeWorksToo) {
    const HostRun run = RunSapihost({"--active", Url(), "ls", "sub", "cat", "a.txt"}, WithPassword());
    ASSERT_EQ(run.status, 0) << run.All();
    EXPECT_EQ(run.out, "inner.txt\nline1\nline2\n");
}

TEST_F(HostEndToEnd, OptionsInsteadOfAUrl) {
    HostRunOptions options;
    options.env["SAPIHOST_PASSWORD"] = "ignored";  // the option wins
    const HostRun run = RunSapihost({"--host", "127.0.0.1", "--port", std::to_string(server_->port()), "--user",
                                     TestFtpServer::DefaultUser, "--password", TestFtpServer::DefaultPassword, "pwd"},
                                    options);
    ASSERT_EQ(run.status, 0) << run.All();
    EXPECT_EQ(run.out, "/\n");
}

// Each failed open says why, in the server's words where it had any, and
// never shows the password.
TEST_F(HostEndToEnd, AFailedOpenSaysWhyAndNeverShowsThePassword) {
    const std::string pin(64, 'a');
    const std::string closedPort = "ftp://sapiftp@127.0.0.1:1/";
    const struct {
        std::vector<std::string> args;
        std::vector<std::string> said;
    } rows[] = {
        {{"--trace", Url(), "ls"}, {"cannot open ftp://sapiftp@127.0.0.1:", "530 ", "(-14 ApiConnectFailed)"}},
        // A pin means TLS: the clear-text server's refusal of AUTH TLS ends it.
        {{"-v", "--tls-fingerprint", pin, Url(), "ls"},
         {"explicit TLS (AUTH TLS)", "the server refused AUTH TLS: 5", "(-14 ApiConnectFailed)"}},
        {{closedPort, "ls"}, {"no connection to 127.0.0.1 port 1: refused or unreachable"}},
    };
    for (const auto &row : rows) {
        HostRunOptions options;
        options.env["SAPIHOST_PASSWORD"] = "not-the-Secret-42";
        const HostRun run = RunSapihost(row.args, options);
        EXPECT_EQ(run.status, 1) << run.All();
        for (const std::string &part : row.said) EXPECT_TRUE(Has(run.err, part)) << part << "\n" << run.err;
        EXPECT_FALSE(Has(run.All(), "could not connect or log in")) << run.err;
        EXPECT_FALSE(Has(run.All(), "not-the-Secret-42"));
        EXPECT_FALSE(Has(run.All(), "PASS ")) << "no password goes out after a refused AUTH TLS";
    }
}

TEST_F(HostEndToEnd, NoPasswordAndNoTerminalIsAUsageError) {
    HostRunOptions options;
    options.unsetEnv.push_back("SAPIHOST_PASSWORD");
    options.env["HOME"] = temp_.path().string();  // no ~/.netrc either
    const HostRun run = RunSapihost({Url(), "ls"}, options);
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(Has(run.err, "SAPIHOST_PASSWORD")) << run.err;
}

// ls prints folders, then files, each in byte order, whether the server sorted
// its listing (vsftpd) or sent the folder's own order (pyftpdlib): the first is
// printed as the module holds it, the second sorted in memory. Names beyond
// ASCII, and one near the longest a listing record holds, come out whole.
TEST(HostEndToEndListing, FoldersThenFilesInByteOrderFromEitherServer) {
    std::vector<std::string> files = {"\xC3\xA9t\xC3\xA9.txt", std::string(250, 'z'), "Z.txt"};
    for (int i = 0; i < 40; ++i) files.push_back(std::to_string(i * 7919 % 1000).append(".txt"));
    std::vector<std::string> folders = {"d2", "D1", "d10"};
    std::sort(files.begin(), files.end());
    std::sort(folders.begin(), folders.end());
    std::string expected;
    for (const auto &folder : folders) expected.append(folder).append("/\n");
    for (const auto &file : files) expected.append(file).append("\n");
    for (const char *kind : {"pyftpdlib", "vsftpd"}) {
        TempDir temp("sapihost-ls");
        for (const auto &file : files) WriteWholeFile(temp / "root" / file, "x");
        for (const auto &folder : folders) fs::create_directories(temp / "root" / folder);
        TestFtpServer server(kind, temp / "root");
        HostRunOptions options;
        options.env["SAPIHOST_PASSWORD"] = TestFtpServer::DefaultPassword;
        const HostRun run = RunSapihost(
            {"ftp://sapiftp@127.0.0.1:" + std::to_string(server.port()) + "/", "ls"}, options);
        ASSERT_EQ(run.status, 0) << kind << run.All();
        EXPECT_EQ(run.out, expected) << kind;
    }
}

// A listing with lines the module could not read is completed by name, and
// ls says so without -v: the user knows the folder was not listed plainly.
TEST(HostEndToEndListing, UnreadLinesAreCompletedAndTheUserIsTold) {
    TempDir temp("sapihost-odd");
    WriteWholeFile(temp / "root" / "a.txt", "a");
    WriteWholeFile(temp / "root" / "odd-b.txt", "b");
    fs::create_directories(temp / "root" / "odd-dir");
    sapi::test::TestFtpServerOptions options;
    options.oddListingLines = true;
    TestFtpServer server("pyftpdlib", temp / "root", TestFtpServer::DefaultUser, TestFtpServer::DefaultPassword,
                         options);
    HostRunOptions run;
    run.env["SAPIHOST_PASSWORD"] = TestFtpServer::DefaultPassword;
    const HostRun result = RunSapihost({"ftp://sapiftp@127.0.0.1:" + std::to_string(server.port()) + "/", "ls"}, run);
    ASSERT_EQ(result.status, 0) << result.All();
    EXPECT_EQ(result.out, "odd-dir/\na.txt\nodd-b.txt\n");
    EXPECT_EQ(result.err, "sapihost: ls: 2 listing lines were not understood; completed by name: 2 entries added\n");
}

TEST(HostEndToEndIpv6, BracketedAddressAndNamesBeyondAscii) {
    TempDir temp("sapihost-e2e6");
    const std::string accented = "\xC3\xA9t\xC3\xA9.txt";  // été.txt
    WriteWholeFile(temp / "root" / accented, "summer\n");
    sapi::test::TestFtpServerOptions options;
    options.address = "::1";
    TestFtpServer server("pyftpdlib", temp / "root", TestFtpServer::DefaultUser, TestFtpServer::DefaultPassword,
                         options);
    HostRunOptions run;
    run.env["SAPIHOST_PASSWORD"] = TestFtpServer::DefaultPassword;
    const std::string url = "ftp://sapiftp@[::1]:" + std::to_string(server.port()) + "/";
    const HostRun result = RunSapihost({url, "cat", accented, "mkdir", "dossier \xC3\xBC", "ls"}, run);
    ASSERT_EQ(result.status, 0) << result.All();
    EXPECT_EQ(result.out, "summer\ncreated dossier \xC3\xBC\ndossier \xC3\xBC/\n" + accented + "\n");
    EXPECT_TRUE(fs::is_directory(temp / "root" / "dossier \xC3\xBC"));
}

}  // namespace
}  // namespace sapihost::test
