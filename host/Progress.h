// The progress line of get and put: bytes, bar, rate, time left, and a note
// while the module waits for more data at the end of a download.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/Platform.h"

namespace sapihost {

std::string FormatBytes(uint64_t bytes);             // "512 B", "1.5 KiB", "12.0 MiB"
std::string FormatRate(double bytesPerSecond);       // "1.5 MiB/s"
std::string FormatDuration(double seconds);          // "0:07", "1:02:03"

struct ProgressSnapshot {
    std::string name;
    uint64_t done = 0;
    int64_t total = -1;    // -1: the server did not say
    double elapsed = 0;    // seconds since the transfer began
    double idle = 0;       // seconds since the last block arrived
    bool following = false;  // the module follows the file while it grows
};

// One line of at most `columns` characters (no line end).
std::string RenderProgressLine(const ProgressSnapshot &snapshot, int columns);

// Seconds without a block after which the line says it is waiting: the module
// re-reads an empty read for about ten seconds before it calls a file complete.
constexpr double kWaitingNoteAfter = 1.5;

// Counts blocks from the module's callbacks (any thread) and redraws the line on
// stderr four times a second while `visible`.
class ProgressDisplay {
public:
    // `following`: the download follows a growing file past its first size.
    ProgressDisplay(std::string name, bool visible, bool following = false);
    ~ProgressDisplay();
    ProgressDisplay(const ProgressDisplay &) = delete;
    ProgressDisplay &operator=(const ProgressDisplay &) = delete;

    void Add(uint64_t count, int64_t total);
    // The name shown, for a batch that moves from file to file.
    void SetName(std::string name);
    // Stops redrawing and clears the line.
    void Finish();
    uint64_t Done() const { return done_.load(); }
    double ElapsedSeconds() const;

private:
    ProgressSnapshot Snapshot() const;
    void Draw();

    mutable platform::Mutex nameMutex_;  // the drawing thread reads the name
    std::string name_;
    bool following_;
    std::chrono::steady_clock::time_point start_;
    std::atomic<uint64_t> done_{0};
    std::atomic<int64_t> total_{-1};
    std::atomic<int64_t> lastBlockMs_{0};
    std::unique_ptr<platform::Ticker> ticker_;
};

}  // namespace sapihost

namespace sapihost {

// "checking a.txt… 3 s" on stderr while a call that may take long blocks, after
// the first second, and only when `visible`; cleared when the object goes.
class WaitingNote {
public:
    WaitingNote(std::string message, bool visible);
    ~WaitingNote();
    WaitingNote(const WaitingNote &) = delete;
    WaitingNote &operator=(const WaitingNote &) = delete;

private:
    std::string message_;
    std::chrono::steady_clock::time_point start_;
    std::atomic<bool> drawn_{false};
    std::unique_ptr<platform::Ticker> ticker_;
};

}  // namespace sapihost
