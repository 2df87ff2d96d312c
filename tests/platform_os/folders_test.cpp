// Folders: the temporary folder, wildcard listing and making folders.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/os/os.h"
#include "tests/support/scratch.h"

namespace mirel::os {
namespace {

using Names = std::vector<std::string>;

Names listed(const std::string& folder, const std::string& pattern) {
    Names names{"stale entry"};
    EXPECT_TRUE(listFolder(folder, pattern, names)) << pattern;
    return names;
}

class Listing : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = testing::scratchFolder();
        for (const char* name :
             {"Mirel A memory dot 0.q8r", "Mirel A memory dot 12.q8r", "zeta.Q8R", "beta.q8r",
              "a.q8rx", "notes", "notes.txt", "\xC3\xA9t\xC3\xA9.txt"})
            ASSERT_TRUE(writeFileAtomic(folder + name, {}));
        ASSERT_TRUE(makeFolder(folder + "Alpha.q8r"));
    }
    std::string folder;
};

TEST_F(Listing, MatchesWithoutCaseAndSortsByName) {
    EXPECT_EQ(listed(folder, "*.q8r"), (Names{"Alpha.q8r", "beta.q8r", "Mirel A memory dot 0.q8r",
                                              "Mirel A memory dot 12.q8r", "zeta.Q8R"}));
    EXPECT_EQ(listed(folder, "MIREL A MEMORY DOT ?.Q8R"), (Names{"Mirel A memory dot 0.q8r"}));
    EXPECT_EQ(listed(folder, "mirel a memory dot ??.q8r"), (Names{"Mirel A memory dot 12.q8r"}));
    EXPECT_EQ(listed(folder, "notes"), (Names{"notes"}));
    EXPECT_TRUE(listed(folder, "nothing*").empty());
    EXPECT_TRUE(listed(folder, "").empty());
    EXPECT_EQ(listed(folder, "*").size(), 9u) << "'.' and '..' are left out";
}

TEST_F(Listing, DotStarAlsoTakesNamesWithoutExtension) {
    EXPECT_EQ(listed(folder, "*.*").size(), 9u);
    EXPECT_EQ(listed(folder, "notes.*"), (Names{"notes", "notes.txt"}));
}

TEST_F(Listing, QuestionMarkTakesOneWholeCharacter) {
    // "été" is three characters but five bytes.
    EXPECT_EQ(listed(folder, "???.txt"), (Names{"\xC3\xA9t\xC3\xA9.txt"}));
    EXPECT_EQ(listed(folder, "?????.txt"), (Names{"notes.txt"}));
}

TEST_F(Listing, ManyStarsStayFast) {
    const std::string name(200, 'a');
    ASSERT_TRUE(writeFileAtomic(folder + name, {}));
    // Exponential backtracking would not finish this within the test's life.
    EXPECT_TRUE(listed(folder, "*a*a*a*a*a*a*a*a*a*a*a*a*a*a*b").empty());
    EXPECT_EQ(listed(folder, "*a*a*a*a*a*a*a*a*a*a*a*a*a*a*"), (Names{name}));
}

TEST(Folder, ListingAnUnreadableFolderFails) {
    Names names{"stale"};
    EXPECT_FALSE(listFolder(testing::scratchFolder() + "missing", "*", names));
    EXPECT_TRUE(names.empty());
}

TEST(Folder, MakeFolderIsTrueWhenTheFolderExistsAfterwards) {
    const std::string base = testing::scratchFolder();
    EXPECT_TRUE(makeFolder(base + "web_images"));
    EXPECT_TRUE(makeFolder(base + "web_images")) << "already there";
    EXPECT_TRUE(makeFolder(base + "web_images/"));
    ASSERT_TRUE(writeFileAtomic(base + "plain", {}));
    EXPECT_FALSE(makeFolder(base + "plain")) << "a file is in the way";
    EXPECT_FALSE(makeFolder(base + "missing/child"));
    EXPECT_FALSE(makeFolder(""));
}

class TempFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto value = environmentVariable(kTempFolderVariable);
        hadValue = value.has_value();
        if (value) saved = *value;
    }
    void TearDown() override {
        if (hadValue)
            setEnvironmentVariable(kTempFolderVariable, saved);
        else
            unsetEnvironmentVariable(kTempFolderVariable);
    }
    bool hadValue = false;
    std::string saved;
};

#if defined(_WIN32)
// The system's temporary path: TMP first, always ending in '\\'; a TMP that
// names no folder gives the system's own folder.
TEST_F(TempFolder, EndsWithABackslashAndFallsBackToTheSystemFolder) {
    std::string scratch = testing::scratchFolder();
    scratch.pop_back();
    setEnvironmentVariable(kTempFolderVariable, scratch);
    std::string expected = scratch + "\\";
    std::replace(expected.begin(), expected.end(), '/', '\\');
    EXPECT_EQ(tempFolder(), expected);
    setEnvironmentVariable(kTempFolderVariable, scratch + "/does not exist");
    EXPECT_EQ(tempFolder(), "C:\\Windows\\Temp\\");
}
#else
TEST_F(TempFolder, EndsWithASlashAndFallsBackToTmp) {
    std::string scratch = testing::scratchFolder();
    setEnvironmentVariable(kTempFolderVariable, scratch);
    EXPECT_EQ(tempFolder(), scratch);
    scratch.pop_back();
    setEnvironmentVariable(kTempFolderVariable, scratch);
    EXPECT_EQ(tempFolder(), scratch + "/");
    unsetEnvironmentVariable(kTempFolderVariable);
    EXPECT_EQ(tempFolder(), "/tmp/");
    setEnvironmentVariable(kTempFolderVariable, "");
    EXPECT_EQ(tempFolder(), "/tmp/");
    setEnvironmentVariable(kTempFolderVariable, scratch + "/does not exist");
    EXPECT_EQ(tempFolder(), "/tmp/");
}
#endif

}  // namespace
}  // namespace mirel::os
