// The pictures among the plug-in's resources as the dialogs draw them:
// bitmaps, icons and cursors, and JPEG images decoded with the JPEG library
// and shrunk with good quality to the size they are drawn at. A resource
// that is missing or broken draws nothing.
#pragma once

#include <map>
#include <string_view>
#include <tuple>

#include "platform/gui/drawing_surface.h"
#include "platform/gui/image.h"

namespace mirel::ui {

// Resource types of pictures.
constexpr std::string_view kBitmapType = "BITMAP";
constexpr std::string_view kIconType = "ICON";
constexpr std::string_view kCursorType = "CURSOR";
constexpr std::string_view kJpegType = "JPEG";

// Decodes a JPEG resource; false, with `out` empty, when there is none or it is broken.
bool decodeJpegResource(int id, gui::Image& out);

// `source` shrunk to width x height by averaging the area each target pixel
// covers (colours weighted by alpha). Sizes below 1 give an empty picture.
gui::Image shrinkImage(const gui::Image& source, int width, int height);

// True when a target `deviceWidth` pixels wide is nearer to twice the small
// picture's width than to its width, so that the large variant is drawn.
bool prefersLargeVariant(int deviceWidth, int smallWidth);

// Decoded pictures of one dialog, each decoded once.
class ResourceImages {
  public:
    // Null when the resource is missing or broken.
    const gui::Image* find(std::string_view type, int id);
    // A cursor's picture with its hot spot.
    const gui::Image* findCursor(int id, gui::Point& hotSpot);

    // Bitmap `normalId` stretched into `target`, or `largeId` (when not
    // kNoImage and present) when the target is about twice as large.
    void drawBitmap(gui::DrawingSurface& surface, const gui::Rect& target, int normalId,
                    int largeId);
    void drawIcon(gui::DrawingSurface& surface, const gui::Rect& target, int id);
    // JPEG `id` stretched into `target`; shrunk beforehand with good quality
    // to the target's size in device pixels when that is smaller.
    void drawJpeg(gui::DrawingSurface& surface, const gui::Rect& target, int id);

  private:
    struct Entry {
        bool present = false;
        gui::Image image;
        gui::Point hotSpot;
    };
    const Entry& entry(std::string_view type, int id);

    std::map<std::pair<std::string, int>, Entry> decoded_;
    std::map<std::tuple<int, int, int>, gui::Image> shrunk_;  // JPEG id, width, height
};

}  // namespace mirel::ui
