// Textures: the creators (file loads, frame grids, blank textures, cube maps), the
// cache TTexture::tex_list, the load-time filters, the file search and the settings
// the draw path reads. How images reach GL (names, fitting, upload, the helper threads)
// is texture_upload.cpp's.
//
// Sections: sizes, creators, the cache, settings and queries, filters, file names.
#include "engine/mesh/texture.h"

#include <cstdint>
#include <new>
#include <utility>
#include <vector>

#include "engine/mesh/brush.h"
#include "engine/mesh/texture_upload.h"
#include "platform/file.h"
#include "platform/image.h"
#include "platform/image_stream.h"
#include "platform/runtime.h"

TList<TTexture> TTexture::tex_list;
TList<TTextureFilter> TTextureFilter::filter_list;

// ---------------------------------------------------------------------------------
// Sizes

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

// Whether `count` images of width x height fit side by side in one pixmap. The ceiling
// is on the pixels, not the strip's side: many small frames make a long strip.
bool StripFits(int width, int height, int count) {
  return width >= 1 && height >= 1 && count >= 1 && int64_t{width} * height <= kMaxPixmapPixels &&
         int64_t{width} * height * count <= kMaxPixmapPixels;
}

// What a creator gives when memory runs out on the way: no texture, as for a file that
// does not decode, rather than the end of the process. The names made so far go with
// the frame-name array, and nothing was added to the cache.
TexturePtr OutOfMemory() {
  DebugLog("ERROR: Out of memory making a texture");
  return nullptr;
}

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
    UploadFrame(*texture, i, sub);
  }
  tex_list.AddLast(texture);
  if (batch) batch->made.push_back(texture);
  return texture;
} catch (const std::bad_alloc&) {
  return OutOfMemory();
}

namespace {

// A texture over a blank strip of `count` images of width x height side by side; null
// when the strip cannot be made.
TexturePtr BlankStrip(int width, int height, int count, int flags) {
  PixmapPtr image = CreatePixmap(width * count, height, kPixRgba8, 4);
  if (!image) return nullptr;
  auto texture = std::make_shared<TTexture>();
  texture->pixmap = std::move(image);
  texture->flags = flags;
  return texture;
}

}  // namespace

TexturePtr TTexture::CreateTexture(int width, int height, int flags, int frame_count) try {
  if (flags & kTexCubeMap) return CreateCubeMapTexture(width, height, flags);
  if (frame_count > kMaxTextureFrames || !StripFits(width, height, frame_count) ||
      !FittedFramesFit(width, height, frame_count)) {
    return nullptr;
  }
  TexturePtr texture = BlankStrip(width, height, frame_count, flags);
  if (!texture) return nullptr;
  texture->FilterFlags();
  texture->frame_count = frame_count;
  texture->frame_names = NewFrameNames(frame_count);
  for (int i = 0; i < frame_count; ++i)
    UploadFrame(*texture, i, FittedWindow(*texture->pixmap, i * width, 0, width, height));
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

}  // namespace

TexturePtr TTexture::CreateCubeMapTexture(int width, int height, int flags) try {
  if (!StripFits(width, height, kCubeFaces) || !FacesFitSquare(width, height) ||
      !FittedFramesFit(width, height, kCubeFaces)) {
    return nullptr;
  }
  // No filters: a blank cube map is a render target.
  TexturePtr texture = BlankStrip(width, height, kCubeFaces, flags);
  if (!texture) return nullptr;
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

// ---------------------------------------------------------------------------------
// The cache

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
  CopyBackBuffer((*frame_names)[frame], level, width, height);
}

void TTexture::BackBufferToCubeTex(int level) {
  if (frame_names->empty()) return;
  CopyBackBufferToCubeFace((*frame_names)[0], cube_face, level, width, height);
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
