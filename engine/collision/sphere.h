// TSphere: a centre and a radius, the bounding volume of an entity.
#pragma once

#include "engine/math/vector.h"

struct TSphere {
  TVector centre;
  float radius = 0;
};
