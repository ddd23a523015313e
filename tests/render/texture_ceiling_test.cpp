// The pixel ceiling on what one texture asks for once its frames are fitted to powers
// of two. A small file of one colour decodes into a large image; cut into frames a
// little over a power of two, each frame nearly quadruples when fitted. The frames
// together count against the same ceiling as one image: past it the creator gives
// null at once, at it the frames are still made. Kept apart from the other texture
// tests: it decodes images of up to a gigabyte.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "engine/mesh/texture.h"
#include "platform/gl.h"
#include "platform/image.h"
#include "support/image_files.h"
#include "support/render_fixture.h"
#include "test_images.h"

namespace {

// A run-length coded TGA of one colour: some bytes per 128 pixels.
Bytes OneColourTga(int width, int height) {
  TgaSpec spec;
  spec.image_type = 10;
  spec.width = width;
  spec.height = height;
  spec.bits = 24;
  spec.descriptor = 0x20;
  for (int y = 0; y < height; ++y) {
    for (int left = width; left > 0; left -= 128) {
      const int run = left < 128 ? left : 128;
      spec.data.insert(spec.data.end(), {uint8_t(0x80 | (run - 1)), 40, 80, 120});
    }
  }
  return EncodeTga(spec);
}

class TextureCeiling : public RenderTest {
 protected:
  void SetUp() override {
    RenderTest::SetUp();
    scratch_ = std::make_unique<ScratchDir>(std::string("TextureCeiling-") +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    TTexture::ClearTextureFilters();
  }
  void TearDown() override {
    scratch_.reset();
    RenderTest::TearDown();
  }
  std::unique_ptr<ScratchDir> scratch_;
};

TEST_F(TextureCeiling, FittedFramesPastTheCeilingGiveNull) {
  // 8481 x 8256: 33 x 32 cells of 257, 65 x 64 cells of 129.
  ASSERT_TRUE(WriteBytes("grid.tga", OneColourTga(8481, 8256)));
  const struct {
    int side, count;
    const char* fitted;
  } past[] = {
      {257, 1025, "1,025 frames of 512 x 512"},
      {257, 1056, "every cell, 512 x 512 each"},
      {129, 4097, "4,097 frames of 256 x 256"},
  };
  for (const auto& c : past) {
    EXPECT_EQ(TTexture::LoadAnimTexture("grid.tga", 0, c.side, c.side, 0, c.count), nullptr) << c.fitted;
    EXPECT_EQ(TTexture::CreateTexture(c.side, c.side, 0, c.count), nullptr) << c.fitted;
  }
  // Six cube faces of 4097 fit to 8192 each.
  EXPECT_EQ(TTexture::CreateCubeMapTexture(4097, 4097, 0), nullptr);
  EXPECT_TRUE(TTexture::tex_list.IsEmpty());
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(TextureCeiling, FramesThatReachItExactlyAreMade) {
  ASSERT_TRUE(WriteBytes("whole.tga", OneColourTga(kMaxPixmapSide, kMaxPixmapSide)));
  TexturePtr t = TTexture::LoadAnimTexture("whole.tga", 0, 4096, 4096, 0, 16);
  ASSERT_NE(t, nullptr);
  ASSERT_EQ(t->frame_names->size(), 16u);
  EXPECT_EQ(std::set<GLuint>(t->frame_names->begin(), t->frame_names->end()).size(), 16u);
  glBindTexture(GL_TEXTURE_2D, t->frame_names->back());
  GLint w = 0, h = 0;
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
  EXPECT_EQ(w, 4096);
  EXPECT_EQ(h, 4096);
  t->FreeTexture();
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

}  // namespace
