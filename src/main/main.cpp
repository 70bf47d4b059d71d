// The program entry: the application object, its title, the one window and the event loop.

#include <QApplication>

#include "main/form_main.h"
#include "main/services.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  tonamira::ApplyApplicationSettings();
  tonamira::QtServices services;
  tonamira::FormMain window(services);
  services.SetOwner(&window);
  window.show();
  return app.exec();
}
