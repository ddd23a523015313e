// A program written against the command header alone: it builds a lit, textured scene,
// renders it into an off-screen context and looks at the pixels. The one thing it sets
// outside the commands is the display (graphics size and the fixed GL state), exactly
// as the previewer does at start-up.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/commands/commands.h"
#include "engine/scene/global.h"
#include "platform/offscreen.h"

namespace {

using namespace velmora;

constexpr int kSide = 64;

// A 4 x 4 uncompressed 32-bit TGA: the left half red, the right half blue.
std::string WriteHalvesTga() {
  const char* tmp = std::getenv("VELMORA_TEST_TMP");
  const std::filesystem::path dir = std::filesystem::path(tmp ? tmp : "/tmp") / "commands_end_to_end";
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "halves.tga").string();
  std::vector<uint8_t> bytes = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0, 4, 0, 32, 8};
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) {
      const bool left = x < 2;
      bytes.insert(bytes.end(), {uint8_t(left ? 0 : 255), 0, uint8_t(left ? 255 : 0), 255});  // b, g, r, a
    }
  }
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  return path;
}

std::string Show(const Rgba& p) {
  return std::to_string(p[0]) + "," + std::to_string(p[1]) + "," + std::to_string(p[2]);
}

bool Near(const Rgba& got, int r, int g, int b) {
  return std::abs(got[0] - r) <= 3 && std::abs(got[1] - g) <= 3 && std::abs(got[2] - b) <= 3;
}

TEST(CommandsEndToEnd, LitTexturedCube) {
  auto context = TOffscreenContext::Create(kSide, kSide);
  ASSERT_NE(context, nullptr);
  TGlobal::width = TGlobal::height = kSide;
  TGlobal::GraphicsInit();

  AmbientLight(0, 0, 0);  // only the light shows the cube
  CameraPtr camera = CreateCamera(nullptr);
  CameraClsColor(camera, 0, 64, 0);
  LightPtr light = CreateLight(1, camera);  // shines where the camera looks
  MeshPtr cube = CreateCube(nullptr);
  PositionEntity(cube, 0, 0, 4, 0);  // front face 3 ahead: a third of the view across

  TexturePtr texture = LoadTexture(WriteHalvesTga(), 1);
  ASSERT_NE(texture, nullptr);
  EXPECT_EQ(TextureWidth(texture), 4);
  BrushPtr brush = CreateBrush(255, 255, 255);
  BrushTexture(brush, texture, 0, 0);
  PaintEntity(cube, brush);

  RenderWorld();
  struct Probe {
    const char* what;
    int x, y, r, g, b;
  };
  const Probe lit[] = {
      {"left of the face", 26, 32, 255, 0, 0},
      {"right of the face", 38, 32, 0, 0, 255},
      {"background", 2, 2, 0, 64, 0},
      {"background beside the cube", 60, 32, 0, 64, 0},
  };
  for (const Probe& p : lit) {
    const Rgba got = context->ReadPixel(p.x, p.y);
    EXPECT_TRUE(Near(got, p.r, p.g, p.b)) << p.what << ": got " << Show(got);
  }

  HideEntity(light);  // no light, no ambient: the face goes black
  RenderWorld();
  const Rgba dark = context->ReadPixel(32, 32);
  EXPECT_TRUE(Near(dark, 0, 0, 0)) << "unlit face: got " << Show(dark);

  // What the program made goes with the matching frees; the light goes with the camera.
  FreeEntity(camera);
  FreeEntity(cube);
  EXPECT_EQ(FreeTexture(texture), nullptr);
  ClearTextureFilters();
  EXPECT_EQ(CountChildren(camera), 0);
  EXPECT_EQ(GetParent(light), nullptr);
}

}  // namespace
