// Windows side of the platform layer: LoadLibraryW, the console in UTF-16, and
// a Win32 thread for the progress line (the win32-thread MinGW has no std::thread).
#include "platform/Platform.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdlib>

namespace sapihost::platform {

namespace {

std::wstring Wide(const std::string &utf8) {
    if (utf8.empty()) return {};
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), length);
    return out;
}

std::string Utf8(const std::wstring &wide) {
    if (wide.empty()) return {};
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), length, nullptr, nullptr);
    return out;
}

class WindowsModule final : public LoadedModule {
public:
    explicit WindowsModule(HMODULE handle) : handle_(handle) {}
    ~WindowsModule() override { FreeLibrary(handle_); }
    WindowsModule(const WindowsModule &) = delete;
    WindowsModule &operator=(const WindowsModule &) = delete;
    void *Symbol(const char *name) override { return reinterpret_cast<void *>(GetProcAddress(handle_, name)); }

private:
    HMODULE handle_;
};

class WindowsTicker final : public Ticker {
public:
    WindowsTicker(std::function<void()> tick, unsigned intervalMs)
        : tick_(std::move(tick)), intervalMs_(intervalMs), stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
        thread_ = CreateThread(nullptr, 0, &WindowsTicker::Run, this, 0, nullptr);
    }
    ~WindowsTicker() override {
        SetEvent(stop_);
        if (thread_ != nullptr) {
            WaitForSingleObject(thread_, INFINITE);
            CloseHandle(thread_);
        }
        CloseHandle(stop_);
    }
    WindowsTicker(const WindowsTicker &) = delete;
    WindowsTicker &operator=(const WindowsTicker &) = delete;

private:
    static DWORD WINAPI Run(void *self) {
        auto &ticker = *static_cast<WindowsTicker *>(self);
        while (WaitForSingleObject(ticker.stop_, ticker.intervalMs_) == WAIT_TIMEOUT) ticker.tick_();
        return 0;
    }

    std::function<void()> tick_;
    DWORD intervalMs_;
    HANDLE stop_;
    HANDLE thread_ = nullptr;
};

class WindowsWorker final : public Worker {
public:
    explicit WindowsWorker(std::function<void()> work)
        : work_(std::move(work)), thread_(CreateThread(nullptr, 0, &WindowsWorker::Run, this, 0, nullptr)) {
        if (thread_ == nullptr) work_();  // no thread to be had: the work runs here
    }
    ~WindowsWorker() override {
        if (thread_ == nullptr) return;
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
    }
    WindowsWorker(const WindowsWorker &) = delete;
    WindowsWorker &operator=(const WindowsWorker &) = delete;

private:
    static DWORD WINAPI Run(void *self) {
        static_cast<WindowsWorker *>(self)->work_();
        return 0;
    }

    std::function<void()> work_;
    HANDLE thread_;
};

HANDLE Input() { return GetStdHandle(STD_INPUT_HANDLE); }

bool IsConsole(HANDLE handle) {
    DWORD mode = 0;
    return GetConsoleMode(handle, &mode) != 0;
}

std::optional<std::string> ReadPlainLine() {
    std::string line;
    int c = 0;
    while ((c = std::fgetc(stdin)) != EOF && c != '\n') line.push_back(static_cast<char>(c));
    if (c == EOF && line.empty()) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

// The console's own line editing (arrows, F7 history) in UTF-16.
std::optional<std::string> ReadConsoleLine() {
    std::wstring line;
    wchar_t buffer[512];
    for (;;) {
        DWORD read = 0;
        if (!ReadConsoleW(Input(), buffer, 512, &read, nullptr) || read == 0) {
            if (line.empty()) return std::nullopt;
            break;
        }
        line.append(buffer, read);
        if (!line.empty() && line.back() == L'\n') break;
    }
    while (!line.empty() && (line.back() == L'\n' || line.back() == L'\r')) line.pop_back();
    return Utf8(line);
}

}  // namespace

namespace {

volatile LONG interruptRequested = 0;

BOOL WINAPI OnConsoleControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    return InterlockedExchange(&interruptRequested, 1) == 0;  // the second one ends us
}

}  // namespace

InterruptScope::InterruptScope() {
    InterlockedExchange(&interruptRequested, 0);
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

InterruptScope::~InterruptScope() { SetConsoleCtrlHandler(OnConsoleControl, FALSE); }

bool InterruptScope::Requested() { return interruptRequested != 0; }

std::unique_ptr<LoadedModule> LoadedModule::Load(const std::string &path, std::string &error) {
    HMODULE handle = LoadLibraryW(Wide(path).c_str());
    if (handle == nullptr) {
        error = "LoadLibraryW failed with error " + std::to_string(GetLastError());
        return nullptr;
    }
    return std::make_unique<WindowsModule>(handle);
}

std::string ExecutablePath() {
    std::wstring buffer(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0 || length >= buffer.size()) return {};
    buffer.resize(length);
    return Utf8(buffer);
}

std::string ModuleFileName(const std::string &baseName) { return baseName + ".dll"; }

bool IsTerminal(std::FILE *stream) { return _isatty(_fileno(stream)) != 0; }

int TerminalColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) {
        return info.srWindow.Right - info.srWindow.Left + 1;
    }
    return 80;
}

std::optional<std::string> Environment(const char *name) {
    const std::wstring wideName = Wide(name);
    const DWORD length = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
    if (length == 0) return std::nullopt;
    std::wstring value(length, L'\0');
    const DWORD copied = GetEnvironmentVariableW(wideName.c_str(), value.data(), length);
    value.resize(copied);
    return Utf8(value);
}

void SetEnvironment(const char *name, const std::string &value) {
    SetEnvironmentVariableW(Wide(name).c_str(), Wide(value).c_str());
}

std::optional<std::string> ReadSecret(const std::string &prompt) {
    std::fputs(prompt.c_str(), stderr);
    std::fflush(stderr);
    DWORD mode = 0;
    const bool console = GetConsoleMode(Input(), &mode) != 0;
    if (console) SetConsoleMode(Input(), mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    auto line = console ? ReadConsoleLine() : ReadPlainLine();
    if (console) SetConsoleMode(Input(), mode);
    std::fputs("\n", stderr);
    return line;
}

std::optional<std::string> ReadLine(const std::string &prompt, const std::vector<std::string> &) {
    if (!IsConsole(Input())) return ReadPlainLine();
    SetConsoleOutputCP(CP_UTF8);
    std::fputs(prompt.c_str(), stdout);
    std::fflush(stdout);
    return ReadConsoleLine();
}

std::optional<size_t> ReadStandardInput(void *buffer, size_t size) {
    auto *bytes = static_cast<unsigned char *>(buffer);
    size_t got = 0;
    while (got < size && !InterruptScope::Requested()) {
        const size_t count = std::fread(bytes + got, 1, size - got, stdin);
        got += count;
        if (count == 0) {
            if (std::ferror(stdin)) return std::nullopt;
            break;
        }
    }
    return got;
}

void UseBinaryStdout() { _setmode(_fileno(stdout), _O_BINARY); }
void UseBinaryStdin() { _setmode(_fileno(stdin), _O_BINARY); }

std::unique_ptr<Ticker> Ticker::Start(std::function<void()> tick, unsigned intervalMs) {
    return std::make_unique<WindowsTicker>(std::move(tick), intervalMs);
}

std::unique_ptr<Worker> Worker::Start(std::function<void()> work) {
    return std::make_unique<WindowsWorker>(std::move(work));
}

std::optional<uint64_t> RegularFileSize(const std::string &path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return std::nullopt;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool IsDirectory(const std::string &path) {
    const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::vector<std::string> FilesIn(const std::string &folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW record{};
    const HANDLE find = FindFirstFileW(Wide(folder + "\\*").c_str(), &record);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        if ((record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) names.push_back(Utf8(record.cFileName));
    } while (FindNextFileW(find, &record));
    FindClose(find);
    return names;
}

bool RenameReplacing(const std::string &from, const std::string &to) {
    return MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

void RemoveFile(const std::string &path) { DeleteFileW(Wide(path).c_str()); }

}  // namespace sapihost::platform
