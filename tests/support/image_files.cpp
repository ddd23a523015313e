// Test image encoders (see image_files.h).
#include "support/image_files.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include <jpeglib.h>
#include <png.h>

namespace {

void PutLe(Bytes* out, uint32_t v, int n) {
  for (int i = 0; i < n; ++i) out->push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void PngAppend(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

void PngFlush(png_structp) {}

int PngChannels(int colour_type) {
  switch (colour_type) {
    case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
    case PNG_COLOR_TYPE_RGB: return 3;
    case PNG_COLOR_TYPE_RGB_ALPHA: return 4;
    default: return 1;
  }
}

// Writes into *out; the jump point lives here so no C++ object sits between it and libpng.
bool WritePng(const PngSpec& spec, png_bytep* rows, png_color* palette, int palette_size, Bytes* out) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, out, PngAppend, PngFlush);
  png_set_IHDR(png, info, spec.width, spec.height, spec.bit_depth, spec.colour_type,
               spec.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (palette_size > 0) png_set_PLTE(png, info, palette, palette_size);
  if (!spec.trns.empty()) {
    png_color_16 colour{};
    if (spec.colour_type == PNG_COLOR_TYPE_GRAY) colour.gray = static_cast<png_uint_16>(spec.trns[0] << 8 | spec.trns[1]);
    if (spec.colour_type == PNG_COLOR_TYPE_PALETTE)
      png_set_tRNS(png, info, spec.trns.data(), static_cast<int>(spec.trns.size()), nullptr);
    else
      png_set_tRNS(png, info, nullptr, 0, &colour);
  }
  png_write_info(png, info);
  if (spec.interlaced) png_set_interlace_handling(png);
  png_write_image(png, rows);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

Bytes EncodePng(const PngSpec& spec) {
  const size_t row_bytes = (static_cast<size_t>(spec.width) * PngChannels(spec.colour_type) * spec.bit_depth + 7) / 8;
  Bytes rows_copy = spec.rows;
  rows_copy.resize(row_bytes * spec.height);
  std::vector<png_bytep> rows(spec.height);
  for (int y = 0; y < spec.height; ++y) rows[y] = rows_copy.data() + y * row_bytes;
  std::vector<png_color> palette;
  for (size_t i = 0; i + 2 < spec.palette.size(); i += 3)
    palette.push_back({spec.palette[i], spec.palette[i + 1], spec.palette[i + 2]});
  Bytes out;
  if (!WritePng(spec, rows.data(), palette.data(), static_cast<int>(palette.size()), &out)) out.clear();
  return out;
}

Bytes EncodeJpeg(int width, int height, int channels, const Bytes& pixels, int quality, bool progressive) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr errors;
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = width;
  cinfo.image_height = height;
  cinfo.input_components = channels;
  cinfo.in_color_space = channels == 1 ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  if (progressive) jpeg_simple_progression(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(pixels.data() + static_cast<size_t>(cinfo.next_scanline) * width * channels);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  Bytes out(buffer, buffer + size);
  jpeg_destroy_compress(&cinfo);
  std::free(buffer);
  return out;
}

namespace {

// Entropy-coded bits, most significant first, with 0xFF stuffed and the last byte
// padded with ones.
class BitWriter {
 public:
  explicit BitWriter(Bytes* out) : out_(out) {}
  void Put(uint32_t bits, int count) {
    for (int i = count - 1; i >= 0; --i) {
      byte_ = static_cast<uint8_t>(byte_ << 1 | ((bits >> i) & 1));
      if (++filled_ == 8) Flush();
    }
  }
  void Finish() {
    while (filled_ != 0) Put(1, 1);
  }

 private:
  void Flush() {
    out_->push_back(byte_);
    if (byte_ == 0xFF) out_->push_back(0);
    byte_ = 0;
    filled_ = 0;
  }
  Bytes* out_;
  uint8_t byte_ = 0;
  int filled_ = 0;
};

void PutScanHeader(Bytes* out, int ss, int se, int ah, int al) {
  const uint8_t header[] = {0xFF, 0xDA, 0, 8, 1, 1, 0x00, static_cast<uint8_t>(ss), static_cast<uint8_t>(se),
                            static_cast<uint8_t>(ah << 4 | al)};
  out->insert(out->end(), std::begin(header), std::end(header));
}

// End-of-band runs over `blocks` blocks: symbol r << 4 (code r, 4 bits) then r bits.
void PutEndOfBandRuns(BitWriter* bits, long blocks) {
  while (blocks > 0) {
    const long run = blocks < 32767 ? blocks : 32767;
    int r = 0;
    while ((2L << r) <= run) ++r;
    bits->Put(static_cast<uint32_t>(r), 4);
    bits->Put(static_cast<uint32_t>(run - (1L << r)), r);
    blocks -= run;
  }
}

}  // namespace

Bytes EncodeBlankProgressiveJpeg(int width, int height, int scans, bool dc_data) {
  Bytes out = {0xFF, 0xD8, 0xFF, 0xDB, 0, 67, 0};
  out.insert(out.end(), 64, 1);  // quantisation table of ones
  const uint8_t frame[] = {0xFF, 0xC2, 0, 11, 8, 0, 0, 0, 0, 1, 1, 0x11, 0};
  out.insert(out.end(), std::begin(frame), std::end(frame));
  out[out.size() - 8] = static_cast<uint8_t>(height >> 8), out[out.size() - 7] = static_cast<uint8_t>(height);
  out[out.size() - 6] = static_cast<uint8_t>(width >> 8), out[out.size() - 5] = static_cast<uint8_t>(width);
  // DC table: the one symbol 0 (no difference) as the 1-bit code 0. AC table: the
  // end-of-band runs EOB0..EOB14 as the 4-bit codes 0..14.
  const uint8_t dc_table[] = {0xFF, 0xC4, 0, 20, 0x00, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  out.insert(out.end(), std::begin(dc_table), std::end(dc_table));
  out.insert(out.end(), {0xFF, 0xC4, 0, 34, 0x10, 0, 0, 0, 15, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  for (int r = 0; r < 15; ++r) out.push_back(static_cast<uint8_t>(r << 4));

  const long blocks = static_cast<long>((width + 7) / 8) * ((height + 7) / 8);
  PutScanHeader(&out, 0, 0, 0, 0);
  if (dc_data) {
    BitWriter bits(&out);
    for (long b = 0; b < blocks; ++b) bits.Put(0, 1);
    bits.Finish();
  }
  for (int i = 0; i + 1 < scans && i < 63 * 14; ++i) {
    const int k = 1 + i % 63, pass = i / 63;
    PutScanHeader(&out, k, k, pass == 0 ? 0 : 14 - pass, 13 - pass);
    BitWriter bits(&out);
    PutEndOfBandRuns(&bits, blocks);
    bits.Finish();
  }
  out.insert(out.end(), {0xFF, 0xD9});
  return out;
}

Bytes WithJpegComments(const Bytes& jpeg, size_t bytes) {
  Bytes out(jpeg.begin(), jpeg.begin() + 2);
  while (bytes > 0) {
    const size_t n = std::min<size_t>(bytes, 65533);  // a segment's length counts its own two bytes
    out.insert(out.end(), {0xFF, 0xFE, uint8_t((n + 2) >> 8), uint8_t((n + 2) & 0xFF)});
    out.insert(out.end(), n, 'c');
    bytes -= n;
  }
  out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
  return out;
}

Bytes DropScanTail(const Bytes& jpeg, int scan, size_t count) {
  // Markers inside entropy-coded data are only 0xFF 0x00 (a stuffed byte) and the
  // restart markers 0xFF 0xD0..0xD7, so the first other 0xFF xx ends the scan.
  int seen = -1;
  for (size_t i = 2; i + 3 < jpeg.size(); ++i) {
    if (jpeg[i] != 0xFF || jpeg[i + 1] != 0xDA || ++seen != scan) continue;
    size_t end = i + 2 + (jpeg[i + 2] << 8 | jpeg[i + 3]);
    while (end + 1 < jpeg.size() &&
           !(jpeg[end] == 0xFF && jpeg[end + 1] != 0 && (jpeg[end + 1] < 0xD0 || jpeg[end + 1] > 0xD7)))
      ++end;
    Bytes out = jpeg;
    out.erase(out.begin() + static_cast<long>(end - count), out.begin() + static_cast<long>(end));
    return out;
  }
  return {};
}

namespace {

struct CollectingErrors {
  jpeg_error_mgr base;
  std::jmp_buf jump;
  std::vector<int>* warnings;
};

void CollectWarning(j_common_ptr cinfo, int level) {
  auto* errors = reinterpret_cast<CollectingErrors*>(cinfo->err);
  if (level < 0) errors->warnings->push_back(errors->base.msg_code);
}

[[noreturn]] void GiveUp(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<CollectingErrors*>(cinfo->err)->jump, 1); }

// The jump point lives here; the rows are written into `result`, allocated up front.
void ReadPlain(jpeg_decompress_struct* cinfo, const Bytes& jpeg, PlainJpeg* result) {
  jpeg_mem_src(cinfo, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
  jpeg_read_header(cinfo, TRUE);
  jpeg_start_decompress(cinfo);
  result->width = static_cast<int>(cinfo->output_width);
  result->height = static_cast<int>(cinfo->output_height);
  result->channels = cinfo->output_components;
  const size_t stride = static_cast<size_t>(result->width) * result->channels;
  result->pixels.resize(stride * result->height);
  while (cinfo->output_scanline < cinfo->output_height) {
    JSAMPROW row = result->pixels.data() + stride * cinfo->output_scanline;
    jpeg_read_scanlines(cinfo, &row, 1);
  }
  jpeg_finish_decompress(cinfo);
  result->ok = true;
}

}  // namespace

PlainJpeg DecodeJpegPlain(const Bytes& jpeg) {
  PlainJpeg result;
  jpeg_decompress_struct cinfo;
  CollectingErrors errors;
  errors.warnings = &result.warnings;
  cinfo.err = jpeg_std_error(&errors.base);
  errors.base.error_exit = GiveUp;
  errors.base.emit_message = CollectWarning;
  if (setjmp(errors.jump)) {
    jpeg_destroy_decompress(&cinfo);
    result.ok = false;
    return result;
  }
  jpeg_create_decompress(&cinfo);
  ReadPlain(&cinfo, jpeg, &result);
  jpeg_destroy_decompress(&cinfo);
  return result;
}

Bytes EncodeTga(const TgaSpec& spec) {
  Bytes out;
  out.push_back(0);                         // no image id
  out.push_back(spec.map_length ? 1 : 0);  // colour map present
  out.push_back(static_cast<uint8_t>(spec.image_type));
  PutLe(&out, spec.map_first, 2);
  PutLe(&out, spec.map_length, 2);
  out.push_back(static_cast<uint8_t>(spec.map_bits));
  PutLe(&out, 0, 4);  // origin
  PutLe(&out, spec.width, 2);
  PutLe(&out, spec.height, 2);
  out.push_back(static_cast<uint8_t>(spec.bits));
  out.push_back(static_cast<uint8_t>(spec.descriptor));
  out.insert(out.end(), spec.colour_map.begin(), spec.colour_map.end());
  out.insert(out.end(), spec.data.begin(), spec.data.end());
  return out;
}

Bytes EncodeBmp(const BmpSpec& spec) {
  const bool masked = !spec.masks.empty();
  const uint32_t header = masked ? 108 : 40;
  const uint32_t pixel_offset = 14 + header + static_cast<uint32_t>(spec.palette.size());
  const size_t stride = (static_cast<size_t>(spec.width) * spec.bits + 31) / 32 * 4;
  Bytes out{'B', 'M'};
  PutLe(&out, static_cast<uint32_t>(pixel_offset + stride * spec.rows.size()), 4);
  PutLe(&out, 0, 4);
  PutLe(&out, pixel_offset, 4);
  PutLe(&out, header, 4);
  PutLe(&out, static_cast<uint32_t>(spec.width), 4);
  PutLe(&out, static_cast<uint32_t>(spec.height), 4);
  PutLe(&out, 1, 2);
  PutLe(&out, spec.bits, 2);
  PutLe(&out, masked ? 3 : 0, 4);
  PutLe(&out, static_cast<uint32_t>(stride * spec.rows.size()), 4);
  PutLe(&out, 2835, 4);  // 72 dpi
  PutLe(&out, 2835, 4);
  PutLe(&out, static_cast<uint32_t>(spec.palette.size() / 4), 4);
  PutLe(&out, 0, 4);
  if (masked) {
    for (uint32_t m : spec.masks) PutLe(&out, m, 4);
    out.resize(14 + header, 0);  // colour space fields left zero
  }
  out.insert(out.end(), spec.palette.begin(), spec.palette.end());
  for (const Bytes& row : spec.rows) {
    Bytes padded = row;
    padded.resize(stride, 0);
    out.insert(out.end(), padded.begin(), padded.end());
  }
  return out;
}

bool WriteFileBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(file);
}
