// Texture creation and upload: the file search, the filters, the cache, power-of-two
// fitting, the mip chain, animation frames cut from one image, cube maps and copies
// from the back buffer.
//
// Sections: GL name ownership, fitting and upload, creators, settings and queries,
// filters, file names.
#include "engine/mesh/texture.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <future>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "engine/mesh/brush.h"
#include "engine/scene/global.h"
#include "platform/file.h"
#include "platform/gl.h"
#include "platform/image.h"
#include "platform/image_stream.h"
#include "platform/runtime.h"

TList<TTexture> TTexture::tex_list;
TList<TTextureFilter> TTextureFilter::filter_list;

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

std::shared_ptr<std::vector<unsigned>> NewFrameNames(int count) {
  WatchForExit();
  return std::shared_ptr<std::vector<unsigned>>(new std::vector<unsigned>(static_cast<size_t>(count), 0u),
                                                DeleteGlNames{GlCurrentContextId()});
}

unsigned GenTexture(GLenum target) {
  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(target, name);
  return name;
}

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

// ---------------------------------------------------------------------------------
// Fitting and upload

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

void UploadLevel(GLenum target, int level, const TPixmap& image) {
  glPixelStorei(GL_UNPACK_ROW_LENGTH, image.Pitch() / image.BytesPerPixel());
  glTexImage2D(target, level, GL_RGBA8, image.Width(), image.Height(), 0, GL_RGBA, GL_UNSIGNED_BYTE, image.Pixels());
}

// Uploads level 0 and, with the mipmapped flag, every halving down to 1 x 1, each level
// resized from the one before. Windows upload in place through GL_UNPACK_ROW_LENGTH.
void UploadWithMips(GLenum target, PixmapPtr image, TTexture& texture) {
  if (!image) return;  // the name stays empty; drawing skips it
  const UnpackState unpack;
  const int w = image->Width(), h = image->Height();
  texture.width = w;
  texture.height = h;
  const bool mipmapped = (texture.flags & kTexMipmapped) != 0;
  std::vector<PixmapPtr> levels;
  std::shared_ptr<HelperChain> helper;
  if (mipmapped) {
    TellMipLevels(target, w, h);
    if (int64_t{w} * h >= kMipsBesideUploadTexels) helper = HelperChain::Start(image);
  }
  UploadLevel(target, 0, *image);
  if (mipmapped) levels = helper ? helper->Finish(image) : HalvedLevels(image);
  int level = 0;
  for (const PixmapPtr& next : levels) UploadLevel(target, ++level, *next);
  texture.mipmap_count = level;
}

// Whether GL would make a w x h RGBA texture: its proxy keeps a width only then.
bool ProxyAccepts(int w, int h) {
  glTexImage2D(GL_PROXY_TEXTURE_2D, 0, 4, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
  GLint accepted = 0;
  glGetTexLevelParameteriv(GL_PROXY_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &accepted);
  return accepted != 0;
}

// Whether GL takes a w x h texture as it is, so that AdjustPixmap would keep the image.
bool FitsAsItIs(int w, int h) {
  return TTexture::Pow2Size(w) == w && TTexture::Pow2Size(h) == h && ProxyAccepts(w, h);
}

// One frame of the whole image, which GL takes at its size, while the stream decodes
// it: level 0 goes up band by band as rows become final, and level 1 is halved from
// each band while its rows are still in cache and goes up too, all beside the decode
// rather than after it. The levels below follow once the image is whole. GL ends up
// holding what UploadWithMips gives it. False when the decode fails.
bool UploadAsDecoded(TPixmapStream& stream, TTexture& texture) {
  const TPixmap& image = stream.Image();
  const int w = image.Width(), h = image.Height();
  texture.frame_names = NewFrameNames(1);
  (*texture.frame_names)[0] = GenTexture(GL_TEXTURE_2D);
  texture.width = w;
  texture.height = h;
  const UnpackState unpack;
  const bool mipmapped = (texture.flags & kTexMipmapped) != 0;
  if (mipmapped) TellMipLevels(GL_TEXTURE_2D, w, h);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);

  // Rows 2k and 2k + 1 make row k of level 1; a single row makes a single row.
  const int half_w = w > 1 ? w / 2 : 1, half_h = h > 1 ? h / 2 : 1, step = h / half_h;
  PixmapPtr half = mipmapped && (w > 1 || h > 1) ? UnsetPixmap(half_w, half_h, kPixRgba8) : nullptr;
  if (half) glTexImage2D(GL_TEXTURE_2D, 1, GL_RGBA8, half_w, half_h, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
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
  texture.pixmap = stream.Finish();
  if (!texture.pixmap) return false;

  int level = half ? 1 : 0;
  if (half)
    for (const PixmapPtr& next : HalvedLevels(half)) UploadLevel(GL_TEXTURE_2D, ++level, *next);
  texture.mipmap_count = level;
  return true;
}

// Whether `count` images of width x height fit side by side in one pixmap. The ceiling
// is on the pixels, not the strip's side: many small frames make a long strip.
bool StripFits(int width, int height, int count) {
  return width >= 1 && height >= 1 && count >= 1 && int64_t{width} * height <= kMaxPixmapPixels &&
         int64_t{width} * height * count <= kMaxPixmapPixels;
}

// Fits a w x h image to the size AdjustPixmap gives it: powers of two, both sides
// halved while GL's proxy refuses.
void FitToGl(int& w, int& h) {
  w = TTexture::Pow2Size(w);
  h = TTexture::Pow2Size(h);
  while (!ProxyAccepts(w, h)) {
    if (w == 1 && h == 1) RuntimeError("Unable to calculate tex size");
    if (w > 1) w /= 2;
    if (h > 1) h /= 2;
  }
}

// Whether `count` frames of width x height, each fitted, stay within the pixel ceiling
// together. Fitting alone can make a frame nearly four times its size (257 to 512 a
// side), so a grid of small frames cut from an image within the ceiling can still ask
// for gigabytes once fitted.
bool FittedFramesFit(int width, int height, int count) {
  FitToGl(width, height);
  return int64_t{width} * height * count <= kMaxPixmapPixels;
}

// What a creator gives when memory runs out on the way: no texture, as for a file that
// does not decode, rather than the end of the process. The names made so far go with
// the frame-name array, and nothing was added to the cache.
TexturePtr OutOfMemory() {
  DebugLog("ERROR: Out of memory making a texture");
  return nullptr;
}

// The image of one frame or face: a window into the source, fitted.
PixmapPtr FittedWindow(const TPixmap& image, int x, int y, int width, int height) {
  PixmapPtr sub = image.Window(x, y, width, height);
  return sub ? TTexture::AdjustPixmap(sub) : nullptr;
}

}  // namespace

int TTexture::Pow2Size(int n) {
  int size = 1;
  while (size < n && size <= (1 << 29)) size *= 2;
  return size;
}

PixmapPtr TTexture::AdjustPixmap(const PixmapPtr& pixmap) {
  int w = pixmap->Width(), h = pixmap->Height();
  FitToGl(w, h);
  if (w == pixmap->Width() && h == pixmap->Height()) return pixmap;
  return ResizePixmap(*pixmap, w, h);
}

// ---------------------------------------------------------------------------------
// Creators

namespace {

// The first steps of every file loader: find the file, name the texture, apply the
// filters. Null when the file is not found.
TexturePtr NamedTexture(const std::string& file, int flags) {
  std::string found = file;
  if (!TTexture::FileFind(found)) return nullptr;
  auto texture = std::make_shared<TTexture>();
  texture->file_name = found;
  texture->absolute_file_name = TTexture::FileAbs(found);
  texture->flags = flags;
  texture->FilterFlags();
  return texture;
}

// Keeps the decoded image as the texture's RGBA image; false when the file did not
// decode (a directory, an unreadable, corrupt or unsupported file).
bool KeepImage(TTexture& texture, PixmapPtr image) {
  if (image && image->Format() != kPixRgba8) image = image->Convert(kPixRgba8);
  if (!image || image->Width() < 1 || image->Height() < 1) {
    DebugLog("ERROR: Cannot load texture: " + texture.file_name);
    return false;
  }
  texture.pixmap = std::move(image);
  return true;
}

// What the texture's upload takes: the fitted image, its mip chain too when mipmapped.
int64_t UploadBytes(const TTexture& texture) {
  const TPixmap& image = *texture.pixmap;
  int64_t upload = int64_t{TTexture::Pow2Size(image.Width())} * TTexture::Pow2Size(image.Height()) * 4;
  if (texture.flags & kTexMipmapped) upload += upload / 3 + 4;
  return upload;
}

// Within a batch an image file is decoded once (`identity` names it; "" outside a batch
// or for a file the file system cannot name). Whether the batch decoded it before; if
// so the texture takes that image, and the batch is charged for the further texture
// before it is made. `read` is then whether the image is there.
bool TakeKnownImage(TTexture& texture, TTextureBatch* batch, const std::string& identity, bool& read) {
  if (identity.empty()) return false;
  const auto known = batch->images.find(identity);
  if (known == batch->images.end()) return false;
  read = KeepImage(texture, known->second);
  if (read && batch->charge) batch->charge(UploadBytes(texture));
  return true;
}

// Counts a first decode in the batch, keeps its image for the file's further textures
// and charges it apart, image and upload.
void NoteDecode(TTextureBatch* batch, const std::string& identity, const TTexture& texture, bool decoded) {
  if (!batch) return;
  ++batch->decodes;
  if (!identity.empty()) batch->images[identity] = decoded ? texture.pixmap : nullptr;
  if (decoded && batch->charge_image)
    batch->charge_image(int64_t{texture.pixmap->Width()} * texture.pixmap->Height() * 4 + UploadBytes(texture));
}

std::string BatchIdentity(const TTexture& texture, const TTextureBatch* batch) {
  return batch ? FileIdentity(texture.file_name) : std::string();
}

enum class ImageRead { kFailed, kDecoded, kUploaded };

// Decodes the found file into the texture's RGBA image, once per file within a batch.
// With `upload_as_decoded` (a texture of one frame that is the whole image) an RGBA
// image at a size GL takes as it is, whose rows come in bands, is uploaded as it
// decodes: kUploaded leaves only the texture's entry in the cache to be made. kDecoded
// means the image is kept and still to be cut and uploaded.
ImageRead ReadImage(TTexture& texture, bool upload_as_decoded, TTextureBatch* batch) {
  const std::string identity = BatchIdentity(texture, batch);
  bool read = false;
  if (TakeKnownImage(texture, batch, identity, read)) return read ? ImageRead::kDecoded : ImageRead::kFailed;
  PixmapPtr image;
  if (upload_as_decoded) {
    std::unique_ptr<TPixmapStream> stream = TPixmapStream::Open(texture.file_name);
    if (stream && stream->WaitHeader() && stream->RowsInBands() && stream->Image().Format() == kPixRgba8 &&
        FitsAsItIs(stream->Image().Width(), stream->Image().Height())) {
      read = UploadAsDecoded(*stream, texture);
      if (!read) DebugLog("ERROR: Cannot load texture: " + texture.file_name);
      NoteDecode(batch, identity, texture, read);
      return read ? ImageRead::kUploaded : ImageRead::kFailed;
    }
    if (stream) image = stream->Finish();
  } else {
    image = LoadPixmap(texture.file_name);
  }
  read = KeepImage(texture, std::move(image));
  NoteDecode(batch, identity, texture, read);
  return read ? ImageRead::kDecoded : ImageRead::kFailed;
}

}  // namespace

TexturePtr TTexture::LoadTexture(const std::string& file, int flags) {
  return LoadAnimTexture(file, flags, 0, 0, 0, 1);
}

TexturePtr TTexture::LoadTexture(const std::string& file, int flags, TTextureBatch* batch) {
  return LoadFileTexture(file, flags, 0, 0, 0, 1, batch);
}

TexturePtr TTexture::LoadAnimTexture(const std::string& file, int flags, int frame_width, int frame_height,
                                     int first_frame, int frame_count) {
  return LoadFileTexture(file, flags, frame_width, frame_height, first_frame, frame_count, nullptr);
}

TexturePtr TTexture::LoadFileTexture(const std::string& file, int flags, int frame_width, int frame_height,
                                     int first_frame, int frame_count, TTextureBatch* batch) try {
  // The caller's flags decide: a filter cannot turn a texture into a cube map.
  if (flags & kTexCubeMap) return LoadCubeMapTexture(file, flags, batch);

  TexturePtr texture = NamedTexture(file, flags);
  if (!texture) return nullptr;
  texture->frame_width_arg = frame_width;
  texture->frame_height_arg = frame_height;
  texture->first_frame_arg = first_frame;
  texture->frame_count = frame_count;
  if (TexturePtr cached = texture->TexInList()) return cached;
  const bool whole_image = frame_width == 0 && frame_height == 0 && first_frame == 0 && frame_count == 1;
  switch (ReadImage(*texture, whole_image, batch)) {
    case ImageRead::kFailed: return nullptr;
    case ImageRead::kUploaded:
      tex_list.AddLast(texture);
      if (batch) batch->made.push_back(texture);
      return texture;
    case ImageRead::kDecoded: break;
  }

  const TPixmap& image = *texture->pixmap;
  if (frame_width == 0 && frame_height == 0) {
    frame_width = image.Width();
    frame_height = image.Height();
  }
  // The grid must lie inside the image: no division by zero, no window outside it.
  const int frames_x = frame_width > 0 ? image.Width() / frame_width : 0;
  const int frames_y = frame_height > 0 ? image.Height() / frame_height : 0;
  if (frames_x < 1 || frames_y < 1 || first_frame < 0 || frame_count < 1 ||
      int64_t{first_frame} + frame_count > int64_t{frames_x} * frames_y) {
    DebugLog("ERROR: Invalid frame grid for texture: " + texture->file_name);
    return nullptr;
  }
  if (!FittedFramesFit(frame_width, frame_height, frame_count)) {
    DebugLog("ERROR: Texture frames too large once fitted: " + texture->file_name);
    return nullptr;
  }

  texture->frame_names = NewFrameNames(frame_count);
  int column = first_frame % frames_x;
  int row = first_frame / frames_x;
  for (int i = 0; i < frame_count; ++i) {
    PixmapPtr sub = FittedWindow(image, column * frame_width, row * frame_height, frame_width, frame_height);
    if (++column == frames_x) {
      column = 0;
      ++row;
    }
    (*texture->frame_names)[i] = GenTexture(GL_TEXTURE_2D);
    UploadWithMips(GL_TEXTURE_2D, sub, *texture);
  }
  tex_list.AddLast(texture);
  if (batch) batch->made.push_back(texture);
  return texture;
} catch (const std::bad_alloc&) {
  return OutOfMemory();
}

TexturePtr TTexture::CreateTexture(int width, int height, int flags, int frame_count) try {
  if (flags & kTexCubeMap) return CreateCubeMapTexture(width, height, flags);
  if (frame_count > kMaxTextureFrames || !StripFits(width, height, frame_count) ||
      !FittedFramesFit(width, height, frame_count)) {
    return nullptr;
  }
  PixmapPtr image = CreatePixmap(width * frame_count, height, kPixRgba8, 4);
  if (!image) return nullptr;

  auto texture = std::make_shared<TTexture>();
  texture->pixmap = image;
  texture->flags = flags;
  texture->FilterFlags();
  texture->frame_count = frame_count;
  texture->frame_names = NewFrameNames(frame_count);
  for (int i = 0; i < frame_count; ++i) {
    PixmapPtr sub = FittedWindow(*image, i * width, 0, width, height);
    (*texture->frame_names)[i] = GenTexture(GL_TEXTURE_2D);
    UploadWithMips(GL_TEXTURE_2D, sub, *texture);
  }
  tex_list.AddLast(texture);
  return texture;
} catch (const std::bad_alloc&) {
  return OutOfMemory();
}

namespace {

// GL takes only square cube faces. Faces are fitted to powers of two like every image,
// so sides that fit to the same power (30 and 32) make square faces; others would make
// faces GL refuses, so no cube map is made of them.
bool FacesFitSquare(int face_width, int face_height) {
  return TTexture::Pow2Size(face_width) == TTexture::Pow2Size(face_height);
}

// Uploads the six faces of the strip into one cube-map name.
void UploadCubeFaces(TTexture& texture, int face_width, int face_height) {
  texture.frame_count = 1;
  texture.frame_names = NewFrameNames(1);
  (*texture.frame_names)[0] = GenTexture(GL_TEXTURE_CUBE_MAP);
  for (int face = 0; face < kCubeFaces; ++face) {
    PixmapPtr sub = FittedWindow(*texture.pixmap, face * face_width, 0, face_width, face_height);
    UploadWithMips(kCubeFaceTargets[face], sub, texture);
  }
}

}  // namespace

TexturePtr TTexture::CreateCubeMapTexture(int width, int height, int flags) try {
  if (!StripFits(width, height, kCubeFaces) || !FacesFitSquare(width, height) ||
      !FittedFramesFit(width, height, kCubeFaces)) {
    return nullptr;
  }
  PixmapPtr image = CreatePixmap(width * kCubeFaces, height, kPixRgba8, 4);
  if (!image) return nullptr;
  auto texture = std::make_shared<TTexture>();
  texture->pixmap = image;
  texture->flags = flags;  // no filters: a blank cube map is a render target
  UploadCubeFaces(*texture, width, height);
  tex_list.AddLast(texture);
  return texture;
} catch (const std::bad_alloc&) {
  return OutOfMemory();
}

TexturePtr TTexture::LoadCubeMapTexture(const std::string& file, int flags) {
  return LoadCubeMapTexture(file, flags, nullptr);
}

TexturePtr TTexture::LoadCubeMapTexture(const std::string& file, int flags, TTextureBatch* batch) try {
  TexturePtr texture = NamedTexture(file, flags);
  if (!texture) return nullptr;
  if (TexturePtr cached = texture->TexInList()) return cached;
  if (ReadImage(*texture, false, batch) == ImageRead::kFailed) return nullptr;
  const int face_width = texture->pixmap->Width() / kCubeFaces;
  if (face_width < 1 || !FacesFitSquare(face_width, texture->pixmap->Height()) ||
      !FittedFramesFit(face_width, texture->pixmap->Height(), kCubeFaces)) {
    DebugLog("ERROR: Invalid frame grid for texture: " + texture->file_name);
    return nullptr;
  }
  UploadCubeFaces(*texture, face_width, texture->pixmap->Height());
  tex_list.AddLast(texture);
  if (batch) batch->made.push_back(texture);
  return texture;
} catch (const std::bad_alloc&) {
  return OutOfMemory();
}

void TTexture::FreeTexture() {
  tex_list.Remove(this);
  pixmap.reset();
  // A new empty array rather than clearing the shared one: copies of this texture
  // keep theirs, and the old names go with the old array's last holder.
  frame_names = std::make_shared<std::vector<unsigned>>();
}

TexturePtr TTexture::TexInList() const {
  for (const TexturePtr& t : tex_list) {
    if (t->absolute_file_name == absolute_file_name && t->flags == flags &&
        t->frame_width_arg == frame_width_arg && t->frame_height_arg == frame_height_arg &&
        t->first_frame_arg == first_frame_arg && t->frame_count == frame_count) {
      return t;
    }
  }
  return nullptr;
}

// ---------------------------------------------------------------------------------
// Settings and queries

namespace {

int MipmapSide(int side, int level, int mipmap_count) {
  if (level < 0 || level > mipmap_count) return 0;
  for (int i = 0; i < level && side > 1; ++i) side /= 2;
  return side;
}

}  // namespace

int TTexture::MipmapWidth(int level) const { return MipmapSide(width, level, mipmap_count); }
int TTexture::MipmapHeight(int level) const { return MipmapSide(height, level, mipmap_count); }

void TTexture::BackBufferToTex(int level, int frame) {
  if (frame < 0 || static_cast<size_t>(frame) >= frame_names->size()) return;
  glBindTexture(GL_TEXTURE_2D, (*frame_names)[frame]);
  // GL counts y from the bottom: the top-left area starts height rows below the top.
  glCopyTexImage2D(GL_TEXTURE_2D, level, GL_RGBA8, 0, TGlobal::GlBottomY(0, height), width, height, 0);
}

void TTexture::BackBufferToCubeTex(int level) {
  if (frame_names->empty()) return;
  glBindTexture(GL_TEXTURE_CUBE_MAP, (*frame_names)[0]);
  if (cube_face < 0 || cube_face >= kCubeFaces) return;
  glCopyTexImage2D(kCubeCopyTargets[cube_face], level, GL_RGBA8, 0, TGlobal::GlBottomY(0, height), width, height, 0);
}

TexturePtr TTexture::GetBrushTexture(const BrushPtr& brush, int index) {
  if (!brush || index < 0 || index >= kMaxTextureLayers) return nullptr;
  return brush->textures[index];
}

// ---------------------------------------------------------------------------------
// Filters

void TTexture::ClearTextureFilters() { TTextureFilter::filter_list.Clear(); }

void TTexture::TextureFilter(const std::string& match_text, int filter_flags) {
  auto filter = std::make_shared<TTextureFilter>();
  filter->match_text = match_text;
  filter->flags = filter_flags;
  TTextureFilter::filter_list.AddLast(filter);
}

void TTexture::FilterFlags() {
  // Exact, case-sensitive substring; the empty text is found in every name.
  for (const auto& filter : TTextureFilter::filter_list)
    if (file_name.find(filter->match_text) != std::string::npos) flags |= filter->flags;
}

// ---------------------------------------------------------------------------------
// File names

bool TTexture::FileFind(std::string& file) {
  if (FileType(file) != kFileNone) return true;
  // Missing as given: try the bare file name in the current directory, so a model's
  // "maps\skin/face.png" is found as face.png.
  const size_t backslash = file.find_last_of('\\');
  if (backslash != std::string::npos) file.erase(0, backslash + 1);
  const size_t slash = file.find_last_of('/');
  if (slash != std::string::npos) file.erase(0, slash + 1);
  if (FileType(file) == kFileNone) {
    DebugLog("ERROR: Cannot find texture: " + file);
    return false;
  }
  return true;
}

std::string TTexture::FileAbs(const std::string& file) {
  std::string name = file;
  for (char& c : name)
    if (c == '\\') c = '/';
  // Absolute: from the root, or from a drive ("C:/..."). Any other name, one with a ":"
  // further on included, is relative, or two folders' files would share a cache entry.
  const bool absolute = (!name.empty() && name[0] == '/') || (name.size() >= 2 && name[1] == ':');
  return absolute ? name : CurrentDir() + "/" + name;
}
