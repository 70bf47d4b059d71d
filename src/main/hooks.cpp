// Calls from the window into the audio devices and the tone mixer. Each is an attachment
// point: it does nothing until the code it stands for is attached, and the window's own
// logic (start-up, sound buffer, scrolling, frame analysis, views, files, shut-down) never
// depends on what they do.

#include "main/form_main.h"

namespace tonamira {

// Writes the frequencies of the odd harmonics over their bars.
void FormMain::UpdateHarmonicLabels() {}
// Copies the detected harmonic levels (and the pitch) into the mixer's bars while the
// mixer follows the analysis.
void FormMain::LevelsFromPeaks() {}
// Moves every harmonic bar to level 0 after a frame without a pitch.
void FormMain::ClearHarmonicBars() {}

// Audio devices.
void FormMain::CloseInput() {}
void FormMain::CloseOutput() {}
// Stops a recording and a playback and closes both devices when the window closes.
void FormMain::StopDevicesForClose() {}

// Control handlers of the recording, playback and mixer code.
void FormMain::RecButtonClick() {}
void FormMain::PlayButtonClick() {}
void FormMain::ButtonRecLevelClick() {}
void FormMain::ButtonPlayLevelClick() {}
void FormMain::Timer1Timer() {}
void FormMain::TrackBar1Change(TrackBar*) {}
void FormMain::freqChange() {}
void FormMain::volumeChange() {}
void FormMain::TBmixtimeChange() {}
void FormMain::TransmitClick() {}
void FormMain::resetClick() {}
void FormMain::Panel1Click(Panel*) {}

}  // namespace tonamira
