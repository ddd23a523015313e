// The GUI layer's gadgets on FLTK: windows with menu and status bars, labels, push
// buttons, the OpenGL canvas, edge layout, window menus, timers and graphics contexts.
// Input, hot keys and key codes are in gui_input.cpp; requesters, notices and End in
// gui_dialogs.cpp.
//
// Sections: registries and start-up; widget classes; windows; labels and buttons;
// canvases and graphics; shape, layout and text; menus; timers.
#include "platform/gl.h"  // before FLTK's GL header: GLEW must come first

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Gl_Window.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Menu_Bar.H>
#include <FL/gl.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <unordered_map>

#include "platform/gui_internal.h"

// ---- Registries and start-up ----------------------------------------------------------

namespace {

// Defined before the window list: the list's gadgets unregister themselves from it
// when they are destroyed at exit.
std::unordered_map<const Fl_Widget*, GuiGadget*> g_widget_gadgets;
std::vector<GadgetPtr> g_windows;  // top-level windows live until FreeGadget
std::vector<TimerPtr> g_timers;    // running timers live until StopTimer
GraphicsPtr g_current_graphics;
int g_driver_flags = kGraphicsBackBuffer;
bool g_started = false;
bool g_headless = false;

void Register(Fl_Widget* widget, GuiGadget* gadget) { g_widget_gadgets[widget] = gadget; }

// FLTK draws '@' as a symbol prefix and '&' as a shortcut underline in labels.
std::string LabelText(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '@' || c == '&') out += c;
    out += c;
  }
  return out;
}

}  // namespace

class TGraphicsDriver {};

class TGraphics {
 public:
  GadgetPtr canvas;  // a canvas, or the gadget of a graphics window
};

TGadget::~TGadget() = default;

GuiGadget::~GuiGadget() {
  for (const GadgetPtr& kid : kids) {
    GuiGadget* k = AsGui(kid);
    k->DropWidget();
    k->parent = nullptr;
  }
  kids.clear();
  DropWidget();
}

void GuiGadget::DropWidget() {
  if (!widget) return;
  if (gl) NoteCanvasDestroyed(gl);
  g_widget_gadgets.erase(widget);
  if (Fl_Group* group = widget->parent()) group->remove(widget);
  delete widget;  // a window's bars and client area go with it
  widget = nullptr;
  client = nullptr;
  menubar = nullptr;
  status = nullptr;
  gl = nullptr;
}

GadgetPtr HandleOf(GuiGadget* gadget) {
  if (!gadget) return nullptr;
  return std::static_pointer_cast<TGadget>(gadget->shared_from_this());
}

GuiGadget* GadgetOfWidget(const Fl_Widget* widget) {
  auto it = g_widget_gadgets.find(widget);
  return it == g_widget_gadgets.end() ? nullptr : it->second;
}

const std::vector<GadgetPtr>& TopLevelWindows() { return g_windows; }
bool GuiHeadless() { return g_headless; }
void SetGuiHeadless(bool headless) { g_headless = headless; }

namespace {

// FLTK's global options are read, the first time any is asked for, from its settings
// files: the system-wide /etc/fltk/fltk.org/fltk.prefs and one under $HOME. Reading
// them also writes them back (the toolkit adds its "options" group and flushes it), so
// a run as root rewrote the system file. The program writes nothing and has no
// settings, so the options are marked as read and given the toolkit's documented
// defaults: no settings file is ever opened. The flag is private; an explicit template
// instantiation may name private members, and a friend defined in it hands out the
// address.
template <unsigned char* Flag>
struct ToolkitOptionsFlag {
  friend unsigned char* OptionsReadFlag() { return Flag; }
};
unsigned char* OptionsReadFlag();
template struct ToolkitOptionsFlag<&Fl::options_read_>;

void UseToolkitDefaultOptions() {
  *OptionsReadFlag() = 1;
  Fl::option(Fl::OPTION_ARROW_FOCUS, false);
  Fl::option(Fl::OPTION_VISIBLE_FOCUS, true);
  Fl::option(Fl::OPTION_DND_TEXT, true);
  Fl::option(Fl::OPTION_SHOW_TOOLTIPS, true);
  Fl::option(Fl::OPTION_FNFC_USES_GTK, false);  // the program has its own chooser
}

}  // namespace

void GuiStart() {
  if (g_started) return;
  g_started = true;
  UseToolkitDefaultOptions();
  GlKeepDriverCachesInMemory();
  InstallInputHooks();
  // Fl::wait() returns at once when no window is shown; a long wait blocks until the
  // next input, timer or watched file descriptor in every case.
  SetEventPump([](bool block) { Fl::wait(block ? 1e20 : 0.0); });
}

// ---- Widget classes -------------------------------------------------------------------

namespace {

int MenuHeight(int style) { return (style & kWindowMenu) ? kMenuBarHeight : 0; }
int StatusHeight(int style) { return (style & kWindowStatus) ? kStatusBarHeight : 0; }
int TitleAllowance(int style) {
  return ((style & kWindowTitleBar) && !(style & kWindowClientCoords)) ? kFrameTitleHeight : 0;
}

// One axis of the edge layout: from the base place (pos, size) in a parent of base
// size, the place in a parent of the current size.
void LayoutAxis(int rule_lo, int rule_hi, int pos, int size, int base_parent, int parent, int* out_pos,
                int* out_size) {
  double scale = base_parent > 0 ? static_cast<double>(parent) / base_parent : 1.0;
  bool has_lo = rule_lo != kEdgeCentered;
  bool has_hi = rule_hi != kEdgeCentered;
  int lo = rule_lo == kEdgeRelative ? static_cast<int>(pos * scale + 0.5) : pos;
  int end = pos + size;
  int hi = rule_hi == kEdgeRelative ? static_cast<int>(end * scale + 0.5) : parent - (base_parent - end);
  if (has_lo && has_hi) {
    *out_pos = lo;
    *out_size = std::max(0, hi - lo);
  } else if (has_lo) {
    *out_pos = lo;
    *out_size = size;
  } else if (has_hi) {
    *out_pos = hi - size;
    *out_size = size;
  } else {
    *out_pos = pos + (parent - base_parent) / 2;
    *out_size = size;
  }
}

void ApplyLayout(GuiGadget* kid) {
  GuiGadget* parent = kid->parent;
  if (!kid->widget || !parent || !parent->client) return;
  int x, y, w, h;
  LayoutAxis(kid->edge_left, kid->edge_right, kid->base_x, kid->base_w, kid->base_parent_w, parent->client->w(),
             &x, &w);
  LayoutAxis(kid->edge_top, kid->edge_bottom, kid->base_y, kid->base_h, kid->base_parent_h, parent->client->h(),
             &y, &h);
  kid->widget->resize(parent->client->x() + x, parent->client->y() + y, std::max(w, 1), std::max(h, 1));
}

// The part of a window inside its menu and status bars; it places the window's
// gadgets by their edge rules instead of FLTK's resizable-box scaling.
class ClientArea : public Fl_Group {
 public:
  ClientArea(int x, int y, int w, int h, GuiGadget* owner) : Fl_Group(x, y, w, h), owner_(owner) { end(); }
  void resize(int x, int y, int w, int h) override {
    Fl_Widget::resize(x, y, w, h);
    for (const GadgetPtr& kid : owner_->kids) ApplyLayout(AsGui(kid));
  }

 private:
  GuiGadget* owner_;
};

class GuiWindow : public Fl_Double_Window {
 public:
  GuiWindow(int x, int y, int w, int h, GuiGadget* owner) : Fl_Double_Window(x, y, w, h), owner_(owner) { end(); }
  void resize(int x, int y, int w, int h) override {
    bool sized = w != this->w() || h != this->h();
    bool moved = x != this->x() || y != this->y();
    Fl_Double_Window::resize(x, y, w, h);
    GadgetPtr self = HandleOf(owner_);
    if (sized) PostEvent(EventId::WindowSize, self, 0, ClientWidth(self), ClientHeight(self));
    if (moved) PostEvent(EventId::WindowMove, self, 0, x, y);
  }

 private:
  GuiGadget* owner_;
};

void WindowCloseCallback(Fl_Widget*, void* data) {
  // Escape reaches a window as a close request; only the close box closes here.
  if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;
  PostEvent(EventId::WindowClose, HandleOf(static_cast<GuiGadget*>(data)));
}

// Never draws or swaps by itself: the program draws in answer to GadgetPaint and
// presents with Flip, so FLTK's own swap after draw() would show an unfinished frame.
class CanvasWindow : public Fl_Gl_Window {
 public:
  CanvasWindow(int x, int y, int w, int h, GuiGadget* owner) : Fl_Gl_Window(x, y, w, h), owner_(owner) { end(); }
  void flush() override { PostEvent(EventId::GadgetPaint, HandleOf(owner_)); }
  void draw() override {}
  int handle(int event) override {
    GadgetPtr self = HandleOf(owner_);
    int x = Fl::event_x(), y = Fl::event_y();
    switch (event) {
      case FL_PUSH:
        take_focus();
        PostEvent(EventId::MouseDown, self, MouseButtonCode(Fl::event_button()), x, y, ModifierBits());
        return 1;
      case FL_RELEASE:
        PostEvent(EventId::MouseUp, self, MouseButtonCode(Fl::event_button()), x, y, ModifierBits());
        return 1;
      case FL_MOVE:
      case FL_DRAG:
        PostEvent(EventId::MouseMove, self, 0, x, y, ModifierBits());
        return 1;
      case FL_MOUSEWHEEL:
        PostEvent(EventId::MouseWheel, self, -Fl::event_dy(), x, y, ModifierBits());
        return 1;
      case FL_ENTER:
      case FL_LEAVE:
      case FL_FOCUS:
      case FL_UNFOCUS:
        return 1;
      case FL_KEYDOWN:
      case FL_KEYUP:
        // Key events are posted for every window in gui_input.cpp; declining them
        // here lets menu key equivalents see the key.
        return 0;
      default:
        return Fl_Gl_Window::handle(event);
    }
  }

 private:
  GuiGadget* owner_;
};

void GraphicsWindowCloseCallback(Fl_Widget*, void*) {
  if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;
  PostEvent(EventId::AppTerminate);
}

// Asks for what the flags name, dropping the extras the display cannot give (accum
// first: few visuals have it) rather than failing to open the canvas.
int GlMode(int flags) {
  int mode = FL_RGB | ((flags & kGraphicsBackBuffer) ? FL_DOUBLE : FL_SINGLE);
  if (flags & kGraphicsAlpha) mode |= FL_ALPHA;
  if (flags & kGraphicsDepth) mode |= FL_DEPTH;
  if (flags & kGraphicsStencil) mode |= FL_STENCIL;
  if (flags & kGraphicsAccum) mode |= FL_ACCUM;
  for (int extra : {FL_ACCUM, FL_STENCIL, FL_ALPHA}) {
    if (Fl_Gl_Window::can_do(mode)) break;
    mode &= ~extra;
  }
  return mode;
}

// Places a new child gadget on a window's client area and records its base shape.
void Adopt(const GadgetPtr& window, const GadgetPtr& kid, Fl_Widget* widget, int x, int y, int w, int h) {
  GuiGadget* parent = AsGui(window);
  GuiGadget* k = AsGui(kid);
  k->widget = widget;
  k->parent = parent;
  Register(widget, k);
  parent->kids.push_back(kid);
  parent->client->add(widget);
  k->base_x = x;
  k->base_y = y;
  k->base_w = w;
  k->base_h = h;
  k->base_parent_w = parent->client->w();
  k->base_parent_h = parent->client->h();
  widget->resize(parent->client->x() + x, parent->client->y() + y, std::max(w, 1), std::max(h, 1));
  widget->redraw();
}

bool IsWindow(const GadgetPtr& g) { return g && g->kind == kGadgetWindow && AsGui(g)->widget; }

}  // namespace

TTimer::~TTimer() = default;

// ---- Windows --------------------------------------------------------------------------

GadgetPtr CreateWindow(const std::string& title, int x, int y, int width, int height, const GadgetPtr& group,
                       int style) {
  (void)group;  // every window is top-level here
  GuiStart();
  auto gadget = std::make_shared<GuiGadget>(kGadgetWindow, style);
  GuiGadget* g = gadget.get();
  int menu_h = MenuHeight(style), status_h = StatusHeight(style);
  int win_w = std::max(width, 1);
  int win_h = (style & kWindowClientCoords) ? height + menu_h + status_h : height - TitleAllowance(style);
  win_h = std::max(win_h, menu_h + status_h + 1);

  Fl_Group::current(nullptr);
  auto* win = new GuiWindow(x, y, win_w, win_h, g);
  g->widget = win;
  Register(win, g);
  if (menu_h) {
    g->menubar = new Fl_Menu_Bar(0, 0, win_w, menu_h);
    win->add(g->menubar);
  }
  g->client = new ClientArea(0, menu_h, win_w, win_h - menu_h - status_h, g);
  win->add(g->client);
  if (status_h) {
    g->status = new Fl_Box(FL_THIN_DOWN_BOX, 0, win_h - status_h, win_w, status_h, nullptr);
    g->status->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
    win->add(g->status);
  }
  Fl_Group::current(nullptr);
  win->resizable(g->client);
  if (style & kWindowResizable) {
    win->size_range(1, menu_h + status_h + 1);
  } else {
    win->size_range(win_w, win_h, win_w, win_h);
  }
  if (!(style & kWindowTitleBar)) win->border(0);
  g->text = title;
  win->copy_label(title.c_str());
  win->callback(WindowCloseCallback, g);
  g_windows.push_back(gadget);
  if (!g_headless) win->show();
  return gadget;
}

int ClientWidth(const GadgetPtr& gadget) {
  if (!gadget || !AsGui(gadget)->widget) return 0;
  GuiGadget* g = AsGui(gadget);
  return g->client ? g->client->w() : g->widget->w();
}

int ClientHeight(const GadgetPtr& gadget) {
  if (!gadget || !AsGui(gadget)->widget) return 0;
  GuiGadget* g = AsGui(gadget);
  return g->client ? g->client->h() : g->widget->h();
}

void SetStatusText(const GadgetPtr& window, const std::string& text) {
  if (!IsWindow(window) || !AsGui(window)->status) return;
  GuiGadget* g = AsGui(window);
  g->status_text = text;
  g->status->copy_label(LabelText(text).c_str());
}

namespace {

// Menu handles may outlive their window; they must not point at it afterwards.
void ForgetOwnerWindow(GuiGadget* menu) {
  menu->owner_window = nullptr;
  for (const GadgetPtr& kid : menu->kids) ForgetOwnerWindow(AsGui(kid));
}

}  // namespace

void FreeGadget(const GadgetPtr& gadget) {
  if (!gadget) return;
  GuiGadget* g = AsGui(gadget);
  if (g_current_graphics && g_current_graphics->canvas == gadget) g_current_graphics.reset();
  if (GuiGadget* parent = g->parent) {
    auto& kids = parent->kids;
    kids.erase(std::remove(kids.begin(), kids.end(), gadget), kids.end());
    g->parent = nullptr;
  }
  if (g->kind == kGadgetMenu) {
    // The menu bar holds plain pointers to its items: rebuild it without this one.
    GuiGadget* owner = g->owner_window;
    ForgetOwnerWindow(g);
    if (owner) UpdateWindowMenu(HandleOf(owner));
    return;
  }
  if (g->menu_root) ForgetOwnerWindow(AsGui(g->menu_root));
  g_windows.erase(std::remove(g_windows.begin(), g_windows.end(), gadget), g_windows.end());
  for (const GadgetPtr& kid : g->kids) {
    AsGui(kid)->DropWidget();
    AsGui(kid)->parent = nullptr;
  }
  g->kids.clear();
  g->DropWidget();
}

// ---- Labels and buttons ---------------------------------------------------------------

namespace {

void ButtonCallback(Fl_Widget*, void* data) {
  PostEvent(EventId::GadgetAction, HandleOf(static_cast<GuiGadget*>(data)));
}

}  // namespace

GadgetPtr CreateLabel(const std::string& text, int x, int y, int width, int height, const GadgetPtr& group,
                      int style) {
  if (!IsWindow(group)) return nullptr;
  auto gadget = std::make_shared<GuiGadget>(kGadgetLabel, style);
  Fl_Group::current(nullptr);
  Fl_Boxtype box = FL_NO_BOX;
  if ((style & 3) == kLabelFrame) box = FL_BORDER_FRAME;
  if ((style & 3) == kLabelSunkenFrame) box = FL_THIN_DOWN_FRAME;
  auto* label = new Fl_Box(box, 0, 0, std::max(width, 1), std::max(height, 1), nullptr);
  Fl_Align align = FL_ALIGN_LEFT;
  if (style & kLabelCenter) align = FL_ALIGN_CENTER;
  else if (style & kLabelRight) align = FL_ALIGN_RIGHT;
  label->align(align | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
  gadget->text = text;
  label->copy_label(LabelText(text).c_str());
  Adopt(group, gadget, label, x, y, width, height);
  return gadget;
}

GadgetPtr CreateButton(const std::string& text, int x, int y, int width, int height, const GadgetPtr& group,
                       int style) {
  if (!IsWindow(group)) return nullptr;
  auto gadget = std::make_shared<GuiGadget>(kGadgetButton, style);
  Fl_Group::current(nullptr);
  auto* button = new Fl_Button(0, 0, std::max(width, 1), std::max(height, 1));
  button->align(FL_ALIGN_CENTER | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
  button->labelsize(12);
  button->callback(ButtonCallback, gadget.get());
  gadget->text = text;
  button->copy_label(LabelText(text).c_str());
  Adopt(group, gadget, button, x, y, width, height);
  return gadget;
}

// ---- Canvases and graphics ------------------------------------------------------------

GadgetPtr CreateCanvas(int x, int y, int width, int height, const GadgetPtr& group, int style) {
  if (!IsWindow(group)) return nullptr;
  auto gadget = std::make_shared<GuiGadget>(kGadgetCanvas, style);
  Fl_Group::current(nullptr);
  Fl_Widget* widget = nullptr;
  if (g_headless) {
    widget = new Fl_Box(0, 0, std::max(width, 1), std::max(height, 1));
  } else {
    auto* gl = new CanvasWindow(0, 0, std::max(width, 1), std::max(height, 1), gadget.get());
    gl->mode(GlMode(g_driver_flags));
    gadget->gl = gl;
    widget = gl;
  }
  Fl_Group::current(nullptr);
  Adopt(group, gadget, widget, x, y, width, height);
  if (gadget->gl && static_cast<Fl_Window*>(AsGui(group)->widget)->shown()) gadget->gl->show();
  return gadget;
}

GraphicsDriverPtr GLGraphicsDriver() {
  static const GraphicsDriverPtr driver = std::make_shared<TGraphicsDriver>();
  return driver;
}

void SetGraphicsDriver(const GraphicsDriverPtr& driver, int flags) {
  if (!driver) return;
  g_driver_flags = flags;
}

int GraphicsDriverFlags() { return g_driver_flags; }

GraphicsPtr CanvasGraphics(const GadgetPtr& canvas) {
  if (!canvas || canvas->kind != kGadgetCanvas) return nullptr;
  auto graphics = std::make_shared<TGraphics>();
  graphics->canvas = canvas;
  return graphics;
}

GraphicsPtr Graphics(int width, int height, int depth, int hz, int flags) {
  (void)depth;  // always windowed
  (void)hz;
  GuiStart();
  auto gadget = std::make_shared<GuiGadget>(kGadgetCanvas, 0);
  gadget->top_level_graphics = true;
  Fl_Group::current(nullptr);
  auto* gl = new CanvasWindow(0, 0, std::max(width, 1), std::max(height, 1), gadget.get());
  Fl_Group::current(nullptr);
  gl->mode(GlMode(flags));
  gl->size_range(gl->w(), gl->h(), gl->w(), gl->h());
  gl->callback(GraphicsWindowCloseCallback);
  gadget->widget = gl;
  gadget->gl = gl;
  Register(gl, gadget.get());
  g_windows.push_back(gadget);
  if (!g_headless) gl->show();
  auto graphics = std::make_shared<TGraphics>();
  graphics->canvas = gadget;
  SetGraphics(graphics);
  return graphics;
}

void CloseGraphics(const GraphicsPtr& graphics) {
  if (!graphics || !graphics->canvas || !AsGui(graphics->canvas)->top_level_graphics) return;
  if (g_current_graphics == graphics) g_current_graphics.reset();
  FreeGadget(graphics->canvas);
}

void SetGraphics(const GraphicsPtr& graphics) {
  g_current_graphics = graphics;
  if (!graphics || !graphics->canvas) return;
  Fl_Gl_Window* gl = AsGui(graphics->canvas)->gl;
  if (!gl) return;
  if (!gl->shown()) gl->show();
  gl->make_current();
  NoteCanvasCurrent(gl);
}

GraphicsPtr CurrentGraphics() { return g_current_graphics; }

Fl_Window* CurrentGraphicsWindow() {
  if (!g_current_graphics || !g_current_graphics->canvas) return nullptr;
  return AsGui(g_current_graphics->canvas)->gl;
}

int GraphicsWidth() {
  if (!g_current_graphics || !g_current_graphics->canvas) return 0;
  Fl_Widget* w = AsGui(g_current_graphics->canvas)->widget;
  return w ? w->w() : 0;
}

int GraphicsHeight() {
  if (!g_current_graphics || !g_current_graphics->canvas) return 0;
  Fl_Widget* w = AsGui(g_current_graphics->canvas)->widget;
  return w ? w->h() : 0;
}

void Flip(int sync) {
  (void)sync;
  Fl_Window* window = CurrentGraphicsWindow();
  if (!window) return;
  auto* gl = static_cast<Fl_Gl_Window*>(window);
  if (gl->mode() & FL_DOUBLE) {
    gl->swap_buffers();
  } else {
    glFlush();
  }
}

void* GuiGetProcAddress(const char* name) { return name ? GlxProcAddress(name) : nullptr; }

// ---- Shape, layout and text -----------------------------------------------------------

void SetGadgetShape(const GadgetPtr& gadget, int x, int y, int width, int height) {
  if (!gadget || !AsGui(gadget)->widget) return;
  GuiGadget* g = AsGui(gadget);
  if (g->kind == kGadgetWindow) {
    int bars = MenuHeight(g->style) + StatusHeight(g->style);
    int h = (g->style & kWindowClientCoords) ? height + bars : height - TitleAllowance(g->style);
    g->widget->resize(x, y, std::max(width, 1), std::max(h, bars + 1));
    return;
  }
  if (g->top_level_graphics || !g->parent) {
    g->widget->resize(x, y, std::max(width, 1), std::max(height, 1));
    return;
  }
  g->base_x = x;
  g->base_y = y;
  g->base_w = width;
  g->base_h = height;
  g->base_parent_w = g->parent->client->w();
  g->base_parent_h = g->parent->client->h();
  ApplyLayout(g);
}

int GadgetX(const GadgetPtr& gadget) {
  if (!gadget || !AsGui(gadget)->widget) return 0;
  GuiGadget* g = AsGui(gadget);
  return g->parent ? g->widget->x() - g->parent->client->x() : g->widget->x();
}

int GadgetY(const GadgetPtr& gadget) {
  if (!gadget || !AsGui(gadget)->widget) return 0;
  GuiGadget* g = AsGui(gadget);
  return g->parent ? g->widget->y() - g->parent->client->y() : g->widget->y();
}

int GadgetWidth(const GadgetPtr& gadget) {
  if (!gadget || !AsGui(gadget)->widget) return 0;
  return AsGui(gadget)->widget->w();
}

int GadgetHeight(const GadgetPtr& gadget) {
  if (!gadget || !AsGui(gadget)->widget) return 0;
  GuiGadget* g = AsGui(gadget);
  if (g->kind != kGadgetWindow) return g->widget->h();
  if (g->style & kWindowClientCoords) return ClientHeight(gadget);
  return g->widget->h() + TitleAllowance(g->style);
}

void SetGadgetLayout(const GadgetPtr& gadget, int left, int right, int top, int bottom) {
  if (!gadget || !AsGui(gadget)->parent || !AsGui(gadget)->widget) return;
  GuiGadget* g = AsGui(gadget);
  g->edge_left = left;
  g->edge_right = right;
  g->edge_top = top;
  g->edge_bottom = bottom;
  g->base_x = GadgetX(gadget);
  g->base_y = GadgetY(gadget);
  g->base_w = g->widget->w();
  g->base_h = g->widget->h();
  g->base_parent_w = g->parent->client->w();
  g->base_parent_h = g->parent->client->h();
}

void SetGadgetText(const GadgetPtr& gadget, const std::string& text) {
  if (!gadget) return;
  GuiGadget* g = AsGui(gadget);
  g->text = text;
  if (g->kind == kGadgetMenu || !g->widget) return;  // menus show it after UpdateWindowMenu
  if (g->kind == kGadgetWindow) {
    g->widget->copy_label(text.c_str());
  } else {
    g->widget->copy_label(LabelText(text).c_str());
    g->widget->redraw();
  }
}

std::string GadgetText(const GadgetPtr& gadget) { return gadget ? AsGui(gadget)->text : std::string(); }

void RedrawGadget(const GadgetPtr& gadget) {
  if (!gadget || !AsGui(gadget)->widget) return;
  GuiGadget* g = AsGui(gadget);
  if (g->kind == kGadgetCanvas && !g->gl) {
    PostEvent(EventId::GadgetPaint, gadget);
    return;
  }
  g->widget->redraw();
}

Fl_Widget* GadgetWidget(const GadgetPtr& gadget) { return gadget ? AsGui(gadget)->widget : nullptr; }

// ---- Menus ----------------------------------------------------------------------------

// '/' separates levels in an FLTK menu path and '&', '_' and '\' are special too.
std::string MenuPathPart(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '/' || c == '\\' || c == '_' || c == '&') out += '\\';
    out += c;
  }
  return out;
}

namespace {

void MenuCallback(Fl_Widget*, void* data) {
  auto* item = static_cast<GuiGadget*>(data);
  PostEvent(EventId::MenuAction, HandleOf(item), item->tag);
}

void AddMenuEntries(Fl_Menu_Bar* bar, const std::string& path, GuiGadget* node) {
  if (node->kids.empty()) {
    bar->add(path.c_str(), ToolkitShortcut(node->hotkey, node->modifiers), MenuCallback, node, 0);
    return;
  }
  int last = -1;
  for (const GadgetPtr& kid : node->kids) {
    GuiGadget* k = AsGui(kid);
    if (k->text.empty()) {
      if (last >= 0) bar->mode(last, bar->mode(last) | FL_MENU_DIVIDER);
      continue;
    }
    std::string kid_path = path + "/" + MenuPathPart(k->text);
    if (k->kids.empty()) {
      last = bar->add(kid_path.c_str(), ToolkitShortcut(k->hotkey, k->modifiers), MenuCallback, k, 0);
    } else {
      AddMenuEntries(bar, kid_path, k);
      last = -1;
    }
  }
}

}  // namespace

GadgetPtr WindowMenu(const GadgetPtr& window) {
  if (!window || window->kind != kGadgetWindow) return nullptr;
  GuiGadget* g = AsGui(window);
  if (!g->menu_root) {
    auto root = std::make_shared<GuiGadget>(kGadgetMenu, 0);
    root->owner_window = g;
    g->menu_root = root;
  }
  return g->menu_root;
}

GadgetPtr CreateMenu(const std::string& text, int tag, const GadgetPtr& parent, int hotkey, int modifiers) {
  if (!parent || parent->kind != kGadgetMenu) return nullptr;
  auto menu = std::make_shared<GuiGadget>(kGadgetMenu, 0);
  menu->text = text;
  menu->tag = tag;
  menu->hotkey = hotkey;
  menu->modifiers = modifiers;
  menu->parent = AsGui(parent);
  menu->owner_window = AsGui(parent)->owner_window;
  AsGui(parent)->kids.push_back(menu);
  return menu;
}

void UpdateWindowMenu(const GadgetPtr& window) {
  if (!IsWindow(window)) return;
  GuiGadget* g = AsGui(window);
  if (!g->menubar) return;
  g->menubar->clear();
  if (g->menu_root) {
    for (const GadgetPtr& title : AsGui(g->menu_root)->kids) {
      GuiGadget* t = AsGui(title);
      if (!t->text.empty()) AddMenuEntries(g->menubar, MenuPathPart(t->text), t);
    }
  }
  g->menubar->redraw();
}

// ---- Timers ---------------------------------------------------------------------------

namespace {

void TimerCallback(void* data) {
  auto* timer = static_cast<TTimer*>(data);
  Fl::repeat_timeout(1.0 / timer->hz, TimerCallback, data);
  ++timer->ticks;
  PostEvent(EventId::TimerTick, timer->shared_from_this(), timer->ticks);
}

}  // namespace

TimerPtr CreateTimer(double hz) {
  if (!(hz > 0)) return nullptr;
  GuiStart();
  auto timer = std::make_shared<TTimer>();
  timer->hz = hz;
  g_timers.push_back(timer);
  Fl::add_timeout(1.0 / hz, TimerCallback, timer.get());
  return timer;
}

int TimerTicks(const TimerPtr& timer) { return timer ? timer->ticks : 0; }

void StopTimer(const TimerPtr& timer) {
  if (!timer) return;
  Fl::remove_timeout(TimerCallback, timer.get());
  g_timers.erase(std::remove(g_timers.begin(), g_timers.end(), timer), g_timers.end());
}
