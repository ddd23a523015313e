// The levels of every SubtreeWalk on a thread, on one stack. Each level stands on the
// link of the entity it last stepped to, as a recursion's loop would while it calls
// itself for that entity, so the link stays valid while the caller works on it.
#include "engine/scene/subtree_walk.h"

#include <vector>

namespace {

struct Level {
  TEntity* parent;
  TEntity::List::Iterator at;
  bool stepped;  // `at` stands on an entity already visited
};

// Walks started inside a walk (a mesh placing its skeleton while its parent moves)
// stand above it; each walk reaches its own levels through its base index, since the
// stack may move when it grows.
thread_local std::vector<Level> levels;

}  // namespace

SubtreeWalk::SubtreeWalk(const TEntity* root) : base_(levels.size()) {
  auto* parent = const_cast<TEntity*>(root);
  levels.push_back({parent, parent->children.begin(), false});
}

SubtreeWalk::~SubtreeWalk() { levels.resize(base_); }

bool SubtreeWalk::Next() {
  while (levels.size() > base_) {
    Level& level = levels.back();
    if (level.stepped) ++level.at;
    level.stepped = true;
    if (!level.at.AtEnd()) return true;
    levels.pop_back();
  }
  return false;
}

const EntityPtr& SubtreeWalk::Current() const { return *levels.back().at; }

TEntity* SubtreeWalk::Parent() const { return levels.back().parent; }

void SubtreeWalk::Descend() {
  TEntity* entity = Current().get();
  levels.push_back({entity, entity->children.begin(), false});
}

void SubtreeWalk::Leave() {
  if (levels.size() > base_) levels.pop_back();
}

size_t SubtreeWalk::Depth() const { return levels.size() - base_; }
