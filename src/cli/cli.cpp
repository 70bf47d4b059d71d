#include "cli/cli.h"

#include <QString>
#include <QStringList>

#include <iostream>
#include <string>

#include "cli/command_table.h"
#include "cli/options.h"
#include "cli/tool_help.h"

namespace tonamira {

int RunCli(int argc, char** argv, std::istream& in, std::ostream& out, std::ostream& err,
           bool progressToTerminal) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  if (argc < 2) return UsageError(err, "expected a command and one file", ToolUsage());

  const std::string first = argv[1];
  if (const Command* command = FindCommand(first))
    return command->run(Invocation{arguments, in, out, err, progressToTerminal});
  if (first.size() > 1 && first[0] == '-') {
    // An option before any command: the tool's own --help, or not an option it knows.
    CommandLine line({});
    if (!line.Parse(arguments.mid(0, 2))) return UsageError(err, line.error(), ToolUsage());
    if (line.helpAsked()) {
      out << ToolHelp();
      return kExitOk;
    }
  }
  return UsageError(err, "unknown command '" + first + "'", ToolUsage());
}

int RunCli(int argc, char** argv, std::ostream& out, std::ostream& err, bool progressToTerminal) {
  return RunCli(argc, argv, std::cin, out, err, progressToTerminal);
}

}  // namespace tonamira
