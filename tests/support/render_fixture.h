// A fixture for tests that draw: an empty world and a current off-screen GL context of
// kRenderSize x kRenderSize pixels, read back as a user would see it (top row first).
#pragma once

#include <memory>

#include "platform/offscreen.h"
#include "support/engine_reset.h"

constexpr int kRenderSize = 64;

class RenderTest : public EngineTest {
 protected:
  void SetUp() override;
  void TearDown() override;
  Rgba Pixel(int x, int y) const { return context_->ReadPixel(x, y); }
  TOffscreenContext& Context() { return *context_; }

  std::shared_ptr<TOffscreenContext> context_;
};
