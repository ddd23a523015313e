// libFuzzer target for the B3D model reader. Any bytes are loaded from memory (texture
// entries stay empty, so no name in the bytes reaches the disk), with the fatal handler
// throwing; what loads then goes through what programs do next: collapsing into one
// static mesh and posing every skinned mesh. Everything is freed before the next input.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/loader/b3d_reader.h"
#include "engine/mesh/animation.h"
#include "engine/mesh/mesh.h"
#include "engine/scene/entity.h"
#include "platform/runtime.h"

namespace {

// Frees every entity, roots first; a bone at the root needs the base free (its own
// FreeEntity does nothing).
void FreeWorld() {
  while (!TEntity::entity_list.IsEmpty()) {
    EntityPtr e = TEntity::entity_list.First();
    while (e->parent) e = e->GetParent();
    const size_t before = TEntity::entity_list.Count();
    e->TEntity::FreeEntity();
    if (TEntity::entity_list.Count() == before)
      TEntity::entity_list.RemoveLink(TEntity::entity_list.FirstLink());
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  SetFatalHandler(ThrowFatalError);
  SetDebugSink([](const std::string&) {});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    const TModelParts parts =
        TModel::LoadB3DFromMemory(std::vector<uint8_t>(data, data + size), nullptr, false);
    auto collapsed = std::make_shared<TMesh>();
    for (const EntityPtr& part : parts.top_level) {
      if (auto mesh = std::dynamic_pointer_cast<TMesh>(part)) mesh->CollapseAnimMesh(collapsed);
    }
    std::vector<MeshPtr> animated;
    for (const EntityPtr& e : TEntity::entity_list) {
      auto mesh = std::dynamic_pointer_cast<TMesh>(e);
      if (mesh && mesh->animated) animated.push_back(mesh);
    }
    for (const MeshPtr& mesh : animated) {
      const int last = mesh->seq_last.empty() ? 0 : mesh->seq_last[0];
      TAnimation::AnimateMesh(mesh, 1.5f, 0, last);
      TAnimation::AnimateMesh2(mesh, 0.5f, 0, last);
    }
  } catch (const FatalError&) {
    // "Invalid b3d file" and its version twin are answers, not findings.
  }
  FreeWorld();
  return 0;
}
