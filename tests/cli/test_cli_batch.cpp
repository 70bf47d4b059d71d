// Batches: several files analysed in parallel and shown in the order they were named, one
// table with a file column or one CSV per file, standard input as "-", and a failing file
// that does not stop the others.

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>

#include "cli/batch.h"
#include "cli/csv_rows.h"
#include "cli/cli_fixture.h"

namespace tonamira {
namespace cli_test {
namespace {

std::vector<double> Glide(double fromHz, double toHz, int frames) {
  std::vector<double> v;
  double phase = 0.0;
  for (int n = 0; n < frames; ++n) {
    const double hz = fromHz + (toHz - fromHz) * n / frames;
    phase += 2.0 * M_PI * hz / 44100.0;
    v.push_back(0.4 * std::sin(phase));
  }
  return v;
}

// Waits until a number of events have happened (no clock involved).
class Latch {
 public:
  void Arrive() {
    std::lock_guard lock(mutex_);
    ++count_;
    changed_.notify_all();
  }
  void WaitFor(int count) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return count_ >= count; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int count_ = 0;
};

TEST(RunInOrder, DeliversInTheOrderNamedWhateverFinishesFirst) {
  for (int jobs : {2, 3, 8}) {
    const size_t count = 12;
    // Each even file finishes only after the odd file after it.
    std::vector<Latch> oddDone(count);
    std::mutex mutex;
    std::vector<size_t> finished, delivered;
    RunInOrder(
        count, jobs,
        [&](size_t i) {
          if (i % 2 == 0) oddDone[i].WaitFor(1);
          {
            std::lock_guard lock(mutex);
            finished.push_back(i);
          }
          if (i % 2 == 1) oddDone[i - 1].Arrive();
        },
        [&](size_t i) { delivered.push_back(i); });
    ASSERT_EQ(delivered.size(), count) << jobs;
    for (size_t i = 0; i < count; ++i) EXPECT_EQ(delivered[i], i) << jobs;
    ASSERT_EQ(finished.size(), count);
    for (size_t i = 0; i < count; i += 2) {
      const auto at = [&](size_t file) { return std::find(finished.begin(), finished.end(), file); };
      EXPECT_LT(at(i + 1), at(i)) << jobs << ": " << i + 1 << " finishes before " << i;
    }
  }
}

TEST(RunInOrder, StartsNoFileMoreThanTwiceTheJobsAheadOfTheLastDelivered) {
  for (int jobs : {1, 2, 4}) {
    const size_t count = 40;
    const size_t window = 2 * static_cast<size_t>(jobs);
    std::atomic<size_t> deliveredSoFar{0};
    std::atomic<size_t> started{0};
    Latch others;  // files after the first that have started
    RunInOrder(
        count, jobs,
        [&](size_t i) {
          EXPECT_LT(i, deliveredSoFar.load() + window) << jobs;
          ++started;
          // The first file waits for every file the window lets start beside it.
          if (i == 0 && jobs > 1) others.WaitFor(static_cast<int>(window - 1));
          if (i > 0) others.Arrive();
        },
        [&](size_t i) {
          EXPECT_EQ(i, deliveredSoFar.load());
          ++deliveredSoFar;
        });
    EXPECT_EQ(deliveredSoFar.load(), count);
    EXPECT_EQ(started.load(), count);
  }
}

TEST(CsvFieldQuoting, OnlyWhatNeedsIt) {
  EXPECT_EQ(CsvField("take1.wav"), "take1.wav");
  EXPECT_EQ(CsvField("-"), "-");
  EXPECT_EQ(CsvField("a,b.wav"), "\"a,b.wav\"");
  EXPECT_EQ(CsvField("say \"hi\".wav"), "\"say \"\"hi\"\".wav\"");
  EXPECT_EQ(CsvField("two\nlines"), "\"two\nlines\"");
  EXPECT_EQ(CsvField(" lead.wav"), "\" lead.wav\"");
  EXPECT_EQ(CsvField(""), "");
}

class BatchTest : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    wav = Write("a440.wav", MakeWav({}, Tone16(30000, {{{440.0, 8000.0}}})));
    flac = Path("glide.flac");
    WriteSndfile(flac, SF_FORMAT_FLAC | SF_FORMAT_PCM_24, Glide(200.0, 300.0, 40000));
    deep = Path("deep.wav");
    WriteSndfile(deep, SF_FORMAT_WAV | SF_FORMAT_PCM_24, Glide(600.0, 500.0, 25000));
  }

  // The single-file output of one file, each row prefixed by its field.
  std::string Prefixed(const std::vector<std::string>& args, const std::string& field) {
    EXPECT_EQ(Run(args), 0) << err_.str();
    std::istringstream in(out_.str());
    std::string line, rows;
    std::getline(in, line);  // the header
    while (std::getline(in, line)) rows += field + "," + line + "\n";
    return rows;
  }

  std::string wav, flac, deep;
};

TEST_F(BatchTest, OneTableWithAFileColumnWhateverTheJobs) {
  for (const char* method : {"window", "precise", "live"}) {
    std::string expected = std::string("file,") + CsvHeader(std::string(method) != "window");
    for (const std::string& f : {wav, flac, deep, wav})
      expected += Prefixed({"analyze", f, "--method", method}, f);
    for (const char* jobs : {"1", "2", "3"}) {
      ASSERT_EQ(Run({"analyze", wav, flac, deep, wav, "--method", method, "--jobs", jobs}), 0)
          << err_.str();
      EXPECT_EQ(out_.str(), expected) << method << " --jobs " << jobs;
      EXPECT_EQ(err_.str(), "");
    }
  }
}

TEST_F(BatchTest, AFailingFileIsReportedAndTheOthersGoOn) {
  const std::string missing = Path("missing.wav");
  const std::string text = Write("notes.txt", std::vector<uint8_t>{'h', 'i', '\n'});
  const std::string shortWav = Write("short.wav", MakeWav({}, Tone16(1000, {{{440.0, 8000.0}}})));
  const std::string expected = std::string("file,") + CsvHeader(false) + Prefixed({"analyze", wav}, wav) +
                               Prefixed({"analyze", flac}, flac);
  for (const char* jobs : {"1", "2", "4"}) {
    EXPECT_EQ(Run({"analyze", missing, wav, text, shortWav, flac, "--jobs", jobs}), 2);
    EXPECT_EQ(out_.str(), expected) << jobs;
    // The messages in the order the files were named, each as it would be alone.
    EXPECT_EQ(err_.str().rfind("tonamira-cli: " + missing + ": No File\ntonamira-cli: " + text +
                                   ": No Wave (libsndfile: ",
                               0),
              0u)
        << err_.str();
    EXPECT_NE(err_.str().find(")\ntonamira-cli: " + shortWav +
                              ": note: the sound has 1000 sample frames, fewer than one "
                              "analysis frame of 2048; no rows\n"),
              std::string::npos)
        << err_.str();
  }
  // A short sound alone among good ones is no failure.
  EXPECT_EQ(Run({"analyze", wav, shortWav}), 0);
}

TEST_F(BatchTest, StandardInputIsTheFileNamedDash) {
  const std::string bytes = Read(flac);
  ASSERT_EQ(Run({"analyze", flac, "--method", "precise"}), 0);
  const std::string alone = out_.str();
  ASSERT_EQ(Run({"analyze", "-", "--method", "precise"}, bytes), 0) << err_.str();
  EXPECT_EQ(out_.str(), alone);

  const std::string expected = std::string("file,") + CsvHeader(false) + Prefixed({"analyze", wav}, wav) +
                               Prefixed({"analyze", flac}, "-");
  ASSERT_EQ(Run({"analyze", wav, "-", "--jobs", "2"}, bytes), 0) << err_.str();
  EXPECT_EQ(out_.str(), expected);

  EXPECT_EQ(Run({"analyze", "-"}, "not a sound\n"), 2);
  EXPECT_EQ(err_.str().rfind("tonamira-cli: -: No Wave (libsndfile: ", 0), 0u) << err_.str();
  EXPECT_EQ(Run({"analyze", "-"}, ""), 2);
  EXPECT_EQ(err_.str().rfind("tonamira-cli: -: ", 0), 0u) << err_.str();
  EXPECT_EQ(Run({"analyze", "-", wav, "-"}, bytes), 1);
  EXPECT_EQ(err_.str().rfind("tonamira-cli: - (standard input) can be read only once\n", 0), 0u);
}

TEST_F(BatchTest, OutDirWritesEachFilesOwnCsv) {
  const std::string dir = Path("csv/nested");
  const std::string bytes = Read(deep);
  ASSERT_EQ(Run({"analyze", wav, flac, "-", "--method", "live", "--out-dir", dir, "--jobs", "2"},
                bytes),
            0)
      << err_.str();
  EXPECT_EQ(out_.str(), dir + "/a440.csv\n" + dir + "/glide.csv\n" + dir + "/stdin.csv\n");
  const struct {
    std::string input, csv;
  } files[] = {{wav, "a440.csv"}, {flac, "glide.csv"}, {deep, "stdin.csv"}};
  for (const auto& f : files) {
    ASSERT_EQ(Run({"analyze", f.input, "--method", "live"}), 0);
    EXPECT_EQ(Read(dir + "/" + f.csv), out_.str()) << f.csv;
  }

  // One file with --out-dir is a batch of one; a failing file writes nothing.
  const std::string single = Path("single");
  ASSERT_EQ(Run({"analyze", wav, "--out-dir", single}), 0) << err_.str();
  EXPECT_EQ(out_.str(), single + "/a440.csv\n");
  EXPECT_EQ(Run({"analyze", Path("gone.wav"), flac, "--out-dir", single}), 2);
  EXPECT_EQ(out_.str(), single + "/glide.csv\n");
  EXPECT_EQ(err_.str(), "tonamira-cli: " + Path("gone.wav") + ": No File\n");
  EXPECT_FALSE(fs::exists(single + "/gone.csv"));

  // Two files of one name would write one CSV: refused before anything is read.
  fs::create_directories(Path("other"));
  const std::string twin = Write("other/a440.wav", MakeWav({}, Tone16(5000, {{{220.0, 8000.0}}})));
  const std::string clash = Path("clash");
  EXPECT_EQ(Run({"analyze", wav, twin, "--out-dir", clash}), 1);
  EXPECT_EQ(err_.str().rfind("tonamira-cli: " + wav + " and " + twin + " would both write " +
                                 clash + "/a440.csv\nusage:",
                             0),
            0u)
      << err_.str();
  EXPECT_FALSE(fs::exists(clash));
  // A folder that cannot be made.
  EXPECT_EQ(Run({"analyze", wav, "--out-dir", wav + "/sub"}), 2);
  EXPECT_EQ(err_.str(), "tonamira-cli: " + wav + "/sub: cannot make the folder\n");
}

TEST_F(BatchTest, FileNamesThatNeedQuotingAreQuoted) {
  const std::string bytes = Read(wav);
  const std::string odd = Write("a,b.wav", std::vector<uint8_t>(bytes.begin(), bytes.end()));
  ASSERT_EQ(Run({"analyze", wav, odd}), 0) << err_.str();
  EXPECT_NE(out_.str().find("\n\"" + odd + "\",0.0000,0,440,"), std::string::npos) << out_.str().substr(0, 200);
}

TEST_F(BatchTest, BatchOptionsAreChecked) {
  for (const char* jobs : {"0", "-2", "x", "1.5", ""}) {
    EXPECT_EQ(Run({"analyze", wav, flac, "--jobs", jobs}), 1) << jobs;
    EXPECT_EQ(err_.str().rfind("tonamira-cli: --jobs must be a whole number, at least 1\n", 0), 0u)
        << err_.str();
  }
  EXPECT_EQ(Run({"analyze", wav, "--out-dir", ""}), 1);
  EXPECT_EQ(err_.str().rfind("tonamira-cli: --out-dir must name a folder\n", 0), 0u);
  // More jobs than files is fine.
  EXPECT_EQ(Run({"analyze", wav, flac, "--jobs", "64"}), 0);
}

}  // namespace
}  // namespace cli_test
}  // namespace tonamira
