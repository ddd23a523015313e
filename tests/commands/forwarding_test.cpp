// The command set against the engine operations it forwards to: argument order, the
// global flags and the results that differ from the target's. Null handles are in
// null_handles_test.cpp, the tests that need a GL context in render_commands_test.cpp.
#include <cmath>
#include <functional>
#include <iterator>
#include <string>
#include <typeinfo>
#include <utility>
#include <vector>

#include "engine/collision/collision.h"
#include "engine/commands/commands.h"
#include "engine/mesh/bone.h"
#include "engine/mesh/brush.h"
#include "engine/mesh/mesh.h"
#include "engine/mesh/sprite.h"
#include "engine/mesh/surface.h"
#include "engine/mesh/texture.h"
#include "engine/scene/camera.h"
#include "engine/scene/global.h"
#include "engine/scene/light.h"
#include "platform/runtime.h"
#include "support/engine_reset.h"

namespace {

using namespace velmora;
using Commands = EngineTest;

constexpr float kEps = 1e-4f;

struct Vec3 {
  float x, y, z;
};

void ExpectNear(const Vec3& got, const Vec3& want, const std::string& what) {
  EXPECT_NEAR(got.x, want.x, kEps) << what;
  EXPECT_NEAR(got.y, want.y, kEps) << what;
  EXPECT_NEAR(got.z, want.z, kEps) << what;
}

Vec3 LocalPos(const EntityPtr& e) { return {EntityX(e, 0), EntityY(e, 0), EntityZ(e, 0)}; }
Vec3 LocalRot(const EntityPtr& e) { return {EntityPitch(e, 0), EntityYaw(e, 0), EntityRoll(e, 0)}; }
Vec3 LocalScale(const EntityPtr& e) { return {e->EntityScaleX(0), e->EntityScaleY(0), e->EntityScaleZ(0)}; }

// A bone below the mesh, as the model reader makes them.
BonePtr AddBone(const MeshPtr& mesh) {
  auto bone = std::make_shared<TBone>();
  bone->class_name = "Bone";
  bone->AddParent(mesh);
  bone->EntityListAdd(TEntity::entity_list);
  return bone;
}

// ==== Entities ==============================================================================

TEST_F(Commands, TransformCommandsKeepArgumentOrder) {
  struct Case {
    const char* name;
    std::function<void(const EntityPtr&)> apply;
    Vec3 (*read)(const EntityPtr&);
    Vec3 want;
  };
  const Case cases[] = {
      {"PositionEntity", [](const EntityPtr& e) { PositionEntity(e, 1, 2, 3, 0); }, LocalPos, {1, 2, 3}},
      {"MoveEntity", [](const EntityPtr& e) { MoveEntity(e, 1, 2, 3); }, LocalPos, {1, 2, 3}},
      {"TranslateEntity",
       [](const EntityPtr& e) {
         PositionEntity(e, 1, 1, 1, 0);
         TranslateEntity(e, 1, 2, 3, 0);
       },
       LocalPos, {2, 3, 4}},
      {"ScaleEntity", [](const EntityPtr& e) { ScaleEntity(e, 2, 3, 4, 0); }, LocalScale, {2, 3, 4}},
      {"RotateEntity", [](const EntityPtr& e) { RotateEntity(e, 10, 20, 30, 0); }, LocalRot, {10, 20, 30}},
      {"TurnEntity", [](const EntityPtr& e) { TurnEntity(e, 10, 20, 30, 0); }, LocalRot, {10, 20, 30}},
  };
  for (const Case& c : cases) {
    PivotPtr e = CreatePivot(nullptr);
    c.apply(e);
    ExpectNear(c.read(e), c.want, c.name);
    FreeEntity(e);
  }
}

// Setters take world space only for global == 1; getters for any non-zero flag.
TEST_F(Commands, GlobalFlags) {
  PivotPtr parent = CreatePivot(nullptr);
  PositionEntity(parent, 10, 0, 0, 0);
  RotateEntity(parent, 0, 90, 0, 0);
  ScaleEntity(parent, 2, 2, 2, 0);

  struct Case {
    const char* name;
    std::function<void(const EntityPtr&, int)> set;
    std::function<float(const EntityPtr&)> world, local;
    float want_world, want_local;  // after global 1, after any other flag
  };
  const Case cases[] = {
      {"PositionEntity", [](const EntityPtr& e, int g) { PositionEntity(e, 1, 2, 3, g); },
       [](const EntityPtr& e) { return EntityX(e, 1); }, [](const EntityPtr& e) { return EntityX(e, 0); }, 1, 1},
      // Along world x the world z stays 0; along the parent's x (turned 90 degrees) it does not.
      {"TranslateEntity", [](const EntityPtr& e, int g) { TranslateEntity(e, 1, 0, 0, g); },
       [](const EntityPtr& e) { return EntityZ(e, 1); }, [](const EntityPtr& e) { return EntityX(e, 0); }, 0, 1},
      {"RotateEntity", [](const EntityPtr& e, int g) { RotateEntity(e, 0, 30, 0, g); },
       [](const EntityPtr& e) { return EntityYaw(e, 1); }, [](const EntityPtr& e) { return EntityYaw(e, 0); }, 30, 30},
      {"ScaleEntity", [](const EntityPtr& e, int g) { ScaleEntity(e, 4, 4, 4, g); },
       [](const EntityPtr& e) { return e->EntityScaleX(1); }, [](const EntityPtr& e) { return e->EntityScaleX(0); },
       4, 4},
  };
  for (const Case& c : cases) {
    for (int global : {1, 0, 2, -1}) {
      PivotPtr child = CreatePivot(parent);
      c.set(child, global);
      const std::string what = std::string(c.name) + " global " + std::to_string(global);
      if (global == 1) {
        EXPECT_NEAR(c.world(child), c.want_world, kEps) << what;
      } else {
        EXPECT_NEAR(c.local(child), c.want_local, kEps) << what;
        EXPECT_GT(std::fabs(c.world(child) - c.want_world), 0.5f) << what << ": took world space";
      }
      FreeEntity(child);
    }
  }

  PivotPtr child = CreatePivot(parent);
  PositionEntity(child, 1, 2, 3, 0);
  RotateEntity(child, 10, 20, 30, 0);
  using Getter = float (*)(const EntityPtr&, int);
  const std::pair<const char*, Getter> getters[] = {{"EntityX", EntityX},         {"EntityY", EntityY},
                                                    {"EntityZ", EntityZ},         {"EntityPitch", EntityPitch},
                                                    {"EntityYaw", EntityYaw},     {"EntityRoll", EntityRoll}};
  for (const auto& [name, get] : getters) {
    for (int global : {2, -1}) EXPECT_FLOAT_EQ(get(child, global), get(child, 1)) << name << " global " << global;
  }
  EXPECT_GT(std::fabs(EntityX(child, 1) - EntityX(child, 0)), 1.0f);
}

TEST_F(Commands, MatrixTFormAndDirections) {
  PivotPtr a = CreatePivot(nullptr);
  PositionEntity(a, 5, 6, 7, 0);
  EXPECT_FLOAT_EQ(GetMatElement(a, 3, 0), 5);  // column 3 holds the translation
  EXPECT_FLOAT_EQ(GetMatElement(a, 3, 1), 6);
  EXPECT_FLOAT_EQ(GetMatElement(a, 0, 3), 0);

  struct Case {
    const char* name;
    std::function<void()> tform;
    Vec3 want;
  };
  const Case cases[] = {
      {"point, no spaces", [] { TFormPoint(1, 2, 3, nullptr, nullptr); }, {1, 2, 3}},
      {"point from a", [&] { TFormPoint(1, 0, 0, a, nullptr); }, {6, 6, 7}},
      {"point into a", [&] { TFormPoint(1, 0, 0, nullptr, a); }, {-4, -6, -7}},
      {"vector from a", [&] { TFormVector(1, 2, 3, a, nullptr); }, {1, 2, 3}},
      {"normal", [] { TFormNormal(0, 0, 5, nullptr, nullptr); }, {0, 0, 1}},
  };
  for (const Case& c : cases) {
    c.tform();
    ExpectNear({TFormedX(), TFormedY(), TFormedZ()}, c.want, c.name);
  }

  PivotPtr o = CreatePivot(nullptr);
  PivotPtr east = CreatePivot(nullptr);
  PositionEntity(east, 3, 0, 0, 0);
  PivotPtr up = CreatePivot(nullptr);
  PositionEntity(up, 0, 4, 0, 0);
  EXPECT_NEAR(DeltaYaw(o, east), -90, kEps);
  EXPECT_NEAR(DeltaYaw(east, o), 90, kEps);
  EXPECT_NEAR(DeltaPitch(o, up), -90, kEps);
  EXPECT_NEAR(EntityDistance(east, up), 5, kEps);

  PointEntity(o, east, 25);
  EXPECT_NEAR(EntityYaw(o, 0), -90, kEps);
  EXPECT_NEAR(EntityRoll(o, 0), 25, kEps);
  PointEntity(o, nullptr, 0);  // a null target changes nothing
  EXPECT_NEAR(EntityRoll(o, 0), 25, kEps);
}

TEST_F(Commands, HierarchyAndNames) {
  PivotPtr parent = CreatePivot(nullptr);
  PositionEntity(parent, 10, 0, 0, 0);
  PivotPtr keep = CreatePivot(nullptr);
  PivotPtr move = CreatePivot(nullptr);
  PositionEntity(keep, 1, 0, 0, 0);
  PositionEntity(move, 1, 0, 0, 0);
  EntityParent(keep, parent, 1);  // keeps its world place
  EntityParent(move, parent, 0);  // its world values become local ones
  EXPECT_NEAR(EntityX(keep, 1), 1, kEps);
  EXPECT_NEAR(EntityX(move, 1), 11, kEps);

  EXPECT_EQ(GetParent(keep), parent);
  EXPECT_EQ(CountChildren(parent), 2);
  EXPECT_EQ(GetChild(parent, 0), nullptr);
  EXPECT_EQ(GetChild(parent, 1), keep);  // children count from 1
  EXPECT_EQ(GetChild(parent, 2), move);
  NameEntity(move, "moved");
  EXPECT_EQ(EntityName(move), "moved");
  EXPECT_EQ(FindChild(parent, "moved"), move);
  EXPECT_EQ(FindChild(parent, "Moved"), nullptr);

  EntityParent(move, nullptr, 1);
  EXPECT_EQ(GetParent(move), nullptr);
  EXPECT_NEAR(EntityX(move, 1), 11, kEps);

  HideEntity(parent);
  EXPECT_EQ(keep->EntityHidden(), 1);
  ShowEntity(parent);
  EXPECT_EQ(keep->EntityHidden(), 0);
}

// FreeEntity and CopyEntity reach each kind's own override through the base handle.
TEST_F(Commands, CopyAndFreeRunTheKindsOwn) {
  struct Case {
    const char* kind;
    std::function<EntityPtr()> make;
  };
  const Case cases[] = {
      {"Pivot", [] { return CreatePivot(nullptr); }},
      {"Mesh", [] { return CreateCube(nullptr); }},
      {"Camera", [] { return CreateCamera(nullptr); }},
      {"Light", [] { return CreateLight(2, nullptr); }},
      {"Sprite", [] { return CreateSprite(nullptr); }},
  };
  for (const Case& c : cases) {
    EntityPtr original = c.make();
    EntityPtr parent = CreatePivot(nullptr);
    EntityPtr copy = CopyEntity(original, parent);
    ASSERT_NE(copy, nullptr) << c.kind;
    EXPECT_NE(copy, original) << c.kind;
    EXPECT_EQ(EntityClass(copy), c.kind);
    EXPECT_EQ(typeid(*copy), typeid(*original)) << c.kind;
    EXPECT_EQ(GetParent(copy), parent) << c.kind;

    FreeEntity(parent);  // frees the copy with it
    EXPECT_TRUE(copy->IsFreed()) << c.kind;
    FreeEntity(original);
    EXPECT_TRUE(TEntity::entity_list.IsEmpty()) << c.kind;
  }
  // The kinds' own lists: the camera list and the light slots.
  CameraPtr camera = CreateCamera(nullptr);
  LightPtr light = CreateLight(1, nullptr);
  EXPECT_EQ(TLight::no_lights, 1);
  FreeEntity(camera);
  FreeEntity(light);
  EXPECT_TRUE(TCamera::cam_list.IsEmpty());
  EXPECT_EQ(TLight::no_lights, 0);

  // A bone goes only with its mesh.
  MeshPtr mesh = CreateMesh(nullptr);
  BonePtr bone = AddBone(mesh);
  FreeEntity(bone);
  EXPECT_FALSE(bone->IsFreed());
  EntityPtr bone_copy = CopyEntity(bone, nullptr);
  EXPECT_NE(dynamic_cast<TBone*>(bone_copy.get()), nullptr);
  FreeEntity(mesh);
  EXPECT_TRUE(bone->IsFreed());
}

// A freed parent is out of the scene, as EntityParent already holds: what is made or
// copied under it becomes a root in the world list, placed from the world origin rather
// than from the dead parent's last place, and never left hanging under it.
TEST_F(Commands, CreatorsAndCopiesUnderAFreedParentMakeARoot) {
  using Make = std::function<EntityPtr(const EntityPtr&)>;
  const std::pair<const char*, Make> cases[] = {
      {"CreatePivot", [](const EntityPtr& p) { return CreatePivot(p); }},
      {"CreateMesh", [](const EntityPtr& p) { return CreateMesh(p); }},
      {"CreateCube", [](const EntityPtr& p) { return CreateCube(p); }},
      {"CreateSphere", [](const EntityPtr& p) { return CreateSphere(8, p); }},
      {"CreateCylinder", [](const EntityPtr& p) { return CreateCylinder(8, 1, p); }},
      {"CreateCone", [](const EntityPtr& p) { return CreateCone(8, 1, p); }},
      {"CreateCamera", [](const EntityPtr& p) { return CreateCamera(p); }},
      {"CreateLight", [](const EntityPtr& p) { return CreateLight(2, p); }},
      {"CreateSprite", [](const EntityPtr& p) { return CreateSprite(p); }},
      {"LoadMesh of a missing file", [](const EntityPtr& p) { return LoadMesh("missing.b3d", p); }},
      {"LoadAnimMesh of a missing file", [](const EntityPtr& p) { return LoadAnimMesh("missing.b3d", p); }},
      {"CopyMesh", [](const EntityPtr& p) { return CopyMesh(CreateCube(nullptr), p); }},
      {"CopyEntity of a pivot with a child",
       [](const EntityPtr& p) {
         PivotPtr source = CreatePivot(nullptr);
         CreatePivot(source);
         return CopyEntity(source, p);
       }},
      {"CopyEntity of a mesh", [](const EntityPtr& p) { return CopyEntity(CreateCube(nullptr), p); }},
      {"CopyEntity of a camera", [](const EntityPtr& p) { return CopyEntity(CreateCamera(nullptr), p); }},
      {"CopyEntity of a light", [](const EntityPtr& p) { return CopyEntity(CreateLight(1, nullptr), p); }},
      {"CopyEntity of a sprite", [](const EntityPtr& p) { return CopyEntity(CreateSprite(nullptr), p); }},
  };
  SetDebugSink([](const std::string&) {});  // the missing model file is reported
  for (const auto& [what, make] : cases) {
    EntityPtr parent = CreatePivot(nullptr);
    PositionEntity(parent, 5, 6, 7, 0);
    FreeEntity(parent);
    EntityPtr e = make(parent);
    ASSERT_NE(e, nullptr) << what;
    EXPECT_EQ(GetParent(e), nullptr) << what;
    EXPECT_EQ(CountChildren(parent), 0) << what;
    EXPECT_FALSE(e->IsFreed()) << what;
    EXPECT_TRUE(TEntity::entity_list.Contains(e.get())) << what;
    ExpectNear({EntityX(e, 1), EntityY(e, 1), EntityZ(e, 1)}, {0, 0, 0}, what);
    for (const EntityPtr& child : e->children) {
      ExpectNear({EntityX(child, 1), EntityY(child, 1), EntityZ(child, 1)}, {0, 0, 0}, std::string(what) + ", child");
    }
    ResetEngine();
  }
  SetDebugSink(nullptr);
}

TEST_F(Commands, AppearanceGoesToTheEntityBrush) {
  MeshPtr mesh = CreateCube(nullptr);
  EntityColor(mesh, 51, 102, 153);
  EXPECT_FLOAT_EQ(mesh->brush->red, 0.2f);
  EXPECT_FLOAT_EQ(mesh->brush->green, 0.4f);
  EXPECT_FLOAT_EQ(mesh->brush->blue, 0.6f);
  EntityAlpha(mesh, 0.5f);
  EntityShininess(mesh, 0.25f);
  EntityBlend(mesh, kBlendAdd);
  EntityFX(mesh, kFxFullBright | kFxNoFog);
  EXPECT_EQ(mesh->brush->alpha, 0.5f);
  EXPECT_EQ(mesh->brush->shininess, 0.25f);
  EXPECT_EQ(mesh->brush->blend, kBlendAdd);
  EXPECT_EQ(mesh->brush->fx, kFxFullBright | kFxNoFog);
  EntityAutoFade(mesh, 5, 50);
  EXPECT_EQ(mesh->fade_near, 5);
  EXPECT_EQ(mesh->fade_far, 50);
  MeshCullRadius(mesh, 3);
  EXPECT_EQ(mesh->cull_radius, -3);
  EntityOrder(mesh, -2);
  EXPECT_EQ(mesh->order, -2);

  // frame, then layer index: a three-frame texture tells them apart.
  auto texture = std::make_shared<TTexture>();
  texture->frame_count = 3;
  EntityTexture(mesh, texture, 2, 1);
  EXPECT_EQ(mesh->brush->textures[1], texture);
  EXPECT_EQ(mesh->brush->textures[0], nullptr);
  EXPECT_EQ(mesh->brush->texture_frame, 2);

  BrushPtr paint = CreateBrush(255, 0, 0);
  BrushTexture(paint, texture, 0, 4);
  PaintEntity(mesh, paint);
  EXPECT_EQ(mesh->brush->red, 1.0f);
  EXPECT_EQ(mesh->brush->textures[4], texture);

  // Only meshes take textures and paint; other kinds keep their brush.
  PivotPtr pivot = CreatePivot(nullptr);
  EntityTexture(pivot, texture, 0, 0);
  PaintEntity(pivot, paint);
  EXPECT_EQ(pivot->brush->textures[0], nullptr);
  EXPECT_EQ(pivot->brush->red, 1.0f);
  EXPECT_EQ(pivot->brush->green, 1.0f);
}

TEST_F(Commands, PickAndCollisionSettingsAndResults) {
  PivotPtr e = CreatePivot(nullptr);
  PivotPtr child = CreatePivot(e);
  EntityRadius(e, 1, 2, 3);
  EXPECT_EQ(e->radius_x, 1);
  EXPECT_EQ(e->radius_y, 2);
  EXPECT_EQ(e->radius_z, 3);
  EntityBox(e, 1, 2, 3, 4, 5, 6);
  const float box[] = {e->box_x, e->box_y, e->box_z, e->box_w, e->box_h, e->box_d};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(box[i], float(i + 1)) << "box value " << i;
  EntityPickMode(e, 2, 1);
  EXPECT_EQ(e->pick_mode, 2);
  EXPECT_EQ(e->pick_option, 1);
  EntityType(e, 5, 0);
  EXPECT_EQ(GetEntityType(e), 5);
  EXPECT_EQ(GetEntityType(child), 0);
  EntityType(e, 6, 1);  // recursive
  EXPECT_EQ(GetEntityType(child), 6);

  PivotPtr other = CreatePivot(nullptr);
  EntityType(other, 9, 0);
  MeshPtr wall = CreateCube(nullptr);
  TCollisionImpact hit;
  hit.x = 1, hit.y = 2, hit.z = 3, hit.nx = 4, hit.ny = 5, hit.nz = 6, hit.time = 0.5f;
  hit.entity = other;
  hit.surface = GetSurface(wall, 1);
  hit.triangle = 7;
  e->collisions.push_back(hit);
  e->collision_count = 1;

  EXPECT_EQ(CountCollisions(e), 1);
  using Getter = float (*)(const EntityPtr&, int);
  const std::pair<Getter, float> getters[] = {{CollisionX, 1},  {CollisionY, 2},  {CollisionZ, 3},   {CollisionNX, 4},
                                              {CollisionNY, 5}, {CollisionNZ, 6}, {CollisionTime, 0.5f}};
  for (size_t i = 0; i < std::size(getters); ++i) {
    EXPECT_EQ(getters[i].first(e, 1), getters[i].second) << "getter " << i;
    EXPECT_EQ(getters[i].first(e, 0), 0) << "getter " << i << " index 0";  // from 1
    EXPECT_EQ(getters[i].first(e, 2), 0) << "getter " << i << " index 2";
  }
  EXPECT_EQ(CollisionEntity(e, 1), other);
  EXPECT_EQ(CollisionSurface(e, 1), hit.surface);
  EXPECT_EQ(CollisionTriangle(e, 1), 7);
  EXPECT_EQ(EntityCollided(e, 9), other);
  EXPECT_EQ(EntityCollided(e, 8), nullptr);
  ResetEntity(e);
  EXPECT_EQ(CountCollisions(e), 0);
}

// An animated pivot has sequences and time but no keys: the commands' arguments show in
// the read-outs alone.
TEST_F(Commands, AnimationCommands) {
  PivotPtr e = CreatePivot(nullptr);
  e->animated = 1;  // as the model loader marks an entity with keys
  EXPECT_EQ(ExtractAnimSeq(e, 10, 20, 0), 1);  // absolute frames 10..20
  EXPECT_EQ(ExtractAnimSeq(e, 2, 3, 1), 2);    // frames 12..13, counted from sequence 1
  EXPECT_EQ(ExtractAnimSeq(e, 0, 1, 7), 0);    // no sequence 7

  Animate(e, 1, 2.0f, 1, 0);  // loop, 2 frames per update, sequence 1, no transition
  EXPECT_EQ(AnimSeq(e), 1);
  EXPECT_EQ(AnimLength(e), 10);
  EXPECT_EQ(Animating(e), 1);
  EXPECT_EQ(AnimTime(e), 0);
  UpdateWorld(0.5f);
  EXPECT_FLOAT_EQ(AnimTime(e), 1);
  UpdateWorld(1.0f);
  EXPECT_FLOAT_EQ(AnimTime(e), 3);

  Animate(e, 1, 1.0f, 2, 4);  // a 4-update transition into sequence 2
  EXPECT_EQ(AnimSeq(e), 2);
  EXPECT_EQ(AnimLength(e), 1);
  EXPECT_EQ(Animating(e), 1);
  EXPECT_EQ(AnimTime(e), 0);

  SetAnimTime(e, 4.5f, 1);  // time first, then sequence
  EXPECT_EQ(AnimSeq(e), 1);
  EXPECT_FLOAT_EQ(AnimTime(e), 4.5f);
  EXPECT_EQ(Animating(e), 0);
}

TEST_F(Commands, SpriteCommands) {
  PivotPtr parent = CreatePivot(nullptr);
  SpritePtr s = CreateSprite(parent);
  EXPECT_EQ(EntityClass(s), "Sprite");
  EXPECT_EQ(GetParent(s), parent);
  RotateSprite(s, 30);
  ScaleSprite(s, 2, 3);
  HandleSprite(s, 0.5f, -0.25f);
  SpriteViewMode(s, kSpriteUpright);
  EXPECT_EQ(s->sprite_angle, 30);
  EXPECT_EQ(s->sprite_scale_x, 2);
  EXPECT_EQ(s->sprite_scale_y, 3);
  EXPECT_EQ(s->handle_x, 0.5f);
  EXPECT_EQ(s->handle_y, -0.25f);
  EXPECT_EQ(s->view_mode, kSpriteUpright);

  // A sprite is a mesh: the narrowing of EntityTexture and PaintEntity keeps it.
  auto t = std::make_shared<TTexture>();
  EntityTexture(s, t, 0, 2);
  EXPECT_EQ(s->brush->textures[2], t);
  PaintEntity(s, CreateBrush(0, 0, 255));
  EXPECT_EQ(s->brush->red, 0);
  EXPECT_EQ(s->brush->blue, 1);

  // A missing image still gives a sprite; flags then parent.
  SpritePtr additive = LoadSprite("missing.png", kTexColour, parent);
  SpritePtr alpha = LoadSprite("missing.png", kTexAlpha, nullptr);
  ASSERT_NE(additive, nullptr);
  ASSERT_NE(alpha, nullptr);
  EXPECT_EQ(GetParent(additive), parent);
  EXPECT_EQ(additive->brush->blend, kBlendAdd);
  EXPECT_NE(alpha->brush->blend, kBlendAdd);
}

// ==== Cameras, lights ========================================================================

TEST_F(Commands, CameraSettings) {
  TGlobal::width = 200;
  TGlobal::height = 100;
  CameraPtr c = CreateCamera(nullptr);
  EXPECT_EQ(c->view_w, 200);
  EXPECT_EQ(c->view_h, 100);
  CameraViewport(c, 1, 2, 30, 40);
  EXPECT_EQ(c->view_x, 1);
  EXPECT_EQ(c->view_y, 100 - 40 - 2);  // y from the top of the area
  EXPECT_EQ(c->view_w, 30);
  EXPECT_EQ(c->view_h, 40);
  CameraClsColor(c, 51, 102, 153);
  EXPECT_FLOAT_EQ(c->clear_r, 0.2f);
  EXPECT_FLOAT_EQ(c->clear_b, 0.6f);
  CameraClsMode(c, 0, 1);
  EXPECT_EQ(c->clear_color, 0);
  EXPECT_EQ(c->clear_depth, 1);
  CameraRange(c, 2, 300);
  EXPECT_EQ(c->near_clip, 2);
  EXPECT_EQ(c->far_clip, 300);
  CameraFogMode(c, 1);
  CameraFogColor(c, 0, 51, 255);
  CameraFogRange(c, 5, 50);
  EXPECT_EQ(c->fog_mode, 1);
  EXPECT_FLOAT_EQ(c->fog_g, 0.2f);
  EXPECT_FLOAT_EQ(c->fog_b, 1.0f);
  EXPECT_EQ(c->fog_near, 5);
  EXPECT_EQ(c->fog_far, 50);
  CameraZoom(c, 2.5f);
  EXPECT_EQ(c->zoom, 2.5f);
  // The projected values are the camera class's; none has been stored yet.
  EXPECT_EQ(ProjectedX(), 0);
  EXPECT_EQ(ProjectedY(), 0);
  EXPECT_EQ(ProjectedZ(), 0);
}

TEST_F(Commands, LightsAndPivots) {
  PivotPtr parent = CreatePivot(nullptr);
  EXPECT_EQ(EntityClass(parent), "Pivot");
  LightPtr light = CreateLight(kLightPoint, parent);
  ASSERT_NE(light, nullptr);
  EXPECT_EQ(light->light_type, kLightPoint);
  EXPECT_EQ(GetParent(light), parent);
  LightColor(light, 51, 102, 153);
  EXPECT_FLOAT_EQ(light->red, 0.2f);
  EXPECT_FLOAT_EQ(light->blue, 0.6f);
  LightConeAngles(light, 20, 60);
  EXPECT_EQ(light->inner_half_angle, 10);
  EXPECT_EQ(light->outer_half_angle, 30);
  LightRange(light, 4);
  EXPECT_EQ(light->inv_range, 0.25f);

  // The eight slots run out; the ninth light is null and commands on it do nothing.
  for (int i = 1; i < kMaxLights; ++i) ASSERT_NE(CreateLight(1, nullptr), nullptr);
  LightPtr ninth = CreateLight(1, nullptr);
  EXPECT_EQ(ninth, nullptr);
  EXPECT_EQ(LightColor(ninth, 1, 2, 3), 0);
}

// ==== Meshes and surfaces =====================================================================

TEST_F(Commands, MeshCreation) {
  PivotPtr parent = CreatePivot(nullptr);
  struct Case {
    const char* name;
    std::function<MeshPtr()> make;
    int surfaces;  // -1: the segment count is refused
  };
  const Case cases[] = {
      {"cube", [&] { return CreateCube(parent); }, 1},
      {"sphere", [&] { return CreateSphere(6, parent); }, 1},
      {"sphere, 1 segment", [&] { return CreateSphere(1, parent); }, -1},
      {"cylinder, open", [&] { return CreateCylinder(6, 0, parent); }, 1},
      {"cylinder, solid", [&] { return CreateCylinder(6, 1, parent); }, 2},
      {"cylinder, 2 segments", [&] { return CreateCylinder(2, 1, parent); }, -1},
      {"cone, open", [&] { return CreateCone(5, 0, parent); }, 1},
      {"cone, solid", [&] { return CreateCone(5, 1, parent); }, 2},
      {"mesh", [&] { return CreateMesh(parent); }, 0},
  };
  for (const Case& c : cases) {
    MeshPtr m = c.make();
    if (c.surfaces < 0) {
      EXPECT_EQ(m, nullptr) << c.name;
      continue;
    }
    ASSERT_NE(m, nullptr) << c.name;
    EXPECT_EQ(CountSurfaces(m), c.surfaces) << c.name;
    EXPECT_EQ(GetParent(m), parent) << c.name;
    EXPECT_EQ(EntityClass(m), "Mesh") << c.name;
  }
}

Vec3 Extents(const MeshPtr& m) { return {MeshWidth(m), MeshHeight(m), MeshDepth(m)}; }

// These mesh operations return the null mesh, not 0; the extents after each show it
// ran with its arguments in order.
TEST_F(Commands, MeshOperationsReturnNull) {
  MeshPtr m = CreateCube(nullptr);
  EXPECT_EQ(ScaleMesh(m, 2, 1, 1), nullptr);
  ExpectNear(Extents(m), {4, 2, 2}, "ScaleMesh");
  EXPECT_EQ(RotateMesh(m, 0, 0, 90), nullptr);  // roll turns x into y
  ExpectNear(Extents(m), {2, 4, 2}, "RotateMesh");
  EXPECT_EQ(FitMesh(m, 0, 0, 0, 2, 4, 6, 0), nullptr);
  ExpectNear(Extents(m), {2, 4, 6}, "FitMesh");
  m->GetBounds();
  const Vec3 min_before{m->bounds_min_x, m->bounds_min_y, m->bounds_min_z};
  EXPECT_EQ(PositionMesh(m, 1, 2, 3), nullptr);
  m->GetBounds();
  ExpectNear({m->bounds_min_x - min_before.x, m->bounds_min_y - min_before.y, m->bounds_min_z - min_before.z},
             {1, 2, 3}, "PositionMesh");

  SurfacePtr s = GetSurface(m, 1);
  const int last_corner = TriangleVertex(s, 0, 2);
  EXPECT_EQ(FlipMesh(m), nullptr);
  EXPECT_EQ(TriangleVertex(s, 0, 0), last_corner);
  EXPECT_EQ(PaintMesh(m, CreateBrush(0, 255, 0)), nullptr);
  ASSERT_NE(s->brush, nullptr);
  EXPECT_EQ(s->brush->red, 0.0f);
  EXPECT_EQ(s->brush->green, 1.0f);

  MeshPtr other = CreateCube(nullptr);
  EXPECT_EQ(AddMesh(other, m), nullptr);  // other's surfaces into m
  EXPECT_EQ(m->CountVertices(), 48);
  EXPECT_EQ(other->CountVertices(), 24);
}

TEST_F(Commands, MeshSurfaceLookups) {
  MeshPtr m = CreateMesh(nullptr);
  BrushPtr red = CreateBrush(255, 0, 0);
  SurfacePtr plain = CreateSurface(m, nullptr);
  SurfacePtr painted = CreateSurface(m, red);
  EXPECT_EQ(painted->brush, red);  // shared, not copied
  EXPECT_EQ(GetSurface(m, 0), nullptr);
  EXPECT_EQ(GetSurface(m, 1), plain);  // from 1
  EXPECT_EQ(GetSurface(m, 2), painted);
  EXPECT_EQ(GetSurface(m, 3), nullptr);
  EXPECT_EQ(FindSurface(m, CreateBrush(255, 0, 0)), painted);  // an equal brush is enough
  EXPECT_EQ(FindSurface(m, CreateBrush(0, 0, 255)), nullptr);

  AddVertex(painted, 0, 0, 0, 0, 0, 0);
  PivotPtr parent = CreatePivot(nullptr);
  MeshPtr copy = CopyMesh(m, parent);
  EXPECT_EQ(GetParent(copy), parent);
  EXPECT_EQ(CountSurfaces(copy), 2);
  EXPECT_NE(GetSurface(copy, 2), painted);  // a deep copy
  EXPECT_EQ(CountVertices(GetSurface(copy, 2)), 1);
}

TEST_F(Commands, SurfaceCommands) {
  MeshPtr m = CreateMesh(nullptr);
  SurfacePtr s = CreateSurface(m, nullptr);
  // Vertex indices from 0; AddTriangle returns the count.
  EXPECT_EQ(AddVertex(s, 1, 2, 3, 0.25f, 0.75f, 0), 0);
  EXPECT_EQ(AddVertex(s, 0, 0, 0, 0, 0, 0), 1);
  EXPECT_EQ(AddVertex(s, 0, 1, 0, 0, 0, 0), 2);
  EXPECT_EQ(AddTriangle(s, 2, 0, 1), 1);
  EXPECT_EQ(AddTriangle(s, 1, 2, 0), 2);
  EXPECT_EQ(CountVertices(s), 3);
  EXPECT_EQ(CountTriangles(s), 2);

  ExpectNear({VertexX(s, 0), VertexY(s, 0), VertexZ(s, 0)}, {1, 2, 3}, "AddVertex position");
  EXPECT_EQ(VertexU(s, 0, 0), 0.25f);
  EXPECT_EQ(VertexV(s, 0, 0), 0.75f);
  // Triangle first, then corner; corners come back in the order added.
  const int corners[2][3] = {{2, 0, 1}, {1, 2, 0}};
  for (int t = 0; t < 2; ++t)
    for (int c = 0; c < 3; ++c) EXPECT_EQ(TriangleVertex(s, t, c), corners[t][c]) << "triangle " << t << " corner " << c;
  EXPECT_EQ(TriangleNX(s, 0), s->TriangleNX(0));
  EXPECT_EQ(TriangleNY(s, 0), s->TriangleNY(0));
  EXPECT_EQ(TriangleNZ(s, 0), s->TriangleNZ(0));

  VertexCoords(s, 1, 4, 5, 6);
  ExpectNear({VertexX(s, 1), VertexY(s, 1), VertexZ(s, 1)}, {4, 5, 6}, "VertexCoords");
  VertexNormal(s, 1, 0.5f, 0.25f, 0.125f);
  ExpectNear({s->VertexNX(1), s->VertexNY(1), s->VertexNZ(1)}, {0.5f, 0.25f, 0.125f}, "VertexNormal");
  VertexColor(s, 1, 10, 20, 30, 0.5f);
  ExpectNear({VertexRed(s, 1), VertexGreen(s, 1), VertexBlue(s, 1)}, {10, 20, 30}, "VertexColor");
  EXPECT_EQ(VertexAlpha(s, 1), 0.5f);
  VertexTexCoords(s, 2, 0.1f, 0.2f, 0, 1);  // coordinate set 1 only
  EXPECT_EQ(VertexU(s, 2, 1), 0.1f);
  EXPECT_EQ(VertexV(s, 2, 1), 0.2f);
  EXPECT_EQ(VertexU(s, 2, 0), 0);

  BrushPtr b = CreateBrush(0, 0, 0);
  PaintSurface(s, b);
  EXPECT_EQ(s->brush, b);

  ClearSurface(s, 0, 1);
  EXPECT_EQ(CountVertices(s), 3);
  EXPECT_EQ(CountTriangles(s), 0);
  ClearSurface(s, 1, 0);
  EXPECT_EQ(CountVertices(s), 0);
}

// ==== Textures, brushes =======================================================================

TEST_F(Commands, TextureSettings) {
  auto t = std::make_shared<TTexture>();
  t->width = 8;
  t->height = 4;
  t->absolute_file_name = "/x/skin.tga";
  EXPECT_EQ(TextureWidth(t), 8);
  EXPECT_EQ(TextureHeight(t), 4);
  EXPECT_EQ(TextureName(t), "/x/skin.tga");
  ScaleTexture(t, 2, 4);
  EXPECT_EQ(t->u_scale, 0.5f);
  EXPECT_EQ(t->v_scale, 0.25f);
  PositionTexture(t, 1, 2);
  EXPECT_EQ(t->u_offset, -1);
  EXPECT_EQ(t->v_offset, -2);
  RotateTexture(t, 30);
  TextureBlend(t, kTexBlendAdd);
  TextureCoords(t, 1);
  SetCubeFace(t, 4);
  SetCubeMode(t, 2);
  EXPECT_EQ(t->angle, 30);
  EXPECT_EQ(t->blend, kTexBlendAdd);
  EXPECT_EQ(t->coord_set, 1);
  EXPECT_EQ(t->cube_face, 4);
  EXPECT_EQ(t->cube_mode, 2);

  TextureFilter("skin", kTexMasked);
  ASSERT_EQ(TTextureFilter::filter_list.Count(), 1u);
  EXPECT_EQ(TTextureFilter::filter_list.First()->match_text, "skin");
  EXPECT_EQ(TTextureFilter::filter_list.First()->flags, kTexMasked);
  ClearTextureFilters();
  EXPECT_TRUE(TTextureFilter::filter_list.IsEmpty());

  TTexture::tex_list.AddLast(t);
  EXPECT_EQ(FreeTexture(t), nullptr);
  EXPECT_TRUE(TTexture::tex_list.IsEmpty());
  EXPECT_EQ(LoadTexture("no such file.tga", kTexColour), nullptr);
}

TEST_F(Commands, BrushCommands) {
  BrushPtr b = CreateBrush(51, 102, 153);
  EXPECT_FLOAT_EQ(b->red, 0.2f);
  EXPECT_FLOAT_EQ(b->green, 0.4f);
  EXPECT_FLOAT_EQ(b->blue, 0.6f);
  BrushColor(b, 153, 102, 51);
  EXPECT_FLOAT_EQ(b->red, 0.6f);
  EXPECT_FLOAT_EQ(b->blue, 0.2f);
  BrushAlpha(b, 0.5f);
  BrushShininess(b, 0.75f);
  BrushBlend(b, kBlendMultiply);
  BrushFX(b, kFxNoCulling);
  EXPECT_EQ(b->alpha, 0.5f);
  EXPECT_EQ(b->shininess, 0.75f);
  EXPECT_EQ(b->blend, kBlendMultiply);
  EXPECT_EQ(b->fx, kFxNoCulling);

  auto t = std::make_shared<TTexture>();
  t->frame_count = 3;
  BrushTexture(b, t, 2, 1);  // frame 2 into layer 1
  EXPECT_EQ(b->textures[1], t);
  EXPECT_EQ(b->texture_frame, 2);
  EXPECT_EQ(GetBrushTexture(b, 1), t);  // layers from 0
  EXPECT_EQ(GetBrushTexture(b, 0), nullptr);
  EXPECT_EQ(FreeBrush(b), 0);
  EXPECT_EQ(b->textures[1], t);  // freeing a brush does nothing

  // The brush getters hand out copies.
  MeshPtr m = CreateCube(nullptr);
  EntityColor(m, 255, 0, 0);
  BrushPtr copy = GetEntityBrush(m);
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy, m->brush);
  EXPECT_EQ(copy->red, 1.0f);
  BrushColor(copy, 0, 0, 0);
  EXPECT_EQ(m->brush->red, 1.0f);
  SurfacePtr s = GetSurface(m, 1);
  PaintSurface(s, b);
  BrushPtr surface_copy = GetSurfaceBrush(s);
  ASSERT_NE(surface_copy, nullptr);
  EXPECT_NE(surface_copy, b);
  EXPECT_EQ(surface_copy->blend, kBlendMultiply);
}

// ==== World, math, the commands without effect ===============================================

TEST_F(Commands, WorldAndMath) {
  AmbientLight(51, 102, 153);
  EXPECT_FLOAT_EQ(TGlobal::ambient_red, 0.2f);
  EXPECT_FLOAT_EQ(TGlobal::ambient_green, 0.4f);
  EXPECT_FLOAT_EQ(TGlobal::ambient_blue, 0.6f);
  Collisions(1, 2, 3, 4);
  ASSERT_EQ(TCollision::list.size(), 1u);
  const TCollision& rule = TCollision::list.back();
  EXPECT_EQ(rule.src_type, 1);
  EXPECT_EQ(rule.dest_type, 2);
  EXPECT_EQ(rule.method, 3);
  EXPECT_EQ(rule.response, 4);
  ClearCollisions();
  EXPECT_TRUE(TCollision::list.empty());

  EXPECT_NEAR(VectorYaw(1, 0, 0), -90, kEps);
  EXPECT_NEAR(VectorYaw(0, 0, 1), 0, kEps);
  EXPECT_NEAR(VectorPitch(0, 1, 0), -90, kEps);
  EXPECT_NEAR(VectorPitch(1, 0, 0), 0, kEps);
}

TEST_F(Commands, CommandsWithoutEffectReturnZero) {
  MeshPtr m = CreateCube(nullptr);
  CameraPtr c = CreateCamera(nullptr);
  const size_t entities = TEntity::entity_list.Count();
  EXPECT_EQ(LightMesh(m, 255, 255, 255, 10, 0, 0, 0), 0);
  EXPECT_EQ(MeshesIntersect(m, m), 0);
  EXPECT_EQ(CameraProjMode(c), 0);
  EXPECT_EQ(LoadAnimSeq(m, "walk.b3d"), 0);
  EXPECT_EQ(SetAnimKey(m), 0);
  EXPECT_EQ(AddAnimSeq(m), 0);
  EXPECT_EQ(TEntity::entity_list.Count(), entities);
  EXPECT_EQ(CountVertices(GetSurface(m, 1)), 24);
  EXPECT_EQ(VertexRed(GetSurface(m, 1), 0), 255);
}

}  // namespace
