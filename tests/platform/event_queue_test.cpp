// The event queue without a toolkit: which kinds merge and by what, the 256 limit,
// FIFO order, and the pump that WaitEvent runs (standing in for a modal dialog).
#include <gtest/gtest.h>

#include <vector>

#include "platform/event_queue.h"

namespace {

class EventQueueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FlushEvents();
    SetEventPump(nullptr);
  }
  void TearDown() override {
    FlushEvents();
    SetEventPump(nullptr);
  }
  static std::vector<TEvent> Drain() {
    std::vector<TEvent> out;
    while (PollEvent() != EventId::None) out.push_back(CurrentEvent());
    return out;
  }
  EventSourcePtr a_ = std::make_shared<TEventSource>();
  EventSourcePtr b_ = std::make_shared<TEventSource>();
};

TEST_F(EventQueueTest, RepeatingKindsMergePerIdAndSource) {
  struct Case {
    const char* name;
    EventId id;
    bool second_from_other_source;
    int expected_pending;
  };
  const Case cases[] = {
      {"tick, same timer", EventId::TimerTick, false, 1},
      {"tick, two timers", EventId::TimerTick, true, 2},
      {"size, same window", EventId::WindowSize, false, 1},
      {"move, same window", EventId::WindowMove, false, 1},
      {"action, same button", EventId::GadgetAction, false, 1},
      {"action, two buttons", EventId::GadgetAction, true, 2},
      {"mouse move", EventId::MouseMove, false, 2},
      {"mouse down", EventId::MouseDown, false, 2},
      {"key down", EventId::KeyDown, false, 2},
      {"paint", EventId::GadgetPaint, false, 2},
      {"menu", EventId::MenuAction, false, 2},
  };
  for (const Case& c : cases) {
    FlushEvents();
    PostEvent(c.id, a_, 1, 10, 11);
    PostEvent(c.id, c.second_from_other_source ? b_ : a_, 2, 20, 21);
    ASSERT_EQ(PendingEventCount(), c.expected_pending) << c.name;
    if (c.expected_pending == 1) {
      // The pending event takes the newer fields.
      ASSERT_EQ(WaitEvent(), c.id) << c.name;
      EXPECT_EQ(EventData(), 2) << c.name;
      EXPECT_EQ(EventX(), 20) << c.name;
      EXPECT_EQ(EventY(), 21) << c.name;
      EXPECT_EQ(EventSource(), a_) << c.name;
    }
  }
}

TEST_F(EventQueueTest, MergedEventKeepsItsPlaceInTheQueue) {
  PostEvent(EventId::TimerTick, a_, 1);
  PostEvent(EventId::MouseMove, b_, 0, 5, 5);
  PostEvent(EventId::TimerTick, a_, 2);
  std::vector<TEvent> got = Drain();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].id, EventId::TimerTick);
  EXPECT_EQ(got[0].data, 2);
  EXPECT_EQ(got[1].id, EventId::MouseMove);
}

TEST_F(EventQueueTest, FullQueueDropsNewEventsButStillMerges) {
  PostEvent(EventId::GadgetAction, a_, 1);
  for (int i = 1; i < kMaxPendingEvents + 50; ++i) PostEvent(EventId::MouseMove, b_, i);
  EXPECT_EQ(PendingEventCount(), kMaxPendingEvents);
  PostEvent(EventId::GadgetAction, a_, 99);  // merges: no new entry needed
  PostEvent(EventId::GadgetAction, b_, 7);   // would be new: dropped
  std::vector<TEvent> got = Drain();
  ASSERT_EQ(static_cast<int>(got.size()), kMaxPendingEvents);
  EXPECT_EQ(got[0].data, 99);
  for (int i = 1; i < kMaxPendingEvents; ++i) {
    ASSERT_EQ(got[i].id, EventId::MouseMove) << i;
    ASSERT_EQ(got[i].data, i) << "oldest events are kept, in order";
  }
}

TEST_F(EventQueueTest, CurrentEventAndPeek) {
  EXPECT_EQ(WaitEvent(), EventId::None) << "no pump: nothing can arrive, so no hang";
  PostEvent(TEvent{EventId::KeyDown, a_, 65, 3, 4, 2});
  std::optional<TEvent> next = PeekEvent();
  ASSERT_TRUE(next.has_value());
  EXPECT_EQ(next->data, 65);
  EXPECT_EQ(PendingEventCount(), 1) << "peek leaves it queued";
  ASSERT_EQ(WaitEvent(), EventId::KeyDown);
  EXPECT_EQ(CurrentEvent().extra, 2);
  EXPECT_EQ(EventSource(), a_);
  EXPECT_EQ(PollEvent(), EventId::None);
  EXPECT_EQ(EventID(), EventId::None) << "an empty poll clears the current event";
  EXPECT_EQ(EventSource(), nullptr);
  EXPECT_FALSE(PeekEvent().has_value());
}

// A modal dialog runs the toolkit inside the handler that opened it, and the timer
// keeps firing there. Stand-in: the pump is that dialog, posting a long run of ticks.
TEST_F(EventQueueTest, TicksBehindAHeldOpenModalLeaveOnePending) {
  EventSourcePtr timer = a_;
  EventSourcePtr canvas = b_;
  int pumps = 0;
  SetEventPump([&](bool block) {
    EXPECT_TRUE(block);
    ++pumps;
    for (int tick = 1; tick <= 600; ++tick) PostEvent(EventId::TimerTick, timer, tick);
    PostEvent(EventId::GadgetPaint, canvas);
    for (int tick = 601; tick <= 700; ++tick) PostEvent(EventId::TimerTick, timer, tick);
  });
  ASSERT_EQ(WaitEvent(), EventId::TimerTick);
  EXPECT_EQ(pumps, 1);
  EXPECT_EQ(EventData(), 700) << "the one tick carries the latest count";
  ASSERT_EQ(PendingEventCount(), 1);
  EXPECT_EQ(WaitEvent(), EventId::GadgetPaint);
}

TEST_F(EventQueueTest, PollRunsThePumpWithoutBlocking) {
  std::vector<bool> calls;
  SetEventPump([&](bool block) {
    calls.push_back(block);
    if (calls.size() == 2) PostEvent(EventId::MenuAction, nullptr, 4);
  });
  EXPECT_EQ(PollEvent(), EventId::None);
  EXPECT_EQ(PollEvent(), EventId::MenuAction);
  EXPECT_EQ(EventData(), 4);
  EXPECT_EQ(calls, (std::vector<bool>{false, false}));
}

}  // namespace
