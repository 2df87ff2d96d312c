// Random settings: Dice draws a new, plausible look of the water (the ripple and
// surface sliders, the seed and the water colour, within ranges chosen per
// slider and per water style); Ecce draws only a new seed. The draws follow a
// fixed order, so one generator state always gives the same settings.
#pragma once

#include <cstdint>

#include "settings/settings_record.h"

namespace mirel {

// The classic linear congruential generator with values 0 to 32767, the range
// the draws below are made for (the C library's rand() is wider here).
class RandomGenerator {
  public:
    static constexpr int kMax = 32767;

    void seed(std::uint32_t seed) { state_ = seed; }
    std::uint32_t state() const { return state_; }
    int next() {
        state_ = state_ * 214013u + 2531011u;
        return int((state_ >> 16) & 0x7FFF);
    }

  private:
    std::uint32_t state_ = 1;
};

// A whole number lo..hi: 11 bits of a draw masked to the smallest 2^k - 1 that
// covers hi - lo, drawn again while above hi.
int drawUniform(RandomGenerator& random, int lo, int hi);
// 0, 0.001, ..., 0.999.
float drawUnit(RandomGenerator& random);

// Seeds are drawn from 0 to 2047.
constexpr std::int32_t kRandomSeedMask = 0x7FF;

// Dice: never touches horizon, offset, spin, style, output mode, light or centre;
// in the Simple style not the glitter colour either.
void randomizeSettings(SettingsRecord& record, RandomGenerator& random);
// Ecce.
void newRandomSeed(SettingsRecord& record, RandomGenerator& random);

// The name both give the settings.
constexpr const char* kRandomSettingsName = "random settings";

}  // namespace mirel
