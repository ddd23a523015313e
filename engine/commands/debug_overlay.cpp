// TSorrel2D, TUtility and TDebug (engine/commands/debug_overlay.h). The inspector
// reaches entities through the commands, as a program would, and places its marker
// on the entity's own bounding sphere (TEntity::BoundingSphere).
//
// Sections: text and pointer, easing, inspector (selection, pages, marker sphere).
#include "engine/commands/debug_overlay.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <limits>

#include "engine/commands/commands.h"
#include "engine/mesh/mesh.h"
#include "engine/scene/camera.h"
#include "engine/scene/entity.h"
#include "platform/gl.h"
#include "platform/input.h"
#include "platform/text.h"

// ---- Text and pointer ---------------------------------------------------------------

int TSorrel2D::last_mouse_x = 0;
int TSorrel2D::last_mouse_y = 0;

int TSorrel2D::Text(int x, int y, const std::string& text) {
  glMatrixMode(GL_TEXTURE);  // on the unit active on entry
  glLoadIdentity();
  GlActiveTexture(GL_TEXTURE0);
  GlClientActiveTexture(GL_TEXTURE0);
  glEnable(GL_TEXTURE_2D);
  glDisable(GL_LIGHTING);
  glColor3f(1, 1, 1);
  glEnable(GL_BLEND);
  GLDrawText(text, x, y);
  glDisable(GL_BLEND);
  glEnable(GL_LIGHTING);
  glDisable(GL_TEXTURE_2D);
  return 0;
}

namespace {

// The pointer is fed from outside; a jump across the whole int range must not overflow.
int Movement(int now, int before) {
  const int64_t moved = int64_t{now} - int64_t{before};
  return static_cast<int>(std::clamp<int64_t>(moved, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

}  // namespace

int TSorrel2D::MouseXSpeed() {
  const int speed = Movement(MouseX(), last_mouse_x);
  last_mouse_x = MouseX();
  return speed;
}

int TSorrel2D::MouseYSpeed() {
  const int speed = Movement(MouseY(), last_mouse_y);
  last_mouse_y = MouseY();
  return speed;
}

// ---- Easing -------------------------------------------------------------------------

float TUtility::UpdateValue(float current, float target, float rate) { return current + (target - current) * rate; }

// ---- Inspector ----------------------------------------------------------------------

int TDebug::cno = 0;
int TDebug::info = 1;
int TDebug::bsphere = 0;
MeshPtr TDebug::sphere;

namespace {

constexpr float kSnap = 0.0001f;  // page 1 shows values this close to 0 as 0
constexpr int kLineHeight = 20;
constexpr int kTitleY = 80;
constexpr int kPageY = 120;
constexpr int kMatrixY = 400;
constexpr int kMatrixColumnWidth = 100;
constexpr int kSphereSegments = 8;

std::string FloatText(float value) {
  char text[32];
  std::snprintf(text, sizeof text, "%#.9g", static_cast<double>(value));
  return text;
}

float Snapped(float value) { return value > -kSnap && value < kSnap ? 0.0f : value; }

// Descendant n (from 1, depth first), or the entity itself for 0 and for an n that
// the subtree no longer has.
EntityPtr Selection(const EntityPtr& entity, int n) {
  if (n <= 0) return entity;
  int counter = 0;
  EntityPtr descendant = entity->GetChildFromAll(n, counter);
  return descendant ? descendant : entity;
}

}  // namespace

int TDebug::DebugEntity(const EntityPtr& entity, const CameraPtr& camera) {
  if (!entity) return 0;
  velmora::EntityColor(Selection(entity, cno), 255, 255, 255);

  // In 64 bits: a program may have set cno to anything.
  int64_t index = cno;
  if (KeyHit(kKeyNext)) ++index;
  if (KeyHit(kKeyPrevious)) --index;
  cno = static_cast<int>(std::clamp<int64_t>(index, 0, TEntity::CountAllChildren(entity.get())));

  const EntityPtr selected = Selection(entity, cno);
  velmora::EntityColor(selected, 255, 0, 0);
  TSorrel2D::Text(0, kTitleY, std::to_string(cno) + ". " + selected->name + " (" + selected->class_name + ")");

  if (KeyHit(kKeyPage1)) info = 1;
  if (KeyHit(kKeyPage2)) info = 2;
  if (KeyHit(kKeyPage3)) info = 3;
  if (KeyHit(kKeySphere)) bsphere = 1 - bsphere;

  switch (info) {
    case 1: Info1(selected); break;
    case 2: Info2(selected); break;
    case 3: Info3(selected, camera); break;
    default: break;
  }
  BoundingSphere(selected);
  return 0;
}

int TDebug::Info1(const EntityPtr& entity) {
  if (!entity) return 0;
  struct Line {
    int y;
    const char* label;
    float (TEntity::*value)(int) const;
    int global;
  };
  static constexpr Line kLines[] = {
      {120, "X (g): ", &TEntity::EntityX, 1},     {140, "Y: ", &TEntity::EntityY, 1},
      {160, "Z: ", &TEntity::EntityZ, 1},         {180, "Pitch: ", &TEntity::EntityPitch, 1},
      {200, "Yaw: ", &TEntity::EntityYaw, 1},     {220, "Roll: ", &TEntity::EntityRoll, 1},
      {260, "X (l): ", &TEntity::EntityX, 0},     {280, "Y: ", &TEntity::EntityY, 0},
      {300, "Z: ", &TEntity::EntityZ, 0},         {320, "Pitch: ", &TEntity::EntityPitch, 0},
      {340, "Yaw: ", &TEntity::EntityYaw, 0},     {360, "Roll: ", &TEntity::EntityRoll, 0},
  };
  const TEntity& e = *entity;
  for (const Line& line : kLines) {
    TSorrel2D::Text(0, line.y, line.label + FloatText(Snapped((e.*line.value)(line.global))));
  }
  for (int row = 0; row < 4; ++row) {
    for (int column = 0; column < 4; ++column) {
      TSorrel2D::Text(column * kMatrixColumnWidth, kMatrixY + row * kLineHeight,
                      FloatText(Snapped(e.matrix.grid[column][row])));
    }
  }
  return 0;
}

int TDebug::Info2(const EntityPtr& entity) {
  const MeshPtr mesh = TMesh::MeshOf(entity);
  if (!mesh) {
    TSorrel2D::Text(0, kPageY, "Entity is not a mesh!");
    return 0;
  }
  const float values[] = {static_cast<float>(mesh->CountSurfaces()), static_cast<float>(mesh->CountVertices()),
                          static_cast<float>(mesh->CountTriangles()), mesh->MeshWidth(), mesh->MeshHeight(),
                          mesh->MeshDepth()};
  const char* labels[] = {"Surfaces: ", "Vertices: ", "Triangles: ", "Mesh Width: ", "Mesh Height: ", "Mesh Depth: "};
  for (int i = 0; i < 6; ++i) TSorrel2D::Text(0, kPageY + i * kLineHeight, labels[i] + FloatText(values[i]));
  return 0;
}

int TDebug::Info3(const EntityPtr& entity, const CameraPtr& camera) {
  if (!camera) {
    TSorrel2D::Text(0, kPageY, "Camera entity not specified!");
    return 0;
  }
  TSorrel2D::Text(0, kPageY, "EntityInView: " + FloatText(camera->EntityInView(entity)));
  return 0;
}

int TDebug::BoundingSphere(const EntityPtr& entity) {
  // A freed marker (a program may free every entity) is as good as none.
  if (!sphere || sphere->IsFreed()) sphere = TMesh::CreateSphere(kSphereSegments, nullptr);
  if (bsphere == 0 || !entity) {
    velmora::HideEntity(sphere);
    return 0;
  }
  velmora::ShowEntity(sphere);
  velmora::EntityAlpha(sphere, 0.75f);
  velmora::EntityColor(sphere, 255, 255, 0);

  // The very sphere the frustum test culls by, from the bounds as they are stored: for
  // a mesh the middle of its box in world space and |cull radius| times its largest
  // absolute global scale, so a mirrored mesh (scale -3, 1, 1) gets 3 x, not 1 x.
  const TSphere bounds = entity->BoundingSphere();
  const float radius = bounds.radius;
  velmora::PositionEntity(sphere, bounds.centre.x, bounds.centre.y, bounds.centre.z, 1);
  velmora::ScaleEntity(sphere, radius, radius, radius, 0);
  return 0;
}
