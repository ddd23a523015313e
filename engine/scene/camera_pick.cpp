// Camera picks: the window-to-world unprojection through the matrices and viewport the
// camera kept at its last render (the one GLU call picking needs), and CameraPick.
#include "engine/collision/pick.h"
#include "engine/scene/camera.h"
#include "platform/gl.h"

bool TCamera::CameraUnproject(double x, double y, double depth, double& out_x, double& out_y, double& out_z) const {
  GLdouble ox = 0, oy = 0, oz = 0;
  if (gluUnProject(x, y, depth, modelview, projection, gl_viewport, &ox, &oy, &oz) != GL_TRUE) return false;
  out_x = ox, out_y = oy, out_z = oz;
  return true;
}

EntityPtr TCamera::CameraPick(float x, float y) const { return TPick::CameraPick(this, x, y); }
