// Operations of picking and collision that the engine keeps for programs and tools but no
// longer calls itself (the octree's queries gather their triangles in one go), each
// through what it gives back: the lowest root and the barycentric weights, the pick of a
// leaf's triangles, the sweep of a leaf's triangles in either space, and the leaf
// highlight.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/collision/collision.h"
#include "engine/collision/octree.h"
#include "engine/collision/pick.h"
#include "engine/mesh/surface.h"
#include "scenes.h"
#include "support/engine_reset.h"

namespace collision_test {
namespace {

class LoneOperationsTest : public EngineTest {};

TEST_F(LoneOperationsTest, LowestRootTakesTheLowerRootInsideTheOpenRange) {
  constexpr float kUntouched = 42;
  struct Case {
    const char* name;
    float a, b, c, max_root;
    int found;
    float root;
  };
  const Case cases[] = {
      {"roots 1 and 2", 1, -3, 2, 3, 1, 1},
      {"only the lower below the bound", 1, -3, 2, 1.5f, 1, 1},
      {"the bound itself is out", 1, -3, 2, 1, 0, kUntouched},
      {"a negative root is passed over", 1, -1, -2, 3, 1, 2},
      {"a root at 0 is passed over", 1, -1, 0, 3, 1, 1},
      {"negative a: the roots are sorted", -1, 3, -2, 3, 1, 1},
      {"no real root", 1, 0, 1, 3, 0, kUntouched},
      {"a = 0 gives no root", 0, 1, -1, 3, 0, kUntouched},
  };
  for (const Case& c : cases) {
    float root = kUntouched;
    EXPECT_EQ(TCollision::getLowestRoot(c.a, c.b, c.c, c.max_root, root), c.found) << c.name;
    EXPECT_EQ(root, c.root) << c.name;
  }
}

TEST_F(LoneOperationsTest, BarycentricGivesTheWeightsOfTheCorners) {
  const TVector a = TVector::Create(0, 0, 0), b = TVector::Create(4, 0, 0), c = TVector::Create(0, 4, 0);
  struct Case {
    const char* name;
    TVector p;
    float u, v, w;
  };
  const Case cases[] = {
      {"corner a", a, 1, 0, 0},
      {"corner b", b, 0, 1, 0},
      {"corner c", c, 0, 0, 1},
      {"inside", TVector::Create(1, 1, 0), 0.5f, 0.25f, 0.25f},
      {"off the plane: its projection", TVector::Create(1, 1, 3), 0.5f, 0.25f, 0.25f},
      {"outside: a negative weight", TVector::Create(4, 4, 0), -1, 1, 1},
  };
  for (const Case& k : cases) {
    float u = -9, v = -9, w = -9;
    EXPECT_EQ(TCollision::Barycentric(a, b, c, k.p, u, v, w), 0) << k.name;
    EXPECT_EQ(u, k.u) << k.name;
    EXPECT_EQ(v, k.v) << k.name;
    EXPECT_EQ(w, k.w) << k.name;
  }
}

// A floor of two triangles (0 where z >= x, 1 where z <= x) whose octree is one leaf.
MeshPtr FloorInOneLeaf(float half) {
  MeshPtr floor = MakeFloor(half);
  TOctree::CreateOctree(floor, 1000, 1);
  return floor;
}

TEST_F(LoneOperationsTest, PickPolysAcceptsTheLeafsNearestTriangleWithinBest) {
  const MeshPtr floor = FloorInOneLeaf(2);
  ASSERT_TRUE(floor->octree->IsLeaf());
  struct Case {
    const char* name;
    TVector a, b;
    float best;
    int result;
    int triangle;  // and time, when it hits
    float time;
  };
  const Case cases[] = {
      {"triangle 0 from above", {-0.5f, 5, 0.5f}, {-0.5f, -5, 0.5f}, 1, 1, 0, 0.5f},
      {"triangle 1 from above", {0.5f, 5, -0.5f}, {0.5f, -5, -0.5f}, 1, 1, 1, 0.5f},
      {"a hit at the segment's end counts", {-0.5f, 1, 0.5f}, {-0.5f, 0, 0.5f}, 1, 1, 0, 1},
      {"from below", {-0.5f, -5, 0.5f}, {-0.5f, 5, 0.5f}, 1, 0, 0, 0},
      {"beside the floor", {5, 5, 5}, {5, -5, 5}, 1, 0, 0, 0},
      {"a nearer hit is already held", {-0.5f, 5, 0.5f}, {-0.5f, -5, 0.5f}, 0.25f, 0, 0, 0},
  };
  for (const Case& c : cases) {
    TPick::picked_ent.reset();
    TPick::picked_time = 7;
    float best = c.best;
    EXPECT_EQ(TPick::PickPolys(c.a, c.b, floor->octree->polygons, *floor, best), c.result) << c.name;
    if (!c.result) {
      EXPECT_EQ(best, c.best) << c.name;
      EXPECT_FALSE(TPick::picked_ent) << c.name;
      EXPECT_EQ(TPick::picked_time, 7) << c.name;
      continue;
    }
    EXPECT_EQ(best, c.time) << c.name;
    EXPECT_EQ(TPick::PickedTime(), c.time) << c.name;
    EXPECT_EQ(TPick::PickedEntity(), floor) << c.name;
    EXPECT_EQ(TPick::PickedSurface(), floor->GetSurface(1)) << c.name;
    EXPECT_EQ(TPick::PickedTriangle(), c.triangle) << c.name;
    EXPECT_EQ(Apart(TVector::Create(TPick::PickedX(), TPick::PickedY(), TPick::PickedZ()),
                    TVector::Create(c.a.x, 0, c.a.z)),
              "")
        << c.name;
    EXPECT_EQ(TPick::PickedNY(), 1) << c.name;
  }
}

// A leaf's sweep, in world space (2) or mesh space (4), ends as the walk over every
// triangle of the mesh in that space ends, bit for bit, and at the distance the geometry
// gives. The floor is raised 1 and scaled 2, so that the two spaces differ.
TEST_F(LoneOperationsTest, PolysCheckCollisionSweepsALeafInEitherSpace) {
  const MeshPtr floor = FloorInOneLeaf(4);
  floor->PositionEntity(0, 1, 0);
  floor->ScaleEntity(2, 2, 2);
  struct Case {
    const char* name;
    int method;
    TVector base, velocity;  // unit-sphere space: world (2), or mesh units over 0.5 (4)
    int found;
    float distance;
  };
  const Case cases[] = {
      {"world: falls onto the floor at y 1", kSphereToMeshWorld, {0, 4, 0}, {0, -5, 0}, 1, 2},
      {"world: beside the floor", kSphereToMeshWorld, {20, 4, 0}, {0, -5, 0}, 0, 0},
      {"world: moving away", kSphereToMeshWorld, {0, 4, 0}, {0, 5, 0}, 0, 0},
      {"mesh: falls onto the floor at y 0", kSphereToMeshLocal, {0, 6, 0}, {0, -10, 0}, 1, 5},
      {"mesh: beside the floor", kSphereToMeshLocal, {20, 6, 0}, {0, -10, 0}, 0, 0},
  };
  for (const Case& c : cases) {
    TCollisionPacket leaf;
    leaf.method = c.method;
    leaf.mesh = floor.get();
    leaf.divisor = c.method == kSphereToMeshWorld ? TVector::Create(1, 1, 1) : TVector::Create(0.5f, 0.5f, 0.5f);
    leaf.base_point = c.base;
    leaf.velocity = c.velocity;
    leaf.normalized_velocity = c.velocity;
    leaf.normalized_velocity.Normalize();
    TCollisionPacket walk = leaf;
    if (c.method == kSphereToMeshWorld) {
      EXPECT_EQ(TCollision::PolysCheckCollision2(leaf, floor->octree->polygons), 0) << c.name;
      TCollision::MeshCheckCollision2(walk);
    } else {
      EXPECT_EQ(TCollision::PolysCheckCollision4(leaf, floor->octree->polygons), 0) << c.name;
      TCollision::MeshCheckCollision4(walk);
    }
    ASSERT_EQ(leaf.found_collision, c.found) << c.name;
    ASSERT_EQ(walk.found_collision, c.found) << c.name;
    if (!c.found) continue;
    EXPECT_EQ(leaf.nearest_distance, c.distance) << c.name;
    EXPECT_EQ(std::memcmp(&leaf.nearest_distance, &walk.nearest_distance, sizeof(float)), 0) << c.name;
    EXPECT_EQ(std::memcmp(&leaf.intersection_point, &walk.intersection_point, sizeof(TVector)), 0) << c.name;
    EXPECT_EQ(leaf.surface, walk.surface) << c.name;
    EXPECT_EQ(leaf.triangle, walk.triangle) << c.name;
  }
}

// Two quads on two surfaces, in opposite octants of the root cell (quad A low on every
// axis, quad B high), and one vertex no triangle uses: a node's highlight turns red the
// vertices of the triangles its own pieces come from, and nothing below it.
TEST_F(LoneOperationsTest, HighlightTrisColoursTheTrianglesOfTheNodesOwnPieces) {
  struct Case {
    const char* name;
    int max_polys;
    int child;  // -1: the root
    bool a_red, b_red;
  };
  const Case cases[] = {
      {"a root that is a leaf", 1000, -1, true, true},
      {"a root that was split: it does not descend", 1, -1, false, false},
      {"the low child", 1, 0, true, false},
      {"the high child", 1, 7, false, true},
      {"an empty child", 1, 3, false, false},
  };
  for (const Case& c : cases) {
    ResetEngine();
    MeshPtr mesh = TMesh::CreateMesh();
    const SurfacePtr a = mesh->CreateSurface(), b = mesh->CreateSurface();
    AddQuad(a, TVector::Create(-3, -3, -3), TVector::Create(0, 0, 1), TVector::Create(1, 0, 0));
    AddQuad(b, TVector::Create(2, 3, 2), TVector::Create(0, 0, 1), TVector::Create(1, 0, 0));
    const int loose = b->AddVertex(0, 0, 0);
    for (const SurfacePtr& s : {a, b})
      for (int v = 0; v < s->CountVertices(); ++v) s->VertexColor(v, 0, 0, 255, 0.5f);
    TOctree::CreateOctree(mesh, c.max_polys, 1);
    const TOctree& root = *mesh->octree;
    ASSERT_EQ(root.IsLeaf(), c.max_polys == 1000) << c.name;
    (c.child < 0 ? root : root.children[size_t(c.child)]).HighlightTris();

    auto red = [](const TSurface& s, int v) {
      return s.VertexRed(v) == 255 && s.VertexGreen(v) == 0 && s.VertexBlue(v) == 0 && s.VertexAlpha(v) == 1;
    };
    auto untouched = [](const TSurface& s, int v) {
      return s.VertexRed(v) == 0 && s.VertexGreen(v) == 0 && s.VertexBlue(v) == 255 && s.VertexAlpha(v) == 0.5f;
    };
    for (int v = 0; v < 4; ++v) {
      EXPECT_TRUE(c.a_red ? red(*a, v) : untouched(*a, v)) << c.name << ", quad A vertex " << v;
      EXPECT_TRUE(c.b_red ? red(*b, v) : untouched(*b, v)) << c.name << ", quad B vertex " << v;
    }
    EXPECT_TRUE(untouched(*b, loose)) << c.name;
  }
}

}  // namespace
}  // namespace collision_test
