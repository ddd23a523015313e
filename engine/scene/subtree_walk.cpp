// The levels of every SubtreeWalk on a thread, on one stack (see subtree_walk.h).
#include "engine/scene/subtree_walk.h"

std::vector<SubtreeWalk::Level>& SubtreeWalk::ThreadLevels() {
  thread_local std::vector<Level> levels;
  return levels;
}
