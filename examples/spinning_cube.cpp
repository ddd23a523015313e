// The smallest program on the engine: a lit, spinning cube in the engine's own window,
// driven through the command set alone. Escape or closing the window ends it.
#include "engine/commands/commands.h"
#include "engine/scene/global.h"
#include "platform/gui.h"

using namespace velmora;

int main() {
  TGlobal::display_opener = OpenEngineDisplay;  // the engine's window comes from the GUI layer
  Graphics3D(640, 480, 0, 0, 60);

  CameraPtr camera = CreateCamera(nullptr);
  PositionEntity(camera, 0, 0, -5, 0);
  CreateLight(1, nullptr);  // directional
  MeshPtr cube = CreateCube(nullptr);
  EntityColor(cube, 255, 160, 0);

  while (PollEvent() != EventId::AppTerminate) {
    TurnEntity(cube, 0, 1, 0, 0);
    UpdateWorld(1);
    RenderWorld();
    Flip(-1);
    if (KeyHit(27)) break;  // Escape
  }
}
