// What a contract case needs around the client services it tests: the
// services, a server to log in to, and a hand on that server's files, so that
// a case can put a file there, look at what a store left, or ask for one of
// the server's awkward files (cut short, disk full, bigger than 4 GiB).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "ftp/services/FtpClientServices.h"

namespace sapi::contract {

// Every world's server treats names with these prefixes specially: a
// retrieval of "cut-..." stops after cutShortBytes and is answered 426; a
// store of "full-..." takes the data and is answered 426, as on a full disk.
inline constexpr const char *cutShortPrefix = "cut-";
inline constexpr const char *diskFullPrefix = "full-";
inline constexpr std::size_t cutShortBytes = 100000;

struct ServerLogin {
    WideString host;
    uint16_t port = 0;
    WideString user;
    WideString password;
};

class ContractWorld {
public:
    virtual ~ContractWorld() = default;

    virtual FtpClientServices &Services() = 0;
    virtual ServerLogin Login() = 0;

    // Paths are UTF-8, '/'-separated, relative to the login folder.
    virtual void PutFile(const std::string &path, const std::string &bytes) = 0;
    virtual void MakeFolder(const std::string &path) = 0;
    // The file's bytes as the server holds them; nullopt when it is not there.
    virtual std::optional<std::string> FileOnServer(const std::string &path) = 0;
    // A file of `size` bytes that need not take the room (sparse); false when
    // this world cannot make one.
    virtual bool PutHugeFile(const std::string &path, uint64_t size) = 0;
};

}  // namespace sapi::contract
