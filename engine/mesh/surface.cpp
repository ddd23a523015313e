// Surface growth, clearing, copying and triangle normals. The per-vertex accessors
// are inline in the header: picking, collision and the loaders call them in tight loops.
#include "engine/mesh/surface.h"

#include <algorithm>
#include <memory>

#include "engine/mesh/brush.h"

namespace {

// Doubles the capacity until it exceeds the count (a directly filled surface starts
// below its count).
int GrownCapacity(int capacity, int count) {
  if (capacity < 1) capacity = 1;
  while (capacity <= count) capacity *= 2;
  return capacity;
}

// Exactly capacity x stride elements, contents kept, new elements zero.
template <typename T>
void Fit(std::vector<T>& array, int capacity, std::size_t stride) {
  const std::size_t size = std::size_t(capacity) * stride;
  if (array.size() != size) array.resize(size);
}

bool IsVertexIndex(int index) { return index >= 0 && index <= kMaxVertexIndex; }

}  // namespace

SurfacePtr TSurface::Copy() const {
  auto copy = std::make_shared<TSurface>(*this);
  copy->brush = brush ? brush->Copy() : nullptr;
  copy->geometry_changed = 0;
  return copy;
}

void TSurface::ClearSurface(int clear_verts, int clear_tris) {
  if (clear_verts) {
    vertex_count = 0;
    vertex_positions.clear();
    vertex_uv0.clear();
    vertex_uv1.clear();
    vertex_normals.clear();
    vertex_colours.clear();
    vertex_capacity = 1;
  }
  if (clear_tris) {
    triangle_count = 0;
    triangle_indices.clear();
    triangle_capacity = 1;
    highest_triangle_vertex = -1;
  }
  geometry_changed = 1;
}

int TSurface::AddVertex(float x, float y, float z, float u, float v, float /*w*/) {
  ++vertex_count;
  if (vertex_count >= vertex_capacity) vertex_capacity = GrownCapacity(vertex_capacity, vertex_count);
  // Also mends arrays that were filled in short of the count.
  Fit(vertex_positions, vertex_capacity, 3);
  Fit(vertex_uv0, vertex_capacity, 2);
  Fit(vertex_uv1, vertex_capacity, 2);
  Fit(vertex_normals, vertex_capacity, 3);
  Fit(vertex_colours, vertex_capacity, 4);

  const int i = vertex_count - 1;
  float* p = &vertex_positions[std::size_t(i) * 3];
  p[0] = x;
  p[1] = y;
  p[2] = -z;
  vertex_uv0[std::size_t(i) * 2] = u;
  vertex_uv0[std::size_t(i) * 2 + 1] = v;
  float* c = &vertex_colours[std::size_t(i) * 4];
  c[0] = c[1] = c[2] = c[3] = 1.0f;
  geometry_changed = 1;
  return i;
}

int TSurface::AddTriangle(int i0, int i1, int i2) {
  // A corner that 16 bits cannot hold would silently point at another vertex.
  if (!IsVertexIndex(i0) || !IsVertexIndex(i1) || !IsVertexIndex(i2)) return triangle_count;
  ++triangle_count;
  if (triangle_count >= triangle_capacity) {
    triangle_capacity = GrownCapacity(triangle_capacity, triangle_count);
  }
  Fit(triangle_indices, triangle_capacity, 3);

  uint16_t* t = &triangle_indices[std::size_t(triangle_count - 1) * 3];
  t[0] = uint16_t(i2);
  t[1] = uint16_t(i1);
  t[2] = uint16_t(i0);
  highest_triangle_vertex = std::max({highest_triangle_vertex, i0, i1, i2});
  geometry_changed = 1;
  return triangle_count;
}

void TSurface::TriangleNormal(int triangle, float& nx, float& ny, float& nz) const {
  const int c0 = TriangleVertex(triangle, 0);
  const int c1 = TriangleVertex(triangle, 1);
  const int c2 = TriangleVertex(triangle, 2);
  const float ax = VertexX(c1) - VertexX(c0);
  const float ay = VertexY(c1) - VertexY(c0);
  const float az = VertexZ(c1) - VertexZ(c0);
  const float bx = VertexX(c2) - VertexX(c1);
  const float by = VertexY(c2) - VertexY(c1);
  const float bz = VertexZ(c2) - VertexZ(c1);
  nx = ay * bz - az * by;
  ny = az * bx - ax * bz;
  nz = ax * by - ay * bx;
}

float TSurface::TriangleNX(int triangle) const {
  float nx, ny, nz;
  TriangleNormal(triangle, nx, ny, nz);
  return nx;
}

float TSurface::TriangleNY(int triangle) const {
  float nx, ny, nz;
  TriangleNormal(triangle, nx, ny, nz);
  return ny;
}

float TSurface::TriangleNZ(int triangle) const {
  float nx, ny, nz;
  TriangleNormal(triangle, nx, ny, nz);
  return nz;
}
