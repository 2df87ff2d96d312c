// The real host code loading the real plug-in library, for the lifecycle tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "apps/host/filter_host.h"
#include "apps/mirel/image_file.h"
#include "host/run_state.h"
#include "platform/os/os.h"
#include "settings/parameter_block.h"
#include "tests/support/scratch.h"

namespace mirel::testing {

inline host_app::Picture gradientPicture(std::int32_t width, std::int32_t height, int channels) {
    host_app::Picture picture;
    std::string error;
    EXPECT_TRUE(host_app::allocatePicture(picture, width, height, channels, 8, error)) << error;
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c)
                host_app::setSampleValue(picture, x, y, c, float((x + 3 * y + 50 * c) % 256));
    return picture;
}

// One plug-in library for the whole test binary: a host loads it once and
// keeps it, as a paint program does.
inline const hostkit::PluginLibrary& plugin() {
    static hostkit::PluginLibrary* library = [] {
        auto* opened = new hostkit::PluginLibrary;
        std::string error;
        EXPECT_TRUE(opened->open(pluginPath(), error)) << error;
        return opened;
    }();
    return *library;
}

inline const ParameterBlock& parametersOf(const hostkit::FilterHost& host) {
    return *reinterpret_cast<const ParameterBlock*>(host.parametersBlock()->memory);
}

inline const RunState& runStateOf(const hostkit::FilterHost& host) {
    return *reinterpret_cast<const RunState*>(host.runStateBlock()->memory);
}

inline bool blocksUnlocked(const hostkit::FilterHost& host) {
    const hostkit::HostBlock* params = host.parametersBlock();
    const hostkit::HostBlock* run = host.runStateBlock();
    return (!params || params->lockCount == 0) && (!run || run->lockCount == 0);
}

// No display for the rest of the process: the plug-in's dialog cannot open,
// and a run that asks for it ends cancelled. Only for test binaries that never
// make a QApplication themselves, so the plug-in decides from the environment.
inline void withoutDisplay() {
    mirel::os::setEnvironmentVariable("QT_QPA_PLATFORM", "");
    mirel::os::unsetEnvironmentVariable("DISPLAY");
    mirel::os::unsetEnvironmentVariable("WAYLAND_DISPLAY");
}

inline bool workingMemoryFreed(const RunState& run) {
    const WorkingMemory& memory = run.memory;
    return !memory.rowBuffer && !memory.workingBlock && !memory.smallBuffers[0];
}

}  // namespace mirel::testing
