// The texture slots: choose, reload and clear on a base, an overlay and the skirt slot,
// through the panel's buttons and a scripted file requester, checked on the drawn frame.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>

#include "app/shell.h"
#include "app_fixture.h"
#include "engine/commands/commands.h"
#include "engine/mesh/brush.h"
#include "engine/mesh/texture.h"
#include "platform/gui.h"
#include "support/tga_file.h"

using namespace velmora;

namespace {

struct SlotCase {
  const char* what;
  size_t slot;     // index in Slots()
  float x, y, z;   // a world point the slot's image covers
  bool show_skirt;
};

const SlotCase kSlotCases[] = {
    {"upper base", 2, 0, 1.07f, 0, false},
    {"lower overlay 2", 7, 0, 0.3f, 0, false},
    {"skirt", 8, 0, -0.3f, 0, true},
};

int CountInCache(const TexturePtr& t) {
  int n = 0;
  for (const TexturePtr& cached : TTexture::tex_list) n += cached == t;
  return n;
}
bool InCache(const TexturePtr& t) { return CountInCache(t) > 0; }

using SlotsTest = AppTest;

TEST_F(SlotsTest, ChooseReloadAndClearOnBaseOverlayAndSkirtSlots) {
  for (const SlotCase& c : kSlotCases) {
    SCOPED_TRACE(c.what);
    Restart();
    if (c.show_skirt) Menu(kMenuToggleSkirt);
    const SlotRefs& s = Slots()[c.slot];
    auto colour = [&] {
      Paint();
      return PixelAt(c.x, c.y, c.z);
    };
    const std::string start_file = *s.file, start_text = GadgetText(*s.file_button);
    const TexturePtr start_texture = *s.texture;

    // Cancel changes nothing.
    Choose(*s.file_button, "");
    EXPECT_EQ(*s.file, start_file);
    EXPECT_EQ(GadgetText(*s.file_button), start_text);
    EXPECT_EQ(*s.texture, start_texture);
    if (s.overlay) {
      EXPECT_EQ((*s.brush)->alpha, 0.0f);
    }
    ASSERT_FALSE(file_requests_.empty());
    EXPECT_EQ(file_requests_.back(), "Select .tga file|tga");

    // A bare name (found in the working folder) is shown whole.
    ASSERT_TRUE(WriteSolidTga(PathIn("red.tga"), 230, 0, 0));
    Choose(*s.file_button, "red.tga");
    EXPECT_EQ(*s.file, "red.tga");
    EXPECT_EQ(GadgetText(*s.file_button), "red.tga");
    ASSERT_NE(*s.texture, nullptr);
    EXPECT_TRUE(Reddish(colour())) << Show(colour());

    // A missing file: the slot takes it and shows its name, and draws on without it;
    // "Re" tries the file again once it exists. An absolute path shows its image.
    const std::string later = PathIn("later.tga");
    std::remove(later.c_str());  // left by the case before
    Choose(*s.file_button, later);
    EXPECT_EQ(*s.file, later);
    EXPECT_EQ(GadgetText(*s.file_button), "later.tga");
    EXPECT_EQ(*s.texture, nullptr);
    if (s.overlay) {
      EXPECT_EQ((*s.brush)->alpha, 1.0f);
    }
    EXPECT_FALSE(Reddish(colour()));
    ASSERT_TRUE(WriteSolidTga(later, 0, 220, 0));
    Press(*s.reload_button);
    EXPECT_TRUE(Greenish(colour())) << Show(colour());

    // The same file again, changed on disk: read anew, not taken from the cache.
    ASSERT_TRUE(WriteSolidTga(later, 0, 0, 230));
    Choose(*s.file_button, later);
    EXPECT_TRUE(Bluish(colour())) << Show(colour());
    // Reload after an edit shows the new pixels; the button keeps its text.
    ASSERT_TRUE(WriteSolidTga(later, 230, 0, 0));
    const TexturePtr before_reload = *s.texture;
    Press(*s.reload_button);
    EXPECT_NE(*s.texture, before_reload);
    EXPECT_FALSE(InCache(before_reload));
    EXPECT_EQ(GadgetText(*s.file_button), "later.tga");
    EXPECT_TRUE(Reddish(colour())) << Show(colour());

    // A path ending in "/" shows no name; a folder does not load.
    ASSERT_EQ(mkdir(PathIn("pictures").c_str(), 0755), 0);
    Choose(*s.file_button, PathIn("pictures/"));
    EXPECT_EQ(GadgetText(*s.file_button), "");
    EXPECT_EQ(*s.file, PathIn("pictures/"));
    EXPECT_EQ(*s.texture, nullptr);
    EXPECT_FALSE(IsBackground(colour()));
    rmdir(PathIn("pictures").c_str());

    // Clear forgets the file and frees the texture; an overlay hides.
    Choose(*s.file_button, later);
    const TexturePtr chosen = *s.texture;
    ASSERT_NE(chosen, nullptr);
    Press(*s.clear_button);
    EXPECT_EQ(*s.file, "");
    EXPECT_EQ(GadgetText(*s.file_button), "");
    EXPECT_FALSE(InCache(chosen));
    if (s.overlay) {
      EXPECT_EQ((*s.brush)->alpha, 0.0f);
    }
    const Rgba cleared = colour();
    EXPECT_FALSE(Reddish(cleared)) << Show(cleared);
    EXPECT_FALSE(IsBackground(cleared)) << "the region still draws";
    // "Re" and "-" on an empty slot do nothing.
    const size_t requests = file_requests_.size();
    Press(*s.reload_button);
    Press(*s.clear_button);
    EXPECT_EQ(*s.texture, nullptr) << "a cleared slot holds no texture";
    EXPECT_EQ(file_requests_.size(), requests);
    EXPECT_EQ(*s.file, "");
  }
}

// Two slots given one file share one cached texture. An action on one never blanks the
// other: "Re" gives both the file's new pixels, "-" leaves the other showing it, and
// choosing another file leaves it too.
struct SharedCase {
  const char* what;
  size_t acted, other;  // indexes in Slots()
  float acted_y, other_y;  // world points (0, y, 0) their images cover
  bool show_skirt;
};

const SharedCase kSharedCases[] = {
    {"base slots", 2, 5, 1.07f, 0.3f, false},       // upper base, lower base
    {"overlay slots", 3, 6, 1.07f, 0.3f, false},    // upper overlay 1, lower overlay 1
    {"skirt and overlay", 8, 3, -0.3f, 1.07f, true},  // skirt, upper overlay 1
};

TEST_F(SlotsTest, SlotsSharingATextureKeepTheirImageThroughEachOthersActions) {
  for (const SharedCase& c : kSharedCases) {
    SCOPED_TRACE(c.what);
    Restart();
    if (c.show_skirt) Menu(kMenuToggleSkirt);
    const SlotRefs& a = Slots()[c.acted];
    const SlotRefs& b = Slots()[c.other];
    auto at = [&](float y) {
      Paint();
      return PixelAt(0, y, 0);
    };
    const Rgba a_start = at(c.acted_y);
    const std::string file = PathIn("shared.tga");
    ASSERT_TRUE(WriteSolidTga(file, 0, 220, 0));
    Choose(*a.file_button, file);
    Choose(*b.file_button, file);
    ASSERT_NE(*a.texture, nullptr);
    ASSERT_EQ(*a.texture, *b.texture) << "one cached texture";
    EXPECT_TRUE(Greenish(at(c.acted_y))) << Show(at(c.acted_y));
    EXPECT_TRUE(Greenish(at(c.other_y))) << Show(at(c.other_y));

    // "Re" on one reads the edited file; both show its new pixels from one texture.
    ASSERT_TRUE(WriteSolidTga(file, 0, 0, 230));
    const TexturePtr before = *a.texture;
    Press(*a.reload_button);
    EXPECT_NE(*a.texture, before);
    EXPECT_FALSE(InCache(before));
    EXPECT_EQ(*a.texture, *b.texture);
    EXPECT_EQ(CountInCache(*a.texture), 1);
    EXPECT_TRUE(Bluish(at(c.acted_y))) << Show(at(c.acted_y));
    EXPECT_TRUE(Bluish(at(c.other_y))) << Show(at(c.other_y));

    // "-" on one: it looks cleared, the other keeps the texture whole.
    Press(*a.clear_button);
    EXPECT_EQ(*a.file, "");
    EXPECT_EQ(*a.texture, nullptr);
    ASSERT_NE(*b.texture, nullptr);
    EXPECT_TRUE(InCache(*b.texture));
    EXPECT_FALSE((*b.texture)->frame_names->empty());
    const Rgba cleared = at(c.acted_y);
    EXPECT_FALSE(Bluish(cleared)) << Show(cleared);
    EXPECT_FALSE(IsBackground(cleared)) << Show(cleared);
    if (a.overlay) {
      EXPECT_EQ(Show(cleared), Show(a_start)) << "the base shows again";
    }
    EXPECT_TRUE(Bluish(at(c.other_y))) << Show(at(c.other_y));
    // The last holder's "-" frees it.
    const TexturePtr last = *b.texture;
    Press(*b.clear_button);
    EXPECT_FALSE(InCache(last));
    EXPECT_TRUE(last->frame_names->empty());

    // Choosing another file for one leaves the other its image.
    Choose(*a.file_button, file);
    Choose(*b.file_button, file);
    ASSERT_EQ(*a.texture, *b.texture);
    ASSERT_TRUE(WriteSolidTga(PathIn("other.tga"), 230, 0, 0));
    Choose(*a.file_button, PathIn("other.tga"));
    EXPECT_TRUE(Reddish(at(c.acted_y))) << Show(at(c.acted_y));
    EXPECT_TRUE(Bluish(at(c.other_y))) << Show(at(c.other_y));
    EXPECT_TRUE(InCache(*b.texture));
  }
}

TEST_F(SlotsTest, SkirtImageChosenWhileHiddenShowsWhenTheSkirtDoes) {
  Start();
  ASSERT_TRUE(WriteSolidTga(PathIn("cloth.tga"), 0, 220, 0));
  Choose(app.bSkirtTex, PathIn("cloth.tga"));
  EXPECT_EQ(app.skirt, nullptr);
  EXPECT_EQ(app.fileSkirt, PathIn("cloth.tga"));
  EXPECT_EQ(GadgetText(app.bSkirtTex), "cloth.tga");
  ASSERT_NE(app.texSkirt, nullptr);
  Press(app.bSkirtRel);
  EXPECT_EQ(app.skirt, nullptr);
  Menu(kMenuToggleSkirt);
  Paint();
  EXPECT_TRUE(Greenish(PixelAt(0, -0.3f, 0))) << Show(PixelAt(0, -0.3f, 0));
}

// Every one of the 27 buttons reaches its own slot and no other.
TEST_F(SlotsTest, EachButtonActsOnItsOwnSlot) {
  Start();
  ASSERT_TRUE(WriteSolidTga(PathIn("x.tga"), 200, 200, 200));
  for (size_t i = 0; i < Slots().size(); ++i) {
    SCOPED_TRACE("slot " + std::to_string(i));
    std::vector<std::string> before;
    for (const SlotRefs& s : Slots()) before.push_back(*s.file);
    Choose(*Slots()[i].file_button, "x.tga");
    for (size_t j = 0; j < Slots().size(); ++j) EXPECT_EQ(*Slots()[j].file, j == i ? "x.tga" : before[j]);
    const TexturePtr loaded = *Slots()[i].texture;
    Press(*Slots()[i].reload_button);
    EXPECT_NE(*Slots()[i].texture, loaded) << "reloaded";
    Press(*Slots()[i].clear_button);
    for (size_t j = 0; j < Slots().size(); ++j) EXPECT_EQ(*Slots()[j].file, j == i ? "" : before[j]);
  }
  // Gadgets that are no slot button do nothing.
  const size_t requests = file_requests_.size();
  Press(app.canvas);
  Press(app.window);
  EXPECT_EQ(file_requests_.size(), requests);
}

}  // namespace
