// What a new user of sapihost hits at once: logins from ~/.netrc, an empty
// remote file, and a local folder that cannot take the download. Against
// pyftpdlib on loopback, with the module whose waits are a hundredth of the real ones.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <memory>

#include "RunHost.h"
#include "TestFiles.h"
#include "TestFtpServer.h"

namespace sapihost::test {
namespace {

namespace fs = std::filesystem;
using sapi::test::ReadWholeFile;
using sapi::test::TestFtpServer;
using sapi::test::WriteWholeFile;

bool Has(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

class HostHabits : public ::testing::Test {
protected:
    void SetUp() override {
        WriteWholeFile(temp_ / "root" / "a.txt", "line1\n");
        WriteWholeFile(temp_ / "root" / "empty.txt", "");
        fs::create_directories(Home());
        server_ = std::make_unique<TestFtpServer>("pyftpdlib", temp_ / "root");
    }
    fs::path Home() const { return temp_ / "home"; }
    fs::path Local(const std::string &name) const { return temp_ / name; }
    std::string Url(const std::string &user) const {
        return "ftp://" + (user.empty() ? "" : user + "@") + "127.0.0.1:" + std::to_string(server_->port()) + "/";
    }
    // sapihost with HOME pointing at our folder and no password from the environment.
    HostRun Host(std::vector<std::string> args) const {
        HostRunOptions options;
        options.unsetEnv.push_back("SAPIHOST_PASSWORD");
        options.env["HOME"] = Home().string();
        return RunSapihost(args, options);
    }

    sapi::test::TempDir temp_{"sapihost-habits"};
    std::unique_ptr<TestFtpServer> server_;
};

struct NetrcCase {
    const char *name;
    std::string text;  // {user} and {password} stand for the server's account
    mode_t mode;
    const char *urlUser;
    int status;
    const char *said;  // on stderr (with --trace)
};

void PrintTo(const NetrcCase &netrc, std::ostream *out) { *out << netrc.name; }

class HostNetrcLogin : public HostHabits, public ::testing::WithParamInterface<NetrcCase> {};

std::string Fill(std::string text) {
    for (const auto &[mark, value] : {std::pair<std::string, std::string>{"{user}", TestFtpServer::DefaultUser},
                                      {"{password}", TestFtpServer::DefaultPassword}}) {
        for (size_t at = text.find(mark); at != std::string::npos; at = text.find(mark)) text.replace(at, mark.size(), value);
    }
    return text;
}

TEST_P(HostNetrcLogin, TakesTheLoginOrRefusesAFileOthersMayRead) {
    const NetrcCase &c = GetParam();
    const fs::path netrc = Home() / ".netrc";
    WriteWholeFile(netrc, Fill(c.text));
    ASSERT_EQ(chmod(netrc.c_str(), c.mode), 0);
    const HostRun run = Host({"--trace", Url(c.urlUser), "cat", "a.txt"});
    EXPECT_EQ(run.status, c.status) << run.All();
    EXPECT_TRUE(Has(run.err, Fill(c.said))) << run.err;
    EXPECT_EQ(run.out, c.status == 0 ? "line1\n" : "");
    // The password itself shows nowhere, traced or not.
    EXPECT_FALSE(Has(run.All(), "\"" + std::string(TestFtpServer::DefaultPassword) + "\"")) << run.err;
    EXPECT_FALSE(Has(run.All(), "value=\"" + std::string(TestFtpServer::DefaultPassword))) << run.err;
}

const NetrcCase kNetrcLogins[] = {
    {"MachineGivesUserAndPassword", "machine 127.0.0.1 login {user} password {password}\n", 0600, "", 0,
     "password for ftp://{user}@127.0.0.1:"},
    {"DefaultEntryForAGivenUser", "machine elsewhere login x password y\ndefault login {user} password {password}\n",
     0600, "sapiftp", 0, "/.netrc (default entry)"},
    {"ReadableByOthersIsRefused", "machine 127.0.0.1 login {user} password {password}\n", 0644, "", 2,
     "other users may read it: not used (chmod 600"},
    {"GroupWritableIsRefused", "machine 127.0.0.1 login {user} password {password}\n", 0620, "", 2,
     "other users may read it"},
    {"WrongPasswordIsALoginFailure", "machine 127.0.0.1 login {user} password nope\n", 0600, "", 1,
     "-14 ApiConnectFailed"},
};

INSTANTIATE_TEST_SUITE_P(Cases, HostNetrcLogin, ::testing::ValuesIn(kNetrcLogins),
                         [](const auto &testInfo) { return std::string(testInfo.param.name); });

TEST_F(HostHabits, TheTraceSaysTheNetrcLineTheLoginCameFrom) {
    const fs::path netrc = Home() / ".netrc";
    WriteWholeFile(netrc, Fill("machine 127.0.0.1 login {user} password {password}\n"));
    ASSERT_EQ(chmod(netrc.c_str(), 0600), 0);
    const HostRun run = Host({"--trace", Url(""), "pwd"});
    ASSERT_EQ(run.status, 0) << run.All();
    EXPECT_TRUE(Has(run.err, "from " + netrc.string() + " (machine 127.0.0.1)\n")) << run.err;
}

TEST_F(HostHabits, AnEmptyRemoteFileGivesAnEmptyLocalFile) {
    server_->GiveToServer(temp_ / "root" / "empty.txt");
    WriteWholeFile(Local("old.txt"), "an older copy");
    HostRunOptions options;
    options.env["SAPIHOST_PASSWORD"] = TestFtpServer::DefaultPassword;
    const HostRun got = RunSapihost({Url(TestFtpServer::DefaultUser), "get", "empty.txt", Local("old.txt").string()},
                                    options);
    ASSERT_EQ(got.status, 0) << got.All();
    EXPECT_EQ(ReadWholeFile(Local("old.txt")), "");
    EXPECT_FALSE(fs::exists(Local("old.txt.part")));
}

TEST_F(HostHabits, ALocalFolderThatCannotTakeTheFileIsSaidBeforeAnyTransfer) {
    WriteWholeFile(Local("plain-file"), "x");
    const std::pair<fs::path, int> cases[] = {{Local("no-such-folder") / "a.txt", ENOENT},
                                              {Local("plain-file") / "a.txt", ENOTDIR}};
    HostRunOptions options;
    options.env["SAPIHOST_PASSWORD"] = TestFtpServer::DefaultPassword;
    for (const auto &[target, error] : cases) {
        const HostRun run =
            RunSapihost({"--trace", Url(TestFtpServer::DefaultUser), "get", "a.txt", target.string()}, options);
        EXPECT_EQ(run.status, 1) << run.All();
        EXPECT_TRUE(Has(run.err, "cannot create " + target.string() + ": " + std::strerror(error) +
                                     "; nothing was fetched"))
            << run.err;
        EXPECT_FALSE(Has(run.err, "DownloadAsset(")) << run.err;
    }
}

}  // namespace
}  // namespace sapihost::test
