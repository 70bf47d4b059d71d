// The program entry: the application object, its title, the one window and the event loop.
// A WAV file named on the command line is opened as "開く" would open it. Sound goes through
// the system's default output and input (the sound server, pulse_devices.h).

#include <QApplication>
#include <QCommandLineParser>
#include <QStringList>

#include "devices/pulse_devices.h"
#include "main/form_main.h"
#include "main/services.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  tonamira::ApplyApplicationSettings();

  QCommandLineParser parser;
  parser.setApplicationDescription(
      "A pitch analyser and test-tone maker: sing or play into the sound card, or open a WAV "
      "file, and watch its waveform, spectrum, pitch, voiceprint and note.");
  parser.addHelpOption();
  parser.addPositionalArgument("file", "A WAV file to open at start.", "[FILE.wav]");
  parser.process(app);

  tonamira::QtServices services;
  tonamira::PulseAudioDevices audio;
  int status = 0;
  {
    tonamira::FormMain window(services, audio);
    services.SetOwner(&window);
    window.show();
    const QStringList files = parser.positionalArguments();
    if (!files.isEmpty()) window.OpenFile(files.first().toStdString());
    status = app.exec();
  }
  // The window has closed its devices; the connection to the sound server goes with `audio`,
  // without waiting for the server.
  return status;
}
