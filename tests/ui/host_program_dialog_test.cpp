// The host program's dialog as a person meets it: on a real X server (Xvfb),
// Enter confirms and the picture is written, Escape cancels and nothing is.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "apps/mirel/image_file.h"
#include "tests/support/host_program.h"
#include "tests/support/scratch.h"
#include "tests/ui/dialog_driver.h"

namespace mirel::testing {
namespace {

bool commandExists(const char* name) {
    return std::system(("command -v " + std::string(name) + " >/dev/null 2>&1").c_str()) == 0;
}

// The program under a fresh X server that `key` is pressed on once the dialog shows.
ProgramOutcome applyWithDialogPressing(const std::string& folder, const std::string& key,
                                       const std::string& output) {
    const std::string script = sourceDir() + "/tests/ui/press_key_in_dialog.sh";
    // The program must find the X server, not the offscreen platform of the tests.
    const std::string environment =
        "TMPDIR=" + quoted(ownTemporaryFolder()) +
        " env -u QT_QPA_PLATFORM xvfb-run -a -s '-screen 0 1280x1024x24' " + quoted(script) + " " +
        key + " ";
    return runProgram(pluginPath(), "apply in.png -o " + output + " --dialog", environment, folder);
}

TEST(HostProgramDialog, EnterRendersAndSavesEscapeWritesNothing) {
    if (!commandExists("xvfb-run") || !commandExists("xdotool"))
        GTEST_SKIP() << "needs xvfb-run and xdotool (scripts/setup installs them)";
    const std::string folder = useOwnTemporaryFolder();
    host_app::Picture picture = rampPicture(160, 120);
    std::string error;
    ASSERT_TRUE(host_app::writePicture(folder + "in.png", picture, error)) << error;

    const ProgramOutcome confirmed = applyWithDialogPressing(folder, "Return", "out.png");
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

    const ProgramOutcome cancelled = applyWithDialogPressing(folder, "Escape", "cancelled.png");
    EXPECT_EQ(cancelled.exitCode, 1) << cancelled.output;
    EXPECT_FALSE(fileExists(folder + "cancelled.png"));
}

}  // namespace
}  // namespace mirel::testing
