#include "Version.h"

#include <cstdio>

#include "ModuleApi.h"
#include "ServerApi.h"
#include "platform/Platform.h"

namespace sapihost {

namespace {

constexpr char kWhatMarker[] = "@(#)";

void PrintField(const char *name, const std::string &value) { std::printf("%-9s %s\n", name, value.c_str()); }

// The module's own words, through slots 1 to 3.
bool PrintIdentity(ModuleApi &api) {
    std::string name, id, group;
    if (api.GetServerTypeName(name) != ApiOk || api.GetServerTypeId(id) != ApiOk ||
        api.GetServerGroupName(group) != ApiOk) {
        std::fputs("sapihost: the module does not say what it serves\n", stderr);
        return false;
    }
    PrintField("serves", name + " " + id + ", listed under \"" + group + "\"");
    return true;
}

}  // namespace

std::optional<std::string> FindBuildLine(const std::string &fileBytes) {
    const size_t marker = fileBytes.find(kWhatMarker);
    if (marker == std::string::npos) return std::nullopt;
    const size_t start = marker + sizeof kWhatMarker - 1;
    const size_t end = fileBytes.find_first_of(std::string("\0\n\r", 3), start);
    const std::string line = fileBytes.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (line.empty()) return std::nullopt;
    return line;
}

int PrintVersion(const std::string &modulePath, bool trace) {
    std::printf("sapihost %s (host interface version %d)\n", SAPI_VERSION, SERVER_API_VERSION);
    PrintField("module", modulePath);
    const auto bytes = platform::ReadWholeFile(modulePath);
    const auto build = bytes ? FindBuildLine(*bytes) : std::nullopt;
    PrintField("build", build.value_or("(the module does not say)"));
    std::fflush(stdout);
    std::string error;
    auto api = ModuleApi::Load(modulePath, trace, error);
    if (!api) {
        std::fprintf(stderr, "sapihost: cannot load the module %s: %s\n", modulePath.c_str(), error.c_str());
        return 1;
    }
    return PrintIdentity(*api) ? 0 : 1;
}

}  // namespace sapihost
