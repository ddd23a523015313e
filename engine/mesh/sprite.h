// TSprite: a mesh of one textured square (corners at -1..1) that turns to face the
// camera. Each camera pass rebuilds its sprite_matrix (TGlobal::UpdateSprites) from the
// camera's world angles, the sprite's position and parent and its own angle, scale,
// handle and view mode; drawing then uses that matrix instead of the entity matrix
// (DrawMatrix).
#pragma once

#include <string>

#include "engine/mesh/mesh.h"

// TSprite::view_mode.
enum SpriteFacing : int {
  kSpriteFaceCamera = 1,  // the camera's pitch and yaw, no roll
  kSpriteFree = 2,        // the entity matrix: RotateEntity turns it
  kSpriteCameraAxes = 3,  // the camera's whole orientation, roll included
  kSpriteUpright = 4,     // the camera's yaw and roll, no pitch
};

// The angles of one TGlobal::UpdateSprites pass: the camera's world angles, and the
// working angles, which persist from sprite to sprite, so a sprite of an unknown view
// mode takes whatever the previous one used (zero for the first).
struct TSpriteFacing {
  float cam_pitch = 0, cam_yaw = 0, cam_roll = 0;
  float pitch = 0, yaw = 0, roll = 0;
};

class TSprite : public TMesh {
 public:
  float sprite_angle = 0;  // degrees of roll on top of the facing rotation
  float sprite_scale_x = 1, sprite_scale_y = 1;
  float handle_x = 0, handle_y = 0;  // in units of the unscaled square, subtracted after scaling
  int view_mode = kSpriteFaceCamera;

  // One square of four white vertices and two triangles, no surface brush, full-bright.
  static SpritePtr CreateSprite(const EntityPtr& parent = nullptr);
  // The same, textured with the image (null layer when it does not load) and drawn
  // additively unless flags holds the alpha flag.
  static SpritePtr LoadSprite(const std::string& file, int flags = 1, const EntityPtr& parent = nullptr);
  void RotateSprite(float angle) { sprite_angle = angle; }
  void ScaleSprite(float x, float y) { sprite_scale_x = x, sprite_scale_y = y; }
  void HandleSprite(float x, float y) { handle_x = x, handle_y = y; }
  void SpriteViewMode(int mode) { view_mode = mode; }  // any value; unknown ones see UpdateSprites

  const TMatrix& DrawMatrix() const override { return sprite_matrix; }
  // Rebuilds sprite_matrix for the camera whose angles facing holds.
  void FaceCamera(TSpriteFacing& facing) override;

 protected:
  // A copy shares the surfaces with this sprite; the animation state, bounds and
  // octree are the new sprite's own defaults.
  EntityPtr StartCopy() const override;
  void FinishCopy(const EntityPtr& copy, const EntityPtr& parent) const override;
};
