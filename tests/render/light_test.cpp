// Lights as a user sees them on a grey surface (colour 100) with the ambient light off:
// directional, point and spot looks, colour, hiding, the eight-light limit, copies, and
// lights that move into a GL light another kind used before.
#include "frame_scene.h"

namespace frame_test {
namespace {

constexpr int kGrey = 100;

class LightTest : public FrameTest {
 protected:
  void SetUp() override {
    FrameTest::SetUp();
    TGlobal::AmbientLight(0, 0, 0);  // only the lights show
  }
  // Lighting is worked out at the corners and blended between them, so the patches that
  // a test reads are small: their corners see the light as the pixel in the middle does.
  static MeshPtr Patch(float x) { return MakeQuad(x, 0, 5, 0.2f, kGrey, kGrey, kGrey); }
  static int PatchPixelX(float x) { return 32 + int(x / 5.0f * 32.0f); }  // zoom 1 at distance 5
};

TEST_F(LightTest, EachKindLightsLikeItself) {
  // Lights stand at the camera and shine forward, at patches 5 units ahead.
  struct Case {
    const char* what;
    int type;
    float range, cone;
    float patch_x;
    int want;
  };
  const Case cases[] = {
      {"directional", kLightDirectional, 1000, 0, 0, kGrey},
      {"directional, off axis", kLightDirectional, 1000, 0, 2.5f, kGrey},  // same everywhere
      {"point without range", kLightPoint, 0, 0, 0, kGrey},
      {"point, off axis", kLightPoint, 0, 0, 2.5f, 89},  // 100 x cos(26.6)
      {"point at twice its range", kLightPoint, 2.5f, 0, 0, 50},  // fades as range / distance
      {"point at its range", kLightPoint, 5, 0, 0, kGrey},
      {"point at half its range", kLightPoint, 10, 0, 0, 2 * kGrey},
      {"negative range", kLightPoint, -5, 0, 0, kGrey},
      {"spot, inside the cone", kLightSpot, 0, 20, 0, 98},  // a little of the exponent 10 falloff
      {"spot, outside the cone", kLightSpot, 0, 20, 2.5f, 0},
  };
  for (const Case& c : cases) {
    ResetScene();
    TGlobal::AmbientLight(0, 0, 0);
    TCamera::CreateCamera();
    LightPtr light = TLight::CreateLight(c.type);
    ASSERT_NE(light, nullptr);
    light->LightRange(c.range);
    if (c.cone > 0) light->LightConeAngles(0, c.cone);
    Patch(c.patch_x);
    TGlobal::RenderWorld();
    EXPECT_EQ(Mismatch(Pixel(PatchPixelX(c.patch_x), 32), c.want, c.want, c.want), "") << c.what;
  }
}

// A whole cone of 360 degrees reaches GL as its half, 180: no cone at all, so a spot
// turned away from a patch still lights it. Narrower cones send their half angle; one
// wider than GL takes (a half angle between 90 and 180) sends GL's widest, 90.
TEST_F(LightTest, SpotCutOffIsHalfTheConeAndAFullConeLightsBehind) {
  struct Case {
    float cone, yaw;
    float cutoff;
    int want;
  };
  const Case cases[] = {
      {360, 180, 180, kGrey},  // behind the light, lit as by a point light
      {720, 180, 180, kGrey},
      {120, 180, 60, 0},
      {120, 0, 60, 98},  // inside the cone: a little of the exponent 10 falloff
      {200, 180, 90, 0},
  };
  for (const Case& c : cases) {
    ResetScene();
    TGlobal::AmbientLight(0, 0, 0);
    TCamera::CreateCamera();
    LightPtr light = TLight::CreateLight(kLightSpot);
    light->LightRange(0);
    light->LightConeAngles(0, c.cone);
    light->RotateEntity(0, c.yaw, 0);
    Patch(0);
    TGlobal::RenderWorld();
    GLfloat cutoff = -1;
    glGetLightfv(GL_LIGHT0, GL_SPOT_CUTOFF, &cutoff);
    EXPECT_EQ(cutoff, c.cutoff) << "cone " << c.cone;
    EXPECT_EQ(Mismatch(Pixel(32, 32), c.want, c.want, c.want), "") << "cone " << c.cone << ", yaw " << c.yaw;
  }
}

TEST_F(LightTest, DirectionalLightFollowsItsTurnAndColour) {
  struct Case {
    float yaw;
    float r, g, b;
    int want_r, want_g, want_b;
  };
  const Case cases[] = {
      {0, 255, 255, 255, kGrey, kGrey, kGrey},
      {60, 255, 255, 255, 50, 50, 50},  // cos 60
      {180, 255, 255, 255, 0, 0, 0},    // lights the back
      {0, 255, 128, 0, kGrey, 50, 0},
  };
  for (const Case& c : cases) {
    ResetScene();
    TGlobal::AmbientLight(0, 0, 0);
    TCamera::CreateCamera();
    LightPtr light = TLight::CreateLight(kLightDirectional);
    light->RotateEntity(0, c.yaw, 0);
    light->LightColor(c.r, c.g, c.b);
    MakeQuad(0, 0, 5, 10, kGrey, kGrey, kGrey);
    TGlobal::RenderWorld();
    EXPECT_EQ(Mismatch(Pixel(32, 32), c.want_r, c.want_g, c.want_b), "") << "yaw " << c.yaw;
  }
}

TEST_F(LightTest, HiddenLightOrHiddenParentLightsNothing) {
  struct Case {
    bool hide_light, hide_parent;
    int want;
  };
  const Case cases[] = {{false, false, kGrey}, {true, false, 0}, {false, true, 0}};
  for (const Case& c : cases) {
    ResetScene();
    TGlobal::AmbientLight(0, 0, 0);
    TCamera::CreateCamera();
    PivotPtr parent = TPivot::CreatePivot();
    LightPtr light = TLight::CreateLight(kLightDirectional, parent);
    MakeQuad(0, 0, 5, 10, kGrey, kGrey, kGrey);
    if (c.hide_light) light->HideEntity();
    if (c.hide_parent) parent->HideEntity();
    TGlobal::RenderWorld();
    EXPECT_EQ(Mismatch(Pixel(32, 32), c.want, c.want, c.want), "")
        << "hide light " << c.hide_light << ", hide parent " << c.hide_parent;
    light->ShowEntity();
    parent->ShowEntity();
    TGlobal::RenderWorld();
    EXPECT_EQ(Mismatch(Pixel(32, 32), kGrey, kGrey, kGrey), "") << "shown again";
  }
}

TEST_F(LightTest, EightLightsAtMostCopiesIncluded) {
  LightPtr lights[kMaxLights];
  for (LightPtr& l : lights) {
    l = TLight::CreateLight(kLightPoint);
    ASSERT_NE(l, nullptr);
  }
  EXPECT_TRUE(glIsEnabled(GL_LIGHT7));
  const size_t entities = TEntity::entity_list.Count();
  EXPECT_EQ(TLight::CreateLight(kLightPoint), nullptr);
  EXPECT_EQ(lights[0]->CopyEntity(nullptr), nullptr);
  EXPECT_EQ(TEntity::entity_list.Count(), entities);
  EXPECT_EQ(TLight::light_list.Count(), size_t(kMaxLights));

  lights[3]->FreeEntity();  // gives back the highest slot
  EXPECT_FALSE(glIsEnabled(GL_LIGHT7));
  EntityPtr copy = lights[0]->CopyEntity(nullptr);
  ASSERT_NE(copy, nullptr);
  EXPECT_TRUE(glIsEnabled(GL_LIGHT7));
  EXPECT_EQ(TLight::CreateLight(kLightPoint), nullptr);  // the copy holds the eighth
  copy->FreeEntity();
  EXPECT_NE(TLight::CreateLight(kLightPoint), nullptr);
}

TEST_F(LightTest, CopyLightsLikeItsSource) {
  TCamera::CreateCamera();
  LightPtr light = TLight::CreateLight(kLightDirectional);
  light->RotateEntity(0, 60, 0);
  light->LightColor(255, 128, 0);
  EntityPtr copy = light->CopyEntity(nullptr);
  ASSERT_NE(copy, nullptr);
  light->HideEntity();
  MakeQuad(0, 0, 5, 10, kGrey, kGrey, kGrey);
  TGlobal::RenderWorld();
  EXPECT_EQ(Mismatch(Pixel(32, 32), 50, 25, 0), "");
}

TEST_F(LightTest, LightKeepsItsLookInAGlLightAnotherKindUsed) {
  // The first light is freed after a frame; the survivor then takes over GL_LIGHT0,
  // which the first light's kind had set up its own way.
  struct Case {
    const char* what;
    int first_type, survivor_type;
    float survivor_range;
    float patch_x;
    int want;
  };
  const Case cases[] = {
      {"point after a narrow spot: no cone", kLightSpot, kLightPoint, 0, 2.5f, 89},
      {"point after a directional light: its own fading", kLightDirectional, kLightPoint, 5, 0, kGrey},
  };
  for (const Case& c : cases) {
    ResetScene();
    TGlobal::AmbientLight(0, 0, 0);
    TCamera::CreateCamera();
    LightPtr first = TLight::CreateLight(c.first_type);
    first->LightConeAngles(0, 20);
    LightPtr survivor = TLight::CreateLight(c.survivor_type);
    survivor->LightRange(c.survivor_range);
    first->HideEntity();  // only the survivor lights, in both frames
    Patch(c.patch_x);
    TGlobal::RenderWorld();
    EXPECT_EQ(Mismatch(Pixel(PatchPixelX(c.patch_x), 32), c.want, c.want, c.want), "") << c.what << ", before";
    first->FreeEntity();
    TGlobal::RenderWorld();
    EXPECT_TRUE(glIsEnabled(GL_LIGHT0)) << c.what;
    EXPECT_FALSE(glIsEnabled(GL_LIGHT1)) << c.what;
    EXPECT_EQ(Mismatch(Pixel(PatchPixelX(c.patch_x), 32), c.want, c.want, c.want), "") << c.what << ", after";
  }
}

}  // namespace
}  // namespace frame_test
