// Ready-made meshes: cube, sphere, cylinder and cone, each inside -1..+1 on every axis,
// centred on the mesh origin, y up. The curved shapes take their rim and row points from
// sine/cosine tables whose last entry repeats the first, so every seam position is
// bit-equal to its partner and the position weld of the normals really smooths it.
#include <vector>

#include "engine/commands/commands.h"
#include "engine/math/trig.h"
#include "engine/mesh/mesh.h"
#include "engine/mesh/mesh_normals.h"
#include "engine/mesh/surface.h"

namespace {

// Segment counts outside these build nothing.
constexpr int kMinSphereSegments = 2;
constexpr int kMinRoundSegments = 3;  // cylinder and cone
constexpr int kMaxSegments = 100;

// 16-bit corners address this many vertices: a sphere above 90 segments (8s^2 - 4s
// vertices) continues in a further surface instead of wrapping its indices.
constexpr int kMaxSurfaceVertices = kMaxVertexIndex + 1;

// Cos and Sin of 90 + j * 360 / n degrees for j = 0..n; entry n is entry 0 itself, so
// the closing seam lands exactly on the opening one.
struct Ring {
  std::vector<float> cos, sin;
  explicit Ring(int n) : cos(n + 1), sin(n + 1) {
    for (int j = 0; j < n; ++j) {
      const double angle = 90.0 + 360.0 * j / n;
      cos[j] = float(Cos(angle));
      sin[j] = float(Sin(angle));
    }
    cos[n] = cos[0];
    sin[n] = sin[0];
  }
};

// Sin and Cos of the polar angle k * 180 / s for rows k = 0..s, mirrored about the
// equator so that each row below it is bit-equal (y negated) to its partner above.
struct Rows {
  std::vector<float> sin, cos;
  explicit Rows(int s) : sin(s + 1), cos(s + 1) {
    for (int k = 0; 2 * k <= s; ++k) {
      const double angle = 180.0 * k / s;
      sin[k] = sin[s - k] = float(Sin(angle));
      cos[k] = float(Cos(angle));
      cos[s - k] = -cos[k];
    }
    if (s % 2 == 0) cos[s / 2] = 0.0f;  // the equator row is its own mirror
  }
};

// u of longitude column j when n columns run from u 1 down to u 0.
float ColumnU(int j, int n) { return float(n - j) / float(n); }

void WeldAll(const TMesh& mesh) {
  std::vector<TSurface*> all;
  for (const SurfacePtr& s : *mesh.surfaces) all.push_back(s.get());
  WeldNormals(all);
}

}  // namespace

// ---- Cube -------------------------------------------------------------------------------

MeshPtr TMesh::CreateCube(const EntityPtr& parent) {
  struct Corner {
    float x, y, z, nx, ny, nz, u, v;
  };
  static const Corner kCorners[24] = {
      {-1, -1, -1, 0, 0, -1, 0, 1}, {-1, 1, -1, 0, 0, -1, 0, 0}, {1, 1, -1, 0, 0, -1, 1, 0},
      {1, -1, -1, 0, 0, -1, 1, 1},  {-1, -1, 1, 0, 0, 1, 1, 1},  {-1, 1, 1, 0, 0, 1, 1, 0},
      {1, 1, 1, 0, 0, 1, 0, 0},     {1, -1, 1, 0, 0, 1, 0, 1},   {-1, -1, 1, 0, -1, 0, 0, 1},
      {-1, 1, 1, 0, 1, 0, 0, 0},    {1, 1, 1, 0, 1, 0, 1, 0},    {1, -1, 1, 0, -1, 0, 1, 1},
      {-1, -1, -1, 0, -1, 0, 0, 0}, {-1, 1, -1, 0, 1, 0, 0, 1},  {1, 1, -1, 0, 1, 0, 1, 1},
      {1, -1, -1, 0, -1, 0, 1, 0},  {-1, -1, 1, -1, 0, 0, 0, 1}, {-1, 1, 1, -1, 0, 0, 0, 0},
      {1, 1, 1, 1, 0, 0, 1, 0},     {1, -1, 1, 1, 0, 0, 1, 1},   {-1, -1, -1, -1, 0, 0, 1, 1},
      {-1, 1, -1, -1, 0, 0, 1, 0},  {1, 1, -1, 1, 0, 0, 0, 0},   {1, -1, -1, 1, 0, 0, 0, 1},
  };
  static const int kTriangles[12][3] = {
      {0, 1, 2},    {0, 2, 3},    {6, 5, 4},    {7, 6, 4},    {14, 13, 9},  {10, 14, 9},
      {8, 12, 15},  {8, 15, 11},  {22, 18, 19}, {23, 22, 19}, {16, 17, 21}, {16, 21, 20},
  };
  MeshPtr mesh = CreateMesh(parent);
  SurfacePtr s = mesh->CreateSurface(nullptr);
  for (const Corner& c : kCorners) s->AddVertex(c.x, c.y, c.z, 0, 0, 0);
  for (int i = 0; i < 24; ++i) s->VertexNormal(i, kCorners[i].nx, kCorners[i].ny, kCorners[i].nz);
  for (int i = 0; i < 24; ++i) s->VertexTexCoords(i, kCorners[i].u, kCorners[i].v, 0, 0);
  // Flat faces: the normals stay as given, no smoothing.
  for (const auto& t : kTriangles) s->AddTriangle(t[0], t[1], t[2]);
  return mesh;
}

// ---- Sphere -----------------------------------------------------------------------------

MeshPtr TMesh::CreateSphere(int segments, const EntityPtr& parent) {
  if (segments < kMinSphereSegments || segments > kMaxSegments) return nullptr;
  const int s = segments;
  const int columns = 2 * s;
  const Ring ring(columns);
  const Rows rows(s);
  const float u_step = 1.0f / float(columns);

  MeshPtr mesh = CreateMesh(parent);
  SurfacePtr surf = mesh->CreateSurface(nullptr);
  // Quads and cap pieces share no vertices, so the geometry can move on to a fresh
  // surface between any two of them.
  auto room_for = [&](int vertices) {
    if (surf->CountVertices() + vertices > kMaxSurfaceVertices) surf = mesh->CreateSurface(nullptr);
  };
  // The point at longitude column j on row k (row 0 the top pole, row s the bottom).
  auto point = [&](int j, int k, float u, float v) {
    return velmora::AddVertex(surf, -ring.cos[j] * rows.sin[k], rows.cos[k], ring.sin[j] * rows.sin[k], u, v, 0);
  };

  if (s == 2) {
    // A double pyramid round the equator.
    for (int j = 0; j < columns; ++j) {
      const float u = ColumnU(j, columns), mid = u - u_step / 2.0f;
      const int top = velmora::AddVertex(surf, 0, 1, 0, mid, 0, 0);
      const int bottom = velmora::AddVertex(surf, 0, -1, 0, mid, 1, 0);
      const int first = point(j, 1, u, 0.5f);
      const int second = point(j + 1, 1, ColumnU(j + 1, columns), 0.5f);
      velmora::AddTriangle(surf, top, first, second);
      velmora::AddTriangle(surf, second, first, bottom);
    }
  } else {
    const float v_step = 1.0f / float(s);
    // Pole caps: one top and one bottom triangle per column.
    for (int j = 0; j < columns; ++j) {
      room_for(6);
      const float u = ColumnU(j, columns), u2 = ColumnU(j + 1, columns), mid = u - u_step / 2.0f;
      const int top = velmora::AddVertex(surf, 0, 1, 0, mid, 0, 0);
      const int bottom = velmora::AddVertex(surf, 0, -1, 0, mid, 1, 0);
      const int upper1 = point(j, 1, u, v_step);
      const int lower1 = point(j, s - 1, u, 1.0f - v_step);
      const int upper2 = point(j + 1, 1, u2, v_step);
      const int lower2 = point(j + 1, s - 1, u2, 1.0f - v_step);
      velmora::AddTriangle(surf, top, upper1, upper2);
      velmora::AddTriangle(surf, lower2, lower1, bottom);
    }
    // Bands between rows 1 and s - 1, column by column.
    for (int j = 0; j < columns; ++j) {
      const float u = ColumnU(j, columns), u2 = ColumnU(j + 1, columns);
      for (int k = 1; k <= s - 2; ++k) {
        room_for(4);
        const float v = float(k) / float(s), v2 = float(k + 1) / float(s);
        const int p1 = point(j, k, u, v);
        const int p2 = point(j, k + 1, u, v2);
        const int p3 = point(j + 1, k, u2, v);
        const int p4 = point(j + 1, k + 1, u2, v2);
        velmora::AddTriangle(surf, p3, p1, p2);
        velmora::AddTriangle(surf, p4, p3, p2);
      }
    }
  }
  // One weld over every surface: the poles, the band edges, the texture seam and any
  // split between surfaces all come out smooth.
  WeldAll(*mesh);
  return mesh;
}

// ---- Cylinder and cone ---------------------------------------------------------------------

MeshPtr TMesh::CreateCylinder(int segments, int solid, const EntityPtr& parent) {
  if (segments < kMinRoundSegments || segments > kMaxSegments) return nullptr;
  const int s = segments;
  const Ring ring(s);
  MeshPtr mesh = CreateMesh(parent);
  SurfacePtr side = mesh->CreateSurface(nullptr);

  if (solid == 1) {
    // Both ends as fans round their vertex at angle 90, in a surface of their own so
    // they stay flat.
    SurfacePtr cap = mesh->CreateSurface(nullptr);
    auto cap_vertex = [&](int j, float y) {
      const float x = -ring.cos[j], z = ring.sin[j];
      return velmora::AddVertex(cap, x, y, z, x / 2.0f + 0.5f, z / 2.0f + 0.5f, 0);
    };
    const int top_first = cap_vertex(0, 1), bottom_first = cap_vertex(0, -1);
    int top_prev = cap_vertex(1, 1), bottom_prev = cap_vertex(1, -1);
    for (int j = 2; j < s; ++j) {
      const int top_next = cap_vertex(j, 1), bottom_next = cap_vertex(j, -1);
      velmora::AddTriangle(cap, top_first, top_prev, top_next);
      velmora::AddTriangle(cap, bottom_next, bottom_prev, bottom_first);
      top_prev = top_next;
      bottom_prev = bottom_next;
    }
  }

  // Rings of s + 1 vertices; the last repeats the first position with u 0 (the seam).
  std::vector<int> top(s + 1), bottom(s + 1);
  for (int j = 0; j <= s; ++j) {
    top[j] = velmora::AddVertex(side, -ring.cos[j], 1, ring.sin[j], ColumnU(j, s), 0, 0);
  }
  for (int j = 0; j <= s; ++j) {
    bottom[j] = velmora::AddVertex(side, -ring.cos[j], -1, ring.sin[j], ColumnU(j, s), 1, 0);
  }
  for (int i = 1; i <= s; ++i) {
    velmora::AddTriangle(side, top[i], top[i - 1], bottom[i - 1]);
    velmora::AddTriangle(side, bottom[i], top[i], bottom[i - 1]);
  }
  mesh->UpdateNormals();
  return mesh;
}

MeshPtr TMesh::CreateCone(int segments, int solid, const EntityPtr& parent) {
  if (segments < kMinRoundSegments || segments > kMaxSegments) return nullptr;
  const int s = segments;
  const Ring ring(s);
  const float u_step = 1.0f / float(s);
  MeshPtr mesh = CreateMesh(parent);
  SurfacePtr side = mesh->CreateSurface(nullptr);
  SurfacePtr base = solid == 1 ? mesh->CreateSurface(nullptr) : nullptr;

  auto rim = [&](int j, float u) { return velmora::AddVertex(side, -ring.cos[j], -1, ring.sin[j], u, 1, 0); };
  auto base_vertex = [&](int j) {
    const float x = -ring.cos[j], z = ring.sin[j];
    return velmora::AddVertex(base, x, -1, z, x / 2.0f + 0.5f, z / 2.0f + 0.5f, 0);
  };

  // One tip vertex per segment, at the middle u of its segment.
  int tip = velmora::AddVertex(side, 0, 1, 0, ColumnU(0, s) - u_step / 2.0f, 0, 0);
  const int rim0 = rim(0, ColumnU(0, s));
  const int base0 = base ? base_vertex(0) : 0;
  int rim_prev = rim(1, ColumnU(1, s));
  int base_prev = base ? base_vertex(1) : 0;
  velmora::AddTriangle(side, rim_prev, tip, rim0);
  for (int j = 2; j <= s; ++j) {
    tip = velmora::AddVertex(side, 0, 1, 0, ColumnU(j - 1, s) - u_step / 2.0f, 0, 0);
    const int rim_next = rim(j, ColumnU(j, s));
    velmora::AddTriangle(side, rim_next, tip, rim_prev);
    rim_prev = rim_next;
    if (base) {
      // A fan round base0; the last corner lands on base0's own position (zero area).
      const int base_next = base_vertex(j);
      velmora::AddTriangle(base, base_next, base_prev, base0);
      base_prev = base_next;
    }
  }
  mesh->UpdateNormals();
  return mesh;
}
