// A surface: one drawable part of a mesh, a vertex table, a triangle table and an
// optional (possibly shared) brush.
//
// The arrays are laid out as OpenGL vertex arrays take them, and differ from the public
// values: z is stored negated, colours 0..1, and triangle corners in reverse order.
// Accessors given a vertex, triangle or corner outside the tables do nothing or return 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "engine/scene/handles.h"

// Triangle corners are 16-bit unsigned indices (GL_UNSIGNED_SHORT).
constexpr int kMaxVertexIndex = 65535;

class TSurface {
 public:
  int vertex_count = 0;
  int triangle_count = 0;
  std::vector<uint16_t> triangle_indices;  // 3 per triangle: public corners 2, 1, 0
  std::vector<float> vertex_positions;     // x, y, -z
  std::vector<float> vertex_uv0;           // u, v
  std::vector<float> vertex_uv1;           // u, v
  std::vector<float> vertex_normals;       // nx, ny, -nz
  std::vector<float> vertex_colours;       // r, g, b, a, each 0..1
  BrushPtr brush;
  // Slots the arrays are sized for, kept above the counts by AddVertex/AddTriangle. A
  // surface filled in directly by the model reader has 1 here; the next add grows it.
  int vertex_capacity = 1;
  int triangle_capacity = 1;
  // Vertex index range of the triangles, kept by the model reader for skinning.
  int min_vertex_index = 1000000;
  int max_vertex_index = 0;
  int geometry_changed = 0;  // vertices, positions or triangles changed since the mesh's bounds
  // The highest vertex index any triangle names, -1 without triangles: kept by
  // AddTriangle and ClearSurface so that drawing can tell whether every index lies
  // inside the arrays without reading the indices each frame.
  int highest_triangle_vertex = -1;

  // Own arrays and own brush copy (which still shares the textures); changed flag clear.
  SurfacePtr Copy() const;
  void PaintSurface(BrushPtr new_brush) { brush = std::move(new_brush); }
  // Either side to empty with capacity 1; marks the geometry changed in every case.
  void ClearSurface(int clear_verts, int clear_tris);
  // Returns the new vertex's index. White, normal and second uv set zero; w unused.
  // Marks the geometry changed: the mesh's extents must take the new vertex in.
  int AddVertex(float x, float y, float z, float u = 0, float v = 0, float w = 0);
  // Returns the triangle count. A corner outside 0..kMaxVertexIndex adds nothing.
  int AddTriangle(int i0, int i1, int i2);
  int CountVertices() const { return vertex_count; }
  int CountTriangles() const { return triangle_count; }

  void VertexCoords(int vertex, float x, float y, float z) {
    if (!HasVertex(vertex, vertex_positions, 3)) return;
    float* p = &vertex_positions[std::size_t(vertex) * 3];
    p[0] = x;
    p[1] = y;
    p[2] = -z;
    geometry_changed = 1;
  }
  // Colour 0..255, alpha 0..1.
  void VertexColor(int vertex, float red, float green, float blue, float alpha) {
    if (!HasVertex(vertex, vertex_colours, 4)) return;
    float* c = &vertex_colours[std::size_t(vertex) * 4];
    c[0] = red / 255.0f;
    c[1] = green / 255.0f;
    c[2] = blue / 255.0f;
    c[3] = alpha;
  }
  void VertexNormal(int vertex, float nx, float ny, float nz) {
    if (!HasVertex(vertex, vertex_normals, 3)) return;
    float* n = &vertex_normals[std::size_t(vertex) * 3];
    n[0] = nx;
    n[1] = ny;
    n[2] = -nz;
  }
  // coord_set 0 or 1; any other set is ignored, and so is w.
  void VertexTexCoords(int vertex, float u, float v, float w, int coord_set) {
    (void)w;
    std::vector<float>* uv = UvSet(coord_set);
    if (!uv || !HasVertex(vertex, *uv, 2)) return;
    (*uv)[std::size_t(vertex) * 2] = u;
    (*uv)[std::size_t(vertex) * 2 + 1] = v;
  }

  float VertexX(int vertex) const { return Read(vertex_positions, vertex, 3, 0); }
  float VertexY(int vertex) const { return Read(vertex_positions, vertex, 3, 1); }
  float VertexZ(int vertex) const { return -Read(vertex_positions, vertex, 3, 2); }
  float VertexRed(int vertex) const { return Read(vertex_colours, vertex, 4, 0) * 255.0f; }
  float VertexGreen(int vertex) const { return Read(vertex_colours, vertex, 4, 1) * 255.0f; }
  float VertexBlue(int vertex) const { return Read(vertex_colours, vertex, 4, 2) * 255.0f; }
  float VertexAlpha(int vertex) const { return Read(vertex_colours, vertex, 4, 3); }
  float VertexNX(int vertex) const { return Read(vertex_normals, vertex, 3, 0); }
  float VertexNY(int vertex) const { return Read(vertex_normals, vertex, 3, 1); }
  float VertexNZ(int vertex) const { return -Read(vertex_normals, vertex, 3, 2); }
  float VertexU(int vertex, int coord_set) const {
    const std::vector<float>* uv = UvSet(coord_set);
    return uv ? Read(*uv, vertex, 2, 0) : 0.0f;
  }
  float VertexV(int vertex, int coord_set) const {
    const std::vector<float>* uv = UvSet(coord_set);
    return uv ? Read(*uv, vertex, 2, 1) : 0.0f;
  }
  float VertexW(int /*vertex*/) const { return 0.0f; }

  // Public corner 0..2 of the triangle, read unsigned; 0 outside the table.
  int TriangleVertex(int triangle, int corner) const {
    if (triangle < 0 || triangle >= triangle_count || corner < 0 || corner > 2) return 0;
    const std::size_t at = std::size_t(triangle) * 3 + std::size_t(2 - corner);
    return at < triangle_indices.size() ? triangle_indices[at] : 0;
  }
  // The unnormalised face normal (P1 - P0) x (P2 - P1) in public coordinates; its
  // length is twice the triangle's area.
  float TriangleNX(int triangle) const;
  float TriangleNY(int triangle) const;
  float TriangleNZ(int triangle) const;

 private:
  // Bounded by the count, which the model reader may set above the capacity, and by
  // the array itself, so a table filled in short is never read past its end.
  bool HasVertex(int vertex, const std::vector<float>& array, std::size_t stride) const {
    return vertex >= 0 && vertex < vertex_count &&
           (std::size_t(vertex) + 1) * stride <= array.size();
  }
  float Read(const std::vector<float>& array, int vertex, std::size_t stride,
             std::size_t component) const {
    return HasVertex(vertex, array, stride) ? array[std::size_t(vertex) * stride + component]
                                            : 0.0f;
  }
  const std::vector<float>* UvSet(int coord_set) const {
    return coord_set == 0 ? &vertex_uv0 : coord_set == 1 ? &vertex_uv1 : nullptr;
  }
  std::vector<float>* UvSet(int coord_set) {
    return coord_set == 0 ? &vertex_uv0 : coord_set == 1 ? &vertex_uv1 : nullptr;
  }
  void TriangleNormal(int triangle, float& nx, float& ny, float& nz) const;
};
