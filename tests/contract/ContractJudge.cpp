#include "ContractCases.h"

#include <cstring>
#include <exception>

namespace sapi::contract {

void Checks::That(bool holds, const char *what, const char *file, int line) {
    if (holds) return;
    const char *slash = std::strrchr(file, '/');
    failures_.push_back(std::string(slash != nullptr ? slash + 1 : file) + ":" +
                        std::to_string(line) + ": " + what);
}

namespace {

const Departure *Find(const std::vector<Departure> &departures, const char *name) {
    for (const Departure &departure : departures) {
        if (std::strcmp(departure.caseName, name) == 0) return &departure;
    }
    return nullptr;
}

}  // namespace

const std::vector<ContractCase> &ContractCases() {
    static const std::vector<ContractCase> cases = [] {
        std::vector<ContractCase> all = SessionCases();
        for (const ContractCase &each : TransferCases()) all.push_back(each);
        return all;
    }();
    return cases;
}

Verdict Judge(const ContractCase &contractCase, ContractWorld &world,
              const std::vector<Departure> &departures) {
    Checks checks;
    try {
        contractCase.run(world, checks);
    } catch (const std::exception &error) {
        checks.That(false, (std::string("threw: ") + error.what()).c_str(), "world", 0);
    }
    std::string lines;
    for (const std::string &failure : checks.Failures()) lines += "  " + failure + "\n";
    const Departure *departure = Find(departures, contractCase.name);
    if (departure == nullptr) return {checks.Failures().empty(), lines};
    if (checks.Failures().empty()) {
        return {false, std::string("departure gone, take it off the list: ") + departure->reason + "\n"};
    }
    return {true, std::string("departure: ") + departure->reason + "\n" + lines};
}

}  // namespace sapi::contract
