// The decode beside the caller. The decoder's pixels are sized whole before its first
// row and never move after that (see DecodedImage::rows_ready), so the caller reads
// final rows straight out of them while later rows are written; the mutex only orders
// who has seen which row count.
#include "platform/image_stream.h"

#include <system_error>

#include "platform/image_decode.h"

struct TPixmapStream::State {
  PixelBytes file;
  DecodedImage image;
};

std::unique_ptr<TPixmapStream> TPixmapStream::Open(const std::string& path) {
  std::unique_ptr<TPixmapStream> stream(new TPixmapStream);
  stream->state_ = std::make_shared<State>();
  if (!ReadImageFileBytes(path, &stream->state_->file)) return nullptr;
  if (stream->state_->file.size() >= kStreamFileBytes) {
    try {
      stream->thread_ = std::thread([s = stream.get()] { s->Decode(); });
      return stream;
    } catch (const std::system_error&) {
      // no thread to be had: decode here
    }
  }
  stream->Decode();
  return stream;
}

TPixmapStream::~TPixmapStream() {
  if (thread_.joinable()) thread_.join();
}

void TPixmapStream::Decode() {
  State& s = *state_;
  s.image.rows_ready = [this](int rows) { Tell(rows, false); };
  const bool ok = DecodeAnyImage(s.file.data(), s.file.size(), &s.image);
  s.image.rows_ready = nullptr;  // the state may outlive this stream
  s.file = PixelBytes();  // the pixmap keeps the state: let the file's bytes go now
  s.image.rows.clear();
  Tell(ok ? s.image.height : -1, true);
}

void TPixmapStream::Tell(int rows, bool ended) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!image_ && rows >= 0) {
    // The pixmap holds the whole state, so its pixels live as long as it does.
    const DecodedImage& d = state_->image;
    in_bands_ = !ended;
    image_ = PixmapPtr(new TPixmap(d.width, d.height, d.format, d.width * BytesPerPixel(d.format),
                                   std::shared_ptr<PixelBytes>(state_, &state_->image.pixels), 0));
  }
  rows_ = rows;
  ended_ = ended;
  changed_.notify_all();
}

bool TPixmapStream::WaitHeader() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return image_ || ended_; });
  return image_ != nullptr;  // a decode that fails later says so through WaitRows
}

int TPixmapStream::WaitRows(int have) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return rows_ > have || rows_ < 0 || ended_; });
  return rows_;
}

PixmapPtr TPixmapStream::Finish() {
  if (thread_.joinable()) thread_.join();
  return rows_ >= 0 ? image_ : nullptr;
}
