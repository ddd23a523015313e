// Skeletal posing and skinning: key search and interpolation per bone, bone matrices
// relative to the mesh, and the weighted vertex sums into the animated surface copies.
// The contract with the model loader stands at the top of animation.h.
#include "engine/mesh/animation.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

#include "engine/math/quaternion.h"
#include "engine/mesh/bone.h"
#include "engine/mesh/mesh.h"
#include "engine/mesh/surface.h"

std::vector<int> TAnimation::done_flags_;
std::vector<TAnimation::SkinTarget> TAnimation::targets_;

namespace {

// Vertex numbers are ints; a larger array is only ever addressed below this.
constexpr std::size_t kMaxVertexNumbers = std::size_t(std::numeric_limits<int>::max());

constexpr int kPositionKey = 1;
constexpr int kRotationKey = 4;

struct Pose {
  float x, y, z;
  float qw, qx, qy, qz;
};

// The frames of one kind of key a bone holds. Frames outside the bone's arrays (as a
// sequence longer than the file's animation asks for) hold no key; so does a bone
// without keys.
class KeyTrack {
 public:
  KeyTrack(const TAnimationKeys* keys, int bit) : keys_(keys), bit_(bit) {
    if (!keys) return;
    std::size_t n = keys->key_flags.size();
    if (bit == kPositionKey) {
      n = std::min({n, keys->pos_x.size(), keys->pos_y.size(), keys->pos_z.size()});
    } else {
      n = std::min({n, keys->quat_w.size(), keys->quat_x.size(), keys->quat_y.size(), keys->quat_z.size()});
    }
    size_ = static_cast<long long>(n);
  }

  // Backward search from i0: i0 down to first, then last down to first. -1 if none.
  int Before(int i0, int first, int last) const {
    const long long lo = std::max<long long>(first, 0);
    for (long long i = std::min<long long>(i0, size_ - 1); i >= lo; --i)
      if (Has(i)) return int(i);
    for (long long i = std::min<long long>(last, size_ - 1); i >= lo; --i)
      if (Has(i)) return int(i);
    return -1;
  }
  // Forward search from i0: i0 + 1 up to last, then first up to last. -1 if none.
  int After(int i0, int first, int last) const {
    const long long hi = std::min<long long>(last, size_ - 1);
    for (long long i = std::max<long long>(static_cast<long long>(i0) + 1, 0); i <= hi; ++i)
      if (Has(i)) return int(i);
    for (long long i = std::max<long long>(first, 0); i <= hi; ++i)
      if (Has(i)) return int(i);
    return -1;
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
}

// The straight line through the keys at frames ib and ia (at distances db and da from
// the frame), evaluated at the frame: interpolation, or extrapolation after a wrap.
float Line(float before, float after, float db, float da) {
  return db + da == 0.0f ? before : before + (after - before) / (db + da) * db;
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
    if (const TBone* b = dynamic_cast<const TBone*>(e)) {
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
  m.grid[3][0] = p.x, m.grid[3][1] = p.y, m.grid[3][2] = p.z;
  m.grid[0][3] = m.grid[1][3] = m.grid[2][3] = 0.0f;  // the parent product reads this row
}

// The bone's rest pose relative to the mesh, built as posing builds poses so that the
// rest pose cancels as exactly as it can. general is set when plain nodes or the
// mesh's side took part: they may scale, so only a general inverse undoes them.
TMatrix RestMatrix(const TMesh* mesh, const TBone& bone, bool& general) {
  Pose rest;
  RestPose(bone, rest);
  TMatrix local;
  LocalMatrix(rest, local);
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
void SetBoneMatrix(const TMesh& mesh, TBone& bone, const Pose& p) {
  TMatrix& m = bone.pose;
  LocalMatrix(p, m);
  const TEntity* parent = bone.parent;
  if (!parent || parent == &mesh) return;
  TMatrix frame;
  const TBone* parent_bone = dynamic_cast<const TBone*>(parent);
  if (parent_bone && parent_bone->skin == &mesh) {
    frame = parent_bone->pose;
  } else {
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
  }
  frame.Multiply(m);
  m.Overwrite(frame);
}

TMesh* AnimatedMesh(TEntity* entity) {
  TMesh* mesh = dynamic_cast<TMesh*>(entity);
  return mesh && mesh->animated != 0 ? mesh : nullptr;
}

}  // namespace

TMatrix TAnimation::Mirrored(const TMatrix& m) {
  TMatrix r = m;
  for (int c = 0; c < 4; ++c)
    for (int row = 0; row < 4; ++row)
      if ((c == 2) != (row == 2)) r.grid[c][row] = -r.grid[c][row];
  return r;
}

// The animated mesh, drawn deformed from now on, with one clear done flag per vertex
// index of its largest surface; null for anything else. The copies take their
// surfaces' normals at the first pose, so a mesh that is never posed keeps none.
TMesh* TAnimation::BeginPose(TEntity* entity) {
  TMesh* mesh = AnimatedMesh(entity);
  if (!mesh) return nullptr;
  mesh->draw_deformed = 1;
  int vertices = 0;
  auto copy_it = mesh->anim_surfaces.begin();
  for (const SurfacePtr& s : *mesh->surfaces) {
    vertices = std::max(vertices, s->vertex_count);
    if (copy_it == mesh->anim_surfaces.end()) continue;
    TSurface* copy = (*copy_it).get();
    ++copy_it;
    if (copy && copy->vertex_normals.size() != s->vertex_normals.size()) copy->vertex_normals = s->vertex_normals;
  }
  done_flags_.assign(std::size_t(vertices), 0);
  return mesh;
}

// Surfaces paired with their copies, in list order; a surface without a copy (or a copy
// without a surface) takes no part. Normals take part where both sides hold them all.
void TAnimation::CollectTargets(TMesh& mesh) {
  targets_.clear();
  auto copy_it = mesh.anim_surfaces.begin();
  for (const SurfacePtr& s : *mesh.surfaces) {
    if (copy_it == mesh.anim_surfaces.end()) break;
    TSurface* copy = (*copy_it).get();
    ++copy_it;
    if (!s || !copy) continue;
    const std::size_t limit = std::min({std::size_t(std::max(s->vertex_count, 0)), s->vertex_positions.size() / 3,
                                        copy->vertex_positions.size() / 3});
    const bool normals = s->vertex_normals.size() / 3 >= limit && copy->vertex_normals.size() / 3 >= limit;
    targets_.push_back({s->vertex_positions.data(), copy->vertex_positions.data(),
                        normals ? s->vertex_normals.data() : nullptr, normals ? copy->vertex_normals.data() : nullptr,
                        s->min_vertex_index, s->max_vertex_index,
                        int(std::min<std::size_t>(limit, kMaxVertexNumbers))});
    copy->geometry_changed = 1;
  }
}

void TAnimation::EndPose(TMesh& mesh) {
  CollectTargets(mesh);
  constexpr float kEmpty = 1000000000.0f;
  float lo[3] = {kEmpty, kEmpty, kEmpty}, hi[3] = {-kEmpty, -kEmpty, -kEmpty};
  bool any = false;
  const int* flags = done_flags_.data();
  const int flag_count = int(std::min<std::size_t>(done_flags_.size(), kMaxVertexNumbers));
  const bool single = mesh.CountSurfaces() < 2;
  for (const SkinTarget& t : targets_) {
    // The vertices the surface draws: its triangles' range, or all of them where there
    // is one surface (or no range was kept).
    int from = 0, to = t.limit - 1;
    if (!single && t.min_vertex <= t.max_vertex) from = std::max(from, t.min_vertex), to = std::min(to, t.max_vertex);
    for (int v = from; v <= to; ++v) {
      const float* p = t.dest + std::size_t(v) * 3;
      const float x = p[0], y = p[1], z = -p[2];
      lo[0] = std::min(lo[0], x), hi[0] = std::max(hi[0], x);
      lo[1] = std::min(lo[1], y), hi[1] = std::max(hi[1], y);
      lo[2] = std::min(lo[2], z), hi[2] = std::max(hi[2], z);
      any = true;
      if (!t.dest_normals || v >= flag_count || !flags[v]) continue;
      float* n = t.dest_normals + std::size_t(v) * 3;
      const float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
      if (length > 0.0f) n[0] /= length, n[1] /= length, n[2] /= length;
    }
  }
  mesh.SetPosedBounds(any, lo, hi);
  mesh.PlaceSkeleton();
}

int TAnimation::AnimateMesh(TEntity* entity, float f, int first, int last) {
  TMesh* mesh = BeginPose(entity);
  if (!mesh) return 0;

  if (f > float(last)) f = float(last);
  if (f < float(first) || std::isnan(f)) f = float(first);
  // Truncated in double: a float near INT_MAX would not convert to int.
  const int i0 = int(std::clamp(double(f), double(first), double(std::max(first, last))));

  for (const BonePtr& bone_ptr : mesh->bones) {
    if (!bone_ptr || bone_ptr->IsFreed()) continue;
    TBone& bone = *bone_ptr;
    Pose pose;
    RestPose(bone, pose);
    const TAnimationKeys* keys = bone.keys.get();

    const KeyTrack pos(keys, kPositionKey);
    int ib = pos.Before(i0, first, last), ia = pos.After(i0, first, last);
    if (ib >= 0 || ia >= 0) {
      if (ib < 0) ib = ia;
      if (ia < 0) ia = ib;
      const float db = f - float(ib), da = float(ia) - f;
      pose.x = Line(keys->pos_x[ib], keys->pos_x[ia], db, da);
      pose.y = Line(keys->pos_y[ib], keys->pos_y[ia], db, da);
      pose.z = Line(keys->pos_z[ib], keys->pos_z[ia], db, da);
    }
    bone.key_pos_x = pose.x, bone.key_pos_y = pose.y, bone.key_pos_z = pose.z;

    const KeyTrack rot(keys, kRotationKey);
    ib = rot.Before(i0, first, last), ia = rot.After(i0, first, last);
    if (ib >= 0 || ia >= 0) {
      if (ib < 0) ib = ia;
      if (ia < 0) ia = ib;
      const float db = f - float(ib), da = float(ia) - f;
      pose.qw = keys->quat_w[ib], pose.qx = keys->quat_x[ib];
      pose.qy = keys->quat_y[ib], pose.qz = keys->quat_z[ib];
      if (db + da != 0.0f) {
        TQuaternion::Slerp(keys->quat_x[ib], keys->quat_y[ib], keys->quat_z[ib], keys->quat_w[ib],
                           keys->quat_x[ia], keys->quat_y[ia], keys->quat_z[ia], keys->quat_w[ia],
                           pose.qx, pose.qy, pose.qz, pose.qw, (1.0f / (db + da)) * db);
      }
    }
    bone.key_quat_w = pose.qw, bone.key_quat_x = pose.qx;
    bone.key_quat_y = pose.qy, bone.key_quat_z = pose.qz;
    bone.key_posed = 1;

    SetBoneMatrix(*mesh, bone, pose);
    VertexDeform(*mesh, bone, done_flags_);
  }
  EndPose(*mesh);
  return 0;
}

int TAnimation::AnimateMesh2(TEntity* entity, float t, int first, int last) {
  TMesh* mesh = BeginPose(entity);
  if (!mesh) return 0;

  for (const BonePtr& bone_ptr : mesh->bones) {
    if (!bone_ptr || bone_ptr->IsFreed()) continue;
    TBone& bone = *bone_ptr;
    Pose rest;
    RestPose(bone, rest);
    // The start of the blend: the last pose made by AnimateMesh, or the rest pose.
    Pose start = rest;
    if (bone.key_posed) {
      start = {bone.key_pos_x, bone.key_pos_y, bone.key_pos_z,
               bone.key_quat_w, bone.key_quat_x, bone.key_quat_y, bone.key_quat_z};
    }
    const TAnimationKeys* keys = bone.keys.get();
    Pose pose = rest;

    const int target_pos = KeyTrack(keys, kPositionKey).First(first, last);
    if (target_pos >= 0) {
      const float db = t, da = 1.0f - t;
      pose.x = Line(start.x, keys->pos_x[target_pos], db, da);
      pose.y = Line(start.y, keys->pos_y[target_pos], db, da);
      pose.z = Line(start.z, keys->pos_z[target_pos], db, da);
    }
    const int target_rot = KeyTrack(keys, kRotationKey).First(first, last);
    if (target_rot >= 0) {
      TQuaternion::Slerp(start.qx, start.qy, start.qz, start.qw, keys->quat_x[target_rot],
                         keys->quat_y[target_rot], keys->quat_z[target_rot], keys->quat_w[target_rot],
                         pose.qx, pose.qy, pose.qz, pose.qw, t);
    }
    // key_pos and key_quat stay: every step of one transition blends from the same start.
    SetBoneMatrix(*mesh, bone, pose);
    VertexDeform(*mesh, bone, done_flags_);
  }
  EndPose(*mesh);
  return 0;
}

int TAnimation::VertexDeform(TMesh& mesh, const TBone& bone, std::vector<int>& done) {
  if (!bone.inverse_bind_matrix) return 0;
  TMatrix m = bone.pose;
  m.Multiply(*bone.inverse_bind_matrix);
  CollectTargets(mesh);
  if (targets_.empty()) return 0;

  // The matrix is captured by value (and a lone target copied below): nothing the loop
  // stores can change them, so the compiler keeps them in registers.
  auto deform = [m](const SkinTarget& target, int v, float w, bool add) {
    if (v >= target.limit) return;
    const auto& g = m.grid;
    const std::size_t at = std::size_t(v) * 3;
    const float* p = target.source + at;
    float* out = target.dest + at;
    const float x = p[0], y = p[1], z = -p[2];  // public coordinates, as the bones work
    // M applied to the point, summed in the order TMatrix::Translate forms it.
    const float qx = g[3][0] + (g[0][0] * x + g[1][0] * y + g[2][0] * z);
    const float qy = g[3][1] + (g[0][1] * x + g[1][1] * y + g[2][1] * z);
    const float qz = g[3][2] + (g[0][2] * x + g[1][2] * y + g[2][2] * z);
    const float ax = add ? out[0] : 0.0f, ay = add ? out[1] : 0.0f, az = add ? -out[2] : 0.0f;
    out[0] = ax + qx * w;
    out[1] = ay + qy * w;
    out[2] = -(az + qz * w);
    if (!target.source_normals) return;
    // The normal by the 3x3 part alone; EndPose renormalises the sum.
    const float* n = target.source_normals + at;
    float* on = target.dest_normals + at;
    const float nx = n[0], ny = n[1], nz = -n[2];
    const float rx = g[0][0] * nx + g[1][0] * ny + g[2][0] * nz;
    const float ry = g[0][1] * nx + g[1][1] * ny + g[2][1] * nz;
    const float rz = g[0][2] * nx + g[1][2] * ny + g[2][2] * nz;
    const float bx = add ? on[0] : 0.0f, by = add ? on[1] : 0.0f, bz = add ? -on[2] : 0.0f;
    on[0] = bx + rx * w;
    on[1] = by + ry * w;
    on[2] = -(bz + rz * w);
  };

  const std::size_t n = std::min({std::size_t(std::max(bone.influence_count, 0)), bone.influence_vertices.size(),
                                  bone.influence_weights.size()});
  const int* vertices = bone.influence_vertices.data();
  const float* weights = bone.influence_weights.data();
  int* flags = done.data();
  const std::size_t flag_count = done.size();
  if (mesh.CountSurfaces() < 2) {
    const SkinTarget target = targets_.front();
    for (std::size_t i = 0; i < n; ++i) {
      const int v = vertices[i];
      const float w = weights[i];
      if (w == 0.0f) continue;  // not even the done flag
      if (v < 0 || std::size_t(v) >= flag_count) continue;
      deform(target, v, w, flags[v] != 0);
      flags[v] = 1;
    }
    return 0;
  }
  const SkinTarget* first = targets_.data();
  const SkinTarget* end = first + targets_.size();
  auto holds = [](const SkinTarget* t, int v) { return t->min_vertex <= v && v <= t->max_vertex; };
  // The loader's surfaces split the vertex numbers into ranges that do not overlap:
  // then one target takes each vertex, and influences in vertex order mostly stay in
  // the range of the one before.
  bool disjoint = true;
  for (const SkinTarget* a = first; a != end; ++a)
    for (const SkinTarget* b = a + 1; b != end; ++b)
      if (std::max(a->min_vertex, b->min_vertex) <= std::min(a->max_vertex, b->max_vertex)) disjoint = false;

  // A local copy: the flag stores below are ints and could, for all the compiler knows,
  // land in the targets' range fields.
  SkinTarget recent = *first;
  for (std::size_t i = 0; i < n; ++i) {
    const int v = vertices[i];
    const float w = weights[i];
    if (w == 0.0f) continue;
    if (v < 0 || std::size_t(v) >= flag_count) continue;
    const bool add = flags[v] != 0;
    flags[v] = 1;
    if (disjoint && holds(&recent, v)) {
      deform(recent, v, w, add);
      continue;
    }
    // Every copy whose surface's range holds the vertex: each must show it. None does:
    // the last copy takes it.
    bool placed = false;
    for (const SkinTarget* t = first; t != end; ++t) {
      if (holds(t, v)) {
        deform(*t, v, w, add);
        recent = *t;
        placed = true;
      }
    }
    if (!placed) deform(end[-1], v, w, add);
  }
  return 0;
}

void TAnimation::BindBone(TMesh* mesh, TBone& bone) {
  const Climb c = ClimbToMesh(mesh, bone);
  bone.mesh_side = c.end == Climb::kBeside ? std::make_shared<TMatrix>(MeshSide(mesh, c.common)) : nullptr;
  bool general = false;
  const TMatrix rest = RestMatrix(mesh, bone, general);
  bone.inverse_bind_matrix = std::make_shared<TMatrix>(general ? rest.AffineInverse() : rest.Inverse());
  bone.pose = rest;
  bone.skin = mesh;
  bone.PlaceOnSkin();
}

void TAnimation::SetBindPose(TMesh& mesh) {
  for (const BonePtr& bone : mesh.bones) {
    if (bone) BindBone(&mesh, *bone);
  }
}
