// Surfaces: storage conventions seen through the public getters, array growth
// (also from a table the model reader filled in), the changed flag, copies, and
// accessors given indices outside the tables.
#include "engine/mesh/surface.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>
#include <vector>

#include "engine/mesh/brush.h"
#include "engine/mesh/texture.h"

namespace {

// Every vertex array holds exactly capacity x stride elements, zero past the count.
void ExpectVertexArrays(const TSurface& s) {
  const struct {
    const char* name;
    const std::vector<float>* array;
    size_t stride;
  } arrays[] = {{"positions", &s.vertex_positions, 3}, {"uv0", &s.vertex_uv0, 2},
                {"uv1", &s.vertex_uv1, 2},           {"normals", &s.vertex_normals, 3},
                {"colours", &s.vertex_colours, 4}};
  for (const auto& a : arrays) {
    SCOPED_TRACE(a.name);
    ASSERT_EQ(a.array->size(), size_t(s.vertex_capacity) * a.stride);
    for (size_t i = size_t(s.vertex_count) * a.stride; i < a.array->size(); ++i) {
      EXPECT_EQ((*a.array)[i], 0.0f) << "element " << i;
    }
  }
}

// A triangle surface: (0,0,0), (1,0,0), (0,1,0), corners 0, 1, 2.
TSurface MakeTriangle() {
  TSurface s;
  s.AddVertex(0, 0, 0);
  s.AddVertex(1, 0, 0);
  s.AddVertex(0, 1, 0);
  s.AddTriangle(0, 1, 2);
  return s;
}

}  // namespace

TEST(Surface, NewSurfaceIsEmpty) {
  TSurface s;
  EXPECT_EQ(s.CountVertices(), 0);
  EXPECT_EQ(s.CountTriangles(), 0);
  EXPECT_EQ(s.vertex_capacity, 1);
  EXPECT_EQ(s.triangle_capacity, 1);
  EXPECT_EQ(s.min_vertex_index, 1000000);
  EXPECT_EQ(s.max_vertex_index, 0);
  EXPECT_EQ(s.geometry_changed, 0);
  EXPECT_TRUE(s.vertex_positions.empty() && s.vertex_colours.empty() && s.triangle_indices.empty());
  EXPECT_EQ(s.brush, nullptr);
}

TEST(Surface, CapacityDoublesAboveTheCount) {
  const struct {
    int adds;
    int capacity;
  } cases[] = {{1, 2}, {2, 4}, {3, 4}, {4, 8}, {7, 8}, {8, 16}, {100, 128}};
  for (const auto& c : cases) {
    SCOPED_TRACE("adds " + std::to_string(c.adds));
    TSurface s;
    for (int i = 0; i < c.adds; ++i) ASSERT_EQ(s.AddVertex(float(i), 0, 0), i);  // index
    EXPECT_EQ(s.vertex_capacity, c.capacity);
    ExpectVertexArrays(s);

    for (int i = 0; i < c.adds; ++i) ASSERT_EQ(s.AddTriangle(0, 0, i), i + 1);  // count
    EXPECT_EQ(s.triangle_capacity, c.capacity);
    ASSERT_EQ(s.triangle_indices.size(), size_t(c.capacity) * 3);
    for (size_t i = size_t(c.adds) * 3; i < s.triangle_indices.size(); ++i) {
      EXPECT_EQ(s.triangle_indices[i], 0) << "index slot " << i;
    }
  }
}

// The model reader copies arrays and the count in and leaves the capacity at 1.
TEST(Surface, DirectlyFilledSurfaceGrowsFromItsCount) {
  const struct {
    int count;
    int capacity_after_add;
  } cases[] = {{1, 4}, {3, 8}, {5, 8}, {7, 16}, {8, 16}};
  for (const auto& c : cases) {
    SCOPED_TRACE("count " + std::to_string(c.count));
    TSurface s;
    s.vertex_count = c.count;
    for (int i = 0; i < c.count; ++i) {
      s.vertex_positions.insert(s.vertex_positions.end(), {float(i), 10.0f + i, -20.0f - i});
      s.vertex_uv0.insert(s.vertex_uv0.end(), {0.5f, float(i)});
      s.vertex_uv1.insert(s.vertex_uv1.end(), {0.25f, float(i)});
      s.vertex_normals.insert(s.vertex_normals.end(), {0, 0, -1});
      s.vertex_colours.insert(s.vertex_colours.end(), {0.2f, 0.4f, 0.6f, 0.8f});
    }
    EXPECT_EQ(s.VertexZ(c.count - 1), 20.0f + (c.count - 1));

    EXPECT_EQ(s.AddVertex(7, 8, 9, 0.1f, 0.2f), c.count);
    EXPECT_EQ(s.vertex_capacity, c.capacity_after_add);
    ExpectVertexArrays(s);
    for (int i = 0; i < c.count; ++i) {
      SCOPED_TRACE("kept vertex " + std::to_string(i));
      EXPECT_EQ(s.VertexX(i), float(i));
      EXPECT_EQ(s.VertexY(i), 10.0f + i);
      EXPECT_EQ(s.VertexZ(i), 20.0f + i);
      EXPECT_EQ(s.VertexU(i, 1), 0.25f);
      EXPECT_EQ(s.VertexNZ(i), 1.0f);
      EXPECT_FLOAT_EQ(s.VertexBlue(i), 0.6f * 255.0f);
    }
    EXPECT_EQ(s.VertexZ(c.count), 9.0f);
    EXPECT_EQ(s.VertexV(c.count, 0), 0.2f);
    EXPECT_EQ(s.VertexAlpha(c.count), 1.0f);
  }
}

// A reader that filled some arrays short of the count must not make accessors read
// past them, and the next add makes every array whole.
TEST(Surface, ShortArraysAreNeverReadPast) {
  TSurface s;
  s.vertex_count = 3;
  s.vertex_positions = {1, 2, 3, 4, 5, 6, 7, 8, 9};  // normals, uvs, colours left empty
  EXPECT_EQ(s.VertexY(2), 8.0f);
  EXPECT_EQ(s.VertexNX(2), 0.0f);
  EXPECT_EQ(s.VertexU(2, 1), 0.0f);
  EXPECT_EQ(s.VertexAlpha(2), 0.0f);
  s.VertexColor(2, 255, 255, 255, 1);  // no slot: nothing written
  s.VertexNormal(2, 1, 1, 1);
  EXPECT_TRUE(s.vertex_colours.empty() && s.vertex_normals.empty());

  EXPECT_EQ(s.AddVertex(0, 0, 0), 3);
  ExpectVertexArrays(s);
  EXPECT_EQ(s.VertexX(2), 7.0f);
}

TEST(Surface, StorageConventionsRoundTripThroughGetters) {
  TSurface s;
  ASSERT_EQ(s.AddVertex(1, 2, 3, 0.25f, 0.75f, 99), 0);
  EXPECT_EQ((std::vector<float>(s.vertex_positions.begin(), s.vertex_positions.begin() + 3)),
            (std::vector<float>{1, 2, -3}));
  EXPECT_EQ(s.VertexX(0), 1.0f);
  EXPECT_EQ(s.VertexY(0), 2.0f);
  EXPECT_EQ(s.VertexZ(0), 3.0f);
  EXPECT_EQ(s.VertexU(0, 0), 0.25f);
  EXPECT_EQ(s.VertexV(0, 0), 0.75f);
  EXPECT_EQ(s.VertexW(0), 0.0f);  // w is never stored
  // A new vertex is white and opaque, with zero normal and second uv set.
  EXPECT_EQ(s.VertexRed(0), 255.0f);
  EXPECT_EQ(s.VertexGreen(0), 255.0f);
  EXPECT_EQ(s.VertexBlue(0), 255.0f);
  EXPECT_EQ(s.VertexAlpha(0), 1.0f);
  EXPECT_EQ(s.VertexNZ(0), 0.0f);
  EXPECT_EQ(s.VertexU(0, 1), 0.0f);

  s.VertexCoords(0, -4, 5, -6);
  EXPECT_EQ(s.vertex_positions[2], 6.0f);
  EXPECT_EQ(s.VertexZ(0), -6.0f);

  s.VertexNormal(0, 0, 0, 1);
  EXPECT_EQ(s.vertex_normals[2], -1.0f);
  EXPECT_EQ(s.VertexNZ(0), 1.0f);

  s.VertexColor(0, 255, 128, 0, 0.5f);
  EXPECT_EQ(s.vertex_colours[0], 1.0f);
  EXPECT_FLOAT_EQ(s.vertex_colours[1], 128.0f / 255.0f);
  EXPECT_EQ(s.vertex_colours[3], 0.5f);  // alpha stored as given
  EXPECT_EQ(s.VertexRed(0), 255.0f);
  EXPECT_FLOAT_EQ(s.VertexGreen(0), 128.0f);
  EXPECT_EQ(s.VertexBlue(0), 0.0f);
  EXPECT_EQ(s.VertexAlpha(0), 0.5f);

  s.VertexTexCoords(0, 0.5f, 0.125f, 7, 1);
  EXPECT_EQ(s.VertexU(0, 1), 0.5f);
  EXPECT_EQ(s.VertexV(0, 1), 0.125f);
  EXPECT_EQ(s.VertexU(0, 0), 0.25f);  // set 0 untouched
  const std::vector<float> uv0 = s.vertex_uv0, uv1 = s.vertex_uv1;
  s.VertexTexCoords(0, 9, 9, 9, 2);  // no such set
  EXPECT_EQ(s.vertex_uv0, uv0);
  EXPECT_EQ(s.vertex_uv1, uv1);
  EXPECT_EQ(s.VertexU(0, 2), 0.0f);
  EXPECT_EQ(s.VertexV(0, -1), 0.0f);
}

TEST(Surface, TriangleCornersAreStoredReversedAndReadUnsigned) {
  TSurface s;
  ASSERT_EQ(s.AddTriangle(0, 1, 2), 1);
  ASSERT_EQ(s.AddTriangle(65535, 7, 300), 2);
  EXPECT_EQ((std::vector<uint16_t>(s.triangle_indices.begin(), s.triangle_indices.begin() + 6)),
            (std::vector<uint16_t>{2, 1, 0, 300, 7, 65535}));
  const int expected[2][3] = {{0, 1, 2}, {65535, 7, 300}};
  for (int t = 0; t < 2; ++t) {
    for (int c = 0; c < 3; ++c) {
      EXPECT_EQ(s.TriangleVertex(t, c), expected[t][c]) << "triangle " << t << " corner " << c;
    }
  }
}

// An index 16 bits cannot hold would wrap onto another vertex; the triangle is refused.
TEST(Surface, AddTriangleRefusesCornersBeyondSixteenBits) {
  const int bad[] = {-1, 65536, 70000, INT_MIN, INT_MAX};
  for (int b : bad) {
    for (int corner = 0; corner < 3; ++corner) {
      SCOPED_TRACE("index " + std::to_string(b) + " at corner " + std::to_string(corner));
      TSurface s = MakeTriangle();
      s.geometry_changed = 0;
      const std::vector<uint16_t> before = s.triangle_indices;
      int i[3] = {0, 1, 2};
      i[corner] = b;
      EXPECT_EQ(s.AddTriangle(i[0], i[1], i[2]), 1);
      EXPECT_EQ(s.CountTriangles(), 1);
      EXPECT_EQ(s.triangle_indices, before);
      EXPECT_EQ(s.geometry_changed, 0);
    }
  }
}

TEST(Surface, OnlyGeometryEditsSetTheChangedFlag) {
  const struct {
    const char* op;
    std::function<void(TSurface&)> run;
    int changed;
  } cases[] = {
      {"AddVertex", [](TSurface& s) { s.AddVertex(1, 1, 1); }, 1},
      {"VertexNormal", [](TSurface& s) { s.VertexNormal(0, 1, 0, 0); }, 0},
      {"VertexColor", [](TSurface& s) { s.VertexColor(0, 1, 2, 3, 0); }, 0},
      {"VertexTexCoords", [](TSurface& s) { s.VertexTexCoords(0, 1, 1, 0, 0); }, 0},
      {"PaintSurface", [](TSurface& s) { s.PaintSurface(TBrush::CreateBrush()); }, 0},
      {"VertexCoords", [](TSurface& s) { s.VertexCoords(0, 5, 5, 5); }, 1},
      {"VertexCoords out of range", [](TSurface& s) { s.VertexCoords(3, 5, 5, 5); }, 0},
      {"AddTriangle", [](TSurface& s) { s.AddTriangle(0, 1, 2); }, 1},
      {"ClearSurface(0, 0)", [](TSurface& s) { s.ClearSurface(0, 0); }, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.op);
    TSurface s = MakeTriangle();
    s.geometry_changed = 0;
    c.run(s);
    EXPECT_EQ(s.geometry_changed, c.changed);
  }
}

TEST(Surface, ClearSurfaceResetsOnlyTheChosenSide) {
  const struct {
    int verts, tris;
    bool vertices_kept, triangles_kept;
  } cases[] = {{1, 0, false, true}, {0, 1, true, false}, {1, 1, false, false}, {0, 0, true, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE("ClearSurface(" + std::to_string(c.verts) + ", " + std::to_string(c.tris) + ")");
    TSurface s = MakeTriangle();
    s.min_vertex_index = 0;
    s.max_vertex_index = 2;
    auto brush = TBrush::CreateBrush();
    s.PaintSurface(brush);
    s.ClearSurface(c.verts, c.tris);
    EXPECT_EQ(s.CountVertices(), c.vertices_kept ? 3 : 0);
    EXPECT_EQ(s.vertex_capacity, c.vertices_kept ? 4 : 1);
    EXPECT_EQ(s.vertex_positions.empty(), !c.vertices_kept);
    EXPECT_EQ(s.vertex_colours.empty(), !c.vertices_kept);
    EXPECT_EQ(s.CountTriangles(), c.triangles_kept ? 1 : 0);
    EXPECT_EQ(s.triangle_capacity, c.triangles_kept ? 2 : 1);
    EXPECT_EQ(s.triangle_indices.empty(), !c.triangles_kept);
    EXPECT_EQ(s.brush, brush);
    EXPECT_EQ(s.min_vertex_index, 0);
    EXPECT_EQ(s.max_vertex_index, 2);
  }
  // A cleared surface grows again from capacity 1.
  TSurface s = MakeTriangle();
  s.ClearSurface(1, 1);
  EXPECT_EQ(s.AddVertex(4, 5, 6), 0);
  EXPECT_EQ(s.vertex_capacity, 2);
  ExpectVertexArrays(s);
  EXPECT_EQ(s.VertexX(0), 4.0f);
}

TEST(Surface, TriangleNormalIsTheUnnormalisedCrossProductInPublicSpace) {
  const struct {
    const char* name;
    float p[3][3];
    float n[3];
  } cases[] = {
      {"xy plane", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 0, 1}},
      {"twice the area", {{0, 0, 0}, {2, 0, 0}, {0, 2, 0}}, {0, 0, 4}},
      // Gives (+1, 0, 0) if the stored, negated z were used.
      {"yz plane", {{0, 0, 0}, {0, 0, 1}, {0, 1, 0}}, {-1, 0, 0}},
      {"offset", {{1, 1, 1}, {1, 1, 3}, {4, 1, 1}}, {0, 6, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TSurface s;
    for (const auto& p : c.p) s.AddVertex(p[0], p[1], p[2]);
    s.AddTriangle(0, 1, 2);
    EXPECT_EQ(s.TriangleNX(0), c.n[0]);
    EXPECT_EQ(s.TriangleNY(0), c.n[1]);
    EXPECT_EQ(s.TriangleNZ(0), c.n[2]);
  }
}

TEST(Surface, CopyOwnsArraysAndBrushButSharesTextures) {
  TSurface s = MakeTriangle();
  s.min_vertex_index = 0;
  s.max_vertex_index = 2;
  auto texture = std::make_shared<TTexture>();
  auto brush = TBrush::CreateBrush(255, 0, 0);
  brush->BrushTexture(texture, 0, 0);
  s.PaintSurface(brush);
  ASSERT_EQ(s.geometry_changed, 1);

  SurfacePtr copy = s.Copy();
  EXPECT_EQ(copy->CountVertices(), 3);
  EXPECT_EQ(copy->CountTriangles(), 1);
  EXPECT_EQ(copy->vertex_capacity, 4);
  EXPECT_EQ(copy->triangle_capacity, 2);
  EXPECT_EQ(copy->min_vertex_index, 0);
  EXPECT_EQ(copy->max_vertex_index, 2);
  EXPECT_EQ(copy->geometry_changed, 0);
  EXPECT_EQ(copy->vertex_positions, s.vertex_positions);  // spare capacity included
  EXPECT_EQ(copy->vertex_colours, s.vertex_colours);
  EXPECT_EQ(copy->triangle_indices, s.triangle_indices);

  ASSERT_NE(copy->brush, nullptr);
  EXPECT_NE(copy->brush, brush);
  EXPECT_EQ(TBrush::CompareBrushes(copy->brush, brush), 1);
  EXPECT_EQ(copy->brush->textures[0], texture);

  // The painted surface shares its brush; the copy does not.
  brush->BrushAlpha(0.5f);
  EXPECT_EQ(s.brush->alpha, 0.5f);
  EXPECT_EQ(copy->brush->alpha, 1.0f);
  copy->VertexCoords(1, 9, 9, 9);
  EXPECT_EQ(s.VertexX(1), 1.0f);

  TSurface bare = MakeTriangle();
  EXPECT_EQ(bare.Copy()->brush, nullptr);
}

// Indices outside the tables: setters leave every array alone, getters give 0. The
// vertex at capacity - 1 has a slot in the arrays but is not a vertex yet.
TEST(Surface, AccessorsOutsideTheTablesDoNothing) {
  TSurface s = MakeTriangle();  // 3 vertices, capacity 4; 1 triangle, capacity 2
  s.VertexNormal(0, 1, 2, 3);
  s.VertexTexCoords(0, 1, 1, 0, 1);
  s.geometry_changed = 0;
  const TSurface before = s;
  const int bad_vertices[] = {-1, 3, 4, 1000, INT_MAX, INT_MIN};
  for (int v : bad_vertices) {
    SCOPED_TRACE("vertex " + std::to_string(v));
    s.VertexCoords(v, 1, 2, 3);
    s.VertexColor(v, 1, 2, 3, 0.5f);
    s.VertexNormal(v, 1, 2, 3);
    s.VertexTexCoords(v, 1, 2, 0, 0);
    s.VertexTexCoords(v, 1, 2, 0, 1);
    EXPECT_EQ(s.vertex_positions, before.vertex_positions);
    EXPECT_EQ(s.vertex_colours, before.vertex_colours);
    EXPECT_EQ(s.vertex_normals, before.vertex_normals);
    EXPECT_EQ(s.vertex_uv0, before.vertex_uv0);
    EXPECT_EQ(s.vertex_uv1, before.vertex_uv1);
    EXPECT_EQ(s.geometry_changed, 0);
    const float reads[] = {s.VertexX(v),     s.VertexY(v),    s.VertexZ(v),     s.VertexRed(v),
                           s.VertexGreen(v), s.VertexBlue(v), s.VertexAlpha(v), s.VertexNX(v),
                           s.VertexNY(v),    s.VertexNZ(v),   s.VertexU(v, 0),  s.VertexV(v, 0),
                           s.VertexU(v, 1),  s.VertexV(v, 1), s.VertexW(v)};
    for (float r : reads) EXPECT_EQ(r, 0.0f);
  }

  const struct {
    int triangle, corner;
  } bad_corners[] = {{-1, 0}, {1, 0}, {2, 0}, {INT_MAX, 2}, {INT_MIN, 0}, {0, -1}, {0, 3}};
  for (const auto& c : bad_corners) {
    EXPECT_EQ(s.TriangleVertex(c.triangle, c.corner), 0)
        << "triangle " << c.triangle << " corner " << c.corner;
  }
  const int bad_triangles[] = {-1, 1, 2, INT_MAX};
  for (int t : bad_triangles) {
    EXPECT_EQ(s.TriangleNX(t), 0.0f) << "triangle " << t;
    EXPECT_EQ(s.TriangleNY(t), 0.0f) << "triangle " << t;
    EXPECT_EQ(s.TriangleNZ(t), 0.0f) << "triangle " << t;
  }
}
