// TPlane: a plane as its equation a·x + b·y + c·z + d = 0, a point on it and its normal.
// It classifies points and polygons against itself and cuts edges; the octree splits
// its cells with it and the collide-and-slide builds its contact and slide planes.
#pragma once

#include <optional>

#include "engine/collision/geometric_tests.h"
#include "engine/math/vector.h"

class TPolygon;

// Results of the Classify* operations.
enum PlaneSide : int { kBehind = -1, kOnPlane = 0, kInFront = 1, kStraddling = 2 };

// A point this close to the plane (signed distance, both bounds included) lies on it, so
// split pieces and vertices that rounding nudged off the plane still count as on it.
constexpr float kPlaneTolerance = 0.0001f;

class TPlane {
 public:
  float equation[4] = {};  // a, b, c = normal; d = -(normal · origin)
  TVector origin;
  TVector normal;
  float distance = 0;  // normal · origin

  // Keeps the normal's length as given: with a non-unit normal, distances scale with it.
  static TPlane CreatePlane(const TVector& origin, const TVector& normal) {
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
  // Unit normal along (p2 - p1) x (p3 - p1), through p1. Points on one line give a zero
  // normal: such a plane faces nothing (see IsDegenerate).
  // Inline, as CreatePlane: collision builds one per triangle tested.
  static TPlane CreatePlaneFromTriangle(const TVector& p1, const TVector& p2, const TVector& p3) {
    TVector normal = p2.Subtract(p1).Cross(p3.Subtract(p1));
    normal.Normalize();  // a zero cross product stays zero
    return CreatePlane(p1, normal);
  }
  bool IsDegenerate() const { return normal.SquaredLength() == 0.0f; }

  int isFrontFacingTo(const TVector& direction) const { return normal.Dot(direction) <= 0.0f ? 1 : 0; }
  float signedDistanceTo(const TVector& point) const { return point.Dot(normal) + equation[3]; }
  // kInFront, kOnPlane or kBehind. NaN lands behind: a point of no place is kept on one side.
  int ClassifyPointToPlane(const TVector& point) const { return SideOfDistance(signedDistanceTo(point)); }
  // The side of a signed distance, decided as the octree's cell planes decide it, without
  // a branch.
  static int SideOfDistance(float d) {
    return int(InFrontOfPlane(d, kPlaneTolerance)) - int(BehindPlane(d, kPlaneTolerance));
  }
  int ClassifyPolygonToPlane(const TPolygon& polygon) const;  // also kStraddling
  int ClassifyTriangleToPlane(const TVector& p1, const TVector& p2, const TVector& p3) const;
  TVector ClosestPointTo(const TVector& point) const;

  // The point where the edge a-b meets the plane, or nothing when it does not meet it
  // between its ends (an edge parallel to the plane or lying in it never does).
  static std::optional<TVector> IntersectEdgeAgainstPlane(const TVector& a, const TVector& b,
                                                          const TPlane& plane) {
    const TVector ab = b.Subtract(a);
    return PointOnEdge(a, ab, CrossingTime(a, ab, plane));
  }
  // Where along a to a + ab (0 at a, 1 at its end) the plane lies: the cell planes'
  // crossing, which reads coordinates along -normal. Here those are -(normal . a) and
  // -(normal . ab); negating twice is exact, so this is (distance - normal . a) /
  // (normal . ab) to the bit.
  static float CrossingTime(const TVector& a, const TVector& ab, const TPlane& plane) {
    return PlaneCrossing(plane.distance, -plane.normal.Dot(a), -plane.normal.Dot(ab));
  }
  // a + ab t when 0 <= t <= 1 (NaN and infinities fail both), else nothing.
  static std::optional<TVector> PointOnEdge(const TVector& a, const TVector& ab, float t) {
    if (t >= 0.0f && t <= 1.0f) return a.Add(ab.Multiply(t));
    return std::nullopt;
  }
  // t along a-b is written in every case; q only when 0 <= t <= 1, and then 1 is returned.
  static int IntersectSegmentPlane(const TVector& a, const TVector& b, const TPlane& plane, float& t,
                                   TVector& q);
};
