// Test image encoders (see image_files.h).
#include "support/image_files.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <fstream>

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
