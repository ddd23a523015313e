// TQuaternion: quaternion to matrix, to Euler angles, and spherical interpolation.
#include "engine/math/quaternion.h"

#include <cmath>

#include "engine/math/trig.h"

void TQuaternion::QuatToMat(float w, float x, float y, float z, TMatrix& mat) {
  const float xx = x * x, yy = y * y, zz = z * z;
  const float xy = x * y, xz = x * z, yz = y * z;
  const float wx = w * x, wy = w * y, wz = w * z;
  auto& g = mat.grid;
  g[0][0] = 1.0f - 2.0f * (yy + zz);
  g[0][1] = 2.0f * (xy - wz);
  g[0][2] = 2.0f * (xz + wy);
  g[1][0] = 2.0f * (xy + wz);
  g[1][1] = 1.0f - 2.0f * (xx + zz);
  g[1][2] = 2.0f * (yz - wx);
  g[2][0] = 2.0f * (xz - wy);
  g[2][1] = 2.0f * (yz + wx);
  g[2][2] = 1.0f - 2.0f * (xx + yy);
  g[3][3] = 1.0f;
  // Clean-up of rounding residue (a 90 degree turn leaves about 1e-7 where 0 belongs).
  // It covers all 16 elements, so a tiny translation the caller left is cleared too.
  for (auto& column : g) {
    for (float& v : column) {
      if (v > -0.0001f && v < 0.0001f) v = 0.0f;
    }
  }
}

void TQuaternion::QuatToEuler(float w, float x, float y, float z, float& pitch, float& yaw,
                              float& roll) {
  TMatrix m;
  QuatToMat(w, x, y, z, m);
  const auto& g = m.grid;
  pitch = float(ATan2(g[2][1], Sqr(double(g[2][0]) * g[2][0] + double(g[2][2]) * g[2][2])));
  yaw = float(ATan2(g[2][0], g[2][2]));
  roll = float(ATan2(g[0][1], g[1][1]));
}

void TQuaternion::MatToQuat(const TMatrix& mat, float& w, float& x, float& y, float& z) {
  const auto& g = mat.grid;
  // From the trace, or the largest diagonal element when the trace is not positive, so
  // the square root and the divisions stay well away from zero.
  const double m00 = g[0][0], m11 = g[1][1], m22 = g[2][2];
  const double trace = m00 + m11 + m22;
  double qw, qx, qy, qz;
  if (trace > 0.0) {
    const double s = std::sqrt(trace + 1.0) * 2.0;  // 4w
    qw = s / 4.0;
    qx = (double(g[2][1]) - g[1][2]) / s;
    qy = (double(g[0][2]) - g[2][0]) / s;
    qz = (double(g[1][0]) - g[0][1]) / s;
  } else if (m00 > m11 && m00 > m22) {
    const double s = std::sqrt(1.0 + m00 - m11 - m22) * 2.0;  // 4x
    qx = s / 4.0;
    qw = (double(g[2][1]) - g[1][2]) / s;
    qy = (double(g[0][1]) + g[1][0]) / s;
    qz = (double(g[0][2]) + g[2][0]) / s;
  } else if (m11 > m22) {
    const double s = std::sqrt(1.0 - m00 + m11 - m22) * 2.0;  // 4y
    qy = s / 4.0;
    qw = (double(g[0][2]) - g[2][0]) / s;
    qx = (double(g[0][1]) + g[1][0]) / s;
    qz = (double(g[1][2]) + g[2][1]) / s;
  } else {
    const double s = std::sqrt(1.0 - m00 - m11 + m22) * 2.0;  // 4z
    qz = s / 4.0;
    qw = (double(g[1][0]) - g[0][1]) / s;
    qx = (double(g[0][2]) + g[2][0]) / s;
    qy = (double(g[1][2]) + g[2][1]) / s;
  }
  if (qw < 0) qw = -qw, qx = -qx, qy = -qy, qz = -qz;
  w = float(qw), x = float(qx), y = float(qy), z = float(qz);
}

int TQuaternion::Slerp(float ax, float ay, float az, float aw, float bx, float by, float bz,
                       float bw, float& cx, float& cy, float& cz, float& cw, float t) {
  if (std::fabs(ax - bx) < 0.001f && std::fabs(ay - by) < 0.001f && std::fabs(az - bz) < 0.001f &&
      std::fabs(aw - bw) < 0.001f) {
    cx = ax;
    cy = ay;
    cz = az;
    cw = aw;
    return 1;
  }
  float d = ax * bx + ay * by + az * bz + aw * bw;
  // q and -q are the same rotation; take the end that gives the shorter arc.
  if (d <= 0.0f) {
    d = -d;
    bx = -bx;
    by = -by;
    bz = -bz;
    bw = -bw;
  }
  float k0, k1;
  if (1.0f - d > 0.0001f) {
    const double omega = ACos(d);
    const double s = Sin(omega);
    k0 = float(Sin((1.0 - t) * omega) / s);
    k1 = float(Sin(t * omega) / s);
  } else {
    // Nearly parallel: Sin(omega) is too small to divide by, and a straight line is
    // as good as the arc.
    k0 = 1.0f - t;
    k1 = t;
  }
  cw = k0 * aw + k1 * bw;
  cx = k0 * ax + k1 * bx;
  cy = k0 * ay + k1 * by;
  cz = k0 * az + k1 * bz;
  return 0;
}
