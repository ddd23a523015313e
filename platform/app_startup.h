// The previewer's start-up on Linux, in place of a desktop application object: the
// application's name for its notices, where its executable lives, and the terminate
// request. SIGTERM and SIGINT arrive as AppTerminate in the event queue, so the
// program ends through its own loop like any other quit.
#pragma once

#include <string>

// Installs the terminate handlers and starts the GUI layer. Safe to call again.
void StartApplication();
// Restores the default signal handling (tests).
void StopApplication();

// The name that heads the program's notices and dialogs.
std::string AppTitle();
void SetAppTitle(const std::string& title);

// The directory of the running executable, without a trailing "/"; "" if unknown.
std::string AppDir();
