// The one instance of the previewer's state, the slot table that names each slot's
// parts in it, how slots share a cached texture, and the two text searches the
// previewer's code uses.
#include "app/app_state.h"

#include "engine/commands/commands.h"

AppState app;

void ResetAppState() { app = AppState{}; }

const std::array<SlotRefs, 9>& Slots() {
  static const std::array<SlotRefs, 9> slots = {{
      {Region::Head, &app.fileHeadB, &app.texHeadB, &app.brushHeadB, &app.surfHeadB, &app.bHeadBTex,
       &app.bHeadBRel, &app.bHeadBDel, 1, false},
      // The head has one overlay layer, named A, on copy 1; copy 2's head has no slot.
      {Region::Head, &app.fileHeadA, &app.texHeadA, &app.brushHead1, &app.surfHead1, &app.bHeadATex,
       &app.bHeadARel, &app.bHeadADel, 2, true},
      {Region::Upper, &app.fileUpperB, &app.texUpperB, &app.brushUpperB, &app.surfUpperB, &app.bUpperBTex,
       &app.bUpperBRel, &app.bUpperBDel, 1, false},
      {Region::Upper, &app.fileUpper1, &app.texUpper1, &app.brushUpper1, &app.surfUpper1, &app.bUpper1Tex,
       &app.bUpper1Rel, &app.bUpper1Del, 2, true},
      {Region::Upper, &app.fileUpper2, &app.texUpper2, &app.brushUpper2, &app.surfUpper2, &app.bUpper2Tex,
       &app.bUpper2Rel, &app.bUpper2Del, 2, true},
      {Region::Lower, &app.fileLowerB, &app.texLowerB, &app.brushLowerB, &app.surfLowerB, &app.bLowerBTex,
       &app.bLowerBRel, &app.bLowerBDel, 1, false},
      {Region::Lower, &app.fileLower1, &app.texLower1, &app.brushLower1, &app.surfLower1, &app.bLower1Tex,
       &app.bLower1Rel, &app.bLower1Del, 2, true},
      {Region::Lower, &app.fileLower2, &app.texLower2, &app.brushLower2, &app.surfLower2, &app.bLower2Tex,
       &app.bLower2Rel, &app.bLower2Del, 2, true},
      {Region::Skirt, &app.fileSkirt, &app.texSkirt, nullptr, nullptr, &app.bSkirtTex, &app.bSkirtRel,
       &app.bSkirtDel, 2, false},
  }};
  return slots;
}

std::vector<SlotRefs> SlotsOf(Region region) {
  std::vector<SlotRefs> out;
  for (const SlotRefs& s : Slots())
    if (s.region == region) out.push_back(s);
  return out;
}

bool HeldBySlot(const TexturePtr& texture) {
  if (!texture) return false;
  for (const SlotRefs& s : Slots())
    if (*s.texture == texture) return true;
  return false;
}

std::vector<SlotRefs> OtherHolders(const SlotRefs& slot) {
  std::vector<SlotRefs> out;
  if (!*slot.texture) return out;
  for (const SlotRefs& s : Slots())
    if (s.texture != slot.texture && *s.texture == *slot.texture) out.push_back(s);
  return out;
}

void ReleaseSlotTexture(const SlotRefs& slot) {
  if (*slot.texture && OtherHolders(slot).empty()) velmora::FreeTexture(*slot.texture);
  *slot.texture = nullptr;
}

int Instr(const std::string& text, const std::string& part, int start) {
  if (start < 1) start = 1;
  const size_t at = text.find(part, size_t(start - 1));
  return at == std::string::npos ? 0 : int(at) + 1;
}

int FindLast(const std::string& text, const std::string& part) {
  const size_t at = text.rfind(part);
  return at == std::string::npos ? -1 : int(at);
}
