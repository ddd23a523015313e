// A texture: the OpenGL texture names of its frames plus how layers use it (blend
// mode, coordinate set, texture matrix values, cube-map settings), the texture cache
// TTexture::tex_list and the load-time filters TTextureFilter::filter_list.
//
// A cached texture is one object: brushes that loaded the same file share it. Its GL
// names go when the last holder of its frame-name array does (see texture_upload.cpp).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/scene/handles.h"
#include "platform/list.h"

class TPixmap;  // the platform's RGBA image
using PixmapPtr = std::shared_ptr<TPixmap>;

// Bits of TTexture::flags. Every bit counts in the texture cache's key.
enum TextureFlags : int {
  kTexColour = 1,      // no effect of its own
  kTexAlpha = 2,       // layer-0 texture makes the surface transparent
  kTexMasked = 4,      // alpha test on
  kTexMipmapped = 8,   // full mip chain uploaded and used
  kTexClampU = 16,
  kTexClampV = 32,
  kTexSphereMap = 64,
  kTexCubeMap = 128,
};

// TTexture::blend: how a layer combines with what the units before it made.
enum TextureBlendMode : int {
  kTexBlendReplace = 1,  // 0 too
  kTexBlendModulate = 2,
  kTexBlendAdd = 3,
  kTexBlendDot3 = 4,
  kTexBlendModulate2x = 5,
};

// A cube map's faces side by side in its image, left to right.
constexpr int kCubeFaces = 6;
// Most frames a blank texture may have: each is a GL name and an upload of its own, so
// past this the names alone would take the time, whatever the pixels.
constexpr int kMaxTextureFrames = 65536;

// A (match text, flags) pair: textures whose file name contains the text get the flags.
class TTextureFilter {
 public:
  std::string match_text;  // the empty text matches every name
  int flags = 0;

  static TList<TTextureFilter> filter_list;  // installation order
};

// What the textures of one model load share. Each image file is decoded once, however
// many flag values or spellings of its path name it, and every texture made is
// recorded, so that the loader can let go of those no brush took.
struct TTextureBatch {
  // Told the bytes a texture is about to take on an image this batch decoded already:
  // the first texture of an image costs what loading that image costs anyway, each
  // further flag value multiplies it. May stop the load (it does not return then).
  std::function<void(int64_t)> charge;
  // Told the bytes the first texture of an image takes (its decoded image and upload),
  // once it has decoded. May stop the load as charge does.
  std::function<void(int64_t)> charge_image;
  std::map<std::string, PixmapPtr> images;  // by file identity; null: did not decode
  std::vector<TexturePtr> made;             // in the order made
  int decodes = 0;
};

class TTexture {
 public:
  std::string file_name;  // as the file search found it
  int flags = 0;          // after the texture filters were ORed in
  int blend = kTexBlendModulate;  // texture-unit combine mode
  int coord_set = 0;              // texture coordinate set 0 or 1
  float u_scale = 1.0f, v_scale = 1.0f;    // reciprocals of the scale factors
  float u_offset = 0.0f, v_offset = 0.0f;  // negated position offsets
  float angle = 0.0f;                      // degrees
  std::string absolute_file_name;          // cache key with flags and the frame arguments
  int width = 0, height = 0;  // of mip level 0 (one face for a cube map)
  std::shared_ptr<TPixmap> pixmap;  // the whole source image in RGBA
  // GL name per frame. Shared as one object on purpose: brushes compare textures by
  // whether they hold the same array, so copies of a texture must keep pointing at it.
  // An array made by a creator deletes its names when its last holder lets go.
  std::shared_ptr<std::vector<unsigned>> frame_names =
      std::make_shared<std::vector<unsigned>>(1, 0u);
  int frame_count = 1;
  int mipmap_count = 0;
  int cube_face = 0;
  int cube_mode = 1;  // 1 reflection map, 2 normal map
  // The frame arguments the file was loaded with; part of the cache key, so that one
  // file cut into two frame grids gives two textures.
  int frame_width_arg = 0, frame_height_arg = 0, first_frame_arg = 0;

  static TList<TTexture> tex_list;  // every texture made and not yet freed

  // ---- Creators (each appends its texture to tex_list) ----
  // Null when the file cannot be found or does not decode.
  static TexturePtr LoadTexture(const std::string& file, int flags = kTexColour);
  // The same within a batch (null: none).
  static TexturePtr LoadTexture(const std::string& file, int flags, TTextureBatch* batch);
  // frame_count frames of frame_width x frame_height from grid cell first_frame on,
  // cells numbered row by row; 0 x 0 means one frame of the whole image. Null as
  // LoadTexture, and for a grid that does not fit the image.
  static TexturePtr LoadAnimTexture(const std::string& file, int flags, int frame_width, int frame_height,
                                    int first_frame, int frame_count);
  // Blank (transparent black); never cached. All frames (or the six cube faces) lie
  // side by side in one image, which may hold up to kMaxPixmapPixels pixels. Null for a
  // size or count below 1, more than kMaxTextureFrames frames or a larger image, and
  // for cube faces that would not be square once fitted to powers of two.
  static TexturePtr CreateTexture(int width, int height, int flags = kTexColour, int frame_count = 1);
  static TexturePtr CreateCubeMapTexture(int width, int height, int flags = kTexColour);
  // The six faces side by side in one image; null, as for a bad frame grid, when the
  // faces would not be square once fitted.
  static TexturePtr LoadCubeMapTexture(const std::string& file, int flags = kTexColour);

  // Out of the cache, image and frame names dropped. Brushes that still hold the texture
  // draw without that layer.
  void FreeTexture();

  // ---- Settings the draw path reads every frame ----
  void TextureBlend(int value) { blend = value; }
  void TextureCoords(int coords) { coord_set = coords; }
  void ScaleTexture(float u, float v) {  // no zero test: 0 stores infinity
    u_scale = 1.0f / u;
    v_scale = 1.0f / v;
  }
  void PositionTexture(float u, float v) {
    u_offset = -u;
    v_offset = -v;
  }
  void RotateTexture(float degrees) { angle = degrees; }
  void SetCubeFace(int face) { cube_face = face; }
  void SetCubeMode(int mode) { cube_mode = mode; }

  int TextureWidth() const { return width; }
  int TextureHeight() const { return height; }
  const std::string& TextureName() const { return absolute_file_name; }  // empty when created
  int CountMipmaps() const { return mipmap_count; }
  int MipmapWidth(int level) const;   // 0 outside 0..mipmap_count
  int MipmapHeight(int level) const;

  // Copies the top-left width x height of the back buffer into a mip level of a frame
  // (a frame outside the names copies nothing), or of the face cube_face (0..5).
  void BackBufferToTex(int level = 0, int frame = 0);
  void BackBufferToCubeTex(int level = 0);

  // Layer index (0..7) of the brush; null for an empty layer, a null brush or an
  // index outside.
  static TexturePtr GetBrushTexture(const BrushPtr& brush, int index);
  static void ClearTextureFilters();
  static void TextureFilter(const std::string& match_text, int flags);

  // ---- Internals of the creators ----
  static TexturePtr LoadFileTexture(const std::string& file, int flags, int frame_width, int frame_height,
                                    int first_frame, int frame_count, TTextureBatch* batch);
  static TexturePtr LoadCubeMapTexture(const std::string& file, int flags, TTextureBatch* batch);
  // The name as given when it exists, else with its directories stripped; false (and
  // a debug message) when neither exists.
  static bool FileFind(std::string& file);
  // Prefixed with the current directory unless it is absolute ("/..." or with a drive ":").
  static std::string FileAbs(const std::string& file);
  TexturePtr TexInList() const;  // the cached texture with this one's key, or null
  void FilterFlags();            // ORs in the flags of every matching filter
  // Fitted to a power-of-two size GL accepts, halving both sides while it refuses;
  // the same pixmap when it fits already.
  static PixmapPtr AdjustPixmap(const PixmapPtr& pixmap);
  static int Pow2Size(int n);  // smallest power of two >= n (1 for n <= 1)
};
