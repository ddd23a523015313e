// Peak memory of loading one very large image as a texture: a 16384 x 16384 RGBA TGA
// (1 GiB of pixels) through LoadTexture with the overlay slots' flags and a mip chain,
// as a user's choice of such an image does. Each load runs in a child process, so that
// its peak resident size (VmHWM) is its own; the counters give it in MiB above the
// child's size before the load. Decoding alone is measured beside it.
#include <benchmark/benchmark.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bench/process_status.h"
#include "engine/mesh/texture.h"
#include "platform/image.h"
#include "platform/offscreen.h"

namespace {

constexpr int kSide = 16384;
constexpr int kLoadFlags = kTexAlpha | kTexMipmapped;  // an overlay slot's, with the start-up filter's mipmaps

// The image file, written once per run and removed at its end (it is 1 GiB).
struct LargeTgaFile {
  std::string path = "/tmp/velmora_bench_16384.tga";
  LargeTgaFile() {
    std::ofstream out(path, std::ios::binary);
    const unsigned char header[18] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, kSide & 255, kSide >> 8,
                                      kSide & 255, kSide >> 8, 32, 8};
    out.write(reinterpret_cast<const char*>(header), sizeof header);
    std::vector<char> row(size_t(kSide) * 4);
    for (int y = 0; y < kSide; ++y) {
      for (int x = 0; x < kSide; ++x) {
        char* p = &row[size_t(x) * 4];
        p[0] = char(x), p[1] = char(y), p[2] = char(x ^ y), p[3] = char(255);
      }
      out.write(row.data(), std::streamsize(row.size()));
    }
  }
  ~LargeTgaFile() { std::remove(path.c_str()); }
};

const std::string& LargeTga() {
  static const LargeTgaFile file;
  return file.path;
}

// Runs `work` in a child and returns its peak resident growth in MiB, -1 on failure.
double PeakMiB(const std::function<bool()>& work) {
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    close(pipe_fds[0]);
    const long start = ResetPeakKiB();
    const bool ok = work();
    const double grown = ok ? PeakGrowthMiB(start) : -1.0;
    (void)!write(pipe_fds[1], &grown, sizeof grown);
    _exit(0);
  }
  close(pipe_fds[1]);
  double grown = -1;
  if (read(pipe_fds[0], &grown, sizeof grown) != sizeof grown) grown = -1;
  close(pipe_fds[0]);
  waitpid(pid, nullptr, 0);
  return grown;
}

void Report(benchmark::State& state, double peak) {
  if (peak < 0) state.SkipWithError("load failed");
  state.counters["peak_MiB"] = peak;
  state.counters["peak_per_image"] = peak / (double(kSide) * kSide * 4 / (1 << 20));
}

void BM_LoadTexture16k(benchmark::State& state) {
  const std::string& file = LargeTga();
  double peak = -1;
  for (auto _ : state) {
    peak = PeakMiB([&] {
      auto context = TOffscreenContext::Create(64, 64);
      if (!context || !context->MakeCurrent()) return false;
      return TTexture::LoadTexture(file, kLoadFlags) != nullptr;
    });
  }
  Report(state, peak);
}
BENCHMARK(BM_LoadTexture16k)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_DecodeOnly16k(benchmark::State& state) {
  const std::string& file = LargeTga();
  double peak = -1;
  for (auto _ : state) peak = PeakMiB([&] { return LoadPixmap(file) != nullptr; });
  Report(state, peak);
}
BENCHMARK(BM_DecodeOnly16k)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
