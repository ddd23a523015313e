// TOctree: building a mesh's tree (the split test, the eightfold split of a cell and the
// budgets that keep hostile meshes and limits from exhausting memory), and the two walks
// that picking and collision run over it.
#include "engine/collision/octree.h"

#include <algorithm>
#include <cmath>

#include "engine/collision/aabb.h"
#include "engine/collision/collision.h"
#include "engine/collision/pick.h"
#include "engine/collision/plane.h"
#include "engine/mesh/mesh.h"
#include "engine/mesh/surface.h"
#include "platform/runtime.h"

int TOctree::no_polys_mesh = 0;
int TOctree::no_polys_octree = 0;
int TOctree::no_polys_active = 0;

int TOctree::TestTris(const std::vector<TPolygon>& polys, int max_polys) {
  if (max_polys <= 0) return 1;
  if (polys.size() < size_t(max_polys)) return 0;  // cannot reach it
  std::vector<int> seen;
  seen.reserve(polys.size());
  for (const TPolygon& p : polys) seen.push_back(p.triangle);
  std::sort(seen.begin(), seen.end());
  const auto distinct = std::unique(seen.begin(), seen.end()) - seen.begin();
  return distinct >= max_polys ? 1 : 0;
}

// ---- Building -----------------------------------------------------------------------------

namespace {

// Limits and running counts of one build.
struct OctreeBuilder {
  int max_polys = 0;
  int max_levels = 0;
  long nodes = 1;          // the root
  long pieces = 0;         // polygons held: in leaves and in sets not yet built
  long piece_budget = 0;

  void Build(TOctree& node, std::vector<TPolygon> polys, int level) {
    if (Split(node, polys, level)) return;
    node.polygons = std::move(polys);
    TOctree::no_polys_octree += int(node.polygons.size());
  }

  // Splits the cell into eight children and builds them; false when it stays a leaf.
  bool Split(TOctree& node, std::vector<TPolygon>& polys, int level) {
    if (level + 1 > max_levels || level >= kMaxOctreeDepth) return false;
    if (nodes + 8 > kMaxOctreeNodes) return false;
    if (!TOctree::TestTris(polys, max_polys)) return false;

    // Normals point to the lower coordinate, so each plane's front is the low half.
    const TVector centre = TVector::Create(node.centre_x, node.centre_y, node.centre_z);
    const TPlane planes[3] = {TPlane::CreatePlane(centre, TVector::Create(-1, 0, 0)),
                              TPlane::CreatePlane(centre, TVector::Create(0, -1, 0)),
                              TPlane::CreatePlane(centre, TVector::Create(0, 0, -1))};
    // sets[i] by octant index: x, then y, then z decide bits 2, 1, 0 (front = low = 0).
    std::vector<TPolygon> sets[8];
    {  // the halves and quarters go before the children are built
      std::vector<TPolygon> halves[2], quarters[4];
      TPolygon::SplitPolygons(polys, planes[0], halves[0], halves[1]);
      for (int x = 0; x < 2; ++x)
        TPolygon::SplitPolygons(halves[x], planes[1], quarters[2 * x], quarters[2 * x + 1]);
      for (int q = 0; q < 4; ++q) TPolygon::SplitPolygons(quarters[q], planes[2], sets[2 * q], sets[2 * q + 1]);
    }

    long made = 0;
    for (const auto& s : sets) made += long(s.size());
    if (pieces - long(polys.size()) + made > piece_budget) return false;
    pieces += made - long(polys.size());
    std::vector<TPolygon>().swap(polys);  // the inner node keeps none

    nodes += 8;
    node.children.resize(8);
    for (int i = 0; i < 8; ++i) {
      TOctree& child = node.children[size_t(i)];
      child.width = node.width / 2, child.height = node.height / 2, child.depth = node.depth / 2;
      child.centre_x = node.centre_x + (i & 4 ? node.width : -node.width) / 4;
      child.centre_y = node.centre_y + (i & 2 ? node.height : -node.height) / 4;
      child.centre_z = node.centre_z + (i & 1 ? node.depth : -node.depth) / 4;
      Build(child, std::move(sets[i]), level + 1);
    }
    return true;
  }
};

}  // namespace

int TOctree::CreateOctree(const MeshPtr& mesh, int max_polys, int max_levels) {
  max_polys = std::max(max_polys, 0);
  max_levels = std::max(max_levels, 0);
  if (max_polys == 0 && max_levels == 0) {
    RuntimeError("Octree cannot be created - max_polys or max_levels must be greater than 0");
    return 0;
  }
  if (!mesh) return 0;
  std::vector<TPolygon> polys = TPolygon::MeshToPolygons(*mesh);
  const int count = int(std::min(polys.size(), size_t(1) << 30));

  auto root = std::make_shared<TOctree>();
  root->width = mesh->MeshWidth();
  root->height = mesh->MeshHeight();
  root->depth = mesh->MeshDepth();
  root->centre_x = mesh->bounds_min_x + root->width / 2;
  root->centre_y = mesh->bounds_min_y + root->height / 2;
  root->centre_z = mesh->bounds_min_z + root->depth / 2;

  OctreeBuilder builder;
  builder.max_polys = max_polys;
  builder.max_levels = max_levels == 0 ? kOctreeUnlimitedLevels : max_levels;
  builder.pieces = long(polys.size());
  builder.piece_budget = long(polys.size()) * kOctreePiecesPerTriangle + kOctreePieceAllowance;
  builder.Build(*root, std::move(polys), 0);

  mesh->octree = std::move(root);
  no_polys_mesh = count;
  return 0;
}

// ---- Walks ----------------------------------------------------------------------------------

void TOctree::OctPick(const TVector& p0, const TVector& p1, TMesh& mesh, float& best, float& best_box_time) const {
  float t;
  TVector point;
  if (!TPick::IntersectSegmentAABB(p0, p1, centre_x - width / 2, centre_y - height / 2, centre_z - depth / 2, width,
                                   height, depth, t, point))
    return;
  if (!(t < best_box_time)) return;
  if (!IsLeaf()) {
    for (const TOctree& child : children) child.OctPick(p0, p1, mesh, best, best_box_time);
    return;
  }
  // Pieces are cut to their cell, so a hit here lies at or after t: a later cell entered
  // no earlier than t cannot hold a nearer one.
  if (TPick::PickPolys(p0, p1, polygons, mesh, best)) best_box_time = t;
}

void TOctree::OctCollision(TCollisionPacket& packet) const {
  AABB box;
  box.min_corner[0] = centre_x - width / 2, box.max_corner[0] = centre_x + width / 2;
  box.min_corner[1] = centre_y - height / 2, box.max_corner[1] = centre_y + height / 2;
  box.min_corner[2] = centre_z - depth / 2, box.max_corner[2] = centre_z + depth / 2;
  if (!AABB::AABBAABBIntersection(packet.sweep_box, box)) return;
  if (!IsLeaf()) {
    for (const TOctree& child : children) child.OctCollision(packet);
    return;
  }
  no_polys_active += int(polygons.size());
  TCollision::PolysCheckCollision(packet, polygons);
}

void TOctree::HighlightTris() const {
  for (const TPolygon& p : polygons) {
    if (!p.surface) continue;
    for (int corner = 0; corner < 3; ++corner)
      p.surface->VertexColor(p.surface->TriangleVertex(p.triangle, corner), 255, 0, 0, 1);
  }
}
