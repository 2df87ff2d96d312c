// The processor's features, asked once.
#include "image/processor.h"

namespace mirel::image {

bool hasAvx2() {
#if defined(MIREL_AVX2_PATHS)
    static const bool available = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return available;
#else
    return false;
#endif
}

}  // namespace mirel::image
