// The host program's commands: plug-in information and runs of the filter.
#include "apps/mirel/host_commands.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "apps/mirel/filter_host.h"
#include "apps/mirel/pipl_reader.h"

namespace mirel::host_app {

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
    PiplInfo info;
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
           extension == "tiff";
}

// Checked before the filter runs, so that a long run is not lost to a typo.
bool outputPathUsable(const std::string& path, std::string& error) {
    if (!knownOutputExtension(path)) {
        error = path + ": unknown file type; use .png, .jpg, .jpeg, .tif or .tiff";
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

RunOutcome applyFilter(const std::string& pluginPath, const ApplyOptions& options) {
    std::string error;
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

    PluginLibrary plugin;
    if (!plugin.open(pluginPath, error)) return fail(error);

    HostOptions hostOptions;
    hostOptions.preserveTransparency = options.preserveTransparency;
    hostOptions.showProgress = options.showProgress;
    std::int16_t result = 0;
    {
        FilterHost host(plugin, picture, hostOptions);
        if (!options.mask.empty()) host.setMask(&mask);
        result = host.run(true);
    }
    if (result == pi::kUserCanceledErr || cancelRequested()) {
        std::fprintf(stderr, "mirel: cancelled; %s was not written\n", options.output.c_str());
        return RunOutcome::Cancelled;
    }
    if (result != pi::kNoErr) {
        return fail("the filter stopped with error " + std::to_string(result) + "; " +
                    options.output + " was not written");
    }
    if (!writePicture(options.output, picture, error)) return fail(error);
    return RunOutcome::Done;
}

}  // namespace mirel::host_app
