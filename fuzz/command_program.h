// The byte code of fuzz_commands: an input is a program of commands over small tables
// of live handles. Shared by the target, which decodes it, and by its seed generator,
// which writes a few meaningful programs in it.
//
// Each command is an opcode byte (taken modulo kOpCount) followed by its arguments.
// Every argument is read by one of the readers below; past the end of the input every
// reader gives 0, so any bytes are a program.
#pragma once

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>

namespace command_program {

enum Op : uint8_t {
  kCreatePivot,      // slot, parent slot
  kCreateMesh,       // slot, parent slot
  kCreatePrimitive,  // slot, kind, segments int, solid int, parent slot
  kCreateCamera,     // slot, parent slot
  kCreateLight,      // slot, type int, parent slot
  kCreateSprite,     // slot, parent slot
  kCopyEntity,       // slot, source slot, parent slot
  kCopyMesh,         // slot, source slot, parent slot
  kFreeEntity,       // slot (the handle is kept)
  kEntityParent,     // slot, parent slot, global int
  kTransform,        // kind, slot, x, y, z floats, global int
  kPointEntity,      // slot, target slot, roll float
  kEntityState,      // kind, slot, int, float, float, float
  kCreateSurface,    // surface slot, mesh slot, brush slot
  kGetSurface,       // surface slot, mesh slot, index int
  kAddVertex,        // surface slot, x, y, z, u, v floats
  kAddTriangle,      // surface slot, three ints
  kVertexEdit,       // kind, surface slot, vertex int, four floats
  kClearSurface,     // surface slot, two ints
  kCreateBrush,      // brush slot, three floats
  kBrushEdit,        // kind, brush slot, texture slot, int, int, float
  kPaint,            // kind, slot, surface slot, brush slot
  kDropBrush,        // brush slot
  kCreateTexture,    // texture slot, side, side, flags, frames
  kFreeTexture,      // texture slot (the handle is kept)
  kDropTexture,      // texture slot
  kTextureEdit,      // kind, texture slot, int, float, float
  kEntityTexture,    // slot, texture slot, frame int, layer int
  kMeshEdit,         // kind, slot, other slot, brush slot, six floats
  kPickMode,         // slot, mode int, obscurer int
  kPick,             // kind, slot, other slot, seven floats
  kCollisionSetup,   // kind, slot, type int, ints and floats
  kUpdateWorld,      // speed float
  kCreateOctree,     // slot, polygons, levels
  kCameraEdit,       // kind, slot, four ints, three floats
  kLightEdit,        // kind, slot, three floats
  kWorldEdit,        // kind, int, int, three floats
  kAnimate,          // kind, slot, ints and floats
  kHierarchyRead,    // kind, slot, from slot, index int
  kRender,           // nothing
  kGrowChain,        // slot, parent slot, length int: a chain of pivots, the deepest into slot
  kGrowSurfaces,     // mesh slot, count int: that many empty surfaces
  kIndexLoop,        // kind, slot: every child (or surface) read by index, 1 to the count
  kOpCount
};

constexpr int kEntitySlots = 8;
constexpr int kSurfaceSlots = 8;
constexpr int kBrushSlots = 4;
constexpr int kTextureSlots = 4;

// Special values an argument byte below kSpecialBytes picks; bytes up to kRawByte give
// small values; kRawByte and above take the next four bytes as they are.
constexpr uint8_t kSpecialBytes = 32;
constexpr uint8_t kRawByte = 224;

inline constexpr int kSpecialInts[] = {0, 1, -1, 2, 3, 7, 8, 255, 256, 65535, 65536, -65536,
                                       1000000, INT_MAX, INT_MIN, INT_MAX - 1, INT_MIN + 1};
inline const float kSpecialFloats[] = {0.0f, 1.0f, -1.0f, 0.5f, 90.0f, 180.0f, 360.0f, -90.0f,
                                       1e-30f, 1e30f, -1e30f, FLT_MAX, -FLT_MAX, FLT_MIN, 1e-45f,
                                       std::numeric_limits<float>::infinity(),
                                       -std::numeric_limits<float>::infinity(),
                                       std::numeric_limits<float>::quiet_NaN(), -0.0f, 255.0f, 1e6f};

class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool AtEnd() const { return at_ >= size_; }
  uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  int Small(int n) { return Byte() % n; }
  // A handle slot, or `slots` for the null handle.
  int Slot(int slots) { return Small(slots + 1); }
  int Int() {
    const uint8_t b = Byte();
    if (b < kSpecialBytes) return kSpecialInts[b % std::size(kSpecialInts)];
    if (b < kRawByte) return int(b) - 64;
    uint32_t raw = Raw();
    int out;
    std::memcpy(&out, &raw, sizeof out);
    return out;
  }
  float Float() {
    const uint8_t b = Byte();
    if (b < kSpecialBytes) return kSpecialFloats[b % std::size(kSpecialFloats)];
    if (b < kRawByte) return float(int(b) - 128) * 0.25f;
    uint32_t raw = Raw();
    float out;
    std::memcpy(&out, &raw, sizeof out);
    return out;
  }

 private:
  uint32_t Raw() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t(Byte()) << (8 * i);
    return v;
  }
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

// The bytes that read back as a small int (-32..159) or a small float (-24..23.75, in
// quarters); the seed generator writes arguments with them.
constexpr uint8_t SmallIntByte(int v) { return uint8_t(v + 64); }
constexpr uint8_t SmallFloatByte(float v) { return uint8_t(int(v * 4.0f) + 128); }

}  // namespace command_program
