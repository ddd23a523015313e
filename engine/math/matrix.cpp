// TMatrix: whole-matrix operations, the combined rotation and the general suffix-0 forms.
// The short in-place transforms live inline in matrix.h.
#include "engine/math/matrix.h"

#include <cmath>

namespace {

// The 3x3 block of Ry(yaw) x Rx(pitch) x Rz(roll) in grid order (q[c][r]), shared by
// TForm and Rotate so the two cannot drift apart.
struct Rotation3 {
  float q[3][3];
};

Rotation3 YawPitchRoll(float pitch, float yaw, float roll) {
  const float sp = float(Sin(pitch)), cp = float(Cos(pitch));
  const float sy = float(Sin(yaw)), cy = float(Cos(yaw));
  const float sr = float(Sin(roll)), cr = float(Cos(roll));
  Rotation3 m;
  m.q[0][0] = cr * cy + sp * sr * sy;
  m.q[0][1] = cp * sr;
  m.q[0][2] = sp * sr * cy - cr * sy;
  m.q[1][0] = cr * sp * sy - sr * cy;
  m.q[1][1] = cp * cr;
  m.q[1][2] = cr * cy * sp + sr * sy;
  m.q[2][0] = cp * sy;
  m.q[2][1] = -sp;
  m.q[2][2] = cp * cy;
  return m;
}

}  // namespace

void TMatrix::LoadIdentity() {
  for (int c = 0; c < 4; ++c) {
    for (int r = 0; r < 4; ++r) {
      grid[c][r] = c == r ? 1.0f : 0.0f;
    }
  }
}

TMatrix TMatrix::Inverse() const {
  TMatrix inv;
  for (int c = 0; c < 3; ++c) {
    for (int r = 0; r < 3; ++r) {
      inv.grid[c][r] = grid[r][c];
    }
  }
  const float t0 = grid[3][0], t1 = grid[3][1], t2 = grid[3][2];
  for (int k = 0; k < 3; ++k) {
    inv.grid[3][k] = -(grid[k][0] * t0 + grid[k][1] * t1 + grid[k][2] * t2);
  }
  // The bottom row is the rigid one whatever self holds (inv started at zero).
  inv.grid[3][3] = 1.0f;
  return inv;
}

TMatrix TMatrix::AffineInverse() const {
  constexpr float kSingular = 1e-20f;  // below this determinant the 3x3 part is singular
  const auto& g = grid;
  TMatrix inv;
  inv.grid[0][0] = g[1][1] * g[2][2] - g[2][1] * g[1][2];
  inv.grid[1][0] = g[2][0] * g[1][2] - g[1][0] * g[2][2];
  inv.grid[2][0] = g[1][0] * g[2][1] - g[2][0] * g[1][1];
  inv.grid[0][1] = g[2][1] * g[0][2] - g[0][1] * g[2][2];
  inv.grid[1][1] = g[0][0] * g[2][2] - g[2][0] * g[0][2];
  inv.grid[2][1] = g[2][0] * g[0][1] - g[0][0] * g[2][1];
  inv.grid[0][2] = g[0][1] * g[1][2] - g[1][1] * g[0][2];
  inv.grid[1][2] = g[1][0] * g[0][2] - g[0][0] * g[1][2];
  inv.grid[2][2] = g[0][0] * g[1][1] - g[1][0] * g[0][1];
  const float det = g[0][0] * inv.grid[0][0] + g[1][0] * inv.grid[0][1] + g[2][0] * inv.grid[0][2];
  if (!std::isfinite(det) || std::fabs(det) < kSingular) return Inverse();
  for (int c = 0; c < 3; ++c)
    for (int r = 0; r < 3; ++r) inv.grid[c][r] /= det;
  for (int r = 0; r < 3; ++r)
    inv.grid[3][r] = -(inv.grid[0][r] * g[3][0] + inv.grid[1][r] * g[3][1] + inv.grid[2][r] * g[3][2]);
  inv.grid[3][3] = 1.0f;
  return inv;
}

void TMatrix::Multiply0(const TMatrix& mat) {
  // Into a local first: mat may be *this.
  float out[4][4];
  for (int c = 0; c < 4; ++c) {
    for (int r = 0; r < 4; ++r) {
      out[c][r] = grid[0][r] * mat.grid[c][0] + grid[1][r] * mat.grid[c][1] +
                  grid[2][r] * mat.grid[c][2] + grid[3][r] * mat.grid[c][3];
    }
  }
  for (int c = 0; c < 4; ++c) {
    for (int r = 0; r < 4; ++r) {
      grid[c][r] = out[c][r];
    }
  }
}

void TMatrix::Multiply(const TMatrix& mat) {
  // All twelve products are formed before any store, so mat may be *this. The k = 3
  // term is kept: it carries self's translation times mat's bottom row, which is what
  // makes the three-row product differ from Multiply0 only in the bottom row.
  float out[4][3];
  for (int c = 0; c < 4; ++c) {
    for (int r = 0; r < 3; ++r) {
      out[c][r] = grid[0][r] * mat.grid[c][0] + grid[1][r] * mat.grid[c][1] +
                  grid[2][r] * mat.grid[c][2] + grid[3][r] * mat.grid[c][3];
    }
  }
  for (int c = 0; c < 4; ++c) {
    for (int r = 0; r < 3; ++r) {
      grid[c][r] = out[c][r];
    }
  }
}

void TMatrix::TForm(float px, float py, float pz, float pitch, float yaw, float roll, float sx,
                    float sy, float sz) {
  const Rotation3 m = YawPitchRoll(pitch, yaw, roll);
  const float scale[3] = {sx, sy, sz};
  for (int c = 0; c < 3; ++c) {
    for (int r = 0; r < 3; ++r) {
      grid[c][r] = m.q[c][r] * scale[c];
    }
    grid[c][3] = 0.0f;
  }
  grid[3][0] = px;
  grid[3][1] = py;
  grid[3][2] = pz;
  grid[3][3] = 1.0f;
}

void TMatrix::Rotate(float pitch, float yaw, float roll) {
  const Rotation3 m = YawPitchRoll(pitch, yaw, roll);
  for (int r = 0; r < 3; ++r) {
    const float c0 = grid[0][r], c1 = grid[1][r], c2 = grid[2][r];
    for (int c = 0; c < 3; ++c) {
      grid[c][r] = c0 * m.q[c][0] + c1 * m.q[c][1] + c2 * m.q[c][2];
    }
  }
}

void TMatrix::Translate0(float x, float y, float z) {
  TMatrix t;
  t.LoadIdentity();
  t.grid[3][0] = x;
  t.grid[3][1] = y;
  t.grid[3][2] = z;
  Multiply(t);
}

void TMatrix::Scale0(float x, float y, float z) {
  TMatrix s;
  s.LoadIdentity();
  s.grid[0][0] = x;
  s.grid[1][1] = y;
  s.grid[2][2] = z;
  Multiply(s);
}

void TMatrix::RotatePitch0(float a) {
  const float c = float(Cos(a)), s = float(Sin(a));
  TMatrix rx;
  rx.LoadIdentity();
  rx.grid[1][1] = c;
  rx.grid[1][2] = s;
  rx.grid[2][1] = -s;
  rx.grid[2][2] = c;
  Multiply(rx);
}

void TMatrix::RotateYaw0(float a) {
  const float c = float(Cos(a)), s = float(Sin(a));
  TMatrix ry;
  ry.LoadIdentity();
  ry.grid[0][0] = c;
  ry.grid[0][2] = -s;
  ry.grid[2][0] = s;
  ry.grid[2][2] = c;
  Multiply(ry);
}

void TMatrix::RotateRoll0(float a) {
  const float c = float(Cos(a)), s = float(Sin(a));
  TMatrix rz;
  rz.LoadIdentity();
  rz.grid[0][0] = c;
  rz.grid[0][1] = s;
  rz.grid[1][0] = -s;
  rz.grid[1][1] = c;
  Multiply(rz);
}
