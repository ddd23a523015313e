// The result of the last pick: point, normal, time, and what was hit.
#pragma once

#include "engine/scene/handles.h"

struct TPick {
  static float picked_x, picked_y, picked_z;
  static float picked_nx, picked_ny, picked_nz;
  static float picked_time;
  static EntityPtr picked_ent;
  static SurfacePtr picked_surface;
  static int picked_triangle;
};
