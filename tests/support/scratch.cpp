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

}  // namespace

std::string scratchFolder() {
    std::filesystem::path base = fromEnvironment("MIREL_SCRATCH");
    if (base.empty()) base = std::filesystem::temp_directory_path() / "mirel-test-scratch";
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "global";
    for (char& c : name)
        if (c == '/') c = '_';
    const std::filesystem::path folder = base / name;
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    std::filesystem::create_directories(folder);
    return folder.string() + "/";
}

std::string useOwnTemporaryFolder() {
    const std::string folder = scratchFolder();
    const std::string temporary = folder + "tmp";
    std::filesystem::create_directories(temporary);
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
