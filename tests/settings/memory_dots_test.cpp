// The memory dots store on disk: the map file, slot files with thumbnails,
// states and kept flags across runs.
#include "settings/memory_dots.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "image/thumbnails.h"
#include "platform/os/os.h"
#include "settings/temp_files.h"
#include "tests/support/scratch.h"

namespace mirel {
namespace {

// A store as a run has it: the thumbnail and the dot preview image of the run.
struct DotRun {
    std::unique_ptr<image::TiledImage> thumbnail = image::createThumbnailImage();
    std::unique_ptr<image::TiledImage> dotPreview;
    MemoryDots dots;
    SettingsRecord record{};

    DotRun() {
        dots.thumbnail = thumbnail.get();
        dots.dotPreview = &dotPreview;
        fullReset(record);
        readDotMap(dots);
        clearDotStates(dots);
        restoreKeptDots(dots);
    }
};

TEST(MemoryDots, TheMapHoldsTheVersionAndOneBigEndianFlagPerDot) {
    testing::useOwnTemporaryFolder();
    {
        DotRun first;
        for (int i = 0; i < kMemoryDotCount; ++i)
            EXPECT_FALSE(isFilled(first.dots, i)) << "no map file: every dot starts empty";
        first.dots.kept[0] = 1;
        first.dots.kept[24] = 7;  // any set flag is written as 1
        ASSERT_TRUE(writeDotMap(first.dots));
    }
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(os::readFile(memoryDotMapPath(), bytes));
    std::vector<std::uint8_t> expected(kDotMapBytes, 0);
    expected[3] = 0x2D;
    expected[7] = 1;
    expected[103] = 1;
    EXPECT_EQ(bytes, expected);

    DotRun second;
    EXPECT_TRUE(isFilled(second.dots, 0));
    EXPECT_TRUE(isFilled(second.dots, 24));
    EXPECT_FALSE(isFilled(second.dots, 1));
    EXPECT_EQ(firstUnkeptDot(second.dots), 1);
}

TEST(MemoryDots, AKeptDotSurvivesToTheNextRunWithItsThumbnail) {
    testing::useOwnTemporaryFolder();
    {
        DotRun first;
        first.dots.kept[3] = 1;
        first.record.waviness = 12.5f;
        EXPECT_TRUE(storeDot(first.dots, 3, first.record));
        EXPECT_EQ(first.dots.state[3], DotState::Current);
        EXPECT_EQ(first.dots.hovered, 3);
        ASSERT_NE(first.dotPreview, nullptr);
        EXPECT_EQ(first.dotPreview->levelWidth[0], 88);
        // Storing into another dot leaves one current dot.
        EXPECT_TRUE(storeDot(first.dots, 5, first.record));
        EXPECT_EQ(first.dots.state[3], DotState::Filled);
        EXPECT_EQ(first.dots.state[5], DotState::Current);
        ASSERT_TRUE(writeDotMap(first.dots));
    }
    DotRun second;
    EXPECT_EQ(second.dots.state[3], DotState::Filled);
    EXPECT_EQ(second.dots.state[5], DotState::Empty) << "dot 5 was not kept";
    EXPECT_EQ(firstUnkeptDot(second.dots), 0);
    EXPECT_FALSE(second.dots.previewShown);
    EXPECT_TRUE(loadDotThumbnail(second.dots, 3));
    EXPECT_TRUE(second.dots.previewShown);

    EXPECT_TRUE(recallDot(second.dots, 3, second.record));
    EXPECT_EQ(second.record.waviness, 12.5f);
    EXPECT_EQ(settingsNameView(second.record), "dot 4");
    EXPECT_EQ(second.dots.state[3], DotState::Current);
}

TEST(MemoryDots, RecallNamesTheDotEvenWhenItsFileIsMissing) {
    testing::useOwnTemporaryFolder();
    DotRun run;
    run.record.waviness = 33.0f;
    EXPECT_FALSE(recallDot(run.dots, 7, run.record));
    EXPECT_EQ(settingsNameView(run.record), "dot 8");
    EXPECT_EQ(run.record.waviness, 33.0f);
    EXPECT_FALSE(recallDot(run.dots, 25, run.record)) << "the hidden slot is no dot";
    EXPECT_FALSE(storeDot(run.dots, -1, run.record));
}

TEST(MemoryDots, AllDotsKeptLeaveNoDotForTheOpening) {
    testing::useOwnTemporaryFolder();
    DotRun run;
    run.dots.kept.fill(1);
    EXPECT_EQ(firstUnkeptDot(run.dots), kNoDot);
    forgetDot(run.dots, 9);
    EXPECT_EQ(firstUnkeptDot(run.dots), 9);
}

TEST(MemoryDots, TheHiddenSlotChangesNoDot) {
    testing::useOwnTemporaryFolder();
    DotRun run;
    run.dots.kept[2] = 1;
    storeDot(run.dots, 2, run.record);
    const auto states = run.dots.state;
    const auto kept = run.dots.kept;
    run.record.height = 7.0f;
    EXPECT_TRUE(storeHiddenSlot(run.dots, run.record));
    EXPECT_TRUE(os::fileExists(memoryDotFilePath(kHiddenDotSlot)));
    run.record.height = 50.0f;
    EXPECT_TRUE(recallHiddenSlot(run.dots, run.record));
    EXPECT_EQ(run.record.height, 7.0f);
    EXPECT_EQ(run.dots.state, states);
    EXPECT_EQ(run.dots.kept, kept);
}

TEST(MemoryDots, ASlotThatCannotBeWrittenStillShowsFilledAndCurrent) {
    testing::useOwnTemporaryFolder();
    DotRun run;
    // A folder in the slot file's place: nothing can be written there.
    std::filesystem::create_directories(memoryDotFilePath(4));
    EXPECT_FALSE(storeDot(run.dots, 4, run.record));
    EXPECT_EQ(run.dots.state[4], DotState::Current);
    EXPECT_FALSE(run.dots.previewShown);

    eraseDot(run.dots, 4);
    EXPECT_EQ(run.dots.state[4], DotState::Empty);
    EXPECT_EQ(run.dots.hovered, kNoDot);
}

}  // namespace
}  // namespace mirel
