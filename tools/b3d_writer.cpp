// The B3D writer for tests: little-endian fields, nested chunks, and the temp paths.
#include "tools/b3d_writer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>

TB3dWriter& TB3dWriter::Begin(const std::string& tag) {
  Raw(tag.substr(0, 4));
  open_.push_back(bytes_.size());
  length_fields_.push_back(bytes_.size());
  return Int(0);
}

TB3dWriter& TB3dWriter::End() {
  if (open_.empty()) return *this;
  const size_t at = open_.back();
  return EndWithLength(int32_t(bytes_.size() - at - 4));
}

TB3dWriter& TB3dWriter::EndWithLength(int32_t length) {
  if (open_.empty()) return *this;
  Patch(open_.back(), length);
  open_.pop_back();
  return *this;
}

void TB3dWriter::Patch(size_t at, int32_t v) {
  const uint32_t u = uint32_t(v);
  for (int i = 0; i < 4; ++i) bytes_[at + size_t(i)] = uint8_t(u >> (8 * i));
}

TB3dWriter& TB3dWriter::Int(int32_t v) {
  bytes_.resize(bytes_.size() + 4);
  Patch(bytes_.size() - 4, v);
  return *this;
}

TB3dWriter& TB3dWriter::Float(float v) {
  int32_t bits;
  std::memcpy(&bits, &v, 4);
  return Int(bits);
}

TB3dWriter& TB3dWriter::Floats(const std::vector<float>& v) {
  for (float f : v) Float(f);
  return *this;
}

TB3dWriter& TB3dWriter::String(const std::string& s) {
  Raw(s);
  bytes_.push_back(0);
  return *this;
}

TB3dWriter& TB3dWriter::Raw(const std::string& bytes) {
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  return *this;
}

TB3dWriter& TB3dWriter::Header(int32_t version, const std::string& tag) {
  Begin(tag);
  return Int(version);
}

TB3dWriter& TB3dWriter::BeginNode(const std::string& name, std::vector<float> position,
                                  std::vector<float> scale, std::vector<float> quat) {
  Begin("NODE").String(name);
  position.resize(3), scale.resize(3), quat.resize(4);
  return Floats(position).Floats(scale).Floats(quat);
}

TB3dWriter& TB3dWriter::Texs(const std::vector<B3dTexture>& textures) {
  Begin("TEXS");
  for (const B3dTexture& t : textures) {
    String(t.file).Int(t.flags).Int(t.blend).Floats({t.u, t.v, t.u_scale, t.v_scale, t.angle});
  }
  return End();
}

TB3dWriter& TB3dWriter::Brus(int texture_count, const std::vector<B3dBrush>& brushes) {
  Begin("BRUS").Int(texture_count);
  for (const B3dBrush& b : brushes) {
    String(b.name).Floats({b.red, b.green, b.blue, b.alpha, b.shininess}).Int(b.blend).Int(b.fx);
    for (int id : b.textures) Int(id);
  }
  return End();
}

TB3dWriter& TB3dWriter::BeginMesh(int brush) { return Begin("MESH").Int(brush); }

TB3dWriter& TB3dWriter::Vrts(int flags, int set_count, int set_size, const std::vector<float>& floats) {
  return Begin("VRTS").Int(flags).Int(set_count).Int(set_size).Floats(floats).End();
}

TB3dWriter& TB3dWriter::Tris(int brush, const std::vector<int>& corners) {
  Begin("TRIS").Int(brush);
  for (int c : corners) Int(c);
  return End();
}

TB3dWriter& TB3dWriter::Anim(int frames, float fps, int flags) {
  return Begin("ANIM").Int(flags).Int(frames).Float(fps).End();
}

TB3dWriter& TB3dWriter::Bone(const std::vector<std::pair<int, float>>& weights) {
  Begin("BONE");
  for (const auto& [vertex, weight] : weights) Int(vertex).Float(weight);
  return End();
}

TB3dWriter& TB3dWriter::Keys(int flags, const std::vector<B3dKey>& keys) {
  Begin("KEYS").Int(flags);
  for (const B3dKey& k : keys) Int(k.frame).Floats(k.values);
  return End();
}

TB3dWriter& TB3dWriter::Finish() {
  while (!open_.empty()) End();
  return *this;
}

std::vector<uint8_t> TB3dWriter::Truncated(size_t keep) const {
  return std::vector<uint8_t>(bytes_.begin(), bytes_.begin() + std::min(keep, bytes_.size()));
}

std::vector<uint8_t> TB3dWriter::WithLength(size_t chunk, int32_t length) const {
  std::vector<uint8_t> bytes = bytes_;
  if (chunk >= length_fields_.size()) return bytes;
  for (int i = 0; i < 4; ++i) bytes[length_fields_[chunk] + size_t(i)] = uint8_t(uint32_t(length) >> (8 * i));
  return bytes;
}

std::vector<uint8_t> TB3dWriter::WithJunk(size_t offset, const std::string& junk) const {
  std::vector<uint8_t> bytes = bytes_;
  bytes.insert(bytes.begin() + std::ptrdiff_t(std::min(offset, bytes.size())), junk.begin(), junk.end());
  return bytes;
}

bool TB3dWriter::Save(const std::string& path, size_t keep) const {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  const size_t n = std::min(keep, bytes_.size());
  out.write(reinterpret_cast<const char*>(bytes_.data()), std::streamsize(n));
  return bool(out);
}

namespace {
std::string TempRoot() {
  const char* env = std::getenv("VELMORA_TEST_TMP");
  std::string root = env && *env ? env : "tmp";
  mkdir(root.c_str(), 0755);
  return root;
}
}  // namespace

std::string TestTempPath(const std::string& name) {
  return TempRoot() + "/" + std::to_string(getpid()) + "_" + name;
}

std::string TestTempDir(const std::string& name) {
  const std::string dir = TestTempPath(name);
  mkdir(dir.c_str(), 0755);
  return dir;
}
