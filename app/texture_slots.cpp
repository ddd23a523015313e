// Choose, reload and clear for the nine texture slots. A body slot's texture sits in
// layer 0 of its brush, which its region surface shares; an overlay slot shows through
// its brush's alpha (1 once chosen, 0 when cleared). The skirt's texture goes on the
// skirt entity, and only while the skirt is shown.
#include "app/texture_slots.h"

#include "app/app_state.h"
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

void Choose(const SlotRefs& s) {
  const std::string path = RequestFile(kChooseImageText, kChooseImageExtensions, false, "");
  if (path.empty()) return;  // cancelled: nothing changes
  *s.file = path;
  // Freeing first takes the old texture out of the cache, so choosing the same file
  // again reads it from disk.
  if (*s.texture) FreeTexture(*s.texture);
  *s.texture = LoadTexture(*s.file, s.load_flags);  // null when it does not load
  if (s.overlay) BrushAlpha(*s.brush, 1.0f);
  Apply(s);
  SetGadgetText(*s.file_button, ShownName(path));
}

void Reload(const SlotRefs& s) {
  if (s.file->empty()) return;
  if (*s.texture) FreeTexture(*s.texture);  // out of the cache, or the load would return it
  *s.texture = LoadTexture(*s.file, s.load_flags);
  Apply(s);
}

void Clear(const SlotRefs& s) {
  if (s.file->empty()) return;
  s.file->clear();
  // The brush keeps the freed texture in layer 0; drawing skips a layer without frames.
  if (*s.texture) FreeTexture(*s.texture);
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
