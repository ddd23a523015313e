// TEntity: the base of every scene object (camera, light, pivot, mesh, sprite, bone).
//
// An entity is a node of the scene tree with a local transform relative to its parent
// and a cached world matrix = parent's world matrix x translate x yaw x pitch x roll x
// scale. Public coordinates are left-handed: z and pitch are stored negated so that the
// stored values feed OpenGL unchanged; every operation converts at its boundary.
//
// The world list TEntity::entity_list owns every live entity. FreeEntity takes the entity
// and its whole subtree out of every list; a freed entity may still be held as a handle,
// and the operations that would put it back into the scene do nothing.
//
// A kind differs from the base only through the virtual hooks in the protected part
// (and Update, BoundingSphere, CullSphere, AsMesh, AsBone): nothing here asks which kind
// it holds, so a new kind overrides the hooks it needs and touches no base code.
//
// Sections: fields, lifetime (create/copy/free), transforms, hierarchy and world list,
// appearance, services (names, children, distances, TForm, pick and collision settings),
// animation control, kind.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "engine/collision/collision.h"
#include "engine/collision/sphere.h"
#include "engine/math/matrix.h"
#include "engine/scene/handles.h"
#include "platform/list.h"

class TCopyContext;

class TEntity : public std::enable_shared_from_this<TEntity> {
 public:
  using List = TList<TEntity>;

  TEntity();
  virtual ~TEntity();
  TEntity(const TEntity&) = delete;
  TEntity& operator=(const TEntity&) = delete;

  // ---- Fields -------------------------------------------------------------------
  List children;            // attach order
  TEntity* parent = nullptr;  // cleared by the parent before it goes
  TMatrix matrix;           // world matrix; all zeros until a creating function builds it
  float pos_x = 0, pos_y = 0, pos_z = 0;  // pos_z holds the negated public z
  float scale_x = 1, scale_y = 1, scale_z = 1;
  float pitch = 0, yaw = 0, roll = 0;  // degrees; pitch holds the negated public pitch
  float quat_w = 0, quat_x = 0, quat_y = 0, quat_z = 0;  // as read from a model file
  std::string name;
  std::string class_name;
  int hidden = 0;
  int order = 0;
  float alpha_depth = 0;
  int auto_fade = 0;
  float fade_near = 0, fade_far = 0;
  float fade_amount = 0;
  BrushPtr brush;  // the entity's own appearance; never shared, never null
  float cull_radius = 0;  // negative: fixed by MeshCullRadius
  float radius_x = 0, radius_y = 0, radius_z = 0;
  float box_x = 0, box_y = 0, box_z = 0, box_w = 0, box_h = 0, box_d = 0;
  int collision_type = 0;
  int collision_count = 0;
  std::vector<TCollisionImpact> collisions;
  int pick_mode = 0;
  int pick_option = 0;
  int animated = 0;
  int draw_deformed = 0;
  int anim_mode = 0;
  float anim_time = 0;
  float anim_speed = 0;
  int anim_seq = 0;
  int anim_blend_frames = 0;
  int anim_dir = 1;
  std::vector<int> seq_first{0}, seq_last{0};
  int seq_count = 0;
  int anim_pending = 0;
  float prev_x = 0, prev_y = 0, prev_z = 0;
  std::weak_ptr<List::Link> list_link;  // place in entity_list
  std::weak_ptr<List::Link> child_link;  // place in the parent's children: leaving costs no search

  // ---- Class state --------------------------------------------------------------
  static List entity_list;
  static float tformed_x, tformed_y, tformed_z;

  // ---- Lifetime -----------------------------------------------------------------
  // A copy of this entity and of its subtree under parent (which may be null), each
  // entity through its kind's StartCopy and FinishCopy, then LinkCopy; null for a freed
  // entity and where the kind refuses (a light without a free slot).
  EntityPtr CopyEntity(const EntityPtr& parent);
  // Per-frame work of the kind: drawing for meshes, GL state for cameras and lights.
  virtual void Update() = 0;
  // Frees this entity and its whole subtree. Freeing twice is harmless.
  virtual void FreeEntity();
  bool IsFreed() const { return freed_; }

  // ---- Transforms (global: only exactly 1 means world, and only with a parent) -----
  void PositionEntity(float x, float y, float z, int global = 0);
  void MoveEntity(float x, float y, float z);
  void TranslateEntity(float x, float y, float z, int global = 0);
  void ScaleEntity(float x, float y, float z, int global = 0);
  void RotateEntity(float p, float y, float r, int global = 0);
  void TurnEntity(float p, float y, float r, int global = 0);  // always about local axes
  void PointEntity(const EntityPtr& target, float roll = 0);  // null target: nothing

  // ---- Appearance (the entity's own brush) -------------------------------------------
  void EntityColor(float red, float green, float blue);  // 0..255
  void EntityAlpha(float alpha);
  void EntityShininess(float shininess);
  void EntityTexture(const TexturePtr& texture, int frame = 0, int index = 0);
  void EntityBlend(int blend);  // a mesh passes it on to its surface brushes (BlendChanged)
  void EntityFX(int fx);
  void EntityAutoFade(float near_dist, float far_dist);
  void PaintEntity(const BrushPtr& brush);  // copies values; keeps the entity's frame

  // ---- State, hierarchy, world getters -------------------------------------------------
  void EntityOrder(int order);  // a camera takes its new place in cam_list (OrderChanged)
  void ShowEntity() { hidden = 0; }
  void HideEntity() { hidden = 1; }
  void NameEntity(const std::string& n) { name = n; }
  // Re-parents. global = 1 keeps the world transform; otherwise the former world values
  // become local values under the new parent. Refused if it would make a cycle.
  void EntityParent(const EntityPtr& new_parent, int global = 1);
  EntityPtr GetParent() const;
  // True when ancestor lies somewhere above this entity.
  bool IsBelow(const TEntity* ancestor) const {
    for (const TEntity* a = parent; a; a = a->parent)
      if (a == ancestor) return true;
    return false;
  }
  float EntityX(int global = 0) const;
  float EntityY(int global = 0) const;
  float EntityZ(int global = 0) const;
  float EntityPitch(int global = 0) const;
  float EntityYaw(int global = 0) const;
  float EntityRoll(int global = 0) const;
  float EntityScaleX(int global = 0) const;
  float EntityScaleY(int global = 0) const;
  float EntityScaleZ(int global = 0) const;
  // EntityScaleX/Y/Z(1) in one climb to the root, for callers that take all three.
  TVector WorldScale() const;
  int EntityHidden() const;
  // Brings the local fields up to date before they are read or changed; a kind whose
  // place comes from elsewhere (a posed bone) works them out here.
  virtual void RefreshLocal() const {}
  // flag 1: from scratch; otherwise on top of the matrix already held (the parent's).
  void UpdateMat(int flag);
  void AddParent(const EntityPtr& parent);  // a freed parent counts as none
  // Rebuilds the matrices below the entity; a child that does not follow its parent (a
  // bone bound to a mesh) and its subtree are left to what places it (TBone::PlaceOnSkin).
  static void UpdateChildren(TEntity* entity);
  void EntityListAdd(List& list);

  // ---- Services -----------------------------------------------------------------
  const std::string& EntityClass() const { return class_name; }
  const std::string& EntityName() const { return name; }
  int CountChildren() const { return static_cast<int>(children.Count()); }
  EntityPtr GetChild(int n) const;  // from 1; null outside
  EntityPtr FindChild(const std::string& name) const;  // depth first, exact
  static int CountAllChildren(const TEntity* entity, int count = 0);
  EntityPtr GetChildFromAll(int n, int& counter, const TEntity* entity = nullptr) const;
  float EntityDistance(const EntityPtr& other) const;
  float EntityDistanceSquared(const EntityPtr& other) const;
  float DeltaYaw(const EntityPtr& other) const;
  float DeltaPitch(const EntityPtr& other) const;
  // Space conversion; a null entity means world space. Results in tformed_x/y/z.
  static void TFormPoint(float x, float y, float z, const TEntity* source, const TEntity* dest);
  static void TFormVector(float x, float y, float z, const TEntity* source, const TEntity* dest);
  // TFormVector's answer in out[3], leaving tformed_x/y/z as they are: for the engine's
  // own use, where a caller's last TForm result must not change.
  static void TransformVector(float x, float y, float z, const TEntity* source, const TEntity* dest, float out[3]);
  static void TFormNormal(float x, float y, float z, const TEntity* source, const TEntity* dest);
  static float TFormedX() { return tformed_x; }
  static float TFormedY() { return tformed_y; }
  static float TFormedZ() { return tformed_z; }
  float GetMatElement(int col, int row) const;  // 0 outside 0..3
  void ResetEntity();
  void EntityRadius(float rx, float ry = 0, float rz = 0);
  void EntityBox(float x, float y, float z, float w, float h, float d);
  void EntityType(int type, int recursive = 0);
  void EntityPickMode(int mode, int option = 0);
  EntityPtr EntityCollided(int type) const;
  int CountCollisions() const { return collision_count; }
  float CollisionX(int i) const;
  float CollisionY(int i) const;
  float CollisionZ(int i) const;
  float CollisionNX(int i) const;
  float CollisionNY(int i) const;
  float CollisionNZ(int i) const;
  float CollisionTime(int i) const;
  EntityPtr CollisionEntity(int i) const;
  SurfacePtr CollisionSurface(int i) const;
  int CollisionTriangle(int i) const;
  int GetEntityType() const { return collision_type; }
  void MeshCullRadius(float radius) { cull_radius = -radius; }
  // The world sphere at the entity's position, radius |cull_radius|; a mesh's is
  // around its bounds.
  virtual TSphere BoundingSphere() const;
  // The sphere the frustum test takes: BoundingSphere, unless the kind is drawn
  // elsewhere than its bounds say (a posed mesh).
  virtual TSphere CullSphere() const { return BoundingSphere(); }
  // The world sphere around a box of this entity's space (public z): centred on the
  // box's centre, radius r times the largest world scale.
  TSphere SphereAround(float min_x, float min_y, float min_z, float max_x, float max_y, float max_z,
                       float r) const;
  // Picks (engine/scene/entity_pick.cpp); the result stays in TPick (collision/pick.h).
  EntityPtr EntityPick(float range) const;  // along the entity's own +z axis, range long
  // From (x, y, z) by (dx, dy, dz); the receiver takes no part. radius has no effect.
  EntityPtr LinePick(float x, float y, float z, float dx, float dy, float dz, float radius = 0) const;
  // 1 when nothing lies between the two world positions; the receiver takes no part.
  int EntityVisible(const EntityPtr& src, const EntityPtr& dest) const;

  // ---- Animation control (entity_animation.cpp; TGlobal::UpdateWorld steps it) -------
  // Frames are absolute frame numbers; a sequence k is seq_first[k]..seq_last[k]. A
  // sequence index outside 0..seq_count is refused: nothing changes, nothing is posed.
  // Appends frames first..last, counted from base's first frame (base 0: absolute);
  // returns the new sequence's index, or 0 when base is no sequence.
  int ExtractAnimSeq(int first, int last, int base = 0);
  // mode 0 pose once, 1 loop, 2 ping-pong, 3 one-shot; speed in frames per update. The
  // next UpdateWorld poses, or blends from the last pose over trans updates first.
  void Animate(int mode = 1, float speed = 1, int seq = 0, int trans = 0);
  // Poses at once at time (counted from the sequence's first frame, wrapped into the
  // sequence) and takes the entity out of automatic stepping.
  void SetAnimTime(float time, int seq = 0);
  int AnimSeq() const { return anim_seq; }
  int AnimLength() const;   // last - first of the playing sequence
  float AnimTime() const;   // from the sequence's first frame; 0 in a transition
  int Animating() const;    // 1 while stepping moves the time or a transition runs
  bool HasAnimSeq(int seq) const;

  // ---- Kind ---------------------------------------------------------------------
  // The entity as a mesh (sprites included) or as a bone, for the callers that need the
  // kind's own data (geometry, a skeleton's pose); null for every other kind.
  virtual TMesh* AsMesh() { return nullptr; }
  const TMesh* AsMesh() const { return const_cast<TEntity*>(this)->AsMesh(); }
  virtual TBone* AsBone() { return nullptr; }
  const TBone* AsBone() const { return const_cast<TEntity*>(this)->AsBone(); }

 protected:
  // The two halves of a kind's copy, around the copies of the entity's children.
  // StartCopy makes the new, empty entity of the same kind (null refuses the copy of
  // this entity and its subtree); FinishCopy, once the children stand under that
  // copy, gives it this entity's fields, its parent and its places in the lists.
  virtual EntityPtr StartCopy() const = 0;
  virtual void FinishCopy(const EntityPtr& copy, const EntityPtr& parent) const = 0;
  // Once the whole copied subtree stands, before the copy's root is finished: gives
  // copy the links this entity holds that may cross branches of the subtree (a mesh's
  // bones), found through context. Run for every pair in the context's order.
  virtual void LinkCopy(TEntity& /*copy*/, const TCopyContext& /*context*/) const {}
  // The creation steps every kind shares: class name, parent, world list, matrix.
  void Attach(const std::string& kind, const EntityPtr& parent);
  // Copies the transform, identity and settings fields every kind copies; the copy's
  // children are already made under it.
  void CopyBaseFields(const TEntity& source);
  // Gives a fresh copy (with its copied children) its parent, world-list place and
  // world matrix; CopyEntity places the subtree below the copy's root once it stands.
  void PlaceCopy(const EntityPtr& parent);
  // Kind-specific release, run by Free before the children go (lights give back their
  // slot, meshes drop their animation lists, bones leave their mesh).
  virtual void ReleaseKind() {}
  // Run after the entity's world matrix changed, before its children follow: a mesh
  // places its skeleton, wherever the bones sit.
  virtual void MatrixMoved() {}
  // The step that ends every transform operation: the world matrix from the parent's
  // and the local fields.
  virtual void RebuildMatrix();
  // False when the entity's matrix does not come from its parent's (a bone bound to a
  // mesh): UpdateChildren leaves it and its subtree alone.
  virtual bool FollowsParent() const { return true; }
  // The entity's share of a world scale climbed from below into s: its local scale; or,
  // returning true to end the climb, the whole world scale its matrix holds.
  virtual bool ScaleInWorld(TVector& s) const;
  // The entity's share of an inverse world transform climbed from below, multiplied onto
  // m: the inverse of its local fields (without the translation unless asked); or,
  // returning true to end the climb, the inverse of the whole world matrix it holds.
  virtual bool InverseInWorld(TMatrix& m, bool with_translation) const;
  // True, with frame set, when the local fields hang in a world frame other than the
  // parent's world matrix (a bone bound to a mesh): the global transform commands
  // convert through it. False: through the parent, as for any entity.
  virtual bool FrameInWorld(TMatrix& /*frame*/) const { return false; }
  // EntityParent is about to move the entity under new_parent (null: none); false when
  // the entity stays as it is and EntityParent changes nothing.
  virtual bool BeforeReparent(const TEntity* /*new_parent*/) { return true; }
  // Run after the entity brush's blend changed: a mesh passes it on to its surfaces.
  virtual void BlendChanged() {}
  // Run after EntityOrder set a new order: a camera moves in cam_list.
  virtual void OrderChanged() {}
  // Frees this entity and its subtree whatever the kinds (bones included).
  void Free();
  void LeaveParent();  // out of the parent's children, in constant time

 private:
  // Copies the subtree below source under this entity: each copy started before the
  // copies of its children and finished after them, on a stack of our own; every
  // finished pair joins context.
  void CopyChildrenOf(const TEntity& source, TCopyContext& context);
  // m := the inverse of dest's world transform, rebuilt from the local fields up to the
  // root, or up to an entity whose matrix holds its whole place (InverseInWorld).
  static void InverseChain(TMatrix& m, const TEntity* dest, bool with_translation);
  // An offset (x, y, z) along the world axes (z stored negated) in the parent's axes:
  // the parent's world rotation undone and, with unscale, its world scale. Needs a parent.
  TVector IntoParentAxes(float x, float y, float z, bool unscale) const;
  // The same with the frame's world angles (pitch, yaw, roll, public sign) and no unscale.
  static TVector IntoAxes(float pp, float py, float pr, const TVector* unscale, float x, float y, float z);
  const TCollisionImpact* Impact(int i) const;
  bool freed_ = false;
};

// The empty entity: a transform and nothing else.
class TPivot : public TEntity {
 public:
  static PivotPtr CreatePivot(const EntityPtr& parent = nullptr);
  void Update() override {}

 protected:
  EntityPtr StartCopy() const override;
  void FinishCopy(const EntityPtr& copy, const EntityPtr& parent) const override;
};
