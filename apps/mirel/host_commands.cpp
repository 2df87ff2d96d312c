// The host program's commands: plug-in information and runs of the filter.
#include "apps/mirel/host_commands.h"

#include "apps/mirel/export_commands.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>

#include "apps/host/action_file.h"
#include "apps/host/filter_host.h"
#include "apps/host/pipl_reader.h"
#include "apps/mirel/interrupt.h"
#include "apps/mirel/progress.h"
#include "apps/mirel/save_from.h"
#include "apps/mirel/settings_descriptor.h"
#include "image/thumbnails.h"
#include "platform/pi/four_cc.h"
#include "settings/settings_file.h"

namespace mirel::host_app {

using hostkit::Descriptor;
using hostkit::DescriptorItem;
using hostkit::FilterHost;
using hostkit::HostOptions;
using hostkit::kDescTypeEnumerated;
using hostkit::kDescTypeFloat;
using hostkit::kDescTypeInteger;
using hostkit::PluginLibrary;
using hostkit::TermEnumeration;
using hostkit::TermEnumValue;
using hostkit::Terminology;
using hostkit::TermParameter;
using pi::fourCCText;

namespace {

const char* modeName(int mode) {
    switch (mode) {
        case pi::kModeBitmap: return "Bitmap";
        case pi::kModeGrayScale: return "Grayscale";
        case pi::kModeIndexedColor: return "Indexed";
        case pi::kModeRGBColor: return "RGB";
        case pi::kModeCMYKColor: return "CMYK";
        case pi::kModeHSLColor: return "HSL";
        case pi::kModeHSBColor: return "HSB";
        case pi::kModeMultichannel: return "Multichannel";
        case pi::kModeDuotone: return "Duotone";
        case pi::kModeLabColor: return "Lab";
        case pi::kModeGray16: return "Gray16";
        case pi::kModeRGB48: return "RGB48";
        case pi::kModeLab48: return "Lab48";
        case pi::kModeCMYK64: return "CMYK64";
        case pi::kModeDeepMultichannel: return "DeepMultichannel";
        case pi::kModeDuotone16: return "Duotone16";
        case pi::kModeRGB96: return "RGB96";
        case pi::kModeGray32: return "Gray32";
        default: return "unknown";
    }
}

const char* selectorName(int selector) {
    static const char* const names[] = {"about", "parameters", "prepare",
                                        "start", "continue",   "finish"};
    return selector >= 0 && selector <= 5 ? names[selector] : "unknown";
}

bool parseSize(const std::string& text, std::int32_t& width, std::int32_t& height) {
    int w = 0, h = 0;
    char x = 0;
    if (std::sscanf(text.c_str(), "%d%c%d", &w, &x, &h) != 3 || (x != 'x' && x != 'X')) return false;
    if (w < 1 || h < 1 || w > 30000 || h > 30000) return false;
    width = w;
    height = h;
    return true;
}

// A smooth gradient, different in every channel, at 8 bits.
void makeGradient(Picture& picture, std::int32_t width, std::int32_t height, int channels) {
    std::string error;
    allocatePicture(picture, width, height, channels, 8, error);
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c)
                setSampleValue(picture, x, y, c,
                               float((x * (c + 1) * 255 / width + y * 255 / height) % 256));
}

}  // namespace

bool printPluginInfo(const std::string& pluginPath) {
    hostkit::PiplInfo info;
    std::string error;
    if (!loadFilterPipl(pluginPath, info, error)) {
        std::fprintf(stderr, "mirel: %s\n", error.c_str());
        return false;
    }
    std::printf("name:        %s\n", info.name.c_str());
    std::printf("category:    %s\n", info.category.c_str());
    if (info.version)
        std::printf("version:     %u.%u\n", unsigned(info.version->major), unsigned(info.version->minor));
    std::printf("kind:        %s\n", fourCCText(info.kind).c_str());
    std::printf("entry point: %s\n", info.entryPoint.c_str());
    std::printf("modes:      ");
    for (int mode : info.modes) std::printf(" %s", modeName(mode));
    std::printf("\n");
    return true;
}

RunOutcome runSynthetic(const std::string& pluginPath, const SyntheticRunOptions& options) {
    std::int32_t width = 0, height = 0;
    if (!parseSize(options.size, width, height)) {
        std::fprintf(stderr, "mirel: --size wants WIDTHxHEIGHT with sides 1..30000, not \"%s\"\n",
                     options.size.c_str());
        return RunOutcome::Failed;
    }
    PluginLibrary plugin;
    std::string error;
    if (!plugin.open(pluginPath, error)) {
        std::fprintf(stderr, "mirel: %s\n", error.c_str());
        return RunOutcome::Failed;
    }
    Picture picture;
    makeGradient(picture, width, height, options.mode == "gray" ? 1 : 3);
    HostOptions hostOptions;
    hostOptions.offerAdvanceState = !options.withoutAdvanceState;
    hostOptions.feedback = commandLineFeedback(nullptr);
    if (options.mode == "multichannel") hostOptions.imageModeOverride = pi::kModeMultichannel;
    FilterHost host(plugin, picture, hostOptions);

    RunOutcome outcome = RunOutcome::Done;
    for (int run = 0; run < options.runs; ++run) {
        const std::size_t before = host.selectorLog().size();
        const std::int16_t result = host.run(run == 0);
        const auto& log = host.selectorLog();
        std::printf("run %d:", run + 1);
        for (std::size_t i = before; i < log.size(); ++i) std::printf(" %s", selectorName(log[i]));
        std::printf(" -> result %d\n", int(result));
        // The last run decides the exit code.
        outcome = result == pi::kNoErr           ? RunOutcome::Done
                  : result == pi::kUserCanceledErr ? RunOutcome::Cancelled
                                                   : RunOutcome::Failed;
    }
    return outcome;
}

}  // namespace mirel::host_app

// ---- apply ---------------------------------------------------------------------------

namespace mirel::host_app {

namespace {

bool knownOutputExtension(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
    std::string extension = path.substr(dot + 1);
    for (char& c : extension) c = char(std::tolower(static_cast<unsigned char>(c)));
    return extension == "png" || extension == "jpg" || extension == "jpeg" || extension == "tif" ||
           extension == "tiff" || extension == "psd";
}

// Checked before the filter runs, so that a long run is not lost to a typo.
bool outputPathUsable(const std::string& path, std::string& error) {
    if (!knownOutputExtension(path)) {
        error = path + ": unknown file type; use .png, .jpg, .jpeg, .tif, .tiff or .psd";
        return false;
    }
    const std::filesystem::path target(path);
    std::filesystem::path folder = target.parent_path();
    if (folder.empty()) folder = ".";
    std::error_code code;
    if (!std::filesystem::is_directory(folder, code)) {
        error = path + ": cannot write here: the folder " + folder.string() + " does not exist";
        return false;
    }
    if (::access(folder.c_str(), W_OK) != 0) {
        error = path + ": cannot write here: " + std::strerror(errno);
        return false;
    }
    if (std::filesystem::is_directory(target, code)) {
        error = path + ": is a folder";
        return false;
    }
    return true;
}

// One line on stderr; the run has failed.
RunOutcome fail(const std::string& message) {
    std::fprintf(stderr, "mirel: %s\n", message.c_str());
    return RunOutcome::Failed;
}

bool folderWritable(const std::string& path, std::string& error) {
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (folder.empty()) folder = ".";
    std::error_code code;
    if (!std::filesystem::is_directory(folder, code)) {
        error = path + ": cannot write here: the folder " + folder.string() + " does not exist";
        return false;
    }
    if (std::filesystem::is_directory(path, code)) {
        error = path + ": is a folder";
        return false;
    }
    return true;
}

}  // namespace

bool prepareMask(const Picture& loaded, const Picture& picture, Picture& mask, std::string& error) {
    if (loaded.width != picture.width || loaded.height != picture.height) {
        error = "the mask is " + std::to_string(loaded.width) + " x " + std::to_string(loaded.height) +
                " pixels but the picture is " + std::to_string(picture.width) + " x " +
                std::to_string(picture.height) + "; a mask must have the picture's size";
        return false;
    }
    if (hasAlpha(loaded)) {
        error = "the mask has transparency; a mask is a grey picture without it";
        return false;
    }
    if (!allocatePicture(mask, loaded.width, loaded.height, 1, 8, error)) return false;
    for (std::int32_t y = 0; y < loaded.height; ++y) {
        for (std::int32_t x = 0; x < loaded.width; ++x) {
            const float grey = normalisedSample(loaded, x, y, 0);
            if (!isGrey(loaded) && (normalisedSample(loaded, x, y, 1) != grey ||
                                    normalisedSample(loaded, x, y, 2) != grey)) {
                error = "the mask is a colour picture; a mask is grey (0 outside, 255 inside)";
                return false;
            }
            // Deep masks are rounded to the 256 steps of a selection.
            setSampleValue(mask, x, y, 0, std::clamp(grey, 0.0f, 1.0f) * 255.0f);
        }
    }
    return true;
}

namespace {

// True when the environment names a display the filter's dialog can open on:
// QT_QPA_PLATFORM naming a platform that needs nothing from outside
// (offscreen, vnc...), or the variable X11 or Wayland needs. The plug-in
// decides by the same rule, and without a display shows no dialog.
bool displayAvailable() {
    const auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value && *value;
    };
    if (set("QT_QPA_PLATFORM")) {
        std::string_view platform = std::getenv("QT_QPA_PLATFORM");
        platform = platform.substr(0, platform.find(':'));
        if (platform == "xcb") return set("DISPLAY");
        if (platform.substr(0, 7) == "wayland") return set("WAYLAND_DISPLAY");
        return true;
    }
    return set("DISPLAY") || set("WAYLAND_DISPLAY");
}

}  // namespace

RunOutcome applyFilter(const std::string& pluginPath, const ApplyOptions& options) {
    std::string error;
    if (options.showDialog && !displayAvailable())
        return fail("--dialog needs a display, and none is set (DISPLAY or WAYLAND_DISPLAY)");
    if (!outputPathUsable(options.output, error)) return fail(error);

    Picture picture;
    if (!readPicture(options.input, picture, error)) return fail(error);

    Picture mask;
    if (!options.mask.empty()) {
        Picture loaded;
        if (!readPicture(options.mask, loaded, error)) return fail(error);
        if (!prepareMask(loaded, picture, mask, error))
            return fail(options.mask + ": " + error);
    }

    // Everything the descriptor needs is read before the filter runs, so that a typo
    // in a setting does not cost a long run.
    Terminology terminology;
    std::optional<Descriptor> descriptor;
    if (options.sources.any() || !options.recordFile.empty()) {
        if (!loadFilterTerminology(pluginPath, terminology, error)) return fail(error);
    }
    if (options.sources.any()) {
        descriptor.emplace();
        if (!composeDescriptor(options.sources, terminology, *descriptor, error)) return fail(error);
    }
    if (!options.recordFile.empty() && !folderWritable(options.recordFile, error)) return fail(error);

    PluginLibrary plugin;
    if (!plugin.open(pluginPath, error)) return fail(error);

    // A paint program replaying an action: descriptor services, and the dialog only
    // when asked for.
    HostOptions hostOptions;
    hostOptions.preserveTransparency = options.preserveTransparency;
    ProgressBar bar;
    hostOptions.feedback = commandLineFeedback(options.showProgress ? &bar : nullptr);
    hostOptions.offerDescriptors = true;
    hostOptions.playInfo = options.showDialog ? pi::kPlugInDialogDisplay : pi::kPlugInDialogDontDisplay;
    std::int16_t result = 0;
    std::optional<Descriptor> recorded;
    {
        FilterHost host(plugin, picture, hostOptions);
        if (!options.mask.empty()) host.setMask(&mask);
        if (!host.descriptors().offer(descriptor)) return fail("out of memory for the descriptor");
        result = host.run(true);
        if (result == pi::kNoErr) recorded = host.descriptors().current();
    }
    if (result == pi::kUserCanceledErr || interruptRequested()) {
        std::fprintf(stderr, "mirel: cancelled; %s was not written\n", options.output.c_str());
        return RunOutcome::Cancelled;
    }
    if (result != pi::kNoErr) {
        return fail("the filter stopped with error " + std::to_string(result) + "; " +
                    options.output + " was not written");
    }
    if (isPsdPath(options.output)) {
        SettingsRecord confirmed{};
        confirmed.outputMode = 1;
        if (recorded) applyDescriptor(*recorded, confirmed);
        if (!writePictureAsPsd(options.output, picture, confirmed.outputMode, error))
            return fail(error);
    } else if (!writePicture(options.output, picture, error)) {
        return fail(error);
    }
    if (!options.recordFile.empty()) {
        if (!recorded)
            return fail("the filter handed back no settings; " + options.recordFile + " was not written");
        if (!writeActionFile(options.recordFile, *recorded, terminology, error)) return fail(error);
    }
    return RunOutcome::Done;
}

}  // namespace mirel::host_app

// ---- Scripting: terminology, descriptors, settings files ----------------------------

namespace mirel::host_app {

namespace {

SettingsRecord defaultSettings() {
    SettingsRecord record;
    std::memset(&record, 0, sizeof record);
    fullReset(record);
    return record;
}

// Loads a settings file over the defaults; one line in `error` when it is no
// settings file this program reads.
bool loadSettingsOrExplain(const std::string& path, SettingsRecord& record,
                           image::TiledImage* thumbnail, SettingsReadResult& result,
                           std::string& error) {
    std::error_code code;
    if (!std::filesystem::exists(path, code)) {
        error = path + ": cannot read: no such file";
        return false;
    }
    if (std::filesystem::is_directory(path, code)) {
        error = path + ": is a folder";
        return false;
    }
    result = loadSettingsFile(path, record, thumbnail);
    if (!result.versionRead) {
        error = path + ": not a settings file (no version from 1 to 45 at its start)";
        return false;
    }
    return true;
}

const char* typeLabel(std::uint32_t type, const Terminology& terminology) {
    if (type == kDescTypeInteger) return "integer";
    if (type == kDescTypeFloat) return "number";
    if (terminology.enumeration(type)) return "enumeration";
    return "other";
}

std::string valueText(const DescriptorItem& item, const Terminology& terminology) {
    char buffer[64];
    switch (item.type) {
        case kDescTypeInteger: return std::to_string(item.integer);
        case kDescTypeFloat:
            std::snprintf(buffer, sizeof buffer, "%.9g", item.number);
            return buffer;
        case kDescTypeEnumerated: {
            std::string text = fourCCText(item.enumValue);
            if (const TermEnumeration* enumeration = terminology.enumeration(item.enumType))
                for (const TermEnumValue& value : enumeration->values)
                    if (value.id == item.enumValue) text = value.name + " " + text;
            return text;
        }
        default: return "?";
    }
}

bool writeThumbnailPng(const image::TiledImage& thumbnail, const std::string& path,
                       std::string& error) {
    Picture picture;
    const std::int32_t side = kThumbnailSide;
    if (!allocatePicture(picture, side, side, 3, 8, error)) return false;
    for (std::int32_t y = 0; y < side; ++y) {
        for (std::int32_t x = 0; x < side; ++x) {
            const std::uint32_t rgba = image::readRgba8(thumbnail, x, y, 0);
            setSampleValue(picture, x, y, 0, float((rgba >> 24) & 255));
            setSampleValue(picture, x, y, 1, float((rgba >> 16) & 255));
            setSampleValue(picture, x, y, 2, float((rgba >> 8) & 255));
        }
    }
    return writePicture(path, picture, error);
}

}  // namespace

bool composeDescriptor(const ScriptingSources& sources, const Terminology& terminology,
                       Descriptor& descriptor, std::string& error) {
    descriptor = Descriptor{};
    if (!sources.settingsFile.empty()) {
        SettingsRecord record = defaultSettings();
        SettingsReadResult result;
        if (!loadSettingsOrExplain(sources.settingsFile, record, nullptr, result, error)) return false;
        descriptor = descriptorFromSettings(record);
    }
    if (!sources.actionFile.empty()) {
        Descriptor action;
        if (!readActionFile(sources.actionFile, terminology, action, error)) return false;
        for (const DescriptorItem& item : action.items) descriptor.put(item);
    }
    for (const std::string& setting : sources.sets) {
        DescriptorItem item;
        if (!parseSetting(setting, terminology, item, error)) return false;
        descriptor.put(item);
    }
    return true;
}

bool printParameters(const std::string& pluginPath) {
    Terminology terminology;
    std::string error;
    if (!loadFilterTerminology(pluginPath, terminology, error)) {
        std::fprintf(stderr, "mirel: %s\n", error.c_str());
        return false;
    }
    std::printf("%s: %s\n", terminology.eventName.c_str(), terminology.eventDescription.c_str());
    std::printf("%-6s  %-4s  %-11s  %s\n", "key", "type", "", "name (for --set NAME=VALUE)");
    for (const TermParameter& parameter : terminology.parameters) {
        std::printf("%-6s  %-4s  %-11s  %s\n", fourCCText(parameter.key).c_str(),
                    fourCCText(parameter.type, pi::FourCCStyle::Bare).c_str(),
                    typeLabel(parameter.type, terminology), parameter.name.c_str());
        if (const TermEnumeration* enumeration = terminology.enumeration(parameter.type))
            for (const TermEnumValue& value : enumeration->values)
                std::printf("%-6s  %-4s  %-11s    %s %s\n", "", "", "",
                            fourCCText(value.id).c_str(), value.name.c_str());
    }
    return true;
}

bool printSettingsInfo(const std::string& pluginPath, const std::string& settingsPath,
                       const std::string& thumbnailPng) {
    std::string error;
    auto report = [&](const std::string& message) {
        std::fprintf(stderr, "mirel: %s\n", message.c_str());
        return false;
    };
    Terminology terminology;
    if (!loadFilterTerminology(pluginPath, terminology, error)) return report(error);
    if (!thumbnailPng.empty() && !folderWritable(thumbnailPng, error)) return report(error);
    std::unique_ptr<image::TiledImage> thumbnail = image::createThumbnailImage();
    if (!thumbnail) return report("out of memory for the thumbnail");
    SettingsRecord record = defaultSettings();
    SettingsReadResult result;
    if (!loadSettingsOrExplain(settingsPath, record, thumbnail.get(), result, error)) return report(error);

    if (!thumbnailPng.empty() && !result.thumbnailLoaded)
        return report(settingsPath + " holds no thumbnail; " + thumbnailPng + " was not written");

    std::printf("file:      %s\n", settingsPath.c_str());
    std::printf("version:   %d%s\n", int(result.version), result.complete ? "" : " (the file ends early; missing values are defaults)");
    std::printf("thumbnail: %s\n", result.thumbnailLoaded ? "yes" : "no");
    const Descriptor values = descriptorFromSettings(record);
    for (const DescriptorItem& item : values.items) {
        const TermParameter* parameter = terminology.byKey(item.key);
        if (!parameter) continue;
        std::printf("  %-18s %s  %s\n", parameter->name.c_str(), fourCCText(item.key).c_str(),
                    valueText(item, terminology).c_str());
    }
    if (!thumbnailPng.empty() && !writeThumbnailPng(*thumbnail, thumbnailPng, error)) return report(error);
    return true;
}

RunOutcome saveSettingsFromSources(const std::string& pluginPath, const std::string& outputPath,
                                   const ScriptingSources& sources, const std::string& fromPicture) {
    std::string error;
    if (!folderWritable(outputPath, error)) return fail(error);
    Terminology terminology;
    if (!loadFilterTerminology(pluginPath, terminology, error)) return fail(error);
    // The settings file is taken as it is (no 8-bit round trip of its colours); the
    // action and the settings go over it as the filter would read them.
    SettingsRecord record = defaultSettings();
    if (!sources.settingsFile.empty()) {
        SettingsReadResult result;
        if (!loadSettingsOrExplain(sources.settingsFile, record, nullptr, result, error)) return fail(error);
    }
    ScriptingSources rest = sources;
    rest.settingsFile.clear();
    Descriptor descriptor;
    if (!composeDescriptor(rest, terminology, descriptor, error)) return fail(error);
    applyDescriptor(descriptor, record);
    if (!fromPicture.empty()) {
        return writeWithEffectThumbnail(outputPath, record, fromPicture,
                                        [&](const image::TiledImage& thumbnail) {
                                            return saveSettingsFile(outputPath, record, &thumbnail);
                                        });
    }
    if (!saveSettingsFile(outputPath, record, nullptr))
        return fail(outputPath + ": cannot write the settings file");
    return RunOutcome::Done;
}

}  // namespace mirel::host_app
