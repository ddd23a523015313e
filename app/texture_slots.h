// The panel's slot buttons: per slot a file button (choose an image), "Re" (load the
// slot's file again from disk) and "-" (forget the file). HandleButtons routes a pressed
// button to its region's handler; each handler runs the action on that button's slot.
#pragma once

#include <string>

#include "platform/gui.h"

// The requester every file button opens.
inline constexpr const char* kChooseImageText = "Select .tga file";
inline constexpr const char* kChooseImageExtensions = "tga";
// A file button whose file did not load says so instead of showing the name.
inline constexpr const char* kNoImageText = "(no image)";

int HandleButtons(const GadgetPtr& gadget);  // any other gadget does nothing; 0
int UpdateHead(const GadgetPtr& gadget);
int UpdateUpper(const GadgetPtr& gadget);
int UpdateLower(const GadgetPtr& gadget);
int UpdateSkirt(const GadgetPtr& gadget);

// Reads `file` from disk for every slot whose file is that file (by where the path
// leads, so "a.tga" and its absolute path are one), whatever flags each loads with, and
// shows the result in each. A file that does not load is reported in one notice that
// names it and the reason; its slots keep the file (so "Re" tries again), their buttons
// say kNoImageText and their overlays hide.
void ReadIntoSlots(const std::string& file);
