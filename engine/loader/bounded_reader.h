// TBoundedReader: the one way loaders read untrusted files.
//
// Every count, offset and size a file states is checked here against the bytes left in
// its region and against a named ceiling before anything is allocated or indexed, and
// what a load allocates on the file's word is charged to a memory budget. The checks
// are plain code, never assert: they hold in release builds too.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/stream.h"

// ---- Loader ceilings -------------------------------------------------------------------
// Deepest NODE nesting of a model: the reader's stack of node ends, and the recursive
// walks over the result (free, collapse, transform updates) stay this shallow.
constexpr int kB3dMaxNodeDepth = 100;
// Vertices in one VRTS chunk: triangles address a surface's vertices with 16 bits.
constexpr int64_t kB3dMaxChunkVertices = 65536;
// Texture coordinate sets per vertex: one per texture layer is the most a material uses.
constexpr int kB3dMaxTexCoordSets = 8;
// Floats per texture coordinate set: u, v, w and one spare, as exporters write them.
constexpr int kB3dMaxTexCoordSize = 4;
// Animation frames: about half an hour at 60 frames per second, and every bone holds
// eleven key arrays of this length.
constexpr int kB3dMaxFrames = 100000;
// Texture entries in one file, all its TEXS chunks together: each one may search the
// disk and looks through the texture cache, and real models name a handful.
constexpr int kB3dMaxTextures = 4096;
// What one load may allocate for what a file describes: far above any model the
// previewer shows, far below the machine's memory, so a small hostile file cannot
// multiply itself into gigabytes (a TRIS chunk of twelve bytes copies a whole VRTS).
constexpr int64_t kLoaderMemoryBudget = int64_t(256) << 20;
// What the first texture of each image a load names may take, all together (the decoded
// image and its upload): apart from the budget above, since it is what loading those
// images costs anyway and real models name a few large ones, but bounded, so a small
// file naming thousands of images on the disk stops instead of taking tens of gigabytes.
constexpr int64_t kLoaderTextureBudget = int64_t(1) << 30;

class TBoundedReader {
 public:
  // invalid_message: the fatal error of this loader for a file it cannot accept.
  TBoundedReader(std::shared_ptr<TStream> stream, std::string invalid_message,
                 int64_t memory_budget = kLoaderMemoryBudget);

  TStream& Stream() { return *stream_; }
  int64_t Pos() const { return stream_->Pos(); }
  int64_t Size() const { return stream_->Size(); }
  bool AtEnd() const { return stream_->Eof(); }
  void Seek(int64_t pos) { stream_->Seek(pos); }

  // The end of a region of length bytes starting here. Added in 64 bits, so a length
  // near 2^31 cannot wrap, and clamped to Pos()..Size(): a negative length is an empty
  // region, one past the file's end stops at it.
  int64_t RegionEnd(int64_t length) const;
  // Bytes from here to end (0 when end is behind).
  int64_t Left(int64_t end) const { return end > Pos() ? end - Pos() : 0; }
  bool Fits(int64_t bytes, int64_t end) const { return bytes >= 0 && bytes <= Left(end); }
  // How many whole records of record_bytes (> 0) lie between here and end.
  int64_t RecordsBefore(int64_t record_bytes, int64_t end) const;
  // A count read from the file: within 0..ceiling, and count records of item_bytes
  // fit before end.
  bool CountFits(int64_t count, int64_t item_bytes, int64_t ceiling, int64_t end) const;
  static bool InRange(int64_t index, int64_t count) { return index >= 0 && index < count; }

  int ReadByte() { return stream_->ReadByte(); }
  int32_t ReadInt() { return stream_->ReadInt(); }
  float ReadFloat() { return stream_->ReadFloat(); }
  // n little-endian floats in one read; callers check the n first.
  void ReadFloats(float* out, int64_t n);
  // A zero-terminated string whose terminator lies before end. Without one, returns
  // false and leaves the position at end (clamped to the file).
  bool ReadString(int64_t end, std::string& out);

  // Records that the load is about to allocate bytes; a load that would pass its
  // budget stops with the fatal message.
  void Charge(int64_t bytes);
  int64_t Charged() const { return charged_; }

  [[noreturn]] void Invalid() const;  // RuntimeError(invalid message)
  void Require(bool ok) const {
    if (!ok) Invalid();
  }

 private:
  std::shared_ptr<TStream> stream_;
  std::string invalid_message_;
  int64_t budget_;
  int64_t charged_ = 0;
};
