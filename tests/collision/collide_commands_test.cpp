// The collision update driven through the public commands, over set-ups that once went
// wrong: a mover against itself and against what it carries, a ball sliding down a ramp
// into a wall with and without an octree, a mirrored floor, and a negative radius; each
// under both mesh methods, so that the two methods and the octree agree.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "engine/collision/collision.h"
#include "engine/commands/commands.h"
#include "scenes.h"
#include "support/engine_reset.h"

namespace collision_test {
namespace {

using namespace velmora;
using collision_test::AddQuad;

constexpr float kRest = 1.0f + kVeryCloseDistance;  // a unit ball's distance from what stops it

class CollideCommandsTest : public EngineTest {};

enum class Scene {
  kSelf,            // a type-1 cube under a type 1 -> 1 rule
  kCarriedChild,    // a type-1 pivot carrying a type-2 cube, under 1 -> 2
  kTwoCubes,        // a type-1 cube moving into another type-1 cube at x = 5, under 1 -> 1
  kRampAndWall,     // one mesh: a 45-degree ramp down to +x, and a wall at x = 2 facing -x
  kMirroredFloor,   // a floor at y = 0 scaled (-1, 1, 1): its faces turned down
  kNegativeRadius,  // EntityRadius -1 falling onto a floor
};

struct Case {
  const char* name;
  Scene scene;
  int method;
  float scale;  // of the mesh swept against (ramp and wall)
  bool octree;
  TVector start, step;
  int steps;
  TVector end;  // where the mover ends up
  int impacts;  // in the last update
};

// Builds the scene, moves the mover step by step with an update after each, and returns it.
EntityPtr RunCase(const Case& c) {
  ResetEngine();
  EntityPtr mover;
  switch (c.scene) {
    case Scene::kSelf:
      Collisions(1, 1, c.method, 2);
      mover = CreateCube(nullptr);
      EntityType(mover, 1, 0);
      break;
    case Scene::kCarriedChild: {
      Collisions(1, 2, c.method, 2);
      mover = CreatePivot(nullptr);
      EntityType(mover, 1, 0);
      EntityType(CreateCube(mover), 2, 0);
      break;
    }
    case Scene::kTwoCubes: {
      Collisions(1, 1, c.method, 2);
      mover = CreateCube(nullptr);
      EntityType(mover, 1, 0);
      MeshPtr other = CreateCube(nullptr);
      PositionEntity(other, 5, 0, 0, 0);
      EntityType(other, 1, 0);
      break;
    }
    case Scene::kRampAndWall: {
      Collisions(1, 2, c.method, 2);
      MeshPtr world = CreateMesh(nullptr);
      SurfacePtr s = CreateSurface(world, nullptr);
      AddQuad(s, TVector::Create(-6, 6, -5), TVector::Create(0, 0, 10), TVector::Create(12, -12, 0));
      AddQuad(s, TVector::Create(2, -8, -5), TVector::Create(0, 0, 10), TVector::Create(0, 14, 0));
      ScaleEntity(world, c.scale, c.scale, c.scale, 0);
      EntityType(world, 2, 0);
      if (c.octree) CreateOctree(world, 1, 3);
      break;
    }
    case Scene::kMirroredFloor:
    case Scene::kNegativeRadius: {
      Collisions(1, 2, c.method, 2);
      MeshPtr floor = CreateMesh(nullptr);
      AddQuad(CreateSurface(floor, nullptr), TVector::Create(-10, 0, -10), TVector::Create(0, 0, 20),
           TVector::Create(20, 0, 0));
      if (c.scene == Scene::kMirroredFloor) ScaleEntity(floor, -1, 1, 1, 0);
      EntityType(floor, 2, 0);
      break;
    }
  }
  if (!mover) {
    mover = CreatePivot(nullptr);
    EntityType(mover, 1, 0);
  }
  EntityRadius(mover, c.scene == Scene::kNegativeRadius ? -1.0f : 1.0f, 0, 0);
  PositionEntity(mover, c.start.x, c.start.y, c.start.z, 1);
  ResetEntity(mover);
  for (int i = 0; i < c.steps; ++i) {
    TranslateEntity(mover, c.step.x, c.step.y, c.step.z, 1);
    UpdateWorld(1);
  }
  return mover;
}

TVector WorldPosition(const EntityPtr& e) { return TVector::Create(EntityX(e, 1), EntityY(e, 1), EntityZ(e, 1)); }

TEST_F(CollideCommandsTest, MoversMeetWhatTheyShouldAndTheMethodsAgree) {
  // Ramp and wall: the ball drops onto the ramp, slides down it into the wall and stops
  // in the corner; the wall lies beyond the box of the drop itself. Corner at scale s:
  // x = 2 s - kRest, and kRest above the ramp's plane x + y = 0.
  const auto corner = [](float s) {
    const float x = 2 * s - kRest;
    return TVector::Create(x, kRest * std::sqrt(2.0f) - x, 0);
  };
  const TVector origin = TVector::Create(0, 0, 0), along_x = TVector::Create(0.2f, 0, 0);
  const TVector above = TVector::Create(0.5f, 5, 0.5f), drop = TVector::Create(0, -8, 0);
  const Case cases[] = {
      {"cube under 1 -> 1, method 2", Scene::kSelf, 2, 1, false, origin, along_x, 10, {2, 0, 0}, 0},
      {"cube under 1 -> 1, method 4", Scene::kSelf, 4, 1, false, origin, along_x, 10, {2, 0, 0}, 0},
      {"pivot carrying a cube, method 2", Scene::kCarriedChild, 2, 1, false, origin, along_x, 10, {2, 0, 0}, 0},
      {"pivot carrying a cube, method 4", Scene::kCarriedChild, 4, 1, false, origin, along_x, 10, {2, 0, 0}, 0},
      {"cube into cube, method 2", Scene::kTwoCubes, 2, 1, false, origin, {0.5f, 0, 0}, 10, {4 - kRest, 0, 0}, 1},
      {"cube into cube, method 4", Scene::kTwoCubes, 4, 1, false, origin, {0.5f, 0, 0}, 10, {4 - kRest, 0, 0}, 1},
      {"ramp and wall, method 2", Scene::kRampAndWall, 2, 1, false, {-1, 3, 0}, {0, -9, 0}, 1, corner(1), 1},
      {"ramp and wall, method 2, octree", Scene::kRampAndWall, 2, 1, true, {-1, 3, 0}, {0, -9, 0}, 1, corner(1), 1},
      {"ramp and wall, method 4", Scene::kRampAndWall, 4, 1, false, {-1, 3, 0}, {0, -9, 0}, 1, corner(1), 1},
      {"ramp and wall, method 4, octree", Scene::kRampAndWall, 4, 1, true, {-1, 3, 0}, {0, -9, 0}, 1, corner(1), 1},
      {"ramp and wall x2, method 2", Scene::kRampAndWall, 2, 2, false, {-2, 6, 0}, {0, -18, 0}, 1, corner(2), 1},
      {"ramp and wall x2, method 2, octree", Scene::kRampAndWall, 2, 2, true, {-2, 6, 0}, {0, -18, 0}, 1, corner(2), 1},
      {"ramp and wall x2, method 4", Scene::kRampAndWall, 4, 2, false, {-2, 6, 0}, {0, -18, 0}, 1, corner(2), 1},
      {"ramp and wall x2, method 4, octree", Scene::kRampAndWall, 4, 2, true, {-2, 6, 0}, {0, -18, 0}, 1, corner(2), 1},
      {"mirrored floor, method 2", Scene::kMirroredFloor, 2, 1, false, above, drop, 1, {0.5f, -3, 0.5f}, 0},
      {"mirrored floor, method 4", Scene::kMirroredFloor, 4, 1, false, above, drop, 1, {0.5f, -3, 0.5f}, 0},
      {"negative radius, method 2", Scene::kNegativeRadius, 2, 1, false, above, drop, 1, {0.5f, kRest, 0.5f}, 1},
      {"negative radius, method 4", Scene::kNegativeRadius, 4, 1, false, above, drop, 1, {0.5f, kRest, 0.5f}, 1},
  };
  for (const Case& c : cases) {
    const EntityPtr mover = RunCase(c);
    EXPECT_EQ(Apart(WorldPosition(mover), c.end, 2e-3f), "") << c.name;
    EXPECT_EQ(CountCollisions(mover), c.impacts) << c.name;
    if (c.impacts) {
      EXPECT_NE(CollisionEntity(mover, 1), mover) << c.name;
    }
  }
}

}  // namespace
}  // namespace collision_test
