// The host side of the filter plug-in interface: keeps the FilterRecord over a
// picture the program supplies, answers the plug-in's callbacks over it and
// drives the selectors as a paint program does.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "apps/host/call_scope.h"
#include "apps/host/descriptor_procs.h"
#include "apps/host/picture_store.h"
#include "apps/host/plugin_library.h"
#include "apps/host/run_feedback.h"
#include "platform/pi/pi.h"
#include "platform/pi/rects.h"

namespace mirel::hostkit {

// Our own host signature, as a four-character code value.
inline constexpr std::uint32_t kHostSignature = pi::fourCC("MIRL");

// What the host offers and how it behaves; tests change these to play other hosts.
struct HostOptions {
    bool offerAdvanceState = true;
    bool offerDisplayPixels = true;
    bool offerBufferProcs = true;
    bool offerBigDocument = true;
    // How many handle allocations succeed before the host runs out (-1: never).
    int handleAllocationsLeft = -1;
    // Report this image mode instead of the picture's (e.g. multichannel).
    int imageModeOverride = -1;
    // The user asked to preserve transparency (filter cases 6 and 7).
    bool preserveTransparency = false;
    // Abort after this many abort polls (-1: only when the feedback says cancel).
    int abortAfterPolls = -1;
    // Progress shown and cancel asked for by the program.
    RunFeedback feedback;
    // The buffer suite as offered: its version and procedure count, and
    // whether allocations are refused or locks fail.
    std::int16_t bufferProcsVersion = pi::kCurrentBufferProcsVersion;
    std::int16_t bufferProcsCount = pi::kCurrentBufferProcsCount;
    bool refuseBuffers = false;
    bool failBufferLocks = false;
    // advanceState answers with this error instead of delivering (0: never).
    std::int16_t advanceStateError = 0;
    // Descriptor services, as a paint program offers them to record and play actions,
    // with its dialog choice for playback (plugInDialogDontDisplay or Display).
    bool offerDescriptors = false;
    std::int16_t playInfo = pi::kPlugInDialogDontDisplay;
    // The host signature the plug-in sees (tests play other hosts with it).
    std::uint32_t hostSignature = kHostSignature;

    // What many paint programs leave out of the interface (host_profile.h names
    // them): the descriptor suite offered broken, the handle suite's size call
    // answering 0, property and resource suites that answer noErr and write
    // nothing, colour services that fail, no sampling (inputRate and maskRate
    // ignored: full-resolution data whatever was asked), and no padding
    // (a request reaching outside the picture fails).
    enum class DescriptorSuite { Usable, VersionZero, WithoutProcs };
    DescriptorSuite descriptorSuite = DescriptorSuite::Usable;
    bool reportHandleSizes = true;
    bool offerEmptySuites = false;
    bool offerFailingColorServices = false;
    bool sampleInput = true;
    bool supportPadding = true;
};

// The most one request may ask the host to hold. Rows must also stay below
// 2^31 bytes, so that the interface's 32-bit row bytes address them; and a
// plug-in cannot make the host exhaust memory.
inline constexpr std::int64_t kMaxRequestBytes = std::int64_t{1} << 31;

// One block the host keeps for the plug-in, as its handle suite hands it out.
struct HostBlock {
    char* memory = nullptr;  // the handle points at this member
    std::int32_t size = 0;
    int lockCount = 0;
};

// The buffer of one delivered request and what it describes.
struct RequestBuffer {
    std::int32_t top = 0, left = 0, bottom = 0, right = 0;
    int loPlane = 0, hiPlane = -1;
    int planeCount = 0;
    std::int32_t rate = 1;
    std::vector<std::uint8_t> buffer;
    std::int32_t rowBytes = 0;
};

class FilterHost;

// While one lives, the plug-in's callbacks on this thread reach its host (see
// call_scope.h).
class ActiveHost {
  public:
    explicit ActiveHost(FilterHost& host);

  private:
    CallScope<FilterHost> host_;
    CallScope<DescriptorServices> descriptors_;
};

class FilterHost : private DescriptorHandles {
  public:
    // `picture` (and a mask) must outlive the host.
    FilterHost(const PluginLibrary& plugin, PictureStore& picture, HostOptions options = {});
    ~FilterHost();
    FilterHost(const FilterHost&) = delete;
    FilterHost& operator=(const FilterHost&) = delete;

    // Optional selection mask: one 8-bit channel of the picture's size, 0
    // outside, 255 inside. Set before the run.
    void setMask(const PictureStore* mask);

    // The part of the picture the filter works on, as a paint program gives the
    // bounds of its selection; clipped to the picture. The whole picture unless
    // set; set before the run. An empty rectangle is refused (false).
    bool setFilterRect(const IntRect& rect);

    // Makes this host the one the plug-in's callbacks reach for as long as the
    // result lives. call() does it itself; code that drives the record
    // directly (an in-process render, tests) holds one.
    [[nodiscard]] ActiveHost activate() { return ActiveHost(*this); }

    // One call of PluginMain with `selector`; returns its result.
    std::int16_t call(std::int16_t selector);

    // A whole run: Parameters (when asked), Prepare, Start, Continue while
    // the plug-in requests more, Finish. Stops at the first error and returns it.
    std::int16_t run(bool withParameters);

    // Inspection, for the host's own reports and for tests.
    const std::vector<std::int16_t>& selectorLog() const { return selectorLog_; }
    const HostBlock* parametersBlock() const;
    const HostBlock* runStateBlock() const;
    pi::FilterRecord& record() { return *record_; }
    std::intptr_t& dataSlot() { return data_; }
    // The descriptor services (offered to the plug-in only with offerDescriptors).
    DescriptorServices& descriptors() { return *descriptors_; }
    // Drops the parameters block, as a host that lost it would.
    void dropParametersBlock();
    int liveBlockCount() const;
    int abortPolls() const { return abortPolls_; }
    // Buffers the plug-in holds from the buffer suite (allocated, not freed).
    int liveBuffers() const { return liveBuffers_; }
    int advanceStateCalls() const { return advanceStateCalls_; }
    // Every (done, total) the plug-in reported, in order.
    const std::vector<std::pair<std::int32_t, std::int32_t>>& progressLog() const {
        return progressLog_;
    }

  private:
    friend struct HostCallbacks;
    friend class ActiveHost;

    // The handle suite's blocks.
    HostBlock* blockOf(pi::Handle handle);
    pi::Handle newBlock(std::int32_t size);
    void disposeBlock(pi::Handle handle);
    // DescriptorHandles, over the same blocks.
    pi::Handle makeHandle(const std::vector<std::uint8_t>& bytes) override;
    std::optional<std::vector<std::uint8_t>> handleBytes(pi::Handle handle) override;
    void disposeHandle(pi::Handle handle) override { disposeBlock(handle); }

    void setUpRecord();
    void commitOutput();
    std::int16_t deliverRequests();
    std::int16_t advanceState();
    bool protectsTransparency() const;

    const PluginLibrary& plugin_;
    PictureStore& picture_;
    PictureShape shape_;
    const PictureStore* mask_ = nullptr;
    std::optional<IntRect> filterRect_;
    HostOptions options_;

    std::unique_ptr<std::uint8_t[]> recordMemory_;
    pi::FilterRecord* record_ = nullptr;
    pi::BigDocumentStruct bigDocument_{};
    pi::HandleProcs handleProcs_{};
    pi::BufferProcs bufferProcs_{};
    pi::PlatformData platformData_{};
    pi::PropertyProcs propertyProcs_{};
    pi::ResourceProcs resourceProcs_{};
    std::unique_ptr<DescriptorServices> descriptors_;
    // The descriptor suite as a host that offers it broken hands it out.
    pi::PIDescriptorParameters brokenDescriptors_{};
    std::intptr_t data_ = 0;
    // A copy of the picture's ICC profile, offered read-only as a handle of its own.
    std::vector<std::uint8_t> iccProfile_;
    HostBlock iccBlock_;
    std::vector<std::int16_t> selectorLog_;
    std::vector<std::unique_ptr<HostBlock>> blocks_;
    int abortPolls_ = 0;
    int liveBuffers_ = 0;
    int advanceStateCalls_ = 0;
    std::vector<std::pair<std::int32_t, std::int32_t>> progressLog_;

    RequestBuffer in_, out_, mask_request_;
};

}  // namespace mirel::hostkit
