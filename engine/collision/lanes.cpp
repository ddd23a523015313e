// Which width the screens run at: the processor's widest, or the one a test chose.
#include "engine/collision/lanes.h"

#ifdef VELMORA_EIGHT_LANES
LaneWidth WidestLaneWidth() {
  static const LaneWidth widest = [] {
    __builtin_cpu_init();  // may run before the constructors that would have done it
    return __builtin_cpu_supports("avx") ? kLaneWidthEight : kLaneWidthFour;
  }();
  return widest;
}
#else
LaneWidth WidestLaneWidth() { return kLaneWidthFour; }
#endif

std::atomic<int> chosen_lane_width{WidestLaneWidth()};

LaneWidth SetLaneWidth(LaneWidth width) {
  const LaneWidth set = width == kLaneWidthScalar ? kLaneWidthScalar
                       : width == kLaneWidthEight  ? WidestLaneWidth()
                                                   : kLaneWidthFour;
  chosen_lane_width.store(set, std::memory_order_relaxed);
  return set;
}
