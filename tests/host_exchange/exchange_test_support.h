// Shared pieces of the host exchange tests: pictures made in memory, the test
// filter loaded by the real host code, and runs of the real host program.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "apps/mirel/filter_host.h"
#include "apps/mirel/image_file.h"

namespace mirel::testing {

// A picture whose every sample differs from its neighbours, in the stored
// scale of its depth; float pictures also hold values outside 0..1.
host_app::Picture patternPicture(std::int32_t width, std::int32_t height, int channels, int bits);

// The identity test filter, opened once for the whole binary.
const host_app::PluginLibrary& identityFilter();
std::string identityFilterPath();

struct ProgramOutcome {
    int exitCode = -1;
    std::string output;  // stdout and stderr together
};

// Runs the host program with `arguments` (already quoted where needed),
// the plug-in given by `plugin` and `environment` put in front ("NAME=value ").
ProgramOutcome runProgram(const std::string& plugin, const std::string& arguments,
                          const std::string& environment = "");

std::string quoted(const std::string& text);
bool fileExists(const std::string& path);
// Names in `folder`, sorted, without "." and "..".
std::vector<std::string> folderEntries(const std::string& folder);
void writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> readBytes(const std::string& path);

}  // namespace mirel::testing
