// Collision: the rules that say which collision types collide with which and how, the
// world collision update that moves every colliding entity from where it was at the
// end of the last update to where the program has put it since, stopping it at the
// triangles of the destination meshes and sliding it along them, and the impacts it
// leaves on each moved entity.
//
// The sweep runs in unit-sphere space: every coordinate divided per axis by the moving
// ellipsoid's radii, so that the ellipsoid becomes a sphere of radius 1. Method 2 takes
// the triangles to world space first; method 4 stays in the mesh's space, with the radii
// measured in mesh units (radius / the mesh's global scale).
//
// Sections: records, rules and the world update (collision.cpp), the collide-and-slide
// sweep and its triangle tests (collision_slide.cpp).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "engine/collision/aabb.h"
#include "engine/math/vector.h"
#include "engine/scene/handles.h"

class TLeafPolygons;
class TOctreeTriangles;

// One contact of the last collision update. The entity is held weakly: two entities
// that hit each other must not keep each other alive.
struct TCollisionImpact {
  float x = 0, y = 0, z = 0;     // contact point, world space
  float nx = 0, ny = 0, nz = 0;  // unit normal of the hit triangle, world space
  float time = 0;                // not measured: always 0
  std::weak_ptr<TEntity> entity;  // the mesh collided with
  SurfacePtr surface;
  int triangle = 0;
};

// Collision methods of a rule.
enum CollisionMethod : int { kSphereToSphere = 1, kSphereToMeshWorld = 2, kSphereToMeshLocal = 4 };

// The slide keeps this far (unit-sphere space) off what it touched, and stops when less
// than this is left to move.
constexpr float kVeryCloseDistance = 0.005f;
// Slide passes after the first that may still test the mesh: 11 passes in all.
constexpr int kMaxSlidePasses = 10;

// The working record of one sweep of one moving entity against one mesh.
struct TCollisionPacket {
  int method = 0;              // kSphereToMeshWorld, or anything else for mesh space
  TEntity* entity = nullptr;   // the moving entity; receives the impact
  TMesh* mesh = nullptr;       // the mesh swept against
  AABB sweep_box;              // mesh space, around the current pass; picks the octree cells
  TVector divisor;             // per axis, into unit-sphere space (finite, not 0; < 0 mirrors)
  // The nearest hit of the current pass (kept from earlier passes until replaced).
  int triangle = 0;
  SurfacePtr surface;
  TVector velocity;             // this pass's move
  TVector normalized_velocity;  // the move at length 1
  TVector base_point;           // where this pass starts
  int found_collision = 0;
  float nearest_distance = 0;  // along velocity, from base_point to the nearest hit
  // For hits at the very start, where the sphere is sunk into several triangles at once:
  // the squared distance from the centre to the contact, the deepest winning (else 0).
  float nearest_depth_gap = 0;
  TVector intersection_point;  // contact point on the triangle of the nearest hit
  TVector contact_normal;      // that triangle's face normal: the way out when the centre lies on it
};

// A collision rule: entities of src_type collide with those of dest_type by method.
struct TCollision {
  int src_type = 0;
  int dest_type = 0;
  int method = 0;
  int response = 0;  // stored; every collision stops and slides
  static std::vector<TCollision> list;  // in insertion order, duplicates allowed

  // ---- Rules and the world update (collision.cpp) ----------------------------------------
  // Per entity of the world list: empty its impacts; if it has a type and is not hidden,
  // sweep it against every visible mesh of each rule's destination type (the rules in
  // order, then the entities in order), each sweep starting where the last one put it;
  // then record its world position as where its next sweep starts. Never against itself
  // nor its own subtree, which move with it. Returns 0.
  static int UpdateCollisions();
  // 1 when entity has moved since the last update and its sweep box meets other's
  // bounding sphere.
  static int QuickCheck(TEntity& entity, TEntity& other);
  static AABB GetBB(const TEntity& entity);           // world box around the sweep
  static AABB GetBB2(const TCollisionPacket& packet);  // mesh-space box, method 2
  static AABB GetBB4(const TCollisionPacket& packet);  // mesh-space box, method 4
  // The mesh-space box, grown as GetBB2 or GetBB4, around one slide pass from position by
  // velocity (unit-sphere space): a slide leaves the box of the sweep it started with.
  static AABB GetPassBB(const TCollisionPacket& packet, const TVector& position, const TVector& velocity);
  // Sweep the entity against the mesh and place it at the resolved position. A pair
  // that cannot be swept (a radius or, for method 4, a mesh scale of 0 or of no value,
  // a position of no value) is left alone. A negative radius acts as its size; a
  // negative mesh scale mirrors the mesh and turns its faces with it, in both methods.
  static void SphereToMesh2(TEntity& entity, TMesh& mesh);
  static void SphereToMesh4(TEntity& entity, TMesh& mesh);
  // 1 when two unit spheres at the entities' previous positions, each moving by its
  // displacement since, meet during the move. Changes nothing; no rule uses it.
  static int SphereToSphere(const TEntity& entity, const TEntity& other);

  // ---- The sweep (collision_slide.cpp) ------------------------------------------------------
  // Moves the unit sphere from position by velocity against the packet's mesh, stopping
  // at the first contact and sliding along it, pass after pass; returns the end point.
  // The first contact is recorded as an impact on the packet's entity.
  static TVector SlideSphereAgainstMesh(TVector position, TVector velocity, TCollisionPacket& packet);
  // The triangle test over the mesh: by octree when it has one, else every triangle.
  static int MeshCheckCollision(TCollisionPacket& packet);
  static int MeshCheckCollision2(TCollisionPacket& packet);
  static int MeshCheckCollision4(TCollisionPacket& packet);
  // The triangles one leaf's pieces come from, each once and whole, in the mesh's order.
  // The octree's own query does not go leaf by leaf: it gathers the triangles of every
  // cell the sweep box meets and hands them to SweepTriangles at once.
  static int PolysCheckCollision(TCollisionPacket& packet, const TLeafPolygons& polygons);
  static int PolysCheckCollision2(TCollisionPacket& packet, const TLeafPolygons& polygons);
  static int PolysCheckCollision4(TCollisionPacket& packet, const TLeafPolygons& polygons);
  // The octree table's numbered triangles in any order, by the packet's method, or by 2 or
  // 4: a tie goes to the lower number, as the walk over every triangle in the mesh's order
  // gives it.
  static void SweepTriangles(TCollisionPacket& packet, const TOctreeTriangles& triangles,
                             std::span<const uint32_t> numbers);
  static void SweepTriangles2(TCollisionPacket& packet, const TOctreeTriangles& triangles,
                              std::span<const uint32_t> numbers);
  static void SweepTriangles4(TCollisionPacket& packet, const TOctreeTriangles& triangles,
                              std::span<const uint32_t> numbers);
  // The swept unit sphere against one triangle (unit-sphere space); 1 when this hit
  // became the packet's nearest. Triangles seen from behind never collide; one of no area
  // is met only by its edges and corners. A sphere that starts sunk into the triangle
  // meets it at once, at the triangle's point nearest its centre.
  static int CheckTriangle(TCollisionPacket& packet, const TVector& p1, const TVector& p2, const TVector& p3);
  static int CheckPointInTriangle(const TVector& point, const TVector& p1, const TVector& p2, const TVector& p3);
  static int Barycentric(const TVector& a, const TVector& b, const TVector& c, const TVector& p, float& u,
                         float& v, float& w);
  // The lowest root of a t^2 + b t + c inside (0, max_root); root untouched when none.
  static int getLowestRoot(float a, float b, float c, float max_root, float& root);
};
