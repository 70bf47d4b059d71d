#pragma once
// `tonamira-cli --help`: the usage, then every option and column explained.

#include <string>

namespace tonamira {

std::string ToolHelp();

}  // namespace tonamira
