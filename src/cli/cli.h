#pragma once
// tonamira-cli: pitch analysis, pitch plots and test tones from the command line. The
// commands and their usage are in one table (cli/command_table.h); `tonamira-cli --help`
// explains every option and column.
//
// Exit status: 0 success, 1 usage error, 2 a file the reader (or the analysis) refused, or
// one that could not be written (cli/command_io.h).

#include <istream>
#include <ostream>

namespace tonamira {

// Runs the tool with the given arguments (argv[0] is the program name). Standard input (a
// file named "-") is read from in, output goes to out, messages to err. progressToTerminal
// enables the progress bar on err for long runs.
int RunCli(int argc, char** argv, std::istream& in, std::ostream& out, std::ostream& err,
           bool progressToTerminal);

// As above, with the process's standard input.
int RunCli(int argc, char** argv, std::ostream& out, std::ostream& err, bool progressToTerminal);

}  // namespace tonamira
