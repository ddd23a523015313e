// An octree only makes the same queries faster: picks and collision sweeps against a mesh
// with one give the answer they give without it, bit for bit, whatever the tree's limits.
// Each scene is built twice through the public commands, once with an octree, and the
// same picks and sweeps are run on both; every value they report is compared.
#include <gtest/gtest.h>

#include <array>
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "engine/collision/collision.h"
#include "engine/collision/pick.h"
#include "engine/commands/commands.h"
#include "scenes.h"
#include "support/engine_reset.h"

namespace collision_test {
namespace {

using namespace velmora;
using collision_test::AddQuad;

constexpr int kMoverType = 1, kWorldType = 2;

class OctreeAnswerTest : public EngineTest {};

struct Random {
  unsigned seed;
  float Next() {  // 0..1
    seed = seed * 1103515245u + 12345u;
    return float((seed >> 8) & 0xffff) / 65535.0f;
  }
  float Between(float lo, float hi) { return lo + (hi - lo) * Next(); }
  TVector In(float lo, float hi) { return TVector::Create(Between(lo, hi), Between(lo, hi), Between(lo, hi)); }
};

void Triangle(const SurfacePtr& s, const TVector& a, const TVector& b, const TVector& c) {
  AddTriangle(s, AddVertex(s, a.x, a.y, a.z, 0, 0, 0), AddVertex(s, b.x, b.y, b.z, 0, 0, 0),
              AddVertex(s, c.x, c.y, c.z, 0, 0, 0));
}

enum class Scene {
  kFloor,   // one quad at y = 0, 10 across
  kGround,  // a rippled ground with walls round it and a ramp, turned, scaled and moved
  kSoup,    // triangles facing every way on two surfaces, some repeated on the other one
  kWild,    // the floor with a triangle of a NaN corner and a huge one above it
  kRoad,    // a road strip 1000 long and 1 to 8 wide cut into quads, turned and scaled (one per variant)
  kCoplanar,  // triangles overlapping one another in the plane y = 0
  kMoved,     // a grid whose shared vertices were moved after it was built, some triangles folded over
};

// A road strip's frame: its start, unit directions along it, across it and up from it,
// and its width and its count of quads, from the variant.
struct RoadFrame {
  TVector origin, along, across, up;
  float width, scale;
  int quads;
  explicit RoadFrame(unsigned variant) {
    Random random{variant * 7919u + 17};
    const float yaw = random.Between(0, 6.2832f), pitch = random.Between(-0.3f, 0.3f), roll = random.Between(-0.3f, 0.3f);
    along = TVector::Create(std::cos(yaw) * std::cos(pitch), std::sin(pitch), std::sin(yaw) * std::cos(pitch));
    const TVector side = TVector::Create(-std::sin(yaw), 0, std::cos(yaw));
    up = along.Cross(side);
    up.Normalize();
    across = side.Multiply(std::cos(roll)).Add(up.Multiply(std::sin(roll)));
    up = across.Cross(along);
    up.Normalize();
    origin = random.In(-50, 50);
    width = random.Between(1, 8);
    scale = random.Between(0.5f, 2);
    quads = 1 + int(random.Next() * 7.99f);
  }
  // The point x along, z across and h up, in the mesh's (and the world's) space.
  TVector At(float x, float z, float h) const {
    return origin.Add(along.Multiply(x * scale)).Add(across.Multiply(z * scale)).Add(up.Multiply(h * scale));
  }
};
constexpr float kRoadLength = 1000;
constexpr int kRoadPicks = 20;  // a road's queries: these picks, then its sweeps

MeshPtr Build(Scene scene, unsigned variant = 0) {
  MeshPtr mesh = CreateMesh(nullptr);
  switch (scene) {
    case Scene::kFloor:
      AddQuad(CreateSurface(mesh, nullptr), TVector::Create(-5, 0, -5), TVector::Create(0, 0, 10),
           TVector::Create(10, 0, 0));
      break;
    case Scene::kGround: {
      SurfacePtr ground = CreateSurface(mesh, nullptr);
      constexpr int kCells = 16;
      auto height = [](float x, float z) { return 0.4f * std::sin(1.3f * x) * std::cos(0.9f * z); };
      for (int row = 0; row < kCells; ++row) {
        for (int col = 0; col < kCells; ++col) {
          const float x0 = float(col) - 8, z0 = float(row) - 8, x1 = x0 + 1, z1 = z0 + 1;
          const int a = AddVertex(ground, x0, height(x0, z0), z0, 0, 0, 0);
          const int b = AddVertex(ground, x0, height(x0, z1), z1, 0, 0, 0);
          const int c = AddVertex(ground, x1, height(x1, z1), z1, 0, 0, 0);
          const int d = AddVertex(ground, x1, height(x1, z0), z0, 0, 0, 0);
          AddTriangle(ground, a, b, c);
          AddTriangle(ground, a, c, d);
        }
      }
      SurfacePtr walls = CreateSurface(mesh, nullptr);
      for (int side = 0; side < 4; ++side) {
        const float s = side < 2 ? 1.0f : -1.0f;
        const TVector out = side % 2 ? TVector::Create(0, 0, 8 * s) : TVector::Create(8 * s, 0, 0);
        const TVector along = side % 2 ? TVector::Create(16 * s, 0, 0) : TVector::Create(0, 0, -16 * s);
        AddQuad(walls, out.Subtract(along.Multiply(0.5f)).Add(TVector::Create(0, -1, 0)), TVector::Create(0, 4, 0),
             along);
      }
      AddQuad(walls, TVector::Create(-2, 0, -3), TVector::Create(0, 0, 4), TVector::Create(5, 2.5f, 0));  // the ramp
      TurnEntity(mesh, 10, 30, 5, 0);
      ScaleEntity(mesh, 1.5f, 0.8f, 1.2f, 0);
      PositionEntity(mesh, 1, -1, 2, 0);
      break;
    }
    case Scene::kWild: {
      const SurfacePtr s = CreateSurface(mesh, nullptr);
      AddQuad(s, TVector::Create(-5, 0, -5), TVector::Create(0, 0, 10), TVector::Create(10, 0, 0));
      const float nan = std::nanf("");
      Triangle(s, TVector::Create(-2, 1, 2), TVector::Create(2, 1, 2), TVector::Create(nan, 1, -2));
      Triangle(s, TVector::Create(-1e20f, 3, 1e20f), TVector::Create(1e20f, 3, 1e20f), TVector::Create(0, 3, -1e20f));
      break;
    }
    case Scene::kSoup: {
      SurfacePtr surfaces[2] = {CreateSurface(mesh, nullptr), CreateSurface(mesh, nullptr)};
      Random random{99};
      for (int i = 0; i < 150; ++i) {
        const TVector a = random.In(-6, 6);
        const TVector b = a.Add(random.In(-3, 3)), c = a.Add(random.In(-3, 3));
        Triangle(surfaces[i % 2], a, b, c);
        if (i % 7 == 0) Triangle(surfaces[(i + 1) % 2], a, b, c);  // ties between the surfaces
      }
      break;
    }
    case Scene::kRoad: {
      const RoadFrame road(variant);
      const SurfacePtr s = CreateSurface(mesh, nullptr);
      Random random{variant};
      for (int q = 0; q < road.quads; ++q) {
        const float x0 = kRoadLength * float(q) / float(road.quads), x1 = kRoadLength * float(q + 1) / float(road.quads);
        const TVector c[4] = {road.At(x0, 0, 0), road.At(x1, 0, 0), road.At(x1, road.width, 0),
                              road.At(x0, road.width, 0)};
        for (const std::array<int, 3>& t : {std::array<int, 3>{0, 3, 2}, std::array<int, 3>{0, 2, 1}}) {
          const int first = int(random.Next() * 2.99f);  // each triangle listed from any of its corners
          Triangle(s, c[t[size_t(first)]], c[t[size_t(first + 1) % 3]], c[t[size_t(first + 2) % 3]]);
        }
      }
      break;
    }
    case Scene::kMoved: {
      const SurfacePtr s = CreateSurface(mesh, nullptr);
      constexpr int kCells = 14;
      for (int row = 0; row <= kCells; ++row)
        for (int col = 0; col <= kCells; ++col) AddVertex(s, float(col) - 7, 0, float(row) - 7, 0, 0, 0);
      for (int row = 0; row < kCells; ++row) {
        for (int col = 0; col < kCells; ++col) {
          const int a = row * (kCells + 1) + col, b = a + kCells + 1;
          AddTriangle(s, a, b, b + 1);
          AddTriangle(s, a, b + 1, a + 1);
        }
      }
      Random random{23};
      for (int v = 0; v < CountVertices(s); ++v) {
        const float x = VertexX(s, v) + random.Between(-0.8f, 0.8f), z = VertexZ(s, v) + random.Between(-0.8f, 0.8f);
        VertexCoords(s, v, x, random.Between(-1, 1), z);
      }
      break;
    }
    case Scene::kCoplanar: {
      const SurfacePtr s = CreateSurface(mesh, nullptr);
      Random random{7};
      for (int i = 0; i < 60; ++i) {
        const TVector a = TVector::Create(random.Between(-7, 7), 0, random.Between(-7, 7));
        const TVector b = a.Add(TVector::Create(random.Between(-4, 4), 0, random.Between(-4, 4)));
        const TVector c = a.Add(TVector::Create(random.Between(-4, 4), 0, random.Between(-4, 4)));
        // Facing up: (b - a) x (c - a) along +y.
        if ((b.z - a.z) * (c.x - a.x) - (b.x - a.x) * (c.z - a.z) > 0) Triangle(s, a, b, c);
        else Triangle(s, a, c, b);
      }
      break;
    }
  }
  EntityType(mesh, kWorldType, 0);
  EntityPickMode(mesh, 2, 0);
  return mesh;
}

// The mesh's surfaces by number from 1, so that two builds compare; 0 for none.
int SurfaceNumber(const MeshPtr& mesh, const SurfacePtr& surface) {
  for (int i = 1; i <= CountSurfaces(mesh); ++i)
    if (GetSurface(mesh, i) == surface) return i;
  return 0;
}

struct Query {
  bool sweep;
  TVector from, move;
  TVector radii;  // of the ball, for a sweep
};

// The queries of a scene: picks from all around, sweeps starting clear above the mesh and
// starting on or sunk into it. The floor adds a ball of radius 1 sunk 0.7 deep.
std::vector<Query> Queries(Scene scene, unsigned variant = 0) {
  std::vector<Query> queries;
  if (scene == Scene::kRoad) {  // picks down onto the road, balls dropped onto it, rolled along it, sunk into it
    const RoadFrame road(variant);
    Random random{variant * 3 + 1};
    for (int i = 0; i < kRoadPicks; ++i) {
      const float x = random.Between(0, kRoadLength), z = random.Between(-0.5f, road.width + 0.5f);
      queries.push_back({false, road.At(x, z, 5), road.up.Multiply(-10 * road.scale), {}});
    }
    for (int i = 0; i < 60; ++i) {
      const float r = random.Between(0.05f, 0.6f) * road.width;
      const float x = random.Between(0, kRoadLength), z = random.Between(-r, road.width + r);
      const int kind = i % 3;  // dropped, rolled, sunk
      const float h = kind == 0 ? r * random.Between(1.5f, 4) : kind == 1 ? r * 1.01f : r * random.Between(-0.5f, 0.9f);
      const TVector from = road.At(x, z, h);
      const TVector to = road.At(x + random.Between(-30, 30), z + random.Between(-1, 1), h - r * random.Between(0, 3));
      queries.push_back({true, from, to.Subtract(from), TVector::Create(r, r, r)});
    }
    return queries;
  }
  Random random{unsigned(scene) * 31 + 5};
  for (int i = 0; i < 300; ++i) {
    const TVector from = random.In(-10, 10), to = random.In(-10, 10);
    queries.push_back({false, from, to.Subtract(from).Multiply(random.Between(0.4f, 2)), {}});
  }
  for (int i = 0; i < 160; ++i) {
    const bool sunk = i % 2 == 1;
    const float y = sunk ? random.Between(-1.5f, 1.5f) : random.Between(3, 6);
    const TVector from = TVector::Create(random.Between(-7, 7), y, random.Between(-7, 7));
    const TVector move = TVector::Create(random.Between(-5, 5), random.Between(-6, 1), random.Between(-5, 5));
    const float r = random.Between(0.4f, 1.3f);
    queries.push_back({true, from, move, TVector::Create(r, r * random.Between(0.6f, 1.4f), r)});
  }
  if (scene == Scene::kFloor) queries.push_back({true, {0, 0.3f, 0}, {3, 0, 1.5f}, {1, 1, 1}});
  return queries;
}

// Every value a query reports, as bits: picks the entity (hit or not), time, point,
// normal, surface and triangle; sweeps the end and each impact's point, normal, surface
// and triangle.
std::vector<uint32_t> Answer(const MeshPtr& mesh, const EntityPtr& ball, const Query& q) {
  std::vector<uint32_t> bits;
  auto add = [&bits](float f) { bits.push_back(std::bit_cast<uint32_t>(f)); };
  if (!q.sweep) {
    const EntityPtr hit = LinePick(q.from.x, q.from.y, q.from.z, q.move.x, q.move.y, q.move.z, 0);
    bits.push_back(hit == mesh);
    for (float f : {PickedTime(), PickedX(), PickedY(), PickedZ(), PickedNX(), PickedNY(), PickedNZ()}) add(f);
    bits.push_back(uint32_t(SurfaceNumber(mesh, PickedSurface())));
    bits.push_back(uint32_t(PickedTriangle()));
    return bits;
  }
  EntityRadius(ball, q.radii.x, q.radii.y, 0);
  PositionEntity(ball, q.from.x, q.from.y, q.from.z, 1);
  ResetEntity(ball);
  TranslateEntity(ball, q.move.x, q.move.y, q.move.z, 1);
  UpdateWorld(1);
  for (float f : {EntityX(ball, 1), EntityY(ball, 1), EntityZ(ball, 1)}) add(f);
  bits.push_back(uint32_t(CountCollisions(ball)));
  for (int i = 1; i <= CountCollisions(ball); ++i) {
    for (float f : {CollisionX(ball, i), CollisionY(ball, i), CollisionZ(ball, i), CollisionNX(ball, i),
                    CollisionNY(ball, i), CollisionNZ(ball, i)})
      add(f);
    bits.push_back(uint32_t(SurfaceNumber(mesh, CollisionSurface(ball, i))));
    bits.push_back(uint32_t(CollisionTriangle(ball, i)));
  }
  return bits;
}

// The answers to every query of the scene, under the collision method, with the octree
// limits given or (max_polys < 0) without an octree.
std::vector<std::vector<uint32_t>> Answers(Scene scene, int method, int max_polys, int max_levels,
                                           unsigned variant = 0) {
  ResetEngine();
  // A miss keeps the last hit's values: start both runs from the same ones.
  TPick::picked_x = TPick::picked_y = TPick::picked_z = 0;
  TPick::picked_nx = TPick::picked_ny = TPick::picked_nz = 0;
  TPick::picked_surface.reset();
  TPick::picked_triangle = 0;
  Collisions(kMoverType, kWorldType, method, 2);
  const MeshPtr mesh = Build(scene, variant);
  if (max_polys >= 0) CreateOctree(mesh, max_polys, max_levels);
  const EntityPtr ball = CreatePivot(nullptr);
  EntityType(ball, kMoverType, 0);
  std::vector<std::vector<uint32_t>> answers;
  for (const Query& q : Queries(scene, variant)) answers.push_back(Answer(mesh, ball, q));
  return answers;
}

TEST_F(OctreeAnswerTest, PicksAndSweepsAnswerAlikeWithAndWithoutAnOctree) {
  struct Limits {
    int max_polys, max_levels;
  };
  const Limits kLimits[] = {{1, 4}, {4, 6}, {32, 5}, {2, 0}, {0, 2}};
  const char* kSceneNames[] = {"floor", "ground", "soup", "wild"};
  for (const Scene scene : {Scene::kFloor, Scene::kGround, Scene::kSoup, Scene::kWild}) {
    const std::vector<Query> queries = Queries(scene);
    for (const int method : {kSphereToMeshWorld, kSphereToMeshLocal}) {
      const auto want = Answers(scene, method, -1, 0);
      int hits = 0, impacts = 0;
      for (size_t i = 0; i < queries.size(); ++i) {
        if (!queries[i].sweep) hits += int(want[i][0]);
        if (queries[i].sweep) impacts += int(want[i][3] > 0);
      }
      // Enough of each kind met the mesh for the comparison to mean something.
      EXPECT_GT(hits, scene == Scene::kFloor || scene == Scene::kWild ? 20 : 60) << kSceneNames[int(scene)];
      EXPECT_GT(impacts, 30) << kSceneNames[int(scene)];
      for (const Limits& limits : kLimits) {
        const auto got = Answers(scene, method, limits.max_polys, limits.max_levels);
        ASSERT_EQ(got.size(), want.size());
        for (size_t i = 0; i < want.size(); ++i) {
          ASSERT_EQ(got[i], want[i]) << kSceneNames[int(scene)] << ", method " << method << ", octree "
                                     << limits.max_polys << ":" << limits.max_levels << ", "
                                     << (queries[i].sweep ? "sweep " : "pick ") << i;
        }
      }
    }
  }
}

// A face lying within the plane tolerance of a cell plane goes to the cell on the plane's
// front only, here the low-x one, though it stands a little on the high side. A segment
// that stays on the high side must still find it.
TEST_F(OctreeAnswerTest, AFaceOnACellPlaneIsFoundFromItsOtherSide) {
  constexpr float kOff = 0.00005f;  // inside the tolerance of the plane x = 0
  auto pick = [](int max_polys, int max_levels) {
    ResetEngine();
    const MeshPtr mesh = CreateMesh(nullptr);
    const SurfacePtr s = CreateSurface(mesh, nullptr);
    AddQuad(s, TVector::Create(-1, 0, -1), TVector::Create(0, 0, 2), TVector::Create(2, 0, 0));  // the bounds
    Triangle(s, TVector::Create(kOff, 0, 0), TVector::Create(kOff, 0, -1), TVector::Create(kOff, 1, 0));  // faces +x
    EntityPickMode(mesh, 2, 0);
    if (max_polys >= 0) CreateOctree(mesh, max_polys, max_levels);
    const EntityPtr hit = LinePick(1, 0.25f, -0.25f, 0.00003f - 1, 0, 0, 0);
    return std::vector<uint32_t>{hit == mesh, std::bit_cast<uint32_t>(PickedTime()),
                                 std::bit_cast<uint32_t>(PickedX()), uint32_t(PickedTriangle())};
  };
  const std::vector<uint32_t> want = pick(-1, 0);
  ASSERT_EQ(want[0], 1u);
  EXPECT_EQ(want[3], 2u);  // the face
  for (const int levels : {1, 3}) EXPECT_EQ(pick(1, levels), want) << "levels " << levels;
}

// The walk over every triangle asks the mesh's bounding sphere first. A corner at
// infinity leaves it of no value (and the cells promise nothing); a radius fixed by
// MeshCullRadius may leave triangles outside it. Either way the tree answers as the walk.
TEST_F(OctreeAnswerTest, TheBoundingSphereBoundsPicksAsWithoutAnOctree) {
  struct Case {
    const char* name;
    bool infinite_corner;
    float cull_radius;  // 0: from the bounds
    TVector from;
  };
  const Case kCases[] = {
      {"a corner at infinity", true, 0, {0.5f, 5, 0.5f}},
      {"a fixed radius, inside it", false, 2, {0.5f, 5, 0.5f}},
      {"a fixed radius, outside it", false, 2, {4, 5, 4}},
  };
  for (const Case& c : kCases) {
    auto pick = [&c](bool octree) {
      ResetEngine();
      const MeshPtr mesh = CreateMesh(nullptr);
      const SurfacePtr s = CreateSurface(mesh, nullptr);
      AddQuad(s, TVector::Create(-5, 0, -5), TVector::Create(0, 0, 10), TVector::Create(10, 0, 0));
      if (c.infinite_corner)
        Triangle(s, TVector::Create(-2, 2, 2), TVector::Create(2, 2, 2), TVector::Create(0, INFINITY, -2));
      if (c.cull_radius > 0) MeshCullRadius(mesh, c.cull_radius);
      EntityPickMode(mesh, 2, 0);
      if (octree) CreateOctree(mesh, 1, 3);
      return LinePick(c.from.x, c.from.y, c.from.z, 0, -10, 0, 0) == mesh;
    };
    EXPECT_EQ(pick(true), pick(false)) << c.name;
  }
}

// Three corners on one line make no plane: the sweep takes its plane from the rounding
// of the corners, and the face point below a sunk or passing ball could look inside the
// triangle however far from it the ball is. Such a triangle meets nothing, so the ball
// moves on with and without an octree, whose cells lie nowhere near the ball.
TEST_F(OctreeAnswerTest, ATriangleOfCornersOnALineIsNotMetFarFromIt) {
  struct Case {
    const char* name;
    int method, response;
    TVector turn;
    std::vector<std::array<TVector, 3>> triangles;  // one with its third corner halfway along the first two
    TVector radii, from, move;
  };
  const Case kCases[] = {
      {"method 4, an ellipsoid above it",
       kSphereToMeshLocal,
       2,
       {-0x1.d0c71ap+4f, -0x1.17a65p+4f, -0x1.19d88p+1f},
       {{{{-0x1.9f2518p+1f, 0x1.9de37p+1f, -0x1.9ecb0cp+2f},
          {0x1.d07abcp+2f, -0x1.b3a3p-4f, 0x1.e08c4cp+2f},
          {0x1.00e83p+1f, 0x1.904658p+0f, 0x1.0705p-1f}}}},
       {0x1.8097a4p-2f, 0x1.c0c9f6p+0f, 0},
       {-0x1.1e7b6p+0f, 0x1.5c8454p+2f, 0x1.b1fcf8p+2f},
       {0x1.260fc8p+2f, 0x1.0b49c8p+1f, -0x1.532b1p-1f}},
      {"method 2, beside a floor",
       kSphereToMeshWorld,
       1,
       {0x1.0afe8p+4f, 0x1.35d38p+7f, -0x1.e454cp+0f},
       {{{{3, -7, 0x1.fd782p+2f}, {3, -7, -0x1.6daf78p+2f}, {-0x1.03576cp+3f, -7, -0x1.1afdecp+3f}}},
        {{{-0x1.e5cap-4f, 0x1.9fa9fp+0f, -0x1.753cb4p+2f},
          {0x1.bba558p+2f, -0x1.a6465cp+2f, -0x1.816f64p+2f},
          {0x1.b40e3p+1f, -0x1.3e5bep+1f, -0x1.7b560cp+2f}}}},
       {0x1.c8301ap+0f, 0x1.40349p-1f, 0},
       {-0x1.1a43ap+3f, 0x1.275baep+1f, 0x1.9d1684p+3f},
       {-0x1.8d786p-1f, -0x1.4c46cp-2f, 0x1.51ec38p+2f}},
  };
  for (const Case& c : kCases) {
    auto sweep = [&c](int max_polys, int max_levels) {
      ResetEngine();
      Collisions(kMoverType, kWorldType, c.method, c.response);
      const MeshPtr mesh = CreateMesh(nullptr);
      const SurfacePtr s = CreateSurface(mesh, nullptr);
      for (const auto& t : c.triangles) Triangle(s, t[0], t[1], t[2]);
      RotateEntity(mesh, c.turn.x, c.turn.y, c.turn.z, 0);
      EntityType(mesh, kWorldType, 0);
      if (max_polys >= 0) CreateOctree(mesh, max_polys, max_levels);
      const EntityPtr ball = CreatePivot(nullptr);
      EntityType(ball, kMoverType, 0);
      return Answer(mesh, ball, {true, c.from, c.move, c.radii});
    };
    const std::vector<uint32_t> want = sweep(-1, 0);
    EXPECT_EQ(want[3], 0u) << c.name << ": impacts";
    for (const auto& [max_polys, max_levels] : {std::pair{1, 4}, std::pair{2, 0}})
      EXPECT_EQ(sweep(max_polys, max_levels), want) << c.name << ", octree " << max_polys << ":" << max_levels;
  }
}

// A mesh turned under a parent turned another way and scaled unequally is sheared: a
// world-space ball reaches further along the mesh's axes than its largest radius over
// the smallest scale, and the cells it reaches must be searched all the same.
TEST_F(OctreeAnswerTest, ASweepPastAShearedMeshMeetsItAsWithoutAnOctree) {
  auto sweep = [](int max_polys, int max_levels) {
    ResetEngine();
    Collisions(kMoverType, kWorldType, kSphereToMeshWorld, 2);
    const PivotPtr parent = CreatePivot(nullptr);
    RotateEntity(parent, -0x1.da3b4p+1f, -0x1.45f3aep+6f, -0x1.abf658p+3f, 0);
    ScaleEntity(parent, 0x1.9b699ap+0f, 0x1.4d4d72p-1f, 0x1.ae7f68p-1f, 0);
    PositionEntity(parent, -0x1.aecf88p-1f, -0x1.17aa38p-1f, 0x1.69549p-1f, 0);
    const MeshPtr mesh = CreateMesh(parent);
    const float x = -0x1.fa4fcp+2f, low = -1, high = 0x1.60d0e8p+1f;
    Triangle(CreateSurface(mesh, nullptr), TVector::Create(x, low, x), TVector::Create(x, high, x),
             TVector::Create(x, high, -x));
    RotateEntity(mesh, 0x1.49b548p+3f, -0x1.ef555p+6f, 0x1.0d7534p+4f, 0);
    ScaleEntity(mesh, 0x1.9f2626p-1f, 0x1.7076b8p+1f, 0x1.53c802p+1f, 0);
    EntityType(mesh, kWorldType, 0);
    if (max_polys >= 0) CreateOctree(mesh, max_polys, max_levels);
    const EntityPtr ball = CreatePivot(nullptr);
    EntityType(ball, kMoverType, 0);
    return Answer(mesh, ball,
                  {true, {0x1.b55588p+2f, 0x1.58ee24p-1f, -0x1.be4e3p+1f},
                   {0x1.406b48p+1f, -0x1.814d28p+1f, -0x1.543ec4p+1f}, {0x1.34468ep+0f, 0x1.34468ep+0f, 0}});
  };
  const std::vector<uint32_t> want = sweep(-1, 0);
  ASSERT_EQ(want[3], 1u);  // the ball meets the wall
  for (const auto& [max_polys, max_levels] : {std::pair{1, 4}, std::pair{2, 0}})
    EXPECT_EQ(sweep(max_polys, max_levels), want) << "octree " << max_polys << ":" << max_levels;
}


// Random road strips, long thin triangles listed from any corner: with and without an
// octree the same answers, and in every family every contact a sweep records (clear or
// sunk start) lies on the triangle it names.
TEST_F(OctreeAnswerTest, EveryContactLiesOnItsTriangleAndRoadsAnswerAlikeWithAnOctree) {
  struct Family {
    const char* name;
    Scene scene;
    unsigned variants;
  };
  const Family kFamilies[] = {{"floor", Scene::kFloor, 1},  {"ground", Scene::kGround, 1},
                              {"soup", Scene::kSoup, 1},    {"coplanar", Scene::kCoplanar, 1},
                              {"moved", Scene::kMoved, 1},  {"road", Scene::kRoad, 60}};
  for (const Family& family : kFamilies) {
    for (const int method : {kSphereToMeshWorld, kSphereToMeshLocal}) {
      int impacts = 0, sunk = 0;
      for (unsigned variant = 0; variant < family.variants; ++variant) {
        const std::vector<Query> queries = Queries(family.scene, variant);
        ResetEngine();
        Collisions(kMoverType, kWorldType, method, 2);
        const MeshPtr mesh = Build(family.scene, variant);
        const EntityPtr ball = CreatePivot(nullptr);
        EntityType(ball, kMoverType, 0);
        for (size_t i = 0; i < queries.size(); ++i) {
          if (!queries[i].sweep) continue;
          Answer(mesh, ball, queries[i]);
          for (int c = 1; c <= CountCollisions(ball); ++c) {
            ++impacts;
            const TVector p = TVector::Create(CollisionX(ball, c), CollisionY(ball, c), CollisionZ(ball, c));
            const OffTriangle off = PointOffTriangle(mesh, CollisionSurface(ball, c), CollisionTriangle(ball, c), p);
            EXPECT_LE(off.distance, off.allowed) << family.name << " " << variant << ", method " << method
                                                 << ", sweep " << i << ", triangle " << CollisionTriangle(ball, c);
          }
        }
        if (family.scene != Scene::kRoad) continue;
        const auto want = Answers(family.scene, method, -1, 0, variant);
        for (const auto& [max_polys, max_levels] : {std::pair{1, 4}, std::pair{4, 6}}) {
          const auto got = Answers(family.scene, method, max_polys, max_levels, variant);
          for (size_t i = 0; i < want.size(); ++i) {
            ASSERT_EQ(got[i], want[i]) << "road " << variant << ", method " << method << ", octree " << max_polys
                                       << ":" << max_levels << ", " << (queries[i].sweep ? "sweep " : "pick ") << i;
            sunk += queries[i].sweep && max_polys == 1 && (i - kRoadPicks) % 3 == 2 && want[i][3] > 0;
          }
        }
      }
      EXPECT_GT(impacts, 30) << family.name;  // enough contacts for the check to mean something
      if (family.scene == Scene::kRoad) {
        EXPECT_GT(sunk, 30) << "sunk starts held on a road, method " << method;
      }
    }
  }
}

}  // namespace
}  // namespace collision_test
