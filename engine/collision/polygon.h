// TPolygon: a convex polygon of its own vertex copies that remembers the surface and the
// triangle it was cut from, with the mesh-to-polygon conversion and the plane split. The
// octree keeps its pieces as TPolygonPiece instead and cuts them with the same corner
// walk (polygon_split.h), so a cell holds the pieces SplitPolygons would give it; its
// leaves hand those out as TPolygons (TLeafPolygons).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "engine/math/vector.h"
#include "engine/scene/handles.h"

class TPlane;

// Room for the vertices of one polygon, and for the points one side of a split gathers.
// Triangles and their pieces need 4 at most; a longer polygon keeps its first 9 points.
constexpr int kMaxPolygonVertices = 9;

// A polygon as an octree holds it: the corners in place and the source surface as an
// index into the tree's surface table, so that the build copies 44 bytes a piece and
// touches no reference count. Cutting triangles gives at most 4 points a side, and the
// quads among them are made triangles at once, so 3 corners are room enough; pieces of 1
// or 2 corners are kept as they come (the walks skip them like any non-triangle).
struct TPolygonPiece {
  TVector vertices[3];
  int triangle = 0;               // index of the source triangle in its surface
  uint32_t vertex_count : 2 = 0;  // 1 to 3
  uint32_t surface : 30 = 0;      // index in the tree's surface table
};

class TPolygon {
 public:
  TPolygon() = default;
  // The piece as a polygon of its own, from the surface its index stands for.
  TPolygon(const TPolygonPiece& piece, SurfacePtr piece_surface);

  int vertex_count = 0;
  TVector vertices[kMaxPolygonVertices];  // boundary order; entries 0..vertex_count-1
  SurfacePtr surface;  // the source surface, kept alive by the polygon
  int triangle = 0;    // index of the source triangle in that surface, from 0

  // One triangle polygon per triangle of every surface, in surface then triangle order,
  // corners 0, 1, 2 in mesh space (public z), read once: later edits do not reach them.
  static std::vector<TPolygon> MeshToPolygons(const TMesh& mesh);
  // Cuts every polygon by the plane; pieces go to front or back, quads turned into two
  // triangles. Both outputs are emptied first. Returns 0.
  static int SplitPolygons(const std::vector<TPolygon>& polygons, const TPlane& plane,
                           std::vector<TPolygon>& front, std::vector<TPolygon>& back);
  // The piece on each side (nothing for a side that got no point). A crossing point is
  // computed from the front end, so two polygons sharing an edge cut it at one point.
  // Pieces keep the source surface and triangle; the input is not changed. Returns 0.
  static int SplitPolygon(const TPolygon& polygon, const TPlane& plane, std::optional<TPolygon>& front,
                          std::optional<TPolygon>& back);
  // A polygon of the points in order, or nothing for no point.
  static std::optional<TPolygon> CreateFromPoints(std::span<const TVector> points);
  // Every 4-vertex polygon keeps (0, 1, 2) and a new (0, 2, 3) is appended at the end.
  static std::vector<TPolygon>& QuadToTris(std::vector<TPolygon>& polygons);

  int AddVertex(const TVector& v);  // a copy; past kMaxPolygonVertices nothing is added
  // Vertex i as stored; outside 0..kMaxPolygonVertices-1 a zero vector.
  const TVector& GetVertex(int i) const;
};
