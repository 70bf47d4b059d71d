#include "main/trace_feed.h"

#include <QMetaObject>

#include <utility>

namespace tonamira {

TraceFeed::TraceFeed(QObject* context) : context_(context) {}

void TraceFeed::Started(const WaveFormat& format) {
  Piece piece;
  piece.start = true;
  piece.format = format;
  Queue(std::move(piece));
}

void TraceFeed::Tapped(std::span<const uint8_t> bytes) {
  Piece piece;
  piece.bytes.assign(bytes.begin(), bytes.end());
  Queue(std::move(piece));
}

void TraceFeed::Queue(Piece piece) {
  bool post = false;
  {
    std::lock_guard<std::mutex> hold(mutex_);
    pending_.push_back(std::move(piece));
    post = !posted_;
    posted_ = true;
  }
  // One call queued at a time: it takes in everything that has come by then.
  if (post && context_)
    QMetaObject::invokeMethod(context_.data(), [this] { Drain(); }, Qt::QueuedConnection);
}

void TraceFeed::Drain() {
  std::deque<Piece> pieces;
  {
    std::lock_guard<std::mutex> hold(mutex_);
    pieces.swap(pending_);
    posted_ = false;
  }
  if (pieces.empty()) return;
  for (const Piece& piece : pieces) {
    if (piece.start) {
      contour_.Start(piece.format.nSamplesPerSec, piece.format.nChannels, piece.format.wBitsPerSample);
    } else {
      contour_.Push(piece.bytes);
    }
  }
  if (OnFed) OnFed();
}

}  // namespace tonamira
