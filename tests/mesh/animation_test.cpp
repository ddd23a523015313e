// Skinning: key search and interpolation (wrapped extrapolation, clamped frames), the
// weighted sums, vertices shared by two surfaces, the bind pose relative to the mesh,
// transitions from a never-posed mesh, input outside the limits, and posing without
// heap allocation once the buffers have grown.
#include "engine/mesh/animation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "engine/mesh/bone.h"
#include "engine/mesh/mesh.h"
#include "engine/mesh/surface.h"
#include "engine/scene/entity.h"
#include "support/engine_reset.h"
#include "support/allocation_counter.h"

namespace {

using Skinning = EngineTest;

constexpr int kFrames = 20;

struct V3 {
  float x, y, z;
};

// A mesh as the model loader leaves it: one surface per range of vertex numbers (each
// holding every vertex), one copy of the positions per surface, animated.
MeshPtr SkinnedMesh(const std::vector<V3>& points, int surfaces = 1) {
  MeshPtr mesh = TMesh::CreateMesh();
  mesh->animated = 1;
  for (int i = 0; i < surfaces; ++i) {
    SurfacePtr s = mesh->CreateSurface();
    for (const V3& p : points) s->AddVertex(p.x, p.y, p.z);
    auto copy = std::make_shared<TSurface>();
    copy->vertex_positions = s->vertex_positions;
    mesh->anim_surfaces.AddLast(copy);
  }
  return mesh;
}

// A bone with its rest pose (file coordinates), empty key arrays for kFrames frames and
// the given influences, registered under parent and in the mesh's list.
BonePtr AddBone(const MeshPtr& mesh, const EntityPtr& parent, V3 rest, const float quat[4],
                std::vector<int> vertices, std::vector<float> weights) {
  auto bone = std::make_shared<TBone>();
  bone->class_name = "Bone";
  bone->rest_pos_x = rest.x, bone->rest_pos_y = rest.y, bone->rest_pos_z = -rest.z;
  bone->rest_quat_w = quat[0], bone->rest_quat_x = quat[1];
  bone->rest_quat_y = quat[2], bone->rest_quat_z = quat[3];
  bone->influence_count = int(vertices.size());
  bone->influence_vertices = std::move(vertices);
  bone->influence_weights = std::move(weights);
  auto keys = std::make_shared<TAnimationKeys>();
  keys->frame_count = kFrames;
  for (auto* a : {&keys->pos_x, &keys->pos_y, &keys->pos_z, &keys->scale_x, &keys->scale_y, &keys->scale_z,
                  &keys->quat_w, &keys->quat_x, &keys->quat_y, &keys->quat_z}) {
    a->assign(kFrames + 1, 0.0f);
  }
  keys->key_flags.assign(kFrames + 1, 0);
  bone->keys = keys;
  bone->AddParent(parent);
  bone->EntityListAdd(TEntity::entity_list);
  mesh->bones.AddLast(bone);
  return bone;
}

const float kIdentity[4] = {1, 0, 0, 0};

void PosKey(const BonePtr& b, int frame, V3 p) {
  b->keys->key_flags[frame] |= 1;
  b->keys->pos_x[frame] = p.x, b->keys->pos_y[frame] = p.y, b->keys->pos_z[frame] = p.z;
}

void RotKey(const BonePtr& b, int frame, float w, float x, float y, float z) {
  b->keys->key_flags[frame] |= 4;
  b->keys->quat_w[frame] = w, b->keys->quat_x[frame] = x;
  b->keys->quat_y[frame] = y, b->keys->quat_z[frame] = z;
}

// Public position of vertex v in the mesh's animated copy number i (from 0).
V3 Posed(const MeshPtr& m, int v, int copy = 0) {
  const std::vector<float>& p = m->anim_surfaces.ValueAtIndex(size_t(copy))->vertex_positions;
  return {p[size_t(v) * 3], p[size_t(v) * 3 + 1], -p[size_t(v) * 3 + 2]};
}

void ExpectNear(V3 got, V3 want, float tolerance = 1e-5f) {
  EXPECT_NEAR(got.x, want.x, tolerance);
  EXPECT_NEAR(got.y, want.y, tolerance);
  EXPECT_NEAR(got.z, want.z, tolerance);
}

TEST_F(Skinning, PositionKeysInterpolateWrapAndClamp) {
  const struct {
    const char* name;
    std::vector<std::pair<int, float>> keys;  // frame, x
    int first, last;
    float frame;
    float x;
  } cases[] = {
      {"halfway between keys", {{2, 2}, {3, 4}}, 0, 20, 2.5f, 3},
      {"on a key", {{2, 2}, {3, 4}}, 0, 20, 2.0f, 2},
      {"wrapped: the line past the last key", {{0, 1}, {10, 3}}, 0, 20, 15, 1.5f * 3 - 0.5f * 1},
      {"one key holds", {{7, 5}}, 0, 20, 13.25f, 5},
      {"no key in the sequence: rest", {{15, 9}}, 0, 10, 5, -1},
      {"frame past last poses last", {{0, 0}, {20, 10}}, 0, 20, 25, 10},
      {"frame before first poses first", {{0, 6}, {20, 10}}, 0, 20, -3, 6},
      {"sequence inside the keys", {{4, 0}, {8, 8}, {12, 0}}, 8, 12, 10, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MeshPtr m = SkinnedMesh({{0, 0, 0}});
    BonePtr b = AddBone(m, m, {-1, 0, 0}, kIdentity, {0}, {1});
    for (auto [frame, x] : c.keys) {
      PosKey(b, frame, {x, 0, 0});
      RotKey(b, frame, 1, 0, 0, 0);
    }
    TAnimation::SetBindPose(*m);
    TAnimation::AnimateMesh(m, c.frame, c.first, c.last);
    EXPECT_FLOAT_EQ(b->key_pos_x, c.x);
    // Bound at the rest position -1, the vertex moves with the bone.
    EXPECT_NEAR(Posed(m, 0).x, c.x + 1, 1e-5);
    EXPECT_EQ(m->draw_deformed, 1);
    m->FreeEntity();
  }
}

TEST_F(Skinning, RotationKeysSlerp) {
  MeshPtr m = SkinnedMesh({{1, 0, 0}});
  BonePtr b = AddBone(m, m, {0, 0, 0}, kIdentity, {0}, {1});
  RotKey(b, 0, 1, 0, 0, 0);
  const float h = float(std::sqrt(0.5));
  RotKey(b, 10, h, 0, h, 0);  // 90 degrees about y
  TAnimation::SetBindPose(*m);
  const struct {
    float frame, degrees;
  } cases[] = {{0, 0}, {5, 45}, {10, 90}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.frame);
    TAnimation::AnimateMesh(m, c.frame, 0, 10);
    const double a = c.degrees * M_PI / 180;
    ExpectNear(Posed(m, 0), {float(std::cos(a)), 0, float(std::sin(a))});
  }
}

// Normals turn with the bones that move their vertex, by the same weights, and come
// back to unit length; the plan of shares follows influences changed between poses.
TEST_F(Skinning, NormalsTurnWithTheirBonesAndAreRenormalised) {
  const float h = float(std::sqrt(0.5));
  MeshPtr m = SkinnedMesh({{0, 0, 0}, {1, 0, 0}});
  SurfacePtr s = m->GetSurface(1);
  s->VertexNormal(0, 1, 0, 0);
  s->VertexNormal(1, 0, 0, 1);
  BonePtr turning = AddBone(m, m, {0, 0, 0}, kIdentity, {0, 1}, {1, 0.5f});
  BonePtr still = AddBone(m, m, {0, 0, 0}, kIdentity, {1}, {0.5f});
  RotKey(turning, 0, 1, 0, 0, 0);
  RotKey(turning, 10, h, 0, h, 0);  // x toward z, z toward -x
  RotKey(still, 0, 1, 0, 0, 0);
  TAnimation::SetBindPose(*m);
  auto normal = [&](int v) {
    const std::vector<float>& n = m->anim_surfaces.First()->vertex_normals;
    return V3{n[size_t(v) * 3], n[size_t(v) * 3 + 1], -n[size_t(v) * 3 + 2]};
  };
  TAnimation::AnimateMesh(m, 10, 0, 10);
  ExpectNear(normal(0), {0, 0, 1});
  // Half turned away (-x), half kept (+z): the sum is (-0.5, 0, 0.5), renormalised.
  ExpectNear(normal(1), {-h, 0, h});
  // The loaded normals stay as they were.
  EXPECT_FLOAT_EQ(s->VertexNX(0), 1);

  // Vertex 0 given to the still bone as well, half and half.
  still->influence_vertices = {1, 0};
  still->influence_weights = {0.5f, 0.5f};
  still->influence_count = 2;
  turning->influence_weights = {0.5f, 0.5f};
  TAnimation::AnimateMesh(m, 10, 0, 10);
  ExpectNear(normal(0), {h, 0, h});
  m->FreeEntity();
}

// A vertex's weights are divided by their sum; zero weights do nothing, not even mark
// the vertex done.
TEST_F(Skinning, WeightsSumOverBones) {
  const struct {
    float w1, w2;
  } cases[] = {{0.5f, 0.5f}, {0.3f, 0.3f}, {1, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w1 << ", " << c.w2);
    MeshPtr m = SkinnedMesh({{0, 0, 0}, {5, 5, 5}});
    BonePtr a = AddBone(m, m, {0, 0, 0}, kIdentity, {0, 1}, {c.w1, 0});
    BonePtr b = AddBone(m, m, {0, 0, 0}, kIdentity, {0}, {c.w2});
    PosKey(a, 0, {2, 0, 0});
    PosKey(b, 0, {0, 4, 0});
    TAnimation::SetBindPose(*m);
    TAnimation::AnimateMesh(m, 0, 0, 10);
    // The bones move the vertex at the origin to (2, 0, 0) and (0, 4, 0).
    const float sum = c.w1 + c.w2;
    ExpectNear(Posed(m, 0), {2 * c.w1 / sum, 4 * c.w2 / sum, 0});
    ExpectNear(Posed(m, 1), {5, 5, 5});  // reached only by a zero weight
    m->FreeEntity();
  }
}

TEST_F(Skinning, VertexInTwoSurfacesIsSkinnedInEveryCopy) {
  const struct {
    const char* name;
    int ranges[2][2];  // min and max vertex of each surface
    int moved[5];      // per vertex: bit 1 copy 0 moved, bit 2 copy 1 moved
  } cases[] = {
      // Vertex 2 lies in both ranges (and has two influences of 0.5): both copies show it.
      {"overlapping ranges", {{0, 2}, {2, 3}}, {1, 0, 3, 2, 2}},
      {"disjoint ranges", {{0, 1}, {2, 3}}, {1, 0, 2, 2, 2}},
      {"disjoint, second range first", {{3, 4}, {0, 2}}, {2, 0, 2, 1, 1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MeshPtr m = SkinnedMesh({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}}, 2);
    for (int i = 0; i < 2; ++i) {
      m->GetSurface(i + 1)->min_vertex_index = c.ranges[i][0];
      m->GetSurface(i + 1)->max_vertex_index = c.ranges[i][1];
    }
    // Vertex 4 is in no range in the first two layouts: the last copy takes it.
    BonePtr b = AddBone(m, m, {0, 0, 0}, kIdentity, {0, 2, 3, 4, 2}, {1, 0.5f, 1, 1, 0.5f});
    PosKey(b, 0, {0, 10, 0});
    TAnimation::SetBindPose(*m);
    TAnimation::AnimateMesh(m, 0, 0, 10);
    for (int v = 0; v < 5; ++v) {
      for (int copy = 0; copy < 2; ++copy) {
        SCOPED_TRACE(testing::Message() << "vertex " << v << " copy " << copy);
        const bool moved = (c.moved[v] >> copy) & 1;
        ExpectNear(Posed(m, v, copy), {float(v), moved ? 10.0f : 0.0f, 0});
      }
    }
    m->FreeEntity();
  }
}

// The bind pose is taken relative to the mesh: a mesh placed anywhere when its skeleton
// was bound reproduces its loaded vertices at the rest pose, and moving it later does
// not touch the skinned positions (drawing applies the mesh's matrix).
TEST_F(Skinning, RestPoseReproducesTheMeshWhereverItWasPlaced) {
  MeshPtr m = SkinnedMesh({{1, 2, 3}, {-4, 0.5f, 2}, {0, 0, -7}});
  m->PositionEntity(5, -3, 8);
  m->RotateEntity(20, 45, -10);
  m->ScaleEntity(2, 2, 2);
  const float q1[4] = {0.9238795f, 0, 0.3826834f, 0};  // 45 degrees about y
  const float q2[4] = {0.8660254f, 0.5f, 0, 0};        // 60 degrees about x
  BonePtr root = AddBone(m, m, {1, 2, 3}, q1, {0, 1}, {0.5f, 1});
  BonePtr child = AddBone(m, root, {0, 4, -1}, q2, {0, 2}, {0.5f, 1});
  for (const BonePtr& b : {root, child}) {
    for (int f : {0, kFrames}) {
      PosKey(b, f, {b->rest_pos_x, b->rest_pos_y, -b->rest_pos_z});
      RotKey(b, f, b->rest_quat_w, b->rest_quat_x, b->rest_quat_y, b->rest_quat_z);
    }
  }
  TAnimation::SetBindPose(*m);
  const std::vector<float> loaded = m->GetSurface(1)->vertex_positions;
  for (float frame : {0.0f, 7.5f, float(kFrames)}) {
    TAnimation::AnimateMesh(m, frame, 0, kFrames);
    for (int v = 0; v < 3; ++v) {
      SCOPED_TRACE(testing::Message() << "frame " << frame << " vertex " << v);
      ExpectNear(Posed(m, v), {loaded[3 * v], loaded[3 * v + 1], -loaded[3 * v + 2]}, 2e-5f);
    }
    m->TurnEntity(0, 30, 0);
  }
  // The bones' poses are relative to the mesh, not the mesh's placement.
  EXPECT_NEAR(root->pose.grid[3][0], 1, 1e-6);
  EXPECT_NEAR(root->pose.grid[3][2], 3, 1e-6);
}

// Plain nodes in a bone's chain take part with their own transforms, scale included,
// in the bind pose and in the pose: the skin turns about where the nodes put the bone.
TEST_F(Skinning, PlainNodesBetweenMeshAndBonesTakePart) {
  const float h = float(std::sqrt(0.5));
  const struct {
    const char* name;
    V3 vertex;
    // Builds the chain; the returned bone carries the quarter turn about y (x toward z).
    BonePtr (*build)(const MeshPtr& m);
    V3 turned;
  } cases[] = {
      {"mesh, scaled pivot off the origin, bone", {2, 0, 0},
       [](const MeshPtr& m) {
         PivotPtr p = TPivot::CreatePivot(m);
         p->PositionEntity(1, 0, 0);
         p->ScaleEntity(2, 2, 2);
         return AddBone(m, p, {0, 0, 0}, kIdentity, {0}, {1});
       },
       {1, 0, 1}},
      {"bone, pivot, bone: the turn of the first carries the second", {2, 1, 0},
       [](const MeshPtr& m) {
         BonePtr a = AddBone(m, m, {0, 1, 0}, kIdentity, {}, {});
         PivotPtr x = TPivot::CreatePivot(a);
         x->PositionEntity(1, 0, 0);
         AddBone(m, x, {0, 0, 0}, kIdentity, {0}, {1});
         return a;
       },
       {0, 1, 2}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MeshPtr m = SkinnedMesh({c.vertex});
    BonePtr turning = c.build(m);
    RotKey(turning, 0, 1, 0, 0, 0);
    RotKey(turning, 10, h, 0, h, 0);
    TAnimation::SetBindPose(*m);
    TAnimation::AnimateMesh(m, 0, 0, 10);
    ExpectNear(Posed(m, 0), c.vertex);
    TAnimation::AnimateMesh(m, 10, 0, 10);
    ExpectNear(Posed(m, 0), c.turned);
    m->FreeEntity();
  }
}

TEST_F(Skinning, TransitionFromANeverPosedMeshStartsAtRest) {
  MeshPtr m = SkinnedMesh({{1, 0, 0}});
  const float h = float(std::sqrt(0.5));
  const float rest_quat[4] = {h, 0, h, 0};  // the rest pose turns 90 degrees about y
  BonePtr b = AddBone(m, m, {0, 0, 0}, rest_quat, {0}, {1});
  TAnimation::SetBindPose(*m);
  PosKey(b, 3, {0, 6, 0});
  RotKey(b, 3, 1, 0, 0, 0);
  // Relative to the bind pose the target undoes the rest turn: -90 degrees.
  const struct {
    float blend;
    V3 at;
  } cases[] = {
      {0, {1, 0, 0}},  // the rest pose: the loaded vertex
      {0.5f, {float(std::cos(M_PI / 4)), 3, float(-std::sin(M_PI / 4))}},
      {1, {0, 6, -1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.blend);
    TAnimation::AnimateMesh2(m, c.blend, 0, 10);
    ExpectNear(Posed(m, 0), c.at);
  }
  EXPECT_EQ(b->key_posed, 0);  // transitions leave the start pose alone

  // After a pose the transition starts there.
  TAnimation::AnimateMesh(m, 3, 0, 10);
  TAnimation::AnimateMesh2(m, 0, 0, 10);
  ExpectNear(Posed(m, 0), {0, 6, -1});
}

// Nothing outside the data's limits is read or written; what can be posed still is.
TEST_F(Skinning, InputOutsideTheLimitsIsSkipped) {
  MeshPtr m = SkinnedMesh({{1, 1, 1}, {2, 2, 2}});
  // Vertex numbers below 0 and past the mesh, and a last influence without a weight.
  BonePtr b = AddBone(m, m, {0, 0, 0}, kIdentity, {-1, 2, 70000, 0, 1}, {1, 1, 1, 1});
  PosKey(b, 0, {0, 1, 0});
  BonePtr keyless = AddBone(m, m, {0, 0, 3}, kIdentity, {}, {});
  keyless->keys.reset();
  BonePtr unbound = AddBone(m, keyless, {0, 0, 0}, kIdentity, {0}, {1});
  AddBone(m, m, {0, 0, 0}, kIdentity, {1}, {1});  // a vertex past the short copy
  TAnimation::SetBindPose(*m);
  unbound->inverse_bind_matrix.reset();
  // The copy is short: it holds only vertex 0.
  m->anim_surfaces.First()->vertex_positions.resize(3);

  // A sequence far past the key arrays, frames far outside any range.
  for (float frame : {5.0f, 1e9f, -1e9f, NAN}) {
    SCOPED_TRACE(frame);
    TAnimation::AnimateMesh(m, frame, -50, 2000000000);
    TAnimation::AnimateMesh2(m, 0.5f, 1000, 2000000000);
  }
  TAnimation::AnimateMesh(m, 0, 0, 10);
  ExpectNear(Posed(m, 0), {1, 2, 1});  // the one in-range influence with a weight
  EXPECT_FLOAT_EQ(keyless->pose.grid[3][2], 3);  // no keys: the rest pose

  // A mesh without surfaces only poses its bones; an entity that is not an animated mesh
  // is left alone.
  MeshPtr empty = TMesh::CreateMesh();
  empty->animated = 1;
  BonePtr lone = AddBone(empty, empty, {0, 0, 0}, kIdentity, {0, 1}, {1, 1});
  PosKey(lone, 4, {1, 2, 3});
  TAnimation::SetBindPose(*empty);
  TAnimation::AnimateMesh(empty, 4, 0, 10);
  EXPECT_FLOAT_EQ(lone->key_pos_z, 3);
  MeshPtr still = SkinnedMesh({{1, 1, 1}});
  still->animated = 0;
  TAnimation::AnimateMesh(still, 0, 0, 10);
  EXPECT_EQ(still->draw_deformed, 0);
  TAnimation::AnimateMesh(TPivot::CreatePivot(), 0, 0, 10);
  TAnimation::AnimateMesh(EntityPtr(), 0, 0, 10);
}

TEST_F(Skinning, PosingAgainAllocatesNothing) {
  std::vector<V3> points(500);
  for (int i = 0; i < 500; ++i) points[i] = {float(i), 0, 0};
  MeshPtr m = SkinnedMesh(points, 2);
  m->GetSurface(1)->min_vertex_index = 0, m->GetSurface(1)->max_vertex_index = 300;
  m->GetSurface(2)->min_vertex_index = 200, m->GetSurface(2)->max_vertex_index = 499;
  BonePtr parent;
  for (int k = 0; k < 4; ++k) {
    std::vector<int> vs;
    std::vector<float> ws;
    for (int i = k; i < 500; i += 2) vs.push_back(i), ws.push_back(0.5f);
    BonePtr b = AddBone(m, parent ? EntityPtr(parent) : EntityPtr(m), {0, 1, 0}, kIdentity, vs, ws);
    PosKey(b, 0, {0, 1, 0});
    PosKey(b, 10, {1, 1, 0});
    RotKey(b, 0, 1, 0, 0, 0);
    RotKey(b, 10, 0.8f, 0.6f, 0, 0);
    parent = b;
  }
  TAnimation::SetBindPose(*m);
  TAnimation::AnimateMesh(m, 1, 0, 10);  // grows the buffers
  const long before = AllocationCount();
  for (int frame = 0; frame < 10; ++frame) {
    TAnimation::AnimateMesh(m, float(frame), 0, 10);
    TAnimation::AnimateMesh2(m, 0.1f * float(frame), 0, 10);
  }
  EXPECT_EQ(AllocationCount(), before);
}

}  // namespace
