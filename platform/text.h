// Text in the built-in 8 x 16 bitmap font (platform/font8x16.h), drawn straight into
// the current OpenGL context over whatever is already there: labels and read-outs
// over a rendered 3D view.
#pragma once

#include <string>

// Draws text with its first glyph's top-left corner at pixel (x, y) of the current
// viewport, counted from the viewport's top-left corner with y downward, in the current
// colour. Each byte is one character: codes 32 to 127 are drawn, any other code leaves
// an empty cell; the pen advances 8 pixels per character. Depth test, alpha test, face
// culling, fog and texturing are off while it draws; afterwards the projection and
// model-view matrices, the matrix mode, the enables, the texture state and the pixel
// unpacking are as before. It leaves the blend state alone: the caller chooses whether
// the glyphs blend. Nothing is drawn into an empty viewport.
void GLDrawText(const std::string& text, int x, int y);
