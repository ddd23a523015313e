// Scenes for the camera, light and frame-pipeline tests: a fixture with the engine's
// fixed GL state on the 64 x 64 off-screen context, flat test quads, and a pixel
// comparison with a small tolerance (software rasterising rounds to +-1 or 2).
#pragma once

#include <string>

#include "engine/mesh/brush.h"
#include "engine/mesh/mesh.h"
#include "engine/scene/camera.h"
#include "engine/scene/global.h"
#include "engine/scene/light.h"
#include "platform/gl.h"
#include "support/render_fixture.h"

namespace frame_test {

// The graphics area is the whole context, and GraphicsInit has set the fixed state.
class FrameTest : public RenderTest {
 protected:
  void SetUp() override;
  // An empty world again, for the next case of a table; the GL state stays.
  static void ResetScene();
};

// A square of side 2 x half facing the origin (normal along public -z), centred on
// (x, y, z), one surface without a brush; colour 0..255 in the entity brush.
MeshPtr MakeQuad(float x, float y, float z, float half, float red, float green, float blue,
                 const EntityPtr& parent = nullptr);

constexpr int kTolerance = 3;  // per channel

// Empty when the pixel matches (alpha ignored), else "got r,g,b want r,g,b".
std::string Mismatch(const Rgba& got, int red, int green, int blue, int tolerance = kTolerance);

}  // namespace frame_test
