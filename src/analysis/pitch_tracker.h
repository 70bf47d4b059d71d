#pragma once
// The precise monophonic pitch tracker: from one frame of samples to a pitch with a fraction
// of a hertz, a voicing decision and a confidence, over the whole musical range (A0, 27.5 Hz,
// to C8, 4186 Hz, by default).
//
// Each frame's period is searched by PeriodSearch (period_search.h: YIN's difference
// function, MPM's clarity, refinement at a multiple of the period) at two resolutions:
//  - the frame itself, for every lag from the highest pitch's period down to the longest
//    period it holds twice, 60 Hz at most (frame 2048 at 44100 Hz; PreciseFrameLength):
//    high notes are searched at their own period, however short;
//  - for the lowest pitches, a longer frame ending with the frame (the samples before it,
//    historyLength(), when the caller has them), long enough for two periods of the lowest
//    pitch searched: 4096 samples at 44100 Hz for A0. It is searched only when the frame's
//    own answer is doubtful (a low confidence, or a period whose double the frame cannot
//    check) and taken only when it finds a period longer than the frame reaches.
// Both searches reach past the range asked for (TrackerSettings::minHz .. maxHz), by up to an
// octave on either side, so that a pitch just outside it is found as what it is, and then
// reported unvoiced with a confidence below kOutOfRangeConfidence, rather than as a
// confident octave of itself inside the range.
//
// The voicing decision takes the confidence and the frame's level, with a lower confidence
// accepted when the pitch continues the previous frame's (and, through ExtendVoicingBackward
// in voicing.h, the next frame's), or when a loud frame follows a clearly voiced one closely
// (the bridge); frames far under the recent loudest are voiced only on their own confidence
// (see TrackerSettings).

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "analysis/period_search.h"
#include "analysis/recent_loudest.h"

namespace tonamira {

struct TrackerSettings {
  double sampleRate = 44100.0;
  double minHz = 27.5;    // lowest pitch searched: A0
  double maxHz = 4186.0;  // highest pitch searched: C8
  // A frame is voiced when its confidence reaches this...
  double voicedConfidence = 0.85;
  // ...or reaches this lower one while its pitch stays within continuationSemitones of the
  // previous frame's voiced pitch: a semitone and a half, as far as a voice glides in a hop
  // of 23 ms.
  double continuedConfidence = 0.50;
  double continuationSemitones = 1.5;
  // ...or ends a run of frames, lasting this long, each reaching continuedConfidence with
  // its pitch within continuationSemitones of the frame before: a voice whose every frame
  // is a little unsteady (a glide, creak, breath) is still a voice when its pitch holds
  // together for that long, which noise's candidates do not.
  double runSeconds = 0.06;
  // Samples from one analysed frame to the next, which turns runSeconds into frames; 0: half
  // the frame.
  int hop = 0;
  // Frames whose RMS level lies below this (dB relative to a full-scale 1.0) are unvoiced.
  double silenceDb = -70.0;
  // Frames this many dB below the loudest frame of the last loudestSeconds are unvoiced: the
  // faint tail of a voice (its echo, the room) and the breath between words repeat the pitch
  // just heard, but are not the voice any more. 40 dB, the depth to which a note's decay is
  // still the note: the high piano notes decay fastest (at 35 dB their last frames were cut,
  // 77 % of the real piano's top octave within 50 cents against 89 % at 40 dB), and what
  // lies between 35 and 40 dB under a voice is its echo, which farVoicedConfidence keeps out
  // (false alarms on the real speech 2.4 % at 35 dB, 3.3 % at 40).
  double quietBelowLoudestDb = 40.0;
  double loudestSeconds = 1.0;
  // Frames this many dB below the loudest frame of the last voiceSeconds are voiced only on
  // their own confidence (farVoicedConfidence), never by continuing a pitch: a line's echo and
  // the room after it repeat its last pitch for seconds, steadily enough to form runs, 30 to
  // 60 dB under the voice (real speech: 15.7 % of the frames Praat calls unvoiced were
  // voiced so, all of them more than 25 dB under the line's loudest), while a voice's own
  // frames lie within 30 dB of its loudest and an instrument's decay keeps its confidence.
  double continuationBelowLoudestDb = 30.0;
  double voiceSeconds = 3.0;
  // The confidence such a frame needs: a vowel's pure echo is periodic enough to reach
  // voicedConfidence (on the real dev speech 3.8 % of the frames Praat calls unvoiced were
  // voiced so, all of them more than 20 dB down); 0.90 halved the false alarms (4.6 % ->
  // 2.4 %) with the recall unchanged, for 7 of the piano top octave's 432 frames (a fast
  // decay's last ones) and 6 of the contrabass's 4965; the generated corpus unchanged.
  double farVoicedConfidence = 0.90;
  // The bridge: a frame within bridgeBelowLoudestDb of that loudest frame, reaching
  // continuedConfidence with its pitch within bridgeSemitones of the last frame voiced by the
  // other rules, is voiced when that frame came at most bridgeSeconds before and every frame
  // since was as loud (and, through ExtendVoicingBackward, when it leads so into the voiced
  // frame after it). Inside a spoken line the frames between clear ones (a voiced consonant,
  // a fast glide, creak) are weakly periodic and their pitch jumps by more than a
  // continuation allows, but they are loud: on the real dev speech 450 of the 722 frames
  // missed lay within 20 dB of the loudest of the last voiceSeconds at confidence 0.5-0.85,
  // against 16 of the 3499 frames Praat calls unvoiced. A breath is further down; noise
  // does not follow a clear voiced frame that closely and that loud (the generated corpus's
  // noise stays unvoiced); and a candidate more than a fifth from the voice around it is a
  // harmonic or a consonant's noise (without that bound the recall rose 2.7 points more, but
  // nearly all of those frames were off Praat's pitch). 25 dB rather than 20 since frames
  // are reconsidered near the voice (NearTheVoice, PitchEstimate::alternatives): the frames
  // it then adds are mostly on Praat's pitch (within 50 cents 79.4 % against 78.8 % at the
  // live hop, recall 93.7 % against 92.7 %), the false alarms 4.6 % either way; at 30 dB
  // they rise to 5.3 %.
  double bridgeBelowLoudestDb = 25.0;
  double bridgeSeconds = 0.14;  // 6 frames at a hop of 1024, 24 at the live hop of 256
  double bridgeSemitones = 7.0;
};

// The highest confidence a frame whose pitch lies outside the searched range is reported
// with: below every default voicing threshold, so such a frame never reads as a confident
// pitch, whatever its periodicity.
inline constexpr double kOutOfRangeConfidence = 0.49;
// A pitch this many cents beyond minHz or maxHz still counts as inside the range: the
// limits are notes, and whatever rounds to the note is that note (a piano's top octave is
// tuned sharp, its C8 some 25 cents above 4186 Hz).
inline constexpr double kRangeToleranceCents = 50.0;
// The lowest pitch a frame of PreciseFrameLength holds two periods of; lower pitches are
// searched on the longer frame.
inline constexpr double kFrameFloorHz = 60.0;

// A period a frame's search found, as a pitch.
struct PitchCandidate {
  double hz = 0.0;  // 0: none
  double confidence = 0.0;
};
// How many periods besides its own an unvoiced frame keeps (PitchEstimate::alternatives).
inline constexpr int kAlternatives = 3;

struct PitchEstimate {
  bool voiced = false;
  double hz = 0.0;          // the pitch of a voiced frame; 0 when unvoiced
  double candidateHz = 0.0; // the best period's pitch, also of an unvoiced frame
  double confidence = 0.0;  // 0 .. 1
  double levelDb = 0.0;     // RMS of the frame in dB relative to full scale, at least -120
  bool inRange = true;      // false: candidateHz lies outside the searched range
  // false: under the silence floor, or the level gate (TrackerSettings::quietBelowLoudestDb)
  bool audible = true;
  // How far (dB) the frame lies under the loudest frame of the last
  // TrackerSettings::voiceSeconds: past continuationBelowLoudestDb it is voiced only on its
  // own confidence (the backward rule too); within bridgeBelowLoudestDb it is loud enough to
  // be bridged.
  double underVoiceDb = 0.0;
  // Of an audible unvoiced frame: the frame's next deepest dips that reach
  // TrackerSettings::continuedConfidence inside the range, deepest first. In a voice's weak
  // frames (a consonant, a fast glide) the deepest dip is often a formant's or half the
  // period, while the voice's own period is still a dip close behind; the backward rule
  // (voicing.h) voices such a frame at the one that leads into the voiced frame after it.
  std::array<PitchCandidate, kAlternatives> alternatives{};
};

// The frame length the tracker needs at this rate: the shortest of 256 .. 2048 sample frames
// holding two periods of kFrameFloorHz; 2048 above 61 kHz, where the frame's own search
// stops higher and the longer frame takes over from there.
int32_t PreciseFrameLength(uint32_t sampleRate);

struct SearchPlan;  // the lag ranges of the tracker's searches (pitch_tracker.cpp)

class PitchTracker {
 public:
  // frameLength must be a power of two from 64 to 65536 and the settings positive with
  // minHz < maxHz and room for at least three lags between them; otherwise valid() is false.
  PitchTracker(int frameLength, const TrackerSettings& settings);

  bool valid() const { return valid_; }
  int frameLength() const { return n_; }
  // Samples before the frame that the search of the lowest pitches reads (0 when the frame
  // itself holds two periods of minHz).
  int historyLength() const { return history_; }

  // Analyses the frame: the last frameLength samples of `samples` (full scale 1.0). When
  // historyLength() samples come before it, pitches below the frame's reach are searched on
  // them too; with fewer (the start of a sound), the frame's own reach is the lowest.
  // Frames are expected in order: the voicing of one frame may lean on the frame before
  // (see TrackerSettings). Reset() forgets it.
  PitchEstimate Analyze(std::span<const double> samples);
  // frameLength samples, no history.
  PitchEstimate Analyze(const double* frame) {
    return Analyze(std::span<const double>(frame, static_cast<size_t>(n_)));
  }
  void Reset() {
    previousHz_ = 0.0;
    runHz_ = 0.0;
    run_ = 0;
    sinceClear_ = 1 << 30;
    clearHz_ = 0.0;
    recentDb_.Clear();
    voiceDb_.Clear();
  }
  // Frames a run needs (TrackerSettings::runSeconds at its hop), at least two.
  int runFrames() const { return runFrames_; }

  // The frame's own search: d'(tau) of the last analysed frame, tau = 0 .. maxLag, and its
  // lag range (for tests and the benchmarks).
  const std::vector<double>& normalizedDifference() const {
    return frame_.normalizedDifference();
  }
  int minLag() const { return frame_.minLag(); }
  int maxLag() const { return frame_.maxLag(); }

 private:
  PitchTracker(int frameLength, const TrackerSettings& settings, const SearchPlan& plan);
  bool InRange(double hz) const;
  // The period of a doubtful frame (the frame's own search, its chosen lag), reconsidered
  // against the voice before it: when the lag's pitch lies farther from the previous frame's
  // voiced pitch than a continuation (or, for a loud frame while the bridge holds, from the
  // last clear frame's than the bridge reaches), the deepest dip that does lie so near,
  // if it reaches continuedConfidence; otherwise lag. In a voice's weak frames (a voiced
  // consonant, a fast glide, creak) the deepest dip is often a formant's or half the period
  // while the voice's own period is still a dip close behind: on the real dev speech this
  // choice took the frames within 50 cents of Praat's pitch from 76.8 % to 79.0 % and the
  // voicing recall from 90.5 % to 93.0 %, with the generated corpus unchanged.
  int NearTheVoice(int lag, bool loud) const;

  bool valid_ = false;
  int n_ = 0;
  int history_ = 0;
  TrackerSettings settings_;
  PeriodSearch frame_;
  std::optional<PeriodSearch> long_;
  int inRangeMinLag_ = 0;  // the shortest period inside the range, in whole lags
  int inRangeMaxLag_ = 0;  // the longest, with kRangeToleranceCents
  int runFrames_ = 2;
  double previousHz_ = 0.0;  // the previous frame's voiced pitch, 0 when unvoiced
  double runHz_ = 0.0;       // the previous frame's candidate, when it continued the run
  int run_ = 0;              // frames in the current run
  RecentLoudest recentDb_;  // the levels of the last loudestSeconds
  RecentLoudest voiceDb_;   // the same over voiceSeconds
  int bridgeFrames_ = 0;          // bridgeSeconds at the hop
  double clearHz_ = 0.0;          // the pitch of that frame
  int sinceClear_ = 1 << 30;      // frames since one voiced by a rule other than the bridge
};

}  // namespace tonamira
