// libFuzzer target for the memory dots' map file: any bytes decode to kept flags of
// 0 or 1 for the 25 dots, and what was decoded encodes to a map of the right size that
// decodes to the same flags. (The dots' slot files and the undo files are settings
// files, read by the reader the settings targets cover.)
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "settings/memory_dots.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    mirel::MemoryDots dots;
    dots.kept.fill(7);  // whatever a previous run left
    mirel::decodeDotMap(std::span<const std::uint8_t>(data, size), dots);
    for (const std::int32_t kept : dots.kept)
        if (kept != 0 && kept != 1) std::abort();

    const std::vector<std::uint8_t> encoded = mirel::encodeDotMap(dots);
    if (encoded.size() != mirel::kDotMapBytes) std::abort();
    mirel::MemoryDots again;
    mirel::decodeDotMap(encoded, again);
    if (again.kept != dots.kept) std::abort();
    return 0;
}
