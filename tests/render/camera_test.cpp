// Cameras as a user sees them: viewports and clears of several cameras, render order,
// hidden cameras, clip range and zoom, fog, collapsed viewports, projecting points and
// frustum tests, copies.
#include <climits>
#include <cmath>

#include "frame_scene.h"

namespace frame_test {
namespace {

using CameraTest = FrameTest;

TEST_F(CameraTest, ViewportCountsFromTheTopOfTheArea) {
  CameraPtr cam = TCamera::CreateCamera();
  EXPECT_EQ(cam->view_x, 0);
  EXPECT_EQ(cam->view_y, 0);
  EXPECT_EQ(cam->view_w, kRenderSize);
  EXPECT_EQ(cam->view_h, kRenderSize);
  TGlobal::height = 600;
  cam->CameraViewport(10, 20, 200, 100);
  EXPECT_EQ(cam->view_y, 480);
}

// The viewport setter takes any ints; the bottom edge is what 32-bit arithmetic gives,
// never an overflow, and a frame through such a viewport is drawn without a fault.
TEST_F(CameraTest, ViewportAtTheIntLimitsWrapsLikeThirtyTwoBitArithmetic) {
  struct Case {
    int height, y, h;
    int view_y;
  };
  const Case cases[] = {
      {64, 1275068223, 1057187840, 1962711297},  // 64 - 1057187840 - 1275068223 + 2^32
      {INT_MIN, 0, 1, INT_MAX},
      {INT_MAX, -1, 0, INT_MIN},
      {0, INT_MIN, INT_MIN, 0},
      {INT_MAX, INT_MAX, INT_MAX, INT_MIN + 1},
  };
  for (const Case& c : cases) {
    ResetScene();
    TGlobal::height = c.height;
    CameraPtr cam = TCamera::CreateCamera();
    cam->CameraViewport(0, c.y, 6, c.h);
    EXPECT_EQ(cam->view_y, c.view_y) << "height " << c.height << ", y " << c.y << ", h " << c.h;
    MakeQuad(0, 0, 5, 10, 0, 0, 255);
    TGlobal::RenderWorld();
  }
  TGlobal::height = kRenderSize;
  while (glGetError() != GL_NO_ERROR) {
  }
}

TEST_F(CameraTest, EachCameraClearsOnlyItsViewport) {
  CameraPtr back = TCamera::CreateCamera();  // order 1: renders first, under the others
  back->EntityOrder(1);
  back->CameraClsColor(0, 0, 255);
  CameraPtr left = TCamera::CreateCamera();
  left->CameraViewport(0, 0, 32, 64);
  left->CameraClsColor(255, 0, 0);
  CameraPtr top_right = TCamera::CreateCamera();
  top_right->CameraViewport(32, 0, 32, 32);
  top_right->CameraClsColor(0, 255, 0);
  CameraPtr bottom_right = TCamera::CreateCamera();
  bottom_right->CameraViewport(32, 32, 32, 32);
  bottom_right->CameraClsColor(255, 255, 255);
  bottom_right->CameraClsMode(0, 0);  // clears nothing: the blue stays
  TGlobal::RenderWorld();

  struct Case {
    int x, y, r, g, b;
  };
  const Case cases[] = {
      {5, 5, 255, 0, 0},    {31, 60, 255, 0, 0}, {32, 31, 0, 255, 0},
      {63, 0, 0, 255, 0},   {32, 32, 0, 0, 255}, {63, 63, 0, 0, 255},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Mismatch(Pixel(c.x, c.y), c.r, c.g, c.b, 0), "") << "pixel " << c.x << "," << c.y;
  }
}

TEST_F(CameraTest, ClearModeKeepsWhatItDoesNotClear) {
  // One frame clears red and draws a near blue square over the left half; the next, from
  // another camera, clears green as its mode says and draws a far white wall.
  struct Case {
    int color, depth;
    int left_r, left_g, left_b;  // where the near square stands; elsewhere the wall always shows
  };
  const Case cases[] = {
      {1, 1, 255, 255, 255},
      {1, 0, 0, 255, 0},  // the near square's depth still hides the wall
      {0, 1, 255, 255, 255},
      {0, 0, 0, 0, 255},
      {2, 2, 0, 0, 255},  // only exactly 1 clears
  };
  for (const Case& c : cases) {
    ResetScene();
    CameraPtr first = TCamera::CreateCamera();
    first->EntityOrder(1);
    first->CameraClsColor(255, 0, 0);
    MeshPtr square = MakeQuad(-5, 0, 5, 5, 0, 0, 255);
    square->EntityFX(kFxFullBright);
    CameraPtr second = TCamera::CreateCamera();
    second->CameraClsColor(0, 255, 0);
    second->CameraClsMode(c.color, c.depth);
    second->HideEntity();
    TGlobal::RenderWorld();  // the first camera's frame: the square

    first->HideEntity();  // the second camera's frame over it: the wall
    second->ShowEntity();
    square->HideEntity();
    MakeQuad(0, 0, 10, 20, 255, 255, 255)->EntityFX(kFxFullBright);
    TGlobal::RenderWorld();
    EXPECT_EQ(Mismatch(Pixel(10, 32), c.left_r, c.left_g, c.left_b), "") << "mode " << c.color << ", " << c.depth;
    EXPECT_EQ(Mismatch(Pixel(50, 32), 255, 255, 255), "") << "mode " << c.color << ", " << c.depth;
  }
}

TEST_F(CameraTest, OrderDecidesWhichCameraPaintsLast) {
  // Both cover the whole area; the one rendered last is what shows.
  struct Case {
    int order_a, order_b;
    bool a_last;
  };
  const Case cases[] = {
      {0, 0, false},   // equal and not positive: in the order they were made
      {1, 0, false},   // higher orders first
      {0, 1, true},
      {2, 2, true},    // equal positive orders: the newer first
      {0, -1, false},  // negative after zero
      {-2, -1, true},
  };
  for (const Case& c : cases) {
    ResetScene();
    CameraPtr a = TCamera::CreateCamera();
    a->CameraClsColor(255, 0, 0);
    CameraPtr b = TCamera::CreateCamera();
    b->CameraClsColor(0, 255, 0);
    a->EntityOrder(c.order_a);
    b->EntityOrder(c.order_b);
    TGlobal::RenderWorld();
    const Rgba want = c.a_last ? Rgba{255, 0, 0, 255} : Rgba{0, 255, 0, 255};
    EXPECT_EQ(Mismatch(Pixel(32, 32), want[0], want[1], want[2], 0), "")
        << "orders " << c.order_a << ", " << c.order_b;
  }
}

TEST_F(CameraTest, HiddenCameraOrHiddenParentRendersNothing) {
  struct Case {
    bool hide_camera, hide_parent, drawn;
  };
  const Case cases[] = {{false, false, true}, {true, false, false}, {false, true, false}};
  for (const Case& c : cases) {
    ResetScene();
    CameraPtr back = TCamera::CreateCamera();
    back->EntityOrder(1);
    PivotPtr parent = TPivot::CreatePivot();
    CameraPtr cam = TCamera::CreateCamera(parent);
    cam->CameraClsColor(255, 0, 0);
    if (c.hide_camera) cam->HideEntity();
    if (c.hide_parent) parent->HideEntity();
    TGlobal::RenderWorld();
    EXPECT_EQ(Mismatch(Pixel(10, 10), c.drawn ? 255 : 0, 0, 0, 0), "")
        << "hide camera " << c.hide_camera << ", hide parent " << c.hide_parent;
  }
}

TEST_F(CameraTest, RangeAndZoomDecideWhatIsSeen) {
  // A white square of side 4 at distance 5. Zoom 1 sees 5 units either side at that
  // distance, so the square's edges fall 12.8 pixels either side of the centre.
  struct Case {
    float near_clip, far_clip, zoom;
    int x;
    bool white;
  };
  const Case cases[] = {
      {1, 1000, 1, 32, true}, {1, 4, 1, 32, false},  {6, 100, 1, 32, false},  // clip range
      {1, 1000, 1, 40, true}, {1, 1000, 1, 50, false}, {1, 1000, 1, 10, false},
      {1, 1000, 2, 10, true}, {1, 1000, 2, 3, false},                          // edges at 32 +- 25.6
      {1, 1000, 0.5f, 36, true}, {1, 1000, 0.5f, 40, false},                   // edges at 32 +- 6.4
  };
  for (const Case& c : cases) {
    ResetScene();
    CameraPtr cam = TCamera::CreateCamera();
    cam->CameraRange(c.near_clip, c.far_clip);
    cam->CameraZoom(c.zoom);
    MeshPtr quad = MakeQuad(0, 0, 5, 2, 255, 255, 255);
    quad->EntityFX(kFxFullBright);
    TGlobal::RenderWorld();
    const int v = c.white ? 255 : 0;
    EXPECT_EQ(Mismatch(Pixel(c.x, 32), v, v, v), "")
        << "range " << c.near_clip << ".." << c.far_clip << " zoom " << c.zoom << " x " << c.x;
  }
}

TEST_F(CameraTest, LinearFogMixesInTheFogColourUnlessTheSurfaceOptsOut) {
  // Fog from 0 to 10 at a distance of 5: half surface colour, half fog colour.
  struct Case {
    int fog_mode, fx, r, g, b;
  };
  const Case cases[] = {
      {1, kFxFullBright, 128, 0, 128},
      {5, kFxFullBright, 128, 0, 128},  // any mode above 0 is linear
      {0, kFxFullBright, 255, 0, 0},
      {-1, kFxFullBright, 255, 0, 0},
      {1, kFxFullBright | kFxNoFog, 255, 0, 0},
  };
  for (const Case& c : cases) {
    ResetScene();
    CameraPtr cam = TCamera::CreateCamera();
    cam->CameraFogMode(c.fog_mode);
    cam->CameraFogRange(0, 10);
    cam->CameraFogColor(0, 0, 255);
    MeshPtr quad = MakeQuad(0, 0, 5, 10, 255, 0, 0);
    quad->EntityFX(c.fx);
    TGlobal::RenderWorld();
    EXPECT_EQ(Mismatch(Pixel(32, 32), c.r, c.g, c.b), "") << "fog mode " << c.fog_mode << " fx " << c.fx;
  }
}

TEST_F(CameraTest, CollapsedViewportIsSkipped) {
  // A canvas squeezed to nothing: the camera draws nothing, clears nothing and keeps
  // finite matrices (not NaNs from a zero aspect ratio).
  struct Case {
    int w, h;
  };
  const Case cases[] = {{0, 64}, {64, 0}, {0, 0}};
  for (const Case& c : cases) {
    ResetScene();
    CameraPtr back = TCamera::CreateCamera();
    back->EntityOrder(1);
    back->CameraClsColor(255, 0, 0);
    CameraPtr cam = TCamera::CreateCamera();
    cam->CameraClsColor(0, 255, 0);
    cam->CameraViewport(0, 0, c.w, c.h);
    MakeQuad(0, 0, 5, 10, 0, 0, 255)->EntityFX(kFxFullBright);
    TGlobal::RenderWorld();
    // The back camera cleared red and drew the quad blue; the collapsed one added nothing.
    EXPECT_EQ(Mismatch(Pixel(32, 32), 0, 0, 255), "") << c.w << " x " << c.h;
    for (double v : cam->projection) EXPECT_TRUE(std::isfinite(v)) << c.w << " x " << c.h;
    cam->CameraProject(0, 0, 10);
    EXPECT_TRUE(std::isfinite(TCamera::ProjectedX()) && std::isfinite(TCamera::ProjectedY()));
  }
}

TEST_F(CameraTest, CameraProjectGivesWindowPixelsFromTheBottom) {
  struct Case {
    float cam_yaw, x, y, z;
    float want_x, want_y;
    bool in_front;
  };
  const Case cases[] = {
      {0, 0, 0, 10, 32, 32, true},   {0, 10, 0, 10, 64, 32, true},  // the right edge: zoom 1 sees 45 degrees
      {0, -5, 0, 10, 16, 32, true},  {0, 0, 5, 10, 32, 48, true},   // y grows upwards
      {-90, 10, 0, 0, 32, 32, true},                                 // turned to face +x
      {0, 0, 0, 0, 0, 0, false},                                     // the eye itself: no projection
  };
  for (const Case& c : cases) {
    ResetScene();
    CameraPtr cam = TCamera::CreateCamera();
    cam->RotateEntity(0, c.cam_yaw, 0);
    TGlobal::RenderWorld();
    cam->CameraProject(c.x, c.y, c.z);
    const std::string where = std::to_string(c.x) + "," + std::to_string(c.y) + "," + std::to_string(c.z);
    EXPECT_NEAR(TCamera::ProjectedX(), c.want_x, 0.01) << where;
    EXPECT_NEAR(TCamera::ProjectedY(), c.want_y, 0.01) << where;
    if (c.in_front) {
      EXPECT_GT(TCamera::ProjectedZ(), 0.0f) << where;
      EXPECT_LT(TCamera::ProjectedZ(), 1.0f) << where;
    } else {
      EXPECT_EQ(TCamera::ProjectedZ(), 0.0f) << where;
    }
  }
}

TEST_F(CameraTest, EntityInViewTellsWhetherTheBoundsMeetTheFrustum) {
  CameraPtr cam = TCamera::CreateCamera();
  TGlobal::RenderWorld();
  struct Case {
    float x, y, z;
    bool in_view;
  };
  const Case cases[] = {
      {0, 0, 10, true},    {0, 0, -10, false},  // behind
      {30, 0, 10, false},  {11, 0, 10, true},   // past the right plane; reaching over it
      {0, 0, 1100, false},                      // beyond the far plane
      {0, 0, 0.5f, true},                       // reaching past the near plane
  };
  for (const Case& c : cases) {
    MeshPtr quad = MakeQuad(c.x, c.y, c.z, 1, 255, 255, 255);  // bounding radius about 1.7
    const float in_view = cam->EntityInView(quad);
    EXPECT_EQ(in_view > 0.0f, c.in_view) << c.x << "," << c.y << "," << c.z << " gave " << in_view;
    quad->FreeEntity();
  }
  EXPECT_EQ(cam->EntityInView(nullptr), 0.0f);
}

TEST_F(CameraTest, CopyRendersLikeItsSourceAndFreeingLeavesBothLists) {
  CameraPtr cam = TCamera::CreateCamera();
  cam->CameraViewport(0, 0, 32, 64);
  cam->CameraClsColor(255, 0, 0);
  auto copy = std::dynamic_pointer_cast<TCamera>(cam->CopyEntity(nullptr));
  ASSERT_NE(copy, nullptr);
  EXPECT_TRUE(TCamera::cam_list.Contains(copy.get()));
  EXPECT_TRUE(TEntity::entity_list.Contains(copy.get()));
  cam->FreeEntity();
  EXPECT_FALSE(TCamera::cam_list.Contains(cam.get()));
  cam->EntityOrder(3);  // a freed camera does not come back
  EXPECT_FALSE(TCamera::cam_list.Contains(cam.get()));

  TGlobal::RenderWorld();
  EXPECT_EQ(Mismatch(Pixel(10, 10), 255, 0, 0, 0), "");
  EXPECT_EQ(Mismatch(Pixel(50, 10), 0, 0, 0, 0), "");  // never cleared: the fresh buffer
  copy->FreeEntity();
  EXPECT_TRUE(TCamera::cam_list.IsEmpty());
}

}  // namespace
}  // namespace frame_test
