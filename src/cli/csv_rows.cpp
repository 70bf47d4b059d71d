#include "cli/csv_rows.h"

#include <cstdio>

#include "analysis/note_name.h"

namespace tonamira {

std::string CsvHeader(bool precise) {
  return precise ? "time_s,frame_pos,pitch_hz,level,note,cents,confidence\n"
                 : "time_s,frame_pos,pitch_hz,level,note,cents\n";
}

std::string CsvField(const std::string& text) {
  const bool plain = text.find_first_of(",\"\r\n") == std::string::npos &&
                     (text.empty() || (text.front() != ' ' && text.back() != ' '));
  if (plain) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

std::string NoteColumns(double hz, double a4Hz) {
  const NearestNote note = NearestNoteOf(hz, a4Hz);
  char cents[32];
  std::snprintf(cents, sizeof cents, "%.1f", note.cents);
  std::string text = cents;
  if (text == "-0.0") text = "0.0";
  return NoteName(note.midi) + "," + text;
}

void AppendWindowRow(std::string& out, const FrameRow& row, double a4Hz) {
  char line[96];
  int n;
  if (row.detected)
    n = std::snprintf(line, sizeof line, "%.4f,%llu,%d,%d,", row.timeSeconds,
                      static_cast<unsigned long long>(row.framePos), row.pitchHz, row.level);
  else
    n = std::snprintf(line, sizeof line, "%.4f,%llu,,,,\n", row.timeSeconds,
                      static_cast<unsigned long long>(row.framePos));
  out.append(line, static_cast<size_t>(n));
  if (row.detected) {
    out += NoteColumns(row.pitchHz, a4Hz);
    out += '\n';
  }
}

void AppendPreciseRow(std::string& out, const PreciseRow& row, double a4Hz) {
  char line[128];
  const PitchEstimate& e = row.estimate;
  int n;
  if (e.voiced)
    n = std::snprintf(line, sizeof line, "%.4f,%llu,%.2f,%.1f,", row.timeSeconds,
                      static_cast<unsigned long long>(row.framePos), e.hz, e.levelDb);
  else
    n = std::snprintf(line, sizeof line, "%.4f,%llu,,%.1f,,,", row.timeSeconds,
                      static_cast<unsigned long long>(row.framePos), e.levelDb);
  out.append(line, static_cast<size_t>(n));
  if (e.voiced) out += NoteColumns(e.hz, a4Hz) + ",";
  n = std::snprintf(line, sizeof line, "%.3f\n", e.confidence);
  out.append(line, static_cast<size_t>(n));
}

}  // namespace tonamira
