// The live tracker against the offline one: on the tracker excerpts (tests/data/tracker, cut
// from the corpus), its voicing is the offline rule's wherever the backward chain fits the
// look-ahead; the points do not depend on how the stream is cut into fragments; no decision
// comes later than the look-ahead; and a voiced frame is out as soon as it is analysed.
#include "analysis/live_pitch.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <span>
#include <vector>

#include "analysis/voicing.h"

namespace tonamira {
namespace {

const std::string kData = TONAMIRA_TRACKER_DATA;
constexpr double kRate = 44100.0;

// The excerpt's 16-bit mono samples.
std::vector<int16_t> ReadExcerpt(const std::string& name) {
  SF_INFO info{};
  SNDFILE* file = sf_open((kData + "/" + name).c_str(), SFM_READ, &info);
  EXPECT_NE(file, nullptr) << name << ": " << sf_strerror(nullptr);
  if (!file) return {};
  EXPECT_EQ(info.channels, 1);
  EXPECT_EQ(info.samplerate, 44100);
  std::vector<int16_t> samples(static_cast<size_t>(info.frames));
  EXPECT_EQ(sf_readf_short(file, samples.data(), info.frames), info.frames);
  sf_close(file);
  return samples;
}

LiveTrackerSettings Live(int32_t hop = 0, int32_t lookAhead = kDefaultLiveLookAhead) {
  LiveTrackerSettings s;
  s.tracker.sampleRate = kRate;
  s.hop = hop;
  s.lookAhead = lookAhead;
  return s;
}

// Every point the tracker emits for the stream pushed in fragments of `fragment` samples,
// in the order emitted, with Finish's at the end.
std::vector<LivePoint> Stream(const std::vector<int16_t>& x, size_t fragment,
                              const LiveTrackerSettings& settings) {
  LivePitchTracker tracker(settings);
  EXPECT_TRUE(tracker.valid());
  std::vector<LivePoint> points;
  for (size_t at = 0; at < x.size(); at += fragment)
    tracker.Push(std::span<const int16_t>(x.data() + at, std::min(fragment, x.size() - at)),
                 points);
  tracker.Finish(points);
  return points;
}

// The final point of every frame, by frame; fails if a frame has none or two.
std::vector<LivePoint> FinalByFrame(const std::vector<LivePoint>& points) {
  std::vector<LivePoint> finals;
  std::vector<int> count;
  for (const LivePoint& p : points) {
    if (!p.isFinal) continue;
    const auto f = static_cast<size_t>(p.frame);
    if (finals.size() <= f) {
      finals.resize(f + 1);
      count.resize(f + 1);
    }
    finals[f] = p;
    ++count[f];
  }
  for (size_t f = 0; f < count.size(); ++f) EXPECT_EQ(count[f], 1) << "frame " << f;
  return finals;
}

// The offline form: PitchTracker on every frame of the layout (with the samples before it
// that its search of the lowest pitches reads, as many as there are), then the voicing over
// the whole sequence. `forward` receives the frame-by-frame decisions before it.
std::vector<PitchEstimate> Offline(const std::vector<int16_t>& x, int32_t hop,
                                   std::vector<bool>* forward = nullptr) {
  TrackerSettings settings = Live().tracker;
  settings.hop = hop;
  PitchTracker tracker(PreciseFrameLength(44100), settings);
  const auto n = static_cast<size_t>(tracker.frameLength());
  const auto history = static_cast<size_t>(tracker.historyLength());
  std::vector<double> samples(n + history);
  std::vector<PitchEstimate> estimates;
  for (size_t start = 0; start + n <= x.size(); start += static_cast<size_t>(hop)) {
    const size_t before = std::min(history, start);
    for (size_t j = 0; j < before + n; ++j) samples[j] = x[start - before + j] / 32768.0;
    estimates.push_back(tracker.Analyze(std::span<const double>(samples.data(), before + n)));
    if (forward) forward->push_back(estimates.back().voiced);
  }
  ExtendVoicingBackward(estimates, settings);
  return estimates;
}

TEST(LiveHop, APowerOfTwoBetweenFiveAndTenMilliseconds) {
  const struct {
    double rate;
    int32_t hop;
  } cases[] = {{44100, 256}, {48000, 256}, {22050, 128}, {96000, 512}, {88200, 512},
               {32000, 256}, {16000, 128}, {8000, 64},   {11025, 64},  {192000, 1024}};
  for (const auto& c : cases) {
    EXPECT_EQ(LiveHop(c.rate), c.hop) << c.rate;
    const double ms = 1000.0 * c.hop / c.rate;
    EXPECT_GT(ms, 5.0) << c.rate;
    EXPECT_LE(ms, 10.0) << c.rate;
  }
  EXPECT_EQ(LiveHop(0.0), 0);
  EXPECT_EQ(LiveHop(std::nan("")), 0);
}

TEST(LivePitchTracker, RefusesSettingsItCannotWorkWith) {
  LiveTrackerSettings hopTooLong = Live(4096);
  LiveTrackerSettings negativeLookAhead = Live(0, -1);
  LiveTrackerSettings hugeLookAhead = Live(0, 1025);
  LiveTrackerSettings noRate = Live();
  noRate.tracker.sampleRate = 0.0;
  LiveTrackerSettings oddFrame = Live();
  oddFrame.frameLength = 1000;
  for (const auto& s : {hopTooLong, negativeLookAhead, hugeLookAhead, noRate, oddFrame}) {
    LivePitchTracker tracker(s);
    EXPECT_FALSE(tracker.valid());
    std::vector<LivePoint> points;
    const std::vector<double> x(8192, 0.25);
    tracker.Push(x, points);
    tracker.Finish(points);
    EXPECT_TRUE(points.empty());
  }
  LivePitchTracker defaults(Live());
  ASSERT_TRUE(defaults.valid());
  EXPECT_EQ(defaults.frameLength(), 2048);
  EXPECT_EQ(defaults.hop(), 256);
  EXPECT_EQ(defaults.lookAhead(), kDefaultLiveLookAhead);
}

TEST(LivePitchTracker, VoicingIsTheOfflineRuleWhereTheChainFitsTheLookAhead) {
  for (const char* name : {"notes.flac", "noise.flac"}) {
    const auto x = ReadExcerpt(name);
    ASSERT_GT(x.size(), 44100u) << name;
    for (const int32_t hop : {256, 1024}) {
      std::vector<bool> forward;
      const auto offline = Offline(x, hop, &forward);
      // A look-ahead longer than any chain: the offline voicing exactly, frame for frame.
      const auto unbounded = FinalByFrame(Stream(x, 882, Live(hop, 1024)));
      ASSERT_EQ(unbounded.size(), offline.size()) << name << " hop " << hop;
      for (size_t f = 0; f < offline.size(); ++f) {
        EXPECT_EQ(unbounded[f].voiced, offline[f].voiced) << name << " frame " << f;
        EXPECT_EQ(unbounded[f].hz, offline[f].hz) << name << " frame " << f;
        EXPECT_EQ(unbounded[f].candidateHz, offline[f].candidateHz) << name << " frame " << f;
        EXPECT_EQ(unbounded[f].confidence, offline[f].confidence) << name << " frame " << f;
        EXPECT_EQ(unbounded[f].levelDb, offline[f].levelDb) << name << " frame " << f;
      }
      // A bounded look-ahead: a frame differs only when the offline rule voiced it through a
      // chain reaching further than the look-ahead to the next frame voiced frame by frame.
      for (const int32_t lookAhead : {1, 2, 4, kDefaultLiveLookAhead}) {
        const auto bounded = FinalByFrame(Stream(x, 882, Live(hop, lookAhead)));
        ASSERT_EQ(bounded.size(), offline.size());
        size_t differing = 0, voiced = 0;
        for (size_t f = 0; f < offline.size(); ++f) {
          voiced += offline[f].voiced;
          size_t anchor = f;
          while (anchor < forward.size() && !forward[anchor]) ++anchor;
          const bool beyond = offline[f].voiced && anchor - f > static_cast<size_t>(lookAhead);
          EXPECT_EQ(bounded[f].voiced, offline[f].voiced && !beyond)
              << name << " hop " << hop << " look-ahead " << lookAhead << " frame " << f;
          if (bounded[f].voiced) {
            EXPECT_EQ(bounded[f].hz, offline[f].hz);
          }
          differing += bounded[f].voiced != offline[f].voiced;
        }
        if (lookAhead == kDefaultLiveLookAhead) {
          EXPECT_LE(differing, voiced / 100) << name;
        }
      }
    }
  }
}

TEST(LivePitchTracker, TheLevelRulesAreTheOfflineOnes) {
  // A spoken line's shape: a clear vowel, a breathy stretch as loud (bridged from the vowel),
  // a pause, a breathy stretch alone, and an echo of the vowel's pitch 32 dB down (not
  // continued): live with a look-ahead longer than any chain, the offline voicing frame for
  // frame; with the default look-ahead, short of it only where the offline chain reaches
  // further.
  std::vector<int16_t> x;
  std::mt19937 rng(21);
  double phase = 0.0;
  auto append = [&](double seconds, double amplitude, double noise) {
    std::normal_distribution<double> g(0.0, noise > 0.0 ? noise : 1e-12);
    for (int j = 0; j < static_cast<int>(seconds * kRate); ++j) {
      phase += 2.0 * M_PI * 190.0 / kRate;
      const double v = amplitude * (0.6 * std::sin(phase) + 0.3 * std::sin(2.0 * phase)) +
                       (noise > 0.0 ? g(rng) : 0.0);
      x.push_back(static_cast<int16_t>(std::lround(std::clamp(v, -1.0, 1.0) * 32767.0)));
    }
  };
  append(0.4, 0.5, 0.0);
  append(0.3, 0.5, 0.1);
  append(0.2, 0.0, 0.0);
  append(0.3, 0.5, 0.1);
  append(1.5, 0.5 * std::pow(10.0, -32.0 / 20.0), 0.004);
  for (const int32_t hop : {256, 1024}) {
    std::vector<bool> forward;
    const auto offline = Offline(x, hop, &forward);
    const auto unbounded = FinalByFrame(Stream(x, 441, Live(hop, 1024)));
    ASSERT_EQ(unbounded.size(), offline.size());
    size_t voiced = 0;
    for (size_t f = 0; f < offline.size(); ++f) {
      EXPECT_EQ(unbounded[f].voiced, offline[f].voiced) << "hop " << hop << " frame " << f;
      EXPECT_EQ(unbounded[f].hz, offline[f].hz) << "hop " << hop << " frame " << f;
      voiced += offline[f].voiced;
    }
    // The vowel and the bridged stretch after it, at least.
    EXPECT_GT(voiced, static_cast<size_t>(0.5 * kRate / hop)) << "hop " << hop;
    const auto bounded = FinalByFrame(Stream(x, 441, Live(hop)));
    ASSERT_EQ(bounded.size(), offline.size());
    for (size_t f = 0; f < offline.size(); ++f) {
      size_t anchor = f;
      while (anchor < forward.size() && !forward[anchor]) ++anchor;
      const bool beyond = anchor - f > static_cast<size_t>(kDefaultLiveLookAhead);
      EXPECT_EQ(bounded[f].voiced, offline[f].voiced && !beyond) << "hop " << hop << " " << f;
    }
  }
}

TEST(LivePitchTracker, TheSamePointsForAnyFragmentSize) {
  const auto x = ReadExcerpt("notes.flac");
  ASSERT_FALSE(x.empty());
  const auto reference = Stream(x, 882, Live());
  ASSERT_GT(reference.size(), 1500u);
  auto same = [&](const std::vector<LivePoint>& points, const std::string& what) {
    ASSERT_EQ(points.size(), reference.size()) << what;
    for (size_t i = 0; i < points.size(); ++i) {
      const LivePoint &a = points[i], &b = reference[i];
      ASSERT_TRUE(a.frame == b.frame && a.isFinal == b.isFinal && a.voiced == b.voiced &&
                  a.hz == b.hz && a.candidateHz == b.candidateHz &&
                  a.confidence == b.confidence && a.levelDb == b.levelDb &&
                  a.timeSeconds == b.timeSeconds)
          << what << ": point " << i << " (frame " << a.frame << ")";
    }
  };
  for (const size_t fragment : {1u, 7u, 4096u, 100000u}) same(Stream(x, fragment, Live()), std::to_string(fragment));

  // Fragments of changing sizes, as a sound server hands them over, and the same samples as
  // reals on a full scale of 1.0.
  LivePitchTracker tracker(Live());
  std::vector<double> reals(x.size());
  for (size_t i = 0; i < x.size(); ++i) reals[i] = x[i] / 32768.0;
  std::mt19937 rng(14);
  std::uniform_int_distribution<size_t> size(0, 3000);
  std::vector<LivePoint> points;
  for (size_t at = 0; at < reals.size();) {
    const size_t count = std::min(size(rng), reals.size() - at);
    tracker.Push(std::span<const double>(reals.data() + at, count), points);
    at += count;
  }
  EXPECT_EQ(tracker.samplesSeen(), static_cast<int64_t>(x.size()));
  tracker.Finish(points);
  same(points, "random fragments of reals");
}

TEST(LivePitchTracker, NoDecisionAfterTheLookAhead) {
  const auto x = ReadExcerpt("notes.flac");
  ASSERT_FALSE(x.empty());
  for (const int32_t lookAhead : {0, 3, kDefaultLiveLookAhead}) {
    LivePitchTracker tracker(Live(0, lookAhead));
    std::vector<LivePoint> points;
    std::vector<int> state;  // per frame: 0 unseen, 1 provisional, 2 final
    size_t provisional = 0, late = 0;
    for (size_t at = 0; at < x.size(); ++at) {
      points.clear();
      tracker.Push(std::span<const int16_t>(&x[at], 1), points);
      const int64_t analysed = tracker.framesAnalysed();
      for (const LivePoint& p : points) {
        const auto f = static_cast<size_t>(p.frame);
        if (state.size() <= f) state.resize(f + 1, 0);
        // Every decision is made by the time the look-ahead's last frame is analysed.
        EXPECT_LE(analysed - 1 - p.frame, lookAhead) << "frame " << p.frame;
        if (!p.isFinal) {
          // Only unvoiced frames wait; a provisional point comes first and once.
          EXPECT_FALSE(p.voiced);
          EXPECT_EQ(p.frame, analysed - 1);
          EXPECT_EQ(state[f], 0);
          state[f] = 1;
          ++provisional;
        } else {
          EXPECT_NE(state[f], 2) << "frame " << p.frame << " decided twice";
          // A voiced frame is final when it is analysed; a frame voiced later came in
          // unvoiced and provisional.
          if (state[f] == 0) {
            EXPECT_TRUE(p.voiced || lookAhead == 0);
          }
          if (state[f] == 1 && p.voiced) ++late;
          state[f] = 2;
        }
      }
    }
    points.clear();
    tracker.Finish(points);
    for (const LivePoint& p : points) {
      EXPECT_TRUE(p.isFinal && !p.voiced);
      ASSERT_LT(static_cast<size_t>(p.frame), state.size());
      EXPECT_EQ(state[static_cast<size_t>(p.frame)], 1);
      state[static_cast<size_t>(p.frame)] = 2;
    }
    for (size_t f = 0; f < state.size(); ++f) EXPECT_EQ(state[f], 2) << "frame " << f;
    if (lookAhead == 0) {
      EXPECT_EQ(provisional, 0u);
    } else {
      EXPECT_GT(provisional, 100u);  // silence, gaps and onsets
      EXPECT_GT(late, 10u) << "the onsets' frames are voiced from the frames after them";
    }
  }
}

TEST(LivePitchTracker, AToneIsVoicedAsSoonAsItsFrameIsIn) {
  // Silence, then a sung-like tone (a sawtooth's first partials): the first voiced point
  // comes in the very push that completes its frame, before any frame wholly of the tone
  // is in (35 ms after the onset, of the frame's 46).
  const int onset = 10000;
  std::vector<int16_t> x(onset + 44100, 0);
  for (size_t j = onset; j < x.size(); ++j) {
    const auto t = static_cast<double>(j - onset) / kRate;
    double v = 0.0;
    for (int h = 1; h <= 6; ++h) v += 0.3 / h * std::sin(2.0 * M_PI * 196.0 * h * t);
    x[j] = static_cast<int16_t>(std::lround(v * 32767.0));
  }
  LivePitchTracker tracker(Live());
  std::vector<LivePoint> points;
  int64_t firstVoicedEnd = -1;
  for (size_t at = 0; at < x.size() && firstVoicedEnd < 0; ++at) {
    points.clear();
    tracker.Push(std::span<const int16_t>(&x[at], 1), points);
    for (const LivePoint& p : points)
      if (p.voiced) {
        EXPECT_EQ(p.frame, tracker.framesAnalysed() - 1) << "voiced on arrival";
        EXPECT_NEAR(p.hz, 196.0, 0.5);
        EXPECT_DOUBLE_EQ(p.timeSeconds, static_cast<double>(p.frame * 256 + 1024) / kRate);
        firstVoicedEnd = static_cast<int64_t>(at) + 1;
        break;
      }
  }
  ASSERT_GT(firstVoicedEnd, onset);
  const double ms = 1000.0 * static_cast<double>(firstVoicedEnd - onset) / kRate;
  EXPECT_LT(ms, 1000.0 * 2048 / kRate) << ms << " ms after the onset";
}

TEST(LivePitchTracker, FinishDecidesTheRestAndStartsAFreshStream) {
  const auto x = ReadExcerpt("noise.flac");
  ASSERT_FALSE(x.empty());
  const std::vector<int16_t> part(x.begin(), x.begin() + 30000);
  LivePitchTracker tracker(Live());
  std::vector<LivePoint> first, again;
  tracker.Push(part, first);
  const int64_t frames = tracker.framesAnalysed();
  EXPECT_EQ(frames, (30000 - 2048) / 256 + 1);
  tracker.Finish(first);
  EXPECT_EQ(FinalByFrame(first).size(), static_cast<size_t>(frames));
  EXPECT_EQ(tracker.samplesSeen(), 0);
  tracker.Push(part, again);
  tracker.Finish(again);
  ASSERT_EQ(again.size(), first.size());
  for (size_t i = 0; i < first.size(); ++i) {
    EXPECT_EQ(again[i].frame, first[i].frame);
    EXPECT_EQ(again[i].confidence, first[i].confidence);
    EXPECT_EQ(again[i].voiced, first[i].voiced);
  }
}

}  // namespace
}  // namespace tonamira
