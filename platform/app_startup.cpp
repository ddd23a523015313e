// SIGTERM and SIGINT become AppTerminate events through a self-pipe: the handler only
// writes a byte (async-signal-safe), and FLTK, which watches the pipe, wakes its wait
// and posts the event from the main thread, closing any modal dialog so that the loop
// gets to it. Nothing is posted from the handler itself.
#include "platform/app_startup.h"

#include <FL/Fl.H>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <climits>

#include "platform/event_queue.h"
#include "platform/gui_internal.h"

namespace {

std::string g_title = "Velmora";
int g_pipe[2] = {-1, -1};
bool g_started = false;

void OnTerminateSignal(int) {
  int saved = errno;
  char byte = 1;
  ssize_t ignored = write(g_pipe[1], &byte, 1);  // a full pipe already holds a request
  (void)ignored;
  errno = saved;
}

void OnTerminatePipe(int fd, void*) {
  char bytes[64];
  bool any = false;
  while (read(fd, bytes, sizeof bytes) > 0) any = true;
  if (!any) return;
  PostEvent(EventId::AppTerminate);
  // A handler waiting in a notice or a requester would hold the event back until a
  // person closed it: they all close, and the handler returns to the loop.
  SetDialogsQuitting(true);
}

void SetHandlers(void (*handler)(int)) {
  struct sigaction action = {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
}

}  // namespace

void StartApplication() {
  if (g_started) return;
  GuiStart();
  if (pipe2(g_pipe, O_NONBLOCK | O_CLOEXEC) != 0) return;
  g_started = true;
  Fl::add_fd(g_pipe[0], FL_READ, OnTerminatePipe);
  SetHandlers(OnTerminateSignal);
}

void StopApplication() {
  if (!g_started) return;
  SetHandlers(SIG_DFL);
  Fl::remove_fd(g_pipe[0]);
  close(g_pipe[0]);
  close(g_pipe[1]);
  g_pipe[0] = g_pipe[1] = -1;
  g_started = false;
  SetDialogsQuitting(false);
}

std::string AppTitle() { return g_title; }
void SetAppTitle(const std::string& title) { g_title = title; }

std::string AppDir() {
  char path[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return "";
  std::string exe(path, static_cast<size_t>(n));
  size_t slash = exe.rfind('/');
  return slash == std::string::npos ? "" : exe.substr(0, slash);
}
