// Lanes: floats side by side, for the loops that run one geometric test on several
// triangles at once (picks, sweeps, the octree build) and for skinning. The tests
// (engine/collision/geometric_tests.h) are written once over the lane type: float is the
// one-lane case, Lanes four and EightLanes eight. IEEE operations round each lane as they
// round a float, so a lane decides as the scalar test would.
//
// Everything that depends on the processor or the compiler lives here, in whole blocks:
// the choice of instruction set (made once, below), then one block of the few intrinsics
// per instruction set (SSE2; AVX for the eight-lane loops) and one portable block with
// the same functions in plain C++. VELMORA_PORTABLE_LANES takes the portable blocks, as
// on a processor without vector extensions. Apart from EightLaneBits, which only the
// eight-lane loops call, nothing here needs more of the processor than its baseline, so
// the tests can run every width anywhere. The run-time choice of width is in lanes.cpp.
//
// Sections: the choice of instruction set · types and widths · per instruction set, four
// lanes · built on the blocks · per instruction set, eight lanes · the dispatcher on the
// width.
//
// -Wpsabi: GCC notes that AVX changes how 32-byte vectors (EightLanes) pass between
// functions, in registers rather than in memory, so that a function built for AVX and
// one built for the baseline would disagree on an eight-lane argument or result. Here
// eight lanes pass by value only into functions inlined into their caller (always_inline)
// or between functions built alike; an eight-lane result that must cross from baseline
// code into the AVX loops goes through a reference instead (JoinLanes). So the note says
// nothing about this code, and the files that pass eight lanes turn it off, pointing here.
#pragma once

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "engine/math/vector.h"

// ---- The choice of instruction set ---------------------------------------------------------

// VELMORA_SSE_LANES: the SSE2 block; VELMORA_EIGHT_LANES: the AVX block for the
// eight-lane loops (chosen at run time too, by WidestLaneWidth). Neither: portable.
#if defined(__SSE2__) && !defined(VELMORA_PORTABLE_LANES)
#define VELMORA_SSE_LANES 1
#include <emmintrin.h>
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define VELMORA_EIGHT_LANES 1
#include <immintrin.h>
#endif
#endif

// ---- Types and widths ----------------------------------------------------------------------

typedef float Lanes __attribute__((vector_size(16)));
typedef int LaneMask __attribute__((vector_size(16)));
constexpr int kLanes = 4;
// Eight lanes compile everywhere (as two fours where there is no 32-byte register); the
// loops run them only where the processor has them (WidestLaneWidth).
typedef float EightLanes __attribute__((vector_size(32)));
typedef int EightLaneMask __attribute__((vector_size(32)));
constexpr int kEightLanes = 8;

// The mask a comparison of lane type V gives, and its width.
template <typename V>
struct LaneTraits;
template <>
struct LaneTraits<float> {
  using Mask = bool;
  static constexpr int kWidth = 1;
};
template <>
struct LaneTraits<Lanes> {
  using Mask = LaneMask;
  static constexpr int kWidth = kLanes;
};
template <>
struct LaneTraits<EightLanes> {
  using Mask = EightLaneMask;
  static constexpr int kWidth = kEightLanes;
};
template <typename V>
using MaskOf = typename LaneTraits<V>::Mask;

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

// ---- Per instruction set, four lanes: SSE2 -------------------------------------------------
// Each four-lane block defines LaneBits, SquareRoots and NotAtLeast of four lanes,
// LoadPoint and TwelveIndicesBelow; each eight-lane block VELMORA_EIGHT_LANE_TARGET,
// ProcessorHasEightLanes and EightLaneBits.

#ifdef VELMORA_SSE_LANES

// A bit per lane whose mask is set, lane 0 the lowest.
inline int LaneBits(const LaneMask& mask) { return _mm_movemask_ps(__m128(mask)); }

// Each rounded as std::sqrt rounds it.
inline Lanes SquareRoots(const Lanes& v) { return Lanes(_mm_sqrt_ps(__m128(v))); }

// Lanes where !(v >= limit): below it, or NaN. One instruction, where the plain negation
// costs a second, and the octree build asks it of every corner.
inline LaneMask NotAtLeast(const Lanes& v, float limit) {
  return LaneMask(_mm_cmpnge_ps(__m128(v), _mm_set1_ps(limit)));
}

// A point as lanes x, y, z, 0, reading exactly its 12 bytes: x and y in one 8-byte load,
// z in another.
inline Lanes LoadPoint(const TVector& v) {
  return Lanes(_mm_movelh_ps(_mm_castsi128_ps(_mm_loadu_si64(&v.x)), _mm_load_ss(&v.z)));
}

// Whether all twelve 16-bit indices at c are below limit (1..65536): an index at or past
// limit leaves something after subtracting limit - 1 (saturated).
inline bool TwelveIndicesBelow(const uint16_t* c, int limit) {
  const __m128i last = _mm_set1_epi16(short(limit - 1));
  const __m128i past = _mm_or_si128(_mm_subs_epu16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(c)), last),
                                    _mm_subs_epu16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(c + 8)), last));
  return _mm_movemask_epi8(_mm_cmpeq_epi16(past, _mm_setzero_si128())) == 0xFFFF;
}

// ---- Portable, four lanes ------------------------------------------------------------------

#else

inline int LaneBits(const LaneMask& mask) {
  int bits = 0;
  for (int l = 0; l < kLanes; ++l) bits |= mask[l] ? 1 << l : 0;
  return bits;
}

inline Lanes SquareRoots(const Lanes& v) {
  return Lanes{std::sqrt(v[0]), std::sqrt(v[1]), std::sqrt(v[2]), std::sqrt(v[3])};
}

inline LaneMask NotAtLeast(const Lanes& v, float limit) { return !(v >= limit); }

inline Lanes LoadPoint(const TVector& v) { return Lanes{v.x, v.y, v.z, 0}; }

inline bool TwelveIndicesBelow(const uint16_t* c, int limit) {
  unsigned top = c[0];
  for (int i = 1; i < 12; ++i) top = std::max(top, unsigned(c[i]));
  return int(top) < limit;
}

#endif

// ---- Built on the blocks -------------------------------------------------------------------

// Four floats from `at` (unaligned).
inline Lanes LoadLanes(const void* at) {
  Lanes v;
  std::memcpy(&v, at, sizeof v);
  return v;
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"  // see the top of this file

inline int LaneBits(bool mask) { return mask ? 1 : 0; }

inline float SquareRoots(float v) { return std::sqrt(v); }

inline bool NotAtLeast(float v, float limit) { return !(v >= limit); }

// The halves of eight lanes.
[[gnu::always_inline]] inline LaneMask LowHalf(const EightLaneMask& m) {
  return __builtin_shufflevector(m, m, 0, 1, 2, 3);
}
[[gnu::always_inline]] inline LaneMask HighHalf(const EightLaneMask& m) {
  return __builtin_shufflevector(m, m, 4, 5, 6, 7);
}
[[gnu::always_inline]] inline Lanes LowHalf(const EightLanes& v) { return __builtin_shufflevector(v, v, 0, 1, 2, 3); }
[[gnu::always_inline]] inline Lanes HighHalf(const EightLanes& v) { return __builtin_shufflevector(v, v, 4, 5, 6, 7); }

// Two fours side by side (into `joined`: an eight-lane result returned from code built
// for the baseline would pass differently from the AVX loops' own).
[[gnu::always_inline]] inline void JoinLanes(const Lanes& low, const Lanes& high, EightLanes& joined) {
  joined = __builtin_shufflevector(low, high, 0, 1, 2, 3, 4, 5, 6, 7);
}

// Eight-lane operations are made of four-lane ones, which every x86-64 processor has, so
// that they run (alike) both inside the eight-lane loops and outside them; inside, the
// compiler joins the halves where it can.
[[gnu::always_inline]] inline int LaneBits(const EightLaneMask& mask) {
  return LaneBits(LowHalf(mask)) | LaneBits(HighHalf(mask)) << 4;
}

[[gnu::always_inline]] inline EightLanes SquareRoots(const EightLanes& v) {
  EightLanes roots;
  JoinLanes(SquareRoots(LowHalf(v)), SquareRoots(HighHalf(v)), roots);
  return roots;
}

[[gnu::always_inline]] inline EightLaneMask NotAtLeast(const EightLanes& v, float limit) { return !(v >= limit); }

// The scalar sweep's clamp, std::fmin over std::fmax, kept as it is; lanes clamp by
// comparison, which may differ from it only in the sign of a zero.
inline float ClampToUnit(float t) { return std::fmin(std::fmax(t, 0.0f), 1.0f); }
template <typename V>
[[gnu::always_inline]] inline V ClampToUnit(const V& t) {
  const V low = t < 0.0f ? V{} : t;
  return low > 1.0f ? V{} + 1.0f : low;
}

// ---- Per instruction set, eight lanes: AVX -------------------------------------------------

#ifdef VELMORA_EIGHT_LANES

// Functions that run the eight-lane loops carry this, so that they may use 32-byte
// registers while the rest of the program does not assume them.
#define VELMORA_EIGHT_LANE_TARGET [[gnu::target("avx")]]

inline bool ProcessorHasEightLanes() {
  __builtin_cpu_init();  // may run before the constructors that would have done it
  return __builtin_cpu_supports("avx");
}

// LaneBits in one instruction, for the eight-lane loops only (VELMORA_EIGHT_LANE_TARGET):
// called from elsewhere it would not compile.
VELMORA_EIGHT_LANE_TARGET [[gnu::always_inline]] inline int EightLaneBits(const EightLaneMask& mask) {
  return _mm256_movemask_ps(__m256(mask));
}

// ---- Portable, eight lanes -----------------------------------------------------------------

#else

#define VELMORA_EIGHT_LANE_TARGET

inline bool ProcessorHasEightLanes() { return false; }

[[gnu::always_inline]] inline int EightLaneBits(const EightLaneMask& mask) { return LaneBits(mask); }

#endif

// ---- The dispatcher on the width -----------------------------------------------------------

// Runs run.template operator()<Width>() with Width the width
// in use (1, kLanes or kEightLanes) as a constant, so that each width's loop is compiled
// for it; the eight-lane loop in a function built for 32-byte registers, into which run
// inlines (give the lambda always_inline). A site with no eight-lane loop passes
// Widest = kLanes and runs four lanes where eight are in use.
template <typename Run>
VELMORA_EIGHT_LANE_TARGET void RunAtEightLanes(Run& run) {
  run.template operator()<kEightLanes>();
}
template <int Widest = kEightLanes, typename Run>
[[gnu::always_inline]] inline void AtLaneWidth(Run&& run) {
  switch (CurrentLaneWidth()) {
    case kLaneWidthScalar:
      return run.template operator()<1>();
    case kLaneWidthEight:
      if constexpr (Widest >= kEightLanes) return RunAtEightLanes(run);
      [[fallthrough]];
    default:
      return run.template operator()<kLanes>();
  }
}

#pragma GCC diagnostic pop
