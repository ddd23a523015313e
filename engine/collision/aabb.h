// AABB: an axis-aligned box, with the box/box and sphere/box overlap tests that cull
// octree cells against a sweep and meshes against a moving entity.
#pragma once

#include "engine/collision/sphere.h"

struct AABB {
  float min_corner[3] = {};
  float max_corner[3] = {};

  // 1 when the boxes overlap or touch (a shared face, edge or corner counts), else 0.
  static int AABBAABBIntersection(const AABB& a, const AABB& b);
  // 1 when the sphere reaches the box (touching counts, a centre inside always does).
  static int SphereAABBIntersection(const TSphere& sphere, const AABB& box);
};
