// An entity's world position and a world point in a mesh's space, for picking and
// collision alike.
#include "engine/collision/entity_points.h"

#include "engine/mesh/mesh.h"
#include "engine/scene/entity.h"

TVector WorldPosition(const TEntity& e) { return TVector::Create(e.EntityX(1), e.EntityY(1), e.EntityZ(1)); }

TVector IntoMesh(const TVector& p, const TMesh& mesh) {
  TEntity::TFormPoint(p.x, p.y, p.z, nullptr, &mesh);
  return TVector::Create(TEntity::TFormedX(), TEntity::TFormedY(), TEntity::TFormedZ());
}
