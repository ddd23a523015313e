// Pixmaps: creation, pixel access, format conversion, windows, resampling, and the
// file loading that runs the decoders of image_decode.cpp.
#include "platform/image.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>

#if defined(__SSE2__) && !defined(VELMORA_PORTABLE_LANES)
#include <emmintrin.h>
#endif

#include "platform/image_decode.h"

namespace {

// Larger files are not read at all; the largest image we accept is 1 GiB of pixels,
// and no format stores it in more than twice that.
constexpr uintmax_t kMaxImageFileBytes = uintmax_t{2} << 30;

// Each side alone within the ceiling too: an empty pixmap a billion pixels wide would
// still overflow its row pitch.
bool PixelCountInRange(int width, int height) {
  return width >= 0 && height >= 0 && width <= kMaxPixmapPixels && height <= kMaxPixmapPixels &&
         int64_t{width} * height <= kMaxPixmapPixels;
}

uint8_t Luminance(const Rgba& c) {
  return static_cast<uint8_t>((299 * c[0] + 587 * c[1] + 114 * c[2] + 500) / 1000);
}

}  // namespace

int BytesPerPixel(int format) {
  switch (format) {
    case kPixGray8: return 1;
    case kPixGrayAlpha8: return 2;
    case kPixRgb8: return 3;
    case kPixRgba8: return 4;
    default: return 0;
  }
}

// ---------------------------------------------------------------------------------
// Creation and pixel access

PixmapPtr TPixmap::Adopt(int width, int height, int format, int pitch, PixelBytes pixels) {
  auto storage = std::make_shared<PixelBytes>(std::move(pixels));
  return PixmapPtr(new TPixmap(width, height, format, pitch, std::move(storage), 0));
}

PixmapPtr CreatePixmap(int width, int height, int format, int align) {
  const int bpp = BytesPerPixel(format);
  if (bpp == 0 || !PixelCountInRange(width, height)) return nullptr;
  if (align != 1 && align != 2 && align != 4 && align != 8) align = 1;
  const int pitch = (width * bpp + align - 1) / align * align;
  PixelBytes pixels;
  try {
    pixels.assign(static_cast<size_t>(pitch) * height, 0);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  return TPixmap::Adopt(width, height, format, pitch, std::move(pixels));
}

PixmapPtr UnsetPixmap(int width, int height, int format) {
  const int bpp = BytesPerPixel(format);
  if (bpp == 0 || !PixelCountInRange(width, height)) return nullptr;
  PixelBytes pixels;
  try {
    pixels.resize(static_cast<size_t>(width) * bpp * height);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  return TPixmap::Adopt(width, height, format, width * bpp, std::move(pixels));
}

Rgba TPixmap::ReadPixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return {0, 0, 0, 0};
  const uint8_t* p = Row(y) + static_cast<size_t>(x) * BytesPerPixel();
  switch (format_) {
    case kPixGray8: return {p[0], p[0], p[0], 255};
    case kPixGrayAlpha8: return {p[0], p[0], p[0], p[1]};
    case kPixRgb8: return {p[0], p[1], p[2], 255};
    default: return {p[0], p[1], p[2], p[3]};
  }
}

void TPixmap::WritePixel(int x, int y, Rgba colour) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  uint8_t* p = Row(y) + static_cast<size_t>(x) * BytesPerPixel();
  switch (format_) {
    case kPixGray8: p[0] = Luminance(colour); break;
    case kPixGrayAlpha8: p[0] = Luminance(colour); p[1] = colour[3]; break;
    case kPixRgb8: std::memcpy(p, colour.data(), 3); break;
    default: std::memcpy(p, colour.data(), 4); break;
  }
}

PixmapPtr TPixmap::Convert(int format) const {
  PixmapPtr out = UnsetPixmap(width_, height_, format);
  if (!out) return nullptr;
  const size_t n = static_cast<size_t>(width_);
  for (int y = 0; y < height_; ++y) {
    const uint8_t* src = Row(y);
    uint8_t* dst = out->Row(y);
    // Every texture load converts to RGBA, so those conversions get plain loops.
    if (format == format_) {
      std::memcpy(dst, src, n * BytesPerPixel());
    } else if (format == kPixRgba8 && format_ == kPixRgb8) {
      for (size_t x = 0; x < n; ++x, src += 3, dst += 4) dst[0] = src[0], dst[1] = src[1], dst[2] = src[2], dst[3] = 255;
    } else if (format == kPixRgba8 && format_ == kPixGray8) {
      for (size_t x = 0; x < n; ++x, dst += 4) dst[0] = dst[1] = dst[2] = src[x], dst[3] = 255;
    } else if (format == kPixRgba8 && format_ == kPixGrayAlpha8) {
      for (size_t x = 0; x < n; ++x, src += 2, dst += 4) dst[0] = dst[1] = dst[2] = src[0], dst[3] = src[1];
    } else {
      for (int x = 0; x < width_; ++x) out->WritePixel(x, y, ReadPixel(x, y));
    }
  }
  return out;
}

PixmapPtr TPixmap::Copy() const { return Convert(format_); }

PixmapPtr TPixmap::Window(int x, int y, int width, int height) const {
  if (x < 0 || y < 0 || width < 0 || height < 0 || x > width_ - width || y > height_ - height) return nullptr;
  const size_t offset = offset_ + static_cast<size_t>(y) * pitch_ + static_cast<size_t>(x) * BytesPerPixel();
  return PixmapPtr(new TPixmap(width, height, format_, pitch_, storage_, offset));
}

// ---------------------------------------------------------------------------------
// Resampling
//
// Separable: each output coordinate on an axis takes a weighted sum of source
// coordinates (its taps). Rows are done one at a time, vertical weights first, so the
// only scratch is one float row of the source width.

namespace {

struct Tap {
  int index;
  float weight;
};

// taps[i] lists the source samples of output coordinate i.
std::vector<std::vector<Tap>> AxisTaps(int source, int target) {
  std::vector<std::vector<Tap>> taps(target);
  const double scale = static_cast<double>(source) / target;
  for (int i = 0; i < target; ++i) {
    if (target >= source) {
      // Bilinear between the two nearest source centres, clamped at the edges.
      const double c = (i + 0.5) * scale - 0.5;
      const int i0 = static_cast<int>(std::floor(c));
      const float f = static_cast<float>(c - i0);
      taps[i].push_back({std::clamp(i0, 0, source - 1), 1.0f - f});
      taps[i].push_back({std::clamp(i0 + 1, 0, source - 1), f});
    } else {
      // Box: every source sample weighted by how much of it the output cell covers.
      const double start = i * scale, end = (i + 1) * scale;
      const int last = std::min(source, static_cast<int>(std::ceil(end)));
      for (int j = static_cast<int>(std::floor(start)); j < last; ++j) {
        const double cover = std::min(end, j + 1.0) - std::max(start, static_cast<double>(j));
        if (cover > 0) taps[i].push_back({j, static_cast<float>(cover / scale)});
      }
    }
  }
  return taps;
}

// Two RGBA pixels side by side in each of two rows give one pixel: per channel the
// mean of four bytes, rounded half up, as the general loop below computes it. The bytes
// are summed in 16-bit lanes of one 64-bit word (four bytes sum to at most 1020), which
// gives the same result on either byte order since each lane holds one byte position.
// Where the SSE2 form below is built it takes only the pixels of a row past a multiple of
// four; elsewhere, and with the portable lanes, whole rows.
void HalveRgbaPixels(const uint8_t* top, const uint8_t* bottom, uint8_t* dst, int width) {
  constexpr uint64_t kLanes = 0x00FF00FF00FF00FFull;
  for (int x = 0; x < width; ++x, top += 8, bottom += 8, dst += 4) {
    uint64_t t, b;
    std::memcpy(&t, top, 8);
    std::memcpy(&b, bottom, 8);
    uint64_t even = (t & kLanes) + (b & kLanes);
    uint64_t odd = ((t >> 8) & kLanes) + ((b >> 8) & kLanes);
    even += even >> 32;  // the left pixel's bytes plus the right one's
    odd += odd >> 32;
    const uint32_t lanes = 0x00FF00FFu;
    const uint32_t out = ((static_cast<uint32_t>(even) + 0x00020002u) >> 2 & lanes) |
                         ((static_cast<uint32_t>(odd) + 0x00020002u) >> 2 & lanes) << 8;
    std::memcpy(dst, &out, 4);
  }
}

#if defined(__SSE2__) && !defined(VELMORA_PORTABLE_LANES)
// The same sums four output pixels at a time in 16-bit lanes, for the rows that make
// a large texture's first levels; the rest of a row goes through the loop above.
void HalveRgbaRow(const uint8_t* top, const uint8_t* bottom, uint8_t* dst, int width) {
  const __m128i zero = _mm_setzero_si128(), two = _mm_set1_epi16(2);
  int x = 0;
  for (; x + 4 <= width; x += 4, top += 32, bottom += 32, dst += 16) {
    const __m128i t0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(top));
    const __m128i t1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(top + 16));
    const __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bottom));
    const __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bottom + 16));
    // Each holds two source pixels' column sums, as 16-bit lanes.
    const __m128i s0 = _mm_add_epi16(_mm_unpacklo_epi8(t0, zero), _mm_unpacklo_epi8(b0, zero));
    const __m128i s1 = _mm_add_epi16(_mm_unpackhi_epi8(t0, zero), _mm_unpackhi_epi8(b0, zero));
    const __m128i s2 = _mm_add_epi16(_mm_unpacklo_epi8(t1, zero), _mm_unpacklo_epi8(b1, zero));
    const __m128i s3 = _mm_add_epi16(_mm_unpackhi_epi8(t1, zero), _mm_unpackhi_epi8(b1, zero));
    // Left pixel plus right pixel: two output pixels per register.
    const __m128i o01 = _mm_add_epi16(_mm_unpacklo_epi64(s0, s1), _mm_unpackhi_epi64(s0, s1));
    const __m128i o23 = _mm_add_epi16(_mm_unpacklo_epi64(s2, s3), _mm_unpackhi_epi64(s2, s3));
    const __m128i mean01 = _mm_srli_epi16(_mm_add_epi16(o01, two), 2);
    const __m128i mean23 = _mm_srli_epi16(_mm_add_epi16(o23, two), 2);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_packus_epi16(mean01, mean23));
  }
  HalveRgbaPixels(top, bottom, dst, width - x);
}
#else
void HalveRgbaRow(const uint8_t* top, const uint8_t* bottom, uint8_t* dst, int width) {
  HalveRgbaPixels(top, bottom, dst, width);
}
#endif

// Each mip level halves the one before, so halving (on one axis or both) takes an
// integer path: the mean of a 2 x 2 block, where on an axis that keeps its size the
// one sample counts twice. It gives exactly what the general path gives (weights of
// 1/2 and 1/4 are exact in float, and both round half up).
void HalveExactly(const TPixmap& source, TPixmap* out) {
  const int bpp = source.BytesPerPixel();
  const int sx = source.Width() / out->Width(), sy = source.Height() / out->Height();
  const int next = (sx - 1) * bpp;  // to the second sample of a row, or to the same one
  for (int y = 0; y < out->Height(); ++y) {
    const uint8_t* top = source.Row(y * sy);
    const uint8_t* bottom = source.Row(y * sy + sy - 1);
    uint8_t* dst = out->Row(y);
    if (bpp == 4 && sx == 2) {
      HalveRgbaRow(top, bottom, dst, out->Width());
      continue;
    }
    for (int x = 0; x < out->Width(); ++x, dst += bpp) {
      const int i = x * sx * bpp;
      for (int c = 0; c < bpp; ++c)
        dst[c] = static_cast<uint8_t>((top[i + c] + top[i + next + c] + bottom[i + c] + bottom[i + next + c] + 2) >> 2);
    }
  }
}

}  // namespace

PixmapPtr ResizePixmap(const TPixmap& source, int width, int height) {
  if (width < 1 || height < 1 || width > kMaxPixmapSide || height > kMaxPixmapSide) return nullptr;
  if (source.Width() < 1 || source.Height() < 1) return nullptr;
  PixmapPtr out = UnsetPixmap(width, height, source.Format());
  if (!out || !ResizePixmapInto(source, out.get())) return nullptr;
  return out;
}

bool ResizePixmapInto(const TPixmap& source, TPixmap* out) {
  if (source.Width() < 1 || source.Height() < 1 || out->Format() != source.Format()) return false;
  const int width = out->Width(), height = out->Height();
  if (width < 1 || height < 1 || width > kMaxPixmapSide || height > kMaxPixmapSide) return false;
  const bool halve_x = source.Width() == 2 * width || source.Width() == width;
  const bool halve_y = source.Height() == 2 * height || source.Height() == height;
  if (halve_x && halve_y) {
    HalveExactly(source, out);
    return true;
  }
  const int bpp = source.BytesPerPixel();
  const auto xtaps = AxisTaps(source.Width(), width);
  const auto ytaps = AxisTaps(source.Height(), height);
  std::vector<float> column_sums(static_cast<size_t>(source.Width()) * bpp);
  for (int y = 0; y < height; ++y) {
    std::fill(column_sums.begin(), column_sums.end(), 0.0f);
    for (const Tap& ty : ytaps[y]) {
      const uint8_t* row = source.Row(ty.index);
      for (size_t k = 0; k < column_sums.size(); ++k) column_sums[k] += ty.weight * row[k];
    }
    uint8_t* dst = out->Row(y);
    for (int x = 0; x < width; ++x) {
      for (int c = 0; c < bpp; ++c) {
        float v = 0.0f;
        for (const Tap& tx : xtaps[x]) v += tx.weight * column_sums[static_cast<size_t>(tx.index) * bpp + c];
        dst[x * bpp + c] = static_cast<uint8_t>(std::clamp(v + 0.5f, 0.0f, 255.0f));
      }
    }
  }
  return true;
}

// ---------------------------------------------------------------------------------
// Loading

PixmapPtr LoadPixmapFromMemory(const uint8_t* data, size_t size) {
  if (!data || size == 0) return nullptr;
  DecodedImage image;
  if (!DecodeAnyImage(data, size, &image)) return nullptr;
  const int pitch = image.width * BytesPerPixel(image.format);
  return TPixmap::Adopt(image.width, image.height, image.format, pitch, std::move(image.pixels));
}

bool ReadImageFileBytes(const std::string& path, PixelBytes* bytes) {
  std::error_code error;
  if (path.empty() || !std::filesystem::is_regular_file(path, error)) return false;
  const uintmax_t size = std::filesystem::file_size(path, error);
  if (error || size == 0 || size > kMaxImageFileBytes) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  try {
    bytes->resize(static_cast<size_t>(size));  // read over in full, so not zeroed first
  } catch (const std::bad_alloc&) {
    return false;
  }
  return static_cast<bool>(in.read(reinterpret_cast<char*>(bytes->data()), static_cast<std::streamsize>(bytes->size())));
}

PixmapPtr LoadPixmap(const std::string& path) {
  PixelBytes bytes;
  if (!ReadImageFileBytes(path, &bytes)) return nullptr;
  return LoadPixmapFromMemory(bytes.data(), bytes.size());
}
