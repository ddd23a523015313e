// TVector: set length, direction angles and the exact ordering (length and
// normalisation are inline in the header).
#include "engine/math/vector.h"

#include "engine/math/trig.h"

float TVector::SetLength(float length) {
  Normalize();
  x *= length;
  y *= length;
  z *= length;
  return 0.0f;
}

float TVector::VectorYaw(float x, float /*y*/, float z) { return float(ATan2(-x, z)); }

float TVector::VectorPitch(float x, float y, float z) {
  const float r = float(ATan2(Sqr(double(x) * x + double(z) * z), y) - 90.0);
  // Level directions come out exactly 0, not a rounding residue of 90 - 90.
  return r >= -0.0001f && r <= 0.0001f ? 0.0f : r;
}

int TVector::Compare(const TVector& other) const {
  // Differences against 0 rather than a < b: the same result for ordered values, and
  // a NaN fails both tests, so it falls through to the next component.
  if (x - other.x > 0.0f) return 1;
  if (other.x - x > 0.0f) return -1;
  if (y - other.y > 0.0f) return 1;
  if (other.y - y > 0.0f) return -1;
  if (z - other.z > 0.0f) return 1;
  if (other.z - z > 0.0f) return -1;
  return 0;
}
