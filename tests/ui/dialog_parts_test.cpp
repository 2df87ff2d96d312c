// Parts of the dialogs that the main dialog's tests cannot reach by pointer:
// resources that are missing or broken, and windows opened over an owner that
// lies partly off the screen.
#include <gtest/gtest.h>

#include <vector>

#include "resources/resources.h"
#include "settings/jpeg_codec.h"
#include "settings/settings_record.h"
#include "ui/file_dialogs.h"
#include "ui/psd_export_dialog.h"
#include "ui/resource_images.h"
#include "ui/settings_file_buttons.h"
#include "ui/window_centring.h"

namespace mirel::ui {
namespace {

// Notes what would have been drawn.
struct RecordingSurface : gui::DrawingSurface {
    std::vector<gui::Rect> images;
    void fillRect(const gui::Rect&, gui::Rgb) override {}
    void frameRect(const gui::Rect&, gui::Rgb) override {}
    void setPixel(gui::Point, gui::Rgb) override {}
    void drawText(const gui::Rect&, std::string_view, const gui::FontRequest&, gui::Rgb,
                  gui::TextAlign) override {}
    void drawLine(gui::Point, gui::Point, gui::Rgb) override {}
    void drawFocusRect(const gui::Rect&) override {}
    void drawBitmap(gui::Point, const gui::Bgr24View&) override {}
    void drawImage(const gui::Rect& target, const gui::Image&) override {
        images.push_back(target);
    }
    double devicePixelRatio() const override { return ratio; }
    double ratio = 1.0;
};

TEST(ResourceImages, MissingOrBrokenPicturesDrawNothing) {
    ResourceImages images;
    RecordingSurface surface;
    const gui::Rect target{10, 10, 45, 15};
    images.drawJpeg(surface, target, 9999);
    images.drawBitmap(surface, target, 9998, 9997);
    images.drawIcon(surface, target, 9996);
    EXPECT_TRUE(surface.images.empty());

    // Bytes that are no picture, and a JPEG cut off in its header.
    const std::vector<std::uint8_t> noise(300, 0x5A);
    gui::Image decoded;
    EXPECT_FALSE(gui::decodeImage(noise, decoded));
    EXPECT_TRUE(decoded.empty());
    const auto heading = findResource(kJpegType, 344);
    ASSERT_GT(heading.size(), 200u);
    JpegPixels pixels;
    EXPECT_FALSE(decodeJpegPixels(heading.first(100), pixels));

    // The same calls with the resources that exist do draw, once each.
    images.drawJpeg(surface, target, 344);
    images.drawBitmap(surface, target, 120, 200);
    images.drawIcon(surface, target, 308);
    EXPECT_EQ(surface.images.size(), 3u);
}

TEST(ResourceImages, LargeVariantsAndShrinkingFollowTheTargetsDeviceSize) {
    // A thumb 12 pixels wide: its 24-pixel variant on a doubled display.
    EXPECT_FALSE(prefersLargeVariant(12, 12));
    EXPECT_TRUE(prefersLargeVariant(24, 12));
    EXPECT_FALSE(prefersLargeVariant(17, 12));
    EXPECT_TRUE(prefersLargeVariant(19, 12));

    // Shrinking averages: a 2 x 2 checker of black and white becomes mid grey,
    // and transparent pixels do not darken the colour of opaque ones.
    gui::Image checker{2, 2, {0, 0, 0, 255, 255, 255, 255, 255, 255, 255, 255, 255, 0, 0, 0, 255}};
    const gui::Image grey = shrinkImage(checker, 1, 1);
    ASSERT_FALSE(grey.empty());
    EXPECT_NEAR(grey.rgba[0], 128, 1);
    EXPECT_EQ(grey.rgba[3], 255);
    gui::Image half{2, 1, {200, 0, 0, 255, 0, 0, 0, 0}};
    const gui::Image red = shrinkImage(half, 1, 1);
    EXPECT_EQ(red.rgba[0], 200);
    EXPECT_NEAR(red.rgba[3], 128, 1);
}

TEST(WindowCentring, CentredAcrossAThirdDownAndAlwaysOnTheScreen) {
    const gui::Rect screen{0, 0, 1920, 1080};
    const gui::Rect window{0, 0, 1000, 600};
    // Over a large owner: centred less a caption button, a third of the free height down.
    const gui::Point over = centredPosition(window, {100, 50, 1600, 900}, screen, 36, true);
    EXPECT_EQ(over.x, 100 + 300 - 36);
    EXPECT_EQ(over.y, 50 + 100);
    EXPECT_EQ(centredPosition(window, {100, 50, 1600, 900}, screen, 36, false).x, 100 + 300 - 24);
    // An owner partly off the screen on either side: the window still opens fully on it.
    const gui::Point right = centredPosition(window, {1500, 800, 1600, 900}, screen, 36, true);
    EXPECT_EQ(right.x, 1920 - 1000);
    EXPECT_EQ(right.y, 1080 - 600);
    const gui::Point left = centredPosition(window, {-1500, -800, 1600, 900}, screen, 36, true);
    EXPECT_EQ(left.x, 0);
    EXPECT_EQ(left.y, 0);
}

TEST(FileDialogs, NamesFoldersAndTheTemplatesPreviewArea) {
    EXPECT_EQ(folderOfPath("/a/b/x.q8r"), "/a/b/");
    EXPECT_EQ(folderOfPath("x.q8r"), "");
    EXPECT_EQ(fileNameOfPath("/a/b/x.q8r"), "x.q8r");
    EXPECT_EQ(defaultExtension(FileType::Html), "html");
    EXPECT_EQ(fileTypeEntry(FileType::Psd).description, "Photoshop files (*.psd)");

    SettingsRecord record{};
    fullReset(record);
    setSettingsName(record, "");
    EXPECT_EQ(proposedSettingsFileName(record), "Mirel settings.q8r");
    setSettingsName(record, "sea.v2.q8r");
    EXPECT_EQ(proposedSettingsFileName(record), "sea.v2.q8r");
    setSettingsName(record, "calm");
    EXPECT_EQ(proposedSettingsFileName(record), "calm.q8r");

    int width = 0, height = 0;
    ASSERT_TRUE(fancyOpenPreviewArea(width, height));
    EXPECT_EQ(width, 87);
    EXPECT_EQ(height, 80);
}

TEST(PsdExportOptions, SizeFieldsAreClampedAndFollowTheProportions) {
    EXPECT_EQ(readSizeField("1"), 2);
    EXPECT_EQ(readSizeField("40000"), 30000);
    EXPECT_EQ(readSizeField("1 2 0 px"), 120);  // all but digits and signs is dropped
    EXPECT_EQ(readSizeField("-5"), 2);
    EXPECT_EQ(readSizeField(""), 2);
    EXPECT_EQ(readSizeField("99999999999999999999"), 30000);
    EXPECT_EQ(proportionalSide(3000, 2000, 4000, 7), 1500);
    EXPECT_EQ(proportionalSide(3000, 2000, 0, 7), 7);
    // 64-bit products: no overflow at the largest sizes.
    EXPECT_EQ(proportionalSide(30000, 2000000000, 30000, 0), 2000000000);
}

}  // namespace
}  // namespace mirel::ui
