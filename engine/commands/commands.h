// The engine's command set: one free function per public operation, each handing its
// arguments unchanged to one engine method or class function and handing back its result.
//
// Ownership: what Create*, Load* and Copy* return is owned by the engine's lists and goes
// with the matching Free* (FreeEntity, FreeTexture); freeing an entity frees its whole
// subtree. Handles are shared pointers; a null object handle as first argument makes a
// command do nothing and return 0, 0.0, "" or null. Commands whose target returns nothing
// return 0 (a few object-typed ones return null). Angles are degrees, colour components
// 0..255, alpha 0..1, coordinates left-handed with z forward. Children, surfaces and
// collisions count from 1; vertices, triangles, corners and texture layers from 0.
// Transform setters take their global flag as world space only when it equals 1; the
// position and angle getters take any non-zero flag as world space.
#pragma once

#include <string>

// The kinds' headers, not just the handle types: passing a MeshPtr where an EntityPtr is
// taken needs the classes complete, and they bring the named flags (BlendMode, BrushFx,
// TextureFlags, LightType, SpriteFacing) that the comments below refer to.
#include "engine/mesh/brush.h"
#include "engine/mesh/mesh.h"
#include "engine/mesh/sprite.h"
#include "engine/mesh/texture.h"
#include "engine/scene/camera.h"
#include "engine/scene/handles.h"
#include "engine/scene/light.h"

namespace velmora {

// ==== Entities: movement and placement =======================================================
int PositionEntity(const EntityPtr& entity, float x, float y, float z, int global);       // sets position; global 1: world; 0
int MoveEntity(const EntityPtr& entity, float x, float y, float z);                       // along its own turned axes; 0
int TranslateEntity(const EntityPtr& entity, float x, float y, float z, int global);      // adds to position; global 1: world axes; 0
int ScaleEntity(const EntityPtr& entity, float x, float y, float z, int global);          // sets scale; global 1: divides out ancestors; 0
int RotateEntity(const EntityPtr& entity, float pitch, float yaw, float roll, int global);  // degrees; global 1: world; 0
int TurnEntity(const EntityPtr& entity, float pitch, float yaw, float roll, int global);  // degrees added; 0
int PointEntity(const EntityPtr& entity, const EntityPtr& target, float roll);            // faces target, roll degrees; null target: nothing; 0
float EntityX(const EntityPtr& entity, int global);                                       // local, or world when global != 0; 0 for null
float EntityY(const EntityPtr& entity, int global);                                       // as EntityX
float EntityZ(const EntityPtr& entity, int global);                                       // as EntityX, z forward
float EntityPitch(const EntityPtr& entity, int global);                                   // degrees; world when global != 0; 0 for null
float EntityYaw(const EntityPtr& entity, int global);                                     // degrees, as EntityPitch
float EntityRoll(const EntityPtr& entity, int global);                                    // degrees, as EntityPitch
float GetMatElement(const EntityPtr& entity, int column, int row);                        // world matrix, indices 0..3 (3,0 = world x); 0 outside
float EntityDistance(const EntityPtr& entity, const EntityPtr& other);                    // world distance; 0 for null
float DeltaPitch(const EntityPtr& entity, const EntityPtr& other);                        // degrees to pitch towards other; 0 for null
float DeltaYaw(const EntityPtr& entity, const EntityPtr& other);                          // degrees to yaw towards other; 0 for null
int TFormPoint(float x, float y, float z, const EntityPtr& source, const EntityPtr& dest);  // null: world space; result in TFormedX/Y/Z; 0
int TFormVector(float x, float y, float z, const EntityPtr& source, const EntityPtr& dest);  // as TFormPoint, no translation; 0
int TFormNormal(float x, float y, float z, const EntityPtr& source, const EntityPtr& dest);  // as TFormVector, normalised; 0
float TFormedX();                                                                         // last TForm* result; 0 before the first
float TFormedY();                                                                         // as TFormedX
float TFormedZ();                                                                         // as TFormedX

// ==== Entities: state and hierarchy ==========================================================
EntityPtr CopyEntity(const EntityPtr& entity, const EntityPtr& parent);          // copy of the same kind with its subtree; null for null
int FreeEntity(const EntityPtr& entity);                                         // frees it and its subtree (bones go with their mesh); 0
int EntityParent(const EntityPtr& entity, const EntityPtr& parent, int global);  // null parent: root; global 1 keeps world place; 0
EntityPtr GetParent(const EntityPtr& entity);                                    // null for a root
int CountChildren(const EntityPtr& entity);                                      // direct children; 0 for null
EntityPtr GetChild(const EntityPtr& entity, int index);                          // direct child, index from 1; null outside
EntityPtr FindChild(const EntityPtr& entity, const std::string& name);           // depth first, exact name; null if none
int NameEntity(const EntityPtr& entity, const std::string& name);                // 0
std::string EntityName(const EntityPtr& entity);                                 // "" for null
std::string EntityClass(const EntityPtr& entity);                                // "Camera", "Light", "Pivot", "Mesh", "Sprite", "Bone"; "" for null
int HideEntity(const EntityPtr& entity);                                         // hides it and its subtree; 0
int ShowEntity(const EntityPtr& entity);                                         // 0
int EntityOrder(const EntityPtr& entity, int order);                             // >0 drawn first, <0 last; cameras render by it; 0

// ==== Entities: appearance (the entity's own brush) ==========================================
int EntityColor(const EntityPtr& entity, float red, float green, float blue);  // 0..255; 0
int EntityAlpha(const EntityPtr& entity, float alpha);                         // 0..1; 0
int EntityShininess(const EntityPtr& entity, float shininess);                 // 0..1; 0
int EntityTexture(const EntityPtr& entity, const TexturePtr& texture, int frame, int index);  // meshes and sprites only; layer from 0; 0
int EntityBlend(const EntityPtr& entity, int blend);                           // BlendMode; a mesh passes it to its surface brushes; 0
int EntityFX(const EntityPtr& entity, int fx);                                 // BrushFx bits; 0
int EntityAutoFade(const EntityPtr& entity, float near_dist, float far_dist);  // fades out from near to far camera distance; 0
int PaintEntity(const EntityPtr& entity, const BrushPtr& brush);               // meshes and sprites only; copies the brush's values; 0
int MeshCullRadius(const EntityPtr& entity, float radius);                     // fixed culling radius; 0

// ==== Entities: pick and collision settings, collision results ===============================
int EntityPickMode(const EntityPtr& entity, int mode, int obscurer);   // 0 not pickable, 1 sphere, 2 polygons, 3 box; 0
int EntityRadius(const EntityPtr& entity, float x, float y, float z);  // collision ellipsoid; y, z 0: x; negative acts as its size; 0
int EntityBox(const EntityPtr& entity, float x, float y, float z, float width, float height, float depth);  // collision box; 0
int EntityType(const EntityPtr& entity, int type, int recursive);      // collision type; recursive 1: whole subtree; 0
int GetEntityType(const EntityPtr& entity);                            // collision type; 0 for null
int ResetEntity(const EntityPtr& entity);                              // forgets collisions and the previous position; 0
EntityPtr EntityCollided(const EntityPtr& entity, int type);           // first entity of that type it hit or was hit by; null if none
int CountCollisions(const EntityPtr& entity);                          // impacts of the last world update; 0 for null
float CollisionX(const EntityPtr& entity, int index);                  // impact point, index from 1; 0 outside
float CollisionY(const EntityPtr& entity, int index);                  // as CollisionX
float CollisionZ(const EntityPtr& entity, int index);                  // as CollisionX
float CollisionNX(const EntityPtr& entity, int index);                 // impact normal, index from 1; 0 outside
float CollisionNY(const EntityPtr& entity, int index);                 // as CollisionNX
float CollisionNZ(const EntityPtr& entity, int index);                 // as CollisionNX
float CollisionTime(const EntityPtr& entity, int index);               // always 0: the update does not measure it; index from 1
EntityPtr CollisionEntity(const EntityPtr& entity, int index);         // what was hit, index from 1; null outside
SurfacePtr CollisionSurface(const EntityPtr& entity, int index);       // surface hit, index from 1; null outside
int CollisionTriangle(const EntityPtr& entity, int index);             // triangle hit (from 0), index from 1; 0 outside

// ==== Picking (the last pick's result stays for the Picked* commands) ========================
EntityPtr CameraPick(const CameraPtr& camera, float x, float y);     // pixels from the area's top left, as last rendered; null if nothing hit
EntityPtr EntityPick(const EntityPtr& entity, float range);          // along its own +z, range long; null entity: from the world origin; null if nothing hit
EntityPtr LinePick(float x, float y, float z, float dx, float dy, float dz, float radius);  // from x, y, z by dx, dy, dz; radius unused; null if nothing hit
int EntityVisible(const EntityPtr& source, const EntityPtr& dest);   // 1 when nothing pickable lies between them; keeps Picked*; 0 for null
float PickedX();                                                     // world hit point; a miss keeps the last one
float PickedY();                                                     // as PickedX
float PickedZ();                                                     // as PickedX
float PickedNX();                                                    // unit world normal at the hit; a miss keeps the last one
float PickedNY();                                                    // as PickedNX
float PickedNZ();                                                    // as PickedNX
float PickedTime();                                                  // 0..1 along the segment; 1 after a miss
EntityPtr PickedEntity();                                            // null after a miss
SurfacePtr PickedSurface();                                          // of the last triangle hit (sphere and box hits keep it)
int PickedTriangle();                                                // from 0, in PickedSurface

// ==== Entities: animation ====================================================================
int ExtractAnimSeq(const EntityPtr& entity, int first_frame, int last_frame, int sequence);  // frames from sequence's first (0: absolute); the new index; 0 if refused
int Animate(const EntityPtr& entity, int mode, float speed, int sequence, int transition);  // 0 once, 1 loop, 2 ping-pong, 3 one-shot; frames per update; 0
int SetAnimTime(const EntityPtr& entity, float time, int sequence);  // poses at frames from the sequence's first, stops stepping; 0
int AnimSeq(const EntityPtr& entity);                                // the playing sequence; 0 for null
int AnimLength(const EntityPtr& entity);                             // last - first frame of it; 0 for null
float AnimTime(const EntityPtr& entity);                             // frames from its first; 0 in a transition or for null
int Animating(const EntityPtr& entity);                              // 1 while stepping or blending; 0 for null

// ==== Cameras ================================================================================
CameraPtr CreateCamera(const EntityPtr& parent);                                   // viewport = whole graphics area; parent may be null
int CameraViewport(const CameraPtr& camera, int x, int y, int width, int height);  // pixels, y from the top; 0
int CameraClsColor(const CameraPtr& camera, float red, float green, float blue);   // 0..255; 0
int CameraClsMode(const CameraPtr& camera, int clear_color, int clear_depth);      // 1: clear that buffer; 0
int CameraRange(const CameraPtr& camera, float near_dist, float far_dist);         // clip distances; 0
int CameraZoom(const CameraPtr& camera, float zoom);                               // 1: 90 degrees across; 0
int CameraFogMode(const CameraPtr& camera, int mode);                              // 0 off, 1 linear; 0
int CameraFogColor(const CameraPtr& camera, float red, float green, float blue);   // 0..255; 0
int CameraFogRange(const CameraPtr& camera, float near_dist, float far_dist);      // 0
int CameraProject(const CameraPtr& camera, float x, float y, float z);             // world point to window; result in ProjectedX/Y/Z; 0
float ProjectedX();                                                                // window x of the last CameraProject; 0 before the first
float ProjectedY();                                                                // window y counted from the bottom; 0 before the first
float ProjectedZ();                                                                // depth 0..1; 0 before the first
int EntityInView(const EntityPtr& entity, const CameraPtr& camera);                // 0 outside the last rendered view, else whole units it reaches in

// ==== Lights and pivots ======================================================================
LightPtr CreateLight(int type, const EntityPtr& parent);                    // 1 directional, 2 point, 3 spot; null when all 8 are in use
int LightColor(const LightPtr& light, float red, float green, float blue);  // 0..255; 0
int LightRange(const LightPtr& light, float range);                         // world units; 0
int LightConeAngles(const LightPtr& light, float inner, float outer);       // whole cone angles, degrees; 0
PivotPtr CreatePivot(const EntityPtr& parent);                              // an empty transform node; parent may be null

// ==== Sprites ================================================================================
SpritePtr CreateSprite(const EntityPtr& parent);                                    // camera-facing square -1..1, full-bright; parent may be null
SpritePtr LoadSprite(const std::string& file, int flags, const EntityPtr& parent);  // textured; additive unless flags has 2 (alpha)
int RotateSprite(const SpritePtr& sprite, float angle);                             // degrees of roll on top of facing; 0
int ScaleSprite(const SpritePtr& sprite, float x, float y);                         // 0
int HandleSprite(const SpritePtr& sprite, float x, float y);                        // offset in units of the square, 0 centre; 0
int SpriteViewMode(const SpritePtr& sprite, int mode);                              // 1 face camera, 2 free, 3 camera axes, 4 upright; 0

// ==== Meshes =================================================================================
MeshPtr CreateMesh(const EntityPtr& parent);                                  // empty mesh; parent may be null
MeshPtr CreateCube(const EntityPtr& parent);                                  // -1..1 on each axis
MeshPtr CreateSphere(int segments, const EntityPtr& parent);                  // radius 1, segments 2..100; null outside
MeshPtr CreateCylinder(int segments, int solid, const EntityPtr& parent);     // radius 1, -1..1 high, segments 3..100; null outside
MeshPtr CreateCone(int segments, int solid, const EntityPtr& parent);         // as CreateCylinder, tip at y 1
MeshPtr LoadMesh(const std::string& file, const EntityPtr& parent);           // B3D collapsed into one static mesh; a cube if missing
MeshPtr LoadAnimMesh(const std::string& file, const EntityPtr& parent);       // B3D hierarchy with bones; a cube if missing
MeshPtr CopyMesh(const MeshPtr& mesh, const EntityPtr& parent);               // deep copy of the geometry; null for null
MeshPtr AddMesh(const MeshPtr& mesh, const MeshPtr& dest);                    // appends copies of its surfaces to dest; null
int CountSurfaces(const MeshPtr& mesh);                                       // 0 for null
SurfacePtr CreateSurface(const MeshPtr& mesh, const BrushPtr& brush);         // shares the brush, which may be null
SurfacePtr GetSurface(const MeshPtr& mesh, int index);                        // index from 1; null outside
SurfacePtr FindSurface(const MeshPtr& mesh, const BrushPtr& brush);           // first with an equal brush; null if none
MeshPtr FitMesh(const MeshPtr& mesh, float x, float y, float z, float width, float height, float depth, int uniform);  // into the box from corner x, y, z; uniform 1 keeps proportions; null
MeshPtr FlipMesh(const MeshPtr& mesh);                                        // reverses every triangle's winding; null
MeshPtr PaintMesh(const MeshPtr& mesh, const BrushPtr& brush);                // copies the brush into every surface's brush; null
MeshPtr PositionMesh(const MeshPtr& mesh, float x, float y, float z);         // moves the vertices; null
MeshPtr RotateMesh(const MeshPtr& mesh, float pitch, float yaw, float roll);  // turns the vertices, degrees; null
MeshPtr ScaleMesh(const MeshPtr& mesh, float x, float y, float z);            // scales the vertices; null
int UpdateNormals(const MeshPtr& mesh);                                       // smooth normals from the triangles; 0
float MeshWidth(const MeshPtr& mesh);                                         // extent on x in mesh space; 0 for null
float MeshHeight(const MeshPtr& mesh);                                        // extent on y; 0 for null
float MeshDepth(const MeshPtr& mesh);                                         // extent on z; 0 for null
int CreateOctree(const MeshPtr& mesh, int max_polys, int max_levels);         // speeds picks and collisions; rebuild after editing vertices; both limits <= 0 fatal; 0

// ==== Surfaces ===============================================================================
int AddVertex(const SurfacePtr& surface, float x, float y, float z, float u, float v, float w);  // index of the new vertex, from 0; 0 for null
int AddTriangle(const SurfacePtr& surface, int v0, int v1, int v2);                     // vertices from 0; the new triangle count; 0 for null
int ClearSurface(const SurfacePtr& surface, int clear_vertices, int clear_triangles);   // 1: empty that table; 0
int CountVertices(const SurfacePtr& surface);                                           // 0 for null
int CountTriangles(const SurfacePtr& surface);                                          // 0 for null
int PaintSurface(const SurfacePtr& surface, const BrushPtr& brush);                     // shares the brush object itself; 0
int VertexCoords(const SurfacePtr& surface, int vertex, float x, float y, float z);     // vertex from 0; 0
int VertexNormal(const SurfacePtr& surface, int vertex, float nx, float ny, float nz);  // vertex from 0; 0
int VertexColor(const SurfacePtr& surface, int vertex, float red, float green, float blue, float alpha);  // 0..255, alpha 0..1; 0
int VertexTexCoords(const SurfacePtr& surface, int vertex, float u, float v, float w, int coord_set);  // set 0 or 1, w unused; 0
float VertexX(const SurfacePtr& surface, int vertex);                                   // mesh space, vertex from 0; 0 outside
float VertexY(const SurfacePtr& surface, int vertex);                                   // as VertexX
float VertexZ(const SurfacePtr& surface, int vertex);                                   // as VertexX
float VertexRed(const SurfacePtr& surface, int vertex);                                 // 0..255; 0 outside
float VertexGreen(const SurfacePtr& surface, int vertex);                               // 0..255; 0 outside
float VertexBlue(const SurfacePtr& surface, int vertex);                                // 0..255; 0 outside
float VertexAlpha(const SurfacePtr& surface, int vertex);                               // 0..1; 0 outside
float VertexU(const SurfacePtr& surface, int vertex, int coord_set);                    // set 0 or 1; 0 outside
float VertexV(const SurfacePtr& surface, int vertex, int coord_set);                    // set 0 or 1; 0 outside
int TriangleVertex(const SurfacePtr& surface, int triangle, int corner);                // triangle from 0, corner 0..2 as added; 0 outside
float TriangleNX(const SurfacePtr& surface, int triangle);                              // unnormalised face normal, triangle from 0; 0 outside
float TriangleNY(const SurfacePtr& surface, int triangle);                              // as TriangleNX
float TriangleNZ(const SurfacePtr& surface, int triangle);                              // as TriangleNX

// ==== Textures ===============================================================================
TexturePtr LoadTexture(const std::string& file, int flags);              // TextureFlags; cached by file and flags; null if it does not load
TexturePtr LoadAnimTexture(const std::string& file, int flags, int frame_width, int frame_height, int first_frame, int frame_count);  // null if it does not load
TexturePtr CreateTexture(int width, int height, int flags, int frames);  // blank; sizes in pixels; null for a size below 1
TexturePtr FreeTexture(const TexturePtr& texture);                       // out of the cache; brushes that hold it draw without it; null
int TextureWidth(const TexturePtr& texture);                             // pixels; 0 for null
int TextureHeight(const TexturePtr& texture);                            // pixels; 0 for null
std::string TextureName(const TexturePtr& texture);                      // absolute file name; "" when created or null
int TextureBlend(const TexturePtr& texture, int blend);                  // TextureBlendMode; 0
int TextureCoords(const TexturePtr& texture, int coord_set);             // uv set 0 or 1; 0
int ScaleTexture(const TexturePtr& texture, float u, float v);           // drawn u, v times as large; 0
int PositionTexture(const TexturePtr& texture, float u, float v);        // offset, 1 = the whole texture; 0
int RotateTexture(const TexturePtr& texture, float angle);               // degrees; 0
int SetCubeFace(const TexturePtr& texture, int face);                    // face 0..5 for the back-buffer copy; 0
int SetCubeMode(const TexturePtr& texture, int mode);                    // 1 reflection, 2 normal; 0
int BackBufferToTex(const TexturePtr& texture);                          // top-left of the back buffer into mip level 0 of frame 0; 0
int BackBufferToCubeTex(const TexturePtr& texture);                      // into mip level 0 of the current cube face; 0
TexturePtr GetBrushTexture(const BrushPtr& brush, int index);            // layer from 0; null when empty or outside
int TextureFilter(const std::string& match_text, int flags);             // files whose name contains the text get the flags; 0
int ClearTextureFilters();                                               // 0

// ==== Brushes ================================================================================
BrushPtr CreateBrush(float red, float green, float blue);                              // 0..255
BrushPtr LoadBrush(const std::string& file, int flags, float u_scale, float v_scale);  // layer 0 from the file (may be empty)
int FreeBrush(const BrushPtr& brush);                                                  // nothing: brushes go with their last holder; 0
int BrushColor(const BrushPtr& brush, float red, float green, float blue);             // 0..255; 0
int BrushAlpha(const BrushPtr& brush, float alpha);                                    // 0..1; 0
int BrushShininess(const BrushPtr& brush, float shininess);                            // 0..1; 0
int BrushTexture(const BrushPtr& brush, const TexturePtr& texture, int frame, int index);  // layer 0..7; null texture empties it; 0
int BrushBlend(const BrushPtr& brush, int blend);                                      // BlendMode; 0
int BrushFX(const BrushPtr& brush, int fx);                                            // BrushFx bits; 0
BrushPtr GetEntityBrush(const EntityPtr& entity);                                      // a new copy of the entity's brush; null for null
BrushPtr GetSurfaceBrush(const SurfacePtr& surface);                                   // a new copy of the surface's brush; null if it has none

// ==== World and rendering ====================================================================
int Graphics3D(int width, int height, int depth, int mode, int rate);      // opens the engine's window (program installs the GUI opener); 0
int AmbientLight(float red, float green, float blue);                      // 0..255; 0
int AntiAlias(int samples);                                                // passes 2, 3, 4, 5, 6, 8, 9, 12, 16 (1 as 2); other counts off; 0
int Wireframe(int on);                                                     // non-zero: polygons as lines; 0
int Collisions(int source_type, int dest_type, int method, int response);  // adds a collision rule; 0
int ClearCollisions();                                                     // removes every collision rule; 0
int UpdateWorld(float speed);                                              // collisions, then every animation by speed x its own speed; 0
int RenderWorld();                                                         // every visible camera into the current GL context; 0

// ==== 2D overlay (after RenderWorld, before the flip) ========================================
int Text(int x, int y, const std::string& text);  // white 8 x 16 font, top-left at pixel x, y of the viewport, y down; 0
int MouseXSpeed();                                // pixels moved right since the previous call; the first gives MouseX
int MouseYSpeed();                                // pixels moved down, as MouseXSpeed

// ==== Math ===================================================================================
float VectorPitch(float x, float y, float z);  // degrees; straight up is -90
float VectorYaw(float x, float y, float z);    // degrees; +z is 0, +x is -90

// ==== Commands without an effect (they ignore their arguments) ===============================
int LightMesh(const MeshPtr& mesh, float red, float green, float blue, float range, float x, float y, float z);  // 0
int MeshesIntersect(const MeshPtr& mesh_a, const MeshPtr& mesh_b);  // 0
int CameraProjMode(const CameraPtr& camera);                        // 0
int LoadAnimSeq(const EntityPtr& entity, const std::string& file);  // 0
int SetAnimKey(const EntityPtr& entity);                            // 0
int AddAnimSeq(const EntityPtr& entity);                            // 0

}  // namespace velmora
