// The PSD export run: the description, the metadata, the export image, the
// render into it and the file.
#include "export/psd_export.h"

#include <cstring>
#include <new>

#include "export/psd_writer.h"
#include "host/host_exchange.h"
#include "host/plugin_main.h"
#include "platform/pi/rects.h"
#include "render/output_modes.h"

namespace mirel {

namespace {

constexpr std::int32_t kDeepBytesPerSample = 4;

// The host's profile of the picture, copied out of its handle; empty when the
// host offers none or cannot lock it.
std::vector<std::uint8_t> hostIccProfile(const pi::FilterRecord& record) {
    std::vector<std::uint8_t> profile;
    const pi::HandleProcs* handles = record.handleProcs;
    if (!record.iCCprofileData || record.iCCprofileSize <= 0 || !handles || !handles->lockProc)
        return profile;
    const pi::Ptr bytes = handles->lockProc(record.iCCprofileData, 0);
    if (bytes) {
        try {
            profile.assign(reinterpret_cast<const std::uint8_t*>(bytes),
                           reinterpret_cast<const std::uint8_t*>(bytes) + record.iCCprofileSize);
        } catch (const std::bad_alloc&) {
            profile.clear();  // the document goes without it
        }
    }
    if (handles->unlockProc) handles->unlockProc(record.iCCprofileData);
    return profile;
}

}  // namespace

psd::PsdExportSpec psdExportSpec(std::int32_t width, std::int32_t height,
                                 std::int32_t bytesPerSample) {
    psd::PsdExportSpec spec;
    spec.width = width;
    spec.height = height;
    spec.bytesPerSample = bytesPerSample;
    return spec;
}

IptcKeywords exportKeywords(std::int32_t bytesPerSample, std::int32_t outputMode) {
    IptcKeywords keywords;
    if (bytesPerSample == kDeepBytesPerSample) {
        addKeyword(keywords, "HDR");
        addKeyword(keywords, "high dynamic range");
    }
    if (outputMode != render::kOutputModeNormal)
        addKeyword(keywords, render::outputModeName(outputMode));
    return keywords;
}

std::int16_t exportPsd(FilterContext& ctx, const PsdExportOptions& options,
                       const std::string& path) {
    if (!ctx.record || !ctx.params || !ctx.run) return pi::kFilterBadParameters;
    const pi::FilterRecord& record = *ctx.record;
    const IntRect filter = filterRectOf(record);
    const bool ownSize = options.width == 0 && options.height == 0;
    const psd::PsdExportSpec spec = psdExportSpec(ownSize ? filter.width() : options.width,
                                                  ownSize ? filter.height() : options.height,
                                                  bytesPerSampleOf(pixelClassOf(record)));

    psd::PsdMetadata metadata;
    metadata.iccProfile = hostIccProfile(record);
    metadata.iptc = makeIptcBlock(
        exportKeywords(spec.bytesPerSample, ctx.params->settings.outputMode), os::utcNow());
    metadata.exif = makeExifBlock();
    // Checked before anything is allocated or rendered.
    if (!psd::documentFits(spec, metadata)) return psd::kPsdUnsupported;

    std::unique_ptr<image::TiledImage> layer =
        image::create(spec.width, spec.height, psd::layerFormatFor(spec.bytesPerSample));
    if (!layer) return kResultSourceImageFailed;
    const std::int16_t rendered = renderForExport(ctx, *layer, options.progress);
    if (rendered != pi::kNoErr) return rendered;
    return psd::writePsdFile(path, spec, metadata, *layer);
}

}  // namespace mirel
