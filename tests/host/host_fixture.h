// The real host code loading the real plug-in library, for the lifecycle tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "apps/mirel/filter_host.h"
#include "host/run_state.h"
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
inline const host_app::PluginLibrary& plugin() {
    static host_app::PluginLibrary* library = [] {
        auto* opened = new host_app::PluginLibrary;
        std::string error;
        EXPECT_TRUE(opened->open(pluginPath(), error)) << error;
        return opened;
    }();
    return *library;
}

inline const ParameterBlock& parametersOf(const host_app::FilterHost& host) {
    return *reinterpret_cast<const ParameterBlock*>(host.parametersBlock()->memory);
}

inline const RunState& runStateOf(const host_app::FilterHost& host) {
    return *reinterpret_cast<const RunState*>(host.runStateBlock()->memory);
}

inline bool blocksUnlocked(const host_app::FilterHost& host) {
    const host_app::HostBlock* params = host.parametersBlock();
    const host_app::HostBlock* run = host.runStateBlock();
    return (!params || params->lockCount == 0) && (!run || run->lockCount == 0);
}

// No display for the rest of the process: the plug-in's dialog cannot open,
// and a run that asks for it ends cancelled. Only for test binaries that never
// make a QApplication themselves, so the plug-in decides from the environment.
inline void withoutDisplay() {
    ::setenv("QT_QPA_PLATFORM", "", 1);
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
}

inline bool workingMemoryFreed(const RunState& run) {
    const WorkingMemory& memory = run.memory;
    return !memory.rowBuffer && !memory.workingBlock && !memory.smallBuffers[0];
}

}  // namespace mirel::testing
