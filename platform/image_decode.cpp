// The four image decoders: TGA and BMP read here through a bounded byte reader, JPEG
// through libjpeg and PNG through libpng, both with setjmp error recovery so that a
// bad file returns false instead of ending the program.
//
// Sections: [bounded reader] [TGA] [BMP] [JPEG] [PNG] [any format]
//
// libjpeg and libpng report errors by longjmp. Each Decode* function sets the jump
// point and hands the work to a Read* function; the jump may cross Read* and the
// library frames, so those hold no object with a destructor: everything that owns
// memory lives in the caller's DecodedImage.
#include "platform/image_decode.h"

#include <algorithm>
#include <bit>
#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE
#include <cstring>
#include <new>

#include <jpeglib.h>
#include <jerror.h>
#include <png.h>

#include "platform/image.h"

namespace {

// Grows out->pixels by `bytes` (left unset, for the decoder to write) without letting
// bad_alloc escape into a frame that a longjmp may cross. Returns the start of the new
// bytes, or null.
uint8_t* GrowPixels(DecodedImage* out, size_t bytes) {
  try {
    const size_t old = out->pixels.size();
    out->pixels.resize(old + bytes);
    return out->pixels.data() + old;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

bool SizeAccepted(int64_t width, int64_t height) {
  return width >= 1 && height >= 1 && width <= kMaxPixmapSide && height <= kMaxPixmapSide;
}

void StorePixel(uint8_t* dst, int format, const Rgba& c) {
  switch (format) {
    case kPixGray8: dst[0] = c[0]; break;  // gray sources carry r = g = b
    case kPixGrayAlpha8: dst[0] = c[0]; dst[1] = c[3]; break;
    case kPixRgb8: std::memcpy(dst, c.data(), 3); break;
    default: std::memcpy(dst, c.data(), 4); break;
  }
}

// ---------------------------------------------------------------------------------
// [bounded reader]
//
// Little-endian reads that never pass the end: a read past it yields 0 and marks the
// reader failed, so a parser can read a whole header and test Ok() once.

class ByteReader {
 public:
  ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool Ok() const { return ok_; }
  size_t Pos() const { return pos_; }
  size_t Left() const { return size_ - pos_; }

  const uint8_t* Take(size_t n) {
    if (!ok_ || n > Left()) {
      ok_ = false;
      return nullptr;
    }
    const uint8_t* p = data_ + pos_;
    pos_ += n;
    return p;
  }
  void Skip(size_t n) { Take(n); }
  void Seek(size_t pos) {
    if (pos > size_) ok_ = false;
    else pos_ = pos;
  }
  uint32_t U8() {
    const uint8_t* p = Take(1);
    return p ? p[0] : 0;
  }
  uint32_t U16() {
    const uint8_t* p = Take(2);
    return p ? p[0] | (p[1] << 8) : 0;
  }
  uint32_t U32() {
    const uint8_t* p = Take(4);
    return p ? p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24) : 0;
  }
  int32_t I32() { return static_cast<int32_t>(U32()); }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  bool ok_ = true;
};

// ---------------------------------------------------------------------------------
// [TGA]
//
// Colour-mapped (1), true-colour (2) and gray (3) images, each raw or run-length
// encoded (9, 10, 11); 15/16/24/32-bit colours, 8/16-bit gray and 8/16-bit map
// indices. The header has no signature, so it is checked field by field.

// alpha_bit: the top bit of a 15/16-bit colour is alpha rather than padding.
Rgba TgaColour(const uint8_t* p, int bits, bool gray, bool alpha_bit) {
  if (gray) return {p[0], p[0], p[0], static_cast<uint8_t>(bits == 16 ? p[1] : 255)};
  switch (bits) {
    case 15:
    case 16: {
      const int v = p[0] | (p[1] << 8);
      auto five = [](int x) { return static_cast<uint8_t>((x * 255 + 15) / 31); };
      const bool opaque = !alpha_bit || bits == 15 || (v & 0x8000);
      return {five((v >> 10) & 31), five((v >> 5) & 31), five(v & 31), static_cast<uint8_t>(opaque ? 255 : 0)};
    }
    case 24: return {p[2], p[1], p[0], 255};
    default: return {p[2], p[1], p[0], p[3]};
  }
}

}  // namespace

bool DecodeTga(const uint8_t* data, size_t size, DecodedImage* out) {
  ByteReader r(data, size);
  const uint32_t id_length = r.U8();
  const uint32_t map_type = r.U8();
  const uint32_t image_type = r.U8();
  const uint32_t map_first = r.U16();
  const uint32_t map_length = r.U16();
  const uint32_t map_bits = r.U8();
  r.Skip(4);  // origin
  const int width = static_cast<int>(r.U16());
  const int height = static_cast<int>(r.U16());
  const int bits = static_cast<int>(r.U8());
  const uint32_t descriptor = r.U8();
  if (!r.Ok() || map_type > 1) return false;
  const uint32_t kind = image_type & 7;
  const bool rle = (image_type & 8) != 0;
  if ((image_type & ~11u) != 0 || kind < 1 || kind > 3) return false;
  if (!SizeAccepted(width, height)) return false;
  if (map_type == 1 && map_bits != 15 && map_bits != 16 && map_bits != 24 && map_bits != 32) return false;
  switch (kind) {
    case 1:
      if (map_type != 1 || map_length == 0 || (bits != 8 && bits != 16)) return false;
      break;
    case 2:
      if (bits != 15 && bits != 16 && bits != 24 && bits != 32) return false;
      break;
    default:
      if (bits != 8 && bits != 16) return false;
  }
  r.Skip(id_length);

  // 16-bit colours carry an alpha bit only when the descriptor gives alpha a depth.
  const bool alpha_bit = (descriptor & 15) != 0;

  // The colour map, kept as RGBA; true-colour and gray images skip it.
  std::vector<Rgba> palette;
  if (map_type == 1) {
    const size_t entry = (map_bits + 7) / 8;
    const uint8_t* map = r.Take(entry * map_length);
    if (!map) return false;
    if (kind == 1) {
      palette.resize(map_length);
      for (uint32_t i = 0; i < map_length; ++i) palette[i] = TgaColour(map + i * entry, map_bits, false, alpha_bit);
    }
  }

  out->format = kind != 3 ? kPixRgba8 : bits == 16 ? kPixGrayAlpha8 : kPixGray8;
  const size_t pixel_bytes = (bits + 7) / 8;
  const size_t total = static_cast<size_t>(width) * height;
  // A raw image needs every pixel's bytes; a run packet of at least two bytes gives at
  // most 128 pixels. Checked before the pixels are allocated.
  if (!rle && total * pixel_bytes > r.Left()) return false;
  if (rle && total > r.Left() / 2 * 128) return false;

  const int bpp = BytesPerPixel(out->format);
  uint8_t* pixels = GrowPixels(out, total * bpp);
  if (!pixels) return false;
  out->width = width;
  out->height = height;

  // Pixels arrive in file order: rows bottom first unless the descriptor says top
  // first, each row left to right unless it says right to left.
  const bool top_first = (descriptor & 0x20) != 0;
  const bool right_to_left = (descriptor & 0x10) != 0;
  const size_t row_bytes = static_cast<size_t>(width) * bpp;
  auto row_start = [&](int fy) { return pixels + (top_first ? fy : height - 1 - fy) * row_bytes; };
  int fx = 0, fy = 0;
  uint8_t* row = row_start(0);
  auto put = [&](const Rgba& c) {
    StorePixel(row + (right_to_left ? width - 1 - fx : fx) * bpp, out->format, c);
    if (++fx == width && ++fy < height) {
      fx = 0;
      row = row_start(fy);
    }
  };
  bool ok = true;
  auto fetch = [&]() -> Rgba {
    const uint8_t* p = r.Take(pixel_bytes);
    if (!p) {
      ok = false;
      return {};
    }
    if (kind != 1) return TgaColour(p, bits, kind == 3, alpha_bit);
    const uint32_t index = bits == 8 ? p[0] : p[0] | (p[1] << 8);
    if (index < map_first || index - map_first >= palette.size()) {
      ok = false;
      return {};
    }
    return palette[index - map_first];
  };

  size_t done = 0;
  while (done < total && ok) {
    if (!rle) {
      put(fetch());
      ++done;
      continue;
    }
    const uint32_t packet = r.U8();
    const size_t count = (packet & 127) + 1;
    if (!r.Ok() || count > total - done) return false;
    if (packet & 128) {
      const Rgba c = fetch();
      for (size_t k = 0; k < count; ++k) put(c);
    } else {
      for (size_t k = 0; k < count && ok; ++k) put(fetch());
    }
    done += count;
  }
  return ok;
}

// ---------------------------------------------------------------------------------
// [BMP]
//
// Windows bitmaps with a 40-byte or later info header: 1/4/8-bit palettes, 24-bit,
// and 16/32-bit with default or explicit channel masks. Run-length compressed
// bitmaps and the old 12-byte OS/2 header are not taken.

namespace {

// One channel out of a packed pixel, scaled to 8 bits (rounded, as TGA's 5-bit
// channels are); `absent` when the mask is 0.
uint8_t MaskedChannel(uint32_t v, uint32_t mask, uint8_t absent) {
  if (mask == 0) return absent;
  const int shift = std::countr_zero(mask);
  const int bits = std::popcount(mask);
  const uint64_t x = (v & mask) >> shift;
  if (bits >= 8) return static_cast<uint8_t>(x >> (bits - 8));
  const uint64_t top = (uint64_t{1} << bits) - 1;
  return static_cast<uint8_t>((x * 255 + top / 2) / top);
}

}  // namespace

bool DecodeBmp(const uint8_t* data, size_t size, DecodedImage* out) {
  if (size < 2 || data[0] != 'B' || data[1] != 'M') return false;
  ByteReader r(data, size);
  r.Skip(10);
  const uint32_t pixel_offset = r.U32();
  const uint32_t header_size = r.U32();
  const int64_t width = r.I32();
  const int64_t signed_height = r.I32();
  r.Skip(2);  // planes
  const uint32_t bits = r.U16();
  const uint32_t compression = r.U32();
  r.Skip(12);  // image size, resolution
  const uint32_t colours_used = r.U32();
  r.Skip(4);
  if (!r.Ok()) return false;
  if (header_size != 40 && header_size != 52 && header_size != 56 && header_size != 108 && header_size != 124)
    return false;
  enum { kRgb = 0, kBitFields = 3, kAlphaBitFields = 6 };
  const bool masked = compression == kBitFields || compression == kAlphaBitFields;
  if (compression != kRgb && !masked) return false;
  if (masked && bits != 16 && bits != 32) return false;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
  const int64_t height = signed_height < 0 ? -signed_height : signed_height;
  if (!SizeAccepted(width, height)) return false;
  const bool top_first = signed_height < 0;

  // Masks sit right after the 40-byte part, inside a larger header or, with a 40-byte
  // header, as extra fields after it.
  uint32_t red = 0, green = 0, blue = 0, alpha = 0;
  size_t palette_offset = 14 + header_size;
  if (masked) {
    red = r.U32();
    green = r.U32();
    blue = r.U32();
    const bool alpha_field = header_size >= 56 || compression == kAlphaBitFields;
    if (alpha_field) alpha = r.U32();
    if (header_size == 40) palette_offset += alpha_field ? 16 : 12;
    if (!r.Ok() || (red | green | blue) == 0) return false;
  } else if (bits == 16) {
    red = 0x7C00, green = 0x03E0, blue = 0x001F;
  } else if (bits == 32) {
    red = 0xFF0000, green = 0xFF00, blue = 0xFF, alpha = 0xFF000000;  // see the fix-up below
  }

  std::vector<Rgba> palette;
  if (bits <= 8) {
    const uint32_t count = colours_used ? colours_used : 1u << bits;
    if (count > 256) return false;
    r.Seek(palette_offset);
    const uint8_t* p = r.Take(size_t{4} * count);
    if (!p) return false;
    for (uint32_t i = 0; i < count; ++i) palette.push_back({p[4 * i + 2], p[4 * i + 1], p[4 * i], 255});
  }

  const size_t stride = (static_cast<size_t>(width) * bits + 31) / 32 * 4;
  if (pixel_offset > size || stride * height > size - pixel_offset) return false;
  out->format = kPixRgba8;
  const int bpp = BytesPerPixel(out->format);
  uint8_t* pixels = GrowPixels(out, static_cast<size_t>(width) * height * bpp);
  if (!pixels) return false;
  out->width = static_cast<int>(width);
  out->height = static_cast<int>(height);

  bool any_alpha = false;
  for (int64_t fy = 0; fy < height; ++fy) {
    const uint8_t* src = data + pixel_offset + fy * stride;
    uint8_t* dst = pixels + (top_first ? fy : height - 1 - fy) * width * bpp;
    for (int64_t x = 0; x < width; ++x, dst += bpp) {
      Rgba c;
      if (bits <= 8) {
        const size_t bit = x * bits;
        const uint32_t index = (src[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
        if (index >= palette.size()) return false;
        c = palette[index];
      } else if (bits == 24) {
        c = {src[3 * x + 2], src[3 * x + 1], src[3 * x], 255};
      } else {
        const uint8_t* p = src + x * (bits / 8);
        const uint32_t v = bits == 16 ? p[0] | (p[1] << 8) : p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t{p[3]} << 24);
        c = {MaskedChannel(v, red, 0), MaskedChannel(v, green, 0), MaskedChannel(v, blue, 0),
             MaskedChannel(v, alpha, 255)};
        any_alpha |= c[3] != 0;
      }
      StorePixel(dst, out->format, c);
    }
  }
  // Plain 32-bit bitmaps leave the fourth byte undefined and most writers put 0 there:
  // all-zero means no alpha rather than an invisible image.
  if (compression == kRgb && bits == 32 && !any_alpha)
    for (size_t i = 3; i < out->pixels.size(); i += 4) out->pixels[i] = 255;
  return true;
}

// ---------------------------------------------------------------------------------
// [JPEG]

namespace {

// libjpeg's working memory (progressive files keep every coefficient) is capped, so
// that a small hostile file cannot make a huge decode.
constexpr long kMaxJpegWorkBytes = 768L << 20;
// Beside the block budget: a scan can walk 1/48 of the padded blocks (three components
// sampled 4 x 4 in one MCU), so the budget alone would let 768 scans through.
constexpr int kMaxJpegScans = 500;
// Images up to this size are sized whole before their rows are decoded (4096 x 4096 RGBA).
constexpr size_t kJpegEagerReserveBytes = size_t{64} << 20;
struct JpegErrorManager {
  jpeg_error_mgr base;  // first, so the library's pointer converts back
  std::jmp_buf jump;
};

struct JpegProgress {
  jpeg_progress_mgr base;  // first, as above
  DecodedImage* out;
  int64_t block_budget;
  int counted_scans;
};

[[noreturn]] void JpegFail(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<JpegErrorManager*>(cinfo->err)->jump, 1);
}

// libjpeg only warns about damaged data (a truncated file is "completed" with gray);
// a warning that the pixels are wrong fails the decode like an error. A scan whose
// data ends before its last blocks (JWRN_HIT_MARKER) is taken: libjpeg zero-fills
// what is missing and still delivers every row, as every viewer shows such files. A
// file that ends early (JWRN_JPEG_EOF) is not.
void JpegMessage(j_common_ptr cinfo, int level) {
  if (level >= 0) return;  // trace output
  switch (cinfo->err->msg_code) {
    case JWRN_JFIF_MAJOR:
    case JWRN_ADOBE_XFORM:
    case JWRN_EXTRANEOUS_DATA:  // stray bytes between markers; the image is intact
    case JWRN_BOGUS_ICC:
    case JWRN_HIT_MARKER:
      return;
    default:
      JpegFail(cinfo);
  }
}

void JpegSilent(j_common_ptr) {}

// Called before each row of a scan is decoded: charges each scan's blocks as it starts.
void JpegCharge(j_common_ptr cinfo) {
  if (!cinfo->is_decompressor) return;
  auto* progress = reinterpret_cast<JpegProgress*>(cinfo->progress);
  auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
  if (d->input_scan_number > kMaxJpegScans) JpegFail(cinfo);
  if (d->input_scan_number == progress->counted_scans) return;
  progress->counted_scans = d->input_scan_number;
  progress->out->blocks_visited += int64_t{d->MCUs_per_row} * d->MCU_rows_in_scan * d->blocks_in_MCU;
  if (progress->out->blocks_visited > progress->block_budget) JpegFail(cinfo);
}

// Blocks of all components, as coded (without and with the padding of interleaved scans
// to whole MCUs).
struct JpegBlocks {
  int64_t coded = 0;
  int64_t padded = 0;
};

JpegBlocks CountJpegBlocks(const jpeg_decompress_struct& cinfo) {
  JpegBlocks blocks;
  const int64_t mcus_across = (int64_t{cinfo.image_width} + 8 * cinfo.max_h_samp_factor - 1) / (8 * cinfo.max_h_samp_factor);
  for (int i = 0; i < cinfo.num_components; ++i) {
    const jpeg_component_info& c = cinfo.comp_info[i];
    blocks.coded += int64_t{c.width_in_blocks} * c.height_in_blocks;
    blocks.padded += mcus_across * c.h_samp_factor * int64_t{cinfo.total_iMCU_rows} * c.v_samp_factor;
  }
  return blocks;
}

// The bytes of the file's scans: what follows each start-of-scan header up to the next
// marker other than a restart, stuffed zeros included. Marker segments (comments,
// application data, tables) and bytes after the end marker code no block, so they
// cannot make room for blocks under kMaxJpegBlocksPerByte.
int64_t JpegScanBytes(const uint8_t* data, size_t size) {
  auto restart = [](uint8_t m) { return m >= 0xD0 && m <= 0xD7; };
  int64_t coded = 0;
  size_t i = 2;  // after the start marker
  while (i + 1 < size) {
    if (data[i] != 0xFF || data[i + 1] == 0xFF) {
      ++i;  // stray bytes and fill before a marker, which libjpeg skips too
      continue;
    }
    const uint8_t marker = data[i + 1];
    if (marker == 0xD9) break;  // end of image
    if (marker == 0x01 || restart(marker) || marker == 0x00) {
      i += 2;  // markers without a length
      continue;
    }
    if (i + 4 > size) break;
    i += 2 + ((size_t{data[i + 2]} << 8) | data[i + 3]);
    if (marker != 0xDA) continue;
    const size_t first = std::min(i, size);
    while (i + 1 < size && !(data[i] == 0xFF && data[i + 1] != 0x00 && !restart(data[i + 1]))) ++i;
    i = std::min(std::max(i, first), size);
    coded += static_cast<int64_t>(i - first);
    if (i + 1 >= size) coded += static_cast<int64_t>(size - i);  // data up to the cut
  }
  return coded;
}

bool ReadJpeg(jpeg_decompress_struct* cinfo, JpegProgress* progress, const uint8_t* data, size_t size,
              DecodedImage* out) {
  jpeg_mem_src(cinfo, data, static_cast<unsigned long>(size));
  if (jpeg_read_header(cinfo, TRUE) != JPEG_HEADER_OK) return false;
  if (!SizeAccepted(cinfo->image_width, cinfo->image_height)) return false;
  const JpegBlocks blocks = CountJpegBlocks(*cinfo);
  if (blocks.coded > kMaxJpegBlocksPerByte * JpegScanBytes(data, size)) return false;
  progress->block_budget = kMaxJpegPasses * blocks.padded;
  switch (cinfo->jpeg_color_space) {
    case JCS_GRAYSCALE:
      cinfo->out_color_space = JCS_GRAYSCALE;
      out->format = kPixGray8;
      break;
    case JCS_CMYK:
    case JCS_YCCK:
      return false;  // print-shop files; textures never come as CMYK
    default:
      cinfo->out_color_space = JCS_EXT_RGBA;  // the fourth byte costs libjpeg-turbo nothing
      out->format = kPixRgba8;
  }
  jpeg_start_decompress(cinfo);
  const size_t stride = static_cast<size_t>(cinfo->output_width) * cinfo->output_components;
  if (static_cast<int>(cinfo->output_components) != BytesPerPixel(out->format)) return false;
  out->width = static_cast<int>(cinfo->output_width);
  out->height = static_cast<int>(cinfo->output_height);
  // Up to a first size the pixels are sized whole and rows written in place, so the
  // listener can hand them out while the decode goes on. Beyond it, rows are allocated
  // as they arrive, so a small file whose header promises a huge image fails before it
  // costs much memory.
  const size_t total = stride * cinfo->output_height;
  const bool in_place = total <= kJpegEagerReserveBytes;
  if (in_place) {
    if (!GrowPixels(out, total)) return false;
    if (out->rows_ready) {
      out->rows_told = true;
      out->rows_ready(0);
    }
  } else {
    try {
      out->pixels.reserve(kJpegEagerReserveBytes);
    } catch (const std::bad_alloc&) {
      return false;
    }
  }
  // A few rows per call: libjpeg hands out what one pass of its upsampler makes.
  constexpr JDIMENSION kRowsPerRead = 16;
  JSAMPROW rows[kRowsPerRead];
  while (cinfo->output_scanline < cinfo->output_height) {
    const JDIMENSION want = std::min(kRowsPerRead, cinfo->output_height - cinfo->output_scanline);
    const size_t done = stride * cinfo->output_scanline;
    uint8_t* first = in_place ? out->pixels.data() + done : GrowPixels(out, stride * want);
    if (!first) return false;
    for (JDIMENSION i = 0; i < want; ++i) rows[i] = first + i * stride;
    const JDIMENSION got = jpeg_read_scanlines(cinfo, rows, want);
    if (got == 0) return false;
    if (!in_place) out->pixels.resize(done + stride * got);  // no reallocation: it only shrinks
    else if (out->rows_told) out->rows_ready(static_cast<int>(cinfo->output_scanline));
  }
  jpeg_finish_decompress(cinfo);  // reads to the end marker: a cut tail fails too
  return true;
}

}  // namespace

bool DecodeJpeg(const uint8_t* data, size_t size, DecodedImage* out) {
  if (size < 4 || data[0] != 0xFF || data[1] != 0xD8) return false;
  jpeg_decompress_struct cinfo;
  JpegErrorManager errors;
  JpegProgress progress{};
  progress.out = out;
  cinfo.err = jpeg_std_error(&errors.base);
  errors.base.error_exit = JpegFail;
  errors.base.emit_message = JpegMessage;
  errors.base.output_message = JpegSilent;
  progress.base.progress_monitor = JpegCharge;
  if (setjmp(errors.jump)) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  jpeg_create_decompress(&cinfo);
  cinfo.mem->max_memory_to_use = kMaxJpegWorkBytes;
  cinfo.progress = &progress.base;
  const bool ok = ReadJpeg(&cinfo, &progress, data, size, out);
  jpeg_destroy_decompress(&cinfo);
  return ok;
}

// ---------------------------------------------------------------------------------
// [PNG]

namespace {

// Deflate cannot expand data by more than about 1032:1, so a file whose image data
// could not fit in its bytes at that ratio is corrupt; it is refused before the
// pixels are allocated. The margin covers filter bytes and interlace passes.
constexpr uint64_t kMaxDeflateRatio = 1100;

struct PngSource {
  const uint8_t* data;
  size_t size;
  size_t pos;
};

void PngRead(png_structp png, png_bytep dst, png_size_t length) {
  auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
  if (length > source->size - source->pos) png_error(png, "truncated");
  std::memcpy(dst, source->data + source->pos, length);
  source->pos += length;
}

[[noreturn]] void PngFail(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void PngWarn(png_structp, png_const_charp) {}

bool ReadPng(png_structp png, png_infop info, PngSource* source, DecodedImage* out) {
  png_set_read_fn(png, source, PngRead);
  png_set_user_limits(png, kMaxPixmapSide, kMaxPixmapSide);
  png_read_info(png, info);
  png_uint_32 width = 0, height = 0;
  int depth = 0, colour = 0, interlace = 0;
  png_get_IHDR(png, info, &width, &height, &depth, &colour, &interlace, nullptr, nullptr);
  if (!SizeAccepted(width, height)) return false;
  const uint64_t raw_row = (uint64_t{width} * png_get_channels(png, info) * depth + 7) / 8 + 1;
  if (raw_row * height > kMaxDeflateRatio * source->size) return false;

  if (colour == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (colour == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
  const bool transparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
  if (transparency) png_set_tRNS_to_alpha(png);
  if (!transparency && (colour == PNG_COLOR_TYPE_RGB || colour == PNG_COLOR_TYPE_PALETTE))
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
  if (depth == 16) png_set_scale_16(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);

  switch (png_get_channels(png, info)) {
    case 1: out->format = kPixGray8; break;
    case 2: out->format = kPixGrayAlpha8; break;
    case 3: out->format = kPixRgb8; break;
    case 4: out->format = kPixRgba8; break;
    default: return false;
  }
  const size_t stride = static_cast<size_t>(width) * BytesPerPixel(out->format);
  if (png_get_rowbytes(png, info) != stride) return false;
  uint8_t* pixels = GrowPixels(out, stride * height);
  if (!pixels) return false;
  // An interlaced image's early passes fill rows in part; start them from zeros rather
  // than from whatever the allocation held.
  if (interlace != PNG_INTERLACE_NONE) std::fill(pixels, pixels + stride * height, uint8_t{0});
  try {
    out->rows.resize(height);
  } catch (const std::bad_alloc&) {
    return false;
  }
  for (png_uint_32 y = 0; y < height; ++y) out->rows[y] = pixels + y * stride;
  out->width = static_cast<int>(width);
  out->height = static_cast<int>(height);
  png_read_image(png, out->rows.data());
  png_read_end(png, nullptr);  // up to IEND: a cut tail fails too
  return true;
}

}  // namespace

bool DecodePng(const uint8_t* data, size_t size, DecodedImage* out) {
  if (size < 8 || png_sig_cmp(data, 0, 8) != 0) return false;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngFail, PngWarn);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return false;
  }
  PngSource source{data, size, 0};
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  const bool ok = ReadPng(png, info, &source, out);
  png_destroy_read_struct(&png, &info, nullptr);
  return ok;
}

// ---------------------------------------------------------------------------------
// [any format]

bool DecodeAnyImage(const uint8_t* data, size_t size, DecodedImage* out) {
  // The order matters only for bytes two decoders would both take; TGA has no
  // signature, so it goes first and rejects anything whose header does not fit.
  static constexpr bool (*kDecoders[])(const uint8_t*, size_t, DecodedImage*) = {DecodeTga, DecodeJpeg,
                                                                                DecodePng, DecodeBmp};
  for (auto decode : kDecoders) {
    bool ok = false;
    try {
      ok = decode(data, size, out);
    } catch (const std::bad_alloc&) {
      ok = false;
    }
    if (ok) return true;
    if (out->rows_told) return false;
    std::function<void(int)> listener = std::move(out->rows_ready);
    *out = DecodedImage{};
    out->rows_ready = std::move(listener);
  }
  return false;
}
