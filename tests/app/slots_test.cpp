// The texture slots: choose, reload and clear on a base, an overlay and the skirt slot,
// through the panel's buttons and a scripted file requester, checked on the drawn frame.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "app/shell.h"
#include "app/texture_slots.h"
#include "app_fixture.h"
#include "engine/commands/commands.h"
#include "engine/mesh/brush.h"
#include "engine/mesh/texture.h"
#include "platform/gui.h"
#include "support/image_files.h"
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

    // A missing file: the slot keeps it, a notice says why it did not load, the button
    // says the slot holds no image and an overlay hides; "Re" tries the file again once
    // it exists. An absolute path shows its image.
    const std::string later = PathIn("later.tga");
    std::remove(later.c_str());  // left by the case before
    notices_.clear();
    Choose(*s.file_button, later);
    EXPECT_EQ(*s.file, later);
    EXPECT_EQ(GadgetText(*s.file_button), kNoImageText);
    EXPECT_EQ(*s.texture, nullptr);
    ASSERT_EQ(notices_.size(), 1u);
    EXPECT_EQ(notices_[0], "Could not load " + later + ": there is no such file.");
    if (s.overlay) {
      EXPECT_EQ((*s.brush)->alpha, 0.0f);
    }
    EXPECT_FALSE(Reddish(colour()));
    ASSERT_TRUE(WriteSolidTga(later, 0, 220, 0));
    Press(*s.reload_button);
    EXPECT_TRUE(Greenish(colour())) << Show(colour());
    EXPECT_EQ(GadgetText(*s.file_button), "later.tga");
    EXPECT_EQ(notices_.size(), 1u);

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

    // A folder does not load, and the notice says it is one.
    ASSERT_EQ(mkdir(PathIn("pictures").c_str(), 0755), 0);
    Choose(*s.file_button, PathIn("pictures/"));
    EXPECT_EQ(GadgetText(*s.file_button), kNoImageText);
    EXPECT_EQ(*s.file, PathIn("pictures/"));
    EXPECT_EQ(*s.texture, nullptr);
    ASSERT_FALSE(notices_.empty());
    EXPECT_EQ(notices_.back(), "Could not load " + PathIn("pictures/") + ": it is a folder.");
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

// A slot shows its file as it is on disk when it is chosen or reloaded, and so does every
// other slot that shows that file: a second slot never gets the pixels the cache kept
// from the first one's read, and "Re" on a base or an overlay slot (two cache entries,
// as they load with different flags) updates both.
struct FreshCase {
  const char* what;
  size_t first, second;      // indexes in Slots()
  float first_y, second_y;   // world points (0, y, 0) their images cover
  bool second_by_bare_name;  // the same file named relative to the working folder
};

const FreshCase kFreshCases[] = {
    {"two overlays", 3, 6, 1.07f, 0.3f, false},            // upper overlay 1, lower overlay 1
    {"base then overlay", 2, 6, 1.07f, 0.3f, false},       // upper base, lower overlay 1
    {"overlay then base, two names", 3, 5, 1.07f, 0.3f, true},  // upper overlay 1, lower base
};

TEST_F(SlotsTest, ChooseAndReloadShowTheFileAsOnDiskInEverySlotThatShowsIt) {
  for (const FreshCase& c : kFreshCases) {
    SCOPED_TRACE(c.what);
    Restart();
    const SlotRefs& a = Slots()[c.first];
    const SlotRefs& b = Slots()[c.second];
    auto at = [&](float y) {
      Paint();
      return PixelAt(0, y, 0);
    };
    const std::string file = PathIn("shirt.tga");
    ASSERT_TRUE(WriteSolidTga(file, 0, 220, 0));
    Choose(*a.file_button, file);
    EXPECT_TRUE(Greenish(at(c.first_y))) << Show(at(c.first_y));

    ASSERT_TRUE(WriteSolidTga(file, 0, 0, 230));
    Choose(*b.file_button, c.second_by_bare_name ? "shirt.tga" : file);
    EXPECT_TRUE(Bluish(at(c.second_y))) << "the chosen slot: " << Show(at(c.second_y));
    EXPECT_TRUE(Bluish(at(c.first_y))) << "the other: " << Show(at(c.first_y));

    ASSERT_TRUE(WriteSolidTga(file, 230, 0, 0));
    Press(*a.reload_button);
    EXPECT_TRUE(Reddish(at(c.first_y))) << Show(at(c.first_y));
    EXPECT_TRUE(Reddish(at(c.second_y))) << Show(at(c.second_y));

    ASSERT_TRUE(WriteSolidTga(file, 0, 220, 0));
    Press(*b.reload_button);
    EXPECT_TRUE(Greenish(at(c.first_y))) << Show(at(c.first_y));
    EXPECT_TRUE(Greenish(at(c.second_y))) << Show(at(c.second_y));
    EXPECT_TRUE(notices_.empty());
  }
}

// A file that does not load is reported in one notice naming it and the reason; the
// slot keeps the file, its button says it holds no image, a failed overlay draws
// nothing (the base shows through), and "Re" loads the file once it is mended.
struct BadFile {
  const char* what;
  std::function<bool(const std::string& path)> make;
  const char* reason;
  bool deleted_before_reload;  // chosen whole, then removed and reloaded
};

// An uncompressed 32-bit TGA header for width x height, then `pixel_bytes` bytes.
Bytes TgaHeader(int width, int height, size_t pixel_bytes) {
  return EncodeTga({.width = width, .height = height, .bits = 32, .data = Bytes(pixel_bytes, 0x40)});
}

constexpr const char* kNotAnImage = "it is not a whole TGA, JPEG, PNG or BMP image of at most 16384 x 16384 pixels";

const BadFile kBadFiles[] = {
    {"empty file", [](const std::string& p) { return WriteFileBytes(p, {}); }, "the file is empty", false},
    {"truncated TGA", [](const std::string& p) { return WriteFileBytes(p, TgaHeader(16, 16, 100)); }, kNotAnImage,
     false},
    {"header claiming 65535 x 65535",
     [](const std::string& p) { return WriteFileBytes(p, TgaHeader(65535, 65535, 64)); }, kNotAnImage, false},
    {"no read permission",
     [](const std::string& p) { return WriteSolidTga(p, 0, 220, 0) && chmod(p.c_str(), 0) == 0; },
     "reading it is not permitted", false},
    {"deleted before Re", [](const std::string& p) { return WriteSolidTga(p, 0, 220, 0); }, "there is no such file",
     true},
};

TEST_F(SlotsTest, AFileThatDoesNotLoadIsReportedAndShowsNothing) {
  const HonourFilePermissions as_a_user;  // root reads any file otherwise
  Rgba at_notice{};  // the chest as the view showed it when the notice came
  SetNotifyHook([&](const std::string& text, bool) {
    notices_.push_back(text);
    at_notice = PixelAt(0, 1.07f, 0);
  });
  for (size_t slot : {size_t{2}, size_t{3}}) {  // upper base, upper overlay 1
    for (const BadFile& bad : kBadFiles) {
      SCOPED_TRACE(std::string(bad.what) + (slot == 3 ? " in an overlay slot" : " in a base slot"));
      Restart();
      const SlotRefs& s = Slots()[slot];
      auto chest = [&] {
        Paint();
        return PixelAt(0, 1.07f, 0);
      };
      const Rgba bare = chest();
      const std::string file = PathIn("bad.tga");
      std::remove(file.c_str());
      ASSERT_TRUE(bad.make(file));
      notices_.clear();
      Choose(*s.file_button, file);
      if (bad.deleted_before_reload) {
        ASSERT_TRUE(notices_.empty());
        ASSERT_TRUE(Greenish(chest()));
        ASSERT_EQ(std::remove(file.c_str()), 0);
        Press(*s.reload_button);
      }
      ASSERT_EQ(notices_.size(), 1u);
      EXPECT_EQ(notices_[0], "Could not load " + file + ": " + bad.reason + ".");
      EXPECT_EQ(*s.file, file) << "kept, so that Re tries again";
      EXPECT_EQ(*s.texture, nullptr);
      EXPECT_EQ(GadgetText(*s.file_button), kNoImageText);
      if (s.overlay) {
        EXPECT_EQ(Show(at_notice), Show(bare)) << "the view behind the notice";
        EXPECT_EQ(Show(chest()), Show(bare)) << "the base shows through";
      }

      chmod(file.c_str(), 0644);
      ASSERT_TRUE(WriteSolidTga(file, 0, 220, 0));
      Press(*s.reload_button);
      EXPECT_TRUE(Greenish(chest())) << Show(chest());
      EXPECT_EQ(GadgetText(*s.file_button), "bad.tga");
      EXPECT_EQ(notices_.size(), 1u);
    }
  }
}

// A file gone before "Re" is reported as gone, in a base and an overlay slot alike,
// although the working folder holds a file of the same name, which must not be shown
// in its place.
TEST_F(SlotsTest, AFileGoneBeforeReloadIsNotReplacedByOneOfTheSameName) {
  ASSERT_EQ(mkdir(PathIn("mine").c_str(), 0755), 0);
  const std::string file = PathIn("mine/shirt.tga");
  ASSERT_TRUE(WriteSolidTga(PathIn("shirt.tga"), 230, 0, 0));
  for (size_t slot : {size_t{2}, size_t{3}}) {  // upper base, upper overlay 1
    SCOPED_TRACE(slot == 3 ? "overlay slot" : "base slot");
    Restart();
    const SlotRefs& s = Slots()[slot];
    ASSERT_TRUE(WriteSolidTga(file, 0, 220, 0));
    Choose(*s.file_button, file);
    Paint();
    ASSERT_TRUE(Greenish(PixelAt(0, 1.07f, 0)));
    ASSERT_EQ(std::remove(file.c_str()), 0);
    notices_.clear();
    Press(*s.reload_button);
    Paint();
    EXPECT_FALSE(Reddish(PixelAt(0, 1.07f, 0))) << "the other folder's file";
    EXPECT_EQ(*s.texture, nullptr);
    EXPECT_EQ(GadgetText(*s.file_button), kNoImageText);
    EXPECT_EQ(notices_, std::vector<std::string>{"Could not load " + file + ": there is no such file."});
  }
}

}  // namespace
