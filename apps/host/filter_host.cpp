// The host side of the plug-in interface: the FilterRecord, the handle and
// buffer suites, advanceState over the program's picture, abort and progress.
#include "apps/host/filter_host.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <span>

#include "platform/pi/rects.h"

namespace mirel::hostkit {

namespace {

constexpr std::int32_t kBigDocumentSide = 32768;
constexpr int kMaxContinueCalls = 1 << 20;
constexpr std::int32_t kHostMaxSpace = 1 << 30;

std::int16_t saturate16(std::int64_t value) {
    return std::int16_t(std::clamp<std::int64_t>(value, -32768, 32767));
}

std::int16_t imageModeOf(const PictureShape& shape) {
    const bool grey = shape.isGrey();
    switch (shape.bitsPerChannel) {
        case 16:
            return grey ? pi::kModeGray16 : pi::kModeRGB48;
        case 32:
            return grey ? pi::kModeGray32 : pi::kModeRGB96;
        default:
            return grey ? pi::kModeGrayScale : pi::kModeRGBColor;
    }
}

}  // namespace

ActiveHost::ActiveHost(FilterHost& host) : host_(&host), descriptors_(host.descriptors_.get()) {}

// ---- Callbacks -------------------------------------------------------------------

// Each finds its host through the call scope; without one it answers as a host
// that lacks the service.
struct HostCallbacks {
    static FilterHost* host() { return CallScope<FilterHost>::current(); }

    static HostBlock* blockOf(pi::Handle handle) {
        FilterHost* h = host();
        return h ? h->blockOf(handle) : nullptr;
    }

    static pi::Handle newHandle(std::int32_t size) {
        FilterHost* h = host();
        return h ? h->newBlock(size) : nullptr;
    }

    static void disposeHandle(pi::Handle handle) {
        if (FilterHost* h = host()) h->disposeBlock(handle);
    }

    static std::int32_t handleSize(pi::Handle handle) {
        HostBlock* block = blockOf(handle);
        return block ? block->size : 0;
    }
    // A host that does not keep sizes answers 0 for every handle.
    static std::int32_t handleSizeUnknown(pi::Handle) { return 0; }

    static pi::OSErr setHandleSize(pi::Handle handle, std::int32_t size) {
        HostBlock* block = blockOf(handle);
        if (!block || size < 0) return pi::kNilHandleErr;
        // The profile belongs to the picture; the plug-in may read it only.
        if (block == &host()->iccBlock_) return pi::kParamErr;
        if (block->lockCount > 0) return pi::kMemFullErr;
        auto* grown = static_cast<char*>(std::realloc(block->memory, std::max(size, 1)));
        if (!grown) return pi::kMemFullErr;
        if (size > block->size) std::memset(grown + block->size, 0, size - block->size);
        block->memory = grown;
        block->size = size;
        return pi::kNoErr;
    }

    static pi::Ptr lockHandle(pi::Handle handle, pi::Boolean) {
        HostBlock* block = blockOf(handle);
        if (!block) return nullptr;
        ++block->lockCount;
        return block->memory;
    }

    static void unlockHandle(pi::Handle handle) {
        HostBlock* block = blockOf(handle);
        if (block && block->lockCount > 0) --block->lockCount;
    }

    static void recoverSpace(std::int32_t) {}

    // Buffers are plain allocations owned by the plug-in between allocate and free.
    static pi::OSErr allocateBuffer64(std::int64_t size, pi::BufferID* id) {
        if (!id || size < 0) return pi::kParamErr;
        *id = nullptr;
        FilterHost* h = host();
        if (!h || h->options_.refuseBuffers || size > kMaxRequestBytes) return pi::kMemFullErr;
        *id = reinterpret_cast<pi::BufferID>(
            std::calloc(std::size_t(std::max<std::int64_t>(size, 1)), 1));
        if (!*id) return pi::kMemFullErr;
        ++h->liveBuffers_;
        return pi::kNoErr;
    }
    static pi::OSErr allocateBuffer(std::int32_t size, pi::BufferID* id) {
        return allocateBuffer64(size, id);
    }
    static pi::Ptr lockBuffer(pi::BufferID id, pi::Boolean) {
        FilterHost* h = host();
        if (!h || h->options_.failBufferLocks) return nullptr;
        return reinterpret_cast<pi::Ptr>(id);
    }
    static void unlockBuffer(pi::BufferID) {}
    // A buffer is freed even when no host is current, so that it is not lost.
    static void freeBuffer(pi::BufferID id) {
        if (!id) return;
        std::free(id);
        if (FilterHost* h = host()) --h->liveBuffers_;
    }
    static std::int32_t bufferSpace() { return kHostMaxSpace; }
    static std::int64_t bufferSpace64() { return std::int64_t(kHostMaxSpace) * 4; }
    static void reserveSpace(std::int32_t) {}

    static pi::Boolean testAbort() {
        FilterHost* h = host();
        if (!h) return 0;
        ++h->abortPolls_;
        if (h->options_.abortAfterPolls >= 0 && h->abortPolls_ > h->options_.abortAfterPolls)
            return 1;
        const auto& cancelRequested = h->options_.feedback.cancelRequested;
        return cancelRequested && cancelRequested() ? 1 : 0;
    }

    static void progress(std::int32_t done, std::int32_t total) {
        FilterHost* h = host();
        if (!h) return;
        h->progressLog_.emplace_back(done, total);
        if (h->options_.feedback.progress) h->options_.feedback.progress(done, total);
    }

    static pi::OSErr advanceState() {
        FilterHost* h = host();
        return h ? h->advanceState() : pi::kParamErr;
    }

    // Suites that answer as if all went well and hand back nothing.
    static pi::OSErr getNoProperty(std::uint32_t, std::uint32_t, std::int32_t, std::intptr_t*,
                                   pi::Handle*) {
        return pi::kNoErr;
    }
    static pi::OSErr setNoProperty(std::uint32_t, std::uint32_t, std::int32_t, std::intptr_t,
                                   pi::Handle) {
        return pi::kNoErr;
    }
    static std::int16_t countNoResources(std::uint32_t) { return 0; }
    static pi::Handle getNoResource(std::uint32_t, std::int16_t) { return nullptr; }
    static void deleteNoResource(std::uint32_t, std::int16_t) {}
    static pi::OSErr addNoResource(std::uint32_t, pi::Handle) { return pi::kNoErr; }

    // Colour services that are offered but fail every request.
    static pi::OSErr failColorServices(pi::ColorServicesInfo*) { return pi::kParamErr; }

    // The host has no window of its own to draw into; a pixel map shown
    // outside a dialog is accepted and ignored.
    static pi::OSErr displayPixels(const pi::PSPixelMap* map, const pi::VRect* rect, std::int32_t,
                                   std::int32_t, void*) {
        return (map && rect) ? pi::kNoErr : pi::kParamErr;
    }
};

// ---- FilterHost --------------------------------------------------------------------

FilterHost::FilterHost(const PluginLibrary& plugin, PictureStore& picture, HostOptions options)
    : plugin_(plugin), picture_(picture), shape_(picture.shape()), options_(std::move(options)) {
    // Room for the newest record layout; older plug-ins read only the front.
    recordMemory_ = std::make_unique<std::uint8_t[]>(sizeof(pi::FilterRecord));
    std::memset(recordMemory_.get(), 0, sizeof(pi::FilterRecord));
    record_ = reinterpret_cast<pi::FilterRecord*>(recordMemory_.get());
    descriptors_ = std::make_unique<DescriptorServices>(static_cast<DescriptorHandles&>(*this));
    setUpRecord();
}

FilterHost::~FilterHost() {
    descriptors_.reset();
    for (auto& block : blocks_) std::free(block->memory);
}

bool FilterHost::protectsTransparency() const {
    return record_->filterCase == pi::kFilterCaseProtectedTransparencyNoSelection ||
           record_->filterCase == pi::kFilterCaseProtectedTransparencyWithSelection;
}

void FilterHost::setMask(const PictureStore* mask) {
    mask_ = mask;
    setUpRecord();
}

bool FilterHost::setFilterRect(const IntRect& rect) {
    const IntRect clipped{std::max(rect.top, 0), std::max(rect.left, 0),
                          std::min(rect.bottom, shape_.height), std::min(rect.right, shape_.width)};
    if (clipped.empty()) return false;
    filterRect_ = clipped;
    setUpRecord();
    return true;
}

void FilterHost::setUpRecord() {
    pi::FilterRecord& r = *record_;
    const std::int32_t width = shape_.width;
    const std::int32_t height = shape_.height;
    const int channels = shape_.channels;
    const bool alpha = shape_.hasAlpha();
    const int colourPlanes = alpha ? channels - 1 : channels;

    r.serialNumber = 0;
    r.abortProc = &HostCallbacks::testAbort;
    r.progressProc = &HostCallbacks::progress;
    r.imageSize = {saturate16(height), saturate16(width)};
    r.planes = std::int16_t(channels);
    const IntRect filter = filterRect_.value_or(IntRect{0, 0, height, width});
    r.filterRect = {saturate16(filter.top), saturate16(filter.left), saturate16(filter.bottom),
                    saturate16(filter.right)};
    r.background = {0xFFFF, 0xFFFF, 0xFFFF};
    r.foreground = {0, 0, 0};
    r.maxSpace = kHostMaxSpace;
    r.bufferSpace = 0;
    r.isFloating = 0;
    r.haveMask = mask_ ? 1 : 0;
    r.autoMask = 1;
    std::memset(r.backColor, 0xFF, sizeof r.backColor);
    std::memset(r.foreColor, 0, sizeof r.foreColor);
    r.hostSig = options_.hostSignature;
    r.imageMode = options_.imageModeOverride >= 0 ? std::int16_t(options_.imageModeOverride)
                                                  : imageModeOf(shape_);
    r.imageHRes = 72 * pi::kFixedOne16;
    r.imageVRes = 72 * pi::kFixedOne16;
    // The filter asks for its tiles from the filter rectangle's corner on, offset by
    // this point: the corner in the picture.
    r.floatCoord = {saturate16(filter.top), saturate16(filter.left)};
    r.wholeSize = r.imageSize;
    r.platformData = &platformData_;

    handleProcs_ = {
        pi::kCurrentHandleProcsVersion,
        pi::kCurrentHandleProcsCount,
        &HostCallbacks::newHandle,
        &HostCallbacks::disposeHandle,
        options_.reportHandleSizes ? &HostCallbacks::handleSize : &HostCallbacks::handleSizeUnknown,
        &HostCallbacks::setHandleSize,
        &HostCallbacks::lockHandle,
        &HostCallbacks::unlockHandle,
        &HostCallbacks::recoverSpace,
        &HostCallbacks::disposeHandle};
    bufferProcs_ = {options_.bufferProcsVersion,      options_.bufferProcsCount,
                    &HostCallbacks::allocateBuffer,   &HostCallbacks::lockBuffer,
                    &HostCallbacks::unlockBuffer,     &HostCallbacks::freeBuffer,
                    &HostCallbacks::bufferSpace,      &HostCallbacks::reserveSpace,
                    &HostCallbacks::allocateBuffer64, &HostCallbacks::bufferSpace64};
    r.handleProcs = &handleProcs_;
    r.bufferProcs = options_.offerBufferProcs ? &bufferProcs_ : nullptr;
    r.displayPixels = options_.offerDisplayPixels ? &HostCallbacks::displayPixels : nullptr;
    r.advanceState = options_.offerAdvanceState ? &HostCallbacks::advanceState : nullptr;
    descriptors_->setPlayInfo(options_.playInfo);
    r.descriptorParameters = options_.offerDescriptors ? descriptors_->parameters() : nullptr;
    if (options_.offerDescriptors &&
        options_.descriptorSuite != HostOptions::DescriptorSuite::Usable) {
        brokenDescriptors_ = *descriptors_->parameters();
        if (options_.descriptorSuite == HostOptions::DescriptorSuite::VersionZero)
            brokenDescriptors_.descriptorParametersVersion = 0;
        else
            brokenDescriptors_.readDescriptorProcs = nullptr;
        if (options_.descriptorSuite == HostOptions::DescriptorSuite::WithoutProcs)
            brokenDescriptors_.writeDescriptorProcs = nullptr;
        r.descriptorParameters = &brokenDescriptors_;
    }
    propertyProcs_ = {pi::kCurrentPropertyProcsVersion, pi::kCurrentPropertyProcsCount,
                      &HostCallbacks::getNoProperty, &HostCallbacks::setNoProperty};
    resourceProcs_ = {pi::kCurrentResourceProcsVersion, pi::kCurrentResourceProcsCount,
                      &HostCallbacks::countNoResources, &HostCallbacks::getNoResource,
                      &HostCallbacks::deleteNoResource, &HostCallbacks::addNoResource};
    r.propertyProcs = options_.offerEmptySuites ? &propertyProcs_ : nullptr;
    r.resourceProcs = options_.offerEmptySuites ? &resourceProcs_ : nullptr;
    r.colorServices =
        options_.offerFailingColorServices ? &HostCallbacks::failColorServices : nullptr;

    r.supportsDummyChannels = 0;
    r.supportsAlternateLayouts = 0;
    r.wantLayout = pi::kLayoutTraditional;
    if (!alpha)
        r.filterCase =
            mask_ ? pi::kFilterCaseFlatImageWithSelection : pi::kFilterCaseFlatImageNoSelection;
    else if (options_.preserveTransparency)
        r.filterCase = mask_ ? pi::kFilterCaseProtectedTransparencyWithSelection
                             : pi::kFilterCaseProtectedTransparencyNoSelection;
    else
        r.filterCase = mask_ ? pi::kFilterCaseEditableTransparencyWithSelection
                             : pi::kFilterCaseEditableTransparencyNoSelection;
    r.dummyPlaneValue = -1;
    r.supportsAbsolute = 0;
    r.cannotUndo = 0;
    r.supportsPadding = options_.supportPadding ? 1 : 0;
    r.inputPadding = r.outputPadding = r.maskPadding = pi::kPaddingEdgeReplication;
    r.samplingSupport = options_.sampleInput ? pi::kSamplingIntegral : pi::kSamplingNone;
    r.inputRate = r.maskRate = pi::kFixedOne16;
    r.inLayerPlanes = r.outLayerPlanes = std::int16_t(colourPlanes);
    r.inTransparencyMask = r.outTransparencyMask = alpha ? 1 : 0;
    r.inNonLayerPlanes = r.outNonLayerPlanes = 0;
    r.depth = shape_.bitsPerChannel;

    // The profile is offered read-only, as a copy: the picture keeps its own for the output.
    const std::span<const std::uint8_t> profile = picture_.iccProfileBytes();
    iccProfile_.assign(profile.begin(), profile.end());
    iccBlock_.memory = iccProfile_.empty() ? nullptr : reinterpret_cast<char*>(iccProfile_.data());
    iccBlock_.size = std::int32_t(std::min<std::size_t>(iccProfile_.size(), INT32_MAX));
    r.iCCprofileData = iccBlock_.memory ? &iccBlock_.memory : nullptr;
    r.iCCprofileSize = iccBlock_.memory ? iccBlock_.size : 0;
    r.canUseICCProfiles = 1;

    bigDocument_ = {};
    bigDocument_.imageSize32 = {height, width};
    bigDocument_.filterRect32 = {filter.top, filter.left, filter.bottom, filter.right};
    bigDocument_.wholeSize32 = {height, width};
    bigDocument_.floatCoord32 = {filter.top, filter.left};
    // Pictures that 16-bit rectangles cannot describe are given in 32 bits.
    bigDocument_.PluginUsing32BitCoordinates =
        (width >= kBigDocumentSide || height >= kBigDocumentSide) ? 1 : 0;
    r.bigDocumentData = options_.offerBigDocument ? &bigDocument_ : nullptr;
}

const HostBlock* FilterHost::parametersBlock() const {
    for (const auto& block : blocks_)
        if (&block->memory == record_->parameters) return block.get();
    return nullptr;
}

const HostBlock* FilterHost::runStateBlock() const {
    for (const auto& block : blocks_)
        if (reinterpret_cast<std::intptr_t>(&block->memory) == data_) return block.get();
    return nullptr;
}

void FilterHost::dropParametersBlock() {
    disposeBlock(record_->parameters);
    record_->parameters = nullptr;
}

int FilterHost::liveBlockCount() const {
    return int(blocks_.size());
}

HostBlock* FilterHost::blockOf(pi::Handle handle) {
    if (!handle) return nullptr;
    if (handle == &iccBlock_.memory) return &iccBlock_;
    for (auto& block : blocks_)
        if (&block->memory == handle) return block.get();
    return nullptr;
}

pi::Handle FilterHost::newBlock(std::int32_t size) {
    if (size < 0) return nullptr;
    if (options_.handleAllocationsLeft == 0) return nullptr;
    if (options_.handleAllocationsLeft > 0) --options_.handleAllocationsLeft;
    auto block = std::make_unique<HostBlock>();
    block->memory = static_cast<char*>(std::calloc(std::max<std::int32_t>(size, 1), 1));
    if (!block->memory) return nullptr;
    block->size = size;
    blocks_.push_back(std::move(block));
    return &blocks_.back()->memory;
}

void FilterHost::disposeBlock(pi::Handle handle) {
    auto it = std::find_if(blocks_.begin(), blocks_.end(),
                           [&](const auto& block) { return &block->memory == handle; });
    if (it == blocks_.end()) return;
    std::free((*it)->memory);
    blocks_.erase(it);
}

pi::Handle FilterHost::makeHandle(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() > std::size_t(INT32_MAX)) return nullptr;
    pi::Handle handle = newBlock(std::int32_t(bytes.size()));
    if (handle && !bytes.empty()) std::memcpy(*handle, bytes.data(), bytes.size());
    return handle;
}

std::optional<std::vector<std::uint8_t>> FilterHost::handleBytes(pi::Handle handle) {
    const HostBlock* block = blockOf(handle);
    if (!block || !block->memory) return std::nullopt;
    return std::vector<std::uint8_t>(block->memory, block->memory + block->size);
}

std::int16_t FilterHost::call(std::int16_t selector) {
    const ActiveHost active(*this);
    std::int16_t result = 0;
    selectorLog_.push_back(selector);
    if (selector == pi::kFilterSelectorAbout) {
        pi::AboutRecord about{};
        about.platformData = &platformData_;
        plugin_.entry()(selector, &about, &data_, &result);
    } else {
        plugin_.entry()(selector, record_, &data_, &result);
    }
    if (selector == pi::kFilterSelectorStart || selector == pi::kFilterSelectorContinue)
        commitOutput();
    return result;
}

std::int16_t FilterHost::run(bool withParameters) {
    const RunFeedback& feedback = options_.feedback;
    if (feedback.started) feedback.started();
    const std::int16_t result = [&]() -> std::int16_t {
        if (withParameters) {
            if (std::int16_t r = call(pi::kFilterSelectorParameters)) return r;
        }
        if (std::int16_t r = call(pi::kFilterSelectorPrepare)) return r;
        if (std::int16_t r = call(pi::kFilterSelectorStart)) return r;
        for (int i = 0; i < kMaxContinueCalls; ++i) {
            if (inRectOf(*record_).empty() && outRectOf(*record_).empty() &&
                maskRectOf(*record_).empty())
                break;
            if (std::int16_t r = call(pi::kFilterSelectorContinue)) return r;
        }
        return call(pi::kFilterSelectorFinish);
    }();
    if (feedback.ended) feedback.ended();
    return result;
}

// ---- advanceState ------------------------------------------------------------------

namespace {

float loadStored(const std::uint8_t* at, int bytes) {
    switch (bytes) {
        case 1:
            return float(*at);
        case 2: {
            std::uint16_t value;
            std::memcpy(&value, at, sizeof value);
            return float(value);
        }
        default: {
            float value;
            std::memcpy(&value, at, sizeof value);
            return value;
        }
    }
}

// A padding value (0..255) in the picture's own sample scale.
void storePadding(std::uint8_t* at, int bytes, int padding) {
    switch (bytes) {
        case 1:
            *at = std::uint8_t(padding);
            return;
        case 2: {
            const auto value = std::uint16_t((padding * kInterface16Max + 127) / 255);
            std::memcpy(at, &value, sizeof value);
            return;
        }
        default: {
            const float value = float(padding) / 255.0f;
            std::memcpy(at, &value, sizeof value);
            return;
        }
    }
}

// A blended value stored as the picture keeps it: whole numbers rounded to
// nearest within the sample's range, floats as they are.
void storeSample(std::uint8_t* at, int bytes, float value) {
    switch (bytes) {
        case 1:
            *at = std::uint8_t(std::clamp(value + 0.5f, 0.0f, 255.0f));
            return;
        case 2: {
            const auto stored =
                std::uint16_t(std::clamp(value + 0.5f, 0.0f, float(kInterface16Max)));
            std::memcpy(at, &stored, sizeof stored);
            return;
        }
        default:
            std::memcpy(at, &value, sizeof value);
            return;
    }
}

}  // namespace

std::int16_t FilterHost::advanceState() {
    ++advanceStateCalls_;
    commitOutput();
    if (options_.advanceStateError != pi::kNoErr) {
        in_ = {};
        out_ = {};
        mask_request_ = {};
        record_->inData = record_->outData = record_->maskData = nullptr;
        return options_.advanceStateError;
    }
    return deliverRequests();
}

// Takes the output buffer of the last request back into the picture. With
// protected transparency the alpha channel is left as it was; when the
// plug-in leaves masking to the host, the selection blends old and new.
void FilterHost::commitOutput() {
    RequestBuffer& out = out_;
    if (out.buffer.empty()) return;
    const int bytes = shape_.sampleBytes();
    const int channels = shape_.channels;
    const int alphaChannel = shape_.hasAlpha() ? channels - 1 : -1;
    const bool keepAlpha = protectsTransparency();
    const bool blend = mask_ != nullptr && record_->autoMask != 0;
    const std::int32_t top = std::max(out.top, 0);
    const std::int32_t bottom = std::min(out.bottom, shape_.height);
    const std::int32_t left = std::max(out.left, 0);
    const std::int32_t right = std::min(out.right, shape_.width);
    if (top >= bottom || left >= right) {
        out.buffer.clear();
        return;
    }
    const std::int32_t count = right - left;
    // Whole pixels, taken as they are: the rows go back to the picture in one piece each.
    const bool alphaKept =
        keepAlpha && alphaChannel >= out.loPlane && alphaChannel < out.loPlane + out.planeCount;
    if (!blend && !alphaKept && out.loPlane == 0 && out.planeCount == channels) {
        const std::int64_t skip = std::int64_t(left - out.left) * channels * bytes;
        for (std::int32_t y = top; y < bottom; ++y)
            picture_.writePixels(
                left, y, count,
                out.buffer.data() + std::int64_t(y - out.top) * out.rowBytes + skip);
        out.buffer.clear();
        return;
    }
    std::vector<std::uint8_t> pixels(std::size_t(count) * channels * bytes);
    std::vector<std::uint8_t> selection(blend ? std::size_t(count) : 0);
    for (std::int32_t y = top; y < bottom; ++y) {
        const std::uint8_t* row = out.buffer.data() + std::int64_t(y - out.top) * out.rowBytes;
        picture_.readPixels(left, y, count, pixels.data());
        if (blend) mask_->readPixels(left, y, count, selection.data());
        for (std::int32_t x = left; x < right; ++x) {
            std::uint8_t* pixel = pixels.data() + std::int64_t(x - left) * channels * bytes;
            const std::uint8_t* source = row + std::int64_t(x - out.left) * out.planeCount * bytes;
            const float selected = blend ? float(selection[x - left]) / 255.0f : 1.0f;
            if (selected <= 0.0f) continue;
            for (int p = 0; p < out.planeCount; ++p) {
                const int channel = out.loPlane + p;
                if (channel < 0 || channel >= channels) continue;
                if (keepAlpha && channel == alphaChannel) continue;
                std::uint8_t* target = pixel + channel * bytes;
                if (selected >= 1.0f) {
                    std::memcpy(target, source + p * bytes, bytes);
                } else {
                    const float before = loadStored(target, bytes);
                    const float after = loadStored(source + p * bytes, bytes);
                    storeSample(target, bytes, before + (after - before) * selected);
                }
            }
        }
        picture_.writePixels(left, y, count, pixels.data());
    }
    out.buffer.clear();
}

namespace {

// Copies the pixel at `pixel` into the `count` pixels that follow it, in
// doubling blocks rather than a pixel at a time.
void repeatPixel(std::uint8_t* pixel, std::int64_t count, std::int64_t pixelBytes) {
    std::int64_t filled = 1;
    while (filled <= count) {
        const std::int64_t n = std::min(filled, count + 1 - filled);
        std::memcpy(pixel + filled * pixelBytes, pixel, std::size_t(n * pixelBytes));
        filled += n;
    }
}

// Fills `request` with the samples of `rect` in planes lo..hi, taking every
// rate-th pixel of `source`. Parts outside the picture follow `padding`: edge
// replication (-1), a constant 0..255, left zero (-2), or an error (-3).
std::int16_t fillRequest(RequestBuffer& request, const PictureStore& source,
                         const PictureShape& shape, const IntRect& rect, int lo, int hi,
                         std::int32_t rate, int channelOffset, std::int16_t padding) {
    request = {};
    if (rect.empty() || hi < lo) return pi::kNoErr;
    if (lo < 0) return pi::kParamErr;
    const int sampleBytes = shape.sampleBytes();
    const int planeCount = hi - lo + 1;
    const std::int64_t width = std::int64_t(rect.right) - rect.left;
    const std::int64_t height = std::int64_t(rect.bottom) - rect.top;
    const std::int64_t rowBytes = width * planeCount * sampleBytes;
    const std::int64_t total = rowBytes * height;
    // The row bytes travel as a 32-bit value: a row of 2^31 bytes or more is refused.
    if (rowBytes >= kMaxRequestBytes || total > kMaxRequestBytes) return pi::kMemFullErr;
    request.top = rect.top;
    request.left = rect.left;
    request.bottom = rect.bottom;
    request.right = rect.right;
    request.loPlane = lo;
    request.hiPlane = hi;
    request.planeCount = planeCount;
    request.rate = std::max(1, rate);
    request.rowBytes = std::int32_t(rowBytes);
    // Even an allowed request may be more than the machine has: the plug-in hears
    // "out of memory" rather than an exception thrown through its callback.
    try {
        request.buffer.assign(std::size_t(total), 0);
    } catch (const std::bad_alloc&) {
        return pi::kMemFullErr;
    }

    // The source columns the request reaches, read once for each source row.
    const std::int64_t pixelBytes = std::int64_t(shape.channels) * sampleBytes;
    auto sourceColumn = [&](std::int64_t x) {
        return std::int32_t(std::clamp<std::int64_t>(x * request.rate, 0, shape.width - 1));
    };
    const std::int32_t firstColumn = sourceColumn(rect.left);
    const std::int32_t columns = sourceColumn(std::int64_t(rect.right) - 1) - firstColumn + 1;
    std::vector<std::uint8_t> sourceRow(std::size_t(columns * pixelBytes));
    std::int32_t rowRead = -1;

    // Every channel of pixels side by side at full rate: the store's rows are the
    // request's rows, read straight into the buffer. With edge replication the
    // columns beyond the picture repeat its edge pixels (a source tile of a
    // narrow picture is mostly such columns).
    const bool wholePixels = request.rate == 1 && lo == 0 && planeCount == shape.channels &&
                             (channelOffset < 0 || (channelOffset == 0 && planeCount == 1));
    const bool replicates = padding == pi::kPaddingEdgeReplication;
    const bool rowsAtOnce =
        wholePixels && (replicates || (rect.left >= 0 && rect.right <= shape.width));
    const std::int64_t insideLeft = std::clamp<std::int64_t>(rect.left, 0, shape.width - 1);
    const std::int64_t insideRight =
        std::clamp<std::int64_t>(rect.right, insideLeft + 1, shape.width);
    for (std::int32_t y = rect.top; y < rect.bottom; ++y) {
        const std::int64_t wantedY = std::int64_t(y) * request.rate;
        const bool rowOutside = wantedY < 0 || wantedY >= shape.height;
        std::uint8_t* row = request.buffer.data() + std::int64_t(y - rect.top) * rowBytes;
        const auto sy = std::int32_t(std::clamp<std::int64_t>(wantedY, 0, shape.height - 1));
        if (rowsAtOnce && (!rowOutside || replicates)) {
            // Columns insideLeft..insideRight of the picture, at least its nearest
            // edge pixel when the whole rectangle lies beside it.
            const std::int64_t first =
                std::clamp<std::int64_t>(insideLeft - rect.left, 0, width - 1);
            const std::int64_t count = std::min(insideRight - insideLeft, width - first);
            std::uint8_t* at = row + first * pixelBytes;
            source.readPixels(std::int32_t(insideLeft), sy, std::int32_t(count), at);
            if (first > 0) {
                std::memcpy(row, at, std::size_t(pixelBytes));
                repeatPixel(row, first - 1, pixelBytes);
            }
            const std::int64_t last = first + count - 1;
            if (last < width - 1)
                repeatPixel(row + last * pixelBytes, width - 1 - last, pixelBytes);
            continue;
        }
        for (std::int32_t x = rect.left; x < rect.right; ++x) {
            const std::int64_t wantedX = std::int64_t(x) * request.rate;
            const bool outside = rowOutside || wantedX < 0 || wantedX >= shape.width;
            std::uint8_t* target = row + std::int64_t(x - rect.left) * planeCount * sampleBytes;
            if (outside && padding != pi::kPaddingEdgeReplication) {
                if (padding == pi::kPaddingErrorOnBoundsException) return pi::kParamErr;
                if (padding >= 0 && padding <= 255)
                    for (int p = 0; p < planeCount; ++p)
                        storePadding(target + p * sampleBytes, sampleBytes, padding);
                continue;
            }
            if (sy != rowRead) {
                source.readPixels(firstColumn, sy, columns, sourceRow.data());
                rowRead = sy;
            }
            const std::uint8_t* pixel =
                sourceRow.data() + (sourceColumn(x) - firstColumn) * pixelBytes;
            for (int p = 0; p < planeCount; ++p) {
                const int channel = channelOffset >= 0 ? channelOffset : lo + p;
                if (channel < shape.channels)
                    std::memcpy(target + p * sampleBytes, pixel + channel * sampleBytes,
                                sampleBytes);
            }
        }
    }
    return pi::kNoErr;
}

}  // namespace

std::int16_t FilterHost::deliverRequests() {
    pi::FilterRecord& r = *record_;
    // A host that does not sample hands back full resolution whatever was asked.
    auto rateOf = [this](pi::Fixed rate) {
        return options_.sampleInput ? std::max(1, rate >> 16) : 1;
    };
    // One that does not pad fails a request reaching outside the picture.
    auto paddingOf = [this](std::int16_t padding) {
        return options_.supportPadding ? padding : pi::kPaddingErrorOnBoundsException;
    };

    std::int16_t result = fillRequest(in_, picture_, shape_, inRectOf(r), r.inLoPlane, r.inHiPlane,
                                      rateOf(r.inputRate), -1, paddingOf(r.inputPadding));
    // The output buffer starts as the picture, so what the plug-in leaves
    // unwritten stays as it was.
    if (result == pi::kNoErr)
        result = fillRequest(out_, picture_, shape_, outRectOf(r), r.outLoPlane, r.outHiPlane, 1,
                             -1, paddingOf(r.outputPadding));
    if (result == pi::kNoErr && mask_)
        result = fillRequest(mask_request_, *mask_, mask_->shape(), maskRectOf(r), 0, 0,
                             rateOf(r.maskRate), 0, paddingOf(r.maskPadding));
    if (result != pi::kNoErr) {
        in_ = {};
        out_ = {};
        mask_request_ = {};
    }
    r.inData = in_.buffer.empty() ? nullptr : in_.buffer.data();
    r.inRowBytes = in_.rowBytes;
    r.outData = out_.buffer.empty() ? nullptr : out_.buffer.data();
    r.outRowBytes = out_.rowBytes;
    r.maskData = mask_request_.buffer.empty() ? nullptr : mask_request_.buffer.data();
    r.maskRowBytes = mask_request_.rowBytes;
    return result;
}

}  // namespace mirel::hostkit
