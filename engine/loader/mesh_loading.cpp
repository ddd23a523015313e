// Loading models as hierarchies or as one static mesh, and collapsing a hierarchy
// into one mesh whose surfaces carry every part's world transform.
#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "engine/loader/b3d_reader.h"
#include "engine/mesh/bone.h"
#include "engine/mesh/brush.h"
#include "engine/mesh/mesh.h"
#include "engine/mesh/surface.h"
#include "engine/scene/subtree_walk.h"
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

// The array holding the first `count` slots of the source, as the accessors read them: a
// slot the source holds only in part reads as zeros, one past its end too.
template <typename T>
std::vector<T> TakeSlots(std::vector<T>& source, int count, std::size_t stride, bool whole_slots) {
  std::vector<T> array = std::move(source);
  const std::size_t held = whole_slots ? array.size() / stride * stride : array.size();
  array.resize(std::min(held, std::size_t(count) * stride));
  array.resize(std::size_t(count) * stride);
  return array;
}

// MergeTransformed for a mesh that is to be freed, into a target without surfaces: each
// surface's arrays move to a new target surface and are transformed in place, where the
// copy would add them vertex by vertex to a copy, transform that, and add it again. The
// target's surfaces hold what the copies would give them bit for bit; their arrays end
// at the counts, as the model reader leaves a surface (capacity 1: the next add grows
// them to what the adds would have made), not padded to a power of two.
void TakeOverTransformed(TMesh& mesh, TMesh& target) {
  const auto& g = mesh.matrix.grid;
  std::vector<SurfacePtr> sources;
  for (const SurfacePtr& s : *mesh.surfaces) sources.push_back(s);
  for (const SurfacePtr& s1 : sources) {
    const SurfacePtr s2 = target.CreateSurface(nullptr);
    if (s1->brush) s2->brush = s1->brush->Copy();
    const int vertices = s1->CountVertices(), triangles = s1->CountTriangles();
    if (vertices > 0) {
      s2->vertex_count = vertices;
      s2->vertex_positions = TakeSlots(s1->vertex_positions, vertices, 3, true);
      s2->vertex_uv0 = TakeSlots(s1->vertex_uv0, vertices, 2, true);
      s2->vertex_uv1 = TakeSlots(s1->vertex_uv1, vertices, 2, true);
      s2->vertex_normals = TakeSlots(s1->vertex_normals, vertices, 3, true);
      s2->vertex_colours = TakeSlots(s1->vertex_colours, vertices, 4, true);
      for (int v = 0; v < vertices; ++v) {
        // Stored-space point and direction, as TransformMesh forms them.
        float* p = &s2->vertex_positions[std::size_t(v) * 3];
        const float x = p[0], y = p[1], z = p[2];
        const TVector q = TransformPoint(mesh.matrix, x, y, z);
        p[0] = q.x, p[1] = q.y, p[2] = q.z;
        float* n = &s2->vertex_normals[std::size_t(v) * 3];
        const float nx = n[0], ny = n[1], nz = n[2];
        n[0] = g[0][0] * nx + g[1][0] * ny + g[2][0] * nz;
        n[1] = g[0][1] * nx + g[1][1] * ny + g[2][1] * nz;
        n[2] = g[0][2] * nx + g[1][2] * ny + g[2][2] * nz;
      }
    }
    if (triangles > 0) {  // corners read one by one: a corner past the table reads as 0
      s2->triangle_count = triangles;
      s2->triangle_indices = TakeSlots(s1->triangle_indices, triangles, 3, false);
      s2->highest_triangle_vertex = s1->highest_triangle_vertex;  // the same indices
      s2->geometry_changed = 1;
    }
  }
  target.bounds_stale = 1;
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
  auto single = parts.top_level.size() == 1 ? MeshOf(parts.top_level[0]) : nullptr;
  if (single && single == parts.root && single->children.IsEmpty()) {
    TakeOverTransformed(*single, *result);  // one mesh: its arrays are freed right after
  } else if (parts.root && parts.root->AsMesh()) {
    for (const EntityPtr& part : parts.top_level) {
      if (auto mesh = MeshOf(part)) {
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
  for (SubtreeWalk walk(entity); walk.Next(); walk.Descend()) {
    const EntityPtr& child = walk.Current();
    if (const TMesh* mesh = child->AsMesh()) MergeTransformed(*mesh, target);
  }
  return target;
}
