// Builds and rebuilds the scene: Setup3D (camera rig, default images, brushes, avatar),
// LoadFigure (three copies, regions found by their texture names), LoadSkirt, and the
// Background Color, Toggle Gender and Toggle Skirt items.
#include "app/scene.h"

#include <array>

#include "app/app_state.h"
#include "app/texture_slots.h"
#include "engine/commands/commands.h"

using namespace velmora;

namespace {

constexpr int kLightDirectional = 1;

// One body region over the three copies: the word its surface's texture name holds,
// its default image, and its brush and surface in copies B, 1 and 2.
struct RegionParts {
  Region region;
  const char* name_part;
  const char* default_image;
  std::array<BrushPtr*, 3> brush;
  std::array<SurfacePtr*, 3> surface;
};

const std::array<RegionParts, 3>& BodyRegions() {
  static const std::array<RegionParts, 3> regions = {{
      {Region::Head, "head", kDefaultHeadImage, {&app.brushHeadB, &app.brushHead1, &app.brushHead2},
       {&app.surfHeadB, &app.surfHead1, &app.surfHead2}},
      {Region::Upper, "upper", kDefaultUpperImage, {&app.brushUpperB, &app.brushUpper1, &app.brushUpper2},
       {&app.surfUpperB, &app.surfUpper1, &app.surfUpper2}},
      {Region::Lower, "lower", kDefaultLowerImage, {&app.brushLowerB, &app.brushLower1, &app.brushLower2},
       {&app.surfLowerB, &app.surfLower1, &app.surfLower2}},
  }};
  return regions;
}

void SetupCameraRig() {
  if (app.camera) FreeEntity(app.camera);  // the light goes with it
  app.camera = CreateCamera(nullptr);
  CameraRange(app.camera, 0.05f, 100);
  CameraZoom(app.camera, 1.5f);
  app.color_R = 130, app.color_G = 160, app.color_B = 255;
  CameraClsColor(app.camera, 130, 160, 255);
  PositionEntity(app.camera, 0, 0, -4.5f, 0);

  // Created at the origin unturned, the light keeps that placement as the camera's
  // child: it shines the way the camera looks and follows it.
  app.light = CreateLight(kLightDirectional, nullptr);
  EntityParent(app.light, app.camera, 1);

  if (app.camPivot) FreeEntity(app.camPivot);
  app.camPivot = CreatePivot(nullptr);
  EntityParent(app.camera, app.camPivot, 1);  // keeps the camera 4.5 in front of the pivot
  PositionEntity(app.camPivot, 0, 0.5f, 0, 0);
  RotateEntity(app.camPivot, 10, 0, 0, 0);
}

// Empties the region's overlay slots and gives each copy a new brush (the overlays'
// invisible); the base slot is given its default image, which Setup3D reads.
void ResetRegion(const RegionParts& parts) {
  const std::vector<SlotRefs> slots = SlotsOf(parts.region);
  for (const SlotRefs& s : slots) {
    if (s.overlay && !s.file->empty()) {
      s.file->clear();
      SetGadgetText(*s.file_button, "");
    }
  }
  for (BrushPtr* b : parts.brush)
    if (*b) FreeBrush(*b);
  for (int copy = 0; copy < 3; ++copy) {
    *parts.brush[size_t(copy)] = CreateBrush(255, 255, 255);
    if (copy > 0) BrushAlpha(*parts.brush[size_t(copy)], 0);  // overlays start invisible
  }
  *slots.front().file = parts.default_image;
}

}  // namespace

int Setup3D() {
  SetupCameraRig();
  // Every slot lets go first, so no texture of the last scene is left in the cache for
  // the default images to be handed.
  for (const SlotRefs& s : Slots()) ReleaseSlotTexture(s);
  for (const RegionParts& parts : BodyRegions()) ResetRegion(parts);
  app.fileSkirt = kDefaultSkirtImage;  // read when the skirt is shown
  SetGadgetText(app.bSkirtTex, kDefaultSkirtImage);
  if (app.skirt) {
    FreeEntity(app.skirt);
    app.skirt = nullptr;  // hidden after a new scene
  }
  for (const RegionParts& parts : BodyRegions()) ReadIntoSlots(parts.default_image);

  app.gender = "F";
  LoadFigure();
  return 0;
}

int LoadFigure() {
  for (MeshPtr* copy : {&app.figureB, &app.figure1, &app.figure2})
    if (*copy) FreeEntity(*copy);
  const char* model = app.gender == "M" ? kMaleModel : kFemaleModel;
  app.figureB = LoadMesh(model, nullptr);
  app.figure1 = LoadMesh(model, nullptr);
  app.figure2 = LoadMesh(model, nullptr);

  const std::array<MeshPtr*, 3> copies = {&app.figureB, &app.figure1, &app.figure2};
  for (size_t c = 0; c < copies.size(); ++c) {
    const MeshPtr& copy = *copies[c];
    // A region that no surface matches (fewer surfaces, a surface without a texture,
    // other names) must not keep a surface of the copy just freed: it stays unpainted.
    for (const RegionParts& parts : BodyRegions()) *parts.surface[c] = nullptr;
    for (int i = 1; i <= 3; ++i) {
      const SurfacePtr surface = GetSurface(copy, i);
      const BrushPtr brush = GetSurfaceBrush(surface);
      const TexturePtr texture = GetBrushTexture(brush, 0);
      const std::string name = TextureName(texture);
      // Each test on the whole name: one surface may serve two regions, and of two
      // surfaces for one region the later wins.
      for (const RegionParts& parts : BodyRegions())
        if (Instr(name, parts.name_part, 1) > 0) *parts.surface[c] = GetSurface(copy, i);
      FreeBrush(brush);
      // The model's own images play no further part, unless the cache handed one to a
      // slot that shows it.
      if (!HeldBySlot(texture)) FreeTexture(texture);
    }
    for (const RegionParts& parts : BodyRegions()) PaintSurface(*parts.surface[c], *parts.brush[c]);
  }
  return 0;
}

int LoadSkirt() {
  if (app.skirt) FreeEntity(app.skirt);
  ReleaseSlotTexture(SlotsOf(Region::Skirt).front());  // the skirt's; another slot may share it
  app.skirt = LoadMesh(kSkirtModel, nullptr);
  ReadIntoSlots(app.fileSkirt);  // from disk as it is now, and onto the skirt
  EntityTexture(app.skirt, app.texSkirt, 0, 0);  // null when cleared or not loaded
  return 0;
}

int ChooseBackgroundColor() {
  if (RequestColor(app.color_R, app.color_G, app.color_B) != 1) return 0;
  app.color_R = RequestedRed();
  app.color_G = RequestedGreen();
  app.color_B = RequestedBlue();
  CameraClsColor(app.camera, float(app.color_R), float(app.color_G), float(app.color_B));
  return 0;
}

int ToggleGender() {
  app.gender = app.gender == "F" ? "M" : "F";
  LoadFigure();
  return 0;
}

int ToggleSkirt() {
  if (!app.skirt) {
    LoadSkirt();
  } else {
    FreeEntity(app.skirt);
    app.skirt = nullptr;
  }
  return 0;
}
