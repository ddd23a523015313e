// The command set: each command forwards its arguments unchanged to its engine operation.
#include "engine/commands/commands.h"

namespace velmora {

int AddVertex(const SurfacePtr& surface, float x, float y, float z, float u, float v, float w) {
  return surface ? surface->AddVertex(x, y, z, u, v, w) : 0;
}

int AddTriangle(const SurfacePtr& surface, int v0, int v1, int v2) {
  return surface ? surface->AddTriangle(v0, v1, v2) : 0;
}

}  // namespace velmora
