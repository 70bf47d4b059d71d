#include "analysis/note_readout.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "analysis/note_name.h"
#include "analysis/rounding.h"

namespace tonamira {
namespace {

// The widest deviation still drawn green: about the smallest mistuning a trained ear hears
// in a sustained note.
constexpr double kInTuneCents = 10.0;
// The widest deviation drawn yellow: a quarter of a semitone; beyond it, red.
constexpr double kNearlyInTuneCents = 25.0;

}  // namespace

double ClampReferenceA4(double a4Hz) {
  if (!std::isfinite(a4Hz)) return kDefaultReferenceA4;
  return std::clamp(a4Hz, kLowestReferenceA4, kHighestReferenceA4);
}

CentsBand CentsBandOf(double cents) {
  const double off = std::abs(cents);
  if (off <= kInTuneCents) return CentsBand::Green;
  if (off <= kNearlyInTuneCents) return CentsBand::Yellow;
  return CentsBand::Red;  // also NaN, for which both comparisons fail
}

NoteReading ReadNote(double hz, double a4Hz) {
  NoteReading r;
  if (!(hz > 0.0) || !std::isfinite(hz)) return r;
  const NearestNote note = NearestNoteOf(hz, ClampReferenceA4(a4Hz));
  r.valid = true;
  r.midi = note.midi;
  r.name = NoteName(note.midi);
  r.cents = note.cents;
  r.shownCents = RoundInt(note.cents);
  r.centsText = std::to_string(r.shownCents);
  if (r.shownCents > 0) r.centsText.insert(r.centsText.begin(), '+');
  r.band = CentsBandOf(r.shownCents);
  return r;
}

}  // namespace tonamira
