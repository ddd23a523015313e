// TPlane: construction, classification of points and polygons, closest points and the
// edge and segment intersections the polygon split uses.
#include "engine/collision/plane.h"

#include "engine/collision/polygon.h"

TPlane TPlane::CreatePlane(const TVector& origin, const TVector& normal) {
  TPlane plane;
  plane.normal = normal;
  plane.origin = origin;
  plane.equation[0] = normal.x;
  plane.equation[1] = normal.y;
  plane.equation[2] = normal.z;
  plane.distance = normal.Dot(origin);
  plane.equation[3] = -plane.distance;
  return plane;
}

TPlane TPlane::CreatePlaneFromTriangle(const TVector& p1, const TVector& p2, const TVector& p3) {
  TVector normal = p2.Subtract(p1).Cross(p3.Subtract(p1));
  normal.Normalize();  // a zero cross product stays zero
  return CreatePlane(p1, normal);
}

namespace {
int Combine(int fronts, int backs) {
  if (fronts > 0 && backs > 0) return kStraddling;
  if (fronts > 0) return kInFront;
  if (backs > 0) return kBehind;
  return kOnPlane;
}
}  // namespace

int TPlane::ClassifyPolygonToPlane(const TPolygon& polygon) const {
  int fronts = 0, backs = 0;
  for (int i = 0; i < polygon.vertex_count; ++i) {
    const int side = ClassifyPointToPlane(polygon.GetVertex(i));
    fronts += side == kInFront;
    backs += side == kBehind;
  }
  return Combine(fronts, backs);
}

int TPlane::ClassifyTriangleToPlane(const TVector& p1, const TVector& p2, const TVector& p3) const {
  int fronts = 0, backs = 0;
  for (const TVector* p : {&p1, &p2, &p3}) {
    const int side = ClassifyPointToPlane(*p);
    fronts += side == kInFront;
    backs += side == kBehind;
  }
  return Combine(fronts, backs);
}

TVector TPlane::ClosestPointTo(const TVector& point) const {
  return point.Subtract(normal.Multiply(normal.Dot(point) - distance));
}

int TPlane::IntersectSegmentPlane(const TVector& a, const TVector& b, const TPlane& plane, float& t,
                                  TVector& q) {
  const TVector ab = b.Subtract(a);
  t = (plane.distance - plane.normal.Dot(a)) / plane.normal.Dot(ab);
  if (t >= 0.0f && t <= 1.0f) {
    q = a.Add(ab.Multiply(t));
    return 1;
  }
  return 0;
}
