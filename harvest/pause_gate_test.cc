#include "harvest/pause_gate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace tavrel {
namespace {

// Runs a worker that passes the gate once and reports when it got through.
class GatedWorker {
 public:
  explicit GatedWorker(PauseGate& gate)
      : thread_([this, &gate] {
          gate.wait();
          passed_ = true;
        }) {}
  ~GatedWorker() { thread_.join(); }

  // True once the worker passed the gate, waiting up to two seconds.
  bool passed_within_bound() {
    for (int i = 0; i < 2000 && !passed_; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return passed_;
  }
  bool passed() const { return passed_; }

 private:
  std::atomic<bool> passed_{false};
  std::thread thread_;
};

TEST(PauseGate, OpenGateLetsTheWorkerThrough) {
  PauseGate gate;
  GatedWorker worker(gate);
  EXPECT_TRUE(worker.passed_within_bound());
}

TEST(PauseGate, PausesAreCountedAndContinueNeverGoesBelowZero) {
  PauseGate gate;
  gate.resume();  // nothing paused: does nothing
  EXPECT_EQ(gate.count(), 0);
  gate.pause();
  gate.pause();
  EXPECT_EQ(gate.count(), 2);

  GatedWorker worker(gate);
  gate.resume();
  EXPECT_EQ(gate.count(), 1);
  EXPECT_FALSE(worker.passed());
  gate.resume();
  EXPECT_TRUE(worker.passed_within_bound());
  gate.resume();
  EXPECT_EQ(gate.count(), 0);
}

}  // namespace
}  // namespace tavrel
