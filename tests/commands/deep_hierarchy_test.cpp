// A hierarchy of any depth through the commands: a chain of 200,000 pivots, driven on
// a thread with a 2 MiB stack, where a walk that recursed once per level would run out
// of stack some ten times over. Every command that walks the subtree gives its answer
// there: the deepest entity moves with the root, is found, takes the type, is picked
// out by the inspector, is copied and is freed.
#include <pthread.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "engine/commands/commands.h"
#include "engine/commands/debug_overlay.h"
#include "engine/mesh/bone.h"
#include "engine/scene/entity.h"
#include "support/b3d_samples.h"
#include "support/render_fixture.h"

namespace {

using namespace velmora;

constexpr int kDepth = 200000;
constexpr size_t kSmallStack = size_t{2} << 20;

// Runs `body` on a new thread with a 2 MiB stack and waits for it.
void OnSmallStack(const std::function<void()>& body) {
  pthread_attr_t attr;
  ASSERT_EQ(pthread_attr_init(&attr), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attr, kSmallStack), 0);
  pthread_t thread;
  auto run = [](void* arg) -> void* {
    (*static_cast<const std::function<void()>*>(arg))();
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attr, run, const_cast<std::function<void()>*>(&body)), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
}

struct Chain {
  EntityPtr root, deepest;
};

// Each pivot one unit along x from its parent, the deepest named.
Chain MakeChain() {
  Chain chain{CreatePivot(nullptr), nullptr};
  EntityPtr last = chain.root;
  for (int i = 0; i < kDepth; ++i) {
    last = CreatePivot(last);
    PositionEntity(last, 1, 0, 0, 0);
  }
  NameEntity(last, "deepest");
  chain.deepest = last;
  return chain;
}

using DeepHierarchy = RenderTest;

TEST_F(DeepHierarchy, EveryWalkOfTheSubtreeAnswersOnASmallStack) {
  OnSmallStack([] {
    // The deepest pivot's world place after each change at the root (or above it).
    EntityPtr above = CreatePivot(nullptr);
    PositionEntity(above, 0, 5, 0, 0);
    const struct {
      const char* command;
      std::function<void(const EntityPtr&)> run;
      float x, y, z;
    } moves[] = {
        {"PositionEntity", [](const EntityPtr& r) { PositionEntity(r, 3, 0, 0, 0); }, kDepth + 3.0f, 0, 0},
        {"MoveEntity", [](const EntityPtr& r) { MoveEntity(r, 0, 0, 2); }, kDepth + 3.0f, 0, 2},
        {"TranslateEntity", [](const EntityPtr& r) { TranslateEntity(r, -3, 0, -2, 0); }, kDepth, 0, 0},
        {"ScaleEntity", [](const EntityPtr& r) { ScaleEntity(r, 2, 2, 2, 0); }, 2.0f * kDepth, 0, 0},
        {"RotateEntity", [](const EntityPtr& r) { RotateEntity(r, 0, 90, 0, 0); }, 0, 0, 2.0f * kDepth},
        {"TurnEntity", [](const EntityPtr& r) { TurnEntity(r, 0, 90, 0, 0); }, -2.0f * kDepth, 0, 0},
        {"EntityParent", [&](const EntityPtr& r) { EntityParent(r, above, 0); }, -2.0f * kDepth, 5, 0},
    };
    Chain chain = MakeChain();
    for (const auto& m : moves) {
      m.run(chain.root);
      EXPECT_NEAR(EntityX(chain.deepest, 1), m.x, 1.0f) << m.command;
      EXPECT_NEAR(EntityY(chain.deepest, 1), m.y, 1.0f) << m.command;
      EXPECT_NEAR(EntityZ(chain.deepest, 1), m.z, 1.0f) << m.command;
    }

    EXPECT_EQ(FindChild(chain.root, "deepest"), chain.deepest);
    EXPECT_EQ(FindChild(chain.root, "nowhere"), nullptr);
    EntityType(chain.root, 7, 1);
    EXPECT_EQ(GetEntityType(chain.deepest), 7);
    EXPECT_EQ(TEntity::CountAllChildren(chain.root.get()), kDepth);
    int counter = 0;
    EXPECT_EQ(chain.root->GetChildFromAll(kDepth, counter), chain.deepest);

    // The inspector counts and numbers the descendants: the last number is the deepest.
    auto context = TOffscreenContext::Create(kRenderSize, kRenderSize);
    ASSERT_NE(context, nullptr);
    TDebug::cno = kDepth + 1;
    TDebug::DebugEntity(chain.root, nullptr);
    EXPECT_EQ(TDebug::cno, kDepth);
    EXPECT_EQ(chain.deepest->brush->green, 0.0f) << "the selection is red";

    // A bone at the bottom is found by the bone-list walk, and copied with the rest.
    auto bone = std::make_shared<TBone>();
    bone->class_name = "Bone";
    bone->AddParent(chain.deepest);
    bone->EntityListAdd(TEntity::entity_list);
    TList<TBone> bones;
    TMesh::CopyBonesList(chain.root.get(), bones);
    EXPECT_EQ(bones.Count(), 1u);
    EXPECT_EQ(bones.First(), bone);

    const size_t live = TEntity::entity_list.Count();
    EntityPtr copy = CopyEntity(chain.root, above);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(TEntity::entity_list.Count(), live + kDepth + 2) << "the root, the chain and the bone";
    EntityPtr copied_deepest = FindChild(copy, "deepest");
    ASSERT_NE(copied_deepest, nullptr);
    EXPECT_NE(copied_deepest, chain.deepest);
    EXPECT_NEAR(EntityX(copied_deepest, 1), EntityX(chain.deepest, 1), 1.0f);
    EXPECT_NEAR(EntityY(copied_deepest, 1), EntityY(chain.deepest, 1), 1.0f);
    EXPECT_NEAR(EntityZ(copied_deepest, 1), EntityZ(chain.deepest, 1), 1.0f);
    // Each copy joins the world list after its subtree, as the recursion made them:
    // the bone's copy first, the root's last.
    EXPECT_EQ(TEntity::entity_list.Last(), copy);
    EXPECT_EQ(TEntity::entity_list.ValueAtIndex(live)->EntityClass(), "Bone");
    EXPECT_EQ(TEntity::entity_list.ValueAtIndex(live + 1), copied_deepest);

    FreeEntity(copy);
    FreeEntity(above);
    EXPECT_TRUE(chain.deepest->IsFreed());
    EXPECT_TRUE(copied_deepest->IsFreed());
    EXPECT_TRUE(bone->IsFreed());
    EXPECT_EQ(TEntity::entity_list.Count(), 1u) << "the inspector's marker sphere stays";
  });
  Context().MakeCurrent();
}

// The copy walks the tree on its own stack, but makes the copies as the recursion did:
// each entity's copy is started before its children's (a light claims its slot then,
// so of two lights the first in tree order gets the last slot) and finished after them,
// which is when it joins the world list and its kind's list.
TEST_F(DeepHierarchy, CopiesAreMadeAndListedInTreeOrder) {
  EntityPtr r = CreatePivot(nullptr), a = CreatePivot(r), l1 = CreateLight(1, a), a1 = CreatePivot(l1);
  EntityPtr c = CreateCamera(a), b = CreatePivot(r), l2 = CreateLight(1, b), b1 = CreatePivot(l2);
  const std::pair<EntityPtr, const char*> names[] = {{r, "r"},   {a, "a"}, {l1, "l1"}, {a1, "a1"},
                                                     {c, "c"},   {b, "b"}, {l2, "l2"}, {b1, "b1"}};
  for (const auto& [e, name] : names) NameEntity(e, name);
  std::vector<LightPtr> others;
  while (TLight::no_lights < kMaxLights - 1) others.push_back(CreateLight(1, nullptr));

  const size_t before = TEntity::entity_list.Count();
  EntityPtr copy = CopyEntity(r, nullptr);
  ASSERT_NE(copy, nullptr);
  std::vector<std::string> listed;
  for (size_t i = before; i < TEntity::entity_list.Count(); ++i)
    listed.push_back(EntityName(TEntity::entity_list.ValueAtIndex(i)));
  EXPECT_EQ(listed, (std::vector<std::string>{"a1", "l1", "c", "a", "b", "r"})) << "l2 found no slot";
  EXPECT_EQ(EntityName(TLight::light_list.Last()), "l1");
  EXPECT_EQ(EntityName(TCamera::cam_list.Last()), "c");
  EXPECT_EQ(CountChildren(FindChild(copy, "b")), 0);
}

// Rigged models hung each on a bone of the one before: moving the first places every
// skeleton down the chain, and each placing reaches the next model's.
TEST_F(DeepHierarchy, AChainOfRiggedModelsFollowsItsRootOnASmallStack) {
  const std::string file = TestTempPath("rigged_chain.b3d");
  ASSERT_TRUE(SampleSkinnedModel().Save(file));
  OnSmallStack([&] {
    constexpr int kModels = 20000;
    const MeshPtr model = LoadAnimMesh(file, nullptr), root = LoadAnimMesh(file, nullptr);
    EntityPtr knee = FindChild(root, "knee");
    for (int i = 0; i < kModels; ++i) knee = FindChild(CopyEntity(model, knee), "knee");
    const float x = EntityX(knee, 1), y = EntityY(knee, 1), z = EntityZ(knee, 1);
    TranslateEntity(root, 1, 2, 3, 0);
    // Twenty thousand matrix products round on the way down.
    EXPECT_NEAR(EntityX(knee, 1), x + 1, 1e-2);
    EXPECT_NEAR(EntityY(knee, 1), y + 2, 1e-2);
    EXPECT_NEAR(EntityZ(knee, 1), z + 3, 1e-2);
    FreeEntity(root);
    FreeEntity(model);
  });
}

}  // namespace
