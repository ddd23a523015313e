// TPick: ray picks. A segment in world space, from a camera through a window point,
// along an entity's forward axis, along a line or between two entities, is tested
// against every pickable entity by its pick mode (sphere, mesh triangles, box); the
// nearest hit is kept in the picked_* class variables that the Picked* accessors read.
//
// Every time is the fraction of the segment from its start (0) to its end (1); a hit
// at time 1 counts, and on equal times the later test wins (later entity, triangle).
// A zero-length segment is a point: it hits what contains it (a sphere, a box), at time 0.
#pragma once

#include "engine/collision/geometric_tests.h"
#include "engine/math/lanes.h"
#include "engine/math/vector.h"
#include "engine/scene/handles.h"

#include <cstdint>
#include <span>

class TLeafPolygons;
class TOctreeTriangles;

// The running choice of a pick among a mesh's triangles met out of their order. The walk
// over every triangle in order keeps the last of the nearest hits, so this keeps the
// nearest, and of equal times the triangle later in the mesh's order.
struct TTriangleChoice {
  float time = 1.0f;  // hits at or below this are taken: the pick's best so far
  bool found = false;
  uint32_t number = 0;  // in the TOctreeTriangles order
  TVector point;        // mesh space
};

// The pick modes of TEntity::pick_mode.
enum PickMode : int { kPickNone = 0, kPickSphere = 1, kPickPolygons = 2, kPickBox = 3 };

class TPick {
 public:
  // ---- The result of the last pick ----------------------------------------------------
  // A pick that hits nothing sets picked_ent null and picked_time 1 and leaves the rest.
  // A sphere or box hit leaves picked_surface and picked_triangle as they were.
  static float picked_x, picked_y, picked_z;     // world position, public axes
  static float picked_nx, picked_ny, picked_nz;  // world normal, unit length
  static float picked_time;
  static EntityPtr picked_ent;
  static SurfacePtr picked_surface;
  static int picked_triangle;  // from 0, in picked_surface

  // ---- Front ends: each returns the entity hit, or null ------------------------------
  // x, y are pixels of the graphics area from its top left, unprojected through the
  // matrices the camera kept at its last render: time 0 on the near plane, 1 on the far.
  // A camera that cannot unproject (never rendered, a null camera) picks nothing.
  static EntityPtr CameraPick(const TCamera* camera, float x, float y);
  // From the entity's origin to its local point (0, 0, range), in world space; a null
  // entity means world space.
  static EntityPtr EntityPick(const TEntity* entity, float range);
  // From (x, y, z) to (x + dx, y + dy, z + dz). radius plays no part.
  static EntityPtr LinePick(float x, float y, float z, float dx, float dy, float dz, float radius = 0);
  // 1 when nothing lies on the segment between the two world positions (the two take
  // part like any entity), else 0; 0 when either is null. The last pick result is kept.
  static int EntityVisible(const TEntity* src, const TEntity* dest);

  static float PickedX() { return picked_x; }
  static float PickedY() { return picked_y; }
  static float PickedZ() { return picked_z; }
  static float PickedNX() { return picked_nx; }
  static float PickedNY() { return picked_ny; }
  static float PickedNZ() { return picked_nz; }
  static float PickedTime() { return picked_time; }
  static EntityPtr PickedEntity() { return picked_ent; }
  static SurfacePtr PickedSurface() { return picked_surface; }
  static int PickedTriangle() { return picked_triangle; }

  // ---- Core ---------------------------------------------------------------------------
  // Tests every pickable, visible entity of the world list against segment a-b.
  static EntityPtr Pick(const TVector& a, const TVector& b, float radius = 0);
  // Tests the triangles the leaf's pieces come from, each once and whole, against a-b in
  // the mesh's space, accepting hits at times <= best; the hit chosen lowers best and
  // fills the whole result. 1 when one was accepted.
  static int PickPolys(const TVector& a, const TVector& b, const TLeafPolygons& polygons, TMesh& mesh,
                       float& best);
  // Tests the numbered triangles of the table against a-b (mesh space), in any order, and
  // updates the choice; the pick result is left alone.
  static void PickTriangles(const TVector& a, const TVector& b, const TOctreeTriangles& triangles,
                            std::span<const uint32_t> numbers, TTriangleChoice& choice);
  // Fills the pick result with the choice (found) and lowers best to its time.
  static void TakeChoice(TMesh& mesh, const TOctreeTriangles& triangles, const TTriangleChoice& choice, float& best);

  // ---- Segment tests: 1 on a hit, outputs meaningful only then -------------------------
  // A start inside the sphere is hit at its start.
  static int IntersectSegmentSphere(const TVector& a, const TVector& b, const TVector& centre, float radius,
                                    float& t, TVector& point);
  // One-sided: only from the side (q - p) x (r - p) points to; edges and ends on the
  // plane count. u, v, w weigh p, q, r at the hit point.
  // Always inlined: the mesh and leaf loops run it per triangle, and a call costs as much
  // as the test.
  [[gnu::always_inline]] static int IntersectSegmentTriangle(const TVector& a, const TVector& b, const TVector& p,
                                                             const TVector& q, const TVector& r, float& u, float& v,
                                                             float& w, float& t) {
    const SegmentTriangleTerms<float> s = SegmentMeetsTriangle(a, b, p.x, p.y, p.z, q.x, q.y, q.z, r.x, r.y, r.z);
    if (!s.hit) return 0;
    const float inv = 1.0f / s.dd;
    t = s.tt * inv;
    v = s.vv * inv;
    w = s.ww * inv;
    u = 1.0f - v - w;
    return 1;
  }
  // Slab test against the box from min to min + size; touching counts, a start inside
  // is hit at time 0.
  static int IntersectSegmentAABB(const TVector& a, const TVector& b, float min_x, float min_y, float min_z,
                                  float width, float height, float depth, float& t, TVector& point);
};

// IntersectSegmentAABB split into what depends on the segment alone, done once, and the
// test of one box, so that a walk over many boxes gets the same times bit for bit.
class TSegmentBoxTest {
 public:
  TSegmentBoxTest(const TVector& a, const TVector& b);
  // The entry time t (0..1) into the box min..min + size, and the distance along the
  // segment to it; false on a miss, and then t and along are left alone. Over lanes
  // (lanes.h), boxes side by side: a mask of those met, each with the times the one-box
  // test gives it.
  template <typename V>
  MaskOf<V> Hit(const V& min_x, const V& min_y, const V& min_z, const V& width, const V& height, const V& depth, V& t,
                V& along) const {
    const V lo[3] = {min_x, min_y, min_z};
    const V hi[3] = {min_x + width, min_y + height, min_z + depth};
    const float dir[3] = {dir_.x, dir_.y, dir_.z};
    const SegmentBoxTerms<V> s = SegmentMeetsBox(start_, dir, inv_dir_, len_, lo, hi);
    if (LaneBits(s.met)) {
      along = s.along;
      t = IsPoint() ? V{} : s.along / len_;
    }
    return s.met;
  }
  bool IsPoint() const { return len_ == 0.0f; }
  const TVector& Direction() const { return dir_; }  // unit length; zero for a point

 private:
  float start_[3];
  float len_;
  TVector dir_;
  float inv_dir_[3];  // 1 / direction per axis, for the axes it is not 0 on
};
