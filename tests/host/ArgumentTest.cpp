// sapihost runs that need no FTP server: what the module says about itself,
// usage errors, and a server that is not there.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <regex>

#include "RunHost.h"
#include "TestFiles.h"

namespace sapihost::test {
namespace {

bool Has(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

TEST(HostArguments, DescribeShowsIdentityAndEveryLabel) {
    const HostRun run = RunSapihost({"describe"});
    ASSERT_EQ(run.status, 0) << run.All();
    EXPECT_TRUE(Has(run.out, "Type name:  FTP\n"));
    EXPECT_TRUE(Has(run.out, "Group:      FTP Servers\n"));
    EXPECT_TRUE(Has(run.out, "  ServerPrimaryPort            FTP Server Port\n"));
    EXPECT_TRUE(Has(run.out, "  ServerVerifyByRead           Pre-Transfer File Test\n"));
    EXPECT_TRUE(Has(run.out, "Asset parameters:\n  AssetName                    Asset Name\n"));
    const size_t id = run.out.find("Type id:    {");
    ASSERT_NE(id, std::string::npos);
    EXPECT_EQ(run.out.at(id + 12 + 37), '}');
}

TEST(HostArguments, TraceShowsTheTableCallsInOrder) {
    const HostRun run = RunSapihost({"--trace", "describe"});
    ASSERT_EQ(run.status, 0) << run.All();
    const char *calls[] = {"InitServerAPI(version=3, &table) -> 0 ApiOk",
                           "GetServerTypeName(text=null, &length=0) -> 0 ApiOk, length=4",
                           "GetServerTypeName(text, &length=4) -> 0 ApiOk, text=\"FTP\"",
                           "CreateParameterSet(&set) -> 0 ApiOk, set=1",
                           "DescribeServerParameters(set=1) -> 0 ApiOk",
                           "DestroyParameterSet(set=1)",
                           "DescribeAssetParameters(set=2) -> 0 ApiOk",
                           "ReleaseServerAPI()"};
    size_t at = 0;
    for (const char *call : calls) {
        const size_t found = run.err.find(call, at);
        ASSERT_NE(found, std::string::npos) << call << "\n" << run.err;
        at = found;
    }
}

TEST(HostArguments, UsageErrorsExitWithTwo) {
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{"ftp://h:99999/", "ls"}, {"http://h/", "ls"}, {"ls"}, {"--bogus"},
          {"frobnicate"}, {"get"}, {"ftp://[::1/", "ls"}}) {
        const HostRun run = RunSapihost(args);
        EXPECT_EQ(run.status, 2) << args[0] << "\n" << run.All();
        EXPECT_TRUE(Has(run.err, "sapihost: ")) << run.err;
    }
}

TEST(HostArguments, AModuleThatCannotBeLoadedIsReported) {
    HostRun run = RunSapihost({"--module", "/nonexistent/PelkSAPIFTP.so", "describe"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(Has(run.err, "cannot load the module /nonexistent/PelkSAPIFTP.so"));
    run = RunSapihost({"--module", "/lib/x86_64-linux-gnu/libm.so.6", "describe"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(Has(run.err, "not a server-access module")) << run.err;
}

TEST(HostArguments, TheDefaultModuleIsFoundBesideTheExecutable) {
    HostRunOptions options;
    options.defaultModule = true;
    const HostRun run = RunSapihost({"--trace", "describe"}, options);
    ASSERT_EQ(run.status, 0) << run.All();
    EXPECT_TRUE(Has(run.out, "Type name:  FTP\n"));
}

TEST(HostArguments, VersionNamesOurBuildTheModulesBuildAndItsIdentity) {
    const HostRun run = RunSapihost({"--version"});
    ASSERT_EQ(run.status, 0) << run.All();
    EXPECT_EQ(run.out.rfind("sapihost " SAPI_VERSION " (host interface version 3)\n", 0), 0u) << run.out;
    EXPECT_TRUE(Has(run.out, "module    " + ShortWaitsModulePath() + "\n")) << run.out;
    EXPECT_TRUE(Has(run.out, "build     PelkSAPIFTP " SAPI_VERSION " (FTP client: its own, over TCP sockets)\n"))
        << run.out;
    EXPECT_TRUE(std::regex_search(run.out, std::regex(R"(serves    FTP \{[0-9A-F-]{36}\}, listed under "FTP Servers")")))
        << run.out;
}

// The manual page is written by hand; this keeps it from falling behind --help.
TEST(HostArguments, TheManualPageHasEveryOptionAndCommandOfHelp) {
    const HostRun help = RunSapihost({"--help"});
    ASSERT_EQ(help.status, 0) << help.All();
    std::string manual = sapi::test::ReadWholeFile(std::string(std::getenv("SAPI_SOURCE_DIR")) + "/host/sapihost.1");
    manual = std::regex_replace(manual, std::regex(R"(\\-)"), "-");
    const std::regex option(R"((?:^|[\s,])(--?[a-z][a-z-]*))");
    const std::regex command(R"(\n  ([a-z]+) )");
    size_t options = 0, commands = 0;
    for (std::sregex_iterator it(help.out.begin(), help.out.end(), option), end; it != end; ++it, ++options) {
        EXPECT_TRUE(Has(manual, (*it)[1].str())) << "option " << (*it)[1] << " is not in sapihost.1";
    }
    const std::string commandPart = help.out.substr(help.out.find("\nCommands"));
    for (std::sregex_iterator it(commandPart.begin(), commandPart.end(), command), end; it != end; ++it, ++commands) {
        EXPECT_TRUE(std::regex_search(manual, std::regex("\n\\.B[IR]? " + (*it)[1].str() + "[ ,\n]")))
            << "command " << (*it)[1] << " is not in sapihost.1";
    }
    EXPECT_GE(options, 14u);
    EXPECT_GE(commands, 17u);
}

TEST(HostArguments, NobodyListeningIsAConnectFailure) {
    // A port that was free a moment ago: bind, read it, close.
    const int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(bind(probe, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    getsockname(probe, reinterpret_cast<sockaddr *>(&address), &length);
    close(probe);
    HostRunOptions options;
    options.env["SAPIHOST_PASSWORD"] = "x";
    const HostRun run = RunSapihost({"ftp://u@127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/", "ls"}, options);
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(Has(run.err, "-14 ApiConnectFailed")) << run.err;
}

}  // namespace
}  // namespace sapihost::test
