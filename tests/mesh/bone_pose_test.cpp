// Skinned models as exporters write them, through the command set: scale keys and rest
// scales, weights that do not sum to 1, rotation keys a fraction of a degree apart; and
// bones moved by the transform commands, re-parented, copied alone, and posed normals
// under a non-uniform scale. The models are written with the B3D writer.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "engine/commands/commands.h"
#include "engine/mesh/mesh.h"
#include "engine/mesh/surface.h"
#include "support/engine_reset.h"
#include "tools/b3d_writer.h"

namespace {

using namespace velmora;

struct V3 {
  float x, y, z;
};

class BonePose : public EngineTest {
 protected:
  static MeshPtr Load(TB3dWriter& w) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string path = TestTempPath(std::string(info->name()) + ".b3d");
    EXPECT_TRUE(w.Finish().Save(path));
    return LoadAnimMesh(path, nullptr);
  }
};

// Public position (or normal) of vertex v in the mesh's posed copy.
V3 Posed(const MeshPtr& mesh, int v) {
  const std::vector<float>& p = mesh->anim_surfaces.First()->vertex_positions;
  return {p[size_t(v) * 3], p[size_t(v) * 3 + 1], -p[size_t(v) * 3 + 2]};
}
V3 PosedNormal(const MeshPtr& mesh, int v) {
  const std::vector<float>& n = mesh->anim_surfaces.First()->vertex_normals;
  return {n[size_t(v) * 3], n[size_t(v) * 3 + 1], -n[size_t(v) * 3 + 2]};
}
V3 World(const EntityPtr& e) { return {EntityX(e, 1), EntityY(e, 1), EntityZ(e, 1)}; }

void ExpectNear(V3 got, V3 want, const std::string& what, float tolerance = 1e-4f) {
  EXPECT_NEAR(got.x, want.x, tolerance) << what;
  EXPECT_NEAR(got.y, want.y, tolerance) << what;
  EXPECT_NEAR(got.z, want.z, tolerance) << what;
}

// One triangle's corners, then a body mesh holding them, with ten frames.
TB3dWriter& Body(TB3dWriter& w, const std::vector<float>& corners) {
  w.Header().BeginNode("body");
  return w.BeginMesh().Vrts(0, 0, 0, corners).Tris(-1, {0, 1, 2}).End().Anim(10);
}

// The quaternion of a turn by 0.1 degree: every component within 0.001 of no turn's.
const float kSin = std::sin(float(M_PI) / 3600);
const float kCos = std::cos(float(M_PI) / 3600);

// The keys a file gives, and where they put a vertex.
TEST_F(BonePose, KeysAndWeightsAsExportersWriteThem) {
  struct Case {
    const char* what;
    std::function<void(TB3dWriter&)> build;
    float frame;
    int vertex;
    V3 want;
  } cases[] = {
      // a bone keyed from scale 1 to 0.1 carries the vertex at its local (0, 0, 10)
      {"scale 0.1 at frame 10",
       [](TB3dWriter& w) {
         Body(w, {0, 0, 10, 1, 0, 0, 0, 1, 0}).BeginNode("axe").Bone({{0, 1}});
         w.Keys(2, {{0, {1, 1, 1}}, {10, {0.1f, 0.1f, 0.1f}}});
       },
       10, 0, {0, 0, 1}},
      {"halfway between scale 1 and 0.1",
       [](TB3dWriter& w) {
         Body(w, {0, 0, 10, 1, 0, 0, 0, 1, 0}).BeginNode("axe").Bone({{0, 1}});
         w.Keys(2, {{0, {1, 1, 1}}, {10, {0.1f, 0.1f, 0.1f}}});
       },
       5, 0, {0, 0, 5.5f}},
      // a bone at rest scale 0.5: its child's offset (4, 0, 0) and the child's own frame
      // are halved, and at rest the skin stays as loaded
      {"a rest scale 0.5, at rest",
       [](TB3dWriter& w) {
         Body(w, {4, 0, 2, 1, 0, 0, 0, 1, 0}).BeginNode("seg", {0, 0, 0}, {0.5f, 0.5f, 0.5f}).Bone({});
         w.BeginNode("tip", {4, 0, 0}).Bone({{0, 1}});
       },
       0, 0, {4, 0, 2}},
      {"a scale key 0.5 on the parent bone",
       [](TB3dWriter& w) {
         Body(w, {4, 0, 2, 1, 0, 0, 0, 1, 0}).BeginNode("seg").Bone({});
         w.Keys(2, {{0, {1, 1, 1}}, {10, {0.5f, 0.5f, 0.5f}}});
         w.BeginNode("tip", {4, 0, 0}).Bone({{0, 1}});
       },
       10, 0, {2, 0, 1}},
      // rotation keys 0.1 degree apart about y: halfway, a vertex 1000 units out along
      // x has turned 0.05 degree toward z
      {"rotation keys 0.1 degree apart, halfway",
       [](TB3dWriter& w) {
         Body(w, {1000, 0, 0, 1, 0, 0, 0, 1, 0}).BeginNode("tail").Bone({{0, 1}});
         w.Keys(4, {{0, {1, 0, 0, 0}}, {10, {kCos, 0, kSin, 0}}});
       },
       5, 0, {1000 * std::cos(float(M_PI) / 3600), 0, 1000 * std::sin(float(M_PI) / 3600)}},
      // a rest scale 0 cannot be bound: the bone counts as unscaled and leaves its skin
      {"a rest scale 0, at rest",
       [](TB3dWriter& w) {
         Body(w, {0, 0, 10, 1, 0, 0, 0, 1, 0}).BeginNode("axe", {0, 0, 0}, {0, 0, 0}).Bone({{0, 1}});
       },
       0, 0, {0, 0, 10}},
  };
  for (const Case& c : cases) {
    ResetEngine();
    TB3dWriter w;
    c.build(w);
    MeshPtr body = Load(w);
    ASSERT_NE(body, nullptr) << c.what;
    SetAnimTime(body, c.frame, 0);
    ExpectNear(Posed(body, c.vertex), c.want, c.what, 1e-3f);
  }
}

// Vertex 0 at (1, 0, 0) under bones a (moved 2 along x by frame 10) and b (4 along y):
// whatever the weights, the vertex stays in place at rest and, posed, moves by the
// mean of its bones' moves, or wholly with its one bone. Vertex 1 has weights 0 only.
TEST_F(BonePose, WeightsAreDividedByTheirSum) {
  struct Case {
    float wa, wb;
    V3 posed;
  } cases[] = {
      {1, 1, {2, 2, 0}}, {0.3f, 0.3f, {2, 2, 0}}, {0.5f, 0.5f, {2, 2, 0}}, {0.5f, 0, {3, 0, 0}},
  };
  for (const Case& c : cases) {
    ResetEngine();
    const std::string what = std::to_string(c.wa) + " + " + std::to_string(c.wb);
    TB3dWriter w;
    Body(w, {1, 0, 0, 5, 5, 5, 0, 1, 0}).BeginNode("a").Bone({{0, c.wa}, {1, 0}});
    w.Keys(1, {{0, {0, 0, 0}}, {10, {2, 0, 0}}}).End();
    w.BeginNode("b").Bone({{0, c.wb}, {1, 0}}).Keys(1, {{0, {0, 0, 0}}, {10, {0, 4, 0}}});
    MeshPtr body = Load(w);
    ASSERT_NE(body, nullptr) << what;
    SetAnimTime(body, 0, 0);
    ExpectNear(Posed(body, 0), {1, 0, 0}, what + ", at rest");
    SetAnimTime(body, 10, 0);
    ExpectNear(Posed(body, 0), c.posed, what + ", posed");
    ExpectNear(Posed(body, 1), {5, 5, 5}, what + ", all weights 0");
  }
}

// b1 at (0, 2, 0) turns yaw 90 by frame 10, taking x to z; b2 hangs at (2, 0, 0) of it
// and skins vertex 0 at (2, 2, 0). Posed, b2 and the vertex stand at (0, 2, 2).
TB3dWriter ArmModel() {
  const float h = std::sqrt(0.5f);
  TB3dWriter w;
  Body(w, {2, 2, 0, 3, 2, 0, 2, 3, 0}).BeginNode("b1", {0, 2, 0}).Bone({});
  w.Keys(4, {{0, {1, 0, 0, 0}}, {10, {h, 0, h, 0}}});
  w.BeginNode("b2", {2, 0, 0}).Bone({{0, 1}, {1, 1}, {2, 1}});
  return w;
}

// The loaded arm posed at frame 10, with a pivot hung 1 above b2.
struct PosedArm {
  MeshPtr body;
  EntityPtr b1, b2;
  PivotPtr pivot;
};

PosedArm PoseArm(const MeshPtr& body) {
  if (!body) return {};
  PosedArm arm{body, FindChild(body, "b1"), FindChild(body, "b2"), nullptr};
  arm.pivot = CreatePivot(arm.b2);
  PositionEntity(arm.pivot, 0, 1, 0, 0);
  SetAnimTime(body, 10, 0);
  return arm;
}

TEST_F(BonePose, ACommandThatChangesNothingOnAPosedBoneChangesNothing) {
  struct Case {
    const char* what;
    std::function<void(const EntityPtr&)> run;
  } cases[] = {
      {"TurnEntity by 0", [](const EntityPtr& b) { TurnEntity(b, 0, 0, 0, 0); }},
      {"MoveEntity by 0", [](const EntityPtr& b) { MoveEntity(b, 0, 0, 0); }},
      {"TranslateEntity by 0", [](const EntityPtr& b) { TranslateEntity(b, 0, 0, 0, 0); }},
      {"PositionEntity to its place",
       [](const EntityPtr& b) { PositionEntity(b, EntityX(b, 0), EntityY(b, 0), EntityZ(b, 0), 0); }},
      {"RotateEntity to its angles",
       [](const EntityPtr& b) { RotateEntity(b, EntityPitch(b, 0), EntityYaw(b, 0), EntityRoll(b, 0), 0); }},
      {"ScaleEntity to 1", [](const EntityPtr& b) { ScaleEntity(b, 1, 1, 1, 0); }},
      {"EntityParent to its own parent", [](const EntityPtr& b) { EntityParent(b, b->GetParent(), 1); }},
  };
  for (const Case& c : cases) {
    ResetEngine();
    TB3dWriter w = ArmModel();
    const auto [body, b1, b2, pivot] = PoseArm(Load(w));
    ASSERT_NE(body, nullptr);
    const V3 vertex = Posed(body, 0), at = World(b2), hung = World(pivot);
    const float yaw = EntityYaw(b1, 1);
    EXPECT_NEAR(yaw, 90, 1e-3);
    c.run(b1);
    const V3 now = Posed(body, 0), b2_now = World(b2), hung_now = World(pivot);
    EXPECT_EQ(EntityYaw(b1, 1), yaw) << c.what;
    for (auto [got, want, part] : {std::tuple{now, vertex, "the skin"}, std::tuple{b2_now, at, "b2"},
                                   std::tuple{hung_now, hung, "the pivot"}}) {
      EXPECT_EQ(got.x, want.x) << c.what << ": " << part;
      EXPECT_EQ(got.y, want.y) << c.what << ": " << part;
      EXPECT_EQ(got.z, want.z) << c.what << ": " << part;
    }
    SetAnimTime(body, 0, 0);  // still bound: the keys pose the skin
    ExpectNear(Posed(body, 0), {2, 2, 0}, std::string(c.what) + ", at rest again");
  }
}

// A real move of b1 carries b2, the skin and the pivot at once; the next pose from keys
// puts everything back.
TEST_F(BonePose, APosedBoneMovedByACommandCarriesItsSkinBonesAndPivotsUntilTheNextPose) {
  struct Case {
    const char* what;
    std::function<void(const EntityPtr&)> run;
    V3 b2;  // where b2, and the vertex with it, stand after the command
  } cases[] = {
      {"TranslateEntity up 1", [](const EntityPtr& b) { TranslateEntity(b, 0, 1, 0, 0); }, {0, 3, 2}},
      {"PositionEntity to (0, 5, 0) in the world", [](const EntityPtr& b) { PositionEntity(b, 0, 5, 0, 1); },
       {0, 5, 2}},
      {"TurnEntity yaw 90 more", [](const EntityPtr& b) { TurnEntity(b, 0, 90, 0, 0); }, {-2, 2, 0}},
      {"ScaleEntity 2", [](const EntityPtr& b) { ScaleEntity(b, 2, 2, 2, 0); }, {0, 2, 4}},
  };
  for (const Case& c : cases) {
    ResetEngine();
    TB3dWriter w = ArmModel();
    const auto [body, b1, b2, pivot] = PoseArm(Load(w));
    ASSERT_NE(body, nullptr);
    ExpectNear(World(b2), {0, 2, 2}, std::string(c.what) + ", posed b2");
    c.run(b1);
    ExpectNear(World(b2), c.b2, std::string(c.what) + ": b2");
    ExpectNear(Posed(body, 0), c.b2, std::string(c.what) + ": the skin");
    TFormPoint(EntityX(b2, 1), EntityY(b2, 1), EntityZ(b2, 1), nullptr, b1);
    ExpectNear({TFormedX(), TFormedY(), TFormedZ()}, {2, 0, 0}, std::string(c.what) + ": b2 in b1's space");
    TFormPoint(0, 1, 0, b2, nullptr);
    ExpectNear(World(pivot), {TFormedX(), TFormedY(), TFormedZ()}, std::string(c.what) + ": the pivot on b2");
    SetAnimTime(body, 10, 0);
    ExpectNear(World(b2), {0, 2, 2}, std::string(c.what) + ", posed again: b2");
    ExpectNear(Posed(body, 0), {0, 2, 2}, std::string(c.what) + ", posed again: the skin");
  }
}

// A scene holding a body mesh and, beside it, a rig node with one bone b at (1, 1, 0)
// that carries the body's first vertex.
TB3dWriter& RigBesideBody(TB3dWriter& w) {
  w.Header().BeginNode("scene").BeginNode("body");
  w.BeginMesh().Vrts(0, 0, 0, {0, 0, 0, 1, 0, 0, 0, 1, 0}).Tris(-1, {0, 1, 2}).End().Anim(10).End();
  return w.BeginNode("rig").BeginNode("b", {1, 1, 0}).Bone({{0, 1}});
}

// The skeleton beside a mesh scaled 2 after loading: b stands at (2, 2, 0) of the
// world, two world units to one of its own. Entities placed on it in world terms land
// where asked, also once the bone is scaled itself.
TEST_F(BonePose, ABoundBoneWorldScaleIsItsMatrixs) {
  TB3dWriter w;
  w.Header().BeginNode("scene").BeginNode("body");
  w.BeginMesh().Vrts(0, 0, 0, {0, 0, 0, 1, 0, 0, 0, 1, 0}).Tris(-1, {0, 1, 2}).End().Anim(10).End();
  w.BeginNode("rig").BeginNode("b", {1, 1, 0}).Bone({{0, 1}});
  MeshPtr scene = Load(w);
  ASSERT_NE(scene, nullptr);
  EntityPtr body = FindChild(scene, "body"), b = FindChild(scene, "b");
  ScaleEntity(body, 2, 2, 2, 0);
  ExpectNear(World(b), {2, 2, 0}, "the bone");
  EXPECT_NEAR(b->EntityScaleX(1), 2, 1e-5);

  PivotPtr kept = CreatePivot(nullptr);
  PositionEntity(kept, 5, 6, 7, 0);
  EntityParent(kept, b, 1);
  ExpectNear(World(kept), {5, 6, 7}, "re-parented keeping its place");
  PivotPtr placed = CreatePivot(b);
  PositionEntity(placed, 1, 1, 1, 1);
  ExpectNear(World(placed), {1, 1, 1}, "positioned in world terms");
  ScaleEntity(b, 2, 2, 2, 0);
  EXPECT_NEAR(b->EntityScaleX(1), 4, 1e-5);
  PositionEntity(placed, 1, 2, 3, 1);
  ExpectNear(World(placed), {1, 2, 3}, "positioned in world terms on the scaled bone");

  // Taken out of the skeleton, it keeps its world scale and what hangs on it stays.
  PivotPtr hung = CreatePivot(b);
  PositionEntity(hung, 1, 0, 0, 0);
  ExpectNear(World(hung), {6, 2, 0}, "hung on the bone");
  EntityParent(b, CreatePivot(nullptr), 1);
  ExpectNear(World(b), {2, 2, 0}, "the bone taken out");
  EXPECT_NEAR(b->EntityScaleX(1), 4, 1e-5);
  ExpectNear(World(hung), {6, 2, 0}, "hung on the bone taken out");
}

// The global commands on a bone beside a mesh moved apart from its skeleton convert
// through the frame the bone's pose hangs in (the mesh's world matrix times the rig),
// not through the rig node alone. TranslateEntity turns the offset into that frame's
// axes and, as under any parent, leaves its scale out: two world units per unit on a
// mesh scaled 2, exactly as a pivot under a parent scaled 2 moves.
TEST_F(BonePose, GlobalCommandsOnABoneBesideAMovedMeshAnswerInTheWorld) {
  struct Case {
    const char* what;
    std::function<void(const EntityPtr&)> move_mesh;
    V3 step;  // where TranslateEntity(b, 1, 0, 0, 1) moves the bone in the world
  } cases[] = {
      {"mesh scaled 2", [](const EntityPtr& m) { ScaleEntity(m, 2, 2, 2, 0); }, {2, 0, 0}},
      {"mesh turned yaw 90", [](const EntityPtr& m) { RotateEntity(m, 0, 90, 0, 0); }, {1, 0, 0}},
      {"mesh moved and turned about x and z",
       [](const EntityPtr& m) {
         PositionEntity(m, 5, -2, 3, 0);
         RotateEntity(m, 30, 0, 45, 0);
       },
       {1, 0, 0}},
  };
  for (const Case& c : cases) {
    ResetEngine();
    TB3dWriter w;
    MeshPtr scene = Load(RigBesideBody(w));
    ASSERT_NE(scene, nullptr);
    EntityPtr body = FindChild(scene, "body"), b = FindChild(scene, "b");
    PivotPtr hung = CreatePivot(b);
    c.move_mesh(body);

    PositionEntity(b, 3, 3, 3, 1);
    ExpectNear(World(b), {3, 3, 3}, std::string(c.what) + ": PositionEntity in the world");
    ExpectNear(World(hung), {3, 3, 3}, std::string(c.what) + ": the pivot on it");
    TranslateEntity(b, 1, 0, 0, 1);
    ExpectNear(World(b), {3 + c.step.x, 3 + c.step.y, 3 + c.step.z},
               std::string(c.what) + ": TranslateEntity along world x");
    RotateEntity(b, 20, 30, 40, 1);
    EXPECT_NEAR(EntityPitch(b, 1), 20, 1e-3) << c.what;
    EXPECT_NEAR(EntityYaw(b, 1), 30, 1e-3) << c.what;
    EXPECT_NEAR(EntityRoll(b, 1), 40, 1e-3) << c.what;
    ExpectNear(World(b), {3 + c.step.x, 3 + c.step.y, 3 + c.step.z}, std::string(c.what) + ": turned in place");
  }
  // The plain entity the scaled case matches.
  PivotPtr scaled = CreatePivot(nullptr), child = CreatePivot(scaled);
  ScaleEntity(scaled, 2, 2, 2, 0);
  TranslateEntity(child, 1, 0, 0, 1);
  ExpectNear(World(child), {2, 0, 0}, "a pivot under a parent scaled 2");
}

// A bone taken out of its skeleton follows its new parent and keeps its place at the
// next pose; a bone copied alone stands under the copy's parent.
TEST_F(BonePose, ABoneTakenOutOrCopiedAloneFollowsItsNewParent) {
  TB3dWriter w;
  Body(w, {0, 1, 0, 1, 1, 0, 0, 2, 0}).BeginNode("b", {0, 1, 0}).Bone({{0, 1}, {1, 1}, {2, 1}});
  w.Keys(1, {{0, {0, 1, 0}}, {10, {0, 1, 0}}});
  MeshPtr body = Load(w);
  ASSERT_NE(body, nullptr);
  EntityPtr b = FindChild(body, "b");
  SetAnimTime(body, 5, 0);

  PivotPtr far = CreatePivot(nullptr);
  PositionEntity(far, 0, 50, 0, 0);
  EntityPtr copy = CopyEntity(b, far);
  ExpectNear(World(copy), {0, 51, 0}, "the copy");
  TranslateEntity(far, 10, 0, 0, 0);
  ExpectNear(World(copy), {10, 51, 0}, "the copy follows its parent");

  PivotPtr holder = CreatePivot(nullptr);
  EntityParent(b, holder, 1);
  ExpectNear(World(b), {0, 1, 0}, "re-parented");
  TranslateEntity(holder, 0, 0, 5, 0);
  ExpectNear(World(b), {0, 1, 5}, "carried by its new parent");
  SetAnimTime(body, 10, 0);
  ExpectNear(World(b), {0, 1, 5}, "and left there by the next pose");
  ExpectNear(Posed(body, 0), {0, 1, 0}, "the skin stays where it was");
}

// A skeleton beside its mesh outlives it: freed, the mesh lets its bones go, and each
// stays where its last pose put it and follows its parent node from there.
TEST_F(BonePose, BonesLetGoByAFreedMeshKeepTheirLastPose) {
  TB3dWriter w;
  w.Header().BeginNode("scene").BeginNode("body");
  w.BeginMesh().Vrts(0, 0, 0, {0, 0, 0, 1, 0, 0, 0, 1, 0}).Tris(-1, {0, 1, 2}).End().Anim(10).End();
  w.BeginNode("rig").BeginNode("b").Bone({{0, 1}}).Keys(1, {{0, {0, 0, 0}}, {10, {0, 3, 0}}});
  MeshPtr scene = Load(w);
  ASSERT_NE(scene, nullptr);
  EntityPtr rig = FindChild(scene, "rig"), b = FindChild(scene, "b");
  SetAnimTime(FindChild(scene, "body"), 10, 0);
  ExpectNear(World(b), {0, 3, 0}, "posed");
  FreeEntity(FindChild(scene, "body"));
  TranslateEntity(rig, 5, 0, 0, 0);
  ExpectNear(World(b), {5, 3, 0}, "carried by its node from its last pose");
  EXPECT_NEAR(EntityY(b, 0), 3, 1e-5);
}

// A plain node scaled (2, 1, 1) holds a bone that turns 45 degrees about z by frame 10:
// the posed normal stays square to the posed face.
TEST_F(BonePose, PosedNormalsStaySquareToTheirFacesUnderANonUniformScale) {
  const float n = std::sqrt(0.5f);
  const float s = std::sin(float(M_PI) / 8), c = std::cos(float(M_PI) / 8);
  TB3dWriter w;
  w.Header().BeginNode("body");
  std::vector<float> corners;  // the face x = y through the origin, its normal (1, -1, 0)
  for (V3 p : {V3{0, 0, 0}, V3{1, 1, 0}, V3{0, 0, 1}}) corners.insert(corners.end(), {p.x, p.y, p.z, n, -n, 0});
  w.BeginMesh().Vrts(1, 0, 0, corners).Tris(-1, {0, 1, 2}).End().Anim(10);
  w.BeginNode("stretch", {0, 0, 0}, {2, 1, 1}).BeginNode("limb").Bone({{0, 1}, {1, 1}, {2, 1}});
  w.Keys(4, {{0, {1, 0, 0, 0}}, {10, {c, 0, 0, s}}});
  MeshPtr body = Load(w);
  ASSERT_NE(body, nullptr);
  for (float frame : {0.0f, 5.0f, 10.0f}) {
    SetAnimTime(body, frame, 0);
    const V3 p0 = Posed(body, 0), p1 = Posed(body, 1), p2 = Posed(body, 2), normal = PosedNormal(body, 0);
    const V3 e1 = {p1.x - p0.x, p1.y - p0.y, p1.z - p0.z}, e2 = {p2.x - p0.x, p2.y - p0.y, p2.z - p0.z};
    const std::string what = "frame " + std::to_string(frame);
    EXPECT_NEAR(normal.x * e1.x + normal.y * e1.y + normal.z * e1.z, 0, 1e-5) << what;
    EXPECT_NEAR(normal.x * e2.x + normal.y * e2.y + normal.z * e2.z, 0, 1e-5) << what;
    EXPECT_NEAR(normal.x * normal.x + normal.y * normal.y + normal.z * normal.z, 1, 1e-5) << what;
  }
}

// A bone keyed to scale (-1, 1, 1) mirrors the face in the plane x = 1 onto x = -1:
// its normal, +x when loaded, faces -x, out of the mirrored face as before.
TEST_F(BonePose, APosedNormalUnderAMirroringScaleKeepsItsSide) {
  TB3dWriter w;
  w.Header().BeginNode("body");
  std::vector<float> corners;
  for (V3 p : {V3{1, 0, 0}, V3{1, 1, 0}, V3{1, 0, 1}}) corners.insert(corners.end(), {p.x, p.y, p.z, 1, 0, 0});
  w.BeginMesh().Vrts(1, 0, 0, corners).Tris(-1, {0, 1, 2}).End().Anim(10);
  w.BeginNode("mirror").Bone({{0, 1}, {1, 1}, {2, 1}}).Keys(2, {{0, {1, 1, 1}}, {10, {-1, 1, 1}}});
  MeshPtr body = Load(w);
  ASSERT_NE(body, nullptr);
  SetAnimTime(body, 10, 0);
  ExpectNear(Posed(body, 0), {-1, 0, 0}, "the vertex");
  ExpectNear(PosedNormal(body, 0), {-1, 0, 0}, "its normal");
}

}  // namespace
