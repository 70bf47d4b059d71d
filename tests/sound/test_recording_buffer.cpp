// The recording buffer: a take that grows past its first stretch of room, and past several
// further stretches, keeps every byte in order; at the limit, or without memory (injected, or
// the address space of the process used up), it refuses the chunk and keeps all before it.

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <string_view>
#include <vector>

#include "sound/recording_buffer.h"

namespace tonamira {
namespace {

// Chunk k carries its own number in every byte pair, so a chunk out of place would show.
std::vector<uint8_t> Chunk(size_t bytes, uint32_t k) {
  std::vector<uint8_t> c(bytes);
  for (size_t i = 0; i < bytes; ++i) c[i] = static_cast<uint8_t>((k * 131u + i) & 0xFF);
  return c;
}

bool Holds(const RecordingBuffer& b, size_t chunkBytes, uint32_t chunks) {
  if (b.size() != uint64_t{chunkBytes} * chunks) return false;
  for (uint32_t k = 0; k < chunks; ++k) {
    const std::vector<uint8_t> want = Chunk(chunkBytes, k);
    for (size_t i = 0; i < chunkBytes; i += 997)
      if (b.data()[k * chunkBytes + i] != want[i]) return false;
    if (b.data()[k * chunkBytes + chunkBytes - 1] != want[chunkBytes - 1]) return false;
  }
  return true;
}

TEST(RecordingBuffer, GrowsPastEveryStretchAndKeepsTheTakeInOrder) {
  struct Case {
    const char* name;
    uint64_t firstRoom;
    size_t chunkBytes;
    uint32_t chunks;
  };
  const Case cases[] = {
      {"first stretch only", 7938000, 8820, 100},
      {"mono past the first stretch and two more", 7938000, 8820, 8500},
      {"stereo chunks that straddle every stretch's end", 7938000, 17640, 4500},
      {"no first room at all", 0, 17640, 10},
      {"a first room smaller than one chunk", 100, 8820, 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingBuffer b(c.firstRoom);
    for (uint32_t k = 0; k < c.chunks; ++k)
      ASSERT_EQ(b.Append(Chunk(c.chunkBytes, k)), RecordingBuffer::Appended::Done) << k;
    EXPECT_TRUE(Holds(b, c.chunkBytes, c.chunks));
    EXPECT_GE(b.room(), b.size());
    // Handed over whole: the block is the take, as long as its room.
    const uint64_t room = b.room();
    const ByteBlock taken = b.Take();
    EXPECT_EQ(taken.size, room);
    EXPECT_EQ(b.size(), 0u);
  }
}

TEST(RecordingBuffer, RefusesAChunkAtTheLimitOrWithoutMemoryAndKeepsAllBefore) {
  struct Case {
    const char* name;
    uint64_t limit;
    int failingGrowth;   // the growth that finds no memory (0: none)
    uint32_t kept;
    RecordingBuffer::Appended refusal;
  };
  constexpr uint64_t kFirst = 10 * 8820;
  const Case cases[] = {
      {"limit on a chunk's end", 25 * 8820, 0, 25, RecordingBuffer::Appended::Full},
      {"limit inside a chunk", 25 * 8820 + 100, 0, 25, RecordingBuffer::Appended::Full},
      {"no memory for the first room", kMaxSoundBytes, 1, 0, RecordingBuffer::Appended::NoMemory},
      {"no memory for the second stretch", kMaxSoundBytes, 2, 10, RecordingBuffer::Appended::NoMemory},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int growths = 0;
    const AllocationFault fault = [&](std::string_view name) {
      return name == "RecBuffer" && ++growths == c.failingGrowth;
    };
    RecordingBuffer b(kFirst, c.limit);
    uint32_t k = 0;
    RecordingBuffer::Appended a = RecordingBuffer::Appended::Done;
    while (k < 100 && (a = b.Append(Chunk(8820, k), fault)) == RecordingBuffer::Appended::Done) ++k;
    EXPECT_EQ(a, c.refusal);
    EXPECT_EQ(k, c.kept);
    EXPECT_TRUE(Holds(b, 8820, c.kept));
  }
}

#if defined(__SANITIZE_ADDRESS__)
#define TONAMIRA_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TONAMIRA_UNDER_ASAN 1
#endif
#endif

TEST(RecordingBuffer, RunningOutOfAddressSpaceStopsTheTakeCleanly) {
#ifdef TONAMIRA_UNDER_ASAN
  GTEST_SKIP() << "AddressSanitizer reserves address space of its own: no limit can be set";
#else
  // In a child process whose address space is limited (as `ulimit -v` does) to what it uses
  // now plus 256 MB: the take grows until the system refuses, then refuses the chunk, and
  // everything recorded before is there.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    long pages = 0;
    if (FILE* f = fopen("/proc/self/statm", "r")) {
      if (fscanf(f, "%ld", &pages) != 1) pages = 0;
      fclose(f);
    }
    const rlim_t limit = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) +
                         (256u << 20);
    const rlimit r{limit, limit};
    if (pages == 0 || setrlimit(RLIMIT_AS, &r) != 0) _exit(3);
    RecordingBuffer b(7938000);
    uint32_t k = 0;
    RecordingBuffer::Appended a = RecordingBuffer::Appended::Done;
    while (k < 100000 && (a = b.Append(Chunk(17640, k))) == RecordingBuffer::Appended::Done) ++k;
    if (a != RecordingBuffer::Appended::NoMemory) _exit(4);
    if (k < 5000) _exit(5);   // it refused long before the limit
    if (!Holds(b, 17640, k)) _exit(6);
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "the child was killed (signal " << WTERMSIG(status) << ")";
  EXPECT_EQ(WEXITSTATUS(status), 0);
#endif
}

}  // namespace
}  // namespace tonamira
