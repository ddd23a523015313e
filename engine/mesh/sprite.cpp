// Sprites: creation, loading from an image, copies that share the square, and the
// per-camera facing matrix (TGlobal::UpdateSprites).
#include "engine/mesh/sprite.h"

#include "engine/mesh/brush.h"
#include "engine/mesh/surface.h"
#include "engine/mesh/texture.h"
#include "engine/scene/camera.h"
#include "engine/scene/global.h"

SpritePtr TSprite::CreateSprite(const EntityPtr& parent) {
  auto sprite = std::make_shared<TSprite>();
  sprite->Attach("Sprite", parent);
  SurfacePtr s = sprite->CreateSurface();
  s->AddVertex(-1, -1, 0, 0, 1);
  s->AddVertex(-1, 1, 0, 0, 0);
  s->AddVertex(1, 1, 0, 1, 0);
  s->AddVertex(1, -1, 0, 1, 1);
  s->AddTriangle(0, 1, 2);
  s->AddTriangle(0, 2, 3);
  sprite->EntityFX(kFxFullBright);  // the square has no normals to light
  return sprite;
}

SpritePtr TSprite::LoadSprite(const std::string& file, int flags, const EntityPtr& parent) {
  SpritePtr sprite = CreateSprite(parent);
  // An image that does not load gives a null texture: the layer stays empty and the
  // sprite draws untextured.
  sprite->EntityTexture(TTexture::LoadTexture(file, flags), 0, 0);
  if ((flags & kTexAlpha) == 0) sprite->EntityBlend(kBlendAdd);
  return sprite;
}

EntityPtr TSprite::StartCopy() const { return std::make_shared<TSprite>(); }

void TSprite::FinishCopy(const EntityPtr& copy_entity, const EntityPtr& parent) const {
  auto* copy = static_cast<TSprite*>(copy_entity.get());
  copy->CopyBaseFields(*this);
  copy->auto_fade = auto_fade, copy->fade_near = fade_near, copy->fade_far = fade_far;
  copy->collision_type = collision_type;
  copy->brush = brush->Copy();
  copy->surfaces = surfaces;  // the same square: editing one edits both
  copy->sprite_matrix = sprite_matrix;
  copy->sprite_angle = sprite_angle;
  copy->sprite_scale_x = sprite_scale_x, copy->sprite_scale_y = sprite_scale_y;
  copy->handle_x = handle_x, copy->handle_y = handle_y;
  copy->view_mode = view_mode;
  copy->PlaceCopy(parent);
}

void TGlobal::UpdateSprites(const TCamera& camera, const RenderList& list) {
  TSpriteFacing facing;
  facing.cam_pitch = camera.EntityPitch(1), facing.cam_yaw = camera.EntityYaw(1);
  facing.cam_roll = camera.EntityRoll(1);
  list.ForEachInDrawOrder([&](TMesh* mesh) { mesh->FaceCamera(facing); });
}

void TSprite::FaceCamera(TSpriteFacing& f) {
  TMatrix& m = sprite_matrix;
  if (view_mode == kSpriteFree) {
    m.Overwrite(matrix);
    return;
  }
  switch (view_mode) {
    case kSpriteFaceCamera: f.pitch = f.cam_pitch, f.yaw = f.cam_yaw, f.roll = 0; break;
    case kSpriteCameraAxes: f.pitch = f.cam_pitch, f.yaw = f.cam_yaw, f.roll = f.cam_roll; break;
    case kSpriteUpright: f.pitch = 0, f.yaw = f.cam_yaw, f.roll = f.cam_roll; break;
    default: break;
  }
  float sx = sprite_scale_x, sy = sprite_scale_y;
  if (parent) {
    // Start from the parent's world matrix and take its turn and scale back out, so
    // the sprite still faces the camera at its own size. The parent's roll stays.
    f.pitch -= parent->EntityPitch(1);
    f.yaw -= parent->EntityYaw(1);
    f.roll = 0;
    sx /= EntityScaleX(1);
    sy /= EntityScaleY(1);
    m.Overwrite(parent->matrix);
  } else {
    m.LoadIdentity();
  }
  m.Translate(pos_x, pos_y, pos_z);
  m.RotateYaw(f.yaw);
  m.RotatePitch(-f.pitch);
  m.RotateRoll(f.roll + sprite_angle);
  m.Scale(sx, sy, 1.0f);
  m.Translate(-handle_x, -handle_y, 0);
}
