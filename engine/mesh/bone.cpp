// Copying bones with their rest pose, influences, keys and bind matrix; placing a bound
// bone on its mesh; how a bound bone answers the transform commands (its local fields
// from its pose, its pose from changed fields, its world scale from its matrix); letting
// go of the mesh when the bone is freed or re-parented.
#include "engine/mesh/bone.h"

#include <cmath>
#include <vector>

#include "engine/math/quaternion.h"
#include "engine/math/vector.h"
#include "engine/mesh/animation.h"
#include "engine/mesh/mesh.h"

void TBone::PlaceOnSkin() {
  if (!skin) return;
  matrix.Overwrite(skin->matrix);
  matrix.Multiply(TAnimation::Mirrored(pose));
  if (!children.IsEmpty()) UpdateChildren(this);
}

void TBone::RefreshLocal() const {
  if (!fields_stale_) return;
  fields_stale_ = false;
  // The engine's terms, as the model reader turns a node's values into them.
  auto& self = const_cast<TBone&>(*this);  // the fields are the pose's cache
  self.pos_x = local.x, self.pos_y = local.y, self.pos_z = -local.z;
  float p = 0, y = 0, r = 0;
  TQuaternion::QuatToEuler(-local.qw, local.qx, local.qy, -local.qz, p, y, r);
  self.pitch = -p, self.yaw = y, self.roll = r;
  self.scale_x = local.sx, self.scale_y = local.sy, self.scale_z = local.sz;
  field_angles_[0] = self.pitch, field_angles_[1] = y, field_angles_[2] = r;
}

void TBone::RebuildMatrix() {
  if (!skin) return TEntity::RebuildMatrix();
  RefreshLocal();  // a no-op after the command's own refresh
  TBonePose p = local;
  bool changed = false;
  if (pos_x != p.x || pos_y != p.y || pos_z != -p.z) {
    p.x = pos_x, p.y = pos_y, p.z = -pos_z;
    changed = true;
  }
  if (pitch != field_angles_[0] || yaw != field_angles_[1] || roll != field_angles_[2]) {
    // The engine's rotation from the angles, mirrored into the file's axes:
    // (w, x, y, z) there is (w, -x, -y, z) here.
    TMatrix m;
    m.LoadIdentity();
    m.Rotate(pitch, yaw, roll);
    float w = 1, x = 0, y = 0, z = 0;
    TQuaternion::MatToQuat(m, w, x, y, z);
    p.qw = w, p.qx = -x, p.qy = -y, p.qz = z;
    field_angles_[0] = pitch, field_angles_[1] = yaw, field_angles_[2] = roll;
    changed = true;
  }
  if (scale_x != p.sx || scale_y != p.sy || scale_z != p.sz) {
    p.sx = scale_x, p.sy = scale_y, p.sz = scale_z;
    changed = true;
  }
  if (!changed) {
    PlaceOnSkin();  // a global RotateEntity wrote the matrix on its way
    return;
  }
  // The new pose is the bone's until the next pose from keys; a transition starts from it.
  local = p;
  key_pos_x = p.x, key_pos_y = p.y, key_pos_z = p.z;
  key_quat_w = p.qw, key_quat_x = p.qx, key_quat_y = p.qy, key_quat_z = p.qz;
  key_scale_x = p.sx, key_scale_y = p.sy, key_scale_z = p.sz;
  key_posed = 1;
  TAnimation::Repose(*skin);  // the bones below, the skin and what hangs on them follow
}

bool TBone::ScaleInWorld(TVector& s) const {
  if (!skin) return TEntity::ScaleInWorld(s);
  // The lengths of the matrix's axes: the mesh's scale and every bone scale above.
  auto axis = [this](int c) {
    const float* g = matrix.grid[c];
    return std::sqrt(g[0] * g[0] + g[1] * g[1] + g[2] * g[2]);
  };
  s = TVector::Create(axis(0), axis(1), axis(2));
  return true;
}

bool TBone::FrameInWorld(TMatrix& frame) const {
  if (!skin) return false;
  frame = TAnimation::FrameInWorld(*skin, *this);
  return true;
}

bool TBone::InverseInWorld(TMatrix& m, bool with_translation) const {
  if (!skin) return TEntity::InverseInWorld(m, with_translation);
  TMatrix inverse = matrix.AffineInverse();
  if (!with_translation) inverse.grid[3][0] = inverse.grid[3][1] = inverse.grid[3][2] = 0;
  m.Multiply(inverse);
  return true;
}

bool TBone::BeforeReparent(const TEntity* new_parent) {
  if (!skin) return true;
  if (new_parent == parent) return false;  // it stays where it hangs, bound and posed
  // Out of the skeleton, with the bones of the same skin below it: each keeps its
  // local pose as its local fields and follows its parent from now on.
  TMesh* const mesh = skin;
  std::vector<TEntity*> pending{this};
  while (!pending.empty()) {
    TEntity* e = pending.back();
    pending.pop_back();
    if (TBone* bone = e->AsBone(); bone && bone->skin == mesh) {
      bone->RefreshLocal();
      bone->ReleaseKind();
    }
    for (const EntityPtr& c : e->children) pending.push_back(c.get());
  }
  return true;
}

void TBone::ReleaseKind() {
  if (!skin) return;
  if (auto link = skin_link.lock())
    skin->bones.RemoveLink(link.get());
  else
    skin->bones.Remove(this);  // put in the list by hand, not through AddBone
  skin_link.reset();
  skin = nullptr;
}

EntityPtr TBone::StartCopy() const {
  RefreshLocal();
  return std::make_shared<TBone>();
}

void TBone::FinishCopy(const EntityPtr& copy_entity, const EntityPtr& parent_entity) const {
  auto* copy = static_cast<TBone*>(copy_entity.get());
  // The pose is relative to the mesh, so it carries over unchanged to a copy of the
  // mesh, which places the copied bone on itself once its bone list stands; copied
  // alone, the bone stands under its new parent as its local fields say.
  copy->pose = pose;
  copy->local = local;
  copy->pose_scaled = pose_scaled;
  copy->bind_scaled = bind_scaled;
  copy->field_angles_[0] = field_angles_[0], copy->field_angles_[1] = field_angles_[1];
  copy->field_angles_[2] = field_angles_[2];
  copy->pos_x = pos_x, copy->pos_y = pos_y, copy->pos_z = pos_z;
  copy->scale_x = scale_x, copy->scale_y = scale_y, copy->scale_z = scale_z;
  copy->pitch = pitch, copy->yaw = yaw, copy->roll = roll;
  copy->quat_w = quat_w, copy->quat_x = quat_x, copy->quat_y = quat_y, copy->quat_z = quat_z;
  copy->name = name;
  copy->class_name = class_name;
  copy->order = order;
  copy->rest_pos_x = rest_pos_x, copy->rest_pos_y = rest_pos_y, copy->rest_pos_z = rest_pos_z;
  copy->rest_scale_x = rest_scale_x, copy->rest_scale_y = rest_scale_y, copy->rest_scale_z = rest_scale_z;
  copy->rest_pitch = rest_pitch, copy->rest_yaw = rest_yaw, copy->rest_roll = rest_roll;
  copy->rest_quat_w = rest_quat_w, copy->rest_quat_x = rest_quat_x;
  copy->rest_quat_y = rest_quat_y, copy->rest_quat_z = rest_quat_z;
  copy->influence_count = influence_count;
  copy->influence_vertices = influence_vertices;
  copy->influence_weights = influence_weights;
  if (keys) copy->keys = keys->Copy();
  if (inverse_bind_matrix) copy->inverse_bind_matrix = std::make_shared<TMatrix>(*inverse_bind_matrix);
  if (mesh_side) copy->mesh_side = std::make_shared<TMatrix>(*mesh_side);
  copy->key_pos_x = key_pos_x, copy->key_pos_y = key_pos_y, copy->key_pos_z = key_pos_z;
  copy->key_quat_w = key_quat_w, copy->key_quat_x = key_quat_x;
  copy->key_quat_y = key_quat_y, copy->key_quat_z = key_quat_z;
  copy->key_scale_x = key_scale_x, copy->key_scale_y = key_scale_y, copy->key_scale_z = key_scale_z;
  copy->key_posed = key_posed;
  copy->PlaceCopy(parent_entity);
}
