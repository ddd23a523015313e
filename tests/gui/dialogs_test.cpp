// Timers, modal dialogs, the test seams, the terminate signals and End, on a real X
// server. The modal dialogs are the real ones, closed from a toolkit timeout.
#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Browser.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Return_Button.H>
#include <FL/Fl_Window.H>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "gui_fixture.h"
#include "platform/app_startup.h"
#include "support/file_permissions.h"

// Last: it brings in X11's macros, which clash with names above.
#include <FL/fl_draw.H>

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

// A notice's text breaks into the lines it was measured in: one line for a short text,
// as many as fit a wrapped long one, within its box (a left-aligned label is drawn 3 px
// inside the box on each side).
TEST_F(DialogsTest, NoticeTextFitsItsBoxAtTheWidthItIsDrawn) {
  for (const std::string& text : {std::string("Could not load /tmp/a/doomed.tga: there is no such file."),
                                  "Could not load /tmp/" + std::string(60, 'a') + "/b.tga: it is not a whole TGA, "
                                  "JPEG, PNG or BMP image of at most 16384 x 16384 pixels."}) {
    SCOPED_TRACE(text);
    int drawn_h = -1, box_h = 0;
    ModalScript look{[&](Fl_Window* modal) {
                       Fl_Box* box =
                           FindWidget<Fl_Box>(modal, [&](Fl_Box* b) { return b->label() && b->label() == text; });
                       if (box) {
                         fl_font(box->labelfont(), box->labelsize());
                         int w = box->w() - 6;
                         drawn_h = 0;
                         fl_measure(box->label(), w, drawn_h);
                         box_h = box->h();
                       }
                       modal->hide();
                     },
                     0.2};
    look.Arm();
    Notify(text, true);
    EXPECT_EQ(drawn_h, box_h);
  }
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

// The chooser's list, "Show:" and status line, read from inside it.
struct ChooserView {
  std::vector<std::string> lines;
  std::string shown_filter, folder, status;
};

ChooserView Look(Fl_Window* modal) {
  ChooserView view;
  if (auto* list = FindWidget<Fl_Browser>(modal, [](Fl_Browser*) { return true; })) {
    for (int i = 1; i <= list->size(); ++i) view.lines.push_back(list->text(i));
  }
  if (auto* show = FindWidget<Fl_Choice>(modal, [](Fl_Choice*) { return true; })) {
    view.shown_filter = show->text() ? show->text() : "";
  }
  std::vector<std::string> labels;
  FindWidget<Fl_Box>(modal, [&](Fl_Box* b) {
    labels.push_back(b->label() ? b->label() : "");
    return false;
  });
  for (const std::string& l : labels) {
    if (l.rfind("Folder: ", 0) == 0) {
      view.folder = l.substr(8);
    } else if (!l.empty()) {
      view.status = l;
    }
  }
  return view;
}

Fl_Button* ButtonLabelled(Fl_Window* modal, const std::string& label) {
  return FindWidget<Fl_Button>(modal, [&](Fl_Button* b) { return b->label() && b->label() == label; });
}

void Type(Fl_Window* modal, const std::string& typed) {
  auto* input = FindWidget<Fl_Input>(modal, [](Fl_Input*) { return true; });
  input->value(typed.c_str());
  ButtonLabelled(modal, "OK")->do_callback();
}

// Folders and the regular files whose extension is the filter's in any case; not a
// FIFO that carries the name, nor hidden files. Files made while it is open show on
// the refresh key.
TEST_F(DialogsTest, FileChooserOffersFoldersAndMatchingRegularFilesAndRefreshes) {
  char dir_template[] = "/tmp/velmora_chooser_XXXXXX";
  ASSERT_NE(mkdtemp(dir_template), nullptr);
  const std::string dir = dir_template;
  for (const char* name : {"a.tga", "B.TGA", "c.Tga", "notes.txt", ".hidden.tga"}) {
    std::FILE* f = std::fopen((dir + "/" + name).c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
  }
  ASSERT_EQ(mkfifo((dir + "/x.tga").c_str(), 0644), 0);
  ASSERT_EQ(mkdir((dir + "/sub").c_str(), 0755), 0);

  ChooserView opened, refreshed, fifo_typed;
  ModalScript look{[&](Fl_Window* modal) {
                     opened = Look(modal);
                     std::FILE* f = std::fopen((dir + "/d.tga").c_str(), "wb");
                     if (f) std::fclose(f);
                     Fl_Button* refresh = ButtonLabelled(modal, "Refresh");
                     EXPECT_EQ(refresh ? refresh->shortcut() : 0, FL_F + 5);
                     Fl::e_keysym = FL_F + 5;
                     Fl::e_state = 0;  // no modifier left from an earlier event
                     Fl::handle(FL_KEYBOARD, modal);
                     refreshed = Look(modal);
                     EXPECT_NE(dynamic_cast<Fl_Input*>(Fl::focus()), nullptr) << "typing goes on in the name field";
                     Type(modal, "x.tga");
                     fifo_typed = Look(modal);
                     EXPECT_TRUE(modal->shown());
                     modal->hide();
                   },
                   0.2};
  look.Arm();
  EXPECT_EQ(RequestFile("Select .tga file", "tga", false, dir), "");
  EXPECT_EQ(opened.folder, dir);
  EXPECT_EQ(opened.shown_filter, "TGA images (*.tga)");
  EXPECT_EQ(opened.lines, (std::vector<std::string>{"../", "sub/", "a.tga", "B.TGA", "c.Tga"}));
  EXPECT_EQ(refreshed.lines, (std::vector<std::string>{"../", "sub/", "a.tga", "B.TGA", "c.Tga", "d.tga"}));
  EXPECT_EQ(fifo_typed.status, "Not a regular file: x.tga");
  std::system(("rm -rf '" + dir + "'").c_str());
}

// Return on a folder selected in the list opens it, even one named "~"; a typed "~/" is
// the home folder; a folder that cannot be read, or whose entries cannot be looked up,
// says so.
TEST_F(DialogsTest, FileChooserReturnOpensTheSelectedFolderTildeIsHomeAndUnreadableFoldersSaySo) {
  char dir_template[] = "/tmp/velmora_chooser_XXXXXX";
  ASSERT_NE(mkdtemp(dir_template), nullptr);
  const std::string dir = dir_template;
  ASSERT_EQ(mkdir((dir + "/sub").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((dir + "/locked").c_str(), 0), 0);
  ASSERT_EQ(mkdir((dir + "/~").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((dir + "/peek").c_str(), 0755), 0);
  for (const char* name : {"/~/tilde.tga", "/peek/hidden.tga"}) {
    std::FILE* made = std::fopen((dir + name).c_str(), "wb");
    ASSERT_NE(made, nullptr);
    std::fclose(made);
  }
  ASSERT_EQ(chmod((dir + "/peek").c_str(), 0444), 0);
  std::FILE* f = std::fopen((dir + "/sub/shirt.tga").c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  const char* home = std::getenv("HOME");
  const std::string saved_home = home ? home : "";
  setenv("HOME", (dir + "/sub").c_str(), 1);
  const HonourFilePermissions as_a_user;

  ChooserView after_return, tilde, locked, peek;
  ModalScript script{[&](Fl_Window* modal) {
                       auto* list = FindWidget<Fl_Browser>(modal, [](Fl_Browser*) { return true; });
                       const auto return_on = [&](const std::string& line) {
                         for (int i = 1; i <= list->size(); ++i)
                           if (std::string(list->text(i)) == line) list->select(i);
                         list->take_focus();
                         Fl::e_keysym = FL_Enter;
                         Fl::handle(FL_KEYBOARD, modal);
                         return Look(modal);
                       };
                       after_return = return_on("sub/");
                       return_on("../");
                       tilde = return_on("~/");
                       Type(modal, "../locked");
                       locked = Look(modal);
                       Type(modal, "../peek");
                       peek = Look(modal);
                       Type(modal, "~/shirt.tga");
                     },
                     0.2};
  script.Arm();
  EXPECT_EQ(RequestFile("Select .tga file", "tga", false, dir), dir + "/sub/shirt.tga");
  EXPECT_EQ(after_return.folder, dir + "/sub");
  EXPECT_EQ(after_return.lines, (std::vector<std::string>{"../", "shirt.tga"}));
  EXPECT_EQ(locked.folder, dir + "/locked");
  EXPECT_EQ(locked.status, "Cannot read this folder: Permission denied");
  EXPECT_EQ(locked.lines, std::vector<std::string>{"../"});
  EXPECT_EQ(tilde.folder, dir + "/~");
  EXPECT_EQ(tilde.lines, (std::vector<std::string>{"../", "tilde.tga"}));
  EXPECT_EQ(peek.folder, dir + "/peek");
  EXPECT_EQ(peek.status, "Cannot read this folder: Permission denied");
  chmod((dir + "/peek").c_str(), 0755);
  setenv("HOME", saved_home.c_str(), 1);
  std::system(("rm -rf '" + dir + "'").c_str());
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
  struct Dialog {
    const char* what;
    int signal;
    std::function<void()> open;
  };
  const Dialog dialogs[] = {
      {"notice", SIGTERM, [] { Notify("held open", false); }},
      {"file chooser", SIGINT, [] { EXPECT_EQ(RequestFile("Select .tga file", "tga", false, "/"), ""); }},
      {"colour chooser", SIGTERM, [] { EXPECT_EQ(RequestColor(1, 2, 3), 0); }},
  };
  for (const Dialog& dialog : dialogs) {
    SCOPED_TRACE(dialog.what);
    const std::function<void()>& open = dialog.open;
    StartApplication();
    FlushEvents();
    ModalScript signal{[&](Fl_Window*) { raise(dialog.signal); }, 0.2};
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
