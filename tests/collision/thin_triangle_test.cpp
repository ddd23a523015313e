// Collision on long thin triangles, through the public commands: a ball dropped onto a
// road (a quad hundreds to thousands of times longer than wide, split along its
// diagonal) is held on it wherever it lands, whichever corner each triangle lists first,
// with and without an octree, at every lane width; a ball rolled down a road stays on it;
// a triangle of no area is met only by its edges and corners; and the contact a sweep
// records lies on the triangle it names, for sunk starts too.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "engine/collision/collision.h"
#include "engine/math/lanes.h"
#include "engine/commands/commands.h"
#include "scenes.h"
#include "support/engine_reset.h"

namespace collision_test {
namespace {

using namespace velmora;

constexpr int kBallType = 1, kRoadType = 2;

class ThinTriangleTest : public EngineTest {
 protected:
  void TearDown() override {
    SetLaneWidth(setting_);
    EngineTest::TearDown();
  }
  const LaneWidth setting_ = CurrentLaneWidth();
};

// The quad (0,0,0) (L,0,0) (L,0,W) (0,0,W) facing up, as triangles (0,2,1) and (0,3,2),
// each listed from its corner `first` (0, 1 or 2) of those.
MeshPtr MakeRoad(float length, float width, int first) {
  const MeshPtr road = CreateMesh(nullptr);
  const SurfacePtr s = CreateSurface(road, nullptr);
  const int v[4] = {AddVertex(s, 0, 0, 0, 0, 0, 0), AddVertex(s, length, 0, 0, 0, 0, 0),
                    AddVertex(s, length, 0, width, 0, 0, 0), AddVertex(s, 0, 0, width, 0, 0, 0)};
  for (const std::array<int, 3>& t : {std::array<int, 3>{0, 2, 1}, std::array<int, 3>{0, 3, 2}})
    AddTriangle(s, v[t[size_t(first)]], v[t[size_t(first + 1) % 3]], v[t[size_t(first + 2) % 3]]);
  EntityType(road, kRoadType, 0);
  EntityPickMode(road, 2, 0);
  return road;
}

PivotPtr MakeBall(float radius, float x, float y, float z) {
  const PivotPtr ball = CreatePivot(nullptr);
  EntityType(ball, kBallType, 0);
  EntityRadius(ball, radius, 0, 0);
  PositionEntity(ball, x, y, z, 1);
  ResetEntity(ball);
  return ball;
}

// "" when every impact of the ball lies on the triangle it names, else what is off.
std::string ImpactsOffTriangles(const EntityPtr& ball) {
  std::string off;
  for (int i = 1; i <= CountCollisions(ball); ++i) {
    const EntityPtr mesh = CollisionEntity(ball, i);
    const TVector p = TVector::Create(CollisionX(ball, i), CollisionY(ball, i), CollisionZ(ball, i));
    const OffTriangle o = PointOffTriangle(std::static_pointer_cast<TMesh>(mesh), CollisionSurface(ball, i),
                                           CollisionTriangle(ball, i), p);
    if (!(o.distance <= o.allowed))
      off += " impact " + std::to_string(i) + " lies " + std::to_string(o.distance) + " off triangle " +
             std::to_string(CollisionTriangle(ball, i)) + ";";
  }
  return off;
}

struct Road {
  float length, width, radius;
};
// Sharp corners from 5.7 down to 0.006 degrees.
const Road kRoads[] = {{100, 10, 1}, {1000, 1, 0.1f}, {4000, 4, 0.25f}, {100, 0.12f, 0.01f}, {10000, 1, 0.1f}};

// Where the ball is dropped, as fractions of the road's length and width, plus a
// multiple of the radius: inside each triangle, on the diagonal, and within the radius
// of each edge of the quad.
struct Drop {
  const char* name;
  float along, across;    // fractions of length, width
  float off_x, off_z;  // in radii
};
const Drop kDrops[] = {
    {"inside the near triangle", 0.9f, 0.3f, 0, 0},  {"inside the far triangle", 0.1f, 0.7f, 0, 0},
    {"on the diagonal", 0.5f, 0.5f, 0, 0},           {"near the long edge z = 0", 0.6f, 0, 0, 0.5f},
    {"near the long edge z = W", 0.4f, 1, 0, -0.5f}, {"near the end x = 0", 0, 0.5f, 0.5f, 0},
    {"near the end x = L", 1, 0.5f, -0.5f, 0},
};

TEST_F(ThinTriangleTest, ABallDroppedOnARoadIsHeldWhereverItLands) {
  for (const LaneWidth width : {kLaneWidthScalar, kLaneWidthFour, kLaneWidthEight}) {
    SetLaneWidth(width);
    for (const Road& road : kRoads) {
      for (const Drop& drop : kDrops) {
        for (int first = 0; first < 3; ++first) {
          for (const bool octree : {false, true}) {
            ResetEngine();
            Collisions(kBallType, kRoadType, 2, 2);
            const MeshPtr mesh = MakeRoad(road.length, road.width, first);
            if (octree) CreateOctree(mesh, 1, 4);
            const float x = drop.along * road.length + drop.off_x * road.radius;
            const float z = drop.across * road.width + drop.off_z * road.radius;
            const PivotPtr ball = MakeBall(road.radius, x, 2, z);
            TranslateEntity(ball, 0, -3, 0, 1);
            UpdateWorld(1);
            const std::string at = std::to_string(road.length) + " x " + std::to_string(road.width) + ", " +
                                   drop.name + ", first corner " + std::to_string(first) +
                                   (octree ? ", octree" : "") + ", " + std::to_string(int(width)) + " lanes";
            EXPECT_NEAR(EntityY(ball, 1), road.radius * (1 + kVeryCloseDistance), 1e-3f * road.radius) << at;
            ASSERT_EQ(CountCollisions(ball), 1) << at;
            EXPECT_NEAR(CollisionY(ball, 1), 0, 1e-6f) << at;
            EXPECT_EQ(ImpactsOffTriangles(ball), "") << at;
            // The pick down the same line meets the face at y 0.
            ASSERT_EQ(LinePick(x, 2, z, 0, -3, 0, 0), mesh) << at;
            EXPECT_EQ(PickedY(), 0.0f) << at;
          }
        }
      }
    }
  }
}

// A ball rolled the length of a road, pressed down a little each update, crosses the
// diagonal and stays on the road, under both mesh methods.
TEST_F(ThinTriangleTest, ABallRolledDownARoadStaysOnIt) {
  for (const float length : {1000.0f, 10000.0f}) {
    for (const int method : {2, 4}) {
      ResetEngine();
      Collisions(kBallType, kRoadType, method, 2);
      MakeRoad(length, 1, 0);
      constexpr float kRadius = 0.25f;
      constexpr int kUpdates = 400;
      const PivotPtr ball = MakeBall(kRadius, 1, kRadius * (1 + kVeryCloseDistance), 0.5f);
      const float step = (length - 2) / kUpdates;
      for (int u = 1; u <= kUpdates; ++u) {
        TranslateEntity(ball, step, -0.05f, 0, 1);
        UpdateWorld(1);
        const std::string at =
            std::to_string(length) + " long, method " + std::to_string(method) + ", update " + std::to_string(u);
        ASSERT_NEAR(EntityY(ball, 1), kRadius * (1 + kVeryCloseDistance), 1e-3f) << at;
        ASSERT_EQ(CountCollisions(ball), 1) << at;
        ASSERT_EQ(ImpactsOffTriangles(ball), "") << at;
      }
      EXPECT_NEAR(EntityX(ball, 1), length - 1, 1e-3f * length) << length;
    }
  }
}

// A ball that starts sunk into a floor and moves along it while pressing into it slides
// on, however deep it starts, also with its centre on the floor itself.
TEST_F(ThinTriangleTest, ABallSunkIntoAFloorSlidesAlongIt) {
  const struct {
    float y;
    TVector move;
    int updates;
  } cases[] = {{0.5f, {0.5f, -0.1f, 0}, 5}, {0.5f, {0.5f, -0.1f, 0.5f}, 5}, {0.9f, {0.2f, -0.01f, 0}, 5},
               {0, {0.3f, -0.3f, 0}, 20}};
  for (const auto& c : cases) {
    for (const bool octree : {false, true}) {
      ResetEngine();
      Collisions(kBallType, kRoadType, 2, 2);
      const MeshPtr floor = MakeRoad(40, 40, 0);
      if (octree) CreateOctree(floor, 1, 4);
      const PivotPtr ball = MakeBall(1, 10, c.y, 10);
      for (int u = 0; u < c.updates; ++u) {
        TranslateEntity(ball, c.move.x, c.move.y, c.move.z, 1);
        UpdateWorld(1);
      }
      const std::string at = "sunk to " + std::to_string(c.y) + (octree ? ", octree" : "");
      EXPECT_NEAR(EntityX(ball, 1), 10 + c.updates * c.move.x, 1e-3f) << at;
      EXPECT_NEAR(EntityZ(ball, 1), 10 + c.updates * c.move.z, 1e-3f) << at;
      EXPECT_GE(EntityY(ball, 1), c.y) << at;
      EXPECT_EQ(ImpactsOffTriangles(ball), "") << at;
    }
  }
}

// A triangle whose corners lie on one line, exactly or to rounding, has no face: a ball
// falling onto its middle meets its edge and rests on it, one falling beside it passes.
TEST_F(ThinTriangleTest, ATriangleOfNoAreaIsMetByItsEdgesAndCorners) {
  struct Case {
    const char* name;
    TVector a, b, c;
    float x, z;  // the ball's drop
    bool met;
  };
  // The third corner is the rounded midpoint of the first two.
  const TVector a = {-0x1.3a2b4cp+1f, 0, -0x1.7f0e2ap+0f}, b = {0x1.c14a06p+1f, 0, 0x1.0b3c1ep+1f};
  const TVector mid = {(a.x + b.x) / 2, 0, (a.z + b.z) / 2};
  const Case kCases[] = {
      {"zero area, onto its middle", {-2, 0, 0}, {2, 0, 0}, {0.5f, 0, 0}, 0.25f, 0, true},
      {"zero area, onto a corner", {-2, 0, 0}, {2, 0, 0}, {0.5f, 0, 0}, 2, 0, true},
      {"zero area, beside it", {-2, 0, 0}, {2, 0, 0}, {0.5f, 0, 0}, 0.25f, 1.2f, false},
      {"two equal corners", {-2, 0, 0}, {2, 0, 0}, {2, 0, 0}, -1, 0, true},
      {"collinear to rounding, onto its middle", a, b, mid, mid.x, mid.z, true},
      {"collinear to rounding, beside it", a, b, mid, mid.x + 3, mid.z, false},
  };
  for (const Case& c : kCases) {
    for (const bool octree : {false, true}) {
      ResetEngine();
      Collisions(kBallType, kRoadType, 2, 2);
      const MeshPtr mesh = CreateMesh(nullptr);
      const SurfacePtr s = CreateSurface(mesh, nullptr);
      AddTriangle(s, AddVertex(s, c.a.x, c.a.y, c.a.z, 0, 0, 0), AddVertex(s, c.b.x, c.b.y, c.b.z, 0, 0, 0),
                  AddVertex(s, c.c.x, c.c.y, c.c.z, 0, 0, 0));
      EntityType(mesh, kRoadType, 0);
      if (octree) CreateOctree(mesh, 1, 3);
      const PivotPtr ball = MakeBall(0.5f, c.x, 3, c.z);
      TranslateEntity(ball, 0, -5, 0, 1);
      UpdateWorld(1);
      const std::string at = std::string(c.name) + (octree ? ", octree" : "");
      ASSERT_EQ(CountCollisions(ball), c.met ? 1 : 0) << at;
      if (!c.met) continue;
      EXPECT_NEAR(EntityY(ball, 1), 0.5f * (1 + kVeryCloseDistance), 1e-3f) << at;
      EXPECT_NEAR(CollisionY(ball, 1), 0, 1e-6f) << at;
      EXPECT_EQ(ImpactsOffTriangles(ball), "") << at;
    }
  }
}

}  // namespace
}  // namespace collision_test
