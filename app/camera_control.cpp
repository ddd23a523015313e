// The mouse and modifier state and UpdateState. The last movement stays in force while
// a button is held, so a drag that pauses keeps turning at its last rate.
#include "app/camera_control.h"

#include "app/app_state.h"
#include "engine/commands/commands.h"
#include "platform/gui.h"

using namespace velmora;

namespace {

constexpr float kTumbleDegreesPerPixel = 0.9f;
constexpr float kZoomPerPixel = 0.02f;
constexpr float kPanPerPixel = 0.01f;

enum LeftButtonMode { kTumble = 0, kZoom = 1, kPan = 2 };

void Zoom(float dx) { MoveEntity(app.camera, 0, 0, dx * kZoomPerPixel); }  // horizontal movement only
void Pan(float dx, float dy) { MoveEntity(app.camPivot, -dx * kPanPerPixel, dy * kPanPerPixel, 0); }

}  // namespace

void OnMouseDown(int button) { app.mouse_down = button; }

void OnMouseUp() { app.mouse_down = 0; }  // whichever button: all action stops

void OnMouseMove(int x, int y) {
  app.mouse_dX = x - app.mouse_X;
  app.mouse_dY = y - app.mouse_Y;
  app.mouse_X = x;
  app.mouse_Y = y;
}

void OnKeyDown(int key) {
  if (key == kKeyLeftShift) app.shift_key = 1;
  if (key == kKeyLeftControl) app.ctrl_key = 1;
}

void OnKeyUp(int key) {
  if (key == kKeyLeftShift) app.shift_key = 0;
  if (key == kKeyLeftControl) app.ctrl_key = 0;
}

int UpdateState() {
  int mode = kTumble;
  if (app.shift_key != 0) mode = kZoom;
  if (app.ctrl_key != 0) mode = kPan;  // Control wins over Shift
  const float dx = float(app.mouse_dX), dy = float(app.mouse_dY);
  switch (app.mouse_down) {
    case 1:
      if (mode == kTumble) TurnEntity(app.camPivot, dy * kTumbleDegreesPerPixel, -dx * kTumbleDegreesPerPixel, 0, 0);
      if (mode == kZoom) Zoom(dx);
      if (mode == kPan) Pan(dx, dy);
      break;
    case 2:
      Pan(dx, dy);
      break;
    case 3:
      Zoom(dx);
      break;
    default:
      break;
  }
  return 0;
}
