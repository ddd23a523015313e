// The panel's slot buttons: per slot a file button (choose an image), "Re" (load the
// slot's file again from disk) and "-" (forget the file). HandleButtons routes a pressed
// button to its region's handler; each handler runs the action on that button's slot.
#pragma once

#include "platform/gui.h"

// The requester every file button opens.
inline constexpr const char* kChooseImageText = "Select .tga file";
inline constexpr const char* kChooseImageExtensions = "tga";

int HandleButtons(const GadgetPtr& gadget);  // any other gadget does nothing; 0
int UpdateHead(const GadgetPtr& gadget);
int UpdateUpper(const GadgetPtr& gadget);
int UpdateLower(const GadgetPtr& gadget);
int UpdateSkirt(const GadgetPtr& gadget);
