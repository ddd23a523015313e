// The geometric tests of picking, sweeping and the octree build, each written once as a
// template over the lane type V (lanes.h): float for one triangle, Lanes or EightLanes for
// several side by side. The scalar tests are the one-lane case, so a lane loop that
// screens triangles decides each one as the scalar test does, operation for operation:
// the same products, summed in the same order. Comparisons are written so that NaN fails
// them; masks combine with & and |, never with ~, which would turn a one-lane true into
// another true.
//
// Sections: segment against triangle · the sweep's plane · the sweep's face point · the
// sweep's corners and edges · a point's side of a cell plane and an edge's crossing ·
// segment against box.
#pragma once

#include "engine/math/lanes.h"
#include "engine/math/vector.h"

// -Wpsabi: see the top of lanes.h; every test here is inlined into its caller.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"

// ---- Segment against triangle ------------------------------------------------------------

// The segment a-b against triangles p, q, r, one-sided: a hit only from the side
// (q - p) x (r - p) points to; edges and segment ends on the plane count. When it hits,
// time = tt / dd and the weights of q and r are vv / dd and ww / dd.
template <typename V>
struct SegmentTriangleTerms {
  MaskOf<V> hit;
  V dd, tt, vv, ww;
};

template <typename V>
[[gnu::always_inline]] inline SegmentTriangleTerms<V> SegmentMeetsTriangle(const TVector& a, const TVector& b,
                                                                            const V& px, const V& py, const V& pz,
                                                                            const V& qx, const V& qy, const V& qz,
                                                                            const V& rx, const V& ry, const V& rz) {
  const V e1x = qx - px, e1y = qy - py, e1z = qz - pz;
  const V e2x = rx - px, e2y = ry - py, e2z = rz - pz;
  const float sx = a.x - b.x, sy = a.y - b.y, sz = a.z - b.z;
  const V nx = e1y * e2z - e1z * e2y, ny = e1z * e2x - e1x * e2z, nz = e1x * e2y - e1y * e2x;
  SegmentTriangleTerms<V> s;
  s.dd = sx * nx + sy * ny + sz * nz;
  const V apx = a.x - px, apy = a.y - py, apz = a.z - pz;
  s.tt = apx * nx + apy * ny + apz * nz;
  const V ex = sy * apz - sz * apy, ey = sz * apx - sx * apz, ez = sx * apy - sy * apx;
  s.vv = e2x * ex + e2y * ey + e2z * ez;
  s.ww = -(e1x * ex + e1y * ey + e1z * ez);
  // dd <= 0: parallel, from the back, or degenerate.
  s.hit = (s.dd > 0.0f) & (s.tt >= 0.0f) & (s.tt <= s.dd) & (s.vv >= 0.0f) & (s.vv <= s.dd) & (s.ww >= 0.0f) &
          (s.vv + s.ww <= s.dd);
  return s;
}

// ---- The sweep's plane ---------------------------------------------------------------------

// A unit sphere moving from base by vel (dir: vel at length 1) against triangle planes of
// unit normal n and offset (signed distance of p: p . n + offset). reach: the plane is
// not degenerate, faces the move and is touched during it (or the sphere moves parallel
// to it within 1, embedded). t0: when the sphere first touches it, 0..1 (0 embedded).
template <typename V>
struct SweepPlaneTerms {
  MaskOf<V> reach, embedded;
  V t0;
};

template <typename V>
[[gnu::always_inline]] inline SweepPlaneTerms<V> SweepMeetsPlane(const TVector& base, const TVector& vel,
                                                                  const TVector& dir, const V& nx, const V& ny,
                                                                  const V& nz, const V& offset) {
  const MaskOf<V> faces = (nx * nx + ny * ny + nz * nz != 0.0f) & (nx * dir.x + ny * dir.y + nz * dir.z <= 0.0f);
  const V sd = base.x * nx + base.y * ny + base.z * nz + offset;
  const V nv = nx * vel.x + ny * vel.y + nz * vel.z;
  const MaskOf<V> parallel = nv == 0.0f;
  const V t0 = (-1.0f - sd) / nv, t1 = (1.0f - sd) / nv;
  const MaskOf<V> swap = t0 > t1;
  const V lo = swap ? t1 : t0, hi = swap ? t0 : t1;
  const V distance = sd < 0.0f ? -sd : sd;
  SweepPlaneTerms<V> s;
  s.embedded = parallel;
  s.reach = faces & ((parallel & (distance < 1.0f)) | ((!parallel) & (lo <= 1.0f) & (hi >= 0.0f)));
  s.t0 = parallel ? V{} : ClampToUnit(lo);
  return s;
}

// ---- The sweep's face point -------------------------------------------------------------

// The barycentric weights v, w of point (x, y, z) in triangles c0, c1, c2 (Barycentric).
// They come from d1 d3 - d2^2, which loses its digits on a long thin triangle: the sweep
// decides its face by FaceSides instead.
template <typename V>
struct TriangleWeights {
  V v, w;
};

template <typename V>
[[gnu::always_inline]] inline TriangleWeights<V> WeightsInTriangle(const V (&cx)[3], const V (&cy)[3],
                                                                    const V (&cz)[3], const V& x, const V& y,
                                                                    const V& z) {
  const V abx = cx[1] - cx[0], aby = cy[1] - cy[0], abz = cz[1] - cz[0];
  const V acx = cx[2] - cx[0], acy = cy[2] - cy[0], acz = cz[2] - cz[0];
  const V apx = x - cx[0], apy = y - cy[0], apz = z - cz[0];
  const V d1 = abx * abx + aby * aby + abz * abz, d2 = abx * acx + aby * acy + abz * acz;
  const V d3 = acx * acx + acy * acy + acz * acz, d4 = apx * abx + apy * aby + apz * abz;
  const V d5 = apx * acx + apy * acy + apz * acz;
  const V den = d1 * d3 - d2 * d2;
  return {(d3 * d4 - d2 * d5) / den, (d1 * d5 - d2 * d4) / den};
}

// The weights' own rule: inside with its boundaries.
template <typename V>
[[gnu::always_inline]] inline MaskOf<V> InsideTriangle(const TriangleWeights<V>& weights) {
  return (weights.v >= 0.0f) & (weights.w >= 0.0f) & (weights.v + weights.w <= 1.0f);
}

template <typename V>
[[gnu::always_inline]] inline V Larger(const V& a, const V& b) {
  return a > b ? a : b;
}
template <typename V>
[[gnu::always_inline]] inline V Smaller(const V& a, const V& b) {
  return a < b ? a : b;
}
// |a|, by clearing the sign bit (NaN stays NaN).
inline float Magnitude(float a) { return std::fabs(a); }
template <typename V>
[[gnu::always_inline]] inline V Magnitude(const V& a) {
  using Bits = MaskOf<V>;
  return V(Bits(a) & (Bits{} + 0x7fffffff));
}
template <typename V>
[[gnu::always_inline]] inline V LargestMagnitude(const V& x, const V& y, const V& z) {
  return Larger(Larger(Magnitude(x), Magnitude(y)), Magnitude(z));
}

// Whether point (x, y, z), on the plane of triangles c0, c1, c2 of unit normal n, lies in
// the triangle, boundaries in: for each edge from c_i to c_j, the edge function
// ((c_j - c_i) x (q - c_i)) . n is the point's distance inside that edge's line times the
// edge's length, whatever the triangle's shape. Each edge's function reads only its own
// two corners, so listing the corners from another first one decides alike.
//
// In float the function is off by at most about 25 ulps of |edge|max |q - c_i|max (7
// roundings of terms no larger than 2 sqrt(3) times that); kEdgeFunctionRounding bounds
// it with room, and kEdgeFunctionFloor covers products that fall below the normal
// floats. Where an edge's function lies within the bound, the float cannot tell its
// sign: `undecided`, and the caller decides in double (FaceHoldsExactly).
constexpr float kEdgeFunctionRounding = 0x1p-19f;
constexpr float kEdgeFunctionFloor = 0x1p-140f;

template <typename V>
struct FaceSides {
  MaskOf<V> inside;     // inside every edge, beyond the rounding
  MaskOf<V> undecided;  // outside none beyond it, within it of one (or of no value)
};

// The function of the edge from corner (cx, cy, cz) along (ex, ey, ez) at the point, and
// the bound on its rounding.
template <typename V>
struct EdgeSide {
  V f, bound;
};

template <typename V>
[[gnu::always_inline]] inline EdgeSide<V> EdgeSideOf(const V& cx, const V& cy, const V& cz, const V& ex, const V& ey,
                                                     const V& ez, const V& nx, const V& ny, const V& nz, const V& x,
                                                     const V& y, const V& z) {
  const V qx = x - cx, qy = y - cy, qz = z - cz;
  const V f = nx * (ey * qz - ez * qy) + ny * (ez * qx - ex * qz) + nz * (ex * qy - ey * qx);
  return {f, kEdgeFunctionRounding * LargestMagnitude(ex, ey, ez) * LargestMagnitude(qx, qy, qz) +
                 kEdgeFunctionFloor};
}

template <typename V>
[[gnu::always_inline]] inline FaceSides<V> FaceSidesOf(const V (&cx)[3], const V (&cy)[3], const V (&cz)[3],
                                                       const V& nx, const V& ny, const V& nz, const V& x,
                                                       const V& y, const V& z) {
  MaskOf<V> in[3], out[3];
#pragma GCC unroll 3
  for (int i = 0; i < 3; ++i) {
    const int j = i == 2 ? 0 : i + 1;
    const EdgeSide<V> e =
        EdgeSideOf(cx[i], cy[i], cz[i], cx[j] - cx[i], cy[j] - cy[i], cz[j] - cz[i], nx, ny, nz, x, y, z);
    in[i] = e.f > e.bound;
    out[i] = e.f < -e.bound;
  }
  FaceSides<V> s;
  s.inside = in[0] & in[1] & in[2];
  s.undecided = !(s.inside | out[0] | out[1] | out[2]);
  return s;
}

// FaceSidesOf's inside or undecided, for a screen that passes on what it may hold: outside
// no edge beyond the rounding. The edges (c_j - c_i) come made.
template <typename V>
[[gnu::always_inline]] inline MaskOf<V> FaceMayHold(const V (&cx)[3], const V (&cy)[3], const V (&cz)[3],
                                                    const V (&ex)[3], const V (&ey)[3], const V (&ez)[3],
                                                    const V& nx, const V& ny, const V& nz, const V& x, const V& y,
                                                    const V& z) {
  const EdgeSide<V> s0 = EdgeSideOf(cx[0], cy[0], cz[0], ex[0], ey[0], ez[0], nx, ny, nz, x, y, z);
  const EdgeSide<V> s1 = EdgeSideOf(cx[1], cy[1], cz[1], ex[1], ey[1], ez[1], nx, ny, nz, x, y, z);
  const EdgeSide<V> s2 = EdgeSideOf(cx[2], cy[2], cz[2], ex[2], ey[2], ez[2], nx, ny, nz, x, y, z);
  return !((s0.f < -s0.bound) | (s1.f < -s1.bound) | (s2.f < -s2.bound));
}

// The same edge functions in double, for a point the float could not place: the
// differences of floats and their products are exact there or nearly, so the sign is
// wrong only within about 1e-15 of the larger terms, on the edge to rounding.
[[gnu::always_inline]] inline bool FaceHoldsExactly(const float (&cx)[3], const float (&cy)[3], const float (&cz)[3],
                                                    float nx, float ny, float nz, float x, float y, float z) {
  for (int i = 0; i < 3; ++i) {
    const int j = i == 2 ? 0 : i + 1;
    const double ex = double(cx[j]) - cx[i], ey = double(cy[j]) - cy[i], ez = double(cz[j]) - cz[i];
    const double qx = double(x) - cx[i], qy = double(y) - cy[i], qz = double(z) - cz[i];
    const double f = nx * (ey * qz - ez * qy) + ny * (ez * qx - ex * qz) + nz * (ex * qy - ey * qx);
    if (!(f >= 0.0)) return false;
  }
  return true;
}

// Whether a sphere of radius 1 at (x, y, z) may reach triangles c0, c1, c2: its centre
// lies within the corners' box grown by 1. The sunk-start test asks it first, so that
// the screen can ask it alike.
template <typename V>
[[gnu::always_inline]] inline MaskOf<V> NearCorners(const V (&cx)[3], const V (&cy)[3], const V (&cz)[3],
                                                    float x, float y, float z) {
  auto within = [](const V (&c)[3], float p) {
    const V lo = Smaller(Smaller(c[0], c[1]), c[2]) - 1.0f, hi = Larger(Larger(c[0], c[1]), c[2]) + 1.0f;
    return (lo <= p) & (p <= hi);
  };
  return within(cx, x) & within(cy, y) & within(cz, z);
}

// Where the sphere first touches the plane: base - n + vel t0.
template <typename V>
[[gnu::always_inline]] inline void SweepFacePoint(const TVector& base, const TVector& vel, const V& nx, const V& ny,
                                                  const V& nz, const V& t0, V& x, V& y, V& z) {
  x = (base.x - nx) + vel.x * t0;
  y = (base.y - ny) + vel.y * t0;
  z = (base.z - nz) + vel.z * t0;
}

// ---- The sweep's corners and edges ------------------------------------------------------

// The quadratic a r^2 + b r + c whose roots are the times the sphere touches a point.
template <typename V>
struct Quadratic {
  V a, b, c;
};

// Corner (cx, cy, cz); vel2 = vel's squared length.
template <typename V>
[[gnu::always_inline]] inline Quadratic<V> CornerQuadratic(const TVector& base, const TVector& vel, float vel2,
                                                           const V& cx, const V& cy, const V& cz) {
  const V bx = base.x - cx, by = base.y - cy, bz = base.z - cz;
  const V px = cx - base.x, py = cy - base.y, pz = cz - base.z;
  return {V{} + vel2, 2.0f * (vel.x * bx + vel.y * by + vel.z * bz), px * px + py * py + pz * pz - 1.0f};
}

// The edge from (fx, fy, fz) along (ex, ey, ez), whose point from + edge f the sphere
// touches: e2 = the edge's squared length, ev = edge . vel, eb = edge . (from - base).
template <typename V>
struct EdgeTerms {
  Quadratic<V> q;
  V e2, ev, eb;
};

template <typename V>
[[gnu::always_inline]] inline EdgeTerms<V> EdgeQuadratic(const TVector& base, const TVector& vel, float vel2,
                                                         const V& fx, const V& fy, const V& fz, const V& ex,
                                                         const V& ey, const V& ez) {
  const V bx = fx - base.x, by = fy - base.y, bz = fz - base.z;
  EdgeTerms<V> s;
  s.e2 = ex * ex + ey * ey + ez * ez;
  s.ev = ex * vel.x + ey * vel.y + ez * vel.z;
  s.eb = ex * bx + ey * by + ez * bz;
  s.q.a = s.e2 * -vel2 + s.ev * s.ev;
  s.q.b = s.e2 * (2.0f * (vel.x * bx + vel.y * by + vel.z * bz)) - 2.0f * s.ev * s.eb;
  s.q.c = s.e2 * (1.0f - (bx * bx + by * by + bz * bz)) + s.eb * s.eb;
  return s;
}

// The edge's point at root r, as a fraction f of the edge (on it when 0 <= f <= 1).
template <typename V>
[[gnu::always_inline]] inline V EdgeFraction(const EdgeTerms<V>& s, const V& r) {
  return (s.ev * r - s.eb) / s.e2;
}

// The roots r1 <= r2 of the quadratic; false (per lane) when there is none. A NaN
// discriminant counts as real: its roots are NaN and fail every bound. With a = 0 the
// quotients are infinite or NaN and fail them too.
template <typename V>
[[gnu::always_inline]] inline V Discriminant(const Quadratic<V>& q) {
  return q.b * q.b - 4.0f * q.a * q.c;
}
template <typename V>
[[gnu::always_inline]] inline MaskOf<V> HasRealRoots(const Quadratic<V>& q) {
  return !(Discriminant(q) < 0.0f);
}
template <typename V>
[[gnu::always_inline]] inline MaskOf<V> QuadraticRoots(const Quadratic<V>& q, V& r1, V& r2) {
  const V d = Discriminant(q);
  const MaskOf<V> real = !(d < 0.0f);
  const V sq = SquareRoots(real ? d : V{});
  const V low = (-q.b - sq) / (2.0f * q.a), high = (-q.b + sq) / (2.0f * q.a);
  const MaskOf<V> swap = low > high;
  r1 = swap ? high : low;
  r2 = swap ? low : high;
  return real;
}

// Both bounds strict.
template <typename V>
[[gnu::always_inline]] inline MaskOf<V> RootWithin(const V& r, const V& max_root) {
  return (r > 0.0f) & (r < max_root);
}

// ---- A point's side of a cell plane and an edge's crossing -----------------------------

// A cell plane has a normal of one -1 and two zeros, so a moderate point's signed
// distance from it is offset - coordinate. Behind: below -tolerance (NaN too); in front:
// above tolerance; else on the plane.
template <typename V>
[[gnu::always_inline]] inline MaskOf<V> BehindPlane(const V& distance, float tolerance) {
  return NotAtLeast(distance, -tolerance);
}
template <typename V>
[[gnu::always_inline]] inline MaskOf<V> InFrontOfPlane(const V& distance, float tolerance) {
  return distance > tolerance;
}

// The fraction along an edge from a to a + ab at which it crosses the cell plane at
// `distance` along its -1 axis (a, ab: the edge's coordinates on that axis).
template <typename V>
[[gnu::always_inline]] inline V PlaneCrossing(float distance, const V& a, const V& ab) {
  return (distance - -a) / -ab;
}

// ---- Segment against box -----------------------------------------------------------------

// The slab test: the segment from start along unit dir for len against boxes lo..hi.
// met: it enters the box (touching counts) or starts in it; along: the distance to where
// it enters (0 from inside). On an axis dir is 0 on, the segment runs parallel to the
// slab and meets the box only from within the slab; inv_dir is 1 / dir on the others. A
// segment of no length has dir 0 on every axis: it meets a box that holds its start.
template <typename V>
struct SegmentBoxTerms {
  MaskOf<V> met;
  V along;
};

template <typename V>
[[gnu::always_inline]] inline SegmentBoxTerms<V> SegmentMeetsBox(const float (&start)[3], const float (&dir)[3],
                                                                  const float (&inv_dir)[3], float len,
                                                                  const V (&lo)[3], const V (&hi)[3]) {
  V near_t = V{}, far_t = V{} + len;
  MaskOf<V> met = near_t == near_t;  // every lane, to begin with
  for (int i = 0; i < 3; ++i) {
    if (dir[i] == 0.0f) {
      met = met & (start[i] >= lo[i]) & (start[i] <= hi[i]);
    } else {
      const V t1 = (lo[i] - start[i]) * inv_dir[i], t2 = (hi[i] - start[i]) * inv_dir[i];
      const MaskOf<V> swap = t1 > t2;
      const V first = swap ? t2 : t1, second = swap ? t1 : t2;
      near_t = first > near_t ? first : near_t;
      far_t = second < far_t ? second : far_t;
      met = met & (t1 == t1) & (t2 == t2) & (near_t <= far_t);
    }
    if (!LaneBits(met)) break;  // every box missed: the rest cannot bring one back
  }
  return {met, near_t};
}

#pragma GCC diagnostic pop
