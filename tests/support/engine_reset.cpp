// Resetting the engine's class-level state between tests.
#include "support/engine_reset.h"

#include "engine/collision/collision.h"
#include "engine/collision/pick.h"
#include "engine/scene/entity.h"
#include "platform/runtime.h"

void ResetEngine() {
  // Free roots first: their subtrees (bones included) go with them.
  while (!TEntity::entity_list.IsEmpty()) {
    EntityPtr e = TEntity::entity_list.First();
    while (e->parent) e = e->GetParent();
    size_t before = TEntity::entity_list.Count();
    e->TEntity::FreeEntity();
    if (TEntity::entity_list.Count() == before) TEntity::entity_list.RemoveLink(TEntity::entity_list.FirstLink());
  }
  TEntity::tformed_x = TEntity::tformed_y = TEntity::tformed_z = 0;
  TCollision::list.clear();
  TPick::picked_ent.reset();
  TPick::picked_surface.reset();
}

void EngineTest::SetUp() {
  SetFatalHandler(ThrowFatalError);
  ResetEngine();
}

void EngineTest::TearDown() { ResetEngine(); }
