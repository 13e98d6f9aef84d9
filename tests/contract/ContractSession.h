// The small steps the contract cases share: one logged-in connection, whole
// reads and writes, the server's last reply, a check that the control
// connection still answers in step.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ContractCases.h"

namespace sapi::contract {

// A root handle and a logged-in connect handle on it, passive; whatever is
// still open is closed, child first, at the end.
class Session {
public:
    explicit Session(ContractWorld &world);
    ~Session();
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    FtpClientServices &services() const { return services_; }
    InternetHandle root() const { return root_; }
    InternetHandle connect() const { return connect_; }
    // Closes the connect handle now (a case that tests what that does).
    bool CloseConnect();

    InternetHandle OpenRead(const std::string &name) const;
    InternetHandle OpenWrite(const std::string &name) const;
    bool Enter(const std::string &folder) const;
    InternetHandle FindFirst(FtpFindData &record) const;
    // The server's last reply, as UTF-8 ("" when none can be had).
    std::string LastReply() const;
    // "SIZE name" answered "213 <size>": the reply belongs to this command.
    bool AnswersSize(const std::string &name, uint64_t size) const;

private:
    FtpClientServices &services_;
    InternetHandle root_ = nullptr;
    InternetHandle connect_ = nullptr;
};

WideString Wide(const std::string &utf8);

// The current folder's listing, walked to its end and closed.
struct Listing {
    bool opened = false;
    std::vector<FtpFindData> records;
    uint32_t endError = 0;  // GetLastError after the walk
    bool closed = false;
};
Listing ListCurrentFolder(const Session &session);
std::string NameOf(const FtpFindData &record);
uint64_t SizeOf(const FtpFindData &record);

// `count` bytes of a pattern that no two offsets below 251 share, CR, LF and
// NUL among them.
std::string PatternBytes(std::size_t count);

// A retrieval read to its end in blocks of `block` bytes (the first reads
// smaller), stopping at the first empty or failed read.
struct Drained {
    std::string bytes;
    bool cleanEnd = false;      // the last read succeeded with 0 bytes
    uint32_t error = 0;         // GetLastError after a failed read
    bool overfilled = false;    // some read claimed more than it was asked for
};
Drained Drain(FtpClientServices &services, InternetHandle file, uint32_t block);

// Every byte written and taken whole, in blocks of 64 KiB.
bool WriteAll(FtpClientServices &services, InternetHandle file, const std::string &bytes);

// TransferConfirmedOption of a file handle; 99 when the query fails.
uint32_t Confirmed(FtpClientServices &services, InternetHandle file);

}  // namespace sapi::contract
