// Drawing and analysing one frame: the waveform, the spectrum of each channel, the pitch
// detection and everything that shows its result (read-outs, voiceprint column, key marks,
// the mixer while it follows the analysis). RedrawAll takes the current sound at FramePos;
// AnalyzeFrame takes any buffer at any offset and refuses a frame that is too loud.

#include <QString>

#include <algorithm>
#include <cmath>
#include <string_view>

#include "analysis/detection.h"
#include "analysis/frame_analysis.h"
#include "analysis/loudness.h"
#include "analysis/rounding.h"
#include "analysis/spectrum.h"
#include "analysis/spectrum_peaks.h"
#include "main/form_main.h"
#include "views/grid.h"
#include "views/spectrum_view.h"
#include "views/voiceprint_view.h"
#include "views/waveform_view.h"

namespace tonamira {

namespace {
// The loudness warning, marked for the translations: the waveform view's own text.
constexpr const char* kLoudWarningSource =
    QT_TRANSLATE_NOOP("FormMain", "音を小さくしてください。");
static_assert(std::string_view(kLoudWarningSource) == std::string_view(kLoudWarning));
}  // namespace

void FormMain::ResetFftSettings() {
  Display.MaxDisplayFreq = 2000.0;
  Analysis.FftSizeExp = kDefaultFftSizeExp;
  Analysis.FftSize = FftSizeFromExp(Analysis.FftSizeExp);
  freq->SetMax(RoundInt(Display.MaxDisplayFreq));
}

void FormMain::RedrawAll() {
  // The level flag is not looked at here: a loud frame reached by scrolling is analysed.
  ShowFrame(CurrentFrame(), LoudFrames::Analysed, PaintBoxGra, PaintBoxFft);
}

void FormMain::AnalyzeFrame(int32_t n, const uint8_t* block, size_t blockSize, uint32_t offset,
                            int32_t channels, int32_t bits, PaintBox* waveBox,
                            PaintBox* fftBox) {
  const std::span<const uint8_t> bytes = block != nullptr
                                             ? std::span<const uint8_t>(block, blockSize)
                                             : std::span<const uint8_t>();
  const PcmFrame frame{bytes, offset, n, channels, bits, Sound.WaveFormat.nBlockAlign};
  Analysis.LevelOk = 1;
  ShowFrame(frame, LoudFrames::Refused, waveBox, fftBox);
}

void FormMain::DrawWaveView(Canvas& wave, const PcmFrame& frame, bool taken) {
  ClearBox(wave);
  DrawWaveGrid(wave, Sound.WaveFormat.nSamplesPerSec, Analysis.FftSize, Display.WaveMinorGrid,
               Display.WaveMajorGrid);
  if (!taken) return;
  const int32_t zoom = WaveZoom(ScrollBarWaveTimes->Max(), ScrollBarWaveTimes->Position());
  DrawWaveform(wave, frame.length, frame.bytes, frame.bits, frame.channels,
               static_cast<size_t>(frame.offset), zoom);
}

void FormMain::ShowFrame(const PcmFrame& frame, LoudFrames loud, PaintBox* waveBox,
                         PaintBox* fftBox) {
  const bool taken = SoundPresent() && frame.Readable();

  Canvas& wave = waveBox->Canvas();
  DrawWaveView(wave, frame, taken);
  if (taken) Analysis.LevelOk = FrameTooLoud(frame) ? 0 : 1;
  if (loud == LoudFrames::Refused && Analysis.LevelOk == 0) {
    // Too loud to analyse: the spectrum, read-outs, voiceprint, keys and mixer stay.
    DrawLoudWarning(wave, tr(kLoudWarningSource).toStdString());
    waveBox->Present();
    return;
  }
  waveBox->Present();

  Canvas& fft = fftBox->Canvas();
  ClearBox(fft);
  DrawSpectrumGrid(fft, Display.SpecMinorGrid, Display.SpecMajorGrid, Display.MaxDisplayFreq);
  if (taken) {
    ComputeSpectrum(frame, fftBox);
    ShowDetection();
  } else {
    ShowNoDetection();
  }
  fftBox->Present();
}

void FormMain::ComputeSpectrum(const PcmFrame& frame, PaintBox* box) {
  if (Devices.Closing || !SoundPresent()) return;
  FftArrays& a = Analysis.Fft;
  // Only whole frames of 8- or 16-bit samples are read; anything else would leave the
  // previous frame's samples in the transform input.
  if (!a.allocated() || frame.length > a.capacity || !frame.Readable()) return;
  const int32_t n = frame.length;
  const FftPlan& plan = Analysis.Plans.For(n);

  Canvas& canvas = box->Canvas();
  const int32_t height = canvas.Height();
  const double zoom = ScrollBarFftTimes->Max() - ScrollBarFftTimes->Position() + 1;
  const int32_t bins = DisplayBins(n, Sound.RecRate, Display.MaxDisplayFreq);
  const std::span<const double> mags(a.mag.get(), static_cast<size_t>(n / 2));
  const std::span<double> noise(a.noise.get(), static_cast<size_t>(a.capacity));
  // A mono frame is drawn red on the bottom baseline; a stereo frame's first channel red at
  // mid-height, its second blue at the bottom.
  auto drawChannel = [&](int channel, double scale) {
    const bool bottom = channel == 1 || frame.channels == 1;
    const double baseline = bottom ? RoundEven(height - 1)
                                   : RoundEven(static_cast<double>(height) / 2.0);
    SpectrumPeakState peaks{Analysis.PeakThreshold, Analysis.CutoffBin, Analysis.CaptureNoise,
                            Analysis.SpectrumPeakMax};
    ScanSpectrumPeaks(n, bins, mags, noise, peaks, Analysis.SpectrumPeaks);
    Analysis.PeakThreshold = peaks.peakThreshold;
    Analysis.CaptureNoise = peaks.captureNoise;
    Analysis.SpectrumPeakMax = peaks.spectrumPeakMax;
    canvas.SetBrushColor(channel == 0 ? kRed : kBlue);
    DrawSpectrumPeaks(canvas, Analysis.SpectrumPeaks, bins, baseline, scale, zoom);
  };
  if (TransformChannels(frame, plan, a, drawChannel) == TransformOutcome::SecondFailed)
    MessageBox("error", "");
}

void FormMain::ShowDetection() {
  if (Sound.WaveFormat.nAvgBytesPerSec == 0) return;
  ClearKeyMarks();
  const DetectionSettings settings{Analysis.PeakThreshold,
                                   Analysis.CutoffBin,
                                   Analysis.FftSize,
                                   Sound.RecRate,
                                   Display.MaxDisplayFreq,
                                   Sound.WaveFormat.nSamplesPerSec,
                                   Devices.DetectionDrivesMixer};
  const FftArrays& a = Analysis.Fft;
  const bool found =
      DetectPitch(a.mag.get(), a.noise.get(), a.out.get(), settings, Analysis.Detection);
  Analysis.VoiceprintBins = Analysis.Detection.voiceprintBins;
  if (found) {
    ShowDetectionResults();
  } else {
    ShowPitchReadout(std::nullopt);
    Label21->SetCaption(QString());
    ClearHarmonicBars();
  }
}

void FormMain::ShowNoDetection() {
  ClearKeyMarks();
  ShowPitchReadout(std::nullopt);
  Label21->SetCaption(QString());
  ClearHarmonicBars();
}

void FormMain::ShowDetectionResults() {
  if (Devices.DetectionDrivesMixer) {
    LevelsFromPeaks();   // may drop trailing peaks of harmonic 20 and above
    UpdateHarmonicLabels();
  }
  const PeakList& peaks = Analysis.Detection.peaks;
  const size_t count = static_cast<size_t>(std::clamp(peaks.count, 0, kMaxPeaks));
  VoiceprintState print{Display.VoiceprintColumn, Display.VoiceprintWidth};
  DrawVoiceprintColumn(PaintBoxSeimon->Canvas(), print, static_cast<int32_t>(count),
                       std::span<const double>(peaks.amp).subspan(1, count),
                       std::span<const int32_t>(peaks.bin).subspan(1, count),
                       Analysis.VoiceprintBins);
  Display.VoiceprintColumn = print.column;
  PaintBoxSeimon->Present();
  MarkDetectedKey();
  Label21->SetCaption(QString::number(Analysis.Detection.detectedLevel));
  ShowPitchReadout(Analysis.Detection.detectedFreq);
}

void FormMain::MarkDetectedKey() {
  ::tonamira::MarkDetectedKey(Analysis.Detection.detectedFreq, Mixer.KeyFreq, Mixer.KeyColor);
  ShowKeyColors();
}

void FormMain::ButfftampfilsetClick() {
  if (!Devices.Recording) return;
  Analysis.CaptureNoise = true;
  const int32_t n = DisplayBins(Analysis.FftSize, Sound.RecRate, Display.MaxDisplayFreq);
  const int32_t clear = std::min(n, Analysis.Fft.capacity);
  if (clear >= 1 && Analysis.Fft.noise) std::fill_n(Analysis.Fft.noise.get(), clear, 0.0);
}

}  // namespace tonamira
