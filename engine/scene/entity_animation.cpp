// Animation control of an entity: the sequence table (ExtractAnimSeq), starting a
// sequence in a playback mode (Animate), posing at a chosen time (SetAnimTime) and the
// read-outs. TGlobal::UpdateWorld (world_update.cpp) does the stepping.
#include <cstdint>
#include <limits>

#include "engine/mesh/animation.h"
#include "engine/scene/anim_wrap.h"
#include "engine/scene/entity.h"

namespace {

// Frame arithmetic on values a program or a model file chose: no signed overflow.
int SaturatedSum(int a, int b) {
  const int64_t s = int64_t{a} + b;
  if (s > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
  if (s < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
  return int(s);
}

}  // namespace

// Every reader of seq_first/seq_last goes through this: anim_seq and the arrays are
// public fields, so the table is checked where it is read, not trusted.
bool TEntity::HasAnimSeq(int seq) const {
  return seq >= 0 && seq <= seq_count && size_t(seq) < seq_first.size() && size_t(seq) < seq_last.size();
}

int TEntity::ExtractAnimSeq(int first, int last, int base) {
  if (!HasAnimSeq(base)) return 0;
  const int offset = base != 0 ? seq_first[size_t(base)] : 0;
  ++seq_count;
  seq_first.resize(size_t(seq_count) + 1, 0);
  seq_last.resize(size_t(seq_count) + 1, 0);
  seq_first[size_t(seq_count)] = SaturatedSum(first, offset);
  seq_last[size_t(seq_count)] = SaturatedSum(last, offset);
  return seq_count;
}

void TEntity::Animate(int mode, float speed, int seq, int trans) {
  if (!HasAnimSeq(seq)) return;
  anim_mode = mode;
  anim_speed = speed;
  anim_seq = seq;
  anim_blend_frames = trans;
  // A transition counts its blend factor 0..1 in anim_time; the sequence's first frame
  // takes over when it ends. anim_dir stays: a ping-pong resumes its direction.
  anim_time = trans > 0 ? 0.0f : float(seq_first[size_t(seq)]);
  anim_pending = 1;
}

void TEntity::SetAnimTime(float time, int seq) {
  if (!HasAnimSeq(seq)) return;
  anim_mode = -1;
  anim_speed = 0.0f;
  anim_seq = seq;
  anim_blend_frames = 0;
  anim_pending = 0;
  const int first = seq_first[size_t(seq)], last = seq_last[size_t(seq)];
  const float t = float(WrapIntoSequence(double(time) + first, first, last));
  TAnimation::AnimateMesh(this, t, first, last);
  anim_time = t;
}

int TEntity::AnimLength() const {
  if (!HasAnimSeq(anim_seq)) return 0;
  return int(int64_t{seq_last[size_t(anim_seq)]} - seq_first[size_t(anim_seq)]);
}

float TEntity::AnimTime() const {
  if (anim_blend_frames > 0 || !HasAnimSeq(anim_seq)) return 0.0f;
  if (anim_mode > 0 || anim_mode == -1) return anim_time - float(seq_first[size_t(anim_seq)]);
  return 0.0f;  // mode 0 (and anything below 1 but manual) reports no time
}

int TEntity::Animating() const { return (anim_blend_frames > 0 || anim_mode > 0) ? 1 : 0; }
