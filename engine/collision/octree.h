// TOctree: one node of a mesh's polygon octree, a copy of its triangles cut into the
// cells of a recursive eightfold division of its bounding box, so that picks and
// collisions test only the cells they reach. Built on request (CreateOctree) and kept
// in TMesh::octree; everything in it is in mesh space, so it serves the mesh wherever
// it is placed. It is never rebuilt: after the mesh's geometry changes, it goes on
// answering with the old triangles until CreateOctree runs again.
#pragma once

#include <memory>
#include <span>
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

// The pieces of all the leaves of one tree, in blocks that never move: each leaf's pieces
// lie together, leaves follow one another as the build made them, and the tree lets go of
// them at once.
class TOctreePieceStore {
 public:
  // block_size: pieces per block, about what the tree will hold (a leaf larger than a
  // block gets one of its own).
  explicit TOctreePieceStore(size_t block_size) : block_size_(block_size) {}
  // Copies the pieces into the store; the result stays valid as long as the store.
  std::span<const TPolygonPiece> Keep(std::span<const TPolygonPiece> pieces);
  size_t BlockSize() const { return block_size_; }

 private:
  struct Release {
    size_t count;
    void operator()(TPolygonPiece* block) const { std::allocator<TPolygonPiece>().deallocate(block, count); }
  };
  TPolygonPiece* NewBlock(size_t count);

  size_t block_size_;
  std::vector<std::unique_ptr<TPolygonPiece[], Release>> blocks_;
  TPolygonPiece* free_ = nullptr;  // the unused end of the newest block
  size_t free_count_ = 0;
};

// A leaf's polygons: its pieces and the table of surfaces their indices stand for. The
// walks read the pieces; read as a range (size, empty, begin/end) they come out one
// TPolygon at a time, as copies.
class TLeafPolygons {
 public:
  std::span<const TPolygonPiece> pieces;
  std::shared_ptr<const TOctreePieceStore> store;           // the tree's, holding the pieces
  std::shared_ptr<const std::vector<SurfacePtr>> surfaces;  // the tree's, shared by its leaves

  const SurfacePtr& Surface(const TPolygonPiece& piece) const { return (*surfaces)[piece.surface]; }

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
  static int no_polys_active;  // leaf polygons handed to the last collision query

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
  // Picks along p0-p1 (mesh space) through the subtree, entering only cells met before
  // best_box_time; a leaf with a hit sets best_box_time to its own entry time. best is
  // the running time of the pick, handed on to TPick::PickPolys.
  void OctPick(const TVector& p0, const TVector& p1, TMesh& mesh, float& best, float& best_box_time) const;
  // Runs the packet's triangle test on every leaf whose cell meets its sweep box.
  void OctCollision(TCollisionPacket& packet) const;
  // Debugging aid: colours red the vertices of the source triangles of this node's own
  // polygons (it does not descend).
  void HighlightTris() const;
};
