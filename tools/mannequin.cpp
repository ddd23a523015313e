// Builds the mannequin figures and the skirt from tables of cross-sections: each body
// part is a tube lofted through elliptical rings, closed where a ring has radius 0.
// Tables are in metres for a 1.70 m figure standing on y = 0; the output is scaled and
// moved so that the previewer's camera, orbiting (0, 0.5, 0), sees the whole figure.
#include "mannequin.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

namespace {

constexpr float kPi = 3.14159265358979f;
constexpr float kModelScale = 2.5f;    // model units per metre
constexpr float kFloorY = -1.8f;       // where the feet stand, in model units
constexpr int kRingSegments = 16;      // vertices around every ring (plus the seam copy)
constexpr float kMaleHeight = 1.80f / 1.70f;
constexpr float kTop = kImageEdge;
constexpr float kBottom = 1.0f - kImageEdge;

struct Vec3 {
  float x, y, z;
};
Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 operator*(Vec3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
float Dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3 Cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
Vec3 Normalized(Vec3 a) {
  const float len = std::sqrt(Dot(a, a));
  return len > 0 ? a * (1.0f / len) : Vec3{0, 0, 0};
}

// A ring of a tube: its centre and its radii along the ring's side axis and front axis.
struct Ring {
  Vec3 centre;
  float side, front;
};

// A horizontal section of a part that hangs down: height, centre and half extents.
struct Section {
  float y, x, z, half_width, half_depth;
};

// A section of an arm, at distance s from the shoulder along the arm.
struct ArmSection {
  float s, side, front;
};

// A section of a foot, at distance z from the ankle line, forwards.
struct FootSection {
  float z, y, x, half_height, half_width;
};

// Where a tube's texture goes: a rectangle of the image.
struct UvBox {
  float u0, u1, v0, v1;
};

// Lofts a tube through the rings, which all lie square to `axis` (the tube's direction
// from its first ring to its last): one fixed plane for every ring, so two parts that
// end and start with the same ring meet without a crack. `front` is the direction the
// figure faces; the side axis is chosen so that u runs from the figure's right side
// across its front, which keeps one image layout for every part.
void AddTube(MannequinRegion& region, const std::vector<Ring>& rings, Vec3 axis, Vec3 front, UvBox uv, bool arm) {
  const int n = static_cast<int>(rings.size());
  std::vector<float> along(size_t(n), 0.0f);
  for (int i = 1; i < n; ++i) {
    const Vec3 d = rings[size_t(i)].centre - rings[size_t(i - 1)].centre;
    along[size_t(i)] = along[size_t(i - 1)] + std::sqrt(Dot(d, d));
  }
  const float length = along.back() > 0 ? along.back() : 1.0f;
  const int first = static_cast<int>(region.vertices.size());
  const Vec3 dir = Normalized(axis);
  const Vec3 b = Normalized(front - dir * Dot(front, dir));
  const Vec3 a = Cross(dir, b);
  for (int i = 0; i < n; ++i) {
    const Ring& r = rings[size_t(i)];
    for (int j = 0; j <= kRingSegments; ++j) {
      const float t = 2 * kPi * float(j) / kRingSegments;
      const Vec3 p = r.centre + a * (r.side * std::cos(t)) + b * (r.front * std::sin(t));
      MannequinVertex v{};
      v.x = p.x, v.y = p.y, v.z = p.z;
      v.u = uv.u0 + (uv.u1 - uv.u0) * float(j) / kRingSegments;
      v.v = uv.v0 + (uv.v1 - uv.v0) * along[size_t(i)] / length;
      region.vertices.push_back(v);
      region.arm.push_back(arm);
    }
  }
  const int stride = kRingSegments + 1;
  for (int i = 0; i + 1 < n; ++i) {
    const bool top_closed = rings[size_t(i)].side == 0 && rings[size_t(i)].front == 0;
    const bool bottom_closed = rings[size_t(i + 1)].side == 0 && rings[size_t(i + 1)].front == 0;
    for (int j = 0; j < kRingSegments; ++j) {
      const int a = first + i * stride + j, b = a + 1;
      const int c = a + stride, d = c + 1;
      // A ring of radius 0 closes the tube: one triangle per segment, not two.
      if (!top_closed) region.triangles.insert(region.triangles.end(), {a, c, b});
      if (!bottom_closed) region.triangles.insert(region.triangles.end(), {b, c, d});
    }
  }
}

// Smooth normals from the faces. Vertices at one place share a normal, across the
// regions given too, so texture seams, region borders and closed ends show no crease.
void ComputeNormals(const std::vector<MannequinRegion*>& regions) {
  using Key = std::tuple<long, long, long>;
  auto key = [](const MannequinVertex& v) {
    return Key{std::lround(v.x * 1e5f), std::lround(v.y * 1e5f), std::lround(v.z * 1e5f)};
  };
  std::map<Key, Vec3> sums;
  for (const MannequinRegion* region : regions) {
    for (size_t t = 0; t + 2 < region->triangles.size(); t += 3) {
      const MannequinVertex& p0 = region->vertices[size_t(region->triangles[t])];
      const MannequinVertex& p1 = region->vertices[size_t(region->triangles[t + 1])];
      const MannequinVertex& p2 = region->vertices[size_t(region->triangles[t + 2])];
      const Vec3 n =
          Cross(Vec3{p1.x - p0.x, p1.y - p0.y, p1.z - p0.z}, Vec3{p2.x - p0.x, p2.y - p0.y, p2.z - p0.z});
      for (const MannequinVertex* p : {&p0, &p1, &p2}) {
        Vec3& sum = sums[key(*p)];
        sum = sum + n;
      }
    }
  }
  for (MannequinRegion* region : regions) {
    for (MannequinVertex& v : region->vertices) {
      const Vec3 n = Normalized(sums[key(v)]);
      v.nx = n.x, v.ny = n.y, v.nz = n.z;
    }
  }
}

// From metres on the floor to model units; `height` stretches a taller figure.
Vec3 ToModel(Vec3 p, float height) { return {p.x * kModelScale, p.y * height * kModelScale + kFloorY, p.z * kModelScale}; }

std::vector<Ring> HangingRings(const std::vector<Section>& sections, float mirror_x, float height) {
  std::vector<Ring> rings;
  for (const Section& s : sections) {
    rings.push_back({ToModel({s.x * mirror_x, s.y, s.z}, height), s.half_width * kModelScale,
                     s.half_depth * kModelScale});
  }
  return rings;
}

// ---- The figures' tables ----------------------------------------------------------

struct FigureTables {
  float height;  // 1 for the female figure
  std::vector<Section> head, torso, hips, leg;  // leg: the figure's left leg (x > 0)
  Vec3 shoulder;                                 // where the left arm starts
  float arm_angle;                               // degrees out from hanging straight down
  std::vector<ArmSection> arm;
  std::vector<FootSection> foot;
};

const std::vector<Section> kFemaleHead = {
    {1.700f, 0, 0.000f, 0.000f, 0.000f},  {1.690f, 0, 0.000f, 0.035f, 0.040f},
    {1.670f, 0, 0.000f, 0.060f, 0.070f},  {1.635f, 0, 0.000f, 0.078f, 0.092f},
    {1.590f, 0, 0.000f, 0.085f, 0.100f},  {1.540f, 0, 0.002f, 0.082f, 0.099f},
    {1.500f, 0, 0.004f, 0.077f, 0.095f},  {1.465f, 0, 0.006f, 0.070f, 0.089f},
    {1.435f, 0, 0.008f, 0.060f, 0.080f},  {1.410f, 0, 0.010f, 0.047f, 0.066f},
    {1.390f, 0, -0.005f, 0.040f, 0.050f}, {1.370f, 0, -0.012f, 0.043f, 0.046f},
    {1.330f, 0, -0.015f, 0.047f, 0.048f}, {1.300f, 0, -0.015f, 0.052f, 0.052f},
};

FigureTables FemaleTables() {
  FigureTables t;
  t.height = 1.0f;
  t.head = kFemaleHead;
  t.torso = {
      {1.300f, 0, -0.015f, 0.052f, 0.052f}, {1.285f, 0, -0.012f, 0.090f, 0.062f},
      {1.265f, 0, -0.008f, 0.135f, 0.072f}, {1.240f, 0, -0.004f, 0.165f, 0.082f},
      {1.200f, 0, 0.000f, 0.165f, 0.090f},  {1.150f, 0, 0.012f, 0.155f, 0.100f},
      {1.110f, 0, 0.018f, 0.150f, 0.104f},  {1.070f, 0, 0.010f, 0.138f, 0.092f},
      {1.020f, 0, 0.004f, 0.125f, 0.082f},  {0.970f, 0, 0.000f, 0.115f, 0.078f},
      {0.950f, 0, 0.000f, 0.113f, 0.077f},
  };
  t.hips = {
      {0.950f, 0, 0.000f, 0.113f, 0.077f},  {0.910f, 0, -0.004f, 0.135f, 0.088f},
      {0.860f, 0, -0.008f, 0.160f, 0.098f}, {0.810f, 0, -0.010f, 0.172f, 0.103f},
      {0.770f, 0, -0.008f, 0.168f, 0.100f}, {0.745f, 0, -0.005f, 0.140f, 0.085f},
      {0.730f, 0, 0.000f, 0.080f, 0.050f},  {0.722f, 0, 0.000f, 0.000f, 0.000f},
  };
  t.leg = {
      {0.830f, 0.085f, 0.000f, 0.060f, 0.065f},  {0.780f, 0.085f, -0.005f, 0.076f, 0.082f},
      {0.700f, 0.084f, 0.000f, 0.074f, 0.079f},  {0.600f, 0.082f, 0.003f, 0.063f, 0.068f},
      {0.500f, 0.080f, 0.005f, 0.050f, 0.055f},  {0.460f, 0.079f, 0.008f, 0.046f, 0.052f},
      {0.420f, 0.079f, 0.000f, 0.047f, 0.053f},  {0.340f, 0.078f, -0.010f, 0.050f, 0.056f},
      {0.240f, 0.077f, -0.006f, 0.040f, 0.045f}, {0.130f, 0.076f, -0.002f, 0.030f, 0.034f},
      {0.080f, 0.075f, 0.000f, 0.028f, 0.032f},  {0.050f, 0.075f, 0.000f, 0.020f, 0.022f},
      {0.040f, 0.075f, 0.000f, 0.000f, 0.000f},
  };
  t.shoulder = {0.150f, 1.245f, -0.005f};
  t.arm_angle = 16.0f;
  t.arm = {
      {-0.030f, 0.000f, 0.000f}, {-0.020f, 0.035f, 0.040f}, {0.010f, 0.050f, 0.052f},
      {0.060f, 0.046f, 0.048f},  {0.150f, 0.040f, 0.042f},  {0.260f, 0.032f, 0.035f},
      {0.300f, 0.034f, 0.038f},  {0.380f, 0.030f, 0.034f},  {0.480f, 0.022f, 0.026f},
      {0.510f, 0.016f, 0.032f},  {0.560f, 0.017f, 0.042f},  {0.620f, 0.015f, 0.040f},
      {0.660f, 0.011f, 0.028f},  {0.680f, 0.000f, 0.000f},
  };
  t.foot = {
      {-0.060f, 0.035f, 0.000f, 0.000f, 0.000f}, {-0.055f, 0.040f, 0.000f, 0.022f, 0.022f},
      {-0.035f, 0.045f, 0.000f, 0.040f, 0.030f}, {0.010f, 0.042f, 0.002f, 0.040f, 0.036f},
      {0.070f, 0.030f, 0.006f, 0.030f, 0.040f},  {0.130f, 0.018f, 0.010f, 0.018f, 0.042f},
      {0.165f, 0.014f, 0.012f, 0.013f, 0.034f},  {0.185f, 0.012f, 0.012f, 0.008f, 0.020f},
      {0.192f, 0.012f, 0.012f, 0.000f, 0.000f},
  };
  return t;
}

// The male figure: taller, broader shoulders and chest, narrower hips, heavier limbs.
FigureTables MaleTables() {
  FigureTables t = FemaleTables();
  t.height = kMaleHeight;
  for (Section& s : t.head) {
    const bool neck = s.y < 1.395f;
    s.half_width *= neck ? 1.25f : 1.05f;
    s.half_depth *= neck ? 1.2f : 1.05f;
  }
  t.torso = {
      {1.300f, 0, -0.015f, 0.065f, 0.062f}, {1.285f, 0, -0.012f, 0.110f, 0.070f},
      {1.262f, 0, -0.008f, 0.170f, 0.082f}, {1.235f, 0, -0.004f, 0.200f, 0.092f},
      {1.190f, 0, 0.004f, 0.192f, 0.102f},  {1.130f, 0, 0.008f, 0.178f, 0.105f},
      {1.070f, 0, 0.006f, 0.160f, 0.098f},  {1.010f, 0, 0.003f, 0.145f, 0.090f},
      {0.960f, 0, 0.000f, 0.138f, 0.088f},  {0.950f, 0, 0.000f, 0.137f, 0.088f},
  };
  t.hips = {
      {0.950f, 0, 0.000f, 0.137f, 0.088f},  {0.900f, 0, -0.004f, 0.145f, 0.092f},
      {0.850f, 0, -0.006f, 0.152f, 0.095f}, {0.800f, 0, -0.006f, 0.155f, 0.096f},
      {0.765f, 0, -0.005f, 0.150f, 0.094f}, {0.742f, 0, -0.003f, 0.125f, 0.080f},
      {0.728f, 0, 0.000f, 0.075f, 0.048f},  {0.720f, 0, 0.000f, 0.000f, 0.000f},
  };
  for (Section& s : t.leg) {
    s.x += 0.003f;
    s.half_width *= s.y > 0.75f ? 0.88f : 1.08f;  // slimmer at the top, to stay inside the hips
    s.half_depth *= 1.08f;
  }
  t.shoulder = {0.185f, 1.235f, -0.005f};
  t.arm_angle = 14.0f;
  for (ArmSection& s : t.arm) {
    s.s *= 1.06f;
    s.side *= 1.2f;
    s.front *= 1.2f;
  }
  for (FootSection& s : t.foot) {
    s.z *= 1.1f;
    s.half_width *= 1.1f;
    s.half_height *= 1.05f;
  }
  return t;
}

// Both legs, arms and feet from the left one's table: x mirrored for the right.
MannequinFigure BuildFigure(const FigureTables& t) {
  MannequinFigure figure;
  MannequinRegion& head = figure.regions[0];
  MannequinRegion& upper = figure.regions[1];
  MannequinRegion& lower = figure.regions[2];
  head.name = "head";
  upper.name = "upper";
  lower.name = "lower";
  const Vec3 front{0, 0, 1};
  const Vec3 down{0, -1, 0};

  AddTube(head, HangingRings(t.head, 1, t.height), down, front, {0, 1, kTop, kBottom}, false);
  AddTube(upper, HangingRings(t.torso, 1, t.height), down, front, {0, 1, kTop, 0.6f}, false);
  AddTube(lower, HangingRings(t.hips, 1, t.height), down, front, {0, 1, kTop, 0.3f}, false);

  for (float side : {-1.0f, 1.0f}) {  // the figure's right, then its left
    // Right limbs take the left half of their band: a viewer facing the figure sees
    // its right side on the left.
    const float u0 = side < 0 ? 0.0f : 0.5f;
    const float rad = t.arm_angle * kPi / 180.0f;
    const Vec3 dir{side * std::sin(rad), -std::cos(rad), 0};
    const Vec3 shoulder{t.shoulder.x * side, t.shoulder.y, t.shoulder.z};
    std::vector<Ring> arm;
    for (const ArmSection& s : t.arm) {
      arm.push_back({ToModel(shoulder + dir * s.s, t.height), s.side * kModelScale, s.front * kModelScale});
    }
    AddTube(upper, arm, dir, front, {u0, u0 + 0.5f, 0.6f, kBottom}, true);

    AddTube(lower, HangingRings(t.leg, side, t.height), down, front, {u0, u0 + 0.5f, 0.3f, 0.9f}, false);

    std::vector<Ring> foot;
    for (const FootSection& s : t.foot) {
      foot.push_back({ToModel({(t.leg.back().x + s.x) * side, s.y, s.z}, t.height), s.half_width * kModelScale,
                      s.half_height * kModelScale});
    }
    AddTube(lower, foot, front, Vec3{0, 1, 0}, {u0, u0 + 0.5f, 0.9f, kBottom}, false);
  }
  ComputeNormals({&head, &upper, &lower});
  return figure;
}

// The skirt's rings keep this depth-to-width ratio.
constexpr float kSkirtDepthRatio = 0.85f;
constexpr float kSkirtEase = 0.03f;   // room between body and cloth, model units
constexpr float kSkirtFlare = 0.10f;  // extra width gained from waist to hem
constexpr int kSkirtRings = 12;

// How wide (along x) an ellipse of the skirt's ratio must be to hold the point.
float WidthToHold(const MannequinVertex& v) { return std::sqrt(v.x * v.x + (v.z / kSkirtDepthRatio) * (v.z / kSkirtDepthRatio)); }

template <typename F>
void ForBodyVertices(const MannequinFigure& figure, F f) {
  for (int r = 1; r <= 2; ++r) {
    const MannequinRegion& region = figure.regions[size_t(r)];
    for (size_t i = 0; i < region.vertices.size(); ++i)
      if (!region.arm[i]) f(region.vertices[i]);
  }
}

// Model-unit height of a metre mark on a figure.
float ModelY(float metres, float height) { return metres * height * kModelScale + kFloorY; }

}  // namespace

MannequinFigure BuildFemaleFigure() { return BuildFigure(FemaleTables()); }
MannequinFigure BuildMaleFigure() { return BuildFigure(MaleTables()); }

MannequinRegion BuildSkirt(const std::vector<const MannequinFigure*>& figures) {
  // From the female figure's waist (on the male figure it sits lower, on the hips) to
  // above the knees.
  const float top = ModelY(0.975f, 1.0f);
  const float hem = ModelY(0.52f, 1.0f);
  const float step = (top - hem) / (kSkirtRings - 1);
  std::vector<float> widths(kSkirtRings, 0.0f);
  for (int i = 0; i < kSkirtRings; ++i) {
    const float y = top - step * float(i);
    float need = 0;
    for (const MannequinFigure* figure : figures) {
      ForBodyVertices(*figure, [&](const MannequinVertex& v) {
        if (std::fabs(v.y - y) <= step) need = std::max(need, WidthToHold(v));
      });
    }
    const float below = i > 0 ? widths[size_t(i - 1)] : 0.0f;  // it only flares downwards
    widths[size_t(i)] = std::max(need + kSkirtEase, below);
  }
  MannequinRegion skirt;
  skirt.name = "skirt";
  std::vector<Ring> rings;
  for (int i = 0; i < kSkirtRings; ++i) {
    const float w = widths[size_t(i)] + kSkirtFlare * float(i) / (kSkirtRings - 1);
    rings.push_back({{0, top - step * float(i), 0}, w, w * kSkirtDepthRatio});
  }
  AddTube(skirt, rings, Vec3{0, -1, 0}, Vec3{0, 0, 1}, {0, 1, kTop, kBottom}, false);
  ComputeNormals({&skirt});
  return skirt;
}

float SkirtOverlap(const MannequinRegion& skirt, const MannequinFigure& figure) {
  // The skirt's rings, from its vertices: kRingSegments + 1 per ring.
  const size_t stride = kRingSegments + 1;
  const size_t rings = kSkirtRings;
  float worst = 0;
  ForBodyVertices(figure, [&](const MannequinVertex& v) {
    for (size_t i = 0; i + 1 < rings; ++i) {
      const MannequinVertex& a = skirt.vertices[i * stride];  // u = 0: on the side axis
      const MannequinVertex& b = skirt.vertices[(i + 1) * stride];
      if (v.y > a.y || v.y < b.y) continue;
      const float t = (a.y - v.y) / (a.y - b.y);
      const float width = std::fabs(a.x) + (std::fabs(b.x) - std::fabs(a.x)) * t;
      worst = std::max(worst, WidthToHold(v) - width);
    }
  });
  return worst;
}
