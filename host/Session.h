// One connection to one server through the module: opening it from settings,
// the listing the module holds for the current folder, and walking folders one
// step at a time, so that a typo in 'cd' is reported instead of created (the
// module's ChangeFolder creates any folder it cannot enter).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ModuleApi.h"
#include "NameList.h"
#include "ServerUrl.h"

namespace sapihost {

struct ServerSettings {
    std::string host;
    int port = 21;
    std::string user;
    std::string password;
    std::string passwordSource;  // where the password came from, for --trace
    bool passive = true;
    bool verifyByRead = false;
    // Leave the module its own waits: ten seconds at the end of every download
    // (for files still growing on the server), thirty attempts for a refused file.
    bool waitForGrowing = false;
    bool reconnect = true;
    int verify = 0;  // "ServerVerifyHash": 0 off, 1 where the server offers a digest, 2 required
    int followGrowing = 0;  // "ServerFollowGrowing": seconds of quiet that end a download; 0 off
    std::string folder;  // entered right after the login; may be empty
    Security security = Security::Clear;
    std::string tlsCaFile;       // empty: the system's CAs
    std::string tlsFingerprint;  // empty: no pin
};

// The three TLS options of the command line, for every server opened.
struct TlsOptions {
    bool explicitTls = false;  // --tls: an ftp:// URL means explicit FTPS
    std::string caFile;
    std::string fingerprint;
    // True when a CA file or a pin alone turned an ftp:// URL into explicit TLS.
    bool ApplyTo(ServerSettings &server, Security fromUrl) const;
};

// Says, with -v, that a CA file or a pin turned TLS on.
void NoteImpliedTls(bool implied, bool verbose);

struct Listing {
    NameList folders;
    NameList files;
    bool HasFolder(const std::string &name) const;
    bool HasFile(const std::string &name) const;
};

// What went wrong, for the person: a result code, a sentence of our own, or both.
struct Failure {
    ServerApiResult code = ApiOk;
    std::string message;
    // Why TLS failed, as the module wrote it under "ServerTLSFailure": the
    // reason, then "SHA256 Fingerprint=..." of the certificate.
    std::string tlsFailure;
    // Why the module could not open the connection ("ServerFailure"), if it said.
    std::string reason;
};

// The fingerprint in a "ServerTLSFailure" text; empty when there is none.
std::string FingerprintIn(const std::string &tlsFailure);

class Session {
public:
    explicit Session(ModuleApi &api) : api_(api) {}
    ~Session() { Close(); }
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    std::optional<Failure> Open(const ServerSettings &settings);
    void Close();
    bool IsOpen() const { return connection_ != 0; }
    int32_t Connection() const { return connection_; }
    // What the module found of the last transfer's digest ("verified
    // (SHA-256)", or why not); empty when it made no check.
    std::string VerifyResult();
    // Empty, or how many lines of the last listing the module could not read
    // and what it did about them.
    std::string ListingNote();
    const ServerSettings &Settings() const { return settings_; }

    // The listing the module holds; re-read from the server first when a delete
    // may have made it stale (DeleteAsset leaves the module's listing as it was).
    std::optional<Failure> ReadListing(Listing &listing);
    // One list of that listing, name by name in the module's order, none kept.
    std::optional<Failure> EachName(ListingKind kind, const std::function<void(const std::string &)> &take);
    void MarkListingStale() { listingStale_ = true; }
    std::optional<Failure> CurrentFolder(std::string &folder);

    // Enters `path` step by step ("..", "/", names). Missing folders are created
    // when `create`, reported otherwise; on failure the session goes back to
    // where it was. `created` counts the folders made.
    std::optional<Failure> Walk(const std::string &path, bool create, int *created = nullptr);
    // Re-enters `folder` (an absolute path from CurrentFolder), re-reading the listing.
    std::optional<Failure> Return(const std::string &folder);

private:
    std::optional<Failure> Step(const std::string &name, bool create, int *created);
    std::optional<Failure> Refresh();

    ModuleApi &api_;
    ServerSettings settings_;
    int32_t connection_ = 0;
    std::unique_ptr<ScopedParameterSet> set_;  // the one the connection was opened with
    bool listingStale_ = false;
};

std::vector<std::string> SplitPath(const std::string &path);

}  // namespace sapihost
