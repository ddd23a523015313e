// Every lane width the screens can run at gives the same picks and collisions, bit for
// bit, through the public commands: the scalar tests alone, four lanes, and eight where
// the processor has them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/commands/commands.h"
#include "engine/math/lanes.h"
#include "scenes.h"
#include "support/engine_reset.h"

namespace collision_test {
namespace {

using namespace velmora;

class LaneWidthTest : public EngineTest {
 protected:
  void TearDown() override {
    SetLaneWidth(setting_);
    EngineTest::TearDown();
  }
  const LaneWidth setting_ = CurrentLaneWidth();
};

// What the scene's picks and one collision update give, value by value, with a label
// per value for the failure message.
struct Record {
  std::vector<float> values;
  std::vector<std::string> labels;
  void Add(const std::string& label, float v) { values.push_back(v), labels.push_back(label); }
};

// Which of the scene's meshes an entity is: 0 none, 1 the plain grid, 2 the one with an
// octree, 3 anything else.
float Which(const EntityPtr& e, const MeshPtr& plain, const MeshPtr& tree) {
  return !e ? 0.0f : e == plain ? 1.0f : e == tree ? 2.0f : 3.0f;
}

// A rippled grid, turned and scaled, twice side by side, the second with an octree;
// segments picked across both, and balls (spheres under method 2, ellipsoids under
// method 4) moved into them from above and from starts sunk below the surface.
Record RunScene(int& pick_hits, int& impacts) {
  ResetEngine();
  MeshPtr plain = MakeGrid(24, 6, 0.8f), tree = MakeGrid(24, 6, 0.8f);
  for (const MeshPtr& m : {plain, tree}) {
    RotateEntity(m, 8, 25, -5, 0);
    ScaleEntity(m, 1.5f, 1, 1.25f, 0);
    EntityPickMode(m, 2, 0);
    EntityType(m, 2, 0);
  }
  PositionEntity(tree, 20, 0, 0, 0);
  CreateOctree(tree, 4, 5);
  Collisions(1, 2, 2, 2);
  Collisions(3, 2, 4, 2);

  unsigned seed = 4242;
  auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return float((seed >> 8) & 0xffff) / 65535.0f;
  };
  Record r;
  pick_hits = impacts = 0;
  for (int i = 0; i < 300; ++i) {
    const float x = next() * 32 - 6, y = 3 + next() * 3, z = next() * 16 - 8;
    LinePick(x, y, z, next() * 6 - 3, -6 - next() * 4, next() * 6 - 3, 0);
    const std::string at = "pick " + std::to_string(i);
    pick_hits += PickedEntity() != nullptr;
    r.Add(at + " entity", Which(PickedEntity(), plain, tree));
    r.Add(at + " time", PickedTime());
    r.Add(at + " x", PickedX()), r.Add(at + " y", PickedY()), r.Add(at + " z", PickedZ());
    r.Add(at + " nx", PickedNX()), r.Add(at + " ny", PickedNY()), r.Add(at + " nz", PickedNZ());
    r.Add(at + " triangle", float(PickedTriangle()));
  }

  std::vector<PivotPtr> balls;
  for (int i = 0; i < 80; ++i) {
    PivotPtr ball = CreatePivot(nullptr);
    const bool ellipsoid = i % 2;
    EntityType(ball, ellipsoid ? 3 : 1, 0);
    EntityRadius(ball, ellipsoid ? 0.7f : 0.5f, ellipsoid ? 0.4f : 0, 0);
    const bool sunk = i % 4 < 2;
    PositionEntity(ball, (i % 8 < 4 ? 0 : 20) + next() * 12 - 6, sunk ? next() * 0.6f - 0.3f : 2 + next() * 2,
                   next() * 12 - 6, 1);
    ResetEntity(ball);
    TranslateEntity(ball, next() * 6 - 3, sunk ? next() * 2 - 1 : -3 - next() * 3, next() * 6 - 3, 1);
    balls.push_back(ball);
  }
  UpdateWorld(1);
  for (size_t i = 0; i < balls.size(); ++i) {
    const PivotPtr& ball = balls[i];
    const std::string at = "ball " + std::to_string(i);
    r.Add(at + " x", EntityX(ball, 1)), r.Add(at + " y", EntityY(ball, 1)), r.Add(at + " z", EntityZ(ball, 1));
    const int count = CountCollisions(ball);
    impacts += count;
    r.Add(at + " impacts", float(count));
    for (int k = 1; k <= count; ++k) {
      const std::string impact = at + " impact " + std::to_string(k);
      r.Add(impact + " entity", Which(CollisionEntity(ball, k), plain, tree));
      r.Add(impact + " x", CollisionX(ball, k)), r.Add(impact + " y", CollisionY(ball, k));
      r.Add(impact + " z", CollisionZ(ball, k));
      r.Add(impact + " nx", CollisionNX(ball, k)), r.Add(impact + " ny", CollisionNY(ball, k));
      r.Add(impact + " nz", CollisionNZ(ball, k));
      r.Add(impact + " triangle", float(CollisionTriangle(ball, k)));
    }
  }
  return r;
}

TEST_F(LaneWidthTest, EveryWidthPicksAndCollidesAsTheScalarTests) {
  ASSERT_EQ(SetLaneWidth(kLaneWidthScalar), kLaneWidthScalar);
  int pick_hits = 0, impacts = 0;
  const Record want = RunScene(pick_hits, impacts);
  EXPECT_GT(pick_hits, 150);
  EXPECT_GT(impacts, 40);
  for (LaneWidth width : {kLaneWidthFour, kLaneWidthEight}) {
    if (width > WidestLaneWidth()) continue;
    ASSERT_EQ(SetLaneWidth(width), width);
    const Record got = RunScene(pick_hits, impacts);
    ASSERT_EQ(got.labels, want.labels) << width << " lanes";
    for (size_t i = 0; i < want.values.size(); ++i) {
      ASSERT_EQ(std::memcmp(&got.values[i], &want.values[i], sizeof(float)), 0)
          << width << " lanes, " << want.labels[i] << ": " << got.values[i] << " against " << want.values[i];
    }
  }
}

}  // namespace
}  // namespace collision_test
