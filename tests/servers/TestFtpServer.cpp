#include "TestFtpServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <system_error>
#include <thread>

extern char **environ;

namespace sapi::test {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr auto StartTimeout = std::chrono::seconds(30);
// A launcher stops its server in well under a second; vsftpd sessions that
// ignore SIGTERM cost it a few seconds more before SIGKILL.
constexpr auto StopTimeout = std::chrono::seconds(20);

std::string EnvironmentOr(const char *name, const std::string &fallback) {
    const char *value = std::getenv(name);
    return value != nullptr && *value != '\0' ? std::string(value) : fallback;
}

fs::path LauncherScript() {
    return fs::path(EnvironmentOr("SAPI_SOURCE_DIR", SAPI_TEST_SOURCE_DIR)) / "tests" / "servers" /
           "ftpserver.py";
}

std::pair<UniqueFd, UniqueFd> MakePipe() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) throw std::system_error(errno, std::generic_category(), "pipe2");
    return {UniqueFd(ends[0]), UniqueFd(ends[1])};
}

std::vector<std::string> LauncherArguments(const std::string &kind, const fs::path &root,
                                           const std::string &user, const std::string &password,
                                           const TestFtpServerOptions &options) {
    std::vector<std::string> arguments = {EnvironmentOr("SAPI_PYTHON", "/usr/bin/python3"),
                                          LauncherScript().string(), kind, "--root", root.string(),
                                          "--user", user, "--password", password, "--address",
                                          options.address};
    if (options.sizeInAscii) arguments.emplace_back("--size-in-ascii");
    if (options.slowFailedLogins) arguments.emplace_back("--slow-failed-logins");
    for (const auto &folder : options.readOnlyFolders) {
        arguments.emplace_back("--read-only");
        arguments.push_back(folder);
    }
    if (options.idleTimeoutSeconds > 0) {
        arguments.emplace_back("--idle-timeout");
        arguments.push_back(std::to_string(options.idleTimeoutSeconds));
    }
    if (!options.chroot) arguments.emplace_back("--no-chroot");
    if (options.digests) arguments.emplace_back("--digest");
    if (options.oddListingLines) arguments.emplace_back("--odd-listing-lines");
    if (options.burstBytes > 0) {
        arguments.emplace_back("--burst-bytes");
        arguments.push_back(std::to_string(options.burstBytes));
    }
    if (!options.tls.empty()) {
        for (const std::string &argument : {std::string("--tls"), options.tls, std::string("--tls-cert"),
                                            options.tlsCertificate.string(), std::string("--tls-key"),
                                            options.tlsKey.string()}) {
            arguments.push_back(argument);
        }
    }
    if (!options.logCopy.empty()) {
        arguments.emplace_back("--log");
        arguments.push_back(options.logCopy.string());
    }
    return arguments;
}

// Waits for the launcher to exit; false when it has not within `timeout`.
bool WaitForExit(pid_t pid, Clock::duration timeout) {
    const auto deadline = Clock::now() + timeout;
    while (true) {
        int status = 0;
        const pid_t result = ::waitpid(pid, &status, WNOHANG);
        if (result == pid || (result < 0 && errno == ECHILD)) return true;
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

}  // namespace

const std::vector<std::string> &TestFtpServer::Kinds() {
    static const std::vector<std::string> kinds = {"pyftpdlib", "vsftpd", "proftpd", "pureftpd"};
    return kinds;
}

const std::vector<std::string> &TestFtpServer::PlainKinds() {
    static const std::vector<std::string> kinds = [] {
        std::vector<std::string> all = Kinds();
        all.insert(all.end(), {"inetutils", "twisted"});
        return all;
    }();
    return kinds;
}

TestFtpServer::TestFtpServer(std::string kind, const fs::path &root, std::string user,
                             std::string password, TestFtpServerOptions options)
    : kind_(std::move(kind)), user_(std::move(user)), password_(std::move(password)),
      options_(std::move(options)) {
    Spawn(root);
    try {
        ReadStartLines();
    } catch (...) {
        Stop();
        throw;
    }
}

TestFtpServer::~TestFtpServer() { Stop(); }

void TestFtpServer::Spawn(const fs::path &root) {
    auto [stdinRead, stdinWrite] = MakePipe();
    auto [stdoutRead, stdoutWrite] = MakePipe();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, stdinRead.get(), 0);
    posix_spawn_file_actions_adddup2(&actions, stdoutWrite.get(), 1);
    const auto arguments = LauncherArguments(kind_, root, user_, password_, options_);
    std::vector<char *> argv;
    for (const auto &argument : arguments) argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    const int error = ::posix_spawn(&launcher_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        launcher_ = -1;
        throw std::system_error(error, std::generic_category(), "spawning " + arguments[0]);
    }
    stdinPipe_ = std::move(stdinWrite);
    stdoutPipe_ = std::move(stdoutRead);
}

// Reads "UID n" and "PORT n"; anything else the launcher prints is ignored.
void TestFtpServer::ReadStartLines() {
    const auto deadline = Clock::now() + StartTimeout;
    std::string pending;
    while (port_ == 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd entry{stdoutPipe_.get(), POLLIN, 0};
        if (left.count() <= 0 || ::poll(&entry, 1, static_cast<int>(left.count())) <= 0)
            throw std::runtime_error(kind_ + " did not report its port in time");
        char buffer[256];
        const ssize_t count = ::read(stdoutPipe_.get(), buffer, sizeof buffer);
        if (count <= 0) throw std::runtime_error(kind_ + " failed to start (see its messages above)");
        pending.append(buffer, static_cast<std::size_t>(count));
        for (std::size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
            const std::string line = pending.substr(0, end);
            if (line.rfind("UID ", 0) == 0) serverUid_ = static_cast<uid_t>(std::stoul(line.substr(4)));
            if (line.rfind("PORT ", 0) == 0) port_ = static_cast<uint16_t>(std::stoul(line.substr(5)));
        }
    }
    stdoutPipe_.Reset();
}

void TestFtpServer::GiveToServer(const fs::path &path) const {
    const auto give = [this](const fs::path &entry) {
        if (::lchown(entry.c_str(), serverUid_, static_cast<gid_t>(serverUid_)) != 0)
            throw std::system_error(errno, std::generic_category(), "lchown " + entry.string());
    };
    give(path);
    if (fs::is_directory(fs::symlink_status(path)))
        for (const auto &entry : fs::recursive_directory_iterator(path)) give(entry.path());
}

void TestFtpServer::Stop() {
    stdinPipe_.Reset();
    stdoutPipe_.Reset();
    if (launcher_ <= 0) return;
    if (!WaitForExit(launcher_, StopTimeout)) {
        ::kill(launcher_, SIGTERM);
        if (!WaitForExit(launcher_, StopTimeout)) {
            ::kill(launcher_, SIGKILL);
            WaitForExit(launcher_, StopTimeout);
        }
    }
    launcher_ = -1;
}

}  // namespace sapi::test
