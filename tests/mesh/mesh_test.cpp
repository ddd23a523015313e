// Mesh structure: surfaces, lookups, copies that share geometry, bounds and cull radius.
#include <cmath>

#include "engine/mesh/bone.h"
#include "engine/mesh/brush.h"
#include "engine/mesh/mesh.h"
#include "engine/mesh/surface.h"
#include "support/engine_reset.h"

namespace {

using MeshStructure = EngineTest;

SurfacePtr AddQuad(const MeshPtr& m, float x0, float y0, float z0, float x1, float y1, float z1,
                   const BrushPtr& brush = nullptr) {
  SurfacePtr s = m->CreateSurface(brush);
  s->AddVertex(x0, y0, z0);
  s->AddVertex(x1, y1, z1);
  s->AddVertex(x0, y1, z1);
  s->AddTriangle(0, 1, 2);
  return s;
}

TEST_F(MeshStructure, EmptyMeshBounds) {
  MeshPtr m = TMesh::CreateMesh();
  EXPECT_EQ(m->EntityClass(), "Mesh");
  EXPECT_FLOAT_EQ(m->MeshWidth(), -2000000000.0f);
  EXPECT_NEAR(m->cull_radius, std::sqrt(3.0) * 1e9, 1e3);
}

TEST_F(MeshStructure, BoundsAndCullRadius) {
  struct Case {
    float x0, y0, z0, x1, y1, z1;
    float radius;
  } cases[] = {
      {1, 2, 3, 1, 2, 3, 0},                              // one point: no extent
      {0, 0, 0, 4, 2, 2, float(std::sqrt(3.0) * 2)},      // width wins
      {0, 0, 0, 2, 4, 4, float(std::sqrt(3.0) * 2)},      // height wins its tie with depth
  };
  for (const Case& c : cases) {
    MeshPtr m = TMesh::CreateMesh();
    AddQuad(m, c.x0, c.y0, c.z0, c.x1, c.y1, c.z1);
    m->GetBounds();
    EXPECT_NEAR(m->cull_radius, c.radius, 1e-4);
    EXPECT_EQ(m->bounds_min_z, std::min(c.z0, c.z1));  // public z, not the stored one
    EXPECT_FLOAT_EQ(m->MeshDepth(), std::fabs(c.z1 - c.z0));
  }

  // A fixed (negative) radius survives recomputation; bounds still follow the geometry.
  MeshPtr m = TMesh::CreateMesh();
  SurfacePtr s = AddQuad(m, 0, 0, 0, 1, 1, 1);
  m->MeshCullRadius(10);
  s->VertexCoords(0, -5, 0, 0);
  m->GetBounds();
  EXPECT_EQ(m->cull_radius, -10);
  EXPECT_EQ(m->bounds_min_x, -5);
}

// Extents read right after AddVertex take the new vertex in, with no triangle or other
// edit between: adding a vertex changes the geometry the bounds describe.
TEST_F(MeshStructure, ExtentsFollowEachAddedVertex) {
  struct Case {
    float x, y, z;
    float width, height, depth;
  } cases[] = {
      {1, 2, 3, 0, 0, 0},  // the first vertex: no extent yet
      {4, 2, 3, 3, 0, 0},
      {4, -1, 3, 3, 3, 0},
      {0, 0, -2, 4, 3, 5},
  };
  MeshPtr m = TMesh::CreateMesh();
  SurfacePtr s = m->CreateSurface();
  EXPECT_FLOAT_EQ(m->MeshWidth(), -2000000000.0f);  // read once while empty: bounds not stale now
  for (const Case& c : cases) {
    s->AddVertex(c.x, c.y, c.z);
    EXPECT_FLOAT_EQ(m->MeshWidth(), c.width) << "after vertex " << c.x << ", " << c.y << ", " << c.z;
    EXPECT_FLOAT_EQ(m->MeshHeight(), c.height) << "after vertex " << c.x << ", " << c.y << ", " << c.z;
    EXPECT_FLOAT_EQ(m->MeshDepth(), c.depth) << "after vertex " << c.x << ", " << c.y << ", " << c.z;
  }
}

TEST_F(MeshStructure, SurfaceLookups) {
  MeshPtr m = TMesh::CreateMesh();
  BrushPtr red = TBrush::CreateBrush(255, 0, 0);
  BrushPtr red_too = TBrush::CreateBrush(255, 0, 0);
  SurfacePtr plain = m->CreateSurface();
  SurfacePtr first_red = m->CreateSurface(red);
  m->CreateSurface(red_too);
  EXPECT_EQ(m->CountSurfaces(), 3);
  EXPECT_EQ(m->GetSurface(0), nullptr);
  EXPECT_EQ(m->GetSurface(1), plain);
  EXPECT_EQ(m->GetSurface(4), nullptr);
  EXPECT_EQ(m->FindSurface(red_too), first_red);
  EXPECT_EQ(m->FindSurface(nullptr), plain);
  EXPECT_EQ(m->FindSurface(TBrush::CreateBrush(0, 0, 255)), nullptr);
  EXPECT_EQ(first_red->brush, red);  // the brush object itself, shared
}

TEST_F(MeshStructure, CopiesShareGeometryAndKeepTheirOwnBounds) {
  MeshPtr a = TMesh::CreateMesh();
  SurfacePtr s = AddQuad(a, 0, 0, 0, 1, 1, 1);
  auto b = std::static_pointer_cast<TMesh>(a->CopyEntity(nullptr));
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->GetSurface(1), s);
  EXPECT_FLOAT_EQ(a->MeshWidth(), 1);
  EXPECT_FLOAT_EQ(b->MeshWidth(), 1);

  // A change through one: both see it, whichever looks first.
  s->VertexCoords(0, -3, 0, 0);
  EXPECT_FLOAT_EQ(a->MeshWidth(), 4);
  EXPECT_FLOAT_EQ(b->MeshWidth(), 4);

  // A surface created through one is drawn, and counted, by both.
  AddQuad(b, 0, 0, 0, 2, 2, 2);
  EXPECT_EQ(a->CountSurfaces(), 2);
  EXPECT_EQ(b->CountTriangles(), 2);
  EXPECT_EQ(a->CountVertices(), 6);

  // Freeing the source leaves the copy its surfaces.
  a->FreeEntity();
  EXPECT_EQ(b->CountSurfaces(), 2);
  EXPECT_EQ(b->GetSurface(1)->CountVertices(), 3);
}

TEST_F(MeshStructure, CopyBonesListDepthFirst) {
  MeshPtr m = TMesh::CreateMesh();
  PivotPtr holder = TPivot::CreatePivot(m);
  auto make_bone = [](const EntityPtr& parent, const char* name) {
    auto b = std::make_shared<TBone>();
    b->name = name;
    b->AddParent(parent);
    b->EntityListAdd(TEntity::entity_list);
    return b;
  };
  BonePtr b1 = make_bone(holder, "b1");
  make_bone(b1, "b2");
  make_bone(m, "b3");
  TList<TBone> bones;
  TMesh::CopyBonesList(m.get(), bones);
  std::string names;
  for (const BonePtr& b : bones) names += b->name + " ";
  EXPECT_EQ(names, "b1 b2 b3 ");

  // A copy lists the copies of its source's bones; freeing the mesh frees them all.
  for (const BonePtr& b : bones) m->bones.AddLast(b);
  auto copy = std::static_pointer_cast<TMesh>(m->CopyEntity(nullptr));
  ASSERT_EQ(copy->bones.Count(), 3u);
  EXPECT_NE(copy->bones.First(), b1);
  EXPECT_EQ(copy->bones.First()->name, "b1");
  m->FreeEntity();
  copy->FreeEntity();
  EXPECT_TRUE(TEntity::entity_list.IsEmpty());
}

TEST_F(MeshStructure, EntityBlendReachesSurfaceBrushes) {
  MeshPtr m = TMesh::CreateMesh();
  BrushPtr shared = TBrush::CreateBrush();
  m->CreateSurface(shared);
  m->CreateSurface(shared);
  SurfacePtr bare = m->CreateSurface();
  m->EntityBlend(3);
  EXPECT_EQ(m->brush->blend, 3);
  EXPECT_EQ(shared->blend, 3);
  EXPECT_EQ(bare->brush, nullptr);
}

TEST_F(MeshStructure, PaintEntityCopiesValuesNotTheBrush) {
  PivotPtr e = TPivot::CreatePivot();
  BrushPtr b = TBrush::CreateBrush(255, 0, 0);
  b->texture_frame = 5;
  b->alpha = 0.5f;
  e->PaintEntity(b);
  EXPECT_NE(e->brush, b);
  EXPECT_EQ(e->brush->alpha, 0.5f);
  EXPECT_EQ(e->brush->green, 0);
  EXPECT_EQ(e->brush->texture_frame, 0);
  e->EntityColor(0, 255, 0);
  EXPECT_EQ(b->green, 0);
  BrushPtr got = TBrush::GetEntityBrush(e);
  got->BrushAlpha(0.25f);
  EXPECT_EQ(e->brush->alpha, 0.5f);
  EXPECT_EQ(got->green, 1);
  EXPECT_EQ(TBrush::GetEntityBrush(nullptr), nullptr);
  e->EntityAutoFade(5, 10);
  EXPECT_EQ(e->auto_fade, 1);
  EXPECT_EQ(e->fade_far, 10);
}

}  // namespace
