// Resets of the run-time fields of the host-kept parameter block.
#include "settings/parameter_block.h"

#include <cstring>

namespace mirel {

ParameterBlock* asParameterBlock(void* memory, std::size_t size) {
    if (memory == nullptr || size < sizeof(ParameterBlock)) return nullptr;
    if (reinterpret_cast<std::uintptr_t>(memory) % alignof(ParameterBlock) != 0) return nullptr;
    // The record is an implicit-lifetime type, so host memory holding its bytes is one.
    return static_cast<ParameterBlock*>(memory);
}

void initParameterBlock(ParameterBlock& block) {
    // Zero first: the fields the resets leave alone (the integer mirrors, the older
    // fields, the folders) start as zeros and empty texts, never as leftover bytes.
    std::memset(&block, 0, sizeof(ParameterBlock));
    fullReset(block.settings);
    resetRunTimeFields(block, 0, 0);
    resetExportOptions(block);
}

void resetRunTimeFields(ParameterBlock& block, int32_t imageWidth, int32_t imageHeight) {
    block.zoomLevel = 1;
    block.panX = 0;
    block.panY = 0;
    block.renderDestination = kDestinationHostOutput;
    block.passCount = 0;
    block.currentPass = kNoPassRunning;
    // Halving cannot overflow; a negative size from a broken rectangle gives the corner.
    block.pickedCenterX = imageWidth > 0 ? imageWidth / 2 : 0;
    block.pickedCenterY = imageHeight > 0 ? imageHeight / 2 : 0;
}

void resetExportOptions(ParameterBlock& block) {
    block.exportReserved = 0;
    block.exportSizeChoice = kExportSameSize;
    block.exportWidth = kDefaultExportSide;
    block.exportHeight = kDefaultExportSide;
}

void clearDialogFlags(ParameterBlock& block) {
    std::memset(block.dialogFlags, 0, sizeof(block.dialogFlags));
}

void clearRememberedFolders(ParameterBlock& block) {
    setFolder(block.settingsFolder, {});
    setFolder(block.exportFolder, {});
    setFolder(block.sourceFolder, {});
}

int32_t zoomLevelOf(const ParameterBlock& block) {
    return block.zoomLevel >= 1 ? block.zoomLevel : 1;
}

int32_t clampExportSide(int32_t side) {
    if (side < kExportMinSide) return kExportMinSide;
    if (side > kExportMaxSide) return kExportMaxSide;
    return side;
}

std::string_view folderView(const char (&folder)[kFolderPathSize]) {
    return fixedTextView(folder, kFolderPathSize);
}

void setFolder(char (&folder)[kFolderPathSize], std::string_view path) {
    setFixedText(folder, kFolderPathSize, path);
}

}  // namespace mirel
