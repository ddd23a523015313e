// The bounded reader: region ends, count checks, bounded strings and the memory budget.
#include "engine/loader/bounded_reader.h"

#include <algorithm>
#include <cstring>

#include "platform/runtime.h"

TBoundedReader::TBoundedReader(std::shared_ptr<TStream> stream, std::string invalid_message,
                               int64_t memory_budget)
    : stream_(std::move(stream)), invalid_message_(std::move(invalid_message)), budget_(memory_budget) {}

int64_t TBoundedReader::RegionEnd(int64_t length) const {
  const int64_t pos = Pos();
  if (length <= 0) return pos;
  return std::min(pos + length, Size());
}

int64_t TBoundedReader::RecordsBefore(int64_t record_bytes, int64_t end) const {
  return record_bytes > 0 ? Left(end) / record_bytes : 0;
}

bool TBoundedReader::CountFits(int64_t count, int64_t item_bytes, int64_t ceiling, int64_t end) const {
  if (count < 0 || count > ceiling || item_bytes < 0) return false;
  // Divide rather than multiply: count x item_bytes could pass 2^63 for a wild ceiling.
  return item_bytes == 0 || count <= Left(end) / item_bytes;
}

void TBoundedReader::ReadFloats(float* out, int64_t n) {
  static_assert(sizeof(float) == 4);
  uint8_t bytes[1024];  // a few vertices at a time, without a heap buffer per call
  while (n > 0) {
    const int64_t step = std::min<int64_t>(n, sizeof bytes / 4);
    stream_->ReadBytes(bytes, size_t(step) * 4);
    for (int64_t i = 0; i < step; ++i) {
      const uint8_t* b = &bytes[i * 4];
      const uint32_t bits =
          uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
      std::memcpy(&out[i], &bits, 4);
    }
    out += step;
    n -= step;
  }
}

bool TBoundedReader::ReadString(int64_t end, std::string& out) {
  out.clear();
  end = std::min(end, Size());
  while (Pos() < end) {
    const int c = ReadByte();
    if (c == 0) return true;
    out.push_back(char(c));
  }
  return false;
}

void TBoundedReader::Charge(int64_t bytes) {
  if (bytes < 0 || bytes > budget_ - charged_) Invalid();
  charged_ += bytes;
}

void TBoundedReader::Invalid() const { RuntimeError(invalid_message_); }
