// Which width the screens run at: the processor's widest, or the one a test chose.
#include "engine/collision/lanes.h"

#include <atomic>

namespace {
// 0 until chosen: then the widest.
std::atomic<int> chosen_width{0};
}  // namespace

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

LaneWidth CurrentLaneWidth() {
  const int width = chosen_width.load(std::memory_order_relaxed);
  return width ? LaneWidth(width) : WidestLaneWidth();
}

LaneWidth SetLaneWidth(LaneWidth width) {
  const LaneWidth set = width == kLaneWidthScalar ? kLaneWidthScalar
                       : width == kLaneWidthEight  ? WidestLaneWidth()
                                                   : kLaneWidthFour;
  chosen_width.store(set, std::memory_order_relaxed);
  return set;
}
