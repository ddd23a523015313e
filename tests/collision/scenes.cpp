// Geometry builders for the picking and collision tests.
#include "scenes.h"

#include <cmath>
#include <sstream>

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
