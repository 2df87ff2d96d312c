// The host's descriptor services: the read procedures (18, version 0) and write
// procedures (16, version 0) a filter uses to take its settings from an action and
// hand new ones back, over descriptor handles kept among the host's handles.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "apps/host/descriptor.h"
#include "platform/pi/pi.h"

namespace mirel::hostkit {

struct ReadToken;
struct WriteToken;

// The host's handles as the descriptor services keep descriptors in them: the
// same blocks the handle suite hands the filter.
class DescriptorHandles {
  public:
    // A new handle holding `bytes`; null when the host has no memory for it.
    virtual pi::Handle makeHandle(const std::vector<std::uint8_t>& bytes) = 0;
    // The bytes of a handle; nullopt for a handle the host does not know.
    virtual std::optional<std::vector<std::uint8_t>> handleBytes(pi::Handle handle) = 0;
    virtual void disposeHandle(pi::Handle handle) = 0;

  protected:
    ~DescriptorHandles() = default;
};

// The filter's calls reach the services of the current call scope (see call_scope.h).
class DescriptorServices {
  public:
    // `handles` keeps the descriptor handles; it must outlive the services.
    explicit DescriptorServices(DescriptorHandles& handles);
    ~DescriptorServices();
    DescriptorServices(const DescriptorServices&) = delete;
    DescriptorServices& operator=(const DescriptorServices&) = delete;

    // What FilterRecord.descriptorParameters points at.
    pi::PIDescriptorParameters* parameters() { return &parameters_; }

    // The dialog choice offered for playback: plugInDialogDontDisplay (0) or Display (1).
    void setPlayInfo(std::int16_t playInfo) { parameters_.playInfo = playInfo; }

    // Offers `descriptor` for the next read, replacing (and disposing of) the handle
    // held now; nullopt offers none. False when the host has no memory for it.
    bool offer(const std::optional<Descriptor>& descriptor);
    // The descriptor the handle holds now: after Finish, the one the filter wrote.
    // nullopt when there is no handle or its bytes are no descriptor.
    std::optional<Descriptor> current() const;

    // Tokens the filter opened and has not closed.
    int openTokens() const { return int(readTokens_.size() + writeTokens_.size()); }

  private:
    friend struct DescriptorCallbacks;

    DescriptorHandles& handles_;
    pi::PIDescriptorParameters parameters_{};
    pi::ReadDescriptorProcs readProcs_{};
    pi::WriteDescriptorProcs writeProcs_{};
    std::vector<std::unique_ptr<ReadToken>> readTokens_;
    std::vector<std::unique_ptr<WriteToken>> writeTokens_;
};

}  // namespace mirel::hostkit
