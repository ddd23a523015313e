// The program's one event queue: timers, input and window changes all arrive here
// and the main loop takes them out one at a time. It knows nothing of the GUI
// toolkit; the toolkit plugs in a pump that WaitEvent and PollEvent run while the
// queue is empty, so the queue can be driven (and tested) without a display.
#pragma once

#include <functional>
#include <memory>
#include <optional>

// Event ids. Scoped because several share a name with a polled query (KeyDown).
enum class EventId : int {
  None = 0,
  AppTerminate = 0x103,
  KeyDown = 0x201,
  KeyUp = 0x202,
  KeyChar = 0x203,
  MouseDown = 0x401,
  MouseUp = 0x402,
  MouseMove = 0x403,
  MouseWheel = 0x404,
  TimerTick = 0x801,
  HotKeyHit = 0x1001,
  GadgetAction = 0x2001,
  GadgetPaint = 0x2002,
  WindowMove = 0x4001,
  WindowSize = 0x4002,
  WindowClose = 0x4003,
  MenuAction = 0x8001,
};

// Anything that can be an event's source (gadgets, timers). Sources are compared by
// identity only; the queue holds a reference so a pending event's source stays valid.
class TEventSource : public std::enable_shared_from_this<TEventSource> {
 public:
  virtual ~TEventSource() = default;
};
using EventSourcePtr = std::shared_ptr<TEventSource>;

struct TEvent {
  EventId id = EventId::None;
  EventSourcePtr source;
  int data = 0;   // key code, mouse button, menu tag, tick count, wheel steps
  int x = 0;      // pointer position in the source's client coordinates
  int y = 0;
  int extra = 0;  // modifier bits (1 shift, 2 control, 4 alt) for key and mouse events
};

// A slow frame or a modal dialog must not leave hundreds of events behind it.
constexpr int kMaxPendingEvents = 256;

// Queues the event; a post to a full queue is dropped. TimerTick, WindowSize,
// WindowMove and GadgetAction merge into a pending event of the same id and source
// (its fields are replaced, its place in the queue kept), so they never pile up.
void PostEvent(const TEvent& event);
void PostEvent(EventId id, EventSourcePtr source = nullptr, int data = 0, int x = 0, int y = 0,
               int extra = 0);

// Blocks until an event is queued, makes it the current event and returns its id.
// Returns EventId::None at once if the queue is empty and no pump is installed,
// since nothing could ever arrive on the one thread.
EventId WaitEvent();
// Lets the toolkit run without blocking; takes the next event if there is one,
// else the current event becomes the empty event (EventId::None).
EventId PollEvent();
// The next pending event without taking it out.
std::optional<TEvent> PeekEvent();

const TEvent& CurrentEvent();
EventId EventID();
int EventData();
EventSourcePtr EventSource();
int EventX();
int EventY();
int EventExtra();

int PendingEventCount();
// Drops every pending event and the current one (tests, and start-up).
void FlushEvents();

// The toolkit's pump: called with block = true when WaitEvent finds the queue empty
// (it should wait for the toolkit's next input, timer or file event), and with
// block = false from PollEvent (handle what is ready and return). Null removes it.
using EventPump = std::function<void(bool block)>;
void SetEventPump(EventPump pump);
