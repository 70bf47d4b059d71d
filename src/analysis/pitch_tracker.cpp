#include "analysis/pitch_tracker.h"

#include <algorithm>
#include <cmath>

namespace tonamira {
namespace {

// Lowest level reported, in dB: digital silence has no logarithm.
constexpr double kFloorDb = -120.0;
// The searches reach this far past the range asked for (a factor in pitch, an octave): a
// pitch just outside the range is then found at its own period and reported out of range,
// where a search that stopped at the range would settle on its octave inside it.
constexpr double kReachBeyondRange = 2.0;
// The longest frame used for the lowest pitches.
constexpr int kLongestFrame = 65536;

bool PowerOfTwo(int n) { return n > 0 && (n & (n - 1)) == 0; }

}  // namespace

// The lag ranges of the two searches.
struct SearchPlan {
  int minLag = 0;        // highest pitch searched, with the reach beyond maxHz
  int frameMaxLag = 0;   // the frame's own search
  int longFrame = 0;     // 0: no longer frame
  int longMaxLag = 0;
  int inRangeMinLag = 0;  // the range asked for, in whole lags
  int inRangeMaxLag = 0;
};

namespace {

bool SettingsUsable(const TrackerSettings& s) {
  // The lags must fit an int: periods up to kLongestFrame samples.
  return s.sampleRate > 0.0 && s.minHz > 0.0 && s.maxHz > s.minHz && std::isfinite(s.sampleRate) &&
         std::isfinite(s.maxHz) && s.sampleRate / s.minHz <= kLongestFrame;
}

SearchPlan PlanSearch(int n, const TrackerSettings& s) {
  SearchPlan p;
  if (!SettingsUsable(s)) return p;  // no lags: PeriodSearch and the tracker refuse it
  const double rate = s.sampleRate;
  // The longest in-range period, and the longest searched (an octave further).
  const double longest = rate / s.minHz;
  const int wanted = static_cast<int>(std::ceil(kReachBeyondRange * longest));
  p.minLag = std::max(2, static_cast<int>(std::floor(rate / (kReachBeyondRange * s.maxHz))));
  // The frame's own search: up to two periods of kFrameFloorHz in the frame, and half the
  // frame at most (the integration window is the rest of it).
  p.frameMaxLag = std::min({n / 2, static_cast<int>(std::ceil(rate / kFrameFloorHz)), wanted});
  p.inRangeMinLag = std::max(2, static_cast<int>(std::floor(rate / s.maxHz)));
  p.inRangeMaxLag = std::min(static_cast<int>(std::ceil(longest)), p.frameMaxLag);
  if (wanted <= p.frameMaxLag) return p;
  // The longer frame: twice the frame at least, and two in-range periods of minHz; its
  // integration window holds the longest in-range period, the rest is lags.
  int length = 2 * n;
  while (length < kLongestFrame && length < 2.0 * longest) length *= 2;
  const int maxLag = std::min(wanted, length - static_cast<int>(std::ceil(longest)));
  if (maxLag <= p.frameMaxLag || length > kLongestFrame) return p;
  p.longFrame = length;
  p.longMaxLag = maxLag;
  p.inRangeMaxLag = std::min(static_cast<int>(std::ceil(longest)), p.longMaxLag);
  return p;
}

}  // namespace

int32_t PreciseFrameLength(uint32_t sampleRate) {
  // The frame's own search needs a lag of rate / kFrameFloorHz samples, which it searches up
  // to half the frame.
  const double needed = 2.0 * static_cast<double>(sampleRate) / kFrameFloorHz;
  for (int32_t n = 256; n < 2048; n *= 2)
    if (static_cast<double>(n) >= needed) return n;
  return 2048;
}

PitchTracker::PitchTracker(int frameLength, const TrackerSettings& settings)
    : PitchTracker(frameLength, settings, PlanSearch(frameLength, settings)) {}

PitchTracker::PitchTracker(int frameLength, const TrackerSettings& settings,
                           const SearchPlan& plan)
    : settings_(settings), frame_(frameLength, plan.minLag, plan.frameMaxLag) {
  if (frameLength < 64 || !PowerOfTwo(frameLength) || !SettingsUsable(settings) ||
      !frame_.valid())
    return;
  if (plan.inRangeMinLag + 2 > plan.inRangeMaxLag) return;
  inRangeMinLag_ = plan.inRangeMinLag;
  // The longest in-range period with the range's tolerance, in whole lags.
  inRangeMaxLag_ = static_cast<int>(
      std::ceil(settings.sampleRate / settings.minHz * std::exp2(kRangeToleranceCents / 1200.0)));
  if (plan.longFrame > 0) {
    long_.emplace(plan.longFrame, plan.minLag, plan.longMaxLag);
    if (!long_->valid()) return;
    history_ = plan.longFrame - frameLength;
  }
  n_ = frameLength;
  const int hop = settings.hop > 0 ? settings.hop : frameLength / 2;
  // Both bounded, so that settings of any size give a count that fits (a NaN gives the
  // lower bound).
  const double run = std::ceil(settings.runSeconds * settings.sampleRate / hop - 1e-9);
  runFrames_ = static_cast<int>(run >= 2.0 ? std::min(run, 1e6) : 2.0);
  recentDb_.Resize(settings.loudestSeconds, settings.sampleRate, hop);
  voiceDb_.Resize(settings.voiceSeconds, settings.sampleRate, hop);
  const double bridge = std::floor(settings.bridgeSeconds * settings.sampleRate / hop + 1e-9);
  bridgeFrames_ = static_cast<int>(bridge >= 0.0 ? std::min(bridge, 1e6) : 0.0);
  valid_ = true;
}

bool PitchTracker::InRange(double hz) const {
  const double tolerance = std::exp2(kRangeToleranceCents / 1200.0);
  return hz >= settings_.minHz / tolerance && hz <= settings_.maxHz * tolerance;
}

int PitchTracker::NearTheVoice(int lag, bool loud) const {
  // The pitch to be near, and how near: the previous frame's, within a continuation; else,
  // for a frame loud enough to be bridged, the last clear frame's within the bridge's reach,
  // while the bridge still holds (this frame would be the sinceClear_ + 1-th after it).
  double voice = previousHz_;
  double semitones = settings_.continuationSemitones;
  if (voice <= 0.0 && loud && sinceClear_ < bridgeFrames_) {
    voice = clearHz_;
    semitones = settings_.bridgeSemitones;
  }
  if (voice <= 0.0) return lag;
  const double rate = settings_.sampleRate;
  if (std::abs(12.0 * std::log2(rate / lag / voice)) <= semitones) return lag;
  const double spread = std::exp2(semitones / 12.0);
  const int near = frame_.DeepestDip(static_cast<int>(std::ceil(rate / (voice * spread))),
                                     static_cast<int>(std::floor(rate * spread / voice)));
  return near > 0 && frame_.Confidence(near) >= settings_.continuedConfidence ? near : lag;
}

PitchEstimate PitchTracker::Analyze(std::span<const double> samples) {
  PitchEstimate estimate;
  if (!valid_ || samples.size() < static_cast<size_t>(n_)) return estimate;
  const double* frame = samples.data() + (samples.size() - static_cast<size_t>(n_));
  frame_.Analyze(frame);
  const double meanSquare = frame_.MeanSquare();
  estimate.levelDb =
      meanSquare > 0.0 ? std::max(kFloorDb, 10.0 * std::log10(meanSquare)) : kFloorDb;
  const double loudest = recentDb_.Push(estimate.levelDb);
  const bool loudEnough = estimate.levelDb >= settings_.silenceDb &&
                          estimate.levelDb >= loudest - settings_.quietBelowLoudestDb;
  estimate.audible = loudEnough;
  const double voiceLoudest = voiceDb_.Push(estimate.levelDb);
  estimate.underVoiceDb = voiceLoudest - estimate.levelDb;

  const PeriodSearch* search = &frame_;
  int lag = frame_.ChoosePeriod();
  double confidence = frame_.Confidence(lag);
  // A period shorter than the range's is taken as what it is (a pitch above the range)
  // only when it is clear; an unsettled frame (an onset's transient, a breath) whose best
  // dip happens to lie there is searched again within the range.
  if (lag < inRangeMinLag_ && confidence < settings_.continuedConfidence) {
    lag = frame_.ChoosePeriod(inRangeMinLag_);
    confidence = frame_.Confidence(lag);
  }
  // The longer frame, when the frame's answer may be a harmonic of a period longer than it
  // holds: its confidence is low, or its double lies past the frame's lags, so the dip
  // there that would confirm it (or show the period twice as long) cannot be seen.
  const bool doubtful =
      confidence < settings_.voicedConfidence || 2 * lag > frame_.maxLag();
  if (long_ && loudEnough && doubtful &&
      samples.size() >= static_cast<size_t>(long_->frameLength())) {
    long_->Analyze(samples.data() + (samples.size() - static_cast<size_t>(long_->frameLength())));
    const int longLag = long_->ChoosePeriod();
    // Taken only for a period the frame cannot see, with a higher confidence than the
    // frame's own; and when the frame's period was confident, only when the longer frame
    // finds no dip there nearly as deep (by the margin the choice of the period allows the
    // first dip): otherwise that period stands, as the earlier of two dips about as deep
    // (the longer period being its double, the two halves of a sampled loop differing).
    // A period longer than the range's must be confident on its own: at an onset the longer
    // frame reaches back into what came before the note, where its far lags find nothing
    // but the change of level.
    const double longConfidence = longLag > frame_.maxLag() ? long_->Confidence(longLag) : 0.0;
    const bool frameConfident = confidence >= settings_.voicedConfidence;
    const bool belowRange = longLag > inRangeMaxLag_;
    if (longLag > frame_.maxLag() && longConfidence > confidence &&
        (!belowRange || longConfidence >= settings_.voicedConfidence) &&
        (!frameConfident ||
         long_->DipNear(lag) > long_->normalizedDifference()[static_cast<size_t>(longLag)] +
                                   PeriodSearch::DipMargin())) {
      search = &*long_;
      lag = longLag;
      confidence = longConfidence;
    }
  }
  // A doubtful frame whose period lies away from the voice just heard is searched again near
  // it (see NearTheVoice).
  if (search == &frame_ && loudEnough && confidence < settings_.voicedConfidence) {
    const int near = NearTheVoice(lag, estimate.underVoiceDb <= settings_.bridgeBelowLoudestDb);
    if (near != lag) {
      lag = near;
      confidence = frame_.Confidence(lag);
    }
  }
  const double hz = settings_.sampleRate / search->RefinePeriod(lag);
  estimate.inRange = InRange(hz);
  if (!estimate.inRange) confidence = std::min(confidence, kOutOfRangeConfidence);
  estimate.confidence = confidence;

  auto near = [&](double other) {
    return other > 0.0 && std::abs(12.0 * std::log2(hz / other)) <= settings_.continuationSemitones;
  };
  const bool candidate = loudEnough && estimate.inRange &&
                         estimate.underVoiceDb <= settings_.continuationBelowLoudestDb &&
                         estimate.confidence >= settings_.continuedConfidence;
  run_ = candidate ? (near(runHz_) ? run_ + 1 : 1) : 0;
  runHz_ = candidate ? hz : 0.0;
  const bool far = estimate.underVoiceDb > settings_.continuationBelowLoudestDb;
  const bool clear = loudEnough && estimate.inRange &&
                     (estimate.confidence >= (far ? settings_.farVoicedConfidence
                                                  : settings_.voicedConfidence) ||
                      (candidate && (near(previousHz_) || run_ >= runFrames_)));
  // The bridge holds only while every frame since the clear one stays loud: a pause, however
  // short, ends the line, and what starts after it (an onset's transient) is not bridged.
  const bool loud =
      loudEnough && estimate.underVoiceDb <= settings_.bridgeBelowLoudestDb;
  sinceClear_ = clear ? 0 : loud ? std::min(sinceClear_ + 1, 1 << 30) : 1 << 30;
  if (clear) clearHz_ = hz;
  const bool bridged = !clear && candidate && loud && sinceClear_ <= bridgeFrames_ &&
                       std::abs(12.0 * std::log2(hz / clearHz_)) <= settings_.bridgeSemitones;
  const bool voiced = clear || bridged;
  if (!voiced && loudEnough && search == &frame_) {
    int dips[kAlternatives + 1];
    const int found = frame_.DeepestDips(dips, kAlternatives + 1);
    int kept = 0;
    for (int k = 0; k < found && kept < kAlternatives; ++k) {
      if (dips[k] == lag) continue;
      const double c = frame_.Confidence(dips[k]);
      if (c < settings_.continuedConfidence) continue;  // before the refinement, which costs
      const double alternative = settings_.sampleRate / frame_.RefinePeriod(dips[k]);
      if (InRange(alternative))
        estimate.alternatives[static_cast<size_t>(kept++)] = {alternative, c};
    }
  }
  estimate.voiced = voiced;
  estimate.candidateHz = hz;
  estimate.hz = voiced ? hz : 0.0;
  previousHz_ = estimate.hz;
  return estimate;
}

}  // namespace tonamira
