#include "tests/support/scratch.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace mirel::testing {

namespace {

std::string fromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

// The running test's folder under the scratch area, without a trailing '/'.
std::filesystem::path testFolder() {
    std::filesystem::path base = fromEnvironment("MIREL_SCRATCH");
    if (base.empty()) base = std::filesystem::temp_directory_path() / "mirel-test-scratch";
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "global";
    for (char& c : name)
        if (c == '/') c = '_';
    return base / name;
}

// The running test's own temporary folder, beside its scratch folder.
std::filesystem::path temporaryFolderOfTest() {
    return testFolder() += ".tmp";
}

// `folder` made anew, empty, and named with a trailing '/'.
std::string freshFolder(const std::filesystem::path& folder) {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    std::filesystem::create_directories(folder);
    return folder.string() + "/";
}

}  // namespace

std::string scratchFolder() {
    return freshFolder(testFolder());
}

std::string ownTemporaryFolder() {
    return temporaryFolderOfTest().string() + "/";
}

std::string useOwnTemporaryFolder() {
    const std::string folder = scratchFolder();
    // Beside the scratch folder, not in it: a test that asks for its scratch folder again
    // empties it, and with the temporary folder gone the filter would keep its files in
    // the system's one, shared with every test running at the same time.
    const std::string temporary = freshFolder(temporaryFolderOfTest());
    setenv("TMPDIR", temporary.c_str(), 1);
    return folder;
}

std::string pluginPath() {
    return fromEnvironment("MIREL_PLUGIN");
}
std::string hostPath() {
    return fromEnvironment("MIREL_HOST");
}
std::string sourceDir() {
    return fromEnvironment("MIREL_SOURCE_DIR");
}

}  // namespace mirel::testing
