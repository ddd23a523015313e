// GLDrawText: one glBitmap per glyph at the raster position, in a pixel projection
// over the current viewport. Bitmaps need no texture and write only their ink, so the
// cells stay transparent whatever the blend function.
#include "platform/text.h"

#include <array>

#include "platform/font8x16.h"
#include "platform/gl.h"

namespace {

using GlyphRows = std::array<GLubyte, kFontGlyphHeight>;

// glBitmap reads rows bottom first; the font is stored top first.
constexpr std::array<GlyphRows, kFontGlyphCount> kBitmaps = [] {
  std::array<GlyphRows, kFontGlyphCount> bitmaps{};
  for (int g = 0; g < kFontGlyphCount; ++g) {
    for (int row = 0; row < kFontGlyphHeight; ++row) bitmaps[g][row] = kFont8x16[g][kFontGlyphHeight - 1 - row];
  }
  return bitmaps;
}();

// Bitmap fragments are textured like any others: with a unit still enabled they would
// take the colour of whatever texture the last mesh left bound.
void DisableTexturing() {
  const int units = GlMaxTextureUnits();
  for (int unit = 0; unit < units; ++unit) {
    GlActiveTexture(GL_TEXTURE0 + unit);
    for (GLenum cap : {GL_TEXTURE_1D, GL_TEXTURE_2D, GL_TEXTURE_CUBE_MAP, GL_TEXTURE_GEN_S, GL_TEXTURE_GEN_T,
                       GL_TEXTURE_GEN_R, GL_TEXTURE_GEN_Q}) {
      glDisable(cap);
    }
  }
}

void TightUnpacking() {
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
  glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
  glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
  glPixelStorei(GL_UNPACK_SWAP_BYTES, GL_FALSE);
}

}  // namespace

void GLDrawText(const std::string& text, int x, int y) {
  GLint viewport[4] = {};
  glGetIntegerv(GL_VIEWPORT, viewport);
  const int width = viewport[2], height = viewport[3];
  if (text.empty() || width <= 0 || height <= 0) return;

  // The current bit keeps the current colour and raster position.
  glPushAttrib(GL_ENABLE_BIT | GL_TEXTURE_BIT | GL_TRANSFORM_BIT | GL_CURRENT_BIT);
  glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0, width, height, 0, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_ALPHA_TEST);
  glDisable(GL_CULL_FACE);
  glDisable(GL_FOG);
  DisableTexturing();
  TightUnpacking();

  // A raster position outside the view would be invalid and draw nothing at all, so
  // it is set in the middle and then moved, which keeps it valid wherever the text
  // starts: partly off-screen text still shows its visible part. GL's bitmap offsets
  // count y upward from the bottom-left corner of the glyph.
  const int middle_x = width / 2, middle_y = height / 2;
  glRasterPos2i(middle_x, middle_y);
  const float to_x = static_cast<float>(x) - static_cast<float>(middle_x);
  const float to_y = static_cast<float>(middle_y) - static_cast<float>(y) - static_cast<float>(kFontGlyphHeight);
  glBitmap(0, 0, 0, 0, to_x, to_y, nullptr);
  for (unsigned char c : text) {
    if (c >= kFontFirstCode && c <= kFontLastCode) {
      glBitmap(kFontGlyphWidth, kFontGlyphHeight, 0, 0, kFontGlyphWidth, 0, kBitmaps[c - kFontFirstCode].data());
    } else {
      glBitmap(0, 0, 0, 0, kFontGlyphWidth, 0, nullptr);
    }
  }

  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glPopClientAttrib();
  glPopAttrib();
}
