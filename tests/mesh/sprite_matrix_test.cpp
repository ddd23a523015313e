// Sprites without a GL context: the square a new sprite is made of, the facing matrix
// UpdateSprites builds for each view mode against a rotated camera (compared with an
// entity turned to the angles the sprite should take), with and without a parent, the
// sprite's own scale, handle and angle, copies sharing the square, and rebuilding the
// matrices without heap allocation.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "support/allocation_counter.h"
#include "engine/mesh/brush.h"
#include "engine/mesh/sprite.h"
#include "engine/mesh/surface.h"
#include "engine/scene/camera.h"
#include "engine/scene/global.h"
#include "support/engine_reset.h"

namespace {

using SpriteMatrix = EngineTest;

struct P3 {
  float x, y, z;
};

// Where the matrix takes a point (GL coordinates in and out).
P3 Apply(const TMatrix& m, P3 p) {
  P3 r{};
  float* out[3] = {&r.x, &r.y, &r.z};
  for (int row = 0; row < 3; ++row)
    *out[row] = m.grid[0][row] * p.x + m.grid[1][row] * p.y + m.grid[2][row] * p.z + m.grid[3][row];
  return r;
}

// Empty when the top three rows match, else the first element that differs.
std::string Differs(const TMatrix& got, const TMatrix& want) {
  for (int c = 0; c < 4; ++c)
    for (int r = 0; r < 3; ++r)
      if (std::fabs(got.grid[c][r] - want.grid[c][r]) > 1e-5f)
        return "grid[" + std::to_string(c) + "][" + std::to_string(r) + "] is " + std::to_string(got.grid[c][r]) +
               ", want " + std::to_string(want.grid[c][r]);
  return "";
}

void Update(const TCamera& camera, const std::vector<SpritePtr>& sprites) {
  RenderList list;
  for (const SpritePtr& s : sprites) TGlobal::RenderListAdd(s.get(), list);
  TGlobal::UpdateSprites(camera, list);
}

// The world matrix of an entity at the given world position turned by these angles.
TMatrix Turned(P3 at, float pitch, float yaw, float roll) {
  PivotPtr p = TPivot::CreatePivot();
  p->PositionEntity(at.x, at.y, at.z);
  p->RotateEntity(pitch, yaw, roll);
  TMatrix m = p->matrix;
  p->FreeEntity();
  return m;
}

CameraPtr TurnedCamera(float pitch, float yaw, float roll) {
  CameraPtr camera = TCamera::CreateCamera();
  camera->RotateEntity(pitch, yaw, roll);
  EXPECT_NEAR(camera->EntityPitch(1), pitch, 1e-4);
  EXPECT_NEAR(camera->EntityYaw(1), yaw, 1e-4);
  EXPECT_NEAR(camera->EntityRoll(1), roll, 1e-4);
  return camera;
}

TEST_F(SpriteMatrix, NewSpriteIsOneWhiteFullBrightSquare) {
  SpritePtr s = TSprite::CreateSprite();
  EXPECT_EQ(s->class_name, "Sprite");
  EXPECT_EQ(s->brush->fx, kFxFullBright);
  EXPECT_EQ(s->view_mode, kSpriteFaceCamera);
  EXPECT_EQ(s->sprite_scale_x, 1.0f);
  EXPECT_EQ(s->sprite_scale_y, 1.0f);
  ASSERT_EQ(s->CountSurfaces(), 1);
  SurfacePtr surf = s->GetSurface(1);
  EXPECT_EQ(surf->brush, nullptr);
  ASSERT_EQ(surf->CountVertices(), 4);
  const float corners[4][4] = {{-1, -1, 0, 1}, {-1, 1, 0, 0}, {1, 1, 1, 0}, {1, -1, 1, 1}};  // x, y, u, v
  for (int v = 0; v < 4; ++v) {
    EXPECT_EQ(surf->VertexX(v), corners[v][0]) << v;
    EXPECT_EQ(surf->VertexY(v), corners[v][1]) << v;
    EXPECT_EQ(surf->VertexZ(v), 0.0f) << v;
    EXPECT_EQ(surf->VertexU(v, 0), corners[v][2]) << v;
    EXPECT_EQ(surf->VertexV(v, 0), corners[v][3]) << v;
    EXPECT_EQ(surf->VertexRed(v) + surf->VertexGreen(v) + surf->VertexBlue(v), 3 * 255.0f) << v;
  }
  ASSERT_EQ(surf->CountTriangles(), 2);
  const int tris[2][3] = {{0, 1, 2}, {0, 2, 3}};
  for (int t = 0; t < 2; ++t)
    for (int c = 0; c < 3; ++c) EXPECT_EQ(surf->TriangleVertex(t, c), tris[t][c]) << t << "," << c;
}

TEST_F(SpriteMatrix, EachViewModeTakesItsShareOfTheCameraTurn) {
  CameraPtr camera = TurnedCamera(10, 30, 20);
  struct Case {
    int mode;
    float pitch, yaw, roll;  // the turn the sprite should show
  };
  const Case cases[] = {
      {kSpriteFaceCamera, 10, 30, 0},
      {kSpriteCameraAxes, 10, 30, 20},
      {kSpriteUpright, 0, 30, 20},
  };
  for (const Case& c : cases) {
    SpritePtr s = TSprite::CreateSprite();
    s->PositionEntity(0, 0, 5);
    s->RotateEntity(50, 60, 70);  // the sprite's own turn plays no part
    s->SpriteViewMode(c.mode);
    Update(*camera, {s});
    EXPECT_EQ(Differs(s->sprite_matrix, Turned({0, 0, 5}, c.pitch, c.yaw, c.roll)), "") << "view mode " << c.mode;
    s->FreeEntity();
  }

  // Free: the entity matrix, and the sprite's angle, scale and handle do nothing.
  SpritePtr s = TSprite::CreateSprite();
  s->PositionEntity(1, 2, 3);
  s->RotateEntity(0, 45, 0);
  s->SpriteViewMode(kSpriteFree);
  s->ScaleSprite(3, 3);
  s->HandleSprite(1, 1);
  s->RotateSprite(30);
  Update(*camera, {s});
  EXPECT_EQ(Differs(s->sprite_matrix, s->matrix), "");
}

TEST_F(SpriteMatrix, ParentedSpriteFacesTheCameraWithoutRoll) {
  // The parent's yaw is taken back out; no camera roll reaches a parented sprite.
  CameraPtr camera = TurnedCamera(10, 30, 20);
  PivotPtr parent = TPivot::CreatePivot();
  parent->PositionEntity(3, 1, 2);
  parent->RotateEntity(0, 40, 0);
  struct Case {
    int mode;
    float pitch, yaw;
  };
  const Case cases[] = {{kSpriteFaceCamera, 10, 30}, {kSpriteCameraAxes, 10, 30}, {kSpriteUpright, 0, 30}};
  for (const Case& c : cases) {
    SpritePtr s = TSprite::CreateSprite(parent);
    s->SpriteViewMode(c.mode);
    Update(*camera, {s});
    EXPECT_EQ(Differs(s->sprite_matrix, Turned({3, 1, 2}, c.pitch, c.yaw, 0)), "") << "view mode " << c.mode;
    s->FreeEntity();
  }
}

TEST_F(SpriteMatrix, ScaleHandleAndAngleShapeTheSquare) {
  CameraPtr camera = TCamera::CreateCamera();
  struct Case {
    float sx, sy, hx, hy, angle;
    P3 corner, want;  // a corner of the square, and where it is drawn around the sprite
  };
  const Case cases[] = {
      {1, 1, 0, 0, 0, {1, 1, 0}, {1, 1, 0}},
      {2, 3, 0, 0, 0, {1, 1, 0}, {2, 3, 0}},
      {2, 3, 0, 0, 0, {-1, -1, 0}, {-2, -3, 0}},
      {2, 3, 1, 0, 0, {-1, -1, 0}, {-4, -3, 0}},  // the handle moves the square left by one unscaled unit
      {2, 3, 1, 0, 0, {1, 1, 0}, {0, 3, 0}},
      {2, 3, 0, 0, 90, {1, 1, 0}, {-3, 2, 0}},    // the angle turns the scaled square
      {1, 1, 1, 0, 90, {1, 1, 0}, {-1, 0, 0}},
  };
  for (const Case& c : cases) {
    SpritePtr s = TSprite::CreateSprite();
    s->PositionEntity(2, -1, 5);
    s->ScaleSprite(c.sx, c.sy);
    s->HandleSprite(c.hx, c.hy);
    s->RotateSprite(c.angle);
    Update(*camera, {s});
    const P3 got = Apply(s->sprite_matrix, c.corner);
    const P3 want = {c.want.x + 2, c.want.y - 1, c.want.z - 5};  // GL z: the public 5 negated
    EXPECT_TRUE(std::fabs(got.x - want.x) < 1e-5f && std::fabs(got.y - want.y) < 1e-5f &&
                std::fabs(got.z - want.z) < 1e-5f)
        << "scale " << c.sx << "," << c.sy << " handle " << c.hx << "," << c.hy << " angle " << c.angle
        << ": corner at " << got.x << "," << got.y << "," << got.z;
    s->FreeEntity();
  }
}

TEST_F(SpriteMatrix, SizeOnScreenIgnoresTheParentsScale) {
  CameraPtr camera = TCamera::CreateCamera();
  struct Case {
    bool parented;
    float parent_scale, own_scale;
    float drawn_size;  // length of the sprite matrix's x and y axes
  };
  const Case cases[] = {
      {true, 2, 1, 1},  // the parent scales by 2, the sprite divides by 2
      {true, 1, 2, 0.5f},
      {false, 1, 2, 1},  // its own entity scale only enters through a parent
      {true, 0.5f, 4, 0.25f},
  };
  for (const Case& c : cases) {
    PivotPtr parent = TPivot::CreatePivot();
    parent->ScaleEntity(c.parent_scale, c.parent_scale, c.parent_scale);
    SpritePtr s = TSprite::CreateSprite(c.parented ? EntityPtr(parent) : nullptr);
    s->ScaleEntity(c.own_scale, c.own_scale, c.own_scale);
    Update(*camera, {s});
    for (int axis = 0; axis < 2; ++axis) {
      const float* col = s->sprite_matrix.grid[axis];
      EXPECT_NEAR(std::sqrt(col[0] * col[0] + col[1] * col[1] + col[2] * col[2]), c.drawn_size, 1e-5)
          << "parented " << c.parented << " parent scale " << c.parent_scale << " own scale " << c.own_scale;
    }
    parent->FreeEntity();
    s->FreeEntity();
  }
}

TEST_F(SpriteMatrix, CopySharesTheSquareAndKeepsTheSpriteSettings) {
  CameraPtr camera = TurnedCamera(0, 30, 0);
  SpritePtr s = TSprite::CreateSprite();
  s->PositionEntity(1, 2, 3);
  s->ScaleSprite(2, 3);
  s->HandleSprite(0.5f, 0.25f);
  s->RotateSprite(15);
  s->SpriteViewMode(kSpriteUpright);
  s->EntityColor(255, 0, 0);
  s->EntityAutoFade(5, 9);
  s->Animate(1, 2, 0, 0);
  Update(*camera, {s});

  PivotPtr parent = TPivot::CreatePivot();
  auto copy = std::dynamic_pointer_cast<TSprite>(s->CopyEntity(parent));
  ASSERT_TRUE(copy);
  EXPECT_EQ(copy->class_name, "Sprite");
  EXPECT_EQ(copy->GetParent(), parent);
  EXPECT_EQ(copy->surfaces, s->surfaces);
  copy->GetSurface(1)->VertexCoords(0, 7, 8, 9);
  EXPECT_EQ(s->GetSurface(1)->VertexX(0), 7.0f);  // one square for both
  EXPECT_NE(copy->brush, s->brush);
  EXPECT_EQ(copy->brush->red, 1.0f);
  EXPECT_EQ(copy->brush->green, 0.0f);
  EXPECT_EQ(copy->brush->fx, kFxFullBright);
  EXPECT_EQ(copy->EntityZ(), 3.0f);
  EXPECT_EQ(Differs(copy->sprite_matrix, s->sprite_matrix), "");
  EXPECT_EQ(copy->sprite_scale_x, 2.0f);
  EXPECT_EQ(copy->sprite_scale_y, 3.0f);
  EXPECT_EQ(copy->handle_x, 0.5f);
  EXPECT_EQ(copy->handle_y, 0.25f);
  EXPECT_EQ(copy->sprite_angle, 15.0f);
  EXPECT_EQ(copy->view_mode, kSpriteUpright);
  EXPECT_EQ(copy->auto_fade, 1);
  EXPECT_EQ(copy->fade_far, 9.0f);
  EXPECT_EQ(copy->anim_pending, 0);  // the animation state starts afresh
  EXPECT_EQ(copy->anim_mode, 0);
  EXPECT_EQ(copy->bounds_stale, 1);
  copy->GetBounds();
  EXPECT_EQ(copy->bounds_max_x, 7.0f);  // computed again, from the shared square
}

TEST_F(SpriteMatrix, RebuildingTheMatricesAllocatesNothing) {
  CameraPtr camera = TurnedCamera(10, 30, 20);
  PivotPtr parent = TPivot::CreatePivot();
  parent->ScaleEntity(2, 2, 2);
  RenderList list;
  std::vector<SpritePtr> sprites;
  for (int i = 0; i < 8; ++i) {
    sprites.push_back(TSprite::CreateSprite(i % 2 ? EntityPtr(parent) : nullptr));
    sprites.back()->SpriteViewMode(1 + i % 4);
    TGlobal::RenderListAdd(sprites.back().get(), list);
  }
  TGlobal::UpdateSprites(*camera, list);
  const long before = AllocationCount();
  for (int i = 0; i < 100; ++i) TGlobal::UpdateSprites(*camera, list);
  EXPECT_EQ(AllocationCount() - before, 0);
}

}  // namespace
