// Listings as the connection code reads them: the login folder, a folder by
// path, and names that trip simple listing parsers.
#include <algorithm>
#include <map>

#include "InteropFixture.h"

namespace sapi::interop {
namespace {

const std::string LongName = std::string(200, 'L') + ".txt";

// name -> size; folders carry no size of interest.
const std::map<std::string, std::string> Files = {
    {"a.txt", "twelve bytes"},
    {"with space.txt", "spaced"},
    {"  two leading blanks.txt", "leading"},
    {"semi; colon.txt", "semicolon"},
    {"trailing blank.txt ", "trailing"},
    {"\xC3\xA9t\xC3\xA9.txt", "accent"},           // été.txt
    {"\xE6\x97\xA5\xE6\x9C\xAC.txt", "japanese"},  // 日本.txt
    {LongName, "long"},
};
const std::vector<std::string> Folders = {"sub", "sub folder", "\xC3\xA9t\xC3\xA9"};

class ListingInteropTest : public InteropTest {
protected:
    void Populate() override {
        for (const auto &[name, bytes] : Files) test::WriteWholeFile(root() / "list" / name, bytes);
        for (const auto &name : Folders) std::filesystem::create_directories(root() / "list" / name);
        std::filesystem::create_directories(root() / "empty");
    }

    // Every name we made, each once, with its kind and size; "." and ".." may
    // come too (some servers list them) but nothing else.
    static void ExpectOurEntries(const std::vector<ListedEntry> &entries) {
        std::map<std::string, int> seen;
        for (const auto &entry : entries) {
            ++seen[entry.name];
            if (entry.name == "." || entry.name == "..") {
                EXPECT_TRUE(entry.isDirectory) << entry.name;
                continue;
            }
            const auto file = Files.find(entry.name);
            if (file != Files.end()) {
                EXPECT_FALSE(entry.isDirectory) << entry.name;
                EXPECT_EQ(entry.size, file->second.size()) << entry.name;
            } else {
                EXPECT_NE(std::find(Folders.begin(), Folders.end(), entry.name), Folders.end())
                    << "unexpected entry [" << entry.name << "]";
                EXPECT_TRUE(entry.isDirectory) << entry.name;
            }
        }
        for (const auto &[name, bytes] : Files) EXPECT_EQ(seen[name], 1) << "[" << name << "]";
        for (const auto &name : Folders) EXPECT_EQ(seen[name], 1) << "[" << name << "]";
    }
};

TEST_P(ListingInteropTest, ListsTheLoginFolder) {
    const auto entries = client().List();
    ASSERT_TRUE(entries) << client().LastError() << ": " << client().LastResponse();
    std::vector<std::string> names;
    for (const auto &entry : *entries)
        if (entry.name != "." && entry.name != "..") names.push_back(entry.name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"empty", "list"}));
}

TEST_P(ListingInteropTest, ListsAwkwardNamesAfterEnteringTheFolder) {
    ASSERT_TRUE(client().ChangeFolder("list")) << client().LastResponse();
    const auto entries = client().List();
    ASSERT_TRUE(entries) << client().LastError() << ": " << client().LastResponse();
    ExpectOurEntries(*entries);
}

TEST_P(ListingInteropTest, ListsAFolderByItsPath) {
    const auto entries = client().List("/list");
    ASSERT_TRUE(entries) << client().LastError() << ": " << client().LastResponse();
    ExpectOurEntries(*entries);
    // Listing by path does not move the server.
    EXPECT_EQ(client().CurrentFolder(), "/");
}

TEST_P(ListingInteropTest, AnEmptyFolderIsNoMoreFilesAndTheSessionGoesOn) {
    const auto entries = client().List("/empty");
    ASSERT_TRUE(entries) << client().LastError() << ": " << client().LastResponse();
    for (const auto &entry : *entries) EXPECT_TRUE(entry.name == "." || entry.name == "..") << entry.name;
    ASSERT_TRUE(client().Command("SIZE list/a.txt")) << client().LastResponse();
    EXPECT_EQ(SizeInReply(client().LastResponse()), 12) << client().LastResponse();
}

// Characters that globbing servers and wildcard matchers treat specially, in
// the name of a folder that the navigation code then lists by its path.
const std::string GlobbyFolder = "Backup [old] {1} %20 #";

class GlobbyFolderInteropTest : public InteropTest {
protected:
    void Populate() override { test::WriteWholeFile(root() / GlobbyFolder / "inside.txt", "inside"); }

    static void ExpectJustInside(const std::optional<std::vector<ListedEntry>> &entries) {
        ASSERT_TRUE(entries);
        std::vector<std::string> names;
        for (const auto &entry : *entries)
            if (entry.name != "." && entry.name != "..") names.push_back(entry.name);
        EXPECT_EQ(names, std::vector<std::string>{"inside.txt"});
    }
};

TEST_P(GlobbyFolderInteropTest, ListsItByPathAndAfterEnteringIt) {
    const auto byPath = client().List("/" + GlobbyFolder);
    EXPECT_TRUE(byPath) << client().LastError() << ": " << client().LastResponse();
    ExpectJustInside(byPath);
    ASSERT_TRUE(client().ChangeFolder(GlobbyFolder)) << client().LastResponse();
    EXPECT_EQ(client().CurrentFolder(), "/" + GlobbyFolder);
    const auto here = client().List();
    EXPECT_TRUE(here) << client().LastError() << ": " << client().LastResponse();
    ExpectJustInside(here);
}

SAPI_INTEROP_SUITE(GlobbyFolderInteropTest);

// Enough entries that the listing spans many reads of the data connection, so
// lines split across reads are met.
class LongListingInteropTest : public InteropTest {
protected:
    static constexpr int Count = 1000;  // about 150 KB of MLSD
    static std::string NameOf(int index) {
        return "file " + std::to_string(index) + std::string(static_cast<std::size_t>(index % 37), 'x') + ".txt";
    }
    void Populate() override {
        for (int index = 0; index < Count; ++index)
            test::WriteWholeFile(root() / "many" / NameOf(index), std::to_string(index));
    }
};

TEST_P(LongListingInteropTest, ListsEveryEntryOnce) {
    const auto entries = client().List("/many");
    ASSERT_TRUE(entries) << client().LastError() << ": " << client().LastResponse();
    std::map<std::string, uint64_t> sizes;
    for (const auto &entry : *entries)
        if (entry.name != "." && entry.name != "..") sizes[entry.name] = entry.size;
    EXPECT_EQ(sizes.size(), static_cast<std::size_t>(Count));
    for (int index = 0; index < Count; ++index) {
        const auto found = sizes.find(NameOf(index));
        ASSERT_NE(found, sizes.end()) << NameOf(index);
        EXPECT_EQ(found->second, std::to_string(index).size());
    }
}

SAPI_INTEROP_SUITE(ListingInteropTest);
SAPI_INTEROP_SUITE(LongListingInteropTest);

}  // namespace
}  // namespace sapi::interop
