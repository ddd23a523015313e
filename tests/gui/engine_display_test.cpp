// The engine's own display set-up through the GUI layer: Graphics3D opens a window of
// the size asked with the opener the program installs, its context is current and
// known to the GL layer (texture names go when their last holder does), and the
// engine draws into it.
#include "platform/gl.h"  // first: before any other GL header

#include "engine/commands/commands.h"
#include "engine/mesh/texture.h"
#include "engine/scene/global.h"
#include "gui_fixture.h"
#include "support/engine_reset.h"

namespace {

class EngineDisplayTest : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    if (IsSkipped()) return;
    ResetEngine();
    TGlobal::display_opener = OpenEngineDisplay;
  }
  void TearDown() override {
    ResetEngine();
    CloseGraphics(CurrentGraphics());
    TGlobal::display_opener = nullptr;
    GuiTest::TearDown();
  }
};

TEST_F(EngineDisplayTest, Graphics3DOpensAWindowTheEngineDrawsInto) {
  TGlobal::Graphics3D(160, 120, 32, 0, 60);
  EXPECT_EQ(TGlobal::width, 160);
  EXPECT_EQ(TGlobal::height, 120);
  EXPECT_EQ(TGlobal::depth, 0) << "windowed: no colour depth outside mode 1";
  EXPECT_EQ(TGlobal::rate, 60);
  ASSERT_NE(CurrentGraphics(), nullptr);
  EXPECT_EQ(GraphicsWidth(), 160);
  EXPECT_EQ(GraphicsHeight(), 120);
  ASSERT_NE(GlCurrentContextId(), 0u) << "the GL layer knows the window's context";

  CameraPtr camera = velmora::CreateCamera(nullptr);
  velmora::CameraClsColor(camera, 20, 200, 60);
  velmora::RenderWorld();
  unsigned char rgba[4] = {};
  glReadPixels(80, 60, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
  EXPECT_EQ(int(rgba[0]), 20);
  EXPECT_EQ(int(rgba[1]), 200);
  EXPECT_EQ(int(rgba[2]), 60);
  Flip(-1);

  // A texture's GL name goes with its last holder while its context is current.
  TexturePtr texture = velmora::CreateTexture(4, 4, 1, 1);
  ASSERT_NE(texture, nullptr);
  const GLuint name = (*texture->frame_names)[0];
  EXPECT_EQ(glIsTexture(name), GL_TRUE);
  velmora::FreeTexture(texture);
  texture.reset();
  EXPECT_EQ(glIsTexture(name), GL_FALSE);
}

TEST_F(EngineDisplayTest, ModeOneKeepsTheColourDepth) {
  TGlobal::Graphics3D(64, 48, 32, 1, 75);
  EXPECT_EQ(TGlobal::depth, 32);
  EXPECT_EQ(TGlobal::mode, 1);
  EXPECT_EQ(GraphicsWidth(), 64);
}

}  // namespace
