// Resource lookup: the embedded files come back byte for byte, by type and
// id, whatever the case of the names; absent resources give an empty span.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "resources/resources.h"
#include "tests/support/scratch.h"

namespace mirel::embedded {
extern const std::span<const std::uint8_t> kTest_all_bytes;
extern const std::span<const std::uint8_t> kTest_empty;
}  // namespace mirel::embedded

namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> fileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::uint8_t> asVector(std::span<const std::uint8_t> bytes) {
    return {bytes.begin(), bytes.end()};
}

fs::path resourceFolder() {
    return fs::path(mirel::testing::sourceDir()) / "resources";
}

bool isTypeFolder(const std::string& name) {
    if (name.empty()) return false;
    for (char c : name)
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')) return false;
    return true;
}

TEST(EmbedGenerator, KeepsEveryByteValueAndEmptyFiles) {
    const fs::path data = fs::path(mirel::testing::sourceDir()) / "tests/resources/data";
    const auto expected = fileBytes(data / "all_bytes.bin");
    ASSERT_EQ(expected.size(), 256u * 3 + 5);
    EXPECT_EQ(asVector(mirel::embedded::kTest_all_bytes), expected);
    // The NUL after the data, for text resources read as C strings.
    EXPECT_EQ(mirel::embedded::kTest_all_bytes.data()[expected.size()], 0);
    EXPECT_TRUE(mirel::embedded::kTest_empty.empty());
    EXPECT_EQ(mirel::embedded::kTest_empty.data()[0], 0);
}

TEST(ResourceLookup, EveryResourceFileIsEmbeddedUnchanged) {
    std::set<std::string> onDisk;
    for (const auto& folder : fs::directory_iterator(resourceFolder())) {
        if (!folder.is_directory() || !isTypeFolder(folder.path().filename().string())) continue;
        for (const auto& file : fs::directory_iterator(folder.path())) {
            const std::string name = file.path().filename().string();
            if (!file.is_regular_file() || name.empty() || name[0] == '.') continue;
            const std::string type = folder.path().filename().string();
            const std::string id = name.substr(0, name.find('.'));
            SCOPED_TRACE(type + "/" + name);
            onDisk.insert(type + "/" + id);
            EXPECT_EQ(asVector(mirel::findResource(type, id)), fileBytes(file.path()));
        }
    }
    std::set<std::string> embedded;
    for (const auto& resource : mirel::embeddedResources())
        embedded.insert(std::string(resource.type) + "/" + std::string(resource.id));
    EXPECT_EQ(embedded, onDisk) << "files outside upper-case type folders are not resources";
}

TEST(ResourceLookup, RefusalDialogByNameInAnyCase) {
    const fs::path file = resourceFolder() / "DIALOG" / "REFUSAL2.dlg";
    if (!fs::exists(file)) GTEST_SKIP() << "the refusal dialog template is not written yet";
    const auto expected = fileBytes(file);
    const auto found = mirel::findResource("DIALOG", "REFUSAL2");
    ASSERT_FALSE(found.empty());
    EXPECT_EQ(asVector(found), expected);
    EXPECT_EQ(mirel::findResource("dialog", "Refusal2").data(), found.data());
    // Text resources end in a NUL that the span does not count.
    EXPECT_EQ(found.data()[found.size()], 0);
}

TEST(ResourceLookup, AbsentResourcesAreEmpty) {
    EXPECT_TRUE(mirel::findResource("DIALOG", "NO_SUCH_DIALOG").empty());
    EXPECT_TRUE(mirel::findResource("NOSUCHTYPE", "REFUSAL2").empty());
    EXPECT_TRUE(mirel::findResource("PiPL", 16001).empty());
    EXPECT_TRUE(mirel::findResource("PiPL", -16000).empty());
    EXPECT_TRUE(mirel::findResource("PiPL", 16000 + 0x10000).empty());
    EXPECT_TRUE(mirel::findResource("", "16000").empty());
    EXPECT_TRUE(mirel::findResource("PiPL", "").empty());
    // A prefix of a name is not the name.
    EXPECT_TRUE(mirel::findResource("PiP", 16000).empty());
    EXPECT_TRUE(mirel::findResource("PiPL", "1600").empty());
}

TEST(ResourceLookup, NumericIdsByNumberOrHashText) {
    const auto pipl = mirel::findResource("PIPL", 16000);
    ASSERT_FALSE(pipl.empty());
    EXPECT_EQ(mirel::findResource("PiPL", "#16000").data(), pipl.data());
    EXPECT_EQ(mirel::findResource("PiPL", "#016000").data(), pipl.data());
    EXPECT_TRUE(mirel::findResource("PiPL", "#16000x").empty());
    EXPECT_TRUE(mirel::findResource("PiPL", "#").empty());
    // Every embedded file with a numeric name is also found by number.
    for (const auto& resource : mirel::embeddedResources()) {
        const std::string id(resource.id);
        if (id.empty() || id.find_first_not_of("0123456789") != std::string::npos) continue;
        if (id.size() > 1 && id[0] == '0') continue;  // "016000" is a name, not a number
        EXPECT_EQ(mirel::findResource(resource.type, std::stoi(id)).data(), resource.bytes->data())
            << resource.type << " " << id;
    }
}

}  // namespace
