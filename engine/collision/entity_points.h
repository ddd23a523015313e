// Where picking and collision read an entity's place: its world position, and a world
// point taken into a mesh's own space. Both go through the engine's transform, so a pick
// or a sweep sees the entity exactly where its getters put it.
#pragma once

#include "engine/math/vector.h"
#include "engine/scene/handles.h"

// EntityX, EntityY, EntityZ with the global flag.
TVector WorldPosition(const TEntity& e);
// The world point p in the mesh's space (TFormPoint from the world to the mesh; it
// overwrites the last transformed point, as every TFormPoint does).
TVector IntoMesh(const TVector& p, const TMesh& mesh);
