// The off-screen context for render tests; one per test, so GL state never leaks.
#include "support/render_fixture.h"

void RenderTest::SetUp() {
  EngineTest::SetUp();
  context_ = TOffscreenContext::Create(kRenderSize, kRenderSize);
  ASSERT_NE(context_, nullptr) << "no off-screen GL context";
}

void RenderTest::TearDown() {
  EngineTest::TearDown();
  context_.reset();
}
