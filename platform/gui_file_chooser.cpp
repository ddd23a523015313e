// The modal file chooser behind RequestFile, built from plain FLTK widgets: a file
// name field, the folder's list and a filter. The toolkit's own chooser splices a typed
// absolute path with its folder, forgets the folder between calls and writes its
// settings into the user's home; this one does none of that. The last folder a file
// was chosen in is remembered in memory only.
//
// The list offers folders and the regular files the filter matches (a FIFO or a device
// would block or fail the load); it is read when the chooser opens and again on F5.
// Return opens the folder selected in the list, "~" names the home folder, and a folder
// that cannot be read says so.
#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Hold_Browser.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Return_Button.H>
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/file.h"
#include "platform/gui_internal.h"

namespace {

constexpr int kChooserWidth = 480;
constexpr int kChooserHeight = 400;
constexpr int kMargin = 10;
constexpr int kRowHeight = 25;
constexpr int kRefreshKey = FL_F + 5;

// The folder of the last file chosen; where the next chooser opens.
std::string g_last_folder;

// Folder part of an absolute path ("/" for a file at the root).
std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

// "a/./b/../c" -> "a/c", repeated slashes merged; the path is absolute.
std::string Tidy(const std::string& path) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t slash = path.find('/', start);
    if (slash == std::string::npos) slash = path.size();
    const std::string part = path.substr(start, slash - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = slash + 1;
  }
  std::string out;
  for (const std::string& part : parts) out += "/" + part;
  return out.empty() ? "/" : out;
}

// The typed text as an absolute path: "~" and "~/..." start at the home folder, an
// absolute path stays as typed, anything else is taken in the folder shown.
std::string Resolve(const std::string& folder, const std::string& typed) {
  const char* home = std::getenv("HOME");
  if (home && *home && (typed == "~" || typed.rfind("~/", 0) == 0)) return Tidy(home + typed.substr(1));
  if (!typed.empty() && typed[0] == '/') return Tidy(typed);
  return Tidy(folder + "/" + typed);
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// One "Show:" entry: what a person reads and the extensions it lets through, compared
// in any case (files from other systems often carry upper-case ones). No extensions
// means every file.
struct FileFilter {
  std::string label;
  std::vector<std::string> extensions;  // lower case, without the dot

  bool Matches(const std::string& name) const {
    if (extensions.empty()) return true;
    const size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || dot == 0) return false;
    return std::find(extensions.begin(), extensions.end(), Lower(name.substr(dot + 1))) != extensions.end();
  }
};

bool IsImageExtension(const std::string& ext) {
  for (const char* known : {"tga", "png", "jpg", "jpeg", "bmp"})
    if (ext == known) return true;
  return false;
}

// "tga,png" -> "TGA, PNG images (*.tga, *.png)"; "Pictures:png,jpg" -> "Pictures (*.png, *.jpg)".
FileFilter ParseFilter(const std::string& group) {
  FileFilter filter;
  const size_t colon = group.find(':');
  const std::string list = colon == std::string::npos ? group : group.substr(colon + 1);
  size_t start = 0;
  while (start <= list.size()) {
    size_t comma = list.find(',', start);
    if (comma == std::string::npos) comma = list.size();
    std::string ext = Lower(list.substr(start, comma - start));
    ext.erase(0, ext.find_first_not_of(" ."));
    if (!ext.empty()) filter.extensions.push_back(ext);
    start = comma + 1;
  }
  std::string patterns, names;
  bool images = true;
  for (const std::string& ext : filter.extensions) {
    patterns += (patterns.empty() ? "*." : ", *.") + ext;
    std::string upper = ext;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    names += (names.empty() ? "" : ", ") + upper;
    images = images && IsImageExtension(ext);
  }
  if (filter.extensions.empty()) {
    filter.label = colon == std::string::npos ? "All files (*)" : group.substr(0, colon) + " (*)";
  } else if (colon != std::string::npos) {
    filter.label = group.substr(0, colon) + " (" + patterns + ")";
  } else {
    filter.label = names + (images ? " images (" : " files (") + patterns + ")";
  }
  return filter;
}

// "tga" or "Images:png,jpg;Text:txt": one filter per group.
std::vector<FileFilter> ParseFilters(const std::string& extensions) {
  std::vector<FileFilter> filters;
  size_t start = 0;
  while (start < extensions.size()) {
    size_t semi = extensions.find(';', start);
    if (semi == std::string::npos) semi = extensions.size();
    if (semi > start) filters.push_back(ParseFilter(extensions.substr(start, semi - start)));
    start = semi + 1;
  }
  if (filters.empty()) filters.push_back(ParseFilter(""));
  return filters;
}

// Return on a selected line opens it (a folder) or takes it (a file), as a double click does.
class ChooserList : public Fl_Hold_Browser {
 public:
  ChooserList(int x, int y, int w, int h) : Fl_Hold_Browser(x, y, w, h) {}
  std::function<void(const std::string&)> on_enter;

  int handle(int event) override {
    if (event == FL_KEYBOARD && (Fl::event_key() == FL_Enter || Fl::event_key() == FL_KP_Enter) && value() > 0) {
      on_enter(text(value()));
      return 1;
    }
    return Fl_Hold_Browser::handle(event);
  }
};

class FileChooser {
 public:
  FileChooser(const std::string& title, const std::string& extensions, bool save, std::string folder)
      : save_(save),
        filters_(ParseFilters(extensions)),
        folder_(std::move(folder)),
        window_(kChooserWidth, kChooserHeight) {
    window_.copy_label(title.c_str());
    const int inner = kChooserWidth - 2 * kMargin;
    const int label = 70;
    int y = kMargin;
    name_ = new Fl_Input(kMargin + label, y, inner - label, kRowHeight, "Filename:");
    name_->when(FL_WHEN_ENTER_KEY_ALWAYS);
    name_->callback(OnName, this);
    y += kRowHeight + kMargin;
    place_ = new Fl_Box(kMargin, y, inner, kRowHeight);
    place_->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
    y += kRowHeight;
    const int list_height = kChooserHeight - y - 3 * kRowHeight - 3 * kMargin;
    list_ = new ChooserList(kMargin, y, inner, list_height);
    list_->callback(OnList, this);
    list_->when(FL_WHEN_CHANGED | FL_WHEN_NOT_CHANGED);
    list_->on_enter = [this](const std::string& entry) { Take(entry, true); };
    y += list_height + kMargin;
    filter_ = new Fl_Choice(kMargin + label, y, inner - label, kRowHeight, "Show:");
    for (const FileFilter& f : filters_) filter_->add(MenuPathPart(f.label).c_str());
    filter_->value(0);
    filter_->callback(OnFilter, this);
    y += kRowHeight + kMargin / 2;
    status_ = new Fl_Box(kMargin, y, inner, kRowHeight);
    status_->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
    status_->labelcolor(FL_RED);
    y += kRowHeight + kMargin / 2;
    auto* refresh = new Fl_Button(kMargin, y, 80, kRowHeight, "Refresh");
    refresh->shortcut(kRefreshKey);
    refresh->tooltip("Read the folder again (F5)");
    refresh->callback(OnRefresh, this);
    auto* cancel = new Fl_Button(kChooserWidth - kMargin - 80, y, 80, kRowHeight, "Cancel");
    cancel->callback(OnCancel, this);
    auto* ok = new Fl_Return_Button(kChooserWidth - 2 * kMargin - 160, y, 80, kRowHeight, "OK");
    ok->callback(OnOk, this);
    window_.end();
    window_.set_modal();
    window_.callback(OnCancel, this);  // the close box and Escape cancel
    window_.resizable(list_);
    window_.position((Fl::w() - kChooserWidth) / 2, (Fl::h() - kChooserHeight) / 3);
    List();
  }

  // Runs until the user chooses or cancels; "" on cancel.
  std::string Run() {
    window_.show();
    name_->take_focus();
    RunModal(window_);
    return DialogsQuitting() ? std::string() : chosen_;
  }

 private:
  const FileFilter& Filter() const { return filters_[size_t(std::max(filter_->value(), 0))]; }

  void List() {
    list_->clear();
    place_->copy_label(("Folder: " + folder_).c_str());
    status_->label("");
    if (folder_ != "/") list_->add("../");
    DIR* dir = opendir(folder_.c_str());
    if (!dir) {
      status_->copy_label(("Cannot read this folder: " + std::string(std::strerror(errno))).c_str());
      return;
    }
    std::vector<std::string> folders, files;
    int unsearchable = 0;  // the errno of a folder whose names can be read but not looked up
    while (const dirent* e = readdir(dir)) {
      const std::string name = e->d_name;
      if (name.empty() || name[0] == '.') continue;  // ".", "..", hidden
      const std::string path = folder_ + "/" + name;
      struct stat st {};
      if (stat(path.c_str(), &st) != 0) {
        // A dangling link is left out; an entry that cannot even be looked at itself
        // means the folder is closed to lookups.
        if (errno == EACCES && lstat(path.c_str(), &st) != 0 && errno == EACCES) unsearchable = EACCES;
        continue;
      }
      if (S_ISDIR(st.st_mode)) {
        folders.push_back(name + "/");
      } else if (S_ISREG(st.st_mode) && Filter().Matches(name)) {
        files.push_back(name);
      }
    }
    closedir(dir);
    if (unsearchable)
      status_->copy_label(("Cannot read this folder: " + std::string(std::strerror(unsearchable))).c_str());
    const auto by_name = [](const std::string& a, const std::string& b) { return Lower(a) < Lower(b); };
    std::sort(folders.begin(), folders.end(), by_name);
    std::sort(files.begin(), files.end(), by_name);
    for (const std::string& f : folders) list_->add(f.c_str());
    for (const std::string& f : files) list_->add(f.c_str());
  }

  // Typing goes on in the name field, wherever the folder was opened from.
  void Enter(const std::string& folder) {
    folder_ = folder;
    name_->value("");
    List();
    name_->take_focus();
  }

  // A folder opens; an existing regular file (or, to save, a new name in an existing
  // folder) is the answer; anything else is reported in the chooser.
  // A line of the list (`listed`) names an entry of the folder shown, even one called "~".
  void Take(const std::string& typed, bool listed = false) {
    if (typed.empty()) return;
    const std::string path = listed ? Tidy(folder_ + "/" + typed) : Resolve(folder_, typed);
    const int kind = FileType(path);
    if (kind == kFileDirectory) {
      Enter(path);
      return;
    }
    if (kind == kFileRegular || (save_ && FileType(FolderOf(path)) == kFileDirectory && !Exists(path))) {
      chosen_ = path;
      g_last_folder = FolderOf(path);
      window_.hide();
      return;
    }
    status_->copy_label(((Exists(path) ? "Not a regular file: " : "No such file: ") + typed).c_str());
  }

  static bool Exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
  }

  static void OnName(Fl_Widget*, void* self) {
    auto* c = static_cast<FileChooser*>(self);
    c->Take(c->name_->value());
  }
  // OK takes the typed name, or else the line selected in the list.
  static void OnOk(Fl_Widget*, void* self) {
    auto* c = static_cast<FileChooser*>(self);
    const std::string typed = c->name_->value();
    if (typed.empty() && c->list_->value() > 0) {
      c->Take(c->list_->text(c->list_->value()), true);
    } else {
      c->Take(typed);
    }
  }
  static void OnCancel(Fl_Widget*, void* self) {
    auto* c = static_cast<FileChooser*>(self);
    c->chosen_.clear();
    c->window_.hide();
  }
  static void OnFilter(Fl_Widget*, void* self) { static_cast<FileChooser*>(self)->List(); }
  // The refresh key's button would keep the focus it takes: typing goes on in the name field.
  static void OnRefresh(Fl_Widget*, void* self) {
    auto* c = static_cast<FileChooser*>(self);
    c->List();
    c->name_->take_focus();
  }
  static void OnList(Fl_Widget*, void* self) {
    auto* c = static_cast<FileChooser*>(self);
    const int line = c->list_->value();
    if (line < 1) return;
    const std::string entry = c->list_->text(line);
    const bool folder = !entry.empty() && entry.back() == '/';
    c->name_->value(folder ? "" : entry.c_str());
    // A double click opens a folder or takes a file; the count is reset so that the
    // press and the release of one double click act once.
    if (Fl::event() != FL_KEYBOARD && Fl::event_clicks() > 0) {
      Fl::event_clicks(0);
      c->Take(entry, true);
    }
  }

  bool save_;
  std::vector<FileFilter> filters_;
  std::string folder_;
  std::string chosen_;
  Fl_Double_Window window_;
  Fl_Input* name_ = nullptr;
  Fl_Box* place_ = nullptr;
  ChooserList* list_ = nullptr;
  Fl_Choice* filter_ = nullptr;
  Fl_Box* status_ = nullptr;
};

}  // namespace

std::string RunFileChooser(const std::string& title, const std::string& extensions, bool save,
                           const std::string& initial_path) {
  // Tidy turns the "." CurrentDir gives when the folder cannot be read into "/".
  const std::string current = Tidy(CurrentDir());
  std::string folder;
  if (!initial_path.empty()) {
    const std::string path = Resolve(current, initial_path);
    folder = FileType(path) == kFileDirectory ? path : FolderOf(path);
  } else if (FileType(g_last_folder) == kFileDirectory) {  // false while empty
    folder = g_last_folder;
  } else {
    folder = current;
  }
  FileChooser chooser(title, extensions, save, folder);
  return chooser.Run();
}
