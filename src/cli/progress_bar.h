#pragma once
// A progress bar on a terminal, shown only once the work has taken more than a second, and
// wiped when it is done.

#include <chrono>
#include <ostream>

namespace tonamira {

class ProgressBar {
 public:
  ProgressBar(std::ostream& err, bool enabled) : err_(err), enabled_(enabled) {}
  ~ProgressBar() { Finish(); }
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  // fraction: 0 .. 1 of the work done.
  void Update(double fraction);
  void Finish();

 private:
  using Clock = std::chrono::steady_clock;
  std::ostream& err_;
  bool enabled_;
  bool shown_ = false;
  Clock::time_point start_ = Clock::now();
  Clock::time_point last_{};
};

}  // namespace tonamira
