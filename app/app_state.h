// The previewer's state, all in one place: the shell's windows, timer and 27 slot
// buttons, the scene (camera rig, the avatar's three copies, their region surfaces and
// brushes, the slot files and textures, the skirt, the background colour) and the
// mouse and modifier state. One instance, `app`; everything runs on the one thread.
//
// A texture slot is a file, a texture, a brush, a surface and three buttons; SlotsOf
// lists them by reference so the slot actions are written once.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "engine/scene/handles.h"
#include "platform/gui.h"

struct AppState {
  // ---- Shell: windows, timer, buttons ----
  int xres = 500;  // main window; the panel sits at xres + 10
  int yres = 500;
  TimerPtr timer;
  GadgetPtr window;
  GadgetPtr panel;   // created once and never referred to again
  GadgetPtr canvas;  // repainted on every tick; owns the GL context
  GadgetPtr bHeadBTex, bHeadBRel, bHeadBDel;
  GadgetPtr bHeadATex, bHeadARel, bHeadADel;
  GadgetPtr bUpperBTex, bUpperBRel, bUpperBDel;
  GadgetPtr bUpper1Tex, bUpper1Rel, bUpper1Del;
  GadgetPtr bUpper2Tex, bUpper2Rel, bUpper2Del;
  GadgetPtr bLowerBTex, bLowerBRel, bLowerBDel;
  GadgetPtr bLower1Tex, bLower1Rel, bLower1Del;
  GadgetPtr bLower2Tex, bLower2Rel, bLower2Del;
  GadgetPtr bSkirtTex, bSkirtRel, bSkirtDel;

  // ---- Scene ----
  std::string gender;  // "F" or "M"; "" before the first Setup3D
  CameraPtr camera;    // child of camPivot
  LightPtr light;      // child of camera
  PivotPtr camPivot;   // the point the camera orbits and pans
  MeshPtr figureB, figure1, figure2;  // base copy and overlay copies 1 and 2
  MeshPtr skirt;                      // null while hidden
  SurfacePtr surfHeadB, surfUpperB, surfLowerB;
  SurfacePtr surfHead1, surfUpper1, surfLower1;
  SurfacePtr surfHead2, surfUpper2, surfLower2;
  BrushPtr brushHeadB, brushUpperB, brushLowerB;
  BrushPtr brushHead1, brushUpper1, brushLower1;
  BrushPtr brushHead2, brushUpper2, brushLower2;
  TexturePtr texHeadB, texHeadA, texUpperB, texUpper1, texUpper2, texLowerB, texLower1, texLower2, texSkirt;
  std::string fileHeadB, fileHeadA, fileUpperB, fileUpper1, fileUpper2, fileLowerB, fileLower1, fileLower2,
      fileSkirt;
  int color_R = 0, color_G = 0, color_B = 0;  // background, 0..255

  // ---- Mouse and modifiers ----
  int mouse_down = 0;  // 0 none, 1 left, 2 right, 3 middle
  int mouse_X = 0, mouse_Y = 0;    // last pointer position on the canvas
  int mouse_dX = 0, mouse_dY = 0;  // movement of the last MouseMove
  int shift_key = 0, ctrl_key = 0;  // left Shift, left Control held
};

extern AppState app;

// Back to the start values (tests; the program never needs it).
void ResetAppState();

enum class Region { Head, Upper, Lower, Skirt };

// One texture slot's parts, by reference into `app`.
struct SlotRefs {
  Region region;
  std::string* file;
  TexturePtr* texture;
  BrushPtr* brush;      // null for the skirt, whose texture goes on the skirt entity
  SurfacePtr* surface;  // null for the skirt
  GadgetPtr* file_button;
  GadgetPtr* reload_button;
  GadgetPtr* clear_button;
  int load_flags;  // 1 colour for base slots, 2 alpha for overlays and the skirt
  bool overlay;    // shown through its brush's alpha: 0 while empty, 1 once chosen
};

// The nine slots in panel order: head base, head overlay, upper base, upper overlays
// 1 and 2, lower base, lower overlays 1 and 2, skirt.
const std::array<SlotRefs, 9>& Slots();
std::vector<SlotRefs> SlotsOf(Region region);

// Slots that load one file with the same flags get one texture object from the
// engine's cache, and FreeTexture empties that object for every holder. So a slot lets
// go of its texture through ReleaseSlotTexture, which frees it only when no other slot
// holds it, and the slot's texture is null afterwards.
bool HeldBySlot(const TexturePtr& texture);
std::vector<SlotRefs> OtherHolders(const SlotRefs& slot);  // slots sharing its texture
void ReleaseSlotTexture(const SlotRefs& slot);

// 1-based position of `part` in `text` from `start`, 0 when absent (case-sensitive).
int Instr(const std::string& text, const std::string& part, int start);
// Index from 0 of the last `part` in `text`, -1 when absent.
int FindLast(const std::string& text, const std::string& part);
