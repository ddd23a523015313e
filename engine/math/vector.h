// TVector: the engine's three-component float vector, a value type.
// Picking and collision build their points, directions and normals from it.
#pragma once

#include "engine/math/trig.h"

struct TVector {
  float x = 0, y = 0, z = 0;

  static TVector Create(float x, float y, float z) { return TVector{x, y, z}; }
  TVector Copy() const { return *this; }
  TVector Add(const TVector& v) const { return {x + v.x, y + v.y, z + v.z}; }
  TVector Subtract(const TVector& v) const { return {x - v.x, y - v.y, z - v.z}; }
  TVector Multiply(float s) const { return {x * s, y * s, z * s}; }
  TVector Divide(float s) const { return {x / s, y / s, z / s}; }  // plain IEEE: by 0 gives inf/NaN
  float Dot(const TVector& v) const { return x * v.x + y * v.y + z * v.z; }
  TVector Cross(const TVector& v) const {
    return {y * v.z - z * v.y, z * v.x - x * v.z, x * v.y - y * v.x};
  }

  // Scales self to length 1. A zero vector is left at (0, 0, 0) rather than turned
  // into NaNs, so a degenerate normal or direction stays harmless downstream.
  // Inline: collision normalises a plane normal per triangle tested.
  void Normalize() {
    // Summed in double: squaring in float would overflow to inf for components near
    // 1e19 or vanish for tiny ones, and either way wreck a vector that has a direction.
    const double sq = double(x) * x + double(y) * y + double(z) * z;
    if (sq == 0.0) return;  // zero stays zero
    const double r = 1.0 / Sqr(sq);
    x = float(x * r);
    y = float(y * r);
    z = float(z * r);
  }
  float Length() const { return float(Sqr(double(x) * x + double(y) * y + double(z) * z)); }
  float SquaredLength() const { return x * x + y * y + z * z; }
  // Normalize, then scale to `length`; a zero vector stays zero. Returns 0.
  float SetLength(float length);

  static float VectorYaw(float x, float y, float z);    // degrees; +z is 0, +x is -90; y unused
  static float VectorPitch(float x, float y, float z);  // degrees; +y is -90, level is exactly 0

  // Exact lexicographic order on x, then y, then z: 1, -1 or 0. A NaN pair counts as
  // equal and the next component decides.
  int Compare(const TVector& other) const;
};

// Orders map keys by Compare (exact, no tolerance), e.g. std::map<TVector, int, TVectorLess>.
struct TVectorLess {
  bool operator()(const TVector& a, const TVector& b) const { return a.Compare(b) < 0; }
};
