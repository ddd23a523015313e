// A texture: the OpenGL texture names of its frames plus how layers use it
// (blend mode, coordinate set, texture matrix values, cube-map settings).
//
// For now it holds only its data; loading, upload and the texture list come with the loader.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/scene/handles.h"

class TPixmap;  // the platform's RGBA image

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

class TTexture {
 public:
  std::string file_name;  // as the file search found it; cache key with flags
  int flags = 0;          // after the texture filters were ORed in
  int blend = 2;          // texture-unit combine mode
  int coord_set = 0;      // texture coordinate set 0 or 1
  float u_scale = 1.0f, v_scale = 1.0f;    // reciprocals of the scale factors
  float u_offset = 0.0f, v_offset = 0.0f;  // negated position offsets
  float angle = 0.0f;                      // degrees
  std::string absolute_file_name;
  int width = 0, height = 0;  // of mip level 0 (one face for a cube map)
  std::shared_ptr<TPixmap> pixmap;
  // GL name per frame. Shared as one object on purpose: brushes compare textures by
  // whether they hold the same array, so copies of a texture must keep pointing at it.
  std::shared_ptr<std::vector<unsigned>> frame_names =
      std::make_shared<std::vector<unsigned>>(1, 0u);
  int frame_count = 1;
  int mipmap_count = 0;
  int cube_face = 0;
  int cube_mode = 1;  // 1 reflection map, 2 normal map

  // Null when the file cannot be found.
  static TexturePtr LoadTexture(const std::string& file, int flags);
};
