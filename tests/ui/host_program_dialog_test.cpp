// The host program's dialog as a person meets it: on a real X server (Xvfb),
// Enter confirms and the picture is written, Escape cancels and nothing is.
#include <gtest/gtest.h>

#include <filesystem>

#include "apps/mirel/image_file.h"
#include "tests/support/host_program.h"
#include "tests/support/scratch.h"
#include "tests/ui/dialog_driver.h"
#include "tests/ui/small_windows.h"

namespace mirel::testing {
namespace {

using gui::testing::Key;

TEST(HostProgramDialog, EnterRendersAndSavesEscapeWritesNothing) {
    const std::string folder = useOwnTemporaryFolder();
    host_app::Picture picture = rampPicture(160, 120);
    std::string error;
    ASSERT_TRUE(host_app::writePicture(folder + "in.png", picture, error)) << error;

    std::string whyNot;
    const ProgramOutcome confirmed = runProgramPressingInDialog(
        "apply in.png -o out.png --dialog", folder, ownTemporaryFolder(), Key::Return, whyNot);
    if (!whyNot.empty()) GTEST_SKIP() << whyNot;
    ASSERT_EQ(confirmed.exitCode, 0) << confirmed.output;
    // The dialog opened with the defaults: the same water as a run without it.
    std::filesystem::create_directories(folder + "plain");
    const ProgramOutcome plain = runProgram(pluginPath(), "apply in.png -o plain.png",
                                            "TMPDIR=" + quoted(folder + "plain") + " ", folder);
    ASSERT_EQ(plain.exitCode, 0) << plain.output;
    host_app::Picture withDialog, without;
    ASSERT_TRUE(host_app::readPicture(folder + "out.png", withDialog, error)) << error;
    ASSERT_TRUE(host_app::readPicture(folder + "plain.png", without, error)) << error;
    EXPECT_EQ(withDialog.pixels, without.pixels);

    const ProgramOutcome cancelled =
        runProgramPressingInDialog("apply in.png -o cancelled.png --dialog", folder,
                                   ownTemporaryFolder(), Key::Escape, whyNot);
    EXPECT_EQ(cancelled.exitCode, 1) << cancelled.output;
    EXPECT_FALSE(fileExists(folder + "cancelled.png"));
}

}  // namespace
}  // namespace mirel::testing
