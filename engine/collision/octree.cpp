// TOctree's queries: the walks that picking and collision run over a built tree, choosing
// the mesh's triangles for the pick and sweep tests, and the debugging highlight. The
// build is in octree_build.cpp.
#include "engine/collision/octree.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <utility>
#include <vector>

#include "engine/collision/aabb.h"
#include "engine/collision/collision.h"
#include "engine/collision/octree_storage.h"
#include "engine/collision/pick.h"
#include "engine/mesh/surface.h"

int TOctree::no_polys_mesh = 0;
int TOctree::no_polys_octree = 0;
int TOctree::no_polys_active = 0;

// ---- Walks ----------------------------------------------------------------------------------

void TOctreeTriangles::PrepareQueries() {
  constexpr size_t kChosenRoom = 4096;  // triangles a query usually chooses, at most
  seen_.reset(static_cast<uint32_t*>(std::calloc(std::max<size_t>(whole.size(), 1), sizeof(uint32_t))));
  if (!seen_) throw std::bad_alloc();
  query_ = 0;
  chosen_.reserve(std::min(whole.size(), kChosenRoom));
}

void TOctreeTriangles::BeginQuery() const {
  if (++query_ == 0) {  // wrapped: no triangle may look seen
    std::fill(seen_.get(), seen_.get() + whole.size(), 0u);
    query_ = 1;
  }
}

void TOctreeTriangles::ChooseUnseen(const TLeafPolygons& leaf, std::vector<uint32_t>& chosen) const {
  for (const uint32_t number : leaf.Numbers())
    if (FirstVisit(number)) chosen.push_back(number);
}

std::span<uint32_t> TOctreeTriangles::ChooseLeaf(const TLeafPolygons& leaf) const {
  std::vector<uint32_t>& chosen = Chosen();
  chosen.clear();
  BeginQuery();
  ChooseUnseen(leaf, chosen);
  return chosen;
}

const TOctreeTriangles* TLeafPolygons::Triangles() const { return store ? store->triangles.get() : nullptr; }

const TOctreeTriangles* TOctree::Triangles() const {
  const TOctree* node = this;
  while (!node->IsLeaf()) node = &node->children[0];
  return node->polygons.Triangles();
}

void TLeafPolygons::CountNumbers() const {
  const TOctreeTriangles* triangles = Triangles();
  int32_t count = 0;
  uint32_t last = 0;
  for (const TPolygonPiece& p : pieces) {
    const uint32_t number = triangles->Number(p);
    if (count > 0 && number == last) continue;
    number_room[count++] = last = number;
  }
  number_count_ = count;
}

namespace {

// A pick's hit time and a cell's entry time round differently, so a cell is searched
// until its entry time passes the best hit by this much.
constexpr float kPickTimeSlack = 1.0f / 4096;

// The node's cell grown by margin on every side, as a lower corner and a size.
struct GrownCell {
  float min[3], size[3];
  GrownCell(const TOctree& node, float margin)
      : min{node.centre_x - node.width / 2 - margin, node.centre_y - node.height / 2 - margin,
            node.centre_z - node.depth / 2 - margin},
        size{node.width + 2 * margin, node.height + 2 * margin, node.depth + 2 * margin} {}
  AABB Box() const {
    AABB box;
    for (int i = 0; i < 3; ++i) box.min_corner[i] = min[i], box.max_corner[i] = min[i] + size[i];
    return box;
  }
};

// Every triangle of the table, in order: for a tree whose cells cannot be trusted.
void ChooseAll(const TOctreeTriangles& triangles, std::vector<uint32_t>& chosen) {
  chosen.resize(triangles.whole.size());
  for (size_t i = 0; i < chosen.size(); ++i) chosen[i] = uint32_t(i);
}

struct PickQuery {
  const TVector& a;
  const TVector& b;
  const TSegmentBoxTest& segment;
  const TOctreeTriangles& triangles;
  TTriangleChoice& choice;
  float& bound;  // cells entered after this are not searched
};

// The children are searched in the order the segment enters them, so that the nearest
// hit comes early and bounds the rest; the choice does not depend on the order.
void PickWalk(const TOctree& node, float t, PickQuery& q) {
  if (!(t <= q.bound)) return;
  if (node.IsLeaf()) {
    std::vector<uint32_t>& chosen = q.triangles.Chosen();
    chosen.clear();
    q.triangles.ChooseUnseen(node.polygons, chosen);
    if (chosen.empty()) return;
    TPick::PickTriangles(q.a, q.b, q.triangles, chosen, q.choice);
    if (q.choice.found) q.bound = std::min(q.bound, q.choice.time + kPickTimeSlack);
    return;
  }
  std::pair<float, const TOctree*> met[8];
  int count = 0;
  for (size_t i = 0; i < node.children.size() && i < 8; ++i) {
    const GrownCell cell(node.children[i], q.triangles.margin);
    float entry, along;
    if (!q.segment.Hit(cell.min[0], cell.min[1], cell.min[2], cell.size[0], cell.size[1], cell.size[2], entry,
                       along) ||
        !(entry <= q.bound))
      continue;
    int at = count++;
    for (; at > 0 && met[at - 1].first > entry; --at) met[at] = met[at - 1];
    met[at] = {entry, &node.children[i]};
  }
  for (int i = 0; i < count; ++i) PickWalk(*met[i].second, met[i].first, q);
}

void CollisionWalk(const TOctree& node, const AABB& sweep, const TOctreeTriangles& triangles,
                   std::vector<uint32_t>& chosen) {
  if (!AABB::AABBAABBIntersection(sweep, GrownCell(node, triangles.margin).Box())) return;
  if (node.IsLeaf()) return triangles.ChooseUnseen(node.polygons, chosen);
  for (const TOctree& child : node.children) CollisionWalk(child, sweep, triangles, chosen);
}

}  // namespace

void TOctree::OctPick(const TVector& p0, const TVector& p1, TMesh& mesh, float& best, float& best_box_time) const {
  const TOctreeTriangles* triangles = Triangles();
  if (!triangles) return;
  const TOctreeTriangles& table = *triangles;
  TTriangleChoice choice;
  choice.time = best;
  table.BeginQuery();
  if (table.cells_hold_triangles) {
    const TSegmentBoxTest segment(p0, p1);
    float bound = std::min(best_box_time, best + kPickTimeSlack);
    PickQuery q{p0, p1, segment, table, choice, bound};
    const GrownCell cell(*this, table.margin);
    float t, along;
    if (segment.Hit(cell.min[0], cell.min[1], cell.min[2], cell.size[0], cell.size[1], cell.size[2], t, along))
      PickWalk(*this, t, q);
    best_box_time = bound;
  } else {
    ChooseAll(table, table.Chosen());
    TPick::PickTriangles(p0, p1, table, table.Chosen(), choice);
  }
  if (choice.found) TPick::TakeChoice(mesh, table, choice, best);
}

void TOctree::OctCollision(TCollisionPacket& packet) const {
  const TOctreeTriangles* triangles = Triangles();
  if (!triangles) return;
  const TOctreeTriangles& table = *triangles;
  std::vector<uint32_t>& chosen = table.Chosen();
  chosen.clear();
  table.BeginQuery();
  if (table.cells_hold_triangles) {
    AABB sweep = packet.sweep_box;
    for (int i = 0; i < 3; ++i) sweep.min_corner[i] -= table.margin, sweep.max_corner[i] += table.margin;
    CollisionWalk(*this, sweep, table, chosen);
    // The sweep takes ties to the lower number in any order (SweepChosenIn), except when a
    // hit's distance can be NaN (t = 0 over an infinite move): then only the order decides.
    if (!std::isfinite(packet.velocity.Length())) std::sort(chosen.begin(), chosen.end());
  } else {
    ChooseAll(table, chosen);
  }
  no_polys_active += int(chosen.size());
  TCollision::SweepTriangles(packet, table, chosen);
}

void TOctree::HighlightTris() const {
  for (const TPolygonPiece& p : polygons.pieces) {
    const SurfacePtr& surface = polygons.Surface(p);
    if (!surface) continue;
    TSurface& s = *surface;
    for (int corner = 0; corner < 3; ++corner) s.VertexColor(s.TriangleVertex(p.triangle, corner), 255, 0, 0, 1);
  }
}
