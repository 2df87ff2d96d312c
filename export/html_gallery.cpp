// Writing gallery pages and their images: the presets page of a folder of settings files
// and the memory dots page of pictures the caller rendered.
#include "export/html_gallery.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <system_error>

#include "export/html_text.h"
#include "image/thumbnails.h"
#include "platform/os/os.h"
#include "settings/jpeg_codec.h"
#include "settings/metadata.h"
#include "settings/settings_file.h"

namespace mirel::html {

namespace {

constexpr std::string_view kAnyFile = "*.*";
constexpr std::string_view kStemCounterMark = "-";

bool isSeparator(char c) {
    return c == kPathSeparator || c == '/';
}

// The page's folder: its path up to and including the last separator ("" for a bare name,
// which puts the images folder beside it in the working folder).
std::string folderOfPath(const std::string& path) {
    std::size_t end = path.size();
    while (end > 0 && !isSeparator(path[end - 1])) --end;
    return path.substr(0, end);
}

std::string withSeparator(std::string folder) {
    if (folder.empty()) folder = ".";
    if (!isSeparator(folder.back())) folder += kPathSeparator;
    return folder;
}

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool isSettingsFileName(std::string_view name) {
    if (name.size() < kSettingsExtension.size()) return false;
    const std::string_view tail = name.substr(name.size() - kSettingsExtension.size());
    for (std::size_t i = 0; i < tail.size(); ++i)
        if (lowerAscii(tail[i]) != kSettingsExtension[i]) return false;
    return true;
}

bool reportProgress(const HtmlProgress& progress, int done, int total) {
    return !progress || progress(done, total);
}

}  // namespace

// ---- HtmlGallery --------------------------------------------------------------

HtmlGallery::HtmlGallery(std::string pagePath, PageKind kind, std::string_view sourceFolder)
    : pagePath_(std::move(pagePath)),
      imagesFolder_(folderOfPath(pagePath_) + std::string(kImagesFolderName) + kPathSeparator),
      page_(kind, kind == PageKind::Presets ? kPresetsColumns : kMemoryDotsColumns, sourceFolder) {}

bool HtmlGallery::begin() {
    std::error_code error;
    if (pagePath_.empty()) {
        abandon(HtmlPageStatus::PageNotWritten, "no page path given");
        return false;
    }
    if (isSeparator(pagePath_.back()) || std::filesystem::is_directory(pagePath_, error)) {
        abandon(HtmlPageStatus::PageNotWritten, "the page path names a folder: " + pagePath_);
        return false;
    }
    // A page in a folder that does not exist (or is a file) is refused with that folder's
    // name: the images folder's name alone sends the user looking at the wrong folder.
    const std::string pageFolder = folderOfPath(pagePath_);
    if (!pageFolder.empty() && !std::filesystem::is_directory(pageFolder, error)) {
        // "name/" of a file does not exist for the system; "name" does.
        const bool present =
            std::filesystem::exists(pageFolder.substr(0, pageFolder.size() - 1), error);
        abandon(HtmlPageStatus::ImagesFolderUnusable,
                "cannot make the images folder " + imagesFolder_ + ": " + pageFolder +
                    (present ? " is not a folder" : " does not exist"));
        return false;
    }
    // The images folder sits in the page's folder, so making it also shows that the page
    // can be written there, before any image is.
    if (!os::makeFolder(imagesFolder_.substr(0, imagesFolder_.size() - 1))) {
        abandon(HtmlPageStatus::ImagesFolderUnusable,
                "cannot make the images folder " + imagesFolder_);
        return false;
    }
    // The exported images say where they come from, as every JPEG the filter exports does.
    exif_ = makeExifBlock();
    imageResources_ = makeImageResourceBlock(makeIptcBlock(IptcKeywords{}, os::utcNow()));
    begun_ = true;
    return true;
}

std::string HtmlGallery::uniqueStem(std::string stem) {
    std::string candidate = stem;
    for (int count = 2; usedStems_.count(candidate) != 0; ++count)
        candidate = stem + std::string(kStemCounterMark) + std::to_string(count);
    usedStems_.insert(candidate);
    return candidate;
}

bool HtmlGallery::writeImage(const image::TiledImage& picture, const std::string& path) {
    if (encodeJpeg(picture, kExportJpegQuality, imageResources_, exif_, jpeg_) == 0) return false;
    return os::writeFileAtomic(path, jpeg_);
}

void HtmlGallery::addImage(const image::TiledImage* picture, int width, int height,
                           std::string_view name, std::string_view caption) {
    const std::string stem = uniqueStem(sanitiseFileName(name));
    const std::string path = imagesFolder_ + stem + std::string(kImageExtension);
    if (!picture || !writeImage(*picture, path)) result_.imagesNotWritten.push_back(path);
    page_.imageCell(width, height, stem, caption);
    ++result_.imageCells;
}

void HtmlGallery::noteWithoutThumbnail(std::string path) {
    result_.withoutThumbnail.push_back(std::move(path));
}

HtmlPageResult HtmlGallery::finish() {
    if (!begun_ || !result_.written()) return result_;
    begun_ = false;
    const std::string& text = page_.finish();
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    if (!os::writeFileAtomic(pagePath_, {bytes, text.size()}))
        return abandon(HtmlPageStatus::PageNotWritten, "cannot write the page " + pagePath_);
    return result_;
}

HtmlPageResult HtmlGallery::abandon(HtmlPageStatus status, std::string message) {
    result_.status = status;
    result_.message = std::move(message);
    return result_;
}

// ---- The two pages --------------------------------------------------------------

HtmlPageResult writePresetsPage(const std::string& sourceFolder, const std::string& pagePath,
                                const HtmlProgress& progress) {
    const std::string folder = withSeparator(sourceFolder);
    HtmlGallery gallery(pagePath, PageKind::Presets, folder);

    // Listed before anything is written, so an unreadable folder costs no page. The
    // listing is by name with letters compared without case, as on the file system the
    // filter comes from, and never in the order a folder happens to store its entries.
    // Paths are as long as this system allows; one it refuses reads as a file without
    // a thumbnail, or an image not written.
    std::vector<std::string> names;
    if (!os::listFolder(folder, std::string(kAnyFile), names))
        return gallery.abandon(HtmlPageStatus::SourceFolderUnreadable,
                               "cannot list the folder " + folder);
    std::vector<std::string> presets;
    for (const std::string& name : names)
        if (isSettingsFileName(name) && os::fileExists(folder + name)) presets.push_back(name);

    if (!gallery.begin()) return gallery.result();
    // One thumbnail image for all files, back to its default content before each read so
    // that a file without one never shows the thumbnail of the file before it.
    std::unique_ptr<image::TiledImage> thumbnail = image::createThumbnailImage();
    SettingsRecord scratch;
    const int total = static_cast<int>(presets.size());
    for (int i = 0; i < total; ++i) {
        if (!reportProgress(progress, i, total))
            return gallery.abandon(HtmlPageStatus::Cancelled, "cancelled");
        const std::string path = folder + presets[i];
        const std::string stem =
            presets[i].substr(0, presets[i].size() - kSettingsExtension.size());
        bool found = false;
        if (thumbnail) {
            image::resetThumbnail(*thumbnail);
            std::memset(&scratch, 0, sizeof scratch);
            found =
                readSettingsFile(path, SettingsReadMode::ThumbnailOnly, scratch, thumbnail.get())
                    .thumbnailLoaded;
        }
        gallery.addImage(thumbnail.get(), kPresetCellSide, kPresetCellSide, stem, stem);
        if (!found) gallery.noteWithoutThumbnail(path);
    }
    if (!reportProgress(progress, total, total))
        return gallery.abandon(HtmlPageStatus::Cancelled, "cancelled");
    return gallery.finish();
}

std::string memoryDotName(int dotIndex) {
    char name[32];
    std::snprintf(name, sizeof name, "dot %d", dotIndex + 1);
    return name;
}

HtmlPageResult writeMemoryDotsPage(const std::string& pagePath,
                                   std::span<const GalleryImage> images,
                                   const HtmlProgress& progress) {
    HtmlGallery gallery(pagePath, PageKind::MemoryDots);
    if (!gallery.begin()) return gallery.result();
    const int total = static_cast<int>(images.size());
    for (int i = 0; i < total; ++i) {
        if (!reportProgress(progress, i, total))
            return gallery.abandon(HtmlPageStatus::Cancelled, "cancelled");
        const GalleryImage& entry = images[static_cast<std::size_t>(i)];
        const int width = entry.picture ? entry.picture->baseWidth : entry.width;
        const int height = entry.picture ? entry.picture->baseHeight : entry.height;
        gallery.addImage(entry.picture, width, height, entry.name, entry.name);
    }
    if (!reportProgress(progress, total, total))
        return gallery.abandon(HtmlPageStatus::Cancelled, "cancelled");
    return gallery.finish();
}

}  // namespace mirel::html
