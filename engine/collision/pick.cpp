// TPick: the pick front ends, the core walk over the world list with its three pick
// modes, the test of the triangles an octree chose, and the segment tests.
//
// Sections: front ends · core (the four- and eight-lane screens of a surface's triangles
// and of an octree's chosen ones) · segment tests.
//
// Comparisons in the segment tests are written so that NaN fails them: a segment or
// shape of no value hits nothing rather than reporting a hit at a NaN time.
#include "engine/collision/pick.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "engine/collision/entity_points.h"
#include "engine/collision/octree.h"
#include "engine/collision/polygon.h"
#include "engine/collision/sphere.h"
#include "engine/collision/triangle_reader.h"
#include "engine/math/lanes.h"
#include "engine/mesh/mesh.h"
#include "engine/mesh/surface.h"
#include "engine/scene/camera.h"
#include "engine/scene/entity.h"
#include "engine/scene/global.h"

// ---- Front ends -----------------------------------------------------------------------

namespace {
void ClearResult() {
  TPick::picked_ent.reset();
  TPick::picked_time = 1.0f;
}
}  // namespace

EntityPtr TPick::CameraPick(const TCamera* camera, float x, float y) {
  if (!camera) {
    ClearResult();
    return nullptr;
  }
  const double wy = double(float(TGlobal::height) - y);
  double ox = 0, oy = 0, oz = 0;
  bool ok = camera->CameraUnproject(x, wy, 0.0, ox, oy, oz);
  const TVector start = TVector::Create(float(ox), float(oy), float(-oz));
  ok = camera->CameraUnproject(x, wy, 1.0, ox, oy, oz) && ok;
  const TVector end = TVector::Create(float(ox), float(oy), float(-oz));
  if (!ok) {  // no segment to pick along: not the origin as a point, which might hit
    ClearResult();
    return nullptr;
  }
  return Pick(start, end, 0.0f);
}

EntityPtr TPick::EntityPick(const TEntity* entity, float range) {
  TEntity::TFormPoint(0, 0, 0, entity, nullptr);
  const TVector start = TVector::Create(TEntity::TFormedX(), TEntity::TFormedY(), TEntity::TFormedZ());
  TEntity::TFormPoint(0, 0, range, entity, nullptr);
  const TVector end = TVector::Create(TEntity::TFormedX(), TEntity::TFormedY(), TEntity::TFormedZ());
  return Pick(start, end, 0.0f);
}

EntityPtr TPick::LinePick(float x, float y, float z, float dx, float dy, float dz, float radius) {
  return Pick(TVector::Create(x, y, z), TVector::Create(x + dx, y + dy, z + dz), radius);
}

int TPick::EntityVisible(const TEntity* src, const TEntity* dest) {
  if (!src || !dest) return 0;
  const float x = picked_x, y = picked_y, z = picked_z;
  const float nx = picked_nx, ny = picked_ny, nz = picked_nz;
  const float time = picked_time;
  EntityPtr ent = picked_ent;
  SurfacePtr surface = picked_surface;
  const int triangle = picked_triangle;

  const bool hit = Pick(WorldPosition(*src), WorldPosition(*dest), 0.0f) != nullptr;

  picked_x = x, picked_y = y, picked_z = z;
  picked_nx = nx, picked_ny = ny, picked_nz = nz;
  picked_time = time;
  picked_ent = std::move(ent);
  picked_surface = std::move(surface);
  picked_triangle = triangle;
  return hit ? 0 : 1;
}

// ---- Core -----------------------------------------------------------------------------

namespace {

void AcceptPoint(TEntity& entity, const TVector& point, float nx, float ny, float nz, float t, float& best) {
  best = t;
  TPick::picked_x = point.x, TPick::picked_y = point.y, TPick::picked_z = point.z;
  TPick::picked_nx = nx, TPick::picked_ny = ny, TPick::picked_nz = nz;
  TPick::picked_time = t;
  TPick::picked_ent = entity.shared_from_this();
}

// A triangle hit in mesh space: point and normal go to world space.
void AcceptTriangle(TMesh& mesh, const SurfacePtr& surface, int triangle, const TVector& local_point, float t,
                    float& best) {
  best = t;
  TEntity::TFormPoint(local_point.x, local_point.y, local_point.z, &mesh, nullptr);
  TPick::picked_x = TEntity::TFormedX(), TPick::picked_y = TEntity::TFormedY(), TPick::picked_z = TEntity::TFormedZ();
  TEntity::TFormNormal(surface->TriangleNX(triangle), surface->TriangleNY(triangle), surface->TriangleNZ(triangle),
                       &mesh, nullptr);
  TPick::picked_nx = TEntity::TFormedX(), TPick::picked_ny = TEntity::TFormedY(), TPick::picked_nz = TEntity::TFormedZ();
  TPick::picked_time = t;
  TPick::picked_ent = mesh.shared_from_this();
  TPick::picked_surface = surface;
  TPick::picked_triangle = triangle;
}

void PickSphere(TEntity& e, const TVector& a, const TVector& b, float& best) {
  const TVector centre = WorldPosition(e);
  float t;
  TVector point;
  if (!TPick::IntersectSegmentSphere(a, b, centre, e.radius_x, t, point) || !(t <= best)) return;
  TVector n = point.Subtract(centre);
  if (n.SquaredLength() == 0.0f) n = a.Subtract(b);  // hit at the centre: face the start
  n.Normalize();
  AcceptPoint(e, point, n.x, n.y, n.z, t, best);
}

void PickBox(TEntity& e, const TVector& a, const TVector& b, float& best) {
  const float min_x = e.box_x + e.EntityX(1), min_y = e.box_y + e.EntityY(1), min_z = e.box_z + e.EntityZ(1);
  float t;
  TVector p;
  if (!TPick::IntersectSegmentAABB(a, b, min_x, min_y, min_z, e.box_w, e.box_h, e.box_d, t, p) || !(t <= best))
    return;
  // The face nearest the hit point; among equally near faces the later one.
  const float d[6] = {std::fabs(min_x - p.x), std::fabs(min_x + e.box_w - p.x),
                      std::fabs(min_y - p.y), std::fabs(min_y + e.box_h - p.y),
                      std::fabs(min_z - p.z), std::fabs(min_z + e.box_d - p.z)};
  static constexpr float kFaceNormals[6][3] = {{-1, 0, 0}, {1, 0, 0}, {0, -1, 0}, {0, 1, 0}, {0, 0, -1}, {0, 0, 1}};
  int face = 5;
  for (int i = 4; i >= 0; --i)
    if (d[i] < d[face]) face = i;
  AcceptPoint(e, p, kFaceNormals[face][0], kFaceNormals[face][1], kFaceNormals[face][2], t, best);
}

// The segment test's hit mask for four triangles (corners p, q, r per lane, public
// coordinates): a bit per lane that hits.
[[gnu::always_inline]] inline int ScreenTriangles(const TVector& a, const TVector& b, const Lanes& px,
                                                  const Lanes& py, const Lanes& pz, const Lanes& qx, const Lanes& qy,
                                                  const Lanes& qz, const Lanes& rx, const Lanes& ry, const Lanes& rz) {
  return LaneBits(SegmentMeetsTriangle(a, b, px, py, pz, qx, qy, qz, rx, ry, rz).hit);
}

// Four points given as (x, y, z, any) vectors, one per lane, turned into x, y and z lanes.
void Transpose(const Lanes& v0, const Lanes& v1, const Lanes& v2, const Lanes& v3, Lanes& x, Lanes& y, Lanes& z) {
  const Lanes low01 = __builtin_shufflevector(v0, v1, 0, 4, 1, 5);   // x0 x1 y0 y1
  const Lanes low23 = __builtin_shufflevector(v2, v3, 0, 4, 1, 5);   // x2 x3 y2 y3
  const Lanes high01 = __builtin_shufflevector(v0, v1, 2, 6, 3, 7);  // z0 z1 . .
  const Lanes high23 = __builtin_shufflevector(v2, v3, 2, 6, 3, 7);  // z2 z3 . .
  x = __builtin_shufflevector(low01, low23, 0, 1, 4, 5);
  y = __builtin_shufflevector(low01, low23, 2, 3, 6, 7);
  z = __builtin_shufflevector(high01, high23, 0, 1, 4, 5);
}

// ScreenTriangles for four triangles given by their corners' 16-byte reads (corner(l, i),
// the float after a corner ignored).
template <typename Corner>
[[gnu::always_inline]] inline int ScreenFourAt(const TVector& a, const TVector& b, Corner&& corner, bool negate_z) {
  Lanes c[9];
  for (int i = 0; i < 3; ++i) {
    Transpose(LoadLanes(corner(0, i)), LoadLanes(corner(1, i)), LoadLanes(corner(2, i)), LoadLanes(corner(3, i)),
              c[3 * i], c[3 * i + 1], c[3 * i + 2]);
    if (negate_z) c[3 * i + 2] = -c[3 * i + 2];
  }
  return ScreenTriangles(a, b, c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7], c[8]);
}

// Screens triangles first..first+3 (WideFour), corners straight from the arrays (the
// stored z is the public one negated).
int ScreenDirect(const TTriangleReader& triangles, int first, const TVector& a, const TVector& b) {
  return ScreenFourAt(
      a, b, [&](int l, int i) { return triangles.StoredCorner(first + l, i); }, true);
}

// Screens up to four triangles from first on through the accessors' reading; missing
// lanes get corners of no area, which never hit.
int ScreenRead(const TTriangleReader& triangles, int first, int count, const TVector& a, const TVector& b) {
  TVector p[kLanes], q[kLanes], r[kLanes];
  for (int l = 0; l < kLanes && first + l < count; ++l) triangles.Corners(first + l, p[l], q[l], r[l]);
  auto lanes = [](const TVector (&v)[kLanes], float TVector::*axis) {
    return Lanes{v[0].*axis, v[1].*axis, v[2].*axis, v[3].*axis};
  };
  return ScreenTriangles(a, b, lanes(p, &TVector::x), lanes(p, &TVector::y), lanes(p, &TVector::z),
                         lanes(q, &TVector::x), lanes(q, &TVector::y), lanes(q, &TVector::z), lanes(r, &TVector::x),
                         lanes(r, &TVector::y), lanes(r, &TVector::z));
}

// Screens triangles first..first+3 (fewer at the end), from the arrays where it can.
[[gnu::always_inline]] inline int ScreenFour(const TTriangleReader& triangles, int first, int count, const TVector& a,
                                             const TVector& b) {
  return first + kLanes <= count && triangles.WideFour(first) ? ScreenDirect(triangles, first, a, b)
                                                               : ScreenRead(triangles, first, count, a, b);
}

// Screens up to four of the table's triangles numbers[first..] (lanes past the end repeat
// the last one): a bit per lane that may hit. Each corner is read as 16 bytes: the corner
// and the float after it, still inside the piece (the last corner is followed by
// `triangle`).
int ScreenChosenFour(const TPolygonPiece* whole, const uint32_t* numbers, size_t count, size_t first,
                     const TVector& a, const TVector& b) {
  const size_t last = count - 1;
  return ScreenFourAt(
      a, b, [&](int l, int i) { return &whole[numbers[std::min(first + size_t(l), last)]].vertices[i]; }, false);
}

// The screens by block size: four lanes everywhere, eight where the processor has
// 32-byte registers, one (no screen) when a test asks for it; see AtLaneWidth.
template <int Block>
struct Screens;

template <>
struct Screens<kLanes> {
  [[gnu::always_inline]] static int Triangles(const TTriangleReader& triangles, int first, int count, const TVector& a,
                                              const TVector& b) {
    return ScreenFour(triangles, first, count, a, b);
  }
  [[gnu::always_inline]] static int Chosen(const TPolygonPiece* whole, const uint32_t* numbers, size_t count,
                                           size_t first, const TVector& a, const TVector& b) {
    return ScreenChosenFour(whole, numbers, count, first, a, b);
  }
};

// Eight points given as (x, y, z, any) vectors, points l and l + 4 sharing w[l], turned
// into x, y and z lanes: the four-lane transpose on both halves.
VELMORA_EIGHT_LANE_TARGET inline void TransposeEight(const EightLanes (&w)[4], EightLanes& x, EightLanes& y,
                                                     EightLanes& z) {
  const EightLanes low01 = __builtin_shufflevector(w[0], w[1], 0, 8, 1, 9, 4, 12, 5, 13);
  const EightLanes low23 = __builtin_shufflevector(w[2], w[3], 0, 8, 1, 9, 4, 12, 5, 13);
  const EightLanes high01 = __builtin_shufflevector(w[0], w[1], 2, 10, 3, 11, 6, 14, 7, 15);
  const EightLanes high23 = __builtin_shufflevector(w[2], w[3], 2, 10, 3, 11, 6, 14, 7, 15);
  x = __builtin_shufflevector(low01, low23, 0, 1, 8, 9, 4, 5, 12, 13);
  y = __builtin_shufflevector(low01, low23, 2, 3, 10, 11, 6, 7, 14, 15);
  z = __builtin_shufflevector(high01, high23, 0, 1, 8, 9, 4, 5, 12, 13);
}

// The segment test's hit mask for eight triangles given by their corners' 16-byte reads
// (corner(l, i)): a bit per lane that may hit.
template <typename Corner>
VELMORA_EIGHT_LANE_TARGET [[gnu::always_inline]] inline int ScreenEight(const TVector& a, const TVector& b,
                                                                        Corner&& corner, bool negate_z) {
  EightLanes c[9];
#pragma GCC unroll 3
  for (int i = 0; i < 3; ++i) {
    EightLanes w[4];
#pragma GCC unroll 4
    for (int l = 0; l < 4; ++l) JoinLanes(LoadLanes(corner(l, i)), LoadLanes(corner(l + 4, i)), w[l]);
    TransposeEight(w, c[3 * i], c[3 * i + 1], c[3 * i + 2]);
    if (negate_z) c[3 * i + 2] = -c[3 * i + 2];
  }
  return EightLaneBits(SegmentMeetsTriangle(a, b, c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7], c[8]).hit);
}

template <>
struct Screens<kEightLanes> {
  // Triangles first..first+7, corners straight from the arrays when both halves are
  // WideFour (the stored z is the public one negated), else as two fours.
  // Not always_inline: a four-lane caller may not inline it; the eight-lane loop does.
  VELMORA_EIGHT_LANE_TARGET static int Triangles(const TTriangleReader& triangles, int first, int count,
                                                 const TVector& a, const TVector& b) {
    if (first + kEightLanes <= count && triangles.WideFour(first) && triangles.WideFour(first + kLanes)) {
      return ScreenEight(
          a, b, [&](int l, int i) { return triangles.StoredCorner(first + l, i); }, true);
    }
    int hits = ScreenFour(triangles, first, count, a, b);
    if (first + kLanes < count) hits |= ScreenFour(triangles, first + kLanes, count, a, b) << kLanes;
    return hits;
  }
  // The table's triangles numbers[first..first+7] (lanes past the end repeat the last).
  VELMORA_EIGHT_LANE_TARGET static int Chosen(const TPolygonPiece* whole, const uint32_t* numbers, size_t count,
                                              size_t first, const TVector& a, const TVector& b) {
    const size_t last = count - 1;
    return ScreenEight(
        a, b, [&](int l, int i) { return &whole[numbers[std::min(first + size_t(l), last)]].vertices[i]; }, false);
  }
};

// No screen, one triangle per step: each goes straight to the scalar test.
template <>
struct Screens<1> {
  static int Triangles(const TTriangleReader&, int, int, const TVector&, const TVector&) { return 1; }
  static int Chosen(const TPolygonPiece*, const uint32_t*, size_t, size_t, const TVector&, const TVector&) {
    return 1;
  }
};

// Every triangle of the surface against la-lb (mesh space), in order; a triangle that
// the screen passes goes through the scalar test for its time and weights. Block is the
// number of triangles screened per step.
template <int Block>
[[gnu::always_inline]] inline void PickSurfaceIn(TMesh& mesh, const SurfacePtr& surface, const TVector& la,
                                                 const TVector& lb, float& best) {
  const TTriangleReader triangles(*surface);
  const TVector a = la, b = lb;  // copies the loop can keep in registers across the accept call
  const int count = triangles.Count();
  for (int first = 0; first < count; first += Block) {
    int hits = Screens<Block>::Triangles(triangles, first, count, a, b);
    for (int k = first; hits; ++k, hits >>= 1) {
      if (!(hits & 1)) continue;
      TVector p, q, r;
      triangles.Corners(k, p, q, r);
      float u, v, w, t;
      if (!TPick::IntersectSegmentTriangle(a, b, p, q, r, u, v, w, t) || !(t <= best)) continue;
      AcceptTriangle(mesh, surface, k, p.Multiply(u).Add(q.Multiply(v)).Add(r.Multiply(w)), t, best);
    }
  }
}

// The table's numbered triangles against a-b (mesh space), as PickSurfaceIn tests them,
// into the choice.
template <int Block>
[[gnu::always_inline]] inline void PickChosenIn(const TVector& a, const TVector& b, const TOctreeTriangles& triangles,
                                                std::span<const uint32_t> numbers, TTriangleChoice& choice) {
  const TVector sa = a, sb = b;
  const TPolygonPiece* whole = triangles.whole.data();
  const uint32_t* at = numbers.data();
  const size_t count = numbers.size();
  for (size_t first = 0; first < count; first += Block) {
    int hits = Screens<Block>::Chosen(whole, at, count, first, sa, sb);
    for (size_t k = first; hits; ++k, hits >>= 1) {
      if (!(hits & 1) || k >= count) continue;
      const TPolygonPiece& triangle = whole[at[k]];
      const TVector& p = triangle.vertices[0];
      const TVector& q = triangle.vertices[1];
      const TVector& r = triangle.vertices[2];
      float u, v, w, t;
      if (!TPick::IntersectSegmentTriangle(sa, sb, p, q, r, u, v, w, t)) continue;
      if (!(t < choice.time || (t == choice.time && (!choice.found || at[k] > choice.number)))) continue;
      choice.found = true;
      choice.time = t;
      choice.number = at[k];
      choice.point = p.Multiply(u).Add(q.Multiply(v)).Add(r.Multiply(w));
    }
  }
}

void PickSurface(TMesh& mesh, const SurfacePtr& surface, const TVector& la, const TVector& lb, float& best) {
  AtLaneWidth([&]<int Block>() __attribute__((always_inline)) { PickSurfaceIn<Block>(mesh, surface, la, lb, best); });
}

void PickMesh(TMesh& mesh, const TVector& a, const TVector& b, float& best) {
  const TOctree* tree = mesh.octree.get();
  // The walk over every triangle asks the mesh's bounding sphere first. Drawn from the
  // mesh's bounds, it holds every triangle, and a tree whose cells hold its triangles goes
  // without it, so that it still meets its triangles where they were built after the
  // mesh has changed. A sphere fixed by MeshCullRadius may leave triangles out, and a tree
  // whose cells cannot hold its triangles (corners not finite, or outside the root)
  // promises nothing: then the tree answers exactly as the walk does, sphere and all.
  const TOctreeTriangles* table = tree ? tree->Triangles() : nullptr;
  if (!table || !table->cells_hold_triangles || mesh.cull_radius < 0) {
    // Bounds refreshed first: a mesh that has never been drawn would otherwise be tested
    // against a sphere of radius 0 and never be picked.
    mesh.GetBounds();
    const TSphere sphere = mesh.BoundingSphere();
    float t;
    TVector point;
    if (!TPick::IntersectSegmentSphere(a, b, sphere.centre, sphere.radius, t, point)) return;
  }
  const TVector la = IntoMesh(a, mesh), lb = IntoMesh(b, mesh);
  if (tree) {
    float best_box_time = 1.0f;
    tree->OctPick(la, lb, mesh, best, best_box_time);
    return;
  }
  for (const SurfacePtr& surface : *mesh.surfaces) PickSurface(mesh, surface, la, lb, best);
}

}  // namespace

EntityPtr TPick::Pick(const TVector& a, const TVector& b, float /*radius*/) {
  ClearResult();
  float best = 1.0f;
  for (const EntityPtr& entity : TEntity::entity_list) {
    TEntity& e = *entity;
    if (e.pick_mode == kPickNone || e.EntityHidden()) continue;
    switch (e.pick_mode) {
      case kPickSphere:
        PickSphere(e, a, b, best);
        break;
      case kPickPolygons:
        if (TMesh* mesh = e.AsMesh()) PickMesh(*mesh, a, b, best);
        break;
      case kPickBox:
        PickBox(e, a, b, best);
        break;
      default:
        break;
    }
  }
  return picked_ent;
}

int TPick::PickPolys(const TVector& a, const TVector& b, const TLeafPolygons& polygons, TMesh& mesh, float& best) {
  if (polygons.pieces.empty() || !polygons.Triangles()) return 0;
  const TOctreeTriangles& triangles = *polygons.Triangles();
  TTriangleChoice choice;
  choice.time = best;
  PickTriangles(a, b, triangles, triangles.ChooseLeaf(polygons), choice);
  if (!choice.found) return 0;
  TakeChoice(mesh, triangles, choice, best);
  return 1;
}

void TPick::PickTriangles(const TVector& a, const TVector& b, const TOctreeTriangles& triangles,
                          std::span<const uint32_t> numbers, TTriangleChoice& choice) {
  if (numbers.empty()) return;
  AtLaneWidth([&]<int Block>() __attribute__((always_inline)) {
    PickChosenIn<Block>(a, b, triangles, numbers, choice);
  });
}

void TPick::TakeChoice(TMesh& mesh, const TOctreeTriangles& triangles, const TTriangleChoice& choice, float& best) {
  const TPolygonPiece& triangle = triangles.whole[choice.number];
  AcceptTriangle(mesh, (*triangles.surfaces)[triangle.surface], triangle.triangle, choice.point, choice.time, best);
}

// ---- Segment tests ----------------------------------------------------------------------

int TPick::IntersectSegmentSphere(const TVector& a, const TVector& b, const TVector& centre, float radius, float& t,
                                  TVector& point) {
  const TVector ab = b.Subtract(a);
  const float len = ab.Length();
  const TVector m = a.Subtract(centre);
  const float gamma = m.Dot(m) - radius * radius;
  if (len == 0.0f) {  // a point: inside or not
    if (!(gamma <= 0.0f)) return 0;
    t = 0.0f;
    point = a;
    return 1;
  }
  const TVector dir = ab.Divide(len);
  const float beta = m.Dot(dir);
  if (gamma > 0.0f && beta > 0.0f) return 0;  // outside and moving away
  const float disc = beta * beta - gamma;
  if (!(disc >= 0.0f)) return 0;
  float along = -beta - std::sqrt(disc);
  if (along < 0.0f) along = 0.0f;  // starts inside: hit at the start
  if (!(along <= len)) return 0;
  point = a.Add(dir.Multiply(along));
  t = along / len;
  return 1;
}

TSegmentBoxTest::TSegmentBoxTest(const TVector& a, const TVector& b)
    : start_{a.x, a.y, a.z}, len_(b.Subtract(a).Length()) {
  if (len_ == 0.0f) return;  // a point: dir_ stays zero, Hit tests containment
  dir_ = b.Subtract(a).Divide(len_);
  const float dir[3] = {dir_.x, dir_.y, dir_.z};
  for (int i = 0; i < 3; ++i) inv_dir_[i] = dir[i] == 0.0f ? 0.0f : 1.0f / dir[i];
}

int TPick::IntersectSegmentAABB(const TVector& a, const TVector& b, float min_x, float min_y, float min_z,
                                float width, float height, float depth, float& t, TVector& point) {
  const TSegmentBoxTest segment(a, b);
  float along;
  if (!segment.Hit(min_x, min_y, min_z, width, height, depth, t, along)) return 0;
  point = segment.IsPoint() ? a : a.Add(segment.Direction().Multiply(along));
  return 1;
}
