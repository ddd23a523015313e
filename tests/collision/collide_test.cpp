// The collision update as a program sees it: an ellipsoid falling onto a floor, sliding
// along it and along a wall, stopping in a corner and passing what it should pass; the
// impacts it records; the rules by type pair and method; visibility, unmoved entities,
// ResetEntity; and the faults mended in the sweep (a start touching the floor, octree
// culling of a scaled mesh, the push-back at grazing angles, unusable radii).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>
#include <vector>

#include "engine/collision/collision.h"
#include "engine/collision/octree.h"
#include "engine/scene/entity.h"
#include "engine/scene/global.h"
#include "scenes.h"
#include "support/engine_reset.h"

namespace collision_test {
namespace {

constexpr float kRest = 1.0f + kVeryCloseDistance;  // a unit ball's height above what it rests on
constexpr int kBallType = 1, kWorldType = 2;

class CollideTest : public EngineTest {
 protected:
  static PivotPtr MakeBall(TVector at, float radius = 1, int type = kBallType) {
    PivotPtr ball = TPivot::CreatePivot();
    ball->PositionEntity(at.x, at.y, at.z);
    ball->EntityRadius(radius);
    ball->EntityType(type);
    ball->ResetEntity();  // no sweep from the origin in the first update
    return ball;
  }
  static MeshPtr MakeWorld(MeshPtr mesh, int type = kWorldType) {
    mesh->EntityType(type);
    return mesh;
  }
  // Moves the entity as a program would and runs one world update.
  static TVector MoveAndUpdate(const EntityPtr& e, TVector to) {
    e->PositionEntity(to.x, to.y, to.z);
    TGlobal::UpdateWorld(1);
    return TVector::Create(e->EntityX(1), e->EntityY(1), e->EntityZ(1));
  }
};

TEST_F(CollideTest, FallingOntoAFloorStopsAndRecordsTheImpact) {
  struct Case {
    const char* name;
    int method;
    bool octree;
    bool moved_floor;  // lowered 2, turned 30 degrees, scaled 2
    TVector radii;
  };
  const Case cases[] = {
      {"world space", kSphereToMeshWorld, false, false, {1, 1, 1}},
      {"mesh space", kSphereToMeshLocal, false, false, {1, 1, 1}},
      {"world space, octree", kSphereToMeshWorld, true, false, {1, 1, 1}},
      {"mesh space, octree", kSphereToMeshLocal, true, false, {1, 1, 1}},
      {"world space, moved floor", kSphereToMeshWorld, false, true, {1, 1, 1}},
      {"mesh space, moved floor", kSphereToMeshLocal, false, true, {1, 1, 1}},
      {"mesh space, moved floor, octree", kSphereToMeshLocal, true, true, {1, 1, 1}},
      {"tall ellipsoid", kSphereToMeshWorld, false, false, {1, 2, 0.5f}},
  };
  for (const Case& c : cases) {
    ResetEngine();
    TGlobal::Collisions(kBallType, kWorldType, c.method, 2);
    MeshPtr floor = MakeWorld(MakeFloor(10));
    float floor_y = 0;
    if (c.moved_floor) {
      floor_y = -2;
      floor->PositionEntity(0, floor_y, 0);
      floor->RotateEntity(0, 30, 0);
      floor->ScaleEntity(2, 2, 2);
    }
    if (c.octree) TOctree::CreateOctree(floor, 1, 3);
    PivotPtr ball = MakeBall(TVector::Create(8.5f, 5, -8.5f));  // far from the floor's origin
    ball->EntityRadius(c.radii.x, c.radii.y, c.radii.z);
    const TVector end = MoveAndUpdate(ball, TVector::Create(8.5f, -3, -8.5f));
    EXPECT_EQ(Apart(end, TVector::Create(8.5f, floor_y + kRest * c.radii.y, -8.5f), 1e-3f), "") << c.name;
    ASSERT_EQ(ball->CountCollisions(), 1) << c.name;
    EXPECT_EQ(Apart(TVector::Create(ball->CollisionX(1), ball->CollisionY(1), ball->CollisionZ(1)),
                    TVector::Create(8.5f, floor_y, -8.5f), 1e-3f), "") << c.name;
    EXPECT_EQ(Apart(TVector::Create(ball->CollisionNX(1), ball->CollisionNY(1), ball->CollisionNZ(1)),
                    TVector::Create(0, 1, 0)), "") << c.name;
    EXPECT_EQ(ball->CollisionTime(1), 0.0f) << c.name;
    EXPECT_EQ(ball->CollisionEntity(1), floor) << c.name;
    EXPECT_EQ(ball->CollisionSurface(1), floor->GetSurface(1)) << c.name;
    if (!c.moved_floor) {
      EXPECT_EQ(ball->CollisionTriangle(1), 1) << c.name;  // x > z: the second
    }
    EXPECT_EQ(ball->EntityCollided(kWorldType), floor) << c.name;  // what it ran into
    EXPECT_EQ(floor->EntityCollided(kBallType), ball) << c.name;   // what ran into it
    EXPECT_EQ(ball->CollisionX(2), 0.0f) << c.name;
    EXPECT_EQ(ball->CollisionEntity(0), nullptr) << c.name;
  }
}

TEST_F(CollideTest, SlidesAlongWallsStopsInCornersPassesWhatItShould) {
  TGlobal::Collisions(kBallType, kWorldType, kSphereToMeshWorld, 2);
  const auto floor = [] { return MakeWorld(MakeFloor(10)); };
  const auto wall = [] {  // x = 3, facing -x
    return MakeWorld(MakeQuadMesh(TVector::Create(3, -5, -5), TVector::Create(0, 0, 10), TVector::Create(0, 10, 0)));
  };
  const auto corner = [] {  // the floor and that wall in one mesh
    MeshPtr m = MakeFloor(10);
    AddQuad(m->GetSurface(1), TVector::Create(3, -5, -5), TVector::Create(0, 0, 10), TVector::Create(0, 10, 0));
    return MakeWorld(m);
  };
  struct Case {
    const char* name;
    MeshPtr (*scene)();
    TVector from, to, end;
    int impacts;
  };
  const Case cases[] = {
      {"slides along the floor", +floor, {0, 1.5f, 0}, {4, -1, 0}, {4, kRest, 0}, 1},
      {"slides along the wall", +wall, {0, 1, 0}, {5, 1, 2}, {3 - kRest, 1, 2}, 1},
      {"stops in the corner", +corner, {0, 1.5f, 0}, {5, -2, 0}, {3 - kRest, kRest, 0}, 1},
      {"passes over, clear", +floor, {-4, 1.5f, 0}, {4, 1.5f, 1}, {4, 1.5f, 1}, 0},
      {"passes over, just touching", +floor, {-4, 1, 0}, {4, 1, 1}, {4, 1, 1}, 0},
      {"moves away from the face", +floor, {0, 1.2f, 0}, {0, 3, 0}, {0, 3, 0}, 0},
      {"comes up through the back", +floor, {1, -3, 0}, {1, 3, 0}, {1, 3, 0}, 0},
      {"passes beside the wall", +wall, {0, 1, 7}, {6, 1, 7}, {6, 1, 7}, 0},
  };
  for (const Case& c : cases) {
    for (const EntityPtr& e : TEntity::entity_list) e->EntityType(0);  // only this case's world
    c.scene();
    PivotPtr ball = MakeBall(c.from);
    EXPECT_EQ(Apart(MoveAndUpdate(ball, c.to), c.end, 2e-3f), "") << c.name;
    EXPECT_EQ(ball->CountCollisions(), c.impacts) << c.name;
  }
}

TEST_F(CollideTest, ASlideAcrossManyTrianglesRecordsItsFirstContact) {
  TGlobal::Collisions(kBallType, kWorldType, kSphereToMeshWorld, 2);
  MeshPtr grid = MakeWorld(MakeGrid(12, 6, 0));
  PivotPtr ball = MakeBall(TVector::Create(-3, 1.5f, 0.1f));
  EXPECT_EQ(Apart(MoveAndUpdate(ball, TVector::Create(3, -1, 0.1f)), TVector::Create(3, kRest, 0.1f), 2e-3f), "");
  ASSERT_EQ(ball->CountCollisions(), 1);
  EXPECT_EQ(Apart(TVector::Create(ball->CollisionX(1), ball->CollisionY(1), ball->CollisionZ(1)),
                  TVector::Create(-1.8f, 0, 0.1f), 1e-3f), "");
}

// Whether a ball of ball_type falling onto a floor of floor_type under the rules stops.
bool Stops(std::initializer_list<TCollision> rules, int ball_type, int floor_type) {
  ResetEngine();
  for (const TCollision& r : rules) TGlobal::Collisions(r.src_type, r.dest_type, r.method, r.response);
  MeshPtr floor = MakeFloor(10);
  floor->EntityType(floor_type);
  PivotPtr ball = TPivot::CreatePivot();
  ball->PositionEntity(0.5f, 5, 0.5f);
  ball->EntityRadius(1);
  ball->EntityType(ball_type);
  ball->ResetEntity();
  ball->PositionEntity(0.5f, -3, 0.5f);
  TGlobal::UpdateWorld(1);
  return ball->EntityY(1) > 0 && ball->CountCollisions() > 0;
}

TEST_F(CollideTest, RulesMatchTypePairsAndMethods) {
  struct Case {
    const char* name;
    std::initializer_list<TCollision> rules;
    int ball_type, floor_type;
    bool stops;
  };
  const Case cases[] = {
      {"1 -> 2 by method 2", {{1, 2, 2, 0}}, 1, 2, true},
      {"1 -> 2 by method 4", {{1, 2, 4, 0}}, 1, 2, true},
      {"another pair's rule", {{1, 2, 2, 0}, {3, 4, 2, 0}}, 1, 4, false},
      {"the other direction", {{2, 1, 2, 0}}, 1, 2, false},
      {"method 1 moves nothing", {{1, 2, 1, 0}}, 1, 2, false},
      {"method 3", {{1, 2, 3, 0}}, 1, 2, false},
      {"method 5", {{1, 2, 5, 0}}, 1, 2, false},
      {"no rules", {}, 1, 2, false},
      {"floor of type 0", {{1, 0, 2, 0}}, 1, 0, false},
      {"ball of type 0", {{0, 2, 2, 0}}, 0, 2, false},
  };
  for (const Case& c : cases) EXPECT_EQ(Stops(c.rules, c.ball_type, c.floor_type), c.stops) << c.name;
}

TEST_F(CollideTest, EachRuleAndDestinationSweepsInTurn) {
  // A floor of type 2 at y 0 (swept in world space) and one of type 3 at y 2 (in mesh
  // space). Each sweep starts where the one before left the ball: with the low floor's
  // rule first both are hit; with the high floor's first, the ball never reaches the low.
  struct Case {
    const char* name;
    int first_type, second_type;
    int impacts;
  };
  const Case cases[] = {{"low floor's rule first", 2, 3, 2}, {"high floor's rule first", 3, 2, 1},
                        {"the low floor's rule twice", 2, 2, 1}};
  for (const Case& c : cases) {
    ResetEngine();
    TGlobal::Collisions(kBallType, c.first_type, c.first_type == 2 ? kSphereToMeshWorld : kSphereToMeshLocal, 2);
    TGlobal::Collisions(kBallType, c.second_type, c.second_type == 2 ? kSphereToMeshWorld : kSphereToMeshLocal, 2);
    MeshPtr low = MakeWorld(MakeFloor(10), 2);
    MeshPtr high = MakeWorld(MakeFloor(10), 3);
    high->PositionEntity(0, 2, 0);
    PivotPtr ball = MakeBall(TVector::Create(0.5f, 5, 0.5f));
    EXPECT_NEAR(MoveAndUpdate(ball, TVector::Create(0.5f, -3, 0.5f)).y, (c.first_type == 3 || c.second_type == 3 ? 2 : 0) + kRest, 1e-3f)
        << c.name;
    ASSERT_EQ(ball->CountCollisions(), c.impacts) << c.name;
    EXPECT_EQ(ball->CollisionEntity(1), c.first_type == 2 ? low : high) << c.name;
    if (c.impacts == 2) {
      EXPECT_EQ(ball->CollisionEntity(2), high) << c.name;
    }
  }
}

TEST_F(CollideTest, HiddenUnmovedAndResetEntitiesAreLeftAlone) {
  TGlobal::Collisions(kBallType, kWorldType, kSphereToMeshWorld, 2);
  MeshPtr floor = MakeWorld(MakeFloor(10));
  PivotPtr ball = MakeBall(TVector::Create(0, 5, 0));
  ASSERT_NEAR(MoveAndUpdate(ball, TVector::Create(0, -3, 0)).y, kRest, 1e-3f);
  ASSERT_EQ(ball->CountCollisions(), 1);

  // Not moved since: not swept, even with the floor now risen into it.
  floor->PositionEntity(0, 0.5f, 0);
  TGlobal::UpdateWorld(1);
  EXPECT_NEAR(ball->EntityY(1), kRest, 1e-3f);
  EXPECT_EQ(ball->CountCollisions(), 0);  // emptied at its turn all the same
  floor->PositionEntity(0, 0, 0);

  // Hidden, itself or through the floor's parent: no sweep, but the previous position moves on.
  ball->HideEntity();
  EXPECT_NEAR(MoveAndUpdate(ball, TVector::Create(0, -3, 0)).y, -3.0f, 1e-6f);
  EXPECT_EQ(ball->prev_y, -3.0f);
  ball->ShowEntity();
  PivotPtr parent = TPivot::CreatePivot();
  floor->EntityParent(parent);
  parent->HideEntity();
  ball->PositionEntity(0, 5, 0);
  ball->ResetEntity();
  EXPECT_NEAR(MoveAndUpdate(ball, TVector::Create(0, -3, 0)).y, -3.0f, 1e-6f);
  parent->ShowEntity();

  // ResetEntity after placing: moved without a sweep. Without it, the sweep runs from
  // where the last update left the ball.
  ball->PositionEntity(0, 5, 0);
  ball->ResetEntity();
  EXPECT_NEAR(MoveAndUpdate(ball, TVector::Create(0, -3, 0)).y, kRest, 1e-3f);
  ball->PositionEntity(0, -3, 0);
  ball->ResetEntity();
  EXPECT_EQ(ball->CountCollisions(), 0);
  EXPECT_NEAR(MoveAndUpdate(ball, TVector::Create(0, -4, 0)).y, -4.0f, 1e-6f);  // under the floor now

  TGlobal::ClearCollisions();
  ball->PositionEntity(0, 5, 0);
  ball->ResetEntity();
  EXPECT_NEAR(MoveAndUpdate(ball, TVector::Create(0, -3, 0)).y, -3.0f, 1e-6f);
}

TEST_F(CollideTest, AStartOnOrInTheFloorIsHeldNotDropped) {
  // A sweep whose contact lies at its very start (the ball standing exactly on the floor,
  // or sunk into it) is resolved like any other, rather than let through the floor.
  TGlobal::Collisions(kBallType, kWorldType, kSphereToMeshWorld, 2);
  MakeWorld(MakeFloor(10));
  for (const float start : {1.0f, 0.5f}) {
    PivotPtr ball = MakeBall(TVector::Create(0.5f, start, -0.5f));
    const TVector end = MoveAndUpdate(ball, TVector::Create(0.5f, -3, -0.5f));
    EXPECT_GE(end.y, start) << "from " << start;
    EXPECT_NEAR(end.y, start + kVeryCloseDistance, 1e-4f) << "from " << start;
    EXPECT_EQ(ball->CountCollisions(), 1) << "from " << start;
    ball->FreeEntity();
  }
}

TEST_F(CollideTest, OctreeOfAScaledDownMeshStillMeetsTheSweep) {
  // World-space sweeps are culled by a mesh-space box; around a mesh scaled 0.5 it must
  // grow by twice the radius, or the floor's cell falls outside it.
  TGlobal::Collisions(kBallType, kWorldType, kSphereToMeshWorld, 2);
  for (const bool octree : {false, true}) {
    ResetEngine();
    TGlobal::Collisions(kBallType, kWorldType, kSphereToMeshWorld, 2);
    MeshPtr floor = MakeWorld(MakeFloor(10));
    floor->ScaleEntity(0.5f, 0.5f, 0.5f);
    if (octree) TOctree::CreateOctree(floor, 1, 2);
    PivotPtr ball = MakeBall(TVector::Create(0.5f, 5, -0.5f));
    EXPECT_NEAR(MoveAndUpdate(ball, TVector::Create(0.5f, 0.6f, -0.5f)).y, kRest, 1e-3f) << "octree " << octree;
  }
}

TEST_F(CollideTest, OctreeSweepsFollowTheMeshAfterItMovesOrIsRebuilt) {
  // Each sweep against `grid` comes after one against it as it was; the same sweep
  // against a twin that was never swept must give the same end, bit for bit.
  for (const int method : {kSphereToMeshWorld, kSphereToMeshLocal}) {
    ResetEngine();
    TGlobal::Collisions(kBallType, kWorldType, method, 2);
    MeshPtr grid = MakeWorld(MakeGrid(16, 8, 0.6f)), twin = MakeWorld(MakeGrid(16, 8, 0.6f));
    PivotPtr ball = MakeBall(TVector::Create(0, 0, 0));
    auto sweep = [&](const MeshPtr& against) {
      (against == grid ? twin : grid)->HideEntity();
      against->ShowEntity();
      ball->PositionEntity(1.1f, 4, 0.7f);
      ball->ResetEntity();
      return MoveAndUpdate(ball, TVector::Create(2.3f, -2, 1.6f));
    };
    auto raise = [](const MeshPtr& m) {
      const SurfacePtr s = m->GetSurface(1);
      for (int v = 0; v < s->CountVertices(); ++v)
        s->VertexCoords(v, s->VertexX(v), s->VertexY(v) + 0.5f, s->VertexZ(v));
    };
    TOctree::CreateOctree(grid, 2, 3);
    sweep(grid);
    for (const MeshPtr& m : {grid, twin}) m->TurnEntity(0, 25, 0), m->MoveEntity(0.3f, 0.2f, -0.4f);
    TOctree::CreateOctree(twin, 2, 3);
    const TVector moved = sweep(grid), moved_twin = sweep(twin);
    EXPECT_EQ(std::memcmp(&moved, &moved_twin, sizeof moved), 0) << "moved mesh, method " << method;
    sweep(grid);
    raise(grid), raise(twin);
    // Built twice, so that the last tree may land where a freed one was.
    TOctree::CreateOctree(grid, 2, 3), TOctree::CreateOctree(grid, 2, 3), TOctree::CreateOctree(twin, 2, 3);
    const TVector rebuilt = sweep(grid), rebuilt_twin = sweep(twin);
    EXPECT_NE(std::memcmp(&rebuilt, &moved, sizeof moved), 0) << "method " << method;
    EXPECT_EQ(std::memcmp(&rebuilt, &rebuilt_twin, sizeof rebuilt), 0) << "rebuilt tree, method " << method;
  }
}

// A leaf's triangles are screened several at a time and only those the screen passes
// get the full test; the sweep must end as the full test run over the leaf's source
// triangles one by one (each once, whole, in the mesh's order) ends it, bit for bit:
// steep and level moves, starts clear of and sunk into the surface (level moves over the
// floor take the parallel path), and leaves of every size.
TEST_F(CollideTest, LeafSweepsMatchTheTriangleTestOneByOne) {
  unsigned seed = 7;
  auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return float((seed >> 8) & 0xffff) / 65535.0f;
  };
  for (const MeshPtr& mesh : {MakeGrid(12, 6, 0.8f), MakeFloor(6)}) {
    TOctree::CreateOctree(mesh, 3, 3);
    std::vector<const TLeafPolygons*> leaves;
    auto collect = [&leaves](const TOctree& node, auto& self) -> void {
      if (node.IsLeaf()) leaves.push_back(&node.polygons);
      for (const TOctree& child : node.children) self(child, self);
    };
    collect(*mesh->octree, collect);
    int found = 0;
    for (int i = 0; i < 400; ++i) {
      TCollisionPacket got;
      got.method = kSphereToMeshLocal;
      got.mesh = mesh.get();
      // Powers of two, so that the test's divisions equal the sweep's scaling.
      got.divisor = i % 2 ? TVector::Create(1, 1, 1) : TVector::Create(2, 0.5f, 1);
      const bool level = i % 3 == 0;
      got.base_point = TVector::Create(next() * 8 - 4, level ? next() * 2.4f - 1.2f : next() * 4 - 1, next() * 8 - 4);
      got.velocity = TVector::Create(next() * 6 - 3, level ? 0.0f : -1 - next() * 4, next() * 6 - 3);
      got.normalized_velocity = got.velocity;
      got.normalized_velocity.Normalize();
      TCollisionPacket want = got;
      for (const TLeafPolygons* leaf : leaves) TCollision::PolysCheckCollision(got, *leaf);
      const TVector& d = want.divisor;
      auto scaled = [&d](const TVector& v) { return TVector::Create(v.x / d.x, v.y / d.y, v.z / d.z); };
      for (const TLeafPolygons* leaf : leaves) {
        std::set<uint32_t> sources;
        for (const TPolygonPiece& p : leaf->pieces) sources.insert(leaf->Triangles()->Number(p));
        for (const uint32_t number : sources) {
          const TPolygonPiece& p = leaf->Triangles()->whole[number];
          if (TCollision::CheckTriangle(want, scaled(p.vertices[0]), scaled(p.vertices[1]), scaled(p.vertices[2])))
            want.surface = leaf->Surface(p), want.triangle = p.triangle;
        }
      }
      ASSERT_EQ(got.found_collision, want.found_collision) << "sweep " << i;
      if (!want.found_collision) continue;
      ++found;
      EXPECT_EQ(std::memcmp(&got.nearest_distance, &want.nearest_distance, sizeof(float)), 0) << "sweep " << i;
      EXPECT_EQ(std::memcmp(&got.intersection_point, &want.intersection_point, sizeof(TVector)), 0) << "sweep " << i;
      EXPECT_EQ(got.surface, want.surface) << "sweep " << i;
      EXPECT_EQ(got.triangle, want.triangle) << "sweep " << i;
    }
    EXPECT_GT(found, 150);
  }
}

TEST_F(CollideTest, AFreedMeshKeepsNoSurfaceAliveAfterOctreeSweeps) {
  // Sweeps against an octree keep prepared triangles between updates; freeing the mesh
  // must still free its surfaces (and so their brushes' textures).
  TGlobal::Collisions(kBallType, kWorldType, kSphereToMeshWorld, 2);
  MeshPtr grid = MakeWorld(MakeGrid(16, 8, 0.6f));
  TOctree::CreateOctree(grid, 2, 3);
  PivotPtr ball = MakeBall(TVector::Create(1.1f, 4, 0.7f));
  MoveAndUpdate(ball, TVector::Create(2.3f, -2, 1.6f));
  std::weak_ptr<TSurface> surface = grid->GetSurface(1);
  ball->FreeEntity();  // its impacts name the surface
  ball.reset();
  grid->FreeEntity();
  grid.reset();
  EXPECT_TRUE(surface.expired());
}

TEST_F(CollideTest, GrazingContactDoesNotThrowTheBallBackThroughAWall) {
  // Backing off a floor along a nearly level move takes 0.005 / cos(angle): 16 units
  // here, back past the start and through the slab behind it. The push goes along the
  // floor's normal instead, and the ball slides on to its target.
  TGlobal::Collisions(kBallType, kWorldType, kSphereToMeshWorld, 2);
  MeshPtr world = MakeFloor(30);
  AddQuad(world->GetSurface(1), TVector::Create(-1.5f, -5, -5), TVector::Create(0, 0, 10), TVector::Create(0, 10, 0));
  AddQuad(world->GetSurface(1), TVector::Create(-1.2f, -5, -5), TVector::Create(0, 10, 0), TVector::Create(0, 0, 10));
  MakeWorld(world);
  PivotPtr ball = MakeBall(TVector::Create(0, 1.003f, 0));
  EXPECT_EQ(Apart(MoveAndUpdate(ball, TVector::Create(20, 0.997f, 0)), TVector::Create(20, kRest, 0), 1e-3f), "");
}

TEST_F(CollideTest, UnusableSweepsLeaveTheEntityWhereItWasPut) {
  TGlobal::Collisions(kBallType, kWorldType, kSphereToMeshWorld, 2);
  TGlobal::Collisions(kBallType, 3, kSphereToMeshLocal, 2);
  MakeWorld(MakeFloor(10));
  MeshPtr flat = MakeWorld(MakeFloor(10), 3);
  flat->ScaleEntity(0, 1, 1);  // a mesh of no width: method 4 cannot divide by its scale
  const float nan = std::nanf("");
  struct Case {
    const char* name;
    TVector radii, to;
  };
  const Case cases[] = {{"no radius yet", {0, 0, 0}, {0.5f, -3, 0.5f}},
                        {"no radius on one axis", {1, 1, 0}, {0.5f, -3, 0.5f}},
                        {"radius of no value", {nan, 1, 1}, {0.5f, -3, 0.5f}},
                        {"target of no value", {1, 1, 1}, {nan, -3, 0.5f}}};
  for (const Case& c : cases) {
    PivotPtr ball = MakeBall(TVector::Create(0.5f, 5, 0.5f));
    ball->radius_x = c.radii.x, ball->radius_y = c.radii.y, ball->radius_z = c.radii.z;
    const TVector end = MoveAndUpdate(ball, c.to);
    EXPECT_EQ(ball->CountCollisions(), 0) << c.name;
    EXPECT_EQ(end.y, -3.0f) << c.name;
    ball->FreeEntity();
  }
}

TEST_F(CollideTest, MovingSpheresMeetWhenTheirPathsCross) {
  struct Case {
    TVector a_from, a_to, b_from, b_to;
    int meet;
  };
  const Case cases[] = {{{0, 0, 0}, {10, 0, 0}, {10, 0, 0}, {0, 0, 0}, 1},   // head on
                        {{0, 0, 0}, {1, 0, 0}, {1.5f, 0, 0}, {3, 0, 0}, 1},   // overlapping at the start
                        {{0, 0, 0}, {-5, 0, 0}, {5, 0, 0}, {9, 0, 0}, 0},     // moving apart
                        {{0, 0, 0}, {10, 0, 0}, {5, 3, 0}, {5, 3, 0}, 0},     // passing 3 apart
                        {{0, 0, 0}, {1, 0, 0}, {10, 0, 0}, {9, 0, 0}, 0}};    // too slow to meet
  for (const Case& c : cases) {
    PivotPtr a = MakeBall(c.a_from), b = MakeBall(c.b_from);
    a->PositionEntity(c.a_to.x, c.a_to.y, c.a_to.z);
    b->PositionEntity(c.b_to.x, c.b_to.y, c.b_to.z);
    EXPECT_EQ(TCollision::SphereToSphere(*a, *b), c.meet) << c.a_from.x << " " << c.b_from.x;
    a->FreeEntity(), b->FreeEntity();
  }
}

}  // namespace
}  // namespace collision_test
