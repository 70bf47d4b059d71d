#pragma once
// One frame's period search, the core of the precise tracker (pitch_tracker.h): the
// difference function of the frame against itself over a range of lags, the choice of the
// period among its dips, the period refined to a fraction of a sample, and the confidence.
//
// The method joins the time-domain periodicity measures of the YIN and McLeod (MPM) trackers:
//  - the squared difference d(tau) of the frame against itself shifted by tau, over a fixed
//    integration window W = frame - maxLag, computed through a real transform in O(N log N);
//  - YIN's cumulative-mean normalisation d'(tau) to pick the period: the first dip that
//    comes close to the deepest one (which keeps the subharmonics, whose dips are as deep
//    as the period's, from being taken), confirmed by the dips at its multiples;
//  - as the confidence, the lower of MPM's normalised correlation 1 - d(tau) / (energy of
//    both windows) and YIN's 1 - d'(tau) at the chosen period: 1 for a perfectly periodic
//    frame, about 0 for noise of any colour;
//  - refinement at the largest multiple of the period that fits the lag range, where a
//    parabola through three lags, their differences summed afresh from the samples in
//    double precision over a window in the middle of the frame, gives the period to a small
//    fraction of a sample: the period at the frame's centre, also on a glide (where a
//    multiple's dip has drifted from the period's, fewer periods are tried).
// PitchTracker runs one of these on its frame and, for the lowest pitches, another on a
// longer frame ending with it.

#include <vector>

#include "analysis/real_fft.h"

namespace tonamira {

class PeriodSearch {
 public:
  // frameLength a power of two from 64 to 65536, 2 <= minLag, minLag + 2 <= maxLag <
  // frameLength (the integration window is the rest of the frame); otherwise valid() is
  // false.
  PeriodSearch(int frameLength, int minLag, int maxLag);

  bool valid() const { return valid_; }
  int frameLength() const { return n_; }
  int minLag() const { return minLag_; }
  int maxLag() const { return maxLag_; }

  // Computes d and d' of frameLength samples (full scale 1.0), which must stay in place
  // until the last call below that concerns them.
  void Analyze(const double* x);
  double MeanSquare() const;  // of the whole frame
  // The lag of the period, among the lags from `from` (at least minLag) to maxLag.
  int ChoosePeriod(int from) const;
  int ChoosePeriod() const { return ChoosePeriod(minLag_); }
  double RefinePeriod(int lag) const;  // the period in samples, to a fraction of one
  double Confidence(int lag) const;    // 0 .. 1
  // The lag of the deepest dip of d' (a lag no higher than both its neighbours) among the
  // lags from..to, clamped to minLag + 1 .. maxLag - 1; -1 when there is none.
  int DeepestDip(int from, int to) const;
  // The lags of the `count` deepest such dips over the whole lag range, deepest first, into
  // lags[]; returns how many there are (at most count).
  int DeepestDips(int* lags, int count) const;
  // The deepest d' within a few lags of lag (a dip's depth where it may lie a lag or two off).
  double DipNear(int lag) const;
  // How much deeper a dip must be than an earlier one for the earlier not to be the period.
  static double DipMargin();

  // d'(tau) of the last frame, tau = 0 .. maxLag.
  const std::vector<double>& normalizedDifference() const { return cmnd_; }

 private:
  void DifferenceFunction(const double* x);
  int BottomNear(int lag) const;  // where that smallest d' lies
  // d(lag - 1), d(lag), d(lag + 1) summed from the samples in double precision.
  void ExactDifferences(int lag, double out[3]) const;

  bool valid_ = false;
  int n_ = 0;
  int window_ = 0;  // integration window W = n - maxLag
  int minLag_ = 0;
  int maxLag_ = 0;
  RealFft fft_;

  std::vector<double> energy_;  // energy_[j] = sum of x[i]^2 for i < j
  std::vector<float> frame_, padded_, specARe_, specAIm_, specBRe_, specBIm_, corr_;
  const double* x_ = nullptr;  // the frame being analysed
  std::vector<double> diff_;  // d(tau)
  std::vector<double> cmnd_;  // d'(tau)
};

}  // namespace tonamira
