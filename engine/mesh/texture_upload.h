// How a texture's images reach GL: the frame-name arrays that own the GL names, fitting
// to a size GL takes, the one upload sequence (level 0 and the mip chain, made on a
// helper thread beside large uploads, or band by band while a file decodes) and the
// copies from the back buffer. The texture, its cache and its creators are texture.h's.
#pragma once

#include <memory>
#include <vector>

#include "engine/mesh/texture.h"

class TPixmapStream;

// ---- GL names ----
// `count` empty names, owned by the array: they are deleted when its last holder lets
// go, in the GL context current now and only there.
std::shared_ptr<std::vector<unsigned>> NewFrameNames(int count);

// ---- Fitting ----
// A w x h image's size once fitted as AdjustPixmap fits it: powers of two, both sides
// halved while GL's proxy refuses. Stops the program when even 1 x 1 is refused.
void FitToGl(int& w, int& h);
// Whether GL takes a w x h texture as it is, so that fitting would keep the image.
bool FitsAsItIs(int w, int h);
// Whether `count` frames of width x height, each fitted, stay within the pixel ceiling
// together. Fitting alone can make a frame nearly four times its size (257 to 512 a
// side), so a grid of small frames cut from an image within the ceiling can still ask
// for gigabytes once fitted.
bool FittedFramesFit(int width, int height, int count);
// The image of one frame or face: a window into the source, fitted.
PixmapPtr FittedWindow(const TPixmap& image, int x, int y, int width, int height);

// ---- Upload ----
// Names frame `frame` of the texture and uploads `image` (fitted) into it, with the mip
// chain when the texture is mipmapped. A null image leaves the name without an image.
void UploadFrame(TTexture& texture, int frame, const PixmapPtr& image);
// One cube-map name for the texture, its six faces cut from the strip in its pixmap.
void UploadCubeFaces(TTexture& texture, int face_width, int face_height);
// One frame of the whole image, which GL takes at its size, uploaded while the stream
// decodes it; keeps the decoded image as the texture's pixmap. False when the decode
// fails.
bool UploadAsDecoded(TPixmapStream& stream, TTexture& texture);

// ---- Back-buffer copies ----
// The top-left width x height of the back buffer into a mip level of a 2D name, or of
// a cube map's face (strip order, 0..5; the name is bound whatever the face, and a face
// outside copies nothing).
void CopyBackBuffer(unsigned name, int level, int width, int height);
void CopyBackBufferToCubeFace(unsigned name, int face, int level, int width, int height);
