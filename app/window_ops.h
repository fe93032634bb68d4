// The three window operations the harvest uses, as the window offers them.
// Every one may be called from any thread.
#pragma once

#include "harvest/harvest_host.h"
#include "text/text.h"

namespace tavrel {

class WindowOps {
 public:
  virtual ~WindowOps() = default;
  virtual Text read_control_text(EditBox box) = 0;
  virtual void append_edit_text(EditBox box, const Text& text) = 0;
  virtual void message_box(const Text& text) = 0;
};

}  // namespace tavrel
