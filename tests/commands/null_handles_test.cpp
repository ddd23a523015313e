// Every command given a null object handle: nothing happens and the result is 0, 0.0,
// "" or null. Run under the sanitizers, this is what shows no command reaches through
// a null handle.
#include <functional>
#include <utility>

#include "engine/commands/commands.h"
#include "engine/scene/entity.h"
#include "support/engine_reset.h"

namespace {

using namespace velmora;
using NullHandles = EngineTest;

TEST_F(NullHandles, EveryCommandDoesNothing) {
#define ROW(call) {#call, [] { return (call); }}
  const std::pair<const char*, std::function<int()>> ints[] = {
      ROW(PositionEntity(nullptr, 1, 2, 3, 1)), ROW(MoveEntity(nullptr, 1, 2, 3)),
      ROW(TranslateEntity(nullptr, 1, 2, 3, 1)), ROW(ScaleEntity(nullptr, 1, 2, 3, 1)),
      ROW(RotateEntity(nullptr, 1, 2, 3, 1)), ROW(TurnEntity(nullptr, 1, 2, 3, 1)),
      ROW(PointEntity(nullptr, nullptr, 1)), ROW(FreeEntity(nullptr)), ROW(EntityParent(nullptr, nullptr, 1)),
      ROW(CountChildren(nullptr)), ROW(NameEntity(nullptr, "x")), ROW(HideEntity(nullptr)),
      ROW(ShowEntity(nullptr)), ROW(EntityOrder(nullptr, 1)), ROW(EntityColor(nullptr, 1, 2, 3)),
      ROW(EntityAlpha(nullptr, 1)), ROW(EntityShininess(nullptr, 1)), ROW(EntityTexture(nullptr, nullptr, 0, 0)),
      ROW(EntityBlend(nullptr, 1)), ROW(EntityFX(nullptr, 1)), ROW(EntityAutoFade(nullptr, 1, 2)),
      ROW(PaintEntity(nullptr, nullptr)), ROW(MeshCullRadius(nullptr, 1)), ROW(EntityPickMode(nullptr, 1, 1)),
      ROW(EntityRadius(nullptr, 1, 2, 3)), ROW(EntityBox(nullptr, 1, 2, 3, 4, 5, 6)),
      ROW(EntityType(nullptr, 1, 1)), ROW(GetEntityType(nullptr)), ROW(ResetEntity(nullptr)),
      ROW(CountCollisions(nullptr)), ROW(CollisionTriangle(nullptr, 1)),
      ROW(CameraViewport(nullptr, 0, 0, 1, 1)), ROW(CameraClsColor(nullptr, 1, 2, 3)),
      ROW(CameraClsMode(nullptr, 1, 1)), ROW(CameraRange(nullptr, 1, 2)), ROW(CameraZoom(nullptr, 1)),
      ROW(CameraFogMode(nullptr, 1)), ROW(CameraFogColor(nullptr, 1, 2, 3)), ROW(CameraFogRange(nullptr, 1, 2)),
      ROW(CameraProject(nullptr, 1, 2, 3)), ROW(EntityInView(nullptr, nullptr)),
      ROW(LightColor(nullptr, 1, 2, 3)), ROW(LightRange(nullptr, 1)), ROW(LightConeAngles(nullptr, 1, 2)),
      ROW(CountSurfaces(nullptr)), ROW(UpdateNormals(nullptr)), ROW(AddVertex(nullptr, 1, 2, 3, 0, 0, 0)),
      ROW(AddTriangle(nullptr, 0, 1, 2)), ROW(ClearSurface(nullptr, 1, 1)), ROW(CountVertices(nullptr)),
      ROW(CountTriangles(nullptr)), ROW(PaintSurface(nullptr, nullptr)), ROW(VertexCoords(nullptr, 0, 1, 2, 3)),
      ROW(VertexNormal(nullptr, 0, 1, 2, 3)), ROW(VertexColor(nullptr, 0, 1, 2, 3, 1)),
      ROW(VertexTexCoords(nullptr, 0, 1, 2, 0, 0)), ROW(TriangleVertex(nullptr, 0, 0)),
      ROW(TextureWidth(nullptr)), ROW(TextureHeight(nullptr)), ROW(TextureBlend(nullptr, 1)),
      ROW(TextureCoords(nullptr, 1)), ROW(ScaleTexture(nullptr, 1, 1)), ROW(PositionTexture(nullptr, 1, 1)),
      ROW(RotateTexture(nullptr, 1)), ROW(SetCubeFace(nullptr, 1)), ROW(SetCubeMode(nullptr, 1)),
      ROW(BackBufferToTex(nullptr)), ROW(BackBufferToCubeTex(nullptr)), ROW(FreeBrush(nullptr)),
      ROW(BrushColor(nullptr, 1, 2, 3)), ROW(BrushAlpha(nullptr, 1)), ROW(BrushShininess(nullptr, 1)),
      ROW(BrushTexture(nullptr, nullptr, 0, 0)), ROW(BrushBlend(nullptr, 1)), ROW(BrushFX(nullptr, 1)),
      ROW(ExtractAnimSeq(nullptr, 0, 1, 0)), ROW(Animate(nullptr, 1, 1, 0, 0)), ROW(SetAnimTime(nullptr, 1, 0)),
      ROW(AnimSeq(nullptr)), ROW(AnimLength(nullptr)), ROW(Animating(nullptr)), ROW(RotateSprite(nullptr, 1)),
      ROW(ScaleSprite(nullptr, 1, 1)), ROW(HandleSprite(nullptr, 1, 1)), ROW(SpriteViewMode(nullptr, 1)),
  };
  const std::pair<const char*, std::function<float()>> floats[] = {
      ROW(EntityX(nullptr, 1)), ROW(EntityY(nullptr, 1)), ROW(EntityZ(nullptr, 1)),
      ROW(EntityPitch(nullptr, 1)), ROW(EntityYaw(nullptr, 1)), ROW(EntityRoll(nullptr, 1)),
      ROW(GetMatElement(nullptr, 3, 0)), ROW(EntityDistance(nullptr, nullptr)), ROW(DeltaPitch(nullptr, nullptr)),
      ROW(DeltaYaw(nullptr, nullptr)), ROW(CollisionX(nullptr, 1)), ROW(CollisionY(nullptr, 1)),
      ROW(CollisionZ(nullptr, 1)), ROW(CollisionNX(nullptr, 1)), ROW(CollisionNY(nullptr, 1)),
      ROW(CollisionNZ(nullptr, 1)), ROW(CollisionTime(nullptr, 1)), ROW(MeshWidth(nullptr)),
      ROW(MeshHeight(nullptr)), ROW(MeshDepth(nullptr)), ROW(VertexX(nullptr, 0)), ROW(VertexY(nullptr, 0)),
      ROW(VertexZ(nullptr, 0)), ROW(VertexRed(nullptr, 0)), ROW(VertexGreen(nullptr, 0)),
      ROW(VertexBlue(nullptr, 0)), ROW(VertexAlpha(nullptr, 0)), ROW(VertexU(nullptr, 0, 0)),
      ROW(VertexV(nullptr, 0, 0)), ROW(TriangleNX(nullptr, 0)), ROW(TriangleNY(nullptr, 0)),
      ROW(TriangleNZ(nullptr, 0)), ROW(AnimTime(nullptr)),
  };
  const std::pair<const char*, std::function<bool()>> objects[] = {
      ROW(CopyEntity(nullptr, nullptr) == nullptr), ROW(GetParent(nullptr) == nullptr),
      ROW(GetChild(nullptr, 1) == nullptr), ROW(FindChild(nullptr, "") == nullptr),
      ROW(EntityCollided(nullptr, 0) == nullptr), ROW(CollisionEntity(nullptr, 1) == nullptr),
      ROW(CollisionSurface(nullptr, 1) == nullptr), ROW(CopyMesh(nullptr, nullptr) == nullptr),
      ROW(AddMesh(nullptr, nullptr) == nullptr), ROW(CreateSurface(nullptr, nullptr) == nullptr),
      ROW(GetSurface(nullptr, 1) == nullptr), ROW(FindSurface(nullptr, nullptr) == nullptr),
      ROW(FitMesh(nullptr, 0, 0, 0, 1, 1, 1, 1) == nullptr), ROW(FlipMesh(nullptr) == nullptr),
      ROW(PaintMesh(nullptr, nullptr) == nullptr), ROW(PositionMesh(nullptr, 1, 2, 3) == nullptr),
      ROW(RotateMesh(nullptr, 1, 2, 3) == nullptr), ROW(ScaleMesh(nullptr, 1, 2, 3) == nullptr),
      ROW(FreeTexture(nullptr) == nullptr), ROW(GetBrushTexture(nullptr, 0) == nullptr),
      ROW(GetEntityBrush(nullptr) == nullptr), ROW(GetSurfaceBrush(nullptr) == nullptr),
      ROW(EntityName(nullptr).empty()), ROW(EntityClass(nullptr).empty()), ROW(TextureName(nullptr).empty()),
  };
#undef ROW
  for (const auto& [call, run] : ints) EXPECT_EQ(run(), 0) << call;
  for (const auto& [call, run] : floats) EXPECT_EQ(run(), 0.0f) << call;
  for (const auto& [call, run] : objects) EXPECT_TRUE(run()) << call;
  EXPECT_TRUE(TEntity::entity_list.IsEmpty());
}

}  // namespace
