// Entity appearance and services: the entity's own brush, names and children,
// distances and angles, conversion between entity spaces (TForm), the world matrix,
// pick and collision settings and results, and the bounding sphere.
#include <algorithm>
#include <cmath>

#include "engine/math/trig.h"
#include "engine/math/vector.h"
#include "engine/mesh/brush.h"
#include "engine/scene/entity.h"
#include "engine/scene/subtree_walk.h"

// ---- Appearance -------------------------------------------------------------------

void TEntity::EntityColor(float red, float green, float blue) { brush->BrushColor(red, green, blue); }
void TEntity::EntityAlpha(float alpha) { brush->BrushAlpha(alpha); }
void TEntity::EntityShininess(float shininess) { brush->BrushShininess(shininess); }
void TEntity::EntityTexture(const TexturePtr& texture, int frame, int index) {
  brush->BrushTexture(texture, frame, index);
}
void TEntity::EntityFX(int fx) { brush->BrushFX(fx); }

void TEntity::EntityBlend(int blend) {
  brush->BrushBlend(blend);
  BlendChanged();
}

void TEntity::EntityAutoFade(float near_dist, float far_dist) {
  auto_fade = 1;
  fade_near = near_dist;
  fade_far = far_dist;
}

void TEntity::PaintEntity(const BrushPtr& source) {
  if (source) brush->PaintFrom(*source);
}

BrushPtr TBrush::GetEntityBrush(const EntityPtr& entity) { return entity ? entity->brush->Copy() : nullptr; }

// ---- Names and children -------------------------------------------------------------

EntityPtr TEntity::GetChild(int n) const {
  if (n < 1) return nullptr;
  return children.ValueAtIndex(static_cast<size_t>(n - 1));
}

EntityPtr TEntity::FindChild(const std::string& wanted) const {
  // Each child, then its own subtree, then the next child: the first in that order wins.
  for (SubtreeWalk walk(this); walk.Next();) {
    const EntityPtr& c = walk.Current();
    if (c->name == wanted) return c;
    walk.Descend();
  }
  return nullptr;
}

int TEntity::CountAllChildren(const TEntity* entity, int count) {
  if (!entity) return count;
  for (SubtreeWalk walk(entity); walk.Next(); walk.Descend()) ++count;
  return count;
}

EntityPtr TEntity::GetChildFromAll(int n, int& counter, const TEntity* entity) const {
  if (!entity) entity = this;
  EntityPtr result;
  for (SubtreeWalk walk(entity); walk.Next();) {
    ++counter;
    if (counter == n) {
      result = walk.Current();
      walk.Leave();  // its own later siblings go uncounted
      continue;
    }
    // Once found deeper down, the remaining siblings are counted but not descended into.
    if (!result) walk.Descend();
  }
  return result;
}

// ---- Distances and angles -------------------------------------------------------------

float TEntity::EntityDistanceSquared(const EntityPtr& other) const {
  if (!other) return 0;
  const float dx = other->matrix.grid[3][0] - matrix.grid[3][0];
  const float dy = other->matrix.grid[3][1] - matrix.grid[3][1];
  const float dz = -other->matrix.grid[3][2] + matrix.grid[3][2];
  return dx * dx + dy * dy + dz * dz;
}

float TEntity::EntityDistance(const EntityPtr& other) const { return float(Sqr(EntityDistanceSquared(other))); }

float TEntity::DeltaYaw(const EntityPtr& other) const {
  if (!other) return 0;
  const float dx = other->EntityX(1) - EntityX(1);
  const float dz = other->EntityZ(1) - EntityZ(1);
  return float(-ATan2(dx, dz));
}

float TEntity::DeltaPitch(const EntityPtr& other) const {
  if (!other) return 0;
  const float dx = other->EntityX(1) - EntityX(1);
  const float dy = other->EntityY(1) - EntityY(1);
  const float dz = other->EntityZ(1) - EntityZ(1);
  return float(-ATan2(dy, Sqr(dx * dx + dz * dz)));
}

// ---- Space conversion -----------------------------------------------------------------

bool TEntity::InverseInWorld(TMatrix& m, bool with_translation) const {
  m.Scale(1 / scale_x, 1 / scale_y, 1 / scale_z);
  m.RotateRoll(-roll);
  m.RotatePitch(-pitch);
  m.RotateYaw(-yaw);
  if (with_translation) m.Translate(-pos_x, -pos_y, -pos_z);
  return false;
}

void TEntity::InverseChain(TMatrix& m, const TEntity* dest, bool with_translation) {
  m.LoadIdentity();
  for (const TEntity* e = dest; e; e = e->parent)
    if (e->InverseInWorld(m, with_translation)) return;
}

void TEntity::TFormPoint(float x, float y, float z, const TEntity* source, const TEntity* dest) {
  TMatrix m;
  if (source) {
    m.Overwrite(source->matrix);
    m.Translate(x, y, -z);
    x = m.grid[3][0], y = m.grid[3][1], z = -m.grid[3][2];
  }
  if (dest) {
    InverseChain(m, dest, true);
    m.Translate(x, y, -z);
    x = m.grid[3][0], y = m.grid[3][1], z = -m.grid[3][2];
  }
  tformed_x = x, tformed_y = y, tformed_z = z;
}

void TEntity::TFormVector(float x, float y, float z, const TEntity* source, const TEntity* dest) {
  float out[3];
  TransformVector(x, y, z, source, dest, out);
  tformed_x = out[0], tformed_y = out[1], tformed_z = out[2];
}

void TEntity::TransformVector(float x, float y, float z, const TEntity* source, const TEntity* dest, float out[3]) {
  TMatrix m;
  if (source) {
    m.Overwrite(source->matrix);
    m.grid[3][0] = m.grid[3][1] = m.grid[3][2] = 0;
    m.grid[3][3] = 1;
    m.grid[0][3] = m.grid[1][3] = m.grid[2][3] = 0;
    m.Translate(x, y, -z);
    x = m.grid[3][0], y = m.grid[3][1], z = -m.grid[3][2];
  }
  if (dest) {
    InverseChain(m, dest, false);
    m.Translate(x, y, -z);
    x = m.grid[3][0], y = m.grid[3][1], z = -m.grid[3][2];
  }
  out[0] = x, out[1] = y, out[2] = z;
}

void TEntity::TFormNormal(float x, float y, float z, const TEntity* source, const TEntity* dest) {
  TFormVector(x, y, z, source, dest);
  const float length = float(Sqr(tformed_x * tformed_x + tformed_y * tformed_y + tformed_z * tformed_z));
  if (length == 0) return;  // a zero direction stays (0, 0, 0) rather than NaN
  tformed_x /= length;
  tformed_y /= length;
  tformed_z /= length;
}

float TEntity::GetMatElement(int col, int row) const {
  if (col < 0 || col > 3 || row < 0 || row > 3) return 0;
  return matrix.grid[col][row];
}

// ---- Pick and collision settings and results ---------------------------------------------

void TEntity::ResetEntity() {
  collision_count = 0;
  collisions.clear();
  prev_x = EntityX(1);
  prev_y = EntityY(1);
  prev_z = EntityZ(1);
}

void TEntity::EntityRadius(float rx, float ry, float rz) {
  radius_x = rx;
  radius_y = ry == 0.0f ? rx : ry;
  radius_z = rz == 0.0f ? rx : rz;
}

void TEntity::EntityBox(float x, float y, float z, float w, float h, float d) {
  box_x = x, box_y = y, box_z = z, box_w = w, box_h = h, box_d = d;
}

void TEntity::EntityType(int type, int recursive) {
  collision_type = type;
  if (recursive != 1) return;
  for (SubtreeWalk walk(this); walk.Next(); walk.Descend()) walk.Current()->collision_type = type;
}

void TEntity::EntityPickMode(int mode, int option) {
  pick_mode = mode;
  pick_option = option;
}

const TCollisionImpact* TEntity::Impact(int i) const {
  if (i < 1 || i > collision_count || i > static_cast<int>(collisions.size())) return nullptr;
  return &collisions[static_cast<size_t>(i - 1)];
}

float TEntity::CollisionX(int i) const { auto* c = Impact(i); return c ? c->x : 0.0f; }
float TEntity::CollisionY(int i) const { auto* c = Impact(i); return c ? c->y : 0.0f; }
float TEntity::CollisionZ(int i) const { auto* c = Impact(i); return c ? c->z : 0.0f; }
float TEntity::CollisionNX(int i) const { auto* c = Impact(i); return c ? c->nx : 0.0f; }
float TEntity::CollisionNY(int i) const { auto* c = Impact(i); return c ? c->ny : 0.0f; }
float TEntity::CollisionNZ(int i) const { auto* c = Impact(i); return c ? c->nz : 0.0f; }
float TEntity::CollisionTime(int i) const { auto* c = Impact(i); return c ? c->time : 0.0f; }
EntityPtr TEntity::CollisionEntity(int i) const { auto* c = Impact(i); return c ? c->entity.lock() : nullptr; }
SurfacePtr TEntity::CollisionSurface(int i) const { auto* c = Impact(i); return c ? c->surface : nullptr; }
int TEntity::CollisionTriangle(int i) const { auto* c = Impact(i); return c ? c->triangle : 0; }

EntityPtr TEntity::EntityCollided(int type) const {
  // What this entity ran into, then what of that type ran into this one.
  for (int i = 1; i <= collision_count; ++i) {
    EntityPtr hit = CollisionEntity(i);
    if (hit && hit->collision_type == type) return hit;
  }
  for (const EntityPtr& e : entity_list) {
    if (e->collision_type != type) continue;
    for (int i = 1; i <= e->collision_count; ++i)
      if (e->CollisionEntity(i).get() == this) return e;
  }
  return nullptr;
}

// ---- Bounds -----------------------------------------------------------------------

TSphere TEntity::BoundingSphere() const {
  TSphere sphere;
  sphere.centre = TVector::Create(EntityX(1), EntityY(1), EntityZ(1));
  sphere.radius = std::fabs(cull_radius);
  return sphere;
}

TSphere TEntity::SphereAround(float min_x, float min_y, float min_z, float max_x, float max_y, float max_z,
                              float r) const {
  TSphere sphere;
  TFormPoint(min_x + (max_x - min_x) / 2.0f, min_y + (max_y - min_y) / 2.0f, min_z + (max_z - min_z) / 2.0f, this,
             nullptr);
  sphere.centre = TVector::Create(tformed_x, tformed_y, tformed_z);
  // Absolute scales: a mirrored mesh has the same extent as its unmirrored twin.
  const TVector scale = WorldScale();
  const float sx = std::fabs(r * scale.x);
  const float sy = std::fabs(r * scale.y);
  const float sz = std::fabs(r * scale.z);
  sphere.radius = std::max(sx, std::max(sy, sz));
  return sphere;
}
