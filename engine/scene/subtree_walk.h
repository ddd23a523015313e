// SubtreeWalk: visits the descendants of an entity depth first, each before its own
// children and children in attach order, the order a recursion over the child lists
// takes, but on a stack of its own: a hierarchy built through the commands may be any
// depth, and a thread's stack holds only some thousands of recursive calls.
//
// After each visit the caller says whether the walk goes below that entity (Descend),
// where a recursion would have called itself. The levels live on one stack per thread,
// reused from walk to walk (a walk started inside another stands above it), so a walk
// allocates nothing once that stack has grown to the deepest hierarchy walked.
//
// The walk steps along the child lists' links as they stand: while it runs, neither the
// caller nor anything the caller sets off may add to or remove from the child lists of
// the subtree (every walk of the engine only reads them, or changes other lists).
#pragma once

#include <cstddef>
#include <vector>

#include "engine/scene/entity.h"

class SubtreeWalk {
 public:
  explicit SubtreeWalk(const TEntity* root) : levels_(ThreadLevels()), base_(levels_.size()) {
    Enter(const_cast<TEntity*>(root));
  }
  ~SubtreeWalk() { levels_.erase(levels_.begin() + std::ptrdiff_t(base_), levels_.end()); }
  SubtreeWalk(const SubtreeWalk&) = delete;
  SubtreeWalk& operator=(const SubtreeWalk&) = delete;

  // Steps to the next entity; false at the end.
  bool Next() {
    while (levels_.size() > base_) {
      Level& level = levels_.back();
      level.at = level.stepped ? level.parent->children.NextLink(level.at) : level.parent->children.FirstLink();
      level.stepped = true;
      if (level.at) return true;
      levels_.pop_back();
    }
    return false;
  }
  // The entity stepped to and the entity whose child list holds it.
  const EntityPtr& Current() const { return levels_.back().at->value; }
  TEntity* Parent() const { return levels_.back().parent; }
  // The walk goes through the current entity's children next.
  void Descend() { Enter(Current().get()); }
  // The walk skips the current entity's later siblings and goes on one level up.
  void Leave() {
    if (levels_.size() > base_) levels_.pop_back();
  }
  // Levels open below the root: 1 while stepping through the root's own children.
  size_t Depth() const { return levels_.size() - base_; }

 private:
  struct Level {
    TEntity* parent;
    TEntity::List::Link* at;  // the child stepped to last
    bool stepped;             // false until the first step into parent's children
  };
  static std::vector<Level>& ThreadLevels();
  void Enter(TEntity* parent) { levels_.push_back({parent, nullptr, false}); }

  std::vector<Level>& levels_;  // the thread's; this walk's start at base_
  size_t base_;
};
