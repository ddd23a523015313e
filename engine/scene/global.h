// TGlobal: the world's settings and the frame operations. No instances: class-level
// variables hold the graphics size and mode, the ambient light and the anti-aliasing
// state; class functions set the fixed OpenGL state, keep the collision rules and render
// a frame (every visible camera in cam_list order: camera set-up, lights, render list,
// drawing).
#pragma once

#include <vector>

#include "engine/scene/handles.h"

// The largest jitter table: at most this many accumulation passes per frame.
constexpr int kMaxJitterSamples = 16;

// The meshes one camera draws, by group. Each group is kept so that adding the common
// case (an opaque mesh) is an append, and the groups keep their storage from frame to
// frame. Raw pointers: the world list owns the meshes for the whole camera pass.
struct RenderList {
  std::vector<TMesh*> positive;     // order > 0: highest first, the newest first among equals
  std::vector<TMesh*> opaque;       // order 0, opaque: oldest first here, drawn newest first
  std::vector<TMesh*> transparent;  // order 0, blended: far to near, the newest last at one depth
  std::vector<TMesh*> negative;     // order < 0: -1 first, the newest last among equals

  void Clear();
  // Calls f(TMesh*) for every mesh in draw order.
  template <class F>
  void ForEachInDrawOrder(F f) const {
    for (TMesh* m : positive) f(m);
    for (auto it = opaque.rbegin(); it != opaque.rend(); ++it) f(*it);
    for (TMesh* m : transparent) f(m);
    for (TMesh* m : negative) f(m);
  }
};

class TGlobal {
 public:
  static int width, height;  // graphics size in pixels; height flips window y to GL y
  static int mode, depth, rate;
  static float ambient_red, ambient_green, ambient_blue;  // 0..1
  static int aa;        // 1: RenderWorld accumulates jittered passes
  static int ACSIZE;    // number of accumulation passes
  static int jitter;    // the pass being rendered: the row of j the camera uses
  static float j[kMaxJitterSamples][2];  // sub-pixel jitter (x, y) per pass

  // Opens the engine's own window for Graphics3D: the engine links no GUI toolkit, so a
  // program installs its GUI layer's opener here (OpenEngineDisplay in platform/gui.h).
  // Without one, Graphics3D opens nothing and expects a context to be current already.
  using DisplayOpener = void (*)(int width, int height, int depth, int rate, int flags);
  static DisplayOpener display_opener;
  // Windowed graphics of that size (depth is kept for mode 1 only, else 0), then
  // GraphicsInit. The window has back, depth and accumulation buffers.
  static void Graphics3D(int width, int height, int depth, int mode, int rate);
  // The fixed OpenGL state and the default texture filter (colour + mipmaps for every
  // file). Once, after the program's GL context is current and width/height are set.
  static void GraphicsInit();
  static void EnableStates();
  // GL's y, counted from the bottom, of a rectangle `rows` high whose top edge lies `top`
  // rows below the top of the graphics area: height - rows - top. Any ints may come in
  // (the setters test nothing), so the difference is taken as 32-bit arithmetic wraps,
  // never as an overflow.
  static int GlBottomY(int top, int rows);
  static void AmbientLight(float red, float green, float blue);  // 0..255
  static void Wireframe(int flag);  // non-zero: polygons as lines
  // 0: off. 1 (as 2), 2, 3, 4, 5, 6, 8, 9, 12, 16: that many jittered passes. Any other
  // count, or a context without an accumulation buffer, leaves anti-aliasing off.
  static void AntiAlias(int samples);
  static void Collisions(int src_type, int dest_type, int method, int response);
  static void ClearCollisions();

  // Renders every visible camera; presenting the frame is the caller's.
  static void RenderWorld();
  static void RenderWorldAA();  // the same, averaged over ACSIZE jittered passes
  static void RenderCamera(TCamera& camera);
  // Puts the mesh into the list by draw order: positive orders (highest first), then
  // opaque meshes, then transparent ones (alpha_depth above 0) far to near, then
  // negative orders (-1 first).
  static void RenderListAdd(TMesh* mesh, RenderList& list);
  // Sets the entity's fade_amount from its distance to the camera: 0 up to fade_near,
  // rising linearly to 1 at fade_far.
  static void AutoFade(const TCamera& camera, const EntityPtr& entity);

  // The world step (world_update.cpp): advances and poses every animated entity whose
  // animation is pending, by anim_speed x speed frames. Runs only when a program calls it.
  static void UpdateWorld(float speed = 1.0f);
  // Rebuilds the sprite matrix of every sprite in the list to face the camera, by the
  // sprite's view mode (sprite.cpp). Once per camera, after the list, before the draw.
  static void UpdateSprites(const TCamera& camera, const RenderList& list);

 private:
  static void RenderCameras();
  static void UpdateLights();
  static void BuildRenderList(const TCamera& camera);
  static void DrawRenderList();

  static RenderList render_list;  // the current camera's; kept between frames for its storage only
};
