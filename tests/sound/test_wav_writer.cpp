#include "sound/wav_writer.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <string>

#include "sound/wav_reader.h"
#include "support/wav_bytes.h"

namespace tonamira {
namespace {

using testing::Bytes;
using testing::Ramp;

const WaveFormat kStartupFormat = FillWaveFormat({16, 44100, 1});

std::vector<uint8_t> Write(const WaveFormat& format, const std::vector<uint8_t>& data) {
  MemoryByteSink sink;
  const auto r = WriteWav(sink, format, data.data(), static_cast<uint32_t>(data.size()));
  EXPECT_TRUE(r.ok) << r.message;
  EXPECT_TRUE(sink.committed());
  return sink.bytes();
}

// The expected image, built field by field.
std::vector<uint8_t> Expected(const WaveFormat& f, const std::vector<uint8_t>& data) {
  const uint32_t n = static_cast<uint32_t>(data.size());
  Bytes b;
  b.Id("RIFF").U32(38 + n + (n & 1)).Id("WAVE").Id("fmt ").U32(18);
  b.U16(f.wFormatTag).U16(f.nChannels).U32(f.nSamplesPerSec).U32(f.nAvgBytesPerSec);
  b.U16(f.nBlockAlign).U16(f.wBitsPerSample).U16(f.cbSize);
  b.Id("data").U32(n).Raw(data);
  if (n & 1) b.Fill(1, 0);
  return b;
}

uint32_t Le32At(const std::vector<uint8_t>& v, size_t at) {
  return v[at] | v[at + 1] << 8 | v[at + 2] << 16 | uint32_t{v[at + 3]} << 24;
}

TEST(WriteWav, ByteExactLayout) {
  struct Case {
    const char* name;
    WaveFormat format;
    std::vector<uint8_t> data;
    size_t length;
    uint32_t riffSize;
  };
  const Case cases[] = {
      {"start-up silence", kStartupFormat, std::vector<uint8_t>(44100, 0), 46 + 44100, 44138},
      {"odd byte count gets a pad", FillWaveFormat({8, 8000, 1}), Ramp(11), 46 + 12, 39 + 11},
      {"one byte", FillWaveFormat({8, 8000, 1}), {0x80}, 48, 40},
      {"empty", kStartupFormat, {}, 46, 38},
      {"stereo", FillWaveFormat({16, 44100, 2}), Ramp(400), 446, 438},
  };
  for (const auto& c : cases) {
    const auto bytes = Write(c.format, c.data);
    EXPECT_EQ(bytes, Expected(c.format, c.data)) << c.name;
    EXPECT_EQ(bytes.size(), c.length) << c.name;
    EXPECT_EQ(Le32At(bytes, 4), c.riffSize) << c.name;
    EXPECT_EQ(Le32At(bytes, 42), c.data.size()) << c.name;
  }
  // The stereo record as the devices and the file see it.
  const auto stereo = Write(FillWaveFormat({16, 44100, 2}), Ramp(4));
  EXPECT_EQ(stereo[32], 4);                 // nBlockAlign
  EXPECT_EQ(Le32At(stereo, 28), 176400u);   // nAvgBytesPerSec
}

TEST(WriteWav, LoadedFileWithLongFmtIsWrittenBackWithAnEighteenByteFmt) {
  const testing::FmtFields f{1, 2, 22050, 88200, 4, 16};
  const auto original = testing::Riff(
      Bytes().Chunk("fmt ", testing::FmtContent(f, {0x16, 0, 1, 2, 3, 4})).Chunk("LIST", Ramp(9))
          .Chunk("data", Ramp(40)));
  WaveFormat previous = kStartupFormat;
  const auto loaded = ReadWavBytes(original, previous);
  ASSERT_TRUE(loaded.ok) << loaded.message;
  EXPECT_EQ(loaded.format.cbSize, 0);

  MemoryByteSink sink;
  ASSERT_TRUE(WriteWav(sink, loaded.format, loaded.data.get(), loaded.size).ok);
  EXPECT_EQ(sink.bytes(), Expected(WaveFormat{1, 2, 22050, 88200, 4, 16, 0}, Ramp(40)));
}

TEST(WriteWav, RoundTripThroughTheReader) {
  struct Case { FormatSettings settings; size_t bytes; };
  const Case cases[] = {{{16, 44100, 1}, 4410}, {{8, 8000, 2}, 801}, {{16, 48000, 2}, 4},
                        {{24, 96000, 6}, 18 * 33}, {{8, 11025, 1}, 1}};
  for (const auto& c : cases) {
    const WaveFormat format = FillWaveFormat(c.settings);
    const auto data = Ramp(c.bytes, 3);
    const auto file = Write(format, data);
    const auto back = ReadWavBytes(file, WaveFormat{});
    ASSERT_TRUE(back.ok) << back.message;
    EXPECT_EQ(back.format, format);
    ASSERT_EQ(back.size, data.size());
    EXPECT_TRUE(std::equal(data.begin(), data.end(), back.data.get()));
  }
}

// A memory sink whose operation number `failAt` (counting Open, Write, Patch and Commit
// from 0) fails; -1 never fails.
class FailingSink : public MemoryByteSink {
 public:
  explicit FailingSink(int failAt) : failAt_(failAt) {}
  bool Open() override { return Step() && MemoryByteSink::Open(); }
  bool Write(const uint8_t* b, uint64_t n) override { return Step() && MemoryByteSink::Write(b, n); }
  bool Patch(uint64_t o, const uint8_t* b, uint64_t n) override {
    return Step() && MemoryByteSink::Patch(o, b, n);
  }
  bool Commit() override { return Step() && MemoryByteSink::Commit(); }
  void Cancel() override {
    ++cancels;
    MemoryByteSink::Cancel();
  }
  int operations = 0;
  int cancels = 0;

 private:
  bool Step() { return operations++ != failAt_; }
  int failAt_;
};

TEST(WriteWav, EveryFailingStepHasItsMessage) {
  // Operations for an odd byte count: open, RIFF header, form type, fmt header, format,
  // fmt size, data header, samples, pad byte, data size, RIFF size, commit.
  const char* const expected[] = {"No File",  "No Wave",    "No Wave",    "No fmt",
                                  "No fmtSize", "No asend", "No data",    "No Write",
                                  "No assend1", "No assend1", "No assend2", "No close"};
  const auto data = Ramp(5);
  for (int step = 0; step < static_cast<int>(std::size(expected)); ++step) {
    FailingSink sink(step);
    const auto r = WriteWav(sink, kStartupFormat, data.data(), 5);
    EXPECT_FALSE(r.ok) << step;
    EXPECT_EQ(r.message, expected[step]) << step;
    EXPECT_FALSE(sink.committed()) << step;
    EXPECT_EQ(sink.cancels, step == 0 ? 0 : 1) << step;
    EXPECT_EQ(sink.operations, step + 1) << "stops at the failure, step " << step;
  }
  FailingSink never(-1);
  EXPECT_TRUE(WriteWav(never, kStartupFormat, data.data(), 5).ok);
  EXPECT_EQ(never.operations, static_cast<int>(std::size(expected)));
  EXPECT_EQ(never.bytes(), Expected(kStartupFormat, data));
}

TEST(WriteWav, MissingSamplesAreAFailureNotACrash) {
  MemoryByteSink sink;
  const auto r = WriteWav(sink, kStartupFormat, nullptr, 100);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.message, "No Write");
  EXPECT_TRUE(sink.bytes().empty());
  EXPECT_TRUE(WriteWav(sink, kStartupFormat, nullptr, 0).ok);  // nothing to read
}

TEST(WriteWav, SizeThatDoesNotFitTheRiffHeaderIsRefusedBeforeReadingSamples) {
  const uint8_t few[4] = {};
  MemoryByteSink sink;
  const auto r = WriteWav(sink, kStartupFormat, few, 0xFFFFFFFFu - 38);
  EXPECT_EQ(r.message, "No Wave");
  EXPECT_TRUE(sink.bytes().empty());
}

class WriteWavFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("tonamira-writer-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  static std::vector<uint8_t> Slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir_)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
  std::filesystem::path dir_;
};

TEST_F(WriteWavFileTest, WritesAndReplacesAFile) {
  const auto path = dir_ / "take1.wav";
  ASSERT_TRUE(WriteWavFile(path, kStartupFormat, Ramp(1000).data(), 1000).ok);
  EXPECT_EQ(Slurp(path), Expected(kStartupFormat, Ramp(1000)));
  const auto stereo = FillWaveFormat({8, 22050, 2});
  ASSERT_TRUE(WriteWavFile(path, stereo, Ramp(7).data(), 7).ok);
  EXPECT_EQ(Slurp(path), Expected(stereo, Ramp(7)));
  EXPECT_EQ(Entries(), std::vector<std::string>{"take1.wav"});
  const auto back = ReadWavFile(path, {});
  ASSERT_TRUE(back.ok);
  EXPECT_EQ(back.format, stereo);
}

// The real file sink failing at a chosen step, as a full disk would.
class FailingFileSink : public FileByteSink {
 public:
  FailingFileSink(std::filesystem::path p, int failAt) : FileByteSink(std::move(p)), failAt_(failAt) {}
  bool Open() override { return Step() && FileByteSink::Open(); }
  bool Write(const uint8_t* b, uint64_t n) override { return Step() && FileByteSink::Write(b, n); }
  bool Patch(uint64_t o, const uint8_t* b, uint64_t n) override {
    return Step() && FileByteSink::Patch(o, b, n);
  }
  bool Commit() override { return Step() && FileByteSink::Commit(); }

 private:
  bool Step() { return operations_++ != failAt_; }
  int operations_ = 0;
  int failAt_;
};

TEST_F(WriteWavFileTest, FailedSaveLeavesTheOldFileAndNoTemporaryFile) {
  const auto path = dir_ / "keep.wav";
  ASSERT_TRUE(WriteWavFile(path, kStartupFormat, Ramp(64).data(), 64).ok);
  const auto before = Slurp(path);
  const auto data = Ramp(5001);
  for (int step = 1; step <= 11; ++step) {
    FailingFileSink sink(path, step);
    const auto r = WriteWav(sink, FillWaveFormat({8, 8000, 1}), data.data(), 5001);
    EXPECT_FALSE(r.ok) << step;
    EXPECT_EQ(Slurp(path), before) << "step " << step;
    EXPECT_EQ(Entries(), std::vector<std::string>{"keep.wav"}) << "step " << step;
  }
  // A failure at the first step of a new name creates nothing.
  FailingFileSink fresh(dir_ / "new.wav", 3);
  EXPECT_EQ(WriteWav(fresh, kStartupFormat, data.data(), 10).message, "No fmt");
  EXPECT_EQ(Entries(), std::vector<std::string>{"keep.wav"});
}

TEST_F(WriteWavFileTest, PathThatCannotBeCreated) {
  const auto regular = dir_ / "plain";
  { std::ofstream(regular) << "x"; }
  const std::filesystem::path paths[] = {regular / "take1.wav", dir_ / "no-dir" / "take1.wav"};
  for (const auto& p : paths) {
    const auto r = WriteWavFile(p, kStartupFormat, Ramp(4).data(), 4);
    EXPECT_FALSE(r.ok) << p;
    EXPECT_EQ(r.message, "No File") << p;
  }
  EXPECT_EQ(Entries(), std::vector<std::string>{"plain"});
  EXPECT_EQ(Slurp(regular), std::vector<uint8_t>{'x'});
}

// What stands at the path decides: a regular file is replaced, a link is followed and kept,
// anything else is refused and left exactly as it was.
TEST_F(WriteWavFileTest, SpecialFilesAreRefusedAndLinksFollowed) {
  namespace fs = std::filesystem;
  struct Case {
    const char* name;
    std::function<bool(const fs::path&)> make;   // false: this machine cannot make it
    const char* message;                         // empty: written
    fs::file_type typeAfter;                     // of the path itself, links not followed
  };
  const auto makeFifo = [](const fs::path& p) { return ::mkfifo(p.c_str(), 0600) == 0; };
  const Case cases[] = {
      {"folder", [](const fs::path& p) { return fs::create_directory(p); }, "Not a regular file",
       fs::file_type::directory},
      {"fifo", makeFifo, "Not a regular file", fs::file_type::fifo},
      {"character device",
       [](const fs::path& p) { return ::mknod(p.c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0; },
       "Not a regular file", fs::file_type::character},
      {"socket",
       [](const fs::path& p) {
         const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
         sockaddr_un addr{};
         addr.sun_family = AF_UNIX;
         const std::string s = p.string();
         if (fd < 0 || s.size() >= sizeof addr.sun_path) return false;
         std::copy(s.begin(), s.end(), addr.sun_path);
         const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
         ::close(fd);
         return bound;
       },
       "Not a regular file", fs::file_type::socket},
      {"link to a fifo",
       [&](const fs::path& p) {
         return makeFifo(p.parent_path() / "pipe") &&
                (fs::create_symlink("pipe", p), true);
       },
       "Not a regular file", fs::file_type::symlink},
      {"link to a file",
       [](const fs::path& p) {
         std::ofstream(p.parent_path() / "real.wav") << "old";
         fs::create_symlink("real.wav", p);
         return true;
       },
       "", fs::file_type::symlink},
      {"link to nothing yet",
       [](const fs::path& p) {
         fs::create_symlink(p.parent_path() / "later.wav", p);
         return true;
       },
       "", fs::file_type::symlink},
      {"loop of links",
       [](const fs::path& p) {
         fs::create_symlink("b.wav", p);
         fs::create_symlink(p.filename(), p.parent_path() / "b.wav");
         return true;
       },
       "No File", fs::file_type::symlink},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path dir = dir_ / c.name;
    fs::create_directories(dir);
    const fs::path path = dir / "take1.wav";
    if (!c.make(path)) {
      std::cout << "cannot make a " << c.name << " here; case skipped\n";
      continue;
    }
    const auto r = WriteWavFile(path, kStartupFormat, Ramp(4).data(), 4);
    EXPECT_EQ(r.ok, std::string(c.message).empty());
    EXPECT_EQ(r.message, c.message);
    EXPECT_EQ(fs::symlink_status(path).type(), c.typeAfter);
    if (r.ok) {
      // The file the link points to holds the sound; nothing else appeared.
      EXPECT_EQ(Slurp(fs::canonical(path)), Expected(kStartupFormat, Ramp(4)));
      EXPECT_EQ(fs::canonical(path).parent_path(), fs::canonical(dir));
    }
  }
  // Nothing was left behind beside the refused targets.
  for (const char* name : {"folder", "fifo", "socket", "link to a fifo"}) {
    for (const auto& e : fs::directory_iterator(dir_ / name))
      EXPECT_TRUE(e.path().filename() == "take1.wav" || e.path().filename() == "pipe")
          << name << ": " << e.path();
  }
}

}  // namespace
}  // namespace tonamira
