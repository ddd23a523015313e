// TQuaternion: a four-float rotation record and the class functions that skeletal
// animation and the model loader use on plain floats. Nothing here normalises:
// callers pass unit quaternions. Mind the orders: QuatToMat and QuatToEuler take
// w first, Slerp takes each quaternion as x, y, z, w.
#pragma once

#include "engine/math/matrix.h"

struct TQuaternion {
  float w = 0, x = 0, y = 0, z = 0;

  // Writes the rotation into mat's 3x3 block and grid[3][3] = 1, keeps the translation
  // and grid[0..2][3], then zeroes every one of the 16 elements within 0.0001 of 0.
  static void QuatToMat(float w, float x, float y, float z, TMatrix& mat);
  // Angles in degrees from the QuatToMat rotation g; g equals
  // TForm(0, 0, 0, -pitch, yaw, roll, 1, 1, 1) (pitch comes out negated).
  static void QuatToEuler(float w, float x, float y, float z, float& pitch, float& yaw,
                          float& roll);
  // The unit quaternion whose QuatToMat rotation is mat's 3x3 block (a rotation), w
  // first, w >= 0.
  static void MatToQuat(const TMatrix& mat, float& w, float& x, float& y, float& z);
  // Interpolates a toward b (t unclamped, result not normalised) along the shorter
  // arc, writing c on every path. Returns 1 when a and b are equal within 0.001 per
  // component (c := a), else 0.
  static int Slerp(float ax, float ay, float az, float aw, float bx, float by, float bz, float bw,
                   float& cx, float& cy, float& cz, float& cw, float t);
};
