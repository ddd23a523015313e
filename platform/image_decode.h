// The image decoders behind LoadPixmap, one per file format. Internal to the image
// library: the rest of the program calls LoadPixmap, LoadPixmapFromMemory or
// TPixmapStream.
//
// Every decoder distrusts its input: it returns false for bytes it does not
// recognise and for damaged or truncated files, and checks every size against the
// bytes present and kMaxPixmapSide before it allocates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/image.h"

// A complete JPEG spends at least one bit on every block of every component (its DC
// code), so it cannot hold more blocks than 8 per byte. libjpeg fills a scan that ends
// early with zeros, so without this ceiling a header alone could order a full-size
// image; with it the image stays in proportion to the file's scan data (comments and
// other marker segments do not count).
constexpr int64_t kMaxJpegBlocksPerByte = 8;
// Each JPEG scan walks every block of its components however few bytes it has (an
// end-of-band run covers 32767 blocks in a few bits), so the count of scans does not
// bound the work. Encoders' progressions walk each block 1 to 6 times; a decode may
// walk all the image's blocks this many times over.
constexpr int64_t kMaxJpegPasses = 16;

// A decoded image: rows packed, top row first, in one of the PixelFormat codes.
struct DecodedImage {
  int width = 0;
  int height = 0;
  int format = 0;
  PixelBytes pixels;  // as the decoder wrote them: it sets every byte it sizes
  std::vector<uint8_t*> rows;  // scratch for decoders that want row pointers
  // The work a JPEG decode did, whether it succeeded or not: blocks its scans walked.
  int64_t blocks_visited = 0;
  // Told how many rows, top first, are final, by a decoder that sizes its pixels whole
  // and then writes rows in place (JPEG, up to a size): first with 0 once the size,
  // format and pixels are set, then after each band. From the first call on the pixels
  // stay where they are, so another thread may read the final rows while the decode
  // goes on. Other decoders never call it.
  std::function<void(int rows)> rows_ready;
  bool rows_told = false;  // rows_ready was called
};

// Tries each decoder in turn (TGA, JPEG, PNG, BMP) on a fresh image, keeping the
// listener; true once one accepts the bytes. A decoder that already told rows is the
// last tried: its pixels may still be read, and no later decoder takes bytes that
// start as a JPEG's do.
bool DecodeAnyImage(const uint8_t* data, size_t size, DecodedImage* out);

// The whole file, for a decoder; false for a missing, unreadable or directory path, an
// empty file and one larger than any image the decoders take.
bool ReadImageFileBytes(const std::string& path, PixelBytes* bytes);

bool DecodeTga(const uint8_t* data, size_t size, DecodedImage* out);
bool DecodeJpeg(const uint8_t* data, size_t size, DecodedImage* out);
bool DecodePng(const uint8_t* data, size_t size, DecodedImage* out);
bool DecodeBmp(const uint8_t* data, size_t size, DecodedImage* out);
