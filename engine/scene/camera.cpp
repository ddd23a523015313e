// Cameras: creation and copies, the per-frame OpenGL set-up, frustum planes and culling,
// and projecting points to the window.
#include "engine/scene/camera.h"

#include <cmath>

#include "engine/commands/commands.h"
#include "engine/math/trig.h"
#include "engine/mesh/mesh.h"
#include "engine/scene/global.h"
#include "platform/gl.h"

TList<TEntity> TCamera::cam_list;
float TCamera::projected_x = 0;
float TCamera::projected_y = 0;
float TCamera::projected_z = 0;

// ---- Lifetime ---------------------------------------------------------------------

CameraPtr TCamera::CreateCamera(const EntityPtr& parent) {
  auto camera = std::make_shared<TCamera>();
  velmora::CameraViewport(camera, 0, 0, TGlobal::width, TGlobal::height);
  camera->Attach("Camera", parent);
  camera->EntityListAdd(cam_list);
  return camera;
}

void TCamera::CopyCameraFields(const TCamera& s) {
  view_x = s.view_x, view_y = s.view_y, view_w = s.view_w, view_h = s.view_h;
  clear_r = s.clear_r, clear_g = s.clear_g, clear_b = s.clear_b;
  clear_color = s.clear_color, clear_depth = s.clear_depth;
  near_clip = s.near_clip, far_clip = s.far_clip;
  zoom = s.zoom;
  fog_mode = s.fog_mode;
  fog_r = s.fog_r, fog_g = s.fog_g, fog_b = s.fog_b;
  fog_near = s.fog_near, fog_far = s.fog_far;
}

EntityPtr TCamera::StartCopy() const { return std::make_shared<TCamera>(); }

void TCamera::FinishCopy(const EntityPtr& copy_entity, const EntityPtr& parent) const {
  auto* copy = static_cast<TCamera*>(copy_entity.get());
  copy->CopyBaseFields(*this);
  copy->PlaceCopy(parent);
  copy->EntityListAdd(cam_list);
  copy->CopyCameraFields(*this);
}

void TCamera::ReleaseKind() { cam_list.Remove(this); }

void TCamera::OrderChanged() {
  if (cam_list.Remove(this)) EntityListAdd(cam_list);  // a freed camera is in no list and stays out
}

// ---- Settings ---------------------------------------------------------------------

void TCamera::CameraViewport(int x, int y, int width, int height) {
  view_x = x;
  view_y = TGlobal::GlBottomY(y, height);
  view_w = width;
  view_h = height;
}

void TCamera::CameraClsColor(float red, float green, float blue) {
  clear_r = red / 255.0f;
  clear_g = green / 255.0f;
  clear_b = blue / 255.0f;
}

void TCamera::CameraClsMode(int color, int depth) {
  clear_color = color;
  clear_depth = depth;
}

void TCamera::CameraRange(float near_dist, float far_dist) {
  near_clip = near_dist;
  far_clip = far_dist;
}

void TCamera::CameraFogColor(float red, float green, float blue) {
  fog_r = red / 255.0f;
  fog_g = green / 255.0f;
  fog_b = blue / 255.0f;
}

void TCamera::CameraFogRange(float near_dist, float far_dist) {
  fog_near = near_dist;
  fog_far = far_dist;
}

// ---- Per-frame set-up -------------------------------------------------------------

void TCamera::Update() {
  // A collapsed canvas (zero width or height) has nothing to show, and its aspect
  // ratio would turn the projection into NaNs; the kept matrices stay as they were.
  if (!HasViewport()) return;

  glViewport(view_x, view_y, view_w, view_h);
  glScissor(view_x, view_y, view_w, view_h);  // the scissor test is always on: clears stay inside
  glClearColor(clear_r, clear_g, clear_b, 1.0f);
  if (clear_color == 1 && clear_depth == 1) {
    glDepthMask(GL_TRUE);  // mesh drawing may have left depth writes off
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  } else if (clear_color == 1) {
    glClear(GL_COLOR_BUFFER_BIT);
  } else if (clear_depth == 1) {
    glDepthMask(GL_TRUE);
    glClear(GL_DEPTH_BUFFER_BIT);
  }

  if (fog_mode > 0) {
    const GLfloat colour[4] = {fog_r, fog_g, fog_b, 1.0f};  // GL reads four values
    glEnable(GL_FOG);
    glFogi(GL_FOG_MODE, GL_LINEAR);
    glFogf(GL_FOG_START, fog_near);
    glFogf(GL_FOG_END, fog_far);
    glFogfv(GL_FOG_COLOR, colour);
  } else {
    glDisable(GL_FOG);
  }

  const float aspect = float(double(view_w) / double(view_h));
  float pixdx = 0.0f, pixdy = 0.0f;
  if (TGlobal::aa != 0) {
    pixdx = TGlobal::j[TGlobal::jitter][0];
    pixdy = TGlobal::j[TGlobal::jitter][1];
  }
  const float fovy = float(2.0 * ATan(1.0 / (double(zoom) * aspect)));
  accPerspective(fovy, aspect, near_clip, far_clip, pixdx, pixdy, 0.0f, 0.0f, 1.0f);

  glLoadMatrixf(matrix.Inverse().data());

  glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
  glGetDoublev(GL_PROJECTION_MATRIX, projection);
  glGetIntegerv(GL_VIEWPORT, gl_viewport);
  ExtractFrustum();
}

void TCamera::accPerspective(float fovy, float aspect, float near_dist, float far_dist, float pixdx, float pixdy,
                             float eyedx, float eyedy, float focus) const {
  const double half = fovy / 2.0;
  const float top = float(near_dist / (Cos(half) / Sin(half)));
  const float bottom = -top;
  const float right = top * aspect;
  const float left = -right;
  accFrustum(left, right, bottom, top, near_dist, far_dist, pixdx, pixdy, eyedx, eyedy, focus);
}

void TCamera::accFrustum(float left, float right, float bottom, float top, float near_dist, float far_dist,
                         float pixdx, float pixdy, float eyedx, float eyedy, float focus) const {
  const float xwsize = right - left;
  const float ywsize = top - bottom;
  const float dx = -(pixdx * xwsize / float(view_w) + eyedx * near_dist / focus);
  const float dy = -(pixdy * ywsize / float(view_h) + eyedy * near_dist / focus);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glFrustum(left + dx, right + dx, bottom + dy, top + dy, near_dist, far_dist);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glTranslatef(-eyedx, -eyedy, 0.0f);
}

// ---- Frustum and visibility -------------------------------------------------------

void TCamera::ExtractFrustum() {
  float p[16], m[16], clip[16];
  glGetFloatv(GL_PROJECTION_MATRIX, p);
  glGetFloatv(GL_MODELVIEW_MATRIX, m);
  for (int i = 0; i < 4; ++i) {
    for (int k = 0; k < 4; ++k) {
      clip[4 * i + k] = m[4 * i] * p[k] + m[4 * i + 1] * p[4 + k] + m[4 * i + 2] * p[8 + k] + m[4 * i + 3] * p[12 + k];
    }
  }
  for (int n = 0; n < 4; ++n) {
    const float* e = &clip[4 * n];  // e[k] = clip[4n + k]
    frustum[0][n] = e[3] - e[0];    // right
    frustum[1][n] = e[3] + e[0];    // left
    frustum[2][n] = e[3] + e[1];    // bottom
    frustum[3][n] = e[3] - e[1];    // top
    frustum[4][n] = e[3] - e[2];    // far
    frustum[5][n] = e[3] + e[2];    // near
  }
  for (float* plane : frustum) {
    const float length = float(Sqr(plane[0] * plane[0] + plane[1] * plane[1] + plane[2] * plane[2]));
    for (int n = 0; n < 4; ++n) plane[n] /= length;
  }
}

float TCamera::EntityInFrustum(const TEntity& entity) const {
  // A posed mesh is culled where its limbs are, not where its rest pose had them.
  const TSphere sphere = entity.CullSphere();
  const float x = sphere.centre.x, y = sphere.centre.y, z = -sphere.centre.z;  // into GL space
  const float radius = sphere.radius;
  float dist = 0.0f;
  for (const float* plane : frustum) {
    dist = plane[0] * x + plane[1] * y + plane[2] * z + plane[3];
    if (!(dist > -radius)) return 0.0f;  // wholly behind this plane, or NaN
  }
  return dist + radius;  // the near plane was tested last
}

float TCamera::EntityInView(const EntityPtr& entity) const {
  if (!entity) return 0.0f;
  if (TMesh* mesh = entity->AsMesh()) mesh->GetBounds();
  return EntityInFrustum(*entity);
}

void TCamera::CameraProject(float x, float y, float z) {
  GLdouble wx = 0.0, wy = 0.0, wz = 0.0;
  if (gluProject(x, y, -z, modelview, projection, gl_viewport, &wx, &wy, &wz) != GL_TRUE) {
    wx = wy = wz = 0.0;
  }
  projected_x = float(wx);
  projected_y = float(wy);
  projected_z = float(wz);
}
