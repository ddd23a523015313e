// An image file decoded on a helper thread while the caller uses the rows already
// made: a texture upload can copy and halve each band while the decoder works on the
// next. JPEG rows come in bands as libjpeg makes them; other formats, very large JPEGs
// and small files (not worth a thread) come whole when the decode ends. The result is
// the pixmap LoadPixmap gives for the same file.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/image.h"

// Files from this size up decode on a helper thread; smaller ones decode on the
// caller's thread, since their decode takes less than starting a thread does.
constexpr size_t kStreamFileBytes = 64 * 1024;

class TPixmapStream {
 public:
  // Reads the file and starts its decode. Null where LoadPixmap gives null before
  // decoding: a missing, unreadable, empty or oversized file, or a directory.
  static std::unique_ptr<TPixmapStream> Open(const std::string& path);
  ~TPixmapStream();  // waits for the decode to end

  // Waits until the size and format are known, or the decode has ended; false when the
  // decode failed before that.
  bool WaitHeader();
  // After WaitHeader: whether rows come in bands before the end (else all at once).
  bool RowsInBands() const { return in_bands_; }
  // After a true WaitHeader: the whole image; only rows below what WaitRows gave may be
  // read before Finish.
  const TPixmap& Image() const { return *image_; }

  // Waits until more than `have` rows are final or the decode has ended; the count of
  // final rows (the height once the image is whole), or -1 when the decode failed.
  int WaitRows(int have);
  // Waits for the end: the decoded image, or null when it did not decode.
  PixmapPtr Finish();

 private:
  struct State;
  TPixmapStream() = default;
  void Decode();                     // the helper thread's work
  void Tell(int rows, bool ended);  // from the decoder: rows final, or the end

  std::shared_ptr<State> state_;  // shared with the pixmap, which keeps its pixels
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable changed_;
  PixmapPtr image_;  // set with the header
  int rows_ = 0;     // final rows; -1 for a failed decode
  bool ended_ = false;
  bool in_bands_ = false;
};
