// The little that sapihost needs from the operating system, behind one header:
// loading a module, finding our own executable, the console, environment
// variables and a background tick for the progress display. One implementation
// per platform (Posix.cpp, Windows.cpp); everything above speaks UTF-8.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/Mutex.h"

namespace sapihost::platform {

// A loaded shared library, unloaded when the object goes.
class LoadedModule {
public:
    static std::unique_ptr<LoadedModule> Load(const std::string &path, std::string &error);
    virtual ~LoadedModule() = default;
    virtual void *Symbol(const char *name) = 0;
};

// Absolute UTF-8 path of the running executable, or empty when unknown.
std::string ExecutablePath();

// File name of a module built beside us, e.g. "PelkSAPIFTP.so".
std::string ModuleFileName(const std::string &baseName);

bool IsTerminal(std::FILE *stream);
int TerminalColumns();  // 80 when unknown

std::optional<std::string> Environment(const char *name);
// Sets a variable for this process and the module it loads.
void SetEnvironment(const char *name, const std::string &value);

// Reads one line from the terminal with echo turned off. nullopt on end of input.
std::optional<std::string> ReadSecret(const std::string &prompt);

// Reads one line of input, UTF-8, without its line end. On a terminal the line
// can be edited and the history walked with the arrow keys. nullopt at end of input.
std::optional<std::string> ReadLine(const std::string &prompt, const std::vector<std::string> &history);

// Fills `buffer` from standard input as far as it goes: returns the bytes read
// (fewer only at end of input or when interrupted by InterruptScope), or nullopt
// on a read error.
std::optional<size_t> ReadStandardInput(void *buffer, size_t size);

// Puts stdout into binary mode (no newline translation) for raw file data.
void UseBinaryStdout();
void UseBinaryStdin();

// A lock between the main thread and the ticker's: the module's own (an SRW
// lock where the MinGW runtime linked in has no std::mutex).
using Mutex = sapi::Mutex;

// Calls `tick` every `intervalMs` on a background thread until destroyed.
class Ticker {
public:
    static std::unique_ptr<Ticker> Start(std::function<void()> tick, unsigned intervalMs);
    virtual ~Ticker() = default;
};

// Runs `work` once on a thread of its own; destroying it waits for the end.
class Worker {
public:
    static std::unique_ptr<Worker> Start(std::function<void()> work);
    virtual ~Worker() = default;
};

// While one exists, Ctrl-C (SIGINT, or the console's Ctrl-C on Windows) asks
// the transfer under way to stop instead of ending the program; a second Ctrl-C
// ends it as usual.
class InterruptScope {
public:
    InterruptScope();
    ~InterruptScope();
    InterruptScope(const InterruptScope &) = delete;
    InterruptScope &operator=(const InterruptScope &) = delete;
    static bool Requested();
};

// Local files by UTF-8 path.
std::optional<uint64_t> RegularFileSize(const std::string &path);
bool IsDirectory(const std::string &path);
bool RenameReplacing(const std::string &from, const std::string &to);
void RemoveFile(const std::string &path);
std::optional<std::string> ReadWholeFile(const std::string &path);
// Creates (or empties) a file; returns the system's reason when it cannot.
std::optional<std::string> CreateEmptyFile(const std::string &path);
// True when users other than the owner may read or change the file.
bool OthersMayAccess(const std::string &path);
// Where the user keeps FTP logins: ~/.netrc (on Windows %HOME% or
// %USERPROFILE%, .netrc or else _netrc); empty when there is no home folder.
std::string NetrcPath();
// The names of the regular files in a folder (no order); empty when it cannot be read.
std::vector<std::string> FilesIn(const std::string &folder);

}  // namespace sapihost::platform
