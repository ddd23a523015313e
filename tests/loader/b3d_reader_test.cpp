// The model reader on well-formed files: header and fatal messages, the node
// hierarchy and transforms, brushes, vertex formats, surfaces, skinning data and keys.
#include <cmath>
#include <map>

#include "engine/math/quaternion.h"
#include "engine/mesh/animation.h"
#include "engine/mesh/brush.h"
#include "engine/scene/entity.h"
#include "loader/loader_fixture.h"
#include "platform/file.h"

namespace {

using B3dHeader = LoaderTest;
using B3dHierarchy = LoaderTest;
using B3dMaterials = LoaderTest;
using B3dGeometry = LoaderTest;
using B3dSkinning = LoaderTest;

EntityPtr Named(const std::string& name) {
  for (const EntityPtr& e : TEntity::entity_list)
    if (e->name == name) return e;
  return nullptr;
}

void ExpectMatrixNear(const TMatrix& a, const TMatrix& b, const std::string& what) {
  for (int c = 0; c < 4; ++c)
    for (int r = 0; r < 4; ++r)
      EXPECT_NEAR(a.grid[c][r], b.grid[c][r], 1e-5) << what << " [" << c << "][" << r << "]";
}

// The fatal messages are compared whole: "Invalid b3d file" is a prefix of the version one.
TEST_F(B3dHeader, FatalMessagesAndVersions) {
  struct Case {
    const char* tag;
    int version;
    const char* fatal;
  } cases[] = {
      {"BB3D", 1, ""},
      {"BB3D", 99, ""},
      {"BB3D", 0, ""},
      {"BB3D", -5, ""},    // every version below 100 passes
      {"BB3D", -199, ""},  // -1.99 truncates toward zero
      {"BB3D", 100, "Invalid b3d file version"},
      {"BB3D", 250, "Invalid b3d file version"},
      {"BB3d", 1, "Invalid b3d file"},
      {"NODE", 1, "Invalid b3d file"},
      {"BB3d", 100, "Invalid b3d file"},  // the tag is judged first
  };
  const std::string before = CurrentDir();
  for (const Case& c : cases) {
    TB3dWriter w;
    w.Header(c.version, c.tag);
    std::string fatal;
    try {
      EXPECT_EQ(Load(w), nullptr);
    } catch (const FatalError& e) {
      fatal = e.what();
    }
    EXPECT_EQ(fatal, c.fatal) << c.tag << " version " << c.version;
    EXPECT_EQ(CurrentDir(), before) << "the fatal path restores the directory";
  }
  EXPECT_EQ(FatalOf({}), "Invalid b3d file");
  EXPECT_EQ(FatalOf({'B', 'B', '3'}), "Invalid b3d file");

  for (const std::string& missing : {PathFor("absent.b3d"), TestTempDir("a_directory")}) {
    try {
      TModel::LoadAnimB3D(missing, nullptr);
      ADD_FAILURE() << missing;
    } catch (const FatalError& e) {
      EXPECT_STREQ(e.what(), "File not found") << missing;
    }
  }
  EXPECT_TRUE(TEntity::entity_list.IsEmpty());
}

TEST_F(B3dHeader, OneMeshNodeUnderTheParent) {
  PivotPtr parent = TPivot::CreatePivot();
  TB3dWriter w;
  w.Header().BeginNode("root");
  TriangleMesh(w);
  const std::string before = CurrentDir();
  MeshPtr mesh = Load(w, parent);
  EXPECT_EQ(CurrentDir(), before);
  ASSERT_NE(mesh, nullptr);
  EXPECT_EQ(mesh->class_name, "Mesh");
  EXPECT_EQ(mesh->name, "root");
  EXPECT_EQ(mesh->GetParent(), parent);
  EXPECT_EQ(parent->CountChildren(), 1);
  ASSERT_EQ(mesh->CountSurfaces(), 1);
  const TSurface& s = SurfaceOf(mesh);
  EXPECT_EQ(s.CountVertices(), 3);
  EXPECT_EQ(s.CountTriangles(), 1);
  EXPECT_EQ(s.TriangleVertex(0, 0), 0);
  EXPECT_EQ(s.TriangleVertex(0, 2), 2);
  for (int v = 0; v < 3; ++v) {
    // No normals in the file: computed, and the triangle lies in the x-y plane.
    EXPECT_FLOAT_EQ(std::fabs(s.VertexNZ(v)), 1.0f) << v;
    EXPECT_EQ(s.VertexRed(v) + s.VertexGreen(v) + s.VertexBlue(v) + s.VertexAlpha(v), 0.0f) << v;
  }
  EXPECT_EQ(s.VertexX(1), 1.0f);
  EXPECT_EQ(s.VertexU(1, 0), 1.0f);
  EXPECT_EQ(s.VertexV(2, 0), 1.0f);
  EXPECT_EQ(TEntity::entity_list.Count(), 2u);

  TB3dWriter empty;
  empty.Header();
  EXPECT_EQ(Load(empty), nullptr);
  EXPECT_EQ(TEntity::entity_list.Count(), 2u);
}

// Each node: its level and what it makes: 'm' a mesh (MESH chunk), 'b' a bone, '-'
// nothing (a junk byte after its header, so it is not taken for a mesh).
struct NodeSpec {
  int level;
  char kind;
};

TB3dWriter Nodes(const std::vector<NodeSpec>& nodes) {
  TB3dWriter w;
  w.Header();
  int open = 0;
  for (size_t i = 0; i < nodes.size(); ++i) {
    for (; open > nodes[i].level; --open) w.End();
    w.BeginNode("n" + std::to_string(i));
    ++open;
    if (nodes[i].kind == 'm') w.BeginMesh().End();
    if (nodes[i].kind == 'b') w.Bone({});
    if (nodes[i].kind == '-') w.Raw("\x01");
  }
  w.Finish();
  return w;
}

TEST_F(B3dHierarchy, ParentIsTheNearestEnclosingEntity) {
  struct Case {
    const char* what;
    std::vector<NodeSpec> nodes;
    std::vector<int> parent;  // index of the parent node; -1 none; -2 the load's parent
  } cases[] = {
      {"down and back up", {{0, 'm'}, {1, 'm'}, {2, 'm'}, {3, 'm'}, {2, 'm'}}, {-2, 0, 1, 2, 1}},
      {"siblings", {{0, 'm'}, {1, 'm'}, {1, 'm'}}, {-2, 0, 0}},
      {"two top-level nodes",
       {{0, 'm'}, {1, 'm'}, {2, 'm'}, {0, 'm'}, {1, 'm'}, {2, 'm'}, {1, 'm'}},
       {-2, 0, 1, -1, 3, 4, 3}},
      {"nodes that make nothing", {{0, 'm'}, {1, '-'}, {2, '-'}, {3, 'm'}, {2, 'm'}}, {-2, -1, -1, 0, 0}},
      {"first entity below level 0", {{0, '-'}, {1, 'm'}, {1, 'm'}}, {-1, -2, -1}},
      {"skeleton", {{0, 'm'}, {1, 'b'}, {2, 'b'}, {1, 'b'}}, {-2, 0, 1, 0}},
      {"node made a mesh by its child", {{0, '-'}, {1, 'n'}, {2, 'm'}}, {-1, -2, 1}},
  };
  for (const Case& c : cases) {
    ResetEngine();
    PivotPtr holder = TPivot::CreatePivot();
    TB3dWriter w = Nodes(c.nodes);
    EXPECT_NE(TModel::LoadAnimB3D(Save(w), holder), nullptr) << c.what;
    int attached = 0;
    for (size_t i = 0; i < c.nodes.size(); ++i) {
      EntityPtr e = Named("n" + std::to_string(i));
      if (c.nodes[i].kind == '-') {
        EXPECT_EQ(e, nullptr) << c.what << ": node " << i;
        continue;
      }
      ASSERT_NE(e, nullptr) << c.what << ": node " << i;
      EntityPtr expected = c.parent[i] == -2  ? holder
                           : c.parent[i] >= 0 ? Named("n" + std::to_string(c.parent[i]))
                                              : nullptr;
      EXPECT_EQ(e->GetParent(), expected) << c.what << ": node " << i;
      if (e->parent) ++attached;
    }
    // Each entity sits in exactly one child list, once.
    int listed = 0;
    for (const EntityPtr& e : TEntity::entity_list) listed += e->CountChildren();
    EXPECT_EQ(listed, attached) << c.what;
  }
}

TEST_F(B3dHierarchy, NodeTransforms) {
  const float h = std::sqrt(0.5f);
  struct Case {
    std::vector<float> pos, scale, quat;
  } cases[] = {
      {{1, 2, 3}, {1, 1, 1}, {1, 0, 0, 0}},
      {{1, 2, 3}, {2, 3, 4}, {h, 0, h, 0}},              // a quarter turn about y
      {{-4, 0, 7}, {1, 1, 1}, {h, h, 0, 0}},             // about x
      {{0, 5, 0}, {1, 2, 1}, {0.8f, 0.2f, 0.4f, 0.4f}},  // no axis; clear of gimbal lock
  };
  for (const Case& c : cases) {
    ResetEngine();
    TB3dWriter w;
    w.Header().BeginNode("mesh", c.pos, c.scale, c.quat).BeginMesh().End();
    w.BeginNode("child", {1, 0, 2}, {1, 1, 1}, c.quat).BeginMesh().End().End();
    w.BeginNode("bone", c.pos, c.scale, c.quat).Bone({});
    MeshPtr mesh = Load(w);
    ASSERT_NE(mesh, nullptr);
    const std::string what = "position " + std::to_string(c.pos[0]) + " quat w " + std::to_string(c.quat[0]);
    EXPECT_EQ(mesh->pos_x, c.pos[0]);
    EXPECT_EQ(mesh->pos_z, -c.pos[2]) << what;
    EXPECT_EQ(mesh->EntityZ(1), c.pos[2]) << what;
    EXPECT_EQ(mesh->quat_w, c.quat[0]);
    // The loaded matrix and the local fields agree: rebuilding from the fields by the
    // engine's own transform gives the same matrix, for the root and below it.
    TMatrix loaded = mesh->matrix;
    mesh->UpdateMat(1);
    ExpectMatrixNear(mesh->matrix, loaded, what);
    EntityPtr child = Named("child");
    loaded = child->matrix;
    child->matrix = mesh->matrix;
    child->UpdateMat(0);
    ExpectMatrixNear(child->matrix, loaded, what + " child");

    // A bone's pose keeps the file's z, quaternion and scale; its world matrix is that
    // pose below the mesh's world matrix, mirrored into the engine's axes like any node's.
    auto bone = std::dynamic_pointer_cast<TBone>(Named("bone"));
    ASSERT_NE(bone, nullptr);
    TMatrix local;
    TQuaternion::QuatToMat(c.quat[0], c.quat[1], c.quat[2], c.quat[3], local);
    local.Scale(c.scale[0], c.scale[1], c.scale[2]);
    local.grid[3][0] = c.pos[0], local.grid[3][1] = c.pos[1], local.grid[3][2] = c.pos[2];
    TMatrix world = mesh->matrix;
    world.Multiply(TAnimation::Mirrored(local));
    ExpectMatrixNear(bone->matrix, world, what + " bone");
    EXPECT_EQ(bone->rest_pos_z, -c.pos[2]);
  }
}

TEST_F(B3dMaterials, BrushesAndTheirIds) {
  B3dBrush red{"ignored", 0.5f, 0.25f, 0.125f, 0.75f, 0.5f, 3, 2, {0, -1}};
  B3dBrush plain{"", 1, 1, 1, 1, 0, 1, 0, {-1, -1}};
  struct Case {
    int tris_brush;
    int expected;  // index into the brush table; -1 none
  } cases[] = {{-1, -1}, {0, 0}, {1, 1}, {2, -1}, {-2, -1}, {INT32_MIN, -1}, {99, -1}};
  TB3dWriter w;
  w.Header().Texs({{"missing.png"}}).Brus(2, {red, plain}).BeginNode("root", {}, {1, 1, 1});
  TriangleMesh(w, 0).End();
  for (size_t i = 0; i < std::size(cases); ++i) {
    w.BeginNode("part" + std::to_string(i));
    TriangleMesh(w, i == 1 ? 7 : -1, cases[i].tris_brush).End().End();
  }
  MeshPtr root = Load(w);
  ASSERT_NE(root, nullptr);
  // The MESH brush is copied into the entity's own brush.
  EXPECT_EQ(root->brush->red, 0.5f);
  EXPECT_EQ(root->brush->blend, 3);
  std::map<int, BrushPtr> seen;
  for (size_t i = 0; i < std::size(cases); ++i) {
    auto part = std::dynamic_pointer_cast<TMesh>(Named("part" + std::to_string(i)));
    ASSERT_NE(part, nullptr) << i;
    ASSERT_EQ(part->CountSurfaces(), 1) << i;
    const BrushPtr& b = SurfaceOf(part).brush;
    EXPECT_EQ(b != nullptr, cases[i].expected >= 0) << "TRIS brush id " << cases[i].tris_brush;
    if (!b) continue;
    if (seen.count(cases[i].expected)) {
      EXPECT_EQ(seen[cases[i].expected], b) << "the table's brush is shared";
    }
    seen[cases[i].expected] = b;
  }
  EXPECT_EQ(Named("part1")->brush->red, 1.0f) << "MESH brush id 7 is outside the table";
  ASSERT_TRUE(seen.count(0) && seen.count(1));
  const TBrush& b0 = *seen[0];
  EXPECT_EQ(b0.name, "");
  EXPECT_EQ(b0.layer_count, 2);
  EXPECT_EQ(b0.red, 0.5f);
  EXPECT_EQ(b0.green, 0.25f);
  EXPECT_EQ(b0.blue, 0.125f);
  EXPECT_EQ(b0.alpha, 0.75f);
  EXPECT_EQ(b0.shininess, 0.5f);
  EXPECT_EQ(b0.blend, 3);
  EXPECT_EQ(b0.fx, 2);
  EXPECT_EQ(b0.texture_frame, 0);
  EXPECT_EQ(seen[1]->blend, 1);
}

TEST_F(B3dMaterials, MoreTextureIdsThanLayers) {
  B3dBrush wide{"", 0.5f, 1, 1, 1, 0, 2, 4, std::vector<int>(10, -1)};
  B3dBrush next = wide;
  next.red = 0.25f;
  TB3dWriter w;
  w.Header().Brus(10, {wide, next}).BeginNode("root");
  TriangleMesh(w, -1, 1);
  MeshPtr mesh = Load(w);
  ASSERT_NE(mesh, nullptr);
  const TBrush& b = *SurfaceOf(mesh).brush;
  EXPECT_EQ(b.layer_count, kMaxTextureLayers);
  EXPECT_EQ(b.red, 0.25f) << "the ids past the eighth are read past, not into the next brush";
  EXPECT_EQ(b.fx, 4);
}

TEST_F(B3dGeometry, VertexFormats) {
  struct Case {
    int flags, sets, size;
    // expected uv0 and uv1 of vertex 1, whose set s component c is 10 s + c + 1
    float u0, v0, u1, v1;
  } cases[] = {
      {0, 1, 2, 1, 2, 0, 0},   {1, 1, 2, 1, 2, 0, 0},   {2, 0, 0, 0, 0, 0, 0}, {3, 2, 4, 1, 2, 11, 12},
      {0, 3, 3, 1, 2, 11, 12}, {2, 2, 2, 1, 2, 11, 12}, {0, 1, 1, 1, 0, 0, 0},  // a short set leaves v as it
                                                                                // was: 0 before any was read
      {0, 2, 1, 1, 0, 11, 0},
  };
  for (const Case& c : cases) {
    ResetEngine();
    const std::string what =
        "flags " + std::to_string(c.flags) + " sets " + std::to_string(c.sets) + "x" + std::to_string(c.size);
    std::vector<float> floats;
    for (int v = 0; v < 3; ++v) {
      floats.insert(floats.end(), {float(v), float(2 * v), float(3 * v)});
      if (c.flags & 1) floats.insert(floats.end(), {0, float(v), 1});
      if (c.flags & 2) floats.insert(floats.end(), {0.5f, 0.25f, float(v) / 4, 1});
      for (int s = 0; s < c.sets; ++s)
        for (int k = 0; k < c.size; ++k) floats.push_back(float(10 * s + k + 1));
    }
    TB3dWriter w;
    w.Header().BeginNode("root").BeginMesh().Vrts(c.flags, c.sets, c.size, floats).Tris(-1, {0, 1, 2});
    MeshPtr mesh = Load(w);
    ASSERT_NE(mesh, nullptr) << what;
    const TSurface& s = SurfaceOf(mesh);
    ASSERT_EQ(s.CountVertices(), 3) << what;
    for (int v = 0; v < 3; ++v) {
      EXPECT_EQ(s.VertexX(v), float(v)) << what;
      EXPECT_EQ(s.VertexY(v), float(2 * v)) << what;
      EXPECT_EQ(s.VertexZ(v), float(3 * v)) << what;
    }
    EXPECT_EQ(s.VertexU(1, 0), c.u0) << what;
    EXPECT_EQ(s.VertexV(1, 0), c.v0) << what;
    EXPECT_EQ(s.VertexU(1, 1), c.u1) << what;
    EXPECT_EQ(s.VertexV(1, 1), c.v1) << what;
    if (c.flags & 1) {
      EXPECT_EQ(s.VertexNY(2), 2.0f) << what;
    }
    EXPECT_EQ(s.VertexAlpha(2), (c.flags & 2) ? 1.0f : 0.0f) << what;
    if (c.flags & 2) {
      EXPECT_FLOAT_EQ(s.VertexBlue(2), 0.5f * 255) << what;
    }
  }
}

TEST_F(B3dGeometry, ColoursAndNormalsCarryOverFromTheLastVertexRead) {
  TB3dWriter w;
  w.Header().BeginNode("a").BeginMesh();
  w.Vrts(3, 0, 0, {0, 0, 0, 0, 1, 0, 1, 0, 0, 1, /**/ 1, 0, 0, 0, 0, 1, 0, 0.5f, 0, 0.25f})
      .Tris(-1, {0, 1, 0});
  w.End().End().BeginNode("b").BeginMesh().Vrts(0, 0, 0, {0, 0, 0, 5, 0, 0, 0, 5, 0}).Tris(-1, {0, 1, 2});
  Load(w);
  auto b = std::dynamic_pointer_cast<TMesh>(Named("b"));
  ASSERT_NE(b, nullptr);
  for (int v = 0; v < 3; ++v) {
    EXPECT_EQ(SurfaceOf(b).VertexGreen(v), 0.5f * 255) << v;
    EXPECT_EQ(SurfaceOf(b).VertexAlpha(v), 0.25f) << v;
  }
}

TEST_F(B3dGeometry, TrisChunksAndSurfaces) {
  B3dBrush one, two;
  two.red = 0.5f;
  // x, y, z, u, v: the corners of a unit square.
  const std::vector<float> quad = {0, 0, 0, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1, 1, 1, 0, 1, 1};
  struct Case {
    const char* what;
    int brush_a, brush_b;
    const char* between;
    int surfaces;
  } cases[] = {
      {"same brush", 0, 0, "", 1},
      {"no brush twice", -1, -1, "", 1},
      {"different brushes", 0, 1, "", 2},
      {"a junk byte between", 0, 0, "\x07", 2},
  };
  for (const Case& c : cases) {
    ResetEngine();
    TB3dWriter w;
    w.Header().Brus(0, {one, two}).BeginNode("root").BeginMesh().Vrts(0, 1, 2, quad);
    w.Tris(c.brush_a, {0, 1, 2}).Raw(c.between).Tris(c.brush_b, {2, 3, 1});
    MeshPtr mesh = Load(w);
    ASSERT_NE(mesh, nullptr) << c.what;
    ASSERT_EQ(mesh->CountSurfaces(), c.surfaces) << c.what;
    EXPECT_EQ(mesh->CountTriangles(), 2) << c.what;
    if (c.surfaces == 1) {
      EXPECT_EQ(SurfaceOf(mesh).min_vertex_index, 0);
      EXPECT_EQ(SurfaceOf(mesh).max_vertex_index, 3);
      continue;
    }
    // Each surface holds every vertex of the chunk; the ranges span its own triangles.
    const TSurface &a = SurfaceOf(mesh, 1), &b = SurfaceOf(mesh, 2);
    EXPECT_EQ(a.CountVertices(), 4) << c.what;
    EXPECT_EQ(b.CountVertices(), 4) << c.what;
    EXPECT_EQ(b.VertexX(3), 1.0f) << c.what;
    EXPECT_EQ(a.max_vertex_index, 2) << c.what;
    EXPECT_EQ(b.min_vertex_index, 1) << c.what;
    EXPECT_EQ(b.max_vertex_index, 3) << c.what;
    EXPECT_NE(a.vertex_positions.data(), b.vertex_positions.data()) << c.what;
  }
}

// A mesh placed off the origin with a two-bone chain: weights, keys, bind matrices,
// the bone list and the animated surface copies.
TEST_F(B3dSkinning, BonesKeysAndBindPose) {
  const float h = std::sqrt(0.5f);
  TB3dWriter w;
  w.Header().BeginNode("body", {5, 0, 0}, {1, 1, 1}, {h, 0, h, 0}).BeginMesh();
  w.Vrts(1, 0, 0, {0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0, 1, 0, 1, 0, 0, 0, 1, 1, 1, 0, 0, 0, 1});
  w.Tris(-1, {0, 1, 2, 1, 3, 2}).End().Anim(10);
  w.BeginNode("hip", {1, 2, 3}).Bone({{0, 1.0f}, {1, 0.5f}, {4, 1.0f}, {-1, 1.0f}, {3, 0.25f}});
  w.Keys(1, {{0, {1, 2, 3}}, {10, {4, 5, 6}}, {11, {9, 9, 9}}})
      .Keys(4, {{0, {1, 0, 0, 0}}, {5, {h, h, 0, 0}}});
  w.BeginNode("knee", {0, -1, 0}, {1, 1, 1}, {h, h, 0, 0}).Bone({{1, 0.5f}, {2, 1.0f}}).End().End();
  MeshPtr mesh = Load(w);
  ASSERT_NE(mesh, nullptr);
  EXPECT_EQ(mesh->animated, 1);
  EXPECT_EQ(mesh->seq_first[0], 0);
  EXPECT_EQ(mesh->seq_last[0], 10);
  ASSERT_EQ(mesh->anim_surfaces.Count(), 1u);
  EXPECT_EQ(mesh->anim_surfaces.First()->vertex_positions, SurfaceOf(mesh).vertex_positions);

  ASSERT_EQ(mesh->bones.Count(), 2u);
  BonePtr hip = mesh->bones.First(), knee = mesh->bones.Last();
  EXPECT_EQ(hip->name, "hip");
  EXPECT_EQ(hip->class_name, "Bone");
  EXPECT_EQ(knee->GetParent(), hip);
  EXPECT_EQ(hip->GetParent(), mesh);
  // Weights naming vertices outside the VRTS chunk (4 and -1) are dropped.
  EXPECT_EQ(hip->influence_count, 3);
  EXPECT_EQ(hip->influence_vertices, (std::vector<int>{0, 1, 3}));
  EXPECT_EQ(hip->influence_weights, (std::vector<float>{1.0f, 0.5f, 0.25f}));

  const TAnimationKeys& k = *hip->keys;
  EXPECT_EQ(k.frame_count, 10);
  ASSERT_EQ(k.key_flags.size(), 11u);
  for (int f = 0; f <= 10; ++f) {
    const int expected = f == 0 ? 5 : f == 10 ? 1 : f == 5 ? 4 : 0;
    EXPECT_EQ(k.key_flags[size_t(f)], expected) << "frame " << f;
  }
  EXPECT_EQ(k.pos_z[10], 6.0f) << "key positions keep the file's z";
  EXPECT_EQ(k.quat_x[5], h);
  EXPECT_EQ(knee->keys->key_flags, std::vector<int>(11, 0));

  // The bind pose is relative to the mesh: the inverse bind matrix undoes the bone
  // chain alone, not the mesh's placement at (5, 0, 0) with its quarter turn.
  TMatrix hip_local;
  hip_local.LoadIdentity();
  hip_local.grid[3][0] = 1, hip_local.grid[3][1] = 2, hip_local.grid[3][2] = 3;
  TMatrix product = hip_local;
  product.Multiply(*hip->inverse_bind_matrix);
  TMatrix identity;
  identity.LoadIdentity();
  ExpectMatrixNear(product, identity, "hip");
  TMatrix knee_local;
  TQuaternion::QuatToMat(h, h, 0, 0, knee_local);
  knee_local.grid[3][1] = -1;
  product = hip_local;
  product.Multiply(knee_local);
  product.Multiply(*knee->inverse_bind_matrix);
  ExpectMatrixNear(product, identity, "knee");
  // Before any pose the bones stand at their rest pose on the mesh's world matrix.
  ExpectMatrixNear(hip->pose, hip_local, "hip pose");
  TMatrix world = mesh->matrix;
  world.Multiply(TAnimation::Mirrored(hip_local));
  ExpectMatrixNear(hip->matrix, world, "hip world");

  // Every bone is listed once, and freeing the mesh takes the bones with it.
  EXPECT_EQ(TEntity::entity_list.Count(), 3u);
  mesh->FreeEntity();
  EXPECT_TRUE(TEntity::entity_list.IsEmpty());
}

// What the bind pose is for: posed at its rest pose, a mesh loaded off the origin and
// turned skins every vertex onto its loaded position, so it keeps its placement.
TEST_F(B3dSkinning, RestPoseSkinsOntoTheLoadedVertices) {
  const float h = std::sqrt(0.5f);
  TB3dWriter w;
  w.Header().BeginNode("body", {5, 1, -2}, {1, 1, 1}, {h, 0, h, 0});
  TriangleMesh(w).End().Anim(2);
  w.BeginNode("hip", {1, 2, 3}, {1, 1, 1}, {h, h, 0, 0}).Bone({{0, 1}, {1, 0.5f}});
  w.BeginNode("knee", {0, -1, 0}, {1, 1, 1}, {h, 0, 0, h}).Bone({{1, 0.5f}, {2, 1}});
  MeshPtr mesh = Load(w);
  ASSERT_NE(mesh, nullptr);
  ASSERT_EQ(mesh->bones.Count(), 2u);
  TAnimation::AnimateMesh(mesh, 1, 0, 2);  // no keys: every bone at its rest pose
  // The copy holds positions only (no vertex count), so its array is read directly.
  const std::vector<float>& loaded = SurfaceOf(mesh).vertex_positions;
  const std::vector<float>& posed = mesh->anim_surfaces.First()->vertex_positions;
  ASSERT_GE(posed.size(), 9u);
  for (size_t i = 0; i < 9; ++i)
    EXPECT_NEAR(posed[i], loaded[i], 1e-5) << "vertex " << i / 3 << " axis " << i % 3;
}

TEST_F(B3dSkinning, KeyFlagsCombineByOr) {
  struct Case {
    std::vector<int> chunk_flags;
    int expected;
  } cases[] = {{{1, 4}, 5}, {{1, 1}, 1}, {{4, 2, 1}, 7}, {{8 | 1}, 1}, {{0}, 0}};
  for (const Case& c : cases) {
    ResetEngine();
    TB3dWriter w;
    w.Header().BeginNode("m").BeginMesh().End().Anim(3).BeginNode("b").Bone({});
    for (int flags : c.chunk_flags) {
      std::vector<float> values;
      if (flags & 1) values.insert(values.end(), {1, 2, 3});
      if (flags & 2) values.insert(values.end(), {1, 1, 1});
      if (flags & 4) values.insert(values.end(), {1, 0, 0, 0});
      w.Keys(flags, {{2, values}});
    }
    MeshPtr mesh = Load(w);
    ASSERT_EQ(mesh->bones.Count(), 1u);
    EXPECT_EQ(mesh->bones.First()->keys->key_flags, (std::vector<int>{0, 0, c.expected, 0}))
        << "chunk flags " << ::testing::PrintToString(c.chunk_flags);
  }
}

TEST_F(B3dSkinning, AnimBeforeAnyMeshOnlySetsTheFrameCount) {
  TB3dWriter w;
  w.Header().Anim(4).BeginNode("root").BeginMesh().End().BeginNode("b").Bone({});
  MeshPtr mesh = Load(w);
  ASSERT_NE(mesh, nullptr);
  EXPECT_EQ(mesh->animated, 0);
  EXPECT_TRUE(mesh->anim_surfaces.IsEmpty());
  ASSERT_EQ(mesh->bones.Count(), 1u);
  EXPECT_EQ(mesh->bones.First()->keys->key_flags.size(), 5u);

  // Bones before the ANIM chunk get arrays of one entry.
  ResetEngine();
  TB3dWriter late;
  late.Header().BeginNode("root").BeginMesh().End().BeginNode("b").Bone({}).End().Anim(4);
  mesh = Load(late);
  EXPECT_EQ(mesh->animated, 1);
  EXPECT_EQ(mesh->bones.First()->keys->key_flags.size(), 1u);
}

TEST_F(B3dSkinning, BoneRootedFile) {
  PivotPtr parent = TPivot::CreatePivot();
  TB3dWriter w;
  w.Header().BeginNode("root").Bone({{0, 1}}).BeginNode("arm").BeginMesh().End();
  TModelParts parts = TModel::LoadB3D(Save(w), parent);
  EXPECT_EQ(TModel::LoadAnimB3D(Save(w), parent), nullptr);
  ASSERT_NE(parts.root, nullptr);
  EXPECT_EQ(parts.root->class_name, "Bone");
  EXPECT_EQ(parts.root->parent, nullptr) << "a bone is never attached to the load's parent";
  EXPECT_EQ(parent->CountChildren(), 0);
  EXPECT_EQ(parts.root->CountChildren(), 1);
  EXPECT_EQ(TEntity::entity_list.Count(), 5u);  // the pivot and two loads of two
}

}  // namespace
