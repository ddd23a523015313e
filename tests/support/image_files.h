// Encoders that make small image files for the image tests and the fuzz seed corpus:
// PNG through libpng, JPEG through libjpeg, TGA and BMP as hand-built bytes. Each
// returns the file's bytes; nothing here depends on the test framework. Also noise to
// fill images with, and a pixmap's pixels packed for comparing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// `rows` holds the PNG's raw scanlines, packed, top first, without filter bytes
// (16-bit samples big-endian). A palette is RGB triples; trns is the tRNS chunk body.
struct PngSpec {
  int width = 0, height = 0;
  int colour_type = 0;  // PNG_COLOR_TYPE_*
  int bit_depth = 8;
  bool interlaced = false;
  Bytes rows = {};
  Bytes palette = {};
  Bytes trns = {};
};
Bytes EncodePng(const PngSpec& spec);

// `pixels` packed, top row first, 1 (gray) or 3 (RGB) channels.
Bytes EncodeJpeg(int width, int height, int channels, const Bytes& pixels, int quality, bool progressive);

// A gray progressive JPEG of an all-black image, built by hand: a DC scan, then
// `scans - 1` AC scans of one coefficient each, in an order libjpeg takes without a
// warning (every coefficient first at Al 13, then refined bit by bit), so up to 882
// scans. Each AC scan is a few end-of-band runs whatever the image size: a small file
// that makes the decoder walk every block once per scan. With `dc_data` false the DC
// scan's data is left out, so the file is a header that promises width x height.
Bytes EncodeBlankProgressiveJpeg(int width, int height, int scans, bool dc_data = true);

// The file with `count` entropy-coded bytes removed from the end of scan `scan` (from
// 0), just before the marker that follows it, as some exporters write them.
Bytes DropScanTail(const Bytes& jpeg, int scan, size_t count);

// The file with comment segments of `bytes` bytes in all put right after its start
// marker: a larger file that codes nothing more.
Bytes WithJpegComments(const Bytes& jpeg, size_t bytes);

// libjpeg's own decode with its default settings, warnings collected instead of
// printed: RGB (or gray) rows packed, top first. `ok` is false when libjpeg gave up.
struct PlainJpeg {
  bool ok = false;
  int width = 0, height = 0, channels = 0;
  Bytes pixels;
  std::vector<int> warnings;  // libjpeg message codes (JWRN_*), in order
};
PlainJpeg DecodeJpegPlain(const Bytes& jpeg);

// A TGA header for `image_type` followed by `colour_map` and `data` as given (the
// caller writes pixels in the order the descriptor says, BGR(A), RLE packets and all).
struct TgaSpec {
  int image_type = 2;
  int width = 0, height = 0;
  int bits = 24;
  int descriptor = 0;  // 0x20 top row first, 0x10 right to left, low 4 bits alpha depth
  int map_first = 0, map_bits = 0;
  int map_length = 0;
  Bytes colour_map = {};
  Bytes data = {};
};
Bytes EncodeTga(const TgaSpec& spec);

// A BMP with a 40-byte info header, or a 108-byte one when masks are given
// (BI_BITFIELDS with red, green, blue, alpha). `rows` are unpadded file rows in file
// order (bottom first unless height < 0); the encoder pads each to 4 bytes.
struct BmpSpec {
  int width = 0, height = 0;
  int bits = 24;
  std::vector<uint32_t> masks = {};  // empty, or red, green, blue, alpha
  Bytes palette = {};                // BGRX quads
  std::vector<Bytes> rows = {};
};
Bytes EncodeBmp(const BmpSpec& spec);

bool WriteFileBytes(const std::string& path, const Bytes& bytes);

// A fixed run of pseudo-random numbers (a linear congruential generator), the same on
// every run: pixels that do not compress, bytes of every value.
class Noise {
 public:
  explicit Noise(uint32_t seed) : state_(seed) {}
  uint32_t Next() { return state_ = state_ * 1664525u + 1013904223u; }
  // `count` bytes, each the top byte of the next number.
  Bytes Take(size_t count) {
    Bytes out(count);
    for (uint8_t& b : out) b = uint8_t(Next() >> 24);
    return out;
  }

 private:
  uint32_t state_;
};

// The pixels of a TPixmap, row after row from the top, without the padding its pitch
// leaves. A template, so that the encoders above need not link the image library.
template <class Pixmap>
Bytes PackedBytes(const Pixmap& p) {
  Bytes out;
  for (int y = 0; y < p.Height(); ++y) out.insert(out.end(), p.Row(y), p.Row(y) + p.Width() * p.BytesPerPixel());
  return out;
}
