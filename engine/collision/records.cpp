// Storage of the collision rules and the last pick result.
#include "engine/collision/collision.h"
#include "engine/collision/pick.h"

std::vector<TCollision> TCollision::list;

float TPick::picked_x = 0, TPick::picked_y = 0, TPick::picked_z = 0;
float TPick::picked_nx = 0, TPick::picked_ny = 0, TPick::picked_nz = 0;
float TPick::picked_time = 0;
EntityPtr TPick::picked_ent;
SurfacePtr TPick::picked_surface;
int TPick::picked_triangle = 0;
