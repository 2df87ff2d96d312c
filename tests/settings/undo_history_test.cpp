// Undo on one button: two snapshots in turn, with files for full steps.
#include "settings/undo_history.h"

#include <gtest/gtest.h>

#include "tests/support/scratch.h"

namespace mirel {
namespace {

struct Dialog {
    UndoHistory history;
    SettingsRecord record{};
    Dialog() {
        fullReset(record);
        clearUndoHistory(history);
        recordUndoStep(history, record, true);  // the opening
    }
};

TEST(UndoHistory, UndoAlternatesBetweenTheLastTwoStates) {
    testing::useOwnTemporaryFolder();
    Dialog dialog;
    dialog.record.waviness = 80.0f;
    recordUndoStep(dialog.history, dialog.record, false);
    EXPECT_TRUE(undo(dialog.history, dialog.record, nullptr));
    EXPECT_EQ(dialog.record.waviness, 65.0f);
    EXPECT_TRUE(undo(dialog.history, dialog.record, nullptr));
    EXPECT_EQ(dialog.record.waviness, 80.0f);
    EXPECT_TRUE(undo(dialog.history, dialog.record, nullptr));
    EXPECT_EQ(dialog.record.waviness, 65.0f);
}

TEST(UndoHistory, TwoChangesInARowUndoToTheFirst) {
    testing::useOwnTemporaryFolder();
    Dialog dialog;
    dialog.record.height = 30.0f;  // A
    setSettingsName(dialog.record, "A");
    recordUndoStep(dialog.history, dialog.record, false);
    dialog.record.height = 40.0f;  // B
    setSettingsName(dialog.record, "B");
    recordUndoStep(dialog.history, dialog.record, false);
    EXPECT_TRUE(undo(dialog.history, dialog.record, nullptr));
    EXPECT_EQ(dialog.record.height, 30.0f);
    EXPECT_EQ(settingsNameView(dialog.record), "A") << "the name travels with the step";
}

TEST(UndoHistory, OnlyAStepWithAFileBringsBackTheCentre) {
    testing::useOwnTemporaryFolder();
    Dialog dialog;
    const Vec3f light{0.123456f, -0.654321f, 0.746f};
    dialog.record.lightDirection = light;
    dialog.record.center = {0.25f, 0.75f};
    recordUndoStep(dialog.history, dialog.record, true);
    dialog.record.center = {0.5f, 0.5f};
    dialog.record.size = 10.0f;
    recordUndoStep(dialog.history, dialog.record, false);
    EXPECT_TRUE(undo(dialog.history, dialog.record, nullptr));
    EXPECT_NEAR(dialog.record.center.x, 0.25f, 1e-4f);
    EXPECT_NEAR(dialog.record.center.y, 0.75f, 1e-4f);
    EXPECT_EQ(dialog.record.lightDirection.x, light.x) << "not the file's hundredths";
    EXPECT_EQ(dialog.record.size, 88.0f);

    // Back to the step without a file: the centre stays where it is.
    dialog.record.center = {0.1f, 0.9f};
    EXPECT_TRUE(undo(dialog.history, dialog.record, nullptr));
    EXPECT_EQ(dialog.record.size, 10.0f);
    EXPECT_EQ(dialog.record.center.x, 0.1f);
    EXPECT_EQ(dialog.record.center.y, 0.9f);
}

TEST(UndoHistory, UndoBeforeAnyStepDoesNothing) {
    testing::useOwnTemporaryFolder();
    UndoHistory history;
    clearUndoHistory(history);
    SettingsRecord record{};
    fullReset(record);
    record.blur = 3.0f;
    EXPECT_FALSE(undo(history, record, nullptr));
    // Only the opening state: still nothing to go back to.
    recordUndoStep(history, record, true);
    EXPECT_EQ(record.version, kVersionNothingRead) << "a step leaves the settings in use alone";
    record.blur = 4.0f;
    EXPECT_FALSE(undo(history, record, nullptr));
    EXPECT_EQ(record.blur, 4.0f);
    EXPECT_EQ(history.toggle, 1);
}

}  // namespace
}  // namespace mirel
