// The lane width and the octree build's thread count for a whole run of the collision
// tests, from the environment: tests/CMakeLists.txt runs them again under each, so that
// every pick, sweep and octree test also checks the widths and thread counts this
// processor would not pick. Unset, the engine chooses as it does for a program.
//   VELMORA_TEST_LANES           1 (the scalar tests alone), 4 or 8
//   VELMORA_TEST_OCTREE_THREADS  1..8, whatever the mesh's size
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "engine/collision/octree.h"
#include "engine/math/lanes.h"

namespace collision_test {
namespace {

class RunChoices : public ::testing::Environment {
 public:
  void SetUp() override {
    if (const char* lanes = std::getenv("VELMORA_TEST_LANES")) {
      const LaneWidth width = SetLaneWidth(LaneWidth(std::atoi(lanes)));
      std::printf("lane width %d\n", int(width));  // 8 asked of a processor without it runs at 4
    }
    if (const char* threads = std::getenv("VELMORA_TEST_OCTREE_THREADS")) {
      TOctree::SetBuildThreads(std::atoi(threads));
      std::printf("octree build threads %s\n", threads);
    }
  }
};

[[maybe_unused]] ::testing::Environment* const run_choices = ::testing::AddGlobalTestEnvironment(new RunChoices);

}  // namespace
}  // namespace collision_test
