// Pixels between the host and the filter: classifying the host's image modes,
// the request primitives around advanceState, and the conversions of source
// and result pixels between the host's sample formats and 0..1 floats.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/pi/pi.h"
#include "platform/pi/rects.h"

namespace mirel {

namespace image {
struct TiledImage;
struct Rgba;
}  // namespace image

struct ParameterBlock;
struct RunState;

// ---- Modes and planes ------------------------------------------------------------

enum class PixelClass { Eight, Sixteen, Float };

// Tested in this order: grey or RGB at up to 8 bits; the 16-bit modes at
// depth 16; the 32-bit modes or any depth of 32. Anything else is treated as
// 8 bits, the layout every host can deliver.
PixelClass pixelClassOf(std::int32_t imageMode, std::int32_t depth);
PixelClass pixelClassOf(const pi::FilterRecord& record);

// The mode a deep picture is shown in: each deep mode maps to its base mode.
std::int32_t displayModeOf(std::int32_t imageMode);

// 255, 32768 or 1.0.
float fullScaleOf(PixelClass pixelClass);
int bytesPerSampleOf(PixelClass pixelClass);

// Only a layer with editable transparency (filter cases 4 and 5) has its
// alpha read from and written to the transparency plane.
bool usesTransparency(const pi::FilterRecord& record);
// The plane that holds transparency: the one after the layer's colour planes.
std::int32_t transparencyPlaneOf(const pi::FilterRecord& record);

// ---- Request state -----------------------------------------------------------------

// The run-time fields a request is made with: zoom level (>= 1) and the pan
// offset in full-size picture pixels.
struct RequestView {
    std::int32_t zoom = 1;
    std::int32_t panX = 0;
    std::int32_t panY = 0;
};

// The view of the parameter block's run-time fields, with the zoom never below 1.
RequestView requestViewOf(const ParameterBlock& params);

IntRect currentRegionOf(const RunState& run);
void setCurrentRegion(RunState& run, const IntRect& region);

// Every field of the FilterRecord a driver changes, so that it can put back
// what it found.
struct SavedRequest {
    IntRect in, out, mask;
    std::int16_t inLoPlane = 0, inHiPlane = 0, outLoPlane = 0, outHiPlane = 0;
    pi::Fixed inputRate = 0, maskRate = 0;
    std::int16_t inputPadding = 0, outputPadding = 0, maskPadding = 0;
    pi::Boolean autoMask = 0;
};

SavedRequest saveRequest(const pi::FilterRecord& record);
void restoreRequest(pi::FilterRecord& record, const SavedRequest& saved);

// ---- Request primitives ------------------------------------------------------------

// Sets up the host request for `rect` in zoomed coordinates: offsets it by
// the floating origin and the pan, each divided by the zoom; all planes; rates
// of every zoom-th pixel; edge replication; no dummy planes; no automatic
// masking. Returns the rectangle requested. No advanceState call is made.
IntRect requestRegion(pi::FilterRecord& record, const IntRect& rect, const RequestView& view);

// The request for a whole render before it starts: `region` for input and
// output; the mask for it too when the host has a mask and the source picture
// was loaded in this run, otherwise the 1 x 1 rectangle at the filter's corner.
void setUpWholeRegion(pi::FilterRecord& record, const IntRect& region, std::int32_t zoom,
                      bool sourceLoaded);

// Calls the host's advanceState; a host without one answers with a parameter error.
std::int16_t advanceHost(pi::FilterRecord& record);

// ---- Pixels --------------------------------------------------------------------------

// One source pixel of the current request, normalised to 0..1 (floats as the
// host stores them). Column and row are relative to inRect; false for a
// position outside it or when the host delivered nothing.
bool readSourcePixel(const pi::FilterRecord& record, std::int32_t x, std::int32_t y,
                     image::Rgba& pixel);

// A planar 8-bit buffer a preview render fills: plane p of pixel (x, y) lies
// at p x width x height + y x width + x.
struct PreviewPlanes {
    std::uint8_t* pixels = nullptr;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t planeCount = 0;
};

// Where a result pixel goes. Positions are relative to the current request;
// the preview and export destinations add `origin` (their tile's place in the
// buffer or image).
struct ResultTarget {
    std::int32_t destination = 0;  // kDestinationHostOutput, kDestinationPreview or kDestinationExport
    PreviewPlanes preview;
    image::TiledImage* exportImage = nullptr;
    IntPoint origin;
};

// Stores one result pixel for the target's destination. Host output: each
// channel times the full scale, truncated (8- and 16-bit values clamped first
// so that an out-of-range value cannot wrap), only green with fewer than three
// planes, alpha only for editable transparency; positions outside the request
// or outRect are skipped. Returns false when nothing was stored.
bool writeResultPixel(pi::FilterRecord& record, const ResultTarget& target, std::int32_t x,
                      std::int32_t y, const image::Rgba& pixel);

// One host sample converted for display: 8-bit as is, 16-bit as v x 255 / 32768
// rounded down, float clamped to 0..1 and truncated.
std::uint8_t proxySample(PixelClass pixelClass, const std::uint8_t* sample);

// Reads the requested preview rectangle into `buffer`, one plane per call of
// advanceState, converted to 8 bits. Precondition: requestRegion has been made
// for the preview rectangle. The plane range is put back afterwards. Returns
// the host's first error (the rest of the buffer then stays as it was).
std::int16_t readProxy(pi::FilterRecord& record, const PreviewPlanes& buffer);

// ---- Source tiles --------------------------------------------------------------------

constexpr std::int32_t kSourceTileColumns = 512;

// One row of a delivered source tile, as the host interleaves it.
struct SourceRow {
    const std::uint8_t* samples = nullptr;
    std::int32_t columns = 0;  // always kSourceTileColumns
    std::int32_t planes = 0;   // samples per pixel
    PixelClass pixelClass = PixelClass::Eight;
};

// Receives row `row` (0 to rows - 1) of the tile.
using SourceRowSink = std::function<void(std::int32_t row, const SourceRow& samples)>;

// Asks the host for rows top..top + rows of columns left..left + 512 at full
// resolution, without pan, without output and mask (both set to the 1 x 1
// rectangle at the filter's corner), and hands each row to `sink`. Returns the
// host's error, in which case `sink` is not called.
std::int16_t fillSourceTile(pi::FilterRecord& record, std::int32_t top, std::int32_t left,
                            std::int32_t rows, const SourceRowSink& sink);

// ---- Final apply, host side --------------------------------------------------------

// The progress the apply reports before its first tile, and its total afterwards.
constexpr std::int32_t kApplyStartDone = 2;
constexpr std::int32_t kApplyStartTotal = 100;
constexpr std::int32_t kApplyProgressTotal = 1000;

struct FinalApply {
    SavedRequest saved;
    std::uint32_t startTicks = 0;  // when the apply began, for the progress limit
    IntRect region;
    RequestView view;
    std::int16_t result = 0;
    bool cancelled = false;
};

// Saves the request, reports progress 2 of 100, notes the start time, sets
// zoom 1 and no pan, makes the whole filter rectangle the region and sets up
// the whole-region request.
FinalApply beginFinalApply(pi::FilterRecord& record, bool sourceLoaded);

// The host's part when a finished tile is collected: polls the abort
// callback (a cancel, or an earlier -128, ends the apply with -128 and composes
// nothing more); otherwise requests the tile, advances the host and, when the
// host reports no error, lets `compose` read inData and write outData.
// Returns the apply's result so far.
std::int16_t collectTile(pi::FilterRecord& record, FinalApply& apply, const IntRect& tile,
                         const std::function<void()>& compose);

// Progress of the apply, in thousandths.
void reportApplyProgress(const pi::FilterRecord& record, double fraction);

// Puts back the request saved at the start, so that the host commits the last
// tile and needs no Continue call. Returns the apply's result.
std::int16_t endFinalApply(pi::FilterRecord& record, const FinalApply& apply);

}  // namespace mirel
