// Loading a large skinned model: LoadAnimMesh of a generated B3D file (200,000
// triangles, 100,000 vertices, 4 bone influences per vertex, 60 key frames) against a
// baseline that reads the same bytes and parses its chunks into plain arrays. The
// ratio is what building the scene costs on top of parsing; the target is at most 3x.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/mesh/bone.h"
#include "engine/mesh/mesh.h"
#include "engine/mesh/surface.h"
#include "engine/scene/entity.h"
#include "platform/stream.h"
#include "support/b3d_samples.h"

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

}  // namespace

BENCHMARK_MAIN();
