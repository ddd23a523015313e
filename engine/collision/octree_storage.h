// What an octree's leaves keep their pieces in: blocks that never move, shared by the
// whole tree and let go with it. Only the build makes them (octree_build.cpp) and only
// the leaves' walks reach into them (octree.cpp); the rest of the engine sees a leaf's
// pieces as a span.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "engine/collision/polygon.h"

class TOctreeTriangles;

// Items of one kind for all the leaves of one tree, in blocks that never move: each
// leaf's lie together, leaves follow one another as the build made them, and the tree
// lets go of them at once.
template <typename T>
class TOctreeBlocks {
 public:
  // block_size: items per block, about what the tree will hold (a leaf larger than a
  // block gets one of its own).
  explicit TOctreeBlocks(size_t block_size) : block_size_(block_size) {}
  // Room for count items, valid as long as the blocks.
  T* Take(size_t count) {
    if (count > block_size_) return NewBlock(count);  // the newest shared block keeps its room
    if (count > free_count_) free_ = NewBlock(block_size_), free_count_ = block_size_;
    T* taken = free_;
    free_ += count, free_count_ -= count;
    return taken;
  }
  size_t BlockSize() const { return block_size_; }

 private:
  struct Release {
    size_t count;
    void operator()(T* block) const { std::allocator<T>().deallocate(block, count); }
  };
  T* NewBlock(size_t count) {
    blocks_.emplace_back(std::allocator<T>().allocate(count), Release{count});
    return blocks_.back().get();
  }

  size_t block_size_;
  std::vector<std::unique_ptr<T[], Release>> blocks_;
  T* free_ = nullptr;  // the unused end of the newest block
  size_t free_count_ = 0;
};

// What the leaves of one tree hold: their pieces, room for the numbers of the triangles
// they come from, and the table of those triangles.
class TOctreePieceStore {
 public:
  // Numbers take blocks as large in bytes as the pieces' (a number is 4 bytes of a 44-byte
  // piece), so that the build starts as few blocks for them, each touching a fresh page.
  TOctreePieceStore(size_t block_size, std::shared_ptr<const TOctreeTriangles> triangles)
      : triangles(std::move(triangles)),
        pieces_(block_size),
        numbers_(block_size * (sizeof(TPolygonPiece) / sizeof(uint32_t))) {}
  // Kept here rather than in each leaf: the builder's threads would otherwise all count
  // references on one block, once per leaf.
  std::shared_ptr<const TOctreeTriangles> triangles;
  // Copies the pieces into the store, and sets room aside for the numbers of their
  // triangles; both stay valid as long as the store.
  std::span<const TPolygonPiece> Keep(std::span<const TPolygonPiece> pieces, uint32_t*& number_room) {
    number_room = nullptr;
    if (pieces.empty()) return {};
    TPolygonPiece* kept = pieces_.Take(pieces.size());
    std::uninitialized_copy(pieces.begin(), pieces.end(), kept);
    number_room = numbers_.Take(pieces.size());  // left as it is until a query fills it
    return {kept, pieces.size()};
  }
  size_t BlockSize() const { return pieces_.BlockSize(); }

 private:
  TOctreeBlocks<TPolygonPiece> pieces_;
  TOctreeBlocks<uint32_t> numbers_;
};
