// Texture loading. Until the loader lands, every load finds nothing.
#include "engine/mesh/texture.h"

// Replaced by the texture loader.
TexturePtr TTexture::LoadTexture(const std::string& /*file*/, int /*flags*/) {
  return nullptr;
}
