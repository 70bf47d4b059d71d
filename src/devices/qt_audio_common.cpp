#include "devices/qt_audio_common.h"

#include <QMediaDevices>

#include <chrono>

namespace tonamira {

QAudioFormat ToQtFormat(const WaveFormat& format) {
  QAudioFormat q;
  q.setSampleRate(static_cast<int>(format.nSamplesPerSec));
  q.setChannelCount(format.nChannels);
  q.setSampleFormat(format.wBitsPerSample == 8 ? QAudioFormat::UInt8 : QAudioFormat::Int16);
  return q;
}

bool StillListed(const QAudioDevice& device) {
  if (device.isNull()) return false;
  const QList<QAudioDevice> devices = device.mode() == QAudioDevice::Input
                                          ? QMediaDevices::audioInputs()
                                          : QMediaDevices::audioOutputs();
  for (const QAudioDevice& d : devices)
    if (d.id() == device.id()) return true;
  return false;
}

AudioResult StartFailure(QAudio::Error error) {
  switch (error) {
    case QAudio::FatalError: return AudioResult::NoDriver;     // no connection to the server
    case QAudio::OpenError: return AudioResult::BadFormat;     // the stream was refused
    case QAudio::IOError:
    case QAudio::UnderrunError: return AudioResult::Error;
    case QAudio::NoError: break;
  }
  return AudioResult::BadDevice;
}

int64_t MonotonicMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace tonamira
