#pragma once
// The tone commands of tonamira-cli: the mixer's tone from given harmonics, and the mixer's
// resynthesis of one analysed frame of a WAV file.
//
//   tonamira-cli synth --freq HZ --levels L1,L2,... [--phases P1,P2,...] [--volume V]
//                      [--length TENTHS] -o OUT.wav
//   tonamira-cli resynth IN.wav --at SECONDS -o OUT.wav [--volume V] [--length TENTHS]
//
// Both write 16-bit mono 44100 Hz through the window's own atomic WAV writer. Exit status:
// 0 success, 1 usage error (nothing written), 2 a file that could not be read or written,
// or (resynth) no whole frame or no pitch at that time (nothing written).

#include <ostream>
#include <string_view>

namespace tonamira {

// True for the commands RunToneCommand serves.
bool IsToneCommand(std::string_view command);

// Runs "synth" or "resynth" (argv[1]) with the rest of the arguments. The resynthesis
// summary goes to out; messages, including that the volume was reduced, to err. usage is
// the tool's usage text, printed after a usage error.
int RunToneCommand(int argc, char** argv, std::ostream& out, std::ostream& err,
                   std::string_view usage);

}  // namespace tonamira
