#include "cli/options.h"

#include <QFile>

#include <cmath>
#include <cstdio>
#include <thread>

#include "analysis/pitch_tracker.h"

namespace tonamira {

CommandLine::CommandLine(const QList<QCommandLineOption>& options)
    : help_(QStringList{"h", "help"}, "Show the usage.") {
  parser_.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  parser_.addOptions(options);
  parser_.addOption(help_);
}

bool CommandLine::Parse(const QStringList& arguments) { return parser_.parse(arguments); }

bool ParseWhole(const QString& text, int32_t lo, int32_t hi, int32_t& value) {
  bool ok = false;
  const int parsed = text.toInt(&ok);  // surrounding blanks allowed, no fraction, no hex
  if (!ok || parsed < lo || parsed > hi) return false;
  value = parsed;
  return true;
}

bool ParseReal(const QString& text, double& value) {
  bool ok = false;
  const double parsed = text.toDouble(&ok);
  if (!ok || !std::isfinite(parsed)) return false;
  value = parsed;
  return true;
}

std::filesystem::path LocalPath(const QString& argument) { return LocalName(argument); }

std::string LocalName(const QString& argument) {
  const QByteArray name = QFile::encodeName(argument);
  return std::string(name.constData(), static_cast<size_t>(name.size()));
}

QCommandLineOption JobsOption() { return {"jobs", "Files at once.", "N"}; }

std::string ReadJobs(const CommandLine& line, const QCommandLineOption& option, int& jobs) {
  if (!line.isSet(option)) {
    jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    return {};
  }
  int32_t value = 0;
  if (!ParseWhole(line.value(option), 1, INT32_MAX, value))
    return "--jobs must be a whole number, at least 1";
  jobs = value;
  return {};
}

QCommandLineOption MinHzOption() { return {"min-hz", "Lowest pitch searched.", "HZ"}; }
QCommandLineOption MaxHzOption() { return {"max-hz", "Highest pitch searched.", "HZ"}; }

namespace {

std::string Hertz(double hz) {
  char text[32];
  std::snprintf(text, sizeof text, "%g Hz", hz);
  return text;
}

}  // namespace

std::string ReadPitchRange(const CommandLine& line, const QCommandLineOption& minOption,
                           const QCommandLineOption& maxOption, bool takesRange,
                           const std::string& rangeMethods, double& minHz, double& maxHz) {
  if ((line.isSet(minOption) || line.isSet(maxOption)) && !takesRange)
    return "--min-hz and --max-hz are for " + rangeMethods;
  const TrackerSettings defaults;
  minHz = defaults.minHz;
  maxHz = defaults.maxHz;
  if (line.isSet(minOption) && (!ParseReal(line.value(minOption), minHz) || minHz <= 0.0))
    return "--min-hz must be a positive number of hertz";
  if (line.isSet(maxOption) && (!ParseReal(line.value(maxOption), maxHz) || maxHz <= 0.0))
    return "--max-hz must be a positive number of hertz";
  if (!(minHz < maxHz))
    return "--min-hz (" + Hertz(minHz) + ") must lie below --max-hz (" + Hertz(maxHz) + ")";
  return {};
}

}  // namespace tonamira
