// What the harvest needs from the window, and nothing more. The application
// implements it over the main window; tests fill it with an in-memory fake.
#pragma once

#include "text/text.h"

namespace tavrel {

// The three edit boxes, by their control names.
enum class EditBox {
  keywords,    // 编辑框1
  results,     // 编辑框2
  exclusions,  // 编辑框_不包含
};

class HarvestHost {
 public:
  virtual ~HarvestHost() = default;

  // The box's whole current text in GBK, line breaks as CR LF; empty when
  // the box is empty.
  virtual Text read_control_text(EditBox box) = 0;
  // Appends text at the very end of the box.
  virtual void append_edit_text(EditBox box, const Text& text) = 0;
  // Shows text in a message box captioned "信息：" and returns once the user
  // has dismissed it.
  virtual void message_box(const Text& text) = 0;
  // Blocks while this run is paused. The harvest passes it before every
  // request it starts and every line it appends.
  virtual void wait_at_gate() = 0;
};

}  // namespace tavrel
