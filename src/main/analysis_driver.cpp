// Drawing and analysing one frame: the waveform, the spectrum of each channel, the pitch
// detection and everything that shows its result (read-outs, voiceprint column, key marks,
// the mixer while it follows the analysis). RedrawAll takes the current sound at FramePos;
// AnalyzeFrame takes any buffer at any offset and refuses a frame that is too loud.

#include <QString>

#include <algorithm>
#include <cmath>

#include "analysis/detection.h"
#include "analysis/frame_analysis.h"
#include "analysis/rounding.h"
#include "analysis/spectrum.h"
#include "main/form_main.h"
#include "views/grid.h"
#include "views/spectrum_view.h"
#include "views/voiceprint_view.h"
#include "views/waveform_view.h"

namespace tonamira {

std::span<const uint8_t> FormMain::CurrentSoundBytes() const {
  if (!SoundPresent() || Sound.WaveDataSize <= 0) return {};
  const size_t capacity =
      Sound.SoundSetAside ? Mixer.MixBuffer.size : Sound.OwnedWaveData.size;
  // Never more than the block that holds the sound, whatever WaveDataSize says.
  const size_t size = std::min(capacity, static_cast<size_t>(Sound.WaveDataSize));
  return {Sound.WaveData, size};
}

bool FormMain::CurrentFrameTaken() const {
  const std::span<const uint8_t> bytes = CurrentSoundBytes();
  const WaveFormat& f = Sound.WaveFormat;
  return !bytes.empty() && AnalysableBits(f.wBitsPerSample) &&
         FrameWithin(bytes.size(), Sound.FramePos, Analysis.FftSize, f.nBlockAlign,
                     f.wBitsPerSample, f.nChannels);
}

void FormMain::ResetFftSettings() {
  Display.MaxDisplayFreq = 2000.0;
  Analysis.FftSizeExp = 3;
  Analysis.FftSize = RoundInt(std::pow(2.0, Analysis.FftSizeExp)) * 256;
  freq->SetMax(RoundInt(Display.MaxDisplayFreq));
}

void FormMain::RedrawAll() {
  const bool taken = CurrentFrameTaken();
  const WaveFormat& f = Sound.WaveFormat;

  Canvas& wave = PaintBoxGra->Canvas();
  ClearBox(wave);
  DrawWaveGrid(wave, f.nSamplesPerSec, Analysis.FftSize, Display.WaveMinorGrid,
               Display.WaveMajorGrid);
  if (taken) {
    // The level flag is not looked at here: a loud frame reached by scrolling is analysed.
    const int32_t zoom = WaveZoom(ScrollBarWaveTimes->Max(), ScrollBarWaveTimes->Position());
    Analysis.LevelOk = DrawWaveform(wave, Analysis.FftSize, CurrentSoundBytes(),
                                    f.wBitsPerSample, f.nChannels, Sound.FramePos, zoom)
                           ? 1
                           : 0;
  }
  PaintBoxGra->Present();

  Canvas& fft = PaintBoxFft->Canvas();
  ClearBox(fft);
  DrawSpectrumGrid(fft, Display.SpecMinorGrid, Display.SpecMajorGrid, Display.MaxDisplayFreq);
  if (taken) {
    const std::span<const uint8_t> bytes = CurrentSoundBytes();
    ComputeSpectrum(Analysis.FftSize, bytes.data(), bytes.size(), PaintBoxFft,
                    f.wBitsPerSample, f.nChannels, Sound.FramePos);
    ShowDetection();
  } else {
    ShowNoDetection();
  }
  PaintBoxFft->Present();
}

void FormMain::AnalyzeFrame(int32_t n, const uint8_t* data, size_t dataSize, uint32_t offset,
                            int32_t channels, int32_t bits, PaintBox* waveBox,
                            PaintBox* fftBox) {
  Analysis.LevelOk = 1;
  const bool taken = data != nullptr && SoundPresent() && AnalysableBits(bits) &&
                     FrameWithin(dataSize, offset, n, Sound.WaveFormat.nBlockAlign, bits,
                                 channels);

  Canvas& wave = waveBox->Canvas();
  ClearBox(wave);
  DrawWaveGrid(wave, Sound.WaveFormat.nSamplesPerSec, Analysis.FftSize,
               Display.WaveMinorGrid, Display.WaveMajorGrid);
  if (taken) {
    const int32_t zoom = WaveZoom(ScrollBarWaveTimes->Max(), ScrollBarWaveTimes->Position());
    if (!DrawWaveform(wave, n, {data, dataSize}, bits, channels, offset, zoom))
      Analysis.LevelOk = 0;
  }
  if (Analysis.LevelOk == 0) {
    // Too loud to analyse: the spectrum, read-outs, voiceprint, keys and mixer stay.
    DrawLoudWarning(wave);
    waveBox->Present();
    return;
  }
  waveBox->Present();

  Canvas& fft = fftBox->Canvas();
  ClearBox(fft);
  DrawSpectrumGrid(fft, Display.SpecMinorGrid, Display.SpecMajorGrid, Display.MaxDisplayFreq);
  if (taken) {
    ComputeSpectrum(n, data, dataSize, fftBox, bits, channels, offset);
    ShowDetection();
  } else {
    ShowNoDetection();
  }
  fftBox->Present();
}

void FormMain::ComputeSpectrum(int32_t n, const uint8_t* data, size_t dataSize, PaintBox* box,
                               int32_t bits, int32_t channels, uint32_t offset) {
  if (Devices.Closing || !SoundPresent()) return;
  FftArrays& a = Analysis.Fft;
  // Only whole frames of 8- or 16-bit samples are read; anything else would leave the
  // previous frame's samples in the transform input.
  if (!a.allocated() || n > a.capacity || data == nullptr || !AnalysableBits(bits) ||
      !FrameWithin(dataSize, offset, n, Sound.WaveFormat.nBlockAlign, bits, channels))
    return;
  const FftPlan& plan = Analysis.Plans.For(n);
  const uint8_t* frame = data + offset;

  Canvas& canvas = box->Canvas();
  const int32_t height = canvas.Height();
  const double zoom = ScrollBarFftTimes->Max() - ScrollBarFftTimes->Position() + 1;
  const std::span<const double> mags(a.mag.get(), static_cast<size_t>(n / 2));
  const std::span<double> noise(a.noise.get(), static_cast<size_t>(a.capacity));
  SpectrumPeakState peaks{Analysis.PeakThreshold, Analysis.CutoffBin, Analysis.CaptureNoise,
                          Analysis.SpectrumPeakMax};
  auto drawChannel = [&](double baseline, double scale, Rgb brush) {
    canvas.SetBrushColor(brush);
    DrawSpectrum(canvas, Sound.RecRate, n, baseline, scale, mags, noise,
                 Display.MaxDisplayFreq, zoom, peaks);
    Analysis.PeakThreshold = peaks.peakThreshold;
    Analysis.CaptureNoise = peaks.captureNoise;
    Analysis.SpectrumPeakMax = peaks.spectrumPeakMax;
  };

  const double scale =
      LoadWindowedChannel(frame, n, bits, channels, 0, plan.window(), a.input.get());
  if (!plan.Run(a.input.get(), a.out.get(), a.work.get(), a.mag.get())) return;
  const double baseline =
      channels == 1 ? RoundEven(height - 1) : RoundEven(static_cast<double>(height) / 2.0);
  drawChannel(baseline, scale, kRed);

  if (channels == 2) {
    LoadWindowedChannel(frame, n, bits, channels, 1, plan.window(), a.input.get());
    if (!plan.Run(a.input.get(), a.out.get(), a.work.get(), a.mag.get())) {
      MessageBox("error", "");
      return;
    }
    drawChannel(RoundEven(height - 1), scale, kBlue);
  }
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
    LbfftValue->SetCaption(QString());
    Label21->SetCaption(QString());
    ClearHarmonicBars();
  }
}

void FormMain::ShowNoDetection() {
  ClearKeyMarks();
  LbfftValue->SetCaption(QString());
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
  LbfftValue->SetCaption(QString::number(Analysis.Detection.detectedFreq));
}

void FormMain::MarkDetectedKey() {
  ::tonamira::MarkDetectedKey(Analysis.Detection.detectedFreq, Mixer.KeyFreq, Mixer.KeyColor);
  ShowKeyColors();
}

void FormMain::ButfftampfilsetClick() {
  if (!Devices.Recording) return;
  Analysis.CaptureNoise = true;
  const int32_t n = RoundInt(Analysis.FftSize / (Sound.RecRate / 2.0 / Display.MaxDisplayFreq));
  const int32_t clear = std::min(n, Analysis.Fft.capacity);
  if (clear >= 1 && Analysis.Fft.noise) std::fill_n(Analysis.Fft.noise.get(), clear, 0.0);
}

}  // namespace tonamira
