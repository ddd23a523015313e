// Modal requesters and notices for the GUI layer, the busy pointer, and the end of the
// process. Each dialog runs FLTK's own loop until it closes, so timers keep posting
// meanwhile; their ticks merge in the queue and the program finds one pending tick
// afterwards. The test hooks answer in place of a dialog.
#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Color_Chooser.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Return_Button.H>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/app_startup.h"
#include "platform/gui_internal.h"

// Last: it brings in X11's macros, which clash with names above.
#include <FL/fl_draw.H>
#include <FL/x.H>

namespace {

FileRequesterHook g_file_hook;
ColorRequesterHook g_color_hook;
NotifyHook g_notify_hook;
std::function<void()> g_end_hook;
int g_requested_red = 0;
int g_requested_green = 0;
int g_requested_blue = 0;

// Notices wrap their text to this width; the longest notice would run off a small
// screen on one line.
constexpr int kNoticeTextWidth = 600;
constexpr int kNoticeMargin = 15;
constexpr int kNoticeButtonWidth = 80;
constexpr int kNoticeButtonHeight = 25;
// The toolkit draws a left-aligned label this far inside its box on each side.
constexpr int kLabelInset = 3;

int g_busy_depth = 0;

bool g_quitting = false;

int Clamp255(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

}  // namespace

void SetDialogsQuitting(bool quitting) {
  g_quitting = quitting;
  if (!quitting) return;
  std::vector<Fl_Window*> modal;
  for (Fl_Window* w = Fl::first_window(); w; w = Fl::next_window(w))
    if (w->modal()) modal.push_back(w);
  for (Fl_Window* w : modal) w->hide();  // the toolkit's own loops (the colour chooser) end too
}

bool DialogsQuitting() { return g_quitting; }

void RunModal(Fl_Window& window) {
  while (window.shown() && !g_quitting) Fl::wait();
  window.hide();
}

int RequestColor(int red, int green, int blue) {
  red = Clamp255(red);
  green = Clamp255(green);
  blue = Clamp255(blue);
  bool confirmed = false;
  if (g_color_hook) {
    confirmed = g_color_hook(red, green, blue);
  } else if (!g_quitting) {
    GuiStart();
    auto r = static_cast<uchar>(red), g = static_cast<uchar>(green), b = static_cast<uchar>(blue);
    confirmed = fl_color_chooser(AppTitle().c_str(), r, g, b) != 0;
    red = r;
    green = g;
    blue = b;
  }
  if (!confirmed) return 0;
  g_requested_red = Clamp255(red);
  g_requested_green = Clamp255(green);
  g_requested_blue = Clamp255(blue);
  return 1;
}

int RequestedRed() { return g_requested_red; }
int RequestedGreen() { return g_requested_green; }
int RequestedBlue() { return g_requested_blue; }

std::string RequestFile(const std::string& text, const std::string& extensions, bool save,
                        const std::string& initial_path) {
  if (g_file_hook) return g_file_hook(text, extensions, save, initial_path);
  if (g_quitting) return "";
  GuiStart();
  std::string chosen = RunFileChooser(text, extensions, save, initial_path);
  // Off the screen, and the windows it uncovered drawn, before the caller starts what
  // may be a long load: the sync lets the server's exposes arrive for the check.
  XSync(fl_display, False);
  Fl::check();
  return chosen;
}

void Notify(const std::string& text, bool serious) {
  if (g_notify_hook) {
    g_notify_hook(text, serious);
    return;
  }
  if (g_quitting) return;
  GuiStart();
  std::string shown;
  for (char c : text) {
    if (c == '\r') c = '\n';
    if (c == '@') shown += c;  // a label's symbol mark, doubled to show itself
    shown += c;
  }
  fl_open_display();  // measuring needs the fonts
  fl_font(FL_HELVETICA, FL_NORMAL_SIZE);
  int text_w = 0, text_h = 0;
  fl_measure(shown.c_str(), text_w, text_h);
  if (text_w > kNoticeTextWidth) {
    text_w = kNoticeTextWidth;  // a width given to fl_measure wraps at it
    text_h = 0;
    fl_measure(shown.c_str(), text_w, text_h);
  }
  const int width = std::max(text_w, kNoticeButtonWidth) + 2 * kNoticeMargin;
  const int height = text_h + kNoticeButtonHeight + 3 * kNoticeMargin;
  Fl_Double_Window window(width, height);
  window.copy_label(AppTitle().c_str());  // a window keeps the pointer it is given
  // As wide as the measured text plus the label's inset, so the lines break where they
  // were measured.
  auto* box = new Fl_Box(kNoticeMargin - kLabelInset, kNoticeMargin,
                         width - 2 * kNoticeMargin + 2 * kLabelInset, text_h);
  box->copy_label(shown.c_str());
  box->align(FL_ALIGN_TOP_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_WRAP);
  box->labelfont(FL_HELVETICA);
  box->labelsize(FL_NORMAL_SIZE);
  if (serious) box->labelcolor(FL_DARK_RED);
  auto* ok = new Fl_Return_Button(width - kNoticeMargin - kNoticeButtonWidth,
                                  height - kNoticeMargin - kNoticeButtonHeight, kNoticeButtonWidth,
                                  kNoticeButtonHeight, "OK");
  ok->callback([](Fl_Widget* w, void*) { w->window()->hide(); });
  window.end();
  window.set_modal();
  window.position((Fl::w() - width) / 2, (Fl::h() - height) / 3);  // clear of the menu bar
  window.show();
  ok->take_focus();
  RunModal(window);
  Fl::check();
}

BusyPointer::BusyPointer() {
  if (g_busy_depth++ > 0) return;
  for (Fl_Window* w = Fl::first_window(); w; w = Fl::next_window(w)) w->cursor(FL_CURSOR_WAIT);
  Fl::flush();  // shown before the caller blocks the loop
}

BusyPointer::~BusyPointer() {
  if (--g_busy_depth > 0) return;
  for (Fl_Window* w = Fl::first_window(); w; w = Fl::next_window(w)) w->cursor(FL_CURSOR_DEFAULT);
  Fl::flush();
}

void SetFileRequesterHook(FileRequesterHook hook) { g_file_hook = std::move(hook); }
void SetColorRequesterHook(ColorRequesterHook hook) { g_color_hook = std::move(hook); }
void SetNotifyHook(NotifyHook hook) { g_notify_hook = std::move(hook); }

void End() {
  if (g_end_hook) {
    g_end_hook();
    return;
  }
  std::fflush(nullptr);
  // No static destructors: they would tear down windows under a live toolkit.
  std::_Exit(0);
}

void SetEndHook(std::function<void()> hook) { g_end_hook = std::move(hook); }
