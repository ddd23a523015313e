// Brushes: defaults and colour scaling, the texture-layer and frame rules, copies
// that share textures, painting an entity brush, and the brush comparison.
#include "engine/mesh/brush.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>

#include "engine/mesh/surface.h"
#include "engine/mesh/texture.h"

namespace {

TexturePtr MakeTexture(int frames = 1) {
  auto texture = std::make_shared<TTexture>();
  texture->frame_count = frames;
  texture->frame_names = std::make_shared<std::vector<unsigned>>(frames, 0u);
  return texture;
}

void ExpectDefaultValues(const TBrush& b) {
  EXPECT_EQ(b.name, "");
  EXPECT_EQ(b.alpha, 1.0f);
  EXPECT_EQ(b.shininess, 0.0f);
  EXPECT_EQ(b.blend, 0);
  EXPECT_EQ(b.fx, 0);
  EXPECT_EQ(b.texture_frame, 0);
}

}  // namespace

TEST(Brush, NewBrushIsWhiteOpaqueAndUntextured) {
  for (const BrushPtr& b : {std::make_shared<TBrush>(), TBrush::CreateBrush()}) {
    ExpectDefaultValues(*b);
    EXPECT_EQ(b->red, 1.0f);
    EXPECT_EQ(b->green, 1.0f);
    EXPECT_EQ(b->blue, 1.0f);
    EXPECT_EQ(b->layer_count, 0);
    for (const auto& t : b->textures) EXPECT_EQ(t, nullptr);
  }
}

TEST(Brush, ColourIsDividedBy255AndNotClamped) {
  const struct {
    float in[3];
    float out[3];
  } cases[] = {
      {{255, 128, 0}, {1.0f, 128.0f / 255.0f, 0.0f}},
      {{510, -255, 25.5f}, {2.0f, -1.0f, 0.1f}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.in[0]) + ", " + std::to_string(c.in[1]) + ", " +
                 std::to_string(c.in[2]));
    BrushPtr created = TBrush::CreateBrush(c.in[0], c.in[1], c.in[2]);
    BrushPtr set = TBrush::CreateBrush();
    set->BrushColor(c.in[0], c.in[1], c.in[2]);
    for (const BrushPtr& b : {created, set}) {
      EXPECT_FLOAT_EQ(b->red, c.out[0]);
      EXPECT_FLOAT_EQ(b->green, c.out[1]);
      EXPECT_FLOAT_EQ(b->blue, c.out[2]);
    }
  }
}

TEST(Brush, BrushTextureGrowsLayerCountAndClampsTheFrame) {
  TexturePtr still = MakeTexture(1);
  TexturePtr four = MakeTexture(4);
  const struct {
    const char* name;
    TexturePtr texture;
    int frame, index;
    int layer_count, texture_frame;
  } steps[] = {
      // One brush through the whole table: each step sees the previous ones.
      {"layer 3 on a new brush", four, 2, 3, 4, 2},
      {"lower layer keeps the count", still, 0, 1, 4, 0},
      {"negative frame", four, -5, 0, 4, 0},
      {"frame past the last", four, 9, 2, 4, 3},
      {"still texture", still, 3, 5, 6, 0},
      {"null texture keeps frame >= 0", nullptr, -3, 2, 6, 0},
      {"null texture keeps the frame", nullptr, 7, 7, 8, 7},
      {"index -1 ignored", four, 1, -1, 8, 7},
      {"index 8 ignored", four, 1, 8, 8, 7},
  };
  TBrush b;
  for (const auto& s : steps) {
    SCOPED_TRACE(s.name);
    const auto layers_before = b.textures;
    b.BrushTexture(s.texture, s.frame, s.index);
    EXPECT_EQ(b.layer_count, s.layer_count);
    EXPECT_EQ(b.texture_frame, s.texture_frame);
    for (int i = 0; i < kMaxTextureLayers; ++i) {
      EXPECT_EQ(b.textures[i], i == s.index ? s.texture : layers_before[i]) << "layer " << i;
    }
  }
  EXPECT_EQ(b.textures[0], four);
  EXPECT_EQ(b.textures[1], still);
  EXPECT_EQ(b.textures[2], nullptr);
  EXPECT_EQ(b.textures[3], four);
  EXPECT_EQ(b.textures[4], nullptr);  // never set, below layer_count
}

TEST(Brush, ReplacingALayerDropsTheOldTexture) {
  TBrush b;
  TexturePtr old_texture = MakeTexture();
  std::weak_ptr<TTexture> watch = old_texture;
  b.BrushTexture(old_texture, 0, 0);
  old_texture.reset();
  ASSERT_FALSE(watch.expired());
  b.BrushTexture(MakeTexture(), 0, 0);
  EXPECT_TRUE(watch.expired());
}

TEST(Brush, CopyIsSeparateButSharesTextures) {
  TexturePtr texture = MakeTexture(3);
  BrushPtr b = TBrush::CreateBrush(10, 20, 30);
  b->name = "skin";
  b->BrushAlpha(0.25f);
  b->BrushShininess(0.5f);
  b->BrushBlend(kBlendAdd);
  b->BrushFX(kFxFullBright | kFxNoFog);
  b->BrushTexture(texture, 2, 4);

  BrushPtr c = b->Copy();
  ASSERT_NE(c, b);
  EXPECT_EQ(c->name, "skin");
  EXPECT_EQ(c->red, b->red);
  EXPECT_EQ(c->green, b->green);
  EXPECT_EQ(c->blue, b->blue);
  EXPECT_EQ(c->alpha, 0.25f);
  EXPECT_EQ(c->shininess, 0.5f);
  EXPECT_EQ(c->blend, kBlendAdd);
  EXPECT_EQ(c->fx, kFxFullBright | kFxNoFog);
  EXPECT_EQ(c->texture_frame, 2);
  EXPECT_EQ(c->layer_count, 5);
  EXPECT_EQ(c->textures, b->textures);  // the same texture objects

  c->BrushAlpha(1.0f);
  c->BrushTexture(nullptr, 0, 4);
  EXPECT_EQ(b->alpha, 0.25f);
  EXPECT_EQ(b->textures[4], texture);
  // A texture change shows through both brushes.
  BrushPtr d = b->Copy();
  texture->blend = 3;
  EXPECT_EQ(d->textures[4]->blend, 3);
}

TEST(Brush, PaintFromTakesEverythingButTheFrame) {
  TBrush source;
  source.name = "cloth";
  source.BrushColor(0, 51, 255);
  source.BrushAlpha(0.5f);
  source.BrushShininess(0.75f);
  source.BrushBlend(kBlendMultiply);
  source.BrushFX(kFxNoCulling);
  source.BrushTexture(MakeTexture(8), 5, 1);  // layer_count 2, frame 5

  TBrush target;
  target.BrushTexture(MakeTexture(4), 3, 6);  // layers source lacks
  target.BrushTexture(MakeTexture(4), 3, 0);
  target.PaintFrom(source);
  EXPECT_EQ(target.texture_frame, 3);
  EXPECT_EQ(target.layer_count, 2);
  EXPECT_EQ(target.name, "cloth");
  EXPECT_EQ(target.textures, source.textures);  // layers 0 and 6 now empty
  target.texture_frame = source.texture_frame;
  EXPECT_EQ(TBrush::CompareBrushes(std::make_shared<TBrush>(target),
                                   std::make_shared<TBrush>(source)),
            1);
  EXPECT_EQ(target.alpha, 0.5f);
  EXPECT_EQ(target.blend, kBlendMultiply);
}

TEST(Brush, CompareBrushes) {
  TexturePtr base_texture = MakeTexture(2);
  auto make = [&] {
    BrushPtr b = TBrush::CreateBrush(200, 100, 50);
    b->BrushAlpha(0.5f);
    b->BrushShininess(0.25f);
    b->BrushBlend(kBlendAlpha);
    b->BrushFX(kFxVertexColours);
    b->BrushTexture(base_texture, 0, 0);
    b->BrushTexture(base_texture, 1, 2);
    return b;
  };
  // A texture that is a distinct object but holds the same frame-name array.
  auto twin = [&] {
    auto t = std::make_shared<TTexture>(*base_texture);
    t->file_name = "other.png";
    t->flags = kTexAlpha;
    t->u_scale = 2.0f;
    t->angle = 45.0f;
    return t;
  };
  const struct {
    const char* change;
    std::function<void(TBrush&)> apply;
    int equal;
  } cases[] = {
      {"nothing", [](TBrush&) {}, 1},
      {"name", [](TBrush& b) { b.name = "x"; }, 1},
      {"texture_frame", [](TBrush& b) { b.texture_frame = 1; }, 1},
      {"layer_count, same layers", [](TBrush& b) { b.layer_count = 8; }, 0},
      {"red", [](TBrush& b) { b.red = std::nextafter(b.red, 2.0f); }, 0},
      {"green", [](TBrush& b) { b.green = std::nextafter(b.green, 2.0f); }, 0},
      {"blue", [](TBrush& b) { b.blue = std::nextafter(b.blue, 2.0f); }, 0},
      {"alpha 0.5000001", [](TBrush& b) { b.alpha = 0.5000001f; }, 0},
      {"shininess", [](TBrush& b) { b.shininess = 0.2500001f; }, 0},
      {"blend", [](TBrush& b) { b.blend = kBlendAdd; }, 0},
      {"fx", [](TBrush& b) { b.fx |= kFxFlatShading; }, 0},
      {"texture past layer_count", [&](TBrush& b) { b.textures[7] = base_texture; }, 0},
      {"layer emptied", [](TBrush& b) { b.textures[2] = nullptr; }, 0},
      {"twin texture", [&](TBrush& b) { b.textures[0] = twin(); }, 1},
      {"equal frame names, other array", [&](TBrush& b) { b.textures[0] = MakeTexture(2); }, 0},
      {"texture blend",
       [&](TBrush& b) {
         b.textures[0] = twin();
         b.textures[0]->blend = 3;
       },
       0},
      {"texture coord_set",
       [&](TBrush& b) {
         b.textures[2] = twin();
         b.textures[2]->coord_set = 1;
       },
       0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.change);
    BrushPtr a = make();
    BrushPtr b = make();
    c.apply(*b);
    EXPECT_EQ(TBrush::CompareBrushes(a, b), c.equal);
    EXPECT_EQ(TBrush::CompareBrushes(b, a), c.equal);
  }

  BrushPtr b = make();
  EXPECT_EQ(TBrush::CompareBrushes(nullptr, nullptr), 1);
  EXPECT_EQ(TBrush::CompareBrushes(b, nullptr), 0);
  EXPECT_EQ(TBrush::CompareBrushes(nullptr, b), 0);
}

TEST(Brush, GetSurfaceBrushCopiesAndIsNullWithoutABrush) {
  EXPECT_EQ(TBrush::GetSurfaceBrush(nullptr), nullptr);
  auto surface = std::make_shared<TSurface>();
  EXPECT_EQ(TBrush::GetSurfaceBrush(surface), nullptr);

  BrushPtr painted = TBrush::CreateBrush(0, 255, 0);
  surface->PaintSurface(painted);
  BrushPtr got = TBrush::GetSurfaceBrush(surface);
  ASSERT_NE(got, nullptr);
  EXPECT_NE(got, painted);
  EXPECT_EQ(TBrush::CompareBrushes(got, painted), 1);
  got->BrushAlpha(0.0f);
  EXPECT_EQ(surface->brush->alpha, 1.0f);
}

TEST(Brush, LoadBrushOfAMissingFileHasOneEmptyLayer) {
  BrushPtr b = TBrush::LoadBrush("no-such-file.png", kTexColour | kTexMipmapped, 4.0f, 0.5f);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->layer_count, 1);
  for (const auto& t : b->textures) EXPECT_EQ(t, nullptr);
  ExpectDefaultValues(*b);
}
