// A batch over several connections at once (get -P N, mget, put, mput): each
// connection is opened on a thread of its own, goes to the folder the session
// is in, and takes the next file no other has taken. Ctrl-C stops them all:
// the callbacks say stop, and any connection still busy a moment later is
// aborted from the watching thread.
#include <algorithm>
#include <charconv>
#include <cstdint>

#include "CommandRunner.h"
#include "platform/Platform.h"

namespace sapihost {

constexpr size_t maxConnections = 16;

bool TakeConnections(Command &command, size_t &connections, bool &given) {
    given = !command.args.empty() && command.args[0] == "-P";
    if (!given) return true;
    if (command.args.size() < 2) return false;
    const std::string &count = command.args[1];
    const auto [end, error] = std::from_chars(count.data(), count.data() + count.size(), connections);
    const bool valid = error == std::errc() && end == count.data() + count.size() && connections >= 1 &&
                       connections <= maxConnections;
    command.args.erase(command.args.begin(), command.args.begin() + 2);
    return valid;
}

// "-P N" given makes a batch, as more names or a wildcard do.
bool CommandRunner::SplitTransfer(const Command &given, Command &command, size_t &connections, bool &batch) {
    command = given;
    bool parallel = false;
    if (!TakeConnections(command, connections, parallel)) return Fail(given, "-P takes 1 to 16 connections");
    if (command.args.empty()) return Fail(given, "give the names of the files");
    batch = parallel || IsBatchTransfer(command);
    return true;
}

void CommandRunner::MoveInParallel(const Command &command, const std::vector<std::string> &items, size_t connections,
                                   ProgressDisplay &progress, const BatchMove &move, BatchCount &count) {
    std::string folder;
    if (auto failure = session_->CurrentFolder(folder)) {
        Report(command, *failure);
        count.failed = items.size();
        return;
    }
    const ServerSettings settings = session_->Settings();
    std::atomic<size_t> next{0};
    std::vector<std::atomic<int32_t>> busy(connections);  // each thread's connection, while it moves files
    auto work = [&](size_t slot) {
        Session own(*api_);
        std::optional<Failure> failure = own.Open(settings);
        if (!failure) failure = own.Return(folder);
        if (failure) {
            Report(command, *failure);  // the other connections take its share
            return;
        }
        busy[slot] = own.Connection();
        for (size_t i = next++; i < items.size() && !platform::InterruptScope::Requested(); i = next++) {
            progress.SetName(BatchLabel(i, items.size(), items[i]));
            ++(move(own, items[i], progress) ? count.done : count.failed);
        }
        busy[slot] = 0;
    };
    {
        auto watch = platform::Ticker::Start(
            [&, ticks = 0]() mutable {
                if (!platform::InterruptScope::Requested() || ++ticks < 10) return;
                for (std::atomic<int32_t> &connection : busy) {
                    if (const int32_t handle = connection.exchange(0)) api_->AbortServer(handle);
                }
            },
            100);
        std::vector<std::unique_ptr<platform::Worker>> workers;
        for (size_t slot = 0; slot < connections; ++slot) {
            workers.push_back(platform::Worker::Start([&work, slot] { work(slot); }));
        }
    }  // the workers are waited for, then the watch stops
    // Files no connection took: every one failed to open.
    const size_t taken = std::min(next.load(), items.size());
    if (!platform::InterruptScope::Requested()) count.failed += items.size() - taken;
}

}  // namespace sapihost
