#pragma once
// tonamira-cli analyze: the CSV rows of one sound file, or of a batch of them; and info, the
// format record of one file. Both take the same options (info only uses --frame, for its
// note on a sound shorter than a frame).

#include "cli/command_io.h"

namespace tonamira {

int RunAnalyze(const Invocation& invocation);
int RunInfo(const Invocation& invocation);

}  // namespace tonamira
