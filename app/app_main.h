// Start-up shared by the tool and the programs that test it.
#pragma once

#include <functional>

#include "app/run_control.h"

namespace tavrel {

class MainWindow;

// Creates the application and the main window with body behind Start, shows
// the window, calls on_shown (if given) and runs the message loop. When the
// main window has closed the process ends at once, whatever the workers are
// doing: it never returns.
[[noreturn]] void run_app(int argc, char** argv, WorkerBody body,
                          const std::function<void(MainWindow&)>& on_shown = {});

}  // namespace tavrel
