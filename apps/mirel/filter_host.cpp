// The host side of the plug-in interface: the FilterRecord, the handle and
// buffer suites, advanceState over the host's picture, abort and progress.
#include "apps/mirel/filter_host.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "apps/mirel/progress.h"
#include "platform/pi/rects.h"

namespace mirel::host_app {

namespace {

// The plug-in's callbacks carry no context, so the one host that runs a
// filter at a time is reached through this pointer.
FilterHost* gActiveHost = nullptr;
std::atomic<bool> gCancelRequested{false};

constexpr std::int32_t kBigDocumentSide = 32768;
constexpr int kMaxContinueCalls = 1 << 20;
constexpr std::int32_t kHostMaxSpace = 1 << 30;

std::int16_t saturate16(std::int64_t value) {
    return std::int16_t(std::clamp<std::int64_t>(value, -32768, 32767));
}

std::int16_t imageModeOf(const Picture& picture) {
    const bool grey = isGrey(picture);
    switch (picture.bitsPerChannel) {
        case 16: return grey ? pi::kModeGray16 : pi::kModeRGB48;
        case 32: return grey ? pi::kModeGray32 : pi::kModeRGB96;
        default: return grey ? pi::kModeGrayScale : pi::kModeRGBColor;
    }
}

}  // namespace

void requestCancel() { gCancelRequested = true; }
bool cancelRequested() { return gCancelRequested; }
void clearCancel() { gCancelRequested = false; }

// ---- PluginLibrary ------------------------------------------------------------

PluginLibrary::~PluginLibrary() {
    if (handle_) dlclose(handle_);
}

bool PluginLibrary::open(const std::string& path, std::string& error) {
    if (!loadFilterPipl(path, pipl_, error)) return false;
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char* reason = dlerror();
        error = path + ": cannot load the plug-in: " + (reason ? reason : "unknown reason");
        return false;
    }
    entry_ = reinterpret_cast<pi::PluginEntry>(dlsym(handle_, pipl_.entryPoint.c_str()));
    if (!entry_) {
        error = path + ": the plug-in has no entry point named \"" + pipl_.entryPoint + "\"";
        dlclose(handle_);
        handle_ = nullptr;
        return false;
    }
    return true;
}

// ---- Callbacks -------------------------------------------------------------------

struct HostCallbacks {
    static FilterHost& host() { return *gActiveHost; }

    static HostBlock* blockOf(pi::Handle handle) {
        if (!handle || !gActiveHost) return nullptr;
        for (auto& block : host().blocks_)
            if (&block->memory == handle) return block.get();
        return nullptr;
    }

    static pi::Handle newHandle(std::int32_t size) {
        FilterHost& h = host();
        if (size < 0) return nullptr;
        if (h.options_.handleAllocationsLeft == 0) return nullptr;
        if (h.options_.handleAllocationsLeft > 0) --h.options_.handleAllocationsLeft;
        auto block = std::make_unique<HostBlock>();
        block->memory = static_cast<char*>(std::calloc(std::max<std::int32_t>(size, 1), 1));
        if (!block->memory) return nullptr;
        block->size = size;
        h.blocks_.push_back(std::move(block));
        return &h.blocks_.back()->memory;
    }

    static void disposeHandle(pi::Handle handle) {
        FilterHost& h = host();
        auto it = std::find_if(h.blocks_.begin(), h.blocks_.end(),
                               [&](const auto& block) { return &block->memory == handle; });
        if (it == h.blocks_.end()) return;
        std::free((*it)->memory);
        h.blocks_.erase(it);
    }

    static std::int32_t handleSize(pi::Handle handle) {
        HostBlock* block = blockOf(handle);
        return block ? block->size : 0;
    }

    static pi::OSErr setHandleSize(pi::Handle handle, std::int32_t size) {
        HostBlock* block = blockOf(handle);
        if (!block || size < 0) return pi::kNilHandleErr;
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
    static pi::OSErr allocateBuffer(std::int32_t size, pi::BufferID* id) {
        if (!id || size < 0) return pi::kParamErr;
        *id = reinterpret_cast<pi::BufferID>(std::calloc(std::max(size, 1), 1));
        return *id ? pi::kNoErr : pi::kMemFullErr;
    }
    static pi::OSErr allocateBuffer64(std::int64_t size, pi::BufferID* id) {
        if (!id || size < 0) return pi::kParamErr;
        *id = reinterpret_cast<pi::BufferID>(std::calloc(std::size_t(std::max<std::int64_t>(size, 1)), 1));
        return *id ? pi::kNoErr : pi::kMemFullErr;
    }
    static pi::Ptr lockBuffer(pi::BufferID id, pi::Boolean) { return reinterpret_cast<pi::Ptr>(id); }
    static void unlockBuffer(pi::BufferID) {}
    static void freeBuffer(pi::BufferID id) { std::free(id); }
    static std::int32_t bufferSpace() { return kHostMaxSpace; }
    static std::int64_t bufferSpace64() { return std::int64_t(kHostMaxSpace) * 4; }
    static void reserveSpace(std::int32_t) {}

    static pi::Boolean testAbort() {
        FilterHost& h = host();
        ++h.abortPolls_;
        if (h.options_.abortAfterPolls >= 0 && h.abortPolls_ > h.options_.abortAfterPolls)
            return 1;
        return gCancelRequested ? 1 : 0;
    }

    static void progress(std::int32_t done, std::int32_t total) {
        if (host().options_.showProgress) reportProgress(done, total);
    }

    static pi::OSErr advanceState() { return host().advanceState(); }

    // The host has no window of its own to draw into; a pixel map shown
    // outside a dialog is accepted and ignored.
    static pi::OSErr displayPixels(const pi::PSPixelMap* map, const pi::VRect* rect, std::int32_t,
                                   std::int32_t, void*) {
        return (map && rect) ? pi::kNoErr : pi::kParamErr;
    }
};

// ---- FilterHost --------------------------------------------------------------------

FilterHost::FilterHost(const PluginLibrary& plugin, Picture& picture, HostOptions options)
    : plugin_(plugin), picture_(picture), options_(options) {
    // Room for the newest record layout; older plug-ins read only the front.
    recordMemory_ = std::make_unique<std::uint8_t[]>(sizeof(pi::FilterRecord));
    std::memset(recordMemory_.get(), 0, sizeof(pi::FilterRecord));
    record_ = reinterpret_cast<pi::FilterRecord*>(recordMemory_.get());
    setUpRecord();
}

FilterHost::~FilterHost() {
    for (auto& block : blocks_) std::free(block->memory);
    if (gActiveHost == this) gActiveHost = nullptr;
}

void FilterHost::setMask(const Picture* mask) {
    mask_ = mask;
    setUpRecord();
}

void FilterHost::setUpRecord() {
    pi::FilterRecord& r = *record_;
    const std::int32_t width = picture_.width;
    const std::int32_t height = picture_.height;
    const int channels = picture_.channels;
    const bool alpha = hasAlpha(picture_);
    const int colourPlanes = alpha ? channels - 1 : channels;

    r.serialNumber = 0;
    r.abortProc = &HostCallbacks::testAbort;
    r.progressProc = &HostCallbacks::progress;
    r.imageSize = {saturate16(height), saturate16(width)};
    r.planes = std::int16_t(channels);
    r.filterRect = {0, 0, saturate16(height), saturate16(width)};
    r.background = {0xFFFF, 0xFFFF, 0xFFFF};
    r.foreground = {0, 0, 0};
    r.maxSpace = kHostMaxSpace;
    r.bufferSpace = 0;
    r.isFloating = 0;
    r.haveMask = mask_ ? 1 : 0;
    r.autoMask = 1;
    std::memset(r.backColor, 0xFF, sizeof r.backColor);
    std::memset(r.foreColor, 0, sizeof r.foreColor);
    r.hostSig = kHostSignature;
    r.imageMode = options_.imageModeOverride >= 0 ? std::int16_t(options_.imageModeOverride)
                                                   : imageModeOf(picture_);
    r.imageHRes = 72 * pi::kFixedOne16;
    r.imageVRes = 72 * pi::kFixedOne16;
    r.floatCoord = {0, 0};
    r.wholeSize = r.imageSize;
    r.platformData = &platformData_;

    handleProcs_ = {pi::kCurrentHandleProcsVersion, pi::kCurrentHandleProcsCount,
                    &HostCallbacks::newHandle,     &HostCallbacks::disposeHandle,
                    &HostCallbacks::handleSize,    &HostCallbacks::setHandleSize,
                    &HostCallbacks::lockHandle,    &HostCallbacks::unlockHandle,
                    &HostCallbacks::recoverSpace,  &HostCallbacks::disposeHandle};
    bufferProcs_ = {pi::kCurrentBufferProcsVersion, pi::kCurrentBufferProcsCount,
                    &HostCallbacks::allocateBuffer, &HostCallbacks::lockBuffer,
                    &HostCallbacks::unlockBuffer,   &HostCallbacks::freeBuffer,
                    &HostCallbacks::bufferSpace,    &HostCallbacks::reserveSpace,
                    &HostCallbacks::allocateBuffer64, &HostCallbacks::bufferSpace64};
    r.handleProcs = &handleProcs_;
    r.bufferProcs = options_.offerBufferProcs ? &bufferProcs_ : nullptr;
    r.displayPixels = options_.offerDisplayPixels ? &HostCallbacks::displayPixels : nullptr;
    r.advanceState = options_.offerAdvanceState ? &HostCallbacks::advanceState : nullptr;

    r.supportsDummyChannels = 0;
    r.supportsAlternateLayouts = 0;
    r.wantLayout = pi::kLayoutTraditional;
    if (!alpha)
        r.filterCase = mask_ ? pi::kFilterCaseFlatImageWithSelection
                             : pi::kFilterCaseFlatImageNoSelection;
    else if (options_.preserveTransparency)
        r.filterCase = mask_ ? pi::kFilterCaseProtectedTransparencyWithSelection
                             : pi::kFilterCaseProtectedTransparencyNoSelection;
    else
        r.filterCase = mask_ ? pi::kFilterCaseEditableTransparencyWithSelection
                             : pi::kFilterCaseEditableTransparencyNoSelection;
    r.dummyPlaneValue = -1;
    r.supportsAbsolute = 0;
    r.cannotUndo = 0;
    r.supportsPadding = 1;
    r.inputPadding = r.outputPadding = r.maskPadding = pi::kPaddingEdgeReplication;
    r.samplingSupport = pi::kSamplingIntegral;
    r.inputRate = r.maskRate = pi::kFixedOne16;
    r.inLayerPlanes = r.outLayerPlanes = std::int16_t(colourPlanes);
    r.inTransparencyMask = r.outTransparencyMask = alpha ? 1 : 0;
    r.inNonLayerPlanes = r.outNonLayerPlanes = 0;
    r.depth = picture_.bitsPerChannel;

    r.iCCprofileData = nullptr;
    r.iCCprofileSize = 0;
    r.canUseICCProfiles = 0;

    bigDocument_ = {};
    bigDocument_.imageSize32 = {height, width};
    bigDocument_.filterRect32 = {0, 0, height, width};
    bigDocument_.wholeSize32 = {height, width};
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
    FilterHost* previous = gActiveHost;
    gActiveHost = this;
    HostCallbacks::disposeHandle(record_->parameters);
    gActiveHost = previous;
    record_->parameters = nullptr;
}

int FilterHost::liveBlockCount() const { return int(blocks_.size()); }

std::int16_t FilterHost::call(std::int16_t selector) {
    gActiveHost = this;
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
}

// ---- advanceState ------------------------------------------------------------------

std::int16_t FilterHost::advanceState() {
    commitOutput();
    deliverRequests();
    return pi::kNoErr;
}

void FilterHost::commitOutput() {
    Request& out = out_;
    if (out.buffer.empty()) return;
    const int bytes = int(bytesPerSample(picture_));
    const int planeCount = out.hiPlane - out.loPlane + 1;
    for (std::int32_t y = out.top; y < out.bottom; ++y) {
        if (y < 0 || y >= picture_.height) continue;
        const std::uint8_t* row = out.buffer.data() + std::int64_t(y - out.top) * out.rowBytes;
        for (std::int32_t x = out.left; x < out.right; ++x) {
            if (x < 0 || x >= picture_.width) continue;
            std::uint8_t* pixel = pixelAddress(picture_, x, y);
            const std::uint8_t* source = row + std::int64_t(x - out.left) * planeCount * bytes;
            for (int p = 0; p < planeCount; ++p) {
                const int channel = out.loPlane + p;
                if (channel < 0 || channel >= picture_.channels) continue;
                std::memcpy(pixel + channel * bytes, source + p * bytes, bytes);
            }
        }
    }
    out.buffer.clear();
}

void FilterHost::deliverRequests() {
    pi::FilterRecord& r = *record_;
    const int bytes = int(bytesPerSample(picture_));

    // One interleaved buffer for a rectangle, sampling every rate-th pixel of
    // the picture and replicating its edges for any part outside it.
    auto fill = [&](Request& request, const IntRect& rect, int lo, int hi, std::int32_t rate,
                    bool fromMask) {
        request = {};
        if (rect.empty() || hi < lo) return;
        request.top = rect.top;
        request.left = rect.left;
        request.bottom = rect.bottom;
        request.right = rect.right;
        request.loPlane = lo;
        request.hiPlane = hi;
        request.rate = std::max(1, rate);
        const int planeCount = hi - lo + 1;
        const int sampleBytes = fromMask ? 1 : bytes;
        request.rowBytes = std::int32_t(std::int64_t(rect.width()) * planeCount * sampleBytes);
        request.buffer.assign(std::size_t(std::int64_t(request.rowBytes) * rect.height()), 0);
        const Picture& source = fromMask ? *mask_ : picture_;
        for (std::int32_t y = rect.top; y < rect.bottom; ++y) {
            const std::int32_t sy = std::clamp<std::int64_t>(std::int64_t(y) * request.rate, 0,
                                                             source.height - 1);
            std::uint8_t* row = request.buffer.data() + std::int64_t(y - rect.top) * request.rowBytes;
            for (std::int32_t x = rect.left; x < rect.right; ++x) {
                const std::int32_t sx = std::clamp<std::int64_t>(std::int64_t(x) * request.rate, 0,
                                                                 source.width - 1);
                const std::uint8_t* pixel = pixelAddress(source, sx, sy);
                std::uint8_t* target = row + std::int64_t(x - rect.left) * planeCount * sampleBytes;
                for (int p = 0; p < planeCount; ++p) {
                    const int channel = fromMask ? 0 : lo + p;
                    if (channel < source.channels)
                        std::memcpy(target + p * sampleBytes, pixel + channel * sampleBytes,
                                    sampleBytes);
                }
            }
        }
    };

    const std::int32_t inRate = std::max(1, r.inputRate >> 16);
    fill(in_, inRectOf(r), r.inLoPlane, r.inHiPlane, inRate, false);
    r.inData = in_.buffer.empty() ? nullptr : in_.buffer.data();
    r.inRowBytes = in_.rowBytes;

    // The output buffer starts as the picture, so what the plug-in leaves
    // unwritten stays as it was.
    fill(out_, outRectOf(r), r.outLoPlane, r.outHiPlane, 1, false);
    r.outData = out_.buffer.empty() ? nullptr : out_.buffer.data();
    r.outRowBytes = out_.rowBytes;

    if (mask_) {
        const std::int32_t maskRate = std::max(1, r.maskRate >> 16);
        fill(mask_request_, maskRectOf(r), 0, 0, maskRate, true);
        r.maskData = mask_request_.buffer.empty() ? nullptr : mask_request_.buffer.data();
        r.maskRowBytes = mask_request_.rowBytes;
    } else {
        r.maskData = nullptr;
        r.maskRowBytes = 0;
    }
}

}  // namespace mirel::host_app
