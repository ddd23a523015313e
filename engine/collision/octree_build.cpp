// TOctree's build: the split test, the eightfold split of a cell, the budgets that keep
// hostile meshes and limits from exhausting memory, the threads that build a large
// mesh's subtrees, and the table of whole triangles the queries decide on. The walks
// over a built tree are in octree.cpp; the store the leaves keep their pieces in, in
// octree_storage.h.
//
// Sections: the split test · the mesh's pieces · the cell planes · the table of triangle
// cuts · pieces on their way and their lists · routing a cell's pieces through its
// planes · the builder · CreateOctree.
#include "engine/collision/octree.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <span>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "engine/collision/geometric_tests.h"
#include "engine/collision/octree_storage.h"
#include "engine/collision/plane.h"
#include "engine/collision/polygon_split.h"
#include "engine/collision/triangle_reader.h"
#include "engine/math/lanes.h"
#include "engine/mesh/mesh.h"
#include "engine/mesh/surface.h"
#include "platform/runtime.h"

namespace {

// ---- The split test -------------------------------------------------------------------------

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

// ---- The mesh's pieces ----------------------------------------------------------------------

// Coordinates up to this size keep every cut of the build finite (a crossing point lies
// between two corners), which the axis shortcut of CellPlanes relies on.
constexpr float kAxisShortcutLimit = 1e30f;

// One piece per triangle of every surface of the table, in surface then triangle order.
// all_moderate tells whether every corner is finite and within kAxisShortcutLimit,
// inside whether every corner lies in the box lo..hi, which holds the mesh's bounds.
// The bounds are those of the vertices in the arrays, so only the corners read through
// the accessors (triangles whose corners the arrays do not hold) need the box's test.
std::vector<TPolygonPiece> MeshToPieces(const std::vector<SurfacePtr>& surfaces, const float (&lo)[3],
                                        const float (&hi)[3], bool& all_moderate, bool& inside) {
  size_t total = 0;
  for (const SurfacePtr& s : surfaces) total += size_t(std::max(s->CountTriangles(), 0));
  std::vector<TPolygonPiece> pieces(total);
  size_t at = 0;
  all_moderate = inside = true;
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
      if (!inside || triangles.Direct(t)) continue;
      for (const TVector& v : p.vertices)
        inside = inside && v.x >= lo[0] && v.x <= hi[0] && v.y >= lo[1] && v.y <= hi[1] && v.z >= lo[2] &&
                 v.z <= hi[2];  // NaN is outside
    }
  }
  // A NaN or huge corner in the arrays may lie outside bounds that passed it over.
  inside = inside && all_moderate;
  return pieces;
}

// ---- The cell planes ------------------------------------------------------------------------

// The three planes through a cell's centre. Their normals point to the lower coordinate,
// so each plane's front is the low half.
//
// A point's side is TPlane::ClassifyPointToPlane. With a normal of one -1 and two zeros,
// its signed distance (x*nx + y*ny + z*nz) + d has the zero terms add nothing but a
// zero's sign unless the other two coordinates are not finite, so for moderate points
// (kAxisShortcutLimit) d - coordinate gives the same side; kShortcut picks that way.
// The same holds for the two dot products of TPlane::IntersectEdgeAgainstPlane, whose
// edges cross the plane (their ends differ in that coordinate, and only a zero's sign
// could differ where the coordinate is 0, which the crossing point does not see).
template <bool kShortcut>
struct CellPlanes {
  TPlane planes[3];

  explicit CellPlanes(const TVector& centre)
      : planes{TPlane::CreatePlane(centre, TVector::Create(-1, 0, 0)),
               TPlane::CreatePlane(centre, TVector::Create(0, -1, 0)),
               TPlane::CreatePlane(centre, TVector::Create(0, 0, -1))} {}

  template <int kAxis>
  static float Coordinate(const TVector& v) {
    return kAxis == 0 ? v.x : kAxis == 1 ? v.y : v.z;
  }
  template <int kAxis>
  float Distance(const TVector& v) const {
    if (!kShortcut) return planes[kAxis].signedDistanceTo(v);
    return -Coordinate<kAxis>(v) + planes[kAxis].equation[3];
  }
  template <int kAxis>
  bool Behind(const TVector& v) const {
    return BehindPlane(Distance<kAxis>(v), kPlaneTolerance);
  }
  // TPlane::IntersectEdgeAgainstPlane for an edge whose ends lie on either side.
  template <int kAxis>
  std::optional<TVector> Crossing(const TVector& a, const TVector& b) const {
    const TPlane& plane = planes[kAxis];
    if (!kShortcut) return TPlane::IntersectEdgeAgainstPlane(a, b, plane);
    const TVector ab = b.Subtract(a);
    return TPlane::PointOnEdge(a, ab, PlaneCrossing(plane.distance, Coordinate<kAxis>(a), Coordinate<kAxis>(ab)));
  }
};

const TVector kZero;

// Which of a cell's three planes a moderate point lies behind, as bits x, y, z, from its
// distances offset - coordinate (offsets: the planes' equation[3]), as CellPlanes::Distance
// gives them with kShortcut: below -kPlaneTolerance, NaN too. Lane 3 must not be behind.
unsigned PlanesBehind(const Lanes& distances) { return unsigned(LaneBits(BehindPlane(distances, kPlaneTolerance))); }

// PlanesBehind for a corner anywhere: it reads exactly the corner's 12 bytes.
unsigned CornerBehind(const TVector& v, const Lanes& offsets) { return PlanesBehind(offsets - LoadPoint(v)); }

// A corner of a stored piece as lanes x, y, z, 0. It reads the four bytes after z, which
// lie inside the piece (the next corner, or the triangle index after the last one).
Lanes LoadCorner(const TVector& v) {
  static_assert(offsetof(TPolygonPiece, vertices) + 2 * sizeof(TVector) + sizeof(Lanes) <= sizeof(TPolygonPiece));
  Lanes l;
  std::memcpy(&l, &v.x, sizeof l);
  return Lanes(LaneMask(l) & LaneMask{-1, -1, -1, 0});
}

// The octant index of plane sides given as bits x, y, z (set: behind, the high half).
constexpr int kOctantOf[8] = {0, 4, 2, 6, 1, 5, 3, 7};

// ---- The table of triangle cuts -------------------------------------------------------------

// A side of a cut piece: at most 4 points (see TPolygonPiece).
constexpr int kMaxSidePoints = 4;
struct SidePoints {
  TVector points[kMaxSidePoints];
  int count = 0;
  void Add(const TVector& p) {
    if (count < kMaxSidePoints) points[count++] = p;
  }
};

// How a plane cuts a triangle, by the sides of its corners: the crossing points to make
// (each from its front corner to the one behind) and each side's points, by number: 0-2
// the corners, 3 and 4 the crossings in the order the walk meets them, 5 a zero point
// that fills the rest. Made once by SplitCorners itself, walking corner numbers.
constexpr int kZeroPoint = 5;
struct TriangleCut {
  int crossings = 0;
  int crossing_ends[2][2] = {};
  int front_count = 0, back_count = 0;
  int front[kMaxSidePoints] = {}, back[kMaxSidePoints] = {};
};

// A triangle's sides (kBehind, kOnPlane, kInFront) as a number below 27, corner 0 first.
constexpr int SideCode(int side0, int side1, int side2) { return (side0 + 1) * 9 + (side1 + 1) * 3 + (side2 + 1); }

struct PointNumbers {
  int numbers[kMaxSidePoints] = {kZeroPoint, kZeroPoint, kZeroPoint, kZeroPoint};
  int count = 0;
  constexpr void Add(int number) {
    if (count < kMaxSidePoints) numbers[count++] = number;
  }
};

constexpr std::array<TriangleCut, 27> MakeTriangleCuts() {
  std::array<TriangleCut, 27> table{};
  for (int code = 0; code < 27; ++code) {
    const int sides[3] = {code / 9 - 1, code / 3 % 3 - 1, code % 3 - 1};
    TriangleCut& cut = table[size_t(code)];
    PointNumbers front, back;
    SplitCorners(
        3, [](int i) { return i; }, [&](int i) { return sides[i]; },
        [&](int from, int to) -> std::optional<int> {
          cut.crossing_ends[cut.crossings][0] = from, cut.crossing_ends[cut.crossings][1] = to;
          return 3 + cut.crossings++;
        },
        front, back);
    cut.front_count = front.count, cut.back_count = back.count;
    for (int i = 0; i < kMaxSidePoints; ++i) cut.front[i] = front.numbers[i], cut.back[i] = back.numbers[i];
  }
  return table;
}
constexpr std::array<TriangleCut, 27> kTriangleCuts = MakeTriangleCuts();

// ---- Pieces on their way and their lists ----------------------------------------------------

// A piece on its way through a cell's planes: where its three corners lie (past the
// count they are zero points) and the triangle it was cut from. The routing reads the
// corners in place and writes a piece only into the list it ends in.
struct PieceRef {
  const TVector* corners[3];
  uint32_t count;
  int triangle;
  uint32_t surface;

  static PieceRef Of(const TPolygonPiece& p) {
    return {{&p.vertices[0], &p.vertices[1], &p.vertices[2]}, p.vertex_count, p.triangle, p.surface};
  }
  static PieceRef Of(const PieceRef& p) { return p; }
};

// Routing reads a stored piece whole until a plane cuts it, so an uncut piece is copied
// in one go.
const TVector& CornerOf(const TPolygonPiece& p, int i) { return p.vertices[i]; }
const TVector& CornerOf(const PieceRef& p, int i) { return *p.corners[i]; }
uint32_t CountOf(const TPolygonPiece& p) { return p.vertex_count; }
uint32_t CountOf(const PieceRef& p) { return p.count; }

// The fields of TPolygonPiece after its corners, laid out alike.
struct PieceEnds {
  int triangle;
  uint32_t vertex_count : 2;
  uint32_t surface : 30;
};
static_assert(sizeof(PieceEnds) == sizeof(uint64_t) &&
              offsetof(TPolygonPiece, triangle) + sizeof(PieceEnds) == sizeof(TPolygonPiece));
#if !defined(__clang__)  // clang cannot yet bit_cast bit fields at compile time
static_assert(std::bit_cast<std::array<uint32_t, 11>>(TPolygonPiece{{}, 5, 3, 7})[10] ==
              std::bit_cast<std::array<uint32_t, 2>>(PieceEnds{5, 3, 7})[1]);
#endif

// A list of pieces that grows and is reused; appending stays inline in the routing loop
// and writes each piece once, into storage not cleared beforehand.
class PieceList {
 public:
  PieceList() = default;
  PieceList(PieceList&& other) noexcept
      : store_(std::exchange(other.store_, nullptr)),
        size_(std::exchange(other.size_, 0)),
        capacity_(std::exchange(other.capacity_, 0)) {}
  PieceList& operator=(PieceList&&) = delete;
  ~PieceList() { std::allocator<TPolygonPiece>().deallocate(store_, capacity_); }

  void Append(const TPolygonPiece& p) {
    if (size_ == capacity_) Grow();
    ::new (store_ + size_++) TPolygonPiece(p);
  }
  void Append(const PieceRef& p) {
    if (size_ == capacity_) Grow();
    ::new (store_ + size_++)
        TPolygonPiece{{*p.corners[0], *p.corners[1], *p.corners[2]}, p.triangle, p.count, p.surface};
  }
  // A triangle from corner lanes (x, y, z, anything): each corner is written as four
  // floats and the next field overwrites the fourth.
  [[gnu::always_inline]] void Append(const Lanes& c0, const Lanes& c1, const Lanes& c2, int triangle,
                                     uint32_t surface) {
    if (size_ == capacity_) Grow();
    TPolygonPiece* p = store_ + size_++;
    char* at = reinterpret_cast<char*>(p->vertices);
    std::memcpy(at, &c0, sizeof c0);
    std::memcpy(at + sizeof(TVector), &c1, sizeof c1);
    std::memcpy(at + 2 * sizeof(TVector), &c2, sizeof c2);  // inside the piece, as LoadCorner reads it
    // The triangle index and the bit fields in one write: a bit field set in place would
    // first read the new piece's memory.
    const uint64_t ends = std::bit_cast<uint64_t>(PieceEnds{triangle, 3, surface});
    std::memcpy(reinterpret_cast<char*>(p) + offsetof(TPolygonPiece, triangle), &ends, sizeof ends);
  }
  void Clear() { size_ = 0; }
  // Room for this many before any growth, so that a list seldom copies itself.
  void Reserve(size_t capacity) {
    if (capacity > capacity_) GrowTo(capacity);
  }
  size_t Size() const { return size_; }
  std::span<const TPolygonPiece> Pieces() const { return {store_, size_}; }

 private:
  [[gnu::noinline]] void Grow() { GrowTo(std::max<size_t>(64, capacity_ * 2)); }
  void GrowTo(size_t capacity) {
    TPolygonPiece* store = std::allocator<TPolygonPiece>().allocate(capacity);
    if (size_ > 0) std::memcpy(static_cast<void*>(store), store_, size_ * sizeof(TPolygonPiece));
    std::allocator<TPolygonPiece>().deallocate(store_, capacity_);
    store_ = store, capacity_ = capacity;
  }

  TPolygonPiece* store_ = nullptr;
  size_t size_ = 0, capacity_ = 0;
};

// The scratch of one depth: the eight sets of the cell being split, and the second
// triangles that each of the seven plane splits (x; y per x half; z per quarter) owes
// to the end of its front and back lists.
struct LevelScratch {
  PieceList sets[8];
  PieceList tails[7][2];
};

// ---- Routing a cell's pieces through its planes ---------------------------------------------

// The routing of one cell's pieces through its three centre planes into its eight sets.
// It is made from the cell being split (its centre, taken by value) and the scratch of
// its depth, and lives while that cell's pieces are routed: all it holds is that cell's.
//
// The pieces are streamed through the planes one piece at a time, without gathering
// halves and quarters: each plane split still sees its input list in order and gives the
// same front and back lists, since the second triangles of its quads (which go to the
// end of those lists) wait in `tails` until all its input has passed.
template <bool kShortcut>
class CellRouter {
 public:
  // Empties the scratch's lists for this cell's pieces.
  CellRouter(const TVector& centre, LevelScratch& scratch, size_t piece_count)
      : planes_(centre),
        offsets_{planes_.planes[0].equation[3], planes_.planes[1].equation[3], planes_.planes[2].equation[3], 0},
        distances_{planes_.planes[0].distance, planes_.planes[1].distance, planes_.planes[2].distance, 0},
        zero_point_{kShortcut ? Classify(Lanes{}) : CellPoint{}},
        scratch_(scratch) {
    // Storage is taken, not touched, so a generous guess costs little: a set rarely gets
    // more than a quarter of the cell's pieces.
    for (auto& set : scratch_.sets) set.Clear(), set.Reserve(piece_count / 4);
    for (auto& stage : scratch_.tails) stage[0].Clear(), stage[1].Clear();
  }

  // Every piece into its set (sets[i] by octant index), in order, the tails last.
  void RouteAll(std::span<const TPolygonPiece> polys) {
    for (const TPolygonPiece& p : polys) RouteStored<0>(p, 0);
    FlushTails();
  }

 private:
  // A point in lanes x, y, z, 0, and the planes it lies behind as bits x, y, z
  // (CornerBehind).
  struct CellPoint {
    Lanes v;
    unsigned behind;
  };
  struct TriangleInFlight {
    const CellPoint* corners[3];
    int triangle;
    uint32_t surface;
  };

  const CellPlanes<kShortcut> planes_;
  const Lanes offsets_;    // the planes' equation[3], x, y, z
  const Lanes distances_;  // the planes' distance, x, y, z
  const CellPoint zero_point_;  // kZero, classified (with kShortcut)
  LevelScratch& scratch_;

  // sets[i] by octant index: x, then y, then z decide bits 2, 1, 0 (front = low = 0).
  static constexpr int SideBit(int axis) { return 4 >> axis; }
  static int Stage(int axis, int bits) { return axis == 0 ? 0 : axis == 1 ? 1 + (bits >> 2) : 3 + (bits >> 1); }

  // Which corners lie behind which planes (those on a plane count as in front): bit
  // 4 * corner + axis, for the axes from kAxis on (all three with kShortcut).
  template <int kAxis, typename Piece>
  unsigned BehindBits(const Piece& p) const {
    unsigned bits = 0;
    if constexpr (kShortcut) {
      bits = CornerBehind(CornerOf(p, 0), offsets_) | CornerBehind(CornerOf(p, 1), offsets_) << 4 |
             CornerBehind(CornerOf(p, 2), offsets_) << 8;
    } else {
      for (int i = 0; i < 3; ++i) {
        const TVector& v = CornerOf(p, i);
        const unsigned x = kAxis <= 0 && planes_.template Behind<0>(v);
        const unsigned y = kAxis <= 1 && planes_.template Behind<1>(v);
        bits |= (x | y << 1 | unsigned(planes_.template Behind<2>(v)) << 2) << 4 * i;
      }
    }
    return bits;
  }

  // Passes the piece through the planes from kAxis on (bits so far say which side of the
  // earlier planes it is on) and into its set. A piece wholly on one side goes on as it
  // is; one that a plane cuts goes to Cut.
  template <int kAxis, typename Piece>
  void Route(const Piece& p, int bits) {
    RouteOn<kAxis>(p, bits, kAxis == 3 ? 0 : BehindBits<kAxis>(p));
  }
  template <int kAxis, typename Piece>
  void RouteOn(const Piece& p, int bits, unsigned behind_bits) {
    if constexpr (kAxis == 3) {
      scratch_.sets[bits].Append(p);
    } else {
      static constexpr unsigned kCorners[4] = {0, 0x001, 0x011, 0x111};  // bit 4 * corner below the count
      const unsigned all = kCorners[CountOf(p)];
      const unsigned behind = behind_bits >> kAxis & all;
      if (behind != 0 && behind != all) {
        Cut<kAxis>(PieceRef::Of(p), bits);
      } else {
        RouteOn<kAxis + 1>(p, bits | (behind ? SideBit(kAxis) : 0), behind_bits);
      }
    }
  }

  // TPolygon::SplitPolygon of the piece by the plane of kAxis; each side's piece goes on
  // through the next planes. A triangle whose crossings all lie on their edges (always,
  // with kShortcut) is cut by its entry in kTriangleCuts, which gives the same points.
  template <int kAxis>
  [[gnu::noinline]] void Cut(const PieceRef& p, int bits) {
    auto side = [&](int i) { return TPlane::SideOfDistance(planes_.template Distance<kAxis>(*p.corners[i])); };
    if (p.count == 3) {
      const TriangleCut& cut = kTriangleCuts[size_t(SideCode(side(0), side(1), side(2)))];
      TVector crossings[2];
      const TVector* points[6] = {p.corners[0], p.corners[1], p.corners[2], &crossings[0], &crossings[1], &kZero};
      int made = 0;
      for (; made < cut.crossings; ++made) {
        const auto q = planes_.template Crossing<kAxis>(*points[cut.crossing_ends[made][0]],
                                                        *points[cut.crossing_ends[made][1]]);
        if (!q) break;
        crossings[made] = *q;
      }
      if (made == cut.crossings) {
        Emit<kAxis>(points, cut.front, cut.front_count, p, bits, 0);
        Emit<kAxis>(points, cut.back, cut.back_count, p, bits | SideBit(kAxis), 1);
        return;
      }
    }
    SidePoints f, b;
    SplitCorners(
        int(p.count), [&](int i) { return *p.corners[i]; }, side,
        [&](const TVector& from, const TVector& to) { return planes_.template Crossing<kAxis>(from, to); }, f, b);
    const TVector* points[4] = {&f.points[0], &f.points[1], &f.points[2], &f.points[3]};
    const TVector* back_points[4] = {&b.points[0], &b.points[1], &b.points[2], &b.points[3]};
    static constexpr int kInOrder[kMaxSidePoints] = {0, 1, 2, 3};
    Emit<kAxis>(points, kInOrder, f.count, p, bits, 0);
    Emit<kAxis>(back_points, kInOrder, b.count, p, bits | SideBit(kAxis), 1);
  }

  // One side's piece goes on: points[order[0..count-1]], zero points past the count. Of a
  // quad, (0, 1, 2) goes on now and (0, 2, 3) to the tails.
  template <int kAxis>
  void Emit(const TVector* const* points, const int* order, int count, const PieceRef& source, int bits, int side) {
    if (count == 0) return;
    if (count == 4) {
      scratch_.tails[Stage(kAxis, bits)][side].Append(
          {{points[order[0]], points[order[2]], points[order[3]]}, 3, source.triangle, source.surface});
    }
    Route<kAxis + 1>(PieceRef{{points[order[0]], points[order[1]], points[order[2]]}, uint32_t(std::min(count, 3)),
                      source.triangle, source.surface},
                     bits);
  }

  // The tails of each plane split, once its input is through: x, then y, then z, so that
  // a split's tails reach the next plane after the rest of its output.
  void FlushTails() {
    for (int side = 0; side < 2; ++side) FlushStage<1>(scratch_.tails[0][side], side ? SideBit(0) : 0);
    for (int stage = 1; stage < 3; ++stage)
      for (int side = 0; side < 2; ++side)
        FlushStage<2>(scratch_.tails[stage][side], (stage - 1) << 2 | (side ? SideBit(1) : 0));
    for (int stage = 3; stage < 7; ++stage)
      for (int side = 0; side < 2; ++side)
        FlushStage<3>(scratch_.tails[stage][side], (stage - 3) << 1 | (side ? SideBit(2) : 0));
  }
  template <int kNextAxis>
  void FlushStage(const PieceList& list, int bits) {
    for (const TPolygonPiece& p : list.Pieces()) RouteStored<kNextAxis>(p, bits);
  }

  // Triangles of moderate meshes travel with their corners in lanes, each corner
  // classified once against all three planes; other pieces take Route.
  template <int kAxis>
  void RouteStored(const TPolygonPiece& p, int bits) {
    if (!kShortcut || p.vertex_count != 3) return Route<kAxis>(p, bits);
    const CellPoint corners[3] = {Classify(LoadCorner(p.vertices[0])), Classify(LoadCorner(p.vertices[1])),
                                  Classify(LoadCorner(p.vertices[2]))};
    RouteTriangle<kAxis>({{&corners[0], &corners[1], &corners[2]}, p.triangle, p.surface}, bits);
  }

  // Lane 3 of v is 0, as it is of offsets_.
  CellPoint Classify(const Lanes& v) const { return {v, PlanesBehind(offsets_ - v)}; }

  // Route for a triangle in lanes: the planes from kAxis on that leave it whole only add
  // their side; the first one that cuts it gets it.
  template <int kAxis>
  [[gnu::always_inline]] void RouteTriangle(const TriangleInFlight& t, int bits) {
    const CellPoint* const* c = t.corners;
    if constexpr (kAxis == 3) {
      scratch_.sets[bits].Append(c[0]->v, c[1]->v, c[2]->v, t.triangle, t.surface);
    } else {
      constexpr unsigned kLive = 7u & ~((1u << kAxis) - 1);
      const unsigned all = c[0]->behind & c[1]->behind & c[2]->behind & kLive;
      const unsigned any = (c[0]->behind | c[1]->behind | c[2]->behind) & kLive;
      if (all == any) {
        scratch_.sets[bits | kOctantOf[all]].Append(c[0]->v, c[1]->v, c[2]->v, t.triangle, t.surface);
        return;
      }
      const int first = __builtin_ctz(all ^ any);
      bits |= kOctantOf[all & ((1u << first) - 1)];
      if constexpr (kAxis <= 0) {
        if (first == 0) return CutTriangle<0>(t, bits);
      }
      if constexpr (kAxis <= 1) {
        if (first == 1) return CutTriangle<1>(t, bits);
      }
      CutTriangle<2>(t, bits);
    }
  }

  // Cut for a triangle in lanes: the same table entry, crossings and pieces. A crossing
  // off its edge sends the triangle to Cut.
  template <int kAxis>
  [[gnu::noinline]] void CutTriangle(const TriangleInFlight& t, int bits) {
    const CellPoint* const* c = t.corners;
    auto side = [&](const CellPoint& p) { return TPlane::SideOfDistance(offsets_[kAxis] - p.v[kAxis]); };
    const TriangleCut& cut = kTriangleCuts[size_t(SideCode(side(*c[0]), side(*c[1]), side(*c[2])))];
    CellPoint crossings[2];
    const CellPoint* points[6] = {c[0], c[1], c[2], &crossings[0], &crossings[1], &zero_point_};
    for (int m = 0; m < cut.crossings; ++m) {
      const CellPoint& a = *points[cut.crossing_ends[m][0]];
      const Lanes ab = points[cut.crossing_ends[m][1]]->v - a.v;
      const float along = PlaneCrossing(distances_[kAxis], a.v[kAxis], ab[kAxis]);
      if (!(along >= 0.0f && along <= 1.0f)) {
        TVector corners[3];
        for (int i = 0; i < 3; ++i) corners[i] = {c[i]->v[0], c[i]->v[1], c[i]->v[2]};
        return Cut<kAxis>({{&corners[0], &corners[1], &corners[2]}, 3, t.triangle, t.surface}, bits);
      }
      crossings[m] = Classify(a.v + ab * along);
    }
    EmitTriangle<kAxis>(points, cut.front, cut.front_count, t, bits, 0);
    EmitTriangle<kAxis>(points, cut.back, cut.back_count, t, bits | SideBit(kAxis), 1);
  }

  // Emit for a side's piece in lanes; pieces of 1 or 2 points take Route.
  template <int kAxis>
  [[gnu::always_inline]] void EmitTriangle(const CellPoint* const* points, const int* order, int count,
                                           const TriangleInFlight& source, int bits, int side) {
    if (count == 0) return;
    if (count < 3) {
      TVector corners[3];
      for (int i = 0; i < 3; ++i) {
        const Lanes& v = points[order[i]]->v;
        corners[i] = {v[0], v[1], v[2]};
      }
      return Route<kAxis + 1>(PieceRef{{&corners[0], &corners[1], &corners[2]}, uint32_t(count), source.triangle,
                                       source.surface},
                              bits);
    }
    if (count == 4) {
      scratch_.tails[Stage(kAxis, bits)][side].Append(points[order[0]]->v, points[order[2]]->v, points[order[3]]->v,
                                                      source.triangle, source.surface);
    }
    RouteTriangle<kAxis + 1>({{points[order[0]], points[order[1]], points[order[2]]}, source.triangle, source.surface},
                             bits);
  }
};

// ---- The builder ----------------------------------------------------------------------------

// What the builders of one tree may still make, shared between the threads of a build.

struct OctreeBudget {
  std::atomic<long> nodes{1};   // the root
  std::atomic<long> pieces{0};  // polygons held: in leaves and in sets not yet built
  long piece_limit = 0;
  std::atomic<bool> refused{false};  // a split was not made for lack of budget

  // Takes n of used; false, taking nothing, when that would pass the limit.
  static bool Take(std::atomic<long>& used, long n, long limit) {
    long now = used.load(std::memory_order_relaxed);
    do {
      if (now + n > limit) return false;
    } while (!used.compare_exchange_weak(now, now + n, std::memory_order_relaxed));
    return true;
  }
};

// Limits and running counts of one builder, and the scratch of each depth it splits at.
template <bool kShortcut>
struct OctreeBuilder {
  // max_levels as the build counts it (not 0); block_size: pieces per block of its store.
  OctreeBuilder(int max_polys, int max_levels, OctreeBudget* budget,
                std::shared_ptr<const TOctreeTriangles> triangles, size_t block_size)
      : max_polys(max_polys),
        max_levels(max_levels),
        budget(budget),
        triangles(std::move(triangles)),
        store(std::make_shared<TOctreePieceStore>(block_size, this->triangles)),
        levels(size_t(std::min(max_levels, kMaxOctreeDepth))) {}

  int max_polys = 0;
  int max_levels = 0;
  OctreeBudget* budget = nullptr;
  // Set in the builders of a build on several threads, whose budget runs in another
  // order than one builder's: a refusal there voids the build, so they stop splitting.
  bool stop_when_refused = false;
  int threads = 1;  // that build the root's children
  long kept = 0;    // pieces put in leaves
  std::shared_ptr<const TOctreeTriangles> triangles;
  std::shared_ptr<TOctreePieceStore> store;
  std::vector<LevelScratch> levels;  // one per split depth, never resized during a build

  void Build(TOctree& node, std::span<const TPolygonPiece> polys, int level) {
    if (Split(node, polys, level)) return;
    node.polygons.pieces = store->Keep(polys, node.polygons.number_room);
    node.polygons.store = store;
    kept += long(node.polygons.size());
  }

  // Splits the cell into eight children and builds them; false when it stays a leaf.
  bool Split(TOctree& node, std::span<const TPolygonPiece> polys, int level) {
    if (level + 1 > max_levels || level >= kMaxOctreeDepth) return false;
    if (stop_when_refused && budget->refused.load(std::memory_order_relaxed)) return false;
    if (budget->nodes.load(std::memory_order_relaxed) + 8 > kMaxOctreeNodes) return Refuse();
    if (!ReachesDistinctTriangles(polys, max_polys)) return false;

    LevelScratch& lv = levels[size_t(level)];
    CellRouter<kShortcut>(TVector::Create(node.centre_x, node.centre_y, node.centre_z), lv, polys.size())
        .RouteAll(polys);

    long made = 0;
    for (const auto& set : lv.sets) made += long(set.Size());
    if (!OctreeBudget::Take(budget->pieces, made - long(polys.size()), budget->piece_limit)) return Refuse();
    if (!OctreeBudget::Take(budget->nodes, 8, kMaxOctreeNodes)) return Refuse();

    node.children.resize(8);
    for (int i = 0; i < 8; ++i) {
      TOctree& child = node.children[size_t(i)];
      child.width = node.width / 2, child.height = node.height / 2, child.depth = node.depth / 2;
      child.centre_x = node.centre_x + (i & 4 ? node.width : -node.width) / 4;
      child.centre_y = node.centre_y + (i & 2 ? node.height : -node.height) / 4;
      child.centre_z = node.centre_z + (i & 1 ? node.depth : -node.depth) / 4;
    }
    if (level == 0 && threads > 1) {
      BuildChildrenOnThreads(node, lv);
    } else {
      for (int i = 0; i < 8; ++i) Build(node.children[size_t(i)], lv.sets[i].Pieces(), level + 1);
    }
    return true;
  }
  bool Refuse() {
    budget->refused.store(true, std::memory_order_relaxed);
    return false;
  }

  // The root's children, each built whole by one of up to `threads` builders. Their
  // subtrees are those one builder makes, as long as no split is refused: the budget is
  // then never short in any order (it only grows as children are built), and the caller
  // builds again on one thread otherwise.
  void BuildChildrenOnThreads(TOctree& node, const LevelScratch& lv) {
    std::atomic<int> next{0};
    std::vector<OctreeBuilder> builders;
    builders.reserve(size_t(threads));
    for (int i = 0; i < threads; ++i) {
      builders.emplace_back(max_polys, max_levels, budget, triangles, store->BlockSize());
      builders.back().stop_when_refused = true;
    }
    std::vector<std::exception_ptr> failures(builders.size());
    auto work = [&](size_t at) {
      OctreeBuilder& builder = builders[at];
      try {
        for (int i; (i = next.fetch_add(1, std::memory_order_relaxed)) < 8;)
          builder.Build(node.children[size_t(i)], lv.sets[i].Pieces(), 1);
      } catch (...) {
        failures[at] = std::current_exception();
        budget->refused.store(true, std::memory_order_relaxed);
      }
    };
    std::vector<std::thread> helpers;
    for (size_t at = 1; at < size_t(threads); ++at) {
      try {
        helpers.emplace_back(work, at);
      } catch (const std::system_error&) {
        break;  // the threads already started and this one share the children out
      }
    }
    work(0);
    for (std::thread& helper : helpers) helper.join();
    for (const std::exception_ptr& failure : failures)
      if (failure) std::rethrow_exception(failure);
    for (const OctreeBuilder& builder : builders) kept += builder.kept;
  }
};

// Meshes from this many triangles up build the root's children on several threads.
constexpr size_t kThreadedBuildTriangles = 16384;
constexpr int kMaxBuildThreads = 8;  // one per child of the root
std::atomic<int> chosen_build_threads{0};  // SetBuildThreads; 0: by the mesh's size

int BuildThreads(size_t triangles) {
  if (const int chosen = chosen_build_threads.load(std::memory_order_relaxed)) return chosen;
  const int cores = int(std::thread::hardware_concurrency());
  return triangles >= kThreadedBuildTriangles ? std::clamp(cores, 1, kMaxBuildThreads) : 1;
}

// Builds the tree below root (sized and centred), on several threads when the mesh is
// large. Returns the pieces put in leaves.
template <bool kShortcut>
long BuildTree(TOctree& root, const std::shared_ptr<const TOctreeTriangles>& triangles, int max_polys,
               int max_levels) {
  const std::vector<TPolygonPiece>& polys = triangles->whole;
  int threads = BuildThreads(polys.size());
  for (;;) {
    OctreeBudget budget;
    budget.pieces = long(polys.size());
    budget.piece_limit = long(polys.size()) * kOctreePiecesPerTriangle + kOctreePieceAllowance;
    // Blocks near the mesh's own size: small trees take little, large ones few blocks.
    constexpr size_t kMinBlock = 256, kMaxBlock = 1 << 11;
    OctreeBuilder<kShortcut> builder(max_polys, max_levels == 0 ? kOctreeUnlimitedLevels : max_levels, &budget,
                                     triangles, std::clamp(polys.size(), kMinBlock, kMaxBlock));
    builder.threads = threads;
    builder.Build(root, polys, 0);
    if (threads == 1 || !budget.refused) return builder.kept;
    root.children.clear();  // the budget ran out: which splits it allows depends on the order
    threads = 1;
  }
}

}  // namespace

// ---- CreateOctree ---------------------------------------------------------------------------

int TOctree::SetBuildThreads(int threads) {
  return chosen_build_threads.exchange(std::clamp(threads, 0, kMaxBuildThreads), std::memory_order_relaxed);
}

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
  auto root = std::make_shared<TOctree>();
  root->width = mesh->MeshWidth();
  root->height = mesh->MeshHeight();
  root->depth = mesh->MeshDepth();
  root->centre_x = mesh->bounds_min_x + root->width / 2;
  root->centre_y = mesh->bounds_min_y + root->height / 2;
  root->centre_z = mesh->bounds_min_z + root->depth / 2;

  auto surfaces = std::make_shared<std::vector<SurfacePtr>>();
  for (const SurfacePtr& s : *mesh->surfaces) surfaces->push_back(s);
  auto triangles = std::make_shared<TOctreeTriangles>();
  // A piece lies within the plane tolerance of its cell, give or take the rounding of the
  // cuts that made it, which grows with the size of the coordinates.
  constexpr float kCutRounding = 1.0f / 65536;
  const float lo[3] = {root->centre_x - root->width / 2, root->centre_y - root->height / 2,
                       root->centre_z - root->depth / 2};
  const float hi[3] = {root->centre_x + root->width / 2, root->centre_y + root->height / 2,
                       root->centre_z + root->depth / 2};
  float extent = 0;
  for (int i = 0; i < 3; ++i) extent = std::max({extent, std::fabs(lo[i]), std::fabs(hi[i])});
  triangles->margin = 2 * kPlaneTolerance + extent * kCutRounding;
  const float m = triangles->margin;
  bool moderate = false, inside = false;
  triangles->whole = MeshToPieces(*surfaces, {lo[0] - m, lo[1] - m, lo[2] - m}, {hi[0] + m, hi[1] + m, hi[2] + m},
                                  moderate, inside);
  triangles->cells_hold_triangles = inside && std::isfinite(m);
  triangles->first.resize(surfaces->size());
  for (size_t i = 0, at = 0; i < surfaces->size(); ++i) {
    triangles->first[i] = uint32_t(at);
    at += size_t(std::max((*surfaces)[i]->CountTriangles(), 0));
  }
  triangles->surfaces = std::move(surfaces);
  triangles->PrepareQueries();
  const int count = int(std::min(triangles->whole.size(), size_t(1) << 30));
  const long kept = moderate ? BuildTree<true>(*root, triangles, max_polys, max_levels)
                             : BuildTree<false>(*root, triangles, max_polys, max_levels);
  no_polys_octree += int(kept);

  mesh->octree = std::move(root);
  no_polys_mesh = count;
  return 0;
}
