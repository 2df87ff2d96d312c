// The plug-in's request primitives and pixel conversions, called with the
// FilterRecord of the real host code on pictures made in memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "host/host_exchange.h"
#include "host/source_tiles.h"
#include "image/tiled_image.h"
#include "settings/parameter_block.h"
#include "tests/host_exchange/exchange_test_support.h"

namespace mirel::testing {
namespace {

using host_app::Picture;
using hostkit::FilterHost;
using hostkit::HostOptions;

std::uint16_t outSample16(const pi::FilterRecord& r, std::int32_t x, std::int32_t y, int plane) {
    const int planes = r.outHiPlane - r.outLoPlane + 1;
    std::uint16_t value;
    std::memcpy(&value,
                static_cast<const std::uint8_t*>(r.outData) + std::int64_t(y) * r.outRowBytes +
                    (std::int64_t(x) * planes + plane) * 2,
                2);
    return value;
}

// A preview buffer of the given size with every byte set to `fill`.
image::PreviewBuffer previewBuffer(int width, int height, int planes, std::uint8_t fill) {
    image::PreviewBuffer buffer;
    image::setPreviewBufferSize(buffer, {0, 0, height, width});
    EXPECT_TRUE(image::allocatePreviewPixels(buffer, planes));
    std::memset(buffer.pixels.get(), fill, std::size_t(width) * height * planes);
    return buffer;
}

std::vector<std::uint8_t> bytesOf(const image::PreviewBuffer& buffer) {
    const std::uint8_t* bytes = buffer.pixels.get();
    return {bytes, bytes + std::int64_t(buffer.planeSize) * buffer.planeCount};
}

std::uint8_t outSample8(const pi::FilterRecord& r, std::int32_t x, std::int32_t y, int plane) {
    const int planes = r.outHiPlane - r.outLoPlane + 1;
    return static_cast<const std::uint8_t*>(
        r.outData)[std::int64_t(y) * r.outRowBytes + x * planes + plane];
}

TEST(PixelClasses, FollowModeAndDepthInTheirOrder) {
    EXPECT_EQ(pixelClassOf(pi::kModeGrayScale, 8), PixelClass::Eight);
    EXPECT_EQ(pixelClassOf(pi::kModeRGBColor, 1), PixelClass::Eight);
    EXPECT_EQ(pixelClassOf(pi::kModeGray16, 16), PixelClass::Sixteen);
    EXPECT_EQ(pixelClassOf(pi::kModeRGB48, 16), PixelClass::Sixteen);
    EXPECT_EQ(pixelClassOf(pi::kModeRGB96, 32), PixelClass::Float);
    EXPECT_EQ(pixelClassOf(pi::kModeGray32, 16), PixelClass::Float);
    // Depth 32 makes any mode float; an 8-bit mode at depth 16 is none of the three.
    EXPECT_EQ(pixelClassOf(pi::kModeRGBColor, 32), PixelClass::Float);
    EXPECT_EQ(pixelClassOf(pi::kModeRGBColor, 16), PixelClass::Eight);

    const std::int32_t deep[][2] = {{10, 1}, {17, 1}, {11, 3}, {16, 3}, {12, 9},
                                    {13, 4}, {14, 7}, {15, 8}, {3, 3},  {7, 7}};
    for (const auto& [mode, shown] : deep) EXPECT_EQ(displayModeOf(mode), shown) << mode;

    EXPECT_EQ(fullScaleOf(PixelClass::Eight), 255.0f);
    EXPECT_EQ(fullScaleOf(PixelClass::Sixteen), 32768.0f);
    EXPECT_EQ(fullScaleOf(PixelClass::Float), 1.0f);
}

TEST(RequestRegion, ZoomAndPanSelectColumnsOfTheZoomedPicture) {
    // 16-bit so that every column number fits its sample.
    Picture picture = patternPicture(400, 12, 3, 16);
    for (std::int32_t y = 0; y < picture.height; ++y)
        for (std::int32_t x = 0; x < picture.width; ++x) {
            host_app::setSampleValue(picture, x, y, 0, float(x));
            host_app::setSampleValue(picture, x, y, 1, float(y));
        }
    FilterHost host(identityFilter(), picture);
    const auto activeHost = host.activate();
    pi::FilterRecord& r = host.record();

    const IntRect asked = requestRegion(r, {0, 0, 3, 100}, {3, 30, 0});
    EXPECT_EQ(asked, (IntRect{0, 10, 3, 110}));
    EXPECT_EQ(inRectOf(r), asked);
    EXPECT_EQ(outRectOf(r), asked);
    EXPECT_EQ(r.inputRate, 3 * 65536);
    EXPECT_EQ(r.maskRate, 3 * 65536);
    EXPECT_EQ(r.inLoPlane, 0);
    EXPECT_EQ(r.inHiPlane, 2);
    EXPECT_EQ(r.outHiPlane, 2);
    EXPECT_EQ(r.inputPadding, -1);
    EXPECT_EQ(r.outputPadding, -1);
    EXPECT_EQ(r.maskPadding, -1);
    EXPECT_EQ(r.autoMask, 0);
    EXPECT_EQ(r.inPreDummyPlanes + r.inPostDummyPlanes + r.outPreDummyPlanes + r.outPostDummyPlanes,
              0);

    ASSERT_EQ(advanceHost(r), 0);
    for (std::int32_t column = 0; column < 100; ++column) {
        image::Rgba pixel;
        ASSERT_TRUE(HostTile(r, {}).read(column, 2, pixel));
        // Column 10 + i of the picture at a third of its size is picture column 3 (10 + i).
        EXPECT_EQ(std::lround(pixel.r * 32768.0f), 3 * (10 + column)) << column;
        EXPECT_EQ(std::lround(pixel.g * 32768.0f), 6);
    }

    // The floating origin and a negative pan are divided toward zero too.
    r.floatCoord = {0, 9};
    EXPECT_EQ(requestRegion(r, {0, 0, 3, 100}, {3, 30, -4}), (IntRect{-1, 13, 2, 113}));
}

TEST(RequestRegion, LargePicturesUseThe32BitRectangles) {
    Picture picture = patternPicture(33000, 2, 1, 8);
    FilterHost host(identityFilter(), picture);
    const auto activeHost = host.activate();
    pi::FilterRecord& r = host.record();
    ASSERT_TRUE(usesBigDocument(r));
    EXPECT_EQ(filterRectOf(r).right, 33000);

    requestRegion(r, {0, 32900, 2, 33000}, {});
    EXPECT_EQ(r.bigDocumentData->inRect32.left, 32900);
    ASSERT_EQ(advanceHost(r), 0);
    image::Rgba pixel;
    ASSERT_TRUE(HostTile(r, {}).read(50, 1, pixel));
    EXPECT_EQ(std::lround(pixel.g * 255.0f),
              std::lround(host_app::sampleValue(picture, 32950, 1, 0)));
}

TEST(SourceTile, ANarrowPictureStillGives512EdgeReplicatedColumns) {
    Picture picture = patternPicture(100, 3, 3, 8);
    FilterHost host(identityFilter(), picture);
    const auto activeHost = host.activate();
    pi::FilterRecord& r = host.record();

    int rowsSeen = 0;
    const std::int16_t result =
        fillSourceTile(r, 0, 0, 3, [&](std::int32_t row, const SourceRow& samples) {
            ++rowsSeen;
            ASSERT_EQ(samples.columns, 512);
            ASSERT_EQ(samples.planes, 3);
            for (int c = 0; c < 3; ++c) {
                EXPECT_EQ(samples.samples[40 * 3 + c], host_app::sampleValue(picture, 40, row, c));
                EXPECT_EQ(samples.samples[511 * 3 + c], host_app::sampleValue(picture, 99, row, c));
            }
        });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(rowsSeen, 3);
    EXPECT_EQ(inRectOf(r), (IntRect{0, 0, 3, 512}));
    EXPECT_EQ(outRectOf(r), (IntRect{0, 0, 1, 1}));
    EXPECT_EQ(maskRectOf(r), (IntRect{0, 0, 1, 1}));
    EXPECT_EQ(r.inputRate, 65536);

    // Output is confined to the corner: a write elsewhere is skipped.
    HostTile tile(r, {});
    EXPECT_FALSE(tile.write(5, 0, {0.5f, 0.5f, 0.5f, 1.0f}));
    EXPECT_TRUE(tile.write(0, 0, {0.5f, 0.5f, 0.5f, 1.0f}));
}

TEST(Pixels, SixteenBitFullScaleReadsAsOneWritesBackAndShowsWhite) {
    Picture picture = patternPicture(4, 2, 3, 16);
    for (int c = 0; c < 3; ++c) {
        host_app::setSampleValue(picture, 0, 0, c, 32768.0f);
        host_app::setSampleValue(picture, 1, 0, c, 0.0f);
        host_app::setSampleValue(picture, 2, 0, c, 16384.0f);
    }
    FilterHost host(identityFilter(), picture);
    const auto activeHost = host.activate();
    pi::FilterRecord& r = host.record();

    requestRegion(r, {0, 0, 2, 4}, {});
    ASSERT_EQ(advanceHost(r), 0);
    image::Rgba pixel;
    ASSERT_TRUE(HostTile(r, {}).read(0, 0, pixel));
    EXPECT_EQ(pixel.r, 1.0f);
    EXPECT_EQ(pixel.a, 1.0f);
    HostTile tile(r, {});
    ASSERT_TRUE(tile.write(1, 0, pixel));
    EXPECT_EQ(outSample16(r, 1, 0, 0), 32768);
    // Out-of-range results are clamped rather than wrapped.
    ASSERT_TRUE(tile.write(3, 1, {2.0f, -1.0f, NAN, 1.0f}));
    EXPECT_EQ(outSample16(r, 3, 1, 0), 32768);
    EXPECT_EQ(outSample16(r, 3, 1, 1), 0);
    EXPECT_EQ(outSample16(r, 3, 1, 2), 0);

    image::PreviewBuffer preview = previewBuffer(4, 2, 3, 0);
    requestRegion(r, {0, 0, 2, 4}, {});
    ASSERT_EQ(readProxy(r, preview), 0);  // its first advance commits the write above
    const std::vector<std::uint8_t> planes = bytesOf(preview);
    EXPECT_EQ(host_app::sampleValue(picture, 1, 0, 0), 32768.0f);
    EXPECT_EQ(planes[0], 255);
    EXPECT_EQ(planes[1], 255);
    EXPECT_EQ(planes[2], 127);      // 16384 x 255 / 32768, rounded down
    EXPECT_EQ(planes[8 + 0], 255);  // plane 1
    EXPECT_EQ(r.inLoPlane, 0);
    EXPECT_EQ(r.inHiPlane, 2);
}

TEST(Pixels, FloatProxyClampsAndTruncates) {
    Picture picture = patternPicture(4, 1, 1, 32);
    host_app::setSampleValue(picture, 0, 0, 0, 1.5f);
    host_app::setSampleValue(picture, 1, 0, 0, -0.25f);
    host_app::setSampleValue(picture, 2, 0, 0, std::numeric_limits<float>::quiet_NaN());
    host_app::setSampleValue(picture, 3, 0, 0, 0.999f);
    FilterHost host(identityFilter(), picture);
    const auto activeHost = host.activate();
    pi::FilterRecord& r = host.record();

    requestRegion(r, {0, 0, 1, 4}, {});
    ASSERT_EQ(advanceHost(r), 0);
    image::Rgba pixel;
    ASSERT_TRUE(HostTile(r, {}).read(0, 0, pixel));
    EXPECT_EQ(pixel.g, 1.5f);  // floats pass unchanged

    image::PreviewBuffer plane = previewBuffer(4, 1, 1, 99);
    ASSERT_EQ(readProxy(r, plane), 0);
    EXPECT_EQ(bytesOf(plane), (std::vector<std::uint8_t>{255, 0, 0, 254}));
}

TEST(Pixels, GrayscaleHasOneProxyPlaneAndStoresGreen) {
    Picture picture = patternPicture(3, 2, 1, 8);
    FilterHost host(identityFilter(), picture);
    const auto activeHost = host.activate();
    pi::FilterRecord& r = host.record();
    EXPECT_EQ(r.planes, 1);

    requestRegion(r, {0, 0, 2, 3}, {});
    ASSERT_EQ(advanceHost(r), 0);
    image::Rgba pixel;
    ASSERT_TRUE(HostTile(r, {}).read(1, 1, pixel));
    EXPECT_EQ(pixel.r, pixel.g);
    EXPECT_EQ(pixel.b, pixel.g);
    ASSERT_TRUE(HostTile(r, {}).write(0, 0, {0.2f, 0.6f, 0.9f, 0.0f}));
    EXPECT_EQ(outSample8(r, 0, 0, 0), 153);

    // Only one plane is read, whatever room the buffer has.
    image::PreviewBuffer preview = previewBuffer(3, 2, 3, 77);
    ASSERT_EQ(readProxy(r, preview), 0);
    const std::vector<std::uint8_t> planes = bytesOf(preview);
    EXPECT_EQ(host.advanceStateCalls(), 2);
    EXPECT_EQ(host_app::sampleValue(picture, 0, 0, 0), 153.0f);  // committed by the proxy's advance
    EXPECT_EQ(planes[0], 153);
    EXPECT_EQ(planes[6], 77);
    EXPECT_EQ(planes[12], 77);
}

TEST(Pixels, EditableTransparencyReadsAndWritesAlphaProtectedDoesNot) {
    Picture picture = patternPicture(2, 1, 4, 8);
    host_app::setSampleValue(picture, 0, 0, 3, 51.0f);
    {
        FilterHost host(identityFilter(), picture);
        const auto activeHost = host.activate();
        pi::FilterRecord& r = host.record();
        ASSERT_EQ(r.filterCase, pi::kFilterCaseEditableTransparencyNoSelection);
        EXPECT_EQ(transparencyPlaneOf(r), 3);
        requestRegion(r, {0, 0, 1, 2}, {});
        ASSERT_EQ(advanceHost(r), 0);
        image::Rgba pixel;
        ASSERT_TRUE(HostTile(r, {}).read(0, 0, pixel));
        EXPECT_FLOAT_EQ(pixel.a, 0.2f);
        ASSERT_TRUE(HostTile(r, {}).write(0, 0, {0.0f, 0.0f, 0.0f, 0.6f}));
        EXPECT_EQ(outSample8(r, 0, 0, 3), 153);
        ASSERT_EQ(advanceHost(r), 0);
        EXPECT_EQ(host_app::sampleValue(picture, 0, 0, 3), 153.0f);
    }
    HostOptions preserve;
    preserve.preserveTransparency = true;
    FilterHost host(identityFilter(), picture, preserve);
    const auto activeHost = host.activate();
    pi::FilterRecord& r = host.record();
    ASSERT_EQ(r.filterCase, pi::kFilterCaseProtectedTransparencyNoSelection);
    requestRegion(r, {0, 0, 1, 2}, {});
    ASSERT_EQ(advanceHost(r), 0);
    image::Rgba pixel;
    ASSERT_TRUE(HostTile(r, {}).read(0, 0, pixel));
    EXPECT_EQ(pixel.a, 1.0f);
    ASSERT_TRUE(HostTile(r, {}).write(0, 0, {1.0f, 1.0f, 1.0f, 0.0f}));
    EXPECT_EQ(outSample8(r, 0, 0, 3), 153);  // untouched
    ASSERT_EQ(advanceHost(r), 0);
    EXPECT_EQ(host_app::sampleValue(picture, 0, 0, 0), 255.0f);
    EXPECT_EQ(host_app::sampleValue(picture, 0, 0, 3), 153.0f);
}

TEST(Pixels, PositionsOutsideTheRequestAreRefused) {
    Picture picture = patternPicture(8, 8, 3, 8);
    FilterHost host(identityFilter(), picture);
    const auto activeHost = host.activate();
    pi::FilterRecord& r = host.record();
    image::Rgba pixel;
    EXPECT_FALSE(HostTile(r, {}).read(0, 0, pixel));  // nothing delivered yet
    requestRegion(r, {2, 2, 4, 6}, {});
    ASSERT_EQ(advanceHost(r), 0);
    EXPECT_TRUE(HostTile(r, {}).read(3, 1, pixel));
    EXPECT_FALSE(HostTile(r, {}).read(4, 0, pixel));
    EXPECT_FALSE(HostTile(r, {}).read(0, 2, pixel));
    EXPECT_FALSE(HostTile(r, {}).read(-1, 0, pixel));
    EXPECT_FALSE(HostTile(r, {}).write(4, 0, pixel));
    EXPECT_FALSE(HostTile(r, {}).write(0, -1, pixel));
}

TEST(Pixels, PreviewAndExportDestinations) {
    pi::FilterRecord record{};
    image::PreviewBuffer planes = previewBuffer(4, 3, 3, 0);
    TileDestination toPreview;
    toPreview.destination = kDestinationPreview;
    toPreview.preview = &planes;
    toPreview.origin = {1, 1};
    HostTile preview(record, toPreview);
    ASSERT_TRUE(preview.write(0, 0, {0.2f, 0.6f, 1.0f, 1.0f}));
    EXPECT_EQ(planes.pixels[1 * 4 + 1], 51);
    EXPECT_EQ(planes.pixels[12 + 5], 153);
    EXPECT_EQ(planes.pixels[24 + 5], 255);
    // A position past the buffer lands on its last column.
    ASSERT_TRUE(preview.write(10, 0, {1.0f, 1.0f, 1.0f, 1.0f}));
    EXPECT_EQ(planes.pixels[1 * 4 + 3], 255);
    planes.planeCount = 1;
    ASSERT_TRUE(preview.write(0, 1, {0.0f, 0.4f, 0.0f, 1.0f}));
    EXPECT_EQ(planes.pixels[2 * 4 + 1], 102);

    auto exported = image::create(8, 8, image::SampleFormat::Rgba16);
    ASSERT_TRUE(exported);
    TileDestination toExport;
    toExport.destination = kDestinationExport;
    toExport.exportImage = exported.get();
    toExport.origin = {3, 2};
    ASSERT_TRUE(HostTile(record, toExport).write(1, 1, {1.0f, 0.5f, 0.0f, 1.0f}));
    const image::Rgba16Pixel stored = image::readRgba16(*exported, 3, 4, 0);
    EXPECT_EQ(stored.r, 32768);
    EXPECT_EQ(stored.g, 16384);
    toExport.exportImage = nullptr;
    EXPECT_FALSE(HostTile(record, toExport).write(0, 0, {}));
}

TEST(HostRequests, PaddingAndHostErrorsReachThePlugin) {
    Picture picture = patternPicture(4, 4, 3, 8);
    HostOptions failing;
    failing.advanceStateError = pi::kMemFullErr;
    {
        FilterHost host(identityFilter(), picture, failing);
        const auto activeHost = host.activate();
        pi::FilterRecord& r = host.record();
        image::PreviewBuffer preview = previewBuffer(4, 4, 3, 9);
        requestRegion(r, {0, 0, 4, 4}, {});
        EXPECT_EQ(readProxy(r, preview), pi::kMemFullErr);
        EXPECT_EQ(host.advanceStateCalls(), 1);  // the read stops at the first error
        EXPECT_EQ(preview.pixels[0], 9);
        EXPECT_EQ(r.inHiPlane, 2);
        EXPECT_EQ(fillSourceTile(r, 0, 0, 4, [](std::int32_t, const SourceRow&) { FAIL(); }),
                  pi::kMemFullErr);
    }
    FilterHost host(identityFilter(), picture);
    const auto activeHost = host.activate();
    pi::FilterRecord& r = host.record();
    requestRegion(r, {-1, 0, 1, 6}, {});
    r.inputPadding = 7;
    ASSERT_EQ(advanceHost(r), 0);
    image::Rgba pixel;
    ASSERT_TRUE(HostTile(r, {}).read(5, 1, pixel));
    EXPECT_FLOAT_EQ(pixel.r, 7.0f / 255.0f);
    ASSERT_TRUE(HostTile(r, {}).read(0, 0, pixel));
    EXPECT_FLOAT_EQ(pixel.r, 7.0f / 255.0f);
    r.inputPadding = pi::kPaddingErrorOnBoundsException;
    EXPECT_NE(advanceHost(r), 0);
    EXPECT_EQ(r.inData, nullptr);
    // A request larger than the host will hold is refused, not attempted.
    r.inputPadding = pi::kPaddingEdgeReplication;
    requestRegion(r, {0, 0, 60000, 60000}, {});
    r.bigDocumentData->PluginUsing32BitCoordinates = 1;
    setInRect(r, {0, 0, 60000, 60000});
    EXPECT_EQ(advanceHost(r), pi::kMemFullErr);
    // So is one row of 2^31 bytes, which the 32-bit row bytes cannot describe.
    setInRect(r, {0, 0, 1, 1 << 30});
    setOutRect(r, {});
    r.inHiPlane = r.inLoPlane + 1;  // two 8-bit planes
    EXPECT_EQ(advanceHost(r), pi::kMemFullErr);
    EXPECT_EQ(r.inData, nullptr);
}

TEST(HostRequests, EdgeReplicationRepeatsTheNearestPixelOnEverySide) {
    for (const int bits : {8, 16}) {
        Picture picture = patternPicture(5, 3, 3, bits);
        FilterHost host(identityFilter(), picture);
        const auto activeHost = host.activate();
        pi::FilterRecord& r = host.record();
        const int bytes = bits / 8;
        // Around the picture, beside it on the right and on the left, and above it.
        for (const IntRect rect : {IntRect{-2, -3, 5, 9}, IntRect{0, 6, 2, 9},
                                   IntRect{1, -5, 3, -1}, IntRect{-3, 1, -1, 3}}) {
            requestRegion(r, rect, {});
            r.inputPadding = pi::kPaddingEdgeReplication;
            ASSERT_EQ(advanceHost(r), 0);
            ASSERT_NE(r.inData, nullptr);
            for (std::int32_t y = rect.top; y < rect.bottom; ++y) {
                const auto* row = static_cast<const std::uint8_t*>(r.inData) +
                                  std::int64_t(y - rect.top) * r.inRowBytes;
                for (std::int32_t x = rect.left; x < rect.right; ++x) {
                    for (int c = 0; c < 3; ++c) {
                        const std::uint8_t* at = row + ((x - rect.left) * 3 + c) * bytes;
                        const double stored = bytes == 1 ? double(at[0]) : [&] {
                            std::uint16_t v;
                            std::memcpy(&v, at, 2);
                            return double(v);
                        }();
                        ASSERT_EQ(stored, host_app::sampleValue(picture, std::clamp(x, 0, 4),
                                                                std::clamp(y, 0, 2), c))
                            << bits << " bits at " << x << ", " << y << " of rect " << rect.left;
                    }
                }
            }
        }
    }
}

TEST(HostRequests, MaskAndICCProfileAreOffered) {
    Picture picture = patternPicture(6, 2, 3, 8);
    picture.iccProfile = {1, 2, 3, 4, 5};
    Picture mask = patternPicture(6, 2, 1, 8);
    FilterHost host(identityFilter(), picture);
    host.setMask(&mask);
    const auto activeHost = host.activate();
    pi::FilterRecord& r = host.record();
    EXPECT_EQ(r.haveMask, 1);
    EXPECT_EQ(r.filterCase, pi::kFilterCaseFlatImageWithSelection);
    EXPECT_EQ(r.canUseICCProfiles, 1);
    ASSERT_EQ(r.iCCprofileSize, 5);
    const char* profile = r.handleProcs->lockProc(r.iCCprofileData, 0);
    ASSERT_NE(profile, nullptr);
    EXPECT_EQ(std::vector<std::uint8_t>(profile, profile + 5), picture.iccProfile);
    r.handleProcs->unlockProc(r.iCCprofileData);

    requestRegion(r, {0, 0, 1, 3}, {2, 0, 0});
    EXPECT_EQ(maskRectOf(r), (IntRect{0, 0, 1, 3}));
    ASSERT_EQ(advanceHost(r), 0);
    const auto* maskRow = static_cast<const std::uint8_t*>(r.maskData);
    for (int x = 0; x < 3; ++x)
        EXPECT_EQ(maskRow[x], host_app::sampleValue(mask, 2 * x, 0, 0)) << x;
}

TEST(SourceLoad, FillsLevelZeroRawWithAlphaOnlyForEditableTransparency) {
    Picture picture = patternPicture(600, 3, 4, 8);
    FilterHost host(identityFilter(), picture);
    const auto activeHost = host.activate();
    pi::FilterRecord& r = host.record();
    ASSERT_EQ(sourceFormatCodeFor(r), std::int32_t(image::SampleFormat::Rgba8));
    auto source = image::create(600, 3, image::SampleFormat::Rgba8);
    ASSERT_TRUE(source);
    ASSERT_EQ(fillFromHost(*source, r), 0);
    EXPECT_EQ(source->contentState, image::kContentFilled);
    EXPECT_TRUE(inRectOf(r).empty());  // the request is put back as it was
    auto packed = [&](std::int32_t x, std::int32_t y) {
        auto v = [&](int c) { return std::uint32_t(host_app::sampleValue(picture, x, y, c)); };
        return image::packRgba8(v(0), v(1), v(2), v(3));
    };
    for (std::int32_t x : {0, 511, 512, 599})
        EXPECT_EQ(image::readRgba8(*source, x, 2, 0), packed(x, 2)) << x;
    // The padding of the right tile repeats the last column.
    std::uint32_t padding;
    std::memcpy(&padding, source->tiles[1].pixels.get() + (512 * 1 + 511) * 4, 4);
    EXPECT_EQ(padding, packed(599, 1));

    Picture deep = patternPicture(20, 2, 1, 16);
    FilterHost deepHost(identityFilter(), deep);
    const auto activeDeepHost = deepHost.activate();
    auto deepSource = image::create(20, 2, image::SampleFormat::Rgba16);
    ASSERT_EQ(fillFromHost(*deepSource, deepHost.record()), 0);
    const image::Rgba16Pixel pixel = image::readRgba16(*deepSource, 7, 1, 0);
    const auto grey = std::uint16_t(host_app::sampleValue(deep, 7, 1, 0));
    EXPECT_EQ(pixel.r, grey);
    EXPECT_EQ(pixel.g, grey);
    EXPECT_EQ(pixel.b, grey);
    EXPECT_EQ(pixel.a, 32768);

    HostOptions failing;
    failing.advanceStateError = pi::kMemFullErr;
    FilterHost failingHost(identityFilter(), deep, failing);
    const auto activeFailingHost = failingHost.activate();
    auto unfilled = image::create(20, 2, image::SampleFormat::Rgba16);
    EXPECT_EQ(fillFromHost(*unfilled, failingHost.record()), pi::kMemFullErr);
    EXPECT_EQ(unfilled->contentState, image::kContentAllocated);
}

TEST(FinalApply, ReportsProgressPollsAbortPerTileAndPutsTheRequestBack) {
    Picture picture = patternPicture(64, 64, 3, 8);
    HostOptions options;
    options.abortAfterPolls = 2;
    FilterHost host(identityFilter(), picture, options);
    const auto activeHost = host.activate();
    pi::FilterRecord& r = host.record();
    const SavedRequest before = saveRequest(r);

    TileExchange apply = beginFinalApply(r, false);
    ASSERT_FALSE(host.progressLog().empty());
    EXPECT_EQ(host.progressLog().front(), std::make_pair(2, 100));
    EXPECT_EQ(inRectOf(r), (IntRect{0, 0, 64, 64}));
    EXPECT_EQ(maskRectOf(r), (IntRect{0, 0, 1, 1}));

    int composed = 0;
    auto compose = [&] {
        ++composed;
        ASSERT_TRUE(HostTile(r, {}).write(0, 0, {0.0f, 0.0f, 0.0f, 1.0f}));
    };
    EXPECT_EQ(collectTile(r, apply, {0, 0, 32, 64}, compose), 0);
    EXPECT_EQ(collectTile(r, apply, {32, 0, 64, 32}, compose), 0);
    EXPECT_EQ(collectTile(r, apply, {32, 32, 64, 64}, compose), pi::kUserCanceledErr);
    EXPECT_EQ(collectTile(r, apply, {32, 32, 64, 64}, compose), pi::kUserCanceledErr);
    EXPECT_EQ(composed, 2);
    EXPECT_EQ(host.abortPolls(), 3);
    reportApplyProgress(r, 0.5);
    EXPECT_EQ(host.progressLog().back(), std::make_pair(501, 1000));

    EXPECT_EQ(endExchange(r, apply), pi::kUserCanceledErr);
    EXPECT_EQ(inRectOf(r), before.in);
    EXPECT_EQ(outRectOf(r), before.out);
    EXPECT_EQ(r.inputRate, before.inputRate);

    // After a host error no further tile is asked for.
    HostOptions failing;
    failing.advanceStateError = pi::kMemFullErr;
    FilterHost failingHost(identityFilter(), picture, failing);
    const auto activeFailingHost = failingHost.activate();
    TileExchange failed = beginFinalApply(failingHost.record(), false);
    EXPECT_EQ(collectTile(failingHost.record(), failed, {0, 0, 8, 8}, compose), pi::kMemFullErr);
    EXPECT_EQ(collectTile(failingHost.record(), failed, {8, 0, 16, 8}, compose), pi::kMemFullErr);
    EXPECT_EQ(failingHost.advanceStateCalls(), 1);
    EXPECT_EQ(composed, 2);
}

}  // namespace
}  // namespace mirel::testing
