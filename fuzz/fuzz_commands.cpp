// libFuzzer target for the command set: the bytes are a program (command_program.h) over
// small tables of handles, run on an off-screen GL context: creation, re-parenting
// (would-be cycles included), frees while handles are held, transforms with NaN,
// infinite and huge values, surface edits with bad indices, brushes and textures freed
// while in use, picks, collisions, world updates, and a rendered frame every few
// commands. After each program the world, camera and light lists must hold only live
// entities in a sound tree; then everything is freed, and no texture may stay in the
// cache and no GL texture name of the program may survive.
//
// Sections: the program's state, the commands, the checks, the entry points.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "engine/collision/collision.h"
#include "engine/collision/pick.h"
#include "engine/commands/commands.h"
#include "engine/scene/entity.h"
#include "engine/scene/global.h"
#include "fuzz/command_program.h"
#include "fuzz/fuzz_setup.h"
#include "platform/gl.h"
#include "platform/offscreen.h"
#include "platform/runtime.h"

using namespace command_program;
namespace v = velmora;

namespace {

// ---- The program's state -------------------------------------------------------------

constexpr int kViewSize = 32;            // the frame is cheap; what matters is the engine's work
constexpr int kMaxCommands = 400;        // per input, so each input stays fast
constexpr int kRenderEvery = 8;          // commands between frames
constexpr size_t kMaxEntities = 256;     // copies of copies would double the world each time
constexpr int kMaxVertices = 20000;      // per mesh, before AddMesh doubles it again
constexpr int kMaxTextures = 32;         // created per input
constexpr int kMaxTextureSide = 32;
constexpr int kMaxProgramTextureFrames = 4;
// One command builds a hierarchy or a surface list this long: deep and long enough for
// walks that recursed per level, or read a list from its head per index, to show.
constexpr int kMaxChain = 5000;
constexpr int kMaxGrownSurfaces = 5000;

struct Program {
  EntityPtr entities[kEntitySlots];
  SurfacePtr surfaces[kSurfaceSlots];
  BrushPtr brushes[kBrushSlots];
  TexturePtr textures[kTextureSlots];
  std::vector<TexturePtr> created;  // every texture made, freed at the end whatever became of it
  std::vector<unsigned> gl_names;   // their GL names, which must all be gone then
};

EntityPtr Entity(const Program& p, int slot) { return slot < kEntitySlots ? p.entities[slot] : nullptr; }
MeshPtr Mesh(const Program& p, int slot) { return std::dynamic_pointer_cast<TMesh>(Entity(p, slot)); }
CameraPtr Camera(const Program& p, int slot) { return std::dynamic_pointer_cast<TCamera>(Entity(p, slot)); }
LightPtr Light(const Program& p, int slot) { return std::dynamic_pointer_cast<TLight>(Entity(p, slot)); }
SpritePtr Sprite(const Program& p, int slot) { return std::dynamic_pointer_cast<TSprite>(Entity(p, slot)); }
SurfacePtr Surface(const Program& p, int slot) { return slot < kSurfaceSlots ? p.surfaces[slot] : nullptr; }
BrushPtr Brush(const Program& p, int slot) { return slot < kBrushSlots ? p.brushes[slot] : nullptr; }
TexturePtr Texture(const Program& p, int slot) { return slot < kTextureSlots ? p.textures[slot] : nullptr; }

bool RoomForEntities() { return TEntity::entity_list.Count() < kMaxEntities; }
// A copy at most doubles the world, so a bound on the world after it is enough; it
// leaves room for a copy of a grown chain.
bool RoomForCopy(const EntityPtr& source) {
  const size_t subtree = source ? size_t(1 + TEntity::CountAllChildren(source.get())) : 0;
  return TEntity::entity_list.Count() + subtree <= 2 * (kMaxEntities + kMaxChain);
}

int VertexTotal(const MeshPtr& m) { return m ? m->CountVertices() : 0; }

// ---- The commands --------------------------------------------------------------------

void CreateTexture(Program& p, Reader& in) {
  const int slot = in.Small(kTextureSlots);
  const int width = 1 + in.Small(kMaxTextureSide), height = 1 + in.Small(kMaxTextureSide);
  const int flags = in.Byte();
  const int frames = 1 + in.Small(kMaxProgramTextureFrames);
  if (int(p.created.size()) >= kMaxTextures) return;
  TexturePtr t = v::CreateTexture(width, height, flags, frames);
  // A cube map's faces must come out square; any other small texture is made.
  const bool square = TTexture::Pow2Size(width) == TTexture::Pow2Size(height);
  if (!t && (flags & kTexCubeMap) && !square) return;
  if (!t) Broken("CreateTexture refused a small texture");
  for (unsigned name : *t->frame_names) p.gl_names.push_back(name);
  p.created.push_back(t);
  p.textures[slot] = t;
}

void Transform(Program& p, Reader& in) {
  const int kind = in.Small(6);
  const EntityPtr e = Entity(p, in.Slot(kEntitySlots));
  const float x = in.Float(), y = in.Float(), z = in.Float();
  const int global = in.Int();
  switch (kind) {
    case 0: v::PositionEntity(e, x, y, z, global); break;
    case 1: v::MoveEntity(e, x, y, z); break;
    case 2: v::TranslateEntity(e, x, y, z, global); break;
    case 3: v::ScaleEntity(e, x, y, z, global); break;
    case 4: v::RotateEntity(e, x, y, z, global); break;
    default: v::TurnEntity(e, x, y, z, global); break;
  }
}

void EntityState(Program& p, Reader& in) {
  const int kind = in.Small(14);
  const int slot = in.Slot(kEntitySlots);
  const EntityPtr e = Entity(p, slot);
  const int i = in.Int();
  const float a = in.Float(), b = in.Float(), c = in.Float();
  switch (kind) {
    case 10: v::RotateSprite(Sprite(p, slot), a); break;
    case 11: v::ScaleSprite(Sprite(p, slot), a, b); break;
    case 12: v::HandleSprite(Sprite(p, slot), a, b); break;
    case 13: v::SpriteViewMode(Sprite(p, slot), i); break;
    case 0: v::HideEntity(e); break;
    case 1: v::ShowEntity(e); break;
    case 2: v::EntityOrder(e, i); break;
    case 3: v::EntityColor(e, a, b, c); break;
    case 4: v::EntityAlpha(e, a); break;
    case 5: v::EntityFX(e, i); break;
    case 6: v::EntityBlend(e, i); break;
    case 7: v::EntityAutoFade(e, a, b); break;
    case 8: v::MeshCullRadius(e, a); break;
    default: v::EntityShininess(e, a); break;
  }
}

void VertexEdit(Program& p, Reader& in) {
  const int kind = in.Small(7);
  const SurfacePtr s = Surface(p, in.Slot(kSurfaceSlots));
  const int vertex = in.Int(), set = in.Int();
  const float a = in.Float(), b = in.Float(), c = in.Float(), d = in.Float();
  switch (kind) {
    case 0: v::VertexCoords(s, vertex, a, b, c); break;
    case 1: v::VertexNormal(s, vertex, a, b, c); break;
    case 2: v::VertexColor(s, vertex, a, b, c, d); break;
    case 3: v::VertexTexCoords(s, vertex, a, b, c, set); break;
    case 4: (void)(v::VertexX(s, vertex) + v::VertexU(s, vertex, set) + v::VertexAlpha(s, vertex)); break;
    case 5: (void)(v::TriangleVertex(s, vertex, set) + v::TriangleNX(s, vertex)); break;
    default: (void)(v::CountVertices(s) + v::CountTriangles(s)); break;
  }
}

void BrushEdit(Program& p, Reader& in) {
  const int kind = in.Small(6);
  const BrushPtr b = Brush(p, in.Slot(kBrushSlots));
  const TexturePtr t = Texture(p, in.Slot(kTextureSlots));
  const int i = in.Int(), j = in.Int();
  const float f = in.Float();
  switch (kind) {
    case 0: v::BrushTexture(b, t, i, j); break;
    case 1: v::BrushColor(b, f, f, f); break;
    case 2: v::BrushAlpha(b, f); break;
    case 3: v::BrushBlend(b, i); break;
    case 4: v::BrushFX(b, i); break;
    default: v::BrushShininess(b, f); break;
  }
}

void Paint(Program& p, Reader& in) {
  const int kind = in.Small(5);
  const int slot = in.Slot(kEntitySlots);
  const int surface = in.Slot(kSurfaceSlots);
  const int brush = in.Small(kBrushSlots);
  switch (kind) {
    case 0: v::PaintSurface(Surface(p, surface), Brush(p, brush)); break;
    case 1: v::PaintEntity(Entity(p, slot), Brush(p, brush)); break;
    case 2: v::PaintMesh(Mesh(p, slot), Brush(p, brush)); break;
    case 3: p.brushes[brush] = v::GetEntityBrush(Entity(p, slot)); break;
    default: p.brushes[brush] = v::GetSurfaceBrush(Surface(p, surface)); break;
  }
}

void TextureEdit(Program& p, Reader& in) {
  const int kind = in.Small(10);
  const TexturePtr t = Texture(p, in.Slot(kTextureSlots));
  const int i = in.Int();
  const float a = in.Float(), b = in.Float();
  switch (kind) {
    case 0: v::ScaleTexture(t, a, b); break;
    case 1: v::PositionTexture(t, a, b); break;
    case 2: v::RotateTexture(t, a); break;
    case 3: v::TextureBlend(t, i); break;
    case 4: v::TextureCoords(t, i); break;
    case 5: v::SetCubeFace(t, i); break;
    case 6: v::SetCubeMode(t, i); break;
    case 7: v::BackBufferToTex(t); break;
    case 8: v::BackBufferToCubeTex(t); break;
    default: (void)(v::TextureWidth(t) + v::TextureHeight(t) + v::TextureName(t).size()); break;
  }
}

void MeshEdit(Program& p, Reader& in) {
  const int kind = in.Small(9);
  const MeshPtr m = Mesh(p, in.Slot(kEntitySlots));
  const MeshPtr other = Mesh(p, in.Slot(kEntitySlots));
  float f[6];
  for (float& x : f) x = in.Float();
  const int uniform = in.Int();
  switch (kind) {
    case 0: v::FitMesh(m, f[0], f[1], f[2], f[3], f[4], f[5], uniform); break;
    case 1: v::FlipMesh(m); break;
    case 2: v::ScaleMesh(m, f[0], f[1], f[2]); break;
    case 3: v::RotateMesh(m, f[0], f[1], f[2]); break;
    case 4: v::PositionMesh(m, f[0], f[1], f[2]); break;
    case 5: v::UpdateNormals(m); break;
    case 6:
      if (VertexTotal(m) + VertexTotal(other) <= kMaxVertices && v::CountSurfaces(m) < 64 &&
          v::CountSurfaces(other) < 64) {
        v::AddMesh(m, other);
      }
      break;
    case 7: (void)(v::MeshWidth(m) + v::MeshHeight(m) + v::MeshDepth(m)); break;
    default: (void)v::FindSurface(m, other ? other->brush : nullptr); break;
  }
}

void Pick(Program& p, Reader& in) {
  const int kind = in.Small(5);
  const EntityPtr e = Entity(p, in.Slot(kEntitySlots));
  const EntityPtr other = Entity(p, in.Slot(kEntitySlots));
  float f[7];
  for (float& x : f) x = in.Float();
  switch (kind) {
    case 0: v::CameraPick(std::dynamic_pointer_cast<TCamera>(e), f[0], f[1]); break;
    case 1: v::LinePick(f[0], f[1], f[2], f[3], f[4], f[5], f[6]); break;
    case 2: v::EntityPick(e, f[0]); break;
    case 3: v::EntityVisible(e, other); break;
    default:
      (void)(v::PickedX() + v::PickedNX() + v::PickedTime() + v::PickedTriangle());
      p.surfaces[in.Small(kSurfaceSlots)] = v::PickedSurface();
      break;
  }
}

void CollisionSetup(Program& p, Reader& in) {
  const int kind = in.Small(7);
  const int slot = in.Slot(kEntitySlots);
  const EntityPtr e = Entity(p, slot);
  const int type = in.Small(4), i = in.Int(), j = in.Int();
  const float a = in.Float(), b = in.Float(), c = in.Float();
  switch (kind) {
    case 0: v::EntityType(e, type, i); break;
    case 1: v::EntityRadius(e, a, b, c); break;
    case 2: v::EntityBox(e, a, b, c, a, b, c); break;
    case 3: v::Collisions(type, in.Small(4), i, j); break;
    case 4: v::ResetEntity(e); break;
    case 5:
      (void)(v::CountCollisions(e) + v::CollisionX(e, i) + v::CollisionNY(e, i) + v::CollisionTime(e, i) +
             v::CollisionTriangle(e, i));
      p.entities[in.Small(kEntitySlots)] = v::CollisionEntity(e, i);
      break;
    default: p.surfaces[in.Small(kSurfaceSlots)] = v::CollisionSurface(e, i); break;
  }
}

void CameraEdit(Program& p, Reader& in) {
  const int kind = in.Small(8);
  const int slot = in.Slot(kEntitySlots);
  const CameraPtr cam = Camera(p, slot);
  const int i = in.Int(), j = in.Int(), k = in.Int(), l = in.Int();
  const float a = in.Float(), b = in.Float(), c = in.Float();
  switch (kind) {
    case 0: v::CameraViewport(cam, i, j, k, l); break;
    case 1: v::CameraRange(cam, a, b); break;
    case 2: v::CameraZoom(cam, a); break;
    case 3: v::CameraClsMode(cam, i, j); break;
    case 4:
      v::CameraFogMode(cam, i);
      v::CameraFogRange(cam, a, b);
      v::CameraFogColor(cam, a, b, c);
      break;
    case 5: v::CameraClsColor(cam, a, b, c); break;
    case 6: v::CameraProject(cam, a, b, c); break;
    default: (void)v::EntityInView(Entity(p, in.Slot(kEntitySlots)), cam); break;
  }
}

void LightEdit(Program& p, Reader& in) {
  const int kind = in.Small(3);
  const LightPtr light = Light(p, in.Slot(kEntitySlots));
  const float a = in.Float(), b = in.Float(), c = in.Float();
  switch (kind) {
    case 0: v::LightRange(light, a); break;
    case 1: v::LightColor(light, a, b, c); break;
    default: v::LightConeAngles(light, a, b); break;
  }
}

void WorldEdit(Reader& in) {
  const int kind = in.Small(6);
  const int i = in.Int(), j = in.Int();
  const float a = in.Float(), b = in.Float(), c = in.Float();
  switch (kind) {
    case 0: v::AmbientLight(a, b, c); break;
    case 1: v::Wireframe(i); break;
    case 2: v::AntiAlias(i); break;
    case 3: v::Graphics3D(i, j, 0, 0, 60); break;  // no window opener: sizes and GL state only
    case 4: v::TextureFilter("", i); break;
    default: v::ClearTextureFilters(); break;
  }
}

void Animate(Program& p, Reader& in) {
  const int kind = in.Small(4);
  const EntityPtr e = Entity(p, in.Slot(kEntitySlots));
  const int i = in.Int(), j = in.Int();
  const float a = in.Float();
  switch (kind) {
    case 0: v::Animate(e, i, a, j, in.Int()); break;
    case 1: v::SetAnimTime(e, a, i); break;
    case 2: v::ExtractAnimSeq(e, i, j, in.Int()); break;
    default: (void)(v::AnimSeq(e) + v::AnimLength(e) + v::AnimTime(e) + v::Animating(e)); break;
  }
}

void HierarchyRead(Program& p, Reader& in) {
  const int kind = in.Small(4);
  const int slot = in.Small(kEntitySlots);
  const EntityPtr from = Entity(p, in.Slot(kEntitySlots));
  const int i = in.Int();
  switch (kind) {
    case 0: p.entities[slot] = v::GetChild(from, i); break;
    case 1: p.entities[slot] = v::GetParent(from); break;
    case 2: v::NameEntity(from, std::to_string(i)); break;
    default: p.entities[slot] = v::FindChild(from, std::to_string(i)); break;
  }
}

// The program's loop over a list by index must read what walking the list reads.
void IndexLoop(Program& p, Reader& in) {
  const int kind = in.Small(2);
  const EntityPtr e = Entity(p, in.Slot(kEntitySlots));
  if (!e) return;
  if (kind == 0) {
    int i = 0;
    for (const EntityPtr& c : e->children)
      if (v::GetChild(e, ++i) != c) Broken("GetChild(" + std::to_string(i) + ") is not the child walked to");
    if (v::GetChild(e, i + 1)) Broken("GetChild past the last child");
    return;
  }
  const MeshPtr m = std::dynamic_pointer_cast<TMesh>(e);
  if (!m) return;
  int i = 0;
  for (const SurfacePtr& s : *m->surfaces)
    if (v::GetSurface(m, ++i) != s) Broken("GetSurface(" + std::to_string(i) + ") is not the surface walked to");
}

// One command; the slot written first is always read first, so a program reads left to
// right as it runs.
void Run(Program& p, Reader& in) {
  switch (static_cast<Op>(in.Byte() % kOpCount)) {
    case kCreatePivot: {
      const int slot = in.Small(kEntitySlots);
      const EntityPtr parent = Entity(p, in.Slot(kEntitySlots));
      if (RoomForEntities()) p.entities[slot] = v::CreatePivot(parent);
      break;
    }
    case kCreateMesh: {
      const int slot = in.Small(kEntitySlots);
      const EntityPtr parent = Entity(p, in.Slot(kEntitySlots));
      if (RoomForEntities()) p.entities[slot] = v::CreateMesh(parent);
      break;
    }
    case kCreatePrimitive: {
      const int slot = in.Small(kEntitySlots), kind = in.Small(4);
      const int segments = in.Int(), solid = in.Int();
      const EntityPtr parent = Entity(p, in.Slot(kEntitySlots));
      if (!RoomForEntities()) break;
      switch (kind) {
        case 0: p.entities[slot] = v::CreateCube(parent); break;
        case 1: p.entities[slot] = v::CreateSphere(segments, parent); break;
        case 2: p.entities[slot] = v::CreateCylinder(segments, solid, parent); break;
        default: p.entities[slot] = v::CreateCone(segments, solid, parent); break;
      }
      break;
    }
    case kCreateCamera: {
      const int slot = in.Small(kEntitySlots);
      const EntityPtr parent = Entity(p, in.Slot(kEntitySlots));
      if (RoomForEntities()) p.entities[slot] = v::CreateCamera(parent);
      break;
    }
    case kCreateLight: {
      const int slot = in.Small(kEntitySlots), type = in.Int();
      const EntityPtr parent = Entity(p, in.Slot(kEntitySlots));
      if (RoomForEntities()) p.entities[slot] = v::CreateLight(type, parent);
      break;
    }
    case kCreateSprite: {
      const int slot = in.Small(kEntitySlots);
      const EntityPtr parent = Entity(p, in.Slot(kEntitySlots));
      if (RoomForEntities()) p.entities[slot] = v::CreateSprite(parent);
      break;
    }
    case kCopyEntity: {
      const int slot = in.Small(kEntitySlots);
      const EntityPtr source = Entity(p, in.Slot(kEntitySlots)), parent = Entity(p, in.Slot(kEntitySlots));
      if (RoomForCopy(source)) p.entities[slot] = v::CopyEntity(source, parent);
      break;
    }
    case kCopyMesh: {
      const int slot = in.Small(kEntitySlots);
      const MeshPtr source = Mesh(p, in.Slot(kEntitySlots));
      const EntityPtr parent = Entity(p, in.Slot(kEntitySlots));
      if (RoomForEntities() && VertexTotal(source) <= kMaxVertices && v::CountSurfaces(source) < 64)
        p.entities[slot] = v::CopyMesh(source, parent);
      break;
    }
    case kFreeEntity: v::FreeEntity(Entity(p, in.Slot(kEntitySlots))); break;
    case kEntityParent: {
      const EntityPtr e = Entity(p, in.Slot(kEntitySlots)), parent = Entity(p, in.Slot(kEntitySlots));
      v::EntityParent(e, parent, in.Int());
      break;
    }
    case kTransform: Transform(p, in); break;
    case kPointEntity: {
      const EntityPtr e = Entity(p, in.Slot(kEntitySlots)), target = Entity(p, in.Slot(kEntitySlots));
      v::PointEntity(e, target, in.Float());
      break;
    }
    case kEntityState: EntityState(p, in); break;
    case kCreateSurface: {
      const int slot = in.Small(kSurfaceSlots);
      const MeshPtr m = Mesh(p, in.Slot(kEntitySlots));
      const BrushPtr b = Brush(p, in.Slot(kBrushSlots));
      if (v::CountSurfaces(m) < 64) p.surfaces[slot] = v::CreateSurface(m, b);
      break;
    }
    case kGetSurface: {
      const int slot = in.Small(kSurfaceSlots);
      const MeshPtr m = Mesh(p, in.Slot(kEntitySlots));
      p.surfaces[slot] = v::GetSurface(m, in.Int());
      break;
    }
    case kAddVertex: {
      const SurfacePtr s = Surface(p, in.Slot(kSurfaceSlots));
      const float x = in.Float(), y = in.Float(), z = in.Float(), u = in.Float(), w = in.Float();
      if (v::CountVertices(s) < kMaxVertices) v::AddVertex(s, x, y, z, u, w, 0);
      break;
    }
    case kAddTriangle: {
      const SurfacePtr s = Surface(p, in.Slot(kSurfaceSlots));
      const int a = in.Int(), b = in.Int(), c = in.Int();
      if (v::CountTriangles(s) < kMaxVertices) v::AddTriangle(s, a, b, c);
      break;
    }
    case kVertexEdit: VertexEdit(p, in); break;
    case kClearSurface: {
      const SurfacePtr s = Surface(p, in.Slot(kSurfaceSlots));
      const int a = in.Int();
      v::ClearSurface(s, a, in.Int());
      break;
    }
    case kCreateBrush: {
      const int slot = in.Small(kBrushSlots);
      const float r = in.Float(), g = in.Float(), b = in.Float();
      p.brushes[slot] = v::CreateBrush(r, g, b);
      break;
    }
    case kBrushEdit: BrushEdit(p, in); break;
    case kPaint: Paint(p, in); break;
    case kDropBrush: {
      const int slot = in.Small(kBrushSlots);
      v::FreeBrush(p.brushes[slot]);
      p.brushes[slot].reset();
      break;
    }
    case kCreateTexture: CreateTexture(p, in); break;
    case kFreeTexture: v::FreeTexture(Texture(p, in.Slot(kTextureSlots))); break;
    case kDropTexture: p.textures[in.Small(kTextureSlots)].reset(); break;
    case kTextureEdit: TextureEdit(p, in); break;
    case kEntityTexture: {
      const EntityPtr e = Entity(p, in.Slot(kEntitySlots));
      const TexturePtr t = Texture(p, in.Slot(kTextureSlots));
      const int frame = in.Int();
      v::EntityTexture(e, t, frame, in.Int());
      break;
    }
    case kMeshEdit: MeshEdit(p, in); break;
    case kPickMode: {
      const EntityPtr e = Entity(p, in.Slot(kEntitySlots));
      const int mode = in.Int();
      v::EntityPickMode(e, mode, in.Int());
      break;
    }
    case kPick: Pick(p, in); break;
    case kCollisionSetup: CollisionSetup(p, in); break;
    case kUpdateWorld: v::UpdateWorld(in.Float()); break;
    case kCreateOctree: {
      const MeshPtr m = Mesh(p, in.Slot(kEntitySlots));
      const int polygons = in.Small(64), levels = in.Small(6);
      // A limit of 0 is a fatal error by contract: an answer, not a finding.
      try {
        v::CreateOctree(m, polygons, levels);
      } catch (const FatalError&) {
      }
      break;
    }
    case kCameraEdit: CameraEdit(p, in); break;
    case kLightEdit: LightEdit(p, in); break;
    case kWorldEdit: WorldEdit(in); break;
    case kAnimate: Animate(p, in); break;
    case kHierarchyRead: HierarchyRead(p, in); break;
    case kRender: v::RenderWorld(); break;
    case kGrowChain: {
      const int slot = in.Small(kEntitySlots);
      EntityPtr last = Entity(p, in.Slot(kEntitySlots));
      const int length = std::clamp(in.Int(), 0, kMaxChain);
      if (!RoomForEntities()) break;
      for (int i = 0; i < length; ++i) last = v::CreatePivot(last);
      p.entities[slot] = last;
      break;
    }
    case kGrowSurfaces: {
      const MeshPtr m = Mesh(p, in.Slot(kEntitySlots));
      const int count = std::clamp(in.Int(), 0, kMaxGrownSurfaces);
      if (v::CountSurfaces(m) >= 64) break;
      for (int i = 0; i < count; ++i) v::CreateSurface(m, nullptr);
      break;
    }
    case kIndexLoop: IndexLoop(p, in); break;
    case kOpCount: break;
  }
}

// ---- The checks ----------------------------------------------------------------------

// Every listed entity is live, stands in its (live) parent's children, and its parent
// chain ends; cameras and lights are live members of the world list; every light holds
// one GL light.
void CheckLists() {
  const size_t count = TEntity::entity_list.Count();
  // Each parent chain is climbed only up to an entity already known to end at a root,
  // so a deep chain costs its length, not its length squared.
  std::unordered_set<const TEntity*> ends;
  std::vector<const TEntity*> climbed;
  for (const EntityPtr& e : TEntity::entity_list) {
    if (e->IsFreed()) Broken("the world list holds a freed " + e->class_name);
    if (e->parent) {
      if (e->parent->IsFreed()) Broken("a live " + e->class_name + " hangs under a freed parent");
      if (!e->parent->children.Contains(e.get())) Broken("a parent does not list its child");
    }
    climbed.clear();
    for (const TEntity* a = e.get(); a && !ends.count(a); a = a->parent) {
      climbed.push_back(a);
      if (climbed.size() > count + 1) Broken("the parent chain makes a cycle");
    }
    ends.insert(climbed.begin(), climbed.end());
  }
  for (const EntityPtr& c : TCamera::cam_list)
    if (c->IsFreed() || !TEntity::entity_list.Contains(c.get())) Broken("the camera list holds a freed camera");
  for (const LightPtr& l : TLight::light_list)
    if (l->IsFreed() || !TEntity::entity_list.Contains(l.get())) Broken("the light list holds a freed light");
  if (TLight::no_lights != int(TLight::light_list.Count()) || TLight::no_lights > kMaxLights)
    Broken("the light slots in use do not match the lights");
}

// Frees every entity (roots first; a bone at the root needs the base free) and every
// texture the program made, then drops every handle.
void FreeEverything(Program& p) {
  while (!TEntity::entity_list.IsEmpty()) {
    EntityPtr e = TEntity::entity_list.First();
    while (e->parent) e = e->GetParent();
    const size_t before = TEntity::entity_list.Count();
    e->TEntity::FreeEntity();
    if (TEntity::entity_list.Count() == before) Broken("freeing a root freed nothing");
  }
  if (!TCamera::cam_list.IsEmpty() || !TLight::light_list.IsEmpty() || TLight::no_lights != 0)
    Broken("a freed camera or light stays in its list");
  for (const TexturePtr& t : p.created) v::FreeTexture(t);
  if (!TTexture::tex_list.IsEmpty()) Broken("a texture stays in the cache after FreeTexture");
  std::vector<unsigned> names = std::move(p.gl_names);
  p = Program{};
  TPick::picked_ent.reset();
  TPick::picked_surface.reset();
  for (unsigned name : names)
    if (glIsTexture(name)) Broken("GL texture name " + std::to_string(name) + " outlives everything that held it");
}

// The settings a program may have changed, back to those of a fresh start.
void ResetWorld() {
  v::ClearCollisions();
  v::ClearTextureFilters();
  v::Graphics3D(kViewSize, kViewSize, 0, 0, 60);
  v::AmbientLight(127.5f, 127.5f, 127.5f);
  v::AntiAlias(0);
  v::Wireframe(0);
}

}  // namespace

// ---- The entry points ----------------------------------------------------------------

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  StartOnOffscreenContext(kViewSize);
  ResetWorld();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Program program;
  Reader in(data, size);
  for (int n = 1; n <= kMaxCommands && !in.AtEnd(); ++n) {
    Run(program, in);
    if (n % kRenderEvery == 0) v::RenderWorld();
  }
  v::RenderWorld();
  CheckLists();
  FreeEverything(program);
  ResetWorld();
  return 0;
}
