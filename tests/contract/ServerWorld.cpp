#include "ServerWorld.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <vector>

extern char **environ;

namespace sapi::contract {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

std::string EnvironmentOr(const char *name, const char *fallback) {
    const char *value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : fallback;
}

// A shell keeps the server: it ends it when its input closes, which happens
// also when this test process dies without a word.
const char *const keeperScript = "\"$0\" \"$@\" & server=$!; read _; kill $server; wait $server";

uint16_t WaitForPort(const fs::path &portFile, pid_t keeper) {
    const auto deadline = Clock::now() + std::chrono::seconds(15);
    while (Clock::now() < deadline) {
        std::ifstream in(portFile);
        int port = 0;
        if (in >> port && port > 0) return static_cast<uint16_t>(port);
        if (::waitpid(keeper, nullptr, WNOHANG) == keeper) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    throw std::runtime_error("the contract's FTP server did not start");
}

}  // namespace

ServerWorld::ServerWorld() {
    fs::create_directories(root_);
    const fs::path source = EnvironmentOr("SAPI_SOURCE_DIR", SAPI_TEST_SOURCE_DIR);
    const std::vector<std::string> arguments = {
        "/bin/sh", "-c", keeperScript, EnvironmentOr("SAPI_PYTHON", "/usr/bin/python3"),
        (source / "tools" / "ftpserver-wine.py").string(), "--root", root_.string(),
        "--port-file", (work_ / "port").string(), "--size-in-ascii",
        "--cut-short-prefix", cutShortPrefix, "--disk-full-prefix", diskFullPrefix};
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) throw std::system_error(errno, std::generic_category(), "pipe2");
    test::UniqueFd readEnd(ends[0]);
    keeperInput_ = test::UniqueFd(ends[1]);
    const int log = ::open((work_ / "ftp.log").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_t attributes;  // a group of its own, for the last resort in Stop()
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawn_file_actions_adddup2(&actions, readEnd.get(), 0);
    if (log >= 0) posix_spawn_file_actions_adddup2(&actions, log, 2);
    std::vector<char *> argv;
    for (const std::string &argument : arguments) argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    const int error = ::posix_spawn(&keeper_, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (log >= 0) ::close(log);
    if (error != 0) throw std::system_error(error, std::generic_category(), "spawning the FTP server");
    try {
        port_ = WaitForPort(work_ / "port", keeper_);
    } catch (...) {
        Stop();
        throw;
    }
}

ServerWorld::~ServerWorld() { Stop(); }

// The keeper ends the server when its input closes; should that take more
// than a few seconds, the keeper's group (it and the server) is killed.
void ServerWorld::Stop() {
    keeperInput_.Reset();
    if (keeper_ <= 0) return;
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (::waitpid(keeper_, nullptr, WNOHANG) == 0) {
        if (Clock::now() >= deadline) {
            ::kill(-keeper_, SIGKILL);
            ::waitpid(keeper_, nullptr, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    keeper_ = -1;
}

ServerLogin ServerWorld::Login() {
    return {WideFromAscii("127.0.0.1"), port_, WideFromAscii("user"), WideFromAscii("pass")};
}

void ServerWorld::PutFile(const std::string &path, const std::string &bytes) {
    test::WriteWholeFile(root_ / path, bytes);
}

void ServerWorld::MakeFolder(const std::string &path) { fs::create_directories(root_ / path); }

std::optional<std::string> ServerWorld::FileOnServer(const std::string &path) {
    if (!fs::is_regular_file(root_ / path)) return std::nullopt;
    return test::ReadWholeFile(root_ / path);
}

bool ServerWorld::PutHugeFile(const std::string &path, uint64_t size) {
    fs::create_directories((root_ / path).parent_path());
    test::MakeSparseFile(root_ / path, size);
    return true;
}

}  // namespace sapi::contract
