// Tests of the host-kept parameter block: fitting the host's block, zero-filled memory,
// and the resets the lifecycle applies.
#include "settings/parameter_block.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace mirel {
namespace {

// Host memory as the host hands it over: the requested size, suitably aligned.
struct HostMemory {
    alignas(16) unsigned char bytes[kParameterBlockSize];
};

TEST(ParameterBlock, FitsTheHostBlockOnlyWhenLargeAndAligned) {
    HostMemory memory{};
    EXPECT_EQ(asParameterBlock(memory.bytes, sizeof(memory.bytes)),
              reinterpret_cast<ParameterBlock*>(memory.bytes));
    EXPECT_EQ(asParameterBlock(memory.bytes, sizeof(ParameterBlock) - 1), nullptr);
    EXPECT_EQ(asParameterBlock(memory.bytes + 1, sizeof(memory.bytes) - 1), nullptr);
    EXPECT_EQ(asParameterBlock(nullptr, kParameterBlockSize), nullptr);
}

TEST(ParameterBlock, ZeroFilledMemoryIsSafeToRead) {
    HostMemory memory{};
    const ParameterBlock* block = asParameterBlock(memory.bytes, sizeof(memory.bytes));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(zoomLevelOf(*block), 1);
    EXPECT_TRUE(folderView(block->settingsFolder).empty());
    EXPECT_TRUE(settingsNameView(block->settings).empty());
    // Upgrading a record that was never read changes nothing.
    SettingsRecord copy = block->settings;
    upgradeAfterReading(copy);
    EXPECT_EQ(0, std::memcmp(&copy, &block->settings, sizeof(SettingsRecord)));
}

TEST(ParameterBlock, InitStartsFromZerosDefaultsAndResets) {
    HostMemory memory;
    std::memset(memory.bytes, 0xA5, sizeof(memory.bytes));
    ParameterBlock& block = *asParameterBlock(memory.bytes, sizeof(memory.bytes));
    initParameterBlock(block);
    EXPECT_EQ(block.settings.version, kVersionNothingRead);
    EXPECT_EQ(settingsNameView(block.settings), "Mirel settings");
    EXPECT_EQ(block.settings.waviness, 65.0f);
    // Fields no default covers start at zero, not at the host's leftover bytes.
    EXPECT_EQ(block.settings.horizonInt, 0);
    EXPECT_EQ(block.settings.offsetInt, 0);
    EXPECT_EQ(block.settings.extraInt1, 0);
    EXPECT_EQ(block.settings.extraColor5.green, 0);
    EXPECT_EQ(block.dialogFlags[kDialogFlagCount - 1], 0);
    EXPECT_EQ(block.hostCanPreview, 0);
    EXPECT_TRUE(folderView(block.exportFolder).empty());
    EXPECT_EQ(block.zoomLevel, 1);
    EXPECT_EQ(block.currentPass, kNoPassRunning);
    EXPECT_EQ(block.exportSizeChoice, kExportSameSize);
}

TEST(ParameterBlock, RunTimeResetCentresThePickedPoint) {
    ParameterBlock block{};
    block.zoomLevel = 7;
    block.panX = 300;
    block.panY = 200;
    block.renderDestination = kDestinationExport;
    block.currentPass = 3;
    block.dialogFlags[2] = 1;
    resetRunTimeFields(block, 301, 7);
    EXPECT_EQ(block.zoomLevel, 1);
    EXPECT_EQ(block.panX, 0);
    EXPECT_EQ(block.panY, 0);
    EXPECT_EQ(block.renderDestination, kDestinationHostOutput);
    EXPECT_EQ(block.currentPass, -1);
    EXPECT_EQ(block.pickedCenterX, 150);
    EXPECT_EQ(block.pickedCenterY, 3);
    EXPECT_EQ(block.dialogFlags[2], 1);  // the dialog flags have their own reset

    resetRunTimeFields(block, -40, 0);
    EXPECT_EQ(block.pickedCenterX, 0);
    EXPECT_EQ(block.pickedCenterY, 0);

    clearDialogFlags(block);
    for (int32_t flag : block.dialogFlags) EXPECT_EQ(flag, 0);
}

TEST(ParameterBlock, ExportOptionsResetToSameSizeAnd100) {
    ParameterBlock block{};
    block.exportReserved = 9;
    block.exportSizeChoice = kExportCustomSize;
    block.exportWidth = 4000;
    block.exportHeight = 3000;
    resetExportOptions(block);
    EXPECT_EQ(block.exportReserved, 0);
    EXPECT_EQ(block.exportSizeChoice, 1);
    EXPECT_EQ(block.exportWidth, 100);
    EXPECT_EQ(block.exportHeight, 100);

    EXPECT_EQ(clampExportSide(1), 2);
    EXPECT_EQ(clampExportSide(-5), 2);
    EXPECT_EQ(clampExportSide(30000), 30000);
    EXPECT_EQ(clampExportSide(30001), 30000);
}

TEST(ParameterBlock, RememberedFoldersAreBoundedAndCleared) {
    ParameterBlock block{};
    setFolder(block.settingsFolder, "/home/ana/looks/");
    setFolder(block.exportFolder, std::string(kFolderPathSize + 20, 'p'));
    setFolder(block.sourceFolder, "/srv/pictures/");
    EXPECT_EQ(folderView(block.settingsFolder), "/home/ana/looks/");
    EXPECT_EQ(folderView(block.exportFolder).size(), kFolderPathSize - 1);
    // The neighbouring folder was not overwritten by the long path.
    EXPECT_EQ(folderView(block.sourceFolder), "/srv/pictures/");

    clearRememberedFolders(block);
    EXPECT_TRUE(folderView(block.settingsFolder).empty());
    EXPECT_TRUE(folderView(block.exportFolder).empty());
    EXPECT_TRUE(folderView(block.sourceFolder).empty());
}

}  // namespace
}  // namespace mirel
