// Image files the render tests write for themselves: a picture given as a function of
// the pixel, saved as PNG, JPEG, TGA or BMP, plus a scratch folder per test that is
// also the current directory while the test runs (texture names resolve against it).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/image.h"

enum class ImageFile { kPng, kJpeg, kTga, kBmp };

using PixelFn = std::function<Rgba(int x, int y)>;

// The file's bytes: PNG and TGA keep alpha, JPEG and BMP drop it.
std::vector<uint8_t> EncodeImage(ImageFile kind, int width, int height, const PixelFn& pixel);
bool WriteImage(const std::string& path, ImageFile kind, int width, int height, const PixelFn& pixel);
bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
inline PixelFn Solid(Rgba colour) {
  return [colour](int, int) { return colour; };
}

// A fresh folder under the test scratch area, made the current directory; the old
// one comes back and the folder goes when this goes.
class ScratchDir {
 public:
  explicit ScratchDir(const std::string& name);
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_, previous_;
};
