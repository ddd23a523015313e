// The model reader on broken and hostile files: every value the file gives is checked
// before use, and each violation is skipped or stops with "Invalid b3d file" - never an
// out-of-bounds access (the sanitizer build runs these), a hang or a huge allocation.
#include <cstring>

#include "engine/loader/bounded_reader.h"
#include "engine/mesh/brush.h"
#include "loader/loader_fixture.h"
#include "support/b3d_samples.h"

namespace {

using B3dLimits = LoaderTest;
using B3dOrder = LoaderTest;
using B3dDamage = LoaderTest;

MeshPtr RootMesh(const TModelParts& parts) { return std::dynamic_pointer_cast<TMesh>(parts.root); }

TEST_F(B3dLimits, NodeNesting) {
  for (int depth : {kB3dMaxNodeDepth, kB3dMaxNodeDepth + 1}) {
    ResetEngine();
    TB3dWriter w;
    w.Header();
    for (int i = 0; i < depth; ++i) w.BeginNode("n").BeginMesh().End();
    EXPECT_EQ(FatalOf(w.Finish().Bytes()), depth > kB3dMaxNodeDepth ? "Invalid b3d file" : "") << depth;
  }
}

// Chunk ends are computed in 64 bits: a length near 2^31 neither wraps nor reaches
// past the file.
TEST_F(B3dLimits, HugeLengthsDoNotWrap) {
  TB3dWriter w;
  w.Header().BeginNode("outer").BeginMesh().End();
  w.BeginNode("inner").BeginMesh().End().End();
  w.EndWithLength(INT32_MAX);
  TModelParts parts = Parts(w);
  ASSERT_NE(parts.root, nullptr);
  EXPECT_EQ(parts.root->CountChildren(), 1) << "inner stays inside outer";

  ResetEngine();
  TB3dWriter tris;
  tris.Header().BeginNode("m").BeginMesh().Vrts(0, 1, 2, TriangleVertices()).Begin("TRIS").Int(-1);
  tris.Int(0).Int(1).Int(2).Int(2).Int(1);  // a partial triangle at the file's end
  tris.EndWithLength(INT32_MAX);
  MeshPtr mesh = RootMesh(Parts(tris));
  ASSERT_NE(mesh, nullptr);
  EXPECT_EQ(mesh->CountTriangles(), 1);
}

TEST_F(B3dLimits, VertexCountCeiling) {
  for (int64_t n : {kB3dMaxChunkVertices, kB3dMaxChunkVertices + 1}) {
    ResetEngine();
    TB3dWriter w;
    w.Header().BeginNode("m").BeginMesh().Vrts(0, 0, 0, std::vector<float>(size_t(n) * 3, 1.0f));
    w.Tris(-1, {0, int(n - 1), 1});
    EXPECT_EQ(FatalOf(w.Finish().Bytes()), n > kB3dMaxChunkVertices ? "Invalid b3d file" : "") << n;
  }
}

// Each TRIS chunk of twelve bytes with a new brush id copies the whole VRTS chunk; the
// memory budget stops a file that would multiply itself into gigabytes.
TEST_F(B3dLimits, SurfaceCopiesStopAtTheBudget) {
  TB3dWriter w;
  w.Header().Brus(0, {{}, {"other", 0.5f}}).BeginNode("m").BeginMesh();
  w.Vrts(0, 0, 0, std::vector<float>(size_t(kB3dMaxChunkVertices) * 3, 1.0f));
  const int64_t surface_bytes = kB3dMaxChunkVertices * 14 * 4;
  for (int64_t i = 0; i <= kLoaderMemoryBudget / surface_bytes; ++i) w.Tris(int(i % 2), {});
  EXPECT_EQ(FatalOf(w.Finish().Bytes()), "Invalid b3d file");
}

TEST_F(B3dLimits, TexCoordSetsAndFrameCounts) {
  struct Sets {
    int count, size;
    bool read;
  } sets[] = {{8, 4, true},
              {0, 0, true},
              {9, 2, false},
              {-1, 2, false},
              {1, 5, false},
              {1, -1, false},
              {INT32_MAX, INT32_MAX, false}};
  for (const Sets& c : sets) {
    ResetEngine();
    TB3dWriter w;
    const size_t floats = c.read ? size_t(3 + c.count * c.size) : 3;
    w.Header().BeginNode("m").BeginMesh().Vrts(0, c.count, c.size, std::vector<float>(floats * 3, 0.5f));
    w.Tris(-1, {0, 1, 2});
    MeshPtr mesh = RootMesh(Parts(w));
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->CountVertices(), c.read ? 3 : 0) << c.count << " sets of " << c.size;
  }

  struct Frames {
    int frames;
    size_t key_slots;  // 1: the ANIM chunk was skipped
  } frames[] = {
      {0, 1}, {kB3dMaxFrames, size_t(kB3dMaxFrames) + 1}, {kB3dMaxFrames + 1, 1}, {-1, 1}, {INT32_MIN, 1}};
  for (const Frames& c : frames) {
    ResetEngine();
    TB3dWriter w;
    w.Header().BeginNode("m").BeginMesh().End().Anim(c.frames).BeginNode("b").Bone({});
    MeshPtr mesh = RootMesh(Parts(w));
    ASSERT_EQ(mesh->bones.Count(), 1u);
    EXPECT_EQ(mesh->bones.First()->keys->key_flags.size(), c.key_slots) << c.frames;
    EXPECT_EQ(mesh->animated, c.key_slots > 1 || c.frames == 0 ? 1 : 0) << c.frames;
  }
}

TEST_F(B3dLimits, IndicesAndIdsOutsideTheirTables) {
  TB3dWriter w;
  w.Header().Texs({{"none.png"}}).Brus(3, {{"b", 0.5f, 1, 1, 1, 0, 1, 0, {-2, 1, INT32_MAX}}});
  w.BeginNode("m").BeginMesh(1).Vrts(0, 1, 2, TriangleVertices());
  // Corners at or past the vertex count, or negative, drop their triangle.
  w.Tris(0, {0, 1, 2, 0, 1, 3, -1, 0, 1, 0, 65536, 1, INT32_MIN, 1, 2, 2, 1, 0}).End();
  w.Anim(3).BeginNode("b").Bone({{2, 1}, {3, 1}, {-1, 1}, {INT32_MAX, 1}, {0, 0.5f}});
  w.Keys(1, {{-1, {9, 9, 9}}, {4, {9, 9, 9}}, {INT32_MAX, {9, 9, 9}}, {3, {1, 2, 3}}, {0, {4, 5, 6}}});
  MeshPtr mesh = RootMesh(Parts(w));
  ASSERT_NE(mesh, nullptr);
  EXPECT_EQ(mesh->CountTriangles(), 2);
  EXPECT_EQ(SurfaceOf(mesh).max_vertex_index, 2);
  EXPECT_EQ(SurfaceOf(mesh).brush->layer_count, 3);
  for (const TexturePtr& t : SurfaceOf(mesh).brush->textures) EXPECT_EQ(t, nullptr);
  ASSERT_EQ(mesh->bones.Count(), 1u);
  const TBone& bone = *mesh->bones.First();
  EXPECT_EQ(bone.influence_vertices, (std::vector<int>{2, 0}));
  EXPECT_EQ(bone.keys->key_flags, (std::vector<int>{1, 0, 0, 1}));
  EXPECT_EQ(bone.keys->pos_z[3], 3.0f);
  EXPECT_EQ(bone.keys->pos_x[0], 4.0f);

  // A texture count that cannot fit skips the chunk, so the brush ids then name nothing.
  for (int n : {-1, INT32_MAX}) {
    ResetEngine();
    TB3dWriter bad;
    bad.Header().Brus(n, {{}}).BeginNode("m");
    TriangleMesh(bad, 0, 0);
    mesh = RootMesh(Parts(bad));
    ASSERT_NE(mesh, nullptr) << n;
    EXPECT_EQ(SurfaceOf(mesh).brush, nullptr) << n;
  }
}

// A chunk without the chunk it needs is skipped; what follows is read as usual.
TEST_F(B3dOrder, ChunksOutOfOrder) {
  struct Case {
    const char* what;
    void (*build)(TB3dWriter&);
    int vertices, triangles;  // of the whole load
    size_t bones, entities;
  } cases[] = {
      {"VRTS and TRIS without MESH",
       [](TB3dWriter& w) {
         w.BeginNode("m").Vrts(0, 1, 2, TriangleVertices()).Tris(-1, {0, 1, 2});
       },
       0, 0, 0, 0},
      {"TRIS without VRTS",
       [](TB3dWriter& w) {
         w.BeginNode("m").BeginMesh().Tris(-1, {0, 1, 2});
       },
       0, 0, 0, 1},
      {"TRIS of a second mesh without its own VRTS",
       [](TB3dWriter& w) {
         w.BeginNode("a");
         TriangleMesh(w).End().End().BeginNode("b").BeginMesh().Tris(-1, {0, 1, 2});
       },
       3, 1, 0, 2},
      {"a second VRTS in one mesh",
       [](TB3dWriter& w) {
         w.BeginNode("m").BeginMesh().Vrts(0, 1, 2, TriangleVertices());
         w.Vrts(0, 0, 0, std::vector<float>(12, 0.0f)).Tris(-1, {0, 1, 2, 0, 1, 3});
       },
       3, 1, 0, 1},
      {"KEYS in a node without BONE",
       [](TB3dWriter& w) {
         w.BeginNode("m").BeginMesh().End().Anim(2).BeginNode("b").Bone({}).End();
         w.BeginNode("k").BeginMesh().End().Keys(1, {{1, {1, 1, 1}}});
       },
       0, 0, 1, 3},
      {"KEYS at file level",
       [](TB3dWriter& w) {
         w.Keys(1, {{0, {1, 1, 1}}});
       },
       0, 0, 0, 0},
      {"a bone outside the mesh's subtree is still the last mesh's",
       [](TB3dWriter& w) {
         w.BeginNode("m").BeginMesh().Vrts(0, 1, 2, TriangleVertices()).Tris(-1, {0, 1, 2}).End().End();
         w.BeginNode("b").Bone({{0, 1}});
       },
       3, 1, 1, 2},
      {"MESH before any NODE", [](TB3dWriter& w) { TriangleMesh(w); }, 3, 1, 0, 1},
  };
  for (const Case& c : cases) {
    ResetEngine();
    TB3dWriter w;
    w.Header();
    c.build(w);
    TModelParts parts = Parts(w);
    int vertices = 0, triangles = 0;
    size_t bones = 0;
    for (const EntityPtr& e : TEntity::entity_list) {
      if (auto mesh = std::dynamic_pointer_cast<TMesh>(e)) {
        vertices += mesh->CountVertices();
        triangles += mesh->CountTriangles();
        bones += mesh->bones.Count();
      }
    }
    for (const EntityPtr& e : TEntity::entity_list) {
      auto bone = std::dynamic_pointer_cast<TBone>(e);
      if (!bone) continue;
      EXPECT_EQ(bone->keys->key_flags, std::vector<int>(bone->keys->key_flags.size(), 0)) << c.what;
      // A bone no mesh owns keeps no weights: they would name nobody's vertices.
      if (bones == 0) {
        EXPECT_EQ(bone->influence_count, 0) << c.what;
      }
    }
    EXPECT_EQ(vertices, c.vertices) << c.what;
    EXPECT_EQ(triangles, c.triangles) << c.what;
    EXPECT_EQ(bones, c.bones) << c.what;
    EXPECT_EQ(TEntity::entity_list.Count(), c.entities) << c.what << ": each entity listed once";
  }
}

// Entries end at their chunk's end: a vertex whose bytes spell a tag is still a vertex.
TEST_F(B3dDamage, EntriesEndAtTheChunkEnd) {
  float node_as_float;
  std::memcpy(&node_as_float, "NODE", 4);
  TB3dWriter w;
  w.Header().BeginNode("m").BeginMesh().Vrts(0, 0, 0, {0, 0, 0, node_as_float, 1, 0, 0, 1, 0});
  w.Tris(-1, {0, 1, 2});
  MeshPtr mesh = RootMesh(Parts(w));
  ASSERT_NE(mesh, nullptr);
  ASSERT_EQ(mesh->CountVertices(), 3);
  EXPECT_EQ(SurfaceOf(mesh).VertexX(1), node_as_float);
  EXPECT_EQ(TEntity::entity_list.Count(), 1u);
}

// Cut, mislabelled and padded versions of every sample model: the load never fails
// past the header and never reads out of bounds.
TEST_F(B3dDamage, TruncatedWrongLengthsAndJunk) {
  const int32_t lengths[] = {0, 1, 3, 7, 12, 1000, INT32_MAX, -1, -8, INT32_MIN};
  for (TB3dWriter& model : SampleModels()) {
    const std::vector<uint8_t>& whole = model.Bytes();
    for (size_t keep = 0; keep <= whole.size(); ++keep) {
      ResetEngine();
      EXPECT_EQ(FatalOf(model.Truncated(keep)), keep < 4 ? "Invalid b3d file" : "") << "kept " << keep;
    }
    for (size_t chunk = 1; chunk < model.ChunkCount(); ++chunk) {
      for (int32_t length : lengths) {
        ResetEngine();
        EXPECT_EQ(FatalOf(model.WithLength(chunk, length)), "") << "chunk " << chunk << " length " << length;
      }
    }
    for (size_t at = 12; at <= whole.size(); ++at) {
      ResetEngine();
      EXPECT_EQ(FatalOf(model.WithJunk(at, "\x01")), "") << "junk at " << at;
    }
  }
}

}  // namespace
