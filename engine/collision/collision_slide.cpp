// The collide-and-slide sweep: the slide passes, the impact record, gathering triangles
// (all of the mesh, or those the octree chose from the cells the sweep box meets) and the
// swept unit sphere against one triangle with its root finder and point-in-triangle test.
//
// Sections: helpers (impacts, unit-sphere scaling, mesh to world, prepared triangles and
// the cache that keeps them across passes) · the slide · gathering triangles · one
// triangle.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <span>
#include <vector>
#include <utility>

#include "engine/collision/collision.h"
#include "engine/collision/geometric_tests.h"
#include "engine/collision/octree.h"
#include "engine/collision/plane.h"
#include "engine/collision/polygon.h"
#include "engine/collision/triangle_reader.h"
#include "engine/math/lanes.h"
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
// then transformed as TEntity::TFormPoint does it (TransformPoint of the stored-space
// point).
class MeshToWorld {
 public:
  explicit MeshToWorld(const TMesh& mesh) {
    for (int r = 0; r < 4; ++r)
      for (int c = 0; c < 3; ++c) g_[r][c] = mesh.matrix.grid[r][c];
  }
  TVector operator()(const TVector& p) const {
    const float x = p.x, y = p.y, z = -p.z;
    auto row = [&](int r) { return TransformPoint(g_[0][r], g_[1][r], g_[2][r], g_[3][r], x, y, z); };
    return TVector::Create(row(0), row(1), -row(2));
  }

 private:
  float g_[4][3];
};

// getLowestRoot, Barycentric and CheckPointInTriangle: the one-lane cases of the tests
// the screen runs on four triangles.
[[gnu::always_inline]] inline int LowestRoot(const Quadratic<float>& q, float max_root, float& root) {
  float r1, r2;
  if (!QuadraticRoots(q, r1, r2)) return 0;
  if (RootWithin(r1, max_root)) {
    root = r1;
    return 1;
  }
  if (RootWithin(r2, max_root)) {
    root = r2;
    return 1;
  }
  return 0;
}

// The lower root, where the sphere enters, when it lies inside (0, max_root).
[[gnu::always_inline]] inline int EntryRoot(const Quadratic<float>& q, float max_root, float& root) {
  float r1, r2;
  if (!QuadraticRoots(q, r1, r2) || !RootWithin(r1, max_root)) return 0;
  root = r1;
  return 1;
}

// The corners of a triangle as one-lane coordinate arrays.
struct Corners {
  float x[3], y[3], z[3];
  Corners(const TVector& a, const TVector& b, const TVector& c) : x{a.x, b.x, c.x}, y{a.y, b.y, c.y}, z{a.z, b.z, c.z} {}
};

bool Finite(const TVector& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

float LargestComponent(const TVector& v) { return LargestMagnitude(v.x, v.y, v.z); }

// A triangle in unit-sphere space with what the sweep reads of its plane (unit normal and
// offset), made ahead of its sweeps.
//
// The plane is TPlane::CreatePlaneFromTriangle's while it holds the other two corners to
// within kPlaneHoldsCorners of the longer edge from the first. Its normal is crossed at
// the first corner, so where the angle there is sharp (a long thin triangle listed from
// its sharp end) the rounding of that cross product tilts the plane, by tens of units
// over a 1000-long road; then the normal is crossed again in double and rounded once.
// A triangle of no area to double rounding has no plane at all: its normal is zero
// (flat), and the sweep meets only its edges and corners. A corner of no value leaves a
// normal of no value, which meets nothing.
struct PreparedTriangle {
  PreparedTriangle() = default;
  PreparedTriangle(const TVector& a, const TVector& b, const TVector& c) : p1(a), p2(b), p3(c) {
    const TPlane plane = TPlane::CreatePlaneFromTriangle(a, b, c);
    normal = plane.normal;
    offset = plane.equation[3];
    const TVector ab = b.Subtract(a), ac = c.Subtract(a);
    // Edges whose sum is finite have finite corners (a corner of no value leaves an edge
    // of none): most triangles end here without asking each corner.
    if (std::isfinite(ab.x + ab.y + ab.z + ac.x + ac.y + ac.z) && HoldsCorners(ab, ac)) return;
    if (!Finite(a) || !Finite(b) || !Finite(c)) {
      normal.x = normal.y = normal.z = std::numeric_limits<float>::quiet_NaN();
      return;
    }
    if (HoldsCorners(ab, ac)) return;
    const double ux = double(b.x) - a.x, uy = double(b.y) - a.y, uz = double(b.z) - a.z;
    const double vx = double(c.x) - a.x, vy = double(c.y) - a.y, vz = double(c.z) - a.z;
    const double nx = uy * vz - uz * vy, ny = uz * vx - ux * vz, nz = ux * vy - uy * vx;
    const double largest = std::max({std::fabs(nx), std::fabs(ny), std::fabs(nz)});
    const double u = std::max({std::fabs(ux), std::fabs(uy), std::fabs(uz)});
    const double v = std::max({std::fabs(vx), std::fabs(vy), std::fabs(vz)});
    if (!(largest > kNoAreaInDouble * u * v)) {  // flat: no plane
      normal = TVector();
      offset = 0;
      return;
    }
    const double length = std::sqrt(nx * nx + ny * ny + nz * nz);
    const TPlane replanned =
        TPlane::CreatePlane(a, TVector::Create(float(nx / length), float(ny / length), float(nz / length)));
    normal = replanned.normal;
    offset = replanned.equation[3];
  }
  bool Flat() const { return normal.x == 0.0f && normal.y == 0.0f && normal.z == 0.0f; }
  // Whether the plane has a normal and holds the corners at the ends of the edges from the
  // first, to kPlaneHoldsCorners.
  bool HoldsCorners(const TVector& ab, const TVector& ac) const {
    const float reach = kPlaneHoldsCorners * std::max(LargestComponent(ab), LargestComponent(ac));
    return std::fabs(normal.Dot(ab)) <= reach && std::fabs(normal.Dot(ac)) <= reach && normal.SquaredLength() != 0.0f;
  }

  // A plane tilted less than this (about 4e-6 rad) lies within 1e-5 of the longest edge of
  // every corner; well-shaped triangles stay within a few float roundings of it, far below.
  static constexpr float kPlaneHoldsCorners = 0x1p-18f;
  // A cross product in double of float corners is off by a few 1e-16 of its terms.
  static constexpr double kNoAreaInDouble = 0x1p-48;

  TVector p1, p2, p3;
  TVector normal;
  float offset = 0;
};

// Whether the point, on the triangle's plane, lies in the triangle: the float edge
// functions, and double where they cannot tell.
[[gnu::always_inline]] inline bool FaceHolds(const Corners& corners, const TVector& n, const TVector& q) {
  const FaceSides<float> sides = FaceSidesOf(corners.x, corners.y, corners.z, n.x, n.y, n.z, q.x, q.y, q.z);
  if (sides.inside) return true;
  return sides.undecided && FaceHoldsExactly(corners.x, corners.y, corners.z, n.x, n.y, n.z, q.x, q.y, q.z);
}

// The triangle's point nearest p: the foot of p on the plane when the face holds it, else
// the nearest point of the nearest edge (the first of equally near ones).
TVector NearestOnTriangle(const PreparedTriangle& t, const Corners& corners, const TVector& p) {
  if (!t.Flat()) {
    const TVector foot = p.Subtract(t.normal.Multiply(p.Dot(t.normal) + t.offset));
    if (FaceHolds(corners, t.normal, foot)) return foot;
  }
  const TVector* points[3] = {&t.p1, &t.p2, &t.p3};
  TVector nearest;
  float nearest2 = std::numeric_limits<float>::infinity();
  for (int j = 0; j < 3; ++j) {
    const TVector& from = *points[j];
    const TVector edge = points[(j + 1) % 3]->Subtract(from);
    const float e2 = edge.SquaredLength();
    const float f = e2 > 0.0f ? std::clamp(p.Subtract(from).Dot(edge) / e2, 0.0f, 1.0f) : 0.0f;
    const TVector on = from.Add(edge.Multiply(f));
    const float d2 = p.Subtract(on).SquaredLength();
    if (j == 0 || d2 < nearest2) nearest = on, nearest2 = d2;
  }
  return nearest;
}

// A sphere that starts overlapping the triangle, moving against its face (not along it),
// meets it at once, at the triangle's point nearest its centre. A flat triangle has no
// face to move against: the sphere meets it when it moves towards that point.
// A move into the face by no more than the rounding of the positions counts as along it:
// the slide leaves such a remnant of the plane's distance in the rest of its move, and a
// sunk sphere caught by it again would never get on.
bool SunkContact(const TCollisionPacket& k, const PreparedTriangle& t, const Corners& corners, bool along,
                 TVector& contact) {
  const TVector& base = k.base_point;
  if (along || !NearCorners(corners.x, corners.y, corners.z, base.x, base.y, base.z)) return false;
  if (!t.Flat()) {
    const TVector& v = k.velocity;
    const float into = -(t.normal.x * v.x + t.normal.y * v.y + t.normal.z * v.z);
    const float size = std::max({std::fabs(base.x), std::fabs(base.y), std::fabs(base.z), std::fabs(v.x),
                                 std::fabs(v.y), std::fabs(v.z)});
    if (!(into > size * 0x1p-20f)) return false;
  }
  const TVector nearest = NearestOnTriangle(t, corners, base);
  const TVector in = nearest.Subtract(base);
  if (!(in.SquaredLength() <= 1.0f) || (t.Flat() && !(in.Dot(k.velocity) > 0.0f))) return false;
  contact = nearest;
  return true;
}

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

// Below, with the triangle test. tie_wins: a hit exactly as near as the nearest so far
// (and as deep, for a sunk start) replaces it (the caller knows this triangle comes first
// in the mesh's order).
int SweepTriangle(TCollisionPacket& k, const PreparedTriangle& triangle, bool tie_wins = false);

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
  const TVector &base = k.base_point, &vel = k.velocity;

  const SweepPlaneTerms<Lanes> plane = SweepMeetsPlane(base, vel, k.normalized_velocity, nx, ny, nz, offset);
  const LaneMask flat = nx * nx + ny * ny + nz * nz == 0.0f;  // met by its edges and corners alone
  const LaneMask met = plane.reach | flat;
  if (!LaneBits(met)) return 0;

  Lanes cx[3], cy[3], cz[3];
#pragma GCC unroll 3
  for (int i = 0; i < 3; ++i) {
    const TVector PreparedTriangle::*corner = i == 0 ? &PreparedTriangle::p1 : i == 1 ? &PreparedTriangle::p2
                                                                                        : &PreparedTriangle::p3;
    cx[i] = lanes([corner](const PreparedTriangle& p) { return (p.*corner).x; });
    cy[i] = lanes([corner](const PreparedTriangle& p) { return (p.*corner).y; });
    cz[i] = lanes([corner](const PreparedTriangle& p) { return (p.*corner).z; });
  }

  Lanes ex[3], ey[3], ez[3];  // corner j to the next
#pragma GCC unroll 3
  for (int j = 0; j < 3; ++j) {
    const int n = j == 2 ? 0 : j + 1;
    ex[j] = cx[n] - cx[j], ey[j] = cy[n] - cy[j], ez[j] = cz[n] - cz[j];
  }

  // A start overlapping the plane may be sunk into the triangle; else the face point,
  // where the float places it inside or cannot tell.
  const LaneMask straddles = flat | plane.embedded | !(plane.t0 > 0.0f);
  LaneMask reach = {};
  if (LaneBits(met & !straddles)) {
    Lanes qx, qy, qz;
    SweepFacePoint(base, vel, nx, ny, nz, plane.t0, qx, qy, qz);
    reach = (!straddles) & FaceMayHold(cx, cy, cz, ex, ey, ez, nx, ny, nz, qx, qy, qz);
  }
  if (LaneBits(met & straddles)) reach |= straddles & NearCorners(cx, cy, cz, base.x, base.y, base.z);

  // The corners and edges: a root in (0, 1) (the scalar test takes one in (0, t) with
  // t <= 1), and for an edge a point on it at that root.
  const float vel2 = vel.SquaredLength();
  const Lanes one = Lanes{} + 1.0f, zero = {};
#pragma GCC unroll 3
  for (int i = 0; i < 3; ++i) {
    Lanes r1, r2;
    const LaneMask real = QuadraticRoots(CornerQuadratic(base, vel, vel2, cx[i], cy[i], cz[i]), r1, r2);
    reach |= real & (RootWithin(r1, one) | RootWithin(r2, one));
  }
#pragma GCC unroll 3
  for (int j = 0; j < 3; ++j) {
    const EdgeTerms<Lanes> edge = EdgeQuadratic(base, vel, vel2, cx[j], cy[j], cz[j], ex[j], ey[j], ez[j]);
    Lanes r1, r2;
    const LaneMask real = QuadraticRoots(edge.q, r1, r2);
    const Lanes f1 = EdgeFraction(edge, r1), f2 = EdgeFraction(edge, r2);
    reach |= real & ((RootWithin(r1, one) & (f1 >= zero) & (f1 <= one)) |
                     (RootWithin(r2, one) & (f2 >= zero) & (f2 <= one)));
  }
  return LaneBits(met & reach);
}

// The table's numbered triangles in the order given, four at a time through the screen
// (kScreened; else all of them), and those it passes through the full test, which
// records the nearest hit; point() takes a mesh-space corner into unit-sphere space.
template <bool kScreened, typename Point>
void SweepChosenIn(TCollisionPacket& k, const TOctreeTriangles& table, std::span<const uint32_t> numbers, bool world,
                   Point point) {
  auto make = [&](uint32_t number) {
    const TPolygonPiece& t = table.whole[number];
    return PreparedTriangle(point(t.vertices[0]), point(t.vertices[1]), point(t.vertices[2]));
  };
  const bool cached = sweep_cache.Use(k, table, world);
  bool found_here = false;
  uint32_t here = 0;
  const size_t count = numbers.size();
  PreparedTriangle own[kLanes];  // where the cache does not keep them
  for (size_t first = 0; first < count; first += kLanes) {
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
    int bits = kScreened ? ScreenSweeps(k, at) & present : present;
    for (size_t l = 0; bits; ++l, bits >>= 1) {
      if (!(bits & 1)) continue;
      const uint32_t number = numbers[first + l];
      if (!SweepTriangle(k, *at[l], found_here && number < here)) continue;
      found_here = true, here = number;
      const TPolygonPiece& t = table.whole[number];
      k.surface = (*table.surfaces)[t.surface];
      k.triangle = t.triangle;
    }
  }
}

template <typename Point>
void SweepChosen(TCollisionPacket& k, const TOctreeTriangles& table, std::span<const uint32_t> numbers, bool world,
                 Point point) {
  AtLaneWidth<kLanes>([&]<int Block>() __attribute__((always_inline)) {
    SweepChosenIn<(Block > 1)>(k, table, numbers, world, point);
  });
}

// The numbers of the triangles the leaf's pieces come from, each once, in the mesh's order.
std::span<const uint32_t> LeafTriangles(const TLeafPolygons& polygons) {
  const std::span<uint32_t> chosen = polygons.Triangles()->ChooseLeaf(polygons);
  std::sort(chosen.begin(), chosen.end());  // each is swept on its own: only the order settles ties
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
    // A centre on the triangle itself: out through the face it moved against.
    if (normal.SquaredLength() == 0.0f) normal = k.contact_normal;
    if (!(normal.SquaredLength() > 0.0f)) return base;  // a contact of no direction

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
  if (polygons.Triangles()) SweepTriangles2(k, *polygons.Triangles(), LeafTriangles(polygons));
  return 0;
}

int TCollision::PolysCheckCollision4(TCollisionPacket& k, const TLeafPolygons& polygons) {
  if (polygons.Triangles()) SweepTriangles4(k, *polygons.Triangles(), LeafTriangles(polygons));
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

// CheckTriangle on a triangle whose plane is already made: the one-lane case of the
// screen's tests. A sphere that starts clear of the plane meets the face where it first
// touches it, or else a corner or an edge; one that starts overlapping the plane may be
// sunk into the triangle (SunkContact), or else meets a corner or an edge it enters later.
int SweepTriangle(TCollisionPacket& k, const PreparedTriangle& triangle, bool tie_wins) {
  const TVector &p1 = triangle.p1, &p2 = triangle.p2, &p3 = triangle.p3;
  const TVector& n = triangle.normal;
  const TVector& vel = k.velocity;
  const TVector& base = k.base_point;
  const bool flat = triangle.Flat();
  SweepPlaneTerms<float> plane{};
  if (!flat) {
    plane = SweepMeetsPlane(base, vel, k.normalized_velocity, n.x, n.y, n.z, triangle.offset);
    if (!plane.reach) return 0;  // back-facing, never touched, parallel and clear, or of no value
  }

  bool found = false;
  float t = 1.0f;
  TVector contact;
  const Corners corners(p1, p2, p3);
  const bool straddles = flat || plane.embedded || !(plane.t0 > 0.0f);
  if (straddles) {
    if (SunkContact(k, triangle, corners, !flat && plane.embedded, contact)) found = true, t = 0.0f;
  } else {  // the face, where the sphere first touches the plane
    TVector q;
    SweepFacePoint(base, vel, n.x, n.y, n.z, plane.t0, q.x, q.y, q.z);
    if (FaceHolds(corners, n, q)) {
      found = true;
      t = plane.t0;
      contact = q;
    }
  }
  if (!found) {  // the corners, then the edges; each only when sooner than what was found
    const float vel2 = vel.SquaredLength();
    // The six quadratics first, then their discriminants at once: most triangles have no
    // real root in any (their corners and edge lines are out of reach), and one test for
    // all of them spares each its own unpredictable branch. The roots are then sought in
    // turn as before, from the same coefficients.
    const TVector* points[3] = {&p1, &p2, &p3};
    Quadratic<float> corner[3];
    EdgeTerms<float> edge[3];
    TVector along[3];
#pragma GCC unroll 3
    for (int i = 0; i < 3; ++i) corner[i] = CornerQuadratic(base, vel, vel2, corners.x[i], corners.y[i], corners.z[i]);
#pragma GCC unroll 3
    for (int j = 0; j < 3; ++j) {
      along[j] = points[(j + 1) % 3]->Subtract(*points[j]);
      edge[j] = EdgeQuadratic(base, vel, vel2, corners.x[j], corners.y[j], corners.z[j], along[j].x, along[j].y,
                              along[j].z);
    }
    bool any_real = false;  // a NaN discriminant counts: LowestRoot goes on with it
#pragma GCC unroll 3
    for (int i = 0; i < 3; ++i) any_real |= HasRealRoots(corner[i]) || HasRealRoots(edge[i].q);
    if (!any_real) return 0;
    // From a start overlapping the plane, a corner or an edge line the sphere already
    // overlaps has only its exit ahead, which is no contact: only entries count there.
    auto root_of = [straddles](const Quadratic<float>& q, float max_root, float& root) {
      return straddles ? EntryRoot(q, max_root, root) : LowestRoot(q, max_root, root);
    };
    float root;
#pragma GCC unroll 3
    for (int i = 0; i < 3; ++i) {
      if (root_of(corner[i], t, root)) {
        found = true;
        t = root;
        contact = *points[i];
      }
    }
#pragma GCC unroll 3
    for (int j = 0; j < 3; ++j) {
      if (!root_of(edge[j].q, t, root)) continue;
      const float f = EdgeFraction(edge[j], root);
      if (f >= 0.0f && f <= 1.0f) {
        found = true;
        t = root;
        contact = points[j]->Add(along[j].Multiply(f));
      }
    }
  }
  if (!found) return 0;

  const float distance = t * k.velocity.Length();
  const float gap = t == 0.0f ? contact.Subtract(base).SquaredLength() : 0.0f;
  if (k.found_collision &&
      !(distance < k.nearest_distance ||
        (distance == k.nearest_distance && (gap < k.nearest_depth_gap || (tie_wins && gap == k.nearest_depth_gap)))))
    return 0;
  k.nearest_distance = distance;
  k.nearest_depth_gap = gap;
  k.intersection_point = contact;
  k.contact_normal = triangle.normal;
  k.found_collision = 1;
  return 1;
}

}  // namespace

int TCollision::CheckTriangle(TCollisionPacket& k, const TVector& p1, const TVector& p2, const TVector& p3) {
  return SweepTriangle(k, PreparedTriangle(p1, p2, p3));
}

int TCollision::Barycentric(const TVector& a, const TVector& b, const TVector& c, const TVector& p, float& u,
                            float& v, float& w) {
  const Corners corners(a, b, c);
  const TriangleWeights<float> weights = WeightsInTriangle(corners.x, corners.y, corners.z, p.x, p.y, p.z);
  v = weights.v, w = weights.w, u = 1.0f - v - w;
  return 0;
}

int TCollision::CheckPointInTriangle(const TVector& point, const TVector& p1, const TVector& p2, const TVector& p3) {
  // Along the triangle's normal onto its plane; a flat triangle holds nothing.
  const PreparedTriangle t(p1, p2, p3);
  if (!(t.normal.SquaredLength() > 0.0f)) return 0;
  return FaceHolds(Corners(p1, p2, p3), t.normal, point) ? 1 : 0;
}

int TCollision::getLowestRoot(float a, float b, float c, float max_root, float& root) {
  return LowestRoot({a, b, c}, max_root, root);
}
