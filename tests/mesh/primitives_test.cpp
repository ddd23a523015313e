// Primitive meshes: surface, vertex and triangle counts per segment count (and the
// rejected counts), the cube's flat normals, and the curved shapes' seams, which must
// weld into smooth normals (bit-equal positions, one normal per position).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <tuple>
#include <vector>

#include "engine/mesh/mesh.h"
#include "engine/mesh/surface.h"
#include "engine/scene/entity.h"
#include "support/engine_reset.h"

namespace {

using Primitives = EngineTest;

enum Shape { kSphere, kCylinder, kCone };

MeshPtr Make(Shape shape, int segments, int solid) {
  switch (shape) {
    case kSphere: return TMesh::CreateSphere(segments);
    case kCylinder: return TMesh::CreateCylinder(segments, solid);
    case kCone: return TMesh::CreateCone(segments, solid);
  }
  return nullptr;
}

const char* Name(Shape shape) { return shape == kSphere ? "sphere" : shape == kCylinder ? "cylinder" : "cone"; }

TEST_F(Primitives, CountsPerSegmentCount) {
  const struct {
    Shape shape;
    int segments, solid;
    int surfaces;  // 0: no mesh at all
    int vertices, triangles;  // totals over the surfaces
  } cases[] = {
      {kSphere, 1, 0, 0, 0, 0},
      {kSphere, 101, 0, 0, 0, 0},
      {kSphere, 2, 0, 1, 16, 8},
      {kSphere, 3, 0, 1, 60, 24},
      {kSphere, 8, 0, 1, 480, 224},
      {kSphere, 90, 0, 1, 64440, 32040},
      {kSphere, 91, 0, 2, 65884, 32760},   // past 65,536 vertices: a second surface
      {kSphere, 100, 0, 2, 79600, 39600},
      {kCylinder, 2, 1, 0, 0, 0},
      {kCylinder, 101, 1, 0, 0, 0},
      {kCylinder, 8, 0, 1, 18, 16},
      {kCylinder, 8, 1, 2, 18 + 16, 16 + 12},
      {kCylinder, 8, 2, 1, 18, 16},  // only exactly 1 is solid
      {kCylinder, 3, 1, 2, 8 + 6, 6 + 2},
      {kCone, 2, 1, 0, 0, 0},
      {kCone, 101, 0, 0, 0, 0},
      {kCone, 8, 0, 1, 17, 8},
      {kCone, 8, 1, 2, 17 + 9, 8 + 7},
      {kCone, 100, 1, 2, 201 + 101, 100 + 99},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << Name(c.shape) << " " << c.segments << " solid " << c.solid);
    const size_t entities = TEntity::entity_list.Count();
    MeshPtr m = Make(c.shape, c.segments, c.solid);
    if (c.surfaces == 0) {
      EXPECT_EQ(m, nullptr);
      EXPECT_EQ(TEntity::entity_list.Count(), entities);
      continue;
    }
    ASSERT_TRUE(m);
    EXPECT_EQ(m->EntityClass(), "Mesh");
    EXPECT_EQ(m->CountSurfaces(), c.surfaces);
    EXPECT_EQ(m->CountVertices(), c.vertices);
    EXPECT_EQ(m->CountTriangles(), c.triangles);
    for (const SurfacePtr& s : *m->surfaces) {
      EXPECT_LE(s->CountVertices(), 65536);
      EXPECT_EQ(s->brush, nullptr);
      for (int t = 0; t < s->CountTriangles(); ++t)
        for (int k = 0; k < 3; ++k) ASSERT_LT(s->TriangleVertex(t, k), s->CountVertices());
    }
    m->FreeEntity();
  }
}

TEST_F(Primitives, CubeKeepsItsFlatNormals) {
  MeshPtr cube = TMesh::CreateCube();
  ASSERT_EQ(cube->CountSurfaces(), 1);
  SurfacePtr s = cube->GetSurface(1);
  EXPECT_EQ(s->CountVertices(), 24);
  EXPECT_EQ(s->CountTriangles(), 12);
  EXPECT_EQ(s->VertexU(0, 0), 0);
  EXPECT_EQ(s->VertexV(0, 0), 1);
  for (int v = 0; v < 24; ++v) {
    SCOPED_TRACE(v);
    // Each normal is one axis, the axis on which the vertex lies on its face's plane.
    const float n[3] = {s->VertexNX(v), s->VertexNY(v), s->VertexNZ(v)};
    const float p[3] = {s->VertexX(v), s->VertexY(v), s->VertexZ(v)};
    int axes = 0;
    for (int k = 0; k < 3; ++k) {
      if (n[k] != 0) {
        ++axes;
        EXPECT_EQ(n[k], p[k]);
      }
    }
    EXPECT_EQ(axes, 1);
  }
  // Every triangle faces outward: its normal agrees with its vertices' normals.
  for (int t = 0; t < 12; ++t) {
    const int v = s->TriangleVertex(t, 0);
    EXPECT_GT(s->TriangleNX(t) * s->VertexNX(v) + s->TriangleNY(t) * s->VertexNY(v) +
                  s->TriangleNZ(t) * s->VertexNZ(v),
              0)
        << t;
  }
}

// The stored bits of a position, so that seams are compared exactly.
using Bits = std::tuple<uint32_t, uint32_t, uint32_t>;
Bits PositionBits(const TSurface& s, int v) {
  uint32_t b[3];
  std::memcpy(b, &s.vertex_positions[size_t(v) * 3], sizeof b);
  return {b[0], b[1], b[2]};
}

// Groups the vertices of the mesh's surfaces by exact position; each group must share
// one normal, bit for bit. Returns the number of distinct positions.
size_t ExpectOneNormalPerPosition(const TMesh& m, const std::vector<int>& surfaces) {
  std::map<Bits, std::tuple<float, float, float>> normals;
  for (int index : surfaces) {
    SurfacePtr s = m.GetSurface(index);
    for (int v = 0; v < s->CountVertices(); ++v) {
      const auto n = std::make_tuple(s->VertexNX(v), s->VertexNY(v), s->VertexNZ(v));
      const auto [it, fresh] = normals.try_emplace(PositionBits(*s, v), n);
      if (!fresh) {
        EXPECT_EQ(it->second, n) << "surface " << index << " vertex " << v;
      }
    }
  }
  return normals.size();
}

TEST_F(Primitives, SphereSeamsWeldIntoSmoothNormals) {
  for (int segments : {2, 3, 8, 91}) {
    SCOPED_TRACE(segments);
    MeshPtr m = TMesh::CreateSphere(segments);
    std::vector<int> all;
    for (int i = 1; i <= m->CountSurfaces(); ++i) all.push_back(i);
    // Two poles and 2s points on each of the s - 1 inner rows: the texture seam, the
    // cap rows and the surface split add no positions of their own.
    const size_t distinct = ExpectOneNormalPerPosition(*m, all);
    EXPECT_EQ(distinct, size_t(2 + 2 * segments * (segments - 1)));
    if (segments == 2) continue;  // a double pyramid is not round
    // Smooth: on a unit sphere the welded normal is close to the position itself.
    for (const SurfacePtr& s : *m->surfaces) {
      for (int v = 0; v < s->CountVertices(); ++v) {
        const float dot = s->VertexNX(v) * s->VertexX(v) + s->VertexNY(v) * s->VertexY(v) +
                          s->VertexNZ(v) * s->VertexZ(v);
        ASSERT_GT(dot, segments == 3 ? 0.9f : 0.99f) << v;
      }
    }
  }
}

TEST_F(Primitives, CylinderAndConeSeamsWeld) {
  MeshPtr cyl = TMesh::CreateCylinder(8, 1);
  SurfacePtr side = cyl->GetSurface(1);
  // The first side vertex and its seam twin: same bits, u 1 and u 0.
  EXPECT_NEAR(side->VertexX(0), 0, 1e-6);
  EXPECT_EQ(side->VertexY(0), 1);
  EXPECT_NEAR(side->VertexZ(0), 1, 1e-6);
  EXPECT_EQ(side->VertexU(0, 0), 1);
  EXPECT_EQ(PositionBits(*side, 8), PositionBits(*side, 0));
  EXPECT_EQ(side->VertexU(8, 0), 0);
  EXPECT_EQ(ExpectOneNormalPerPosition(*cyl, {1}), 16u);
  for (int v = 0; v < side->CountVertices(); ++v) {
    // Smooth and horizontal: the normal follows the rim.
    EXPECT_NEAR(side->VertexNY(v), 0, 1e-6) << v;
    EXPECT_GT(side->VertexNX(v) * side->VertexX(v) + side->VertexNZ(v) * side->VertexZ(v), 0.99f) << v;
  }
  // The caps stay flat in their own surface.
  SurfacePtr caps = cyl->GetSurface(2);
  for (int v = 0; v < caps->CountVertices(); ++v) {
    EXPECT_NEAR(caps->VertexNY(v), caps->VertexY(v), 1e-6) << v;
  }

  MeshPtr cone = TMesh::CreateCone(8, 1);
  // Side: the rim's seam and the eight tip vertices each weld into one position.
  EXPECT_EQ(ExpectOneNormalPerPosition(*cone, {1}), 9u);
  SurfacePtr base = cone->GetSurface(2);
  // The base fan closes exactly on base0, so its last triangle has no area at all, and
  // every base normal points straight down.
  EXPECT_EQ(PositionBits(*base, base->CountVertices() - 1), PositionBits(*base, 0));
  const int last = base->CountTriangles() - 1;
  EXPECT_EQ(base->TriangleNX(last), 0);
  EXPECT_EQ(base->TriangleNY(last), 0);
  EXPECT_EQ(base->TriangleNZ(last), 0);
  for (int v = 0; v < base->CountVertices(); ++v) EXPECT_NEAR(base->VertexNY(v), -1, 1e-6) << v;
}

}  // namespace
