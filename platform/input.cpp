// The polled keyboard and pointer state behind platform/input.h.
#include "platform/input.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <utility>

namespace {

std::array<int, kMaxKeyCode + 1> g_key_down{};
std::array<int, kMaxKeyCode + 1> g_key_hits{};
std::array<int, kMaxMouseButton + 1> g_mouse_down{};
std::array<int, kMaxMouseButton + 1> g_mouse_hits{};
int g_pointer_x = 0;
int g_pointer_y = 0;
PointerOriginHook g_origin_hook;

bool ValidKey(int key) { return key > 0 && key <= kMaxKeyCode; }
bool ValidButton(int button) { return button > 0 && button <= kMaxMouseButton; }

int TakeHits(int& hits) { return std::exchange(hits, 0); }

// The current context's corner on the screen; the screen's own when there is none.
std::pair<int, int> Origin() {
  int x = 0, y = 0;
  if (!g_origin_hook || !g_origin_hook(x, y)) return {0, 0};
  return {x, y};
}

// Positions are fed from outside: a difference beyond int is clamped, not wrapped.
int Relative(int position, int origin) {
  const int64_t offset = int64_t{position} - int64_t{origin};
  return static_cast<int>(std::clamp<int64_t>(offset, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

}  // namespace

void FlushKeys() {
  g_key_down.fill(0);
  g_key_hits.fill(0);
}

void FlushMouse() {
  g_mouse_down.fill(0);
  g_mouse_hits.fill(0);
}

int KeyHit(int key) { return ValidKey(key) ? TakeHits(g_key_hits[key]) : 0; }
int KeyDown(int key) { return ValidKey(key) ? g_key_down[key] : 0; }
int MouseHit(int button) { return ValidButton(button) ? TakeHits(g_mouse_hits[button]) : 0; }
int MouseDown(int button) { return ValidButton(button) ? g_mouse_down[button] : 0; }
int MouseX() { return Relative(g_pointer_x, Origin().first); }
int MouseY() { return Relative(g_pointer_y, Origin().second); }

void InputKeyDown(int key) {
  if (!ValidKey(key)) return;
  g_key_down[key] = 1;
  ++g_key_hits[key];
}

void InputKeyUp(int key) {
  if (ValidKey(key)) g_key_down[key] = 0;
}

void InputMouseButton(int button, bool down) {
  if (!ValidButton(button)) return;
  g_mouse_down[button] = down ? 1 : 0;
  if (down) ++g_mouse_hits[button];
}

void InputPointerAt(int screen_x, int screen_y) {
  g_pointer_x = screen_x;
  g_pointer_y = screen_y;
}

void SetPointerOriginHook(PointerOriginHook hook) { g_origin_hook = std::move(hook); }
