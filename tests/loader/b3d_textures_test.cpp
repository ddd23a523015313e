// Textures named by a model: found in the model's folder whatever the working
// directory, with the TEXS settings stored on the cached texture. Texture loading
// uploads, so these tests run in the off-screen GL context.
#include <fstream>

#include "engine/mesh/brush.h"
#include "engine/mesh/texture.h"
#include "loader/loader_fixture.h"
#include "platform/file.h"
#include "platform/offscreen.h"

namespace {

class B3dTextures : public LoaderTest {
 protected:
  void SetUp() override {
    LoaderTest::SetUp();
    context_ = TOffscreenContext::Create(16, 16);
    ASSERT_NE(context_, nullptr) << "no off-screen GL context";
  }
  std::shared_ptr<TOffscreenContext> context_;
};

// A 2 x 2 uncompressed 32-bit TGA, top row first.
void WriteTga(const std::string& path) {
  const uint8_t header[18] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 32, 8 | 0x20};
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(header), sizeof header);
  for (int i = 0; i < 4; ++i) out.write("\x10\x80\xf0\xff", 4);
}

TEST_F(B3dTextures, FoundBesideTheModelWithTheirSettings) {
  const std::string dir = TestTempDir("textured");
  WriteTga(dir + "/skin.tga");
  TB3dWriter w;
  w.Header().Texs({{"skin.tga", 0x10000 + 9, 3, 0.5f, 0.25f, 2, 4, 30}, {"absent.tga"}});
  w.Brus(3, {{"b", 1, 1, 1, 1, 0, 1, 0, {0, 1, 0}}, {"c", 1, 1, 1, 1, 0, 1, 0, {-1, 0, 2}}});
  w.BeginNode("root");
  TriangleMesh(w, -1, 0).Tris(1, {2, 1, 0});
  w.Finish().Save(dir + "/model.b3d");

  const std::string before = CurrentDir();
  MeshPtr mesh = TModel::LoadAnimB3D(dir + "/model.b3d", nullptr);
  EXPECT_EQ(CurrentDir(), before);
  ASSERT_NE(mesh, nullptr);
  ASSERT_EQ(mesh->CountSurfaces(), 2);
  const TBrush& b = *mesh->GetSurface(1)->brush;
  const TBrush& c = *mesh->GetSurface(2)->brush;
  ASSERT_NE(b.textures[0], nullptr) << "skin.tga resolves against the model's folder";
  const TTexture& t = *b.textures[0];
  EXPECT_EQ(t.flags & 0xffff, 9) << "the coordinate-set bit is not a texture flag";
  EXPECT_EQ(t.coord_set, 1);
  EXPECT_EQ(t.blend, 3);
  EXPECT_EQ(t.u_offset, 0.5f);
  EXPECT_EQ(t.v_offset, 0.25f);
  EXPECT_EQ(t.u_scale, 2.0f);
  EXPECT_EQ(t.v_scale, 4.0f);
  EXPECT_EQ(t.angle, 30.0f);
  EXPECT_EQ(b.textures[1], nullptr) << "a missing file is an empty entry";
  EXPECT_EQ(b.textures[2], b.textures[0]);
  EXPECT_EQ(c.textures[0], nullptr);
  EXPECT_EQ(c.textures[1], b.textures[0]) << "one texture object for the whole model";
  EXPECT_EQ(c.textures[2], nullptr) << "id 2 equals the texture count";
  b.textures[0]->FreeTexture();  // out of the cache while its context lives
}

}  // namespace
