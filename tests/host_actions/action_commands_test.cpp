// The host program's scripting commands as a user runs them: params, apply with
// actions, settings files and NAME=VALUE settings, info and save-settings.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "apps/host/action_file.h"
#include "apps/mirel/image_file.h"
#include "image/thumbnails.h"
#include "resources/aete.h"
#include "settings/settings_file.h"
#include "tests/support/host_program.h"
#include "tests/support/scratch.h"

namespace mirel::testing {
namespace {

using pi::fourCC;

using Outcome = ProgramOutcome;

// Runs the host program in `folder`, with the plug-in's temporary folder there too.
Outcome runHost(const std::string& folder, const std::string& arguments) {
    return runProgram(pluginPath(), arguments, "TMPDIR=" + quoted(folder) + " ", folder);
}

bool exists(const std::string& path) {
    return fileExists(path);
}

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

hostkit::Descriptor readAction(const std::string& path) {
    hostkit::Terminology terminology;
    std::string error;
    EXPECT_TRUE(hostkit::parseTerminology(aeteBytes(), terminology, error)) << error;
    hostkit::Descriptor descriptor;
    EXPECT_TRUE(hostkit::readActionFile(path, terminology, descriptor, error)) << error;
    return descriptor;
}

// A small picture in `folder`/in.png.
std::string writeInput(const std::string& folder) {
    host_app::Picture picture;
    std::string error;
    EXPECT_TRUE(host_app::allocatePicture(picture, 20, 12, 3, 8, error)) << error;
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 20; ++x)
            for (int c = 0; c < 3; ++c)
                host_app::setSampleValue(picture, x, y, c, float((x * 9 + y * 5 + c * 70) % 256));
    const std::string path = folder + "in.png";
    EXPECT_TRUE(host_app::writePicture(path, picture, error)) << error;
    return path;
}

// One line, "mirel: " first, and a non-zero exit.
void expectOneLineRefusal(const Outcome& outcome, const std::string& expected) {
    EXPECT_EQ(outcome.exitCode, 2) << outcome.output;
    EXPECT_EQ(outcome.output.rfind("mirel: ", 0), 0u) << outcome.output;
    EXPECT_EQ(outcome.output.find('\n'), outcome.output.size() - 1) << outcome.output;
    EXPECT_NE(outcome.output.find(expected), std::string::npos) << outcome.output;
}

TEST(ParamsCommand, ListsTheDialogsNamesWithRangesAndDefaultsThenTheScriptingKeys) {
    const Outcome outcome = runHost(scratchFolder(), "params");
    ASSERT_EQ(outcome.exitCode, 0) << outcome.output;
    const std::string& text = outcome.output;
    // The filter's own defaults, at every bit.
    for (const char* line :
         {"  horizon      0..100                             50\n",
          "  spin         -90..90                            0\n",
          "  style        simple or complex                  complex\n",
          "  glue         a mode below, by name or number    normal\n",
          "  color        #rrggbb, or #rrrrggggbbbb          #2e2e3e3e5a5a\n",
          "  light        x,y,z, each -1..1                  -0.408248,-0.408248,0.816497\n",
          "  seed         a whole number                     1841\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << text;
    EXPECT_NE(text.find(" 69 contrast negate\n"), std::string::npos)
        << text;  // every mode, by number
    EXPECT_NE(text.find("'0001'  long  integer      water red"), std::string::npos) << text;
    EXPECT_NE(text.find("'0019'  doub  number       horizon float"), std::string::npos);
    EXPECT_NE(text.find("'GLUE'  GLty  enumeration  glue"), std::string::npos);
    EXPECT_NE(text.find("'GL63' starbright"), std::string::npos);
}

TEST(ApplyCommand, SettingsByNameAreRecordedAndPlayBack) {
    const std::string folder = scratchFolder();
    const std::string input = writeInput(folder);
    Outcome outcome = runHost(folder,
                              "apply in.png -o out.png --set 'horizon float=30' --set glue=screen "
                              "--set 'water red=255' --record first.json");
    ASSERT_EQ(outcome.exitCode, 0) << outcome.output;
    EXPECT_TRUE(exists(folder + "out.png"));
    const hostkit::Descriptor first = readAction(folder + "first.json");
    ASSERT_EQ(first.items.size(), 38u);
    EXPECT_EQ(first.find(fourCC("0019"))->number, 30.0);
    EXPECT_EQ(first.find(fourCC("GLUE"))->enumValue, fourCC("GL10"));
    EXPECT_EQ(first.find(fourCC("0001"))->integer, 255);
    EXPECT_EQ(first.find(fourCC("0031"))->number, 65.0);  // defaults elsewhere
    const std::string text = readText(folder + "first.json");
    EXPECT_NE(text.find("\"value name\": \"screen\""), std::string::npos) << text;

    // Played back, the filter hands back the same settings.
    outcome = runHost(folder, "apply in.png -o out2.png --action first.json --record second.json");
    ASSERT_EQ(outcome.exitCode, 0) << outcome.output;
    EXPECT_EQ(readAction(folder + "second.json"), first);

    // --set goes over the action.
    outcome = runHost(
        folder, "apply in.png -o out3.png --action first.json --set spin=-90 --record third.json");
    ASSERT_EQ(outcome.exitCode, 0) << outcome.output;
    const hostkit::Descriptor third = readAction(folder + "third.json");
    EXPECT_EQ(third.find(fourCC("0021"))->number, -90.0);
    EXPECT_EQ(third.find(fourCC("0019"))->number, 30.0);
}

TEST(ApplyCommand, ASettingsFileTravelsAsDescriptorKeys) {
    const std::string folder = scratchFolder();
    writeInput(folder);
    ASSERT_EQ(runHost(folder, "save-settings saved.q8r --set 'waviness float=33.5' --set glue=cold")
                  .exitCode,
              0);
    const Outcome outcome =
        runHost(folder, "apply in.png -o out.png --settings saved.q8r --record rec.json");
    ASSERT_EQ(outcome.exitCode, 0) << outcome.output;
    const hostkit::Descriptor recorded = readAction(folder + "rec.json");
    EXPECT_EQ(recorded.find(fourCC("0031"))->number, 33.5);
    EXPECT_EQ(recorded.find(fourCC("GLUE"))->enumValue, fourCC("GL41"));
    EXPECT_EQ(recorded.find(fourCC("0010"))->integer, 33);
}

TEST(ApplyCommand, TheDialogIsShownOnlyWhenAskedFor) {
    const std::string folder = scratchFolder();
    writeInput(folder);
    // Asked for the dialog without a display: one line, exit 2, nothing written
    // (tests/ui shows the dialog on an X server).
    const Outcome outcome = runProgram(
        pluginPath(), "apply in.png -o out.png --dialog --record rec.json",
        "TMPDIR=" + quoted(folder) + " env -u QT_QPA_PLATFORM -u DISPLAY -u WAYLAND_DISPLAY ",
        folder);
    EXPECT_EQ(outcome.exitCode, 2) << outcome.output;
    expectOneLineRefusal(outcome, "--dialog needs a display, and none");
    EXPECT_FALSE(exists(folder + "out.png"));
    EXPECT_FALSE(exists(folder + "rec.json"));
    // X11 named without its display is no display either.
    const Outcome noDisplay = runProgram(
        pluginPath(), "apply in.png -o out.png --dialog",
        "env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb TMPDIR=" + quoted(folder) + " ",
        folder);
    expectOneLineRefusal(noDisplay, "--dialog needs a display");
}

TEST(ApplyCommand, UnknownNamesWrongTypesAndUnreadableFilesAreOneLine) {
    const std::string folder = scratchFolder();
    writeInput(folder);
    expectOneLineRefusal(runHost(folder, "apply in.png -o out.png --set depth=3"),
                         "no setting \"depth\"");
    expectOneLineRefusal(runHost(folder, "apply in.png -o out.png --set 'water red=pink'"),
                         "whole number");
    expectOneLineRefusal(runHost(folder, "apply in.png -o out.png --action missing.json"),
                         "missing.json");
    std::ofstream(folder + "bad.json")
        << R"({"descriptor": [{"key": "0019", "type": "long", "value": 3}]})";
    expectOneLineRefusal(runHost(folder, "apply in.png -o out.png --action bad.json"), "not long");
    expectOneLineRefusal(runHost(folder, "apply in.png -o out.png --settings in.png"),
                         "not a settings file");
    expectOneLineRefusal(runHost(folder, "apply in.png -o out.png --record no/such/rec.json"),
                         "does not exist");
    EXPECT_FALSE(exists(folder + "out.png"));
}

TEST(SettingsCommands, SaveSettingsThenInfo) {
    const std::string folder = scratchFolder();
    Outcome outcome =
        runHost(folder, "save-settings s.q8r --set 'horizon float=12.25' --set 'water red=255'");
    ASSERT_EQ(outcome.exitCode, 0) << outcome.output;
    EXPECT_EQ(readText(folder + "s.q8r").size(), kSettingsFileBytesWithoutThumbnail);

    outcome = runHost(folder, "info s.q8r");
    ASSERT_EQ(outcome.exitCode, 0) << outcome.output;
    EXPECT_NE(outcome.output.find("version:   45"), std::string::npos) << outcome.output;
    EXPECT_NE(outcome.output.find("thumbnail: no"), std::string::npos);
    EXPECT_NE(outcome.output.find("horizon float      '0019'  12.25"), std::string::npos);
    EXPECT_NE(outcome.output.find("water red          '0001'  255"), std::string::npos);
    EXPECT_NE(outcome.output.find("glue               'GLUE'  normal 'GL01'"), std::string::npos);

    // A file saved from another keeps what it was given and takes the new settings over it.
    outcome = runHost(folder, "save-settings t.q8r --settings s.q8r --set spin=45");
    ASSERT_EQ(outcome.exitCode, 0) << outcome.output;
    outcome = runHost(folder, "info t.q8r");
    EXPECT_NE(outcome.output.find("horizon float      '0019'  12.25"), std::string::npos)
        << outcome.output;
    EXPECT_NE(outcome.output.find("spin               '0021'  45"), std::string::npos);

    expectOneLineRefusal(runHost(folder, "info t.q8r --thumbnail t.png"), "holds no thumbnail");
    EXPECT_FALSE(exists(folder + "t.png"));
    expectOneLineRefusal(runHost(folder, "info nothing.q8r"), "No such file");
    expectOneLineRefusal(runHost(folder, "save-settings u.q8r --set glue=sparkly"),
                         "no mode \"sparkly\"");
    EXPECT_FALSE(exists(folder + "u.q8r"));
}

TEST(SettingsCommands, InfoWritesTheThumbnailAsAPicture) {
    const std::string folder = scratchFolder();
    // A settings file with a thumbnail, as the dialog's Save writes it.
    std::unique_ptr<image::TiledImage> thumbnail = image::createThumbnailImage();
    ASSERT_TRUE(thumbnail);
    SettingsRecord record;
    std::memset(&record, 0, sizeof record);
    fullReset(record);
    ASSERT_TRUE(saveSettingsFile(folder + "with.q8r", record, thumbnail.get()));
    const Outcome outcome = runHost(folder, "info with.q8r --thumbnail thumb.png");
    ASSERT_EQ(outcome.exitCode, 0) << outcome.output;
    EXPECT_NE(outcome.output.find("thumbnail: yes"), std::string::npos);
    host_app::Picture picture;
    std::string error;
    ASSERT_TRUE(host_app::readPicture(folder + "thumb.png", picture, error)) << error;
    EXPECT_EQ(picture.width, 128);
    EXPECT_EQ(picture.height, 128);
    // The default thumbnail is a grey ramp, light at the top (JPEG keeps it roughly).
    EXPECT_GT(host_app::sampleValue(picture, 64, 2, 0),
              host_app::sampleValue(picture, 64, 125, 0) + 64);
}

}  // namespace
}  // namespace mirel::testing
