// The render entry of the host output and the preview: loads the source once
// per run, saves and restores the run-time state around a render, runs the
// render jobs and composes every finished tile into the host's output or the
// preview buffer. Also the images a run keeps (source, thumbnail, dot preview).
#pragma once

#include <cstdint>
#include <memory>

#include "image/noise.h"
#include "image/preview.h"
#include "image/tiled_image.h"
#include "platform/pi/pi.h"

namespace mirel {

struct FilterContext;

// The filter's own result when the source picture cannot be held in memory.
constexpr std::int16_t kSourceImageFailed = 999;
constexpr std::int32_t kDotPreviewSide = 100;
// Bytes per row of the render's scratch buffer.
constexpr std::int64_t kScratchRowBytes = 256;

// What the render entry keeps between the renders of one run.
struct RenderSession {
    image::PreviewBuffer preview;
    image::PreviewRect previewRect;
    std::int32_t paneWidth = image::kPreviewPaneWidth;
    std::int32_t paneHeight = image::kPreviewPaneHeight;
    std::unique_ptr<std::uint8_t[]> scratch;
    std::int64_t scratchBytes = 0;
    // Rebuilt from the seed before every render; workers only read them.
    std::unique_ptr<image::NoiseTables> noise;
    // Worker threads of a render; 0: one per processor (MIREL_THREADS overrides).
    int threadLimit = 0;
    // Finished jobs of the last render and whether it composed them all.
    std::int32_t lastJobCount = 0;
    std::int32_t lastCollected = 0;
};

RenderSession& renderSession();

// The source picture of the run, once a render has loaded it (else null).
image::TiledImage* sourceImageOf(const FilterContext& ctx);

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

// True when the host can deliver its picture at other scales, so that the
// preview may zoom out.
bool hostCanScale(const pi::FilterRecord& record);

// The preview rectangle and buffer size for zoom L (1 when the host cannot
// scale, which is then stored as the zoom level too), and the current region.
void setPreviewSize(FilterContext& ctx, std::int32_t zoom);

// Sizes and allocates the preview buffer for the current zoom and renders
// the preview into it. Returns the render's result.
std::int16_t renderPreview(FilterContext& ctx);

// The pane's redraw while the user drags: sizes and allocates the buffer for
// the current zoom and fills it with the host's reduced picture at the pan,
// unrendered. Returns the host's first error.
std::int16_t readPreviewBackground(FilterContext& ctx);

// Start's final apply: the whole picture into the host's output.
std::int16_t applyToHost(FilterContext& ctx);

}  // namespace mirel
