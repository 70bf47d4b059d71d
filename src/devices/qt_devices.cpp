#include "devices/qt_devices.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include "devices/qt_input.h"
#include "devices/qt_output.h"

namespace tonamira {

void SettleAudioBeforeExit(int ms) {
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

std::unique_ptr<InputDevice> QtAudioDevices::CreateInput() {
  return std::make_unique<QtInputDevice>(++nextId_, options_);
}

std::unique_ptr<OutputDevice> QtAudioDevices::CreateOutput() {
  return std::make_unique<QtOutputDevice>(++nextId_, options_);
}

}  // namespace tonamira
