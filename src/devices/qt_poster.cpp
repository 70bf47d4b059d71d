#include "devices/qt_poster.h"

#include <QMetaObject>

namespace tonamira {

QtQueuedPoster::QtQueuedPoster(QObject* context, DeviceEventHandler& handler)
    : context_(context), handler_(handler) {}

void QtQueuedPoster::Post(const DeviceNotification& n) {
  if (!context_) return;
  DeviceEventHandler* handler = &handler_;
  QMetaObject::invokeMethod(
      context_.data(), [handler, n] { Dispatch(n, *handler); }, Qt::QueuedConnection);
}

}  // namespace tonamira
