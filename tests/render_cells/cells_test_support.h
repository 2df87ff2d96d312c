// Shared set-up of the pixel evaluation tests: source pictures (uniform, or the
// sample photograph decoded with libjpeg), settings with their noise tables, and
// a single tile rendered straight through the cell passes.
#pragma once

#include <jpeglib.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "image/noise.h"
#include "image/pyramid.h"
#include "image/tiled_image.h"
#include "render/cells.h"
#include "render/render_context.h"
#include "settings/jpeg_codec.h"
#include "settings/settings_record.h"
#include "tests/support/scratch.h"

namespace mirel::render::testing {

// An Rgba8 picture of one colour with its pyramid.
inline std::unique_ptr<image::TiledImage> uniformPicture(int width, int height, std::uint32_t r,
                                                         std::uint32_t g, std::uint32_t b) {
    auto picture = image::create(width, height, image::SampleFormat::Rgba8);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) image::writeRgba8(*picture, x, y, 0, r, g, b, 255);
    }
    image::buildPyramid(*picture, [](std::int32_t, const image::BandRect& rect,
                                     const image::BandBody& body) { body(rect); });
    return picture;
}

// The sample photograph of the repository, decoded with libjpeg, pyramid built.
inline std::unique_ptr<image::TiledImage> samplePhotograph() {
    const std::string path = mirel::testing::sourceDir() + "/examples/aitzgorri_1600.jpg";
    std::ifstream file(path, std::ios::binary);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                    std::istreambuf_iterator<char>());
    if (bytes.empty()) return nullptr;

    // The size first, from the header alone.
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    const bool header = jpeg_read_header(&info, TRUE) == JPEG_HEADER_OK;
    const int width = static_cast<int>(info.image_width);
    const int height = static_cast<int>(info.image_height);
    jpeg_destroy_decompress(&info);
    if (!header) return nullptr;

    auto picture = image::create(width, height, image::SampleFormat::Rgba8);
    if (!picture || !decodeJpeg(bytes, *picture)) return nullptr;
    image::buildPyramid(*picture);
    return picture;
}

// Settings at their defaults with the noise tables of their seed.
struct Scene {
    SettingsRecord settings{};
    image::NoiseTables noise{};
    RenderInputs inputs{};
    image::TiledImage* source = nullptr;
    std::unique_ptr<RenderContext> context = std::make_unique<RenderContext>();

    explicit Scene(image::TiledImage* picture) : source(picture) {
        fullReset(settings);
        inputs.hostWidth = picture ? picture->baseWidth : 64;
        inputs.hostHeight = picture ? picture->baseHeight : 64;
    }
    RenderContext& prepare() {
        image::buildNoiseTables(noise, static_cast<std::uint32_t>(settings.randomSeed));
        inputs.settings = &settings;
        inputs.noise = &noise;
        prepareRenderContext(source, inputs, *context);
        return *context;
    }
};

// A tile's cell grid of its own, zero-filled like the worker pool's.
struct TileGrid {
    std::vector<CellRecord> cells;
    TileCells tile;

    TileGrid(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) {
        cells.assign(static_cast<std::size_t>(right - left + 2) * (bottom - top + 2), CellRecord{});
        tile = tileCells(cells.data(), left, top, right, bottom);
    }
    const float* colour(std::int32_t column, std::int32_t row) const {
        return cellAt(tile, column, row)->pixelColour;
    }
};

}  // namespace mirel::render::testing
