// Start, Pause and Continue: harvest workers on threads of their own.
//
// Every start makes a new detached worker and keeps it as the newest one;
// pause and resume act on that worker's counted gate only. Workers are never
// joined: the process ends with them still running. Everything a worker
// touches is shared with it (shared_ptr) or is the window, which lives until
// the process ends.
#pragma once

#include <functional>
#include <memory>

#include "app/window_ops.h"
#include "harvest/harvest_host.h"

namespace tavrel {

using WorkerBody = std::function<void(HarvestHost&)>;

class RunControl {
 public:
  // Starts a thread; returns false when the system refuses one. The default
  // makes a std::thread and detaches it.
  using ThreadLauncher = std::function<bool(std::function<void()>)>;

  RunControl(WindowOps& window, WorkerBody body, ThreadLauncher launch = {});
  ~RunControl();
  RunControl(const RunControl&) = delete;
  RunControl& operator=(const RunControl&) = delete;

  // All three run on the window's thread.
  void start();
  void pause();
  void resume();

 private:
  struct Worker;

  WindowOps& window_;
  WorkerBody body_;
  ThreadLauncher launch_;
  std::shared_ptr<Worker> newest_;
};

}  // namespace tavrel
