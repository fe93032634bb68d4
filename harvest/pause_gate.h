// A counted pause for one harvest worker: the worker runs while the count is
// zero. Pause adds one; Continue takes one away unless it is already zero.
// The worker only ever stops in wait(), at a point of its own choosing, so it
// never holds a lock that the window needs while it is held.
#pragma once

#include <condition_variable>
#include <mutex>

namespace tavrel {

class PauseGate {
 public:
  void pause();
  void resume();
  // Blocks while the count is above zero.
  void wait();
  int count() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable released_;
  int count_ = 0;
};

}  // namespace tavrel
