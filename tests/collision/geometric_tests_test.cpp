// The geometric tests at their edges, through every lane width. Each table row has the
// answer the scalar (one-lane) test must give; then the rows are run in every lane of the
// four- and eight-lane forms, each beside the others, and every lane must give the scalar
// answer bit for bit.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "engine/collision/collision.h"
#include "engine/collision/geometric_tests.h"
#include "engine/collision/plane.h"
#include "engine/math/lanes.h"

// -Wpsabi: see the top of lanes.h (here eight lanes pass between functions built alike).
#pragma GCC diagnostic ignored "-Wpsabi"

namespace collision_test {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

using Answer = std::vector<uint32_t>;  // a test's outputs as bits

// A NaN's sign and payload depend on the order the processor met its operands in, and
// nothing reads them: every NaN compares as one.
uint32_t Bits(float f) { return std::isnan(f) ? 0x7fc00000u : std::bit_cast<uint32_t>(f); }
bool LaneSet(bool mask, int) { return mask; }
template <typename M>
bool LaneSet(const M& mask, int lane) {
  return mask[lane] != 0;
}
float LaneOf(float v, int) { return v; }
template <typename V>
float LaneOf(const V& v, int lane) {
  return v[lane];
}

// The rows' field side by side, lane l from run[l] (into v: eight lanes are not
// returned by value from code built for the baseline processor).
template <typename V, typename Row, typename Field>
void Gather(const std::vector<const Row*>& run, Field field, V& v) {
  v = V{};
  for (int l = 0; l < LaneTraits<V>::kWidth; ++l) v[l] = field(*run[size_t(l)]);
}

// Runs the rows through lanes of type V with each row in every lane once (lane l of run
// `first` holds row first + l, round the table): lanes(run) gives each lane's answer,
// which must be scalar(row)'s.
template <typename V, typename Row, typename Scalar, typename RunLanes>
void ExpectEveryLane(const std::vector<Row>& rows, Scalar scalar, RunLanes lanes, const std::string& where) {
  constexpr int kWidth = LaneTraits<V>::kWidth;
  for (size_t first = 0; first < rows.size(); ++first) {
    std::vector<const Row*> run;
    for (int l = 0; l < kWidth; ++l) run.push_back(&rows[(first + size_t(l)) % rows.size()]);
    const std::vector<Answer> got = lanes.template operator()<V>(run);
    for (int l = 0; l < kWidth; ++l)
      EXPECT_EQ(got[size_t(l)], scalar(*run[size_t(l)])) << run[size_t(l)]->name << " in lane " << l << " of "
                                                         << kWidth << where;
  }
}

template <typename Row, typename Scalar, typename RunLanes>
void ExpectEveryLaneWidth(const std::vector<Row>& rows, Scalar scalar, RunLanes lanes, const std::string& where = "") {
  ExpectEveryLane<Lanes>(rows, scalar, lanes, where);
  ExpectEveryLane<EightLanes>(rows, scalar, lanes, where);
}

// ---- Segment against triangle ------------------------------------------------------------

struct SegmentRow {
  const char* name;
  TVector a, b, p, q, r;
  bool hit;
};

// The triangle (0,0,0), (1,0,0), (0,0,-1) faces +y.
const TVector kP = {0, 0, 0}, kQ = {1, 0, 0}, kR = {0, 0, -1};

const std::vector<SegmentRow> kSegmentRows = {
    {"through the middle", {0.2f, 1, -0.2f}, {0.2f, -1, -0.2f}, kP, kQ, kR, true},
    {"from the back", {0.2f, -1, -0.2f}, {0.2f, 1, -0.2f}, kP, kQ, kR, false},
    {"starting on the plane", {0.2f, 0, -0.2f}, {0.2f, -1, -0.2f}, kP, kQ, kR, true},
    {"ending on the plane", {0.2f, 1, -0.2f}, {0.2f, 0, -0.2f}, kP, kQ, kR, true},
    {"ending short of the plane", {0.2f, 1, -0.2f}, {0.2f, 0.001f, -0.2f}, kP, kQ, kR, false},
    {"exactly on an edge", {0.5f, 1, 0}, {0.5f, -1, 0}, kP, kQ, kR, true},
    {"exactly on the other short edge", {0, 1, -0.5f}, {0, -1, -0.5f}, kP, kQ, kR, true},
    {"on the long edge", {0.5f, 1, -0.5f}, {0.5f, -1, -0.5f}, kP, kQ, kR, true},
    {"just outside an edge", {0.5f, 1, 0.001f}, {0.5f, -1, 0.001f}, kP, kQ, kR, false},
    {"1e-4 outside the first short edge", {0.5f, 1, 0.0001f}, {0.5f, -1, 0.0001f}, kP, kQ, kR, false},
    {"1e-4 outside the other short edge", {-0.0001f, 1, -0.5f}, {-0.0001f, -1, -0.5f}, kP, kQ, kR, false},
    {"1e-4 outside the long edge", {0.50005f, 1, -0.50005f}, {0.50005f, -1, -0.50005f}, kP, kQ, kR, false},
    {"exactly on a corner", {1, 1, 0}, {1, -1, 0}, kP, kQ, kR, true},
    {"exactly on the right-angled corner", {0, 1, 0}, {0, -1, 0}, kP, kQ, kR, true},
    {"just past a corner", {1.001f, 1, 0}, {1.001f, -1, 0}, kP, kQ, kR, false},
    {"slanting onto a corner", {0, 1, 1}, {2, -1, -1}, kP, kQ, kR, true},
    {"parallel in the plane", {-1, 0, -0.2f}, {2, 0, -0.2f}, kP, kQ, kR, false},
    {"parallel above the plane", {-1, 0.5f, -0.2f}, {2, 0.5f, -0.2f}, kP, kQ, kR, false},
    {"zero-area: a line", {0.2f, 1, 0}, {0.2f, -1, 0}, kP, kQ, {2, 0, 0}, false},
    {"zero-area: a point", {0, 1, 0}, {0, -1, 0}, kP, kP, kP, false},
    {"a segment of no length", {0.2f, 0, -0.2f}, {0.2f, 0, -0.2f}, kP, kQ, kR, false},
    {"a NaN corner", {0.2f, 1, -0.2f}, {0.2f, -1, -0.2f}, kP, {kNaN, 0, 0}, kR, false},
    {"an infinite corner", {0.2f, 1, -0.2f}, {0.2f, -1, -0.2f}, kP, {kInf, 0, 0}, kR, false},
    {"a NaN segment end", {kNaN, 1, -0.2f}, {0.2f, -1, -0.2f}, kP, kQ, kR, false},
};

Answer SegmentAnswer(bool hit, float dd, float tt, float vv, float ww) {
  if (!hit) return {0};  // the terms of a miss mean nothing
  return {1, Bits(dd), Bits(tt), Bits(vv), Bits(ww)};
}

TEST(GeometricTests, SegmentAgainstTriangleAtItsEdgesInEveryLane) {
  auto scalar = [](const SegmentRow& row) {
    const auto s = SegmentMeetsTriangle(row.a, row.b, row.p.x, row.p.y, row.p.z, row.q.x, row.q.y, row.q.z, row.r.x,
                                        row.r.y, row.r.z);
    return SegmentAnswer(s.hit, s.dd, s.tt, s.vv, s.ww);
  };
  for (const SegmentRow& row : kSegmentRows) EXPECT_EQ(scalar(row)[0], uint32_t(row.hit)) << row.name;

  // The lanes of a run share one segment, as the screens run them: every row's triangle
  // against each row's segment.
  for (const SegmentRow& segment : kSegmentRows) {
    std::vector<SegmentRow> rows = kSegmentRows;
    for (SegmentRow& row : rows) row.a = segment.a, row.b = segment.b;
    auto lanes = [&segment]<typename V>(const std::vector<const SegmentRow*>& run) {
      V c[9];
      for (int i = 0; i < 9; ++i) {
        Gather(run, [i](const SegmentRow& r) {
          const TVector& corner = i < 3 ? r.p : i < 6 ? r.q : r.r;
          return i % 3 == 0 ? corner.x : i % 3 == 1 ? corner.y : corner.z;
        }, c[i]);
      }
      const auto s = SegmentMeetsTriangle(segment.a, segment.b, c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7], c[8]);
      std::vector<Answer> got;
      for (int l = 0; l < LaneTraits<V>::kWidth; ++l)
        got.push_back(SegmentAnswer(LaneSet(s.hit, l), LaneOf(s.dd, l), LaneOf(s.tt, l), LaneOf(s.vv, l),
                                    LaneOf(s.ww, l)));
      return got;
    };
    ExpectEveryLaneWidth(rows, scalar, lanes, std::string(", segment ") + segment.name);
  }
}

// ---- The sweep ---------------------------------------------------------------------------

struct SweepRow {
  const char* name;
  TVector base, vel;  // unit-sphere space
  TVector p1, p2, p3;
  bool hit;
  float distance;  // along vel to the contact, when hit
};

// A large triangle at y = 0 facing +y, and the small one of the segment table.
const TVector kF1 = {-5, 0, 5}, kF2 = {5, 0, 5}, kF3 = {0, 0, -5};

const std::vector<SweepRow> kSweepRows = {
    {"falling onto the face", {0, 3, 0}, {0, -4, 0}, kF1, kF2, kF3, true, 2},
    {"touching the face at the end", {0, 3, 0}, {0, -2, 0}, kF1, kF2, kF3, true, 2},
    {"stopping short of the face", {0, 3, 0}, {0, -1.9f, 0}, kF1, kF2, kF3, false, 0},
    {"parallel at distance 1", {0, 1, 0}, {1, 0, 0}, kF1, kF2, kF3, false, 0},
    {"parallel within 1, clear of the edges", {0, 0.5f, 0}, {1, 0, 0}, kF1, kF2, kF3, false, 0},
    {"parallel within 1 onto an edge", {0, 0.5f, 6.2f}, {0, 0, -2}, kF1, kF2, kF3, true, 0.33397448f},
    {"sunk and moving in", {0, 0.3f, 0}, {1, -0.2f, 0.5f}, kF1, kF2, kF3, true, 0},
    {"moving away from the face", {0, 3, 0}, {0, 4, 0}, kF1, kF2, kF3, false, 0},
    {"meeting the back face", {0, -3, 0}, {0, 4, 0}, kF1, kF2, kF3, false, 0},
    {"onto the long edge of the face (v + w = 1)", {0.5f, 3, -0.5f}, {0, -4, 0}, kP, kQ, kR, true, 2},
    {"onto a corner, ending an edge", {-0.6f, 3, 0}, {0, -4, 0}, kP, kQ, kR, true, 2.2f},
    {"past a corner", {-1.2f, 3, 0}, {0, -4, 0}, kP, kQ, kR, false, 0},
    {"zero-area triangle", {0, 3, 0}, {0, -4, 0}, kF1, kF2, {0, 0, 5}, false, 0},
    // The third corner is the rounded midpoint of the first two: the plane is rounding
    // noise, and the face point under a ball passing six units away looked inside.
    {"corners on one line, to rounding, far from the ball",
     {0x1.05f318p+0f, -0x1.1cc9f2p+1f, -0x1.6a3d06p+2f},
     {0x1.7d60ccp+1f, 0x1.309e28p+1f, 0x1.783e14p+1f},
     {-0x1.946268p+1f, -0x1.c331c8p+1f, -0x1.e1f314p+1f},
     {-0x1.f532a8p-1f, 0x1.ea849cp+1f, 0x1.b748ap+1f},
     {-0x1.08d788p+1f, 0x1.3a96ap-3f, -0x1.5553ap-3f},
     false,
     0},
    {"a NaN corner", {0, 3, 0}, {0, -4, 0}, kF1, {kNaN, 0, 5}, kF3, false, 0},
    {"an infinite corner", {0, 3, 0}, {0, -4, 0}, kF1, {kInf, 0, 5}, kF3, false, 0},
};

// The unit plane of a triangle, as the sweep makes it.
struct Plane {
  TVector n;
  float offset;
  explicit Plane(const SweepRow& row) {
    const TPlane plane = TPlane::CreatePlaneFromTriangle(row.p1, row.p2, row.p3);
    n = plane.normal, offset = plane.equation[3];
  }
};

// Each part of the sweep's tests, as bits, for one lane: the plane (reach, embedded,
// t0), the face point's weights, and the roots of the corners and edges (with the edge
// fractions) where they are real.
template <typename V>
std::vector<Answer> SweepAnswers(const TVector& base, const TVector& vel, const V& nx, const V& ny, const V& nz,
                                 const V& offset, const V (&cx)[3], const V (&cy)[3], const V (&cz)[3]) {
  TVector dir = vel;
  dir.Normalize();
  const SweepPlaneTerms<V> plane = SweepMeetsPlane(base, vel, dir, nx, ny, nz, offset);
  V qx, qy, qz;
  SweepFacePoint(base, vel, nx, ny, nz, plane.t0, qx, qy, qz);
  const TriangleWeights<V> weights = WeightsInTriangle(cx, cy, cz, qx, qy, qz);
  const MaskOf<V> inside = InsideTriangle(weights);
  const float vel2 = vel.SquaredLength();
  std::vector<Answer> got(size_t(LaneTraits<V>::kWidth));
  for (int l = 0; l < LaneTraits<V>::kWidth; ++l) {
    Answer& a = got[size_t(l)];
    a = {LaneSet(plane.reach, l), LaneSet(plane.embedded, l)};
    if (LaneSet(plane.reach, l)) {
      a.push_back(Bits(LaneOf(plane.t0, l)));
      if (!LaneSet(plane.embedded, l))
        a.insert(a.end(), {LaneSet(inside, l), Bits(LaneOf(weights.v, l)), Bits(LaneOf(weights.w, l))});
    }
  }
  auto roots = [&got](const Quadratic<V>& q, const EdgeTerms<V>* edge) {
    V r1, r2;
    const MaskOf<V> real = QuadraticRoots(q, r1, r2);
    for (int l = 0; l < LaneTraits<V>::kWidth; ++l) {
      Answer& a = got[size_t(l)];
      a.push_back(LaneSet(real, l));
      if (!LaneSet(real, l)) continue;
      a.insert(a.end(), {Bits(LaneOf(r1, l)), Bits(LaneOf(r2, l))});
      if (edge) a.insert(a.end(), {Bits(LaneOf(EdgeFraction(*edge, r1), l)), Bits(LaneOf(EdgeFraction(*edge, r2), l))});
    }
  };
  for (int i = 0; i < 3; ++i) roots(CornerQuadratic(base, vel, vel2, cx[i], cy[i], cz[i]), nullptr);
  for (int j = 0; j < 3; ++j) {
    const int n = (j + 1) % 3;
    const EdgeTerms<V> edge = EdgeQuadratic(base, vel, vel2, cx[j], cy[j], cz[j], cx[n] - cx[j], cy[n] - cy[j],
                                            cz[n] - cz[j]);
    roots(edge.q, &edge);
  }
  return got;
}

// The sweep's face test: whether the point where the sphere meets the plane lies in the
// triangle, boundaries in, a hair outside out.
TEST(GeometricTests, PointInTriangleAtItsEdges) {
  const struct {
    const char* name;
    TVector point;
    bool inside;
  } kRows[] = {
      {"the middle", {0.2f, 0, -0.2f}, true},
      {"on the first short edge", {0.5f, 0, 0}, true},
      {"on the other short edge", {0, 0, -0.5f}, true},
      {"on the long edge", {0.5f, 0, -0.5f}, true},
      {"on each corner: p", kP, true},
      {"on each corner: q", kQ, true},
      {"on each corner: r", kR, true},
      {"1e-4 outside the first short edge", {0.5f, 0, 0.0001f}, false},
      {"1e-4 outside the other short edge", {-0.0001f, 0, -0.5f}, false},
      {"1e-4 outside the long edge", {0.50005f, 0, -0.50005f}, false},
  };
  for (const auto& row : kRows)
    EXPECT_EQ(TCollision::CheckPointInTriangle(row.point, kP, kQ, kR), int(row.inside)) << row.name;
}

TEST(GeometricTests, SweepAgainstTriangleAtItsEdgesInEveryLane) {
  for (const SweepRow& row : kSweepRows) {
    TCollisionPacket k;
    k.velocity = k.normalized_velocity = row.vel;
    k.normalized_velocity.Normalize();
    k.base_point = row.base;
    const int hit = TCollision::CheckTriangle(k, row.p1, row.p2, row.p3);
    EXPECT_EQ(hit, int(row.hit)) << row.name;
    if (hit && row.hit) {
      EXPECT_NEAR(k.nearest_distance, row.distance, 1e-5f) << row.name;
    }
  }

  auto scalar = [](const SweepRow& row) {
    const Plane plane(row);
    const float cx[3] = {row.p1.x, row.p2.x, row.p3.x}, cy[3] = {row.p1.y, row.p2.y, row.p3.y},
                cz[3] = {row.p1.z, row.p2.z, row.p3.z};
    return SweepAnswers<float>(row.base, row.vel, plane.n.x, plane.n.y, plane.n.z, plane.offset, cx, cy, cz)[0];
  };
  // The lanes of a run share one sweep, as the screen runs them.
  for (const SweepRow& sweep : kSweepRows) {
    std::vector<SweepRow> rows = kSweepRows;
    for (SweepRow& row : rows) row.base = sweep.base, row.vel = sweep.vel;
    auto lanes = [&sweep]<typename V>(const std::vector<const SweepRow*>& run) {
      std::vector<Plane> planes;
      for (const SweepRow* row : run) planes.emplace_back(*row);
      V nx{}, ny{}, nz{}, offset{}, cx[3] = {}, cy[3] = {}, cz[3] = {};
      for (int l = 0; l < LaneTraits<V>::kWidth; ++l) {
        const Plane& p = planes[size_t(l)];
        nx[l] = p.n.x, ny[l] = p.n.y, nz[l] = p.n.z, offset[l] = p.offset;
        const TVector* corners[3] = {&run[size_t(l)]->p1, &run[size_t(l)]->p2, &run[size_t(l)]->p3};
        for (int i = 0; i < 3; ++i) cx[i][l] = corners[i]->x, cy[i][l] = corners[i]->y, cz[i][l] = corners[i]->z;
      }
      return SweepAnswers<V>(sweep.base, sweep.vel, nx, ny, nz, offset, cx, cy, cz);
    };
    ExpectEveryLaneWidth(rows, scalar, lanes, std::string(", sweep ") + sweep.name);
  }
}

// ---- A point's side of a cell plane, an edge's crossing ---------------------------------

struct SideRow {
  const char* name;
  float distance;
  int side;  // kBehind, kOnPlane, kInFront
};

const std::vector<SideRow> kSideRows = {
    {"well in front", 1, kInFront},
    {"just past the tolerance", 0.00011f, kInFront},
    {"on the tolerance in front", kPlaneTolerance, kOnPlane},
    {"on the plane", 0, kOnPlane},
    {"a negative zero", -0.0f, kOnPlane},
    {"on the tolerance behind", -kPlaneTolerance, kOnPlane},
    {"just behind the tolerance", -0.00011f, kBehind},
    {"infinitely in front", kInf, kInFront},
    {"infinitely behind", -kInf, kBehind},
    {"NaN", kNaN, kBehind},
};

TEST(GeometricTests, CellPlaneSidesAndCrossingsInEveryLane) {
  auto scalar = [](const SideRow& row) {
    const bool behind = BehindPlane(row.distance, kPlaneTolerance);
    const bool front = InFrontOfPlane(row.distance, kPlaneTolerance);
    // The crossing of an edge from this distance's point to one 1 past it, on a plane at 0.5.
    return Answer{behind, front, Bits(PlaneCrossing(0.5f, row.distance, 1.0f))};
  };
  for (const SideRow& row : kSideRows) {
    const Answer a = scalar(row);
    EXPECT_EQ(a[0] ? kBehind : a[1] ? kInFront : kOnPlane, row.side) << row.name;
    // The plane's own classification agrees.
    const TPlane plane = TPlane::CreatePlane(TVector::Create(0, 0, 0), TVector::Create(-1, 0, 0));
    EXPECT_EQ(plane.ClassifyPointToPlane(TVector::Create(-row.distance, 0, 0)), row.side) << row.name;
  }
  auto lanes = []<typename V>(const std::vector<const SideRow*>& run) {
    V d;
    Gather(run, [](const SideRow& r) { return r.distance; }, d);
    const MaskOf<V> behind = BehindPlane(d, kPlaneTolerance), front = InFrontOfPlane(d, kPlaneTolerance);
    const V crossing = PlaneCrossing(0.5f, d, V{} + 1.0f);
    std::vector<Answer> got;
    for (int l = 0; l < LaneTraits<V>::kWidth; ++l)
      got.push_back({LaneSet(behind, l), LaneSet(front, l), Bits(LaneOf(crossing, l))});
    return got;
  };
  ExpectEveryLaneWidth(kSideRows, scalar, lanes);
}

}  // namespace
}  // namespace collision_test
