#pragma once
// tonamira-cli plot: the pitch contour of a sound file as a PNG or SVG picture.
//
//   tonamira-cli plot IN [-o OUT.png|OUT.svg] [--method window|precise] [--from S] [--to S]

#include <ostream>

namespace tonamira {

// Runs the plot command; argv[1] is "plot". Prints the written file's path on out and
// messages on err. Exit status as the tool's: 0 done, 1 usage error, 2 a file that could
// not be read, analysed or written.
int RunPlot(int argc, char** argv, std::ostream& out, std::ostream& err);

}  // namespace tonamira
