// TAnimation: poses a skinned mesh's bones from their key frames and skins the vertices
// on the processor into the mesh's animated surface copies, which drawing then uses.
//
// What posing expects of a skinned mesh (the model loader builds it this way):
//  * mesh.animated != 0, and mesh.bones lists the bones, every parent bone before its
//    children.
//  * Bone space is the vertices' public coordinates, i.e. the model file's (z not
//    negated). A bone's local matrix is QuatToMat(w, x, y, z) of the file quaternion,
//    times its scale, translation grid[3][0..2] = the file position; for the rest pose
//    that is QuatToMat(rest_quat_w, rest_quat_x, rest_quat_y, rest_quat_z) x
//    Scale(rest_scale) with translation (rest_pos_x, rest_pos_y, -rest_pos_z). Scale
//    keys interpolate as position keys do; a bone without them takes its rest scale.
//    Rotation keys too close for Slerp to tell apart are interpolated linearly and
//    normalised. The pose made (TBone::local) stays the bone's until the next.
//  * The pose chain. A bone's pose is frame x local, where the frame is what lies
//    between the bone and its mesh, found by climbing from the bone's parent:
//      - the mesh itself, or no parent: nothing (the mesh's own space);
//      - a node that also holds the mesh (or the top of a tree apart from the mesh's):
//        the skeleton then sits beside the mesh, and mesh_side goes on top;
//      - a parent bone: its pose (made earlier in this pose, parents come first);
//      - plain (non-bone) nodes: each adds its current local transform (position, turn,
//        scale, z mirrored into bone space), top down, until the climb meets one of the
//        above;
//      - mesh_side: the inverse of the local transforms from below that common node
//        (from the top) down to the mesh itself, taken when the bone was bound.
//    TBone::pose holds the pose relative to the mesh; it never includes the mesh's own
//    placement, so moving, turning or scaling the mesh never changes the skin. The
//    bone's entity matrix is the mesh's world matrix times the pose, mirrored into the
//    engine's axes (TBone::PlaceOnSkin): every pose and every move of the mesh places
//    the bones again, and their non-bone children with them.
//  * The bind pose: BindBone(mesh, bone) builds the rest pose by the same chain (rest
//    poses for the bones, the nodes as they stand, mesh_side taken then), stores its
//    inverse in inverse_bind_matrix and makes the rest pose the bone's pose until the
//    first; SetBindPose(mesh) binds every listed bone. At the rest pose the skinning
//    matrix (pose x inverse bind) is then the identity, the copies reproduce the loaded
//    vertices, and drawing applies the mesh's current matrix: a posed mesh keeps its
//    placement however it was placed when loaded.
//  * mesh.anim_surfaces: one copy per entry of mesh.surfaces, same order. The copy's
//    vertex_positions (x, y, -z per vertex, starting as a copy of its surface's) and,
//    from the first pose on, its vertex_normals are used; its vertex_count need not
//    be set, writes stop at the arrays' ends.
//  * Vertex numbers are shared by all surfaces (each holds the mesh's whole vertex
//    list); TSurface::min/max_vertex_index give each surface's range. With one surface
//    every influence goes to it; with more, a vertex goes to every copy whose surface's
//    range holds it, or to the last copy when none does.
//  * Influences: influence_vertices[i] with influence_weights[i]; a zero weight does
//    nothing, and a vertex's weights are divided by their sum where it is not 1. A
//    normal turns with the same weights by each skinning matrix's normal matrix (the
//    cofactor of its 3x3 part; the 3x3 itself when no scale took part) and is
//    renormalised.
//  * Skinning runs once all bones are posed, vertex by vertex through the mesh's skin
//    plan, each vertex summing its bones' shares in bone-list order. Each pose also
//    leaves the extent of the posed vertices that the surfaces draw in the mesh's posed
//    bounds (TMesh::SetPosedBounds), which culling reads.
//  * keys: arrays indexed by frame number, frame_count + 1 entries.
// Input outside these limits is skipped, never read or written out of bounds: frames
// past a bone's key arrays hold no key; a bone without keys holds its rest pose; a bone
// without inverse bind matrix is posed (its children need it) but moves no vertex;
// influences whose vertex is outside the surfaces or copies are dropped; a mesh without
// surfaces only poses its bones.
//
// Posing allocates nothing once its scratch buffers and the copies' normals have grown
// to the mesh's size.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/math/matrix.h"
#include "engine/scene/handles.h"

// Which bones move each vertex number, with their weights, in bone-list order: what the
// influences say, turned round so that skinning visits each vertex once. A mesh keeps
// its plan (TMesh::skin_plan) from pose to pose and builds it again when its bone list
// changes, a bone is bound again, or a bone's influence arrays are replaced, resized or
// recounted (entries rewritten in place are not looked for: the loader never does it).
struct TSkinPlan {
  struct Share {
    int bone;  // index in the mesh's bone list
    float weight;
  };
  uint64_t signature = 0;   // of the bones and influences it was built from
  std::vector<int> first;   // per vertex number, and one past the last: its first share
  std::vector<Share> shares;
};

class TAnimation {
 public:
  // Poses every bone at frame (clamped into first..last) of the sequence first..last
  // and skins the vertices. An entity that is not an animated mesh is left alone.
  static int AnimateMesh(TEntity* entity, float frame, int first, int last);
  // The transition step: every bone blended by factor blend (unclamped) from its last
  // pose (the rest pose if it was never posed) toward the sequence's first keys.
  static int AnimateMesh2(TEntity* entity, float blend, int first, int last);
  static int AnimateMesh(const EntityPtr& entity, float frame, int first, int last) {
    return AnimateMesh(entity.get(), frame, first, last);
  }
  static int AnimateMesh2(const EntityPtr& entity, float blend, int first, int last) {
    return AnimateMesh2(entity.get(), blend, first, last);
  }
  // Binds the bone to the mesh (null: none) at its rest pose, by the rules above, and
  // places it on the mesh. The caller lists the bone in mesh.bones.
  static void BindBone(TMesh* mesh, TBone& bone);
  // Binds every bone of the mesh's list.
  static void SetBindPose(TMesh& mesh);
  // Poses every bone again from its local pose (TBone::local), as a transform command
  // left it, and skins the vertices (an animated mesh) or only places the bones.
  static void Repose(TMesh& mesh);
  // The frame a bound bone's local pose hangs in, relative to the mesh in the file's
  // axes (its parent bone's pose, or the nodes and mesh side between); false, frame
  // untouched, when that is the mesh's own space. scaled: the frame may scale.
  static bool PoseFrame(const TMesh& mesh, const TBone& bone, TMatrix& frame, int& scaled);
  // The same frame in the world, engine axes: the mesh's world matrix times it mirrored.
  // A bone's world matrix is this times its local pose mirrored.
  static TMatrix FrameInWorld(const TMesh& mesh, const TBone& bone);
  // m with z mirrored on both sides: from the file's axes to the engine's or back.
  static TMatrix Mirrored(const TMatrix& m);

 private:
  // One surface's loaded positions with its copy's, and the vertices skinning may touch.
  struct SkinTarget {
    const float* source;          // the surface's positions
    float* dest;                  // the copy's positions
    const float* source_normals;  // the surface's normals; null when either side has none
    float* dest_normals;          // the copy's normals
    int min_vertex, max_vertex;   // the surface's triangle range
    int limit;                    // vertices every array of the pair holds
  };
  static TMesh* BeginPose(TEntity* entity);
  // The bone loop of every pose: each live bone of the list, in order, gets its local
  // pose from set_local(bone), is posed on the frame it hangs in, and takes its
  // skinning matrix when skin is set.
  template <class SetLocal>
  static void PoseBones(TMesh& mesh, bool skin, SetLocal&& set_local);
  // Bone k of the list has been posed: its skinning matrix for this pose.
  static void SetSkinning(std::size_t k, const TBone& bone);
  static int CollectTargets(TMesh& mesh);  // into targets_; returns the vertex numbers
  static const TSkinPlan& PlanOf(TMesh& mesh, int vertex_numbers);
  // After the last bone: skins every vertex of every copy, positions and normals, takes
  // the posed extent and places the bones on the mesh.
  static void EndPose(TMesh& mesh);
  // Reused from pose to pose, so posing a mesh every frame allocates nothing.
  static std::vector<TMatrix> skinning_;  // per listed bone: pose x inverse bind
  static std::vector<TMatrix> normal_skinning_;  // per listed bone: what turns its normals
  static std::vector<char> skins_;        // per listed bone: 1 when it moves vertices
  static bool cofactors_;  // some bone of this pose turns normals by its own matrix
  static std::vector<SkinTarget> targets_;
};
