// The render entry of the final apply and the preview, and the images a run keeps.
#include "host/final_apply.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <new>

#include "host/host_buffers.h"
#include "host/host_exchange.h"
#include "host/plugin_main.h"
#include "host/source_tiles.h"
#include "image/pyramid.h"
#include "image/thumbnails.h"
#include "platform/pi/rects.h"
#include "render/compose.h"
#include "render/render_job.h"

namespace mirel {
namespace {

image::TiledImage*& imageSlot(RunState& run, void* WorkingMemory::*slot) {
    return reinterpret_cast<image::TiledImage*&>(run.memory.*slot);
}

void freeImage(RunState& run, void* WorkingMemory::*slot) {
    image::TiledImage*& image = imageSlot(run, slot);
    std::unique_ptr<image::TiledImage> owned(image);
    image = nullptr;
}

IntRect asIntRect(const image::PreviewRect& rect) {
    return {rect.top, rect.left, rect.bottom, rect.right};
}

// Loads the host's picture into the source image and builds its pyramid, once
// per run: later renders find it complete and reuse it.
std::int16_t ensureSource(FilterContext& ctx) {
    RunState& run = *ctx.run;
    pi::FilterRecord& record = *ctx.record;
    const IntRect filter = filterRectOf(record);
    const auto format = image::SampleFormat(sourceFormatCodeFor(record));
    image::TiledImage*& source = imageSlot(run, &WorkingMemory::sourceImage);
    if (source && (source->baseWidth != filter.width() || source->baseHeight != filter.height() ||
                   source->format != format)) {
        freeImage(run, &WorkingMemory::sourceImage);  // the host changed the picture under us
    }
    if (source && source->contentState == image::kContentPyramidBuilt) return pi::kNoErr;
    if (!source) {
        source = image::create(filter.width(), filter.height(), format).release();
        if (!source) return kSourceImageFailed;
    }
    const std::int16_t filled = fillFromHost(*source, record);
    if (filled != pi::kNoErr) return filled;
    image::buildPyramid(*source);
    return pi::kNoErr;
}

// The host's buffer suite as the job driver takes its cell grids from it.
render::HostBufferService hostBufferService(const pi::FilterRecord& record) {
    render::HostBufferService service;
    const pi::BufferProcs* procs = record.bufferProcs;
    if (!bufferSuiteUsable(procs)) return service;
    service.allocate = [procs](std::size_t bytes) -> void* {
        if (bytes > std::size_t(INT32_MAX)) return nullptr;
        pi::BufferID id = nullptr;
        if (procs->allocateProc(std::int32_t(bytes), &id) != pi::kNoErr) return nullptr;
        return id;
    };
    service.lock = [procs](void* id) -> void* {
        return procs->lockProc(static_cast<pi::BufferID>(id), 1);
    };
    service.release = [procs](void* id) {
        procs->unlockProc(static_cast<pi::BufferID>(id));
        procs->freeProc(static_cast<pi::BufferID>(id));
    };
    return service;
}

// Source, mask and result of one tile through the host's current request:
// inData, maskData and outData cover the tile; the preview's pixels go to the
// buffer at the tile's place. The request's geometry is taken once per tile
// (this runs for every pixel of the picture on the driver thread); samples
// convert as readSourcePixel and writeResultPixel convert them.
class HostTileTarget final : public render::ComposeTarget {
public:
    HostTileTarget(pi::FilterRecord& record, std::int32_t destination,
                   image::PreviewBuffer& preview, std::int32_t left, std::int32_t top)
        : record_(record), destination_(destination), preview_(preview), left_(left), top_(top) {
        pixelClass_ = pixelClassOf(record);
        bytes_ = bytesPerSampleOf(pixelClass_);
        grey_ = record.planes < 3;
        transparency_ = usesTransparency(record);
        alphaPlane_ = transparencyPlaneOf(record);
        const IntRect in = inRectOf(record);
        if (record.inData && record.inHiPlane >= record.inLoPlane) {
            in_ = static_cast<const std::uint8_t*>(record.inData);
            inWidth_ = in.width();
            inHeight_ = in.height();
            inPlanes_ = record.inHiPlane - record.inLoPlane + 1;
        }
        const IntRect out = outRectOf(record);
        if (record.outData && record.outHiPlane >= record.outLoPlane) {
            // Only the part of the request that outRect covers is written.
            out_ = static_cast<std::uint8_t*>(record.outData);
            outPlanes_ = record.outHiPlane - record.outLoPlane + 1;
            outLeft_ = std::max(in.left, out.left) - in.left;
            outTop_ = std::max(in.top, out.top) - in.top;
            outRight_ = std::min(in.right, out.right) - in.left;
            outBottom_ = std::min(in.bottom, out.bottom) - in.top;
            outShiftX_ = in.left - out.left;
            outShiftY_ = in.top - out.top;
        }
        const IntRect mask = maskRectOf(record);
        if (record.haveMask && record.maskData) {
            mask_ = static_cast<const std::uint8_t*>(record.maskData);
            maskWidth_ = mask.width();
            maskHeight_ = mask.height();
        }
    }

    image::Rgba readSource(std::int32_t x, std::int32_t y) override {
        image::Rgba pixel{0.0f, 0.0f, 0.0f, 1.0f};
        if (!in_ || x < 0 || y < 0 || x >= inWidth_ || y >= inHeight_) return pixel;
        const std::uint8_t* at = in_ + std::int64_t(y) * record_.inRowBytes +
                                 std::int64_t(x) * inPlanes_ * bytes_;
        auto plane = [&](std::int32_t p, float otherwise) {
            const std::int32_t index = p - record_.inLoPlane;
            if (index < 0 || index >= inPlanes_) return otherwise;
            return load(at + index * bytes_);
        };
        if (grey_) {
            pixel.r = pixel.g = pixel.b = plane(0, 0.0f);
        } else {
            pixel.r = plane(0, 0.0f);
            pixel.g = plane(1, 0.0f);
            pixel.b = plane(2, 0.0f);
        }
        if (transparency_) pixel.a = plane(alphaPlane_, 1.0f);
        return pixel;
    }

    float maskAt(std::int32_t x, std::int32_t y) override {
        if (!mask_ || x < 0 || y < 0 || x >= maskWidth_ || y >= maskHeight_) return 1.0f;
        return float(mask_[std::int64_t(y) * record_.maskRowBytes + x]) / 255.0f;
    }

    void writeResult(std::int32_t x, std::int32_t y, const image::Rgba& rgba) override {
        if (destination_ == kDestinationPreview) {
            image::writePreviewPixel(preview_, left_ + x, top_ + y, rgba);
            return;
        }
        if (!out_ || x < outLeft_ || y < outTop_ || x >= outRight_ || y >= outBottom_) return;
        std::uint8_t* at = out_ + std::int64_t(y + outShiftY_) * record_.outRowBytes +
                           std::int64_t(x + outShiftX_) * outPlanes_ * bytes_;
        auto store = [&](std::int32_t p, float value) {
            const std::int32_t index = p - record_.outLoPlane;
            if (index >= 0 && index < outPlanes_) this->store(at + index * bytes_, value);
        };
        if (grey_) {
            store(0, rgba.g);
        } else {
            store(0, rgba.r);
            store(1, rgba.g);
            store(2, rgba.b);
        }
        if (transparency_) store(alphaPlane_, rgba.a);
    }

private:
    float load(const std::uint8_t* at) const {
        switch (pixelClass_) {
            case PixelClass::Eight: return float(*at) / 255.0f;
            case PixelClass::Sixteen: {
                std::uint16_t value;
                std::memcpy(&value, at, sizeof value);
                return float(value) / 32768.0f;
            }
            case PixelClass::Float: {
                float value;
                std::memcpy(&value, at, sizeof value);
                return value;
            }
        }
        return 0.0f;
    }

    // 8- and 16-bit values are held to their range first: a conversion of a
    // value that does not fit would be undefined. They go to the nearest level:
    // truncating would make every result half a level darker.
    void store(std::uint8_t* at, float value) const {
        switch (pixelClass_) {
            case PixelClass::Eight:
                *at = std::uint8_t(std::isnan(value) ? 0.0f : std::clamp(value * 255.0f + 0.5f, 0.0f, 255.0f));
                return;
            case PixelClass::Sixteen: {
                const auto stored = std::uint16_t(
                    std::isnan(value) ? 0.0f : std::clamp(value * 32768.0f + 0.5f, 0.0f, 32768.0f));
                std::memcpy(at, &stored, sizeof stored);
                return;
            }
            case PixelClass::Float:
                std::memcpy(at, &value, sizeof value);
                return;
        }
    }

    pi::FilterRecord& record_;
    std::int32_t destination_;
    image::PreviewBuffer& preview_;
    std::int32_t left_, top_;
    PixelClass pixelClass_ = PixelClass::Eight;
    std::int32_t bytes_ = 1;
    bool grey_ = false;
    bool transparency_ = false;
    std::int32_t alphaPlane_ = 0;
    const std::uint8_t* in_ = nullptr;
    std::int32_t inWidth_ = 0, inHeight_ = 0, inPlanes_ = 0;
    std::uint8_t* out_ = nullptr;
    std::int32_t outPlanes_ = 0;
    std::int32_t outLeft_ = 0, outTop_ = 0, outRight_ = 0, outBottom_ = 0;
    std::int32_t outShiftX_ = 0, outShiftY_ = 0;
    const std::uint8_t* mask_ = nullptr;
    std::int32_t maskWidth_ = 0, maskHeight_ = 0;
};

// What a render changes and puts back.
struct SavedRunTimeFields {
    std::int32_t panX = 0, panY = 0, zoomLevel = 1, passCount = 0;
    SettingsRecord settings{};
    SavedRequest request;
    IntRect region;
};

bool ensureScratch(RenderSession& session, std::int32_t renderHeight) {
    const std::int64_t bytes = (std::int64_t(std::max(renderHeight, 0)) + 4) * kScratchRowBytes;
    if (session.scratch && session.scratchBytes >= bytes) return true;
    session.scratch.reset(new (std::nothrow) std::uint8_t[std::size_t(bytes)]);
    session.scratchBytes = session.scratch ? bytes : 0;
    return session.scratch != nullptr;
}

std::int16_t runRender(FilterContext& ctx, std::int32_t destination, const IntRect& rect,
                       const RequestView& view, image::TiledImage& source) {
    pi::FilterRecord& record = *ctx.record;
    ParameterBlock& params = *ctx.params;
    RenderSession& session = renderSession();
    const IntRect filter = filterRectOf(record);
    const bool floatPicture = pixelClassOf(record) == PixelClass::Float;

    render::RenderRequest request;
    request.inputs.settings = &params.settings;
    request.inputs.noise = session.noise.get();
    request.inputs.zoom = view.zoom;
    request.inputs.panX = view.panX;
    request.inputs.panY = view.panY;
    request.inputs.destination = destination;
    request.inputs.hostWidth = filter.width();
    request.inputs.hostHeight = filter.height();
    request.inputs.highDynamicRange = destination == kDestinationHostOutput && floatPicture;
    request.source = &source;
    request.rect = render::JobRect{rect.top, rect.left, rect.bottom, rect.right};
    request.threadLimit = session.threadLimit;
    const render::HostBufferService buffers = hostBufferService(record);
    if (buffers.allocate) request.hostBuffers = &buffers;

    render::ComposeSettings compose;
    compose.outputMode = params.settings.outputMode;
    compose.destination = destination;
    compose.highDynamicRange = request.inputs.highDynamicRange;
    compose.greyTarget = record.planes < 3;
    compose.layerTakesTransparency = usesTransparency(record);

    std::int16_t result = pi::kNoErr;
    request.cancelRequested = [&] {
        // Only the final apply asks the host; a preview ends on a host error alone.
        if (destination == kDestinationHostOutput && result == pi::kNoErr && record.abortProc &&
            record.abortProc() != 0) {
            result = pi::kUserCanceledErr;
        }
        return result != pi::kNoErr;
    };
    request.collect = [&](const render::RenderJob& job, const render::RenderContext&) {
        if (result != pi::kNoErr) return;
        const IntRect tile{job.tile.top, job.tile.left, job.tile.bottom, job.tile.right};
        requestRegion(record, tile, view);
        result = advanceHost(record);
        if (result != pi::kNoErr) return;
        HostTileTarget target(record, destination, session.preview, tile.left, tile.top);
        render::composeTile(job, compose, target);
    };
    request.progress = [&](std::int32_t finished, std::int32_t jobCount) {
        if (destination != kDestinationHostOutput || params.currentPass < 1 || jobCount <= 0 ||
            !record.progressProc) {
            return false;
        }
        const std::int32_t passes = std::max(params.passCount, params.currentPass);
        const double fraction = (double(params.currentPass - 1) * jobCount + finished) /
                                (double(passes) * jobCount);
        record.progressProc(1 + std::int32_t(fraction * kApplyProgressTotal), kApplyProgressTotal);
        return true;
    };

    const render::TiledJobsResult jobs = render::runRenderJobs(request);
    session.lastJobCount = jobs.jobCount;
    session.lastCollected = jobs.collected;
    if (result == pi::kNoErr && jobs.stalled) result = pi::kMemFullErr;
    return result;
}

}  // namespace

RenderSession& renderSession() {
    static RenderSession session;
    return session;
}

image::TiledImage* sourceImageOf(const FilterContext& ctx) {
    if (!ctx.run) return nullptr;
    return static_cast<image::TiledImage*>(ctx.run->memory.sourceImage);
}

bool setUpRun(FilterContext& ctx) {
    if (!ctx.run) return false;
    releaseRun(ctx);
    RunState& run = *ctx.run;
    imageSlot(run, &WorkingMemory::thumbnailImage) = image::createThumbnailImage().release();
    imageSlot(run, &WorkingMemory::dotPreviewImage) =
        image::create(kDotPreviewSide, kDotPreviewSide, image::SampleFormat::Rgba8).release();
    RenderSession& session = renderSession();
    if (!session.noise) session.noise.reset(new (std::nothrow) image::NoiseTables());
    const bool ready =
        run.memory.thumbnailImage && run.memory.dotPreviewImage && session.noise != nullptr;
    if (!ready) releaseRun(ctx);
    return ready;
}

void releaseRun(FilterContext& ctx) {
    if (ctx.run) {
        freeImage(*ctx.run, &WorkingMemory::sourceImage);
        freeImage(*ctx.run, &WorkingMemory::thumbnailImage);
        freeImage(*ctx.run, &WorkingMemory::dotPreviewImage);
    }
    RenderSession& session = renderSession();
    image::freePreviewPixels(session.preview);
    session.preview = image::PreviewBuffer{};
    session.scratch.reset();
    session.scratchBytes = 0;
}

bool hostCanScale(const pi::FilterRecord& record) {
    return record.advanceState != nullptr && record.displayPixels != nullptr &&
           record.samplingSupport != 0;
}

void setPreviewSize(FilterContext& ctx, std::int32_t zoom) {
    if (!ctx.record || !ctx.params || !ctx.run) return;
    RenderSession& session = renderSession();
    std::int32_t level = std::max(zoom, 1);
    if (!hostCanScale(*ctx.record)) {
        level = 1;
        ctx.params->zoomLevel = 1;
    }
    const IntRect filter = filterRectOf(*ctx.record);
    session.previewRect = image::previewRectFor(filter.top, filter.left, filter.bottom,
                                                filter.right, level, session.paneWidth,
                                                session.paneHeight);
    setCurrentRegion(*ctx.run, asIntRect(session.previewRect));
    image::setPreviewBufferSize(session.preview, session.previewRect);
}

std::int16_t renderPreview(FilterContext& ctx) {
    if (!ctx.record || !ctx.params || !ctx.run) return pi::kFilterBadParameters;
    RenderSession& session = renderSession();
    setPreviewSize(ctx, zoomLevelOf(*ctx.params));
    // Without the buffer the render still runs; it stores nothing.
    image::allocatePreviewPixels(session.preview, ctx.record->planes);
    // The preview leaves the destination as it found it, like every other run-time field.
    const std::int32_t destination = ctx.params->renderDestination;
    ctx.params->renderDestination = kDestinationPreview;
    const std::int16_t result = renderForDestination(ctx, kDestinationPreview);
    ctx.params->renderDestination = destination;
    return result;
}

std::int16_t readPreviewBackground(FilterContext& ctx) {
    if (!ctx.record || !ctx.params || !ctx.run) return pi::kFilterBadParameters;
    pi::FilterRecord& record = *ctx.record;
    RenderSession& session = renderSession();
    setPreviewSize(ctx, zoomLevelOf(*ctx.params));
    image::PreviewBuffer& buffer = session.preview;
    if (!image::allocatePreviewPixels(buffer, record.planes)) return pi::kNoErr;  // nothing to draw
    const SavedRequest saved = saveRequest(record);
    RequestView view = requestViewOf(*ctx.params);
    if (!hostCanScale(record)) view.zoom = 1;
    requestRegion(record, IntRect{0, 0, buffer.bufferHeight, buffer.bufferWidth}, view);
    PreviewPlanes planes;
    planes.pixels = buffer.pixels.get();
    planes.width = buffer.bufferWidth;
    planes.height = buffer.bufferHeight;
    planes.planeCount = buffer.planeCount;
    const std::int16_t result = readProxy(record, planes);
    restoreRequest(record, saved);
    return result;
}

std::int16_t renderForDestination(FilterContext& ctx, std::int32_t destination) {
    if (!ctx.record || !ctx.params || !ctx.run) return pi::kFilterBadParameters;
    if (destination != kDestinationHostOutput && destination != kDestinationPreview)
        return pi::kParamErr;
    pi::FilterRecord& record = *ctx.record;
    ParameterBlock& params = *ctx.params;
    RunState& run = *ctx.run;
    RenderSession& session = renderSession();
    params.renderDestination = destination;

    const std::int16_t loaded = ensureSource(ctx);
    if (loaded != pi::kNoErr) return loaded;
    image::TiledImage& source = *sourceImageOf(ctx);
    if (!session.noise) session.noise.reset(new (std::nothrow) image::NoiseTables());
    if (!session.noise) return pi::kMemFullErr;

    SavedRunTimeFields saved;
    saved.panX = params.panX;
    saved.panY = params.panY;
    saved.zoomLevel = params.zoomLevel;
    saved.passCount = params.passCount;
    saved.settings = params.settings;
    saved.request = saveRequest(record);
    saved.region = currentRegionOf(run);

    IntRect rect;
    RequestView view;
    if (destination == kDestinationPreview) {
        view = requestViewOf(params);
        if (!hostCanScale(record)) view.zoom = 1;
        rect = asIntRect(session.previewRect);
        setUpWholeRegion(record, rect, view.zoom, true);
    } else {
        params.passCount = 1;
        params.currentPass = 1;
        params.zoomLevel = 1;
        params.panX = params.panY = 0;
        const FinalApply apply = beginFinalApply(record, true);
        const IntRect filter = apply.region;
        // Tiles are placed relative to the filter rectangle; the request adds its origin.
        rect = IntRect{0, 0, filter.height(), filter.width()};
        setCurrentRegion(run, filter);
    }

    std::int16_t result = pi::kNoErr;
    if (!ensureScratch(session, rect.height())) {
        result = pi::kUserCanceledErr;
    } else {
        image::buildNoiseTables(*session.noise, std::uint32_t(params.settings.randomSeed));
        result = runRender(ctx, destination, rect, view, source);
    }

    params.panX = saved.panX;
    params.panY = saved.panY;
    params.zoomLevel = saved.zoomLevel;
    params.passCount = saved.passCount;
    params.settings = saved.settings;
    restoreRequest(record, saved.request);
    setCurrentRegion(run, saved.region);
    params.currentPass = kNoPassRunning;
    params.renderDestination = destination;
    if (destination == kDestinationPreview) setPreviewSize(ctx, params.zoomLevel);
    return result;
}

std::int16_t applyToHost(FilterContext& ctx) {
    return renderForDestination(ctx, kDestinationHostOutput);
}

}  // namespace mirel
