#pragma once
// tonamira-cli: pitch analysis of sound files from the command line.
//
//   tonamira-cli analyze FILE [--method window|precise] [--channel first|second|mix]
//                             [--a4 HZ] [--frame 256|512|1024|2048] [--hop FRAMES]
//                             [--threshold X] [--cutoff HZ]
//   tonamira-cli info FILE
//   tonamira-cli plot FILE.wav [-o OUT.png|OUT.svg] [--method window|precise] [--from S] [--to S]
//   tonamira-cli synth ... / resynth ...   (see cli/tone_commands.h)
//   tonamira-cli --help      (every option and column explained)
//
// Exit status: 0 success, 1 usage error, 2 a file the reader (or the analysis) refused, or
// one that could not be written.

#include <ostream>

namespace tonamira {

// Runs the tool with the given arguments (argv[0] is the program name). Output goes to out,
// messages to err. progressToTerminal enables the progress bar on err for long runs.
int RunCli(int argc, char** argv, std::ostream& out, std::ostream& err, bool progressToTerminal);

}  // namespace tonamira
