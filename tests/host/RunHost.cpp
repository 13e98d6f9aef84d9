#include "RunHost.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

extern char **environ;

namespace sapihost::test {

namespace {

std::string BinaryDir() {
    const char *dir = std::getenv("SAPI_BINARY_DIR");
    if (dir == nullptr) throw std::runtime_error("SAPI_BINARY_DIR is not set (run through ctest)");
    return dir;
}

std::vector<std::string> Environment(const HostRunOptions &options) {
    std::vector<std::string> env;
    for (char **entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('='));
        bool dropped = options.env.count(name) > 0;
        for (const auto &unset : options.unsetEnv) dropped = dropped || unset == name;
        if (!dropped) env.push_back(text);
    }
    for (const auto &[name, value] : options.env) env.push_back(name + "=" + value);
    return env;
}

std::vector<char *> Pointers(std::vector<std::string> &texts) {
    std::vector<char *> pointers;
    for (auto &text : texts) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

struct Pipe {
    int fd[2] = {-1, -1};
    Pipe() {
        if (pipe2(fd, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    }
    ~Pipe() {
        Close(0);
        Close(1);
    }
    Pipe(const Pipe &) = delete;
    Pipe &operator=(const Pipe &) = delete;
    void Close(int end) {
        if (fd[end] >= 0) close(fd[end]);
        fd[end] = -1;
    }
};

// Feeds stdin and drains stdout and stderr until both close or the deadline passes.
bool Exchange(pid_t pid, Pipe &in, Pipe &out, Pipe &err, const HostRunOptions &options, HostRun &run,
              std::chrono::steady_clock::time_point deadline) {
    const std::string &input = options.input;
    size_t written = 0;
    bool interrupted = false;
    if (input.empty() && !options.keepInputOpen) in.Close(1);
    while (out.fd[0] >= 0 || err.fd[0] >= 0) {
        if (options.interruptWhen && !interrupted && options.interruptWhen()) {
            kill(pid, SIGINT);
            interrupted = true;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        const bool feeding = in.fd[1] >= 0 && written < input.size();
        pollfd fds[3] = {{out.fd[0], POLLIN, 0}, {err.fd[0], POLLIN, 0}, {feeding ? in.fd[1] : -1, POLLOUT, 0}};
        const auto wait = options.interruptWhen && !interrupted ? std::min<long>(left.count(), 20) : left.count();
        if (poll(fds, 3, static_cast<int>(wait)) < 0 && errno != EINTR) return false;
        char buffer[65536];
        Pipe *sources[2] = {&out, &err};
        std::string *sinks[2] = {&run.out, &run.err};
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
            const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) sinks[i]->append(buffer, static_cast<size_t>(got));
            if (got == 0 || (got < 0 && errno != EINTR)) sources[i]->Close(0);
        }
        if (fds[2].fd >= 0 && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP)) != 0) {
            const ssize_t put = write(in.fd[1], input.data() + written, input.size() - written);
            if (put > 0) written += static_cast<size_t>(put);
            if (put < 0 || (written == input.size() && !options.keepInputOpen)) in.Close(1);
        }
    }
    return true;
}

// Ends our own child (by pid) when it outlived the deadline, waits for it,
// and keeps how it exited.
void Reap(pid_t pid, bool finished, HostRun &run) {
    if (!finished) kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    run.status = finished && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (!finished) run.err += "\n[killed at the test's deadline]";
}

// The terminal's side: types each piece of keys when sapihost waits at an
// empty prompt, and reads everything it shows until it exits.
HostRun RunOnTerminal(std::vector<std::string> &argv, std::vector<std::string> &env, const HostRunOptions &options) {
    auto argPointers = Pointers(argv);
    auto envPointers = Pointers(env);
    int terminal = -1;
    const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (pid < 0) throw std::runtime_error("forkpty failed");
    if (pid == 0) {
        if (!options.workingDirectory.empty() && chdir(options.workingDirectory.c_str()) != 0) _exit(127);
        execve(argv[0].c_str(), argPointers.data(), envPointers.data());
        _exit(127);
    }
    const std::string idlePrompt = "> \x1b[K";  // the editor's rendering of an empty line
    HostRun run;
    size_t typed = 0, shownBefore = 0;
    const auto deadline = std::chrono::steady_clock::now() + options.deadline;
    bool finished = false;
    for (;;) {
        const bool idle = run.out.size() > shownBefore && run.out.ends_with(idlePrompt);
        if (idle && typed < options.keysAtPrompt.size()) {
            const std::string &keys = options.keysAtPrompt[typed++];
            if (write(terminal, keys.data(), keys.size()) < 0) break;
            shownBefore = run.out.size();
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd fd{terminal, POLLIN, 0};
        const int ready = left.count() > 0 ? poll(&fd, 1, static_cast<int>(left.count())) : -1;
        if (left.count() <= 0 || (ready < 0 && errno != EINTR)) break;
        if (ready <= 0) continue;
        char buffer[4096];
        const ssize_t got = read(terminal, buffer, sizeof buffer);
        if (got > 0) run.out.append(buffer, static_cast<size_t>(got));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {  // EIO: the last holder of the terminal's other side is gone
            finished = true;
            break;
        }
    }
    close(terminal);
    Reap(pid, finished, run);
    return run;
}

}  // namespace

std::string SapihostPath() { return BinaryDir() + "/host/sapihost"; }
std::string ShortWaitsModulePath() { return BinaryDir() + "/PelkSAPIFTP/PelkSAPIFTP-shortwaits.so"; }

HostRun RunSapihost(const std::vector<std::string> &args, const HostRunOptions &options) {
    std::vector<std::string> argv{SapihostPath()};
    bool namesModule = options.defaultModule;
    for (const auto &arg : args) namesModule = namesModule || arg.rfind("--module", 0) == 0;
    if (!namesModule) argv.insert(argv.end(), {"--module", ShortWaitsModulePath()});
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> env = Environment(options);
    if (!options.keysAtPrompt.empty()) return RunOnTerminal(argv, env, options);
    Pipe in, out, err;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in.fd[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out.fd[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err.fd[1], 2);
    if (!options.workingDirectory.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, options.workingDirectory.c_str());
    }
    pid_t pid = -1;
    auto argPointers = Pointers(argv);
    auto envPointers = Pointers(env);
    const int spawned = posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, argPointers.data(), envPointers.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(spawned));
    in.Close(0);
    out.Close(1);
    err.Close(1);
    signal(SIGPIPE, SIG_IGN);
    HostRun run;
    const bool finished = Exchange(pid, in, out, err, options, run, std::chrono::steady_clock::now() + options.deadline);
    Reap(pid, finished, run);
    return run;
}

}  // namespace sapihost::test
