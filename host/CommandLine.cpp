#include "CommandLine.h"

#include <array>
#include <cstdint>

#include "ServerUrl.h"

namespace sapihost {

namespace {

constexpr size_t kMany = SIZE_MAX;

constexpr std::array<CommandSpec, 19> kCommands{{
    {"describe", 0, 0, false, "describe", "what the module serves and the settings it takes"},
    {"ls", 0, 1, true, "ls [FOLDER]", "list the folders and files"},
    {"cd", 1, 1, true, "cd FOLDER", "enter a folder (.. for the parent, /x/y from the top)"},
    {"mkdir", 1, 1, true, "mkdir FOLDER", "create a folder (and any missing ones on its path)"},
    {"pwd", 0, 0, true, "pwd", "show the current folder"},
    {"info", 1, 1, true, "info NAME", "size of a file (and the read test under --verify-by-read)"},
    {"get", 1, kMany, true, "get REMOTE [LOCAL]", "download a file (several names or a wildcard: as mget)"},
    {"mget", 1, kMany, true, "mget NAME...", "download files; * and ? match names in the folder"},
    {"cat", 1, 1, true, "cat REMOTE", "write a file to standard output"},
    {"put", 1, kMany, true, "put LOCAL [NAME] | put - NAME", "upload a file, or standard input (more: as mput)"},
    {"mput", 1, kMany, true, "mput LOCAL...", "upload files under their own names; * and ? match"},
    {"rm", 1, 1, true, "rm NAME", "delete a file"},
    {"codes", 0, 0, false, "codes", "list the result codes and what they mean"},
    {"help", 0, 0, false, "help", "list the commands"},
    {"shell", 0, 0, false, "shell", "run commands from a prompt"},
    {"history", 0, 0, false, "history", "list the commands typed in the shell"},
    {"open", 1, 1, false, "open ftp://user@host:port/", "connect to another server (shell)"},
    {"close", 0, 0, false, "close", "close the connection (shell)"},
    {"quit", 0, 0, false, "quit", "leave the shell (also: exit, Ctrl-D)"},
}};

bool IsSeparator(const std::string &word) { return word == ";" || word == "--"; }

bool CheckArity(const Command &command, std::string &error) {
    const CommandSpec *spec = FindCommand(command.name);
    if (spec == nullptr) {
        error = "unknown command '" + command.name + "' (try: sapihost help)";
        return false;
    }
    if (command.args.size() < spec->minArgs || command.args.size() > spec->maxArgs) {
        error = "usage: " + std::string(spec->usage);
        return false;
    }
    if (command.name == "put" && command.args[0] == "-" && command.args.size() != 2) {
        error = "usage: put - NAME (the name to store standard input under)";
        return false;
    }
    return true;
}

}  // namespace

std::span<const CommandSpec> AllCommands() { return kCommands; }

const CommandSpec *FindCommand(const std::string &name) {
    const std::string canonical = name == "exit" ? "quit" : name;
    for (const auto &spec : kCommands) {
        if (canonical == spec.name) return &spec;
    }
    return nullptr;
}

std::optional<std::vector<Command>> SplitCommands(const std::vector<std::string> &words, std::string &error) {
    bool explicitSeparators = false;
    for (const auto &word : words) explicitSeparators = explicitSeparators || IsSeparator(word);
    std::vector<Command> commands;
    bool startNext = true;
    for (const auto &word : words) {
        if (IsSeparator(word)) {
            startNext = true;
            continue;
        }
        const bool startsCommand = startNext || (!explicitSeparators && FindCommand(word) != nullptr);
        if (startsCommand) {
            commands.push_back({word == "exit" ? "quit" : word, {}});
            startNext = false;
        } else {
            commands.back().args.push_back(word);
        }
    }
    for (const auto &command : commands) {
        if (!CheckArity(command, error)) return std::nullopt;
    }
    return commands;
}

std::optional<std::vector<std::string>> TokenizeLine(const std::string &line, std::string &error) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    char quote = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quote != 0) {
            if (c == quote) {
                quote = 0;
            } else if (c == '\\' && quote == '"' && i + 1 < line.size()) {
                word.push_back(line[++i]);
            } else {
                word.push_back(c);
            }
        } else if (c == '"' || c == '\'') {
            quote = c;
            inWord = true;
        } else if (c == '\\' && i + 1 < line.size()) {
            word.push_back(line[++i]);
            inWord = true;
        } else if (c == ' ' || c == '\t' || c == ';') {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
            if (c == ';') words.emplace_back(";");
        } else {
            word.push_back(c);
            inWord = true;
        }
    }
    if (quote != 0) {
        error = std::string("unterminated ") + quote + " quote";
        return std::nullopt;
    }
    if (inWord) words.push_back(word);
    return words;
}

namespace {

// Options that take a value: "--port 21" or "--port=21".
bool TakeValue(const std::vector<std::string> &args, size_t &i, const std::string &name, std::string &value,
               std::string &error) {
    const std::string &arg = args[i];
    if (arg.size() > name.size() && arg.compare(0, name.size() + 1, name + "=") == 0) {
        value = arg.substr(name.size() + 1);
        return true;
    }
    if (i + 1 >= args.size()) {
        error = name + " needs a value";
        return false;
    }
    value = args[++i];
    return true;
}

bool Matches(const std::string &arg, const std::string &name) {
    return arg == name || arg.compare(0, name.size() + 1, name + "=") == 0;
}

// Returns false with `error` set, or true when `arg` was an option.
bool ParseOption(const std::vector<std::string> &args, size_t &i, Options &options, bool &handled,
                 std::string &error) {
    const std::string &arg = args[i];
    std::string value;
    handled = true;
    if (arg == "-h" || arg == "--help") {
        options.help = true;
    } else if (arg == "--version") {
        options.version = true;
    } else if (arg == "--passive") {
        options.passive = true;
    } else if (arg == "--active") {
        options.passive = false;
    } else if (arg == "--verify-by-read") {
        options.verifyByRead = true;
    } else if (arg == "--wait-for-growing") {
        options.waitForGrowing = true;
    } else if (arg == "--no-reconnect") {
        options.reconnect = false;
    } else if (arg == "--verify" || arg == "--verify=require") {
        options.verify = arg == "--verify" ? 1 : 2;
    } else if (arg == "-v" || arg == "--verbose") {
        options.protocolTrace = true;
    } else if (arg == "--tls") {
        options.tls = true;
    } else if (Matches(arg, "--tls-ca")) {
        if (!TakeValue(args, i, "--tls-ca", value, error)) return false;
        options.tlsCaFile = value;
    } else if (Matches(arg, "--tls-fingerprint")) {
        if (!TakeValue(args, i, "--tls-fingerprint", value, error)) return false;
        options.tlsFingerprint = value;
    } else if (arg == "--trace") {
        options.trace = true;
    } else if (arg == "--progress") {
        options.progress = true;
    } else if (arg == "--no-progress") {
        options.progress = false;
    } else if (Matches(arg, "--module")) {
        if (!TakeValue(args, i, "--module", value, error)) return false;
        options.module = value;
    } else if (Matches(arg, "--host")) {
        if (!TakeValue(args, i, "--host", value, error)) return false;
        options.host = value;
    } else if (Matches(arg, "--port")) {
        if (!TakeValue(args, i, "--port", value, error)) return false;
        options.port = ParsePort(value);
        if (!options.port) {
            error = "--port must be a number from 1 to 65535";
            return false;
        }
    } else if (Matches(arg, "--user")) {
        if (!TakeValue(args, i, "--user", value, error)) return false;
        options.user = value;
    } else if (Matches(arg, "--password")) {
        if (!TakeValue(args, i, "--password", value, error)) return false;
        options.password = value;
    } else if (arg.size() > 1 && arg[0] == '-' && arg != "--") {
        error = "unknown option " + arg;
        return false;
    } else {
        handled = false;
    }
    return true;
}

}  // namespace

std::optional<Options> ParseOptions(const std::vector<std::string> &args, std::string &error) {
    Options options;
    size_t i = 0;
    // Options and the server come first; the first other word starts the commands.
    for (; i < args.size(); ++i) {
        bool handled = false;
        if (!ParseOption(args, i, options, handled, error)) return std::nullopt;
        if (handled) continue;
        if (!options.url && args[i].find("://") != std::string::npos) {
            options.url = args[i];
            continue;
        }
        break;
    }
    if (i < args.size() && args[i] == "--") ++i;
    options.commandWords.assign(args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
    return options;
}

const char *UsageText() {
    return R"(usage: sapihost [OPTIONS] [ftp://[user[:password]@]host[:port][/folder]] [COMMAND [ARGS]]...

Loads a server-access module and drives it as a host does. With no command,
or with the command 'shell', reads commands from a prompt.

Server (instead of, or on top of, the URL):
  --host HOST            server name or address (IPv6 in a URL: ftp://[::1]:2121/)
  --port PORT            default 21
  --user USER            default: the login ~/.netrc names for the host, or anonymous
  --password PASSWORD    visible to other users of this machine: prefer
                         SAPIHOST_PASSWORD=... in the environment, ~/.netrc,
                         or the prompt
Options:
  --passive              passive FTP, the default: works through most firewalls
  --active               active FTP: the server connects back to this machine
  --verify-by-read       'info' also tries to read the file ("Under Construction")
  --wait-for-growing     the module's own patience: every download ends ten seconds
                         after its last data (for files still being written), and
                         'info' on a refused name tries thirty times; without it a
                         download ends when the server confirms it
  --no-reconnect         a connection the server drops stays dropped; by default
                         the module opens it again and a download goes on
                         where it stopped
  --verify[=require]     check every transfer against the server's own digest
                         of the file where it offers one (with =require, fail
                         where it does not); a mismatch fails the transfer
  --tls                  explicit FTPS (AUTH TLS) with an ftp:// URL, as ftpes://
                         does; ftps:// is implicit FTPS (port 990)
  --tls-ca FILE          trust the CAs in this PEM file instead of the system's
  --tls-fingerprint SHA256
                         trust exactly the certificate with this SHA-256 fingerprint
                         (either of the two turns on explicit FTPS for ftp://)
  --module PATH          the module to load (default: the PelkSAPIFTP that came with
                         sapihost: in the build tree, installed, or beside it)
  --trace                print every call into the module, and its result, on stderr
  -v, --verbose          print the FTP conversation on stderr (passwords masked), as
                         PELKSAPIFTP_TRACE=stderr does; PELKSAPIFTP_TRACE=FILE writes it there
  --progress, --no-progress
                         force the progress line on or off (default: on a terminal)
  --version              the version of sapihost, and the module's build, FTP
                         client and identity
  -h, --help             this text

Commands (several may follow one another; separate them with ';' or '--' when an
argument is itself a command word):
)";
}

}  // namespace sapihost
