// Ready-made B3D models written with TB3dWriter: the small models that the reader's
// robustness tests and the fuzz seeds start from, and the large skinned model of the
// load benchmark. Like the writer, they need nothing but the standard library.
#pragma once

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
