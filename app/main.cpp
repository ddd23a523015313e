// The previewer's entry: the platform start-up (the terminate request, the GUI), the
// shell's start-up, then the event loop for the rest of the process.
#include "app/shell.h"
#include "platform/app_startup.h"

int main() {
  StartApplication();
  StartUp();
  RunEventLoop();
}
