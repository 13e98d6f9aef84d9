#include "DelayLine.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "UniqueFd.h"

extern char **environ;

namespace sapi::interop {

namespace {

std::string EnvironmentOr(const char *name, const std::string &fallback) {
    const char *value = std::getenv(name);
    return value != nullptr && *value != '\0' ? std::string(value) : fallback;
}

bool Reaped(pid_t pid, std::chrono::milliseconds patience) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (::waitpid(pid, nullptr, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// Reads the proxy's "PORT n" line, waiting at most ten seconds in all.
uint16_t ReadPort(int fd) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::string text;
    while (text.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd entry{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&entry, 1, static_cast<int>(left.count())) <= 0) return 0;
        char buffer[64];
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count <= 0) return 0;
        text.append(buffer, static_cast<std::size_t>(count));
    }
    return text.rfind("PORT ", 0) == 0 ? static_cast<uint16_t>(std::stoul(text.substr(5))) : 0;
}

}  // namespace

DelayLine::DelayLine(uint16_t serverPort, int roundTripMilliseconds) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
    test::UniqueFd readEnd(ends[0]), writeEnd(ends[1]);
    const std::vector<std::string> arguments = {
        EnvironmentOr("SAPI_PYTHON", "/usr/bin/python3"),
        EnvironmentOr("SAPI_SOURCE_DIR", ".") + "/bench/delay_proxy.py", std::to_string(serverPort),
        std::to_string(roundTripMilliseconds)};
    std::vector<char *> argv;
    for (const auto &argument : arguments) argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), 1);
    const int error = ::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) throw std::runtime_error("cannot start the delay line");
    writeEnd.Reset();
    port_ = ReadPort(readEnd.get());
    if (port_ == 0) {
        this->~DelayLine();
        throw std::runtime_error("the delay line did not report its port");
    }
}

DelayLine::~DelayLine() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    if (!Reaped(pid_, std::chrono::seconds(5))) {
        ::kill(pid_, SIGKILL);
        Reaped(pid_, std::chrono::seconds(5));
    }
    pid_ = -1;
}

}  // namespace sapi::interop
