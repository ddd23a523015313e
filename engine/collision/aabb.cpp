// AABB overlap tests. Both are written so that a NaN anywhere gives "no overlap": a
// sweep from a position of no value must reach nothing.
#include "engine/collision/aabb.h"

int AABB::AABBAABBIntersection(const AABB& a, const AABB& b) {
  for (int i = 0; i < 3; ++i) {
    if (!(a.max_corner[i] >= b.min_corner[i] && a.min_corner[i] <= b.max_corner[i])) return 0;
  }
  return 1;
}

int AABB::SphereAABBIntersection(const TSphere& sphere, const AABB& box) {
  const float centre[3] = {sphere.centre.x, sphere.centre.y, sphere.centre.z};
  float s = 0.0f;
  for (int i = 0; i < 3; ++i) {
    const float c = centre[i], lo = box.min_corner[i], hi = box.max_corner[i];
    if (c < lo) {
      s += (c - lo) * (c - lo);
    } else if (c > hi) {
      s += (c - hi) * (c - hi);
    } else if (!(c >= lo && c <= hi)) {
      return 0;  // NaN centre or bounds
    }
  }
  return s <= sphere.radius * sphere.radius ? 1 : 0;
}
