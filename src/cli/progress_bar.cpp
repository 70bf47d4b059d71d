#include "cli/progress_bar.h"

#include <cstdio>
#include <string>

namespace tonamira {

void ProgressBar::Update(double fraction) {
  if (!enabled_) return;
  const auto now = Clock::now();
  if (now - start_ < std::chrono::seconds(1)) return;
  if (shown_ && now - last_ < std::chrono::milliseconds(100)) return;
  last_ = now;
  shown_ = true;
  const int width = 40;
  const int filled = static_cast<int>(fraction * width);
  std::string bar(static_cast<size_t>(width), ' ');
  for (int i = 0; i < filled && i < width; ++i) bar[static_cast<size_t>(i)] = '#';
  char percent[8];
  std::snprintf(percent, sizeof percent, "%3d%%", static_cast<int>(fraction * 100.0));
  err_ << "\r[" << bar << "] " << percent << std::flush;
}

void ProgressBar::Finish() {
  if (!shown_) return;
  err_ << '\r' << std::string(48, ' ') << '\r' << std::flush;
  shown_ = false;
}

}  // namespace tonamira
