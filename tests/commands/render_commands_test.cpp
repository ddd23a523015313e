// Commands whose results come from a rendered frame: EntityInView's argument order and
// truncation, the projected point, and the back-buffer copies into textures.
#include <climits>
#include <vector>

#include "engine/commands/commands.h"
#include "engine/mesh/texture.h"
#include "engine/scene/global.h"
#include "platform/gl.h"
#include "support/render_fixture.h"

namespace {

using namespace velmora;

class RenderCommands : public RenderTest {
 protected:
  void SetUp() override {
    RenderTest::SetUp();
    TGlobal::width = TGlobal::height = kRenderSize;
    TGlobal::GraphicsInit();
  }
};

// The first texel of a mip level of a texture name bound to target, read at the size
// the level has now (a copy may have resized it).
Rgba Texel(GLenum bind_target, GLenum image_target, unsigned name, int level) {
  glBindTexture(bind_target, name);
  GLint width = 0, height = 0;
  glGetTexLevelParameteriv(image_target, level, GL_TEXTURE_WIDTH, &width);
  glGetTexLevelParameteriv(image_target, level, GL_TEXTURE_HEIGHT, &height);
  if (width < 1 || height < 1) return {1, 1, 1, 1};  // no such level
  std::vector<uint8_t> texels(size_t(width) * size_t(height) * 4);
  glGetTexImage(image_target, level, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
  return {texels[0], texels[1], texels[2], texels[3]};
}

constexpr Rgba kRed = {255, 0, 0, 255};
constexpr Rgba kBlank = {0, 0, 0, 0};

TEST_F(RenderCommands, EntityInViewTakesTheEntityFirstAndTruncates) {
  CameraPtr camera = CreateCamera(nullptr);  // at the origin looking along +z, near plane 1
  RenderWorld();                             // the camera keeps this frame's frustum
  struct Case {
    const char* name;
    float z, radius;
    int want;
  };
  const Case cases[] = {
      {"10.6 in front of the near plane, radius 2", 11.6f, 2, 12},
      {"0.5 in front, radius 0: inside, yet below 1", 1.5f, 0, 0},
      {"behind the camera", -5, 1, 0},
      {"a radius beyond int", 10, 1e30f, INT_MAX},
  };
  for (const Case& c : cases) {
    PivotPtr p = CreatePivot(nullptr);
    PositionEntity(p, 0, 0, c.z, 0);
    MeshCullRadius(p, c.radius);
    EXPECT_EQ(EntityInView(p, camera), c.want) << c.name;
    FreeEntity(p);
  }
  EXPECT_EQ(EntityInView(CreatePivot(nullptr), nullptr), 0);
}

TEST_F(RenderCommands, ProjectedPointIsTheLastProjection) {
  CameraPtr camera = CreateCamera(nullptr);  // 90 degrees across
  RenderWorld();
  CameraProject(camera, 0, 0, 10);
  EXPECT_NEAR(ProjectedX(), 32, 0.01);
  EXPECT_NEAR(ProjectedY(), 32, 0.01);
  const float centre_depth = ProjectedZ();
  EXPECT_GT(centre_depth, 0);
  EXPECT_LT(centre_depth, 1);

  CameraProject(camera, 5, 0, 10);
  EXPECT_NEAR(ProjectedX(), 48, 0.01);
  EXPECT_NEAR(ProjectedY(), 32, 0.01);
  CameraProject(camera, 0, 5, 10);  // y counts from the bottom
  EXPECT_NEAR(ProjectedX(), 32, 0.01);
  EXPECT_NEAR(ProjectedY(), 48, 0.01);
  CameraProject(camera, 0, 0, 20);
  EXPECT_GT(ProjectedZ(), centre_depth);
}

TEST_F(RenderCommands, BackBufferCopiesGoToMipLevel0) {
  CameraPtr camera = CreateCamera(nullptr);
  CameraClsColor(camera, 255, 0, 0);
  RenderWorld();

  TexturePtr flat = CreateTexture(8, 8, kTexColour | kTexMipmapped, 2);
  ASSERT_NE(flat, nullptr);
  BackBufferToTex(flat);
  const unsigned frame0 = (*flat->frame_names)[0], frame1 = (*flat->frame_names)[1];
  EXPECT_EQ(Texel(GL_TEXTURE_2D, GL_TEXTURE_2D, frame0, 0), kRed);
  EXPECT_EQ(Texel(GL_TEXTURE_2D, GL_TEXTURE_2D, frame0, 1), kBlank);
  EXPECT_EQ(Texel(GL_TEXTURE_2D, GL_TEXTURE_2D, frame1, 0), kBlank);

  TexturePtr cube = CreateTexture(8, 8, kTexColour | kTexMipmapped | kTexCubeMap, 1);
  ASSERT_NE(cube, nullptr);
  SetCubeFace(cube, 2);  // +x
  BackBufferToCubeTex(cube);
  const unsigned name = (*cube->frame_names)[0];
  EXPECT_EQ(Texel(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_CUBE_MAP_POSITIVE_X, name, 0), kRed);
  EXPECT_EQ(Texel(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_CUBE_MAP_POSITIVE_X, name, 1), kBlank);
  EXPECT_EQ(Texel(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_CUBE_MAP_NEGATIVE_X, name, 0), kBlank);
}

}  // namespace
