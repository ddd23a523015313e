// Copying bones with their rest pose, influences, keys and bind matrix; placing a bound
// bone on its mesh; letting go of the mesh when the bone is freed.
#include "engine/mesh/bone.h"

#include "engine/mesh/animation.h"
#include "engine/mesh/mesh.h"

void TBone::PlaceOnSkin() {
  if (!skin) return;
  matrix.Overwrite(skin->matrix);
  matrix.Multiply(TAnimation::Mirrored(pose));
  if (!children.IsEmpty()) UpdateChildren(this);
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

EntityPtr TBone::StartCopy() const { return std::make_shared<TBone>(); }

void TBone::FinishCopy(const EntityPtr& copy_entity, const EntityPtr& parent_entity) const {
  auto* copy = static_cast<TBone*>(copy_entity.get());
  copy->AddParent(parent_entity);
  copy->EntityListAdd(entity_list);
  // The pose is relative to the mesh, so it carries over unchanged to a copy of the
  // mesh, which places the copied bone on itself once its bone list stands.
  copy->matrix = matrix;
  copy->pose = pose;
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
  copy->key_posed = key_posed;
}
