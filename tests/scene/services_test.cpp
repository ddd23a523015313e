// Entity services: children lookups, TForm between spaces, distances, collision
// settings and results, and bounding spheres.
#include <cmath>

#include "engine/mesh/mesh.h"
#include "engine/mesh/surface.h"
#include "engine/scene/entity.h"
#include "support/engine_reset.h"

namespace {

using EntityServices = EngineTest;

TEST_F(EntityServices, ChildLookups) {
  PivotPtr r = TPivot::CreatePivot();
  PivotPtr a = TPivot::CreatePivot(r);
  PivotPtr a1 = TPivot::CreatePivot(a);
  PivotPtr b = TPivot::CreatePivot(r);
  a1->NameEntity("twin");
  b->NameEntity("twin");
  a->NameEntity("a");

  EXPECT_EQ(r->GetChild(0), nullptr);
  EXPECT_EQ(r->GetChild(1), a);
  EXPECT_EQ(r->GetChild(3), nullptr);
  EXPECT_EQ(r->FindChild("twin"), a1);  // depth first
  EXPECT_EQ(r->FindChild(""), nullptr);  // every descendant is named so far
  EXPECT_EQ(r->FindChild("none"), nullptr);
  EXPECT_EQ(TEntity::CountAllChildren(r.get()), 3);

  const EntityPtr want[] = {nullptr, a, a1, b, nullptr};
  for (int n = 0; n <= 4; ++n) {
    int counter = 0;
    EXPECT_EQ(r->GetChildFromAll(n, counter), want[n]) << "n = " << n;
  }
  PivotPtr unnamed = TPivot::CreatePivot(b);
  EXPECT_EQ(r->FindChild(""), unnamed);
  // A leaf has no descendants: the search ends with null.
  int counter = 0;
  EXPECT_EQ(unnamed->GetChildFromAll(1, counter), nullptr);
}

TEST_F(EntityServices, TFormBetweenSpaces) {
  TEntity::TFormPoint(1, 2, 3, nullptr, nullptr);
  EXPECT_EQ(TEntity::TFormedX(), 1);
  EXPECT_EQ(TEntity::TFormedZ(), 3);

  PivotPtr e = TPivot::CreatePivot();
  e->PositionEntity(10, 0, 0);
  TEntity::TFormPoint(0, 0, 5, e.get(), nullptr);
  EXPECT_NEAR(TEntity::TFormedX(), 10, 1e-5);
  EXPECT_NEAR(TEntity::TFormedZ(), 5, 1e-5);
  TEntity::TFormPoint(10, 0, 5, nullptr, e.get());
  EXPECT_NEAR(TEntity::TFormedX(), 0, 1e-5);
  EXPECT_NEAR(TEntity::TFormedZ(), 5, 1e-5);

  // Between two entities under rotated, scaled parents: there and back again.
  PivotPtr p = TPivot::CreatePivot();
  p->RotateEntity(20, 40, 10);
  p->ScaleEntity(2, 1, 3);
  p->PositionEntity(1, -2, 4);
  PivotPtr c = TPivot::CreatePivot(p);
  c->PositionEntity(3, 1, -1);
  c->RotateEntity(-15, 70, 5);
  TEntity::TFormPoint(0.5f, 1.5f, -2, c.get(), e.get());
  TEntity::TFormPoint(TEntity::TFormedX(), TEntity::TFormedY(), TEntity::TFormedZ(), e.get(), c.get());
  EXPECT_NEAR(TEntity::TFormedX(), 0.5, 1e-4);
  EXPECT_NEAR(TEntity::TFormedY(), 1.5, 1e-4);
  EXPECT_NEAR(TEntity::TFormedZ(), -2, 1e-4);

  // Directions ignore position and keep scale; normals come back unit length.
  PivotPtr turned = TPivot::CreatePivot();
  turned->PositionEntity(100, 100, 100);
  turned->RotateEntity(0, 90, 0);
  turned->ScaleEntity(2, 2, 2);
  TEntity::TFormVector(0, 0, 1, turned.get(), nullptr);
  EXPECT_NEAR(TEntity::TFormedX(), -2, 1e-5);
  EXPECT_NEAR(TEntity::TFormedY(), 0, 1e-5);
  EXPECT_NEAR(TEntity::TFormedZ(), 0, 1e-5);
  TEntity::TFormNormal(0, 0, 1, turned.get(), nullptr);
  EXPECT_NEAR(TEntity::TFormedX(), -1, 1e-5);
  TEntity::TFormNormal(0, 0, 0, turned.get(), nullptr);
  EXPECT_EQ(TEntity::TFormedX(), 0);
  EXPECT_EQ(TEntity::TFormedY(), 0);
  EXPECT_EQ(TEntity::TFormedZ(), 0);
}

TEST_F(EntityServices, DistancesAndDeltas) {
  PivotPtr a = TPivot::CreatePivot();
  PivotPtr b = TPivot::CreatePivot();
  b->PositionEntity(3, 0, 4);
  EXPECT_FLOAT_EQ(a->EntityDistance(b), 5);
  EXPECT_FLOAT_EQ(a->EntityDistanceSquared(b), 25);
  EXPECT_EQ(a->EntityDistance(a), 0);
  struct Case {
    float x, y, z, yaw, pitch;
  } cases[] = {{0, 0, 5, 0, 0}, {5, 0, 0, -90, 0}, {0, 1, 1, 0, -45}};
  for (const Case& c : cases) {
    b->PositionEntity(c.x, c.y, c.z);
    EXPECT_NEAR(a->DeltaYaw(b), c.yaw, 1e-4) << c.x << "," << c.y << "," << c.z;
    EXPECT_NEAR(a->DeltaPitch(b), c.pitch, 1e-4) << c.x << "," << c.y << "," << c.z;
  }
}

TEST_F(EntityServices, MatrixElementBounds) {
  PivotPtr e = TPivot::CreatePivot();
  e->PositionEntity(1, 2, 3);
  EXPECT_EQ(e->GetMatElement(3, 2), -3);
  EXPECT_EQ(e->GetMatElement(0, 0), 1);
  for (auto [a, b] : {std::pair{-1, 0}, {4, 0}, {0, 4}, {0, -1}}) EXPECT_EQ(e->GetMatElement(a, b), 0);
}

TEST_F(EntityServices, PickAndCollisionSettings) {
  PivotPtr e = TPivot::CreatePivot();
  struct Case {
    float rx, ry, rz, wx, wy, wz;
  } radii[] = {{2, 0, 0, 2, 2, 2}, {2, 1, 0, 2, 1, 2}, {2, 1, 3, 2, 1, 3}};
  for (const Case& c : radii) {
    e->EntityRadius(c.rx, c.ry, c.rz);
    EXPECT_EQ(e->radius_x, c.wx);
    EXPECT_EQ(e->radius_y, c.wy);
    EXPECT_EQ(e->radius_z, c.wz);
  }

  PivotPtr child = TPivot::CreatePivot(e);
  PivotPtr grandchild = TPivot::CreatePivot(child);
  e->EntityType(5, 2);
  EXPECT_EQ(child->GetEntityType(), 0);
  e->EntityType(5, 1);
  EXPECT_EQ(grandchild->GetEntityType(), 5);

  e->EntityPickMode(2, 7);
  EXPECT_EQ(e->pick_mode, 2);
  EXPECT_EQ(e->pick_option, 7);
}

TEST_F(EntityServices, CollisionResults) {
  PivotPtr mover = TPivot::CreatePivot();
  PivotPtr wall = TPivot::CreatePivot();
  wall->EntityType(3);
  mover->EntityType(1);
  TCollisionImpact hit;
  hit.x = 1, hit.y = 2, hit.z = 3, hit.time = 0.5f, hit.triangle = 9;
  hit.entity = wall;
  mover->collisions = {hit};
  mover->collision_count = 1;

  EXPECT_EQ(mover->CountCollisions(), 1);
  EXPECT_EQ(mover->CollisionX(1), 1);
  EXPECT_EQ(mover->CollisionTriangle(1), 9);
  for (int i : {0, 2, -1}) {
    EXPECT_EQ(mover->CollisionX(i), 0);
    EXPECT_EQ(mover->CollisionEntity(i), nullptr);
    EXPECT_EQ(mover->CollisionSurface(i), nullptr);
  }
  EXPECT_EQ(mover->EntityCollided(3), wall);  // what it ran into
  EXPECT_EQ(wall->EntityCollided(1), mover);  // what ran into it
  EXPECT_EQ(wall->EntityCollided(2), nullptr);

  mover->PositionEntity(4, 5, 6);
  mover->ResetEntity();
  EXPECT_EQ(mover->CountCollisions(), 0);
  EXPECT_EQ(mover->prev_z, 6);
}

TEST_F(EntityServices, BoundingSphere) {
  MeshPtr m = TMesh::CreateMesh();
  m->bounds_min_x = -1, m->bounds_min_y = -1, m->bounds_min_z = -1;
  m->bounds_max_x = 3, m->bounds_max_y = 1, m->bounds_max_z = 1;
  m->MeshCullRadius(2);
  EXPECT_EQ(m->cull_radius, -2);

  struct Case {
    float sx, sy, sz, radius, cx;
  } cases[] = {
      {1, 1, 1, 2, 1},
      {1, 3, 2, 6, 1},
      {-3, 1, 1, 6, -3},  // mirrored: the absolute scale counts
  };
  for (const Case& c : cases) {
    m->ScaleEntity(c.sx, c.sy, c.sz);
    TSphere s = m->BoundingSphere();
    EXPECT_NEAR(s.radius, c.radius, 1e-5) << c.sx << "," << c.sy << "," << c.sz;
    EXPECT_NEAR(s.centre.x, c.cx, 1e-5);
  }

  PivotPtr p = TPivot::CreatePivot();
  p->PositionEntity(1, 2, 3);
  p->MeshCullRadius(4);
  TSphere s = p->BoundingSphere();
  EXPECT_EQ(s.radius, 4);
  EXPECT_NEAR(s.centre.z, 3, 1e-6);
}

}  // namespace
