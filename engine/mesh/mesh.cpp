// Mesh structure: creation, copies that share geometry, surface lookups, counts and
// the lazily recomputed bounds.
#include "engine/mesh/mesh.h"

#include <algorithm>
#include <cmath>

#include "engine/math/trig.h"
#include "engine/mesh/bone.h"
#include "engine/mesh/brush.h"
#include "engine/mesh/surface.h"
#include "engine/scene/copy_context.h"
#include "engine/scene/subtree_walk.h"

namespace {
// The radius of the sphere around a cube as large as the largest extent (width wins a
// tie, then height).
float CubeRadius(float w, float h, float d) {
  float extent = d;
  if (w >= h && w >= d) {
    extent = w;
  } else if (h >= w && h >= d) {
    extent = h;
  }
  const float r = extent / 2.0f;
  return float(Sqr(r * r + r * r + r * r));
}
}  // namespace

TMesh::~TMesh() { LetBonesGo(); }

MeshPtr TMesh::CreateMesh(const EntityPtr& parent) {
  auto mesh = std::make_shared<TMesh>();
  mesh->Attach("Mesh", parent);
  return mesh;
}

MeshPtr TMesh::MeshOf(const EntityPtr& entity) {
  TMesh* mesh = entity ? entity->AsMesh() : nullptr;
  return mesh ? MeshPtr(entity, mesh) : nullptr;
}

void TMesh::CopyMeshFields(const TMesh& s) {
  auto_fade = s.auto_fade, fade_near = s.fade_near, fade_far = s.fade_far;
  animated = s.animated, draw_deformed = s.draw_deformed;
  anim_mode = s.anim_mode, anim_time = s.anim_time, anim_speed = s.anim_speed;
  anim_seq = s.anim_seq, anim_blend_frames = s.anim_blend_frames, anim_dir = s.anim_dir;
  seq_first = s.seq_first, seq_last = s.seq_last;
  seq_count = s.seq_count, anim_pending = s.anim_pending;
  collision_type = s.collision_type;
  brush = s.brush->Copy();

  bounds_min_x = s.bounds_min_x, bounds_min_y = s.bounds_min_y, bounds_min_z = s.bounds_min_z;
  bounds_max_x = s.bounds_max_x, bounds_max_y = s.bounds_max_y, bounds_max_z = s.bounds_max_z;
  surfaces = s.surfaces;
  octree = s.octree;
  for (const SurfacePtr& a : s.anim_surfaces) {
    auto copy = std::make_shared<TSurface>();
    copy->vertex_positions = a->vertex_positions;
    copy->vertex_normals = a->vertex_normals;
    anim_surfaces.AddLast(copy);
  }
  has_posed_bounds = s.has_posed_bounds;
  posed_min_x = s.posed_min_x, posed_min_y = s.posed_min_y, posed_min_z = s.posed_min_z;
  posed_max_x = s.posed_max_x, posed_max_y = s.posed_max_y, posed_max_z = s.posed_max_z;
}

EntityPtr TMesh::StartCopy() const { return std::make_shared<TMesh>(); }

void TMesh::FinishCopy(const EntityPtr& copy_entity, const EntityPtr& parent) const {
  auto* copy = static_cast<TMesh*>(copy_entity.get());
  copy->CopyBaseFields(*this);
  copy->CopyMeshFields(*this);
  copy->PlaceCopy(parent);
}

void TMesh::LinkCopy(TEntity& copy_entity, const TCopyContext& context) const {
  if (bones.IsEmpty()) return;
  TMesh* copy = copy_entity.AsMesh();  // the copy of a mesh is a mesh
  if (!copy) return;
  for (const BonePtr& bone : bones) {
    if (!bone) continue;
    TEntity* made = context.CopyOf(bone.get());
    TBone* bone_copy = made ? made->AsBone() : nullptr;
    if (!bone_copy) continue;  // not part of this copy
    copy->AddBone(BonePtr(made->shared_from_this(), bone_copy));
  }
}

void TMesh::BlendChanged() {
  for (const SurfacePtr& s : *surfaces)
    if (s->brush) s->brush->blend = brush->blend;
}

void TMesh::ReleaseKind() {
  anim_surfaces.Clear();
  LetBonesGo();
}

void TMesh::AddBone(const BonePtr& bone) {
  bone->skin = this;
  bone->skin_link = bones.AddLast(bone);
}

void TMesh::LetBonesGo() {
  for (const BonePtr& bone : bones)
    if (bone && bone->skin == this) {
      bone->RefreshLocal();  // placed by its fields from now on: they hold its last pose
      bone->skin = nullptr;
      bone->skin_link.reset();
    }
  bones.Clear();
}

void TMesh::PlaceSkeleton() {
  if (bones.IsEmpty() || placing_) return;
  // Placing a bone walks what hangs on it, and a rigged mesh there would place its own
  // skeleton from inside that walk, and so on down a chain of models: the stack would
  // grow by one walk per model. Such meshes wait in a queue instead, placed once each
  // after the mesh that reached them, which gives every matrix the same value, as each
  // depends only on its parent's (or its mesh's) and nothing reads a bone's meanwhile.
  struct Drain {
    std::vector<TMesh*> queue;
    bool active = false;
  };
  static thread_local Drain drain;
  if (drain.active) {
    if (!queued_) {
      queued_ = true;
      drain.queue.push_back(this);
    }
    return;
  }
  struct Finish {
    Drain& d;
    ~Finish() {
      for (TMesh* m : d.queue) m->queued_ = false;
      d.queue.clear();
      d.active = false;
    }
  } finish{drain};
  drain.active = true;
  queued_ = true;
  drain.queue.push_back(this);
  for (size_t i = 0; i < drain.queue.size(); ++i) drain.queue[i]->PlaceBones();
}

void TMesh::PlaceBones() {
  placing_ = true;
  for (const BonePtr& bone : bones)
    if (bone && bone->skin == this) bone->PlaceOnSkin();
  placing_ = false;
}

SurfacePtr TMesh::CreateSurface(const BrushPtr& brush_ref) {
  auto surface = std::make_shared<TSurface>();
  surface->brush = brush_ref;
  surfaces->AddLast(surface);
  return surface;
}

SurfacePtr TMesh::GetSurface(int index) const {
  if (index < 1) return nullptr;
  return surfaces->ValueAtIndex(static_cast<size_t>(index - 1));
}

SurfacePtr TMesh::FindSurface(const BrushPtr& wanted) const {
  for (const SurfacePtr& s : *surfaces)
    if (TBrush::CompareBrushes(wanted, s->brush)) return s;
  return nullptr;
}

int TMesh::CountVertices() const {
  int total = 0;
  for (const SurfacePtr& s : *surfaces) total += s->CountVertices();
  return total;
}

int TMesh::CountTriangles() const {
  int total = 0;
  for (const SurfacePtr& s : *surfaces) total += s->CountTriangles();
  return total;
}

float TMesh::MeshWidth() {
  GetBounds();
  return bounds_max_x - bounds_min_x;
}

float TMesh::MeshHeight() {
  GetBounds();
  return bounds_max_y - bounds_min_y;
}

float TMesh::MeshDepth() {
  GetBounds();
  return bounds_max_z - bounds_min_z;
}

void TMesh::CopyBonesList(const TEntity* entity, TList<TBone>& bone_list) {
  for (SubtreeWalk walk(entity); walk.Next(); walk.Descend()) {
    const EntityPtr& c = walk.Current();
    if (TBone* bone = c->AsBone()) bone_list.AddLast(BonePtr(c, bone));
  }
}

void TMesh::GetBounds() {
  bool changed = false;
  for (const SurfacePtr& s : *surfaces) {
    if (s->geometry_changed == 1) changed = true;
    s->geometry_changed = 0;
  }
  if (changed) ++surfaces->geometry_version;
  if (seen_geometry_version_ != surfaces->geometry_version) {
    seen_geometry_version_ = surfaces->geometry_version;
    bounds_stale = 1;
  }
  if (bounds_stale != 1) return;

  constexpr float kEmpty = 1000000000.0f;  // an empty mesh keeps these: extents -2e9
  bounds_min_x = kEmpty, bounds_max_x = -kEmpty;
  bounds_min_y = kEmpty, bounds_max_y = -kEmpty;
  bounds_min_z = kEmpty, bounds_max_z = -kEmpty;
  for (const SurfacePtr& s : *surfaces) {
    const float* p = s->vertex_positions.data();
    const size_t n = std::min(static_cast<size_t>(std::max(s->vertex_count, 0)), s->vertex_positions.size() / 3);
    for (size_t v = 0; v < n; ++v, p += 3) {
      const float x = p[0], y = p[1], z = -p[2];
      if (x < bounds_min_x) bounds_min_x = x;
      if (x > bounds_max_x) bounds_max_x = x;
      if (y < bounds_min_y) bounds_min_y = y;
      if (y > bounds_max_y) bounds_max_y = y;
      if (z < bounds_min_z) bounds_min_z = z;
      if (z > bounds_max_z) bounds_max_z = z;
    }
  }
  if (cull_radius >= 0) {
    cull_radius = CubeRadius(bounds_max_x - bounds_min_x, bounds_max_y - bounds_min_y, bounds_max_z - bounds_min_z);
  }
  bounds_stale = 0;
}

void TMesh::SetPosedBounds(bool any, const float lo[3], const float hi[3]) {
  has_posed_bounds = any ? 1 : 0;
  posed_min_x = lo[0], posed_min_y = lo[1], posed_min_z = lo[2];
  posed_max_x = hi[0], posed_max_y = hi[1], posed_max_z = hi[2];
}

TSphere TMesh::BoundingSphere() const {
  return SphereAround(bounds_min_x, bounds_min_y, bounds_min_z, bounds_max_x, bounds_max_y, bounds_max_z,
                      std::fabs(cull_radius));
}

TSphere TMesh::CullSphere() const {
  if (!draw_deformed || !has_posed_bounds) return BoundingSphere();
  // A radius fixed by MeshCullRadius stays the user's.
  const float r = cull_radius < 0 ? -cull_radius
                                  : CubeRadius(posed_max_x - posed_min_x, posed_max_y - posed_min_y,
                                               posed_max_z - posed_min_z);
  return SphereAround(posed_min_x, posed_min_y, posed_min_z, posed_max_x, posed_max_y, posed_max_z, r);
}
