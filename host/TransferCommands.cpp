// get, cat and put: the transfers, with progress, Ctrl-C and the checks the
// module leaves to its host.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

#include "CommandOutput.h"
#include "CommandRunner.h"
#include "Progress.h"
#include "platform/Platform.h"

namespace sapihost {

namespace {

// ", verified (SHA-256)" for a result line; nothing where no check was made.
std::string VerifyNote(const std::string &found) { return found.empty() ? found : ", " + found; }

}  // namespace

// The module reports a download that moved no bytes as a failure, so an empty
// file cannot come through DownloadAsset; its streaming read answers 0 for one.
bool CommandRunner::RemoteFileIsEmpty(Session &session, const std::string &remote) {
    bool anyData = false;
    const ServerApiResult result =
        api_->ReadAsset(session.Connection(), remote, [&](const void *, uint32_t count, int64_t) {
            anyData = anyData || count > 0;
            return !anyData;
        });
    return result == ApiOk && !anyData;
}

bool CommandRunner::TakeFollow(Command &command, int &seconds) {
    seconds = 0;
    for (auto word = command.args.begin(); word != command.args.end(); ++word) {
        if (word->rfind("--follow", 0) != 0) continue;
        const std::string value = word->size() > 8 && (*word)[8] == '=' ? word->substr(9) : std::string();
        if (*word != "--follow" && value.empty()) return Fail(command, "unknown option " + *word);
        seconds = value.empty() ? 5 : std::atoi(value.c_str());
        if (seconds < 1 || seconds > 3600 || value.find_first_not_of("0123456789") != std::string::npos) {
            return Fail(command, "--follow takes 1 to 3600 seconds of quiet");
        }
        command.args.erase(word);
        if (command.args.empty()) return Fail(command, "give the name of the file");
        return true;
    }
    return true;
}

// A connection of its own: the key is the connection's, and the one the
// shell holds goes on without it.
std::optional<Failure> CommandRunner::OpenFollowing(Session &following, int seconds) {
    std::string folder;
    if (auto failure = session_->CurrentFolder(folder)) return failure;
    ServerSettings settings = session_->Settings();
    settings.followGrowing = seconds;
    if (auto failure = following.Open(settings)) return failure;
    return following.Return(folder);
}

bool CommandRunner::Get(const Command &given) {
    Command command;
    size_t connections = 1;
    bool batch = false;
    Command unfollowed = given;
    int follow = 0;
    if (!TakeFollow(unfollowed, follow) || !SplitTransfer(unfollowed, command, connections, batch)) return false;
    if (batch && follow > 0) return Fail(command, "--follow takes one file");
    if (batch) return GetBatch(command, connections);
    const std::string &remote = command.args[0];
    if (RefuseFolder(command)) return false;
    std::string local = command.args.size() > 1 ? command.args[1] : BaseName(remote);
    if (local.empty()) return Fail(command, "give a local file name");
    if (platform::IsDirectory(local)) local.append("/").append(BaseName(remote));
    Session following(*api_);
    if (follow > 0) {
        if (auto failure = OpenFollowing(following, follow)) return Report(command, *failure);
    }
    platform::InterruptScope interrupt;
    ProgressDisplay progress(BaseName(remote), settings_.progress, follow > 0);
    // A follow waits between blocks, where Ctrl-C has nothing to stop: the
    // connection is aborted instead, which ends the wait within a second.
    std::unique_ptr<platform::Ticker> watch;
    if (follow > 0) {
        watch = platform::Ticker::Start(
            [&, aborted = false]() mutable {
                if (aborted || !platform::InterruptScope::Requested()) return;
                aborted = true;
                api_->AbortServer(following.Connection());
            },
            100);
    }
    const std::optional<uint64_t> size =
        Fetch(command, follow > 0 ? following : *session_, remote, local, progress, false);
    watch.reset();
    if (!size) return false;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f s", progress.ElapsedSeconds());
    PrintLine("downloaded " + remote + " to " + local + " (" + FormatBytes(*size) + ", " + seconds +
              VerifyNote(session_->VerifyResult()) + ")");
    return true;
}

// One download into `local`; its size, or nullopt once the failure is reported.
// The progress line shows the file's own total unless it counts a whole batch.
std::optional<uint64_t> CommandRunner::Fetch(const Command &command, Session &session, const std::string &remote,
                                             const std::string &local, ProgressDisplay &progress, bool inBatch) {
    // The module deletes its local file whenever a transfer fails; writing to a
    // side file keeps an older copy at `local` until the new one is complete.
    const std::string partial = local + ".part";
    // A folder that is missing or read-only is said in the system's words before
    // anything is fetched; the module would only answer -3 after opening the file.
    if (auto reason = platform::CreateEmptyFile(partial)) {
        Fail(command, "cannot create " + local + ": " + *reason + "; nothing was fetched");
        return std::nullopt;
    }
    int64_t total = -1;
    const uint64_t before = progress.Done();
    ServerApiResult result =
        api_->DownloadAsset(session.Connection(), remote, partial, [&](uint32_t count, int64_t totalSize) {
            progress.Add(count, inBatch ? -1 : totalSize);
            total = totalSize;
            return !platform::InterruptScope::Requested();
        });
    if (!inBatch) progress.Finish();
    const bool nothingArrived = result == ApiTransferFailed && progress.Done() == before;
    if (nothingArrived && RemoteFileIsEmpty(session, remote) && !platform::CreateEmptyFile(partial)) result = ApiOk;
    if (result != ApiOk) {
        platform::RemoveFile(partial);
        ReportCode(command, result, nothingArrived ? "no data arrived" : session.VerifyResult());
        return std::nullopt;
    }
    const auto size = platform::RegularFileSize(partial);
    if (!size) {
        Fail(command, "the transfer broke off; nothing was kept");
        return std::nullopt;
    }
    if (total >= 0 && *size < static_cast<uint64_t>(total)) {
        platform::RemoveFile(partial);
        Fail(command, "the transfer broke off after " + FormatBytes(*size) + " of " +
                          FormatBytes(static_cast<uint64_t>(total)) + "; nothing was kept");
        return std::nullopt;
    }
    if (!platform::RenameReplacing(partial, local)) {
        Fail(command, "could not move " + partial + " to " + local + ": " + std::strerror(errno));
        return std::nullopt;
    }
    return size;
}

bool CommandRunner::Cat(const Command &command) {
    if (RefuseFolder(command)) return false;
    platform::UseBinaryStdout();
    uint64_t written = 0;
    int64_t total = -1;
    bool outputFailed = false;
    platform::InterruptScope interrupt;
    const ServerApiResult result =
        api_->ReadAsset(session_->Connection(), command.args[0], [&](const void *data, uint32_t count, int64_t size) {
            total = size;
            if (platform::InterruptScope::Requested()) return false;
            if (std::fwrite(data, 1, count, stdout) != count) {
                outputFailed = true;
                return false;
            }
            written += count;
            return true;
        });
    std::fflush(stdout);
    if (result != ApiOk) return ReportCode(command, result);
    if (outputFailed) return Fail(command, "could not write to standard output");
    if (platform::InterruptScope::Requested()) return Fail(command, "cancelled");
    if (total >= 0 && written < static_cast<uint64_t>(total)) {
        return Fail(command, "the transfer broke off after " + std::to_string(written) + " of " +
                                 std::to_string(total) + " bytes");
    }
    return true;
}

bool CommandRunner::Put(const Command &given) {
    Command command;
    size_t connections = 1;
    bool batch = false;
    if (!SplitTransfer(given, command, connections, batch)) return false;
    if (batch) return PutBatch(command, connections);
    const std::string &local = command.args[0];
    const std::string target = command.args.size() > 1 ? command.args[1] : BaseName(local);
    // A name with a folder in it: enter the folder and store the bare name, so
    // that what is stored is exactly the name given.
    const size_t slash = target.rfind('/');
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    if (name.empty() || name == "." || name == "..") return Fail(command, "give a file name to store under");
    std::optional<uint64_t> size;
    if (local != "-") {
        // Checked before anything reaches the server: a module may open (and so
        // empty) the remote file before it finds the local one unreadable.
        size = platform::RegularFileSize(local);
        if (!size) return Fail(command, "cannot read " + local + ": not a file");
    }
    std::string start;
    if (slash != std::string::npos) {
        if (auto failure = session_->CurrentFolder(start)) return Report(command, *failure);
        if (auto failure = session_->Walk(target.substr(0, slash + 1), false)) return Report(command, *failure);
    }
    bool stored = false;
    if (local == "-") {
        stored = PutStream(command, name);
    } else {
        platform::InterruptScope interrupt;
        ProgressDisplay progress(name, settings_.progress);
        stored = Store(command, *session_, local, name, progress, false);
        if (stored) {
            PrintLine("uploaded " + local + " as " + target + " (" + FormatBytes(*size) +
                      VerifyNote(session_->VerifyResult()) + ")");
        }
    }
    if (!start.empty()) {
        if (auto failure = session_->Return(start)) return Report(command, *failure);
    }
    return stored;
}

// One upload of a local file stored as `name` in the current folder.
bool CommandRunner::Store(const Command &command, Session &session, const std::string &local, const std::string &name,
                          ProgressDisplay &progress, bool inBatch) {
    ScopedParameterSet set(*api_);
    ServerApiResult result = set.CreationResult();
    if (result == ApiOk) result = api_->SetParameter(set.Handle(), SERVER_API_KEY_TITLE, name);
    if (result == ApiOk) {
        result = api_->UploadAsset(session.Connection(), set.Handle(), local, [&](uint32_t count, int64_t total) {
            progress.Add(count, inBatch ? -1 : total);
            return !platform::InterruptScope::Requested();
        });
    }
    if (!inBatch) progress.Finish();
    // A stop asked for by the progress callback is no failure to the module.
    if (result == ApiOk && platform::InterruptScope::Requested()) {
        return Fail(command, "cancelled; the server keeps the part already sent");
    }
    return result == ApiOk || ReportCode(command, result, session_->VerifyResult());
}

bool CommandRunner::PutStream(const Command &command, const std::string &name) {
    platform::UseBinaryStdin();
    ScopedParameterSet set(*api_);
    ServerApiResult result = set.CreationResult();
    if (result == ApiOk) result = api_->SetParameter(set.Handle(), SERVER_API_KEY_TITLE, name);
    if (result != ApiOk) return ReportCode(command, result);
    bool readFailed = false;
    uint64_t sent = 0;
    platform::InterruptScope interrupt;
    // The size must not be 0 and the module uses it for nothing else; a pipe's
    // length is unknown until it ends.
    const int64_t streamSize = INT64_MAX;
    result = api_->WriteAsset(session_->Connection(), set.Handle(), streamSize, [&](void *buffer, uint32_t *length) {
        const auto got = platform::ReadStandardInput(buffer, *length);
        if (platform::InterruptScope::Requested()) {
            *length = 0;
            return false;
        }
        if (!got) {
            readFailed = true;
            *length = 0;
            return false;
        }
        *length = static_cast<uint32_t>(*got);
        sent += *got;
        return true;
    });
    if (result != ApiOk) return ReportCode(command, result);
    if (platform::InterruptScope::Requested()) {
        return Fail(command, "cancelled; the server keeps the part already sent");
    }
    if (readFailed) return Fail(command, "reading standard input failed; the server keeps the part already sent");
    PrintLine("uploaded standard input as " + command.args[1] + " (" + FormatBytes(sent) + ")");
    return true;
}

}  // namespace sapihost
