// libFuzzer target for the image decoders: any bytes go to LoadPixmapFromMemory, and
// whatever decodes goes through what texture loading does next (convert to RGBA, cut
// a window, resize), so a decoder that reports a size it did not fill is caught too.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "platform/image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const PixmapPtr image = LoadPixmapFromMemory(data, size);
  if (!image) return 0;
  const PixmapPtr rgba = image->Convert(kPixRgba8);
  if (!rgba) __builtin_trap();  // a decoded image always converts
  const PixmapPtr half = rgba->Window(rgba->Width() / 2, 0, rgba->Width() - rgba->Width() / 2, rgba->Height());
  if (!half) __builtin_trap();
  // Small targets keep each run fast whatever the image size.
  const PixmapPtr fitted = ResizePixmap(*half, std::min(half->Width(), 16), std::min(half->Height(), 16));
  if (!fitted) __builtin_trap();
  return 0;
}
