#include "ServerUrl.h"

#include <cctype>

namespace sapihost {

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool StartsWithIgnoringCase(const std::string &text, const std::string &prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
    }
    return true;
}

// Splits "host[:port]" or "[v6][:port]".
bool SplitHostPort(const std::string &text, ServerUrl &url, std::string &error) {
    std::string portText;
    if (!text.empty() && text[0] == '[') {
        const size_t close = text.find(']');
        if (close == std::string::npos) {
            error = "an IPv6 address needs its closing ']'";
            return false;
        }
        url.host = text.substr(1, close - 1);
        const std::string rest = text.substr(close + 1);
        if (!rest.empty() && rest[0] != ':') {
            error = "unexpected text after ']'";
            return false;
        }
        if (!rest.empty()) portText = rest.substr(1);
        if (url.host.find(':') == std::string::npos) {
            error = "brackets are for IPv6 addresses";
            return false;
        }
    } else {
        const size_t colon = text.find(':');
        if (colon != std::string::npos && text.find(':', colon + 1) != std::string::npos) {
            error = "write an IPv6 address in brackets, e.g. ftp://[::1]:2121/";
            return false;
        }
        url.host = text.substr(0, colon);
        if (colon != std::string::npos) portText = text.substr(colon + 1);
        if (colon != std::string::npos && portText.empty()) {
            error = "the port is missing after ':'";
            return false;
        }
    }
    if (url.host.empty()) {
        error = "the host name is missing";
        return false;
    }
    if (!portText.empty() || (text.back() == ':')) {
        url.port = ParsePort(portText);
        if (!url.port) {
            error = "the port must be a number from 1 to 65535";
            return false;
        }
    }
    return true;
}

bool SplitUserInfo(const std::string &text, ServerUrl &url, std::string &error) {
    const size_t colon = text.find(':');
    auto user = PercentDecode(text.substr(0, colon));
    if (!user) {
        error = "bad percent-escape in the user name";
        return false;
    }
    url.user = *user;
    if (colon != std::string::npos) {
        auto password = PercentDecode(text.substr(colon + 1));
        if (!password) {
            error = "bad percent-escape in the password";
            return false;
        }
        url.password = *password;
    }
    return true;
}

}  // namespace

std::optional<std::string> PercentDecode(const std::string &text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out.push_back(text[i]);
            continue;
        }
        if (i + 2 >= text.size()) return std::nullopt;
        const int high = HexValue(text[i + 1]);
        const int low = HexValue(text[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        out.push_back(static_cast<char>(high * 16 + low));
        i += 2;
    }
    return out;
}

std::optional<int> ParsePort(const std::string &text) {
    if (text.empty() || text.size() > 5) return std::nullopt;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > 65535) return std::nullopt;
    return value;
}

namespace {

struct Scheme {
    const char *prefix;
    Security security;
};
// As curl and lftp read ftps://: TLS from the first byte. ftpes:// is how
// FileZilla writes explicit FTPS.
constexpr Scheme schemes[] = {
    {"ftp://", Security::Clear}, {"ftpes://", Security::Explicit}, {"ftps://", Security::Implicit}};

const char *SchemeOf(Security security) {
    for (const Scheme &scheme : schemes) {
        if (scheme.security == security) return scheme.prefix;
    }
    return "ftp://";
}

}  // namespace

int DefaultPort(Security security) { return security == Security::Implicit ? 990 : 21; }

std::optional<ServerUrl> ParseServerUrl(const std::string &text, std::string &error) {
    ServerUrl url;
    const Scheme *scheme = nullptr;
    for (const Scheme &candidate : schemes) {
        if (StartsWithIgnoringCase(text, candidate.prefix)) scheme = &candidate;
    }
    if (scheme == nullptr) {
        error = "only ftp://, ftpes:// and ftps:// addresses are supported";
        return std::nullopt;
    }
    url.security = scheme->security;
    const std::string rest = text.substr(std::string(scheme->prefix).size());
    const size_t slash = rest.find('/');
    const std::string authority = rest.substr(0, slash);
    if (slash != std::string::npos) {
        // As in every ftp:// URL, the path is relative to the login folder;
        // ftp://host/%2Fsrv names the absolute /srv.
        auto path = PercentDecode(rest.substr(slash + 1));
        if (!path) {
            error = "bad percent-escape in the path";
            return std::nullopt;
        }
        url.path = *path;
    }
    // The last '@' ends the user part: a password may hold a raw '@'.
    const size_t at = authority.rfind('@');
    if (at != std::string::npos && !SplitUserInfo(authority.substr(0, at), url, error)) return std::nullopt;
    if (!SplitHostPort(at == std::string::npos ? authority : authority.substr(at + 1), url, error)) {
        return std::nullopt;
    }
    return url;
}

std::string DisplayServer(const std::string &host, int port, const std::string &user, Security security) {
    const std::string shownHost = host.find(':') != std::string::npos ? "[" + host + "]" : host;
    return SchemeOf(security) + (user.empty() ? std::string() : user + "@") + shownHost + ":" +
           std::to_string(port) + "/";
}

}  // namespace sapihost
