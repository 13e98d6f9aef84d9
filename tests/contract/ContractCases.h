// The contract of the FTP client services, as the connection and transfer
// code relies on it: one table of named cases, each run against a world, with
// no test framework of its own. Runners (a gtest binary on Linux, an exe under
// Wine) run every case on every implementation and judge it with Judge().
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "ContractWorld.h"

namespace sapi::contract {

// The broken expectations of one case; a case goes on after a failed check,
// so one run shows all of them.
class Checks {
public:
    void That(bool holds, const char *what, const char *file, int line);
    template <typename A, typename B>
    void Equal(const A &actual, const B &expected, const char *what, const char *file, int line) {
        if (actual == expected) return;
        std::ostringstream out;
        out << what << ": got " << actual << ", expected " << expected;
        That(false, out.str().c_str(), file, line);
    }
    const std::vector<std::string> &Failures() const { return failures_; }

private:
    std::vector<std::string> failures_;
};

#define CONTRACT_CHECK(condition) checks.That((condition), #condition, __FILE__, __LINE__)
#define CONTRACT_EQ(actual, expected) \
    checks.Equal((actual), (expected), #actual " == " #expected, __FILE__, __LINE__)

struct ContractCase {
    const char *name;
    void (*run)(ContractWorld &world, Checks &checks);
};

const std::vector<ContractCase> &ContractCases();
// Its two halves: handles, texts, folders and listings; transfers.
std::vector<ContractCase> SessionCases();
std::vector<ContractCase> TransferCases();

// A case an implementation is known to break, and why, in one line.
struct Departure {
    const char *caseName;
    const char *reason;
};

// How a case went against the departures listed for its implementation: a
// departed case is expected to fail; if it passes, the departure is gone and
// the list must say so, so that counts as a failure too.
struct Verdict {
    bool passed = false;
    std::string report;  // one or more lines, for the runner to print
};
Verdict Judge(const ContractCase &contractCase, ContractWorld &world,
              const std::vector<Departure> &departures);

}  // namespace sapi::contract
