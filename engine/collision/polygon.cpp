// TPolygon: building polygons from a mesh and from points, the plane split (whose corner
// walk the octree build shares), and turning split quads back into triangles.
#include "engine/collision/polygon.h"

#include <algorithm>
#include <utility>

#include "engine/collision/plane.h"
#include "engine/collision/polygon_split.h"
#include "engine/mesh/mesh.h"
#include "engine/mesh/surface.h"

TPolygon::TPolygon(const TPolygonPiece& piece, SurfacePtr piece_surface)
    : surface(std::move(piece_surface)), triangle(piece.triangle) {
  for (int i = 0; i < int(piece.vertex_count); ++i) AddVertex(piece.vertices[i]);
}

int TPolygon::AddVertex(const TVector& v) {
  if (vertex_count < kMaxPolygonVertices) vertices[vertex_count++] = v;
  return 0;
}

const TVector& TPolygon::GetVertex(int i) const {
  static const TVector kNoVertex;
  return i >= 0 && i < kMaxPolygonVertices ? vertices[i] : kNoVertex;
}

std::vector<TPolygon> TPolygon::MeshToPolygons(const TMesh& mesh) {
  size_t total = 0;
  for (const SurfacePtr& s : *mesh.surfaces) total += size_t(std::max(s->CountTriangles(), 0));
  std::vector<TPolygon> polygons;
  polygons.reserve(total);
  for (const SurfacePtr& s : *mesh.surfaces) {
    const int triangles = s->CountTriangles();
    for (int t = 0; t < triangles; ++t) {
      TPolygon& p = polygons.emplace_back();
      for (int corner = 0; corner < 3; ++corner) {
        const int k = s->TriangleVertex(t, corner);
        p.AddVertex(TVector::Create(s->VertexX(k), s->VertexY(k), s->VertexZ(k)));
      }
      p.surface = s;
      p.triangle = t;
    }
  }
  return polygons;
}

std::optional<TPolygon> TPolygon::CreateFromPoints(std::span<const TVector> points) {
  if (points.empty()) return std::nullopt;
  TPolygon polygon;
  for (const TVector& p : points) polygon.AddVertex(p);
  return polygon;
}

namespace {
// One side's points during a split; a point past the room is dropped (see the header).
struct SidePoints {
  TVector points[kMaxPolygonVertices];
  int count = 0;
  void Add(const TVector& p) {
    if (count < kMaxPolygonVertices) points[count++] = p;
  }
  std::optional<TPolygon> Piece(const TPolygon& source) const {
    std::optional<TPolygon> piece = TPolygon::CreateFromPoints(std::span<const TVector>(points, size_t(count)));
    if (piece) {
      piece->surface = source.surface;
      piece->triangle = source.triangle;
    }
    return piece;
  }
};
}  // namespace

int TPolygon::SplitPolygon(const TPolygon& polygon, const TPlane& plane, std::optional<TPolygon>& front,
                           std::optional<TPolygon>& back) {
  SidePoints f, b;
  const int n = std::min(polygon.vertex_count, kMaxPolygonVertices);
  if (n >= 1) {
    SplitCorners(
        n, [&](int i) { return polygon.GetVertex(i); },
        [&](int i) { return plane.ClassifyPointToPlane(polygon.GetVertex(i)); },
        [&](const TVector& a, const TVector& b) { return TPlane::IntersectEdgeAgainstPlane(a, b, plane); }, f, b);
  }
  front = f.Piece(polygon);
  back = b.Piece(polygon);
  return 0;
}

std::vector<TPolygon>& TPolygon::QuadToTris(std::vector<TPolygon>& polygons) {
  const size_t n = polygons.size();
  for (size_t i = 0; i < n; ++i) {
    TPolygon& quad = polygons[i];
    if (quad.vertex_count != 4) continue;
    TPolygon second;
    second.AddVertex(quad.vertices[0]);
    second.AddVertex(quad.vertices[2]);
    second.AddVertex(quad.vertices[3]);
    second.surface = quad.surface;
    second.triangle = quad.triangle;
    quad.vertex_count = 3;
    polygons.push_back(std::move(second));  // may move the array: quad is not used after
  }
  return polygons;
}

int TPolygon::SplitPolygons(const std::vector<TPolygon>& polygons, const TPlane& plane,
                            std::vector<TPolygon>& front, std::vector<TPolygon>& back) {
  front.clear();
  back.clear();
  std::optional<TPolygon> f, b;
  for (const TPolygon& p : polygons) {
    SplitPolygon(p, plane, f, b);
    if (f) front.push_back(std::move(*f));
    if (b) back.push_back(std::move(*b));
  }
  QuadToTris(front);
  QuadToTris(back);
  return 0;
}
