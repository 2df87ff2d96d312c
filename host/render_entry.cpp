// The render entries of the final apply, the preview and the export, and the
// images a run keeps.
#include "host/render_entry.h"

#include <algorithm>
#include <new>

#include "host/host_buffers.h"
#include "host/host_exchange.h"
#include "host/plugin_main.h"
#include "host/preview_render.h"
#include "host/source_tiles.h"
#include "image/pyramid.h"
#include "image/thumbnails.h"
#include "platform/pi/rects.h"
#include "render/compose.h"
#include "render/render_job.h"

namespace mirel {
namespace {

IntRect asIntRect(const image::PreviewRect& rect) {
    return {rect.top, rect.left, rect.bottom, rect.right};
}

// Loads the host's picture into the source image and builds its pyramid, once
// per run: later renders find it complete and reuse it.
std::int16_t ensureSource(FilterContext& ctx) {
    pi::FilterRecord& record = *ctx.record;
    const IntRect filter = filterRectOf(record);
    const auto format = image::SampleFormat(sourceFormatCodeFor(record));
    std::unique_ptr<image::TiledImage>& source = ctx.session.sourceImage;
    if (source && (source->baseWidth != filter.width() || source->baseHeight != filter.height() ||
                   source->format != format)) {
        source.reset();  // the host changed the picture under us
    }
    if (source && source->contentState == image::kContentPyramidBuilt) return pi::kNoErr;
    if (!source) {
        source = image::create(filter.width(), filter.height(), format);
        if (!source) return kResultSourceImageFailed;
    }
    const std::int16_t filled = fillFromHost(*source, record);
    if (filled != pi::kNoErr) return filled;
    image::buildPyramid(*source);
    return pi::kNoErr;
}

// What a render changes and puts back.
struct SavedRunTimeFields {
    std::int32_t panX = 0, panY = 0, zoomLevel = 1, passCount = 0;
    SettingsRecord settings{};
    IntRect region;
};

bool ensureScratch(RunSession& session, std::int32_t renderHeight) {
    const std::int64_t bytes = (std::int64_t(std::max(renderHeight, 0)) + 4) * kScratchRowBytes;
    if (session.scratch && session.scratchBytes >= bytes) return true;
    session.scratch.reset(new (std::nothrow) std::uint8_t[std::size_t(bytes)]);
    session.scratchBytes = session.scratch ? bytes : 0;
    return session.scratch != nullptr;
}

std::int16_t runRender(FilterContext& ctx, TileExchange& exchange, std::int32_t destination,
                       const IntRect& rect, image::TiledImage& source) {
    pi::FilterRecord& record = *ctx.record;
    ParameterBlock& params = *ctx.params;
    RunSession& session = ctx.session;
    const IntRect filter = filterRectOf(record);
    const bool floatPicture = pixelClassOf(record) == PixelClass::Float;

    render::RenderRequest request;
    request.inputs.settings = &params.settings;
    request.inputs.noise = session.noise.get();
    request.inputs.zoom = exchange.view.zoom;
    request.inputs.panX = exchange.view.panX;
    request.inputs.panY = exchange.view.panY;
    request.inputs.destination = destination;
    request.inputs.hostWidth = filter.width();
    request.inputs.hostHeight = filter.height();
    request.inputs.highDynamicRange = destination == kDestinationHostOutput && floatPicture;
    request.inputs.overlays = session.previewOverlays;
    request.source = &source;
    request.rect = jobs::JobRect{rect.top, rect.left, rect.bottom, rect.right};
    request.threadLimit = session.threadLimit;
    const jobs::HostBufferService buffers = hostBufferService(record);
    if (buffers.obtain) request.hostBuffers = &buffers;

    render::ComposeSettings compose;
    compose.outputMode = params.settings.outputMode;
    compose.destination = destination;
    compose.highDynamicRange = request.inputs.highDynamicRange;
    compose.greyTarget = record.planes < 3;
    compose.layerTakesTransparency = usesTransparency(record);

    request.cancelRequested = [&] { return exchange.result != pi::kNoErr; };
    request.collect = [&](const jobs::TiledJob& job, const render::RenderContext&) {
        const IntRect tile{job.tile.top, job.tile.left, job.tile.bottom, job.tile.right};
        collectTile(record, exchange, tile, [&] {
            TileDestination target;
            target.destination = destination;
            target.preview = &session.preview;
            target.origin = {.v = tile.top, .h = tile.left};
            target.padded = exchange.usesPadded ? &exchange.padded : nullptr;
            HostTile hostTile(record, target);
            render::composeTile(job, compose, hostTile);
        });
    };
    request.progress = [&](std::int32_t finished, std::int32_t jobCount) {
        if (destination != kDestinationHostOutput || params.currentPass < 1 || jobCount <= 0 ||
            !record.progressProc) {
            return false;
        }
        const std::int32_t passes = std::max(params.passCount, params.currentPass);
        reportApplyProgress(record, (double(params.currentPass - 1) * jobCount + finished) /
                                        (double(passes) * jobCount));
        return true;
    };

    const jobs::TiledJobsResult finished = render::runRenderJobs(request);
    session.lastJobCount = finished.jobCount;
    session.lastCollected = finished.collected;
    if (exchange.result == pi::kNoErr && finished.stalled) exchange.result = pi::kMemFullErr;
    return exchange.result;
}

}  // namespace

bool setUpRun(FilterContext& ctx) {
    releaseRun(ctx);
    RunSession& session = ctx.session;
    session.thumbnailImage = image::createThumbnailImage();
    session.dotPreviewImage =
        image::create(kDotPreviewSide, kDotPreviewSide, image::SampleFormat::Rgba8);
    if (!session.noise) session.noise.reset(new (std::nothrow) image::NoiseTables());
    const bool ready = session.thumbnailImage && session.dotPreviewImage && session.noise;
    if (!ready) releaseRun(ctx);
    return ready;
}

void releaseRun(FilterContext& ctx) {
    RunSession& session = ctx.session;
    session.sourceImage.reset();
    session.thumbnailImage.reset();
    session.dotPreviewImage.reset();
    image::freePreviewPixels(session.preview);
    session.preview = image::PreviewBuffer{};
    session.scratch.reset();
    session.scratchBytes = 0;
}

std::int16_t renderForDestination(FilterContext& ctx, std::int32_t destination) {
    if (!ctx.record || !ctx.params || !ctx.run) return pi::kFilterBadParameters;
    if (destination != kDestinationHostOutput && destination != kDestinationPreview)
        return pi::kParamErr;
    pi::FilterRecord& record = *ctx.record;
    ParameterBlock& params = *ctx.params;
    RunState& run = *ctx.run;
    RunSession& session = ctx.session;
    params.renderDestination = destination;

    const std::int16_t loaded = ensureSource(ctx);
    if (loaded != pi::kNoErr) return loaded;
    image::TiledImage& source = *session.sourceImage;
    if (!session.noise) session.noise.reset(new (std::nothrow) image::NoiseTables());
    if (!session.noise) return pi::kMemFullErr;

    SavedRunTimeFields saved;
    saved.panX = params.panX;
    saved.panY = params.panY;
    saved.zoomLevel = params.zoomLevel;
    saved.passCount = params.passCount;
    saved.settings = params.settings;
    saved.region = currentRegionOf(run);

    IntRect rect;
    TileExchange exchange;
    if (destination == kDestinationPreview) {
        RequestView view = requestViewOf(params);
        if (!hostCanScale(record)) view.zoom = 1;
        rect = asIntRect(session.previewRect);
        exchange = beginPreviewExchange(record, rect, view);
    } else {
        params.passCount = 1;
        params.currentPass = 1;
        params.zoomLevel = 1;
        params.panX = params.panY = 0;
        exchange = beginFinalApply(record, true);
        const IntRect filter = exchange.region;
        // Tiles are placed relative to the filter rectangle; the request adds its origin.
        rect = IntRect{0, 0, filter.height(), filter.width()};
        setCurrentRegion(run, filter);
    }

    std::int16_t result = pi::kNoErr;
    if (!ensureScratch(session, rect.height())) {
        result = pi::kUserCanceledErr;
    } else {
        image::buildNoiseTables(*session.noise, std::uint32_t(params.settings.randomSeed));
        result = runRender(ctx, exchange, destination, rect, source);
    }

    params.panX = saved.panX;
    params.panY = saved.panY;
    params.zoomLevel = saved.zoomLevel;
    params.passCount = saved.passCount;
    params.settings = saved.settings;
    endExchange(record, exchange);
    setCurrentRegion(run, saved.region);
    params.currentPass = kNoPassRunning;
    params.renderDestination = destination;
    if (destination == kDestinationPreview) setPreviewSize(ctx, params.zoomLevel);
    return result;
}

std::int16_t applyToHost(FilterContext& ctx) {
    return renderForDestination(ctx, kDestinationHostOutput);
}

// ---- Export ----------------------------------------------------------------------

namespace {

// A tile of an export render: the untouched picture from the tile store the
// render reads (no host request is made), no selection, results into the
// export image through the host tile's export store.
class ExportTile final : public render::ComposeTarget {
  public:
    ExportTile(const pi::FilterRecord& record, const image::TiledImage& source,
               const TileDestination& destination)
        : source_(source), origin_(destination.origin), store_(record, destination) {}

    // Divided as the host exchange divides the host's samples, so that an
    // export at the picture's size composes with the very values the final
    // apply would.
    image::Rgba readSource(std::int32_t x, std::int32_t y) override {
        const std::int32_t sx = origin_.h + x, sy = origin_.v + y;
        switch (source_.format) {
            case image::SampleFormat::Rgba8: {
                const std::uint32_t w = image::readRgba8(source_, sx, sy, 0);
                return {float(w >> 24) / 255.0f, float((w >> 16) & 255u) / 255.0f,
                        float((w >> 8) & 255u) / 255.0f, float(w & 255u) / 255.0f};
            }
            case image::SampleFormat::Rgba16: {
                const image::Rgba16Pixel p = image::readRgba16(source_, sx, sy, 0);
                const float full = float(image::kFixedOne);
                return {p.r / full, p.g / full, p.b / full, p.a / full};
            }
            case image::SampleFormat::RgbaFloat:
                return image::readRgbaFloat(source_, sx, sy, 0);
        }
        return {};
    }
    float maskAt(std::int32_t, std::int32_t) override { return 1.0f; }
    void writeResult(std::int32_t x, std::int32_t y, const image::Rgba& rgba) override {
        store_.write(x, y, rgba);
    }

  private:
    const image::TiledImage& source_;
    IntPoint origin_;
    HostTile store_;
};

// What an export render changes and puts back.
struct SavedPreviewState {
    std::int32_t panX = 0, panY = 0, zoomLevel = 1, passCount = 0, destination = 0;
    image::PreviewRect previewRect;
    SettingsRecord settings{};
};

}  // namespace

std::int16_t renderForExport(FilterContext& ctx, image::TiledImage& target,
                             const ExportProgress& progress) {
    if (!ctx.record || !ctx.params || !ctx.run) return pi::kFilterBadParameters;
    if (!image::hasTiles(target)) return pi::kParamErr;
    pi::FilterRecord& record = *ctx.record;
    ParameterBlock& params = *ctx.params;
    RunSession& session = ctx.session;

    const std::int16_t loaded = ensureSource(ctx);
    if (loaded != pi::kNoErr) return loaded;
    if (!session.noise) session.noise.reset(new (std::nothrow) image::NoiseTables());
    if (!session.noise) return pi::kMemFullErr;

    // At another size the render reads the picture at the export's size, so
    // that the water and its reflection are drawn at the export's resolution.
    image::TiledImage* source = session.sourceImage.get();
    std::unique_ptr<image::TiledImage> resized;
    if (source->baseWidth != target.baseWidth || source->baseHeight != target.baseHeight) {
        resized = image::create(target.baseWidth, target.baseHeight, source->format);
        if (!resized || !image::copyImage(*source, *resized)) return kResultSourceImageFailed;
        source = resized.get();
    }
    const IntRect rect{0, 0, target.baseHeight, target.baseWidth};
    if (!ensureScratch(session, rect.height())) return pi::kMemFullErr;

    SavedPreviewState saved;
    saved.panX = params.panX;
    saved.panY = params.panY;
    saved.zoomLevel = params.zoomLevel;
    saved.passCount = params.passCount;
    saved.destination = params.renderDestination;
    saved.previewRect = session.previewRect;
    saved.settings = params.settings;
    params.renderDestination = kDestinationExport;
    params.zoomLevel = 1;
    params.panX = params.panY = 0;
    params.passCount = 1;
    params.currentPass = 1;
    image::buildNoiseTables(*session.noise, std::uint32_t(params.settings.randomSeed));

    const IntRect filter = filterRectOf(record);
    render::RenderRequest request;
    request.inputs.settings = &params.settings;
    request.inputs.noise = session.noise.get();
    request.inputs.destination = kDestinationExport;
    request.inputs.hostWidth = filter.width();
    request.inputs.hostHeight = filter.height();
    request.inputs.highDynamicRange = target.format == image::SampleFormat::RgbaFloat;
    request.source = source;
    request.rect = jobs::JobRect{rect.top, rect.left, rect.bottom, rect.right};
    request.threadLimit = session.threadLimit;
    const jobs::HostBufferService buffers = hostBufferService(record);
    if (buffers.obtain) request.hostBuffers = &buffers;

    render::ComposeSettings compose;
    compose.outputMode = params.settings.outputMode;
    compose.destination = kDestinationExport;
    compose.highDynamicRange = request.inputs.highDynamicRange;
    // The document is RGB whatever the picture: the water keeps its colour.
    compose.greyTarget = false;
    compose.layerTakesTransparency = true;

    bool cancelled = false;
    request.cancelRequested = [&] { return cancelled; };
    request.collect = [&](const jobs::TiledJob& job, const render::RenderContext&) {
        TileDestination destination;
        destination.destination = kDestinationExport;
        destination.exportImage = &target;
        destination.origin = {.v = job.tile.top, .h = job.tile.left};
        ExportTile tile(record, *source, destination);
        render::composeTile(job, compose, tile);
    };
    request.progress = [&](std::int32_t finished, std::int32_t jobCount) {
        if (!progress || jobCount <= 0) return false;
        if (!progress(std::int32_t(std::int64_t(finished) * 1000 / jobCount))) cancelled = true;
        return true;
    };

    const jobs::TiledJobsResult finished = render::runRenderJobs(request);
    session.lastJobCount = finished.jobCount;
    session.lastCollected = finished.collected;
    std::int16_t result = pi::kNoErr;
    if (!cancelled && progress && !progress(1000)) cancelled = true;
    if (cancelled) {
        result = pi::kUserCanceledErr;
    } else if (finished.stalled) {
        result = pi::kMemFullErr;
    } else {
        target.contentState = image::kContentFilled;
    }

    params.panX = saved.panX;
    params.panY = saved.panY;
    params.zoomLevel = saved.zoomLevel;
    params.passCount = saved.passCount;
    params.settings = saved.settings;
    params.renderDestination = saved.destination;
    params.currentPass = kNoPassRunning;
    session.previewRect = saved.previewRect;
    return result;
}

}  // namespace mirel
