// Loading models.
// - A large skinned model: LoadAnimMesh of a generated B3D file (200,000 triangles,
//   100,000 vertices, 4 bone influences per vertex, 60 key frames) against a baseline
//   that reads the same bytes and parses its chunks into plain arrays. The ratio is what
//   building the scene costs on top of parsing; the target is at most 3x.
// - A 20,000-triangle grid whose file has no normals against the same grid with them:
//   what computing the normals adds (the target is at most 1.3x), and UpdateNormals of
//   that grid alone.
// - FreeEntity of a pivot with 32,000 pivot children.
// - Hostile files of about 1 MB (the crafted shapes of the loader tests): the load and
//   the free of what it made, in a child process whose address space is capped, with
//   its time, its peak resident growth and how it ended.
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "bench/process_status.h"
#include "engine/mesh/bone.h"
#include "engine/mesh/mesh.h"
#include "engine/mesh/surface.h"
#include "engine/scene/entity.h"
#include "platform/offscreen.h"
#include "platform/runtime.h"
#include "platform/stream.h"
#include "support/b3d_samples.h"
#include "support/image_files.h"

namespace {

// Two meshes of 50,000 vertices each: 16-bit triangle corners address at most 65,536
// vertices of one VRTS chunk. 32 bones per mesh, each vertex weighted by 4 of them.
constexpr int kMeshes = 2;
constexpr int kVerticesPerMesh = 50000;
constexpr int kTrianglesPerMesh = 100000;
constexpr int kBonesPerMesh = 32;
constexpr int kInfluences = 4;
constexpr int kFrames = 60;

const std::string& ModelFile() {
  static const std::string path = [] {
    std::string p = "/tmp/velmora_load_bench.b3d";
    SkinnedGridModel(kMeshes, kVerticesPerMesh, kTrianglesPerMesh, kBonesPerMesh, kInfluences, kFrames)
        .Save(p);
    return p;
  }();
  return path;
}

// The baseline's result: every group of the file in plain arrays.
struct PlainModel {
  std::vector<float> vertices;
  std::vector<int32_t> corners;
  std::vector<int32_t> weight_vertices;
  std::vector<float> weights;
  std::vector<int32_t> key_frames;
  std::vector<float> key_values;
  int nodes = 0;
};

// Walks the chunks by their lengths and copies each group straight from the stream
// into its array, sized from the chunk length first: no checks, no scene.
class PlainParser {
 public:
  explicit PlainParser(TStream& stream) : in_(stream) {}

  void Parse(PlainModel& m) {
    in_.Seek(12);  // the header
    Chunks(in_.Size(), m);
  }

 private:
  template <typename T>
  void Take(std::vector<T>& out, int64_t count) {
    const size_t at = out.size();
    out.resize(at + size_t(count));
    in_.ReadBytes(&out[at], size_t(count) * 4);
  }

  void Chunks(int64_t end, PlainModel& m) {
    while (in_.Pos() + 8 <= end) {
      char tag[4];
      in_.ReadBytes(tag, 4);
      const int64_t body_end = in_.Pos() + 4 + in_.ReadInt();
      if (!std::memcmp(tag, "NODE", 4)) {
        ++m.nodes;
        while (in_.ReadByte()) {
        }
        in_.Seek(in_.Pos() + 40);
        Chunks(body_end, m);
      } else if (!std::memcmp(tag, "MESH", 4)) {
        in_.ReadInt();
        Chunks(body_end, m);
      } else if (!std::memcmp(tag, "VRTS", 4)) {
        const int flags = in_.ReadInt(), sets = in_.ReadInt(), size = in_.ReadInt();
        const int64_t per = 3 + (flags & 1 ? 3 : 0) + (flags & 2 ? 4 : 0) + int64_t(sets) * size;
        Take(m.vertices, (body_end - in_.Pos()) / 4 / per * per);
      } else if (!std::memcmp(tag, "TRIS", 4)) {
        in_.ReadInt();
        Take(m.corners, (body_end - in_.Pos()) / 4);
      } else if (!std::memcmp(tag, "BONE", 4)) {
        const int64_t n = (body_end - in_.Pos()) / 8;
        m.weight_vertices.reserve(m.weight_vertices.size() + size_t(n));
        m.weights.reserve(m.weights.size() + size_t(n));
        for (int64_t i = 0; i < n; ++i) {
          m.weight_vertices.push_back(in_.ReadInt());
          m.weights.push_back(in_.ReadFloat());
        }
      } else if (!std::memcmp(tag, "KEYS", 4)) {
        const int flags = in_.ReadInt();
        const int64_t floats = (flags & 1 ? 3 : 0) + (flags & 2 ? 3 : 0) + (flags & 4 ? 4 : 0);
        for (int64_t n = (body_end - in_.Pos()) / (4 + floats * 4); n; --n) {
          m.key_frames.push_back(in_.ReadInt());
          Take(m.key_values, floats);
        }
      }
      in_.Seek(body_end);
    }
  }

  TStream& in_;
};

void BM_ParseIntoPlainArrays(benchmark::State& state) {
  const std::string& file = ModelFile();
  for (auto _ : state) {
    std::shared_ptr<TStream> stream = TStream::OpenFile(file);
    PlainModel model;
    PlainParser(*stream).Parse(model);
    benchmark::DoNotOptimize(model.vertices.data());
    if (model.corners.size() != size_t(kMeshes) * kTrianglesPerMesh * 3)
      state.SkipWithError("baseline misread");
  }
}
BENCHMARK(BM_ParseIntoPlainArrays)->Unit(benchmark::kMillisecond);

void BM_LoadAnimMesh(benchmark::State& state) {
  const std::string& file = ModelFile();
  for (auto _ : state) {
    MeshPtr root = TMesh::LoadAnimMesh(file);
    state.PauseTiming();
    int triangles = 0, vertices = 0, influences = 0;
    size_t bones = 0;
    for (const EntityPtr& e : TEntity::entity_list) {
      if (auto mesh = std::dynamic_pointer_cast<TMesh>(e)) {
        triangles += mesh->CountTriangles();
        vertices += mesh->CountSurfaces() ? mesh->GetSurface(1)->CountVertices() : 0;
        bones += mesh->bones.Count();
        for (const BonePtr& bone : mesh->bones) influences += bone->influence_count;
      }
    }
    if (triangles != kMeshes * kTrianglesPerMesh || vertices != kMeshes * kVerticesPerMesh ||
        bones != size_t(kMeshes) * kBonesPerMesh || influences != kMeshes * kVerticesPerMesh * kInfluences) {
      state.SkipWithError("model misread");
    }
    root->FreeEntity();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_LoadAnimMesh)->Unit(benchmark::kMillisecond);

// ---- Normals computed or read ----------------------------------------------------------

constexpr int kGridTriangles = 20000;

const std::string& GridFile(bool normals) {
  static const std::string with = "/tmp/velmora_load_bench_grid_n.b3d", without = "/tmp/velmora_load_bench_grid.b3d";
  static const bool written = GridModel(kGridTriangles, true).Save(with) && GridModel(kGridTriangles, false).Save(without);
  (void)written;
  return normals ? with : without;
}

void BM_LoadGrid(benchmark::State& state) {
  const bool normals = state.range(0) != 0;
  const std::string& file = GridFile(normals);
  for (auto _ : state) {
    MeshPtr mesh = TMesh::LoadAnimMesh(file);
    state.PauseTiming();
    if (!mesh || mesh->CountTriangles() != kGridTriangles) state.SkipWithError("grid misread");
    mesh->FreeEntity();
    state.ResumeTiming();
  }
  state.SetLabel(normals ? "normals in the file" : "normals computed");
}
BENCHMARK(BM_LoadGrid)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

void BM_UpdateNormalsGrid(benchmark::State& state) {
  MeshPtr mesh = TMesh::LoadAnimMesh(GridFile(true));
  for (auto _ : state) mesh->UpdateNormals();
  mesh->FreeEntity();
}
BENCHMARK(BM_UpdateNormalsGrid)->Unit(benchmark::kMicrosecond);

// ---- Freeing a wide parent through the commands -----------------------------------------

void BM_FreeWideParent(benchmark::State& state) {
  const int children = int(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    PivotPtr parent = TPivot::CreatePivot();
    for (int i = 0; i < children; ++i) TPivot::CreatePivot(parent);
    state.ResumeTiming();
    parent->FreeEntity();
  }
}
BENCHMARK(BM_FreeWideParent)->Arg(32000)->Unit(benchmark::kMillisecond);

// ---- Hostile files ---------------------------------------------------------------------

constexpr size_t kHostileBytes = 1 << 20;
// A load that would take more is stopped and reported as such; the address-space cap
// keeps a load that asks for tens of gigabytes from taking the machine with it.
constexpr unsigned kHostileSeconds = 120;
constexpr rlim_t kHostileAddressSpace = rlim_t(4) << 30;

// The model of `shape` at `bytes` in a directory of its own, beside the 512 x 512 PNG
// that the texture shape names.
std::string HostileFile(int shape, size_t bytes) {
  const std::string dir = "/tmp/velmora_load_bench_hostile";
  static const bool made = [&] {
    mkdir(dir.c_str(), 0755);
    return WriteFileBytes(dir + "/tex.png",
                          EncodePng({512, 512, 2 /* RGB */, 8, false, Bytes(size_t(512) * 512 * 3, 100)}));
  }();
  (void)made;
  const std::string path = dir + "/shape" + std::to_string(shape) + "_" + std::to_string(bytes) + ".b3d";
  HostileModels(bytes)[size_t(shape)].Save(path);
  return path;
}

// What the child reports: the load and free's time and its peak resident growth.
struct ChildReport {
  double seconds = -1, peak_mib = -1;
};
int g_report_fd = -1;
long g_peak_start_kib = 0;
std::chrono::steady_clock::time_point g_start;

void SendReport() {
  ChildReport r;
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - g_start).count();
  r.peak_mib = PeakGrowthMiB(g_peak_start_kib);
  (void)!write(g_report_fd, &r, sizeof r);
}

// Loads and frees in a child, which reports on its way out, the fatal way included; a
// child that dies is timed by the parent, and its peak read from wait4.
void BM_HostileLoad(benchmark::State& state) {
  const int shape = int(state.range(0));
  const size_t bytes = size_t(state.range(1));
  const std::string file = HostileFile(shape, bytes);
  static const char* const kShapes[] = {"long name, many bones", "split TRIS chunks", "wide parent of bones",
                                        "one image, many flags"};
  ChildReport report;
  std::string ended;
  for (auto _ : state) {
    int fds[2];
    if (pipe(fds) != 0) state.SkipWithError("no pipe");
    const long base_kib = StatusKiB("VmRSS");
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
      close(fds[0]);
      g_report_fd = fds[1];
      const rlimit cap{kHostileAddressSpace, kHostileAddressSpace};
      setrlimit(RLIMIT_AS, &cap);
      alarm(kHostileSeconds);
      auto context = TOffscreenContext::Create(16, 16);
      if (!context || !context->MakeCurrent()) _exit(3);
      SetFatalHandler([](const std::string&) {
        SendReport();
        _exit(255);
      });
      g_peak_start_kib = ResetPeakKiB();
      g_start = std::chrono::steady_clock::now();
      TMesh::LoadAnimMesh(file);
      // Every root, a bone at the root too (its own FreeEntity leaves it to its mesh).
      while (!TEntity::entity_list.IsEmpty()) {
        EntityPtr e = TEntity::entity_list.First();
        while (e->parent) e = e->GetParent();
        e->TEntity::FreeEntity();
      }
      SendReport();
      _exit(0);
    }
    close(fds[1]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    if (read(fds[0], &report, sizeof report) != sizeof report) {
      report.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      report.peak_mib = double(usage.ru_maxrss - base_kib) / 1024.0;
    }
    close(fds[0]);
    if (WIFEXITED(status)) {
      ended = WEXITSTATUS(status) == 0 ? "loaded and freed" : "refused (fatal message)";
    } else if (WTERMSIG(status) == SIGALRM) {
      ended = "stopped after " + std::to_string(kHostileSeconds) + " s";
    } else {
      ended = std::string("died: ") + strsignal(WTERMSIG(status));
    }
  }
  state.counters["seconds"] = report.seconds;
  state.counters["peak_MiB"] = report.peak_mib;
  state.SetLabel(std::string(kShapes[shape]) + ", " + std::to_string(bytes >> 10) + " KiB: " + ended);
}
BENCHMARK(BM_HostileLoad)
    ->ArgsProduct({{0, 1, 2, 3}, {int64_t(kHostileBytes)}})
    ->Args({1, 128 << 10})
    ->Args({2, 256 << 10})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
