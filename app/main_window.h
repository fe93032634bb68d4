// The main window: three edit boxes in three group boxes and the Start,
// Pause and Continue buttons, at fixed places in a fixed-size window.
//
// The window operations may be called from any thread. From another thread
// the window's thread carries them out while the caller waits; on the
// window's thread they run directly.
#pragma once

#include <QWidget>
#include <array>

#include "app/run_control.h"
#include "app/window_ops.h"

class QPlainTextEdit;

namespace tavrel {

class MainWindow final : public QWidget, public WindowOps {
  Q_OBJECT

 public:
  // body is what every press of Start runs on a new worker thread.
  explicit MainWindow(WorkerBody body, RunControl::ThreadLauncher launch = {});
  ~MainWindow() override;

  Text read_control_text(EditBox box) override;
  void append_edit_text(EditBox box, const Text& text) override;
  // Non-modal, so the window stays usable; the caller waits until the box
  // is dismissed.
  void message_box(const Text& text) override;

 protected:
  bool event(QEvent* e) override;

 private:
  // An edit box and a GBK copy of its text, kept so that reading a large box
  // costs a copy rather than a conversion. Appends extend the copy; any other
  // change marks it stale and the next read rebuilds it.
  struct Box {
    QPlainTextEdit* edit = nullptr;
    Text gbk;
    bool stale = true;
  };

  Box& box(EditBox which);
  void add_edit_box(EditBox which, QWidget* group, const char16_t* name, QRect geometry);
  void fit_outer_size();
  void centre_on_screen();

  std::array<Box, 3> boxes_;
  bool appending_ = false;
  bool frame_fitted_ = false;
  RunControl run_control_;
};

}  // namespace tavrel
