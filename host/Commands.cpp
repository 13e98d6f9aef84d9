#include "Commands.h"

#include <algorithm>
#include <cstdio>
#include <cerrno>
#include <cstring>

#include "Progress.h"
#include "ResultCodes.h"
#include "ServerUrl.h"
#include "platform/Platform.h"

namespace sapihost {

namespace {

std::string BaseName(const std::string &path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsSimpleName(const std::string &name) { return name.find('/') == std::string::npos; }

void PrintLine(const std::string &line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

std::string JoinCommand(const Command &command) {
    std::string text = command.name;
    for (const auto &arg : command.args) text += " " + arg;
    return text;
}

}  // namespace

// A name the listing shows as a folder: the module would try to open it as a
// file (for `info`, thirty times), so say what it is instead.
bool CommandRunner::RefuseFolder(const Command &command) {
    const std::string &name = command.args[0];
    Listing listing;
    if (!IsSimpleName(name) || session_->ReadListing(listing) || !listing.HasFolder(name)) return false;
    Fail(command, "'" + name + "' is a folder");
    return true;
}

CommandRunner::CommandRunner(RunnerSettings settings) : settings_(std::move(settings)) {}

CommandRunner::~CommandRunner() {
    session_.reset();  // CloseServer before ReleaseServerAPI and the unload
    api_.reset();
}

bool CommandRunner::Fail(const Command &command, const std::string &message) {
    std::fprintf(stderr, "sapihost: %s: %s\n", JoinCommand(command).c_str(), message.c_str());
    return false;
}

bool CommandRunner::ReportCode(const Command &command, ServerApiResult code, const std::string &what) {
    return Fail(command, (what.empty() ? "" : what + ": ") + DescribeResult(code));
}

bool CommandRunner::Report(const Command &command, const Failure &failure) {
    if (failure.code == ApiOk) return Fail(command, failure.message);
    return ReportCode(command, failure.code, failure.message);
}

bool CommandRunner::EnsureModule() {
    if (api_) return true;
    std::string error;
    api_ = ModuleApi::Load(settings_.modulePath, settings_.trace, error);
    if (!api_) {
        std::fprintf(stderr, "sapihost: cannot load the module %s: %s\n", settings_.modulePath.c_str(), error.c_str());
        return false;
    }
    session_ = std::make_unique<Session>(*api_);
    return true;
}

bool CommandRunner::EnsureConnected(const Command &command) {
    if (!EnsureModule()) return false;
    if (session_->IsOpen()) return true;
    if (!settings_.server) return Fail(command, "no server: give an ftp:// URL or --host (in the shell: open URL)");
    const ServerSettings &server = *settings_.server;
    if (auto failure = session_->Open(server)) {
        const std::string where = DisplayServer(server.host, server.port, server.user);
        if (failure->code == ApiOk) return Fail(command, where + ": " + failure->message);
        return ReportCode(command, failure->code, "cannot open " + where);
    }
    if (interactive) {
        std::string folder;
        session_->CurrentFolder(folder);
        std::fprintf(stderr, "connected to %s, folder %s\n",
                     DisplayServer(server.host, server.port, server.user).c_str(), folder.c_str());
    }
    return true;
}

bool CommandRunner::Run(const Command &command) {
    const std::string &name = command.name;
    if (name == "help") return Help();
    if (name == "codes") return Codes();
    if (name == "quit") return quitRequested = true;
    if (name == "history") {
        for (size_t i = 0; i < history.size(); ++i) std::printf("%5zu  %s\n", i + 1, history[i].c_str());
        return true;
    }
    if (name == "close") {
        if (session_) session_->Close();
        return true;
    }
    if (name == "open") return OpenServer(command);
    if (name == "describe") return EnsureModule() && Describe(command);
    if (name == "shell") return Fail(command, "already in the shell");
    if (!EnsureConnected(command)) return false;
    if (name == "ls") return List(command);
    if (name == "cd") return ChangeDirectory(command);
    if (name == "mkdir") return MakeDirectory(command);
    if (name == "pwd") return PrintFolder(command);
    if (name == "info") return Info(command);
    if (name == "get") return Get(command);
    if (name == "cat") return Cat(command);
    if (name == "put") return Put(command);
    if (name == "rm") return Remove(command);
    return Fail(command, "unknown command");
}

std::string CommandRunner::Prompt() {
    if (!session_ || !session_->IsOpen()) return "sapihost> ";
    std::string folder;
    session_->CurrentFolder(folder);
    return "sapihost:" + folder + "> ";
}

bool CommandRunner::Help() {
    std::fputs(UsageText(), stdout);
    for (const auto &spec : AllCommands()) std::printf("  %-30s %s\n", spec.usage, spec.summary);
    std::fputs("\nThe password may also come from SAPIHOST_PASSWORD. Exit status: 0 when every\n"
               "command succeeded, 1 when one failed (the rest are skipped), 2 for a usage error.\n",
               stdout);
    return true;
}

bool CommandRunner::Codes() {
    for (const auto &info : AllResultCodes()) std::printf("%4d  %-26s %s\n", info.code, info.name, info.sentence);
    return true;
}

bool CommandRunner::OpenServer(const Command &command) {
    std::string error;
    auto url = ParseServerUrl(command.args[0], error);
    if (!url) return Fail(command, error);
    ServerSettings server;
    server.host = url->host;
    server.port = url->port.value_or(21);
    server.user = url->user.value_or("");
    server.folder = url->path;
    server.passive = settings_.passive;
    server.verifyByRead = settings_.verifyByRead;
    if (!ResolvePassword(server, url->password, error)) return Fail(command, error);
    if (session_) session_->Close();
    settings_.server = server;
    return EnsureConnected(command);
}

bool CommandRunner::Describe(const Command &command) {
    std::string typeName, typeId, groupName;
    ServerApiResult result = api_->GetServerTypeName(typeName);
    if (result != ApiOk) return ReportCode(command, result, "GetServerTypeName");
    result = api_->GetServerTypeId(typeId);
    if (result != ApiOk) return ReportCode(command, result, "GetServerTypeId");
    result = api_->GetServerGroupName(groupName);
    if (result != ApiOk) return ReportCode(command, result, "GetServerGroupName");
    PrintLine("Type name:  " + typeName);
    PrintLine("Type id:    " + typeId);
    PrintLine("Group:      " + groupName);
    const std::pair<const char *, ServerApiResult (ModuleApi::*)(int32_t)> lists[] = {
        {"Server parameters:", &ModuleApi::DescribeServerParameters},
        {"Asset parameters:", &ModuleApi::DescribeAssetParameters},
    };
    for (const auto &[title, describe] : lists) {
        ScopedParameterSet set(*api_);
        if (set.CreationResult() != ApiOk) return ReportCode(command, set.CreationResult(), "CreateParameterSet");
        result = ((*api_).*describe)(set.Handle());
        if (result != ApiOk) return ReportCode(command, result, title);
        std::vector<ParameterEntry> entries;
        result = api_->EnumerateParameters(set.Handle(), entries);
        if (result != ApiOk) return ReportCode(command, result, "EnumerateParameters");
        PrintLine(title);
        for (const auto &entry : entries) {
            char line[512];
            std::snprintf(line, sizeof line, "  %-28s %s", entry.key.c_str(), entry.value.c_str());
            PrintLine(line);
        }
    }
    return true;
}

bool CommandRunner::PrintListing() {
    Listing listing;
    if (auto failure = session_->ReadListing(listing)) return Report({"ls", {}}, *failure);
    std::sort(listing.folders.begin(), listing.folders.end());
    std::sort(listing.files.begin(), listing.files.end());
    for (const auto &folder : listing.folders) PrintLine(folder + "/");
    for (const auto &file : listing.files) PrintLine(file);
    return true;
}

bool CommandRunner::List(const Command &command) {
    if (command.args.empty()) return PrintListing();
    std::string start;
    if (auto failure = session_->CurrentFolder(start)) return Report(command, *failure);
    if (auto failure = session_->Walk(command.args[0], false)) return Report(command, *failure);
    const bool listed = PrintListing();
    if (auto failure = session_->Return(start)) return Report(command, *failure);
    return listed;
}

bool CommandRunner::ChangeDirectory(const Command &command) {
    if (auto failure = session_->Walk(command.args[0], false)) return Report(command, *failure);
    return true;
}

bool CommandRunner::MakeDirectory(const Command &command) {
    std::string start;
    if (auto failure = session_->CurrentFolder(start)) return Report(command, *failure);
    int created = 0;
    if (auto failure = session_->Walk(command.args[0], true, &created)) return Report(command, *failure);
    if (auto failure = session_->Return(start)) return Report(command, *failure);
    if (created == 0) return Fail(command, "'" + command.args[0] + "' already exists");
    PrintLine("created " + command.args[0]);
    return true;
}

bool CommandRunner::PrintFolder(const Command &command) {
    std::string folder;
    if (auto failure = session_->CurrentFolder(folder)) return Report(command, *failure);
    PrintLine(folder);
    return true;
}

bool CommandRunner::Info(const Command &command) {
    const std::string &name = command.args[0];
    if (RefuseFolder(command)) return false;
    Listing listing;
    const bool listed = !IsSimpleName(name) || (!session_->ReadListing(listing) && listing.HasFile(name));
    if (!listed) {
        std::fprintf(stderr, "note: '%s' is not in this folder's listing; the module keeps trying to open it "
                             "for about 30 s\n", name.c_str());
    }
    ScopedParameterSet set(*api_);
    if (set.CreationResult() != ApiOk) return ReportCode(command, set.CreationResult(), "CreateParameterSet");
    ServerApiResult result;
    {
        WaitingNote note("asking the server about " + name, settings_.progress);
        result = api_->GetAssetInfo(session_->Connection(), name, set.Handle());
    }
    if (result != ApiOk) return ReportCode(command, result);
    std::vector<ParameterEntry> entries;
    result = api_->EnumerateParameters(set.Handle(), entries);
    if (result != ApiOk) return ReportCode(command, result, "EnumerateParameters");
    std::string size;
    for (const auto &entry : entries) {
        char line[512];
        std::snprintf(line, sizeof line, "%-20s %s", entry.key.c_str(), entry.value.c_str());
        PrintLine(line);
        if (entry.key == "AssetSize") size = entry.value;
    }
    // The module reports an unreadable file through an empty size, not a code.
    if (size.empty()) return Fail(command, "could not open '" + name + "' on the server (no such file, or no access)");
    return true;
}

bool CommandRunner::Get(const Command &command) {
    const std::string &remote = command.args[0];
    if (RefuseFolder(command)) return false;
    std::string local = command.args.size() > 1 ? command.args[1] : BaseName(remote);
    if (local.empty()) return Fail(command, "give a local file name");
    if (platform::IsDirectory(local)) local += "/" + BaseName(remote);
    // The module deletes its local file whenever a transfer fails; writing to a
    // side file keeps an older copy at `local` until the new one is complete.
    const std::string partial = local + ".part";
    int64_t total = -1;
    ServerApiResult result;
    platform::InterruptScope interrupt;
    ProgressDisplay progress(BaseName(remote), settings_.progress);
    result = api_->DownloadAsset(session_->Connection(), remote, partial, [&](uint32_t count, int64_t totalSize) {
        progress.Add(count, totalSize);
        total = totalSize;
        return !platform::InterruptScope::Requested();
    });
    progress.Finish();
    const double elapsed = progress.ElapsedSeconds();
    if (result != ApiOk) {
        platform::RemoveFile(partial);
        const bool nothingArrived = result == ApiTransferFailed && progress.Done() == 0;
        return ReportCode(command, result, nothingArrived ? "no data arrived (an empty file ends this way too)" : "");
    }
    const auto size = platform::RegularFileSize(partial);
    if (!size) return Fail(command, "the transfer broke off; nothing was kept");
    if (total >= 0 && *size < static_cast<uint64_t>(total)) {
        platform::RemoveFile(partial);
        return Fail(command, "the transfer broke off after " + FormatBytes(*size) + " of " +
                                 FormatBytes(static_cast<uint64_t>(total)) + "; nothing was kept");
    }
    if (!platform::RenameReplacing(partial, local)) {
        return Fail(command, "could not move " + partial + " to " + local + ": " + std::strerror(errno));
    }
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f s", elapsed);
    PrintLine("downloaded " + remote + " to " + local + " (" + FormatBytes(*size) + ", " + seconds + ")");
    return true;
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

bool CommandRunner::Put(const Command &command) {
    const std::string &local = command.args[0];
    const std::string target = command.args.size() > 1 ? command.args[1] : BaseName(local);
    // A name with a folder in it: enter the folder and store the bare name, so
    // that what is stored is exactly the name given.
    const size_t slash = target.rfind('/');
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    if (name.empty() || name == "." || name == "..") return Fail(command, "give a file name to store under");
    std::optional<uint64_t> size;
    if (local != "-") {
        // Checked here: the module opens (and so empties) the remote file before
        // it finds that the local one cannot be read.
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
        ScopedParameterSet set(*api_);
        ServerApiResult result = set.CreationResult();
        if (result == ApiOk) result = api_->SetParameter(set.Handle(), "Title", name);
        platform::InterruptScope interrupt;
        ProgressDisplay progress(name, settings_.progress);
        if (result == ApiOk) {
            result = api_->UploadAsset(session_->Connection(), set.Handle(), local, [&](uint32_t count, int64_t total) {
                progress.Add(count, total);
                return !platform::InterruptScope::Requested();
            });
        }
        progress.Finish();
        // A stop asked for by the progress callback is no failure to the module.
        if (result == ApiOk && platform::InterruptScope::Requested()) {
            stored = Fail(command, "cancelled; the server keeps the part already sent");
        } else {
            stored = result == ApiOk ? true : ReportCode(command, result);
        }
        if (stored) PrintLine("uploaded " + local + " as " + target + " (" + FormatBytes(*size) + ")");
    }
    if (!start.empty()) {
        if (auto failure = session_->Return(start)) return Report(command, *failure);
    }
    return stored;
}

bool CommandRunner::PutStream(const Command &command, const std::string &name) {
    platform::UseBinaryStdin();
    ScopedParameterSet set(*api_);
    ServerApiResult result = set.CreationResult();
    if (result == ApiOk) result = api_->SetParameter(set.Handle(), "Title", name);
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

bool CommandRunner::Remove(const Command &command) {
    const std::string &name = command.args[0];
    Listing listing;
    if (IsSimpleName(name)) {
        if (auto failure = session_->ReadListing(listing)) return Report(command, *failure);
        if (listing.HasFolder(name)) return Fail(command, "'" + name + "' is a folder");
        if (!listing.HasFile(name)) return Fail(command, "no such file: '" + name + "'");
    }
    const ServerApiResult result = api_->DeleteAsset(session_->Connection(), name);
    if (result != ApiOk) return ReportCode(command, result);
    session_->MarkListingStale();
    // DeleteAsset succeeds whether or not the server deleted anything: look.
    if (IsSimpleName(name)) {
        if (auto failure = session_->ReadListing(listing)) return Report(command, *failure);
        if (listing.HasFile(name)) return Fail(command, "the server did not delete '" + name + "'");
    }
    PrintLine("deleted " + name);
    return true;
}

bool ResolvePassword(ServerSettings &server, const std::optional<std::string> &given, std::string &error) {
    if (given) {
        server.password = *given;
        if (server.user.empty()) server.user = "anonymous";
        return true;
    }
    if (auto fromEnvironment = platform::Environment("SAPIHOST_PASSWORD")) {
        server.password = *fromEnvironment;
        if (server.user.empty()) server.user = "anonymous";
        return true;
    }
    if (server.user.empty() || server.user == "anonymous" || server.user == "ftp") {
        if (server.user.empty()) server.user = "anonymous";
        server.password = "anonymous@";
        return true;
    }
    if (platform::IsTerminal(stdin)) {
        auto typed = platform::ReadSecret("Password for " + DisplayServer(server.host, server.port, server.user) + ": ");
        if (typed) {
            server.password = *typed;
            return true;
        }
    }
    error = "no password for " + server.user + ": put it in SAPIHOST_PASSWORD, or run on a terminal to be asked";
    return false;
}

}  // namespace sapihost
