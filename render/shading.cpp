// Water shading and the preview overlays. Shading works in double precision on
// one sample at a time and writes the colour back as floats.
#include "render/shading.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/math/elementary.h"
#include "render/shading_math.h"

namespace mirel::render {
namespace {

// Below this up component a ray grazes the water and the contrast eases off.
constexpr double kGrazingUp = -0.05;
// Amplitudes of the Complex shading terms.
constexpr double kHighlightStrength = 0.12;
constexpr double kGlintScale = 2.70571 * 0.5;
constexpr double kSparkleGain = 1000.0;
constexpr double kGlitterGain = 1.8;
constexpr double kCrestTint = 0.18 * 0.001;
// The most unresolved slope variance the sparkle takes. Its distribution reads
// the half vector's up component as the second slope, about 1 on level water,
// so the factor exp(-1 / (2 variance)) is the far tail of the lobe: from the
// floor of 0.04 to the 0.07 that waviness 100 leaves unresolved at the horizon
// it grows some 200-fold and turns the horizon into a saturated white bar. Held
// here, rougher water sparkles at most about ten times more than at the floor.
constexpr double kMaxSparkleVariance = 0.05;

double lerp(double x, double y, double f) {
    return (y - x) * f + x;
}

float clamp01(double x) {
    if (!(x > 0.0)) return 0.0f;  // NaN too
    return x < 1.0 ? static_cast<float>(x) : 1.0f;
}

void shadeSimple(image::Rgba& colour, const CellRecord& cell, const RenderContext& context) {
    const float weight = cell.waterWeight;
    const float* water = context.waterRgba;
    colour.r = water[0] + (colour.r - water[0]) * weight;
    colour.g = water[1] + (colour.g - water[1]) * weight;
    colour.b = water[2] + (colour.b - water[2]) * weight;
}

void shadeComplex(image::Rgba& colour, const CellRecord& cell, const RenderContext& context) {
    const Vec3d n = cell.hitNormal;
    const Vec3d d = cell.rayDir;
    const Vec3d light = unitVector(context.lightDir);
    const double brilliance = context.brillianceFrac;

    // Fresnel: a grazing ray shows the reflected picture, a steep one the water.
    double cosView = -dotProduct(d, n);
    if (!(cosView > 0.0)) cosView = 0.0;
    const double fresnel = fastPow(1.0 - cosView, 4.0 - 3.5 * brilliance);

    const double crest = (cell.hitPoint.y - context.waviness4) * kCrestTint;
    double red = context.tintRed * crest + lerp(context.waterThird[0], colour.r, fresnel);
    double green = context.tintGreen * crest + lerp(context.waterThird[1], colour.g, fresnel);
    double blue = context.tintBlue * crest + lerp(context.waterThird[2], colour.b, fresnel);

    const double highlight = kHighlightStrength * highlightCurve(0.6 + 0.4 * dotProduct(light, n));
    red += context.tintRed * highlight;
    green += context.tintGreen * highlight;
    blue += context.tintBlue * highlight;

    // The sharp glint of the light mirrored in the resolved wave.
    const double dn = dotProduct(d, n);
    const Vec3d reflected{d.x - 2.0 * dn * n.x, d.y - 2.0 * dn * n.y, d.z - 2.0 * dn * n.z};
    double s = 1.0 - (1.0 - dotProduct(light, reflected)) * 1.3;
    if (!(s > 0.0)) s = 0.0;
    const double glintShape = glintCurve(s);
    double schlick = 0.02 + 0.98 * math::pow(1.0 + dn, 5.0);
    schlick = schlick < 0.0 ? 0.0 : (schlick > 1.0 ? 1.0 : schlick);
    const double glint = (schlick + 1.0) * glintShape * kGlintScale;

    // The sparkle of the waves too small to resolve.
    const Vec3d view{-d.x, -d.y, -d.z};
    const double sparkle =
        microfacetSparkle(light, view, n, std::min(cell.slopeSpread[0], kMaxSparkleVariance),
                          std::min(cell.slopeSpread[1], kMaxSparkleVariance));
    const double tone = sparkleTone(kSparkleGain * sparkle);

    const double glitter = (tone + glint) * kGlitterGain;
    red += glitter * context.glitterRgb[0];
    green += glitter * context.glitterRgb[1];
    blue += glitter * context.glitterRgb[2];

    double k = brilliance * 0.7 + 0.3;
    const double up = d.y;
    if (up > kGrazingUp) k = (1.0 - up / kGrazingUp) * ((k + 1.0) / 2.0 - k) + k;
    red = contrastCurve(red, k);
    green = contrastCurve(green, k);
    blue = contrastCurve(blue, k);

    if (context.highDynamicRange) {
        colour.r = static_cast<float>(red);
        colour.g = static_cast<float>(green);
        colour.b = static_cast<float>(blue);
    } else {
        colour.r = clamp01(red);
        colour.g = clamp01(green);
        colour.b = clamp01(blue);
        colour.a = clamp01(colour.a);
    }
}

// 1 on the line fading smoothly to 0 one pixel away.
float lineCoverage(double distance) {
    if (!(distance < 1.0)) return 0.0f;
    return static_cast<float>(1.0 - (3.0 - 2.0 * distance) * distance * distance);
}

}  // namespace

void shadeSample(image::Rgba& colour, const CellRecord& cell, const RenderContext& context) {
    switch (cell.kind) {
        case kKindSimpleWater:
            shadeSimple(colour, cell, context);
            break;
        case kKindComplexWater:
            shadeComplex(colour, cell, context);
            break;
        default:
            break;  // dry, no water, or nothing evaluated: the picture as read
    }
}

void compositeOver(image::Rgba& colour, float kr, float kg, float kb, float alpha) {
    if (!(alpha > 0.0f)) return;
    const float below = colour.a;
    const float coverage = alpha + below - alpha * below;
    const float share = coverage > 0.0f ? alpha / coverage : 1.0f;
    colour.a = below + (1.0f - below) * alpha;
    colour.r += (kr - colour.r) * share;
    colour.g += (kg - colour.g) * share;
    colour.b += (kb - colour.b) * share;
}

void drawOverlays(image::Rgba& colour, std::int32_t column, std::int32_t row,
                  const CellRecord* cell, const RenderContext& context) {
    if (context.destination != kDestinationPreview || !context.overlays) return;

    if (cell) {
        const double zoom = context.zoom > 1 ? context.zoom : 1;
        const double width = context.storeWidth / zoom;  // picture width in rendered pixels
        const float horizon = lineCoverage(std::fabs(cell->spunV - context.horizonY) * width * 0.5);
        const float offset = lineCoverage(std::fabs(cell->spunV - context.offsetY) * width * 0.5);
        // Most pixels lie on neither line, and there the dash does not matter.
        if (horizon > 0.0f || offset > 0.0f) {
            double dash = (math::sin(width * cell->spunH * 0.5) - 0.5) * 2.0;
            dash = dash > 0.0 ? (dash < 1.0 ? dash : 1.0) : 0.0;  // NaN gives no dash
            if (dash > 0.0) {
                compositeOver(colour, 1.0f, 0.0f, 1.0f, static_cast<float>(horizon * dash));
                compositeOver(colour, 0.0f, 1.0f, 0.0f, static_cast<float>(offset * dash));
            }
        }
    }

    // 64-bit differences: the centre may lie anywhere in the int range.
    const std::int64_t dx = std::llabs(static_cast<std::int64_t>(column) - context.centrePixelX);
    const std::int64_t dy = std::llabs(static_cast<std::int64_t>(row) - context.centrePixelY);
    const bool white = (dy == 0 && dx <= kCrossWhiteReach) || (dx == 0 && dy <= kCrossWhiteReach);
    const bool black = (dy <= 1 && dx <= kCrossBlackReach) || (dx <= 1 && dy <= kCrossBlackReach);
    if (white) {
        compositeOver(colour, 1.0f, 1.0f, 1.0f, kCrossAlpha);
    } else if (black) {
        compositeOver(colour, 0.0f, 0.0f, 0.0f, kCrossAlpha);
    }
}

}  // namespace mirel::render
