// Whether the SSE2 paths are compiled. Each has a plain twin, chosen when the target has no SSE2
// (arm64, say) or the build asks for the plain code (ZARO_NO_SIMD), so both are tested.
#pragma once

#if defined(__SSE2__) && !defined(ZARO_NO_SIMD)
#define ZARO_SSE2 1
#include <emmintrin.h>
#else
#define ZARO_SSE2 0
#endif
