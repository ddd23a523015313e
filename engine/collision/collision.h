// Collision records: the rules that say which collision types collide with which, and
// the impacts the collision update leaves on each moved entity.
#pragma once

#include <memory>
#include <vector>

#include "engine/scene/handles.h"

// One contact of the last collision update. The entity is held weakly: two entities
// that hit each other must not keep each other alive.
struct TCollisionImpact {
  float x = 0, y = 0, z = 0;     // contact point, world space
  float nx = 0, ny = 0, nz = 0;  // contact normal
  float time = 0;
  std::weak_ptr<TEntity> entity;
  SurfacePtr surface;
  int triangle = 0;
};

// A collision rule: entities of src_type collide with those of dest_type.
struct TCollision {
  int src_type = 0;
  int dest_type = 0;
  int method = 0;
  int response = 0;
  static std::vector<TCollision> list;  // in insertion order, duplicates allowed
};
