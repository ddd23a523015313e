// Textures on real GL: loading each image format, power-of-two fitting and mip chains,
// the filters and the cache key, the file search, bad files, frame grids, cube maps,
// back-buffer copies, and GL names that go with their last holder (in their own
// context only).
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "engine/mesh/brush.h"
#include "engine/mesh/texture.h"
#include "engine/scene/global.h"
#include "platform/file.h"
#include "platform/gl.h"
#include "platform/runtime.h"
#include "support/image_files.h"
#include "support/render_fixture.h"
#include "test_images.h"

namespace {

std::string Show(Rgba c) {
  return "(" + std::to_string(c[0]) + ", " + std::to_string(c[1]) + ", " + std::to_string(c[2]) + ", " +
         std::to_string(c[3]) + ")";
}

bool Near(Rgba a, Rgba b, int tolerance) {
  for (int i = 0; i < 4; ++i)
    if (std::abs(int(a[i]) - int(b[i])) > tolerance) return false;
  return true;
}

// One texel of a level as GL holds it.
Rgba Texel(GLenum target, GLuint name, int level, int x, int y) {
  const GLenum binding = target == GL_TEXTURE_2D ? GL_TEXTURE_2D : GL_TEXTURE_CUBE_MAP;
  glBindTexture(binding, name);
  GLint w = 0, h = 0;
  glGetTexLevelParameteriv(target, level, GL_TEXTURE_WIDTH, &w);
  glGetTexLevelParameteriv(target, level, GL_TEXTURE_HEIGHT, &h);
  if (x >= w || y >= h) return {0, 0, 0, 0};
  std::vector<uint8_t> pixels(size_t(w) * h * 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(target, level, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  const size_t at = (size_t(y) * w + x) * 4;
  return {pixels[at], pixels[at + 1], pixels[at + 2], pixels[at + 3]};
}

GLuint Name(const TexturePtr& t, int frame = 0) { return (*t->frame_names)[size_t(frame)]; }

int MipLevelsOf(int side) {
  int levels = 0;
  while (side > 1) side /= 2, ++levels;
  return levels;
}

class TextureTest : public RenderTest {
 protected:
  void SetUp() override {
    RenderTest::SetUp();
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    scratch_ = std::make_unique<ScratchDir>(std::string(info->test_suite_name()) + "-" + info->name());
    SetDebugSink([this](const std::string& m) { messages_.push_back(m); });
  }
  void TearDown() override {
    SetDebugSink(nullptr);
    scratch_.reset();
    RenderTest::TearDown();
  }
  std::unique_ptr<ScratchDir> scratch_;
  std::vector<std::string> messages_;
};

constexpr Rgba kRed{255, 0, 0, 255};
constexpr Rgba kGreen{0, 255, 0, 255};
constexpr Rgba kBlue{0, 0, 255, 255};

}  // namespace

TEST_F(TextureTest, EachFormatLoadsAsRgbaFittedToPowerOfTwoWithItsMipChain) {
  struct Case {
    const char* file;
    ImageFile kind;
    int width, height;
    Rgba colour;
    int fitted_width, fitted_height, mipmaps;
    int tolerance;
  } cases[] = {
      {"wide.png", ImageFile::kPng, 300, 200, {10, 200, 30, 128}, 512, 256, 9, 0},
      {"photo.jpg", ImageFile::kJpeg, 64, 64, {200, 100, 50, 255}, 64, 64, 6, 4},
      {"odd.tga", ImageFile::kTga, 3, 5, {1, 2, 250, 7}, 4, 8, 3, 0},
      {"strip.bmp", ImageFile::kBmp, 16, 1, {90, 80, 70, 255}, 16, 1, 4, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    ASSERT_TRUE(WriteImage(c.file, c.kind, c.width, c.height, Solid(c.colour)));
    TexturePtr t = TTexture::LoadTexture(c.file, kTexColour | kTexMipmapped);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->pixmap->Format(), kPixRgba8);
    EXPECT_EQ(t->pixmap->Width(), c.width);  // the source image is kept whole
    EXPECT_EQ(t->TextureWidth(), c.fitted_width);
    EXPECT_EQ(t->TextureHeight(), c.fitted_height);
    EXPECT_EQ(t->CountMipmaps(), c.mipmaps);
    EXPECT_EQ(t->MipmapWidth(1), std::max(c.fitted_width / 2, 1));
    EXPECT_EQ(t->MipmapWidth(c.mipmaps), 1);
    EXPECT_EQ(t->MipmapHeight(c.mipmaps), 1);
    EXPECT_EQ(t->MipmapWidth(c.mipmaps + 1), 0);
    EXPECT_EQ(t->MipmapWidth(-1), 0);
    // What GL holds: level 0 at the fitted size, the colour at every level down to 1 x 1.
    const Rgba top = Texel(GL_TEXTURE_2D, Name(t), 0, 0, 0);
    const Rgba last = Texel(GL_TEXTURE_2D, Name(t), c.mipmaps, 0, 0);
    EXPECT_TRUE(Near(top, c.colour, c.tolerance)) << Show(top);
    EXPECT_TRUE(Near(last, c.colour, c.tolerance)) << Show(last);
    GLint gl_width = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &gl_width);
    EXPECT_EQ(gl_width, c.fitted_width);
  }
  // Without the mipmapped flag only level 0 goes up.
  TexturePtr plain = TTexture::LoadTexture("wide.png", kTexColour);
  EXPECT_EQ(plain->CountMipmaps(), 0);
  EXPECT_EQ(plain->MipmapWidth(0), 512);
  EXPECT_EQ(plain->MipmapWidth(1), 0);
}

// Large images have their levels made beside the level-0 upload (see
// texture_upload.cpp), small ones after it, and JPEGs go up band by band as they decode,
// on a helper thread when the file is large: either way GL holds the decoded image and
// each level halved from the one before, in order.
TEST_F(TextureTest, EveryLevelOfTheChainIsTheHalvingOfTheOneBefore) {
  TTexture::ClearTextureFilters();
  const struct {
    ImageFile kind;
    int side;
  } cases[] = {{ImageFile::kPng, 64}, {ImageFile::kPng, 1024}, {ImageFile::kJpeg, 64}, {ImageFile::kJpeg, 1024}};
  for (const auto& c : cases) {
    const int side = c.side;
    const std::string file = "noise" + std::to_string(side) + (c.kind == ImageFile::kPng ? ".png" : ".jpg");
    SCOPED_TRACE(file);
    ASSERT_TRUE(WriteImage(file, c.kind, side, side / 2, [](int x, int y) {
      const uint32_t v = uint32_t(x * 2654435761u) ^ uint32_t(y * 40503u);
      return Rgba{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    }));
    TexturePtr t = TTexture::LoadTexture(file, kTexMipmapped);
    ASSERT_NE(t, nullptr);
    const PixmapPtr decoded = LoadPixmap(file);
    ASSERT_TRUE(std::equal(decoded->Pixels(), decoded->Pixels() + size_t(side) * side / 2 * 4, t->pixmap->Pixels()));
    ASSERT_EQ(t->CountMipmaps(), MipLevelsOf(side));
    glBindTexture(GL_TEXTURE_2D, Name(t));
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    PixmapPtr want = t->pixmap;
    for (int level = 0; level <= t->CountMipmaps(); ++level) {
      if (level > 0) want = ResizePixmap(*want, t->MipmapWidth(level), t->MipmapHeight(level));
      std::vector<uint8_t> held(size_t(want->Width()) * want->Height() * 4);
      glGetTexImage(GL_TEXTURE_2D, level, GL_RGBA, GL_UNSIGNED_BYTE, held.data());
      ASSERT_TRUE(std::equal(held.begin(), held.end(), want->Pixels())) << "level " << level;
    }
  }
}

TEST_F(TextureTest, PowerOfTwoSizes) {
  const int cases[][2] = {{-3, 1}, {0, 1}, {1, 1}, {2, 2}, {3, 4}, {255, 256}, {256, 256}, {257, 512}};
  for (const auto& c : cases) EXPECT_EQ(TTexture::Pow2Size(c[0]), c[1]) << "n = " << c[0];
}

TEST_F(TextureTest, CacheReturnsOneObjectPerNameFlagsAndFrames) {
  ASSERT_TRUE(WriteImage("rock_n.png", ImageFile::kPng, 32, 32, Solid(kRed)));
  ASSERT_TRUE(WriteImage("Rock_N.png", ImageFile::kPng, 32, 32, Solid(kRed)));

  TexturePtr a = TTexture::LoadTexture("rock_n.png", kTexColour);
  EXPECT_EQ(TTexture::LoadTexture("rock_n.png", kTexColour), a);
  EXPECT_NE(TTexture::LoadTexture("rock_n.png", kTexAlpha), a);
  // The frame arguments count: one file cut into another grid is another texture.
  TexturePtr grid = TTexture::LoadAnimTexture("rock_n.png", kTexColour, 16, 16, 0, 4);
  EXPECT_NE(grid, a);
  EXPECT_EQ(TTexture::LoadAnimTexture("rock_n.png", kTexColour, 16, 16, 0, 4), grid);
  EXPECT_EQ(grid->frame_count, 4);

  // The start-up filter makes 1 and 9 the same final flags, so the same texture.
  TTexture::TextureFilter("", kTexColour | kTexMipmapped);
  TTexture::TextureFilter("_n", kTexSphereMap);
  TexturePtr filtered = TTexture::LoadTexture("rock_n.png", kTexColour);
  EXPECT_EQ(filtered->flags, kTexColour | kTexMipmapped | kTexSphereMap);
  EXPECT_EQ(TTexture::LoadTexture("rock_n.png", kTexColour | kTexMipmapped), filtered);
  EXPECT_EQ(a->flags, kTexColour);  // made before the filters, kept its flags
  // Case-sensitive match text.
  EXPECT_EQ(TTexture::LoadTexture("Rock_N.png", kTexColour)->flags, kTexColour | kTexMipmapped);

  TTexture::ClearTextureFilters();
  EXPECT_TRUE(TTextureFilter::filter_list.IsEmpty());
  TexturePtr after = TTexture::LoadTexture("Rock_N.png", kTexColour);
  EXPECT_EQ(after->CountMipmaps(), 0);
  // Every creator appends, and the cache returned the others.
  EXPECT_EQ(TTexture::tex_list.Count(), 6u);
  EXPECT_EQ(TTexture::tex_list.Last(), after);
}

TEST_F(TextureTest, CacheKeyIsTheAbsoluteFileName) {
  const std::string root = scratch_->Path();
  std::filesystem::create_directories("a");
  std::filesystem::create_directories("b");
  ASSERT_TRUE(WriteImage("a/skin.png", ImageFile::kPng, 8, 8, Solid(kRed)));
  ASSERT_TRUE(WriteImage("b/skin.png", ImageFile::kPng, 8, 8, Solid(kBlue)));

  ChangeDir(root + "/a");
  TexturePtr in_a = TTexture::LoadTexture("skin.png", kTexColour);
  ChangeDir(root + "/b");
  TexturePtr in_b = TTexture::LoadTexture("skin.png", kTexColour);
  ASSERT_NE(in_a, nullptr);
  ASSERT_NE(in_b, nullptr);
  EXPECT_NE(in_a, in_b);  // a model reader that changed directory gets its own skin
  EXPECT_EQ(Texel(GL_TEXTURE_2D, Name(in_b), 0, 0, 0), kBlue);
  EXPECT_EQ(in_a->TextureName(), root + "/a/skin.png");

  // An absolute path is not prefixed again, and names the same file as in_a.
  EXPECT_EQ(TTexture::LoadTexture(root + "/a/skin.png", kTexColour), in_a);

  // A missing path falls back to the bare name in the current directory.
  TexturePtr found = TTexture::LoadTexture("textures/skin.png", kTexColour);
  EXPECT_EQ(found, in_b);
  EXPECT_EQ(found->file_name, "skin.png");
  EXPECT_EQ(found->TextureName(), root + "/b/skin.png");
}

TEST_F(TextureTest, FileSearchAndAbsoluteNames) {
  std::filesystem::create_directories("maps");
  ASSERT_TRUE(WriteImage("face.png", ImageFile::kPng, 2, 2, Solid(kRed)));
  ASSERT_TRUE(WriteImage("maps/face.png", ImageFile::kPng, 2, 2, Solid(kRed)));
  struct Find {
    const char* given;
    bool found;
    const char* result;
  } finds[] = {
      {"maps/face.png", true, "maps/face.png"},    // exists as given: unchanged
      {"maps\\skin/face.png", true, "face.png"},   // directories stripped, both kinds
      {"c:\\art\\face.png", true, "face.png"},
      {"maps", true, "maps"},                      // a directory exists too
      {"gone/none.png", false, "none.png"},
      {"", false, ""},
  };
  for (const Find& f : finds) {
    std::string name = f.given;
    messages_.clear();
    EXPECT_EQ(TTexture::FileFind(name), f.found) << f.given;
    EXPECT_EQ(name, f.result) << f.given;
    if (!f.found) {
      ASSERT_EQ(messages_.size(), 1u) << f.given;
      EXPECT_EQ(messages_[0], std::string("ERROR: Cannot find texture: ") + f.result);
    }
  }

  const std::string here = CurrentDir();
  const std::pair<std::string, std::string> abs[] = {
      {"x.png", here + "/x.png"},
      {"maps\\x.png", here + "/maps/x.png"},
      {"/srv/art/x.png", "/srv/art/x.png"},
      {"C:\\art\\x.png", "C:/art/x.png"},
      {"odd:name.png", here + "/odd:name.png"},  // a colon further on is not a drive
  };
  for (const auto& [given, expected] : abs) EXPECT_EQ(TTexture::FileAbs(given), expected) << given;

  EXPECT_EQ(TTexture::LoadTexture("nowhere/missing.png", kTexColour), nullptr);
  EXPECT_TRUE(TTexture::tex_list.IsEmpty());
}

TEST_F(TextureTest, FilesThatDoNotDecodeGiveNullAndAreNotCached) {
  const std::vector<uint8_t> png = EncodeImage(ImageFile::kPng, 16, 16, Solid(kRed));
  const std::vector<uint8_t> jpeg = EncodeImage(ImageFile::kJpeg, 16, 16, Solid(kRed));
  const std::vector<uint8_t> tga = EncodeImage(ImageFile::kTga, 16, 16, Solid(kRed));
  const std::vector<uint8_t> bmp = EncodeImage(ImageFile::kBmp, 16, 16, Solid(kRed));
  auto half = [](const std::vector<uint8_t>& b) { return std::vector<uint8_t>(b.begin(), b.begin() + b.size() / 2); };
  auto flipped = [](std::vector<uint8_t> b, size_t at) {
    for (size_t i = at; i < b.size(); ++i) b[i] ^= 0x5A;
    return b;
  };
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"empty", {}},
      {"text", {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'}},
      {"truncated png", half(png)},
      {"corrupt png", flipped(png, 16)},
      {"truncated jpeg", std::vector<uint8_t>(jpeg.begin(), jpeg.begin() + 40)},
      {"large jpeg cut after its first rows", half(EncodeImage(ImageFile::kJpeg, 512, 512, [](int x, int y) {
         const uint32_t v = uint32_t(x * 2654435761u) ^ uint32_t(y * 40503u);
         return Rgba{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), 255};
       }))},
      {"truncated tga", std::vector<uint8_t>(tga.begin(), tga.begin() + 30)},
      {"truncated bmp", std::vector<uint8_t>(bmp.begin(), bmp.begin() + 60)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(WriteBytes("bad.img", c.bytes));
    EXPECT_EQ(TTexture::LoadTexture("bad.img", kTexColour), nullptr);
    EXPECT_EQ(TTexture::LoadAnimTexture("bad.img", kTexColour, 4, 4, 0, 2), nullptr);
    EXPECT_EQ(TTexture::LoadCubeMapTexture("bad.img", kTexColour), nullptr);
    EXPECT_TRUE(TTexture::tex_list.IsEmpty());
  }
  std::filesystem::create_directories("folder.png");
  EXPECT_EQ(TTexture::LoadTexture("folder.png", kTexColour), nullptr);

  // Nothing was cached under the name: once the file is good it loads.
  ASSERT_TRUE(WriteBytes("bad.img", png));
  TexturePtr good = TTexture::LoadTexture("bad.img", kTexColour);
  ASSERT_NE(good, nullptr);
  EXPECT_EQ(Texel(GL_TEXTURE_2D, Name(good), 0, 3, 3), kRed);
}

// A progressive JPEG whose first scan lost its last bytes, as some exporters write
// them: libjpeg warns, fills the end with zeros and delivers every row, and so does
// the texture, at the image's size and with libjpeg's pixels.
TEST_F(TextureTest, JpegWithAScanEndingEarlyLoads) {
  TTexture::ClearTextureFilters();
  Bytes pixels;
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x)
      for (int c = 0; c < 3; ++c) pixels.push_back(uint8_t(x * 4 + y * (c + 1)));
  const Bytes damaged = DropScanTail(EncodeJpeg(64, 64, 3, pixels, 90, true), 0, 8);
  const PlainJpeg reference = DecodeJpegPlain(damaged);
  ASSERT_TRUE(reference.ok);
  ASSERT_FALSE(reference.warnings.empty());
  ASSERT_TRUE(WriteBytes("skin.jpg", damaged));

  TexturePtr texture = TTexture::LoadTexture("skin.jpg", kTexColour);
  ASSERT_NE(texture, nullptr);
  EXPECT_EQ(texture->TextureWidth(), 64);
  EXPECT_EQ(texture->TextureHeight(), 64);
  int differing = 0;
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) {
      const uint8_t* want = &reference.pixels[size_t(y * 64 + x) * 3];
      differing += Texel(GL_TEXTURE_2D, Name(texture), 0, x, y) != Rgba{want[0], want[1], want[2], 255};
    }
  EXPECT_EQ(differing, 0);
  EXPECT_TRUE(messages_.empty());

  // Cut short, it is refused, and nothing is cached under its name.
  ASSERT_TRUE(WriteBytes("cut.jpg", Bytes(damaged.begin(), damaged.end() - 40)));
  EXPECT_EQ(TTexture::LoadTexture("cut.jpg", kTexColour), nullptr);
  EXPECT_EQ(TTexture::tex_list.Count(), 1u);
}

TEST_F(TextureTest, AnimationFramesComeFromGridCellsRowByRow) {
  // 128 x 32: 8 x 2 cells of 16 x 16, each cell coloured by its number.
  auto cell_colour = [](int cell) { return Rgba{uint8_t(cell * 15), uint8_t(255 - cell), 7, 255}; };
  ASSERT_TRUE(WriteImage("cells.png", ImageFile::kPng, 128, 32,
                         [&](int x, int y) { return cell_colour(y / 16 * 8 + x / 16); }));
  struct Case {
    int first, count;
    std::vector<int> cells;
  } cases[] = {{9, 3, {9, 10, 11}}, {6, 3, {6, 7, 8}}, {0, 16, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}}};
  for (const Case& c : cases) {
    SCOPED_TRACE("first frame " + std::to_string(c.first));
    TexturePtr t = TTexture::LoadAnimTexture("cells.png", kTexColour, 16, 16, c.first, c.count);
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(t->frame_names->size(), c.cells.size());
    EXPECT_EQ(t->TextureWidth(), 16);
    for (size_t i = 0; i < c.cells.size(); ++i) {
      EXPECT_EQ(Texel(GL_TEXTURE_2D, Name(t, int(i)), 0, 8, 8), cell_colour(c.cells[i])) << "frame " << i;
    }
  }
  // 0 x 0 is one frame of the whole image.
  TexturePtr whole = TTexture::LoadAnimTexture("cells.png", kTexColour, 0, 0, 0, 1);
  EXPECT_EQ(whole->TextureWidth(), 128);
  EXPECT_EQ(whole->frame_names->size(), 1u);
}

TEST_F(TextureTest, FrameGridsOutsideTheImageGiveNull) {
  ASSERT_TRUE(WriteImage("cells.png", ImageFile::kPng, 128, 32, Solid(kGreen)));
  const int bad[][4] = {
      {200, 16, 0, 1},  // wider than the image
      {16, 64, 0, 1},   // taller
      {16, 0, 0, 1},    // only one size given
      {0, 16, 0, 1},
      {-16, 16, 0, 1},
      {16, 16, 15, 2},  // runs past the last cell
      {16, 16, -1, 1},
      {16, 16, 0, 0},
      {16, 16, 0, 1 << 30},
  };
  for (const auto& g : bad) {
    EXPECT_EQ(TTexture::LoadAnimTexture("cells.png", kTexColour, g[0], g[1], g[2], g[3]), nullptr)
        << g[0] << " x " << g[1] << ", first " << g[2] << ", count " << g[3];
  }
  EXPECT_TRUE(TTexture::tex_list.IsEmpty());
  EXPECT_NE(TTexture::LoadAnimTexture("cells.png", kTexColour, 16, 16, 14, 2), nullptr);
}

TEST_F(TextureTest, CreatedTexturesAndCubeMaps) {
  TTexture::TextureFilter("", kTexColour | kTexMipmapped);

  TexturePtr blank = TTexture::CreateTexture(16, 8, 0, 3);
  ASSERT_NE(blank, nullptr);
  EXPECT_EQ(blank->flags, kTexColour | kTexMipmapped);  // empty match text applies to the empty name
  EXPECT_EQ(blank->TextureName(), "");
  EXPECT_EQ(blank->frame_names->size(), 3u);
  EXPECT_NE(Name(blank, 0), Name(blank, 2));
  EXPECT_EQ(blank->CountMipmaps(), 4);
  EXPECT_EQ(Texel(GL_TEXTURE_2D, Name(blank, 1), 0, 5, 5), (Rgba{0, 0, 0, 0}));

  // Cube maps hand over from CreateTexture; the frame count is ignored, and the
  // creator ignores the filters.
  TexturePtr cube = TTexture::CreateTexture(32, 32, kTexCubeMap, 4);
  ASSERT_NE(cube, nullptr);
  EXPECT_EQ(cube->frame_count, 1);
  EXPECT_EQ(cube->frame_names->size(), 1u);
  EXPECT_EQ(cube->flags, kTexCubeMap);
  EXPECT_EQ(cube->CountMipmaps(), 0);
  EXPECT_EQ(cube->pixmap->Width(), 32 * kCubeFaces);

  // A loaded strip: face i from the i-th sixth, in the strip's target order; filters apply.
  const Rgba faces[kCubeFaces] = {{10, 0, 0, 255},  {20, 0, 0, 255},  {30, 0, 0, 255},
                                  {40, 0, 0, 255}, {50, 0, 0, 255}, {60, 0, 0, 255}};
  ASSERT_TRUE(WriteImage("sky.png", ImageFile::kPng, 6 * 8, 8, [&](int x, int) { return faces[x / 8]; }));
  TexturePtr sky = TTexture::LoadTexture("sky.png", kTexColour | kTexCubeMap);
  ASSERT_NE(sky, nullptr);
  EXPECT_EQ(sky->flags, kTexColour | kTexMipmapped | kTexCubeMap);
  EXPECT_EQ(sky->CountMipmaps(), 3);
  EXPECT_EQ(sky->TextureWidth(), 8);
  const GLenum order[kCubeFaces] = {GL_TEXTURE_CUBE_MAP_NEGATIVE_X, GL_TEXTURE_CUBE_MAP_POSITIVE_Z,
                                    GL_TEXTURE_CUBE_MAP_POSITIVE_X, GL_TEXTURE_CUBE_MAP_NEGATIVE_Z,
                                    GL_TEXTURE_CUBE_MAP_POSITIVE_Y, GL_TEXTURE_CUBE_MAP_NEGATIVE_Y};
  for (int f = 0; f < kCubeFaces; ++f) EXPECT_EQ(Texel(order[f], Name(sky), 0, 4, 4), faces[f]) << "face " << f;
  EXPECT_EQ(TTexture::LoadCubeMapTexture("sky.png", kTexColour | kTexCubeMap), sky);

  const int bad_sizes[][3] = {{0, 8, 1},
                              {8, 0, 1},
                              {8, 8, 0},
                              {-1, 8, 1},
                              {kMaxPixmapSide, kMaxPixmapSide, 2},
                              {1, 1, kMaxTextureFrames + 1},
                              {INT_MAX, INT_MAX, INT_MAX}};
  for (const auto& s : bad_sizes)
    EXPECT_EQ(TTexture::CreateTexture(s[0], s[1], 0, s[2]), nullptr) << s[0] << " x " << s[1] << " x " << s[2];
  EXPECT_EQ(TTexture::CreateCubeMapTexture(0, 8, 0), nullptr);
  EXPECT_EQ(TTexture::CreateCubeMapTexture(kMaxPixmapSide, kMaxPixmapSide, 0), nullptr);
  EXPECT_EQ(TTexture::tex_list.Count(), 3u);
}

// GL takes only square cube faces: sides that fit to one power of two make a cube map
// of that size, others none, whichever creator is asked.
TEST_F(TextureTest, CubeMapsAreMadeOnlyOfFacesThatFitSquare) {
  TTexture::ClearTextureFilters();
  const struct {
    int width, height;
    int side;  // 0: no cube map
  } cases[] = {{32, 16, 0}, {16, 32, 0}, {64, 31, 0}, {64, 33, 64}, {30, 32, 32}, {17, 32, 32}, {16, 16, 16}, {1, 1, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
    ASSERT_TRUE(WriteImage("strip.png", ImageFile::kPng, 6 * c.width, c.height, [](int, int) { return kRed; }));
    TexturePtr made[] = {TTexture::CreateTexture(c.width, c.height, kTexCubeMap, 1),
                         TTexture::CreateCubeMapTexture(c.width, c.height, kTexMipmapped),
                         TTexture::LoadCubeMapTexture("strip.png", kTexMipmapped)};
    for (const TexturePtr& t : made) {
      if (c.side == 0) {
        EXPECT_EQ(t, nullptr);
        continue;
      }
      ASSERT_NE(t, nullptr);
      EXPECT_EQ(t->TextureWidth(), c.side);
      EXPECT_EQ(t->TextureHeight(), c.side);
      glBindTexture(GL_TEXTURE_CUBE_MAP, Name(t));
      GLint w = 0;
      glGetTexLevelParameteriv(GL_TEXTURE_CUBE_MAP_NEGATIVE_Y, 0, GL_TEXTURE_WIDTH, &w);
      EXPECT_EQ(w, c.side);
      t->FreeTexture();
    }
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
  }
  EXPECT_EQ(TTexture::tex_list.Count(), 0u);
}

// All frames, or the six faces, lie side by side in one image: many frames or wide
// faces make it wider than a decoded file may be, and still every frame is made, with
// a GL name of its own and the sides asked for.
TEST_F(TextureTest, ManyFramesAndLargeCubeFacesAreAllMade) {
  TTexture::ClearTextureFilters();
  const struct {
    int width, height, flags, frames;
  } cases[] = {
      {256, 256, 0, 64},           {256, 256, 0, 65},          {64, 64, 0, 256},
      {64, 64, 0, 257},            {16, 16, 0, 1024},          {16, 16, 0, 1025},
      {2048, 2048, kTexCubeMap, 1}, {4096, 4096, kTexCubeMap, 1},  // cube faces are square
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << " x " << c.height << " flags " << c.flags << ", " << c.frames
                                    << " frames");
    TexturePtr t = TTexture::CreateTexture(c.width, c.height, c.flags, c.frames);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->TextureWidth(), c.width);
    EXPECT_EQ(t->TextureHeight(), c.height);
    const bool cube = (c.flags & kTexCubeMap) != 0;
    const size_t names = cube ? 1 : size_t(c.frames);
    ASSERT_EQ(t->frame_names->size(), names);
    const std::set<GLuint> distinct(t->frame_names->begin(), t->frame_names->end());
    EXPECT_EQ(distinct.size(), names);
    for (GLuint name : distinct) ASSERT_TRUE(name != 0 && glIsTexture(name)) << "name " << name;

    // GL holds the last frame, or every face, at the sides asked for.
    std::vector<GLenum> targets{GL_TEXTURE_2D};
    if (cube) {
      targets = {GL_TEXTURE_CUBE_MAP_NEGATIVE_X, GL_TEXTURE_CUBE_MAP_POSITIVE_Z, GL_TEXTURE_CUBE_MAP_POSITIVE_X,
                 GL_TEXTURE_CUBE_MAP_NEGATIVE_Z, GL_TEXTURE_CUBE_MAP_POSITIVE_Y, GL_TEXTURE_CUBE_MAP_NEGATIVE_Y};
    }
    glBindTexture(cube ? GL_TEXTURE_CUBE_MAP : GL_TEXTURE_2D, t->frame_names->back());
    for (GLenum target : targets) {
      GLint w = 0, h = 0;
      glGetTexLevelParameteriv(target, 0, GL_TEXTURE_WIDTH, &w);
      glGetTexLevelParameteriv(target, 0, GL_TEXTURE_HEIGHT, &h);
      EXPECT_EQ(w, c.width) << "target " << target;
      EXPECT_EQ(h, c.height) << "target " << target;
    }
    t->FreeTexture();  // its names and image go with t, before the next case
  }
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(TextureTest, BackBufferCopiesTheTopLeftArea) {
  // Top-left 16 x 16 green, the rest red (GL counts y from the bottom).
  while (glGetError() != GL_NO_ERROR) {
  }
  TGlobal::height = kRenderSize;
  glClearColor(1, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glEnable(GL_SCISSOR_TEST);
  glScissor(0, kRenderSize - 16, 16, 16);
  glClearColor(0, 1, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glDisable(GL_SCISSOR_TEST);

  TexturePtr t = TTexture::CreateTexture(16, 16, 0, 2);
  t->BackBufferToTex(0, 1);
  EXPECT_EQ(Texel(GL_TEXTURE_2D, Name(t, 1), 0, 0, 0), kGreen);
  EXPECT_EQ(Texel(GL_TEXTURE_2D, Name(t, 1), 0, 15, 15), kGreen);
  EXPECT_EQ(Texel(GL_TEXTURE_2D, Name(t, 0), 0, 0, 0), (Rgba{0, 0, 0, 0}));
  t->BackBufferToTex(0, 7);  // no such frame: nothing

  // Face 4 of the copy is negative y (the strip's face 4 is positive y); 6 is no face.
  TexturePtr cube = TTexture::CreateCubeMapTexture(16, 16, 0);
  cube->SetCubeFace(4);
  cube->BackBufferToCubeTex(0);
  cube->SetCubeFace(6);
  cube->BackBufferToCubeTex(0);
  EXPECT_EQ(Texel(GL_TEXTURE_CUBE_MAP_NEGATIVE_Y, Name(cube), 0, 3, 3), kGreen);
  EXPECT_EQ(Texel(GL_TEXTURE_CUBE_MAP_POSITIVE_Y, Name(cube), 0, 3, 3), (Rgba{0, 0, 0, 0}));
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

  // Any graphics height: the copy's bottom edge is what 32-bit arithmetic gives, never
  // an overflow, and the texture keeps its size.
  cube->SetCubeFace(0);
  for (int height : {INT_MIN, INT_MIN + 15, INT_MAX, -1}) {
    TGlobal::height = height;
    t->BackBufferToTex(0, 0);
    cube->BackBufferToCubeTex(0);
    GLint w = 0;
    glBindTexture(GL_TEXTURE_2D, Name(t, 0));
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    EXPECT_EQ(w, 16) << "height " << height;
  }
  TGlobal::height = kRenderSize;
}

TEST_F(TextureTest, SettingsAndBrushLayers) {
  TTexture t;
  t.PositionTexture(0.25f, 0.5f);
  t.ScaleTexture(2, 4);
  EXPECT_EQ(t.u_offset, -0.25f);
  EXPECT_EQ(t.v_offset, -0.5f);
  EXPECT_EQ(t.u_scale, 0.5f);
  EXPECT_EQ(t.v_scale, 0.25f);
  t.ScaleTexture(0, 1);
  EXPECT_TRUE(std::isinf(t.u_scale));

  auto brush = std::make_shared<TBrush>();
  auto tex = std::make_shared<TTexture>();
  brush->BrushTexture(tex, 0, 7);
  const std::pair<int, TexturePtr> layers[] = {{7, tex}, {0, nullptr}, {-1, nullptr}, {8, nullptr}};
  for (const auto& [index, expected] : layers) EXPECT_EQ(TTexture::GetBrushTexture(brush, index), expected) << index;
  EXPECT_EQ(TTexture::GetBrushTexture(nullptr, 0), nullptr);
}

TEST_F(TextureTest, FreedTexturesLeaveTheCacheAndTheirNamesGoWithTheLastHolder) {
  ASSERT_TRUE(WriteImage("slot.png", ImageFile::kPng, 4, 4, Solid(kRed)));
  // Two slots of the previewer with the same file share one texture.
  TexturePtr first = TTexture::LoadTexture("slot.png", kTexColour);
  TexturePtr second = TTexture::LoadTexture("slot.png", kTexColour);
  ASSERT_EQ(first, second);
  const GLuint name = Name(first);
  ASSERT_TRUE(glIsTexture(name));
  // A copy of the texture shares the array, so the names stay while it lives.
  auto copy = std::make_shared<TTexture>(*first);

  first->FreeTexture();
  EXPECT_FALSE(TTexture::tex_list.Contains(first.get()));
  EXPECT_TRUE(first->frame_names->empty());
  EXPECT_EQ(first->pixmap, nullptr);
  EXPECT_EQ(first->frame_count, 1);  // nothing else changes
  EXPECT_TRUE(glIsTexture(name));
  copy.reset();
  EXPECT_FALSE(glIsTexture(name));

  // A reload makes a new texture; reloading again and again leaks no names.
  TexturePtr reloaded = TTexture::LoadTexture("slot.png", kTexColour);
  EXPECT_NE(reloaded, first);
  EXPECT_EQ(Texel(GL_TEXTURE_2D, Name(reloaded), 0, 0, 0), kRed);
  std::vector<GLuint> seen;
  for (int i = 0; i < 5; ++i) {
    TexturePtr t = TTexture::LoadTexture("slot.png", kTexColour | kTexAlpha);
    seen.push_back(Name(t));
    t->FreeTexture();
  }
  for (GLuint n : seen) EXPECT_FALSE(glIsTexture(n)) << n;
}

TEST_F(TextureTest, NamesAreDeletedOnlyInTheContextThatMadeThem) {
  ASSERT_TRUE(WriteImage("one.png", ImageFile::kPng, 4, 4, Solid(kRed)));
  TexturePtr in_first = TTexture::LoadTexture("one.png", kTexColour);
  TTexture::tex_list.Remove(in_first.get());  // held by this test alone from here on

  auto other = TOffscreenContext::Create(kRenderSize, kRenderSize);
  ASSERT_NE(other, nullptr);
  TexturePtr in_other = TTexture::LoadTexture("one.png", kTexColour);
  TTexture::tex_list.Remove(in_other.get());
  // Fresh contexts hand out the same numbers: dropping one context's texture while
  // the other is current must leave the other's texture alone.
  ASSERT_EQ(Name(in_other), Name(in_first));
  const GLuint shared_number = Name(in_first);

  in_first.reset();
  EXPECT_TRUE(glIsTexture(shared_number));  // still the other context's

  // The other context goes first; its texture outlives it and is dropped in ours,
  // where the same number is still the texture first made here (left behind: it was
  // dropped while the other context was current).
  other.reset();
  ASSERT_TRUE(Context().MakeCurrent());
  ASSERT_TRUE(glIsTexture(shared_number));
  in_other.reset();
  EXPECT_TRUE(glIsTexture(shared_number));
}

// Without a current context GL answers nothing, so no size fits.
TEST(TextureWithoutContext, NoSizeFitsRaisesTheFatalError) {
  SetFatalHandler(ThrowFatalError);
  ResetEngine();
  try {
    TTexture::CreateTexture(4, 4, 0, 1);
    ADD_FAILURE() << "no fatal error";
  } catch (const FatalError& e) {
    EXPECT_STREQ(e.what(), "Unable to calculate tex size");
  }
  EXPECT_TRUE(TTexture::tex_list.IsEmpty());
  SetFatalHandler(nullptr);
}
