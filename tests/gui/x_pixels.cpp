// XGetImage on a shown FLTK window; see x_pixels.h.
#include "x_pixels.h"

#include <FL/Fl_Window.H>
#include <FL/x.H>

bool ReadShownPixel(Fl_Window* window, int x, int y, unsigned char rgb[3]) {
  if (!window || !window->shown() || !fl_display) return false;
  XImage* image = XGetImage(fl_display, fl_xid(window), x, y, 1, 1, AllPlanes, ZPixmap);
  if (!image) return false;
  unsigned long pixel = XGetPixel(image, 0, 0);
  rgb[0] = static_cast<unsigned char>((pixel & image->red_mask) >> __builtin_ctzl(image->red_mask));
  rgb[1] = static_cast<unsigned char>((pixel & image->green_mask) >> __builtin_ctzl(image->green_mask));
  rgb[2] = static_cast<unsigned char>((pixel & image->blue_mask) >> __builtin_ctzl(image->blue_mask));
  XDestroyImage(image);
  return true;
}
