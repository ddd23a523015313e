// Planes, polygons, boxes: classification against the tolerance, distances with and
// without a unit normal, edge cuts, the polygon split outcomes the octree relies on,
// mesh-to-polygon conversion and the two overlap tests.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "engine/collision/aabb.h"
#include "engine/collision/pick.h"
#include "engine/collision/plane.h"
#include "engine/collision/polygon.h"
#include "scenes.h"
#include "support/engine_reset.h"

namespace collision_test {
namespace {

const TPlane kFloorPlane = TPlane::CreatePlane(TVector::Create(0, 0, 0), TVector::Create(0, 1, 0));
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

TPolygon Poly(std::initializer_list<TVector> points) {
  TPolygon p;
  for (const TVector& v : points) p.AddVertex(v);
  return p;
}

TEST(PlaneTest, ClassifiesAgainstTheToleranceBothBoundsOn) {
  struct Case {
    float y;
    int side;
  };
  const Case cases[] = {{0.0f, kOnPlane},      {0.0001f, kOnPlane}, {-0.0001f, kOnPlane}, {0.00011f, kInFront},
                        {-0.00011f, kBehind},  {5.0f, kInFront},    {-5.0f, kBehind},     {kNaN, kBehind}};
  for (const Case& c : cases)
    EXPECT_EQ(kFloorPlane.ClassifyPointToPlane(TVector::Create(3, c.y, -2)), c.side) << "y " << c.y;
}

TEST(PlaneTest, ClassifiesPolygonsAndTriangles) {
  const TVector on1{1, 0, 0}, on2{0, 0, 1}, front{0, 2, 0}, back{0, -2, 0};
  struct Case {
    TVector a, b, c;
    int side;
  };
  const Case cases[] = {{on1, on2, TVector{}, kOnPlane},
                        {on1, on2, front, kInFront},
                        {on1, back, on2, kBehind},
                        {front, on1, back, kStraddling}};
  for (const Case& c : cases) {
    EXPECT_EQ(kFloorPlane.ClassifyTriangleToPlane(c.a, c.b, c.c), c.side);
    EXPECT_EQ(kFloorPlane.ClassifyPolygonToPlane(Poly({c.a, c.b, c.c})), c.side);
  }
}

TEST(PlaneTest, DistancesScaleWithAnUnnormalisedNormal) {
  const TPlane twice = TPlane::CreatePlane(TVector::Create(0, 1, 0), TVector::Create(0, 2, 0));
  EXPECT_FLOAT_EQ(twice.signedDistanceTo(TVector::Create(5, 4, 5)), 6.0f);  // 3 units away, normal length 2
  EXPECT_FLOAT_EQ(twice.distance, 2.0f);
  EXPECT_FLOAT_EQ(twice.equation[3], -2.0f);

  const TPlane unit = TPlane::CreatePlaneFromTriangle(TVector::Create(0, 1, 0), TVector::Create(0, 1, 1),
                                                      TVector::Create(1, 1, 0));
  EXPECT_EQ(Apart(unit.normal, TVector::Create(0, 1, 0)), "");
  EXPECT_FLOAT_EQ(unit.signedDistanceTo(TVector::Create(7, -2, 3)), -3.0f);
  EXPECT_EQ(Apart(unit.ClosestPointTo(TVector::Create(7, -2, 3)), TVector::Create(7, 1, 3)), "");
  const TPlane reversed = TPlane::CreatePlaneFromTriangle(TVector::Create(0, 1, 0), TVector::Create(1, 1, 0),
                                                          TVector::Create(0, 1, 1));
  EXPECT_EQ(Apart(reversed.normal, TVector::Create(0, -1, 0)), "");

  EXPECT_TRUE(TPlane::CreatePlaneFromTriangle(TVector{}, TVector::Create(1, 1, 1), TVector::Create(2, 2, 2))
                  .IsDegenerate());
  EXPECT_EQ(kFloorPlane.isFrontFacingTo(TVector::Create(1, 0, 0)), 1);  // perpendicular counts
  EXPECT_EQ(kFloorPlane.isFrontFacingTo(TVector::Create(0, 0.1f, 0)), 0);
}

TEST(PlaneTest, CutsEdgesOnlyBetweenTheirEnds) {
  struct Case {
    TVector a, b;
    bool hit;
    TVector at;
  };
  const Case cases[] = {{{0, 1, 0}, {0, -3, 0}, true, {0, 0, 0}},
                        {{2, 0, 0}, {2, 5, 0}, true, {2, 0, 0}},   // t = 0
                        {{2, 5, 0}, {2, 0, 0}, true, {2, 0, 0}},   // t = 1
                        {{0, 1, 0}, {0, 0.5f, 0}, false, {}},      // stops short
                        {{0, 1, 0}, {4, 1, 0}, false, {}},         // parallel
                        {{0, 0, 0}, {4, 0, 0}, false, {}}};        // in the plane
  for (const Case& c : cases) {
    const auto q = TPlane::IntersectEdgeAgainstPlane(c.a, c.b, kFloorPlane);
    ASSERT_EQ(q.has_value(), c.hit) << c.a.y << " to " << c.b.y;
    if (c.hit) {
      EXPECT_EQ(Apart(*q, c.at), "");
    }
  }
  float t = -7;
  TVector q = TVector::Create(9, 9, 9);
  EXPECT_EQ(TPlane::IntersectSegmentPlane(TVector::Create(0, 4, 0), TVector::Create(0, 2, 0), kFloorPlane, t, q), 0);
  EXPECT_FLOAT_EQ(t, 2.0f);  // written even on a miss
  EXPECT_EQ(Apart(q, TVector::Create(9, 9, 9)), "");
  EXPECT_EQ(TPlane::IntersectSegmentPlane(TVector::Create(0, 4, 0), TVector::Create(0, -4, 0), kFloorPlane, t, q), 1);
  EXPECT_FLOAT_EQ(t, 0.5f);
}

TEST(PolygonTest, SplitGivesEachSideItsPiece) {
  const TVector f1{0, 1, 0}, f2{1, 1, 1}, b1{0, -1, 1}, b2{1, -1, 0}, o1{2, 0, 0}, o2{2, 0, 2};
  struct Case {
    const char* name;
    TPolygon triangle;
    int front_count, back_count;  // 0: no piece
  };
  const Case cases[] = {
      {"all front", Poly({f1, f2, TVector{0, 3, 3}}), 3, 0},
      {"all behind", Poly({b1, b2, TVector{3, -3, 3}}), 0, 3},
      {"all on", Poly({o1, o2, TVector{4, 0, 1}}), 3, 0},
      {"on and front", Poly({o1, o2, f1}), 3, 0},
      {"two front, one behind", Poly({f1, f2, b1}), 4, 3},
      {"one front, two behind", Poly({f1, b1, b2}), 3, 4},
      {"one on, one front, one behind", Poly({o1, f1, b1}), 3, 3},
      {"one on, two behind", Poly({o1, b1, b2}), 1, 4},
      {"two on, one behind", Poly({o1, o2, b1}), 2, 3},
  };
  for (const Case& c : cases) {
    TPolygon source = c.triangle;
    source.triangle = 7;
    source.surface = std::make_shared<TSurface>();
    std::optional<TPolygon> front, back;
    TPolygon::SplitPolygon(source, kFloorPlane, front, back);
    EXPECT_EQ(front ? front->vertex_count : 0, c.front_count) << c.name;
    EXPECT_EQ(back ? back->vertex_count : 0, c.back_count) << c.name;
    for (const auto* piece : {&front, &back}) {
      if (!*piece) continue;
      EXPECT_EQ((*piece)->triangle, 7) << c.name;
      EXPECT_EQ((*piece)->surface, source.surface) << c.name;
      const float sign = piece == &front ? 1.0f : -1.0f;
      for (int i = 0; i < (*piece)->vertex_count; ++i)
        EXPECT_GE(sign * kFloorPlane.signedDistanceTo((*piece)->GetVertex(i)), -kPlaneTolerance) << c.name;
    }
    EXPECT_EQ(Apart(source.GetVertex(0), c.triangle.GetVertex(0)), "") << c.name << ": input changed";
  }
}

TEST(PolygonTest, NeighboursCutTheirSharedEdgeAtOnePoint) {
  // Two triangles sharing the edge f1-b1 in opposite directions.
  const TVector f1{0, 1, 0}, b1{1, -3, 0.5f};
  std::optional<TPolygon> fa, ba, fb, bb;
  TPolygon::SplitPolygon(Poly({f1, b1, TVector{0, 2, 5}}), kFloorPlane, fa, ba);
  TPolygon::SplitPolygon(Poly({b1, f1, TVector{5, -2, 0}}), kFloorPlane, fb, bb);
  ASSERT_TRUE(fa && fb);
  auto on_plane = [](const TPolygon& p) {
    for (int i = 0; i < p.vertex_count; ++i)
      if (std::fabs(p.GetVertex(i).y) <= kPlaneTolerance) return p.GetVertex(i);
    return TVector::Create(kNaN, kNaN, kNaN);
  };
  const TVector qa = on_plane(*fa), qb = on_plane(*fb);
  EXPECT_EQ(qa.x, qb.x);
  EXPECT_EQ(qa.y, qb.y);
  EXPECT_EQ(qa.z, qb.z);
}

TEST(PolygonTest, QuadsBecomeTwoTrianglesAtTheEnd) {
  const TVector p{0, 0, 0}, q{0, 0, 1}, r{1, 0, 1}, s{1, 0, 0};
  std::vector<TPolygon> polys = {Poly({p, q, r, s}), Poly({p, q, r}), Poly({p, q, r, s, TVector{2, 0, 0}})};
  polys[0].triangle = 4;
  TPolygon::QuadToTris(polys);
  ASSERT_EQ(polys.size(), 4u);
  EXPECT_EQ(polys[0].vertex_count, 3);
  EXPECT_EQ(polys[2].vertex_count, 5);  // only quads change
  EXPECT_EQ(polys[3].vertex_count, 3);
  EXPECT_EQ(polys[3].triangle, 4);
  EXPECT_EQ(Apart(polys[3].GetVertex(0), p), "");
  EXPECT_EQ(Apart(polys[3].GetVertex(1), r), "");
  EXPECT_EQ(Apart(polys[3].GetVertex(2), s), "");

  std::vector<TPolygon> front{Poly({p})}, back;  // emptied first
  TPolygon::SplitPolygons({Poly({TVector{0, 1, 0}, TVector{1, 1, 1}, TVector{0, -1, 1}})}, kFloorPlane, front, back);
  ASSERT_EQ(front.size(), 2u);  // the front quad as two triangles
  ASSERT_EQ(back.size(), 1u);
  for (const TPolygon& piece : front) EXPECT_EQ(piece.vertex_count, 3);
}

TEST(PolygonTest, AddVertexStopsAtItsRoom) {
  TPolygon p;
  for (int i = 0; i < kMaxPolygonVertices + 3; ++i) p.AddVertex(TVector::Create(float(i), 0, 0));
  EXPECT_EQ(p.vertex_count, kMaxPolygonVertices);
  EXPECT_EQ(p.GetVertex(kMaxPolygonVertices).x, 0.0f);  // outside: a zero vector, no read past the end
  EXPECT_EQ(p.GetVertex(-1).x, 0.0f);
  EXPECT_FALSE(TPolygon::CreateFromPoints({}).has_value());
}

class MeshPolygonTest : public EngineTest {};

TEST_F(MeshPolygonTest, OnePolygonPerTriangleInSurfaceOrder) {
  EXPECT_TRUE(TPolygon::MeshToPolygons(*TMesh::CreateMesh()).empty());

  MeshPtr mesh = TMesh::CreateMesh();
  SurfacePtr first = mesh->CreateSurface(), second = mesh->CreateSurface();
  AddQuad(first, TVector::Create(0, 0, 0), TVector::Create(0, 0, 1), TVector::Create(1, 0, 0));
  AddQuad(second, TVector::Create(0, 5, 0), TVector::Create(0, 0, 1), TVector::Create(1, 0, 0));
  second->AddTriangle(0, 2, 1);
  const std::vector<TPolygon> polys = TPolygon::MeshToPolygons(*mesh);
  ASSERT_EQ(polys.size(), 5u);
  const int triangles[] = {0, 1, 0, 1, 2};
  for (size_t i = 0; i < polys.size(); ++i) {
    EXPECT_EQ(polys[i].triangle, triangles[i]) << i;
    EXPECT_EQ(polys[i].surface, i < 2 ? first : second) << i;
    EXPECT_EQ(polys[i].vertex_count, 3);
    const TSurface& s = *polys[i].surface;
    for (int corner = 0; corner < 3; ++corner) {
      const int v = s.TriangleVertex(polys[i].triangle, corner);
      EXPECT_EQ(Apart(polys[i].GetVertex(corner), TVector::Create(s.VertexX(v), s.VertexY(v), s.VertexZ(v))), "");
    }
  }
}

// The slab test over four boxes side by side must meet each, at the same entry time and
// distance bit for bit, exactly when the one-box test meets it: segments along an axis
// (parallel to two slabs), across, and of no length; boxes touched, missed, holding the
// start, of no size and of no value.
TEST(BoxTest, FourBoxesAtOnceMatchOneByOne) {
  const TVector segments[][2] = {{{0.3f, 5, 0.7f}, {0.3f, -5, 0.7f}},
                                 {{-3, 0.5f, 0.25f}, {4, 0.5f, 0.25f}},
                                 {{-2, 3, -1}, {2.5f, -1.5f, 2}},
                                 {{0.5f, 0.5f, 0.5f}, {0.6f, 0.9f, -3}},
                                 {{0.5f, 0.5f, 0.5f}, {0.5f, 0.5f, 0.5f}}};
  struct Box {
    float x, y, z, w, h, d;
  };
  const Box boxes[] = {{0, 0, 0, 1, 1, 1},         {1, 0, 0, 1, 1, 1},   {0.3f, -1, 0.7f, 0, 2, 0},
                       {-5, -5, -5, 2, 2, 2},      {0, 2, 0, 1, 1, 1},   {kNaN, 0, 0, 1, 1, 1},
                       {0, 0, 0, 1, kNaN, 1},      {-1, 0.5f, 0, 2, 0, 1}, {0.25f, -4, 0.5f, 0.5f, 0.5f, 0.5f},
                       {-0.5f, -0.5f, -0.5f, 4, 4, 4}, {2, -2, 1, 0.5f, 1, 0.5f}, {0.3f, 0, 0.7f, 1, 1, 1}};
  constexpr int kBoxes = sizeof boxes / sizeof boxes[0];
  static_assert(kBoxes % kLanes == 0);
  for (const auto& s : segments) {
    const TSegmentBoxTest segment(s[0], s[1]);
    for (int first = 0; first < kBoxes; first += kLanes) {
      auto lanes = [&](float Box::*field) {
        return Lanes{boxes[first].*field, boxes[first + 1].*field, boxes[first + 2].*field, boxes[first + 3].*field};
      };
      Lanes t4, along4;
      const int bits = LaneBits(segment.Hit(lanes(&Box::x), lanes(&Box::y), lanes(&Box::z), lanes(&Box::w),
                                            lanes(&Box::h), lanes(&Box::d), t4, along4));
      for (int l = 0; l < kLanes; ++l) {
        const Box& b = boxes[first + l];
        float t = 0, along = 0;
        const bool hit = segment.Hit(b.x, b.y, b.z, b.w, b.h, b.d, t, along);
        ASSERT_EQ(bits >> l & 1, int(hit)) << "segment from " << s[0].x << ", box " << first + l;
        if (!hit) continue;
        EXPECT_EQ(std::memcmp(&t, &t4[l], sizeof t), 0) << "segment from " << s[0].x << ", box " << first + l;
        EXPECT_EQ(std::memcmp(&along, &along4[l], sizeof along), 0)
            << "segment from " << s[0].x << ", box " << first + l;
      }
    }
  }
}

TEST(BoxTest, BoxesOverlapWhenTheyTouch) {
  auto box = [](float x0, float y0, float z0, float x1, float y1, float z1) {
    AABB b;
    b.min_corner[0] = x0, b.min_corner[1] = y0, b.min_corner[2] = z0;
    b.max_corner[0] = x1, b.max_corner[1] = y1, b.max_corner[2] = z1;
    return b;
  };
  const AABB unit = box(0, 0, 0, 1, 1, 1);
  struct Case {
    AABB other;
    int overlap;
  };
  const Case cases[] = {{box(1, 1, 1, 2, 2, 2), 1},        {box(1.001f, 0, 0, 2, 1, 1), 0},
                        {box(0.2f, 0.2f, 0.2f, 0.3f, 0.3f, 0.3f), 1}, {box(-5, -5, 2, 5, 5, 3), 0},
                        {box(kNaN, 0, 0, 1, 1, 1), 0}};
  for (const Case& c : cases) {
    EXPECT_EQ(AABB::AABBAABBIntersection(unit, c.other), c.overlap) << c.other.min_corner[0];
    EXPECT_EQ(AABB::AABBAABBIntersection(c.other, unit), c.overlap) << c.other.min_corner[0];
  }

  struct SphereCase {
    TVector centre;
    float radius;
    int overlap;
  };
  const SphereCase spheres[] = {{{0.5f, 1, 0.5f}, 0, 1},   {{0.5f, 2, 0.5f}, 1, 1},       {{0.5f, 2.001f, 0.5f}, 1, 0},
                                {{0.5f, 0.5f, 0.5f}, 0, 1}, {{2, 2, 0.5f}, 1.5f, 1},      {{2, 2, 0.5f}, 1.4f, 0},
                                {{kNaN, 0.5f, 0.5f}, 9, 0}};
  for (const SphereCase& c : spheres) {
    TSphere s;
    s.centre = c.centre;
    s.radius = c.radius;
    EXPECT_EQ(AABB::SphereAABBIntersection(s, unit), c.overlap) << c.centre.x << "," << c.centre.y << " r " << c.radius;
  }
}

}  // namespace
}  // namespace collision_test
