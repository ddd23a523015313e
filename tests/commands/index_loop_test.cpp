// The loop every program writes over a long list, `for i = 1 to CountChildren(e):
// GetChild(e, i)`, and the same over surfaces: each index gives the right element
// after inserts, removals and EntityOrder changes, and the loop costs one link visited
// per index (counted, not timed), where a walk from the head for each index would
// visit the square of the count.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/commands/commands.h"
#include "engine/mesh/surface.h"
#include "support/engine_reset.h"

namespace {

using namespace velmora;

constexpr int kCount = 60000;

using IndexLoop = EngineTest;

// Runs the program's loop over the children, checking each against the model.
void ExpectChildren(const EntityPtr& parent, const std::vector<EntityPtr>& model, const std::string& after) {
  ASSERT_EQ(CountChildren(parent), int(model.size())) << after;
  const uint64_t visits = TEntity::List::links_indexed;
  for (int i = 1; i <= CountChildren(parent); ++i)
    ASSERT_EQ(GetChild(parent, i), model[size_t(i - 1)]) << after << ", child " << i;
  EXPECT_LE(TEntity::List::links_indexed - visits, model.size()) << after;
  EXPECT_EQ(GetChild(parent, 0), nullptr) << after;
  EXPECT_EQ(GetChild(parent, int(model.size()) + 1), nullptr) << after;
}

void ExpectSurfaces(const MeshPtr& mesh, const std::vector<SurfacePtr>& model, const std::string& after) {
  ASSERT_EQ(CountSurfaces(mesh), int(model.size())) << after;
  const uint64_t visits = TList<TSurface>::links_indexed;
  for (int i = 1; i <= CountSurfaces(mesh); ++i)
    ASSERT_EQ(GetSurface(mesh, i), model[size_t(i - 1)]) << after << ", surface " << i;
  EXPECT_LE(TList<TSurface>::links_indexed - visits, model.size()) << after;
  EXPECT_EQ(GetSurface(mesh, 0), nullptr) << after;
  EXPECT_EQ(GetSurface(mesh, int(model.size()) + 1), nullptr) << after;
}

TEST_F(IndexLoop, ChildrenByIndexAfterEveryChange) {
  EntityPtr root = CreatePivot(nullptr), elsewhere = CreatePivot(nullptr);
  std::vector<EntityPtr> model;
  for (int i = 0; i < kCount; ++i) model.push_back(i % 1000 == 0 ? EntityPtr(CreateMesh(root)) : EntityPtr(CreatePivot(root)));
  ExpectChildren(root, model, "creation");

  // Each change comes in the middle of a loop, after a read near where it lands.
  const struct {
    const char* what;
    int index;  // read just before the change
    void (*change)(const EntityPtr& root, const EntityPtr& elsewhere, std::vector<EntityPtr>& model, int index);
  } changes[] = {
      {"a child created", kCount,
       [](const EntityPtr& r, const EntityPtr&, std::vector<EntityPtr>& m, int) { m.push_back(CreatePivot(r)); }},
      {"the child read last freed", 30000,
       [](const EntityPtr&, const EntityPtr&, std::vector<EntityPtr>& m, int i) {
         FreeEntity(m[size_t(i - 1)]);
         m.erase(m.begin() + i - 1);
       }},
      {"a child before it moved away", 20000,
       [](const EntityPtr&, const EntityPtr& away, std::vector<EntityPtr>& m, int i) {
         EntityParent(m[size_t(i - 10)], away, 0);
         m.erase(m.begin() + i - 10);
       }},
      {"a child re-parented to the end", 40000,
       [](const EntityPtr& r, const EntityPtr&, std::vector<EntityPtr>& m, int i) {
         EntityPtr moved = m[size_t(i - 1)];
         EntityParent(moved, r, 1);
         m.erase(m.begin() + i - 1);
         m.push_back(moved);
       }},
      {"draw orders changed", 1000,
       [](const EntityPtr&, const EntityPtr&, std::vector<EntityPtr>& m, int i) {
         EntityOrder(m[size_t(i - 1)], 5);
         EntityOrder(m[size_t(i)], -3);
       }},
      {"the first freed", 1,
       [](const EntityPtr&, const EntityPtr&, std::vector<EntityPtr>& m, int) {
         FreeEntity(m.front());
         m.erase(m.begin());
       }},
  };
  for (const auto& c : changes) {
    ASSERT_EQ(GetChild(root, c.index), model[size_t(c.index - 1)]) << c.what;
    c.change(root, elsewhere, model, c.index);
    for (int i : {c.index - 1, c.index, c.index + 1}) {
      if (i < 1 || i > int(model.size())) continue;
      ASSERT_EQ(GetChild(root, i), model[size_t(i - 1)]) << c.what << ", child " << i;
    }
    ExpectChildren(root, model, c.what);
  }
}

TEST_F(IndexLoop, SurfacesByIndexAfterEveryChange) {
  MeshPtr mesh = CreateMesh(nullptr);
  std::vector<SurfacePtr> model;
  for (int i = 0; i < kCount; ++i) model.push_back(CreateSurface(mesh, nullptr));
  ExpectSurfaces(mesh, model, "creation");

  // Surfaces made in the middle of a loop, on the mesh and on a copy that shares its
  // surface list.
  for (int i = 1; i <= CountSurfaces(mesh); ++i) {
    ASSERT_EQ(GetSurface(mesh, i), model[size_t(i - 1)]) << "surface " << i;
    if (i % 15000 == 0) model.push_back(CreateSurface(mesh, nullptr));
  }
  ExpectSurfaces(mesh, model, "surfaces made in a loop");
  auto copy = std::static_pointer_cast<TMesh>(CopyEntity(mesh, nullptr));
  ASSERT_EQ(GetSurface(copy, 12345), model[12344]);
  model.push_back(CreateSurface(copy, nullptr));
  ExpectSurfaces(copy, model, "a surface made on a copy");
  EntityOrder(mesh, 2);
  ExpectSurfaces(mesh, model, "the mesh's order changed");
}

}  // namespace
