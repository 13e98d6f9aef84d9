#include "Sapihost.h"

#include <cstdio>
#include <filesystem>

#include "CommandRunner.h"
#include "ServerUrl.h"
#include "Version.h"
#include "platform/Platform.h"

namespace sapihost {

namespace {

constexpr int kFailed = 1;
constexpr int kUsage = 2;

std::string Folder(const std::string &path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

int Usage(const std::string &error) {
    std::fprintf(stderr, "sapihost: %s\n(sapihost --help lists the options and commands)\n", error.c_str());
    return kUsage;
}

// The server from the URL, with --host, --port, --user and --password on top.
bool BuildServer(const Options &options, const TlsOptions &tls, std::optional<ServerSettings> &server,
                 std::string &error) {
    ServerSettings settings;
    std::optional<std::string> password;
    Security security = Security::Clear;
    if (options.url) {
        auto url = ParseServerUrl(*options.url, error);
        if (!url) return false;
        security = url->security;
        settings.host = url->host;
        settings.port = url->port.value_or(DefaultPort(url->security));
        settings.user = url->user.value_or("");
        settings.folder = url->path;
        password = url->password;
    }
    if (options.host) settings.host = *options.host;
    if (options.port) settings.port = *options.port;
    if (options.user) settings.user = *options.user;
    if (options.password) password = options.password;
    if (settings.host.empty()) return true;  // no server: only describe, help and codes work
    settings.passive = options.passive;
    settings.verifyByRead = options.verifyByRead;
    settings.waitForGrowing = options.waitForGrowing;
    settings.reconnect = options.reconnect;
    settings.verify = options.verify;
    NoteImpliedTls(tls.ApplyTo(settings, security), options.protocolTrace);
    if (!ResolvePassword(settings, password, error, options.password ? "--password" : "the URL")) return false;
    server = settings;
    return true;
}

bool NeedsServer(const std::vector<Command> &commands) {
    for (const auto &command : commands) {
        const CommandSpec *spec = FindCommand(command.name);
        if (spec != nullptr && spec->needs == Needs::Server) return true;
    }
    return false;
}

int RunShell(CommandRunner &runner) {
    runner.interactive = platform::IsTerminal(stdin);
    if (runner.interactive) std::fputs("sapihost shell: 'help' lists the commands, 'quit' leaves.\n", stderr);
    bool failed = runner.HasServer() && !runner.Connect();
    while (!runner.quitRequested) {
        const auto line = platform::ReadLine(runner.interactive ? runner.Prompt() : "", runner.history);
        if (!line) break;
        if (line->find_first_not_of(" \t") == std::string::npos) continue;
        if (runner.history.empty() || runner.history.back() != *line) runner.history.push_back(*line);
        std::string error;
        auto words = TokenizeLine(*line, error);
        auto commands = words ? SplitCommands(*words, error) : std::nullopt;
        if (!commands) {
            std::fprintf(stderr, "sapihost: %s\n", error.c_str());
            failed = true;
            continue;
        }
        for (const auto &command : *commands) {
            if (!runner.Run(command)) failed = true;
            if (runner.quitRequested) break;
        }
    }
    return failed ? kFailed : 0;
}

}  // namespace

std::string DefaultModulePath(const std::string &executablePath) {
    const std::string here = Folder(executablePath);
    const std::string name = platform::ModuleFileName("PelkSAPIFTP");
    const std::string inBuildTree = Folder(here) + "/PelkSAPIFTP/" + name;
    if (platform::RegularFileSize(inBuildTree)) return inBuildTree;
#ifdef SAPI_INSTALLED_MODULE_DIR
    // Installed: <prefix>/bin/sapihost and <prefix>/<libdir>/PelkSAPIFTP/, found
    // from where we are, so that a staged or relocated install works as well.
    const std::string installed =
        std::filesystem::path(here + "/" SAPI_INSTALLED_MODULE_DIR "/" + name).lexically_normal().string();
    if (platform::RegularFileSize(installed)) return installed;
#endif
    return here + "/" + name;
}

int Main(const std::vector<std::string> &args) {
    std::string error;
    auto options = ParseOptions(args, error);
    if (!options) return Usage(error);
    auto commands = SplitCommands(options->commandWords, error);
    if (!commands) return Usage(error);
    if (options->help) commands = std::vector<Command>{{"help", {}}};
    // The module reads this when it opens a connection.
    if (options->protocolTrace && platform::Environment("PELKSAPIFTP_TRACE").value_or("").empty()) {
        platform::SetEnvironment("PELKSAPIFTP_TRACE", "stderr");
    }
    RunnerSettings settings;
    settings.modulePath = options->module.value_or(DefaultModulePath(platform::ExecutablePath()));
    if (options->version) return PrintVersion(settings.modulePath, options->trace);
    settings.trace = options->trace;
    settings.passive = options->passive;
    settings.verifyByRead = options->verifyByRead;
    settings.waitForGrowing = options->waitForGrowing;
    settings.reconnect = options->reconnect;
    settings.verify = options->verify;
    settings.tls = {options->tls, options->tlsCaFile.value_or(""), options->tlsFingerprint.value_or("")};
    settings.progress = options->progress.value_or(platform::IsTerminal(stdout) && platform::IsTerminal(stderr)) &&
                        !options->trace;
    // Only a command that talks to a server may need a password (and a prompt).
    bool shell = commands->empty();
    for (const auto &command : *commands) shell = shell || command.name == "shell";
    if ((shell || NeedsServer(*commands)) && !BuildServer(*options, settings.tls, settings.server, error)) return Usage(error);
    if (!shell && NeedsServer(*commands) && !settings.server) {
        return Usage("no server: give an ftp:// URL or --host");
    }
    CommandRunner runner(std::move(settings));
    for (const auto &command : *commands) {
        if (command.name == "shell") break;
        runner.lastCommand = !shell && &command == &commands->back();
        if (!runner.Run(command)) return kFailed;
        if (runner.quitRequested) return 0;
    }
    return shell ? RunShell(runner) : 0;
}

}  // namespace sapihost
