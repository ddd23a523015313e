// The previewer as a user meets it: the real binary on the X server of $DISPLAY, run
// from a folder holding its models and images with HOME a folder of its own, driven
// with xdotool (menu, the real file chooser, panel buttons, notices, a drag, a resize,
// Ctrl-Q, SIGTERM) and checked on screenshots taken with ImageMagick's import, and on
// what the session left on disk. The screenshots stay in the test's folder for a look.
//
// The write check sees any program's writes: another, older build of the previewer
// started meanwhile on the same machine rewrites /etc/fltk when run as root.
#include <gtest/gtest.h>

#include <signal.h>
#include <pwd.h>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>


#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>

#include "platform/file.h"
#include "platform/image.h"
#include "support/tga_file.h"

// Last: X11's macros clash with names above.
#include <X11/Xlib.h>

namespace {

const char* const kAssets[] = {"Tavren_Female.b3d", "Tavren_Male.b3d", "Tavren_Skirt.b3d", "HEAD.JPG",
                               "UPPER.JPG",         "LOWER.JPG",       "SKIRT.JPG",        "tavren_head.jpg",
                               "tavren_upper.jpg",  "tavren_lower.jpg"};

// Fixed by the previewer's layout: menu bar 25 px above the canvas; the panel's rows.
constexpr int kMenuBar = 25;
constexpr int kUpper1RowY = 135 + 12;  // the middle of the upper overlay 1 row
constexpr int kLower1RowY = 250 + 12;  // of the lower overlay 1 row
constexpr int kUpperBaseRowY = 110 + 12;
constexpr int kLowerBaseRowY = 225 + 12;
// The file chooser, from its top-left: the first line of its list, and the status line
// where it reports in red.
constexpr int kChooserListX = 60, kChooserFirstLineY = 78;
constexpr int kChooserStatusTop = 335, kChooserStatusBottom = 360;
constexpr int kFileButtonX = 57;
constexpr int kReloadButtonX = 137;
constexpr int kClearButtonX = 185;
// Menu titles and items, from the main window's top-left.
constexpr int kSceneMenuX = 72, kHelpMenuX = 127, kMenuItemX = 150;
constexpr int kFirstItemY = 38, kItemStep = 20;
// Where the female figure shows at the start, in canvas pixels of the 500 x 431 view.
constexpr int kChestX = 250, kChestY = 170;
constexpr int kBetweenLegsX = 250, kBetweenLegsY = 275;
constexpr int kThighX = 232, kThighY = 300;
// A notice wraps its text; none may be wider than a small screen.
constexpr int kMaxNoticeWidth = 1000;

std::string Output(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[512];
  while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
  pclose(pipe);
  return out;
}

bool Shell(const std::string& command) { return std::system(command.c_str()) == 0; }

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Polls until pred holds or ms pass.
bool WaitFor(const std::function<bool()>& pred, int ms) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < until) {
    if (pred()) return true;
    Sleep(100);
  }
  return pred();
}

struct Geometry {
  int x = 0, y = 0, width = 0, height = 0;
};

Geometry WindowGeometry(const std::string& id) {
  std::map<std::string, int> v;
  std::istringstream in(Output("xdotool getwindowgeometry --shell " + id + " 2>/dev/null"));
  for (std::string line; std::getline(in, line);) {
    const size_t eq = line.find('=');
    if (eq != std::string::npos) v[line.substr(0, eq)] = std::atoi(line.c_str() + eq + 1);
  }
  return {v["X"], v["Y"], v["WIDTH"], v["HEIGHT"]};
}

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

bool Near(const Rgba& c, int r, int g, int b) {
  return std::abs(c[0] - r) <= 2 && std::abs(c[1] - g) <= 2 && std::abs(c[2] - b) <= 2;
}
bool Background(const Rgba& c) { return Near(c, 130, 160, 255); }
bool Reddish(const Rgba& c) { return c[0] > 80 && c[0] > 2 * c[1] && c[0] > 2 * c[2]; }
bool Greenish(const Rgba& c) { return c[1] > 80 && c[1] > 2 * c[0] && c[1] > 2 * c[2]; }
bool Bluish(const Rgba& c) { return c[2] > 80 && c[2] > 2 * c[0] && c[2] > 2 * c[1]; }
bool Skin(const Rgba& c) { return c[0] > 150 && c[0] > c[1] && c[1] > c[2]; }
std::string Show(const Rgba& c) {
  return "(" + std::to_string(c[0]) + ", " + std::to_string(c[1]) + ", " + std::to_string(c[2]) + ")";
}

// An X server resets when its last client leaves, and refuses connections meanwhile:
// between two sessions the previewer could find no display. One connection held for
// the whole run keeps it up; it is retried while a reset after earlier programs ends.
bool HoldDisplay() {
  static Display* held = nullptr;
  for (int i = 0; !held && i < 100; ++i) {
    held = XOpenDisplay(nullptr);
    if (!held) Sleep(100);
  }
  return held != nullptr;
}

class PreviewerSession : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X server (DISPLAY)";
    ASSERT_TRUE(HoldDisplay()) << "cannot open the display";
    if (!Shell("command -v xdotool >/dev/null && command -v import >/dev/null"))
      GTEST_SKIP() << "needs xdotool and ImageMagick's import";
    const char* tmp = std::getenv("VELMORA_TEST_TMP");
    static int sessions = 0;
    // Absolute: typed paths and the previewer's own working folder must name the same
    // place whether ctest (absolute VELMORA_TEST_TMP) or a person (no variable) runs this.
    std::string base = tmp && *tmp ? tmp : "tmp";
    if (base[0] != '/') base = CurrentDir() + "/" + base;
    folder_ = base + "/session" + std::to_string(getpid()) + "_" + std::to_string(++sessions);
    home_ = folder_ + "/home";
    Shell("mkdir -p '" + home_ + "'");
    // An image in HOME for "~/" in the chooser; made before the stamp, like the assets.
    ASSERT_TRUE(WriteSolidTga(home_ + "/pants.tga", 220, 0, 0));
    for (const char* name : kAssets) {
      std::ifstream in(std::string(VELMORA_ASSET_DIR) + "/" + name, std::ios::binary);
      std::ofstream out(folder_ + "/" + name, std::ios::binary);
      out << in.rdbuf();
      ASSERT_TRUE(in && out) << name;
    }
    // Everything the previewer might write is newer than this.
    stamp_ = folder_ + "/stamp";
    ASSERT_TRUE(WriteSolidTga(stamp_, 0, 0, 0));
    Sleep(20);  // file times are coarse on some file systems
    pid_ = fork();
    ASSERT_GE(pid_, 0);
    if (pid_ == 0) {
      // Run as root, the previewer still meets files' permission bits: a folder made
      // unreadable is, as for any user (it stays root for what it might write).
      prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0);
      prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH, 0, 0, 0);
      // The run command starts the previewer in the folder of its models.
      setenv("HOME", home_.c_str(), 1);
      if (chdir(folder_.c_str()) == 0) execl(VELMORA_BINARY, VELMORA_BINARY, static_cast<char*>(nullptr));
      _exit(127);
    }
    ASSERT_TRUE(WaitFor([&] { return !FindMain().empty(); }, 15000)) << "no main window";
    main_ = FindMain();
  }

  void TearDown() override {
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }

  // Waits for the previewer to end; its exit status, or -1 when it is still running.
  int WaitExit(int ms) {
    int status = -1;
    if (!WaitFor([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, ms)) return -1;
    exited_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  // Nothing the session wrote: under HOME, in the password database's home (which GL
  // drivers use whatever HOME says), and in the toolkit's system-wide settings folder.
  void ExpectNothingWritten() {
    std::string places = "'" + home_ + "' /etc/fltk";
    const passwd* account = getpwuid(getuid());
    const std::string account_home = account && account->pw_dir ? account->pw_dir : "";
    if (!account_home.empty()) {
      for (const char* sub : {"/.cache", "/.config", "/.local", "/.fltk"}) places += " '" + account_home + sub + "'";
    }
    std::string written = Output("find " + places + " -newer '" + stamp_ + "' 2>/dev/null");
    if (!account_home.empty())
      written += Output("find '" + account_home + "' -maxdepth 1 -newer '" + stamp_ + "' ! -path '" + account_home +
                        "' 2>/dev/null");
    EXPECT_EQ(written, "") << "written during the session";
  }

  std::string FindMain() { return FirstLine(Output("xdotool search --name '^Velmora - 2.0b$' 2>/dev/null")); }

  // The panel: the program's window that is 200 wide.
  Geometry Panel() {
    std::istringstream ids(Output("xdotool search --pid " + std::to_string(pid_) + " 2>/dev/null"));
    for (std::string id; ids >> id;) {
      const Geometry g = WindowGeometry(id);
      if (g.width == 200 && g.height > 300) return g;
    }
    return {};
  }

  // The canvas's top-left on the screen.
  Geometry Canvas() {
    Geometry g = WindowGeometry(main_);
    g.y += kMenuBar;
    return g;
  }

  PixmapPtr Shot(const std::string& name) {
    const std::string path = folder_ + "/shot_" + std::to_string(++shots_) + "_" + name + ".png";
    last_canvas_ = Canvas();
    if (!Shell("import -window root '" + path + "' 2>/dev/null")) return nullptr;
    last_ = LoadPixmap(path);
    return last_;
  }

  // A canvas pixel of the last screenshot (black outside the screen).
  Rgba At(int x, int y) {
    if (!last_) return {0, 0, 0, 0};
    return last_->ReadPixel(last_canvas_.x + x, last_canvas_.y + y);
  }

  // Takes screenshots until the canvas pixel passes, or ms pass.
  bool ShowsAt(const std::string& name, int x, int y, const std::function<bool(const Rgba&)>& test, int ms = 10000) {
    return WaitFor(
        [&] {
          Shot(name);
          return test(At(x, y));
        },
        ms);
  }

  void Click(int x, int y) {
    Shell("xdotool mousemove --sync " + std::to_string(x) + " " + std::to_string(y) + " click 1");
  }

  // The visible window titled so, or "" once ms pass without one.
  std::string WaitForWindow(const std::string& title, int ms = 10000) {
    std::string id;
    const std::string search = "xdotool search --onlyvisible --name '" + title + "' 2>/dev/null";
    WaitFor([&] { return !(id = FirstLine(Output(search))).empty(); }, ms);
    return id;
  }
  bool WaitGone(const std::string& id, int ms = 10000) {
    return WaitFor(
        [&] {
          std::istringstream shown(Output("xdotool search --onlyvisible --name '.*' 2>/dev/null"));
          for (std::string line; std::getline(shown, line);)
            if (line == id) return false;
          return true;
        },
        ms);
  }

  // Types the key into the window until it goes: a window just mapped may not take
  // the focus yet.
  bool CloseWithKey(const std::string& id, const std::string& key) {
    return WaitFor(
        [&] {
          Shell("xdotool windowfocus --sync " + id + " 2>/dev/null && xdotool key " + key);
          return WaitGone(id, 1000);
        },
        10000);
  }

  // A notice or the colour chooser: headed with the program's name.
  std::string WaitForDialog() { return WaitForWindow("^Velmora$"); }

  // Presses a file button and types `typed` into the chooser's file name field.
  void ChooseByTyping(const Geometry& panel, int row_y, const std::string& typed) {
    Click(panel.x + kFileButtonX, panel.y + row_y);
    const std::string chooser = WaitForWindow("Select .tga file");
    ASSERT_FALSE(chooser.empty()) << "no file chooser";
    Shell("xdotool windowfocus --sync " + chooser);
    Shell("xdotool type --delay 20 '" + typed + "'");
    ASSERT_TRUE(CloseWithKey(chooser, "Return")) << "the chooser stayed open for " << typed;
  }

  // Screen pixels of the last screenshot in the rectangle that look like the chooser's
  // red status text.
  int RedPixels(int x0, int y0, int x1, int y1) {
    int n = 0;
    for (int y = y0; y < y1; ++y) {
      for (int x = x0; x < x1; ++x) {
        const Rgba c = last_ ? last_->ReadPixel(x, y) : Rgba{0, 0, 0, 0};
        n += c[0] > 150 && c[1] < 90 && c[2] < 90;
      }
    }
    return n;
  }

  // Help or Scene: the title, then the item (0 first) once the menu shows.
  void MenuItem(int title_x, int item) {
    const Geometry win = WindowGeometry(main_);
    Click(win.x + title_x, win.y + 12);
    ASSERT_TRUE(ShowsAt("menu", kMenuItemX, kFirstItemY - kMenuBar, [](const Rgba& c) { return !Background(c); }))
        << "no menu";
    Click(win.x + kMenuItemX, win.y + kFirstItemY + item * kItemStep);
  }

  std::string folder_;
  std::string home_;   // holds pants.tga, and nothing may be added
  std::string stamp_;  // made just before the previewer starts
  pid_t pid_ = -1;
  bool exited_ = false;
  std::string main_;
  int shots_ = 0;
  PixmapPtr last_;
  Geometry last_canvas_;  // where the canvas was when last_ was taken
};

TEST_F(PreviewerSession, SkirtImageClearDragResizeAndCtrlQ) {
  const Geometry win = WindowGeometry(main_);
  EXPECT_EQ(win.width, 500);

  // The avatar over the sky-blue background.
  ASSERT_TRUE(ShowsAt("start", kChestX, kChestY, Skin)) << Show(At(kChestX, kChestY));
  EXPECT_TRUE(Background(At(10, 10))) << Show(At(10, 10));
  EXPECT_TRUE(Background(At(kBetweenLegsX, kBetweenLegsY)));
  int figure_rows = 0;  // rows where the middle of the view shows something
  for (int y = 0; y < 431; ++y) {
    bool any = false;
    for (int x = 200; x < 300 && !any; x += 2) any = !Background(At(x, y));
    figure_rows += any;
  }
  EXPECT_GT(figure_rows, 300) << "a standing figure down the middle";

  // Scene > Toggle Skirt, through the menu bar.
  MenuItem(kSceneMenuX, 2);
  EXPECT_TRUE(ShowsAt("skirt", kBetweenLegsX, kBetweenLegsY, Reddish)) << Show(At(kBetweenLegsX, kBetweenLegsY));

  // The upper overlay's file button, through the real file chooser, to a green TGA.
  ASSERT_TRUE(WriteSolidTga(folder_ + "/paint.tga", 0, 220, 0));
  const Geometry panel = Panel();
  ASSERT_GT(panel.width, 0) << "no panel";
  // The first chooser opens in the working folder.
  ChooseByTyping(panel, kUpper1RowY, "paint.tga");
  EXPECT_TRUE(ShowsAt("shirt", kChestX, kChestY, Greenish)) << Show(At(kChestX, kChestY));

  // "-" on that slot takes the shirt off again.
  Click(panel.x + kClearButtonX, panel.y + kUpper1RowY);
  EXPECT_TRUE(ShowsAt("cleared", kChestX, kChestY, Skin)) << Show(At(kChestX, kChestY));
  const PixmapPtr before_drag = last_;

  // A drag on the canvas turns the view.
  const Geometry canvas = Canvas();
  // The pointer comes to rest first: a press applies the movement before it.
  Shell("xdotool mousemove " + std::to_string(canvas.x + 199) + " " + std::to_string(canvas.y + 200));
  Shell("xdotool mousemove " + std::to_string(canvas.x + 200) + " " + std::to_string(canvas.y + 200));
  Sleep(200);
  Shell("xdotool mousedown 1");
  for (int i = 1; i <= 5; ++i) {
    Shell("xdotool mousemove " + std::to_string(canvas.x + 200 + 8 * i) + " " + std::to_string(canvas.y + 200));
    Sleep(30);
  }
  Shell("xdotool mouseup 1");
  Sleep(500);
  Shot("turned");
  int changed = 0;
  for (int y = 0; y < 431; y += 2) {
    for (int x = 0; x < 500; x += 2) {
      const Rgba was = before_drag->ReadPixel(canvas.x + x, canvas.y + y);
      changed += !Near(At(x, y), was[0], was[1], was[2]);
    }
  }
  EXPECT_GT(changed, 500) << "the view did not turn";
  EXPECT_TRUE(Background(At(10, 10)));

  // A larger window: the canvas and the view follow.
  Shell("xdotool windowsize " + main_ + " 700 600");
  EXPECT_TRUE(ShowsAt("resized", 690, 10, Background)) << Show(At(690, 10));
  EXPECT_TRUE(Background(At(690, 540))) << "the view reaches the new bottom: " << Show(At(690, 540));

  // Ctrl-Q (Command-Q on the Mac) ends the process with status 0.
  Shell("xdotool mousemove " + std::to_string(canvas.x + 300) + " " + std::to_string(canvas.y + 300));
  Shell("xdotool windowfocus " + main_);
  Sleep(200);
  Shell("xdotool key ctrl+q");
  const int status = WaitExit(5000);
  ASSERT_NE(status, -1) << "still running";
  EXPECT_EQ(status, 0);
}

// The daily loop: images chosen by typed paths, one image on two overlay slots through
// "Re" and "-" on one of them, every notice, Ctrl-Q; and nothing is written anywhere.
TEST_F(PreviewerSession, TypedPathsSharedImageNoticesAndNothingWritten) {
  ASSERT_TRUE(ShowsAt("start", kThighX, kThighY, Skin)) << Show(At(kThighX, kThighY));
  const Rgba bare_thigh = At(kThighX, kThighY);
  const std::string art = folder_ + "/art";
  Shell("mkdir -p '" + art + "'");
  ASSERT_TRUE(WriteSolidTga(art + "/shirt.tga", 0, 220, 0));
  ASSERT_TRUE(WriteSolidTga(art + "/pants.tga", 220, 0, 0));
  const Geometry panel = Panel();
  ASSERT_GT(panel.width, 0) << "no panel";

  // An absolute path typed over the working folder.
  ChooseByTyping(panel, kUpper1RowY, art + "/shirt.tga");
  EXPECT_TRUE(ShowsAt("typed_path", kChestX, kChestY, Greenish)) << Show(At(kChestX, kChestY));
  // The next chooser opens in that folder: a bare name is enough.
  ChooseByTyping(panel, kLower1RowY, "pants.tga");
  EXPECT_TRUE(ShowsAt("bare_name", kThighX, kThighY, Reddish)) << Show(At(kThighX, kThighY));

  // One image on two overlay slots; "Re" and then "-" on the lower one.
  ChooseByTyping(panel, kLower1RowY, "shirt.tga");
  EXPECT_TRUE(ShowsAt("shared", kThighX, kThighY, Greenish)) << Show(At(kThighX, kThighY));
  Click(panel.x + kReloadButtonX, panel.y + kLower1RowY);
  Click(panel.x + kClearButtonX, panel.y + kLower1RowY);
  EXPECT_TRUE(ShowsAt("one_cleared", kThighX, kThighY, [&](const Rgba& c) {
    return Near(c, bare_thigh[0], bare_thigh[1], bare_thigh[2]);
  })) << "the base shows again: " << Show(At(kThighX, kThighY));
  EXPECT_TRUE(Greenish(At(kChestX, kChestY))) << "the other keeps its pixels: " << Show(At(kChestX, kChestY));

  // Each notice fits a small screen and closes with Return.
  for (int item = 0; item < 3; ++item) {
    SCOPED_TRACE("notice " + std::to_string(item));
    MenuItem(kHelpMenuX, item);
    const std::string notice = WaitForDialog();
    ASSERT_FALSE(notice.empty()) << "no notice";
    const Geometry g = WindowGeometry(notice);
    EXPECT_GT(g.width, 0);
    EXPECT_LE(g.width, kMaxNoticeWidth);
    ASSERT_TRUE(CloseWithKey(notice, "Return")) << "the notice stayed";
  }
  // The colour chooser too, cancelled with Escape.
  MenuItem(kSceneMenuX, 0);
  const std::string colour = WaitForDialog();
  ASSERT_FALSE(colour.empty()) << "no colour chooser";
  ASSERT_TRUE(CloseWithKey(colour, "Escape"));

  Shell("xdotool windowfocus --sync " + main_);
  Shell("xdotool key ctrl+q");
  EXPECT_EQ(WaitExit(10000), 0);
  ExpectNothingWritten();
}

TEST_F(PreviewerSession, TerminateRequestEndsWithStatusZero) {
  ASSERT_TRUE(ShowsAt("start", kChestX, kChestY, Skin));
  kill(pid_, SIGTERM);
  const int status = WaitExit(5000);
  ASSERT_NE(status, -1) << "still running";
  EXPECT_EQ(status, 0);
}

// An image edited on disk between steps: a second slot given it shows the new pixels
// and so does the first; with the file in a base slot and an overlay slot, "Re" on
// either shows the next edit in both.
TEST_F(PreviewerSession, EditedImageShowsAsOnDiskInEverySlotThatShowsIt) {
  ASSERT_TRUE(ShowsAt("start", kChestX, kChestY, Skin)) << Show(At(kChestX, kChestY));
  const std::string shirt = folder_ + "/shirt.tga";
  ASSERT_TRUE(WriteSolidTga(shirt, 0, 220, 0));
  const Geometry panel = Panel();
  ASSERT_GT(panel.width, 0) << "no panel";
  auto both = [&](const std::function<bool(const Rgba&)>& test) {
    return [this, test](const Rgba&) { return test(At(kChestX, kChestY)) && test(At(kThighX, kThighY)); };
  };

  ChooseByTyping(panel, kUpper1RowY, shirt);
  EXPECT_TRUE(ShowsAt("first_slot", kChestX, kChestY, Greenish)) << Show(At(kChestX, kChestY));
  ASSERT_TRUE(WriteSolidTga(shirt, 0, 0, 230));
  ChooseByTyping(panel, kLower1RowY, "shirt.tga");
  EXPECT_TRUE(ShowsAt("second_slot", 0, 0, both(Bluish)))
      << Show(At(kChestX, kChestY)) << " " << Show(At(kThighX, kThighY));

  // Upper overlay 1 and the lower base hold the file, loaded with different flags.
  Click(panel.x + kClearButtonX, panel.y + kLower1RowY);
  ChooseByTyping(panel, kLowerBaseRowY, "shirt.tga");
  ASSERT_TRUE(WriteSolidTga(shirt, 230, 0, 0));
  Click(panel.x + kReloadButtonX, panel.y + kUpper1RowY);
  EXPECT_TRUE(ShowsAt("re_on_overlay", 0, 0, both(Reddish)))
      << Show(At(kChestX, kChestY)) << " " << Show(At(kThighX, kThighY));
  ASSERT_TRUE(WriteSolidTga(shirt, 0, 220, 0));
  Click(panel.x + kReloadButtonX, panel.y + kLowerBaseRowY);
  EXPECT_TRUE(ShowsAt("re_on_base", 0, 0, both(Greenish)))
      << Show(At(kChestX, kChestY)) << " " << Show(At(kThighX, kThighY));

  Shell("xdotool windowfocus --sync " + main_);
  Shell("xdotool key ctrl+q");
  EXPECT_EQ(WaitExit(10000), 0);
  ExpectNothingWritten();
}

// An empty file chosen for an overlay slot and for a base slot: a notice each time, and
// the failed overlay draws nothing, so the base shows through.
TEST_F(PreviewerSession, AFileThatDoesNotLoadIsReported) {
  ASSERT_TRUE(ShowsAt("start", kThighX, kThighY, Skin)) << Show(At(kThighX, kThighY));
  const Rgba bare_thigh = At(kThighX, kThighY);
  { std::ofstream empty(folder_ + "/empty.tga"); }
  const Geometry panel = Panel();
  ASSERT_GT(panel.width, 0) << "no panel";

  ChooseByTyping(panel, kLower1RowY, "empty.tga");
  std::string notice = WaitForDialog();
  ASSERT_FALSE(notice.empty()) << "no notice for the overlay slot";
  ASSERT_TRUE(CloseWithKey(notice, "Return"));
  EXPECT_TRUE(ShowsAt("failed_overlay", kThighX, kThighY, [&](const Rgba& c) {
    return Near(c, bare_thigh[0], bare_thigh[1], bare_thigh[2]);
  })) << "the base shows through: " << Show(At(kThighX, kThighY));

  ChooseByTyping(panel, kUpperBaseRowY, "empty.tga");
  notice = WaitForDialog();
  ASSERT_FALSE(notice.empty()) << "no notice for the base slot";
  ASSERT_TRUE(CloseWithKey(notice, "Return"));
  EXPECT_TRUE(ShowsAt("failed_base", kChestX, kChestY, [](const Rgba& c) { return !Skin(c); }))
      << "the old image is gone: " << Show(At(kChestX, kChestY));

  Shell("xdotool windowfocus --sync " + main_);
  Shell("xdotool key ctrl+q");
  EXPECT_EQ(WaitExit(10000), 0);
  ExpectNothingWritten();
}

// The chooser as a desktop one behaves: Return opens the folder selected in the list,
// "~/" is HOME, a folder that cannot be read says so; and SIGTERM while it is open ends
// the program at once.
TEST_F(PreviewerSession, FileChooserReturnHomeUnreadableFolderAndSigtermWhileOpen) {
  ASSERT_TRUE(ShowsAt("start", kChestX, kChestY, Skin)) << Show(At(kChestX, kChestY));
  Shell("mkdir -p '" + folder_ + "/art' '" + folder_ + "/locked'");
  chmod((folder_ + "/locked").c_str(), 0);
  ASSERT_TRUE(WriteSolidTga(folder_ + "/art/shirt.tga", 0, 220, 0));
  const Geometry panel = Panel();
  ASSERT_GT(panel.width, 0) << "no panel";

  // The list starts "../", "art/": select the first line, step down, Return.
  Click(panel.x + kFileButtonX, panel.y + kUpper1RowY);
  std::string chooser = WaitForWindow("Select .tga file");
  ASSERT_FALSE(chooser.empty()) << "no file chooser";
  Geometry g = WindowGeometry(chooser);
  Click(g.x + kChooserListX, g.y + kChooserFirstLineY);
  Shell("xdotool key Down Return");
  Sleep(300);
  Shell("xdotool type --delay 20 'shirt.tga'");
  ASSERT_TRUE(CloseWithKey(chooser, "Return")) << "shirt.tga not found in art/";
  EXPECT_TRUE(ShowsAt("return_opened_folder", kChestX, kChestY, Greenish)) << Show(At(kChestX, kChestY));

  ChooseByTyping(panel, kLower1RowY, "~/pants.tga");
  EXPECT_TRUE(ShowsAt("home", kThighX, kThighY, Reddish)) << Show(At(kThighX, kThighY));

  Click(panel.x + kFileButtonX, panel.y + kUpper1RowY);
  chooser = WaitForWindow("Select .tga file");
  ASSERT_FALSE(chooser.empty()) << "no file chooser";
  g = WindowGeometry(chooser);
  auto status_red = [&] {
    return RedPixels(g.x + 10, g.y + kChooserStatusTop, g.x + g.width - 10, g.y + kChooserStatusBottom);
  };
  Shot("chooser");
  EXPECT_EQ(status_red(), 0) << "a message before anything went wrong";
  Shell("xdotool windowfocus --sync " + chooser);
  Shell("xdotool type --delay 20 '../locked'");
  Shell("xdotool key Return");
  EXPECT_TRUE(WaitFor(
      [&] {
        Shot("unreadable");
        return status_red() > 20;
      },
      5000))
      << "the chooser says nothing of the unreadable folder";

  kill(pid_, SIGTERM);
  EXPECT_EQ(WaitExit(1000), 0) << "SIGTERM with the chooser open";
  chmod((folder_ + "/locked").c_str(), 0755);
  ExpectNothingWritten();
}

}  // namespace
