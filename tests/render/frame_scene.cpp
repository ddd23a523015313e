// The fixture and builders of frame_scene.h.
#include "frame_scene.h"

#include <cstdlib>

#include "engine/commands/commands.h"
#include "engine/mesh/surface.h"

namespace frame_test {

void FrameTest::SetUp() {
  RenderTest::SetUp();
  TGlobal::width = TGlobal::height = kRenderSize;
  TGlobal::GraphicsInit();
}

void FrameTest::ResetScene() {
  ResetEngine();
  TGlobal::width = TGlobal::height = kRenderSize;
}

MeshPtr MakeQuad(float x, float y, float z, float half, float red, float green, float blue,
                 const EntityPtr& parent) {
  MeshPtr mesh = TMesh::CreateMesh(parent);
  SurfacePtr s = mesh->CreateSurface();
  // Clockwise as the camera sees them: the engine's front faces.
  const float corners[4][2] = {{-half, -half}, {-half, half}, {half, half}, {half, -half}};
  for (const auto& c : corners) {
    const int v = velmora::AddVertex(s, c[0], c[1], 0.0f, 0.0f, 0.0f, 0.0f);
    s->VertexNormal(v, 0.0f, 0.0f, -1.0f);
  }
  velmora::AddTriangle(s, 0, 1, 2);
  velmora::AddTriangle(s, 0, 2, 3);
  mesh->EntityColor(red, green, blue);
  mesh->PositionEntity(x, y, z);
  return mesh;
}

std::string Mismatch(const Rgba& got, int red, int green, int blue, int tolerance) {
  if (std::abs(got[0] - red) <= tolerance && std::abs(got[1] - green) <= tolerance &&
      std::abs(got[2] - blue) <= tolerance)
    return "";
  return "got " + std::to_string(got[0]) + "," + std::to_string(got[1]) + "," + std::to_string(got[2]) +
         " want " + std::to_string(red) + "," + std::to_string(green) + "," + std::to_string(blue);
}

}  // namespace frame_test
