// POSIX side of the platform layer: dlopen, /proc/self/exe, signals, files.
#include "platform/Platform.h"

#include <dirent.h>
#include <dlfcn.h>
#include <signal.h>
#include <limits.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace sapihost::platform {

namespace {

class PosixModule final : public LoadedModule {
public:
    explicit PosixModule(void *handle) : handle_(handle) {}
    ~PosixModule() override { dlclose(handle_); }
    PosixModule(const PosixModule &) = delete;
    PosixModule &operator=(const PosixModule &) = delete;
    void *Symbol(const char *name) override { return dlsym(handle_, name); }

private:
    void *handle_;
};

class PosixTicker final : public Ticker {
public:
    PosixTicker(std::function<void()> tick, unsigned intervalMs)
        : thread_([this, tick = std::move(tick), intervalMs] { Run(tick, intervalMs); }) {}
    ~PosixTicker() override {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    PosixTicker(const PosixTicker &) = delete;
    PosixTicker &operator=(const PosixTicker &) = delete;

private:
    void Run(const std::function<void()> &tick, unsigned intervalMs) {
        std::unique_lock lock(mutex_);
        while (!wake_.wait_for(lock, std::chrono::milliseconds(intervalMs), [this] { return stopping_; })) {
            lock.unlock();
            tick();
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread thread_;  // last: starts after the members it uses exist
};

class PosixWorker final : public Worker {
public:
    explicit PosixWorker(std::function<void()> work) : thread_(std::move(work)) {}
    ~PosixWorker() override { thread_.join(); }
    PosixWorker(const PosixWorker &) = delete;
    PosixWorker &operator=(const PosixWorker &) = delete;

private:
    std::thread thread_;
};

}  // namespace

namespace {

volatile sig_atomic_t interruptRequested = 0;
struct sigaction previousInterrupt {};

void OnInterrupt(int) {
    if (interruptRequested != 0) {
        sigaction(SIGINT, &previousInterrupt, nullptr);  // the second Ctrl-C ends us
        raise(SIGINT);
        return;
    }
    interruptRequested = 1;
    static const char note[] = "\n(stopping once the module hands control back; Ctrl-C again to quit now)\n";
    [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, note, sizeof note - 1);
}

}  // namespace

InterruptScope::InterruptScope() {
    interruptRequested = 0;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;  // the module's socket calls go on; our own reads poll
    sigaction(SIGINT, &action, &previousInterrupt);
}

InterruptScope::~InterruptScope() { sigaction(SIGINT, &previousInterrupt, nullptr); }

bool InterruptScope::Requested() { return interruptRequested != 0; }

std::unique_ptr<LoadedModule> LoadedModule::Load(const std::string &path, std::string &error) {
    void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char *message = dlerror();
        error = message != nullptr ? message : "dlopen failed";
        return nullptr;
    }
    return std::make_unique<PosixModule>(handle);
}

std::string ExecutablePath() {
    char buffer[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
    if (length <= 0 || static_cast<size_t>(length) >= sizeof buffer) return {};
    return std::string(buffer, static_cast<size_t>(length));
}

std::string ModuleFileName(const std::string &baseName) { return baseName + ".so"; }

bool IsTerminal(std::FILE *stream) { return isatty(fileno(stream)) != 0; }

int TerminalColumns() {
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

std::optional<std::string> Environment(const char *name) {
    const char *value = std::getenv(name);
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

void SetEnvironment(const char *name, const std::string &value) { ::setenv(name, value.c_str(), 1); }

std::optional<size_t> ReadStandardInput(void *buffer, size_t size) {
    auto *bytes = static_cast<unsigned char *>(buffer);
    size_t got = 0;
    while (got < size && !InterruptScope::Requested()) {
        // Poll first, so that a Ctrl-C between our check and the read cannot
        // leave us blocked on a pipe that stays silent.
        pollfd ready{STDIN_FILENO, POLLIN, 0};
        if (poll(&ready, 1, 200) <= 0) continue;
        const ssize_t count = read(STDIN_FILENO, bytes + got, size - got);
        if (count == 0) break;
        if (count < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return std::nullopt;
        }
        got += static_cast<size_t>(count);
    }
    return got;
}

void UseBinaryStdout() {}
void UseBinaryStdin() {}

std::unique_ptr<Ticker> Ticker::Start(std::function<void()> tick, unsigned intervalMs) {
    return std::make_unique<PosixTicker>(std::move(tick), intervalMs);
}

std::unique_ptr<Worker> Worker::Start(std::function<void()> work) {
    return std::make_unique<PosixWorker>(std::move(work));
}

std::optional<uint64_t> RegularFileSize(const std::string &path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    return static_cast<uint64_t>(info.st_size);
}

bool IsDirectory(const std::string &path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::vector<std::string> FilesIn(const std::string &folder) {
    std::vector<std::string> names;
    const std::unique_ptr<DIR, int (*)(DIR *)> dir(opendir(folder.c_str()), closedir);
    if (!dir) return names;
    while (const dirent *entry = readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name != "." && name != ".." && RegularFileSize(folder + "/" + name)) names.push_back(name);
    }
    return names;
}

bool RenameReplacing(const std::string &from, const std::string &to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

void RemoveFile(const std::string &path) { unlink(path.c_str()); }

}  // namespace sapihost::platform
