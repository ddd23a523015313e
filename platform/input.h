// Polled keyboard and pointer state, shared by whoever feeds it and whoever reads it:
// the GUI layer (platform/gui_input.cpp) feeds it from toolkit events, and both the
// program and the engine's overlay and inspector read it. No toolkit here, so the
// engine can poll input while linking only the runtime services.
//
// Key codes are virtual-key style (platform/gui.h lists them); buttons 1 left,
// 2 right, 3 middle. Codes and buttons outside the tables read as 0 and feed nothing.
#pragma once

#include <functional>

constexpr int kMaxKeyCode = 255;
constexpr int kMaxMouseButton = 3;

// ---- Reading --------------------------------------------------------------------------

void FlushKeys();   // forgets hits and held keys
void FlushMouse();  // forgets button hits and held buttons; the pointer stays
int KeyHit(int key);   // presses since the previous query of this key
int KeyDown(int key);  // 1 while held
int MouseHit(int button);  // presses since the previous query of this button
int MouseDown(int button);
int MouseX();  // pointer position in the current graphics context, x to the right
int MouseY();  // y downward

// ---- Feeding --------------------------------------------------------------------------

void InputKeyDown(int key);  // a press: one more hit, and held
void InputKeyUp(int key);
void InputMouseButton(int button, bool down);
void InputPointerAt(int screen_x, int screen_y);

// Answers the screen position of the current graphics context's top-left corner, or
// false when no context is current; MouseX/MouseY are then screen positions. The GUI
// layer installs one; without it the pointer is read as fed.
using PointerOriginHook = std::function<bool(int& x, int& y)>;
void SetPointerOriginHook(PointerOriginHook hook);
