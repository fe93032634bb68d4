// The harvest's view of the window, held in memory for tests and benchmarks:
// three boxes, the messages shown (each dismissed at once), and hooks that let
// a test act at chosen calls, as a user editing the boxes during a run would.
#pragma once

#include <functional>
#include <map>
#include <vector>

#include "harvest/harvest_host.h"

namespace tavrel::testing {

class MemoryHost : public HarvestHost {
 public:
  Text read_control_text(EditBox box) override {
    const int count = ++reads[box];
    if (before_read) before_read(box, count);
    return boxes[box];
  }
  void append_edit_text(EditBox box, const Text& text) override {
    boxes[box] += text;
    ++appends;
  }
  void message_box(const Text& text) override { messages.push_back(text); }
  void wait_at_gate() override {
    if (on_gate) on_gate();
  }

  std::map<EditBox, Text> boxes;
  std::map<EditBox, int> reads;  // how often each box was read
  int appends = 0;
  std::vector<Text> messages;
  std::function<void(EditBox, int)> before_read;  // the box and its read count
  std::function<void()> on_gate;
};

}  // namespace tavrel::testing
