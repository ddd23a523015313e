// The world step: TGlobal::UpdateWorld first runs the collision update (entities moved
// and slid under the collision rules), then advances the animation of every entity that
// has one pending (transition blending, then pose once, loop, ping-pong or one-shot) and
// poses its mesh. Visibility plays no part in animation: a hidden entity is stepped.
#include "engine/collision/collision.h"
#include "engine/mesh/animation.h"
#include "engine/scene/anim_wrap.h"
#include "engine/scene/entity.h"
#include "engine/scene/global.h"

namespace {

enum AnimMode : int { kPoseOnce = 0, kLoop = 1, kPingPong = 2, kOneShot = 3 };

// One transition update: the blend factor climbs so that the last transition update
// reaches 1.0 exactly, whatever the count. Returns false when no transition step ran.
bool StepTransition(TEntity& e, int first, int last) {
  if (e.anim_blend_frames <= 0) return false;
  --e.anim_blend_frames;
  const bool last_blend = e.anim_blend_frames == 1;
  if (e.anim_blend_frames <= 0) return false;  // a count of 1 ends before any blend
  e.anim_time += (1.0f - e.anim_time) / float(e.anim_blend_frames);
  TAnimation::AnimateMesh2(&e, e.anim_time, first, last);
  if (last_blend) e.anim_time = float(first);  // normal stepping starts at the first frame
  return true;
}

// One normal update: pose at the current time, then move it. Bound tests are strict, so
// a time equal to first or last stays where it is.
void StepTime(TEntity& e, int first, int last, float speed) {
  TAnimation::AnimateMesh(&e, e.anim_time, first, last);
  const float step = e.anim_speed * speed;
  const float lo = float(first), hi = float(last);
  switch (e.anim_mode) {
    case kPoseOnce:
      e.anim_pending = 0;
      break;
    case kLoop:
      e.anim_time += step;
      if (e.anim_time > hi) {
        // Wrapped by whole lengths, so a step longer than the sequence (or an infinite
        // one) still leaves the time inside it.
        e.anim_time = last > first ? float(WrapIntoSequence(e.anim_time, first, last))
                                   : lo + (e.anim_time - hi);
      }
      break;
    case kPingPong: {
      // Turning restores the time it had rather than subtracting the step again: with a
      // huge step, t + step - step is not t in floats.
      if (e.anim_dir == 1) {
        const float before = e.anim_time;
        e.anim_time += step;
        if (e.anim_time > hi) {
          e.anim_time = before;
          e.anim_dir = -1;
        }
      }
      if (e.anim_dir == -1) {  // also right after turning at the top
        const float before = e.anim_time;
        e.anim_time -= step;
        if (e.anim_time < lo) {
          e.anim_time = before;
          e.anim_dir = 1;
        }
      }
      break;
    }
    case kOneShot:
      e.anim_time += step;
      if (e.anim_time > hi) {
        e.anim_time = hi;
        e.anim_mode = kPoseOnce;  // still pending: the next update poses the end once more
      }
      break;
    default:  // manual or unknown modes: the same frame again while pending
      break;
  }
}

}  // namespace

void TGlobal::UpdateWorld(float speed) {
  TCollision::UpdateCollisions();  // before animation: sweeps start where the program put things
  for (const EntityPtr& entity : TEntity::entity_list) {
    TEntity& e = *entity;
    if (e.animated == 0 || e.anim_pending != 1) continue;
    if (!e.HasAnimSeq(e.anim_seq)) continue;  // a sequence set by hand that does not exist
    const int first = e.seq_first[size_t(e.anim_seq)], last = e.seq_last[size_t(e.anim_seq)];
    if (!StepTransition(e, first, last)) StepTime(e, first, last, speed);
  }
}
