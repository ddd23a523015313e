// libFuzzer target for the texture file path: the input is written to a file and
// loaded with LoadTexture, once with a mip chain and once without, on the off-screen
// context, then freed. The file is padded to the size from which the decode runs on
// the pixmap stream's helper thread, so a JPEG whose size GL takes as it is goes up
// band by band while it decodes (trailing bytes after an image are ignored by every
// decoder). A GL texture name left behind once the texture is freed is a finding.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "engine/mesh/texture.h"
#include "fuzz/fuzz_setup.h"
#include "platform/gl.h"
#include "platform/image_stream.h"
#include "platform/runtime.h"

namespace {

constexpr int kViewSize = 16;

std::string* g_path = nullptr;

bool WriteInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);
  if (bytes.size() < kStreamFileBytes) bytes.resize(kStreamFileBytes, 0);
  std::FILE* f = std::fopen(g_path->c_str(), "wb");
  if (!f) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && written;
}

void LoadAndFree(int flags) {
  TexturePtr t = TTexture::LoadTexture(*g_path, flags);
  if (!t) {
    if (!TTexture::tex_list.IsEmpty()) Broken("a texture that failed to load stays in the cache");
    return;
  }
  const std::vector<unsigned> names = *t->frame_names;
  t->FreeTexture();
  t.reset();
  if (!TTexture::tex_list.IsEmpty()) Broken("a freed texture stays in the cache");
  for (unsigned name : names)
    if (name != 0 && glIsTexture(name)) Broken("GL texture name " + std::to_string(name) + " left after FreeTexture");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  StartOnOffscreenContext(kViewSize);
  char dir[] = "/tmp/velmora_fuzz_texture_XXXXXX";
  if (!mkdtemp(dir)) {
    std::fprintf(stderr, "no scratch folder\n");
    std::abort();
  }
  g_path = new std::string(std::string(dir) + "/input");
  TTexture::ClearTextureFilters();  // the flags asked for are the flags used
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!WriteInput(data, size)) Broken("cannot write the input file");
  for (const int flags : {int(kTexColour), kTexColour | kTexMipmapped}) {
    try {
      LoadAndFree(flags);
    } catch (const FatalError&) {
      // "Unable to calculate tex size" is an answer, not a finding.
    }
  }
  while (glGetError() != GL_NO_ERROR) {
  }
  return 0;
}
