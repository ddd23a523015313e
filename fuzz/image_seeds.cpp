// Writes the seed corpus of fuzz_image into the directory given: one small valid file
// of each kind and variant the decoders handle, and the damaged and hostile JPEG shapes
// the decoder bounds, made by the test image encoders. fuzz_texture starts from them too.
#include <cstdio>
#include <string>

#include <png.h>

#include "support/image_files.h"

namespace {

// A gradient, so that no two neighbouring pixels are alike.
Bytes Gradient(int width, int height, int channels) {
  Bytes out;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < channels; ++c) out.push_back(static_cast<uint8_t>(x * 40 + y * 20 + c * 70));
  return out;
}

std::vector<Bytes> Split(const Bytes& b, size_t row) {
  std::vector<Bytes> rows;
  for (size_t at = 0; at + row <= b.size(); at += row) rows.emplace_back(b.begin() + at, b.begin() + at + row);
  return rows;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s corpus-directory\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[1];
  const Bytes palette = Gradient(8, 1, 4);
  const struct {
    const char* name;
    Bytes bytes;
  } seeds[] = {
      {"rgba.png", EncodePng({4, 3, PNG_COLOR_TYPE_RGB_ALPHA, 8, false, Gradient(4, 3, 4)})},
      {"palette.png", EncodePng({5, 2, PNG_COLOR_TYPE_PALETTE, 8, false, {0, 1, 2, 3, 4, 5, 6, 7, 0, 1},
                                 Gradient(8, 1, 3), {0, 128, 255}})},
      {"gray16-interlaced.png", EncodePng({7, 5, PNG_COLOR_TYPE_GRAY, 16, true, Gradient(7, 5, 2)})},
      {"gray-alpha.png", EncodePng({2, 2, PNG_COLOR_TYPE_GRAY_ALPHA, 8, false, Gradient(2, 2, 2)})},
      {"gray2.png", EncodePng({9, 3, PNG_COLOR_TYPE_GRAY, 2, false, Gradient(3, 3, 1)})},
      {"baseline.jpg", EncodeJpeg(16, 16, 3, Gradient(16, 16, 3), 90, false)},
      {"progressive.jpg", EncodeJpeg(24, 8, 3, Gradient(24, 8, 3), 75, true)},
      {"gray.jpg", EncodeJpeg(8, 8, 1, Gradient(8, 8, 1), 90, false)},
      // Sides GL takes as they are: fuzz_texture uploads these band by band as they decode.
      {"baseline-128.jpg", EncodeJpeg(128, 128, 3, Gradient(128, 128, 3), 75, false)},
      {"progressive-64.jpg", EncodeJpeg(64, 64, 3, Gradient(64, 64, 3), 75, true)},
      {"gray-256x32.jpg", EncodeJpeg(256, 32, 1, Gradient(256, 32, 1), 75, false)},
      // Damaged and hostile shapes: a scan whose data ends early, many scans of
      // end-of-band runs, and a header with no data behind it, alone and behind comments.
      {"scan-ends-early.jpg", DropScanTail(EncodeJpeg(24, 8, 3, Gradient(24, 8, 3), 75, true), 0, 2)},
      {"many-scans.jpg", EncodeBlankProgressiveJpeg(64, 64, 40)},
      {"header-only.jpg", EncodeBlankProgressiveJpeg(4096, 4096, 3, false)},
      {"header-behind-comments.jpg", WithJpegComments(EncodeBlankProgressiveJpeg(1024, 1024, 3, false), 2048)},
      {"raw24.tga", EncodeTga({.width = 3, .height = 2, .bits = 24, .data = Gradient(3, 2, 3)})},
      {"rle32.tga", EncodeTga({.image_type = 10, .width = 4, .height = 2, .bits = 32, .descriptor = 0x28,
                               .data = {0x83, 1, 2, 3, 4, 0x03, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20}})},
      {"mapped.tga", EncodeTga({.image_type = 9, .width = 3, .height = 2, .bits = 8, .map_bits = 24, .map_length = 8,
                                .colour_map = Gradient(8, 1, 3), .data = {0x05, 0, 1, 2, 3, 4, 5}})},
      {"gray-alpha.tga", EncodeTga({.image_type = 3, .width = 2, .height = 2, .bits = 16, .descriptor = 0x38,
                                    .data = Gradient(2, 2, 2)})},
      {"rgb16.tga", EncodeTga({.width = 2, .height = 2, .bits = 16, .descriptor = 0x31, .data = Gradient(2, 2, 2)})},
      {"rgb24.bmp", EncodeBmp({.width = 3, .height = 2, .bits = 24, .rows = Split(Gradient(3, 2, 3), 9)})},
      {"argb32.bmp", EncodeBmp({.width = 2, .height = -2, .bits = 32, .masks = {0xFF0000, 0xFF00, 0xFF, 0xFF000000},
                                .rows = Split(Gradient(2, 2, 4), 8)})},
      {"rgb565.bmp", EncodeBmp({.width = 3, .height = 2, .bits = 16, .masks = {0xF800, 0x07E0, 0x001F, 0},
                                .rows = Split(Gradient(3, 2, 2), 6)})},
      {"pal8.bmp", EncodeBmp({.width = 3, .height = 2, .bits = 8, .palette = palette, .rows = {{0, 1, 2}, {3, 4, 5}}})},
      {"pal4.bmp", EncodeBmp({.width = 3, .height = 2, .bits = 4, .palette = palette, .rows = {{0x01, 0x20}, {0x34, 0x50}}})},
      {"pal1.bmp", EncodeBmp({.width = 9, .height = 1, .bits = 1, .palette = {0, 0, 0, 0, 255, 255, 255, 0},
                              .rows = {{0xA5, 0x80}}})},
  };
  for (const auto& seed : seeds) {
    if (seed.bytes.empty() || !WriteFileBytes(dir + "/" + seed.name, seed.bytes)) {
      std::fprintf(stderr, "cannot write %s\n", seed.name);
      return 1;
    }
  }
  return 0;
}
