#pragma once
// Delivers device notifications through the Qt event loop: Post queues an event for a
// context object (the window), and the loop calls the handler once the running handler has
// returned. When the context object is destroyed, what is still queued for it is dropped.

#include <QObject>
#include <QPointer>

#include "devices/device_notification.h"

namespace tonamira {

class QtQueuedPoster final : public NotificationPoster {
 public:
  // context lives on the thread that delivers; handler must live as long as context.
  QtQueuedPoster(QObject* context, DeviceEventHandler& handler);
  void Post(const DeviceNotification& n) override;

 private:
  QPointer<QObject> context_;
  DeviceEventHandler& handler_;
};

}  // namespace tonamira
