// The PSD writer's bytes for small documents of each depth, read back by the
// tests' reader (which checks every section length), and the file replacement
// when a write fails.
#include "export/psd_writer.h"

#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "settings/metadata.h"
#include "tests/export/psd_reader.h"
#include "tests/support/scratch.h"

namespace mirel::testing {
namespace {

using psd::PsdExportSpec;
using psd::PsdMetadata;

// Channel values of the test layers: transparency in a few fixed columns, the
// colours varying with the position.
constexpr std::int32_t kClearColumn = 0;   // alpha 0
constexpr std::int32_t kOpaqueColumn = 1;  // full alpha
constexpr std::int32_t kHalfColumn = 2;    // alpha of about a half, colour 0

PsdExportSpec specOf(std::int32_t width, std::int32_t height, std::int32_t bytes) {
    PsdExportSpec spec;
    spec.width = width;
    spec.height = height;
    spec.bytesPerSample = bytes;
    return spec;
}

PsdMetadata metadataWith(std::vector<std::uint8_t> profile = {}) {
    PsdMetadata metadata;
    metadata.iccProfile = std::move(profile);
    metadata.iptc = makeIptcBlock({}, os::UtcDate{2024, 5, 17, 0, 0, 0});
    metadata.exif = makeExifBlock();
    return metadata;
}

std::unique_ptr<image::TiledImage> makeLayer(const PsdExportSpec& spec) {
    auto layer = image::create(spec.width, spec.height, psd::layerFormatFor(spec.bytesPerSample));
    for (std::int32_t y = 0; y < spec.height; ++y) {
        for (std::int32_t x = 0; x < spec.width; ++x) {
            const std::uint32_t r = (x * 7 + y) & 255, g = (x + y * 3) & 255, b = (x * y) & 255;
            std::uint32_t a = (x * 13 + y * 5) & 255;
            if (x == kClearColumn) a = 0;
            if (x == kOpaqueColumn) a = 255;
            const bool half = x == kHalfColumn;
            switch (spec.bytesPerSample) {
                case 1:
                    image::writeRgba8(*layer, x, y, 0, half ? 0 : r, g, b, half ? 128 : a);
                    break;
                case 2:
                    image::writeRgba16(*layer, x, y, 0,
                                       {std::uint16_t(half ? 0 : r * 128), std::uint16_t(g * 128),
                                        std::uint16_t(b * 128),
                                        std::uint16_t(half       ? 16384
                                                      : a == 255 ? 32768
                                                                 : a * 128)});
                    break;
                default:
                    image::writeRgbaFloat(*layer, x, y, 0,
                                          {float(r) / 100.0f, -float(g) / 255.0f, float(b) / 255.0f,
                                           float(a) / 255.0f});
            }
        }
    }
    return layer;
}

PsdDocument writeAndRead(const PsdExportSpec& spec, const PsdMetadata& metadata,
                         const image::TiledImage& layer) {
    MemorySink sink;
    {
        BigEndianWriter out(sink);
        EXPECT_EQ(psd::writePsd(out, spec, metadata, layer), psd::kPsdWritten);
    }
    EXPECT_EQ(sink.bytes().size(), psd::documentLength(spec, metadata));
    PsdDocument doc;
    std::string error;
    EXPECT_TRUE(readPsd(sink.bytes(), doc, error)) << error;
    return doc;
}

std::vector<std::uint16_t> resourceIds(const PsdDocument& doc) {
    std::vector<std::uint16_t> ids;
    for (const PsdResource& r : doc.resources) ids.push_back(r.id);
    return ids;
}

void expectLayerRecord(const PsdDocument& doc, std::uint32_t channelLength, std::uint8_t flags) {
    ASSERT_EQ(doc.layers.size(), 1u);
    const PsdLayer& layer = doc.layers[0];
    EXPECT_EQ((std::vector{layer.top, layer.left, layer.bottom, layer.right}),
              (std::vector{0, 0, std::int32_t(doc.height), std::int32_t(doc.width)}));
    EXPECT_EQ(layer.name, "layer 1");
    EXPECT_EQ(layer.blendMode, "norm");
    EXPECT_EQ(layer.opacity, 255);
    EXPECT_EQ(layer.flags, flags);
    EXPECT_EQ(layer.extraLength, 56u);
    EXPECT_EQ(layer.blendingRanges.size(), 40u);
    ASSERT_EQ(layer.channels.size(), 4u);
    const std::int16_t ids[] = {-1, 0, 1, 2};
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(layer.channels[c].id, ids[c]);
        EXPECT_EQ(layer.channels[c].length, channelLength);
        EXPECT_EQ(layer.channels[c].compression, 0);
    }
}

TEST(PsdWriter, EightBitDocument) {
    const PsdExportSpec spec = specOf(100, 100, 1);
    const PsdMetadata metadata = metadataWith();
    const auto layer = makeLayer(spec);
    const PsdDocument doc = writeAndRead(spec, metadata, *layer);

    EXPECT_EQ((std::vector<int>{doc.version, doc.channels, doc.depth, doc.mode}),
              (std::vector<int>{1, 3, 8, 3}));
    EXPECT_TRUE(doc.colourModeData.empty());
    EXPECT_EQ(resourceIds(doc),
              (std::vector<std::uint16_t>{1001, 1005, 1011, 1016, 1035, 1028, 1058, 1024, 1026}));
    EXPECT_EQ(doc.resourcesLength, 318 + 22 + (12 + metadata.iptc.size()) + (12 + 38) + 28);
    EXPECT_EQ(doc.resource(1024)->data, (std::vector<std::uint8_t>{0, 1}));
    const std::vector<std::uint8_t>& iptc = doc.resource(1028)->data;
    const auto datasets = parseIptcBlock(iptc.data(), iptc.size());
    ASSERT_EQ(datasets.size(), 5u);
    EXPECT_EQ(datasets[2].data, "20240517");
    EXPECT_EQ(datasets[4].data, "Mirel");

    EXPECT_EQ(doc.layerInfoLength, 40124u);
    EXPECT_EQ(doc.layerAndMaskLength, 40124u + 8);
    EXPECT_TRUE(doc.tagged.empty());
    expectLayerRecord(doc, 10002, 0x28);
    for (std::int32_t y = 0; y < spec.height; ++y) {
        for (std::int32_t x = 0; x < spec.width; ++x) {
            const std::uint32_t word = image::readRgba8(*layer, x, y, 0);
            ASSERT_EQ(doc.layerSample(0, x, y), word & 255);
            ASSERT_EQ(doc.layerSample(1, x, y), word >> 24);
            ASSERT_EQ(doc.layerSample(2, x, y), (word >> 16) & 255);
            ASSERT_EQ(doc.layerSample(3, x, y), (word >> 8) & 255);
        }
    }

    // Merged: four planes over the 8 x 8 checkerboard.
    EXPECT_EQ(doc.merged.size(), 4 * 100 * 100u);
    EXPECT_EQ(doc.mergedSample(0, kClearColumn, 0), 255u);  // light square
    EXPECT_EQ(doc.mergedSample(1, kClearColumn, 8), 204u);  // dark square
    EXPECT_EQ(doc.mergedSample(2, kClearColumn, 16), 255u);
    EXPECT_EQ(doc.mergedSample(0, kOpaqueColumn, 5), (kOpaqueColumn * 7 + 5) & 255u);
    EXPECT_EQ(doc.mergedSample(0, kHalfColumn, 0), 127u);  // 255 x 127 / 255
    EXPECT_EQ(doc.mergedSample(0, kHalfColumn, 9), 101u);  // 204 x 127 / 255
    // The fourth plane puts the transparency itself through the same formula.
    EXPECT_EQ(doc.mergedSample(3, kHalfColumn, 0), 191u);  // (255 x 127 + 128 x 128) / 255
    EXPECT_EQ(doc.mergedSample(3, kOpaqueColumn, 0), 255u);
}

TEST(PsdWriter, SixteenBitDocumentWithAnOddSizedProfile) {
    const PsdExportSpec spec = specOf(20, 10, 2);
    std::vector<std::uint8_t> profile(131);
    for (std::size_t i = 0; i < profile.size(); ++i) profile[i] = std::uint8_t(i * 3 + 1);
    const PsdMetadata withProfile = metadataWith(profile);
    const auto layer = makeLayer(spec);
    const PsdDocument doc = writeAndRead(spec, withProfile, *layer);

    EXPECT_EQ(doc.channels, 4);
    EXPECT_EQ(doc.depth, 16);
    EXPECT_EQ(resourceIds(doc), (std::vector<std::uint16_t>{1001, 1005, 1011, 1016, 1035, 1039,
                                                            1028, 1058, 1024, 1026}));
    EXPECT_EQ(doc.resource(1039)->size, 131u);
    EXPECT_EQ(doc.resource(1039)->data, profile);
    EXPECT_EQ(doc.resourcesLength, psd::imageResourcesLength(spec, metadataWith()) + 12 + 132);

    // The layer lives in "Lr16" after an empty layer section and "Mt16".
    ASSERT_EQ(doc.tagged.size(), 2u);
    EXPECT_EQ(doc.tagged[0].key, "Mt16");
    EXPECT_EQ(doc.tagged[0].length, 0u);
    EXPECT_EQ(doc.tagged[1].key, "Lr16");
    const std::uint32_t l = 2 + 114 + 4 * (20 * 10 * 2) + 8;
    EXPECT_EQ(doc.layerInfoLength, l);
    EXPECT_EQ(doc.layerAndMaskLength, (l + 4 + 3) / 4 * 4 + 28);
    expectLayerRecord(doc, 20 * 10 * 2 + 2, 0x28);

    // Samples are doubled, full scale becoming 65535.
    EXPECT_EQ(doc.layerSample(0, kOpaqueColumn, 3), 65535u);
    EXPECT_EQ(doc.layerSample(0, kHalfColumn, 3), 32768u);
    EXPECT_EQ(doc.layerSample(2, 4, 3), ((4 + 3 * 3) & 255) * 256u);

    // Merged: colour over the checkerboard, then two planes of 65535.
    EXPECT_EQ(doc.merged.size(), 5 * 20 * 10 * 2u);
    EXPECT_EQ(doc.mergedSample(0, kClearColumn, 0), 65280u);  // 32640 x 2
    EXPECT_EQ(doc.mergedSample(0, kClearColumn, 8), 52224u);  // 26112 x 2
    EXPECT_EQ(doc.mergedSample(1, kOpaqueColumn, 0), psd::fileSample16(((1 + 0) & 255) * 128));
    EXPECT_EQ(doc.mergedSample(0, kHalfColumn, 0), 32640u);  // half of the light tone
    for (std::uint32_t y = 0; y < 10; ++y) {
        for (std::uint32_t x = 0; x < 20; ++x) {
            ASSERT_EQ(doc.mergedSample(3, x, y), 65535u);
            ASSERT_EQ(doc.mergedSample(4, x, y), 65535u);
        }
    }
}

TEST(PsdWriter, FloatDocument) {
    const PsdExportSpec spec = specOf(9, 9, 4);
    const auto layer = makeLayer(spec);
    const PsdDocument doc = writeAndRead(spec, metadataWith(), *layer);

    EXPECT_EQ(doc.channels, 3);
    EXPECT_EQ(doc.depth, 32);
    // No toning record: GIMP 2.10 rejects RGB documents with colour mode data.
    EXPECT_TRUE(doc.colourModeData.empty());
    EXPECT_EQ(resourceIds(doc), (std::vector<std::uint16_t>{1001, 1005, 1011, 1016, 1035, 1028,
                                                            1058, 1069, 1072, 1024, 1026}));
    EXPECT_EQ(doc.resource(1069)->data, (std::vector<std::uint8_t>{0, 1, 0, 0, 0, 0x0C}));
    EXPECT_EQ(doc.resource(1072)->data, (std::vector<std::uint8_t>{1}));

    ASSERT_EQ(doc.tagged.size(), 4u);
    EXPECT_EQ(doc.tagged[0].key, "Mt32");
    EXPECT_EQ(doc.tagged[1].key, "Lr32");
    EXPECT_EQ(doc.tagged[2].key, "LMsk");
    EXPECT_EQ(doc.tagged[2].length, 14u);
    EXPECT_EQ(doc.tagged[3].key, "Pat3");
    const std::uint32_t l = 2 + 114 + 4 * (9 * 9 * 4) + 8;
    EXPECT_EQ(doc.layerAndMaskLength, (l + 4 + 3) / 4 * 4 + 68);
    expectLayerRecord(doc, 9 * 9 * 4 + 2, 0x08);

    // Floats as they are, out-of-range values included, in the merged image too.
    auto bits = [](float v) {
        std::uint32_t b;
        std::memcpy(&b, &v, 4);
        return b;
    };
    EXPECT_EQ(doc.layerSample(1, 8, 2), bits(((8 * 7 + 2) & 255) / 100.0f));
    EXPECT_EQ(doc.layerSample(2, 3, 4), bits(-((3 + 4 * 3) & 255) / 255.0f));
    EXPECT_EQ(doc.merged.size(), 4 * 9 * 9 * 4u);
    EXPECT_EQ(doc.mergedSample(0, 8, 2), bits(((8 * 7 + 2) & 255) / 100.0f));
    EXPECT_EQ(doc.mergedSample(3, kOpaqueColumn, 0), bits(1.0f));
    EXPECT_EQ(doc.mergedSample(3, kClearColumn, 0), bits(0.0f));
}

TEST(PsdWriter, RefusesWhatTheFormatCannotHold) {
    const PsdMetadata metadata = metadataWith();
    EXPECT_TRUE(psd::documentFits(specOf(30000, 30000, 1), metadata));
    EXPECT_FALSE(psd::documentFits(specOf(30001, 10, 1), metadata));
    EXPECT_FALSE(psd::documentFits(specOf(10, 0, 1), metadata));
    EXPECT_FALSE(psd::documentFits(specOf(10, 10, 3), metadata));
    // Four 16-bit channels of 30000 x 30000 overflow the layer's 32-bit length.
    EXPECT_FALSE(psd::documentFits(specOf(30000, 30000, 2), metadata));
    EXPECT_TRUE(psd::documentFits(specOf(23000, 23000, 2), metadata));

    // An image that does not match the description: nothing is written.
    const auto layer = makeLayer(specOf(8, 8, 1));
    MemorySink sink;
    {
        BigEndianWriter out(sink);
        EXPECT_EQ(psd::writePsd(out, specOf(8, 8, 2), metadata, *layer), psd::kPsdUnsupported);
        EXPECT_EQ(psd::writePsd(out, specOf(8, 9, 1), metadata, *layer), psd::kPsdUnsupported);
    }
    EXPECT_TRUE(sink.bytes().empty());
}

// ---- Files --------------------------------------------------------------------------

std::string contentsOf(const std::string& path) {
    const std::vector<std::uint8_t> bytes = readWholeFile(path);
    return {bytes.begin(), bytes.end()};
}

void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

PsdDocument readBack(const std::string& path) {
    PsdDocument doc;
    std::string error;
    EXPECT_TRUE(readPsd(readWholeFile(path), doc, error)) << error;
    return doc;
}

// Write failures made with a file-size limit, and the readers of other programs.
#if !defined(_WIN32)
std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    return names;
}

TEST(PsdFile, AnOldFileIsReplacedOnlyByACompleteDocument) {
    const std::string folder = scratchFolder();
    const std::string path = folder + "water.psd";
    writeText(path, "an older picture");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    const PsdExportSpec spec = specOf(100, 100, 1);
    const auto layer = makeLayer(spec);

    // The disk fills up part-way: a child process may write only 4 KiB.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const std::int16_t result = psd::writePsdFile(path, spec, metadataWith(), *layer);
        ::_exit(result == psd::kPsdWriteFailed ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the write did not report its failure";
    EXPECT_EQ(contentsOf(path), "an older picture");
    EXPECT_EQ(namesIn(folder), std::vector<std::string>{"water.psd"});

    // A folder that does not exist, or a folder in the file's place.
    EXPECT_EQ(psd::writePsdFile(folder + "missing/water.psd", spec, metadataWith(), *layer),
              psd::kPsdWriteFailed);
    std::filesystem::create_directory(folder + "a folder.psd");
    EXPECT_EQ(psd::writePsdFile(folder + "a folder.psd", spec, metadataWith(), *layer),
              psd::kPsdWriteFailed);
    std::filesystem::remove(folder + "a folder.psd");

    // A complete document takes the old file's place and its permissions.
    ASSERT_EQ(psd::writePsdFile(path, spec, metadataWith(), *layer), psd::kPsdWritten);
    readBack(path);
    struct stat info;
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(namesIn(folder), std::vector<std::string>{"water.psd"});
}

// ImageMagick's convert when it is installed (the real one, not a stand-in).
std::string imageMagick() {
    const std::string path = "/usr/bin/convert";
    if (!std::filesystem::exists(path)) return {};
    std::FILE* pipe = ::popen((path + " -version").c_str(), "r");
    if (!pipe) return {};
    char line[256] = {};
    const bool found = std::fgets(line, sizeof line, pipe) && std::strstr(line, "ImageMagick");
    ::pclose(pipe);
    return found ? path : std::string();
}

// A frame of a document as ImageMagick reads it: red, green, blue, alpha, 0..1.
std::vector<float> readWithImageMagick(const std::string& tool, const std::string& path,
                                       int frame) {
    const std::string command =
        tool + " '" + path + "[" + std::to_string(frame) + "]' -depth 16 -endian MSB rgba:-";
    std::vector<float> samples;
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return samples;
    std::uint8_t pair[2];
    while (std::fread(pair, 1, 2, pipe) == 2)
        samples.push_back(float(pair[0] << 8 | pair[1]) / 65535.0f);
    ::pclose(pipe);
    return samples;
}

// A sample of the document normalised to 0..1 as a reader shows it.
float shown(const PsdDocument& doc, std::uint32_t sample) {
    switch (doc.depth) {
        case 8:
            return float(sample) / 255.0f;
        case 16:
            return float(sample) / 65535.0f;
        default: {
            float value;
            std::memcpy(&value, &sample, 4);
            return std::clamp(value, 0.0f, 1.0f);  // ImageMagick keeps no high dynamic range
        }
    }
}

TEST(PsdFile, ImageMagickReadsEveryDepth) {
    const std::string tool = imageMagick();
    if (tool.empty()) GTEST_SKIP() << "ImageMagick is not installed";
    const std::string folder = scratchFolder();
    for (const std::int32_t bytes : {1, 2, 4}) {
        SCOPED_TRACE(bytes);
        const PsdExportSpec spec = specOf(24, 16, bytes);
        const std::string path = folder + "depth" + std::to_string(bytes) + ".psd";
        ASSERT_EQ(psd::writePsdFile(path, spec, metadataWith(), *makeLayer(spec)),
                  psd::kPsdWritten);
        const PsdDocument doc = readBack(path);
        const std::vector<float> layer = readWithImageMagick(tool, path, 1);
        const std::vector<float> merged = readWithImageMagick(tool, path, 0);
        ASSERT_EQ(layer.size(), 24 * 16 * 4u);
        ASSERT_EQ(merged.size(), 24 * 16 * 4u);
        double largest = 0.0;
        for (std::uint32_t y = 0; y < 16; ++y) {
            for (std::uint32_t x = 0; x < 24; ++x) {
                const std::size_t at = (y * 24 + x) * 4;
                for (int c = 0; c < 3; ++c) {
                    largest =
                        std::max(largest, std::fabs(double(layer[at + c]) -
                                                    shown(doc, doc.layerSample(c + 1, x, y))));
                    largest = std::max(largest, std::fabs(double(merged[at + c]) -
                                                          shown(doc, doc.mergedSample(c, x, y))));
                }
                largest = std::max(largest, std::fabs(double(layer[at + 3]) -
                                                      shown(doc, doc.layerSample(0, x, y))));
            }
        }
        EXPECT_LE(largest, 1.0 / 255.0);
    }
}

// Debian's psd-tools, when it is installed: the reader many scripts use.
bool psdToolsInstalled() {
    return std::filesystem::exists("/usr/bin/python3") &&
           std::system("/usr/bin/python3 -c 'import psd_tools' >/dev/null 2>&1") == 0;
}

// What psd-tools reads from a document: the layer's name, size and channel
// count, whether the profile came through, and the layer's and the merged
// image's samples (red, green, blue, alpha; 0..1, floats as they are).
struct PsdToolsView {
    std::string name;
    int width = 0, height = 0, channels = 0;
    std::size_t profileBytes = 0;
    std::vector<float> layer, merged;
};

PsdToolsView readWithPsdTools(const std::string& folder, const std::string& path) {
    const std::string script = folder + "read_psd.py";
    std::ofstream(script) << R"(import sys
from psd_tools import PSDImage
import numpy as np
doc = PSDImage.open(sys.argv[1])
layer = doc[0]
profile = doc.image_resources.get_data(1039) or b''
sys.stdout.write('%s|%d|%d|%d|%d\n' % (layer.name, layer.width, layer.height,
                 len(layer._record.channel_info), len(profile)))
sys.stdout.flush()
merged = doc.numpy()[:, :, :3]
sys.stdout.buffer.write(np.ascontiguousarray(layer.numpy(), dtype='<f4').tobytes())
sys.stdout.buffer.write(np.ascontiguousarray(merged, dtype='<f4').tobytes())
)";
    PsdToolsView view;
    std::FILE* pipe = ::popen(("/usr/bin/python3 '" + script + "' '" + path + "'").c_str(), "r");
    if (!pipe) return view;
    char line[512] = {};
    if (std::fgets(line, sizeof line, pipe)) {
        std::string text(line);
        const auto bar = text.find('|');
        view.name = text.substr(0, bar);
        std::sscanf(text.c_str() + bar + 1, "%d|%d|%d|%zu", &view.width, &view.height,
                    &view.channels, &view.profileBytes);
        std::vector<float> all;
        float value;
        while (std::fread(&value, sizeof value, 1, pipe) == 1) all.push_back(value);
        const std::size_t layerFloats = std::size_t(view.width) * view.height * 4;
        if (all.size() >= layerFloats) {
            view.layer.assign(all.begin(), all.begin() + std::ptrdiff_t(layerFloats));
            view.merged.assign(all.begin() + std::ptrdiff_t(layerFloats), all.end());
        }
    }
    ::pclose(pipe);
    return view;
}

// A sample as a reader shows it: 0..1 for integers, floats unchanged.
float asRead(const PsdDocument& doc, std::uint32_t sample) {
    if (doc.depth != 32) return shown(doc, sample);
    float value;
    std::memcpy(&value, &sample, 4);
    return value;
}

TEST(PsdFile, PsdToolsReadsEveryDepthWithAndWithoutAProfile) {
    if (!psdToolsInstalled()) GTEST_SKIP() << "psd-tools is not installed";
    const std::string folder = scratchFolder();
    std::vector<std::uint8_t> profile(131);
    for (std::size_t i = 0; i < profile.size(); ++i) profile[i] = std::uint8_t(i * 37 + 5);
    for (const std::int32_t bytes : {1, 2, 4}) {
        for (const bool withProfile : {false, true}) {
            SCOPED_TRACE(::testing::Message() << bytes << (withProfile ? " with profile" : ""));
            const PsdExportSpec spec = specOf(24, 16, bytes);
            const std::string path =
                folder + "doc" + std::to_string(bytes) + (withProfile ? "icc" : "") + ".psd";
            ASSERT_EQ(
                psd::writePsdFile(path, spec,
                                  metadataWith(withProfile ? profile : std::vector<std::uint8_t>{}),
                                  *makeLayer(spec)),
                psd::kPsdWritten);
            const PsdDocument doc = readBack(path);
            const PsdToolsView view = readWithPsdTools(folder, path);
            EXPECT_EQ(view.name, "layer 1");
            EXPECT_EQ(view.width, 24);
            EXPECT_EQ(view.height, 16);
            EXPECT_EQ(view.channels, 4);
            EXPECT_EQ(view.profileBytes, withProfile ? profile.size() : 0u);
            ASSERT_EQ(view.layer.size(), 24 * 16 * 4u);
            ASSERT_EQ(view.merged.size(), 24 * 16 * 3u);
            double largest = 0.0;
            for (std::uint32_t y = 0; y < 16; ++y) {
                for (std::uint32_t x = 0; x < 24; ++x) {
                    const std::size_t at = y * 24 + x;
                    for (int c = 0; c < 3; ++c) {
                        largest =
                            std::max(largest, std::fabs(double(view.layer[at * 4 + c]) -
                                                        asRead(doc, doc.layerSample(c + 1, x, y))));
                        largest =
                            std::max(largest, std::fabs(double(view.merged[at * 3 + c]) -
                                                        asRead(doc, doc.mergedSample(c, x, y))));
                    }
                    largest = std::max(largest, std::fabs(double(view.layer[at * 4 + 3]) -
                                                          asRead(doc, doc.layerSample(0, x, y))));
                }
            }
            EXPECT_LE(largest, 1e-6);
        }
    }
}

#endif

}  // namespace
}  // namespace mirel::testing
