#pragma once
// Sound files in every common format for the decoder's tests, made at test time by the
// command-line tools a recorder or editor would use (sox, ffmpeg; scripts/deps.sh installs
// both) from a 16-bit WAV the test writes itself.

#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tonamira::testing {

// Runs a program with its arguments (no shell) and its output silenced; true when it exits 0.
inline bool RunTool(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) {
    ::freopen("/dev/null", "w", stdout);
    ::freopen("/dev/null", "w", stderr);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  if (::waitpid(child, &status, 0) != child) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// How each format is made from a 16-bit WAV: the tool and its arguments around the input
// and output names.
struct FormatRecipe {
  const char* name;
  const char* suffix;
  std::vector<std::string> before;  // the tool and the arguments before the input name
  std::vector<std::string> middle;  // arguments between the input and the output name
  bool lossless;                    // the samples come back exactly
};

inline bool MakeWith(const FormatRecipe& r, const std::string& in, const std::string& out) {
  std::vector<std::string> args = r.before;
  args.push_back(in);
  args.insert(args.end(), r.middle.begin(), r.middle.end());
  args.push_back(out);
  return RunTool(args);
}

inline const std::vector<std::string> kFfmpeg = {"ffmpeg", "-loglevel", "error", "-y", "-i"};

// The formats a singer's files come in. The WAV recipes write what their tools write for
// those sample types: sox writes 24-bit and more-than-two-channel WAV as WAVE_FORMAT_EXTENSIBLE,
// 32-bit float with the float tag.
inline const std::vector<FormatRecipe>& CommonFormats() {
  static const std::vector<FormatRecipe> recipes = {
      {"24-bit extensible WAV", ".wav", {"sox"}, {"-b", "24"}, true},
      {"float WAV", ".wav", {"sox"}, {"-e", "floating-point", "-b", "32"}, true},
      {"FLAC", ".flac", {"sox"}, {}, true},
      {"AIFF", ".aiff", {"sox"}, {}, true},
      {"Ogg Vorbis", ".ogg", kFfmpeg, {"-c:a", "libvorbis"}, false},
      {"Opus", ".opus", kFfmpeg, {"-c:a", "libopus", "-b:a", "96k"}, false},
      {"MP3", ".mp3", kFfmpeg, {"-c:a", "libmp3lame", "-b:a", "192k"}, false},
      {"M4A/AAC", ".m4a", kFfmpeg, {"-c:a", "aac", "-b:a", "192k"}, false},
  };
  return recipes;
}

}  // namespace tonamira::testing
