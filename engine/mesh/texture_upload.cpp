// Textures into GL: who owns a GL texture name and when it goes, fitting to a size GL
// accepts, the upload of an image and its mip chain (the chain of a large image made on
// a helper thread), the upload of a file while it decodes, and back-buffer copies.
// Every upload of an image ends in one sequence, UploadLevels.
//
// Sections: GL name ownership, fitting, the upload sequence, frames and faces, upload
// while decoding, back-buffer copies.
#include "engine/mesh/texture_upload.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <future>
#include <new>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

#include "engine/scene/global.h"
#include "platform/gl.h"
#include "platform/image.h"
#include "platform/image_stream.h"
#include "platform/runtime.h"

// ---------------------------------------------------------------------------------
// GL name ownership
//
// A creator's frame-name array deletes its GL names when its last holder lets go:
// after FreeTexture, once no copy of the texture still holds the array, nothing can
// draw them again, and a reload must not leak a set of names each time. Names are
// deleted only while the context that made them is current; in any other context the
// same numbers belong to other textures. At process exit nothing is deleted at all:
// the GL library may already be shutting down when the static lists are destroyed.

namespace {

bool g_exiting = false;

void WatchForExit() {
  // Registered after the static texture list was built, so it runs before that list's
  // destructor does.
  static const bool registered = (std::atexit([] { g_exiting = true; }) == 0);
  (void)registered;
}

struct DeleteGlNames {
  unsigned long long context;
  void operator()(std::vector<unsigned>* names) const {
    if (!g_exiting && context != 0 && GlCurrentContextId() == context) {
      for (unsigned name : *names)
        if (name != 0) glDeleteTextures(1, &name);
    }
    delete names;
  }
};

unsigned GenTexture(GLenum target) {
  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(target, name);
  return name;
}

}  // namespace

std::shared_ptr<std::vector<unsigned>> NewFrameNames(int count) {
  WatchForExit();
  return std::shared_ptr<std::vector<unsigned>>(new std::vector<unsigned>(static_cast<size_t>(count), 0u),
                                                DeleteGlNames{GlCurrentContextId()});
}

// ---------------------------------------------------------------------------------
// Fitting

namespace {

// Whether GL would make a w x h RGBA texture: its proxy keeps a width only then.
bool ProxyAccepts(int w, int h) {
  glTexImage2D(GL_PROXY_TEXTURE_2D, 0, 4, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
  GLint accepted = 0;
  glGetTexLevelParameteriv(GL_PROXY_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &accepted);
  return accepted != 0;
}

}  // namespace

void FitToGl(int& w, int& h) {
  w = TTexture::Pow2Size(w);
  h = TTexture::Pow2Size(h);
  while (!ProxyAccepts(w, h)) {
    if (w == 1 && h == 1) RuntimeError("Unable to calculate tex size");
    if (w > 1) w /= 2;
    if (h > 1) h /= 2;
  }
}

bool FitsAsItIs(int w, int h) {
  return TTexture::Pow2Size(w) == w && TTexture::Pow2Size(h) == h && ProxyAccepts(w, h);
}

bool FittedFramesFit(int width, int height, int count) {
  FitToGl(width, height);
  return int64_t{width} * height * count <= kMaxPixmapPixels;
}

PixmapPtr FittedWindow(const TPixmap& image, int x, int y, int width, int height) {
  PixmapPtr sub = image.Window(x, y, width, height);
  return sub ? TTexture::AdjustPixmap(sub) : nullptr;
}

// ---------------------------------------------------------------------------------
// The upload sequence

namespace {

// Halvings from w x h down to 1 x 1: log2 of the larger side.
int MipLevels(int w, int h) {
  int levels = 0;
  while (w > 1 || h > 1) {
    w = w > 1 ? w / 2 : 1;
    h = h > 1 ? h / 2 : 1;
    ++levels;
  }
  return levels;
}

// From this many texels up, the mip levels are made on a helper thread while GL copies
// level 0: both take about as long, and neither needs the other. Below it, starting a
// thread would cost more than it saves.
constexpr int64_t kMipsBesideUploadTexels = 512 * 512;

// Every halving below `image` down to 1 x 1, each made from the one before; the chain
// stops early only when memory runs out.
std::vector<PixmapPtr> HalvedLevels(PixmapPtr image) {
  std::vector<PixmapPtr> levels;
  try {
    int w = image->Width(), h = image->Height();
    while (w > 1 || h > 1) {
      if (w > 1) w /= 2;
      if (h > 1) h /= 2;
      PixmapPtr next = ResizePixmap(*image, w, h);
      if (!next) break;
      levels.push_back(next);
      image = std::move(next);
    }
  } catch (const std::bad_alloc&) {
    // the levels made so far are uploaded
  }
  return levels;
}

// The chain made on a helper thread. Whichever side starts it first makes it: when the
// machine is busy and the helper has not run by the time level 0 is up, the caller
// makes the chain itself rather than wait for a thread to be scheduled; the helper,
// when it runs, finds the work taken and ends. It owns its share of this state, so it
// is never waited for then.
class HelperChain {
 public:
  static std::shared_ptr<HelperChain> Start(const PixmapPtr& image) {
    auto chain = std::make_shared<HelperChain>();
    chain->made_ = chain->promise_.get_future();
    try {
      std::thread([chain, image] {
        if (!chain->claimed_.exchange(true)) chain->promise_.set_value(HalvedLevels(image));
      }).detach();
    } catch (const std::system_error&) {
      return nullptr;  // no thread to be had: the caller makes the chain
    }
    return chain;
  }
  std::vector<PixmapPtr> Finish(const PixmapPtr& image) {
    return claimed_.exchange(true) ? made_.get() : HalvedLevels(image);
  }

 private:
  std::atomic<bool> claimed_{false};
  std::promise<std::vector<PixmapPtr>> promise_;
  std::future<std::vector<PixmapPtr>> made_;
};

// Row alignment 4 while a texture goes up (RGBA rows are whole words; the row length
// says the rest, packed until a level says otherwise), then the caller's alignment back
// and packed rows for later uploads.
class UnpackState {
 public:
  UnpackState() {
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &old_alignment_);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  }
  ~UnpackState() {
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, old_alignment_);
  }

 private:
  GLint old_alignment_ = 4;
};

// The number of levels that follow, told before level 0: GL then keeps the whole chain
// in one store from the start, instead of keeping level 0 alone and copying it into a
// new store when level 1 arrives (a second copy of the largest level).
void TellMipLevels(GLenum target, int w, int h) {
  const GLenum bound = target == GL_TEXTURE_2D ? GL_TEXTURE_2D : GL_TEXTURE_CUBE_MAP;
  glTexParameteri(bound, GL_TEXTURE_MAX_LEVEL, MipLevels(w, h));
}

// One level from an image or a window into one: the row length follows its pitch.
void UploadLevel(GLenum target, int level, const TPixmap& image) {
  glPixelStorei(GL_UNPACK_ROW_LENGTH, image.Pitch() / image.BytesPerPixel());
  glTexImage2D(target, level, GL_RGBA8, image.Width(), image.Height(), 0, GL_RGBA, GL_UNSIGNED_BYTE, image.Pixels());
}

// What the first steps of an upload leave: the last level they put up, and the levels
// still to go below it, each the halving of the one before.
struct TopLevels {
  int last = 0;
  std::vector<PixmapPtr> below;
};

// The one upload sequence, for a level 0 of w x h bound at `target`: the texture takes
// that size, rows unpack as UnpackState says, GL hears the chain's length when the
// texture is mipmapped, then `upload_top(mipmapped)` puts up the top levels and gives
// a TopLevels (nullopt when it fails: false). The levels below it follow in order, and
// their number is the texture's mipmap_count.
template <class UploadTop>
bool UploadLevels(GLenum target, int w, int h, TTexture& texture, UploadTop upload_top) {
  texture.width = w;
  texture.height = h;
  const UnpackState unpack;
  const bool mipmapped = (texture.flags & kTexMipmapped) != 0;
  if (mipmapped) TellMipLevels(target, w, h);
  std::optional<TopLevels> top = upload_top(mipmapped);
  if (!top) return false;
  int level = top->last;
  for (const PixmapPtr& next : top->below) UploadLevel(target, ++level, *next);
  texture.mipmap_count = level;
  return true;
}

// Level 0 from the image and, when mipmapped, every halving down to 1 x 1, each level
// resized from the one before. Windows upload in place through GL_UNPACK_ROW_LENGTH.
void UploadWithMips(GLenum target, const PixmapPtr& image, TTexture& texture) {
  if (!image) return;  // the name stays empty; drawing skips it
  const int w = image->Width(), h = image->Height();
  UploadLevels(target, w, h, texture, [&](bool mipmapped) {
    std::shared_ptr<HelperChain> helper;
    if (mipmapped && int64_t{w} * h >= kMipsBesideUploadTexels) helper = HelperChain::Start(image);
    UploadLevel(target, 0, *image);
    TopLevels top;
    if (mipmapped) top.below = helper ? helper->Finish(image) : HalvedLevels(image);
    return std::optional<TopLevels>(std::move(top));
  });
}

// ---------------------------------------------------------------------------------
// Frames and faces

// Cube faces in the order they stand in the image strip.
constexpr GLenum kCubeFaceTargets[kCubeFaces] = {
    GL_TEXTURE_CUBE_MAP_NEGATIVE_X, GL_TEXTURE_CUBE_MAP_POSITIVE_Z, GL_TEXTURE_CUBE_MAP_POSITIVE_X,
    GL_TEXTURE_CUBE_MAP_NEGATIVE_Z, GL_TEXTURE_CUBE_MAP_POSITIVE_Y, GL_TEXTURE_CUBE_MAP_NEGATIVE_Y,
};
// The back-buffer copy swaps the two y faces relative to the strip: a camera rendering
// "up" sees what a reflection looking down must show.
constexpr GLenum kCubeCopyTargets[kCubeFaces] = {
    GL_TEXTURE_CUBE_MAP_NEGATIVE_X, GL_TEXTURE_CUBE_MAP_POSITIVE_Z, GL_TEXTURE_CUBE_MAP_POSITIVE_X,
    GL_TEXTURE_CUBE_MAP_NEGATIVE_Z, GL_TEXTURE_CUBE_MAP_NEGATIVE_Y, GL_TEXTURE_CUBE_MAP_POSITIVE_Y,
};

}  // namespace

void UploadFrame(TTexture& texture, int frame, const PixmapPtr& image) {
  (*texture.frame_names)[frame] = GenTexture(GL_TEXTURE_2D);
  UploadWithMips(GL_TEXTURE_2D, image, texture);
}

void UploadCubeFaces(TTexture& texture, int face_width, int face_height) {
  texture.frame_count = 1;
  texture.frame_names = NewFrameNames(1);
  (*texture.frame_names)[0] = GenTexture(GL_TEXTURE_CUBE_MAP);
  for (int face = 0; face < kCubeFaces; ++face) {
    PixmapPtr sub = FittedWindow(*texture.pixmap, face * face_width, 0, face_width, face_height);
    UploadWithMips(kCubeFaceTargets[face], sub, texture);
  }
}

// ---------------------------------------------------------------------------------
// Upload while decoding
//
// Level 0 goes up band by band as rows become final, and level 1 is halved from each
// band while its rows are still in cache and goes up too, all beside the decode rather
// than after it. The levels below follow once the image is whole, through the same
// sequence as every other upload.

namespace {

// Level 0 of the stream's image, and level 1 into `half` when there is one, band by
// band until the image is whole. False when the decode fails.
bool UploadBands(TPixmapStream& stream, const PixmapPtr& half) {
  const TPixmap& image = stream.Image();
  const int w = image.Width(), h = image.Height();
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
  // Rows 2k and 2k + 1 make row k of level 1; a single row makes a single row.
  const int half_w = half ? half->Width() : 0, step = half ? h / half->Height() : 1;
  if (half) glTexImage2D(GL_TEXTURE_2D, 1, GL_RGBA8, half_w, half->Height(), 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
  int have = 0, halved = 0;
  while (have < h) {
    const int rows = stream.WaitRows(have);
    if (rows < 0) return false;
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, have, w, rows - have, GL_RGBA, GL_UNSIGNED_BYTE, image.Row(have));
    have = rows;
    const int upto = have / step;
    if (half && upto > halved) {
      ResizePixmapInto(*image.Window(0, halved * step, w, (upto - halved) * step),
                       half->Window(0, halved, half_w, upto - halved).get());
      glTexSubImage2D(GL_TEXTURE_2D, 1, 0, halved, half_w, upto - halved, GL_RGBA, GL_UNSIGNED_BYTE, half->Row(halved));
      halved = upto;
    }
  }
  return true;
}

}  // namespace

bool UploadAsDecoded(TPixmapStream& stream, TTexture& texture) {
  const int w = stream.Image().Width(), h = stream.Image().Height();
  texture.frame_names = NewFrameNames(1);
  (*texture.frame_names)[0] = GenTexture(GL_TEXTURE_2D);
  return UploadLevels(GL_TEXTURE_2D, w, h, texture, [&](bool mipmapped) -> std::optional<TopLevels> {
    const int half_w = w > 1 ? w / 2 : 1, half_h = h > 1 ? h / 2 : 1;
    const PixmapPtr half = mipmapped && (w > 1 || h > 1) ? UnsetPixmap(half_w, half_h, kPixRgba8) : nullptr;
    if (!UploadBands(stream, half)) return std::nullopt;
    texture.pixmap = stream.Finish();
    if (!texture.pixmap) return std::nullopt;
    TopLevels top;
    if (half) {
      top.last = 1;
      top.below = HalvedLevels(half);
    }
    return top;
  });
}

// ---------------------------------------------------------------------------------
// Back-buffer copies

void CopyBackBuffer(unsigned name, int level, int width, int height) {
  glBindTexture(GL_TEXTURE_2D, name);
  // GL counts y from the bottom: the top-left area starts height rows below the top.
  glCopyTexImage2D(GL_TEXTURE_2D, level, GL_RGBA8, 0, TGlobal::GlBottomY(0, height), width, height, 0);
}

void CopyBackBufferToCubeFace(unsigned name, int face, int level, int width, int height) {
  glBindTexture(GL_TEXTURE_CUBE_MAP, name);
  if (face < 0 || face >= kCubeFaces) return;
  glCopyTexImage2D(kCubeCopyTargets[face], level, GL_RGBA8, 0, TGlobal::GlBottomY(0, height), width, height, 0);
}
