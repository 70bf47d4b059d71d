#include "synth/note_table.h"

#include "analysis/rounding.h"

namespace tonamira {

KeyFreqTable BuildKeyFreqTable() {
  return {0,
          65,   69,   73,   78,   83,   87,   92,   98,   104,  110,  117,  123,
          131,  139,  147,  156,  165,  175,  185,  196,  208,  220,  233,  247,
          262,  277,  294,  311,  330,  349,  370,  392,  415,  440,  466,  494,
          523,  554,  587,  622,  659,  698,  740,  784,  830,  880,  932,  988,
          1047, 1109, 1175, 1245, 1319, 1397, 1480, 1568, 1661, 1760, 1865, 1976};
}

void ClearKeyMarks(KeyColors& colors) {
  colors[0] = kBlack;
  for (int i = 1; i <= kKeyCount; ++i) colors[i] = IsWhiteKey(i) ? kWhite : kBlack;
}

void MarkDetectedKey(int32_t d, const KeyFreqTable& keyFreq, KeyColors& colors) {
  // The lower range reaches one key past 277 Hz so that 276 Hz still finds key 26 from below.
  const int first = d < 277 ? 1 : 25;
  const int last = d < 277 ? 26 : kKeyCount;
  for (int i = first; i <= last; ++i) {
    const int32_t f = keyFreq[i];
    if (f - 1 <= d && d <= f + 1) {
      colors[i] = KeyMarkColor(0);
      return;
    }
    if (i <= 1) continue;
    const int32_t lower = keyFreq[i - 1];
    const int32_t upper = f;
    if (lower + 2 <= d && d <= upper - 2) {
      const int32_t half = (upper - lower) / 2;
      const int32_t mid = (upper + lower) / 2;
      int lowerX, upperX;
      if (d < mid) {
        const int32_t u = RoundInt(static_cast<double>(d - lower - 2) * 128.0 / half);
        upperX = 128 - u;
        lowerX = u;
      } else {
        const int32_t t = RoundInt(static_cast<double>(upper - 2 - d) * 128.0 / half);
        lowerX = 128 - t;
        upperX = t;
      }
      colors[i] = KeyMarkColor(upperX);
      colors[i - 1] = KeyMarkColor(lowerX);
    }
  }
}

}  // namespace tonamira
