// Frame cost: RenderWorld of 1,000 lit, textured cubes, of 1,000 meshes of 2,000
// triangles and of an unfinished surface (about a million triangles, the last vertex not
// yet added, so it is not drawn) through one camera on a small off-screen viewport,
// against a baseline that issues the same GL calls over the same arrays with no engine
// around them (no lists, culling, sorting, brush merging or per-index work). Prints
// engine / baseline per scene at the end, and counts heap allocations per frame with a
// replaced operator new.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "engine/commands/commands.h"
#include "engine/mesh/brush.h"
#include "engine/mesh/mesh.h"
#include "engine/mesh/surface.h"
#include "engine/mesh/texture.h"
#include "engine/scene/camera.h"
#include "engine/scene/global.h"
#include "engine/scene/light.h"
#include "platform/gl.h"
#include "platform/offscreen.h"
#include "support/allocation_counter.h"


namespace {

constexpr int kViewSize = 64;      // small: the cost is the engine and vertex work, not fill
constexpr int kMeshCount = 1000;
constexpr int kGridColumns = 25;   // 25 x 40 quads: 2,000 triangles
constexpr int kGridRows = 40;
constexpr int kUnfinishedSide = 32;      // a 32 x 32 grid of vertices
constexpr int kUnfinishedRepeats = 541;  // its 1,922 triangles 541 times over: 1,039,802
constexpr int kMissingVertex = 60000;    // named by one more triangle, never added
constexpr int kWarmUpFrames = 20;  // Mesa compiles its shader variants in the first frames
constexpr int kRepetitions = 5;    // the best of them counts: other work on the machine only adds

// ---- Scenes -----------------------------------------------------------------------

enum class SceneKind { kNone, kCubes, kDenseMeshes, kUnfinishedSurface };

struct Scene {
  SceneKind kind = SceneKind::kNone;
  CameraPtr camera;
  LightPtr light;
  TexturePtr texture;
  std::vector<MeshPtr> meshes;
};

std::shared_ptr<TOffscreenContext> g_context;
Scene g_scene;

void FreeScene() {
  for (const MeshPtr& m : g_scene.meshes) m->FreeEntity();
  if (g_scene.camera) g_scene.camera->FreeEntity();
  if (g_scene.light) g_scene.light->FreeEntity();
  if (g_scene.texture) g_scene.texture->FreeTexture();
  g_scene = Scene{};
}

MeshPtr MakeDenseMesh() {
  MeshPtr mesh = TMesh::CreateMesh();
  SurfacePtr s = mesh->CreateSurface();
  for (int r = 0; r <= kGridRows; ++r) {
    for (int c = 0; c <= kGridColumns; ++c) {
      const float x = -1.0f + 2.0f * c / kGridColumns, y = -1.0f + 2.0f * r / kGridRows;
      const int v = velmora::AddVertex(s, x, y, 0.0f, 0.0f, 0.0f, 0.0f);
      s->VertexNormal(v, 0.0f, 0.0f, -1.0f);
    }
  }
  for (int r = 0; r < kGridRows; ++r) {
    for (int c = 0; c < kGridColumns; ++c) {
      const int v0 = r * (kGridColumns + 1) + c, v1 = v0 + kGridColumns + 1;
      velmora::AddTriangle(s, v0, v1, v1 + 1);
      velmora::AddTriangle(s, v0, v1 + 1, v0 + 1);
    }
  }
  return mesh;
}

// A surface still being built: a million triangles over a 32 x 32 grid, and one more
// that names a vertex not added yet. It must not be drawn, and finding that out must
// not cost a pass over its three million indices each frame: the frame should cost
// what an empty one does.
MeshPtr MakeUnfinishedMesh() {
  MeshPtr mesh = TMesh::CreateMesh();
  SurfacePtr s = mesh->CreateSurface();
  for (int r = 0; r < kUnfinishedSide; ++r) {
    for (int c = 0; c < kUnfinishedSide; ++c) {
      const float x = -1.0f + 2.0f * c / (kUnfinishedSide - 1), y = -1.0f + 2.0f * r / (kUnfinishedSide - 1);
      const int v = velmora::AddVertex(s, x, y, 0.0f, 0.0f, 0.0f, 0.0f);
      s->VertexNormal(v, 0.0f, 0.0f, -1.0f);
    }
  }
  for (int k = 0; k < kUnfinishedRepeats; ++k) {
    for (int r = 0; r + 1 < kUnfinishedSide; ++r) {
      for (int c = 0; c + 1 < kUnfinishedSide; ++c) {
        const int v0 = r * kUnfinishedSide + c, v1 = v0 + kUnfinishedSide;
        velmora::AddTriangle(s, v0, v1, v1 + 1);
        velmora::AddTriangle(s, v0, v1 + 1, v0 + 1);
      }
    }
  }
  velmora::AddTriangle(s, 0, 1, kMissingVertex);
  return mesh;
}

// 10 x 10 x 10 meshes, all inside the view.
void PlaceInGrid(const MeshPtr& mesh, int i) {
  const int x = i % 10, y = (i / 10) % 10, z = i / 100;
  mesh->PositionEntity(float(x - 5) * 5.0f, float(y - 5) * 5.0f, 60.0f + float(z) * 5.0f);
}

void BuildScene(SceneKind kind) {
  if (g_scene.kind == kind) return;
  FreeScene();
  g_scene.kind = kind;
  g_scene.camera = TCamera::CreateCamera();
  g_scene.light = TLight::CreateLight(kLightDirectional);
  g_scene.light->RotateEntity(30, 20, 0);
  if (kind == SceneKind::kCubes) {
    g_scene.texture = TTexture::CreateTexture(64, 64, kTexColour | kTexMipmapped);
    for (int i = 0; i < kMeshCount; ++i) {
      MeshPtr cube = TMesh::CreateCube();
      cube->EntityTexture(g_scene.texture);
      PlaceInGrid(cube, i);
      g_scene.meshes.push_back(cube);
    }
  } else if (kind == SceneKind::kUnfinishedSurface) {
    MeshPtr mesh = MakeUnfinishedMesh();
    mesh->PositionEntity(0.0f, 0.0f, 2.0f);
    g_scene.meshes.push_back(mesh);
  } else {
    MeshPtr first = MakeDenseMesh();
    g_scene.meshes.push_back(first);
    for (int i = 1; i < kMeshCount; ++i)
      g_scene.meshes.push_back(std::static_pointer_cast<TMesh>(first->CopyEntity(nullptr)));
    for (int i = 0; i < kMeshCount; ++i) PlaceInGrid(g_scene.meshes[size_t(i)], i);
  }
  for (int i = 0; i < kWarmUpFrames; ++i) TGlobal::RenderWorld();
  glFinish();
}

// ---- Baseline: the engine's GL calls for this scene, straight from flat records ------

struct DrawRecord {
  const float* matrix;
  const float* positions;
  const float* colours;
  const float* normals;
  const float* uv;
  const uint16_t* indices;
  int index_count;
  GLuint texture;  // 0: no layer
  float colour[4];
};

std::vector<DrawRecord> Records() {
  std::vector<DrawRecord> records;
  for (const MeshPtr& m : g_scene.meshes) {
    for (const SurfacePtr& s : *m->surfaces) {
      // A surface naming a vertex it does not have is not drawn.
      const auto end = s->triangle_indices.begin() + s->triangle_count * 3;
      if (s->triangle_count > 0 && *std::max_element(s->triangle_indices.begin(), end) >= s->vertex_count) continue;
      DrawRecord r{};
      r.matrix = m->matrix.data();
      r.positions = s->vertex_positions.data();
      r.colours = s->vertex_colours.data();
      r.normals = s->vertex_normals.data();
      r.uv = s->vertex_uv0.data();
      r.indices = s->triangle_indices.data();
      r.index_count = s->triangle_count * 3;
      r.texture = g_scene.texture ? (*g_scene.texture->frame_names)[0] : 0;
      r.colour[0] = m->brush->red, r.colour[1] = m->brush->green, r.colour[2] = m->brush->blue;
      r.colour[3] = m->brush->alpha;
      records.push_back(r);
    }
  }
  return records;
}

void BaselineCamera(const float* view) {
  glViewport(0, 0, kViewSize, kViewSize);
  glScissor(0, 0, kViewSize, kViewSize);
  glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
  glDepthMask(GL_TRUE);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glDisable(GL_FOG);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glFrustum(-1.0, 1.0, -1.0, 1.0, 1.0, 1000.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glTranslatef(0.0f, 0.0f, 0.0f);
  glLoadMatrixf(view);
  GLdouble d[16];
  GLint v[4];
  GLfloat f[16];
  glGetDoublev(GL_MODELVIEW_MATRIX, d);
  glGetDoublev(GL_PROJECTION_MATRIX, d);
  glGetIntegerv(GL_VIEWPORT, v);
  glGetFloatv(GL_PROJECTION_MATRIX, f);
  glGetFloatv(GL_MODELVIEW_MATRIX, f);
}

void BaselineLight(const TLight& light) {
  const GLenum l = GL_LIGHT0;
  glEnable(l);
  glPushMatrix();
  glMultMatrixf(light.matrix.data());
  const GLfloat position[4] = {0, 0, 1, 0}, diffuse[4] = {1, 1, 1, 1}, forward[3] = {0, 0, -1};
  const GLfloat white[4] = {1, 1, 1, 1}, one = 1, zero = 0, cutoff = 180;
  glLightfv(l, GL_POSITION, position);
  glLightfv(l, GL_DIFFUSE, diffuse);
  glLightfv(l, GL_SPOT_DIRECTION, forward);
  glLightfv(l, GL_SPECULAR, white);
  glLightfv(l, GL_CONSTANT_ATTENUATION, &one);
  glLightfv(l, GL_LINEAR_ATTENUATION, &zero);
  glLightfv(l, GL_SPOT_EXPONENT, &zero);
  glLightfv(l, GL_SPOT_CUTOFF, &cutoff);
  glPopMatrix();
}

void BaselineSurface(const DrawRecord& r) {
  glIsEnabled(GL_FOG);
  glEnable(GL_DEPTH_TEST);
  glDepthMask(GL_TRUE);
  glDisable(GL_BLEND);
  glDepthMask(GL_TRUE);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glDisable(GL_COLOR_MATERIAL);
  glShadeModel(GL_SMOOTH);
  glEnable(GL_CULL_FACE);
  glVertexPointer(3, GL_FLOAT, 0, r.positions);
  glColorPointer(4, GL_FLOAT, 0, r.colours);
  glNormalPointer(GL_FLOAT, 0, r.normals);
  const float ambient[4] = {TGlobal::ambient_red, TGlobal::ambient_green, TGlobal::ambient_blue, 1.0f};
  glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
  glMaterialfv(GL_FRONT, GL_AMBIENT, r.colour);
  glMaterialfv(GL_FRONT, GL_DIFFUSE, r.colour);
  const float specular[4] = {0, 0, 0, 0};
  glMaterialfv(GL_FRONT, GL_SPECULAR, specular);
  glMaterialf(GL_FRONT, GL_SHININESS, 100.0f);
  if (r.texture) {
    GLint units;
    glGetIntegerv(GL_MAX_TEXTURE_UNITS, &units);
    GlActiveTexture(GL_TEXTURE0);
    GlClientActiveTexture(GL_TEXTURE0);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, r.texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glDisable(GL_TEXTURE_GEN_S);
    glDisable(GL_TEXTURE_GEN_T);
    glDisable(GL_TEXTURE_CUBE_MAP);
    glDisable(GL_TEXTURE_GEN_R);
    glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(2, GL_FLOAT, 0, r.uv);
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glScalef(1.0f, 1.0f, 1.0f);
  }
  glDisable(GL_ALPHA_TEST);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glMultMatrixf(r.matrix);
  glDrawElements(GL_TRIANGLES, r.index_count, GL_UNSIGNED_SHORT, r.indices);
  glPopMatrix();
  if (r.texture) {
    GlActiveTexture(GL_TEXTURE0);
    GlClientActiveTexture(GL_TEXTURE0);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_TEXTURE_CUBE_MAP);
    glDisable(GL_TEXTURE_GEN_S);
    glDisable(GL_TEXTURE_GEN_T);
    glDisable(GL_TEXTURE_GEN_R);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  }
}

// ---- Benchmarks -------------------------------------------------------------------

void Engine(benchmark::State& state, SceneKind kind) {
  BuildScene(kind);
  const long before = AllocationCount();
  for (auto _ : state) {
    TGlobal::RenderWorld();
    glFinish();
  }
  const double frames = double(state.iterations());
  state.counters["allocs_per_frame"] = double(AllocationCount() - before) / frames;
}

void Baseline(benchmark::State& state, SceneKind kind) {
  BuildScene(kind);
  const std::vector<DrawRecord> records = Records();
  const TMatrix view = g_scene.camera->matrix.Inverse();
  const long before = AllocationCount();
  for (auto _ : state) {
    BaselineCamera(view.data());
    BaselineLight(*g_scene.light);
    for (const DrawRecord& r : records) BaselineSurface(r);
    glFinish();
  }
  state.counters["allocs_per_frame"] = double(AllocationCount() - before) / double(state.iterations());
}

BENCHMARK_CAPTURE(Engine, cubes, SceneKind::kCubes)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);
BENCHMARK_CAPTURE(Baseline, cubes, SceneKind::kCubes)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions);
BENCHMARK_CAPTURE(Engine, dense_meshes, SceneKind::kDenseMeshes)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(kRepetitions);
BENCHMARK_CAPTURE(Baseline, dense_meshes, SceneKind::kDenseMeshes)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(kRepetitions);
BENCHMARK_CAPTURE(Engine, unfinished_surface, SceneKind::kUnfinishedSurface)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(kRepetitions);
BENCHMARK_CAPTURE(Baseline, unfinished_surface, SceneKind::kUnfinishedSurface)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(kRepetitions);

// Keeps each benchmark's best repetition so that main can print engine / baseline per scene.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration) continue;
      const std::string& name = run.run_name.function_name;  // "Engine/cubes"
      const double t = run.GetAdjustedRealTime();
      auto [it, fresh] = times_.emplace(name, t);
      if (!fresh && t < it->second) it->second = t;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void PrintRatios() const {
    for (const char* scene : {"cubes", "dense_meshes", "unfinished_surface"}) {
      const auto engine = times_.find(std::string("Engine/") + scene);
      const auto baseline = times_.find(std::string("Baseline/") + scene);
      if (engine == times_.end() || baseline == times_.end() || baseline->second <= 0) continue;
      std::printf("engine / baseline, %s: %.3f (best repetitions; target at most 1.3)\n", scene,
                  engine->second / baseline->second);
    }
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  g_context = TOffscreenContext::Create(kViewSize, kViewSize);
  if (!g_context) {
    std::fprintf(stderr, "no off-screen GL context\n");
    return 1;
  }
  TGlobal::width = TGlobal::height = kViewSize;
  TGlobal::GraphicsInit();
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  FreeScene();
  benchmark::Shutdown();
  // Gone before exit: the driver tears itself down in its own exit handler, and a
  // context destroyed after that crashes inside it.
  g_context.reset();
  return 0;
}
