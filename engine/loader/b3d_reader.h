// TModel: reads B3D model files (chunked, little-endian) into the scene: one mesh per
// mesh node, one bone per bone node, surfaces painted with the file's brushes and
// textures, vertex weights and key frames for skinning.
//
// Files are untrusted: every value is checked through TBoundedReader before use. What
// breaks the format either skips the entry or chunk it belongs to, or stops the load
// with the fatal "Invalid b3d file"; see the top of b3d_reader.cpp for which is which.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/scene/handles.h"

class TStream;

// What one load made. Every entity is in the world list; the caller owns them through
// top_level: the entities without an enclosing entity in the file, the root first.
struct TModelParts {
  EntityPtr root;  // the first entity made, a mesh or a bone; null for a file without one
  std::vector<EntityPtr> top_level;
  // What the load cost: bytes charged to the loader's budget, surfaces whose normals it
  // computed, image files it decoded, TEXS entries it looked up in the texture cache.
  int64_t charged = 0;
  int64_t normal_passes = 0;
  int image_decodes = 0;
  int64_t texture_entries = 0;
};

class TModel {
 public:
  // The model's root when it is a mesh (attached to parent), else null. Stops with
  // "File not found", "Invalid b3d file" or "Invalid b3d file version". The working
  // directory is the file's folder while textures load, and is restored afterwards.
  static MeshPtr LoadAnimB3D(const std::string& file, const EntityPtr& parent);
  // Bytes up to a zero byte (not included); the end of the stream ends it too.
  static std::string b3dReadString(TStream& stream);
  // The next four bytes as characters; the stream does not move.
  static std::string ReadTag(TStream& stream);
  // 1 for the nine chunk tags the reader knows (exact, case-sensitive), else 0.
  static int NewTag(const std::string& tag);

  // The whole result of a load from a file.
  static TModelParts LoadB3D(const std::string& file, const EntityPtr& parent);
  // The same from bytes in memory; the working directory does not change. Without
  // load_textures every texture entry stays empty, so no name in the bytes reaches
  // the disk (the fuzz target).
  static TModelParts LoadB3DFromMemory(std::vector<uint8_t> bytes, const EntityPtr& parent,
                                       bool load_textures = true);
};
