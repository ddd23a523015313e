// Picks as a program sees them: each pick mode against known geometry (point, normal,
// time, entity, surface, triangle), what a miss and a later sphere hit leave behind,
// ties, visibility rules, the entity and camera front ends, and EntityVisible's
// restoring of the last result.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/collision/pick.h"
#include "engine/scene/camera.h"
#include "engine/scene/entity.h"
#include "engine/scene/global.h"
#include "scenes.h"
#include "support/engine_reset.h"
#include "support/render_fixture.h"

namespace collision_test {
namespace {

TVector PickedPoint() { return TVector::Create(TPick::PickedX(), TPick::PickedY(), TPick::PickedZ()); }
TVector PickedNormal() { return TVector::Create(TPick::PickedNX(), TPick::PickedNY(), TPick::PickedNZ()); }

// A sphere, a box and a floor mesh (scaled 3 and lowered 2), each pickable by its mode.
class PickTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    floor = MakeFloor(1);
    floor->ScaleEntity(3, 1, 3);
    floor->PositionEntity(0, -2, 0);
    floor->EntityPickMode(kPickPolygons);
    ball = TPivot::CreatePivot();
    ball->PositionEntity(0, 0, 10);
    ball->EntityRadius(1);
    ball->EntityPickMode(kPickSphere);
    box = TPivot::CreatePivot();
    box->PositionEntity(5, 0, 10);
    box->EntityBox(-1, -1, -1, 2, 2, 2);
    box->EntityPickMode(kPickBox);
  }
  MeshPtr floor;
  PivotPtr ball, box;
};

TEST_F(PickTest, EachModeReportsWhereAndWhatItHit) {
  const SurfacePtr floor_surface = floor->GetSurface(1);
  struct Case {
    const char* name;
    TVector start, move;
    TEntity* hit;
    TVector point, normal;
    float time;
    int triangle;  // -1: not a triangle hit
  };
  const Case cases[] = {
      {"sphere", {0, 0, 0}, {0, 0, 20}, ball.get(), {0, 0, 9}, {0, 0, -1}, 0.45f, -1},
      {"box", {5, 0, 0}, {0, 0, 20}, box.get(), {5, 0, 9}, {0, 0, -1}, 0.45f, -1},
      {"box from above", {5, 5, 10}, {0, -10, 0}, box.get(), {5, 1, 10}, {0, 1, 0}, 0.4f, -1},
      {"floor, second triangle", {2, 5, -2.5f}, {0, -10, 0}, floor.get(), {2, -2, -2.5f}, {0, 1, 0}, 0.7f, 1},
      {"floor, first triangle", {-2, 5, 2.5f}, {0, -10, 0}, floor.get(), {-2, -2, 2.5f}, {0, 1, 0}, 0.7f, 0},
      {"slanted onto the floor", {0, 2, -1}, {2, -8, 2}, floor.get(), {1, -2, 0}, {0, 1, 0}, 0.5f, 1},
      {"hit at the very end", {0, 0, 0}, {0, 0, 9}, ball.get(), {0, 0, 9}, {0, 0, -1}, 1.0f, -1},
      {"edge of the box face", {4, 0, 0}, {0, 0, 20}, box.get(), {4, 0, 9}, {0, 0, -1}, 0.45f, -1},
  };
  for (const Case& c : cases) {
    const EntityPtr got = TPick::LinePick(c.start.x, c.start.y, c.start.z, c.move.x, c.move.y, c.move.z, 0);
    ASSERT_EQ(got.get(), c.hit) << c.name;
    EXPECT_EQ(TPick::PickedEntity().get(), c.hit) << c.name;
    EXPECT_EQ(Apart(PickedPoint(), c.point), "") << c.name;
    EXPECT_EQ(Apart(PickedNormal(), c.normal), "") << c.name;
    EXPECT_NEAR(TPick::PickedTime(), c.time, kNear) << c.name;
    if (c.triangle >= 0) {
      EXPECT_EQ(TPick::PickedSurface(), floor_surface) << c.name;
      EXPECT_EQ(TPick::PickedTriangle(), c.triangle) << c.name;
    }
  }
}

TEST_F(PickTest, MissesKeepTheLastPointAndClearTheEntity) {
  ASSERT_EQ(TPick::LinePick(2, 5, -2.5f, 0, -10, 0), floor);
  struct Case {
    const char* name;
    TVector start, move;
  };
  const Case cases[] = {{"nothing there", {50, 0, 0}, {0, 0, 20}},
                        {"floor from below", {2, -5, -2.5f}, {0, 10, 0}},
                        {"in the floor's plane", {-5, -2, 0.5f}, {10, 0, 0}},
                        {"short of the sphere", {0, 0, 0}, {0, 0, 8.9f}},
                        {"beside the box, straight down", {6.5f, 5, 10}, {0, -10, 0}}};
  for (const Case& c : cases) {
    EXPECT_EQ(TPick::LinePick(c.start.x, c.start.y, c.start.z, c.move.x, c.move.y, c.move.z), nullptr) << c.name;
    EXPECT_EQ(TPick::PickedEntity(), nullptr) << c.name;
    EXPECT_EQ(TPick::PickedTime(), 1.0f) << c.name;
    EXPECT_EQ(Apart(PickedPoint(), TVector::Create(2, -2, -2.5f)), "") << c.name;
    EXPECT_EQ(TPick::PickedSurface(), floor->GetSurface(1)) << c.name;
    EXPECT_EQ(TPick::PickedTriangle(), 1) << c.name;
  }
}

TEST_F(PickTest, SphereHitAfterAPolygonHitKeepsTheTriangle) {
  PivotPtr above = TPivot::CreatePivot();  // after the floor in the list, nearer the start
  above->PositionEntity(2, 1, -2.5f);
  above->EntityRadius(1);
  above->EntityPickMode(kPickSphere);
  EXPECT_EQ(TPick::LinePick(2, 5, -2.5f, 0, -10, 0), above);
  EXPECT_NEAR(TPick::PickedTime(), 0.3f, kNear);
  EXPECT_EQ(TPick::PickedSurface(), floor->GetSurface(1));
  EXPECT_EQ(TPick::PickedTriangle(), 1);
}

TEST_F(PickTest, EqualTimesGoToTheLaterEntity) {
  PivotPtr twin = TPivot::CreatePivot();
  twin->PositionEntity(0, 0, 10);
  twin->EntityRadius(1);
  twin->EntityPickMode(kPickSphere);
  EXPECT_EQ(TPick::LinePick(0, 0, 0, 0, 0, 20), twin);
  EXPECT_EQ(TPick::LinePick(0, 0, 0, 0, 0, 20, 5.0f), twin);  // the radius changes nothing
}

TEST_F(PickTest, HiddenUnpickableAndOddModesAreNeverHit) {
  struct Case {
    const char* name;
    void (*change)(TEntity& ball);
  };
  const Case cases[] = {
      {"hidden", [](TEntity& ball) { ball.HideEntity(); }},
      {"hidden parent", [](TEntity& ball) {
         PivotPtr parent = TPivot::CreatePivot();
         ball.EntityParent(parent);
         parent->HideEntity();
       }},
      {"mode 0", [](TEntity& ball) { ball.EntityPickMode(kPickNone); }},
      {"mode 2 on a pivot", [](TEntity& ball) { ball.EntityPickMode(kPickPolygons); }},
      {"mode 7", [](TEntity& ball) { ball.EntityPickMode(7); }},
  };
  for (const Case& c : cases) {
    SetUp();  // a fresh scene per case
    c.change(*ball);
    EXPECT_EQ(TPick::LinePick(0, 0, 0, 0, 0, 20), nullptr) << c.name;
  }
}

TEST_F(PickTest, DegenerateSegmentsAndShapesDoNotMisbehave) {
  const float nan = std::nanf("");
  EXPECT_EQ(TPick::LinePick(nan, 0, 0, 0, 0, 20), nullptr);
  EXPECT_EQ(TPick::LinePick(0, 0, 0, nan, nan, nan), nullptr);
  // A zero-length segment is a point: inside the sphere it hits at time 0.
  EXPECT_EQ(TPick::LinePick(0, 0.5f, 10, 0, 0, 0), ball);
  EXPECT_EQ(TPick::PickedTime(), 0.0f);
  EXPECT_EQ(TPick::LinePick(0, 3, 10, 0, 0, 0), nullptr);
  // Triangles of no area are never hit, not even through their corners.
  MeshPtr sliver = TMesh::CreateMesh();
  SurfacePtr s = sliver->CreateSurface();
  s->AddVertex(-1, 20, 0), s->AddVertex(0, 20, 0), s->AddVertex(1, 20, 0);
  s->AddTriangle(0, 1, 2), s->AddTriangle(1, 1, 1);
  sliver->EntityPickMode(kPickPolygons);
  EXPECT_EQ(TPick::LinePick(0, 25, 0, 0, -10, 0), nullptr);
}

TEST_F(PickTest, EntityPickRunsAlongTheEntityForwardAxis) {
  PivotPtr eye = TPivot::CreatePivot();
  eye->PositionEntity(5, 0, 30);
  eye->RotateEntity(0, 180, 0);  // facing -z, towards the box
  EXPECT_EQ(eye->EntityPick(25), box);
  EXPECT_EQ(Apart(PickedPoint(), TVector::Create(5, 0, 11)), "");
  EXPECT_NEAR(TPick::PickedTime(), 19.0f / 25.0f, kNear);
  EXPECT_EQ(eye->EntityPick(10), nullptr);

  EXPECT_EQ(TPick::EntityPick(nullptr, 20), ball);  // null: from the world origin
  EXPECT_NEAR(TPick::PickedTime(), 0.45f, kNear);

  EXPECT_EQ(ball->EntityPick(5), ball);  // starts at its own centre: itself at time 0
  EXPECT_EQ(TPick::PickedTime(), 0.0f);
  EXPECT_NEAR(PickedNormal().Length(), 1.0f, kNear);  // a direction even at the centre
}

TEST_F(PickTest, EntityVisibleLooksBetweenAndKeepsTheLastPick) {
  PivotPtr a = TPivot::CreatePivot(), b = TPivot::CreatePivot(), c = TPivot::CreatePivot();
  a->PositionEntity(0, 0, 0);
  b->PositionEntity(0, 0, 20);   // behind the ball
  c->PositionEntity(-5, 0, 20);  // off to the side
  ASSERT_EQ(TPick::LinePick(2, 5, -2.5f, 0, -10, 0), floor);

  EXPECT_EQ(a->EntityVisible(a, b), 0);
  EXPECT_EQ(a->EntityVisible(a, c), 1);
  EXPECT_EQ(TPick::PickedEntity(), floor);  // all ten values back
  EXPECT_NEAR(TPick::PickedTime(), 0.7f, kNear);
  EXPECT_EQ(Apart(PickedPoint(), TVector::Create(2, -2, -2.5f)), "");
  EXPECT_EQ(Apart(PickedNormal(), TVector::Create(0, 1, 0)), "");
  EXPECT_EQ(TPick::PickedTriangle(), 1);

  c->EntityPickMode(kPickSphere);  // the end itself is in the way once it has a radius
  c->EntityRadius(0.5f);
  EXPECT_EQ(a->EntityVisible(a, c), 0);
  EXPECT_EQ(TPick::EntityVisible(nullptr, c.get()), 0);
}

// CameraPick through a camera that rendered on the off-screen context.
// The mesh loop screens several triangles at once and reads corners straight from the
// arrays; what it reports must be what the plain test gives triangle by triangle,
// through the accessors, bit for bit: on a surface whose count is no multiple of the
// screen's width, whose arrays end at the counts, and with a corner past the vertex
// table (read as the origin).
TEST_F(PickTest, MeshPicksMatchTheTriangleTestOneByOne) {
  for (const EntityPtr& e : {EntityPtr(floor), EntityPtr(ball), EntityPtr(box)}) e->EntityPickMode(kPickNone);
  MeshPtr mesh = MakeGrid(3, 2, 0.4f);  // 18 triangles
  mesh->EntityPickMode(kPickPolygons);
  SurfacePtr s = mesh->GetSurface(1);
  const int far_corner = s->CountVertices() + 5;
  s->AddTriangle(0, far_corner, 1);
  s->vertex_positions.resize(size_t(s->vertex_count) * 3);  // no slack after the last vertex
  s->triangle_indices.resize(size_t(s->triangle_count) * 3);
  auto corner = [&](int k, int c) {
    const int v = s->TriangleVertex(k, c);
    return TVector::Create(s->VertexX(v), s->VertexY(v), s->VertexZ(v));
  };
  unsigned seed = 99;
  auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return float((seed >> 8) & 0xffff) / 65535.0f;
  };
  int hits = 0;
  for (int i = 0; i < 300; ++i) {
    const TVector a = TVector::Create(next() * 5 - 2.5f, 2, next() * 5 - 2.5f);
    const TVector b = a.Add(TVector::Create(next() * 2 - 1, -4, next() * 2 - 1));
    float best = 1.0f, best_u = 0, best_v = 0, best_w = 0;
    int want = -1;
    for (int k = 0; k < s->CountTriangles(); ++k) {
      float u, v, w, t;
      if (TPick::IntersectSegmentTriangle(a, b, corner(k, 0), corner(k, 1), corner(k, 2), u, v, w, t) && t <= best)
        best = t, want = k, best_u = u, best_v = v, best_w = w;
    }
    const EntityPtr got = TPick::LinePick(a.x, a.y, a.z, b.x - a.x, b.y - a.y, b.z - a.z);
    ASSERT_EQ(got == mesh, want >= 0) << "segment " << i;
    if (want < 0) continue;
    ++hits;
    EXPECT_EQ(TPick::PickedTriangle(), want) << "segment " << i;
    EXPECT_EQ(TPick::PickedTime(), best) << "segment " << i;
    const TVector point = corner(want, 0).Multiply(best_u).Add(corner(want, 1).Multiply(best_v)).Add(
        corner(want, 2).Multiply(best_w));
    EXPECT_EQ(TPick::PickedX(), point.x) << "segment " << i;
    EXPECT_EQ(TPick::PickedZ(), point.z) << "segment " << i;
  }
  EXPECT_GT(hits, 100);
}

class CameraPickTest : public RenderTest {};

TEST_F(CameraPickTest, PicksWhatTheLastRenderShowed) {
  TGlobal::width = TGlobal::height = kRenderSize;
  TGlobal::GraphicsInit();
  CameraPtr camera = TCamera::CreateCamera();
  EXPECT_EQ(camera->CameraPick(32, 32), nullptr);  // never rendered: nothing to unproject

  // A 2 x 2 quad facing the camera 5 ahead: about 13 pixels across in the middle.
  MeshPtr quad = MakeQuadMesh(TVector::Create(-1, -1, 0), TVector::Create(0, 2, 0), TVector::Create(2, 0, 0));
  quad->PositionEntity(0, 0, 5);
  quad->EntityPickMode(kPickPolygons);
  TGlobal::RenderWorld();

  EXPECT_EQ(camera->CameraPick(32, 32), quad);
  EXPECT_NEAR(TPick::PickedZ(), 5.0f, 1e-3f);
  EXPECT_EQ(Apart(PickedNormal(), TVector::Create(0, 0, -1)), "");
  // Pixel 36, 28 (from the top) looks up and right: x and y are both 0.625 there.
  ASSERT_EQ(camera->CameraPick(36, 28), quad);
  EXPECT_NEAR(TPick::PickedX(), 0.625f, 1e-3f);
  EXPECT_NEAR(TPick::PickedY(), 0.625f, 1e-3f);
  EXPECT_EQ(camera->CameraPick(2, 2), nullptr);  // the corner of the view sees past it
  EXPECT_EQ(TPick::CameraPick(nullptr, 32, 32), nullptr);
}

}  // namespace
}  // namespace collision_test
