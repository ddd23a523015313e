// TCamera: the entity the world is seen through. It owns a rectangle of the graphics
// area, its clear, a perspective projection (zoom, clip range) and linear fog; once per
// frame Update programs OpenGL with them and keeps the GL matrices and six frustum planes
// for culling and projecting points. Every live camera is in the world list and in
// cam_list, which the frame renders in order (highest order first).
#pragma once

#include "engine/scene/entity.h"

class TCamera : public TEntity {
 public:
  // ---- Fields -------------------------------------------------------------------
  int view_x = 0, view_y = 0;  // left and bottom edge; y counts from the bottom (GL)
  int view_w = 0, view_h = 0;
  float clear_r = 0, clear_g = 0, clear_b = 0;  // 0..1
  int clear_color = 1;  // exactly 1: clear the colour buffer first
  int clear_depth = 1;  // exactly 1: clear the depth buffer first
  float near_clip = 1.0f, far_clip = 1000.0f;
  float zoom = 1.0f;  // tangent of the horizontal half field of view is 1 / zoom
  int fog_mode = 0;   // above 0: linear fog
  float fog_r = 0, fog_g = 0, fog_b = 0;  // 0..1
  float fog_near = 1.0f, fog_far = 1000.0f;
  // GL state as the last Update left it; zeros before the first.
  double modelview[16] = {};
  double projection[16] = {};
  int gl_viewport[4] = {};
  float frustum[6][4] = {};  // planes a, b, c, d in GL world space: right, left, bottom, top, far, near

  // ---- Class state --------------------------------------------------------------
  static TList<TEntity> cam_list;  // every live camera, by order
  static float projected_x, projected_y, projected_z;  // last CameraProject of any camera

  // ---- Lifetime -----------------------------------------------------------------
  // The viewport covers the whole graphics area (TGlobal::width x height).
  static CameraPtr CreateCamera(const EntityPtr& parent = nullptr);
  // Programs viewport, scissor, clear, fog, projection and view for this camera and
  // keeps the results. A camera whose viewport is empty does nothing.
  void Update() override;

  // ---- Settings (stored as given; colours 0..255) ------------------------------------
  void CameraViewport(int x, int y, int width, int height);  // y from the top of the area
  void CameraClsColor(float red, float green, float blue);
  void CameraClsMode(int color, int depth);
  void CameraRange(float near_dist, float far_dist);
  void CameraZoom(float value) { zoom = value; }
  void CameraFogMode(int mode) { fog_mode = mode; }
  void CameraFogColor(float red, float green, float blue);
  void CameraFogRange(float near_dist, float far_dist);
  bool HasViewport() const { return view_w > 0 && view_h > 0; }

  // ---- Projection and visibility (valid after the camera's first Update) ---------
  // Window x, y (y from the bottom) and depth 0..1 of a public world point, left in
  // projected_x/y/z; zeros when the point cannot be projected.
  void CameraProject(float x, float y, float z);
  static float ProjectedX() { return projected_x; }
  static float ProjectedY() { return projected_y; }
  static float ProjectedZ() { return projected_z; }
  // Above 0 when the entity's bounding sphere reaches into the view: how far it
  // reaches in front of the near plane. Refreshes a mesh's bounds first; 0 for null.
  float EntityInView(const EntityPtr& entity) const;
  // Picks under window point x, y (pixels from the top left of the graphics area),
  // through the matrices of the last render; the result stays in TPick.
  EntityPtr CameraPick(float x, float y) const;
  // The point at window x, y (y from the bottom) and depth 0..1 through the kept
  // matrices; false, outputs untouched, when it cannot be unprojected (never rendered).
  bool CameraUnproject(double x, double y, double depth, double& out_x, double& out_y, double& out_z) const;
  // The same on the bounds the entity already has.
  float EntityInFrustum(const TEntity& entity) const;
  // Rebuilds the six planes from GL's current projection and modelview matrices.
  void ExtractFrustum();
  // The accumulation-buffer projections: a perspective or frustum shifted by
  // (pixdx, pixdy) pixels of the viewport, with an eye offset that focuses at `focus`.
  void accPerspective(float fovy, float aspect, float near_dist, float far_dist, float pixdx, float pixdy,
                      float eyedx, float eyedy, float focus) const;
  void accFrustum(float left, float right, float bottom, float top, float near_dist, float far_dist,
                  float pixdx, float pixdy, float eyedx, float eyedy, float focus) const;

 protected:
  EntityPtr StartCopy() const override;
  void FinishCopy(const EntityPtr& copy, const EntityPtr& parent) const override;
  void ReleaseKind() override;  // leaves cam_list
  // Cameras render in cam_list order: the camera takes the place of its new order.
  void OrderChanged() override;

 private:
  void CopyCameraFields(const TCamera& source);
};
