// Geometry builders for the picking and collision tests.
#include "scenes.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "engine/scene/entity.h"

namespace collision_test {

void AddQuad(const SurfacePtr& surface, const TVector& corner, const TVector& u, const TVector& v) {
  const TVector c[4] = {corner, corner.Add(u), corner.Add(u).Add(v), corner.Add(v)};
  int i[4];
  for (int k = 0; k < 4; ++k) i[k] = surface->AddVertex(c[k].x, c[k].y, c[k].z);
  surface->AddTriangle(i[0], i[1], i[2]);
  surface->AddTriangle(i[0], i[2], i[3]);
}

MeshPtr MakeQuadMesh(const TVector& corner, const TVector& u, const TVector& v) {
  MeshPtr mesh = TMesh::CreateMesh();
  AddQuad(mesh->CreateSurface(), corner, u, v);
  return mesh;
}

MeshPtr MakeFloor(float half) {
  return MakeQuadMesh(TVector::Create(-half, 0, -half), TVector::Create(0, 0, 2 * half),
                      TVector::Create(2 * half, 0, 0));
}

MeshPtr MakeGrid(int n, float half, float ripple) {
  MeshPtr mesh = TMesh::CreateMesh();
  const float cell = 2 * half / float(n);
  auto height = [ripple](float x, float z) { return ripple * std::sin(x * 1.7f) * std::cos(z * 1.3f); };
  constexpr int kRowsPerSurface = 32;
  SurfacePtr surface;
  for (int row = 0; row < n; ++row) {
    if (row % kRowsPerSurface == 0) surface = mesh->CreateSurface();
    for (int col = 0; col < n; ++col) {
      const float x0 = -half + float(col) * cell, z0 = -half + float(row) * cell;
      const float x1 = x0 + cell, z1 = z0 + cell;
      const int a = surface->AddVertex(x0, height(x0, z0), z0);
      const int b = surface->AddVertex(x0, height(x0, z1), z1);
      const int c = surface->AddVertex(x1, height(x1, z1), z1);
      const int d = surface->AddVertex(x1, height(x1, z0), z0);
      surface->AddTriangle(a, b, c);
      surface->AddTriangle(a, c, d);
    }
  }
  return mesh;
}

namespace {

struct Point3 {
  double x, y, z;
  Point3 operator-(const Point3& o) const { return {x - o.x, y - o.y, z - o.z}; }
  Point3 operator+(const Point3& o) const { return {x + o.x, y + o.y, z + o.z}; }
  Point3 operator*(double f) const { return {x * f, y * f, z * f}; }
  double Dot(const Point3& o) const { return x * o.x + y * o.y + z * o.z; }
  Point3 Cross(const Point3& o) const { return {y * o.z - z * o.y, z * o.x - x * o.z, x * o.y - y * o.x}; }
};

// Distance from p to the segment a-b.
double ToSegment(const Point3& p, const Point3& a, const Point3& b) {
  const Point3 e = b - a;
  const double e2 = e.Dot(e);
  const double f = e2 > 0 ? std::clamp((p - a).Dot(e) / e2, 0.0, 1.0) : 0.0;
  const Point3 d = p - (a + e * f);
  return std::sqrt(d.Dot(d));
}

}  // namespace

OffTriangle PointOffTriangle(const MeshPtr& mesh, const SurfacePtr& surface, int triangle, const TVector& point) {
  Point3 c[3];
  float largest = std::max({std::fabs(point.x), std::fabs(point.y), std::fabs(point.z)});
  for (int i = 0; i < 3; ++i) {
    const int v = surface->TriangleVertex(triangle, i);
    TEntity::TFormPoint(surface->VertexX(v), surface->VertexY(v), surface->VertexZ(v), mesh.get(), nullptr);
    const float x = TEntity::TFormedX(), y = TEntity::TFormedY(), z = TEntity::TFormedZ();
    c[i] = {x, y, z};
    largest = std::max({largest, std::fabs(x), std::fabs(y), std::fabs(z)});
  }
  const Point3 p{point.x, point.y, point.z};
  double distance = std::min({ToSegment(p, c[0], c[1]), ToSegment(p, c[1], c[2]), ToSegment(p, c[2], c[0])});
  const Point3 n = (c[1] - c[0]).Cross(c[2] - c[0]);
  const double n2 = n.Dot(n);
  if (n2 > 0) {  // the foot on the plane, when it lies inside every edge
    const Point3 foot = p - n * ((p - c[0]).Dot(n) / n2);
    bool inside = true;
    for (int i = 0; i < 3; ++i) inside &= (c[(i + 1) % 3] - c[i]).Cross(foot - c[i]).Dot(n) >= 0;
    if (inside) distance = std::min(distance, std::fabs((p - c[0]).Dot(n)) / std::sqrt(n2));
  }
  double longest = 0;
  for (int i = 0; i < 3; ++i) {
    const Point3 e = c[(i + 1) % 3] - c[i];
    longest = std::max(longest, std::sqrt(e.Dot(e)));
  }
  return {distance, 1e-5 * longest + double(std::nextafter(largest, INFINITY) - largest)};
}

std::string Apart(const TVector& got, const TVector& want, float tolerance) {
  if (std::fabs(got.x - want.x) <= tolerance && std::fabs(got.y - want.y) <= tolerance &&
      std::fabs(got.z - want.z) <= tolerance)
    return "";
  std::ostringstream out;
  out << "got (" << got.x << ", " << got.y << ", " << got.z << ") want (" << want.x << ", " << want.y << ", "
      << want.z << ")";
  return out.str();
}

}  // namespace collision_test
