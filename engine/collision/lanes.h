// The lanes moved to engine/math/lanes.h; this keeps the old path until the sweep
// includes them from there.
#pragma once
#include "engine/math/lanes.h"
