// make_assets: writes the previewer's models and default images into one folder.
//
//   make_assets <folder>
//
// Tavren_Female.b3d and Tavren_Male.b3d hold one mesh with three surfaces whose brushes
// name tavren_head.jpg, tavren_upper.jpg and tavren_lower.jpg (the previewer finds its
// regions by those names); Tavren_Skirt.b3d holds one untextured surface, so that the
// texture the previewer gives the skirt entity shows. HEAD.JPG, UPPER.JPG, LOWER.JPG and
// SKIRT.JPG are the default images. Fails when the skirt would not fit a figure.
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "default_images.h"
#include "mannequin.h"
#include "tools/b3d_writer.h"

namespace {

constexpr int kJpegQuality = 92;
constexpr int kVrtsNormalsAndColours = 1 | 2;

// The model file stores z negated from the mannequin's right-handed space, and the
// engine stores triangle corners in reverse order: writing each triangle reversed
// keeps it counter-clockwise from outside once it reaches OpenGL.
void AppendTriangles(std::vector<int>& out, const std::vector<int>& triangles, int base) {
  for (size_t t = 0; t + 2 < triangles.size(); t += 3) {
    out.insert(out.end(), {base + triangles[t + 2], base + triangles[t + 1], base + triangles[t]});
  }
}

void AppendVertices(std::vector<float>& out, const MannequinRegion& region) {
  for (const MannequinVertex& v : region.vertices) {
    out.insert(out.end(), {v.x, v.y, -v.z, v.nx, v.ny, -v.nz, 1, 1, 1, 1, v.u, v.v});
  }
}

// One mesh node; each region its own TRIS chunk, painted with brush `brushes[i]`.
TB3dWriter ModelFile(const std::string& node, const std::vector<const MannequinRegion*>& regions,
                     const std::vector<std::string>& texture_files, const std::vector<int>& brushes) {
  TB3dWriter w;
  w.Header(1);
  if (!texture_files.empty()) {
    std::vector<B3dTexture> textures;
    std::vector<B3dBrush> brush_list;
    for (size_t i = 0; i < texture_files.size(); ++i) {
      textures.emplace_back(texture_files[i], 1, 2);
      brush_list.emplace_back(regions[i]->name, 1, 1, 1, 1, 0, 1, 0, std::vector<int>{int(i)});
    }
    w.Texs(textures).Brus(1, brush_list);
  }
  w.BeginNode(node).BeginMesh(-1);
  std::vector<float> vertices;
  for (const MannequinRegion* r : regions) AppendVertices(vertices, *r);
  w.Vrts(kVrtsNormalsAndColours, 1, 2, vertices);
  int base = 0;
  for (size_t i = 0; i < regions.size(); ++i) {
    std::vector<int> corners;
    AppendTriangles(corners, regions[i]->triangles, base);
    w.Tris(brushes[i], corners);
    base += int(regions[i]->vertices.size());
  }
  return w.Finish();
}

bool SaveFigure(const std::string& path, const std::string& node, const MannequinFigure& figure) {
  std::vector<const MannequinRegion*> regions;
  std::vector<std::string> files;
  for (const MannequinRegion& r : figure.regions) {
    regions.push_back(&r);
    files.push_back("tavren_" + r.name + ".jpg");
  }
  return ModelFile(node, regions, files, {0, 1, 2}).Save(path);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_assets <folder>\n");
    return 2;
  }
  const std::string dir = argv[1];
  mkdir(dir.c_str(), 0755);

  const MannequinFigure female = BuildFemaleFigure();
  const MannequinFigure male = BuildMaleFigure();
  const MannequinRegion skirt = BuildSkirt({&female, &male});
  for (const MannequinFigure* f : {&female, &male}) {
    if (SkirtOverlap(skirt, *f) > 0) {
      std::fprintf(stderr, "make_assets: the skirt does not fit a figure (by %g)\n", SkirtOverlap(skirt, *f));
      return 1;
    }
  }

  bool ok = SaveFigure(dir + "/Tavren_Female.b3d", "Tavren_Female", female) &&
            SaveFigure(dir + "/Tavren_Male.b3d", "Tavren_Male", male) &&
            ModelFile("Tavren_Skirt", {&skirt}, {}, {-1}).Save(dir + "/Tavren_Skirt.b3d");

  const struct {
    RgbImage image;
    std::vector<std::string> names;  // the default image, and the figure's own copy
  } images[] = {
      {PaintHead(), {"HEAD.JPG", "tavren_head.jpg"}},
      {PaintUpper(), {"UPPER.JPG", "tavren_upper.jpg"}},
      {PaintLower(), {"LOWER.JPG", "tavren_lower.jpg"}},
      {PaintSkirt(), {"SKIRT.JPG"}},
  };
  for (const auto& entry : images)
    for (const std::string& name : entry.names) ok = ok && WriteJpeg(dir + "/" + name, entry.image, kJpegQuality);

  if (!ok) {
    std::fprintf(stderr, "make_assets: cannot write into %s\n", dir.c_str());
    return 1;
  }
  return 0;
}
