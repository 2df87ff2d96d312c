// The command line's PSD documents and HTML presets pages.
#include "apps/mirel/export_commands.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <span>

#include "apps/mirel/interrupt.h"
#include "apps/mirel/progress.h"
#include "export/html_gallery.h"
#include "export/psd_export.h"
#include "export/psd_writer.h"
#include "platform/os/os.h"
#include "settings/metadata.h"

namespace mirel::host_app {

namespace {

// The layer's pixel at (x, y) in the layer format of the document's depth:
// grey fills red, green and blue; without alpha the pixel is opaque.
void copyPixel(const Picture& picture, image::TiledImage& layer, std::int32_t x, std::int32_t y) {
    const bool grey = isGrey(picture);
    const int alpha = hasAlpha(picture) ? picture.channels - 1 : -1;
    auto channel = [&](int c) { return sampleValue(picture, x, y, grey ? 0 : c); };
    const float full = fullScale(picture);
    const float a = alpha >= 0 ? sampleValue(picture, x, y, alpha) : full;
    switch (picture.bitsPerChannel) {
        case 8:
            image::writeRgba8(layer, x, y, 0, std::uint32_t(channel(0)), std::uint32_t(channel(1)),
                              std::uint32_t(channel(2)), std::uint32_t(a));
            return;
        case 16:
            image::writeRgba16(
                layer, x, y, 0,
                image::Rgba16Pixel{std::uint16_t(channel(0)), std::uint16_t(channel(1)),
                                   std::uint16_t(channel(2)), std::uint16_t(a)});
            return;
        default:
            image::writeRgbaFloat(layer, x, y, 0,
                                  image::Rgba{channel(0), channel(1), channel(2), a});
            return;
    }
}

// The document's bytes straight into an open file.
class DescriptorSink final : public ByteSink {
  public:
    explicit DescriptorSink(int fd) : fd_(fd) {}
    bool write(std::span<const std::uint8_t> bytes) override {
        errno = 0;
        if (os::writeDescriptor(fd_, bytes.data(), bytes.size())) return true;
        failure_ = errno != 0 ? errno : ENOSPC;  // no progress and no error: a full disk
        return false;
    }
    int failure() const { return failure_; }

  private:
    int fd_;
    int failure_ = EIO;
};

}  // namespace

bool isPsdPath(const std::string& path) {
    if (path.size() < 4) return false;
    std::string extension = path.substr(path.size() - 4);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return extension == ".psd";
}

bool encodePsd(int fd, const std::string& name, const Picture& picture, std::int32_t outputMode,
               std::string& error) {
    const std::int32_t bytes = std::int32_t(bytesPerSample(picture));
    const psd::PsdExportSpec spec = psdExportSpec(picture.width, picture.height, bytes);
    psd::PsdMetadata metadata;
    metadata.iccProfile = picture.iccProfile;
    metadata.iptc = makeIptcBlock(exportKeywords(bytes, outputMode), os::utcNow());
    metadata.exif = makeExifBlock();
    if (!psd::documentFits(spec, metadata)) {
        error = name + ": a PSD document cannot hold a picture of " +
                std::to_string(picture.width) + " x " + std::to_string(picture.height) +
                " at this depth";
        return false;
    }
    std::unique_ptr<image::TiledImage> layer =
        image::create(spec.width, spec.height, psd::layerFormatFor(bytes));
    if (!layer) {
        error = name + ": out of memory for the PSD layer";
        return false;
    }
    for (std::int32_t y = 0; y < picture.height; ++y)
        for (std::int32_t x = 0; x < picture.width; ++x) copyPixel(picture, *layer, x, y);
    layer->contentState = image::kContentFilled;
    DescriptorSink sink(fd);
    std::int16_t result;
    {
        BigEndianWriter out(sink);
        result = psd::writePsd(out, spec, metadata, *layer);
        if (result == psd::kPsdWritten && !out.flush()) result = psd::kPsdWriteFailed;
    }
    if (result != psd::kPsdWritten) {
        error = name + ": cannot write the PSD document: " + std::strerror(sink.failure());
        return false;
    }
    return true;
}

RunOutcome writeGallery(const std::string& folder, const std::string& pagePath, bool showProgress) {
    ProgressBar bar;
    if (showProgress) bar.begin();
    const html::HtmlPageResult result =
        html::writePresetsPage(folder, pagePath, [&](int done, int total) {
            if (showProgress) bar.report(done, total);
            return !interruptRequested();
        });
    if (showProgress) bar.end();
    if (result.status == html::HtmlPageStatus::Cancelled || interruptRequested()) {
        std::fprintf(stderr, "mirel: cancelled; %s was not written\n", pagePath.c_str());
        return RunOutcome::Cancelled;
    }
    if (!result.written()) {
        std::fprintf(stderr, "mirel: %s\n", result.message.c_str());
        // A folder that cannot be read is the user's input; the rest is the machine's.
        return result.status == html::HtmlPageStatus::SourceFolderUnreadable ? RunOutcome::BadInput
                                                                             : RunOutcome::Failed;
    }
    for (const std::string& name : result.withoutThumbnail)
        std::fprintf(stderr,
                     "mirel: %s has no readable thumbnail; its cell shows the default one\n",
                     name.c_str());
    for (const std::string& name : result.imagesNotWritten)
        std::fprintf(stderr, "mirel: the image of %s could not be written\n", name.c_str());
    std::printf("%s: %d presets from %s\n", pagePath.c_str(), result.imageCells, folder.c_str());
    return RunOutcome::Done;
}

}  // namespace mirel::host_app
