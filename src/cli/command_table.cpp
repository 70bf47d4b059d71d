#include "cli/command_table.h"

#include "cli/analyze_command.h"
#include "cli/plot_command.h"
#include "cli/tone_commands.h"

namespace tonamira {
namespace {

const Command kCommands[] = {
    {"analyze",
     "tonamira-cli analyze FILE... [--method window|precise|live]\n"
     "                                    [--channel first|second|mix]\n"
     "                                    [--a4 HZ] [--frame 256|512|1024|2048]\n"
     "                                    [--hop FRAMES] [--threshold X] [--cutoff HZ]\n"
     "                                    [--min-hz HZ] [--max-hz HZ]\n"
     "                                    [--jobs N] [--out-dir DIR]\n",
     &RunAnalyze},
    {"info", "tonamira-cli info FILE\n", &RunInfo},
    {"plot",
     "tonamira-cli plot FILE... [-o OUT.png|OUT.svg] [--method window|precise]\n"
     "                                 [--from S] [--to S] [--min-hz HZ] [--max-hz HZ]\n"
     "                                 [--jobs N]\n",
     &RunPlot},
    {"synth",
     "tonamira-cli synth --freq HZ --levels L1,L2,... [--phases P1,P2,...]\n"
     "                          [--volume V] [--length TENTHS] -o OUT.wav\n",
     &RunSynth},
    {"resynth",
     "tonamira-cli resynth FILE --at SECONDS -o OUT.wav [--volume V]\n"
     "                            [--length TENTHS]\n",
     &RunResynth},
};

// The lead of a usage line: "usage: " on the first, as many blanks on the others.
constexpr std::string_view kFirstLead = "usage: ";
constexpr std::string_view kLead = "       ";

}  // namespace

std::span<const Command> Commands() { return kCommands; }

const Command* FindCommand(std::string_view name) {
  for (const Command& command : kCommands)
    if (command.name == name) return &command;
  return nullptr;
}

namespace {

// The synopsis with the lead before its first line (its other lines are indented already).
std::string Led(std::string_view lead, std::string_view synopsis) {
  return std::string(lead) + std::string(synopsis);
}

}  // namespace

std::string ToolUsage() {
  std::string text;
  for (const Command& command : kCommands)
    text += Led(text.empty() ? kFirstLead : kLead, command.usage);
  text += kLead;
  text += "tonamira-cli --help\n";
  return text;
}

std::string CommandUsage(const Command& command) { return Led(kFirstLead, command.usage); }

}  // namespace tonamira
