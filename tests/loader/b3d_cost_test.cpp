// What a small hostile file can make a load cost. Each crafted file is sized to show
// its fault well under a second and is checked on what the load and the free of its
// entities cost - bytes charged to the budget, surfaces whose normals were computed,
// list links searched, images decoded - never on elapsed time.
#include <png.h>

#include "engine/commands/commands.h"
#include "engine/loader/bounded_reader.h"
#include "engine/mesh/bone.h"
#include "engine/mesh/mesh.h"
#include "engine/mesh/texture.h"
#include "loader/loader_fixture.h"
#include "platform/offscreen.h"
#include "support/b3d_samples.h"
#include "support/image_files.h"

namespace {

class B3dCost : public LoaderTest {
 protected:
  void SetUp() override {
    LoaderTest::SetUp();
    context_ = TOffscreenContext::Create(16, 16);
    ASSERT_NE(context_, nullptr) << "no off-screen GL context";
  }
  void TearDown() override {
    ResetEngine();
    while (!TTexture::tex_list.IsEmpty()) TTexture::tex_list.First()->FreeTexture();
    LoaderTest::TearDown();
  }
  std::shared_ptr<TOffscreenContext> context_;
};

// An opaque grey RGB PNG of side x side beside the model, as "tex.png".
std::string ImageDir(int side) {
  const std::string dir = TestTempDir("cost_" + std::to_string(side));
  EXPECT_TRUE(WriteFileBytes(
      dir + "/tex.png", EncodePng({side, side, PNG_COLOR_TYPE_RGB, 8, false, Bytes(size_t(side) * side * 3, 128)})));
  return dir;
}

// GL storage of a mipmapped side x side texture as the load charges it.
int64_t MipmappedBytes(int side) {
  const int64_t level = int64_t(side) * side * 4;
  return level + level / 3 + 4;
}

struct Cost {
  std::string fatal;  // "" when the load returned
  TModelParts parts;
  uint64_t links_searched = 0;  // by the load and the free of what it made
  size_t textures_left = 0;     // in the cache after the load
};

Cost LoadAndFree(TB3dWriter& model, const std::string& dir) {
  const std::string path = dir + "/model.b3d";
  EXPECT_TRUE(model.Finish().Save(path));
  Cost cost;
  const uint64_t searched = TEntity::List::links_searched;
  try {
    cost.parts = TModel::LoadB3D(path, nullptr);
  } catch (const FatalError& e) {
    cost.fatal = e.what();
  }
  cost.textures_left = TTexture::tex_list.Count();
  for (const EntityPtr& part : cost.parts.top_level) part->TEntity::FreeEntity();
  cost.links_searched = TEntity::List::links_searched - searched;
  return cost;
}

constexpr int64_t kBones = 2048;  // LongNameBonesModel(32 KB): a 16 KB name copied per bone
constexpr int64_t kChunks = 2000;  // SplitTrisModel(50 KB): one surface per TRIS chunk
constexpr uint64_t kWide = 4000;   // WideBonesModel(32 KB): bones under one mesh

TEST_F(B3dCost, CraftedFilesCostWhatTheirBytesJustify) {
  const std::string dir = ImageDir(64);
  struct Case {
    const char* what;
    TB3dWriter model;
    void (*check)(const Cost&);
  } cases[] = {
      {"a long name before many bones is charged per bone", LongNameBonesModel(32 << 10),
       [](const Cost& c) {
         EXPECT_EQ(c.fatal, "");
         EXPECT_GE(c.parts.charged, kBones * (16 << 10));
       }},
      {"many small TRIS chunks compute each surface's normals once", SplitTrisModel(kChunks * 25),
       [](const Cost& c) {
         EXPECT_EQ(c.fatal, "");
         EXPECT_EQ(c.parts.normal_passes, kChunks);
       }},
      {"freeing a parent of many bones searches no child list", WideBonesModel(kWide * 8),
       [](const Cost& c) {
         EXPECT_EQ(c.fatal, "");
         ASSERT_NE(c.parts.root, nullptr);
         EXPECT_LT(c.links_searched, kWide);
       }},
      {"one image under many flag values decodes once; brushes hold every texture",
       TextureFlagsModel(40 * (8 + 28 + 33 + 24), "tex.png", true),
       [](const Cost& c) {
         EXPECT_EQ(c.fatal, "");
         EXPECT_EQ(c.parts.image_decodes, 1);
         EXPECT_EQ(c.textures_left, 40u);
         EXPECT_GE(c.parts.charged, 39 * MipmappedBytes(64)) << "each further texture is charged";
       }},
      {"textures no brush holds leave the cache with the load", TextureFlagsModel(40 * (8 + 28), "tex.png", false),
       [](const Cost& c) {
         EXPECT_EQ(c.fatal, "");
         EXPECT_EQ(c.parts.image_decodes, 1);
         EXPECT_EQ(c.textures_left, 0u);
       }},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    ResetEngine();
    c.check(LoadAndFree(c.model, dir));
    EXPECT_EQ(TEntity::entity_list.Count(), 0u) << "the free took everything the load made";
  }
}

// Past the budget a load stops with the fatal message, never a failed allocation.
TEST_F(B3dCost, PastTheBudgetTheLoadIsRefused) {
  struct Case {
    const char* what;
    TB3dWriter model;
    std::string dir;
  } cases[] = {
      // 48 KB names x 6,144 bones: 288 MiB of copies
      {"names", LongNameBonesModel(96 << 10), TestTempDir("cost_names")},
      // 200 textures of 1.3 MiB each from one 512 x 512 image
      {"textures", TextureFlagsModel(200 * (8 + 28), "tex.png", false), ImageDir(512)},
  };
  for (Case& c : cases) {
    ResetEngine();
    const Cost cost = LoadAndFree(c.model, c.dir);
    EXPECT_EQ(cost.fatal, "Invalid b3d file") << c.what;
    EXPECT_EQ(cost.textures_left, 0u) << c.what;
  }
  static_assert(int64_t(200) * (512 * 512 * 4 * 4 / 3) > kLoaderMemoryBudget, "the textures case passes the budget");
  static_assert(int64_t(6144) * (48 << 10) > kLoaderMemoryBudget, "the names case passes the budget");
}

// Each first decode is charged too, apart from the budget: a small file naming many
// images on the disk stops at the texture budget instead of taking gigabytes.
TEST_F(B3dCost, ManyImagesStopAtTheTextureBudget) {
  constexpr int kSide = 1024;
  const std::string dir = TestTempDir("cost_images");
  const Bytes image = EncodePng({kSide, kSide, PNG_COLOR_TYPE_RGB, 8, false, Bytes(size_t(kSide) * kSide * 3, 128)});
  const int64_t per_image = int64_t(kSide) * kSide * 4 + MipmappedBytes(kSide);
  const int images = int(kLoaderTextureBudget / per_image) + 2;
  std::vector<B3dTexture> textures;
  for (int i = 0; i < images; ++i) {
    const std::string name = "copy" + std::to_string(i) + ".png";  // a file of its own each
    ASSERT_TRUE(WriteFileBytes(dir + "/" + name, image));
    textures.push_back({name, 8});
  }
  TB3dWriter w;
  w.Header().Texs(textures);
  const Cost cost = LoadAndFree(w, dir);
  EXPECT_EQ(cost.fatal, "Invalid b3d file");
  EXPECT_EQ(cost.textures_left, 0u);
}

// Bones freed while their mesh lives (a plain node between the mesh and them goes)
// each leave its bone list without a search.
TEST_F(B3dCost, FreeingASkeletonUnderItsLivingMeshSearchesNoBoneList) {
  constexpr size_t kSkeletonBones = 4000;
  TB3dWriter w;
  w.Header().BeginNode("root").BeginMesh().End().BeginNode("skeleton");
  for (size_t i = 0; i < kSkeletonBones; ++i) w.BeginNode("b").Bone({}).End();
  const std::string path = TestTempDir("cost_skeleton") + "/model.b3d";
  ASSERT_TRUE(w.Finish().Save(path));
  const TModelParts parts = TModel::LoadB3D(path, nullptr);
  auto* mesh = dynamic_cast<TMesh*>(parts.root.get());
  ASSERT_NE(mesh, nullptr);
  ASSERT_EQ(mesh->bones.Count(), kSkeletonBones);
  const EntityPtr skeleton = velmora::FindChild(parts.root, "skeleton");
  ASSERT_NE(skeleton, nullptr);
  const uint64_t searched = TList<TBone>::links_searched;
  velmora::FreeEntity(skeleton);
  EXPECT_EQ(mesh->bones.Count(), 0u);
  EXPECT_LT(TList<TBone>::links_searched - searched, kSkeletonBones);
  for (const EntityPtr& part : parts.top_level) part->TEntity::FreeEntity();
}

// The ceiling on texture entries holds for the file, not for each TEXS chunk: every
// entry looks through a cache that holds what the entries before it made.
TEST_F(B3dCost, TextureEntriesAreCountedOverEveryTexsChunk) {
  constexpr int kChunks = 3, kPerChunk = 2048;
  static_assert(kChunks * kPerChunk > kB3dMaxTextures, "the chunks together pass the ceiling");
  const std::string dir = ImageDir(1);
  TB3dWriter w = SplitTexsModel(kChunks, kPerChunk);
  const Cost cost = LoadAndFree(w, dir);
  EXPECT_EQ(cost.fatal, "");
  EXPECT_EQ(cost.parts.texture_entries, kB3dMaxTextures);
  EXPECT_EQ(cost.parts.image_decodes, 1);
  EXPECT_EQ(cost.textures_left, 0u);
}

// A JPEG large enough to be uploaded as it decodes still counts as the load's one
// decode of its file: its further textures take the same image.
TEST_F(B3dCost, AJpegUploadedAsItDecodesIsTheLoadsOneDecode) {
  constexpr int kSide = 512;
  const Bytes jpeg = EncodeJpeg(kSide, kSide, 3, Noise(12345).Take(size_t(kSide) * kSide * 3), 95, false);
  ASSERT_GT(jpeg.size(), 64u << 10) << "large enough to be streamed";
  const std::string dir = TestTempDir("cost_jpeg");
  ASSERT_TRUE(WriteFileBytes(dir + "/tex.jpg", jpeg));
  TB3dWriter w;
  w.Header().Texs({{"tex.jpg", 1}, {"tex.jpg", 9}});
  w.Brus(2, {{"b", 1, 1, 1, 1, 0, 1, 0, {0, 1}}}).BeginNode("m");
  TriangleMesh(w, -1, 0);
  const Cost cost = LoadAndFree(w, dir);
  EXPECT_EQ(cost.fatal, "");
  EXPECT_EQ(cost.parts.image_decodes, 1);
  ASSERT_EQ(cost.textures_left, 2u);
  EXPECT_EQ(TTexture::tex_list.First()->pixmap, TTexture::tex_list.Last()->pixmap);
  EXPECT_GE(cost.parts.charged, MipmappedBytes(kSide)) << "the further texture is charged";
}

// The same image named through two spellings of its path is one file.
TEST_F(B3dCost, OneDecodePerImageFileWhateverItsPathSpelling) {
  const std::string dir = ImageDir(8);
  TB3dWriter w;
  w.Header().Texs({{"tex.png", 1}, {"./tex.png", 1}, {dir + "/tex.png", 1}});
  w.Brus(3, {{"b", 1, 1, 1, 1, 0, 1, 0, {0, 1, 2}}}).BeginNode("m");
  TriangleMesh(w, -1, 0);
  const Cost cost = LoadAndFree(w, dir);
  EXPECT_EQ(cost.fatal, "");
  EXPECT_EQ(cost.parts.image_decodes, 1);
  EXPECT_EQ(cost.textures_left, 2u) << "two cache names; the full path is the first one's";
}

}  // namespace
