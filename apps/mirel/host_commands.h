// The host program's commands, apart from their command-line parsing.
#pragma once

#include <string>

namespace mirel::host_app {

inline constexpr const char* kHostVersion = "2.0.0";

enum class RunOutcome { Done, Cancelled, Failed };

// Prints the plug-in's name, category, version, entry point and modes from
// its PiPL, read from the file without running the plug-in. False (with one
// line on stderr) when the file is no usable filter.
bool printPluginInfo(const std::string& pluginPath);

struct SyntheticRunOptions {
    std::string size = "64x48";
    std::string mode = "rgb";
    int runs = 1;
    bool withoutAdvanceState = false;
};

// Runs the filter's selectors on a gradient picture made in memory and
// prints each selector's result.
RunOutcome runSynthetic(const std::string& pluginPath, const SyntheticRunOptions& options);

}  // namespace mirel::host_app
