// Runs one command: the bridge between what a person asks for and the calls
// a host makes on the module's table.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "Credentials.h"
#include "ModuleApi.h"
#include "Progress.h"
#include "Session.h"

namespace sapihost {

// What a batch did, counted from any of its threads.
struct BatchCount {
    std::atomic<size_t> done{0};
    std::atomic<size_t> failed{0};
};

struct RunnerSettings {
    std::string modulePath;
    bool trace = false;
    bool progress = false;
    bool passive = true;
    bool verifyByRead = false;
    bool waitForGrowing = false;
    bool reconnect = true;
    int verify = 0;
    TlsOptions tls;
    std::optional<ServerSettings> server;  // what 'open' and the first server command connect to
};

class CommandRunner {
public:
    explicit CommandRunner(RunnerSettings settings);
    ~CommandRunner();
    CommandRunner(const CommandRunner &) = delete;
    CommandRunner &operator=(const CommandRunner &) = delete;

    // True when the command succeeded; failures are reported on stderr.
    bool Run(const Command &command);

    // The shell sets these: what 'history' lists, and a quieter start.
    std::vector<std::string> history;
    bool interactive = false;
    bool quitRequested = false;
    // Set for the last command of the command line: 'ls FOLDER' and 'mkdir'
    // then need not walk back (a folder change costs a listing, and round
    // trips on a slow link).
    bool lastCommand = false;
    std::string Prompt();
    // Opens the connection now (the shell does, to show the folder in its prompt).
    bool Connect() { return EnsureConnected(Command{"open", {}}); }
    bool HasServer() const { return settings_.server.has_value(); }

private:
    friend std::span<const CommandSpec> AllCommands();  // the table names the commands below

    bool EnsureModule();
    bool EnsureConnected(const Command &command);
    bool ReportOpenFailure(const Command &command, const Failure &failure);
    bool CanOfferTrust(const Failure &failure) const;
    bool AskTrust(const Failure &failure);
    bool Report(const Command &command, const Failure &failure);
    bool ReportCode(const Command &command, ServerApiResult code, const std::string &what = {});
    bool Fail(const Command &command, const std::string &message);

    bool Describe(const Command &command);
    bool List(const Command &command);
    bool ChangeDirectory(const Command &command);
    bool MakeDirectory(const Command &command);
    bool PrintFolder(const Command &command);
    bool Info(const Command &command);
    bool Get(const Command &command);
    // "--follow" or "--follow=SECONDS" taken off the words: the seconds, 0
    // without it; false once a mistake in it is reported.
    bool TakeFollow(Command &command, int &seconds);
    // A second connection, in the current folder, that follows growing files.
    std::optional<Failure> OpenFollowing(Session &following, int seconds);
    bool RemoteFileIsEmpty(Session &session, const std::string &remote);
    // get's and put's words with "-P N" taken off; false once a mistake in
    // them is reported. `batch` when they name a batch.
    bool SplitTransfer(const Command &given, Command &command, size_t &connections, bool &batch);
    bool GetBatch(const Command &command, size_t connections);
    // One item of a batch over the connection of `session`.
    using BatchMove = std::function<bool(Session &, const std::string &, ProgressDisplay &)>;
    bool RunBatch(const Command &command, const std::vector<std::string> &items, const char *verb,
                  size_t connections, const BatchMove &move);
    void MoveInParallel(const Command &command, const std::vector<std::string> &items, size_t connections,
                        ProgressDisplay &progress, const BatchMove &move, BatchCount &count);
    std::optional<uint64_t> Fetch(const Command &command, Session &session, const std::string &remote,
                                  const std::string &local, ProgressDisplay &progress, bool inBatch);
    std::optional<std::vector<std::string>> ExpandRemote(const Command &command);
    bool Cat(const Command &command);
    bool Put(const Command &command);
    bool PutStream(const Command &command, const std::string &name);
    bool PutBatch(const Command &command, size_t connections);
    bool Store(const Command &command, Session &session, const std::string &local, const std::string &name,
               ProgressDisplay &progress, bool inBatch);
    std::optional<std::vector<std::string>> ExpandLocal(const Command &command);
    bool Remove(const Command &command);
    bool OpenServer(const Command &command);
    bool CloseServer(const Command &command);
    bool Help(const Command &command);
    bool Codes(const Command &command);
    bool History(const Command &command);
    bool Quit(const Command &command);
    bool RefuseShell(const Command &command);

    bool PrintListing();
    bool RefuseFolder(const Command &command, const Listing *read = nullptr);

    RunnerSettings settings_;
    std::unique_ptr<ModuleApi> api_;
    std::unique_ptr<Session> session_;
};

// get and put with more than their one or two names, or with a wildcard; mget, mput.
bool IsBatchTransfer(const Command &command);

// "[2/7] name.txt": a batch's progress label.
std::string BatchLabel(size_t index, size_t count, const std::string &name);

// Takes "-P N" (lftp's spelling: N connections at once) off the front of a
// transfer's names. False for a count that is not 1 to 16; `given` says
// whether the option was there.
bool TakeConnections(Command &command, size_t &connections, bool &given);

}  // namespace sapihost
