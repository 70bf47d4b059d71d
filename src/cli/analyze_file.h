#pragma once
// One sound file through `tonamira-cli analyze`: opened through the tool's input, analysed
// with the method asked for, its CSV rows written as they come.

#include <filesystem>
#include <ostream>
#include <string>

#include "cli/analyze.h"
#include "cli/progress_bar.h"

namespace tonamira {

// The analysis asked for on the command line, the same for every file of a run.
struct AnalyzeRequest {
  AnalyzeOptions options;
  bool frameGiven = false;  // --frame given; otherwise live takes the tracker's own frame
  bool precise = false;     // precise or live: the precise columns and input
  bool live = false;
  double a4 = 440.0;
};

// Where one file's CSV and messages go.
struct FileSinks {
  std::ostream& out;
  std::ostream& err;
  ProgressBar* progress = nullptr;  // the fraction of this file analysed, when set
  // When set, every row begins with this CSV field and no header is written (a batch's
  // table, whose header the batch writes once).
  const std::string* fileField = nullptr;
};

// Analyses the file at path, named `name` in messages ("tonamira-cli: NAME: MESSAGE" on err),
// and writes its CSV to out: the header, then a row per frame, flushed in blocks. A sound
// shorter than one frame gives the header alone and a note. Returns kExitOk, or kExitRejected
// when the file could not be read or analysed (the rows written before the failure stay).
int AnalyzeFile(const std::string& name, const std::filesystem::path& path,
                const AnalyzeRequest& request, const FileSinks& sinks);

}  // namespace tonamira
