// ParameterBlock: the contents of the 2816-byte block the host keeps for the filter
// between calls: the SettingsRecord plus the run-time fields of dialog, preview and export.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <type_traits>

#include "settings/settings_record.h"

namespace mirel {

// The size requested from the host. The record below must fit; the rest stays unused.
constexpr std::size_t kParameterBlockSize = 2816;

constexpr std::size_t kFolderPathSize = 260;
constexpr std::size_t kDialogFlagCount = 8;

// Where a render's pixels go.
constexpr int32_t kDestinationHostOutput = 0;
constexpr int32_t kDestinationPreview = 1;
constexpr int32_t kDestinationExport = 2;

// currentPass while no render runs.
constexpr int32_t kNoPassRunning = -1;

// Size choices of the PSD export and the limits of its custom size, in pixels.
constexpr int32_t kExportSameSize = 1;
constexpr int32_t kExportSameProportions = 2;
constexpr int32_t kExportCustomSize = 3;
constexpr int32_t kExportMinSide = 2;
constexpr int32_t kExportMaxSide = 30000;
constexpr int32_t kDefaultExportSide = 100;

// Lives in host memory that the host may hand over uninitialised or zero-filled and
// moves between calls, so it is a plain record: every field is meaningful as raw bytes,
// nothing holds a pointer, and nothing here is stored in settings files.
struct ParameterBlock {
    SettingsRecord settings;

    // Folders the file dialogs start in; emptied at every start of the filter, so the
    // first dialog of a run opens wherever the system chooses.
    char settingsFolder[kFolderPathSize];  // settings files
    char exportFolder[kFolderPathSize];    // PSD files and HTML pages share one
    char sourceFolder[kFolderPathSize];    // source folder of the presets page and rebuild

    // Preview and render state.
    int32_t zoomLevel;  // L >= 1: one preview pixel per L x L image pixels
    int32_t panX;       // full-size image pixels of the pane's top-left corner
    int32_t panY;
    int32_t renderDestination;  // kDestinationHostOutput, kDestinationPreview or kDestinationExport
    int32_t passCount;
    int32_t currentPass;  // kNoPassRunning outside a render

    // The centre point in image pixels, kept beside the fractional `center` of the record.
    int32_t pickedCenterX;
    int32_t pickedCenterY;

    // The main dialog's own flags; cleared whenever the filter is prepared.
    int32_t dialogFlags[kDialogFlagCount];

    // PSD export options. exportReserved is the first of the four options the start of a
    // run resets; nothing reads it, it is kept at 0.
    int32_t exportReserved;
    int32_t exportSizeChoice;  // kExportSameSize, kExportSameProportions or kExportCustomSize
    int32_t exportWidth;       // custom size, kExportMinSide..kExportMaxSide
    int32_t exportHeight;

    // Non-zero when the host offers both advanceState and displayPixels, i.e. when the
    // dialog can show a preview at all. Recorded at every start.
    int32_t hostCanPreview;
};

static_assert(std::is_standard_layout_v<ParameterBlock>);
static_assert(std::is_trivially_copyable_v<ParameterBlock>);
static_assert(std::is_trivially_default_constructible_v<ParameterBlock>);
static_assert(offsetof(ParameterBlock, settings) == 0);
static_assert(sizeof(ParameterBlock) <= kParameterBlockSize);

// The block inside host memory of `size` bytes, or nullptr when the memory is missing,
// too small or not aligned for it. The host's memory is the block's storage; nothing is
// constructed or changed.
ParameterBlock* asParameterBlock(void* memory, std::size_t size);

// Brings a newly allocated block to a known state: zero everywhere, then the settings'
// full reset, the run-time reset and the export options' reset.
void initParameterBlock(ParameterBlock& block);

// The preview and render fields as a prepared filter starts with them: zoom 1, no pan,
// destination host output, no pass running; the picked centre in the middle of an image
// of the given size in pixels.
void resetRunTimeFields(ParameterBlock& block, int32_t imageWidth, int32_t imageHeight);

// The export options after the parameters step: 0, same size, 100 x 100.
void resetExportOptions(ParameterBlock& block);

void clearDialogFlags(ParameterBlock& block);
void clearRememberedFolders(ParameterBlock& block);

// The zoom level to compute with: never below 1, even in a block that was never reset.
int32_t zoomLevelOf(const ParameterBlock& block);

// A custom export side limited to kExportMinSide..kExportMaxSide.
int32_t clampExportSide(int32_t side);

std::string_view folderView(const char (&folder)[kFolderPathSize]);
void setFolder(char (&folder)[kFolderPathSize], std::string_view path);

}  // namespace mirel
