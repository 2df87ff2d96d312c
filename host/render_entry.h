// The render entry of the host output and the preview: loads the source once
// per run, saves and restores the run-time state around a render, runs the
// render jobs and composes every finished tile into the host's output or the
// preview buffer. Also the images a run keeps (source, thumbnail, dot preview).
#pragma once

#include <cstdint>

namespace mirel {

struct FilterContext;

constexpr std::int32_t kDotPreviewSide = 100;
// Bytes per row of the render's scratch buffer.
constexpr std::int64_t kScratchRowBytes = 256;

// The images of a run: thumbnail and dot-preview image are made here; the
// source picture is made by the first render. False when memory runs out.
bool setUpRun(FilterContext& ctx);
// Frees the run's images, the preview buffer and the scratch buffer.
void releaseRun(FilterContext& ctx);

// The render entry: destination 0 renders the whole filter rectangle into the
// host's output (the final apply), destination 1 the preview rectangle at the
// current zoom and pan into the preview buffer. Every run-time field is put
// back afterwards except the current pass, which is then -1. Returns the
// result code (0, -128 on cancel, a host error, 999 when the source cannot be held).
std::int16_t renderForDestination(FilterContext& ctx, std::int32_t destination);

// Start's final apply: the whole picture into the host's output.
std::int16_t applyToHost(FilterContext& ctx);

}  // namespace mirel
