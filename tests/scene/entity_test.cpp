// Entity transforms, hierarchy, world list, copy and free, through the public getters.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "engine/mesh/bone.h"
#include "engine/scene/entity.h"
#include "support/engine_reset.h"

namespace {

using EntityCore = EngineTest;

constexpr float kEps = 1e-4f;

struct Vec3 {
  float x, y, z;
};

Vec3 WorldPos(const EntityPtr& e) { return {e->EntityX(1), e->EntityY(1), e->EntityZ(1)}; }

void ExpectNear3(Vec3 got, Vec3 want, float eps = kEps) {
  EXPECT_NEAR(got.x, want.x, eps);
  EXPECT_NEAR(got.y, want.y, eps);
  EXPECT_NEAR(got.z, want.z, eps);
}

std::vector<TEntity*> WorldList() {
  std::vector<TEntity*> out;
  for (const EntityPtr& e : TEntity::entity_list) out.push_back(e.get());
  return out;
}

TEST_F(EntityCore, StoresZAndPitchNegated) {
  PivotPtr e = TPivot::CreatePivot();
  e->PositionEntity(1, 2, 3);
  EXPECT_EQ(e->pos_z, -3);
  EXPECT_EQ(e->EntityZ(0), 3);
  EXPECT_EQ(e->EntityZ(1), 3);
  EXPECT_EQ(e->matrix.grid[3][2], -3);

  e->RotateEntity(30, 0, 0);
  EXPECT_EQ(e->pitch, -30);
  EXPECT_EQ(e->EntityPitch(0), 30);
  EXPECT_NEAR(e->EntityPitch(1), 30, kEps);

  // Any non-zero flag reads world values; only exactly 1 sets them.
  PivotPtr parent = TPivot::CreatePivot();
  parent->PositionEntity(10, 0, 0);
  e->EntityParent(parent, 0);
  e->PositionEntity(1, 0, 0, 2);
  EXPECT_EQ(e->EntityX(0), 1);
  EXPECT_NEAR(e->EntityX(2), 11, kEps);
}

TEST_F(EntityCore, WorldAngleSnapping) {
  PivotPtr e = TPivot::CreatePivot();
  e->matrix.LoadIdentity();
  e->matrix.grid[2][0] = 0.00005f;  // snapped before ATan2
  EXPECT_EQ(e->EntityYaw(1), 0);
  e->matrix.LoadIdentity();
  e->matrix.grid[2][1] = 0.00005f;  // pitch snaps the angle, which is about 0.0029 degrees
  EXPECT_NEAR(e->EntityPitch(1), 0.0029, 1e-4);
}

TEST_F(EntityCore, ChildFollowsRotatedScaledParent) {
  PivotPtr parent = TPivot::CreatePivot();
  parent->PositionEntity(5, 0, 0);
  parent->RotateEntity(0, 90, 0);
  parent->ScaleEntity(2, 2, 2);
  PivotPtr child = TPivot::CreatePivot(parent);
  child->PositionEntity(0, 0, 1);  // one unit ahead in the parent's frame: yaw 90 faces -x
  ExpectNear3(WorldPos(child), {3, 0, 0});

  // Global placement undoes the parent's transform.
  child->PositionEntity(7, 1, 2, 1);
  ExpectNear3(WorldPos(child), {7, 1, 2});

  // Moving the parent carries the child.
  parent->TranslateEntity(0, 0, 10);
  ExpectNear3(WorldPos(child), {7, 1, 12});
}

TEST_F(EntityCore, MoveAndTranslate) {
  PivotPtr e = TPivot::CreatePivot();
  e->RotateEntity(0, 90, 0);
  e->MoveEntity(0, 0, 1);  // along its own +z, which yaw 90 turns to -x
  ExpectNear3(WorldPos(e), {-1, 0, 0});
  e->TranslateEntity(0, 0, 1);  // in the parent's (world) axes
  ExpectNear3(WorldPos(e), {-1, 0, 1});

  PivotPtr parent = TPivot::CreatePivot();
  parent->RotateEntity(0, 90, 0);
  PivotPtr child = TPivot::CreatePivot(parent);
  child->TranslateEntity(0, 0, 1, 1);  // world axes
  ExpectNear3(WorldPos(child), {0, 0, 1});
  child->TranslateEntity(0, 0, 1, 0);  // parent axes
  ExpectNear3(WorldPos(child), {-1, 0, 1});
}

TEST_F(EntityCore, GlobalScaleAndRotation) {
  PivotPtr a = TPivot::CreatePivot();
  a->ScaleEntity(2, 2, 2);
  PivotPtr b = TPivot::CreatePivot(a);
  b->ScaleEntity(2, 2, 2);
  PivotPtr c = TPivot::CreatePivot(b);
  c->ScaleEntity(2, 2, 2, 1);
  EXPECT_FLOAT_EQ(c->scale_x, 0.5f);
  EXPECT_FLOAT_EQ(c->EntityScaleX(1), 2.0f);

  PivotPtr root = TPivot::CreatePivot();
  root->RotateEntity(30, 0, 0);
  PivotPtr child = TPivot::CreatePivot(root);
  child->RotateEntity(0, 45, 0, 1);
  EXPECT_NEAR(child->EntityPitch(1), 0, 1e-3);
  EXPECT_NEAR(child->EntityYaw(1), 45, 1e-3);
  EXPECT_NEAR(child->EntityRoll(1), 0, 1e-3);
  EXPECT_NEAR(child->EntityPitch(0), -20.7, 0.05);
  EXPECT_NEAR(child->EntityYaw(0), 49.1, 0.05);
  EXPECT_NEAR(child->EntityRoll(0), 22.2, 0.05);

  // A global turn adds to the local angles, like a local one.
  PivotPtr t1 = TPivot::CreatePivot(root), t2 = TPivot::CreatePivot(root);
  t1->TurnEntity(0, 10, 0, 1);
  t2->TurnEntity(0, 10, 0, 0);
  EXPECT_EQ(t1->EntityYaw(0), t2->EntityYaw(0));
}

TEST_F(EntityCore, PointEntity) {
  struct Case {
    Vec3 target;
    float pitch, yaw;
  } cases[] = {
      {{0, 0, 10}, 0, 0},
      {{10, 0, 0}, 0, -90},
      {{0, 10, 0}, -90, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "target " << c.target.x << "," << c.target.y << "," << c.target.z);
    PivotPtr e = TPivot::CreatePivot();
    PivotPtr t = TPivot::CreatePivot();
    t->PositionEntity(c.target.x, c.target.y, c.target.z);
    e->PointEntity(t);
    EXPECT_NEAR(e->EntityPitch(1), c.pitch, 1e-3);
    if (c.pitch == 0) {
      EXPECT_NEAR(e->EntityYaw(1), c.yaw, 1e-3);
    }
  }
  PivotPtr e = TPivot::CreatePivot();
  e->PointEntity(nullptr);  // nothing to face: nothing happens
  EXPECT_EQ(e->EntityYaw(0), 0);
}

TEST_F(EntityCore, EntityParentKeepsOrMovesWorldTransform) {
  PivotPtr p = TPivot::CreatePivot();
  p->PositionEntity(10, 0, 0);

  PivotPtr moved = TPivot::CreatePivot();
  moved->PositionEntity(5, 0, 0);
  moved->EntityParent(p, 0);
  EXPECT_NEAR(moved->EntityX(1), 15, kEps);

  PivotPtr kept = TPivot::CreatePivot();
  kept->PositionEntity(5, 0, 0);
  kept->EntityParent(p, 1);
  EXPECT_NEAR(kept->EntityX(1), 5, kEps);
  EXPECT_NEAR(kept->EntityX(0), -5, kEps);
  EXPECT_EQ(p->GetChild(2), kept);

  // Back to the root: the world transform stays, now as local values.
  kept->EntityParent(nullptr, 0);
  EXPECT_EQ(kept->GetParent(), nullptr);
  EXPECT_NEAR(kept->EntityX(0), 5, kEps);
  EXPECT_EQ(p->CountChildren(), 1);

  // Re-parenting to the same parent moves the entity to the end of its child list.
  PivotPtr second = TPivot::CreatePivot(p);
  moved->EntityParent(p, 1);
  EXPECT_EQ(p->GetChild(1), second);
  EXPECT_EQ(p->GetChild(2), moved);
}

TEST_F(EntityCore, EntityParentRefusesCycles) {
  PivotPtr a = TPivot::CreatePivot();
  PivotPtr b = TPivot::CreatePivot(a);
  PivotPtr c = TPivot::CreatePivot(b);
  a->EntityParent(c, 1);
  a->EntityParent(a, 1);
  EXPECT_EQ(a->GetParent(), nullptr);
  EXPECT_EQ(c->CountChildren(), 0);
  EXPECT_EQ(TEntity::CountAllChildren(a.get()), 2);
}

TEST_F(EntityCore, WorldListOrder) {
  struct Item {
    const char* name;
    int order;
  } items[] = {{"z1", 0}, {"two_a", 2}, {"z2", 0}, {"three", 3}, {"two_b", 2},
               {"m1", -1}, {"m2", -2}, {"z3", 0}, {"m1b", -1}};
  for (const Item& it : items) {
    PivotPtr e = std::make_shared<TPivot>();
    e->name = it.name;
    e->order = it.order;
    e->EntityListAdd(TEntity::entity_list);
  }
  std::vector<std::string> got;
  for (TEntity* e : WorldList()) got.push_back(e->name);
  const std::vector<std::string> want = {"three", "two_b", "two_a", "z1", "z2", "z3", "m1", "m1b", "m2"};
  EXPECT_EQ(got, want);

  // EntityOrder on a non-camera keeps its place.
  TEntity::entity_list.First()->EntityOrder(-5);
  EXPECT_EQ(WorldList().front()->name, "three");
}

TEST_F(EntityCore, FreeRemovesSubtreeFromEveryList) {
  PivotPtr root = TPivot::CreatePivot();
  PivotPtr parent = TPivot::CreatePivot(root);
  PivotPtr c1 = TPivot::CreatePivot(parent);
  PivotPtr c2 = TPivot::CreatePivot(parent);
  auto bone = std::make_shared<TBone>();
  bone->AddParent(c2);
  bone->EntityListAdd(TEntity::entity_list);

  bone->FreeEntity();  // on its own a bone stays
  EXPECT_EQ(TEntity::entity_list.Count(), 5u);

  parent->FreeEntity();
  EXPECT_EQ(WorldList(), std::vector<TEntity*>{root.get()});
  EXPECT_EQ(root->CountChildren(), 0);
  EXPECT_TRUE(c1->IsFreed());
  EXPECT_TRUE(bone->IsFreed());

  // A freed handle stays safe: freeing again, re-parenting and copying do nothing.
  parent->FreeEntity();
  c1->EntityParent(root, 1);
  EXPECT_EQ(root->CountChildren(), 0);
  EXPECT_EQ(c1->CopyEntity(nullptr), nullptr);
  c1->PositionEntity(1, 2, 3);
  EXPECT_EQ(TEntity::entity_list.Count(), 1u);
}

// Freeing is linear in the subtree: a wide parent's children do not search its child
// list one by one, a deep chain does not recurse, and a child leaving by itself or
// through EntityParent finds its place without a search.
TEST_F(EntityCore, FreeCostIsLinearInTheSubtree) {
  constexpr int kWide = 4000, kDeep = 100000;
  struct Case {
    const char* what;
    bool chain;
    int count;
  } cases[] = {{"wide", false, kWide}, {"deep", true, kDeep}};
  for (const Case& c : cases) {
    ResetEngine();
    PivotPtr root = TPivot::CreatePivot();
    PivotPtr last = root;
    for (int i = 0; i < c.count; ++i) {
      PivotPtr p = TPivot::CreatePivot(c.chain ? last : root);
      last = p;
    }
    const uint64_t searched = TEntity::List::links_searched;
    last->FreeEntity();  // a leaf leaves its parent alone
    root->FreeEntity();
    EXPECT_EQ(TEntity::List::links_searched - searched, 0u) << c.what;
    EXPECT_EQ(TEntity::entity_list.Count(), 0u) << c.what;
    EXPECT_EQ(root->CountChildren(), 0) << c.what;
  }

  PivotPtr a = TPivot::CreatePivot(), b = TPivot::CreatePivot();
  std::vector<PivotPtr> kids;
  for (int i = 0; i < 3; ++i) kids.push_back(TPivot::CreatePivot(a));
  kids[1]->EntityParent(b, 0);
  kids[0]->FreeEntity();
  EXPECT_EQ(a->CountChildren(), 1);
  EXPECT_EQ(a->GetChild(1), kids[2]);
  ASSERT_EQ(b->CountChildren(), 1);
  kids[1]->EntityParent(nullptr, 0);
  EXPECT_EQ(b->CountChildren(), 0);
  b->FreeEntity();
  EXPECT_FALSE(kids[1]->IsFreed()) << "no longer below b";
}

TEST_F(EntityCore, CopyHasCorrectWorldMatricesAtOnce) {
  PivotPtr holder = TPivot::CreatePivot();
  holder->PositionEntity(0, 5, 0);
  PivotPtr src = TPivot::CreatePivot();
  src->PositionEntity(1, 0, 0);
  src->RotateEntity(0, 90, 0);
  src->NameEntity("src");
  src->HideEntity();
  src->EntityRadius(3);
  PivotPtr kid = TPivot::CreatePivot(src);
  kid->PositionEntity(0, 0, 2);
  PivotPtr grandkid = TPivot::CreatePivot(kid);
  grandkid->PositionEntity(0, 1, 0);

  EntityPtr copy = src->CopyEntity(holder);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->GetParent(), holder);
  EXPECT_EQ(copy->EntityName(), "src");
  EXPECT_EQ(copy->hidden, 0);
  EXPECT_EQ(copy->radius_x, 3);
  EXPECT_EQ(copy->collision_type, 0);
  EXPECT_NE(copy->brush, src->brush);
  // The copy's local values act under its new parent, and its child is placed under it.
  ExpectNear3(WorldPos(copy), {1, 5, 0});
  ASSERT_EQ(copy->CountChildren(), 1);
  ExpectNear3(WorldPos(copy->GetChild(1)), {-1, 5, 0});
  ExpectNear3(WorldPos(copy->GetChild(1)->GetChild(1)), {-1, 6, 0});
  EXPECT_EQ(TEntity::entity_list.Count(), 7u);
}

// A copy enters the world list at order 0, like any new entity, whatever order it takes
// over: right behind the last entity of order 0 or more, as a later entity would stand.
TEST_F(EntityCore, CopyJoinsWorldListAtOrderZero) {
  const int orders[] = {3, 0, -1};
  for (int order : orders) {
    SCOPED_TRACE("order " + std::to_string(order));
    PivotPtr src = TPivot::CreatePivot();
    src->EntityOrder(order);
    PivotPtr later = TPivot::CreatePivot();
    EntityPtr copy = src->CopyEntity(nullptr);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->order, order);
    const std::vector<TEntity*> list = WorldList();
    const auto at = std::find(list.begin(), list.end(), later.get());
    ASSERT_NE(at, list.end());
    ASSERT_NE(at + 1, list.end());
    EXPECT_EQ(at[1], copy.get());
  }
}

TEST_F(EntityCore, CreatePivotUnderParentAndHidden) {
  PivotPtr p = TPivot::CreatePivot();
  p->PositionEntity(1, 2, 3);
  p->RotateEntity(0, 30, 0);
  PivotPtr c = TPivot::CreatePivot(p);
  ExpectNear3(WorldPos(c), {1, 2, 3});
  EXPECT_NEAR(c->EntityYaw(1), 30, 1e-3);
  EXPECT_EQ(c->EntityClass(), "Pivot");
  p->HideEntity();
  EXPECT_EQ(c->EntityHidden(), 1);
  EXPECT_EQ(c->hidden, 0);
  p->ShowEntity();
  EXPECT_EQ(c->EntityHidden(), 0);
}

}  // namespace
