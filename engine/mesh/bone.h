// TBone: a joint of a skinned mesh's skeleton, and TAnimationKeys, its key frames.
//
// Bones sit in the entity tree below their mesh or beside it. A bone bound to a mesh
// keeps its local pose (position, rotation, scale in the frame it hangs in), which keys
// or the transform commands set, and two matrices made from it: pose, relative to the
// mesh in the model file's axes, which skinning reads; and the entity matrix every
// other reader sees, the mesh's world matrix times that pose in the engine's own axes,
// refreshed whenever the bone is posed or the mesh moves (PlaceOnSkin). Its local
// entity fields are the local pose in the engine's terms, worked out when first read
// after a pose. A bone bound to no mesh is placed like any entity. Freeing a bone on
// its own does nothing; freed with its subtree, it leaves its mesh, and so does a bone
// moved under another parent with EntityParent.
#pragma once

#include <memory>
#include <vector>

#include "engine/scene/entity.h"

class TAnimationKeys {
 public:
  // The kinds of key a frame holds: the bits of key_flags, as a B3D file's KEYS chunks
  // write them. A frame may hold any of the three.
  static constexpr int kPositionKey = 1;
  static constexpr int kScaleKey = 2;
  static constexpr int kRotationKey = 4;
  static constexpr int kAnyKey = kPositionKey | kScaleKey | kRotationKey;

  // Indexed by frame number; the loader sizes them frame_count + 1.
  int frame_count = 0;
  std::vector<int> key_flags{0};  // per frame, the kinds above
  std::vector<float> pos_x{0}, pos_y{0}, pos_z{0};  // model-file coordinates
  std::vector<float> scale_x{0}, scale_y{0}, scale_z{0};
  std::vector<float> quat_w{0}, quat_x{0}, quat_y{0}, quat_z{0};

  std::shared_ptr<TAnimationKeys> Copy() const { return std::make_shared<TAnimationKeys>(*this); }
};

// A bone's local pose in the frame it hangs in, model-file axes (z not negated).
struct TBonePose {
  float x = 0, y = 0, z = 0;
  float qw = 1, qx = 0, qy = 0, qz = 0;
  float sx = 1, sy = 1, sz = 1;
  bool Scaled() const { return sx != 1.0f || sy != 1.0f || sz != 1.0f; }
};

class TBone : public TEntity {
 public:
  float rest_pos_x = 0, rest_pos_y = 0, rest_pos_z = 0;  // z stored negated
  // 1 for a bone built by hand: the rest scale is part of the rest pose.
  float rest_scale_x = 1, rest_scale_y = 1, rest_scale_z = 1;
  float rest_pitch = 0, rest_yaw = 0, rest_roll = 0;
  float rest_quat_w = 0, rest_quat_x = 0, rest_quat_y = 0, rest_quat_z = 0;
  int influence_count = 0;
  std::vector<int> influence_vertices;
  std::vector<float> influence_weights;
  std::shared_ptr<TAnimationKeys> keys;
  std::shared_ptr<TMatrix> inverse_bind_matrix;
  // Relative to the skin mesh, file axes (z not negated): the last pose, or the rest
  // pose until the first. Skinning multiplies it by inverse_bind_matrix.
  TMatrix pose;
  TBonePose local;   // what pose was made from: the last pose from keys or commands
  int pose_scaled = 0;  // some scale (the bone's, or above it) entered pose
  int bind_scaled = 0;  // some scale entered the bind pose
  // The mesh whose bone list holds the bone; it clears this when it lets the bone go.
  TMesh* skin = nullptr;
  std::weak_ptr<TList<TBone>::Link> skin_link;  // its place there: leaving costs no search
  // Set when the bone was bound to a mesh beside its skeleton (not below the mesh): the
  // mesh's side of the frame the bone hangs in, fixed at that moment (see animation.h).
  std::shared_ptr<TMatrix> mesh_side;
  float key_pos_x = 0, key_pos_y = 0, key_pos_z = 0;  // the last pose: a transition starts here
  float key_quat_w = 0, key_quat_x = 0, key_quat_y = 0, key_quat_z = 0;
  float key_scale_x = 1, key_scale_y = 1, key_scale_z = 1;
  // 1 once AnimateMesh has posed the bone; until then a transition starts from the rest
  // pose, since the zero key_quat above is no rotation at all.
  int key_posed = 0;

  void Update() override {}
  void FreeEntity() override {}  // a bone goes with its mesh
  TBone* AsBone() override { return this; }
  // matrix := skin's world matrix x pose (z mirrored into the engine's axes); the
  // bone's non-bone children follow.
  void PlaceOnSkin();
  // Posing set local: the entity fields are worked out again when next read.
  void Posed() { fields_stale_ = true; }
  // The entity fields from the local pose, when a pose changed it since they were last.
  void RefreshLocal() const override;

 protected:
  EntityPtr StartCopy() const override;
  void FinishCopy(const EntityPtr& copy, const EntityPtr& parent) const override;
  void ReleaseKind() override;  // leaves the skin's bone list, influences and all
  // A bound bone: the changed fields become its local pose, and its mesh poses again.
  void RebuildMatrix() override;
  bool FollowsParent() const override { return !skin; }
  bool ScaleInWorld(TVector& s) const override;
  // A bound bone's local pose hangs in its mesh's world matrix times its frame there.
  bool FrameInWorld(TMatrix& frame) const override;
  // A bound bone's place is its pose, not its local fields: the inverse of its matrix.
  bool InverseInWorld(TMatrix& m, bool with_translation) const override;
  // Kept under the same parent it stays bound; moved elsewhere it leaves its skeleton.
  bool BeforeReparent(const TEntity* new_parent) override;

 private:
  mutable bool fields_stale_ = false;
  // The angles the entity fields held when taken from the local pose: unchanged
  // angles keep the pose's own rotation rather than one rebuilt from them.
  mutable float field_angles_[3] = {0, 0, 0};
};
