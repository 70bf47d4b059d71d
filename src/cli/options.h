#pragma once
// The options of tonamira-cli's commands: one way to parse a command's arguments and one set
// of parsers for the values they carry (whole numbers, real numbers, named choices, lists),
// shared by every command, and the options several commands take (--jobs, --min-hz and
// --max-hz).

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tonamira {

// A command's arguments parsed in the tool's one mode: a word after a single dash is a long
// option (-frame as --frame), and every command knows -h / --help.
class CommandLine {
 public:
  explicit CommandLine(const QList<QCommandLineOption>& options);

  // False when the arguments do not parse; error() says why.
  bool Parse(const QStringList& arguments);
  std::string error() const { return parser_.errorText().toStdString(); }
  bool helpAsked() const { return parser_.isSet(help_); }
  bool isSet(const QCommandLineOption& option) const { return parser_.isSet(option); }
  QString value(const QCommandLineOption& option) const { return parser_.value(option); }
  // The positional arguments after the command word.
  QStringList operands() const { return parser_.positionalArguments().mid(1); }

 private:
  QCommandLineParser parser_;
  QCommandLineOption help_;
};

// A whole number from lo to hi.
bool ParseWhole(const QString& text, int32_t lo, int32_t hi, int32_t& value);

// A finite real number.
bool ParseReal(const QString& text, double& value);

// One of a set of named values.
template <typename T>
struct Choice {
  const char* name;
  T value;
};
template <typename T, size_t N>
bool ParseChoice(const QString& text, const Choice<T> (&choices)[N], T& value) {
  for (const Choice<T>& c : choices)
    if (text == c.name) {
      value = c.value;
      return true;
    }
  return false;
}

// A comma-separated list of at most maxItems entries, each accepted by parse.
template <typename T, typename Parse>
bool ParseList(const QString& text, int maxItems, Parse parse, std::vector<T>& values) {
  const QStringList items = text.split(',');
  if (items.size() > maxItems) return false;
  for (const QString& item : items) {
    T value{};
    if (!parse(item, value)) return false;
    values.push_back(value);
  }
  return true;
}

// A file name given as an argument, back in the bytes the system spells it with (the
// arguments arrive in the local 8-bit encoding): the path to open, and the name messages
// show.
std::filesystem::path LocalPath(const QString& argument);
std::string LocalName(const QString& argument);

// --jobs N: how many files run at once; by default the machine's cores.
QCommandLineOption JobsOption();
// The jobs asked for (the cores when not set); an empty string, or the usage error.
std::string ReadJobs(const CommandLine& line, const QCommandLineOption& option, int& jobs);

// --min-hz HZ and --max-hz HZ: the pitch range the precise tracker searches, on the
// tracker's own range where one is not given. Either flag given to a method that searches no
// range (takesRange false) is refused as being for `rangeMethods` ("the precise method").
// An empty string, or the usage error.
QCommandLineOption MinHzOption();
QCommandLineOption MaxHzOption();
std::string ReadPitchRange(const CommandLine& line, const QCommandLineOption& minOption,
                           const QCommandLineOption& maxOption, bool takesRange,
                           const std::string& rangeMethods, double& minHz, double& maxHz);

}  // namespace tonamira
