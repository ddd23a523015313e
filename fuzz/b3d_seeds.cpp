// Writes the seed corpus of fuzz_b3d into the directory given: the writer's sample
// models (every chunk kind, static, skinned and bone-rooted), a small skinned grid, a
// grid without normals, and the hostile shapes (a long name before many bones, split
// TRIS chunks, a wide parent of bones, one image under many flag values, texture
// entries spread over several TEXS chunks) at a few KB.
#include <cstdio>
#include <string>
#include <utility>

#include "support/b3d_samples.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s corpus-directory\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[1];
  std::vector<TB3dWriter> models = SampleModels();
  models.push_back(SkinnedGridModel(2, 40, 60, 3, 2, 4));
  models.push_back(GridModel(200, false));
  for (TB3dWriter& hostile : HostileModels(4096)) models.push_back(std::move(hostile));
  models.push_back(SplitTexsModel(3, 40));
  for (size_t i = 0; i < models.size(); ++i) {
    const std::string path = dir + "/model" + std::to_string(i) + ".b3d";
    if (!models[i].Save(path)) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
