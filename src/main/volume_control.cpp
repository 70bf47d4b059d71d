// The two volume buttons: "再生音量" and "録音音量" open the desktop's volume control on its
// output-devices and input-devices pages; while playing or recording they do nothing.

#include "main/form_main.h"

namespace tonamira {

void FormMain::ButtonPlayLevelClick() {
  if (Devices.Playing || Devices.Recording) return;
  StartVolumeControl(kPlaybackLevelsCommand);
}

void FormMain::ButtonRecLevelClick() {
  if (Devices.Playing || Devices.Recording) return;
  StartVolumeControl(kRecordingLevelsCommand);
}

void FormMain::StartVolumeControl(const char* commandLine) {
  if (services_.StartProgram(commandLine)) return;
  MessageBox(tr("音量を調節するプログラム (pavucontrol) を起動できません。"
                "インストールされているか確かめてください。")
                 .toStdString(),
             "ERROR");
}

}  // namespace tonamira
