// The modal file chooser behind RequestFile, built from plain FLTK widgets: a file
// name field, the folder's list and a filter. The toolkit's own chooser splices a typed
// absolute path with its folder, forgets the folder between calls and writes its
// settings into the user's home; this one does none of that. The last folder a file
// was chosen in is remembered in memory only.
#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Hold_Browser.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Return_Button.H>
#include <FL/filename.H>

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

// The typed text as an absolute path: an absolute one stays as typed, anything else is
// taken in the folder shown.
std::string Resolve(const std::string& folder, const std::string& typed) {
  if (!typed.empty() && typed[0] == '/') return Tidy(typed);
  return Tidy(folder + "/" + typed);
}

// "Label (pattern)\tpattern2" -> one (label, pattern) per filter; the pattern alone
// labels itself.
std::vector<std::pair<std::string, std::string>> SplitFilters(const std::string& filter) {
  std::vector<std::pair<std::string, std::string>> out;
  size_t start = 0;
  while (start <= filter.size()) {
    size_t tab = filter.find('\t', start);
    if (tab == std::string::npos) tab = filter.size();
    const std::string entry = filter.substr(start, tab - start);
    const size_t open = entry.rfind('(');
    const size_t close = entry.rfind(')');
    if (!entry.empty()) {
      if (open != std::string::npos && close != std::string::npos && close > open) {
        out.emplace_back(entry, entry.substr(open + 1, close - open - 1));
      } else {
        out.emplace_back(entry, entry);
      }
    }
    start = tab + 1;
  }
  if (out.empty()) out.emplace_back("*", "*");
  return out;
}

class FileChooser {
 public:
  FileChooser(const std::string& title, const std::string& filter, bool save, std::string folder)
      : save_(save),
        filters_(SplitFilters(filter)),
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
    list_ = new Fl_Hold_Browser(kMargin, y, inner, list_height);
    list_->callback(OnList, this);
    list_->when(FL_WHEN_CHANGED | FL_WHEN_NOT_CHANGED);
    y += list_height + kMargin;
    filter_ = new Fl_Choice(kMargin + label, y, inner - label, kRowHeight, "Show:");
    for (const auto& f : filters_) filter_->add(MenuPathPart(f.first).c_str());
    filter_->value(0);
    filter_->callback(OnFilter, this);
    y += kRowHeight + kMargin / 2;
    status_ = new Fl_Box(kMargin, y, inner, kRowHeight);
    status_->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
    status_->labelcolor(FL_RED);
    y += kRowHeight + kMargin / 2;
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
  void List() {
    list_->clear();
    place_->copy_label(("Folder: " + folder_).c_str());
    status_->label("");
    dirent** entries = nullptr;
    const int count = fl_filename_list(folder_.c_str(), &entries, fl_casenumericsort);
    const std::string& pattern = filters_[size_t(filter_->value() < 0 ? 0 : filter_->value())].second;
    std::vector<std::string> folders, files;
    for (int i = 0; i < count; ++i) {
      const std::string name = entries[i]->d_name;
      if (name.empty() || name[0] == '.') continue;  // ".", "..", hidden
      if (name.back() == '/') {  // the list marks folders, links to one included
        folders.push_back(name);
      } else if (fl_filename_match(name.c_str(), pattern.c_str())) {
        files.push_back(name);
      }
    }
    if (count > 0) fl_filename_free_list(&entries, count);
    if (folder_ != "/") list_->add("../");
    for (const std::string& f : folders) list_->add(f.c_str());
    for (const std::string& f : files) list_->add(f.c_str());
  }

  void Enter(const std::string& folder) {
    folder_ = folder;
    name_->value("");
    List();
  }

  // A folder opens; an existing file (or, to save, a new name in an existing folder)
  // is the answer; anything else is reported in the chooser.
  void Take(const std::string& typed) {
    if (typed.empty()) return;
    const std::string path = Resolve(folder_, typed);
    if (FileType(path) == kFileDirectory) {
      Enter(path);
      return;
    }
    if (FileType(path) == kFileRegular || (save_ && FileType(FolderOf(path)) == kFileDirectory)) {
      chosen_ = path;
      g_last_folder = FolderOf(path);
      window_.hide();
      return;
    }
    status_->copy_label(("No such file: " + typed).c_str());
  }

  static void OnName(Fl_Widget*, void* self) {
    auto* c = static_cast<FileChooser*>(self);
    c->Take(c->name_->value());
  }
  static void OnOk(Fl_Widget*, void* self) { OnName(nullptr, self); }
  static void OnCancel(Fl_Widget*, void* self) {
    auto* c = static_cast<FileChooser*>(self);
    c->chosen_.clear();
    c->window_.hide();
  }
  static void OnFilter(Fl_Widget*, void* self) { static_cast<FileChooser*>(self)->List(); }
  static void OnList(Fl_Widget*, void* self) {
    auto* c = static_cast<FileChooser*>(self);
    const int line = c->list_->value();
    if (line < 1) return;
    const std::string entry = c->list_->text(line);
    const bool folder = !entry.empty() && entry.back() == '/';
    if (!folder) c->name_->value(entry.c_str());
    // A double click opens a folder or takes a file; the count is reset so that the
    // press and the release of one double click act once.
    if (Fl::event_clicks() > 0) {
      Fl::event_clicks(0);
      c->Take(entry);
    }
  }

  bool save_;
  std::vector<std::pair<std::string, std::string>> filters_;
  std::string folder_;
  std::string chosen_;
  Fl_Double_Window window_;
  Fl_Input* name_ = nullptr;
  Fl_Box* place_ = nullptr;
  Fl_Hold_Browser* list_ = nullptr;
  Fl_Choice* filter_ = nullptr;
  Fl_Box* status_ = nullptr;
};

}  // namespace

std::string RunFileChooser(const std::string& title, const std::string& filter, bool save,
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
  FileChooser chooser(title, filter, save, folder);
  return chooser.Run();
}
