// TOctree: one node of a mesh's polygon octree, a copy of its triangles cut into the
// cells of a recursive eightfold division of its bounding box, so that picks and
// collisions look only at the triangles of the cells they reach; they decide on those
// triangles whole, as they would without a tree. Built on request (CreateOctree) and kept
// in TMesh::octree; everything in it is in mesh space, so it serves the mesh wherever
// it is placed. It is never rebuilt: after the mesh's geometry changes, it goes on
// answering with the old triangles until CreateOctree runs again.
//
// The build's contract (octree_build.cpp):
// - The tree is a function of the mesh and the two limits alone: built on one thread or
//   on several (a large mesh's eight subtrees), it has the same nodes, leaves and pieces
//   in the same order, bit for bit.
// - The budgets (kMaxOctreeNodes, the piece allowance) may refuse a split; the cell then
//   stays a leaf. Builders on several threads draw on one budget in no fixed order, so
//   a refusal there would make the tree depend on timing: such a build is thrown away
//   and made again on one thread, whose order of refusals is the build's own.
// - A thread that cannot be started leaves its share to the others; the tree is the same.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "engine/collision/polygon.h"
#include "engine/math/vector.h"
#include "engine/scene/handles.h"

struct TCollisionPacket;

// max_levels 0 means "no level limit", which stands for this many.
constexpr int kOctreeUnlimitedLevels = 100000;
// Splitting stops this deep whatever the limits: a cell 2^-24 of the root is below
// float resolution, and shared vertices would otherwise be split around forever.
constexpr int kMaxOctreeDepth = 24;
// At most this many nodes per tree: max_polys 0 splits even empty cells, 8^levels of them.
constexpr int kMaxOctreeNodes = 1 << 18;
// Split pieces the tree may hold, per triangle of the mesh and in all; a split that
// would pass the budget is not made and the cell stays a leaf.
constexpr int kOctreePiecesPerTriangle = 32;
constexpr int kOctreePieceAllowance = 1 << 16;

class TOctreePieceStore;
class TLeafPolygons;

// The mesh's own triangles as the tree was built from them, whole, in surface then
// triangle order (a triangle's number here is its place in that order), with the corners
// read as the walk over every triangle reads them. The cells only choose which of these a
// query looks at: picks and sweeps are decided on them, never on the cut pieces, so a
// mesh answers alike with and without its tree.
class TOctreeTriangles {
 public:
  std::vector<TPolygonPiece> whole;  // vertex_count 3 each
  std::vector<uint32_t> first;       // per surface of the table, the number of its triangle 0
  std::shared_ptr<const std::vector<SurfacePtr>> surfaces;  // the table the pieces' indices stand for
  // A query looks at the cells grown by this much (mesh units): a triangle's pieces may
  // lie a plane tolerance (and the rounding of the cuts) outside the cell holding them.
  float margin = 0;
  // False when a corner is not finite or lies outside the root cell: then the cells
  // cannot promise to hold every place of a triangle, and queries take every triangle.
  bool cells_hold_triangles = false;

  uint32_t Number(const TPolygonPiece& piece) const { return first[piece.surface] + uint32_t(piece.triangle); }
  // Makes the query scratch for the table, so that queries allocate nothing.
  void PrepareQueries();
  // Starts a query: every triangle is unseen again.
  void BeginQuery() const;
  // Appends to chosen the numbers of the leaf's triangles the query has not met yet.
  void ChooseUnseen(const TLeafPolygons& leaf, std::vector<uint32_t>& chosen) const;
  // A query of one leaf: the numbers of its triangles, each once, in the query scratch.
  std::span<uint32_t> ChooseLeaf(const TLeafPolygons& leaf) const;
  // True the first time a query meets the triangle.
  bool FirstVisit(uint32_t number) const {
    if (seen_[number] == query_) return false;
    seen_[number] = query_;
    return true;
  }
  // Scratch of the running query (the numbers it chose), reused: queries allocate nothing
  // once it has grown.
  std::vector<uint32_t>& Chosen() const { return chosen_; }

 private:
  // Queries run on the one thread of the scene, like everything that reads a tree.
  // The query that last met each triangle. Zeroed by calloc, which for a large table
  // maps pages that are zero already: the build does not pay for writing them.
  struct Free {
    void operator()(uint32_t* p) const { std::free(p); }
  };
  std::unique_ptr<uint32_t[], Free> seen_;
  mutable uint32_t query_ = 0;
  mutable std::vector<uint32_t> chosen_;
};

// A leaf's polygons: its pieces and the table of surfaces their indices stand for. The
// walks read the pieces for the numbers of the triangles they come from; read as a range
// (size, empty, begin/end) they come out one TPolygon at a time, as copies.
class TLeafPolygons {
 public:
  std::span<const TPolygonPiece> pieces;
  // Room the build set aside for Numbers, as many as the pieces.
  uint32_t* number_room = nullptr;
  std::shared_ptr<const TOctreePieceStore> store;  // the tree's (octree_storage.h): pieces and table

  // The tree's table of triangles (kept by the store; a leaf holds no more than it did
  // before there was one, and a tree has as many leaves as cells).
  const TOctreeTriangles* Triangles() const;

  const SurfacePtr& Surface(const TPolygonPiece& piece) const { return (*Triangles()->surfaces)[piece.surface]; }
  // The numbers (TOctreeTriangles) of the triangles the pieces come from, in piece order,
  // a run of pieces of one triangle given once: all a query reads of the leaf. Worked out
  // by the first query that asks (queries run on the scene's one thread), which keeps the
  // build from paying for leaves no query reaches.
  std::span<const uint32_t> Numbers() const {
    if (number_count_ < 0) CountNumbers();
    return {number_room, size_t(number_count_)};
  }

  class Iterator {
   public:
    Iterator(const TLeafPolygons& list, size_t at) : list_(&list), at_(at) {}
    TPolygon operator*() const {
      const TPolygonPiece& p = list_->pieces[at_];
      return TPolygon(p, list_->Surface(p));
    }
    Iterator& operator++() {
      ++at_;
      return *this;
    }
    bool operator==(const Iterator& other) const { return at_ == other.at_; }
    bool operator!=(const Iterator& other) const { return at_ != other.at_; }

   private:
    const TLeafPolygons* list_;
    size_t at_;
  };
  size_t size() const { return pieces.size(); }
  bool empty() const { return pieces.empty(); }
  Iterator begin() const { return Iterator(*this, 0); }
  Iterator end() const { return Iterator(*this, pieces.size()); }

 private:
  void CountNumbers() const;
  mutable int32_t number_count_ = -1;  // not yet worked out
};

class TOctree {
 public:
  float centre_x = 0, centre_y = 0, centre_z = 0;  // mesh space
  float width = 0, height = 0, depth = 0;          // full size of the cell
  // None in a leaf; eight in an inner node, by octant: bit 2 high x, bit 1 high y,
  // bit 0 high z.
  std::vector<TOctree> children;
  TLeafPolygons polygons;  // a leaf's; may be empty

  // Statistics, read by nothing in the engine.
  static int no_polys_mesh;    // polygons made from the mesh by the last CreateOctree
  static int no_polys_octree;  // pieces stored in leaves, over every tree since start-up
  static int no_polys_active;  // triangles the last collision query chose from its leaves

  // Builds the mesh's tree, replacing its old one. A cell splits while its polygons come
  // from at least max_polys distinct triangles (0: always) and fewer than max_levels
  // splits lie above it (0: no limit). Negative limits count as 0; both 0 is the fatal
  // error "Octree cannot be created - max_polys or max_levels must be greater than 0".
  // A large mesh's eight subtrees are built on several threads, into the same tree.
  static int CreateOctree(const MeshPtr& mesh, int max_polys, int max_levels);
  // For tests: builds from now on share the root's children among this many threads
  // (1..8) whatever the mesh's size. 0 gives back the default: as many as the processor
  // has, up to 8, for meshes of 16384 triangles or more, else one. Returns the setting
  // it replaced.
  static int SetBuildThreads(int threads);
  // 1 when a cell holding these polygons is to be split: max_polys is 0, or they come
  // from at least max_polys distinct triangle indices (the surface is not compared).
  static int TestTris(const std::vector<TPolygon>& polys, int max_polys);

  bool IsLeaf() const { return children.empty(); }
  // The mesh's triangles the tree was built from, as its leaves' stores keep them.
  const TOctreeTriangles* Triangles() const;
  // Queries run on the root. Each cell the query reaches hands on the triangles its
  // pieces come from, each at most once per query, and the answer is decided on those
  // triangles as the walk over every triangle decides it (ties in a pick to the later
  // triangle, in a sweep to the earlier). A cell is reached when the query meets it grown
  // by TOctreeTriangles::margin, so no triangle the walk would take is left out.
  //
  // Picks along p0-p1 (mesh space), accepting hits at times <= best as TPick::Pick does
  // and filling the pick result once, for the triangle chosen. Cells entered after
  // best_box_time are not searched; it is lowered to the time of each nearer hit (plus a
  // little, since the cell boxes and the hit times round differently).
  void OctPick(const TVector& p0, const TVector& p1, TMesh& mesh, float& best, float& best_box_time) const;
  // Runs the packet's triangle test on the triangles of every cell that meets its sweep
  // box, each once; ties go to the mesh's triangle order.
  void OctCollision(TCollisionPacket& packet) const;
  // Debugging aid: colours red the vertices of the source triangles of this node's own
  // polygons (it does not descend).
  void HighlightTris() const;
};
