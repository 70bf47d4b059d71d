#pragma once
// tonamira-cli plot: the pitch contour of a sound file (or of each of several) as a PNG or
// SVG picture.

#include "cli/command_io.h"

namespace tonamira {

// Prints each written file's path on out, in the order the files were named, and messages
// on err. Exit status as the tool's: 0 done, 1 usage error, 2 a file that could not be read,
// analysed or written (the other files of a batch are still drawn).
int RunPlot(const Invocation& invocation);

}  // namespace tonamira
