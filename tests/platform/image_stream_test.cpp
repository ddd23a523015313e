// Decoding beside the caller: the stream's rows, bands and result against LoadPixmap
// of the same file, for files decoded on the helper thread and on the caller's, and
// files that fail before and after their first rows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/image_files.h"
#include "platform/image.h"
#include "platform/image_stream.h"
#include "tools/b3d_writer.h"

TEST(PixmapStream, GivesLoadPixmapsImageInBandsForJpegAndWholeOtherwise) {
  const struct {
    const char* name;
    Bytes file;
    bool in_bands;
  } cases[] = {
      // Noise does not compress: a few hundred pixels square make a file large enough
      // to be decoded on the helper thread.
      {"large colour jpeg", EncodeJpeg(512, 256, 3, Noise(5).Take(512 * 256 * 3), 90, false), true},
      {"large progressive jpeg", EncodeJpeg(256, 512, 3, Noise(5).Take(256 * 512 * 3), 90, true), true},
      {"large gray jpeg", EncodeJpeg(512, 384, 1, Noise(5).Take(512 * 384 * 1), 90, false), true},
      {"small jpeg, decoded by the caller", EncodeJpeg(16, 8, 3, Noise(5).Take(16 * 8 * 3), 90, false), true},
      {"png", EncodePng({.width = 300, .height = 200, .colour_type = 2, .rows = Noise(5).Take(300 * 200 * 3)}),
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = TestTempPath("image.bin");
    ASSERT_TRUE(WriteFileBytes(path, c.file));
    const PixmapPtr want = LoadPixmap(path);
    ASSERT_NE(want, nullptr);

    auto stream = TPixmapStream::Open(path);
    ASSERT_NE(stream, nullptr);
    ASSERT_TRUE(stream->WaitHeader());
    EXPECT_EQ(stream->RowsInBands(), c.in_bands);
    EXPECT_EQ(stream->Image().Width(), want->Width());
    EXPECT_EQ(stream->Image().Format(), want->Format());
    // Rows given out are final: they already hold the result's bytes. A stream in bands
    // may give them before the end; any other gives them all at once.
    int have = 0, steps = 0;
    Bytes early;
    while (have < want->Height()) {
      const int rows = stream->WaitRows(have);
      ASSERT_GT(rows, have);
      const TPixmap& image = stream->Image();
      const Bytes band = PackedBytes(*image.Window(0, have, image.Width(), rows - have));
      early.insert(early.end(), band.begin(), band.end());
      have = rows;
      ++steps;
    }
    const PixmapPtr got = stream->Finish();
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(early, PackedBytes(*want));
    EXPECT_EQ(PackedBytes(*got), PackedBytes(*want));

    if (!c.in_bands) {
      EXPECT_EQ(steps, 1);
    }
  }
}

TEST(PixmapStream, FailuresBeforeAndAfterTheFirstRows) {
  EXPECT_EQ(TPixmapStream::Open(TestTempPath("missing.jpg")), nullptr);

  const std::string path = TestTempPath("bad.bin");
  ASSERT_TRUE(WriteFileBytes(path, Bytes(100000, 0x5A)));
  auto garbage = TPixmapStream::Open(path);
  ASSERT_NE(garbage, nullptr);
  EXPECT_FALSE(garbage->WaitHeader());
  EXPECT_EQ(garbage->WaitRows(0), -1);
  EXPECT_EQ(garbage->Finish(), nullptr);

  // Cut short, a large JPEG gives its header and first rows, then fails.
  const Bytes jpeg = EncodeJpeg(512, 512, 3, Noise(5).Take(512 * 512 * 3), 90, false);
  ASSERT_TRUE(WriteFileBytes(path, Bytes(jpeg.begin(), jpeg.begin() + jpeg.size() * 2 / 3)));
  auto cut = TPixmapStream::Open(path);
  ASSERT_NE(cut, nullptr);
  ASSERT_TRUE(cut->WaitHeader());
  EXPECT_TRUE(cut->RowsInBands());
  int have = 0;
  while (have >= 0 && have < 512) have = cut->WaitRows(have);
  EXPECT_EQ(have, -1);
  EXPECT_EQ(cut->Finish(), nullptr);
  EXPECT_EQ(LoadPixmap(path), nullptr);

  // Asked only once that decode has failed, the header it read is still known.
  auto late = TPixmapStream::Open(path);
  ASSERT_NE(late, nullptr);
  EXPECT_EQ(late->Finish(), nullptr);
  EXPECT_TRUE(late->WaitHeader());
}
