// Running the real host program from a test, and the small file helpers that
// go with it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mirel::testing {

struct ProgramOutcome {
    int exitCode = -1;
    std::string output;  // stdout and stderr together
};

// Runs the host program with `arguments` (already quoted where needed) and
// the plug-in `plugin`; `environment` is put in front ("NAME=value "), and a
// non-empty `folder` becomes the working folder. Standard input is empty.
ProgramOutcome runProgram(const std::string& plugin, const std::string& arguments,
                          const std::string& environment = "", const std::string& folder = "");

// `text` in single quotes for the shell.
std::string quoted(const std::string& text);
bool fileExists(const std::string& path);
// Names in `folder`, sorted, without "." and "..".
std::vector<std::string> folderEntries(const std::string& folder);
// Writes bytes to a file, replacing it (a failed write fails the test).
void writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> readBytes(const std::string& path);

}  // namespace mirel::testing
