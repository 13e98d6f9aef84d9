// describe and info: what the module says about itself and about a file.
#include <cstdio>

#include "CommandOutput.h"
#include "CommandRunner.h"
#include "Progress.h"

namespace sapihost {

bool CommandRunner::Describe(const Command &command) {
    std::string typeName, typeId, groupName;
    ServerApiResult result = api_->GetServerTypeName(typeName);
    if (result != ApiOk) return ReportCode(command, result, "GetServerTypeName");
    result = api_->GetServerTypeId(typeId);
    if (result != ApiOk) return ReportCode(command, result, "GetServerTypeId");
    result = api_->GetServerGroupName(groupName);
    if (result != ApiOk) return ReportCode(command, result, "GetServerGroupName");
    PrintLine("Type name:  " + typeName);
    PrintLine("Type id:    " + typeId);
    PrintLine("Group:      " + groupName);
    const std::pair<const char *, ServerApiResult (ModuleApi::*)(int32_t)> lists[] = {
        {"Server parameters:", &ModuleApi::DescribeServerParameters},
        {"Asset parameters:", &ModuleApi::DescribeAssetParameters},
    };
    for (const auto &[title, describe] : lists) {
        ScopedParameterSet set(*api_);
        if (set.CreationResult() != ApiOk) return ReportCode(command, set.CreationResult(), "CreateParameterSet");
        result = ((*api_).*describe)(set.Handle());
        if (result != ApiOk) return ReportCode(command, result, title);
        std::vector<ParameterEntry> entries;
        result = api_->EnumerateParameters(set.Handle(), entries);
        if (result != ApiOk) return ReportCode(command, result, "EnumerateParameters");
        PrintLine(title);
        for (const auto &entry : entries) {
            char line[512];
            std::snprintf(line, sizeof line, "  %-28s %s", entry.key.c_str(), entry.value.c_str());
            PrintLine(line);
        }
    }
    return true;
}

bool CommandRunner::Info(const Command &given) {
    Command command = given;
    int follow = 0;
    if (!TakeFollow(command, follow)) return false;
    if (command.args.size() != 1) return Fail(command, "usage: info [--follow] NAME");
    const std::string &name = command.args[0];
    if (RefuseFolder(command)) return false;
    Session following(*api_);
    if (follow > 0) {
        if (auto failure = OpenFollowing(following, follow)) return Report(command, *failure);
    }
    Session &asking = follow > 0 ? following : *session_;
    Listing listing;
    const bool listed = !IsSimpleName(name) || (!session_->ReadListing(listing) && listing.HasFile(name));
    if (!listed) {
        // Without --wait-for-growing a server's "550 no such file" ends the attempts at once.
        std::fprintf(stderr, "note: '%s' is not in this folder's listing%s\n", name.c_str(),
                     settings_.waitForGrowing ? "; the module keeps trying to open it for about 30 s" : "");
    }
    ScopedParameterSet set(*api_);
    if (set.CreationResult() != ApiOk) return ReportCode(command, set.CreationResult(), "CreateParameterSet");
    ServerApiResult result;
    {
        WaitingNote note("asking the server about " + name, settings_.progress);
        result = api_->GetAssetInfo(asking.Connection(), name, set.Handle());
    }
    if (result != ApiOk) return ReportCode(command, result);
    std::vector<ParameterEntry> entries;
    result = api_->EnumerateParameters(set.Handle(), entries);
    if (result != ApiOk) return ReportCode(command, result, "EnumerateParameters");
    std::string size;
    for (const auto &entry : entries) {
        char line[512];
        std::snprintf(line, sizeof line, "%-20s %s", entry.key.c_str(), entry.value.c_str());
        PrintLine(line);
        if (entry.key == SERVER_API_KEY_ASSET_SIZE) size = entry.value;
    }
    // The module reports an unreadable file through an empty size, not a code.
    if (size.empty()) return Fail(command, "could not open '" + name + "' on the server (no such file, or no access)");
    return true;
}

}  // namespace sapihost
