#include "harvest/pause_gate.h"

namespace tavrel {

void PauseGate::pause() {
  std::lock_guard lock(mutex_);
  ++count_;
}

void PauseGate::resume() {
  {
    std::lock_guard lock(mutex_);
    if (count_ == 0) return;
    --count_;
    if (count_ > 0) return;
  }
  released_.notify_all();
}

void PauseGate::wait() {
  std::unique_lock lock(mutex_);
  released_.wait(lock, [this] { return count_ == 0; });
}

int PauseGate::count() const {
  std::lock_guard lock(mutex_);
  return count_;
}

}  // namespace tavrel
