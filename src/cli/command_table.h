#pragma once
// The commands of tonamira-cli in one table: each command's name, its usage (the lines of
// the tool's usage that show it) and the function that runs it. The tool dispatches through
// the table, and its usage is the table's usages in order.

#include <span>
#include <string>
#include <string_view>

#include "cli/command_io.h"

namespace tonamira {

struct Command {
  std::string_view name;
  // The command's synopsis as the usage shows it, from "tonamira-cli NAME", each line ending
  // in a line break; its continuation lines are indented as they stand in the usage, whose
  // lead ("usage: " or as many blanks) the first line lacks.
  std::string_view usage;
  int (*run)(const Invocation& invocation);
};

// Every command, in the order the usage lists them.
std::span<const Command> Commands();

// The command named `name`, or null.
const Command* FindCommand(std::string_view name);

// "usage: " and the first command's synopsis, the others' under it, then "--help".
std::string ToolUsage();

// The command's synopsis alone after "usage: ".
std::string CommandUsage(const Command& command);

}  // namespace tonamira
