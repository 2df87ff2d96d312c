// What the processor running the filter offers beyond the x86-64 baseline, asked once.
#pragma once

#if defined(__SSE2__) && (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
// Code paths for processors with AVX2 are built, and chosen at run time.
#define MIREL_AVX2_PATHS 1
#define MIREL_TARGET_AVX2 __attribute__((target("avx2")))
#endif

namespace mirel::image {

// Whether the eight-lane noise and the two-row filtered reads can run: false where those
// paths are not built.
bool hasAvx2();

}  // namespace mirel::image
