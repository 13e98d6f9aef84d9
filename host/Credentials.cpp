#include "Credentials.h"

#include <cstdio>

#include "Netrc.h"
#include "ServerUrl.h"
#include "platform/Platform.h"

namespace sapihost {

namespace {

bool IsAnonymous(const std::string &user) { return user.empty() || user == "anonymous" || user == "ftp"; }

void Take(ServerSettings &server, const std::string &password, const std::string &source) {
    server.password = password;
    server.passwordSource = source;
    if (server.user.empty()) server.user = "anonymous";
}

// The netrc entry for the server, if any. Like ftp, a file that holds a
// password for this machine is refused when other users may read it.
enum class NetrcUse { NotThere, Used, Refused };

NetrcUse ApplyNetrc(ServerSettings &server, std::string &error) {
    const std::string path = platform::NetrcPath();
    const auto text = path.empty() ? std::nullopt : platform::ReadWholeFile(path);
    if (!text) return NetrcUse::NotThere;
    const auto entry = FindNetrcEntry(*text, server.host, server.user);
    if (!entry) return NetrcUse::NotThere;
    if (entry->password && platform::OthersMayAccess(path)) {
        error = path + " holds passwords and other users may read it: not used (chmod 600 " + path + ")";
        return NetrcUse::Refused;
    }
    if (server.user.empty() && entry->login) server.user = *entry->login;
    if (!entry->password) return NetrcUse::NotThere;
    Take(server, *entry->password,
         path + (entry->isDefault ? " (default entry)" : " (machine " + entry->machine + ")"));
    return NetrcUse::Used;
}

}  // namespace

bool ResolvePassword(ServerSettings &server, const std::optional<std::string> &given, std::string &error,
                     const std::string &givenBy) {
    if (given) {
        Take(server, *given, givenBy);
        return true;
    }
    if (auto fromEnvironment = platform::Environment("SAPIHOST_PASSWORD")) {
        Take(server, *fromEnvironment, "SAPIHOST_PASSWORD");
        return true;
    }
    switch (ApplyNetrc(server, error)) {
        case NetrcUse::Used: return true;
        case NetrcUse::Refused: return false;
        case NetrcUse::NotThere: break;
    }
    if (IsAnonymous(server.user)) {
        Take(server, "anonymous@", "the anonymous login");
        return true;
    }
    if (platform::IsTerminal(stdin)) {
        auto typed = platform::ReadSecret("Password for " + DisplayServer(server.host, server.port, server.user) + ": ");
        if (typed) {
            Take(server, *typed, "the prompt");
            return true;
        }
    }
    error = "no password for " + server.user +
            ": put it in SAPIHOST_PASSWORD or ~/.netrc, or run on a terminal to be asked";
    return false;
}

}  // namespace sapihost
