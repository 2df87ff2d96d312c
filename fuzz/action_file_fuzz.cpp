// libFuzzer target for the host's action-file reader: every input is parsed as an action
// file with the filter's own terminology; what parses must survive writing and reading
// again unchanged, and the descriptor's handle bytes must decode to the same descriptor.
// The same bytes also go to the descriptor-handle decoder and the terminology parser.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>

#include "apps/host/action_file.h"
#include "apps/host/descriptor_terminology.h"
#include "apps/mirel/settings_descriptor.h"
#include "resources/aete.h"

namespace {

const mirel::hostkit::Terminology& terminology() {
    static const mirel::hostkit::Terminology parsed = [] {
        mirel::hostkit::Terminology t;
        std::string error;
        if (!mirel::hostkit::parseTerminology(mirel::aeteBytes(), t, error)) std::abort();
        return t;
    }();
    return parsed;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace mirel::hostkit;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::span<const std::uint8_t> bytes(data, size);

    Descriptor descriptor;
    std::string error;
    if (parseActionText(text, terminology(), descriptor, error)) {
        const std::string written = actionText(descriptor, terminology());
        Descriptor again;
        if (!parseActionText(written, terminology(), again, error)) std::abort();
        if (!(again == descriptor)) std::abort();
        const auto decoded = decodeDescriptor(encodeDescriptor(descriptor));
        if (!decoded || !(*decoded == descriptor)) std::abort();
        // What the host would hand the filter, applied as the filter reads it.
        mirel::SettingsRecord record{};
        mirel::fullReset(record);
        mirel::host_app::applyDescriptor(descriptor, record);
    } else if (error.empty()) {
        std::abort();  // a refusal always says why
    }

    if (const auto decoded = decodeDescriptor(bytes)) {
        const auto encoded = encodeDescriptor(*decoded);
        if (encoded.size() != size) std::abort();
    }
    Terminology parsed;
    parseTerminology(bytes, parsed, error);
    return 0;
}
