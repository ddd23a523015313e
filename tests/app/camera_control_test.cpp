// Mouse camera control through the event loop: input events keep the state, each tick
// turns or moves the rig. Expected placements come from a reference rig given the
// motion the button and modifier row calls for.
#include <gtest/gtest.h>

#include "app/shell.h"
#include "app_fixture.h"
#include "engine/commands/commands.h"
#include "platform/gui.h"

using namespace velmora;

namespace {

enum class Motion { None, Tumble, Zoom, Pan };

struct Rig {
  EntityPtr pivot, camera;
};

// The start rig, with the camera stood in for by a pivot (a second camera would draw).
Rig ReferenceRig() {
  Rig r{CreatePivot(nullptr), nullptr};
  r.camera = CreatePivot(r.pivot);
  PositionEntity(r.camera, 0, 0, -4.5f, 0);
  PositionEntity(r.pivot, 0, 0.5f, 0, 0);
  RotateEntity(r.pivot, 10, 0, 0, 0);
  return r;
}

void Apply(const Rig& r, Motion m, float dx, float dy) {
  if (m == Motion::Tumble) TurnEntity(r.pivot, dy * 0.9f, -dx * 0.9f, 0, 0);
  if (m == Motion::Zoom) MoveEntity(r.camera, 0, 0, dx * 0.02f);
  if (m == Motion::Pan) MoveEntity(r.pivot, -dx * 0.01f, dy * 0.01f, 0);
}

// World placement of both, to compare rigs.
std::vector<float> Placement(const EntityPtr& pivot, const EntityPtr& camera) {
  std::vector<float> out;
  for (const EntityPtr& e : {pivot, camera})
    for (int col = 0; col < 4; ++col)
      for (int row = 0; row < 3; ++row) out.push_back(GetMatElement(e, col, row));
  return out;
}

void ExpectSame(const std::vector<float>& got, const std::vector<float>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], want[i], 1e-4) << "matrix element " << i;
}

using CameraControlTest = AppTest;

TEST_F(CameraControlTest, EachButtonAndModifierRowMovesTheRigItsWay) {
  struct Row {
    int button;
    std::vector<int> keys;  // held while the ticks run
    Motion motion;
  };
  const Row rows[] = {
      {1, {}, Motion::Tumble},
      {1, {kKeyLeftShift}, Motion::Zoom},
      {1, {kKeyLeftControl}, Motion::Pan},
      {1, {kKeyLeftShift, kKeyLeftControl}, Motion::Pan},  // Control wins
      {1, {kKeyRightShift}, Motion::Tumble},                // right-hand keys are no modifiers
      {1, {kKeyRightControl}, Motion::Tumble},
      {2, {}, Motion::Pan},
      {2, {kKeyLeftShift}, Motion::Pan},
      {2, {kKeyLeftControl}, Motion::Pan},
      {3, {}, Motion::Zoom},
      {3, {kKeyLeftShift}, Motion::Zoom},
      {3, {kKeyLeftControl}, Motion::Zoom},
      {0, {}, Motion::None},
      {0, {kKeyLeftShift, kKeyLeftControl}, Motion::None},
      {5, {}, Motion::None},
  };
  Start();
  for (const Row& r : rows) {
    SCOPED_TRACE("button " + std::to_string(r.button) + ", keys " + std::to_string(r.keys.size()));
    Menu(kMenuNewScene);
    const Rig ref = ReferenceRig();
    Send(EventId::MouseMove, app.canvas, 0, 100, 100);
    Send(EventId::MouseMove, app.canvas, 0, 110, 104);  // the last movement: 10, 4
    for (int key : r.keys) Send(EventId::KeyDown, app.window, key);
    if (r.button != 0) Send(EventId::MouseDown, app.canvas, r.button);
    // Two ticks with the pointer still: the last movement applies on each.
    Send(EventId::TimerTick, app.timer);
    Send(EventId::TimerTick, app.timer);
    Apply(ref, r.motion, 10, 4);
    Apply(ref, r.motion, 10, 4);
    ExpectSame(Placement(app.camPivot, app.camera), Placement(ref.pivot, ref.camera));
    Send(EventId::MouseUp, app.canvas, r.button);
    for (int key : r.keys) Send(EventId::KeyUp, app.window, key);
    FreeEntity(ref.pivot);
  }
}

TEST_F(CameraControlTest, DeltasPressesAndReleases) {
  Start();
  // The first movement is measured from (0, 0).
  Send(EventId::MouseMove, app.canvas, 0, 7, 3);
  EXPECT_EQ(app.mouse_dX, 7);
  EXPECT_EQ(app.mouse_dY, 3);
  const Rig ref = ReferenceRig();

  // A press without movement uses the deltas of the movement before it.
  Send(EventId::MouseDown, app.canvas, 1);
  Send(EventId::TimerTick, app.timer);
  Apply(ref, Motion::Tumble, 7, 3);
  ExpectSame(Placement(app.camPivot, app.camera), Placement(ref.pivot, ref.camera));

  // A second button while one is held takes over.
  Send(EventId::MouseDown, app.canvas, 2);
  Send(EventId::TimerTick, app.timer);
  Apply(ref, Motion::Pan, 7, 3);
  ExpectSame(Placement(app.camPivot, app.camera), Placement(ref.pivot, ref.camera));

  // Releasing either button stops everything; the deltas stay.
  Send(EventId::MouseUp, app.canvas, 1);
  Send(EventId::TimerTick, app.timer);
  ExpectSame(Placement(app.camPivot, app.camera), Placement(ref.pivot, ref.camera));
  EXPECT_EQ(app.mouse_down, 0);
  EXPECT_EQ(app.mouse_dX, 7);

  // Shift is let go: the next left drag tumbles again.
  Send(EventId::KeyDown, app.window, kKeyLeftShift);
  Send(EventId::KeyUp, app.window, kKeyLeftShift);
  Send(EventId::MouseDown, app.canvas, 1);
  Send(EventId::TimerTick, app.timer);
  Apply(ref, Motion::Tumble, 7, 3);
  ExpectSame(Placement(app.camPivot, app.camera), Placement(ref.pivot, ref.camera));
}

}  // namespace
