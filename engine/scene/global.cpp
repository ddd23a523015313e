// World settings, the fixed OpenGL state, anti-aliasing, collision rules and the frame
// pipeline that renders every camera's view.
#include "engine/scene/global.h"

#include <algorithm>
#include <cstdint>

#include "engine/collision/collision.h"
#include "engine/mesh/mesh.h"
#include "engine/mesh/texture.h"
#include "engine/scene/camera.h"
#include "engine/scene/light.h"
#include "platform/gl.h"
#include "platform/runtime.h"

int TGlobal::width = 0;
int TGlobal::height = 0;
int TGlobal::mode = 0;
int TGlobal::depth = 0;
int TGlobal::rate = 0;
float TGlobal::ambient_red = 0.5f;
float TGlobal::ambient_green = 0.5f;
float TGlobal::ambient_blue = 0.5f;
int TGlobal::aa = 0;
int TGlobal::ACSIZE = 0;
int TGlobal::jitter = 0;
float TGlobal::j[kMaxJitterSamples][2] = {};
RenderList TGlobal::render_list;

// ---- Fixed state ------------------------------------------------------------------
// The engine's start-up is static initialisation: the world lists (entities, cameras,
// lights, textures, filters, collision rules), the GL light table and the jitter rows
// are static objects, built once before main.

TGlobal::DisplayOpener TGlobal::display_opener = nullptr;

void TGlobal::Graphics3D(int width_arg, int height_arg, int depth_arg, int mode_arg, int rate_arg) {
  depth = mode_arg == 1 ? depth_arg : 0;  // only mode 1 asks for a colour depth
  width = width_arg;
  height = height_arg;
  mode = mode_arg;
  rate = rate_arg;
  // Back buffer 2, depth buffer 8, accumulation buffer 32 (for AntiAlias).
  constexpr int kDisplayFlags = 2 | 8 | 32;
  if (display_opener) display_opener(width, height, depth, rate, kDisplayFlags);
  GraphicsInit();
}

void TGlobal::GraphicsInit() {
  TTexture::TextureFilter("", kTexColour | kTexMipmapped);  // "" matches every file
  GlInitEntryPoints();  // GLEW and the multitexture calls of the current context
  EnableStates();
  glLightModeli(GL_LIGHT_MODEL_COLOR_CONTROL, GL_SEPARATE_SPECULAR_COLOR);
  glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, 1);
  glClearDepth(1.0);
  glDepthFunc(GL_LEQUAL);
  glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
  glAlphaFunc(GL_GEQUAL, 0.5f);  // masked layers keep fragments of alpha 0.5 and above
}

void TGlobal::EnableStates() {
  glEnable(GL_LIGHTING);
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_FOG);  // each camera switches it for its own pass
  glEnable(GL_CULL_FACE);
  glEnable(GL_SCISSOR_TEST);  // on for good: a camera's clear stays inside its viewport
  glEnable(GL_NORMALIZE);
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_COLOR_ARRAY);
  glEnableClientState(GL_NORMAL_ARRAY);
}

int TGlobal::GlBottomY(int top, int rows) {
  // Unsigned arithmetic wraps by definition, and the conversion back is modular.
  return static_cast<int>(static_cast<uint32_t>(height) - static_cast<uint32_t>(rows) - static_cast<uint32_t>(top));
}

void TGlobal::AmbientLight(float red, float green, float blue) {
  ambient_red = red / 255.0f;
  ambient_green = green / 255.0f;
  ambient_blue = blue / 255.0f;
}

void TGlobal::Wireframe(int flag) { glPolygonMode(GL_FRONT_AND_BACK, flag != 0 ? GL_LINE : GL_FILL); }

// ---- Anti-aliasing ----------------------------------------------------------------

namespace {

struct JitterTable {
  int samples;
  float xy[kMaxJitterSamples][2];  // sub-pixel offsets, 0..1, in pass order
};

constexpr float F(int n, int d) { return float(double(n) / double(d)); }

// The classic accumulation-buffer jitter patterns: evenly spread sample positions
// inside one pixel for each supported count.
constexpr JitterTable kJitterTables[] = {
    {2, {{0.25f, 0.75f}, {0.75f, 0.25f}}},
    {3, {{0.5033923f, 0.8317967f}, {0.7806016f, 0.2504381f}, {0.2261829f, 0.4131553f}}},
    {4, {{0.375f, 0.25f}, {0.125f, 0.75f}, {0.875f, 0.25f}, {0.625f, 0.75f}}},
    {5, {{0.5f, 0.5f}, {0.3f, 0.1f}, {0.7f, 0.9f}, {0.9f, 0.3f}, {0.1f, 0.7f}}},
    {6,
     {{F(46, 99), F(46, 99)}, {F(13, 99), F(79, 99)}, {F(53, 99), F(86, 99)}, {F(86, 99), F(53, 99)},
      {F(79, 99), F(13, 99)}, {F(20, 99), F(20, 99)}}},
    {8,
     {{F(9, 16), F(7, 16)}, {F(1, 16), F(15, 16)}, {F(5, 16), F(11, 16)}, {F(11, 16), F(13, 16)},
      {F(13, 16), F(3, 16)}, {F(15, 16), F(9, 16)}, {F(7, 16), F(1, 16)}, {F(3, 16), F(5, 16)}}},
    {9,
     {{F(9, 18), F(9, 18)}, {F(3, 18), F(17, 18)}, {F(9, 18), F(3, 18)}, {F(9, 18), F(15, 18)},
      {F(3, 18), F(5, 18)}, {F(15, 18), F(7, 18)}, {F(3, 18), F(11, 18)}, {F(15, 18), F(13, 18)},
      {F(15, 18), F(1, 18)}}},
    {12,
     {{F(5, 12), F(5, 8)}, {F(11, 12), F(7, 8)}, {F(3, 12), F(3, 8)}, {F(5, 12), F(1, 8)},
      {F(9, 12), F(1, 8)}, {F(1, 12), F(1, 8)}, {F(9, 12), F(5, 8)}, {F(3, 12), F(7, 8)},
      {F(7, 12), F(3, 8)}, {F(11, 12), F(3, 8)}, {F(1, 12), F(5, 8)}, {F(7, 12), F(7, 8)}}},
    {16,
     {{F(3, 8), F(7, 16)}, {F(5, 8), F(1, 16)}, {F(7, 8), F(3, 16)}, {F(1, 8), F(1, 16)},
      {F(3, 8), F(11, 16)}, {F(7, 8), F(7, 16)}, {F(5, 8), F(9, 16)}, {F(3, 8), F(15, 16)},
      {F(5, 8), F(5, 16)}, {F(1, 8), F(9, 16)}, {F(1, 8), F(13, 16)}, {F(3, 8), F(3, 16)},
      {F(7, 8), F(15, 16)}, {F(7, 8), F(11, 16)}, {F(1, 8), F(5, 16)}, {F(5, 8), F(13, 16)}}},
};

const JitterTable* FindJitterTable(int samples) {
  for (const JitterTable& t : kJitterTables)
    if (t.samples == samples) return &t;
  return nullptr;
}

// glClear of the accumulation buffer and glAccum honour the scissor box, which the
// last camera left around its own viewport; the sum must cover the whole window.
template <class Op>
void OverWholeWindow(Op op) {
  glDisable(GL_SCISSOR_TEST);
  op();
  glEnable(GL_SCISSOR_TEST);
}

}  // namespace

void TGlobal::AntiAlias(int samples) {
  if (samples == 0) {
    aa = 0;
    return;
  }
  const JitterTable* table = FindJitterTable(samples == 1 ? 2 : samples);
  if (!table) {
    aa = 0;
    ACSIZE = 0;
    return;
  }
  if (!GlHasAccumBuffer()) {
    // Passes with nowhere to sum them would leave only the last, shifted one.
    DebugLog("AntiAlias: the graphics context has no accumulation buffer; anti-aliasing stays off");
    aa = 0;
    return;
  }
  aa = 1;
  ACSIZE = table->samples;
  for (int row = 0; row < ACSIZE; ++row) {
    j[row][0] = table->xy[row][0];
    j[row][1] = table->xy[row][1];
  }
}

// ---- Collision rules --------------------------------------------------------------

void TGlobal::Collisions(int src_type, int dest_type, int method, int response) {
  TCollision rule;
  rule.src_type = src_type;
  rule.dest_type = dest_type;
  rule.method = method;
  rule.response = response;
  TCollision::list.push_back(rule);
}

void TGlobal::ClearCollisions() { TCollision::list.clear(); }

// ---- The frame --------------------------------------------------------------------

void TGlobal::RenderWorld() {
  if (aa != 0) {
    RenderWorldAA();
    return;
  }
  RenderCameras();
}

void TGlobal::RenderWorldAA() {
  const int passes = std::min(ACSIZE, kMaxJitterSamples);
  if (passes < 1) {  // aa switched on by hand without a table: one plain pass
    RenderCameras();
    return;
  }
  OverWholeWindow([] { glClear(GL_ACCUM_BUFFER_BIT); });
  for (jitter = 0; jitter < passes; ++jitter) {
    RenderCameras();
    OverWholeWindow([passes] { glAccum(GL_ACCUM, 1.0f / float(passes)); });  // every pass weighs the same
  }
  jitter = 0;
  OverWholeWindow([] { glAccum(GL_RETURN, 1.0f); });
  glFlush();
}

void TGlobal::RenderCameras() {
  for (const EntityPtr& e : TCamera::cam_list) {
    auto& camera = static_cast<TCamera&>(*e);
    if (camera.EntityHidden() != 1) RenderCamera(camera);
  }
}

void TGlobal::RenderCamera(TCamera& camera) {
  if (!camera.HasViewport()) return;  // a collapsed canvas: nothing to draw into
  camera.Update();          // viewport, clear, fog, projection, view matrix, frustum planes
  UpdateLights();           // every light takes its GL light in this camera's view
  BuildRenderList(camera);  // the visible meshes, faded, in draw order
  UpdateSprites(camera, render_list);  // the listed sprites turn to face this camera
  DrawRenderList();         // each mesh draws its surfaces
}

void TGlobal::UpdateLights() {
  for (const LightPtr& light : TLight::light_list) light->Update();
}

void TGlobal::BuildRenderList(const TCamera& camera) {
  render_list.Clear();
  for (const EntityPtr& e : TEntity::entity_list) {
    TMesh* mesh = e->AsMesh();
    if (!mesh || mesh->EntityHidden() == 1) continue;
    mesh->GetBounds();
    if (camera.EntityInFrustum(*mesh) == 0.0f) continue;
    if (mesh->auto_fade == 1) AutoFade(camera, e);  // before Alpha: a fading mesh is transparent
    mesh->alpha_depth = mesh->Alpha() != 0 ? camera.EntityDistanceSquared(e) : 0.0f;
    RenderListAdd(mesh, render_list);
  }
}

void TGlobal::DrawRenderList() {
  render_list.ForEachInDrawOrder([](TMesh* mesh) { mesh->Update(); });
}

void RenderList::Clear() {
  positive.clear();  // clear() keeps the storage: no allocation per mesh once grown
  opaque.clear();
  transparent.clear();
  negative.clear();
}

namespace {

// Inserts the mesh in front of the first listed one it draws before. The group is in
// draw order, so those listed meshes form its tail: a binary search finds the place.
template <class DrawsBefore>
void InsertSorted(std::vector<TMesh*>& group, TMesh* mesh, DrawsBefore draws_before) {
  auto at = std::partition_point(group.begin(), group.end(), [&](const TMesh* listed) { return !draws_before(*listed); });
  group.insert(at, mesh);
}

}  // namespace

void TGlobal::RenderListAdd(TMesh* mesh, RenderList& list) {
  const TMesh& m = *mesh;
  if (m.order > 0) {
    InsertSorted(list.positive, mesh, [&](const TMesh& listed) { return m.order >= listed.order; });
  } else if (m.order < 0) {
    InsertSorted(list.negative, mesh, [&](const TMesh& listed) { return m.order > listed.order; });
  } else if (m.alpha_depth > 0.0f) {  // one standing exactly at the camera sorts as opaque
    InsertSorted(list.transparent, mesh, [&](const TMesh& listed) { return m.alpha_depth > listed.alpha_depth; });
  } else {
    list.opaque.push_back(mesh);
  }
}

void TGlobal::AutoFade(const TCamera& camera, const EntityPtr& entity) {
  const float d = camera.EntityDistance(entity);
  const float near_dist = entity->fade_near, far_dist = entity->fade_far;
  if (d <= near_dist) {
    entity->fade_amount = 0.0f;
  } else if (d < far_dist) {
    entity->fade_amount = (d - near_dist) / (far_dist - near_dist);
  } else {
    entity->fade_amount = 1.0f;
  }
}
