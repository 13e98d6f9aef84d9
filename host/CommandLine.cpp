#include "CommandLine.h"

#include <cstring>

#include "ServerUrl.h"

namespace sapihost {

namespace {

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

const CommandSpec *FindCommand(const std::string &name) {
    const std::string canonical = name == "exit" ? "quit" : name;
    for (const auto &spec : AllCommands()) {
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
        const CommandSpec *spec = FindCommand(word);
        if (startNext || (!explicitSeparators && spec != nullptr)) {
            commands.push_back({spec != nullptr ? spec->name : word, {}});
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

// One row of the options' part of the usage text. A row without a name is a
// heading; a row without help is another name of the option before it.
struct OptionSpec {
    const char *name;  // "--port PORT": a placeholder after the name when it takes a value
    const char *help;  // its lines in the usage text
    bool (*apply)(Options &options, const std::string &value, std::string &error);
};

template <auto member, auto value>
bool Set(Options &options, const std::string &, std::string &) {
    options.*member = value;
    return true;
}

template <auto member>
bool Take(Options &options, const std::string &value, std::string &) {
    options.*member = value;
    return true;
}

bool TakePort(Options &options, const std::string &value, std::string &error) {
    options.port = ParsePort(value);
    if (!options.port) error = "--port must be a number from 1 to 65535";
    return options.port.has_value();
}

constexpr OptionSpec kOptions[] = {
    {nullptr, "Server (instead of, or on top of, the URL):", nullptr},
    {"--host HOST", "server name or address (IPv6 in a URL: ftp://[::1]:2121/)", Take<&Options::host>},
    {"--port PORT", "default 21", TakePort},
    {"--user USER", "default: the login ~/.netrc names for the host, or anonymous", Take<&Options::user>},
    {"--password PASSWORD",
     "visible to other users of this machine: prefer\n"
     "SAPIHOST_PASSWORD=... in the environment, ~/.netrc,\n"
     "or the prompt",
     Take<&Options::password>},
    {nullptr, "Options:", nullptr},
    {"--passive", "passive FTP, the default: works through most firewalls", Set<&Options::passive, true>},
    {"--active", "active FTP: the server connects back to this machine", Set<&Options::passive, false>},
    {"--verify-by-read", "'info' also tries to read the file (\"Under Construction\")",
     Set<&Options::verifyByRead, true>},
    {"--wait-for-growing",
     "the module's own patience: every download ends ten seconds\n"
     "after its last data (for files still being written), and\n"
     "'info' on a refused name tries thirty times; without it a\n"
     "download ends when the server confirms it",
     Set<&Options::waitForGrowing, true>},
    {"--no-reconnect",
     "a connection the server drops stays dropped; by default\n"
     "the module opens it again and a download goes on\n"
     "where it stopped",
     Set<&Options::reconnect, false>},
    {"--verify",
     "check every transfer against the server's own digest\n"
     "of the file where it offers one (with =require, fail\n"
     "where it does not); a mismatch fails the transfer",
     Set<&Options::verify, 1>},
    {"--verify=require", nullptr, Set<&Options::verify, 2>},
    {"--tls",
     "explicit FTPS (AUTH TLS) with an ftp:// URL, as ftpes://\n"
     "does; ftps:// is implicit FTPS (port 990)",
     Set<&Options::tls, true>},
    {"--tls-ca FILE", "trust the CAs in this PEM file instead of the system's", Take<&Options::tlsCaFile>},
    {"--tls-fingerprint SHA256",
     "trust exactly the certificate with this SHA-256 fingerprint\n"
     "(either of the two turns on explicit FTPS for ftp://)",
     Take<&Options::tlsFingerprint>},
    {"--module PATH",
     "the module to load (default: the PelkSAPIFTP that came with\n"
     "sapihost: in the build tree, installed, or beside it)",
     Take<&Options::module>},
    {"--trace", "print every call into the module, and its result, on stderr", Set<&Options::trace, true>},
    {"-v",
     "print the FTP conversation on stderr (passwords masked), as\n"
     "PELKSAPIFTP_TRACE=stderr does; PELKSAPIFTP_TRACE=FILE writes it there",
     Set<&Options::protocolTrace, true>},
    {"--verbose", nullptr, Set<&Options::protocolTrace, true>},
    {"--progress", "force the progress line on or off (default: on a terminal)", Set<&Options::progress, true>},
    {"--no-progress", nullptr, Set<&Options::progress, false>},
    {"--version",
     "the version of sapihost, and the module's build, FTP\n"
     "client and identity",
     Set<&Options::version, true>},
    {"-h", "this text", Set<&Options::help, true>},
    {"--help", nullptr, Set<&Options::help, true>},
};

std::string NameOf(const OptionSpec &option) {
    const char *space = std::strchr(option.name, ' ');
    return space == nullptr ? option.name : std::string(option.name, space);
}

bool TakesValue(const OptionSpec &option) { return std::strchr(option.name, ' ') != nullptr; }

// "--port 21" and "--port=21" name the same option; a flag is matched whole.
const OptionSpec *FindOption(const std::string &arg) {
    for (const auto &option : kOptions) {
        if (option.name == nullptr) continue;
        const std::string name = NameOf(option);
        if (arg == name || (TakesValue(option) && arg.rfind(name + "=", 0) == 0)) return &option;
    }
    return nullptr;
}

bool TakeValue(const std::vector<std::string> &args, size_t &i, const std::string &name, std::string &value,
               std::string &error) {
    const std::string &arg = args[i];
    if (arg.size() > name.size()) {
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

// The options' part of the usage text: names from column 3, help from column 26.
void AppendOptions(std::string &text) {
    const std::string indent(25, ' ');
    const std::span<const OptionSpec> options = kOptions;
    for (size_t i = 0; i < options.size(); ++i) {
        const OptionSpec &option = options[i];
        if (option.name == nullptr) {
            text += std::string(option.help) + "\n";
            continue;
        }
        std::string line = std::string("  ") + option.name;
        while (i + 1 < options.size() && options[i + 1].help == nullptr) line += std::string(", ") + options[++i].name;
        line += line.size() < indent.size() ? std::string(indent.size() - line.size(), ' ') : "\n" + indent;
        for (const char *c = option.help; *c != '\0'; ++c) line += *c == '\n' ? "\n" + indent : std::string(1, *c);
        text += line + "\n";
    }
}

}  // namespace

std::optional<Options> ParseOptions(const std::vector<std::string> &args, std::string &error) {
    Options options;
    size_t i = 0;
    // Options and the server come first; the first other word starts the commands.
    for (; i < args.size(); ++i) {
        const std::string &arg = args[i];
        if (const OptionSpec *option = FindOption(arg)) {
            std::string value;
            if (TakesValue(*option) && !TakeValue(args, i, NameOf(*option), value, error)) return std::nullopt;
            if (!option->apply(options, value, error)) return std::nullopt;
        } else if (arg.size() > 1 && arg[0] == '-' && arg != "--") {
            error = "unknown option " + arg;
            return std::nullopt;
        } else if (!options.url && arg.find("://") != std::string::npos) {
            options.url = arg;
        } else {
            break;
        }
    }
    if (i < args.size() && args[i] == "--") ++i;
    options.commandWords.assign(args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
    return options;
}

std::string UsageText() {
    std::string text =
        "usage: sapihost [OPTIONS] [ftp://[user[:password]@]host[:port][/folder]] [COMMAND [ARGS]]...\n"
        "\n"
        "Loads a server-access module and drives it as a host does. With no command,\n"
        "or with the command 'shell', reads commands from a prompt.\n"
        "\n";
    AppendOptions(text);
    text += "\nCommands (several may follow one another; separate them with ';' or '--' when an\n"
            "argument is itself a command word):\n";
    for (const auto &spec : AllCommands()) {
        const std::string usage = spec.usage;
        text += "  " + usage + std::string(usage.size() < 30 ? 30 - usage.size() : 0, ' ') + " " + spec.summary + "\n";
    }
    return text + "\nThe password comes from the URL, --password, SAPIHOST_PASSWORD, ~/.netrc (machine,\n"
                  "login, password, default; refused when other users may read it) or a prompt.\n"
                  "Exit status: 0 when every command succeeded, 1 when one failed (the rest are\n"
                  "skipped), 2 for a usage error.\n";
}

}  // namespace sapihost
