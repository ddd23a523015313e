// Writes small TGA images for tests: 32-bit, uncompressed, top row first, each pixel
// from a function of its place. The previewer's file requester offers TGA files.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

using TgaColour = std::array<uint8_t, 4>;  // red, green, blue, alpha

bool WriteTga(const std::string& path, int width, int height, const std::function<TgaColour(int x, int y)>& pixel);
// One colour all over, alpha 255.
bool WriteSolidTga(const std::string& path, uint8_t red, uint8_t green, uint8_t blue, int side = 16);
