// The current sound through the window: its format, the play range and scrolling applied to
// the play scroll bar, and the ownership rules of CurrentSound behind the window's names.

#include "main/form_main.h"

namespace tonamira {

void FormMain::FillWaveFormat() { Sound.FillWaveFormat(); }

void FormMain::ResetPlayRange() {
  PlayScrollBar->SetPosition(0);
  const PlayRange r = Sound.ResetPlayRange(Analysis.FftSize, Analysis.FftSizeExp);
  Analysis.FftSize = r.fftSize;
  Analysis.FftSizeExp = r.fftSizeExp;
  if (r.fellBack) MessageBox(tr("プログラムを閉じてください").toStdString(), "Wait");
  // A sound too short for even a 256-sample frame (or with no block alignment) gets the
  // range 0..0 and no frame: the redraw shows the grids and analyses nothing.
  PlayScrollBar->SetMax(r.max);
  PlayScrollBar->SetLargeChange(r.largeChange);
  PlayScrollBar->SetSmallChange(r.smallChange);
  RedrawAll();
}

void FormMain::ClampPlayRange() {
  const ClampedRange c = Sound.ClampPlayRange(Analysis.FftSize, PlayScrollBar->Position());
  // The bar pulls its own position down to a maximum below it.
  PlayScrollBar->SetMax(c.max);
}

void FormMain::PlayScrollBarScroll(int& scrollPos) {
  if (Devices.Playing || Devices.Recording) return;
  if (!Devices.HasSound) {
    scrollPos = 0;
    return;
  }
  Sound.ScrollTo(scrollPos);
  PlayScrollBar->SetPosition(static_cast<int>(Sound.FramePos));
  RedrawAll();
}

void FormMain::SetSoundAside() {
  Sound.SetAside({Mixer.MixBuffer.data.get(), Mixer.MixBuffer.size});
}

void FormMain::PutSoundBack() {
  if (!Sound.PutBack()) return;
  ResetPlayRange();
  RedrawAll();
}

void FormMain::RestoreSetAsideForRelease() { Sound.RestoreSetAsideForRelease(); }

void FormMain::ReleaseSound() { Sound.Release(); }

void FormMain::ReleaseDevicesAndSound() {
  if (!Devices.InputOpen && !Devices.HasSound) return;
  if (Devices.InputOpen && !Devices.InputRunning) CloseInput();
  if (Devices.HasSound) CloseOutput();
  ReleaseSound();
}

// Forgets the devices and the sound. Nothing is closed (a device object dropped here was
// closed already; dropping one never posts anything); blocks still held are freed rather
// than dropped, so forgetting them never leaks.
void FormMain::ClearSoundRefs() {
  Devices.hWaveOut.reset();
  Devices.hWaveIn.reset();
  Sound.ClearRefs();
}

}  // namespace tonamira
