// The sample models: small ones that touch every chunk kind, and the benchmark's grid.
#include "support/b3d_samples.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace {

// x, y, z, nx, ny, nz, r, g, b, a, then two uv sets of size 2: a quad's corners.
std::vector<float> FullQuad() {
  std::vector<float> f;
  const float corners[4][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
  for (const auto& c : corners) {
    f.insert(f.end(), {c[0], c[1], 0, 0, 0, -1, c[0], c[1], 0.5f, 1, c[0], c[1], 1 - c[0], 1 - c[1]});
  }
  return f;
}

// x, y, z, u, v of one triangle.
std::vector<float> Triangle(float z) { return {0, 0, z, 0, 0, 1, 0, z, 1, 0, 0, 1, z, 0, 1}; }

}  // namespace

TB3dWriter SampleStaticModel() {
  TB3dWriter w;
  w.Header();
  w.Texs({{"skin.png", 1 | 0x10000, 2, 0.5f, 0, 2, 2, 45}, {"cloth.png", 9}});
  w.Brus(2, {{"skin", 0.8f, 0.7f, 0.6f, 1, 0.2f, 1, 0, {0, 1}}, {"cloth", 1, 1, 1, 0.5f, 0, 1, 2, {1, -1}}});
  w.BeginNode("root", {0, 1, 0}, {1, 1, 1}, {1, 0, 0, 0});
  w.BeginMesh(0).Vrts(3, 2, 2, FullQuad()).Tris(0, {0, 1, 2}).Tris(1, {1, 3, 2}).End();
  w.BeginNode("child", {0, 0, 5}).BeginMesh(-1).Vrts(0, 1, 2, Triangle(0)).Tris(1, {0, 1, 2}).End().End();
  w.BeginNode("pivot", {2, 0, 0});
  w.BeginNode("leaf", {0, 2, 0}, {2, 2, 2})
      .BeginMesh()
      .Vrts(0, 1, 2, Triangle(1))
      .Tris(-1, {0, 2, 1})
      .End()
      .End();
  w.End();
  w.Finish();
  return w;
}

TB3dWriter SampleSkinnedModel() {
  const float h = std::sqrt(0.5f);
  TB3dWriter w;
  w.Header().Brus(0, {{"body"}});
  w.BeginNode("body", {0, 0, 0}, {1, 1, 1}, {1, 0, 0, 0}).BeginMesh(0);
  w.Vrts(3, 2, 2, FullQuad()).Tris(-1, {0, 1, 2, 1, 3, 2}).End();
  w.Anim(8, 30);
  w.BeginNode("hip", {0, 0.5f, 0}).Bone({{0, 1}, {1, 0.5f}, {2, 1}});
  w.Keys(1, {{0, {0, 0.5f, 0}}, {8, {0, 1, 0}}});
  w.Keys(2, {{0, {1, 1, 1}}});
  w.Keys(4, {{0, {1, 0, 0, 0}}, {4, {h, 0, h, 0}}, {8, {1, 0, 0, 0}}});
  w.BeginNode("knee", {0, 0.5f, 0}, {1, 1, 1}, {h, h, 0, 0}).Bone({{1, 0.5f}, {3, 1}});
  w.Keys(5, {{2, {0, 0.5f, 0, 1, 0, 0, 0}}, {6, {0, 0.25f, 0, h, h, 0, 0}}}).End();
  w.End();
  w.Finish();
  return w;
}

TB3dWriter SampleBoneRootedModel() {
  TB3dWriter w;
  w.Header().Anim(2).BeginNode("skeleton").Bone({}).Keys(1, {{1, {0, 1, 0}}});
  w.BeginNode("arm", {1, 0, 0}).BeginMesh().Vrts(0, 1, 2, Triangle(0)).Tris(-1, {0, 1, 2}).End().End();
  w.Finish();
  return w;
}

TB3dWriter SampleSkeletonBesideModel() {
  const float h = std::sqrt(0.5f);
  TB3dWriter w;
  w.Header().BeginNode("scene");
  w.BeginNode("body", {0, 0, 5}, {2, 2, 2}).BeginMesh().Vrts(0, 1, 2, Triangle(0)).Tris(-1, {0, 1, 2}).End();
  w.Anim(4).End();
  w.BeginNode("rig", {2, 0, 0}, {1, 3, 1}, {h, 0, h, 0}).BeginNode("root").Bone({{0, 1}, {1, 0.5f}});
  w.Keys(4, {{0, {1, 0, 0, 0}}, {4, {h, 0, h, 0}}});
  w.BeginNode("wrist", {0, 1, 0}).BeginNode("hand").Bone({{1, 0.5f}, {2, 1}});
  w.Keys(1, {{0, {0, 0, 0}}, {4, {0, 1, 0}}});
  w.Finish();
  return w;
}

std::vector<TB3dWriter> SampleModels() {
  std::vector<TB3dWriter> models;
  models.push_back(SampleStaticModel());
  models.push_back(SampleSkinnedModel());
  models.push_back(SampleBoneRootedModel());
  models.push_back(SampleSkeletonBesideModel());
  return models;
}

TB3dWriter SkinnedGridModel(int meshes, int vertices_per_mesh, int triangles_per_mesh, int bones,
                            int influences, int frames) {
  const int width = std::max(2, int(std::sqrt(double(vertices_per_mesh))));
  TB3dWriter w;
  w.Header().Brus(0, {{"grid"}});
  w.BeginNode("model");
  for (int m = 0; m < meshes; ++m) {
    w.BeginNode("part" + std::to_string(m), {float(m) * 300, 0, 0}).BeginMesh(0);
    std::vector<float> vertices;
    vertices.reserve(size_t(vertices_per_mesh) * 8);
    for (int i = 0; i < vertices_per_mesh; ++i) {
      const float x = float(i % width), y = float(i / width);
      vertices.insert(vertices.end(),
                      {x, y, std::sin(x * 0.1f), 0, 0, -1, x / float(width), y / float(width)});
    }
    w.Vrts(1, 1, 2, vertices);
    // Corners wrap around the vertex list, as on a closed surface.
    std::vector<int> corners;
    corners.reserve(size_t(triangles_per_mesh) * 3);
    for (int t = 0; t < triangles_per_mesh; ++t) {
      const int base = (t / 2) % vertices_per_mesh;
      const int a = base, b = (base + 1) % vertices_per_mesh;
      const int c = (base + width) % vertices_per_mesh, d = (base + width + 1) % vertices_per_mesh;
      corners.insert(corners.end(),
                     (t % 2) ? std::initializer_list<int>{b, d, c} : std::initializer_list<int>{a, b, c});
    }
    w.Tris(-1, corners).End();
    w.Anim(frames, 60);
    // A chain of bones; vertex i is weighted by bones i, i + 1, ... (mod bones).
    for (int b = 0; b < bones; ++b) {
      w.BeginNode("bone" + std::to_string(b), {0, 1, 0});
      std::vector<std::pair<int, float>> weights;
      for (int i = 0; i < vertices_per_mesh; ++i) {
        const int k = ((b - i) % bones + bones) % bones;
        if (k < influences) weights.emplace_back(i, 1.0f / float(influences));
      }
      w.Bone(weights);
      std::vector<B3dKey> keys;
      for (int f = 0; f < frames; ++f) {
        const float a = float(f) * 0.05f;
        keys.push_back({f, {0, 1, 0, std::cos(a), 0, std::sin(a), 0}});
      }
      w.Keys(1 | 4, keys);
    }
    for (int b = 0; b < bones; ++b) w.End();
    w.End();
  }
  w.Finish();
  return w;
}

TB3dWriter LongNameBonesModel(size_t bytes) {
  TB3dWriter w;
  w.Header().BeginNode(std::string(bytes / 2, 'n'));
  for (size_t i = 0; i < bytes / 2 / 8; ++i) w.Bone({});
  w.Finish();
  return w;
}

TB3dWriter SplitTrisModel(size_t bytes) {
  TB3dWriter w;
  w.Header().BeginNode("m").BeginMesh().Vrts(0, 0, 0, {0, 0, 0, 1, 0, 0, 0, 1, 0});
  for (size_t i = 0; i < bytes / 25; ++i) w.Tris(-1, {0, 1, 2}).Raw("\x01");
  w.Finish();
  return w;
}

TB3dWriter WideBonesModel(size_t bytes) {
  TB3dWriter w;
  w.Header().BeginNode("root").BeginMesh().End().BeginNode("bones");
  for (size_t i = 0; i < bytes / 8; ++i) w.Bone({});
  w.Finish();
  return w;
}

TB3dWriter TextureFlagsModel(size_t bytes, const std::string& image, bool brushed) {
  const size_t entry = image.size() + 1 + 28 + (brushed ? 33 + 24 : 0);  // TEXS entry, BRUS entry, TRIS
  const int n = int(std::min<size_t>(bytes / entry, 1 << 14));
  std::vector<B3dTexture> textures;
  std::vector<B3dBrush> brushes;
  for (int i = 0; i < n; ++i) {
    // Mipmapped; bits above the texture flags tell them apart (not 0x10000, the
    // coordinate-set bit, which the reader takes away).
    textures.push_back({image, 8 | (i & 0xff) << 8 | (i >> 8) << 17});
    brushes.push_back({"", 1, 1, 1, 1, 0, 1, 0, {i}});
  }
  TB3dWriter w;
  w.Header().Texs(textures);
  if (!brushed) {
    w.Finish();
    return w;
  }
  w.Brus(1, brushes).BeginNode("m").BeginMesh().Vrts(0, 0, 0, {0, 0, 0, 1, 0, 0, 0, 1, 0});
  for (int i = 0; i < n; ++i) w.Tris(i, {0, 1, 2});
  w.Finish();
  return w;
}

TB3dWriter SplitTexsModel(int chunks, int per_chunk) {
  TB3dWriter w;
  w.Header();
  for (int c = 0; c < chunks; ++c) {
    std::vector<B3dTexture> textures;
    for (int i = 0; i < per_chunk; ++i) textures.push_back({"tex.png", 1 | (c * per_chunk + i + 1) << 17});
    w.Texs(textures);
  }
  w.Finish();
  return w;
}

std::vector<TB3dWriter> HostileModels(size_t bytes) {
  std::vector<TB3dWriter> models;
  models.push_back(LongNameBonesModel(bytes));
  models.push_back(SplitTrisModel(bytes));
  models.push_back(WideBonesModel(bytes));
  models.push_back(TextureFlagsModel(bytes, "tex.png", true));
  return models;
}

TB3dWriter GridModel(int triangles, bool normals) {
  const int cells = std::max(1, triangles / 2);
  const int side = std::max(1, int(std::sqrt(double(cells))));
  const int rows = (cells + side - 1) / side;
  std::vector<float> vertices;
  for (int y = 0; y <= rows; ++y) {
    for (int x = 0; x <= side; ++x) {
      const float fx = float(x), fy = float(y), fz = std::sin(fx * 0.3f) * std::cos(fy * 0.2f);
      vertices.insert(vertices.end(), {fx, fy, fz});
      if (normals) vertices.insert(vertices.end(), {0, 0, -1});
      vertices.insert(vertices.end(), {fx / float(side), fy / float(rows)});
    }
  }
  std::vector<int> corners;
  for (int c = 0; c < cells; ++c) {
    const int a = (c / side) * (side + 1) + c % side, b = a + 1, d = a + side + 1, e = d + 1;
    corners.insert(corners.end(), {a, b, d, b, e, d});
  }
  TB3dWriter w;
  w.Header().BeginNode("grid").BeginMesh().Vrts(normals ? 1 : 0, 1, 2, vertices).Tris(-1, corners);
  w.Finish();
  return w;
}
