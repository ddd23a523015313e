// Loading models through TMesh: the ".3ds" renaming, a cube for a missing file, and
// LoadMesh's collapse of the hierarchy by brush into one static mesh.
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "engine/mesh/brush.h"
#include "loader/loader_fixture.h"
#include "support/b3d_samples.h"

namespace {

using MeshLoading = LoaderTest;

TB3dWriter Named(const std::string& name) {
  TB3dWriter w;
  w.Header().BeginNode(name);
  TriangleMesh(w);
  w.Finish();
  return w;
}

bool HasVertex(const TMesh& mesh, float x, float y, float z) {
  for (const SurfacePtr& s : *mesh.surfaces)
    for (int v = 0; v < s->CountVertices(); ++v)
      if (s->VertexX(v) == x && s->VertexY(v) == y && s->VertexZ(v) == z) return true;
  return false;
}

TEST_F(MeshLoading, ThreeDsRequestsAreServedFromB3d) {
  const std::string dir = TestTempDir("rename");
  mkdir((dir + "/set.b3d").c_str(), 0755);
  struct Case {
    const char* saved;      // under dir; "" saves nothing
    const char* requested;  // under dir
    bool loads;             // else the cube of a missing file
  } cases[] = {
      {"/a.b3d", "/a.3ds", true},
      {"/set.b3d/b.b3d", "/set.3ds/b.3ds", true},  // every ".3ds" of the name changes
      {"/c.3DS", "/c.3DS", true},                  // the upper-case ending stays
      {"/d.3ds.b3d", "/d.3ds.b3d", true},          // ".3ds" not at the end stays
      {"/e.3ds", "/e.3ds", false},                 // only the ".b3d" file is looked for
  };
  for (const Case& c : cases) {
    ResetEngine();
    Named("model").Save(dir + c.saved);
    MeshPtr mesh = TMesh::LoadAnimMesh(dir + c.requested);
    ASSERT_NE(mesh, nullptr) << c.requested;
    EXPECT_EQ(mesh->name, c.loads ? "model" : "") << c.requested;
    EXPECT_EQ(mesh->CountSurfaces(), c.loads ? 1 : TMesh::CreateCube()->CountSurfaces()) << c.requested;
  }
}

TEST_F(MeshLoading, MissingFileGivesACube) {
  PivotPtr parent = TPivot::CreatePivot();
  MeshPtr cube = TMesh::CreateCube();
  const std::string missing = PathFor("missing.b3d");

  MeshPtr anim = TMesh::LoadAnimMesh(missing, parent);
  ASSERT_NE(anim, nullptr);
  EXPECT_EQ(anim->parent, nullptr) << "the parent is not used for the cube";
  EXPECT_EQ(anim->CountVertices(), cube->CountVertices());
  EXPECT_EQ(TEntity::entity_list.Count(), 3u);

  MeshPtr mesh = TMesh::LoadMesh(missing, parent);
  EXPECT_EQ(mesh->GetParent(), parent);
  EXPECT_EQ(mesh->CountVertices(), cube->CountVertices());
  EXPECT_EQ(mesh->CountTriangles(), cube->CountTriangles());
  EXPECT_EQ(TEntity::entity_list.Count(), 4u) << "the intermediate cube is freed";
}

TEST_F(MeshLoading, CollapseMergesByBrush) {
  B3dBrush a{"a", 0.5f}, a_again{"a2", 0.5f}, b{"b", 0.25f};
  struct Case {
    const char* what;
    int root_brush, root_second_brush, child_brush;  // TRIS brush ids; -3: no second TRIS
    std::vector<int> surface_vertices;
  } cases[] = {
      {"equal brushes", 0, -3, 1, {6}},
      {"different brushes, root first", 0, -3, 2, {3, 3}},
      {"two equal surfaces of one mesh stay apart", 0, 1, 1, {3 + 3, 3}},
  };
  for (const Case& c : cases) {
    ResetEngine();
    PivotPtr parent = TPivot::CreatePivot();
    parent->PositionEntity(10, 0, 0);
    TB3dWriter w;
    w.Header().Brus(0, {a, a_again, b}).BeginNode("root", {1, 0, 0});
    w.BeginMesh().Vrts(0, 1, 2, TriangleVertices()).Tris(c.root_brush, {0, 1, 2});
    if (c.root_second_brush != -3) w.Tris(c.root_second_brush, {2, 1, 0});
    w.End()
        .BeginNode("child", {0, 0, 5})
        .BeginMesh()
        .Vrts(0, 1, 2, TriangleVertices())
        .Tris(c.child_brush, {0, 1, 2});
    MeshPtr mesh = TMesh::LoadMesh(Save(w), parent);
    ASSERT_NE(mesh, nullptr) << c.what;
    ASSERT_EQ(mesh->CountSurfaces(), int(c.surface_vertices.size())) << c.what;
    for (size_t i = 0; i < c.surface_vertices.size(); ++i)
      EXPECT_EQ(mesh->GetSurface(int(i) + 1)->CountVertices(), c.surface_vertices[i])
          << c.what << " surface " << i;
    EXPECT_EQ(mesh->GetSurface(1)->brush->red, 0.5f) << c.what;
    EXPECT_NE(mesh->GetSurface(1)->brush, nullptr);

    // Parts land in the model's space (the child's vertex 1 at root 1 + 1 along x and
    // its own 5 along z); the result itself is placed under the parent.
    EXPECT_TRUE(HasVertex(*mesh, 2, 0, 5)) << c.what;
    EXPECT_TRUE(HasVertex(*mesh, 2, 0, 0)) << c.what;
    EXPECT_EQ(mesh->EntityX(), 0.0f);
    EXPECT_EQ(mesh->EntityX(1), 10.0f);
    EXPECT_EQ(mesh->class_name, "Mesh");
    EXPECT_EQ(mesh->name, "");
    EXPECT_EQ(TEntity::entity_list.Count(), 2u) << c.what << ": only the parent and the result";
  }
}

// Nothing of the loaded hierarchy stays behind, whatever the model holds.
TEST_F(MeshLoading, LoadMeshLeavesOnlyTheResult) {
  TB3dWriter two_tops;
  two_tops.Header().BeginNode("first");
  TriangleMesh(two_tops).End().End().BeginNode("second", {0, 3, 0});
  TriangleMesh(two_tops).End().BeginNode("bone").Bone({}).BeginNode("under").BeginMesh();
  two_tops.Vrts(0, 1, 2, TriangleVertices()).Tris(-1, {0, 1, 2});
  struct Case {
    const char* what;
    TB3dWriter model;
    int vertices;
  } cases[] = {
      {"static", SampleStaticModel(), 4 + 4 + 3 + 3},
      {"skinned", SampleSkinnedModel(), 4},
      {"bone root: an empty mesh", SampleBoneRootedModel(), 0},
      {"two top-level nodes, a mesh below a bone", two_tops, 3 + 3 + 3},
  };
  for (Case& c : cases) {
    ResetEngine();
    PivotPtr parent = TPivot::CreatePivot();
    MeshPtr mesh = TMesh::LoadMesh(Save(c.model), parent);
    ASSERT_NE(mesh, nullptr) << c.what;
    EXPECT_EQ(mesh->CountVertices(), c.vertices) << c.what;
    EXPECT_TRUE(mesh->bones.IsEmpty()) << c.what;
    EXPECT_EQ(mesh->animated, 0) << c.what;
    EXPECT_EQ(mesh->CountChildren(), 0) << c.what;
    EXPECT_EQ(TEntity::entity_list.Count(), 2u) << c.what;
    EXPECT_EQ(TEntity::entity_list.Last(), mesh) << c.what;
  }
}

// A model of one mesh is collapsed without copying its surfaces; the result must hold
// what the collapse gives, bit for bit (transformed positions and normals, the other
// attributes, counts, triangles, brushes), and grow as it would when added to.
TEST_F(MeshLoading, OneMeshLoadsAsItsCollapse) {
  B3dBrush red{"red", 1.0f, 0.0f, 0.0f}, blue{"blue", 0.0f, 0.0f, 1.0f};
  std::vector<float> vertices;  // position, normal, colour, two uv sets
  for (int i = 0; i < 5; ++i) {
    const float f = float(i);
    const float v[14] = {f, 0.5f * f - 1, -0.25f * f, 0.6f - 0.1f * f, 0.7f, 0.2f * f - 0.3f, f / 5, 0.5f, 1, 0.75f,
                         f, 1 - f, -f, 0.125f};
    vertices.insert(vertices.end(), v, v + 14);
  }
  TB3dWriter w;
  w.Header().Brus(0, {red, blue}).BeginNode("only", {1, -2, 3}, {2, 0.5f, -1}, {0.8f, 0.2f, -0.4f, 0.4f});
  w.BeginMesh().Vrts(3, 2, 2, vertices).Tris(0, {0, 1, 2, 2, 3, 4}).Tris(1, {4, 3, 0});
  w.Finish();
  const std::string file = Save(w);

  MeshPtr loaded = TMesh::LoadMesh(file);
  MeshPtr collapsed = TMesh::LoadAnimMesh(file)->CollapseAnimMesh();
  ASSERT_EQ(loaded->CountSurfaces(), collapsed->CountSurfaces());
  ASSERT_EQ(loaded->CountSurfaces(), 2);
  for (const bool grown : {false, true}) {
    for (int i = 1; i <= 2; ++i) {
      TSurface& got = *loaded->GetSurface(i);
      TSurface& want = *collapsed->GetSurface(i);
      if (grown) {  // after an add both are padded alike
        for (TSurface* s : {&got, &want}) s->AddTriangle(s->AddVertex(1, 2, 3), 0, 1);
        EXPECT_EQ(got.vertex_capacity, want.vertex_capacity) << i;
        EXPECT_EQ(got.triangle_capacity, want.triangle_capacity) << i;
      }
      const std::string at = std::string(grown ? "grown " : "") + "surface " + std::to_string(i);
      EXPECT_EQ(got.vertex_count, want.vertex_count) << at;
      EXPECT_EQ(got.triangle_count, want.triangle_count) << at;
      EXPECT_EQ(got.highest_triangle_vertex, want.highest_triangle_vertex) << at;  // drawing skips without it
      EXPECT_EQ(got.min_vertex_index, want.min_vertex_index) << at;
      EXPECT_EQ(got.max_vertex_index, want.max_vertex_index) << at;
      EXPECT_EQ(got.geometry_changed, want.geometry_changed) << at;
      ASSERT_NE(got.brush, nullptr);
      EXPECT_TRUE(TBrush::CompareBrushes(got.brush, want.brush)) << at;
      const size_t n = size_t(got.vertex_count);
      const std::pair<const std::vector<float>*, const std::vector<float>*> arrays[] = {
          {&got.vertex_positions, &want.vertex_positions}, {&got.vertex_normals, &want.vertex_normals},
          {&got.vertex_colours, &want.vertex_colours},     {&got.vertex_uv0, &want.vertex_uv0},
          {&got.vertex_uv1, &want.vertex_uv1}};
      for (const auto& [g, e] : arrays) {
        const size_t stride = e->size() / size_t(want.vertex_capacity);
        ASSERT_GE(g->size(), n * stride) << at;
        EXPECT_EQ(std::memcmp(g->data(), e->data(), n * stride * sizeof(float)), 0) << at;
        if (grown) {
          EXPECT_EQ(*g, *e) << at;
        }
      }
      const size_t corners = size_t(got.triangle_count) * 3;
      ASSERT_GE(got.triangle_indices.size(), corners) << at;
      EXPECT_TRUE(std::equal(got.triangle_indices.begin(), got.triangle_indices.begin() + long(corners),
                             want.triangle_indices.begin()))
          << at;
      if (grown) {
        EXPECT_EQ(got.triangle_indices, want.triangle_indices) << at;
      }
    }
  }
}

}  // namespace
