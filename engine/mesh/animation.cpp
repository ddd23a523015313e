// Skeletal posing and skinning: key search and interpolation per bone, bone poses
// relative to the mesh, and the weighted vertex sums into the animated surface copies.
// The contract with the model loader stands at the top of animation.h.
//
// Sections: key tracks, the frame a bone hangs in, pose set-up, the skin plan,
// skinning a pose, posing, binding.
#include "engine/mesh/animation.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

#include "engine/math/lanes.h"
#include "engine/math/quaternion.h"
#include "engine/mesh/bone.h"
#include "engine/mesh/mesh.h"
#include "engine/mesh/surface.h"

std::vector<TMatrix> TAnimation::skinning_;
std::vector<TMatrix> TAnimation::normal_skinning_;
std::vector<char> TAnimation::skins_;
bool TAnimation::cofactors_ = false;
std::vector<TAnimation::SkinTarget> TAnimation::targets_;

namespace {

// Vertex numbers are ints; a larger array is only ever addressed below this.
constexpr std::size_t kMaxVertexNumbers = std::size_t(std::numeric_limits<int>::max());

// ---- Key tracks -------------------------------------------------------------------

using Pose = TBonePose;

// The frames of one kind of key a bone holds. Frames outside the bone's arrays (as a
// sequence longer than the file's animation asks for) hold no key; so does a bone
// without keys.
class KeyTrack {
 public:
  KeyTrack(const TAnimationKeys* keys, int bit) : keys_(keys), bit_(bit) {
    if (!keys) return;
    std::size_t n = keys->key_flags.size();
    if (bit == TAnimationKeys::kPositionKey) {
      n = std::min({n, keys->pos_x.size(), keys->pos_y.size(), keys->pos_z.size()});
    } else if (bit == TAnimationKeys::kScaleKey) {
      n = std::min({n, keys->scale_x.size(), keys->scale_y.size(), keys->scale_z.size()});
    } else {
      n = std::min({n, keys->quat_w.size(), keys->quat_x.size(), keys->quat_y.size(), keys->quat_z.size()});
    }
    size_ = static_cast<long long>(n);
  }

  // Backward search from i0: i0 down to first, then last down to first. -1 if none.
  // The second leg stops above i0: below it the first leg found nothing.
  int Before(int i0, int first, int last) const {
    const long long lo = std::max<long long>(first, 0);
    const long long start = std::min<long long>(i0, size_ - 1);
    for (long long i = start; i >= lo; --i)
      if (Has(i)) return int(i);
    for (long long i = std::min<long long>(last, size_ - 1); i > std::max(start, lo - 1); --i)
      if (Has(i)) return int(i);
    return -1;
  }
  // Forward search from i0: i0 + 1 up to last, then first up to last. -1 if none.
  // The second leg stops below i0 + 1: from there on the first leg found nothing.
  int After(int i0, int first, int last) const {
    const long long hi = std::min<long long>(last, size_ - 1);
    const long long start = std::max<long long>(static_cast<long long>(i0) + 1, 0);
    for (long long i = start; i <= hi; ++i)
      if (Has(i)) return int(i);
    for (long long i = std::max<long long>(first, 0); i < std::min(start, hi + 1); ++i)
      if (Has(i)) return int(i);
    return -1;
  }
  // Whether any frame first..last holds a key: a scan without early exit, which the
  // compiler runs many frames at a time, so a bone without keys of a kind (most have
  // no scale keys) costs little to find so.
  bool Any(int first, int last) const {
    const long long lo = std::max<long long>(first, 0), hi = std::min<long long>(last, size_ - 1);
    int any = 0;
    for (long long i = lo; i <= hi; ++i) any |= keys_->key_flags[std::size_t(i)];
    return (any & bit_) != 0;
  }
  int First(int first, int last) const { return After(first - 1, first, last); }

 private:
  bool Has(long long i) const { return (keys_->key_flags[std::size_t(i)] & bit_) != 0; }
  const TAnimationKeys* keys_;
  int bit_;
  long long size_ = 0;
};

void RestPose(const TBone& b, Pose& p) {
  p.x = b.rest_pos_x, p.y = b.rest_pos_y, p.z = -b.rest_pos_z;  // undo the stored negation
  p.qw = b.rest_quat_w, p.qx = b.rest_quat_x, p.qy = b.rest_quat_y, p.qz = b.rest_quat_z;
  // An axis scaled to 0 (or to no number) would make the bind pose singular, and the
  // skin could not stand as loaded: it counts as unscaled.
  auto usable = [](float s) { return s != 0.0f && std::isfinite(s) ? s : 1.0f; };
  p.sx = usable(b.rest_scale_x), p.sy = usable(b.rest_scale_y), p.sz = usable(b.rest_scale_z);
}

// The straight line through the keys at frames ib and ia (at distances db and da from
// the frame), evaluated at the frame: interpolation, or extrapolation after a wrap.
float Line(float before, float after, float db, float da) {
  return db + da == 0.0f ? before : before + (after - before) / (db + da) * db;
}

// Slerp from a to b by t into p. Slerp keeps a when every component lies within its
// equality bound of b's; keys that close (exporters key every frame) are interpolated
// on the straight line between them, normalised, so a slow turn moves smoothly.
// Equal keys, and keys farther apart, give exactly what Slerp gives.
void Turn(float aw, float ax, float ay, float az, float bw, float bx, float by, float bz, float t, Pose& p) {
  if (TQuaternion::Slerp(ax, ay, az, aw, bx, by, bz, bw, p.qx, p.qy, p.qz, p.qw, t) == 0) return;
  if (aw == bw && ax == bx && ay == by && az == bz) return;
  if (aw * bw + ax * bx + ay * by + az * bz < 0.0f) bw = -bw, bx = -bx, by = -by, bz = -bz;
  const float k0 = 1.0f - t, k1 = t;
  const float w = k0 * aw + k1 * bw, x = k0 * ax + k1 * bx, y = k0 * ay + k1 * by, z = k0 * az + k1 * bz;
  const float length = std::sqrt(w * w + x * x + y * y + z * z);
  if (!(length > 0.0f)) return;  // opposite keys: Slerp's answer stands
  p.qw = w / length, p.qx = x / length, p.qy = y / length, p.qz = z / length;
}

// ---- The frame a bone hangs in ----------------------------------------------------

// A node's own transform (position, turn, scale) in bone space: its local matrix with
// the stored z negation undone on both sides, so that it multiplies with bone matrices.
TMatrix NodeMatrix(const TEntity& e) {
  TMatrix m;
  m.TForm(e.pos_x, e.pos_y, e.pos_z, e.pitch, e.yaw, e.roll, e.scale_x, e.scale_y, e.scale_z);
  return TAnimation::Mirrored(m);
}

// True when e lies above the mesh in the tree.
bool Holds(const TEntity* e, const TMesh* mesh) { return mesh && mesh->IsBelow(e); }

// What lies between a bone and its mesh, found by climbing from the bone's parent.
// Plain (non-bone) nodes on the way take part with their own transforms; the climb
// ends at the first of:
//  - the mesh, or no parent at all: the mesh's own space;
//  - a node above the mesh too (the skeleton sits beside the mesh; a bone of another
//    mesh that holds this one counts), or the top of a tree apart from the mesh's: the
//    frame continues with the mesh's side (MeshSide);
//  - a bone: the frame continues with that bone's pose.
struct Climb {
  enum End { kMesh, kBone, kBeside };
  End end = kMesh;
  const TBone* bone = nullptr;      // kBone: the bone it ended at
  const TEntity* common = nullptr;  // kBeside: the node above both; null for apart trees
  bool passed = false;              // some plain node was passed
  TMatrix nodes;                    // their transforms, multiplied top down
};

Climb ClimbToMesh(const TMesh* mesh, const TBone& bone) {
  Climb c;
  for (const TEntity* e = bone.parent; e; e = e->parent) {
    if (e == mesh) return c;
    // Before the bone test: a bone above the mesh is posed relative to another mesh.
    if (Holds(e, mesh)) {
      c.end = Climb::kBeside;
      c.common = e;
      return c;
    }
    if (const TBone* b = e->AsBone()) {
      c.end = Climb::kBone;
      c.bone = b;
      return c;
    }
    TMatrix m = NodeMatrix(*e);
    if (c.passed) m.Multiply(c.nodes);
    c.nodes = m;
    c.passed = true;
  }
  if (c.passed) c.end = Climb::kBeside;  // a bone without a parent stays in mesh space
  return c;
}

// The mesh's side of the frame of a skeleton beside it: the inverse of the transforms
// from below the common node down to the mesh itself (from the top of its tree when
// there is no common node). Taken when a bone is bound and kept: moving the mesh later
// must not move its skin relative to it.
TMatrix MeshSide(const TMesh* mesh, const TEntity* common) {
  TMatrix m;
  m.LoadIdentity();
  if (!mesh) return m;
  m = NodeMatrix(*mesh);
  for (const TEntity* e = mesh->parent; e && e != common; e = e->parent) {
    TMatrix above = NodeMatrix(*e);
    above.Multiply(m);
    m = above;
  }
  return m.AffineInverse();
}

void LocalMatrix(const Pose& p, TMatrix& m) {
  TQuaternion::QuatToMat(p.qw, p.qx, p.qy, p.qz, m);
  if (p.Scaled()) m.Scale(p.sx, p.sy, p.sz);  // unscaled, the matrix stays as it was
  m.grid[3][0] = p.x, m.grid[3][1] = p.y, m.grid[3][2] = p.z;
  m.grid[0][3] = m.grid[1][3] = m.grid[2][3] = 0.0f;  // the parent product reads this row
}

// The bone's rest pose relative to the mesh, built as posing builds poses so that the
// rest pose cancels as exactly as it can. general is set when a rest scale, plain nodes
// or the mesh's side took part: they may scale, so only a general inverse undoes them.
TMatrix RestMatrix(const TMesh* mesh, const TBone& bone, bool& general) {
  Pose rest;
  RestPose(bone, rest);
  TMatrix local;
  LocalMatrix(rest, local);
  general = general || rest.Scaled();
  const Climb c = ClimbToMesh(mesh, bone);
  if (c.end == Climb::kMesh && !c.passed) return local;
  TMatrix frame;
  if (c.end == Climb::kBone) {
    frame = RestMatrix(mesh, *c.bone, general);
  } else if (c.end == Climb::kBeside) {
    frame = MeshSide(mesh, c.common);
  } else {
    frame.LoadIdentity();
  }
  if (c.passed) frame.Multiply(c.nodes);
  general = general || c.passed || c.end == Climb::kBeside;
  frame.Multiply(local);
  return frame;
}

// The bone's pose from its local pose: rotation, translation, then onto the frame it
// hangs in. A parent bone's pose is already this pose's: the list holds parents first.
void SetBonePose(const TMesh& mesh, TBone& bone, const Pose& p) {
  TMatrix& m = bone.pose;
  LocalMatrix(p, m);
  bone.pose_scaled = p.Scaled();
  TMatrix frame;
  int scaled = 0;
  if (!TAnimation::PoseFrame(mesh, bone, frame, scaled)) return;
  bone.pose_scaled |= scaled;
  frame.Multiply(m);
  m.Overwrite(frame);
}

// The bone's pose from keys (or commands): its local pose, and the start of the next
// transition.
void SetKeyPose(TBone& bone, const Pose& pose) {
  bone.local = pose;
  bone.Posed();
  bone.key_pos_x = pose.x, bone.key_pos_y = pose.y, bone.key_pos_z = pose.z;
  bone.key_quat_w = pose.qw, bone.key_quat_x = pose.qx;
  bone.key_quat_y = pose.qy, bone.key_quat_z = pose.qz;
  bone.key_scale_x = pose.sx, bone.key_scale_y = pose.sy, bone.key_scale_z = pose.sz;
  bone.key_posed = 1;
}

TMesh* AnimatedMesh(TEntity* entity) {
  TMesh* mesh = entity ? entity->AsMesh() : nullptr;
  return mesh && mesh->animated != 0 ? mesh : nullptr;
}

}  // namespace

// ---- Pose set-up ------------------------------------------------------------------

bool TAnimation::PoseFrame(const TMesh& mesh, const TBone& bone, TMatrix& frame, int& scaled) {
  const TEntity* parent = bone.parent;
  if (!parent || parent == &mesh) return false;
  const TBone* parent_bone = parent->AsBone();
  if (parent_bone && parent_bone->skin == &mesh) {
    frame = parent_bone->pose;
    scaled = parent_bone->pose_scaled;
    return true;
  }
  scaled = 1;  // plain nodes and the mesh's side may scale
  // Plain nodes between, or a bone of another mesh: rare, and a few matrix products
  // per skeleton root.
  const Climb c = ClimbToMesh(&mesh, bone);
  if (c.end == Climb::kBone) {
    frame = c.bone->pose;
  } else if (c.end == Climb::kBeside && bone.mesh_side) {
    frame = *bone.mesh_side;
  } else {
    frame.LoadIdentity();
  }
  if (c.passed) frame.Multiply(c.nodes);
  return true;
}

TMatrix TAnimation::FrameInWorld(const TMesh& mesh, const TBone& bone) {
  TMatrix frame = mesh.matrix;
  TMatrix pose_frame;
  int scaled = 0;
  if (PoseFrame(mesh, bone, pose_frame, scaled)) frame.Multiply(Mirrored(pose_frame));
  return frame;
}

TMatrix TAnimation::Mirrored(const TMatrix& m) {
  TMatrix r = m;
  for (int c = 0; c < 4; ++c)
    for (int row = 0; row < 4; ++row)
      if ((c == 2) != (row == 2)) r.grid[c][row] = -r.grid[c][row];
  return r;
}

// The animated mesh, drawn deformed from now on, with a skinning slot per listed bone;
// null for anything else.
TMesh* TAnimation::BeginPose(TEntity* entity) {
  TMesh* mesh = AnimatedMesh(entity);
  if (!mesh) return nullptr;
  mesh->draw_deformed = 1;
  const std::size_t bones = mesh->bones.Count();
  if (skinning_.size() < bones) skinning_.resize(bones), normal_skinning_.resize(bones);
  skins_.assign(bones, 0);
  cofactors_ = false;
  return mesh;
}

void TAnimation::SetSkinning(std::size_t k, const TBone& bone) {
  if (!bone.inverse_bind_matrix) return;  // posed for its children, moves no vertex
  TMatrix& m = skinning_[k];
  m = bone.pose;
  m.Multiply(*bone.inverse_bind_matrix);
  skins_[k] = 1;
  // Normals turn by the cofactor of M's 3x3 (its inverse transpose times its
  // determinant), which keeps them square to their posed faces under any scale. With
  // no scale on either side M's 3x3 is a rotation, its own cofactor: it is taken as is.
  TMatrix& n = normal_skinning_[k];
  if (!bone.pose_scaled && !bone.bind_scaled) {
    n = m;
    return;
  }
  cofactors_ = true;
  const auto& g = m.grid;
  for (int c = 0; c < 3; ++c) {
    const float* a = g[(c + 1) % 3];
    const float* b = g[(c + 2) % 3];
    n.grid[c][0] = a[1] * b[2] - a[2] * b[1];
    n.grid[c][1] = a[2] * b[0] - a[0] * b[2];
    n.grid[c][2] = a[0] * b[1] - a[1] * b[0];
    n.grid[c][3] = 0.0f;
  }
  // A mirroring 3x3 (negative determinant) would turn the normals inside out.
  if (g[0][0] * n.grid[0][0] + g[0][1] * n.grid[0][1] + g[0][2] * n.grid[0][2] < 0.0f) {
    for (int c = 0; c < 3; ++c)
      for (int row = 0; row < 3; ++row) n.grid[c][row] = -n.grid[c][row];
  }
}

// Surfaces paired with their copies, in list order; a surface without a copy (or a copy
// without a surface) takes no part. The copies take their surfaces' normals at the first
// pose, so a mesh that is never posed keeps none; normals take part where both sides
// hold them all. Returns the vertex numbers: the largest surface's count, paired or not.
int TAnimation::CollectTargets(TMesh& mesh) {
  targets_.clear();
  int vertices = 0;
  auto copy_it = mesh.anim_surfaces.begin();
  for (const SurfacePtr& s : *mesh.surfaces) {
    vertices = std::max(vertices, s->vertex_count);
    if (copy_it == mesh.anim_surfaces.end()) continue;
    TSurface* copy = (*copy_it).get();
    ++copy_it;
    if (!copy) continue;
    if (copy->vertex_normals.size() != s->vertex_normals.size()) copy->vertex_normals = s->vertex_normals;
    const std::size_t limit = std::min({std::size_t(std::max(s->vertex_count, 0)), s->vertex_positions.size() / 3,
                                        copy->vertex_positions.size() / 3});
    const bool normals = s->vertex_normals.size() / 3 >= limit && copy->vertex_normals.size() / 3 >= limit;
    targets_.push_back({s->vertex_positions.data(), copy->vertex_positions.data(),
                        normals ? s->vertex_normals.data() : nullptr, normals ? copy->vertex_normals.data() : nullptr,
                        s->min_vertex_index, s->max_vertex_index,
                        int(std::min<std::size_t>(limit, kMaxVertexNumbers))});
    copy->geometry_changed = 1;
  }
  return vertices;
}

// ---- The skin plan ----------------------------------------------------------------

namespace {

uint64_t Mix(uint64_t h, uint64_t v) { return (h ^ v) * 0x100000001b3ull; }

// The extent of posed vertices, public z.
struct Extent {
  float lo[3] = {1000000000.0f, 1000000000.0f, 1000000000.0f};
  float hi[3] = {-1000000000.0f, -1000000000.0f, -1000000000.0f};
  bool any = false;
  void Add(float x, float y, float z) {
    lo[0] = std::min(lo[0], x), hi[0] = std::max(hi[0], x);
    lo[1] = std::min(lo[1], y), hi[1] = std::max(hi[1], y);
    lo[2] = std::min(lo[2], z), hi[2] = std::max(hi[2], z);
    any = true;
  }
};

}  // namespace

namespace {

// Weights written as 0.3333 three times, or 1.0 under two bones, would scale a vertex
// toward the mesh's origin or away from it: each vertex's weights are divided by their
// sum. A sum within rounding of 1 (weights written to sum to 1) is left as it is, so
// those vertices skin exactly as the file says; so is a sum that is not positive.
constexpr double kWeightSumTolerance = 1e-5;

void NormaliseWeights(TSkinPlan& plan) {
  const std::size_t vertices = plan.first.size() - 1;
  for (std::size_t v = 0; v < vertices; ++v) {
    const int s0 = plan.first[v], s1 = plan.first[v + 1];
    double sum = 0;
    for (int s = s0; s < s1; ++s) sum += plan.shares[std::size_t(s)].weight;
    if (!(sum > 0.0) || std::fabs(sum - 1.0) <= kWeightSumTolerance || !std::isfinite(sum)) continue;
    for (int s = s0; s < s1; ++s) {
      float& w = plan.shares[std::size_t(s)].weight;
      w = float(double(w) / sum);
    }
  }
}

}  // namespace

const TSkinPlan& TAnimation::PlanOf(TMesh& mesh, int vertex_numbers) {
  // What the plan depends on, taken afresh each pose: a few words per bone.
  uint64_t signature = Mix(0xcbf29ce484222325ull, uint64_t(vertex_numbers));
  std::size_t k = 0;
  for (const BonePtr& bone : mesh.bones) {
    signature = Mix(signature, skins_[k++]);
    if (!bone) continue;
    signature = Mix(signature, reinterpret_cast<uintptr_t>(bone.get()));
    signature = Mix(signature, uint64_t(uint32_t(bone->influence_count)));
    signature = Mix(signature, reinterpret_cast<uintptr_t>(bone->influence_vertices.data()));
    signature = Mix(signature, bone->influence_vertices.size());
    signature = Mix(signature, reinterpret_cast<uintptr_t>(bone->influence_weights.data()));
    signature = Mix(signature, bone->influence_weights.size());
  }
  if (mesh.skin_plan && mesh.skin_plan->signature == signature) return *mesh.skin_plan;

  auto plan = std::make_shared<TSkinPlan>();
  plan->signature = signature;
  const std::size_t vertices = std::size_t(std::max(vertex_numbers, 0));
  // Counted first, then placed: the shares of each vertex in bone-list order. A zero
  // weight, and a vertex number outside the surfaces, take no part.
  auto each_share = [&](auto&& visit) {
    std::size_t index = 0;
    for (const BonePtr& bone : mesh.bones) {
      const std::size_t b = index++;
      if (!bone || !skins_[b]) continue;
      const std::size_t n = std::min({std::size_t(std::max(bone->influence_count, 0)),
                                      bone->influence_vertices.size(), bone->influence_weights.size()});
      for (std::size_t i = 0; i < n; ++i) {
        const int v = bone->influence_vertices[i];
        const float w = bone->influence_weights[i];
        if (w == 0.0f || v < 0 || std::size_t(v) >= vertices) continue;
        visit(std::size_t(v), int(b), w);
      }
    }
  };
  plan->first.assign(vertices + 1, 0);
  each_share([&](std::size_t v, int, float) { ++plan->first[v + 1]; });
  for (std::size_t v = 0; v < vertices; ++v) plan->first[v + 1] += plan->first[v];
  plan->shares.resize(std::size_t(plan->first[vertices]));
  std::vector<int> next(plan->first.begin(), plan->first.end() - 1);
  each_share([&](std::size_t v, int b, float w) { plan->shares[std::size_t(next[v]++)] = {b, w}; });
  NormaliseWeights(*plan);
  mesh.skin_plan = plan;
  return *plan;
}

// ---- Skinning a pose --------------------------------------------------------------

namespace {

// Skins vertices from..to-1 of one copy: each vertex the plan gives shares is the sum
// of w x (M x loaded position) over them, in order (TransformPoint); its normal the sum
// of w x (N x loaded normal), renormalised, N being M's normal matrix (SetSkinning).
// Vertices without shares keep what they hold. The extent takes every vertex when
// extent is set.
// kCofactors: some bone turns normals by a matrix of its own (normal_skinning);
// otherwise every normal matrix is the skinning matrix, read once for both.
template <bool kNormals, bool kCofactors>
void SkinSpan(const float* source, float* dest, const float* source_normals, float* dest_normals, int from, int to,
              const TSkinPlan& plan, const TMatrix* skinning, const TMatrix* normal_skinning, Extent* extent) {
  const int* first = plan.first.data();
  const TSkinPlan::Share* shares = plan.shares.data();
  const int planned = int(plan.first.size()) - 1;
  for (int v = from; v < to; ++v) {
    const std::size_t at = std::size_t(v) * 3;
    float* out = dest + at;
    const int s0 = v < planned ? first[v] : 0, s1 = v < planned ? first[v + 1] : 0;
    if (s0 == s1) {
      if (extent) extent->Add(out[0], out[1], -out[2]);
      continue;
    }
    const float* p = source + at;
    const float x = p[0], y = p[1], z = -p[2];  // public coordinates, as the bones work
    float nx = 0, ny = 0, nz = 0;
    if constexpr (kNormals) {
      const float* n = source_normals + at;
      nx = n[0], ny = n[1], nz = -n[2];
    }
    // A column of M per lane group: lane r of column c is grid[c][r], so each lane
    // forms its row's sum with the scalar operations (lane 3 is unused).
    Lanes sum = {0, 0, 0, 0}, normal = {0, 0, 0, 0};
    for (int s = s0; s < s1; ++s) {
      const TMatrix& m = skinning[shares[s].bone];
      const float w = shares[s].weight;
      Lanes c0, c1, c2, c3;
      std::memcpy(&c0, m.grid[0], sizeof c0);
      std::memcpy(&c1, m.grid[1], sizeof c1);
      std::memcpy(&c2, m.grid[2], sizeof c2);
      std::memcpy(&c3, m.grid[3], sizeof c3);
      const Lanes q = TransformPoint(c0, c1, c2, c3, x, y, z);
      sum = sum + q * w;
      if constexpr (kNormals && kCofactors) {
        const TMatrix& nm = normal_skinning[shares[s].bone];
        Lanes n0, n1, n2;
        std::memcpy(&n0, nm.grid[0], sizeof n0);
        std::memcpy(&n1, nm.grid[1], sizeof n1);
        std::memcpy(&n2, nm.grid[2], sizeof n2);
        normal = normal + ((n0 * nx + n1 * ny) + n2 * nz) * w;
      } else if constexpr (kNormals) {
        normal = normal + ((c0 * nx + c1 * ny) + c2 * nz) * w;
      }
    }
    out[0] = sum[0], out[1] = sum[1], out[2] = -sum[2];
    if (extent) extent->Add(sum[0], sum[1], sum[2]);
    if constexpr (kNormals) {
      float bx = normal[0], by = normal[1], bz = normal[2];
      const float length = std::sqrt(bx * bx + by * by + bz * bz);
      if (length > 0.0f) bx /= length, by /= length, bz /= length;
      float* on = dest_normals + at;
      on[0] = bx, on[1] = by, on[2] = -bz;
    }
  }
}

}  // namespace

void TAnimation::EndPose(TMesh& mesh) {
  const TSkinPlan& plan = PlanOf(mesh, CollectTargets(mesh));
  Extent extent;
  auto skin = [&](const SkinTarget& t, int from, int to, bool drawn) {
    from = std::max(from, 0), to = std::min(to, t.limit);
    if (from >= to) return;
    Extent* e = drawn ? &extent : nullptr;
    if (t.source_normals) {
      if (cofactors_) {
        SkinSpan<true, true>(t.source, t.dest, t.source_normals, t.dest_normals, from, to, plan, skinning_.data(),
                             normal_skinning_.data(), e);
      } else {
        SkinSpan<true, false>(t.source, t.dest, t.source_normals, t.dest_normals, from, to, plan,
                              skinning_.data(), nullptr, e);
      }
    } else {
      SkinSpan<false, false>(t.source, t.dest, nullptr, nullptr, from, to, plan, skinning_.data(), nullptr, e);
    }
  };
  if (targets_.empty()) {
    // a mesh without surfaces only poses its bones
  } else if (mesh.CountSurfaces() < 2) {
    skin(targets_.front(), 0, targets_.front().limit, true);
  } else {
    // A vertex goes to every copy whose surface's range holds it, or, in no range, to
    // the last copy. The extent takes the ranges, which the surfaces draw.
    auto end_of = [](const SkinTarget& t, int limit) { return t.max_vertex >= limit ? limit : t.max_vertex + 1; };
    for (const SkinTarget& t : targets_)
      if (t.min_vertex <= t.max_vertex) skin(t, t.min_vertex, end_of(t, t.limit), true);
    // The gaps between the ranges, for the last copy; ranges are few, so each gap's end
    // is found by a walk over them.
    const SkinTarget& last = targets_.back();
    for (int v = 0; v < last.limit;) {
      int next = last.limit;  // where the gap ends
      bool covered = false;
      for (const SkinTarget& t : targets_) {
        if (t.min_vertex > t.max_vertex) continue;
        if (t.min_vertex <= v && v <= t.max_vertex) {
          covered = true;
          next = end_of(t, last.limit);
          break;
        }
        if (t.min_vertex > v) next = std::min(next, t.min_vertex);
      }
      if (!covered) skin(last, v, next, false);
      v = next;
    }
    // A surface without a range (one not built by the model reader) draws all its vertices.
    for (const SkinTarget& t : targets_) {
      if (t.min_vertex <= t.max_vertex) continue;
      for (const float* p = t.dest; p != t.dest + std::size_t(t.limit) * 3; p += 3) extent.Add(p[0], p[1], -p[2]);
    }
  }
  mesh.SetPosedBounds(extent.any, extent.lo, extent.hi);
  mesh.PlaceSkeleton();
}

// ---- Posing ---------------------------------------------------------------------

namespace {

// The keys of one kind on either side of frame f (i0: f truncated): the before key at
// frame ib, the after key at ia, at distances db and da from f; ib < 0 when first..last
// holds no key of that kind. A key found on one side only stands for both.
struct KeyPair {
  int ib = -1, ia = -1;
  float db = 0, da = 0;

  bool Found() const { return ib >= 0; }
  // A key array on the line through the pair, at the frame.
  float At(const std::vector<float>& keys) const {
    return Line(keys[std::size_t(ib)], keys[std::size_t(ia)], db, da);
  }
};

inline KeyPair FindKeys(const KeyTrack& track, float f, int i0, int first, int last) {
  KeyPair k;
  k.ib = track.Before(i0, first, last), k.ia = track.After(i0, first, last);
  if (k.ib < 0 && k.ia < 0) return k;
  if (k.ib < 0) k.ib = k.ia;
  if (k.ia < 0) k.ia = k.ib;
  k.db = f - float(k.ib), k.da = float(k.ia) - f;
  return k;
}

// The bone's local pose at frame f (clamped, i0 its truncation) of first..last from
// its keys; each kind of key the sequence lacks takes the rest pose's value.
Pose KeyedPose(const TBone& bone, float f, int i0, int first, int last) {
  Pose pose;
  RestPose(bone, pose);
  const TAnimationKeys* keys = bone.keys.get();
  const KeyPair pos = FindKeys(KeyTrack(keys, TAnimationKeys::kPositionKey), f, i0, first, last);
  if (pos.Found()) pose.x = pos.At(keys->pos_x), pose.y = pos.At(keys->pos_y), pose.z = pos.At(keys->pos_z);
  // Scale keys as position keys.
  const KeyTrack scale_track(keys, TAnimationKeys::kScaleKey);
  if (scale_track.Any(first, last)) {
    const KeyPair scale = FindKeys(scale_track, f, i0, first, last);
    if (scale.Found()) {
      pose.sx = scale.At(keys->scale_x), pose.sy = scale.At(keys->scale_y), pose.sz = scale.At(keys->scale_z);
    }
  }
  const KeyPair rot = FindKeys(KeyTrack(keys, TAnimationKeys::kRotationKey), f, i0, first, last);
  if (rot.Found()) {
    const int ib = rot.ib, ia = rot.ia;
    pose.qw = keys->quat_w[ib], pose.qx = keys->quat_x[ib];
    pose.qy = keys->quat_y[ib], pose.qz = keys->quat_z[ib];
    if (rot.db + rot.da != 0.0f) {
      Turn(keys->quat_w[ib], keys->quat_x[ib], keys->quat_y[ib], keys->quat_z[ib], keys->quat_w[ia],
           keys->quat_x[ia], keys->quat_y[ia], keys->quat_z[ia], (1.0f / (rot.db + rot.da)) * rot.db, pose);
    }
  }
  return pose;
}

// The transition pose: blended by t from the bone's last keyed pose (the rest pose if
// it was never posed) toward the first keys of first..last; each kind of key the
// sequence lacks takes the rest pose's value.
Pose BlendedPose(const TBone& bone, float t, int first, int last) {
  Pose rest;
  RestPose(bone, rest);
  Pose start = rest;
  if (bone.key_posed) {
    start = {bone.key_pos_x, bone.key_pos_y, bone.key_pos_z, bone.key_quat_w, bone.key_quat_x,
             bone.key_quat_y, bone.key_quat_z, bone.key_scale_x, bone.key_scale_y, bone.key_scale_z};
  }
  const TAnimationKeys* keys = bone.keys.get();
  Pose pose = rest;
  const float db = t, da = 1.0f - t;
  const int target_pos = KeyTrack(keys, TAnimationKeys::kPositionKey).First(first, last);
  if (target_pos >= 0) {
    pose.x = Line(start.x, keys->pos_x[target_pos], db, da);
    pose.y = Line(start.y, keys->pos_y[target_pos], db, da);
    pose.z = Line(start.z, keys->pos_z[target_pos], db, da);
  }
  const int target_scale = KeyTrack(keys, TAnimationKeys::kScaleKey).First(first, last);
  if (target_scale >= 0) {
    pose.sx = Line(start.sx, keys->scale_x[target_scale], db, da);
    pose.sy = Line(start.sy, keys->scale_y[target_scale], db, da);
    pose.sz = Line(start.sz, keys->scale_z[target_scale], db, da);
  }
  const int target_rot = KeyTrack(keys, TAnimationKeys::kRotationKey).First(first, last);
  if (target_rot >= 0) {
    Turn(start.qw, start.qx, start.qy, start.qz, keys->quat_w[target_rot], keys->quat_x[target_rot],
         keys->quat_y[target_rot], keys->quat_z[target_rot], t, pose);
  }
  return pose;
}

}  // namespace

template <class SetLocal>
void TAnimation::PoseBones(TMesh& mesh, bool skin, SetLocal&& set_local) {
  std::size_t slot = 0;
  for (const BonePtr& bone : mesh.bones) {
    const std::size_t k = slot++;  // a bone's skinning slot is its place in the list
    if (!bone || bone->IsFreed()) continue;
    set_local(*bone);
    SetBonePose(mesh, *bone, bone->local);
    if (skin) SetSkinning(k, *bone);
  }
}

int TAnimation::AnimateMesh(TEntity* entity, float f, int first, int last) {
  TMesh* mesh = BeginPose(entity);
  if (!mesh) return 0;

  if (f > float(last)) f = float(last);
  if (f < float(first) || std::isnan(f)) f = float(first);
  // Truncated in double: a float near INT_MAX would not convert to int.
  const int i0 = int(std::clamp(double(f), double(first), double(std::max(first, last))));

  PoseBones(*mesh, true, [&](TBone& bone) { SetKeyPose(bone, KeyedPose(bone, f, i0, first, last)); });
  EndPose(*mesh);
  return 0;
}

int TAnimation::AnimateMesh2(TEntity* entity, float t, int first, int last) {
  TMesh* mesh = BeginPose(entity);
  if (!mesh) return 0;
  // key_pos and key_quat stay: every step of one transition blends from the same start.
  PoseBones(*mesh, true, [&](TBone& bone) {
    bone.local = BlendedPose(bone, t, first, last);
    bone.Posed();
  });
  EndPose(*mesh);
  return 0;
}

// ---- Binding --------------------------------------------------------------------

void TAnimation::BindBone(TMesh* mesh, TBone& bone) {
  const Climb c = ClimbToMesh(mesh, bone);
  bone.mesh_side = c.end == Climb::kBeside ? std::make_shared<TMatrix>(MeshSide(mesh, c.common)) : nullptr;
  bool general = false;
  const TMatrix rest = RestMatrix(mesh, bone, general);
  bone.inverse_bind_matrix = std::make_shared<TMatrix>(general ? rest.AffineInverse() : rest.Inverse());
  bone.bind_scaled = general;
  bone.pose_scaled = general;
  bone.pose = rest;
  RestPose(bone, bone.local);
  bone.Posed();
  bone.skin = mesh;
  // Binding rebuilds the plan (animation.h): influences rewritten in place before it,
  // which the plan's signature cannot see, are read again.
  if (mesh) mesh->skin_plan.reset();
  bone.PlaceOnSkin();
}

void TAnimation::Repose(TMesh& mesh) {
  TMesh* skinned = BeginPose(&mesh);
  PoseBones(mesh, skinned != nullptr, [](TBone&) {});  // the local poses stand
  if (skinned) {
    EndPose(mesh);
  } else {
    mesh.PlaceSkeleton();
  }
}

void TAnimation::SetBindPose(TMesh& mesh) {
  for (const BonePtr& bone : mesh.bones) {
    if (bone) BindBone(&mesh, *bone);
  }
}
