// TSphere: a centre and a radius. An entity's world bounding sphere (BoundingSphere)
// is one; picking tests segments against it and the collision pre-test tests it
// against the sweep box.
#pragma once

#include "engine/math/vector.h"

struct TSphere {
  TVector centre;
  float radius = 0;
};
