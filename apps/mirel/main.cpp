// mirel: the host program that loads the filter plug-in and runs it.

#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "apps/host/plugin_library.h"
#include "apps/mirel/export_commands.h"
#include "apps/mirel/host_commands.h"
#include "apps/mirel/interrupt.h"
#include "platform/os/os.h"
#include "settings/metadata.h"

namespace {

using namespace mirel::host_app;

constexpr int kExitOk = 0;
constexpr int kExitCancelled = 1;
constexpr int kExitBadInput = 2;
constexpr int kExitFailed = 3;

int exitCodeOf(RunOutcome outcome) {
    switch (outcome) {
        case RunOutcome::Done:
            return kExitOk;
        case RunOutcome::Cancelled:
            return kExitCancelled;
        case RunOutcome::BadInput:
            return kExitBadInput;
        case RunOutcome::Failed:
            break;
    }
    return kExitFailed;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> arguments = mirel::os::startCommandLineProgram(argc, argv);
    std::vector<char*> argumentPointers;
    for (std::string& argument : arguments) argumentPointers.push_back(argument.data());

    CLI::App app{
        "mirel: fills the lower part of a picture with water, through the Mirel filter plug-in"};
    app.set_version_flag("--version", "mirel " + std::string(mirel::kSoftwareVersion));
    app.require_subcommand(1);
    // Options are written -o and --output on every system; on Windows a path may
    // begin with '/' too, and must not be taken for an option.
    app.allow_windows_style_options(false);

    std::string pluginPath = mirel::hostkit::defaultPluginPath();
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
    lifecycle
        ->add_option("--runs", synthetic.runs,
                     "runs in one process (the later ones without the parameters step)")
        ->check(CLI::Range(1, 100));
    lifecycle->add_flag("--no-advance-state", synthetic.withoutAdvanceState,
                        "play a host that lacks advanceState");

    ApplyOptions apply;
    auto* applyCommand = app.add_subcommand(
        "apply",
        "run the filter over pictures and save the results (exit 0 done, 1 cancelled, "
        "2 bad usage or input, 3 the filter or the machine failed)");
    applyCommand
        ->add_option("IN", apply.inputs,
                     "the pictures to filter (PNG, JPEG or TIFF); - reads one from standard input")
        ->required();
    applyCommand
        ->add_option(
            "-o,--output", apply.output,
            "where to save the result; its extension (.png, .jpg, .tif, or .psd for a layered "
            "document) chooses the format. "
            "A folder (or several pictures) takes each result under its input's name; "
            "- writes to standard output")
        ->required();
    applyCommand->add_option(
        "--format", apply.format,
        "png, jpg or tif: the format of results written into a folder or to standard "
        "output (without it, each input's own)");
    applyCommand->add_option(
        "--mask", apply.mask,
        "a grey picture of the same size as the selection: 0 outside, 255 inside");
    applyCommand->add_flag("--preserve-transparency", apply.preserveTransparency,
                           "keep the picture's transparency as it is");
    applyCommand->add_flag("-q,--quiet", apply.quiet, "no progress bar");
    auto addSources = [](CLI::App* command, ScriptingSources& sources) {
        command->add_flag(
            "--last", sources.last,
            "start from the settings of the last confirmed run instead of the filter's defaults");
        command->add_option(
            "--settings", sources.settingsFile,
            "a settings file (.q8r) over the defaults (or --last), taken at every bit");
        command->add_option(
            "--action", sources.actionFile,
            "an action file (JSON, as --record writes it); its keys go over --settings");
        command
            ->add_option(
                "--set", sources.sets,
                "NAME=VALUE, over everything else, in order: a setting by the dialog's name, "
                "e.g. horizon=30, style=simple, glue=screen, color=#1e90ff "
                "(`mirel params` lists them)")
            ->allow_extra_args(false);
    };
    addSources(applyCommand, apply.sources);
    applyCommand->add_option(
        "--record", apply.recordFile,
        "keep the settings the filter hands back at the end of the run, as an action file");
    applyCommand->add_option(
        "--host-profile", apply.hostProfile,
        "play a paint program that offers less of the plug-in interface: minimal (no 32-bit "
        "rectangles, no sampling, no padding, handle sizes of 0, empty property and resource "
        "suites, failing colour services), or a list of no-big-document, no-scripting, "
        "scripting-v0, scripting-no-procs, handle-size-zero, empty-suites, failing-colours, "
        "no-sampling, no-padding");
    applyCommand->add_flag(
        "--dialog", apply.showDialog,
        "show the filter's dialog on the display with the picture, opened with the last "
        "confirmed settings or the ones given: OK applies and saves, Cancel or Escape exits 1 "
        "without writing");

    auto* paramsCommand = app.add_subcommand(
        "params",
        "list the settings --set takes, with their values and defaults, and the scripting keys");

    std::string infoFile, infoThumbnail;
    auto* infoCommand = app.add_subcommand("info", "print a settings file's version and values");
    infoCommand->add_option("FILE", infoFile, "the settings file (.q8r)")->required();
    infoCommand->add_option("--thumbnail", infoThumbnail,
                            "also write the file's thumbnail to this PNG");

    std::string saveOutput, saveFrom;
    ScriptingSources saveSources;
    auto* saveCommand = app.add_subcommand(
        "save-settings", "write a settings file (.q8r) from the defaults and the given sources");
    saveCommand->add_option("OUT", saveOutput, "the settings file to write")->required();
    addSources(saveCommand, saveSources);
    saveCommand->add_option(
        "--from", saveFrom,
        "a picture (PNG, JPEG or TIFF): the file gets the thumbnail of the effect "
        "on it, made from the preview the dialog would show; without it, no thumbnail");

    std::string galleryFolder, galleryPage;
    bool galleryQuiet = false;
    auto* galleryCommand = app.add_subcommand(
        "gallery", "write an HTML page showing the thumbnails of a folder's settings files");
    galleryCommand->add_option("FOLDER", galleryFolder, "the folder of settings files (.q8r)")
        ->required();
    galleryCommand
        ->add_option("-o,--output", galleryPage,
                     "the page to write; its images go to web_images beside it")
        ->required();
    galleryCommand->add_flag("-q,--quiet", galleryQuiet, "no progress bar");

    try {
        app.parse(int(argumentPointers.size()), argumentPointers.data());
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        return code == 0 ? kExitOk : kExitBadInput;
    }

    catchInterrupt();

    if (*info) return printPluginInfo(pluginPath) ? kExitOk : kExitBadInput;
    if (*lifecycle) return exitCodeOf(runSynthetic(pluginPath, synthetic));
    if (*applyCommand) return exitCodeOf(applyFilter(pluginPath, apply));
    if (*paramsCommand) return printParameters(pluginPath) ? kExitOk : kExitBadInput;
    if (*infoCommand) return exitCodeOf(printSettingsInfo(pluginPath, infoFile, infoThumbnail));
    if (*saveCommand)
        return exitCodeOf(saveSettingsFromSources(pluginPath, saveOutput, saveSources, saveFrom));
    if (*galleryCommand) return exitCodeOf(writeGallery(galleryFolder, galleryPage, !galleryQuiet));
    return kExitBadInput;
}
