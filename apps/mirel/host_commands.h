// The host program's commands, apart from their command-line parsing.
#pragma once

#include <string>
#include <vector>

#include "apps/host/descriptor.h"
#include "apps/host/descriptor_terminology.h"
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

// Where the settings of a run come from; each later source overrides keys of the
// earlier ones: a settings file, then an action file, then NAME=VALUE settings.
struct ScriptingSources {
    std::string settingsFile;
    std::string actionFile;
    std::vector<std::string> sets;
    bool any() const { return !settingsFile.empty() || !actionFile.empty() || !sets.empty(); }
};

struct ApplyOptions {
    std::string input;
    std::string output;
    std::string mask;  // empty: no selection
    bool preserveTransparency = false;
    bool showProgress = true;
    ScriptingSources sources;
    std::string recordFile;  // where to keep the descriptor the filter writes
    bool showDialog = false;  // playInfo 1 instead of 0
};

// Reads the input picture (and the mask), runs the filter over it as a paint
// program does and writes the result in the format of the output's extension,
// keeping the input's kind and ICC profile. Every failure prints one line on
// stderr and leaves no output file; a cancel (Ctrl-C, or the filter's own)
// writes nothing either.
RunOutcome applyFilter(const std::string& pluginPath, const ApplyOptions& options);

// The descriptor of `sources`: the settings file's every parameter, then the action's
// keys, then the settings, each replacing the keys it names.
bool composeDescriptor(const ScriptingSources& sources, const hostkit::Terminology& terminology,
                       hostkit::Descriptor& descriptor, std::string& error);

// Lists the filter's parameters from its terminology: key, type, name, and for
// enumerations their values. False (one line on stderr) when it cannot be read.
bool printParameters(const std::string& pluginPath);

// Prints a settings file's version and values; writes its thumbnail as a PNG when
// `thumbnailPng` is given. False (one line on stderr) for an unreadable file.
bool printSettingsInfo(const std::string& pluginPath, const std::string& settingsPath,
                       const std::string& thumbnailPng);

// Writes a settings file from the defaults with the sources over them: without
// thumbnail, or, when `fromPicture` names a picture, with the thumbnail of the effect
// on it as the dialog's Save makes it. Every failure prints one line on stderr and
// leaves no new file.
RunOutcome saveSettingsFromSources(const std::string& pluginPath, const std::string& outputPath,
                                   const ScriptingSources& sources, const std::string& fromPicture = {});

// A selection mask as the host hands it over: one 8-bit grey channel of the
// picture's size. Grey masks of any depth convert; an RGB mask converts when
// its three channels agree everywhere. False with one line in `error` otherwise.
bool prepareMask(const Picture& loaded, const Picture& picture, Picture& mask, std::string& error);

}  // namespace mirel::host_app
