// Brush creation, copying, texture layers and the brush comparison that decides
// whether geometry can be merged into an existing surface.
#include "engine/mesh/brush.h"

#include <memory>

#include "engine/mesh/surface.h"
#include "engine/mesh/texture.h"

BrushPtr TBrush::CreateBrush(float red, float green, float blue) {
  auto brush = std::make_shared<TBrush>();
  brush->BrushColor(red, green, blue);
  return brush;
}

BrushPtr TBrush::LoadBrush(const std::string& file, int flags, float /*u_scale*/,
                           float /*v_scale*/) {
  auto brush = std::make_shared<TBrush>();
  brush->textures[0] = TTexture::LoadTexture(file, flags);
  brush->layer_count = 1;
  return brush;
}

BrushPtr TBrush::Copy() const { return std::make_shared<TBrush>(*this); }

void TBrush::BrushColor(float r, float g, float b) {
  red = r / 255.0f;
  green = g / 255.0f;
  blue = b / 255.0f;
}

void TBrush::BrushTexture(const TexturePtr& texture, int frame, int index) {
  if (index < 0 || index >= kMaxTextureLayers) return;
  textures[index] = texture;
  if (index + 1 > layer_count) layer_count = index + 1;
  if (texture && frame > texture->frame_count - 1) frame = texture->frame_count - 1;
  // Last, so that neither a null texture nor a texture without frames leaves it negative.
  if (frame < 0) frame = 0;
  texture_frame = frame;
}

void TBrush::PaintFrom(const TBrush& source) {
  const int own_frame = texture_frame;
  *this = source;
  texture_frame = own_frame;
}

int TBrush::CompareBrushes(const BrushPtr& brush1, const BrushPtr& brush2) {
  if (!brush1 || !brush2) return (!brush1 && !brush2) ? 1 : 0;
  const TBrush& a = *brush1;
  const TBrush& b = *brush2;
  if (a.layer_count != b.layer_count) return 0;
  if (a.red != b.red || a.green != b.green || a.blue != b.blue || a.alpha != b.alpha ||
      a.shininess != b.shininess) {
    return 0;
  }
  if (a.blend != b.blend || a.fx != b.fx) return 0;
  // Every layer, whatever layer_count says.
  for (int i = 0; i < kMaxTextureLayers; ++i) {
    const TTexture* ta = a.textures[i].get();
    const TTexture* tb = b.textures[i].get();
    if (!ta && !tb) continue;
    if (!ta || !tb) return 0;
    if (ta->frame_names != tb->frame_names) return 0;  // the same array, not equal contents
    if (ta->blend != tb->blend || ta->coord_set != tb->coord_set) return 0;
  }
  return 1;
}

BrushPtr TBrush::GetSurfaceBrush(const SurfacePtr& surface) {
  if (!surface || !surface->brush) return nullptr;
  return surface->brush->Copy();
}
