// mirel apply: the filter over one picture or a batch, with every output prepared
// before the work and put in place together at its end.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <set>

#include "apps/host/action_file.h"
#include "apps/host/filter_host.h"
#include "apps/host/host_profile.h"
#include "apps/host/pending_file.h"
#include "apps/host/selection_bounds.h"
#include "apps/mirel/export_commands.h"
#include "apps/mirel/host_commands.h"
#include "apps/mirel/interrupt.h"
#include "apps/mirel/progress.h"
#include "apps/mirel/run_folder.h"
#include "apps/mirel/setting_names.h"
#include "platform/gui/display.h"
#include "platform/os/os.h"
#include "settings/temp_files.h"

namespace mirel::host_app {

namespace {

using hostkit::Descriptor;
using hostkit::FilterHost;
using hostkit::HostOptions;
using hostkit::PendingFile;
using hostkit::PluginLibrary;
using hostkit::Terminology;

// One picture of the command and where its result goes.
struct Job {
    std::string input;
    std::string output;  // empty until the picture is read, when its format decides the name
    PictureFormat format = PictureFormat::Unknown;
    bool psd = false;  // a layered PSD document instead of a picture file
};

// Messages go to stderr on a line of their own, under the progress bar.
class Reporter {
  public:
    explicit Reporter(ProgressBar* bar) : bar_(bar) {}
    RunOutcome say(const std::string& message, RunOutcome outcome) const {
        if (bar_) bar_->clear();
        std::fprintf(stderr, "mirel: %s\n", message.c_str());
        return outcome;
    }
    RunOutcome badInput(const std::string& message) const {
        return say(message, RunOutcome::BadInput);
    }
    RunOutcome failed(const std::string& message) const { return say(message, RunOutcome::Failed); }

  private:
    ProgressBar* bar_;
};

using os::isFolder;
using os::sameFile;

std::string baseName(const std::string& path) {
    const std::size_t slash = path.find_last_of(os::kPathSeparators);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    return name;
}

// Decides every output before any work: one file (or standard output), or a folder
// that takes each result under its input's name.
bool planJobs(const ApplyOptions& options, std::vector<Job>& jobs, std::string& folder,
              std::string& error) {
    PictureFormat chosen = PictureFormat::Unknown;
    if (!options.format.empty()) {
        chosen = formatOfWord(options.format);
        if (chosen == PictureFormat::Unknown) {
            error = "--format wants png, jpg or tif, not \"" + options.format + "\"";
            return false;
        }
    }
    const std::string& output = options.output;
    const bool intoFolder = options.inputs.size() > 1 ||
                            (!output.empty() && os::isPathSeparator(output.back())) ||
                            isFolder(output);
    jobs.clear();
    if (!intoFolder) {
        Job job{options.inputs.front(), output, chosen};
        if (isPsdPath(output)) {
            if (chosen != PictureFormat::Unknown) {
                error = "-o " + output + " is a PSD document but --format says " + options.format;
                return false;
            }
            job.psd = true;
        } else if (output != "-") {
            job.format = formatOfName(output);
            if (job.format == PictureFormat::Unknown) {
                error = output +
                        ": unknown file type; use .png, .jpg, .jpeg, .tif, .tiff, or .psd for a "
                        "layered document";
                return false;
            }
            if (chosen != PictureFormat::Unknown && chosen != job.format) {
                error = "-o " + output + " is a ." + extensionOf(job.format) +
                        " file but --format says " + options.format;
                return false;
            }
        }
        jobs.push_back(job);
        return true;
    }
    folder = output;
    if (folder.empty() || !os::isPathSeparator(folder.back())) folder += '/';
    if (!isFolder(folder)) {
        // A folder named with a final slash is made; its parent must be there.
        const std::string parent =
            folder.substr(0, folder.find_last_of(os::kPathSeparators, folder.size() - 2) + 1);
        if (!isFolder(parent.empty() ? "." : parent)) {
            error = output + ": the folder does not exist";
            return false;
        }
    }
    std::set<std::string> names;
    for (const std::string& input : options.inputs) {
        if (input == "-") {
            error = "- reads one picture from standard input; give it alone";
            return false;
        }
        Job job{input, {}, chosen != PictureFormat::Unknown ? chosen : formatOfName(input)};
        if (job.format != PictureFormat::Unknown) {
            job.output = folder + baseName(input) + "." + extensionOf(job.format);
            if (!names.insert(job.output).second) {
                error = "two pictures would both be written to " + job.output;
                return false;
            }
        }
        jobs.push_back(job);
    }
    return true;
}

std::string filterErrorText(std::int16_t code) {
    if (code == pi::kMemFullErr) return "out of memory";
    return "error " + std::to_string(code);
}

// The state a command shares across its pictures.
struct Command {
    const ApplyOptions& options;
    const HostOptions& hostProfile;  // what the host offers, before each run's own options
    const PluginLibrary& plugin;
    const Terminology& terminology;
    Reporter report;
    ProgressBar* bar = nullptr;
    RunFolder* folder = nullptr;  // null: the user's own folder (a dialog run, or no room)
    RunStart start;
    std::optional<Descriptor> userFolderKeys;  // what is offered without a folder of our own
    const Picture* mask = nullptr;
    PendingFile* record = nullptr;
    bool recordWritten = false;
    std::string outputFolder;  // ending in '/'; empty for one output file
    bool batch = false;        // several pictures: one that fails is skipped
    std::set<std::string> outputs;
};

// Writes the descriptor the filter handed back into the record's file.
bool writeRecord(Command& command, const std::optional<Descriptor>& recorded, std::string& error) {
    if (!recorded) {
        error = "the filter handed back no settings";
        return false;
    }
    // The colours the run confirmed: the ones it was given, or the dialog's choice,
    // which the filter keeps in the user's folder.
    SettingsRecord confirmed = command.start.settings;
    if (command.options.showDialog) readLastSettings(cachedSettingsPath(), confirmed);
    const std::string text = recordText(*recorded, command.terminology, confirmed);
    if (!os::writeDescriptor(command.record->descriptor(), text.data(), text.size())) {
        error = command.record->path() + ": cannot write: " + std::strerror(errno);
        return false;
    }
    return true;
}

RunOutcome runJob(Command& command, Job& job, int index) {
    const Reporter& report = command.report;
    std::string error;
    Picture picture;
    if (!readPicture(job.input, picture, error))
        return report.badInput(error + (command.batch ? "; skipped" : ""));
    if (job.format == PictureFormat::Unknown) job.format = picture.sourceFormat;
    if (job.output.empty())
        job.output = command.outputFolder + baseName(job.input) + "." + extensionOf(job.format);
    const std::string notWritten =
        "; " + (job.output == "-" ? std::string("nothing") : job.output) + " was not written";
    if (job.output != "-" && !command.outputs.insert(job.output).second)
        return report.badInput("two pictures would both be written to " + job.output);
    // A name made up in a folder must not be the input itself; one named by the user may.
    if (!command.outputFolder.empty() && sameFile(job.input, job.output))
        return report.badInput(job.output +
                               " would replace its own input; write into another folder");
    // What the format cannot hold is found before the render, not after it.
    if (!job.psd && !formatHolds(job.format, picture, error))
        return report.badInput(job.input + ": " + error + notWritten);
    Picture mask;
    if (command.mask && !prepareMask(*command.mask, picture, mask, error))
        return report.badInput(command.options.mask + ": " + error + notWritten);
    PendingFile output;
    if (!output.open(job.output, error)) return report.badInput(error);

    std::optional<Descriptor> offer = command.userFolderKeys;
    if (command.folder && !command.folder->prepare(command.start, offer, error))
        return report.failed(error);

    HostOptions hostOptions = command.hostProfile;
    hostOptions.preserveTransparency = command.options.preserveTransparency;
    hostOptions.feedback = commandLineFeedback(command.bar);
    hostOptions.playInfo =
        command.options.showDialog ? pi::kPlugInDialogDisplay : pi::kPlugInDialogDontDisplay;
    if (command.bar) command.bar->startItem(index);
    std::int16_t result = 0;
    std::optional<Descriptor> recorded;
    {
        FilterHost host(command.plugin, picture, hostOptions);
        if (command.mask) {
            host.setMask(&mask);
            // As in a paint program, the filter works within the selection's bounds; a
            // mask that selects nothing leaves the picture as it was.
            if (const std::optional<IntRect> bounds = hostkit::selectionBounds(mask))
                host.setFilterRect(*bounds);
        }
        if (!host.descriptors().offer(offer))
            return report.failed("out of memory for the descriptor");
        result = host.run(true);
        if (result == pi::kNoErr) recorded = host.descriptors().current();
    }
    if (result == pi::kUserCanceledErr || interruptRequested())
        return report.say("cancelled" + notWritten, RunOutcome::Cancelled);
    if (result != pi::kNoErr)
        return report.failed(job.input + ": the filter stopped with " + filterErrorText(result) +
                             notWritten);

    if (job.psd) {
        // The document's keywords name the output mode the run confirmed.
        SettingsRecord confirmed = command.start.settings;
        if (command.options.showDialog) readLastSettings(cachedSettingsPath(), confirmed);
        if (!encodePsd(output.descriptor(), job.output, picture, confirmed.outputMode, error))
            return report.failed(error + notWritten);
    } else if (!encodePicture(output.descriptor(), job.format, picture, error)) {
        return report.failed(job.output + ": " + error);
    }
    // The record is written before anything is put in place, so that a record that
    // cannot be written costs no picture either.
    if (command.record && !command.recordWritten) {
        if (!writeRecord(command, recorded, error))
            return report.failed(error + "; " + job.output + " was not written");
        command.recordWritten = true;
    }
    // A signal that came during the save still cancels.
    if (interruptRequested()) return report.say("cancelled" + notWritten, RunOutcome::Cancelled);
    if (!output.commit(error)) return report.failed(error);
    return RunOutcome::Done;
}

}  // namespace

bool dialogCanShow(std::string& why) {
#ifdef _WIN32
    if (gui::displayConfigured() && gui::windowsCanBeMade()) return true;
    why =
        "--dialog needs a display, and none can take a window here (a service, or Wine "
        "without an X display); without --dialog the filter runs as it is told";
#else
    if (gui::displayConfigured()) return true;
    why =
        "--dialog needs a display, and none is set (DISPLAY or WAYLAND_DISPLAY; over ssh, "
        "connect with ssh -X); without --dialog the filter runs as it is told";
#endif
    return false;
}

RunOutcome applyFilter(const std::string& pluginPath, const ApplyOptions& options) {
    ProgressBar bar;
    ProgressBar* shownBar = options.quiet ? nullptr : &bar;
    const Reporter report(shownBar);
    std::string error;
    if (options.inputs.empty()) return report.badInput("apply wants a picture");

    std::vector<Job> jobs;
    std::string outputFolder;
    if (!planJobs(options, jobs, outputFolder, error)) return report.badInput(error);

    // Every output is prepared before the work: the record's file too.
    PendingFile record;
    if (!options.recordFile.empty() && !record.open(options.recordFile, error))
        return report.badInput(error);

    // Action files and records need the filter's terminology; the dialog's names do not.
    // A plug-in that cannot be read is the user's to name again (--plugin): bad usage.
    Terminology terminology;
    if (!loadFilterTerminology(pluginPath, terminology, error) &&
        (!options.sources.actionFile.empty() || !options.recordFile.empty()))
        return report.badInput(error);

    // The settings are composed before the filter runs, so that a typo in a setting
    // does not cost a long run.
    RunStart start;
    if (options.sources.any()) {
        start.from = RunStart::From::Settings;
        if (!composeSettings(options.sources, terminology, cachedSettingsPath(), start.settings,
                             error))
            return report.badInput(error);
    } else if (options.sources.last) {
        start.from = RunStart::From::Last;
    }

    // The host we play: ours, or one that leaves parts of the interface out. One
    // without scripting cannot be told the settings: its filter asks in its dialog.
    HostOptions hostProfile;
    hostProfile.offerDescriptors = true;
    if (!options.hostProfile.empty() &&
        !hostkit::applyHostProfile(options.hostProfile, hostProfile, error))
        return report.badInput("--host-profile: " + error);
    if (!options.showDialog && !hostkit::profileOffersScripting(hostProfile))
        return report.badInput("--host-profile " + options.hostProfile +
                               ": a host without scripting cannot tell the filter its settings, "
                               "so the filter asks in its dialog: add --dialog");

    Picture maskPicture;
    if (!options.mask.empty() && !readPicture(options.mask, maskPicture, error))
        return report.badInput(error);
    if (options.showDialog && !dialogCanShow(error)) return report.badInput(error);

    PluginLibrary plugin;
    if (!plugin.open(pluginPath, error)) return report.badInput(error);

    // Without the dialog the filter works in a folder of the command's own; the dialog
    // works in the user's, where it finds the memory dots and, when nothing else is
    // given, the last confirmed settings. Should the folder be impossible to make (a
    // temporary folder out of inodes), the run goes on in the user's folder with the
    // settings as a descriptor.
    RunFolder folder;
    const bool ownFolder = !options.showDialog && folder.create(error);
    std::optional<Descriptor> userFolderKeys;
    if (start.from == RunStart::From::Settings)
        userFolderKeys = changedKeys(start.settings);
    else if (start.from == RunStart::From::Defaults && !options.showDialog)
        userFolderKeys = Descriptor{};  // the filter's defaults, not the last settings
    if (!outputFolder.empty() && !os::makeFolder(outputFolder))
        return report.badInput(outputFolder + ": cannot make the folder: " + std::strerror(errno));

    Command command{.options = options,
                    .hostProfile = hostProfile,
                    .plugin = plugin,
                    .terminology = terminology,
                    .report = report,
                    .bar = shownBar,
                    .folder = ownFolder ? &folder : nullptr,
                    .start = start,
                    .userFolderKeys = userFolderKeys,
                    .mask = options.mask.empty() ? nullptr : &maskPicture,
                    .record = options.recordFile.empty() ? nullptr : &record,
                    .outputFolder = outputFolder,
                    .batch = jobs.size() > 1,
                    .outputs = {}};
    if (shownBar) shownBar->begin(int(jobs.size()));
    RunOutcome outcome = RunOutcome::Done;
    int written = 0;
    std::vector<std::string> failed;
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        const RunOutcome one = runJob(command, jobs[i], int(i));
        outcome = worse(outcome, one);
        if (one == RunOutcome::Done)
            ++written;
        else
            failed.push_back(jobs[i].input);
        if (one == RunOutcome::Cancelled) break;
    }
    if (shownBar) shownBar->end();

    if (written > 0 && command.recordWritten && !record.commit(error)) {
        outcome = worse(outcome, RunOutcome::Failed);
        report.failed(error);
    }
    if (written > 0 && ownFolder && !folder.keepConfirmedSettings(error))
        report.say("warning: " + error, RunOutcome::Done);
    if (jobs.size() > 1 && outcome != RunOutcome::Done && outcome != RunOutcome::Cancelled) {
        std::string names;
        for (const std::string& name : failed) names += (names.empty() ? "" : ", ") + name;
        report.say(std::to_string(failed.size()) + " of " + std::to_string(jobs.size()) +
                       " pictures failed (" + names + "); " + std::to_string(written) +
                       " written to " + outputFolder,
                   outcome);
    }
    return outcome;
}

}  // namespace mirel::host_app
