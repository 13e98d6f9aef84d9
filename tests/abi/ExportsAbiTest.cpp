// The module exports InitServerAPI and nothing else: every other symbol of the
// core, the runtime's template instances included, stays inside.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "ModuleLoader.h"

namespace {

struct PipeCloser {
    void operator()(FILE *pipe) const { pclose(pipe); }
};

// The names `nm -D --defined-only` lists for the module.
std::vector<std::string> DefinedDynamicSymbols(const std::string &module) {
    const std::string command = std::string(SAPI_NM) + " -D --defined-only '" + module + "' 2>&1";
    std::unique_ptr<FILE, PipeCloser> pipe(popen(command.c_str(), "r"));
    if (!pipe) throw std::runtime_error("cannot run " + command);
    std::string output;
    char chunk[4096];
    for (std::size_t got; (got = fread(chunk, 1, sizeof chunk, pipe.get())) > 0;) output.append(chunk, got);
    std::vector<std::string> names;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        // "0000000000001234 T InitServerAPI"
        const auto lastSpace = line.rfind(' ');
        names.push_back(lastSpace == std::string::npos ? line : line.substr(lastSpace + 1));
    }
    return names;
}

TEST(ModuleExports, OnlyInitServerAPI) {
    for (const char *name : {"PelkSAPIFTP", "PelkSAPIFTP-shortwaits"}) {
        const std::string path = sapi_test::ModulePath(name);
        EXPECT_EQ(DefinedDynamicSymbols(path), std::vector<std::string>{"InitServerAPI"}) << path;
    }
}

}  // namespace
