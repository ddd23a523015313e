// Debugging and 2D aids over the rendered 3D view: text in the built-in bitmap font
// and the pointer's movement (TSorrel2D, behind the Text, MouseXSpeed and MouseYSpeed
// commands), an easing step (TUtility), and an on-screen entity inspector (TDebug).
//
// Everything draws at once into the current GL context: call after RenderWorld and
// before the buffers are flipped. The classes hold only class-level state.
#pragma once

#include <string>

#include "engine/scene/handles.h"

class TSorrel2D {
 public:
  // Draws text in white with its first glyph's top-left corner at pixel (x, y) of the
  // current viewport, y downward, blended with the current blend function. Leaves the
  // texture matrix current and loaded with the identity, texture unit 0 active (and
  // client-active), lighting on, blending and 2D texturing off, the colour white. 0.
  static int Text(int x, int y, const std::string& text);
  // Pixels the pointer moved right (down) since the previous call of the same
  // function; the first call gives the position itself.
  static int MouseXSpeed();
  static int MouseYSpeed();

  static int last_mouse_x, last_mouse_y;  // read at the end of the previous call; 0 at start
};

class TUtility {
 public:
  // current + (target - current) * rate: rate 0 keeps current, 1 reaches target.
  static float UpdateValue(float current, float target, float rate);
};

// The inspector. Each frame, DebugEntity(entity, camera) lets the user step with "."
// and "," through the entity (index 0) and its descendants (1 to N, depth first),
// paints the selection red (and the one it leaves white, whatever colour it had),
// prints its index, name and class at y 80 and one information page below: "1"
// transform, "2" mesh, "3" view. F1 shows or hides a translucent yellow sphere on the
// selection's culling sphere. Several presses of one key between two frames count once.
class TDebug {
 public:
  static constexpr int kKeyNext = 190;      // "."
  static constexpr int kKeyPrevious = 188;  // ","
  static constexpr int kKeyPage1 = 49;      // "1"
  static constexpr int kKeyPage2 = 50;
  static constexpr int kKeyPage3 = 51;
  static constexpr int kKeySphere = 112;    // F1

  // Null entity: nothing happens. The camera (for page 3) may be null. 0.
  static int DebugEntity(const EntityPtr& entity, const CameraPtr& camera);
  // Global and local position and angles, then the world matrix row by row; values
  // within 0.0001 of 0 show as 0. Nothing for null. 0.
  static int Info1(const EntityPtr& entity);
  // Surface, vertex and triangle counts and the mesh's width, height and depth. 0.
  static int Info2(const EntityPtr& entity);
  // The camera's EntityInView of the entity. 0.
  static int Info3(const EntityPtr& entity, const CameraPtr& camera);
  // Places the marker sphere (creating it the first time) on the entity's culling
  // sphere while bsphere is on; hides it while off or for null. 0.
  static int BoundingSphere(const EntityPtr& entity);

  static int cno;         // selected index: 0 the entity itself, 1..N its descendants
  static int info;        // page shown: 1, 2 or 3; any other value shows none
  static int bsphere;     // 1 shows the marker sphere
  static MeshPtr sphere;  // the marker: an ordinary mesh of the world, never freed
};
