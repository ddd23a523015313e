// Mesh drawing on real GL, read back as pixels: brush colour under full-bright and
// ambient light, vertex colours, blending, culling, texture layers and their combine
// modes, the texture matrix, animation frames, cube-map faces, the per-surface alpha
// test, and surfaces or layers that must be skipped rather than drawn.
//
// No camera here: each test loads an orthographic view of x, y in -1..1 itself and
// calls TMesh::Update directly, in the order it wants the meshes drawn.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "engine/mesh/brush.h"
#include "engine/mesh/mesh.h"
#include "engine/mesh/sprite.h"
#include "engine/mesh/surface.h"
#include "engine/mesh/texture.h"
#include "engine/scene/global.h"
#include "platform/gl.h"
#include "support/render_fixture.h"
#include "test_images.h"

namespace {

constexpr Rgba kBlack{0, 0, 0, 255};
constexpr Rgba kRed{255, 0, 0, 255};
constexpr Rgba kGreen{0, 255, 0, 255};
constexpr Rgba kBlue{0, 0, 255, 255};
constexpr Rgba kWhite{255, 255, 255, 255};

std::string Show(Rgba c) {
  return "(" + std::to_string(c[0]) + ", " + std::to_string(c[1]) + ", " + std::to_string(c[2]) + ")";
}

// Colour channels only: the alpha written to the buffer is no part of the picture.
bool Near(Rgba a, Rgba b, int tolerance = 2) {
  for (int i = 0; i < 3; ++i)
    if (std::abs(int(a[i]) - int(b[i])) > tolerance) return false;
  return true;
}

// A quad over x0..x1, y0..y1 at public depth z, uv (0, 0) at its top-left corner,
// facing the viewer (or away from it), normals toward the viewer.
void AddQuad(TSurface& s, float x0, float y0, float x1, float y1, float z = 0, bool facing_away = false) {
  const int v0 = s.AddVertex(x0, y1, z, 0, 0);
  s.AddVertex(x1, y1, z, 1, 0);
  s.AddVertex(x1, y0, z, 1, 1);
  s.AddVertex(x0, y0, z, 0, 1);
  for (int v = v0; v < v0 + 4; ++v) s.VertexNormal(v, 0, 0, -1);
  if (facing_away) {
    s.AddTriangle(v0, v0 + 2, v0 + 1);
    s.AddTriangle(v0, v0 + 3, v0 + 2);
  } else {
    s.AddTriangle(v0, v0 + 1, v0 + 2);
    s.AddTriangle(v0, v0 + 2, v0 + 3);
  }
}

MeshPtr QuadMesh(float x0, float y0, float x1, float y1, float z = 0, const BrushPtr& surface_brush = nullptr,
                 bool facing_away = false) {
  MeshPtr mesh = TMesh::CreateMesh();
  AddQuad(*mesh->CreateSurface(surface_brush), x0, y0, x1, y1, z, facing_away);
  return mesh;
}

MeshPtr FullScreen(const BrushPtr& surface_brush = nullptr) { return QuadMesh(-1, -1, 1, 1, 0, surface_brush); }

class DrawTest : public RenderTest {
 protected:
  void SetUp() override {
    RenderTest::SetUp();
    TGlobal::GraphicsInit();
    TTexture::ClearTextureFilters();  // exact texels: no mip chains unless a test asks
    glDisable(GL_FOG);                // a camera would set fog; there is none here
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-1, 1, -1, 1, -10, 10);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    Clear();
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    scratch_ = std::make_unique<ScratchDir>(std::string(info->test_suite_name()) + "-" + info->name());
    while (glGetError() != GL_NO_ERROR) {
    }
  }
  void TearDown() override {
    scratch_.reset();
    RenderTest::TearDown();
  }

  static void Clear() {
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  }

  // A solid-colour texture from a PNG written for it (the cache gives the same object
  // back for the same colour).
  static TexturePtr SolidTexture(Rgba colour, int flags = kTexColour) {
    const std::string file = "solid_" + std::to_string(colour[0]) + "_" + std::to_string(colour[1]) + "_" +
                             std::to_string(colour[2]) + "_" + std::to_string(colour[3]) + ".png";
    EXPECT_TRUE(WriteImage(file, ImageFile::kPng, 4, 4, Solid(colour)));
    return TTexture::LoadTexture(file, flags);
  }

  std::unique_ptr<ScratchDir> scratch_;
};

}  // namespace

TEST_F(DrawTest, BrushColourUnderFullBrightAmbientAndVertexColours) {
  struct Case {
    const char* name;
    Rgba entity_colour;
    int entity_fx;
    bool surface_brush;
    Rgba surface_colour;
    int surface_fx;
    float ambient;
    Rgba vertex_colour;
    Rgba expected;
  } cases[] = {
      {"full-bright", {255, 0, 0, 255}, kFxFullBright, false, {}, 0, 0.5f, kWhite, {255, 0, 0, 255}},
      {"lit by the ambient light alone", {255, 0, 0, 255}, 0, false, {}, 0, 0.5f, kWhite, {128, 0, 0, 255}},
      {"a dimmer world", kWhite, 0, false, {}, 0, 0.25f, kWhite, {64, 64, 64, 255}},
      {"vertex colours, full-bright", kWhite, kFxFullBright | kFxVertexColours, false, {}, 0, 0.5f, kGreen, kGreen},
      {"vertex colours, lit", kRed, kFxVertexColours, false, {}, 0, 0.5f, {0, 200, 0, 255}, {0, 100, 0, 255}},
      {"vertex colours ignored without the fx", kRed, kFxFullBright, false, {}, 0, 0.5f, kGreen, kRed},
      {"entity and surface colours multiply", {255, 255, 0, 255}, kFxFullBright, true, {255, 128, 255, 255}, 0,
       0.5f, kWhite, {255, 128, 0, 255}},
      {"the surface's fx joins the entity's", kWhite, 0, true, kWhite, kFxFullBright, 0.5f, kWhite, kWhite},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Clear();
    TGlobal::ambient_red = TGlobal::ambient_green = TGlobal::ambient_blue = c.ambient;
    BrushPtr sb;
    if (c.surface_brush) {
      sb = TBrush::CreateBrush(c.surface_colour[0], c.surface_colour[1], c.surface_colour[2]);
      sb->fx = c.surface_fx;
    }
    MeshPtr mesh = FullScreen(sb);
    mesh->EntityColor(c.entity_colour[0], c.entity_colour[1], c.entity_colour[2]);
    mesh->EntityFX(c.entity_fx);
    SurfacePtr s = mesh->GetSurface(1);
    for (int v = 0; v < 4; ++v) s->VertexColor(v, c.vertex_colour[0], c.vertex_colour[1], c.vertex_colour[2], 1);
    mesh->Update();
    EXPECT_TRUE(Near(Pixel(32, 32), c.expected)) << Show(Pixel(32, 32));
    mesh->FreeEntity();
  }
}

TEST_F(DrawTest, MaterialComesFromTheMergedBrushes) {
  struct Case {
    float entity_shininess, surface_shininess, fade, expected_specular, expected_alpha;
  } cases[] = {
      {0.5f, 0.4f, 0, 0.2f, 1},
      {0.0f, 0.4f, 0, 0.16f, 1},  // the surface's value, then multiplied by itself
      {0.5f, 0.0f, 0, 0.5f, 1},
      {0.0f, 0.0f, 0.3f, 0.0f, 0.7f},  // fading lowers the material alpha
  };
  for (const Case& c : cases) {
    BrushPtr sb = TBrush::CreateBrush();
    sb->shininess = c.surface_shininess;
    MeshPtr mesh = FullScreen(sb);
    mesh->EntityShininess(c.entity_shininess);
    mesh->fade_amount = c.fade;
    mesh->Update();
    float specular[4], diffuse[4];
    glGetMaterialfv(GL_FRONT, GL_SPECULAR, specular);
    glGetMaterialfv(GL_FRONT, GL_DIFFUSE, diffuse);
    EXPECT_FLOAT_EQ(specular[0], c.expected_specular) << c.entity_shininess << " with " << c.surface_shininess;
    EXPECT_FLOAT_EQ(diffuse[3], c.expected_alpha) << "fade " << c.fade;
    mesh->FreeEntity();
  }
}

TEST_F(DrawTest, WhichMeshesAndSurfacesAreBlended) {
  const TexturePtr alpha_texture = std::make_shared<TTexture>();
  alpha_texture->flags = kTexAlpha;
  struct Case {
    const char* name;
    std::function<void(TMesh&, TBrush&)> set;
    int expected;
  } cases[] = {
      {"opaque", [](TMesh&, TBrush& b) { b.blend = kBlendAlpha; }, 0},
      {"surface alpha 0.5", [](TMesh&, TBrush& b) { b.alpha = 0.5f; }, 1},
      {"multiply", [](TMesh&, TBrush& b) { b.blend = kBlendMultiply; }, 1},
      {"add on the entity", [](TMesh& m, TBrush&) { m.brush->blend = kBlendAdd; }, 1},
      {"forced by fx 32", [](TMesh&, TBrush& b) { b.fx = kFxForceBlend; }, 1},
      {"alpha texture in layer 0", [&](TMesh&, TBrush& b) { b.BrushTexture(alpha_texture, 0, 0); }, 1},
      {"alpha texture in layer 1 only", [&](TMesh&, TBrush& b) { b.BrushTexture(alpha_texture, 0, 1); }, 0},
      {"fading", [](TMesh& m, TBrush&) { m.fade_amount = 0.3f; }, 1},
  };
  for (const Case& c : cases) {
    MeshPtr mesh = TMesh::CreateMesh();
    BrushPtr b = TBrush::CreateBrush();
    SurfacePtr with_brush = mesh->CreateSurface(b);
    SurfacePtr without = mesh->CreateSurface();
    c.set(*mesh, *b);
    EXPECT_EQ(mesh->Alpha(nullptr), c.expected) << c.name;
    EXPECT_EQ(mesh->Alpha(with_brush), c.expected) << c.name;
    mesh->FreeEntity();
  }
  // Only the blended surface of a mesh counts as blended, and the mesh with it.
  MeshPtr mesh = TMesh::CreateMesh();
  BrushPtr half = TBrush::CreateBrush();
  half->alpha = 0.5f;
  SurfacePtr opaque = mesh->CreateSurface(TBrush::CreateBrush());
  SurfacePtr blended = mesh->CreateSurface(half);
  EXPECT_EQ(mesh->Alpha(opaque), 0);
  EXPECT_EQ(mesh->Alpha(blended), 1);
  EXPECT_EQ(mesh->Alpha(nullptr), 1);
}

TEST_F(DrawTest, BlendModesOverABackground) {
  constexpr Rgba kBackground{200, 100, 50, 255};
  struct Case {
    const char* name;
    Rgba colour;
    float alpha;
    int entity_blend;
    int surface_blend;  // -1: no surface brush
    float fade;
    Rgba expected;
  } cases[] = {
      {"opaque", {10, 20, 30, 255}, 1, kBlendNone, -1, 0, {10, 20, 30, 255}},
      {"alpha 0.5", kWhite, 0.5f, kBlendNone, -1, 0, {228, 178, 153, 255}},
      {"multiply", {128, 255, 0, 255}, 1, kBlendMultiply, -1, 0, {100, 100, 0, 255}},
      {"add", {50, 50, 50, 255}, 1, kBlendAdd, -1, 0, {250, 150, 100, 255}},
      {"entity add wins over surface multiply", {50, 50, 50, 255}, 1, kBlendAdd, kBlendMultiply, 0,
       {250, 150, 100, 255}},
      {"entity none takes surface multiply", {128, 255, 0, 255}, 1, kBlendNone, kBlendMultiply, 0,
       {100, 100, 0, 255}},
      {"faded halfway", kWhite, 1, kBlendNone, -1, 0.5f, {228, 178, 153, 255}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Clear();
    MeshPtr back = QuadMesh(-1, -1, 1, 1, 5);
    back->EntityColor(kBackground[0], kBackground[1], kBackground[2]);
    back->EntityFX(kFxFullBright);
    BrushPtr sb;
    if (c.surface_blend >= 0) {
      sb = TBrush::CreateBrush();
      sb->blend = c.surface_blend;
    }
    MeshPtr front = QuadMesh(-0.5f, -0.5f, 0.5f, 0.5f, 1, sb);
    front->EntityColor(c.colour[0], c.colour[1], c.colour[2]);
    front->EntityAlpha(c.alpha);
    front->brush->blend = c.entity_blend;
    front->EntityFX(kFxFullBright);
    front->fade_amount = c.fade;
    back->Update();
    front->Update();
    EXPECT_TRUE(Near(Pixel(32, 32), c.expected)) << Show(Pixel(32, 32));
    EXPECT_TRUE(Near(Pixel(4, 4), kBackground)) << Show(Pixel(4, 4));
    back->FreeEntity();
    front->FreeEntity();
  }

  // A blended surface writes no depth: an opaque one drawn later behind it still shows.
  Clear();
  MeshPtr glass = QuadMesh(-1, -1, 1, 1, 1);
  glass->EntityFX(kFxFullBright);
  glass->EntityAlpha(0.5f);
  MeshPtr wall = QuadMesh(-1, -1, 1, 1, 5);
  wall->EntityFX(kFxFullBright);
  wall->EntityColor(0, 255, 0);
  glass->Update();
  wall->Update();
  EXPECT_TRUE(Near(Pixel(32, 32), kGreen)) << Show(Pixel(32, 32));
}

TEST_F(DrawTest, BackFacesAreCulledUnlessTheFxSaysBothSides) {
  struct Case {
    bool facing_away;
    int entity_fx, surface_fx;
    Rgba expected;
  } cases[] = {
      {false, kFxFullBright, 0, kRed},
      {true, kFxFullBright, 0, kBlack},
      {true, kFxFullBright | kFxNoCulling, 0, kRed},
      {true, kFxFullBright, kFxNoCulling, kRed},  // the surface's bit joins the entity's
  };
  for (const Case& c : cases) {
    Clear();
    BrushPtr sb = TBrush::CreateBrush();
    sb->fx = c.surface_fx;
    MeshPtr mesh = QuadMesh(-1, -1, 1, 1, 0, sb, c.facing_away);
    mesh->EntityColor(255, 0, 0);
    mesh->EntityFX(c.entity_fx);
    mesh->Update();
    EXPECT_TRUE(Near(Pixel(32, 32), c.expected))
        << (c.facing_away ? "facing away" : "facing") << ", fx " << c.entity_fx << "/" << c.surface_fx << ": "
        << Show(Pixel(32, 32));
    mesh->FreeEntity();
  }
}

TEST_F(DrawTest, TextureLayersAndTheirBlendModes) {
  struct Layer {
    Rgba texel;
    int blend;
    int index;
    bool on_surface;  // in the surface brush instead of the entity's
  };
  struct Case {
    const char* name;
    Rgba brush_colour;
    std::vector<Layer> layers;
    Rgba expected;
    int tolerance;
  } cases[] = {
      {"modulate", {255, 0, 255, 255}, {{{128, 128, 128, 255}, kTexBlendModulate, 0, false}}, {128, 0, 128, 255}, 2},
      {"replace", {0, 0, 255, 255}, {{{10, 200, 30, 255}, kTexBlendReplace, 0, false}}, {10, 200, 30, 255}, 2},
      {"add", {100, 0, 0, 255}, {{{0, 100, 0, 255}, kTexBlendAdd, 0, false}}, {100, 100, 0, 255}, 2},
      {"modulate 2x", {100, 100, 100, 255}, {{{128, 128, 128, 255}, kTexBlendModulate2x, 0, false}},
       {100, 100, 100, 255}, 3},
      // 4 x ((1 - 0.5)(0.75 - 0.5) + ...) = 0.5, not scaled by the 2x mode before it.
      {"dot3", {192, 128, 128, 255}, {{{255, 128, 128, 255}, kTexBlendDot3, 0, false}}, {129, 129, 129, 255}, 4},
      {"unknown mode modulates", {255, 0, 255, 255}, {{{128, 128, 128, 255}, 9, 0, false}}, {128, 0, 128, 255}, 2},
      {"two layers", kWhite,
       {{kRed, kTexBlendModulate, 0, false}, {{0, 100, 0, 255}, kTexBlendAdd, 1, false}}, {255, 100, 0, 255}, 2},
      {"the entity's layer wins", kWhite,
       {{kRed, kTexBlendModulate, 0, false}, {kGreen, kTexBlendModulate, 0, true}}, kRed, 2},
      {"a surface layer beyond the entity's count", kWhite,
       {{kRed, kTexBlendModulate, 0, false}, {{0, 100, 0, 255}, kTexBlendAdd, 1, true}}, {255, 100, 0, 255}, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Clear();
    BrushPtr sb = TBrush::CreateBrush();
    MeshPtr mesh = FullScreen(sb);
    mesh->EntityColor(c.brush_colour[0], c.brush_colour[1], c.brush_colour[2]);
    mesh->EntityFX(kFxFullBright);
    for (const Layer& l : c.layers) {
      TexturePtr t = SolidTexture(l.texel);
      ASSERT_NE(t, nullptr);
      t->TextureBlend(l.blend);
      if (l.on_surface) {
        sb->BrushTexture(t, 0, l.index);
      } else {
        mesh->EntityTexture(t, 0, l.index);
      }
    }
    mesh->Update();
    EXPECT_TRUE(Near(Pixel(32, 32), c.expected, c.tolerance)) << Show(Pixel(32, 32));
    mesh->FreeEntity();
  }
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(DrawTest, TextureMatrixScalesMovesAndRotates) {
  // Four flat quadrants: red top-left, green top-right, blue bottom-left, white bottom-right.
  ASSERT_TRUE(WriteImage("quads.png", ImageFile::kPng, 4, 4, [](int x, int y) {
    return y < 2 ? (x < 2 ? kRed : kGreen) : (x < 2 ? kBlue : kWhite);
  }));
  struct Sample {
    int x, y;
    Rgba colour;
  };
  struct Case {
    const char* name;
    std::function<void(TTexture&)> set;
    std::vector<Sample> samples;
  } cases[] = {
      {"as loaded", [](TTexture&) {}, {{16, 16, kRed}, {48, 16, kGreen}, {16, 48, kBlue}, {48, 48, kWhite}}},
      {"moved half across", [](TTexture& t) { t.PositionTexture(0.5f, 0); },
       {{16, 16, kGreen}, {48, 16, kRed}, {16, 48, kWhite}, {48, 48, kBlue}}},
      {"scaled to half: repeats twice", [](TTexture& t) { t.ScaleTexture(0.5f, 0.5f); },
       {{8, 8, kRed}, {24, 8, kGreen}, {8, 24, kBlue}, {24, 24, kWhite}, {40, 8, kRed}, {56, 56, kWhite}}},
      {"rotated a quarter turn", [](TTexture& t) { t.RotateTexture(90); },
       {{16, 16, kGreen}, {48, 16, kWhite}, {16, 48, kRed}, {48, 48, kBlue}}},
      // Scaled first, moved last: u' = 2u - 0.25 (the other order would give 2(u - 0.25)).
      {"scaled, then moved", [](TTexture& t) {
         t.ScaleTexture(0.5f, 0.5f);
         t.PositionTexture(0.25f, 0);
       },
       {{12, 4, kRed}, {28, 4, kGreen}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Clear();
    TexturePtr t = TTexture::LoadTexture("quads.png", kTexColour);
    ASSERT_NE(t, nullptr);
    t->ScaleTexture(1, 1);  // the cached texture keeps the last case's settings
    t->PositionTexture(0, 0);
    t->RotateTexture(0);
    c.set(*t);
    MeshPtr mesh = FullScreen();
    mesh->EntityFX(kFxFullBright);
    mesh->EntityTexture(t);
    mesh->Update();
    for (const Sample& s : c.samples)
      EXPECT_TRUE(Near(Pixel(s.x, s.y), s.colour, 3)) << "at " << s.x << ", " << s.y << ": " << Show(Pixel(s.x, s.y));
    mesh->FreeEntity();
  }
}

TEST_F(DrawTest, AnimatedTexturesDrawTheMergedFrameClampedToTheirFrames) {
  const Rgba frames[4] = {kRed, kGreen, kBlue, {255, 255, 0, 255}};
  ASSERT_TRUE(WriteImage("frames.png", ImageFile::kPng, 8, 2, [&](int x, int) { return frames[x / 2]; }));
  TexturePtr anim = TTexture::LoadAnimTexture("frames.png", kTexColour, 2, 2, 0, 4);
  ASSERT_NE(anim, nullptr);
  struct Case {
    int entity_frame;
    bool surface_brush;
    int surface_frame;
    Rgba expected;
  } cases[] = {
      {0, false, 0, frames[0]},
      {2, false, 0, frames[2]},
      {9, false, 0, frames[3]},  // EntityTexture clamps
      {0, true, 1, frames[1]},   // the surface brush's frame decides
      {1, true, 9, frames[3]},   // and is clamped to the entity's texture when drawn
      {1, true, -5, frames[0]},
  };
  for (const Case& c : cases) {
    Clear();
    BrushPtr sb;
    if (c.surface_brush) {
      sb = TBrush::CreateBrush();
      sb->texture_frame = c.surface_frame;
    }
    MeshPtr mesh = FullScreen(sb);
    mesh->EntityFX(kFxFullBright);
    mesh->EntityTexture(anim, c.entity_frame, 0);
    mesh->Update();
    EXPECT_TRUE(Near(Pixel(32, 32), c.expected))
        << "entity frame " << c.entity_frame << ", surface frame " << c.surface_frame << ": " << Show(Pixel(32, 32));
    mesh->FreeEntity();
  }
}

TEST_F(DrawTest, CubeMapFacesFollowTheNormalInWorldAxes) {
  const Rgba faces[kCubeFaces] = {{250, 0, 0, 255}, {0, 250, 0, 255}, {0, 0, 250, 255},
                                  {250, 250, 0, 255}, {0, 250, 250, 255}, {250, 0, 250, 255}};
  ASSERT_TRUE(WriteImage("sky.png", ImageFile::kPng, 6 * 4, 4, [&](int x, int) { return faces[x / 4]; }));
  TexturePtr sky = TTexture::LoadTexture("sky.png", kTexColour | kTexCubeMap);
  ASSERT_NE(sky, nullptr);
  sky->SetCubeMode(2);  // normal map: the face the normal points at
  struct Case {
    float nx, ny, nz;  // public normal
    float view_roll;   // degrees the view turns about its z axis
    int face;          // position in the strip
  } cases[] = {
      {-1, 0, 0, 0, 0}, {0, 0, 1, 0, 1}, {1, 0, 0, 0, 2}, {0, 0, -1, 0, 3}, {0, -1, 0, 0, 4}, {0, 1, 0, 0, 5},
      {1, 0, 0, 90, 2},  // a turned view still looks the normal up in world axes
  };
  for (const Case& c : cases) {
    Clear();
    glLoadIdentity();
    glRotatef(c.view_roll, 0, 0, 1);
    MeshPtr mesh = FullScreen();
    SurfacePtr s = mesh->GetSurface(1);
    for (int v = 0; v < 4; ++v) s->VertexNormal(v, c.nx, c.ny, c.nz);
    mesh->EntityFX(kFxFullBright);
    mesh->EntityTexture(sky);
    mesh->Update();
    EXPECT_TRUE(Near(Pixel(32, 32), faces[c.face], 3))
        << "normal " << c.nx << ", " << c.ny << ", " << c.nz << ", roll " << c.view_roll << ": " << Show(Pixel(32, 32));
    mesh->FreeEntity();
  }
  glLoadIdentity();
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(DrawTest, AlphaTestIsOnOnlyForMaskedSurfaces) {
  // Left half transparent, right half opaque red; masked, so the test keeps alpha >= 0.5.
  ASSERT_TRUE(WriteImage("mask.png", ImageFile::kPng, 4, 4,
                         [](int x, int) { return x < 2 ? Rgba{255, 0, 0, 0} : kRed; }));
  TexturePtr mask = TTexture::LoadTexture("mask.png", kTexColour | kTexMasked);
  BrushPtr masked = TBrush::CreateBrush();
  masked->BrushTexture(mask, 0, 0);
  BrushPtr faint = TBrush::CreateBrush();
  faint->alpha = 0.3f;  // below the alpha test's 0.5: a test left on would drop it

  MeshPtr mesh = TMesh::CreateMesh();
  mesh->EntityFX(kFxFullBright);
  AddQuad(*mesh->CreateSurface(masked), -1, 0, 0, 1);  // top left
  AddQuad(*mesh->CreateSurface(faint), -1, -1, 1, 0);  // bottom
  AddQuad(*mesh->CreateSurface(masked), 0, 0, 1, 1);   // top right, masked again after the faint one
  mesh->Update();

  const struct {
    int x, y;
    Rgba expected;
  } samples[] = {
      {8, 16, kBlack},             // transparent texels of the masked quad are dropped
      {24, 16, kRed},
      {40, 16, kBlack},
      {56, 16, kRed},
      {32, 48, {77, 77, 77, 255}},  // the faint surface drawn blended, not dropped
  };
  for (const auto& s : samples)
    EXPECT_TRUE(Near(Pixel(s.x, s.y), s.expected)) << "at " << s.x << ", " << s.y << ": " << Show(Pixel(s.x, s.y));
  EXPECT_FALSE(glIsEnabled(GL_ALPHA_TEST));
}

TEST_F(DrawTest, LayersWithoutAValidFrameAreSkipped) {
  TexturePtr shared = SolidTexture(kGreen);
  ASSERT_EQ(SolidTexture(kGreen), shared);  // two slots with one file share the texture
  BrushPtr slot_a = TBrush::CreateBrush();
  BrushPtr slot_b = TBrush::CreateBrush();
  slot_a->BrushTexture(shared, 0, 0);
  slot_b->BrushTexture(shared, 0, 0);

  // Slot A reloads its file: the shared texture is freed while slot B still holds it.
  shared->FreeTexture();
  TexturePtr reloaded = SolidTexture(kGreen);
  ASSERT_NE(reloaded, shared);
  slot_a->BrushTexture(reloaded, 0, 0);

  BrushPtr never_uploaded = TBrush::CreateBrush();
  never_uploaded->BrushTexture(std::make_shared<TTexture>(), 0, 0);  // name 0

  MeshPtr mesh = TMesh::CreateMesh();
  mesh->EntityFX(kFxFullBright);
  AddQuad(*mesh->CreateSurface(slot_a), -1, 0, 0, 1);
  AddQuad(*mesh->CreateSurface(slot_b), 0, 0, 1, 1);
  AddQuad(*mesh->CreateSurface(never_uploaded), -1, -1, 1, 0);
  mesh->Update();
  EXPECT_TRUE(Near(Pixel(16, 16), kGreen)) << Show(Pixel(16, 16));
  EXPECT_TRUE(Near(Pixel(48, 16), kWhite)) << Show(Pixel(48, 16));  // drawn untextured
  EXPECT_TRUE(Near(Pixel(32, 48), kWhite)) << Show(Pixel(32, 48));
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

// A triangle may name a vertex not added yet (or past the arrays): that triangle is
// left out, the surface's other triangles still draw.
TEST_F(DrawTest, TrianglesNamingMissingVerticesAreLeftOutOfTheirSurface) {
  MeshPtr mesh = TMesh::CreateMesh();
  mesh->EntityFX(kFxFullBright);
  SurfacePtr good = mesh->CreateSurface();
  AddQuad(*good, -1, 0, 1, 1);
  SurfacePtr bad = mesh->CreateSurface();
  AddQuad(*bad, -1, -1, 0, 0);
  bad->AddTriangle(0, 1, 3000);  // a vertex that was never added
  SurfacePtr lost = mesh->CreateSurface();
  AddQuad(*lost, 0, -1, 1, 0);
  lost->ClearSurface(1, 0);  // its triangles name only vertices that are gone
  mesh->CreateSurface();     // empty
  // Animated without deformed copies: the surface's own positions are drawn.
  mesh->animated = 1;
  mesh->draw_deformed = 1;
  mesh->Update();
  EXPECT_TRUE(Near(Pixel(32, 16), kWhite)) << Show(Pixel(32, 16));
  EXPECT_TRUE(Near(Pixel(16, 48), kWhite)) << Show(Pixel(16, 48));
  EXPECT_TRUE(Near(Pixel(48, 48), kBlack)) << Show(Pixel(48, 48));
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

// The check follows the triangles as they come and go: a triangle added before its
// vertices draws once the last vertex it names is there, and clearing the triangles
// forgets the indices they named.
TEST_F(DrawTest, TrianglesAddedBeforeTheirVerticesDrawOnceTheVerticesAreThere) {
  MeshPtr mesh = TMesh::CreateMesh();
  mesh->EntityFX(kFxFullBright);
  SurfacePtr s = mesh->CreateSurface();
  s->AddTriangle(0, 1, 2);  // the upper right half
  s->AddTriangle(0, 2, 3);  // the lower left half
  const float corners[4][2] = {{-1, 1}, {1, 1}, {1, -1}, {-1, -1}};
  struct Step {
    const char* what;
    std::function<void()> run;
    bool upper, lower;
  };
  const Step steps[] = {
      {"no vertices", [] {}, false, false},
      {"three of four vertices",
       [&] {
         for (int v = 0; v < 3; ++v) s->AddVertex(corners[v][0], corners[v][1], 0);
       },
       true, false},
      {"the fourth vertex", [&] { s->AddVertex(corners[3][0], corners[3][1], 0); }, true, true},
      {"a triangle naming vertex 4", [&] { s->AddTriangle(0, 1, 4); }, true, true},
      {"triangles cleared and added again",
       [&] {
         s->ClearSurface(0, 1);
         s->AddTriangle(0, 1, 2);
         s->AddTriangle(0, 2, 3);
       },
       true, true},
      {"vertices cleared", [&] { s->ClearSurface(1, 0); }, false, false},
  };
  for (const Step& step : steps) {
    step.run();
    Clear();
    mesh->Update();
    EXPECT_TRUE(Near(Pixel(54, 10), step.upper ? kWhite : kBlack)) << step.what << ": " << Show(Pixel(54, 10));
    EXPECT_TRUE(Near(Pixel(10, 54), step.lower ? kWhite : kBlack)) << step.what << ": " << Show(Pixel(10, 54));
  }
}

TEST_F(DrawTest, StateLeftByAMesh) {
  struct Case {
    int order, fx;
    bool fog_before;
    bool depth_test_after, fog_after;
  } cases[] = {
      {0, 0, true, true, true},
      {1, 0, true, false, true},
      {0, kFxNoFog, true, true, true},  // off for the surface, back on after it
      {0, kFxNoFog, false, true, false},
      {-1, kFxNoFog, false, false, false},
  };
  for (const Case& c : cases) {
    if (c.fog_before) {
      glEnable(GL_FOG);
    } else {
      glDisable(GL_FOG);
    }
    MeshPtr mesh = FullScreen();
    mesh->EntityOrder(c.order);
    mesh->EntityFX(c.fx);
    mesh->Update();
    EXPECT_EQ(glIsEnabled(GL_DEPTH_TEST) == GL_TRUE, c.depth_test_after) << "order " << c.order;
    EXPECT_EQ(glIsEnabled(GL_FOG) == GL_TRUE, c.fog_after) << "fx " << c.fx << ", fog " << c.fog_before;
    GLboolean depth_writes = GL_FALSE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &depth_writes);
    EXPECT_EQ(depth_writes, GL_TRUE) << "an opaque surface writes depth whatever the order";
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    mesh->FreeEntity();
  }
  glDisable(GL_FOG);

  // An ordered mesh draws over a nearer one drawn before it.
  Clear();
  MeshPtr near_mesh = QuadMesh(-1, -1, 1, 1, 1);
  near_mesh->EntityFX(kFxFullBright);
  MeshPtr far_mesh = QuadMesh(-1, -1, 1, 1, 5);
  far_mesh->EntityFX(kFxFullBright);
  far_mesh->EntityColor(0, 0, 255);
  far_mesh->EntityOrder(1);
  near_mesh->Update();
  far_mesh->Update();
  EXPECT_TRUE(Near(Pixel(32, 32), kBlue)) << Show(Pixel(32, 32));
}

TEST_F(DrawTest, SpritesDrawWithTheirSpriteMatrix) {
  SpritePtr sprite = TSprite::CreateSprite();
  sprite->surfaces = QuadMesh(-0.25f, -0.25f, 0.25f, 0.25f)->surfaces;  // a quarter of its own square
  sprite->EntityFX(kFxFullBright);
  sprite->sprite_matrix.LoadIdentity();
  sprite->sprite_matrix.Translate(0.5f, 0.5f, 0);  // top right, while the entity sits at the centre
  sprite->Update();
  EXPECT_TRUE(Near(Pixel(32, 32), kBlack)) << Show(Pixel(32, 32));
  EXPECT_TRUE(Near(Pixel(48, 16), kWhite)) << Show(Pixel(48, 16));
}
