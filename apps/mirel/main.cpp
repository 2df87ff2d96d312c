// mirel: the host program that loads the filter plug-in and runs it.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>

#include "apps/mirel/filter_host.h"
#include "apps/mirel/host_commands.h"

namespace {

using namespace mirel::host_app;

constexpr int kExitOk = 0;
constexpr int kExitCancelled = 1;
constexpr int kExitBadInput = 2;

void onInterrupt(int) { requestCancel(); }

// The plug-in beside the program, unless the user or the environment names another.
std::string defaultPluginPath() {
    if (const char* fromEnvironment = std::getenv("MIREL_PLUGIN"); fromEnvironment && *fromEnvironment)
        return fromEnvironment;
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return "Mirel.8bf";
    return (self.parent_path() / "Mirel.8bf").string();
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"mirel: fills the lower part of a picture with water, through the Mirel filter plug-in"};
    app.set_version_flag("--version", std::string("mirel ") + kHostVersion);
    app.require_subcommand(1);

    std::string pluginPath = defaultPluginPath();
    app.add_option("--plugin", pluginPath, "the filter plug-in library to load")
        ->capture_default_str();

    auto* info = app.add_subcommand("plugin-info", "print what the plug-in's PiPL says");

    SyntheticRunOptions synthetic;
    auto* lifecycle = app.add_subcommand(
        "lifecycle", "run the filter's selectors on a picture the host makes itself");
    lifecycle->add_option("--size", synthetic.size, "picture size, WIDTHxHEIGHT")
        ->capture_default_str();
    lifecycle->add_option("--mode", synthetic.mode, "rgb, gray or multichannel")
        ->check(CLI::IsMember({"rgb", "gray", "multichannel"}))
        ->capture_default_str();
    lifecycle->add_option("--runs", synthetic.runs, "runs in one process (the later ones without the parameters step)")
        ->check(CLI::Range(1, 100));
    lifecycle->add_flag("--no-advance-state", synthetic.withoutAdvanceState,
                        "play a host that lacks advanceState");

    ApplyOptions apply;
    auto* applyCommand = app.add_subcommand("apply", "run the filter over a picture file and save the result");
    applyCommand->add_option("IN", apply.input, "the picture to filter (PNG, JPEG or TIFF)")->required();
    applyCommand->add_option("-o,--output", apply.output,
                             "where to save the result; its extension (.png, .jpg, .tif) chooses the format")
        ->required();
    applyCommand->add_option("--mask", apply.mask,
                             "a grey picture of the same size as the selection: 0 outside, 255 inside");
    applyCommand->add_flag("--preserve-transparency", apply.preserveTransparency,
                           "keep the picture's transparency as it is");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        return code == 0 ? kExitOk : kExitBadInput;
    }

    std::signal(SIGINT, onInterrupt);

    auto exitCodeOf = [](RunOutcome outcome) {
        switch (outcome) {
            case RunOutcome::Done: return kExitOk;
            case RunOutcome::Cancelled: return kExitCancelled;
            case RunOutcome::Failed: break;
        }
        return kExitBadInput;
    };
    if (*info) return printPluginInfo(pluginPath) ? kExitOk : kExitBadInput;
    if (*lifecycle) return exitCodeOf(runSynthetic(pluginPath, synthetic));
    if (*applyCommand) return exitCodeOf(applyFilter(pluginPath, apply));
    return kExitBadInput;
}
