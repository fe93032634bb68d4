#include "app/app_main.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "app/main_window.h"

namespace tavrel {

void run_app(int argc, char** argv, WorkerBody body,
             const std::function<void(MainWindow&)>& on_shown) {
  QApplication app(argc, argv);
  MainWindow window(std::move(body));
  window.show();
  if (on_shown) on_shown(window);
  const int status = app.exec();
  // Workers may still be running, paused or waiting inside a window
  // operation; tearing down the window under them would crash, so the
  // process ends here without unwinding anything.
  std::fflush(nullptr);
  std::_Exit(status);
}

}  // namespace tavrel
