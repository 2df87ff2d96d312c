// Shared pieces of the host exchange tests: pictures made in memory, the test
// filter loaded by the real host code, and runs of the real host program.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "apps/host/filter_host.h"
#include "apps/mirel/image_file.h"
#include "tests/support/host_program.h"

namespace mirel::testing {

// A picture whose every sample differs from its neighbours, in the stored
// scale of its depth; float pictures also hold values outside 0..1.
host_app::Picture patternPicture(std::int32_t width, std::int32_t height, int channels, int bits);

// The identity test filter, opened once for the whole binary.
const hostkit::PluginLibrary& identityFilter();
std::string identityFilterPath();

}  // namespace mirel::testing
