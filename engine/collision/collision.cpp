// The world collision update: the loop over entities and rules, the pre-test that keeps
// pairs that cannot meet away from the sweep, the sweep boxes, and the two drivers that
// take a sweep into unit-sphere space, run the slide and place the entity.
#include "engine/collision/collision.h"

#include <algorithm>
#include <cmath>

#include "engine/collision/entity_points.h"
#include "engine/mesh/mesh.h"
#include "engine/scene/entity.h"

namespace {

TVector PreviousPosition(const TEntity& e) { return TVector::Create(e.prev_x, e.prev_y, e.prev_z); }
// Radii are sizes: a negative radius acts as its size. (A signed one would mirror the
// unit-sphere space and turn every face's back to the mover.)
TVector Radii(const TEntity& e) {
  return TVector::Create(std::fabs(e.radius_x), std::fabs(e.radius_y), std::fabs(e.radius_z));
}

TVector PerAxisDivide(const TVector& v, const TVector& d) { return TVector::Create(v.x / d.x, v.y / d.y, v.z / d.z); }
TVector PerAxisMultiply(const TVector& v, const TVector& d) {
  return TVector::Create(v.x * d.x, v.y * d.y, v.z * d.z);
}
// True when d is e or lies under it: those move with e, so e never sweeps against them.
bool MovesWith(const TEntity& d, const TEntity& e) { return &d == &e || d.IsBelow(&e); }

bool IsFinite(const TVector& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }
// A divisor that makes a unit sphere of the ellipsoid: a zero radius (as before
// EntityRadius) or a zero scale would divide the sweep into infinities.
bool UsableDivisor(const TVector& d) { return IsFinite(d) && d.x != 0.0f && d.y != 0.0f && d.z != 0.0f; }

AABB BoxAround(const TVector& a, const TVector& b, const TVector& grow) {
  AABB box;
  const float pa[3] = {a.x, a.y, a.z}, pb[3] = {b.x, b.y, b.z}, g[3] = {grow.x, grow.y, grow.z};
  for (int i = 0; i < 3; ++i) {
    box.min_corner[i] = std::min(pa[i], pb[i]) - g[i];
    box.max_corner[i] = std::max(pa[i], pb[i]) + g[i];
  }
  return box;
}

// Method 2 sweeps in world space; in mesh space its ellipsoid, turned any way, fits in
// a sphere of the largest radius over the smallest scale, unless the mesh's turns and
// unequal scales down its parents shear it: then it reaches along mesh axis i as far as
// the length of row i of the world-to-mesh map applied to the radii. The box takes the
// larger of the two, with room for the rounding of the map.
TVector Grow2(const TCollisionPacket& packet) {
  const TVector r = Radii(*packet.entity);
  const TVector s = packet.mesh->WorldScale();
  const float grow = std::max({r.x, r.y, r.z}) / std::min({std::fabs(s.x), std::fabs(s.y), std::fabs(s.z)});
  const float radii[3] = {r.x, r.y, r.z};
  float reach[3] = {0, 0, 0};
  for (int axis = 0; axis < 3; ++axis) {
    float along[3];
    TEntity::TransformVector(axis == 0 ? radii[0] : 0, axis == 1 ? radii[1] : 0, axis == 2 ? radii[2] : 0, nullptr,
                             packet.mesh, along);
    for (int i = 0; i < 3; ++i) reach[i] += along[i] * along[i];
  }
  constexpr float kRoundingRoom = 1.0f + 1.0f / 1024;
  auto axis = [&](int i) { return std::max(grow, std::sqrt(reach[i]) * kRoundingRoom); };
  return TVector::Create(axis(0), axis(1), axis(2));
}

// Method 4's ellipsoid lies along the mesh's axes with the radii in mesh units.
TVector Grow4(const TCollisionPacket& packet) {
  const TVector r = Radii(*packet.entity);
  const TVector s = packet.mesh->WorldScale();
  return TVector::Create(std::fabs(r.x / s.x), std::fabs(r.y / s.y), std::fabs(r.z / s.z));
}

}  // namespace

// ---- The world update -----------------------------------------------------------------------

int TCollision::UpdateCollisions() {
  for (const EntityPtr& entity : TEntity::entity_list) {
    TEntity& e = *entity;
    e.collision_count = 0;
    e.collisions.clear();
    if (e.collision_type != 0 && !e.EntityHidden()) {
      for (const TCollision& rule : list) {
        if (rule.src_type != e.collision_type) continue;
        if (rule.method != kSphereToMeshWorld && rule.method != kSphereToMeshLocal) continue;
        for (const EntityPtr& other : TEntity::entity_list) {
          TEntity& d = *other;
          if (d.collision_type == 0 || d.collision_type != rule.dest_type || d.EntityHidden()) continue;
          if (MovesWith(d, e)) continue;  // its own faces lie around every sweep's start
          TMesh* mesh = d.AsMesh();
          if (!mesh || !QuickCheck(e, d)) continue;  // only meshes have anything to hit
          if (rule.method == kSphereToMeshWorld) {
            SphereToMesh2(e, *mesh);
          } else {
            SphereToMesh4(e, *mesh);
          }
        }
      }
    }
    e.prev_x = e.EntityX(1);
    e.prev_y = e.EntityY(1);
    e.prev_z = e.EntityZ(1);
  }
  return 0;
}

int TCollision::QuickCheck(TEntity& entity, TEntity& other) {
  if (entity.EntityX(1) == entity.prev_x && entity.EntityY(1) == entity.prev_y && entity.EntityZ(1) == entity.prev_z)
    return 0;  // not moved since the last update, even if a mesh moved into it
  // Bounds refreshed first: a mesh that was never drawn would have a sphere of radius 0.
  if (TMesh* mesh = other.AsMesh()) mesh->GetBounds();
  return AABB::SphereAABBIntersection(other.BoundingSphere(), GetBB(entity));
}

// ---- Sweep boxes ------------------------------------------------------------------------------

AABB TCollision::GetBB(const TEntity& entity) {
  return BoxAround(PreviousPosition(entity), WorldPosition(entity), Radii(entity));
}

AABB TCollision::GetBB2(const TCollisionPacket& packet) {
  return BoxAround(IntoMesh(PreviousPosition(*packet.entity), *packet.mesh),
                   IntoMesh(WorldPosition(*packet.entity), *packet.mesh), Grow2(packet));
}

AABB TCollision::GetBB4(const TCollisionPacket& packet) {
  return BoxAround(IntoMesh(PreviousPosition(*packet.entity), *packet.mesh),
                   IntoMesh(WorldPosition(*packet.entity), *packet.mesh), Grow4(packet));
}

AABB TCollision::GetPassBB(const TCollisionPacket& packet, const TVector& position, const TVector& velocity) {
  const TVector from = PerAxisMultiply(position, packet.divisor);
  const TVector to = PerAxisMultiply(position.Add(velocity), packet.divisor);
  if (packet.method == kSphereToMeshWorld)
    return BoxAround(IntoMesh(from, *packet.mesh), IntoMesh(to, *packet.mesh), Grow2(packet));
  return BoxAround(from, to, Grow4(packet));
}

// ---- Drivers ------------------------------------------------------------------------------------

void TCollision::SphereToMesh2(TEntity& entity, TMesh& mesh) {
  TCollisionPacket packet;
  packet.method = kSphereToMeshWorld;
  packet.entity = &entity;
  packet.mesh = &mesh;
  packet.divisor = Radii(entity);
  if (!UsableDivisor(packet.divisor)) return;
  const TVector prev = PreviousPosition(entity);
  const TVector p = PerAxisDivide(prev, packet.divisor);
  const TVector v = PerAxisDivide(WorldPosition(entity).Subtract(prev), packet.divisor);
  if (!IsFinite(p) || !IsFinite(v)) return;
  packet.sweep_box = GetBB2(packet);
  const TVector q = PerAxisMultiply(SlideSphereAgainstMesh(p, v, packet), packet.divisor);
  entity.PositionEntity(q.x, q.y, q.z, 1);
}

void TCollision::SphereToMesh4(TEntity& entity, TMesh& mesh) {
  TCollisionPacket packet;
  packet.method = kSphereToMeshLocal;
  packet.entity = &entity;
  packet.mesh = &mesh;
  // Signed by the scale: a mirrored mesh stays mirrored in unit-sphere space, its faces
  // turned as method 2 sees them in world space.
  const TVector r = Radii(entity), s = mesh.WorldScale();
  packet.divisor = TVector::Create(r.x / s.x, r.y / s.y, r.z / s.z);
  if (!UsableDivisor(packet.divisor)) return;
  const TVector prev = PreviousPosition(entity);
  const TVector p = PerAxisDivide(IntoMesh(prev, mesh), packet.divisor);
  const TVector move = WorldPosition(entity).Subtract(prev);
  TEntity::TFormVector(move.x, move.y, move.z, nullptr, &mesh);
  const TVector v =
      PerAxisDivide(TVector::Create(TEntity::TFormedX(), TEntity::TFormedY(), TEntity::TFormedZ()), packet.divisor);
  if (!IsFinite(p) || !IsFinite(v)) return;
  packet.sweep_box = GetBB4(packet);
  const TVector q = PerAxisMultiply(SlideSphereAgainstMesh(p, v, packet), packet.divisor);
  TEntity::TFormPoint(q.x, q.y, q.z, &mesh, nullptr);
  entity.PositionEntity(TEntity::TFormedX(), TEntity::TFormedY(), TEntity::TFormedZ(), 1);
}

// ---- Moving spheres ------------------------------------------------------------------------------

int TCollision::SphereToSphere(const TEntity& entity, const TEntity& other) {
  constexpr float kRadiusSum = 2.0f;  // two unit spheres
  const TVector a = PreviousPosition(entity), b = PreviousPosition(other);
  const TVector s = b.Subtract(a);
  const TVector v = WorldPosition(other).Subtract(b).Subtract(WorldPosition(entity).Subtract(a));
  const float c = s.Dot(s) - kRadiusSum * kRadiusSum;
  if (c < 0.0f) return 1;  // already overlapping
  const float bb = v.Dot(s);
  if (!(bb < 0.0f)) return 0;  // not approaching
  const float aa = v.Dot(v);
  const float disc = bb * bb - aa * c;
  if (!(disc >= 0.0f)) return 0;
  const float t = (-bb - std::sqrt(disc)) / aa;
  return t >= 0.0f && t <= 1.0f ? 1 : 0;
}
