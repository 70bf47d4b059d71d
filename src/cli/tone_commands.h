#pragma once
// The tone commands of tonamira-cli: the mixer's tone from given harmonics, and the mixer's
// resynthesis of one analysed frame of a sound file (read through the tool's input, so any
// format the tool reads).
//
//   tonamira-cli synth --freq HZ --levels L1,L2,... [--phases P1,P2,...] [--volume V]
//                      [--length TENTHS] -o OUT.wav
//   tonamira-cli resynth FILE --at SECONDS -o OUT.wav [--volume V] [--length TENTHS]
//
// Both write 16-bit mono 44100 Hz through the window's own atomic WAV writer. Exit status:
// 0 success, 1 usage error (nothing written), 2 a file that could not be read or written,
// or (resynth) no whole frame or no pitch at that time (nothing written). The resynthesis
// summary goes to out; messages, including that the volume was reduced, to err; a usage
// error shows the tool's usage.

#include "cli/command_io.h"

namespace tonamira {

int RunSynth(const Invocation& invocation);
int RunResynth(const Invocation& invocation);

}  // namespace tonamira
