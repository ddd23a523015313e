// TLight: a directional, point or spot light on one of OpenGL's fixed-function lights,
// shining along its own public +z axis. Each live light holds one of kMaxLights slots
// (created lights and copies alike; a ninth is not made). Which GL light serves which
// light is decided afresh by every Update, so Update sends the GL light's whole state:
// a light looks the same whichever GL light it lands on.
#pragma once

#include "engine/scene/entity.h"

// Fixed-function OpenGL guarantees eight lights (GL_MAX_LIGHTS is at least 8), and the
// engine never uses more, so a scene lights the same on every implementation.
constexpr int kMaxLights = 8;

// TLight::light_type.
enum LightType : int { kLightDirectional = 1, kLightPoint = 2, kLightSpot = 3 };

class TLight : public TEntity {
 public:
  // ---- Fields -------------------------------------------------------------------
  int light_type = 0;        // up to 1: directional; above 1: point; 3: spot
  float inv_range = 0.001f;  // 1 / range: linear attenuation; 0: no attenuation
  float red = 1.0f, green = 1.0f, blue = 1.0f;  // 0..1
  float inner_half_angle = 0.0f;  // degrees; kept and copied, not drawn
  float outer_half_angle = 45.0f;  // degrees; the spot cut-off

  // ---- Class state --------------------------------------------------------------
  static int light_no;   // 1-based GL light the next Update takes, cycling 1..no_lights
  static int no_lights;  // slots in use: one per live light
  static constexpr int max_lights = kMaxLights;
  static const int gl_light[kMaxLights];  // GL_LIGHT0 .. GL_LIGHT7 by slot
  static TList<TLight> light_list;        // every live light, in creation order

  // ---- Lifetime -----------------------------------------------------------------
  // Null when all kMaxLights slots are taken.
  static LightPtr CreateLight(int light_type = kLightDirectional, const EntityPtr& parent = nullptr);
  // Sets up the next GL light for this light under the current view matrix; a hidden
  // light (or one under a hidden parent) switches that GL light off instead.
  void Update() override;

  // ---- Settings -----------------------------------------------------------------
  void LightRange(float range);  // 0 or below: no attenuation with distance
  void LightColor(float red, float green, float blue);  // 0..255
  void LightConeAngles(float inner, float outer);        // whole cone angles, degrees

 protected:
  // Null, like CreateLight, when no slot is free for the copy.
  EntityPtr StartCopy() const override;
  void FinishCopy(const EntityPtr& copy, const EntityPtr& parent) const override;
  void ReleaseKind() override;  // gives back a slot and leaves light_list

 private:
  static int ClaimSlot();  // the slot index, or -1 when all are taken
  int copy_slot_ = -1;     // a copy's slot, claimed before its children are copied
  void SendKindState(int gl_light_id) const;
};
