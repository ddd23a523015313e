// Timers, modal dialogs, the test seams, the terminate signals and End, on a real X
// server. The modal dialogs are the real ones, closed from a toolkit timeout.
#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Return_Button.H>
#include <FL/Fl_Window.H>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "gui_fixture.h"
#include "platform/app_startup.h"

namespace {

// Depth-first search of a dialog for a widget of type T that passes the test.
template <typename T>
T* FindWidget(Fl_Group* group, const std::function<bool(T*)>& test) {
  for (int i = 0; i < group->children(); ++i) {
    Fl_Widget* child = group->child(i);
    if (auto* hit = dynamic_cast<T*>(child); hit && test(hit)) return hit;
    if (Fl_Group* sub = child->as_group()) {
      if (T* found = FindWidget<T>(sub, test)) return found;
    }
  }
  return nullptr;
}

// Runs act on the modal dialog once it is up, from inside the dialog's own loop.
struct ModalScript {
  std::function<void(Fl_Window*)> act;
  double delay;
  bool ran = false;
  static void Fire(void* data) {
    auto* script = static_cast<ModalScript*>(data);
    Fl_Window* modal = Fl::modal();
    if (!modal) {
      Fl::repeat_timeout(0.02, Fire, data);
      return;
    }
    script->ran = true;
    script->act(modal);
  }
  void Arm() { Fl::add_timeout(delay, Fire, this); }
};

using DialogsTest = GuiTest;

TEST_F(DialogsTest, TimerTicksCoalesceWhileNobodyTakesThem) {
  TimerPtr timer = CreateTimer(200.0);
  ASSERT_NE(timer, nullptr);
  PumpFor(250);
  StopTimer(timer);
  std::vector<TEvent> got = TakePending();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].id, EventId::TimerTick);
  EXPECT_EQ(got[0].source, timer);
  EXPECT_GE(TimerTicks(timer), 10);
  EXPECT_EQ(got[0].data, TimerTicks(timer)) << "the pending tick carries the latest count";
  EXPECT_EQ(CreateTimer(0), nullptr);
}

TEST_F(DialogsTest, NoticeHeldOpenLeavesOnePendingTick) {
  TimerPtr timer = CreateTimer(100.0);
  std::string title, button;
  ModalScript close{[&](Fl_Window* modal) {
                      title = modal->label() ? modal->label() : "";
                      Fl_Button* ok = FindWidget<Fl_Button>(modal, [](Fl_Button* b) {
                        return b->visible() && b->label() && std::string(b->label()) == "OK";
                      });
                      button = ok ? ok->label() : "";
                      modal->hide();
                    },
                    0.4};
  close.Arm();
  Notify("line one\rline two", false);
  StopTimer(timer);
  ASSERT_TRUE(close.ran);
  EXPECT_EQ(title, AppTitle());
  EXPECT_EQ(title, "Velmora");
  EXPECT_EQ(button, "OK");
  EXPECT_GE(TimerTicks(timer), 20) << "the timer kept running inside the dialog";
  int ticks = 0;
  for (const TEvent& e : TakePending()) ticks += e.id == EventId::TimerTick;
  EXPECT_EQ(ticks, 1);
}

TEST_F(DialogsTest, FileRequesterReturnsTheChosenPathOrEmptyOnCancel) {
  char dir_template[] = "/tmp/velmora_gui_XXXXXX";
  ASSERT_NE(mkdtemp(dir_template), nullptr);
  std::string path = std::string(dir_template) + "/shirt.TGA";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fclose(f);

  // Types into the chooser's file name field and presses OK.
  auto typing = [](const std::string& typed) {
    return [typed](Fl_Window* modal) {
      auto* input = FindWidget<Fl_Input>(modal, [](Fl_Input*) { return true; });
      auto* ok = FindWidget<Fl_Return_Button>(modal, [](Fl_Return_Button*) { return true; });
      if (!input || !ok) return modal->hide();
      input->value(typed.c_str());
      ok->do_callback();
    };
  };
  // An absolute path, whatever folder the chooser shows.
  ModalScript choose{typing(path), 0.2};
  choose.Arm();
  EXPECT_EQ(RequestFile("Select .tga file", "tga", false, "/"), path);
  // The next chooser opens in that file's folder: the bare name is enough.
  ModalScript again{typing("shirt.TGA"), 0.2};
  again.Arm();
  EXPECT_EQ(RequestFile("Select .tga file", "tga", false, ""), path);
  // A name that is not there keeps the chooser open; it is cancelled below.
  ModalScript missing{[&](Fl_Window* modal) {
                        typing("nothing.tga")(modal);
                        EXPECT_TRUE(modal->shown());
                        modal->hide();
                      },
                      0.2};
  missing.Arm();
  EXPECT_EQ(RequestFile("Select .tga file", "tga", false, ""), "");

  ModalScript cancel{[](Fl_Window* modal) {
                       Fl_Button* button = FindWidget<Fl_Button>(modal, [](Fl_Button* b) {
                         return b->label() && std::string(b->label()) == "Cancel";
                       });
                       if (button) {
                         button->do_callback();
                       } else {
                         modal->hide();
                       }
                     },
                     0.2};
  cancel.Arm();
  EXPECT_EQ(RequestFile("Select .tga file", "tga"), "");
  std::remove(path.c_str());
  rmdir(dir_template);
}

TEST_F(DialogsTest, HooksAnswerInsteadOfDialogs) {
  std::vector<std::string> asked;
  SetFileRequesterHook([&](const std::string& text, const std::string& ext, bool save, const std::string&) {
    asked.push_back(text + "|" + ext + "|" + (save ? "save" : "open"));
    return std::string("/tmp/a.tga");
  });
  EXPECT_EQ(RequestFile("Select .tga file", "tga", false, ""), "/tmp/a.tga");
  EXPECT_EQ(asked, std::vector<std::string>{"Select .tga file|tga|open"});

  SetColorRequesterHook([](int& r, int& g, int& b) {
    EXPECT_EQ(r, 130);
    EXPECT_EQ(g, 160);
    EXPECT_EQ(b, 255);
    r = 10;
    g = 20;
    b = 300;  // out of range: clamped
    return true;
  });
  ASSERT_EQ(RequestColor(130, 160, 255), 1);
  EXPECT_EQ(RequestedRed(), 10);
  EXPECT_EQ(RequestedGreen(), 20);
  EXPECT_EQ(RequestedBlue(), 255);
  SetColorRequesterHook([](int& r, int&, int&) {
    r = 99;
    return false;
  });
  EXPECT_EQ(RequestColor(1, 2, 3), 0);
  EXPECT_EQ(RequestedRed(), 10) << "a cancel keeps the last confirmed colour";

  std::string noticed;
  SetNotifyHook([&](const std::string& text, bool) { noticed = text; });
  Notify("a\rb");
  EXPECT_EQ(noticed, "a\rb");

  bool ended = false;
  SetEndHook([&] { ended = true; });
  End();
  EXPECT_TRUE(ended);
}

TEST_F(DialogsTest, TerminateSignalsArriveAsAppTerminate) {
  StartApplication();
  for (int sig : {SIGTERM, SIGINT}) {
    FlushEvents();
    ASSERT_EQ(raise(sig), 0);
    EXPECT_EQ(WaitEvent(), EventId::AppTerminate) << "signal " << sig;
  }
  StopApplication();
}

// A quit signal while a handler waits in a dialog: the dialog closes as cancelled, so
// the handler returns and the loop finds AppTerminate; dialogs asked for afterwards
// (a handler that opens another) close at once too.
TEST_F(DialogsTest, TerminateSignalClosesWhateverDialogIsOpen) {
  const std::vector<std::pair<const char*, std::function<void()>>> dialogs = {
      {"notice", [] { Notify("held open", false); }},
      {"file chooser", [] { EXPECT_EQ(RequestFile("Select .tga file", "tga", false, "/"), ""); }},
      {"colour chooser", [] { EXPECT_EQ(RequestColor(1, 2, 3), 0); }},
  };
  for (const auto& [what, open] : dialogs) {
    SCOPED_TRACE(what);
    StartApplication();
    FlushEvents();
    ModalScript signal{[](Fl_Window*) { raise(SIGTERM); }, 0.2};
    signal.Arm();
    ModalScript by_hand{[](Fl_Window* modal) { modal->hide(); }, 3.0};  // a failure ends, not hangs
    by_hand.Arm();
    const auto started = std::chrono::steady_clock::now();
    open();
    Fl::remove_timeout(ModalScript::Fire, &by_hand);
    ASSERT_TRUE(signal.ran) << "the dialog did not open";
    EXPECT_FALSE(by_hand.ran) << "closed only by hand";
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
    EXPECT_EQ(Fl::modal(), nullptr);
    ModalScript never{[](Fl_Window* modal) { modal->hide(); }, 0.0};
    never.Arm();
    open();
    Fl::remove_timeout(ModalScript::Fire, &never);
    EXPECT_FALSE(never.ran) << "a dialog opened after the quit request";
    int terminates = 0;
    for (const TEvent& e : TakePending()) terminates += e.id == EventId::AppTerminate;
    EXPECT_EQ(terminates, 1);
    StopApplication();
  }
}

TEST(EndDeathTest, EndsTheProcessWithStatusZero) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // GL and X may have started threads
  EXPECT_EXIT(End(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
