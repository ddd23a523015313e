// The off-screen context over OSMesa. The program must link libOSMesa before libGLU
// and libGL (see platform/CMakeLists.txt), or GL calls land in libGL's stubs.
#include "platform/offscreen.h"

#include <cstring>
#include <string>

#include "platform/gl.h"
#include "platform/runtime.h"

// glew.h undefines GLAPI at its end, and osmesa.h declares its functions with it.
#ifndef GLAPI
#define GLAPI extern
#endif
#include <GL/osmesa.h>

namespace {

bool SideAccepted(int n) { return n >= 1 && n <= kMaxOffscreenSide; }

void* OsMesaProc(const char* name) { return reinterpret_cast<void*>(OSMesaGetProcAddress(name)); }

}  // namespace

// OSMesa keeps each framebuffer it makes in a private list for reuse and never frees
// it, so LeakSanitizer would fail every program that renders. Read only in sanitizer
// builds; harmless elsewhere.
extern "C" const char* __lsan_default_suppressions() { return "leak:libOSMesa.so\n"; }

std::shared_ptr<TOffscreenContext> TOffscreenContext::Create(int width, int height, int accum_bits) {
  if (!SideAccepted(width) || !SideAccepted(height)) return nullptr;
  GlKeepDriverCachesInMemory();
  OSMesaContext context =
      OSMesaCreateContextExt(OSMESA_RGBA, kOffscreenDepthBits, kOffscreenStencilBits, accum_bits, nullptr);
  if (!context) {
    DebugLog("OSMesa could not create a context");
    return nullptr;
  }
  std::shared_ptr<TOffscreenContext> result(new TOffscreenContext(context, width, height));
  if (!result->MakeCurrent()) {
    DebugLog("OSMesa could not make its context current");
    return nullptr;
  }
  return result;
}

TOffscreenContext::TOffscreenContext(osmesa_context* context, int width, int height)
    : context_(context), width_(width), height_(height), buffer_(static_cast<size_t>(width) * height * 4) {}

TOffscreenContext::~TOffscreenContext() {
  GlNoteContextDestroyed(context_);
  if (OSMesaGetCurrentContext() == context_) OSMesaMakeCurrent(nullptr, nullptr, 0, 0, 0);
  OSMesaDestroyContext(context_);
}

bool TOffscreenContext::Bind() {
  return OSMesaMakeCurrent(context_, buffer_.data(), GL_UNSIGNED_BYTE, width_, height_) == GL_TRUE;
}

bool TOffscreenContext::MakeCurrent() {
  if (!Bind()) return false;
  GlNoteContextCurrent(context_);
  GlInitEntryPoints(OsMesaProc);
  return true;
}

bool TOffscreenContext::Resize(int width, int height) {
  if (!SideAccepted(width) || !SideAccepted(height)) return false;
  std::vector<uint8_t> old = std::move(buffer_);
  const int old_width = width_, old_height = height_;
  buffer_.assign(static_cast<size_t>(width) * height * 4, 0);
  width_ = width;
  height_ = height;
  if (!Bind()) {
    buffer_ = std::move(old);
    width_ = old_width;
    height_ = old_height;
    Bind();
    return false;
  }
  // GL sets the viewport from the buffer only on the first make-current; follow the
  // new size so that a resized context draws everywhere, as a fresh one does.
  glViewport(0, 0, width, height);
  glScissor(0, 0, width, height);
  return true;
}

Rgba TOffscreenContext::ReadPixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return {0, 0, 0, 0};
  glFinish();
  const size_t at = (static_cast<size_t>(height_ - 1 - y) * width_ + x) * 4;
  return {buffer_[at], buffer_[at + 1], buffer_[at + 2], buffer_[at + 3]};
}

std::vector<uint8_t> TOffscreenContext::ReadPixels() const {
  glFinish();
  const size_t row = static_cast<size_t>(width_) * 4;
  std::vector<uint8_t> pixels(buffer_.size());
  for (int y = 0; y < height_; ++y) std::memcpy(&pixels[y * row], &buffer_[(height_ - 1 - y) * row], row);
  return pixels;
}
