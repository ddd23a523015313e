// Drawing a mesh for the current camera: per surface, the entity and surface brushes
// merged, then blending, lighting model, material, FX and up to eight texture layers,
// and one glDrawElements over the surface's own arrays.
//
// Runs for every listed mesh every frame, so nothing here allocates.
#include <algorithm>
#include <cstdint>

#include "engine/mesh/brush.h"
#include "engine/mesh/mesh.h"
#include "engine/mesh/surface.h"
#include "engine/mesh/texture.h"
#include "engine/scene/global.h"
#include "platform/gl.h"

namespace {

// Blended: translucent, multiplied or added, forced, or an alpha texture in layer 0.
bool NeedsBlending(const TBrush& b) {
  if (b.alpha < 1.0f || b.blend == kBlendMultiply || b.blend == kBlendAdd || (b.fx & kFxForceBlend)) return true;
  const TTexture* first = b.textures[0].get();
  return first && (first->flags & kTexAlpha);
}

// The entity brush with the surface brush folded in.
struct Merged {
  float colour[4];  // red, green, blue, alpha
  float shininess;
  int blend, fx, frame, layer_count;
};

Merged MergeBrushes(const TBrush& entity, const TBrush* surface, float fade_amount) {
  Merged m{{entity.red, entity.green, entity.blue, entity.alpha},
           entity.shininess, entity.blend, entity.fx, entity.texture_frame, entity.layer_count};
  if (surface) {
    m.colour[0] *= surface->red;
    m.colour[1] *= surface->green;
    m.colour[2] *= surface->blue;
    m.colour[3] *= surface->alpha;
    // An entity without shininess of its own takes the surface's, and then still
    // multiplies by it: entity 0 with surface s gives s x s.
    if (m.shininess == 0.0f) m.shininess = surface->shininess;
    if (m.shininess != 0.0f && surface->shininess != 0.0f) m.shininess *= surface->shininess;
    if (m.blend == kBlendNone) m.blend = surface->blend;
    m.fx |= surface->fx;
    m.frame = surface->texture_frame;
    m.layer_count = std::max(m.layer_count, surface->layer_count);
  }
  m.colour[3] -= fade_amount;
  m.layer_count = std::clamp(m.layer_count, 0, kMaxTextureLayers);
  return m;
}

void SetBlendFunction(int blend) {
  switch (blend) {
    case kBlendNone:
    case kBlendAlpha: glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA); break;
    case kBlendMultiply: glBlendFunc(GL_DST_COLOR, GL_ZERO); break;
    case kBlendAdd: glBlendFunc(GL_SRC_ALPHA, GL_ONE); break;
    default: break;  // the previous surface's function stays
  }
}

void SetFx(int fx) {
  if (fx & kFxVertexColours) {
    glEnable(GL_COLOR_MATERIAL);
  } else {
    glDisable(GL_COLOR_MATERIAL);
  }
  glShadeModel((fx & kFxFlatShading) ? GL_FLAT : GL_SMOOTH);
  if (fx & kFxNoFog) glDisable(GL_FOG);  // Update turns it back on after the surface
  if (fx & kFxNoCulling) {
    glDisable(GL_CULL_FACE);
  } else {
    glEnable(GL_CULL_FACE);
  }
}

void SetLightingAndMaterial(const Merged& m) {
  const bool bright = (m.fx & kFxFullBright) != 0;
  const float ambient[4] = {bright ? 1.0f : TGlobal::ambient_red, bright ? 1.0f : TGlobal::ambient_green,
                            bright ? 1.0f : TGlobal::ambient_blue, 1.0f};
  glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
  glMaterialfv(GL_FRONT, GL_AMBIENT, m.colour);
  glMaterialfv(GL_FRONT, GL_DIFFUSE, m.colour);
  const float specular[4] = {m.shininess, m.shininess, m.shininess, m.shininess};
  glMaterialfv(GL_FRONT, GL_SPECULAR, specular);
  glMaterialf(GL_FRONT, GL_SHININESS, 100.0f);
}

void SetTextureEnvironment(int blend) {
  switch (blend) {
    case 0:
    case kTexBlendReplace: glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE); break;
    case kTexBlendAdd: glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_ADD); break;
    case kTexBlendDot3:
      glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
      glTexEnvf(GL_TEXTURE_ENV, GL_COMBINE_RGB, GL_DOT3_RGB_EXT);
      break;
    case kTexBlendModulate2x:
      glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
      glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB, GL_MODULATE);
      glTexEnvf(GL_TEXTURE_ENV, GL_RGB_SCALE, 2.0f);
      break;
    default: glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE); break;  // 2 and unknown modes
  }
}

// Reflection and normal vectors come out in eye space; the inverse of the view's
// rotation turns them back to world axes, so the cube map stays put as the camera turns.
void LoadCubeMapMatrix() {
  glScalef(1.0f, -1.0f, -1.0f);
  GLdouble view[16];
  glGetDoublev(GL_MODELVIEW_MATRIX, view);
  TMatrix m;
  m.LoadIdentity();
  for (int c = 0; c < 3; ++c)
    for (int r = 0; r < 3; ++r) m.grid[c][r] = static_cast<float>(view[r * 4 + c]);  // transposed
  glMultMatrixf(m.data());
}

// One texture layer, on the unit the caller made active.
void SetLayer(const TTexture& texture, GLuint name, const float* uv) {
  const int flags = texture.flags;
  const bool cube = (flags & kTexCubeMap) != 0;
  const GLenum target = cube ? GL_TEXTURE_CUBE_MAP : GL_TEXTURE_2D;
  // A cube-map name cannot be bound as 2D; binding it there would only raise a GL error.
  if (!cube) {
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER,
                    (flags & kTexMipmapped) ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, (flags & kTexClampU) ? GL_CLAMP_TO_EDGE : GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, (flags & kTexClampV) ? GL_CLAMP_TO_EDGE : GL_REPEAT);
  }

  const bool sphere = (flags & kTexSphereMap) != 0;
  if (sphere) {
    glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    glEnable(GL_TEXTURE_GEN_S);
    glEnable(GL_TEXTURE_GEN_T);
  } else {
    glDisable(GL_TEXTURE_GEN_S);
    glDisable(GL_TEXTURE_GEN_T);
  }

  if (cube) {
    glEnable(GL_TEXTURE_CUBE_MAP);
    glBindTexture(GL_TEXTURE_CUBE_MAP, name);
    glTexParameteri(target, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(target, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(target, GL_TEXTURE_WRAP_R, GL_CLAMP_TO_EDGE);
    glTexParameteri(target, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(target, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glEnable(GL_TEXTURE_GEN_S);
    glEnable(GL_TEXTURE_GEN_T);
    glEnable(GL_TEXTURE_GEN_R);
    const GLint mode = texture.cube_mode == 1 ? GL_REFLECTION_MAP : texture.cube_mode == 2 ? GL_NORMAL_MAP : 0;
    if (mode != 0) {
      glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, mode);
      glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, mode);
      glTexGeni(GL_R, GL_TEXTURE_GEN_MODE, mode);
    }
  } else {
    glDisable(GL_TEXTURE_CUBE_MAP);
    glDisable(GL_TEXTURE_GEN_R);
  }

  SetTextureEnvironment(texture.blend);

  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glTexCoordPointer(2, GL_FLOAT, 0, uv);

  // Applied to a coordinate as translate x rotate x scale: scaled first, moved last.
  glMatrixMode(GL_TEXTURE);
  glLoadIdentity();
  if (texture.u_offset != 0.0f || texture.v_offset != 0.0f) glTranslatef(texture.u_offset, texture.v_offset, 0.0f);
  if (texture.angle != 0.0f) glRotatef(texture.angle, 0.0f, 0.0f, 1.0f);
  if (texture.u_scale != 0.0f || texture.v_scale != 0.0f) glScalef(texture.u_scale, texture.v_scale, 1.0f);
  if (cube) LoadCubeMapMatrix();
}

void SwitchOffLayers(int count) {
  for (int i = 0; i < count; ++i) {
    GlActiveTexture(GL_TEXTURE0 + i);
    GlClientActiveTexture(GL_TEXTURE0 + i);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_TEXTURE_CUBE_MAP);
    glDisable(GL_TEXTURE_GEN_S);
    glDisable(GL_TEXTURE_GEN_T);
    glDisable(GL_TEXTURE_GEN_R);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  }
  // Unit 0 active again, for code that textures without choosing a unit.
  if (count > 1) {
    GlActiveTexture(GL_TEXTURE0);
    GlClientActiveTexture(GL_TEXTURE0);
  }
}

// Vertices every index may reach in an array of `stride` floats per vertex.
size_t Reach(const std::vector<float>& array, size_t stride) { return array.size() / stride; }

// The triangles of a surface whose corners all lie below reach, for the one draw that
// needs them; kept from frame to frame so that sifting allocates only as it grows.
std::vector<uint16_t> sifted_indices;

// Copies into sifted_indices the triangles whose corners all lie below reach; returns
// the number of indices kept and leaves the highest kept corner in highest.
size_t SiftTriangles(const uint16_t* indices, size_t index_count, size_t reach, size_t& highest) {
  sifted_indices.resize(index_count);
  size_t kept = 0;
  highest = 0;
  for (size_t t = 0; t + 3 <= index_count; t += 3) {
    const size_t a = indices[t], b = indices[t + 1], c = indices[t + 2];
    if (a >= reach || b >= reach || c >= reach) continue;
    sifted_indices[kept] = indices[t], sifted_indices[kept + 1] = indices[t + 1], sifted_indices[kept + 2] = indices[t + 2];
    kept += 3;
    highest = std::max({highest, a, b, c});
  }
  return kept;
}

// The indices one surface draws, and the highest vertex they name.
struct DrawnIndices {
  const uint16_t* indices = nullptr;
  size_t count = 0;
  size_t highest = 0;
};

// GL reads the arrays wherever the indices point. The highest index is kept as triangles
// are added, never searched for here; only a surface whose triangles name a vertex not
// added yet (or past its arrays) has its indices sifted, and draws the triangles whose
// corners all exist. False when the surface draws nothing.
bool IndicesToDraw(const TSurface& surface, DrawnIndices& drawn) {
  size_t count = std::min(static_cast<size_t>(std::max(surface.triangle_count, 0)) * 3, surface.triangle_indices.size());
  if (count == 0 || surface.highest_triangle_vertex < 0) return false;
  const uint16_t* indices = surface.triangle_indices.data();
  size_t highest = static_cast<size_t>(surface.highest_triangle_vertex);
  const size_t reach = std::min({static_cast<size_t>(std::max(surface.vertex_count, 0)),
                                 Reach(surface.vertex_positions, 3), Reach(surface.vertex_normals, 3),
                                 Reach(surface.vertex_colours, 4)});
  if (highest >= reach) {
    count = SiftTriangles(indices, count, reach, highest);
    if (count == 0) return false;
    indices = sifted_indices.data();
  }
  drawn = {indices, count, highest};
  return true;
}

// Points GL at the surface's arrays: the posed positions of `deformed` (null: none to
// draw) where they reach every drawn vertex, and its normals too where they do, so that
// posed limbs are lit as posed.
void PointAtArrays(const TSurface& surface, const TSurface* deformed, size_t highest) {
  const float* positions = surface.vertex_positions.data();
  const float* normals = surface.vertex_normals.data();
  if (deformed && Reach(deformed->vertex_positions, 3) > highest) {
    positions = deformed->vertex_positions.data();
    if (Reach(deformed->vertex_normals, 3) > highest) normals = deformed->vertex_normals.data();
  }
  glVertexPointer(3, GL_FLOAT, 0, positions);
  glColorPointer(4, GL_FLOAT, 0, surface.vertex_colours.data());
  glNormalPointer(GL_FLOAT, 0, normals);
}

// Blending, with depth writes off, for a surface drawn blended; then the blend function
// and the FX.
void SetBlending(bool blended, const Merged& m) {
  if (blended) {
    glEnable(GL_BLEND);
    glDepthMask(GL_FALSE);
  } else {
    glDisable(GL_BLEND);
    glDepthMask(GL_TRUE);
  }
  SetBlendFunction(m.blend);
  SetFx(m.fx);
}

// The texture layers set up for one surface, and whether any of them is masked.
struct BoundLayers {
  int count = 0;  // units to switch off after the draw
  bool masked = false;
};

// Each layer on its own unit, up to the merged count and the units GL has (asked for
// once, on the first layer: units is 0 until then). The entity's layer wins over the
// surface's; a layer without a texture, a name or coordinates reaching every drawn
// vertex is left off.
BoundLayers SetLayers(const TBrush& entity_brush, const TBrush* surface_brush, const TSurface& surface,
                      const Merged& m, size_t highest, int& units) {
  BoundLayers bound;
  bound.count = m.layer_count;
  if (bound.count > 0) {
    if (units == 0) units = GlMaxTextureUnits();
    bound.count = std::min(bound.count, units);
  }
  for (int i = 0; i < bound.count; ++i) {
    const TTexture* texture = entity_brush.textures[i].get();
    if (!texture && surface_brush) texture = surface_brush->textures[i].get();
    if (!texture || !texture->frame_names) continue;
    // A freed texture has no names left; a frame that came from the other brush may
    // lie beyond this texture's frames, and is clamped to it.
    const std::vector<unsigned>& names = *texture->frame_names;
    if (names.empty()) continue;
    const GLuint name = names[static_cast<size_t>(std::clamp(m.frame, 0, static_cast<int>(names.size()) - 1))];
    if (name == 0) continue;
    const std::vector<float>& uv = texture->coord_set == 0 ? surface.vertex_uv0 : surface.vertex_uv1;
    if (Reach(uv, 2) <= highest) continue;

    GlActiveTexture(GL_TEXTURE0 + i);
    GlClientActiveTexture(GL_TEXTURE0 + i);
    SetLayer(*texture, name, uv.data());
    if (texture->flags & kTexMasked) bound.masked = true;
  }
  return bound;
}

// The triangles, with the alpha test on only while a masked surface draws: left on, it
// would drop the faint alpha of the next surface or of other drawing.
void DrawTriangles(const TMatrix& matrix, const DrawnIndices& drawn, bool masked) {
  if (masked) {
    glEnable(GL_ALPHA_TEST);
  } else {
    glDisable(GL_ALPHA_TEST);
  }
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glMultMatrixf(matrix.data());
  glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(drawn.count), GL_UNSIGNED_SHORT, drawn.indices);
  glPopMatrix();
  if (masked) glDisable(GL_ALPHA_TEST);
}

// Ordered meshes draw over everything, in list order: no depth test, no depth writes.
void SetDepthForOrder(int order) {
  if (order == 0) {
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_TRUE);
  } else {
    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
  }
}

}  // namespace

int TMesh::Alpha(const SurfacePtr& surface) {
  if (brush && NeedsBlending(*brush)) return 1;
  if (!surface) {
    for (const SurfacePtr& s : *surfaces)
      if (s->brush && NeedsBlending(*s->brush)) return 1;
  } else if (surface->brush && NeedsBlending(*surface->brush)) {
    return 1;
  }
  return fade_amount != 0.0f ? 1 : 0;
}

void TMesh::Update() {
  const bool fog_was_on = glIsEnabled(GL_FOG) == GL_TRUE;
  SetDepthForOrder(order);
  const TMatrix& draw_matrix = DrawMatrix();
  int units = 0;  // asked for once, on the first layer

  auto deformed_it = anim_surfaces.begin();
  for (const SurfacePtr& surface_ptr : *surfaces) {
    const TSurface& surface = *surface_ptr;
    const TSurface* deformed = nullptr;
    if (animated && deformed_it != anim_surfaces.end()) {
      deformed = (*deformed_it).get();
      ++deformed_it;
    }
    DrawnIndices drawn;
    if (!IndicesToDraw(surface, drawn)) continue;

    const TBrush* surface_brush = surface.brush.get();
    const Merged m = MergeBrushes(*brush, surface_brush, fade_amount);
    SetBlending(Alpha(surface_ptr) != 0, m);
    PointAtArrays(surface, draw_deformed ? deformed : nullptr, drawn.highest);
    SetLightingAndMaterial(m);
    const BoundLayers layers = SetLayers(*brush, surface_brush, surface, m, drawn.highest, units);
    DrawTriangles(draw_matrix, drawn, layers.masked);
    SwitchOffLayers(layers.count);
    if (fog_was_on) glEnable(GL_FOG);  // a surface with the no-fog FX turned it off
  }
}
