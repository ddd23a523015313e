// Skinned models as a program sees them through the command set: a bone's world place
// and angles wherever its mesh stands, entities hung on a bone, posed limbs lit and
// culled as posed, copies of a model with a mesh inside its skeleton, and frees of the
// nodes a skeleton hangs from. The models are written with the B3D writer.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "engine/commands/commands.h"
#include "engine/mesh/bone.h"
#include "engine/mesh/mesh.h"
#include "engine/mesh/surface.h"
#include "engine/scene/global.h"
#include "support/render_fixture.h"
#include "tools/b3d_writer.h"

namespace {

using namespace velmora;

const float kHalf = std::sqrt(0.5f);

struct V3 {
  float x, y, z;
};

class BoneWorld : public RenderTest {
 protected:
  void SetUp() override {
    RenderTest::SetUp();
    StartGraphics();
  }
  static void StartGraphics() {
    TGlobal::width = TGlobal::height = kRenderSize;
    TGlobal::GraphicsInit();
  }
  static MeshPtr Load(TB3dWriter& w, const EntityPtr& parent = nullptr) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string path = TestTempPath(std::string(info->name()) + ".b3d");
    EXPECT_TRUE(w.Finish().Save(path));
    return LoadAnimMesh(path, parent);
  }
};

// body: one triangle at the origin and ten frames. Its bone arm stands at (0, 2, 3) and
// turns a quarter about y by frame 10, taking x to z; hand hangs one unit along the
// arm's x and has no keys of its own.
TB3dWriter Rig() {
  TB3dWriter w;
  w.Header().BeginNode("body");
  w.BeginMesh().Vrts(0, 0, 0, {0, 0, 0, 1, 0, 0, 0, 1, 0}).Tris(-1, {0, 1, 2}).End().Anim(10);
  w.BeginNode("arm", {0, 2, 3}).Bone({{0, 1}, {1, 1}, {2, 1}});
  w.Keys(1 | 4, {{0, {0, 2, 3, 1, 0, 0, 0}}, {10, {0, 2, 3, kHalf, 0, kHalf, 0}}});
  w.BeginNode("hand", {1, 0, 0}).Bone({});
  return w;
}

// Public position of vertex v in the mesh's posed copy.
V3 Posed(const MeshPtr& mesh, int v) {
  const std::vector<float>& p = mesh->anim_surfaces.First()->vertex_positions;
  return {p[size_t(v) * 3], p[size_t(v) * 3 + 1], -p[size_t(v) * 3 + 2]};
}

void ExpectAt(const EntityPtr& e, V3 want, const std::string& what) {
  EXPECT_NEAR(EntityX(e, 1), want.x, 1e-4) << what;
  EXPECT_NEAR(EntityY(e, 1), want.y, 1e-4) << what;
  EXPECT_NEAR(EntityZ(e, 1), want.z, 1e-4) << what;
}

void ExpectNear(V3 got, V3 want, const std::string& what) {
  EXPECT_NEAR(got.x, want.x, 1e-4) << what;
  EXPECT_NEAR(got.y, want.y, 1e-4) << what;
  EXPECT_NEAR(got.z, want.z, 1e-4) << what;
}

// Angles compared on the circle: 180 and -180 are one angle.
void ExpectAngle(float got, float want, const std::string& what) {
  EXPECT_NEAR(std::remainder(got - want, 360.0f), 0, 1e-3) << what << ": " << got;
}

void ExpectAngles(const EntityPtr& e, V3 want, const std::string& what) {
  ExpectAngle(EntityPitch(e, 1), want.x, what + " pitch");
  ExpectAngle(EntityYaw(e, 1), want.y, what + " yaw");
  ExpectAngle(EntityRoll(e, 1), want.z, what + " roll");
}

// hand stands at (1, 2, 3) of the mesh at rest and at (0, 2, 4) at frame 10, turned
// as the arm is (yaw 90: x toward z). Each case places the mesh and gives where that
// puts the hand in the world: the mesh's turn, then its scale, then its place.
TEST_F(BoneWorld, BoneReadsItsWorldPlaceAndAnglesAtRestAndPosed) {
  const float c30 = std::cos(float(M_PI) / 6), s30 = 0.5f;
  constexpr float kSkip = 1000;  // angles not checked
  struct Case {
    const char* what;
    std::function<EntityPtr()> parent;  // null: none
    std::function<void(const MeshPtr&)> place;
    V3 rest, rest_angles, posed, posed_angles;
  } cases[] = {
      {"the mesh at the origin", nullptr, [](const MeshPtr&) {}, {1, 2, 3}, {0, 0, 0}, {0, 2, 4}, {0, 90, 0}},
      // yaw 90 takes (x, y, z) to (-z, y, x)
      {"moved to (100, 0, 0) and turned yaw 90", nullptr,
       [](const MeshPtr& m) {
         PositionEntity(m, 100, 0, 0, 0);
         TurnEntity(m, 0, 90, 0, 0);
       },
       {97, 2, 1}, {0, 90, 0}, {96, 2, 0}, {0, 180, 0}},
      {"scaled 2", nullptr, [](const MeshPtr& m) { ScaleEntity(m, 2, 2, 2, 0); }, {2, 4, 6}, {0, 0, 0}, {0, 4, 8},
       {0, 90, 0}},
      // pitch 30 takes (x, y, z) to (x, y cos 30 - z sin 30, y sin 30 + z cos 30)
      {"pitched 30", nullptr, [](const MeshPtr& m) { RotateEntity(m, 30, 0, 0, 0); },
       {1, 2 * c30 - 3 * s30, 2 * s30 + 3 * c30}, {30, 0, 0}, {0, 2 * c30 - 4 * s30, 2 * s30 + 4 * c30},
       {kSkip, kSkip, kSkip}},
      // the parent at (10, 0, 0) turned yaw -90 takes (x, y, z) to (10 + z, y, -x)
      {"loaded under a parent turned yaw -90",
       [] {
         PivotPtr p = CreatePivot(nullptr);
         PositionEntity(p, 10, 0, 0, 0);
         RotateEntity(p, 0, -90, 0, 0);
         return EntityPtr(p);
       },
       [](const MeshPtr&) {}, {13, 2, -1}, {0, -90, 0}, {14, 2, 0}, {0, 0, 0}},
  };
  for (const Case& c : cases) {
    ResetEngine();
    TB3dWriter w = Rig();
    MeshPtr body = Load(w, c.parent ? c.parent() : nullptr);
    ASSERT_NE(body, nullptr) << c.what;
    c.place(body);
    EntityPtr hand = FindChild(body, "hand");
    ASSERT_NE(hand, nullptr) << c.what;
    const std::string what = c.what;
    ExpectAt(hand, c.rest, what + ", as loaded");
    ExpectAngles(hand, c.rest_angles, what + ", as loaded");
    SetAnimTime(body, 0, 0);
    ExpectAt(hand, c.rest, what + ", frame 0");
    SetAnimTime(body, 10, 0);
    ExpectAt(hand, c.posed, what + ", frame 10");
    if (c.posed_angles.x != kSkip) ExpectAngles(hand, c.posed_angles, what + ", frame 10");
    EXPECT_FLOAT_EQ(GetMatElement(hand, 3, 0), EntityX(hand, 1)) << what;
    EXPECT_FLOAT_EQ(GetMatElement(hand, 3, 2), -EntityZ(hand, 1)) << what;
    // The local values stay the node's.
    EXPECT_FLOAT_EQ(EntityX(hand, 0), 1) << what;
    EXPECT_FLOAT_EQ(EntityZ(hand, 0), 0) << what;
  }
}

// A pivot one unit along the hand's z, hung on the hand: at frame 10 the hand's z
// points along -x, so the pivot stands at (0, 2, 4) + (-1, 0, 0).
TEST_F(BoneWorld, EntitiesHungOnABoneFollowItsPoseAndItsMesh) {
  TB3dWriter w = Rig();
  MeshPtr body = Load(w);
  ASSERT_NE(body, nullptr);
  EntityPtr hand = FindChild(body, "hand");
  PivotPtr pivot = CreatePivot(nullptr);
  EntityParent(pivot, hand, 1);
  PositionEntity(pivot, 0, 0, 1, 0);
  PivotPtr tip = CreatePivot(pivot);  // below the hung entity, its own child
  PositionEntity(tip, 0, 1, 0, 0);
  struct Step {
    const char* what;
    std::function<void()> run;
    V3 pivot;
  } steps[] = {
      {"hung at rest", [] {}, {1, 2, 4}},
      {"SetAnimTime frame 10", [&] { SetAnimTime(body, 10, 0); }, {-1, 2, 4}},
      {"SetAnimTime frame 0", [&] { SetAnimTime(body, 0, 0); }, {1, 2, 4}},
      // Looping at 10 frames an update: the first update poses frame 0, the second 10.
      {"Animate and two UpdateWorld",
       [&] {
         Animate(body, 1, 10, 0, 0);
         UpdateWorld(1);
         UpdateWorld(1);
       },
       {-1, 2, 4}},
      {"the mesh moved to (100, 0, 0)", [&] { PositionEntity(body, 100, 0, 0, 0); }, {99, 2, 4}},
      {"the mesh turned yaw 90: (x, y, z) to (-z, y, x) about it",
       [&] { TurnEntity(body, 0, 90, 0, 0); }, {96, 2, -1}},
  };
  for (const Step& s : steps) {
    s.run();
    ExpectAt(pivot, s.pivot, s.what);
    ExpectAt(tip, {s.pivot.x, s.pivot.y + 1, s.pivot.z}, std::string(s.what) + ", the pivot's child");
    // The point one unit along the hand's z is the pivot, both ways round.
    TFormPoint(0, 0, 1, hand, nullptr);
    ExpectNear({TFormedX(), TFormedY(), TFormedZ()}, s.pivot, std::string(s.what) + ", TFormPoint from the hand");
    TFormPoint(s.pivot.x, s.pivot.y, s.pivot.z, nullptr, hand);
    ExpectNear({TFormedX(), TFormedY(), TFormedZ()}, {0, 0, 1}, std::string(s.what) + ", TFormPoint into the hand");
  }
}

// A quad facing +z (away from the camera) that its bone turns half round about y by
// frame 10. The light shines along +z from behind the camera, or, turned, along -z onto
// the quad's rest side. Only the side facing the light is lit, posed or not.
TEST_F(BoneWorld, PosedLimbsAreLitByTheirPosedNormals) {
  struct Case {
    float frame, light_yaw;
    bool lit;
  } cases[] = {
      {10, 0, true},   // turned to face the light
      {10, 180, false},  // the light on its rest side
      {0, 0, false},
      {0, 180, true},
  };
  for (const Case& c : cases) {
    ResetEngine();
    StartGraphics();
    TB3dWriter w;
    w.Header().BeginNode("body");
    std::vector<float> quad;  // position and normal per corner
    for (V3 p : {V3{-1, -1, 0}, V3{1, -1, 0}, V3{1, 1, 0}, V3{-1, 1, 0}}) quad.insert(quad.end(), {p.x, p.y, p.z, 0, 0, 1});
    w.BeginMesh().Vrts(1, 0, 0, quad).Tris(-1, {0, 1, 2, 0, 2, 3}).End().Anim(10);
    w.BeginNode("limb").Bone({{0, 1}, {1, 1}, {2, 1}, {3, 1}});
    w.Keys(4, {{0, {1, 0, 0, 0}}, {10, {0, 0, 1, 0}}});
    MeshPtr body = Load(w);
    ASSERT_NE(body, nullptr);
    PositionEntity(body, 0, 0, 5, 0);
    EntityFX(body, kFxNoCulling);
    CameraPtr camera = CreateCamera(nullptr);
    LightPtr light = CreateLight(1, nullptr);
    RotateEntity(light, 0, c.light_yaw, 0, 0);
    AmbientLight(0, 0, 0);
    SetAnimTime(body, c.frame, 0);
    RenderWorld();
    const Rgba centre = Pixel(kRenderSize / 2, kRenderSize / 2);
    const std::string what = "frame " + std::to_string(c.frame) + ", light yaw " + std::to_string(c.light_yaw);
    if (c.lit) {
      EXPECT_GT(centre[0], 200) << what;
    } else {
      EXPECT_LT(centre[0], 30) << what;
    }
  }
}

// The bone carries the triangle 20 units along x by frame 10, far out of its loaded
// bounds; the camera frames only the posed place.
TEST_F(BoneWorld, APosedPartOutsideTheLoadedBoundsIsInViewAndDrawn) {
  TB3dWriter w;
  w.Header().BeginNode("body");
  w.BeginMesh().Vrts(0, 0, 0, {0, 0, 0, 1, 0, 0, 0, 1, 0}).Tris(-1, {0, 1, 2}).End().Anim(10);
  w.BeginNode("sword").Bone({{0, 1}, {1, 1}, {2, 1}}).Keys(1, {{0, {0, 0, 0}}, {10, {20, 0, 0}}});
  MeshPtr body = Load(w);
  ASSERT_NE(body, nullptr);
  EntityFX(body, kFxFullBright | kFxNoCulling);
  CameraPtr camera = CreateCamera(nullptr);
  PositionEntity(camera, 20, 0, -5, 0);
  const int centre = kRenderSize / 2;
  const int x = centre + 2, y = centre - 2;  // just up and right of (20, 0, 0)

  SetAnimTime(body, 0, 0);
  RenderWorld();
  EXPECT_EQ(EntityInView(body, camera), 0) << "at rest it is out of the view";
  SetAnimTime(body, 10, 0);
  RenderWorld();
  EXPECT_GT(EntityInView(body, camera), 0);
  EXPECT_EQ(Pixel(x, y)[0], 255);
  // The mesh's own extent stays the loaded geometry's.
  EXPECT_FLOAT_EQ(MeshWidth(body), 1);
}

// body's bone is b1; sword, a mesh inside the skeleton, comes before b2, so b2 is
// sword's bone, its weights read against sword's vertices. A copy bends as the
// original does.
TEST_F(BoneWorld, ACopyOfAModelWithAMeshInsideItsSkeletonBendsAsTheOriginal) {
  TB3dWriter w;
  w.Header().BeginNode("body");
  w.BeginMesh().Vrts(0, 0, 0, {0, 0, 0, 1, 0, 0, 0, 1, 0}).Tris(-1, {0, 1, 2}).End().Anim(10);
  w.BeginNode("b1").Bone({{0, 1}, {1, 1}, {2, 1}}).Keys(1, {{10, {1, 0, 0}}});
  w.BeginNode("sword").BeginMesh().Vrts(0, 0, 0, {0, 0, 0, 1, 0, 0, 0, 1, 0}).Tris(-1, {0, 1, 2}).End();
  w.End().End();  // sword, b1
  w.BeginNode("b2").Bone({{0, 1}, {1, 1}, {2, 1}}).Keys(1, {{10, {0, 5, 0}}});
  MeshPtr body = Load(w);
  ASSERT_NE(body, nullptr);
  MeshPtr copy = std::dynamic_pointer_cast<TMesh>(CopyEntity(body, nullptr));
  ASSERT_NE(copy, nullptr);
  for (const MeshPtr& m : {body, copy}) {
    const std::string what = m == body ? "the original" : "the copy";
    SetAnimTime(m, 10, 0);
    ExpectNear(Posed(m, 0), {1, 0, 0}, what);
    ASSERT_EQ(m->bones.Count(), 1u) << what;
    EXPECT_EQ(m->bones.First()->name, "b1") << what;
    auto sword = std::dynamic_pointer_cast<TMesh>(FindChild(m, "sword"));
    ASSERT_NE(sword, nullptr) << what;
    ASSERT_EQ(sword->bones.Count(), 1u) << what;
    EXPECT_EQ(sword->bones.First()->name, "b2") << what;
    EXPECT_EQ(sword->bones.First() == FindChild(m, "b2"), true) << what << ": its own b2";
  }
}

// Freeing the node a bone hangs from frees the bone too: it leaves the mesh's bone list
// with its influences, and the skin stays where it was.
TEST_F(BoneWorld, FreeingTheNodeABoneHangsFromKeepsTheSkinInPlace) {
  struct Case {
    const char* what;
    std::function<void(TB3dWriter&)> build;
    const char* freed;
  } cases[] = {
      {"a plain node between the mesh and its bone",
       [](TB3dWriter& w) {
         w.BeginNode("body");
         w.BeginMesh().Vrts(0, 0, 0, {1, 0, 0, 2, 0, 0, 1, 1, 0}).Tris(-1, {0, 1, 2}).End().Anim(10);
         w.BeginNode("offset", {1, 0, 0}).BeginNode("b1").Bone({{0, 1}, {1, 1}, {2, 1}});
       },
       "offset"},
      {"the node that holds a skeleton beside the mesh",
       [](TB3dWriter& w) {
         w.BeginNode("scene").BeginNode("body");
         w.BeginMesh().Vrts(0, 0, 0, {1, 0, 0, 2, 0, 0, 1, 1, 0}).Tris(-1, {0, 1, 2}).End().Anim(10).End();
         w.BeginNode("rig", {1, 0, 0}).BeginNode("b1").Bone({{0, 1}, {1, 1}, {2, 1}});
       },
       "rig"},
  };
  for (const Case& c : cases) {
    ResetEngine();
    TB3dWriter w;
    w.Header();
    c.build(w);
    MeshPtr root = Load(w);
    ASSERT_NE(root, nullptr) << c.what;
    auto body = std::dynamic_pointer_cast<TMesh>(root->name == "body" ? root : FindChild(root, "body"));
    ASSERT_NE(body, nullptr) << c.what;
    SetAnimTime(body, 0, 0);
    ExpectNear(Posed(body, 0), {1, 0, 0}, std::string(c.what) + ", before");
    FreeEntity(FindChild(root, c.freed));
    EXPECT_TRUE(body->bones.IsEmpty()) << c.what;
    SetAnimTime(body, 0, 0);
    ExpectNear(Posed(body, 0), {1, 0, 0}, std::string(c.what) + ", after");
    FreeEntity(root);
  }
}

// A mesh hung below a bone of its own skeleton (beside it at first): placing the bone
// moves the mesh, which would place the bone again, without end. Each pose and move
// ends, and the skin stays relative to the mesh.
TEST_F(BoneWorld, AMeshHungBelowItsOwnBoneStillPosesAndMoves) {
  TB3dWriter w;
  w.Header().BeginNode("scene").BeginNode("body");
  w.BeginMesh().Vrts(0, 0, 0, {0, 0, 0, 1, 0, 0, 0, 1, 0}).Tris(-1, {0, 1, 2}).End().Anim(10).End();
  w.BeginNode("b1").Bone({{0, 1}, {1, 1}, {2, 1}}).Keys(1, {{0, {0, 0, 0}}, {10, {1, 0, 0}}});
  MeshPtr scene = Load(w);
  ASSERT_NE(scene, nullptr);
  auto body = std::dynamic_pointer_cast<TMesh>(FindChild(scene, "body"));
  EntityPtr b1 = FindChild(scene, "b1");
  ASSERT_NE(body, nullptr);
  EntityParent(body, b1, 1);
  SetAnimTime(body, 10, 0);
  PositionEntity(body, 0, 5, 0, 0);
  ExpectNear(Posed(body, 1), {2, 0, 0}, "the skin, relative to the mesh");
  EXPECT_TRUE(std::isfinite(EntityY(b1, 1)));
}

// A bone node with a scale in the file: its rest scale is part of its pose, so the bone
// and what hangs on it stand at the mesh's scale times its own, and the world forms of
// the transform commands work with that. The mesh stands at (10, 0, 0) scaled 3; arm, at
// (0, 2, 0) of the mesh with scale 2 in the file, stands at (10, 6, 0), six world units
// to one of its own.
TEST_F(BoneWorld, EntitiesPlacedInWorldTermsOnAScaledBoneNodeLandThere) {
  TB3dWriter w;
  w.Header().BeginNode("body");
  w.BeginMesh().Vrts(0, 0, 0, {0, 0, 0, 1, 0, 0, 0, 1, 0}).Tris(-1, {0, 1, 2}).End().Anim(10);
  w.BeginNode("arm", {0, 2, 0}, {2, 2, 2}).Bone({{0, 1}, {1, 1}, {2, 1}});
  MeshPtr body = Load(w);
  ASSERT_NE(body, nullptr);
  PositionEntity(body, 10, 0, 0, 0);
  ScaleEntity(body, 3, 3, 3, 0);
  EntityPtr arm = FindChild(body, "arm");
  ExpectAt(arm, {10, 6, 0}, "arm");
  EXPECT_NEAR(GetMatElement(arm, 0, 0), 6, 1e-5);

  PivotPtr kept = CreatePivot(nullptr);
  PositionEntity(kept, 5, 6, 7, 0);
  EntityParent(kept, arm, 1);
  ExpectAt(kept, {5, 6, 7}, "re-parented keeping its world place");
  EXPECT_NEAR(GetMatElement(kept, 0, 0), 1, 1e-5) << "and its world scale";

  PivotPtr placed = CreatePivot(arm);
  PositionEntity(placed, 13, 6, 0, 1);
  ExpectAt(placed, {13, 6, 0}, "positioned in world terms");
  EXPECT_NEAR(EntityX(placed, 0), 0.5, 1e-5);
  ScaleEntity(placed, 1, 1, 1, 1);
  EXPECT_NEAR(GetMatElement(placed, 0, 0), 1, 1e-5) << "scaled in world terms";
}

}  // namespace
