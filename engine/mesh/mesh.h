// TMesh: the entity that carries geometry, a list of surfaces with their brushes, and
// the bounding box in mesh space that drives culling.
//
// Mesh copies made with CopyEntity share one surface list (and its geometry) with the
// source. Bounds are recomputed lazily: a surface marks its geometry changed, and the
// next GetBounds of every mesh sharing that surface list notices.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/math/matrix.h"
#include "engine/scene/entity.h"

// The shared surface list, with a count of geometry changes seen on it, so that every
// mesh that shares the list knows its bounds are stale, not just the first to look.
struct TSurfaceList : TList<TSurface> {
  uint64_t geometry_version = 0;
};

class TMesh : public TEntity {
 public:
  float bounds_min_x = 0, bounds_min_y = 0, bounds_min_z = 0;  // mesh space, public z
  float bounds_max_x = 0, bounds_max_y = 0, bounds_max_z = 0;
  std::shared_ptr<TSurfaceList> surfaces = std::make_shared<TSurfaceList>();
  TList<TSurface> anim_surfaces;  // skinned positions, one per surface, same order
  TList<TBone> bones;             // below the mesh, each bone before its descendants
  TMatrix sprite_matrix;          // drawn instead of the entity matrix by a sprite
  OctreePtr octree;               // shared by copies
  int bounds_stale = 1;

  static MeshPtr CreateMesh(const EntityPtr& parent = nullptr);
  EntityPtr CopyEntity(const EntityPtr& parent) override;
  void Update() override;

  // Appends an empty surface that refers to the brush object itself (null: no brush).
  SurfacePtr CreateSurface(const BrushPtr& brush = nullptr);
  int CountSurfaces() const { return static_cast<int>(surfaces->Count()); }
  SurfacePtr GetSurface(int index) const;  // from 1; null outside
  SurfacePtr FindSurface(const BrushPtr& brush) const;  // first whose brush compares equal
  int CountVertices() const;
  int CountTriangles() const;
  float MeshWidth();
  float MeshHeight();
  float MeshDepth();
  // Appends every bone below the entity, depth first, each before its descendants.
  static void CopyBonesList(const TEntity* entity, TList<TBone>& bone_list);
  // Recomputes bounds and a non-fixed cull radius when the geometry changed.
  void GetBounds();

 protected:
  // The mesh fields a copy takes: bounds, the shared surfaces and octree, own anim copies.
  void CopyMeshFields(const TMesh& source);
  void ReleaseKind() override;

 private:
  uint64_t seen_geometry_version_ = 0;
};
