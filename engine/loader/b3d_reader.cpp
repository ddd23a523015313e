// The B3D reader: header, the chunk loop, one handler per chunk, and the building of
// meshes, bones, surfaces, brushes and keys.
//
// How the file is distrusted (every rule holds in release builds):
// - Each chunk's length bounds its body, computed in 64 bits and clamped to the file.
//   Repeated entries end at the body's end, never beyond; a trailing partial entry and
//   any bytes left in a leaf chunk are skipped. Bytes between chunks that begin no known
//   tag are skipped one at a time. NODE and MESH hold further chunks, which the main
//   loop reads; NODE lengths also give the nesting.
// - Fatal "Invalid b3d file" for what no sane file does and the engine cannot hold:
//   nesting beyond kB3dMaxNodeDepth, a VRTS chunk beyond kB3dMaxChunkVertices, a load
//   that passes kLoaderMemoryBudget.
// - Skipped, with the rest of the file read as usual: a chunk without the chunk it needs
//   (VRTS and TRIS without their MESH, TRIS without its VRTS, a second VRTS in a mesh,
//   KEYS without a BONE in their node), a VRTS chunk with more than kB3dMaxTexCoordSets
//   coordinate sets or sets above kB3dMaxTexCoordSize, an ANIM frame count outside
//   0..kB3dMaxFrames, TEXS entries past the file's kB3dMaxTextures-th, a BRUS texture
//   count that cannot fit, a node whose header does not fit (with its subtree); a
//   triangle or bone weight naming a vertex outside the mesh's VRTS; a key whose frame
//   is outside its bone's key arrays; texture ids past the brush's kMaxTextureLayers.
// - Ids outside their tables (-2 and below, the count and above) mean "none", as -1.
#include "engine/loader/b3d_reader.h"

#include <algorithm>
#include <array>
#include <memory>
#include <new>
#include <set>

#include "engine/loader/bounded_reader.h"
#include "engine/math/quaternion.h"
#include "engine/mesh/animation.h"
#include "engine/mesh/bone.h"
#include "engine/mesh/brush.h"
#include "engine/mesh/mesh.h"
#include "engine/mesh/surface.h"
#include "engine/mesh/texture.h"
#include "platform/file.h"
#include "platform/runtime.h"
#include "platform/stream.h"

static_assert(kB3dMaxChunkVertices == int64_t(kMaxVertexIndex) + 1,
              "a chunk holds no more vertices than 16-bit triangle corners can name");

namespace {

const char* const kInvalidFile = "Invalid b3d file";

// VRTS flags.
constexpr int kVrtsNormals = 1;
constexpr int kVrtsColours = 2;
// TEXS flag bit that selects texture coordinate set 1; not a texture flag.
constexpr int kTexsCoordSet1 = 0x10000;

// Budget charges: rough heap sizes of what the file makes beyond its own bytes.
constexpr int64_t kEntityCost = 2304;  // an entity with its brush, lists and links (a bone: 2.2 KB measured)
constexpr int64_t kSurfaceCost = 512;
constexpr int64_t kBrushCost = 512;
constexpr int64_t kSurfaceVertexBytes = 14 * 4;  // position, two uv sets, normal, colour
constexpr int64_t kAnimVertexBytes = 3 * 4;      // positions only
constexpr int64_t kKeyFrameBytes = 11 * 4;       // the eleven key arrays

// Sizes of fixed fields.
constexpr int64_t kNodeHeaderFloats = 10;  // position 3, scale 3, quaternion 4
constexpr int64_t kTexsFields = 7 * 4;     // flags, blend, 5 floats
constexpr int64_t kBrusFields = 7 * 4;     // 4 colour floats, shininess, blend, fx

// Restores the working directory however the load ends (a fatal error throws in tests).
class DirGuard {
 public:
  explicit DirGuard(std::string saved) : saved_(std::move(saved)) {}
  ~DirGuard() { ChangeDir(saved_); }
  DirGuard(const DirGuard&) = delete;
  DirGuard& operator=(const DirGuard&) = delete;

 private:
  std::string saved_;
};

struct NodeValues {
  std::string name;
  float x = 0, y = 0, z = 0;  // as in the file
  float sx = 0, sy = 0, sz = 0;
  float pitch = 0, yaw = 0, roll = 0;  // pitch stored negated, as TEntity keeps it
  float qw = 0, qx = 0, qy = 0, qz = 0;

  // The entity's name and local fields from the node, in the engine's terms: z
  // negated, the angles as worked out above, the quaternion as the file has it.
  void ApplyTo(TEntity& e) const {
    e.name = name;
    e.pos_x = x, e.pos_y = y, e.pos_z = -z;
    e.scale_x = sx, e.scale_y = sy, e.scale_z = sz;
    e.pitch = pitch, e.yaw = yaw, e.roll = roll;
    e.quat_w = qw, e.quat_x = qx, e.quat_y = qy, e.quat_z = qz;
  }
};

// A loaded bone rests where its node puts it: the rest fields take its local fields.
void RestAtFields(TBone& b) {
  b.rest_pos_x = b.pos_x, b.rest_pos_y = b.pos_y, b.rest_pos_z = b.pos_z;
  b.rest_scale_x = b.scale_x, b.rest_scale_y = b.scale_y, b.rest_scale_z = b.scale_z;
  b.rest_pitch = b.pitch, b.rest_yaw = b.yaw, b.rest_roll = b.roll;
  b.rest_quat_w = b.quat_w, b.rest_quat_x = b.quat_x, b.rest_quat_y = b.quat_y, b.rest_quat_z = b.quat_z;
}

class B3dLoad {
 public:
  B3dLoad(std::shared_ptr<TStream> stream, EntityPtr parent, bool load_textures)
      : in_(std::move(stream), kInvalidFile), parent_(std::move(parent)), load_textures_(load_textures) {
    textures_made_.charge = [this](int64_t bytes) { in_.Charge(bytes); };
    textures_made_.charge_image = [this](int64_t bytes) {
      image_bytes_ += bytes;
      in_.Require(image_bytes_ <= kLoaderTextureBudget);
    };
  }

  TModelParts Run();

 private:
  void Chunks();
  void Header();
  void Nest(int64_t body, int32_t length);
  void Texs(int64_t end);
  void Brus(int64_t end);
  void Node(int64_t end);
  void Mesh(int64_t end);
  void Vrts(int64_t end);
  void Tris(int64_t end);
  void Anim(int64_t end);
  void Bone(int64_t end);
  void Keys(int64_t end);

  void SkipTo(int64_t end) { in_.Seek(std::max(end, in_.Pos())); }
  std::string PeekTag() { return TModel::ReadTag(in_.Stream()); }
  BrushPtr BrushAt(int id) const {
    return TBoundedReader::InRange(id, int64_t(brushes_.size())) ? brushes_[size_t(id)] : nullptr;
  }
  int BrushId(int32_t id) const { return TBoundedReader::InRange(id, int64_t(brushes_.size())) ? id : -1; }
  void Place(const EntityPtr& entity, bool is_mesh);
  MeshPtr MakeMesh();
  void EndMesh();
  void ReleaseUnheldTextures();
  // An entity's fixed cost plus the node name it copies: one long name before many
  // entities must not multiply unseen.
  void ChargeEntity() { in_.Charge(kEntityCost + int64_t(node_.name.size())); }

  TBoundedReader in_;
  EntityPtr parent_;
  bool load_textures_;
  TModelParts parts_;

  std::string tag_, prev_tag_;
  int level_ = -1;
  std::array<int64_t, kB3dMaxNodeDepth> node_end_{};
  // The entity each open node made, null while it has made none; the nearest non-null
  // one below the current level is the parent of what the current node makes.
  std::array<EntityPtr, kB3dMaxNodeDepth> node_entity_{};
  NodeValues node_;

  std::vector<TexturePtr> textures_;
  int64_t texs_entries_ = 0;  // TEXS entries read so far, in every chunk
  std::vector<BrushPtr> brushes_;
  TTextureBatch textures_made_;
  int64_t image_bytes_ = 0;  // charged to the texture budget
  std::vector<TMesh*> meshes_;  // every mesh made; the world list keeps them

  MeshPtr mesh_;  // of the last MESH chunk
  int mesh_brush_ = -1;
  SurfacePtr holder_;  // the vertices of the current mesh's VRTS chunk
  int vertex_flags_ = 0;
  SurfacePtr surface_;  // the surface the last TRIS chunk filled
  int tris_brush_ = -1;
  // The current mesh has triangles but no normals from the file: they are computed
  // once when its chunks end, not after every TRIS chunk, which made a file of many
  // small TRIS chunks cost chunks x surfaces.
  bool normals_pending_ = false;
  int frame_count_ = 0;  // of the last ANIM chunk
  BonePtr bone_;         // of the current node's BONE chunk

  float normal_[3] = {0, 0, 0};  // held across vertices and chunks, as the format has it
  float colour_[4] = {0, 0, 0, 0};
  float uvw_[3] = {0, 0, 0};
};

TModelParts B3dLoad::Run() {
  try {
    Chunks();
  } catch (const std::bad_alloc&) {
    // Whatever the budget missed: the fatal answer, never a crash. Nothing more is
    // allocated on the way out.
    in_.Invalid();
  } catch (...) {
    ReleaseUnheldTextures();  // a fatal error that returns to its caller (tests)
    throw;
  }
  ReleaseUnheldTextures();
  parts_.charged = in_.Charged();
  parts_.image_decodes = textures_made_.decodes;
  parts_.texture_entries = texs_entries_;
  return std::move(parts_);
}

// A texture this load made that no brush of its meshes holds could be reached through
// the cache alone, with no handle to free it: it leaves the cache with the load.
void B3dLoad::ReleaseUnheldTextures() {
  if (textures_made_.made.empty()) return;
  std::set<const TTexture*> held;
  auto hold = [&held](const BrushPtr& brush) {
    if (brush)
      for (const TexturePtr& t : brush->textures) held.insert(t.get());
  };
  for (const TMesh* mesh : meshes_) {
    hold(mesh->brush);
    for (const SurfacePtr& s : *mesh->surfaces) hold(s->brush);
  }
  for (const TexturePtr& t : textures_made_.made)
    if (!held.count(t.get())) t->FreeTexture();
  textures_made_.made.clear();
  textures_made_.images.clear();
}

void B3dLoad::Chunks() {
  Header();
  while (!in_.AtEnd()) {
    const std::string tag = PeekTag();
    if (!TModel::NewTag(tag)) {
      tag_.clear();
      in_.ReadByte();
      continue;
    }
    prev_tag_ = tag_;
    tag_ = tag;
    in_.ReadInt();  // the tag, peeked already
    const int32_t length = in_.ReadInt();
    const int64_t body = in_.Pos();
    const int64_t end = in_.RegionEnd(length);
    if (tag == "NODE") {
      Nest(body, length);
      Node(end);
    } else if (tag == "TEXS") {
      Texs(end);
    } else if (tag == "BRUS") {
      Brus(end);
    } else if (tag == "MESH") {
      Mesh(end);
    } else if (tag == "VRTS") {
      Vrts(end);
    } else if (tag == "TRIS") {
      Tris(end);
    } else if (tag == "ANIM") {
      Anim(end);
    } else if (tag == "BONE") {
      Bone(end);
    } else {
      Keys(end);
    }
  }
  EndMesh();
}

void B3dLoad::Header() {
  const std::string tag = PeekTag();
  in_.Stream().ReadLong();  // tag and length
  const int32_t version = in_.ReadInt();
  if (tag != "BB3D") RuntimeError(kInvalidFile);
  if (version / 100 > 0) RuntimeError("Invalid b3d file version");
}

void B3dLoad::Nest(int64_t body, int32_t length) {
  ++level_;
  // Leave every node whose body ends at or before this chunk's first byte.
  while (level_ > 0 && body - node_end_[size_t(level_ - 1)] >= 8) --level_;
  in_.Require(level_ < kB3dMaxNodeDepth);
  node_end_[size_t(level_)] = body + int64_t(length);  // 64 bits: no wrap near 2^31
  node_entity_[size_t(level_)] = nullptr;
  bone_ = nullptr;  // keys belong to the bone of their own node
}

void B3dLoad::Texs(int64_t end) {
  std::string name;
  for (size_t i = 0; in_.ReadString(end, name) && in_.Fits(kTexsFields, end); ++i) {
    // Counted over the whole file: each entry looks the texture cache through, which
    // holds what the entries before it made, so many chunks must not add up unseen.
    if (texs_entries_ >= kB3dMaxTextures) break;
    ++texs_entries_;
    int flags = in_.ReadInt();
    const int blend = in_.ReadInt();
    float f[5];
    in_.ReadFloats(f, 5);
    int coord_set = 0;
    if (flags & kTexsCoordSet1) {
      flags &= ~kTexsCoordSet1;
      coord_set = 1;
    }
    TexturePtr texture = load_textures_ ? TTexture::LoadTexture(name, flags, &textures_made_) : nullptr;
    if (texture) {
      texture->blend = blend;
      texture->coord_set = coord_set;
      texture->u_offset = f[0];
      texture->v_offset = f[1];
      texture->u_scale = f[2];
      texture->v_scale = f[3];
      texture->angle = f[4];
    }
    // Each chunk numbers its entries from 0, over the entries of an earlier chunk.
    if (i < textures_.size()) {
      textures_[i] = texture;
    } else {
      textures_.push_back(texture);
    }
  }
  SkipTo(end);
}

void B3dLoad::Brus(int64_t end) {
  if (!in_.Fits(4, end)) return SkipTo(end);
  const int32_t n = in_.ReadInt();
  if (!in_.CountFits(n, 4, INT32_MAX, end)) return SkipTo(end);
  std::string name;
  for (size_t i = 0; in_.ReadString(end, name) && in_.Fits(kBrusFields + 4 * int64_t(n), end); ++i) {
    in_.Charge(kBrushCost);
    float f[5];
    in_.ReadFloats(f, 5);
    BrushPtr brush = TBrush::CreateBrush(255, 255, 255);
    brush->layer_count = std::min<int>(n, kMaxTextureLayers);
    brush->red = f[0], brush->green = f[1], brush->blue = f[2], brush->alpha = f[3];
    brush->shininess = f[4];
    brush->blend = in_.ReadInt();
    brush->fx = in_.ReadInt();
    for (int32_t j = 0; j < n; ++j) {
      const int32_t id = in_.ReadInt();
      if (j >= kMaxTextureLayers) continue;  // read past: a brush has no more layers
      if (TBoundedReader::InRange(id, int64_t(textures_.size())))
        brush->textures[size_t(j)] = textures_[size_t(id)];
    }
    if (i < brushes_.size()) {
      brushes_[i] = brush;
    } else {
      brushes_.push_back(brush);
    }
  }
  SkipTo(end);
}

void B3dLoad::Node(int64_t end) {
  if (!in_.ReadString(end, node_.name) || !in_.Fits(kNodeHeaderFloats * 4, end)) {
    return SkipTo(end);  // no header, no node: its subtree goes with it
  }
  float f[kNodeHeaderFloats];
  in_.ReadFloats(f, kNodeHeaderFloats);
  node_.x = f[0], node_.y = f[1], node_.z = f[2];
  node_.sx = f[3], node_.sy = f[4], node_.sz = f[5];
  node_.qw = f[6], node_.qx = f[7], node_.qy = f[8], node_.qz = f[9];
  float p = 0, y = 0, r = 0;
  TQuaternion::QuatToEuler(-node_.qw, node_.qx, node_.qy, -node_.qz, p, y, r);
  node_.pitch = -p;
  node_.yaw = y;
  node_.roll = r;
  // A node with neither MESH nor BONE that holds children or animation is a mesh.
  const std::string next = PeekTag();
  if (next == "NODE" || next == "ANIM") MakeMesh();
}

void B3dLoad::Place(const EntityPtr& entity, bool is_mesh) {
  EntityPtr enclosing;
  for (int k = level_ - 1; k >= 0 && !enclosing; --k) enclosing = node_entity_[size_t(k)];
  const bool first = !parts_.root;
  if (first) parts_.root = entity;
  if (enclosing) {
    entity->AddParent(enclosing);
  } else {
    parts_.top_level.push_back(entity);
    if (first && is_mesh) entity->AddParent(parent_);  // a root bone stays unattached
  }
  if (level_ >= 0) node_entity_[size_t(level_)] = entity;
}

void B3dLoad::EndMesh() {
  if (!normals_pending_) return;
  normals_pending_ = false;
  mesh_->UpdateNormals();
  parts_.normal_passes += mesh_->CountSurfaces();
}

MeshPtr B3dLoad::MakeMesh() {
  ChargeEntity();
  auto mesh = std::make_shared<TMesh>();
  meshes_.push_back(mesh.get());
  mesh->class_name = "Mesh";
  node_.ApplyTo(*mesh);
  mesh->EntityListAdd(TEntity::entity_list);
  Place(mesh, true);

  // The file rotation mirrored across z, as the engine stores z negated.
  TMatrix local;
  TQuaternion::QuatToMat(-node_.qw, node_.qx, node_.qy, -node_.qz, local);
  local.grid[3][0] = node_.x, local.grid[3][1] = node_.y, local.grid[3][2] = -node_.z;
  local.Scale(node_.sx, node_.sy, node_.sz);
  if (mesh->parent) {
    TMatrix m = mesh->parent->matrix;
    m.Multiply(local);
    mesh->matrix = m;
  } else {
    mesh->matrix = local;
  }
  return mesh;
}

void B3dLoad::Mesh(int64_t end) {
  // Whatever follows belongs to this mesh, or to none when the chunk is broken.
  EndMesh();
  mesh_ = nullptr;
  holder_ = nullptr;
  surface_ = nullptr;
  mesh_brush_ = -1;
  if (!in_.Fits(4, end)) return SkipTo(end);
  mesh_brush_ = BrushId(in_.ReadInt());
  mesh_ = MakeMesh();
}

void B3dLoad::Vrts(int64_t end) {
  surface_ = nullptr;
  if (!mesh_ || holder_ || !in_.Fits(12, end)) return SkipTo(end);
  const int32_t flags = in_.ReadInt();
  const int32_t set_count = in_.ReadInt();
  const int32_t set_size = in_.ReadInt();
  if (set_count < 0 || set_count > kB3dMaxTexCoordSets || set_size < 0 || set_size > kB3dMaxTexCoordSize) {
    return SkipTo(end);
  }
  const bool normals = flags & kVrtsNormals;
  const bool colours = flags & kVrtsColours;
  const int64_t floats = 3 + (normals ? 3 : 0) + (colours ? 4 : 0) + int64_t(set_count) * set_size;
  const int64_t n = in_.RecordsBefore(floats * 4, end);
  in_.Require(n <= kB3dMaxChunkVertices);
  in_.Charge(kSurfaceCost + n * kSurfaceVertexBytes);

  auto holder = std::make_shared<TSurface>();
  holder->vertex_count = int(n);
  holder->vertex_positions.resize(size_t(n) * 3);
  holder->vertex_normals.resize(size_t(n) * 3);
  holder->vertex_colours.resize(size_t(n) * 4);
  holder->vertex_uv0.resize(size_t(n) * 2);
  holder->vertex_uv1.resize(size_t(n) * 2);
  float v[3 + 3 + 4 + kB3dMaxTexCoordSets * kB3dMaxTexCoordSize];
  for (int64_t i = 0; i < n; ++i) {
    in_.ReadFloats(v, floats);
    const float* f = v + 3;
    if (normals) {
      normal_[0] = f[0], normal_[1] = f[1], normal_[2] = f[2];
      f += 3;
    }
    if (colours) {
      // Through the 0..255 scale the colour operations use, as the format's readers do.
      for (int c = 0; c < 3; ++c) colour_[c] = (f[c] * 255.0f) / 255.0f;
      colour_[3] = f[3];
      f += 4;
    }
    float* p = &holder->vertex_positions[size_t(i) * 3];
    p[0] = v[0], p[1] = v[1], p[2] = -v[2];
    float* nv = &holder->vertex_normals[size_t(i) * 3];
    nv[0] = normal_[0], nv[1] = normal_[1], nv[2] = -normal_[2];
    std::copy(colour_, colour_ + 4, &holder->vertex_colours[size_t(i) * 4]);
    for (int s = 0; s < set_count; ++s, f += set_size) {
      // A short set leaves the missing components as they were.
      for (int c = 0; c < std::min(set_size, 3); ++c) uvw_[c] = f[c];
      if (s < 2) {
        float* uv = &(s == 0 ? holder->vertex_uv0 : holder->vertex_uv1)[size_t(i) * 2];
        uv[0] = uvw_[0], uv[1] = uvw_[1];
      }
    }
  }
  holder_ = holder;
  vertex_flags_ = flags;
  SkipTo(end);
}

void B3dLoad::Tris(int64_t end) {
  if (!mesh_ || !holder_ || !in_.Fits(4, end)) {
    surface_ = nullptr;
    return SkipTo(end);
  }
  const int b = BrushId(in_.ReadInt());
  if (prev_tag_ != "TRIS" || !surface_ || b != tris_brush_) {
    in_.Charge(kSurfaceCost + int64_t(holder_->vertex_count) * kSurfaceVertexBytes);
    surface_ = mesh_->CreateSurface(nullptr);
    // Every surface holds all the chunk's vertices, so triangle corners and bone
    // weights keep the VRTS numbering.
    surface_->vertex_count = holder_->vertex_count;
    surface_->vertex_positions = holder_->vertex_positions;
    surface_->vertex_colours = holder_->vertex_colours;
    surface_->vertex_normals = holder_->vertex_normals;
    surface_->vertex_uv0 = holder_->vertex_uv0;
    surface_->vertex_uv1 = holder_->vertex_uv1;
    surface_->geometry_changed = 1;
  }
  tris_brush_ = b;

  const int64_t n = in_.RecordsBefore(12, end);
  const int count = holder_->vertex_count;
  TSurface& s = *surface_;
  for (int64_t t = 0; t < n; ++t) {
    const int32_t i0 = in_.ReadInt(), i1 = in_.ReadInt(), i2 = in_.ReadInt();
    if (!TBoundedReader::InRange(i0, count) || !TBoundedReader::InRange(i1, count) ||
        !TBoundedReader::InRange(i2, count)) {
      continue;
    }
    s.min_vertex_index = std::min({s.min_vertex_index, i0, i1, i2});
    s.max_vertex_index = std::max({s.max_vertex_index, i0, i1, i2});
    s.AddTriangle(i0, i1, i2);
  }
  SkipTo(end);

  if (BrushPtr brush = BrushAt(mesh_brush_)) mesh_->PaintEntity(brush);
  if (b != -1) s.PaintSurface(BrushAt(b));
  if (!(vertex_flags_ & kVrtsNormals)) normals_pending_ = true;
}

void B3dLoad::Anim(int64_t end) {
  if (!in_.Fits(12, end)) return SkipTo(end);
  in_.ReadInt();  // flags
  const int32_t frames = in_.ReadInt();
  in_.ReadFloat();  // frames per second
  SkipTo(end);
  if (frames < 0 || frames > kB3dMaxFrames) return;
  frame_count_ = frames;
  if (!mesh_) return;
  mesh_->animated = 1;
  mesh_->seq_first[0] = 0;
  mesh_->seq_last[0] = frames;
  // One copy per surface: a second ANIM chunk replaces the copies, never adds to them.
  mesh_->anim_surfaces.Clear();
  for (const SurfacePtr& s : *mesh_->surfaces) {
    in_.Charge(kSurfaceCost + int64_t(s->vertex_count) * kAnimVertexBytes);
    auto copy = std::make_shared<TSurface>();
    copy->vertex_positions = s->vertex_positions;
    mesh_->anim_surfaces.AddLast(copy);
  }
}

void B3dLoad::Bone(int64_t end) {
  ChargeEntity();
  in_.Charge((int64_t(frame_count_) + 1) * kKeyFrameBytes);
  auto bone = std::make_shared<TBone>();
  bone_ = bone;
  bone->class_name = "Bone";
  node_.ApplyTo(*bone);
  RestAtFields(*bone);

  auto keys = std::make_shared<TAnimationKeys>();
  keys->frame_count = frame_count_;
  const size_t slots = size_t(frame_count_) + 1;
  keys->key_flags.assign(slots, 0);
  for (std::vector<float>* a : {&keys->pos_x, &keys->pos_y, &keys->pos_z, &keys->scale_x, &keys->scale_y,
                                &keys->scale_z, &keys->quat_w, &keys->quat_x, &keys->quat_y, &keys->quat_z}) {
    a->assign(slots, 0.0f);
  }
  bone->keys = keys;

  bone->EntityListAdd(TEntity::entity_list);
  Place(bone, false);
  // A bone skins the mesh of the last MESH chunk, wherever it sits: below the mesh,
  // beside it, or under plain nodes.
  TMesh* owner = mesh_.get();
  const int vertex_count = owner && holder_ ? holder_->vertex_count : 0;

  const int64_t n = in_.RecordsBefore(8, end);
  bone->influence_vertices.reserve(size_t(n));
  bone->influence_weights.reserve(size_t(n));
  for (int64_t i = 0; i < n; ++i) {
    const int32_t v = in_.ReadInt();
    const float w = in_.ReadFloat();
    if (!TBoundedReader::InRange(v, vertex_count)) continue;
    bone->influence_vertices.push_back(v);
    bone->influence_weights.push_back(w);
  }
  bone->influence_count = int(bone->influence_vertices.size());
  SkipTo(end);

  // Placed as any node first; a bone with a mesh is then placed on it at its rest pose.
  if (bone->parent) {
    bone->matrix = bone->parent->matrix;
    bone->UpdateMat(0);
  } else {
    bone->UpdateMat(1);
  }
  // The bind pose relative to the mesh, built as posing builds poses, so the rest
  // pose skins every vertex onto itself wherever the mesh stood at load time.
  TAnimation::BindBone(owner, *bone);
  if (owner) owner->AddBone(bone);
}

void B3dLoad::Keys(int64_t end) {
  if (!bone_ || !in_.Fits(4, end)) return SkipTo(end);
  // The flags are key_flags bits; other bits are not keys and are not stored.
  const int32_t flags = in_.ReadInt() & TAnimationKeys::kAnyKey;
  const bool position = flags & TAnimationKeys::kPositionKey;
  const bool scale = flags & TAnimationKeys::kScaleKey;
  const bool rotation = flags & TAnimationKeys::kRotationKey;
  const int64_t floats = (position ? 3 : 0) + (scale ? 3 : 0) + (rotation ? 4 : 0);
  const int64_t n = in_.RecordsBefore(4 + floats * 4, end);
  TAnimationKeys& k = *bone_->keys;
  const int64_t slots = int64_t(k.key_flags.size());
  for (int64_t i = 0; i < n; ++i) {
    const int32_t frame = in_.ReadInt();
    float f[10];
    in_.ReadFloats(f, floats);
    if (!TBoundedReader::InRange(frame, slots)) continue;
    const size_t at = size_t(frame);
    k.key_flags[at] |= flags;  // position, scale and rotation chunks combine
    const float* v = f;
    if (position) {
      k.pos_x[at] = v[0], k.pos_y[at] = v[1], k.pos_z[at] = v[2];
      v += 3;
    }
    if (scale) {
      k.scale_x[at] = v[0], k.scale_y[at] = v[1], k.scale_z[at] = v[2];
      v += 3;
    }
    if (rotation) {
      k.quat_w[at] = v[0], k.quat_x[at] = v[1], k.quat_y[at] = v[2], k.quat_z[at] = v[3];
    }
  }
  SkipTo(end);
}

}  // namespace

std::string TModel::b3dReadString(TStream& stream) {
  std::string s;
  while (!stream.Eof()) {
    const int c = stream.ReadByte();
    if (c == 0) break;
    s.push_back(char(c));
  }
  return s;
}

std::string TModel::ReadTag(TStream& stream) {
  const int64_t pos = stream.Pos();
  std::string tag(4, '\0');
  for (char& c : tag) c = char(stream.ReadByte());
  stream.Seek(pos);
  return tag;
}

int TModel::NewTag(const std::string& tag) {
  static const char* const kTags[] = {"TEXS", "BRUS", "NODE", "ANIM", "MESH", "VRTS", "TRIS", "BONE", "KEYS"};
  for (const char* t : kTags)
    if (tag == t) return 1;
  return 0;
}

TModelParts TModel::LoadB3D(const std::string& file, const EntityPtr& parent) {
  std::shared_ptr<TStream> stream = TStream::OpenFile(file);
  if (!stream) RuntimeError("File not found");
  DirGuard restore(CurrentDir());
  // Texture names in the file are relative to its folder.
  const size_t sep = file.find_last_of("\\/");
  if (sep != std::string::npos && sep > 0) ChangeDir(file.substr(0, sep));
  return B3dLoad(std::move(stream), parent, true).Run();
}

TModelParts TModel::LoadB3DFromMemory(std::vector<uint8_t> bytes, const EntityPtr& parent,
                                      bool load_textures) {
  return B3dLoad(TStream::FromMemory(std::move(bytes)), parent, load_textures).Run();
}

MeshPtr TModel::LoadAnimB3D(const std::string& file, const EntityPtr& parent) {
  return TMesh::MeshOf(LoadB3D(file, parent).root);
}
