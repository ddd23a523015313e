// Image decoding, pixmap conversion, windows and resizing. The test writes every
// image it reads (image_files.h), so each expected pixel is known exactly.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <cstdio>  // jpeglib.h needs FILE
#include <jpeglib.h>
#include <jerror.h>
#include <png.h>

#include "support/image_files.h"
#include "platform/image.h"
#include "platform/image_decode.h"

namespace {

namespace fs = std::filesystem;

fs::path TempDir() {
  const char* root = std::getenv("VELMORA_TEST_TMP");
  fs::path dir = fs::path(root ? root : "tmp") / "platform_image";
  fs::create_directories(dir);
  return dir;
}

// A 3 x 2 image, top row first, with a different colour and alpha in every pixel.
constexpr int kW = 3, kH = 2;
const std::vector<Rgba> kPattern = {{255, 0, 0, 255},     {0, 255, 0, 128},   {0, 0, 255, 0},
                                    {255, 255, 255, 255}, {128, 128, 128, 64}, {10, 20, 30, 200}};
const std::vector<Rgba> kGray = {{0, 0, 0, 255},       {50, 50, 50, 128},   {100, 100, 100, 0},
                                 {150, 150, 150, 255}, {200, 200, 200, 64}, {250, 250, 250, 200}};

std::vector<Rgba> Opaque(std::vector<Rgba> v) {
  for (Rgba& c : v) c[3] = 255;
  return v;
}
std::vector<Rgba> BottomFirst(const std::vector<Rgba>& v) {
  std::vector<Rgba> out;
  for (int y = kH - 1; y >= 0; --y) out.insert(out.end(), v.begin() + y * kW, v.begin() + (y + 1) * kW);
  return out;
}
std::vector<Rgba> Mirrored(const std::vector<Rgba>& v) {
  std::vector<Rgba> out = v;
  for (int y = 0; y < kH; ++y) std::reverse(out.begin() + y * kW, out.begin() + (y + 1) * kW);
  return out;
}
// The pixels' bytes in the channel order given: 'r', 'g', 'b', 'a', or '0' for a zero byte.
Bytes Channels(const std::vector<Rgba>& v, const std::string& order) {
  Bytes out;
  for (const Rgba& c : v)
    for (char ch : order) out.push_back(ch == '0' ? 0 : c[std::string("rgba").find(ch)]);
  return out;
}
std::vector<Bytes> Rows(const Bytes& b, size_t row_bytes) {
  std::vector<Bytes> rows;
  for (size_t at = 0; at < b.size(); at += row_bytes) rows.emplace_back(b.begin() + at, b.begin() + at + row_bytes);
  return rows;
}
Bytes Cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

PixmapPtr Load(const std::string& name, const Bytes& bytes) {
  const fs::path path = TempDir() / name;
  if (!WriteFileBytes(path.string(), bytes)) return nullptr;
  return LoadPixmap(path.string());
}

struct DecodeCase {
  const char* name;
  const char* file;
  Bytes bytes;
  int format;
  std::vector<Rgba> expected;  // 3 x 2, top row first
};

std::vector<DecodeCase> DecodeCases() {
  const Bytes white = Channels({kPattern[3]}, "bgra");
  return {
      {"png rgba", "rgba.png", EncodePng({kW, kH, PNG_COLOR_TYPE_RGB_ALPHA, 8, false, Channels(kPattern, "rgba")}),
       kPixRgba8, kPattern},
      {"png rgb 16-bit", "rgb16.png", EncodePng({kW, kH, PNG_COLOR_TYPE_RGB, 16, false, Channels(kPattern, "rrggbb")}),
       kPixRgba8, Opaque(kPattern)},
      {"png gray+alpha interlaced", "ga.png", EncodePng({kW, kH, PNG_COLOR_TYPE_GRAY_ALPHA, 8, true, Channels(kGray, "ra")}),
       kPixGrayAlpha8, kGray},
      {"png palette with tRNS", "pal.png",
       EncodePng({kW, kH, PNG_COLOR_TYPE_PALETTE, 8, false, {0, 1, 2, 3, 4, 5}, Channels(kPattern, "rgb"),
                  Channels(kPattern, "a")}),
       kPixRgba8, kPattern},
      {"png gray 1-bit", "bits.png", EncodePng({kW, kH, PNG_COLOR_TYPE_GRAY, 1, false, {0xA0, 0x40}}), kPixGray8,
       {{255, 255, 255, 255}, {0, 0, 0, 255}, {255, 255, 255, 255}, {0, 0, 0, 255}, {255, 255, 255, 255}, {0, 0, 0, 255}}},
      {"png bytes named .tga", "really-png.tga",
       EncodePng({kW, kH, PNG_COLOR_TYPE_RGB_ALPHA, 8, false, Channels(kPattern, "rgba")}), kPixRgba8, kPattern},
      {"tga 24 bottom row first", "b24.tga", EncodeTga({.width = kW, .height = kH, .bits = 24, .data = Channels(BottomFirst(kPattern), "bgr")}),
       kPixRgba8, Opaque(kPattern)},
      {"tga 32 top row first", "t32.tga",
       EncodeTga({.width = kW, .height = kH, .bits = 32, .descriptor = 0x28, .data = Channels(kPattern, "bgra")}),
       kPixRgba8, kPattern},
      {"tga 32 right to left", "rl32.tga",
       EncodeTga({.width = kW, .height = kH, .bits = 32, .descriptor = 0x18,
                  .data = Channels(Mirrored(BottomFirst(kPattern)), "bgra")}),
       kPixRgba8, kPattern},
      {"tga 32 run-length", "rle.tga",
       EncodeTga({.image_type = 10, .width = kW, .height = kH, .bits = 32, .descriptor = 0x28,
                  .data = Cat(Cat(Bytes{0x02}, Channels({kPattern[0], kPattern[1], kPattern[2]}, "bgra")),
                              Cat(Bytes{0x82}, white))}),
       kPixRgba8, {kPattern[0], kPattern[1], kPattern[2], kPattern[3], kPattern[3], kPattern[3]}},
      {"tga colour-mapped", "map.tga",
       EncodeTga({.image_type = 1, .width = kW, .height = kH, .bits = 8, .descriptor = 0x28, .map_first = 2,
                  .map_bits = 32, .map_length = 6, .colour_map = Channels(kPattern, "bgra"), .data = {2, 3, 4, 5, 6, 7}}),
       kPixRgba8, kPattern},
      {"tga gray", "gray.tga",
       EncodeTga({.image_type = 3, .width = kW, .height = kH, .bits = 8, .data = Channels(BottomFirst(kGray), "r")}),
       kPixGray8, Opaque(kGray)},
      {"tga 16-bit with alpha bit", "t16.tga",
       EncodeTga({.width = kW, .height = kH, .bits = 16, .descriptor = 0x21,
                  .data = {0x00, 0xFC, 0xE0, 0x03, 0x1F, 0x80, 0xFF, 0xFF, 0x10, 0x42, 0x00, 0x80}}),
       kPixRgba8,
       {{255, 0, 0, 255}, {0, 255, 0, 0}, {0, 0, 255, 255}, {255, 255, 255, 255}, {132, 132, 132, 0}, {0, 0, 0, 255}}},
      {"bmp 24 padded rows", "b24.bmp",
       EncodeBmp({.width = kW, .height = kH, .bits = 24, .rows = Rows(Channels(BottomFirst(kPattern), "bgr"), 9)}),
       kPixRgba8, Opaque(kPattern)},
      {"bmp 32 with alpha mask, top row first", "a32.bmp",
       EncodeBmp({.width = kW, .height = -kH, .bits = 32, .masks = {0xFF0000, 0xFF00, 0xFF, 0xFF000000},
                  .rows = Rows(Channels(kPattern, "bgra"), 12)}),
       kPixRgba8, kPattern},
      {"bmp 32 plain, fourth byte zero", "x32.bmp",
       EncodeBmp({.width = kW, .height = kH, .bits = 32, .rows = Rows(Channels(BottomFirst(kPattern), "bgr0"), 12)}),
       kPixRgba8, Opaque(kPattern)},
      {"bmp 16-bit 5-6-5", "565.bmp",
       EncodeBmp({.width = kW, .height = -kH, .bits = 16, .masks = {0xF800, 0x07E0, 0x001F, 0},
                  .rows = {{0x00, 0xF8, 0xE0, 0x07, 0x1F, 0x00}, {0xFF, 0xFF, 0x10, 0x84, 0x00, 0x00}}}),
       kPixRgba8,
       {{255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}, {255, 255, 255, 255}, {132, 130, 132, 255}, {0, 0, 0, 255}}},
      {"bmp 8-bit palette", "p8.bmp",
       EncodeBmp({.width = kW, .height = kH, .bits = 8, .palette = Channels(kPattern, "bgr0"), .rows = {{3, 4, 5}, {0, 1, 2}}}),
       kPixRgba8, Opaque(kPattern)},
      {"bmp 4-bit palette", "p4.bmp",
       EncodeBmp({.width = kW, .height = kH, .bits = 4, .palette = Channels(kPattern, "bgr0"), .rows = {{0x34, 0x50}, {0x01, 0x20}}}),
       kPixRgba8, Opaque(kPattern)},
      {"bmp 1-bit palette", "p1.bmp",
       EncodeBmp({.width = kW, .height = kH, .bits = 1, .palette = {0, 0, 0, 0, 255, 255, 255, 0}, .rows = {{0x40}, {0xA0}}}),
       kPixRgba8,
       {{255, 255, 255, 255}, {0, 0, 0, 255}, {255, 255, 255, 255}, {0, 0, 0, 255}, {255, 255, 255, 255}, {0, 0, 0, 255}}},
  };
}

// Quadrants of one 16 x 16 block each, so chroma subsampling keeps them flat.
Bytes JpegQuadrants(bool progressive) {
  const Rgba colours[4] = {{255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}, {255, 255, 255, 255}};
  Bytes pixels;
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      const Rgba& c = colours[(y / 16) * 2 + x / 16];
      pixels.insert(pixels.end(), c.begin(), c.begin() + 3);
    }
  return EncodeJpeg(32, 32, 3, pixels, 95, progressive);
}

Bytes JpegGrayHalves() {
  Bytes pixels;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 16; ++x) pixels.push_back(x < 8 ? 40 : 200);
  return EncodeJpeg(16, 8, 1, pixels, 95, false);
}

TEST(LoadPixmap, DecodesEveryFormatTopRowFirst) {
  for (const DecodeCase& c : DecodeCases()) {
    SCOPED_TRACE(c.name);
    ASSERT_FALSE(c.bytes.empty());
    const PixmapPtr p = Load(c.file, c.bytes);
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(p->Width(), kW);
    ASSERT_EQ(p->Height(), kH);
    EXPECT_EQ(p->Format(), c.format);
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) EXPECT_EQ(p->ReadPixel(x, y), c.expected[y * kW + x]) << "at " << x << "," << y;
  }
}

TEST(LoadPixmap, DecodesJpegWithinLossyTolerance) {
  auto near = [](const Rgba& a, const Rgba& b) {
    for (int i = 0; i < 4; ++i)
      if (std::abs(a[i] - b[i]) > 6) return false;
    return true;
  };
  for (bool progressive : {false, true}) {
    SCOPED_TRACE(progressive ? "progressive" : "baseline");
    const PixmapPtr p = Load("quad.jpg", JpegQuadrants(progressive));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->Format(), kPixRgba8);
    EXPECT_PRED2(near, p->ReadPixel(8, 8), (Rgba{255, 0, 0, 255}));
    EXPECT_PRED2(near, p->ReadPixel(24, 8), (Rgba{0, 255, 0, 255}));
    EXPECT_PRED2(near, p->ReadPixel(8, 24), (Rgba{0, 0, 255, 255}));
    EXPECT_PRED2(near, p->ReadPixel(24, 24), (Rgba{255, 255, 255, 255}));
  }
  const PixmapPtr gray = Load("gray.jpg", JpegGrayHalves());
  ASSERT_NE(gray, nullptr);
  EXPECT_EQ(gray->Format(), kPixGray8);
  EXPECT_PRED2(near, gray->ReadPixel(3, 4), (Rgba{40, 40, 40, 255}));
  EXPECT_PRED2(near, gray->ReadPixel(12, 4), (Rgba{200, 200, 200, 255}));
}

// A progressive photo-like picture whose scans all carry data.
Bytes JpegPicture(int width, int height) {
  Bytes pixels;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < 3; ++c) pixels.push_back(static_cast<uint8_t>((x * 7 + y * 3 + c * 50 + (x * y) % 23) & 255));
  return EncodeJpeg(width, height, 3, pixels, 90, true);
}

TEST(LoadPixmap, JpegWithAScanEndingEarlyDecodesAsLibjpegDeliversIt) {
  const Bytes whole = JpegPicture(48, 40);
  const struct {
    int scan;
    size_t dropped;
  } cases[] = {{0, 3}, {2, 4}, {5, 2}, {9, 6}};  // the first DC scan, AC scans, the last scan
  for (const auto& c : cases) {
    SCOPED_TRACE("scan " + std::to_string(c.scan) + ", " + std::to_string(c.dropped) + " bytes dropped");
    const Bytes damaged = DropScanTail(whole, c.scan, c.dropped);
    ASSERT_EQ(damaged.size(), whole.size() - c.dropped);
    const PlainJpeg reference = DecodeJpegPlain(damaged);
    ASSERT_TRUE(reference.ok);
    ASSERT_FALSE(reference.warnings.empty());
    for (int code : reference.warnings) ASSERT_EQ(code, JWRN_HIT_MARKER);
    const PixmapPtr p = LoadPixmapFromMemory(damaged.data(), damaged.size());
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(p->Width(), reference.width);
    ASSERT_EQ(p->Height(), reference.height);
    int differing = 0;
    for (int y = 0; y < p->Height(); ++y)
      for (int x = 0; x < p->Width(); ++x) {
        const uint8_t* want = &reference.pixels[(static_cast<size_t>(y) * p->Width() + x) * 3];
        differing += p->ReadPixel(x, y) != Rgba{want[0], want[1], want[2], 255};
      }
    EXPECT_EQ(differing, 0);
  }
  // Cut short, the same file is refused: libjpeg calls that the premature end of the file.
  const Bytes damaged = DropScanTail(whole, 2, 4);
  const Bytes cut(damaged.begin(), damaged.begin() + static_cast<long>(damaged.size() / 2));
  const std::vector<int> warnings = DecodeJpegPlain(cut).warnings;
  ASSERT_NE(std::find(warnings.begin(), warnings.end(), JWRN_JPEG_EOF), warnings.end());
  EXPECT_EQ(LoadPixmapFromMemory(cut.data(), cut.size()), nullptr);
}

// Scans are charged by the blocks they walk before each is decoded, and a header whose
// image the file's bytes could not have coded is refused before any scan.
TEST(LoadPixmap, JpegWorkIsBoundedByTheImageAndTheFile) {
  const int64_t side_blocks = 1024 / 8 * (1024 / 8);
  const struct {
    const char* name;
    Bytes bytes;
    bool decodes;
    int64_t most_visits;  // blocks the decode may walk
  } cases[] = {
      {"encoder's progression", JpegPicture(256, 256), true, 10 * 256 / 8 * (256 / 8)},
      {"as many full scans as allowed", EncodeBlankProgressiveJpeg(1024, 1024, kMaxJpegPasses), true,
       kMaxJpegPasses * side_blocks},
      {"one scan more", EncodeBlankProgressiveJpeg(1024, 1024, kMaxJpegPasses + 1), false,
       (kMaxJpegPasses + 1) * side_blocks},
      {"500 scans", EncodeBlankProgressiveJpeg(1024, 1024, 500), false, (kMaxJpegPasses + 1) * side_blocks},
      {"one bit per block, the least a whole file spends", EncodeBlankProgressiveJpeg(4096, 4096, 2), true,
       2 * 512 * 512},
      {"a header promising 16384 x 16384", EncodeBlankProgressiveJpeg(16384, 16384, 500, false), false, 0},
      {"a header behind comments as large as its blocks need",
       WithJpegComments(EncodeBlankProgressiveJpeg(4096, 4096, 2, false), 512 * 512 / kMaxJpegBlocksPerByte), false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DecodedImage image;
    EXPECT_EQ(DecodeJpeg(c.bytes.data(), c.bytes.size(), &image), c.decodes);
    EXPECT_LE(image.blocks_visited, c.most_visits);
  }
  // The 500-scan file is valid: libjpeg itself decodes it without a warning, walking
  // every scan. It is refused for its work alone.
  const Bytes many = EncodeBlankProgressiveJpeg(1024, 1024, 500);
  const PlainJpeg plain = DecodeJpegPlain(many);
  EXPECT_TRUE(plain.ok && plain.warnings.empty());
}

TEST(LoadPixmap, EveryTruncationIsRejected) {
  std::vector<std::pair<std::string, Bytes>> files;
  for (const DecodeCase& c : DecodeCases()) files.emplace_back(c.name, c.bytes);
  files.emplace_back("jpeg baseline", JpegQuadrants(false));
  files.emplace_back("jpeg progressive", JpegQuadrants(true));
  files.emplace_back("jpeg with a scan ending early", DropScanTail(JpegQuadrants(true), 0, 2));
  for (const auto& [name, bytes] : files) {
    ASSERT_NE(LoadPixmapFromMemory(bytes.data(), bytes.size()), nullptr) << name;
    for (size_t n = 0; n < bytes.size(); ++n)
      if (LoadPixmapFromMemory(bytes.data(), n)) ADD_FAILURE() << name << " cut to " << n << " of " << bytes.size();
  }
}

TEST(LoadPixmap, RejectsWhatNoDecoderAccepts) {
  const Bytes png = EncodePng({kW, kH, PNG_COLOR_TYPE_RGB_ALPHA, 8, false, Channels(kPattern, "rgba")});
  Bytes png_bad_crc = png;
  png_bad_crc[std::search(png.begin(), png.end(), std::begin("IDAT"), std::end("IDAT") - 1) - png.begin() + 6] ^= 0x55;
  const Bytes at_ceiling = EncodePng({kMaxPixmapSide, 1, PNG_COLOR_TYPE_GRAY, 1, false, {}});
  const Bytes over_ceiling = EncodePng({kMaxPixmapSide + 1, 1, PNG_COLOR_TYPE_GRAY, 1, false, {}});
  ASSERT_NE(LoadPixmapFromMemory(at_ceiling.data(), at_ceiling.size()), nullptr);
  Bytes bmp_rle = EncodeBmp({.width = kW, .height = kH, .bits = 8, .palette = Channels(kPattern, "bgr0"), .rows = {{0, 1, 2}, {3, 4, 5}}});
  bmp_rle[30] = 1;  // BI_RLE8

  const struct {
    const char* name;
    Bytes bytes;
  } cases[] = {
      {"empty", {}},
      {"text", {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'}},
      {"png with a damaged chunk", png_bad_crc},
      {"png wider than the ceiling", over_ceiling},
      {"tga index outside the map",
       EncodeTga({.image_type = 1, .width = kW, .height = kH, .bits = 8, .map_first = 2, .map_bits = 24, .map_length = 6,
                  .colour_map = Channels(kPattern, "bgr"), .data = {2, 3, 4, 5, 6, 8}})},
      {"tga of zero width", EncodeTga({.width = 0, .height = kH, .bits = 24, .data = Bytes(18, 0)})},
      {"tga run past the last pixel",
       EncodeTga({.image_type = 10, .width = kW, .height = kH, .bits = 24, .data = Cat({0x87}, {1, 2, 3})})},
      {"bmp index outside the palette",
       EncodeBmp({.width = kW, .height = kH, .bits = 8, .palette = {0, 0, 0, 0, 9, 9, 9, 0}, .rows = {{0, 1, 2}, {0, 1, 1}}})},
      {"bmp run-length compressed", bmp_rle},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Load("bad.img", c.bytes), nullptr) << c.name;
    EXPECT_EQ(LoadPixmapFromMemory(c.bytes.data(), c.bytes.size()), nullptr) << c.name;
  }
  EXPECT_EQ(LoadPixmap((TempDir() / "no such file.png").string()), nullptr);
  EXPECT_EQ(LoadPixmap(TempDir().string()), nullptr) << "a directory";
  EXPECT_EQ(LoadPixmap(""), nullptr);
}

PixmapPtr Filled(int width, int height, int format, const Bytes& bytes) {
  PixmapPtr p = CreatePixmap(width, height, format, 1);
  std::copy(bytes.begin(), bytes.end(), p->Pixels());
  return p;
}

TEST(Pixmap, CreateSizesRowsAndRefusesBadArguments) {
  const struct {
    int width, height, format, align;
    int pitch;  // -1: null
  } cases[] = {
      {3, 2, kPixRgb8, 4, 12}, {3, 2, kPixRgb8, 1, 9},        {3, 2, kPixRgb8, 3, 9},  // odd align counts as 1
      {5, 1, kPixGray8, 8, 8}, {2, 2, kPixRgba8, 4, 8},       {0, 0, kPixRgba8, 4, 0},
      {-1, 1, kPixRgba8, 4, -1}, {1, 1, 3, 4, -1},
      // The ceiling is on the pixels: a strip may be wider than any decoded image.
      {kMaxPixmapSide + 1, 1, kPixGray8, 1, kMaxPixmapSide + 1}, {kMaxPixmapSide + 1, kMaxPixmapSide, kPixGray8, 1, -1},
      {INT_MAX, 0, kPixRgba8, 4, -1}, {0, INT_MAX, kPixRgba8, 4, -1},
  };
  for (const auto& c : cases) {
    const PixmapPtr p = CreatePixmap(c.width, c.height, c.format, c.align);
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " format " << c.format << " align " << c.align);
    if (c.pitch < 0) {
      EXPECT_EQ(p, nullptr);
      continue;
    }
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->Pitch(), c.pitch);
    for (int y = 0; y < c.height; ++y)
      for (int x = 0; x < c.width; ++x) EXPECT_EQ(p->ReadPixel(x, y)[3], c.format == kPixRgba8 ? 0 : 255);
  }
}

TEST(Pixmap, ConvertsBetweenFormats) {
  const struct {
    int from;
    Bytes pixel;
    int to;
    Bytes expected;
  } cases[] = {
      {kPixGray8, {77}, kPixRgba8, {77, 77, 77, 255}},
      {kPixGrayAlpha8, {77, 10}, kPixRgba8, {77, 77, 77, 10}},
      {kPixRgb8, {1, 2, 3}, kPixRgba8, {1, 2, 3, 255}},
      {kPixRgba8, {1, 2, 3, 4}, kPixRgba8, {1, 2, 3, 4}},
      {kPixRgba8, {10, 20, 30, 40}, kPixRgb8, {10, 20, 30}},
      {kPixRgba8, {255, 0, 0, 9}, kPixGray8, {76}},
      {kPixRgba8, {0, 255, 0, 9}, kPixGrayAlpha8, {150, 9}},
  };
  for (const auto& c : cases) {
    const PixmapPtr out = Filled(1, 1, c.from, c.pixel)->Convert(c.to);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->Format(), c.to);
    EXPECT_EQ(PackedBytes(*out), c.expected) << "format " << c.from << " to " << c.to;
  }
  EXPECT_EQ(Filled(1, 1, kPixRgb8, {1, 2, 3})->Convert(3), nullptr);
}

TEST(Pixmap, WindowSharesPixelsAndPitch) {
  const PixmapPtr image = CreatePixmap(4, 3, kPixRgba8, 4);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) image->WritePixel(x, y, {uint8_t(x), uint8_t(y), 7, 255});
  const PixmapPtr window = image->Window(1, 1, 2, 2);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->Width(), 2);
  EXPECT_EQ(window->Pitch(), image->Pitch());
  EXPECT_EQ(window->ReadPixel(0, 0), (Rgba{1, 1, 7, 255}));
  EXPECT_EQ(window->ReadPixel(1, 1), (Rgba{2, 2, 7, 255}));
  EXPECT_EQ(window->ReadPixel(2, 0), (Rgba{0, 0, 0, 0})) << "outside the window, though inside the image";

  window->WritePixel(1, 0, {9, 9, 9, 9});
  window->WritePixel(2, 0, {5, 5, 5, 5});  // outside: ignored
  EXPECT_EQ(image->ReadPixel(2, 1), (Rgba{9, 9, 9, 9}));
  EXPECT_EQ(image->ReadPixel(3, 1), (Rgba{3, 1, 7, 255}));
  EXPECT_EQ(window->Window(1, 1, 1, 1)->ReadPixel(0, 0), (Rgba{2, 2, 7, 255}));

  const PixmapPtr packed = window->Convert(kPixRgba8);
  EXPECT_EQ(packed->Pitch(), 8);
  EXPECT_EQ(packed->ReadPixel(1, 0), (Rgba{9, 9, 9, 9}));
  packed->WritePixel(0, 0, {0, 0, 0, 0});
  EXPECT_EQ(image->ReadPixel(1, 1), (Rgba{1, 1, 7, 255})) << "a conversion has its own pixels";

  const struct {
    int x, y, width, height;
  } outside[] = {{-1, 0, 1, 1}, {0, -1, 1, 1}, {0, 0, 5, 1}, {3, 0, 2, 1}, {0, 2, 1, 2}, {0, 0, -1, 1}};
  for (const auto& c : outside)
    EXPECT_EQ(image->Window(c.x, c.y, c.width, c.height), nullptr) << c.x << "," << c.y << " " << c.width << "x" << c.height;
  EXPECT_NE(image->Window(4, 3, 0, 0), nullptr) << "an empty window at the far corner";
}

TEST(Pixmap, ResizeAveragesWhenShrinkingAndInterpolatesWhenGrowing) {
  const struct {
    const char* name;
    int format, width, height;
    Bytes pixels;
    int new_width, new_height;
    Bytes expected;
  } cases[] = {
      {"halving is the 2x2 mean", kPixGray8, 2, 2, {0, 100, 200, 60}, 1, 1, {90}},
      {"halving rounds half up", kPixGray8, 2, 2, {0, 0, 1, 1}, 1, 1, {1}},
      {"halving one axis", kPixGray8, 2, 2, {10, 20, 30, 41}, 2, 1, {20, 31}},
      {"halving keeps channels apart", kPixRgb8, 2, 1, {0, 10, 20, 100, 110, 120}, 1, 1, {50, 60, 70}},
      {"halving RGBA: each channel its own mean, rounded half up", kPixRgba8, 4, 2,
       {255, 0, 1, 10, 255, 0, 1, 11, 0, 1, 2, 3, 4, 5, 6, 7,  //
        255, 0, 0, 12, 255, 0, 0, 13, 8, 9, 10, 11, 12, 13, 14, 200},
       2, 1, {255, 0, 1, 12, 6, 7, 8, 55}},
      {"halving RGBA in width only", kPixRgba8, 4, 1, {0, 0, 0, 0, 1, 1, 1, 1, 255, 255, 255, 255, 254, 254, 254, 254},
       2, 1, {1, 1, 1, 1, 255, 255, 255, 255}},
      {"shrink by two", kPixGray8, 4, 1, {0, 0, 255, 255}, 2, 1, {0, 255}},
      {"shrink by 1.5 weighs partial cover", kPixGray8, 3, 1, {0, 90, 180}, 2, 1, {30, 150}},
      {"five to one", kPixGray8, 5, 1, {10, 20, 30, 40, 50}, 1, 1, {30}},
      {"grow is bilinear between centres", kPixGray8, 2, 1, {0, 255}, 4, 1, {0, 64, 191, 255}},
      {"grow one pixel", kPixGrayAlpha8, 1, 1, {7, 8}, 3, 2, {7, 8, 7, 8, 7, 8, 7, 8, 7, 8, 7, 8}},
      {"shrink one axis, grow the other", kPixGray8, 2, 1, {0, 200}, 1, 2, {100, 100}},
      {"same size copies", kPixGray8, 3, 1, {1, 2, 3}, 3, 1, {1, 2, 3}},
  };
  for (const auto& c : cases) {
    const PixmapPtr out = ResizePixmap(*Filled(c.width, c.height, c.format, c.pixels), c.new_width, c.new_height);
    ASSERT_NE(out, nullptr) << c.name;
    EXPECT_EQ(out->Format(), c.format) << c.name;
    EXPECT_EQ(PackedBytes(*out), c.expected) << c.name;
  }
  const PixmapPtr source = Filled(2, 2, kPixGray8, {1, 2, 3, 4});
  EXPECT_EQ(ResizePixmap(*source, 0, 1), nullptr);
  EXPECT_EQ(ResizePixmap(*source, 1, kMaxPixmapSide + 1), nullptr);
  EXPECT_EQ(ResizePixmap(*CreatePixmap(0, 0, kPixGray8), 1, 1), nullptr);
}

// Wide RGBA rows are halved several pixels at a time with a scalar tail: every width
// and every byte value must give the rounded mean of its four bytes, as narrow rows do.
TEST(Pixmap, HalvingRgbaIsTheRoundedMeanAtEveryWidth) {
  Noise noise(7);
  for (int width = 2; width <= 42; width += 2) {
    Bytes pixels(size_t(width) * 2 * 4);
    for (uint8_t& b : pixels) {
      const uint32_t n = noise.Next();
      b = (n >> 24) < 40 ? 255 : (n >> 24) < 80 ? 0 : uint8_t(n >> 16);  // many extremes
    }
    const PixmapPtr out = ResizePixmap(*Filled(width, 2, kPixRgba8, pixels), width / 2, 1);
    ASSERT_NE(out, nullptr);
    int wrong = 0;
    for (int x = 0; x < width / 2; ++x)
      for (int c = 0; c < 4; ++c) {
        auto at = [&](int px, int row) { return int(pixels[(size_t(row) * width + px) * 4 + c]); };
        const int mean = (at(2 * x, 0) + at(2 * x + 1, 0) + at(2 * x, 1) + at(2 * x + 1, 1) + 2) >> 2;
        wrong += out->Row(0)[x * 4 + c] != mean;
      }
    EXPECT_EQ(wrong, 0) << "width " << width;
  }
}

// Textures halve level 0 band by band as it is decoded: any split into bands, into the
// matching windows of one result, gives the whole halving byte for byte.
TEST(Pixmap, HalvingInBandsEqualsHalvingTheWhole) {
  Noise noise(99);
  const struct {
    int width, height;
    std::vector<int> bands;  // source rows per band
  } cases[] = {
      {24, 16, {16}},
      {24, 16, {2, 6, 8}},
      {10, 12, {4, 4, 4}},
      {16, 1, {1}},  // one row stays one row
  };
  for (const auto& c : cases) {
    const Bytes pixels = noise.Take(size_t(c.width) * c.height * 4);
    const PixmapPtr source = Filled(c.width, c.height, kPixRgba8, pixels);
    const int half_h = c.height > 1 ? c.height / 2 : 1, step = c.height / half_h;
    const PixmapPtr whole = ResizePixmap(*source, c.width / 2, half_h);
    const PixmapPtr banded = CreatePixmap(c.width / 2, half_h, kPixRgba8);
    int row = 0;
    for (const int rows : c.bands) {
      ASSERT_TRUE(ResizePixmapInto(*source->Window(0, row, c.width, rows),
                                   banded->Window(0, row / step, c.width / 2, rows / step).get()));
      row += rows;
    }
    EXPECT_EQ(PackedBytes(*banded), PackedBytes(*whole)) << c.width << " x " << c.height;
  }
  const PixmapPtr gray = CreatePixmap(2, 2, kPixGray8);
  EXPECT_FALSE(ResizePixmapInto(*gray, CreatePixmap(1, 1, kPixRgba8).get())) << "formats differ";
}

TEST(Pixmap, ResizeReadsWindowsThroughTheirPitch) {
  const PixmapPtr image = Filled(4, 2, kPixGray8, {9, 10, 20, 9, 9, 30, 40, 9});
  const PixmapPtr out = ResizePixmap(*image->Window(1, 0, 2, 2), 1, 1);
  EXPECT_EQ(PackedBytes(*out), Bytes{25});
}

}  // namespace
