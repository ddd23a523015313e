// Octrees: the build limits and the fatal error, how many leaves and pieces a build
// makes, the budgets that stop runaway builds, picks through the octree agreeing with
// the triangle-by-triangle picks, and the octree staying as built after vertex edits.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string>

#include "engine/collision/octree.h"
#include "engine/collision/pick.h"
#include "engine/collision/plane.h"
#include "engine/collision/polygon.h"
#include "platform/runtime.h"
#include "scenes.h"
#include "support/engine_reset.h"

namespace collision_test {
namespace {

class OctreeTest : public EngineTest {};

struct TreeShape {
  int leaves = 0, nodes = 0, pieces = 0, depth = 0;
};
void Measure(const TOctree& node, int level, TreeShape& shape) {
  ++shape.nodes;
  shape.depth = std::max(shape.depth, level);
  if (node.IsLeaf()) {
    ++shape.leaves;
    shape.pieces += int(node.polygons.size());
    return;
  }
  EXPECT_EQ(node.children.size(), 8u);
  EXPECT_TRUE(node.polygons.empty());
  for (const TOctree& child : node.children) Measure(child, level + 1, shape);
}
TreeShape Shape(const MeshPtr& mesh) {
  TreeShape shape;
  if (mesh->octree) Measure(*mesh->octree, 0, shape);
  return shape;
}

TEST_F(OctreeTest, BothLimitsAtOrBelowZeroAreFatal) {
  MeshPtr mesh = MakeFloor(1);
  TOctree::CreateOctree(mesh, 4, 1);
  const OctreePtr before = mesh->octree;
  for (auto [polys, levels] : {std::pair{0, 0}, std::pair{-1, -5}}) {
    try {
      TOctree::CreateOctree(mesh, polys, levels);
      ADD_FAILURE() << polys << ", " << levels << " built";
    } catch (const FatalError& e) {
      EXPECT_STREQ(e.what(), "Octree cannot be created - max_polys or max_levels must be greater than 0");
    }
    EXPECT_EQ(mesh->octree, before);  // the old tree stays
  }
}

TEST_F(OctreeTest, LimitsShapeTheTree) {
  struct Case {
    const char* name;
    std::function<MeshPtr()> mesh;
    int max_polys, max_levels;
    int leaves;
  };
  const auto two_quads = [] {
    MeshPtr m = MakeFloor(1);
    AddQuad(m->GetSurface(1), TVector::Create(-1, 1, -1), TVector::Create(0, 0, 2), TVector::Create(2, 0, 0));
    return m;
  };
  const Case cases[] = {
      {"max_polys 0 splits every cell, once", [] { return MakeFloor(1); }, 0, 1, 8},
      {"max_polys 0, two levels", [] { return MakeFloor(1); }, 0, 2, 64},
      {"negative max_polys counts as 0", [] { return MakeFloor(1); }, -3, 2, 64},
      {"empty mesh, max_polys 0", [] { return TMesh::CreateMesh(); }, 0, 1, 8},
      {"four triangles under max_polys 5", two_quads, 5, 1, 1},
      {"two distinct triangles reach max_polys 2", [] { return MakeFloor(1); }, 2, 1, 8},
  };
  for (const Case& c : cases) {
    MeshPtr mesh = c.mesh();
    TOctree::CreateOctree(mesh, c.max_polys, c.max_levels);
    ASSERT_NE(mesh->octree, nullptr) << c.name;
    EXPECT_EQ(Shape(mesh).leaves, c.leaves) << c.name;
    EXPECT_EQ(TOctree::no_polys_mesh, mesh->CountTriangles()) << c.name;
  }
}

TEST_F(OctreeTest, SplitTestCountsSourceTrianglesByIndexOnly) {
  TPolygon piece;
  piece.AddVertex(TVector::Create(0, 0, 0));
  std::vector<TPolygon> polys(3, piece);
  polys[0].triangle = 7, polys[1].triangle = 7, polys[2].triangle = 3;  // two pieces of triangle 7
  polys[1].surface = std::make_shared<TSurface>();                      // ... one from another surface
  EXPECT_EQ(TOctree::TestTris(polys, 2), 1);
  EXPECT_EQ(TOctree::TestTris(polys, 3), 0);
  EXPECT_EQ(TOctree::TestTris({}, 0), 1);
  EXPECT_EQ(TOctree::TestTris({}, 1), 0);
}

TEST_F(OctreeTest, CrossingTrianglesAreCutIntoEveryCellTheyReach) {
  // One triangle through the middle of a box given its extent by a far-off corner pair.
  MeshPtr mesh = TMesh::CreateMesh();
  SurfacePtr s = mesh->CreateSurface();
  s->AddVertex(-1, -1, -1), s->AddVertex(1, 1, 1);  // the bounds
  const int a = s->AddVertex(-0.8f, 0.1f, -0.8f), b = s->AddVertex(-0.8f, 0.1f, 0.8f), c = s->AddVertex(0.8f, 0.1f, 0.8f);
  s->AddTriangle(a, b, c);
  const int stored_before = TOctree::no_polys_octree;
  TOctree::CreateOctree(mesh, 0, 1);
  const TreeShape shape = Shape(mesh);
  EXPECT_EQ(shape.leaves, 8);
  EXPECT_GT(shape.pieces, 1);
  EXPECT_EQ(TOctree::no_polys_octree - stored_before, shape.pieces);
  int cells_with_pieces = 0;
  for (const TOctree& leaf : mesh->octree->children) {
    bool any = false;
    for (const TPolygon& p : leaf.polygons) {
      EXPECT_EQ(p.surface, s);
      EXPECT_EQ(p.triangle, 0);
      any = any || p.vertex_count == 3;
    }
    cells_with_pieces += any;
  }
  EXPECT_EQ(cells_with_pieces, 3);  // the triangle covers three of the four upper quarters
}

// Checks the subtree against the polygon operations themselves: a cell splits exactly
// when TestTris says so within the level limit, by SplitPolygons through its centre
// planes (x, then y, then z), and a leaf holds the resulting pieces in order, bit for
// bit, with their surfaces and triangles.
void ExpectBuiltAsSplit(const TOctree& node, const std::vector<TPolygon>& polys, int max_polys, int max_levels,
                        int level, const std::string& where) {
  const bool splits = level + 1 <= max_levels && TOctree::TestTris(polys, max_polys);
  ASSERT_EQ(!node.IsLeaf(), splits) << where;
  if (!splits) {
    ASSERT_EQ(node.polygons.size(), polys.size()) << where;
    size_t i = 0;
    for (const TPolygon& got : node.polygons) {
      const TPolygon& want = polys[i++];
      EXPECT_EQ(got.vertex_count, want.vertex_count) << where << " piece " << i;
      EXPECT_EQ(got.triangle, want.triangle) << where << " piece " << i;
      EXPECT_EQ(got.surface, want.surface) << where << " piece " << i;
      for (int v = 0; v < std::min(got.vertex_count, want.vertex_count); ++v)
        EXPECT_EQ(std::memcmp(&got.vertices[v], &want.vertices[v], sizeof(TVector)), 0) << where << " piece " << i;
    }
    return;
  }
  const TVector centre = TVector::Create(node.centre_x, node.centre_y, node.centre_z);
  const TPlane planes[3] = {TPlane::CreatePlane(centre, TVector::Create(-1, 0, 0)),
                            TPlane::CreatePlane(centre, TVector::Create(0, -1, 0)),
                            TPlane::CreatePlane(centre, TVector::Create(0, 0, -1))};
  std::vector<TPolygon> halves[2], quarters[4], sets[8];
  TPolygon::SplitPolygons(polys, planes[0], halves[0], halves[1]);
  for (int x = 0; x < 2; ++x) TPolygon::SplitPolygons(halves[x], planes[1], quarters[2 * x], quarters[2 * x + 1]);
  for (int q = 0; q < 4; ++q) TPolygon::SplitPolygons(quarters[q], planes[2], sets[2 * q], sets[2 * q + 1]);
  for (int i = 0; i < 8; ++i)
    ExpectBuiltAsSplit(node.children[size_t(i)], sets[i], max_polys, max_levels, level + 1,
                       where + "/" + std::to_string(i));
}

// Adds the corners in the order given (arguments of one call have no order) and the
// triangle through them.
void AddTriangleAt(TSurface& s, const TVector& a, const TVector& b, const TVector& c) {
  const int i = s.AddVertex(a.x, a.y, a.z), j = s.AddVertex(b.x, b.y, b.z), k = s.AddVertex(c.x, c.y, c.z);
  s.AddTriangle(i, j, k);
}

TEST_F(OctreeTest, PiecesAreThePolygonSplitsBitForBit) {
  constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
  struct Case {
    const char* name;
    std::function<MeshPtr()> mesh;
    int max_polys, max_levels;
  };
  const Case cases[] = {
      // Vertices on the centre planes, cuts at every level, two surfaces.
      {"rippled grid", [] { return MakeGrid(40, 3, 0.5f); }, 3, 4},
      // Slivers with repeated corners cut by the planes, next to proper triangles.
      {"degenerate triangles",
       [] {
         MeshPtr m = MakeGrid(6, 2);
         SurfacePtr s = m->GetSurface(1);
         const int a = s->AddVertex(-1.5f, 0.1f, -1.5f), b = s->AddVertex(1.7f, -0.2f, 1.1f);
         s->AddTriangle(a, a, b), s->AddTriangle(a, b, b), s->AddTriangle(b, a, a);
         return m;
       },
       2, 3},
      // A corner of no value: only the full signed distance puts it behind every plane.
      {"corner of no value",
       [] {
         MeshPtr m = MakeGrid(6, 2);
         SurfacePtr s = m->GetSurface(1);
         AddTriangleAt(*s, {0.5f, kNaN, 0.25f}, {-0.5f, 0.3f, 0.2f}, {0.4f, -0.1f, 0.6f});
         return m;
       },
       2, 3},
      // Coordinates past 1e30: every distance and crossing takes the plane's full equation.
      {"huge coordinates",
       [] {
         MeshPtr m = TMesh::CreateMesh();
         SurfacePtr s = m->CreateSurface();
         for (int i = 0; i < 40; ++i) {
           const float a = 1e34f * float(i % 7 - 3), b = 1e34f * float(i % 5 - 2);
           AddTriangleAt(*s, {a, b, -2e34f}, {b, 3e34f, a}, {-a, -b, 1e34f * float(i % 3)});
         }
         return m;
       },
       4, 3},
      // Hundreds of triangles across the centre: leaves hold more pieces than the mesh has
      // triangles, so some outgrow the blocks the tree keeps its pieces in.
      {"leaves larger than the mesh",
       [] {
         MeshPtr m = TMesh::CreateMesh();
         SurfacePtr s = m->CreateSurface();
         for (int i = 0; i < 300; ++i) {
           const float turn = 0.021f * float(i);
           AddTriangleAt(*s, {std::cos(turn), std::sin(turn), -1}, {-std::cos(turn), -1, std::sin(turn)},
                         {-std::sin(turn), 1, 1});
         }
         return m;
       },
       1, 1},
      // Large enough that the root's children are built on several threads.
      {"large grid", [] { return MakeGrid(91, 3, 0.5f); }, 32, 3},
  };
  for (const Case& c : cases) {
    MeshPtr mesh = c.mesh();
    TOctree::CreateOctree(mesh, c.max_polys, c.max_levels);
    ASSERT_NE(mesh->octree, nullptr) << c.name;
    ASSERT_FALSE(mesh->octree->IsLeaf()) << c.name;
    ExpectBuiltAsSplit(*mesh->octree, TPolygon::MeshToPolygons(*mesh), c.max_polys, c.max_levels, 0, c.name);
  }
}

TEST_F(OctreeTest, RunawayBuildsStopAtTheirBudgets) {
  // Every cell splits (max_polys 0) for ten levels: 8^10 cells unless something stops it.
  MeshPtr empty = TMesh::CreateMesh();
  const auto start = std::chrono::steady_clock::now();
  TOctree::CreateOctree(empty, 0, 10);
  TreeShape shape = Shape(empty);
  EXPECT_LE(shape.nodes, kMaxOctreeNodes);
  // A fan around one shared vertex keeps that cell holding max_polys triangles at any
  // depth: with no level limit only the depth ceiling stops it.
  MeshPtr fan = TMesh::CreateMesh();
  SurfacePtr s = fan->CreateSurface();
  const int centre = s->AddVertex(0.1f, 0.2f, 0.3f);
  for (int i = 0; i < 8; ++i) {
    const float a = float(i) * 0.785398f, b = float(i + 1) * 0.785398f;
    s->AddTriangle(centre, s->AddVertex(std::cos(a), 0.2f, std::sin(a)), s->AddVertex(std::cos(b), 0.2f, std::sin(b)));
  }
  TOctree::CreateOctree(fan, 2, 0);
  shape = Shape(fan);
  EXPECT_LE(shape.depth, kMaxOctreeDepth);
  EXPECT_LE(shape.nodes, kMaxOctreeNodes);
  // A mesh large enough to be built on several threads runs out of nodes as one builder
  // running depth first does: below the first child, so the others stay leaves.
  MeshPtr cluster = TMesh::CreateMesh();
  s = cluster->CreateSurface();
  AddTriangleAt(*s, {-1, -1, -1}, {-0.9f, -1, -1}, {-1, -0.9f, -1});
  AddTriangleAt(*s, {1, 1, 1}, {0.9f, 1, 1}, {1, 0.9f, 1});
  for (int i = 0; i < 20000; ++i) {
    const float at = 0.3f + 1e-7f * float(i % 100);
    AddTriangleAt(*s, {at, at, at}, {at + 1e-4f, at, at}, {at, at + 1e-4f, at});
  }
  const int kept_before = TOctree::no_polys_octree;
  TOctree::CreateOctree(cluster, 0, 7);
  shape = Shape(cluster);
  EXPECT_EQ(shape.nodes, 1 + 8 * ((kMaxOctreeNodes - 1) / 8));
  ASSERT_FALSE(cluster->octree->IsLeaf());
  EXPECT_FALSE(cluster->octree->children[0].IsLeaf());
  for (size_t i = 1; i < 8; ++i) EXPECT_TRUE(cluster->octree->children[i].IsLeaf()) << i;
  EXPECT_EQ(cluster->octree->children[7].polygons.size(), 20001u);
  EXPECT_EQ(TOctree::no_polys_octree - kept_before, shape.pieces);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

// The two trees (of two copies of a mesh) alike, bit for bit: cells, leaves, and every
// piece with its corners, triangle and surface index.
void ExpectSameTree(const TOctree& got, const TOctree& want, const std::string& where) {
  const float got_cell[6] = {got.centre_x, got.centre_y, got.centre_z, got.width, got.height, got.depth};
  const float want_cell[6] = {want.centre_x, want.centre_y, want.centre_z, want.width, want.height, want.depth};
  EXPECT_EQ(std::memcmp(got_cell, want_cell, sizeof got_cell), 0) << where;
  ASSERT_EQ(got.children.size(), want.children.size()) << where;
  ASSERT_EQ(got.polygons.size(), want.polygons.size()) << where;
  for (size_t i = 0; i < got.polygons.size(); ++i) {
    const TPolygonPiece &g = got.polygons.pieces[i], &w = want.polygons.pieces[i];
    EXPECT_TRUE(g.vertex_count == w.vertex_count && g.triangle == w.triangle && g.surface == w.surface &&
                std::memcmp(g.vertices, w.vertices, sizeof g.vertices) == 0)
        << where << " piece " << i;
  }
  for (size_t i = 0; i < got.children.size(); ++i)
    ExpectSameTree(got.children[i], want.children[i], where + "/" + std::to_string(i));
}

// The root's children are shared out among the build's threads, in whatever order they
// finish; the tree is the one a single thread builds, whatever the count, also when the
// budget refuses a split (the build then starts again on one thread).
TEST_F(OctreeTest, EveryThreadCountBuildsTheSameTree) {
  struct Case {
    const char* name;
    std::function<MeshPtr()> mesh;
    int max_polys, max_levels;
    bool refused;
  };
  const Case cases[] = {
      {"rippled grid", [] { return MakeGrid(20, 3, 0.5f); }, 3, 4, false},
      {"unbalanced: one corner dense",
       [] {
         MeshPtr m = MakeGrid(4, 3);
         for (int i = 0; i < 200; ++i) {
           const float at = 1 + 0.01f * float(i % 50);
           AddTriangleAt(*m->GetSurface(1), {at, at, at}, {at + 0.3f, at, at}, {at, at + 0.2f, at - 0.1f});
         }
         return m;
       },
       2, 6, false},
      {"budget refuses a split", [] { return MakeFloor(1); }, 0, 7, true},
  };
  struct KeepSetting {
    ~KeepSetting() { TOctree::SetBuildThreads(setting); }
    int setting = TOctree::SetBuildThreads(1);
  } keep;
  for (const Case& c : cases) {
    TOctree::SetBuildThreads(1);
    MeshPtr want = c.mesh();
    const int kept_before = TOctree::no_polys_octree;
    TOctree::CreateOctree(want, c.max_polys, c.max_levels);
    const int want_kept = TOctree::no_polys_octree - kept_before;
    ASSERT_FALSE(want->octree->IsLeaf()) << c.name;
    EXPECT_EQ(Shape(want).nodes == 1 + 8 * ((kMaxOctreeNodes - 1) / 8), c.refused) << c.name;
    for (int threads : {2, 3, 8}) {
      TOctree::SetBuildThreads(threads);
      MeshPtr got = c.mesh();
      const int before = TOctree::no_polys_octree;
      TOctree::CreateOctree(got, c.max_polys, c.max_levels);
      EXPECT_EQ(TOctree::no_polys_octree - before, want_kept) << c.name << ", " << threads << " threads";
      ExpectSameTree(*got->octree, *want->octree, std::string(c.name) + ", " + std::to_string(threads) + " threads");
    }
  }
}

struct PickResult {
  TEntity* entity;
  float time;
  TVector point;
  TSurface* surface;
  int triangle;
};
PickResult Picked() {
  return {TPick::PickedEntity().get(), TPick::PickedTime(),
          TVector::Create(TPick::PickedX(), TPick::PickedY(), TPick::PickedZ()), TPick::PickedSurface().get(),
          TPick::PickedTriangle()};
}

TEST_F(OctreeTest, OctreePicksEqualTriangleByTrianglePicks) {
  // The same bumpy grid twice, placed alike; one gets an octree. Pick each with the same
  // segments (a fixed pseudo-random set) with only that one pickable.
  MeshPtr plain = MakeGrid(24, 6), tree = MakeGrid(24, 6);
  for (const MeshPtr& m : {plain, tree}) {
    m->PositionEntity(1, -1, 2);
    m->RotateEntity(10, 30, 0);
    m->ScaleEntity(1.5f, 1, 1.5f);
  }
  TOctree::CreateOctree(tree, 4, 6);
  ASSERT_GT(Shape(tree).leaves, 64);
  unsigned seed = 12345;
  auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return float((seed >> 8) & 0xffff) / 65535.0f;
  };
  int hits = 0;
  for (int i = 0; i < 400; ++i) {
    const TVector from = TVector::Create(next() * 16 - 8, 4 + next() * 4, next() * 16 - 8 + 2);
    const TVector move = TVector::Create(next() * 8 - 4, -10 - next() * 4, next() * 8 - 4);
    plain->EntityPickMode(kPickPolygons), tree->EntityPickMode(kPickNone);
    TPick::LinePick(from.x, from.y, from.z, move.x, move.y, move.z);
    const PickResult want = Picked();
    plain->EntityPickMode(kPickNone), tree->EntityPickMode(kPickPolygons);
    TPick::LinePick(from.x, from.y, from.z, move.x, move.y, move.z);
    const PickResult got = Picked();
    ASSERT_EQ(got.entity == tree.get(), want.entity == plain.get()) << "segment " << i;
    if (!want.entity) continue;
    ++hits;
    EXPECT_NEAR(got.time, want.time, 1e-5f) << "segment " << i;
    EXPECT_EQ(Apart(got.point, want.point, 1e-3f), "") << "segment " << i;
    EXPECT_EQ(got.triangle, want.triangle) << "segment " << i;
    EXPECT_EQ(got.surface == tree->GetSurface(1).get(), want.surface == plain->GetSurface(1).get()) << i;
  }
  EXPECT_GT(hits, 200);
}

TEST_F(OctreeTest, OctreeKeepsTheGeometryItWasBuiltFrom) {
  MeshPtr floor = MakeFloor(1);
  floor->EntityPickMode(kPickPolygons);
  TOctree::CreateOctree(floor, 1, 2);
  for (int v = 0; v < 4; ++v) floor->GetSurface(1)->VertexCoords(v, floor->GetSurface(1)->VertexX(v), 5, floor->GetSurface(1)->VertexZ(v));
  EXPECT_EQ(TPick::LinePick(0.5f, 2, -0.5f, 0, -4, 0), floor);
  EXPECT_NEAR(TPick::PickedY(), 0.0f, kNear);  // the old place
  TOctree::CreateOctree(floor, 1, 2);
  EXPECT_EQ(TPick::LinePick(0.5f, 2, -0.5f, 0, -4, 0), nullptr);  // rebuilt: it moved up to 5
  EXPECT_EQ(TPick::LinePick(0.5f, 8, -0.5f, 0, -4, 0), floor);

  MeshPtr empty = TMesh::CreateMesh();
  empty->EntityPickMode(kPickPolygons);
  TOctree::CreateOctree(empty, 1, 3);
  EXPECT_EQ(TPick::LinePick(0, 20, 0, 0, -40, 0), floor);  // nothing in the empty one
}

}  // namespace
}  // namespace collision_test
