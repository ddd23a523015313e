// Posing a large skinned mesh (AnimateMesh with its vertex deform, normals included),
// built in code: 100,000 vertices with normals, 4 bone influences each, 64 bones, 60 key
// frames, against a tight loop over plain arrays doing the same weighted matrix sums on
// positions. The gap is what the engine's bookkeeping and the normals cost per frame;
// allocs_per_pose must stay 0. Then a 40-bone character posed per frame, bare and with
// five pivots hung on its bones: what the bones' world places and the hung entities
// cost; the same character with scale keys on every bone; and a turn of one of its
// bones by the transform command, which poses the skeleton again from its last pose.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <span>
#include <vector>

#include "engine/math/quaternion.h"
#include "engine/mesh/animation.h"
#include "engine/mesh/bone.h"
#include "engine/mesh/mesh.h"
#include "engine/mesh/surface.h"
#include "support/allocation_counter.h"


namespace {

constexpr int kVertices = 100000;
constexpr int kBones = 64;
constexpr int kInfluencesPerVertex = 4;
constexpr int kFrames = 60;
constexpr float kWeights[kInfluencesPerVertex] = {0.4f, 0.3f, 0.2f, 0.1f};

// A bone with a key of each kind in flags (position and rotation unless told) at every
// frame, all zero until fill(keys, frame) sets that frame's; hung on parent and listed
// last in the mesh's bones.
template <typename Fill>
BonePtr KeyedBone(const MeshPtr& mesh, const EntityPtr& parent, float rest_y, Fill fill, int flags = 1 | 4) {
  auto bone = std::make_shared<TBone>();
  bone->class_name = "Bone";
  bone->rest_pos_y = rest_y;
  bone->rest_quat_w = 1;
  auto keys = std::make_shared<TAnimationKeys>();
  keys->frame_count = kFrames;
  keys->key_flags.assign(kFrames + 1, flags);
  for (auto* a : {&keys->pos_x, &keys->pos_y, &keys->pos_z, &keys->scale_x, &keys->scale_y, &keys->scale_z,
                  &keys->quat_w, &keys->quat_x, &keys->quat_y, &keys->quat_z}) {
    a->assign(kFrames + 1, 0.0f);
  }
  for (int f = 0; f <= kFrames; ++f) fill(*keys, f);
  bone->keys = keys;
  bone->AddParent(parent);
  bone->EntityListAdd(TEntity::entity_list);
  mesh->AddBone(bone);
  return bone;
}

// Vertex v belongs to a region of the mesh and takes the region's bone and the ones
// after it, weights[k] for the k-th; each bone's influence list comes out in vertex
// order, as a file's would.
void WeighByRegion(const std::vector<BonePtr>& bones, int vertices, std::span<const float> weights) {
  const int count = int(bones.size());
  for (int v = 0; v < vertices; ++v) {
    const int region = int(int64_t(v) * count / vertices);
    for (std::size_t k = 0; k < weights.size(); ++k) {
      TBone& bone = *bones[size_t((region + int(k)) % count)];
      bone.influence_vertices.push_back(v);
      bone.influence_weights.push_back(weights[k]);
    }
  }
  for (const BonePtr& b : bones) b->influence_count = int(b->influence_vertices.size());
}

// A pose per iteration, a frame on each time, after a first pose that grows the buffers;
// the loop must allocate nothing.
void PoseEveryFrame(benchmark::State& state, const MeshPtr& mesh) {
  TAnimation::AnimateMesh(mesh, 0.5f, 0, kFrames);
  int frame = 0;
  const long before = AllocationCount();
  for (auto _ : state) {
    TAnimation::AnimateMesh(mesh, float(frame) + 0.5f, 0, kFrames);
    frame = (frame + 1) % kFrames;
    benchmark::ClobberMemory();
  }
  state.counters["allocs_per_pose"] = double(AllocationCount() - before) / double(state.iterations());
}

// The skinned mesh as the model loader would leave it: two surfaces (16-bit corners
// cannot address 100,000 vertices in one), each holding every vertex with half the
// range, one animated copy per surface, a binary tree of bones with a key per frame.
struct SkinnedScene {
  MeshPtr mesh;
  std::vector<BonePtr> bones;

  SkinnedScene() {
    mesh = TMesh::CreateMesh();
    mesh->animated = 1;
    std::vector<float> positions(size_t(kVertices) * 3), normals(size_t(kVertices) * 3);
    for (int v = 0; v < kVertices; ++v) {
      const float a = float(v) * 0.01f;
      positions[3 * size_t(v)] = std::cos(a);
      positions[3 * size_t(v) + 1] = float(v) / kVertices * 10.0f;
      positions[3 * size_t(v) + 2] = -std::sin(a);
      normals[3 * size_t(v)] = std::cos(a);
      normals[3 * size_t(v) + 2] = -std::sin(a);
    }
    for (int s = 0; s < 2; ++s) {
      SurfacePtr surface = mesh->CreateSurface();
      surface->vertex_positions = positions;
      surface->vertex_normals = normals;
      surface->vertex_count = kVertices;
      surface->min_vertex_index = s * kVertices / 2;
      surface->max_vertex_index = (s + 1) * kVertices / 2 - 1;
      auto copy = std::make_shared<TSurface>();
      copy->vertex_positions = positions;
      mesh->anim_surfaces.AddLast(copy);
    }

    for (int b = 0; b < kBones; ++b) {
      const float rest_y = b == 0 ? 0.0f : 0.15f;
      const EntityPtr parent = b == 0 ? EntityPtr(mesh) : EntityPtr(bones[size_t(b - 1) / 2]);
      bones.push_back(KeyedBone(mesh, parent, rest_y, [&](TAnimationKeys& keys, int f) {
        const double half = (f * 0.5 + b) * 0.0087;  // a small turn about y, per frame and bone
        keys.pos_y[f] = rest_y + 0.001f * float(f);
        keys.quat_w[f] = float(std::cos(half));
        keys.quat_y[f] = float(std::sin(half));
      }));
    }
    WeighByRegion(bones, kVertices, kWeights);
    TAnimation::SetBindPose(*mesh);
  }
};

SkinnedScene& Scene() {
  static SkinnedScene scene;
  return scene;
}

// The posed positions (and, with normals, the normals) of one frame, bit for bit:
// builds that skin alike print one value.
double PosedHash(const MeshPtr& mesh, bool normals) {
  TAnimation::AnimateMesh(mesh, 10.5f, 0, kFrames);
  uint32_t hash = 2166136261u;
  auto add = [&](const std::vector<float>& values) {
    for (float f : values) {
      uint32_t bits;
      std::memcpy(&bits, &f, sizeof bits);
      hash = (hash ^ bits) * 16777619u;
    }
  };
  for (const SurfacePtr& copy : mesh->anim_surfaces) {
    add(copy->vertex_positions);
    if (normals) add(copy->vertex_normals);
  }
  return double(hash);
}

void BM_AnimateMesh(benchmark::State& state) {
  SkinnedScene& scene = Scene();
  PoseEveryFrame(state, scene.mesh);
  state.SetItemsProcessed(state.iterations() * int64_t(kVertices) * kInfluencesPerVertex);
  state.counters["positions_hash"] = PosedHash(scene.mesh, false);
}
BENCHMARK(BM_AnimateMesh)->Unit(benchmark::kMillisecond);

// The same weighted sums over plain arrays: one 3x4 matrix per bone (the engine's own
// skinning matrices of one pose), each influence adding w x (M x p) into a zeroed output.
void BM_PlainArraySkinning(benchmark::State& state) {
  SkinnedScene& scene = Scene();
  TAnimation::AnimateMesh(scene.mesh, 10.5f, 0, kFrames);
  struct Bone {
    float m[12];
    std::vector<int> vertices;
    std::vector<float> weights;
  };
  std::vector<Bone> bones;
  for (const BonePtr& b : scene.bones) {
    TMatrix m = b->pose;
    m.Multiply(*b->inverse_bind_matrix);
    Bone plain;
    for (int c = 0; c < 4; ++c)
      for (int r = 0; r < 3; ++r) plain.m[c * 3 + r] = m.grid[c][r];
    plain.vertices = b->influence_vertices;
    plain.weights = b->influence_weights;
    bones.push_back(std::move(plain));
  }
  const std::vector<float> positions = scene.mesh->GetSurface(1)->vertex_positions;
  std::vector<float> out(positions.size());

  for (auto _ : state) {
    std::fill(out.begin(), out.end(), 0.0f);
    for (const Bone& b : bones) {
      const float* m = b.m;
      const size_t n = b.vertices.size();
      for (size_t i = 0; i < n; ++i) {
        const size_t v = size_t(b.vertices[i]) * 3;
        const float w = b.weights[i];
        const float x = positions[v], y = positions[v + 1], z = positions[v + 2];
        out[v] += (m[9] + (m[0] * x + m[3] * y + m[6] * z)) * w;
        out[v + 1] += (m[10] + (m[1] * x + m[4] * y + m[7] * z)) * w;
        out[v + 2] += (m[11] + (m[2] * x + m[5] * y + m[8] * z)) * w;
      }
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * int64_t(kVertices) * kInfluencesPerVertex);
}
BENCHMARK(BM_PlainArraySkinning)->Unit(benchmark::kMillisecond);

// A character as exporters write them: 40 bones in a tree (a spine of 8, then limbs),
// 3,000 vertices with normals weighted by two bones each, a key per frame; the
// benchmark's argument is how many pivots hang on its bones (a weapon, lights, effects).
constexpr int kCharacterBones = 40;
constexpr int kCharacterVertices = 3000;

struct Character {
  MeshPtr mesh;
  std::vector<BonePtr> bones;

  // scale_keys: every bone also keys a scale near 1 at every frame.
  explicit Character(int pivots, bool scale_keys = false) {
    mesh = TMesh::CreateMesh();
    mesh->animated = 1;
    SurfacePtr surface = mesh->CreateSurface();
    for (int v = 0; v < kCharacterVertices; ++v) {
      const float a = float(v) * 0.05f;
      const int i = surface->AddVertex(std::cos(a), float(v) / kCharacterVertices * 2.0f, std::sin(a));
      surface->VertexNormal(i, std::cos(a), 0, std::sin(a));
    }
    auto copy = std::make_shared<TSurface>();
    copy->vertex_positions = surface->vertex_positions;
    mesh->anim_surfaces.AddLast(copy);
    for (int b = 0; b < kCharacterBones; ++b) {
      // A spine of eight, then four limbs of eight hanging off it.
      const int parent = b == 0 ? -1 : b < 8 ? b - 1 : (b % 8 == 0 ? (b / 8) - 1 : b - 1);
      bones.push_back(KeyedBone(mesh, parent < 0 ? EntityPtr(mesh) : EntityPtr(bones[size_t(parent)]), 0.05f,
                                [&](TAnimationKeys& keys, int f) {
                                  const double half = (f + b) * 0.01;
                                  keys.pos_y[f] = 0.05f;
                                  keys.quat_w[f] = float(std::cos(half));
                                  keys.quat_x[f] = float(std::sin(half));
                                  const float s = 1.0f + 0.1f * float(std::sin((f + b) * 0.2));
                                  keys.scale_x[f] = s, keys.scale_y[f] = 1, keys.scale_z[f] = s;
                                },
                                scale_keys ? 1 | 2 | 4 : 1 | 4));
    }
    constexpr float kCharacterWeights[] = {0.7f, 0.3f};
    WeighByRegion(bones, kCharacterVertices, kCharacterWeights);
    TAnimation::SetBindPose(*mesh);
    // The ends of the limbs and the head hold the pivots.
    for (int p = 0; p < pivots; ++p) {
      PivotPtr pivot = TPivot::CreatePivot(bones[size_t(8 * p + 7) % size_t(kCharacterBones)]);
      pivot->PositionEntity(0, 0.1f, 0);
    }
  }
  ~Character() { mesh->FreeEntity(); }
};

void BM_PoseCharacter(benchmark::State& state) {
  Character character(int(state.range(0)));
  PoseEveryFrame(state, character.mesh);
}
BENCHMARK(BM_PoseCharacter)->Arg(0)->Arg(5)->Unit(benchmark::kMicrosecond);

void BM_PoseScaledCharacter(benchmark::State& state) {
  Character character(0, true);
  PoseEveryFrame(state, character.mesh);
  state.counters["posed_hash"] = PosedHash(character.mesh, true);  // normals by the cofactors
}
BENCHMARK(BM_PoseScaledCharacter)->Unit(benchmark::kMicrosecond);

// A bone of the spine turned by TurnEntity after a pose: the bones below it, the skin
// and the hung pivots follow at once. Must cost no more than a pose (BM_PoseCharacter).
void BM_TurnPosedBone(benchmark::State& state) {
  Character character(int(state.range(0)));
  TAnimation::AnimateMesh(character.mesh, 10.5f, 0, kFrames);
  TBone& spine = *character.bones[3];
  spine.TurnEntity(0, 1, 0);  // grows what the first turn needs
  const long before = AllocationCount();
  for (auto _ : state) {
    spine.TurnEntity(0, 1, 0);
    benchmark::ClobberMemory();
  }
  state.counters["allocs_per_turn"] = double(AllocationCount() - before) / double(state.iterations());
}
BENCHMARK(BM_TurnPosedBone)->Arg(0)->Arg(5)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
