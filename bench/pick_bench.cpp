// Picking and collision on a large mesh: LinePick and one collide-and-slide update of an
// ellipsoid against a 100 x 100-cell grid (20,000 triangles), each with and without the
// mesh's octree, and the octree build itself. allocs_per_op must stay 0 for picks and
// collision steps.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <new>
#include <vector>

#include "engine/collision/octree.h"
#include "engine/collision/pick.h"
#include "engine/collision/collision.h"
#include "engine/mesh/mesh.h"
#include "engine/mesh/surface.h"
#include "engine/scene/global.h"
#include "support/allocation_counter.h"


namespace {

constexpr int kCells = 100;      // per side
constexpr float kHalf = 50.0f;   // the grid spans -50..50 on x and z
constexpr int kSegments = 256;   // picks cycle through this many
constexpr int kMaxPolys = 32, kMaxLevels = 5;  // the octree's limits

// A rippled grid facing up, in surfaces of 32 rows (16-bit corner indices).
MeshPtr MakeGrid() {
  MeshPtr mesh = TMesh::CreateMesh();
  const float cell = 2 * kHalf / kCells;
  auto height = [](float x, float z) { return 0.5f * std::sin(x * 0.37f) * std::cos(z * 0.29f); };
  SurfacePtr surface;
  for (int row = 0; row < kCells; ++row) {
    if (row % 32 == 0) surface = mesh->CreateSurface();
    for (int col = 0; col < kCells; ++col) {
      const float x0 = -kHalf + float(col) * cell, z0 = -kHalf + float(row) * cell, x1 = x0 + cell, z1 = z0 + cell;
      const int a = surface->AddVertex(x0, height(x0, z0), z0), b = surface->AddVertex(x0, height(x0, z1), z1);
      const int c = surface->AddVertex(x1, height(x1, z1), z1), d = surface->AddVertex(x1, height(x1, z0), z0);
      surface->AddTriangle(a, b, c);
      surface->AddTriangle(a, c, d);
    }
  }
  mesh->EntityPickMode(kPickPolygons);
  mesh->EntityType(2);
  return mesh;
}

struct Segment {
  float x, y, z, dx, dy, dz;
};

// Picks from above at slants, spread over the grid (a fixed pseudo-random set).
std::vector<Segment> MakeSegments() {
  std::vector<Segment> segments;
  unsigned seed = 7;
  auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return float((seed >> 8) & 0xffff) / 65535.0f;
  };
  for (int i = 0; i < kSegments; ++i)
    segments.push_back({next() * 90 - 45, 10, next() * 90 - 45, next() * 10 - 5, -20, next() * 10 - 5});
  return segments;
}

MeshPtr& Grid() {
  static MeshPtr grid = MakeGrid();
  return grid;
}

void BM_LinePick(benchmark::State& state) {
  MeshPtr grid = Grid();
  if (state.range(0)) {
    TOctree::CreateOctree(grid, kMaxPolys, kMaxLevels);
  } else {
    grid->octree.reset();
  }
  const std::vector<Segment> segments = MakeSegments();
  size_t i = 0, hits = 0;
  const long before = AllocationCount();
  for (auto _ : state) {
    const Segment& s = segments[i++ % segments.size()];
    hits += TPick::LinePick(s.x, s.y, s.z, s.dx, s.dy, s.dz) != nullptr;
    benchmark::DoNotOptimize(TPick::picked_time);
  }
  state.counters["allocs_per_op"] = double(AllocationCount() - before) / double(state.iterations());
  state.counters["hit_rate"] = double(hits) / double(state.iterations());
}
BENCHMARK(BM_LinePick)->Arg(0)->ArgName("octree")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LinePick)->Arg(1)->ArgName("octree")->Unit(benchmark::kMicrosecond);

// One world collision update: an ellipsoid (radii 1, 1.5, 1) moved down and across into
// the grid, so that it lands and slides.
void BM_CollideAndSlide(benchmark::State& state) {
  MeshPtr grid = Grid();
  if (state.range(0)) {
    TOctree::CreateOctree(grid, kMaxPolys, kMaxLevels);
  } else {
    grid->octree.reset();
  }
  TGlobal::ClearCollisions();
  TGlobal::Collisions(1, 2, int(state.range(1)), 2);
  PivotPtr ball = TPivot::CreatePivot();
  ball->EntityRadius(1, 1.5f, 1);
  ball->EntityType(1);
  const std::vector<Segment> segments = MakeSegments();
  size_t i = 0, impacts = 0;
  long before = -1;
  for (auto _ : state) {
    const Segment& s = segments[i++ % segments.size()];
    ball->prev_x = s.x, ball->prev_y = 2.5f, ball->prev_z = s.z;
    ball->PositionEntity(s.x + s.dx * 0.3f, -1, s.z + s.dz * 0.3f);
    TCollision::UpdateCollisions();
    impacts += size_t(ball->CountCollisions());
    if (before < 0) before = AllocationCount();  // after the impact list's first growth
  }
  state.counters["allocs_per_op"] = double(AllocationCount() - before) / double(state.iterations());
  state.counters["impacts_per_op"] = double(impacts) / double(state.iterations());
  ball->FreeEntity();
  TGlobal::ClearCollisions();
}
BENCHMARK(BM_CollideAndSlide)->Args({0, 2})->Args({1, 2})->Args({0, 4})->Args({1, 4})->ArgNames({"octree", "method"})
    ->Unit(benchmark::kMicrosecond);

void BM_CreateOctree(benchmark::State& state) {
  MeshPtr grid = Grid();
  for (auto _ : state) TOctree::CreateOctree(grid, kMaxPolys, kMaxLevels);
}
BENCHMARK(BM_CreateOctree)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
