// Which width the screens run at: the processor's widest, or the one a test chose.
#include "engine/math/lanes.h"

LaneWidth WidestLaneWidth() {
  static const LaneWidth widest = ProcessorHasEightLanes() ? kLaneWidthEight : kLaneWidthFour;
  return widest;
}

std::atomic<int> chosen_lane_width{WidestLaneWidth()};

LaneWidth SetLaneWidth(LaneWidth width) {
  const LaneWidth set = width == kLaneWidthScalar ? kLaneWidthScalar
                       : width == kLaneWidthEight  ? WidestLaneWidth()
                                                   : kLaneWidthFour;
  chosen_lane_width.store(set, std::memory_order_relaxed);
  return set;
}
