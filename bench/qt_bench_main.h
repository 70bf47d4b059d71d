#pragma once
// The main of the benchmarks that make windows: the application on the offscreen platform
// (unless one is set), the program's look, then the benchmarks.

#include <QApplication>

#include <benchmark/benchmark.h>

#include "main/services.h"

namespace tonamira {

inline int RunWindowBenchmarks(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ApplyApplicationSettings();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

}  // namespace tonamira
