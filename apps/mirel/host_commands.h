// The host program's commands, apart from their command-line parsing.
#pragma once

#include <string>
#include <vector>

#include "apps/host/descriptor.h"
#include "apps/host/descriptor_terminology.h"
#include "apps/mirel/image_file.h"
#include "apps/mirel/run_settings.h"

namespace mirel::host_app {

// How a command ended, from the best to the worst; the exit code follows it: 0 done,
// 1 cancelled, 2 bad usage or input, 3 the filter or the machine failed.
enum class RunOutcome { Done, BadInput, Failed, Cancelled };

// The worse of two outcomes: a cancel ends everything, a failure outweighs bad input.
RunOutcome worse(RunOutcome a, RunOutcome b);

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
    std::vector<std::string> inputs;  // "-": standard input
    std::string output;               // a file, "-" (standard output) or a folder
    std::string format;  // png, jpg or tif: the format in a folder or on standard output
    std::string mask;    // empty: no selection
    bool preserveTransparency = false;
    bool quiet = false;  // no progress bar
    ScriptingSources sources;
    std::string recordFile;   // where to keep the descriptor the filter writes
    bool showDialog = false;  // playInfo 1 instead of 0
    std::string hostProfile;  // the parts of the interface the host leaves out (host_profile.h)
};

// Reads each input picture (and the mask), runs the filter over it as a paint program
// does and writes the result in the format of the output's extension (into a folder
// under the input's name when there are several), keeping the input's kind, ICC
// profile and metadata. The plug-in is loaded once. Every failure prints one line on
// stderr and leaves no output file; a picture that fails is skipped, the others are
// written. A cancel (Ctrl-C, SIGTERM, SIGHUP, or the filter's own) writes nothing more.
RunOutcome applyFilter(const std::string& pluginPath, const ApplyOptions& options);

// Says why the filter's dialog cannot be shown here (no display); true when it can.
bool dialogCanShow(std::string& why);

// Lists the settings by the dialog's names with their values and defaults, then the
// filter's scripting parameters from its terminology: key, type, name, and for
// enumerations their values. False (one line on stderr) when it cannot be read.
bool printParameters(const std::string& pluginPath);

// Prints a settings file's version and values; writes its thumbnail as a PNG when
// `thumbnailPng` is given. BadInput (one line on stderr) for an unreadable file.
RunOutcome printSettingsInfo(const std::string& pluginPath, const std::string& settingsPath,
                             const std::string& thumbnailPng);

// Writes a settings file from the defaults with the sources over them: without
// thumbnail, or, when `fromPicture` names a picture, with the thumbnail of the effect
// on it as the dialog's Save makes it. Every failure prints one line on stderr and
// leaves no new file.
RunOutcome saveSettingsFromSources(const std::string& pluginPath, const std::string& outputPath,
                                   const ScriptingSources& sources,
                                   const std::string& fromPicture = {});

// A selection mask as the host hands it over: one 8-bit grey channel of the
// picture's size. Grey masks of any depth convert; an RGB mask converts when
// its three channels agree everywhere. False with one line in `error` otherwise.
bool prepareMask(const Picture& loaded, const Picture& picture, Picture& mask, std::string& error);

}  // namespace mirel::host_app
