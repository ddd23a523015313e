// The off-screen GL context: read-back orientation, resizing, the accumulation
// buffer and the multitexture entry points, checked on real (software) GL.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/gl.h"
#include "platform/offscreen.h"

namespace {

void ClearTo(float r, float g, float b) {
  glClearColor(r, g, b, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
}

bool Near(const Rgba& a, const Rgba& b) {
  for (int i = 0; i < 4; ++i)
    if (std::abs(a[i] - b[i]) > 2) return false;
  return true;
}

const Rgba kRed{255, 0, 0, 255}, kGreen{0, 255, 0, 255}, kBlue{0, 0, 255, 255};

TEST(Offscreen, ReadsBackTopRowFirst) {
  const auto context = TOffscreenContext::Create(8, 6);
  ASSERT_NE(context, nullptr);
  ClearTo(0, 0, 1);
  glEnable(GL_SCISSOR_TEST);
  glScissor(0, 3, 8, 3);  // GL counts y from the bottom: this is the top half
  ClearTo(1, 0, 0);
  glDisable(GL_SCISSOR_TEST);

  const struct {
    int x, y;
    Rgba expected;
  } cases[] = {{0, 0, kRed}, {7, 2, kRed}, {0, 3, kBlue}, {7, 5, kBlue}, {-1, 0, {}}, {8, 0, {}}, {0, 6, {}}};
  for (const auto& c : cases) EXPECT_EQ(context->ReadPixel(c.x, c.y), c.expected) << c.x << "," << c.y;

  const std::vector<uint8_t> all = context->ReadPixels();
  ASSERT_EQ(all.size(), 8u * 6 * 4);
  EXPECT_EQ((Rgba{all[0], all[1], all[2], all[3]}), kRed);
  EXPECT_EQ((Rgba{all[all.size() - 4], all[all.size() - 3], all[all.size() - 2], all[all.size() - 1]}), kBlue);
}

TEST(Offscreen, ResizeCoversTheNewBuffer) {
  const auto context = TOffscreenContext::Create(4, 4);
  ASSERT_NE(context, nullptr);
  ASSERT_TRUE(context->Resize(10, 3));
  EXPECT_EQ(context->Width(), 10);
  EXPECT_EQ(context->Height(), 3);
  GLint viewport[4] = {};
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(viewport[2], 10);
  EXPECT_EQ(viewport[3], 3);
  glEnable(GL_SCISSOR_TEST);  // the scissor box follows too
  ClearTo(0, 1, 0);
  glDisable(GL_SCISSOR_TEST);
  EXPECT_EQ(context->ReadPixel(9, 2), kGreen);

  EXPECT_FALSE(context->Resize(0, 5));
  EXPECT_FALSE(context->Resize(5, kMaxOffscreenSide + 1));
  EXPECT_EQ(context->Width(), 10);
  EXPECT_EQ(context->ReadPixel(9, 2), kGreen);
  EXPECT_EQ(TOffscreenContext::Create(0, 4), nullptr);
}

TEST(Offscreen, AccumulationBufferAveragesPasses) {
  const auto context = TOffscreenContext::Create(4, 4);
  ASSERT_NE(context, nullptr);
  EXPECT_TRUE(GlHasAccumBuffer());
  glClearAccum(0, 0, 0, 0);
  glClear(GL_ACCUM_BUFFER_BIT);
  ClearTo(1, 0, 0);
  glAccum(GL_ACCUM, 0.5f);
  ClearTo(0, 0, 1);
  glAccum(GL_ACCUM, 0.5f);
  glAccum(GL_RETURN, 1.0f);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  EXPECT_PRED2(Near, context->ReadPixel(1, 1), (Rgba{128, 0, 128, 255}));

  const auto no_accum = TOffscreenContext::Create(4, 4, 0);
  ASSERT_NE(no_accum, nullptr);
  EXPECT_FALSE(GlHasAccumBuffer());
}

// A quad textured only through unit 1: it shows the texture only if both entry points
// reach the context (the active unit for the texture, the client unit for the coordinates).
TEST(Offscreen, MultitextureEntryPointsReachTheContext) {
  const auto context = TOffscreenContext::Create(4, 4);
  ASSERT_NE(context, nullptr);
  ASSERT_TRUE(GlHasMultitexture());
  EXPECT_GE(GlMaxTextureUnits(), 8) << "brushes have eight texture layers";

  GlActiveTexture(GL_TEXTURE1);
  GLint active = 0;
  glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
  EXPECT_EQ(active, GL_TEXTURE1);
  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  const uint8_t green[4] = {0, 255, 0, 255};
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, green);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glEnable(GL_TEXTURE_2D);
  GlActiveTexture(GL_TEXTURE0);
  glDisable(GL_TEXTURE_2D);

  const float corners[] = {-1, -1, 1, -1, -1, 1, 1, 1};
  const float coords[] = {0, 0, 1, 0, 0, 1, 1, 1};
  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(2, GL_FLOAT, 0, corners);
  GlClientActiveTexture(GL_TEXTURE1);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glTexCoordPointer(2, GL_FLOAT, 0, coords);
  ClearTo(1, 0, 0);
  glColor4f(1, 1, 1, 1);
  glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  EXPECT_EQ(context->ReadPixel(2, 2), kGreen);
  glDeleteTextures(1, &name);
}

TEST(Offscreen, ContextsKeepTheirOwnBuffers) {
  const auto first = TOffscreenContext::Create(2, 2);
  ClearTo(1, 0, 0);
  {
    const auto second = TOffscreenContext::Create(2, 2);
    ClearTo(0, 0, 1);
    EXPECT_EQ(second->ReadPixel(0, 0), kBlue);
  }  // destroyed while current
  ASSERT_TRUE(first->MakeCurrent());
  EXPECT_EQ(first->ReadPixel(0, 0), kRed);
  EXPECT_TRUE(GlHasMultitexture());
}

}  // namespace
