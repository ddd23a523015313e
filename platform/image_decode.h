// The image decoders behind LoadPixmap, one per file format. Internal to the image
// library: the rest of the program calls LoadPixmap or LoadPixmapFromMemory.
//
// Every decoder distrusts its input: it returns false for bytes it does not
// recognise and for damaged or truncated files, and checks every size against the
// bytes present and kMaxPixmapSide before it allocates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// A decoded image: rows packed, top row first, in one of the PixelFormat codes.
struct DecodedImage {
  int width = 0;
  int height = 0;
  int format = 0;
  std::vector<uint8_t> pixels;
  std::vector<uint8_t*> rows;  // scratch for decoders that want row pointers
};

bool DecodeTga(const uint8_t* data, size_t size, DecodedImage* out);
bool DecodeJpeg(const uint8_t* data, size_t size, DecodedImage* out);
bool DecodePng(const uint8_t* data, size_t size, DecodedImage* out);
bool DecodeBmp(const uint8_t* data, size_t size, DecodedImage* out);
