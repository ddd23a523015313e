// The start scene, New Scene, Toggle Gender, Toggle Skirt and the figure loader's
// handling of models that do not have the three regions.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "app/scene.h"
#include "app/shell.h"
#include "app_fixture.h"
#include "engine/commands/commands.h"
#include "engine/mesh/brush.h"
#include "engine/mesh/mesh.h"
#include "engine/mesh/surface.h"
#include "engine/mesh/texture.h"
#include "engine/scene/camera.h"
#include "engine/scene/global.h"
#include "platform/file.h"
#include "platform/gui.h"
#include "tools/b3d_writer.h"
#include "support/tga_file.h"

using namespace velmora;

namespace {

// World points on the female figure's front (model units): face, chest, hips, and the
// gap between the legs that the skirt covers.
struct Spot {
  float x, y, z;
};
constexpr Spot kFace{0, 1.95f, 0};
constexpr Spot kChest{0, 1.07f, 0};
constexpr Spot kHips{0, 0.3f, 0};
constexpr Spot kBetweenLegs{0, -0.3f, 0};

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

using SceneTest = AppTest;

TEST_F(SceneTest, StartShowsTheFemaleMannequinWithTheDefaultImages) {
  Start();
  EXPECT_EQ(GadgetText(app.window), "Velmora - 2.0b");
  EXPECT_EQ(TGlobal::width, 500);
  EXPECT_EQ(TGlobal::height, 431);
  EXPECT_EQ(TGlobal::depth, 32);
  EXPECT_EQ(TGlobal::mode, 0);
  EXPECT_EQ(TGlobal::rate, 60);
  EXPECT_EQ(app.gender, "F");
  EXPECT_EQ(app.skirt, nullptr);

  // The rig: pivot at (0, 0.5, 0) pitched 10 degrees, camera 4.5 behind it, light on it.
  EXPECT_EQ(GetParent(app.camera), app.camPivot);
  EXPECT_EQ(GetParent(app.light), app.camera);
  EXPECT_NEAR(EntityY(app.camera, 1), 0.5f + 4.5f * std::sin(10 * 3.14159265f / 180), 1e-3);
  EXPECT_NEAR(EntityZ(app.camera, 1), -4.5f * std::cos(10 * 3.14159265f / 180), 1e-3);

  // Base slots hold the defaults, overlays are empty and invisible.
  for (const SlotRefs& s : Slots()) {
    const std::string expect = s.region == Region::Head    ? "HEAD.JPG"
                               : s.region == Region::Upper ? "UPPER.JPG"
                               : s.region == Region::Lower ? "LOWER.JPG"
                                                           : "SKIRT.JPG";
    if (s.overlay) {
      EXPECT_EQ(*s.file, "");
      EXPECT_EQ(GadgetText(*s.file_button), "");
      EXPECT_EQ((*s.brush)->alpha, 0.0f);
    } else {
      EXPECT_EQ(*s.file, expect);
      EXPECT_EQ(GadgetText(*s.file_button), expect);
    }
    EXPECT_EQ(GadgetText(*s.reload_button), "Re");
    EXPECT_EQ(GadgetText(*s.clear_button), "-");
    if (s.brush && !s.overlay) {
      EXPECT_TRUE(EndsWith(TextureName(GetBrushTexture(*s.brush, 0)), "/" + expect));
      EXPECT_EQ((*s.surface)->brush, *s.brush) << "the surface shares the slot's brush";
    }
  }
  EXPECT_EQ(app.texSkirt, nullptr) << "loaded only when the skirt is shown";
  EXPECT_EQ(app.brushHead2->alpha, 0.0f);
  EXPECT_EQ(app.surfHead2->brush, app.brushHead2);

  Paint();
  EXPECT_TRUE(IsBackground(context_->ReadPixel(5, 5))) << Show(context_->ReadPixel(5, 5));
  for (Spot s : {kFace, kChest}) {
    const Rgba c = PixelAt(s.x, s.y, s.z);
    EXPECT_GT(c[0], c[2] + 30) << "skin at y " << s.y << ": " << Show(c);
  }
  const Rgba briefs = PixelAt(kHips.x, kHips.y, kHips.z);
  EXPECT_FALSE(IsBackground(briefs));
  EXPECT_LT(std::abs(briefs[0] - briefs[2]), 30) << "grey briefs: " << Show(briefs);
  EXPECT_TRUE(IsBackground(PixelAt(kBetweenLegs.x, kBetweenLegs.y, kBetweenLegs.z)));
}

TEST_F(SceneTest, PanelHasItsCaptionsAndTwentySevenButtonsInPlace) {
  Start();
  EXPECT_EQ(GadgetX(app.panel), 510);
  EXPECT_EQ(GadgetY(app.panel), 60);
  EXPECT_EQ(ClientWidth(app.panel), 200);
  const struct {
    GadgetPtr* file;
    int y;
  } rows[] = {{&app.bHeadBTex, 30},  {&app.bHeadATex, 55},  {&app.bUpperBTex, 110},
              {&app.bUpper1Tex, 135}, {&app.bUpper2Tex, 160}, {&app.bLowerBTex, 225},
              {&app.bLower1Tex, 250}, {&app.bLower2Tex, 275}, {&app.bSkirtTex, 330}};
  for (size_t i = 0; i < std::size(rows); ++i) {
    const SlotRefs& s = Slots()[i];
    ASSERT_EQ(s.file_button, rows[i].file) << "slot " << i << " is in panel order";
    const GadgetPtr* row[] = {s.file_button, s.reload_button, s.clear_button};
    const int x[] = {0, 115, 160}, w[] = {115, 50, 40};
    for (int b = 0; b < 3; ++b) {
      SCOPED_TRACE("slot " + std::to_string(i) + " button " + std::to_string(b));
      ASSERT_NE(*row[b], nullptr);
      EXPECT_EQ(GadgetX(*row[b]), x[b]);
      EXPECT_EQ(GadgetY(*row[b]), rows[i].y);
      EXPECT_EQ(GadgetWidth(*row[b]), w[b]);
      EXPECT_EQ(GadgetHeight(*row[b]), 25);
    }
  }
}

TEST_F(SceneTest, NewSceneAfterEverySlotWasFilledRestoresTheStart) {
  Start();
  ASSERT_TRUE(WriteSolidTga(PathIn("green.tga"), 0, 220, 0));
  for (const SlotRefs& s : Slots()) Choose(*s.file_button, PathIn("green.tga"));
  Paint();
  EXPECT_TRUE(Greenish(PixelAt(kChest.x, kChest.y, kChest.z)));
  Menu(kMenuToggleSkirt);
  colour_answer_[0] = 10, colour_answer_[1] = 20, colour_answer_[2] = 30;
  Menu(kMenuBackgroundColor);
  Menu(kMenuToggleGender);
  TurnEntity(app.camPivot, 30, 40, 0, 0);
  ASSERT_NE(app.skirt, nullptr);
  Paint();
  EXPECT_TRUE(IsBackground(context_->ReadPixel(5, 5), 10, 20, 30));

  Menu(kMenuNewScene);
  EXPECT_EQ(app.gender, "F");
  EXPECT_EQ(app.skirt, nullptr);
  EXPECT_EQ(app.color_R, 130);
  EXPECT_NEAR(EntityPitch(app.camPivot, 0), 10, 1e-3);
  EXPECT_NEAR(EntityYaw(app.camPivot, 0), 0, 1e-3);
  for (const SlotRefs& s : Slots()) {
    if (s.overlay) {
      EXPECT_EQ(*s.file, "") << GadgetText(*s.file_button);
      EXPECT_EQ(GadgetText(*s.file_button), "");
      EXPECT_EQ((*s.brush)->alpha, 0.0f);
    } else {
      EXPECT_NE(s.file->find(".JPG"), std::string::npos) << *s.file;
      EXPECT_EQ(GadgetText(*s.file_button), *s.file);
    }
  }
  Paint();
  EXPECT_TRUE(IsBackground(context_->ReadPixel(5, 5)));
  for (Spot s : {kFace, kChest, kHips}) EXPECT_FALSE(Greenish(PixelAt(s.x, s.y, s.z))) << "y " << s.y;

  // The next show of the skirt uses the default image again.
  Menu(kMenuToggleSkirt);
  ASSERT_NE(app.skirt, nullptr);
  EXPECT_TRUE(EndsWith(TextureName(app.texSkirt), "/SKIRT.JPG"));
}

TEST_F(SceneTest, ToggleGenderTwiceComesBackWithTheSameImages) {
  Start();
  ASSERT_TRUE(WriteSolidTga(PathIn("red.tga"), 230, 0, 0));
  Choose(app.bUpper1Tex, PathIn("red.tga"));
  const float female_height = MeshHeight(app.figureB);
  const BrushPtr upper1 = app.brushUpper1;

  Menu(kMenuToggleGender);
  EXPECT_EQ(app.gender, "M");
  EXPECT_GT(MeshHeight(app.figureB), female_height * 1.03f) << "the taller male model";
  EXPECT_EQ(app.surfUpper1->brush, upper1) << "the chosen image moves to the other model";
  EXPECT_EQ(GadgetText(app.bUpper1Tex), "red.tga");

  Menu(kMenuToggleGender);
  EXPECT_EQ(app.gender, "F");
  EXPECT_FLOAT_EQ(MeshHeight(app.figureB), female_height);
  EXPECT_EQ(app.surfUpper1->brush, upper1);
  EXPECT_EQ(app.brushUpper1->alpha, 1.0f);
  for (const SlotRefs& s : Slots()) {
    if (s.surface) {
      EXPECT_EQ((*s.surface)->brush, *s.brush);
    }
  }
  Paint();
  EXPECT_TRUE(Reddish(PixelAt(kChest.x, kChest.y, kChest.z))) << Show(PixelAt(kChest.x, kChest.y, kChest.z));
  EXPECT_FALSE(Reddish(PixelAt(kFace.x, kFace.y, kFace.z)));
}

// The model's own images are freed once its regions are found, but not one that the
// cache also handed to a slot: that slot keeps showing it.
TEST_F(SceneTest, ToggleGenderKeepsASlotThatShowsTheModelsOwnImage) {
  Start();
  Choose(app.bUpperBTex, "tavren_upper.jpg");
  const TexturePtr chosen = app.texUpperB;
  ASSERT_NE(chosen, nullptr);
  Paint();
  const Rgba before = PixelAt(kChest.x, kChest.y, kChest.z);
  Menu(kMenuToggleGender);
  Menu(kMenuToggleGender);
  EXPECT_EQ(app.texUpperB, chosen);
  EXPECT_FALSE(chosen->frame_names->empty()) << "freed under the slot";
  Paint();
  EXPECT_EQ(Show(PixelAt(kChest.x, kChest.y, kChest.z)), Show(before));
}

TEST_F(SceneTest, ToggleSkirtShowsHidesAndShowsAgainWithTheSlotsFile) {
  Start();
  Menu(kMenuToggleSkirt);
  ASSERT_NE(app.skirt, nullptr);
  const TexturePtr shown = app.texSkirt;
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(GetBrushTexture(GetEntityBrush(app.skirt), 0), shown);
  Paint();
  const Rgba cloth = PixelAt(kBetweenLegs.x, kBetweenLegs.y, kBetweenLegs.z);
  EXPECT_TRUE(Reddish(cloth)) << "the default skirt cloth: " << Show(cloth);

  Menu(kMenuToggleSkirt);
  EXPECT_EQ(app.skirt, nullptr);
  EXPECT_EQ(app.texSkirt, shown) << "kept until the next show";
  EXPECT_EQ(app.fileSkirt, "SKIRT.JPG");
  Paint();
  EXPECT_TRUE(IsBackground(PixelAt(kBetweenLegs.x, kBetweenLegs.y, kBetweenLegs.z)));

  // Cleared, the skirt shows again untextured.
  Press(app.bSkirtDel);
  Menu(kMenuToggleSkirt);
  ASSERT_NE(app.skirt, nullptr);
  EXPECT_EQ(app.texSkirt, nullptr);
  Paint();
  const Rgba bare = PixelAt(kBetweenLegs.x, kBetweenLegs.y, kBetweenLegs.z);
  EXPECT_FALSE(IsBackground(bare));
  EXPECT_FALSE(Reddish(bare)) << Show(bare);
}

// Models that break the three-region rule: the regions they lack stay unpainted, and
// nothing keeps a surface of the copy that was freed.
TEST_F(SceneTest, RegionsAModelLacksStayUnpainted) {
  struct Case {
    const char* what;
    std::vector<std::string> textures;  // per surface; "" = no texture
    bool head, upper, lower;            // regions expected to find a surface
  };
  const Case cases[] = {
      {"one surface", {"t_head.tga"}, true, false, false},
      {"a surface without a texture", {"t_head.tga", "", "t_lower.tga"}, true, false, true},
      {"names that match no region", {"t_Head.tga", "t_UPPER.tga", "t_legs.tga"}, false, false, false},
      {"one name for two regions", {"t_upper_lower.tga", "t_head.tga"}, true, true, true},
  };
  ASSERT_TRUE(WriteSolidTga(PathIn("blue.tga"), 0, 0, 230));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string dir = TestTempDir(std::string("model") + std::to_string(&c - cases));
    for (const char* name : kAssetFiles) ASSERT_TRUE(CopyFile(PathIn(name), dir + "/" + name));
    // A quad per surface, side by side, each with its own brush.
    TB3dWriter w;
    w.Header(1);
    std::vector<B3dTexture> textures;
    std::vector<B3dBrush> brushes;
    for (size_t i = 0; i < c.textures.size(); ++i) {
      std::vector<int> ids = {-1};  // -1: no texture in the layer
      if (!c.textures[i].empty()) {
        ids[0] = int(textures.size());
        textures.emplace_back(c.textures[i]);
        ASSERT_TRUE(WriteSolidTga(dir + "/" + c.textures[i], 200, 200, 200));
      }
      brushes.emplace_back("b", 1, 1, 1, 1, 0, 1, 0, ids);
    }
    w.Texs(textures).Brus(1, brushes).BeginNode("m").BeginMesh(-1);
    std::vector<float> vertices;
    for (size_t i = 0; i < c.textures.size(); ++i) {
      const float x = float(i);
      vertices.insert(vertices.end(), {x, 0, 0, x + 1, 0, 0, x + 1, 1, 0, x, 1, 0});
    }
    w.Vrts(0, 0, 0, vertices);
    for (size_t i = 0; i < c.textures.size(); ++i) {
      const int b = int(i) * 4;
      w.Tris(int(i), {b, b + 1, b + 2, b, b + 2, b + 3});
    }
    ASSERT_TRUE(w.Finish().Save(dir + "/Tavren_Male.b3d"));

    ASSERT_TRUE(ChangeDir(dir));
    ResetAppState();
    Start();  // the real female figure first: every region found
    ASSERT_NE(app.surfUpper1, nullptr);
    Choose(app.bUpper1Tex, PathIn("blue.tga"));
    Menu(kMenuToggleGender);
    EXPECT_EQ(app.surfHeadB != nullptr, c.head);
    EXPECT_EQ(app.surfUpperB != nullptr, c.upper);
    EXPECT_EQ(app.surfLowerB != nullptr, c.lower);
    EXPECT_EQ(app.surfUpper1 != nullptr, c.upper) << "no surface left over from the freed copy";
    // Slot actions on a region without a surface do nothing and draw on.
    Choose(app.bUpper2Tex, PathIn("blue.tga"));
    Press(app.bUpper1Rel);
    Press(app.bUpperBDel);
    Paint();
    EXPECT_TRUE(IsBackground(context_->ReadPixel(5, 5)));
    StopTimer(app.timer);
    FreeGadget(app.window);
    FreeGadget(app.panel);
    ResetEngine();
  }
}

TEST_F(SceneTest, MissingModelGivesAnUnpaintedCube) {
  ASSERT_EQ(std::remove(PathIn("Tavren_Female.b3d").c_str()), 0);
  Start();
  ASSERT_NE(app.figureB, nullptr);
  EXPECT_EQ(CountSurfaces(app.figureB), 1);
  EXPECT_EQ(app.surfHeadB, nullptr);
  EXPECT_EQ(app.surfUpperB, nullptr);
  EXPECT_EQ(app.surfLowerB, nullptr);
  Paint();
  EXPECT_TRUE(IsBackground(context_->ReadPixel(5, 5)));
}

}  // namespace
