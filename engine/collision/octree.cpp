// TOctree: building a mesh's tree (the split test, the eightfold split of a cell and the
// budgets that keep hostile meshes and limits from exhausting memory), and the two walks
// that picking and collision run over it.
//
// Sections: building (the split test, the mesh's pieces, the cell planes, the builder
// that streams a cell's pieces through them, CreateOctree) · walks.
#include "engine/collision/octree.h"

#include <algorithm>
#include <cmath>
#include <span>

#include "engine/collision/aabb.h"
#include "engine/collision/collision.h"
#include "engine/collision/pick.h"
#include "engine/collision/plane.h"
#include "engine/collision/polygon_split.h"
#include "engine/collision/triangle_reader.h"
#include "engine/mesh/mesh.h"
#include "engine/mesh/surface.h"
#include "platform/runtime.h"

int TOctree::no_polys_mesh = 0;
int TOctree::no_polys_octree = 0;
int TOctree::no_polys_active = 0;

// ---- Building -----------------------------------------------------------------------------

namespace {

// 1 when the polygons come from at least max_polys distinct triangle indices (or
// max_polys is 0). Counting stops there; small limits use a table of the indices seen.
template <typename Polygons>
int ReachesDistinctTriangles(const Polygons& polys, int max_polys) {
  if (max_polys <= 0) return 1;
  if (polys.size() < size_t(max_polys)) return 0;  // cannot reach it
  constexpr int kTableLimit = 64;
  if (max_polys <= kTableLimit) {
    // A hash set twice the largest count, so it never fills and a probe stays short.
    constexpr uint32_t kSlots = 2 * kTableLimit;
    static_assert(kSlots == 1u << 7, "the hash below gives 7 bits");
    int seen[kSlots];
    bool used[kSlots] = {};
    int count = 0;
    const auto* last = &*polys.begin();
    for (const auto& p : polys) {
      if (count > 0 && p.triangle == last->triangle) continue;  // pieces of one triangle often come together
      last = &p;
      uint32_t slot = (uint32_t(p.triangle) * 2654435761u) >> 25;  // Fibonacci hashing to 7 bits
      while (used[slot] && seen[slot] != p.triangle) slot = (slot + 1) & (kSlots - 1);
      if (used[slot]) continue;
      used[slot] = true, seen[slot] = p.triangle;
      if (++count >= max_polys) return 1;
    }
    return 0;
  }
  std::vector<int> seen;
  seen.reserve(polys.size());
  for (const auto& p : polys) seen.push_back(p.triangle);
  std::sort(seen.begin(), seen.end());
  const auto distinct = std::unique(seen.begin(), seen.end()) - seen.begin();
  return distinct >= max_polys ? 1 : 0;
}

// Coordinates up to this size keep every cut of the build finite (a crossing point lies
// between two corners), which the axis shortcut of CellPlanes relies on.
constexpr float kAxisShortcutLimit = 1e30f;

// One piece per triangle of every surface of the table, in surface then triangle order.
// all_moderate tells whether every corner is finite and within kAxisShortcutLimit.
std::vector<TPolygonPiece> MeshToPieces(const std::vector<SurfacePtr>& surfaces, bool& all_moderate) {
  size_t total = 0;
  for (const SurfacePtr& s : surfaces) total += size_t(std::max(s->CountTriangles(), 0));
  std::vector<TPolygonPiece> pieces(total);
  size_t at = 0;
  all_moderate = true;
  for (size_t i = 0; i < surfaces.size(); ++i) {
    const TTriangleReader triangles(*surfaces[i]);
    for (int t = 0; t < triangles.Count(); ++t) {
      TPolygonPiece& p = pieces[at++];
      triangles.Corners(t, p.vertices[0], p.vertices[1], p.vertices[2]);
      p.vertex_count = 3;
      p.triangle = t;
      p.surface = uint32_t(i);
      for (const TVector& v : p.vertices) {
        all_moderate = all_moderate && std::fabs(v.x) <= kAxisShortcutLimit &&
                       std::fabs(v.y) <= kAxisShortcutLimit && std::fabs(v.z) <= kAxisShortcutLimit;
      }
    }
  }
  return pieces;
}

// The three planes through a cell's centre. Their normals point to the lower coordinate,
// so each plane's front is the low half.
//
// A point's side is TPlane::ClassifyPointToPlane. With a normal of one -1 and two zeros,
// its signed distance (x*nx + y*ny + z*nz) + d has the zero terms add nothing but a
// zero's sign unless the other two coordinates are not finite, so for moderate points
// (kAxisShortcutLimit) d - coordinate gives the same side; kShortcut picks that way.
template <bool kShortcut>
struct CellPlanes {
  TPlane planes[3];

  explicit CellPlanes(const TVector& centre)
      : planes{TPlane::CreatePlane(centre, TVector::Create(-1, 0, 0)),
               TPlane::CreatePlane(centre, TVector::Create(0, -1, 0)),
               TPlane::CreatePlane(centre, TVector::Create(0, 0, -1))} {}

  float Distance(const TVector& v, int axis) const {
    if (!kShortcut) return planes[axis].signedDistanceTo(v);
    const float coordinate = axis == 0 ? v.x : axis == 1 ? v.y : v.z;
    return -coordinate + planes[axis].equation[3];
  }
  int Side(const TVector& v, int axis) const {
    const float d = Distance(v, axis);
    if (d > kPlaneTolerance) return kInFront;
    if (d >= -kPlaneTolerance) return kOnPlane;
    return kBehind;  // NaN too
  }
  bool Behind(const TVector& v, int axis) const { return !(Distance(v, axis) >= -kPlaneTolerance); }
};

// A side of a cut piece: at most 4 points (see TPolygonPiece).
constexpr int kMaxSidePoints = 4;
struct SidePoints {
  TVector points[kMaxSidePoints];
  int count = 0;
  void Add(const TVector& p) {
    if (count < kMaxSidePoints) points[count++] = p;
  }
};

// The scratch of one depth: the eight sets of the cell being split, and the second
// triangles that each of the seven plane splits (x; y per x half; z per quarter) owes
// to the end of its front and back lists.
struct LevelScratch {
  std::vector<TPolygonPiece> sets[8];
  std::vector<TPolygonPiece> tails[7][2];
};

// Limits and running counts of one build.
//
// A cell's pieces are streamed through its three centre planes one piece at a time,
// without gathering halves and quarters: each plane split still sees its input list in
// order and gives the same front and back lists, since the second triangles of its quads
// (which go to the end of those lists) wait in `tails` until all its input has passed.
template <bool kShortcut>
struct OctreeBuilder {
  int max_polys = 0;
  int max_levels = 0;
  long nodes = 1;          // the root
  long pieces = 0;         // polygons held: in leaves and in sets not yet built
  long piece_budget = 0;
  std::shared_ptr<const std::vector<SurfacePtr>> surfaces;
  std::vector<LevelScratch> levels;  // one per split depth, never resized during a build
  const CellPlanes<kShortcut>* planes = nullptr;  // of the cell being split
  LevelScratch* scratch = nullptr;                // of the cell being split

  void Build(TOctree& node, std::span<const TPolygonPiece> polys, int level) {
    if (Split(node, polys, level)) return;
    node.polygons.pieces.assign(polys.begin(), polys.end());
    node.polygons.surfaces = surfaces;
    TOctree::no_polys_octree += int(node.polygons.size());
  }

  // Splits the cell into eight children and builds them; false when it stays a leaf.
  bool Split(TOctree& node, std::span<const TPolygonPiece> polys, int level) {
    if (level + 1 > max_levels || level >= kMaxOctreeDepth) return false;
    if (nodes + 8 > kMaxOctreeNodes) return false;
    if (!ReachesDistinctTriangles(polys, max_polys)) return false;

    const CellPlanes<kShortcut> cell(TVector::Create(node.centre_x, node.centre_y, node.centre_z));
    LevelScratch& lv = levels[size_t(level)];
    for (auto& set : lv.sets) set.clear();
    for (auto& stage : lv.tails) stage[0].clear(), stage[1].clear();
    planes = &cell;
    scratch = &lv;
    for (const TPolygonPiece& p : polys) Route(p, 0, 0);
    FlushTails();

    long made = 0;
    for (const auto& set : lv.sets) made += long(set.size());
    if (pieces - long(polys.size()) + made > piece_budget) return false;
    pieces += made - long(polys.size());

    nodes += 8;
    node.children.resize(8);
    for (int i = 0; i < 8; ++i) {
      TOctree& child = node.children[size_t(i)];
      child.width = node.width / 2, child.height = node.height / 2, child.depth = node.depth / 2;
      child.centre_x = node.centre_x + (i & 4 ? node.width : -node.width) / 4;
      child.centre_y = node.centre_y + (i & 2 ? node.height : -node.height) / 4;
      child.centre_z = node.centre_z + (i & 1 ? node.depth : -node.depth) / 4;
      Build(child, lv.sets[i], level + 1);
    }
    return true;
  }

  // sets[i] by octant index: x, then y, then z decide bits 2, 1, 0 (front = low = 0).
  static int SideBit(int axis) { return 4 >> axis; }
  static int Stage(int axis, int bits) { return axis == 0 ? 0 : axis == 1 ? 1 + (bits >> 2) : 3 + (bits >> 1); }

  // Passes the piece through the planes from `axis` on (bits so far say which side of
  // the earlier planes it is on) and into its set. A piece wholly on one side goes on as
  // it is; one that a plane cuts goes to Cut.
  void Route(const TPolygonPiece& p, int axis, int bits) {
    const int n = int(p.vertex_count);
    int behind_counts[3] = {0, 0, 0};  // corners behind each plane; those on it count as in front
    if constexpr (kShortcut) {
      // One pass over the corners classifies them against all three planes at once.
      const float limit = -kPlaneTolerance;
      const float dx = planes->planes[0].equation[3], dy = planes->planes[1].equation[3],
                  dz = planes->planes[2].equation[3];
      for (int i = 0; i < n; ++i) {
        const TVector& v = p.vertices[i];
        behind_counts[0] += !(-v.x + dx >= limit);
        behind_counts[1] += !(-v.y + dy >= limit);
        behind_counts[2] += !(-v.z + dz >= limit);
      }
    } else {
      for (int a = axis; a < 3; ++a)
        for (int i = 0; i < n; ++i) behind_counts[a] += planes->Behind(p.vertices[i], a);
    }
    for (; axis < 3; ++axis) {
      const int behind = behind_counts[axis];
      if (behind != 0 && behind != n) {
        Cut(p, axis, bits);
        return;
      }
      bits |= behind ? SideBit(axis) : 0;
    }
    scratch->sets[bits].push_back(p);
  }

  // TPolygon::SplitPolygon of the piece by the plane of `axis`; each side's piece goes
  // on through the next planes.
  void Cut(const TPolygonPiece& p, int axis, int bits) {
    const TPlane& plane = planes->planes[axis];
    const int n = int(p.vertex_count);
    SidePoints f, b;
    SplitCorners(
        n, [&](int i) { return p.vertices[i]; }, [&](const TVector& v) { return planes->Side(v, axis); }, plane, f, b);
    Emit(f, p, axis, bits, 0);
    Emit(b, p, axis, bits | SideBit(axis), 1);
  }

  // One side's piece goes on; of a quad, (0, 1, 2) now and (0, 2, 3) to the tails.
  void Emit(const SidePoints& points, const TPolygonPiece& source, int axis, int bits, int side) {
    if (points.count == 0) return;
    TPolygonPiece piece;
    piece.triangle = source.triangle;
    piece.surface = source.surface;
    piece.vertex_count = 3;
    if (points.count == 4) {
      piece.vertices[0] = points.points[0], piece.vertices[1] = points.points[2], piece.vertices[2] = points.points[3];
      scratch->tails[Stage(axis, bits)][side].push_back(piece);
    }
    piece.vertex_count = uint32_t(std::min(points.count, 3));
    for (int i = 0; i < int(piece.vertex_count); ++i) piece.vertices[i] = points.points[i];
    Route(piece, axis + 1, bits);
  }

  // The tails of each plane split, once its input is through: x, then y, then z, so that
  // a split's tails reach the next plane after the rest of its output.
  void FlushTails() {
    static constexpr int kStageBits[7] = {0, 0, 4, 0, 2, 4, 6};
    static constexpr int kStageAxis[7] = {0, 1, 1, 2, 2, 2, 2};
    for (int stage = 0; stage < 7; ++stage) {
      const int axis = kStageAxis[stage];
      for (int side = 0; side < 2; ++side) {
        const std::vector<TPolygonPiece>& list = scratch->tails[stage][side];
        const int bits = kStageBits[stage] | (side ? SideBit(axis) : 0);
        for (size_t i = 0; i < list.size(); ++i) Route(list[i], axis + 1, bits);
      }
    }
  }
};

template <bool kShortcut>
void BuildTree(TOctree& root, std::shared_ptr<const std::vector<SurfacePtr>> surfaces,
               const std::vector<TPolygonPiece>& polys, int max_polys, int max_levels) {
  OctreeBuilder<kShortcut> builder;
  builder.max_polys = max_polys;
  builder.max_levels = max_levels == 0 ? kOctreeUnlimitedLevels : max_levels;
  builder.levels.resize(size_t(std::min(builder.max_levels, kMaxOctreeDepth)));
  builder.pieces = long(polys.size());
  builder.piece_budget = long(polys.size()) * kOctreePiecesPerTriangle + kOctreePieceAllowance;
  builder.surfaces = std::move(surfaces);
  builder.Build(root, polys, 0);
}

}  // namespace

int TOctree::TestTris(const std::vector<TPolygon>& polys, int max_polys) {
  return ReachesDistinctTriangles(polys, max_polys);
}

int TOctree::CreateOctree(const MeshPtr& mesh, int max_polys, int max_levels) {
  max_polys = std::max(max_polys, 0);
  max_levels = std::max(max_levels, 0);
  if (max_polys == 0 && max_levels == 0) {
    RuntimeError("Octree cannot be created - max_polys or max_levels must be greater than 0");
    return 0;
  }
  if (!mesh) return 0;
  auto surfaces = std::make_shared<std::vector<SurfacePtr>>();
  for (const SurfacePtr& s : *mesh->surfaces) surfaces->push_back(s);
  bool moderate = false;
  const std::vector<TPolygonPiece> polys = MeshToPieces(*surfaces, moderate);
  const int count = int(std::min(polys.size(), size_t(1) << 30));

  auto root = std::make_shared<TOctree>();
  root->width = mesh->MeshWidth();
  root->height = mesh->MeshHeight();
  root->depth = mesh->MeshDepth();
  root->centre_x = mesh->bounds_min_x + root->width / 2;
  root->centre_y = mesh->bounds_min_y + root->height / 2;
  root->centre_z = mesh->bounds_min_z + root->depth / 2;
  if (moderate) {
    BuildTree<true>(*root, std::move(surfaces), polys, max_polys, max_levels);
  } else {
    BuildTree<false>(*root, std::move(surfaces), polys, max_polys, max_levels);
  }

  mesh->octree = std::move(root);
  no_polys_mesh = count;
  return 0;
}

// ---- Walks ----------------------------------------------------------------------------------

namespace {
// The entry time of the segment into the node's box, or false when it misses the box.
bool EntersBox(const TOctree& node, const TSegmentBoxTest& segment, float& t) {
  float along;
  return segment.Hit(node.centre_x - node.width / 2, node.centre_y - node.height / 2, node.centre_z - node.depth / 2,
                     node.width, node.height, node.depth, t, along);
}

// Asks for the first cache lines of the pieces (the hardware follows on from there).
void Prefetch(const std::vector<TPolygonPiece>& pieces) {
  constexpr size_t kLine = 64, kLines = 4;
  const char* at = reinterpret_cast<const char*>(pieces.data());
  const size_t bytes = pieces.size() * sizeof(TPolygonPiece);
  for (size_t i = 0; i < kLines && i * kLine < bytes; ++i) __builtin_prefetch(at + i * kLine);
}

// The walk below a node the segment entered at time t. An inner node tests all its
// children's boxes first and asks for the pieces of the leaves among those the segment
// meets, so that their memory is on its way while the earlier children are searched;
// whether a child is entered is still decided in its turn, against best_box_time as the
// earlier children left it.
void PickWalk(const TOctree& node, float t, const TSegmentBoxTest& segment, const TVector& p0, const TVector& p1,
              TMesh& mesh, float& best, float& best_box_time) {
  if (!(t < best_box_time)) return;
  if (node.IsLeaf()) {
    // Pieces are cut to their cell, so a hit here lies at or after t: a later cell
    // entered no earlier than t cannot hold a nearer one.
    if (TPick::PickPolys(p0, p1, node.polygons, mesh, best)) best_box_time = t;
    return;
  }
  float entry[8];
  bool met[8];
  if (node.children.size() == 8 && !segment.IsPoint()) {
    // The eight boxes four at a time, each as EntersBox makes and tests it.
    for (size_t half = 0; half < 8; half += kLanes) {
      const TOctree* c = &node.children[half];
      auto lanes = [c](float TOctree::*field) { return Lanes{c[0].*field, c[1].*field, c[2].*field, c[3].*field}; };
      const Lanes w = lanes(&TOctree::width), h = lanes(&TOctree::height), d = lanes(&TOctree::depth);
      Lanes t;
      const int bits = segment.HitFour(lanes(&TOctree::centre_x) - w / 2, lanes(&TOctree::centre_y) - h / 2,
                                       lanes(&TOctree::centre_z) - d / 2, w, h, d, t);
      for (int l = 0; l < kLanes; ++l) met[half + size_t(l)] = bits >> l & 1, entry[half + size_t(l)] = t[l];
    }
    for (size_t i = 0; i < 8; ++i)
      if (met[i] && node.children[i].IsLeaf()) Prefetch(node.children[i].polygons.pieces);
  } else {
    for (size_t i = 0; i < node.children.size() && i < 8; ++i) {
      const TOctree& child = node.children[i];
      met[i] = EntersBox(child, segment, entry[i]);
      if (met[i] && child.IsLeaf()) Prefetch(child.polygons.pieces);
    }
  }
  for (size_t i = 0; i < node.children.size() && i < 8; ++i)
    if (met[i]) PickWalk(node.children[i], entry[i], segment, p0, p1, mesh, best, best_box_time);
}
}  // namespace

void TOctree::OctPick(const TVector& p0, const TVector& p1, TMesh& mesh, float& best, float& best_box_time) const {
  const TSegmentBoxTest segment(p0, p1);
  float t;
  if (EntersBox(*this, segment, t)) PickWalk(*this, t, segment, p0, p1, mesh, best, best_box_time);
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
  for (const TPolygonPiece& p : polygons.pieces) {
    const SurfacePtr& surface = polygons.Surface(p);
    if (!surface) continue;
    TSurface& s = *surface;
    for (int corner = 0; corner < 3; ++corner) s.VertexColor(s.TriangleVertex(p.triangle, corner), 255, 0, 0, 1);
  }
}
