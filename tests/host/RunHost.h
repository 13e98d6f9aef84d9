// Runs the built sapihost as a person would, with a deadline, and collects what
// it printed and how it exited.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace sapihost::test {

struct HostRun {
    int status = -1;  // exit status; -1 when killed at the deadline or by a signal
    std::string out;
    std::string err;
    std::string All() const { return out + err; }
};

struct HostRunOptions {
    std::string input;                         // fed to stdin, then closed
    std::map<std::string, std::string> env;    // added to (or replacing) the environment
    std::vector<std::string> unsetEnv;
    std::chrono::seconds deadline{120};
    bool defaultModule = false;                // let sapihost find its module itself
    bool keepInputOpen = false;                // stdin stays open until sapihost exits
    std::function<bool()> interruptWhen;       // checked while it runs: true sends one SIGINT
    std::string workingDirectory;              // where it runs; empty: here
    // Not empty: stdin, stdout and stderr are a pseudo-terminal, and each piece
    // is typed once sapihost waits at an empty prompt; what it shows lands in `out`.
    std::vector<std::string> keysAtPrompt;
};

// `args` after the program name. The module is the short-waits build unless
// the arguments name one with --module.
HostRun RunSapihost(const std::vector<std::string> &args, const HostRunOptions &options = {});

std::string SapihostPath();
std::string ShortWaitsModulePath();

}  // namespace sapihost::test
