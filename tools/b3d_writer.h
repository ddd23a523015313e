// TB3dWriter: builds B3D model files, in the layout the model reader reads, for the
// previewer's assets, the tests, the fuzz seeds and the benchmark. Chunks nest; each
// length is patched when its chunk closes. Knobs break a file on purpose: a wrong length, junk bytes, truncation.
// Needs nothing but the standard library, so the fuzz seed generator links it alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct B3dTexture {
  B3dTexture(std::string file_name = "", int flags_ = 1, int blend_ = 2, float u_ = 0, float v_ = 0,
             float u_scale_ = 1, float v_scale_ = 1, float angle_ = 0)
      : file(std::move(file_name)),
        flags(flags_),
        blend(blend_),
        u(u_),
        v(v_),
        u_scale(u_scale_),
        v_scale(v_scale_),
        angle(angle_) {}
  std::string file;
  int flags;
  int blend;
  float u, v, u_scale, v_scale, angle;
};

struct B3dBrush {
  B3dBrush(std::string name_ = "", float red_ = 1, float green_ = 1, float blue_ = 1, float alpha_ = 1,
           float shininess_ = 0, int blend_ = 1, int fx_ = 0, std::vector<int> textures_ = {})
      : name(std::move(name_)),
        red(red_),
        green(green_),
        blue(blue_),
        alpha(alpha_),
        shininess(shininess_),
        blend(blend_),
        fx(fx_),
        textures(std::move(textures_)) {}
  std::string name;
  float red, green, blue, alpha, shininess;
  int blend, fx;
  std::vector<int> textures;  // as many as the BRUS chunk's texture count
};

struct B3dKey {
  int frame = 0;
  std::vector<float> values;  // position, scale, rotation (w, x, y, z) as the flags say
};

class TB3dWriter {
 public:
  // ---- Raw pieces ----
  TB3dWriter& Begin(const std::string& tag);  // tag and a length that End patches
  TB3dWriter& End();
  TB3dWriter& EndWithLength(int32_t length);  // knob: this length instead of the true one
  TB3dWriter& Int(int32_t v);
  TB3dWriter& Float(float v);
  TB3dWriter& Floats(const std::vector<float>& v);
  TB3dWriter& String(const std::string& s);   // zero-terminated
  TB3dWriter& Raw(const std::string& bytes);  // knob: junk, or a chunk written by hand

  // ---- The format's chunks ----
  // Opens "BB3D" with the version; Finish closes it.
  TB3dWriter& Header(int32_t version = 1, const std::string& tag = "BB3D");
  TB3dWriter& BeginNode(const std::string& name, std::vector<float> position = {0, 0, 0},
                        std::vector<float> scale = {1, 1, 1}, std::vector<float> quat = {1, 0, 0, 0});
  TB3dWriter& Texs(const std::vector<B3dTexture>& textures);
  TB3dWriter& Brus(int texture_count, const std::vector<B3dBrush>& brushes);
  TB3dWriter& BeginMesh(int brush = -1);
  // floats: every vertex's fields in file order (position, normal, colour, sets).
  TB3dWriter& Vrts(int flags, int set_count, int set_size, const std::vector<float>& floats);
  TB3dWriter& Tris(int brush, const std::vector<int>& corners);
  TB3dWriter& Anim(int frames, float fps = 60, int flags = 0);
  TB3dWriter& Bone(const std::vector<std::pair<int, float>>& weights);
  TB3dWriter& Keys(int flags, const std::vector<B3dKey>& keys);

  // Closes every chunk still open, with true lengths.
  TB3dWriter& Finish();
  const std::vector<uint8_t>& Bytes() const { return bytes_; }
  // knob: the first keep bytes only.
  std::vector<uint8_t> Truncated(size_t keep) const;
  // knob: the bytes with the length of the index-th chunk opened (the header is 0)
  // replaced.
  std::vector<uint8_t> WithLength(size_t chunk, int32_t length) const;
  size_t ChunkCount() const { return length_fields_.size(); }
  // knob: the bytes with junk inserted at offset.
  std::vector<uint8_t> WithJunk(size_t offset, const std::string& junk) const;
  // Writes the bytes (or the first keep of them) to path; false on a write error.
  bool Save(const std::string& path, size_t keep = SIZE_MAX) const;

 private:
  void Patch(size_t at, int32_t v);
  std::vector<uint8_t> bytes_;
  std::vector<size_t> open_;           // offsets of the open chunks' length fields
  std::vector<size_t> length_fields_;  // of every chunk, in opening order
};

// A fresh path for a test's temporary file: under $VELMORA_TEST_TMP (or ./tmp), with
// the process id in the name so that tests running at once never share a file.
std::string TestTempPath(const std::string& name);
// A directory next to those files, created on demand.
std::string TestTempDir(const std::string& name);
