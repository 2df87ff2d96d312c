// Gallery pages written from real settings files and rendered pictures: the cells in
// order, the images beside the page, and what a failed run leaves behind.
#include "export/html_gallery.h"

#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <sys/wait.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "image/pyramid.h"
#include "platform/os/os.h"
#include "settings/jpeg_codec.h"
#include "settings/settings_file.h"
#include "tests/support/scratch.h"

namespace mirel::html {
namespace {

namespace fs = std::filesystem;

// Where item 72's JPEG data begins in a version-45 file: 71 items, then the block's
// flag, width, height and byte count.
constexpr std::size_t kThumbnailDataOffset = 71 * 4 + 16;
const std::string kSpacerCellStart = "<td align=\"center\" valign=\"top\" width=\"20%\"><p>&nbsp;";
// A row of image cells begins so; a spacer row's first cell is followed by a paragraph.
const std::string kRowStart = "<tr><td align=\"center\" valign=\"top\" width=\"20%\">\r\n";

struct Rgb {
    int r, g, b;
};

// What the HTML 4.01 Transitional DTD finds wrong with the page (onsgmls, from
// Debian's opensp and w3c-sgml-lib), but for the two departures the page's own
// bytes make and browsers take: the height of the cell tables and their repeated
// id "Table_01"; and `alsoAllowed` where a test names one more.
std::vector<std::string> validationErrors(const std::string& pagePath,
                                          const std::string& alsoAllowed = "") {
#if defined(_WIN32)
    // The validator runs in the Linux build; the pages are the same bytes on both systems.
    (void)pagePath;
    (void)alsoAllowed;
    return {};
#else
    const std::string command =
        "SP_CHARSET_FIXED=1 onsgmls -s -c /usr/share/xml/w3c-sgml-lib/schema/dtd/sgml.soc '" +
        pagePath + "' 2>&1";
    std::vector<std::string> errors;
    FILE* output = ::popen(command.c_str(), "r");
    if (!output) return {"onsgmls could not be started"};
    char line[4096];
    while (std::fgets(line, sizeof line, output)) {
        const std::string text(line);
        if (text.find("there is no attribute \"HEIGHT\"") != std::string::npos ||
            text.find("ID \"TABLE_01\"") != std::string::npos ||
            (!alsoAllowed.empty() && text.find(alsoAllowed) != std::string::npos))
            continue;
        errors.push_back(text);
    }
    const int status = ::pclose(output);
    // onsgmls exits 1 when it reports errors (the allowed ones too), 127 when missing.
    if (WIFEXITED(status) && WEXITSTATUS(status) > 1) errors.push_back("onsgmls did not run");
    return errors;
#endif
}

std::unique_ptr<image::TiledImage> solidPicture(int width, int height, Rgb c) {
    auto picture = image::create(width, height, image::SampleFormat::Rgba8);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) image::writeRgba8(*picture, x, y, 0, c.r, c.g, c.b, 255);
    image::buildPyramid(*picture);
    return picture;
}

std::vector<std::uint8_t> settingsBytes(Rgb thumbnailColour) {
    SettingsRecord record;
    std::memset(&record, 0, sizeof record);
    applyDefaults(record);
    const auto thumbnail = solidPicture(128, 128, thumbnailColour);
    return encodeSettings(record, thumbnail.get());
}

void writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    ASSERT_TRUE(os::writeFileAtomic(path, bytes)) << path;
}

std::string readText(const std::string& path) {
    std::vector<std::uint8_t> bytes;
    EXPECT_TRUE(os::readFile(path, bytes)) << path;
    return std::string(bytes.begin(), bytes.end());
}

// The colour at (x, y) of a JPEG file decoded at width x height is `want`, within the
// error of quality 50.
void expectJpegColour(const std::string& path, int width, int height, int x, int y, Rgb want) {
    constexpr int kJpegTolerance = 6;
    std::vector<std::uint8_t> bytes;
    EXPECT_TRUE(os::readFile(path, bytes)) << path;
    auto decoded = image::create(width, height, image::SampleFormat::Rgba8);
    ASSERT_TRUE(decodeJpeg(bytes, *decoded)) << path;
    const std::uint32_t word = image::readRgba8(*decoded, x, y, 0);
    EXPECT_NEAR(int(word >> 24), want.r, kJpegTolerance) << path;
    EXPECT_NEAR(int((word >> 16) & 255), want.g, kJpegTolerance) << path;
    EXPECT_NEAR(int((word >> 8) & 255), want.b, kJpegTolerance) << path;
}

// The alt texts of the page's images, in page order.
std::vector<std::string> altTexts(const std::string& page) {
    std::vector<std::string> alts;
    for (std::size_t at = page.find(" alt=\""); at != std::string::npos;
         at = page.find(" alt=\"", at + 1)) {
        const std::size_t begin = at + 6;
        alts.push_back(page.substr(begin, page.find('"', begin) - begin));
    }
    return alts;
}

int countOf(const std::string& text, const std::string& piece) {
    int count = 0;
    for (std::size_t at = text.find(piece); at != std::string::npos;
         at = text.find(piece, at + piece.size()))
        ++count;
    return count;
}

std::vector<std::string> entriesOf(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(PresetsPage, AFolderOfSettingsFilesGivesItsThumbnailsInTwoRows) {
    const std::string scratch = testing::scratchFolder();
    const std::string source = scratch + "presets";
    fs::create_directories(source + "/folder.q8r");  // a folder is no preset
    const Rgb red{220, 30, 40}, green{20, 200, 60}, blue{30, 60, 210};
    writeBytes(source + "/a&b.q8r", settingsBytes(red));
#ifdef _WIN32
    // A Windows name holds no ':' (it names a stream of the file "a"); U+008E is the
    // character there that sanitises to '_' too. It sorts after "a_b", so the colours
    // are swapped to give the same images as below.
    const std::string alike =
                          "a\xC2\x8E"
                          "b",
                      alikeCaption = "a&#142;b";
    writeBytes(source + "/" + alike + ".q8r", settingsBytes(blue));
    writeBytes(source + "/a_b.Q8R", settingsBytes(green));
#else
    const std::string alike = "a:b", alikeCaption = alike;
    writeBytes(source + "/" + alike + ".q8r", settingsBytes(green));
    writeBytes(source + "/a_b.Q8R", settingsBytes(blue));
#endif
    writeBytes(source + "/Blue.q8r", settingsBytes(blue));
    writeBytes(source + "/Sea 1.q8r", settingsBytes(green));
    writeBytes(source + "/Zeta.Q8r", settingsBytes(red));
    writeBytes(source + "/notes.txt", {1, 2, 3});
    writeBytes(source + "/settings.q8r.bak", settingsBytes(red));
    // Cut in the middle of its thumbnail's JPEG data.
    std::vector<std::uint8_t> damaged = settingsBytes(red);
    damaged.resize(kThumbnailDataOffset + 200);
    writeBytes(source + "/damaged.q8r", damaged);

    const std::string pagePath = scratch + "out/page.html";
    fs::create_directories(scratch + "out");
    std::vector<int> steps;
    const HtmlPageResult result = writePresetsPage(source, pagePath, [&](int done, int total) {
        EXPECT_EQ(total, 7);
        steps.push_back(done);
        return true;
    });
    ASSERT_TRUE(result.written()) << result.message;
    EXPECT_EQ(steps, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(result.imageCells, 7);
    EXPECT_TRUE(result.imagesNotWritten.empty());
    // The gallery joins folder and name with the system's separator.
    const std::string separator(1, char(fs::path::preferred_separator));
    EXPECT_EQ(result.withoutThumbnail,
              std::vector<std::string>{source + separator + "damaged.q8r"});

    const std::string page = readText(pagePath);
    EXPECT_NE(page.find("<b>Mirel presets from " + source + separator + "<br>"), std::string::npos);
    // Names in order without regard to case; names that sanitise alike keep images apart.
    EXPECT_EQ(altTexts(page),
              (std::vector<std::string>{"a&amp;b.jpg", "a_b.jpg", "a_b-2.jpg", "Blue.jpg",
                                        "damaged.jpg", "Sea 1.jpg", "Zeta.jpg"}));
    EXPECT_NE(page.find("<img src=\"web_images/a%26b.jpg\""), std::string::npos);
    EXPECT_NE(page.find("<img src=\"web_images/a%5fb%2d2.jpg\""), std::string::npos);
    EXPECT_NE(page.find("<img src=\"web_images/Sea%201.jpg\""), std::string::npos);
    EXPECT_NE(page.find(">a&amp;b</font>"), std::string::npos);  // captions keep the name
    EXPECT_NE(page.find(">" + alikeCaption + "</font>"), std::string::npos);
    EXPECT_EQ(countOf(page,
                      "width=\"94\" border=\"0\" cellspacing=\"0\" cellpadding=\"0\" "
                      "height=\"95\">"),
              7);
    // Two rows, 5 and 2 image cells, the second completed with 3 empty cells, each row
    // followed by a spacer row.
    EXPECT_EQ(countOf(page, kRowStart), 2);
    EXPECT_EQ(countOf(page, "<p></p>"), 3);
    EXPECT_EQ(countOf(page, "</tr>\r\n<tr>" + kSpacerCellStart), 2);
    EXPECT_EQ(countOf(page, "<p>&nbsp;</p>"), 10);
    EXPECT_EQ(countOf(page, "\n"), countOf(page, "\r\n"));

    const std::string images = scratch + "out/web_images/";
    EXPECT_EQ(entriesOf(images),
              (std::vector<std::string>{"Blue.jpg", "Sea 1.jpg", "Zeta.jpg", "a&b.jpg", "a_b-2.jpg",
                                        "a_b.jpg", "damaged.jpg"}));
    expectJpegColour(images + "a&b.jpg", 128, 128, 64, 64, red);
    expectJpegColour(images + "a_b.jpg", 128, 128, 64, 64, green);
    expectJpegColour(images + "a_b-2.jpg", 128, 128, 64, 64, blue);
    expectJpegColour(images + "Sea 1.jpg", 128, 128, 64, 64, green);
    // The damaged file shows the default thumbnail, not the one read before it.
    expectJpegColour(images + "damaged.jpg", 128, 128, 64, 2, {253, 253, 253});
    expectJpegColour(images + "damaged.jpg", 128, 128, 64, 125, {130, 130, 130});
    // Nothing else beside the page: no temporary files left over.
    EXPECT_EQ(entriesOf(scratch + "out"), (std::vector<std::string>{"page.html", "web_images"}));
    EXPECT_EQ(validationErrors(scratch + "out/page.html"), std::vector<std::string>{});
}

TEST(PresetsPage, AFolderWithoutPresetsGivesAValidPageWithoutATable) {
    const std::string scratch = testing::scratchFolder();
    fs::create_directories(scratch + "empty");
    const HtmlPageResult result = writePresetsPage(scratch + "empty/", scratch + "page.html");
    ASSERT_TRUE(result.written()) << result.message;
    const std::string page = readText(scratch + "page.html");
    EXPECT_NE(page.find("Mirel presets from " + scratch + "empty/<br>"), std::string::npos);
    EXPECT_EQ(page.find("<table"), std::string::npos);
    EXPECT_EQ(validationErrors(scratch + "page.html"), std::vector<std::string>{});
}

TEST(PresetsPage, AFailedOrCancelledRunKeepsTheOlderPage) {
    const std::string scratch = testing::scratchFolder();
    const std::string source = scratch + "presets";
    fs::create_directories(source);
    writeBytes(source + "/one.q8r", settingsBytes({1, 2, 3}));
    writeBytes(source + "/two.q8r", settingsBytes({1, 2, 3}));
    const std::string pagePath = scratch + "page.html";
    const std::vector<std::uint8_t> older = {'o', 'l', 'd'};
    writeBytes(pagePath, older);

    HtmlPageResult result = writePresetsPage(scratch + "missing", pagePath);
    EXPECT_EQ(result.status, HtmlPageStatus::SourceFolderUnreadable);
    EXPECT_NE(result.message.find("missing"), std::string::npos);
    EXPECT_FALSE(fs::exists(scratch + "web_images"));  // nothing made for nothing

    result = writePresetsPage(source, pagePath, [](int done, int) { return done < 1; });
    EXPECT_EQ(result.status, HtmlPageStatus::Cancelled);

    // The images folder cannot be made: a file holds its name.
    fs::remove_all(scratch + "web_images");
    writeBytes(scratch + "web_images", older);
    result = writePresetsPage(source, pagePath);
    EXPECT_EQ(result.status, HtmlPageStatus::ImagesFolderUnusable);
    EXPECT_EQ(readText(pagePath), "old");
    EXPECT_EQ(entriesOf(scratch), (std::vector<std::string>{"page.html", "presets", "web_images"}));

    result = writePresetsPage(source, scratch + "presets");
    EXPECT_EQ(result.status, HtmlPageStatus::PageNotWritten);
    EXPECT_TRUE(fs::is_directory(scratch + "presets"));

    // A page in a folder that does not exist, or in a file: the message names that
    // folder, and nothing is made or changed.
    result = writePresetsPage(source, scratch + "absent/page.html");
    EXPECT_EQ(result.status, HtmlPageStatus::ImagesFolderUnusable);
    EXPECT_NE(result.message.find(": " + scratch + "absent/ does not exist"), std::string::npos)
        << result.message;
    EXPECT_FALSE(fs::exists(scratch + "absent"));
    result = writePresetsPage(source, scratch + "page.html/inner.html");
    EXPECT_EQ(result.status, HtmlPageStatus::ImagesFolderUnusable);
    EXPECT_NE(result.message.find(": " + scratch + "page.html/ is not a folder"), std::string::npos)
        << result.message;
    EXPECT_EQ(readText(pagePath), "old");
}

TEST(MemoryDotsPage, FilledDotsInOneRowWithTheirRendersBesideThePage) {
    const std::string scratch = testing::scratchFolder();
    // Renders come in the filter's pixel format; this one is float.
    const auto dot3 = image::create(60, 40, image::SampleFormat::RgbaFloat);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 60; ++x)
            image::writePixel(*dot3, x, y, 0, {200 / 255.0f, 120 / 255.0f, 40 / 255.0f, 1.0f});
    const auto dot9 = solidPicture(60, 40, {40, 120, 200});
    // An image that cannot be written still gets its cell.
    fs::create_directories(scratch + "web_images/dot 9.jpg");
    const std::vector<GalleryImage> dots = {{memoryDotName(2), dot3.get()},
                                            {memoryDotName(8), dot9.get()}};
    const HtmlPageResult result = writeMemoryDotsPage(scratch + "dots.html", dots);
    ASSERT_TRUE(result.written()) << result.message;
    EXPECT_EQ(result.imageCells, 2);
    const std::string separator(1, char(fs::path::preferred_separator));
    EXPECT_EQ(result.imagesNotWritten,
              std::vector<std::string>{scratch + "web_images" + separator + "dot 9.jpg"});

    const std::string page = readText(scratch + "dots.html");
    EXPECT_NE(page.find("<title>Mirel memory dots</title>\r\n"), std::string::npos);
    EXPECT_NE(page.find("<b>Mirel images from  memory dots <br>\r\n</b>"), std::string::npos);
    EXPECT_EQ(altTexts(page), (std::vector<std::string>{"dot 3.jpg", "dot 9.jpg"}));
    EXPECT_NE(page.find(">dot 9</font>"), std::string::npos);
    EXPECT_EQ(countOf(page,
                      "width=\"66\" border=\"0\" cellspacing=\"0\" cellpadding=\"0\" "
                      "height=\"47\">"),
              2);
    EXPECT_EQ(countOf(page, kRowStart), 1);
    EXPECT_EQ(countOf(page, "<p></p>"), 2);
    EXPECT_EQ(countOf(page, "<p>&nbsp;</p>"), 4);
    expectJpegColour(scratch + "web_images/dot 3.jpg", 60, 40, 30, 20, {200, 120, 40});
    EXPECT_EQ(validationErrors(scratch + "dots.html"), std::vector<std::string>{});
}

}  // namespace
}  // namespace mirel::html
