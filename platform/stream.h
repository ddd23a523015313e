// Read streams with little-endian reads, over a file or a block of memory.
//
// A read past the end delivers zero bytes (ReadByte gives 0, ReadInt 0, ReadFloat 0.0)
// and sets Overrun(); callers that must not go past the end check BytesLeft() first.
// The whole file is read into memory on open: model and image files are read front to
// back once, and seeking stays cheap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TStream {
 public:
  // Null when the path is not a readable regular file.
  static std::shared_ptr<TStream> OpenFile(const std::string& path);
  static std::shared_ptr<TStream> FromMemory(std::vector<uint8_t> bytes);

  int ReadByte();      // 0..255
  int32_t ReadInt();   // 32-bit little-endian
  int64_t ReadLong();  // 64-bit little-endian
  float ReadFloat();   // IEEE single, little-endian
  // Copies up to n bytes; returns how many were there. Missing bytes are zero-filled.
  size_t ReadBytes(void* out, size_t n);

  int64_t Pos() const { return static_cast<int64_t>(pos_); }
  int64_t Size() const { return static_cast<int64_t>(data_.size()); }
  int64_t BytesLeft() const { return static_cast<int64_t>(data_.size() - pos_); }
  bool Eof() const { return pos_ >= data_.size(); }
  bool Overrun() const { return overrun_; }
  // Clamped to 0..Size(); returns the new position.
  int64_t Seek(int64_t pos);
  void Close();

 private:
  explicit TStream(std::vector<uint8_t> bytes) : data_(std::move(bytes)) {}
  std::vector<uint8_t> data_;
  size_t pos_ = 0;
  bool overrun_ = false;
};
