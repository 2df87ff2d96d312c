// RunState: the working state of one filter run, kept in the 31944-byte block
// whose handle the host stores in PluginMain's data slot.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>

#include "image/noise.h"
#include "image/preview.h"
#include "image/tiled_image.h"
#include "settings/settings_record.h"
#include "settings/undo_history.h"

namespace mirel {

constexpr std::size_t kRunStateSize = 31944;
constexpr std::size_t kSmallBufferCount = 4;
constexpr std::size_t kSmallBufferBytes = 16;
constexpr std::size_t kWorkingBlockBytes = 65032;

// Pointers to the memory a run allocates in Start and frees at its end.
// Null means "not allocated"; freeing is idempotent.
struct WorkingMemory {
    std::uint8_t* rowBuffer;  // scratch rows of the tile store
    std::uint8_t* smallBuffers[kSmallBufferCount];
    std::uint8_t* workingBlock;  // render and preview working block
};

// Lives in host memory that may arrive zero-filled; a plain record.
struct RunState {
    // Header, initialised when the block is first created.
    std::int32_t showDialog;          // set by Parameters; cleared at the end of Start
    std::int32_t resetExportOptions;  // set by Parameters; consumed at the next Start
    std::int32_t filterTop, filterLeft, filterBottom, filterRight;
    std::int32_t filterWidth, filterHeight;
    float scale;  // 1.0 until a render sets it

    // Working sizes derived from the filter rectangle in Prepare.
    std::int64_t rowBufferBytes;

    // The current region requested from the host (top, left, bottom, right).
    std::int32_t regionTop, regionLeft, regionBottom, regionRight;
    std::int32_t regionWidth, regionHeight;

    WorkingMemory memory;

    // Two undo slots and the toggle naming the one that holds the newest state.
    UndoHistory undo;
};

static_assert(std::is_standard_layout_v<RunState>);
static_assert(std::is_trivially_copyable_v<RunState>);
static_assert(sizeof(RunState) <= kRunStateSize, "RunState must fit the host block");

// What a run keeps in the filter's own memory beside the host's block: its
// images and what its renders reuse. The filter context owns the one session.
struct RunSession {
    // The picture's tile store with its pyramid, loaded by the first render of a run.
    std::unique_ptr<image::TiledImage> sourceImage;
    std::unique_ptr<image::TiledImage> thumbnailImage;   // 128 x 128
    std::unique_ptr<image::TiledImage> dotPreviewImage;  // the memory-dot preview, 100 x 100

    image::PreviewBuffer preview;
    // Preview renders draw the guide lines and the centre cross, but for a thumbnail.
    bool previewOverlays = true;
    image::PreviewRect previewRect;
    std::int32_t paneWidth = image::kPreviewPaneWidth;
    std::int32_t paneHeight = image::kPreviewPaneHeight;
    // The render's scratch rows.
    std::unique_ptr<std::uint8_t[]> scratch;
    std::int64_t scratchBytes = 0;
    // Rebuilt from the seed before every render; workers only read them.
    std::unique_ptr<image::NoiseTables> noise;
    // Worker threads of a render; 0: one per processor (MIREL_THREADS overrides).
    int threadLimit = 0;
    // Finished jobs of the last render and how many of them it composed.
    std::int32_t lastJobCount = 0;
    std::int32_t lastCollected = 0;
};

// Brings a newly created block's header to its first state: geometry zero,
// scale 1.0, no working memory, the show-dialog flag set.
void initRunStateHeader(RunState& state);

}  // namespace mirel
