// Settings from files and scripts can carry anything: a few thousand tiny
// renders with random settings from wide ranges, NaN and infinities included,
// must end with finite colours (and, in the sanitizer build, without a report).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

#include "cells_test_support.h"

namespace mirel::render {
namespace {

using testing::Scene;
using testing::TileGrid;

constexpr int kRenders = 2000;
constexpr int kSide = 16;
// The rendered tile: the middle of the picture, with its one-cell border inside it.
constexpr int kTileStart = 4, kTileEnd = 12;

class Wild {
  public:
    explicit Wild(std::uint32_t seed) : random_(seed) {}

    float slider() {
        constexpr float kInf = std::numeric_limits<float>::infinity();
        switch (pick(12)) {
            case 0:
                return std::numeric_limits<float>::quiet_NaN();
            case 1:
                return kInf;
            case 2:
                return -kInf;
            case 3:
                return 0.0f;
            case 4:
                return pick(2) ? 1e30f : -1e30f;
            case 5:
                return pick(2) ? 1e-30f : -1e-30f;
            case 6:
                return std::numeric_limits<float>::max();
            case 7:
                return uniform(-1000.0f, 1000.0f);
            default:
                return uniform(-10.0f, 110.0f);
        }
    }
    std::int32_t integer() {
        switch (pick(6)) {
            case 0:
                return std::numeric_limits<std::int32_t>::min();
            case 1:
                return std::numeric_limits<std::int32_t>::max();
            case 2:
                return -static_cast<std::int32_t>(pick(100));
            default:
                return static_cast<std::int32_t>(random_());
        }
    }
    std::int32_t small(int below) {
        return pick(8) == 0 ? integer() : static_cast<std::int32_t>(pick(below));
    }
    std::uint16_t channel() { return static_cast<std::uint16_t>(random_()); }

  private:
    unsigned pick(unsigned n) { return static_cast<unsigned>(random_() % n); }
    float uniform(float lo, float hi) {
        return std::uniform_real_distribution<float>(lo, hi)(random_);
    }
    std::mt19937 random_;
};

std::unique_ptr<image::TiledImage> gradientPicture() {
    auto picture = image::create(kSide, kSide, image::SampleFormat::Rgba8);
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) {
            image::writeRgba8(*picture, x, y, 0, x * 16u, y * 16u, 255u - x * 8u, 255u - y * 4u);
        }
    }
    image::buildPyramid(*picture, [](std::int32_t, const image::BandRect& rect,
                                     const image::BandBody& body) { body(rect); });
    return picture;
}

TEST(RenderRobustness, RandomSettingsGiveFiniteColours) {
    auto picture = gradientPicture();
    Wild wild(20240607u);
    for (int n = 0; n < kRenders; ++n) {
        Scene scene(picture.get());
        SettingsRecord& s = scene.settings;
        for (float* slider :
             {&s.horizon, &s.offset, &s.spin, &s.perspective, &s.altitude, &s.waviness,
              &s.complexity, &s.brilliance, &s.blur, &s.size, &s.height, &s.undulation, &s.center.x,
              &s.center.y, &s.lightDirection.x, &s.lightDirection.y, &s.lightDirection.z}) {
            if (wild.small(3) != 0) *slider = wild.slider();  // a third keep their default
        }
        s.waterStyle = wild.small(4);
        s.randomSeed = wild.integer();
        s.waterColor = Rgb16{wild.channel(), wild.channel(), wild.channel()};
        s.glitterColor = Rgb16{wild.channel(), wild.channel(), wild.channel()};
        scene.inputs.destination = wild.small(3);
        scene.inputs.zoom = wild.small(4);
        scene.inputs.panX = wild.small(kSide);
        scene.inputs.panY = wild.small(kSide);
        scene.inputs.hostWidth = wild.small(3) == 0 ? wild.integer() : kSide;
        scene.inputs.hostHeight = wild.small(3) == 0 ? wild.integer() : kSide;

        RenderContext& context = scene.prepare();
        TileGrid grid(kTileStart, kTileStart, kTileEnd, kTileEnd);
        renderTileCells(context, grid.tile);
        for (int b = kTileStart; b < kTileEnd; ++b) {
            for (int a = kTileStart; a < kTileEnd; ++a) {
                const float* c = grid.colour(a, b);
                for (int k = 0; k < 4; ++k) {
                    ASSERT_TRUE(std::isfinite(c[k]))
                        << "render " << n << " pixel " << a << "," << b << " channel " << k;
                }
            }
        }
    }
}

}  // namespace
}  // namespace mirel::render
