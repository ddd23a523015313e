// Resetting the engine's class-level state between tests.
#include "support/engine_reset.h"

#include "engine/collision/collision.h"
#include "engine/collision/pick.h"
#include "engine/commands/debug_overlay.h"
#include "engine/mesh/texture.h"
#include "engine/scene/camera.h"
#include "engine/scene/entity.h"
#include "engine/scene/global.h"
#include "engine/scene/light.h"
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
  // Cameras and lights left their lists when freed; clear them anyway, and give back
  // every light slot, so a test never inherits a counter.
  TCamera::cam_list.Clear();
  TCamera::projected_x = TCamera::projected_y = TCamera::projected_z = 0;
  TLight::light_list.Clear();
  TLight::no_lights = 0;
  TLight::light_no = 0;
  TGlobal::width = TGlobal::height = 0;
  TGlobal::mode = TGlobal::depth = TGlobal::rate = 0;
  TGlobal::ambient_red = TGlobal::ambient_green = TGlobal::ambient_blue = 0.5f;
  TGlobal::aa = TGlobal::ACSIZE = TGlobal::jitter = 0;
  for (auto& row : TGlobal::j) row[0] = row[1] = 0.0f;
  TPick::picked_ent.reset();
  TPick::picked_surface.reset();
  TDebug::cno = 0;
  TDebug::info = 1;
  TDebug::bsphere = 0;
  TDebug::sphere.reset();  // freed with the world above
  TSorrel2D::last_mouse_x = TSorrel2D::last_mouse_y = 0;
  // After the entities, so the brushes that held textures are gone first.
  TTexture::tex_list.Clear();
  TTextureFilter::filter_list.Clear();
}

void EngineTest::SetUp() {
  SetFatalHandler(ThrowFatalError);
  ResetEngine();
}

void EngineTest::TearDown() { ResetEngine(); }
