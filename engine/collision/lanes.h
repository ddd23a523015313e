// Four floats side by side, for the loops that screen four triangles at a time with the
// scalar tests' own operations: IEEE operations round each lane as they round a float,
// so a lane decides as the scalar test would.
#pragma once

#include <cmath>
#ifdef __SSE__
#include <xmmintrin.h>
#endif

typedef float Lanes __attribute__((vector_size(16)));
typedef int LaneMask __attribute__((vector_size(16)));
constexpr int kLanes = 4;

// A bit per lane whose mask is set, lane 0 the lowest.
inline int LaneBits(const LaneMask& mask) {
#ifdef __SSE__
  return _mm_movemask_ps(__m128(mask));
#else
  int bits = 0;
  for (int l = 0; l < kLanes; ++l) bits |= mask[l] ? 1 << l : 0;
  return bits;
#endif
}

// Square roots per lane, each rounded as std::sqrt rounds it.
inline Lanes SquareRoots(const Lanes& v) {
#ifdef __SSE__
  return Lanes(_mm_sqrt_ps(__m128(v)));
#else
  return Lanes{std::sqrt(v[0]), std::sqrt(v[1]), std::sqrt(v[2]), std::sqrt(v[3])};
#endif
}
