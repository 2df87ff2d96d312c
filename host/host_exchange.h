// Pixels between the host and the filter: classifying the host's image modes,
// the request primitives around advanceState, and the conversions of source
// and result pixels between the host's sample formats and 0..1 floats.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "image/preview.h"
#include "image/tiled_image.h"
#include "platform/pi/pi.h"
#include "platform/pi/rects.h"
#include "render/compose.h"
#include "settings/parameter_block.h"

namespace mirel {

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
// A host without padding is never asked for rows or columns outside the
// picture: it is asked for the part inside (at least the nearest edge pixel),
// and the plug-in repeats the edge pixels itself (PaddedRequest). A host that
// does not sample (samplingSupport 0) is asked for the same area at full
// resolution, and the plug-in takes every zoom-th pixel itself.
IntRect requestRegion(pi::FilterRecord& record, const IntRect& rect, const RequestView& view);

// The delivered input and mask of a request that the host could not pad or
// sample, copied into the rectangle asked for with the picture's edge pixels
// repeated around them, as a host with edge replication and sampling delivers them.
struct PaddedRequest {
    IntRect rect;
    std::vector<std::uint8_t> in;
    std::int64_t inRowBytes = 0;
    std::vector<std::uint8_t> mask;
    std::int64_t maskRowBytes = 0;
};

// Fills `padded` for `asked` from the host's current delivery when the host was
// asked for less (its inRect is not `asked`); false, leaving it empty, when
// nothing needs padding or the host delivered nothing usable.
// `zoom` is the request's: a host that does not sample delivered full resolution,
// and every zoom-th pixel of it is taken.
bool padDelivery(const pi::FilterRecord& record, const IntRect& asked, std::int32_t zoom,
                 PaddedRequest& padded);

// The request for a whole render before it starts: `region` for input and
// output; the mask for it too when the host has a mask and the source picture
// was loaded in this run, otherwise the 1 x 1 rectangle at the filter's corner.
void setUpWholeRegion(pi::FilterRecord& record, const IntRect& region, std::int32_t zoom,
                      bool sourceLoaded);

// Calls the host's advanceState; a host without one answers with a parameter error.
std::int16_t advanceHost(pi::FilterRecord& record);

// ---- Pixels --------------------------------------------------------------------------

// Where the results of a tile go: the host's output through the current
// request, the preview buffer or the export image. The preview and export
// destinations put a tile's pixel (x, y) at origin + (x, y).
struct TileDestination {
    std::int32_t destination = kDestinationHostOutput;
    image::PreviewBuffer* preview = nullptr;
    image::TiledImage* exportImage = nullptr;
    IntPoint origin;
    // The source and selection padded by the plug-in, read instead of the
    // host's delivery when set.
    const PaddedRequest* padded = nullptr;
};

// The pixels of the host's current request as one tile of a render sees them:
// the source from inData, the selection from maskData, results to outData (or
// the preview or export image). Positions are relative to inRect. The
// request's geometry is read once, when the tile is made: this runs for every
// pixel of the picture on the driver thread.
class HostTile final : public render::ComposeTarget {
  public:
    HostTile(const pi::FilterRecord& record, const TileDestination& destination);

    // The source pixel normalised to 0..1 (floats as the host stores them);
    // false for a position outside the request or when the host delivered nothing.
    bool read(std::int32_t x, std::int32_t y, image::Rgba& pixel) const;
    // Stores one result pixel. Host output: each channel times the full scale,
    // truncated (8- and 16-bit values clamped first so that an out-of-range
    // value cannot wrap), only green with fewer than three planes, alpha only
    // for editable transparency; positions outside the request or outRect are
    // skipped. False when nothing was stored.
    bool write(std::int32_t x, std::int32_t y, const image::Rgba& pixel);

    // What the compositor asks: opaque black where nothing was delivered, a
    // selection of 1 where there is no mask.
    image::Rgba readSource(std::int32_t x, std::int32_t y) override;
    float maskAt(std::int32_t x, std::int32_t y) override;
    void writeResult(std::int32_t x, std::int32_t y, const image::Rgba& rgba) override;
    void readSourceRow(std::int32_t x, std::int32_t y, std::int32_t count,
                       image::Rgba* pixels) override;
    void maskRow(std::int32_t x, std::int32_t y, std::int32_t count, float* values) override;
    void writeResultRow(std::int32_t x, std::int32_t y, std::int32_t count,
                        const image::Rgba* pixels) override;

  private:
    template <PixelClass Class>
    void readRow(std::int32_t x, std::int32_t y, std::int32_t count, image::Rgba* pixels) const;
    template <PixelClass Class>
    void writeRow(std::int32_t x, std::int32_t y, std::int32_t count, const image::Rgba* pixels);

    TileDestination destination_;
    PixelClass pixelClass_ = PixelClass::Eight;
    std::int32_t bytes_ = 1;
    bool grey_ = false;
    bool transparency_ = false;
    std::int32_t alphaPlane_ = 0;
    const std::uint8_t* in_ = nullptr;
    std::int64_t inRowBytes_ = 0;
    std::int32_t inWidth_ = 0, inHeight_ = 0, inPlanes_ = 0, inLoPlane_ = 0;
    std::uint8_t* out_ = nullptr;
    std::int64_t outRowBytes_ = 0;
    std::int32_t outPlanes_ = 0, outLoPlane_ = 0;
    // The part of the request that outRect covers, in request coordinates, and
    // the offset of the request within outRect.
    std::int32_t outLeft_ = 0, outTop_ = 0, outRight_ = 0, outBottom_ = 0;
    std::int32_t outShiftX_ = 0, outShiftY_ = 0;
    const std::uint8_t* mask_ = nullptr;
    std::int64_t maskRowBytes_ = 0;
    std::int32_t maskWidth_ = 0, maskHeight_ = 0;
};

// One host sample converted for display: 8-bit as is, 16-bit as v x 255 / 32768
// rounded down, float clamped to 0..1 and truncated.
std::uint8_t proxySample(PixelClass pixelClass, const std::uint8_t* sample);

// Reads the requested preview rectangle into `buffer`'s pixels, one plane per
// call of advanceState, converted to 8 bits. Precondition: requestRegion has
// been made for the preview rectangle and returned `asked` (the host's inRect
// when it is not given). The plane range is put back afterwards. Returns the
// host's first error (the rest of the buffer then stays as it was).
std::int16_t readProxy(pi::FilterRecord& record, image::PreviewBuffer& buffer,
                       const IntRect* asked = nullptr, std::int32_t zoom = 1);

// ---- Source tiles --------------------------------------------------------------------

constexpr std::int32_t kSourceTileColumns = 512;

// One row of a delivered source tile, as the host interleaves it.
struct SourceRow {
    const std::uint8_t* samples = nullptr;
    std::int32_t columns = 0;  // always kSourceTileColumns (padded by the plug-in if need be)
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

// ---- A render's exchange, tile by tile ------------------------------------------------

// The progress the final apply reports before its first tile, and its total afterwards.
constexpr std::int32_t kApplyStartDone = 2;
constexpr std::int32_t kApplyStartTotal = 100;
constexpr std::int32_t kApplyProgressTotal = 1000;

// The host's side of one render: the request found before it, the view its
// tiles are asked with, and the result so far.
struct TileExchange {
    SavedRequest saved;
    std::uint32_t startTicks = 0;  // when the apply began, for the progress limit
    IntRect region;
    RequestView view;
    // Only the final apply lets the user cancel through the host's abort
    // callback; a preview ends on a host error alone.
    bool pollsAbort = false;
    std::int16_t result = 0;
    bool cancelled = false;
    // The current tile's source and selection when the plug-in padded them.
    PaddedRequest padded;
    bool usesPadded = false;
};

// The final apply: saves the request, reports progress 2 of 100, notes the
// start time, sets zoom 1 and no pan, makes the whole filter rectangle the
// region and sets up the whole-region request.
TileExchange beginFinalApply(pi::FilterRecord& record, bool sourceLoaded);

// A preview render of `rect` (preview pixels) seen through `view`: saves the
// request and sets up the whole-region request for it.
TileExchange beginPreviewExchange(pi::FilterRecord& record, const IntRect& rect,
                                  const RequestView& view);

// The host's part when a finished tile is collected: in the final apply it
// polls the abort callback (a cancel, or an earlier -128, ends the apply with
// -128 and composes nothing more); then, unless an earlier tile failed, it
// requests the tile, advances the host and, when the host reports no error,
// lets `compose` read inData and write outData. Returns the result so far.
std::int16_t collectTile(pi::FilterRecord& record, TileExchange& exchange, const IntRect& tile,
                         const std::function<void()>& compose);

// Progress of the apply, in thousandths: 1 + fraction x 1000 of 1000, so that
// the first report after the start is never 0.
void reportApplyProgress(const pi::FilterRecord& record, double fraction);

// Puts back the request saved at the start, so that the host commits the last
// tile and needs no Continue call. Returns the exchange's result.
std::int16_t endExchange(pi::FilterRecord& record, const TileExchange& exchange);

}  // namespace mirel
