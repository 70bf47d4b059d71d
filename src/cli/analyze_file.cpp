#include "cli/analyze_file.h"

#include <optional>
#include <span>

#include "cli/analyze_live.h"
#include "cli/analyze_precise.h"
#include "cli/command_io.h"
#include "cli/csv_rows.h"
#include "cli/input_sound.h"
#include "cli/pcm_bytes.h"

namespace tonamira {
namespace {

// Rows are gathered in a block of this size before they go to the stream.
constexpr size_t kBlock = 1 << 16;

void ShortSoundNote(std::ostream& err, const std::string& file, int64_t frames, int32_t frame) {
  err << "tonamira-cli: " << file << ": note: ";
  if (frames < frame)
    err << "the sound has " << frames << " sample frames, fewer than one analysis frame of "
        << frame << "; no rows\n";
  else
    err << "no whole frame of " << frame << " fits in the sound's data; no rows\n";
}

}  // namespace

int AnalyzeFile(const std::string& name, const std::filesystem::path& path,
                const AnalyzeRequest& request, const FileSinks& sinks) {
  const InputPurpose purpose = request.precise ? InputPurpose::kStream : InputPurpose::kAnalyze;
  InputSound sound = OpenInput(path, purpose);
  if (!sound.ok) return Rejected(sinks.err, name + ": " + sound.message);

  AnalyzeOptions options = request.options;
  // The live method's frame is the trace's own unless one is asked for.
  if (request.live && !request.frameGiven)
    options.frame = PreciseFrameLength(sound.sampleRate());

  std::string buffer = sinks.fileField ? std::string() : CsvHeader(request.precise);
  buffer.reserve(kBlock);
  int64_t rows = 0;
  auto rowStart = [&] {
    if (sinks.fileField) {
      buffer += *sinks.fileField;
      buffer += ',';
    }
  };
  auto flushIfFull = [&] {
    ++rows;
    if (buffer.size() > kBlock - 256) {
      sinks.out << buffer;
      buffer.clear();
    }
  };
  auto onProgress = [&](double fraction) {
    if (sinks.progress) sinks.progress->Update(fraction);
  };
  std::string problem;
  if (request.precise) {
    std::optional<StreamedPcmBytes> streamed;
    PreciseInput input;
    if (sound.viaSndfile) {
      input.samples = sound.other.samples.data();
      input.frames = sound.other.frames;
      input.channels = sound.other.channels;
      input.sampleRate = static_cast<uint32_t>(sound.other.sampleRate);
    } else {
      streamed.emplace(*sound.source, sound.where.offset, sound.where.size);
      input.pcm = &*streamed;
      input.format = sound.where.format;
    }
    const auto print = [&](const PreciseRow& row) {
      rowStart();
      AppendPreciseRow(buffer, row, request.a4);
      flushIfFull();
    };
    problem = request.live ? AnalyzeSoundLive(input, options, print, onProgress)
                           : AnalyzeSoundPrecise(input, options, print, onProgress);
  } else {
    const PcmView view = MakePcmView(sound);
    problem = AnalyzeSound(
        std::span<const uint8_t>(view.data, view.size), view.format, options,
        [&](const FrameRow& row) {
          rowStart();
          AppendWindowRow(buffer, row, request.a4);
          flushIfFull();
        },
        onProgress);
  }
  if (sinks.progress) sinks.progress->Finish();
  if (!problem.empty()) return Rejected(sinks.err, name + ": " + problem);
  sinks.out << buffer << std::flush;
  if (rows == 0) ShortSoundNote(sinks.err, name, sound.frames(), options.frame);
  return kExitOk;
}

}  // namespace tonamira
