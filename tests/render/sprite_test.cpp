// Sprites on screen: a tall sprite in front of a rolled camera, upright on screen when
// it takes the camera's roll and tilted when it does not; sprites loaded from images,
// drawn additively or alpha-blended by their flags, and untextured when the image does
// not load; a sprite left out of the frame keeps the matrix of its last one.
#include <memory>
#include <string>
#include <vector>

#include "engine/mesh/sprite.h"
#include "frame_scene.h"
#include "platform/runtime.h"
#include "test_images.h"

namespace frame_test {
namespace {

class SpriteTest : public FrameTest {
 protected:
  void SetUp() override {
    FrameTest::SetUp();
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    scratch_ = std::make_unique<ScratchDir>(std::string(info->test_suite_name()) + "-" + info->name());
    SetDebugSink([](const std::string&) {});  // the missing images' messages are expected
  }
  void TearDown() override {
    SetDebugSink(nullptr);
    scratch_.reset();
    FrameTest::TearDown();
  }
  bool Lit(int x, int y) const { return Pixel(x, y)[0] > 128; }
  std::unique_ptr<ScratchDir> scratch_;
};

TEST_F(SpriteTest, SpriteFacingARolledCamera) {
  // A bar 0.8 wide and 6 high, 5 ahead of a camera rolled by 45 degrees: 6.4 pixels
  // per unit at that distance, so 16 pixels from the centre lies inside the bar.
  struct Case {
    int mode;
    bool upright_on_screen;
  };
  const Case cases[] = {{kSpriteCameraAxes, true}, {kSpriteFaceCamera, false}, {kSpriteUpright, true}};
  for (const Case& c : cases) {
    ResetScene();
    CameraPtr camera = TCamera::CreateCamera();
    camera->RotateEntity(0, 0, 45);
    SpritePtr s = TSprite::CreateSprite();
    s->PositionEntity(0, 0, 5);
    s->ScaleSprite(0.4f, 3);
    s->SpriteViewMode(c.mode);
    TGlobal::RenderWorld();
    EXPECT_TRUE(Lit(32, 32)) << "view mode " << c.mode;
    EXPECT_EQ(Lit(32, 16), c.upright_on_screen) << "view mode " << c.mode;
    EXPECT_EQ(Lit(32, 48), c.upright_on_screen) << "view mode " << c.mode;
    // Tilted: along one diagonal or the other, 16 pixels out.
    EXPECT_EQ(Lit(21, 21) != Lit(43, 21), !c.upright_on_screen) << "view mode " << c.mode;
    EXPECT_FALSE(Lit(8, 32)) << "view mode " << c.mode;
  }
}

TEST_F(SpriteTest, LoadedSpritesBlendByTheirFlags) {
  ASSERT_TRUE(WriteImage("red.png", ImageFile::kPng, 8, 8, Solid({255, 0, 0, 255})));
  std::vector<uint8_t> junk(64, 0x5a);
  ASSERT_TRUE(WriteBytes("junk.png", junk));
  struct Case {
    const char* file;
    int flags;
    bool textured;
    int blend;
    int r, g, b;  // over a blue background
  };
  const Case cases[] = {
      {"red.png", 1, true, kBlendAdd, 255, 0, 255},
      {"red.png", 2, true, kBlendNone, 255, 0, 0},
      {"red.png", 3, true, kBlendNone, 255, 0, 0},
      // An image that does not load leaves the layer empty: a white square, added.
      {"missing.png", 1, false, kBlendAdd, 255, 255, 255},
      {"junk.png", 1, false, kBlendAdd, 255, 255, 255},
      {"missing.png", 2, false, kBlendNone, 255, 255, 255},
  };
  for (const Case& c : cases) {
    ResetScene();
    CameraPtr camera = TCamera::CreateCamera();
    camera->CameraClsColor(0, 0, 255);
    SpritePtr s = TSprite::LoadSprite(c.file, c.flags);
    ASSERT_TRUE(s) << c.file;
    EXPECT_EQ(s->brush->textures[0] != nullptr, c.textured) << c.file << " flags " << c.flags;
    EXPECT_EQ(s->brush->layer_count, 1) << c.file << " flags " << c.flags;
    EXPECT_EQ(s->brush->blend, c.blend) << c.file << " flags " << c.flags;
    s->PositionEntity(0, 0, 5);
    TGlobal::RenderWorld();
    EXPECT_EQ(Mismatch(Pixel(32, 32), c.r, c.g, c.b), "") << c.file << " flags " << c.flags;
  }
}

TEST_F(SpriteTest, SpriteLeftOutOfTheFrameKeepsItsMatrix) {
  CameraPtr camera = TCamera::CreateCamera();
  SpritePtr s = TSprite::CreateSprite();
  s->PositionEntity(0, 0, 5);
  TGlobal::RenderWorld();
  const TMatrix facing = s->sprite_matrix;
  camera->RotateEntity(0, 10, 0);
  s->HideEntity();
  TGlobal::RenderWorld();
  EXPECT_EQ(s->sprite_matrix.grid[0][0], facing.grid[0][0]);
  EXPECT_EQ(s->sprite_matrix.grid[2][0], facing.grid[2][0]);
  s->ShowEntity();
  TGlobal::RenderWorld();
  EXPECT_NE(s->sprite_matrix.grid[2][0], facing.grid[2][0]);
}

}  // namespace
}  // namespace frame_test
