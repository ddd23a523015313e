// Little-endian read streams.
#include "platform/stream.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sys/stat.h>

std::shared_ptr<TStream> TStream::OpenFile(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
  std::ifstream in(path, std::ios::binary);
  if (!in) return nullptr;
  std::vector<uint8_t> bytes(static_cast<size_t>(st.st_size));
  if (!bytes.empty() && !in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size())))
    return nullptr;
  return std::shared_ptr<TStream>(new TStream(std::move(bytes)));
}

std::shared_ptr<TStream> TStream::FromMemory(std::vector<uint8_t> bytes) {
  return std::shared_ptr<TStream>(new TStream(std::move(bytes)));
}

size_t TStream::ReadBytes(void* out, size_t n) {
  size_t have = std::min(n, data_.size() - pos_);
  if (have) std::memcpy(out, data_.data() + pos_, have);
  if (have < n) {
    std::memset(static_cast<uint8_t*>(out) + have, 0, n - have);
    overrun_ = true;
  }
  pos_ += have;
  return have;
}

int TStream::ReadByte() {
  uint8_t b = 0;
  ReadBytes(&b, 1);
  return b;
}

int32_t TStream::ReadInt() {
  uint8_t b[4];
  ReadBytes(b, 4);
  return static_cast<int32_t>(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24);
}

int64_t TStream::ReadLong() {
  uint8_t b[8];
  ReadBytes(b, 8);
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = v << 8 | b[i];
  return static_cast<int64_t>(v);
}

float TStream::ReadFloat() {
  uint32_t bits = static_cast<uint32_t>(ReadInt());
  float f;
  std::memcpy(&f, &bits, 4);
  return f;
}

int64_t TStream::Seek(int64_t pos) {
  pos_ = static_cast<size_t>(std::clamp<int64_t>(pos, 0, Size()));
  return Pos();
}

void TStream::Close() {
  data_.clear();
  data_.shrink_to_fit();
  pos_ = 0;
}
