#include "cli/batch.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace tonamira {

void RunInOrder(size_t count, int jobs, const std::function<void(size_t)>& work,
                const std::function<void(size_t)>& deliver) {
  const size_t threads = std::min(count, static_cast<size_t>(std::max(jobs, 1)));
  if (threads <= 1) {
    for (size_t i = 0; i < count; ++i) {
      work(i);
      deliver(i);
    }
    return;
  }
  // Results a slow file holds up: enough to keep every thread busy behind it once.
  const size_t window = 2 * threads;
  std::mutex mutex;
  std::condition_variable changed;
  size_t next = 0;       // the next file a thread takes
  size_t delivered = 0;  // files handed out so far
  std::vector<char> done(count, 0);

  auto worker = [&] {
    for (;;) {
      size_t i = 0;
      {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return next >= count || next < delivered + window; });
        if (next >= count) return;
        i = next++;
      }
      work(i);
      {
        std::lock_guard lock(mutex);
        done[i] = 1;
      }
      changed.notify_all();
    }
  };
  std::vector<std::thread> pool;
  pool.reserve(threads);
  for (size_t t = 0; t < threads; ++t) pool.emplace_back(worker);
  for (size_t i = 0; i < count; ++i) {
    {
      std::unique_lock lock(mutex);
      changed.wait(lock, [&] { return done[i] != 0; });
    }
    deliver(i);
    {
      std::lock_guard lock(mutex);
      delivered = i + 1;
    }
    changed.notify_all();
  }
  for (std::thread& thread : pool) thread.join();
}

}  // namespace tonamira
