// Images for textures: decoding files into pixmaps (TGA, JPEG, PNG, BMP), converting
// pixel formats, resizing and cutting sub-rectangle windows.
//
// Row order: row 0 is the top row of the image, in every pixmap and every decoder,
// whatever order the file stores its rows in.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// Pixel formats by the codes the texture code tests (6 is what it uploads). Channels
// are 8 bits each, stored in the order the name gives.
enum PixelFormat : int {
  kPixGray8 = 1,       // one luminance byte
  kPixGrayAlpha8 = 2,  // luminance, alpha
  kPixRgb8 = 4,        // red, green, blue
  kPixRgba8 = 6,       // red, green, blue, alpha
};

// Neither side of a decoded image may exceed this: 16384 x 16384 RGBA is already 1 GiB,
// and a header claiming more is taken as corrupt before anything is allocated.
constexpr int kMaxPixmapSide = 16384;
// No pixmap holds more pixels than the largest decoded image. A blank pixmap may be
// wider than kMaxPixmapSide (a texture's strip of frames or cube faces side by side).
constexpr int64_t kMaxPixmapPixels = int64_t{kMaxPixmapSide} * kMaxPixmapSide;

using Rgba = std::array<uint8_t, 4>;  // red, green, blue, alpha

// Pixel bytes that resize() leaves unset: decoders and resampling write every byte
// they size, and zeroing megabytes first would cost as much again as a row copy.
// Whoever needs zeros asks for them (CreatePixmap does).
template <class T>
struct UninitialisedAllocator : std::allocator<T> {
  template <class U>
  struct rebind {
    using other = UninitialisedAllocator<U>;
  };
  UninitialisedAllocator() = default;
  template <class U>
  UninitialisedAllocator(const UninitialisedAllocator<U>&) noexcept {}
  template <class U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};
using PixelBytes = std::vector<uint8_t, UninitialisedAllocator<uint8_t>>;

int BytesPerPixel(int format);  // 0 for a code that is not a PixelFormat

class TPixmap;
using PixmapPtr = std::shared_ptr<TPixmap>;

// A rectangle of pixels. A window made by Window() shares the pixels of the pixmap it
// was cut from (writes show through both) and keeps that pixmap's pitch, so a window
// uploads with GL_UNPACK_ROW_LENGTH = Pitch() / BytesPerPixel().
class TPixmap {
 public:
  int Width() const { return width_; }
  int Height() const { return height_; }
  int Format() const { return format_; }
  int BytesPerPixel() const { return ::BytesPerPixel(format_); }
  int Pitch() const { return pitch_; }  // bytes from one row to the next

  uint8_t* Pixels() { return storage_->data() + offset_; }  // top-left pixel
  const uint8_t* Pixels() const { return storage_->data() + offset_; }
  uint8_t* Row(int y) { return Pixels() + static_cast<size_t>(y) * pitch_; }
  const uint8_t* Row(int y) const { return Pixels() + static_cast<size_t>(y) * pitch_; }

  // Any format reads as RGBA: gray g gives (g, g, g), missing alpha gives 255.
  // Outside the pixmap ReadPixel gives (0, 0, 0, 0) and WritePixel does nothing.
  Rgba ReadPixel(int x, int y) const;
  // Writing into gray takes the luminance (0.299 R + 0.587 G + 0.114 B) and drops
  // what the format has no channel for.
  void WritePixel(int x, int y, Rgba colour);

  // A new pixmap (own pixels, rows packed) in the given format; null for an unknown one.
  PixmapPtr Convert(int format) const;
  // A view of the rectangle sharing these pixels; null unless it lies inside.
  PixmapPtr Window(int x, int y, int width, int height) const;
  PixmapPtr Copy() const;  // own pixels, rows packed

 private:
  TPixmap(int width, int height, int format, int pitch, std::shared_ptr<PixelBytes> storage,
          size_t offset)
      : width_(width), height_(height), format_(format), pitch_(pitch), storage_(std::move(storage)),
        offset_(offset) {}
  static PixmapPtr Adopt(int width, int height, int format, int pitch, PixelBytes pixels);

  int width_, height_, format_, pitch_;
  std::shared_ptr<PixelBytes> storage_;
  size_t offset_;

  friend PixmapPtr CreatePixmap(int width, int height, int format, int align);
  friend PixmapPtr UnsetPixmap(int width, int height, int format);
  friend PixmapPtr LoadPixmapFromMemory(const uint8_t* data, size_t size);
  friend class TPixmapStream;
};

// A blank pixmap, every byte 0 (transparent black). Each row is padded to a multiple
// of align bytes (1, 2, 4 or 8; others count as 1). Null for an unknown format, a
// negative side or more than kMaxPixmapPixels pixels.
PixmapPtr CreatePixmap(int width, int height, int format, int align = 4);
// A pixmap with packed rows whose bytes the caller writes, every one of them; null as
// for CreatePixmap.
PixmapPtr UnsetPixmap(int width, int height, int format);

// Decodes a file, trying TGA, JPEG, PNG and BMP in that order; the first decoder that
// accepts the bytes wins, whatever the file name says. Null for a missing, unreadable
// or directory path, and for bytes that no decoder accepts (corrupt or truncated
// files included). Colour images come as RGBA (alpha 255 where the file has none),
// since that is what textures take; gray ones as gray or gray + alpha. Palettes are
// expanded and 16-bit channels cut to 8.
PixmapPtr LoadPixmap(const std::string& path);
PixmapPtr LoadPixmapFromMemory(const uint8_t* data, size_t size);

// A scaled copy in the same format, rows packed. Shrinking averages the source area
// each pixel covers (halving is an exact 2 x 2 mean); enlarging interpolates
// bilinearly. Null when a size is outside 1..kMaxPixmapSide or the source is empty.
PixmapPtr ResizePixmap(const TPixmap& source, int width, int height);
// The same into pixels the caller holds: `out` (a pixmap, or a window of one, in the
// source's format) gets the source scaled to its size. A halving depends on nothing
// but the two source rows of each row it makes, so a band of rows halves into the
// matching band of the result exactly as the whole would. False, writing nothing, for
// an empty source, another format or a size outside 1..kMaxPixmapSide.
bool ResizePixmapInto(const TPixmap& source, TPixmap* out);
