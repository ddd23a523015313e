// Lights: slots, creation and copies, and the per-camera OpenGL light set-up.
#include "engine/scene/light.h"

#include <cmath>

#include "platform/gl.h"

int TLight::light_no = 0;
int TLight::no_lights = 0;
const int TLight::gl_light[kMaxLights] = {GL_LIGHT0, GL_LIGHT1, GL_LIGHT2, GL_LIGHT3,
                                          GL_LIGHT4, GL_LIGHT5, GL_LIGHT6, GL_LIGHT7};
TList<TLight> TLight::light_list;

namespace {
constexpr float kSpotExponent = 10.0f;   // how sharply a spot's light falls off towards its rim
constexpr float kNoSpotCutoff = 180.0f;  // GL's "not a spot": light in every direction
constexpr float kMaxSpotCutoff = 90.0f;  // GL refuses wider cones and would keep the old one

// The cut-off GL takes for a half angle: a cone of 360 degrees or more lights every
// direction; between a half angle of 90 and 180 GL has no cone, so the widest it has
// stands in; below 0 (or NaN) the narrowest.
float SpotCutoff(float half_angle) {
  if (half_angle >= kNoSpotCutoff) return kNoSpotCutoff;
  if (half_angle > kMaxSpotCutoff) return kMaxSpotCutoff;
  return half_angle > 0.0f ? half_angle : 0.0f;
}
}  // namespace

// ---- Slots and lifetime -----------------------------------------------------------

int TLight::ClaimSlot() {
  if (no_lights >= max_lights) return -1;
  glEnable(GLenum(gl_light[no_lights]));
  return no_lights++;
}

LightPtr TLight::CreateLight(int type, const EntityPtr& parent) {
  const int slot = ClaimSlot();
  if (slot < 0) return nullptr;
  auto light = std::make_shared<TLight>();
  light->light_type = type;
  light->SendKindState(gl_light[slot]);
  light_list.AddLast(light);
  light->Attach("Light", parent);
  return light;
}

EntityPtr TLight::StartCopy() const {
  const int slot = ClaimSlot();  // before the children, which may claim slots of their own
  if (slot < 0) return nullptr;
  auto copy = std::make_shared<TLight>();
  copy->copy_slot_ = slot;
  return copy;
}

void TLight::FinishCopy(const EntityPtr& copy_entity, const EntityPtr& parent) const {
  auto copy = std::static_pointer_cast<TLight>(copy_entity);
  copy->CopyBaseFields(*this);
  copy->PlaceCopy(parent);
  light_list.AddLast(copy);
  copy->light_type = light_type;
  copy->inv_range = inv_range;
  copy->red = red, copy->green = green, copy->blue = blue;
  copy->inner_half_angle = inner_half_angle;
  copy->outer_half_angle = outer_half_angle;
  copy->SendKindState(gl_light[copy->copy_slot_]);
}

void TLight::ReleaseKind() {
  light_list.Remove(this);
  if (no_lights > 0) --no_lights;
  glDisable(GLenum(gl_light[no_lights]));  // the highest slot that was in use
}

// ---- Settings ---------------------------------------------------------------------

void TLight::LightRange(float range) { inv_range = range > 0.0f ? 1.0f / range : 0.0f; }

void TLight::LightColor(float r, float g, float b) {
  red = r / 255.0f;
  green = g / 255.0f;
  blue = b / 255.0f;
}

void TLight::LightConeAngles(float inner, float outer) {
  inner_half_angle = inner / 2.0f;
  outer_half_angle = outer / 2.0f;
}

// ---- Per-camera set-up ------------------------------------------------------------

// Everything about a GL light that depends on the kind rather than on the view. GL
// lights keep what they were last told, and slots pass from light to light, so all of
// it goes out every time.
void TLight::SendKindState(int id) const {
  const GLenum l = GLenum(id);
  const GLfloat white[4] = {1.0f, 1.0f, 1.0f, 1.0f};
  glLightfv(l, GL_SPECULAR, white);

  // Point and spot lights fade as 1 / (distance / range); without a range they do not
  // fade at all (constant 1), never 1 / (0 + inf x 0).
  const bool fades = light_type > kLightDirectional && inv_range > 0.0f && std::isfinite(inv_range);
  const GLfloat constant = fades ? 0.0f : 1.0f;
  const GLfloat linear = fades ? inv_range : 0.0f;
  glLightfv(l, GL_CONSTANT_ATTENUATION, &constant);
  glLightfv(l, GL_LINEAR_ATTENUATION, &linear);

  const bool spot = light_type == kLightSpot;
  const GLfloat exponent = spot ? kSpotExponent : 0.0f;
  const GLfloat cutoff = spot ? SpotCutoff(outer_half_angle) : kNoSpotCutoff;
  glLightfv(l, GL_SPOT_EXPONENT, &exponent);
  glLightfv(l, GL_SPOT_CUTOFF, &cutoff);
}

void TLight::Update() {
  ++light_no;
  if (light_no > no_lights) light_no = 1;
  const GLenum l = GLenum(gl_light[light_no - 1]);
  if (EntityHidden() == 1) {
    glDisable(l);
    return;
  }
  glEnable(l);
  glPushMatrix();
  glMultMatrixf(matrix.data());
  // In the light's own frame: a direction along its axis, or a point at its origin.
  // Stored z is negated, so GL's -z is the light's public forward.
  const GLfloat directional[4] = {0.0f, 0.0f, 1.0f, 0.0f};
  const GLfloat positional[4] = {0.0f, 0.0f, 0.0f, 1.0f};
  glLightfv(l, GL_POSITION, light_type > kLightDirectional ? positional : directional);
  const GLfloat diffuse[4] = {red, green, blue, 1.0f};
  glLightfv(l, GL_DIFFUSE, diffuse);
  const GLfloat forward[3] = {0.0f, 0.0f, -1.0f};
  glLightfv(l, GL_SPOT_DIRECTION, forward);
  SendKindState(int(l));
  glPopMatrix();
}
