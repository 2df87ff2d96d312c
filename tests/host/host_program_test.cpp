// The host program as a user runs it.
#include "tests/support/host_program.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/support/scratch.h"

namespace mirel::testing {
namespace {

using Outcome = ProgramOutcome;

Outcome runHost(const std::string& arguments) {
    return runProgram(pluginPath(), arguments);
}

TEST(HostProgram, PrintsWhatThePluginsPiPLSays) {
    const Outcome outcome = runHost("plugin-info");
    ASSERT_EQ(outcome.exitCode, 0) << outcome.output;
    EXPECT_NE(outcome.output.find("name:        Mirel 2..."), std::string::npos) << outcome.output;
    EXPECT_NE(outcome.output.find("category:    Ostrand"), std::string::npos);
    EXPECT_NE(outcome.output.find("version:     4.0"), std::string::npos);
    EXPECT_NE(outcome.output.find("entry point: PluginMain"), std::string::npos);
    EXPECT_NE(outcome.output.find("modes:       Grayscale RGB Gray16 RGB48 RGB96 Gray32"),
              std::string::npos);
}

TEST(HostProgram, RefusesAFileThatIsNoFilter) {
    const std::string folder = scratchFolder();
    const std::string fake = folder + "notaplugin.8bf";
    FILE* file = std::fopen(fake.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs("just text", file);
    std::fclose(file);
    const ProgramOutcome outcome = runProgram(fake, "plugin-info");
    EXPECT_EQ(outcome.exitCode, 2);
    EXPECT_NE(outcome.output.find("notaplugin.8bf"), std::string::npos) << outcome.output;
}

TEST(HostProgram, DrivesTheSelectorsOnAPictureOfItsOwn) {
    // No display: the dialog of the first run cannot open, which cancels that run.
    const Outcome outcome =
        runProgram(pluginPath(), "lifecycle --size 80x60 --runs 2", "QT_QPA_PLATFORM= ");
    EXPECT_NE(outcome.output.find("run 1: parameters prepare start -> result -128"),
              std::string::npos)
        << outcome.output;
    EXPECT_NE(outcome.output.find("run 2: prepare start finish -> result 0"), std::string::npos)
        << outcome.output;
    EXPECT_EQ(outcome.exitCode, 0);

    const Outcome refused = runHost("lifecycle --mode multichannel --runs 1");
    EXPECT_NE(refused.output.find("-> result 1"), std::string::npos) << refused.output;
    EXPECT_EQ(refused.exitCode, 3);  // the filter failed
}

TEST(HostProgram, AnswersHelpAndVersion) {
    EXPECT_EQ(runHost("--version").exitCode, 0);
    const Outcome help = runHost("--help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.output.find("lifecycle"), std::string::npos);
    EXPECT_EQ(runHost("no-such-command").exitCode, 2);
}

}  // namespace
}  // namespace mirel::testing
