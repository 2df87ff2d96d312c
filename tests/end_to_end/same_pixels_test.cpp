// Every pixel of a set of small whole renders, held against checksums taken from
// the renderer before it was made faster: both water styles, every depth, grey,
// transparency, a selection and pictures one tile thin, on 1, 2 and 7 worker
// threads. A speed-up that moves a single sample fails here, and so does a system
// whose build gives other bits (the Windows build runs the same test). The float
// render of the Complex style was taken again when the render's elementary
// functions became the program's own: its shading moved in the last bits of some
// floats (nothing at 16 bits), every other render kept its bits.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/os/os.h"
#include "tests/end_to_end/end_to_end_support.h"

namespace mirel::testing {
namespace {

using host_app::Picture;
using hostkit::Descriptor;
using pi::fourCC;

// FNV-1a over the shape and the decoded samples, so that the checksum does not
// depend on how a writer compresses them.
std::uint64_t checksumOf(const Picture& picture) {
    std::uint64_t hash = 14695981039346656037ull;
    const auto mix = [&hash](std::uint8_t byte) {
        hash ^= byte;
        hash *= 1099511628211ull;
    };
    for (const std::int32_t value :
         {picture.width, picture.height, picture.channels, picture.bitsPerChannel}) {
        for (int shift = 0; shift < 32; shift += 8) mix(std::uint8_t(value >> shift));
    }
    for (const std::uint8_t byte : picture.pixels) mix(byte);
    return hash;
}

struct Case {
    const char* name;
    Picture picture;
    Picture mask;               // empty: no selection
    std::uint64_t expected[2];  // Simple, Complex
};

std::vector<Case> cases() {
    const Picture& rgb8 = samplePicture(8);  // 200 x 133: tiles cut at both edges
    std::vector<Case> all;
    all.push_back({"rgb8", rgb8, {}, {0xed0f01ba80d1f090ull, 0xe1a64e0988f5b2deull}});
    all.push_back(
        {"rgb16", convertPicture(rgb8, 3, 16), {}, {0xf87b0623069f51b8ull, 0x8e469369d3b734bfull}});
    all.push_back(
        {"rgb32", convertPicture(rgb8, 3, 32), {}, {0x3d938990b226ef6cull, 0xe6e2f804f09eea88ull}});
    all.push_back(
        {"grey8", convertPicture(rgb8, 1, 8), {}, {0x1e249a6a0672e56dull, 0xf659f5bcac5983f8ull}});
    all.push_back(
        {"rgba8", convertPicture(rgb8, 4, 8), {}, {0x1494146560eca061ull, 0x300f1027b6f048a9ull}});
    all.push_back(
        {"rgb8 masked", rgb8, gradientMask(rgb8), {0x56a5680ff5d30f4cull, 0x719ebc2abc595532ull}});
    all.push_back(
        {"wide strip", stripOf(rgb8, 1500, 3), {}, {0x8d72ffe7851fd49aull, 0x8a43e66cf45a8b4cull}});
    all.push_back(
        {"tall strip", stripOf(rgb8, 2, 300), {}, {0xd1737a1a4ddee955ull, 0x44b4680b8b5251b2ull}});
    return all;
}

TEST(SamePixels, EveryRenderMatchesItsStoredChecksumOnOneTwoAndSevenThreads) {
    const std::vector<Case> all = cases();
    for (const char* threads : {"1", "2", "7"}) {
        mirel::os::setEnvironmentVariable("MIREL_THREADS", threads);
        for (const Case& c : all) {
            for (int style = 1; style <= 2; ++style) {
                SCOPED_TRACE(std::string(c.name) + ", style " + std::to_string(style) + ", " +
                             threads + " threads");
                useOwnTemporaryFolder();  // every run from the default settings
                Descriptor settings;
                settings.put(hostkit::integerItem(fourCC("0022"), style));
                Picture picture = c.picture;
                ASSERT_EQ(runFilter(picture, settings, c.mask.pixels.empty() ? nullptr : &c.mask),
                          0);
                const std::uint64_t sum = checksumOf(picture);
                EXPECT_EQ(sum, c.expected[style - 1]) << "0x" << std::hex << sum;
            }
        }
    }
    mirel::os::unsetEnvironmentVariable("MIREL_THREADS");
}

}  // namespace
}  // namespace mirel::testing
