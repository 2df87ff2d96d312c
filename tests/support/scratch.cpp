#include "tests/support/scratch.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/os/os.h"

namespace mirel::testing {

namespace {

std::string fromEnvironment(const char* name) {
    return os::environmentVariable(name).value_or(std::string());
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

// A folder's path ending with a separator, in the system's own spelling (on
// Windows with backslashes, as the system's temporary path comes back).
std::string withSeparator(std::filesystem::path folder) {
    return folder.make_preferred().string() + char(std::filesystem::path::preferred_separator);
}

// `folder` made anew, empty, and named with a trailing separator.
std::string freshFolder(const std::filesystem::path& folder) {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    std::filesystem::create_directories(folder);
    return withSeparator(folder);
}

}  // namespace

std::string scratchFolder() {
    return freshFolder(testFolder());
}

std::string ownTemporaryFolder() {
    return withSeparator(temporaryFolderOfTest());
}

std::string useOwnTemporaryFolder() {
    const std::string folder = scratchFolder();
    // Beside the scratch folder, not in it: a test that asks for its scratch folder again
    // empties it, and with the temporary folder gone the filter would keep its files in
    // the system's one, shared with every test running at the same time.
    const std::string temporary = freshFolder(temporaryFolderOfTest());
    os::setEnvironmentVariable(os::kTempFolderVariable, temporary);
    return folder;
}

TemporaryFolderScope::TemporaryFolderScope(std::string folder) : folder_(std::move(folder)) {
    const auto old = os::environmentVariable(os::kTempFolderVariable);
    hadOld_ = old.has_value();
    if (old) old_ = *old;
    os::setEnvironmentVariable(os::kTempFolderVariable, folder_);
}

TemporaryFolderScope::~TemporaryFolderScope() {
    if (hadOld_)
        os::setEnvironmentVariable(os::kTempFolderVariable, old_);
    else
        os::unsetEnvironmentVariable(os::kTempFolderVariable);
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
