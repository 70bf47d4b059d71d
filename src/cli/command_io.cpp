#include "cli/command_io.h"

namespace tonamira {

int UsageError(std::ostream& err, const std::string& message, std::string_view usage) {
  Complain(err, message);
  err << usage;
  return kExitUsage;
}

void Complain(std::ostream& err, const std::string& message) {
  err << "tonamira-cli: " << message << '\n';
}

int Rejected(std::ostream& err, const std::string& message) {
  Complain(err, message);
  return kExitRejected;
}

}  // namespace tonamira
