// The frame as a user sees it: lit and full-bright colour, hidden meshes, draw order
// against depth, transparency sorted far to near, distance fading, and anti-aliasing
// with one camera or several, with and without an accumulation buffer.
#include <vector>

#include "frame_scene.h"

namespace frame_test {
namespace {

using PipelineTest = FrameTest;

TEST_F(PipelineTest, FullBrightShowsTheColourAndLitSurfacesTakeTheAmbientLight) {
  struct Case {
    float ambient;
    int fx;
    int r, g, b;
  };
  const Case cases[] = {
      {127.5f, 0, 100, 50, 25},  // the default ambient of one half
      {127.5f, kFxFullBright, 200, 100, 50},
      {255, 0, 200, 100, 50},
      {0, 0, 0, 0, 0},
      {0, kFxFullBright, 200, 100, 50},
  };
  for (const Case& c : cases) {
    ResetScene();
    TGlobal::AmbientLight(c.ambient, c.ambient, c.ambient);
    TCamera::CreateCamera();
    MakeQuad(0, 0, 5, 10, 200, 100, 50)->EntityFX(c.fx);
    TGlobal::RenderWorld();
    EXPECT_EQ(Mismatch(Pixel(32, 32), c.r, c.g, c.b), "") << "ambient " << c.ambient << " fx " << c.fx;
  }
}

TEST_F(PipelineTest, HiddenMeshOrHiddenParentIsNotDrawn) {
  struct Case {
    bool hide_mesh, hide_parent, drawn;
  };
  const Case cases[] = {{false, false, true}, {true, false, false}, {false, true, false}};
  for (const Case& c : cases) {
    ResetScene();
    TCamera::CreateCamera();
    PivotPtr parent = TPivot::CreatePivot();
    MeshPtr quad = MakeQuad(0, 0, 5, 10, 255, 255, 255, parent);
    quad->EntityFX(kFxFullBright);
    if (c.hide_mesh) quad->HideEntity();
    if (c.hide_parent) parent->HideEntity();
    TGlobal::RenderWorld();
    const int v = c.drawn ? 255 : 0;
    EXPECT_EQ(Mismatch(Pixel(32, 32), v, v, v), "") << "hide mesh " << c.hide_mesh << ", hide parent " << c.hide_parent;
  }
}

TEST_F(PipelineTest, OrderDrawsOverDepth) {
  // A red square in front of a blue one. Non-zero orders draw without the depth test:
  // positive ones before the rest, negative ones after.
  struct Case {
    int near_order, far_order;
    bool near_shows;
  };
  const Case cases[] = {
      {0, 0, true}, {0, -1, false}, {1, 0, false}, {-1, 0, true}, {2, 1, false}, {1, 2, true},
  };
  for (const Case& c : cases) {
    ResetScene();
    TCamera::CreateCamera();
    MeshPtr near_quad = MakeQuad(0, 0, 5, 10, 255, 0, 0);
    MeshPtr far_quad = MakeQuad(0, 0, 10, 20, 0, 0, 255);
    near_quad->EntityFX(kFxFullBright);
    far_quad->EntityFX(kFxFullBright);
    near_quad->EntityOrder(c.near_order);
    far_quad->EntityOrder(c.far_order);
    TGlobal::RenderWorld();
    EXPECT_EQ(Mismatch(Pixel(32, 32), c.near_shows ? 255 : 0, 0, c.near_shows ? 0 : 255), "")
        << "orders near " << c.near_order << ", far " << c.far_order;
  }
}

TEST_F(PipelineTest, TransparentMeshesBlendFarToNearAfterPositiveOrders) {
  // Half-transparent red in front of half-transparent blue on black: far first gives
  // (128, 0, 64); red first gives (64, 0, 128).
  struct Case {
    bool near_made_first;
    int near_order;
    int r, g, b;
  };
  const Case cases[] = {
      {true, 0, 128, 0, 64},
      {false, 0, 128, 0, 64},
      {true, 1, 64, 0, 128},  // a positive order draws first, even when nearer than a transparent mesh of order 0
  };
  for (const Case& c : cases) {
    ResetScene();
    TCamera::CreateCamera();
    MeshPtr near_quad, far_quad;
    if (c.near_made_first) near_quad = MakeQuad(0, 0, 5, 10, 255, 0, 0);
    far_quad = MakeQuad(0, 0, 10, 20, 0, 0, 255);
    if (!c.near_made_first) near_quad = MakeQuad(0, 0, 5, 10, 255, 0, 0);
    for (const MeshPtr& m : {near_quad, far_quad}) {
      m->EntityFX(kFxFullBright);
      m->EntityAlpha(0.5f);
    }
    near_quad->EntityOrder(c.near_order);
    TGlobal::RenderWorld();
    EXPECT_EQ(Mismatch(Pixel(32, 32), c.r, c.g, c.b), "")
        << "near made first " << c.near_made_first << ", near order " << c.near_order;
  }
}

TEST_F(PipelineTest, RenderListPutsMeshesInDrawOrder) {
  struct Entry {
    int order;
    float depth;  // 0: opaque
  };
  struct Case {
    const char* what;
    std::vector<Entry> added;
    std::vector<int> drawn;  // indices into added
  };
  const Case cases[] = {
      {"every group", {{0, 0}, {3, 0}, {-2, 0}, {5, 0}, {0, 4}, {0, 9}, {-1, 0}}, {3, 1, 0, 5, 4, 6, 2}},
      {"opaque: newest first", {{0, 0}, {0, 0}}, {1, 0}},
      {"same positive order: newest first", {{2, 0}, {2, 0}}, {1, 0}},
      {"same negative order: newest last", {{-1, 0}, {-1, 0}}, {0, 1}},
      {"same depth: newest last", {{0, 4}, {0, 4}}, {0, 1}},
      {"transparent positive order before a farther transparent", {{1, 25}, {0, 100}}, {0, 1}},
  };
  for (const Case& c : cases) {
    ResetScene();
    std::vector<MeshPtr> meshes;
    RenderList list;
    for (const Entry& e : c.added) {
      meshes.push_back(TMesh::CreateMesh());
      meshes.back()->order = e.order;
      meshes.back()->alpha_depth = e.depth;
      TGlobal::RenderListAdd(meshes.back().get(), list);
    }
    std::vector<int> drawn;
    list.ForEachInDrawOrder([&](const TMesh* m) {
      for (size_t i = 0; i < meshes.size(); ++i)
        if (meshes[i].get() == m) drawn.push_back(int(i));
    });
    EXPECT_EQ(drawn, c.drawn) << c.what;
  }
}

TEST_F(PipelineTest, AutoFadeThinsMeshesBetweenItsDistances) {
  // Full-bright red over black, fading from 10 to 20 units.
  struct Case {
    float distance;
    int red;
  };
  const Case cases[] = {{5, 255}, {10, 255}, {15, 128}, {20, 0}, {30, 0}};
  for (const Case& c : cases) {
    ResetScene();
    TCamera::CreateCamera();
    MeshPtr quad = MakeQuad(0, 0, c.distance, c.distance, 255, 0, 0);
    quad->EntityFX(kFxFullBright);
    quad->EntityAutoFade(10, 20);
    TGlobal::RenderWorld();
    EXPECT_EQ(Mismatch(Pixel(32, 32), c.red, 0, 0), "") << "distance " << c.distance;
  }
}

TEST_F(PipelineTest, AntiAliasCountsChooseTheirPasses) {
  struct Case {
    int samples, aa, passes;
  };
  const Case cases[] = {{4, 1, 4}, {1, 1, 2}, {16, 1, 16}, {0, 0, 16}, {7, 0, 0}, {3, 1, 3}};
  TGlobal::AntiAlias(16);
  for (const Case& c : cases) {
    TGlobal::AntiAlias(c.samples);
    EXPECT_EQ(TGlobal::aa, c.aa) << c.samples;
    EXPECT_EQ(TGlobal::ACSIZE, c.passes) << c.samples;  // 0 keeps the count, others replace it
  }
  TGlobal::AntiAlias(1);
  EXPECT_FLOAT_EQ(TGlobal::j[0][0], 0.25f);
  EXPECT_FLOAT_EQ(TGlobal::j[1][0], 0.75f);
}

// Whether a row of a camera's half holds a value strictly between black and white.
bool HasInBetween(const TOffscreenContext& context, int from_x, int to_x, int y) {
  for (int x = from_x; x < to_x; ++x) {
    const int v = context.ReadPixel(x, y)[0];
    if (v > 20 && v < 235) return true;
  }
  return false;
}

TEST_F(PipelineTest, AntiAliasedEdgesTakeInBetweenValuesInEveryCamera) {
  // Two cameras side by side, each seeing a white square's edge a third of the way
  // into a pixel. The later camera's scissor box must not limit the accumulation.
  struct Case {
    int samples;
    bool smooth;
  };
  const Case cases[] = {{0, false}, {4, true}, {8, true}};
  for (const Case& c : cases) {
    ResetScene();
    CameraPtr left = TCamera::CreateCamera();
    left->CameraViewport(0, 0, 32, 64);
    CameraPtr right = TCamera::CreateCamera();
    right->CameraViewport(32, 0, 32, 64);
    // 16 pixels span 5 units at distance 5: the edge is 4.3 pixels right of each centre.
    const float edge = 4.3f * 5.0f / 16.0f;
    MakeQuad(edge - 10, 0, 5, 10, 255, 255, 255)->EntityFX(kFxFullBright);
    TGlobal::AntiAlias(c.samples);
    TGlobal::RenderWorld();
    EXPECT_EQ(HasInBetween(Context(), 0, 32, 32), c.smooth) << "left camera, samples " << c.samples;
    EXPECT_EQ(HasInBetween(Context(), 32, 64, 32), c.smooth) << "right camera, samples " << c.samples;
    EXPECT_EQ(Pixel(5, 32)[0], 255);  // well inside the square
    EXPECT_EQ(Pixel(30, 32)[0], 0);
  }
}

TEST_F(PipelineTest, AntiAliasStaysOffWithoutAnAccumulationBuffer) {
  auto plain = TOffscreenContext::Create(kRenderSize, kRenderSize, 0);
  ASSERT_NE(plain, nullptr);
  TGlobal::GraphicsInit();  // GL state belongs to the context
  TCamera::CreateCamera();
  MakeQuad(0, 0, 5, 10, 255, 255, 255)->EntityFX(kFxFullBright);
  TGlobal::AntiAlias(4);
  EXPECT_EQ(TGlobal::aa, 0);
  TGlobal::RenderWorld();
  EXPECT_EQ(plain->ReadPixel(32, 32)[0], 255);  // the frame is drawn, not lost to empty passes
  ASSERT_TRUE(Context().MakeCurrent());
}

}  // namespace
}  // namespace frame_test
