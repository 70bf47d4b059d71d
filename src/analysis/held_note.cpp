#include "analysis/held_note.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "analysis/note_name.h"
#include "analysis/note_readout.h"

namespace tonamira {
namespace {

constexpr double kMidiA4 = 69.0;
constexpr double kCentsPerSemitone = 100.0;

bool Voiced(const LivePoint& p) { return p.voiced && p.hz > 0.0; }

}  // namespace

HeldNote FindHeldNote(std::span<const LivePoint> points, double a4Hz) {
  HeldNote note;
  const size_t n = points.size();
  if (n < 2) return note;
  const double a4 = ClampReferenceA4(a4Hz);
  const double step = (points[n - 1].timeSeconds - points[0].timeSeconds) /
                      static_cast<double>(points[n - 1].frame - points[0].frame);
  if (!(step > 0.0)) return note;
  auto cents = [&](size_t i) {
    return kCentsPerSemitone * (kMidiA4 + 12.0 * std::log2(points[i].hz / a4));
  };

  // The note must still sound: its last voiced point at most a gap before the end.
  size_t last = n;
  while (last > 0 && !Voiced(points[last - 1])) --last;
  if (last == 0) return note;
  --last;
  if (points[n - 1].timeSeconds - points[last].timeSeconds > kHeldNoteGapSeconds) return note;

  // The band is centred on the median pitch of the last second.
  std::vector<double> recent;
  for (size_t i = last + 1; i-- > 0 &&
                            points[last].timeSeconds - points[i].timeSeconds <= kHeldNoteSeconds;)
    if (Voiced(points[i])) recent.push_back(cents(i));
  std::nth_element(recent.begin(), recent.begin() + static_cast<std::ptrdiff_t>(recent.size() / 2),
                   recent.end());
  const double centre = recent[recent.size() / 2];

  // Back from the last voiced point while the pitch stays in the band, across short gaps.
  size_t first = last;
  for (size_t i = last; i-- > 0;) {
    if (!Voiced(points[i])) {
      if (points[first].timeSeconds - points[i].timeSeconds > kHeldNoteGapSeconds) break;
      continue;
    }
    if (std::abs(cents(i) - centre) > kHeldNoteBandCents) break;
    first = i;
  }
  note.seconds = points[last].timeSeconds - points[first].timeSeconds;
  if (note.seconds < kHeldNoteSeconds) return note;
  note.held = true;

  double sum = 0.0;
  int voiced = 0;
  for (size_t i = first; i <= last; ++i)
    if (Voiced(points[i])) {
      sum += cents(i);
      ++voiced;
    }
  const double meanMidi = sum / voiced / kCentsPerSemitone;
  const NearestNote nearest = NearestNoteOf(a4 * std::exp2((meanMidi - kMidiA4) / 12.0), a4);
  note.midi = nearest.midi;
  note.meanCents = nearest.cents;

  // The vibrato of the note's last seconds, from a voiced point on, each gap bridged by a
  // straight line between the voiced points either side.
  size_t from = first;
  while (points[last].timeSeconds - points[from].timeSeconds > kVibratoSeconds ||
         !Voiced(points[from]))
    ++from;
  std::vector<double> curve;
  curve.reserve(last - from + 1);
  size_t previous = from;
  for (size_t i = from; i <= last; ++i) {
    if (!Voiced(points[i])) continue;
    const double here = cents(i);
    const double before = cents(previous);
    for (size_t g = previous + 1; g < i; ++g)
      curve.push_back(before + (here - before) * static_cast<double>(g - previous) /
                                   static_cast<double>(i - previous));
    curve.push_back(here);
    previous = i;
  }
  note.vibrato = EstimateVibrato(curve, step);
  return note;
}

}  // namespace tonamira
