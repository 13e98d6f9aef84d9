#include "Progress.h"

#include <cmath>
#include <cstdio>

namespace sapihost {

namespace {

std::string OneDecimal(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

// Built by appending: "literal" + temporary makes GCC 12 at -O3 report a
// false overlapping copy (-Wrestrict) inside libstdc++.
std::string TwoDigits(long value) { return std::string(value < 10 ? "0" : "").append(std::to_string(value)); }

// Cuts a line to `columns` characters, counting UTF-8 characters, not bytes.
std::string FitToColumns(const std::string &line, int columns) {
    std::string out;
    int used = 0;
    for (char c : line) {
        const bool starts = (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        if (starts && ++used > columns) break;
        out.push_back(c);
    }
    return out;
}

std::string Bar(uint64_t done, int64_t total, int width) {
    const double share = total > 0 ? std::min(1.0, static_cast<double>(done) / static_cast<double>(total)) : 0;
    const int filled = static_cast<int>(share * width);
    return std::string("[")
        .append(static_cast<size_t>(filled), '#')
        .append(static_cast<size_t>(width - filled), '.')
        .append("]");
}

}  // namespace

std::string FormatBytes(uint64_t bytes) {
    static const char *const units[] = {"KiB", "MiB", "GiB", "TiB", "PiB"};
    if (bytes < 1024) return std::to_string(bytes) + " B";
    double value = static_cast<double>(bytes) / 1024;
    size_t unit = 0;
    while (value >= 1024 && unit + 1 < std::size(units)) {
        value /= 1024;
        ++unit;
    }
    return OneDecimal(value) + " " + units[unit];
}

std::string FormatRate(double bytesPerSecond) {
    if (!(bytesPerSecond >= 0) || std::isinf(bytesPerSecond)) return "-- B/s";
    return FormatBytes(static_cast<uint64_t>(bytesPerSecond)) + "/s";
}

std::string FormatDuration(double seconds) {
    if (!(seconds >= 0) || seconds > 359999 * 100.0) return "--:--";
    const auto total = static_cast<long>(std::lround(seconds));
    const long hours = total / 3600;
    const long minutes = total / 60 % 60;
    const std::string tail = TwoDigits(total % 60);
    if (hours > 0) return std::to_string(hours) + ":" + TwoDigits(minutes) + ":" + tail;
    return std::to_string(minutes) + ":" + tail;
}

namespace {

int Columns(const std::string &text) {
    int count = 0;
    for (char c : text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    return count;
}

std::string SizePart(const ProgressSnapshot &s) {
    if (s.total < 0) return "  " + FormatBytes(s.done);
    const auto total = static_cast<uint64_t>(s.total);
    const uint64_t percent = total > 0 ? std::min<uint64_t>(100, s.done * 100 / total) : 100;
    return std::string(" ").append(std::to_string(percent)).append("%  ") + FormatBytes(s.done) + " / " +
           FormatBytes(total);
}

// While no data comes (the module waits for more, or the server is slow or
// throttled) the rate means nothing; say what is happening instead. Otherwise: the rate up to the last block, and time left.
std::string StatusPart(const ProgressSnapshot &s) {
    // Past the size it had, a followed file is waited on until it grows again.
    const bool pastStart = s.total >= 0 && s.done >= static_cast<uint64_t>(s.total);
    if (s.following && pastStart && s.idle >= kWaitingNoteAfter) return "  growing\u2026 " + FormatDuration(s.idle);
    if (s.done > 0 && s.idle >= kWaitingNoteAfter) return "  waiting for the server\u2026 " + FormatDuration(s.idle);
    const double active = s.elapsed - s.idle;
    const double rate = active > 0 ? static_cast<double>(s.done) / active : 0;
    std::string status = "  " + FormatRate(rate);
    if (s.total >= 0 && rate > 0) {
        const auto total = static_cast<uint64_t>(s.total);
        status += "  ETA " + FormatDuration(static_cast<double>(total > s.done ? total - s.done : 0) / rate);
    }
    return status;
}

}  // namespace

std::string RenderProgressLine(const ProgressSnapshot &s, int columns) {
    const std::string tail = SizePart(s) + StatusPart(s);
    std::string line = s.name + "  ";
    const int barWidth = columns - Columns(line) - Columns(tail) - 2;
    if (s.total >= 0 && barWidth >= 8) line += Bar(s.done, s.total, std::min(barWidth, 30));
    return FitToColumns(line + tail, columns);
}

ProgressDisplay::ProgressDisplay(std::string name, bool visible, bool following)
    : name_(std::move(name)), following_(following), start_(std::chrono::steady_clock::now()) {
    if (visible) ticker_ = platform::Ticker::Start([this] { Draw(); }, 250);
}

ProgressDisplay::~ProgressDisplay() { Finish(); }

void ProgressDisplay::Add(uint64_t count, int64_t total) {
    done_ += count;
    total_ = total;
    lastBlockMs_ = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_).count();
}

void ProgressDisplay::SetName(std::string name) {
    const std::lock_guard<platform::Mutex> lock(nameMutex_);
    name_ = std::move(name);
}

void ProgressDisplay::Finish() {
    if (!ticker_) return;
    ticker_.reset();  // joins the drawing thread
    std::fputs("\r\x1b[K", stderr);
    std::fflush(stderr);
}

double ProgressDisplay::ElapsedSeconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

ProgressSnapshot ProgressDisplay::Snapshot() const {
    ProgressSnapshot s;
    {
        const std::lock_guard<platform::Mutex> lock(nameMutex_);
        s.name = name_;
    }
    s.following = following_;
    s.done = done_.load();
    s.total = total_.load();
    s.elapsed = ElapsedSeconds();
    s.idle = s.elapsed - static_cast<double>(lastBlockMs_.load()) / 1000;
    return s;
}

void ProgressDisplay::Draw() {
    const std::string line =
        std::string("\r").append(RenderProgressLine(Snapshot(), platform::TerminalColumns() - 1)).append("\x1b[K");
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

}  // namespace sapihost

namespace sapihost {

WaitingNote::WaitingNote(std::string message, bool visible)
    : message_(std::move(message)), start_(std::chrono::steady_clock::now()) {
    if (!visible) return;
    ticker_ = platform::Ticker::Start(
        [this] {
            const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
            if (seconds < 1) return;
            const std::string line = "\r" + message_ + "\u2026 " + FormatDuration(seconds) + "\x1b[K";
            std::fputs(line.c_str(), stderr);
            std::fflush(stderr);
            drawn_ = true;
        },
        250);
}

WaitingNote::~WaitingNote() {
    ticker_.reset();
    if (drawn_) {
        std::fputs("\r\x1b[K", stderr);
        std::fflush(stderr);
    }
}

}  // namespace sapihost
