// The event queue: a bounded FIFO with merging of the event kinds that repeat.
// One thread only: the toolkit's callbacks and the signal pipe post from the main
// thread, inside the pump, so nothing here is locked.
#include "platform/event_queue.h"

#include <deque>

namespace {

std::deque<TEvent> g_pending;
TEvent g_current;
EventPump g_pump;

// Kinds that only ever matter in their latest state: a second tick, size or move
// behind one not yet handled says nothing new, and a button pressed twice before
// the loop looked at it is still one action.
bool Merges(EventId id) {
  return id == EventId::TimerTick || id == EventId::WindowSize || id == EventId::WindowMove ||
         id == EventId::GadgetAction;
}

EventId TakeNext() {
  g_current = g_pending.front();
  g_pending.pop_front();
  return g_current.id;
}

}  // namespace

void PostEvent(const TEvent& event) {
  if (Merges(event.id)) {
    for (TEvent& pending : g_pending) {
      if (pending.id == event.id && pending.source == event.source) {
        pending = event;
        return;
      }
    }
  }
  if (static_cast<int>(g_pending.size()) >= kMaxPendingEvents) return;
  g_pending.push_back(event);
}

void PostEvent(EventId id, EventSourcePtr source, int data, int x, int y, int extra) {
  PostEvent(TEvent{id, std::move(source), data, x, y, extra});
}

EventId WaitEvent() {
  while (g_pending.empty()) {
    if (!g_pump) {
      g_current = TEvent{};
      return EventId::None;
    }
    g_pump(true);
  }
  return TakeNext();
}

EventId PollEvent() {
  if (g_pump) g_pump(false);
  if (g_pending.empty()) {
    g_current = TEvent{};
    return EventId::None;
  }
  return TakeNext();
}

std::optional<TEvent> PeekEvent() {
  if (g_pending.empty()) return std::nullopt;
  return g_pending.front();
}

const TEvent& CurrentEvent() { return g_current; }
EventId EventID() { return g_current.id; }
int EventData() { return g_current.data; }
EventSourcePtr EventSource() { return g_current.source; }
int EventX() { return g_current.x; }
int EventY() { return g_current.y; }
int EventExtra() { return g_current.extra; }

int PendingEventCount() { return static_cast<int>(g_pending.size()); }

void FlushEvents() {
  g_pending.clear();
  g_current = TEvent{};
}

void SetEventPump(EventPump pump) { g_pump = std::move(pump); }
