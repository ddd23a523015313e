// Four floats side by side, for the loops that screen four triangles at a time with the
// scalar tests' own operations: IEEE operations round each lane as they round a float,
// so a lane decides as the scalar test would. Also which width the screens run at.
//
// Built with VELMORA_PORTABLE_LANES, every intrinsic below gives way to its plain C++
// fallback, as on a processor without vector instructions, so that one machine can test
// both.
#pragma once

#include <atomic>
#include <cmath>

#if defined(__SSE2__) && !defined(VELMORA_PORTABLE_LANES)
#define VELMORA_SSE_LANES 1
#include <emmintrin.h>
#endif
// The eight-lane screens: 32-byte registers, chosen at run time where the processor has them.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(VELMORA_PORTABLE_LANES)
#define VELMORA_EIGHT_LANES 1
#include <immintrin.h>
#endif

typedef float Lanes __attribute__((vector_size(16)));
typedef int LaneMask __attribute__((vector_size(16)));
constexpr int kLanes = 4;

// A bit per lane whose mask is set, lane 0 the lowest.
inline int LaneBits(const LaneMask& mask) {
#ifdef VELMORA_SSE_LANES
  return _mm_movemask_ps(__m128(mask));
#else
  int bits = 0;
  for (int l = 0; l < kLanes; ++l) bits |= mask[l] ? 1 << l : 0;
  return bits;
#endif
}

// Square roots per lane, each rounded as std::sqrt rounds it.
inline Lanes SquareRoots(const Lanes& v) {
#ifdef VELMORA_SSE_LANES
  return Lanes(_mm_sqrt_ps(__m128(v)));
#else
  return Lanes{std::sqrt(v[0]), std::sqrt(v[1]), std::sqrt(v[2]), std::sqrt(v[3])};
#endif
}

// How many triangles the pick and sweep screens test at a time. Every width gives the
// same answers; kLaneWidthScalar skips the screens and runs the scalar tests alone.
enum LaneWidth : int { kLaneWidthScalar = 1, kLaneWidthFour = 4, kLaneWidthEight = 8 };
LaneWidth WidestLaneWidth();  // this processor's widest: eight where it has 32-byte registers
// The width in use: the widest, unless a test chose another. Read once per surface, leaf
// or cell, so it is a load, not a call.
extern std::atomic<int> chosen_lane_width;  // 0 until start-up sets it
inline LaneWidth CurrentLaneWidth() {
  const int width = chosen_lane_width.load(std::memory_order_relaxed);
  return width ? LaneWidth(width) : WidestLaneWidth();
}
// For tests, to run the screens at each width in turn: eight where the processor lacks
// them becomes its widest. Returns the width now in use.
LaneWidth SetLaneWidth(LaneWidth width);
