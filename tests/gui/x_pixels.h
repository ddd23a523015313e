// Reads what the X server shows in a window, to check what reached the screen
// rather than what GL reports. Apart because X11's headers define clashing macros.
#pragma once

class Fl_Window;

// False when the window is not shown or the read fails.
bool ReadShownPixel(Fl_Window* window, int x, int y, unsigned char rgb[3]);
