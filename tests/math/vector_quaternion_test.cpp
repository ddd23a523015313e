// TVector and TQuaternion: arithmetic, lengths (zero vector included), the exact
// welding order, direction angles, quaternion to matrix and Euler angles, and every
// path through Slerp.
#include "engine/math/quaternion.h"
#include "engine/math/vector.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

void ExpectVector(const TVector& v, float x, float y, float z, float tol = 1e-6f) {
  EXPECT_NEAR(v.x, x, tol);
  EXPECT_NEAR(v.y, y, tol);
  EXPECT_NEAR(v.z, z, tol);
}

TEST(Vector, Arithmetic) {
  const TVector a = TVector::Create(1, 2, 3), b = TVector::Create(-4, 0.5f, 2);
  ExpectVector(a.Add(b), -3, 2.5f, 5);
  ExpectVector(a.Subtract(b), 5, 1.5f, 1);
  ExpectVector(a.Multiply(-2), -2, -4, -6);
  ExpectVector(a.Divide(4), 0.25f, 0.5f, 0.75f);
  EXPECT_FLOAT_EQ(a.Dot(b), 3);
  ExpectVector(a.Cross(b), 2.5f, -14, 8.5f);
  ExpectVector(TVector::Create(1, 0, 0).Cross(TVector::Create(0, 1, 0)), 0, 0, 1);  // right-handed
  ExpectVector(a, 1, 2, 3);  // operands unchanged
  EXPECT_FLOAT_EQ(TVector::Create(3, 0, 4).Length(), 5);
  EXPECT_FLOAT_EQ(TVector::Create(3, 0, 4).SquaredLength(), 25);
}

TEST(Vector, NormalizeAndSetLength) {
  struct Case {
    TVector in;
    float length;  // < 0: Normalize only
    TVector want;
  };
  const Case cases[] = {
      {{3, 0, 4}, -1, {0.6f, 0, 0.8f}},
      {{3, 0, 4}, 5, {3, 0, 4}},
      {{0, 2, 0}, 5, {0, 5, 0}},
      {{1, -1, 1}, 0, {0, 0, 0}},
      // Components whose squares leave float range still have a direction.
      {{3e20f, 0, -4e20f}, -1, {0.6f, 0, -0.8f}},
      {{1e-25f, 1e-25f, 0}, -1, {0.70710678f, 0.70710678f, 0}},
      // A zero vector stays zero instead of turning into NaNs.
      {{0, 0, 0}, -1, {0, 0, 0}},
      {{0, 0, 0}, 5, {0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "(" << c.in.x << ", " << c.in.y << ", " << c.in.z << ") length " << c.length);
    TVector v = c.in;
    if (c.length < 0) {
      v.Normalize();
    } else {
      EXPECT_EQ(v.SetLength(c.length), 0.0f);
    }
    ExpectVector(v, c.want.x, c.want.y, c.want.z);
  }
}

TEST(Vector, CompareIsExactLexicographic) {
  struct Case {
    TVector a, b;
    int want;
  };
  const Case cases[] = {
      {{1, 5, 5}, {2, 0, 0}, -1},
      {{1, 2, 3}, {1, 2, 2}, 1},
      {{1, 2, 3}, {1, 2, 3}, 0},
      {{1, 2, 3}, {1, 2, std::nextafter(3.0f, 4.0f)}, -1},  // no tolerance
      {{std::nextafter(1.0f, 2.0f), 0, 0}, {1, 9, 9}, 1},
      {{1, 3, 0}, {1, 2, 9}, 1},
      {{-0.0f, 0, 0}, {0, 0, 0}, 0},
      {{kNaN, 1, 0}, {5, 2, 0}, -1},  // an unordered pair is passed over
      {{kNaN, kNaN, 7}, {0, 0, 6}, 1},
      {{kNaN, 0, 0}, {0, 0, 0}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "(" << c.a.x << ", " << c.a.y << ", " << c.a.z << ") vs (" << c.b.x << ", "
                                      << c.b.y << ", " << c.b.z << ")");
    EXPECT_EQ(c.a.Compare(c.b), c.want);
    EXPECT_EQ(c.b.Compare(c.a), -c.want);
  }
}

TEST(Vector, WeldingMapMergesOnlyExactlyEqualKeys) {
  std::map<TVector, int, TVectorLess> weld;
  const TVector keys[] = {{1, 2, 3}, {0, 9, 9}, {1, 2, 3}, {1, 2, std::nextafter(3.0f, 4.0f)}, {0, 9, 9}};
  for (const TVector& k : keys) ++weld[k];
  ASSERT_EQ(weld.size(), 3u);
  auto it = weld.begin();
  ExpectVector(it->first, 0, 9, 9, 0);
  EXPECT_EQ(it->second, 2);
  EXPECT_EQ((++it)->second, 2);
  EXPECT_EQ((++it)->second, 1);
}

TEST(Vector, DirectionAngles) {
  struct Case {
    const char* name;
    float (*fn)(float, float, float);
    float x, y, z, want;
  };
  const Case cases[] = {
      {"yaw +z", TVector::VectorYaw, 0, 0, 1, 0},
      {"yaw +x", TVector::VectorYaw, 1, 0, 0, -90},
      {"yaw -x", TVector::VectorYaw, -1, 0, 0, 90},
      {"yaw ignores y", TVector::VectorYaw, 1, 50, 1, -45},
      {"pitch up", TVector::VectorPitch, 0, 1, 0, -90},
      {"pitch down", TVector::VectorPitch, 0, -1, 0, 90},
      {"pitch level", TVector::VectorPitch, 1, 0, 0, 0},
      {"pitch level, tiny y", TVector::VectorPitch, 0, 1e-7f, 1, 0},
      {"pitch zero vector", TVector::VectorPitch, 0, 0, 0, -90},
      {"pitch 45 up", TVector::VectorPitch, 0, 1, -1, -45},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_NEAR(c.fn(c.x, c.y, c.z), c.want, 1e-4f);
  }
  // Level is snapped to exactly 0, not left as the residue of 90 - 90.
  EXPECT_EQ(TVector::VectorPitch(1, 0, 0), 0.0f);
  EXPECT_EQ(TVector::VectorPitch(0, 1e-7f, 1), 0.0f);
}

TEST(Quaternion, QuatToMatWritesRotationAndClearsTinyElements) {
  TMatrix m;
  for (auto& column : m.grid)
    for (float& v : column) v = 7;  // the 3x3 block and grid[3][3] must be replaced
  m.grid[3][0] = 5;
  m.grid[3][1] = 0.00005f;
  m.grid[3][2] = -0.00009f;
  m.grid[0][3] = 0.5f;
  m.grid[1][3] = 0.0001f;                              // on the bound: kept
  m.grid[2][3] = std::nextafter(0.0001f, 0.0f);        // inside: cleared
  TQuaternion::QuatToMat(1, 0, 0, 0, m);
  const float want[4][4] = {{1, 0, 0, 0.5f}, {0, 1, 0, 0.0001f}, {0, 0, 1, 0}, {5, 0, 0, 1}};
  for (int c = 0; c < 4; ++c)
    for (int r = 0; r < 4; ++r) EXPECT_EQ(m.grid[c][r], want[c][r]) << "grid[" << c << "][" << r << "]";

  // A half-turn about y: the residue on the diagonal is cleared to exactly 0.
  TMatrix h;
  TQuaternion::QuatToMat(0.7071068f, 0, 0.7071068f, 0, h);
  EXPECT_NEAR(h.grid[2][0], -1, 1e-6f);
  EXPECT_NEAR(h.grid[0][2], 1, 1e-6f);
  EXPECT_EQ(h.grid[0][0], 0.0f);
  EXPECT_EQ(h.grid[2][2], 0.0f);
  EXPECT_EQ(h.grid[1][1], 1.0f);
}

TEST(Quaternion, QuatToEulerAngles) {
  const float h = float(std::sin(30 * 3.14159265358979323846 / 180));  // sin of half of 60
  const float k = float(std::cos(30 * 3.14159265358979323846 / 180));
  struct Case {
    float w, x, y, z, pitch, yaw, roll;
  };
  const Case cases[] = {
      {1, 0, 0, 0, 0, 0, 0},
      {k, h, 0, 0, 60, 0, 0},
      {k, 0, h, 0, 0, -60, 0},
      {k, 0, 0, h, 0, 0, -60},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "quaternion " << c.w << " " << c.x << " " << c.y << " " << c.z);
    float pitch = kNaN, yaw = kNaN, roll = kNaN;
    TQuaternion::QuatToEuler(c.w, c.x, c.y, c.z, pitch, yaw, roll);
    EXPECT_NEAR(pitch, c.pitch, 1e-4f);
    EXPECT_NEAR(yaw, c.yaw, 1e-4f);
    EXPECT_NEAR(roll, c.roll, 1e-4f);
  }
}

// For any rotation away from straight up or down, the angles rebuild the same
// matrix through TForm, with the pitch negated.
TEST(Quaternion, QuatToEulerRebuildsTheRotationThroughTForm) {
  const float quats[][4] = {{0.8f, 0.2f, -0.4f, 0.4f}, {0.1f, 0.7f, 0.1f, 0.7f}, {0.5f, 0.5f, -0.5f, 0.5f}};
  for (const auto& q : quats) {
    SCOPED_TRACE(::testing::Message() << "quaternion " << q[0] << " " << q[1] << " " << q[2] << " " << q[3]);
    TMatrix g;
    TQuaternion::QuatToMat(q[0], q[1], q[2], q[3], g);
    float pitch, yaw, roll;
    TQuaternion::QuatToEuler(q[0], q[1], q[2], q[3], pitch, yaw, roll);
    TMatrix rebuilt;
    rebuilt.TForm(0, 0, 0, -pitch, yaw, roll, 1, 1, 1);
    for (int c = 0; c < 4; ++c)
      for (int r = 0; r < 4; ++r) EXPECT_NEAR(rebuilt.grid[c][r], g.grid[c][r], 2e-4f) << "grid[" << c << "][" << r << "]";
  }
}

TEST(Quaternion, SlerpPaths) {
  struct Case {
    const char* name;
    float a[4], b[4];  // x, y, z, w
    float t;
    int result;
    float want[4];
  };
  const Case cases[] = {
      {"within 0.001: first returned as is", {0.1f, 0.2f, 0.3f, 0.9274f}, {0.1009f, 0.1991f, 0.3005f, 0.9274f}, 0.7f, 1,
       {0.1f, 0.2f, 0.3f, 0.9274f}},
      {"q and -q: flipped, linear", {0.1f, 0.2f, 0.3f, 0.927362f}, {-0.1f, -0.2f, -0.3f, -0.927362f}, 0.3f, 0,
       {0.1f, 0.2f, 0.3f, 0.927362f}},
      {"d = 0 counts as negative", {0, 0, 0, 1}, {1, 0, 0, 0}, 0.5f, 0, {-0.70710678f, 0, 0, 0.70710678f}},
      {"arc, halfway", {0, 0, 0, 1}, {0, 0.6f, 0, 0.8f}, 0.5f, 0, {0, 0.31622777f, 0, 0.9486833f}},
      {"arc, t = 0", {0, 0, 0, 1}, {0, 0.6f, 0, 0.8f}, 0, 0, {0, 0, 0, 1}},
      {"arc, t = 1", {0, 0, 0, 1}, {0, 0.6f, 0, 0.8f}, 1, 0, {0, 0.6f, 0, 0.8f}},
      {"arc, t = 2 not clamped", {0, 0, 0, 1}, {0, 0.6f, 0, 0.8f}, 2, 0, {0, 0.96f, 0, 0.28f}},
      {"negative d, halfway", {0, 0, 0, 1}, {0, 0.6f, 0, -0.8f}, 0.5f, 0, {0, -0.31622777f, 0, 0.9486833f}},
      {"negative d, t = 1 is the negated end", {0, 0, 0, 1}, {0, 0.6f, 0, -0.8f}, 1, 0, {0, -0.6f, 0, 0.8f}},
      // Either side of 1 - d = 0.0001: the lerp and the arc differ by about 2e-5 in w.
      {"1 - d = 0.00009: linear", {0, 0, 0, 1}, {0.01341611f, 0, 0, 0.99991f}, 0.5f, 0, {0.00670805f, 0, 0, 0.999955f}},
      {"1 - d = 0.0002: arc", {0, 0, 0, 1}, {0.019999f, 0, 0, 0.9998f}, 0.5f, 0, {0.01f, 0, 0, 0.99995f}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    float cx = kNaN, cy = kNaN, cz = kNaN, cw = kNaN;
    const int result = TQuaternion::Slerp(c.a[0], c.a[1], c.a[2], c.a[3], c.b[0], c.b[1], c.b[2], c.b[3], cx, cy,
                                          cz, cw, c.t);
    EXPECT_EQ(result, c.result);
    EXPECT_NEAR(cx, c.want[0], 5e-6f);
    EXPECT_NEAR(cy, c.want[1], 5e-6f);
    EXPECT_NEAR(cz, c.want[2], 5e-6f);
    EXPECT_NEAR(cw, c.want[3], 5e-6f);
  }
}

}  // namespace
