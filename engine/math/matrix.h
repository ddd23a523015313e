// TMatrix: the engine's 4x4 float transform (entity, camera, sprite, bone, quaternion rotation).
// grid[c][r] is column c, row r, so the 16 floats are OpenGL's column-major array as is.
// Points are column vectors; the translation is grid[3][0..2]. The in-place operations
// post-multiply (they act in the matrix's own frame), touch only the top three rows and
// run for every entity every frame: they allocate nothing.
#pragma once

#include "engine/math/trig.h"
#include "engine/math/vector.h"

struct TMatrix {
  // A new matrix is the zero matrix, not the identity; entities rely on that until
  // their creating function builds the matrix.
  float grid[4][4] = {};

  const float* data() const { return &grid[0][0]; }  // for glLoadMatrixf / glMultMatrixf

  // ---- Whole matrices ----
  void LoadIdentity();
  TMatrix Copy() const { return *this; }
  void Overwrite(const TMatrix& mat) { *this = mat; }
  // Rigid inverse: transposed 3x3 and negated, rotated translation; bottom row 0,0,0,1.
  // Scale or shear is not inverted (a scaled block comes back transposed, still scaled).
  TMatrix Inverse() const;
  // The inverse of an affine matrix, scale and shear included; a singular one (a zero
  // scale) falls back to Inverse, so the result stays finite.
  TMatrix AffineInverse() const;
  void Multiply0(const TMatrix& mat);  // self := self x mat, all 16 elements; mat may be self
  void Multiply(const TMatrix& mat);   // self := self x mat, top three rows; mat may be self
  // self := T(p) x Ry(yaw) x Rx(pitch) x Rz(roll) x S(s); every element written. Degrees.
  void TForm(float px, float py, float pz, float pitch, float yaw, float roll, float sx, float sy,
             float sz);

  // ---- Elementary transforms in the local frame (self := self x X) ----
  // The suffix-0 forms build the elementary matrix and Multiply by it; each gives the
  // same result as its in-place twin and exists for callers who want the general path.
  void Translate0(float x, float y, float z);
  void Translate(float x, float y, float z);
  void Scale0(float x, float y, float z);
  void Scale(float x, float y, float z);
  void Rotate(float pitch, float yaw, float roll);  // = RotateYaw, RotatePitch, RotateRoll
  void RotatePitch0(float a);
  void RotatePitch(float a);  // about local x: +pitch turns +y toward +z
  void RotateYaw0(float a);
  void RotateYaw(float a);  // about local y: +yaw turns +z toward +x
  void RotateRoll0(float a);
  void RotateRoll(float a);  // about local z: +roll turns +x toward +y
};

// The point (x, y, z) times a matrix whose columns are c0, c1, c2 (the axes) and c3 (the
// translation): c3 + ((c0 x + c1 y) + c2 z). V is a float for one row of the result, or
// lanes (engine/math/lanes.h) holding rows side by side. Every product of a point and a
// matrix goes through here, so that all of them (entity transforms, mesh transforms,
// collision's mesh to world, model loads, skinning) round alike, bit for bit.
template <typename V>
[[gnu::always_inline]] inline V TransformPoint(const V& c0, const V& c1, const V& c2, const V& c3, float x, float y,
                                               float z) {
  return c3 + ((c0 * x + c1 * y) + c2 * z);
}

// The point (x, y, z) times the whole matrix: rows 0..2 of the above, all formed before
// any is stored.
inline TVector TransformPoint(const TMatrix& m, float x, float y, float z) {
  const auto& g = m.grid;
  return {TransformPoint(g[0][0], g[1][0], g[2][0], g[3][0], x, y, z),
          TransformPoint(g[0][1], g[1][1], g[2][1], g[3][1], x, y, z),
          TransformPoint(g[0][2], g[1][2], g[2][2], g[3][2], x, y, z)};
}

inline void TMatrix::Translate(float x, float y, float z) {
  for (int r = 0; r < 3; ++r) grid[3][r] = TransformPoint(grid[0][r], grid[1][r], grid[2][r], grid[3][r], x, y, z);
}

inline void TMatrix::Scale(float x, float y, float z) {
  for (int r = 0; r < 3; ++r) {
    grid[0][r] *= x;
    grid[1][r] *= y;
    grid[2][r] *= z;
  }
}

// The single-axis rotations mix two columns; both are read before either is written.
inline void TMatrix::RotatePitch(float a) {
  const float c = float(Cos(a));
  const float s = float(Sin(a));
  for (int r = 0; r < 3; ++r) {
    const float c1 = grid[1][r];
    const float c2 = grid[2][r];
    grid[1][r] = c * c1 + s * c2;
    grid[2][r] = c * c2 - s * c1;
  }
}

inline void TMatrix::RotateYaw(float a) {
  const float c = float(Cos(a));
  const float s = float(Sin(a));
  for (int r = 0; r < 3; ++r) {
    const float c0 = grid[0][r];
    const float c2 = grid[2][r];
    grid[0][r] = c * c0 - s * c2;
    grid[2][r] = c * c2 + s * c0;
  }
}

inline void TMatrix::RotateRoll(float a) {
  const float c = float(Cos(a));
  const float s = float(Sin(a));
  for (int r = 0; r < 3; ++r) {
    const float c0 = grid[0][r];
    const float c1 = grid[1][r];
    grid[0][r] = c * c0 + s * c1;
    grid[1][r] = c * c1 - s * c0;
  }
}
