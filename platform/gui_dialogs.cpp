// Modal requesters and notices for the GUI layer, and the end of the process.
// Each dialog runs FLTK's own loop until it closes, so timers keep posting meanwhile;
// their ticks merge in the queue and the program finds one pending tick afterwards.
// The test hooks answer in place of a dialog.
#include <FL/Fl.H>
#include <FL/Fl_Color_Chooser.H>
#include <FL/Fl_File_Chooser.H>
#include <FL/fl_ask.H>

#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "platform/app_startup.h"
#include "platform/gui_internal.h"

namespace {

FileRequesterHook g_file_hook;
ColorRequesterHook g_color_hook;
NotifyHook g_notify_hook;
std::function<void()> g_end_hook;
int g_requested_red = 0;
int g_requested_green = 0;
int g_requested_blue = 0;

int Clamp255(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

// "a,b" -> "*.{a,A,b,B}": the chooser's patterns are case-sensitive on Linux, and
// files from other systems often carry upper-case extensions.
std::string ExtensionPattern(const std::string& list) {
  std::string alternatives;
  size_t start = 0;
  while (start <= list.size()) {
    size_t comma = list.find(',', start);
    std::string ext = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    if (!ext.empty()) {
      std::string upper = ext;
      for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      if (!alternatives.empty()) alternatives += ',';
      alternatives += ext;
      if (upper != ext) alternatives += "," + upper;
    }
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  if (alternatives.empty()) return "*";
  return "*.{" + alternatives + "}";
}

// "tga" or "Images:png,jpg;Text:txt" -> the chooser's filter string, groups on tabs.
std::string FilterFromExtensions(const std::string& extensions) {
  if (extensions.empty()) return "*";
  std::string filter;
  size_t start = 0;
  while (start <= extensions.size()) {
    size_t semi = extensions.find(';', start);
    std::string group = extensions.substr(start, semi == std::string::npos ? std::string::npos : semi - start);
    size_t colon = group.find(':');
    std::string entry = colon == std::string::npos
                            ? ExtensionPattern(group)
                            : group.substr(0, colon) + " (" + ExtensionPattern(group.substr(colon + 1)) + ")";
    if (!group.empty()) {
      if (!filter.empty()) filter += '\t';
      filter += entry;
    }
    if (semi == std::string::npos) break;
    start = semi + 1;
  }
  return filter.empty() ? "*" : filter;
}

}  // namespace

int RequestColor(int red, int green, int blue) {
  red = Clamp255(red);
  green = Clamp255(green);
  blue = Clamp255(blue);
  bool confirmed = false;
  if (g_color_hook) {
    confirmed = g_color_hook(red, green, blue);
  } else {
    GuiStart();
    auto r = static_cast<uchar>(red), g = static_cast<uchar>(green), b = static_cast<uchar>(blue);
    confirmed = fl_color_chooser(AppTitle().c_str(), r, g, b) != 0;
    red = r;
    green = g;
    blue = b;
  }
  if (!confirmed) return 0;
  g_requested_red = Clamp255(red);
  g_requested_green = Clamp255(green);
  g_requested_blue = Clamp255(blue);
  return 1;
}

int RequestedRed() { return g_requested_red; }
int RequestedGreen() { return g_requested_green; }
int RequestedBlue() { return g_requested_blue; }

std::string RequestFile(const std::string& text, const std::string& extensions, bool save,
                        const std::string& initial_path) {
  if (g_file_hook) return g_file_hook(text, extensions, save, initial_path);
  GuiStart();
  std::string filter = FilterFromExtensions(extensions);
  Fl_File_Chooser chooser(initial_path.empty() ? "." : initial_path.c_str(), filter.c_str(),
                          save ? Fl_File_Chooser::CREATE : Fl_File_Chooser::SINGLE, text.c_str());
  chooser.preview(0);
  chooser.show();
  while (chooser.shown()) Fl::wait();
  const char* chosen = chooser.count() > 0 ? chooser.value() : nullptr;
  return chosen ? std::string(chosen) : std::string();
}

void Notify(const std::string& text, bool serious) {
  if (g_notify_hook) {
    g_notify_hook(text, serious);
    return;
  }
  GuiStart();
  std::string shown = text;
  for (char& c : shown) {
    if (c == '\r') c = '\n';
  }
  const char* old_close = fl_close;
  fl_close = "OK";
  fl_message_title(AppTitle().c_str());
  // The text is data, never a format.
  if (serious) {
    fl_alert("%s", shown.c_str());
  } else {
    fl_message("%s", shown.c_str());
  }
  fl_close = old_close;
}

void SetFileRequesterHook(FileRequesterHook hook) { g_file_hook = std::move(hook); }
void SetColorRequesterHook(ColorRequesterHook hook) { g_color_hook = std::move(hook); }
void SetNotifyHook(NotifyHook hook) { g_notify_hook = std::move(hook); }

void End() {
  if (g_end_hook) {
    g_end_hook();
    return;
  }
  std::fflush(nullptr);
  // No static destructors: they would tear down windows under a live toolkit.
  std::_Exit(0);
}

void SetEndHook(std::function<void()> hook) { g_end_hook = std::move(hook); }
