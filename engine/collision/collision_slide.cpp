// The collide-and-slide sweep: the slide passes, the impact record, gathering triangles
// (all of the mesh, or the octree cells the sweep box meets) and the swept unit sphere
// against one triangle with its root finder and point-in-triangle test.
//
// Sections: helpers (impacts, unit-sphere scaling, mesh to world, prepared triangles and
// the cache that keeps them across passes) · the slide · gathering triangles · one
// triangle.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <vector>
#include <utility>

#include "engine/collision/collision.h"
#include "engine/collision/lanes.h"
#include "engine/collision/octree.h"
#include "engine/collision/plane.h"
#include "engine/collision/polygon.h"
#include "engine/collision/triangle_reader.h"
#include "engine/mesh/mesh.h"
#include "engine/mesh/surface.h"
#include "engine/scene/entity.h"

namespace {

// Points into unit-sphere space: each axis divided by the divisor's. Dividing by a power of two equals
// multiplying by its reciprocal exactly (both round the same real once), so such axes,
// radius 1 among them, multiply instead: a division costs many times a product.
class UnitSphereScale {
 public:
  explicit UnitSphereScale(const TVector& divisor)
      : d_{divisor.x, divisor.y, divisor.z},
        r_{Reciprocal(divisor.x), Reciprocal(divisor.y), Reciprocal(divisor.z)},
        multiply_(r_[0] != 0.0f && r_[1] != 0.0f && r_[2] != 0.0f) {}
  TVector operator()(const TVector& v) const {
    if (multiply_) return TVector::Create(v.x * r_[0], v.y * r_[1], v.z * r_[2]);
    return TVector::Create(v.x / d_[0], v.y / d_[1], v.z / d_[2]);
  }

 private:
  // 1 / d when d is a power of two (and the reciprocal is finite and not 0), else 0.
  static float Reciprocal(float d) {
    int exponent;
    if (!std::isfinite(d) || d == 0.0f || std::fabs(std::frexp(d, &exponent)) != 0.5f) return 0.0f;
    const float r = 1.0f / d;
    return std::isfinite(r) && r != 0.0f ? r : 0.0f;
  }
  float d_[3];
  float r_[3];
  bool multiply_;
};

// The first contact of a slide, in world space, appended to the moving entity's impacts.
void RecordImpact(const TCollisionPacket& k) {
  TCollisionImpact impact;
  TVector p = TVector::Create(k.intersection_point.x * k.divisor.x, k.intersection_point.y * k.divisor.y,
                              k.intersection_point.z * k.divisor.z);
  if (k.method != kSphereToMeshWorld) {
    TEntity::TFormPoint(p.x, p.y, p.z, k.mesh, nullptr);
    p = TVector::Create(TEntity::TFormedX(), TEntity::TFormedY(), TEntity::TFormedZ());
  }
  impact.x = p.x, impact.y = p.y, impact.z = p.z;
  if (k.surface) {
    TEntity::TFormNormal(k.surface->TriangleNX(k.triangle), k.surface->TriangleNY(k.triangle),
                         k.surface->TriangleNZ(k.triangle), k.mesh, nullptr);
    impact.nx = TEntity::TFormedX(), impact.ny = TEntity::TFormedY(), impact.nz = TEntity::TFormedZ();
  }
  impact.entity = k.mesh->weak_from_this();
  impact.surface = k.surface;
  impact.triangle = k.triangle;
  k.entity->collisions.push_back(std::move(impact));
  k.entity->collision_count = int(k.entity->collisions.size());
}

// Mesh space to world space for many points: the mesh's matrix read once, each point
// then transformed as TEntity::TFormPoint does it (TMatrix::Translate of the
// stored-space point), bit for bit.
class MeshToWorld {
 public:
  explicit MeshToWorld(const TMesh& mesh) {
    for (int r = 0; r < 4; ++r)
      for (int c = 0; c < 3; ++c) g_[r][c] = mesh.matrix.grid[r][c];
  }
  TVector operator()(const TVector& p) const {
    const float x = p.x, y = p.y, z = -p.z;
    return TVector::Create(g_[3][0] + (g_[0][0] * x + g_[1][0] * y + g_[2][0] * z),
                           g_[3][1] + (g_[0][1] * x + g_[1][1] * y + g_[2][1] * z),
                           -(g_[3][2] + (g_[0][2] * x + g_[1][2] * y + g_[2][2] * z)));
  }

 private:
  float g_[4][3];
};

// getLowestRoot, Barycentric and CheckPointInTriangle, inline for the triangle test.
[[gnu::always_inline]] inline int LowestRoot(float a, float b, float c, float max_root, float& root) {
  const float d = b * b - 4.0f * a * c;
  if (d < 0.0f) return 0;
  const float sq = std::sqrt(d);
  float r1 = (-b - sq) / (2.0f * a), r2 = (-b + sq) / (2.0f * a);
  if (r1 > r2) std::swap(r1, r2);
  if (r1 > 0.0f && r1 < max_root) {
    root = r1;
    return 1;
  }
  if (r2 > 0.0f && r2 < max_root) {
    root = r2;
    return 1;
  }
  return 0;  // none in range; with a = 0 the quotients are inf or NaN and fail too
}

[[gnu::always_inline]] inline void Weights(const TVector& a, const TVector& b, const TVector& c, const TVector& p,
                                           float& u, float& v, float& w) {
  const TVector ab = b.Subtract(a), ac = c.Subtract(a), ap = p.Subtract(a);
  const float d1 = ab.Dot(ab), d2 = ab.Dot(ac), d3 = ac.Dot(ac), d4 = ap.Dot(ab), d5 = ap.Dot(ac);
  const float den = d1 * d3 - d2 * d2;
  v = (d3 * d4 - d2 * d5) / den;
  w = (d1 * d5 - d2 * d4) / den;
  u = 1.0f - v - w;
}

[[gnu::always_inline]] inline int PointInTriangle(const TVector& point, const TVector& p1, const TVector& p2,
                                                  const TVector& p3) {
  float u, v, w;
  Weights(p1, p2, p3, point, u, v, w);
  return v >= 0.0f && w >= 0.0f && v + w <= 1.0f ? 1 : 0;  // NaN fails
}

// A triangle in unit-sphere space with what the sweep reads of its plane (the plane of
// TPlane::CreatePlaneFromTriangle: unit normal and offset), made ahead of its sweeps.
struct PreparedTriangle {
  PreparedTriangle() = default;
  PreparedTriangle(const TVector& a, const TVector& b, const TVector& c) : p1(a), p2(b), p3(c) {
    const TPlane plane = TPlane::CreatePlaneFromTriangle(a, b, c);
    normal = plane.normal;
    offset = plane.equation[3];
  }
  // As TPlane's.
  bool IsDegenerate() const { return normal.SquaredLength() == 0.0f; }
  int isFrontFacingTo(const TVector& direction) const { return normal.Dot(direction) <= 0.0f ? 1 : 0; }
  float signedDistanceTo(const TVector& point) const { return point.Dot(normal) + offset; }

  TVector p1, p2, p3;
  TVector normal;
  float offset = 0;
};

// The prepared triangles of an octree's table, by number, kept across sweeps. A prepared
// triangle depends only on its corners, the mesh's matrix, the divisor and the method, so
// while those stay the same (the slide passes of one sweep, the next entity of the same
// size against the same resting mesh) a triangle met again is not prepared again. The key
// watches the tree's surface table without owning it: a rebuilt or freed tree (whose
// table may reuse the old addresses) never matches, and the cache keeps no freed mesh's
// surfaces (nor their brushes' textures) alive.
// The storage grows to the largest table kept and is then reused: updates allocate nothing.
class SweepCache {
 public:
  // Whether Get may serve the table's triangles for this sweep; a table too large to keep
  // is not.
  bool Use(const TCollisionPacket& k, const TOctreeTriangles& table, bool world) {
    if (table.whole.size() > kCapacity) return false;
    if (!SameKey(k, table, world)) Reset(k, table, world);
    return true;
  }
  // Triangle `number` of the table Use last accepted, made by `make` on a miss.
  template <typename Make>
  const PreparedTriangle& Get(uint32_t number, Make make) {
    if (made_[number] != generation_) {
      arena_[number] = make(number);
      made_[number] = generation_;
    }
    return arena_[number];
  }

 private:
  static constexpr size_t kCapacity = size_t(1) << 17;  // triangles of the largest table kept (7 MB)

  bool SameKey(const TCollisionPacket& k, const TOctreeTriangles& table, bool world) const {
    return k.mesh == mesh_ && world == world_ && &table == table_ && table.surfaces.get() == surfaces_id_ &&
           !surfaces_.expired() && std::memcmp(&k.divisor, &divisor_, sizeof divisor_) == 0 &&
           std::memcmp(&k.mesh->matrix, &matrix_, sizeof matrix_) == 0;
  }
  void Reset(const TCollisionPacket& k, const TOctreeTriangles& table, bool world) {
    if (arena_.size() < table.whole.size()) {
      arena_.resize(table.whole.size());
      made_.resize(table.whole.size(), 0);
    }
    if (++generation_ == 0) {  // wrapped: no triangle may look made
      std::fill(made_.begin(), made_.end(), 0);
      generation_ = 1;
    }
    mesh_ = k.mesh, world_ = world, table_ = &table;
    surfaces_ = table.surfaces, surfaces_id_ = table.surfaces.get();
    divisor_ = k.divisor, matrix_ = k.mesh->matrix;
  }

  std::vector<PreparedTriangle> arena_;
  std::vector<unsigned> made_;  // the generation each triangle was made in
  unsigned generation_ = 0;
  const TMesh* mesh_ = nullptr;
  bool world_ = false;
  const TOctreeTriangles* table_ = nullptr;  // compared only while surfaces_ lives
  std::weak_ptr<const std::vector<SurfacePtr>> surfaces_;
  const void* surfaces_id_ = nullptr;
  TVector divisor_;
  TMatrix matrix_;
};

SweepCache sweep_cache;

int SweepTriangle(TCollisionPacket& k, const PreparedTriangle& triangle);  // below, with the triangle test

// The tests by which SweepTriangle turns a triangle away, for four triangles side by side,
// operation for operation as it does them, so that no lane is turned away that it would
// keep: the plane (degenerate, back-facing, never reached), then no face point in the
// triangle and no root of the six quadratics that it could take. Most triangles of a
// leaf fail there, and the screen spares them the full test's serial branches. Returns a
// bit per lane that the full test must see.
int ScreenSweeps(const TCollisionPacket& k, const PreparedTriangle* const (&t)[kLanes]) {
  auto lanes = [&t](auto field) { return Lanes{field(*t[0]), field(*t[1]), field(*t[2]), field(*t[3])}; };
  const Lanes nx = lanes([](const PreparedTriangle& p) { return p.normal.x; });
  const Lanes ny = lanes([](const PreparedTriangle& p) { return p.normal.y; });
  const Lanes nz = lanes([](const PreparedTriangle& p) { return p.normal.z; });
  const Lanes offset = lanes([](const PreparedTriangle& p) { return p.offset; });
  const TVector &base = k.base_point, &vel = k.velocity, &dir = k.normalized_velocity;
  const Lanes zero = {0, 0, 0, 0}, one = {1, 1, 1, 1};

  // The plane.
  LaneMask keep = (nx * nx + ny * ny + nz * nz != zero) & (nx * dir.x + ny * dir.y + nz * dir.z <= zero);
  const Lanes sd = base.x * nx + base.y * ny + base.z * nz + offset;
  const Lanes nv = nx * vel.x + ny * vel.y + nz * vel.z;
  const LaneMask parallel = nv == zero;
  const Lanes fsd = sd < zero ? -sd : sd;
  Lanes t0 = (-1.0f - sd) / nv, t1 = (1.0f - sd) / nv;
  const LaneMask swap = t0 > t1;
  const Lanes lo = swap ? t1 : t0, hi = swap ? t0 : t1;
  keep &= parallel ? LaneMask(fsd < one) : LaneMask((lo <= one) & (hi >= zero));
  if (!(keep[0] | keep[1] | keep[2] | keep[3])) return 0;
  t0 = lo < zero ? zero : lo;  // then at most 1; its zero's sign cannot change the face test
  t0 = t0 > one ? one : t0;

  auto corner = [&lanes](int i, float TVector::*axis) {
    return i == 0 ? lanes([axis](const PreparedTriangle& p) { return p.p1.*axis; })
         : i == 1 ? lanes([axis](const PreparedTriangle& p) { return p.p2.*axis; })
                  : lanes([axis](const PreparedTriangle& p) { return p.p3.*axis; });
  };
  Lanes cx[3], cy[3], cz[3];
  for (int i = 0; i < 3; ++i)
    cx[i] = corner(i, &TVector::x), cy[i] = corner(i, &TVector::y), cz[i] = corner(i, &TVector::z);

  // The face point, unless embedded.
  const Lanes qx = (base.x - nx) + vel.x * t0, qy = (base.y - ny) + vel.y * t0, qz = (base.z - nz) + vel.z * t0;
  const Lanes abx = cx[1] - cx[0], aby = cy[1] - cy[0], abz = cz[1] - cz[0];
  const Lanes acx = cx[2] - cx[0], acy = cy[2] - cy[0], acz = cz[2] - cz[0];
  const Lanes apx = qx - cx[0], apy = qy - cy[0], apz = qz - cz[0];
  const Lanes d1 = abx * abx + aby * aby + abz * abz, d2 = abx * acx + aby * acy + abz * acz;
  const Lanes d3 = acx * acx + acy * acy + acz * acz, d4 = apx * abx + apy * aby + apz * abz;
  const Lanes d5 = apx * acx + apy * acy + apz * acz;
  const Lanes den = d1 * d3 - d2 * d2;
  const Lanes v = (d3 * d4 - d2 * d5) / den, w = (d1 * d5 - d2 * d4) / den;
  LaneMask reach = ~parallel & (v >= zero) & (w >= zero) & (v + w <= one);

  // The corners and edges: a root of LowestRoot's in (0, 1) (the scalar test takes one in
  // (0, t) with t <= 1), and for an edge a point on it at that root.
  const float vel2 = vel.SquaredLength();
  const Lanes two_a_corner = 2.0f * Lanes{vel2, vel2, vel2, vel2};
  auto roots = [&zero](const Lanes& qa, const Lanes& qb, const Lanes& qc, const Lanes& two_a, Lanes& r1, Lanes& r2) {
    const Lanes d = qb * qb - 4.0f * qa * qc;
    const LaneMask real = ~(d < zero);
    const Lanes sq = SquareRoots(real ? d : zero);
    const Lanes a = (-qb - sq) / two_a, b = (-qb + sq) / two_a;
    const LaneMask swap = a > b;
    r1 = swap ? b : a, r2 = swap ? a : b;
    return real;
  };
  auto within = [&zero, &one](const Lanes& r) { return (r > zero) & (r < one); };
  for (int i = 0; i < 3; ++i) {
    const Lanes bcx = base.x - cx[i], bcy = base.y - cy[i], bcz = base.z - cz[i];
    const Lanes qb = 2.0f * (vel.x * bcx + vel.y * bcy + vel.z * bcz);
    const Lanes cbx = cx[i] - base.x, cby = cy[i] - base.y, cbz = cz[i] - base.z;
    const Lanes qc = cbx * cbx + cby * cby + cbz * cbz - 1.0f;
    Lanes r1, r2;
    const LaneMask real = roots(Lanes{vel2, vel2, vel2, vel2}, qb, qc, two_a_corner, r1, r2);
    reach |= real & (within(r1) | within(r2));
  }
  for (int j = 0; j < 3; ++j) {
    const int n = (j + 1) % 3;
    const Lanes ex = cx[n] - cx[j], ey = cy[n] - cy[j], ez = cz[n] - cz[j];
    const Lanes bx = cx[j] - base.x, by = cy[j] - base.y, bz = cz[j] - base.z;
    const Lanes e2 = ex * ex + ey * ey + ez * ez;
    const Lanes ev = ex * vel.x + ey * vel.y + ez * vel.z;
    const Lanes eb = ex * bx + ey * by + ez * bz;
    const Lanes qa = e2 * -vel2 + ev * ev;
    const Lanes qb = e2 * (2.0f * (vel.x * bx + vel.y * by + vel.z * bz)) - 2.0f * ev * eb;
    const Lanes qc = e2 * (1.0f - (bx * bx + by * by + bz * bz)) + eb * eb;
    Lanes r1, r2;
    const LaneMask real = roots(qa, qb, qc, 2.0f * qa, r1, r2);
    const Lanes f1 = (ev * r1 - eb) / e2, f2 = (ev * r2 - eb) / e2;
    reach |= real & ((within(r1) & (f1 >= zero) & (f1 <= one)) | (within(r2) & (f2 >= zero) & (f2 <= one)));
  }
  return LaneBits(keep & reach);
}

// The table's numbered triangles in the order given, four at a time through the screen,
// and those it passes through the full test, which records the nearest hit; point()
// takes a mesh-space corner into unit-sphere space.
template <typename Point>
void SweepChosen(TCollisionPacket& k, const TOctreeTriangles& table, std::span<const uint32_t> numbers, bool world,
                 Point point) {
  auto make = [&](uint32_t number) {
    const TPolygonPiece& t = table.whole[number];
    return PreparedTriangle(point(t.vertices[0]), point(t.vertices[1]), point(t.vertices[2]));
  };
  const bool cached = sweep_cache.Use(k, table, world);
  const size_t count = numbers.size();
  for (size_t first = 0; first < count; first += kLanes) {
    PreparedTriangle own[kLanes];
    const PreparedTriangle* at[kLanes];  // lanes past the end repeat the last triangle
    int present = 0;
    for (size_t l = 0; l < size_t(kLanes); ++l) {
      if (first + l >= count) {
        at[l] = at[l - 1];
        continue;
      }
      const uint32_t number = numbers[first + l];
      at[l] = cached ? &sweep_cache.Get(number, make) : &(own[l] = make(number));
      present |= 1 << l;
    }
    int bits = ScreenSweeps(k, at) & present;
    for (size_t l = 0; bits; ++l, bits >>= 1) {
      if (!(bits & 1) || !SweepTriangle(k, *at[l])) continue;
      const TPolygonPiece& t = table.whole[numbers[first + l]];
      k.surface = (*table.surfaces)[t.surface];
      k.triangle = t.triangle;
    }
  }
}

// The numbers of the triangles the leaf's pieces come from, each once, in the mesh's order.
std::span<const uint32_t> LeafTriangles(const TLeafPolygons& polygons) {
  const TOctreeTriangles& table = *polygons.triangles;
  std::vector<uint32_t>& chosen = table.Chosen();
  chosen.clear();
  table.BeginQuery();
  for (const uint32_t number : polygons.Numbers())
    if (table.FirstVisit(number)) chosen.push_back(number);
  std::sort(chosen.begin(), chosen.end());
  return chosen;
}

// Every triangle of the mesh, in order, with point() taking a mesh-space corner into
// unit-sphere space.
template <typename Point>
void SweepSurfaces(TCollisionPacket& k, Point point) {
  for (const SurfacePtr& surface : *k.mesh->surfaces) {
    const TTriangleReader triangles(*surface);
    for (int t = 0; t < triangles.Count(); ++t) {
      TVector p, q, r;
      triangles.Corners(t, p, q, r);
      if (TCollision::CheckTriangle(k, point(p), point(q), point(r))) k.surface = surface, k.triangle = t;
    }
  }
}

}  // namespace

// ---- The slide -----------------------------------------------------------------------------------

TVector TCollision::SlideSphereAgainstMesh(TVector position, TVector velocity, TCollisionPacket& k) {
  for (int pass = 0; pass <= kMaxSlidePasses; ++pass) {
    if (velocity.SquaredLength() == 0.0f) return position;  // no move, no contact
    k.velocity = velocity;
    k.normalized_velocity = velocity;
    k.normalized_velocity.Normalize();
    k.base_point = position;
    k.found_collision = 0;
    // Later passes slide out of the caller's box: each takes the octree cells it reaches.
    if (pass > 0 && k.mesh->octree) k.sweep_box = GetPassBB(k, position, velocity);
    MeshCheckCollision(k);
    const TVector destination = position.Add(velocity);
    if (!k.found_collision) return destination;

    // A contact at the very start (touching, or already sunk into a triangle it moves
    // further into) is resolved like any other: the sphere is held and slides, where
    // letting the move through would drop it through the floor it stands on.
    TVector to_contact = velocity;
    to_contact.SetLength(k.nearest_distance);
    TVector base = position.Add(to_contact);
    TVector normal = base.Subtract(k.intersection_point);
    normal.Normalize();
    if (pass == 0) RecordImpact(k);
    if (normal.SquaredLength() == 0.0f) return base;  // a contact of no direction

    // Step back off the contact so that the sphere stands kVeryCloseDistance clear of it.
    // Backing along the move takes kVeryCloseDistance / cos(angle), which at grazing
    // angles is a long way, even back past this pass's start into space never swept;
    // then it steps straight out along the normal instead.
    TVector push = normal.Multiply(kVeryCloseDistance);
    TVector step = velocity;
    step.SetLength(kVeryCloseDistance);
    const float s = step.Dot(normal);
    if (s != 0.0f) {
      const TVector along = step.Multiply(kVeryCloseDistance / s);
      if (along.Length() <= k.nearest_distance + kVeryCloseDistance) push = along;
    }
    base = base.Add(push);
    k.intersection_point = k.intersection_point.Add(push);

    // What is left of the move, projected onto the plane of the contact.
    const TPlane slide = TPlane::CreatePlane(k.intersection_point, normal);
    const TVector slid = destination.Subtract(normal.Multiply(slide.signedDistanceTo(destination)));
    const TVector rest = slid.Subtract(k.intersection_point);
    if (!(rest.Length() > kVeryCloseDistance)) return base;
    position = base;
    velocity = rest;
  }
  return position;  // the pass limit: stop where the last pass ended
}

// ---- Gathering triangles --------------------------------------------------------------------------

int TCollision::MeshCheckCollision(TCollisionPacket& k) {
  if (k.mesh->octree) {
    TOctree::no_polys_active = 0;
    k.mesh->octree->OctCollision(k);
  } else if (k.method == kSphereToMeshWorld) {
    MeshCheckCollision2(k);
  } else {
    MeshCheckCollision4(k);
  }
  return 0;
}

int TCollision::MeshCheckCollision2(TCollisionPacket& k) {
  const UnitSphereScale scale(k.divisor);
  const MeshToWorld to_world(*k.mesh);
  SweepSurfaces(k, [&](const TVector& v) { return scale(to_world(v)); });
  return 0;
}

int TCollision::MeshCheckCollision4(TCollisionPacket& k) {
  SweepSurfaces(k, UnitSphereScale(k.divisor));
  return 0;
}

int TCollision::PolysCheckCollision(TCollisionPacket& k, const TLeafPolygons& polygons) {
  return k.method == kSphereToMeshWorld ? PolysCheckCollision2(k, polygons) : PolysCheckCollision4(k, polygons);
}

int TCollision::PolysCheckCollision2(TCollisionPacket& k, const TLeafPolygons& polygons) {
  if (polygons.triangles) SweepTriangles2(k, *polygons.triangles, LeafTriangles(polygons));
  return 0;
}

int TCollision::PolysCheckCollision4(TCollisionPacket& k, const TLeafPolygons& polygons) {
  if (polygons.triangles) SweepTriangles4(k, *polygons.triangles, LeafTriangles(polygons));
  return 0;
}

void TCollision::SweepTriangles(TCollisionPacket& k, const TOctreeTriangles& table,
                                std::span<const uint32_t> numbers) {
  if (k.method == kSphereToMeshWorld) return SweepTriangles2(k, table, numbers);
  SweepTriangles4(k, table, numbers);
}

void TCollision::SweepTriangles2(TCollisionPacket& k, const TOctreeTriangles& table,
                                 std::span<const uint32_t> numbers) {
  const UnitSphereScale scale(k.divisor);
  const MeshToWorld to_world(*k.mesh);
  SweepChosen(k, table, numbers, true, [&](const TVector& v) { return scale(to_world(v)); });
}

void TCollision::SweepTriangles4(TCollisionPacket& k, const TOctreeTriangles& table,
                                 std::span<const uint32_t> numbers) {
  SweepChosen(k, table, numbers, false, UnitSphereScale(k.divisor));
}

// ---- One triangle ----------------------------------------------------------------------------------

namespace {

// CheckTriangle on a triangle whose plane is already made.
int SweepTriangle(TCollisionPacket& k, const PreparedTriangle& triangle) {
  const TVector &p1 = triangle.p1, &p2 = triangle.p2, &p3 = triangle.p3;
  const PreparedTriangle& plane = triangle;
  if (plane.IsDegenerate() || !plane.isFrontFacingTo(k.normalized_velocity)) return 0;

  // The part of the move during which the sphere touches the triangle's plane.
  const float sd = plane.signedDistanceTo(k.base_point);
  const float nv = plane.normal.Dot(k.velocity);
  bool embedded = false;
  float t0;
  if (nv == 0.0f) {
    if (!(std::fabs(sd) < 1.0f)) return 0;  // parallel and clear of the plane (or NaN)
    embedded = true;
    t0 = 0.0f;
  } else {
    t0 = (-1.0f - sd) / nv;
    float t1 = (1.0f - sd) / nv;
    if (t0 > t1) std::swap(t0, t1);
    if (!(t0 <= 1.0f && t1 >= 0.0f)) return 0;
    t0 = std::fmin(std::fmax(t0, 0.0f), 1.0f);
  }

  bool found = false;
  float t = 1.0f;
  TVector contact;
  if (!embedded) {  // the face, where the sphere first touches the plane
    const TVector q = k.base_point.Subtract(plane.normal).Add(k.velocity.Multiply(t0));
    if (PointInTriangle(q, p1, p2, p3)) {
      found = true;
      t = t0;
      contact = q;
    }
  }
  if (!found) {  // the corners, then the edges; each only when sooner than what was found
    const TVector& vel = k.velocity;
    const TVector& base = k.base_point;
    const float vel2 = vel.SquaredLength();
    // The six quadratics first, then their discriminants at once: most triangles have no
    // real root in any (their corners and edge lines are out of reach), and one test for
    // all of them spares each its own unpredictable branch. The roots are then sought in
    // turn as before, from the same coefficients.
    const TVector* corners[3] = {&p1, &p2, &p3};
    float qa[6], qb[6], qc[6];
    for (int i = 0; i < 3; ++i) {
      qa[i] = vel2;
      qb[i] = 2.0f * vel.Dot(base.Subtract(*corners[i]));
      qc[i] = corners[i]->Subtract(base).SquaredLength() - 1.0f;
    }
    TVector edge[3];
    float e2[3], ev[3], eb[3];
    for (int j = 0; j < 3; ++j) {
      const TVector& from = *corners[j];
      edge[j] = corners[(j + 1) % 3]->Subtract(from);
      const TVector btv = from.Subtract(base);
      e2[j] = edge[j].SquaredLength();
      ev[j] = edge[j].Dot(vel);
      eb[j] = edge[j].Dot(btv);
      qa[3 + j] = e2[j] * -vel2 + ev[j] * ev[j];
      qb[3 + j] = e2[j] * (2.0f * vel.Dot(btv)) - 2.0f * ev[j] * eb[j];
      qc[3 + j] = e2[j] * (1.0f - btv.SquaredLength()) + eb[j] * eb[j];
    }
    bool any_real = false;  // a NaN discriminant counts: LowestRoot goes on with it
    for (int i = 0; i < 6; ++i) any_real |= !(qb[i] * qb[i] - 4.0f * qa[i] * qc[i] < 0.0f);
    if (!any_real) return 0;
    float root;
    for (int i = 0; i < 3; ++i) {
      if (LowestRoot(qa[i], qb[i], qc[i], t, root)) {
        found = true;
        t = root;
        contact = *corners[i];
      }
    }
    for (int j = 0; j < 3; ++j) {
      if (!LowestRoot(qa[3 + j], qb[3 + j], qc[3 + j], t, root)) continue;
      const float f = (ev[j] * root - eb[j]) / e2[j];
      if (f >= 0.0f && f <= 1.0f) {
        found = true;
        t = root;
        contact = corners[j]->Add(edge[j].Multiply(f));
      }
    }
  }
  if (!found) return 0;

  const float distance = t * k.velocity.Length();
  if (k.found_collision && !(distance < k.nearest_distance)) return 0;
  k.nearest_distance = distance;
  k.intersection_point = contact;
  k.found_collision = 1;
  return 1;
}

}  // namespace

int TCollision::CheckTriangle(TCollisionPacket& k, const TVector& p1, const TVector& p2, const TVector& p3) {
  return SweepTriangle(k, PreparedTriangle(p1, p2, p3));
}

int TCollision::Barycentric(const TVector& a, const TVector& b, const TVector& c, const TVector& p, float& u,
                            float& v, float& w) {
  Weights(a, b, c, p, u, v, w);
  return 0;
}

int TCollision::CheckPointInTriangle(const TVector& point, const TVector& p1, const TVector& p2, const TVector& p3) {
  return PointInTriangle(point, p1, p2, p3);
}

int TCollision::getLowestRoot(float a, float b, float c, float max_root, float& root) {
  return LowestRoot(a, b, c, max_root, root);
}
