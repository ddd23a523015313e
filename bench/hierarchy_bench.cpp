// Walks of the entity hierarchy and reads of long lists by index: TranslateEntity on
// the root of a 1,000-entity tree (every matrix below it rebuilt), UpdateWorld of the
// previewer's scene (its camera rig and three copies of the figure), and the program's
// loop reading 60,000 children by index, against making those children.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/commands/commands.h"
#include "engine/scene/entity.h"
#include "engine/scene/global.h"
#include "platform/offscreen.h"

namespace {

using namespace velmora;

constexpr int kTreeEntities = 1000;
constexpr int kChildren = 60000;

// Each pivot under one made before it, chosen by a fixed sequence: a tree of mixed
// depth and breadth, the same every run.
EntityPtr MakeTree() {
  std::vector<EntityPtr> made{CreatePivot(nullptr)};
  uint32_t seed = 12345;
  for (int i = 1; i < kTreeEntities; ++i) {
    seed = seed * 1664525u + 1013904223u;
    EntityPtr pivot = CreatePivot(made[(seed >> 8) % made.size()]);
    PositionEntity(pivot, 1, 0, 0.5f, 0);
    TurnEntity(pivot, 0, 10, 0, 0);
    made.push_back(pivot);
  }
  return made.front();
}

void BM_TranslateTree(benchmark::State& state) {
  EntityPtr root = MakeTree();
  for (auto _ : state) {
    TranslateEntity(root, 0.001f, 0, 0, 0);
    benchmark::DoNotOptimize(root->matrix.grid[3][0]);
  }
  FreeEntity(root);
}
BENCHMARK(BM_TranslateTree)->Unit(benchmark::kMicrosecond);

#ifdef VELMORA_ASSET_DIR
// The scene the previewer builds: a pivot holding the camera, the light under the
// camera, and the figure loaded three times.
void BM_UpdateWorldPreviewer(benchmark::State& state) {
  const std::string model = std::string(VELMORA_ASSET_DIR) + "/Tavren_Female.b3d";
  CameraPtr camera = CreateCamera(nullptr);
  PositionEntity(camera, 0, 0, -4.5f, 0);
  LightPtr light = CreateLight(1, nullptr);
  EntityParent(light, camera, 1);
  EntityPtr pivot = CreatePivot(nullptr);
  EntityParent(camera, pivot, 1);
  PositionEntity(pivot, 0, 0.5f, 0, 0);
  RotateEntity(pivot, 10, 0, 0, 0);
  std::vector<MeshPtr> figures;
  for (int i = 0; i < 3; ++i) figures.push_back(LoadMesh(model, nullptr));
  if (CountSurfaces(figures[0]) == 0) state.SkipWithError("no figure model");
  for (auto _ : state) {
    UpdateWorld(1);
    TurnEntity(pivot, 0, 1, 0, 0);  // as the mouse orbits the camera
  }
  for (const MeshPtr& f : figures) FreeEntity(f);
  FreeEntity(pivot);
}
BENCHMARK(BM_UpdateWorldPreviewer)->Unit(benchmark::kMicrosecond);
#endif

void BM_CreateChildren(benchmark::State& state) {
  for (auto _ : state) {
    EntityPtr root = CreatePivot(nullptr);
    for (int i = 0; i < kChildren; ++i) CreatePivot(root);
    state.PauseTiming();
    FreeEntity(root);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_CreateChildren)->Unit(benchmark::kMillisecond);

// for i = 1 to CountChildren(root): GetChild(root, i)
void BM_GetChildLoop(benchmark::State& state) {
  EntityPtr root = CreatePivot(nullptr);
  for (int i = 0; i < kChildren; ++i) CreatePivot(root);
  for (auto _ : state) {
    for (int i = 1; i <= CountChildren(root); ++i) benchmark::DoNotOptimize(GetChild(root, i));
  }
  FreeEntity(root);
}
BENCHMARK(BM_GetChildLoop)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  auto context = TOffscreenContext::Create(64, 64);
  if (!context) return 1;
  TGlobal::GraphicsInit();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
