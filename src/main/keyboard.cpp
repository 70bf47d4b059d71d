// The piano keyboard's tables and key colours.

#include "main/form_main.h"

namespace tonamira {

void FormMain::BuildKeyFreqTable() { Mixer.KeyFreq = ::tonamira::BuildKeyFreqTable(); }

void FormMain::ClearKeyMarks() {
  ::tonamira::ClearKeyMarks(Mixer.KeyColor);
  ShowKeyColors();
}

void FormMain::ShowKeyColors() {
  for (int i = 1; i <= kKeyCount; ++i)
    if (KeyPanels[i] != nullptr) KeyPanels[i]->SetColor(Mixer.KeyColor[i]);
}

}  // namespace tonamira
