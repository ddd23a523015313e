// The entity's pick operations: each hands its arguments to the TPick front end of the
// same name, which leaves the result in TPick's class variables.
#include "engine/collision/pick.h"
#include "engine/scene/entity.h"

EntityPtr TEntity::EntityPick(float range) const { return TPick::EntityPick(this, range); }

EntityPtr TEntity::LinePick(float x, float y, float z, float dx, float dy, float dz, float radius) const {
  return TPick::LinePick(x, y, z, dx, dy, dz, radius);
}

int TEntity::EntityVisible(const EntityPtr& src, const EntityPtr& dest) const {
  return TPick::EntityVisible(src.get(), dest.get());
}
