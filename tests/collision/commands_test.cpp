// The picking and octree commands hand their arguments to TPick and TOctree unchanged
// and hand back what those leave; null handles do nothing.
#include <gtest/gtest.h>

#include "engine/collision/octree.h"
#include "engine/collision/pick.h"
#include "engine/commands/commands.h"
#include "platform/runtime.h"
#include "scenes.h"
#include "support/engine_reset.h"

namespace collision_test {
namespace {

class PickCommandsTest : public EngineTest {};

TEST_F(PickCommandsTest, CommandsReadWhatThePickLeft) {
  MeshPtr floor = MakeFloor(2);
  velmora::EntityPickMode(floor, kPickPolygons, 0);
  velmora::CreateOctree(floor, 1, 2);
  ASSERT_NE(floor->octree, nullptr);
  EXPECT_EQ(velmora::LinePick(1, 3, -1, 0, -6, 0, 0), floor);
  EXPECT_EQ(velmora::PickedEntity(), floor);
  EXPECT_EQ(velmora::PickedSurface(), floor->GetSurface(1));
  EXPECT_EQ(velmora::PickedTriangle(), 1);
  EXPECT_FLOAT_EQ(velmora::PickedTime(), 0.5f);
  EXPECT_EQ(Apart(TVector::Create(velmora::PickedX(), velmora::PickedY(), velmora::PickedZ()), TVector::Create(1, 0, -1)), "");
  EXPECT_EQ(Apart(TVector::Create(velmora::PickedNX(), velmora::PickedNY(), velmora::PickedNZ()), TVector::Create(0, 1, 0)), "");

  PivotPtr above = velmora::CreatePivot(nullptr), below = velmora::CreatePivot(nullptr);
  velmora::PositionEntity(above, 1, 3, -1, 0);
  velmora::PositionEntity(below, 1, -3, -1, 0);
  EXPECT_EQ(velmora::EntityVisible(above, below), 0);
  EXPECT_EQ(velmora::EntityVisible(below, above), 1);  // the floor is one-sided
  velmora::RotateEntity(above, 90, 0, 0, 0);           // looking down
  EXPECT_EQ(velmora::EntityPick(above, 5), floor);

  EXPECT_EQ(velmora::CameraPick(nullptr, 1, 1), nullptr);
  EXPECT_EQ(velmora::EntityVisible(nullptr, above), 0);
  EXPECT_EQ(velmora::CreateOctree(nullptr, 0, 0), 0);
  EXPECT_THROW(velmora::CreateOctree(floor, 0, 0), FatalError);
}

}  // namespace
}  // namespace collision_test
