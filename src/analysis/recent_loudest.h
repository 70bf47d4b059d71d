#pragma once
// The loudest level of the last frames: a ring of the levels of as many frames as a stretch
// of time holds at the tracker's hop.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

namespace tonamira {

class RecentLoudest {
 public:
  // Room for `seconds` of frames `hop` samples apart (at least one frame, at most 65536, so
  // settings of any size give a ring that fits; a NaN gives one frame). Empty: no level yet.
  void Resize(double seconds, double sampleRate, int hop) {
    const double frames = std::ceil(seconds * sampleRate / hop);
    db_.assign(static_cast<size_t>(frames >= 1.0 ? std::min(frames, 65536.0) : 1.0), kNone);
    next_ = 0;
  }
  void Clear() { std::fill(db_.begin(), db_.end(), kNone); }
  // Adds the level of the newest frame; the loudest of the ring, that frame included.
  double Push(double db) {
    db_[next_] = db;
    next_ = (next_ + 1) % db_.size();
    return *std::max_element(db_.begin(), db_.end());
  }

 private:
  static constexpr double kNone = -1e9;  // below every level a frame can have
  std::vector<double> db_ = std::vector<double>(1, kNone);
  size_t next_ = 0;
};

}  // namespace tonamira
