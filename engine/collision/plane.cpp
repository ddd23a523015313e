// TPlane: classification of polygons and triangles, closest points and the segment
// intersection. Construction, point classification and the edge cut are inline in the
// header: the octree build and collision run them per vertex and per triangle.
#include "engine/collision/plane.h"

#include "engine/collision/polygon.h"

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
  t = CrossingTime(a, ab, plane);
  const std::optional<TVector> on_edge = PointOnEdge(a, ab, t);
  if (!on_edge) return 0;
  q = *on_edge;
  return 1;
}
