// Tests of the settings record: defaults, resets, mirrors, upgrades and snapshot copies.
#include "settings/settings_record.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

namespace mirel {
namespace {

// A record whose every byte is set, so that a field a function should not touch shows.
SettingsRecord patternedRecord(unsigned char byte) {
    SettingsRecord record;
    std::memset(&record, byte, sizeof(record));
    return record;
}

bool sameBytes(const SettingsRecord& a, const SettingsRecord& b) {
    return std::memcmp(&a, &b, sizeof(SettingsRecord)) == 0;
}

TEST(SettingsRecord, DefaultsAreTheFactoryLook) {
    SettingsRecord r = patternedRecord(0);
    applyDefaults(r);
    EXPECT_EQ(r.horizon, 50.0f);
    EXPECT_EQ(r.offset, 0.0f);
    EXPECT_EQ(r.perspective, 48.0f);
    EXPECT_EQ(r.altitude, 40.0f);
    EXPECT_EQ(r.spin, 0.0f);
    EXPECT_EQ(r.waviness, 65.0f);
    EXPECT_EQ(r.complexity, 84.0f);
    EXPECT_EQ(r.brilliance, 40.0f);
    EXPECT_EQ(r.blur, 0.0f);
    EXPECT_EQ(r.size, 88.0f);
    EXPECT_EQ(r.height, 20.0f);
    EXPECT_EQ(r.undulation, 40.0f);
    EXPECT_EQ(r.waterStyle, 2);
    EXPECT_EQ(r.outputMode, 1);
    EXPECT_EQ(r.waterColor.red, 0x2E2E);
    EXPECT_EQ(r.waterColor.green, 0x3E3E);
    EXPECT_EQ(r.waterColor.blue, 0x5A5A);
    EXPECT_EQ(r.glitterColor.red, 0xC2C2);
    EXPECT_EQ(r.glitterColor.green, 0xBFBF);
    EXPECT_EQ(r.glitterColor.blue, 0xB4B4);
    EXPECT_EQ(r.center.x, 0.5f);
    EXPECT_EQ(r.center.y, 0.2f);
    EXPECT_EQ(r.randomSeed, 1841);
    EXPECT_EQ(r.extraInt13, 0);
    EXPECT_EQ(r.extraInt19, 0);
}

TEST(SettingsRecord, DefaultVectorsAreExactRoundedUnitVectors) {
    SettingsRecord r = patternedRecord(0);
    applyDefaults(r);
    // -0.5 / sqrt(1.5) and 1 / sqrt(1.5), each rounded to the nearest float once.
    EXPECT_EQ(r.lightDirection.x, -0.408248290463863f);
    EXPECT_EQ(r.lightDirection.y, -0.408248290463863f);
    EXPECT_EQ(r.lightDirection.z, 0.816496580927726f);
    EXPECT_EQ(r.oldVectorA.x, -0.68f);
    EXPECT_EQ(r.oldVectorA.y, -0.68f);
    EXPECT_EQ(r.oldVectorA.z, 0.274226184016164f);  // sqrt(0.0752)
    EXPECT_EQ(r.oldVectorB.x, 0.0f);
    EXPECT_EQ(r.oldVectorB.y, -1.0f);
    EXPECT_EQ(r.oldVectorB.z, 0.0f);
    const Vec3f a = r.oldVectorA;
    EXPECT_NEAR(a.x * a.x + a.y * a.y + a.z * a.z, 1.0f, 1e-6f);
}

TEST(SettingsRecord, DefaultsAndResetLeaveMirrorsAndOlderFieldsAlone) {
    const SettingsRecord before = patternedRecord(0x11);
    SettingsRecord r = before;
    applyDefaults(r);
    EXPECT_EQ(r.heightInt, before.heightInt);
    EXPECT_EQ(r.horizonInt, before.horizonInt);
    EXPECT_EQ(r.offsetInt, before.offsetInt);
    EXPECT_EQ(r.brillianceInt, before.brillianceInt);
    EXPECT_EQ(r.extraInt1, before.extraInt1);
    EXPECT_EQ(r.extraInt18, before.extraInt18);
    EXPECT_EQ(r.extraColor7.blue, before.extraColor7.blue);
    EXPECT_EQ(r.version, before.version);
    EXPECT_EQ(0, std::memcmp(r.settingsName, before.settingsName, kSettingsNameSize));

    fullReset(r);
    EXPECT_EQ(r.version, -999);
    EXPECT_EQ(settingsNameView(r), "Mirel settings");
    EXPECT_EQ(r.outputMode, 1);
    EXPECT_EQ(r.height, 20.0f);
    EXPECT_EQ(r.heightInt, before.heightInt);
    EXPECT_EQ(r.extraInt5, before.extraInt5);
    // The rest of the name buffer is cleared, not left holding the old bytes.
    EXPECT_EQ(r.settingsName[kSettingsNameSize - 1], '\0');
}

TEST(SettingsRecord, SyncRefreshesNineMirrorsTruncatingTowardZero) {
    SettingsRecord r = patternedRecord(0);
    fullReset(r);
    r.horizonInt = 7;
    r.offsetInt = -3;
    r.perspective = 33.9f;
    r.altitude = -12.9f;  // out of range, but truncation must still go toward zero
    r.spin = -45.5f;
    syncMirrors(r);
    EXPECT_EQ(r.heightInt, 20);
    EXPECT_EQ(r.perspectiveInt, 33);
    EXPECT_EQ(r.altitudeInt, -12);
    EXPECT_EQ(r.wavinessInt, 65);
    EXPECT_EQ(r.complexityInt, 84);
    EXPECT_EQ(r.brillianceInt, 40);
    EXPECT_EQ(r.blurInt, 0);
    EXPECT_EQ(r.sizeInt, 88);
    EXPECT_EQ(r.undulationInt, 40);
    EXPECT_EQ(r.horizonInt, 7);
    EXPECT_EQ(r.offsetInt, -3);

    // Nothing outside the nine mirrors moves: spin has no mirror.
    SettingsRecord again = r;
    again.perspectiveInt = again.altitudeInt = again.wavinessInt = 0;
    again.complexityInt = again.brillianceInt = again.blurInt = 0;
    again.sizeInt = again.heightInt = again.undulationInt = 0;
    syncMirrors(again);
    EXPECT_TRUE(sameBytes(again, r));
    EXPECT_EQ(r.spin, -45.5f);
}

TEST(SettingsRecord, SyncSurvivesValuesNoIntegerCanHold) {
    SettingsRecord r = patternedRecord(0);
    fullReset(r);
    r.height = std::numeric_limits<float>::quiet_NaN();
    r.size = 1e30f;
    r.blur = -std::numeric_limits<float>::infinity();
    syncMirrors(r);
    EXPECT_EQ(r.heightInt, 0);
    EXPECT_EQ(r.sizeInt, std::numeric_limits<int32_t>::max());
    EXPECT_EQ(r.blurInt, std::numeric_limits<int32_t>::min());

    EXPECT_EQ(truncateToInt32(2147483647.0), 2147483647);
    EXPECT_EQ(truncateToInt32(-2147483648.0), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(truncateToInt32(-0.99), 0);
}

// A record as a reader leaves it: floats from an older file's defaults, mirrors from
// the file, a non-white glitter colour.
SettingsRecord readRecord(int32_t version) {
    SettingsRecord r = patternedRecord(0);
    fullReset(r);
    r.horizon = 12.5f;
    r.offset = 3.25f;
    r.horizonInt = 61;
    r.offsetInt = 9;
    r.perspectiveInt = 1;
    r.altitudeInt = 2;
    r.wavinessInt = 3;
    r.complexityInt = 4;
    r.brillianceInt = 5;
    r.blurInt = 6;
    r.sizeInt = 7;
    r.heightInt = 8;
    r.undulationInt = 9;
    r.version = version;
    return r;
}

void expectSlidersFromMirrors(const SettingsRecord& r) {
    EXPECT_EQ(r.perspective, 1.0f);
    EXPECT_EQ(r.altitude, 2.0f);
    EXPECT_EQ(r.waviness, 3.0f);
    EXPECT_EQ(r.complexity, 4.0f);
    EXPECT_EQ(r.brilliance, 5.0f);
    EXPECT_EQ(r.blur, 6.0f);
    EXPECT_EQ(r.size, 7.0f);
    EXPECT_EQ(r.height, 8.0f);
    EXPECT_EQ(r.undulation, 9.0f);
    EXPECT_EQ(r.glitterColor.red, 0xFFFF);
    EXPECT_EQ(r.glitterColor.green, 0xFFFF);
    EXPECT_EQ(r.glitterColor.blue, 0xFFFF);
}

TEST(SettingsRecordUpgrade, NothingReadAndCurrentVersionsChangeNothing) {
    for (int32_t version : {-999, 0, 45, 46}) {
        SCOPED_TRACE(version);
        const SettingsRecord before = readRecord(version);
        SettingsRecord r = before;
        upgradeAfterReading(r);
        EXPECT_TRUE(sameBytes(r, before));
    }
}

TEST(SettingsRecordUpgrade, Version40TakesAllSlidersFromMirrors) {
    for (int32_t version : {1, 40}) {
        SCOPED_TRACE(version);
        SettingsRecord r = readRecord(version);
        upgradeAfterReading(r);
        EXPECT_EQ(r.horizon, 61.0f);
        EXPECT_EQ(r.offset, 9.0f);
        expectSlidersFromMirrors(r);
        EXPECT_EQ(r.spin, 0.0f);
        EXPECT_EQ(r.version, version);
    }
}

TEST(SettingsRecordUpgrade, Version44KeepsHorizonAndOffsetFloats) {
    for (int32_t version : {41, 44}) {
        SCOPED_TRACE(version);
        SettingsRecord r = readRecord(version);
        upgradeAfterReading(r);
        EXPECT_EQ(r.horizon, 12.5f);
        EXPECT_EQ(r.offset, 3.25f);
        expectSlidersFromMirrors(r);
    }
}

TEST(SettingsRecordSnapshot, CenterAndExtraInt19StayInBothDirections) {
    SettingsRecord live = patternedRecord(0);
    fullReset(live);
    live.center = {0.25f, 0.75f};
    live.extraInt19 = 19;
    live.version = 45;
    live.horizon = 33.5f;
    live.spin = -90.0f;
    live.extraInt7 = 77;
    live.extraColor3 = {1, 2, 3};
    setSettingsName(live, "evening lake");

    SettingsRecord slot = patternedRecord(0);
    fullReset(slot);
    slot.center = {0.1f, 0.9f};
    slot.extraInt19 = -5;
    slot.version = 12;
    snapshotCopy(live, slot);
    EXPECT_EQ(slot.center.x, 0.1f);
    EXPECT_EQ(slot.center.y, 0.9f);
    EXPECT_EQ(slot.extraInt19, -5);
    EXPECT_EQ(slot.version, 12);
    EXPECT_EQ(slot.horizon, 33.5f);
    EXPECT_EQ(slot.spin, -90.0f);
    EXPECT_EQ(slot.extraInt7, 77);
    EXPECT_EQ(slot.extraColor3.blue, 3);
    EXPECT_EQ(settingsNameView(slot), "evening lake");

    // Back the other way after the live record moved on.
    live.horizon = 70.25f;
    live.spin = 90.0f;
    live.center = {0.6f, 0.4f};
    setSettingsName(live, "random settings");
    slot.spin = 90.0f;
    snapshotCopy(slot, live);
    EXPECT_EQ(live.horizon, 33.5f);
    EXPECT_EQ(live.spin, 90.0f);
    EXPECT_EQ(live.center.x, 0.6f);
    EXPECT_EQ(live.center.y, 0.4f);
    EXPECT_EQ(live.extraInt19, 19);
    EXPECT_EQ(live.version, 45);
    EXPECT_EQ(settingsNameView(live), "evening lake");
}

TEST(SettingsRecordSnapshot, UnterminatedNameIsCutAtTheBufferEnd) {
    SettingsRecord from = patternedRecord('a');
    SettingsRecord to = patternedRecord(0);
    snapshotCopy(from, to);
    EXPECT_EQ(settingsNameView(to), std::string(kSettingsNameSize - 1, 'a'));
    EXPECT_EQ(settingsNameView(from).size(), kSettingsNameSize);  // bounded, not overrun
}

TEST(SettingsRecord, NamesLongerThanTheBufferAreCut) {
    SettingsRecord r = patternedRecord(0x7F);
    setSettingsName(r, std::string(400, 'x'));
    EXPECT_EQ(settingsNameView(r).size(), kSettingsNameSize - 1);
    setSettingsName(r, "lake.q8r");
    // Storing part of its own text, as Save does when it cuts the extension.
    setSettingsName(r, settingsNameView(r).substr(0, 4));
    EXPECT_EQ(settingsNameView(r), "lake");
    setSettingsName(r, {});
    EXPECT_TRUE(settingsNameView(r).empty());
}

}  // namespace
}  // namespace mirel
