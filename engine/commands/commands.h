// The engine's command set: one free function per public operation.
//
// Ownership: what Create*, Load* and Copy* return is owned by the engine's lists and is
// released with the matching Free*; freeing an entity frees its whole subtree. Handles
// are shared pointers; a null handle makes a command do nothing and return 0 or null.
// Angles are degrees, colour components 0..255, indices of surfaces and children count
// from 1, vertex and triangle indices from 0.
#pragma once

#include "engine/mesh/surface.h"
#include "engine/scene/handles.h"

namespace velmora {

// ---- Surface ------------------------------------------------------------------------------
int AddVertex(const SurfacePtr& surface, float x, float y, float z, float u = 0, float v = 0,
              float w = 0);  // index of the new vertex, from 0
int AddTriangle(const SurfacePtr& surface, int v0, int v1, int v2);  // the new triangle count

}  // namespace velmora
