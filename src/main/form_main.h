#pragma once
// The one window: its controls laid out at fixed positions, the state it owns for the life
// of the process (grouped by subsystem) and the handlers its controls call.
//
// Handlers live in files by subsystem:
//   form_main.cpp        construction, layout, wiring, the device notifications' dispatch
//   startup.cpp          FormCreate, and the shut-down: FormClose and Shutdown
//   sound_state.cpp      the current sound, its play range and scrolling
//   analysis_driver.cpp  drawing and analysing one frame, showing the detection
//   view_handlers.cpp    the three views' paint, scroll, click and range controls
//   file_handlers.cpp    opening and saving
//   recording.cpp        "録音": the take, its chunks, the stop handshake, a lost input
//   playback.cpp         "再生": PlayBuffer, the timer that follows it, its end, a lost output
//   volume_control.cpp   "再生音量" and "録音音量"
//   mixer_handlers.cpp   the tone mixer, the analysed harmonics that drive it, the piano keys
//   keyboard.cpp         the note table and the key marks
//   desktop.cpp          drag and drop, shortcuts and tooltips

#include <QCoreApplication>
#include <QFont>
#include <QWidget>

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "analysis/detection.h"
#include "analysis/frame.h"
#include "analysis/spectrum.h"
#include "analysis/spectrum_peaks.h"
#include "devices/audio_devices.h"
#include "devices/device_notification.h"
#include "main/services.h"
#include "main/toolkit.h"
#include "sound/byte_block.h"
#include "sound/current_sound.h"
#include "sound/recording_buffer.h"
#include "sound/wave_format.h"
#include "synth/mixer.h"
#include "synth/note_table.h"

namespace tonamira {

// The caption: the program's own name, translated like every other text of the window.
inline constexpr const char* kWindowCaption = QT_TRANSLATE_NOOP("FormMain", "トナミラver1.24");
inline constexpr int kClientWidth = 800;
inline constexpr int kClientHeight = 600;
inline constexpr int kHarmonicLabelCount = 10;
inline constexpr int32_t kWaveDataCapacity = 30 * 44100;    // 1,323,000 bytes
inline constexpr int32_t kStartupSoundBytes = 44100;        // half a second, 16-bit mono

// The command lines of the desktop's volume control on its output-devices and input-devices
// pages: what the two volume buttons start.
inline constexpr const char* kPlaybackLevelsCommand = "pavucontrol --tab=3";
inline constexpr const char* kRecordingLevelsCommand = "pavucontrol --tab=4";

// Devices and the flags the device handlers share. A device is open from its Open to its
// Close; the object may stay after that (a stopped playback keeps it) until replaced.
struct DeviceState {
  std::unique_ptr<OutputDevice> hWaveOut;
  std::unique_ptr<InputDevice> hWaveIn;
  uint32_t PlayTime = 0;            // bytes played, as the output device last told it
  bool HasSound = false;
  bool Playing = false;
  bool Recording = false;
  bool InputOpen = false;
  bool InputRunning = false;
  bool RecStopRequested = false;
  bool RecStopDone = false;
  bool IgnoreNextDone = false;
  bool Closing = false;
  bool DetectionDrivesMixer = false;
};

// The recording: the take as it grows, the second device buffer and its header (the first is
// the current sound's WaveData with its PlayHeader), and the size of one chunk.
struct RecordingState {
  RecordingBuffer RecBuffer{0};
  uint32_t RecCapacity = 0;         // the room made for the take when its first chunk arrives
  uint64_t RecLimit = kMaxSoundBytes;   // the most a take may hold
  ByteBlock RecChunk2;
  HeaderBlock RecHeader2;
  uint32_t ChunkBytes = 0;          // a tenth of a second in the recording format
  DeviceId StopDevice = 0;          // the input stopped last: its two notifications end the stop
};

// The room a take starts with, from the rate of the sound before the record start: 180 times
// that rate, never more than limit or the largest sound.
uint32_t RecCapacityFor(int32_t rateBefore, uint64_t limit);

struct AnalysisState {
  int32_t FftSizeExp = 0;
  int32_t FftSize = 0;
  FftArrays Fft;                    // FftMag, NoiseSpectrum, FftInput, FftWork, FftOut
  double PeakThreshold = 0.0;
  int32_t CutoffFreq = 0;
  uint32_t CutoffBin = 0;
  int32_t VoiceprintBins = 0;
  bool CaptureNoise = false;
  double SpectrumPeakMax = 0.0;     // largest peak height of the last spectrum drawn
  std::vector<SpectrumPeak> SpectrumPeaks;   // the peaks of the channel being drawn
  int32_t LevelOk = 1;              // cleared when a 16-bit frame is too loud to analyse
  DetectionState Detection;         // peak lists, DetectedFreq, DetectedLevel
  FftPlanCache Plans;               // transform plans of the frame lengths in use
};

struct DisplayState {
  int32_t WaveMinorGrid = 0, WaveMajorGrid = 0;   // ms
  int32_t SpecMinorGrid = 0, SpecMajorGrid = 0;   // Hz
  double MaxDisplayFreq = 0.0;
  double FftZoom = 0.0;
  int32_t VoiceprintColumn = 0;
  int32_t VoiceprintWidth = 0;
  double ReferenceA4 = 440.0;       // the note names of the read-out's tooltip are on it
};

struct MixerState {
  HarmonicLevels HarmonicLevel{};       // 1-based, 0 .. 100
  HarmonicPhases HarmonicPhase{};       // 1-based, radians
  HarmonicComplexes HarmonicComplex{};  // the last transform value seen per harmonic
  int32_t HarmonicLimit = 0;
  int32_t FadeLength = 0;
  double MixTime = 0.0;
  ByteBlock MixBuffer;
  KeyFreqTable KeyFreq{};           // 1-based note frequency of each piano key
  KeyColors KeyColor{};             // 1-based colour each key panel shows
};

// Sizes a sound may have: WaveDataSize is a signed 32-bit count of bytes.
bool SoundSizeFits(uint64_t bytes);

// A path chosen in a file dialog (UTF-8) as the file system's own bytes.
std::filesystem::path PathFromDialog(const std::string& name);

// The name a sound is saved under: ".wav" appended unless the name already ends in ".wav" or
// ".WAV" exactly.
std::string SaveNameWithSuffix(const std::string& name);

class FormMain : public QWidget, public DeviceEventHandler {
  // The window's texts are written in Japanese and translated in the context "FormMain".
  Q_DECLARE_TR_FUNCTIONS(FormMain)

 public:
  // services answers the window's message boxes and dialogs; audio makes the sound devices
  // (without it the window has none); their notifications go to poster, or, when none is
  // given, through the window's own event loop. fault, when given, decides which named
  // allocations fail (for tests). FormCreate runs inside the constructor. With a parent the
  // window is the client area of the program's frame (main_frame.h), which then owns the
  // caption, the place on the screen and the menu's shortcuts.
  explicit FormMain(Services& services, AllocationFault fault = {}, QWidget* parent = nullptr);
  FormMain(Services& services, AudioDevices& audio, NotificationPoster* poster = nullptr,
           AllocationFault fault = {}, QWidget* parent = nullptr);
  ~FormMain() override;

  // ---- state, owned for the life of the window
  CurrentSound Sound;
  DeviceState Devices;
  RecordingState Recording;
  AnalysisState Analysis;
  DisplayState Display;
  MixerState Mixer;

  // ---- header row
  Label* LbfftValue;
  Label* Label11;
  Label* Label14;
  Label* Label21;
  Bevel* Bevel4;
  Button* RecButton;
  Button* PlayButton;
  RadioGroup* RadioGroupchan;
  Bevel* Bevel3;
  Button* Butopen;
  Button* Butsave;
  Bevel* Bevel2;
  Button* Butfftampfilset;
  Button* ButtonRecLevel;
  Button* ButtonPlayLevel;

  // ---- views
  PaintBox* PaintBoxGra;
  UpDown* UpDownChoicedata;
  ScrollBar* ScrollBarWaveTimes;
  ScrollBar* PlayScrollBar;
  PaintBox* PaintBoxFft;
  UpDown* UpDownfftscale;
  ScrollBar* ScrollBarFftTimes;
  TrackBar* freq;
  PaintBox* PaintBoxSeimonScale;
  PaintBox* PaintBoxSeimon;

  // ---- mixer row
  std::array<Label*, kHarmonicLabelCount + 1> LabelsByNumber{};  // Label1 .. Label10
  std::array<TrackBar*, kHarmonics + 1> TrackBarsByNumber{};     // TrackBar1 .. TrackBar20
  Bevel* Bevel1;
  Label* Lbamptxt;
  TrackBar* volume;
  Label* Lbamp;
  Label* Lbtimetxt;
  TrackBar* TBmixtime;
  Label* LBmixtime;
  Button* Transmit;
  Button* reset;

  // ---- piano row: Panel1 .. Panel60
  std::array<Panel*, kKeyCount + 1> PanelsByNumber{};

  // ---- non-visual
  Timer Timer1{200};

  // ---- control tables built at start-up (1-based; empty until built)
  std::array<TrackBar*, kHarmonics + 1> HarmonicBars{};
  std::array<Label*, kHarmonicLabelCount + 1> HarmonicLabels{};
  std::array<Panel*, kKeyCount + 1> KeyPanels{};

  // ---- start-up and shut-down
  void FormCreate();
  void FormClose();

  // ---- the current sound
  void FillWaveFormat();
  void ResetPlayRange();
  void ClampPlayRange();
  void PlayScrollBarScroll(int& scrollPos);
  bool SoundPresent() const { return Sound.Present(); }
  void ReleaseSound();
  void ReleaseDevicesAndSound();
  void ClearSoundRefs();
  void SetSoundAside();        // make MixBuffer the current sound, keeping the previous aside
  void PutSoundBack();         // bring the kept-aside sound back
  void RestoreSetAsideForRelease();

  // ---- tables of Part-owned families
  void BuildHarmonicBarTable();
  void BuildHarmonicLabelTable();
  void BuildKeyPanelTable();
  void BuildKeyFreqTable();
  void ClearKeyMarks();
  void ShowKeyColors();             // paints every key panel in its KeyColor

  // ---- drawing hooks
  void RedrawAll();
  void ResetVoiceprint();

  // ---- recording
  void RecordToggle();
  bool OpenInput(uint32_t chunkBytes);
  bool StartInput();
  void CloseInput();
  void OnWimData(const DeviceNotification& n) override;

  // ---- playback
  void PlayToggle();
  bool OpenOutput();
  bool PrepareOutput(const uint8_t* sound, uint32_t start, uint32_t end);
  void StopPlayback();
  void CloseOutput();
  void OnWomDone(const DeviceNotification& n) override;
  // A device that went away (or an input that overran): a recording stops with what it has,
  // or, when nothing came, fails as a start; a playback stops where it was. Either way the
  // user is told.
  void OnDeviceLost(const DeviceNotification& n) override;
  void OnInputLost(const DeviceNotification& n);
  void OnOutputLost(const DeviceNotification& n);
  // Stops a recording and a playback and closes both devices when the window closes.
  void Shutdown();

  // ---- frame analysis: draw the views for one frame, detect and show the result
  // Draws and analyses n sample frames that start offset bytes into block (blockSize bytes);
  // a 16-bit frame with a loud sample near its start gets the warning instead.
  void AnalyzeFrame(int32_t n, const uint8_t* block, size_t blockSize, uint32_t offset,
                    int32_t channels, int32_t bits, PaintBox* waveBox, PaintBox* fftBox);
  // Transforms each channel of the frame and draws its peaks into box. Does nothing while
  // closing, without a sound, or when the frame cannot be read.
  void ComputeSpectrum(const PcmFrame& frame, PaintBox* box);
  void ShowDetection();
  void ShowDetectionResults();
  // The pitch read-out: the pitch in whole hertz (empty without one), and as its tooltip the
  // nearest note and how many cents off it the pitch is.
  void ShowPitchReadout(std::optional<int32_t> hz);
  void ShowPitchReadoutTip(std::optional<int32_t> hz);
  void MarkDetectedKey();
  void ResetFftSettings();
  // The current sound's frame at FramePos, and whether it is drawn and analysed: it must lie
  // inside the sound and have 8- or 16-bit samples.
  PcmFrame CurrentFrame() const { return Sound.FrameAt(Sound.FramePos, Analysis.FftSize); }
  bool CurrentFrameTaken() const { return SoundPresent() && CurrentFrame().Readable(); }

  // ---- control handlers
  void RecButtonClick();
  void PlayButtonClick();
  void OpenClick();
  // What "開く" does once a file is chosen: the same steps and messages for a file named on
  // the command line or dropped on the window. Nothing while playing or recording.
  void OpenFile(const std::string& name);
  void SaveClick();
  void ButfftampfilsetClick();
  void ButtonRecLevelClick();
  void ButtonPlayLevelClick();
  void Timer1Timer();
  void PaintBoxGraPaint();
  void PaintBoxGraMouseDown(Qt::MouseButton button, int x, int y);
  void ScrollBarWaveTimesScroll(int& scrollPos);
  void PaintBoxFftPaint();
  void PaintBoxFftMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x,
                            int y);
  void ScrollBarFftTimesScroll(int& scrollPos);
  void UpDownfftscaleClick(UpDown::Button button);
  void UpDownChoicedataClick(UpDown::Button button);
  void PaintBoxSeimonPaint();
  void PaintBoxSeimonClick();
  void PaintBoxSeimonScalePaint();
  void TrackBar1Change(TrackBar* sender);
  void freqChange();
  void volumeChange();
  void TBmixtimeChange();
  void TransmitClick();
  void resetClick();
  void Panel1Click(Panel* sender);

  // ---- the tone mixer and the piano keys
  // Harmonics of freq at or below half the current sound's rate, at most 20.
  uint32_t HarmonicCount() const;
  void UpdateHarmonicLabels();      // the odd harmonics' frequencies over their bars
  void ShowHarmonicBars();          // every bar to the position of its level
  void LevelsFromPeaks();           // harmonic levels and freq from the detected peaks
  void ClearHarmonicBars();         // every harmonic bar to level 0
  void ComputeHarmonicPhases();     // phases of the last analysed frame's harmonics
  // Synthesises size bytes of the tone at rate into MixBuffer (never past its end); a
  // volume cut on the way moves the volume bar.
  void SynthesizeTone(uint32_t size, uint32_t rate);
  // Makes the tone the current sound (the previous one set aside), shows it and plays it.
  void MixAndPlay();
  // Tunes the mixer to a note and plays it.
  void SelectNote(int32_t frequency);
  // Plays bytes start .. end of data in the current format; true when the device took them.
  bool PlayBuffer(const uint8_t* sound, uint32_t start, uint32_t end);

  // ---- beside the window's own controls
  // The reference A4 (held to 415 .. 466 Hz) of the read-out's tooltip.
  void SetReferenceA4(double a4Hz);
  // Where every input opened from now on taps its sound (nullptr: nowhere); the tap must
  // outlive the window's devices.
  void SetInputTap(InputTap* tap) { inputTap_ = tap; }
  // Runs after a file has been opened as the current sound, with the name it was opened by.
  std::function<void(const std::string&)> OnFileOpened;

  // Shows a caption given as its source text (marked with QT_TR_NOOP where it is written) in
  // the user's language, now and after each change of language.
  static void ShowCaption(Button* button, const char* source);
  static void ShowCaption(Label* label, const char* source);

  Services& Platform() { return services_; }
  const QFont& WindowFont() const { return windowFont_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  // A file dropped on the window is opened as "開く" would open it.
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  FormMain(Services& services, AudioDevices* audio, NotificationPoster* poster,
           AllocationFault fault, QWidget* parent);
  void BuildControls();
  void WireEvents();
  void AddShortcuts();
  void AddToolTips();
  // Whether a frame too loud to analyse stops at the waveform (the live frames of a device)
  // or is analysed like any other (the current sound redrawn at FramePos).
  enum class LoudFrames { Refused, Analysed };
  // The one sequence of RedrawAll and AnalyzeFrame: the waveform view with its grid and the
  // frame's traces; then, unless a loud frame is refused there, the spectrum view with its
  // grid and each channel's peaks, and the detection shown everywhere.
  void ShowFrame(const PcmFrame& frame, LoudFrames loud, PaintBox* waveBox, PaintBox* fftBox);
  // The waveform view's grid and traces of a frame; the loudness flag when drawn.
  void DrawWaveView(Canvas& wave, const PcmFrame& frame, bool taken);
  // The whole waveform view, or the whole spectrum view without a new detection, of the
  // current frame.
  void RedrawWaveView();
  void RedrawSpectrumView();
  // A frame that is not analysed: no pitch, no level, no key marks, bars at level 0.
  void ShowNoDetection();
  // The mixer's buffer at a new size, its contents kept; false (buffer as it was) when the
  // memory is not there.
  bool ResizeMixBuffer(size_t bytes);
  // A selected note's fundamental is never silent: level 0 goes to 100.
  void RaiseSilentFundamental();
  // Allocates a zero-filled block; an injected or real failure leaves it empty.
  bool Allocate(ByteBlock& block, size_t bytes, const char* name) {
    return block.Allocate(bytes, name, fault_);
  }
  bool Allocate(HeaderBlock& block, const char* name) { return block.Allocate(name, fault_); }
  // Shows a device's error text for a failed call under caption.
  void DeviceError(AudioResult result, const char* caption);
  // The first notification after a stop: the take becomes the current sound.
  void FinishTake();
  void SettlePendingTake();
  // A chunk the take could not hold: the recording stops, keeping everything, and says why.
  void StopTakeThatCannotGrow(RecordingBuffer::Appended why);
  // After a failed open or start of the input: the device gives its buffers back and is
  // closed, and the second buffer and its header are released.
  void UndoOpenInput();
  // The failed record start goes back to idle: the button shown, the flags cleared.
  void AbandonRecordStart();
  // Starts the volume control on one of its pages; says so when there is none.
  void StartVolumeControl(const char* commandLine);
  void MessageBox(const std::string& text, const std::string& caption) {
    services_.MessageBox(text, caption);
  }
  // A file the own reader does not open: decoded first (with a progress dialog when it takes
  // long), then made the current sound; a failure says why in one box and keeps the sound.
  void OpenDecoded(const std::string& name, const std::filesystem::path& path);
  // The steps after an opened file's samples, format and play header are the current
  // sound's: the format settings, the analysis settings, the play range and the voiceprint.
  void BecomeOpenedSound(uint64_t size, const std::string& name);

  Services& services_;
  std::unique_ptr<AudioDevices> absentAudio_;   // when no devices were given
  AudioDevices& audio_;
  std::unique_ptr<NotificationPoster> ownPoster_;
  NotificationPoster* poster_;
  AllocationFault fault_;
  QFont windowFont_;
  std::unique_ptr<QtTextRenderer> textRenderer_;
  InputTap* inputTap_ = nullptr;
  bool closed_ = false;
  bool decoding_ = false;           // a decode (and its progress dialog) is running
};

}  // namespace tonamira
