// Writes the seed corpus of fuzz_commands into the directory given: a few programs that
// build what the command set is for (a lit, textured scene drawn by a camera; a mesh
// made vertex by vertex; a hierarchy re-parented and freed; picks and collisions), so
// the fuzzer starts from programs that reach deep rather than from noise. Two more grow
// a hierarchy 5,000 deep and a list of 5,000 surfaces and walk them.
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz/command_program.h"

using namespace command_program;

namespace {

using Bytes = std::vector<uint8_t>;

uint8_t I(int v) { return SmallIntByte(v); }
uint8_t F(float v) { return SmallFloatByte(v); }
// Any int: the raw marker, then its four bytes.
Bytes Raw(int v) {
  const uint32_t u = uint32_t(v);
  return {kRawByte, uint8_t(u), uint8_t(u >> 8), uint8_t(u >> 16), uint8_t(u >> 24)};
}
constexpr uint8_t kNull = kEntitySlots;  // the null entity slot

// Slot 0 camera, 1 light, 2 a cube in front of the camera.
Bytes Scene() {
  return {kCreateCamera, 0, kNull,
          kCreateLight, 1, I(1), kNull,
          kCreatePrimitive, 2, 0, I(0), I(0), kNull,
          kTransform, 0, 2, F(0), F(0), F(5), I(0),
          kRender};
}

Bytes Join(std::vector<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

std::vector<Bytes> Programs() {
  const Bytes textured = {kCreateTexture, 0, 15, 15, 9, 1,                   // 16 x 16, colour + mipmaps
                          kCreateBrush, 0, F(20), F(20), F(20),
                          kBrushEdit, 0, 0, 0, I(0), I(0), F(0),             // texture 0 into layer 0
                          kPaint, 1, 2, kSurfaceSlots, 0,                    // PaintEntity(cube, brush 0)
                          kRender,
                          kFreeTexture, 0, kRender,                          // freed while a brush holds it
                          kDropBrush, 0, kDropTexture, 0, kRender};
  const Bytes built = {kCreateMesh, 3, kNull,
                       kCreateSurface, 0, 3, kBrushSlots,
                       kAddVertex, 0, F(-1), F(1), F(0), F(0), F(0),
                       kAddVertex, 0, F(1), F(1), F(0), F(1), F(0),
                       kAddVertex, 0, F(1), F(-1), F(0), F(1), F(1),
                       kAddTriangle, 0, I(0), I(1), I(2),
                       kAddTriangle, 0, I(0), I(2), I(5),                    // names a vertex not yet added
                       kTransform, 0, 3, F(0), F(0), F(4), I(0),
                       kMeshEdit, 7, 3, kNull, F(0), F(0), F(0), F(0), F(0), F(0), I(0),
                       kRender,
                       kAddVertex, 0, F(-1), F(-1), F(0), F(0), F(1),
                       kMeshEdit, 5, 3, kNull, F(0), F(0), F(0), F(0), F(0), F(0), I(0),
                       kRender};
  const Bytes tree = {kCreatePivot, 4, kNull,
                      kCreatePivot, 5, 4,
                      kCreateMesh, 6, 5,
                      kEntityParent, 4, 6, I(1),                             // would make a cycle
                      kCopyEntity, 7, 4, 5,
                      kFreeEntity, 5,
                      kCreateSprite, 6, 5,                                   // under the freed parent, still held
                      kTransform, 0, 4, 0, F(1), F(2), I(1),
                      kTransform, 4, 4, 17, 15, 9, I(0),                     // special floats NaN, inf, 1e30
                      kRender};
  const Bytes picks = {kPickMode, 2, I(2), I(0),
                       kPick, 0, 0, kNull, F(16), F(16), F(0), F(0), F(0), F(0), F(0),
                       kPick, 1, kNull, kNull, F(0), F(0), F(0), F(0), F(0), F(10), F(0),
                       kCollisionSetup, 0, 0, 1, I(0), I(0), F(0), F(0), F(0),
                       kCollisionSetup, 0, 2, 2, I(0), I(0), F(0), F(0), F(0),
                       kCollisionSetup, 1, 0, 0, I(0), I(0), F(0.5f), F(0.5f), F(0.5f),
                       kCollisionSetup, 3, kNull, 1, I(2), I(2), F(0), F(0), F(0), 2,
                       kTransform, 1, 0, F(0), F(0), F(6), I(0),
                       kUpdateWorld, F(1),
                       kCollisionSetup, 5, 0, 0, I(1), I(0), F(0), F(0), F(0), 3,
                       kCreateOctree, 2, 8, 3,
                       kUpdateWorld, F(1), kRender};
  const Bytes lights = Join({{kCreateLight, 3, I(3), kNull,
                              kLightEdit, 2, 3, F(0), 6, F(0),               // special float 6: a cone of 360
                              kWorldEdit, 2, I(4), I(0), F(0), F(0), F(0),   // anti-aliased
                              kRender,
                              kCameraEdit, 0, 0, I(0)},
                             Raw(1275068223), {I(6)}, Raw(1057187840), {F(0), F(0), F(0), kRender}});
  // A chain 5,000 deep under pivot 3, its deepest named "7": moved from the root,
  // searched, typed, copied, read by index and freed.
  const Bytes deep = Join({{kCreatePivot, 3, kNull, kGrowChain, 4, 3},
                           Raw(5000),
                           {kHierarchyRead, 2, 0, 4, I(7),
                            kTransform, 2, 3, F(1), F(0), F(0), I(0),
                            kTransform, 4, 3, F(0), F(90), F(0), I(0),
                            kHierarchyRead, 3, 5, 3, I(7),                   // FindChild: the deepest
                            kCollisionSetup, 0, 3, 2, I(1), I(0), F(0), F(0), F(0),  // EntityType, recursive
                            kCopyEntity, 6, 3, kNull,
                            kIndexLoop, 0, 6,
                            kEntityParent, 6, 4, I(0),
                            kRender,
                            kFreeEntity, 3, kRender}});
  // A mesh of 5,000 surfaces, read back by index and drawn, then one more surface.
  const Bytes long_list = Join({{kCreateMesh, 3, kNull, kGrowSurfaces, 3},
                                Raw(5000),
                                {kIndexLoop, 1, 3, kGetSurface, 1, 3},
                                Raw(1234),
                                {kCreateSurface, 2, 3, kBrushSlots, kCopyEntity, 4, 3, kNull, kIndexLoop, 1, 4, kRender}});
  return {Scene(), Join({Scene(), textured}), Join({Scene(), built}), Join({Scene(), tree}),
          Join({Scene(), picks}), Join({Scene(), lights}), Join({Scene(), deep}), Join({Scene(), long_list})};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s corpus-directory\n", argv[0]);
    return 2;
  }
  int n = 0;
  for (const Bytes& program : Programs()) {
    const std::string path = std::string(argv[1]) + "/seed_" + std::to_string(n++);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(program.data(), 1, program.size(), f) != program.size()) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      return 1;
    }
    std::fclose(f);
  }
  return 0;
}
