// Animation control and the world step, on a skinned model written as a B3D file: the
// frame each update poses in every playback mode, transitions of 1, 2 and more updates,
// the read-outs, SetAnimTime's wrapping (huge and infinite times included), sequence
// indices that do not exist, entities that are animated without keys, and stepping
// without heap allocation.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "support/allocation_counter.h"
#include "engine/mesh/mesh.h"
#include "engine/mesh/surface.h"
#include "engine/scene/entity.h"
#include "engine/scene/global.h"
#include "tools/b3d_writer.h"
#include "support/engine_reset.h"

namespace {

constexpr int kFrames = 20;
constexpr float kNoPose = -99;  // written into the pose before an update; still there: nothing posed
constexpr float kInf = std::numeric_limits<float>::infinity();

// A one-triangle mesh with a 20-frame animation; its bone is keyed at every frame with
// x = the frame number, and carries vertex 0 (at the origin), so the posed vertex's x
// is the frame posed.
const std::string& ModelFile() {
  static const std::string path = [] {
    TB3dWriter w;
    w.Header().BeginNode("body").BeginMesh();
    w.Vrts(0, 1, 2, {0, 0, 0, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1}).Tris(-1, {0, 1, 2}).End();
    w.Anim(kFrames, 30);
    std::vector<B3dKey> keys;
    for (int f = 0; f <= kFrames; ++f) keys.push_back({f, {float(f), 0, 0}});
    w.BeginNode("bone").Bone({{0, 1}}).Keys(1, keys).End();
    w.Finish();
    const std::string file = TestTempPath("animation_control.b3d");
    EXPECT_TRUE(w.Save(file));
    return file;
  }();
  return path;
}

class AnimationControl : public EngineTest {
 protected:
  static MeshPtr LoadModel() {
    MeshPtr m = TMesh::LoadAnimMesh(ModelFile());
    EXPECT_EQ(m->animated, 1);
    EXPECT_EQ(m->seq_last[0], kFrames);
    return m;
  }
  static float& PoseX(const MeshPtr& m) { return m->anim_surfaces.First()->vertex_positions[0]; }
  // One world step; the frame it posed, or kNoPose.
  static float Step(const MeshPtr& m, float factor = 1) {
    PoseX(m) = kNoPose;
    TGlobal::UpdateWorld(factor);
    return PoseX(m);
  }
  // Empty when the frames match (to rounding), else both lists.
  static std::string Mismatch(const std::vector<float>& got, const std::vector<float>& want) {
    bool same = got.size() == want.size();
    for (size_t i = 0; same && i < got.size(); ++i) same = std::fabs(got[i] - want[i]) < 1e-4f;
    return same ? "" : "got " + Show(got) + ", want " + Show(want);
  }
  static std::string Show(const std::vector<float>& v) {
    std::string s;
    for (float f : v) s += (s.empty() ? "" : " ") + (f == kNoPose ? std::string("-") : std::to_string(f));
    return s;
  }
};

TEST_F(AnimationControl, SequenceTableAndReadOutsOfAFreshEntity) {
  PivotPtr e = TPivot::CreatePivot();
  EXPECT_EQ(e->AnimSeq(), 0);
  EXPECT_EQ(e->AnimLength(), 0);
  EXPECT_EQ(e->AnimTime(), 0.0f);
  EXPECT_EQ(e->Animating(), 0);

  EXPECT_EQ(e->ExtractAnimSeq(10, 20, 0), 1);
  EXPECT_EQ(e->ExtractAnimSeq(2, 5, 1), 2);  // counted from sequence 1's first frame
  EXPECT_EQ(e->seq_first, (std::vector<int>{0, 10, 12}));
  EXPECT_EQ(e->seq_last, (std::vector<int>{0, 20, 15}));
  EXPECT_EQ(e->seq_count, 2);

  e->anim_dir = -1;
  e->Animate(1, 1.0f, 1, 0);
  EXPECT_EQ(e->anim_time, 10.0f);
  EXPECT_EQ(e->anim_pending, 1);
  EXPECT_EQ(e->anim_dir, -1);  // a ping-pong resumes its direction
  EXPECT_EQ(e->AnimSeq(), 1);
  EXPECT_EQ(e->AnimLength(), 10);
  EXPECT_EQ(e->Animating(), 1);
  e->Animate(1, 1.0f, 1, 5);
  EXPECT_EQ(e->anim_time, 0.0f);  // the blend factor starts at 0
  EXPECT_EQ(e->AnimTime(), 0.0f);
}

TEST_F(AnimationControl, EachModePosesFrameByFrame) {
  struct Case {
    const char* name;
    int mode;
    float speed, factor;
    int first, last;
    std::vector<float> poses;  // the frame each update poses; kNoPose: none
    float time_after;          // anim_time after the last update
  };
  const float N = kNoPose;
  const Case cases[] = {
      {"pose once", 0, 2, 1, 4, 14, {4, N, N}, 4},
      {"loop", 1, 3, 1, 4, 14, {4, 7, 10, 13, 6, 9, 12, 5}, 8},
      {"loop: last itself is posed before wrapping", 1, 5, 1, 4, 14, {4, 9, 14, 9, 14}, 9},
      {"loop: the speed factor scales the step", 1, 2, 1.5f, 4, 14, {4, 7, 10, 13, 6}, 9},
      {"loop: a step longer than the sequence stays inside it", 1, 25, 1, 4, 14, {4, 9, 14, 9}, 14},
      {"loop: an infinite step lands on the first frame", 1, kInf, 1, 4, 14, {4, 4, 4}, 4},
      {"loop backwards falls below first unwrapped", 1, -3, 1, 4, 14, {4, 4, 4}, -5},
      {"ping-pong", 2, 3, 1, 0, 10, {0, 3, 6, 9, 6, 3, 0, 0, 3, 6, 9, 6, 3, 0, 0}, 3},
      {"ping-pong: a step longer than the sequence stays at first", 2, 15, 1, 0, 10, {0, 0, 0}, 0},
      {"ping-pong: an infinite step stays at first", 2, kInf, 1, 0, 10, {0, 0, 0}, 0},
      {"one-shot ends on last, posed once more", 3, 4, 1, 4, 14, {4, 8, 12, 14, N, N}, 14},
      {"speed 0 poses the same frame again", 1, 0, 1, 4, 14, {4, 4, 4}, 4},
      {"an unknown mode poses the same frame while pending", 7, 3, 1, 4, 14, {4, 4, 4}, 4},
  };
  for (const Case& c : cases) {
    MeshPtr m = LoadModel();
    const int seq = m->ExtractAnimSeq(c.first, c.last, 0);
    m->Animate(c.mode, c.speed, seq, 0);
    std::vector<float> got;
    for (size_t i = 0; i < c.poses.size(); ++i) got.push_back(Step(m, c.factor));
    EXPECT_EQ(Mismatch(got, c.poses), "") << c.name;
    EXPECT_FLOAT_EQ(m->anim_time, c.time_after) << c.name;
    EXPECT_EQ(m->draw_deformed, 1) << c.name;
    m->FreeEntity();
  }
}

TEST_F(AnimationControl, OneShotStopsReportingWhenItReachesTheEnd) {
  MeshPtr m = LoadModel();
  m->Animate(3, 4, m->ExtractAnimSeq(4, 14, 0), 0);
  const struct {
    int animating;
    float anim_time;  // the read-out, from the sequence's first frame
  } after[] = {{1, 4}, {1, 8}, {0, 0}, {0, 0}, {0, 0}};
  for (size_t i = 0; i < std::size(after); ++i) {
    Step(m);
    EXPECT_EQ(m->Animating(), after[i].animating) << "after update " << i + 1;
    EXPECT_EQ(m->AnimTime(), after[i].anim_time) << "after update " << i + 1;
  }
  EXPECT_EQ(m->anim_pending, 0);
}

TEST_F(AnimationControl, TransitionsBlendFromTheLastPoseToTheSequenceStart) {
  // Posed at frame 10, then a transition into sequence 4..14 at speed 1: the blend
  // factor after update k of N is k / (N - 1), so the vertex moves from 10 toward 4; the
  // update after the blend is the first normal step, from frame 4.
  struct Case {
    int frames;
    std::vector<float> poses;
    std::vector<float> anim_time_readout;  // AnimTime after each update
  };
  const Case cases[] = {
      // One frame ends the countdown at once: stepping starts from the 0 Animate left,
      // posed clamped at the first frame until the time passes it.
      {1, {4, 4, 4, 4, 4, 5}, {-3, -2, -1, 0, 1, 2}},
      {2, {4, 4, 5}, {0, 1, 2}},
      {3, {7, 4, 4, 5}, {0, 0, 1, 2}},
      {4, {8, 6, 4, 4, 5}, {0, 0, 0, 1, 2}},
  };
  for (const Case& c : cases) {
    MeshPtr m = LoadModel();
    const int seq = m->ExtractAnimSeq(4, 14, 0);
    m->SetAnimTime(10, 0);
    m->Animate(1, 1, seq, c.frames);
    std::vector<float> got, readout;
    for (size_t i = 0; i < c.poses.size(); ++i) {
      got.push_back(Step(m));
      readout.push_back(m->AnimTime());
      EXPECT_EQ(m->Animating(), 1);
    }
    EXPECT_EQ(Mismatch(got, c.poses), "") << c.frames << " transition frames";
    EXPECT_EQ(Mismatch(readout, c.anim_time_readout), "") << c.frames << " transition frames";
    m->FreeEntity();
  }
}

TEST_F(AnimationControl, SetAnimTimeWrapsIntoTheSequenceAndPosesAtOnce) {
  struct Case {
    float time;
    int first, last;
    float anim_time, posed;
  };
  const Case cases[] = {
      {15, 10, 20, 15, 15},          // 25 is past last: one length back
      {10, 10, 20, 20, 20},          // the length itself lands on last, not on first
      {0, 10, 20, 10, 10},
      {-5, 10, 20, 15, 15},
      {-10, 10, 20, 10, 10},
      {1048576.5f, 10, 20, 16.5f, 16.5f},  // a huge time, brought back in one step
      {1e30f, 10, 20, 20, 20},
      {kInf, 10, 20, 10, 10},        // no number of lengths brings these back
      {-kInf, 10, 20, 10, 10},
      {std::nanf(""), 10, 20, 10, 10},
      {7, 5, 5, 12, 5},              // a one-frame sequence does not wrap; the pose clamps
      {kInf, 5, 5, kInf, 5},
  };
  for (const Case& c : cases) {
    MeshPtr m = LoadModel();
    const int seq = m->ExtractAnimSeq(c.first, c.last, 0);
    m->Animate(1, 1, seq, 3);
    PoseX(m) = kNoPose;
    m->SetAnimTime(c.time, seq);
    EXPECT_EQ(m->anim_time, c.anim_time) << "time " << c.time << " on " << c.first << ".." << c.last;
    EXPECT_FLOAT_EQ(PoseX(m), c.posed) << "time " << c.time << " on " << c.first << ".." << c.last;
    EXPECT_EQ(m->anim_mode, -1);
    EXPECT_EQ(m->anim_pending, 0);
    EXPECT_EQ(m->anim_blend_frames, 0);
    EXPECT_EQ(m->Animating(), 0);
    EXPECT_EQ(m->AnimSeq(), seq);
    EXPECT_EQ(Step(m), kNoPose) << "manual mode is not stepped";
    m->FreeEntity();
  }
  MeshPtr m = LoadModel();
  m->SetAnimTime(15, m->ExtractAnimSeq(10, 20, 0));
  EXPECT_EQ(m->AnimTime(), 5.0f);  // relative to the sequence
}

TEST_F(AnimationControl, SequencesThatDoNotExistAreRefused) {
  MeshPtr m = LoadModel();
  const int seq = m->ExtractAnimSeq(2, 6, 0);
  m->Animate(1, 2, seq, 0);
  Step(m);
  const float time = m->anim_time;
  for (int bad : {seq + 1, -1, 1000000}) {
    m->Animate(2, 5, bad, 0);
    m->SetAnimTime(3, bad);
    EXPECT_EQ(m->ExtractAnimSeq(0, 1, bad), 0) << bad;
    EXPECT_EQ(m->seq_count, seq) << bad;
    EXPECT_EQ(m->anim_seq, seq) << bad;
    EXPECT_EQ(m->anim_mode, 1) << bad;
    EXPECT_EQ(m->anim_time, time) << bad;
  }
  // A sequence index written by hand is read nowhere.
  m->anim_seq = 7;
  EXPECT_EQ(Step(m), kNoPose);
  EXPECT_EQ(m->AnimLength(), 0);
  EXPECT_EQ(m->AnimTime(), 0.0f);
}

TEST_F(AnimationControl, EntitiesWithoutKeysStepOnlyTheirFields) {
  // A pivot marked animated has nothing to pose; its time still moves, hidden or not.
  // An entity that is not marked animated is never stepped, whatever Animate set.
  PivotPtr keyless = TPivot::CreatePivot();
  keyless->animated = 1;
  keyless->HideEntity();
  keyless->Animate(2, 3, keyless->ExtractAnimSeq(0, 10, 0), 0);
  PivotPtr still = TPivot::CreatePivot();
  still->Animate(1, 3, still->ExtractAnimSeq(4, 14, 0), 0);
  const float times[] = {3, 6, 9, 6, 3, 0, 0, 3};
  for (float t : times) {
    TGlobal::UpdateWorld(1);
    EXPECT_EQ(keyless->anim_time, t);
  }
  EXPECT_EQ(keyless->draw_deformed, 0);
  EXPECT_EQ(still->anim_time, 4.0f);
  EXPECT_EQ(still->Animating(), 1);
  EXPECT_EQ(still->AnimTime(), 0.0f);
}

TEST_F(AnimationControl, SteppingAllocatesNothing) {
  MeshPtr looping = LoadModel();
  looping->Animate(1, 0.7f, looping->ExtractAnimSeq(0, 12, 0), 0);
  MeshPtr bouncing = LoadModel();
  bouncing->Animate(2, 1.3f, 0, 3);
  for (int i = 0; i < 5; ++i) TGlobal::UpdateWorld(1);  // the pose buffers grow once
  const long before = AllocationCount();
  for (int i = 0; i < 100; ++i) TGlobal::UpdateWorld(1);
  EXPECT_EQ(AllocationCount() - before, 0);
}

}  // namespace
