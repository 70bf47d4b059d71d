#include "cli/tool_help.h"

#include <cstdio>

#include "analysis/live_pitch.h"
#include "analysis/pitch_tracker.h"
#include "cli/command_table.h"

namespace tonamira {
namespace {

const char* const kIntro =
    "tonamira-cli: the pitch of every frame of a sound file, as CSV on standard output.\n"
    "\n";

const char* const kFiles =
    "\n"
    "Files: 8- and 16-bit PCM WAV are read by the program's own reader, exactly as the\n"
    "window reads them. Other files (24- and 32-bit integer, float and extensible WAV, FLAC,\n"
    "Ogg Vorbis, AIFF and whatever else libsndfile reads) are read through libsndfile; the\n"
    "window method sees them as 16-bit samples, the precise and live methods at full\n"
    "resolution. Every command that reads a sound reads it this way.\n"
    "\n"
    "Batches: analyze and plot take several files (analyze also - for standard input),\n"
    "--jobs N at once (default: the machine's cores); what they print does not depend on N.\n"
    "With several files analyze prints one table with a leading file column, or with\n"
    "--out-dir DIR writes DIR/NAME.csv for each file (stdin.csv for -) and prints its path.\n"
    "A file that cannot be read is reported and the others go on; the status is then 2.\n"
    "\n"
    "Frames: each row is one frame of --frame sample frames; frames start every --hop sample\n"
    "frames from the start of the sound, as long as a whole frame fits in it.\n"
    "\n"
    "Options:\n"
    "  --method window   the window's own detector (default): peaks of the Hamming-windowed\n"
    "                    spectrum, the pitch in whole hertz.\n";

// The parts that state the tracker's range and frames, filled in from the tracker.
const char* const kPrecise =
    "  --method precise  a time-domain periodicity tracker for one voice or instrument\n"
    "                    (%g to %g Hz; pitches too low for two periods in the frame on a\n"
    "                    longer stretch of sound ending with it): the pitch to a hundredth\n"
    "                    of a hertz, a voicing decision and a confidence.\n"
    "  --method live     the precise tracker as the live pitch trace runs it: the samples\n"
    "                    streamed through it, a frame every --hop (default: %d sample frames\n"
    "                    at 44100 and 48000 Hz, the largest power of two within 10 ms), the\n"
    "                    voicing of each frame decided with a look-ahead of %d frames instead\n"
    "                    of the whole sound. --frame defaults to the precise tracker's own\n"
    "                    frame (two periods of %g Hz: %d at 44100 Hz, %d at 22050 Hz).\n";

const char* const kOptions =
    "  --channel first|second|mix\n"
    "                    the channel the pitch is taken from; mix is the mean of all\n"
    "                    channels. Default: the window's rule, the spectrum transformed last,\n"
    "                    i.e. the second channel of a stereo file (the first of any other).\n"
    "  --a4 HZ           the A4 of the note names and cents (default 440).\n"
    "  --frame N         frame length in sample frames: 256, 512, 1024 or 2048 (default 2048).\n"
    "  --hop N           sample frames from one frame's start to the next (default frame / 2;\n"
    "                    live: see above).\n"
    "  --threshold X     window method: the height a spectrum peak must exceed, in the level's\n"
    "                    units (default 10 for 16-bit sound, 0.1 for 8-bit).\n"
    "  --cutoff HZ       window method: no peak at or below this frequency (default 30).\n"
    "  --min-hz HZ, --max-hz HZ\n"
    "                    precise and live methods: the lowest and highest pitch searched\n"
    "                    (default: the tracker's range above); a pitch outside them is\n"
    "                    unvoiced, never taken for the octave that lies inside.\n"
    "  --jobs N          files analysed at once (default: the machine's cores).\n"
    "  --out-dir DIR     one CSV per file in DIR (made if missing) instead of one table.\n"
    "\n"
    "Columns of analyze:\n"
    "  file        with several files (and no --out-dir): the file as it was named.\n"
    "  time_s      start of the frame, in seconds from the start of the sound (4 decimals).\n"
    "  frame_pos   byte offset of the frame's first sample frame in the sound's data; for a\n"
    "              file read through libsndfile, in its 16-bit form (2 bytes per sample).\n"
    "  pitch_hz    the pitch in hertz: whole hertz (window), 2 decimals (precise, live);\n"
    "              empty where the frame has no pitch (precise, live: an unvoiced frame).\n"
    "  level       window: the height of the tallest spectrum peak in sample units (a\n"
    "              full-scale 16-bit sine shows about 8840), empty where no pitch;\n"
    "              precise and live: the frame's RMS level in dB of full scale (a\n"
    "              full-scale sine is -3.0), 1 decimal, on every frame, -120.0 at the\n"
    "              lowest.\n"
    "  note        the equal-tempered note nearest the pitch, in scientific pitch notation\n"
    "              with # for sharps (C4 is middle C, A4 the --a4 reference); empty where\n"
    "              no pitch.\n"
    "  cents       the pitch's distance from that note in cents (hundredths of a semitone,\n"
    "              -50.0 to +50.0, 1 decimal); empty where no pitch.\n"
    "  confidence  precise and live methods, on every frame: how periodic the frame is,\n"
    "              from 0 (noise) to 1 (perfectly periodic), 3 decimals. A frame is voiced\n"
    "              from 0.85, or from 0.5 when its pitch continues a voiced neighbour's.\n"
    "\n"
    "info prints the format record of a WAV file the own reader takes (libsndfile's format\n"
    "description for other files), the sample frames and the duration in seconds.\n"
    "\n"
    "A sound shorter than one frame gives no rows and a note on standard error.\n"
    "Exit status: 0 success, 1 usage error, 2 a file that could not be read or analysed.\n";

}  // namespace

std::string ToolHelp() {
  const TrackerSettings tracker;
  char precise[2048];
  std::snprintf(precise, sizeof precise, kPrecise, tracker.minHz, tracker.maxHz,
                LiveHop(44100.0), kDefaultLiveLookAhead, kFrameFloorHz,
                PreciseFrameLength(44100), PreciseFrameLength(22050));
  return std::string(kIntro) + ToolUsage() + kFiles + precise + kOptions;
}

}  // namespace tonamira
