#pragma once
// The command-line tool run in-process on sound files written to a temporary directory:
// the fixture and the helpers the command-line tests share.

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "cli/analyze.h"
#include "cli/cli.h"
#include "support/wav_bytes.h"

namespace tonamira {
namespace cli_test {

namespace fs = std::filesystem;

using testing::CanonicalWav;
using testing::FmtFields;

struct Fmt {
  uint16_t tag = 1;
  uint16_t channels = 1;
  uint32_t rate = 44100;
  uint16_t bits = 16;
  uint16_t blockAlign = 0;  // 0: channels * bits / 8
};

// The comma-separated fields of one CSV row (the tool quotes no field of a single file's rows);
// a row ending in a comma has an empty last field.
inline std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream in(line);
  for (std::string f; std::getline(in, f, ',');) fields.push_back(f);
  if (!line.empty() && line.back() == ',') fields.emplace_back();
  return fields;
}

inline std::vector<uint8_t> MakeWav(const Fmt& f, const std::vector<uint8_t>& samples) {
  FmtFields fields;
  fields.tag = f.tag;
  fields.channels = f.channels;
  fields.rate = f.rate;
  fields.bits = f.bits;
  fields.align = f.blockAlign ? f.blockAlign : static_cast<uint16_t>(f.channels * f.bits / 8);
  fields.avg = f.rate * fields.align;
  return CanonicalWav(fields, samples);
}

// Writes interleaved samples (full scale 1.0) through libsndfile; the file's own encoder
// does the conversion, as a recorder or editor would.
inline void WriteSndfile(const std::string& path, int format, const std::vector<double>& samples,
                         int channels = 1, int rate = 44100) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = format;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
  const auto frames = static_cast<sf_count_t>(samples.size() / static_cast<size_t>(channels));
  EXPECT_EQ(sf_writef_double(file, samples.data(), frames), frames);
  sf_close(file);
}

inline void Put16(std::vector<uint8_t>& v, uint32_t x) {
  v.push_back(static_cast<uint8_t>(x));
  v.push_back(static_cast<uint8_t>(x >> 8));
}

// 16-bit samples of the sum of sines (frequency, amplitude) per channel, interleaved.
inline std::vector<uint8_t> Tone16(int frames, const std::vector<std::vector<std::pair<double, double>>>& channels) {
  std::vector<uint8_t> v;
  for (int n = 0; n < frames; ++n) {
    for (const auto& partials : channels) {
      double s = 0.0;
      for (auto [freq, amp] : partials) s += amp * std::sin(2.0 * M_PI * freq * n / 44100.0);
      Put16(v, static_cast<uint16_t>(static_cast<int16_t>(std::lround(s))));
    }
  }
  return v;
}

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() /
           ("tonamira-cli-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "-" + test->test_suite_name() + "-" + test->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    const fs::path path = dir_ / name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path.string();
  }

  // Runs the tool in-process; its standard input holds `input`.
  int Run(std::vector<std::string> args, const std::string& input = {}) {
    args.insert(args.begin(), "tonamira-cli");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    out_.str("");
    err_.str("");
    std::istringstream in(input);
    return RunCli(static_cast<int>(argv.size()), argv.data(), in, out_, err_, false);
  }

  std::string Read(const std::string& path) const {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    std::istringstream in(out_.str());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  fs::path dir_;
  std::ostringstream out_;
  std::ostringstream err_;
};

struct Row {
  double time;
  uint64_t pos;
  std::string pitch;
  std::string level;
};

inline Row ParseRow(const std::string& line) {
  Row r;
  std::istringstream in(line);
  std::string field;
  std::getline(in, field, ',');
  r.time = std::stod(field);
  std::getline(in, field, ',');
  r.pos = std::stoull(field);
  std::getline(in, r.pitch, ',');
  std::getline(in, r.level, ',');
  return r;
}

}  // namespace cli_test
}  // namespace tonamira
