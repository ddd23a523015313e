// The previewer's default images, painted in code for the mannequin's texture layout
// (see mannequin.h): a skin head with a simple face and hair, plain skin for the upper
// body, skin with briefs and shoes for the lower body, and a pleated skirt cloth.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct RgbImage {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;  // rows top first, 3 bytes a pixel
};

RgbImage PaintHead();
RgbImage PaintUpper();
RgbImage PaintLower();
RgbImage PaintSkirt();

// Baseline JPEG through libjpeg; false when the file cannot be written.
bool WriteJpeg(const std::string& path, const RgbImage& image, int quality);
