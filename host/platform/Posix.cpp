// POSIX side of the platform layer: dlopen, /proc/self/exe, termios.
#include "platform/Platform.h"

#include <dlfcn.h>
#include <signal.h>
#include <limits.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
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

// Restores the terminal's settings on every way out.
class TerminalMode {
public:
    explicit TerminalMode(bool raw) {
        if (tcgetattr(STDIN_FILENO, &saved_) != 0) return;
        termios changed = saved_;
        if (raw) {
            changed.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
            changed.c_iflag &= ~static_cast<tcflag_t>(ICRNL | IXON);
            changed.c_cc[VMIN] = 1;
            changed.c_cc[VTIME] = 0;
        } else {
            changed.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        }
        active_ = tcsetattr(STDIN_FILENO, TCSAFLUSH, &changed) == 0;
    }
    ~TerminalMode() {
        if (active_) tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_);
    }
    TerminalMode(const TerminalMode &) = delete;
    TerminalMode &operator=(const TerminalMode &) = delete;

private:
    termios saved_{};
    bool active_ = false;
};

std::optional<std::string> ReadPlainLine(std::FILE *stream) {
    std::string line;
    int c = 0;
    while ((c = std::fgetc(stream)) != EOF && c != '\n') line.push_back(static_cast<char>(c));
    if (c == EOF && line.empty()) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

int ReadByte() {
    unsigned char byte = 0;
    return read(STDIN_FILENO, &byte, 1) == 1 ? byte : -1;
}

}  // namespace

// The line editor: a byte buffer and a cursor kept on UTF-8 character starts.
namespace {

bool IsContinuation(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

size_t CharactersAfter(const std::string &line, size_t cursor) {
    size_t count = 0;
    for (size_t i = cursor; i < line.size(); ++i) {
        if (!IsContinuation(line[i])) ++count;
    }
    return count;
}

void Redraw(const std::string &prompt, const std::string &line, size_t cursor) {
    std::string out = "\r" + prompt + line + "\x1b[K";
    const size_t back = CharactersAfter(line, cursor);
    if (back > 0) out += "\x1b[" + std::to_string(back) + "D";
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
}

struct Editor {
    std::string line;
    size_t cursor = 0;
    void Left() {
        while (cursor > 0 && IsContinuation(line[--cursor])) {
        }
    }
    void Right() {
        if (cursor < line.size()) ++cursor;
        while (cursor < line.size() && IsContinuation(line[cursor])) ++cursor;
    }
    void Backspace() {
        const size_t end = cursor;
        Left();
        line.erase(cursor, end - cursor);
    }
    void Delete() {
        const size_t start = cursor;
        Right();
        line.erase(start, cursor - start);
        cursor = start;
    }
    void Replace(std::string text) {
        line = std::move(text);
        cursor = line.size();
    }
};

}  // namespace

std::optional<std::string> ReadLine(const std::string &prompt, const std::vector<std::string> &history) {
    if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)) return ReadPlainLine(stdin);
    TerminalMode raw(true);
    Editor editor;
    size_t recalled = history.size();  // history.size() = the line being typed
    std::string typed;
    Redraw(prompt, editor.line, editor.cursor);
    for (;;) {
        const int c = ReadByte();
        if (c < 0) return std::nullopt;
        if (c == '\r' || c == '\n') break;
        if (c == 4 && editor.line.empty()) {  // Ctrl-D
            std::fputs("\n", stdout);
            return std::nullopt;
        }
        if (c == 3) {  // Ctrl-C: drop the line
            editor.Replace("");
            std::fputs("^C\n", stdout);
        } else if (c == 127 || c == 8) {
            editor.Backspace();
        } else if (c == 1) {
            editor.cursor = 0;
        } else if (c == 5) {
            editor.cursor = editor.line.size();
        } else if (c == 21) {
            editor.line.erase(0, editor.cursor);
            editor.cursor = 0;
        } else if (c == 11) {
            editor.line.erase(editor.cursor);
        } else if (c == 27) {
            const int first = ReadByte();
            const int key = ReadByte();
            if (first != '[' && first != 'O') continue;
            if (key == 'A' && recalled > 0) {
                if (recalled == history.size()) typed = editor.line;
                editor.Replace(history[--recalled]);
            } else if (key == 'B' && recalled < history.size()) {
                ++recalled;
                editor.Replace(recalled == history.size() ? typed : history[recalled]);
            } else if (key == 'C') {
                editor.Right();
            } else if (key == 'D') {
                editor.Left();
            } else if (key == 'H') {
                editor.cursor = 0;
            } else if (key == 'F') {
                editor.cursor = editor.line.size();
            } else if (key == '3' && ReadByte() == '~') {
                editor.Delete();
            }
        } else if (c >= 32) {
            editor.line.insert(editor.cursor++, 1, static_cast<char>(c));
        }
        Redraw(prompt, editor.line, editor.cursor);
    }
    std::fputs("\n", stdout);
    return editor.line;
}

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

std::optional<std::string> ReadSecret(const std::string &prompt) {
    std::fputs(prompt.c_str(), stderr);
    std::fflush(stderr);
    std::optional<std::string> line;
    {
        TerminalMode noEcho(false);
        line = ReadPlainLine(stdin);
    }
    std::fputs("\n", stderr);
    return line;
}

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

std::optional<uint64_t> RegularFileSize(const std::string &path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    return static_cast<uint64_t>(info.st_size);
}

bool IsDirectory(const std::string &path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool RenameReplacing(const std::string &from, const std::string &to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

void RemoveFile(const std::string &path) { unlink(path.c_str()); }

}  // namespace sapihost::platform
