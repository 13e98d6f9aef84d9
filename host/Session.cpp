#include "Session.h"

#include <algorithm>
#include <cstdio>

namespace sapihost {

namespace {

Failure CodeFailure(ServerApiResult code, std::string message = {}) { return Failure{code, std::move(message), {}, {}}; }

}  // namespace

bool Listing::HasFolder(const std::string &name) const { return folders.Contains(name); }
bool Listing::HasFile(const std::string &name) const { return files.Contains(name); }

std::vector<std::string> SplitPath(const std::string &path) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t slash = path.find('/', start);
        if (slash == std::string::npos) slash = path.size();
        if (slash > start) parts.push_back(path.substr(start, slash - start));
        start = slash + 1;
    }
    return parts;
}

bool TlsOptions::ApplyTo(ServerSettings &server, Security fromUrl) const {
    // Whoever names a CA or a pin wants TLS, not a password in clear text.
    const bool implied = !explicitTls && (!caFile.empty() || !fingerprint.empty());
    const bool upgrade = fromUrl == Security::Clear && (explicitTls || implied);
    server.security = upgrade ? Security::Explicit : fromUrl;
    server.tlsCaFile = caFile;
    server.tlsFingerprint = fingerprint;
    return upgrade && implied;
}

void NoteImpliedTls(bool implied, bool verbose) {
    if (implied && verbose) {
        std::fputs("sapihost: --tls-ca or --tls-fingerprint given: explicit TLS (AUTH TLS) for this ftp:// URL\n",
                   stderr);
    }
}

std::string FingerprintIn(const std::string &tlsFailure) {
    const std::string label = "Fingerprint=";
    const size_t at = tlsFailure.find(label);
    if (at == std::string::npos) return {};
    const size_t start = at + label.size();
    return tlsFailure.substr(start, tlsFailure.find_first_of("\r\n", start) - start);
}

std::optional<Failure> Session::Open(const ServerSettings &settings) {
    Close();
    // Kept while the connection is open: the module writes into it what it
    // found of each transfer's digest.
    auto set = std::make_unique<ScopedParameterSet>(api_);
    if (set->CreationResult() != ApiOk) return CodeFailure(set->CreationResult(), "could not create a parameter set");
    std::vector<std::pair<const char *, std::string>> keys = {
        {SERVER_API_KEY_PRIMARY_ADDRESS, settings.host},
        {SERVER_API_KEY_PRIMARY_PORT, std::to_string(settings.port)},
        {SERVER_API_KEY_PRIMARY_LOGIN_NAME, settings.user},
        {SERVER_API_KEY_PRIMARY_LOGIN_PASSWORD, settings.password},
        {SERVER_API_KEY_USE_PASSIVE, settings.passive ? "1" : "0"},
        {SERVER_API_KEY_VERIFY_BY_READ, settings.verifyByRead ? "1" : "0"},
    };
    // A person at the command line expects a dropped connection to be taken
    // up again, and a download cut short to go on where it stopped.
    if (settings.reconnect) keys.emplace_back(SERVER_API_KEY_RECONNECT, "1");
    if (settings.verify > 0) keys.emplace_back(SERVER_API_KEY_VERIFY_HASH, std::to_string(settings.verify));
    if (settings.followGrowing > 0) keys.emplace_back(SERVER_API_KEY_FOLLOW_GROWING, std::to_string(settings.followGrowing));
    // A person at the command line expects get to end when the file has arrived.
    if (!settings.waitForGrowing) {
        keys.emplace_back(SERVER_API_KEY_END_ON_CONFIRMATION, "1");
        keys.emplace_back(SERVER_API_KEY_STOP_ON_REFUSAL, "1");
    }
    const std::pair<const char *, std::string> tlsKeys[] = {
        {SERVER_API_KEY_USE_TLS, std::to_string(static_cast<int>(settings.security))},
        {SERVER_API_KEY_TLS_CA_FILE, settings.tlsCaFile},
        {SERVER_API_KEY_TLS_FINGERPRINT, settings.tlsFingerprint},
    };
    for (const auto &[key, value] : keys) {
        const ServerApiResult result = api_.SetParameter(set->Handle(), key, value);
        if (result != ApiOk) return CodeFailure(result, std::string("could not set ") + key);
    }
    // Only what was asked for: a clear-text open sets the same keys as before TLS.
    for (const auto &[key, value] : tlsKeys) {
        if (settings.security == Security::Clear || value.empty()) continue;
        const ServerApiResult result = api_.SetParameter(set->Handle(), key, value);
        if (result != ApiOk) return CodeFailure(result, std::string("could not set ") + key);
    }
    int32_t connection = 0;
    const ServerApiResult result = api_.OpenServer(set->Handle(), connection);
    if (result != ApiOk) {
        Failure failure = CodeFailure(result);
        api_.GetParameter(set->Handle(), SERVER_API_KEY_FAILURE, failure.reason);
        if (settings.security != Security::Clear) {
            api_.GetParameter(set->Handle(), SERVER_API_KEY_TLS_FAILURE, failure.tlsFailure);
        }
        return failure;
    }
    connection_ = connection;
    set_ = std::move(set);
    settings_ = settings;
    listingStale_ = false;
    if (!settings.folder.empty()) {
        if (auto failure = Walk(settings.folder, false)) {
            Close();
            return failure;
        }
    }
    return std::nullopt;
}

void Session::Close() {
    if (connection_ == 0) return;
    api_.CloseServer(connection_);
    connection_ = 0;
    set_.reset();
}

std::string Session::VerifyResult() {
    std::string result;
    if (set_) api_.GetParameter(set_->Handle(), SERVER_API_KEY_VERIFY_RESULT, result);
    return result;
}

std::string Session::ListingNote() {
    std::string note;
    if (set_) api_.GetParameter(set_->Handle(), SERVER_API_KEY_LISTING_NOTE, note);
    return note;
}

// The listing read anew. Entering a folder creates it where it is missing, so
// the folder is entered from its parent, and only once the parent lists it: a
// folder that went away is said so, never made again empty.
std::optional<Failure> Session::Refresh() {
    std::string folder;
    if (auto failure = CurrentFolder(folder)) return failure;
    const std::size_t slash = folder.find_last_of('/');
    if (slash == std::string::npos || slash + 1 == folder.size()) return Return(folder);
    const Failure gone{ApiOk, "the folder " + folder + " is no longer there", {}, {}};
    if (api_.ChangeFolder(connection_, "..") != ApiOk) return gone;
    if (Step(folder.substr(slash + 1), false, nullptr)) return gone;
    return std::nullopt;
}

std::optional<Failure> Session::EachName(ListingKind kind, const std::function<void(const std::string &)> &take) {
    if (listingStale_) {
        if (auto failure = Refresh()) return failure;
    }
    std::string name;
    for (int32_t index = 0;; ++index) {
        const ServerApiResult result = api_.ListingText(kind, connection_, index, name);
        if (result == ApiIndexOutOfRange) return std::nullopt;
        if (result != ApiOk) return CodeFailure(result, "reading the listing failed");
        take(name);
    }
}

std::optional<Failure> Session::ReadListing(Listing &listing) {
    listing = Listing{};
    if (auto failure = EachName(ListingKind::FolderName, [&](const std::string &name) { listing.folders.push_back(name); })) {
        return failure;
    }
    return EachName(ListingKind::AssetName, [&](const std::string &name) { listing.files.push_back(name); });
}

std::optional<Failure> Session::CurrentFolder(std::string &folder) {
    const ServerApiResult result = api_.GetCurrentFolder(connection_, folder);
    if (result != ApiOk) return CodeFailure(result, "could not read the current folder");
    return std::nullopt;
}

std::optional<Failure> Session::Return(const std::string &folder) {
    const ServerApiResult result = api_.ChangeFolder(connection_, folder.empty() ? "/" : folder);
    if (result != ApiOk) return CodeFailure(result, "could not go back to " + folder);
    listingStale_ = false;
    return std::nullopt;
}

std::optional<Failure> Session::Step(const std::string &name, bool create, int *created) {
    if (name == ".") return std::nullopt;
    if (name != "..") {
        Listing listing;
        if (auto failure = ReadListing(listing)) return failure;
        if (!listing.HasFolder(name)) {
            if (listing.HasFile(name)) return Failure{ApiOk, "'" + name + "' is a file, not a folder", {}, {}};
            if (!create) return Failure{ApiOk, "no such folder: '" + name + "' (mkdir creates one)", {}, {}};
            if (created != nullptr) ++*created;
        }
    }
    const ServerApiResult result = api_.ChangeFolder(connection_, name);
    if (result != ApiOk) return CodeFailure(result, "could not enter '" + name + "'");
    listingStale_ = false;
    return std::nullopt;
}

std::optional<Failure> Session::Walk(const std::string &path, bool create, int *created) {
    std::string start;
    if (auto failure = CurrentFolder(start)) return failure;
    std::optional<Failure> failure;
    if (!path.empty() && path[0] == '/') {
        const ServerApiResult result = api_.ChangeFolder(connection_, "/");
        if (result != ApiOk) failure = CodeFailure(result, "could not enter '/'");
    }
    for (const auto &name : SplitPath(path)) {
        if (failure) break;
        failure = Step(name, create, created);
    }
    if (failure) {
        std::string now;
        if (!CurrentFolder(now) && now != start) Return(start);
    }
    return failure;
}

}  // namespace sapihost
