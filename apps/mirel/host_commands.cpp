// The host program's commands: plug-in information and runs of the filter.
#include "apps/mirel/host_commands.h"

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
#include "apps/host/pending_file.h"
#include "apps/host/pipl_reader.h"
#include "apps/mirel/interrupt.h"
#include "apps/mirel/progress.h"
#include "apps/mirel/run_settings.h"
#include "apps/mirel/save_from.h"
#include "apps/mirel/setting_names.h"
#include "apps/mirel/settings_descriptor.h"
#include "image/thumbnails.h"
#include "platform/pi/four_cc.h"
#include "settings/settings_file.h"
#include "settings/temp_files.h"

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
        case pi::kModeBitmap:
            return "Bitmap";
        case pi::kModeGrayScale:
            return "Grayscale";
        case pi::kModeIndexedColor:
            return "Indexed";
        case pi::kModeRGBColor:
            return "RGB";
        case pi::kModeCMYKColor:
            return "CMYK";
        case pi::kModeHSLColor:
            return "HSL";
        case pi::kModeHSBColor:
            return "HSB";
        case pi::kModeMultichannel:
            return "Multichannel";
        case pi::kModeDuotone:
            return "Duotone";
        case pi::kModeLabColor:
            return "Lab";
        case pi::kModeGray16:
            return "Gray16";
        case pi::kModeRGB48:
            return "RGB48";
        case pi::kModeLab48:
            return "Lab48";
        case pi::kModeCMYK64:
            return "CMYK64";
        case pi::kModeDeepMultichannel:
            return "DeepMultichannel";
        case pi::kModeDuotone16:
            return "Duotone16";
        case pi::kModeRGB96:
            return "RGB96";
        case pi::kModeGray32:
            return "Gray32";
        default:
            return "unknown";
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
    if (std::sscanf(text.c_str(), "%d%c%d", &w, &x, &h) != 3 || (x != 'x' && x != 'X'))
        return false;
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
        std::printf("version:     %u.%u\n", unsigned(info.version->major),
                    unsigned(info.version->minor));
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
        return RunOutcome::BadInput;
    }
    PluginLibrary plugin;
    std::string error;
    if (!plugin.open(pluginPath, error)) {
        std::fprintf(stderr, "mirel: %s\n", error.c_str());
        return RunOutcome::BadInput;
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
        outcome = result == pi::kNoErr             ? RunOutcome::Done
                  : result == pi::kUserCanceledErr ? RunOutcome::Cancelled
                                                   : RunOutcome::Failed;
    }
    return outcome;
}

}  // namespace mirel::host_app

// ---- Scripting: terminology, descriptors, settings files ----------------------------

namespace mirel::host_app {

namespace {

// One line on stderr; the command has failed as `outcome` says.
RunOutcome fail(const std::string& message, RunOutcome outcome = RunOutcome::Failed) {
    std::fprintf(stderr, "mirel: %s\n", message.c_str());
    return outcome;
}

RunOutcome badInput(const std::string& message) {
    return fail(message, RunOutcome::BadInput);
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
        case kDescTypeInteger:
            return std::to_string(item.integer);
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
        default:
            return "?";
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

RunOutcome worse(RunOutcome a, RunOutcome b) {
    return int(a) >= int(b) ? a : b;
}

bool prepareMask(const Picture& loaded, const Picture& picture, Picture& mask, std::string& error) {
    if (loaded.width != picture.width || loaded.height != picture.height) {
        error = "the mask is " + std::to_string(loaded.width) + " x " +
                std::to_string(loaded.height) + " pixels but the picture is " +
                std::to_string(picture.width) + " x " + std::to_string(picture.height) +
                "; a mask must have the picture's size";
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

bool printParameters(const std::string& pluginPath) {
    Terminology terminology;
    std::string error;
    if (!loadFilterTerminology(pluginPath, terminology, error)) {
        std::fprintf(stderr, "mirel: %s\n", error.c_str());
        return false;
    }
    std::printf("%s: %s\n\n", terminology.eventName.c_str(), terminology.eventDescription.c_str());
    printSettingNames(stdout);
    std::printf("\nThe scripting names, also taken by --set and in action files:\n");
    std::printf("%-6s  %-4s  %-11s  %s\n", "key", "type", "", "name");
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

RunOutcome printSettingsInfo(const std::string& pluginPath, const std::string& settingsPath,
                             const std::string& thumbnailPng) {
    std::string error;
    Terminology terminology;
    if (!loadFilterTerminology(pluginPath, terminology, error)) return badInput(error);
    hostkit::PendingFile thumbnailFile;
    if (!thumbnailPng.empty() && !thumbnailFile.open(thumbnailPng, error)) return badInput(error);
    std::unique_ptr<image::TiledImage> thumbnail = image::createThumbnailImage();
    if (!thumbnail) return fail("out of memory for the thumbnail");
    SettingsRecord record = freshSettings();
    SettingsReadResult result;
    if (!loadSettingsOrExplain(settingsPath, record, thumbnail.get(), result, error))
        return badInput(error);

    if (!thumbnailPng.empty() && !result.thumbnailLoaded)
        return badInput(settingsPath + " holds no thumbnail; " + thumbnailPng + " was not written");

    std::printf("file:      %s\n", settingsPath.c_str());
    std::printf("version:   %d%s\n", int(result.version),
                result.complete ? "" : " (the file ends early; missing values are defaults)");
    std::printf("thumbnail: %s\n", result.thumbnailLoaded ? "yes" : "no");
    const Descriptor values = descriptorFromSettings(record);
    for (const DescriptorItem& item : values.items) {
        const TermParameter* parameter = terminology.byKey(item.key);
        if (!parameter) continue;
        std::printf("  %-18s %s  %s\n", parameter->name.c_str(), fourCCText(item.key).c_str(),
                    valueText(item, terminology).c_str());
    }
    if (!thumbnailPng.empty()) {
        thumbnailFile.discard();
        if (!writeThumbnailPng(*thumbnail, thumbnailPng, error)) return fail(error);
    }
    return RunOutcome::Done;
}

RunOutcome saveSettingsFromSources(const std::string& pluginPath, const std::string& outputPath,
                                   const ScriptingSources& sources,
                                   const std::string& fromPicture) {
    std::string error;
    // The target is checked before any work.
    hostkit::PendingFile check;
    if (!check.open(outputPath, error)) return badInput(error);
    check.discard();
    Terminology terminology;
    if (!loadFilterTerminology(pluginPath, terminology, error)) return badInput(error);
    // The settings file is taken as it is (no 8-bit round trip of its colours); the
    // action and the settings go over it as the filter would read them.
    SettingsRecord record;
    if (!composeSettings(sources, terminology, cachedSettingsPath(), record, error))
        return badInput(error);
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
