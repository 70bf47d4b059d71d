// Calls from the window into drawing, detection, the audio devices and the tone mixer.
// Each is an attachment point: it does nothing until the code it stands for is attached,
// and the window's own logic (start-up, sound buffer, scrolling, shut-down) never depends
// on what they do.

#include "main/form_main.h"

namespace tonamira {

// Frame drawing and analysis of the current sound at FramePos.
void FormMain::RedrawAll() {}
// Wipes the voiceprint and restarts its columns.
void FormMain::ResetVoiceprint() {}
// Writes the frequencies of the odd harmonics over their bars.
void FormMain::UpdateHarmonicLabels() {}

// Audio devices.
void FormMain::CloseInput() {}
void FormMain::CloseOutput() {}
// Stops a recording and a playback and closes both devices when the window closes.
void FormMain::StopDevicesForClose() {}

// Control handlers of the recording, playback, file, view and mixer code.
void FormMain::RecButtonClick() {}
void FormMain::PlayButtonClick() {}
void FormMain::OpenClick() {}
void FormMain::SaveClick() {}
void FormMain::ButfftampfilsetClick() {}
void FormMain::ButtonRecLevelClick() {}
void FormMain::ButtonPlayLevelClick() {}
void FormMain::Timer1Timer() {}
void FormMain::PaintBoxGraPaint() {}
void FormMain::PaintBoxGraMouseDown(Qt::MouseButton, int, int) {}
void FormMain::ScrollBarWaveTimesScroll(int&) {}
void FormMain::PaintBoxFftPaint() {}
void FormMain::PaintBoxFftMouseDown(Qt::MouseButton, int, int) {}
void FormMain::ScrollBarFftTimesScroll(int&) {}
void FormMain::UpDownfftscaleClick(UpDown::Button) {}
void FormMain::UpDownChoicedataClick(UpDown::Button) {}
void FormMain::PaintBoxSeimonPaint() {}
void FormMain::PaintBoxSeimonClick() {}
void FormMain::PaintBoxSeimonScalePaint() {}
void FormMain::TrackBar1Change(TrackBar*) {}
void FormMain::freqChange() {}
void FormMain::volumeChange() {}
void FormMain::TBmixtimeChange() {}
void FormMain::TransmitClick() {}
void FormMain::resetClick() {}
void FormMain::Panel1Click(Panel*) {}

}  // namespace tonamira
