// Lanes: floats side by side, for the loops that run one geometric test on several
// triangles at once. The tests (geometric_tests.h) are written once over the lane type:
// float is the one-lane case, Lanes four and EightLanes eight. IEEE operations round each
// lane as they round a float, so a lane decides as the scalar test would.
//
// Everything that depends on the processor or the compiler lives here: the vector types,
// the few intrinsics (masks to bits, square roots, unaligned corner loads, the index
// check of the triangle reader) with a portable fallback for each, and the run-time
// choice of the lane width (lanes.cpp). Apart from EightLaneBits, which only the
// eight-lane loops call, nothing here needs more of the processor than its baseline, so
// the tests can run every width anywhere. Built with VELMORA_PORTABLE_LANES, every
// operation takes its portable fallback, as on a processor without vector extensions.
#pragma once

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__) && !defined(VELMORA_PORTABLE_LANES)
#define VELMORA_SSE_LANES 1
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(VELMORA_PORTABLE_LANES)
#define VELMORA_EIGHT_LANES 1
#include <immintrin.h>
#endif

#include "engine/math/vector.h"

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

// Functions that run the eight-lane loops carry this, so that they may use 32-byte
// registers while the rest of the program does not assume them.
#ifdef VELMORA_EIGHT_LANES
#define VELMORA_EIGHT_LANE_TARGET [[gnu::target("avx")]]
#else
#define VELMORA_EIGHT_LANE_TARGET
#endif

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

// ---- Masks to bits: a bit per lane whose mask is set, lane 0 the lowest ---------------

inline int LaneBits(bool mask) { return mask ? 1 : 0; }

inline int LaneBits(const LaneMask& mask) {
#ifdef VELMORA_SSE_LANES
  return _mm_movemask_ps(__m128(mask));
#else
  int bits = 0;
  for (int l = 0; l < kLanes; ++l) bits |= mask[l] ? 1 << l : 0;
  return bits;
#endif
}

// Eight lanes pass by value only between functions inlined into one another (always_inline
// below), so the note that AVX changes how they pass says nothing here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"

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
// LaneBits in one instruction, for the eight-lane loops only (VELMORA_EIGHT_LANE_TARGET):
// called from elsewhere it would not compile.
VELMORA_EIGHT_LANE_TARGET [[gnu::always_inline]] inline int EightLaneBits(const EightLaneMask& mask) {
#ifdef VELMORA_EIGHT_LANES
  return _mm256_movemask_ps(__m256(mask));
#else
  return LaneBits(mask);
#endif
}

// ---- Square roots per lane, each rounded as std::sqrt rounds it ---------------------------

inline float SquareRoots(float v) { return std::sqrt(v); }

inline Lanes SquareRoots(const Lanes& v) {
#ifdef VELMORA_SSE_LANES
  return Lanes(_mm_sqrt_ps(__m128(v)));
#else
  return Lanes{std::sqrt(v[0]), std::sqrt(v[1]), std::sqrt(v[2]), std::sqrt(v[3])};
#endif
}

[[gnu::always_inline]] inline EightLanes SquareRoots(const EightLanes& v) {
  EightLanes roots;
  JoinLanes(SquareRoots(LowHalf(v)), SquareRoots(HighHalf(v)), roots);
  return roots;
}

// ---- Comparisons -----------------------------------------------------------------------

// Lanes where !(v >= limit): below it, or NaN. One instruction on four lanes, where the
// plain negation costs a second, and the octree build asks it of every corner.
inline bool NotAtLeast(float v, float limit) { return !(v >= limit); }
inline LaneMask NotAtLeast(const Lanes& v, float limit) {
#ifdef VELMORA_SSE_LANES
  return LaneMask(_mm_cmpnge_ps(__m128(v), _mm_set1_ps(limit)));
#else
  return !(v >= limit);
#endif
}
[[gnu::always_inline]] inline EightLaneMask NotAtLeast(const EightLanes& v, float limit) { return !(v >= limit); }

// ---- Clamping to 0..1 ------------------------------------------------------------------

// The scalar sweep's clamp, std::fmin over std::fmax, kept as it is; lanes clamp by
// comparison, which may differ from it only in the sign of a zero.
inline float ClampToUnit(float t) { return std::fmin(std::fmax(t, 0.0f), 1.0f); }
template <typename V>
[[gnu::always_inline]] inline V ClampToUnit(const V& t) {
  const V low = t < 0.0f ? V{} : t;
  return low > 1.0f ? V{} + 1.0f : low;
}

#pragma GCC diagnostic pop

// ---- Loads ---------------------------------------------------------------------------

// Four floats from `at` (unaligned).
inline Lanes LoadLanes(const void* at) {
  Lanes v;
  std::memcpy(&v, at, sizeof v);
  return v;
}

// A point as lanes x, y, z, 0, reading exactly its 12 bytes.
inline Lanes LoadPoint(const TVector& v) {
#ifdef VELMORA_SSE_LANES
  // x and y in one 8-byte load, z in another.
  return Lanes(_mm_movelh_ps(_mm_castsi128_ps(_mm_loadu_si64(&v.x)), _mm_load_ss(&v.z)));
#else
  return Lanes{v.x, v.y, v.z, 0};
#endif
}

// Whether all twelve 16-bit indices at c are below limit (1..65536).
inline bool TwelveIndicesBelow(const uint16_t* c, int limit) {
#ifdef VELMORA_SSE_LANES
  // An index at or past limit leaves something after subtracting limit - 1 (saturated).
  const __m128i last = _mm_set1_epi16(short(limit - 1));
  const __m128i past = _mm_or_si128(_mm_subs_epu16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(c)), last),
                                    _mm_subs_epu16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(c + 8)), last));
  return _mm_movemask_epi8(_mm_cmpeq_epi16(past, _mm_setzero_si128())) == 0xFFFF;
#else
  unsigned top = c[0];
  for (int i = 1; i < 12; ++i) top = std::max(top, unsigned(c[i]));
  return int(top) < limit;
#endif
}
