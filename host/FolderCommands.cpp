// ls, cd, mkdir, pwd and rm: the listing and the folders.
#include "CommandOutput.h"
#include "CommandRunner.h"

namespace sapihost {

namespace {

// The lines of a list, written a buffer-full at a time rather than a call
// or two for each name.
void PrintNames(const NameList &names, std::string_view end) {
    constexpr std::size_t bufferBytes = 64 * 1024;
    std::string lines;
    const auto write = [&] {
        std::fwrite(lines.data(), 1, lines.size(), stdout);
        lines.clear();
    };
    for (std::size_t i = 0; i < names.size(); ++i) {
        lines.append(names[i]).append(end);
        if (lines.size() >= bufferBytes) write();
    }
    write();
}

// Each list is read from the module once. A list the module holds in order
// (vsftpd sorts its own) is printed as it came; any other is sorted first.
std::optional<Failure> PrintSorted(Session &session, ListingKind kind, std::string_view end) {
    NameList names;
    if (auto failure = session.EachName(kind, [&](const std::string &name) { names.push_back(name); })) return failure;
    names.Sort();
    PrintNames(names, end);
    return std::nullopt;
}

}  // namespace

bool CommandRunner::PrintListing() {
    auto failure = PrintSorted(*session_, ListingKind::FolderName, "/\n");
    if (!failure) failure = PrintSorted(*session_, ListingKind::AssetName, "\n");
    std::fflush(stdout);
    if (failure) return Report({"ls", {}}, *failure);
    // Said without -v too: a listing that may not be whole is worth knowing.
    if (const std::string note = session_->ListingNote(); !note.empty()) {
        std::fprintf(stderr, "sapihost: ls: %s\n", note.c_str());
    }
    return true;
}

bool CommandRunner::List(const Command &command) {
    if (command.args.empty()) return PrintListing();
    std::string start;
    if (auto failure = session_->CurrentFolder(start)) return Report(command, *failure);
    if (auto failure = session_->Walk(command.args[0], false)) return Report(command, *failure);
    const bool listed = PrintListing();
    if (lastCommand) return listed;
    if (auto failure = session_->Return(start)) return Report(command, *failure);
    return listed;
}

bool CommandRunner::ChangeDirectory(const Command &command) {
    if (auto failure = session_->Walk(command.args[0], false)) return Report(command, *failure);
    return true;
}

bool CommandRunner::MakeDirectory(const Command &command) {
    std::string start;
    if (auto failure = session_->CurrentFolder(start)) return Report(command, *failure);
    int created = 0;
    if (auto failure = session_->Walk(command.args[0], true, &created)) return Report(command, *failure);
    if (!lastCommand) {
        if (auto failure = session_->Return(start)) return Report(command, *failure);
    }
    if (created == 0) return Fail(command, "'" + command.args[0] + "' already exists");
    PrintLine("created " + command.args[0]);
    return true;
}

bool CommandRunner::PrintFolder(const Command &command) {
    std::string folder;
    if (auto failure = session_->CurrentFolder(folder)) return Report(command, *failure);
    PrintLine(folder);
    return true;
}

bool CommandRunner::Remove(const Command &command) {
    const std::string &name = command.args[0];
    Listing listing;
    if (IsSimpleName(name)) {
        if (auto failure = session_->ReadListing(listing)) return Report(command, *failure);
        if (listing.HasFolder(name)) return Fail(command, "'" + name + "' is a folder");
        if (!listing.HasFile(name)) return Fail(command, "no such file: '" + name + "'");
    }
    const ServerApiResult result = api_->DeleteAsset(session_->Connection(), name);
    if (result != ApiOk) return ReportCode(command, result);
    session_->MarkListingStale();
    // DeleteAsset succeeds whether or not the server deleted anything: look.
    if (IsSimpleName(name)) {
        if (auto failure = session_->ReadListing(listing)) return Report(command, *failure);
        if (listing.HasFile(name)) return Fail(command, "the server did not delete '" + name + "'");
    }
    PrintLine("deleted " + name);
    return true;
}

}  // namespace sapihost
