// Whole-mesh geometry: merging and copying surfaces, winding, painting, fitting into a
// box, matrix transforms of positions and normals, and smooth normals welded by position.
//
// Sections: merging (AddMesh, CopyMesh) · winding and paint · fitting and transforms ·
// normals (UpdateNormals, WeldNormals).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "engine/math/vector.h"
#include "engine/mesh/brush.h"
#include "engine/mesh/mesh.h"
#include "engine/mesh/mesh_normals.h"
#include "engine/mesh/surface.h"

namespace {

// 16-bit corners address this many vertices; a merge never grows a surface past it.
constexpr int kMaxSurfaceVertices = kMaxVertexIndex + 1;

// Where FitMesh's vertex scan starts on every axis.
constexpr float kFitScanStart = 1410065408.0f;

// One vertex slot of a stored array, copied bit for bit; a source array filled in short
// of its count reads as zeros, as the accessors would.
void CopySlot(const std::vector<float>& from, int i, std::vector<float>& to, int j, std::size_t stride) {
  const std::size_t src = std::size_t(i) * stride, dst = std::size_t(j) * stride;
  if (dst + stride > to.size()) return;
  for (std::size_t k = 0; k < stride; ++k) to[dst + k] = src + stride <= from.size() ? from[src + k] : 0.0f;
}

// Appends vertex i of src to dst with every attribute unchanged. The stored normal,
// colour and second uv set are copied directly: the public colour accessors scale by
// 255 and back, which can move the last bit. src may be dst itself.
void CopyVertex(const TSurface& src, int i, TSurface& dst) {
  const int j = dst.AddVertex(src.VertexX(i), src.VertexY(i), src.VertexZ(i), src.VertexU(i, 0),
                              src.VertexV(i, 0), 0);
  CopySlot(src.vertex_normals, i, dst.vertex_normals, j, 3);
  CopySlot(src.vertex_colours, i, dst.vertex_colours, j, 4);
  CopySlot(src.vertex_uv1, i, dst.vertex_uv1, j, 2);
}

std::vector<SurfacePtr> SurfacesOf(const TMesh& mesh) {
  std::vector<SurfacePtr> list;
  for (const SurfacePtr& s : *mesh.surfaces) list.push_back(s);
  return list;
}

}  // namespace

// ---- Merging --------------------------------------------------------------------------

void TMesh::AddMesh(const MeshPtr& mesh2) const {
  if (!mesh2) return;
  // Both lists are taken before anything is added: surfaces made by this call are never
  // merge targets, and merging a mesh into itself copies each surface once.
  const std::vector<SurfacePtr> sources = SurfacesOf(*this);
  const std::vector<SurfacePtr> targets = SurfacesOf(*mesh2);
  for (const SurfacePtr& s1 : sources) {
    const int vertices = s1->CountVertices();
    const int triangles = s1->CountTriangles();
    // The first surface with an equal brush and room for every vertex; a full one would
    // need corners past the 16-bit ceiling, so the geometry starts a surface of its own.
    SurfacePtr s2;
    for (const SurfacePtr& t : targets) {
      if (TBrush::CompareBrushes(s1->brush, t->brush) == 1 &&
          t->CountVertices() + vertices <= kMaxSurfaceVertices) {
        s2 = t;
        break;
      }
    }
    int offset = 0;
    if (s2) {
      offset = s2->CountVertices();
    } else {
      s2 = mesh2->CreateSurface(nullptr);
      if (s1->brush) s2->brush = s1->brush->Copy();
    }
    for (int v = 0; v < vertices; ++v) CopyVertex(*s1, v, *s2);
    for (int t = 0; t < triangles; ++t) {
      s2->AddTriangle(s1->TriangleVertex(t, 0) + offset, s1->TriangleVertex(t, 1) + offset,
                      s1->TriangleVertex(t, 2) + offset);
    }
  }
  mesh2->bounds_stale = 1;
}

MeshPtr TMesh::CopyMesh(const EntityPtr& parent) const {
  MeshPtr copy = CreateMesh(parent);
  AddMesh(copy);
  return copy;
}

// ---- Winding and paint ------------------------------------------------------------------

void TMesh::FlipMesh() {
  for (const SurfacePtr& s : *surfaces) {
    const std::size_t n = std::min(std::size_t(std::max(s->triangle_count, 0)), s->triangle_indices.size() / 3);
    for (std::size_t t = 0; t < n; ++t) std::swap(s->triangle_indices[3 * t], s->triangle_indices[3 * t + 2]);
  }
}

void TMesh::PaintMesh(const BrushPtr& paint) {
  if (!paint) return;
  const TBrush source = *paint;  // the brush may be one of the surfaces' own
  for (const SurfacePtr& s : *surfaces) {
    if (!s->brush) s->brush = std::make_shared<TBrush>();
    TBrush& b = *s->brush;  // in place: every holder of a shared brush sees the paint
    b.layer_count = source.layer_count;
    b.name = source.name;
    b.red = source.red, b.green = source.green, b.blue = source.blue;
    b.alpha = source.alpha;
    b.shininess = source.shininess;
    b.blend = source.blend;
    b.fx = source.fx;
    b.textures = source.textures;
  }
}

// ---- Fitting and transforms -----------------------------------------------------------

void TMesh::FitMesh(float x, float y, float z, float width, float height, float depth, int uniform) {
  const float extent[3] = {MeshWidth(), MeshHeight(), MeshDepth()};
  const float origin[3] = {x, y, z};
  const float size[3] = {width, height, depth};
  const float ratio[3] = {extent[0] / width, extent[1] / height, extent[2] / depth};

  float lo[3] = {kFitScanStart, kFitScanStart, kFitScanStart};
  float hi[3] = {-kFitScanStart, -kFitScanStart, -kFitScanStart};
  for (const SurfacePtr& s : *surfaces) {
    for (int v = 0; v < s->CountVertices(); ++v) {
      const float p[3] = {s->VertexX(v), s->VertexY(v), s->VertexZ(v)};
      for (int a = 0; a < 3; ++a) {
        if (p[a] < lo[a]) lo[a] = p[a];
        if (p[a] > hi[a]) hi[a] = p[a];
      }
    }
  }

  // Which axis's minimum, range and size each axis is mapped with: its own, or in
  // uniform mode the governing axis's (x wins every tie, y wins a tie with z).
  int from[3] = {0, 1, 2};
  if (uniform == 1) {
    const int g = (ratio[0] >= ratio[1] && ratio[0] >= ratio[2]) ? 0 : ratio[1] < ratio[2] ? 2 : 1;
    from[0] = from[1] = from[2] = g;
  }

  // Normals scale by the ratios (the inverse of the position scale). A flat axis was not
  // scaled, so its factor is 1. A zero size squashes its axis flat: the ratio is
  // infinite, and the normals take the limit direction, along the squashed axes only.
  float factor[3];
  bool squashed = false;
  for (int a = 0; a < 3; ++a) {
    factor[a] = extent[a] == 0.0f ? 1.0f : ratio[a];
    if (!std::isfinite(factor[a])) squashed = true;
  }
  if (squashed) {
    for (float& f : factor) f = std::isfinite(f) ? 0.0f : std::signbit(f) ? -1.0f : 1.0f;
  }

  for (const SurfacePtr& s : *surfaces) {
    for (int v = 0; v < s->CountVertices(); ++v) {
      const float p[3] = {s->VertexX(v), s->VertexY(v), s->VertexZ(v)};
      float q[3];
      for (int a = 0; a < 3; ++a) {
        const int m = from[a];
        const float range = hi[m] - lo[m];
        // A flat mapped axis has no range to divide by: it sits in the middle of its span.
        q[a] = range != 0.0f ? origin[a] + (p[a] - lo[m]) / range * size[m]
                             : origin[a] + (p[a] - lo[m]) + size[m] / 2.0f;
      }
      s->VertexCoords(v, q[0], q[1], q[2]);
      s->VertexNormal(v, s->VertexNX(v) * factor[0], s->VertexNY(v) * factor[1], s->VertexNZ(v) * factor[2]);
    }
  }
  bounds_stale = 1;
}

void TMesh::ScaleMesh(float x, float y, float z) {
  TMatrix m;
  m.LoadIdentity();
  m.Scale(x, y, z);
  TransformMesh(m);
  bounds_stale = 1;
}

void TMesh::RotateMesh(float pitch, float yaw, float roll) {
  TMatrix m;
  m.LoadIdentity();
  m.Rotate(-pitch, yaw, roll);  // the matrix works in the stored convention
  TransformMesh(m);
  bounds_stale = 1;
}

void TMesh::PositionMesh(float x, float y, float z) {
  TMatrix m;
  m.LoadIdentity();
  m.Translate(x, y, -z);
  TransformMesh(m);
  bounds_stale = 1;
}

void TMesh::TransformMesh(const TMatrix& mat) {
  const auto& g = mat.grid;
  for (const SurfacePtr& s : *surfaces) {
    for (int v = 0; v < s->CountVertices(); ++v) {
      // Stored-space point and direction.
      const float x = s->VertexX(v), y = s->VertexY(v), z = -s->VertexZ(v);
      const TVector p = TransformPoint(mat, x, y, z);
      s->VertexCoords(v, p.x, p.y, -p.z);
      const float nx = s->VertexNX(v), ny = s->VertexNY(v), nz = -s->VertexNZ(v);
      s->VertexNormal(v, g[0][0] * nx + g[1][0] * ny + g[2][0] * nz,
                      g[0][1] * nx + g[1][1] * ny + g[2][1] * nz,
                      -(g[0][2] * nx + g[1][2] * ny + g[2][2] * nz));
    }
  }
}

// ---- Normals ----------------------------------------------------------------------------

namespace {

// One 32-bit key per coordinate: equal keys exactly when the floats compare equal. Only
// finite values come here; adding +0 turns -0 into +0 and leaves every other value.
uint32_t WeldKey(float f) {
  const float g = f + 0.0f;
  uint32_t bits;
  std::memcpy(&bits, &g, 4);
  return bits;
}

struct WeldPoint {
  uint32_t key[3];
  bool operator==(const WeldPoint& o) const { return key[0] == o.key[0] && key[1] == o.key[1] && key[2] == o.key[2]; }
  bool operator<(const WeldPoint& o) const {
    if (key[0] != o.key[0]) return key[0] < o.key[0];
    if (key[1] != o.key[1]) return key[1] < o.key[1];
    return key[2] < o.key[2];
  }
};

// Multiplicative hashing: the top `bits` bits of the mixed keys.
uint32_t WeldHash(const WeldPoint& p, int bits) {
  const uint32_t h = (p.key[0] ^ p.key[1] * 0x9E3779B1u ^ p.key[2] * 0x85EBCA77u) * 0xC2B2AE3Du;
  return h >> (32 - bits);
}

// A vertex slot of the group: its stored position and the first slot at an equal
// position (-1: a position that is not finite, which takes no part, since no exact
// order or equality holds for it). One 16-byte record, so that a triangle corner is
// one load.
struct WeldVertex {
  float x, y, z;
  int32_t first;
  bool SamePlace(const WeldVertex& o) const { return x == o.x && y == o.y && z == o.z; }  // -0 == +0
  WeldPoint Point() const { return {{WeldKey(x), WeldKey(y), WeldKey(z)}}; }
};

// A normal being summed, in four lanes so each add is one vector add; the fourth says
// whether the sum became a normal.
struct alignas(16) WeldSum {
  float x, y, z, normal;
};

// Scales the sum to unit length, the length computed in double and the factor rounded
// to float. A position no triangle touched sums to zero and, like one whose faces are
// all degenerate (or cancel), has no direction to give: its vertices keep the normals
// they had rather than take NaNs.
void Normalise(WeldSum& v) {
  const double length = std::sqrt(double(v.x) * v.x + double(v.y) * v.y + double(v.z) * v.z);
  if (!(length > 0.0)) return;
  const float k = float(1.0 / length);
  if (!std::isfinite(k)) return;
  v.x *= k;
  v.y *= k;
  v.z *= k;
  v.normal = 1;
}

// Scratch arrays kept between the surfaces of one UpdateNormals.
struct WeldScratch {
  std::vector<WeldVertex> vertices;
  std::vector<int32_t> table;  // hash table of slots
  std::vector<std::pair<WeldPoint, int32_t>> sorted;
  std::vector<WeldSum> sums;   // per first slot
};

// Names each slot's first slot at an equal position, by hashing. Crafted positions
// could make every slot collide: past a probe allowance linear in the slots, sorting
// takes over, which gives the same first slots in n log n whatever they are.
void FindWelds(WeldScratch& w) {
  const size_t n = w.vertices.size();
  int bits = 4;
  while ((size_t(1) << bits) < 3 * n) ++bits;
  const size_t mask = (size_t(1) << bits) - 1;
  w.table.assign(mask + 1, -1);
  size_t probes = 0;
  const size_t allowance = 16 * n + 64;
  bool flooded = false;
  for (size_t i = 0; i < n && !flooded; ++i) {
    WeldVertex& v = w.vertices[i];
    if (v.first < 0) continue;
    for (size_t at = WeldHash(v.Point(), bits);; at = (at + 1) & mask) {
      if (++probes > allowance) {
        flooded = true;
        break;
      }
      const int32_t t = w.table[at];
      if (t < 0) {
        w.table[at] = int32_t(i);
        v.first = int32_t(i);
        break;
      }
      if (w.vertices[size_t(t)].SamePlace(v)) {
        v.first = t;
        break;
      }
    }
  }
  if (!flooded) return;
  w.sorted.clear();
  for (size_t i = 0; i < n; ++i)
    if (w.vertices[i].first >= 0) w.sorted.emplace_back(w.vertices[i].Point(), int32_t(i));
  std::sort(w.sorted.begin(), w.sorted.end(), [](const auto& a, const auto& b) {
    return a.first < b.first || (a.first == b.first && a.second < b.second);
  });
  for (size_t k = 0; k < w.sorted.size(); ++k) {
    const bool first = k == 0 || !(w.sorted[k - 1].first == w.sorted[k].first);
    const int32_t slot = w.sorted[k].second;
    w.vertices[size_t(slot)].first = first ? slot : w.vertices[size_t(w.sorted[k - 1].second)].first;
  }
}

// Vertices of a surface with a position to weld: within the count and the array.
int WeldSlots(const TSurface& s) {
  return std::max(0, std::min(s.vertex_count, int(s.vertex_positions.size() / 3)));
}

void Weld(const std::vector<TSurface*>& group, WeldScratch& w) {
  size_t total = 0;
  for (const TSurface* s : group) total += size_t(WeldSlots(*s));
  w.vertices.clear();
  w.vertices.reserve(total);
  for (const TSurface* s : group) {
    const float* q = s->vertex_positions.data();
    for (int v = 0, n = WeldSlots(*s); v < n; ++v, q += 3) {
      const bool finite = std::isfinite(q[0]) && std::isfinite(q[1]) && std::isfinite(q[2]);
      w.vertices.push_back({q[0], q[1], q[2], finite ? 0 : -1});
    }
  }
  FindWelds(w);
  const size_t slots = w.vertices.size();

  // Face normals summed per position in triangle order, as the ordered map summed them,
  // so every sum is the same float.
  w.sums.assign(slots, WeldSum{0, 0, 0, 0});
  size_t base = 0;
  for (const TSurface* s : group) {
    const int count = WeldSlots(*s);
    const WeldVertex* vertices = w.vertices.data() + base;
    const std::size_t n = std::min(std::size_t(std::max(s->triangle_count, 0)), s->triangle_indices.size() / 3);
    const uint16_t* corner = s->triangle_indices.data();
    for (std::size_t t = 0; t < n; ++t, corner += 3) {
      if (corner[0] >= count || corner[1] >= count || corner[2] >= count) continue;  // past the table
      const WeldVertex& c0 = vertices[corner[0]];
      const WeldVertex& c1 = vertices[corner[1]];
      const WeldVertex& c2 = vertices[corner[2]];
      if ((c0.first | c1.first | c2.first) < 0) continue;  // a corner without a position
      const TVector p0{c0.x, c0.y, c0.z}, p1{c1.x, c1.y, c1.z}, p2{c2.x, c2.y, c2.z};
      const TVector face = p1.Subtract(p0).Cross(p2.Subtract(p1));
      WeldSum& s0 = w.sums[size_t(c0.first)];
      s0.x += face.x, s0.y += face.y, s0.z += face.z;
      WeldSum& s1 = w.sums[size_t(c1.first)];
      s1.x += face.x, s1.y += face.y, s1.z += face.z;
      WeldSum& s2 = w.sums[size_t(c2.first)];
      s2.x += face.x, s2.y += face.y, s2.z += face.z;
    }
    base += size_t(count);
  }

  // One pass normalises each position's sum at its first slot and writes it into every
  // vertex there: a first slot never comes after the slots that name it.
  base = 0;
  for (TSurface* s : group) {
    const int count = WeldSlots(*s);
    const int n = std::min(count, int(s->vertex_normals.size() / 3));
    for (int v = 0; v < count; ++v) {
      const size_t slot = base + size_t(v);
      const int32_t first = w.vertices[slot].first;
      if (first < 0) continue;
      WeldSum& sum = w.sums[size_t(first)];
      if (size_t(first) == slot) Normalise(sum);
      if (v >= n || sum.normal == 0) continue;
      float* normal = &s->vertex_normals[std::size_t(v) * 3];
      normal[0] = sum.x;
      normal[1] = sum.y;
      normal[2] = sum.z;
    }
    base += size_t(count);
  }
}

}  // namespace

void TMesh::UpdateNormals() {
  WeldScratch scratch;
  std::vector<TSurface*> one(1);
  for (const SurfacePtr& s : *surfaces) {
    one[0] = s.get();
    Weld(one, scratch);
  }
}

// Equal stored positions are found by hashing their exact bits, in time linear in the
// vertices and triangles; the sums and normals are those an ordered map of positions
// would give, bit for bit.
void WeldNormals(const std::vector<TSurface*>& group) {
  WeldScratch scratch;
  Weld(group, scratch);
}
