// SubtreeWalk: visits the descendants of an entity depth first, each before its own
// children and children in attach order, the order a recursion over the child lists
// takes, but on a stack of its own: a hierarchy built through the commands may be any
// depth, and a thread's stack holds only some thousands of recursive calls.
//
// After each visit the caller says whether the walk goes below that entity (Descend),
// where a recursion would have called itself. The levels live on one stack per thread,
// reused from walk to walk (a walk started inside another stands above it), so a walk
// allocates nothing once that stack has grown to the deepest hierarchy walked.
#pragma once

#include <cstddef>

#include "engine/scene/entity.h"

class SubtreeWalk {
 public:
  explicit SubtreeWalk(const TEntity* root);
  ~SubtreeWalk();
  SubtreeWalk(const SubtreeWalk&) = delete;
  SubtreeWalk& operator=(const SubtreeWalk&) = delete;

  // Steps to the next entity; false at the end.
  bool Next();
  // The entity stepped to and the entity whose child list holds it.
  const EntityPtr& Current() const;
  TEntity* Parent() const;
  // The walk goes through the current entity's children next.
  void Descend();
  // The walk skips the current entity's later siblings and goes on one level up.
  void Leave();
  // Levels open below the root: 1 while stepping through the root's own children.
  size_t Depth() const;

 private:
  size_t base_;  // where this walk's levels start on the thread's stack
};
