#pragma once
// The precise monophonic pitch tracker: from one frame of samples to a pitch with a fraction
// of a hertz, a voicing decision and a confidence.
//
// The method joins the time-domain periodicity measures of the YIN and McLeod (MPM) trackers:
//  - the squared difference d(tau) of the frame against itself shifted by tau, over a fixed
//    integration window, computed through a real transform in O(N log N);
//  - YIN's cumulative-mean normalisation d'(tau) to pick the period: the first dip that
//    comes close to the deepest one (which keeps the subharmonics, whose dips are as deep
//    as the period's, from being taken), confirmed by the dips at its multiples;
//  - as the confidence, the lower of MPM's normalised correlation 1 - d(tau) / (energy of
//    both windows) and YIN's 1 - d'(tau) at the chosen period: 1 for a perfectly periodic
//    frame, about 0 for noise of any colour;
//  - refinement at the largest multiple of the period that fits the lag range, where a
//    parabola through three lags, their differences summed afresh from the samples in
//    double precision, gives the period to a small fraction of a sample;
//  - a voicing decision from the confidence and the frame's level, with a lower confidence
//    accepted when the pitch continues the previous frame's (and, through
//    ExtendVoicingBackward in voicing.h, the next frame's).

#include <cstdint>
#include <vector>

#include "analysis/real_fft.h"

namespace tonamira {

struct TrackerSettings {
  double sampleRate = 44100.0;
  double minHz = 60.0;    // lowest pitch searched
  double maxHz = 1600.0;  // highest pitch searched
  // A frame is voiced when its confidence reaches this...
  double voicedConfidence = 0.85;
  // ...or reaches this lower one while its pitch stays within a semitone of the previous
  // frame's voiced pitch (continuationSemitones).
  double continuedConfidence = 0.50;
  double continuationSemitones = 1.0;
  // Frames whose RMS level lies below this (dB relative to a full-scale 1.0) are unvoiced.
  double silenceDb = -70.0;
};

struct PitchEstimate {
  bool voiced = false;
  double hz = 0.0;          // the pitch of a voiced frame; 0 when unvoiced
  double candidateHz = 0.0; // the best period's pitch, also of an unvoiced frame
  double confidence = 0.0;  // 0 .. 1
  double levelDb = 0.0;     // RMS of the frame in dB relative to full scale, at least -120
};

// The frame length the tracker needs at this rate: the shortest of 256 .. 2048 sample frames
// holding two periods of its lowest pitch (TrackerSettings::minHz, 60 Hz); 2048 above
// 61 kHz, where the lowest pitch it reaches rises accordingly.
int32_t PreciseFrameLength(uint32_t sampleRate);

class PitchTracker {
 public:
  // frameLength must be a power of two from 64 to 65536 and the settings positive with
  // minHz < maxHz; otherwise valid() is false. The longest period searched is limited to
  // half the frame.
  PitchTracker(int frameLength, const TrackerSettings& settings);

  bool valid() const { return valid_; }
  int frameLength() const { return n_; }

  // Analyses frameLength samples (full scale 1.0). Frames are expected in order: the voicing
  // of one frame may lean on the frame before (see TrackerSettings). Reset() forgets it.
  PitchEstimate Analyze(const double* frame);
  void Reset() { previousHz_ = 0.0; }

  // The normalised difference d'(tau) of the last analysed frame, tau = 0 .. maxLag (for
  // tests and the benchmarks).
  const std::vector<double>& normalizedDifference() const { return cmnd_; }
  int minLag() const { return minLag_; }
  int maxLag() const { return maxLag_; }

 private:
  void DifferenceFunction(const double* x);
  int ChoosePeriod() const;
  double DipNear(int lag) const;  // smallest d' within a few lags of lag
  int BottomNear(int lag) const;  // where that smallest d' lies
  double RefinePeriod(int lag) const;
  // d(lag - 1), d(lag), d(lag + 1) summed from the samples in double precision.
  void ExactDifferences(int lag, double out[3]) const;
  double Confidence(int lag) const;

  bool valid_ = false;
  int n_ = 0;
  int window_ = 0;  // integration window W = n - maxLag
  int minLag_ = 0;
  int maxLag_ = 0;
  TrackerSettings settings_;
  RealFft fft_;
  double previousHz_ = 0.0;

  std::vector<double> energy_;  // energy_[j] = sum of x[i]^2 for i < j
  std::vector<float> frame_, padded_, specARe_, specAIm_, specBRe_, specBIm_, corr_;
  const double* x_ = nullptr;  // the frame being analysed
  std::vector<double> diff_;  // d(tau)
  std::vector<double> cmnd_;  // d'(tau)
};

}  // namespace tonamira
