#include "ftp/services/sockets/SessionTrace.h"

#include <cstdlib>
#include <string>

namespace sapi::ftpclient {

std::string MaskedCommand(std::string_view line) {
    const bool password = line.size() >= 4 && (line.substr(0, 4) == "PASS" || line.substr(0, 4) == "pass") &&
                          (line.size() == 4 || line[4] == ' ');
    return password ? std::string("PASS ********") : std::string(line);
}

void SessionTrace::FileCloser::operator()(std::FILE *file) const { std::fclose(file); }

void SessionTrace::Open() {
    owned_.reset();
    out_ = nullptr;
    start_ = SteadyClock::now();
    const char *target = std::getenv("PELKSAPIFTP_TRACE");
    if (target == nullptr || *target == 0) return;
    if (std::string_view(target) == "stderr") {
        out_ = stderr;
        return;
    }
    owned_.reset(std::fopen(target, "a"));
    out_ = owned_.get();
}

double SessionTrace::Seconds() const {
    return std::chrono::duration<double>(SteadyClock::now() - start_).count();
}

void SessionTrace::Line(char mark, std::string_view text) {
    if (!On()) return;
    std::fprintf(out_, "[%8.3f] %c %.*s\n", Seconds(), mark, static_cast<int>(text.size()), text.data());
    std::fflush(out_);
}

void SessionTrace::Command(std::string_view line) { Line('>', MaskedCommand(line)); }

void SessionTrace::Reply(const FtpReply &reply) {
    for (const std::string &line : reply.lines) Line('<', line);
}

void SessionTrace::Stray(const FtpReply &reply, std::string_view waitingOn) {
    if (!On()) return;
    const std::string first = reply.lines.empty() ? std::to_string(reply.code) : reply.lines.front();
    Line('~', "stray, skipped while waiting on " + std::string(waitingOn.empty() ? "nothing" : waitingOn) + ": " +
                  first);
}

void SessionTrace::Note(std::string_view text) { Line('*', text); }

}  // namespace sapi::ftpclient
