// The request primitives around advanceState and the conversions of source
// and result pixels. Every rectangle goes through the big-document accessors.
#include "host/host_exchange.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "host/run_state.h"
#include "image/tiled_image.h"
#include "platform/os/os.h"
#include "settings/parameter_block.h"

namespace mirel {

namespace {

constexpr float kFull8 = 255.0f;
constexpr float kFull16 = 32768.0f;

// The host's buffers hold plane after plane for every pixel; the request's
// plane range says how many.
std::int32_t inPlaneCount(const pi::FilterRecord& record) {
    return std::max(0, record.inHiPlane - record.inLoPlane + 1);
}

std::int32_t outPlaneCount(const pi::FilterRecord& record) {
    return std::max(0, record.outHiPlane - record.outLoPlane + 1);
}

template <PixelClass Class>
float loadAs(const std::uint8_t* at) {
    if constexpr (Class == PixelClass::Eight) {
        return float(*at) / kFull8;
    } else if constexpr (Class == PixelClass::Sixteen) {
        std::uint16_t value;
        std::memcpy(&value, at, sizeof value);
        return float(value) / kFull16;
    } else {
        float value;
        std::memcpy(&value, at, sizeof value);
        return value;
    }
}

// A NaN stores as 0; everything else is clamped into the class's range before
// the conversion, which would be undefined for a value that does not fit.
template <PixelClass Class>
void storeAs(std::uint8_t* at, float value) {
    if constexpr (Class == PixelClass::Eight) {
        // The nearest level: truncating would make every result half a level darker.
        const float scaled =
            std::isnan(value) ? 0.0f : std::clamp(value * kFull8 + 0.5f, 0.0f, kFull8);
        *at = std::uint8_t(scaled);
    } else if constexpr (Class == PixelClass::Sixteen) {
        const float scaled =
            std::isnan(value) ? 0.0f : std::clamp(value * kFull16 + 0.5f, 0.0f, kFull16);
        const auto stored = std::uint16_t(scaled);
        std::memcpy(at, &stored, sizeof stored);
    } else {
        std::memcpy(at, &value, sizeof value);
    }
}

float loadSample(PixelClass pixelClass, const std::uint8_t* at) {
    switch (pixelClass) {
        case PixelClass::Eight:
            return loadAs<PixelClass::Eight>(at);
        case PixelClass::Sixteen:
            return loadAs<PixelClass::Sixteen>(at);
        case PixelClass::Float:
            return loadAs<PixelClass::Float>(at);
    }
    return 0.0f;
}

void storeSample(PixelClass pixelClass, std::uint8_t* at, float value) {
    switch (pixelClass) {
        case PixelClass::Eight:
            return storeAs<PixelClass::Eight>(at, value);
        case PixelClass::Sixteen:
            return storeAs<PixelClass::Sixteen>(at, value);
        case PixelClass::Float:
            return storeAs<PixelClass::Float>(at, value);
    }
}

IntRect cornerRect(const pi::FilterRecord& record) {
    const IntRect filter = filterRectOf(record);
    return {filter.top, filter.left, filter.top + 1, filter.left + 1};
}

}  // namespace

// ---- Modes and planes ------------------------------------------------------------

PixelClass pixelClassOf(std::int32_t imageMode, std::int32_t depth) {
    if ((imageMode == pi::kModeGrayScale || imageMode == pi::kModeRGBColor) && depth <= 8)
        return PixelClass::Eight;
    if ((imageMode == pi::kModeGray16 || imageMode == pi::kModeRGB48) && depth == 16)
        return PixelClass::Sixteen;
    if (imageMode == pi::kModeRGB96 || imageMode == pi::kModeGray32 || depth == 32)
        return PixelClass::Float;
    return PixelClass::Eight;
}

PixelClass pixelClassOf(const pi::FilterRecord& record) {
    return pixelClassOf(record.imageMode, record.depth);
}

std::int32_t displayModeOf(std::int32_t imageMode) {
    switch (imageMode) {
        case pi::kModeGray16:
        case pi::kModeGray32:
            return pi::kModeGrayScale;
        case pi::kModeRGB48:
        case pi::kModeRGB96:
            return pi::kModeRGBColor;
        case pi::kModeLab48:
            return pi::kModeLabColor;
        case pi::kModeCMYK64:
            return pi::kModeCMYKColor;
        case pi::kModeDeepMultichannel:
            return pi::kModeMultichannel;
        case pi::kModeDuotone16:
            return pi::kModeDuotone;
        default:
            return imageMode;
    }
}

float fullScaleOf(PixelClass pixelClass) {
    switch (pixelClass) {
        case PixelClass::Eight:
            return kFull8;
        case PixelClass::Sixteen:
            return kFull16;
        case PixelClass::Float:
            return 1.0f;
    }
    return kFull8;
}

int bytesPerSampleOf(PixelClass pixelClass) {
    switch (pixelClass) {
        case PixelClass::Eight:
            return 1;
        case PixelClass::Sixteen:
            return 2;
        case PixelClass::Float:
            return 4;
    }
    return 1;
}

bool usesTransparency(const pi::FilterRecord& record) {
    return record.filterCase == pi::kFilterCaseEditableTransparencyNoSelection ||
           record.filterCase == pi::kFilterCaseEditableTransparencyWithSelection;
}

std::int32_t transparencyPlaneOf(const pi::FilterRecord& record) {
    return record.inLayerPlanes;
}

// ---- Request state -----------------------------------------------------------------

RequestView requestViewOf(const ParameterBlock& params) {
    return {zoomLevelOf(params), params.panX, params.panY};
}

IntRect currentRegionOf(const RunState& run) {
    return {run.regionTop, run.regionLeft, run.regionBottom, run.regionRight};
}

void setCurrentRegion(RunState& run, const IntRect& region) {
    run.regionTop = region.top;
    run.regionLeft = region.left;
    run.regionBottom = region.bottom;
    run.regionRight = region.right;
    run.regionWidth = region.width();
    run.regionHeight = region.height();
}

SavedRequest saveRequest(const pi::FilterRecord& record) {
    SavedRequest saved;
    saved.in = inRectOf(record);
    saved.out = outRectOf(record);
    saved.mask = maskRectOf(record);
    saved.inLoPlane = record.inLoPlane;
    saved.inHiPlane = record.inHiPlane;
    saved.outLoPlane = record.outLoPlane;
    saved.outHiPlane = record.outHiPlane;
    saved.inputRate = record.inputRate;
    saved.maskRate = record.maskRate;
    saved.inputPadding = record.inputPadding;
    saved.outputPadding = record.outputPadding;
    saved.maskPadding = record.maskPadding;
    saved.autoMask = record.autoMask;
    return saved;
}

void restoreRequest(pi::FilterRecord& record, const SavedRequest& saved) {
    setInRect(record, saved.in);
    setOutRect(record, saved.out);
    setMaskRect(record, saved.mask);
    record.inLoPlane = saved.inLoPlane;
    record.inHiPlane = saved.inHiPlane;
    record.outLoPlane = saved.outLoPlane;
    record.outHiPlane = saved.outHiPlane;
    record.inputRate = saved.inputRate;
    record.maskRate = saved.maskRate;
    record.inputPadding = saved.inputPadding;
    record.outputPadding = saved.outputPadding;
    record.maskPadding = saved.maskPadding;
    record.autoMask = saved.autoMask;
}

// ---- Request primitives ------------------------------------------------------------

namespace {

pi::Fixed rateFor(std::int32_t zoom) {
    // A zoom beyond 32767 would not fit 16.16; no picture needs one.
    return pi::Fixed(std::clamp(zoom, 1, 32767)) * pi::kFixedOne16;
}

void setCommonRequestFields(pi::FilterRecord& record, std::int32_t zoom) {
    const std::int16_t lastPlane = std::int16_t(std::max<std::int16_t>(record.planes, 1) - 1);
    record.inLoPlane = record.outLoPlane = 0;
    record.inHiPlane = record.outHiPlane = lastPlane;
    record.inputRate = record.maskRate = rateFor(zoom);
    record.inputPadding = record.outputPadding = record.maskPadding = pi::kPaddingEdgeReplication;
    record.inPreDummyPlanes = record.inPostDummyPlanes = 0;
    record.outPreDummyPlanes = record.outPostDummyPlanes = 0;
    record.autoMask = 0;
}

std::int32_t offsetBy(std::int32_t value, std::int64_t offset) {
    return std::int32_t(
        std::clamp<std::int64_t>(std::int64_t(value) + offset, INT32_MIN, INT32_MAX));
}

// The part of `rect` (zoomed coordinates) inside the picture as the host samples
// it, or the nearest edge pixel when none of it is: the picture's pixel x * zoom
// exists for x below the width divided by the zoom, rounded up.
IntRect insidePicture(const pi::FilterRecord& record, const IntRect& rect, std::int32_t zoom) {
    const IntPoint size = imageSizeOf(record);
    const std::int32_t height = std::max(1, (size.v + zoom - 1) / zoom);
    const std::int32_t width = std::max(1, (size.h + zoom - 1) / zoom);
    IntRect inside;
    inside.top = std::clamp(rect.top, 0, height - 1);
    inside.left = std::clamp(rect.left, 0, width - 1);
    inside.bottom = std::clamp(rect.bottom, inside.top + 1, height);
    inside.right = std::clamp(rect.right, inside.left + 1, width);
    return inside;
}

// Bytes of one delivered row of `width` pixels of `planes` planes: what the
// host's row bytes must at least hold for the rows to be read.
std::int64_t rowBytesFor(std::int32_t width, std::int32_t planes, std::int32_t bytes) {
    return std::int64_t(std::max(width, 0)) * std::max(planes, 0) * bytes;
}

// Whether the host samples for us. One that says it does not is asked for full
// resolution, and the plug-in takes every zoom-th pixel itself; so is one that
// cannot pad, whose edge pixels beyond the picture are then the picture's last
// ones, as a padding host's are (a sampled request inside the picture would
// end a pixel short of them).
bool hostSamples(const pi::FilterRecord& record) {
    return record.samplingSupport != pi::kSamplingNone && record.supportsPadding;
}

// The delivered pixel that stands for pixel `at` of the asked rectangle (zoomed
// coordinates, `step` the zoom the plug-in samples with itself): edge pixels
// repeat beyond the delivery.
std::int32_t deliveredIndex(std::int32_t at, std::int32_t step, std::int32_t deliveredStart,
                            std::int32_t deliveredSize) {
    const std::int64_t full = std::int64_t(at) * step - deliveredStart;
    return std::int32_t(std::clamp<std::int64_t>(full, 0, deliveredSize - 1));
}

// Copies `from` (a delivery of `delivered`) into `asked`, taking every step-th
// pixel and repeating the edge pixels; `pixelBytes` per pixel. Empty when the
// delivery is too short.
std::vector<std::uint8_t> padPlanes(const std::uint8_t* from, std::int64_t fromRowBytes,
                                    const IntRect& delivered, const IntRect& asked,
                                    std::int32_t step, std::int64_t pixelBytes,
                                    std::int64_t& rowBytes) {
    rowBytes = asked.width() * pixelBytes;
    if (!from || delivered.empty() || asked.empty() ||
        fromRowBytes < delivered.width() * pixelBytes)
        return {};
    std::vector<std::uint8_t> to(std::size_t(rowBytes * asked.height()));
    for (std::int32_t y = 0; y < asked.height(); ++y) {
        const std::int32_t sy =
            deliveredIndex(asked.top + y, step, delivered.top, delivered.height());
        const std::uint8_t* row = from + std::int64_t(sy) * fromRowBytes;
        std::uint8_t* target = to.data() + std::int64_t(y) * rowBytes;
        for (std::int32_t x = 0; x < asked.width(); ++x) {
            const std::int32_t sx =
                deliveredIndex(asked.left + x, step, delivered.left, delivered.width());
            std::memcpy(target + x * pixelBytes, row + sx * pixelBytes, std::size_t(pixelBytes));
        }
    }
    return to;
}

}  // namespace

IntRect requestRegion(pi::FilterRecord& record, const IntRect& rect, const RequestView& view) {
    const std::int32_t zoom = std::max(1, view.zoom);
    const IntPoint origin = floatCoordOf(record);
    // Integer division toward zero, as C++ divides.
    const std::int64_t dv = std::int64_t(origin.v / zoom) + view.panY / zoom;
    const std::int64_t dh = std::int64_t(origin.h / zoom) + view.panX / zoom;
    const IntRect requested{offsetBy(rect.top, dv), offsetBy(rect.left, dh),
                            offsetBy(rect.bottom, dv), offsetBy(rect.right, dh)};
    // A host that does not sample is asked for the same area at full resolution.
    const std::int32_t hostZoom = hostSamples(record) ? zoom : 1;
    IntRect given = requested;
    if (hostZoom != zoom)
        given = {offsetBy(0, std::int64_t(requested.top) * zoom),
                 offsetBy(0, std::int64_t(requested.left) * zoom),
                 offsetBy(0, std::int64_t(requested.bottom) * zoom),
                 offsetBy(0, std::int64_t(requested.right) * zoom)};
    if (!record.supportsPadding) given = insidePicture(record, given, hostZoom);
    setInRect(record, given);
    setOutRect(record, given);
    if (record.haveMask) setMaskRect(record, given);
    setCommonRequestFields(record, hostZoom);
    return requested;
}

bool padDelivery(const pi::FilterRecord& record, const IntRect& asked, std::int32_t zoom,
                 PaddedRequest& padded) {
    padded = PaddedRequest{};
    const IntRect delivered = inRectOf(record);
    const std::int32_t step = hostSamples(record) ? 1 : std::max(zoom, 1);
    if ((delivered == asked && step == 1) || asked.empty()) return false;
    const std::int64_t bytes = bytesPerSampleOf(pixelClassOf(record));
    padded.in = padPlanes(static_cast<const std::uint8_t*>(record.inData), record.inRowBytes,
                          delivered, asked, step, inPlaneCount(record) * bytes, padded.inRowBytes);
    if (record.haveMask && record.maskData)
        padded.mask =
            padPlanes(static_cast<const std::uint8_t*>(record.maskData), record.maskRowBytes,
                      maskRectOf(record), asked, step, 1, padded.maskRowBytes);
    if (padded.in.empty()) {
        padded = PaddedRequest{};
        return false;
    }
    padded.rect = asked;
    return true;
}

void setUpWholeRegion(pi::FilterRecord& record, const IntRect& region, std::int32_t zoom,
                      bool sourceLoaded) {
    setInRect(record, region);
    setOutRect(record, region);
    setMaskRect(record, record.haveMask && sourceLoaded ? region : cornerRect(record));
    setCommonRequestFields(record, std::max(1, zoom));
}

std::int16_t advanceHost(pi::FilterRecord& record) {
    if (!record.advanceState) return pi::kParamErr;
    return record.advanceState();
}

// ---- Pixels --------------------------------------------------------------------------

HostTile::HostTile(const pi::FilterRecord& record, const TileDestination& destination)
    : destination_(destination) {
    pixelClass_ = pixelClassOf(record);
    bytes_ = bytesPerSampleOf(pixelClass_);
    grey_ = record.planes < 3;
    transparency_ = usesTransparency(record);
    alphaPlane_ = transparencyPlaneOf(record);
    const PaddedRequest* padded = destination.padded;
    const IntRect in = padded ? padded->rect : inRectOf(record);
    if (padded && !padded->in.empty() && inPlaneCount(record) > 0) {
        in_ = padded->in.data();
        inRowBytes_ = padded->inRowBytes;
    } else if (!padded && record.inData && inPlaneCount(record) > 0) {
        in_ = static_cast<const std::uint8_t*>(record.inData);
        inRowBytes_ = record.inRowBytes;
    }
    // Rows shorter than the request says would be read past their end.
    if (in_ && inRowBytes_ < rowBytesFor(in.width(), inPlaneCount(record), bytes_)) in_ = nullptr;
    if (in_) {
        inWidth_ = in.width();
        inHeight_ = in.height();
        inPlanes_ = inPlaneCount(record);
        inLoPlane_ = record.inLoPlane;
    }
    const IntRect out = outRectOf(record);
    if (record.outData && outPlaneCount(record) > 0 &&
        record.outRowBytes >= rowBytesFor(out.width(), outPlaneCount(record), bytes_)) {
        out_ = static_cast<std::uint8_t*>(record.outData);
        outRowBytes_ = record.outRowBytes;
        outPlanes_ = outPlaneCount(record);
        outLoPlane_ = record.outLoPlane;
        outLeft_ = std::max(in.left, out.left) - in.left;
        outTop_ = std::max(in.top, out.top) - in.top;
        outRight_ = std::min(in.right, out.right) - in.left;
        outBottom_ = std::min(in.bottom, out.bottom) - in.top;
        outShiftX_ = in.left - out.left;
        outShiftY_ = in.top - out.top;
    }
    const IntRect mask = padded ? padded->rect : maskRectOf(record);
    if (padded && !padded->mask.empty()) {
        mask_ = padded->mask.data();
        maskRowBytes_ = padded->maskRowBytes;
    } else if (!padded && record.haveMask && record.maskData &&
               record.maskRowBytes >= rowBytesFor(mask.width(), 1, 1)) {
        mask_ = static_cast<const std::uint8_t*>(record.maskData);
        maskRowBytes_ = record.maskRowBytes;
    }
    if (mask_) {
        maskWidth_ = mask.width();
        maskHeight_ = mask.height();
    }
}

bool HostTile::read(std::int32_t x, std::int32_t y, image::Rgba& pixel) const {
    if (!in_ || x < 0 || y < 0 || x >= inWidth_ || y >= inHeight_) return false;
    const std::uint8_t* at =
        in_ + std::int64_t(y) * inRowBytes_ + std::int64_t(x) * inPlanes_ * bytes_;
    // Plane p of the picture, when the request delivered it.
    auto plane = [&](std::int32_t p, float otherwise) {
        const std::int32_t index = p - inLoPlane_;
        if (index < 0 || index >= inPlanes_) return otherwise;
        return loadSample(pixelClass_, at + index * bytes_);
    };
    if (grey_) {
        pixel.r = pixel.g = pixel.b = plane(0, 0.0f);
    } else {
        pixel.r = plane(0, 0.0f);
        pixel.g = plane(1, 0.0f);
        pixel.b = plane(2, 0.0f);
    }
    pixel.a = transparency_ ? plane(alphaPlane_, 1.0f) : 1.0f;
    return true;
}

bool HostTile::write(std::int32_t x, std::int32_t y, const image::Rgba& pixel) {
    const IntPoint origin = destination_.origin;
    if (destination_.destination == kDestinationPreview) {
        if (!destination_.preview || !destination_.preview->pixels) return false;
        image::writePreviewPixel(*destination_.preview, origin.h + x, origin.v + y, pixel);
        return true;
    }
    if (destination_.destination == kDestinationExport) {
        if (!destination_.exportImage) return false;
        image::writePixelNearest(*destination_.exportImage, origin.h + x, origin.v + y, 0, pixel);
        return true;
    }
    if (!out_ || x < outLeft_ || y < outTop_ || x >= outRight_ || y >= outBottom_) return false;
    std::uint8_t* at = out_ + std::int64_t(y + outShiftY_) * outRowBytes_ +
                       std::int64_t(x + outShiftX_) * outPlanes_ * bytes_;
    auto store = [&](std::int32_t p, float value) {
        const std::int32_t index = p - outLoPlane_;
        if (index >= 0 && index < outPlanes_) storeSample(pixelClass_, at + index * bytes_, value);
    };
    if (grey_) {
        store(0, pixel.g);
    } else {
        store(0, pixel.r);
        store(1, pixel.g);
        store(2, pixel.b);
    }
    if (transparency_) store(alphaPlane_, pixel.a);
    return true;
}

image::Rgba HostTile::readSource(std::int32_t x, std::int32_t y) {
    image::Rgba pixel{0.0f, 0.0f, 0.0f, 1.0f};
    read(x, y, pixel);
    return pixel;
}

float HostTile::maskAt(std::int32_t x, std::int32_t y) {
    if (!mask_ || x < 0 || y < 0 || x >= maskWidth_ || y >= maskHeight_) return 1.0f;
    return float(mask_[std::int64_t(y) * maskRowBytes_ + x]) / kFull8;
}

void HostTile::writeResult(std::int32_t x, std::int32_t y, const image::Rgba& rgba) {
    write(x, y, rgba);
}

// The row versions do what read, write and maskAt do for each pixel, with the sample
// class and the planes settled once per row.

template <PixelClass Class>
void HostTile::readRow(std::int32_t x, std::int32_t y, std::int32_t count,
                       image::Rgba* pixels) const {
    const image::Rgba nothing{0.0f, 0.0f, 0.0f, 1.0f};
    if (!in_ || y < 0 || y >= inHeight_) {
        std::fill(pixels, pixels + count, nothing);
        return;
    }
    // The byte offset of plane p within a pixel, -1 when the request did not deliver it.
    auto offsetOf = [&](std::int32_t p) {
        const std::int32_t index = p - inLoPlane_;
        return index >= 0 && index < inPlanes_ ? index * bytes_ : -1;
    };
    const std::int32_t red = offsetOf(0), green = offsetOf(1), blue = offsetOf(2);
    const std::int32_t alpha = transparency_ ? offsetOf(alphaPlane_) : -1;
    const std::uint8_t* row = in_ + std::int64_t(y) * inRowBytes_;
    const std::int64_t pixelBytes = std::int64_t(inPlanes_) * bytes_;
    for (std::int32_t i = 0; i < count; ++i) {
        const std::int32_t column = x + i;
        if (column < 0 || column >= inWidth_) {
            pixels[i] = nothing;
            continue;
        }
        const std::uint8_t* at = row + column * pixelBytes;
        image::Rgba& pixel = pixels[i];
        if (grey_) {
            pixel.r = pixel.g = pixel.b = red >= 0 ? loadAs<Class>(at + red) : 0.0f;
        } else {
            pixel.r = red >= 0 ? loadAs<Class>(at + red) : 0.0f;
            pixel.g = green >= 0 ? loadAs<Class>(at + green) : 0.0f;
            pixel.b = blue >= 0 ? loadAs<Class>(at + blue) : 0.0f;
        }
        pixel.a = alpha >= 0 ? loadAs<Class>(at + alpha) : 1.0f;
    }
}

void HostTile::readSourceRow(std::int32_t x, std::int32_t y, std::int32_t count,
                             image::Rgba* pixels) {
    switch (pixelClass_) {
        case PixelClass::Eight:
            return readRow<PixelClass::Eight>(x, y, count, pixels);
        case PixelClass::Sixteen:
            return readRow<PixelClass::Sixteen>(x, y, count, pixels);
        case PixelClass::Float:
            return readRow<PixelClass::Float>(x, y, count, pixels);
    }
}

void HostTile::maskRow(std::int32_t x, std::int32_t y, std::int32_t count, float* values) {
    if (!mask_ || y < 0 || y >= maskHeight_) {
        std::fill(values, values + count, 1.0f);
        return;
    }
    const std::uint8_t* row = mask_ + std::int64_t(y) * maskRowBytes_;
    for (std::int32_t i = 0; i < count; ++i) {
        const std::int32_t column = x + i;
        values[i] = column < 0 || column >= maskWidth_ ? 1.0f : float(row[column]) / kFull8;
    }
}

template <PixelClass Class>
void HostTile::writeRow(std::int32_t x, std::int32_t y, std::int32_t count,
                        const image::Rgba* pixels) {
    if (!out_ || y < outTop_ || y >= outBottom_) return;
    auto offsetOf = [&](std::int32_t p) {
        const std::int32_t index = p - outLoPlane_;
        return index >= 0 && index < outPlanes_ ? index * bytes_ : -1;
    };
    const std::int32_t red = offsetOf(0), green = offsetOf(1), blue = offsetOf(2);
    const std::int32_t alpha = transparency_ ? offsetOf(alphaPlane_) : -1;
    std::uint8_t* row = out_ + std::int64_t(y + outShiftY_) * outRowBytes_;
    const std::int64_t pixelBytes = std::int64_t(outPlanes_) * bytes_;
    const std::int32_t first = std::max(x, outLeft_);
    const std::int32_t end = std::min<std::int64_t>(std::int64_t(x) + count, outRight_);
    for (std::int32_t column = first; column < end; ++column) {
        const image::Rgba& pixel = pixels[column - x];
        std::uint8_t* at = row + std::int64_t(column + outShiftX_) * pixelBytes;
        if (grey_) {
            if (red >= 0) storeAs<Class>(at + red, pixel.g);
        } else {
            if (red >= 0) storeAs<Class>(at + red, pixel.r);
            if (green >= 0) storeAs<Class>(at + green, pixel.g);
            if (blue >= 0) storeAs<Class>(at + blue, pixel.b);
        }
        if (alpha >= 0) storeAs<Class>(at + alpha, pixel.a);
    }
}

void HostTile::writeResultRow(std::int32_t x, std::int32_t y, std::int32_t count,
                              const image::Rgba* pixels) {
    if (destination_.destination != kDestinationHostOutput) {
        ComposeTarget::writeResultRow(x, y, count, pixels);
        return;
    }
    switch (pixelClass_) {
        case PixelClass::Eight:
            return writeRow<PixelClass::Eight>(x, y, count, pixels);
        case PixelClass::Sixteen:
            return writeRow<PixelClass::Sixteen>(x, y, count, pixels);
        case PixelClass::Float:
            return writeRow<PixelClass::Float>(x, y, count, pixels);
    }
}

std::uint8_t proxySample(PixelClass pixelClass, const std::uint8_t* sample) {
    switch (pixelClass) {
        case PixelClass::Eight:
            return *sample;
        case PixelClass::Sixteen: {
            std::uint16_t value;
            std::memcpy(&value, sample, sizeof value);
            // Values above full scale are not the host's to send; they show as white.
            return std::uint8_t(
                std::min<std::uint32_t>(std::uint32_t(value) * 255u / 32768u, 255u));
        }
        case PixelClass::Float: {
            float value;
            std::memcpy(&value, sample, sizeof value);
            if (std::isnan(value)) return 0;
            return std::uint8_t(std::clamp(value, 0.0f, 1.0f) * kFull8);
        }
    }
    return 0;
}

std::int16_t readProxy(pi::FilterRecord& record, image::PreviewBuffer& buffer, const IntRect* asked,
                       std::int32_t zoom) {
    const std::int32_t step = hostSamples(record) ? 1 : std::max(zoom, 1);
    const std::int16_t savedLo = record.inLoPlane;
    const std::int16_t savedHi = record.inHiPlane;
    const PixelClass pixelClass = pixelClassOf(record);
    const std::int64_t bytes = bytesPerSampleOf(pixelClass);
    const std::int32_t width = std::max(0, buffer.bufferWidth);
    const std::int32_t height = std::max(0, buffer.bufferHeight);
    const std::int64_t planeSize = std::int64_t(width) * height;
    const std::int32_t planes = std::min<std::int32_t>(record.planes, buffer.planeCount);
    std::int16_t result = pi::kNoErr;
    for (std::int32_t p = 0; p < planes && buffer.pixels; ++p) {
        record.inLoPlane = record.inHiPlane = std::int16_t(p);
        result = advanceHost(record);
        if (result != pi::kNoErr) break;
        const IntRect in = inRectOf(record);
        if (!record.inData || in.empty() || record.inRowBytes < in.width() * bytes) continue;
        // The rectangle asked for, whose edge pixels a host without padding leaves to us.
        const IntRect meant = asked ? *asked : in;
        // The host delivers what was asked; the buffer may be smaller when the
        // pane shrank since the request, and nothing is written past it.
        const std::int32_t rows = std::min(meant.height(), height);
        const std::int32_t columns = std::min(meant.width(), width);
        for (std::int32_t y = 0; y < rows; ++y) {
            const std::int32_t sy = deliveredIndex(meant.top + y, step, in.top, in.height());
            const auto* source = static_cast<const std::uint8_t*>(record.inData) +
                                 std::int64_t(sy) * record.inRowBytes;
            std::uint8_t* target = buffer.pixels.get() + p * planeSize + std::int64_t(y) * width;
            for (std::int32_t x = 0; x < columns; ++x) {
                const std::int32_t sx = deliveredIndex(meant.left + x, step, in.left, in.width());
                target[x] = proxySample(pixelClass, source + sx * bytes);
            }
        }
    }
    record.inLoPlane = savedLo;
    record.inHiPlane = savedHi;
    return result;
}

// ---- Source tiles --------------------------------------------------------------------

std::int16_t fillSourceTile(pi::FilterRecord& record, std::int32_t top, std::int32_t left,
                            std::int32_t rows, const SourceRowSink& sink) {
    const IntRect tile{top, left, top + rows, left + kSourceTileColumns};
    const IntRect asked = requestRegion(record, tile, RequestView{});
    // No output is wanted; the smallest rectangle keeps the host from preparing one.
    setOutRect(record, cornerRect(record));
    setMaskRect(record, cornerRect(record));
    const std::int16_t result = advanceHost(record);
    if (result != pi::kNoErr) return result;
    if (!record.inData) return pi::kParamErr;

    SourceRow row;
    row.columns = kSourceTileColumns;
    row.planes = inPlaneCount(record);
    row.pixelClass = pixelClassOf(record);
    const IntRect in = inRectOf(record);
    const std::int64_t pixelBytes = std::int64_t(row.planes) * bytesPerSampleOf(row.pixelClass);
    if (in.empty() || record.inRowBytes < in.width() * pixelBytes) return pi::kParamErr;
    if (in == asked) {
        const std::int32_t delivered = std::min(rows, in.height());
        for (std::int32_t y = 0; y < delivered; ++y) {
            row.samples = static_cast<const std::uint8_t*>(record.inData) +
                          std::int64_t(y) * record.inRowBytes;
            sink(y, row);
        }
        return pi::kNoErr;
    }
    // A host without padding delivered the part inside the picture: its edge
    // pixels are repeated across the columns and rows beyond, row by row.
    std::vector<std::uint8_t> padded(std::size_t(kSourceTileColumns * pixelBytes));
    for (std::int32_t y = 0; y < rows; ++y) {
        const std::int32_t sy = std::clamp(asked.top + y - in.top, 0, in.height() - 1);
        const auto* source =
            static_cast<const std::uint8_t*>(record.inData) + std::int64_t(sy) * record.inRowBytes;
        for (std::int32_t x = 0; x < kSourceTileColumns; ++x) {
            const std::int32_t sx = std::clamp(asked.left + x - in.left, 0, in.width() - 1);
            std::memcpy(padded.data() + x * pixelBytes, source + sx * pixelBytes,
                        std::size_t(pixelBytes));
        }
        row.samples = padded.data();
        sink(y, row);
    }
    return pi::kNoErr;
}

// ---- A render's exchange, tile by tile ------------------------------------------------

TileExchange beginFinalApply(pi::FilterRecord& record, bool sourceLoaded) {
    TileExchange exchange;
    exchange.saved = saveRequest(record);
    if (record.progressProc) record.progressProc(kApplyStartDone, kApplyStartTotal);
    exchange.startTicks = os::tickCount();
    exchange.view = RequestView{};
    exchange.region = filterRectOf(record);
    exchange.pollsAbort = true;
    setUpWholeRegion(record, exchange.region, 1, sourceLoaded);
    return exchange;
}

TileExchange beginPreviewExchange(pi::FilterRecord& record, const IntRect& rect,
                                  const RequestView& view) {
    TileExchange exchange;
    exchange.saved = saveRequest(record);
    exchange.view = view;
    exchange.region = rect;
    setUpWholeRegion(record, rect, view.zoom, true);
    return exchange;
}

std::int16_t collectTile(pi::FilterRecord& record, TileExchange& exchange, const IntRect& tile,
                         const std::function<void()>& compose) {
    if (exchange.cancelled) return exchange.result;
    if (exchange.pollsAbort) {
        const bool abort = record.abortProc && record.abortProc() != 0;
        if (abort || exchange.result == pi::kUserCanceledErr) {
            exchange.result = pi::kUserCanceledErr;
            exchange.cancelled = true;
            return exchange.result;
        }
    }
    // After a host error no further tile is asked for or composed.
    if (exchange.result != pi::kNoErr) return exchange.result;
    const IntRect asked = requestRegion(record, tile, exchange.view);
    exchange.result = advanceHost(record);
    exchange.usesPadded = exchange.result == pi::kNoErr &&
                          padDelivery(record, asked, exchange.view.zoom, exchange.padded);
    if (exchange.result == pi::kNoErr && compose) compose();
    return exchange.result;
}

void reportApplyProgress(const pi::FilterRecord& record, double fraction) {
    if (!record.progressProc) return;
    const double clamped = std::clamp(std::isnan(fraction) ? 0.0 : fraction, 0.0, 1.0);
    record.progressProc(1 + std::int32_t(clamped * kApplyProgressTotal), kApplyProgressTotal);
}

std::int16_t endExchange(pi::FilterRecord& record, const TileExchange& exchange) {
    restoreRequest(record, exchange.saved);
    // The host commits the last tile after this; its output already holds the
    // selection, and a host that masked it again would apply the selection twice.
    record.autoMask = 0;
    return exchange.result;
}

}  // namespace mirel
