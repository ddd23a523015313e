// Geometry for the picking and collision tests: quads facing a chosen way, a floor, a
// bumpy grid, a rounding tolerance for positions that pass through matrices, and how far
// a contact lies from its triangle.
#pragma once

#include <string>

#include "engine/math/vector.h"
#include "engine/mesh/mesh.h"
#include "engine/mesh/surface.h"

namespace collision_test {

constexpr float kNear = 1e-4f;  // positions through a transform or two

// Appends the quad corner, corner + u, corner + u + v, corner + v as two triangles
// facing along u x v: triangle (corner, +u, +u+v) first, then (corner, +u+v, +v).
void AddQuad(const SurfacePtr& surface, const TVector& corner, const TVector& u, const TVector& v);

// A mesh of one such quad.
MeshPtr MakeQuadMesh(const TVector& corner, const TVector& u, const TVector& v);

// The square -half..half on x and z at y = 0, facing up.
MeshPtr MakeFloor(float half);

// n x n cells over -half..half on x and z, facing up, heights from a fixed ripple (of
// that amplitude) so that triangles tilt every way; one surface per row band of 32 cells.
MeshPtr MakeGrid(int n, float half, float ripple = 0.3f);

// How far (world units) a point lies from triangle `triangle` of the mesh's surface, the
// corners taken to world space; and how far it may lie for the sweep's rounding: 1e-5 of
// the longest edge plus the spacing of floats at the coordinates involved.
struct OffTriangle {
  double distance, allowed;
};
OffTriangle PointOffTriangle(const MeshPtr& mesh, const SurfacePtr& surface, int triangle, const TVector& point);

// "" when a and b agree to within tolerance on every axis, else both written out.
std::string Apart(const TVector& got, const TVector& want, float tolerance = kNear);

}  // namespace collision_test
