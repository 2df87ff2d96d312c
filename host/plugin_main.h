// The filter's entry point and lifecycle: what each of the host's selectors
// does, the state kept between calls, and the places where the other parts of
// the filter (settings files, memory dots, scripting, undo, the dialog, the
// render) join a run.
#pragma once

#include <cstdint>

#include "host/run_state.h"
#include "platform/pi/pi.h"
#include "settings/memory_dots.h"
#include "settings/parameter_block.h"
#include "settings/randomiser.h"

namespace mirel {

struct FilterContext;

// The parts of a run that live outside host/. Each is installed by the part
// that provides it; one that is not installed is skipped, except the dialog:
// a run that needs the dialog while none is installed counts as cancelled.
struct LifecycleServices {
    void (*showAboutBox)(FilterContext&) = nullptr;
    // Tile stores, thumbnail and dot-preview image of the run, and their release.
    bool (*setUpRun)(FilterContext&) = nullptr;
    void (*releaseRun)(FilterContext&) = nullptr;
    bool (*scriptingParametersPresent)(FilterContext&) = nullptr;
    void (*readCachedSettings)(FilterContext&) = nullptr;
    void (*writeCachedSettings)(FilterContext&) = nullptr;
    void (*readMemoryDotMap)(FilterContext&) = nullptr;
    void (*writeMemoryDotMap)(FilterContext&) = nullptr;
    // Reads the host's descriptor; may replace the settings and the show-dialog flag.
    void (*readScriptingParameters)(FilterContext&) = nullptr;
    void (*writeScriptingParameters)(FilterContext&) = nullptr;
    void (*takeUndoSnapshot)(FilterContext&) = nullptr;
    // Shows the refusal of a host without advanceState.
    void (*showRefusal)(FilterContext&) = nullptr;
    // Runs the main dialog; returns its end code (kDialogConfirmed is OK).
    int (*runMainDialog)(FilterContext&) = nullptr;
    // Renders the whole picture into the host's output; returns a result code.
    std::int16_t (*applyToHost)(FilterContext&) = nullptr;
};

constexpr int kDialogConfirmed = 3;  // the OK button's id ends the dialog

// Positive results tell the host that the filter has dealt with the problem
// itself (shown a message, or declined quietly), so the host shows none.
constexpr std::int16_t kResultDeclined = 1;         // no advanceState, or a multichannel picture
constexpr std::int16_t kResultNoWorkingMemory = 3;  // Start could not set up its memory or images
constexpr std::int16_t kResultSourceImageFailed = 999;  // the picture cannot be held in memory

// Module-wide state of the one filter run the library supports.
struct FilterContext {
    // The pointers of the current call, replaced at every call.
    pi::FilterRecord* record = nullptr;
    std::intptr_t* data = nullptr;
    std::int16_t* result = nullptr;
    const void* moduleHandle = nullptr;

    // The host blocks while they are locked within a selector; null otherwise.
    ParameterBlock* params = nullptr;
    RunState* run = nullptr;
    // The run's images and render buffers, in the filter's own memory.
    RunSession session;

    // The memory dots: kept flags from Start to the end of the run, states while
    // the dialog is open.
    MemoryDots memoryDots;
    // Dice and Ecce draw from it; seeded once per run at Prepare.
    RandomGenerator random;

    bool aboutBoxOpen = false;
    // The small windows around the main dialog while they are open (as the
    // window layer names them), and the flag that keeps a second file dialog
    // from opening while one shows.
    void* aboutBoxWindow = nullptr;
    void* infoBoxWindow = nullptr;
    bool fileDialogOpen = false;
    // The main dialog's window and flag globals, reset around every dialog.
    void* dialogWindow = nullptr;
    std::int32_t dialogFlags = 0;

    LifecycleServices services;

    std::int16_t resultCode() const { return result ? *result : std::int16_t(0); }
    void setResult(std::int16_t code) {
        if (result) *result = code;
    }
};

FilterContext& filterContext();

// The work behind the exported PluginMain. Never throws: an unexpected failure
// becomes a result code.
void pluginMain(std::int16_t selector, void* record, std::intptr_t* data,
                std::int16_t* result) noexcept;

// The scratch row buffer of a filter rectangle of w x h pixels, in bytes.
std::int64_t rowBufferBytesFor(std::int32_t width, std::int32_t height);

// The host memory cap for a filter rectangle, as Prepare applies it.
std::int64_t maxSpaceCapFor(std::int32_t width, std::int32_t height, std::int32_t planes,
                            bool hasMask);

}  // namespace mirel
