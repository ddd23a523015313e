// TMesh: the entity that carries geometry, a list of surfaces with their brushes, and
// the bounding box in mesh space that drives culling.
//
// Mesh copies made with CopyEntity share one surface list (and its geometry) with the
// source. Bounds are recomputed lazily: a surface marks its geometry changed, and the
// next GetBounds of every mesh sharing that surface list notices.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/math/matrix.h"
#include "engine/scene/entity.h"

struct TSkinPlan;
struct TSpriteFacing;

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
  TList<TSurface> anim_surfaces;  // skinned positions and normals, one per surface, same order
  TList<TBone> bones;             // below the mesh or beside it, each bone before its descendants
  void AddBone(const BonePtr& bone);  // last in the bone list, with the mesh as its skin
  TMatrix sprite_matrix;          // drawn instead of the entity matrix by a sprite
  OctreePtr octree;               // shared by copies
  int bounds_stale = 1;
  // The extent of the posed vertices the surfaces draw, left by the last pose (mesh
  // space, public z); culling takes it over the bounds while the mesh draws deformed.
  int has_posed_bounds = 0;
  float posed_min_x = 0, posed_min_y = 0, posed_min_z = 0;
  float posed_max_x = 0, posed_max_y = 0, posed_max_z = 0;
  std::shared_ptr<TSkinPlan> skin_plan;  // built by the first pose (engine/mesh/animation.h)

  ~TMesh() override;
  static MeshPtr CreateMesh(const EntityPtr& parent = nullptr);
  // The entity as a mesh, sharing its ownership; null for null and for other kinds.
  static MeshPtr MeshOf(const EntityPtr& entity);
  TMesh* AsMesh() override { return this; }
  void Update() override;  // draws the mesh for the current camera

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
  // Around the bounds (which must be current, GetBounds), radius |cull_radius| times
  // the largest world scale.
  TSphere BoundingSphere() const override;
  // BoundingSphere, or around the posed extent while the mesh draws deformed.
  TSphere CullSphere() const override;
  void SetPosedBounds(bool any, const float lo[3], const float hi[3]);
  // Places every listed bone on the mesh's current matrix (TBone::PlaceOnSkin).
  void PlaceSkeleton();

  // ---- Loading and collapsing (engine/loader/mesh_loading.cpp) ----
  // A model as a hierarchy (bones, animation); a unit cube when the file is missing.
  static MeshPtr LoadAnimMesh(const std::string& file, const EntityPtr& parent = nullptr);
  // A model collapsed into one static mesh in the model's space.
  static MeshPtr LoadMesh(const std::string& file, const EntityPtr& parent = nullptr);
  MeshPtr CollapseAnimMesh(MeshPtr target = nullptr);
  static MeshPtr CollapseChildren(const TEntity* entity, MeshPtr target);

  // ---- Primitives (engine/mesh/primitives.cpp) ----
  static MeshPtr CreateCube(const EntityPtr& parent = nullptr);
  // Null when segments is outside the accepted range.
  static MeshPtr CreateSphere(int segments = 8, const EntityPtr& parent = nullptr);
  static MeshPtr CreateCylinder(int segments = 8, int solid = 1, const EntityPtr& parent = nullptr);
  static MeshPtr CreateCone(int segments = 8, int solid = 1, const EntityPtr& parent = nullptr);

  // ---- Geometry operations (engine/mesh/mesh_geometry.cpp) ----
  void AddMesh(const MeshPtr& mesh2) const;  // merges copies of these surfaces into mesh2
  MeshPtr CopyMesh(const EntityPtr& parent = nullptr) const;
  void FlipMesh();
  void PaintMesh(const BrushPtr& brush);
  void FitMesh(float x, float y, float z, float width, float height, float depth, int uniform = 0);
  void ScaleMesh(float x, float y, float z);
  void RotateMesh(float pitch, float yaw, float roll);
  void PositionMesh(float x, float y, float z);
  void TransformMesh(const TMatrix& mat);
  void UpdateNormals();

  // ---- Drawing (engine/mesh/mesh_draw.cpp) ----
  // 1 when the surface (or, for null, any surface) must be drawn blended.
  int Alpha(const SurfacePtr& surface = nullptr);
  // The matrix the surfaces are drawn with: the entity matrix, or what a kind that
  // places its drawing otherwise keeps (a sprite's camera-facing sprite_matrix).
  virtual const TMatrix& DrawMatrix() const { return matrix; }
  // Turns the mesh to the camera of the pass under way (TGlobal::UpdateSprites): only
  // a sprite does; facing carries the working angles from one sprite to the next.
  virtual void FaceCamera(TSpriteFacing& /*facing*/) {}

 protected:
  EntityPtr StartCopy() const override;
  void FinishCopy(const EntityPtr& copy, const EntityPtr& parent) const override;
  // The copy's bones are the copies of this mesh's bones, in this mesh's order (a bone
  // left out of the copy has none), bound to the copy.
  void LinkCopy(TEntity& copy, const TCopyContext& context) const override;
  // The mesh fields a copy takes: bounds, the shared surfaces and octree, own anim copies.
  void CopyMeshFields(const TMesh& source);
  void ReleaseKind() override;
  void MatrixMoved() override { PlaceSkeleton(); }
  void BlendChanged() override;  // the surface brushes take the entity brush's blend

 private:
  void LetBonesGo();  // empties the bone list, unbinding its bones
  uint64_t seen_geometry_version_ = 0;
  void PlaceBones();  // PlaceSkeleton's step for this mesh alone
  bool placing_ = false;  // a mesh hung below its own bone must not place itself forever
  bool queued_ = false;   // waits, or was placed, in the running PlaceSkeleton's queue
};
