// The 69 output modes: how the rendered effect and the untouched picture combine,
// per channel in 16-bit fixed point (32768 is 1.0), and the modes' names and codes.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "image/tiled_image.h"
#include "render/color_models.h"

namespace mirel::render {

constexpr std::int32_t kOutputModeCount = 69;
constexpr std::int32_t kOutputModeNormal = 1;
constexpr std::int32_t kTerminologyModeCount = 61;

struct OutputModeInfo {
    std::int32_t number = 0;           // 1..69, the position in the popup menu
    std::string_view name;             // as the popup menu shows it
    std::uint32_t scriptingId = 0;     // 'GL' and the two-digit number
    std::string_view terminologyName;  // the scripting terminology's name; empty when
                                       // the terminology does not list the mode
};

// All modes in menu order: entry n - 1 is mode n.
std::span<const OutputModeInfo, kOutputModeCount> outputModes();

// The mode's entry, or nullptr for a number outside 1..69.
const OutputModeInfo* findOutputMode(std::int32_t mode);

// The popup menu's name of a mode; empty outside 1..69.
std::string_view outputModeName(std::int32_t mode);

// 'GLnn' for modes 1..69, 0 for any other number.
std::uint32_t outputModeScriptingId(std::int32_t mode);

// The mode of a scripting value 'GL01'..'GL69'; 0 for any other value.
std::int32_t outputModeFromScriptingId(std::uint32_t id);

// The modes the scripting terminology lists, in its order (1 to 59, 62, 63).
std::span<const std::int32_t, kTerminologyModeCount> terminologyOutputModes();

// A channel value in 0..1 as fixed point: trunc(v * 32768), saturating to
// 0..kFixedMax (NaN gives 0).
std::int32_t toFixed(float v);

// The modes that work channel by channel (every mode but 1, 15, 16, 22, 23,
// 28, 29, 46 to 51, 53 to 57, 59 to 61 and 63 to 67): effect and source are
// fixed-point values 0..kFixedMax; the result is 0..kFixedMax. Other mode
// numbers give the effect.
std::int32_t blendChannel(std::int32_t effect, std::int32_t source, std::int32_t mode);

// Combines one pixel of the effect with the source under `mode`. The result's
// alpha is the effect's (mode 63 makes its own). Mode 1 and any number outside
// 2..69 return the effect unchanged. Safe to call from any number of threads.
image::Rgba blendOutputMode(const image::Rgba& effect, const image::Rgba& source,
                            std::int32_t mode);

}  // namespace mirel::render
