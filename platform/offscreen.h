// An off-screen OpenGL context (OSMesa, software) for tests and headless rendering:
// RGBA colour, 24-bit depth, 8-bit stencil and a 16-bit accumulation buffer, drawing
// into memory that can be read back.
//
// Pixel coordinates here count from the top-left corner, as windows do; GL's own
// calls (glViewport, glScissor, glReadPixels) still count y from the bottom.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>


using Rgba = std::array<uint8_t, 4>;  // red, green, blue, alpha

// OSMesa's context type; osmesa.h itself stays out of headers because it includes
// gl.h, which must not come before glew.h (platform/gl.h).
struct osmesa_context;

// What the engine's frames need: depth testing, stencil and accumulation anti-aliasing.
constexpr int kOffscreenDepthBits = 24;
constexpr int kOffscreenStencilBits = 8;
constexpr int kOffscreenAccumBits = 16;
constexpr int kMaxOffscreenSide = 4096;  // far above any test; the buffer is width x height x 4 bytes

class TOffscreenContext {
 public:
  // Made current, with the GL entry points loaded (platform/gl.h). Null when a side is
  // outside 1..kMaxOffscreenSide or OSMesa refuses; accum_bits 0 gives a context
  // without an accumulation buffer.
  static std::shared_ptr<TOffscreenContext> Create(int width, int height, int accum_bits = kOffscreenAccumBits);
  ~TOffscreenContext();
  TOffscreenContext(const TOffscreenContext&) = delete;
  TOffscreenContext& operator=(const TOffscreenContext&) = delete;

  // Also reloads the entry points, which belong to the current context.
  bool MakeCurrent();
  // A new colour buffer of the new size (cleared to 0), made current, with GL's
  // viewport and scissor box set to the whole of it. False, and nothing changed, for
  // a side outside 1..kMaxOffscreenSide.
  bool Resize(int width, int height);

  int Width() const { return width_; }
  int Height() const { return height_; }

  // Finish drawing first (the rasteriser runs on threads), then read. Only valid
  // while this context is current. Outside the buffer ReadPixel gives (0, 0, 0, 0).
  Rgba ReadPixel(int x, int y) const;
  std::vector<uint8_t> ReadPixels() const;  // RGBA, top row first, width x 4 bytes a row

 private:
  TOffscreenContext(osmesa_context* context, int width, int height);
  bool Bind();

  osmesa_context* context_;
  int width_, height_;
  std::vector<uint8_t> buffer_;  // OSMesa's layout: row 0 is the bottom row
};
