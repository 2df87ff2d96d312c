// The host program's commands, apart from their command-line parsing.
#pragma once

#include <string>

#include "apps/mirel/image_file.h"

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

struct ApplyOptions {
    std::string input;
    std::string output;
    std::string mask;  // empty: no selection
    bool preserveTransparency = false;
    bool showProgress = true;
};

// Reads the input picture (and the mask), runs the filter over it as a paint
// program does and writes the result in the format of the output's extension,
// keeping the input's kind and ICC profile. Every failure prints one line on
// stderr and leaves no output file; a cancel (Ctrl-C, or the filter's own)
// writes nothing either.
RunOutcome applyFilter(const std::string& pluginPath, const ApplyOptions& options);

// A selection mask as the host hands it over: one 8-bit grey channel of the
// picture's size. Grey masks of any depth convert; an RGB mask converts when
// its three channels agree everywhere. False with one line in `error` otherwise.
bool prepareMask(const Picture& loaded, const Picture& picture, Picture& mask, std::string& error);

}  // namespace mirel::host_app
