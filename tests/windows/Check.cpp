#include "Check.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include <windows.h>

namespace wintest {

namespace {

struct Case {
    const char *name;
    CaseFunction function;
};

std::vector<Case> &Cases() {
    static std::vector<Case> cases;
    return cases;
}

int failuresInCase = 0;
const char *currentCase = "";
// Repeated under the count, so the end of a long log names what failed.
std::vector<std::string> failureLines;

}  // namespace

std::string Show(const std::wstring &text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) {
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(),
                            size, nullptr, nullptr);
    }
    return Show(utf8);
}

std::string Show(const std::string &text) { return "\"" + text + "\""; }

Registrar::Registrar(const char *name, CaseFunction function) { Cases().push_back({name, function}); }

void ReportFailure(const char *file, int line, const std::string &what) {
    ++failuresInCase;
    std::printf("  %s:%d: %s\n", file, line, what.c_str());
    failureLines.push_back(std::string(currentCase) + ": " + file + ":" + std::to_string(line) + ": " + what);
    std::fflush(stdout);
}

int RunCases(const char *filter) {
    int failed = 0;
    int run = 0;
    for (const Case &c : Cases()) {
        if (filter != nullptr && std::strstr(c.name, filter) == nullptr) {
            continue;
        }
        failuresInCase = 0;
        currentCase = c.name;
        std::printf("[ RUN  ] %s\n", c.name);
        std::fflush(stdout);
        c.function();
        ++run;
        std::printf("[ %s ] %s\n", failuresInCase == 0 ? " OK " : "FAIL", c.name);
        failed += failuresInCase == 0 ? 0 : 1;
    }
    std::printf("%d cases, %d failed\n", run, failed);
    for (const std::string &failure : failureLines) std::printf("  FAILED %s\n", failure.c_str());
    return failed;
}

}  // namespace wintest
