// The command set: each command hands its arguments unchanged to its engine operation
// and hands back the result. What a command adds of its own is only the null test on
// its object argument and the few conversions commands.h documents (EntityInView's
// truncation, the fixed mip level and frame of the back-buffer copies, the downcast of
// EntityTexture and PaintEntity). Sections follow commands.h.
#include "engine/commands/commands.h"

#include <climits>
#include <cmath>

#include "engine/collision/octree.h"
#include "engine/collision/pick.h"
#include "engine/commands/debug_overlay.h"
#include "engine/math/vector.h"
#include "engine/mesh/brush.h"
#include "engine/mesh/mesh.h"
#include "engine/mesh/sprite.h"
#include "engine/mesh/surface.h"
#include "engine/mesh/texture.h"
#include "engine/scene/camera.h"
#include "engine/scene/entity.h"
#include "engine/scene/global.h"
#include "engine/scene/light.h"

namespace velmora {

namespace {

// Truncation toward zero. A plain cast of NaN or of a value beyond int's range is
// undefined, and EntityInView grows with the entity's radius, which nothing bounds.
int TruncateToInt(float value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483648.0f) return INT_MAX;
  if (value <= -2147483648.0f) return INT_MIN;
  return static_cast<int>(value);
}

// EntityTexture and PaintEntity act on meshes (sprites included); any other kind, or
// null, narrows to null and the command does nothing.
TMesh* AsMesh(const EntityPtr& entity) { return entity ? entity->AsMesh() : nullptr; }

}  // namespace

// ==== Entities: movement and placement =======================================================
int PositionEntity(const EntityPtr& e, float x, float y, float z, int global) { if (e) e->PositionEntity(x, y, z, global); return 0; }
int MoveEntity(const EntityPtr& e, float x, float y, float z) { if (e) e->MoveEntity(x, y, z); return 0; }
int TranslateEntity(const EntityPtr& e, float x, float y, float z, int global) { if (e) e->TranslateEntity(x, y, z, global); return 0; }
int ScaleEntity(const EntityPtr& e, float x, float y, float z, int global) { if (e) e->ScaleEntity(x, y, z, global); return 0; }
int RotateEntity(const EntityPtr& e, float p, float y, float r, int global) { if (e) e->RotateEntity(p, y, r, global); return 0; }
int TurnEntity(const EntityPtr& e, float p, float y, float r, int global) { if (e) e->TurnEntity(p, y, r, global); return 0; }
int PointEntity(const EntityPtr& e, const EntityPtr& target, float roll) { if (e) e->PointEntity(target, roll); return 0; }
float EntityX(const EntityPtr& e, int global) { return e ? e->EntityX(global) : 0.0f; }
float EntityY(const EntityPtr& e, int global) { return e ? e->EntityY(global) : 0.0f; }
float EntityZ(const EntityPtr& e, int global) { return e ? e->EntityZ(global) : 0.0f; }
float EntityPitch(const EntityPtr& e, int global) { return e ? e->EntityPitch(global) : 0.0f; }
float EntityYaw(const EntityPtr& e, int global) { return e ? e->EntityYaw(global) : 0.0f; }
float EntityRoll(const EntityPtr& e, int global) { return e ? e->EntityRoll(global) : 0.0f; }
float GetMatElement(const EntityPtr& e, int column, int row) { return e ? e->GetMatElement(column, row) : 0.0f; }
float EntityDistance(const EntityPtr& e, const EntityPtr& other) { return e ? e->EntityDistance(other) : 0.0f; }
float DeltaPitch(const EntityPtr& e, const EntityPtr& other) { return e ? e->DeltaPitch(other) : 0.0f; }
float DeltaYaw(const EntityPtr& e, const EntityPtr& other) { return e ? e->DeltaYaw(other) : 0.0f; }
int TFormPoint(float x, float y, float z, const EntityPtr& source, const EntityPtr& dest) { TEntity::TFormPoint(x, y, z, source.get(), dest.get()); return 0; }
int TFormVector(float x, float y, float z, const EntityPtr& source, const EntityPtr& dest) { TEntity::TFormVector(x, y, z, source.get(), dest.get()); return 0; }
int TFormNormal(float x, float y, float z, const EntityPtr& source, const EntityPtr& dest) { TEntity::TFormNormal(x, y, z, source.get(), dest.get()); return 0; }
float TFormedX() { return TEntity::TFormedX(); }
float TFormedY() { return TEntity::TFormedY(); }
float TFormedZ() { return TEntity::TFormedZ(); }

// ==== Entities: state and hierarchy ==========================================================
EntityPtr CopyEntity(const EntityPtr& e, const EntityPtr& parent) { return e ? e->CopyEntity(parent) : nullptr; }
int FreeEntity(const EntityPtr& e) { if (e) e->FreeEntity(); return 0; }
int EntityParent(const EntityPtr& e, const EntityPtr& parent, int global) { if (e) e->EntityParent(parent, global); return 0; }
EntityPtr GetParent(const EntityPtr& e) { return e ? e->GetParent() : nullptr; }
int CountChildren(const EntityPtr& e) { return e ? e->CountChildren() : 0; }
EntityPtr GetChild(const EntityPtr& e, int index) { return e ? e->GetChild(index) : nullptr; }
EntityPtr FindChild(const EntityPtr& e, const std::string& name) { return e ? e->FindChild(name) : nullptr; }
int NameEntity(const EntityPtr& e, const std::string& name) { if (e) e->NameEntity(name); return 0; }
std::string EntityName(const EntityPtr& e) { return e ? e->EntityName() : std::string(); }
std::string EntityClass(const EntityPtr& e) { return e ? e->EntityClass() : std::string(); }
int HideEntity(const EntityPtr& e) { if (e) e->HideEntity(); return 0; }
int ShowEntity(const EntityPtr& e) { if (e) e->ShowEntity(); return 0; }
int EntityOrder(const EntityPtr& e, int order) { if (e) e->EntityOrder(order); return 0; }

// ==== Entities: appearance (the entity's own brush) ==========================================
int EntityColor(const EntityPtr& e, float red, float green, float blue) { if (e) e->EntityColor(red, green, blue); return 0; }
int EntityAlpha(const EntityPtr& e, float alpha) { if (e) e->EntityAlpha(alpha); return 0; }
int EntityShininess(const EntityPtr& e, float shininess) { if (e) e->EntityShininess(shininess); return 0; }
int EntityTexture(const EntityPtr& e, const TexturePtr& texture, int frame, int index) {
  if (TMesh* mesh = AsMesh(e)) mesh->EntityTexture(texture, frame, index);
  return 0;
}
int EntityBlend(const EntityPtr& e, int blend) { if (e) e->EntityBlend(blend); return 0; }
int EntityFX(const EntityPtr& e, int fx) { if (e) e->EntityFX(fx); return 0; }
int EntityAutoFade(const EntityPtr& e, float near_dist, float far_dist) { if (e) e->EntityAutoFade(near_dist, far_dist); return 0; }
int PaintEntity(const EntityPtr& e, const BrushPtr& brush) {
  if (TMesh* mesh = AsMesh(e)) mesh->PaintEntity(brush);
  return 0;
}
int MeshCullRadius(const EntityPtr& e, float radius) { if (e) e->MeshCullRadius(radius); return 0; }

// ==== Entities: pick and collision settings, collision results ===============================
int EntityPickMode(const EntityPtr& e, int mode, int obscurer) { if (e) e->EntityPickMode(mode, obscurer); return 0; }
int EntityRadius(const EntityPtr& e, float x, float y, float z) { if (e) e->EntityRadius(x, y, z); return 0; }
int EntityBox(const EntityPtr& e, float x, float y, float z, float width, float height, float depth) { if (e) e->EntityBox(x, y, z, width, height, depth); return 0; }
int EntityType(const EntityPtr& e, int type, int recursive) { if (e) e->EntityType(type, recursive); return 0; }
int GetEntityType(const EntityPtr& e) { return e ? e->GetEntityType() : 0; }
int ResetEntity(const EntityPtr& e) { if (e) e->ResetEntity(); return 0; }
EntityPtr EntityCollided(const EntityPtr& e, int type) { return e ? e->EntityCollided(type) : nullptr; }
int CountCollisions(const EntityPtr& e) { return e ? e->CountCollisions() : 0; }
float CollisionX(const EntityPtr& e, int index) { return e ? e->CollisionX(index) : 0.0f; }
float CollisionY(const EntityPtr& e, int index) { return e ? e->CollisionY(index) : 0.0f; }
float CollisionZ(const EntityPtr& e, int index) { return e ? e->CollisionZ(index) : 0.0f; }
float CollisionNX(const EntityPtr& e, int index) { return e ? e->CollisionNX(index) : 0.0f; }
float CollisionNY(const EntityPtr& e, int index) { return e ? e->CollisionNY(index) : 0.0f; }
float CollisionNZ(const EntityPtr& e, int index) { return e ? e->CollisionNZ(index) : 0.0f; }
float CollisionTime(const EntityPtr& e, int index) { return e ? e->CollisionTime(index) : 0.0f; }
EntityPtr CollisionEntity(const EntityPtr& e, int index) { return e ? e->CollisionEntity(index) : nullptr; }
SurfacePtr CollisionSurface(const EntityPtr& e, int index) { return e ? e->CollisionSurface(index) : nullptr; }
int CollisionTriangle(const EntityPtr& e, int index) { return e ? e->CollisionTriangle(index) : 0; }

// ==== Picking ================================================================================
// EntityPick forwards a null entity: TPick::EntityPick takes it as world space.
EntityPtr CameraPick(const CameraPtr& c, float x, float y) { return c ? TPick::CameraPick(c.get(), x, y) : nullptr; }
EntityPtr EntityPick(const EntityPtr& e, float range) { return TPick::EntityPick(e.get(), range); }
EntityPtr LinePick(float x, float y, float z, float dx, float dy, float dz, float radius) { return TPick::LinePick(x, y, z, dx, dy, dz, radius); }
int EntityVisible(const EntityPtr& source, const EntityPtr& dest) { return source ? TPick::EntityVisible(source.get(), dest.get()) : 0; }
float PickedX() { return TPick::PickedX(); }
float PickedY() { return TPick::PickedY(); }
float PickedZ() { return TPick::PickedZ(); }
float PickedNX() { return TPick::PickedNX(); }
float PickedNY() { return TPick::PickedNY(); }
float PickedNZ() { return TPick::PickedNZ(); }
float PickedTime() { return TPick::PickedTime(); }
EntityPtr PickedEntity() { return TPick::PickedEntity(); }
SurfacePtr PickedSurface() { return TPick::PickedSurface(); }
int PickedTriangle() { return TPick::PickedTriangle(); }

// ==== Entities: animation ====================================================================
int ExtractAnimSeq(const EntityPtr& e, int first_frame, int last_frame, int sequence) { return e ? e->ExtractAnimSeq(first_frame, last_frame, sequence) : 0; }
int Animate(const EntityPtr& e, int mode, float speed, int sequence, int transition) { if (e) e->Animate(mode, speed, sequence, transition); return 0; }
int SetAnimTime(const EntityPtr& e, float time, int sequence) { if (e) e->SetAnimTime(time, sequence); return 0; }
int AnimSeq(const EntityPtr& e) { return e ? e->AnimSeq() : 0; }
int AnimLength(const EntityPtr& e) { return e ? e->AnimLength() : 0; }
float AnimTime(const EntityPtr& e) { return e ? e->AnimTime() : 0.0f; }
int Animating(const EntityPtr& e) { return e ? e->Animating() : 0; }

// ==== Cameras ================================================================================
CameraPtr CreateCamera(const EntityPtr& parent) { return TCamera::CreateCamera(parent); }
int CameraViewport(const CameraPtr& c, int x, int y, int width, int height) { if (c) c->CameraViewport(x, y, width, height); return 0; }
int CameraClsColor(const CameraPtr& c, float red, float green, float blue) { if (c) c->CameraClsColor(red, green, blue); return 0; }
int CameraClsMode(const CameraPtr& c, int clear_color, int clear_depth) { if (c) c->CameraClsMode(clear_color, clear_depth); return 0; }
int CameraRange(const CameraPtr& c, float near_dist, float far_dist) { if (c) c->CameraRange(near_dist, far_dist); return 0; }
int CameraZoom(const CameraPtr& c, float zoom) { if (c) c->CameraZoom(zoom); return 0; }
int CameraFogMode(const CameraPtr& c, int mode) { if (c) c->CameraFogMode(mode); return 0; }
int CameraFogColor(const CameraPtr& c, float red, float green, float blue) { if (c) c->CameraFogColor(red, green, blue); return 0; }
int CameraFogRange(const CameraPtr& c, float near_dist, float far_dist) { if (c) c->CameraFogRange(near_dist, far_dist); return 0; }
int CameraProject(const CameraPtr& c, float x, float y, float z) { if (c) c->CameraProject(x, y, z); return 0; }
float ProjectedX() { return TCamera::projected_x; }
float ProjectedY() { return TCamera::projected_y; }
float ProjectedZ() { return TCamera::projected_z; }
// The entity comes first here, while the method belongs to the camera.
int EntityInView(const EntityPtr& entity, const CameraPtr& c) { return c ? TruncateToInt(c->EntityInView(entity)) : 0; }

// ==== Lights and pivots ======================================================================
LightPtr CreateLight(int type, const EntityPtr& parent) { return TLight::CreateLight(type, parent); }
int LightColor(const LightPtr& l, float red, float green, float blue) { if (l) l->LightColor(red, green, blue); return 0; }
int LightRange(const LightPtr& l, float range) { if (l) l->LightRange(range); return 0; }
int LightConeAngles(const LightPtr& l, float inner, float outer) { if (l) l->LightConeAngles(inner, outer); return 0; }
PivotPtr CreatePivot(const EntityPtr& parent) { return TPivot::CreatePivot(parent); }

// ==== Sprites ================================================================================
SpritePtr CreateSprite(const EntityPtr& parent) { return TSprite::CreateSprite(parent); }
SpritePtr LoadSprite(const std::string& file, int flags, const EntityPtr& parent) { return TSprite::LoadSprite(file, flags, parent); }
int RotateSprite(const SpritePtr& s, float angle) { if (s) s->RotateSprite(angle); return 0; }
int ScaleSprite(const SpritePtr& s, float x, float y) { if (s) s->ScaleSprite(x, y); return 0; }
int HandleSprite(const SpritePtr& s, float x, float y) { if (s) s->HandleSprite(x, y); return 0; }
int SpriteViewMode(const SpritePtr& s, int mode) { if (s) s->SpriteViewMode(mode); return 0; }

// ==== Meshes =================================================================================
MeshPtr CreateMesh(const EntityPtr& parent) { return TMesh::CreateMesh(parent); }
MeshPtr CreateCube(const EntityPtr& parent) { return TMesh::CreateCube(parent); }
MeshPtr CreateSphere(int segments, const EntityPtr& parent) { return TMesh::CreateSphere(segments, parent); }
MeshPtr CreateCylinder(int segments, int solid, const EntityPtr& parent) { return TMesh::CreateCylinder(segments, solid, parent); }
MeshPtr CreateCone(int segments, int solid, const EntityPtr& parent) { return TMesh::CreateCone(segments, solid, parent); }
MeshPtr LoadMesh(const std::string& file, const EntityPtr& parent) { return TMesh::LoadMesh(file, parent); }
MeshPtr LoadAnimMesh(const std::string& file, const EntityPtr& parent) { return TMesh::LoadAnimMesh(file, parent); }
MeshPtr CopyMesh(const MeshPtr& m, const EntityPtr& parent) { return m ? m->CopyMesh(parent) : nullptr; }
MeshPtr AddMesh(const MeshPtr& m, const MeshPtr& dest) { if (m) m->AddMesh(dest); return nullptr; }
int CountSurfaces(const MeshPtr& m) { return m ? m->CountSurfaces() : 0; }
SurfacePtr CreateSurface(const MeshPtr& m, const BrushPtr& brush) { return m ? m->CreateSurface(brush) : nullptr; }
SurfacePtr GetSurface(const MeshPtr& m, int index) { return m ? m->GetSurface(index) : nullptr; }
SurfacePtr FindSurface(const MeshPtr& m, const BrushPtr& brush) { return m ? m->FindSurface(brush) : nullptr; }
MeshPtr FitMesh(const MeshPtr& m, float x, float y, float z, float width, float height, float depth, int uniform) {
  if (m) m->FitMesh(x, y, z, width, height, depth, uniform);
  return nullptr;
}
MeshPtr FlipMesh(const MeshPtr& m) { if (m) m->FlipMesh(); return nullptr; }
MeshPtr PaintMesh(const MeshPtr& m, const BrushPtr& brush) { if (m) m->PaintMesh(brush); return nullptr; }
MeshPtr PositionMesh(const MeshPtr& m, float x, float y, float z) { if (m) m->PositionMesh(x, y, z); return nullptr; }
MeshPtr RotateMesh(const MeshPtr& m, float pitch, float yaw, float roll) { if (m) m->RotateMesh(pitch, yaw, roll); return nullptr; }
MeshPtr ScaleMesh(const MeshPtr& m, float x, float y, float z) { if (m) m->ScaleMesh(x, y, z); return nullptr; }
int UpdateNormals(const MeshPtr& m) { if (m) m->UpdateNormals(); return 0; }
float MeshWidth(const MeshPtr& m) { return m ? m->MeshWidth() : 0.0f; }
float MeshHeight(const MeshPtr& m) { return m ? m->MeshHeight() : 0.0f; }
float MeshDepth(const MeshPtr& m) { return m ? m->MeshDepth() : 0.0f; }
int CreateOctree(const MeshPtr& m, int max_polys, int max_levels) { return m ? TOctree::CreateOctree(m, max_polys, max_levels) : 0; }

// ==== Surfaces ===============================================================================
int AddVertex(const SurfacePtr& s, float x, float y, float z, float u, float v, float w) { return s ? s->AddVertex(x, y, z, u, v, w) : 0; }
int AddTriangle(const SurfacePtr& s, int v0, int v1, int v2) { return s ? s->AddTriangle(v0, v1, v2) : 0; }
int ClearSurface(const SurfacePtr& s, int clear_vertices, int clear_triangles) { if (s) s->ClearSurface(clear_vertices, clear_triangles); return 0; }
int CountVertices(const SurfacePtr& s) { return s ? s->CountVertices() : 0; }
int CountTriangles(const SurfacePtr& s) { return s ? s->CountTriangles() : 0; }
int PaintSurface(const SurfacePtr& s, const BrushPtr& brush) { if (s) s->PaintSurface(brush); return 0; }
int VertexCoords(const SurfacePtr& s, int vertex, float x, float y, float z) { if (s) s->VertexCoords(vertex, x, y, z); return 0; }
int VertexNormal(const SurfacePtr& s, int vertex, float nx, float ny, float nz) { if (s) s->VertexNormal(vertex, nx, ny, nz); return 0; }
int VertexColor(const SurfacePtr& s, int vertex, float red, float green, float blue, float alpha) {
  if (s) s->VertexColor(vertex, red, green, blue, alpha);
  return 0;
}
int VertexTexCoords(const SurfacePtr& s, int vertex, float u, float v, float w, int coord_set) {
  if (s) s->VertexTexCoords(vertex, u, v, w, coord_set);
  return 0;
}
float VertexX(const SurfacePtr& s, int vertex) { return s ? s->VertexX(vertex) : 0.0f; }
float VertexY(const SurfacePtr& s, int vertex) { return s ? s->VertexY(vertex) : 0.0f; }
float VertexZ(const SurfacePtr& s, int vertex) { return s ? s->VertexZ(vertex) : 0.0f; }
float VertexRed(const SurfacePtr& s, int vertex) { return s ? s->VertexRed(vertex) : 0.0f; }
float VertexGreen(const SurfacePtr& s, int vertex) { return s ? s->VertexGreen(vertex) : 0.0f; }
float VertexBlue(const SurfacePtr& s, int vertex) { return s ? s->VertexBlue(vertex) : 0.0f; }
float VertexAlpha(const SurfacePtr& s, int vertex) { return s ? s->VertexAlpha(vertex) : 0.0f; }
float VertexU(const SurfacePtr& s, int vertex, int coord_set) { return s ? s->VertexU(vertex, coord_set) : 0.0f; }
float VertexV(const SurfacePtr& s, int vertex, int coord_set) { return s ? s->VertexV(vertex, coord_set) : 0.0f; }
int TriangleVertex(const SurfacePtr& s, int triangle, int corner) { return s ? s->TriangleVertex(triangle, corner) : 0; }
float TriangleNX(const SurfacePtr& s, int triangle) { return s ? s->TriangleNX(triangle) : 0.0f; }
float TriangleNY(const SurfacePtr& s, int triangle) { return s ? s->TriangleNY(triangle) : 0.0f; }
float TriangleNZ(const SurfacePtr& s, int triangle) { return s ? s->TriangleNZ(triangle) : 0.0f; }

// ==== Textures ===============================================================================
TexturePtr LoadTexture(const std::string& file, int flags) { return TTexture::LoadTexture(file, flags); }
TexturePtr LoadAnimTexture(const std::string& file, int flags, int frame_width, int frame_height, int first_frame, int frame_count) {
  return TTexture::LoadAnimTexture(file, flags, frame_width, frame_height, first_frame, frame_count);
}
TexturePtr CreateTexture(int width, int height, int flags, int frames) { return TTexture::CreateTexture(width, height, flags, frames); }
TexturePtr FreeTexture(const TexturePtr& t) { if (t) t->FreeTexture(); return nullptr; }
int TextureWidth(const TexturePtr& t) { return t ? t->TextureWidth() : 0; }
int TextureHeight(const TexturePtr& t) { return t ? t->TextureHeight() : 0; }
std::string TextureName(const TexturePtr& t) { return t ? t->TextureName() : std::string(); }
int TextureBlend(const TexturePtr& t, int blend) { if (t) t->TextureBlend(blend); return 0; }
int TextureCoords(const TexturePtr& t, int coord_set) { if (t) t->TextureCoords(coord_set); return 0; }
int ScaleTexture(const TexturePtr& t, float u, float v) { if (t) t->ScaleTexture(u, v); return 0; }
int PositionTexture(const TexturePtr& t, float u, float v) { if (t) t->PositionTexture(u, v); return 0; }
int RotateTexture(const TexturePtr& t, float angle) { if (t) t->RotateTexture(angle); return 0; }
int SetCubeFace(const TexturePtr& t, int face) { if (t) t->SetCubeFace(face); return 0; }
int SetCubeMode(const TexturePtr& t, int mode) { if (t) t->SetCubeMode(mode); return 0; }
// The commands always copy into mip level 0 (of frame 0); other levels are the method's.
int BackBufferToTex(const TexturePtr& t) { if (t) t->BackBufferToTex(0, 0); return 0; }
int BackBufferToCubeTex(const TexturePtr& t) { if (t) t->BackBufferToCubeTex(0); return 0; }
TexturePtr GetBrushTexture(const BrushPtr& brush, int index) { return TTexture::GetBrushTexture(brush, index); }
int TextureFilter(const std::string& match_text, int flags) { TTexture::TextureFilter(match_text, flags); return 0; }
int ClearTextureFilters() { TTexture::ClearTextureFilters(); return 0; }

// ==== Brushes ================================================================================
BrushPtr CreateBrush(float red, float green, float blue) { return TBrush::CreateBrush(red, green, blue); }
BrushPtr LoadBrush(const std::string& file, int flags, float u_scale, float v_scale) { return TBrush::LoadBrush(file, flags, u_scale, v_scale); }
int FreeBrush(const BrushPtr& b) { if (b) b->FreeBrush(); return 0; }
int BrushColor(const BrushPtr& b, float red, float green, float blue) { if (b) b->BrushColor(red, green, blue); return 0; }
int BrushAlpha(const BrushPtr& b, float alpha) { if (b) b->BrushAlpha(alpha); return 0; }
int BrushShininess(const BrushPtr& b, float shininess) { if (b) b->BrushShininess(shininess); return 0; }
int BrushTexture(const BrushPtr& b, const TexturePtr& texture, int frame, int index) { if (b) b->BrushTexture(texture, frame, index); return 0; }
int BrushBlend(const BrushPtr& b, int blend) { if (b) b->BrushBlend(blend); return 0; }
int BrushFX(const BrushPtr& b, int fx) { if (b) b->BrushFX(fx); return 0; }
BrushPtr GetEntityBrush(const EntityPtr& entity) { return TBrush::GetEntityBrush(entity); }
BrushPtr GetSurfaceBrush(const SurfacePtr& surface) { return TBrush::GetSurfaceBrush(surface); }

// ==== World and rendering ====================================================================
int Graphics3D(int width, int height, int depth, int mode, int rate) {
  TGlobal::Graphics3D(width, height, depth, mode, rate);
  return 0;
}
int AmbientLight(float red, float green, float blue) { TGlobal::AmbientLight(red, green, blue); return 0; }
int AntiAlias(int samples) { TGlobal::AntiAlias(samples); return 0; }
int Wireframe(int on) { TGlobal::Wireframe(on); return 0; }
int Collisions(int source_type, int dest_type, int method, int response) { TGlobal::Collisions(source_type, dest_type, method, response); return 0; }
int ClearCollisions() { TGlobal::ClearCollisions(); return 0; }
int UpdateWorld(float speed) { TGlobal::UpdateWorld(speed); return 0; }
int RenderWorld() { TGlobal::RenderWorld(); return 0; }

// ==== 2D overlay (after RenderWorld, before the flip) ========================================
int Text(int x, int y, const std::string& text) { return TSorrel2D::Text(x, y, text); }
int MouseXSpeed() { return TSorrel2D::MouseXSpeed(); }
int MouseYSpeed() { return TSorrel2D::MouseYSpeed(); }

// ==== Math ===================================================================================
float VectorPitch(float x, float y, float z) { return TVector::VectorPitch(x, y, z); }
float VectorYaw(float x, float y, float z) { return TVector::VectorYaw(x, y, z); }

// ==== Commands without an effect =============================================================
int LightMesh(const MeshPtr&, float, float, float, float, float, float, float) { return 0; }
int MeshesIntersect(const MeshPtr&, const MeshPtr&) { return 0; }
int CameraProjMode(const CameraPtr&) { return 0; }
int LoadAnimSeq(const EntityPtr&, const std::string&) { return 0; }
int SetAnimKey(const EntityPtr&) { return 0; }
int AddAnimSeq(const EntityPtr&) { return 0; }

}  // namespace velmora
