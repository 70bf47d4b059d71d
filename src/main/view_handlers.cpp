// The handlers of the three views: repainting, the zoom scroll bars, the clicks that read a
// time, set the peak threshold or the low cut-off, the frequency-range and frame-length
// arrows, and the voiceprint with its scale.
//
// The paint boxes keep their pictures: a paint handler runs when its box is first shown and
// when a redraw is asked for, and it rebuilds the whole view from the state.

#include "analysis/rounding.h"
#include "main/form_main.h"
#include "views/grid.h"
#include "views/spectrum_view.h"
#include "views/voiceprint_view.h"
#include "views/waveform_view.h"

namespace tonamira {

// ---------------------------------------------------------------- waveform view

void FormMain::RedrawWaveView() {
  DrawWaveView(PaintBoxGra->Canvas(), CurrentFrame(), CurrentFrameTaken());
  PaintBoxGra->Present();
}

void FormMain::PaintBoxGraPaint() {
  if (Devices.Playing || Devices.Recording) return;
  RedrawWaveView();
}

void FormMain::ScrollBarWaveTimesScroll(int& scrollPos) {
  // The redraw reads the zoom from the bar, so the bar takes the new position first.
  ScrollBarWaveTimes->SetPosition(scrollPos);
  if (Devices.Playing || Devices.Recording) return;
  RedrawWaveView();
}

void FormMain::PaintBoxGraMouseDown(Qt::MouseButton button, int x, int) {
  if (button != Qt::LeftButton || Devices.Playing || Devices.Recording) return;
  DrawTimeReadout(PaintBoxGra->Canvas(), x, Analysis.FftSize, Sound.WaveFormat.nSamplesPerSec);
  PaintBoxGra->Present();
}

// ---------------------------------------------------------------- spectrum view

void FormMain::RedrawSpectrumView() {
  Canvas& fft = PaintBoxFft->Canvas();
  ClearBox(fft);
  DrawSpectrumGrid(fft, Display.SpecMinorGrid, Display.SpecMajorGrid, Display.MaxDisplayFreq);
  if (CurrentFrameTaken()) ComputeSpectrum(CurrentFrame(), PaintBoxFft);
  PaintBoxFft->Present();
}

void FormMain::PaintBoxFftPaint() {
  if (Devices.Playing || Devices.Recording) return;
  RedrawSpectrumView();
}

void FormMain::ScrollBarFftTimesScroll(int& scrollPos) {
  ScrollBarFftTimes->SetPosition(scrollPos);
  Display.FftZoom = ScrollBarFftTimes->Max() - ScrollBarFftTimes->Position() + 1;
  if (Devices.Playing || Devices.Recording) return;
  RedrawSpectrumView();   // the detection is not run again
}

void FormMain::PaintBoxFftMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers,
                                    int x, int y) {
  if (!(modifiers & Qt::ShiftModifier)) return;
  const bool idle = !Devices.Playing && !Devices.Recording;
  Canvas& fft = PaintBoxFft->Canvas();
  if (button == Qt::LeftButton) {
    const int32_t bits = Sound.WaveFormat.wBitsPerSample;
    // Sample widths without a drawing scale give no threshold: nothing to divide by.
    const std::optional<double> threshold =
        ThresholdFromClick(y, fft.Height(), bits, Display.FftZoom);
    if (!threshold) return;
    Analysis.PeakThreshold = *threshold;
    if (idle) RedrawAll();
    DrawThresholdLine(fft, fft.Height() - 1, SpectrumScale(bits), Analysis.PeakThreshold,
                      Display.FftZoom);
  } else if (button == Qt::RightButton) {
    const std::optional<Cutoff> cutoff = CutoffFromClick(
        x, fft.Width(), Display.MaxDisplayFreq, Sound.RecRate, Analysis.FftSize);
    if (!cutoff) return;
    Analysis.CutoffFreq = cutoff->freq;
    Analysis.CutoffBin = cutoff->bin;
    if (idle) {
      RedrawAll();
      DrawCutoffLabel(fft, x, Analysis.CutoffFreq);
    }
    DrawCutoffLine(fft, x);
  } else {
    return;
  }
  PaintBoxFft->Present();
}

void FormMain::UpDownfftscaleClick(UpDown::Button button) {
  Display.MaxDisplayFreq = StepDisplayRange(Display.MaxDisplayFreq, button,
                                            Sound.RecRate);
  freq->SetMax(RoundInt(Display.MaxDisplayFreq));
  ResetVoiceprint();
  if (!Devices.Playing && !Devices.Recording) RedrawAll();
}

void FormMain::UpDownChoicedataClick(UpDown::Button button) {
  Analysis.FftSizeExp = StepFftSizeExp(Analysis.FftSizeExp, button);
  Analysis.FftSize = FftSizeFromExp(Analysis.FftSizeExp);
  // Fit the play range to the new frame length. A sound shorter than the frame gets the
  // range 0..0 and no frame is taken from it (the redraw shows the grids only).
  ClampPlayRange();
  PlayScrollBar->SetLargeChange(Analysis.FftSize / 2);
  PlayScrollBar->SetSmallChange(Analysis.FftSize / 10);
  Display.WaveMinorGrid = WaveMinorGridFor(Analysis.FftSize, Sound.WaveFormat.nSamplesPerSec);
  if (!Devices.Playing && !Devices.Recording) RedrawAll();
}

// ---------------------------------------------------------------- voiceprint

void FormMain::ResetVoiceprint() {
  VoiceprintState print{Display.VoiceprintColumn, Display.VoiceprintWidth};
  ::tonamira::ResetVoiceprint(PaintBoxSeimon->Canvas(), PaintBoxSeimonScale->Canvas(), print,
                              Display.SpecMinorGrid, Display.SpecMajorGrid,
                              Display.MaxDisplayFreq);
  Display.VoiceprintColumn = print.column;
  PaintBoxSeimon->Present();
  PaintBoxSeimonScale->Present();
}

void FormMain::PaintBoxSeimonPaint() { ResetVoiceprint(); }

void FormMain::PaintBoxSeimonClick() { ResetVoiceprint(); }

void FormMain::PaintBoxSeimonScalePaint() {
  Canvas& scale = PaintBoxSeimonScale->Canvas();
  ClearBox(scale);
  DrawFreqScale(scale, Display.SpecMinorGrid, Display.SpecMajorGrid, Display.MaxDisplayFreq,
                0.0);
  PaintBoxSeimonScale->Present();
}

}  // namespace tonamira
