// Ready-made B3D models written with TB3dWriter: the small models that the reader's
// robustness tests and the fuzz seeds start from, and the large skinned model of the
// load benchmark. Like the writer, they need nothing but the standard library.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "tools/b3d_writer.h"

// Textures, brushes, a root mesh with two surfaces, a child mesh and a pivot-like node.
TB3dWriter SampleStaticModel();
// A mesh with animation, a bone chain with weights and position, scale and rotation keys.
TB3dWriter SampleSkinnedModel();
// A skeleton at the root, with a mesh below a bone.
TB3dWriter SampleBoneRootedModel();
// A skeleton beside a scaled mesh off the origin: its root bone under a turned, scaled
// plain node, and a plain node between the root bone and the next.
TB3dWriter SampleSkeletonBesideModel();
std::vector<TB3dWriter> SampleModels();

// A skinned model of `meshes` meshes side by side, each a grid with vertices_per_mesh
// vertices (with normals and one uv set) and triangles_per_mesh triangles, all under
// one root; a chain of `bones` bones below each mesh, every vertex weighted
// by `influences` bones, and every bone keyed (position and rotation) at each of
// `frames` frames.
TB3dWriter SkinnedGridModel(int meshes, int vertices_per_mesh, int triangles_per_mesh, int bones,
                            int influences, int frames);

// ---- Hostile shapes ----
// Each grows with `bytes`, about the size of the file it makes, to show what a small
// file can ask of the loader.
// One name of half the bytes, then empty BONE chunks in its node: every bone copies it.
TB3dWriter LongNameBonesModel(size_t bytes);
// A VRTS of one triangle without normals, then TRIS chunks of that triangle, each
// followed by a junk byte, so that each one starts a surface.
TB3dWriter SplitTrisModel(size_t bytes);
// A root mesh whose child node holds empty BONE chunks: a parent of many bones.
TB3dWriter WideBonesModel(size_t bytes);
// TEXS entries naming `image`, each with a flag value of its own (mipmapped), and,
// with `brushed`, a brush per entry painting a surface each.
TB3dWriter TextureFlagsModel(size_t bytes, const std::string& image, bool brushed);
// `chunks` TEXS chunks of `per_chunk` entries each, all naming "tex.png", each entry
// with a flag value of its own: entries spread over chunks rather than in one.
TB3dWriter SplitTexsModel(int chunks, int per_chunk);
std::vector<TB3dWriter> HostileModels(size_t bytes);
// A grid mesh of `triangles` triangles (two per cell) with one uv set; its VRTS holds
// normals when `normals`, else the loader computes them.
TB3dWriter GridModel(int triangles, bool normals);
