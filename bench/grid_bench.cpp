// Picking, octree building, collision and loading on height-field grids of n x n cells
// (n = 71: 10,082 triangles; n = 224: 100,352), each against a floor that says what the
// work itself costs: a tight loop of the segment-triangle test over the surface's plain
// arrays for LinePick, and LoadMesh of the same grid from a B3D file for CreateOctree.
// Only public engine calls are used, so the same source builds against older engines
// and the two can be run side by side. allocs_per_op must stay 0 for the collision update.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "engine/collision/collision.h"
#include "engine/collision/octree.h"
#include "engine/collision/pick.h"
#include "engine/mesh/mesh.h"
#include "engine/mesh/surface.h"
#include "engine/scene/entity.h"
#include "engine/scene/global.h"
#include "support/allocation_counter.h"
#include "tools/b3d_writer.h"

namespace {

constexpr int kSmallGrid = 71;   // cells per side: 10,082 triangles
constexpr int kLargeGrid = 224;  // 100,352 triangles, 50,625 vertices: one surface
constexpr int kRays = 10000;     // picks cycle through this many vertical rays
constexpr size_t kCheckedRays = 500;  // results of the first this many go into a checksum
constexpr int kMaxPolys = 32, kMaxLevels = 5;  // the octree's limits
constexpr int kGridType = 2, kBallType = 1;

// Ripples along both axes whose phase moves with the row, so that no two rows are equal.
float GridHeight(int col, int row) {
  return 0.5f * std::sin(0.2f * float(col) + 0.13f * float(row)) * std::cos(0.17f * float(row)) +
         0.25f * std::sin(0.07f * float(row));
}
// Cells of size 1, centred on the origin.
float GridCoord(int i, int n) { return float(i) - 0.5f * float(n); }

// One surface: vertex row * (n + 1) + col, two triangles per cell facing up.
MeshPtr MakeGrid(int n) {
  MeshPtr mesh = TMesh::CreateMesh();
  SurfacePtr s = mesh->CreateSurface();
  for (int row = 0; row <= n; ++row)
    for (int col = 0; col <= n; ++col) s->AddVertex(GridCoord(col, n), GridHeight(col, row), GridCoord(row, n));
  for (int row = 0; row < n; ++row) {
    for (int col = 0; col < n; ++col) {
      const int a = row * (n + 1) + col, b = a + n + 1, c = b + 1, d = a + 1;
      s->AddTriangle(a, b, c);
      s->AddTriangle(a, c, d);
    }
  }
  mesh->EntityPickMode(kPickPolygons);
  mesh->EntityType(kGridType);
  return mesh;
}

// The grid of one benchmark, the only entity in the world while it runs: picks and
// collisions test every entity, so grids left from other runs would be tested too.
class GridScene {
 public:
  explicit GridScene(int n) : mesh(MakeGrid(n)) {}
  ~GridScene() { mesh->FreeEntity(); }
  MeshPtr mesh;
};

// The same grid as a B3D file of one mesh (positions, normals, one uv set), written once.
const std::string& GridFile(int n) {
  static std::map<int, std::string> files;
  std::string& path = files[n];
  if (path.empty()) {
    std::vector<float> vertices;
    for (int row = 0; row <= n; ++row) {
      for (int col = 0; col <= n; ++col) {
        // The file's z runs the other way from the public one.
        const float v[8] = {GridCoord(col, n), GridHeight(col, row), -GridCoord(row, n), 0, 1, 0,
                            float(col) / float(n), float(row) / float(n)};
        vertices.insert(vertices.end(), v, v + 8);
      }
    }
    std::vector<int> corners;
    for (int row = 0; row < n; ++row) {
      for (int col = 0; col < n; ++col) {
        const int a = row * (n + 1) + col, b = a + n + 1, c = b + 1, d = a + 1;
        corners.insert(corners.end(), {a, b, c, a, c, d});
      }
    }
    TB3dWriter w;
    w.Header();
    w.BeginNode("grid").BeginMesh().Vrts(1, 1, 2, vertices).Tris(-1, corners).End().End();
    w.Finish();
    path = "/tmp/velmora_grid_bench_" + std::to_string(n) + ".b3d";
    w.Save(path);
  }
  return path;
}

struct Ray {
  float x, z;
};
// Vertical rays at fixed pseudo-random points inside the grid, from 10 above to 10 below.
const std::vector<Ray>& Rays(int n) {
  static std::map<int, std::vector<Ray>> all;
  std::vector<Ray>& rays = all[n];
  if (rays.empty()) {
    unsigned seed = 11;
    auto next = [&seed] {
      seed = seed * 1103515245u + 12345u;
      return float((seed >> 8) & 0xffff) / 65536.0f;
    };
    const float span = float(n) - 1.0f;
    for (int i = 0; i < kRays; ++i) {
      const float x = next() * span - 0.5f * span, z = next() * span - 0.5f * span;
      rays.push_back({x, z});
    }
  }
  return rays;
}
constexpr float kRayTop = 10.0f, kRayDrop = -20.0f;

// Folds results into a number that two builds can compare: equal sums, equal bits. Kept
// to 48 bits so that the counter, a double, holds it exactly.
class Checksum {
 public:
  void Add(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    Add(int64_t(bits));
  }
  void Add(int64_t v) { sum_ = ((sum_ * 1000003u) ^ uint64_t(v)) & ((uint64_t(1) << 48) - 1); }
  double Value() const { return double(sum_); }

 private:
  uint64_t sum_ = 0;
};

void AddPick(Checksum& sum) {
  for (float f : {TPick::PickedX(), TPick::PickedY(), TPick::PickedZ(), TPick::PickedNX(), TPick::PickedNY(),
                  TPick::PickedNZ(), TPick::PickedTime()})
    sum.Add(f);
  sum.Add(int64_t(TPick::PickedTriangle()));
}

// Every leaf's pieces in walk order: their corners, surfaces' presence and triangles.
void AddTree(const TOctree& node, Checksum& sum) {
  if (node.children.empty()) {
    sum.Add(int64_t(node.polygons.size()));
    for (const TPolygon& p : node.polygons) {
      sum.Add(int64_t(p.vertex_count) * 2 + (p.surface != nullptr));
      sum.Add(int64_t(p.triangle));
      for (int i = 0; i < p.vertex_count; ++i)
        sum.Add(p.vertices[i].x), sum.Add(p.vertices[i].y), sum.Add(p.vertices[i].z);
    }
  }
  for (const TOctree& child : node.children) AddTree(child, sum);
}

void UseOctree(const MeshPtr& grid, bool octree) {
  if (octree) {
    TOctree::CreateOctree(grid, kMaxPolys, kMaxLevels);
  } else {
    grid->octree.reset();
  }
}

// ---- Picking ----------------------------------------------------------------------------

void BM_GridLinePick(benchmark::State& state) {
  const int n = int(state.range(0));
  GridScene scene(n);
  const MeshPtr& grid = scene.mesh;
  UseOctree(grid, state.range(1) != 0);
  const std::vector<Ray>& rays = Rays(n);
  size_t i = 0, hits = 0;
  Checksum sum;
  const long before = AllocationCount();
  for (auto _ : state) {
    const Ray& r = rays[i++ % rays.size()];
    hits += TPick::LinePick(r.x, kRayTop, r.z, 0, kRayDrop, 0) != nullptr;
  }
  state.counters["allocs_per_op"] = double(AllocationCount() - before) / double(state.iterations());
  for (size_t k = 0; k < kCheckedRays; ++k) {
    TPick::LinePick(rays[k].x, kRayTop, rays[k].z, 0, kRayDrop, 0);
    AddPick(sum);
  }
  state.counters["hit_rate"] = double(hits) / double(state.iterations());
  state.counters["checksum"] = sum.Value();
}
BENCHMARK(BM_GridLinePick)
    ->ArgsProduct({{kSmallGrid, kLargeGrid}, {0, 1}})
    ->ArgNames({"n", "octree"})
    ->Unit(benchmark::kMicrosecond);

// The floor for LinePick without an octree: the one-sided segment-triangle test, done as
// the engine does it, over the surface's own arrays (public z is the stored one negated,
// corners are stored in reverse order), keeping the nearest hit.
float NearestHit(const TSurface& s, const float a[3], const float b[3]) {
  const float sx = a[0] - b[0], sy = a[1] - b[1], sz = a[2] - b[2];
  const uint16_t* corners = s.triangle_indices.data();
  const float* pos = s.vertex_positions.data();
  float best = 1.0f;
  for (int k = 0; k < s.triangle_count; ++k) {
    const float* p = pos + 3 * corners[3 * k + 2];
    const float* q = pos + 3 * corners[3 * k + 1];
    const float* r = pos + 3 * corners[3 * k];
    const float px = p[0], py = p[1], pz = -p[2];
    const float e1x = q[0] - px, e1y = q[1] - py, e1z = -q[2] - pz;
    const float e2x = r[0] - px, e2y = r[1] - py, e2z = -r[2] - pz;
    const float nx = e1y * e2z - e1z * e2y, ny = e1z * e2x - e1x * e2z, nz = e1x * e2y - e1y * e2x;
    const float dd = sx * nx + sy * ny + sz * nz;
    if (!(dd > 0.0f)) continue;
    const float apx = a[0] - px, apy = a[1] - py, apz = a[2] - pz;
    const float t = apx * nx + apy * ny + apz * nz;
    if (!(t >= 0.0f && t <= dd)) continue;
    const float ex = sy * apz - sz * apy, ey = sz * apx - sx * apz, ez = sx * apy - sy * apx;
    const float v = e2x * ex + e2y * ey + e2z * ez;
    if (!(v >= 0.0f && v <= dd)) continue;
    const float w = -(e1x * ex + e1y * ey + e1z * ez);
    if (!(w >= 0.0f && v + w <= dd)) continue;
    const float time = t * (1.0f / dd);
    if (time <= best) best = time;
  }
  return best;
}

void BM_GridPickPlainLoop(benchmark::State& state) {
  const int n = int(state.range(0));
  GridScene scene(n);
  const TSurface& s = *scene.mesh->GetSurface(1);
  const std::vector<Ray>& rays = Rays(n);
  size_t i = 0;
  Checksum sum;
  for (auto _ : state) {
    const Ray& r = rays[i++ % rays.size()];
    const float a[3] = {r.x, kRayTop, r.z}, b[3] = {r.x, kRayTop + kRayDrop, r.z};
    benchmark::DoNotOptimize(NearestHit(s, a, b));
  }
  for (size_t k = 0; k < kCheckedRays; ++k) {
    const float a[3] = {rays[k].x, kRayTop, rays[k].z}, b[3] = {rays[k].x, kRayTop + kRayDrop, rays[k].z};
    sum.Add(NearestHit(s, a, b));
  }
  state.counters["checksum"] = sum.Value();
}
BENCHMARK(BM_GridPickPlainLoop)->Arg(kSmallGrid)->Arg(kLargeGrid)->ArgName("n")->Unit(benchmark::kMicrosecond);

// ---- Building and loading ---------------------------------------------------------------

void BM_GridCreateOctree(benchmark::State& state) {
  GridScene scene(int(state.range(0)));
  const int before = TOctree::no_polys_octree;
  for (auto _ : state) TOctree::CreateOctree(scene.mesh, kMaxPolys, kMaxLevels);
  state.counters["pieces"] = double(TOctree::no_polys_octree - before) / double(state.iterations());
  Checksum sum;
  AddTree(*scene.mesh->octree, sum);
  state.counters["checksum"] = sum.Value();
}
// Large meshes build on several threads: Time is the wall time, CPU that of all threads.
BENCHMARK(BM_GridCreateOctree)
    ->Arg(kSmallGrid)
    ->Arg(kLargeGrid)
    ->ArgName("n")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();

// Loads the grid's file as one mesh (LoadMesh) or as its hierarchy (LoadAnimMesh); the
// loaded entity is freed outside the timing.
template <bool kAnim>
void BM_GridLoad(benchmark::State& state) {
  const int n = int(state.range(0));
  const std::string& file = GridFile(n);
  for (auto _ : state) {
    MeshPtr mesh = kAnim ? TMesh::LoadAnimMesh(file) : TMesh::LoadMesh(file);
    state.PauseTiming();
    if (!mesh || mesh->CountTriangles() != 2 * n * n) state.SkipWithError("grid misread");
    if (mesh) mesh->FreeEntity();
    state.ResumeTiming();
  }
}
void BM_GridLoadMesh(benchmark::State& state) { BM_GridLoad<false>(state); }
void BM_GridLoadAnimMesh(benchmark::State& state) { BM_GridLoad<true>(state); }
BENCHMARK(BM_GridLoadMesh)->Arg(kSmallGrid)->Arg(kLargeGrid)->ArgName("n")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GridLoadAnimMesh)
    ->Arg(kSmallGrid)
    ->Arg(kLargeGrid)
    ->ArgName("n")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// ---- Collision ----------------------------------------------------------------------------

// One world collision update of 100 or 1,000 unit balls (method 2, response 2), each moved
// from above the grid down and across into it, so that it lands and slides.
void BM_GridCollide(benchmark::State& state) {
  const int n = int(state.range(0));
  GridScene scene(n);
  const MeshPtr& grid = scene.mesh;
  UseOctree(grid, state.range(1) != 0);
  TGlobal::ClearCollisions();
  TGlobal::Collisions(kBallType, kGridType, 2, 2);
  std::vector<PivotPtr> balls;
  for (int j = 0; j < int(state.range(2)); ++j) {
    balls.push_back(TPivot::CreatePivot());
    balls.back()->EntityRadius(1);
    balls.back()->EntityType(kBallType);
  }
  const std::vector<Ray>& rays = Rays(n);
  size_t i = 0, impacts = 0;
  Checksum sum;
  long before = -1;
  // Each ball takes the next ray's spot, from 2.5 up to 1.5 down and a little across.
  auto update = [&](size_t first_ray) {
    size_t k = first_ray;
    for (const PivotPtr& ball : balls) {
      const Ray& r = rays[k++ % rays.size()];
      ball->prev_x = r.x, ball->prev_y = 2.5f, ball->prev_z = r.z;
      ball->PositionEntity(r.x + 0.7f, -1.5f, r.z + 0.4f);
    }
    TCollision::UpdateCollisions();
  };
  for (auto _ : state) {
    update(i);
    i += balls.size();
    for (const PivotPtr& ball : balls) impacts += size_t(ball->CountCollisions());
    if (before < 0) before = AllocationCount();  // after the impact lists' first growth
  }
  const long allocations = AllocationCount() - before;
  for (size_t first = 0; first < kCheckedRays; first += balls.size()) {
    update(first);
    for (const PivotPtr& ball : balls) {
      for (float f : {ball->EntityX(), ball->EntityY(), ball->EntityZ()}) sum.Add(f);
      for (int c = 1; c <= ball->CountCollisions(); ++c) {
        for (float f : {ball->CollisionX(c), ball->CollisionY(c), ball->CollisionZ(c), ball->CollisionNX(c),
                        ball->CollisionNY(c), ball->CollisionNZ(c)})
          sum.Add(f);
        sum.Add(int64_t(ball->CollisionTriangle(c)));
      }
    }
  }
  const double updates = double(state.iterations());
  state.counters["allocs_per_op"] = updates > 1 ? double(allocations) / (updates - 1) : 0;
  state.counters["impacts_per_op"] = double(impacts) / updates;
  state.counters["checksum"] = sum.Value();
  for (const PivotPtr& ball : balls) ball->FreeEntity();
  TGlobal::ClearCollisions();
}
BENCHMARK(BM_GridCollide)
    ->Args({kLargeGrid, 1, 100})
    ->Args({kLargeGrid, 1, 1000})
    ->ArgNames({"n", "octree", "balls"})
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
