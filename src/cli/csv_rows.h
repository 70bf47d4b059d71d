#pragma once
// The CSV rows of `tonamira-cli analyze`: the four columns the window's method has always
// printed, then the note, the cents and, for the precise method, the confidence.

#include <string>

#include "analysis/pitch_tracker.h"
#include "cli/analyze.h"

namespace tonamira {

// "time_s,frame_pos,pitch_hz,level,note,cents", with ",confidence" when precise.
std::string CsvHeader(bool precise);

// time_s (four decimals), frame_pos, whole-hertz pitch and level, then the note and cents
// of that pitch on the scale of a4Hz; the last four are empty for a frame without a pitch.
void AppendWindowRow(std::string& out, const FrameRow& row, double a4Hz);

struct PreciseRow {
  uint64_t framePos = 0;
  double timeSeconds = 0.0;
  PitchEstimate estimate;
};

// time_s, frame_pos, pitch in hertz (two decimals, empty when unvoiced), level in dB of full
// scale (one decimal, every frame), note, cents (empty when unvoiced), confidence (three
// decimals, every frame).
void AppendPreciseRow(std::string& out, const PreciseRow& row, double a4Hz);

// text as one CSV field: as it is, or in double quotes (each quote doubled) when it holds a
// comma, a quote, a line break or a blank at either end.
std::string CsvField(const std::string& text);

// The note name and cents columns ("A#4,-12.3") of a pitch; cents with one decimal and never
// a negative zero.
std::string NoteColumns(double hz, double a4Hz);

}  // namespace tonamira
