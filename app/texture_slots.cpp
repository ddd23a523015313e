// Choose, reload and clear for the nine texture slots. A body slot's texture sits in
// layer 0 of its brush, which its region surface shares; an overlay slot shows through
// its brush's alpha (1 once chosen, 0 when cleared). The skirt's texture goes on the
// skirt entity, and only while the skirt is shown.
#include "app/texture_slots.h"

#include "app/app_state.h"
#include "app/shell.h"
#include "engine/commands/commands.h"

using namespace velmora;

namespace {

// The part of a path after its last "/": a path without one whole, one ending in "/"
// empty.
std::string ShownName(const std::string& path) { return path.substr(size_t(FindLast(path, "/") + 1)); }

// Puts the slot's texture where it shows.
void Apply(const SlotRefs& s) {
  if (s.region == Region::Skirt) {
    if (app.skirt) EntityTexture(app.skirt, *s.texture, 0, 0);  // a hidden skirt gets it when shown
    return;
  }
  BrushTexture(*s.brush, *s.texture, 0, 0);
  PaintSurface(*s.surface, *s.brush);
}

// Reads the slot's file from disk again. Freeing takes the old texture out of the
// cache, or the load would return it; since that empties it for every slot that shares
// it, each of them takes the new texture too: they show the file's new pixels.
void ReadAgain(const SlotRefs& s) {
  const std::vector<SlotRefs> sharing = OtherHolders(s);
  if (*s.texture) FreeTexture(*s.texture);
  *s.texture = LoadSlotFile(s);
  for (const SlotRefs& other : sharing) {
    *other.texture = *s.texture;
    Apply(other);
  }
}

void Choose(const SlotRefs& s) {
  const std::string path = RequestFile(kChooseImageText, kChooseImageExtensions, false, "");
  if (path.empty()) return;  // cancelled: nothing changes
  // The view where the chooser stood is drawn again now: the paint that uncovering it
  // asked for would wait behind the load, and a large image takes seconds.
  PaintCanvas();
  if (path == *s.file) {
    ReadAgain(s);  // the same file again is read from disk anew
  } else {
    *s.file = path;
    ReleaseSlotTexture(s);
    *s.texture = LoadSlotFile(s);
  }
  if (s.overlay) BrushAlpha(*s.brush, 1.0f);
  Apply(s);
  SetGadgetText(*s.file_button, ShownName(path));
}

void Reload(const SlotRefs& s) {
  if (s.file->empty()) return;
  ReadAgain(s);
  Apply(s);
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
