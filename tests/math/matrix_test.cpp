// TMatrix: products, the in-place transforms against their elementary matrices,
// TForm, the rigid inverse and the rotation directions. The oracle is a plain 4x4
// product of matrices written out in mathematical rows, independent of the code.
#include "engine/math/matrix.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>

namespace {

using Rows = std::array<std::array<float, 4>, 4>;  // rows[r][c], as written on paper

TMatrix FromRows(const Rows& rows) {
  TMatrix m;
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) m.grid[c][r] = rows[r][c];
  return m;
}

TMatrix Product(const TMatrix& a, const TMatrix& b) {
  TMatrix p;
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) {
      double sum = 0;
      for (int k = 0; k < 4; ++k) sum += double(a.grid[k][r]) * b.grid[c][k];
      p.grid[c][r] = float(sum);
    }
  return p;
}

constexpr double kPi = 3.14159265358979323846;
float C(float deg) { return float(std::cos(deg * kPi / 180)); }
float S(float deg) { return float(std::sin(deg * kPi / 180)); }

TMatrix T(float x, float y, float z) { return FromRows({{{1, 0, 0, x}, {0, 1, 0, y}, {0, 0, 1, z}, {0, 0, 0, 1}}}); }
TMatrix Sc(float x, float y, float z) { return FromRows({{{x, 0, 0, 0}, {0, y, 0, 0}, {0, 0, z, 0}, {0, 0, 0, 1}}}); }
TMatrix Rx(float a) { return FromRows({{{1, 0, 0, 0}, {0, C(a), -S(a), 0}, {0, S(a), C(a), 0}, {0, 0, 0, 1}}}); }
TMatrix Ry(float a) { return FromRows({{{C(a), 0, S(a), 0}, {0, 1, 0, 0}, {-S(a), 0, C(a), 0}, {0, 0, 0, 1}}}); }
TMatrix Rz(float a) { return FromRows({{{C(a), -S(a), 0, 0}, {S(a), C(a), 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}}); }

// A general matrix whose bottom row is not (0, 0, 0, 1): shows which operations
// touch the bottom row and which forget the k = 3 term.
TMatrix Odd() {
  return FromRows({{{0.5f, -1.25f, 2, 3}, {1.5f, 0.75f, -0.5f, -2}, {-1, 2.5f, 0.25f, 4}, {0.5f, -1, 2, 3}}});
}

TMatrix Identity() {
  TMatrix m;
  m.LoadIdentity();
  return m;
}

std::string Dump(const TMatrix& m) {
  std::string s;
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) s += std::to_string(m.grid[c][r]) + (c < 3 ? " " : "\n");
  }
  return s;
}

// rows: how many rows must match (3 for the three-row products); the rest must be
// exactly `keep`'s.
void ExpectMatrix(const TMatrix& got, const TMatrix& want, int rows = 4, const TMatrix* keep = nullptr,
                  float tol = 1e-5f) {
  for (int c = 0; c < 4; ++c)
    for (int r = 0; r < 4; ++r) {
      if (r < rows) {
        EXPECT_NEAR(got.grid[c][r], want.grid[c][r], tol) << "grid[" << c << "][" << r << "]\ngot\n"
                                                          << Dump(got) << "want\n" << Dump(want);
      } else {
        EXPECT_EQ(got.grid[c][r], keep->grid[c][r]) << "bottom row changed at grid[" << c << "][" << r << "]";
      }
    }
}

TEST(Matrix, NewIsZeroAndLoadIdentityWritesAllSixteen) {
  TMatrix m;
  for (int c = 0; c < 4; ++c)
    for (int r = 0; r < 4; ++r) EXPECT_EQ(m.grid[c][r], 0.0f);
  m = Odd();
  m.LoadIdentity();
  ExpectMatrix(m, FromRows({{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}}), 4, nullptr, 0);
  // Column-major for OpenGL: the translation is elements 12..14.
  m.Translate(7, 8, 9);
  EXPECT_EQ(m.data()[12], 7);
  EXPECT_EQ(m.data()[13], 8);
  EXPECT_EQ(m.data()[14], 9);
}

TEST(Matrix, MultiplyIsThreeRowsMultiply0IsFull) {
  const TMatrix a = Odd();
  const TMatrix b = FromRows({{{2, 0.5f, -1, 1}, {0, 1.5f, 3, -1}, {1, -2, 0.5f, 2}, {0.25f, 0.5f, -0.75f, 2}}});

  TMatrix m = a;
  m.Multiply(b);
  ExpectMatrix(m, Product(a, b), 3, &a);

  m = a;
  m.Multiply(m);  // aliasing: every product must use the old values
  ExpectMatrix(m, Product(a, a), 3, &a);

  m = a;
  m.Multiply0(b);
  ExpectMatrix(m, Product(a, b));

  m = a;
  m.Multiply0(m);
  ExpectMatrix(m, Product(a, a));
}

// Each in-place transform and its suffix-0 twin against self x (elementary matrix),
// applied to the odd matrix: top three rows equal the product, bottom row untouched.
TEST(Matrix, ElementaryTransformsPostMultiply) {
  struct Case {
    const char* name;
    std::function<void(TMatrix&)> in_place, general;
    TMatrix elementary;
  };
  const Case cases[] = {
      {"Translate", [](TMatrix& m) { m.Translate(1.5f, -2, 3); }, [](TMatrix& m) { m.Translate0(1.5f, -2, 3); }, T(1.5f, -2, 3)},
      {"Scale", [](TMatrix& m) { m.Scale(2, -0.5f, 3); }, [](TMatrix& m) { m.Scale0(2, -0.5f, 3); }, Sc(2, -0.5f, 3)},
      {"Scale by 0", [](TMatrix& m) { m.Scale(0, 1, 1); }, [](TMatrix& m) { m.Scale0(0, 1, 1); }, Sc(0, 1, 1)},
      {"RotatePitch", [](TMatrix& m) { m.RotatePitch(33); }, [](TMatrix& m) { m.RotatePitch0(33); }, Rx(33)},
      {"RotateYaw", [](TMatrix& m) { m.RotateYaw(-71); }, [](TMatrix& m) { m.RotateYaw0(-71); }, Ry(-71)},
      {"RotateRoll", [](TMatrix& m) { m.RotateRoll(200); }, [](TMatrix& m) { m.RotateRoll0(200); }, Rz(200)},
      {"Rotate", [](TMatrix& m) { m.Rotate(20, -35, 50); },
       [](TMatrix& m) { m.RotateYaw(-35); m.RotatePitch(20); m.RotateRoll(50); },
       Product(Product(Ry(-35), Rx(20)), Rz(50))},
  };
  const TMatrix odd = Odd();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TMatrix in_place = odd, general = odd;
    c.in_place(in_place);
    c.general(general);
    ExpectMatrix(in_place, Product(odd, c.elementary), 3, &odd);
    ExpectMatrix(general, in_place, 3, &odd);
  }
}

TEST(Matrix, RotationDirections) {
  struct Case {
    const char* name;
    std::function<void(TMatrix&)> op;
    int column;
    float x, y, z;
  };
  const Case cases[] = {
      {"yaw 90 x axis", [](TMatrix& m) { m.RotateYaw(90); }, 0, 0, 0, -1},
      {"yaw 90 z axis turns toward +x", [](TMatrix& m) { m.RotateYaw(90); }, 2, 1, 0, 0},
      {"pitch 90 y axis", [](TMatrix& m) { m.RotatePitch(90); }, 1, 0, 0, 1},
      {"pitch 90 z axis", [](TMatrix& m) { m.RotatePitch(90); }, 2, 0, -1, 0},
      {"roll 90 x axis", [](TMatrix& m) { m.RotateRoll(90); }, 0, 0, 1, 0},
      {"roll 90 y axis", [](TMatrix& m) { m.RotateRoll(90); }, 1, -1, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TMatrix m = Identity();
    c.op(m);
    EXPECT_NEAR(m.grid[c.column][0], c.x, 1e-6f);
    EXPECT_NEAR(m.grid[c.column][1], c.y, 1e-6f);
    EXPECT_NEAR(m.grid[c.column][2], c.z, 1e-6f);
  }
  // Nothing is snapped: the cosine of 90 degrees stays a tiny non-zero.
  TMatrix m = Identity();
  m.RotateYaw(90);
  EXPECT_NE(m.grid[0][0], 0.0f);
}

TEST(Matrix, TFormEqualsTheInPlaceChain) {
  struct Case {
    float px, py, pz, pitch, yaw, roll, sx, sy, sz;
  };
  const Case cases[] = {
      {1, 2, 3, 30, 45, 60, 1, 2, 1},
      {-4, 0.5f, 9, -80, 170, -25, 0.5f, 3, -2},
      {0, 0, 0, 0, 0, 0, 1, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "pitch " << c.pitch << " yaw " << c.yaw << " roll " << c.roll);
    TMatrix chain = Identity();
    chain.Translate(c.px, c.py, c.pz);
    chain.RotateYaw(c.yaw);
    chain.RotatePitch(c.pitch);
    chain.RotateRoll(c.roll);
    chain.Scale(c.sx, c.sy, c.sz);
    TMatrix m = Odd();  // every old element must be overwritten, bottom row included
    m.TForm(c.px, c.py, c.pz, c.pitch, c.yaw, c.roll, c.sx, c.sy, c.sz);
    ExpectMatrix(m, chain);
  }
}

TEST(Matrix, InverseIsRigid) {
  // Undoes a rigid placement: (1, 2, 3) goes back to the origin.
  TMatrix m;
  m.TForm(1, 2, 3, 0, 90, 0, 1, 1, 1);
  TMatrix inv = m.Inverse();
  for (int r = 0; r < 3; ++r) EXPECT_NEAR(inv.grid[3][r] + inv.grid[0][r] * 1 + inv.grid[1][r] * 2 + inv.grid[2][r] * 3, 0, 1e-6f);

  // Any rotation and translation: inverse x matrix is the identity.
  m.TForm(-3, 7, 0.5f, 25, -140, 70, 1, 1, 1);
  ExpectMatrix(Product(m.Inverse(), m), Identity());

  // Scale is not inverted: the block comes back transposed, still scaled, and the
  // bottom row is rigid whatever self's was.
  m = Identity();
  m.Scale(2, 2, 2);
  m.Translate(1, 0, 0);  // translation (2, 0, 0)
  m.grid[0][3] = 5;
  m.grid[3][3] = 9;
  inv = m.Inverse();
  ExpectMatrix(inv, FromRows({{{2, 0, 0, -4}, {0, 2, 0, 0}, {0, 0, 2, 0}, {0, 0, 0, 1}}}), 4, nullptr, 0);
}

}  // namespace
