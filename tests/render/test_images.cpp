// Test image files for the render tests, written with the shared test encoders
// (support/image_files.h), so every test program makes files the same way.
#include "test_images.h"

#include <cstdlib>
#include <filesystem>

#include "support/image_files.h"
#include "platform/file.h"

namespace {

constexpr int kPngRgba = 6;  // PNG_COLOR_TYPE_RGB_ALPHA

}  // namespace

std::vector<uint8_t> EncodeImage(ImageFile kind, int width, int height, const PixelFn& pixel) {
  Bytes rgba, rgb, bgra;
  std::vector<Bytes> bmp_rows;  // bottom row first
  for (int y = 0; y < height; ++y) {
    Bytes bmp_row;
    for (int x = 0; x < width; ++x) {
      const Rgba c = pixel(x, y);
      rgba.insert(rgba.end(), c.begin(), c.end());
      rgb.insert(rgb.end(), {c[0], c[1], c[2]});
      bgra.insert(bgra.end(), {c[2], c[1], c[0], c[3]});
      bmp_row.insert(bmp_row.end(), {c[2], c[1], c[0]});
    }
    bmp_rows.insert(bmp_rows.begin(), bmp_row);
  }
  switch (kind) {
    case ImageFile::kPng:
      return EncodePng({.width = width, .height = height, .colour_type = kPngRgba, .rows = rgba});
    case ImageFile::kJpeg: return EncodeJpeg(width, height, 3, rgb, 95, false);
    case ImageFile::kTga:  // 32 bits, top row first, 8 alpha bits
      return EncodeTga({.width = width, .height = height, .bits = 32, .descriptor = 0x28, .data = bgra});
    case ImageFile::kBmp: return EncodeBmp({.width = width, .height = height, .bits = 24, .rows = bmp_rows});
  }
  return {};
}

bool WriteImage(const std::string& path, ImageFile kind, int width, int height, const PixelFn& pixel) {
  return WriteFileBytes(path, EncodeImage(kind, width, height, pixel));
}

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) { return WriteFileBytes(path, bytes); }

ScratchDir::ScratchDir(const std::string& name) : previous_(CurrentDir()) {
  const char* root = std::getenv("VELMORA_TEST_TMP");
  std::filesystem::path dir = std::filesystem::path(root ? root : std::filesystem::temp_directory_path().string()) /
                              ("render-" + name);
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  path_ = std::filesystem::canonical(dir).string();
  ChangeDir(path_);
}

ScratchDir::~ScratchDir() {
  ChangeDir(previous_);
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}
