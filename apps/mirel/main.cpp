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

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        return code == 0 ? kExitOk : kExitBadInput;
    }

    std::signal(SIGINT, onInterrupt);

    if (*info) return printPluginInfo(pluginPath) ? kExitOk : kExitBadInput;
    if (*lifecycle) {
        switch (runSynthetic(pluginPath, synthetic)) {
            case RunOutcome::Done: return kExitOk;
            case RunOutcome::Cancelled: return kExitCancelled;
            case RunOutcome::Failed: return kExitBadInput;
        }
    }
    return kExitBadInput;
}
