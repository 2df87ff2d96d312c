// The host program's commands: plug-in information and runs of the filter.
#include "apps/mirel/host_commands.h"

#include <cstdio>
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
