// Calls from the window into the audio devices. Each is an attachment point: it does nothing
// until the device code is attached, and the window's own logic (start-up, sound buffer,
// scrolling, frame analysis, views, files, the mixer, shut-down) never depends on what they
// do.

#include "main/form_main.h"

namespace tonamira {

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
bool FormMain::PlayBuffer(const uint8_t*, uint32_t, uint32_t) { return false; }

}  // namespace tonamira
