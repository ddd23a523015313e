// The corner walk that cuts a polygon by a plane, shared by TPolygon::SplitPolygon and the
// octree build, so that both cut alike to the last bit. Only the way corners are read and
// classified differs between them. The octree build also runs it once over corner numbers
// instead of points, for a table of how each pattern of sides cuts a triangle.
#pragma once

#include "engine/collision/plane.h"
#include "engine/math/vector.h"

// Walks the n (>= 1) corners given by corner(i), classified by side(i) as kInFront,
// kOnPlane or kBehind, and adds each side's points to front and back (Add(point)).
// crossing(a, b) is where edge a-b meets the plane, as TPlane::IntersectEdgeAgainstPlane
// gives it. A crossing point is computed from the front end, so two polygons sharing an
// edge cut it at one point; a corner on the plane goes to the front, and to the back after
// a corner behind it.
template <typename Corner, typename Side, typename Crossing, typename Points>
constexpr void SplitCorners(int n, Corner&& corner, Side&& side, Crossing&& crossing, Points& front, Points& back) {
  auto a = corner(n - 1);
  int side_a = side(n - 1);
  for (int i = 0; i < n; ++i) {
    const auto v = corner(i);
    const int side_v = side(i);
    if (side_v == kInFront) {
      if (side_a == kBehind) {
        if (auto q = crossing(v, a)) front.Add(*q), back.Add(*q);
      }
      front.Add(v);
    } else if (side_v == kBehind) {
      if (side_a == kInFront) {
        if (auto q = crossing(a, v)) front.Add(*q), back.Add(*q);
      } else if (side_a == kOnPlane) {
        back.Add(a);
      }
      back.Add(v);
    } else {
      front.Add(v);
      if (side_a == kBehind) back.Add(v);
    }
    a = v;
    side_a = side_v;
  }
}
