// TGA type 2 (true colour, no compression): an 18-byte header, then BGRA pixels.
#include "support/tga_file.h"

#include <fstream>
#include <vector>

bool WriteTga(const std::string& path, int width, int height, const std::function<TgaColour(int x, int y)>& pixel) {
  std::vector<uint8_t> bytes(18, 0);
  bytes[2] = 2;  // uncompressed true colour
  bytes[12] = uint8_t(width), bytes[13] = uint8_t(width >> 8);
  bytes[14] = uint8_t(height), bytes[15] = uint8_t(height >> 8);
  bytes[16] = 32;
  bytes[17] = 0x28;  // top row first, 8 alpha bits
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const TgaColour c = pixel(x, y);
      bytes.insert(bytes.end(), {c[2], c[1], c[0], c[3]});
    }
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  return bool(out);
}

bool WriteSolidTga(const std::string& path, uint8_t red, uint8_t green, uint8_t blue, int side) {
  return WriteTga(path, side, side, [&](int, int) { return TgaColour{red, green, blue, 255}; });
}
