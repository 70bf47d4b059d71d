#pragma once
// The harmonic tone mixer's rules over explicit data: how many harmonics fit, what the labels
// over the bars read, what a bar move does to a level, how long the tone and its fade are.
// The window keeps the controls; each of its mixer handlers asks these functions what to do.

#include <array>
#include <cstdint>
#include <string>

#include "analysis/detection.h"  // kHarmonics
#include "analysis/fft.h"        // Complex

namespace tonamira {

inline constexpr int32_t kLevelMax = 100;        // a harmonic's loudest level
inline constexpr int32_t kBarBottom = 100;       // a level bar's position at level 0
inline constexpr int32_t kVolumeMax = 300;       // the volume bar runs 0 .. 300
inline constexpr int32_t kMixTenthsMin = 1;      // the length bar runs 1 .. 30 tenths
inline constexpr int32_t kMixTenthsMax = 30;
inline constexpr uint32_t kToneRate = 44100;     // the tone is always 16-bit mono 44100 Hz
// Bytes of one tenth of a second of the tone: 4410 samples of two bytes.
inline constexpr uint32_t kMixBytesPerTenth = 8820;
inline constexpr int kHarmonicLabels = 10;   // labels over the odd harmonics 1, 3, .. 19

// 1-based per harmonic (index 0 unused), the layout of the mixer's own tables.
using HarmonicLevels = std::array<int32_t, kHarmonics + 1>;
using HarmonicPhases = std::array<double, kHarmonics + 1>;
using HarmonicComplexes = std::array<Complex, kHarmonics + 1>;
// A level bar's position per harmonic, 1-based: 0 at the top (level 100) .. 100 (level 0).
using HarmonicBarPositions = std::array<int32_t, kHarmonics + 1>;

// The number of harmonics of freq that lie at or below half of sampleRate, at most 20:
// Round(sampleRate / 2) divided by freq with the remainder dropped. A freq below 1 has none.
// 44100 Hz: 2000 Hz gives 11, 1102 Hz 20, 1103 Hz 19.
uint32_t HarmonicCount(uint32_t sampleRate, int32_t freq);

// The texts over the bars: entry j (1 .. 10) is freq x (2j - 1), the frequency of odd
// harmonic 2j - 1. Entry 0 is unused.
std::array<int64_t, kHarmonicLabels + 1> HarmonicLabelFrequencies(int32_t freq);

// What a level bar's change handler does when bar k (1 .. 20) stands at position.
struct BarChange {
  int32_t level = 0;        // the harmonic's new level
  bool springBack = false;  // the bar must go back to the bottom (harmonic above the count)
};
// A harmonic above harmonicCount cannot be raised: level 0 and the bar springs back to the
// bottom. Otherwise the level is 100 - position.
BarChange HarmonicBarChanged(int k, int32_t position, uint32_t harmonicCount);

// The position that shows a level: 100 - level, kept inside the bar's range 0 .. 100.
int32_t BarPositionForLevel(int32_t level);

// Moving every bar to the position of its level, as the window's bars do when set from
// code: a bar whose position changes runs the bar rule with harmonicCount (which may force
// it back to level 0); a bar that does not move keeps its level as it is.
void SettleHarmonicBars(HarmonicLevels& levels, HarmonicBarPositions& positions,
                        uint32_t harmonicCount);

// Every level to 0 and every phase to 0.0; the fundamental, volume and length stay.
void ResetHarmonics(HarmonicLevels& levels, HarmonicPhases& phases);

// The volume cut by a fifth: Round(volume x 0.8). 300 gives 240.
int32_t ReducedVolume(int32_t volume);

// The tone's length in seconds for a length-bar position: tenths x 0.1.
double MixTimeSeconds(int32_t tenths);
// The length in use back as a bar position: Round(mixTime x 10).
int32_t MixTimeTenths(double mixTime);
// The length shown beside the bar, in the shortest general form: 0.1, 0.5, 1, 2.3.
std::string MixTimeCaption(double mixTime);
// Bytes the mixer's buffer holds for a length-bar position: tenths x 8820 (0 below 1).
uint32_t MixBufferBytes(int32_t tenths);
// The fade-out length in samples, from the rate of the current sound when the length bar
// moves: Round(recRate x 0.005 x 10) for tones longer than half a second, otherwise
// Round(recRate x 0.005 x 10 x mixTime / 0.5), evaluated left to right. At 44100 Hz: 441
// samples for 0.1 s, 2205 for 0.5 s and longer.
int32_t FadeLength(int32_t recRate, double mixTime);

// Everything the length bar's change sets when the tone's length may change.
struct MixLength {
  double mixTime = 0.0;      // seconds
  uint32_t bufferBytes = 0;  // the size the mixer's buffer is to have
  int32_t fadeLength = 0;    // samples
  std::string caption;       // the length as shown
};
MixLength MixLengthFor(int32_t tenths, int32_t recRate);

// The bytes of the tone the mixer plays: the length bar's tenths x 8820, but never more
// than the buffer really holds (it keeps its old size when growing it failed), in whole
// samples.
uint32_t ToneBytes(int32_t tenths, uint64_t bufferBytes);

}  // namespace tonamira
