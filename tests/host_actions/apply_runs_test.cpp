// Runs of the real filter through the host program as a script makes them: the same
// command gives the same picture whatever ran before, the dialog's names and the
// scripting names agree, refusals come before any work, and what a run records or
// keeps survives pipes, NaN, concurrent runs and a full disk.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "apps/mirel/image_file.h"
#include "settings/settings_file.h"
#include "tests/support/host_program.h"
#include "tests/support/scratch.h"

namespace mirel::testing {
namespace {

// Runs the host program in `folder`, with the plug-in's temporary folder there too.
ProgramOutcome runHost(const std::string& folder, const std::string& arguments) {
    return runProgram(pluginPath(), arguments, "TMPDIR=" + quoted(folder) + " ", folder);
}

// A 64 x 48 gradient in `folder`/in.png.
void writeInput(const std::string& folder) {
    host_app::Picture picture;
    std::string error;
    ASSERT_TRUE(host_app::allocatePicture(picture, 64, 48, 3, 8, error)) << error;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            for (int c = 0; c < 3; ++c)
                host_app::setSampleValue(picture, x, y, c, float((x * 3 + y * 4 + c * 60) % 256));
    ASSERT_TRUE(host_app::writePicture(folder + "in.png", picture, error)) << error;
}

// The pixels of a result; empty when the run failed.
std::vector<std::uint8_t> applied(const std::string& folder, const std::string& settings,
                                  const std::string& name = "out.png") {
    const ProgramOutcome outcome = runHost(folder, "apply in.png -o " + name + " " + settings);
    EXPECT_EQ(outcome.exitCode, 0) << settings << "\n" << outcome.output;
    host_app::Picture picture;
    std::string error;
    if (outcome.exitCode == 0) {
        EXPECT_TRUE(host_app::readPicture(folder + name, picture, error)) << error;
    }
    return picture.pixels;
}

// The first row the water changed, from the top.
int firstWetRow(const std::vector<std::uint8_t>& result, const std::vector<std::uint8_t>& input) {
    for (int row = 0; row < 48; ++row) {
        double sum = 0.0;
        for (int i = row * 64 * 3; i < (row + 1) * 64 * 3; ++i)
            sum += std::abs(int(result[i]) - int(input[i]));
        if (sum / (64 * 3) > 20.0) return row;
    }
    return 48;
}

TEST(ApplyRuns, TheSameCommandGivesTheSameBytesAndLastTakesTheConfirmedRun) {
    const std::string folder = scratchFolder();
    writeInput(folder);
    const std::vector<std::uint8_t> first = applied(folder, "");
    // A run with other settings is confirmed in between: light and centre on the steps
    // the filter's cached settings keep, and a colour at all 16 bits.
    const std::string other =
        "--set horizon=30 --set style=simple --set color=#123456789abc --set light=-0.5,-0.25,0.75 "
        "--set center=0.5,0.25";
    const std::vector<std::uint8_t> confirmed = applied(folder, other);
    EXPECT_NE(confirmed, first);
    EXPECT_EQ(applied(folder, "--last"), confirmed);
    EXPECT_EQ(applied(folder, ""), first);
    // The colour reached the filter at every bit: its high bytes alone differ.
    EXPECT_NE(applied(folder,
                      "--set horizon=30 --set style=simple --set color=#120056009a00 "
                      "--set light=-0.5,-0.25,0.75 --set center=0.5,0.25"),
              confirmed);
    // The command's own working folder is gone; the last settings stay for --last.
    EXPECT_EQ(folderEntries(folder),
              (std::vector<std::string>{"Mirel cached settings D", "in.png", "out.png"}));
}

TEST(ApplyRuns, TheDialogsNamesGiveWhatTheScriptingNamesGive) {
    const std::string folder = scratchFolder();
    writeInput(folder);
    host_app::Picture input;
    std::string error;
    ASSERT_TRUE(host_app::readPicture(folder + "in.png", input, error)) << error;
    const std::vector<std::uint8_t> plain = applied(folder, "");
    const std::vector<std::uint8_t> horizon = applied(folder, "--set horizon=30");
    EXPECT_EQ(applied(folder, "--set 'horizon float=30'"), horizon);
    EXPECT_EQ(applied(folder, "--set HORIZON=30"), horizon);
    // The horizon moved up, by about a fifth of the height.
    EXPECT_NEAR(firstWetRow(plain, input.pixels) - firstWetRow(horizon, input.pixels), 48 / 5, 2);

    const std::vector<std::uint8_t> named =
        applied(folder, "--set style=simple --set glue=screen --set color=#1e90ff");
    EXPECT_EQ(applied(folder,
                      "--set 'water style=1' --set glue=GL10 --set 'water red=30' "
                      "--set 'water green=144' --set 'water blue=255'"),
              named);
    EXPECT_EQ(applied(folder, "--set Style=Simple --set glue=10 --set color=1E90FF"), named);
    EXPECT_NE(named, plain);
}

// One line naming the problem (and the range or the closest names), exit 2, nothing written.
// A paint program that offers less: the same picture through it, and a clear
// refusal where it cannot tell the filter its settings.
TEST(ApplyRuns, AHostProfileThatOffersLessGivesTheSamePicture) {
    const std::string folder = scratchFolder();
    writeInput(folder);
    const std::string settings = "--set horizon=35 --set style=simple";
    const std::vector<std::uint8_t> full = applied(folder, settings, "full.png");
    ASSERT_FALSE(full.empty());
    EXPECT_EQ(applied(folder, settings + " --host-profile minimal", "minimal.png"), full);
    EXPECT_EQ(applied(folder, settings + " --host-profile no-padding,handle-size-zero", "two.png"),
              full);
    for (const char* profile : {"no-scripting", "minimal,scripting-v0"}) {
        const ProgramOutcome outcome =
            runHost(folder, "apply in.png -o none.png --host-profile " + std::string(profile));
        EXPECT_EQ(outcome.exitCode, 2) << outcome.output;
        EXPECT_NE(outcome.output.find("cannot tell the filter its settings"), std::string::npos)
            << outcome.output;
    }
    const ProgramOutcome unknown =
        runHost(folder, "apply in.png -o none.png --host-profile minimal,tiny");
    EXPECT_EQ(unknown.exitCode, 2) << unknown.output;
    EXPECT_NE(unknown.output.find("unknown host profile \"tiny\""), std::string::npos)
        << unknown.output;
    EXPECT_FALSE(fileExists(folder + "none.png"));
}

TEST(ApplyRuns, BadNamesAndValuesAreRefusedBeforeAnyWork) {
    const std::string folder = scratchFolder();
    writeInput(folder);
    const struct {
        const char* setting;
        const char* message;
    } refusals[] = {
        {"horizon=130", "--set horizon: 130 is outside 0..100"},
        {"spin=-91", "--set spin: -91 is outside -90..90"},
        {"'water red=256'", "--set water red: 256 is outside 0..255"},
        {"horizn=30", "no setting \"horizn\"; did you mean horizon?"},
        {"glue=scren", "no mode \"scren\"; did you mean screen"},
        {"style=wavy", "wants simple or complex"},
        {"color=#12345", "wants #rrggbb or #rrrrggggbbbb"},
        {"light=0,0,2", "2 is outside -1..1"},
        {"center=0.5", "wants x,y"},
        {"seed=1.5", "wants a whole number"},
        {"horizon", "wants NAME=VALUE"},
    };
    for (const auto& refusal : refusals) {
        SCOPED_TRACE(refusal.setting);
        const ProgramOutcome outcome =
            runHost(folder, std::string("apply in.png -o out.png --set ") + refusal.setting);
        EXPECT_EQ(outcome.exitCode, 2);
        EXPECT_EQ(outcome.output, std::string("mirel: ") + outcome.output.substr(7))
            << outcome.output;
        EXPECT_EQ(outcome.output.find('\n'), outcome.output.size() - 1) << outcome.output;
        EXPECT_NE(outcome.output.find(refusal.message), std::string::npos) << outcome.output;
    }
    EXPECT_EQ(folderEntries(folder), std::vector<std::string>{"in.png"});
}

// A settings file may hold what no dialog gives (NaN); the record of its run must
// still play back, and give the same picture.
TEST(ApplyRuns, ASettingsFileHoldingNaNIsRecordedAndPlaysBack) {
    const std::string folder = scratchFolder();
    writeInput(folder);
    SettingsRecord record;
    std::memset(&record, 0, sizeof record);
    fullReset(record);
    record.waviness = std::nanf("");
    record.spin = INFINITY;
    ASSERT_TRUE(saveSettingsFile(folder + "odd.q8r", record, nullptr));
    const std::vector<std::uint8_t> first =
        applied(folder, "--settings odd.q8r --record odd.json", "a.png");
    std::ifstream in(folder + "odd.json");
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_NE(text.find("\"value\": \"NaN\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"value\": \"Infinity\""), std::string::npos) << text;
    EXPECT_EQ(applied(folder, "--action odd.json", "b.png"), first);
}

TEST(ApplyRuns, DeeplyNestedActionFilesAreRefused) {
    const std::string folder = scratchFolder();
    writeInput(folder);
    {
        std::ofstream deep(folder + "deep.json");
        deep << std::string(50000, '[') << std::string(50000, ']');
    }
    for (const char* command :
         {"apply in.png -o out.png --action deep.json", "save-settings s.q8r --action deep.json"}) {
        const ProgramOutcome outcome = runHost(folder, command);
        EXPECT_EQ(outcome.exitCode, 2) << outcome.output;
        EXPECT_NE(outcome.output.find("nests deeper than"), std::string::npos) << outcome.output;
    }
}

// Shell scripts of several runs at once, and a tmpfs of its own as a full disk.
#if !defined(_WIN32)
TEST(ApplyRuns, FourRunsRecordToOneFileAtOnce) {
    const std::string folder = scratchFolder();
    writeInput(folder);
    std::string script = "cd " + quoted(folder) + " && for i in 1 2 3 4; do (TMPDIR=. " +
                         quoted(hostPath()) + " --plugin " + quoted(pluginPath()) +
                         " apply in.png -o out$i.png --set spin=$i --record same.json; echo $? > "
                         "code$i) & done; wait";
    ASSERT_EQ(std::system(script.c_str()), 0);
    for (int i = 1; i <= 4; ++i) {
        std::ifstream code(folder + "code" + std::to_string(i));
        int value = -1;
        code >> value;
        EXPECT_EQ(value, 0) << "run " << i;
    }
    // One of the four records, whole; it plays back.
    EXPECT_EQ(runHost(folder, "apply in.png -o again.png --action same.json").exitCode, 0);
    for (const std::string& name : folderEntries(folder))
        EXPECT_NE(name.front(), '.') << "a temporary file was left: " << name;
}

// On a full temporary folder (a small tmpfs of its own) nothing that was there is
// lost: the last settings stay, and a record that cannot be written costs the picture
// its place too, so the old one stays.
TEST(ApplyRuns, AFullDiskKeepsTheLastSettingsAndTheOldPicture) {
    if (std::system("unshare -m true 2>/dev/null") != 0)
        GTEST_SKIP() << "making a tmpfs needs unshare -m (root, or user namespaces)";
    const std::string folder = scratchFolder();
    writeInput(folder);
    writeBytes(folder + "out.png", {'o', 'l', 'd'});
    const std::string host = quoted(hostPath()) + " --plugin " + quoted(pluginPath());
    const std::string script =
        "cd " + quoted(folder) +
        " && mkdir T && unshare -m sh -c '"
        "mount -t tmpfs -o size=256k tmpfs T || exit 9; "
        "TMPDIR=T " +
        host +
        " apply in.png -o first.png --set horizon=30; echo $? > code1; "
        "cp \"T/Mirel cached settings D\" kept; "
        "dd if=/dev/zero of=T/fill bs=4096 2>/dev/null; "
        "TMPDIR=T " +
        host +
        " apply in.png -o out.png --set horizon=70 --record T/rec.json 2> said; echo $? > code2; "
        "TMPDIR=T " +
        host +
        " apply in.png -o out2.png --set horizon=70; echo $? > code3; "
        "cp \"T/Mirel cached settings D\" after; ls -A T > left'";
    ASSERT_EQ(std::system(script.c_str()), 0);
    auto text = [&](const std::string& name) {
        std::ifstream in(folder + name);
        return std::string{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    };
    EXPECT_EQ(text("code1"), "0\n");
    EXPECT_EQ(text("code2"), "3\n") << text("said");
    EXPECT_NE(text("said").find("No space left on device; out.png was not written"),
              std::string::npos);
    EXPECT_EQ(text("out.png"), "old");
    EXPECT_EQ(text("code3"), "0\n");
    EXPECT_TRUE(fileExists(folder + "out2.png"));
    EXPECT_EQ(readBytes(folder + "after"), readBytes(folder + "kept"));
    EXPECT_EQ(text("left"), "Mirel cached settings D\nfill\n");
}
#endif

}  // namespace
}  // namespace mirel::testing
