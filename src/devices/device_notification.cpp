#include "devices/device_notification.h"

namespace tonamira {

void Dispatch(const DeviceNotification& n, DeviceEventHandler& handler) {
  switch (n.event) {
    case DeviceEvent::InputData: handler.OnWimData(n); return;
    case DeviceEvent::OutputDone: handler.OnWomDone(n); return;
    case DeviceEvent::InputLost:
    case DeviceEvent::OutputLost: handler.OnDeviceLost(n); return;
  }
}

DeviceNotification ManualPoster::Take() {
  DeviceNotification n = queue_.front();
  queue_.pop_front();
  return n;
}

bool ManualPoster::DeliverOne(DeviceEventHandler& handler) {
  if (queue_.empty()) return false;
  // Taken off the queue before the handler runs, so that what the handler posts queues
  // behind it.
  Dispatch(Take(), handler);
  return true;
}

size_t ManualPoster::DeliverAll(DeviceEventHandler& handler) {
  size_t delivered = 0;
  while (DeliverOne(handler)) ++delivered;
  return delivered;
}

}  // namespace tonamira
