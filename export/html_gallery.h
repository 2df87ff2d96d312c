// HTML gallery pages on disk: a page with a folder "web_images" of JPEG images beside it.
// The presets page shows the thumbnails of the settings files of a folder; the memory dots
// page shows the effect rendered with each filled dot's settings.
//
// A page is built in memory and written to a temporary file renamed over the page only
// when complete, so a failed or cancelled run never leaves a half-written page, and an
// older page at the path stays as it was. Each image is written the same way; images
// already written when a run fails stay (each is a complete file).
#pragma once

#include <filesystem>
#include <functional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "export/html_page_writer.h"
#include "image/tiled_image.h"

namespace mirel::html {

// The separator of this system's paths; the page's own references always use '/'.
constexpr char kPathSeparator = static_cast<char>(std::filesystem::path::preferred_separator);

// Cells of the presets page are this size; the thumbnails (128 x 128) are scaled to it.
constexpr int kPresetCellSide = 88;
// Settings files: names ending in this, letters compared without case.
constexpr std::string_view kSettingsExtension = ".q8r";

enum class HtmlPageStatus {
    Written,
    Cancelled,               // the progress callback asked to stop; no page written
    SourceFolderUnreadable,  // the presets folder could not be listed; nothing written
    ImagesFolderUnusable,    // "web_images" could not be made beside the page; nothing written
    PageNotWritten,          // the page file could not be written; an older page stays
};

struct HtmlPageResult {
    HtmlPageStatus status = HtmlPageStatus::Written;
    int imageCells = 0;
    // Image files that could not be written; their cells are on the page all the same.
    std::vector<std::string> imagesNotWritten;
    // Settings files without a readable thumbnail; their cells show the default one.
    std::vector<std::string> withoutThumbnail;
    // One line for the user when the page was not written.
    std::string message;

    bool written() const { return status == HtmlPageStatus::Written; }
};

// Called before each cell with the cells done and the cells in all, and once more at the
// end (done == total); returning false stops the run without writing the page.
using HtmlProgress = std::function<bool(int done, int total)>;

// The presets page of `sourceFolder` at `pagePath`: one cell per settings file (a file,
// not a folder, whose name ends in ".q8r" in any letter case), in the folder listing's
// order: by name, letters compared without case, names equal that way by their bytes.
// Each file's stored thumbnail is read (nothing else of the file) and written as a
// quality-50 JPEG web_images/<name without extension, sanitised>.jpg; a file without a
// readable thumbnail gets the default thumbnail and is listed in withoutThumbnail.
// 5 columns; the heading shows the folder.
HtmlPageResult writePresetsPage(const std::string& sourceFolder, const std::string& pagePath,
                                const HtmlProgress& progress = {});

// One cell of the memory dots page: the picture the caller rendered for a dot.
struct GalleryImage {
    std::string name;  // file name (without ".jpg") and caption, e.g. memoryDotName(2)
    // Level 0 is written as a quality-50 JPEG and sizes the cell. Null when the caller
    // could not render it: then no image file, and a cell of width x height.
    const image::TiledImage* picture = nullptr;
    int width = 0, height = 0;
};

// The name of memory dot `dotIndex` (0..24) on the page: "dot 1" .. "dot 25".
std::string memoryDotName(int dotIndex);

// The memory dots page at `pagePath`: one cell per entry of `images`, in order, 4 columns.
// A caller that keeps only one full-size render at a time uses HtmlGallery directly.
HtmlPageResult writeMemoryDotsPage(const std::string& pagePath,
                                   std::span<const GalleryImage> images,
                                   const HtmlProgress& progress = {});

// One page being written, with its images; what the two functions above are made of.
//   HtmlGallery gallery(path, PageKind::MemoryDots);
//   if (gallery.begin()) { for each dot: gallery.addImage(...); }
//   HtmlPageResult result = gallery.finish();
class HtmlGallery {
  public:
    // `sourceFolder` only for a presets page (shown in its heading as given).
    HtmlGallery(std::string pagePath, PageKind kind, std::string_view sourceFolder = {});

    // Checks the page path and makes the images folder (an existing one is fine). False,
    // with the result's status and message set, when the page cannot be written.
    bool begin();
    // Writes `picture` (when given) as <images folder>/<stem>.jpg and adds its cell, with
    // `name` sanitised into the stem and `caption` shown below. Two names that sanitise
    // alike get stems "x", "x-2", "x-3" so that no image replaces another on the page.
    // An image that cannot be written is skipped; its cell is still added.
    void addImage(const image::TiledImage* picture, int width, int height, std::string_view name,
                  std::string_view caption);
    // A settings file whose thumbnail could not be read (its cell shows the default one).
    void noteWithoutThumbnail(std::string path);
    // Ends the page and writes it, once, after begin() succeeded; otherwise it only
    // returns the result so far.
    HtmlPageResult finish();
    // Gives up: nothing more is written; returns the result with the status set.
    HtmlPageResult abandon(HtmlPageStatus status, std::string message);

    const std::string& pagePath() const { return pagePath_; }
    const std::string& imagesFolder() const { return imagesFolder_; }  // ends with a separator
    const HtmlPageResult& result() const { return result_; }

  private:
    std::string uniqueStem(std::string stem);
    bool writeImage(const image::TiledImage& picture, const std::string& path);

    std::string pagePath_;
    std::string imagesFolder_;
    HtmlPageWriter page_;
    HtmlPageResult result_;
    std::set<std::string> usedStems_;
    std::vector<std::uint8_t> exif_;
    std::vector<std::uint8_t> imageResources_;
    std::vector<std::uint8_t> jpeg_;
    bool begun_ = false;
};

}  // namespace mirel::html
