// mget and mput, and get or put given several names or wildcards: many files
// under one progress line for the whole batch, on the connection open or, with
// -P N, over N connections at once (ParallelBatch.cpp).
#include <algorithm>
#include <cstdio>
#include <functional>

#include "CommandOutput.h"
#include "CommandRunner.h"
#include "Progress.h"
#include "Wildcard.h"
#include "platform/Platform.h"

namespace sapihost {

namespace {

// "3 files, 1.2 KiB, 0.4 s", and the failures when there were any.
std::string BatchSummary(size_t done, uint64_t bytes, double seconds, size_t failed) {
    char time[32];
    std::snprintf(time, sizeof time, "%.1f s", seconds);
    std::string text = std::to_string(done) + (done == 1 ? " file" : " files") + " (" + FormatBytes(bytes) + ", " +
                       time + ")";
    if (failed > 0) text += ", " + std::to_string(failed) + " failed";
    return text;
}

// What an expansion gives once its failure has been reported.
std::optional<std::vector<std::string>> NoNames(bool /*reported*/) { return std::nullopt; }

}  // namespace

std::string BatchLabel(size_t index, size_t count, const std::string &name) {
    // Appended, not "[" + temporary: GCC 12 at -O3 reports a false overlap there.
    return std::string("[").append(std::to_string(index + 1)).append("/") + std::to_string(count) + "] " +
           BaseName(name);
}

// get and put keep their old two-name form (REMOTE LOCAL, LOCAL NAME); more
// names, or a wildcard, make a batch, as mget and mput always do.
bool IsBatchTransfer(const Command &command) {
    if (command.name == "mget" || command.name == "mput") return true;
    if (command.name == "put" && command.args[0] == "-") return false;
    return command.args.size() > 2 || std::any_of(command.args.begin(), command.args.end(), [](const std::string &arg) {
               return HasWildcard(arg);
           });
}

// Names as given, wildcards replaced by the files of the current folder that
// match, in the listing's order.
std::optional<std::vector<std::string>> CommandRunner::ExpandRemote(const Command &command) {
    std::vector<std::string> names;
    Listing listing;
    bool listed = false;
    for (const std::string &arg : command.args) {
        if (!HasWildcard(arg)) {
            names.push_back(arg);
            continue;
        }
        if (!IsSimpleName(arg)) return NoNames(Fail(command, "wildcards match names in the current folder: cd first"));
        if (!listed) {
            if (auto failure = session_->ReadListing(listing)) return NoNames(Report(command, *failure));
            listed = true;
        }
        const size_t before = names.size();
        for (std::size_t i = 0; i < listing.files.size(); ++i) {
            if (MatchesWildcard(arg, listing.files[i])) names.emplace_back(listing.files[i]);
        }
        if (names.size() == before) return NoNames(Fail(command, "no file matches '" + arg + "'"));
    }
    return names;
}

// Local paths as given, a wildcard in the last part replaced by the files of
// its folder that match, in name order.
std::optional<std::vector<std::string>> CommandRunner::ExpandLocal(const Command &command) {
    std::vector<std::string> paths;
    for (const std::string &arg : command.args) {
        if (!HasWildcard(arg)) {
            paths.push_back(arg);
            continue;
        }
        const size_t slash = arg.rfind('/');
        const std::string folder = slash == std::string::npos ? "" : arg.substr(0, slash + 1);
        const std::string pattern = arg.substr(folder.size());
        if (HasWildcard(folder)) return NoNames(Fail(command, "wildcards match names in one folder"));
        std::vector<std::string> files = platform::FilesIn(folder.empty() ? "." : folder);
        std::sort(files.begin(), files.end());
        const size_t before = paths.size();
        for (const std::string &file : files) {
            if (MatchesWildcard(pattern, file)) paths.push_back(folder + file);
        }
        if (paths.size() == before) return NoNames(Fail(command, "no file matches '" + arg + "'"));
    }
    return paths;
}

// Moves the items under one progress line, in turn on the connection open, or
// over `connections` of their own at once; then says what the batch did.
bool CommandRunner::RunBatch(const Command &command, const std::vector<std::string> &items, const char *verb,
                             size_t connections, const BatchMove &move) {
    platform::InterruptScope interrupt;
    ProgressDisplay progress(BatchLabel(0, items.size(), items.front()), settings_.progress);
    BatchCount count;
    if (connections > 1) {
        MoveInParallel(command, items, std::min(connections, items.size()), progress, move, count);
    } else {
        for (size_t i = 0; i < items.size() && !platform::InterruptScope::Requested(); ++i) {
            progress.SetName(BatchLabel(i, items.size(), items[i]));
            ++(move(*session_, items[i], progress) ? count.done : count.failed);
        }
    }
    progress.Finish();
    PrintLine(verb + BatchSummary(count.done, progress.Done(), progress.ElapsedSeconds(), count.failed));
    if (platform::InterruptScope::Requested()) return Fail(command, "cancelled");
    return count.failed == 0;
}

bool CommandRunner::GetBatch(const Command &command, size_t connections) {
    const std::optional<std::vector<std::string>> names = ExpandRemote(command);
    if (!names) return false;
    // Read here once, on this thread, for every name's folder check: not once
    // a file, and not from the threads of a -P batch. A listing that cannot
    // be read refuses nothing, as before.
    Listing listing;
    session_->ReadListing(listing);
    return RunBatch(command, *names, "downloaded ", connections,
                    [&](Session &session, const std::string &remote, ProgressDisplay &progress) {
                        const Command one{command.name, {remote}};
                        return !RefuseFolder(one, &listing) &&
                               Fetch(one, session, remote, BaseName(remote), progress, true);
                    });
}

bool CommandRunner::PutBatch(const Command &command, size_t connections) {
    const std::optional<std::vector<std::string>> paths = ExpandLocal(command);
    if (!paths) return false;
    // Every file is checked before the first reaches the server: a module may
    // open (and so empty) the remote file before it finds the local one unreadable.
    for (const std::string &path : *paths) {
        if (!platform::RegularFileSize(path)) return Fail(command, "cannot read " + path + ": not a file");
    }
    return RunBatch(command, *paths, "uploaded ", connections,
                    [&](Session &session, const std::string &local, ProgressDisplay &progress) {
                        return Store(Command{command.name, {local}}, session, local, BaseName(local), progress, true);
                    });
}

}  // namespace sapihost
