#include "app/run_control.h"

#include <atomic>
#include <system_error>
#include <thread>
#include <utility>

#include "harvest/pause_gate.h"

namespace tavrel {

namespace {

bool launch_detached(std::function<void()> body) {
  try {
    std::thread(std::move(body)).detach();
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

}  // namespace

// One worker: its gate, whether its body has returned, and the host it hands
// to the body. Shared by the window (while newest) and the worker thread.
struct RunControl::Worker final : HarvestHost {
  explicit Worker(WindowOps& w) : window(w) {}

  Text read_control_text(EditBox box) override { return window.read_control_text(box); }
  void append_edit_text(EditBox box, const Text& text) override {
    window.append_edit_text(box, text);
  }
  void message_box(const Text& text) override { window.message_box(text); }
  void wait_at_gate() override { gate.wait(); }

  WindowOps& window;
  PauseGate gate;
  std::atomic<bool> ended{false};
};

RunControl::RunControl(WindowOps& window, WorkerBody body, ThreadLauncher launch)
    : window_(window), body_(std::move(body)), launch_(std::move(launch)) {
  if (!launch_) launch_ = launch_detached;
}

RunControl::~RunControl() = default;

void RunControl::start() {
  auto worker = std::make_shared<Worker>(window_);
  auto run = [worker, body = body_] {
    try {
      body(*worker);
    } catch (...) {
      // A failed run ends its own thread quietly; the others go on.
    }
    worker->ended = true;
  };
  newest_ = launch_(std::move(run)) ? std::move(worker) : nullptr;
}

void RunControl::pause() {
  if (newest_ && !newest_->ended) newest_->gate.pause();
}

void RunControl::resume() {
  if (newest_ && !newest_->ended) newest_->gate.resume();
}

}  // namespace tavrel
