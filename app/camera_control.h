// Mouse camera control: the input events keep a small mouse and modifier state, and
// every timer tick UpdateState turns the orbit pivot (tumble), moves it (pan) or moves
// the camera along its own z (zoom) by the last movement. Shift or Control with the
// left button stand in for the middle (zoom) and right (pan) buttons.
#pragma once

// Input events (the event loop passes their data here).
void OnMouseDown(int button);  // 1 left, 2 right, 3 middle
void OnMouseUp();
void OnMouseMove(int x, int y);  // canvas pixels
void OnKeyDown(int key);         // only the left Shift and Control count
void OnKeyUp(int key);

// Once per tick: at most one engine call. Returns 0.
int UpdateState();
