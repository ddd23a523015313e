// The 2D aids and the entity inspector on the off-screen context: where Text puts its
// ink and what GL state it leaves, the pointer speeds, UpdateValue, and TDebug's key
// stepping, highlighting, pages and marker sphere. Keys and the pointer are scripted
// through the platform's polled input state, as the GUI layer feeds it. Page texts are
// read back from the pixels, cell by cell against the font itself.
#include <algorithm>
#include <climits>
#include <cmath>
#include <initializer_list>
#include <string>
#include <vector>

#include "engine/commands/commands.h"
#include "engine/commands/debug_overlay.h"
#include "engine/mesh/brush.h"
#include "engine/mesh/mesh.h"
#include "engine/scene/camera.h"
#include "engine/scene/global.h"
#include "platform/font8x16.h"
#include "platform/gl.h"
#include "platform/input.h"
#include "support/render_fixture.h"

namespace {

using namespace velmora;

// Big enough for the inspector's pages, which reach down to y 476 and right to x 400.
constexpr int kSide = 512;
constexpr Rgba kWhite = {255, 255, 255, 255};

class Overlay : public RenderTest {
 protected:
  void SetUp() override {
    RenderTest::SetUp();
    ASSERT_TRUE(Context().Resize(kSide, kSide));
    TGlobal::width = TGlobal::height = kSide;
    TGlobal::GraphicsInit();
    FlushKeys();
    FlushMouse();
    InputPointerAt(0, 0);
    SetPointerOriginHook(nullptr);
  }
  void TearDown() override {
    FlushKeys();
    InputPointerAt(0, 0);
    RenderTest::TearDown();
  }

  // One inspector frame on a cleared buffer, with these keys pressed since the last.
  void Frame(const EntityPtr& entity, std::initializer_list<int> keys = {}, const CameraPtr& camera = nullptr) {
    for (int key : keys) {
      InputKeyDown(key);
      InputKeyUp(key);
    }
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    EXPECT_EQ(TDebug::DebugEntity(entity, camera), 0);
  }

  // The text at pixel (x, y) of the context, one 8 x 16 cell per character: '?' for a
  // cell that is no glyph of the font; trailing blanks dropped.
  std::string ReadLine(int x, int y) const {
    const std::vector<uint8_t> pixels = context_->ReadPixels();
    auto ink = [&](int px, int py) {
      if (px < 0 || py < 0 || px >= kSide || py >= kSide) return false;
      const uint8_t* p = &pixels[(size_t(py) * kSide + size_t(px)) * 4];
      return p[0] > 250 && p[1] > 250 && p[2] > 250;
    };
    std::string line;
    for (int cell_x = x; cell_x + kFontGlyphWidth <= kSide; cell_x += kFontGlyphWidth) {
      char found = '?';
      for (int g = 0; g < kFontGlyphCount && found == '?'; ++g) {
        bool same = true;
        for (int row = 0; row < kFontGlyphHeight && same; ++row) {
          for (int col = 0; col < kFontGlyphWidth && same; ++col) {
            same = ink(cell_x + col, y + row) == bool(kFont8x16[g][row] & (0x80 >> col));
          }
        }
        if (same) found = char(kFontFirstCode + g);
      }
      line += found;
    }
    return line.erase(line.find_last_not_of(' ') + 1);
  }
};

// Empty when `after` is `before` with white ink exactly where the font puts text's
// glyphs, top-left at context pixel (left, top); else the first pixel that differs.
std::string InkMismatch(const std::vector<uint8_t>& before, const std::vector<uint8_t>& after,
                        const std::string& text, int left, int top) {
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; ++x) {
      bool inked = false;
      const int cell = x - left < 0 ? -1 : (x - left) / kFontGlyphWidth, row = y - top;
      if (cell >= 0 && cell < int(text.size()) && row >= 0 && row < kFontGlyphHeight) {
        const int code = static_cast<unsigned char>(text[cell]);
        if (code >= kFontFirstCode && code <= kFontLastCode) {
          inked = kFont8x16[code - kFontFirstCode][row] & (0x80 >> ((x - left) % kFontGlyphWidth));
        }
      }
      const size_t at = (size_t(y) * kSide + size_t(x)) * 4;
      for (int c = 0; c < 3; ++c) {
        const int want = inked ? 255 : before[at + c];
        if (after[at + c] != want) {
          return "pixel " + std::to_string(x) + "," + std::to_string(y) + (inked ? " should be ink" : " should be unchanged");
        }
      }
    }
  }
  return "";
}

GLuint BlackTexture() {
  const uint8_t black[4 * 4 * 4] = {};
  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 4, 4, 0, GL_RGBA, GL_UNSIGNED_BYTE, black);
  return name;
}

bool IsIdentity(const GLfloat (&m)[16]) {
  for (int i = 0; i < 16; ++i) {
    if (m[i] != (i % 5 == 0 ? 1.0f : 0.0f)) return false;
  }
  return true;
}

// ==== Text ==================================================================================

// Over a rendered scene, with every state set that would spoil the ink if Text or
// GLDrawText left it on: a black texture on two units, depth and alpha tests that pass
// nothing, fog that paints everything black.
TEST_F(Overlay, TextDrawsWhiteInkOverTheSceneAndLeavesTheStateAsSaid) {
  CameraPtr camera = CreateCamera(nullptr);
  CameraClsColor(camera, 0, 0, 200);
  MeshPtr cube = CreateCube(nullptr);
  PositionEntity(cube, 0, 0, 4, 0);
  EntityColor(cube, 255, 0, 0);
  RenderWorld();

  const GLuint texture = BlackTexture();
  ASSERT_GE(GlMaxTextureUnits(), 2);
  for (GLenum unit : {GL_TEXTURE1, GL_TEXTURE0}) {
    GlActiveTexture(unit);
    glBindTexture(GL_TEXTURE_2D, texture);
    glEnable(GL_TEXTURE_2D);
  }
  GlActiveTexture(GL_TEXTURE1);  // Text resets this unit's texture matrix, then picks unit 0
  GlClientActiveTexture(GL_TEXTURE1);
  glMatrixMode(GL_TEXTURE);
  glScalef(2, 2, 2);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(-3, 3, -3, 3, -3, 3);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glTranslatef(1, 2, 3);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_NEVER);
  glEnable(GL_ALPHA_TEST);
  glAlphaFunc(GL_NEVER, 0);
  glEnable(GL_CULL_FACE);
  glEnable(GL_FOG);
  glFogi(GL_FOG_MODE, GL_LINEAR);
  glFogf(GL_FOG_START, -2);
  glFogf(GL_FOG_END, -1);
  const GLfloat black[4] = {0, 0, 0, 1};
  glFogfv(GL_FOG_COLOR, black);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 8);
  glColor3f(0.2f, 0.3f, 0.4f);
  GLfloat projection[16], modelview[16];
  glGetFloatv(GL_PROJECTION_MATRIX, projection);
  glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
  ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR));

  const std::vector<uint8_t> before = Context().ReadPixels();
  EXPECT_EQ(Text(200, 250, "Hi, Zq!"), 0);
  const std::vector<uint8_t> after = Context().ReadPixels();
  EXPECT_EQ(InkMismatch(before, after, "Hi, Zq!", 200, 250), "");
  EXPECT_EQ(Pixel(200 + 1, 250 + 5), kWhite) << "the 'H' stem over the cube";

  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
  GLint value = 0;
  glGetIntegerv(GL_MATRIX_MODE, &value);
  EXPECT_EQ(value, GL_TEXTURE) << "the texture matrix stays current";
  glGetIntegerv(GL_ACTIVE_TEXTURE, &value);
  EXPECT_EQ(value, GL_TEXTURE0);
  glGetIntegerv(GL_CLIENT_ACTIVE_TEXTURE, &value);
  EXPECT_EQ(value, GL_TEXTURE0);
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D)) << "unit 0";
  EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  for (GLenum cap : {GL_DEPTH_TEST, GL_ALPHA_TEST, GL_CULL_FACE, GL_FOG}) EXPECT_TRUE(glIsEnabled(cap)) << cap;
  glGetIntegerv(GL_DEPTH_FUNC, &value);
  EXPECT_EQ(value, GL_NEVER);
  glGetIntegerv(GL_BLEND_DST, &value);
  EXPECT_EQ(value, GL_ONE_MINUS_SRC_ALPHA);
  glGetIntegerv(GL_UNPACK_ALIGNMENT, &value);
  EXPECT_EQ(value, 8);
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &value);
  EXPECT_EQ(GLuint(value), texture);
  GLfloat colour[4], matrix[16];
  glGetFloatv(GL_CURRENT_COLOR, colour);
  EXPECT_EQ(colour[0] + colour[1] + colour[2] + colour[3], 4.0f) << "white";
  glGetFloatv(GL_PROJECTION_MATRIX, matrix);
  EXPECT_TRUE(std::equal(matrix, matrix + 16, projection));
  glGetFloatv(GL_MODELVIEW_MATRIX, matrix);
  EXPECT_TRUE(std::equal(matrix, matrix + 16, modelview));
  GlActiveTexture(GL_TEXTURE1);
  EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D)) << "unit 1 as it was";
  glGetFloatv(GL_TEXTURE_MATRIX, matrix);
  EXPECT_TRUE(IsIdentity(matrix)) << "the unit active on entry";
  glDeleteTextures(1, &texture);
}

TEST_F(Overlay, TextPlacesCellsInTheViewportAndLeavesOtherCodesEmpty) {
  struct Case {
    const char* name;
    int viewport[4];  // GL's: left, bottom, width, height
    std::string text;
    int x, y;
    int left, top;  // where the first cell's corner lands, from the context's top-left
  };
  const Case cases[] = {
      {"whole context", {0, 0, kSide, kSide}, "Hello", 3, 7, 3, 7},
      {"off the left: the second glyph still shows", {0, 0, kSide, kSide}, "AB", -8, 0, -8, 0},
      {"off the top", {0, 0, kSide, kSide}, "A", 0, -10, 0, -10},
      {"off the bottom right", {0, 0, kSide, kSide}, "gy", 500, 500, 500, 500},
      {"from the viewport's top-left", {100, 100, 200, 150}, "Q", 5, 6, 105, kSide - 250 + 6},
      {"control, Latin-1 and UTF-8 bytes leave empty cells; DEL is drawn",
       {0, 0, kSide, kSide}, "A\x01" "B\xe9" "C\xc3\xa9" "D\x7f", 0, 0, 0, 0},
      {"nothing for no text", {0, 0, kSide, kSide}, "", 10, 10, 10, 10},
  };
  for (const Case& c : cases) {
    glViewport(c.viewport[0], c.viewport[1], c.viewport[2], c.viewport[3]);
    glScissor(0, 0, kSide, kSide);
    glClear(GL_COLOR_BUFFER_BIT);
    const std::vector<uint8_t> before = Context().ReadPixels();
    Text(c.x, c.y, c.text);
    EXPECT_EQ(InkMismatch(before, Context().ReadPixels(), c.text, c.left, c.top), "") << c.name;
  }
  glViewport(0, 0, kSide, kSide);
  glClear(GL_COLOR_BUFFER_BIT);
  Text(0, 0, "A\x01" "B\x80");
  EXPECT_EQ(ReadLine(0, 0), "A B");
}

TEST_F(Overlay, TextBlendsWithTheCurrentBlendFunction) {
  glClear(GL_COLOR_BUFFER_BIT);
  glBlendFunc(GL_ZERO, GL_ONE);  // keeps the destination: blending on means no ink
  Text(0, 0, "Hidden");
  EXPECT_EQ(ReadLine(0, 0), "");
  glBlendFunc(GL_ONE, GL_ZERO);
  Text(0, 0, "Shown");
  EXPECT_EQ(ReadLine(0, 0), "Shown");
}

// ==== Pointer and easing ====================================================================

TEST_F(Overlay, MouseSpeedsAreMovementSinceTheSameFunctionsLastCall) {
  // The context's corner sits at (100, 50) on the screen.
  SetPointerOriginHook([](int& x, int& y) {
    x = 100;
    y = 50;
    return true;
  });
  struct Step {
    const char* name;
    int screen_x, screen_y;
    int want_x, want_y;
  };
  const Step steps[] = {
      {"the first call gives the position itself", 130, 90, 30, 40},
      {"no movement", 130, 90, 0, 0},
      {"left and down", 125, 100, -5, 10},
  };
  for (const Step& s : steps) {
    InputPointerAt(s.screen_x, s.screen_y);
    EXPECT_EQ(MouseXSpeed(), s.want_x) << s.name;
    EXPECT_EQ(MouseYSpeed(), s.want_y) << s.name;
  }
  // Each keeps its own last position: y still counts from the last MouseYSpeed.
  InputPointerAt(135, 100);
  EXPECT_EQ(MouseXSpeed(), 10);
  InputPointerAt(135, 110);
  EXPECT_EQ(MouseXSpeed(), 0);
  EXPECT_EQ(MouseYSpeed(), 10);

  SetPointerOriginHook(nullptr);
  EXPECT_EQ(MouseX(), 135) << "no context: the screen position";
  // Jumps across the whole int range clamp instead of wrapping.
  InputPointerAt(INT_MIN, INT_MAX);
  EXPECT_EQ(MouseXSpeed(), INT_MIN);
  EXPECT_EQ(MouseYSpeed(), INT_MAX - 60);
  InputPointerAt(INT_MAX, INT_MIN);
  EXPECT_EQ(MouseXSpeed(), INT_MAX);
  EXPECT_EQ(MouseYSpeed(), INT_MIN);
}

TEST(UpdateValue, MovesThatFractionOfTheWay) {
  struct Case {
    float current, target, rate, want;
  };
  const Case cases[] = {
      {3, 10, 0, 3}, {3, 10, 1, 10}, {3, 10, 0.5f, 6.5f}, {10, 3, 0.25f, 8.25f}, {-2, 2, 2, 6},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TUtility::UpdateValue(c.current, c.target, c.rate), c.want)
        << c.current << " -> " << c.target << " at " << c.rate;
  }
}

// ==== Inspector =============================================================================

bool IsColour(const EntityPtr& e, float r, float g, float b) {
  return e->brush->red == r && e->brush->green == g && e->brush->blue == b;
}

// root (a cube) with a, then b under a, then c: numbered 0 root, 1 a, 2 b, 3 c.
class Inspector : public Overlay {
 protected:
  void SetUp() override {
    Overlay::SetUp();
    root = CreateCube(nullptr);
    NameEntity(root, "root");
    a = CreatePivot(root);
    NameEntity(a, "a");
    b = CreatePivot(a);
    NameEntity(b, "b");
    c = CreatePivot(root);
    NameEntity(c, "c");
  }
  MeshPtr root;
  EntityPtr a, b, c;
};

TEST_F(Inspector, KeysStepThroughTheSubtreeAndClamp) {
  struct Step {
    const char* name;
    std::initializer_list<int> keys;
    int want;
    const char* title;
  };
  const Step steps[] = {
      {"no key: the entity itself", {}, 0, "0. root (Mesh)"},
      {"',' at 0 stays", {188}, 0, "0. root (Mesh)"},
      {"'.' three times between frames counts once", {190, 190, 190}, 1, "1. a (Pivot)"},
      {"depth first: a's child next", {190}, 2, "2. b (Pivot)"},
      {"'.' and ',' together cancel", {190, 188}, 2, "2. b (Pivot)"},
      {"then the next child", {190}, 3, "3. c (Pivot)"},
      {"'.' at N stays", {190}, 3, "3. c (Pivot)"},
      {"','", {188}, 2, "2. b (Pivot)"},
  };
  for (const Step& s : steps) {
    Frame(root, s.keys);
    EXPECT_EQ(TDebug::cno, s.want) << s.name;
    EXPECT_EQ(ReadLine(0, 80), s.title) << s.name;
  }
  FreeEntity(a);  // N drops from 3 to 1
  Frame(root);
  EXPECT_EQ(TDebug::cno, 1);
  EXPECT_EQ(ReadLine(0, 80), "1. c (Pivot)");
  EXPECT_EQ(KeyHit(190) + KeyHit(188), 0) << "the inspector took every hit";
}

TEST_F(Inspector, SelectionIsRedAndTheOneLeftTurnsWhite) {
  EntityColor(root, 0, 255, 0);
  EntityColor(a, 0, 0, 255);
  Frame(root);
  EXPECT_TRUE(IsColour(root, 1, 0, 0));
  EXPECT_TRUE(IsColour(a, 0, 0, 1)) << "not selected yet: keeps its colour";
  Frame(root, {190});
  EXPECT_TRUE(IsColour(root, 1, 1, 1)) << "left: white, not its old green";
  EXPECT_TRUE(IsColour(a, 1, 0, 0));
  Frame(root, {188});
  EXPECT_TRUE(IsColour(a, 1, 1, 1));
  EXPECT_TRUE(IsColour(root, 1, 0, 0));

  // A program may set the index past the subtree: the entity itself is restored, then
  // the index is clamped.
  TDebug::cno = INT_MAX;
  Frame(root, {190});
  EXPECT_EQ(TDebug::cno, 3);
  EXPECT_TRUE(IsColour(c, 1, 0, 0));
}

TEST_F(Inspector, TransformPageSnapsValuesNearZero) {
  PivotPtr q = CreatePivot(nullptr);
  PositionEntity(q, 0, 0, 5, 0);
  PivotPtr p = CreatePivot(q);
  NameEntity(p, "p");
  PositionEntity(p, 0.00005f, 2.5f, -3, 0);
  RotateEntity(p, 0, 90, 0, 0);
  Frame(p);
  struct Line {
    int x, y;
    const char* want;
  };
  const Line lines[] = {
      {0, 80, "0. p (Pivot)"},
      {0, 120, "X (g): 0.00000000"},
      {0, 140, "Y: 2.50000000"},
      {0, 160, "Z: 2.00000000"},
      {0, 180, "Pitch: 0.00000000"},
      {0, 200, "Yaw: 90.0000000"},
      {0, 220, "Roll: 0.00000000"},
      {0, 260, "X (l): 0.00000000"},
      {0, 300, "Z: -3.00000000"},
      {0, 340, "Yaw: 90.0000000"},
      // The world matrix by rows, in the stored frame (z negated): yaw 90 about y.
      {0, 400, "0.00000000"},
      {200, 400, "1.00000000"},
      {300, 400, "0.00000000"},
      {100, 420, "1.00000000"},
      {300, 420, "2.50000000"},
      {0, 440, "-1.00000000"},
      {300, 440, "-2.00000000"},
      {300, 460, "1.00000000"},
  };
  for (const Line& l : lines) EXPECT_EQ(ReadLine(l.x, l.y).substr(0, std::string(l.want).size()), l.want) << l.y;
  EXPECT_EQ(ReadLine(0, 400).substr(0, 11), "0.00000000 ") << "cells end before the next column";
}

TEST_F(Inspector, PagesFollowTheNumberKeys) {
  // A flat mesh: one quad in the x-z plane.
  MeshPtr flat = CreateMesh(nullptr);
  NameEntity(flat, "flat");
  SurfacePtr s = CreateSurface(flat, nullptr);
  AddVertex(s, -1, 0, -2, 0, 0, 0);
  AddVertex(s, 1, 0, -2, 0, 0, 0);
  AddVertex(s, 1, 0, 2, 0, 0, 0);
  AddVertex(s, -1, 0, 2, 0, 0, 0);
  AddTriangle(s, 0, 1, 2);
  AddTriangle(s, 0, 2, 3);

  Frame(flat, {50});
  EXPECT_EQ(TDebug::info, 2);
  const char* mesh_page[] = {"Surfaces: 1.00000000", "Vertices: 4.00000000",   "Triangles: 2.00000000",
                             "Mesh Width: 2.00000000", "Mesh Height: 0.00000000", "Mesh Depth: 4.00000000"};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(ReadLine(0, 120 + 20 * i), mesh_page[i]);

  Frame(root, {190});  // a pivot
  EXPECT_EQ(ReadLine(0, 120), "Entity is not a mesh!");

  Frame(root, {51});
  EXPECT_EQ(TDebug::info, 3);
  EXPECT_EQ(ReadLine(0, 120), "Camera entity not specified!");
  CameraPtr camera = CreateCamera(nullptr);
  MeshPtr ahead = CreateCube(nullptr);
  NameEntity(ahead, "ahead");
  PositionEntity(ahead, 0, 0, 10, 0);
  RenderWorld();
  Frame(ahead, {}, camera);
  EXPECT_EQ(ReadLine(0, 120), "EntityInView: 10.7320509") << "9 past the near plane + radius sqrt(3)";

  Frame(ahead, {49, 50, 51});  // in this order: the last wins
  EXPECT_EQ(TDebug::info, 3);
  Frame(ahead, {49});
  EXPECT_EQ(ReadLine(0, 120), "X (g): 0.00000000");
  TDebug::info = 4;
  Frame(ahead);
  EXPECT_EQ(ReadLine(0, 120), "") << "no page";
}

TEST_F(Inspector, F1TogglesTheMarkerOnTheCullingSphere) {
  Frame(root);
  ASSERT_NE(TDebug::sphere, nullptr) << "made on the first frame, hidden";
  const MeshPtr sphere = TDebug::sphere;
  EXPECT_EQ(sphere->hidden, 1);
  EXPECT_EQ(sphere->parent, nullptr);

  root->GetBounds();  // the marker reads the bounds as stored
  PositionEntity(root, 1, 2, 3, 0);
  Frame(root, {112, 112});  // twice between two frames: one toggle
  EXPECT_EQ(TDebug::bsphere, 1);
  EXPECT_EQ(sphere->hidden, 0);
  EXPECT_EQ(sphere->brush->alpha, 0.75f);
  EXPECT_TRUE(IsColour(sphere, 1, 1, 0));
  EXPECT_NEAR(EntityX(sphere, 1), 1, 1e-5);
  EXPECT_NEAR(EntityY(sphere, 1), 2, 1e-5);
  EXPECT_NEAR(EntityZ(sphere, 1), 3, 1e-5);
  const float r = std::fabs(root->cull_radius);
  EXPECT_NEAR(r, std::sqrt(3.0f), 1e-5);

  struct Case {
    const char* name;
    float sx, sy, sz;
    float want;  // times |cull radius|
  };
  const Case cases[] = {
      {"scaled 2, 1, 1", 2, 1, 1, 2},
      {"largest on z", 1, 0.5f, 4, 4},
      {"mirrored: the extent counts, as culling counts it", -3, 1, 1, 3},
  };
  for (const Case& c : cases) {
    ScaleEntity(root, c.sx, c.sy, c.sz, 0);
    Frame(root);
    EXPECT_NEAR(sphere->scale_x, c.want * r, 1e-4) << c.name;
    EXPECT_NEAR(sphere->scale_z, c.want * r, 1e-4) << c.name;
  }

  // A pivot has no box: its world position and |cull radius|.
  MeshCullRadius(b, 5);
  PositionEntity(a, 0, 1, 0, 0);
  Frame(root, {190});
  Frame(root, {190});  // b, which sits under a
  EXPECT_EQ(TDebug::cno, 2);
  EXPECT_NEAR(EntityY(sphere, 1), EntityY(b, 1), 1e-5);
  EXPECT_NEAR(sphere->scale_y, 5, 1e-5);

  Frame(root, {112});
  EXPECT_EQ(sphere->hidden, 1) << "F1 on the next frame hides it again";
  EXPECT_EQ(TDebug::sphere, sphere) << "kept, never made twice";

  // Freed with everything else by a program: made again.
  FreeEntity(sphere);
  Frame(root, {112});
  ASSERT_NE(TDebug::sphere, nullptr);
  EXPECT_NE(TDebug::sphere, sphere);
  EXPECT_FALSE(TDebug::sphere->IsFreed());
  EXPECT_EQ(TDebug::sphere->hidden, 0);
}

TEST_F(Inspector, NullEntityDoesNothing) {
  InputKeyDown(190);
  Frame(nullptr);
  EXPECT_EQ(TDebug::sphere, nullptr);
  EXPECT_EQ(TDebug::cno, 0);
  EXPECT_EQ(KeyHit(190), 1) << "keys are left for the next call";
  EXPECT_EQ(ReadLine(0, 80), "");
  // The pages and the marker on their own take null too.
  EXPECT_EQ(TDebug::Info1(nullptr), 0);
  EXPECT_EQ(TDebug::Info3(nullptr, nullptr), 0);
  TDebug::bsphere = 1;
  EXPECT_EQ(TDebug::BoundingSphere(nullptr), 0);
  ASSERT_NE(TDebug::sphere, nullptr);
  EXPECT_EQ(TDebug::sphere->hidden, 1);
}

}  // namespace
