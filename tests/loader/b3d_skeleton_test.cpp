// Skinned models whose skeleton does not hang directly below its mesh: a skeleton beside
// the mesh, a plain node between the mesh and its skeleton, and both at once. Each is
// loaded and played through the command set, posed again after the mesh is moved, and
// copied whole.
#include <cmath>
#include <functional>

#include "engine/commands/commands.h"
#include "loader/loader_fixture.h"
#include "support/b3d_samples.h"

namespace {

using namespace velmora;
using B3dSkeletonLayout = LoaderTest;

struct V3 {
  float x, y, z;
};

const float kHalf = std::sqrt(0.5f);
// Rotation keys: no turn at frame 0, a quarter turn about y (x toward z) at frame 10.
const std::vector<B3dKey> kQuarterTurn = {{0, {1, 0, 0, 0}}, {10, {kHalf, 0, kHalf, 0}}};
const std::vector<std::pair<int, float>> kAllThree = {{0, 1}, {1, 1}, {2, 1}};

// The mesh body of every model: one triangle, the given vertices.
TB3dWriter& Triangle(TB3dWriter& w, const std::vector<float>& xyz) {
  return w.BeginMesh().Vrts(0, 0, 0, xyz).Tris(-1, {0, 1, 2}).End();
}

// Public position of vertex v in the mesh's animated copy.
V3 Posed(const MeshPtr& mesh, int v) {
  const std::vector<float>& p = mesh->anim_surfaces.First()->vertex_positions;
  return {p[size_t(v) * 3], p[size_t(v) * 3 + 1], -p[size_t(v) * 3 + 2]};
}

// The mesh named body: the model's root or below it.
MeshPtr BodyOf(const EntityPtr& root) {
  return std::dynamic_pointer_cast<TMesh>(root->name == "body" ? root : FindChild(root, "body"));
}

void ExpectPosed(const MeshPtr& mesh, const std::vector<V3>& want, const std::string& what) {
  for (size_t v = 0; v < want.size(); ++v) {
    const V3 got = Posed(mesh, int(v));
    EXPECT_NEAR(got.x, want[v].x, 1e-4) << what << ", vertex " << v;
    EXPECT_NEAR(got.y, want[v].y, 1e-4) << what << ", vertex " << v;
    EXPECT_NEAR(got.z, want[v].z, 1e-4) << what << ", vertex " << v;
  }
}

TEST_F(B3dSkeletonLayout, PosesRelativeToTheMeshWhereverTheSkeletonSits) {
  struct Case {
    const char* what;
    std::function<void(TB3dWriter&)> build;
    float frame;
    std::vector<V3> posed;
  } cases[] = {
      {"skeleton beside the mesh",
       [](TB3dWriter& w) {
         w.BeginNode("scene").BeginNode("body");
         Triangle(w, {0, 0, 0, 1, 0, 0, 0, 1, 0}).Anim(10).End();
         w.BeginNode("b1").Bone(kAllThree).Keys(1, {{0, {0, 0, 0}}, {10, {10, 0, 0}}});
       },
       5,
       {{5, 0, 0}, {6, 0, 0}, {5, 1, 0}}},
      {"a plain node between the mesh and its skeleton: turned about the arm",
       [](TB3dWriter& w) {
         w.BeginNode("body");
         Triangle(w, {3, 0, 0, 2, 0, 0, 2, 1, 0}).Anim(10);
         w.BeginNode("arm", {2, 0, 0}).BeginNode("b1").Bone(kAllThree).Keys(4, kQuarterTurn);
       },
       10,
       {{2, 0, 1}, {2, 0, 0}, {2, 1, 0}}},
      {"the same with the arm's offset folded into the bone",
       [](TB3dWriter& w) {
         w.BeginNode("body");
         Triangle(w, {3, 0, 0, 2, 0, 0, 2, 1, 0}).Anim(10);
         w.BeginNode("b1", {2, 0, 0}).Bone(kAllThree).Keys(4, kQuarterTurn);
       },
       10,
       {{2, 0, 1}, {2, 0, 0}, {2, 1, 0}}},
      // The scene's x is the turned mesh's -z.
      {"skeleton beside a turned mesh: the bone moves along the scene's axes",
       [](TB3dWriter& w) {
         w.BeginNode("scene").BeginNode("body", {0, 0, 0}, {1, 1, 1}, {kHalf, 0, kHalf, 0});
         Triangle(w, {0, 0, 0, 1, 0, 0, 0, 1, 0}).Anim(10).End();
         w.BeginNode("b1").Bone(kAllThree).Keys(1, {{0, {0, 0, 0}}, {10, {1, 0, 0}}});
       },
       10,
       {{0, 0, -1}, {1, 0, -1}, {0, 1, -1}}},
      // The node's quarter turn takes the bone's x to the mesh's z, as it would a bone's.
      {"a turned plain node: the bone moves along the node's axes",
       [](TB3dWriter& w) {
         w.BeginNode("body");
         Triangle(w, {3, 0, 0, 2, 0, 0, 2, 1, 0}).Anim(10);
         w.BeginNode("arm", {2, 0, 0}, {1, 1, 1}, {kHalf, 0, kHalf, 0}).BeginNode("b1").Bone(kAllThree);
         w.Keys(1, {{0, {0, 0, 0}}, {10, {1, 0, 0}}});
       },
       10,
       {{3, 0, 1}, {2, 0, 1}, {2, 1, 1}}},
      // The rig turns about (2, 0, 0) of the scene, which is (2, 0, -5) of the mesh.
      {"skeleton beside a mesh off the origin, its root under a plain node",
       [](TB3dWriter& w) {
         w.BeginNode("scene").BeginNode("body", {0, 0, 5});
         Triangle(w, {3, 0, 0, 2, 0, 0, 2, 1, 0}).Anim(10).End();
         w.BeginNode("rig", {2, 0, 0}).BeginNode("b1").Bone(kAllThree).Keys(4, kQuarterTurn);
       },
       10,
       {{-3, 0, -4}, {-3, 0, -5}, {-3, 1, -5}}},
  };
  for (const Case& c : cases) {
    ResetEngine();
    TB3dWriter w;
    w.Header();
    c.build(w);
    const std::string file = Save(w);
    MeshPtr root = LoadAnimMesh(file, nullptr);
    ASSERT_NE(root, nullptr) << c.what;
    MeshPtr body = BodyOf(root);
    ASSERT_NE(body, nullptr) << c.what;
    if (body->bones.Count() != 1) {
      ADD_FAILURE() << c.what << ": " << body->bones.Count() << " bones";
      continue;
    }
    EXPECT_EQ(body->bones.First()->name, "b1") << c.what;
    EXPECT_EQ(body->bones.First()->influence_count, 3) << c.what;

    SetAnimTime(body, c.frame, 0);
    ExpectPosed(body, c.posed, std::string(c.what) + ": SetAnimTime");

    // The mesh itself moved, turned and scaled keeps posing in place: drawing places it.
    PositionEntity(body, 7, -2, 3, 0);
    TurnEntity(body, 10, 40, -20, 0);
    ScaleEntity(body, 2, 2, 2, 0);
    SetAnimTime(body, 0, 0);
    SetAnimTime(body, c.frame, 0);
    ExpectPosed(body, c.posed, std::string(c.what) + ": after moving the mesh");

    // The whole model copied animates as the original does, with its own bones.
    EntityPtr copy_root = CopyEntity(root, nullptr);
    MeshPtr copy = BodyOf(copy_root);
    ASSERT_NE(copy, nullptr) << c.what;
    if (copy->bones.Count() != 1) {
      ADD_FAILURE() << c.what << ": the copy has " << copy->bones.Count() << " bones";
      continue;
    }
    EXPECT_NE(copy->bones.First(), body->bones.First()) << c.what;
    EXPECT_EQ(FindChild(copy_root, "b1"), copy->bones.First()) << c.what;
    FreeEntity(root);  // the copy needs nothing of the original
    Animate(copy, 3, c.frame, 0, 0);  // one shot: the second update poses the frame
    UpdateWorld(1);
    UpdateWorld(1);
    ExpectPosed(copy, c.posed, std::string(c.what) + ": the copy, Animate and UpdateWorld");
  }
}

// Scaled and turned plain nodes, a scaled mesh off the origin and a plain node between
// two bones: at the rest pose the skin is the loaded mesh, so the bind pose undoes
// exactly what the pose builds.
TEST_F(B3dSkeletonLayout, RestPoseSkinsOntoTheLoadedVerticesThroughPlainNodes) {
  TB3dWriter w = SampleSkeletonBesideModel();
  MeshPtr scene = LoadAnimMesh(Save(w), nullptr);
  ASSERT_NE(scene, nullptr);
  MeshPtr body = BodyOf(scene);
  ASSERT_NE(body, nullptr);
  ASSERT_EQ(body->bones.Count(), 2u);
  SetAnimTime(body, 0, 0);  // every key at frame 0 is the bone's rest pose
  const TSurface& loaded = SurfaceOf(body);
  std::vector<V3> rest;
  for (int v = 0; v < 3; ++v) rest.push_back({loaded.VertexX(v), loaded.VertexY(v), loaded.VertexZ(v)});
  ExpectPosed(body, rest, "rest pose");
  SetAnimTime(body, 4, 0);
  EXPECT_GT(std::fabs(Posed(body, 2).y - rest[2].y), 0.5f) << "and it animates";
}

}  // namespace
