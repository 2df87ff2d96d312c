// gimp-mirel: a GIMP 2.10 plug-in program that hosts the Mirel filter on GIMP's
// layers. It registers plug-in-mirel under Filters > Light and Shadow and runs the
// filter with the host program's own host code and settings.
#include <libgimp/gimp.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

#include "apps/gimp-mirel/drawable_run.h"
#include "apps/gimp-mirel/procedure_parameters.h"
#include "apps/host/plugin_library.h"
#include "apps/mirel/run_folder.h"
#include "apps/mirel/run_settings.h"
#include "platform/gui/display.h"
#include "settings/temp_files.h"

namespace {

using namespace mirel;
using gimp_app::DrawableOutcome;
using host_app::RunStart;

constexpr const char* kProcedure = "plug-in-mirel";

// The settings GIMP keeps as the procedure's last values.
std::optional<SettingsRecord> lastValues() {
    if (gimp_get_data_size(kProcedure) != sizeof(SettingsRecord)) return std::nullopt;
    SettingsRecord record;
    gimp_get_data(kProcedure, &record);
    return record;
}

void keepLastValues(const SettingsRecord& record) {
    gimp_set_data(kProcedure, &record, sizeof record);
}

void query() {
    hostkit::Terminology terminology;
    std::string error;
    // Without the filter's terminology the procedure still takes a settings file.
    if (!hostkit::loadFilterTerminology(hostkit::defaultPluginPath(), terminology, error))
        g_message("Mirel: %s", error.c_str());
    gimp_app::ProcedureParameters parameters(terminology);
    gimp_install_procedure(
        kProcedure, "Fills the lower part of the layer with water reflecting the upper part",
        "Mirel mirrors the picture above a horizon in rippled water, within the selection's "
        "bounds. Interactively it opens its dialog with the last values; a script gives a "
        "settings file (.q8r) or the scripting parameters, whose names and ranges are those of "
        "`mirel params` (where a slider has a whole-number parameter and a float one, the float "
        "decides).",
        "Mirel developers", "Mirel developers", "2026", "Mirel...", "RGB*, GRAY*", GIMP_PLUGIN,
        parameters.count(), 0, parameters.definitions(), nullptr);
    gimp_plugin_menu_register(kProcedure, "<Image>/Filters/Light and Shadow");
}

GimpParam gReturn[2];

void answer(gint* count, GimpParam** values, GimpPDBStatusType status,
            const std::string& message = {}) {
    gReturn[0].type = GIMP_PDB_STATUS;
    gReturn[0].data.d_status = status;
    *count = 1;
    if (!message.empty()) {
        gReturn[1].type = GIMP_PDB_STRING;
        gReturn[1].data.d_string = g_strdup(("Mirel: " + message).c_str());
        *count = 2;
    }
    *values = gReturn;
}

void run(const gchar*, gint count, const GimpParam* params, gint* returnCount,
         GimpParam** returnValues) {
    if (count < 3) return answer(returnCount, returnValues, GIMP_PDB_CALLING_ERROR);
    const auto mode = GimpRunMode(params[0].data.d_int32);
    gegl_init(nullptr, nullptr);
    std::string error;
    auto fail = [&](GimpPDBStatusType status, const std::string& message) {
        answer(returnCount, returnValues, status, message);
    };

    const std::string path = hostkit::defaultPluginPath();
    hostkit::Terminology terminology;
    if (!hostkit::loadFilterTerminology(path, terminology, error))
        return fail(GIMP_PDB_EXECUTION_ERROR, error);
    hostkit::PluginLibrary plugin;
    if (!plugin.open(path, error)) return fail(GIMP_PDB_EXECUTION_ERROR, error);

    // Where the run starts: the call's settings, GIMP's last values, or the defaults.
    RunStart start;
    const bool showDialog = mode == GIMP_RUN_INTERACTIVE;
    if (mode == GIMP_RUN_NONINTERACTIVE) {
        const gimp_app::ProcedureParameters parameters(terminology);
        host_app::ScriptingSources sources;
        if (!parameters.sourcesOfCall(params, count, sources, error))
            return fail(GIMP_PDB_CALLING_ERROR, error);
        start.from = RunStart::From::Settings;
        if (!host_app::composeSettings(sources, terminology, cachedSettingsPath(), start.settings,
                                       error))
            return fail(GIMP_PDB_CALLING_ERROR, parameters.callerError(error));
    } else if (const std::optional<SettingsRecord> last = lastValues()) {
        start.from = RunStart::From::Settings;
        start.settings = *last;
    }
    if (showDialog && !gui::displayConfigured())
        return fail(GIMP_PDB_EXECUTION_ERROR,
                    "the dialog needs a display (DISPLAY or WAYLAND_DISPLAY); without one, call "
                    "plug-in-mirel non-interactively");

    // As in the host program: without the dialog the filter works in a folder of the
    // run's own and starts from exactly the settings given; the dialog works in the
    // user's folder with its memory dots.
    host_app::RunFolder folder;
    const bool ownFolder = !showDialog && folder.create(error);
    gimp_app::DrawableRun drawableRun{params[1].data.d_image, params[2].data.d_drawable, showDialog,
                                      std::nullopt};
    if (ownFolder) {
        if (!folder.prepare(start, drawableRun.offer, error))
            return fail(GIMP_PDB_EXECUTION_ERROR, error);
    } else if (start.from == RunStart::From::Settings) {
        drawableRun.offer = host_app::changedKeys(start.settings);
    } else if (!showDialog) {
        drawableRun.offer = hostkit::Descriptor{};  // the defaults, not the last settings
    }

    const DrawableOutcome outcome = gimp_app::runOnDrawable(plugin, drawableRun, error);
    switch (outcome) {
        case DrawableOutcome::Failed:
            return fail(GIMP_PDB_EXECUTION_ERROR, error);
        case DrawableOutcome::Cancelled:
            return answer(returnCount, returnValues, GIMP_PDB_CANCEL);
        case DrawableOutcome::Untouched:
            return answer(returnCount, returnValues, GIMP_PDB_SUCCESS);
        case DrawableOutcome::Done:
            break;
    }
    // The confirmed settings become the last values, GIMP's and the filter's own.
    SettingsRecord confirmed = start.settings;
    if (ownFolder) {
        if (!folder.keepConfirmedSettings(error)) g_message("Mirel: %s", error.c_str());
    } else if (showDialog) {
        host_app::readLastSettings(cachedSettingsPath(), confirmed);
    }
    keepLastValues(confirmed);
    if (mode != GIMP_RUN_NONINTERACTIVE) gimp_displays_flush();
    answer(returnCount, returnValues, GIMP_PDB_SUCCESS);
}

}  // namespace

const GimpPlugInInfo PLUG_IN_INFO = {nullptr, nullptr, query, run};

MAIN()
