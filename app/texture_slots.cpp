// Choose, reload and clear for the nine texture slots. A body slot's texture sits in
// layer 0 of its brush, which its region surface shares; an overlay slot shows through
// its brush's alpha (1 while it shows an image, 0 when cleared or when its file did not
// load). The skirt's texture goes on the skirt entity, and only while the skirt is shown.
//
// What a slot shows is the file as it is on disk now: every choose and "Re" takes the
// textures of that file out of the engine's cache first, for every slot that shows it,
// so no slot is handed pixels the cache kept from an earlier read.
#include "app/texture_slots.h"

#include <vector>

#include "app/app_state.h"
#include "app/shell.h"
#include "engine/commands/commands.h"
#include "platform/file.h"

using namespace velmora;

namespace {

// The part of a path after its last "/": a path without one whole, one ending in "/"
// empty.
std::string ShownName(const std::string& path) { return path.substr(size_t(FindLast(path, "/") + 1)); }

// Said of a file that exists and can be read but that no image decoder accepts.
constexpr const char* kNotAnImage =
    "it is not a whole TGA, JPEG, PNG or BMP image of at most 16384 x 16384 pixels";

void ReportLoadFailure(const std::string& file, const std::string& reason) {
  Notify("Could not load " + file + ": " + reason + ".", true);
}

// Puts the slot's texture where it shows.
void Apply(const SlotRefs& s) {
  if (s.region == Region::Skirt) {
    if (app.skirt) EntityTexture(app.skirt, *s.texture, 0, 0);  // a hidden skirt gets it when shown
    return;
  }
  BrushTexture(*s.brush, *s.texture, 0, 0);
  PaintSurface(*s.surface, *s.brush);
}

// After a load: the overlay shows only an image it has, the button says what it holds.
void Show(const SlotRefs& s) {
  const bool loaded = *s.texture != nullptr;
  if (s.overlay) BrushAlpha(*s.brush, loaded ? 1.0f : 0.0f);
  Apply(s);
  SetGadgetText(*s.file_button, loaded ? ShownName(*s.file) : kNoImageText);
}

// Reads `file` from disk for every slot whose file is that file (see ReadIntoSlots) and
// shows the result in each; why it did not load, empty when it did. A name that is not
// a readable file is not handed to the engine, whose search would load a file of the
// same name from the working folder in its place.
std::string ReadFile(const std::string& file) {
  if (file.empty()) return "";
  const std::string where = CanonicalPath(file);
  std::vector<SlotRefs> showing;
  for (const SlotRefs& s : Slots())
    if (!s.file->empty() && CanonicalPath(*s.file) == where) showing.push_back(s);

  // Out of the cache, every flags variant at once (a base and an overlay slot hold two
  // textures of one file), so that each load below reads the disk.
  for (const SlotRefs& s : showing) ReleaseSlotTexture(s);

  // Asked once: every slot in `showing` names this file, whatever the spelling.
  const std::string problem = FileReadProblem(file);
  bool failed = false;
  {
    const BusyPointer busy;  // a large image takes a while
    // Slots with the same flags get one texture: the first load caches it for the rest.
    for (const SlotRefs& s : showing) {
      if (problem.empty()) *s.texture = LoadTexture(*s.file, s.load_flags);
      failed = failed || !*s.texture;
    }
  }
  for (const SlotRefs& s : showing) Show(s);
  if (!failed) return "";
  return problem.empty() ? kNotAnImage : problem;
}

// A choose or "Re": a failure is reported over a view already drawn without the image,
// so that the notice does not stand beside a picture of the file as it was.
void ReadAndReport(const std::string& file) {
  const std::string reason = ReadFile(file);
  if (reason.empty()) return;
  PaintCanvas();
  ReportLoadFailure(file, reason);
}

void Choose(const SlotRefs& s) {
  const std::string path = RequestFile(kChooseImageText, kChooseImageExtensions, false, "");
  if (path.empty()) return;  // cancelled: nothing changes
  // The view where the chooser stood is drawn again now: the paint that uncovering it
  // asked for would wait behind the load, and a large image takes seconds.
  PaintCanvas();
  ReleaseSlotTexture(s);
  *s.file = path;
  ReadAndReport(path);
}

void Reload(const SlotRefs& s) {
  if (s.file->empty()) return;
  ReadAndReport(*s.file);
}

void Clear(const SlotRefs& s) {
  if (s.file->empty()) return;
  s.file->clear();
  if (!OtherHolders(s).empty()) {
    // Others still show the texture, so it stays whole; this slot just stops showing
    // it. A hidden overlay needs nothing more.
    if (s.region == Region::Skirt) {
      if (app.skirt) EntityTexture(app.skirt, nullptr, 0, 0);
    } else if (!s.overlay) {
      BrushTexture(*s.brush, nullptr, 0, 0);
    }
  }
  // An unshared texture is freed: the brush keeps it in layer 0, and drawing skips a
  // layer without frames.
  ReleaseSlotTexture(s);
  if (s.overlay) BrushAlpha(*s.brush, 0.0f);
  SetGadgetText(*s.file_button, "");
}

// The action of the first of the region's buttons that is `gadget`.
int UpdateRegion(Region region, const GadgetPtr& gadget) {
  if (!gadget) return 0;
  for (const SlotRefs& s : SlotsOf(region)) {
    if (gadget == *s.file_button) {
      Choose(s);
    } else if (gadget == *s.reload_button) {
      Reload(s);
    } else if (gadget == *s.clear_button) {
      Clear(s);
    } else {
      continue;
    }
    break;
  }
  return 0;
}

}  // namespace

void ReadIntoSlots(const std::string& file) {
  const std::string reason = ReadFile(file);
  if (!reason.empty()) ReportLoadFailure(file, reason);
}

int HandleButtons(const GadgetPtr& gadget) {
  if (!gadget) return 0;
  for (const SlotRefs& s : Slots()) {
    if (gadget != *s.file_button && gadget != *s.reload_button && gadget != *s.clear_button) continue;
    switch (s.region) {
      case Region::Head: return UpdateHead(gadget);
      case Region::Upper: return UpdateUpper(gadget);
      case Region::Lower: return UpdateLower(gadget);
      case Region::Skirt: return UpdateSkirt(gadget);
    }
  }
  return 0;
}

int UpdateHead(const GadgetPtr& gadget) { return UpdateRegion(Region::Head, gadget); }
int UpdateUpper(const GadgetPtr& gadget) { return UpdateRegion(Region::Upper, gadget); }
int UpdateLower(const GadgetPtr& gadget) { return UpdateRegion(Region::Lower, gadget); }
int UpdateSkirt(const GadgetPtr& gadget) { return UpdateRegion(Region::Skirt, gadget); }
