// The program entry: the application object, its title, the main window in its frame (with
// the menu bar and the pitch trace) and the event loop. A sound file named on the command line
// is opened as "開く" would open it. Sound goes through the system's default output and input
// (the sound server, pulse_devices.h).

#include <QApplication>
#include <QCommandLineParser>
#include <QSettings>
#include <QStringList>

#include "devices/pulse_devices.h"
#include "main/form_main.h"
#include "main/main_frame.h"
#include "main/services.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  tonamira::ApplyApplicationSettings();

  QCommandLineParser parser;
  parser.setApplicationDescription(
      "A pitch analyser and test-tone maker: sing or play into the sound card, or open a sound "
      "file, and watch its waveform, spectrum, pitch, voiceprint and note.");
  parser.addHelpOption();
  parser.addPositionalArgument("file", "A sound file to open at start.", "[FILE]");
  parser.process(app);

  tonamira::QtServices services;
  tonamira::PulseAudioDevices audio;
  QSettings settings("tonamira", "tonamira");
  int status = 0;
  {
    tonamira::MainFrame frame(services, audio, settings);
    services.SetOwner(&frame);
    frame.show();
    const QStringList files = parser.positionalArguments();
    if (!files.isEmpty()) frame.Form().OpenFile(files.first().toStdString());
    status = app.exec();
  }
  // The window has closed its devices; the connection to the sound server goes with `audio`,
  // without waiting for the server.
  return status;
}
