// Mesh geometry operations: merging by brush (and the 16-bit vertex ceiling), copies,
// winding, painting, fitting into a box (flat axes and zero sizes included), matrix
// transforms of positions and normals, and normals welded by position.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <map>
#include <random>
#include <vector>

#include "engine/math/vector.h"
#include "engine/mesh/brush.h"
#include "engine/mesh/mesh.h"
#include "engine/mesh/surface.h"
#include "engine/scene/entity.h"
#include "support/engine_reset.h"

namespace {

using MeshGeometry = EngineTest;

// A surface of n vertices along x and (n - 2) triangles fanned from vertex 0.
SurfacePtr AddFan(const MeshPtr& mesh, int n, const BrushPtr& brush = nullptr) {
  SurfacePtr s = mesh->CreateSurface(brush);
  for (int i = 0; i < n; ++i) s->AddVertex(float(i), float(i % 2), 0);
  for (int i = 1; i + 1 < n; ++i) s->AddTriangle(0, i, i + 1);
  return s;
}

BrushPtr RedBrush() { return TBrush::CreateBrush(255, 0, 0); }

TEST_F(MeshGeometry, AddMeshMergesIntoEqualBrushWithEveryAttribute) {
  MeshPtr source = TMesh::CreateMesh();
  SurfacePtr s1 = source->CreateSurface(RedBrush());
  for (int i = 0; i < 3; ++i) {
    s1->AddVertex(1.5f + i, -2.25f, 3.1f * i, 0.1f * i, 0.7f);
    s1->VertexNormal(i, 0.3f, 0.6f, -0.7f + i);
    s1->VertexColor(i, 254.9f, 77.7f, 3.3f, 0.5f);  // colours whose x255/255 round trip may move a bit
    s1->VertexTexCoords(i, 0.9f, 0.01f * i, 0, 1);
  }
  s1->AddTriangle(0, 1, 2);

  MeshPtr target = TMesh::CreateMesh();
  SurfacePtr s2 = AddFan(target, 4, RedBrush());
  BrushPtr target_brush = s2->brush;
  target->bounds_stale = 0;
  source->AddMesh(target);

  ASSERT_EQ(target->CountSurfaces(), 1);
  EXPECT_EQ(s2->CountVertices(), 7);
  EXPECT_EQ(s2->brush, target_brush);
  const int t = s2->CountTriangles() - 1;
  EXPECT_EQ(s2->TriangleVertex(t, 0), 4);
  EXPECT_EQ(s2->TriangleVertex(t, 1), 5);
  EXPECT_EQ(s2->TriangleVertex(t, 2), 6);
  EXPECT_EQ(target->bounds_stale, 1);
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const int j = i + 4;
    for (int k = 0; k < 3; ++k) {
      EXPECT_EQ(s2->vertex_positions[3 * j + k], s1->vertex_positions[3 * i + k]);
      EXPECT_EQ(s2->vertex_normals[3 * j + k], s1->vertex_normals[3 * i + k]);
    }
    for (int k = 0; k < 4; ++k) EXPECT_EQ(s2->vertex_colours[4 * j + k], s1->vertex_colours[4 * i + k]);
    for (int k = 0; k < 2; ++k) {
      EXPECT_EQ(s2->vertex_uv0[2 * j + k], s1->vertex_uv0[2 * i + k]);
      EXPECT_EQ(s2->vertex_uv1[2 * j + k], s1->vertex_uv1[2 * i + k]);
    }
  }
  EXPECT_EQ(s2->VertexAlpha(4), 0.5f);
}

TEST_F(MeshGeometry, CopyMeshGivesEverySurfaceItsOwnBrush) {
  MeshPtr source = TMesh::CreateMesh();
  BrushPtr shared = RedBrush();
  AddFan(source, 3, shared);
  AddFan(source, 4, RedBrush());  // compares equal to the first
  AddFan(source, 5);              // no brush

  MeshPtr copy = source->CopyMesh();
  ASSERT_EQ(copy->CountSurfaces(), 3);
  EXPECT_EQ(copy->CountVertices(), 12);
  EXPECT_EQ(copy->CountTriangles(), 6);
  BrushPtr b1 = copy->GetSurface(1)->brush, b2 = copy->GetSurface(2)->brush;
  ASSERT_TRUE(b1 && b2);
  EXPECT_NE(b1, shared);
  EXPECT_NE(b1, b2);
  EXPECT_EQ(TBrush::CompareBrushes(b1, shared), 1);
  EXPECT_EQ(copy->GetSurface(3)->brush, nullptr);

  // Merging a mesh into itself copies each surface once, not its own new geometry.
  source->AddMesh(source);
  EXPECT_EQ(source->CountSurfaces(), 3);
  EXPECT_EQ(source->CountVertices(), 24);
}

// A merge that would take a surface past 65,536 vertices starts a new surface instead:
// its corners could not be addressed.
TEST_F(MeshGeometry, AddMeshNeverFillsASurfacePastTheIndexCeiling) {
  const struct {
    int target_vertices, source_vertices;
    int surfaces;
  } cases[] = {
      {65000, 536, 1},  // exactly 65,536: fits
      {65000, 537, 2},
      {3, 65534, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.target_vertices << " + " << c.source_vertices);
    MeshPtr target = TMesh::CreateMesh();
    SurfacePtr first = AddFan(target, c.target_vertices, RedBrush());
    MeshPtr source = TMesh::CreateMesh();
    AddFan(source, c.source_vertices, RedBrush());
    source->AddMesh(target);
    ASSERT_EQ(target->CountSurfaces(), c.surfaces);
    for (const SurfacePtr& s : *target->surfaces) {
      EXPECT_LE(s->CountVertices(), 65536);
      // Every corner still names a vertex of its own surface.
      for (int t = 0; t < s->CountTriangles(); ++t)
        for (int k = 0; k < 3; ++k) ASSERT_LT(s->TriangleVertex(t, k), s->CountVertices());
    }
    EXPECT_EQ(target->CountVertices(), c.target_vertices + c.source_vertices);
    if (c.surfaces == 2) {
      EXPECT_EQ(first->CountVertices(), c.target_vertices);
    }
  }
}

TEST_F(MeshGeometry, FlipMeshReversesWindingAndTwiceRestores) {
  MeshPtr m = TMesh::CreateMesh();
  SurfacePtr s = AddFan(m, 5);
  const std::vector<uint16_t> before = s->triangle_indices;
  m->FlipMesh();
  for (int t = 0; t < s->CountTriangles(); ++t) {
    EXPECT_EQ(s->TriangleVertex(t, 0), t + 2) << t;  // corners (0, t+1, t+2) now (t+2, t+1, 0)
    EXPECT_EQ(s->TriangleVertex(t, 2), 0);
  }
  m->FlipMesh();
  EXPECT_EQ(s->triangle_indices, before);
}

TEST_F(MeshGeometry, PaintMeshCopiesIntoSurfaceBrushesInPlace) {
  MeshPtr m = TMesh::CreateMesh();
  BrushPtr own = TBrush::CreateBrush();
  own->texture_frame = 3;
  SurfacePtr painted = AddFan(m, 3, own);
  SurfacePtr bare = AddFan(m, 3);
  BrushPtr paint = TBrush::CreateBrush(10, 20, 30);
  paint->alpha = 0.25f;
  paint->fx = kFxFullBright;
  m->PaintMesh(paint);
  EXPECT_EQ(painted->brush, own);  // same object, so its other holders see the paint
  EXPECT_EQ(own->alpha, 0.25f);
  EXPECT_EQ(own->texture_frame, 3);
  ASSERT_TRUE(bare->brush);
  EXPECT_NE(bare->brush, paint);
  EXPECT_EQ(TBrush::CompareBrushes(bare->brush, paint), 1);
  m->PaintMesh(nullptr);  // nothing to paint with: nothing changes
  EXPECT_EQ(own->alpha, 0.25f);
}

// A box mesh x -2..2, y 0..1, z 0..4 whose vertex normals are all (1, 1, 1), unless a
// flat y is asked for (normals then (0, 1, 0)).
MeshPtr Box(bool flat_y) {
  MeshPtr m = TMesh::CreateMesh();
  SurfacePtr s = m->CreateSurface();
  const float ys[2] = {0, flat_y ? 0.0f : 1.0f};
  for (float x : {-2.0f, 2.0f})
    for (float y : ys)
      for (float z : {0.0f, 4.0f}) {
        const int v = s->AddVertex(x, y, z);
        if (flat_y) {
          s->VertexNormal(v, 0, 1, 0);
        } else {
          s->VertexNormal(v, 1, 1, 1);
        }
      }
  s->AddTriangle(0, 1, 2);
  return m;
}

TEST_F(MeshGeometry, FitMeshMapsIntoTheBoxAndKeepsEverythingFinite) {
  const struct {
    const char* name;
    bool flat_y;
    float w, h, d;
    int uniform;
    float min[3], max[3];  // public bounds after the fit
    float normal[3];       // of every vertex
  } cases[] = {
      {"each axis", false, 1, 1, 1, 0, {0, 0, 0}, {1, 1, 1}, {4, 1, 4}},
      {"uniform, x governs", false, 1, 1, 1, 1, {0, 0.5f, 0.5f}, {1, 0.75f, 1.5f}, {4, 1, 4}},
      {"flat y sits mid-box", true, 2, 2, 2, 0, {0, 1, 0}, {2, 1, 2}, {0, 1, 0}},
      {"flat y, uniform", true, 2, 2, 2, 1, {0, 1, 1}, {2, 1, 3}, {0, 1, 0}},
      {"zero height squashes y", false, 1, 0, 1, 0, {0, 0, 0}, {1, 0, 1}, {0, 1, 0}},
      {"zero box", false, 0, 0, 0, 0, {0, 0, 0}, {0, 0, 0}, {1, 1, 1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MeshPtr m = Box(c.flat_y);
    m->FitMesh(0, 0, 0, c.w, c.h, c.d, c.uniform);
    EXPECT_EQ(m->bounds_stale, 1);
    m->GetBounds();
    EXPECT_FLOAT_EQ(m->bounds_min_x, c.min[0]);
    EXPECT_FLOAT_EQ(m->bounds_min_y, c.min[1]);
    EXPECT_FLOAT_EQ(m->bounds_min_z, c.min[2]);
    EXPECT_FLOAT_EQ(m->bounds_max_x, c.max[0]);
    EXPECT_FLOAT_EQ(m->bounds_max_y, c.max[1]);
    EXPECT_FLOAT_EQ(m->bounds_max_z, c.max[2]);
    SurfacePtr s = m->GetSurface(1);
    for (int v = 0; v < s->CountVertices(); ++v) {
      EXPECT_FLOAT_EQ(s->VertexNX(v), c.normal[0]) << v;
      EXPECT_FLOAT_EQ(s->VertexNY(v), c.normal[1]) << v;
      EXPECT_FLOAT_EQ(s->VertexNZ(v), c.normal[2]) << v;
    }
  }
}

TEST_F(MeshGeometry, TransformsMovePositionsAndTurnNormals) {
  PivotPtr turned = TPivot::CreatePivot();
  turned->RotateEntity(30, 90, 10);
  const struct {
    const char* name;
    void (*apply)(TMesh&);
    // Expected public position and normal for a vertex at p with normal n.
    void (*expect)(const float p[3], const float n[3], float out_p[3], float out_n[3], const TEntity* ref);
  } cases[] = {
      {"position", [](TMesh& m) { m.PositionMesh(1, 2, 3); },
       [](const float p[3], const float n[3], float op[3], float on[3], const TEntity*) {
         for (int k = 0; k < 3; ++k) op[k] = p[k] + float(k + 1), on[k] = n[k];
       }},
      {"scale", [](TMesh& m) { m.ScaleMesh(2, 1, 1); },
       [](const float p[3], const float n[3], float op[3], float on[3], const TEntity*) {
         for (int k = 0; k < 3; ++k) op[k] = p[k] * (k == 0 ? 2 : 1), on[k] = n[k] * (k == 0 ? 2 : 1);
       }},
      {"rotate as RotateEntity does", [](TMesh& m) { m.RotateMesh(30, 90, 10); },
       [](const float p[3], const float n[3], float op[3], float on[3], const TEntity* ref) {
         TEntity::TFormPoint(p[0], p[1], p[2], ref, nullptr);
         op[0] = TEntity::TFormedX(), op[1] = TEntity::TFormedY(), op[2] = TEntity::TFormedZ();
         TEntity::TFormNormal(n[0], n[1], n[2], ref, nullptr);
         on[0] = TEntity::TFormedX(), on[1] = TEntity::TFormedY(), on[2] = TEntity::TFormedZ();
       }},
  };
  const float p[3] = {1, -2, 3};
  const float n[3] = {0, 0.6f, 0.8f};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MeshPtr m = TMesh::CreateMesh();
    SurfacePtr s = m->CreateSurface();
    s->AddVertex(p[0], p[1], p[2]);
    s->VertexNormal(0, n[0], n[1], n[2]);
    m->bounds_stale = 0;
    c.apply(*m);
    EXPECT_EQ(m->bounds_stale, 1);
    float ep[3], en[3];
    c.expect(p, n, ep, en, turned.get());
    EXPECT_NEAR(s->VertexX(0), ep[0], 1e-5);
    EXPECT_NEAR(s->VertexY(0), ep[1], 1e-5);
    EXPECT_NEAR(s->VertexZ(0), ep[2], 1e-5);
    EXPECT_NEAR(s->VertexNX(0), en[0], 1e-5);
    EXPECT_NEAR(s->VertexNY(0), en[1], 1e-5);
    EXPECT_NEAR(s->VertexNZ(0), en[2], 1e-5);
  }
}

TEST_F(MeshGeometry, UpdateNormalsWeldsByPosition) {
  // A quad counter-clockwise seen from +z, with its corner 0 duplicated (a texture seam).
  MeshPtr m = TMesh::CreateMesh();
  SurfacePtr s = m->CreateSurface();
  s->AddVertex(0, 0, 0, 0, 0);
  s->AddVertex(1, 0, 0);
  s->AddVertex(1, 1, 0);
  s->AddVertex(0, 1, 0);
  s->AddVertex(0, 0, 0, 1, 1);  // the seam twin of vertex 0
  s->AddTriangle(0, 1, 2);
  s->AddTriangle(4, 2, 3);
  m->bounds_stale = 0;
  m->UpdateNormals();
  for (int v = 0; v < 5; ++v) {
    EXPECT_FLOAT_EQ(s->VertexNX(v), 0) << v;
    EXPECT_FLOAT_EQ(s->VertexNY(v), 0) << v;
    EXPECT_FLOAT_EQ(s->VertexNZ(v), 1) << v;
  }
  EXPECT_EQ(m->bounds_stale, 0);

  // The cube's three vertices at a corner (one per face) share one unit normal, which
  // points out of the corner.
  MeshPtr cube = TMesh::CreateCube();
  cube->UpdateNormals();
  SurfacePtr c = cube->GetSurface(1);
  for (int v = 0; v < c->CountVertices(); ++v) {
    SCOPED_TRACE(v);
    const float nx = c->VertexNX(v), ny = c->VertexNY(v), nz = c->VertexNZ(v);
    EXPECT_NEAR(nx * nx + ny * ny + nz * nz, 1, 1e-6);
    EXPECT_GT(nx * c->VertexX(v), 0);
    EXPECT_GT(ny * c->VertexY(v), 0);
    EXPECT_GT(nz * c->VertexZ(v), 0);
    for (int w = 0; w < v; ++w) {
      if (c->VertexX(w) == c->VertexX(v) && c->VertexY(w) == c->VertexY(v) && c->VertexZ(w) == c->VertexZ(v)) {
        EXPECT_EQ(c->VertexNX(w), nx);
        EXPECT_EQ(c->VertexNY(w), ny);
        EXPECT_EQ(c->VertexNZ(w), nz);
      }
    }
  }
}

// Where every face at a position has zero area there is no direction to give: the
// vertices keep the normals they had instead of turning into NaNs.
TEST_F(MeshGeometry, UpdateNormalsKeepsNormalsOfDegenerateFaces) {
  MeshPtr m = TMesh::CreateMesh();
  SurfacePtr s = m->CreateSurface();
  // A collinear triangle, one with all corners on one point, and an untouched vertex.
  for (float x : {0.0f, 1.0f, 2.0f}) s->AddVertex(x, 5, 0);
  for (int i = 0; i < 3; ++i) s->AddVertex(7, 7, 7);
  s->AddVertex(9, 9, 9);
  for (int v = 0; v < 7; ++v) s->VertexNormal(v, 0, 0, -1);
  s->AddTriangle(0, 1, 2);
  s->AddTriangle(3, 4, 5);
  // A third triangle, written in directly, with a corner past the vertex table: skipped.
  ASSERT_GE(s->triangle_indices.size(), 9u);
  s->triangle_indices[6] = 60000, s->triangle_indices[7] = 1, s->triangle_indices[8] = 6;
  s->triangle_count = 3;
  m->UpdateNormals();
  for (int v = 0; v < 7; ++v) {
    EXPECT_EQ(s->VertexNX(v), 0) << v;
    EXPECT_EQ(s->VertexNY(v), 0) << v;
    EXPECT_EQ(s->VertexNZ(v), -1) << v;
  }
}

// Smooth normals as an ordered map of exact positions gives them: the definition the
// welding must match bit for bit.
void MapNormals(const TSurface& s, std::vector<float>& normals) {
  std::map<TVector, TVector, TVectorLess> sums;
  auto position = [&s](int v, TVector& p) {
    if (v >= s.vertex_count || (size_t(v) + 1) * 3 > s.vertex_positions.size()) return false;
    p = {s.vertex_positions[size_t(v) * 3], s.vertex_positions[size_t(v) * 3 + 1], s.vertex_positions[size_t(v) * 3 + 2]};
    return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
  };
  for (int t = 0; t < s.triangle_count; ++t) {
    TVector p[3];
    bool ok = true;
    for (int c = 0; c < 3 && ok; ++c) ok = position(s.triangle_indices[size_t(t) * 3 + size_t(c)], p[c]);
    if (!ok) continue;
    const TVector face = p[1].Subtract(p[0]).Cross(p[2].Subtract(p[1]));
    for (const TVector& corner : p) {
      TVector& sum = sums[corner];
      sum.x += face.x, sum.y += face.y, sum.z += face.z;
    }
  }
  for (int v = 0; v < s.vertex_count; ++v) {
    TVector p;
    if (!position(v, p)) continue;
    const TVector& n = sums.count(p) ? sums[p] : TVector();
    const double length = std::sqrt(double(n.x) * n.x + double(n.y) * n.y + double(n.z) * n.z);
    const float k = float(1.0 / length);
    if (!sums.count(p) || !(length > 0.0) || !std::isfinite(k)) continue;
    normals[size_t(v) * 3] = n.x * k, normals[size_t(v) * 3 + 1] = n.y * k, normals[size_t(v) * 3 + 2] = n.z * k;
  }
}

float FromBits(uint32_t bits) {
  float f;
  std::memcpy(&f, &bits, 4);
  return f;
}

TEST_F(MeshGeometry, UpdateNormalsMatchesAnOrderedMapBitForBit) {
  std::mt19937 random(20);
  const float inf = std::numeric_limits<float>::infinity();
  // Few distinct values, so positions repeat; both zeros, a denormal, values whose sums
  // overflow, and positions that take no part.
  const float values[] = {0.0f, -0.0f, 1.0f, -1.0f, 0.5f, 3.0f, 1e-40f, 1e30f, -1e30f, NAN, inf};
  struct Case {
    const char* what;
    std::vector<float> positions;
  } cases[] = {{"repeated positions", {}}, {"positions whose hashes all collide", {}}};
  for (int v = 0; v < 3000; ++v) {
    for (int c = 0; c < 3; ++c) {
      const size_t pick = random() % 64;
      cases[0].positions.push_back(pick < std::size(values) ? values[pick] : float(pick % 7));
    }
  }
  // x chosen against y and z so that the keys the position hash multiplies come out the
  // same for all: the welding then finds equal positions by sorting.
  for (uint32_t z = 1; cases[1].positions.size() < 3 * 3000; ++z) {
    const uint32_t y_bits = 0x3F800000u, z_bits = 0x3F800000u + z % 97 * 4096 + z / 97;
    const uint32_t x_bits = 0x12345678u ^ y_bits * 0x9E3779B1u ^ z_bits * 0x85EBCA77u;
    if ((x_bits >> 23 & 0xFF) == 0xFF || x_bits == 0x80000000u) continue;
    cases[1].positions.insert(cases[1].positions.end(), {FromBits(x_bits), 1.0f, FromBits(z_bits)});
  }
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    MeshPtr m = TMesh::CreateMesh();
    SurfacePtr s = m->CreateSurface();
    for (size_t v = 0; v < k.positions.size(); v += 3) {
      s->AddVertex(k.positions[v], k.positions[v + 1], -k.positions[v + 2]);
      s->VertexNormal(int(v / 3), 0.25f, 0.5f, 0.75f);
    }
    const int n = s->CountVertices();
    for (int t = 0; t < 6000; ++t) {
      const int i0 = int(random() % uint32_t(n)), i1 = int(random() % uint32_t(n));
      s->AddTriangle(i0, t % 50 == 0 ? i0 : i1, int(random() % uint32_t(n)));
    }
    std::vector<float> expected = s->vertex_normals;
    MapNormals(*s, expected);
    m->UpdateNormals();
    ASSERT_EQ(s->vertex_normals.size(), expected.size());
    EXPECT_EQ(std::memcmp(s->vertex_normals.data(), expected.data(), expected.size() * 4), 0);
  }
}

}  // namespace
