// The filter lifecycle across the host's selectors: Parameters, Prepare,
// Start, Continue and Finish, the two host blocks kept between calls, and the
// working memory of one run.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <new>

#include "host/plugin_main.h"
#include "platform/os/os.h"
#include "platform/pi/rects.h"

namespace mirel {

namespace {

constexpr std::int32_t kMaxSpaceSide = 256;
constexpr std::int32_t kRowBufferRows = 256;
constexpr std::int32_t kMultichannelMode = pi::kModeMultichannel;

// ---- Host blocks -------------------------------------------------------------

const pi::HandleProcs* handleProcs(const FilterContext& ctx) {
    return ctx.record ? ctx.record->handleProcs : nullptr;
}

pi::Handle newHostBlock(const FilterContext& ctx, std::size_t bytes) {
    const pi::HandleProcs* procs = handleProcs(ctx);
    if (!pi::procPresent(procs, &pi::HandleProcs::newProc)) return nullptr;
    return procs->newProc(std::int32_t(bytes));
}

pi::Handle runStateHandle(const FilterContext& ctx) {
    return ctx.data ? reinterpret_cast<pi::Handle>(*ctx.data) : nullptr;
}

// Locks one block; null when the host gives no pointer or the block is too
// small for what we keep in it (a block of another size would be read past
// its end). A size of 0 is a host that does not tell sizes, not an empty
// block: the blocks it holds for us were never made empty.
char* lockHostBlock(const FilterContext& ctx, pi::Handle handle, std::size_t needed) {
    const pi::HandleProcs* procs = handleProcs(ctx);
    if (!handle || !pi::procPresent(procs, &pi::HandleProcs::lockProc)) return nullptr;
    if (pi::procPresent(procs, &pi::HandleProcs::getSizeProc)) {
        const std::int32_t size = procs->getSizeProc(handle);
        if (size > 0 && std::size_t(size) < needed) return nullptr;
    }
    return procs->lockProc(handle, 1);
}

void unlockHostBlock(const FilterContext& ctx, pi::Handle handle) {
    const pi::HandleProcs* procs = handleProcs(ctx);
    if (handle && pi::procPresent(procs, &pi::HandleProcs::unlockProc)) procs->unlockProc(handle);
}

// The lock step: both blocks must exist and lock, else the result says why.
bool lockBlocks(FilterContext& ctx) {
    pi::Handle params = ctx.record->parameters;
    pi::Handle run = runStateHandle(ctx);
    if (!params || !run) {
        ctx.setResult(pi::kFilterBadParameters);
        return false;
    }
    char* paramsMemory = lockHostBlock(ctx, params, sizeof(ParameterBlock));
    char* runMemory = lockHostBlock(ctx, run, sizeof(RunState));
    ctx.params = asParameterBlock(paramsMemory, kParameterBlockSize);
    ctx.run = reinterpret_cast<RunState*>(runMemory);
    if (!ctx.params || !ctx.run) {
        ctx.params = nullptr;
        ctx.run = nullptr;
        ctx.setResult(pi::kMemFullErr);
        return false;
    }
    return true;
}

void unlockBlocks(FilterContext& ctx) {
    ctx.params = nullptr;
    ctx.run = nullptr;
    if (!ctx.record) return;
    unlockHostBlock(ctx, runStateHandle(ctx));
    unlockHostBlock(ctx, ctx.record->parameters);
}

// Requests whichever block is missing. Returns a bit for each block made now
// (1 parameters, 2 RunState); failures set -108.
int allocateMissingBlocks(FilterContext& ctx) {
    int created = 0;
    if (!ctx.record->parameters) {
        ctx.record->parameters = newHostBlock(ctx, kParameterBlockSize);
        if (ctx.record->parameters)
            created |= 1;
        else
            ctx.setResult(pi::kMemFullErr);
    }
    if (ctx.data && !*ctx.data) {
        pi::Handle handle = newHostBlock(ctx, kRunStateSize);
        if (handle) {
            *ctx.data = reinterpret_cast<std::intptr_t>(handle);
            created |= 2;
        } else {
            ctx.setResult(pi::kMemFullErr);
        }
    }
    return created;
}

// Newly made blocks start from a known state: host memory need not be zeroed.
void initialiseNewBlocks(FilterContext& ctx, int created) {
    if (created & 1) initParameterBlock(*ctx.params);
    if (created & 2) initRunStateHeader(*ctx.run);
}

// ---- Working memory of a run ---------------------------------------------------

std::uint8_t* allocateZeroed(std::int64_t bytes) {
    if (bytes <= 0 || std::uint64_t(bytes) > std::uint64_t(SIZE_MAX)) return nullptr;
    return static_cast<std::uint8_t*>(std::calloc(std::size_t(bytes), 1));
}

void freeWorkingMemory(FilterContext& ctx) {
    if (!ctx.run) return;
    if (ctx.services.releaseRun) ctx.services.releaseRun(ctx);
    WorkingMemory& memory = ctx.run->memory;
    std::free(memory.rowBuffer);
    for (std::uint8_t*& buffer : memory.smallBuffers) {
        std::free(buffer);
        buffer = nullptr;
    }
    std::free(memory.workingBlock);
    memory.rowBuffer = nullptr;
    memory.workingBlock = nullptr;
}

bool allocateWorkingMemory(FilterContext& ctx) {
    RunState& run = *ctx.run;
    freeWorkingMemory(ctx);  // a run that ended without Finish left its memory behind
    std::int64_t rowBytes = run.rowBufferBytes;
    if (rowBytes <= 0) {
        const IntRect filter = filterRectOf(*ctx.record);
        rowBytes = rowBufferBytesFor(filter.width(), filter.height());
    }
    WorkingMemory& memory = run.memory;
    memory.rowBuffer = allocateZeroed(rowBytes);
    for (std::uint8_t*& buffer : memory.smallBuffers) buffer = allocateZeroed(kSmallBufferBytes);
    memory.workingBlock = allocateZeroed(kWorkingBlockBytes);
    return memory.rowBuffer && memory.smallBuffers[0] && memory.workingBlock;
}

void resetDialogGlobals(FilterContext& ctx) {
    ctx.dialogWindow = nullptr;
    ctx.dialogFlags = 0;
}

void endFailedRun(FilterContext& ctx) {
    if (ctx.services.writeMemoryDotMap) ctx.services.writeMemoryDotMap(ctx);
    freeWorkingMemory(ctx);
    emptyRequestRects(*ctx.record);
}

// ---- Selectors -----------------------------------------------------------------

void doAbout(FilterContext& ctx) {
    if (ctx.aboutBoxOpen || !ctx.services.showAboutBox) return;
    ctx.aboutBoxOpen = true;
    ctx.services.showAboutBox(ctx);
    ctx.aboutBoxOpen = false;
}

void doParameters(FilterContext& ctx) {
    const int created = allocateMissingBlocks(ctx);
    if (ctx.resultCode() != pi::kNoErr) return;
    if (!lockBlocks(ctx)) return;
    initialiseNewBlocks(ctx, created);
    ctx.run->showDialog = 1;
    ctx.run->resetExportOptions = 1;
}

void doPrepare(FilterContext& ctx) {
    pi::FilterRecord& record = *ctx.record;
    const int created = allocateMissingBlocks(ctx);
    if (ctx.resultCode() != pi::kNoErr) return;
    if (!lockBlocks(ctx)) return;
    initialiseNewBlocks(ctx, created);
    if (created) ctx.run->showDialog = 1;

    record.bufferSpace = 0;
    const IntRect filter = filterRectOf(record);
    const std::int32_t width = std::max(0, filter.width());
    const std::int32_t height = std::max(0, filter.height());
    const std::int64_t cap =
        maxSpaceCapFor(width, height, record.planes, record.maskData != nullptr);
    if (record.maxSpace > cap) record.maxSpace = std::int32_t(cap);

    fullReset(ctx.params->settings);
    clearDialogFlags(*ctx.params);

    RunState& run = *ctx.run;
    run.filterTop = filter.top;
    run.filterLeft = filter.left;
    run.filterBottom = filter.bottom;
    run.filterRight = filter.right;
    run.filterWidth = width;
    run.filterHeight = height;
    run.rowBufferBytes = rowBufferBytesFor(width, height);

    record.bufferSpace = 0;
    resetDialogGlobals(ctx);
    ctx.params->pickedCenterX = width / 2;
    ctx.params->pickedCenterY = height / 2;
    ctx.random.seed(std::uint32_t(std::time(nullptr)));
}

void doStart(FilterContext& ctx) {
    pi::FilterRecord& record = *ctx.record;
    if (!lockBlocks(ctx)) return;
    ParameterBlock& params = *ctx.params;
    RunState& run = *ctx.run;
    const LifecycleServices& services = ctx.services;

    params.hostCanPreview = record.advanceState != nullptr && record.displayPixels != nullptr;

    if (!allocateWorkingMemory(ctx)) {
        freeWorkingMemory(ctx);
        ctx.setResult(kResultNoWorkingMemory);
        emptyRequestRects(record);
        return;
    }

    if (services.setUpRun && !services.setUpRun(ctx)) {
        freeWorkingMemory(ctx);
        ctx.setResult(kResultNoWorkingMemory);
        emptyRequestRects(record);
        return;
    }
    const bool scripted =
        services.scriptingParametersPresent && services.scriptingParametersPresent(ctx);
    if (!scripted && services.readCachedSettings) services.readCachedSettings(ctx);
    if (run.resetExportOptions) {
        resetExportOptions(params);
        run.resetExportOptions = 0;
    }
    clearRememberedFolders(params);
    if (services.readMemoryDotMap) services.readMemoryDotMap(ctx);

    if (record.advanceState == nullptr) {
        if (services.showRefusal) services.showRefusal(ctx);
        ctx.setResult(kResultDeclined);
    }
    if (record.imageMode == kMultichannelMode) ctx.setResult(kResultDeclined);
    if (ctx.resultCode() != pi::kNoErr) {
        endFailedRun(ctx);
        return;
    }

    if (services.readScriptingParameters) services.readScriptingParameters(ctx);

    bool confirmed = true;
    if (run.showDialog) {
        if (services.takeUndoSnapshot) services.takeUndoSnapshot(ctx);
        resetDialogGlobals(ctx);
        const int code = services.runMainDialog ? services.runMainDialog(ctx) : -1;
        confirmed = code == kDialogConfirmed;
        resetDialogGlobals(ctx);
    }
    run.showDialog = 0;

    if (ctx.resultCode() == pi::kNoErr && confirmed) {
        const std::int16_t applied = services.applyToHost ? services.applyToHost(ctx) : pi::kNoErr;
        if (applied == pi::kNoErr) {
            if (services.writeCachedSettings) services.writeCachedSettings(ctx);
        } else {
            // A render that failed or was cancelled leaves nothing for Finish to
            // do, and a host need not call Finish after a failed Start.
            ctx.setResult(applied);
            endFailedRun(ctx);
        }
        return;
    }
    ctx.setResult(pi::kUserCanceledErr);
    endFailedRun(ctx);
}

void doContinue(FilterContext& ctx) {
    emptyRequestRects(*ctx.record);
}

void doFinish(FilterContext& ctx) {
    if (ctx.services.writeScriptingParameters) ctx.services.writeScriptingParameters(ctx);
    if (!lockBlocks(ctx)) return;
    if (ctx.services.writeMemoryDotMap) ctx.services.writeMemoryDotMap(ctx);
    freeWorkingMemory(ctx);
}

void dispatch(FilterContext& ctx, std::uint16_t selector) {
    switch (selector) {
        case pi::kFilterSelectorAbout:
            doAbout(ctx);
            return;  // the about selector passes no FilterRecord and locks nothing
        case pi::kFilterSelectorParameters:
            doParameters(ctx);
            break;
        case pi::kFilterSelectorPrepare:
            doPrepare(ctx);
            break;
        case pi::kFilterSelectorStart:
            doStart(ctx);
            break;
        case pi::kFilterSelectorContinue:
            doContinue(ctx);
            break;
        case pi::kFilterSelectorFinish:
            doFinish(ctx);
            break;
        default:
            break;
    }
    unlockBlocks(ctx);
}

}  // namespace

FilterContext& filterContext() {
    static FilterContext context;
    return context;
}

std::int64_t rowBufferBytesFor(std::int32_t width, std::int32_t height) {
    const std::int64_t w = std::max(0, width);
    const std::int64_t h = std::max(0, height);
    const std::int64_t perRow = std::max({std::int64_t(4), 2 * (std::max(w, h) + 4), 3 * w + 2184});
    return kRowBufferRows * perRow;
}

std::int64_t maxSpaceCapFor(std::int32_t width, std::int32_t height, std::int32_t planes,
                            bool hasMask) {
    const std::int64_t h = std::clamp(height, 0, kMaxSpaceSide);
    const std::int64_t w = std::clamp(width, 0, kMaxSpaceSide);
    const std::int64_t p = std::max(0, planes) + (hasMask ? 1 : 0);
    return 2 * h * w * p;
}

void pluginMain(std::int16_t selector, void* record, std::intptr_t* data,
                std::int16_t* result) noexcept {
    os::debugOutput(">>> PluginMain 64bit\n");
    FilterContext& ctx = filterContext();
    const auto unsignedSelector = std::uint16_t(selector);
    ctx.record = unsignedSelector == pi::kFilterSelectorAbout
                     ? nullptr
                     : static_cast<pi::FilterRecord*>(record);
    ctx.data = data;
    ctx.result = result;
    ctx.moduleHandle = os::currentModule();
    if (unsignedSelector != pi::kFilterSelectorAbout && ctx.record == nullptr) {
        ctx.setResult(pi::kFilterBadParameters);
        return;
    }
    try {
        dispatch(ctx, unsignedSelector);
    } catch (const std::bad_alloc&) {
        ctx.setResult(pi::kMemFullErr);
        unlockBlocks(ctx);
    } catch (...) {
        ctx.setResult(pi::kParamErr);
        unlockBlocks(ctx);
    }
}

}  // namespace mirel
