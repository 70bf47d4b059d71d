#pragma once
// What every command of tonamira-cli runs with and how it ends: its arguments and streams,
// the exit statuses, and the two ways a command complains (a usage error, which shows the
// usage, and a refused file).

#include <QStringList>

#include <istream>
#include <ostream>
#include <string>
#include <string_view>

namespace tonamira {

// Exit statuses of the tool.
inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 1;     // nothing was read or written
inline constexpr int kExitRejected = 2;  // a file could not be read, analysed or written

struct Invocation {
  QStringList arguments;  // the program name, the command word, the command's arguments
  std::istream& in;       // standard input, for a file named "-"
  std::ostream& out;
  std::ostream& err;
  bool progressToTerminal = false;  // err is a terminal: a progress bar may be drawn on it
};

// "tonamira-cli: MESSAGE", then the usage; returns kExitUsage.
int UsageError(std::ostream& err, const std::string& message, std::string_view usage);

// "tonamira-cli: MESSAGE" on err.
void Complain(std::ostream& err, const std::string& message);

// Complain, returning kExitRejected.
int Rejected(std::ostream& err, const std::string& message);

}  // namespace tonamira
