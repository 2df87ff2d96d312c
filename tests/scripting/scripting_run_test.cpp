// Descriptors read at Start and written at Finish by the real plug-in, offered by the
// real host code with its descriptor services.
#include <gtest/gtest.h>

#include <cfloat>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "apps/host/descriptor.h"
#include "apps/mirel/settings_descriptor.h"
#include "host/scripting.h"
#include "platform/os/os.h"
#include "resources/aete.h"
#include "settings/cached_settings.h"
#include "settings/settings_file.h"
#include "settings/temp_files.h"
#include "tests/host/host_fixture.h"

namespace mirel::testing {
namespace {

using host_app::Picture;
using hostkit::Descriptor;
using hostkit::FilterHost;
using hostkit::HostOptions;
using pi::fourCC;

constexpr std::int16_t kPrepare = 2, kStart = 3, kFinish = 5;

// The plug-in's temporary folder (and so its cached settings) inside the test's scratch
// folder for the life of the test.
class TempFolderHere : public TemporaryFolderScope {
  public:
    TempFolderHere() : TemporaryFolderScope(scratchFolder()) {}
};

std::vector<std::uint8_t> readSettingsBytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

SettingsRecord defaults() {
    SettingsRecord record;
    std::memset(&record, 0, sizeof record);
    fullReset(record);
    return record;
}

// A cache whose every slider differs from the defaults, as a previous run leaves it.
void writeDistinctCache() {
    SettingsRecord cached = defaults();
    cached.horizon = 70.0f;
    cached.waviness = 12.5f;
    cached.outputMode = 7;
    cached.waterColor = {0x1111, 0x2222, 0x3333};
    ASSERT_TRUE(writeCachedSettings(cached));
}

HostOptions scriptingHost(std::int16_t playInfo = pi::kPlugInDialogDontDisplay) {
    HostOptions options;
    options.offerDescriptors = true;
    options.playInfo = playInfo;
    return options;
}

Descriptor only(const hostkit::DescriptorItem& item) {
    Descriptor descriptor;
    descriptor.put(item);
    return descriptor;
}

// One run from the filter menu with `offered` as the played action.
struct ScriptedRun {
    Picture picture = gradientPicture(24, 16, 3);
    FilterHost host;
    std::int16_t result = 0;

    ScriptedRun(const std::optional<Descriptor>& offered, HostOptions options = scriptingHost())
        : host(plugin(), picture, options) {
        EXPECT_TRUE(host.descriptors().offer(offered));
        result = host.run(true);
    }
    const SettingsRecord& settings() const { return parametersOf(host).settings; }
    Descriptor written() {
        const auto descriptor = host.descriptors().current();
        EXPECT_TRUE(descriptor.has_value());
        return descriptor.value_or(Descriptor{});
    }
};

TEST(ScriptingRun, AnActionWithOnlyTheHorizonGivesDefaultsElsewhere) {
    const TempFolderHere temp;
    writeDistinctCache();
    ScriptedRun run(only(hostkit::floatItem(fourCC("0019"), 30.0)));
    ASSERT_EQ(run.result, 0);  // played without a dialog, confirmed
    const SettingsRecord expected = defaults();
    EXPECT_EQ(run.settings().horizon, 30.0f);
    // The defaults, not the cached settings of the last run.
    EXPECT_EQ(run.settings().waviness, expected.waviness);
    EXPECT_EQ(run.settings().outputMode, 1);
    EXPECT_EQ(run.settings().waterColor.red, expected.waterColor.red);
    EXPECT_EQ(run.settings().center.y, expected.center.y);
    EXPECT_EQ(runStateOf(run.host).showDialog, 0);
    EXPECT_EQ(run.host.descriptors().openTokens(), 0);

    // Finish hands every parameter back: 'Vers' first, then the terminology's order.
    const Descriptor written = run.written();
    ASSERT_EQ(written.items.size(), 38u);
    EXPECT_EQ(written.items[0], hostkit::integerItem(fourCC("Vers"), 45));
    const auto parameters = scriptingParameters();
    for (std::size_t i = 0; i < parameters.size(); ++i)
        EXPECT_EQ(written.items[i + 1].key, parameters[i].key);
    EXPECT_EQ(*written.find(fourCC("0019")), hostkit::floatItem(fourCC("0019"), 30.0));
    EXPECT_EQ(written.find(fourCC("0001"))->integer, 0x2E);
    EXPECT_EQ(written.find(fourCC("0010"))->integer, 65);  // the mirror synced from 65.0
    EXPECT_EQ(*written.find(fourCC("GLUE")),
              hostkit::enumeratedItem(fourCC("GLUE"), fourCC("GLty"), fourCC("GL01")));
    EXPECT_EQ(run.host.record().descriptorParameters->recordInfo, pi::kPlugInDialogOptional);
}

TEST(ScriptingRun, ColourChannelsKeepOnlyTheLowByteShiftedUp) {
    const TempFolderHere temp;
    ScriptedRun full(only(hostkit::integerItem(fourCC("0001"), 255)));
    ASSERT_EQ(full.result, 0);
    EXPECT_EQ(full.settings().waterColor.red, 0xFF00);
    EXPECT_EQ(full.written().find(fourCC("0001"))->integer, 255);

    ScriptedRun over(only(hostkit::integerItem(fourCC("0001"), 256)));
    EXPECT_EQ(over.settings().waterColor.red, 0);
    EXPECT_EQ(over.written().find(fourCC("0001"))->integer, 0);

    ScriptedRun glitter(only(hostkit::integerItem(fourCC("0027"), -1)));
    EXPECT_EQ(glitter.settings().glitterColor.green, 0xFF00);
}

TEST(ScriptingRun, GlueValuesAndTheUnknownOne) {
    const TempFolderHere temp;
    ScriptedRun known(
        only(hostkit::enumeratedItem(fourCC("GLUE"), fourCC("GLty"), fourCC("GL62"))));
    EXPECT_EQ(known.settings().outputMode, 62);
    EXPECT_EQ(known.written().find(fourCC("GLUE"))->enumValue, fourCC("GL62"));

    ScriptedRun unknown(
        only(hostkit::enumeratedItem(fourCC("GLUE"), fourCC("GLty"), fourCC("XXXX"))));
    EXPECT_EQ(unknown.settings().outputMode, 0);
    EXPECT_EQ(unknown.written().find(fourCC("GLUE"))->enumValue, fourCC("<NO>"));
}

TEST(ScriptingRun, ValuesOfAnotherTypeAreCoercedOrSkipped) {
    const TempFolderHere temp;
    Descriptor mixed;
    mixed.put(hostkit::integerItem(fourCC("0019"), 30));   // an integer read as a float
    mixed.put(hostkit::floatItem(fourCC("0001"), 200.0));  // no integer: left at its default
    mixed.put(hostkit::integerItem(fourCC("GLUE"), 5));    // no enumeration: left alone
    mixed.put(hostkit::floatItem(fourCC("0021"), -90.0));  // spin at its end
    mixed.put(hostkit::floatItem(fourCC("0031"), 33.5));   // fractional slider
    mixed.put(hostkit::integerItem(fourCC("Vers"), 12));   // never read back
    mixed.put(hostkit::floatItem(fourCC("0029"), 1e300));  // beyond float: saturates
    ScriptedRun run(mixed);
    ASSERT_EQ(run.result, 0);
    EXPECT_EQ(run.settings().horizon, 30.0f);
    EXPECT_EQ(run.settings().waterColor.red, 0x2E2E);
    EXPECT_EQ(run.settings().outputMode, 1);
    EXPECT_EQ(run.settings().spin, -90.0f);
    EXPECT_EQ(run.settings().waviness, 33.5f);
    EXPECT_EQ(run.settings().perspective, FLT_MAX);
    const Descriptor written = run.written();
    EXPECT_EQ(written.find(fourCC("0021"))->number, -90.0);
    EXPECT_EQ(written.find(fourCC("0031"))->number, 33.5);
    EXPECT_EQ(written.find(fourCC("0010"))->integer, 33);
}

TEST(ScriptingRun, PlayInfoDecidesTheDialog) {
    const TempFolderHere temp;
    writeDistinctCache();
    const std::vector<std::uint8_t> cache = readSettingsBytesOf(cachedSettingsPath());
    // Asked to show the dialog: it would open filled with the action's settings;
    // with no display it cannot, so the run ends cancelled and the cache stays.
    withoutDisplay();
    ScriptedRun shown(only(hostkit::floatItem(fourCC("0019"), 30.0)),
                      scriptingHost(pi::kPlugInDialogDisplay));
    EXPECT_EQ(shown.result, pi::kUserCanceledErr);
    EXPECT_EQ(shown.settings().horizon, 30.0f);
    EXPECT_EQ(readSettingsBytesOf(cachedSettingsPath()), cache);

    // Without an action the cache is used, and the dialog still follows playInfo.
    ScriptedRun cached(std::nullopt);
    ASSERT_EQ(cached.result, 0);
    EXPECT_EQ(cached.settings().horizon, 70.0f);
    EXPECT_EQ(cached.settings().waviness, 12.5f);
}

TEST(ScriptingRun, PhotoshopNineReadsNothingAndUsesTheCache) {
    const TempFolderHere temp;
    writeDistinctCache();
    HostOptions options = scriptingHost();
    options.hostSignature = fourCC("PSP9");
    const Descriptor action = only(hostkit::floatItem(fourCC("0019"), 30.0));
    Picture picture = gradientPicture(24, 16, 3);
    FilterHost host(plugin(), picture, options);
    ASSERT_TRUE(host.descriptors().offer(action));
    ASSERT_EQ(host.call(1), 0);
    ASSERT_EQ(host.call(kPrepare), 0);
    // The show-dialog flag of the parameters step is left alone: the dialog is
    // asked for (and, without a display, cannot open).
    withoutDisplay();
    EXPECT_EQ(host.call(kStart), pi::kUserCanceledErr);
    EXPECT_EQ(parametersOf(host).settings.horizon, 70.0f);
    EXPECT_EQ(parametersOf(host).settings.outputMode, 7);
    // The action was not even opened: it is still the host's.
    EXPECT_EQ(host.descriptors().current(), std::optional<Descriptor>(action));

    // The repeat command on that host: confirmed with the cache, and Finish still writes.
    ASSERT_EQ(host.call(kPrepare), 0);
    ASSERT_EQ(host.call(kStart), 0);
    EXPECT_EQ(parametersOf(host).settings.horizon, 70.0f);
    ASSERT_EQ(host.call(kFinish), 0);
    const auto written = host.descriptors().current();
    ASSERT_TRUE(written.has_value());
    EXPECT_EQ(written->find(fourCC("0019"))->number, 70.0);
}

TEST(ScriptingRun, ARepeatWithoutTheParametersStepUsesTheConfirmedSettings) {
    const TempFolderHere temp;
    ScriptedRun first(only(hostkit::floatItem(fourCC("0019"), 30.0)));
    ASSERT_EQ(first.result, 0);
    FilterHost& host = first.host;
    ASSERT_TRUE(host.descriptors().offer(std::nullopt));  // the repeat plays no action
    ASSERT_EQ(host.call(kPrepare), 0);
    EXPECT_EQ(parametersOf(host).settings.horizon, 50.0f);
    ASSERT_EQ(host.call(kStart), 0);
    EXPECT_EQ(parametersOf(host).settings.horizon, 30.0f);
    EXPECT_EQ(parametersOf(host).settings.version, 45);
    ASSERT_EQ(host.call(kFinish), 0);
    EXPECT_EQ(host.descriptors().current()->find(fourCC("0019"))->number, 30.0);
}

TEST(ScriptingRun, HostsWithoutUsableServicesAreLeftAlone) {
    const TempFolderHere temp;
    writeDistinctCache();
    Picture picture = gradientPicture(8, 8, 3);
    FilterHost host(plugin(), picture, scriptingHost());
    ASSERT_TRUE(host.descriptors().offer(only(hostkit::floatItem(fourCC("0019"), 30.0))));
    // Too few read procedures: an older host's suite.
    host.record().descriptorParameters->readDescriptorProcs->numReadDescriptorProcs = 17;
    EXPECT_FALSE(descriptorServicesUsable(host.record()));
    // The parameters step asks for the dialog and no playInfo replaces that
    // (without a display it cannot open).
    withoutDisplay();
    ASSERT_EQ(host.call(1), 0);
    ASSERT_EQ(host.call(kPrepare), 0);
    ASSERT_EQ(host.call(kStart), pi::kUserCanceledErr);
    EXPECT_EQ(parametersOf(host).settings.horizon, 70.0f);
    // The repeat runs without the dialog from the cache; Finish writes nothing.
    ASSERT_EQ(host.call(kPrepare), 0);
    ASSERT_EQ(host.call(kStart), 0);
    EXPECT_EQ(parametersOf(host).settings.horizon, 70.0f);
    ASSERT_EQ(host.call(kFinish), 0);
    EXPECT_EQ(host.descriptors().current()->find(fourCC("0019"))->number, 30.0);  // untouched
    host.record().descriptorParameters->readDescriptorProcs->numReadDescriptorProcs = 18;
    host.record().descriptorParameters->descriptorParametersVersion = 1;
    EXPECT_FALSE(descriptorServicesUsable(host.record()));
}

TEST(ScriptingValues, SettingsSurviveTheDescriptorExceptColourLowBytes) {
    SettingsRecord record = defaults();
    record.horizon = 33.5f;
    record.spin = -90.0f;
    record.center = {0.25f, 0.75f};
    record.outputMode = 63;
    record.randomSeed = 99999;
    record.waterColor = {0x12FF, 0x3400, 0xFFFF};
    record.horizonInt = 7;
    const Descriptor descriptor = host_app::descriptorFromSettings(record);
    SettingsRecord read = defaults();
    host_app::applyDescriptor(descriptor, read);
    EXPECT_EQ(read.horizon, 33.5f);
    EXPECT_EQ(read.spin, -90.0f);
    EXPECT_EQ(read.center.x, 0.25f);
    EXPECT_EQ(read.center.y, 0.75f);
    EXPECT_EQ(read.outputMode, 63);
    EXPECT_EQ(read.randomSeed, 99999);
    EXPECT_EQ(read.horizonInt, 7);
    EXPECT_EQ(read.waterColor.red, 0x1200);
    EXPECT_EQ(read.waterColor.blue, 0xFF00);
    EXPECT_EQ(read.lightDirection.z, record.lightDirection.z);
    EXPECT_EQ(read.waviness, record.waviness);
    EXPECT_EQ(read.wavinessInt, 65);  // written synced

    // Output modes outside 1..69 are written as '<NO>' and read back as 0.
    record.outputMode = 70;
    EXPECT_EQ(host_app::descriptorFromSettings(record).find(fourCC("GLUE"))->enumValue,
              kGlueValueNone);
}

}  // namespace
}  // namespace mirel::testing
