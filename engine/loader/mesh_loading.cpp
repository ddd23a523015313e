// Loading models as hierarchies or as one static mesh, and collapsing a hierarchy
// into one mesh whose surfaces carry every part's world transform.
#include <string>

#include "engine/loader/b3d_reader.h"
#include "engine/mesh/bone.h"
#include "engine/mesh/mesh.h"
#include "platform/file.h"

namespace {

// A request for a ".3ds" model is served from the ".b3d" file of the same name: every
// ".3ds" in the name becomes ".b3d". Only the exact lower-case ending counts.
std::string ModelFileName(std::string file) {
  const std::string from = ".3ds", to = ".b3d";
  if (file.size() < from.size() || file.compare(file.size() - from.size(), from.size(), from) != 0)
    return file;
  for (size_t at = file.find(from); at != std::string::npos; at = file.find(from, at + to.size())) {
    file.replace(at, from.size(), to);
  }
  return file;
}

// Copies the mesh's surfaces into a fresh mesh, moves the copy by the mesh's world
// matrix and merges it into target; the loaded mesh stays as it was.
void MergeTransformed(const TMesh& mesh, const MeshPtr& target) {
  auto copy = std::make_shared<TMesh>();
  mesh.AddMesh(copy);
  copy->TransformMesh(mesh.matrix);
  copy->AddMesh(target);
}

// Frees an entity and its subtree whatever its kind: a bone's own FreeEntity does
// nothing, since bones normally go with their mesh.
void FreeTree(const EntityPtr& entity) { entity->TEntity::FreeEntity(); }

}  // namespace

MeshPtr TMesh::LoadAnimMesh(const std::string& file, const EntityPtr& parent) {
  const std::string name = ModelFileName(file);
  if (FileType(name) == kFileNone) return CreateCube(nullptr);  // parent unused on purpose
  return TModel::LoadAnimB3D(name, parent);
}

MeshPtr TMesh::LoadMesh(const std::string& file, const EntityPtr& parent) {
  const std::string name = ModelFileName(file);
  // Without a parent, each part's world matrix is its transform in the model's space.
  TModelParts parts;
  if (FileType(name) == kFileNone) {
    parts.root = CreateCube(nullptr);
    parts.top_level.push_back(parts.root);
  } else {
    parts = TModel::LoadB3D(name, nullptr);
  }

  auto result = std::make_shared<TMesh>();
  // A model whose root is a bone gives an empty mesh. Otherwise every top-level part
  // is merged, the root first, so a file with two top-level nodes loses neither.
  if (std::dynamic_pointer_cast<TMesh>(parts.root)) {
    for (const EntityPtr& part : parts.top_level) {
      if (auto mesh = std::dynamic_pointer_cast<TMesh>(part)) {
        mesh->CollapseAnimMesh(result);
      } else {
        CollapseChildren(part.get(), result);
      }
    }
  }
  for (const EntityPtr& part : parts.top_level) FreeTree(part);

  result->class_name = "Mesh";
  result->AddParent(parent);
  result->EntityListAdd(entity_list);
  if (result->parent) {
    result->UpdateMat(0);  // AddParent copied the parent's matrix
  } else {
    result->UpdateMat(1);
  }
  return result;
}

MeshPtr TMesh::CollapseAnimMesh(MeshPtr target) {
  if (!target) target = std::make_shared<TMesh>();
  MergeTransformed(*this, target);
  return CollapseChildren(this, target);
}

MeshPtr TMesh::CollapseChildren(const TEntity* entity, MeshPtr target) {
  // Depth first, each mesh before its children; bones add nothing but may hold meshes.
  for (const EntityPtr& child : entity->children) {
    if (const auto* mesh = dynamic_cast<const TMesh*>(child.get())) MergeTransformed(*mesh, target);
    target = CollapseChildren(child.get(), target);
  }
  return target;
}
