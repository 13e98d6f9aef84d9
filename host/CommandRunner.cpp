// Dispatch, the module and the connection, and how failures are reported.
#include "CommandRunner.h"

#include <cstdint>
#include <cstdio>

#include "CommandOutput.h"
#include "ResultCodes.h"
#include "ServerUrl.h"
#include "platform/Platform.h"

namespace sapihost {

namespace {

std::string JoinCommand(const Command &command) {
    std::string text = command.name;
    for (const auto &arg : command.args) text += " " + arg;
    return text;
}

}  // namespace

// A name the listing shows as a folder: the module would try to open it as a
// file (for `info`, thirty times), so say what it is instead. `read` is the
// listing a caller read already, for many names; without it the session's is
// read here.
bool CommandRunner::RefuseFolder(const Command &command, const Listing *read) {
    const std::string &name = command.args[0];
    if (!IsSimpleName(name)) return false;
    Listing listing;
    if (read == nullptr && session_->ReadListing(listing)) return false;
    if (!(read != nullptr ? *read : listing).HasFolder(name)) return false;
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
    if (settings_.trace) {
        std::fprintf(stderr, "trace: password for %s from %s\n",
                     DisplayServer(server.host, server.port, server.user).c_str(), server.passwordSource.c_str());
    }
    auto failure = session_->Open(server);
    if (failure && CanOfferTrust(*failure)) {
        ReportOpenFailure(command, *failure);
        if (!AskTrust(*failure)) return false;
        failure = session_->Open(server);
    }
    if (failure) return ReportOpenFailure(command, *failure);
    if (interactive) {
        std::string folder;
        session_->CurrentFolder(folder);
        std::fprintf(stderr, "connected to %s, folder %s\n",
                     DisplayServer(server.host, server.port, server.user, server.security).c_str(), folder.c_str());
    }
    return true;
}

// The commands in the order help lists them: what the parser checks, and what
// runs each one once what it needs is there.
std::span<const CommandSpec> AllCommands() {
    using R = CommandRunner;
    constexpr size_t many = SIZE_MAX;
    static constexpr CommandSpec commands[] = {
        {"describe", 0, 0, Needs::Module, &R::Describe, "describe", "what the module serves and the settings it takes"},
        {"ls", 0, 1, Needs::Server, &R::List, "ls [FOLDER]", "list the folders and files"},
        {"cd", 1, 1, Needs::Server, &R::ChangeDirectory,
         "cd FOLDER", "enter a folder (.. for the parent, /x/y from the top)"},
        {"mkdir", 1, 1, Needs::Server, &R::MakeDirectory,
         "mkdir FOLDER", "create a folder (and any missing ones on its path)"},
        {"pwd", 0, 0, Needs::Server, &R::PrintFolder, "pwd", "show the current folder"},
        {"info", 1, 2, Needs::Server, &R::Info, "info NAME",
         "size of a file (a read test with --verify-by-read; --follow: still growing?)"},
        {"get", 1, many, Needs::Server, &R::Get, "get REMOTE [LOCAL]",
         "download a file (more names or a wildcard: as mget); --follow[=SECONDS]: as it grows"},
        {"mget", 1, many, Needs::Server, &R::Get, "mget [-P N] NAME...",
         "download files; * and ? match names in the folder; -P: over N connections at once"},
        {"cat", 1, 1, Needs::Server, &R::Cat, "cat REMOTE", "write a file to standard output"},
        {"put", 1, many, Needs::Server, &R::Put,
         "put LOCAL [NAME] | put - NAME", "upload a file, or standard input (more: as mput)"},
        {"mput", 1, many, Needs::Server, &R::Put, "mput [-P N] LOCAL...",
         "upload files under their own names; * and ? match; -P: over N connections"},
        {"rm", 1, 1, Needs::Server, &R::Remove, "rm NAME", "delete a file"},
        {"codes", 0, 0, Needs::Nothing, &R::Codes, "codes", "list the result codes and what they mean"},
        {"help", 0, 0, Needs::Nothing, &R::Help, "help", "list the commands"},
        {"shell", 0, 0, Needs::Nothing, &R::RefuseShell, "shell", "run commands from a prompt"},
        {"history", 0, 0, Needs::Nothing, &R::History, "history", "list the commands typed in the shell"},
        {"open", 1, 1, Needs::Nothing, &R::OpenServer,
         "open ftp://user@host:port/", "connect to another server (shell)"},
        {"close", 0, 0, Needs::Nothing, &R::CloseServer, "close", "close the connection (shell)"},
        {"quit", 0, 0, Needs::Nothing, &R::Quit, "quit", "leave the shell (also: exit, Ctrl-D)"},
    };
    return commands;
}

bool CommandRunner::Run(const Command &command) {
    const CommandSpec *spec = FindCommand(command.name);
    if (spec == nullptr) return Fail(command, "unknown command");
    if (spec->needs == Needs::Module && !EnsureModule()) return false;
    if (spec->needs == Needs::Server && !EnsureConnected(command)) return false;
    return (this->*spec->run)(command);
}

std::string CommandRunner::Prompt() {
    if (!session_ || !session_->IsOpen()) return "sapihost> ";
    std::string folder;
    session_->CurrentFolder(folder);
    return "sapihost:" + folder + "> ";
}

bool CommandRunner::Help(const Command &) {
    std::fputs(UsageText().c_str(), stdout);
    return true;
}

bool CommandRunner::Codes(const Command &) {
    for (const auto &info : AllResultCodes()) std::printf("%4d  %-26s %s\n", info.code, info.name, info.sentence);
    return true;
}

bool CommandRunner::History(const Command &) {
    for (size_t i = 0; i < history.size(); ++i) std::printf("%5zu  %s\n", i + 1, history[i].c_str());
    return true;
}

bool CommandRunner::Quit(const Command &) { return quitRequested = true; }

bool CommandRunner::RefuseShell(const Command &command) { return Fail(command, "already in the shell"); }

bool CommandRunner::CloseServer(const Command &) {
    if (session_) session_->Close();
    return true;
}

bool CommandRunner::ReportOpenFailure(const Command &command, const Failure &failure) {
    const ServerSettings &server = *settings_.server;
    const std::string where = DisplayServer(server.host, server.port, server.user, server.security);
    if (failure.code == ApiOk) return Fail(command, where + ": " + failure.message);
    // The module's own reason where it gave one; the generic hint otherwise.
    // A certificate's reason says "not secure", and comes with the fingerprint
    // so that a user who has checked it with the server's owner can pin it
    // (--tls-fingerprint).
    const std::string code = " (" + std::to_string(failure.code) + " " + ResultName(failure.code) + ")";
    if (!failure.tlsFailure.empty()) {
        const std::string reason = failure.tlsFailure.substr(0, failure.tlsFailure.find_first_of("\r\n"));
        Fail(command, "cannot open " + where + ": not secure: " + reason + code);
    } else if (!failure.reason.empty()) {
        Fail(command, "cannot open " + where + ": " + failure.reason + code);
    } else {
        ReportCode(command, failure.code, "cannot open " + where);
    }
    if (!failure.tlsFailure.empty()) {
        const std::string fingerprint = FingerprintIn(failure.tlsFailure);
        if (!fingerprint.empty()) std::fprintf(stderr, "sapihost: certificate SHA-256 fingerprint: %s\n", fingerprint.c_str());
    }
    return false;
}

// In the shell on a terminal, as ssh does: a certificate the user has checked
// by other means may be trusted for this session. The answer defaults to no.
bool CommandRunner::CanOfferTrust(const Failure &failure) const {
    return interactive && !FingerprintIn(failure.tlsFailure).empty() && platform::IsTerminal(stdin);
}

bool CommandRunner::AskTrust(const Failure &failure) {
    const std::string fingerprint = FingerprintIn(failure.tlsFailure);
    const auto answer = platform::ReadLine("Trust this certificate for this session? [y/N] ", {});
    if (!answer || (*answer != "y" && *answer != "Y" && *answer != "yes")) return false;
    settings_.server->tlsFingerprint = fingerprint;
    settings_.tls.fingerprint = fingerprint;
    return true;
}

bool CommandRunner::OpenServer(const Command &command) {
    std::string error;
    auto url = ParseServerUrl(command.args[0], error);
    if (!url) return Fail(command, error);
    ServerSettings server;
    server.host = url->host;
    server.port = url->port.value_or(DefaultPort(url->security));
    server.user = url->user.value_or("");
    server.folder = url->path;
    server.passive = settings_.passive;
    server.verifyByRead = settings_.verifyByRead;
    server.waitForGrowing = settings_.waitForGrowing;
    server.reconnect = settings_.reconnect;
    server.verify = settings_.verify;
    NoteImpliedTls(settings_.tls.ApplyTo(server, url->security),
                   !platform::Environment("PELKSAPIFTP_TRACE").value_or("").empty());
    if (!ResolvePassword(server, url->password, error)) return Fail(command, error);
    if (session_) session_->Close();
    settings_.server = server;
    return EnsureConnected(command);
}

}  // namespace sapihost
