// TTriangleReader: the public corner positions of a surface's triangles, read straight
// from its arrays for the loops that visit every triangle (brute-force picks and
// collisions, the octree's mesh-to-polygons pass). A triangle whose corners the arrays
// do not hold (tables filled in short of their counts) goes through the accessors, so
// every triangle reads exactly as TriangleVertex and VertexX/Y/Z would give it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "engine/math/lanes.h"
#include "engine/math/vector.h"
#include "engine/mesh/surface.h"

class TTriangleReader {
 public:
  explicit TTriangleReader(const TSurface& s)
      : surface_(s),
        count_(s.CountTriangles()),
        full_triangles_(s.triangle_indices.size() / 3),
        readable_(int(std::min(std::size_t(std::max(s.vertex_count, 0)), s.vertex_positions.size() / 3))),
        wide_(std::min(readable_, s.vertex_positions.size() >= 4 ? int((s.vertex_positions.size() - 4) / 3 + 1) : 0)),
        corners_(s.triangle_indices.data()),
        positions_(s.vertex_positions.data()) {}

  int Count() const { return count_; }

  // Corners 0, 1, 2 of triangle k (0 <= k < Count()), public coordinates.
  void Corners(int k, TVector& p, TVector& q, TVector& r) const {
    if (Direct(k)) {
      p = Stored(k, 0), q = Stored(k, 1), r = Stored(k, 2);
    } else {
      p = Public(k, 0), q = Public(k, 1), r = Public(k, 2);
    }
  }

  // Whether triangle k's corners are all in the arrays; then StoredCorner reads them.
  bool Direct(int k) const {
    const uint16_t* c = corners_ + std::size_t(k) * 3;
    return std::size_t(k) < full_triangles_ && c[2] < readable_ && c[1] < readable_ && c[0] < readable_;
  }
  // Whether triangles first..first+3 are all Direct with a fourth float after each corner's
  // three, so that their corners can be read 16 bytes at a time: the block's twelve
  // indices tested at once rather than a branch per corner.
  bool WideFour(int first) const {
    if (std::size_t(first) + 4 > full_triangles_ || wide_ == 0) return false;
    return TwelveIndicesBelow(corners_ + std::size_t(first) * 3, std::min(wide_, kIndexLimit));
  }
  // Stored x, y, z of corner 0..2 of a Direct triangle (z is the public one negated).
  const float* StoredCorner(int k, int corner) const {
    return positions_ + std::size_t(corners_[std::size_t(k) * 3 + std::size_t(2 - corner)]) * 3;
  }

 private:
  static constexpr int kIndexLimit = 65536;  // every 16-bit index is below this

  TVector Stored(int k, int corner) const {
    const float* at = StoredCorner(k, corner);
    return TVector::Create(at[0], at[1], -at[2]);
  }
  TVector Public(int k, int corner) const {
    const int v = surface_.TriangleVertex(k, corner);
    return TVector::Create(surface_.VertexX(v), surface_.VertexY(v), surface_.VertexZ(v));
  }

  const TSurface& surface_;
  int count_;
  std::size_t full_triangles_;
  int readable_;
  int wide_;  // vertices below this are readable and have a float after them
  const uint16_t* corners_;
  const float* positions_;
};
