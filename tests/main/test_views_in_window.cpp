// The three views, the frame analysis and the read-outs, through the window: pixels of the
// paint boxes' canvases, captions, key colours and control state.

#include <QTest>

#include <gtest/gtest.h>

#include <cstring>

#include "window_fixture.h"

namespace tonamira {
namespace {

using testing::CountColor;
using testing::DottedColumns;
using testing::SolidColumns;
using testing::ToneSamples;
using testing::Window;

// Makes the first samples of the start-up sound a tone (or any samples) and redraws.
void PutSamples(FormMain& form, const std::vector<int16_t>& samples) {
  ASSERT_LE(samples.size() * 2, static_cast<size_t>(form.Sound.WaveDataSize));
  std::memcpy(form.Sound.WaveData, samples.data(), samples.size() * 2);
  form.RedrawAll();
}

// The bin centre nearest 430 Hz at 44100 Hz and 2048 samples: bin 20.
constexpr double kBin20 = 20 * 44100.0 / 2048;

TEST(ViewsInWindow, StartupGridsAndEmptyReadouts) {
  Window w;
  const RasterCanvas& wave = w.form.PaintBoxGra->Canvas();
  EXPECT_EQ(SolidColumns(wave, 20, 80), (std::vector<int>{117, 235, 352, 469}));
  EXPECT_EQ(DottedColumns(wave, 20, 80), (std::vector<int>{59, 176, 293, 411}));
  // Labels 10 .. 40 in red at the top, centred at x - 5; silence draws a flat red trace.
  EXPECT_GT(CountColor(wave, kRed, 112, 0, 123, 13), 5);
  EXPECT_GT(CountColor(wave, kRed, 464, 0, 475, 13), 5);
  EXPECT_EQ(CountColor(wave, kRed, 0, 86, 545, 87), 545);

  const RasterCanvas& fft = w.form.PaintBoxFft->Canvas();
  EXPECT_EQ(SolidColumns(fft, 20, 169), (std::vector<int>{136, 272, 409}));
  EXPECT_EQ(DottedColumns(fft, 20, 169),
            (std::vector<int>{27, 54, 82, 109, 164, 191, 218, 245, 300, 327, 354, 382, 436,
                              463, 490, 518}));
  EXPECT_EQ(CountColor(fft, kWhite), 0);   // silence has no peaks

  EXPECT_EQ(w.form.LbfftValue->Caption(), "");
  EXPECT_EQ(w.form.Label21->Caption(), "");
  EXPECT_EQ(w.form.Display.VoiceprintColumn, 0);
}

TEST(ViewsInWindow, SpectrumGridFollowsTheRange) {
  struct Case {
    std::vector<UpDown::Button> clicks;
    double wantMax;
    size_t wantDotted, wantSolid;
  };
  using B = UpDown::Button;
  const Case cases[] = {
      {{}, 2000, 16, 3},   // 19 dotted lines, three under the solid ones
      {{B::Next, B::Next}, 500, 4, 0},
      {{B::Next, B::Next, B::Next}, 250, 1, 0},
      {{B::Previous, B::Previous}, 8000, 79 - 15, 15},
  };
  for (const auto& c : cases) {
    Window w;
    for (B b : c.clicks) w.form.UpDownfftscaleClick(b);
    SCOPED_TRACE(c.wantMax);
    EXPECT_EQ(w.form.Display.MaxDisplayFreq, c.wantMax);
    EXPECT_EQ(w.form.freq->Max(), static_cast<int>(c.wantMax));
    const RasterCanvas& fft = w.form.PaintBoxFft->Canvas();
    EXPECT_EQ(DottedColumns(fft, 20, 169).size(), c.wantDotted);
    EXPECT_EQ(SolidColumns(fft, 20, 169).size(), c.wantSolid);
  }
}

TEST(ViewsInWindow, RangeAndFrameLengthControlsAtTheirLimits) {
  using B = UpDown::Button;
  struct Case {
    const char* name;
    std::vector<B> range;
    std::vector<B> frame;
    double wantMax;
    int wantFft, wantMinorGrid, wantScrollMax, wantLarge, wantSmall;
  };
  const Case cases[] = {
      {"start", {}, {}, 2000, 2048, 5, 40004, 1024, 204},
      {"halve four times", {B::Next, B::Next, B::Next, B::Next}, {}, 250, 2048, 5, 40004, 1024,
       204},
      {"double three times", {B::Previous, B::Previous, B::Previous}, {}, 8000, 2048, 5, 40004,
       1024, 204},
      {"frame 1024", {}, {B::Next}, 2000, 1024, 2, 44100 - 2048, 512, 102},
      {"frame 512", {}, {B::Next, B::Next}, 2000, 512, 1, 44100 - 1024, 256, 51},
      {"frame 256 and one more", {}, {B::Next, B::Next, B::Next, B::Next}, 2000, 256, 1,
       44100 - 512, 128, 25},
      {"never above 2048", {}, {B::Previous, B::Previous}, 2000, 2048, 5, 40004, 1024, 204},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Window w;
    PutSamples(w.form, ToneSamples(kBin20, 4096));
    for (B b : c.range) w.form.UpDownfftscaleClick(b);
    for (B b : c.frame) w.form.UpDownChoicedataClick(b);
    EXPECT_EQ(w.form.Display.MaxDisplayFreq, c.wantMax);
    EXPECT_EQ(w.form.Analysis.FftSize, c.wantFft);
    EXPECT_EQ(w.form.Display.WaveMinorGrid, c.wantMinorGrid);
    EXPECT_EQ(w.form.PlayScrollBar->Max(), c.wantScrollMax);
    EXPECT_EQ(w.form.PlayScrollBar->LargeChange(), c.wantLarge);
    EXPECT_EQ(w.form.PlayScrollBar->SmallChange(), c.wantSmall);
    // Every range click clears the voiceprint before its redraw adds a column; the
    // frame-length control leaves the voiceprint and adds a column per redraw.
    EXPECT_EQ(w.form.Display.VoiceprintColumn,
              c.range.empty() ? 1 + static_cast<int>(c.frame.size()) : 1);
    // The tone is found at every setting.
    EXPECT_NE(w.form.LbfftValue->Caption(), "");
  }
}

TEST(ViewsInWindow, FrameLengthPullsTheFramePosDownToTheLastWholeFrame) {
  Window w;
  w.form.UpDownChoicedataClick(UpDown::Button::Next);   // 1024
  int pos = 43000;
  w.form.PlayScrollBar->SetMax(43052);
  w.form.PlayScrollBar->SetPosition(pos);
  w.form.PlayScrollBarScroll(pos);
  EXPECT_EQ(w.form.Sound.FramePos, 43000u);
  w.form.UpDownChoicedataClick(UpDown::Button::Previous);   // 2048: limit 40004
  EXPECT_EQ(w.form.Sound.FramePos, 40004u);
  EXPECT_EQ(w.form.PlayScrollBar->Max(), 40004);
  EXPECT_TRUE(w.form.CurrentFrameTaken());
}

TEST(ViewsInWindow, VoiceprintScaleAndDotsOfAPreparedDetection) {
  Window w;
  w.form.PaintBoxSeimonClick();
  const RasterCanvas& scale = w.form.PaintBoxSeimonScale->Canvas();
  // Dotted rows every 100 Hz (every other pixel green); the solid rows at 500, 1000 and
  // 1500 Hz lie under their opaque labels, written at (1, y - 5), and only the 500 Hz line
  // shows beside its shorter label.
  std::vector<int> dotted;
  for (int y = 0; y < 395; ++y)
    if (CountColor(scale, kGreen, 0, y, 25, y + 1) == 13) dotted.push_back(y);
  EXPECT_EQ(dotted, (std::vector<int>{20, 39, 59, 79, 119, 138, 158, 178, 217, 237, 257, 276,
                                      316, 336, 356, 375}));
  EXPECT_EQ(scale.Pixel(24, 296), kGreen);
  for (int y : {296, 198, 99}) EXPECT_GT(CountColor(scale, kRed, 0, y - 5, 25, y + 7), 30);

  PeakList& p = w.form.Analysis.Detection.peaks;
  p.count = 4;
  const int32_t bins[] = {1, 46, 92, 93};
  const double amps[] = {1.0, 0.5, 1.0, 1.0};
  for (int k = 1; k <= 4; ++k) {
    p.bin[k] = bins[k - 1];
    p.amp[k] = amps[k - 1];
  }
  w.form.Analysis.VoiceprintBins = 186;
  w.form.Analysis.Detection.detectedFreq = 440;
  w.form.Analysis.Detection.detectedLevel = 77;
  w.form.ClearKeyMarks();
  w.form.ShowDetectionResults();

  const RasterCanvas& print = w.form.PaintBoxSeimon->Canvas();
  EXPECT_EQ(w.form.Display.VoiceprintColumn, 1);
  struct Dot {
    int y;
    Rgb color;
  };
  for (const Dot d : {Dot{391, kRed}, Dot{200, MakeRgb(128, 0, 0)}, Dot{4, kRed}, Dot{0, kRed}}) {
    SCOPED_TRACE(d.y);
    for (int dx : {1, 2})
      for (int dy : {0, 1}) EXPECT_EQ(print.Pixel(dx, d.y + dy), d.color);
    EXPECT_EQ(print.Pixel(0, d.y), kBlack);
    EXPECT_EQ(print.Pixel(3, d.y), kBlack);
  }
  EXPECT_EQ(CountColor(print, kBlack), 206 * 395 - 4 * 4);
  EXPECT_EQ(w.form.LbfftValue->Caption(), "440");
  EXPECT_EQ(w.form.Label21->Caption(), "77");
  EXPECT_EQ(w.form.KeyPanels[34]->Color(), kRed);

  // A click into the voiceprint wipes it and restarts at the left edge.
  w.form.PaintBoxSeimonClick();
  EXPECT_EQ(CountColor(print, kBlack), 206 * 395);
  EXPECT_EQ(w.form.Display.VoiceprintColumn, 0);
}

TEST(ViewsInWindow, KeyMarksOfTheDetectedPitch) {
  struct Mark {
    int key;
    Rgb color;
  };
  struct Case {
    int32_t d;
    std::vector<Mark> marks;
  };
  const Rgb light = KeyMarkColor(128);
  const Case cases[] = {
      {64, {{1, kRed}}},
      {67, {{2, kRed}, {1, light}}},
      {264, {{25, kRed}, {26, light}}},
      {269, {{25, KeyMarkColor(18)}, {26, KeyMarkColor(110)}}},
      {268, {{25, KeyMarkColor(73)}, {26, KeyMarkColor(55)}}},
      {435, {{34, KeyMarkColor(32)}, {33, KeyMarkColor(96)}}},
      {1977, {{60, kRed}}},
      {1978, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.d);
    Window w;
    PeakList& p = w.form.Analysis.Detection.peaks;
    p.count = 1;
    p.bin[1] = 10;
    p.amp[1] = 1.0;
    w.form.Analysis.Detection.detectedFreq = c.d;
    w.form.ClearKeyMarks();
    w.form.ShowDetectionResults();
    for (int i = 1; i <= kKeyCount; ++i) {
      Rgb want = IsWhiteKey(i) ? kWhite : kBlack;
      for (const Mark& m : c.marks)
        if (m.key == i) want = m.color;
      EXPECT_EQ(w.form.KeyPanels[i]->Color(), want) << "key " << i;
    }
    EXPECT_EQ(w.form.LbfftValue->Caption(), QString::number(c.d));
  }
}

TEST(ViewsInWindow, ToneThenSilence) {
  Window w;
  PutSamples(w.form, ToneSamples(kBin20, 22050));
  const int pitch = w.form.LbfftValue->Caption().toInt();
  EXPECT_NEAR(pitch, 431, 1);
  EXPECT_NE(w.form.Label21->Caption(), "");
  EXPECT_EQ(w.form.Display.VoiceprintColumn, 1);
  // The key of about 431 Hz lies between keys 33 (415) and 34 (440).
  EXPECT_NE(w.form.KeyPanels[34]->Color(), kBlack);
  EXPECT_GT(CountColor(w.form.PaintBoxSeimon->Canvas(), kRed), 0);
  // Peaks are drawn as red boxes with white outlines on the bottom baseline.
  EXPECT_GT(CountColor(w.form.PaintBoxFft->Canvas(), kWhite), 0);
  EXPECT_GT(CountColor(w.form.PaintBoxFft->Canvas(), kRed, 0, 20, 545, 169), 0);

  PutSamples(w.form, std::vector<int16_t>(22050, 0));
  EXPECT_EQ(w.form.LbfftValue->Caption(), "");
  EXPECT_EQ(w.form.Label21->Caption(), "");
  EXPECT_EQ(w.form.Display.VoiceprintColumn, 1);   // no column for the silent frame
  for (int i = 1; i <= kKeyCount; ++i)
    EXPECT_EQ(w.form.KeyPanels[i]->Color(), IsWhiteKey(i) ? kWhite : kBlack);
}

TEST(ViewsInWindow, PeakAtTheThresholdIsALineAboveItABox) {
  Window w;
  PutSamples(w.form, ToneSamples(kBin20, 4096));
  const double d = w.form.Analysis.Fft.mag[20] - w.form.Analysis.Fft.noise[20];
  const int x = static_cast<int>(std::nearbyint(20 * 2.0 * 545 / 186));
  struct Case {
    double threshold;
    Rgb inside;   // the column right of the bar's left edge, low in the view
  };
  for (const Case c : {Case{d, kBlack}, Case{std::nextafter(d, 0.0), kRed}}) {
    w.form.Analysis.PeakThreshold = c.threshold;
    w.form.PaintBoxFftPaint();
    const RasterCanvas& fft = w.form.PaintBoxFft->Canvas();
    EXPECT_EQ(fft.Pixel(x, 150), kWhite);
    EXPECT_EQ(fft.Pixel(x + 1, 150), c.inside);
    EXPECT_EQ(fft.Pixel(x + 2, 150), c.inside);
  }
}

TEST(ViewsInWindow, ShiftClicksSetThresholdAndCutoff) {
  Window w;
  w.form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w.form));
  PutSamples(w.form, ToneSamples(kBin20, 4096));
  const RasterCanvas& fft = w.form.PaintBoxFft->Canvas();

  // Plain clicks and Shift with the middle button change nothing.
  QTest::mouseClick(w.form.PaintBoxFft, Qt::LeftButton, Qt::NoModifier, QPoint(10, 20));
  QTest::mouseClick(w.form.PaintBoxFft, Qt::MiddleButton, Qt::ShiftModifier, QPoint(10, 20));
  EXPECT_EQ(w.form.Analysis.PeakThreshold, 10.0);
  EXPECT_EQ(w.form.Analysis.CutoffFreq, 30);

  QTest::mouseClick(w.form.PaintBoxFft, Qt::LeftButton, Qt::ShiftModifier, QPoint(10, 20));
  EXPECT_NEAR(w.form.Analysis.PeakThreshold, 571.818, 0.001);
  EXPECT_EQ(CountColor(fft, kGreen, 0, 20, 545, 21), 545);   // the threshold line
  EXPECT_NE(w.form.LbfftValue->Caption(), "");               // redrawn and detected again

  QTest::mouseClick(w.form.PaintBoxFft, Qt::RightButton, Qt::ShiftModifier, QPoint(136, 50));
  EXPECT_EQ(w.form.Analysis.CutoffFreq, 499);
  EXPECT_EQ(w.form.Analysis.CutoffBin, 23u);   // Round(499 * 2047 / 44100)
  EXPECT_EQ(CountColor(fft, kGreen, 136, 0, 137, 169), 169);   // the cut-off line
  EXPECT_GT(CountColor(fft, kGreen, 137, 0, 160, 13), 5);        // the label 499
  EXPECT_LT(CountColor(fft, kGreen, 0, 20, 545, 21), 545);       // the redraw removed the line
  // The tone's fundamental lies below the cut-off now: it is not a peak any more.
  EXPECT_NE(w.form.LbfftValue->Caption().toInt(), 431);

  // While playing, the threshold still changes and its line is drawn, without a redraw.
  w.form.Devices.Playing = true;
  w.form.PaintBoxFftMouseDown(Qt::LeftButton, Qt::ShiftModifier, 0, 168);
  EXPECT_EQ(w.form.Analysis.PeakThreshold, 0.0);
  EXPECT_GT(CountColor(fft, kGreen, 137, 0, 160, 13), 5);   // label still there
  w.form.Devices.Playing = false;
}

TEST(ViewsInWindow, TimeReadoutAndWaveZoom) {
  Window w;
  const RasterCanvas& wave = w.form.PaintBoxGra->Canvas();
  w.form.PaintBoxGraMouseDown(Qt::RightButton, 300, 40);
  EXPECT_EQ(CountColor(wave, kRed, 301, 0, 345, 13), 0);
  w.form.PaintBoxGraMouseDown(Qt::LeftButton, 300, 40);
  EXPECT_GT(CountColor(wave, kRed, 301, 0, 345, 13), 5);   // "25.563"
  w.form.Devices.Recording = true;
  w.form.PaintBoxGraMouseDown(Qt::LeftButton, 200, 40);
  EXPECT_EQ(CountColor(wave, kRed, 201, 0, 225, 13), 0);
  w.form.Devices.Recording = false;

  // Zoom 10 (thumb at the top) puts a sample of 1000 higher than zoom 1 does.
  std::vector<int16_t> up(2048, 1000);
  PutSamples(w.form, up);
  int top = 1;
  w.form.ScrollBarWaveTimesScroll(top);
  EXPECT_EQ(w.form.ScrollBarWaveTimes->Position(), 1);
  // baseline 85.5 - 1000 * 10 * 171 / 65536 / 2 = 72.45
  EXPECT_EQ(CountColor(wave, kRed, 0, 72, 545, 73), 545);
  int bottom = 10;
  w.form.ScrollBarWaveTimesScroll(bottom);
  EXPECT_EQ(CountColor(wave, kRed, 0, 84, 545, 85), 545);   // 85.5 - 1.30 -> 84
}

TEST(ViewsInWindow, LoudFramesAndTheWarning) {
  struct Case {
    const char* name;
    int bits;
    std::vector<std::pair<int, int>> samples;   // index, value over silence
    int fill;                                   // value of every other sample
    bool wantWarning;
  };
  const Case cases[] = {
      {"third sample 32001", 16, {{2, 32001}}, 0, true},
      {"twentieth sample 32767", 16, {{19, 32767}}, 0, true},
      {"only sample 0 loud", 16, {{0, 32767}}, 0, false},
      {"loud from sample 20 on", 16, {{20, 32767}, {100, 32767}}, 0, false},
      {"full of -32768", 16, {}, -32768, false},
      {"8-bit full scale", 8, {}, 255, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Window w;
    PutSamples(w.form, ToneSamples(kBin20, 4096));
    const QString pitch = w.form.LbfftValue->Caption();
    const QString level = w.form.Label21->Caption();
    ASSERT_NE(pitch, "");
    const int column = w.form.Display.VoiceprintColumn;
    const std::vector<uint32_t> spectrum(w.form.PaintBoxFft->Canvas().Bits(),
                                         w.form.PaintBoxFft->Canvas().Bits() + 545 * 169);
    const Rgb key34 = w.form.KeyPanels[34]->Color();

    std::vector<uint8_t> frame;
    if (c.bits == 16) {
      std::vector<int16_t> s(2048, static_cast<int16_t>(c.fill));
      for (auto [i, v] : c.samples) s[static_cast<size_t>(i)] = static_cast<int16_t>(v);
      frame = testing::Pcm16(s, 1);
    } else {
      frame.assign(2048, static_cast<uint8_t>(c.fill));
      w.form.Sound.RecBits = 8;
      w.form.FillWaveFormat();
    }
    w.form.AnalyzeFrame(2048, frame.data(), frame.size(), 0, 1, c.bits, w.form.PaintBoxGra,
                        w.form.PaintBoxFft);
    const RasterCanvas& wave = w.form.PaintBoxGra->Canvas();
    const std::vector<uint32_t> after(w.form.PaintBoxFft->Canvas().Bits(),
                                      w.form.PaintBoxFft->Canvas().Bits() + 545 * 169);
    if (c.wantWarning) {
      EXPECT_EQ(w.form.Analysis.LevelOk, 0);
      EXPECT_GT(CountColor(wave, kRed, 272, 85, 545, 100), 20);   // the warning's text
      EXPECT_EQ(after, spectrum);
      EXPECT_EQ(w.form.LbfftValue->Caption(), pitch);
      EXPECT_EQ(w.form.Label21->Caption(), level);
      EXPECT_EQ(w.form.Display.VoiceprintColumn, column);
      EXPECT_EQ(w.form.KeyPanels[34]->Color(), key34);
    } else {
      EXPECT_EQ(w.form.Analysis.LevelOk, 1);
      EXPECT_NE(after, spectrum);   // the spectrum view was rebuilt for the new frame
    }
  }
}

TEST(ViewsInWindow, RedrawAllAnalysesALoudFrame) {
  Window w;
  std::vector<int16_t> s = ToneSamples(kBin20, 4096);
  s[2] = 32001;
  PutSamples(w.form, s);
  EXPECT_EQ(w.form.Analysis.LevelOk, 0);   // the trace noticed it
  EXPECT_NEAR(w.form.LbfftValue->Caption().toInt(), 431, 1);
  EXPECT_EQ(w.form.Display.VoiceprintColumn, 1);
}

TEST(ViewsInWindow, PaintAndScrollHandlersSkipWhilePlayingOrRecording) {
  Window w;
  PutSamples(w.form, ToneSamples(kBin20, 4096));
  RasterCanvas& wave = w.form.PaintBoxGra->Canvas();
  RasterCanvas& fft = w.form.PaintBoxFft->Canvas();
  for (bool playing : {true, false}) {
    w.form.Devices.Playing = playing;
    w.form.Devices.Recording = !playing;
    wave.SetBrushColor(kYellow);
    wave.FillRect(0, 0, 545, 171);
    fft.SetBrushColor(kYellow);
    fft.FillRect(0, 0, 545, 169);
    w.form.PaintBoxGraPaint();
    w.form.PaintBoxFftPaint();
    int pos = 3;
    w.form.ScrollBarFftTimesScroll(pos);
    EXPECT_EQ(w.form.Display.FftZoom, 78.0);   // the zoom still follows the bar
    EXPECT_EQ(CountColor(wave, kYellow), 545 * 171);
    EXPECT_EQ(CountColor(fft, kYellow), 545 * 169);
  }
  w.form.Devices.Playing = w.form.Devices.Recording = false;
  const QString pitch = w.form.LbfftValue->Caption();
  w.form.LbfftValue->SetCaption("x");
  w.form.PaintBoxFftPaint();
  EXPECT_EQ(CountColor(fft, kYellow), 0);
  EXPECT_EQ(w.form.LbfftValue->Caption(), "x");   // repainting does not detect again
}

TEST(ViewsInWindow, NoiseRemovalOnlyWhileRecording) {
  Window w;
  PutSamples(w.form, ToneSamples(kBin20, 4096));
  w.form.ButfftampfilsetClick();
  EXPECT_FALSE(w.form.Analysis.CaptureNoise);

  w.form.Devices.Recording = true;
  w.form.Analysis.Fft.noise[5] = 3.0;
  w.form.ButfftampfilsetClick();
  EXPECT_TRUE(w.form.Analysis.CaptureNoise);
  EXPECT_EQ(w.form.Analysis.Fft.noise[5], 0.0);
  // The next frame analysed is the noise: its spectrum is stored and the threshold raised.
  const std::vector<uint8_t> frame = testing::Pcm16(ToneSamples(kBin20, 2048), 1);
  w.form.AnalyzeFrame(2048, frame.data(), frame.size(), 0, 1, 16, w.form.PaintBoxGra,
                      w.form.PaintBoxFft);
  EXPECT_FALSE(w.form.Analysis.CaptureNoise);
  EXPECT_GT(w.form.Analysis.PeakThreshold, 10.0);
  EXPECT_EQ(w.form.Analysis.PeakThreshold, w.form.Analysis.SpectrumPeakMax);
  // The same steady sound no longer gives a pitch.
  w.form.AnalyzeFrame(2048, frame.data(), frame.size(), 0, 1, 16, w.form.PaintBoxGra,
                      w.form.PaintBoxFft);
  EXPECT_EQ(w.form.LbfftValue->Caption(), "");
  w.form.Devices.Recording = false;
}

}  // namespace
}  // namespace tonamira
