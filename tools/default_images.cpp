// Paints the default images pixel by pixel from the texture coordinates they cover, and
// writes them as JPEG files. Features sit where the mannequin's layout puts the face,
// the hips and the feet, so the figure reads as a person from the front.
#include "default_images.h"

#include "mannequin.h"

#include <jpeglib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

namespace {

constexpr int kSide = 256;  // a power of two: uploaded as it is

struct Rgb {
  float r, g, b;
};

const Rgb kSkin{224, 184, 152};
const Rgb kSkinShadow{204, 162, 132};
const Rgb kHair{84, 56, 40};
const Rgb kEyeWhite{240, 240, 232};
const Rgb kIris{60, 80, 110};
const Rgb kLips{178, 96, 92};
const Rgb kBriefs{150, 150, 162};
const Rgb kShoes{70, 70, 82};
const Rgb kCloth{150, 40, 62};
const Rgb kHem{105, 26, 44};

Rgb Mix(Rgb a, Rgb b, float t) {
  t = std::clamp(t, 0.0f, 1.0f);
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Rgb Scaled(Rgb c, float s) { return {c.r * s, c.g * s, c.b * s}; }

float SmoothStep(float e0, float e1, float x) {
  const float t = std::clamp((x - e0) / (e1 - e0), 0.0f, 1.0f);
  return t * t * (3 - 2 * t);
}

// Coverage of an ellipse, soft over about one pixel at its edge.
float Ellipse(float u, float v, float cu, float cv, float ru, float rv) {
  const float du = (u - cu) / ru, dv = (v - cv) / rv;
  const float d = std::sqrt(du * du + dv * dv);
  return 1.0f - SmoothStep(1.0f - 1.5f / (kSide * ru), 1.0f, d);
}

// A little fixed grain, so large areas do not look like flat plastic.
float Grain(int x, int y) {
  unsigned h = unsigned(x) * 374761393u + unsigned(y) * 668265263u;
  h = (h ^ (h >> 13)) * 1274126177u;
  return 0.985f + 0.03f * float((h >> 8) & 0xff) / 255.0f;
}

RgbImage Paint(const std::function<Rgb(float u, float v)>& colour_at) {
  RgbImage image;
  image.width = image.height = kSide;
  image.rgb.resize(size_t(kSide) * kSide * 3);
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; ++x) {
      // The free rows at the top and the bottom repeat the nearest used row.
      const float v = std::clamp((y + 0.5f) / kSide, kImageEdge, 1.0f - kImageEdge);
      const Rgb c = Scaled(colour_at((x + 0.5f) / kSide, v), Grain(x, y));
      uint8_t* p = &image.rgb[(size_t(y) * kSide + size_t(x)) * 3];
      p[0] = uint8_t(std::clamp(c.r, 0.0f, 255.0f));
      p[1] = uint8_t(std::clamp(c.g, 0.0f, 255.0f));
      p[2] = uint8_t(std::clamp(c.b, 0.0f, 255.0f));
    }
  }
  return image;
}

// The front's centre line is at u = 0.25 in every image.
constexpr float kFront = 0.25f;

// Distance around the figure from the front's centre line, 0..0.5.
float FromFront(float u) {
  const float d = std::fabs(u - kFront);
  return std::min(d, 1.0f - d);
}

}  // namespace

// Where a point lies down the head, 0 at the crown to 1 at the neck's base.
float DownTheHead(float v) { return (v - kImageEdge) / (1.0f - 2.0f * kImageEdge); }

RgbImage PaintHead() {
  return Paint([](float u, float image_v) {
    const float v = DownTheHead(image_v);
    Rgb c = kSkin;
    const float du = FromFront(u);
    // Nose shadow and nostrils, brows, eyes, lips.
    c = Mix(c, kSkinShadow, Ellipse(u, v, kFront + 0.012f, 0.53f, 0.008f, 0.045f));
    for (float side : {-1.0f, 1.0f}) {
      c = Mix(c, kSkinShadow, Ellipse(u, v, kFront + side * 0.014f, 0.572f, 0.008f, 0.008f));
      const float eye = kFront + side * 0.057f;
      c = Mix(c, kHair, Ellipse(u, v, eye, 0.398f, 0.032f, 0.007f));
      c = Mix(c, kEyeWhite, Ellipse(u, v, eye, 0.45f, 0.025f, 0.016f));
      c = Mix(c, kIris, Ellipse(u, v, eye, 0.45f, 0.011f, 0.014f));
    }
    c = Mix(c, kLips, Ellipse(u, v, kFront, 0.662f, 0.036f, 0.011f));
    // Hair: a fringe at the front, down to the nape at the back.
    const float hairline = 0.17f + 0.41f * SmoothStep(0.10f, 0.30f, du);
    c = Mix(c, kHair, SmoothStep(hairline + 0.006f, hairline - 0.006f, v));
    return c;
  });
}

RgbImage PaintUpper() {
  return Paint([](float u, float v) {
    // A touch darker at the back and under the arms, as if lit from the front.
    (void)v;
    return Mix(kSkin, kSkinShadow, SmoothStep(0.15f, 0.5f, FromFront(u)) * 0.5f);
  });
}

RgbImage PaintLower() {
  return Paint([](float u, float v) {
    Rgb c = Mix(kSkin, kSkinShadow, SmoothStep(0.15f, 0.5f, FromFront(u)) * 0.5f);
    if (v > 0.12f && v < 0.35f) c = kBriefs;  // the hips' lower part and the thighs' tops
    if (v > 0.9f) c = kShoes;
    return c;
  });
}

RgbImage PaintSkirt() {
  return Paint([](float u, float v) {
    // Pleats: 24 folds around, each lit on one side.
    const float fold = u * 24.0f - std::floor(u * 24.0f);
    Rgb c = Scaled(kCloth, 0.8f + 0.2f * std::fabs(2.0f * fold - 1.0f));
    if (v > 0.93f) c = kHem;
    return c;
  });
}

bool WriteJpeg(const std::string& path, const RgbImage& image, int quality) {
  FILE* out = std::fopen(path.c_str(), "wb");
  if (!out) return false;
  jpeg_compress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  jpeg_stdio_dest(&info, out);
  info.image_width = JDIMENSION(image.width);
  info.image_height = JDIMENSION(image.height);
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(&image.rgb[size_t(info.next_scanline) * size_t(image.width) * 3]);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  const bool ok = std::ferror(out) == 0;
  return std::fclose(out) == 0 && ok;
}
