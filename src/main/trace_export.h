#pragma once
// The pitch trace's export of the current sound: its contour drawn as `tonamira-cli plot`
// draws it (PNG or SVG), or its rows as `tonamira-cli analyze --method precise` prints them
// (CSV), chosen by the file's extension. The tool's own code does both, so a file exported
// from the window and one made by the tool from the same sound are the same.

#include <cstdint>
#include <span>
#include <string>

#include "sound/wave_format.h"

namespace tonamira {

// What the trace exports to: one of its extensions (.png, .svg, .csv, any case), or the name
// with ".png" appended when it has none of them.
std::string ExportNameWithSuffix(const std::string& name);

// Writes the export of the sound (bytes in format) to path, whose extension says which;
// notes and cents on the scale of a4Hz; title is the plot's. Returns an empty string or why
// the export could not be written.
std::string ExportContour(std::span<const uint8_t> bytes, const WaveFormat& format, double a4Hz,
                          const std::string& title, const std::string& path);

}  // namespace tonamira
