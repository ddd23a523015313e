// A brush: the engine's appearance record (colour, alpha, shininess, blend mode,
// FX bits, one texture frame and up to eight texture layers).
//
// Surfaces refer to a brush that may be shared, so changing it shows everywhere it is
// painted; an entity owns its brush alone and only ever copies values into it.
#pragma once

#include <array>
#include <string>

#include "engine/scene/handles.h"

// One layer per texture unit the draw path drives; the layer array never changes length.
constexpr int kMaxTextureLayers = 8;

// TBrush::blend. None defers to the surface brush's mode, and alone draws as alpha.
enum BlendMode : int { kBlendNone = 0, kBlendAlpha = 1, kBlendMultiply = 2, kBlendAdd = 3 };

// TBrush::fx bits; a drawn surface ORs the entity's and the surface brush's bits.
enum BrushFx : int {
  kFxFullBright = 1,     // ambient 1, 1, 1 instead of the world's
  kFxVertexColours = 2,  // vertex colours drive the material colour
  kFxFlatShading = 4,
  kFxNoFog = 8,
  kFxNoCulling = 16,     // both sides drawn
  kFxForceBlend = 32,    // always drawn blended, sorted as transparent
};

class TBrush {
 public:
  int layer_count = 0;  // highest layer index set + 1; never lowered by BrushTexture
  std::string name;     // carried along, never compared
  float red = 1.0f, green = 1.0f, blue = 1.0f;  // input / 255, not clamped
  float alpha = 1.0f;
  float shininess = 0.0f;
  int blend = kBlendNone;
  int fx = 0;
  int texture_frame = 0;  // one frame for every layer
  std::array<TexturePtr, kMaxTextureLayers> textures;  // null where a layer is empty

  // Colour components on the 0..255 scale.
  static BrushPtr CreateBrush(float red = 255.0f, float green = 255.0f, float blue = 255.0f);
  // Layer 0 takes whatever the texture load gives, null included; the scales are unused.
  static BrushPtr LoadBrush(const std::string& file, int flags, float u_scale, float v_scale);
  // 1 equal, 0 different; either may be null. Name and frame are not compared, and
  // textures count as the same when they hold the same frame-name array object.
  static int CompareBrushes(const BrushPtr& brush1, const BrushPtr& brush2);
  // A copy of the entity's own brush; null for a null entity.
  static BrushPtr GetEntityBrush(const EntityPtr& entity);
  // A copy of the surface's brush; null for a null surface or one without a brush.
  static BrushPtr GetSurfaceBrush(const SurfacePtr& surface);

  // A separate brush with every value; the layers refer to the same textures.
  BrushPtr Copy() const;
  // Brushes go when their last holder drops them.
  void FreeBrush() {}
  void BrushColor(float red, float green, float blue);  // 0..255 scale
  void BrushAlpha(float value) { alpha = value; }
  void BrushShininess(float value) { shininess = value; }
  // Index outside 0..kMaxTextureLayers-1: ignored. A null texture empties the layer.
  void BrushTexture(const TexturePtr& texture, int frame, int index);
  void BrushBlend(int value) { blend = value; }
  void BrushFX(int value) { fx = value; }

  // What painting an entity does to its own brush: every value of the source,
  // empty layers included, except texture_frame, which this brush keeps.
  void PaintFrom(const TBrush& source);
};
