// Texture loading against decoding alone: LoadTexture of a 2048 x 2048 JPEG and PNG
// with the whole mip chain (file search, RGBA conversion, upload of every level),
// next to LoadPixmap of the same file and, for the JPEG, libjpeg's own decode of it
// into memory. The cache is emptied between loads.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "support/image_files.h"
#include "engine/mesh/texture.h"
#include "platform/image.h"
#include "platform/offscreen.h"

namespace {

constexpr int kSide = 2048;

// Smooth gradients with some fine detail, so both codecs work as on a photo.
Bytes Picture(int channels) {
  Bytes pixels;
  pixels.reserve(size_t(kSide) * kSide * channels);
  Noise noise(12345);
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x) {
      const int grain = int(noise.Next() >> 28) - 8;
      const double wave = 60 * std::sin(x * 0.02) * std::cos(y * 0.015);
      const int r = int(128 + wave) + grain, g = (x * 255 / kSide) + grain, b = (y * 255 / kSide) - grain;
      for (int v : {r, g, b}) pixels.push_back(uint8_t(v < 0 ? 0 : v > 255 ? 255 : v));
      if (channels == 4) pixels.push_back(255);
    }
  return pixels;
}

struct Files {
  std::string jpeg = "/tmp/velmora_bench_2048.jpg";
  std::string png = "/tmp/velmora_bench_2048.png";
  Files() {
    WriteFileBytes(jpeg, EncodeJpeg(kSide, kSide, 3, Picture(3), 90, false));
    WriteFileBytes(png, EncodePng({.width = kSide, .height = kSide, .colour_type = 2, .rows = Picture(3)}));
  }
};

const Files& TestFiles() {
  static const Files files;
  return files;
}

TOffscreenContext& Context() {
  static std::shared_ptr<TOffscreenContext> context = TOffscreenContext::Create(64, 64);
  return *context;
}

void Decode(benchmark::State& state, const std::string& file) {
  for (auto _ : state) {
    PixmapPtr pixmap = LoadPixmap(file);
    if (!pixmap) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(pixmap);
  }
}

void Load(benchmark::State& state, const std::string& file) {
  Context().MakeCurrent();
  for (auto _ : state) {
    TexturePtr texture = TTexture::LoadTexture(file, kTexColour | kTexMipmapped);
    if (!texture || texture->CountMipmaps() != 11) state.SkipWithError("load failed");
    state.PauseTiming();
    texture->FreeTexture();  // empties the cache and deletes the names
    texture.reset();
    state.ResumeTiming();
  }
}

// The file read and decoded with libjpeg's defaults (RGB rows), nothing else.
void BM_DecodeJpegPlain(benchmark::State& state) {
  const std::string& path = TestFiles().jpeg;
  for (auto _ : state) {
    FILE* file = std::fopen(path.c_str(), "rb");
    std::fseek(file, 0, SEEK_END);
    Bytes bytes(size_t(std::ftell(file)));
    std::rewind(file);
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
    std::fclose(file);
    const PlainJpeg image = DecodeJpegPlain(bytes);
    if (!image.ok) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(image.pixels.data());
  }
}

void BM_DecodeJpeg(benchmark::State& state) { Decode(state, TestFiles().jpeg); }
void BM_LoadTextureJpeg(benchmark::State& state) { Load(state, TestFiles().jpeg); }
void BM_DecodePng(benchmark::State& state) { Decode(state, TestFiles().png); }
void BM_LoadTexturePng(benchmark::State& state) { Load(state, TestFiles().png); }

BENCHMARK(BM_DecodeJpegPlain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeJpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadTextureJpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodePng)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadTexturePng)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
